// The settings store: one text value per known key, read from and written
// to "default.cfg" (CR LF lines of a key and a quoted value), and the
// operations that apply stored values to the options and the offline rules
// at start and collect them again at shut-down.
#pragma once

#include <cstdint>

enum {
    SETTINGS_KEYS = 37,
    SETTINGS_VALUE_BYTES = 128,
    SETTINGS_PATH_BYTES = 256,
    SETTINGS_LINE_BYTES = 1024,
    OPTIONS_MENU_ROWS = 15,
    RULES_MENU_ROWS = 20
};

struct SettingsRow {
    const char *key;                    // "" in the end row
    char value[SETTINGS_VALUE_BYTES];   // "" means not set
};

struct SetupKeyStore {
    char path[SETTINGS_PATH_BYTES];
    SettingsRow rows[SETTINGS_KEYS + 1];
    // Why the last read found nothing (a ReadRefusal, READ_OPENED when it
    // read the file). A file that is there but was not read (unreadable,
    // too large, not a regular file) is never written over: the player's
    // own file outlives a run that could not see it.
    int refusal;
    // Set once the player has been told that changes will not be saved.
    int refusal_told;

    // Stores the path and reads the file; a file that cannot be opened
    // leaves every value empty ("unable to open <path>: <why>" on stderr).
    explicit SetupKeyStore(const char *file_path);

    // Copies the value into out (size bytes); 0 when set, 1 when empty or
    // the key is unknown ("no such key <key>").
    int get(const char *key, char *out, int size);
    // Stores a value cut to 127 characters (and at a line end); 0, or 1
    // for an unknown key.
    int set(const char *key, const char *value);
    // The row of a key; null (and the message) when unknown.
    SettingsRow *find(const char *key);
    // Writes the file; 1 when it cannot be opened, or when it is kept
    // because the last read could not read it ("Not writing <path>: ..."
    // on stderr).
    int write();
    // Reads the file into the rows; 1 when it cannot be opened.
    int read();
    // 1 when the file is there but could not be read, so it is kept.
    int kept() const;
};

// Once per store, when its file is kept: the console line that changes to
// the settings will not be saved, and why. 1 when it was said now.
int tell_settings_kept(SetupKeyStore *store);

// The value of one key in a settings file, read quietly (for start-up code
// that runs before the store exists). 0 when set; 1 when the file or the
// key is missing or the value is empty.
int read_stored_setting(const char *file_path, const char *key, char *out, int size);

struct OptionsMenuRow {
    int index;
    const char *key;     // settings key
    const char *label;
    int option;          // OptionTable row, -1 for the volumes
};
struct RulesMenuRow {
    const char *key;     // settings key and rule name
    const char *label;
};
extern const OptionsMenuRow OptionsMenuTable[OPTIONS_MENU_ROWS];
extern const RulesMenuRow RulesMenuTable[RULES_MENU_ROWS];

// The pieces of other modules the store drives (sound, render toggles,
// trails, file list). Start-up fills what exists; an empty slot falls
// back as noted.
struct SettingsLinks {
    // Volumes 0..128; without a sound module they are kept here.
    int (*effect_volume)();
    void (*set_effect_volume)(int volume);
    int (*music_volume)();
    void (*set_music_volume)(int volume);
    void (*stop_music)();
    void (*start_music)(int track);
    // Full screen: state and switch (the switch re-creates the video mode).
    // Empty: the "fullscreen" option is the state and is flipped.
    int (*fullscreen_state)();
    void (*toggle_fullscreen)();
    // The shaders state; empty: the "shaders" option.
    int (*shaders_state)();
    // Flips one render option (OptionTable row) with its side effects;
    // empty: the option's value is flipped between 0 and 1.
    void (*toggle_render_option)(int option);
    // The shader programs built again (bump mapping changed).
    void (*rebuild_shaders)();
    void (*free_trails)();
    void (*free_file_list)();
};
extern SettingsLinks settings_links;

// Set when a toggled option needs the graphics to be loaded again.
extern int graphics_reload_pending;

// The current value of Options row 0..14 as "%i"; 1 and "" for other rows.
int get_option_text(int row, char *out, int size);
// Applies a decimal text to Options row 0..14; 1 for another row.
int apply_option(int row, const char *text);
// The Options page's Enter for one row: a value that differs from the
// current one is the player's choice, saved at exit even when this run's
// command line asked for the same option; then as apply_option.
int choose_option(int row, const char *text);
// Applies a text to rules row 1..19 of setup_rules; 1 for another row or a
// refused value. from_store is 1 when the value comes from the file.
int apply_game_rule(int row, const char *text, int from_store);

// The store's operations; the forms without a store use the program's one
// (nothing happens while there is none).
int save_settings(SetupKeyStore *store);
int save_settings();
// Also tells the player once when the file is kept (tell_settings_kept).
void load_settings(SetupKeyStore *store);
void load_settings();
// After the main loop: trails and file list freed, then the settings saved.
void save_all_at_exit();

// Lua API functions on the game as a whole: game flow, state queries,
// rules and the selection. Shell services reach them through ScriptShell.
#pragma once

struct lua_State;
struct TextLines;

// Shell services the game functions call; an empty slot falls back to the
// core's own behaviour (or does nothing). Filled by the shell at start-up.
struct ScriptShell {
    // Appends a console line without offering it to the console hook.
    void (*echo_nohook)(const char *text, int kind);
    // The value of the option row with exactly this name; 0 when one has it.
    int (*find_option)(const char *name, int *value);
    // Stores a named option; a name that no row has is ignored.
    void (*set_option)(const char *name, int value);
    // Opens a menu page by its page number.
    void (*switch_menu)(int page);
    // A new offline game; leaving replay playback for free play.
    void (*begin_new_game)();
    void (*exit_replay)();
    // The keyboard modifier state; the script engine's error flag.
    int (*key_modifiers)();
    int (*error_flag)();
    // The camera's position and look-at point (three floats each).
    float *(*camera_position)();
    float *(*camera_lookat)();
    void (*set_fov)(float degrees);
    // Sound on (1) or off (0); the effects volume and the effective volume.
    void (*set_sound)(int on);
    void (*set_volume)(int volume);
    int (*get_volume)();
    // Saves the frame as type 0 BMP or 1 PPM; the saver's result.
    int (*save_screenshot)(const char *path, int type);
    // Opens a URL in the web browser (only URLs that pass is_plain_url).
    void (*launch_browser)(const char *url);
    // Loads the customisation files of a named player into a fighter.
    int (*load_player_custom)(int player, const char *nick);

    // Selects a fighter as a click does: the sound, the selection reset and
    // the fighter's ghost.
    void (*select_player)(int player);
    // Commits the selected player's turn as the space key does.
    void (*commit_turn)();
    // Spectator name i (0..31); null or empty past the last.
    const char *(*spectator_name)(int i);
    // One line to the game server, 0 when sent; the lost-contact handling.
    int (*send_server_line)(const char *line);
    void (*lost_contact)();

    // The fighters' look: a palette colour's name; the int of a colour
    // field (CustomColourField, script/api_colours.h) of a fighter's
    // customisation record, null outside it; the drawing's look made to
    // follow the record again; a body part's decal text; the fighter's
    // textures regenerated.
    void (*colour_name)(int index, char *out, int size);
    int *(*custom_colour)(int player, int field, int part);
    void (*push_look)(int player);
    void (*set_custom_decal)(int player, int body, const char *text);
    void (*reload_player_textures)(int player);

    // The message console: lines held, rows shown, the compact and full
    // heights in rows, the message kind of line i (oldest first); line i
    // drawn at a pixel position; the list placed and drawn at a position;
    // the say box drawn at a position (force: also while closed); the chat
    // input line.
    int (*console_line_count)();
    int (*console_rows_shown)();
    int (*console_compact_rows)();
    int (*console_full_rows)();
    int (*console_line_kind)(int i);
    void (*draw_console_line)(int i, int x, int y);
    void (*draw_console_at)(int x, int y);
    void (*draw_say_box)(int x, int y, int force);
    TextLines *(*chat_input)();
};

// 1 when the text is a bounded file name of letters, digits, '.', '-' and
// '_' that is not "." or ".." and holds no path separator.
int is_plain_file_name(const char *name);
// 1 when the text is an "http://" or "https://" URL of at most 255 bytes
// whose characters are all letters, digits or one of "-._~:/?#@%+=&,".
// Quotes, spaces, and every character a command shell treats specially
// are refused.
int is_plain_url(const char *url);
extern ScriptShell script_shell;

// Hands the lines that scripts echoed before the console existed to the
// console (start-up calls it once the console slot is filled).
void flush_early_echo();

int lua_echo(lua_State *L);
int lua_run_cmd(lua_State *L);
int lua_start_new_game(lua_State *L);
int lua_edit_game(lua_State *L);
int lua_open_menu(lua_State *L);
int lua_get_window_size(lua_State *L);
int lua_get_option(lua_State *L);
int lua_set_option(lua_State *L);
int lua_freeze_game(lua_State *L);
int lua_unfreeze_game(lua_State *L);
int lua_is_game_frozen(lua_State *L);
int lua_rewind_replay(lua_State *L);
int lua_set_ghost(lua_State *L);
int lua_get_ghost(lua_State *L);
int lua_set_default_rules(lua_State *L);
int lua_get_world_state(lua_State *L);
int lua_get_bouts(lua_State *L);
int lua_get_customs(lua_State *L);
int lua_get_game_rules(lua_State *L);
int lua_select_player(lua_State *L);
int lua_get_shift_key_state(lua_State *L);
int lua_get_errno(lua_State *L);
int lua_get_camera_info(lua_State *L);
int lua_set_camera_pos(lua_State *L);
int lua_set_camera_lookat(lua_State *L);
int lua_set_fov(lua_State *L);
int lua_disable_sound(lua_State *L);
int lua_enable_sound(lua_State *L);
int lua_set_volume(lua_State *L);
int lua_get_volume(lua_State *L);
int lua_screenshot(lua_State *L);
int lua_open_url(lua_State *L);
int lua_load_player(lua_State *L);
int lua_step_game(lua_State *L);
int lua_step_to_end(lua_State *L);
int lua_init_mod_world(lua_State *L);
int lua_get_spectators(lua_State *L);
int lua_export_mod(lua_State *L);
int lua_reset_server(lua_State *L);

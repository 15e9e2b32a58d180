// Lua API functions on the game as a whole: game flow, state queries,
// rules and the selection. Shell services reach them through ScriptShell.
#pragma once

struct lua_State;

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

#include "script/api_game.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include "core/bout.h"
#include "core/ghost.h"
#include "core/mod.h"
#include "core/newgame.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/sane.h"
#include "core/world.h"
#include "script/api_support.h"

ScriptShell script_shell = {};

static void keep_echo_line(const char *text);

int lua_echo(lua_State *L)
{
    if (lua_gettop(L) < 1)
        return luaL_error(L, "Usage: echo(string message)\n");
    // Neither a string nor a number: no text, so an empty line.
    const char *text = lua_tostring(L, 1);
    if (!text)
        text = "";
    if (script_shell.echo_nohook)
        script_shell.echo_nohook(text, MSG_INGAME);
    else
        keep_echo_line(text);
    return 0;
}

// Lines echoed before the console exists (by startup.lua), kept for it.
enum { EARLY_ECHO_LINES = 16, EARLY_ECHO_BYTES = 256 };
static char early_echo[EARLY_ECHO_LINES][EARLY_ECHO_BYTES];
static int early_echo_count;

static void keep_echo_line(const char *text)
{
    if (early_echo_count >= EARLY_ECHO_LINES) {
        fprintf(stderr, "echo: too many lines before the console: %s\n", text);
        return;
    }
    snprintf(early_echo[early_echo_count++], EARLY_ECHO_BYTES, "%s", text);
}

void flush_early_echo()
{
    if (!script_shell.echo_nohook)
        return;
    for (int i = 0; i < early_echo_count; i++)
        script_shell.echo_nohook(early_echo[i], MSG_INGAME);
    early_echo_count = 0;
}

int lua_freeze_game(lua_State *)
{
    pause_game();
    return 0;
}

int lua_unfreeze_game(lua_State *)
{
    unpause_game();
    return 0;
}

int lua_is_game_frozen(lua_State *L)
{
    lua_pushinteger(L, is_simulating() ? 0 : 1);
    return 1;
}

int lua_rewind_replay(lua_State *)
{
    if (game_type != 1 && core_outward.begin_replay)
        core_outward.begin_replay();
    return 0;
}

int lua_set_ghost(lua_State *L)
{
    if (lua_gettop(L) < 1)
        return luaL_error(L, "Usage: set_ghost(number ghost_mode[0|1|2])\n");
    switch (api_whole_or_zero(L, 1)) {
    case GHOST_OFF: stop_ghost(); break;
    case GHOST_ONE: start_ghost(selected_player); break;
    case GHOST_ALL: start_ghost_all(); break;
    default: break;
    }
    return 0;
}

int lua_get_ghost(lua_State *L)
{
    lua_pushinteger(L, match_state.ghost_mode);
    return 1;
}

int lua_set_default_rules(lua_State *)
{
    fill_default_rules(0, &setup_rules);
    return 0;
}

static void set_int_field(lua_State *L, const char *name, int value)
{
    lua_pushinteger(L, value);
    lua_setfield(L, -2, name);
}

int lua_get_world_state(lua_State *L)
{
    lua_newtable(L);
    set_int_field(L, "game_type", game_type);
    set_int_field(L, "game_paused", match_state.game_paused);
    set_int_field(L, "replay_mode", replay_mode);
    set_int_field(L, "match_frame", match_state.match_frame);
    set_int_field(L, "turn_frame", match_state.turn_frame);
    set_int_field(L, "turn_timeout", turn_timeout);
    set_int_field(L, "turn_timelimit", current_rules.turn_time_limit);
    set_int_field(L, "frame_tick", frame_tick);
    set_int_field(L, "num_players", match_state.num_players);
    set_int_field(L, "num_bouts", num_bouts);
    set_int_field(L, "selected_player", selected_player);
    set_int_field(L, "selected_joint", selected_joint);
    set_int_field(L, "selected_body", selected_body);
    return 1;
}

int lua_get_bouts(lua_State *L)
{
    // The count is held to the list's size, so a stray count never reads
    // past the end.
    int count = num_bouts < 0 ? 0 : num_bouts > MAX_BOUTS ? MAX_BOUTS : num_bouts;
    lua_newtable(L);
    for (int i = 0; i < count; i++) {
        const BoutEntry &entry = bout_list[i];
        size_t length = 0;
        while (length < sizeof entry.name && entry.name[length])
            length++;
        lua_pushlstring(L, entry.name, length);
        lua_rawseti(L, -2, i + 1);
    }
    return 1;
}

int lua_get_customs(lua_State *)
{
    return 0;
}

int lua_get_game_rules(lua_State *L)
{
    if (lua_gettop(L) != 0)
        return luaL_error(L, "Usage: rules = get_game_rules()\n");
    int multiplayer = game_type == 1;
    lua_newtable(L);
    for (const GameRuleOption *row = game_rule_options; row->id != -1; row++) {
        const char *text = get_rule_text(multiplayer, row->id, &current_rules);
        if (!text)
            text = "";
        if (row->text_valued)
            lua_pushstring(L, text);
        else
            lua_pushinteger(L, (lua_Integer)strtol(text, nullptr, 10));
        lua_setfield(L, -2, row->name);
    }
    return 1;
}

int lua_select_player(lua_State *L)
{
    if (lua_gettop(L) < 1)
        return luaL_error(L, "Usage: select_player(integer player)\n");
    int player = api_whole(L, 1);
    if (player == -1) {
        selected_player = -1;
        selected_joint = -1;
    } else if (player >= 0 && player < match_state.num_players) {
        if (script_shell.select_player)
            script_shell.select_player(player);
        else
            selected_player = player;
    }
    return 0;
}

int lua_run_cmd(lua_State *L)
{
    if (lua_gettop(L) < 1 || !lua_isstring(L, 1))
        return luaL_error(L, "Usage: run_cmd(string command)\n");
    const char *text = lua_tostring(L, 1);
    // Runs as a local console line; the interpreter decides what it allows.
    if (core_outward.run_console_command)
        core_outward.run_console_command(text, 0);
    return 0;
}

int lua_start_new_game(lua_State *)
{
    if (script_shell.begin_new_game)
        script_shell.begin_new_game();
    return 0;
}

int lua_edit_game(lua_State *)
{
    if (script_shell.exit_replay)
        script_shell.exit_replay();
    return 0;
}

int lua_open_menu(lua_State *L)
{
    if (lua_gettop(L) < 1)
        return luaL_error(L, "Usage: open_menu(int menu)");
    // Script number -> page number; -1 marks numbers that open nothing.
    static const int pages[14] = {-1, 0, 1, 9, 12, 11, 2, 3, 5, 4, -1, 7, 6, 8};
    int menu = api_whole(L, 1);
    if (menu < 0 || menu > 13 || pages[menu] < 0)
        return 0;
    if (script_shell.switch_menu)
        script_shell.switch_menu(pages[menu]);
    return 0;
}

static int option_or(const char *name, int fallback)
{
    int value = 0;
    if (script_shell.find_option && script_shell.find_option(name, &value) == 0)
        return value;
    return fallback;
}

int lua_get_window_size(lua_State *L)
{
    lua_pushinteger(L, option_or("width", 800));
    lua_pushinteger(L, option_or("height", 600));
    return 2;
}

int lua_get_option(lua_State *L)
{
    if (lua_gettop(L) < 1)
        return luaL_error(L, "Usage: value = get_option(string option_name)\n");
    const char *name = luaL_checkstring(L, 1);
    int value = 0;
    if (!script_shell.find_option || script_shell.find_option(name, &value) != 0)
        return 0;
    lua_pushinteger(L, value);
    return 1;
}

int lua_set_option(lua_State *L)
{
    if (lua_gettop(L) < 2)
        return luaL_error(L, "Usage: set_option(string option_name, integer value)\n");
    const char *name = luaL_checkstring(L, 1);
    lua_Number value = luaL_checknumber(L, 2);
    // The range is looked at on the number: a cast first would make
    // 2^32 + 1024 into 1024.
    if (!(value > (lua_Number)INT32_MIN - 1 && value < (lua_Number)INT32_MAX + 1)) {
        fprintf(stderr, "set_option %s: %.17g is out of range\n", name, (double)value);
        return 0;
    }
    if (script_shell.set_option)
        script_shell.set_option(name, whole_number(value));
    return 0;
}

int lua_get_shift_key_state(lua_State *L)
{
    lua_pushinteger(L, script_shell.key_modifiers ? script_shell.key_modifiers() & 3 : 0);
    return 1;
}

int lua_get_errno(lua_State *L)
{
    lua_pushinteger(L, script_shell.error_flag ? script_shell.error_flag() : 0);
    return 1;
}

static void push_vector(lua_State *L, const float *v)
{
    static const float zero[3] = {0, 0, 0};
    if (!v)
        v = zero;
    lua_newtable(L);
    lua_pushnumber(L, v[0]);
    lua_setfield(L, -2, "x");
    lua_pushnumber(L, v[1]);
    lua_setfield(L, -2, "y");
    lua_pushnumber(L, v[2]);
    lua_setfield(L, -2, "z");
}

int lua_get_camera_info(lua_State *L)
{
    lua_newtable(L);
    push_vector(L, script_shell.camera_position ? script_shell.camera_position() : nullptr);
    lua_setfield(L, -2, "pos");
    push_vector(L, script_shell.camera_lookat ? script_shell.camera_lookat() : nullptr);
    lua_setfield(L, -2, "lookat");
    return 1;
}

// Three numbers (non-numbers read as 0); a point with a NaN or infinite
// coordinate leaves the camera where it is.
static void read_vector(lua_State *L, float *out)
{
    if (!out)
        return;
    float v[3];
    for (int i = 0; i < 3; i++) {
        v[i] = (float)lua_tonumber(L, i + 1);
        if (!std::isfinite(v[i]))
            return;
    }
    for (int i = 0; i < 3; i++)
        out[i] = v[i];
}

int lua_set_camera_pos(lua_State *L)
{
    if (lua_gettop(L) < 3)
        return luaL_error(L, "Usage: set_camera_pos(number pos_x, number pos_y, number pos_z)\n");
    read_vector(L, script_shell.camera_position ? script_shell.camera_position() : nullptr);
    return 0;
}

int lua_set_camera_lookat(lua_State *L)
{
    if (lua_gettop(L) < 3)
        return luaL_error(L, "Usage: set_camera_lookat(number pos_x, number pos_y, number pos_z)\n");
    read_vector(L, script_shell.camera_lookat ? script_shell.camera_lookat() : nullptr);
    return 0;
}

int lua_set_fov(lua_State *L)
{
    if (lua_gettop(L) < 1)
        return luaL_error(L, "Usage: set_fov(integer deg)\n");
    float degrees = (float)lua_tonumber(L, 1);
    if (script_shell.set_fov && std::isfinite(degrees))
        script_shell.set_fov(degrees);
    return 0;
}

int lua_disable_sound(lua_State *)
{
    if (script_shell.set_sound)
        script_shell.set_sound(0);
    return 0;
}

int lua_enable_sound(lua_State *)
{
    if (script_shell.set_sound)
        script_shell.set_sound(1);
    return 0;
}

int lua_set_volume(lua_State *L)
{
    if (lua_gettop(L) < 1)
        return luaL_error(L, "Usage: set_volume(integer volume)\n");
    int volume = api_whole(L, 1);
    if (script_shell.set_volume)
        script_shell.set_volume(volume);
    return 0;
}

int lua_get_volume(lua_State *L)
{
    lua_pushinteger(L, script_shell.get_volume ? script_shell.get_volume() : 0);
    return 1;
}

enum { PLAIN_NAME_BYTES = 128, URL_BYTES = 255 };

int is_plain_file_name(const char *name)
{
    if (!name || !name[0] || !strcmp(name, ".") || !strcmp(name, ".."))
        return 0;
    size_t n = 0;
    for (; name[n]; n++) {
        char c = name[n];
        if (n >= PLAIN_NAME_BYTES)
            return 0;
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '-' || c == '_'))
            return 0;
    }
    return 1;
}

int is_plain_url(const char *url)
{
    if (!url || (strncmp(url, "http://", 7) && strncmp(url, "https://", 8)))
        return 0;
    size_t n = strlen(url);
    if (n > URL_BYTES)
        return 0;
    for (size_t i = 0; i < n; i++) {
        char c = url[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              strchr("-._~:/?#@%+=&,", c)))
            return 0;
    }
    return 1;
}

int lua_screenshot(lua_State *L)
{
    if (lua_gettop(L) < 1)
        return luaL_error(L, "Usage: screenshot(string filename, [number filetype])\n");
    const char *name = luaL_checkstring(L, 1);
    int type = lua_gettop(L) >= 2 ? api_whole(L, 2) : 0;
    int result = -1;
    if (!is_plain_file_name(name)) {
        fprintf(stderr, "screenshot: refused file name\n");
    } else if (script_shell.save_screenshot) {
        char path[PLAIN_NAME_BYTES + 16];
        snprintf(path, sizeof path, "screenshots/%s", name);
        result = script_shell.save_screenshot(path, type == 0 || type == 1 ? type : -1);
        // Anything but a written file is -1.
        if (result != 0)
            result = -1;
    }
    lua_pushinteger(L, result);
    return 1;
}

int lua_open_url(lua_State *L)
{
    if (lua_gettop(L) < 1)
        return luaL_error(L, "Usage: open_url(string URL)\n");
    const char *url = luaL_checkstring(L, 1);
    if (!is_plain_url(url)) {
        fprintf(stderr, "open_url: refused URL\n");
        return 0;
    }
    if (script_shell.launch_browser)
        script_shell.launch_browser(url);
    return 0;
}

int lua_load_player(lua_State *L)
{
    if (lua_gettop(L) < 2)
        return luaL_error(L, "Usage: load_player(integer player, string nick)\n");
    // The customisation files write the fighter's records: a fighter of
    // the current game only.
    int player = api_player(L, 1, "player index out of range");
    const char *nick = luaL_checkstring(L, 2);
    // The nick names a folder under "custom/": plain names only.
    if (!is_plain_file_name(nick)) {
        fprintf(stderr, "load_player: refused name\n");
        return 0;
    }
    if (script_shell.load_player_custom)
        script_shell.load_player_custom(player, nick);
    return 0;
}

int lua_step_game(lua_State *)
{
    if (script_shell.commit_turn)
        script_shell.commit_turn();
    return 0;
}

int lua_step_to_end(lua_State *)
{
    if (core_outward.toggle_game_paused)
        core_outward.toggle_game_paused(0);
    return 0;
}

int lua_init_mod_world(lua_State *)
{
    // Nothing during replay playback, nor before the game's world exists
    // (a start-up script runs before it).
    if (replay_mode != REPLAY_LIVE || !physics_world)
        return 0;
    load_mod_world("classic.zmm");
    engage_players();
    return 0;
}

enum { SPECTATOR_ROWS = 32, SPECTATOR_NAME_BYTES = 32, EXPORT_PATH_BYTES = 256 };

int lua_get_spectators(lua_State *L)
{
    lua_newtable(L);
    for (int i = 0; i < SPECTATOR_ROWS && script_shell.spectator_name; i++) {
        const char *name = script_shell.spectator_name(i);
        if (!name || !name[0])
            break;
        lua_pushlstring(L, name, strnlen(name, SPECTATOR_NAME_BYTES));
        lua_rawseti(L, -2, i + 1);
    }
    return 1;
}

int lua_export_mod(lua_State *L)
{
    if (lua_gettop(L) < 1)
        return luaL_error(L, "Usage: export_mod(string name)\n");
    const char *name = luaL_checkstring(L, 1);
    // A plain file name, written among the mods.
    char path[EXPORT_PATH_BYTES];
    if (!is_plain_file_name(name) ||
        snprintf(path, sizeof path, "data/mod/%s", name) >= (int)sizeof path ||
        write_mod(&current_world, path) != 0) {
        char line[EXPORT_PATH_BYTES + 32];
        snprintf(line, sizeof line, "unable to export to %s", name);
        echo_message(line, MSG_INGAME);
    }
    return 0;
}

int lua_reset_server(lua_State *)
{
    if (!script_shell.send_server_line || script_shell.send_server_line("reset\n") != 0) {
        if (script_shell.lost_contact)
            script_shell.lost_contact();
    }
    return 0;
}

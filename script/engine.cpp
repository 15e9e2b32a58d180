#include "script/engine.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include "core/records.h"
#include "core/safe_file.h"
#include "script/api_colours.h"
#include "script/api_draw.h"
#include "script/api_fighters.h"
#include "script/api_game.h"
#include "script/hooks.h"


// The API functions in registration order (117 rows, set_event_hook first
// and export_mod last); the engine registers whatever the table holds.
const ScriptApiFunction script_api_functions[] = {
    {"set_event_hook", lua_set_event_hook},
    {"echo", lua_echo},
    {"run_cmd", lua_run_cmd},
    {"start_new_game", lua_start_new_game},
    {"freeze_game", lua_freeze_game},
    {"unfreeze_game", lua_unfreeze_game},
    {"is_game_frozen", lua_is_game_frozen},
    {"step_game", lua_step_game},
    {"step_to_end", lua_step_to_end},
    {"edit_game", lua_edit_game},
    {"rewind_replay", lua_rewind_replay},
    {"set_ghost", lua_set_ghost},
    {"get_ghost", lua_get_ghost},
    {"set_default_rules", lua_set_default_rules},
    {"open_menu", lua_open_menu},
    {"get_shift_key_state", lua_get_shift_key_state},
    {"get_world_state", lua_get_world_state},
    {"get_bouts", lua_get_bouts},
    {"get_customs", lua_get_customs},
    {"get_spectators", lua_get_spectators},
    {"get_player_info", lua_get_player_info},
    {"get_game_rules", lua_get_game_rules},
    {"get_window_size", lua_get_window_size},
    {"get_option", lua_get_option},
    {"set_option", lua_set_option},
    {"load_player", lua_load_player},
    {"get_camera_info", lua_get_camera_info},
    {"set_camera_pos", lua_set_camera_pos},
    {"set_camera_lookat", lua_set_camera_lookat},
    {"get_joint_info", lua_get_joint_info},
    {"get_head_info", lua_get_head_info},
    {"get_body_info", lua_get_body_info},
    {"set_body_pos", lua_set_body_pos},
    {"set_body_sides", lua_set_body_sides},
    {"set_body_rotation", lua_set_body_rotation},
    {"get_joint_screen_pos", lua_get_joint_screen_pos},
    {"get_screen_pos", lua_get_screen_pos},
    {"set_joint_state", lua_set_joint_state},
    {"set_joint_radius", lua_set_joint_radius},
    {"get_joint_radius", lua_get_joint_radius},
    {"set_joint_pos", lua_set_joint_pos},
    {"get_joint_pos", lua_get_joint_pos},
    {"get_joint_pos2", lua_get_joint_pos2},
    {"get_grip_lock", lua_get_grip_lock},
    {"get_grip_info", lua_get_grip_info},
    {"set_grip_info", lua_set_grip_info},
    {"open_url", lua_open_url},
    {"dismember_joint", lua_dismember_joint},
    {"fracture_joint", lua_fracture_joint},
    {"get_joint_dismember", lua_get_joint_dismember},
    {"get_joint_fracture", lua_get_joint_fracture},
    {"init_mod_world", lua_init_mod_world},
    {"screenshot", lua_screenshot},
    {"set_fov", lua_set_fov},
    {"get_body_linear_vel", lua_get_body_linear_vel},
    {"get_body_angular_vel", lua_get_body_angular_vel},
    {"set_body_force", lua_set_body_force},
    {"set_body_torque", lua_set_body_torque},
    {"select_player", lua_select_player},
    {"disable_sound", lua_disable_sound},
    {"enable_sound", lua_enable_sound},
    {"set_volume", lua_set_volume},
    {"get_volume", lua_get_volume},
    {"load_texture", lua_load_texture},
    {"set_color", lua_set_color},
    {"get_color_info", lua_get_color_info},
    {"set_blood_color", lua_set_blood_color},
    {"set_joint_color", lua_set_joint_color},
    {"set_joint_relax_color", lua_set_joint_relax_color},
    {"set_joint_force_color", lua_set_joint_force_color},
    {"set_body_color", lua_set_body_color},
    {"set_torso_color", lua_set_torso_color},
    {"set_ghost_color", lua_set_ghost_color},
    {"set_ground_impact_color", lua_set_ground_impact_color},
    {"set_gradient_color", lua_set_gradient_color},
    {"set_gradient_primary_color", lua_set_gradient_primary_color},
    {"set_gradient_secondary_color", lua_set_gradient_secondary_color},
    {"indicate_joint", lua_indicate_joint},
    {"set_decal", lua_set_decal},
    {"draw_ground_impact", lua_draw_ground_impact},
    {"set_timex_color", lua_set_timex_color},
    {"set_trail_color", lua_set_trail_color},
    {"add_trail_particle", lua_add_trail_particle},
    {"set_body_texture", lua_set_body_texture},
    {"draw_quad", lua_draw_quad},
    {"draw_disk", lua_draw_disk},
    {"draw_text", lua_draw_text},
    {"draw_right_text", lua_draw_right_text},
    {"draw_centered_text", lua_draw_centered_text},
    {"draw_chat_input", lua_draw_chat_input},
    {"draw_chat_messages", lua_draw_chat_messages},
    {"draw_boxed_text", lua_draw_boxed_text},
    {"get_errno", lua_get_errno},
    {"draw_sphere", lua_draw_sphere},
    {"draw_sphere_m", lua_draw_sphere_m},
    {"draw_box", lua_draw_box},
    {"draw_box_m", lua_draw_box_m},
    {"draw_capsule", lua_draw_capsule},
    {"draw_capsule_m", lua_draw_capsule_m},
    {"get_num_blood_particles", lua_get_num_blood_particles},
    {"get_active_bloods", lua_get_active_bloods},
    {"get_blood_age", lua_get_blood_age},
    {"get_blood_radius", lua_get_blood_radius},
    {"get_blood_pos", lua_get_blood_pos},
    {"get_blood_vel", lua_get_blood_vel},
    {"get_total_chat_lines", lua_get_total_chat_lines},
    {"get_cur_chat_lines", lua_get_cur_chat_lines},
    {"get_compact_chat_lines", lua_get_compact_chat_lines},
    {"get_full_mode_chat_lines", lua_get_full_mode_chat_lines},
    {"get_chat_type", lua_get_chat_type},
    {"draw_chat_message", lua_draw_chat_message},
    {"chat_input_activate", lua_chat_input_activate},
    {"chat_input_deactivate", lua_chat_input_deactivate},
    {"chat_input_is_active", lua_chat_input_is_active},
    {"chat_input_clear", lua_chat_input_clear},
    {"reset_server", lua_reset_server},
    {"export_mod", lua_export_mod},
    {nullptr, nullptr},
};

enum {
    REQUEST_BUFFER = 256,
    GLOBAL_NAME_BYTES = 32
};

int script_engine_usable(const ScriptEngine *engine)
{
    return engine && engine->state && engine->owner == std::this_thread::get_id();
}

const char *script_error_text(lua_State *L)
{
    const char *message = lua_tostring(L, -1);
    return message ? message : "(error object is not a string)";
}

// ---- bounds: the allocator's ceiling and the instruction budget -------------------

// The count hook runs every this many instructions; once a call is stopped,
// after every instruction.
enum { BUDGET_SLICE = 1000 };

static char stop_reason[128];

const char *script_stop_reason() { return stop_reason; }

static void note_stop(ScriptLimits *limits, int why)
{
    if (limits->stopped != SCRIPT_GOING)
        return;
    limits->stopped = why;
    if (why == SCRIPT_STOP_INSTRUCTIONS)
        snprintf(stop_reason, sizeof stop_reason, "ran past its budget of %lld instructions",
                 limits->budget);
    else
        snprintf(stop_reason, sizeof stop_reason, "reached the memory ceiling of %lu MB",
                 (unsigned long)(limits->memory_ceiling >> 20));
}

// The state's allocator. While a guarded call runs, growth past the ceiling
// is refused (Lua raises "not enough memory" and the call is stopped);
// outside one (the game's own pushes, a collection) it never fails, so no
// error is raised where nothing would catch it. Shrinking never fails.
static void *limited_alloc(void *ud, void *ptr, size_t osize, size_t nsize)
{
    ScriptLimits *limits = static_cast<ScriptLimits *>(ud);
    if (nsize == 0) {
        free(ptr);
        limits->memory_in_use -= osize < limits->memory_in_use ? osize : limits->memory_in_use;
        return nullptr;
    }
    if (nsize > osize && limits->depth > 0) {
        size_t more = nsize - osize;
        if (more > limits->memory_ceiling ||
            limits->memory_in_use > limits->memory_ceiling - more) {
            note_stop(limits, SCRIPT_STOP_MEMORY);
            return nullptr;
        }
    }
    void *grown = realloc(ptr, nsize);
    if (!grown)
        return nullptr;
    limits->memory_in_use = limits->memory_in_use - osize + nsize;
    return grown;
}

static ScriptLimits *limits_of(lua_State *L)
{
    void *ud = nullptr;
    lua_getallocf(L, &ud);
    return static_cast<ScriptLimits *>(ud);
}

// Counts the instructions of the running call (of any coroutine: each
// thread has its own count, inherited from the one that made it). Past the
// budget, or once the memory ceiling was met, it raises the stop at every
// instruction until the outermost call has returned.
static void budget_hook(lua_State *L, lua_Debug *)
{
    ScriptLimits *limits = limits_of(L);
    if (!limits || limits->depth == 0)
        return;
    if (limits->stopped == SCRIPT_GOING) {
        int count = lua_gethookcount(L);
        limits->used += count;
        if (count != BUDGET_SLICE)
            lua_sethook(L, budget_hook, LUA_MASKCOUNT, BUDGET_SLICE);
        if (limits->used < limits->budget)
            return;
        note_stop(limits, SCRIPT_STOP_INSTRUCTIONS);
    }
    lua_sethook(L, budget_hook, LUA_MASKCOUNT, 1);
    lua_pushfstring(L, "stopped: %s", stop_reason);
    lua_error(L);
}

int script_guarded_call(ScriptEngine *engine, int budget, ScriptCFunction body, void *ud)
{
    lua_State *L = engine->state;
    ScriptLimits *limits = &engine->limits;
    int outermost = limits->depth == 0;
    if (outermost) {
        limits->budget =
            budget == SCRIPT_BUDGET_RUN ? limits->run_instructions : limits->hook_instructions;
        limits->used = 0;
        limits->stopped = SCRIPT_GOING;
        lua_sethook(L, budget_hook, LUA_MASKCOUNT, BUDGET_SLICE);
    } else if (budget == SCRIPT_BUDGET_RUN && limits->budget < limits->run_instructions) {
        // A script run from inside a hook may take a script run's budget,
        // counted from the start of the outermost call.
        limits->budget = limits->run_instructions;
    }
    limits->depth++;
    int status = lua_cpcall(L, body, ud);
    limits->depth--;
    int stopped = limits->stopped;
    if (stopped != SCRIPT_GOING && (outermost || stopped == SCRIPT_STOP_MEMORY)) {
        // What the stopped call piled up goes now, so the next call (or
        // the caller of a nested one) has its room. The collection itself
        // runs no script code and is never refused memory.
        int depth = limits->depth;
        limits->depth = 0;
        lua_gc(L, LUA_GCCOLLECT, 0);
        limits->depth = depth;
        lua_sethook(L, budget_hook, LUA_MASKCOUNT, BUDGET_SLICE);
        // A memory stop belongs to the call that met the ceiling: its
        // caller goes on and sees the call failed. Spent instructions are
        // spent for every call around it.
        if (!outermost)
            limits->stopped = SCRIPT_GOING;
    }
    if (stopped != SCRIPT_GOING)
        return SCRIPT_CALL_STOPPED;
    return status == 0 ? SCRIPT_CALL_OK : SCRIPT_CALL_FAILED;
}

static int unprotected_error(lua_State *L)
{
    fprintf(stderr, "Lua: unprotected error: %s\n", script_error_text(L));
    return 0;
}

// ---- building the state (runs inside lua_cpcall) -----------------------------------

struct NamedValue {
    const char *name;
    int value;
};

static void set_global_table(lua_State *L, const char *global, const NamedValue *rows, int count)
{
    lua_createtable(L, 0, count);
    for (int i = 0; i < count; i++) {
        lua_pushstring(L, rows[i].name);
        lua_pushinteger(L, rows[i].value);
        lua_settable(L, -3);
    }
    lua_setfield(L, LUA_GLOBALSINDEX, global);
}

// A table of upper-cased names of a built-in table, valued by row index.
static void set_name_table(lua_State *L, const char *global, const char *const *names, int count)
{
    lua_createtable(L, 0, count);
    for (int i = 0; i < count; i++) {
        char upper[GLOBAL_NAME_BYTES];
        snprintf(upper, sizeof upper, "%s", names[i] ? names[i] : "");
        for (char *c = upper; *c; c++)
            if (*c >= 'a' && *c <= 'z')
                *c = (char)(*c - 'a' + 'A');
        lua_pushstring(L, upper);
        lua_pushinteger(L, i);
        lua_settable(L, -3);
    }
    lua_setfield(L, LUA_GLOBALSINDEX, global);
}

// Lua takes a chunk whose first byte is this one for precompiled code,
// which it does not verify: a crafted one confuses types or loops. Such
// chunks are refused on every road that loads code.
static const char BINARY_REFUSAL[] = "precompiled chunks are not loaded";

static int is_binary_chunk(const char *text, size_t length)
{
    return length > 0 && text[0] == LUA_SIGNATURE[0];
}

// Compiles the file at path into a function on the stack (0), or pushes
// the message (1). Only a regular file is read, so a FIFO or device named
// like a script never stalls the game.
static int load_script_chunk(lua_State *L, const char *path)
{
    FILE *f = open_read_file(path, 16 * 1024 * 1024);
    if (!f) {
        lua_pushfstring(L, "cannot open %s", path);
        return 1;
    }
    std::string text;
    char piece[8192];
    size_t got;
    while ((got = fread(piece, 1, sizeof piece, f)) > 0)
        text.append(piece, got);
    fclose(f);
    // A first line starting with '#' is skipped, as the stock loader does
    // (which looks for precompiled code after it).
    size_t from = 0;
    if (!text.empty() && text[0] == '#') {
        from = text.find('\n');
        from = from == std::string::npos ? text.size() : from;
    }
    size_t code = from < text.size() && text[from] == '\n' ? from + 1 : from;
    if (is_binary_chunk(text.data() + code, text.size() - code)) {
        text.clear();
        text.shrink_to_fit();
        lua_pushfstring(L, "%s: %s", path, BINARY_REFUSAL);
        return 1;
    }
    std::string chunk_name = std::string("@") + path;
    return luaL_loadbuffer(L, text.data() + from, text.size() - from, chunk_name.c_str()) != 0;
}

// loadstring(text [, name]): precompiled text gives nil and the reason, as
// a text that does not compile does.
static int checked_loadstring(lua_State *L)
{
    size_t length = 0;
    const char *text = luaL_checklstring(L, 1, &length);
    if (is_binary_chunk(text, length)) {
        lua_pushnil(L);
        lua_pushstring(L, BINARY_REFUSAL);
        return 2;
    }
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

// The reader handed to the stock load in place of the script's: it passes
// the pieces on and refuses the chunk when the first byte of its text (the
// first byte of the first piece that is not empty, however the pieces are
// cut) marks precompiled code. Upvalues: the script's reader, and whether
// that byte has been seen.
static int checked_reader(lua_State *L)
{
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_call(L, 0, 1);
    if (lua_toboolean(L, lua_upvalueindex(2)) || !lua_isstring(L, -1))
        return 1;
    size_t length = 0;
    const char *piece = lua_tolstring(L, -1, &length);
    if (length == 0)
        return 1;
    if (is_binary_chunk(piece, length)) {
        lua_pushstring(L, BINARY_REFUSAL);
        return lua_error(L);
    }
    lua_pushboolean(L, 1);
    lua_replace(L, lua_upvalueindex(2));
    return 1;
}

// load(reader [, name]): as the stock one, through checked_reader.
static int checked_load(lua_State *L)
{
    luaL_checktype(L, 1, LUA_TFUNCTION);
    lua_pushvalue(L, 1);
    lua_pushboolean(L, 0);
    lua_pushcclosure(L, checked_reader, 2);
    lua_replace(L, 1);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

// The message handler handed to the stock xpcall in place of the script's.
// A stop raised by the budget is raised from inside the count hook, where
// Lua runs a message handler with the hook held off: the script's handler
// would then run unbounded, so a stopped call passes the error on as it is.
static int checked_handler(lua_State *L)
{
    ScriptLimits *limits = limits_of(L);
    if (limits && limits->stopped != SCRIPT_GOING)
        return 1;
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, 1);
    return 1;
}

static int checked_xpcall(lua_State *L)
{
    luaL_checkany(L, 2);
    lua_settop(L, 2);
    lua_pushcclosure(L, checked_handler, 1);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, 2, LUA_MULTRET);
    return lua_gettop(L);
}

// string.rep(text, count): an empty text or a count below one gives ""
// at once (the stock loop would spin through the count), and a result
// larger than the memory ceiling is refused before anything is built.
static int checked_rep(lua_State *L)
{
    size_t length = 0;
    luaL_checklstring(L, 1, &length);
    lua_Number count = luaL_checknumber(L, 2);
    if (length == 0 || !(count >= 1)) {
        lua_pushliteral(L, "");
        return 1;
    }
    ScriptLimits *limits = limits_of(L);
    double ceiling = limits ? (double)limits->memory_ceiling : (double)SCRIPT_MEMORY_CEILING;
    if (count * (double)length > ceiling)
        return luaL_error(L, "resulting string too large");
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

// A path that stays inside the scripts' folder: not absolute and without
// a ".." component.
static int is_safe_script_name(const char *name)
{
    if (name[0] == '/' || name[0] == '\\')
        return 0;
    for (const char *p = name; *p;) {
        const char *end = p;
        while (*end && *end != '/' && *end != '\\')
            end++;
        if (end - p == 2 && p[0] == '.' && p[1] == '.')
            return 0;
        p = *end ? end + 1 : end;
    }
    return 1;
}

// Why a script may not open path, or null when it may: the path is
// relative, has no ".." component, and what it names (links followed) lies
// inside the game's folder or inside the game's data folder, wherever the
// link "data" points (the runtime folder of a development run links it to
// the source tree), and is a regular file or not there yet. The loader
// and the io functions both go by this rule.
static const char *script_path_refusal(const char *path, size_t length)
{
    if (!path || strlen(path) != length || length == 0 || length >= PATH_MAX)
        return "not a file name";
    if (path[0] == '/' || path[0] == '\\' || path[0] == '~')
        return "absolute path";
    if (!is_safe_script_name(path))
        return "path leaves the game folder";
    char game_folder[SAFE_PATH_BYTES], data_folder[SAFE_PATH_BYTES], resolved[PATH_MAX];
    if (resolve_game_folders(game_folder, data_folder) != 0)
        return "no game folder";
    struct stat st;
    if (realpath(path, resolved)) {
        if (stat(resolved, &st) != 0 || !S_ISREG(st.st_mode))
            return "not a regular file";
    } else {
        // Not there yet: a dangling link could still point anywhere; the
        // folder it would be made in must lie inside.
        if (lstat(path, &st) == 0)
            return "link leads outside the game folder";
        std::string folder = path;
        size_t slash = folder.find_last_of('/');
        folder = slash == std::string::npos ? "." : folder.substr(0, slash);
        if (!realpath(folder.empty() ? "/" : folder.c_str(), resolved))
            return nullptr;   // the open fails on its own
    }
    if (!lies_in_game_folders(resolved, game_folder, data_folder))
        return "outside the game folder";
    if (strncmp(resolved, "/proc", 5) == 0 || strncmp(resolved, "/sys", 4) == 0 ||
        strncmp(resolved, "/dev", 4) == 0)
        return "outside the game folder";
    return nullptr;
}

// The refusal of argument index (a file name), pushed as "<name>: <why>",
// or 0 when the name may be used.
static int refuse_script_path(lua_State *L, int index)
{
    size_t length = 0;
    const char *path = lua_tolstring(L, index, &length);
    const char *why = script_path_refusal(path, length);
    if (!why)
        return 0;
    lua_pushfstring(L, "%s: %s", path ? path : "?", why);
    fprintf(stderr, "Lua: refused file %s\n", lua_tostring(L, -1));
    return 1;
}

// io.open(name [, mode]) for names inside the game folder; elsewhere nil
// and the reason, as io.open gives for a file it cannot open.
static int confined_io_open(lua_State *L)
{
    luaL_checkstring(L, 1);
    if (refuse_script_path(L, 1)) {
        lua_pushnil(L);
        lua_insert(L, -2);
        return 2;
    }
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

// io.lines, io.input and io.output: a file name argument must pass the
// same check (a refused one is an error, as an unopenable one is there).
static int confined_io_name_call(lua_State *L)
{
    if (lua_type(L, 1) == LUA_TSTRING && refuse_script_path(L, 1))
        return lua_error(L);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

// Loads a chunk from a file inside the game folder (never standard input):
// 0 with the function pushed, or 1 with the message pushed.
static int load_confined_chunk(lua_State *L, int index)
{
    if (lua_type(L, index) != LUA_TSTRING) {
        lua_pushstring(L, "a file name is needed");
        return 1;
    }
    if (refuse_script_path(L, index))
        return 1;
    return load_script_chunk(L, lua_tostring(L, index));
}

static int confined_loadfile(lua_State *L)
{
    if (load_confined_chunk(L, 1) != 0) {
        lua_pushnil(L);
        lua_insert(L, -2);
        return 2;
    }
    return 1;
}

static int confined_dofile(lua_State *L)
{
    if (load_confined_chunk(L, 1) != 0)
        return lua_error(L);
    int base = lua_gettop(L) - 1;
    lua_call(L, 0, LUA_MULTRET);
    return lua_gettop(L) - base;
}

// Replaces table[name] (the table at the top) by fn with the old value as
// its upvalue.
static void wrap_field(lua_State *L, const char *name, lua_CFunction fn)
{
    lua_getfield(L, -1, name);
    lua_pushcclosure(L, fn, 1);
    lua_setfield(L, -2, name);
}

static int build_state(lua_State *L)
{
    const lua_CFunction openers[] = {luaopen_base, luaopen_math, luaopen_string, luaopen_table,
                                     luaopen_io};
    for (lua_CFunction open : openers) {
        lua_pushcclosure(L, open, 0);
        lua_call(L, 0, 0);
    }
    // io.popen would hand any script a command shell; the rest of io (files
    // a script keeps for itself) stays, confined to the game's folder, as
    // do dofile and loadfile.
    lua_getfield(L, LUA_GLOBALSINDEX, "io");
    if (lua_istable(L, -1)) {
        lua_pushnil(L);
        lua_setfield(L, -2, "popen");
        wrap_field(L, "open", confined_io_open);
        wrap_field(L, "lines", confined_io_name_call);
        wrap_field(L, "input", confined_io_name_call);
        wrap_field(L, "output", confined_io_name_call);
    }
    lua_pop(L, 1);
    lua_getfield(L, LUA_GLOBALSINDEX, "string");
    if (lua_istable(L, -1))
        wrap_field(L, "rep", checked_rep);
    lua_pop(L, 1);
    // Precompiled code is refused on every road; newproxy would let a
    // script run a finaliser inside a collection that nothing guards.
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    wrap_field(L, "loadstring", checked_loadstring);
    wrap_field(L, "load", checked_load);
    wrap_field(L, "xpcall", checked_xpcall);
    lua_pushnil(L);
    lua_setfield(L, -2, "newproxy");
    lua_pop(L, 1);
    lua_pushcclosure(L, confined_loadfile, 0);
    lua_setfield(L, LUA_GLOBALSINDEX, "loadfile");
    lua_pushcclosure(L, confined_dofile, 0);
    lua_setfield(L, LUA_GLOBALSINDEX, "dofile");

    for (const ScriptApiFunction *row = script_api_functions; row->name; row++) {
        lua_pushcclosure(L, row->function, 0);
        lua_setfield(L, LUA_GLOBALSINDEX, row->name);
    }

    lua_pushstring(L, program_version);
    lua_setfield(L, LUA_GLOBALSINDEX, "ZYLOMACH_VERSION");

    const char *joint_names[NUM_JOINTS];
    for (int i = 0; i < NUM_JOINTS; i++)
        joint_names[i] = builtin_joint_table[i].name;
    set_name_table(L, "JOINTS", joint_names, NUM_JOINTS);

    static const NamedValue joint_states[] = {
        {"FORWARD", MOTOR_FWD}, {"BACK", MOTOR_BACK}, {"HOLD", MOTOR_HOLD}, {"RELAX", MOTOR_RELAX}};
    set_global_table(L, "JOINT_STATE", joint_states, 4);

    const char *body_names[NUM_BODIES];
    for (int i = 0; i < NUM_BODIES; i++)
        body_names[i] = builtin_body_table[i].name;
    set_name_table(L, "BODYPARTS", body_names, NUM_BODIES);

    static const NamedValue fonts[] = {{"BIG", 0}, {"MEDIUM", 2}, {"SMALL", 1}};
    set_global_table(L, "FONTS", fonts, 3);

    static const NamedValue message_types[] = {{"NONE", 0}, {"SERVER", 1}, {"URL", 2},
                                               {"INGAME", 4}, {"USER", 8}, {"PLAYER", 16}};
    set_global_table(L, "MSGTYPE", message_types, 6);
    return 0;
}

// ---- lifecycle ---------------------------------------------------------------------

int create_script_engine(ScriptEngine *engine)
{
    if (!engine)
        return 1;
    engine->state = nullptr;
    engine->error_flag = 0;
    return init_script_engine(engine);
}

int init_script_engine(ScriptEngine *engine)
{
    if (!engine)
        return 1;
    if (engine->state)
        destroy_script_engine(engine);
    engine->owner = std::this_thread::get_id();
    ScriptLimits *limits = &engine->limits;
    if (limits->hook_instructions <= 0)
        limits->hook_instructions = SCRIPT_HOOK_INSTRUCTIONS;
    if (limits->run_instructions <= 0)
        limits->run_instructions = SCRIPT_RUN_INSTRUCTIONS;
    if (limits->memory_ceiling == 0)
        limits->memory_ceiling = SCRIPT_MEMORY_CEILING;
    limits->memory_in_use = 0;
    limits->depth = 0;
    limits->stopped = SCRIPT_GOING;
    engine->state = lua_newstate(limited_alloc, limits);
    if (!engine->state) {
        fprintf(stderr, "Lua: cannot create a state\n");
        engine->error_flag = 1;
        return 1;
    }
    lua_atpanic(engine->state, unprotected_error);
    lua_sethook(engine->state, budget_hook, LUA_MASKCOUNT, BUDGET_SLICE);
    if (lua_cpcall(engine->state, build_state, nullptr) != 0) {
        fprintf(stderr, "Lua script error: %s\n", script_error_text(engine->state));
        lua_settop(engine->state, 0);
    }
    clear_event_hooks(engine);
    return load_script_file(engine, "startup.lua");
}

void destroy_script_engine(ScriptEngine *engine)
{
    if (!engine || !engine->state)
        return;
    lua_close(engine->state);
    engine->state = nullptr;
    // Closing the state freed every hook function.
    for (int i = 0; i < EVENT_HOOK_COUNT; i++)
        event_hook_refs[i] = LUA_NOREF;
}

// ---- loading -----------------------------------------------------------------------

static int set_arg1(lua_State *L)
{
    lua_pushstring(L, static_cast<const char *>(lua_touserdata(L, 1)));
    lua_setfield(L, LUA_GLOBALSINDEX, "ARG1");
    return 0;
}

// Loads the file named by the light userdata and runs it.
static int run_script_body(lua_State *L)
{
    const char *path = static_cast<const char *>(lua_touserdata(L, 1));
    if (load_script_chunk(L, path) != 0)
        return lua_error(L);
    lua_call(L, 0, 0);
    return 0;
}

// Scripts running now, each inside a load of its own.
static int running_scripts;
enum { MAX_NESTED_LOADS = 2 };

static int fail_load(ScriptEngine *engine, const char *name, const char *message)
{
    engine->error_flag = 1;
    fprintf(stderr, "Lua script error in file %s: %s\n", name, message);
    return 1;
}

int load_script_file(ScriptEngine *engine, const char *request)
{
    if (!engine)
        return 1;
    engine->error_flag = 0;
    char name[REQUEST_BUFFER] = {0};
    char argument[REQUEST_BUFFER] = {0};
    // "%64s %32s": a first word longer than 64 bytes gives its first 64
    // bytes as the name and the next (up to 32) bytes of the same word as
    // the argument.
    sscanf(request ? request : "", "%64s %32s", name, argument);

    if (!script_engine_usable(engine))
        return fail_load(engine, name, "no usable Lua state");
    // A running script may load another (which may load one more); deeper
    // chains, such as a startup.lua that loads a script, would recurse
    // without end.
    if (running_scripts > MAX_NESTED_LOADS)
        return fail_load(engine, name, "scripts loading scripts nested too deep");

    if (strcmp(name, "startup.lua") != 0) {
        clear_event_hooks(engine);
        load_script_file(engine, "startup.lua");
        engine->error_flag = 0;
    }
    lua_State *L = engine->state;
    int top = lua_gettop(L);
    if (lua_cpcall(L, set_arg1, argument) != 0) {
        fail_load(engine, name, script_error_text(L));
        lua_settop(L, top);
        return 1;
    }
    if (!is_safe_script_name(name))
        return fail_load(engine, name, "unsafe script path");

    char path[REQUEST_BUFFER + 16];
    snprintf(path, sizeof path, "data/script/%s", name);
    // The loader goes by the io functions' rule: a link that leads out of
    // the game's folders is not followed.
    if (const char *why = script_path_refusal(path, strlen(path))) {
        char message[sizeof path + 64];
        snprintf(message, sizeof message, "%s: %s", path, why);
        return fail_load(engine, name, message);
    }
    running_scripts++;
    int outcome = script_guarded_call(engine, SCRIPT_BUDGET_RUN, run_script_body, path);
    running_scripts--;
    if (outcome == SCRIPT_CALL_OK) {
        engine->error_flag = 0;
        lua_settop(L, top);
        return 0;
    }
    if (outcome == SCRIPT_CALL_STOPPED) {
        char message[160];
        snprintf(message, sizeof message, "stopped: %s", script_stop_reason());
        fail_load(engine, name, message);
        lua_settop(L, top);
        return 1;
    }
    fail_load(engine, name, script_error_text(L));
    lua_settop(L, top);
    return 1;
}

#include "script/hooks.h"

#include <climits>
#include <cstdio>
#include <cstring>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include "core/sane.h"
#include "script/engine.h"

const char *const EVENT_HOOK_NAMES[EVENT_HOOK_COUNT + 1] = {
    "new_game",  "new_mp_game",   "enter_frame",  "end_game",     "leave_game",
    "enter_freeze", "exit_freeze", "key_up",      "key_down",     "mouse_button_up",
    "mouse_button_down", "mouse_move", "player_select", "joint_select", "draw2d",
    "draw3d",    "play",          "camera",       "console",      nullptr,
};

int event_hook_refs[EVENT_HOOK_COUNT] = {
    LUA_NOREF, LUA_NOREF, LUA_NOREF, LUA_NOREF, LUA_NOREF, LUA_NOREF, LUA_NOREF,
    LUA_NOREF, LUA_NOREF, LUA_NOREF, LUA_NOREF, LUA_NOREF, LUA_NOREF, LUA_NOREF,
    LUA_NOREF, LUA_NOREF, LUA_NOREF, LUA_NOREF, LUA_NOREF,
};

enum { CONSOLE_TEXT_BYTES = 256 };

int lua_set_event_hook(lua_State *L)
{
    if (lua_gettop(L) != 2)
        return luaL_error(L, "Usage: set_event_hook(string hook_name, function callback)\n");
    const char *name = luaL_checklstring(L, 1, nullptr);
    int event = 0;
    while (EVENT_HOOK_NAMES[event] && strcmp(EVENT_HOOK_NAMES[event], name) != 0)
        event++;
    if (!EVENT_HOOK_NAMES[event])
        return 0;
    if (event_hook_refs[event] != LUA_NOREF) {
        luaL_unref(L, LUA_REGISTRYINDEX, event_hook_refs[event]);
        event_hook_refs[event] = LUA_NOREF;
    }
    if (lua_type(L, 2) == LUA_TFUNCTION) {
        lua_pushvalue(L, 2);
        event_hook_refs[event] = luaL_ref(L, LUA_REGISTRYINDEX);
    }
    return 0;
}

void clear_event_hooks(ScriptEngine *engine)
{
    int usable = script_engine_usable(engine);
    for (int i = 0; i < EVENT_HOOK_COUNT; i++) {
        if (event_hook_refs[i] != LUA_NOREF && usable)
            luaL_unref(engine->state, LUA_REGISTRYINDEX, event_hook_refs[i]);
        event_hook_refs[i] = LUA_NOREF;
    }
}

static int call_remove_hooks(lua_State *L)
{
    const char *set_name = static_cast<const char *>(lua_touserdata(L, 1));
    lua_getfield(L, LUA_GLOBALSINDEX, "remove_hooks");
    lua_pushstring(L, set_name);
    lua_call(L, 1, 0);
    return 0;
}

// The error line of a guarded call that did not end well.
static void report_call(lua_State *L, int outcome)
{
    if (outcome == SCRIPT_CALL_STOPPED)
        fprintf(stderr, "Lua script error: stopped: %s\n", script_stop_reason());
    else if (outcome != SCRIPT_CALL_OK)
        fprintf(stderr, "Lua script error: %s\n", script_error_text(L));
}

void remove_hooks(ScriptEngine *engine, const char *set_name)
{
    if (!script_engine_usable(engine))
        return;
    lua_State *L = engine->state;
    int top = lua_gettop(L);
    report_call(L, script_guarded_call(engine, SCRIPT_BUDGET_HOOK, call_remove_hooks,
                                       const_cast<char *>(set_name ? set_name : "")));
    lua_settop(L, top);
}

struct Announcement {
    int number;
    const char *text;
};

static int call_announce(lua_State *L)
{
    const Announcement *a = static_cast<const Announcement *>(lua_touserdata(L, 1));
    lua_getfield(L, LUA_GLOBALSINDEX, "announce_callback");
    if (!lua_isfunction(L, -1))
        return 0;
    lua_pushinteger(L, a->number);
    lua_pushstring(L, a->text);
    lua_call(L, 2, 0);
    return 0;
}

void call_announce_callback(ScriptEngine *engine, int number, const char *text)
{
    if (!script_engine_usable(engine))
        return;
    lua_State *L = engine->state;
    int top = lua_gettop(L);
    Announcement a = {number, text ? text : ""};
    report_call(L, script_guarded_call(engine, SCRIPT_BUDGET_HOOK, call_announce, &a));
    lua_settop(L, top);
}

// A hook's result, read as a Lua integer: a number, or a text that reads as
// one, cut toward zero (0.5 is 0, "1" is 1); NaN and anything else are 0,
// and a number beyond the int range stops at its end.
static int hook_result(lua_State *L)
{
    if (!lua_isnumber(L, -1))
        return 0;
    return whole_number(lua_tonumber(L, -1));
}

struct HookCall {
    int ref;
    int want_result;
    const char *text;
    const int *args;
    int count;
    int result;
};

static int call_hook(lua_State *L)
{
    HookCall *call = static_cast<HookCall *>(lua_touserdata(L, 1));
    lua_rawgeti(L, LUA_REGISTRYINDEX, call->ref);
    int pushed = 0;
    if (call->text) {
        lua_pushstring(L, call->text);
        pushed++;
    }
    for (int i = 0; i < call->count; i++)
        lua_pushinteger(L, call->args[i]);
    pushed += call->count;
    lua_call(L, pushed, call->want_result ? 1 : 0);
    if (call->want_result)
        call->result = hook_result(L);
    return 0;
}

// Calls the event's hook with an optional leading text and integer
// arguments; 0 without a hook, after an error or without a result. A hook
// stopped by its budget or the memory ceiling would do the same at its next
// event, so it is removed after its one error line.
static int fire(ScriptEngine *engine, int event, int want_result, const char *text,
                const int *args, int count)
{
    // An event fired again from inside its own hook (a new_game hook that
    // starts a new game, a console hook that echoes) would call itself
    // without end: the inner firing passes without the hook.
    static int running[EVENT_HOOK_COUNT];
    int ref = event_hook_refs[event];
    if (ref == LUA_NOREF || running[event] || !script_engine_usable(engine))
        return 0;
    running[event] = 1;
    lua_State *L = engine->state;
    int top = lua_gettop(L);
    HookCall call = {ref, want_result, text, args, count, 0};
    int outcome = script_guarded_call(engine, SCRIPT_BUDGET_HOOK, call_hook, &call);
    int result = 0;
    if (outcome == SCRIPT_CALL_OK) {
        result = call.result;
    } else if (outcome == SCRIPT_CALL_STOPPED) {
        fprintf(stderr, "Lua script error: hook %s stopped: %s; the hook is removed\n",
                EVENT_HOOK_NAMES[event], script_stop_reason());
        if (event_hook_refs[event] == ref) {
            luaL_unref(L, LUA_REGISTRYINDEX, ref);
            event_hook_refs[event] = LUA_NOREF;
        }
    } else {
        fprintf(stderr, "Lua script error: %s\n", script_error_text(L));
    }
    lua_settop(L, top);
    running[event] = 0;
    return result;
}

void fire_new_game(ScriptEngine *engine) { fire(engine, HOOK_NEW_GAME, 0, nullptr, nullptr, 0); }
void fire_new_mp_game(ScriptEngine *engine) { fire(engine, HOOK_NEW_MP_GAME, 0, nullptr, nullptr, 0); }
void fire_enter_frame(ScriptEngine *engine) { fire(engine, HOOK_ENTER_FRAME, 0, nullptr, nullptr, 0); }

void fire_end_game(ScriptEngine *engine, int result_code)
{
    fire(engine, HOOK_END_GAME, 0, nullptr, &result_code, 1);
}

void fire_leave_game(ScriptEngine *engine) { fire(engine, HOOK_LEAVE_GAME, 0, nullptr, nullptr, 0); }
void fire_enter_freeze(ScriptEngine *engine) { fire(engine, HOOK_ENTER_FREEZE, 0, nullptr, nullptr, 0); }
void fire_exit_freeze(ScriptEngine *engine) { fire(engine, HOOK_EXIT_FREEZE, 0, nullptr, nullptr, 0); }

int fire_key(ScriptEngine *engine, int key, int down)
{
    return fire(engine, down ? HOOK_KEY_DOWN : HOOK_KEY_UP, 1, nullptr, &key, 1);
}

int fire_mouse_button(ScriptEngine *engine, int button, int down, int x, int y)
{
    const int args[3] = {button, x, y};
    return fire(engine, down ? HOOK_MOUSE_BUTTON_DOWN : HOOK_MOUSE_BUTTON_UP, 1, nullptr, args, 3);
}

int fire_mouse_move(ScriptEngine *engine, int x, int y)
{
    const int args[2] = {x, y};
    return fire(engine, HOOK_MOUSE_MOVE, 1, nullptr, args, 2);
}

void fire_player_select(ScriptEngine *engine, int player)
{
    fire(engine, HOOK_PLAYER_SELECT, 0, nullptr, &player, 1);
}

void fire_joint_select(ScriptEngine *engine, int player, int joint)
{
    const int args[2] = {player, joint};
    fire(engine, HOOK_JOINT_SELECT, 0, nullptr, args, 2);
}

void fire_draw2d(ScriptEngine *engine) { fire(engine, HOOK_DRAW2D, 0, nullptr, nullptr, 0); }
void fire_draw3d(ScriptEngine *engine) { fire(engine, HOOK_DRAW3D, 0, nullptr, nullptr, 0); }
void fire_play(ScriptEngine *engine) { fire(engine, HOOK_PLAY, 0, nullptr, nullptr, 0); }
int fire_camera(ScriptEngine *engine) { return fire(engine, HOOK_CAMERA, 1, nullptr, nullptr, 0); }

int fire_console(ScriptEngine *engine, const char16 *text, int type)
{
    if (event_hook_refs[HOOK_CONSOLE] == LUA_NOREF || !script_engine_usable(engine))
        return 0;
    char local[CONSOLE_TEXT_BYTES] = {0};
    if (text)
        utf16_to_local(local, text, CONSOLE_TEXT_BYTES - 1);
    return fire(engine, HOOK_CONSOLE, 1, local, &type, 1);
}

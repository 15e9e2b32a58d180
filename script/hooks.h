// Event hooks: one Lua function per named event, installed by scripts with
// set_event_hook and called by the game's firing operations in protected
// calls. Errors inside a hook go to standard error and count as "not
// handled" (0); the five events with a result report a non-zero number
// when the script has handled the event.
#pragma once

#include "core/text.h"

struct ScriptEngine;
struct lua_State;

enum {
    HOOK_NEW_GAME = 0,
    HOOK_NEW_MP_GAME,
    HOOK_ENTER_FRAME,
    HOOK_END_GAME,
    HOOK_LEAVE_GAME,
    HOOK_ENTER_FREEZE,
    HOOK_EXIT_FREEZE,
    HOOK_KEY_UP,
    HOOK_KEY_DOWN,
    HOOK_MOUSE_BUTTON_UP,
    HOOK_MOUSE_BUTTON_DOWN,
    HOOK_MOUSE_MOVE,
    HOOK_PLAYER_SELECT,
    HOOK_JOINT_SELECT,
    HOOK_DRAW2D,
    HOOK_DRAW3D,
    HOOK_PLAY,
    HOOK_CAMERA,
    HOOK_CONSOLE,
    EVENT_HOOK_COUNT
};

// The event names in index order, then a null entry.
extern const char *const EVENT_HOOK_NAMES[EVENT_HOOK_COUNT + 1];
// Registry references of the installed functions; -2 (LUA_NOREF) for none.
extern int event_hook_refs[EVENT_HOOK_COUNT];

// Lua: set_event_hook(name, callback). Exactly two arguments; an unknown
// name does nothing; a non-function callback removes the hook.
int lua_set_event_hook(lua_State *L);

// Releases every set reference and marks all hooks unset.
void clear_event_hooks(ScriptEngine *engine);

// Calls the script-defined global function remove_hooks(set_name).
void remove_hooks(ScriptEngine *engine, const char *set_name);
// Calls the script-defined global function announce_callback(number, text)
// when a script defined it; errors go to standard error.
void call_announce_callback(ScriptEngine *engine, int number, const char *text);

// ---- firing operations (main thread; nothing happens without a hook) ----
void fire_new_game(ScriptEngine *engine);
void fire_new_mp_game(ScriptEngine *engine);
void fire_enter_frame(ScriptEngine *engine);
void fire_end_game(ScriptEngine *engine, int result_code);
void fire_leave_game(ScriptEngine *engine);
void fire_enter_freeze(ScriptEngine *engine);
void fire_exit_freeze(ScriptEngine *engine);
// key_down when down is non-zero, else key_up.
int fire_key(ScriptEngine *engine, int key, int down);
// mouse_button_down when down is non-zero, else mouse_button_up.
int fire_mouse_button(ScriptEngine *engine, int button, int down, int x, int y);
int fire_mouse_move(ScriptEngine *engine, int x, int y);
void fire_player_select(ScriptEngine *engine, int player);
void fire_joint_select(ScriptEngine *engine, int player, int joint);
void fire_draw2d(ScriptEngine *engine);
void fire_draw3d(ScriptEngine *engine);
void fire_play(ScriptEngine *engine);
int fire_camera(ScriptEngine *engine);
// The 16-bit console line goes to the hook as local 8-bit text of at most
// 255 bytes, followed by the message type.
int fire_console(ScriptEngine *engine, const char16 *text, int type);

// Lua API functions on the fighters' motion trails. The trail operations
// live with the renderer; the shell hands them in through TrailShell.
#pragma once

struct lua_State;
struct ScriptApiFunction;

struct TrailShell {
    // Switches the player's four trails on (colour 1..67: their points take
    // the colour's RGB) or off (colour 0).
    void (*set_trail_color)(int player, int colour);
    // Appends the segment a-b to trail `emitter` (0..3) of the player.
    void (*add_trail_point)(int player, int emitter, const float a[3], const float b[3]);
};
extern TrailShell trail_shell;

int lua_set_trail_color(lua_State *L);
int lua_add_trail_particle(lua_State *L);

// The two functions in registration order ("set_trail_color",
// "add_trail_particle"), ended by a null name.
extern const ScriptApiFunction trail_api_functions[];
// Registers them as globals of the state.
void register_trail_api(lua_State *L);

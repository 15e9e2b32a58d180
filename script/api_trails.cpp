// Lua API on the fighters' motion trails. The arguments are checked here;
// the trails themselves live with the renderer, which the shell hands in
// through TrailShell.
#include "script/api_trails.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include "script/api_colours.h"
#include "script/api_support.h"
#include "script/engine.h"

TrailShell trail_shell;

const ScriptApiFunction trail_api_functions[] = {
    {"set_trail_color", lua_set_trail_color},
    {"add_trail_particle", lua_add_trail_particle},
    {nullptr, nullptr},
};

void register_trail_api(lua_State *L)
{
    for (const ScriptApiFunction *f = trail_api_functions; f->name; f++)
        lua_register(L, f->name, f->function);
}

int lua_set_trail_color(lua_State *L)
{
    api_need_args(L, 2, "Usage: set_trail_color(integer player, integer color)");
    int player = api_player(L, 1, "player index out of range");
    int colour = api_colour(L, 2);
    if (trail_shell.set_trail_color)
        trail_shell.set_trail_color(player, colour);
    return 0;
}

int lua_add_trail_particle(lua_State *L)
{
    const char *usage =
        "Usage: add_trail_particle(integer player, integer emitter_id, number pt1_x, number pt1_y, "
        "number pt1_z, number pt2_x, number pt2_y, number pt2_z)";
    api_need_args(L, 8, usage);
    int player = api_player(L, 1, "player index out of range");
    int emitter = api_index(L, 2, 3, "Emitter index out of range");
    float a[3], b[3];
    for (int k = 0; k < 3; k++) {
        a[k] = (float)api_finite(L, 3 + k, API_WORLD_LIMIT, usage);
        b[k] = (float)api_finite(L, 6 + k, API_WORLD_LIMIT, usage);
    }
    if (trail_shell.add_trail_point)
        trail_shell.add_trail_point(player, emitter, a, b);
    return 0;
}

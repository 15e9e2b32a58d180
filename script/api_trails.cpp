// Lua API on the fighters' motion trails. The arguments are checked here
// as the trail functions take them; the trails themselves belong to the
// trail renderer, which acts on them once it exists.
#include "script/api_colours.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include "script/api_support.h"

int lua_set_trail_color(lua_State *L)
{
    api_need_args(L, 2, "Usage: set_trail_color(integer player, integer color)");
    api_player(L, 1, "player index out of range");
    api_colour(L, 2);
    return 0;
}

int lua_add_trail_particle(lua_State *L)
{
    const char *usage =
        "Usage: add_trail_particle(integer player, integer emitter_id, number pt1_x, number pt1_y, "
        "number pt1_z, number pt2_x, number pt2_y, number pt2_z)";
    api_need_args(L, 8, usage);
    api_player(L, 1, "player index out of range");
    api_index(L, 2, 3, "Emitter index out of range");
    for (int i = 3; i <= 8; i++)
        api_finite(L, i, API_WORLD_LIMIT, usage);
    return 0;
}

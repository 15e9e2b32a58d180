#include "script/api_trails.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include <cmath>

#include "core/records.h"
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

// The player argument at index i, or a Lua error.
static int checked_player(lua_State *L, int i)
{
    lua_Integer p = luaL_checkinteger(L, i);
    if (p < 0 || p >= match_state.num_players || p >= MAX_FIGHTERS)
        luaL_error(L, "player index out of range");
    return (int)p;
}

int lua_set_trail_color(lua_State *L)
{
    if (lua_gettop(L) < 2)
        return luaL_error(L, "Usage: set_trail_color(integer player, integer color)");
    int player = checked_player(L, 1);
    lua_Integer colour = luaL_checkinteger(L, 2);
    if (colour < 0 || colour > 67)
        return luaL_error(L, "color index out of range");
    if (trail_shell.set_trail_color)
        trail_shell.set_trail_color(player, (int)colour);
    return 0;
}

int lua_add_trail_particle(lua_State *L)
{
    if (lua_gettop(L) <= 7)
        return luaL_error(L, "Usage: add_trail_particle(integer player, integer emitter_id, "
                             "number pt1_x, number pt1_y, number pt1_z, number pt2_x, number "
                             "pt2_y, number pt2_z)");
    int player = checked_player(L, 1);
    lua_Integer emitter = luaL_checkinteger(L, 2);
    if (emitter < 0 || emitter > 3)
        return luaL_error(L, "Emitter index out of range");
    float a[3], b[3];
    for (int k = 0; k < 3; k++) {
        a[k] = (float)luaL_checknumber(L, 3 + k);
        b[k] = (float)luaL_checknumber(L, 6 + k);
        if (!std::isfinite(a[k]) || !std::isfinite(b[k]))
            return luaL_error(L, "number out of range");
    }
    if (trail_shell.add_trail_point)
        trail_shell.add_trail_point(player, (int)emitter, a, b);
    return 0;
}

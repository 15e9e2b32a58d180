#include "script/api_support.h"

#include <cmath>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include "core/records.h"
#include "core/sane.h"

void api_need_args(lua_State *L, int need, const char *usage)
{
    if (lua_gettop(L) < need)
        luaL_error(L, "%s", usage);
}

int api_whole(lua_State *L, int arg)
{
    return whole_number(luaL_checknumber(L, arg));
}

int api_whole_or_zero(lua_State *L, int arg)
{
    return whole_number(lua_tonumber(L, arg));
}

int api_player(lua_State *L, int arg, const char *message)
{
    int p = api_whole(L, arg);
    if (p < 0 || p >= match_state.num_players || p >= MAX_FIGHTERS)
        luaL_error(L, "%s", message);
    return (int)p;
}

int api_index(lua_State *L, int arg, int max, const char *message)
{
    int i = api_whole(L, arg);
    if ((unsigned)i > (unsigned)max)
        luaL_error(L, "%s", message);
    return i;
}

double api_finite(lua_State *L, int arg, double limit, const char *usage)
{
    double v = luaL_checknumber(L, arg);
    if (!std::isfinite(v) || std::fabs(v) > limit)
        luaL_error(L, "%s", usage);
    return v;
}

int api_colour(lua_State *L, int arg)
{
    return api_index(L, arg, API_PALETTE_COLOURS - 1, "color index out of range");
}

// Argument checks shared by the Lua API functions. Each raises a Lua error
// (luaL_error, which does not return) when the argument is bad, so the
// caller goes on only with a value that is safe to use as an index or to
// hand to the physics engine.
#pragma once

struct lua_State;

// An integer argument: a number (else Lua's argument error) cut toward
// zero, a huge one stopping at the int range, NaN 0. The range is settled
// on the number itself, before any narrowing cast (luaL_checkinteger would
// give 5 for 2^32 + 5 where lua_Integer has 32 bits, and any int cast of it
// would wherever it has 64).
int api_whole(lua_State *L, int arg);
// The same for an unchecked argument: what is not a number reads as 0.
int api_whole_or_zero(lua_State *L, int arg);
// Raises the usage text when fewer than `need` arguments were given.
void api_need_args(lua_State *L, int need, const char *usage);
// A fighter of the current game (0 <= p < num_players), else `message`.
int api_player(lua_State *L, int arg, const char *message);
// An index in 0..max (compared unsigned, so negatives fail too), else
// `message`.
int api_index(lua_State *L, int arg, int max, const char *message);
// A finite number no larger in size than `limit`, else the usage text.
// Keeps NaN, infinities and absurd sizes away from the physics engine.
double api_finite(lua_State *L, int arg, double limit, const char *usage);
// A palette colour 0..67, else "color index out of range".
int api_colour(lua_State *L, int arg);

enum {
    API_PALETTE_COLOURS = 68,
    // Largest coordinate, size or force a script may hand to the world.
    API_WORLD_LIMIT = 100000
};

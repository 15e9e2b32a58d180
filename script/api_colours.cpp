#include "script/api_colours.h"

#include <cstdio>
#include <cstring>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include "core/outward.h"
#include "render/fighter_draw.h"
#include "render/scene.h"
#include "render/texture.h"
#include "script/api_game.h"
#include "script/api_support.h"
#include "script/script_textures.h"

namespace {

const char PLAYER_RANGE[] = "player index out of range";
const char BODY_RANGE[] = "body index out of range";
enum { DECAL_TEXT_MAX = 10, HIGHLIGHT_ON = 11, HIGHLIGHT_OFF = 23 };
const int torso_bodies[4] = {1, 2, 5, 8};

void colour_rgb(int colour, float rgb[3])
{
    rgb[0] = rgb[1] = rgb[2] = 0;
    if (core_outward.palette_colour)
        core_outward.palette_colour(colour, rgb);
}

// Stores a colour in the fighter's customisation record (which the
// drawing's look follows) or, with no record, in the look itself.
void store_colour(int p, int field, int part, int colour)
{
    if (script_shell.custom_colour) {
        if (int *slot = script_shell.custom_colour(p, field, part))
            *slot = colour;
        return;
    }
    FighterLook &look = fighter_looks[p];
    switch (field) {
    case CUSTOM_BODY: if (part >= 0 && part < NUM_BODIES) look.body_colour[part] = colour; break;
    case CUSTOM_FORCE: if (part >= 0 && part < NUM_JOINTS) look.force_colour[part] = colour; break;
    case CUSTOM_RELAX: if (part >= 0 && part < NUM_JOINTS) look.relax_colour[part] = colour; break;
    case CUSTOM_GHOST: look.ghost_colour = colour; break;
    case CUSTOM_TIMER: look.timer_colour = colour; break;
    default: break;
    }
}

// The fighter's look follows its record again.
void push_look(int p)
{
    if (script_shell.push_look)
        script_shell.push_look(p);
}

// (player, colour) with the usage text, the player check and the colour check.
void player_and_colour(lua_State *L, const char *usage, int *p, int *colour)
{
    api_need_args(L, 2, usage);
    *p = api_player(L, 1, PLAYER_RANGE);
    *colour = api_colour(L, 2);
}

int set_gradient_side(lua_State *L, const char *usage, int field)
{
    int p, c;
    player_and_colour(L, usage, &p, &c);
    for (int b = 0; b < NUM_BODIES; b++)
        if (is_gradient_body(b))
            store_colour(p, field, b, c);
    if (script_shell.reload_player_textures)
        script_shell.reload_player_textures(p);
    return 0;
}

}  // namespace

int is_gradient_body(int b)
{
    return b >= 0 && b < NUM_BODIES && b != 0 && b != 1 && b != 2 && b != 5 && b != 8;
}

int lua_get_color_info(lua_State *L)
{
    api_need_args(L, 1, "Usage: color_table = get_color_info(integer color_index)\n");
    int c = api_colour(L, 1);
    char name[64] = "";
    if (script_shell.colour_name)
        script_shell.colour_name(c, name, sizeof name);
    float rgb[3];
    colour_rgb(c, rgb);
    lua_createtable(L, 0, 4);
    lua_pushstring(L, name);
    lua_setfield(L, -2, "name");
    const char *keys[3] = {"r", "g", "b"};
    for (int k = 0; k < 3; k++) {
        lua_pushnumber(L, rgb[k]);
        lua_setfield(L, -2, keys[k]);
    }
    return 1;
}

int lua_set_blood_color(lua_State *L)
{
    int p, c;
    player_and_colour(L, "Usage: set_blood_color(integer player, integer color)", &p, &c);
    fighter_looks[p].blood_colour = c;
    return 0;
}

int lua_set_ground_impact_color(lua_State *L)
{
    int p, c;
    player_and_colour(L, "Usage: set_ground_impact_color(integer player, integer color)", &p, &c);
    fighter_looks[p].impact_colour = c;
    return 0;
}

int lua_set_timex_color(lua_State *L)
{
    int p, c;
    player_and_colour(L, "Usage: set_timex_color(integer player, integer color)", &p, &c);
    store_colour(p, CUSTOM_TIMER, 0, c);
    push_look(p);
    return 0;
}

int lua_set_ghost_color(lua_State *L)
{
    int p, c;
    player_and_colour(L, "Usage: set_ghost_color(integer player, integer color)", &p, &c);
    // The ghost copies follow the fighters in the player records, and a
    // ghost is drawn in its own record's ghost colour.
    int ghost = p + match_state.num_players;
    if (ghost < MAX_PLAYERS)
        fighter_looks[ghost].ghost_colour = c;
    return 0;
}

int lua_set_torso_color(lua_State *L)
{
    int p, c;
    player_and_colour(L, "Usage: set_torso_color(integer player, integer color)\n", &p, &c);
    for (int b : torso_bodies)
        store_colour(p, CUSTOM_BODY, b, c);
    push_look(p);
    return 0;
}

int lua_set_body_color(lua_State *L)
{
    api_need_args(L, 3, "Usage: set_body_color(integer player, integer body_index, integer color)");
    int p = api_player(L, 1, PLAYER_RANGE);
    int b = api_index(L, 2, NUM_BODIES - 1, BODY_RANGE);
    int c = api_colour(L, 3);
    store_colour(p, CUSTOM_BODY, b, c);
    push_look(p);
    return 0;
}

int lua_set_joint_color(lua_State *L)
{
    api_need_args(L, 3, "Usage: set_joint_color(integer player, integer relax, integer force)");
    int p = api_player(L, 1, PLAYER_RANGE);
    int relax = api_colour(L, 2);
    int force = api_colour(L, 3);
    for (int j = 0; j < NUM_JOINTS; j++) {
        store_colour(p, CUSTOM_RELAX, j, relax);
        store_colour(p, CUSTOM_FORCE, j, force);
    }
    push_look(p);
    return 0;
}

int lua_set_joint_relax_color(lua_State *L)
{
    int p, c;
    player_and_colour(L, "Usage: set_joint_relax_color(integer player, integer color)", &p, &c);
    for (int j = 0; j < NUM_JOINTS; j++)
        store_colour(p, CUSTOM_RELAX, j, c);
    push_look(p);
    return 0;
}

int lua_set_joint_force_color(lua_State *L)
{
    int p, c;
    player_and_colour(L, "Usage: set_joint_force_color(integer player, integer color)", &p, &c);
    for (int j = 0; j < NUM_JOINTS; j++)
        store_colour(p, CUSTOM_FORCE, j, c);
    push_look(p);
    return 0;
}

int lua_set_gradient_primary_color(lua_State *L)
{
    return set_gradient_side(L, "Usage: set_gradient_primary_color(integer player, integer color)",
                             CUSTOM_GRADIENT1);
}

int lua_set_gradient_secondary_color(lua_State *L)
{
    return set_gradient_side(L, "Usage: set_gradient_secondary_color(integer player, integer color)",
                             CUSTOM_GRADIENT2);
}

int lua_set_gradient_color(lua_State *L)
{
    api_need_args(L, 3, "Usage: set_gradient_color(number player, number color1, number color2)\n");
    int p = api_player(L, 1, PLAYER_RANGE);
    int c1 = api_colour(L, 2);
    int c2 = api_colour(L, 3);
    // Unchanged when the gradient parts already carry these two colours
    // (the first gradient part speaks for all of them).
    if (script_shell.custom_colour) {
        int *a = script_shell.custom_colour(p, CUSTOM_GRADIENT1, 3);
        int *b = script_shell.custom_colour(p, CUSTOM_GRADIENT2, 3);
        if (a && b && *a == c1 && *b == c2)
            return 0;
    }
    float rgb1[3], rgb2[3];
    colour_rgb(c1, rgb1);
    colour_rgb(c2, rgb2);
    for (int b = 0; b < NUM_BODIES; b++) {
        if (!is_gradient_body(b))
            continue;
        store_colour(p, CUSTOM_GRADIENT1, b, c1);
        store_colour(p, CUSTOM_GRADIENT2, b, c2);
        float *tint = fighter_looks[p].body_tint[b];
        for (int k = 0; k < 3; k++)
            tint[k] = c1 == c2 ? rgb1[k] : 1.0f;
        fighter_looks[p].body_tinted[b] = 1;
        if (script_gl_ready)
            set_player_body_gradient(p, b, rgb1, rgb2);
    }
    return 0;
}

int lua_indicate_joint(lua_State *L)
{
    api_need_args(L, 2, "Usage: indicate_joint(integer player, integer joint, integer indicate)\n");
    int p = api_player(L, 1, PLAYER_RANGE);
    int j = api_index(L, 2, NUM_JOINTS - 1, "joint index out of range");
    int on = lua_gettop(L) >= 3 && api_whole_or_zero(L, 3) != 0;
    colour_rgb(on ? HIGHLIGHT_ON : HIGHLIGHT_OFF, fighter_looks[p].joint_highlight[j]);
    fighter_looks[p].joint_indicated[j] = on;
    return 0;
}

int lua_set_decal(lua_State *L)
{
    api_need_args(L, 4,
                  "Usage: set_decal(integer player_index, integer body_index, string text, number color)\n");
    int p = api_player(L, 1, PLAYER_RANGE);
    int b = api_index(L, 2, NUM_BODIES - 1, BODY_RANGE);
    size_t length = 0;
    const char *text = luaL_checklstring(L, 3, &length);
    if (length > DECAL_TEXT_MAX || strlen(text) != length)
        return luaL_error(L, "text too long");
    api_colour(L, 4);
    if (script_shell.set_custom_decal)
        script_shell.set_custom_decal(p, b, text);
    if (script_gl_ready)
        set_player_body_decal(p, b, text);
    return 0;
}

int lua_set_body_texture(lua_State *L)
{
    api_need_args(L, 2,
                  "Usage: set_body_texture(int body, int number) where body=bodyparts and number=texture number\n");
    int b = api_index(L, 1, NUM_BODIES - 1, BODY_RANGE);
    int number = api_whole(L, 2);
    char name[64];
    snprintf(name, sizeof name, "%s%i", builtin_body_table[b].name, number);
    bool loaded = false;
    if (script_gl_ready)
        for (int p = 0; p < SLOT_PLAYERS; p++)
            if (Texture *slot = player_body_textures[p][b])
                loaded = texture_load(slot, "data/script/customise", name) || loaded;
    if (loaded)
        return 0;
    lua_pushinteger(L, number);
    return 1;
}

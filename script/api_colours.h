// Lua API on the fighters' look: palette colours of body parts, joints,
// blood, ghost, ground impacts and timer; the gradients of the body
// textures; the joint highlight; text decals and body textures from script
// files. The trail functions live in script/api_trails.cpp.
#pragma once

#include <cstdint>

#include "core/records.h"

struct lua_State;

// The colour fields of a fighter's customisation record that scripts write
// (through ScriptShell::custom_colour).
enum CustomColourField {
    CUSTOM_BODY = 0,     // per body part 0..20
    CUSTOM_FORCE,        // per joint 0..19
    CUSTOM_RELAX,        // per joint 0..19
    CUSTOM_GHOST,        // one value (part 0)
    CUSTOM_GRADIENT1,    // per body part
    CUSTOM_GRADIENT2,    // per body part
    CUSTOM_TIMER,        // one value
    CUSTOM_TRAIL         // per trail 0..3
};

// The body parts that carry gradients: every part but the head and torso.
int is_gradient_body(int body);

int lua_get_color_info(lua_State *L);
int lua_set_blood_color(lua_State *L);
int lua_set_joint_color(lua_State *L);
int lua_set_joint_relax_color(lua_State *L);
int lua_set_joint_force_color(lua_State *L);
int lua_set_body_color(lua_State *L);
int lua_set_torso_color(lua_State *L);
int lua_set_ghost_color(lua_State *L);
int lua_set_ground_impact_color(lua_State *L);
int lua_set_gradient_color(lua_State *L);
int lua_set_gradient_primary_color(lua_State *L);
int lua_set_gradient_secondary_color(lua_State *L);
int lua_indicate_joint(lua_State *L);
int lua_set_decal(lua_State *L);
int lua_set_timex_color(lua_State *L);
int lua_set_body_texture(lua_State *L);

// Trails (script/api_trails.cpp).
int lua_set_trail_color(lua_State *L);
int lua_add_trail_particle(lua_State *L);

// Lua API on fighters, joints and bodies.
#pragma once

struct lua_State;

// Keeps the scene camera's GL matrices for the projections scripts ask for
// (get_joint_screen_pos, get_screen_pos), also from the 2D pass. The frame
// calls it at the end of its 3D pass.
void remember_scene_projection();

int lua_get_player_info(lua_State *L);
int lua_get_joint_info(lua_State *L);
int lua_get_joint_pos(lua_State *L);
int lua_get_joint_pos2(lua_State *L);
int lua_get_joint_radius(lua_State *L);
int lua_get_joint_screen_pos(lua_State *L);
int lua_get_screen_pos(lua_State *L);
int lua_get_joint_dismember(lua_State *L);
int lua_get_joint_fracture(lua_State *L);
int lua_set_joint_state(lua_State *L);
int lua_dismember_joint(lua_State *L);
int lua_fracture_joint(lua_State *L);
int lua_set_joint_radius(lua_State *L);
int lua_set_joint_pos(lua_State *L);
int lua_get_body_info(lua_State *L);
int lua_set_body_pos(lua_State *L);
int lua_set_body_sides(lua_State *L);
int lua_set_body_rotation(lua_State *L);
int lua_get_body_linear_vel(lua_State *L);
int lua_get_body_angular_vel(lua_State *L);
int lua_set_body_force(lua_State *L);
int lua_set_body_torque(lua_State *L);
int lua_get_head_info(lua_State *L);
int lua_draw_ground_impact(lua_State *L);
int lua_get_grip_info(lua_State *L);
int lua_set_grip_info(lua_State *L);
int lua_get_grip_lock(lua_State *L);

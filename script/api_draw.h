// Lua API on drawing (2D in window pixels from the draw2d hook, 3D shapes
// in world space from the draw3d hook), the message console and its input
// line ("chat"), the blood drops, and load_texture.
#pragma once

struct lua_State;

int lua_load_texture(lua_State *L);
int lua_set_color(lua_State *L);
int lua_draw_quad(lua_State *L);
int lua_draw_disk(lua_State *L);
int lua_draw_text(lua_State *L);
int lua_draw_right_text(lua_State *L);
int lua_draw_centered_text(lua_State *L);
int lua_draw_chat_input(lua_State *L);
int lua_draw_chat_messages(lua_State *L);
int lua_draw_boxed_text(lua_State *L);
int lua_draw_sphere(lua_State *L);
int lua_draw_sphere_m(lua_State *L);
int lua_draw_box(lua_State *L);
int lua_draw_box_m(lua_State *L);
int lua_draw_capsule(lua_State *L);
int lua_draw_capsule_m(lua_State *L);
int lua_get_num_blood_particles(lua_State *L);
int lua_get_active_bloods(lua_State *L);
int lua_get_blood_age(lua_State *L);
int lua_get_blood_radius(lua_State *L);
int lua_get_blood_pos(lua_State *L);
int lua_get_blood_vel(lua_State *L);
int lua_get_total_chat_lines(lua_State *L);
int lua_get_cur_chat_lines(lua_State *L);
int lua_get_compact_chat_lines(lua_State *L);
int lua_get_full_mode_chat_lines(lua_State *L);
int lua_get_chat_type(lua_State *L);
int lua_draw_chat_message(lua_State *L);
int lua_chat_input_activate(lua_State *L);
int lua_chat_input_deactivate(lua_State *L);
int lua_chat_input_is_active(lua_State *L);
int lua_chat_input_clear(lua_State *L);

// TEMPORARY ADAPTER: empty stand-ins for the render utilities, program
// table, world shader values and sky that are being built beside this
// code. Every definition is weak; this file goes away as soon as the real
// ones are merged.
#include <cstring>

#include "render/glsl_programs.h"
#include "render/render_util.h"
#include "render/sky.h"
#include "render/world_shader.h"

#define WEAK __attribute__((weak))

WEAK ActivePrograms active_programs;
WEAK const LightingModel *current_lighting_model = nullptr;
WEAK BloodParticleBuffer blood_particle_buffer;
WEAK float floor_patch_uv[FLOOR_PATCHES][2];
WEAK float motion_blur_time_step = 0.0005f;
WEAK int32_t render_target_count = 0;
WEAK uint32_t sky_texture = 0;
WEAK uint32_t sun_texture = 0;
WEAK int32_t sky_visible = 1;
WEAK StainVertexList stain_quads;
WEAK int32_t stain_render_target = -1;
WEAK WorldShaderValues world_shader;

WEAK void append_graphics_stats() {}
WEAK void append_graphics_stats_text(const char *) {}
WEAK void build_graphics_stats_line() {}
WEAK int has_gl_extension() { return 1; }
WEAK void bind_render_target(int) {}
WEAK int create_render_target(int, int, int) { return -1; }
WEAK void delete_render_targets() {}
WEAK void bind_target_texture(int, int) {}
WEAK void bind_vertex_format_pn(const RenderObject *) {}
WEAK void bind_vertex_format_pnt(const RenderObject *) {}
WEAK void unbind_vertex_buffers() {}
WEAK int renderobject_create(RenderObject *o, const void *, int, int, const uint16_t *, int)
{
    memset(o, 0, sizeof *o);
    return 1;
}
WEAK void renderobject_draw(const RenderObject *) {}
WEAK void renderobject_free(RenderObject *o) { memset(o, 0, sizeof *o); }
WEAK int blood_buffer_add(const float *, const float *, float) { return 1; }
WEAK void blood_buffer_clear() {}
WEAK void build_sky_texture() {}
WEAK void draw_sun_sprite() {}
WEAK void free_sky_textures() {}
WEAK int build_stain_quads(float) { return 0; }
WEAK void free_stain_quads() {}
WEAK void clear_blood_stains() {}
WEAK int init_floor_patches() { return 0; }
WEAK int32_t floor_cell_of(float c) { return (int32_t)(c / 0.24f); }
WEAK int32_t stain_patch_for(uint32_t, int32_t, int32_t, int *fresh)
{
    *fresh = 0;
    return 1;
}
WEAK int compile_all_programs() { return 1; }
WEAK void delete_all_programs() {}
WEAK int set_lighting_model(const char *) { return 1; }
WEAK int render_option(int32_t *ref) { return ref ? *ref : 0; }
WEAK void lower_render_option(int32_t *ref)
{
    if (ref)
        *ref = 0;
}
WEAK void use_program(int32_t) {}
WEAK int uniform_location(int32_t, const char *) { return -1; }
WEAK void set_uniform_1f(int32_t, const char *, float) {}
WEAK void set_uniform_1i(int32_t, const char *, int) {}
WEAK void set_uniform_2f(int32_t, const char *, float, float) {}
WEAK void set_uniform_3fv(int32_t, const char *, const float *) {}
WEAK void set_uniform_4f(int32_t, const char *, float, float, float, float) {}
WEAK void set_uniform_4fv(int32_t, const char *, const float *) {}
WEAK void set_uniform_occluders(int32_t, const float (*)[4], int) {}
WEAK void set_uniform_samplers8(int32_t) {}
WEAK void use_texture_unit(int, uint32_t) {}
WEAK void disable_texture_unit(int) {}
WEAK void draw_fullscreen_quad() {}
WEAK void draw_ground_quad(const float *) {}
WEAK void fix_texcoord_seams(float *, int, int, int) {}
WEAK uint32_t pack_rgb_u32(const float *) { return 0; }

#include "render/floor_stains.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "render/ambient_occlusion.h"
#include "render/render_util.h"
#include "render/glsl_programs.h"
#include "render/shader_setup.h"
#include "core/outward.h"
#include <GL/glew.h>

StainBlotVertex stain_blot_vertices[STAIN_BLOT_VERTEX_MAX];
int stain_blot_vertex_count = 0;
int stain_quads_stale = 0;

static void append_new_vertex(float u, float v, const float colour[3], float ox, float oy)
{
    if (stain_blot_vertex_count >= STAIN_BLOT_VERTEX_MAX)
        return;
    StainBlotVertex *s = &stain_blot_vertices[stain_blot_vertex_count++];
    s->position[0] = 2 * u - 1;
    s->position[1] = 2 * v - 1;
    s->position[2] = 0.5f;
    memcpy(s->colour, colour, sizeof s->colour);
    s->offset[0] = ox;
    s->offset[1] = oy;
    s->offset[2] = 0.03f;
}

void floor_patch_for_cell(const float centre[3], const float direction[3], float size,
                          const float colour[3])
{
    (void)direction;
    float radius = 1.3f * size;
    // Only blots on the floor (2000 x 2000 around the origin) take patches.
    if (!(radius > 0) || !(radius < 2.0f) || !(fabsf(centre[0]) < 1000.0f) ||
        !(fabsf(centre[1]) < 1000.0f))
        return;
    int32_t x0 = floor_cell_of(centre[0] - radius), x1 = floor_cell_of(centre[0] + radius);
    int32_t y0 = floor_cell_of(centre[1] - radius), y1 = floor_cell_of(centre[1] + radius);
    const float map_per_floor = 1.0f / FLOOR_CELL_STEP / STAIN_MAP_SIZE;
    const float slot = 1.0f / 64.0f;
    uint32_t colour_key = pack_rgb_u32(colour);
    for (int64_t cy = y0; cy <= y1; cy++) {
        for (int64_t cx = x0; cx <= x1; cx++) {
            int fresh = 0;
            int n = stain_patch_for(colour_key, (int32_t)cx, (int32_t)cy, &fresh);
            if (fresh)
                stain_quads_stale = 1;
            if (n < 1 || n >= FLOOR_PATCHES)
                continue;
            float su = floor_patch_uv[n][0], sv = floor_patch_uv[n][1];
            float ox = (float)cx * FLOOR_CELL_SIZE, oy = (float)cy * FLOOR_CELL_SIZE;
            float u0 = su + (centre[0] - ox - radius) * map_per_floor;
            float u1 = su + (centre[0] - ox + radius) * map_per_floor;
            float v0 = sv + (centre[1] - oy - radius) * map_per_floor;
            float v1 = sv + (centre[1] - oy + radius) * map_per_floor;
            if (u0 < su) u0 = su;
            if (v0 < sv) v0 = sv;
            if (u1 > su + slot) u1 = su + slot;
            if (v1 > sv + slot) v1 = sv + slot;
            if (!(u1 > u0) || !(v1 > v0))
                continue;
            // Corner offsets from the blot centre, measured on the floor.
            float ax = (ox + (u0 - su) / map_per_floor - centre[0]) / radius;
            float bx = (ox + (u1 - su) / map_per_floor - centre[0]) / radius;
            float ay = (oy + (v0 - sv) / map_per_floor - centre[1]) / radius;
            float by = (oy + (v1 - sv) / map_per_floor - centre[1]) / radius;
            if (stain_blot_vertex_count + 6 > STAIN_BLOT_VERTEX_MAX)
                return;
            append_new_vertex(u0, v0, colour, ax, ay);
            append_new_vertex(u1, v0, colour, bx, ay);
            append_new_vertex(u1, v1, colour, bx, by);
            append_new_vertex(u1, v1, colour, bx, by);
            append_new_vertex(u0, v1, colour, ax, by);
            append_new_vertex(u0, v0, colour, ax, ay);
        }
    }
}

void add_floor_stain(const float point[3], const float velocity[3], float size,
                     const float colour[3])
{
    float d[3] = {0.2f * velocity[0], 0.2f * velocity[1], 0.2f * velocity[2]};
    float l2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    if (!std::isfinite(l2) || !std::isfinite(size) || !(size > 0))
        return;
    if (l2 > 4.0f) {
        float s = 2.0f / sqrtf(l2);
        for (int k = 0; k < 3; k++)
            d[k] *= s;
        l2 = 4.0f;
    }
    float len = sqrtf(l2);
    d[2] = 0;
    float m = (0.5f * len + 1.0f) * size;
    floor_patch_for_cell(point, d, 1.2f * m, colour);
    for (int k = 0; k < 8; k++) {
        float r1 = render_random_next();
        float r2 = render_random_next();
        float ex = r2 - 0.5f + d[0], ey = r1 - 0.5f + d[1];
        float dir[3] = {ex * 2, ey * 2, 0};
        float at[3] = {point[0] + ex * 2.5f * m, point[1] + ey * 2.5f * m, point[2]};
        floor_patch_for_cell(at, dir, 0.4f * m, colour);
    }
}


// ---- drawing -------------------------------------------------------------------------

static int stains_on()
{
    return core_outward.get_option ? core_outward.get_option("bloodstains") : 1;
}

// Paints the queued blots into the stain map.
static void paint_new_blots()
{
    if (stain_blot_vertex_count <= 0 || stain_target < 0 || !active_programs.stain) {
        stain_blot_vertex_count = 0;
        return;
    }
    bind_render_target(stain_target);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    use_program(active_programs.stain);
    glColor4f(1, 0.3f, 0.2f, 1);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    const char *base = (const char *)stain_blot_vertices;
    const int stride = sizeof(StainBlotVertex);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, base);
    glClientActiveTexture(GL_TEXTURE1);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(3, GL_FLOAT, stride, base + 12);
    glClientActiveTexture(GL_TEXTURE0);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(3, GL_FLOAT, stride, base + 24);
    glDrawArrays(GL_TRIANGLES, 0, stain_blot_vertex_count);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glClientActiveTexture(GL_TEXTURE1);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glClientActiveTexture(GL_TEXTURE0);
    glDisableClientState(GL_VERTEX_ARRAY);
    use_program(0);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    bind_render_target(-1);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    stain_blot_vertex_count = 0;
}

void draw_floor_stains()
{
    if (!stains_on())
        return;
    paint_new_blots();
    if (stain_quads_stale) {
        build_stain_quads(0.0f);
        stain_quads_stale = 0;
    }
    if (stain_quads.count <= 0 || stain_target < 0 || !active_programs.stain_copy)
        return;
    glActiveTexture(GL_TEXTURE0);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    use_program(active_programs.stain_copy);
    // The map holds black where no blood fell: its alpha lets the floor through.
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    bind_target_texture(0, stain_target);
    set_uniform_1i(active_programs.stain_copy, "texture0", 0);
    glColor4f(1, 0, 0, 1);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    const char *base = (const char *)stain_quads.vertices;
    const int stride = sizeof(StainVertex);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, base);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_UNSIGNED_BYTE, stride, base + 12);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, stride, base + 16);
    glDrawArrays(GL_TRIANGLES, 0, stain_quads.count);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    disable_texture_unit(0);
    use_program(0);
}

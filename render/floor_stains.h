// Floor stains of the shader renderer: blood that meets the floor paints
// blots into the stain map (a 2048 x 2048 render target, one 32 x 32 texel
// slot per stained floor cell and colour; the patch bookkeeping lives with
// the render utilities), and the floor shows them through one quad per
// stained patch.
#pragma once

#include <cstdint>

enum { STAIN_BLOT_VERTEX_MAX = 24576 };

// A vertex of a blot painted into the stain map (36 bytes).
struct StainBlotVertex {
    float position[3];       // the map's clip coordinates
    float colour[3];         // texture unit 1
    float offset[3];         // texture unit 0: offset from the blot centre / radius, 0.03
};
extern StainBlotVertex stain_blot_vertices[STAIN_BLOT_VERTEX_MAX];
extern int stain_blot_vertex_count;

// Blood met the floor at `point` with `velocity`.
void add_floor_stain(const float point[3], const float velocity[3], float size,
                     const float colour[3]);
// One blot: a patch for every cell it touches, its triangles queued for the
// stain map (a full list drops the blot).
void floor_patch_for_cell(const float centre[3], const float direction[3], float size,
                          const float colour[3]);
// Whether the stained patches changed since the quads were last built.
extern int stain_quads_stale;
// The floor pass's stain step: paints the queued blots into the map and
// draws the stained patches (nothing with `bloodstains` off).
void draw_floor_stains();

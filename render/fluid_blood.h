// Fluid blood of the shader renderer: the frame's blood particles (linked
// into strands, two neighbours on each side) become six vertices each, a
// camera-facing quad that the blood program bends along the strand.
#pragma once

#include <cstdint>

#include "render/render_util.h"

enum { FLUID_VERTEX_WORDS = 40, FLUID_VERTEX_BYTES = 160 };

// One vertex as 40 words: corner offset 0-2 (2 S X, 2 S Y, 0), S 3,
// position 4-6, direction 7-9, size 10, first previous neighbour 11-14,
// smoothed direction 15-17, first next neighbour 18-21 and its direction
// 22-24, second previous 25-28 and direction 29-31, second next 32-35 and
// direction 36-38, colour bytes 39.
struct FluidVertex {
    float w[FLUID_VERTEX_WORDS - 1];
    uint32_t colour;
};
static_assert(sizeof(FluidVertex) == FLUID_VERTEX_BYTES, "fluid vertices are 160 bytes");

// The six vertices of one particle.
void fill_fluid_particle(const BloodParticle *particle, FluidVertex out[6]);
// The frame's vertices (grown as needed); the count of vertices written.
extern FluidVertex *fluid_vertices;
extern int fluid_vertex_count;
int fill_fluid_vertices(const BloodParticleBuffer *buffer);

// A particle for the frame: position, direction, size and colour.
void add_fluid_blood(const float position[3], const float direction[3], float size,
                     const float colour[3]);
// Fills the vertices and draws the mirrored copy (floor pass).
void draw_fluid_blood();
// Draws the blood moved by a sub-frame time offset.
void draw_fluid_blood_moved(float offset);
void free_fluid_vertices();

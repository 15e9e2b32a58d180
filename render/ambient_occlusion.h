// Ambient occlusion of the shader renderer: the twelve occluders an object
// receives as uniforms, the floor's groups of twelve, and the renderer's
// random generator (RANMAR, single precision) that jitters floor stains.
#pragma once

#include "render/draw_queue.h"

enum { OCCLUDERS_PER_OBJECT = 12 };

// The twelve occluders of an object at `centre` by rising score
// |d|^2 r^2 / F^2 (F = 0.5 (d/|d| . L) + 0.6, L the normalised light
// direction); those closer than 0.2 r are skipped. Unused slots are zero.
// Returns how many were found.
int choose_object_occluders(const OccluderEntry *list, int count, const float centre[3],
                            const float light_dir[3], float out[OCCLUDERS_PER_OBJECT][4]);

// The floor's group starting at `first`: up to twelve occluders in array
// order; the slots past the last occluder are zero, so no occluder is
// counted twice. Returns how many were filled.
int floor_occluder_group(const OccluderEntry *list, int count, int first,
                         float out[OCCLUDERS_PER_OBJECT][4]);

// RANMAR: seeds outside 0..31328 and 0..30081 start from fixed values.
struct Ranmar {
    float u[97];
    float c, cd, cm;
    int i97, j97;
};
void ranmar_seed(Ranmar *state, int ij, int kl);
// A value in [0, 1).
float ranmar_next(Ranmar *state);
// The renderer's generator, seeded with (17985, 21338) at start.
extern Ranmar render_random;
float render_random_next();

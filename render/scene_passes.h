// The scene passes of the shader renderer. draw_scene_lighting opens a
// frame's scene (sky, light uniforms, empty lists); the fighters and the
// dojo then fill the draw queue; draw_scene_objects draws it: opaque
// objects and their mirrored copies, stencil shadows and sun light, the
// floor with its occlusion, stains and shadows, translucent objects, fluid
// blood, motion sub-frames and ground markers. Both do nothing while
// shaders_active is 0.
#pragma once

#include <cstdint>

struct DrawQueueEntry;

// The camera position in world coordinates, computed once a frame.
extern float scene_camera_position[3];
// Whether the fluid blood is drawn before the motion sub-frames.
extern int subframe_blood_first;

// Time spent in each pass (seconds, summed) while scene_pass_timing is set;
// each pass then ends with glFinish, so only measurements turn it on.
enum {
    PASS_SKY, PASS_OBJECTS, PASS_SHADOWS, PASS_SUN, PASS_FLOOR_OCCLUSION, PASS_FLOOR, PASS_FLOOR_SHADOWS,
    PASS_TRANSLUCENT, PASS_SUBFRAMES, PASS_MARKERS, SCENE_PASS_KINDS
};
extern int scene_pass_timing;
// 1: every shadow volume drawn to its full reach instead of only as far as
// the objects that can stand in it (the same picture, more fill).
extern int shadow_volumes_full_reach;
extern double scene_pass_seconds[SCENE_PASS_KINDS];
extern const char *const scene_pass_names[SCENE_PASS_KINDS];

void draw_scene_lighting();
void draw_scene_objects();

// Colour kinds of draw_indexed_geometry.
enum { COLOUR_PLAIN = 1, COLOUR_SUN = 2, COLOUR_SUN_MIRROR = 3, COLOUR_GHOST_MIRROR = 4 };
void draw_indexed_geometry(int32_t program, int32_t textured_program, int translucent,
                           int colour_kind, float time_offset);
// Parts: bit 1 the sky, bit 2 its mirrored copy.
void draw_sky(int with_sun, int parts);
void draw_motion_subframes();
// Frees the processor-side vertex arrays of the gathered draws.
void free_scene_batches();
// Picks, makes current and prepares the program of one queued object.
int32_t select_object_program(const DrawQueueEntry *entry);
// The colour of an entry under a colour kind (see the passes).
void indexed_geometry_colour(const float entry_colour[4], int colour_kind, float out[4]);

// The scene draw queue of the shader renderer. While `shaders_active` is
// set, the shape drawers hand every solid shape to one of four appenders,
// which turn it into a queued object (drawn later by the scene passes), an
// occluder (read by the ambient-occlusion passes) or a ground marker (a
// ring drawn at the end of the object pass). All three lists are emptied at
// the start of every frame's drawing.
#pragma once

struct Texture;
struct SceneMesh;    // a drawing mesh and its shadow volume (shader_setup.h)
struct SceneShape;

enum { DRAW_QUEUE_SIZE = 512, OCCLUDER_MAX = 512, GROUND_MARKER_MAX = 4 };

struct DrawQueueEntry {
    float position[3];
    float shape[9];          // rotation with the size folded in, row order
    float texgen[9];         // queue_shape only, row order
    float angular_velocity[3];
    float linear_velocity[3];
    float colour[4];         // draw_color when queued
    int mode;
    unsigned char translucent;   // alpha not exactly 1 (NaN counts)
    float stretch;           // capsules: length / (2 radius) - 1
    const SceneMesh *main_mesh;
    const SceneMesh *mirror_mesh;
    Texture *texture;
    Texture *bump;
};

struct DrawQueue {
    DrawQueueEntry entries[DRAW_QUEUE_SIZE];
    int count;
};
extern DrawQueue draw_queue;

struct OccluderEntry {
    float position[3];       // jittered
    float radius;
};
extern OccluderEntry occluders[OCCLUDER_MAX];
extern int occluder_count;
extern int occluder_jitter_counter;   // 0..65535

struct GroundMarkerEntry {
    float position[3];
    float radius;
    float colour[4];
};
extern GroundMarkerEntry ground_markers[GROUND_MARKER_MAX];
extern int ground_marker_count;

// Square outlines on the floor (the dojo's edge): drawn after the floor.
enum { SQUARE_OUTLINE_MAX = 4 };
struct SquareOutlineEntry {
    float position[3];
    float half_size;
    float colour[4];
};
extern SquareOutlineEntry square_outlines[SQUARE_OUTLINE_MAX];
extern int square_outline_count;
// The square drawer's hook: queues the square while shaders_active is set
// (returns 1, nothing drawn now), else returns 0.
int queue_square_outline(float x, float y, float z, int mode, float half_size);

// The meshes the appenders put into entries: levels 1 (coarsest) to 4
// (finest) at their own index; null until the shader renderer is set up.
struct SceneMeshSet {
    const SceneMesh *sphere[5];
    const SceneMesh *capsule[5];
    const SceneMesh *shape[5];
    const SceneMesh *box;
};
extern SceneMeshSet scene_meshes;

// Every rotation is 3 x 3 in row order.
void queue_sphere(const float rotation[9], const float position[3],
                  const float angular_velocity[3], const float linear_velocity[3], float radius,
                  int mode, Texture *texture, Texture *bump);
// `sides` are the edge lengths.
void queue_box(const float rotation[9], const float position[3], const float sides[3],
               const float angular_velocity[3], const float linear_velocity[3], int mode,
               Texture *texture, Texture *bump);
// The general shape (a dome over a flat disc, its top along local z);
// `flags` is a bit set of draw modes.
void queue_shape(const float rotation[9], const float texgen[9], const float position[3],
                 const float angular_velocity[3], const float linear_velocity[3], float size,
                 int flags, Texture *texture, Texture *bump);
// `length` is the distance between the centres of the end caps.
void queue_capsule(const float rotation[9], const float position[3], float length, float radius,
                   const float angular_velocity[3], const float linear_velocity[3], int mode,
                   Texture *texture, Texture *bump);

// Empties the queue and the occluders and restarts the jitter sequence
// (start of a frame's drawing). Ground markers are zeroed by the object pass.
void reset_draw_queue();

// The sink of the shape drawers: one SceneShape to the matching appender
// (a half sphere becomes the general shape turned onto its kept side).
void queue_scene_shape_sink(const SceneShape *shape);

// The pieces of the entry's transform: 4 x 4 column order for GL, and the
// copy mirrored in the floor (third row of the shape and z negated).
void entry_transform(const DrawQueueEntry *entry, float out[16]);
void entry_mirror_transform(const DrawQueueEntry *entry, float out[16]);
// The texture-generation matrix uniform: upper 3 x 3 = Mt x S, row order.
void entry_rotmat(const DrawQueueEntry *entry, float out[16]);
// The entry moved along its velocities by a time offset (sub-frames):
// position + t v, shape turned by the rotation -t w, alpha 0.1 |v|.
void entry_moved(const DrawQueueEntry *entry, float t, DrawQueueEntry *out);

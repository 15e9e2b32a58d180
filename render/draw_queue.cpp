#include "render/draw_queue.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "render/gl_draw.h"
#include "render/scene.h"

DrawQueue draw_queue;
OccluderEntry occluders[OCCLUDER_MAX];
int occluder_count = 0;
int occluder_jitter_counter = 1;
GroundMarkerEntry ground_markers[GROUND_MARKER_MAX];
int ground_marker_count = 0;
SceneMeshSet scene_meshes;
SquareOutlineEntry square_outlines[SQUARE_OUTLINE_MAX];
int square_outline_count = 0;

// Mesh detail of the object and of its mirrored copy. The finest level (4)
// costs four times the vertices of level 3 and shows no difference at the
// size a fighter's parts take on the screen.
enum { MAIN_LEVEL = 3, MIRROR_LEVEL = 2 };

enum { MODE_PLAIN = 1, MODE_OCCLUDER = 4, MODE_TEXTURED = 8, MODE_MARKER = 16,
       MODE_HALF_KEEP = 64, MODE_HALF_OTHER = 128 };

void reset_draw_queue()
{
    draw_queue.count = 0;
    square_outline_count = 0;
    occluder_count = 0;
    occluder_jitter_counter = 1;
}

// ---- occluders and markers -------------------------------------------------------

static void add_occluder(float x, float y, float z, float radius)
{
    occluder_jitter_counter = (occluder_jitter_counter + 1) % 65536;
    // A full array drops the occluder: the nearest twelve of 512 are plenty.
    if (occluder_count >= OCCLUDER_MAX)
        return;
    double c = occluder_jitter_counter;
    OccluderEntry *o = &occluders[occluder_count++];
    o->position[0] = x + 0.0001f * (float)sin(c);
    o->position[1] = y + 0.0001f * (float)sin(c + 0.3);
    o->position[2] = z + 0.0001f * (float)sin(c + 0.9);
    o->radius = radius;
}

static void add_ground_marker(const float p[3], float radius)
{
    if (ground_marker_count >= GROUND_MARKER_MAX)
        return;
    GroundMarkerEntry *m = &ground_markers[ground_marker_count++];
    memcpy(m->position, p, sizeof m->position);
    m->radius = radius;
    memcpy(m->colour, draw_color, sizeof m->colour);
}

int queue_square_outline(float x, float y, float z, int mode, float half_size)
{
    (void)mode;
    if (!shaders_active)
        return 0;
    if (square_outline_count < SQUARE_OUTLINE_MAX && std::isfinite(x) && std::isfinite(y) &&
        std::isfinite(z) && half_size > 0 && half_size < 1000) {
        SquareOutlineEntry *q = &square_outlines[square_outline_count++];
        q->position[0] = x;
        q->position[1] = y;
        q->position[2] = z;
        q->half_size = half_size;
        memcpy(q->colour, draw_color, sizeof q->colour);
    }
    return 1;
}

// ---- queued objects ----------------------------------------------------------------

static DrawQueueEntry *next_entry(const float p[3], const float av[3], const float lv[3],
                                  int mode, Texture *texture, Texture *bump)
{
    if (draw_queue.count >= DRAW_QUEUE_SIZE) {
        fprintf(stderr, "Error: Maximum number of objects drawn already\n");
        return nullptr;
    }
    DrawQueueEntry *e = &draw_queue.entries[draw_queue.count++];
    memset(e, 0, sizeof *e);
    for (int k = 0; k < 3; k++) {
        e->position[k] = p[k];
        e->angular_velocity[k] = av ? av[k] : 0.0f;
        e->linear_velocity[k] = lv ? lv[k] : 0.0f;
    }
    memcpy(e->colour, draw_color, sizeof e->colour);
    e->mode = mode;
    e->translucent = !(draw_color[3] == 1.0f);
    e->texture = texture;
    e->bump = bump;
    return e;
}

void queue_sphere(const float r[9], const float p[3], const float av[3], const float lv[3],
                  float radius, int mode, Texture *texture, Texture *bump)
{
    if (mode == MODE_OCCLUDER) {
        add_occluder(p[0], p[1], p[2], radius);
        return;
    }
    if (mode == MODE_MARKER) {
        add_ground_marker(p, radius);
        return;
    }
    if (mode != MODE_PLAIN && mode != MODE_TEXTURED)
        return;
    DrawQueueEntry *e = next_entry(p, av, lv, mode, texture, bump);
    if (!e)
        return;
    for (int k = 0; k < 9; k++)
        e->shape[k] = r[k] * radius;
    e->main_mesh = scene_meshes.sphere[MAIN_LEVEL];
    e->mirror_mesh = scene_meshes.sphere[MIRROR_LEVEL];
}

void queue_box(const float r[9], const float p[3], const float sides[3], const float av[3],
               const float lv[3], int mode, Texture *texture, Texture *bump)
{
    if (mode == MODE_OCCLUDER) {
        float s = (sqrtf(fabsf(sides[0])) + sqrtf(fabsf(sides[1])) + sqrtf(fabsf(sides[2]))) / 3;
        add_occluder(p[0], p[1], p[2], s * s);
        return;
    }
    if (mode != MODE_PLAIN && mode != MODE_TEXTURED)
        return;
    DrawQueueEntry *e = next_entry(p, av, lv, mode, texture, bump);
    if (!e)
        return;
    // The box mesh spans -1..1, so each column takes half its edge length.
    for (int row = 0; row < 3; row++)
        for (int c = 0; c < 3; c++)
            e->shape[row * 3 + c] = r[row * 3 + c] * 0.5f * sides[c];
    e->main_mesh = scene_meshes.box;
    e->mirror_mesh = scene_meshes.box;
}

void queue_shape(const float r[9], const float texgen[9], const float p[3], const float av[3],
                 const float lv[3], float size, int flags, Texture *texture, Texture *bump)
{
    if (flags & MODE_OCCLUDER) {
        add_occluder(p[0], p[1], p[2], 0.7f * size);
        return;
    }
    if (!(flags & (MODE_PLAIN | MODE_TEXTURED | MODE_HALF_KEEP | MODE_HALF_OTHER)))
        return;
    DrawQueueEntry *e = next_entry(p, av, lv, flags, texture, bump);
    if (!e)
        return;
    for (int k = 0; k < 9; k++) {
        e->shape[k] = r[k] * size;
        e->texgen[k] = texgen ? texgen[k] : r[k];
    }
    e->main_mesh = scene_meshes.shape[MAIN_LEVEL];
    e->mirror_mesh = scene_meshes.shape[MIRROR_LEVEL];
}

void queue_capsule(const float r[9], const float p[3], float length, float radius,
                   const float av[3], const float lv[3], int mode, Texture *texture,
                   Texture *bump)
{
    if (mode == MODE_OCCLUDER) {
        // The capsule's axis is the rotation's third column.
        for (int end = 0; end < 2; end++) {
            float z = end == 0 ? 0.4f * length : -0.2f * length;
            add_occluder(p[0] + r[2] * z, p[1] + r[5] * z, p[2] + r[8] * z, radius);
        }
        return;
    }
    if (mode != MODE_PLAIN && mode != MODE_TEXTURED)
        return;
    if (!(radius > 0.0f))
        return;
    DrawQueueEntry *e = next_entry(p, av, lv, mode, texture, bump);
    if (!e)
        return;
    for (int k = 0; k < 9; k++)
        e->shape[k] = r[k] * radius;
    e->stretch = length / (2.0f * radius) - 1.0f;
    e->main_mesh = scene_meshes.capsule[MAIN_LEVEL];
    e->mirror_mesh = scene_meshes.capsule[MIRROR_LEVEL];
}

// ---- the shape drawers' sink -------------------------------------------------------

static void rotation_3x3(const float r12[12], float out[9])
{
    for (int row = 0; row < 3; row++)
        for (int c = 0; c < 3; c++)
            out[row * 3 + c] = r12[row * 4 + c];
}

// The turn that puts the dome's top (local z) on the kept half's axis:
// the y selector first, then z, then x (its sign picks the side).
static void half_sphere_turn(float sx, float sy, float sz, float a[9])
{
    memset(a, 0, 9 * sizeof(float));
    if (sy != 0) {
        float s = sy > 0 ? 1.0f : -1.0f;
        a[0] = 1;
        a[5] = s;
        a[7] = -s;
    } else if (sz != 0) {
        float s = sz > 0 ? 1.0f : -1.0f;
        a[0] = 1;
        a[4] = s;
        a[8] = s;
    } else {
        float s = sx < 0 ? -1.0f : 1.0f;
        a[2] = s;
        a[4] = 1;
        a[6] = -s;
    }
}

static void multiply_3x3(const float a[9], const float b[9], float out[9])
{
    for (int row = 0; row < 3; row++)
        for (int c = 0; c < 3; c++)
            out[row * 3 + c] = a[row * 3] * b[c] + a[row * 3 + 1] * b[3 + c] +
                               a[row * 3 + 2] * b[6 + c];
}

void queue_scene_shape_sink(const SceneShape *s)
{
    if (!s)
        return;
    float r[9];
    rotation_3x3(s->rotation, r);
    switch (s->shape) {
    case SCENE_BOX:
        queue_box(r, s->position, s->size, s->angular_velocity, s->linear_velocity, s->kind,
                  s->texture, s->bump);
        break;
    case SCENE_SPHERE:
        queue_sphere(r, s->position, s->angular_velocity, s->linear_velocity, s->size[0],
                     s->kind, s->texture, s->bump);
        break;
    case SCENE_CAPSULE:
        queue_capsule(r, s->position, s->size[0], s->size[1], s->angular_velocity,
                      s->linear_velocity, s->kind, s->texture, s->bump);
        break;
    case SCENE_HALF_SPHERE: {
        float a[9], turned[9];
        half_sphere_turn(s->size[1], s->size[2], s->size[3], a);
        multiply_3x3(r, a, turned);
        queue_shape(turned, turned, s->position, s->angular_velocity, s->linear_velocity,
                    s->size[0], s->kind, s->texture, s->bump);
        break;
    }
    default:
        break;
    }
}

// ---- transforms --------------------------------------------------------------------

void entry_transform(const DrawQueueEntry *e, float m[16])
{
    for (int row = 0; row < 3; row++) {
        for (int c = 0; c < 3; c++)
            m[c * 4 + row] = e->shape[row * 3 + c];
        m[12 + row] = e->position[row];
        m[row * 4 + 3] = 0;
    }
    m[15] = 1;
}

void entry_mirror_transform(const DrawQueueEntry *e, float m[16])
{
    entry_transform(e, m);
    m[2] = -m[2];
    m[6] = -m[6];
    m[10] = -m[10];
    m[14] = -m[14];
}

void entry_rotmat(const DrawQueueEntry *e, float out[16])
{
    memset(out, 0, 16 * sizeof(float));
    const float *s = e->shape, *m = e->texgen;
    for (int j = 0; j < 3; j++)
        for (int i = 0; i < 3; i++)
            out[j * 4 + i] = s[i] * m[j] + s[3 + i] * m[3 + j] + s[6 + i] * m[6 + j];
    out[15] = 1;
}

void entry_moved(const DrawQueueEntry *e, float t, DrawQueueEntry *out)
{
    *out = *e;
    float speed2 = 0;
    for (int k = 0; k < 3; k++) {
        out->position[k] = e->position[k] + t * e->linear_velocity[k];
        speed2 += e->linear_velocity[k] * e->linear_velocity[k];
    }
    out->colour[3] = 0.1f * sqrtf(speed2);
    float w[3] = {-t * e->angular_velocity[0], -t * e->angular_velocity[1],
                  -t * e->angular_velocity[2]};
    float angle = sqrtf(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    if (!(angle > 1e-9f))
        return;
    float x = w[0] / angle, y = w[1] / angle, z = w[2] / angle;
    float c = cosf(angle), s = sinf(angle), k = 1 - c;
    const float turn[9] = {c + x * x * k,     x * y * k - z * s, x * z * k + y * s,
                           y * x * k + z * s, c + y * y * k,     y * z * k - x * s,
                           z * x * k - y * s, z * y * k + x * s, c + z * z * k};
    multiply_3x3(turn, e->shape, out->shape);
}

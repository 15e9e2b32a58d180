#include "render/scene_passes.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/screenshot.h"
#include "render/ambient_occlusion.h"
#include "render/draw_queue.h"
#include "render/fighter_draw.h"
#include "render/floor_stains.h"
#include "render/fluid_blood.h"
#include "render/gl_draw.h"
#include "render/glsl_programs.h"
#include "render/render_util.h"
#include "render/scene.h"
#include "render/shader_setup.h"
#include "render/sky.h"
#include "render/texture.h"
#include "render/world_shader.h"

float scene_camera_position[3] = {0, 0, 0};
int subframe_blood_first = 1;
int scene_pass_timing = 0;
double scene_pass_seconds[SCENE_PASS_KINDS];
const char *const scene_pass_names[SCENE_PASS_KINDS] = {
    "sky_and_opaque_floor", "objects", "stencil_shadows", "sun_light", "floor_occlusion", "floor",
    "floor_shadows", "translucent", "blood_and_motion_subframes", "markers"};

static double pass_clock()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// With timing on, each pass ends with glFinish and adds its time.
static double pass_started;
static void pass_begin()
{
    if (!scene_pass_timing)
        return;
    glFinish();
    pass_started = pass_clock();
}
static void pass_end(int kind)
{
    if (!scene_pass_timing)
        return;
    glFinish();
    double now = pass_clock();
    scene_pass_seconds[kind] += now - pass_started;
    pass_started = now;
}


static int opt(int32_t *ref) { return render_option(ref); }
static int reflection_on() { return opt(render_option_refs.reflection); }
static int transparency_on() { return opt(render_option_refs.transparency); }

static int32_t lit_plain()
{
    if (current_lighting_model && current_lighting_model->diffuse)
        return *current_lighting_model->diffuse;
    return active_programs.diffuse;
}

static void load_texture_matrix(const float m[16])
{
    glActiveTexture(GL_TEXTURE0);
    glMatrixMode(GL_TEXTURE);
    glLoadMatrixf(m);
    glMatrixMode(GL_MODELVIEW);
}

static void identity_texture_matrix()
{
    glActiveTexture(GL_TEXTURE0);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
}

static void set_colour(int32_t program, const float c[4])
{
    glColor4fv(c);
    set_uniform_4fv(program, "globalcolor", c);
}

static void set_konstant(int32_t program, float stretch)
{
    set_uniform_4f(program, "konstant", stretch, 0.0f, -0.0f, 0.0f);
}

static void draw_mesh(const RenderObject *mesh)
{
    bind_vertex_format_pnt(mesh);
    renderobject_draw(mesh);
}

static float sun_height_share()
{
    const float *s = world_shader.sun_light_dir;
    float l = sqrtf(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
    return l > 0 ? s[2] / l : 0.0f;
}

// The floor's lit colour: floor x (ambient + h sunshine) with sharp shadows.
static void floor_colour(float out[4], float scale)
{
    const WorldShaderValues &w = world_shader;
    float h = w.sharp_shadow ? sun_height_share() : 0.0f;
    for (int k = 0; k < 3; k++)
        out[k] = w.floor_color[k] * (w.ambient_color[k] + h * w.sunshine_color[k]) * scale;
    out[3] = 1.0f;
}

static void fog_uniforms(int32_t program, const float fog_rgb[3])
{
    float distance = world_shader.fog_distance;
    float density = distance != 0 && std::isfinite(distance) ? 1.0f / (distance * logf(0.5f)) : 0.0f;
    set_uniform_4f(program, "fogcolor", fog_rgb[0], fog_rgb[1], fog_rgb[2], density);
}

// The floor: one quad, 2000 x 2000 around the origin at height 0, with the
// world position as texture coordinates. The fog and floor programs measure
// the camera distance per fragment, so the one quad fogs correctly.
// Texturing off on the units the fixed pipeline could read, unit 0 active.
static void untextured_fixed_function()
{
    disable_texture_unit(1);
    disable_texture_unit(0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

static void draw_floor_quad()
{
    glBegin(GL_QUADS);
    glNormal3f(0, 0, 1);
    glTexCoord2f(-1000, -1000);
    glVertex3f(-1000, -1000, 0);
    glTexCoord2f(1000, -1000);
    glVertex3f(1000, -1000, 0);
    glTexCoord2f(1000, 1000);
    glVertex3f(1000, 1000, 0);
    glTexCoord2f(-1000, 1000);
    glVertex3f(-1000, 1000, 0);
    glEnd();
}

static bool entry_drawable(const DrawQueueEntry *e)
{
    return e->main_mesh && e->main_mesh->draw.index_count > 0;
}


// ---- gathered draws -----------------------------------------------------------------
//
// The stencil volumes and the motion sub-frames need nothing per object but
// its transform and colour, so their objects are moved to the world on the
// processor and drawn in one call: a draw call costs far more than the few
// hundred vertices of a coarse mesh.

struct BatchVertex {
    float position[3];
    float normal[3];
    float uv[2];
    uint32_t colour;
};

static BatchVertex *batch_vertices = nullptr;
static int batch_vertex_capacity = 0;
static uint32_t *batch_indices = nullptr;
static int batch_index_capacity = 0;

static bool batch_room(int vertices, int indices)
{
    if (vertices > batch_vertex_capacity) {
        int n = batch_vertex_capacity ? batch_vertex_capacity : 4096;
        while (n < vertices)
            n *= 2;
        BatchVertex *grown = (BatchVertex *)realloc(batch_vertices, sizeof(BatchVertex) * n);
        if (!grown)
            return false;
        batch_vertices = grown;
        batch_vertex_capacity = n;
    }
    if (indices > batch_index_capacity) {
        int n = batch_index_capacity ? batch_index_capacity : 8192;
        while (n < indices)
            n *= 2;
        uint32_t *grown = (uint32_t *)realloc(batch_indices, sizeof(uint32_t) * n);
        if (!grown)
            return false;
        batch_indices = grown;
        batch_index_capacity = n;
    }
    return true;
}

void free_scene_batches()
{
    free(batch_vertices);
    free(batch_indices);
    batch_vertices = nullptr;
    batch_indices = nullptr;
    batch_vertex_capacity = batch_index_capacity = 0;
}

// Object space to world as the vertex programs do it: the capsule stretch
// along z, the shape matrix, the position; mirrored in the floor on request.
static void to_world(const DrawQueueEntry *e, const float *p, const float *n, bool mirrored,
                     float out_p[3], float out_n[3])
{
    const float *m = e->shape;
    float z = p[2] + (p[2] < 0 ? -e->stretch : e->stretch);
    float len = 0;
    for (int k = 0; k < 3; k++) {
        out_p[k] = m[k * 3] * p[0] + m[k * 3 + 1] * p[1] + m[k * 3 + 2] * z + e->position[k];
        out_n[k] = m[k * 3] * n[0] + m[k * 3 + 1] * n[1] + m[k * 3 + 2] * n[2];
        len += out_n[k] * out_n[k];
    }
    len = len > 0 ? 1.0f / sqrtf(len) : 0.0f;
    for (int k = 0; k < 3; k++)
        out_n[k] *= len;
    if (mirrored) {
        out_p[2] = -out_p[2];
        out_n[2] = -out_n[2];
    }
}

static void bind_batch_arrays()
{
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    const char *base = (const char *)batch_vertices;
    const int stride = sizeof(BatchVertex);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, base);
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, stride, base + 12);
    glClientActiveTexture(GL_TEXTURE0);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, stride, base + 24);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_UNSIGNED_BYTE, stride, base + 32);
}

static void unbind_batch_arrays()
{
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

// How far the shadow volumes reach from their objects. They only shade
// objects (the floor has its own shadows), and a fighter is smaller than
// this; a short volume covers far fewer pixels than one drawn to the far
// plane, which costs most with a low sun.
static const float VOLUME_REACH = 3.0f;
static const float VOLUME_SHRINK = 0.98f;

// A sphere around an entry's shape (local corners within [-1, 1], the
// capsule's ends moved out by its stretch), mirrored in the floor on request.
static float entry_bound(const DrawQueueEntry *e, bool mirrored, float centre[3])
{
    const float *m = e->shape;
    float z = 1.0f + fabsf(e->stretch), r2 = 0;
    for (int k = 0; k < 3; k++) {
        float b = fabsf(m[k * 3]) + fabsf(m[k * 3 + 1]) + fabsf(m[k * 3 + 2]) * z;
        r2 += b * b;
        centre[k] = e->position[k];
    }
    if (mirrored)
        centre[2] = -centre[2];
    return sqrtf(r2);
}

// How far object i's volume must reach along the light: past itself, and
// past every object that stands in its shadow's path, at most VOLUME_REACH.
// Only objects receive these shadows, so beyond the last one that a volume
// could touch it changes no pixel; it only costs fill.
int shadow_volumes_full_reach = 0;

static float volume_reach(int i, const float (*centres)[3], const float *radii, int count,
                          const float away_from_sun[3])
{
    if (shadow_volumes_full_reach)
        return VOLUME_REACH;
    float reach = 2 * radii[i];
    for (int j = 0; j < count && reach < VOLUME_REACH; j++) {
        if (j == i || radii[j] < 0)
            continue;
        float d[3] = {centres[j][0] - centres[i][0], centres[j][1] - centres[i][1],
                      centres[j][2] - centres[i][2]};
        float t = d[0] * away_from_sun[0] + d[1] * away_from_sun[1] + d[2] * away_from_sun[2];
        float r = radii[i] + radii[j];
        float across = d[0] * d[0] + d[1] * d[1] + d[2] * d[2] - t * t;
        if (t > -r && across < r * r && t + r + radii[j] > reach)
            reach = t + r + radii[j];
    }
    return reach < VOLUME_REACH ? reach : VOLUME_REACH;
}

// The shadow volumes of every opaque object in one indexed draw, stretched
// here: vertices of faces turned from the sun move away from it.
static int gather_volumes(bool mirrored)
{
    const float *s = world_shader.sun_light_dir;
    float sun[3] = {s[0], s[1], s[2]};
    float sl = sqrtf(sun[0] * sun[0] + sun[1] * sun[1] + sun[2] * sun[2]);
    for (int k = 0; k < 3; k++)
        sun[k] = sl > 0 ? sun[k] / sl : 0.0f;
    if (mirrored)
        sun[2] = -sun[2];
    int vertices = 0, indices = 0;
    static bool away[3 * MESH_TRIANGLE_MAX];
    // Bounds of every opaque object (the receivers), -1 for the others.
    static float centres[DRAW_QUEUE_SIZE][3], radii[DRAW_QUEUE_SIZE];
    float away_from_sun[3] = {-sun[0], -sun[1], -sun[2]};
    int count = draw_queue.count < DRAW_QUEUE_SIZE ? draw_queue.count : DRAW_QUEUE_SIZE;
    for (int i = 0; i < count; i++) {
        const DrawQueueEntry *e = &draw_queue.entries[i];
        radii[i] = e->translucent || !entry_drawable(e) ? -1.0f
                                                        : entry_bound(e, mirrored, centres[i]);
    }
    for (int i = 0; i < count; i++) {
        const DrawQueueEntry *e = &draw_queue.entries[i];
        // The object's own mesh: a coarser volume leaves jagged light
        // patches along the shadow's edge on the finer surface.
        const SceneMesh *mesh = e->main_mesh;
        if (e->translucent || !entry_drawable(e) || !mesh || !mesh->volume_positions ||
            mesh->triangle_count > MESH_TRIANGLE_MAX)
            continue;
        // Each corner twice: where it stands and stretched away from the sun.
        int np = mesh->volume_position_count, ni = mesh->volume_index_count;
        if (!batch_room(vertices + 2 * np, indices + ni))
            return 0;
        const float zero[3] = {0, 0, 0};
        float reach = volume_reach(i, centres, radii, count, away_from_sun);
        for (int j = 0; j < np; j++) {
            BatchVertex *b = &batch_vertices[vertices + 2 * j];
            float n[3];
            to_world(e, mesh->volume_positions + 3 * j, zero, mirrored, b->position, n);
            // Shrunk a little toward the object's centre, so that its lit
            // surface never ties in depth with the volume's own face.
            for (int k = 0; k < 3; k++) {
                float c = (mirrored && k == 2) ? -e->position[k] : e->position[k];
                b->position[k] = c + (b->position[k] - c) * VOLUME_SHRINK;
                b[1].position[k] = b->position[k] - sun[k] * reach;
                b->normal[k] = b[1].normal[k] = 0;
            }
        }
        // Which faces turn from the sun (their corners take the stretched copy).
        for (int t = 0; t < mesh->triangle_count; t++) {
            const float *src = mesh->volume_vertices + 6 * (3 * t);
            float p[3], n[3];
            to_world(e, src, src + 3, mirrored, p, n);
            away[t] = n[0] * sun[0] + n[1] * sun[1] + n[2] * sun[2] < 0;
        }
        // The caps: every face, where it stands or stretched.
        const uint16_t *vi = mesh->volume_indices;
        int caps = 3 * mesh->triangle_count, kept = 0;
        uint32_t *out = batch_indices + indices;
        for (int k = 0; k < caps && k < ni; k++) {
            int v = vi[k];
            out[kept++] = (uint32_t)(vertices + 2 * mesh->volume_corner[v] + (away[v / 3] ? 1 : 0));
        }
        // The sides: one quad per edge, of which only the silhouette's
        // (one face lit, the other turned away) has any area; the rest
        // collapse onto a line and would only cost triangle set-up.
        for (int k = caps; k + 6 <= ni; k += 6) {
            const uint16_t *q = vi + k;
            if (away[q[0] / 3] == away[q[2] / 3])
                continue;
            for (int c = 0; c < 6; c++) {
                int v = q[c];
                out[kept++] =
                    (uint32_t)(vertices + 2 * mesh->volume_corner[v] + (away[v / 3] ? 1 : 0));
            }
        }
        vertices += 2 * np;
        indices += kept;
    }
    return indices;
}

// The opaque objects of one motion sub-frame (moved by t) that draw with
// the plain program, in one draw; textured ones are left to the caller.
static int gather_subframe(float t, int32_t textured_program)
{
    int vertices = 0, indices = 0;
    for (int i = 0; i < draw_queue.count; i++) {
        const DrawQueueEntry *e = &draw_queue.entries[i];
        // The sub-frames make most of the blurred picture: full detail.
        const SceneMesh *mesh = e->main_mesh;
        if (e->translucent || !entry_drawable(e) || !mesh || !mesh->vertices)
            continue;
        if (textured_program && e->mode == 8 && e->texture && e->texture->id)
            continue;
        DrawQueueEntry moved;
        entry_moved(e, t, &moved);
        int nv = mesh->vertex_count, ni = mesh->index_count;
        if (!batch_room(vertices + nv, indices + ni))
            return 0;
        float c[4];
        indexed_geometry_colour(moved.colour, COLOUR_PLAIN, c);
        c[3] = 1.0f;
        uint32_t colour = pack_rgba_u32(c);
        for (int v = 0; v < nv; v++) {
            const MeshVertex *src = &mesh->vertices[v];
            BatchVertex *b = &batch_vertices[vertices + v];
            to_world(&moved, src->position, src->normal, false, b->position, b->normal);
            b->uv[0] = src->uv[0];
            b->uv[1] = src->uv[1];
            b->colour = colour;
        }
        for (int k = 0; k < ni; k++)
            batch_indices[indices + k] = (uint32_t)(vertices + mesh->indices[k]);
        vertices += nv;
        indices += ni;
    }
    return indices;
}

// ---- object programs -----------------------------------------------------------------

int32_t select_object_program(const DrawQueueEntry *e)
{
    int32_t program = lit_plain();
    use_program(program);
    if (e->mode & 8) {
        bool bump = e->bump && e->bump->id != 0 && opt(render_option_refs.bumpmapping);
        int32_t bump_program = (e->mode & 0x100) ? active_programs.tcgen_bump : active_programs.bump;
        bool textured = e->texture && e->texture->id != 0;
        int32_t tex_program =
            (e->mode & 0x100) ? active_programs.tcgen : active_programs.diffuse_textured;
        if (bump && bump_program) {
            program = bump_program;
            use_program(program);
            use_texture_unit(1, e->bump->id);
            set_uniform_1i(program, "texture1", 1);
            if (textured) {
                use_texture_unit(0, e->texture->id);
                set_uniform_1i(program, "use_texture0", 1);
            } else {
                glActiveTexture(GL_TEXTURE0);
                set_uniform_1i(program, "use_texture0", 0);
            }
        } else if (textured && tex_program) {
            program = tex_program;
            use_program(program);
            use_texture_unit(0, e->texture->id);
        }
    }
    if (program != 0 &&
        (program == active_programs.tcgen || program == active_programs.tcgen_bump)) {
        float rotmat[16];
        entry_rotmat(e, rotmat);
        int at = uniform_location(program, "rotmat");
        if (at >= 0)
            glUniformMatrix4fv(at, 1, GL_TRUE, rotmat);
    }
    return program;
}

// ---- indexed geometry ------------------------------------------------------------------

void indexed_geometry_colour(const float c[4], int kind, float out[4])
{
    const WorldShaderValues &w = world_shader;
    for (int k = 0; k < 3; k++) {
        switch (kind) {
        case COLOUR_SUN: out[k] = c[k] * w.sunshine_color[k]; break;
        case COLOUR_SUN_MIRROR: out[k] = c[k] * w.sunshine_color[k] * w.mirror_color[k]; break;
        case COLOUR_GHOST_MIRROR: out[k] = 6.0f * c[k] * w.mirror_color[k]; break;
        default: out[k] = c[k]; break;
        }
    }
    out[3] = kind == COLOUR_GHOST_MIRROR ? 0.5f * c[3] : c[3];
}

enum { MESH_MAIN, MESH_MIRROR };

static const SceneMesh *entry_mesh(const DrawQueueEntry *e, int which)
{
    const SceneMesh *m = which == MESH_MIRROR ? e->mirror_mesh : e->main_mesh;
    return m && m->draw.index_count > 0 ? m : e->main_mesh;
}

static void draw_indexed_geometry_of(int32_t program, int32_t textured_program, int translucent,
                                     int kind, float t, int which)
{
    use_program(program);
    for (int i = 0; i < draw_queue.count; i++) {
        const DrawQueueEntry *e = &draw_queue.entries[i];
        if ((e->translucent != 0) != (translucent != 0) || !entry_drawable(e))
            continue;
        DrawQueueEntry moved;
        if (t != 0) {
            entry_moved(e, t, &moved);
            e = &moved;
        }
        int32_t current = program;
        bool textured = textured_program && e->mode == 8 && e->texture && e->texture->id;
        if (textured) {
            current = textured_program;
            use_program(current);
            use_texture_unit(0, e->texture->id);
        }
        set_konstant(current, e->stretch);
        float m[16], c[4];
        entry_transform(e, m);
        load_texture_matrix(m);
        indexed_geometry_colour(e->colour, kind, c);
        set_colour(current, c);
        draw_mesh(&entry_mesh(e, which)->draw);
        if (textured) {
            disable_texture_unit(0);
            use_program(program);
        }
    }
    use_program(0);
    unbind_vertex_buffers();
}

void draw_indexed_geometry(int32_t program, int32_t textured_program, int translucent,
                           int kind, float t)
{
    draw_indexed_geometry_of(program, textured_program, translucent, kind, t, MESH_MAIN);
}

// ---- sky ---------------------------------------------------------------------------------

void draw_sky(int with_sun, int parts)
{
    if (!world_shader.sky_on || !shader_meshes.sky_dome.index_count)
        return;
    int32_t program = active_programs.texture_colour;
    use_texture_unit(0, sky_texture);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glDepthMask(GL_FALSE);
    use_program(program);
    set_uniform_2f(program, "lightfov", 0.0f, 2.0f);
    set_konstant(program, 0.0f);
    const float two[4] = {2, 2, 2, 0};
    set_colour(program, two);
    float dome[16] = {950, 0, 0, 0, 0, 950, 0, 0, 0, 0, 950, 0,
                      scene_camera_position[0], scene_camera_position[1], 0, 1};
    glFrontFace(GL_CW);
    if (parts & 1) {
        load_texture_matrix(dome);
        draw_mesh(&shader_meshes.sky_dome);
        unbind_vertex_buffers();
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        if (with_sun && world_shader.sharp_shadow && sun_texture) {
            use_texture_unit(0, sun_texture);
            const float *s = world_shader.sun_color;
            const float sun[4] = {s[0], s[1], s[2], 1.0f};
            set_colour(program, sun);
            const float centred[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0,
                                       scene_camera_position[0], scene_camera_position[1],
                                       0, 1};
            load_texture_matrix(centred);
            draw_sun_sprite();
            use_texture_unit(0, sky_texture);
        }
    }
    if (parts & 2) {
        glDisable(GL_BLEND);
        const float *m = world_shader.mirror_color;
        set_uniform_4f(program, "globalcolor", 2 * m[0], 2 * m[1], 2 * m[2], 0.0f);
        dome[10] = -950;
        load_texture_matrix(dome);
        draw_mesh(&shader_meshes.sky_dome);
        unbind_vertex_buffers();
    }
    glFrontFace(GL_CCW);
    glDisable(GL_BLEND);
    glEnable(GL_CULL_FACE);
    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);
    disable_texture_unit(0);
    use_program(0);
    identity_texture_matrix();
}

// ---- the floor --------------------------------------------------------------------------

// Set when the opaque floor pass has filled the occlusion target this frame.
static bool floor_occlusion_fresh = false;

static void floor_occlusion(bool with_blood)
{
    if (with_blood) {
        draw_fluid_blood();
        unbind_vertex_buffers();
    }
    if (floor_target < 0)
        return;
    // With transparency the opaque floor pass filled the target already from
    // the last frame's occluders; the floor follows them a frame late,
    // which does not show, and the occlusion is not drawn twice.
    if (with_blood && floor_occlusion_fresh) {
        floor_occlusion_fresh = false;
        return;
    }
    floor_occlusion_fresh = !with_blood;
    bind_render_target(floor_target);
    // The target holds the floor's light: white where nothing occludes,
    // each group's occlusion (the ground program's alpha) taking its share
    // away; alpha stays 1 so the mirrored scene shows through the floor.
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    int32_t program = active_programs.ground;
    use_program(program);
    identity_texture_matrix();
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFuncSeparate(GL_ZERO, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
    set_konstant(program, 0.0f);
    // Groups of twelve; the last group's unused slots are zero.
    int first = 0;
    do {
        float group[OCCLUDERS_PER_OBJECT][4];
        floor_occluder_group(occluders, occluder_count, first, group);
        set_uniform_occluders(program, group, OCCLUDERS_PER_OBJECT);
        glColor4f(1, 1, 1, 1);
        draw_floor_quad();
        first += OCCLUDERS_PER_OBJECT;
    } while (first < occluder_count);
    use_program(0);
    bind_render_target(-1);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    const float *b = world_shader.background_color;
    glClearColor(b[0], b[1], b[2], 0.0f);
}

static void draw_player_floor_texture()
{
    Texture *t = TextureTable[SPARE_TABLE_ROW].texture;
    if (!t || !t->id)
        return;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    float rgb[3];
    palette_rgb(1, rgb);
    glColor4f(rgb[0], rgb[1], rgb[2], 1.0f);
    draw_table_texture_alpha(SPARE_TABLE_ROW, 2.0f, 0.0f, 0.001f);
    glDepthMask(GL_TRUE);
    // The picture is drawn with the fixed pipeline, which leaves it bound
    // and texturing on.
    untextured_fixed_function();
}

static void draw_floor(bool opaque_pass)
{
    bool transparency = transparency_on() && !opaque_pass;
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    if (reflection_on() && !opaque_pass) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_SRC_ALPHA);
    } else {
        glDisable(GL_BLEND);
    }
    int32_t program = active_programs.copy;
    use_program(program);
    identity_texture_matrix();
    set_uniform_4f(program, "backgroundcolor", 0, 0, 0, transparency ? 0.8f : 1.0f);
    fog_uniforms(program, world_shader.background_color);
    set_uniform_1i(program, "texture0", 0);
    if (floor_target >= 0)
        bind_target_texture(0, floor_target);
    float c[4];
    floor_colour(c, transparency ? 0.5f : 1.0f);
    set_colour(program, c);
    draw_floor_quad();
    use_program(0);
    disable_texture_unit(0);
    draw_player_floor_texture();
    draw_floor_stains();
    glDepthMask(GL_TRUE);
}

static void floor_shadows()
{
    if (!world_shader.sharp_shadow)
        return;
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_NOTEQUAL, 15, 0xff);
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
    float h = sun_height_share();
    const WorldShaderValues &w = world_shader;
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glBlendEquation(GL_FUNC_REVERSE_SUBTRACT);
    glDepthMask(GL_FALSE);
    int32_t program = active_programs.shadow_floor;
    use_program(program);
    float c[4] = {h * w.sunshine_color[0] * w.floor_color[0],
                  h * w.sunshine_color[1] * w.floor_color[1],
                  h * w.sunshine_color[2] * w.floor_color[2], 1.0f};
    set_colour(program, c);
    fog_uniforms(program, w.background_color);
    for (int i = 0; i < draw_queue.count; i++) {
        const DrawQueueEntry *e = &draw_queue.entries[i];
        const SceneMesh *mesh = entry_mesh(e, MESH_MIRROR);
        if (e->translucent || !entry_drawable(e) || !mesh->shadow.index_count)
            continue;
        set_konstant(program, e->stretch);
        float m[16];
        entry_transform(e, m);
        load_texture_matrix(m);
        bind_vertex_format_pn(&mesh->shadow);
        // The volume's own triangles come first: a quarter of its indices.
        glDrawElements(GL_TRIANGLES, mesh->shadow.index_count / 4, GL_UNSIGNED_SHORT, nullptr);
    }
    use_program(0);
    unbind_vertex_buffers();
    glDisable(GL_STENCIL_TEST);
    glBlendEquation(GL_FUNC_ADD);
    glDepthMask(GL_TRUE);
}

// ---- the frame ----------------------------------------------------------------------------

static void compute_camera_position()
{
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int k = 0; k < 3; k++)
        scene_camera_position[k] = -(m[k * 4] * m[12] + m[k * 4 + 1] * m[13] + m[k * 4 + 2] * m[14]);
}

static void light_uniforms()
{
    const WorldShaderValues &w = world_shader;
    const int32_t object_programs[] = {active_programs.diffuse, active_programs.diffuse_textured,
                                       active_programs.tcgen,   active_programs.bump,
                                       active_programs.tcgen_bump, active_programs.simple,
                                       active_programs.simple_textured, active_programs.simple_sun,
                                       active_programs.simple_textured_sun};
    for (int32_t p : object_programs) {
        if (!p)
            continue;
        use_program(p);
        set_uniform_3fv(p, "lightdir", w.ambient_light_dir);
        set_uniform_3fv(p, "cameragpos", scene_camera_position);
    }
    const int32_t sun_programs[] = {active_programs.simple_sun, active_programs.simple_textured_sun};
    for (int32_t p : sun_programs) {
        if (!p)
            continue;
        use_program(p);
        set_uniform_3fv(p, "lightdir_sun", w.sun_light_dir);
        set_uniform_4f(p, "sun_color", w.sunshine_color[0], w.sunshine_color[1],
                       w.sunshine_color[2], 0.0f);
        set_uniform_4f(p, "ambient_color", w.ambient_color[0], w.ambient_color[1],
                       w.ambient_color[2], 0.0f);
    }
    const int32_t shadow_programs[] = {active_programs.shadow, active_programs.shadow_floor};
    for (int32_t p : shadow_programs) {
        if (!p)
            continue;
        use_program(p);
        set_uniform_3fv(p, "vlightdir", w.sun_light_dir);
    }
    use_program(0);
}

void draw_scene_lighting()
{
    if (!shaders_active)
        return;
    // The window's viewport, which binding the window after a render
    // target brings back (the window may have been resized).
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (bound_render_target < 0 && viewport[2] > 0 && viewport[3] > 0) {
        window_viewport_width = viewport[2];
        window_viewport_height = viewport[3];
    }
    // Errors of earlier drawing are not the passes'.
    while (glGetError() != GL_NO_ERROR) {
    }
    compute_camera_position();
    pass_begin();
    draw_sky(1, 3);
    if (transparency_on()) {
        floor_occlusion(false);
        draw_floor(true);
    }
    pass_end(PASS_SKY);
    light_uniforms();
    reset_draw_queue();
    blood_buffer_clear();
    if (reflection_on() && !world_shader.sky_on) {
        glDisable(GL_LIGHTING);
        glDisable(GL_LINE_SMOOTH);
        identity_texture_matrix();
        use_program(0);
        const float *m = world_shader.mirror_color, *b = world_shader.background_color;
        glColor4f(m[0] * b[0], m[1] * b[1], m[2] * b[2], 1.0f);
        glDisable(GL_BLEND);
        glDisable(GL_DEPTH_TEST);
        // A plain colour: whatever picture the floor pass before left on a
        // unit would otherwise repeat over the whole quad.
        untextured_fixed_function();
        draw_floor_quad();
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDisable(GL_BLEND);
        glEnable(GL_DEPTH_TEST);
    }
    use_program(0);
}

static void draw_opaque_objects()
{
    const WorldShaderValues &w = world_shader;
    bool transparency = transparency_on(), reflection = reflection_on();
    bool occlusion = opt(render_option_refs.ambientocclusion) != 0;
    for (int i = 0; i < draw_queue.count; i++) {
        const DrawQueueEntry *e = &draw_queue.entries[i];
        if (e->translucent || !entry_drawable(e))
            continue;
        int32_t program = select_object_program(e);
        if (!transparency)
            glDisable(GL_BLEND);
        set_konstant(program, e->stretch);
        float m[16], c[4];
        entry_transform(e, m);
        load_texture_matrix(m);
        for (int k = 0; k < 3; k++)
            c[k] = e->colour[k] * w.ambient_color[k];
        c[3] = e->colour[3];
        set_colour(program, c);
        if (occlusion) {
            float chosen[OCCLUDERS_PER_OBJECT][4];
            choose_object_occluders(occluders, occluder_count, e->position, w.ambient_light_dir,
                                    chosen);
            set_uniform_occluders(program, chosen, OCCLUDERS_PER_OBJECT);
        }
        draw_mesh(&e->main_mesh->draw);
        if (reflection && e->mirror_mesh) {
            entry_mirror_transform(e, m);
            load_texture_matrix(m);
            glFrontFace(GL_CW);
            float gl_factor = transparency ? 2.0f : 1.0f, uniform_factor = transparency ? 3.0f : 1.0f;
            float mc[4];
            for (int k = 0; k < 3; k++)
                mc[k] = e->colour[k] * w.mirror_color[k] * w.ambient_color[k];
            mc[3] = e->colour[3] * w.mirror_color[3];
            glColor4f(mc[0] * gl_factor, mc[1] * gl_factor, mc[2] * gl_factor, mc[3]);
            set_uniform_4f(program, "globalcolor", mc[0] * uniform_factor, mc[1] * uniform_factor,
                           mc[2] * uniform_factor, mc[3]);
            draw_mesh(&e->mirror_mesh->draw);
            glFrontFace(GL_CCW);
        }
        if (e->mode & 8) {
            use_program(lit_plain());
            disable_texture_unit(1);
            disable_texture_unit(0);
        }
    }
    use_program(0);
    unbind_vertex_buffers();
}

// The window rectangle that holds every opaque object (mirrored in the
// floor on request), from the corners of their bounding box; false when
// the box reaches behind the camera (then no rectangle is used).
static bool opaque_objects_rectangle(bool mirrored, GLint rect[4])
{
    float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
    int n = 0;
    for (int i = 0; i < draw_queue.count; i++) {
        const DrawQueueEntry *e = &draw_queue.entries[i];
        if (e->translucent || !entry_drawable(e))
            continue;
        // A bound of the shape: the longest column of the shape matrix
        // (and the capsule's stretch) around the centre.
        float r = 0;
        for (int c = 0; c < 3; c++) {
            float col = fabsf(e->shape[c]) + fabsf(e->shape[3 + c]) + fabsf(e->shape[6 + c]);
            r = col > r ? col : r;
        }
        r *= 1.0f + fabsf(e->stretch);
        for (int k = 0; k < 3; k++) {
            float p = (mirrored && k == 2) ? -e->position[k] : e->position[k];
            lo[k] = p - r < lo[k] ? p - r : lo[k];
            hi[k] = p + r > hi[k] ? p + r : hi[k];
        }
        n++;
    }
    if (n == 0)
        return false;
    float mv[16], pr[16];
    GLint vp[4];
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    glGetFloatv(GL_PROJECTION_MATRIX, pr);
    glGetIntegerv(GL_VIEWPORT, vp);
    float x0 = 1e30f, y0 = 1e30f, x1 = -1e30f, y1 = -1e30f;
    for (int c = 0; c < 8; c++) {
        float p[4] = {(c & 1) ? hi[0] : lo[0], (c & 2) ? hi[1] : lo[1], (c & 4) ? hi[2] : lo[2], 1};
        float e[4], q[4];
        for (int r = 0; r < 4; r++)
            e[r] = mv[r] * p[0] + mv[4 + r] * p[1] + mv[8 + r] * p[2] + mv[12 + r] * p[3];
        for (int r = 0; r < 4; r++)
            q[r] = pr[r] * e[0] + pr[4 + r] * e[1] + pr[8 + r] * e[2] + pr[12 + r] * e[3];
        if (!(q[3] > 1e-4f))
            return false;
        float sx = vp[0] + (q[0] / q[3] * 0.5f + 0.5f) * vp[2];
        float sy = vp[1] + (q[1] / q[3] * 0.5f + 0.5f) * vp[3];
        x0 = sx < x0 ? sx : x0;
        x1 = sx > x1 ? sx : x1;
        y0 = sy < y0 ? sy : y0;
        y1 = sy > y1 ? sy : y1;
    }
    float left = floorf(x0) - 1, bottom = floorf(y0) - 1, right = ceilf(x1) + 1, top = ceilf(y1) + 1;
    left = left < vp[0] ? vp[0] : left;
    bottom = bottom < vp[1] ? vp[1] : bottom;
    right = right > vp[0] + vp[2] ? vp[0] + vp[2] : right;
    top = top > vp[1] + vp[3] ? vp[1] + vp[3] : top;
    rect[0] = (GLint)left;
    rect[1] = (GLint)bottom;
    rect[2] = right > left ? (GLint)(right - left) : 0;
    rect[3] = top > bottom ? (GLint)(top - bottom) : 0;
    return true;
}

// Both faces in one draw: front faces count up, back faces down (in the
// mirrored copy the windings swap, so the front is clockwise). The stencil
// only matters where objects are, so the volumes are cut to their
// rectangle.
static void draw_shadow_volumes(bool mirrored)
{
    int indices = gather_volumes(mirrored);
    if (indices <= 0)
        return;
    GLint rect[4];
    bool cut = opaque_objects_rectangle(mirrored, rect);
    if (cut) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(rect[0], rect[1], rect[2], rect[3]);
    }
    int32_t program = active_programs.shadow;
    set_konstant(program, 0.0f);
    // Already stretched: no light direction, so the program moves nothing.
    set_uniform_3f(program, "vlightdir", 0.0f, 0.0f, 0.0f);
    identity_texture_matrix();
    bind_batch_arrays();
    glDisable(GL_CULL_FACE);
    glStencilOpSeparate(GL_FRONT, GL_INCR_WRAP, GL_KEEP, GL_INCR_WRAP);
    glStencilOpSeparate(GL_BACK, GL_DECR_WRAP, GL_KEEP, GL_DECR_WRAP);
    glFrontFace(mirrored ? GL_CW : GL_CCW);
    glDrawElements(GL_TRIANGLES, indices, GL_UNSIGNED_INT, batch_indices);
    glFrontFace(GL_CCW);
    glEnable(GL_CULL_FACE);
    if (cut)
        glDisable(GL_SCISSOR_TEST);
    unbind_batch_arrays();
    set_uniform_3fv(program, "vlightdir", world_shader.sun_light_dir);
}

static void draw_shadows_and_sun()
{
    if (!world_shader.sharp_shadow || !active_programs.shadow)
        return;
    bool reflection = reflection_on();
    glDisable(GL_BLEND);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDepthMask(GL_FALSE);
    glEnable(GL_STENCIL_TEST);
    glEnable(GL_CULL_FACE);
    glStencilFunc(GL_ALWAYS, 0, 0xff);
    glDepthFunc(GL_GREATER);
    use_program(active_programs.shadow);
    draw_shadow_volumes(false);
    if (reflection)
        draw_shadow_volumes(true);
    unbind_vertex_buffers();
    pass_end(PASS_SHADOWS);
    glFrontFace(GL_CCW);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    const int32_t sun_programs[] = {active_programs.simple, active_programs.simple_textured};
    for (int32_t p : sun_programs) {
        if (!p)
            continue;
        use_program(p);
        set_uniform_2f(p, "lightfov", 1.0f, 0.0f);
        set_uniform_3fv(p, "lightdir", world_shader.sun_light_dir);
    }
    glStencilFunc(GL_EQUAL, 0, 0xff);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    draw_indexed_geometry(active_programs.simple, active_programs.simple_textured, 0, COLOUR_SUN, 0);
    if (reflection) {
        glPushMatrix();
        glScalef(1, 1, -1);
        glEnable(GL_BLEND);
        glFrontFace(GL_CW);
        draw_indexed_geometry_of(active_programs.simple, active_programs.simple_textured, 0,
                                 COLOUR_SUN_MIRROR, 0, MESH_MIRROR);
        glFrontFace(GL_CCW);
        glPopMatrix();
    }
    // The ambient light direction again for the next frame's objects.
    for (int32_t p : sun_programs) {
        if (!p)
            continue;
        use_program(p);
        set_uniform_3fv(p, "lightdir", world_shader.ambient_light_dir);
    }
    use_program(0);
    glDepthMask(GL_TRUE);
    glDisable(GL_STENCIL_TEST);
}

static void draw_ground_markers()
{
    glDisable(GL_LIGHTING);
    for (int i = 0; i < square_outline_count; i++) {
        const SquareOutlineEntry *q = &square_outlines[i];
        glColor4fv(q->colour);
        draw_square_frame(q->position, q->half_size, 1.0f);
    }
    square_outline_count = 0;
    if (!disk_quadric)
        disk_quadric = gluNewQuadric();
    for (int i = 0; i < ground_marker_count && disk_quadric; i++) {
        const GroundMarkerEntry *m = &ground_markers[i];
        glPushMatrix();
        glColor4fv(m->colour);
        glTranslatef(m->position[0], m->position[1], m->position[2]);
        glScalef(m->radius, m->radius, m->radius);
        gluDisk(disk_quadric, 0.8, 1.0, 32, 1);
        glPopMatrix();
    }
    ground_marker_count = 0;
}

// One line for each of the first few GL errors the passes cause.
static void report_gl_errors()
{
    static int reported = 0;
    for (GLenum e = glGetError(); e != GL_NO_ERROR; e = glGetError())
        if (reported < 8) {
            reported++;
            fprintf(stderr, "Scene passes: GL error 0x%x\n", (unsigned)e);
        }
}

void draw_scene_objects()
{
    if (!shaders_active)
        return;
    // 1. State, then the opaque objects and their mirrored copies.
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);
    glDisable(GL_TEXTURE_2D);
    pass_begin();
    draw_opaque_objects();
    pass_end(PASS_OBJECTS);
    // 2. Stencil shadows and the sun light outside them.
    draw_shadows_and_sun();
    pass_end(PASS_SUN);
    // 3. The floor: occlusion, floor, stains, shadows.
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    use_program(0);
    unbind_vertex_buffers();
    floor_occlusion(true);
    pass_end(PASS_FLOOR_OCCLUSION);
    draw_floor(false);
    pass_end(PASS_FLOOR);
    floor_shadows();
    pass_end(PASS_FLOOR_SHADOWS);
    // 4. Mirrored translucent objects.
    glPushMatrix();
    glScalef(1, 1, -1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    glFrontFace(GL_CW);
    if (reflection_on())
        draw_indexed_geometry(active_programs.ghost, 0, 1, COLOUR_GHOST_MIRROR, 0);
    glFrontFace(GL_CCW);
    glPopMatrix();
    // 5. Translucent objects.
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);
    glEnable(GL_CULL_FACE);
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_POLYGON_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    // A ghost often lies exactly on its fighter: set back a little, it
    // shows where it differs instead of striping the fighter.
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1.0f, 4.0f);
    draw_indexed_geometry(active_programs.ghost, 0, 1, COLOUR_PLAIN, 0);
    glDisable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(0.0f, 0.0f);
    pass_end(PASS_TRANSLUCENT);
    // 6. Fluid blood and the motion sub-frames.
    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);
    if (subframe_blood_first) {
        draw_fluid_blood_moved(0.0f);
        draw_motion_subframes();
    } else {
        draw_motion_subframes();
        draw_fluid_blood_moved(0.0f);
    }
    pass_end(PASS_SUBFRAMES);
    // 7. Back to the state the next layers expect.
    use_program(0);
    unbind_vertex_buffers();
    const float *b = world_shader.background_color;
    glClearColor(b[0], b[1], b[2], 0.0f);
    identity_texture_matrix();
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glDisable(GL_TEXTURE_2D);
    // 8. Ground markers.
    draw_ground_markers();
    pass_end(PASS_MARKERS);
    report_gl_errors();
}

// ---- motion sub-frames --------------------------------------------------------------------

// The textured objects of a sub-frame, one by one.
static void draw_textured_subframe_objects(int32_t program, float t)
{
    use_program(program);
    for (int i = 0; i < draw_queue.count; i++) {
        const DrawQueueEntry *src = &draw_queue.entries[i];
        if (src->translucent || !entry_drawable(src) || src->mode != 8 || !src->texture ||
            !src->texture->id)
            continue;
        DrawQueueEntry e;
        entry_moved(src, t, &e);
        use_texture_unit(0, e.texture->id);
        set_konstant(program, e.stretch);
        float m[16], c[4];
        entry_transform(&e, m);
        load_texture_matrix(m);
        indexed_geometry_colour(e.colour, COLOUR_PLAIN, c);
        set_colour(program, c);
        draw_mesh(&entry_mesh(&e, MESH_MAIN)->draw);
        disable_texture_unit(0);
    }
    use_program(0);
    unbind_vertex_buffers();
}

// The opaque objects (and blood) of sub-frame i, moved by the time t.
static void draw_subframe_objects(int i, float t)
{
    bind_render_target(i + 1);
    glDisable(GL_BLEND);
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    int32_t plain = active_programs.simple_sun, textured = active_programs.simple_textured_sun;
    int indices = gather_subframe(t, textured);
    if (indices > 0) {
        use_program(plain);
        // A zero global colour lets the programs take the vertex colours.
        set_uniform_4f(plain, "globalcolor", 0, 0, 0, 0);
        set_konstant(plain, 0.0f);
        identity_texture_matrix();
        bind_batch_arrays();
        glDrawElements(GL_TRIANGLES, indices, GL_UNSIGNED_INT, batch_indices);
        unbind_batch_arrays();
        use_program(0);
    }
    if (textured)
        draw_textured_subframe_objects(textured, t);
    if (subframe_blood_first)
        draw_fluid_blood_moved(t);
}

void draw_motion_subframes()
{
    // Only with motion blur running: its targets and programs exist.
    int n = subframe_count;
    if (n <= 0 || combine_target < 0 || !opt(render_option_refs.motionblur))
        return;
    if (!active_programs.combine || !active_programs.smooth || !active_programs.final_blur)
        return;
    float step = motion_blur_time_step;
    if (!(fabsf(step) >= 1e-8f) || !sky_visible)
        return;
    const WorldShaderValues &w = world_shader;
    // The background (mirrored sky, floor, sky) is the same in every
    // sub-frame: drawn once into the first target and copied to the others.
    bind_render_target(1);
    glClearColor(w.background_color[0], w.background_color[1], w.background_color[2], 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    draw_sky(0, 2);
    int32_t copy = active_programs.copy;
    use_program(copy);
    identity_texture_matrix();
    if (w.sky_on) {
        set_uniform_4f(copy, "backgroundcolor", 0, 0, 0, 0);
    } else {
        set_uniform_4f(copy, "backgroundcolor", w.background_color[0] * w.mirror_color[0],
                       w.background_color[1] * w.mirror_color[1],
                       w.background_color[2] * w.mirror_color[2], 1.0f);
        glDisable(GL_BLEND);
    }
    float fog[3];
    for (int k = 0; k < 3; k++)
        fog[k] = (1 - w.mirror_color[k]) * w.background_color[k];
    fog_uniforms(copy, fog);
    set_uniform_1i(copy, "texture0", 0);
    if (floor_target >= 0)
        bind_target_texture(0, floor_target);
    float c[4];
    floor_colour(c, 1.0f);
    set_colour(copy, c);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glDepthMask(GL_FALSE);
    draw_floor_quad();
    glDepthMask(GL_TRUE);
    disable_texture_unit(0);
    use_program(0);
    draw_sky(0, 1);
    // When nothing moves (a turn waiting for the players) every sub-frame
    // is the same picture: the objects go into the first one only.
    bool still = fluid_vertex_count == 0 || !subframe_blood_first;
    for (int i = 0; i < draw_queue.count && still; i++) {
        const DrawQueueEntry *e = &draw_queue.entries[i];
        if (e->translucent)
            continue;
        for (int k = 0; k < 3; k++)
            if (e->linear_velocity[k] != 0 || e->angular_velocity[k] != 0)
                still = false;
    }
    const int32_t lit[] = {active_programs.simple_sun, active_programs.simple_textured_sun};
    for (int32_t p : lit) {
        if (!p)
            continue;
        use_program(p);
        set_uniform_2f(p, "lightfov", 0.35f, 0.65f);
    }
    use_program(0);
    if (still)
        draw_subframe_objects(0, 0.0f);
    bind_render_target(-1);
    const RenderTarget &first = render_targets[1];
    for (int i = 2; i <= n; i++) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, first.framebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, render_targets[i].framebuffer);
        glBlitFramebuffer(0, 0, first.width, first.height, 0, 0, render_targets[i].width,
                          render_targets[i].height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!still)
        for (int i = 0; i < n; i++)
            draw_subframe_objects(i, step * (0.5f - i));
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    bind_render_target(combine_target);
    use_program(active_programs.combine);
    for (int i = 0; i < n && i < 8; i++)
        bind_target_texture(i, i + 1);
    set_uniform_samplers8(active_programs.combine);
    draw_fullscreen_quad();
    bind_render_target(1);
    use_program(active_programs.smooth);
    bind_target_texture(0, combine_target);
    set_uniform_samplers8(active_programs.smooth);
    draw_fullscreen_quad();
    bind_render_target(-1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    use_program(active_programs.final_blur);
    bind_target_texture(0, 1);
    bind_target_texture(1, combine_target);
    bind_target_texture(2, 2 <= n ? 2 : 1);
    set_uniform_samplers8(active_programs.final_blur);
    draw_fullscreen_quad();
    use_program(0);
    for (int u = 7; u >= 0; u--)
        disable_texture_unit(u);
    glEnable(GL_DEPTH_TEST);
}

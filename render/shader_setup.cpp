#include "render/shader_setup.h"

#include <GL/glew.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/camera.h"
#include "platform/screenshot.h"
#include "render/draw_queue.h"
#include "render/gl_draw.h"
#include "render/glsl_programs.h"
#include "render/scene.h"
#include "render/scene_passes.h"
#include "render/sky.h"
#include "render/fluid_blood.h"
#include "render/floor_stains.h"

SceneMeshes shader_meshes;
int subframe_count = 0;
int floor_target = -1;
int combine_target = -1;
int stain_target = -1;
int shader_renderer_ready = 0;

// ---- triangle lists ----------------------------------------------------------------

static const float PI_F = 3.14159265358979f;

static void normalise(float v[3])
{
    float l = sqrtf(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (l > 0)
        for (int k = 0; k < 3; k++)
            v[k] /= l;
}

static void sphere_uv(const float p[3], float uv[2])
{
    uv[0] = atan2f(-p[0], -p[1]) * (-0.5f / PI_F) + 0.5f;
    uv[1] = atan2f(p[2], sqrtf(p[0] * p[0] + p[1] * p[1])) / PI_F + 0.5f;
}

static void put_vertex(MeshVertex *v, const float p[3], const float n[3], float u, float w)
{
    memcpy(v->position, p, sizeof v->position);
    memcpy(v->normal, n, sizeof v->normal);
    v->uv[0] = u;
    v->uv[1] = w;
}

// Unit-sphere triangles from one face, `depth` times split at the edge
// midpoints pushed out to the sphere.
static int subdivide_triangle(const float a[3], const float b[3], const float c[3], int depth,
                              MeshVertex *out)
{
    if (depth <= 0) {
        const float *p[3] = {a, b, c};
        for (int k = 0; k < 3; k++) {
            float uv[2];
            sphere_uv(p[k], uv);
            put_vertex(&out[k], p[k], p[k], uv[0], uv[1]);
        }
        return 1;
    }
    float ab[3], bc[3], ca[3];
    for (int k = 0; k < 3; k++) {
        ab[k] = a[k] + b[k];
        bc[k] = b[k] + c[k];
        ca[k] = c[k] + a[k];
    }
    normalise(ab);
    normalise(bc);
    normalise(ca);
    int n = 0;
    n += subdivide_triangle(a, ab, ca, depth - 1, out + 3 * n);
    n += subdivide_triangle(ab, b, bc, depth - 1, out + 3 * n);
    n += subdivide_triangle(ca, bc, c, depth - 1, out + 3 * n);
    n += subdivide_triangle(ab, bc, ca, depth - 1, out + 3 * n);
    return n;
}

// Octahedron face j: x = -1 for bit 0, y for bit 1, z for bit 2; faces
// with an odd number of negative axes turn their winding round.
static void octahedron_face(int j, float a[3], float b[3], float c[3])
{
    memset(a, 0, 3 * sizeof(float));
    memset(b, 0, 3 * sizeof(float));
    memset(c, 0, 3 * sizeof(float));
    a[0] = (j & 1) ? -1.0f : 1.0f;
    b[1] = (j & 2) ? -1.0f : 1.0f;
    c[2] = (j & 4) ? -1.0f : 1.0f;
    if (j == 1 || j == 2 || j == 4 || j == 7) {
        float t[3];
        memcpy(t, b, sizeof t);
        memcpy(b, c, sizeof t);
        memcpy(c, t, sizeof t);
    }
}

static int clamp_level(int level) { return level < 1 ? 1 : level > MESH_LEVELS ? MESH_LEVELS : level; }

static void fix_seams(MeshVertex *v, int triangles)
{
    fix_texcoord_seams(&v[0].uv[0], (int)(sizeof(MeshVertex) / sizeof(float)), 0, 3 * triangles);
}

int build_sphere_triangles(int level, MeshVertex *out)
{
    level = clamp_level(level);
    int n = 0;
    for (int j = 0; j < 8; j++) {
        float a[3], b[3], c[3];
        octahedron_face(j, a, b, c);
        n += subdivide_triangle(a, b, c, level - 1, out + 3 * n);
    }
    fix_seams(out, n);
    return n;
}

// A ring point of the unit circle at angle t, height z.
static void ring_point(float t, float z, float p[3])
{
    p[0] = cosf(t);
    p[1] = sinf(t);
    p[2] = z;
}

int build_capsule_triangles(int level, MeshVertex *out)
{
    level = clamp_level(level);
    int n = 0;
    for (int j = 0; j < 8; j++) {
        float a[3], b[3], c[3];
        octahedron_face(j, a, b, c);
        int first = n;
        n += subdivide_triangle(a, b, c, level - 1, out + 3 * n);
        float shift = (j & 4) ? -1.0f : 1.0f;
        for (int k = 3 * first; k < 3 * n; k++)
            out[k].position[2] += shift;
    }
    // The cylinder between the caps, its seams on the caps' rim points.
    int segments = 4 << (level - 1);
    float step = 2 * PI_F / segments;
    for (int s = 0; s < segments; s++) {
        float t0 = PI_F / 2 + step * (s + 1), t1 = t0 + step;
        float p00[3], p01[3], p10[3], p11[3], n0[3], n1[3];
        ring_point(t0, -1, p00);
        ring_point(t0, 1, p01);
        ring_point(t1, -1, p10);
        ring_point(t1, 1, p11);
        ring_point(t0, 0, n0);
        ring_point(t1, 0, n1);
        float u0 = (float)s / segments, u1 = (float)(s + 1) / segments;
        MeshVertex *v = out + 3 * n;
        put_vertex(&v[0], p00, n0, u0, 0.25f);
        put_vertex(&v[1], p10, n1, u1, 0.25f);
        put_vertex(&v[2], p11, n1, u1, 0.75f);
        put_vertex(&v[3], p00, n0, u0, 0.25f);
        put_vertex(&v[4], p11, n1, u1, 0.75f);
        put_vertex(&v[5], p01, n0, u0, 0.75f);
        n += 2;
    }
    fix_seams(out, n);
    return n;
}

int build_shape_triangles(int level, MeshVertex *out)
{
    level = clamp_level(level);
    int n = 0;
    for (int j = 0; j < 4; j++) {
        float a[3], b[3], c[3];
        octahedron_face(j, a, b, c);
        n += subdivide_triangle(a, b, c, level - 1, out + 3 * n);
    }
    for (int k = 0; k < 3 * n; k++) {
        const float *p = out[k].position;
        out[k].uv[0] = atan2f(p[1], p[0]) * (-0.5f / PI_F);
    }
    int segments = 4 << (level - 1);
    float step = 2 * PI_F / segments;
    const float down[3] = {0, 0, -1}, centre[3] = {0, 0, 0};
    for (int s = 0; s < segments; s++) {
        float p0[3], p1[3];
        ring_point(step * s, 0, p0);
        ring_point(step * (s + 1), 0, p1);
        MeshVertex *v = out + 3 * n;
        // Seen from below: counter-clockwise is clockwise from above.
        put_vertex(&v[0], centre, down, 0.5f, 0.5f);
        put_vertex(&v[1], p1, down, 0.5f + 0.5f * p1[0], 0.5f + 0.5f * p1[1]);
        put_vertex(&v[2], p0, down, 0.5f + 0.5f * p0[0], 0.5f + 0.5f * p0[1]);
        n++;
    }
    fix_seams(out, n);
    return n;
}

int build_box_triangles(MeshVertex *out)
{
    // Face: normal axis and sign; its atlas cell (u0, u1, v0, v1).
    struct Face {
        int axis;
        float sign;
        float u0, u1, v0, v1;
    };
    static const Face faces[6] = {
        {2, 1, 0.2f, 0.8f, 0.0f, 0.25f},  {2, -1, 0.2f, 0.8f, 0.75f, 1.0f},
        {0, 1, 0.8f, 1.0f, 0.25f, 0.5f},  {0, -1, 0.0f, 0.2f, 0.25f, 0.5f},
        {1, 1, 0.2f, 0.8f, 0.25f, 0.5f},  {1, -1, 0.2f, 0.8f, 0.5f, 0.75f},
    };
    int n = 0;
    for (int f = 0; f < 6; f++) {
        const Face &F = faces[f];
        int a = (F.axis + 1) % 3, b = (F.axis + 2) % 3;
        float corner[4][3];
        const float s[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (int k = 0; k < 4; k++) {
            corner[k][F.axis] = F.sign;
            // a x b = axis, so (a, b) turns counter-clockwise seen from +axis.
            corner[k][a] = s[k][0] * F.sign;
            corner[k][b] = s[k][1];
        }
        float normal[3] = {0, 0, 0};
        normal[F.axis] = F.sign;
        float uv[4][2] = {{F.u0, F.v0}, {F.u1, F.v0}, {F.u1, F.v1}, {F.u0, F.v1}};
        static const int order[6] = {0, 1, 2, 0, 2, 3};
        MeshVertex *v = out + 3 * n;
        for (int k = 0; k < 6; k++)
            put_vertex(&v[k], corner[order[k]], normal, uv[order[k]][0], uv[order[k]][1]);
        n += 2;
    }
    return n;
}

int build_sky_dome_triangles(MeshVertex *out)
{
    const int rows = 12, columns = 48;
    int n = 0;
    for (int r = 0; r < rows; r++) {
        for (int c = 0; c < columns; c++) {
            float p[4][3], uv[4][2];
            for (int k = 0; k < 4; k++) {
                int rr = r + (k >= 2 ? 1 : 0), cc = c + ((k == 1 || k == 2) ? 1 : 0);
                float e = (PI_F / 2) * rr / rows, a = 2 * PI_F * cc / columns;
                float m = cosf(e), h = sinf(e);
                p[k][0] = m * cosf(a);
                p[k][1] = m * sinf(a);
                p[k][2] = h;
                // The sky texture maps a direction to r = m (1 - h) from its centre.
                uv[k][0] = 0.5f + 0.5f * p[k][0] * (1 - h);
                uv[k][1] = 0.5f + 0.5f * p[k][1] * (1 - h);
            }
            static const int order[6] = {0, 1, 2, 0, 2, 3};
            MeshVertex *v = out + 3 * n;
            for (int k = 0; k < 6; k++)
                put_vertex(&v[k], p[order[k]], p[order[k]], uv[order[k]][0], uv[order[k]][1]);
            n += 2;
        }
    }
    return n;
}

// ---- shadow volumes ----------------------------------------------------------------

int build_shadow_volume(const MeshVertex *t, int triangle_count, float *vertices,
                        uint16_t *indices, int *index_count)
{
    *index_count = 0;
    int count = 3 * triangle_count;
    if (triangle_count <= 0 || count > 65536)
        return 1;
    // Weld positions closer than 1e-3.
    int *weld = (int *)malloc(sizeof(int) * count);
    if (!weld)
        return 1;
    int distinct = 0;
    int *first_of = (int *)malloc(sizeof(int) * count);
    if (!first_of) {
        free(weld);
        return 1;
    }
    for (int i = 0; i < count; i++) {
        weld[i] = -1;
        for (int d = 0; d < distinct; d++) {
            const float *a = t[i].position, *b = t[first_of[d]].position;
            float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
            if (dx * dx + dy * dy + dz * dz <= 1e-6f) {
                weld[i] = d;
                break;
            }
        }
        if (weld[i] < 0) {
            first_of[distinct] = i;
            weld[i] = distinct++;
        }
    }
    free(first_of);
    // Every triangle its own three vertices with the face normal.
    for (int tri = 0; tri < triangle_count; tri++) {
        float n[3];
        const float *a = t[3 * tri].position, *b = t[3 * tri + 1].position,
                    *c = t[3 * tri + 2].position;
        float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        float e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        n[0] = e1[1] * e2[2] - e1[2] * e2[1];
        n[1] = e1[2] * e2[0] - e1[0] * e2[2];
        n[2] = e1[0] * e2[1] - e1[1] * e2[0];
        normalise(n);
        for (int k = 0; k < 3; k++) {
            float *v = vertices + 6 * (3 * tri + k);
            memcpy(v, t[3 * tri + k].position, 3 * sizeof(float));
            memcpy(v + 3, n, 3 * sizeof(float));
            indices[(*index_count)++] = (uint16_t)(3 * tri + k);
        }
    }
    // Directed welded edges to the corner that starts them.
    std::multimap<uint64_t, int> edges;
    for (int i = 0; i < count; i++) {
        int next = 3 * (i / 3) + (i % 3 + 1) % 3;
        edges.insert(std::make_pair(((uint64_t)weld[i] << 32) | (uint32_t)weld[next], i));
    }
    int bad = 0;
    for (int i = 0; i < count; i++) {
        int tri = i / 3, next = 3 * tri + (i % 3 + 1) % 3;
        uint64_t opposite = ((uint64_t)weld[next] << 32) | (uint32_t)weld[i];
        if (edges.count(opposite) != 1) {
            bad = 1;
            continue;
        }
        int j = edges.find(opposite)->second;
        int other = j / 3;
        if (other <= tri)
            continue;   // the pair's quad is made once, by its lower triangle
        int ta = i, tb = next;
        int ub = j, ua = 3 * other + (j % 3 + 1) % 3;
        const int quad[6] = {tb, ta, ua, tb, ua, ub};
        for (int k = 0; k < 6; k++)
            indices[(*index_count)++] = (uint16_t)quad[k];
    }
    free(weld);
    if (bad) {
        fprintf(stderr, "Bug: create elementbuffer\n");
        return 1;
    }
    if (*index_count != 12 * triangle_count) {
        fprintf(stderr, "Bug: 2 create elementbuffer\n");
        return 1;
    }
    return 0;
}

// ---- GL meshes ---------------------------------------------------------------------

static MeshVertex mesh_scratch[3 * MESH_TRIANGLE_MAX];
static float volume_scratch[3 * MESH_TRIANGLE_MAX * 6];
static uint16_t index_scratch[12 * MESH_TRIANGLE_MAX];

static MeshVertex weld_scratch[3 * MESH_TRIANGLE_MAX];
static uint16_t weld_index_scratch[3 * MESH_TRIANGLE_MAX];

// Vertices that are the same in every byte become one, so that each is
// shaded once however many triangles share it.
static int weld_identical(const MeshVertex *in, int count, MeshVertex *out, uint16_t *indices)
{
    int distinct = 0;
    for (int i = 0; i < count; i++) {
        int found = -1;
        for (int d = distinct - 1; d >= 0; d--)
            if (memcmp(&out[d], &in[i], sizeof(MeshVertex)) == 0) {
                found = d;
                break;
            }
        if (found < 0) {
            out[distinct] = in[i];
            found = distinct++;
        }
        indices[i] = (uint16_t)found;
    }
    return distinct;
}

static int make_scene_mesh(SceneMesh *mesh, int triangles)
{
    int count = 3 * triangles;
    int distinct = weld_identical(mesh_scratch, count, weld_scratch, weld_index_scratch);
    if (renderobject_create(&mesh->draw, weld_scratch, sizeof(MeshVertex), distinct,
                            weld_index_scratch, count) != 0)
        return 1;
    int indices = 0;
    if (build_shadow_volume(mesh_scratch, triangles, volume_scratch, index_scratch, &indices) != 0)
        return 1;
    if (renderobject_create(&mesh->shadow, volume_scratch, 24, count, index_scratch, indices) != 0)
        return 1;
    mesh->vertices = (MeshVertex *)malloc(sizeof(MeshVertex) * distinct);
    mesh->indices = (uint16_t *)malloc(sizeof(uint16_t) * count);
    mesh->volume_vertices = (float *)malloc(sizeof(float) * 6 * count);
    mesh->volume_indices = (uint16_t *)malloc(sizeof(uint16_t) * indices);
    mesh->volume_positions = (float *)malloc(sizeof(float) * 3 * count);
    mesh->volume_corner = (uint16_t *)malloc(sizeof(uint16_t) * count);
    if (!mesh->vertices || !mesh->indices || !mesh->volume_vertices || !mesh->volume_indices ||
        !mesh->volume_positions || !mesh->volume_corner)
        return 1;
    // The same welding as the volume's edges were found with.
    int positions = 0;
    for (int v = 0; v < count; v++) {
        const float *p = volume_scratch + 6 * v;
        int found = -1;
        for (int d = 0; d < positions && found < 0; d++) {
            const float *q = mesh->volume_positions + 3 * d;
            float dx = p[0] - q[0], dy = p[1] - q[1], dz = p[2] - q[2];
            if (dx * dx + dy * dy + dz * dz <= 1e-6f)
                found = d;
        }
        if (found < 0) {
            memcpy(mesh->volume_positions + 3 * positions, p, 3 * sizeof(float));
            found = positions++;
        }
        mesh->volume_corner[v] = (uint16_t)found;
    }
    mesh->volume_position_count = positions;
    memcpy(mesh->vertices, weld_scratch, sizeof(MeshVertex) * distinct);
    memcpy(mesh->indices, weld_index_scratch, sizeof(uint16_t) * count);
    memcpy(mesh->volume_vertices, volume_scratch, sizeof(float) * 6 * count);
    memcpy(mesh->volume_indices, index_scratch, sizeof(uint16_t) * indices);
    mesh->vertex_count = distinct;
    mesh->index_count = count;
    mesh->triangle_count = triangles;
    mesh->volume_index_count = indices;
    return 0;
}

static void free_scene_mesh(SceneMesh *mesh)
{
    renderobject_free(&mesh->draw);
    renderobject_free(&mesh->shadow);
    free(mesh->vertices);
    free(mesh->indices);
    free(mesh->volume_vertices);
    free(mesh->volume_indices);
    free(mesh->volume_positions);
    free(mesh->volume_corner);
    mesh->volume_positions = nullptr;
    mesh->volume_corner = nullptr;
    mesh->volume_position_count = 0;
    mesh->vertices = nullptr;
    mesh->indices = nullptr;
    mesh->volume_vertices = nullptr;
    mesh->volume_indices = nullptr;
    mesh->vertex_count = mesh->index_count = 0;
    mesh->triangle_count = mesh->volume_index_count = 0;
}

static void free_meshes()
{
    for (int l = 0; l <= MESH_LEVELS; l++) {
        free_scene_mesh(&shader_meshes.sphere[l]);
        free_scene_mesh(&shader_meshes.capsule[l]);
        free_scene_mesh(&shader_meshes.shape[l]);
    }
    free_scene_mesh(&shader_meshes.box);
    renderobject_free(&shader_meshes.sky_dome);
    memset(&scene_meshes, 0, sizeof scene_meshes);
}

static int build_meshes()
{
    int failed = 0;
    for (int l = 1; l <= MESH_LEVELS; l++) {
        failed |= make_scene_mesh(&shader_meshes.sphere[l], build_sphere_triangles(l, mesh_scratch));
        failed |= make_scene_mesh(&shader_meshes.capsule[l], build_capsule_triangles(l, mesh_scratch));
        failed |= make_scene_mesh(&shader_meshes.shape[l], build_shape_triangles(l, mesh_scratch));
        scene_meshes.sphere[l] = &shader_meshes.sphere[l];
        scene_meshes.capsule[l] = &shader_meshes.capsule[l];
        scene_meshes.shape[l] = &shader_meshes.shape[l];
    }
    failed |= make_scene_mesh(&shader_meshes.box, build_box_triangles(mesh_scratch));
    scene_meshes.box = &shader_meshes.box;
    int sky = build_sky_dome_triangles(mesh_scratch);
    for (int k = 0; k < 3 * sky; k++)
        index_scratch[k] = (uint16_t)k;
    failed |= renderobject_create(&shader_meshes.sky_dome, mesh_scratch, sizeof(MeshVertex),
                                  3 * sky, index_scratch, 3 * sky);
    return failed;
}

// ---- render targets ----------------------------------------------------------------

static void forget_targets()
{
    delete_render_targets();
    floor_target = combine_target = stain_target = -1;
    stain_render_target = -1;
    subframe_count = 0;
}

static int make_targets(int subframes)
{
    while (glGetError() != GL_NO_ERROR) {
    }
    int w = view_width > 0 ? view_width : 800, h = view_height > 0 ? view_height : 600;
    floor_target = create_render_target(w / 4 > 0 ? w / 4 : 1, h / 4 > 0 ? h / 4 : 1, 0);
    if (floor_target < 0)
        return 1;
    for (int i = 1; i <= subframes + 1; i++) {
        int n = create_render_target(w / 2 > 0 ? w / 2 : 1, h / 2 > 0 ? h / 2 : 1, 1);
        if (n < 0 || glGetError() != GL_NO_ERROR)
            return 1;
        combine_target = n;
    }
    stain_target = create_render_target(STAIN_MAP_SIZE, STAIN_MAP_SIZE, 0);
    if (stain_target < 0 || glGetError() != GL_NO_ERROR)
        return 1;
    subframe_count = subframes;
    stain_render_target = stain_target;
    return 0;
}

// ---- set-up --------------------------------------------------------------------------

static int shaders_option() { return render_option(render_option_refs.shaders); }

static void set_shaders_option(int on)
{
    if (render_option_refs.shaders)
        *render_option_refs.shaders = on;
}

void init_shader_renderer()
{
    if (!shaders_option())
        return;
    // Before the window exists (a start-up script) there is nothing to
    // build on; the renderer's start builds it with the option kept.
    if (!render_resources_loaded)
        return;
    if (shader_renderer_ready)
        free_shader_renderer();
    build_graphics_stats_line();
    if (has_gl_extension() != 0) {
        set_shaders_option(0);
        shaders_active = 0;
        append_graphics_stats_text(",NOSHADER");
        append_graphics_stats();
        return;
    }
    shaders_active = 0;
    if (build_meshes() != 0) {
        fprintf(stderr, "Unable to build the scene meshes\n");
        free_meshes();
        set_shaders_option(0);
        append_graphics_stats_text(",FAIL");
        append_graphics_stats();
        return;
    }
    if (compile_all_programs() != 0 || !shaders_option()) {
        free_meshes();
        delete_all_programs();
        set_shaders_option(0);
        append_graphics_stats_text(",FAIL");
        append_graphics_stats();
        return;
    }
    int subframes = render_option(render_option_refs.motionblur) ? 8 : 0;
    if (make_targets(subframes) != 0) {
        forget_targets();
        lower_render_option(render_option_refs.motionblur);
        if (make_targets(0) != 0) {
            fprintf(stderr, "Insufficient Video Memory. Abort.\n");
            forget_targets();
            free_meshes();
            delete_all_programs();
            set_shaders_option(0);
            return;
        }
    }
    build_sky_texture();
    clear_blood_stains();
    init_floor_patches();
    set_lighting_model("default");
    shader_renderer_ready = 1;
    shaders_active = shaders_option();
    append_graphics_stats_text(",SUCCESS");
    append_graphics_stats();
    while (glGetError() != GL_NO_ERROR) {
    }
}

void free_shader_renderer()
{
    shaders_active = 0;
    if (!shader_renderer_ready && !render_target_count && !scene_meshes.box)
        return;
    shader_renderer_ready = 0;
    use_program(0);
    unbind_vertex_buffers();
    bind_render_target(-1);
    forget_targets();
    free_sky_textures();
    free_meshes();
    delete_all_programs();
    free_stain_quads();
    free_scene_batches();
    free_fluid_vertices();
    stain_blot_vertex_count = 0;
}

void sync_shader_renderer()
{
    // A failed set-up switches the option off itself, so it is tried once.
    if (shaders_option() && !shader_renderer_ready)
        init_shader_renderer();
    shaders_active = shaders_option() && shader_renderer_ready ? 1 : 0;
}

void bind_shader_renderer()
{
    scene_queue_sink = queue_scene_shape_sink;
    if (!square_outline_hook)
        square_outline_hook = queue_square_outline;
    render_outward.init_shader_renderer = init_shader_renderer;
    render_outward.free_shader_renderer = free_shader_renderer;
    render_option_refs.set_shaders_enabled = set_shaders_enabled;
    if (!render_outward.add_floor_stain)
        render_outward.add_floor_stain = add_floor_stain;
    if (!render_outward.add_fluid_blood)
        render_outward.add_fluid_blood = add_fluid_blood;
}

#include "render/meshes.h"

#include <GL/glew.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/camera.h"
#include "render/gl_draw.h"
#include "render/scene.h"
#include "render/texture.h"

PrimitiveMesh box_mesh = {0, nullptr};
PrimitiveMesh sphere_mesh = {0, nullptr};
PrimitiveMesh capsule_mesh = {0, nullptr};
unsigned int normalisation_cube_map = 0;

static const double PI = 3.141592653589793;

// Which z offset (+1, -1) each capsule vertex takes, written with the mesh.
static signed char capsule_offsets[CAPSULE_MESH_VERTICES];

// ---- building ------------------------------------------------------------------

static int allocate_mesh(PrimitiveMesh *mesh, int count, const char *failure)
{
    free_primitive_mesh(mesh);
    mesh->vertices = (float *)calloc((size_t)count * MESH_FLOATS, sizeof(float));
    if (!mesh->vertices) {
        fputs(failure, stderr);
        return 1;
    }
    mesh->count = count;
    return 0;
}

void free_primitive_mesh(PrimitiveMesh *mesh)
{
    free(mesh->vertices);
    mesh->vertices = nullptr;
    mesh->count = 0;
}

static void put3(float *out, Vector3 v)
{
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}

static Vector3 get3(const float *in) { return vector3(in[0], in[1], in[2]); }

void mesh_tangent_frame(const float normal[3], float tangent[3], float binormal[3])
{
    Vector3 n = get3(normal);
    Vector3 a = vector3_cross(n, vector3(0, 0, 1));
    Vector3 b = vector3_cross(n, vector3(0, 1, 0));
    Vector3 t = vector3_length(a) > vector3_length(b) ? a : b;
    vector3_normalise(&t);
    Vector3 bn = vector3_normalised(vector3_cross(n, t));
    put3(tangent, t);
    put3(binormal, bn);
}

static void set_vertex(float *v, Vector3 position, float s, float t, Vector3 normal)
{
    put3(v + MESH_POSITION, position);
    v[MESH_TEXCOORD] = s;
    v[MESH_TEXCOORD + 1] = t;
    put3(v + MESH_NORMAL, normal);
}

static void frame_from_normals(PrimitiveMesh *mesh)
{
    for (int i = 0; i < mesh->count; i++) {
        float *v = mesh->vertices + i * MESH_FLOATS;
        mesh_tangent_frame(v + MESH_NORMAL, v + MESH_TANGENT, v + MESH_BINORMAL);
    }
}

// Each face: its normal, the in-plane axes along s and t (s x t = normal,
// so the corners run counter-clockwise seen from outside) and its atlas
// rectangle.
struct BoxFace {
    float n[3], u[3], v[3];
    float s0, s1, t0, t1;
};
static const BoxFace box_faces[6] = {
    {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}, 0.0f, 0.8f, 0.0f, 0.25f},
    {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}, 0.0f, 0.8f, 0.5f, 0.75f},
    {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}, 0.0f, 0.8f, 0.25f, 0.5f},
    {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}, 0.0f, 0.8f, 0.75f, 1.0f},
    {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, 0.8f, 1.0f, 0.0f, 0.2f},
    {{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}, 0.8f, 1.0f, 0.2f, 0.4f},
};

int build_box_mesh(PrimitiveMesh *mesh)
{
    if (allocate_mesh(mesh, BOX_MESH_VERTICES, "Unable to allocate memory for box vertices\n"))
        return 1;
    static const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int f = 0; f < 6; f++) {
        const BoxFace &face = box_faces[f];
        for (int c = 0; c < 4; c++) {
            float a = corners[c][0], b = corners[c][1];
            Vector3 p;
            p.x = 0.5f * face.n[0] + (a - 0.5f) * face.u[0] + (b - 0.5f) * face.v[0];
            p.y = 0.5f * face.n[1] + (a - 0.5f) * face.u[1] + (b - 0.5f) * face.v[1];
            p.z = 0.5f * face.n[2] + (a - 0.5f) * face.u[2] + (b - 0.5f) * face.v[2];
            set_vertex(mesh->vertices + (f * 4 + c) * MESH_FLOATS, p,
                       face.s0 + a * (face.s1 - face.s0), face.t0 + b * (face.t1 - face.t0),
                       get3(face.n));
        }
    }
    frame_from_normals(mesh);
    return 0;
}

int build_sphere_mesh(PrimitiveMesh *mesh)
{
    if (allocate_mesh(mesh, SPHERE_MESH_VERTICES,
                      "Unable to allocate memory for sphere vertices\n"))
        return 1;
    float *v = mesh->vertices;
    for (int i = 0; i < SPHERE_MESH_STRIPS; i++) {
        for (int j = 0; j <= 8; j++) {
            double b = j * 2.0 * PI / 8.0;
            for (int k = 0; k < 2; k++) {
                int ring = k == 0 ? i + 1 : i;
                double a = ring * PI / 8.0;
                Vector3 n = vector3((float)(sin(a) * sin(b)), (float)(sin(a) * cos(b)),
                                    (float)cos(a));
                set_vertex(v, n, 1.0f - j / 8.0f, 1.0f - ring / 8.0f, n);
                Vector3 t = vector3((float)sin(b), (float)cos(b), (float)sin(a));
                vector3_normalise(&t);
                Vector3 bn = vector3_cross(t, n);
                t = vector3_cross(n, bn);
                put3(v + MESH_TANGENT, t);
                put3(v + MESH_BINORMAL, bn);
                v += MESH_FLOATS;
            }
        }
    }
    return 0;
}

// Polar angle and texture t of capsule ring r (0..7 from the top pole):
// rings 0..3 span the upper hemisphere, 4..7 the lower one; the cylinder
// joins ring 3 and ring 4, both on the equator.
static void capsule_ring(int r, double *angle, float *t, int *offset)
{
    if (r <= 3) {
        *angle = r * PI / 6.0;
        *t = 0.2f * r / 3.0f;
        *offset = 1;
    } else {
        *angle = (r - 1) * PI / 6.0;
        *t = 0.8f + 0.2f * (r - 4) / 3.0f;
        *offset = -1;
    }
}

int build_capsule_mesh(PrimitiveMesh *mesh)
{
    if (allocate_mesh(mesh, CAPSULE_MESH_VERTICES,
                      "Unable to allocate memory for capped cylinder vertices\n"))
        return 1;
    int n = 0;
    for (int strip = 0; strip < CAPSULE_MESH_STRIPS; strip++) {
        for (int j = 0; j <= 12; j++) {
            double b = j * 2.0 * PI / 12.0;
            // The upper ring first keeps the quads counter-clockwise outside.
            for (int k = 0; k < 2; k++) {
                double a;
                float t;
                int offset;
                capsule_ring(strip + k, &a, &t, &offset);
                Vector3 dir = vector3((float)(sin(a) * cos(b)), (float)(sin(a) * sin(b)),
                                      (float)cos(a));
                if (strip == 3)
                    dir = vector3((float)cos(b), (float)sin(b), 0.0f);
                set_vertex(mesh->vertices + n * MESH_FLOATS, dir, j / 12.0f, t, dir);
                capsule_offsets[n] = (signed char)offset;
                n++;
            }
        }
    }
    frame_from_normals(mesh);
    return 0;
}

void set_box_mesh_sides(PrimitiveMesh *mesh, const float sides[3])
{
    for (int i = 0; i < mesh->count; i++) {
        float *p = mesh->vertices + i * MESH_FLOATS + MESH_POSITION;
        for (int k = 0; k < 3; k++)
            p[k] = (p[k] < 0 ? -0.5f : 0.5f) * sides[k];
    }
}

void set_capsule_mesh_size(PrimitiveMesh *mesh, float radius, float length)
{
    for (int i = 0; i < mesh->count && i < CAPSULE_MESH_VERTICES; i++) {
        float *v = mesh->vertices + i * MESH_FLOATS;
        for (int k = 0; k < 3; k++)
            v[MESH_POSITION + k] = radius * v[MESH_NORMAL + k];
        v[MESH_POSITION + 2] += capsule_offsets[i] * 0.5f * length;
    }
}

void compute_mesh_light_vectors(PrimitiveMesh *mesh, Vector3 light)
{
    for (int i = 0; i < mesh->count; i++) {
        float *v = mesh->vertices + i * MESH_FLOATS;
        Vector3 p = get3(v + MESH_POSITION);
        Vector3 d = vector3(light.x - p.x, light.y - p.y, light.z - p.z);
        v[MESH_LIGHT] = vector3_dot(d, get3(v + MESH_TANGENT));
        v[MESH_LIGHT + 1] = vector3_dot(d, get3(v + MESH_BINORMAL));
        v[MESH_LIGHT + 2] = vector3_dot(d, get3(v + MESH_NORMAL));
    }
}

// ---- cube map ------------------------------------------------------------------

void fill_cube_map_face(int face, uint8_t out[CUBE_MAP_FACE_BYTES])
{
    uint8_t *o = out;
    for (int r = 0; r < CUBE_MAP_SIZE; r++)
        for (int c = 0; c < CUBE_MAP_SIZE; c++) {
            float u = c + 0.5f - 16.0f, v = r + 0.5f - 16.0f;
            Vector3 d;
            switch (face) {
            case 0: d = vector3(16, -v, -u); break;
            case 1: d = vector3(-16, -v, u); break;
            case 2: d = vector3(u, 16, v); break;
            case 3: d = vector3(u, -16, -v); break;
            case 4: d = vector3(u, -v, 16); break;
            default: d = vector3(-u, -v, -16); break;
            }
            Vector3 packed = vector3_pack_colour(d);
            *o++ = (uint8_t)(packed.x * 255.0f);
            *o++ = (uint8_t)(packed.y * 255.0f);
            *o++ = (uint8_t)(packed.z * 255.0f);
        }
}

int create_normalisation_cube_map()
{
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_CUBE_MAP, id);
    normalisation_cube_map = id;
    int rc = 0;
    uint8_t *buffer = (uint8_t *)malloc(CUBE_MAP_FACE_BYTES);
    if (!buffer) {
        fputs("Unable to allocate memory for texture data for cube map\n", stderr);
        rc = 1;
    } else {
        for (int face = 0; face < 6; face++) {
            fill_cube_map_face(face, buffer);
            glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_RGB8, CUBE_MAP_SIZE,
                         CUBE_MAP_SIZE, 0, GL_RGB, GL_UNSIGNED_BYTE, buffer);
        }
        free(buffer);
    }
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    return rc;
}

void free_normalisation_cube_map()
{
    if (normalisation_cube_map) {
        GLuint id = normalisation_cube_map;
        glDeleteTextures(1, &id);
    }
    normalisation_cube_map = 0;
}

// ---- drawing -------------------------------------------------------------------

enum { LAYOUT_QUADS, LAYOUT_SPHERE, LAYOUT_CAPSULE };

static GLuint make_draw_colour_texture()
{
    uint8_t texel[4];
    for (int k = 0; k < 3; k++) {
        float c = draw_color[k] * 255.0f;
        texel[k] = (uint8_t)(c < 0 ? 0 : c > 255 ? 255 : c);
    }
    texel[3] = 255;
    uint8_t pixels[16];
    for (int i = 0; i < 16; i++)
        pixels[i] = texel[i % 4];
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    return id;
}

static void combine_unit(GLenum unit, GLenum target, GLuint texture, GLenum combine)
{
    glActiveTextureARB(unit);
    glEnable(target);
    glBindTexture(target, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, combine);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB_ARB, GL_PREVIOUS_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB_ARB, GL_TEXTURE);
}

static void texcoord_array(GLenum unit, int size, const float *first)
{
    glClientActiveTextureARB(unit);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(size, GL_FLOAT, MESH_FLOATS * sizeof(float), first);
}

// Draws a mesh whose light vectors are written, in the current modelview.
static void draw_with_units(PrimitiveMesh *mesh, int layout, Texture *normal_map,
                            Texture *colour)
{
    if (!mesh->vertices || !normal_map || !colour)
        return;
    GLuint draw_colour = make_draw_colour_texture();
    glDisable(GL_LIGHTING);

    glActiveTextureARB(GL_TEXTURE0_ARB);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, normal_map->id);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    combine_unit(GL_TEXTURE1_ARB, GL_TEXTURE_CUBE_MAP, normalisation_cube_map, GL_DOT3_RGB_ARB);
    combine_unit(GL_TEXTURE2_ARB, GL_TEXTURE_2D, colour->id, GL_MODULATE);
    combine_unit(GL_TEXTURE3_ARB, GL_TEXTURE_2D, draw_colour, GL_MODULATE);

    const float *v = mesh->vertices;
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, MESH_FLOATS * sizeof(float), v + MESH_POSITION);
    texcoord_array(GL_TEXTURE0_ARB, 2, v + MESH_TEXCOORD);
    texcoord_array(GL_TEXTURE1_ARB, 3, v + MESH_LIGHT);
    texcoord_array(GL_TEXTURE2_ARB, 2, v + MESH_TEXCOORD);

    if (layout == LAYOUT_QUADS)
        glDrawArrays(GL_QUADS, 0, mesh->count);
    else {
        int strips = layout == LAYOUT_SPHERE ? SPHERE_MESH_STRIPS : CAPSULE_MESH_STRIPS;
        int each = layout == LAYOUT_SPHERE ? SPHERE_MESH_STRIP : CAPSULE_MESH_STRIP;
        for (int s = 0; s < strips && (s + 1) * each <= mesh->count; s++)
            glDrawArrays(GL_QUAD_STRIP, s * each, each);
    }

    static const GLenum units[3] = {GL_TEXTURE1_ARB, GL_TEXTURE2_ARB, GL_TEXTURE3_ARB};
    for (int u = 0; u < 3; u++) {
        glActiveTextureARB(units[u]);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_TEXTURE_CUBE_MAP);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glClientActiveTextureARB(units[u]);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glClientActiveTextureARB(GL_TEXTURE0_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnable(GL_LIGHTING);
    glDeleteTextures(1, &draw_colour);
}

// The light (in world space) carried into the shape's frame.
static void draw_from_frame(PrimitiveMesh *mesh, int layout, const float position[3],
                            const float rotation[12], float size, Texture *normal_map,
                            Texture *colour)
{
    Matrix4 model = mat4_multiply(mat4_object_matrix(rotation, position), mat4_scale(size));
    Matrix4 inverse;
    if (mat4_inverse(model, &inverse) != 0)
        return;
    Vector3 light = get3(camera_state.position);
    compute_mesh_light_vectors(mesh, mat4_transform_point(inverse, light));
    draw_with_units(mesh, layout, normal_map, colour);
}

void bump_draw_box(const float position[3], const float rotation[12], const float sides[3],
                   Texture *normal_map, Texture *colour)
{
    set_box_mesh_sides(&box_mesh, sides);
    draw_from_frame(&box_mesh, LAYOUT_QUADS, position, rotation, 1.0f, normal_map, colour);
}

void bump_draw_sphere(const float position[3], const float rotation[12], float radius,
                      Texture *normal_map, Texture *colour)
{
    draw_from_frame(&sphere_mesh, LAYOUT_SPHERE, position, rotation, radius, normal_map,
                    colour);
}

void bump_draw_capsule(const float position[3], const float rotation[12], float radius,
                       float length, Texture *normal_map, Texture *colour)
{
    set_capsule_mesh_size(&capsule_mesh, radius, length);
    draw_from_frame(&capsule_mesh, LAYOUT_CAPSULE, position, rotation, 1.0f, normal_map,
                    colour);
}

// The shape drawers call these with the body frame (and a sphere's radius)
// already on the modelview stack; GL keeps the light in eye space.
static void draw_in_current_frame(PrimitiveMesh *mesh, int layout, Texture *normal_map,
                                  Texture *colour)
{
    Matrix4 modelview, inverse;
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview.m);
    if (mat4_inverse(modelview, &inverse) != 0)
        return;
    float eye_light[4] = {0, 0, 0, 1};
    glGetLightfv(GL_LIGHT0, GL_POSITION, eye_light);
    compute_mesh_light_vectors(mesh, mat4_transform_point(inverse, get3(eye_light)));
    draw_with_units(mesh, layout, normal_map, colour);
}

static void outward_box(const float sides[3], Texture *normal_map, Texture *colour)
{
    set_box_mesh_sides(&box_mesh, sides);
    draw_in_current_frame(&box_mesh, LAYOUT_QUADS, normal_map, colour);
}

static void outward_sphere(Texture *normal_map, Texture *colour)
{
    draw_in_current_frame(&sphere_mesh, LAYOUT_SPHERE, normal_map, colour);
}

static void outward_capsule(float r1, float, float length, Texture *normal_map, Texture *colour)
{
    set_capsule_mesh_size(&capsule_mesh, r1, length);
    draw_in_current_frame(&capsule_mesh, LAYOUT_CAPSULE, normal_map, colour);
}

// ---- set-up --------------------------------------------------------------------

void build_bump_meshes()
{
    create_normalisation_cube_map();
    build_box_mesh(&box_mesh);
    build_sphere_mesh(&sphere_mesh);
    build_capsule_mesh(&capsule_mesh);
}

void release_bump_meshes()
{
    free_primitive_mesh(&box_mesh);
    free_primitive_mesh(&sphere_mesh);
    free_primitive_mesh(&capsule_mesh);
    free_normalisation_cube_map();
}

void bind_bump_meshes()
{
    if (!bump_hooks.build)
        bump_hooks.build = build_bump_meshes;
    if (!bump_hooks.release)
        bump_hooks.release = release_bump_meshes;
    if (!render_outward.bump_box)
        render_outward.bump_box = outward_box;
    if (!render_outward.bump_sphere)
        render_outward.bump_sphere = outward_sphere;
    if (!render_outward.bump_capsule)
        render_outward.bump_capsule = outward_capsule;
}

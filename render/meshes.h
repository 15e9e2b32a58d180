// The bump-mapped meshes of the fixed-function path: a box, a sphere and a
// capsule as vertex arrays with a tangent frame per vertex, the
// normalisation cube map, and the dot3 draw over four texture units
// (normal map, cube map, colour texture, draw colour).
#pragma once

#include <cstdint>

#include "render/math3d.h"

struct Texture;

// Floats per vertex: position 0-2, texture s, t 3-4, tangent 5-7,
// binormal 8-10, normal 11-13, light vector in the tangent frame 14-16.
enum {
    MESH_FLOATS = 17,
    MESH_POSITION = 0,
    MESH_TEXCOORD = 3,
    MESH_TANGENT = 5,
    MESH_BINORMAL = 8,
    MESH_NORMAL = 11,
    MESH_LIGHT = 14
};
enum {
    BOX_MESH_VERTICES = 24,       // 6 quads
    SPHERE_MESH_STRIPS = 8,
    SPHERE_MESH_STRIP = 18,
    SPHERE_MESH_VERTICES = 144,
    CAPSULE_MESH_STRIPS = 7,      // 3 upper hemisphere, cylinder, 3 lower
    CAPSULE_MESH_STRIP = 26,
    CAPSULE_MESH_VERTICES = 182
};

struct PrimitiveMesh {
    int count;               // 0 while the mesh has no vertices
    float *vertices;         // malloc'd, count x MESH_FLOATS
};

extern PrimitiveMesh box_mesh;
extern PrimitiveMesh sphere_mesh;
extern PrimitiveMesh capsule_mesh;
// The normalisation cube map's GL name, 0 when there is none.
extern unsigned int normalisation_cube_map;

// Each returns 0, or 1 (one line on stderr) when the vertices cannot be
// allocated; a mesh that already has vertices is rebuilt in place.
int build_box_mesh(PrimitiveMesh *mesh);
int build_sphere_mesh(PrimitiveMesh *mesh);
int build_capsule_mesh(PrimitiveMesh *mesh);
void free_primitive_mesh(PrimitiveMesh *mesh);

// The box and capsule frame: the longer of n x (0,0,1) and n x (0,1,0)
// (the first only when strictly longer), normalised; binormal n x tangent.
void mesh_tangent_frame(const float normal[3], float tangent[3], float binormal[3]);

// Box corners at +-half of the sides; capsule vertices at radius times
// their unit direction, the hemispheres and cylinder rings moved by
// +-length/2 along z.
void set_box_mesh_sides(PrimitiveMesh *mesh, const float sides[3]);
void set_capsule_mesh_size(PrimitiveMesh *mesh, float radius, float length);

// Writes every vertex's light vector: d = light - position, expressed in
// the vertex's tangent, binormal and normal. `light` is in object space.
void compute_mesh_light_vectors(PrimitiveMesh *mesh, Vector3 light);

// Cube map faces 0..5 are +X, -X, +Y, -Y, +Z, -Z; out holds 32 x 32 RGB.
enum { CUBE_MAP_SIZE = 32, CUBE_MAP_FACE_BYTES = 32 * 32 * 3 };
void fill_cube_map_face(int face, uint8_t out[CUBE_MAP_FACE_BYTES]);
// Builds the cube map texture (GL); returns 0, or 1 when its buffer fails.
int create_normalisation_cube_map();
void free_normalisation_cube_map();

// One bump-mapped shape from its physics frame: the light sits at the
// camera position. size scales the unit sphere; box and capsule vertices
// are placed at their size here and take a scale of 1.
void bump_draw_box(const float position[3], const float rotation[12], const float sides[3],
                   Texture *normal_map, Texture *colour);
void bump_draw_sphere(const float position[3], const float rotation[12], float radius,
                      Texture *normal_map, Texture *colour);
void bump_draw_capsule(const float position[3], const float rotation[12], float radius,
                       float length, Texture *normal_map, Texture *colour);

// The bump set-up: the three meshes and the cube map, and their release.
void build_bump_meshes();
void release_bump_meshes();
// Fills the empty build and release slots of bump_hooks (the feature test
// stays with the texture code) and the empty bump slots of render_outward;
// those draw in the current modelview frame, the light read from GL_LIGHT0.
void bind_bump_meshes();

// Set-up of the shader renderer: the level-of-detail meshes the draw queue
// points at (sphere, capsule, general shape; levels 1 to 4), the box and
// sky-dome meshes, the shadow-volume meshes, the render targets, the
// programs and the lighting model. It decides whether the shader path runs
// at all: on any failure the option `shaders` goes off and the fixed-function
// path draws.
#pragma once

#include <cstdint>

#include "render/render_util.h"

struct MeshVertex {
    float position[3];
    float normal[3];
    float uv[2];
};
static_assert(sizeof(MeshVertex) == 32, "drawing meshes have 32-byte vertices");

// A drawing mesh (32-byte vertices) and its shadow volume (24-byte
// vertices), with processor copies for the passes that gather many objects
// into one draw (malloc'd; null when the mesh failed).
struct SceneMesh {
    RenderObject draw;
    RenderObject shadow;
    MeshVertex *vertices;        // the drawing mesh's distinct vertices
    int vertex_count;
    uint16_t *indices;           // three per triangle
    int index_count;
    int triangle_count;
    float *volume_vertices;      // position, normal (three per triangle)
    uint16_t *volume_indices;
    int volume_index_count;
    // The volume's corners welded: distinct positions, and for each volume
    // vertex the position it stands on.
    float *volume_positions;
    int volume_position_count;
    uint16_t *volume_corner;
};

enum { MESH_LEVELS = 4, MESH_TRIANGLE_MAX = 8 * 256 + 64, SKY_DOME_TRIANGLES = 1152 };

// The CPU side of the meshes: closed triangle lists (three vertices per
// triangle, counter-clockwise seen from outside). Each returns the triangle
// count written (out holds room for MESH_TRIANGLE_MAX triangles).
int build_sphere_triangles(int level, MeshVertex *out);
int build_capsule_triangles(int level, MeshVertex *out);
int build_shape_triangles(int level, MeshVertex *out);
int build_box_triangles(MeshVertex *out);
int build_sky_dome_triangles(MeshVertex *out);

// The shadow volume of a closed triangle list: welded positions, each
// triangle with its own three vertices (position, face normal), the
// triangles' indices first (3 per triangle) and then two triangles joining
// the copies of every shared edge (9 per triangle). Returns 0, or 1 with
// "Bug: create elementbuffer\n" when an edge has no single opposite
// neighbour. vertices: room for 3 x triangles x 6 floats; indices for
// 12 x triangles.
int build_shadow_volume(const MeshVertex *triangles, int triangle_count, float *vertices,
                        uint16_t *indices, int *index_count);

// The meshes (levels at their own index), the box and the sky dome.
struct SceneMeshes {
    SceneMesh sphere[MESH_LEVELS + 1];
    SceneMesh capsule[MESH_LEVELS + 1];
    SceneMesh shape[MESH_LEVELS + 1];
    SceneMesh box;
    RenderObject sky_dome;
};
extern SceneMeshes shader_meshes;

// The render targets: 0 floor occlusion (a quarter of the window), 1 .. N
// the motion sub-frames and N + 1 their combination (half the window),
// then the stain map. N is 8 with motion blur, else 0.
extern int subframe_count;
extern int floor_target;
extern int combine_target;
extern int stain_target;
// Set once the renderer exists in the current GL context.
extern int shader_renderer_ready;

void init_shader_renderer();
void free_shader_renderer();
// Once a frame before the scene: follows the option `shaders`. Turning it
// on builds the renderer (once per context); shaders_active is set only
// while the renderer exists.
void sync_shader_renderer();
// Fills the renderer's slots and the shape drawers' queue sink.
void bind_shader_renderer();

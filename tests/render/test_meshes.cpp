// The bump meshes, their tangent frames and the cube map faces (no GL).
#include "render/meshes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const float *vertex(const PrimitiveMesh &m, int i) { return m.vertices + i * MESH_FLOATS; }

Vector3 at(const float *v, int offset) { return vector3(v[offset], v[offset + 1], v[offset + 2]); }

// Tangent, binormal and normal are unit length and at right angles.
void expect_orthonormal_frames(const PrimitiveMesh &m)
{
    for (int i = 0; i < m.count; i++) {
        const float *v = vertex(m, i);
        Vector3 t = at(v, MESH_TANGENT), b = at(v, MESH_BINORMAL), n = at(v, MESH_NORMAL);
        EXPECT_NEAR(vector3_length(t), 1, 1e-5f) << i;
        EXPECT_NEAR(vector3_length(b), 1, 1e-5f) << i;
        EXPECT_NEAR(vector3_length(n), 1, 1e-5f) << i;
        EXPECT_NEAR(vector3_dot(t, n), 0, 1e-5f) << i;
        EXPECT_NEAR(vector3_dot(b, n), 0, 1e-5f) << i;
        EXPECT_NEAR(vector3_dot(t, b), 0, 1e-5f) << i;
    }
}

TEST(Meshes, TangentFramePicksTheLongerCandidate)
{
    struct {
        float n[3];
        Vector3 tangent;
    } cases[] = {
        {{0, 0, 1}, {-1, 0, 0}},   // n x (0,0,1) is zero: n x (0,1,0)
        {{0, 0, -1}, {1, 0, 0}},
        {{1, 0, 0}, {0, 0, 1}},    // both of length 1: the second
        {{0, 1, 0}, {1, 0, 0}},    // n x (0,1,0) is zero
        {{0.6f, 0.8f, 0}, {0.8f, -0.6f, 0}},   // the first is strictly longer
    };
    for (const auto &c : cases) {
        float t[3], b[3];
        mesh_tangent_frame(c.n, t, b);
        Vector3 n = vector3(c.n[0], c.n[1], c.n[2]);
        Vector3 expected = c.tangent;
        EXPECT_NEAR(t[0], expected.x, 1e-6f);
        EXPECT_NEAR(t[1], expected.y, 1e-6f);
        EXPECT_NEAR(t[2], expected.z, 1e-6f);
        Vector3 nb = vector3_cross(n, vector3(t[0], t[1], t[2]));
        EXPECT_NEAR(b[0], nb.x, 1e-6f);
        EXPECT_NEAR(b[1], nb.y, 1e-6f);
        EXPECT_NEAR(b[2], nb.z, 1e-6f);
    }
}

TEST(Meshes, BoxFacesUseTheirAtlasBandsAndSides)
{
    PrimitiveMesh m = {0, nullptr};
    ASSERT_EQ(build_box_mesh(&m), 0);
    ASSERT_EQ(m.count, BOX_MESH_VERTICES);
    struct {
        Vector3 n;
        float s0, s1, t0, t1;
    } faces[6] = {
        {{0, 0, 1}, 0, 0.8f, 0, 0.25f},      {{0, 0, -1}, 0, 0.8f, 0.5f, 0.75f},
        {{0, 1, 0}, 0, 0.8f, 0.25f, 0.5f},   {{0, -1, 0}, 0, 0.8f, 0.75f, 1},
        {{1, 0, 0}, 0.8f, 1, 0, 0.2f},       {{-1, 0, 0}, 0.8f, 1, 0.2f, 0.4f},
    };
    for (int f = 0; f < 6; f++) {
        float smin = 9, smax = -9, tmin = 9, tmax = -9;
        Vector3 corners[4];
        for (int c = 0; c < 4; c++) {
            const float *v = vertex(m, f * 4 + c);
            EXPECT_TRUE(vector3_equal(at(v, MESH_NORMAL), faces[f].n)) << f;
            corners[c] = at(v, MESH_POSITION);
            // On the face's plane of the unit box.
            EXPECT_FLOAT_EQ(vector3_dot(corners[c], faces[f].n), 0.5f) << f;
            smin = fminf(smin, v[MESH_TEXCOORD]);
            smax = fmaxf(smax, v[MESH_TEXCOORD]);
            tmin = fminf(tmin, v[MESH_TEXCOORD + 1]);
            tmax = fmaxf(tmax, v[MESH_TEXCOORD + 1]);
        }
        EXPECT_FLOAT_EQ(smin, faces[f].s0) << f;
        EXPECT_FLOAT_EQ(smax, faces[f].s1) << f;
        EXPECT_FLOAT_EQ(tmin, faces[f].t0) << f;
        EXPECT_FLOAT_EQ(tmax, faces[f].t1) << f;
        // Counter-clockwise seen from outside.
        Vector3 e1 = vector3(corners[1].x - corners[0].x, corners[1].y - corners[0].y,
                             corners[1].z - corners[0].z);
        Vector3 e2 = vector3(corners[2].x - corners[1].x, corners[2].y - corners[1].y,
                             corners[2].z - corners[1].z);
        EXPECT_GT(vector3_dot(vector3_cross(e1, e2), faces[f].n), 0) << f;
    }
    expect_orthonormal_frames(m);

    const float sides[3] = {2, 4, 6};
    set_box_mesh_sides(&m, sides);
    for (int i = 0; i < m.count; i++) {
        const float *p = vertex(m, i) + MESH_POSITION;
        EXPECT_FLOAT_EQ(fabsf(p[0]), 1);
        EXPECT_FLOAT_EQ(fabsf(p[1]), 2);
        EXPECT_FLOAT_EQ(fabsf(p[2]), 3);
    }
    free_primitive_mesh(&m);
    EXPECT_EQ(m.count, 0);
    EXPECT_EQ(m.vertices, nullptr);
}

TEST(Meshes, SphereStripsRunFromTheNorthPole)
{
    PrimitiveMesh m = {0, nullptr};
    ASSERT_EQ(build_sphere_mesh(&m), 0);
    ASSERT_EQ(m.count, SPHERE_MESH_VERTICES);
    // First strip: ring pi/8 then the pole, azimuth 0.
    const float *v0 = vertex(m, 0), *v1 = vertex(m, 1);
    EXPECT_NEAR(v0[MESH_POSITION + 2], cos(M_PI / 8), 1e-6);
    EXPECT_NEAR(v0[MESH_POSITION + 1], sin(M_PI / 8), 1e-6);
    EXPECT_FLOAT_EQ(v0[MESH_TEXCOORD], 1.0f);
    EXPECT_FLOAT_EQ(v0[MESH_TEXCOORD + 1], 7.0f / 8);
    EXPECT_NEAR(v1[MESH_POSITION + 2], 1, 1e-6);
    EXPECT_FLOAT_EQ(v1[MESH_TEXCOORD + 1], 1.0f);
    // Last vertex: the south pole at s = 0.
    const float *last = vertex(m, m.count - 2);
    EXPECT_NEAR(last[MESH_POSITION + 2], -1, 1e-6);
    EXPECT_FLOAT_EQ(last[MESH_TEXCOORD], 0.0f);
    EXPECT_FLOAT_EQ(last[MESH_TEXCOORD + 1], 0.0f);
    for (int i = 0; i < m.count; i++) {
        const float *v = vertex(m, i);
        EXPECT_NEAR(vector3_length(at(v, MESH_POSITION)), 1, 1e-5f);
        EXPECT_TRUE(vector3_equal(at(v, MESH_POSITION), at(v, MESH_NORMAL)));
    }
    // The frame is orthogonal everywhere, the poles included.
    for (int i = 0; i < m.count; i++) {
        const float *v = vertex(m, i);
        Vector3 t = at(v, MESH_TANGENT), n = at(v, MESH_NORMAL), b = at(v, MESH_BINORMAL);
        EXPECT_NEAR(vector3_dot(t, n), 0, 1e-5f) << i;
        EXPECT_NEAR(vector3_dot(b, n), 0, 1e-5f) << i;
        EXPECT_NEAR(vector3_dot(t, b), 0, 1e-5f) << i;
    }
    build_sphere_mesh(&m);   // a rebuild replaces the vertices
    EXPECT_EQ(m.count, SPHERE_MESH_VERTICES);
    free_primitive_mesh(&m);
}

TEST(Meshes, CapsuleJoinsTwoHemispheresWithACylinder)
{
    PrimitiveMesh m = {0, nullptr};
    ASSERT_EQ(build_capsule_mesh(&m), 0);
    ASSERT_EQ(m.count, CAPSULE_MESH_VERTICES);
    expect_orthonormal_frames(m);
    const float radius = 0.5f, length = 3;
    set_capsule_mesh_size(&m, radius, length);
    for (int i = 0; i < m.count; i++) {
        const float *v = vertex(m, i);
        Vector3 p = at(v, MESH_POSITION), n = at(v, MESH_NORMAL);
        // Each vertex lies at radius from its end's centre along its normal.
        float centre = n.z > 1e-6f ? length / 2 : n.z < -1e-6f ? -length / 2 : p.z;
        EXPECT_NEAR(p.x, radius * n.x, 1e-6f);
        EXPECT_NEAR(p.y, radius * n.y, 1e-6f);
        EXPECT_NEAR(p.z - centre, radius * n.z, 1e-6f);
        EXPECT_LE(fabsf(p.z), length / 2 + radius + 1e-5f);
    }
    // The cylinder strip (the fourth) runs between the two end rings.
    for (int i = 3 * CAPSULE_MESH_STRIP; i < 4 * CAPSULE_MESH_STRIP; i++) {
        const float *v = vertex(m, i);
        EXPECT_EQ(v[MESH_NORMAL + 2], 0.0f);
        EXPECT_FLOAT_EQ(fabsf(v[MESH_POSITION + 2]), length / 2);
        EXPECT_FLOAT_EQ(v[MESH_TEXCOORD + 1], i % 2 == 0 ? 0.2f : 0.8f);
    }
    // The poles open and close the mesh.
    EXPECT_FLOAT_EQ(vertex(m, 0)[MESH_POSITION + 2], length / 2 + radius);
    EXPECT_FLOAT_EQ(vertex(m, m.count - 1)[MESH_POSITION + 2], -length / 2 - radius);
    free_primitive_mesh(&m);
}

TEST(Meshes, LightVectorsAreInTheTangentFrame)
{
    PrimitiveMesh m = {0, nullptr};
    ASSERT_EQ(build_box_mesh(&m), 0);
    const Vector3 light = vector3(3, -2, 5);
    compute_mesh_light_vectors(&m, light);
    for (int i = 0; i < m.count; i++) {
        const float *v = vertex(m, i);
        Vector3 p = at(v, MESH_POSITION);
        Vector3 d = vector3(light.x - p.x, light.y - p.y, light.z - p.z);
        Vector3 lv = at(v, MESH_LIGHT);
        EXPECT_FLOAT_EQ(lv.x, vector3_dot(d, at(v, MESH_TANGENT)));
        EXPECT_FLOAT_EQ(lv.y, vector3_dot(d, at(v, MESH_BINORMAL)));
        EXPECT_FLOAT_EQ(lv.z, vector3_dot(d, at(v, MESH_NORMAL)));
        // The frame is orthonormal, so the length is kept.
        EXPECT_NEAR(vector3_length(lv), vector3_length(d), 1e-4f);
    }
    free_primitive_mesh(&m);
}

TEST(Meshes, CubeMapFacesEncodeTheirDirections)
{
    uint8_t face[CUBE_MAP_FACE_BYTES];
    // Centre texels of each face: the face's axis (bytes near 127 / 254 / 0).
    const int axis[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (int f = 0; f < 6; f++) {
        fill_cube_map_face(f, face);
        for (int r = 15; r <= 16; r++)
            for (int c = 15; c <= 16; c++) {
                const uint8_t *t = face + (r * CUBE_MAP_SIZE + c) * 3;
                for (int k = 0; k < 3; k++)
                    EXPECT_NEAR(t[k], 127.5 + 127.5 * axis[f][k], 5) << f << " " << k;
            }
    }
    fill_cube_map_face(4, face);
    // +Z: texel (row 0, column 0) points towards -x and +y.
    const uint8_t *corner = face;
    EXPECT_LT(corner[0], 127);
    EXPECT_GT(corner[1], 127);
    // Every texel decodes to a unit vector.
    for (int f = 0; f < 6; f++) {
        fill_cube_map_face(f, face);
        for (int i = 0; i < CUBE_MAP_SIZE * CUBE_MAP_SIZE; i++) {
            double x = face[i * 3] / 127.5 - 1, y = face[i * 3 + 1] / 127.5 - 1,
                   z = face[i * 3 + 2] / 127.5 - 1;
            EXPECT_NEAR(sqrt(x * x + y * y + z * z), 1, 0.02) << f << " " << i;
        }
    }
}

} // namespace

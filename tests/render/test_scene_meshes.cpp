// The shader renderer's meshes and shadow volumes, and the fluid-blood
// vertices, built on the processor.
#include "render/shader_setup.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "render/fluid_blood.h"

namespace {

std::vector<MeshVertex> triangles(int (*build)(int, MeshVertex *), int level, int *count)
{
    std::vector<MeshVertex> v(3 * MESH_TRIANGLE_MAX);
    *count = build(level, v.data());
    return v;
}

float length3(const float *p) { return sqrtf(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]); }

// Counter-clockwise seen from outside: the face normal points away from
// the given inside point.
bool outward(const MeshVertex *t, const float inside[3])
{
    const float *a = t[0].position, *b = t[1].position, *c = t[2].position;
    float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    float e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                  e1[0] * e2[1] - e1[1] * e2[0]};
    float m[3];
    for (int k = 0; k < 3; k++)
        m[k] = (a[k] + b[k] + c[k]) / 3 - inside[k];
    return n[0] * m[0] + n[1] * m[1] + n[2] * m[2] > 0;
}

int closed_volume(const MeshVertex *t, int count)
{
    std::vector<float> vertices(3 * count * 6);
    std::vector<uint16_t> indices(12 * count);
    int index_count = 0;
    int r = build_shadow_volume(t, count, vertices.data(), indices.data(), &index_count);
    if (r == 0) {
        EXPECT_EQ(index_count, 12 * count);
        // The triangles first: a quarter of the indices draws the object itself.
        for (int i = 0; i < 3 * count; i++)
            EXPECT_EQ(indices[i], i);
        for (int i = 0; i < index_count; i++)
            EXPECT_LT(indices[i], 3 * count);
    }
    return r;
}

TEST(SceneMeshes, SphereLevelsAreUnitAndOutward)
{
    const float centre[3] = {0, 0, 0};
    for (int level = 1; level <= MESH_LEVELS; level++) {
        int n;
        auto v = triangles(build_sphere_triangles, level, &n);
        EXPECT_EQ(n, 8 << (2 * (level - 1))) << level;
        for (int i = 0; i < 3 * n; i++)
            EXPECT_NEAR(length3(v[i].position), 1.0f, 1e-5);
        for (int t = 0; t < n; t++)
            ASSERT_TRUE(outward(&v[3 * t], centre)) << "level " << level << " triangle " << t;
        EXPECT_EQ(closed_volume(v.data(), n), 0) << level;
    }
}

TEST(SceneMeshes, CapsuleCapsSitAtPlusMinusOneAndCloseTheCylinder)
{
    for (int level = 1; level <= MESH_LEVELS; level++) {
        int n;
        auto v = triangles(build_capsule_triangles, level, &n);
        int segments = 4 << (level - 1);
        EXPECT_EQ(n, (8 << (2 * (level - 1))) + 2 * segments);
        for (int i = 0; i < 3 * n; i++) {
            const float *p = v[i].position;
            EXPECT_LE(fabsf(p[2]), 2.0f + 1e-5f);
            float centre_z = p[2] > 1 ? 1 : p[2] < -1 ? -1 : p[2];
            float d[3] = {p[0], p[1], p[2] - centre_z};
            EXPECT_NEAR(length3(d), 1.0f, 1e-5);
        }
        for (int t = 0; t < n; t++) {
            const float *a = v[3 * t].position, *b = v[3 * t + 1].position,
                        *c = v[3 * t + 2].position;
            float z = (a[2] + b[2] + c[2]) / 3;
            const float inside[3] = {0, 0, z > 1 ? 1 : z < -1 ? -1 : z};
            ASSERT_TRUE(outward(&v[3 * t], inside)) << level << " " << t;
        }
        EXPECT_EQ(closed_volume(v.data(), n), 0) << level;
    }
}

TEST(SceneMeshes, GeneralShapeIsAClosedDome)
{
    const float inside[3] = {0, 0, 0.3f};
    for (int level = 1; level <= MESH_LEVELS; level++) {
        int n;
        auto v = triangles(build_shape_triangles, level, &n);
        EXPECT_EQ(n, (4 << (2 * (level - 1))) + (4 << (level - 1)));
        for (int i = 0; i < 3 * n; i++)
            EXPECT_GE(v[i].position[2], -1e-6f);
        for (int t = 0; t < n; t++)
            ASSERT_TRUE(outward(&v[3 * t], inside)) << level << " " << t;
        EXPECT_EQ(closed_volume(v.data(), n), 0);
    }
}

TEST(SceneMeshes, BoxAndSkyDome)
{
    std::vector<MeshVertex> v(3 * MESH_TRIANGLE_MAX);
    int n = build_box_triangles(v.data());
    EXPECT_EQ(n, 12);
    const float centre[3] = {0, 0, 0};
    for (int t = 0; t < n; t++) {
        EXPECT_TRUE(outward(&v[3 * t], centre)) << t;
        for (int k = 0; k < 3; k++) {
            for (int c = 0; c < 3; c++)
                EXPECT_EQ(fabsf(v[3 * t + k].position[c]), 1.0f);
            EXPECT_GE(v[3 * t + k].uv[0], 0.0f);
            EXPECT_LE(v[3 * t + k].uv[1], 1.0f);
        }
    }
    EXPECT_EQ(closed_volume(v.data(), n), 0);
    n = build_sky_dome_triangles(v.data());
    EXPECT_EQ(n, SKY_DOME_TRIANGLES);
    for (int i = 0; i < 3 * n; i++) {
        // Horizon at the texture's rim, zenith at its centre.
        float du = v[i].uv[0] - 0.5f, dv = v[i].uv[1] - 0.5f;
        float r = 2 * sqrtf(du * du + dv * dv);
        float m = sqrtf(v[i].position[0] * v[i].position[0] + v[i].position[1] * v[i].position[1]);
        EXPECT_NEAR(r, m * (1 - v[i].position[2]), 1e-5);
    }
}

TEST(SceneMeshes, OpenMeshIsRefused)
{
    MeshVertex t[3];
    memset(t, 0, sizeof t);
    t[1].position[0] = 1;
    t[2].position[1] = 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(closed_volume(t, 1), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Bug: create elementbuffer\n");
}

// ---- fluid blood ---------------------------------------------------------------------

TEST(FluidBlood, LoneParticleUsesItsOwnSize)
{
    BloodParticle p;
    memset(&p, 0, sizeof p);
    p.position[0] = 1;
    p.size = 0.05f;
    p.direction[0] = 30;     // longer than 15
    p.colour = 0x11223344u;
    FluidVertex v[6];
    fill_fluid_particle(&p, v);
    const float corners[6][2] = {{-1, -1}, {1, -1}, {1, 1}, {1, 1}, {-1, 1}, {-1, -1}};
    for (int k = 0; k < 6; k++) {
        EXPECT_FLOAT_EQ(v[k].w[0], 2 * 0.05f * corners[k][0]);
        EXPECT_FLOAT_EQ(v[k].w[1], 2 * 0.05f * corners[k][1]);
        EXPECT_FLOAT_EQ(v[k].w[3], 0.05f);
        EXPECT_FLOAT_EQ(v[k].w[4], 1.0f);
        EXPECT_FLOAT_EQ(v[k].w[7], 15.0f);
        EXPECT_FLOAT_EQ(v[k].w[10], 0.05f);
        EXPECT_FLOAT_EQ(v[k].w[14], 0.01f);
        EXPECT_FLOAT_EQ(v[k].w[21], 0.01f);
        EXPECT_FLOAT_EQ(v[k].w[28], 0.01f);
        EXPECT_FLOAT_EQ(v[k].w[35], 0.01f);
        EXPECT_FLOAT_EQ(v[k].w[22], 0.01f);
        EXPECT_EQ(v[k].colour, 0x11223344u);
    }
}

TEST(FluidBlood, NeighboursWidenTheQuadAndStillDirectionIsTiny)
{
    BloodParticle a, b;
    memset(&a, 0, sizeof a);
    memset(&b, 0, sizeof b);
    a.size = 0.02f;
    b.size = 0.08f;
    b.position[2] = 2;
    b.direction[1] = 3;
    a.next = &b;
    b.previous = &a;
    FluidVertex v[6];
    fill_fluid_particle(&a, v);
    EXPECT_FLOAT_EQ(v[0].w[3], 0.08f);
    EXPECT_FLOAT_EQ(v[0].w[0], -0.16f);
    EXPECT_FLOAT_EQ(v[0].w[7], 0.01f);     // still: (0.01, 0, 0)
    EXPECT_FLOAT_EQ(v[0].w[20], 2.0f);     // next position z
    EXPECT_FLOAT_EQ(v[0].w[21], 0.08f);
    EXPECT_FLOAT_EQ(v[0].w[23], 3.0f);     // next direction y
}

}   // namespace

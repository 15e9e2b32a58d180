// The scene draw queue, occluders and ground markers, the occluder choice
// of ambient occlusion and the renderer's random generator, without GL.
#include "render/draw_queue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "render/ambient_occlusion.h"
#include "render/gl_draw.h"
#include "render/scene.h"

namespace {

const float I3[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
const float ZERO[3] = {0, 0, 0};

struct QueueTest : ::testing::Test {
    void SetUp() override
    {
        reset_draw_queue();
        ground_marker_count = 0;
        set_draw_color(1, 0.5f, 0.25f, 1);
    }
};

TEST_F(QueueTest, FullQueueDropsTheObjectWithOneMessage)
{
    const float p[3] = {0, 0, 1};
    for (int i = 0; i < DRAW_QUEUE_SIZE; i++)
        queue_sphere(I3, p, ZERO, ZERO, 0.1f, 1, nullptr, nullptr);
    EXPECT_EQ(draw_queue.count, DRAW_QUEUE_SIZE);
    testing::internal::CaptureStderr();
    queue_box(I3, p, p, ZERO, ZERO, 1, nullptr, nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Error: Maximum number of objects drawn already\n");
    EXPECT_EQ(draw_queue.count, DRAW_QUEUE_SIZE);
}

TEST_F(QueueTest, TranslucentUnlessAlphaIsExactlyOne)
{
    const struct {
        float alpha;
        int translucent;
    } cases[] = {{1.0f, 0}, {0.999f, 1}, {0.0f, 1}, {NAN, 1}};
    for (const auto &c : cases) {
        reset_draw_queue();
        set_draw_color(1, 1, 1, c.alpha);
        queue_sphere(I3, ZERO, ZERO, ZERO, 1, 1, nullptr, nullptr);
        ASSERT_EQ(draw_queue.count, 1);
        EXPECT_EQ(draw_queue.entries[0].translucent, c.translucent) << c.alpha;
    }
}

TEST_F(QueueTest, EntryKeepsColourModeVelocitiesAndPosition)
{
    const float p[3] = {1, 2, 3}, av[3] = {4, 5, 6}, lv[3] = {7, 8, 9};
    queue_sphere(I3, p, av, lv, 0.5f, 8, nullptr, nullptr);
    const DrawQueueEntry &e = draw_queue.entries[0];
    EXPECT_EQ(e.mode, 8);
    EXPECT_FLOAT_EQ(e.colour[1], 0.5f);
    for (int k = 0; k < 3; k++) {
        EXPECT_EQ(e.position[k], p[k]);
        EXPECT_EQ(e.angular_velocity[k], av[k]);
        EXPECT_EQ(e.linear_velocity[k], lv[k]);
    }
    EXPECT_FLOAT_EQ(e.shape[0], 0.5f);
    EXPECT_FLOAT_EQ(e.shape[4], 0.5f);
    EXPECT_FLOAT_EQ(e.stretch, 0.0f);
}

// The box mesh spans -1..1, so each axis takes half the edge length.
TEST_F(QueueTest, BoxIsScaledByHalfItsSides)
{
    // A quarter turn about z: local x goes to world y.
    const float r[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
    const float sides[3] = {2, 4, 6};
    queue_box(r, ZERO, sides, ZERO, ZERO, 1, nullptr, nullptr);
    const float *s = draw_queue.entries[0].shape;
    const float expect[9] = {0, -2, 0, 1, 0, 0, 0, 0, 3};
    for (int k = 0; k < 9; k++)
        EXPECT_FLOAT_EQ(s[k], expect[k]) << k;
}

TEST_F(QueueTest, CapsuleStretchPutsCapsAtHalfTheLength)
{
    queue_capsule(I3, ZERO, 3.0f, 0.5f, ZERO, ZERO, 1, nullptr, nullptr);
    const DrawQueueEntry &e = draw_queue.entries[0];
    EXPECT_FLOAT_EQ(e.stretch, 2.0f);
    // Cap centre of the unit mesh (z = 1) moved by the stretch, then scaled.
    EXPECT_FLOAT_EQ((1 + e.stretch) * e.shape[8], 1.5f);
}

TEST_F(QueueTest, OccludersPerShape)
{
    const float p[3] = {1, 1, 1}, sides[3] = {1, 4, 9};
    queue_box(I3, p, sides, ZERO, ZERO, 4, nullptr, nullptr);
    ASSERT_EQ(occluder_count, 1);
    EXPECT_NEAR(occluders[0].radius, 4.0f, 1e-6);
    EXPECT_EQ(draw_queue.count, 0);

    queue_capsule(I3, p, 2.0f, 0.3f, ZERO, ZERO, 4, nullptr, nullptr);
    ASSERT_EQ(occluder_count, 3);
    EXPECT_NEAR(occluders[1].position[2], 1 + 0.8f, 1e-3);
    EXPECT_NEAR(occluders[2].position[2], 1 - 0.4f, 1e-3);
    EXPECT_FLOAT_EQ(occluders[1].radius, 0.3f);

    queue_shape(I3, I3, p, ZERO, ZERO, 1.0f, 4 | 1, nullptr, nullptr);
    ASSERT_EQ(occluder_count, 4);
    EXPECT_FLOAT_EQ(occluders[3].radius, 0.7f);
    EXPECT_EQ(draw_queue.count, 0) << "the occluder bit wins";
}

TEST_F(QueueTest, JitterDiffersInARowAndRepeatsEveryFrame)
{
    queue_sphere(I3, ZERO, ZERO, ZERO, 1, 4, nullptr, nullptr);
    queue_sphere(I3, ZERO, ZERO, ZERO, 1, 4, nullptr, nullptr);
    ASSERT_EQ(occluder_count, 2);
    OccluderEntry first = occluders[0], second = occluders[1];
    EXPECT_NE(first.position[0], second.position[0]);
    EXPECT_LT(fabsf(first.position[0]), 1.01e-4f);
    EXPECT_FLOAT_EQ(first.position[0], 0.0001f * sinf(2.0f));
    reset_draw_queue();
    queue_sphere(I3, ZERO, ZERO, ZERO, 1, 4, nullptr, nullptr);
    EXPECT_EQ(occluders[0].position[0], first.position[0]);
    EXPECT_EQ(occluders[0].position[2], first.position[2]);
}

TEST_F(QueueTest, OccluderArrayIsBounded)
{
    for (int i = 0; i < OCCLUDER_MAX + 40; i++)
        queue_capsule(I3, ZERO, 1, 1, ZERO, ZERO, 4, nullptr, nullptr);
    EXPECT_EQ(occluder_count, OCCLUDER_MAX);
}

TEST_F(QueueTest, FourGroundMarkersAtMostAndOtherModesIgnored)
{
    for (int i = 0; i < 6; i++) {
        set_draw_color(0, 0, (float)i, 1);
        queue_sphere(I3, ZERO, ZERO, ZERO, 0.2f * (i + 1), 16, nullptr, nullptr);
    }
    EXPECT_EQ(ground_marker_count, GROUND_MARKER_MAX);
    EXPECT_FLOAT_EQ(ground_markers[3].radius, 0.8f);
    EXPECT_FLOAT_EQ(ground_markers[3].colour[2], 3.0f);
    // Markers are spheres only; outlines and billboards leave every list alone.
    queue_box(I3, ZERO, I3, ZERO, ZERO, 16, nullptr, nullptr);
    queue_sphere(I3, ZERO, ZERO, ZERO, 1, 2, nullptr, nullptr);
    queue_sphere(I3, ZERO, ZERO, ZERO, 1, 32, nullptr, nullptr);
    queue_capsule(I3, ZERO, 1, 1, ZERO, ZERO, 64, nullptr, nullptr);
    EXPECT_EQ(draw_queue.count, 0);
    EXPECT_EQ(occluder_count, 0);
    queue_shape(I3, I3, ZERO, ZERO, ZERO, 1, 128, nullptr, nullptr);
    EXPECT_EQ(draw_queue.count, 1);
    EXPECT_EQ(draw_queue.entries[0].mode, 128);
}

TEST_F(QueueTest, SinkTurnsHalfSpheresOntoTheirKeptSide)
{
    const struct {
        float sx, sy, sz;
        float axis[3];
    } cases[] = {
        {0, 1, 0, {0, 1, 0}}, {0, -1, 0, {0, -1, 0}}, {0, 0, 1, {0, 0, 1}},
        {0, 0, -1, {0, 0, -1}}, {1, 0, 0, {1, 0, 0}}, {-1, 0, 0, {-1, 0, 0}},
        {0, 1, 1, {0, 1, 0}},   // y first
    };
    for (const auto &c : cases) {
        reset_draw_queue();
        SceneShape s;
        memset(&s, 0, sizeof s);
        s.shape = SCENE_HALF_SPHERE;
        s.rotation[0] = s.rotation[5] = s.rotation[10] = 1;
        s.size[0] = 2;
        s.size[1] = c.sx;
        s.size[2] = c.sy;
        s.size[3] = c.sz;
        s.kind = 64;
        queue_scene_shape_sink(&s);
        ASSERT_EQ(draw_queue.count, 1);
        const float *m = draw_queue.entries[0].shape;
        // The dome's top (local z) is the shape matrix's third column.
        for (int k = 0; k < 3; k++)
            EXPECT_FLOAT_EQ(m[k * 3 + 2], 2 * c.axis[k]) << c.sx << c.sy << c.sz;
        // Still a proper rotation (no mirror): det = +8.
        float det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                    m[2] * (m[3] * m[7] - m[4] * m[6]);
        EXPECT_FLOAT_EQ(det, 8.0f);
    }
}

TEST_F(QueueTest, SinkRoutesShapesWithTheirSizes)
{
    SceneShape s;
    memset(&s, 0, sizeof s);
    s.rotation[0] = s.rotation[5] = s.rotation[10] = 1;
    s.shape = SCENE_CAPSULE;
    s.size[0] = 1;
    s.size[1] = 0.25f;
    s.kind = 1;
    queue_scene_shape_sink(&s);
    s.shape = SCENE_BOX;
    s.size[0] = s.size[1] = s.size[2] = 0.5f;
    queue_scene_shape_sink(&s);
    ASSERT_EQ(draw_queue.count, 2);
    EXPECT_FLOAT_EQ(draw_queue.entries[0].stretch, 1.0f);
    EXPECT_FLOAT_EQ(draw_queue.entries[1].shape[0], 0.25f);
}

TEST_F(QueueTest, TransformsMirrorAndTexgen)
{
    const float r[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1}, p[3] = {1, 2, 3};
    const float texgen[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    queue_shape(r, texgen, p, ZERO, ZERO, 2, 8 | 0x100, nullptr, nullptr);
    const DrawQueueEntry *e = &draw_queue.entries[0];
    float m[16];
    entry_transform(e, m);
    // Column 0 of GL is the shape's column 0: (0, 2, 0).
    EXPECT_FLOAT_EQ(m[1], 2.0f);
    EXPECT_FLOAT_EQ(m[4], -2.0f);
    EXPECT_FLOAT_EQ(m[14], 3.0f);
    EXPECT_FLOAT_EQ(m[15], 1.0f);
    entry_mirror_transform(e, m);
    EXPECT_FLOAT_EQ(m[14], -3.0f);
    EXPECT_FLOAT_EQ(m[10], -2.0f);
    float rot[16];
    entry_rotmat(e, rot);
    // M = I: the upper block is S itself, row order.
    EXPECT_FLOAT_EQ(rot[1], -2.0f);
    EXPECT_FLOAT_EQ(rot[4], 2.0f);
    EXPECT_FLOAT_EQ(rot[15], 1.0f);
    EXPECT_FLOAT_EQ(rot[3], 0.0f);
}

TEST_F(QueueTest, MovedEntryFollowsItsVelocities)
{
    const float lv[3] = {3, 0, 4}, av[3] = {0, 0, 2};
    queue_sphere(I3, ZERO, av, lv, 1, 1, nullptr, nullptr);
    DrawQueueEntry moved;
    entry_moved(&draw_queue.entries[0], 0.5f, &moved);
    EXPECT_FLOAT_EQ(moved.position[0], 1.5f);
    EXPECT_FLOAT_EQ(moved.position[2], 2.0f);
    EXPECT_FLOAT_EQ(moved.colour[3], 0.5f);
    // Turned by -t w: angle -1 about z.
    EXPECT_NEAR(moved.shape[0], cosf(1.0f), 1e-6);
    EXPECT_NEAR(moved.shape[3], -sinf(1.0f), 1e-6);
}

// ---- ambient occlusion -------------------------------------------------------------------

OccluderEntry occ(float x, float y, float z, float r)
{
    OccluderEntry o = {{x, y, z}, r};
    return o;
}

TEST(Occlusion, ChoosesTheTwelveBestSkippingItsOwn)
{
    OccluderEntry list[20];
    list[0] = occ(0, 0, 0, 1);   // the object's own
    for (int i = 1; i < 20; i++)
        list[i] = occ((float)i, 0, 0, 0.5f);
    const float centre[3] = {0, 0, 0}, light[3] = {0, 0, 2};
    float out[12][4];
    int n = choose_object_occluders(list, 20, centre, light, out);
    EXPECT_EQ(n, 12);
    EXPECT_FLOAT_EQ(out[0][0], 1.0f);
    EXPECT_FLOAT_EQ(out[11][0], 12.0f);
    EXPECT_FLOAT_EQ(out[0][3], 0.5f);
}

TEST(Occlusion, LightSideAndRadiusWeighTheScore)
{
    // Same distance: along the light F is 1.1, across 0.6, against it 0.1;
    // the score grows with the radius squared: 3.3, 100 and 400.
    OccluderEntry list[3] = {occ(0, 0, -2, 1), occ(0, 0, 2, 1), occ(0, 2, 0, 3)};
    const float centre[3] = {0, 0, 0}, light[3] = {0, 0, 1};
    float out[12][4];
    int n = choose_object_occluders(list, 3, centre, light, out);
    ASSERT_EQ(n, 3);
    EXPECT_FLOAT_EQ(out[0][2], 2.0f);
    EXPECT_FLOAT_EQ(out[1][3], 3.0f);
    EXPECT_FLOAT_EQ(out[2][2], -2.0f);
    for (int k = 3; k < 12; k++)
        for (int c = 0; c < 4; c++)
            EXPECT_EQ(out[k][c], 0.0f);
}

TEST(Occlusion, ZeroLightAndNoOccluders)
{
    OccluderEntry list[1] = {occ(1, 0, 0, 1)};
    const float centre[3] = {0, 0, 0}, light[3] = {0, 0, 0};
    float out[12][4];
    EXPECT_EQ(choose_object_occluders(list, 1, centre, light, out), 1);
    EXPECT_EQ(choose_object_occluders(list, 0, centre, light, out), 0);
    EXPECT_EQ(out[0][3], 0.0f);
}

// The last floor group must not keep the previous group's occluders.
TEST(Occlusion, LastFloorGroupZeroesItsUnusedSlots)
{
    OccluderEntry list[14];
    for (int i = 0; i < 14; i++)
        list[i] = occ((float)i + 1, 0, 0, 1);
    float out[12][4];
    EXPECT_EQ(floor_occluder_group(list, 14, 0, out), 12);
    EXPECT_FLOAT_EQ(out[11][0], 12.0f);
    EXPECT_EQ(floor_occluder_group(list, 14, 12, out), 2);
    EXPECT_FLOAT_EQ(out[1][0], 14.0f);
    for (int k = 2; k < 12; k++)
        EXPECT_EQ(out[k][3], 0.0f) << k;
    EXPECT_EQ(floor_occluder_group(list, 14, 14, out), 0);
}

TEST(Ranmar, PublishedCheckValues)
{
    // The generator's published self-test: seeds 1802 and 9373, 20000 draws,
    // then six values times 2^24.
    Ranmar r;
    ranmar_seed(&r, 1802, 9373);
    for (int i = 0; i < 20000; i++)
        ranmar_next(&r);
    const double expect[6] = {6533892.0, 14220222.0, 7275067.0, 6172232.0, 8354498.0, 10633180.0};
    for (double e : expect)
        EXPECT_EQ((double)ranmar_next(&r) * 4096.0 * 4096.0, e);
}

TEST(Ranmar, SameSeedSameSequenceAndBadSeedsStillRun)
{
    Ranmar a, b, c, d;
    ranmar_seed(&a, 17985, 21338);
    ranmar_seed(&b, 17985, 21338);
    ranmar_seed(&c, -1, 5);
    ranmar_seed(&d, 40000, 99999);
    for (int i = 0; i < 1000; i++) {
        float x = ranmar_next(&a);
        EXPECT_EQ(x, ranmar_next(&b));
        EXPECT_GE(x, 0.0f);
        EXPECT_LT(x, 1.0f);
        float y = ranmar_next(&c);
        EXPECT_EQ(y, ranmar_next(&d)) << "out-of-range seeds share one start";
        EXPECT_GE(y, 0.0f);
        EXPECT_LT(y, 1.0f);
    }
}

}   // namespace

namespace {

TEST(SquareOutlines, QueuedOnlyOnTheShaderPathAndBounded)
{
    reset_draw_queue();
    set_draw_color(0.1f, 0.2f, 0.3f, 1);
    shaders_active = 0;
    EXPECT_EQ(queue_square_outline(1, -0.1f, 0.01f, 1, 2.0f), 0);
    EXPECT_EQ(square_outline_count, 0);
    shaders_active = 1;
    for (int i = 0; i < SQUARE_OUTLINE_MAX + 2; i++)
        EXPECT_EQ(queue_square_outline(1, -0.1f, 0.01f, 1, 2.0f), 1);
    EXPECT_EQ(queue_square_outline(NAN, 0, 0, 1, 2.0f), 1);
    EXPECT_EQ(square_outline_count, SQUARE_OUTLINE_MAX);
    EXPECT_FLOAT_EQ(square_outlines[0].half_size, 2.0f);
    EXPECT_FLOAT_EQ(square_outlines[0].colour[2], 0.3f);
    shaders_active = 0;
    reset_draw_queue();
    EXPECT_EQ(square_outline_count, 0);
}

}   // namespace

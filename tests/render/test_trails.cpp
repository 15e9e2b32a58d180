// Trail ribbons: quads between a limb's positions, ageing, the pool, names.
#include "render/trails.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/outward.h"
#include "core/records.h"
#include "render/render_util.h"
#include "render/texture.h"

namespace {

class Trails : public ::testing::Test {
protected:
    TrailRibbon *r = nullptr;
    void SetUp() override
    {
        ASSERT_EQ(create_trails(), 0);
        r = trail_ribbon(0, 0);
        ASSERT_NE(r, nullptr);
        r->enabled = 1;
    }
    void TearDown() override { destroy_trails(); }
    void add(float x)
    {
        const float a[3] = {x, 0, 1}, b[3] = {x, 0, 0};
        trail_add_point(r, a, b, 7);
    }
};

} // namespace

TEST_F(Trails, TheFirstMoveOnlySetsTheLastPointsAndStillLimbsAddNothing)
{
    add(0);
    trail_update_ribbon(r);
    EXPECT_EQ(r->quad_count, 0);
    EXPECT_EQ(r->has_last, 1);
    add(0.001f);   // within 0.0001 squared: no quad
    trail_update_ribbon(r);
    EXPECT_EQ(r->quad_count, 0);
    add(1);
    trail_update_ribbon(r);
    ASSERT_EQ(r->quad_count, 1);
    // The quad joins the new points (A, B) to the last ones (last B, last A).
    const TrailVertex *q = r->quads;
    EXPECT_FLOAT_EQ(q[0].position[0], 1);
    EXPECT_FLOAT_EQ(q[0].position[2], 1);
    EXPECT_FLOAT_EQ(q[1].position[2], 0);
    EXPECT_FLOAT_EQ(q[2].position[0], 0.001f);
    EXPECT_FLOAT_EQ(q[2].position[2], 0);
    EXPECT_FLOAT_EQ(q[3].position[2], 1);
    EXPECT_FLOAT_EQ(q[0].uv[1], 1);
    EXPECT_FLOAT_EQ(q[2].uv[0], 1);
    // Record 0 of the pool is taken first.
    EXPECT_EQ(r->points[0].life, TRAIL_LENGTH - 1);
    EXPECT_EQ(r->points[0].value, 7);
}

TEST_F(Trails, AQuadFadesByOneFiftiethAndIsGoneAfterFiftyUpdates)
{
    add(0);
    add(1);
    for (int i = 1; i < TRAIL_LENGTH; i++) {
        trail_update_ribbon(r);
        ASSERT_EQ(r->quad_count, 1) << i;
        EXPECT_NEAR(r->quads[0].colour[3], 1.0f - 0.02f * i, 1e-4f);
    }
    trail_update_ribbon(r);
    EXPECT_EQ(r->quad_count, 0);
    EXPECT_EQ(r->free_top, TRAIL_POOL);
}

TEST_F(Trails, AFullPoolDropsPointsUntilSomeExpire)
{
    for (int i = 0; i <= TRAIL_POOL + 10; i++)
        add((float)i);
    EXPECT_EQ(r->free_top, 0);
    trail_update_ribbon(r);
    EXPECT_EQ(r->quad_count, TRAIL_POOL);
    for (int i = 0; i < TRAIL_LENGTH; i++)
        trail_update_ribbon(r);
    EXPECT_EQ(r->free_top, TRAIL_POOL);
    reset_trails();
    EXPECT_EQ(r->has_last, 0);
    EXPECT_EQ(r->quad_count, 0);
}

TEST_F(Trails, DisabledRibbonsTakeNothingAndPointColoursAreReplacedByTheNextUpdate)
{
    r->enabled = 0;
    add(0);
    add(1);
    EXPECT_EQ(r->has_last, 0);
    r->enabled = 1;
    add(0);
    add(1);
    add(2);
    trail_update_ribbon(r);
    const float rgb[3] = {0.1f, 0.2f, 0.3f};
    trail_set_point_color(r, rgb);
    EXPECT_FLOAT_EQ(r->quads[5].colour[1], 0.2f);
    trail_update_ribbon(r);
    EXPECT_FLOAT_EQ(r->quads[5].colour[1], 1.0f);
    const float a[3] = {NAN, 0, 0}, b[3] = {0, 0, 0};
    int top = r->free_top;
    trail_add_point(r, a, b, 1);
    EXPECT_EQ(r->free_top, top);
}

TEST_F(Trails, TextureNamesMustBePlainAndColoursComeFromThePalette)
{
    EXPECT_EQ(is_plain_name("kasu", 64), 1);
    for (const char *bad : {"", "..", "../etc", "a/b", "a\\b", ".x", "x\ty"})
        EXPECT_EQ(is_plain_name(bad, 64), 0) << bad;
    EXPECT_EQ(load_trail_texture(0, 0, "../../etc", "custom"), 1);
    EXPECT_EQ(load_trail_texture(0, 9, "kasu", "custom"), 1);
    EXPECT_EQ(load_trail_texture(7, 0, "kasu", "custom"), 1);

    core_outward.palette_colour = [](int index, float *rgb) {
        rgb[0] = index / 100.0f;
        rgb[1] = 0.5f;
        rgb[2] = 0.25f;
        return 0;
    };
    const int colours[4] = {22, 0, 0, 0};
    load_custom_trail_textures(1, "nobody-with-this-name", colours);
    TrailRibbon *arm = trail_ribbon(1, 0);
    EXPECT_EQ(arm->enabled, 1);
    EXPECT_FLOAT_EQ(arm->colour1[0], 0.22f);
    EXPECT_FLOAT_EQ(arm->colour1[3], 0.6f);
    EXPECT_FLOAT_EQ(arm->colour2[3], 0.15f);
    EXPECT_EQ(trail_ribbon(1, 1)->enabled, 0);   // no colour and no texture
    core_outward.palette_colour = nullptr;
}

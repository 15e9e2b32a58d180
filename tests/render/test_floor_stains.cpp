// Floor stains, the data side: blots queued for the stain map and the
// patches they take.
#include "render/floor_stains.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/outward.h"
#include "render/render_util.h"

namespace {

int stains_option = 1;
int stain_options(const char *name) { return std::string(name) == "bloodstains" ? stains_option : 0; }

struct StainTest : ::testing::Test {
    void SetUp() override
    {
        clear_blood_stains();
        init_floor_patches();
        stain_blot_vertex_count = 0;
        stains_option = 1;
        core_outward = CoreOutward();
        core_outward.get_option = stain_options;
    }
    void TearDown() override
    {
        clear_blood_stains();
        stain_blot_vertex_count = 0;
        core_outward = CoreOutward();
    }
};

// Width of the first blot in the map's clip coordinates (its first triangle).
float first_blot_width() { return stain_blot_vertices[1].position[0] - stain_blot_vertices[0].position[0]; }

const float RED[3] = {0.6f, 0, 0};
// The middle of floor cell (0, 0).
const float MIDDLE[3] = {0.12f, 0.12f, 0};

TEST_F(StainTest, StillDropMakesAMainBlotOfOnePointTwoTimesItsSize)
{
    const float still[3] = {0, 0, 0};
    add_floor_stain(MIDDLE, still, 0.05f, RED);
    ASSERT_GE(stain_blot_vertex_count, 9 * 6) << "a main blot and eight splashes";
    EXPECT_EQ(stain_blot_vertex_count % 6, 0);
    // Radius 1.3 x 1.2 x size, inside one cell: offsets reach +-1 and the
    // width in the map is 2 R / 0.0075 texels of 2048, doubled in clip space.
    float r = 1.3f * 1.2f * 0.05f;
    EXPECT_NEAR(first_blot_width(), 2 * (2 * r / FLOOR_CELL_STEP / STAIN_MAP_SIZE), 1e-5);
    EXPECT_NEAR(stain_blot_vertices[0].offset[0], -1.0f, 1e-4);
    EXPECT_NEAR(stain_blot_vertices[2].offset[1], 1.0f, 1e-4);
    EXPECT_FLOAT_EQ(stain_blot_vertices[0].offset[2], 0.03f);
    EXPECT_FLOAT_EQ(stain_blot_vertices[0].colour[0], 0.6f);
    EXPECT_FLOAT_EQ(stain_blot_vertices[0].position[2], 0.5f);
    EXPECT_TRUE(stain_quads_stale);
    int fresh = 0;
    EXPECT_GE(stain_patch_for(pack_rgb_u32(RED), 0, 0, &fresh), 1);
    EXPECT_EQ(fresh, 0) << "the cell already had its patch";
}

TEST_F(StainTest, VeryFastDropIsCappedAtLengthTwo)
{
    const float fast[3] = {300, 0, -400}, capped[3] = {10, 0, 0};
    add_floor_stain(MIDDLE, fast, 0.02f, RED);
    float fast_width = first_blot_width();
    stain_blot_vertex_count = 0;
    add_floor_stain(MIDDLE, capped, 0.02f, RED);
    EXPECT_FLOAT_EQ(first_blot_width(), fast_width);
    // m = (0.5 x 2 + 1) x size.
    float r = 1.3f * 1.2f * 2 * 0.02f;
    EXPECT_NEAR(fast_width, 2 * (2 * r / FLOOR_CELL_STEP / STAIN_MAP_SIZE), 1e-5);
}

TEST_F(StainTest, BlotsAreClippedToTheirCellsSlot)
{
    // A blot over a cell corner touches four cells: four clipped squares.
    const float corner[3] = {0.24f, 0.24f, 0}, dir[3] = {0, 0, 0};
    floor_patch_for_cell(corner, dir, 0.05f, RED);
    EXPECT_EQ(stain_blot_vertex_count, 4 * 6);
    for (int i = 0; i < stain_blot_vertex_count; i++) {
        EXPECT_GE(stain_blot_vertices[i].position[0], -1.0f);
        EXPECT_LE(stain_blot_vertices[i].position[0], 1.0f);
    }
}

TEST_F(StainTest, BadBloodIsIgnored)
{
    const float dir[3] = {0, 0, 0};
    const float far_away[3] = {5000, 0, 0}, nan_point[3] = {NAN, 0, 0};
    floor_patch_for_cell(far_away, dir, 0.05f, RED);
    floor_patch_for_cell(nan_point, dir, 0.05f, RED);
    floor_patch_for_cell(MIDDLE, dir, INFINITY, RED);
    floor_patch_for_cell(MIDDLE, dir, -1, RED);
    const float nan_velocity[3] = {NAN, 0, 0};
    add_floor_stain(MIDDLE, nan_velocity, 0.05f, RED);
    EXPECT_EQ(stain_blot_vertex_count, 0);
    EXPECT_EQ(stain_map.count, 0);
}

TEST_F(StainTest, WithStainsOffNothingIsPaintedOrDrawn)
{
    add_floor_stain(MIDDLE, MIDDLE, 0.05f, RED);
    int queued = stain_blot_vertex_count;
    ASSERT_GT(queued, 0);
    stains_option = 0;
    draw_floor_stains();
    EXPECT_EQ(stain_blot_vertex_count, queued);
}

}   // namespace

// Blood drops that land on the floor leave stains through the renderer.
#include <gtest/gtest.h>

#include <ode/ode.h>

#include <cstring>
#include <string>

#include "core/blood.h"
#include "core/newgame.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/world.h"
#include "render/scene.h"
#include "shell/app.h"

namespace {

int stains;
float stain_point[3], stain_size;

void on_stain(const float p[3], const float *, float size, const float *)
{
    stains++;
    memcpy(stain_point, p, sizeof stain_point);
    stain_size = size;
}

int stains_on(const char *name) { return std::string(name) == "bloodstains" ? 1 : 0; }

class BloodStains : public ::testing::Test {
protected:
    void SetUp() override
    {
        core_outward = CoreOutward();
        core_outward.get_option = stains_on;
        game_init();
        render_outward = RenderOutward();
        render_outward.add_floor_stain = on_stain;
        stains = 0;
        saved_active = shaders_active;
        shaders_active = 1;
    }
    void TearDown() override
    {
        shaders_active = saved_active;
        render_outward = RenderOutward();
        game_shutdown();
        core_outward = CoreOutward();
    }
    int saved_active = 0;
};

TEST_F(BloodStains, OnlyDropsOnTheFloorLeaveAStain)
{
    const double at[3] = {0.5, -0.25, 0.0};
    const double down[3] = {0, 0, -1};
    int drop = spawn_blood_drop_sized(0, 0, at, down, 1.0, 10.0);
    ASSERT_GE(drop, 0);
    BloodDrop *d = get_blood_drop(drop);
    dBodySetPosition(d->body, 0.5, -0.25, d->size);
    stain_where_blood_landed(drop, 1.5);
    ASSERT_EQ(stains, 1);
    EXPECT_FLOAT_EQ(stain_point[0], 0.5f);
    EXPECT_FLOAT_EQ(stain_point[1], -0.25f);
    EXPECT_FLOAT_EQ(stain_point[2], 0.0f);
    EXPECT_FLOAT_EQ(stain_size, d->size);

    // In the air, out of range, or at no speed: nothing.
    dBodySetPosition(d->body, 0.5, -0.25, 1.0);
    stain_where_blood_landed(drop, 1.5);
    stain_where_blood_landed(-1, 1.5);
    stain_where_blood_landed(100000, 1.5);
    dBodySetPosition(d->body, 0.5, -0.25, d->size);
    stain_where_blood_landed(drop, 0.0);
    EXPECT_EQ(stains, 1);

    // Without the shader renderer there is no floor to stain.
    shaders_active = 0;
    stain_where_blood_landed(drop, 1.5);
    EXPECT_EQ(stains, 1);
}

} // namespace

// Blood drops that land on the floor leave stains through the renderer.
#include <gtest/gtest.h>

#include <ode/ode.h>

#include <cstring>
#include <string>

#include "core/blood.h"
#include "core/collide.h"
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
        // As the program's start-up binds it: every blood hit of the
        // collisions reaches the stain code.
        core_outward.on_blood_hit = stain_where_blood_landed;
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

// One frame of the live world as the match step runs it: the collisions
// (whose blood hits reach the stain code) and the world step.
void step_world()
{
    collide_space(live_space);
    dWorldStep(physics_world, world_step_size);
    dJointGroupEmpty(contact_group);
}

// A drop thrown as a cut joint bleeds one (size 4, sideways), away from
// the fighters, falls through the real collisions until it meets the
// floor: it stains there, at its place on the floor, once it lands.
TEST_F(BloodStains, AFallingDropStainsWhereItMeetsTheFloor)
{
    const double at[3] = {3.0, -2.0, 1.2};
    const double out[3] = {1.0, 0.0, 0.0};
    int drop = spawn_blood_drop_sized(0, 21 + 10, at, out, 1.0, 4.0);
    ASSERT_GE(drop, 0);
    BloodDrop *d = get_blood_drop(drop);
    double last_z = 10;
    for (int frame = 0; frame < 400 && stains == 0; frame++) {
        last_z = dBodyGetPosition(d->body)[2];
        step_world();
    }
    ASSERT_GE(stains, 1) << "the drop stopped at z " << last_z;
    const dReal *p = dBodyGetPosition(d->body);
    EXPECT_NEAR(stain_point[0], p[0], 0.05);
    EXPECT_NEAR(stain_point[1], p[1], 0.05);
    EXPECT_FLOAT_EQ(stain_point[2], 0.0f);
    EXPECT_GT(stain_point[0], 3.0f);   // it flew outwards before it fell
    EXPECT_FLOAT_EQ(stain_size, d->size);
}

TEST_F(BloodStains, DropsAboveTheFloorOrAtRestLeaveNone)
{
    const double at[3] = {0.5, -0.25, 1.0};
    const double still[3] = {0, 0, 0};
    int drop = spawn_blood_drop_sized(0, 21 + 10, at, still, 0.0, 5.0);
    ASSERT_GE(drop, 0);
    // In the air (a hit on a fighter or an object above the floor), out of
    // range, or at no speed: nothing.
    stain_where_blood_landed(drop, 1.5);
    stain_where_blood_landed(-1, 1.5);
    stain_where_blood_landed(100000, 1.5);
    for (int frame = 0; frame < 400 && stains == 0; frame++)
        step_world();
    ASSERT_EQ(stains, 1);
    stain_where_blood_landed(drop, 0.0);
    EXPECT_EQ(stains, 1);

    // Without the shader renderer there is no floor to stain.
    shaders_active = 0;
    stain_where_blood_landed(drop, 1.5);
    EXPECT_EQ(stains, 1);
}

} // namespace

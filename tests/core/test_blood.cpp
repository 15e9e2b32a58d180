#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/blood.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/world.h"

namespace {

int hits_seen;
void on_hit(int, double) { hits_seen++; }
int red_blood(int player, float *rgb)
{
    if (player != 1)
        return 1;
    rgb[0] = 1.0f;
    rgb[1] = rgb[2] = 0.0f;
    return 0;
}

class BloodTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        core_outward = CoreOutward();
        game_init();
        reset_blood_drops();
    }
    void TearDown() override
    {
        game_shutdown();
        core_outward = CoreOutward();
    }
};

const double zero3[3] = {0, 0, 0};

TEST_F(BloodTest, BothSpawnsUseAll256SlotsAndWrapToSlotZero)
{
    for (int sized = 0; sized < 2; sized++) {
        reset_blood_drops();
        const double pos[3] = {1, 2, 3};
        const double up[3] = {0, 0, 1};
        for (int i = 0; i < 257; i++) {
            int slot = sized ? spawn_blood_drop_sized(0, i, pos, up, 1.0, 4.0)
                             : spawn_blood_drop(0, i, 1, 2, 3, zero3);
            EXPECT_EQ(slot, i % NUM_BLOOD_DROPS) << "sized " << sized << " spawn " << i;
        }
        EXPECT_EQ(blood_drops[0].kind, 256);
        EXPECT_EQ(blood_drops[255].kind, 255);
        EXPECT_EQ(blood_ring_index, 1);
    }
}

TEST_F(BloodTest, PlainSpawnStartsAtRestWithFullLife)
{
    core_outward.player_blood_colour = red_blood;
    dBodySetLinearVel(blood_drops[0].body, 5, 5, 5);
    const double v[3] = {9, 9, 9};
    ASSERT_EQ(spawn_blood_drop(1, 33, 0.5, 1.5, 2.5, v), 0);
    const BloodDrop &d = blood_drops[0];
    EXPECT_EQ(d.life, BLOOD_DROP_LIFE);
    EXPECT_EQ(d.owner, 1);
    EXPECT_EQ(d.kind, 33);
    EXPECT_EQ(d.colour_source, &players[1]);
    EXPECT_FLOAT_EQ(d.colour[0], 1.0f);
    EXPECT_TRUE(dBodyIsEnabled(d.body));
    EXPECT_TRUE(dGeomIsEnabled(d.geom));
    EXPECT_DOUBLE_EQ(dBodyGetPosition(d.body)[1], 1.5);
    EXPECT_DOUBLE_EQ(dBodyGetLinearVel(d.body)[0], 0.0);
    // A fighter without a blood colour of its own gets the default.
    spawn_blood_drop(0, 1, 0, 0, 0, v);
    EXPECT_FLOAT_EQ(blood_drops[1].colour[0], default_blood_colour[0]);
}

TEST_F(BloodTest, SizedSpawnClampsSizeAndSkipsPlacingTinyDrops)
{
    const double pos[3] = {1, 2, 3};
    const double dir[3] = {0, 1, 0};
    // Tiny: the slot is taken, sized 0.01, but not placed and not live.
    const dReal *before = dBodyGetPosition(blood_drops[0].body);
    double b[3] = {before[0], before[1], before[2]};
    ASSERT_EQ(spawn_blood_drop_sized(0, 5, pos, dir, 2.0, 0.001), 0);
    EXPECT_FLOAT_EQ(blood_drops[0].size, 0.01f);
    EXPECT_EQ(blood_drops[0].life, 0);
    EXPECT_FALSE(dBodyIsEnabled(blood_drops[0].body));
    EXPECT_DOUBLE_EQ(dBodyGetPosition(blood_drops[0].body)[2], b[2]);
    EXPECT_EQ(blood_ring_index, 1);

    // Huge: clamped to 0.05, placed off the position by the size, thrown.
    ASSERT_EQ(spawn_blood_drop_sized(0, 5, pos, dir, 2.0, 1000.0), 1);
    const BloodDrop &d = blood_drops[1];
    EXPECT_FLOAT_EQ(d.size, 0.05f);
    EXPECT_EQ(d.life, BLOOD_DROP_LIFE);
    EXPECT_TRUE(dBodyIsEnabled(d.body));
    EXPECT_NEAR(dBodyGetPosition(d.body)[0], 1.05, 1e-6);
    EXPECT_NEAR(dBodyGetPosition(d.body)[2], 3.05, 1e-6);
    EXPECT_DOUBLE_EQ(dBodyGetLinearVel(d.body)[1], 2.0);

    // In range: size times the slot's own factor.
    float factor = blood_drops[2].size_factor;
    spawn_blood_drop_sized(0, 5, pos, dir, 2.0, 0.02 / factor);
    EXPECT_NEAR(blood_drops[2].size, 0.02f, 1e-6);
}

TEST_F(BloodTest, DropLivesFiftyFramesAndIsOffOnTheFiftyFirst)
{
    spawn_blood_drop(0, 0, 0, 0, 5, zero3);
    for (int f = 1; f <= 51; f++) {
        age_blood_drops();
        EXPECT_EQ(dBodyIsEnabled(blood_drops[0].body) != 0, f < 51) << f;
    }
    EXPECT_EQ(blood_drops[0].life, 0);
    EXPECT_FALSE(dGeomIsEnabled(blood_drops[0].geom));
    // Parked drops are left alone.
    EXPECT_EQ(blood_drops[1].life, 0);
}

TEST_F(BloodTest, DampingAddsForceAndCubedTorqueToLiveDropsOnly)
{
    spawn_blood_drop(0, 0, 0, 0, 5, zero3);
    dBodyID body = blood_drops[0].body;
    dBodySetLinearVel(body, 10, -20, 0);
    dBodySetAngularVel(body, 2, 0, -3);
    dBodySetLinearVel(blood_drops[1].body, 10, 0, 0);   // dead drop
    damp_blood_drops();
    dMass m;
    dBodyGetMass(body, &m);
    const dReal *f = dBodyGetForce(body);
    const dReal *t = dBodyGetTorque(body);
    EXPECT_NEAR(f[0], -m.mass * 0.001 * 10, 1e-12);
    EXPECT_NEAR(f[1], m.mass * 0.001 * 20, 1e-12);
    EXPECT_NEAR(t[0], -m.mass * 0.00001 * 8, 1e-12);
    EXPECT_NEAR(t[2], m.mass * 0.00001 * 27, 1e-12);
    EXPECT_EQ(dBodyGetForce(blood_drops[1].body)[0], 0.0);
}

TEST_F(BloodTest, ResetParksEveryDropAndClearsTheAmount)
{
    spawn_blood_drop(0, 3, 1, 1, 1, zero3);
    blood_hit(0, 2.0);
    EXPECT_GT(get_blood_amount(), 0.0);
    reset_blood_drops();
    EXPECT_EQ(get_blood_amount(), 0.0);
    EXPECT_EQ(blood_hit_count, 0);
    EXPECT_EQ(blood_ring_index, 0);
    for (int i : {0, 7, 255}) {
        const BloodDrop &d = blood_drops[i];
        EXPECT_EQ(d.life, 0);
        EXPECT_EQ(d.kind, 0);
        EXPECT_EQ(d.colour_source, nullptr);
        EXPECT_FALSE(dBodyIsEnabled(d.body));
        const dReal *p = dBodyGetPosition(d.body);
        EXPECT_EQ(p[1], i + 20.0);
        EXPECT_EQ(p[2], i + 2.0);
    }
}

TEST_F(BloodTest, HitCountsAndAddsSizeTimesSpeed)
{
    core_outward.on_blood_hit = on_hit;
    hits_seen = 0;
    blood_drops[4].size = 0.02f;
    blood_hit(4, 3.0);
    EXPECT_NEAR(get_blood_amount(), 0.02 * 3.0 * 100.0, 1e-6);
    EXPECT_EQ(blood_hit_count, 1);
    EXPECT_EQ(hits_seen, 1);
    blood_hit(-1, 3.0);
    blood_hit(NUM_BLOOD_DROPS, 3.0);
    EXPECT_EQ(blood_hit_count, 1);
    reset_blood_amount(7.5);
    EXPECT_EQ(get_blood_amount(), 7.5);
    EXPECT_EQ(blood_hit_count, 0);
}

TEST_F(BloodTest, GhostSwitchesBringBackOnlyLiveDrops)
{
    spawn_blood_drop(0, 0, 0, 0, 5, zero3);
    disable_blood_drops();
    EXPECT_FALSE(dBodyIsEnabled(blood_drops[0].body));
    enable_live_blood_drops();
    EXPECT_TRUE(dBodyIsEnabled(blood_drops[0].body));
    EXPECT_FALSE(dBodyIsEnabled(blood_drops[1].body));
    EXPECT_EQ(get_blood_drop(-1), nullptr);
    EXPECT_EQ(get_blood_drop(256), nullptr);
    EXPECT_EQ(get_blood_drop(3), &blood_drops[3]);
}

TEST(BloodVectors, LengthsDifferencesAndNormalising)
{
    const double a[3] = {3, 4, 12};
    const double b[3] = {1, 1, 1};
    EXPECT_EQ(vec3_length_sq(a), 169.0);
    EXPECT_EQ(vec3_length(a), 13.0);
    EXPECT_EQ(vec3_length3(3, 4, 0), 5.0);
    const double *d = vec3_sub(a, b);
    EXPECT_EQ(d[0], 2.0);
    EXPECT_EQ(d[2], 11.0);
    EXPECT_EQ(vec3_distance_min5(a, a), 0.0);
    const double near4[3] = {4, 1, 1};
    EXPECT_EQ(vec3_distance_min5(near4, b), 0.0);   // 3 is below 5
    EXPECT_EQ(vec3_distance_min5(a, zero3), 13.0);
    const double *n = vec3_normalised(a);
    EXPECT_NEAR(n[1], 4.0 / 13.0, 1e-15);
    n = vec3_normalised(zero3);
    for (int k = 0; k < 3; k++)
        EXPECT_EQ(n[k], 0.0);
}

TEST(BloodVectors, RotationsAndTransforms)
{
    const double centre[3] = {1, 1, 0};
    const double east[3] = {2, 1, 7};
    double out[3];
    rotate_point_z(centre, east, out, M_PI / 2);
    EXPECT_NEAR(out[0], 1.0, 1e-12);
    EXPECT_NEAR(out[1], 2.0, 1e-12);
    EXPECT_EQ(out[2], 7.0);
    const double on_axis[3] = {1, 1, 3};
    rotate_point_z(centre, on_axis, out, 1.0);
    EXPECT_EQ(out[0], 1.0);
    EXPECT_EQ(out[1], 1.0);

    dMatrix3 r;
    dRFromAxisAndAngle(r, 0, 0, 1, M_PI / 2);
    const double t[3] = {10, 0, 0};
    const double p[3] = {1, 0, 0};
    transform_point(r, t, p, out);
    EXPECT_NEAR(out[0], 10.0, 1e-12);
    EXPECT_NEAR(out[1], 1.0, 1e-12);
}

TEST_F(BloodTest, GeomPosesBodyTurnsAndContactDistances)
{
    // A transform holding an offset sphere: the pose is the inner sphere's.
    dGeomID tr = dCreateGeomTransform(nullptr);
    dGeomID inner = dCreateSphere(nullptr, 0.5);
    dGeomTransformSetGeom(tr, inner);
    dGeomTransformSetCleanup(tr, 1);
    dGeomSetPosition(inner, 1, 0, 0);
    dMatrix3 r;
    dRFromAxisAndAngle(r, 0, 0, 1, M_PI / 2);
    dGeomSetRotation(tr, r);
    dGeomSetPosition(tr, 0, 0, 2);
    double pos[3], rot[12];
    ASSERT_EQ(geom_world_pose(tr, pos, rot), 0);
    EXPECT_NEAR(pos[0], 0.0, 1e-12);
    EXPECT_NEAR(pos[1], 1.0, 1e-12);
    EXPECT_NEAR(pos[2], 2.0, 1e-12);
    EXPECT_EQ(geom_world_pose(nullptr, pos, rot), 1);

    dGeomID s1 = dCreateSphere(nullptr, 1.0);
    dGeomID s2 = dCreateSphere(nullptr, 1.0);
    dGeomSetPosition(s2, 1.5, 0, 0);
    double dsq = contact_distance_sq(s1, s2, 0, 0, 0);
    EXPECT_GT(dsq, 0.0);
    EXPECT_LT(dsq, 4.0);
    dGeomSetPosition(s2, 5, 0, 0);
    EXPECT_EQ(contact_distance_sq(s1, s2, 0, 0, 0), -1.0);
    dGeomDestroy(s1);
    dGeomDestroy(s2);
    dGeomDestroy(tr);

    // Turning a body a quarter about a centre moves and turns it.
    dBodyID body = blood_drops[9].body;
    dBodySetPosition(body, 2, 0, 4);
    dBodySetRotation(body, r);
    const double c[3] = {1, 0, 0};
    set_geom_pose_rotated(body, c, M_PI / 2);
    const dReal *bp = dBodyGetPosition(body);
    EXPECT_NEAR(bp[0], 1.0, 1e-12);
    EXPECT_NEAR(bp[1], 1.0, 1e-12);
    EXPECT_EQ(bp[2], 4.0);
    const dReal *br = dBodyGetRotation(body);
    EXPECT_NEAR(br[0], -1.0, 1e-12);   // two quarter turns: x axis reversed
}

}  // namespace

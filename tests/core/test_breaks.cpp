#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/blood.h"
#include "core/bout.h"
#include "core/breaks.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/step.h"
#include "core/world.h"

namespace {

class BreaksTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        core_outward = CoreOutward();
        game_init();
        reset_blood_drops();
        memset(&current_rules, 0, sizeof current_rules);
        current_rules.matchframes = 500;
        current_rules.turnframes[0] = 100;
        current_rules.turnframes_count = 1;
        current_rules.match_mode = 1;
        current_rules.dismemberthreshold = 100;
        current_rules.fracturethreshold = 100;
        replay_mode = REPLAY_LIVE;
        game_type = 0;
        frame_tick = 1000;
        match_state.game_over = 0;
        match_result = MatchResult();
    }
    void TearDown() override
    {
        game_shutdown();
        core_outward = CoreOutward();
    }
};

int live_drops()
{
    int n = 0;
    for (int i = 0; i < NUM_BLOOD_DROPS; i++)
        n += blood_drops[i].life > 0 && dBodyIsEnabled(blood_drops[i].body);
    return n;
}

TEST_F(BreaksTest, ThresholdsByJointHitAndRule)
{
    PlayerState *p = &players[0];
    for (int j : {6, 9, 16, 17}) {
        p->joints[j].lo_stop = 0.0;
        p->joints[j].hi_stop = 2.0;
    }
    struct Case {
        int joint;
        float hit;
        double angle;
        int dt_rule, ft_rule;
        double dismember, fracture;
    } cases[] = {
        {0, 0, 0.0, 100, 100, 100, 100},
        {0, 1, 0.0, 100, 100, 25, 25},
        {16, 0, 2.0, 100, 100, 420, 420},    // knee at its hi stop
        {16, 0, 3.0, 100, 100, 420, 420},    // beyond it counts as the stop
        {17, 0, 0.0, 100, 100, 220, 220},    // at its lo stop
        {6, 0, 1.0, 100, 100, 320, 320},
        {9, 1, 2.0, 100, 100, 105, 105},     // hit: a quarter
        {18, 1, 0.0, 100, 100, 350, 350},    // ankles ignore hits
        {19, 0, 0.0, 100, 100, 350, 350},
        {2, 0, 0.0, 100, 100, 220, 220},
        {2, 1, 0.0, 100, 100, 55, 55},
        {2, 0, 0.0, 50, 100, 110, 220},      // 50 halves
        {2, 0, 0.0, 0, 50, 220, 110},        // 0 leaves it
        {0, 0, 0.0, 200, 0, 200, 100},
    };
    for (const Case &c : cases) {
        memset(p->part_hit, 0, sizeof p->part_hit);
        p->part_hit[21 + c.joint] = c.hit;
        current_rules.dismemberthreshold = c.dt_rule;
        current_rules.fracturethreshold = c.ft_rule;
        EXPECT_NEAR(joint_break_threshold(0, c.joint, c.angle), c.dismember, 1e-4)
            << "joint " << c.joint << " angle " << c.angle << " rule " << c.dt_rule;
        EXPECT_NEAR(fracture_threshold(0, c.joint, c.angle), c.fracture, 1e-4)
            << "joint " << c.joint << " angle " << c.angle << " rule " << c.ft_rule;
    }
    // A joint whose stops meet does not divide by zero.
    current_rules.dismemberthreshold = 100;
    p->joints[16].lo_stop = p->joints[16].hi_stop = 1.0;
    EXPECT_EQ(joint_break_threshold(0, 16, 1.0), 220.0);
}

// Pulls the head of fighter 0 up hard for one world step so the neck's
// hinge carries a large load.
double load_neck()
{
    dBodyAddForce(players[0].body[0], 0, 0, 2000);
    dWorldStep(physics_world, world_step_size);
    return joint_stress(0, 0);
}

TEST_F(BreaksTest, LoadedNeckBreaksByTheRuleFlags)
{
    struct Case {
        int flags;
        int dt_rule, ft_rule;   // 0 unscaled
        int kind;
    } cases[] = {
        {RULE_FLAG_FRACTURE, 0, 0, JOINT_FRACTURED},
        {RULE_FLAG_DISMEMBER, 0, 0, JOINT_DISMEMBERED},
        {RULE_FLAG_FRACTURE | RULE_FLAG_DISMEMBER, 0, 0, JOINT_DISMEMBERED},
        {0, 0, 0, JOINT_INTACT},
        // Both flags, the load between the two thresholds: fracture.
        {RULE_FLAG_FRACTURE | RULE_FLAG_DISMEMBER, -1, 0, JOINT_FRACTURED},
    };
    for (const Case &c : cases) {
        game_shutdown();
        game_init();
        reset_blood_drops();
        match_state.game_over = 0;
        double stress = load_neck();
        ASSERT_GT(stress, 1e4);
        ASSERT_LT(stress, 1e8);
        // Only the neck is under test: the other joints read no load.
        for (int j = 1; j < NUM_JOINTS; j++)
            memset(&players[0].hinge_feedback[j], 0, sizeof(dJointFeedback));
        current_rules.flags = c.flags;
        current_rules.fracturethreshold = c.ft_rule;
        // -1: a dismember threshold far above the load.
        current_rules.dismemberthreshold = c.dt_rule == -1 ? (int)(stress * 10) : c.dt_rule;
        float injury = players[0].injury, score = players[0].score;
        check_joint_breaks(0);
        const JointRuntime &rt = players[0].joints[0];
        EXPECT_EQ(rt.broken, c.kind) << "flags " << c.flags;
        for (int j = 1; j < NUM_JOINTS; j++)
            EXPECT_EQ(players[0].joints[j].broken, JOINT_INTACT) << j;
        float charged = c.kind == JOINT_INTACT ? 0.0f : 15000.0f;
        EXPECT_EQ(players[0].injury - injury, charged);
        EXPECT_EQ(score - players[0].score, charged);
        EXPECT_EQ(players[0].broken_count, c.kind == JOINT_INTACT ? 0 : 1);
        if (c.kind == JOINT_DISMEMBERED) {
            EXPECT_EQ(players[0].break_sound, 22);
            EXPECT_EQ(dJointGetBody(players[0].hinge[0], 0), nullptr);
            EXPECT_EQ(dGeomGetCollideBits(players[0].joint_geom[0]), severed_mask);
            for (int j = 0; j < NUM_JOINTS; j++)
                EXPECT_EQ(dJointGetHingeParam(players[0].hinge[j], dParamFMax), 0.0) << j;
            EXPECT_EQ(blood_drops[0].life, BLOOD_DROP_LIFE);
            EXPECT_EQ(blood_drops[0].kind, 21);
        }
        if (c.kind == JOINT_FRACTURED)
            EXPECT_EQ(players[0].break_sound, 47);   // the neck's own sound
    }
}

TEST_F(BreaksTest, ChargesByJointAndNotOnceTheGameIsOver)
{
    struct Case {
        int joint, kind;
        float value;
    } cases[] = {
        {0, JOINT_FRACTURED, 15000}, {10, JOINT_FRACTURED, 2000}, {11, JOINT_DISMEMBERED, 2000},
        {5, JOINT_FRACTURED, 5000},  {16, JOINT_DISMEMBERED, 5000},
    };
    for (const Case &c : cases) {
        float injury = players[1].injury, score = players[1].score;
        break_joint(1, c.joint, c.kind);
        EXPECT_EQ(players[1].joints[c.joint].broken, c.kind);
        EXPECT_EQ(players[1].joints[c.joint].replay_pending, c.kind);
        EXPECT_EQ(players[1].joints[c.joint].bleed, 30.0f);
        EXPECT_EQ(players[1].injury - injury, c.value) << c.joint;
        EXPECT_EQ(score - players[1].score, c.value) << c.joint;
    }
    EXPECT_EQ(players[1].break_sound, 22);
    // A fracture opens the hinge stops to the break range.
    EXPECT_NEAR(dJointGetHingeParam(players[1].hinge[5], dParamHiStop),
                players[1].joints[5].break_hi, 1e-9);
    EXPECT_NEAR(dJointGetHingeParam(players[1].hinge[5], dParamLoStop),
                players[1].joints[5].break_lo, 1e-9);

    match_state.game_over = 1;
    float injury = players[0].injury, score = players[0].score;
    break_joint(0, 3, JOINT_DISMEMBERED);
    break_joint(0, 4, JOINT_FRACTURED);
    EXPECT_EQ(players[0].joints[3].broken, JOINT_DISMEMBERED);
    EXPECT_EQ(players[0].injury, injury);
    EXPECT_EQ(players[0].score, score);
}

TEST_F(BreaksTest, OnlyKindsOneAndTwoBreakAndTheSameBreakCountsOnce)
{
    for (int kind : {0, 3, -1, 99}) {
        break_joint(0, 3, kind);
        EXPECT_EQ(players[0].joints[3].broken, JOINT_INTACT) << kind;
        EXPECT_EQ(players[0].broken_count, 0) << kind;
        EXPECT_EQ(players[0].injury, 0.0f) << kind;
    }
    break_joint(0, 3, JOINT_DISMEMBERED);
    break_joint(0, 3, JOINT_DISMEMBERED);
    EXPECT_EQ(players[0].broken_count, 1);
    EXPECT_EQ(players[0].injury, 5000.0f);
    // Bad indices are ignored.
    break_joint(-1, 3, 1);
    break_joint(0, 20, 1);
    break_joint(MAX_PLAYERS, 0, 1);
}

TEST_F(BreaksTest, TimedBreaksRunAtTheirFrameOnceAndOthersNever)
{
    match_state.num_players = 2;
    players[0].timed_breaks[2] = {JOINT_FRACTURED, 5};
    players[1].timed_breaks[7] = {JOINT_DISMEMBERED, 3};
    players[1].timed_breaks[8] = {0, 1};
    players[1].timed_breaks[9] = {7, 1};
    apply_timed_breaks(2);
    EXPECT_EQ(players[1].broken_count, 0);
    apply_timed_breaks(4);
    EXPECT_EQ(players[1].joints[7].broken, JOINT_DISMEMBERED);
    EXPECT_EQ(players[0].joints[2].broken, JOINT_INTACT);
    apply_timed_breaks(5);
    apply_timed_breaks(6);
    EXPECT_EQ(players[0].joints[2].broken, JOINT_FRACTURED);
    EXPECT_EQ(players[0].broken_count, 1);
    EXPECT_EQ(players[1].broken_count, 1);
    EXPECT_EQ(players[1].joints[8].broken, JOINT_INTACT);
    EXPECT_EQ(players[1].joints[9].broken, JOINT_INTACT);
    EXPECT_EQ(players[0].timed_breaks[2].kind, 0);
}

TEST_F(BreaksTest, CutPendingBreaksWithoutRuleFlags)
{
    current_rules.flags = 0;
    players[0].joints[12].cut_pending = JOINT_DISMEMBERED;
    check_joint_breaks(0);
    EXPECT_EQ(players[0].joints[12].broken, JOINT_DISMEMBERED);
    EXPECT_EQ(players[0].joints[12].cut_pending, 0);
}

TEST_F(BreaksTest, DismemberedJointBleedsDropsThatFlyAndDie)
{
    current_rules.flags = 0;
    break_joint(0, 5, JOINT_DISMEMBERED);
    ASSERT_EQ(live_drops(), 1);
    start_turn(0);
    int most = 0, flew = 0;
    for (int f = 0; f < 40; f++) {
        step_frame(0);
        most = live_drops() > most ? live_drops() : most;
        for (int i = 0; i < NUM_BLOOD_DROPS; i++)
            if (blood_drops[i].life > 0 && blood_drops[i].kind == 21 + 5) {
                const dReal *v = dBodyGetLinearVel(blood_drops[i].body);
                flew |= v[0] != 0 || v[1] != 0 || v[2] != 0;
            }
    }
    EXPECT_GT(most, 1);
    EXPECT_TRUE(flew);
    EXPECT_LT(players[0].joints[5].bleed, 30.0f);
    // The first drop, from the break itself, has used up its life.
    for (int f = 0; f < 11; f++)
        step_frame(0);
    EXPECT_FALSE(dBodyIsEnabled(blood_drops[0].body));
    EXPECT_EQ(blood_drops[0].life, 0);
}

TEST_F(BreaksTest, BleedingWithoutChangeOfSpeedOnlyCounts)
{
    break_joint(0, 5, JOINT_DISMEMBERED);
    int ring = blood_ring_index;
    dBodyID b = dGeomGetBody(players[0].joint_geom[5]);
    ASSERT_NE(b, nullptr);
    dBodySetLinearVel(b, 0, 0, 0);
    players[0].joints[5].last_speed = 0.0;
    bleed_joint(0, 5);
    EXPECT_EQ(players[0].joints[5].bleed, 29.0f);
    EXPECT_EQ(blood_ring_index, ring);
    // A change of speed throws blood.
    dBodySetLinearVel(b, 0, 0, 30);
    bleed_joint(0, 5);
    EXPECT_EQ(players[0].joints[5].bleed, 28.0f);
    EXPECT_EQ(players[0].joints[5].last_speed, 30.0);
    EXPECT_EQ(blood_ring_index, ring + 2);   // change 20 > 10: two drops
    // Intact joints do not bleed.
    ring = blood_ring_index;
    bleed_player(1);
    EXPECT_EQ(blood_ring_index, ring);
}

}  // namespace

#include <gtest/gtest.h>

// The joint spheres are geometry transforms around a sphere.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include <cmath>
#include <cstring>

#include "core/motors.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/world.h"

namespace {

class MotorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        core_outward = CoreOutward();
        game_init();
        memset(&current_rules, 0, sizeof current_rules);
        replay_mode = REPLAY_LIVE;
        game_type = 0;
        match_state.game_paused = 1;   // the edit phase
        match_state.game_over = 0;
        match_state.ghost_mode = GHOST_OFF;
    }
    void TearDown() override
    {
        game_shutdown();
        core_outward = CoreOutward();
        replay_mode = REPLAY_CYCLE;
    }
};

double motor_vel(int p, int j) { return dJointGetHingeParam(players[p].hinge[j], dParamVel); }
double motor_force(int p, int j) { return dJointGetHingeParam(players[p].hinge[j], dParamFMax); }

double sphere_radius(int p, int j)
{
    return dGeomSphereGetRadius(dGeomTransformGetGeom(players[p].joint_geom[j]));
}

void box_lengths(int p, int b, dVector3 out) { dGeomBoxGetLengths(players[p].geom[b], out); }

TEST_F(MotorTest, EveryStateDrivesTheHingeAsTheTableSays)
{
    const int j = 5;   // r_shoulder: strength 4, velocity 20
    const double s = builtin_joint_table[j].strength, v = builtin_joint_table[j].velocity;
    struct {
        int state;
        double vel, fmax;
    } table[] = {
        {MOTOR_FWD, -v, s},
        {MOTOR_BACK, v, s},
        {MOTOR_HOLD, 0, fabs(s / 3)},
        {MOTOR_RELAX, 0, 0},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.state);
        dGeomSphereSetRadius(dGeomTransformGetGeom(players[0].joint_geom[j]), 0.5);
        ASSERT_EQ(set_commanded_joint_state(0, j, row.state), 0);
        apply_joint_states();
        EXPECT_NEAR(motor_vel(0, j), row.vel, 1e-6);
        EXPECT_NEAR(motor_force(0, j), row.fmax, 1e-6);
        EXPECT_EQ(players[0].joint_state[j], MOTOR_NONE);   // consumed
        EXPECT_EQ(current_joint_state(0, j), row.state);   // read back from the hinge
        if (row.state == MOTOR_RELAX)
            EXPECT_NEAR(sphere_radius(0, j), builtin_joint_table[j].radius, 1e-6);
        else
            EXPECT_NEAR(sphere_radius(0, j), 0.5, 1e-9);
    }
    // A record marked no_input keeps its pending states.
    players[1].no_input = 1;
    set_commanded_joint_state(1, j, MOTOR_FWD);
    apply_joint_states();
    EXPECT_EQ(players[1].joint_state[j], MOTOR_FWD);
}

TEST_F(MotorTest, JointsAndRecordsOutsideTheFighterAreRefused)
{
    const int bad[][2] = {{0, 20}, {0, 21}, {0, -1}, {-1, 0}, {fighters_built, 0}, {99, 3}};
    double force_before[NUM_JOINTS];
    for (int j = 0; j < NUM_JOINTS; j++)
        force_before[j] = motor_force(0, j);
    for (const auto &b : bad) {
        SCOPED_TRACE(testing::Message() << "player " << b[0] << " joint " << b[1]);
        EXPECT_EQ(set_commanded_joint_state(b[0], b[1], MOTOR_HOLD), -1);
        EXPECT_EQ(cycle_joint_state(0, b[0], b[1]), 1);
        EXPECT_EQ(cycle_joint_state(1, b[0], b[1]), 1);
        EXPECT_EQ(toggle_joint_hold(b[0], b[1]), 1);
        EXPECT_EQ(set_joint_motor(b[0], b[1], MOTOR_FWD), 1);
    }
    // Nothing was written, in the joint table or behind it.
    for (int j = 0; j < NUM_JOINTS; j++) {
        EXPECT_EQ(players[0].joint_state[j], MOTOR_NONE);
        EXPECT_EQ(motor_force(0, j), force_before[j]);
    }
    EXPECT_EQ(players[0].no_input, 0);
    EXPECT_EQ(players[0].ghost_held, 0);
    // States outside 0..4 are refused too.
    EXPECT_EQ(set_commanded_joint_state(0, 3, 5), -1);
    EXPECT_EQ(set_commanded_joint_state(0, 3, -1), -1);
    EXPECT_EQ(players[0].changes, 0);
    // An accepted repeat is counted but reports "unchanged".
    EXPECT_EQ(set_commanded_joint_state(0, 3, MOTOR_FWD), 0);
    EXPECT_EQ(set_commanded_joint_state(0, 3, MOTOR_FWD), 1);
    EXPECT_EQ(players[0].changes, 2);
}

TEST_F(MotorTest, BrokenJointsRefuseCommands)
{
    players[0].joints[4].broken = JOINT_FRACTURED;
    players[0].joints[6].broken = JOINT_DISMEMBERED;
    // Fractured: nothing reaches it.
    EXPECT_EQ(set_commanded_joint_state(0, 4, MOTOR_HOLD), -1);
    EXPECT_EQ(cycle_joint_state(0, 0, 4), 1);
    EXPECT_EQ(toggle_joint_hold(0, 4), 1);
    set_all_joint_states(0, MOTOR_HOLD);
    EXPECT_EQ(players[0].joint_state[4], MOTOR_NONE);
    EXPECT_EQ(players[0].joint_state[5], MOTOR_HOLD);
    EXPECT_EQ(players[0].changes, NUM_JOINTS - 1);
    // Dismembered: no cycling or toggling, but a commanded state is taken.
    players[0].joint_state[6] = MOTOR_NONE;
    EXPECT_EQ(cycle_joint_state(0, 0, 6), 1);
    EXPECT_EQ(toggle_joint_hold(0, 6), 1);
    EXPECT_EQ(players[0].joint_state[6], MOTOR_NONE);
    EXPECT_EQ(set_commanded_joint_state(0, 6, MOTOR_RELAX), 0);
}

TEST_F(MotorTest, CyclingAndToggling)
{
    relax_all(0);   // velocity 0, force 0: relax
    EXPECT_EQ(cycle_joint_state(0, 0, 2), 0);
    EXPECT_EQ(players[0].joint_state[2], MOTOR_FWD);   // 4 -> 1
    const int forward[] = {MOTOR_BACK, MOTOR_HOLD, MOTOR_RELAX, MOTOR_FWD};
    for (int s : forward) {
        cycle_joint_state(0, 0, 2);
        EXPECT_EQ(players[0].joint_state[2], s);
    }
    EXPECT_EQ(cycle_joint_state(1, 0, 7), 0);
    EXPECT_EQ(players[0].joint_state[7], MOTOR_HOLD);   // relax backwards: 3
    players[0].joint_state[7] = MOTOR_FWD;
    cycle_joint_state(1, 0, 7);
    EXPECT_EQ(players[0].joint_state[7], MOTOR_RELAX);   // 1 backwards: 4

    hold_all(0);   // velocity 0, force 5: hold
    EXPECT_EQ(toggle_joint_hold(0, 9), 0);
    EXPECT_EQ(players[0].joint_state[9], MOTOR_RELAX);
    EXPECT_EQ(toggle_joint_hold(0, 9), 0);
    EXPECT_EQ(players[0].joint_state[9], MOTOR_HOLD);
    players[0].joint_state[9] = MOTOR_BACK;
    toggle_joint_hold(0, 9);
    EXPECT_EQ(players[0].joint_state[9], MOTOR_HOLD);

    // While the match simulates, the edit commands are refused.
    match_state.game_paused = 0;
    EXPECT_EQ(cycle_joint_state(0, 0, 2), 1);
    EXPECT_EQ(toggle_joint_hold(0, 9), 1);
    EXPECT_EQ(toggle_grip(0, 12), 1);
    EXPECT_EQ(players[0].joint_state[9], MOTOR_HOLD);
}

TEST_F(MotorTest, StatesFromTextTakeTheSameRoadAsCommands)
{
    players[0].joints[1].broken = JOINT_FRACTURED;
    int no_input = players[0].no_input;
    // joint 20, state 9, state 7, a fractured joint, joint -1; then one good pair.
    set_joint_states_from_text(0, "20 1 3 9 5 7 1 3 -1 2 4 2");
    for (int j = 0; j < NUM_JOINTS; j++)
        EXPECT_EQ(players[0].joint_state[j], j == 4 ? MOTOR_BACK : MOTOR_NONE) << j;
    EXPECT_EQ(players[0].changes, 1);
    EXPECT_EQ(players[0].no_input, no_input);
    // Records without bodies get nothing.
    set_joint_states_from_text(-1, "0 1");
    set_joint_states_from_text(fighters_built, "0 1");
    EXPECT_EQ(players[fighters_built].joint_state[0], MOTOR_NONE);

    EXPECT_EQ(set_grips_from_text(0, "1 2"), 2);
    EXPECT_EQ(players[0].grip_req_l, 1);
    EXPECT_EQ(players[0].grip_req_r, 2);
    EXPECT_EQ(set_grips_from_text(-1, "1 1"), 0);
}

TEST_F(MotorTest, GripToggleFollowsRequestThenCurrentGrip)
{
    const float *alt = builtin_body_table[12].alt_sides;
    struct {
        int req, cur, next;
    } table[] = {
        {GRIP_GRIP, GRIP_NONE, GRIP_RELEASE}, {GRIP_RELEASE, GRIP_GRIP, GRIP_GRIP},
        {GRIP_NONE, GRIP_GRIP, GRIP_RELEASE}, {GRIP_NONE, GRIP_NONE, GRIP_GRIP},
        {GRIP_NONE, GRIP_RELEASE, GRIP_GRIP}, {GRIP_NONE, 7, GRIP_NONE},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(testing::Message() << row.req << "," << row.cur);
        players[0].grip_req_l = row.req;
        players[0].grip_l = row.cur;
        ASSERT_EQ(toggle_grip(0, 12), 0);
        EXPECT_EQ(players[0].grip_req_l, row.next);
        dVector3 l;
        box_lengths(0, 12, l);
        EXPECT_NEAR(l[0], row.next == GRIP_GRIP ? alt[0] : 0, 1e-6);
    }
    EXPECT_EQ(toggle_grip(0, 10), 1);   // not a hand
}

TEST_F(MotorTest, GripRequestsResizeHandsAndReleaseHinges)
{
    const float *alt = builtin_body_table[11].alt_sides;
    dVector3 l;
    set_grip(0, 11, GRIP_GRIP);
    box_lengths(0, 11, l);
    EXPECT_NEAR(l[1], alt[1], 1e-6);
    // Shrunk back by hand, the frame's commands enlarge it again.
    set_hand_geom_size(0, 11, 0);
    apply_joint_states();
    box_lengths(0, 11, l);
    EXPECT_NEAR(l[1], alt[1], 1e-6);
    EXPECT_EQ(players[0].grip_r, GRIP_GRIP);
    EXPECT_EQ(players[0].grip_req_r, GRIP_NONE);

    // A grip hinge stays on a repeated grip request and goes on release.
    dJointID h = dJointCreateHinge(physics_world, nullptr);
    players[0].grip_joint[11] = h;
    players[0].grip_req_r = GRIP_GRIP;
    apply_joint_states();
    EXPECT_EQ(players[0].grip_joint[11], h);
    players[0].grip_req_r = GRIP_RELEASE;
    apply_joint_states();
    EXPECT_EQ(players[0].grip_joint[11], nullptr);
    EXPECT_EQ(players[0].grip_r, GRIP_RELEASE);
    box_lengths(0, 11, l);
    EXPECT_EQ(l[1], 0);

    // update_hand_sizes: a request wins, else the current grip.
    players[1].grip_l = GRIP_GRIP;
    players[1].grip_req_r = GRIP_GRIP;
    update_hand_sizes();
    box_lengths(1, 12, l);
    EXPECT_NEAR(l[0], alt[0], 1e-6);
    box_lengths(1, 11, l);
    EXPECT_NEAR(l[0], alt[0], 1e-6);
    players[1].grip_req_l = GRIP_RELEASE;
    update_hand_sizes();
    box_lengths(1, 12, l);
    EXPECT_EQ(l[0], 0);
}

TEST_F(MotorTest, StanceMovesTheFighterAndFractureOpensTheStops)
{
    ASSERT_GE(stance_count, 1);
    double stored[3];
    for (int k = 0; k < 3; k++)
        stored[k] = stance_slots[0].position[3][k];
    dBodySetPosition(players[1].body[3], 5, 5, 5);
    dBodySetLinearVel(players[1].body[3], 1, 2, 3);
    const double origin[3] = {stance_slots[0].origin[0] + 2, stance_slots[0].origin[1],
                              stance_slots[0].origin[2]};
    ASSERT_EQ(load_stance(0, 1, origin), 0);
    const dReal *p = dBodyGetPosition(players[1].body[3]);
    EXPECT_NEAR(p[0], stored[0] + 2, 1e-9);
    EXPECT_NEAR(p[1], stored[1], 1e-9);
    EXPECT_EQ(dBodyGetLinearVel(players[1].body[3])[2], 0);
    EXPECT_NEAR(motor_force(1, 0), 5, 1e-9);
    EXPECT_EQ(players[1].stance_slot, 0);
    EXPECT_EQ(load_stance(stance_count, 1), 1);
    EXPECT_EQ(load_stance(-1, 1), 1);

    JointRuntime &rt = players[0].joints[2];
    fracture_joint_limits(0, 2);
    EXPECT_NEAR(dJointGetHingeParam(players[0].hinge[2], dParamLoStop), rt.break_lo, 1e-6);
    EXPECT_NEAR(dJointGetHingeParam(players[0].hinge[2], dParamHiStop), rt.break_hi, 1e-6);
    EXPECT_EQ(players[0].joint_state[2], MOTOR_RELAX);
    EXPECT_EQ(motor_force(0, 2), 0);
}

}  // namespace

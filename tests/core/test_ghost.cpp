#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/breaks.h"
#include "core/ghost.h"
#include "core/motors.h"
#include "core/newgame.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/step.h"
#include "core/world.h"

namespace {

class GhostTest : public ::testing::Test {
protected:
    GameRules rules;
    void SetUp() override
    {
        core_outward = CoreOutward();
        memset(&current_rules, 0, sizeof current_rules);
        last_mod_name[0] = '\0';
        mod_load_failed = 0;
        game_init();
        memset(&rules, 0, sizeof rules);
        fill_default_rules(0, &rules);
        frame_tick = 1000;
        ghost_setting = 0;
        start_game_with_rules(0, 0, &rules);
    }
    void TearDown() override
    {
        game_shutdown();
        match_state.num_players = 2;
        memset(&current_rules, 0, sizeof current_rules);
        selected_player = -1;
    }
};

// Every number of a record's bodies that the step could change.
std::vector<double> body_state(int r)
{
    std::vector<double> v;
    auto add = [&](const dReal *p, int n) { v.insert(v.end(), p, p + n); };
    for (int b = 0; b < NUM_BODIES; b++) {
        dBodyID body = players[r].body[b];
        add(dBodyGetPosition(body), 3);
        add(dBodyGetQuaternion(body), 4);
        add(dBodyGetLinearVel(body), 3);
        add(dBodyGetAngularVel(body), 3);
        add(dBodyGetForce(body), 3);
        add(dBodyGetTorque(body), 3);
    }
    return v;
}

// The exact bits of a list of numbers (for equality that tells -0 from 0).
std::vector<uint64_t> bits(const std::vector<double> &v)
{
    std::vector<uint64_t> out(v.size());
    if (!v.empty())
        memcpy(out.data(), v.data(), v.size() * sizeof v[0]);
    return out;
}

std::vector<double> pose(int r)
{
    std::vector<double> v;
    for (int b = 0; b < NUM_BODIES; b++) {
        const dReal *p = dBodyGetPosition(players[r].body[b]);
        const dReal *q = dBodyGetQuaternion(players[r].body[b]);
        v.insert(v.end(), p, p + 3);
        v.insert(v.end(), q, q + 4);
    }
    return v;
}

// Fighter 0's right hand takes hold of fighter 1's chest.
void grip_opponents_chest()
{
    set_grip(0, 11, GRIP_GRIP);
    dContactGeom contact = {};
    const dReal *c = dBodyGetPosition(players[1].body[2]);
    for (int k = 0; k < 3; k++)
        contact.pos[k] = c[k];
    make_grip(0, 1, 11, 2, &contact);
}

int enabled(int r) { return dBodyIsEnabled(players[r].body[0]) && dGeomIsEnabled(players[r].geom[0]); }

TEST_F(GhostTest, PreviewMovesOnlyTheGhostAndStopRestoresTheMatch)
{
    // A local game opens with the own fighter's ghost running.
    ASSERT_EQ(match_state.ghost_mode, GHOST_ONE);
    EXPECT_EQ(match_state.game_paused, 0);   // the step advances the ghost
    EXPECT_EQ(pose(2), pose(0));             // it starts where its fighter stands
    std::vector<uint64_t> live0 = bits(body_state(0)), live1 = bits(body_state(1));
    std::vector<double> ghost1 = body_state(3);
    EXPECT_EQ(players[2].ghost_held, 0);
    EXPECT_EQ(players[3].ghost_held, 1);

    // Two previews of the same length from the same start: one without a
    // command, one with the right elbow driven. Only the command tells
    // them apart.
    const int elbow = 6, frames = 60;
    const int limb[] = {7, 11};   // the right forearm and hand
    auto preview = [&](std::vector<double> *ghost_pose, double *elbow_angle) {
        refresh_ghost();
        for (int i = 0; i < frames; i++)
            step_frame(0);
        *ghost_pose = pose(2);
        *elbow_angle = dJointGetHingeAngle(players[2].hinge[elbow]);
        EXPECT_EQ(bits(body_state(0)), live0);
        EXPECT_EQ(bits(body_state(1)), live1);
        EXPECT_EQ(body_state(3), ghost1);   // a held ghost stays put
        EXPECT_EQ(match_state.match_frame, 0);
        EXPECT_EQ(match_state.frames_recorded, 0);
    };
    std::vector<double> still, driven;
    double still_angle = 0, driven_angle = 0;
    preview(&still, &still_angle);
    ASSERT_EQ(set_commanded_joint_state(0, elbow, MOTOR_BACK), 0);
    preview(&driven, &driven_angle);
    EXPECT_GT(std::fabs(driven_angle - still_angle), 0.2);
    for (int b : limb) {
        double moved = 0;
        for (int k = 0; k < 3; k++)
            moved = std::max(moved, std::fabs(driven[7 * b + k] - still[7 * b + k]));
        EXPECT_GT(moved, 0.02) << "body " << b;
    }

    // The preview gave the real fighters nothing: stopping it leaves them
    // exactly where they were.
    stop_ghost();
    EXPECT_EQ(bits(body_state(0)), live0);
    EXPECT_EQ(bits(body_state(1)), live1);
    EXPECT_EQ(players[0].joint_state[elbow], MOTOR_BACK);   // still waiting for the turn
    EXPECT_EQ(match_state.ghost_mode, GHOST_OFF);
    EXPECT_EQ(match_state.game_paused, 1);
    EXPECT_TRUE(enabled(0));
    EXPECT_TRUE(enabled(1));
    EXPECT_FALSE(enabled(2));
    EXPECT_FALSE(enabled(3));
    EXPECT_EQ(players[0].ghost_held, 0);
    // Stopping without a run changes nothing, the pause included.
    match_state.game_paused = 0;
    stop_ghost();
    EXPECT_EQ(match_state.game_paused, 0);
}

TEST_F(GhostTest, AllGhostsCopyGripsBetweenThemselves)
{
    stop_ghost();
    grip_opponents_chest();
    ASSERT_NE(players[0].grip_joint[11], nullptr);

    start_ghost_all();
    EXPECT_EQ(match_state.ghost_mode, GHOST_ALL);
    EXPECT_EQ(pose(2), pose(0));
    EXPECT_EQ(pose(3), pose(1));
    dJointID g = players[2].grip_joint[11];
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(dJointGetBody(g, 0), players[2].body[11]);
    EXPECT_EQ(dJointGetBody(g, 1), players[3].body[2]);
    dVector3 a, b;
    dJointGetHingeAnchor(players[0].grip_joint[11], a);
    dJointGetHingeAnchor(g, b);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(a[k], b[k], 1e-9);
    EXPECT_EQ(players[2].grip_r, GRIP_GRIP);   // the pending request counts

    // One ghost: the opponent's ghost is frozen, the grip holds on to the world.
    stop_ghost();
    start_ghost(0);
    g = players[2].grip_joint[11];
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(dJointGetBody(g, 1), nullptr);
    EXPECT_EQ(players[3].grip_joint[11], nullptr);
}

TEST_F(GhostTest, ClockFollowsSpeedLengthAndLoop)
{
    // Half speed: a step every second frame.
    set_ghost_run(100, 0.5f);
    for (int i = 0; i < 10; i++)
        step_frame(0);
    EXPECT_EQ(match_state.ghost_count, 5);

    // "turnframe" does not loop: it holds at its last frame.
    match_state.turn_length = 5;
    select_ghost_mode(2);
    EXPECT_EQ(match_state.ghost_length, 5);
    for (int i = 0; i < 3; i++)
        step_frame(0);
    std::vector<double> held = pose(2);
    for (int i = 0; i < 20; i++)
        step_frame(0);
    EXPECT_EQ(match_state.ghost_count, 3);
    EXPECT_EQ(pose(2), held);

    // Row 0 loops: at its end the ghost starts again from the fighter.
    select_ghost_mode(0);
    set_all_joint_states(0, MOTOR_BACK);
    refresh_ghost();
    for (int i = 0; i < 98; i++)
        step_frame(0);
    EXPECT_NE(pose(2), pose(0));
    step_frame(0);
    EXPECT_EQ(pose(2), pose(0));
    EXPECT_EQ(ghost_restart_pending, 0);
}

TEST_F(GhostTest, SelectingRowsStopsOrRestarts)
{
    ASSERT_EQ(match_state.ghost_row, 0);
    select_ghost_mode(0);   // row 0 again: stop (flags 11 include 0x8)
    EXPECT_EQ(match_state.ghost_mode, GHOST_OFF);
    select_ghost_mode(0);   // no run: start
    EXPECT_EQ(match_state.ghost_mode, GHOST_ONE);

    select_ghost_mode(1);
    EXPECT_EQ(match_state.ghost_length, 500);
    step_frame(0);
    step_frame(0);
    EXPECT_GT(match_state.ghost_progress, 2.5f);
    select_ghost_mode(1);   // "long" again restarts
    EXPECT_EQ(match_state.ghost_mode, GHOST_ONE);
    EXPECT_EQ(match_state.ghost_progress, 1.0f);
    EXPECT_EQ(select_ghost_mode(6), 1);
    EXPECT_EQ(select_ghost_mode(-1), 1);
    EXPECT_EQ(match_state.ghost_row, 1);

    toggle_ghost_all();
    EXPECT_EQ(match_state.ghost_mode, GHOST_ALL);
    EXPECT_EQ(ghost_setting, GHOST_ALL);
    toggle_ghost_all();
    EXPECT_EQ(match_state.ghost_mode, GHOST_OFF);
    EXPECT_EQ(ghost_setting, 0);
    toggle_ghost_own();
    EXPECT_EQ(match_state.ghost_mode, GHOST_ONE);
    toggle_ghost_own();
    EXPECT_EQ(match_state.ghost_mode, GHOST_OFF);
    match_state.game_over = 1;
    toggle_ghost_own();
    toggle_ghost_all();
    EXPECT_EQ(match_state.ghost_mode, GHOST_OFF);
}

TEST_F(GhostTest, GhostCarriesTheFightersBreaksAndHealsBetweenRuns)
{
    stop_ghost();
    break_joint(0, 6, JOINT_DISMEMBERED);
    break_joint(0, 9, JOINT_FRACTURED);
    start_ghost(0);
    EXPECT_EQ(players[2].joints[6].broken, JOINT_DISMEMBERED);
    EXPECT_EQ(dJointGetBody(players[2].hinge[6], 0), nullptr);
    EXPECT_EQ(dJointGetHingeParam(players[2].hinge[9], dParamLoStop),
              dJointGetHingeParam(players[0].hinge[9], dParamLoStop));

    stop_ghost();
    new_game_reset(0);   // the fighter is whole again
    start_ghost(0);
    EXPECT_EQ(players[2].joints[6].broken, JOINT_INTACT);
    EXPECT_EQ(dJointGetBody(players[2].hinge[6], 0), players[2].body[7]);
    EXPECT_EQ(dJointGetHingeParam(players[2].hinge[9], dParamLoStop),
              dJointGetHingeParam(players[0].hinge[9], dParamLoStop));
    EXPECT_EQ(dGeomGetCollideBits(players[2].geom[7]), body_collide(2, 7));
}

}   // namespace

TEST_F(GhostTest, GhostRunsTheCommandsJustGiven)
{
    // Edit phase of the first turn: the own ghost runs.
    ASSERT_EQ(match_state.ghost_mode, GHOST_ONE);
    const int states[4] = {MOTOR_FWD, MOTOR_BACK, MOTOR_HOLD, MOTOR_RELAX};
    for (int j = 0; j < NUM_JOINTS; j++)
        set_commanded_joint_state(0, j, states[j % 4]);
    refresh_ghost();
    int ghost = match_state.num_players;
    for (int j = 0; j < NUM_JOINTS; j++) {
        dJointID h = players[ghost].hinge[j];
        double v = joint_velocity(0, j), s = joint_strength(0, j);
        double want_vel[4] = {-v, v, 0, 0};
        double want_force[4] = {s, s, hold_force(0, j), 0};
        EXPECT_EQ(dJointGetHingeParam(h, dParamVel), want_vel[j % 4]) << j;
        EXPECT_EQ(dJointGetHingeParam(h, dParamFMax), want_force[j % 4]) << j;
    }
    // The ghost frames leave the fighter's commands waiting for the turn.
    for (int i = 0; i < 5; i++)
        step_frame(0);
    for (int j = 0; j < NUM_JOINTS; j++)
        EXPECT_EQ(players[0].joint_state[j], states[j % 4]) << j;
    EXPECT_EQ(match_state.match_frame, 0);
}

// A hand told to let go shows open in the preview: its ghost holds nothing.
TEST_F(GhostTest, GripLetGoDuringThePreviewIsOpenOnTheGhost)
{
    stop_ghost();
    grip_opponents_chest();
    apply_joint_states();
    ASSERT_NE(players[0].grip_joint[11], nullptr);
    ASSERT_EQ(players[0].grip_r, GRIP_GRIP);

    start_ghost(0);
    ASSERT_NE(players[2].grip_joint[11], nullptr);   // held: the ghost holds too
    ASSERT_EQ(toggle_grip(0, 11), 0);                  // let go, as the key does
    ASSERT_EQ(players[0].grip_req_r, GRIP_RELEASE);
    EXPECT_EQ(match_state.ghost_mode, GHOST_ONE);
    EXPECT_EQ(players[2].grip_joint[11], nullptr);
    EXPECT_NE(players[0].grip_joint[11], nullptr);     // the fighter lets go with the turn
    start_ghost_all();
    EXPECT_EQ(players[2].grip_joint[11], nullptr);
    // Gripping again holds again.
    ASSERT_EQ(toggle_grip(0, 11), 0);
    EXPECT_NE(players[2].grip_joint[11], nullptr);
}

// A ghost joint healed between runs is whole in the fighter's sense: the
// hinge reads the fighter's angle, wherever the fighter stands.
TEST_F(GhostTest, HealedGhostJointReadsTheFightersAngle)
{
    // The preview breaks the ghost's joint; the fighter stays whole.
    ASSERT_EQ(match_state.ghost_mode, GHOST_ONE);
    break_joint(2, 6, JOINT_DISMEMBERED);
    ASSERT_EQ(players[2].joints[6].broken, JOINT_DISMEMBERED);
    ASSERT_EQ(players[0].joints[6].broken, JOINT_INTACT);
    stop_ghost();
    // The fighter bends the joint: its outer body turns about the hinge axis.
    dJointID h = players[0].hinge[6];
    dBodyID outer = dJointGetBody(h, 1);
    ASSERT_NE(outer, nullptr);
    dVector3 axis;
    dJointGetHingeAxis(h, axis);
    dQuaternion turn, q;
    dQFromAxisAndAngle(turn, axis[0], axis[1], axis[2], 0.4);
    dQMultiply0(q, turn, dBodyGetQuaternion(outer));
    dBodySetQuaternion(outer, q);
    double bent = dJointGetHingeAngle(h);
    ASSERT_GT(std::fabs(bent), 0.3);

    start_ghost(0);
    ASSERT_EQ(players[2].joints[6].broken, JOINT_INTACT);
    EXPECT_NEAR(dJointGetHingeAngle(players[2].hinge[6]), bent, 1e-6);
    dVector3 a, b;
    dJointGetHingeAnchor2(h, a);
    dJointGetHingeAnchor2(players[2].hinge[6], b);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(a[k], b[k], 1e-6);
}

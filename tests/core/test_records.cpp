#include <gtest/gtest.h>

#include <climits>

#include <cmath>
#include <cstring>

#include "core/bout.h"
#include "core/records.h"
#include "core/rules.h"

namespace {

struct NameCase {
    const char *(*fn)(int);
    int index;
    const char *expected;
};

TEST(NameTables, Boundaries)
{
    const NameCase cases[] = {
        {body_name, 0, "HEAD"},        {body_name, 4, "THORAX"},
        {body_name, 17, "L_LEG"},      {body_name, 18, "R_LEG"},
        {body_name, 20, "L_FOOT"},     {body_name, 21, "BODYPARTS"},
        {body_name, 22, "NONE"},       {body_name, -1, "NONE"},
        {joint_name, 0, "NECK"},       {joint_name, 19, "L_ANCHOR"},
        {joint_name, 20, "JOINTS"},    {joint_name, 21, "NONE"},
        {joint_name, -5, "NONE"},      {part_name, -1, "GROUND"},
        {part_name, -2, "NONE"},       {part_name, 0, "HEAD"},
        {part_name, 20, "L_FOOT"},     {part_name, 21, "NECK"},
        {part_name, 40, "L_ANCHOR"},   {part_name, 41, "JOINTS"},
        {part_name, 42, "NONE"},       {motor_state_name, 0, "MOTOR_NONE"},
        {motor_state_name, 3, "MOTOR_HOLD"}, {motor_state_name, 4, "MOTOR_RELAX"},
        {motor_state_name, 5, "NO_SUCH_MOTOR_STATE"},
        {motor_state_name, -1, "NO_SUCH_MOTOR_STATE"},
        {part_name, INT_MIN, "NONE"},  {body_name, INT_MIN, "NONE"},
        {joint_name, INT_MIN, "NONE"}, {motor_state_name, INT_MIN, "NO_SUCH_MOTOR_STATE"},
        {part_name, INT_MAX, "NONE"},
    };
    for (const NameCase &c : cases)
        EXPECT_STREQ(c.fn(c.index), c.expected) << "index " << c.index;
}

TEST(NameTables, JointToBody)
{
    const int expected[20] = {0, 3, 4, 2, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 17, 19, 20};
    for (int j = 0; j < 20; j++)
        EXPECT_EQ(joint_to_body(j), expected[j]);
    EXPECT_EQ(joint_to_body(20), -1);
    EXPECT_EQ(joint_to_body(-1), -1);
}

TEST(BuiltinTables, Consistent)
{
    for (int i = 0; i < 21; i++) {
        const BodyDef &b = builtin_body_table[i];
        EXPECT_EQ(b.index, i);
        // Lower-case copy of the body name, but body 4 is "groin".
        char upper[32];
        snprintf(upper, sizeof upper, "%s", b.name);
        for (char *c = upper; *c; c++)
            *c = (char)toupper(*c);
        if (i != 4) {
            EXPECT_STREQ(upper, body_name(i));
        }
        EXPECT_EQ(b.ground_flag, (i == 0 || i == 11 || i == 12 || i == 19 || i == 20) ? 1 : 0)
            << b.name;
        EXPECT_EQ(b.flags, (i == 11 || i == 12) ? BODY_HAND : 0) << b.name;
    }
    EXPECT_STREQ(builtin_body_table[4].name, "groin");
    EXPECT_EQ(builtin_body_table[21].index, 21);
    EXPECT_EQ(builtin_body_table[21].shape, -1);

    for (int j = 0; j < 20; j++) {
        const JointDef &d = builtin_joint_table[j];
        EXPECT_EQ(d.index, j);
        // Outside the torso, the body a joint moves is one of the two it joins.
        int moved = joint_to_body(j);
        if (j < 1 || j > 3) {
            EXPECT_TRUE(moved == d.body_a || moved == d.body_b) << d.name;
        }
        EXPECT_GT(d.hi_stop, d.lo_stop) << d.name;
        float axis_len = d.axis[0] + d.axis[1] + d.axis[2];
        EXPECT_FLOAT_EQ(axis_len, 1.0f) << d.name;
    }
    EXPECT_EQ(builtin_joint_table[20].name, nullptr);
    EXPECT_STREQ(builtin_joint_table[18].name, "r_ankle");
    EXPECT_STREQ(builtin_joint_table[19].name, "l_ankle");
}

TEST(BuiltinTables, SampleRows)
{
    const BodyDef &head = builtin_body_table[0];
    EXPECT_EQ(head.shape, SHAPE_SPHERE);
    EXPECT_FLOAT_EQ(head.position[2], 2.65f);
    EXPECT_FLOAT_EQ(head.sides[0], 0.2f);
    const BodyDef &rhand = builtin_body_table[11];
    EXPECT_FLOAT_EQ(rhand.position[0], -0.35f);
    EXPECT_FLOAT_EQ(rhand.sides[0], 0.0f);
    EXPECT_FLOAT_EQ(rhand.alt_sides[2], 0.15f);
    EXPECT_FLOAT_EQ(rhand.colour[1], 0.8f);
    const BodyDef &lleg = builtin_body_table[17];
    EXPECT_EQ(lleg.shape, SHAPE_CYLINDER);
    EXPECT_FLOAT_EQ(lleg.position[0], 1.2f);
    EXPECT_FLOAT_EQ(lleg.sides[0], 0.13f);

    const JointDef &elbow = builtin_joint_table[6];
    EXPECT_FLOAT_EQ(elbow.anchor[0], 0.25f);
    EXPECT_FLOAT_EQ(elbow.lo_stop, 0.05f);
    EXPECT_FLOAT_EQ(elbow.velocity, 40.0f);
    EXPECT_EQ(elbow.body_a, 7);
    EXPECT_EQ(elbow.body_b, 6);
    EXPECT_EQ(elbow.group_flag, 1);
    const JointDef &ankle = builtin_joint_table[19];
    EXPECT_FLOAT_EQ(ankle.break_hi, 2.5f);
    EXPECT_FLOAT_EQ(ankle.break_lo, -0.7f);
    EXPECT_FLOAT_EQ(ankle.strength, 1.0f);
    int groups = 0;
    for (int j = 0; j < 20; j++)
        groups += builtin_joint_table[j].group_flag;
    EXPECT_EQ(groups, 8);
}

class Access : public ::testing::Test {
protected:
    void SetUp() override
    {
        memset(players, 0, sizeof players);
        memset(&match_state, 0, sizeof match_state);
        memset(&current_rules, 0, sizeof current_rules);
        match_state.num_players = 2;
        replay_mode = REPLAY_LIVE;
    }
};

TEST_F(Access, NextTurnframesCycles)
{
    current_rules.turnframes[0] = 5;
    current_rules.turnframes[1] = 10;
    current_rules.turnframes_count = 2;
    match_state.turn = 3;
    EXPECT_EQ(next_turnframes(), 11);
    EXPECT_EQ(match_state.turn, 4);
    EXPECT_EQ(next_turnframes(), 6);
    // An empty or broken list never yields a turn that can't end.
    current_rules.turnframes_count = 0;
    EXPECT_GE(next_turnframes(), 2);
    current_rules.turnframes_count = 1;
    current_rules.turnframes[0] = 0;
    EXPECT_GE(next_turnframes(), 2);
}

TEST_F(Access, JointIndexBounds)
{
    match_state.game_paused = 1;
    EXPECT_EQ(can_change_joint(0, 19), 1);
    EXPECT_EQ(can_change_joint(0, 20), 0);
    EXPECT_EQ(can_change_joint(0, -1), 0);
    EXPECT_EQ(can_change_joint(8, 0), 0);
    players[0].joints[3].broken = JOINT_FRACTURED;
    EXPECT_EQ(can_change_joint(0, 3), 0);
    // Live and simulating: nothing may change.
    match_state.game_paused = 0;
    EXPECT_EQ(can_change_joint(0, 0), 0);
    EXPECT_EQ(get_commanded_state(0, 20), -1);
    EXPECT_EQ(get_player(-1), nullptr);
    EXPECT_EQ(get_player(8), nullptr);
    EXPECT_EQ(get_player(7), &players[7]);
    EXPECT_EQ(get_first_ghost(), &players[2]);
}

TEST_F(Access, Selection)
{
    players[1].sel_a = players[1].sel_b = 4;
    EXPECT_EQ(set_selection(1, 22), 1);
    EXPECT_EQ(players[1].sel_a, 4);
    EXPECT_EQ(set_selection(1, 7), 0);
    EXPECT_EQ(players[1].sel_a, 7);
    EXPECT_EQ(players[1].sel_b, 7);
    EXPECT_EQ(set_selection(-1, 0), 1);
}

TEST_F(Access, MirrorAndPositions)
{
    players[0].joint_state[4] = MOTOR_FWD;
    players[0].joint_state[7] = MOTOR_BACK;
    mirror_joint_pair(0, 4, 7);
    EXPECT_EQ(players[0].joint_state[4], MOTOR_BACK);
    EXPECT_EQ(players[0].joint_state[7], MOTOR_FWD);
    players[0].joint_state[7] = MOTOR_HOLD;
    mirror_joint_pair(0, 4, 7);
    EXPECT_EQ(players[0].joint_state[4], MOTOR_BACK);

    players[0].joints[2].hi_stop = 1.0;
    players[0].joints[2].lo_stop = -1.0;
    EXPECT_DOUBLE_EQ(joint_position(0, 2, 0.0), 0.5);
    EXPECT_DOUBLE_EQ(joint_position(0, 2, 3.0), 1.0);
    players[0].joints[2].lo_stop = 1.0;   // empty range from a mod
    EXPECT_EQ(joint_position(0, 2, 0.5), 0.0);
    EXPECT_FLOAT_EQ(hold_force(0, 1), 4.0f / 3.0f);
}

TEST_F(Access, PartFlagsAndMaterials)
{
    EXPECT_EQ(ground_forbidden(0, 0), 1);
    EXPECT_EQ(ground_forbidden(0, 21), 1);
    EXPECT_EQ(part_material(-1, 3), 0);
    EXPECT_EQ(part_material(0, 25), 0);
    // Parts far outside the tables name nothing, without overflowing.
    EXPECT_EQ(ground_forbidden(0, INT_MIN), 0);
    EXPECT_EQ(part_material(0, INT_MIN), 0);
    EXPECT_EQ(ground_forbidden(0, INT_MAX), 0);
}

TEST_F(Access, TeamsAndLosses)
{
    int good[] = {3, 2, 0, 1, 0};
    EXPECT_EQ(set_teams(good, &current_rules), 0);
    EXPECT_EQ(match_state.num_players, 3);
    EXPECT_EQ(match_state.team_count, 2);
    EXPECT_EQ(players[1].team, 1);
    int bad[] = {5, 2, 0, 1, 0, 1, 0};
    EXPECT_EQ(set_teams(bad, &current_rules), 1);
    EXPECT_EQ(match_state.num_players, 3);
    int zero[] = {0, 0};
    EXPECT_EQ(set_teams(zero, &current_rules), 1);

    float pos[3] = {1, 2, 3};
    EXPECT_EQ(store_loss(50, 3, 1, pos), 1);   // outside the match
    EXPECT_EQ(store_loss(50, -1, 1, pos), 1);
    EXPECT_EQ(players[3].flags & PLAYER_LOST, 0);
    EXPECT_EQ(store_loss(50, 2, 1, pos), 0);
    EXPECT_EQ(players[2].flags & PLAYER_LOST, PLAYER_LOST);
    EXPECT_EQ(match_state.ready_bits & PLAYER_LOST, PLAYER_LOST);
    EXPECT_FLOAT_EQ(match_result.loss[2].position[1], 2.0f);
}

TEST_F(Access, BoutQueries)
{
    memset(bout_list, 0, sizeof bout_list);
    num_bouts = 4;
    for (int i = 0; i < 4; i++)
        bout_list[i].user_id = 100 + i;
    own_id = 103;
    EXPECT_EQ(own_bout_index(), -1);
    EXPECT_EQ(is_fighting(), 0);
    set_own_queue_position();
    EXPECT_EQ(queue_position, 2);
    own_id = 101;
    EXPECT_EQ(own_bout_index(), 1);
    EXPECT_EQ(is_fighting(), 1);
    EXPECT_EQ(have_enough_fighters(), 1);
    num_bouts = 1;
    EXPECT_EQ(have_enough_fighters(), 0);
    EXPECT_EQ(own_bout_index(), -1);   // only listed entries count
    own_id = -1;
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/blood.h"
#include "core/collide.h"
#include "core/damage.h"
#include "core/motors.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/sane.h"
#include "core/world.h"

namespace {

class CollideTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        core_outward = CoreOutward();
        game_init();
        memset(&current_rules, 0, sizeof current_rules);
        current_rules.matchframes = 1000;
        replay_mode = REPLAY_LIVE;
        game_type = 0;
        match_state.game_paused = 0;
        match_state.game_over = 0;
        match_state.ghost_mode = GHOST_OFF;
        match_state.match_frame = 1;
    }
    void TearDown() override
    {
        game_shutdown();
        core_outward = CoreOutward();
        replay_mode = REPLAY_CYCLE;
        game_type = 0;
    }
};

// The simulated part of one frame, in the frame step's order.
void run_frame()
{
    apply_joint_states();
    match_state.match_frame += 1;
    collide_space(live_space);
    dWorldStep(physics_world, world_step_size);
    dJointGroupEmpty(contact_group);
    if (collision_count > 0)
        apply_collision_damage();
}

void move_fighter(int p, double dx, double dy, double dz)
{
    for (int b = 0; b < NUM_BODIES; b++) {
        const dReal *q = dBodyGetPosition(players[p].body[b]);
        dBodySetPosition(players[p].body[b], q[0] + dx, q[1] + dy, q[2] + dz);
    }
}

double distance(const dReal *a, const dReal *b)
{
    return sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                (a[2] - b[2]) * (a[2] - b[2]));
}

int live_drops()
{
    int n = 0;
    for (int i = 0; i < NUM_BLOOD_DROPS; i++)
        n += blood_drops[i].life > 0;
    return n;
}

// Fighter 0's right forearm is driven at speed into fighter 1's head, both
// fighters held clear of the ground.
void set_up_blow()
{
    dWorldSetGravity(physics_world, 0, 0, 0);
    move_fighter(0, 0, 0, 1);
    const dReal *arm = dBodyGetPosition(players[0].body[7]);
    const dReal *head = dBodyGetPosition(players[1].body[0]);
    move_fighter(1, arm[0] - head[0], arm[1] + 0.24 - head[1], arm[2] - head[2]);
    dBodySetLinearVel(players[0].body[7], 0, 20, 0);
}

TEST_F(CollideTest, BlowGivesDamageAndPointsToTheHitter)
{
    set_up_blow();
    run_frame();
    EXPECT_GT(players[1].injury, 0);
    EXPECT_GT(players[1].head_force, 0);
    EXPECT_EQ(players[1].part_hit[0], 1.0f);
    EXPECT_GT(players[0].score, players[1].score);
    EXPECT_EQ(collision_count, 0);
    EXPECT_GT(live_drops(), 0);   // a hard hit between fighters bleeds
}

TEST_F(CollideTest, BlowAfterTheGameIsOverChangesNothing)
{
    set_up_blow();
    match_state.game_over = 1;
    run_frame();
    for (int p = 0; p < 2; p++) {
        EXPECT_EQ(players[p].injury, 0);
        EXPECT_EQ(players[p].score, 0);
    }
}

TEST_F(CollideTest, SelfContactsOnlyScoreWithDamageRule)
{
    // Rule damage 2 records only self contacts; an opponent's blow is no record.
    current_rules.damage = 2;
    set_up_blow();
    collide_space(live_space);
    EXPECT_EQ(collision_count, 0);
    dJointGroupEmpty(contact_group);
    // And a fighter that hurts itself loses the points.
    const double pos[3] = {0, 0, 1};
    double d = collision_damage(0, 0, 1, 0, 10, 10, pos);
    EXPECT_EQ(d, 700);
    EXPECT_EQ(players[0].score, -700);
    EXPECT_EQ(players[0].injury, 700);
}

TEST_F(CollideTest, GrippingHandHoldsOnUntilReleased)
{
    dWorldSetGravity(physics_world, 0, 0, 0);
    // Fighter 1's right forearm sits in fighter 0's left hand.
    const dReal *hand = dBodyGetPosition(players[0].body[12]);
    const dReal *arm = dBodyGetPosition(players[1].body[7]);
    move_fighter(1, hand[0] - arm[0], hand[1] + 0.08 - arm[1], hand[2] - arm[2]);
    ASSERT_EQ(set_grip(0, 12, GRIP_GRIP), 0);
    run_frame();
    dJointID grip = players[0].grip_joint[12];
    ASSERT_NE(grip, nullptr);
    EXPECT_EQ(players[0].grip_target[12], -1);
    EXPECT_EQ(dJointGetBody(grip, 0), players[0].body[12]);
    dBodyID held = dJointGetBody(grip, 1);
    int of_fighter1 = 0;
    for (int b = 0; b < NUM_BODIES; b++)
        of_fighter1 |= players[1].body[b] == held;
    EXPECT_TRUE(of_fighter1);

    // Pull the fighters apart: the grip keeps the two anchors together.
    for (int b = 0; b < NUM_BODIES; b++)
        dBodySetLinearVel(players[1].body[b], 0, -0.5, 0);
    for (int f = 0; f < 20; f++)
        run_frame();
    EXPECT_EQ(players[0].grip_joint[12], grip);
    dVector3 a1, a2;
    dJointGetHingeAnchor(grip, a1);
    dJointGetHingeAnchor2(grip, a2);
    EXPECT_LT(distance(a1, a2), 0.05);

    set_grip(0, 12, GRIP_RELEASE);
    run_frame();
    EXPECT_EQ(players[0].grip_joint[12], nullptr);
    EXPECT_EQ(players[0].grip_l, GRIP_RELEASE);
}

TEST_F(CollideTest, TwentyContactsMakeSixteenRecordsAndTwentyJoints)
{
    match_state.game_paused = 1;
    dBodyID head = players[1].body[0];
    int joints_before = dBodyGetNumJoints(head);
    clear_collision_list();
    for (int j = 0; j < NUM_JOINTS; j++) {
        double pos[3], rot[12];
        ASSERT_EQ(geom_world_pose(players[0].joint_geom[j], pos, rot), 0);
        dBodySetPosition(head, pos[0] + 0.1, pos[1], pos[2]);
        near_callback(nullptr, players[0].joint_geom[j], players[1].geom[0]);
    }
    EXPECT_EQ(dBodyGetNumJoints(head) - joints_before, 20);
    EXPECT_EQ(collision_count, MAX_COLLISIONS);
    EXPECT_EQ(collisions_dropped, 4);
    EXPECT_EQ(collision_list[15].player_a, 0);
    EXPECT_EQ(collision_list[15].player_b, 1);
    EXPECT_EQ(collision_list[15].part_b, 0);
    dJointGroupEmpty(contact_group);
    apply_collision_damage();
    EXPECT_EQ(collision_count, 0);
    EXPECT_EQ(collisions_dropped, 0);
}

TEST_F(CollideTest, GroundTouchDisqualifiesExactlyAtTheTimeout)
{
    const double pos[3] = {1, -0.1, 0};
    struct Case {
        const char *what;
        int game_type, part, sumo, flags, out_frame;   // out_frame 0: never
        int touches[6];
    } cases[] = {
        {"breast, local", 0, 1, 0, RULE_FLAG_DQ, 15, {10, 11, 13, 15, 16, 0}},
        {"breast, online", 1, 1, 0, RULE_FLAG_DQ, 0, {10, 15, 16, 0}},
        {"breast, no rule", 0, 1, 0, 0, 0, {10, 15, 16, 0}},
        {"hand", 0, 12, 0, RULE_FLAG_DQ, 0, {10, 15, 16, 0}},
        {"wrist, sumo", 0, 31, 1, RULE_FLAG_DQ, 0, {10, 15, 16, 0}},
        {"wrist", 0, 31, 0, RULE_FLAG_DQ, 15, {10, 15, 0}},
        {"new window", 0, 1, 0, RULE_FLAG_DQ, 21, {10, 16, 20, 21, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PlayerState &p = players[0];
        p.out = p.touch_first = p.touch_last = p.touch_time = 0;
        p.injury = p.score = 0;
        current_rules.dqtimeout = 5;
        current_rules.sumo = c.sumo;
        current_rules.flags = c.flags;
        game_type = c.game_type;
        int out_at = 0;
        for (int k = 0; c.touches[k]; k++) {
            match_state.match_frame = c.touches[k];
            collision_damage(0, -1, c.part, 1, 0, 0, pos);
            if (p.out && !out_at)
                out_at = c.touches[k];
        }
        EXPECT_EQ(out_at, c.out_frame);
        if (c.out_frame) {
            // Once out, once punished.
            collision_damage(0, -1, c.part, 1, 0, 0, pos);
            EXPECT_EQ(p.injury, 3000);
            EXPECT_EQ(p.score, -3000);
            EXPECT_EQ(match_state.dq_position[0][0], pos[0]);
        }
    }
}

TEST_F(CollideTest, DojoShapes)
{
    struct {
        int type, size;
        double x, y;
        int outside;
    } table[] = {
        {0, 1000, 5.9, -0.1, 0}, {0, 1000, 6.1, -0.1, 1}, {0, 1000, 1, 4.8, 0},
        {0, 1000, 1, -5.2, 1},   {1, 1000, 8, 6, 0},      {1, 1000, 9, 6, 1},
        {0, 0, 100, 100, 0},     {2, 1000, 100, 100, 0},
    };
    for (const auto &row : table) {
        current_rules.dojotype = row.type;
        current_rules.dojosize = row.size;
        EXPECT_EQ(is_outside_dojo(row.x, row.y), row.outside)
            << row.type << " " << row.x << "," << row.y;
    }
}

TEST_F(CollideTest, FighterPushedOutOfTheDojoIsOut)
{
    for (int type = 0; type <= 1; type++) {
        SCOPED_TRACE(type);
        game_shutdown();
        game_init();
        memset(&current_rules, 0, sizeof current_rules);
        match_state.game_paused = 0;
        match_state.match_frame = 1;
        current_rules.dojotype = type;
        current_rules.dojosize = 1000;
        current_rules.dqtimeout = 3;
        move_fighter(0, 12, 0, 0);
        int first = 0;
        for (int f = 0; f < 60 && !players[0].out; f++) {
            run_frame();
            if (!first && players[0].touch_first)
                first = players[0].touch_first;
        }
        EXPECT_EQ(players[0].out, 1);
        EXPECT_GE(match_state.match_frame, first + 3);
        EXPECT_LE(match_state.match_frame, first + 6);
        EXPECT_GT(match_state.dq_position[0][0], 6);
        EXPECT_EQ(players[1].out, 0);
        EXPECT_EQ(players[1].touch_first, 0);
    }
}

TEST_F(CollideTest, GroundContactInsideTheDojoWithoutRuleIsNoRecord)
{
    current_rules.dojosize = 1000;
    for (int f = 0; f < 30; f++)
        run_frame();
    int before = dBodyGetNumJoints(players[1].body[19]) + dBodyGetNumJoints(players[1].body[20]);
    clear_collision_list();
    collide_space(live_space);
    EXPECT_GT(dBodyGetNumJoints(players[1].body[19]) + dBodyGetNumJoints(players[1].body[20]),
              before);
    EXPECT_EQ(collision_count, 0);
    dJointGroupEmpty(contact_group);
    EXPECT_EQ(players[0].touch_first, 0);
    EXPECT_EQ(players[1].touch_first, 0);
}

TEST_F(CollideTest, BloodOnlyFromFightersOfTheMatch)
{
    const double pos[3] = {1, 0, 1};
    struct {
        int player_a, player_b, part_a, part_b, other_class, drops;
    } table[] = {
        {0, -1, 1, -1, GEOM_ENV, 1},     // fighter hurt by an object
        {-1, 0, -1, 1, GEOM_ENV, 1},     // the same with the sides swapped
        {0, -1, 12, -1, GEOM_ENV, 0},    // a hand takes no damage: the chosen side is nobody
        {3, 1, 1, 12, GEOM_BODY, 0},     // a ghost record: no fighter of the match
        {0, -1, 1, -1, GEOM_GROUND, 0},  // ground contacts never bleed
    };
    for (const auto &row : table) {
        SCOPED_TRACE(testing::Message() << row.player_a << "," << row.player_b);
        reset_blood_drops();
        memset(&collision_list[0], 0, sizeof collision_list[0]);
        CollisionRecord &r = collision_list[0];
        r.player_a = row.player_a;
        r.player_b = row.player_b;
        r.part_a = row.part_a;
        r.part_b = row.part_b;
        r.other_class = (uint8_t)row.other_class;
        r.feedback.f1[0] = 10;
        r.closing_speed = 10;
        memcpy(r.position, pos, sizeof pos);
        collision_count = 1;
        apply_collision_damage();
        EXPECT_EQ(live_drops(), row.drops);
    }
}

TEST_F(CollideTest, CuttingBodyMarksTheJointItTouches)
{
    default_body_templates[7].flags |= BODY_CUTTER2;   // the forearm cuts
    set_up_blow();
    collide_space(live_space);
    dJointGroupEmpty(contact_group);
    EXPECT_EQ(players[1].joints[0].cut_pending, 0);   // no dismemberment rule
    current_rules.flags = RULE_FLAG_DISMEMBER;
    collide_space(live_space);
    dJointGroupEmpty(contact_group);
    EXPECT_EQ(players[1].joints[0].cut_pending, 1);   // the head's joint, the neck
    EXPECT_EQ(players[0].joints[6].cut_pending, 0);
    default_body_templates[7].flags &= ~BODY_CUTTER2;
}

// A static box where fighter 0's left hand is.
void place_object_at_hand(int flags)
{
    const dReal *hand = dBodyGetPosition(players[0].body[12]);
    EnvObject &o = current_world.objects[0];
    memset(&o, 0, sizeof o);
    o.used = 1;
    o.flags = ENV_STATIC | flags;
    o.shape = SHAPE_BOX;
    o.position[0] = hand[0] + 0.2;
    o.position[1] = hand[1];
    o.position[2] = hand[2];
    o.sides[0] = o.sides[1] = o.sides[2] = 0.2;
    o.mass = 1;
    build_env_objects();
    reset_env_objects();
}

TEST_F(CollideTest, GripOnAnObjectDropsItsContacts)
{
    for (int no_grip = 0; no_grip <= 1; no_grip++) {
        SCOPED_TRACE(no_grip);
        release_all_grips(0);
        dWorldSetGravity(physics_world, 0, 0, 0);
        place_object_at_hand(no_grip ? ENV_NO_GRIP : 0);
        set_grip(0, 12, GRIP_GRIP);
        apply_joint_states();
        clear_collision_list();
        collide_space(live_space);
        dJointGroupEmpty(contact_group);
        if (no_grip) {
            EXPECT_EQ(players[0].grip_joint[12], nullptr);
            int with_object = 0;   // a plain contact with an object
            for (int k = 0; k < collision_count; k++)
                with_object += collision_list[k].other_class == GEOM_ENV;
            EXPECT_GT(with_object, 0);
            continue;
        }
        ASSERT_NE(players[0].grip_joint[12], nullptr);
        EXPECT_EQ(players[0].grip_target[12], 0);
        EXPECT_EQ(dJointGetBody(players[0].grip_joint[12], 1), nullptr);   // held to the world
        clear_collision_list();
        collide_space(live_space);
        dJointGroupEmpty(contact_group);
        EXPECT_EQ(collision_count, 0);
    }
}

}  // namespace

namespace {

// A body the step has blown up (a position that is not a number, a speed
// past every bound, a place far outside the world) is put back into the world at rest
// before the space is collided, so the space never sees a box it can't
// place, and the frames after it still step. Sound bodies are left as
// they are.
TEST_F(CollideTest, BlownUpBodiesAreSettledBeforeTheSpaceCollides)
{
    dBodyID head = players[0].body[0], chest = players[0].body[1], far = players[1].body[2];
    const dReal *kept = dBodyGetPosition(players[1].body[0]);
    dReal before[3] = {kept[0], kept[1], kept[2]};
    dBodySetPosition(head, NAN, 1, 2);
    dBodySetLinearVel(chest, 1e30, 0, 0);
    dBodySetAngularVel(chest, 0, NAN, 0);
    dBodySetPosition(far, 0, 5e6, 1);

    EXPECT_EQ(settle_unsound_bodies(live_space), 3);
    const dReal *h = dBodyGetPosition(head);
    EXPECT_EQ(h[0], 0);
    EXPECT_EQ(h[1], 1);
    EXPECT_EQ(dBodyGetLinearVel(chest)[0], 0);
    EXPECT_EQ(dBodyGetAngularVel(chest)[1], 0);
    EXPECT_EQ(dBodyGetPosition(far)[1], SANE_POSITION);
    const dReal *after = dBodyGetPosition(players[1].body[0]);
    for (int k = 0; k < 3; k++)
        EXPECT_EQ(after[k], before[k]);

    // Blown up again: the frames collide and step on (a body torn from its
    // joints may blow up again and is settled again before the next
    // collision), and every body stays a number.
    dBodySetPosition(head, NAN, NAN, NAN);
    for (int i = 0; i < 5; i++)
        run_frame();
    settle_unsound_bodies(live_space);
    for (int p = 0; p < 2; p++)
        for (int b = 0; b < NUM_BODIES; b++)
            for (int k = 0; k < 3; k++)
                EXPECT_TRUE(std::isfinite(dBodyGetPosition(players[p].body[b])[k])) << p << " " << b;
}

// A shape without a body far outside the world (its box would not fit the
// space's cells) is taken out of the collisions instead of aborting them.
TEST_F(CollideTest, ShapeOutOfRangeIsTakenOutOfTheCollisions)
{
    dGeomID stray = dCreateBox(live_space, 1, 1, 1);
    dGeomSetPosition(stray, 0, 4e9, 0);
    EXPECT_EQ(settle_unsound_bodies(live_space), 1);
    EXPECT_FALSE(dGeomIsEnabled(stray));
    run_frame();
    EXPECT_EQ(settle_unsound_bodies(live_space), 0);
    dGeomDestroy(stray);
}

} // namespace

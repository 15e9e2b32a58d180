#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "core/collide.h"
#include "core/mod.h"
#include "core/newgame.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/step.h"
#include "core/world.h"

namespace {

class WorldTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        core_outward = CoreOutward();
        game_init();
    }
    void TearDown() override
    {
        game_shutdown();
        match_state.num_players = 2;
        core_outward = CoreOutward();
    }
};

int touches(dGeomID a, dGeomID b)
{
    return (dGeomGetCategoryBits(a) & dGeomGetCollideBits(b)) ||
           (dGeomGetCategoryBits(b) & dGeomGetCollideBits(a));
}

TEST_F(WorldTest, BuildsFightersGhostsAndTheirRecords)
{
    EXPECT_EQ(fighters_built, 4);
    ASSERT_NE(physics_world, nullptr);
    EXPECT_EQ(dWorldGetCFM(physics_world), (double)0.2f);
    dVector3 g;
    dWorldGetGravity(physics_world, g);
    EXPECT_FLOAT_EQ(g[2], -9.82f);
    // Bodies exist exactly for the records below fighters_built.
    for (int r = 0; r < MAX_PLAYERS; r++) {
        for (int b = 0; b < NUM_BODIES; b++)
            EXPECT_EQ(players[r].body[b] != nullptr, r < fighters_built) << r << " " << b;
        for (int j = 0; j < NUM_JOINTS; j++)
            EXPECT_EQ(players[r].hinge[j] != nullptr, r < fighters_built);
    }
    EXPECT_STREQ(players[0].name, "kasu");
    EXPECT_STREQ(players[1].name, "uke");
    EXPECT_STREQ(players[2].name, "GHOST1");
    EXPECT_STREQ(players[3].name, "GHOST2");
    EXPECT_STREQ(players[3].name_lower, "ghost2");
    for (int r = 0; r < 4; r++) {
        int ghost = r >= 2;
        EXPECT_EQ(players[r].is_ghost, ghost);
        EXPECT_EQ(players[r].no_input, ghost);
        EXPECT_EQ(players[r].own_index, r);
        EXPECT_EQ(dBodyIsEnabled(players[r].body[5]) != 0, !ghost);
        EXPECT_EQ(dGeomIsEnabled(players[r].geom[5]) != 0, !ghost);
        EXPECT_EQ(dGeomIsEnabled(players[r].joint_geom[7]) != 0, !ghost);
        EXPECT_EQ(dGeomGetSpace(players[r].geom[0]), ghost ? ghost_space : live_space);
    }
    // One shared table set: only "INIT".
    EXPECT_EQ(stance_count, 1);
    EXPECT_STREQ(stance_slots[0].name, "INIT");
    EXPECT_EQ(default_world.body_tables[7], default_body_templates);
    EXPECT_EQ(match_state.num_players, 2);
    EXPECT_EQ(match_state.game_paused, 1);
    EXPECT_EQ(replay_mode, REPLAY_CYCLE);
    EXPECT_EQ(own_player_index, -1);
    EXPECT_EQ(match_state.ghost_length, 100);
    EXPECT_EQ(match_state.losers[0], -1);
}

TEST_F(WorldTest, PlacesBodiesAndHingesFromTheTables)
{
    // Fighter 1 stands at offset (0, -1, 0).
    const dReal *head = dBodyGetPosition(players[1].body[0]);
    EXPECT_NEAR(head[0], 1.0, 1e-6);
    EXPECT_NEAR(head[1], -0.15, 1e-6);
    EXPECT_NEAR(head[2], 2.65, 1e-6);
    dVector3 anchor;
    dJointGetHingeAnchor(players[1].hinge[0], anchor);
    EXPECT_NEAR(anchor[1], 0.9 - 1.0, 1e-6);
    EXPECT_NEAR(anchor[2], 2.5, 1e-6);
    dVector3 axis;
    dJointGetHingeAxis(players[0].hinge[2], axis);   // lumbar: y
    EXPECT_NEAR(axis[1], 1.0, 1e-9);
    for (int j = 0; j < NUM_JOINTS; j++) {
        EXPECT_FLOAT_EQ(dJointGetHingeParam(players[0].hinge[j], dParamHiStop),
                        builtin_joint_table[j].hi_stop);
        EXPECT_FLOAT_EQ(dJointGetHingeParam(players[0].hinge[j], dParamLoStop),
                        builtin_joint_table[j].lo_stop);
        EXPECT_EQ(dJointGetBody(players[0].hinge[j], 0),
                  players[0].body[builtin_joint_table[j].body_a]);
        EXPECT_FLOAT_EQ(players[0].joints[j].break_hi, builtin_joint_table[j].break_hi);
    }
    // The joint sphere sits at its anchor and is carried by its body.
    dGeomID t = players[0].joint_geom[16];   // r_knee on r_thigh
    EXPECT_EQ(dGeomGetBody(t), players[0].body[15]);
    const GeomInfo *gi = static_cast<const GeomInfo *>(dGeomGetData(t));
    ASSERT_NE(gi, nullptr);
    EXPECT_EQ(gi->geom_class, GEOM_JOINT);
    EXPECT_EQ(gi->part, 21 + 16);
    const dReal *inner = dGeomGetPosition(dGeomTransformGetGeom(t));
    EXPECT_NEAR(inner[2], 0.8 - 1.1, 1e-6);
    const GeomInfo *bi = static_cast<const GeomInfo *>(dGeomGetData(players[0].geom[17]));
    EXPECT_EQ(bi->joint, 17);   // l_leg carries the left knee's index
    EXPECT_EQ(bi->player, 0);
}

TEST_F(WorldTest, MassesComeFromTheShapes)
{
    struct Case {
        int body;
        double mass;
    } cases[] = {
        {0, 0.25 * 4.0 / 3.0 * M_PI * 0.2 * 0.2 * 0.2},
        {2, 0.25 * 0.5 * 0.15 * 0.2},
        {15, 0.25 * (M_PI * 0.12 * 0.12 * 0.3 + 4.0 / 3.0 * M_PI * 0.12 * 0.12 * 0.12)},
        // the lightest bodies, the two buttocks, keep their own mass too
        {13, 0.25 * 0.1 * 0.1 * 0.1},
        {14, 0.25 * 0.1 * 0.1 * 0.1},
    };
    for (const Case &c : cases) {
        dMass m;
        dBodyGetMass(players[0].body[c.body], &m);
        EXPECT_NEAR(m.mass, c.mass, 1e-9) << "body " << c.body;
    }
    double total = 0;
    for (int b = 0; b < NUM_BODIES; b++) {
        dMass m;
        dBodyGetMass(players[0].body[b], &m);
        EXPECT_TRUE(m.mass > 0 && std::isfinite(m.mass)) << "body " << b;   // hands too
        total += m.mass;
    }
    EXPECT_NEAR(players[0].total_mass, total, 1e-12);
}

TEST_F(WorldTest, CollisionTablesAndFilterMatrix)
{
    const uint32_t cat[COLLIDE_BITS] = {0, 1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096};
    const uint32_t col[COLLIDE_BITS] = {0,   62,   61,   59,   55,   8127, 0,
                                        128, 0,    7712, 7456, 6944, 5920, 8096};
    for (int k = 0; k < COLLIDE_BITS; k++) {
        EXPECT_EQ(category_bit[k], cat[k]) << k;
        EXPECT_EQ(collide_mask[k], col[k]) << k;
    }
    EXPECT_EQ(severed_mask, 191u);

    dGeomID drop = blood_drops[3].geom;
    const PlayerState &a = players[0], &b = players[1], &ghost = players[2];
    struct Case {
        const char *what;
        dGeomID x, y;
        int expected;
    } cases[] = {
        {"torso vs ground", a.geom[2], live_ground, 0},
        {"stomach vs ground", a.geom[3], live_ground, 0},
        {"head vs ground", a.geom[0], live_ground, 1},
        {"r_hand vs ground", a.geom[11], live_ground, 1},
        {"l_hand vs ground", a.geom[12], live_ground, 1},
        {"r_foot vs ground", a.geom[19], live_ground, 1},
        {"l_foot vs ground", a.geom[20], live_ground, 1},
        {"joint sphere vs ground", a.joint_geom[3], live_ground, 1},
        {"fighter vs fighter", a.geom[2], b.geom[2], 1},
        {"hand vs fighter", a.geom[11], b.geom[0], 1},
        {"hand vs own torso", a.geom[11], a.geom[2], 1},
        {"own torso vs own torso", a.geom[1], a.geom[2], 0},
        {"drop vs fighter", drop, a.geom[2], 0},
        {"drop vs hand", drop, a.geom[11], 0},
        {"drop vs ground", drop, live_ground, 1},
        {"ghost vs live fighter", ghost.geom[2], b.geom[2], 0},
        {"ghost head vs ghost ground", ghost.geom[0], ghost_ground, 1},
        {"mouse ray vs fighter", mouse_ray, a.geom[0], 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(touches(c.x, c.y), c.expected) << c.what;
}

TEST_F(WorldTest, BloodDropsAndMouseRay)
{
    for (int i = 0; i < NUM_BLOOD_DROPS; i++) {
        const BloodDrop &d = blood_drops[i];
        ASSERT_NE(d.body, nullptr);
        EXPECT_FALSE(dBodyIsEnabled(d.body));
        EXPECT_NEAR(dBodyGetPosition(d.body)[2], 10.0 + i, 1e-9);
        EXPECT_NEAR(d.size, std::fabs(2 * std::sin(std::tan((double)i))) * 0.01 + 0.005, 1e-6);
        const GeomInfo *gi = static_cast<const GeomInfo *>(dGeomGetData(d.geom));
        EXPECT_EQ(gi->geom_class, GEOM_DROP);
        EXPECT_EQ(gi->drop, i);
    }
    ASSERT_EQ(get_mouse_ray(), mouse_ray);
    EXPECT_EQ(dGeomRayGetLength(mouse_ray), 100.0);
    EXPECT_EQ(dGeomGetSpace(mouse_ray), live_space);
}

TEST_F(WorldTest, DestroyAndRebuildManyTimes)
{
    int geoms = dSpaceGetNumGeoms(live_space);
    int infos = geom_info_count;
    for (int cycle = 0; cycle < 50; cycle++) {
        destroy_world();
        ASSERT_EQ(physics_world, nullptr);
        ASSERT_EQ(live_space, nullptr);
        ASSERT_EQ(mouse_ray, nullptr);
        ASSERT_EQ(fighters_built, 0);
        ASSERT_EQ(geom_info_count, 0);
        ASSERT_EQ(collision_count, 0);
        ASSERT_EQ(players[0].body[0], nullptr);
        ASSERT_EQ(rebuild_world(), 0);
        ASSERT_EQ(fighters_built, 4);
        ASSERT_EQ(geom_info_count, infos);
        ASSERT_EQ(dSpaceGetNumGeoms(live_space), geoms);
    }
    // Building over a live world replaces it instead of stacking a second one.
    ASSERT_EQ(build_world(&default_world), 0);
    EXPECT_EQ(fighters_built, 4);
    EXPECT_EQ(geom_info_count, infos);
}

TEST_F(WorldTest, MissingModFallsBackToTheDefaultWorld)
{
    EXPECT_EQ(load_mod_world("no_such_mod.zmm"), 0);
    EXPECT_EQ(fighters_built, 4);
    EXPECT_NE(players[1].body[20], nullptr);
    EXPECT_EQ(current_world.body_tables[0], default_body_templates);
}

// A world with one moving and one static environment object.
void build_with_objects()
{
    WorldDescription w = default_world;
    EnvObject &o = w.objects[0];
    o.used = 1;
    o.shape = SHAPE_BOX;
    o.sides[0] = o.sides[1] = o.sides[2] = 0.5;
    o.position[0] = 3;
    o.position[2] = 0.25;
    o.mass = 0.1;
    EnvObject &s = w.objects[2];
    s = o;
    s.flags = ENV_STATIC;
    s.position[0] = -3;
    ASSERT_EQ(build_world(&w), 0);
    reset_env_objects();
}

TEST_F(WorldTest, EnvironmentObjectsInBothSpaces)
{
    build_with_objects();
    ASSERT_NE(env_bodies[0], nullptr);
    ASSERT_NE(ghost_env_bodies[0], nullptr);
    EXPECT_EQ(env_bodies[1], nullptr);
    EXPECT_NE(env_bodies[0]->body, nullptr);
    EXPECT_EQ(env_bodies[2]->body, nullptr);   // static: geom only
    EXPECT_EQ(dGeomGetCategoryBits(env_bodies[0]->geom), 16u);
    EXPECT_EQ(dGeomGetCollideBits(env_bodies[0]->geom), 8127u);
    EXPECT_EQ(dGeomGetCategoryBits(ghost_env_bodies[0]->geom), 4096u);
    EXPECT_EQ(dGeomGetCollideBits(ghost_env_bodies[0]->geom), 8096u);
    EXPECT_EQ(dGeomGetCategoryBits(ghost_env_bodies[2]->geom), 32u);
    EXPECT_EQ(dGeomGetSpace(ghost_env_bodies[0]->geom), ghost_space);
    EXPECT_NEAR(dGeomGetPosition(env_bodies[0]->geom)[0], 3.0, 1e-12);
    EXPECT_EQ(get_env_body(0), env_bodies[0]);
    EXPECT_EQ(get_env_body(0x100), env_bodies[0]);
    for (int i : {16, 17, 100, 255})
        EXPECT_EQ(get_env_body(i), nullptr) << i;

    // Rebuilding the objects takes the old geoms out of the space.
    int geoms = dSpaceGetNumGeoms(live_space);
    build_env_objects();
    build_env_objects();
    EXPECT_EQ(dSpaceGetNumGeoms(live_space), geoms);

    // However often the objects are rebuilt, each keeps its geom info (which
    // grips and damage read) and the table does not grow.
    int infos = geom_info_count;
    for (int k = 0; k < 200; k++)
        build_env_objects();
    EXPECT_EQ(geom_info_count, infos);
    for (int i : {0, 2}) {
        const GeomInfo *gi = (const GeomInfo *)dGeomGetData(env_bodies[i]->geom);
        ASSERT_NE(gi, nullptr) << i;
        EXPECT_EQ(gi->geom_class, GEOM_ENV);
        EXPECT_EQ(gi->body, i);
    }
}

TEST_F(WorldTest, EnvStateLineStaysInsideItsBuffer)
{
    build_with_objects();
    char big[4096];
    ASSERT_EQ(format_env_state(big, sizeof big), 0);
    EXPECT_EQ(std::strncmp(big, "ENV 0; 3.00000000 0.00000000 0.25000000 1.00000000", 50), 0)
        << big;
    EXPECT_EQ(big[strlen(big) - 1], '\n');
    int numbers = 0;
    for (const char *c = big; *c; c++)
        numbers += *c == ' ';
    EXPECT_EQ(numbers, 1 + 13);

    // A blown-up simulation prints numbers hundreds of digits long.
    dBodySetLinearVel(env_bodies[0]->body, 1e300, -1e300, 1e300);
    for (int size : {1, 6, 7, 40, 300, 700}) {
        char buf[1024];
        memset(buf, 'x', sizeof buf);
        int r = format_env_state(buf, size);
        EXPECT_EQ(r, 1) << size;
        EXPECT_LT((int)strlen(buf), size);
        for (int k = size; k < (int)sizeof buf; k++)
            ASSERT_EQ(buf[k], 'x') << "size " << size << " byte " << k;
    }
    EXPECT_EQ(format_env_state(big, sizeof big), 0);

    char packed[256];
    int length = -1;
    ASSERT_EQ(format_env_state_packed(packed, sizeof packed, &length), 0);
    ASSERT_EQ(length, 9 + 4 * 14 + 1);
    EXPECT_STREQ(packed, "P_ENV 0;");
    auto word = [&](int i) {
        const unsigned char *p = reinterpret_cast<const unsigned char *>(packed + 9 + 4 * i);
        return (int32_t)(p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24);
    };
    EXPECT_EQ(word(0), 14);
    EXPECT_EQ(word(1), 3000000);
    EXPECT_EQ(word(3), 250000);
    EXPECT_EQ(word(11), INT32_MAX);   // clamped, not undefined
    EXPECT_EQ(word(12), INT32_MIN);
    EXPECT_EQ(packed[length - 1], '\n');
    EXPECT_EQ(format_env_state_packed(packed, 40, &length), 1);
    EXPECT_EQ(length, 0);
}

TEST_F(WorldTest, BodyForceSignFollowsTheFighter)
{
    game_shutdown();
    match_state.num_players = 3;
    game_init();
    match_state.num_players = 3;
    BodyDef saved = default_body_templates[3];
    default_body_templates[3].force[0] = 1;
    default_body_templates[3].force[1] = 2;
    default_body_templates[3].force[2] = 3;
    ASSERT_EQ(build_world(&default_world), 0);
    ASSERT_EQ(fighters_built, 6);
    apply_body_forces();
    // Records 3, 4, 5 are the ghosts of fighters 0, 1, 2.
    const double expected_y[6] = {-2, 2, -2, -2, 2, -2};
    for (int r = 0; r < 6; r++) {
        const dReal *f = dBodyGetForce(players[r].body[3]);
        EXPECT_EQ(f[0], 1.0) << r;
        EXPECT_EQ(f[1], expected_y[r]) << r;
        EXPECT_EQ(f[2], 3.0) << r;
        EXPECT_EQ(dBodyGetForce(players[r].body[4])[1], 0.0);
    }
    default_body_templates[3] = saved;
}

TEST_F(WorldTest, HingePresetsAndSevering)
{
    hold_all(0);
    EXPECT_EQ(dJointGetHingeParam(players[0].hinge[4], dParamFMax), 5.0);
    hold_joint(0, 1);   // chest: strength 4
    EXPECT_FLOAT_EQ(dJointGetHingeParam(players[0].hinge[1], dParamFMax), 4.0f / 3.0f);
    relax_all(0);
    EXPECT_EQ(dJointGetHingeParam(players[0].hinge[1], dParamFMax), 0.0);
    EXPECT_EQ(relax_joint(0, 20), 1);
    EXPECT_EQ(relax_joint(0, 0), 0);

    sever_joint_geoms(0, 9);   // l_elbow: bodies 9 and 10
    EXPECT_EQ(dGeomGetCollideBits(players[0].geom[9]), severed_mask);
    EXPECT_EQ(dGeomGetCollideBits(players[0].geom[10]), severed_mask);
    EXPECT_EQ(dGeomGetCollideBits(players[0].joint_geom[9]), severed_mask);
    EXPECT_EQ(dJointGetBody(players[0].hinge[9], 0), nullptr);
    restore_body_collide(0, 9);
    restore_sphere_collide(0, 9);
    EXPECT_EQ(dGeomGetCollideBits(players[0].geom[9]), 62u);
    EXPECT_EQ(dGeomGetCollideBits(players[0].joint_geom[9]), 62u | 128u);
    restore_body_collide(2, 12);   // a ghost's hand
    EXPECT_EQ(dGeomGetCollideBits(players[2].geom[12]), 7712u | 128u);

    disable_player(1);
    EXPECT_FALSE(dBodyIsEnabled(players[1].body[0]));
    EXPECT_EQ(players[1].ghost_held, 1);
    enable_player(1);
    EXPECT_TRUE(dBodyIsEnabled(players[1].body[0]));
    EXPECT_EQ(players[1].ghost_held, 0);

    const dReal *c = dBodyGetPosition(players[0].body[0]);
    double cx = c[0], cy = c[1];
    const dReal *h = dBodyGetPosition(players[0].body[11]);
    double dx = h[0] - cx, dy = h[1] - cy;
    rotate_player(0, 90);
    h = dBodyGetPosition(players[0].body[11]);
    EXPECT_NEAR(h[0] - cx, -dy, 1e-9);
    EXPECT_NEAR(h[1] - cy, dx, 1e-9);
}

}  // namespace

// ---- the world step ---------------------------------------------------------------------

namespace {

BodyDef step_bodies[BODY_TABLE_ROWS];
JointDef step_joints[JOINT_TABLE_ROWS];

// The default world with fighter 0 made from step_bodies and step_joints
// (copies of the built-in tables the case then changes).
WorldDescription world_for_step()
{
    memcpy(step_bodies, default_body_templates, sizeof step_bodies);
    memcpy(step_joints, default_joint_templates, sizeof step_joints);
    WorldDescription w = default_world;
    w.body_tables[0] = step_bodies;
    w.joint_tables[0] = step_joints;
    return w;
}

}  // namespace

// The built-in world and the make of the shipped mods keep the exact step;
// each way out of the envelope alone turns the world to the iterative one.
TEST_F(WorldTest, OnlyWorldsOutsideTheBuiltInMakeTakeTheIterativeStep)
{
    EXPECT_EQ(world_is_ordinary(), 1);
    build_with_objects();
    EXPECT_EQ(world_is_ordinary(), 1);
    {
        // A shipped mod's heaviest object beside the lightest built-in body.
        WorldDescription w = world_for_step();
        w.objects[0].used = 1;
        w.objects[0].shape = SHAPE_BOX;
        w.objects[0].sides[0] = w.objects[0].sides[1] = w.objects[0].sides[2] = 0.5;
        w.objects[0].position[0] = 3;
        w.objects[0].mass = 0.5;
        for (int j = 0; j < NUM_JOINTS; j++) {
            step_joints[j].strength = 6;
            step_joints[j].velocity = 60;
            step_joints[j].radius = 0.24f;
        }
        ASSERT_EQ(build_world(&w), 0);
        reset_env_objects();
        EXPECT_EQ(world_is_ordinary(), 1);
    }
    struct Case {
        const char *what;
        void (*change)(WorldDescription *w);
    };
    const Case cases[] = {
        {"a strong motor", [](WorldDescription *) { step_joints[4].strength = 1001; }},
        {"a fast motor", [](WorldDescription *) { step_joints[7].velocity = -1001; }},
        {"a wide joint sphere", [](WorldDescription *) { step_joints[0].radius = 1.5f; }},
        {"a strong gravity", [](WorldDescription *w) { w->gravity[2] = -1001; }},
        {"a heavy object",
         [](WorldDescription *w) {
             EnvObject &o = w->objects[1];
             o.used = 1;
             o.shape = SHAPE_SPHERE;
             o.sides[0] = o.sides[1] = o.sides[2] = 0.5;
             o.position[0] = -3;
             o.mass = 100;
         }},
    };
    for (const Case &c : cases) {
        WorldDescription w = world_for_step();
        c.change(&w);
        ASSERT_EQ(build_world(&w), 0) << c.what;
        reset_env_objects();
        EXPECT_EQ(world_is_ordinary(), 0) << c.what;
    }
}

// The make that broke the exact step down (every motor at a million, every
// body a millimetre cube, a heavy and a light object in the fray) plays
// frame after frame on the iterative step, and every body stays finite.
TEST_F(WorldTest, ExtremeMakeStepsWithoutBreakingDown)
{
    WorldDescription w = world_for_step();
    for (int j = 0; j < NUM_JOINTS; j++) {
        step_joints[j].strength = 1000000;
        step_joints[j].velocity = 1000000;
    }
    for (int b = 0; b < NUM_BODIES; b++)
        step_bodies[b].sides[0] = step_bodies[b].sides[1] = step_bodies[b].sides[2] = 0.001f;
    const double objects[2][2] = {{0.001, 1}, {1000000, 1.5}};
    for (int i = 0; i < 2; i++) {
        EnvObject &o = w.objects[i];
        o.used = 1;
        o.shape = SHAPE_BOX;
        o.sides[0] = o.sides[1] = o.sides[2] = 0.001f;
        o.position[0] = (float)(i - 0.5);
        o.position[2] = (float)objects[i][1];
        o.mass = (float)objects[i][0];
    }
    ASSERT_EQ(build_world(&w), 0);
    reset_env_objects();
    ASSERT_EQ(world_is_ordinary(), 0);
    for (int frame = 0; frame < 300; frame++) {
        for (int p = 0; p < 2; p++)
            for (int j = 0; j < NUM_JOINTS; j++) {
                dJointSetHingeParam(players[p].hinge[j], dParamVel,
                                    (frame / 10 + j + p) % 2 ? 1000000 : -1000000);
                dJointSetHingeParam(players[p].hinge[j], dParamFMax, 1000000);
            }
        collide_space(live_space);
        step_world(world_step_size);
        dJointGroupEmpty(contact_group);
    }
    for (int p = 0; p < 2; p++)
        for (int b = 0; b < NUM_BODIES; b++) {
            const dReal *pos = dBodyGetPosition(players[p].body[b]);
            EXPECT_TRUE(std::isfinite(pos[0] + pos[1] + pos[2])) << p << " " << b;
        }
}

// Mods the reader accepts whose first frames aborted the exact step (kept
// as fuzz seeds): each is read, built and played through the game's own
// frame step for a turn with every joint driven.
TEST_F(WorldTest, ModsThatBrokeTheExactStepPlayATurn)
{
    for (const char *name : {"corner_13.zmm", "corner_14.zmm", "corner_15.zmm"}) {
        std::string path = std::string("../../fuzz/corpus/mod/") + name;
        destroy_world();
        ASSERT_EQ(read_mod(path.c_str()), 0) << name;
        assign_player_templates();
        ASSERT_EQ(build_world(&mod_world), 0) << name;
        EXPECT_EQ(world_is_ordinary(), 0) << name;
        GameRules rules = mod_rules;
        current_rules = rules;
        start_game_with_rules(0, 1, &rules);
        replay_mode = REPLAY_LIVE;
        new_game_reset(0);
        for (int p = 0; p < fighter_count(); p++)
            for (int j = 0; j < NUM_JOINTS; j++)
                players[p].joint_state[j] = 1 + (j + p) % 4;
        start_turn(40);
        for (int frame = 0; frame < 40 && !match_state.game_over; frame++)
            step_frame(0);
    }
}

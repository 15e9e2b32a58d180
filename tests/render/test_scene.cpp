// The depth-sorted list and the fighter drawing against a real physics
// world, with a recorder standing in for the GL drawers.
#include "render/fighter_draw.h"
#include "render/scene.h"
#include "render/sorted_list.h"

#include <gtest/gtest.h>

#include <array>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/motors.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/world.h"
#include "platform/camera.h"

namespace {

// ---- the sorted list ---------------------------------------------------------------

SortedDrawEntry entry(int group, int key, float depth)
{
    SortedDrawEntry e;
    e.group = group;
    e.key = key;
    e.depth = depth;
    return e;
}

void fill_list(const std::vector<SortedDrawEntry> &entries)
{
    sorted_draw_list.count = 0;
    for (const SortedDrawEntry &e : entries)
        append_sorted_entry(e);
}

std::vector<DrawRecord> records;
void record_draw(const DrawRecord *r) { records.push_back(*r); }

class SortedList : public ::testing::Test {
protected:
    void SetUp() override
    {
        sorted_draw_list.count = 0;
        records.clear();
        draw_recorder = record_draw;
        for (float &v : camera_state.position)
            v = 0;
    }
    void TearDown() override
    {
        draw_recorder = nullptr;
        sorted_draw_list.count = 0;
    }
};

TEST_F(SortedList, MaterialAndEntryDefaults)
{
    SortedDrawMaterial m;
    EXPECT_EQ(m.mode, 0);
    EXPECT_EQ(m.texture, nullptr);
    EXPECT_EQ(m.shade_model, GL_FLAT);
    SortedGeometry g = {};
    g.position[0] = 3;
    g.position[1] = 4;
    camera_state.position[2] = 0;
    SortedDrawEntry e(m, g);
    EXPECT_FLOAT_EQ(e.depth, 25.0f);
    EXPECT_EQ(e.key, 0);
    // At the camera itself the depth is 0.
    camera_state.position[0] = 3;
    camera_state.position[1] = 4;
    EXPECT_FLOAT_EQ(SortedDrawEntry(m, g).depth, 0.0f);
}

// Drawn order (last row first) for a few lists of (group, key, depth).
TEST_F(SortedList, DrawOrderBackToFront)
{
    struct Case {
        const char *what;
        std::vector<SortedDrawEntry> in;
        std::vector<float> drawn_depths;
    } cases[] = {
        {"different groups: by depth whatever the keys",
         {entry(0, 1, 5), entry(1, 0, 9)}, {9, 5}},
        {"same group, equal keys: by depth", {entry(2, 0, 1), entry(2, 0, 7), entry(2, 0, 4)},
         {7, 4, 1}},
        {"same group, keys differ: larger key first",
         {entry(3, 0, 9), entry(3, 1, 1)}, {1, 9}},
        {"groups stay whole, the farthest group first",
         {entry(0, 0, 2), entry(1, 1, 3), entry(0, 1, 1), entry(1, 0, 8)}, {3, 8, 1, 2}},
    };
    for (const Case &c : cases) {
        fill_list(c.in);
        sort_sorted_list();
        records.clear();
        for (int i = 0; i < sorted_draw_list.count; i++)
            sorted_draw_list.entries[i].position[0] = sorted_draw_list.entries[i].depth;
        draw_sorted_list();
        ASSERT_EQ(records.size(), c.drawn_depths.size()) << c.what;
        for (size_t i = 0; i < records.size(); i++)
            EXPECT_FLOAT_EQ((float)records[i].position[0], c.drawn_depths[i]) << c.what << " " << i;
        EXPECT_EQ(sorted_draw_list.count, 0);
    }
}

TEST_F(SortedList, OrderIsStrictWeakOnRandomEntries)
{
    srand(7);
    std::vector<SortedDrawEntry> v;
    for (int i = 0; i < 120; i++)
        v.push_back(entry(rand() % 4, rand() % 2, (float)(rand() % 6)));
    fill_list(v);
    sort_sorted_list();   // fills the group depths
    const SortedDrawEntry *e = sorted_draw_list.entries;
    int n = sorted_draw_list.count;
    for (int a = 0; a < n; a++) {
        EXPECT_FALSE(sorted_draw_less(e[a], e[a]));
        for (int b = 0; b < n; b++) {
            if (sorted_draw_less(e[a], e[b]))
                EXPECT_FALSE(sorted_draw_less(e[b], e[a]));
            for (int c = 0; c < n; c += 7)
                if (sorted_draw_less(e[a], e[b]) && sorted_draw_less(e[b], e[c]))
                    EXPECT_TRUE(sorted_draw_less(e[a], e[c]));
        }
    }
    EXPECT_EQ(compare_sorted_draw(&e[0], &e[0]), 0);
}

TEST_F(SortedList, SortsAFullListOfRandomEntries)
{
    srand(11);
    std::vector<SortedDrawEntry> v;
    for (int i = 0; i < SORTED_LIST_ROWS; i++)
        v.push_back(entry(rand() % 8, rand() % 2, (float)(rand() % 50) * 0.5f));
    fill_list(v);
    ASSERT_EQ(sorted_draw_list.count, SORTED_LIST_ROWS);
    sort_sorted_list();
    const SortedDrawEntry *e = sorted_draw_list.entries;
    std::map<int, int> seen_end;   // each group is one block
    for (int i = 1; i < SORTED_LIST_ROWS; i++) {
        EXPECT_FALSE(sorted_draw_less(e[i], e[i - 1])) << i;
        if (e[i].group != e[i - 1].group) {
            EXPECT_EQ(seen_end.count(e[i].group), 0u) << "group split: " << e[i].group;
            seen_end[e[i - 1].group] = i;
        }
    }
}

TEST_F(SortedList, RefusesThe1025thEntryAndKeepsFourShapeValues)
{
    SortedDrawMaterial m;
    m.mode = DRAW_HALF_KEEP;
    SortedGeometry g = {};
    g.shape[0] = 0.25;
    g.shape[1] = 0;
    g.shape[2] = -1;
    g.shape[3] = 0.5;
    SortedDrawEntry half(m, g);
    half.kind = SORTED_HALF_SPHERE;
    for (int i = 0; i < SORTED_LIST_ROWS; i++)
        ASSERT_EQ(append_sorted_entry(half), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(append_sorted_entry(half), 1);
    EXPECT_EQ(append_sorted_entry(half), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "OH NOES!! GRARRR TOO MANY!!\nOH NOES!! GRARRR TOO MANY!!\n");
    EXPECT_EQ(sorted_draw_list.count, SORTED_LIST_ROWS);
    draw_sorted_list();
    ASSERT_EQ(records.size(), (size_t)SORTED_LIST_ROWS);
    const DrawRecord &r = records.back();
    EXPECT_EQ(r.what, REC_HALF_SPHERE);
    EXPECT_EQ(r.kind, DRAW_HALF_KEEP);
    EXPECT_DOUBLE_EQ(r.size[0], 0.25);
    EXPECT_DOUBLE_EQ(r.size[2], -1);
    EXPECT_DOUBLE_EQ(r.size[3], 0.5);
    EXPECT_EQ(sorted_draw_list.count, 0);
}

// ---- fighter drawing on a real world --------------------------------------------------

std::map<std::string, int> test_options;
int test_option(const char *name)
{
    auto it = test_options.find(name);
    return it == test_options.end() ? 0 : it->second;
}

// A few palette rows as the game's palette has them.
int test_palette(int index, float *rgb)
{
    static const std::map<int, std::array<float, 3>> rows = {
        {0, {1, 1, 1}},        {1, {1, 1, 1}},       {2, {1, 0, 0}},
        {3, {0.58f, 0, 0}},    {5, {0.16f, 0.66f, 0.86f}}, {7, {0.01f, 0.01f, 0.01f}},
        {16, {1, 0.73f, 0.15f}}, {21, {0.93f, 0.75f, 0.65f}}, {23, {0.85f, 0.28f, 0}},
        {25, {0.5f, 0.5f, 1}}, {51, {0.01f, 0.01f, 0.01f}}, {11, {0, 1, 0}},
    };
    auto it = rows.find(index);
    if (it == rows.end())
        return 1;
    for (int k = 0; k < 3; k++)
        rgb[k] = it->second[k];
    return 0;
}

class FighterDraw : public ::testing::Test {
protected:
    void SetUp() override
    {
        core_outward = CoreOutward();
        core_outward.get_option = test_option;
        core_outward.palette_colour = test_palette;
        test_options = {{"uke", 1}, {"kasu", 1}, {"bruise", 1}, {"blood", 0},
                        {"transparency", 0}};
        game_init();
        memset(fighter_looks, 0, sizeof fighter_looks);
        records.clear();
        draw_recorder = record_draw;
        sorted_draw_list.count = 0;
        shaders_active = 0;
        head_view_mode = 0;
        replay_mode = REPLAY_LIVE;
        game_type = 0;
        selected_player = -1;
        selected_joint = -1;
    }
    void TearDown() override
    {
        draw_recorder = nullptr;
        shaders_active = 0;
        head_view_mode = 0;
        game_type = 0;
        num_bouts = 0;
        sorted_draw_list.count = 0;
        match_state.ghost_mode = GHOST_OFF;
        game_shutdown();
        match_state.num_players = 2;
        core_outward = CoreOutward();
    }

    static std::vector<DrawRecord> of_geom(dGeomID g)
    {
        std::vector<DrawRecord> out;
        for (const DrawRecord &r : records)
            if (r.what == REC_GEOM && r.geom == g)
                out.push_back(r);
        return out;
    }
    // Joint-sphere records (whole or half) centred at joint j's anchor.
    static std::vector<DrawRecord> at_joint(int record, int j)
    {
        dVector3 a;
        dJointGetHingeAnchor(players[record].hinge[j], a);
        std::vector<DrawRecord> out;
        for (const DrawRecord &r : records)
            if ((r.what == REC_SPHERE || r.what == REC_HALF_SPHERE) &&
                std::fabs(r.position[0] - a[0]) < 1e-9 && std::fabs(r.position[1] - a[1]) < 1e-9 &&
                std::fabs(r.position[2] - a[2]) < 1e-9)
                out.push_back(r);
        return out;
    }
};

TEST_F(FighterDraw, GateDrawsAtOnceUnlessShadersAndTransparency)
{
    struct Case {
        int shaders, transparency;
        bool queued;
    } cases[] = {{0, 0, false}, {0, 1, false}, {1, 0, false}, {1, 1, true}};
    for (const Case &c : cases) {
        shaders_active = c.shaders;
        test_options["transparency"] = c.transparency;
        records.clear();
        sorted_draw_list.count = 0;
        draw_or_queue_geom(players[0].geom[3], DRAW_PLAIN, nullptr, nullptr);
        draw_or_queue_geom(players[0].joint_geom[4], DRAW_PLAIN, nullptr, nullptr);
        EXPECT_EQ(sorted_draw_list.count, c.queued ? 2 : 0) << c.shaders << c.transparency;
        EXPECT_EQ(records.size(), c.queued ? 0u : 2u);
        if (c.queued) {
            const SortedDrawEntry &body = sorted_draw_list.entries[0];
            const SortedDrawEntry &joint = sorted_draw_list.entries[1];
            EXPECT_EQ(body.kind, SORTED_BOX);
            EXPECT_EQ(body.key, 0);
            EXPECT_EQ(joint.kind, SORTED_SPHERE);
            EXPECT_EQ(joint.key, 1);
            EXPECT_DOUBLE_EQ(joint.shape[0], dGeomSphereGetRadius(
                                                  dGeomTransformGetGeom(players[0].joint_geom[4])));
            dVector3 a;
            dJointGetHingeAnchor(players[0].hinge[4], a);
            for (int k = 0; k < 3; k++)
                EXPECT_NEAR(joint.position[k], a[k], 1e-9);
        }
    }
    // A plane geom is neither drawn nor queued.
    sorted_draw_list.count = 0;
    draw_or_queue_geom(live_ground, DRAW_PLAIN, nullptr, nullptr);
    EXPECT_EQ(sorted_draw_list.count, 0);
}

TEST_F(FighterDraw, ShadersWithoutTransparencyQueueNothing)
{
    shaders_active = 1;
    draw_fighters(&match_state);
    EXPECT_EQ(sorted_draw_list.count, 0);
    EXPECT_EQ(of_geom(players[1].geom[5]).size(), 3u);   // shadow, outline, colour
}

TEST_F(FighterDraw, HeadViewDropsHeadAndNeckInEveryPassAndTheGhost)
{
    for (int view = 1; view <= 2; view++) {
        head_view_mode = view;
        match_state.ghost_mode = GHOST_ALL;
        records.clear();
        draw_fighters(&match_state);
        int hidden = view - 1, shown = 2 - view;
        int ghost = match_state.num_players + hidden;
        EXPECT_TRUE(of_geom(players[hidden].geom[0]).empty()) << view;
        EXPECT_TRUE(of_geom(players[hidden].joint_geom[0]).empty());
        EXPECT_TRUE(at_joint(hidden, 0).empty());
        EXPECT_TRUE(of_geom(players[ghost].geom[0]).empty());
        EXPECT_TRUE(of_geom(players[ghost].joint_geom[0]).empty());
        EXPECT_FALSE(of_geom(players[hidden].geom[1]).empty());
        EXPECT_EQ(of_geom(players[shown].geom[0]).size(), 3u);
        EXPECT_FALSE(at_joint(shown, 0).empty());
    }
}

TEST_F(FighterDraw, JointStatesGiveSpheresOrHalvesAtTheirRadii)
{
    PlayerState *p = &players[0];
    p->joint_state[1] = MOTOR_HOLD;
    p->joint_state[2] = MOTOR_RELAX;
    p->joint_state[3] = MOTOR_FWD;
    p->joint_state[4] = MOTOR_BACK;
    p->joint_state[5] = 9;   // out of range: relax
    p->joint_state[6] = MOTOR_NONE;
    dJointSetHingeParam(p->hinge[6], dParamVel, -2.0);   // the hinge shows forward
    dJointSetHingeParam(p->hinge[6], dParamFMax, 10.0);
    p->joint_state[7] = MOTOR_NONE;
    dJointSetHingeParam(p->hinge[7], dParamVel, 0.0);
    dJointSetHingeParam(p->hinge[7], dParamFMax, 10.0);   // hold
    draw_fighter_joints(&match_state, p, 0, DRAW_PLAIN, 1.0f);

    struct Case {
        int joint;
        int halves;          // 0: one whole sphere
        double scale;        // whole sphere radius / r
        double sign;         // halves: normal = sign * axis
    } cases[] = {{1, 0, 1.0, 0}, {2, 0, 0.9, 0}, {3, 2, 1.0, 1}, {4, 2, 1.0, -1},
                 {5, 0, 0.9, 0}, {6, 2, 1.0, 1},  {7, 0, 1.0, 0}};
    const JointDef *table = player_joint_table(0);
    for (const Case &c : cases) {
        double r = dGeomSphereGetRadius(dGeomTransformGetGeom(p->joint_geom[c.joint]));
        std::vector<DrawRecord> got = at_joint(0, c.joint);
        if (c.halves == 0) {
            ASSERT_EQ(got.size(), 1u) << c.joint;
            EXPECT_EQ(got[0].what, REC_SPHERE);
            EXPECT_NEAR(got[0].size[0], c.scale * r, 1e-9) << c.joint;
            continue;
        }
        ASSERT_EQ(got.size(), 2u) << c.joint;
        const float *axis = table[c.joint].axis;
        EXPECT_EQ(got[0].what, REC_HALF_SPHERE);
        EXPECT_EQ(got[0].kind, DRAW_HALF_KEEP);
        EXPECT_NEAR(got[0].size[0], r, 1e-9);
        EXPECT_EQ(got[1].kind, DRAW_HALF_OTHER);
        EXPECT_NEAR(got[1].size[0], 0.8 * r, 1e-9);
        for (int k = 0; k < 3; k++) {
            EXPECT_DOUBLE_EQ(got[0].size[1 + k], c.sign * axis[k]) << c.joint;
            EXPECT_DOUBLE_EQ(got[1].size[1 + k], -c.sign * axis[k]);
        }
    }
    // Hold in the force colour, relax in the relax colour.
    EXPECT_FLOAT_EQ(at_joint(0, 1)[0].colour[0], 0.85f);
    EXPECT_FLOAT_EQ(at_joint(0, 2)[0].colour[0], 0.93f);
}

TEST_F(FighterDraw, BrokenJointsTakeTheirColours)
{
    PlayerState *p = &players[1];
    p->joints[2].broken = JOINT_DISMEMBERED;
    p->joints[3].broken = JOINT_FRACTURED;
    draw_fighter_joints(&match_state, p, 1, DRAW_PLAIN, 1.0f);
    std::vector<DrawRecord> d = of_geom(p->joint_geom[2]), f = of_geom(p->joint_geom[3]);
    ASSERT_EQ(d.size(), 1u);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_FLOAT_EQ(d[0].colour[0], 1.0f);   // palette 2
    EXPECT_FLOAT_EQ(d[0].colour[1], 0.0f);
    EXPECT_FLOAT_EQ(f[0].colour[2], 1.0f);   // palette 25
    EXPECT_FLOAT_EQ(f[0].colour[0], 0.5f);
}

TEST_F(FighterDraw, BruiseIsStrictlyAboveTheThreshold)
{
    match_state.game_paused = 1;
    fighter_looks[0].body_bruise[4] = 0.001f;
    fighter_looks[0].body_bruise[6] = 0.5f;
    draw_fighter_bodies(&match_state, &players[0], DRAW_PLAIN, 1.0f);
    std::vector<DrawRecord> at = of_geom(players[0].geom[4]), hurt = of_geom(players[0].geom[6]);
    ASSERT_EQ(at.size(), 1u);
    ASSERT_EQ(hurt.size(), 1u);
    EXPECT_FLOAT_EQ(at[0].colour[1], 1.0f);     // palette 0, white
    EXPECT_FLOAT_EQ(hurt[0].colour[0], 1.0f);   // half way to red
    EXPECT_FLOAT_EQ(hurt[0].colour[1], 0.5f);
    EXPECT_FLOAT_EQ(fighter_looks[0].body_bruise[6], 0.5f);   // paused: no decay
    match_state.game_paused = 0;
    draw_fighter_bodies(&match_state, &players[0], DRAW_PLAIN, 1.0f);
    EXPECT_FLOAT_EQ(fighter_looks[0].body_bruise[6], 0.5f * 0.99f);
    // Torso parts in the fighter's colour (fighter 0 starts with palette 3).
    std::vector<DrawRecord> chest = of_geom(players[0].geom[2]);
    ASSERT_FALSE(chest.empty());
    EXPECT_FLOAT_EQ(chest[0].colour[0], 0.58f);
}

TEST_F(FighterDraw, GhostBodiesAreNeverQueuedAndTheListEndsEmpty)
{
    shaders_active = 1;
    test_options["transparency"] = 1;
    match_state.ghost_mode = GHOST_ALL;
    int n = match_state.num_players;
    for (int i = 0; i < n; i++)
        for (int b = 0; b < NUM_BODIES; b++) {
            const dReal *pos = dBodyGetPosition(players[n + i].body[b]);
            dBodySetPosition(players[n + i].body[b], pos[0] + 10, pos[1], pos[2]);
        }
    draw_fighters_sorted(&match_state);
    EXPECT_EQ(sorted_draw_list.count, 0);
    for (int i = 0; i < n; i++) {
        for (int b = 0; b < NUM_BODIES; b++) {
            dGeomID g = players[n + i].geom[b];
            EXPECT_EQ(of_geom(g).size(), 1u) << "ghost body drawn at once " << b;
            const dReal *pos = dGeomGetPosition(g);
            for (const DrawRecord &r : records)
                if (r.what != REC_GEOM)
                    EXPECT_FALSE(r.position[0] == pos[0] && r.position[1] == pos[1] &&
                                 r.position[2] == pos[2])
                        << "ghost body came through the list " << b;
        }
        // Ghost joints go through the list (the drawn records are spheres).
        EXPECT_TRUE(of_geom(players[n + i].joint_geom[3]).empty());
    }
    int fighter_geoms = 0;
    for (const DrawRecord &r : records)
        if (r.what == REC_GEOM)
            for (int b = 0; b < NUM_BODIES; b++)
                fighter_geoms += r.geom == players[0].geom[b];
    EXPECT_EQ(fighter_geoms, 0) << "fighter bodies are queued in sorted mode";
}

TEST_F(FighterDraw, GhostAlphaNeverGoesBelowZero)
{
    match_state.ghost_mode = GHOST_ALL;
    struct Case {
        bool sorted;
        int flags;
        float progress;
        int length;
        float alpha;
    } cases[] = {
        {false, 0, 50, 100, 0.3f}, {false, 1, 50, 100, 0.25f}, {false, 1, 300, 100, 0.0f},
        {true, 0, 20, 0, 0.4f},    {true, 0, 250, 0, 0.0f},
    };
    for (const Case &c : cases) {
        match_state.ghost_flags = c.flags;
        match_state.ghost_progress = c.progress;
        match_state.ghost_length = c.length;
        shaders_active = c.sorted;
        test_options["transparency"] = c.sorted;
        records.clear();
        if (c.sorted)
            draw_fighters_sorted(&match_state);
        else
            draw_fighters(&match_state);
        EXPECT_FLOAT_EQ(ghost_alpha, c.alpha) << c.progress;
        std::vector<DrawRecord> g = of_geom(players[match_state.num_players].geom[3]);
        ASSERT_EQ(g.size(), 1u);
        EXPECT_FLOAT_EQ(g[0].colour[3], c.alpha);
    }
}

TEST_F(FighterDraw, OnlineWithoutBoutsFadesEveryFighter)
{
    game_type = 1;
    num_bouts = 0;
    draw_fighters(&match_state);
    for (int i = 0; i < match_state.num_players; i++) {
        std::vector<DrawRecord> g = of_geom(players[i].geom[7]);
        ASSERT_EQ(g.size(), 1u) << "no shadow or outline pass";
        EXPECT_FLOAT_EQ(g[0].colour[3], 0.15f);
    }
}

TEST_F(FighterDraw, HiddenFightersAndTheBodyRecords)
{
    test_options["uke"] = 0;
    reset_body_records();
    draw_fighters(&match_state);
    EXPECT_TRUE(of_geom(players[1].geom[2]).empty());
    EXPECT_FALSE(of_geom(players[0].geom[2]).empty());
    // The highest body of the frame is fighter 0's head.
    EXPECT_EQ(body_records[HIGHEST_FRAME].player, 0);
    EXPECT_EQ(body_records[HIGHEST_FRAME].body, 0);
    EXPECT_NEAR(body_records[HIGHEST_FRAME].value, dBodyGetPosition(players[0].body[0])[2],
                1e-9);
    // Not in the fight: drawn whatever the option says.
    fighter_looks[1].not_in_fight = 1;
    records.clear();
    draw_fighters(&match_state);
    EXPECT_FALSE(of_geom(players[1].geom[2]).empty());
}

TEST_F(FighterDraw, SceneShapesGoToTheQueueWithShaders)
{
    static int queued;
    static SceneShape last;
    queued = 0;
    scene_queue_sink = [](const SceneShape *s) {
        queued++;
        last = *s;
    };
    draw_recorder = nullptr;
    shaders_active = 1;
    const float p[3] = {1, 2, 3}, r[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    render_half_sphere(p, r, 0.3f, 0, 1, 0, DRAW_HALF_KEEP, nullptr, nullptr);
    EXPECT_EQ(queued, 1);
    EXPECT_EQ(last.shape, SCENE_HALF_SPHERE);
    EXPECT_FLOAT_EQ(last.size[0], 0.3f);
    EXPECT_FLOAT_EQ(last.size[2], 1.0f);
    const float sides[3] = {1, 2, 3};
    render_box(p, nullptr, nullptr, r, sides, DRAW_PLAIN, nullptr, nullptr);
    render_sphere(p, nullptr, nullptr, r, 0.5f, DRAW_PLAIN, nullptr, nullptr);
    render_capsule(p, nullptr, nullptr, r, 1.0f, 0.2f, DRAW_PLAIN, nullptr, nullptr);
    EXPECT_EQ(queued, 4);
    EXPECT_EQ(last.shape, SCENE_CAPSULE);
    scene_queue_sink = nullptr;
}

// An open hand (a box of no size in the physics) is drawn as a box of half
// its gripping size, a gripping one at its gripping size, on both paths
// of the shader renderer; the fixed path draws the same shape.
TEST_F(FighterDraw, OpenHandsAreDrawnAtHalfTheirGrippingSize)
{
    static std::vector<SceneShape> boxes;
    boxes.clear();
    scene_queue_sink = [](const SceneShape *s) {
        if (s->shape == SCENE_BOX)
            boxes.push_back(*s);
    };
    draw_recorder = nullptr;
    shaders_active = 1;
    const double *at = dGeomGetPosition(players[0].geom[12]);
    auto boxes_at_hand = [&]() {
        std::vector<SceneShape> out;
        for (const SceneShape &s : boxes)
            if (std::fabs(s.position[0] - at[0]) < 1e-5 && std::fabs(s.position[1] - at[1]) < 1e-5 &&
                std::fabs(s.position[2] - at[2]) < 1e-5)
                out.push_back(s);
        return out;
    };
    const float open[3] = {0.15f, 0.05f, 0.075f}, gripping[3] = {0.3f, 0.1f, 0.15f};
    draw_fighters(&match_state);
    std::vector<SceneShape> drawn = boxes_at_hand();
    ASSERT_FALSE(drawn.empty());
    for (const SceneShape &s : drawn)
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(s.size[k], open[k], 1e-6) << k;
    set_grip(0, 12, GRIP_GRIP);
    boxes.clear();
    draw_fighters(&match_state);
    drawn = boxes_at_hand();
    ASSERT_FALSE(drawn.empty());
    for (const SceneShape &s : drawn)
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(s.size[k], gripping[k], 1e-6) << k;
    scene_queue_sink = nullptr;

    // The sorted list takes the same sides; anything but a hand keeps its own.
    test_options["transparency"] = 1;
    sorted_draw_list.count = 0;
    draw_or_queue_geom(players[1].geom[11], DRAW_PLAIN, nullptr, nullptr);
    draw_or_queue_geom(players[1].geom[3], DRAW_PLAIN, nullptr, nullptr);
    ASSERT_EQ(sorted_draw_list.count, 2);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(sorted_draw_list.entries[0].shape[k], open[k], 1e-6) << k;
    dVector3 stomach;
    dGeomBoxGetLengths(players[1].geom[3], stomach);
    for (int k = 0; k < 3; k++)
        EXPECT_DOUBLE_EQ(sorted_draw_list.entries[1].shape[k], stomach[k]) << k;
    double sides[3];
    EXPECT_EQ(hand_shown_sides(&players[1], 3, sides), 0);
    sorted_draw_list.count = 0;
}

TEST(BodyMatrix, MapsLocalAxesLikeTheRotation)
{
    dMatrix3 R;
    dRFromEulerAngles(R, 0.3, -0.7, 1.1);
    float rf[12], m[16];
    for (int k = 0; k < 12; k++)
        rf[k] = (float)R[k];
    const float p[3] = {4, 5, 6};
    body_matrix(p, rf, m);
    const double local[3] = {0.2, -1.5, 0.7};
    dVector3 want;
    dMultiply0_331(want, R, local);
    for (int row = 0; row < 3; row++) {
        double got = m[row] * local[0] + m[4 + row] * local[1] + m[8 + row] * local[2] + m[12 + row];
        EXPECT_NEAR(got, want[row] + p[row], 1e-5) << row;
    }
    EXPECT_FLOAT_EQ(m[15], 1.0f);
    EXPECT_FLOAT_EQ(m[3], 0.0f);
}

}  // namespace

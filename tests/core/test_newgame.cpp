#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/bout.h"
#include "core/breaks.h"
#include "core/collide.h"
#include "core/ghost.h"
#include "core/motors.h"
#include "core/newgame.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/replay_file.h"
#include "core/rules.h"
#include "core/step.h"
#include "core/text.h"
#include "core/world.h"
#include "support/test_support.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

std::vector<std::string> echoes;
std::vector<std::string> banners;
void on_echo(const char *text, int) { echoes.push_back(text); }
void on_banner(int, int, const char *a, const char *b, const char *c)
{
    banners.push_back(std::string(a) + "|" + b + "|" + c);
}
const char *long_belt(int points)
{
    static const std::string very_long(300, 'B');
    return points == 7 ? very_long.c_str() : "WHITE";
}

class NewGameTest : public ::testing::Test {
protected:
    GameRules rules;
    char cwd[4096];

    void SetUp() override
    {
        echoes.clear();
        banners.clear();
        core_outward = CoreOutward();
        core_outward.echo = on_echo;
        core_outward.show_banner = on_banner;
        memset(&current_rules, 0, sizeof current_rules);
        memset(&mod_rules, 0, sizeof mod_rules);
        last_mod_name[0] = '\0';
        mod_load_failed = 0;
        match_title_showing = 0;
        game_init();
        world_build_counts = WorldBuildCounts();
        memset(&rules, 0, sizeof rules);
        fill_default_rules(0, &rules);
        own_id = -1;
        num_bouts = 0;
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    }
    void TearDown() override
    {
        game_shutdown();
        match_state.num_players = 2;
        memset(&current_rules, 0, sizeof current_rules);
        core_outward = CoreOutward();
        selected_player = -1;
        game_type = 0;
        num_bouts = 0;
        memset(bout_list, 0, sizeof bout_list);
        EXPECT_EQ(chdir(cwd), 0);
    }
    void in_source_dir() { ASSERT_EQ(chdir(source_dir()), 0); }
    void start(int type = 0, int from_replay = 0)
    {
        start_game_with_rules(type, from_replay, &rules);
    }
    int builds() { return world_build_counts.default_builds; }
    int loads() { return world_build_counts.mod_loads; }
};

// Geoms of two different fighters that touch.
int overlapping_pairs()
{
    int n = match_state.num_players, count = 0;
    for (int a = 0; a < n; a++)
        for (int b = a + 1; b < n; b++) {
            std::vector<dGeomID> ga, gb;
            for (int k = 0; k < NUM_BODIES; k++) {
                ga.push_back(players[a].geom[k]);
                gb.push_back(players[b].geom[k]);
            }
            for (int k = 0; k < NUM_JOINTS; k++) {
                ga.push_back(players[a].joint_geom[k]);
                gb.push_back(players[b].joint_geom[k]);
            }
            for (dGeomID x : ga)
                for (dGeomID y : gb) {
                    dContactGeom c;
                    count += dCollide(x, y, 1, &c, sizeof c) > 0;
                }
        }
    return count;
}

const dReal *pos(int p, int b) { return dBodyGetPosition(players[p].body[b]); }

// The way a fighter looks in the ground plane: from its lower legs to its
// feet (the built-in fighter looks towards -y).
void facing(int p, double out[2])
{
    for (int k = 0; k < 2; k++)
        out[k] = (pos(p, 19)[k] + pos(p, 20)[k]) - (pos(p, 17)[k] + pos(p, 18)[k]);
    double len = hypot(out[0], out[1]);
    out[0] /= len;
    out[1] /= len;
}

// Fighter p looks at the point within a few degrees.
void expect_looks_at(int p, double x, double y)
{
    double f[2];
    facing(p, f);
    double dx = x - pos(p, 0)[0], dy = y - pos(p, 0)[1];
    double len = hypot(dx, dy);
    EXPECT_GT((f[0] * dx + f[1] * dy) / len, 0.99) << "fighter " << p;
}

TEST_F(NewGameTest, RebuildDecisionsFollowTheRulesAndTheMod)
{
    start();
    EXPECT_EQ(builds(), 1);   // the current rules were empty
    start();
    EXPECT_EQ(builds(), 1);   // identical rules keep the world
    EXPECT_EQ(loads(), 0);

    const char *builtin[] = {"", "0", "classic", "CLASSIC.zmm", "DEFAULT.zmm"};
    for (const char *name : builtin) {
        int before = builds();
        n_strncpyz(rules.mod, name, sizeof rules.mod);
        rules.matchframes += 1;   // always a change
        start();
        EXPECT_EQ(builds(), before + 1) << name;
        EXPECT_EQ(loads(), 0) << name;
    }

    // Text past a terminator is no difference.
    n_strncpyz(rules.mod, "classic", sizeof rules.mod);
    start();
    int before = builds();
    GameRules dirty = rules;
    memset(dirty.mod + 8, 'x', 20);
    EXPECT_TRUE(same_rules(&dirty, &rules));
    start_game_with_rules(0, 0, &dirty);
    EXPECT_EQ(builds(), before);
    EXPECT_TRUE(echoes.empty());
}

TEST_F(NewGameTest, NamedModLoadsOnceLocallyAlwaysOnlineAndAfterAReplay)
{
    in_source_dir();
    n_strncpyz(rules.mod, "pillars.zmm", sizeof rules.mod);
    start();
    EXPECT_EQ(loads(), 1);
    EXPECT_EQ(current_rules.matchframes, 800);   // the mod's gamerule section
    start();
    start();
    EXPECT_EQ(loads(), 1);   // the same mod is not read again locally
    EXPECT_EQ(current_rules.matchframes, 800);

    start(1);
    EXPECT_EQ(loads(), 2);   // online any change reloads, even of the same mod
    EXPECT_EQ(current_rules.matchframes, rules.matchframes);   // the server's rules stand
    start(1);
    EXPECT_EQ(loads(), 2);   // identical rules keep the world
    rules.turn_time_limit += 1;
    start(1);
    EXPECT_EQ(loads(), 3);

    rules.turn_time_limit += 1;
    start(0, 1);
    EXPECT_EQ(loads(), 3);
    EXPECT_EQ(last_mod_name[0], ' ');
    start();
    EXPECT_EQ(loads(), 4);   // the replay marked the mod for reloading
    EXPECT_STREQ(last_mod_name, "pillars.zmm");
    // Each local load says so with the mod's message; the online loads
    // and the replay's are quiet.
    const std::vector<std::string> said = {"Loaded mod pillars.zmm", "Pillars: mind the crate"};
    std::vector<std::string> twice = said;
    twice.insert(twice.end(), said.begin(), said.end());
    EXPECT_EQ(echoes, twice);
}

TEST_F(NewGameTest, MissingOrUnsafeModFallsBackToClassicWithOneMessage)
{
    in_source_dir();
    const char *names[] = {"missing.zmm", "../mod/pillars.zmm", "sub/pillars.zmm", ".."};
    for (const char *name : names) {
        echoes.clear();
        n_strncpyz(rules.mod, name, sizeof rules.mod);
        start();
        ASSERT_EQ(echoes.size(), 1u) << name;
        EXPECT_EQ(echoes[0], std::string("Unable to load mod ") + name);
        EXPECT_STREQ(rules.mod, "classic");
        EXPECT_STREQ(current_rules.mod, "classic");
        EXPECT_EQ(mod_load_failed, 1);
        // The default world stands: no environment objects.
        for (int i = 0; i < NUM_ENV_OBJECTS; i++)
            EXPECT_EQ(env_bodies[i], nullptr);
        EXPECT_EQ(fighters_built, 4);
        start();
        EXPECT_EQ(echoes.size(), 1u) << name;   // said once
    }
}

TEST_F(NewGameTest, ShippedModsChangeThePhysicsWorld)
{
    in_source_dir();
    n_strncpyz(rules.mod, "strongman.zmm", sizeof rules.mod);
    start();
    ASSERT_EQ(mod_load_failed, 0);
    for (int p = 0; p < 2; p++) {
        EXPECT_NEAR(dGeomSphereGetRadius(players[p].geom[0]), 0.24, 1e-6);
        dVector3 l;
        dGeomBoxGetLengths(players[p].geom[6], l);
        EXPECT_NEAR(l[1], 0.26, 1e-6);
        dReal r, len;
        dGeomCapsuleGetParams(players[p].geom[15], &r, &len);
        EXPECT_NEAR(r, 0.15, 1e-6);
        dJointID shoulder = players[p].hinge[5];
        EXPECT_NEAR(fabs(dJointGetHingeParam(shoulder, dParamLoStop)), 1.6, 1e-6);
        EXPECT_NEAR(fabs(dJointGetHingeParam(shoulder, dParamHiStop)), 1.6, 1e-6);
    }
    EXPECT_EQ(overlapping_pairs(), 0);

    n_strncpyz(rules.mod, "pillars.zmm", sizeof rules.mod);
    start();
    ASSERT_EQ(mod_load_failed, 0);
    EXPECT_NEAR(dGeomSphereGetRadius(players[0].geom[0]), 0.2, 1e-6);   // built-in fighter
    ASSERT_NE(env_bodies[0], nullptr);
    EXPECT_EQ(env_bodies[0]->body, nullptr);   // a static pillar
    ASSERT_NE(env_bodies[2], nullptr);
    dBodyID crate = env_bodies[2]->body;
    ASSERT_NE(crate, nullptr);
    EXPECT_NEAR(dBodyGetPosition(crate)[2], 3.4, 1e-9);
    stop_ghost();
    for (int i = 0; i < 400; i++) {
        collide_space(live_space);
        dWorldStep(physics_world, world_step_size);
        dJointGroupEmpty(contact_group);
    }
    double z = dBodyGetPosition(crate)[2];
    EXPECT_LT(z, 3.0);    // it fell
    EXPECT_GT(z, 0.1);    // and came to rest on something
}

TEST_F(NewGameTest, TwoFightersFaceEachOtherAtTheEngageDistance)
{
    start();
    EXPECT_EQ(overlapping_pairs(), 0);
    EXPECT_NEAR(pos(0, 0)[0], pos(1, 0)[0], 1e-9);
    EXPECT_NEAR(pos(0, 0)[1] - pos(1, 0)[1], 1.0, 1e-9);   // engagedistance 100
    expect_looks_at(0, pos(1, 0)[0], pos(1, 0)[1]);
    expect_looks_at(1, pos(0, 0)[0], pos(0, 0)[1]);
    double low = 1e9;
    for (int p = 0; p < 2; p++)
        for (int b = 0; b < NUM_BODIES; b++)
            low = fmin(low, pos(p, b)[2]);
    EXPECT_NEAR(low, 0.1 - 0.01, 1e-6);   // the feet, engageheight 0

    double z0 = pos(0, 0)[2];
    rules.engagedistance = 300;
    rules.engageheight = 100;
    start();
    EXPECT_NEAR(pos(0, 0)[1] - pos(1, 0)[1], 3.0, 1e-9);
    EXPECT_NEAR(pos(0, 0)[2] - z0, 1.0, 1e-6);

    rules.engageheight = 0;
    rules.engagerotation = 90;
    start();
    double f[2];
    facing(0, f);
    EXPECT_NEAR(f[0], 1.0, 0.01);   // turned a quarter from -y
    EXPECT_NEAR(pos(0, 0)[1] - pos(1, 0)[1], 3.0, 1e-9);   // turned on the spot
}

TEST_F(NewGameTest, CirclesAndTeamRowsStandApart)
{
    struct Case {
        int players, teams, distance;
        double radius;
    } cases[] = {
        {3, 0, 100, 1.6},   // raised to 320
        {4, 0, 100, 1.6},
        {4, 0, 500, 2.5},
        {3, 2, 100, 1.6},   // an odd team game stands in the circle too
    };
    for (const Case &c : cases) {
        rules.players = c.players;
        rules.teams = c.teams;
        for (int i = 0; i < 4; i++)
            rules.team[i] = c.teams ? i % c.teams : 0;
        rules.engagedistance = c.distance;
        start();
        SCOPED_TRACE(c.players * 100 + c.teams * 10);
        ASSERT_EQ(fighters_built, 2 * c.players);
        EXPECT_EQ(overlapping_pairs(), 0);
        for (int i = 0; i < c.players; i++) {
            EXPECT_NEAR(hypot(pos(i, 0)[0] - 1.0, pos(i, 0)[1] + 0.1), c.radius, 1e-9);
            expect_looks_at(i, 1.0, -0.1);
        }
    }

    rules.players = 4;
    rules.teams = 2;
    for (int i = 0; i < 4; i++)
        rules.team[i] = i % 2;
    rules.engagedistance = 100;
    rules.engagespace = 100;
    start();
    EXPECT_EQ(overlapping_pairs(), 0);
    const double side = 100 / 200.0 + 1.5;
    const double want[4][2] = {{1 - side, 0.4}, {1 - side, -0.6}, {1 + side, 0.4}, {1 + side, -0.6}};
    for (int i = 0; i < 4; i++) {
        EXPECT_NEAR(pos(i, 0)[0], want[i][0], 1e-9) << i;
        EXPECT_NEAR(pos(i, 0)[1], want[i][1], 1e-9) << i;
        // Each looks across at the other team.
        expect_looks_at(i, pos(i, 0)[0], -0.1);
    }
    rules.engagespace = 0;
    start();
    EXPECT_EQ(overlapping_pairs(), 0);
}

TEST_F(NewGameTest, CustomEngagePositionsAreTheStanceOrigins)
{
    rules.engage_set = 1;
    const float at[2][3] = {{3, 4, 0.5f}, {-3, -4, 0}};
    memcpy(rules.engage_pos, at, sizeof at);
    rules.engage_rot[1][2] = 180;
    start();
    // Body 0 of the stance sits at (1, 0.85, 2.65 - 0.05) from its origin.
    EXPECT_NEAR(pos(0, 0)[0], 4.0, 1e-6);
    EXPECT_NEAR(pos(0, 0)[1], 4.85, 1e-6);
    EXPECT_NEAR(pos(0, 0)[2], 3.15, 1e-6);
    EXPECT_NEAR(pos(1, 0)[0], -2.0, 1e-6);
    double f[2];
    facing(1, f);
    EXPECT_NEAR(f[1], 1.0, 0.01);   // turned about its own spot
}

struct Snapshot {
    std::vector<double> values;
    std::vector<const void *> links;
};

void add(Snapshot &s, const dReal *v, int n)
{
    for (int k = 0; k < n; k++)
        s.values.push_back(v[k]);
}

Snapshot snapshot_fighters()
{
    Snapshot s;
    for (int p = 0; p < 2; p++) {
        const PlayerState &pl = players[p];
        for (int b = 0; b < NUM_BODIES; b++) {
            add(s, dBodyGetPosition(pl.body[b]), 3);
            add(s, dBodyGetQuaternion(pl.body[b]), 4);
            add(s, dBodyGetLinearVel(pl.body[b]), 3);
            dMass m;
            dBodyGetMass(pl.body[b], &m);
            s.values.push_back(m.mass);
            s.values.push_back(dGeomGetCollideBits(pl.geom[b]));
            s.values.push_back(dGeomGetCategoryBits(pl.geom[b]));
            if (dGeomGetClass(pl.geom[b]) == dBoxClass) {
                dVector3 l;
                dGeomBoxGetLengths(pl.geom[b], l);
                add(s, l, 3);
            }
            s.links.push_back(pl.grip_joint[b]);
        }
        for (int j = 0; j < NUM_JOINTS; j++) {
            dJointID h = pl.hinge[j];
            s.links.push_back(dJointGetBody(h, 0));
            s.links.push_back(dJointGetBody(h, 1));
            s.values.push_back(dJointGetHingeParam(h, dParamLoStop));
            s.values.push_back(dJointGetHingeParam(h, dParamHiStop));
            s.values.push_back(dJointGetHingeParam(h, dParamFMax));
            s.values.push_back(dGeomSphereGetRadius(dGeomTransformGetGeom(pl.joint_geom[j])));
            s.values.push_back(dGeomGetCollideBits(pl.joint_geom[j]));
            s.values.push_back(pl.joints[j].broken);
            s.values.push_back(pl.joints[j].hi_stop);
            s.values.push_back(pl.joints[j].lo_stop);
            s.values.push_back(pl.joint_state[j]);
        }
        s.values.push_back(pl.injury);
        s.values.push_back(pl.score);
        s.values.push_back(pl.broken_count);
        s.values.push_back(pl.grip_l);
        s.values.push_back(pl.grip_req_r);
        s.values.push_back(pl.part_hit[21]);
    }
    return s;
}

TEST_F(NewGameTest, ResetAfterBreaksGivesBackTheFreshFighters)
{
    rules.flags |= RULE_FLAG_FRACTURE;
    start();
    stop_ghost();
    Snapshot fresh = snapshot_fighters();

    break_joint(0, 0, JOINT_DISMEMBERED);
    break_joint(0, 6, JOINT_FRACTURED);
    break_joint(1, 16, JOINT_DISMEMBERED);
    players[1].part_hit[21] = 1.0f;
    set_grip(0, 11, GRIP_GRIP);
    dContactGeom contact = {};
    const dReal *c = dBodyGetPosition(players[1].body[2]);
    for (int k = 0; k < 3; k++)
        contact.pos[k] = c[k];
    make_grip(0, 1, 11, 2, &contact);
    ASSERT_NE(players[0].grip_joint[11], nullptr);
    for (int i = 0; i < 30; i++) {
        collide_space(live_space);
        dWorldStep(physics_world, world_step_size);
        dJointGroupEmpty(contact_group);
    }
    ASSERT_NE(snapshot_fighters().values, fresh.values);

    new_game_reset(0);
    Snapshot again = snapshot_fighters();
    EXPECT_EQ(again.links, fresh.links);
    ASSERT_EQ(again.values.size(), fresh.values.size());
    for (size_t i = 0; i < fresh.values.size(); i++)
        EXPECT_EQ(again.values[i], fresh.values[i]) << i;
}

TEST_F(NewGameTest, BoutEntriesAreBoundedAndTheEndMarkerPublishesThem)
{
    core_outward.belt_name = long_belt;
    int32_t values[BOUT_VALUES] = {0, 2, 0, 0, 3};
    std::string long_name(400, 'n');
    update_bout_list(0, 11, values, long_name.c_str());
    EXPECT_EQ(strlen(bout_staging[0].name), 255u);
    EXPECT_STREQ(bout_staging[0].belt_text, "WHITE BELT, RANK 3");
    values[1] = 7;
    values[4] = 0;
    update_bout_list(1, 12, values, "uke2");
    EXPECT_EQ(strlen(bout_staging[1].belt_text), 255u);   // a long belt name is cut
    update_bout_list(32, 13, values, "x");
    update_bout_list(-1, 13, values, "x");
    update_bout_list(1000000, -1, values, "x");
    EXPECT_EQ(num_bouts, 0);   // nothing published yet, nothing outside the list
    own_id = 12;
    update_bout_list(2, -1, nullptr, "");
    EXPECT_EQ(num_bouts, 2);
    EXPECT_EQ(bout_list[1].user_id, 12);
    EXPECT_EQ(strlen(players[0].name), 31u);
    EXPECT_STREQ(players[1].name, "uke2");
    EXPECT_EQ(players[1].bout_id, 12);
    EXPECT_EQ(queue_position, 0);
    ASSERT_EQ(banners.size(), 1u);
    EXPECT_EQ(banners[0], std::string(31, 'n') + "|vs|uke2");

    // Fewer entries than fighters: the match starts over.
    match_state.match_frame = 77;
    update_bout_list(0, 11, values, "solo");
    update_bout_list(1, -1, nullptr, "");
    EXPECT_EQ(num_bouts, 1);
    EXPECT_EQ(match_state.match_frame, 0);
    update_bout_list(0, -1, nullptr, "");
    EXPECT_EQ(num_bouts, 0);
    EXPECT_EQ(bout_list[0].user_id, 0);
}

TEST_F(NewGameTest, MatchTitleOfFourLongNamesFitsItsLines)
{
    rules.players = 4;
    start();
    for (int i = 0; i < 4; i++)
        set_player_name2(i, std::string(40, (char)('a' + i)).c_str());
    char lines[3][TITLE_LINE_SIZE];
    EXPECT_EQ(compose_match_title(lines), 2);
    std::string all = std::string(lines[0]) + " " + lines[1];
    std::string a(31, 'a'), b(31, 'b'), c(31, 'c'), d(31, 'd');
    EXPECT_EQ(all, a + " vs. " + b + " vs. " + c + " vs. " + d);
    EXPECT_LT(abs((int)strlen(lines[0]) - (int)strlen(lines[1])), 8);

    match_state.team_count = 2;
    for (int i = 0; i < 4; i++)
        players[i].team = i % 2;
    compose_match_title(lines);
    all = std::string(lines[0]) + " " + lines[1];
    EXPECT_EQ(all, a + " & " + c + " vs. " + b + " & " + d);

    // Teams are listed in team order, whoever stands first.
    for (int i = 0; i < 4; i++)
        players[i].team = (i + 1) % 2;
    compose_match_title(lines);
    all = std::string(lines[0]) + " " + lines[1];
    EXPECT_EQ(all, b + " & " + d + " vs. " + a + " & " + c);
}

TEST_F(NewGameTest, ResultListsSkipPaddingAndPlayersOutsideTheMatch)
{
    start();
    replay_mode = REPLAY_LIVE;
    match_state.match_frame = 123;
    const int32_t winners[4] = {-1, 5, 1, 1};
    const int32_t losers[4] = {0, -7, 2, 3};
    set_game_result(2, winners, losers);
    const int32_t want_w[4] = {1, -1, -1, -1};
    const int32_t want_l[4] = {0, -1, -1, -1};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(match_state.winners[i], want_w[i]);
        EXPECT_EQ(match_state.losers[i], want_l[i]);
    }
    EXPECT_EQ(match_state.wins[1], 1);
    EXPECT_EQ(match_state.game_over, 1);
    EXPECT_EQ(match_state.end_frame, 123);
    EXPECT_EQ(match_state.result_code, 2);

    players[0].score = 4.5f;
    const int32_t values[4] = {1, 2, 3, 4};
    set_game_values(9, values, nullptr);
    EXPECT_EQ(match_result.values[3], 4);
    EXPECT_EQ(match_result.scores[0], 4.5f);
    EXPECT_EQ(match_result.code, 9);
}

TEST_F(NewGameTest, SeekFindsTheFirstRecordAtOrAfterTheFrame)
{
    start();
    for (int i = 0; i < 20; i++)
        get_replay_frame(i)->frame = i * 10;
    match_state.frames_recorded = 20;
    struct Case {
        int frame, record;
    } cases[] = {{0, 0}, {35, 4}, {40, 4}, {190, 19}, {191, 20}, {100000, 20}};
    for (const Case &c : cases) {
        seek_match_frame(c.frame);
        EXPECT_EQ(match_state.match_frame, c.frame);
        EXPECT_EQ(match_state.replay_frame, c.record) << c.frame;
    }
    match_state.frames_recorded = 100000;   // never past the buffer
    for (int i = 20; i < REPLAY_FRAMES; i++)
        get_replay_frame(i)->frame = 1000;
    seek_match_frame(5000);
    EXPECT_EQ(match_state.replay_frame, REPLAY_FRAMES);
}

TEST_F(NewGameTest, LocalStartResetsTheMatchAndOpensTheOwnGhost)
{
    start();
    match_state.match_frame = 40;
    match_state.game_over = 1;
    players[1].score = 3;
    start();
    EXPECT_EQ(match_state.match_frame, 0);
    EXPECT_EQ(match_state.game_over, 0);
    EXPECT_EQ(match_state.end_frame, -1);
    EXPECT_EQ(players[1].score, 0);
    EXPECT_EQ(selected_player, 0);
    EXPECT_EQ(replay_mode, REPLAY_LIVE);
    EXPECT_EQ(match_state.ghost_mode, GHOST_ONE);
    EXPECT_EQ(match_state.ghost_row, 0);
    EXPECT_EQ(match_state.ghost_length, 100);
    EXPECT_EQ(players[0].no_input, 0);
    EXPECT_EQ(players[2].no_input, 1);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(match_state.winners[i], -1);

    // Online, the own fighter is found in the bout list and stays selected.
    update_bout_list(0, 50, nullptr, "alpha");
    update_bout_list(1, 60, nullptr, "beta");
    update_bout_list(2, -1, nullptr, "");
    own_id = 60;
    rules.batch_frames = 5;
    match_title_showing = 0;
    start(1);
    EXPECT_EQ(own_player_index, 1);
    EXPECT_EQ(selected_player, 1);
    EXPECT_EQ(record_mode, 1);
    EXPECT_EQ(match_state.ghost_mode, GHOST_OFF);
    EXPECT_EQ(match_state.game_paused, 1);
    EXPECT_STREQ(players[0].name, "alpha");
    EXPECT_STREQ(players[1].name, "beta");
}

}   // namespace

namespace {

// Plays a match of the given rules to its end with every joint driven and
// both hands gripping, and returns the fighters' poses frame by frame.
std::vector<std::vector<double>> play_whole_match(GameRules *rules)
{
    std::vector<std::vector<double>> poses;
    start_game_with_rules(0, 0, rules);
    unsigned seed = 99;
    for (int guard = 0; guard < 2000 && !match_state.game_over; guard++) {
        if (match_state.game_paused || match_state.ghost_mode != GHOST_OFF) {
            for (int p = 0; p < 2; p++) {
                for (int j = 0; j < NUM_JOINTS; j++) {
                    seed = seed * 1103515245u + 12345u;
                    set_commanded_joint_state(p, j, 1 + (seed >> 16) % 4);
                }
                players[p].grip_req_l = players[p].grip_req_r = 1;
            }
            start_turn(0);
        }
        step_frame(0);
        frame_tick += 16;
        std::vector<double> v;
        for (int p = 0; p < 2; p++)
            for (int b = 0; b < NUM_BODIES; b++) {
                const dReal *x = dBodyGetPosition(players[p].body[b]);
                v.insert(v.end(), x, x + 3);
            }
        poses.push_back(v);
    }
    return poses;
}

}  // namespace

TEST_F(NewGameTest, FreshFightersAfterAMatchStandWithHingesAtZero)
{
    rules.matchframes = 120;
    rules.engagedistance = 40;
    rules.flags |= RULE_FLAG_DISMEMBER | RULE_FLAG_FRACTURE;
    rules.dismemberthreshold = 40;
    GameRules first_rules = rules, second_rules = rules;
    std::vector<std::vector<double>> first = play_whole_match(&first_rules);
    ASSERT_TRUE(match_state.game_over);
    EXPECT_GT(players[0].broken_count + players[1].broken_count, 0);

    // The replay and the restart of a finished match: every hinge of every
    // record (fighters and ghosts) starts at angle 0 and joins its bodies.
    new_game_reset(0);
    for (int r = 0; r < fighters_built; r++)
        for (int j = 0; j < NUM_JOINTS; j++) {
            dJointID h = players[r].hinge[j];
            EXPECT_NEAR(dJointGetHingeAngle(h), 0.0, 1e-9) << "record " << r << " joint " << j;
            dVector3 a1, a2;
            dJointGetHingeAnchor(h, a1);
            dJointGetHingeAnchor2(h, a2);
            for (int k = 0; k < 3; k++)
                EXPECT_NEAR(a1[k], a2[k], 1e-9) << "record " << r << " joint " << j;
        }
    // The head stands where a fresh fighter's head stands after a frame.
    const double head_z = pos(0, 0)[2];

    // A second game with the same rules is the first one again, frame by frame.
    std::vector<std::vector<double>> second = play_whole_match(&second_rules);
    ASSERT_EQ(first.size(), second.size());
    for (size_t i = 0; i < first.size(); i++)
        ASSERT_EQ(first[i], second[i]) << "frame " << i + 1;
    EXPECT_GT(head_z, 2.5);
}

// A rebuild for more players keeps the fighters' names and never hands a
// ghost's name to a new fighter; going back to fewer keeps the ghosts'.
TEST_F(NewGameTest, RebuildForMorePlayersNamesTheNewFightersNotAfterGhosts)
{
    start();
    set_player_name2(0, "me");
    ASSERT_STREQ(players[2].name, "GHOST1");
    for (int n : {3, 4, 2}) {
        rules.players = n;
        start();
        ASSERT_EQ(match_state.num_players, n);
        EXPECT_STREQ(players[0].name, "me") << n;
        EXPECT_STREQ(players[1].name, "uke") << n;
        const char *fighters[4] = {"me", "uke", "player3", "player4"};
        for (int i = 2; i < n; i++)
            EXPECT_STREQ(players[i].name, fighters[i]) << n;
        for (int k = 0; k < n; k++) {
            std::string ghost = "GHOST" + std::to_string(k + 1);
            EXPECT_EQ(std::string(players[n + k].name), ghost) << n;
        }
    }
}

// A replay whose NEWGAME line holds a rule the console would refuse (a
// negative match length would never end) is not played: reading stops with
// a message and the match in hand stays as it was.
TEST(NewgameRefusal, ReplayWithRulesOutOfRangeIsNotPlayed)
{
    core_outward = CoreOutward();
    game_init();
    GameRules rules;
    memset(&rules, 0, sizeof rules);
    fill_default_rules(0, &rules);
    start_game_with_rules(0, 0, &rules);
    int before = current_rules.matchframes;
    std::string path = test_tmp_path("negative_length.rpl");
    ASSERT_TRUE(write_whole_file(path, "#!/usr/bin/zylomach\nVERSION 10\n"
                                       "NEWGAME 0; -5 10 0 0 0 2 100 0 0 classic 0 0 100 0 0 0 1 0 2 0 0 0 0 0 0\n"
                                       "FRAME 0; 0 0\n"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_replay(path.c_str()), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("NEWGAME refused: field 1 is -5"), std::string::npos) << err;
    EXPECT_NE(err.find("not played: its game rules are out of range"), std::string::npos) << err;
    EXPECT_EQ(current_rules.matchframes, before);
    EXPECT_EQ(replay_rules, nullptr);
    game_shutdown();
}

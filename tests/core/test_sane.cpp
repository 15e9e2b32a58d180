// Numbers from outside are refused where they come in, with one line that
// names the source and the value, and what was there stays.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "core/command.h"
#include "core/command_handlers.h"
#include "core/mod.h"
#include "core/outward.h"
#include "core/world.h"
#include "core/records.h"
#include "core/replay_file.h"
#include "core/rules.h"
#include "core/sane.h"
#include "support/test_support.h"

TEST(Sane, ValuesRotationsAndAxes)
{
    const double ok[3] = {1, -2, 3}, nan3[3] = {1, NAN, 0}, inf3[3] = {INFINITY, 0, 0},
                 huge[3] = {1e30, 0, 0};
    EXPECT_TRUE(sane_values(ok, 3, 10));
    EXPECT_FALSE(sane_values(nan3, 3, 10));
    EXPECT_FALSE(sane_values(inf3, 3, 10));
    EXPECT_FALSE(sane_values(huge, 3, SANE_POSITION));
    const double q1[4] = {1, 0, 0, 0}, q2[4] = {0.3, 0.3, 0.3, 0.3}, q0[4] = {0, 0, 0, 0},
                 qnan[4] = {NAN, 0, 0, 1}, qtiny[4] = {1e-200, 0, 0, 0};
    EXPECT_TRUE(sane_quaternion(q1));
    EXPECT_TRUE(sane_quaternion(q2));   // not unit, but it normalises
    EXPECT_FALSE(sane_quaternion(q0));
    EXPECT_FALSE(sane_quaternion(qnan));
    EXPECT_FALSE(sane_quaternion(qtiny));
    const double ax[3] = {0, 0, 2}, zero[3] = {0, 0, 0};
    EXPECT_TRUE(sane_axis(ax));
    EXPECT_FALSE(sane_axis(zero));
}

TEST(Sane, RefusalNamesTheSourceLineAndValue)
{
    set_input_source("replay/a.rpl", 12);
    testing::internal::CaptureStderr();
    refuse_input("QAT", "  0 0 0 0\nmore");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "replay/a.rpl:12: refused QAT: 0 0 0 0\n");
    set_input_source(nullptr, 0);
    testing::internal::CaptureStderr();
    refuse_input("ENGAGE", "nan");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "refused ENGAGE: nan\n");
}

TEST(Sane, ModLinesWithHostileNumbersKeepTheTables)
{
    match_state.num_players = 2;
    fill_default_rules(0, &mod_rules);
    std::string path = test_tmp_path("hostile.zmm");
    FILE *f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("joint neck\naxis 0 0 0\nrange nan 1\nstrength inf\npos 1e30 0 0\n"
          "body head\nsides inf 1 1\nradius nan\nforce nan 0 0\nrot 0 inf 0\n"
          "gravity nan 0 -9.82\nfriction -5\nenv_obj 1\npos nan 0 1\nmass inf\n",
          f);
    fclose(f);
    testing::internal::CaptureStderr();
    ASSERT_EQ(read_mod(path.c_str()), 0);
    std::string err = testing::internal::GetCapturedStderr();
    const char *refused[] = {"refused axis: 0 0 0", "refused range: nan 1", "refused strength: inf",
                             "refused pos: 1e30", "refused sides: inf", "refused radius: nan",
                             "refused force: nan", "refused rot: 0 inf", "refused gravity: nan",
                             "refused friction: -5", "refused pos: nan", "refused mass: inf"};
    EXPECT_NE(err.find(path + ":2: refused axis"), std::string::npos) << err;
    for (const char *r : refused)
        EXPECT_NE(err.find(r), std::string::npos) << r << "\n" << err;
    assign_player_templates();
    const JointDef *neck = &mod_world.joint_tables[0][0];
    EXPECT_EQ(neck->axis[0], 1.0f);   // the built-in x axis stays
    EXPECT_TRUE(std::isfinite(neck->lo_stop) && std::isfinite(neck->strength));
    EXPECT_EQ(mod_world.gravity[2], -9.82f);
    EXPECT_TRUE(std::isfinite(mod_world.objects[0].position[0]));
    EXPECT_EQ(mod_world.objects[0].mass, 0.1);
}

TEST(Sane, EngageNumbersAreRefusedWhole)
{
    GameRules rules;
    memset(&rules, 0, sizeof rules);
    fill_default_rules(0, &rules);
    testing::internal::CaptureStderr();
    EXPECT_EQ(parse_engage_line(" nan 0 0 0 0 0", 0, &rules), 1);
    EXPECT_EQ(parse_engage_line(" 1e12 0 0 0 0 0", 1, &rules), 1);
    EXPECT_EQ(rules.engage_set, 0);
    set_rule("engageplayerpos", "inf,0,0,1,0,0", &rules);
    EXPECT_EQ(rules.engage_set, 0);
    EXPECT_EQ(set_rule("engageheight", "2000000000", &rules), 1);
    EXPECT_EQ(rules.engageheight, 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("refused ENGAGE: nan"), std::string::npos) << err;
    EXPECT_NE(err.find("refused ENGAGE: 1e12"), std::string::npos) << err;
    EXPECT_NE(err.find("refused engageplayerpos: inf"), std::string::npos) << err;
    EXPECT_NE(err.find("refused engageheight: 2000000000"), std::string::npos) << err;
    EXPECT_EQ(parse_engage_line(" 1 2 0 0 0 90", 0, &rules), 0);
    EXPECT_EQ(rules.engage_set, 1);
    EXPECT_EQ(rules.engage_pos[0][1], 2.0f);
}

TEST(Sane, ServerLinesWithHostileNumbersChangeNothing)
{
    core_outward = CoreOutward();
    game_init();
    PlayerState *p = &players[0];
    p->flags = 0;
    testing::internal::CaptureStderr();
    std::string zeros;
    for (int b = 0; b < NUM_BODIES; b++)
        zeros += " 0 0 0 0";
    net_cmd_qat(0, zeros.c_str());
    net_cmd_pos(0, " nan 1 1");
    net_cmd_hingevel(0, " 1 inf 2");
    char tail[4 * (NUM_BODIES * 4 + 1)];
    double none[NUM_BODIES * 4] = {};
    ASSERT_GT(pack_tail(tail, sizeof tail, none, NUM_BODIES * 4), 0);
    net_cmd_p_qat(0, tail);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(p->flags, 0) << err;
    EXPECT_NE(err.find("refused QAT: 0 0 0 0"), std::string::npos) << err;
    EXPECT_NE(err.find("refused POS: nan"), std::string::npos) << err;
    EXPECT_NE(err.find("refused HINGEVEL: 1 inf"), std::string::npos) << err;
    EXPECT_NE(err.find("refused P_QAT"), std::string::npos) << err;
    EXPECT_EQ(dJointGetHingeParam(p->hinge[0], dParamVel), 0.0);
    game_shutdown();
}

namespace {

int count_lines(const std::string &text, const std::string &needle)
{
    int n = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        if (text.substr(at, end - at).find(needle) != std::string::npos)
            n++;
        at = end + 1;
    }
    return n;
}

}  // namespace

// A row of a state line is left out (every value missing) or checked whole:
// a finite value between two missing ones is never half stored.
TEST(Sane, StateRowsAreAbsentOrCheckedWhole)
{
    struct Row {
        const char *what;
        double v[4];
        int width;
        int verdict;
    };
    const Row rows[] = {
        {"absent", {NAN, NAN, NAN}, 3, SANE_ROW_ABSENT},
        {"all finite", {1, -2, 0.5}, 3, SANE_ROW_OK},
        {"partly finite", {NAN, 1e30, NAN}, 3, SANE_ROW_BAD},
        {"partly finite, small", {NAN, 0.5, NAN}, 3, SANE_ROW_BAD},
        {"one missing at the end", {1, 2, NAN}, 3, SANE_ROW_BAD},
        {"finite but beyond range", {0, 2000, 0}, 3, SANE_ROW_BAD},
        {"rotation absent", {NAN, NAN, NAN, NAN}, 4, SANE_ROW_ABSENT},
        {"rotation", {1, 0, 0, 0}, 4, SANE_ROW_OK},
        {"rotation partly finite", {NAN, 1, 0, NAN}, 4, SANE_ROW_BAD},
        {"rotation zero", {0, 0, 0, 0}, 4, SANE_ROW_BAD},
    };
    for (const Row &r : rows)
        EXPECT_EQ(sane_state_row(r.v, r.width, SANE_POSITION), r.verdict) << r.what;
}

// Every body-state line of a server: a row the line leaves out keeps what
// was received, a row it holds is stored whole, and a row with a finite
// value between missing ones refuses the whole line.
TEST(Sane, ServerStateLinesCheckEachRowWhole)
{
    core_outward = CoreOutward();
    game_init();
    struct Line {
        const char *command;
        int (*handler)(int, const char *);
        int width;
        double limit;
    };
    const Line lines[] = {
        {"QAT", net_cmd_qat, 4, 0},
        {"POS", net_cmd_pos, 3, SANE_POSITION},
        {"LINVEL", net_cmd_linvel, 3, SANE_SPEED},
        {"ANGVEL", net_cmd_angvel, 3, SANE_SPEED},
    };
    for (const Line &l : lines) {
        SCOPED_TRACE(l.command);
        PlayerState *p = &players[0];
        p->flags = 0;
        for (int b = 0; b < NUM_BODIES; b++)
            for (int k = 0; k < 4; k++) {
                p->saved_state[b].position[k < 3 ? k : 2] = 7;
                p->saved_state[b].linear_vel[k < 3 ? k : 2] = 7;
                p->saved_state[b].angular_vel[k < 3 ? k : 2] = 7;
                p->saved_state[b].quaternion[k] = 7;
            }
        auto field = [&](int b) {
            BodyStateRecord *s = &p->saved_state[b];
            return l.width == 4 ? s->quaternion
                                : l.handler == net_cmd_pos      ? s->position
                                  : l.handler == net_cmd_linvel ? s->linear_vel
                                                                : s->angular_vel;
        };
        std::string row = l.width == 4 ? " 1 0 0 0" : " 0.5 0.25 1";
        std::string partly = l.width == 4 ? " nan 1e30 0 nan" : " nan 1e30 nan";
        std::string partly_small = l.width == 4 ? " nan 0.5 0 nan" : " nan 0.5 nan";

        // Partly finite in the first row, then in a later one: refused,
        // nothing stored, no flag.
        testing::internal::CaptureStderr();
        l.handler(0, partly.c_str());
        l.handler(0, (row + partly_small).c_str());
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(count_lines(err, std::string("refused ") + l.command), 2) << err;
        EXPECT_EQ(p->flags, 0);
        EXPECT_EQ(field(0)[0], 7.0);
        EXPECT_EQ(field(1)[1], 7.0);

        // All finite: stored whole; the rows it leaves out stay.
        l.handler(0, (row + row).c_str());
        EXPECT_NE(p->flags, 0);
        EXPECT_EQ(field(0)[0], l.width == 4 ? 1.0 : 0.5);
        EXPECT_EQ(field(1)[l.width - 1], l.width == 4 ? 0.0 : 1.0);
        EXPECT_EQ(field(2)[0], 7.0);
    }
    game_shutdown();
}

// Sizes and masses below what the world takes are refused where a mod
// names them (the line and the value in the message), and a shape built
// from a tiny size still gets one ODE accepts.
TEST(Sane, TinySizesAndMassesAreRefused)
{
    EXPECT_TRUE(sane_size(0));
    EXPECT_TRUE(sane_size(SANE_MIN_SIZE));
    EXPECT_TRUE(sane_size(0.3));
    EXPECT_FALSE(sane_size(1e-20));
    EXPECT_FALSE(sane_size(1e-300));
    EXPECT_FALSE(sane_size(1e3));
    EXPECT_EQ(world_size(1e-300), SANE_MIN_SIZE);
    EXPECT_EQ(world_size(-1), 0.0);
    EXPECT_EQ(world_size(NAN), 0.0);
    EXPECT_EQ(world_size(0.3), 0.3);

    match_state.num_players = 2;
    fill_default_rules(0, &mod_rules);
    std::string path = test_tmp_path("tiny.zmm");
    ASSERT_TRUE(write_whole_file(path, "body head\nsides 1e-20 1e-20 1e-20\nradius 1e-30\n"
                                       "env_obj 1\nshape sphere\nsides 1e-160 1 1\nmass 1e-320\n"));
    testing::internal::CaptureStderr();
    ASSERT_EQ(read_mod(path.c_str()), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(path + ":2: refused sides: 1e-20"), std::string::npos) << err;
    EXPECT_NE(err.find(path + ":3: refused radius: 1e-30"), std::string::npos) << err;
    EXPECT_NE(err.find(path + ":6: refused sides: 1e-160"), std::string::npos) << err;
    EXPECT_NE(err.find(path + ":7: refused mass: 1e-320"), std::string::npos) << err;
    EXPECT_EQ(mod_world.objects[0].mass, 0.1);
    EXPECT_GE(mod_world.objects[0].sides[0], SANE_MIN_SIZE);

    // A mass too small or one ODE's own check refuses is made sound first.
    dInitODE();
    dWorldID world = dWorldCreate();
    dBodyID body = dBodyCreate(world);
    dMass m;
    dMassSetZero(&m);
    dMassSetBoxTotal(&m, 1e-12, 1e-3, 1e-3, 1e-3);
    set_checked_mass(body, &m);
    dBodyGetMass(body, &m);
    EXPECT_GE(m.mass, SANE_MIN_BODY_MASS);
    EXPECT_TRUE(dMassCheck(&m));
    dMassSetZero(&m);
    set_checked_mass(body, &m);
    dBodyGetMass(body, &m);
    EXPECT_TRUE(dMassCheck(&m));
    dWorldDestroy(world);
}

// A turn limit whose milliseconds would not fit an int is refused.
TEST(Sane, TurnTimeLimitOutOfRangeIsRefused)
{
    GameRules rules;
    memset(&rules, 0, sizeof rules);
    fill_default_rules(0, &rules);
    testing::internal::CaptureStderr();
    parse_newgame_line(" 300 10 3000000 0 0 0 100 0 0 classic", &rules);
    EXPECT_EQ(rules.turn_time_limit, 0);
    parse_newgame_line(" 300 10 -5 0 0 0 100 0 0 classic", &rules);
    EXPECT_EQ(rules.turn_time_limit, 0);
    parse_newgame_line(" 300 10 20 0 0 0 100 0 0 classic", &rules);
    EXPECT_EQ(rules.turn_time_limit, 20);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_lines(err, "NEWGAME refused: field 3"), 2) << err;
}

// GRAB lines are held to the world's range like every other state line.
TEST(Sane, GrabPositionsBeyondTheWorldAreRefused)
{
    GrabRecord records[GRAB_RECORDS] = {};
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_grab_line(" 0 0 11 0 1e6 0 0", records), 1);
    EXPECT_EQ(read_grab_line(" 0 0 11 0 nan 0 0", records), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_lines(err, "refused GRAB"), 2) << err;
    EXPECT_EQ(records[11].valid, 0);
    EXPECT_EQ(read_grab_line(" 0 0 11 0 1 2 3", records), 0);
    EXPECT_EQ(records[11].valid, 1);
}

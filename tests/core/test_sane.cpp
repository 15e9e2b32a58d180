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

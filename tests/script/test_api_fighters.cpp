// The fighter functions of the Lua API against a built world: what they
// read back, what they write to the bodies and the fighters' templates,
// and that refused values never reach the physics objects.
#include "script_fixture.h"

#include <cstring>

#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/world.h"
#include "script/api_game.h"
#include "support/test_support.h"

namespace {

class ApiFighters : public ScriptFolder {
protected:
    CoreOutward saved_outward{};
    GameRules saved_rules{};

    void SetUp() override
    {
        ScriptFolder::SetUp();
        saved_outward = core_outward;
        saved_rules = current_rules;
        core_outward = CoreOutward();
        game_init();
        ASSERT_GE(match_state.num_players, 2);
        ASSERT_TRUE(has_bodies(0));
        script("startup.lua", "");
        ASSERT_EQ(0, create_script_engine(&engine));
    }
    void TearDown() override
    {
        game_shutdown();
        core_outward = saved_outward;
        current_rules = saved_rules;
        ScriptFolder::TearDown();
    }
};

}  // namespace

TEST_F(ApiFighters, BodiesMoveAndReadBack)
{
    ASSERT_TRUE(run("set_body_pos(0, BODYPARTS.HEAD, 1.5, -2, 3)"));
    const dReal *p = dBodyGetPosition(players[0].body[0]);
    EXPECT_NEAR(1.5, p[0], 1e-6);
    EXPECT_NEAR(-2, p[1], 1e-6);
    EXPECT_NEAR(3, p[2], 1e-6);
    EXPECT_FLOAT_EQ(1.5f, player_body_table(0)[0].position[0]);
    EXPECT_EQ("1.5 -2 3", eval("(function(b) return b.pos.x .. ' ' .. b.pos.y .. ' ' .. b.pos.z end)"
                              "(get_body_info(0, 0))"));
    EXPECT_EQ("1 0 1", eval("(function(b) return b.rot.r0 .. ' ' .. b.rot.r12 .. ' ' .. b.rot.r15 end)"
                            "(get_body_info(0, 0))"));
    // The head is a sphere: its radius in x, nothing in y and z.
    EXPECT_EQ("true 0 0", eval("(function(b) return tostring(b.sides.x > 0) .. ' ' .. b.sides.y .. ' ' "
                               ".. b.sides.z end)(get_body_info(0, 0))"));

    // NaN and absurd values are refused before anything moves.
    EXPECT_FALSE(run("set_body_pos(0, 0, 0/0, 0, 0)"));
    EXPECT_FALSE(run("set_body_force(0, 0, 1e300, 0, 0)"));
    EXPECT_NEAR(1.5, dBodyGetPosition(players[0].body[0])[0], 1e-6);
    const dReal *f = dBodyGetForce(players[0].body[0]);
    EXPECT_EQ(0, f[0]);

    ASSERT_TRUE(run("set_body_force(0, 0, 5, 6, 7)"));
    EXPECT_EQ(5, dBodyGetForce(players[0].body[0])[0]);
    ASSERT_TRUE(run("vx, vy, vz = get_body_linear_vel(1, 20)"));
    EXPECT_EQ("number", eval("type(vz)"));
}

TEST_F(ApiFighters, SidesRadiusAndJointPosition)
{
    float before = player_body_table(0)[3].sides[0];
    ASSERT_TRUE(run("set_body_sides(0, 3, -1, 0.2, 0.2)"));   // negative: nothing
    EXPECT_EQ(before, player_body_table(0)[3].sides[0]);

    ASSERT_TRUE(run("set_joint_radius(1, JOINTS.NECK, 0.5)"));
    EXPECT_EQ("0.5", eval("get_joint_radius(1, 0)"));
    EXPECT_STREQ("custom_creation", current_rules.mod);

    ASSERT_TRUE(run("set_joint_pos(0, JOINTS.R_KNEE, 0.3, 0.4, 0.9)"));
    dVector3 anchor;
    dJointGetHingeAnchor(players[0].hinge[16], anchor);
    EXPECT_NEAR(0.3, anchor[0], 1e-6);
    EXPECT_NEAR(0.4, anchor[1], 1e-6);
    EXPECT_NEAR(0.9, anchor[2], 1e-6);
    // The template keeps the position as given.
    EXPECT_FLOAT_EQ(0.4f, player_joint_table(0)[16].anchor[1]);
    EXPECT_EQ("0.3 0.4 0.9", eval("(function(x, y, z) return string.format('%g %g %g', x, y, z) end)"
                                  "(get_joint_pos(0, 16))"));
    EXPECT_EQ("0.3 0.4 0.9", eval("(function(t) return string.format('%g %g %g', t.x, t.y, t.z) end)"
                                  "(get_joint_pos2(0, 16))"));
    // Joint 20 and body 21 read as zeros and change nothing.
    EXPECT_EQ("0 0 0", eval("(function(x, y, z) return x .. ' ' .. y .. ' ' .. z end)(get_joint_pos(0, 20))"));
    EXPECT_TRUE(run("set_body_pos(0, 21, 1, 2, 3)"));
}

TEST_F(ApiFighters, GripsAndBreakRequests)
{
    EXPECT_EQ("-1", eval("get_grip_lock(0, 11)"));
    EXPECT_EQ("0", eval("get_grip_info(1, 12)"));
    ASSERT_TRUE(run("set_grip_info(1, 12, 1)"));
    EXPECT_EQ("1", eval("get_grip_info(1, 12)"));
    ASSERT_TRUE(run("set_grip_info(1, 12, 0)"));
    EXPECT_EQ("0", eval("get_grip_info(1, 12)"));

    ASSERT_TRUE(run("fracture_joint(0, 6)"));
    EXPECT_EQ(JOINT_FRACTURED, players[0].joints[6].cut_pending);
    EXPECT_EQ("false", eval("get_joint_fracture(0, 6)"));
    players[0].joints[7].broken = JOINT_FRACTURED;
    ASSERT_TRUE(run("dismember_joint(0, 7)"));   // broken already: nothing
    EXPECT_EQ(0, players[0].joints[7].cut_pending);
    EXPECT_EQ("true", eval("get_joint_fracture(0, 7)"));
    int state = players[0].joint_state[7];
    ASSERT_TRUE(run("set_joint_state(0, 7, 1)"));   // a broken joint keeps its state
    EXPECT_EQ(state, players[0].joint_state[7]);
}

namespace {
std::string sent_line;
int lost_contacts;
}

TEST_F(ApiFighters, GameFlowFunctionsReachTheShellAndTheWorld)
{
    ScriptShell saved = script_shell;
    // Spectators: the rows up to the first empty name.
    script_shell.spectator_name = [](int i) -> const char * {
        static const char *const names[] = {"ann", "bob", ""};
        return i < 3 ? names[i] : nullptr;
    };
    EXPECT_EQ("2 ann bob", eval("(function(t) return #t .. ' ' .. t[1] .. ' ' .. t[2] end)(get_spectators())"));

    // reset_server: the line, and the lost-contact handling when it fails.
    sent_line.clear();
    lost_contacts = 0;
    script_shell.send_server_line = [](const char *line) {
        sent_line = line;
        return 1;
    };
    script_shell.lost_contact = [] { lost_contacts++; };
    ASSERT_TRUE(run("reset_server()"));
    EXPECT_EQ("reset\n", sent_line);
    EXPECT_EQ(1, lost_contacts);

    // step_to_end toggles the pause through the game control.
    static int toggles;
    toggles = 0;
    core_outward.toggle_game_paused = [](int frames) { toggles += 1 + frames; };
    ASSERT_TRUE(run("step_to_end()"));
    EXPECT_EQ(1, toggles);

    // export_mod writes the world among the mods; paths are refused.
    mkdir("data/mod", 0755);
    ASSERT_TRUE(run("export_mod('mine.zmm')"));
    EXPECT_NE(std::string::npos, read_whole_file("data/mod/mine.zmm").find("player 0"));
    ASSERT_TRUE(run("export_mod('../escape.zmm')"));
    EXPECT_EQ("", read_whole_file("data/escape.zmm"));

    // init_mod_world rebuilds the fighters (not during replay playback).

    ASSERT_TRUE(run("set_body_pos(0, 0, 5, 5, 5)"));
    replay_mode = REPLAY_PLAYING;
    ASSERT_TRUE(run("init_mod_world()"));
    EXPECT_NEAR(5, dBodyGetPosition(players[0].body[0])[0], 1e-6);
    replay_mode = REPLAY_LIVE;
    ASSERT_TRUE(run("init_mod_world()"));
    ASSERT_TRUE(has_bodies(0));
    EXPECT_GT(5 - dBodyGetPosition(players[0].body[0])[0], 1e-3);
    script_shell = saved;
}

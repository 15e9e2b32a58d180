#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/bout.h"
#include "core/breaks.h"
#include "core/command.h"
#include "core/net_handlers.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/replay_file.h"
#include "core/rules.h"
#include "core/step.h"
#include "core/world.h"

namespace {

struct Echo {
    std::string text;
    int kind;
};
std::vector<Echo> echoes;
std::vector<std::string> calls;
std::vector<std::pair<std::string, int>> console_lines;
int connect_result = 0;
std::vector<std::string> spectators;

void on_echo(const char *text, int kind) { echoes.push_back({text, kind}); }
void on_close() { calls.push_back("close"); }
void on_console(const char *text, int from_server) { console_lines.push_back({text, from_server}); }
int on_connect(const char *address)
{
    calls.push_back(std::string("connect ") + address);
    return connect_result;
}
int on_forward(const char *address, const char *previous)
{
    calls.push_back(std::string("forward ") + address + " back to " + previous);
    return connect_result;
}
int on_address(char *out, int size)
{
    snprintf(out, size, "%s:%i", "home.example", 20184);
    return 0;
}
// servers.txt of the tests: one listed host.
int on_listed_host(const char *host)
{
    return strcmp(host, "far.example") == 0;
}
void on_spectators(const char (*names)[32], int count)
{
    spectators.clear();
    for (int i = 0; i < count; i++)
        spectators.push_back(names[i]);
    calls.push_back("spectators");
}
void on_customs(const char *keyword, int player, const char *)
{
    calls.push_back(std::string("customs ") + keyword + " " + std::to_string(player));
}
void on_ghost(int a, int b, int c)
{
    calls.push_back("ghost " + std::to_string(a) + " " + std::to_string(b) + " " +
                    std::to_string(c));
}
void on_announce(int number, const char *text)
{
    calls.push_back("announce " + std::to_string(number) + " " + text);
}

void net(const std::string &line)
{
    char pending = 0;
    parse_cmd(CMD_KIND_NETWORK, line.c_str(), &pending);
    ASSERT_EQ(pending, 0) << line;
}

// A "P_" line and its tail.
void net_tail(const std::string &line, const std::vector<double> &values)
{
    static PackedTail tail;
    memset(&tail, 0, sizeof tail);
    ASSERT_GT(pack_tail((char *)tail.bytes, sizeof tail.bytes, values.data(), (int)values.size()),
              0);
    char pending = 0;
    parse_cmd(CMD_KIND_NETWORK, line.c_str(), &pending);
    ASSERT_EQ(pending, 1) << line;
    parse_cmd(CMD_KIND_NETWORK, (const char *)tail.bytes, &pending);
}

// 21 rows of width numbers: row b, column k holds base + b + k / 10.
std::string rows(int width, double base)
{
    std::string s;
    char number[64];
    for (int b = 0; b < NUM_BODIES; b++)
        for (int k = 0; k < width; k++) {
            snprintf(number, sizeof number, " %.4f", base + b + k / 10.0);
            s += number;
        }
    return s;
}

class NetHandlersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        echoes.clear();
        calls.clear();
        console_lines.clear();
        spectators.clear();
        connect_result = 0;
        match_result = MatchResult();
        core_outward = CoreOutward();
        core_outward.echo = on_echo;
        core_outward.close_connection = on_close;
        core_outward.run_console_command = on_console;
        core_outward.connect_to_server = on_connect;
        core_outward.server_address_text = on_address;
        core_outward.listed_server_host = on_listed_host;
        core_outward.set_spectator_names = on_spectators;
        core_outward.parse_customs_line = on_customs;
        core_outward.set_ghost_equipment = on_ghost;
        core_outward.hook_announce = on_announce;
        game_init();
        fill_default_rules(1, &current_rules);
        game_type = 1;
        replay_mode = REPLAY_LIVE;
        own_id = 5;
        reset_net_handler_state();
        match_result = MatchResult();
        delete replay_rules;
        replay_rules = nullptr;
    }
    void TearDown() override
    {
        delete replay_rules;
        replay_rules = nullptr;
        game_shutdown();
        core_outward = CoreOutward();
        game_type = 0;
    }
};

TEST_F(NetHandlersTest, SayShowsServerOwnAndOtherLines)
{
    struct Case {
        const char *line;
        const char *text;
        int kind;
    } cases[] = {
        {"SAY 0; welcome \n", "welcome", MSG_SERVER},
        {"SAY 5;  me\n", "me", MSG_PLAYER},
        {"SAY 7;other\n", "other", MSG_USER},
        {"SAY 3", "", MSG_USER},   // no ';': an empty text
    };
    for (const Case &c : cases) {
        echoes.clear();
        net(c.line);
        ASSERT_EQ(echoes.size(), 1u) << c.line;
        EXPECT_EQ(echoes[0].text, c.text) << c.line;
        EXPECT_EQ(echoes[0].kind, c.kind) << c.line;
    }
}

TEST_F(NetHandlersTest, ProtocolVersion)
{
    net("ZYLOMACH 30\n");
    EXPECT_TRUE(echoes.empty());
    EXPECT_TRUE(calls.empty());

    net("ZYLOMACH 29\n");
    ASSERT_EQ(echoes.size(), 1u);
    EXPECT_EQ(echoes[0].text.rfind("Wrong version.", 0), 0u);
    EXPECT_EQ(echoes[0].kind, MSG_INGAME);
    EXPECT_EQ(calls, std::vector<std::string>{"close"});
}

TEST_F(NetHandlersTest, BatchMarksReadyOrChoosesSlot)
{
    net("BATCH 0;3\n");
    EXPECT_EQ(net_batch.slot[0], 3);
    EXPECT_EQ(players[0].ready, 0);
    net("B_JOINT 0; 4 2 19 3\n");
    net("B_GRIP 0; 1 2\n");
    EXPECT_EQ(net_batch.joints[0][3][4], 2);
    EXPECT_EQ(net_batch.joints[0][3][19], 3);
    EXPECT_EQ(net_batch.grips[0][3][0], 1);
    EXPECT_EQ(net_batch.grips[0][3][1], 2);
    EXPECT_EQ(players[0].joint_state[4], 0);   // the live move is untouched

    net("BATCH 0;-1\n");
    EXPECT_EQ(players[0].ready, 1);
    EXPECT_EQ(net_batch.slot[0], 3);
}

TEST_F(NetHandlersTest, JointAndGripLinesSetPendingMoves)
{
    ASSERT_NE(players[1].body[0], nullptr);
    net("JOINT 1; 3 2 17 1\n");
    EXPECT_EQ(players[1].joint_state[3], 2);
    EXPECT_EQ(players[1].joint_state[17], 1);
    EXPECT_EQ(players[1].ready, 1);
    net("GRIP 1; 1 2\n");
    EXPECT_EQ(players[1].grip_req_l, 1);
    EXPECT_EQ(players[1].grip_req_r, 2);
}

TEST_F(NetHandlersTest, BodyRowsAndTailsAreReceivedAndApplied)
{
    net("POS 1;" + rows(3, 10) + "\n");
    net("QAT 1;" + rows(4, 0) + "\n");
    EXPECT_EQ(players[1].flags, 0x8 | 0x1);
    EXPECT_DOUBLE_EQ(players[1].saved_state[20].position[2], 30.2);
    EXPECT_DOUBLE_EQ(players[1].saved_state[2].quaternion[3], 2.3);

    std::vector<double> lin(NUM_BODIES * 3), ang(NUM_BODIES * 3);
    for (int i = 0; i < NUM_BODIES * 3; i++) {
        lin[i] = 0.001 * i;
        ang[i] = -0.5;
    }
    net_tail("P_LINVEL 1;\n", lin);
    net_tail("P_ANGVEL 1;\n", ang);
    EXPECT_EQ(players[1].flags, 0xf);
    EXPECT_NEAR(players[1].saved_state[20].linear_vel[2], 0.062, 1e-6);
    EXPECT_NEAR(players[1].saved_state[0].angular_vel[0], -0.5, 1e-6);

    // A short tail fills what it holds and keeps the rest.
    net_tail("P_POS 1;\n", {1.0, 2.0, 3.0});
    EXPECT_NEAR(players[1].saved_state[0].position[0], 1.0, 1e-6);
    EXPECT_DOUBLE_EQ(players[1].saved_state[1].position[0], 11.0);

    // At the end of the turn the bodies go where the server put them.
    for (int b = 0; b < NUM_BODIES; b++) {
        double *q = players[1].saved_state[b].quaternion;
        q[0] = 1;
        q[1] = q[2] = q[3] = 0;
    }
    apply_received_player_state(1);
    const dReal *p = dBodyGetPosition(players[1].body[5]);
    EXPECT_NEAR(p[0], 15.0, 1e-9);
    EXPECT_NEAR(p[2], 15.2, 1e-9);
    EXPECT_EQ(players[1].flags, 0);
}

TEST_F(NetHandlersTest, HingeValuesAndHandSizesActAtOnce)
{
    net("HINGEVEL 0; 1.5 -2 0.25\n");
    EXPECT_DOUBLE_EQ(dJointGetHingeParam(players[0].hinge[0], dParamVel), 1.5);
    EXPECT_DOUBLE_EQ(dJointGetHingeParam(players[0].hinge[1], dParamVel), -2.0);
    EXPECT_DOUBLE_EQ(received_hinge_vel[0][2], 0.25);
    EXPECT_EQ(players[0].flags, 0x40);

    // A value that is not finite ends the list: nothing of it reaches a hinge.
    net("HINGEFMAX 0; 40 nan 7\n");
    EXPECT_DOUBLE_EQ(dJointGetHingeParam(players[0].hinge[0], dParamFMax), 40.0);
    EXPECT_TRUE(std::isfinite(dJointGetHingeParam(players[0].hinge[1], dParamFMax)));
    EXPECT_EQ(received_hinge_fmax[0][2], 0.0);
    EXPECT_EQ(players[0].flags, 0x40 | 0x80);

    const BodyDef *table = player_body_table(0);
    ASSERT_NE(table, nullptr);
    net("SIZE 0; 12 1 11 0\n");
    dVector3 l, r;
    dGeomBoxGetLengths(players[0].geom[12], l);
    dGeomBoxGetLengths(players[0].geom[11], r);
    EXPECT_FLOAT_EQ((float)l[0], table[12].alt_sides[0]);
    EXPECT_FLOAT_EQ((float)r[0], table[11].sides[0]);
}

TEST_F(NetHandlersTest, BreaksBecomeTimedBreaks)
{
    match_state.match_frame = 120;
    net("CRUSH 0; 3 5\n");
    net("FRACT 1; 7\n");
    net("BREAK 1; 200 9\n");
    net("DISCL 0; 210 10\n");
    EXPECT_EQ(players[0].timed_breaks[3].kind, JOINT_DISMEMBERED);
    EXPECT_EQ(players[0].timed_breaks[3].frame, 120);
    EXPECT_EQ(players[0].timed_breaks[5].kind, JOINT_DISMEMBERED);
    EXPECT_EQ(players[1].timed_breaks[7].kind, JOINT_FRACTURED);
    EXPECT_EQ(players[1].timed_breaks[9].kind, JOINT_DISMEMBERED);
    EXPECT_EQ(players[1].timed_breaks[9].frame, 200);
    EXPECT_EQ(players[0].timed_breaks[10].kind, JOINT_FRACTURED);
    EXPECT_EQ(players[0].flags, 0x10);
    EXPECT_EQ(players[1].flags, 0x100);

    apply_timed_breaks(120);
    EXPECT_EQ(players[0].joints[3].broken, JOINT_DISMEMBERED);
    EXPECT_EQ(players[1].joints[7].broken, JOINT_FRACTURED);
    EXPECT_EQ(players[1].joints[9].broken, JOINT_INTACT);
}

TEST_F(NetHandlersTest, WorldAndResultsSetTheReadyBits)
{
    net("WORLD 0\n");
    EXPECT_EQ(match_state.ready_bits, 0x11f);

    net("WIN 7; 2 0 1 3 4 1.5 2.5 3.5 9\n");
    EXPECT_EQ(match_state.ready_bits & 0x20, 0x20);
    EXPECT_EQ(players[0].flags & 0x20, 0x20);
    EXPECT_EQ(players[1].flags & 0x20, 0x20);
    EXPECT_EQ(match_result.valid, 1);
    EXPECT_EQ(match_state.result_code, 7);
    EXPECT_EQ(match_result.code, 2);
    EXPECT_EQ(match_result.winners[0], 0);
    EXPECT_EQ(match_result.winners[1], -1);
    EXPECT_EQ(match_result.losers[0], 1);
    EXPECT_EQ(players[1].flags & PLAYER_LOST, PLAYER_LOST);
    EXPECT_EQ(players[0].flags & PLAYER_LOST, 0);
    EXPECT_FLOAT_EQ(match_result_extra.results[1][2], 3.5f);
    EXPECT_EQ(match_result_extra.last, 9);

    // A loser slot that names no fighter marks nobody.
    players[0].flags = players[1].flags = 0;
    net("WIN 7; 2 1 5 0 0 0 0 0 0\n");
    EXPECT_EQ(players[0].flags & PLAYER_LOST, 0);
    EXPECT_EQ(players[1].flags & PLAYER_LOST, 0);

    net("WIN2 3; 1 1 0 -1 -1 10 20 2 4 1 2 3 4 5 6 8\n");
    EXPECT_EQ(match_result.code, 1);
    EXPECT_EQ(match_result.winners[0], 1);
    EXPECT_EQ(match_result.winners[1], 0);
    EXPECT_FLOAT_EQ(match_result.scores[0], 2.0f);
    EXPECT_FLOAT_EQ(match_result.scores[1], 4.0f);
    EXPECT_EQ(match_result_extra.further[1][0], 20);
    EXPECT_FLOAT_EQ(match_result_extra.results[1][0], 4.0f);
    EXPECT_EQ(match_result_extra.last, 8);

    net("GAME 4; 100 200 1.5 2.5\n");
    EXPECT_EQ(match_result.values[1], 200);
    EXPECT_FLOAT_EQ(match_result.scores[1], 2.5f);
    EXPECT_EQ(match_result.code, 4);

    net("LOST 1; 300 1 0.5 -0.5 0.1\n");
    EXPECT_EQ(match_result.loss[1].frame, 300);
    EXPECT_EQ(match_result.loss[1].lost, 1);
    EXPECT_FLOAT_EQ(match_result.loss[1].position[1], -0.5f);

    net("FRAME 88; 10 20 30 40\n");
    EXPECT_FLOAT_EQ(players[1].injury, 20.0f);
    EXPECT_FLOAT_EQ(players[1].score, 40.0f);
    EXPECT_EQ(last_net_frame, 88);
}

// A result received in the middle of a match ends it on the frame it came;
// no line carries a frame for it, so one received later is not lost either.
TEST_F(NetHandlersTest, AResultEndsTheMatchOnTheFrameItArrives)
{
    match_state.match_frame = 37;
    match_state.game_over = 0;
    EXPECT_EQ(finish_turn_online(), 0);
    net("WIN 7; 0 1 0 0 0 0 0 0 0\n");
    EXPECT_EQ(match_result.frame, 37);
    match_state.match_frame = 38;
    EXPECT_EQ(finish_turn_online(), 1);
    EXPECT_EQ(match_state.game_over, 1);
    EXPECT_EQ(match_state.end_frame, 38);
    EXPECT_EQ(match_state.winners[0], -1);
    EXPECT_EQ(match_state.winners[1], 1);
}

// The result banner reads each fighter's belt before (its bout entry) and
// after (the result line's first further value), the coins and the streak.
TEST_F(NetHandlersTest, ResultLinesCarryBeltsCoinsAndStreaks)
{
    net("BOUT 0; 11 99 0 0 3 0 alice 4\n");
    net("BOUT 1; 12 480 0 0 0 0 bob 1\n");
    net("BOUT 2; -1\n");
    ASSERT_EQ(num_bouts, 2);
    EXPECT_EQ(bout_list[0].values[BOUT_STREAK], 4);

    // WIN: the winner's entry only; further values (new belt value, coins).
    net("WIN 0; 0 0 1 100 12 0 0 0 0\n");
    EXPECT_EQ(match_result.belt_known[0], 1);
    EXPECT_EQ(match_result.belt_before[0], 99);
    EXPECT_EQ(match_result.belt_after[0], 100);
    EXPECT_EQ(match_result.coins[0], 12);
    EXPECT_EQ(match_result.streak[0], 4);
    EXPECT_EQ(match_result.belt_known[1], 0);

    // WIN2: every listed fighter, one further value each and no coins.
    net("WIN2 0; 1 0 1 -1 -1 100 500 7 3\n");
    EXPECT_EQ(match_result.belt_known[1], 1);
    EXPECT_EQ(match_result.belt_before[1], 480);
    EXPECT_EQ(match_result.belt_after[1], 500);
    EXPECT_EQ(match_result.coins[1], 0);
    EXPECT_EQ(match_result.coins[0], 0);
    EXPECT_EQ(match_result.streak[1], 1);

    // A refused line changes nothing.
    net("WIN2 0; 1 0 40 -1 -1 1 2 3 4\n");
    EXPECT_EQ(match_result.belt_after[1], 500);
}

TEST_F(NetHandlersTest, WinListsTakeScoresOfAnySizeFromTheLineBefore)
{
    // A FRAME line leaves scores far beyond the int range and a WIN2 line
    // lists fewer scores than there are players: the ones it leaves out
    // start from those, cut to the int range, never cast blindly.
    net("FRAME 5; 0 0 1e30 -1e30\n");
    net("WIN2 0; 1 0 1 -1 -1 100 500 7\n");
    EXPECT_FLOAT_EQ(match_result.scores[0], 7);
    EXPECT_FLOAT_EQ(match_result.scores[1], (float)INT32_MIN);
}

TEST_F(NetHandlersTest, RulesLinesFillThePendingRulesAndStartAnOnlineGame)
{
    net("TEAMS 4; 0 1 0 1\n");
    ASSERT_NE(replay_rules, nullptr);
    EXPECT_EQ(replay_rules->players, 4);
    EXPECT_EQ(replay_rules->teams, 2);
    EXPECT_EQ(replay_rules->team[3], 1);

    GameRules rules{};
    fill_default_rules(1, &rules);
    rules.matchframes = 777;
    std::string line = write_newgame_line(0, &rules);
    net(line);
    EXPECT_EQ(replay_rules, nullptr);
    EXPECT_EQ(game_type, 1);
    EXPECT_EQ(current_rules.matchframes, 777);
}

TEST_F(NetHandlersTest, BoutAndSpectatorLists)
{
    net("BOUT 0; 11 1 2 3 4 5 alice 6\n");
    net("BOUT 1; 12 0 0 0 0 0 bob 0\n");
    net("BOUT 2; -1\n");
    EXPECT_EQ(num_bouts, 2);
    EXPECT_STREQ(bout_list[0].name, "alice");
    EXPECT_EQ(bout_list[0].user_id, 11);
    EXPECT_EQ(bout_list[0].values[0], 5);   // status bits
    EXPECT_EQ(bout_list[0].values[1], 1);   // belt value
    EXPECT_EQ(bout_list[0].values[4], 4);   // rank
    EXPECT_EQ(bout_list[0].values[5], 6);

    net("SPECS 0; carol\tdave\n");
    EXPECT_EQ(spectators, (std::vector<std::string>{"carol", "dave"}));
    net("SPECS 0;\n");
    EXPECT_TRUE(spectators.empty());
    EXPECT_EQ(calls.back(), "spectators");
}

TEST_F(NetHandlersTest, RunIsMarkedAsComingFromTheServer)
{
    net("RUN 0;  > /tmp/x echo hi \n");
    ASSERT_EQ(console_lines.size(), 1u);
    EXPECT_EQ(console_lines[0].first, "> /tmp/x echo hi");
    EXPECT_EQ(console_lines[0].second, 1);
    net("RUN 0");
    ASSERT_EQ(console_lines.size(), 2u);
    EXPECT_EQ(console_lines[1].first, "");
    EXPECT_EQ(console_lines[1].second, 1);
}

TEST_F(NetHandlersTest, EchoTest)
{
    struct Case {
        std::string args;
        const char *text;
        int kind;
    } cases[] = {
        {std::string(1500, 'A') + "\n", "echo test succeded", MSG_SERVER},
        {std::string(1499, 'A') + "\n", "echo test failed\n", MSG_INGAME},
        {std::string(1500, 'A'), "echo test failed\n", MSG_INGAME},
        {"", "echo test failed\n", MSG_INGAME},
    };
    testing::internal::CaptureStderr();
    for (const Case &c : cases) {
        echoes.clear();
        net("ECHO 0;" + c.args);
        ASSERT_EQ(echoes.size(), 1u);
        EXPECT_EQ(echoes[0].text, c.text);
        EXPECT_EQ(echoes[0].kind, c.kind);
    }
    echoes.clear();
    net("ECHO 1");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("got echo '" + std::string(1500, 'A') + "\n'"), std::string::npos);
    EXPECT_EQ(echoes.size(), 1u);
}

TEST_F(NetHandlersTest, ConnectionControl)
{
    net("CONNECT 3\n");
    ASSERT_EQ(echoes.size(), 1u);
    EXPECT_EQ(echoes[0].text, "Player connected");
    EXPECT_EQ(echoes[0].kind, MSG_SERVER);
    EXPECT_TRUE(calls.empty());

    // A redirect goes to the server's own host or one servers.txt lists;
    // any other host would get the login, and is refused with a message.
    net("CONNECT 0; home.example:20185\n");
    EXPECT_EQ(calls, std::vector<std::string>{"connect home.example:20185"});
    calls.clear();
    net("CONNECT 0; far.example:20185\n");
    EXPECT_EQ(calls, std::vector<std::string>{"connect far.example:20185"});
    calls.clear();
    echoes.clear();
    testing::internal::CaptureStderr();
    net("CONNECT 0; other.example:20185\n");
    net("FORWARD 0; 10.1.2.3:20184\n");
    net("CONNECT 0; home.example.evil:20184\n");
    std::string refusals = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(calls.empty());
    ASSERT_EQ(echoes.size(), 3u);
    EXPECT_EQ(echoes[0].text,
              "Refused CONNECT to other.example:20185: not this server's host nor one in servers.txt");
    EXPECT_NE(refusals.find("Refused FORWARD to 10.1.2.3:20184"), std::string::npos);

    // The host is read as the connect would look it up: text after a
    // bracketed part, or a second colon, is not the current or a listed host.
    calls.clear();
    echoes.clear();
    testing::internal::CaptureStderr();
    for (const char *line : {"CONNECT 0; [home.example]evil.test:20185\n",
                             "FORWARD 0; [home.example]evil.test:20185\n",
                             "CONNECT 0; [far.example]:20185\n", "CONNECT 0; home.example:1:2\n",
                             "FORWARD 0; far.example evil.test:20185\n"})
        net(line);
    refusals = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(calls.empty()) << calls[0];
    EXPECT_EQ(echoes.size(), 5u);
    EXPECT_NE(refusals.find("Refused CONNECT to [home.example]evil.test:20185: not a host name, "
                            "IPv4 address or [IPv6]:port"),
              std::string::npos)
        << refusals;
    EXPECT_NE(refusals.find("Refused FORWARD to [home.example]evil.test:20185"), std::string::npos);

    calls.clear();
    echoes.clear();
    net("DISCONNECT 0; server going down \n");
    net("KICK 0; bye\n");
    ASSERT_EQ(echoes.size(), 2u);
    EXPECT_EQ(echoes[0].text, "server going down");
    EXPECT_EQ(echoes[1].text, "bye");
    EXPECT_EQ(echoes[1].kind, MSG_SERVER);
    EXPECT_EQ(calls, (std::vector<std::string>{"close", "close"}));

    calls.clear();
    connect_result = 1;
    net("FORWARD 0; far.example:1\n");
    EXPECT_EQ(calls, (std::vector<std::string>{"connect far.example:1",
                                               "connect home.example:20184"}));
    calls.clear();
    connect_result = 0;
    net("FORWARD 0; far.example:1\n");
    EXPECT_EQ(calls, std::vector<std::string>{"connect far.example:1"});

    // The client's own form is told where to go back to, whatever comes
    // of the connect later.
    calls.clear();
    core_outward.forward_to_server = on_forward;
    net("FORWARD 0; far.example:1\n");
    EXPECT_EQ(calls, std::vector<std::string>{"forward far.example:1 back to home.example:20184"});
}

TEST_F(NetHandlersTest, CustomsGhostEmoteAnnounceAndEnvironment)
{
    net("JFORCE 1; 0 3\n");
    net("BELTNAME 0; x\n");
    net("GHOST 0; 1 2 3\n");
    net("ANNOUNCE 4; hello\n");
    EXPECT_EQ(calls, (std::vector<std::string>{"customs FORCOL 1", "customs BELTNAME 0",
                                               "ghost 1 2 3", "announce 4 hello"}));

    frame_tick = 1000;
    net("EMOTE 1; wave \n");
    EXPECT_STREQ(players[1].emote, "wave");
    EXPECT_EQ(players[1].emote_end, 11000);

    replay_grabs[1][11].valid = 0;
    net("GRAB 1; 4 5 11 7 0.5 0.25 1\n");
    const GrabRecord &g = net_grabs[1][11];
    EXPECT_EQ(g.valid, 1);
    EXPECT_EQ(g.a, 4);
    EXPECT_EQ(g.d, 7);
    EXPECT_DOUBLE_EQ(g.position[1], 0.25);
    EXPECT_EQ(replay_grabs[1][11].valid, 0);   // the replay's set is its own

    std::vector<double> env(2 * 13, 0.5);
    net_tail("P_ENV 0;\n", env);
    EXPECT_EQ(received_env.received, 1);
    EXPECT_EQ(received_env.count, 2);
    EXPECT_NEAR(received_env.linear_velocity[1][2], 0.5, 1e-6);
}

// Lines a hostile or broken server may send. Each must leave the players,
// the match, the bout lists and the handlers' tables exactly as they were.
TEST_F(NetHandlersTest, HostileLinesAreIgnored)
{
    const std::string long_text(1500, 'Z');
    const char *lines[] = {
        "JOINT 9; 1 1\n", "JOINT -1; 1 1\n", "JOINT 2; 1 1\n", "JOINT 0; 25 1\n",
        "JOINT 0; 3 1 -4 2\n", "B_JOINT 9; 1 1\n", "B_JOINT 0; 20 1\n",
        "POS 9; 1 2 3\n", "QAT 4; 1 0 0 0\n", "LINVEL -3; 1 1 1\n", "ANGVEL 2; 1 1 1\n",
        "HINGEVEL 9; 1 2\n", "HINGEFMAX 5; 1\n", "CRUSH 0; 25\n", "CRUSH 0; 3 -1\n",
        "FRACT 9; 1\n", "BREAK 0; 10 25\n", "BREAK 0; 10\n", "BREAK 0", "DISCL 9; 1 1\n",
        "GRIP 9; 1 1\n", "GRIP 0; 7 1\n", "GRIP -1; 1 1\n", "GRIP 0; 1\n", "GRIP 0",
        "B_GRIP 9; 1 1\n", "B_GRIP 0; 1 3\n", "BATCH 0; 32\n", "BATCH 0; -2\n", "BATCH 9; -1\n",
        "BATCH 0", "SIZE 0; 3 1 12 0\n", "SIZE 9; 12 1\n", "SIZE 0; 12 1 20 1\n",
        "GRAB 0; 1 2 21 0 1 1 1\n", "GRAB 9; 1 2 3 0 1 1 1\n", "GRAB 0; 1 2 3 0 nan 1 1\n",
        "GRAB 0; 2147483647 2 3 0 1 1 1\n", "GRAB 0; 1 -1 3 0 1 1 1\n", "GRAB 0; 1 21 3 0 1 1 1\n", "GRAB 0; 1 2 99 0 1 1 1\n",
        "BOUT 40; 1 2 3 4 5 6 name 7\n", "BOUT -1; 1 2 3 4 5 6 name 7\n", "BOUT 3",
        "EMOTE 9; hi\n", "EMOTE -1", "LOST 9; 1 1 0 0 0\n", "LOST 0; 1 1 nan 0 0\n", "LOST 0",
        "WIN 0; 2 9 0 0 0 0 0 0 0\n", "WIN 0; 2 0 40 0 0 0 0 0 0\n",
        "WIN2 0; 2 40 0 0 0 0 0 0 0\n", "WIN2 0; 2 0 0 -7 0\n", "BODCOL 9; 0 1\n",
        "JREPLAY -2; 0 1\n", "P_POS 9", "INFO 3; 1 2\n",
    };
    auto snapshot = [] {
        std::string s;
        s.append((const char *)players, sizeof players);
        s.append((const char *)&match_state, sizeof match_state);
        s.append((const char *)&match_result, sizeof match_result);
        s.append((const char *)&net_batch, sizeof net_batch);
        s.append((const char *)net_grabs, sizeof net_grabs);
        s.append((const char *)received_hinge_vel, sizeof received_hinge_vel);
        s.append((const char *)bout_list, sizeof bout_list);
        s.append((const char *)bout_staging, sizeof bout_staging);
        s.append((const char *)&num_bouts, sizeof num_bouts);
        return s;
    };
    testing::internal::CaptureStderr();
    std::string before = snapshot();
    for (const char *line : lines) {
        char pending = 0;
        parse_cmd(CMD_KIND_NETWORK, line, &pending);
        EXPECT_TRUE(snapshot() == before) << line;
        before = snapshot();
    }
    // A tail for a player outside the match, and a tail whose count is refused.
    char pending = 0;
    parse_cmd(CMD_KIND_NETWORK, "P_QAT 9;\n", &pending);
    double v[4] = {1, 2, 3, 4};
    PackedTail tail;
    memset(&tail, 0, sizeof tail);
    pack_tail((char *)tail.bytes, sizeof tail.bytes, v, 4);
    parse_cmd(CMD_KIND_NETWORK, (const char *)tail.bytes, &pending);
    parse_cmd(CMD_KIND_NETWORK, "P_POS 0;\n", &pending);
    tail.bytes[0] = 0xff;
    tail.bytes[1] = 0xff;
    parse_cmd(CMD_KIND_NETWORK, (const char *)tail.bytes, &pending);
    EXPECT_TRUE(snapshot() == before);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(echoes.empty());
}

// Lines without arguments and 1500-character texts are taken without a
// crash; what they may do is bounded.
TEST_F(NetHandlersTest, BareLinesAndLongTexts)
{
    const std::string long_text(1500, 'Z');
    testing::internal::CaptureStderr();
    const char *bare[] = {"NEWGAME 0", "RUN 0", "TEAMS 2", "ENGAGE 0", "WIN 0", "WIN2 0",
                          "ID 5", "CONNECT 0", "SPECS 0", "SAY 3", "QAT 0", "POS 0",
                          "HINGEVEL 0", "HINGEFMAX 0", "ANGVEL 0", "LINVEL 0", "WORLD 0",
                          "CRUSH 0", "FRACT 0", "GAME 0", "BODCOL 0", "GHOST 0", "ECHO 1",
                          "DISCONNECT 0", "KICK 0", "FRAME 0", "FORWARD 0", "ANNOUNCE 0",
                          "EMOTE 0", "SIZE 0", "GRAB 0", "LOST 0"};
    for (const char *line : bare) {
        char pending = 0;
        parse_cmd(CMD_KIND_NETWORK, line, &pending);
    }
    for (const char *name : {"SAY 0;", "EMOTE 1;", "RUN 0;", "DISCONNECT 0;", "SPECS 0;",
                             "ANNOUNCE 1;", "BODCOL 0;", "BOUT 0; 3 0 0 0 0 0 ", "CONNECT 0;",
                             "FORWARD 0;"}) {
        char pending = 0;
        parse_cmd(CMD_KIND_NETWORK, (std::string(name) + long_text + "\n").c_str(), &pending);
    }
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(strlen(players[1].emote), 31u);
    EXPECT_EQ(strlen(bout_staging[0].name), 255u);
    ASSERT_FALSE(console_lines.empty());
    EXPECT_EQ(console_lines.back().first, long_text);
    EXPECT_EQ(console_lines.back().second, 1);
    EXPECT_LE(spectators.size(), 32u);
    for (const std::string &s : spectators)
        EXPECT_LE(s.size(), 31u);
}

}  // namespace

// A GRAB line whose body ids or slot lie outside a fighter's bodies is
// refused with one line on standard error and writes no record.
TEST_F(NetHandlersTest, GrabOutOfRangeIsRefusedAloud)
{
    const char *lines[] = {"GRAB 0; 2147483647 2 3 0 1 1 1\n", "GRAB 0; 1 21 3 0 1 1 1\n",
                           "GRAB 0; -1 2 3 0 1 1 1\n", "GRAB 0; 1 2 99 0 1 1 1\n"};
    for (const char *line : lines) {
        SCOPED_TRACE(line);
        memset(net_grabs, 0, sizeof net_grabs);
        testing::internal::CaptureStderr();
        net(line);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("GRAB"), std::string::npos) << err;
        EXPECT_NE(err.find("out of range"), std::string::npos) << err;
        for (int s = 0; s < GRAB_RECORDS; s++)
            EXPECT_EQ(net_grabs[0][s].valid, 0);
    }
    net("GRAB 0; 20 0 3 0 1 1 1\n");
    EXPECT_EQ(net_grabs[0][3].valid, 1);
}

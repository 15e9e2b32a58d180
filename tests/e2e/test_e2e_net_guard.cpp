// The online client against scripted servers on 127.0.0.1: the first turn
// of an online game carries the move the player set; a redirect to a host
// the player never chose is refused; a browser reply with a "P_" line is
// read whole.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "e2e/e2e_support.h"
#include "core/rules.h"
#include "net/scripted_peer.h"
#include "support/test_support.h"

namespace {

void touch(const std::string &path)
{
    if (FILE *f = fopen(path.c_str(), "w"))
        fclose(f);
}

// The first line of what the client wrote that starts with head ("" when
// none, or while it is not complete).
std::string first_joint_line(const std::string &text, const std::string &head)
{
    size_t at = text.find(head);
    if (at == std::string::npos)
        return "";
    size_t end = text.find('\n', at);
    return end == std::string::npos ? "" : text.substr(at, end - at);
}

}  // namespace

// A newcomer joins, leaves the menu and, without clicking any fighter,
// holds every joint ('c') and commits with space: the first JOINT line the
// server gets holds those states, and no empty move went out before it;
// as the first fighter or the second, with a turn time limit or none.
struct FirstTurnCase {
    const char *name;
    int own;          // the player's fighter
    int time_limit;   // the server's turn time limit, seconds (0: none)
};

class E2eNetFirstTurn : public ::testing::TestWithParam<FirstTurnCase> {};

TEST_P(E2eNetFirstTurn, CarriesThePlayersMove)
{
    const FirstTurnCase &c = GetParam();
    ScriptedPeer server;
    const std::string run_dir = test_tmp_path((std::string("e2e_net_first_turn_") + c.name).c_str());
    const std::string joint = "JOINT " + std::to_string(c.own) + ";";
    GameRules rules;
    memset(&rules, 0, sizeof rules);
    fill_default_rules(1, &rules);
    rules.turn_time_limit = c.time_limit;
    const std::string bouts = c.own == 0 ? "ID 5;\nBOUT 0; 5 0 0 0 0 0 me 0\n"
                                           "BOUT 1; 6 0 0 0 0 0 you 0\nBOUT 2; -1\n"
                                         : "ID 5;\nBOUT 0; 6 0 0 0 0 0 you 0\n"
                                           "BOUT 1; 5 0 0 0 0 0 me 0\nBOUT 2; -1\n";
    std::string seen;
    std::thread driver([&] {
        if (!server.wait_for("mlogin", 120000))
            return;
        server.push(bouts + write_newgame_line(0, &rules) + "SAY 0;joined the game\n");
        if (!server.wait_for(joint, 120000))
            return;
        for (int k = 0; k < 200 && first_joint_line(server.text(), joint).empty(); k++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        seen = server.text();
        touch(run_dir + "/joint_sent");
    });

    GameSetup setup;
    setup.startup_lua = R"(
local own = )" + std::to_string(c.own) + R"(
local joined = false
add_hook("console", "e2e", function(text, kind)
  if not joined and string.find(tostring(text), "joined the game", 1, true) then
    joined = true
    e2e_mark_after("joined", 60)
  end
end)
local held = false
add_hook("draw2d", "e2e", function()
  if joined and not held then
    local all = true
    for j = 0, 19 do
      if get_joint_info(own, j).state ~= 3 then all = false end
    end
    if all then
      held = true
      e2e_mark("held")
    end
  end
end)
)" + connect_on_first_game(server.port) + R"(
)";
    setup.actions.push_back({"joined", 0, "xdotool mousemove 400 20 key Escape"});
    setup.actions.push_back(repeat_until("", "xdotool key c", "held", 1500));
    setup.actions.push_back(repeat_until("held", "xdotool key space", "joint_sent", 2000));
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game((std::string("net_first_turn_") + c.name).c_str(), setup);
    server.stop();
    driver.join();

    EXPECT_FALSE(run.timed_out) << run.describe();
    ASSERT_TRUE(run.exists("held")) << seen << "\n" << run.describe();
    std::string expected = joint;
    for (int j = 0; j < 20; j++)
        expected += " " + std::to_string(j) + " 3";
    EXPECT_EQ(first_joint_line(seen, joint), expected) << seen;
    const std::string grip = "GRIP " + std::to_string(c.own) + ";";
    EXPECT_EQ(seen.find(grip), seen.rfind(grip)) << seen;
}

INSTANTIATE_TEST_SUITE_P(Cases, E2eNetFirstTurn,
                         ::testing::Values(FirstTurnCase{"kasu", 0, 20},
                                           FirstTurnCase{"uke", 1, 20},
                                           FirstTurnCase{"no_limit", 0, 0}),
                         [](const ::testing::TestParamInfo<FirstTurnCase> &i) {
                             return std::string(i.param.name);
                         });

// A server redirects with a bracketed host whose brackets hold this
// server's own address and whose rest is another name, by CONNECT and by
// FORWARD. Both are refused aloud; the second listener hears nothing (no
// NICK, no login), and the turn after them still goes to the first server.
TEST(E2eNetGuard, BracketedRedirectIsRefusedAndPlayGoesOn)
{
    ScriptedPeer server;
    ScriptedPeer elsewhere;
    const std::string run_dir = test_tmp_path("e2e_net_redirect");
    const std::string redirect = "[127.0.0.1]evil.test:" + std::to_string(elsewhere.port);
    std::string seen_at_end;
    std::thread driver([&] {
        if (!server.wait_for("mlogin", 120000))
            return;
        server.push(std::string("ID 5;\nBOUT 0; 5 0 0 0 0 0 me 0\nBOUT 1; 6 0 0 0 0 0 you 0\n"
                                "BOUT 2; -1\n") +
                    server_newgame_line() + "CONNECT 0; " + redirect + "\nFORWARD 0; " + redirect +
                    "\nSAY 0;after the redirects\n");
        if (!server.wait_for("JOINT 0;", 120000))
            return;
        seen_at_end = server.text();
        touch(run_dir + "/joint_sent");
    });

    GameSetup setup;
    setup.startup_lua = R"(
add_hook("console", "e2e", function(text, kind)
  text = tostring(text)
  e2e_log("console " .. text)
  if string.find(text, "after the redirects", 1, true) then e2e_mark_after("after", 30) end
end)
)" + connect_on_first_game(server.port) + R"(
)";
    setup.actions.push_back({"after", 0, "xdotool mousemove 400 300 key Escape"});
    setup.actions.push_back(repeat_until("", "xdotool key space", "joint_sent", 2000));
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("net_redirect", setup);
    server.stop();
    driver.join();
    const bool reached = elsewhere.wait_client(200);
    const std::string heard = elsewhere.text();
    elsewhere.stop();

    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(count_lines_with(run.err, "Refused CONNECT to " + redirect), 1) << run.describe();
    EXPECT_EQ(count_lines_with(run.err, "Refused FORWARD to " + redirect), 1) << run.describe();
    EXPECT_NE(run.log.find("console Refused CONNECT to " + redirect), std::string::npos)
        << run.describe();
    EXPECT_FALSE(reached);
    EXPECT_EQ(heard, "");
    EXPECT_EQ(run.log.find("lost contact"), std::string::npos) << run.describe();
    EXPECT_NE(seen_at_end.find("JOINT 0;"), std::string::npos) << seen_at_end;
    EXPECT_EQ(seen_at_end.find("QUIT"), std::string::npos) << seen_at_end;
}

// A server answers the browser with a "P_POS 0;" text line among its
// lines: it is still listed with its description and counts.
TEST(E2eNetGuard, BrowserListsAServerThatSendsAPacketName)
{
    ScriptedPeer answering;
    std::thread driver([&] {
        if (answering.wait_client(120000))
            answering.push(server_newgame_line() +
                           "P_POS 0;\nCLIENTS 0;alice\nDESC 0;Packet name server\nINFO 1;16 0\n");
    });
    GameSetup setup;
    setup.files.push_back({"servers.txt", answering.address() + " \"first\"\n"});
    const std::string listed = "#1 " + answering.address() + " 1/16 Packet name server";
    setup.startup_lua = R"(
local started = false
add_hook("console", "e2e", function(text, kind)
  text = tostring(text)
  e2e_log("console " .. text)
  if text == ")" + listed + R"(" then e2e_mark("listed") end
end)
add_hook("new_game", "e2e", function()
  if not started then
    started = true
    run_cmd("refresh")
    e2e_mark("started")
  end
end)
add_hook("key_down", "e2e", function(key)
  if key == 293 then
    run_cmd("list")
    return 1
  end
end)
)";
    setup.actions.push_back({"started", 0, "xdotool mousemove 400 300 key Escape"});
    setup.actions.push_back(repeat_until("", "xdotool key F12", "listed", 1500));
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("net_browser_packet_name", setup);
    answering.stop();
    driver.join();

    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_NE(run.log.find("console " + listed), std::string::npos) << run.describe();
    EXPECT_EQ(run.log.find("No Connection"), std::string::npos) << run.describe();
}

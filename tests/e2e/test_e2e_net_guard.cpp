// The online client against scripted servers on 127.0.0.1: the first turn
// of an online game carries the move the player set.
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

// A live game server that turns hostile mid-match: a CONNECT that would
// hand the login to a host that is neither this server nor one listed in
// servers.txt, and a POS line whose row is NaN at both ends with a huge
// value between. Both are refused with one line; the client stays with its
// server, the fighter stays where it stood, and the next turn is still
// committed to the server.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_support.h"
#include "net/scripted_peer.h"
#include "support/test_support.h"

TEST(E2eHostileServer, ForeignRedirectAndNanRowAreRefusedAndPlayGoesOn)
{
    ScriptedPeer server;
    const std::string run_dir = test_tmp_path("e2e_hostile_server");
    std::string seen_at_end;
    std::thread driver([&] {
        if (!server.wait_for("mlogin", 120000))
            return;
        server.push(std::string("ID 5;\nBOUT 0; 5 0 0 0 0 0 me 0\nBOUT 1; 6 0 0 0 0 0 you 0\n"
                                "BOUT 2; -1\n") +
                    server_newgame_line() + "CONNECT 0; evil.invalid:20184\nPOS 0; nan 1e30 nan\n" +
                    "SAY 0;after the hostile lines\n");
        if (!server.wait_for("JOINT 0;", 120000))
            return;
        seen_at_end = server.text();
        if (FILE *f = fopen((run_dir + "/joint_sent").c_str(), "w"))
            fclose(f);
    });

    GameSetup setup;
    setup.startup_lua = R"(
local after = false
local frames = 0
add_hook("console", "e2e", function(text, kind)
  text = tostring(text)
  e2e_log("console " .. text)
  if string.find(text, "after the hostile lines", 1, true) then after = true end
end)
add_hook("draw2d", "e2e", function()
  if after then
    frames = frames + 1
    if frames == 30 then
      local head = get_body_info(0, 0).pos
      e2e_log(string.format("head %.3f %.3f %.3f", head.x, head.y, head.z))
      e2e_mark("checked")
    end
  end
end)
)" + connect_on_first_game(server.port) + R"(
)";
    setup.actions.push_back({"checked", 0, "xdotool mousemove 400 300 key Escape"});
    setup.actions.push_back(repeat_until("", "xdotool key space", "joint_sent", 2000));
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("hostile_server", setup);
    server.stop();
    driver.join();

    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    // One line each names what was refused.
    EXPECT_EQ(count_lines_with(run.err, "Refused CONNECT to evil.invalid:20184"), 1) << run.describe();
    EXPECT_EQ(count_lines_with(run.err, "refused POS"), 1) << run.describe();
    // The player is told of the redirect; the client never left its server.
    EXPECT_NE(run.log.find("Refused CONNECT"), std::string::npos) << run.describe();
    EXPECT_EQ(run.log.find("lost contact"), std::string::npos) << run.describe();
    // The head is where a fighter's head stands, not at 1e30.
    std::vector<std::string> head = tagged(run.log, "head ");
    ASSERT_EQ(head.size(), 1u) << run.describe();
    double x = 0, y = 0, z = 0;
    ASSERT_EQ(sscanf(head[0].c_str(), "%lf %lf %lf", &x, &y, &z), 3) << head[0];
    EXPECT_LT(std::abs(x) + std::abs(y) + std::abs(z), 20.0) << head[0];
    // The turn after them still reached the server.
    EXPECT_NE(seen_at_end.find("JOINT 0;"), std::string::npos) << seen_at_end;
}

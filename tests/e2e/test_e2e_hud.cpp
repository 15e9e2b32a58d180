// What the screen tells the player, seen from outside: the result of a match,
// the joint line, the HUD switches and the F8 screenshot files.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <unistd.h>

#include "core/rules.h"
#include "e2e/e2e_support.h"
#include "net/scripted_peer.h"
#include "support/test_support.h"

namespace {

// A replay named on the command line starts the program in game (no title
// page); Space then leaves the empty replay for a new game, which marks
// "started" five drawn frames later. The script's own Lua follows.
GameSetup new_game_setup(const std::string &lua)
{
    GameSetup setup;
    setup.startup_lua =
        "add_hook(\"new_game\", \"e2e_start\", function() e2e_mark_after(\"started\", 5) end)\n" +
        lua;
    setup.args = {"none.rpl"};
    setup.actions.push_back({"", 0, "xdotool mousemove 400 20 key space", "started"});
    return setup;
}

// Waits up to two minutes for a file of a game's runtime folder.
bool wait_for_file(const std::string &path)
{
    for (int i = 0; i < 12000; i++) {
        if (access(path.c_str(), F_OK) == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// A short match played to its end with 'p'; the console hook sees the
// result line that goes with the banner.
TEST(E2eHud, MatchEndAnnouncesTheResult)
{
    GameSetup setup = new_game_setup(R"(
local live = false
add_hook("new_game", "e2e", function()
  run_cmd("setframes 30")
  live = true
  e2e_log("new_game")
end)
add_hook("console", "e2e", function(text, kind)
  if live and (string.find(text, "WINS") or string.find(text, "DRAW")) then
    e2e_log("result: " .. text)
    e2e_mark("result")
  end
end)
add_hook("end_game", "e2e", function(code) e2e_log("end_game " .. tostring(code)) end)
)");
    setup.actions.push_back({"started", 0, "xdotool key p", "result"});
    setup.actions.push_back({"result", 0, "screenshot result.png"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("hud_result", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(count_lines_with(run.log, "end_game"), 1) << run.describe();
    bool announced = run.log.find("result: ") != std::string::npos &&
                     (run.log.find("  WINS !") != std::string::npos ||
                      run.log.find("DRAW!") != std::string::npos ||
                      run.log.find("DRAW !") != std::string::npos);
    EXPECT_TRUE(announced) << run.describe();
}

// The scores stand in the top corners; "option hud 0" takes them away.
TEST(E2eHud, HudOptionHidesTheScores)
{
    GameSetup setup = new_game_setup(R"(
add_hook("key_down", "e2e", function(key)
  if key == string.byte("h") then
    run_cmd("option hud 0")
    e2e_log("hud " .. tostring(get_option("hud")))
    e2e_mark_after("hidden", 3)
    return 1
  end
end)
)");
    setup.actions.push_back({"started", 0, "screenshot shown.ppm"});
    setup.actions.push_back({"", 0, "xdotool key h", "hidden"});
    setup.actions.push_back({"hidden", 0, "screenshot hidden.ppm"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("hud_option", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_NE(run.log.find("hud 0"), std::string::npos) << run.describe();
    // The second score is drawn in its fighter's colour at the top left, the
    // first at the top right; with the HUD off both places show the sky.
    for (int x : {8, 752}) {
        double shown[3], hidden[3];
        ASSERT_TRUE(region_colour(run, "shown.ppm", x, 8, 40, 45, shown)) << run.describe();
        ASSERT_TRUE(region_colour(run, "hidden.ppm", x, 8, 40, 45, hidden)) << run.describe();
        double diff = 0;
        for (int k = 0; k < 3; k++)
            diff += std::abs(shown[k] - hidden[k]);
        EXPECT_GT(diff, 30.0) << "x " << x << " shown " << shown[0] << "," << shown[1] << ","
                              << shown[2] << " hidden " << hidden[0] << "," << hidden[1] << ","
                              << hidden[2];
        // the hidden place is plain background: near grey, no fighter colour
        EXPECT_LT(std::abs(hidden[0] - hidden[2]), 20.0) << x;
    }
}

// F8 writes the picture and the POV-Ray scene beside it and says so.
TEST(E2eHud, F8WritesTheScreenshotAndTheScene)
{
    GameSetup setup = new_game_setup(R"(
add_hook("console", "e2e", function(text, kind)
  if string.find(text, "^Wrote ") or string.find(text, "screenshot") then
    e2e_log("said: " .. text)
    e2e_mark("said")
  end
end)
)");
    setup.actions.push_back({"started", 0, "xdotool key F8", "said"});
    setup.actions.push_back({"said", 0, "term"});
    GameRun run = run_game("hud_f8", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    size_t at = run.log.find("said: Wrote screenshots/");
    ASSERT_NE(at, std::string::npos) << run.describe();
    const size_t prefix = std::string("said: Wrote ").size();
    std::string line = run.log.substr(at + prefix, run.log.find('\n', at) - at - prefix);
    // "Wrote screenshots/<stamp>.bmp raytrace/screenshot-<stamp>.pov"
    size_t blank = line.find(' ');
    ASSERT_NE(blank, std::string::npos) << line;
    ASSERT_GT(blank, 4u) << line;
    ASSERT_GT(line.size(), blank + 5) << line;
    std::string image = line.substr(0, blank), scene = line.substr(blank + 1);
    EXPECT_EQ(image.substr(image.size() - 4), ".bmp") << line;
    EXPECT_EQ(scene.rfind("raytrace/screenshot-", 0), 0u) << line;
    EXPECT_EQ(scene.substr(scene.size() - 4), ".pov") << line;
    EXPECT_EQ(run.file(image).substr(0, 2), "BM") << image;
    std::string pov = run.file(scene);
    EXPECT_EQ(pov.rfind("#include \"glossy.inc\"\n", 0), 0u) << scene;
    EXPECT_EQ(count_lines_with(pov, "Camera("), 1) << scene;
    EXPECT_EQ(count_lines_with(pov, "Joint ("), 40) << scene;
}

// Pointing at the first fighter's left knee shows the joint line; 'x' holds
// the joint and the line changes with it ("RELAXING LEFT KNEE" becomes
// "HOLDING LEFT KNEE"; the words themselves are pinned by the unit tests).
TEST(E2eHud, JointLineFollowsTheHeldJoint)
{
    GameSetup setup = new_game_setup(R"(
local last = ""
add_hook("draw2d", "e2e", function()
  local w = get_world_state()
  local now = tostring(w.selected_player) .. " " .. tostring(w.selected_joint)
  if now ~= last then
    last = now
    e2e_log("selected " .. now)
    if now == "0 17" then e2e_mark("knee") end
  end
end)
add_hook("key_down", "e2e", function(key)
  if key == string.byte("x") then e2e_mark("pressed") end
end)
)");
    // The knee of the engage pose under the default camera: the pointer
    // goes there (again, until the game has picked the knee).
    setup.actions.push_back(
        repeat_until("started", "xdotool mousemove 455 400 mousemove 462 405", "knee", 1500));
    setup.actions.push_back({"knee", 0, "screenshot before.ppm"});
    setup.actions.push_back({"", 0, "xdotool key x", "pressed"});
    setup.actions.push_back({"pressed", 0, "screenshot after.ppm"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("hud_joint_line", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    ASSERT_TRUE(run.exists("knee")) << run.describe();
    // the line stands centred at 60 pixels above the bottom
    double before[3], after[3], clear[3];
    ASSERT_TRUE(region_colour(run, "before.ppm", 250, 542, 300, 22, before))
        << run.describe();
    ASSERT_TRUE(region_colour(run, "after.ppm", 250, 542, 300, 22, after));
    ASSERT_TRUE(region_colour(run, "before.ppm", 560, 542, 200, 22, clear));
    // text is drawn: darker than the plain floor beside it
    EXPECT_LT(before[0] + before[1] + before[2], clear[0] + clear[1] + clear[2] - 15)
        << before[0] << " vs " << clear[0];
    double diff = 0;
    for (int k = 0; k < 3; k++)
        diff += std::abs(before[k] - after[k]);
    EXPECT_GT(diff, 0.5) << "the line did not change";
    EXPECT_EQ(count_lines_with(run.log, "selected 0 17"), 1) << run.describe();
    // The text's extent: "RELAXING LEFT KNEE" before, the narrower
    // "HOLDING LEFT KNEE" after, both centred in the 800-pixel window (a
    // line stuck at "??? LEFT KNEE" would be far narrower and never change).
    int l0 = 0, r0 = 0, l1 = 0, r1 = 0;
    ASSERT_TRUE(dark_extent(run, "before.ppm", 0, 549, 800, 12, 120, &l0, &r0));
    ASSERT_TRUE(dark_extent(run, "after.ppm", 0, 549, 800, 12, 120, &l1, &r1));
    int w0 = r0 - l0, w1 = r1 - l1;
    EXPECT_GT(w0, 240) << l0 << ".." << r0;
    EXPECT_LT(w1, w0) << l1 << ".." << r1 << " vs " << l0 << ".." << r0;
    EXPECT_GT(w1, w0 - 40) << l1 << ".." << r1 << " vs " << l0 << ".." << r0;
    EXPECT_NEAR((l1 + r1) / 2.0, 400.0, 6.0);
}

}  // namespace

// Online results from a scripted server: a winner on a streak while another
// player waits, then a belt upgrade. The console hook reads the result line
// that goes with each banner.
TEST(E2eHud, OnlineResultShowsStreakAndUpgrade)
{
    const std::string newgame = server_newgame_line();
    ScriptedPeer server;
    // The server goes on when the player has seen each step (the game's
    // markers in its runtime folder).
    const std::string dir = test_tmp_path("e2e_hud_online_result");
    std::thread driver([&] {
        if (!server.wait_for("mlogin", 120000))
            return;
        // me: belt value 99 (Orange), rank 3, a streak of 5; one waits.
        const std::string bouts = "ID 5;\nBOUT 0; 5 99 0 0 3 0 me 5\nBOUT 1; 6 20 0 0 0 0 you 0\n"
                                  "BOUT 2; 7 0 0 0 0 0 waiting 0\nBOUT 3; -1\n";
        server.push(bouts + newgame + "GHOST 0; 1 0 1\nSAY 0;joined\n");
        if (!wait_for_file(dir + "/joined"))
            return;
        server.push("WIN 0; 0 0 1 99 0 0 0 0 0\n");
        if (!wait_for_file(dir + "/won"))
            return;
        // The next game ends with me reaching 100: the Green belt.
        server.push(bouts + newgame + "WIN 0; 1 0 1 100 12 0 0 0 0\n");
    });

    GameSetup setup;
    setup.startup_lua = R"(
)" + connect_on_first_game(server.port) + R"(
add_hook("console", "e2e", function(text, kind)
  text = tostring(text)
  if string.find(text, "joined", 1, true) then e2e_mark("joined") end
  if string.find(text, "WINS", 1, true) or string.find(text, "UPGRADED", 1, true) then
    e2e_log("result: " .. text)
  end
  if string.find(text, "WINS", 1, true) then e2e_mark_after("won", 5) end
  if string.find(text, "UPGRADED", 1, true) then e2e_mark("upgraded") end
end)
)";
    setup.actions.push_back({"joined", 0, "xdotool mousemove 400 300 key Escape"});
    setup.actions.push_back({"upgraded", 0, "screenshot upgraded.png"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("hud_online_result", setup);
    server.stop();
    driver.join();

    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_NE(run.log.find("result: me  WINS !  STREAK 5"), std::string::npos) << run.describe();
    EXPECT_NE(run.log.find("result: UPGRADED!  me - Green BELT"), std::string::npos)
        << run.describe();
}

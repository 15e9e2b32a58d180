// World shader commands, the shaders switch and trails as a player and a
// script meet them in the running program.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "e2e/e2e_support.h"

TEST(E2eShaders, WorldShaderCommandsExportLoadQueryAndRefuse)
{
    GameSetup setup;
    setup.files.push_back({"data/shader/fog70.inc", "# a test file\nfog_distance 70\nsky_on 1\n"});
    setup.startup_lua = R"(
add_hook("console", "e2e", function(text, kind) e2e_log("console: " .. tostring(text)) end)
local done = false
add_hook("camera", "e2e", function()
  if done then return end
  done = true
  run_cmd("exportworldshader start.inc")
  run_cmd("loadworldshader fog70.inc")
  run_cmd("worldshader 5 >ws5.txt")
  run_cmd("worldshader 7 >ws7.txt")
  run_cmd("worldshader 9 0 3 4")
  run_cmd("worldshader 9 >ws9.txt")
  run_cmd("worldshader 40 1 1 1")
  run_cmd("worldshader 5 1e999")
  run_cmd("loadworldshader missing.inc")
  run_cmd("loadworldshader ../../default.cfg")
  run_cmd("exportworldshader after.inc")
  run_cmd("worldshader 17 0.2 0.3 0.5")
  e2e_mark_after("commands_run", 3)
end)
-- After the fixed-function picture was taken (the test says so with a
-- file), the shaders are switched on.
local switched = false
add_hook("draw2d", "e2e", function()
  if not done or switched then return end
  local taken = io.open("shot_taken", "r")
  if taken then
    taken:close()
    switched = true
    set_option("shaders", 1)
    e2e_log("shaders option " .. get_option("shaders"))
    e2e_mark_after("shaders", 10)
  end
end)
)";
    // Each picture is taken a few frames drawn after its state was set.
    setup.actions.push_back({"commands_run", 0, "screenshot after.ppm"});
    setup.actions.push_back({"", 0, "touch shot_taken"});
    setup.actions.back().frames = 0;
    setup.actions.push_back({"shaders", 0, "screenshot after.png"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("shaders_commands", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();

    // The first preset was loaded at start: its values go out.
    std::string start = run.file("data/shader/start.inc");
    EXPECT_EQ(count_lines_with(start, " "), 33) << start;
    EXPECT_NE(start.find("background_color 1.00 1.00 1.00\n"), std::string::npos) << start;
    EXPECT_NE(start.find("floor_color 0.75 0.80 0.85\n"), std::string::npos) << start;
    EXPECT_NE(start.find("fog_distance 46.00\n"), std::string::npos) << start;

    EXPECT_EQ(run.file("ws5.txt"), "70.00 0.00 0.00 0.00\n") << run.describe();
    EXPECT_EQ(run.file("ws7.txt"), "1.00 0.00 0.00 0.00\n") << run.describe();
    EXPECT_EQ(run.file("ws9.txt"), "0.00 0.60 0.80 1.00\n") << run.describe();
    EXPECT_NE(run.err.find("set_background : no such id 40\n"), std::string::npos)
        << run.describe();
    EXPECT_NE(run.log.find("world shader values must be finite numbers"), std::string::npos)
        << run.describe();
    EXPECT_NE(run.log.find("unable to load data/shader/missing.inc"), std::string::npos)
        << run.describe();
    EXPECT_NE(run.log.find("plain names inside data/shader/"), std::string::npos)
        << run.describe();
    std::string after = run.file("data/shader/after.inc");
    EXPECT_NE(after.find("fog_distance 70.00\n"), std::string::npos) << after;
    EXPECT_NE(after.find("sky_on 1\n"), std::string::npos) << after;
    EXPECT_NE(after.find("sun_light_dir 0.00 0.60 0.80\n"), std::string::npos) << after;

    // Shaders either really run or stay off with a message; the program
    // keeps drawing either way.
    bool on = run.log.find("shaders option 1") != std::string::npos;
    bool refused = run.log.find("shaders option 0") != std::string::npos &&
                   (run.log.find("Shaders are not available") != std::string::npos ||
                    run.log.find("Shaders could not be started") != std::string::npos);
    EXPECT_TRUE(on || refused) << run.describe();
    EXPECT_TRUE(run.exists("after.png")) << run.describe();

    // The text background colour is the window's clear colour in the
    // fixed-function game.
    double rgb[3];
    ASSERT_TRUE(region_colour(run, "after.ppm", 650, 250, 40, 40, rgb)) << run.describe();
    EXPECT_NEAR(rgb[0], 0.2 * 255, 6);
    EXPECT_NEAR(rgb[1], 0.3 * 255, 6);
    EXPECT_NEAR(rgb[2], 0.5 * 255, 6);
}

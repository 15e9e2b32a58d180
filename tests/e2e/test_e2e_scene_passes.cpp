// The shader renderer as a player sees it: a new game drawn through the
// scene passes, against the same game drawn by the fixed-function path.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "e2e/e2e_support.h"

namespace {

// The actions of a new game (ctrl+n) once the window runs and a screenshot
// of it ten drawn frames later.
void new_game_and_screenshot(GameSetup *setup)
{
    setup->actions.push_back({"", 0, "xdotool key ctrl+n"});
    setup->actions.push_back({"", 0, "import -window root -depth 8 scene.ppm"});
    setup->actions.back().frames = 10;
}

// A new game once the window runs; a screenshot of it, then quit.
GameRun new_game_run(const char *name, int shaders, const std::string &lua = "",
                     const std::vector<GameAction> &more = {})
{
    GameSetup setup;
    setup.startup_lua = lua;
    setup.args = {"-shaders", std::to_string(shaders)};
    new_game_and_screenshot(&setup);
    for (const GameAction &a : more)
        setup.actions.push_back(a);
    setup.actions.push_back({"", 0, "term"});
    return run_game(name, setup);
}

double level(const double rgb[3]) { return (rgb[0] + rgb[1] + rgb[2]) / 3 / 255.0; }

double distance(const double a[3], const double b[3])
{
    return sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                (a[2] - b[2]) * (a[2] - b[2]));
}

} // namespace

TEST(E2eScenePasses, NewGameWithShadersDrawsALitFloorUnderTheSky)
{
    GameRun fixed = new_game_run("scene_fixed", 0, "");
    GameRun shaded = new_game_run("scene_shaded", 1, "");
    ASSERT_FALSE(shaded.timed_out) << shaded.describe();
    EXPECT_EQ(shaded.status, 0) << shaded.describe();
    EXPECT_NE(shaded.file("data/stats.dat").find(",SUCCESS"), std::string::npos)
        << shaded.describe();
    EXPECT_EQ(shaded.err.find("GL error"), std::string::npos) << shaded.describe();
    double floor_fixed[3], floor_shaded[3], sky_fixed[3], sky_shaded[3];
    ASSERT_TRUE(region_colour(fixed, "scene.ppm", 100, 480, 600, 80, floor_fixed)) << fixed.describe();
    ASSERT_TRUE(region_colour(shaded, "scene.ppm", 100, 480, 600, 80, floor_shaded))
        << shaded.describe();
    ASSERT_TRUE(region_colour(fixed, "scene.ppm", 100, 20, 600, 60, sky_fixed));
    ASSERT_TRUE(region_colour(shaded, "scene.ppm", 100, 20, 600, 60, sky_shaded));
    // The two paths differ, and the lit floor is neither black nor blank.
    EXPECT_GT(distance(floor_fixed, floor_shaded) + distance(sky_fixed, sky_shaded), 20.0);
    EXPECT_GT(level(floor_shaded), 0.1);
    EXPECT_LT(level(floor_shaded), 0.97);
    // Shade under the fighters (occlusion and shadow) against the open floor.
    double under[3], open_floor[3];
    ASSERT_TRUE(region_colour(shaded, "scene.ppm", 250, 540, 300, 40, under));
    ASSERT_TRUE(region_colour(shaded, "scene.ppm", 650, 400, 140, 60, open_floor));
    EXPECT_LT(level(under) + 0.1, level(open_floor));
}

// Full screen and back rebuild the renderer in a new context; switching
// shaders off and on from a script while the game runs. Nothing the passes
// draw raises a GL error, and the scene is still the shader one after.
TEST(E2eScenePasses, FullScreenAndSwitchingAtRunTimeKeepDrawing)
{
    GameSetup setup;
    setup.args = {"-shaders", "1"};
    // The test drops a file into the runtime folder; the script, polling
    // once a frame, switches and answers with a mark.
    setup.startup_lua = R"(
local state = 0
local function exists(name)
  local f = io.open(name, "r")
  if f then f:close() return true end
  return false
end
add_hook("camera", "e2e", function()
  if state == 0 and exists("go_off") then
    state = 1
    set_option("shaders", 0)
    e2e_log("off " .. get_option("shaders"))
    e2e_mark_after("is_off", 5)
  elseif state == 1 and exists("go_on") then
    state = 2
    set_option("shaders", 1)
    e2e_log("on " .. get_option("shaders"))
    e2e_mark_after("is_on", 5)
  end
end)
)";
    // Full screen and back each rebuild the renderer: ten frames drawn
    // after each.
    setup.actions.push_back({"", 0, "xdotool key ctrl+n"});
    setup.actions.push_back({"", 0, "xdotool key ctrl+Return"});
    setup.actions.back().frames = 10;
    setup.actions.push_back({"", 0, "xdotool key ctrl+Return"});
    setup.actions.back().frames = 10;
    setup.actions.push_back({"", 0, "touch go_off"});
    setup.actions.back().frames = 10;
    setup.actions.push_back({"is_off", 0, "import -window root -depth 8 off.ppm"});
    setup.actions.push_back({"", 0, "touch go_on"});
    setup.actions.push_back({"is_on", 0, "import -window root -depth 8 on.ppm"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("scene_switching", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(run.err.find("GL error"), std::string::npos) << run.describe();
    EXPECT_EQ(run.err.find("Insufficient Video Memory"), std::string::npos) << run.describe();
    EXPECT_NE(run.log.find("off 0"), std::string::npos) << run.describe();
    EXPECT_NE(run.log.find("on 1"), std::string::npos) << run.describe();
    // The floor under the fighters: shaded by occlusion with shaders on,
    // flat with them off.
    double off_under[3], on_under[3];
    ASSERT_TRUE(region_colour(run, "off.ppm", 250, 540, 300, 40, off_under)) << run.describe();
    ASSERT_TRUE(region_colour(run, "on.ppm", 250, 540, 300, 40, on_under)) << run.describe();
    EXPECT_GT(distance(off_under, on_under), 20.0);
}

// A start-up script turns shaders on before the window exists; the request
// holds over a stored "shaders 0", the renderer starts with them, and a new
// game shows the lit, shaded floor. The stored choice is left as it was.
TEST(E2eScenePasses, StartUpScriptTurnsShadersOnOverAStoredChoice)
{
    GameSetup setup;
    setup.files.push_back({"default.cfg", "shaders \"0\"\r\nreflection \"1\"\r\n"});
    setup.startup_lua = R"(
set_option("shaders", 1)
e2e_log("startup " .. get_option("shaders"))
local logged = false
add_hook("draw2d", "e2e", function()
  if logged then return end
  logged = true
  e2e_log("running " .. get_option("shaders"))
end)
)";
    new_game_and_screenshot(&setup);
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("scene_startup_script", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_NE(run.log.find("startup 1"), std::string::npos) << run.describe();
    EXPECT_NE(run.log.find("running 1"), std::string::npos) << run.describe();
    EXPECT_NE(run.file("data/stats.dat").find(",SUCCESS"), std::string::npos) << run.describe();
    EXPECT_EQ(run.err.find("GL error"), std::string::npos) << run.describe();
    double floor[3], under[3], open_floor[3];
    ASSERT_TRUE(region_colour(run, "scene.ppm", 100, 480, 600, 80, floor)) << run.describe();
    EXPECT_GT(level(floor), 0.1);
    EXPECT_LT(level(floor), 0.9);   // lit and fogged by distance, not a white room
    ASSERT_TRUE(region_colour(run, "scene.ppm", 250, 540, 300, 40, under));
    ASSERT_TRUE(region_colour(run, "scene.ppm", 650, 400, 140, 60, open_floor));
    EXPECT_LT(level(under) + 0.1, level(open_floor));
    // The run's request was not saved as the player's stored choice.
    EXPECT_NE(run.file("default.cfg").find("shaders \"0\""), std::string::npos)
        << run.file("default.cfg");
}

// "-shaders 1" on the command line holds for the run over a stored "0".
TEST(E2eScenePasses, CommandLineShadersWinOverTheStoredChoice)
{
    GameSetup setup;
    setup.files.push_back({"default.cfg", "shaders \"0\"\r\n"});
    setup.args = {"-shaders", "1"};
    setup.startup_lua = R"(
local logged = false
add_hook("draw2d", "e2e", function()
  if logged then return end
  logged = true
  e2e_log("running " .. get_option("shaders"))
  e2e_mark("up")
end)
)";
    setup.actions.push_back({"up", 0, "term"});
    GameRun run = run_game("scene_cmdline_over_store", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_NE(run.log.find("running 1"), std::string::npos) << run.describe();
    EXPECT_NE(run.file("data/stats.dat").find(",SUCCESS"), std::string::npos) << run.describe();
    EXPECT_NE(run.file("default.cfg").find("shaders \"0\""), std::string::npos)
        << run.file("default.cfg");
}

// The shader renderer as a player sees it: a new game drawn through the
// scene passes, against the same game drawn by the fixed-function path.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "e2e/e2e_support.h"

namespace {

// A new game a second after the window opens; a screenshot once it has
// run a little, then quit.
GameRun new_game_run(const char *name, int shaders, const std::string &extra_lua,
                     const std::vector<GameAction> &more = {})
{
    GameSetup setup;
    setup.startup_lua = "set_option(\"shaders\", " + std::to_string(shaders) + ")\n" + R"(
local frames = 0
add_hook("enter_frame", "e2e", function()
  frames = frames + 1
end)
local drawn = 0
add_hook("draw2d", "e2e", function()
  drawn = drawn + 1
  if drawn == 30 then start_new_game() end
  if drawn == 90 then e2e_mark("ready") end
end)
)" + extra_lua;
    setup.actions.push_back({"ready", 300, "screenshot scene.ppm"});
    for (const GameAction &a : more)
        setup.actions.push_back(a);
    setup.actions.push_back({"ready", 1500, "term"});
    setup.timeout_ms = 25000;
    return run_game(name, setup);
}

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
    EXPECT_GT(distance(floor_fixed, floor_shaded) + distance(sky_fixed, sky_shaded), 0.05);
    double floor_level = (floor_shaded[0] + floor_shaded[1] + floor_shaded[2]) / 3;
    EXPECT_GT(floor_level, 0.1);
    EXPECT_LT(floor_level, 0.97);
}

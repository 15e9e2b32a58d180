// The main menu's Tutorial and KasuShop rows: each page runs its shipped
// script, whose first lines reach the console and whose panel is drawn over
// the game; the shop's keys pick and wear a body colour.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"

namespace {

// Every echo of every script is logged as "echo <text>"; an echo holding a
// text of e2e_echo_marks (text -> marker) writes that marker five drawn
// frames later. Loading a script runs startup.lua again, so the wrapper and
// the open-once mark are globals that survive it. The page opens from the
// fifth drawn frame.
std::string open_page_lua(int script_menu)
{
    return R"(
if e2e_game_echo == nil then e2e_game_echo = echo end
e2e_echo_marks = {}
echo = function(text)
  e2e_log("echo " .. tostring(text))
  for part, marker in pairs(e2e_echo_marks) do
    if string.find(tostring(text), part, 1, true) then e2e_mark_after(marker, 5) end
  end
  return e2e_game_echo(text)
end
if not e2e_page_opened then
  local frames = 0
  add_hook("draw2d", "e2e", function()
    frames = frames + 1
    if frames == 5 and not e2e_page_opened then
      e2e_page_opened = true
      open_menu()" + std::to_string(script_menu) + R"()
      e2e_mark("opened")
    end
  end)
end
)";
}

double brightness(const GameRun &run, const char *ppm, int x, int y, int w, int h)
{
    double rgb[3];
    if (!region_colour(run, ppm, x, y, w, h, rgb))
        return -1;
    return (rgb[0] + rgb[1] + rgb[2]) / 3;
}

}  // namespace

// The tutorial walked as a player does: point at the left knee of the
// first fighter (where it stands at the start under the default camera),
// click it, press Space; each step says so on the console.
TEST(E2eScriptsPages, TutorialPageGuidesAFirstTurn)
{
    GameSetup setup;
    setup.startup_lua = open_page_lua(12) + R"(
e2e_echo_marks["Step 1 of 3"] = "step1"
e2e_echo_marks["Step 3 of 3"] = "step3"
e2e_echo_marks["Well done"] = "well_done"
add_hook("key_up", "e2e", function(key)
  if key == string.byte("9") then e2e_quit() end
end)
-- the pointer rests on the first fighter's left knee
add_hook("draw2d", "e2e_knee", function()
  local w = get_world_state()
  if w.selected_player == 0 and w.selected_joint == 17 then e2e_mark("knee") end
end)
)";
    // The step box is drawn once the first step was said.
    setup.actions.push_back({"step1", 0, "screenshot tutorial.ppm"});
    // The pointer goes to the knee (again, until the game has picked it),
    // the click changes its state, Space ends the turn.
    setup.actions.push_back(
        repeat_until("", "xdotool mousemove 455 400 mousemove 462 405", "knee", 1000));
    setup.actions.push_back({"", 0, "xdotool click 1", "step3"});
    setup.actions.push_back({"", 0, "xdotool key space", "well_done"});
    setup.actions.push_back({"", 0, "screenshot done.ppm"});
    setup.actions.push_back({"", 0, "xdotool key 9"});
    GameRun run = run_game("scripts_tutorial", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(run.err.find("Error loading script"), std::string::npos) << run.describe();
    EXPECT_EQ(run.err.find("Lua script error"), std::string::npos) << run.describe();
    // The steps, in order.
    const char *steps[] = {
        "echo Tutorial: welcome!",
        "echo Tutorial: Step 1 of 3: pick a joint",
        "echo Tutorial: you picked the LEFT KNEE",
        "echo Tutorial: Step 2 of 3: change its state",
        "echo Tutorial: the LEFT KNEE is now",
        "echo Tutorial: Step 3 of 3: end the turn",
        "echo Tutorial: Well done",
    };
    size_t at = 0;
    for (const char *step : steps) {
        size_t found = run.log.find(step, at);
        EXPECT_NE(found, std::string::npos) << step << "\n" << run.describe();
        if (found != std::string::npos)
            at = found;
    }
    EXPECT_EQ(count_lines_with(run.log, "Step 1 of 3"), 1) << run.describe();
    // The step box darkens the top middle of the game's light scene.
    double box = brightness(run, "tutorial.ppm", 300, 100, 200, 40);
    double beside = brightness(run, "tutorial.ppm", 20, 100, 60, 40);
    ASSERT_GE(box, 0) << run.describe();
    EXPECT_LT(box, beside - 40) << box << " " << beside;
}

TEST(E2eScriptsPages, ShopPageRunsItsScriptAndKeysWearAColour)
{
    GameSetup setup;
    setup.startup_lua = open_page_lua(11) + R"(
e2e_echo_marks["KasuShop: welcome"] = "welcomed"
e2e_echo_marks["KasuShop: you now wear"] = "worn"
add_hook("key_up", "e2e", function(key)
  if key == string.byte("9") then e2e_quit() end
end)
)";
    // The panel is drawn once the shop's script has said its welcome.
    setup.actions.push_back({"welcomed", 0, "screenshot shop.ppm"});
    setup.actions.push_back({"", 0, "xdotool key Right Right"});
    setup.actions.push_back({"", 0, "screenshot right.ppm"});
    setup.actions.push_back({"", 0, "xdotool key space", "worn"});
    setup.actions.push_back({"", 0, "screenshot worn.ppm"});
    setup.actions.push_back({"", 0, "xdotool key 9"});
    GameRun run = run_game("scripts_shop", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(run.err.find("Error loading script"), std::string::npos) << run.describe();
    EXPECT_EQ(run.err.find("Lua script error"), std::string::npos) << run.describe();
    EXPECT_NE(run.log.find("echo KasuShop: welcome"), std::string::npos) << run.describe();
    EXPECT_NE(run.log.find("echo KasuShop: you now wear"), std::string::npos) << run.describe();
    // The panel stands at the top right.
    double panel = brightness(run, "shop.ppm", 520, 110, 240, 30);
    double left = brightness(run, "shop.ppm", 20, 110, 60, 30);
    ASSERT_GE(panel, 0) << run.describe();
    EXPECT_LT(panel, left - 40) << panel << " " << left;
}

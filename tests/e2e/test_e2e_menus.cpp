// The menus as a new player meets them: the main menu over the live scene at
// the first start, Esc in and out of it, pages opened by scripts and keys,
// Quit, and a replay saved from its page and watched from the replays page.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"

namespace {

// The window's parts: the title band of the pages and the middle of the
// scene, where the fighters stand.
const int TITLE_X = 250, TITLE_Y = 40, TITLE_W = 300, TITLE_H = 40;
const int SCENE_X = 300, SCENE_Y = 330, SCENE_W = 200, SCENE_H = 100;

double brightness(const GameRun &run, const char *ppm, int x, int y, int w, int h)
{
    double rgb[3];
    if (!region_colour(run, ppm, x, y, w, h, rgb))
        return -1;
    return (rgb[0] + rgb[1] + rgb[2]) / 3;
}

// Logs "turn runs" and marks "turn_runs" at the first frame of a running
// turn; marks "turn_over" when the game waits for the next move after it.
const char turn_runs_lua[] = R"(
local ran = false
add_hook("enter_frame", "e2e", function()
  if not ran then
    ran = true
    e2e_log("turn runs")
    e2e_mark("turn_runs")
  end
end)
add_hook("enter_freeze", "e2e_turn", function()
  if ran then e2e_mark_after("turn_over", 3) end
end)
)";

// A folder "replay/" without replays.
void empty_replay_folder(GameSetup &setup)
{
    setup.files.push_back({"replay/readme.txt", "no replays here\n"});
}

TEST(E2eMenus, MainMenuOverTheSceneEscAndQuit)
{
    GameSetup setup;
    empty_replay_folder(setup);
    setup.startup_lua = R"(
add_hook("new_game", "e2e", function()
  e2e_log("new_game")
  e2e_mark_after("scene_up", 3)
end)
)";
    // Every action waits for a few frames drawn after the one before.
    setup.actions.push_back({"scene_up", 0, "screenshot menu.ppm"});
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back({"", 0, "screenshot game.ppm"});
    // Esc in game opens the main menu again; its last row quits.
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back({"", 0, "screenshot again.ppm"});
    setup.actions.push_back({"", 0, "xdotool mousemove 400 315"});
    setup.actions.push_back({"", 0, "xdotool click 1"});
    GameRun run = run_game("menus_main", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_TRUE(run.exists("default.cfg")) << run.describe();
    // A live game runs behind the menu.
    EXPECT_NE(run.log.find("new_game"), std::string::npos) << run.describe();

    double title_menu = brightness(run, "menu.ppm", TITLE_X, TITLE_Y, TITLE_W, TITLE_H);
    double title_game = brightness(run, "game.ppm", TITLE_X, TITLE_Y, TITLE_W, TITLE_H);
    double title_again = brightness(run, "again.ppm", TITLE_X, TITLE_Y, TITLE_W, TITLE_H);
    double scene_menu = brightness(run, "menu.ppm", SCENE_X, SCENE_Y, SCENE_W, SCENE_H);
    ASSERT_GE(title_menu, 0) << run.describe();
    ASSERT_GE(title_game, 0) << run.describe();
    // The title is drawn over the scene, and the fighters show behind it.
    EXPECT_LT(title_menu, title_game - 15) << title_menu << " " << title_game;
    EXPECT_LT(title_again, title_game - 15) << title_again << " " << title_game;
    EXPECT_LT(scene_menu, 245) << scene_menu;
}

TEST(E2eMenus, ScriptAndKeysMoveBetweenPages)
{
    GameSetup setup;
    empty_replay_folder(setup);
    // Script page 3 is the options page; it hides the game. It opens once
    // the first frames are drawn.
    setup.startup_lua = R"(
local opened = false
add_hook("draw2d", "e2e", function()
  if not opened and e2e_drawn_frames() >= 5 then
    opened = true
    open_menu(3)
    e2e_mark("opened")
  end
end)
)";
    setup.actions.push_back({"opened", 0, "screenshot options.ppm"});
    // Esc leaves the options page for the setup menu (the game behind again),
    // Esc again the main menu, whose Setup row opens setup with Enter.
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back({"", 0, "screenshot setup.ppm"});
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back({"", 0, "xdotool mousemove 790 590"});
    setup.actions.push_back({"", 0, "xdotool key Home Down Down Down Down Down Return"});
    setup.actions.push_back({"", 0, "screenshot setup2.ppm"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("menus_pages", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();

    double scene_options = brightness(run, "options.ppm", SCENE_X, SCENE_Y, SCENE_W, SCENE_H);
    double scene_setup = brightness(run, "setup.ppm", SCENE_X, SCENE_Y, SCENE_W, SCENE_H);
    double title_options = brightness(run, "options.ppm", TITLE_X, TITLE_Y, TITLE_W, TITLE_H);
    double title_setup2 = brightness(run, "setup2.ppm", TITLE_X, TITLE_Y, TITLE_W, TITLE_H);
    ASSERT_GE(scene_options, 0) << run.describe();
    ASSERT_GE(scene_setup, 0) << run.describe();
    // The options page stands alone; the setup menu shows the fighters.
    EXPECT_GT(scene_options, 250) << scene_options;
    EXPECT_LT(scene_setup, scene_options - 10) << scene_setup;
    EXPECT_LT(title_options, 235) << title_options;
    EXPECT_LT(title_setup2, 235) << title_setup2;
}

TEST(E2eMenus, SavedReplayIsListedAndLoadsBack)
{
    GameSetup setup;
    empty_replay_folder(setup);
    setup.startup_lua = std::string(turn_runs_lua) + R"(
add_hook("console", "e2e", function(text, kind)
  e2e_log("echo " .. tostring(text))
  if string.find(tostring(text), "replay/e2efight.rpl", 1, true) then e2e_mark("saved") end
end)
add_hook("key_up", "e2e", function(key)
  if key == string.byte("9") then
    e2e_log("replay_mode " .. get_world_state().replay_mode)
    e2e_mark("mode_logged")
  end
end)
)";
    // Close the menu, play a turn to its end, then save it as "e2efight".
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back({"", 0, "xdotool key space", "turn_over"});
    setup.actions.push_back({"", 0, "xdotool key f"});
    setup.actions.push_back({"", 0, "xdotool type e2efight"});
    setup.actions.push_back({"", 0, "xdotool key Return", "saved"});
    // The replays page (third row of the main menu) lists it; Enter plays it.
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back({"", 0, "xdotool mousemove 790 590"});
    setup.actions.push_back({"", 0, "xdotool key Home Down Down Return"});
    setup.actions.push_back({"", 0, "screenshot replays.ppm"});
    setup.actions.push_back({"", 0, "xdotool key Home Return"});
    // The key is heard once the menu has made way for the replay.
    setup.actions.push_back(repeat_until("", "xdotool key 9", "mode_logged", 1000));
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("menus_save", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    // Space played the turn once the menu was closed.
    EXPECT_NE(run.log.find("turn runs"), std::string::npos) << run.describe();
    ASSERT_TRUE(run.exists("replay/e2efight.rpl")) << run.describe();
    std::string saved = run.file("replay/e2efight.rpl");
    EXPECT_NE(saved.find("FIGHTNAME 0; e2efight"), std::string::npos) << saved;
    EXPECT_NE(run.log.find("echo > replay/e2efight.rpl"), std::string::npos) << run.describe();
    // The first row of the list holds the name.
    double row = brightness(run, "replays.ppm", 150, 100, 150, 16);
    double below = brightness(run, "replays.ppm", 150, 200, 150, 16);
    ASSERT_GE(row, 0) << run.describe();
    EXPECT_LT(row, below - 5) << row << " " << below;
    // Chosen from the list, it plays as a replay.
    size_t saved_at = run.log.find("echo > replay/e2efight.rpl");
    ASSERT_NE(saved_at, std::string::npos);
    EXPECT_NE(run.log.find("replay_mode 1", saved_at), std::string::npos) << run.log;
}

TEST(E2eMenus, ControlBarButtonsAct)
{
    GameSetup setup;
    empty_replay_folder(setup);
    setup.startup_lua = turn_runs_lua;
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back({"", 0, "screenshot before.ppm"});
    // Help: the second icon at the left edge, below the middle. Each step
    // waits for frames drawn after the one before, so the hover is seen
    // before the click.
    setup.actions.push_back({"", 0, "xdotool mousemove 16 318"});
    setup.actions.push_back({"", 0, "xdotool mousemove 18 320"});
    setup.actions.push_back({"", 0, "xdotool click 1"});
    setup.actions.push_back({"", 0, "screenshot help.ppm"});
    // Any key closes the help page; Next Turn of the play bar runs the turn.
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back({"", 0, "xdotool mousemove 430 506"});
    setup.actions.push_back({"", 0, "xdotool mousemove 432 508"});
    setup.actions.push_back({"", 0, "xdotool click 1", "turn_runs"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("menus_bar", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    // The help page's title band darkens the top of the window.
    double before = brightness(run, "before.ppm", 250, 75, 300, 30);
    double help = brightness(run, "help.ppm", 250, 75, 300, 30);
    ASSERT_GE(before, 0) << run.describe();
    EXPECT_LT(help, before - 10) << help << " " << before;
    EXPECT_NE(run.log.find("turn runs"), std::string::npos) << run.describe();
}

// The login file's UTF-16 little-endian text.
std::string login_file(const std::string &user, const std::string &password)
{
    std::string text = "user " + user + "\r\npass " + password + "\r\n", out;
    for (char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

TEST(E2eMenus, StoredLoginNamesThePlayerAndProfileRuns)
{
    GameSetup setup;
    empty_replay_folder(setup);
    setup.files.push_back({"zm_login.dat", login_file("tester", "secret")});
    setup.files.push_back({"profile.zms", "echo profile ran\n"});
    setup.startup_lua = R"(
add_hook("console", "e2e", function(text, kind)
  e2e_log("echo " .. tostring(text))
  if string.find(tostring(text), "replay/named.rpl", 1, true) then e2e_mark("saved") end
end)
)";
    // The save page's author row holds the player's name; the file names the fighter.
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back({"", 0, "xdotool key f"});
    setup.actions.push_back({"", 0, "xdotool type named"});
    setup.actions.push_back({"", 0, "xdotool key Return", "saved"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("menus_login", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_NE(run.log.find("echo profile ran"), std::string::npos) << run.describe();
    std::string saved = run.file("replay/named.rpl");
    EXPECT_NE(saved.find("BOUT 0; tester"), std::string::npos) << saved << run.describe();
    EXPECT_NE(saved.find("AUTHOR 0; tester"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("secret"), std::string::npos);
}

}  // namespace

// A new player's way through the game: keys pressed the way a hand (or
// xdotool) lets go of them, a saved replay's title over the menus, the
// console's help, and the pages read one after the other.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"

namespace {

// A folder "replay/" without replays.
void empty_replay_folder(GameSetup &setup)
{
    setup.files.push_back({"replay/readme.txt", "no replays here\n"});
}

// Logs "mode N" whenever the replay mode changes (draw2d runs in replays
// too); marks "replaying" when a replay first plays and "live_again" when
// a live game follows it.
const char replay_mode_lua[] = R"(
local last = -1
local replayed = false
add_hook("draw2d", "e2e", function()
  local m = get_world_state().replay_mode
  if m ~= last then
    last = m
    e2e_log("mode " .. m)
    if m ~= 0 then
      replayed = true
      e2e_mark("replaying")
    elseif replayed then
      e2e_mark("live_again")
    end
  end
end)
)";

std::string last_line_with(const std::string &text, const std::string &prefix)
{
    size_t at = text.rfind(prefix);
    if (at == std::string::npos)
        return "";
    size_t end = text.find('\n', at);
    return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

} // namespace

// "xdotool key ctrl+n" lets go of Ctrl before n: the new game must still start.
TEST(E2eWalkthrough, CtrlNStartsANewGameWhicheverKeyIsReleasedFirst)
{
    GameSetup setup;
    empty_replay_folder(setup);
    setup.startup_lua = replay_mode_lua;
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back({"", 0, "xdotool key r", "replaying"});
    setup.actions.push_back({"", 0, "xdotool key ctrl+n", "live_again"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("walk_ctrl_n", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    // r started the replay, Ctrl+n left it for a new live game.
    ASSERT_NE(run.log.find("mode 1"), std::string::npos) << run.describe();
    EXPECT_EQ(last_line_with(run.log, "mode "), "mode 0") << run.log;
}

// A replay's title stands under the scores in game; on the menu pages it
// would write over the page's own title, so it is left out there.
TEST(E2eWalkthrough, ReplayTitleStaysOffTheMenuPages)
{
    GameSetup setup;
    empty_replay_folder(setup);
    setup.startup_lua = std::string(replay_mode_lua) + R"(
add_hook("console", "e2e", function(text, kind)
  if string.find(tostring(text), "WWWWWWWW", 1, true) then e2e_mark("saved") end
end)
)";
    // Each action waits for frames drawn after the one before.
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back({"", 0, "xdotool key r", "replaying"});
    setup.actions.push_back({"", 0, "xdotool key f"});
    setup.actions.push_back({"", 0, "xdotool type --delay 20 WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW"});
    setup.actions.push_back({"", 0, "xdotool key Return", "saved"});
    setup.actions.push_back({"", 0, "xdotool key p"});
    setup.actions.push_back({"", 0, "screenshot game.ppm"});
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back({"", 0, "screenshot menu.ppm"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("walk_title", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    // The band of the replay title left of the menu title and right of the
    // scores: the long title reaches into it in game only.
    int l0 = -1, r0 = -1, l1 = -1, r1 = -1;
    ASSERT_TRUE(dark_extent(run, "game.ppm", 100, 62, 100, 14, 120, &l0, &r0)) << run.describe();
    ASSERT_TRUE(dark_extent(run, "menu.ppm", 100, 62, 100, 14, 120, &l1, &r1)) << run.describe();
    EXPECT_GE(l0, 0) << "the title is not shown in game";
    EXPECT_EQ(l1, -1) << "title drawn over the main menu at " << l1 << ".." << r1;
}

// The About page: its credit lines end left of the logo beside them.
TEST(E2eWalkthrough, AboutCreditsClearTheLogo)
{
    GameSetup setup;
    empty_replay_folder(setup);
    // Setup, then About (the sixth row).
    setup.actions.push_back({"", 0, "xdotool mousemove 400 285 click 1"});
    setup.actions.push_back({"", 0, "xdotool mousemove 400 285 click 1"});
    setup.actions.push_back({"", 0, "screenshot about.ppm"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("walk_about", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    // The page is up: its title darkens the top band.
    int tl = -1, tr = -1;
    ASSERT_TRUE(dark_extent(run, "about.ppm", 250, 40, 300, 40, 120, &tl, &tr)) << run.describe();
    ASSERT_GE(tl, 0) << run.describe();
    // Just above the logo's top edge, right of the middle: no text there.
    int l = -1, r = -1;
    ASSERT_TRUE(dark_extent(run, "about.ppm", 560, 190, 200, 14, 120, &l, &r));
    EXPECT_EQ(l, -1) << "text beside the logo at " << l << ".." << r;
}

// Enter on the login page with the user name left empty: the page stays
// and the console says (kind 4) what is missing.
TEST(E2eWalkthrough, LoginWithoutUserNameSaysWhatIsMissing)
{
    GameSetup setup;
    empty_replay_folder(setup);
    setup.startup_lua = R"(
add_hook("console", "e2e", function(text, kind)
  e2e_log("echo " .. kind .. " " .. text)
  if string.find(tostring(text), "Enter a user name", 1, true) then e2e_mark("told") end
end)
)";
    // Multi Player without a stored login opens the login page.
    setup.actions.push_back({"", 0, "xdotool mousemove 400 165 click 1"});
    setup.actions.push_back({"", 0, "xdotool key --repeat 24 BackSpace"});
    setup.actions.push_back({"", 0, "xdotool key Return", "told"});
    setup.actions.push_back({"", 0, "screenshot login.png"});
    setup.actions.push_back({"", 0, "screenshot login.ppm"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("walk_login", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_NE(run.log.find("echo 4 Enter a user name to log in"), std::string::npos)
        << run.describe();
    // The page itself shows it too (its console is hidden behind the page):
    // text on the row under the form.
    int l = -1, r = -1;
    ASSERT_TRUE(dark_extent(run, "login.ppm", 150, 168, 400, 14, 200, &l, &r)) << run.describe();
    EXPECT_GE(l, 150) << run.describe();
}

// The result banner stands where the main menu's rows are: over the menu
// (opened on the replay after the match) it waits.
TEST(E2eWalkthrough, ResultBannerWaitsBehindTheMainMenu)
{
    GameSetup setup;
    setup.args = {"none.rpl"};
    setup.startup_lua = R"(
add_hook("new_game", "e2e", function()
  run_cmd("setframes 30")
  e2e_mark("started")
end)
add_hook("console", "e2e", function(text, kind)
  if string.find(text, "WINS") or string.find(text, "DRAW") then
    e2e_mark("result")
  end
end)
)";
    setup.actions.push_back({"", 0, "xdotool mousemove 790 20 key space", "started"});
    setup.actions.push_back({"started", 0, "xdotool key p", "result"});
    setup.actions.push_back({"result", 0, "screenshot over.ppm"});
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back({"", 0, "screenshot menu.ppm"});
    setup.actions.push_back({"", 0, "screenshot menu.png"});
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back({"", 0, "screenshot back.png"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("walk_banner", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    // The banner's band, 0.55 of the height, in the middle: its yellow
    // letters in game, none over the menu.
    const int yellow[3] = {255, 195, 60};
    int in_game = count_colour_pixels(run, "over.ppm", 300, 326, 200, 40, yellow, 40);
    int over_menu = count_colour_pixels(run, "menu.ppm", 300, 326, 200, 40, yellow, 40);
    EXPECT_GT(in_game, 40) << run.describe();
    EXPECT_EQ(over_menu, 0) << run.describe();
}

// In game, with the play bar up and a tall console full of long lines: no
// row runs under the bar's buttons (the rows stand clear above them) and
// the rows beside the ghost and help icons at the left edge start right of
// them.
TEST(E2eWalkthrough, ConsoleRowsStandClearOfTheButtons)
{
    GameSetup setup;
    empty_replay_folder(setup);
    setup.startup_lua = R"(
local said = false
add_hook("draw2d", "e2e", function()
  if not said then
    said = true
    run_cmd("chatlines 16")
    run_cmd("help")
    echo(string.rep("many words in one long line ", 12))
    e2e_mark_after("said", 3)
  end
end)
)";
    setup.actions.push_back({"said", 0, "xdotool mousemove 790 20 key Escape"});
    setup.actions.push_back({"", 0, "screenshot console.ppm"});
    setup.actions.push_back({"", 0, "screenshot console.png"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("walk_console", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    // The console's text (the game's dark red, fully drawn in the tall
    // console) fills the rows left of the bar, up to the bar's top (the
    // icons of 64 stand 60 above the bottom: from y 476), and none of it is
    // under the bar or under the icons at the left edge (x 2 to 34, from
    // y 268 to 335).
    const int text[3] = {148, 0, 0};
    int rows = count_colour_pixels(run, "console.ppm", 8, 360, 280, 116, text, 30);
    int under_bar = count_colour_pixels(run, "console.ppm", 300, 476, 216, 64, text, 30);
    int under_icons = count_colour_pixels(run, "console.ppm", 2, 262, 36, 78, text, 30);
    int beside_icons = count_colour_pixels(run, "console.ppm", 38, 262, 200, 78, text, 30);
    EXPECT_GT(rows, 300) << run.describe();
    EXPECT_EQ(under_bar, 0) << run.describe();
    EXPECT_EQ(under_icons, 0) << run.describe();
    EXPECT_GT(beside_icons, 100) << run.describe();
}

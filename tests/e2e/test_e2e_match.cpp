// Whole matches as a player sets them up: a long match of one-frame turns
// that a script plays through step_game, saved and played back frame for
// frame, and the shop's colour on the player's fighter in the next game.
#include <gtest/gtest.h>

#include <dirent.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace {

// Logs, once for each match frame shown, where both fighters' heads stand
// ("at <frame> <x0> <y0> <z0> <x1> <y1> <z1>"), in live play (want_replay
// false) or in a replay; marks "shown_<n>" once frame n has been shown.
const char positions_lua[] = R"(
set_option("frameskip", 0)
e2e_pos = e2e_pos or { last = -1 }
function e2e_log_positions(want_replay, mark_frame)
  add_hook("draw2d", "e2e_pos", function()
    local w = get_world_state()
    if (w.replay_mode ~= 0) ~= want_replay then return end
    if w.match_frame == e2e_pos.last then return end
    e2e_pos.last = w.match_frame
    local line = "at " .. w.match_frame
    for p = 0, 1 do
      local pos = get_body_info(p, 0).pos
      line = line .. string.format(" %.9g %.9g %.9g", pos.x, pos.y, pos.z)
    end
    e2e_log(line)
    if w.match_frame >= mark_frame then e2e_mark("shown_" .. mark_frame) end
  end)
end
)";

std::map<int, std::string> positions(const std::string &log)
{
    std::map<int, std::string> at;
    for (const std::string &line : tagged(log, "at ")) {
        std::istringstream in(line);
        int frame;
        if (in >> frame) {
            std::string rest;
            std::getline(in, rest);
            at[frame] = rest;
        }
    }
    return at;
}

}  // namespace

// 300 frames of one-frame turns, set on the console as a player would and
// played by a script that commits each turn from its enter_freeze hook:
// every turn lasts its one frame, the autosave holds all 300 frames, and
// the game's playback of it follows the live match to its end.
TEST(E2eMatch, LongMatchOfOneFrameTurnsIsSavedWholeAndReplaysFrameForFrame)
{
    GameSetup setup;
    setup.startup_lua = std::string(positions_lua) + R"(
e2e_log_positions(false, 299)
local started = false
add_hook("key_down", "e2e", function(key)
  if started then return end
  started = true
  run_cmd("set matchframes 300")
  run_cmd("set turnframes 1")
  start_new_game()
  e2e_mark("started")
  set_joint_state(0, 4, 1)
  step_game()
end)
add_hook("enter_freeze", "e2e", function()
  local w = get_world_state()
  if w.replay_mode ~= 0 then return end
  e2e_log("freeze " .. w.match_frame)
  -- a player's move each turn: one joint of the own fighter changed
  set_joint_state(0, w.match_frame % 20, 1 + w.match_frame % 4)
  step_game()
end)
add_hook("end_game", "e2e", function(code)
  e2e_log("end_game " .. get_world_state().match_frame)
  e2e_mark("ended")
end)
)";
    setup.actions.push_back({"", 0, "xdotool mousemove 400 300"});
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back(repeat_until("", "xdotool key q", "started", 1000));
    setup.actions.push_back({"ended", 0, "term"});
    setup.timeout_ms = 240000;
    GameRun live = run_game("match_long_live", setup);
    ASSERT_FALSE(live.timed_out) << live.describe();
    ASSERT_NE(live.log.find("end_game 300"), std::string::npos) << live.describe();

    // Each turn the hook started ran one frame.
    std::vector<int> freezes;
    for (const std::string &line : tagged(live.log, "freeze "))
        freezes.push_back(std::stoi(line));
    ASSERT_GE(freezes.size(), 290u) << live.describe();
    for (size_t i = 0; i < freezes.size(); i++)
        ASSERT_EQ(freezes[i], (int)i + 1) << "turn " << i;

    std::vector<std::string> saved = files_in(live, "autosave");
    ASSERT_EQ(saved.size(), 1u) << live.describe();
    std::string text = live.file("autosave/" + saved[0]);
    EXPECT_EQ(count_lines_with(text, "NEWGAME 0; 300 1"), 1) << text.substr(0, 600);
    EXPECT_EQ(count_lines_with(text, "FRAME 299;"), 1);
    EXPECT_EQ(count_lines_with(text, "FRAME 256;"), 1);
    EXPECT_EQ(live.err.find("Replay full"), std::string::npos) << live.err;

    GameSetup again;
    again.args = {"long.rpl"};
    again.files = {{"long.rpl", text}};
    again.startup_lua = std::string(positions_lua) + "e2e_log_positions(true, 299)\n";
    again.actions.push_back({"shown_299", 0, "term"});
    again.timeout_ms = 240000;
    GameRun replay = run_game("match_long_replay", again);
    ASSERT_FALSE(replay.timed_out) << replay.describe();

    std::map<int, std::string> played = positions(live.log), shown = positions(replay.log);
    int compared = 0, late = 0;
    for (const auto &f : shown) {
        if (f.first < 1 || f.first >= 300)
            continue;
        auto it = played.find(f.first);
        if (it == played.end())
            continue;
        EXPECT_EQ(f.second, it->second) << "frame " << f.first;
        compared++;
        if (f.first > 257)
            late++;
    }
    EXPECT_GE(compared, 250) << replay.describe();
    EXPECT_GE(late, 30) << replay.describe();
}

namespace {

int menu_row_y(int row) { return 135 + 30 * row; }

std::string click_menu_row(int row)
{
    return "xdotool mousemove 400 " + std::to_string(menu_row_y(row)) + " click 1";
}

// Marks for the shop's own words (its echoes pass the console hook by, so
// echo is wrapped) and for a game's frames: "game_<n>" once the n-th new
// game of the run (the first is the one behind the main menu) has shown
// frame 5. The state lives in a global, as the
// start-up script runs again before the shop's script.
const char shop_lua[] = R"(
set_option("frameskip", 0)
shop_state = shop_state or { games = 0, marks = {} }
local st = shop_state
local function note(text)
  text = tostring(text)
  e2e_log("console " .. text)
  for needle, mark in pairs({["KasuShop: welcome"] = "welcome",
                             ["KasuShop: you now wear"] = "worn",
                             ["KasuShop: closed"] = "closed"}) do
    if string.find(text, needle, 1, true) then e2e_mark(mark) end
  end
end
add_hook("console", "e2e", function(text) note(text) end)
st.real_echo = st.real_echo or echo
echo = function(text) note(text) return st.real_echo(text) end
add_hook("new_game", "e2e", function()
  st.games = st.games + 1
  e2e_mark("new_game_" .. st.games)
end)
add_hook("draw2d", "e2e", function()
  local w = get_world_state()
  if st.games > 0 and w.replay_mode == 0 and w.match_frame >= 5 then
    e2e_mark("game_" .. st.games)
  end
end)
)";

const int GREEN[3] = {0, 200, 0};

int green_pixels(const GameRun &run, const std::string &ppm)
{
    return count_colour_pixels(run, ppm, 0, 0, 800, 600, GREEN, 90);
}

}  // namespace

// Green bought in the shop, Esc, Single Player, a turn played: the player's
// fighter wears green. A new start of the program has the default looks.
TEST(E2eMatch, ColourBoughtInTheShopStaysOnTheFighterForTheSession)
{
    GameSetup setup;
    setup.files.push_back({"replay/readme.txt", "no replays here\n"});
    setup.startup_lua = shop_lua;
    setup.actions.push_back({"", 0, "xdotool mousemove 400 300"});
    setup.actions.push_back(repeat_until("", click_menu_row(4), "welcome", 3000));
    // Eight colours on from the shop's first offer: green.
    setup.actions.push_back(
        {"welcome", 0, "xdotool mousemove 400 20 key Right Right Right Right Right Right "
                       "Right Right key space",
         "worn"});
    setup.actions.push_back({"worn", 0, "xdotool key Escape", "closed"});
    setup.actions.push_back(repeat_until("closed", click_menu_row(0), "new_game_2", 3000));
    // The new game waits for its first turn: Space plays it.
    setup.actions.push_back(
        repeat_until("new_game_2", "xdotool mousemove 400 20 key space", "game_2", 3000));
    GameAction shot = {"game_2", 0, "screenshot worn_game.ppm"};
    shot.frames = 20;
    setup.actions.push_back(shot);
    setup.actions.push_back({"worn_game.ppm", 0, "term"});
    setup.timeout_ms = 120000;
    GameRun run = run_game("match_shop", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    ASSERT_NE(run.log.find("KasuShop: you now wear green"), std::string::npos) << run.describe();

    GameSetup fresh;
    fresh.files.push_back({"replay/readme.txt", "no replays here\n"});
    fresh.startup_lua = shop_lua;
    fresh.actions.push_back({"", 0, "xdotool mousemove 400 300"});
    fresh.actions.push_back(repeat_until("", click_menu_row(0), "new_game_2", 3000));
    fresh.actions.push_back(
        repeat_until("new_game_2", "xdotool mousemove 400 20 key space", "game_2", 3000));
    GameAction fresh_shot = {"game_2", 0, "screenshot default_game.ppm"};
    fresh_shot.frames = 20;
    fresh.actions.push_back(fresh_shot);
    fresh.actions.push_back({"default_game.ppm", 0, "term"});
    fresh.timeout_ms = 120000;
    GameRun restarted = run_game("match_shop_restart", fresh);
    ASSERT_FALSE(restarted.timed_out) << restarted.describe();

    int worn = green_pixels(run, "worn_game.ppm");
    int plain = green_pixels(restarted, "default_game.ppm");
    ASSERT_GE(worn, 0) << run.describe();
    ASSERT_GE(plain, 0) << restarted.describe();
    // The default scene has a little green of its own; the fighter in green
    // adds several times as much.
    EXPECT_GT(worn, 2 * plain + 5000) << worn << " green pixels worn, " << plain << " plain";
}

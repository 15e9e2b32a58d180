// A mod at the corners of what the mod reader accepts, and a replay with a
// rule the console refuses, through the real program.
#include <gtest/gtest.h>

#include <dirent.h>

#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/test_support.h"

namespace {

std::string fixture(const char *name)
{
    return read_whole_file(std::string(source_dir()) + "/tests/e2e/hostile/" + name);
}

const char corner_mod[] = "mods_strongest_smallest.zmm";

// A replay pauses at each turn's end; it is let go on at once, and the
// frames it reaches are logged.
const char replay_watch_lua[] = R"(
add_hook("enter_freeze", "e2e_replay", function()
  if get_world_state().replay_mode ~= 0 then step_to_end() end
end)
local logged = -1
add_hook("draw2d", "e2e_replay", function()
  local w = get_world_state()
  if w.replay_mode ~= 0 and w.match_frame ~= logged then
    logged = w.match_frame
    if w.match_frame >= 490 then e2e_mark("replayed") end
    e2e_log("replay_frame " .. w.match_frame)
  end
end)
)";

}  // namespace

// The mod named on the command line, as a player starts the game with it:
// a match of its strongest, fastest joints on its smallest bodies, every
// joint driven each turn, plays to its end; the match's replay then plays
// whole, opened by name and as the first replay behind the menu.
TEST(E2eModGuard, CornerModPlaysAWholeMatchAndItsReplay)
{
    GameSetup setup;
    setup.args = {corner_mod};
    setup.files = {{std::string("data/mod/") + corner_mod, fixture(corner_mod)}};
    setup.startup_lua = R"(
local seed = 5
local function drive()
  for p = 0, 1 do
    for j = 0, 19 do
      seed = (seed * 1103515245 + 12345) % 2147483648
      set_joint_state(p, j, 1 + math.floor(seed / 65536) % 4)
    end
  end
  step_game()
end
local started = false
add_hook("key_down", "e2e", function(key)
  if started then return end
  started = true
  start_new_game()
  e2e_log("mod " .. get_game_rules().mod)
  e2e_mark("started")
  drive()
end)
add_hook("enter_freeze", "e2e", function()
  local w = get_world_state()
  if started and w.replay_mode == 0 and w.game_over ~= 1 then drive() end
end)
-- Three matches, each with its own sequence of joint states.
local matches = 0
add_hook("end_game", "e2e", function(code)
  matches = matches + 1
  e2e_log("end_game " .. get_world_state().match_frame)
  if matches < 3 then
    seed = seed + 1000
    start_new_game()
    drive()
  else
    e2e_mark("ended")
  end
end)
)";
    setup.actions.push_back({"", 0, "xdotool mousemove 400 300"});
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back(repeat_until("", "xdotool key q", "started", 1000));
    setup.actions.push_back({"ended", 0, "term"});
    setup.timeout_ms = 300000;
    GameRun live = run_game("mods_corner_live", setup);
    ASSERT_FALSE(live.timed_out) << live.describe();
    EXPECT_EQ(live.err.find("INTERNAL ERROR"), std::string::npos) << live.describe();
    EXPECT_NE(live.log.find(std::string("mod ") + corner_mod), std::string::npos)
        << live.describe();
    ASSERT_EQ(count_lines_with(live.log, "end_game 500"), 3) << live.describe();

    std::vector<std::string> saved = files_in(live, "autosave");
    ASSERT_EQ(saved.size(), 3u) << live.describe();
    std::string replay = live.file("autosave/" + saved[0]);
    ASSERT_NE(replay.find(corner_mod), std::string::npos) << replay.substr(0, 400);

    // Opened by name.
    GameSetup by_name;
    by_name.args = {"match.rpl"};
    by_name.files = {{std::string("data/mod/") + corner_mod, fixture(corner_mod)},
                     {"match.rpl", replay}};
    by_name.startup_lua = replay_watch_lua;
    by_name.actions.push_back({"replayed", 0, "term"});
    by_name.timeout_ms = 300000;
    GameRun played = run_game("mods_corner_replay", by_name);
    ASSERT_FALSE(played.timed_out) << played.describe();
    EXPECT_EQ(played.err.find("INTERNAL ERROR"), std::string::npos) << played.describe();

    // A plain start with the replay in replay/: it plays behind the menu.
    GameSetup plain;
    plain.files = {{std::string("data/mod/") + corner_mod, fixture(corner_mod)},
                   {"replay/" + saved[0], replay}};
    plain.startup_lua = replay_watch_lua;
    plain.actions.push_back({"replayed", 0, "term"});
    plain.timeout_ms = 300000;
    GameRun behind = run_game("mods_corner_plain", plain);
    ASSERT_FALSE(behind.timed_out) << behind.describe();
    EXPECT_EQ(behind.err.find("INTERNAL ERROR"), std::string::npos) << behind.describe();
}

// A replay whose match length is negative would never end: it is refused
// with a message to the player, and the game goes on (a new game starts and
// plays its turns).
TEST(E2eModGuard, ReplayWithANegativeMatchLengthIsRefused)
{
    GameSetup setup;
    setup.args = {"negative.rpl"};
    setup.files = {{"negative.rpl", fixture("mods_negative_matchframes.rpl")}};
    setup.startup_lua = R"(
add_hook("console", "e2e", function(text, kind)
  e2e_log("console " .. tostring(text))
end)
local started = false
add_hook("key_down", "e2e", function(key)
  if started then return end
  started = true
  e2e_log("rules " .. get_game_rules().matchframes)
  run_cmd("set matchframes 30")
  start_new_game()
  e2e_mark("started")
  step_game()
end)
add_hook("enter_freeze", "e2e", function()
  if started and get_world_state().replay_mode == 0 then step_game() end
end)
add_hook("end_game", "e2e", function(code)
  e2e_log("end_game " .. get_world_state().match_frame)
  e2e_mark("ended")
end)
)";
    setup.actions.push_back({"", 0, "xdotool mousemove 400 300"});
    setup.actions.push_back(repeat_until("", "xdotool key q", "started", 1000));
    setup.actions.push_back({"ended", 0, "term"});
    GameRun run = run_game("mods_negative_length", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(count_lines_with(run.err, "NEWGAME refused: field 1 is -5"), 1) << run.describe();
    EXPECT_EQ(count_lines_with(run.log,
                               "console Replay negative.rpl not played: its game rules are out "
                               "of range"),
              1)
        << run.describe();
    EXPECT_NE(run.log.find("end_game 30"), std::string::npos) << run.describe();
}

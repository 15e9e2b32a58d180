// A match played in the running program is what its autosave holds, and
// playing that file back shows the same fighters frame by frame.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace {

// The lines of a scene export that describe the fighters' bodies and joints
// (position, rotation, speeds): what must be the same in a replay.
std::string fighter_lines(const std::string &scene)
{
    std::istringstream in(scene);
    std::string line, out;
    while (std::getline(in, line))
        if (line.rfind("Body", 0) == 0 || line.rfind("Joint", 0) == 0)
            out += line + "\n";
    return out;
}

// The rules of the scripted match: short, close, breakable.
const char rules_lua[] = R"(
local function set_rules()
  run_cmd("set matchframes 240")
  run_cmd("set turnframes 40")
  run_cmd("set engagedistance 34")
  run_cmd("set dismemberment 1")
  run_cmd("set fracture 1")
  run_cmd("set dismemberthreshold 1")
  run_cmd("set fracturethreshold 1")
end
)";

GameRun play_scripted_match()
{
    GameSetup setup;
    setup.startup_lua = std::string(rules_lua) + R"(
local started = false
add_hook("key_down", "e2e", function(key)
  if started then return end
  started = true
  set_rules()
  start_new_game()
  e2e_mark("started")
end)
-- the fighters as they stand when each frame of the match begins
add_hook("enter_frame", "e2e", function()
  run_cmd("povshot live_" .. get_world_state().match_frame .. ".pov")
end)
local freezes = 0
add_hook("enter_freeze", "e2e", function()
  freezes = freezes + 1
  e2e_mark("freeze_" .. freezes)
end)
add_hook("end_game", "e2e", function(code)
  e2e_log("end_game " .. get_world_state().match_frame)
  e2e_mark("ended")
end)
)";
    // Each action waits for frames drawn after the one before.
    setup.actions.push_back({"", 0, "xdotool mousemove 400 300"});
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    // The game's key hook hears q once the menu is closed.
    setup.actions.push_back(repeat_until("", "xdotool key q", "started", 1000));
    // Pointing at the own fighter's right wrist, held out to the right: grip.
    setup.actions.push_back({"started", 0, "xdotool mousemove 528 168"});
    setup.actions.push_back({"", 0, "xdotool key l"});
    // Each turn: every joint of the own fighter held, then relaxed, and so on.
    for (int turn = 0; turn < 6; turn++) {
        std::string edit = turn == 0 ? "started" : "freeze_" + std::to_string(turn);
        setup.actions.push_back({edit, 0, "xdotool mousemove 700 500"});
        setup.actions.push_back({"", 0, "xdotool key c"});
        setup.actions.push_back({"", 0, "xdotool key space"});
    }
    setup.actions.push_back({"ended", 0, "term"});
    return run_game("replay_live", setup);
}

}  // namespace

TEST(E2eReplay, PlayedMatchIsSavedAndReplaysFrameByFrame)
{
    GameRun live = play_scripted_match();
    ASSERT_FALSE(live.timed_out) << live.describe();
    ASSERT_NE(live.log.find("end_game 240"), std::string::npos) << live.describe();

    std::vector<std::string> saved = files_in(live, "autosave");
    ASSERT_EQ(saved.size(), 1u) << live.describe();
    std::string text = live.file("autosave/" + saved[0]);
    // Every kind of record the match made is in the file.
    EXPECT_EQ(count_lines_with(text, "NEWGAME 0; 240 40"), 1) << text.substr(0, 800);
    EXPECT_GE(count_lines_with(text, "FRAME "), 5);
    EXPECT_GE(count_lines_with(text, "JOINT 0;"), 5);
    EXPECT_GE(count_lines_with(text, "GRIP 0;"), 1);
    EXPECT_GE(count_lines_with(text, "CRUSH ") + count_lines_with(text, "FRACT "), 1);
    EXPECT_GE(count_lines_with(text, "POS 0;"), 5);
    EXPECT_GE(count_lines_with(text, "QAT 1;"), 1);

    // The file played back: each pause shows the fighters exactly as they
    // stood at that frame of the match.
    GameSetup setup;
    setup.args = {"match.rpl"};
    setup.files = {{"match.rpl", text}};
    setup.startup_lua = R"(
add_hook("enter_freeze", "e2e", function()
  local w = get_world_state()
  if w.replay_mode ~= 0 then
    run_cmd("povshot replay_" .. w.match_frame .. ".pov")
    e2e_log("paused " .. w.match_frame)
  end
end)
)";
    setup.actions.push_back({"", 0, "xdotool mousemove 700 500"});
    for (int k = 0; k < 7; k++) {
        // The replay runs ten drawn frames, then p pauses it, and p again
        // lets it go on.
        GameAction pause = {"", 0, "xdotool key p"};
        pause.frames = 10;
        setup.actions.push_back(pause);
        setup.actions.push_back({"", 0, "xdotool key p"});
        // Midway the replay is restarted with r: it plays the match again
        // from its first frame, the same as before.
        if (k == 3)
            setup.actions.push_back({"", 0, "xdotool key r"});
    }
    setup.actions.push_back({"", 0, "term"});
    GameRun replay = run_game("replay_file", setup);
    ASSERT_FALSE(replay.timed_out) << replay.describe();

    int compared = 0;
    std::istringstream log(replay.log);
    std::string word;
    int frame;
    int restarted = 0, last = -1;
    while (log >> word >> frame) {
        if (word != "paused" || frame < 1 || frame >= 240)
            continue;
        if (frame < last)
            restarted = 1;
        last = frame;
        std::string name = std::to_string(frame) + ".pov";
        std::string played = fighter_lines(live.file("raytrace/live_" + name));
        std::string shown = fighter_lines(replay.file("raytrace/replay_" + name));
        ASSERT_FALSE(played.empty()) << name;
        EXPECT_EQ(shown, played) << "frame " << frame;
        compared++;
    }
    EXPECT_GE(compared, 4) << replay.describe();
    EXPECT_EQ(restarted, 1) << replay.describe();
}

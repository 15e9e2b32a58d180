// What the program keeps of the player's: a settings file or buddies list it
// could not read stays as it is (and the console says why), a full-screen
// switch leaves the pointer where it was, spectators stand clear of the bout
// list and go with their server, and each score stands over its own name.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>
#include <unistd.h>

#include "e2e/e2e_support.h"
#include "net/scripted_peer.h"
#include "support/test_support.h"

namespace {

// The console's lines go to the log as "console <text>".
const char *const log_console = R"(
add_hook("console", "e2e_keep", function(text, kind)
  e2e_log("console " .. tostring(text))
end)
)";

// How the file is made one the program cannot read.
enum Kind { OVERSIZED, FIFO, FOLDER };

struct KeptCase {
    const char *what;
    Kind kind;
    const char *said;   // the reason in the console line
};

// A settings file of valid lines, over the store's 1 MB bound.
std::string oversized_settings()
{
    std::string text = "#Automatically generated from Setup. Don't edit\r\nvolume \"20\"\r\n";
    text += "#" + std::string(1100000, 'x') + "\r\n";
    return text;
}

bool is_fifo(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

bool is_folder(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void make_unreadable(GameSetup *setup, const std::string &path, Kind kind)
{
    if (kind == OVERSIZED)
        setup->files.push_back({path, oversized_settings()});
    else if (kind == FIFO)
        setup->fifos.push_back(path);
    else
        setup->files.push_back({path + "/inside.txt", "kept\n"});
}

void expect_unchanged(const GameRun &run, const std::string &path, Kind kind)
{
    if (kind == OVERSIZED)
        EXPECT_TRUE(run.file(path) == oversized_settings()) << path << " was rewritten";
    else if (kind == FIFO)
        EXPECT_TRUE(is_fifo(run.dir + "/" + path)) << path << " was replaced";
    else
        EXPECT_EQ(run.file(path + "/inside.txt"), "kept\n");
}

}  // namespace

// A settings file that is there but cannot be read is never written over,
// even after a run that changed an option; the console says so once, with
// why. A readable one gets the changed option as before.
TEST(E2eKeep, UnreadableSettingsFileIsKept)
{
    const KeptCase cases[] = {
        {"too large", OVERSIZED, "too large"},
        {"a named pipe", FIFO, "not a regular file"},
        {"a folder", FOLDER, "not a regular file"},
    };
    const std::string script = std::string(log_console) + R"(
local done = false
add_hook("new_game", "e2e", function()
  if done then return end
  done = true
  run_cmd("frameskip 1")
  e2e_mark_after("changed", 3)
end)
)";
    for (const KeptCase &c : cases) {
        SCOPED_TRACE(c.what);
        GameSetup setup;
        setup.args = {"-autoupdate", "0"};
        setup.startup_lua = script;
        make_unreadable(&setup, "default.cfg", c.kind);
        setup.actions.push_back({"changed", 0, "term"});
        GameRun run = run_game("keep_settings", setup);
        EXPECT_FALSE(run.timed_out) << run.describe();
        EXPECT_EQ(run.status, 0) << run.describe();
        EXPECT_NE(run.log.find("console Frame skipping toggled on."), std::string::npos)
            << run.describe();
        expect_unchanged(run, "default.cfg", c.kind);
        const std::string said = std::string("console default.cfg could not be read (") + c.said +
                                 "): changes to the settings will not be saved";
        EXPECT_EQ(count_lines_with(run.log, said), 1) << run.describe();
        EXPECT_NE(run.err.find(std::string("unable to open default.cfg: ") + c.said),
                  std::string::npos)
            << run.err;
    }

    // A readable file: the changed option is saved, and nothing is said.
    GameSetup setup;
    setup.args = {"-autoupdate", "0"};
    setup.startup_lua = script;
    setup.files.push_back({"default.cfg", "volume \"20\"\r\n"});
    setup.actions.push_back({"changed", 0, "term"});
    GameRun run = run_game("keep_settings_readable", setup);
    EXPECT_EQ(run.status, 0) << run.describe();
    std::string saved = run.file("default.cfg");
    EXPECT_NE(saved.find("frameskip \"1\"\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("volume \"20\"\r\n"), std::string::npos) << saved;
    EXPECT_EQ(run.log.find("will not be saved"), std::string::npos) << run.describe();

    // No file at all: it is made, as before.
    setup.files.clear();
    run = run_game("keep_settings_missing", setup);
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_NE(run.file("default.cfg").find("frameskip \"1\"\r\n"), std::string::npos)
        << run.describe();
    EXPECT_NE(run.err.find("unable to open default.cfg: missing"), std::string::npos) << run.err;
}

// A buddies list that cannot be read is not replaced by "addbuddy": the
// console says, once, that the change will not be saved and why.
TEST(E2eKeep, UnreadableBuddiesListIsKept)
{
    const KeptCase cases[] = {
        {"a named pipe", FIFO, "not a regular file"},
        {"a folder", FOLDER, "not a regular file"},
    };
    const std::string script = std::string(log_console) + R"(
local done = false
add_hook("new_game", "e2e", function()
  if done then return end
  done = true
  run_cmd("addbuddy newfriend")
  run_cmd("addbuddy otherfriend")
  e2e_mark_after("added", 3)
end)
)";
    for (const KeptCase &c : cases) {
        SCOPED_TRACE(c.what);
        GameSetup setup;
        setup.args = {"-autoupdate", "0"};
        setup.startup_lua = script;
        make_unreadable(&setup, "data/buddies.txt", c.kind);
        setup.actions.push_back({"added", 0, "term"});
        GameRun run = run_game("keep_buddies", setup);
        EXPECT_FALSE(run.timed_out) << run.describe();
        EXPECT_EQ(run.status, 0) << run.describe();
        EXPECT_NE(run.log.find("console newfriend was added to your buddies list."),
                  std::string::npos)
            << run.describe();
        expect_unchanged(run, "data/buddies.txt", c.kind);
        const std::string said = std::string("console data/buddies.txt could not be read (") +
                                 c.said + "): changes to the buddies list will not be saved";
        EXPECT_EQ(count_lines_with(run.log, said), 1) << run.describe();
    }

    // A readable list gets the new names.
    GameSetup setup;
    setup.args = {"-autoupdate", "0"};
    setup.startup_lua = script;
    setup.files.push_back({"data/buddies.txt", "oldfriend\r\n"});
    setup.actions.push_back({"added", 0, "term"});
    GameRun run = run_game("keep_buddies_readable", setup);
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(run.file("data/buddies.txt"), "oldfriend\r\nnewfriend\r\notherfriend\r\n");
    EXPECT_EQ(run.log.find("will not be saved"), std::string::npos) << run.describe();
}

// Ctrl+Enter on the main menu switches to full screen, the pointer staying
// where the player left it (in window terms): beside the rows, Enter or a
// click then chooses nothing (the screen's centre is the "Quit" row), and
// the game goes on.
TEST(E2eKeep, FullScreenSwitchLeavesThePointerAndTheGameRunning)
{
    const struct {
        const char *what, *input;
    } cases[] = {
        {"Enter", "xdotool key Return"},
        {"a click", "xdotool click 1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        GameSetup setup;
        setup.args = {"-autoupdate", "0"};
        setup.files.push_back({"replay/readme.txt", "no replays\n"});
        setup.startup_lua = std::string(log_console) + R"(
add_hook("key_down", "e2e", function(key)
  if key == 293 then
    e2e_log("alive " .. tostring(get_option("fullscreen")))
    e2e_mark("alive")
    return 1
  end
end)
)";
        // The pointer rests beside the rows, in the window's lower left.
        setup.actions.push_back({"", 0, "xdotool mousemove 60 560"});
        // Return goes up while ctrl is held: the switch.
        setup.actions.push_back({"", 0, "xdotool keydown ctrl key Return keyup ctrl"});
        GameAction input{"", 0, c.input};
        input.frames = 20;
        setup.actions.push_back(input);
        // Off the menu, into the game, whose key hook answers.
        GameAction leave{"", 0, "xdotool key Escape"};
        leave.frames = 20;
        setup.actions.push_back(leave);
        setup.actions.push_back(repeat_until("", "xdotool key F12", "alive", 1000));
        setup.actions.push_back({"alive", 0, "term"});
        GameRun run = run_game("keep_fullscreen", setup);
        EXPECT_FALSE(run.timed_out) << run.describe();
        EXPECT_EQ(run.status, 0) << run.describe();
        EXPECT_TRUE(run.exists("alive")) << run.describe();
        EXPECT_NE(run.log.find("alive 1"), std::string::npos) << run.describe();
    }
}

namespace {

// Pixels of a rectangle of a picture that are not the white background
// (text drawn there); -1 when the picture cannot be read.
int marked_pixels(const GameRun &run, const std::string &ppm, int x, int y, int w, int h)
{
    const int white[3] = {255, 255, 255};
    int n = count_colour_pixels(run, ppm, x, y, w, h, white, 30);
    return n < 0 ? -1 : w * h - n;
}

}  // namespace

// Online with spectators: their names stand below the bout list's names,
// never over them; and a server that sends no spectators shows none of the
// last server's.
TEST(E2eKeep, SpectatorsStandBelowTheBoutListAndGoWithTheirServer)
{
    ScriptedPeer first, second;
    std::thread driver([&] {
        if (first.wait_for("mlogin", 120000))
            first.push(std::string("ID 5;\nBOUT 0; 5 0 0 0 0 0 me 0\nBOUT 1; 6 0 0 0 0 0 you 0\n"
                                   "BOUT 2; 7 0 0 0 0 0 waiting 0\nBOUT 3; -1\n") +
                       server_newgame_line() + "SPECS 0;carol\tdave\nSAY 0;joined the first\n");
        if (second.wait_for("mlogin", 120000))
            second.push("ID 5;\n" + server_newgame_line() + "SAY 0;joined the second\n");
    });
    GameSetup setup;
    setup.args = {"-autoupdate", "0"};
    setup.startup_lua = std::string(log_console) + connect_on_first_game(first.port) + R"(
add_hook("console", "e2e", function(text, kind)
  text = tostring(text)
  -- the names slide 2 pixels a frame into their rows
  if string.find(text, "joined the first", 1, true) then e2e_mark_after("first", 90) end
  if string.find(text, "joined the second", 1, true) then e2e_mark_after("second", 90) end
end)
add_hook("key_down", "e2e", function(key)
  if key == 293 then
    run_cmd("connect 127.0.0.1:)" + std::to_string(second.port) + R"(")
    return 1
  end
end)
)";
    setup.actions.push_back({"first", 0, "xdotool mousemove 400 20 key Escape"});
    GameAction shot_first{"", 0, "screenshot first.ppm"};
    shot_first.frames = 10;
    setup.actions.push_back(shot_first);
    setup.actions.push_back(repeat_until("", "xdotool key F12", "second", 3000));
    setup.actions.push_back({"second", 0, "screenshot second.ppm"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("keep_spectators", setup);
    first.stop();
    second.stop();
    driver.join();
    EXPECT_FALSE(run.timed_out) << run.describe();
    ASSERT_TRUE(run.exists("second.ppm")) << run.describe();

    // The bout list at x 8: "me", "you", a free row, "waiting" (y 155, 180,
    // 230); the spectators from one free row below it (y 280 and 305; the
    // left edge there lies under two buttons).
    EXPECT_GT(marked_pixels(run, "first.ppm", 8, 232, 80, 18), 20) << "no bout list";
    EXPECT_LT(marked_pixels(run, "first.ppm", 8, 207, 110, 18), 5)
        << "a name in the bout list's free row";
    EXPECT_GT(marked_pixels(run, "first.ppm", 36, 282, 80, 45), 20) << "no spectators";
    // The second server sent no spectators and no bout list: none shown.
    EXPECT_LT(marked_pixels(run, "second.ppm", 8, 150, 110, 110), 5) << "names of the first";
    EXPECT_LT(marked_pixels(run, "second.ppm", 36, 260, 80, 80), 5) << "names of the first";
}

// After a played match each score stands over its own fighter's name: the
// first fighter (red) at the right, the second (blue) at the left, score
// and name in the same colour on each side.
TEST(E2eKeep, EachScoreStandsOverItsOwnName)
{
    GameSetup setup;
    setup.args = {"-autoupdate", "0", "none.rpl"};
    setup.startup_lua = R"(
local live = false
add_hook("new_game", "e2e", function()
  run_cmd("setframes 30")
  live = true
  e2e_mark_after("started", 5)
end)
add_hook("console", "e2e", function(text, kind)
  text = tostring(text)
  if live and (string.find(text, "WINS", 1, true) or string.find(text, "DRAW", 1, true)) then
    e2e_log("result " .. text)
    e2e_mark_after("result", 5)
  end
end)
)";
    setup.actions.push_back({"", 0, "xdotool mousemove 400 20 key space", "started"});
    setup.actions.push_back({"started", 0, "xdotool key p", "result"});
    setup.actions.push_back({"result", 0, "screenshot result.ppm"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("keep_scores", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    ASSERT_TRUE(run.exists("result.ppm")) << run.describe();

    const int red[3] = {155, 17, 17}, blue[3] = {54, 173, 221};
    const struct {
        const char *what;
        int x, y, w, h;
        const int *own;
        const int *other;
    } places[] = {
        {"left score", 5, 5, 120, 45, blue, red},
        {"left name", 5, 52, 150, 25, blue, red},
        {"right score", 675, 5, 120, 45, red, blue},
        {"right name", 645, 52, 150, 25, red, blue},
    };
    for (const auto &p : places) {
        EXPECT_GT(count_colour_pixels(run, "result.ppm", p.x, p.y, p.w, p.h, p.own, 40), 20)
            << p.what << "\n" << run.describe();
        EXPECT_LT(count_colour_pixels(run, "result.ppm", p.x, p.y, p.w, p.h, p.other, 40), 3)
            << p.what << "\n" << run.describe();
    }
}

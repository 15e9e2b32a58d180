// Hostile input through the real program: every row's input is refused with
// a line that names it, and the game then starts a match and plays two
// turns of it (the script below logs each turn's end and quits after the
// second).
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/test_support.h"

namespace {

// What a row puts in the runtime folder besides a file's bytes.
enum Special {
    PLAIN,      // the bytes of `file` at `place`
    FIFO,       // a FIFO at `place` (nobody ever writes to it)
    ZERO_LINK,  // a link from `place` to /dev/zero
    NO_FILE,    // nothing: the row's arguments or script carry the input
};

struct HostileCase {
    const char *name;      // the test's name
    const char *file;      // under tests/e2e/hostile/ (null: none)
    const char *place;     // where it goes in the runtime folder (null: none)
    Special special;
    const char *args;      // command-line words, blank-separated ("" none); "@fifo"
                           // stands for a FIFO outside the runtime folder
    const char *before;    // Lua run just before the match starts ("" none)
    const char *refused;   // what a line of stderr must hold
    const char *mod;       // a hostile mod the input names, into data/mod/ (null: none)
};

// The case's name in test listings (instead of its bytes).
void PrintTo(const HostileCase &c, std::ostream *os)
{
    *os << c.name;
}

const HostileCase cases[] = {
    // Replays played behind the menu at start.
    {"qat_zero", "qat_zero.rpl", "replay/qat_zero.rpl", PLAIN, "", "", "refused QAT", nullptr},
    {"pos_nan", "pos_nan.rpl", "replay/pos_nan.rpl", PLAIN, "", "", "refused POS: nan", nullptr},
    {"linvel_inf", "linvel_inf.rpl", "replay/linvel_inf.rpl", PLAIN, "", "", "refused LINVEL: inf", nullptr},
    {"angvel_huge", "angvel_huge.rpl", "replay/angvel_huge.rpl", PLAIN, "", "",
     "refused ANGVEL: 1e30", nullptr},
    {"engage_nan", "engage_nan.rpl", "replay/engage_nan.rpl", PLAIN, "", "", "refused ENGAGE: nan", nullptr},
    {"engage_huge", "engage_huge.rpl", "replay/engage_huge.rpl", PLAIN, "", "",
     "refused ENGAGE: 1e12", nullptr},
    {"epos_nan", "epos_nan.rpl", "replay/epos_nan.rpl", PLAIN, "", "", "refused EPOS: nan", nullptr},
    {"eqat_zero", "eqat_zero.rpl", "replay/eqat_zero.rpl", PLAIN, "", "", "refused EQAT", nullptr},
    {"p_qat_zero", "p_qat_zero.rpl", "replay/p_qat_zero.rpl", PLAIN, "", "", "refused P_QAT", nullptr},
    {"grab_far", "grab_far.rpl", "replay/grab_far.rpl", PLAIN, "", "", "refused GRAB: 0 0 11 0 1e6", nullptr},
    {"turn_limit_huge", "turn_limit_huge.rpl", "replay/turn_limit_huge.rpl", PLAIN, "", "",
     "NEWGAME refused: field 3", nullptr},
    // Mods named on the command line: the match is played with them.
    {"axis_zero", "axis_zero.zmm", "data/mod/axis_zero.zmm", PLAIN, "axis_zero.zmm", "",
     "refused axis: 0 0 0", nullptr},
    {"gravity_nan", "gravity_nan.zmm", "data/mod/gravity_nan.zmm", PLAIN, "gravity_nan.zmm", "",
     "refused gravity: nan", nullptr},
    {"body_pos_huge", "body_pos_huge.zmm", "data/mod/body_pos_huge.zmm", PLAIN,
     "body_pos_huge.zmm", "", "refused pos: 1e30", nullptr},
    {"object_pos_nan", "object_pos_nan.zmm", "data/mod/object_pos_nan.zmm", PLAIN,
     "object_pos_nan.zmm", "", "refused pos: nan", nullptr},
    {"mod_engage_inf", "mod_engage_inf.zmm", "data/mod/mod_engage_inf.zmm", PLAIN,
     "mod_engage_inf.zmm", "", "refused engageplayerpos: inf", nullptr},
    {"mass_tiny", "mass_tiny.zmm", "data/mod/mass_tiny.zmm", PLAIN, "mass_tiny.zmm", "",
     "mass_tiny.zmm:5: refused mass: 1e-320", nullptr},
    {"object_sides_tiny", "object_sides_tiny.zmm", "data/mod/object_sides_tiny.zmm", PLAIN,
     "object_sides_tiny.zmm", "", "object_sides_tiny.zmm:4: refused sides: 1e-300", nullptr},
    {"sphere_tiny", "sphere_tiny.zmm", "data/mod/sphere_tiny.zmm", PLAIN, "sphere_tiny.zmm", "",
     "sphere_tiny.zmm:4: refused sides: 1e-160", nullptr},
    {"head_sides_tiny", "head_sides_tiny.zmm", "data/mod/head_sides_tiny.zmm", PLAIN,
     "head_sides_tiny.zmm", "", "head_sides_tiny.zmm:2: refused sides: 1e-20", nullptr},
    {"chest_sides_tiny", "chest_sides_tiny.zmm", "data/mod/chest_sides_tiny.zmm", PLAIN,
     "chest_sides_tiny.zmm", "", "chest_sides_tiny.zmm:2: refused sides: 1e-20", nullptr},
    // Settings, and the console through a script.
    {"settings_engage", "settings_engage.cfg", "default.cfg", PLAIN, "", "",
     "refused engageplayerpos: 1e12", nullptr},
    {"console", nullptr, nullptr, NO_FILE, "",
     "run_cmd('set engageheight 2000000000')\nrun_cmd('set engageplayerpos nan,0,0,1,0,0')\n",
     "refused engageheight: 2000000000", nullptr},
    {"tiny_sides_from_script", nullptr, nullptr, NO_FILE, "",
     "local ok, err = pcall(set_body_sides, 0, 0, 1e-20, 1e-20, 1e-20)\n"
     "e2e_log('set_body_sides ' .. tostring(ok) .. ' ' .. tostring(err))\n",
     "refused set_body_sides: 1e-20 1e-20 1e-20", nullptr},
    // Endless or special files where a file is expected.
    {"replay_fifo", nullptr, "replay/a.rpl", FIFO, "", "",
     "replay/a.rpl: not a regular file", nullptr},
    {"replay_zero_link", nullptr, "replay/a.rpl", ZERO_LINK, "", "",
     "replay/a.rpl: not a regular file", nullptr},
    {"settings_zero_link", nullptr, "default.cfg", ZERO_LINK, "", "",
     "default.cfg: not a regular file", nullptr},
    {"profile_fifo", nullptr, "profile.zms", FIFO, "", "", "profile.zms: not a regular file", nullptr},
    {"command_line_replay_fifo", nullptr, nullptr, NO_FILE, "@fifo", "", ": not a regular file", nullptr},
    // A replay whose match asks for a mod with a tiny body.
    {"replay_tiny_mod", "replay_tiny_mod.rpl", "replay/replay_tiny_mod.rpl", PLAIN, "", "",
     "head_sides_tiny.zmm:2: refused sides: 1e-20", "head_sides_tiny.zmm"},
    // A window the X server cannot make.
    {"window_huge", nullptr, nullptr, NO_FILE, "-width 100000 -height 100000", "",
     "Refused option -width 100000", nullptr},
    // What a killed writer left: removed at start.
    {"stale_temp", nullptr, "default.cfg.999999999-0.tmp", PLAIN, "", "",
     "Removed stale temporary file ./default.cfg.999999999-0.tmp", nullptr},
    // An item file line far longer than a line.
    {"item_long_line", nullptr, "custom/kasu/item.dat", PLAIN, "", "",
     "Refused custom/kasu/item.dat: line too long", nullptr},
};

// Starts a match a few drawn frames after start-up (whatever played first),
// commits a move at each turn's start and quits once two turns have ended.
const char driver_lua[] = R"lua(
local e2e_phase, e2e_frames, e2e_turns, e2e_waiting = 0, 0, 0, false
function e2e_before_match() end
add_hook('draw2d', 'e2e_drive', function()
  e2e_frames = e2e_frames + 1
  if e2e_phase == 0 and e2e_frames >= 3 then
    e2e_phase = 1
    e2e_before_match()
    e2e_log('starting')
    start_new_game()
  elseif e2e_phase == 2 and e2e_waiting then
    e2e_waiting = false
    step_game()
  end
end)
add_hook('new_game', 'e2e_drive', function()
  if e2e_phase == 1 then
    e2e_phase = 2
    e2e_waiting = true
    e2e_log('match')
  end
end)
add_hook('enter_freeze', 'e2e_drive', function()
  if e2e_phase ~= 2 then return end
  e2e_turns = e2e_turns + 1
  e2e_log('turn ' .. e2e_turns .. ' ' .. get_world_state().match_frame)
  if e2e_turns >= 2 then
    e2e_mark('turns')
    e2e_quit()
  else
    e2e_waiting = true
  end
end)
)lua";

std::string hostile_file(const char *name)
{
    return read_whole_file(std::string(source_dir()) + "/tests/e2e/hostile/" + name);
}

std::vector<std::string> split_words(const std::string &text)
{
    std::vector<std::string> words;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos)
            end = text.size();
        if (end > at)
            words.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

// Special files cannot travel in GameSetup::files (written as plain files
// into a folder made afresh): they are made once the last of those files
// is there, while the program's X server is still starting.
class SpecialFileMaker {
public:
    SpecialFileMaker(const std::string &dir, const std::string &ready, const std::string &place,
                     Special kind)
        : thread_([=] {
              const std::string marker = dir + "/" + ready;
              auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
              while (access(marker.c_str(), F_OK) != 0) {
                  if (std::chrono::steady_clock::now() > deadline)
                      return;
                  std::this_thread::sleep_for(std::chrono::microseconds(200));
              }
              const std::string path = dir + "/" + place;
              unlink(path.c_str());
              made_ = kind == FIFO ? mkfifo(path.c_str(), 0600) == 0
                                   : symlink("/dev/zero", path.c_str()) == 0;
          })
    {
    }
    ~SpecialFileMaker() { thread_.join(); }
    bool made() const { return made_; }

private:
    std::atomic<bool> made_{false};
    std::thread thread_;
};

class HostileInput : public ::testing::TestWithParam<HostileCase> {};

}  // namespace

TEST_P(HostileInput, IsRefusedAndAMatchPlaysTwoTurns)
{
    const HostileCase &c = GetParam();
    const std::string name = std::string("hostile_") + c.name;
    const std::string dir = test_tmp_path((std::string("e2e_") + name).c_str());
    GameSetup setup;
    if (c.special == PLAIN) {
        std::string bytes;
        if (c.file) {
            bytes = hostile_file(c.file);
            ASSERT_FALSE(bytes.empty()) << c.file;
        } else if (std::string(c.place).find("item.dat") != std::string::npos) {
            // One line of 6000 bytes: read in pieces, each would parse as
            // a line of its own.
            bytes = "BODCOL 0; " + std::string(6000, '7') + "\nITEM 0; 0 0 0 0 0 0 0 0\n";
        } else {
            bytes = "left by a writer that was killed\n";
        }
        setup.files.push_back({c.place, bytes});
    }
    if (c.mod)
        setup.files.push_back({std::string("data/mod/") + c.mod, hostile_file(c.mod)});
    const std::string outside_fifo = test_tmp_path((name + "_outside.rpl").c_str());
    for (const std::string &word : split_words(c.args)) {
        if (word == "@fifo") {
            unlink(outside_fifo.c_str());
            ASSERT_EQ(mkfifo(outside_fifo.c_str(), 0600), 0) << strerror(errno);
            setup.args.push_back(outside_fifo);
        } else {
            setup.args.push_back(word);
        }
    }
    setup.startup_lua = driver_lua;
    if (c.before[0])
        setup.startup_lua += std::string("function e2e_before_match()\n") + c.before + "end\n";
    // The last file written before the program starts.
    setup.files.push_back({"e2e_files_written", ""});
    setup.timeout_ms = 120000;

    // A folder left by an earlier run must not set the maker off early.
    unlink((dir + "/e2e_files_written").c_str());
    GameRun run;
    bool special_made = true;
    if (c.special == FIFO || c.special == ZERO_LINK) {
        SpecialFileMaker maker(dir, "e2e_files_written", c.place, c.special);
        run = run_game(name.c_str(), setup);
        special_made = maker.made();
    } else {
        run = run_game(name.c_str(), setup);
    }
    ASSERT_TRUE(special_made) << c.place;
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_GE(count_lines_with(run.err, c.refused), 1) << run.describe();
    EXPECT_EQ(count_lines_with(run.err, "ODE INTERNAL ERROR"), 0) << run.describe();
    EXPECT_EQ(count_lines_with(run.err, "runtime error"), 0) << run.describe();
    // The match after it ran: two turns ended.
    EXPECT_EQ(count_lines_with(run.log, "match"), 1) << run.describe();
    EXPECT_EQ(count_lines_with(run.log, "turn 1 "), 1) << run.describe();
    EXPECT_EQ(count_lines_with(run.log, "turn 2 "), 1) << run.describe();
    EXPECT_TRUE(run.exists("turns")) << run.describe();
    if (c.special == PLAIN && !c.file && std::string(c.place).find(".tmp") != std::string::npos) {
        EXPECT_FALSE(run.exists(c.place)) << run.describe();
    }
    unlink(outside_fifo.c_str());
}

INSTANTIATE_TEST_SUITE_P(E2eHostile, HostileInput, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<HostileCase> &info) {
                             return std::string(info.param.name);
                         });

// A script reaches no file outside the game's folder: io.open of a path
// that climbs out, of an absolute path and of /proc/self/mem gives nil;
// dofile and loadfile of an absolute path fail; nothing is written there.
// A file of its own folder still opens, and the match still plays.
TEST(E2eHostile, ScriptFilesStayInsideTheGameFolder)
{
    const std::string outside = test_tmp_path("hostile_lua_outside.txt");
    const std::string evil = test_tmp_path("hostile_lua_evil.lua");
    unlink(outside.c_str());
    ASSERT_TRUE(write_whole_file(evil, "local f = io.open('evil_ran', 'w') f:write('x') f:close()\n"));
    GameSetup setup;
    setup.startup_lua = std::string(driver_lua) + "local outside, evil = '" + outside + "', '" +
                        evil + "'\n" + R"lua(
local function try(label, f, ...)
  local ok, a = pcall(f, ...)
  if ok and io.type(a) == 'file' then
    e2e_log('try ' .. label .. ' file')
    a:close()
  else
    e2e_log('try ' .. label .. ' ' .. tostring(ok) .. ' ' .. tostring(a))
  end
end
try('up', io.open, '../hostile_lua_up.txt', 'w')
try('absolute', io.open, outside, 'w')
try('mem', io.open, '/proc/self/mem', 'r+')
try('dofile', dofile, evil)
try('loadfile', loadfile, evil)
try('lines', io.lines, '/etc/hostname')
try('output', io.output, outside)
try('inside', io.open, 'inside.txt', 'w')
)lua";
    setup.timeout_ms = 120000;
    GameRun run = run_game("hostile_lua_files", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(count_lines_with(run.log, "try up true nil"), 1) << run.describe();
    EXPECT_EQ(count_lines_with(run.log, "try absolute true nil"), 1) << run.describe();
    EXPECT_EQ(count_lines_with(run.log, "try mem true nil"), 1) << run.describe();
    EXPECT_EQ(count_lines_with(run.log, "try dofile false"), 1) << run.describe();
    EXPECT_EQ(count_lines_with(run.log, "try loadfile true nil"), 1) << run.describe();
    EXPECT_EQ(count_lines_with(run.log, "try lines false"), 1) << run.describe();
    EXPECT_EQ(count_lines_with(run.log, "try output false"), 1) << run.describe();
    EXPECT_EQ(count_lines_with(run.log, "try inside file"), 1) << run.describe();
    EXPECT_GE(count_lines_with(run.err, "Lua: refused file"), 7) << run.describe();
    EXPECT_FALSE(run.exists("evil_ran")) << run.describe();
    EXPECT_TRUE(run.exists("inside.txt")) << run.describe();
    struct stat st;
    EXPECT_NE(stat(outside.c_str(), &st), 0) << outside;
    EXPECT_NE(stat(test_tmp_path("hostile_lua_up.txt").c_str(), &st), 0);
    EXPECT_EQ(count_lines_with(run.log, "turn 2 "), 1) << run.describe();
}

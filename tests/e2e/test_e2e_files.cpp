// The program's own files as a player meets them: the updater stays off when
// told so, a big buddy list loads and is saved whole, and a console script's
// overlong line does not run its tail.
#include <gtest/gtest.h>

#include <dirent.h>

#include <string>

#include "e2e/e2e_support.h"

namespace {

// Names of the runtime folder's files (one level of a folder) ending in ".tmp".
std::string temporaries(const GameRun &run, const std::string &folder)
{
    std::string found;
    std::string path = run.dir + "/" + folder;
    DIR *dir = opendir(path.c_str());
    if (!dir)
        return found;
    while (dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0)
            found += name + " ";
    }
    closedir(dir);
    return found;
}

const char *started = R"(
e2e_log("started")
)";

// Lets the program draw its first frames (and, when named, write the
// marker), then closes the window.
void close_after_start(GameSetup *setup, const std::string &marker = "")
{
    setup->actions.push_back({marker, 0, "term"});
}

TEST(E2eFiles, UpdaterStaysOffWhenToldSo)
{
    // The updater's child writes autoupdate.log first thing: its absence
    // means no child ran and nothing was fetched.
    GameSetup off_by_argument;
    off_by_argument.startup_lua = started;
    close_after_start(&off_by_argument);
    off_by_argument.args = {"-autoupdate", "0"};
    GameRun run = run_game("updater_off_arg", off_by_argument);
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_NE(run.log.find("started"), std::string::npos) << run.describe();
    EXPECT_FALSE(run.exists("autoupdate.log")) << run.describe();

    GameSetup off_by_setting;
    off_by_setting.startup_lua = started;
    close_after_start(&off_by_setting);
    off_by_setting.files = {{"default.cfg", "autoupdate \"0\"\r\nvolume \"20\"\r\n"}};
    run = run_game("updater_off_cfg", off_by_setting);
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_NE(run.log.find("started"), std::string::npos) << run.describe();
    EXPECT_FALSE(run.exists("autoupdate.log")) << run.describe();
    // The setting survives the settings written at exit.
    EXPECT_NE(run.file("default.cfg").find("autoupdate \"0\"\r\n"), std::string::npos)
        << run.file("default.cfg");
    EXPECT_EQ(run.err.find("no such key autoupdate"), std::string::npos) << run.err;

    // A command line "1" overrides the stored "0": the updater starts, and
    // the window is closed once its child has written its log.
    off_by_setting.args = {"-autoupdate", "1"};
    off_by_setting.actions.clear();
    close_after_start(&off_by_setting, "autoupdate.log");
    run = run_game("updater_on_arg", off_by_setting);
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_TRUE(run.exists("autoupdate.log")) << run.describe();
}

TEST(E2eFiles, HundredThousandBuddiesLoadAndSaveWhole)
{
    std::string names;
    for (int i = 0; i < 100000; i++)
        names += "friend" + std::to_string(i) + "\r\n";
    GameSetup setup;
    setup.args = {"-autoupdate", "0"};
    setup.files = {{"data/buddies.txt", names}};
    setup.startup_lua = R"(
local done = false
add_hook("new_game", "e2e", function()
  if done then return end
  done = true
  run_cmd("addbuddy newfriend")
  e2e_log("added")
  e2e_mark("added")
end)
)";
    close_after_start(&setup, "added");
    GameRun run = run_game("buddies_big", setup);
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_NE(run.log.find("added"), std::string::npos) << run.describe();
    std::string saved = run.file("data/buddies.txt");
    EXPECT_EQ(saved, names + "newfriend\r\n") << saved.size();
    EXPECT_EQ(temporaries(run, "data"), "");
    EXPECT_EQ(temporaries(run, "."), "");
}

TEST(E2eFiles, OverlongScriptLineDoesNotRunItsTail)
{
    // Past the 2047 characters of the read buffer the line goes on with a
    // command: that must not run as a command of its own.
    std::string script = "addbuddy before\n";
    script += "echo " + std::string(2047 - 5, 'x') + "addbuddy tailran\n";
    script += "addbuddy after\n";
    GameSetup setup;
    setup.args = {"-autoupdate", "0"};
    setup.files = {{"long.zms", script}};
    setup.startup_lua = R"(
local done = false
add_hook("new_game", "e2e", function()
  if done then return end
  done = true
  run_cmd("exec long.zms")
  e2e_log("after exec")
  e2e_mark("executed")
end)
)";
    close_after_start(&setup, "executed");
    GameRun run = run_game("long_script_line", setup);
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_NE(run.log.find("after exec"), std::string::npos) << run.describe();
    EXPECT_EQ(run.file("data/buddies.txt"), "before\r\nafter\r\n");
}

}  // namespace

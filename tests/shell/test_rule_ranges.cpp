// Rule values that come from default.cfg or the console are range-checked
// where they enter: a refused value never reaches the rules and is never
// written back.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/text.h"
#include "shell/console_commands.h"
#include "shell/options.h"
#include "shell/settings.h"
#include "support/test_support.h"

namespace {

std::vector<std::string> said;

TEST(RuleRanges, StoredBadValuesAreRefusedAndNotWrittenBack)
{
    char saved_dir[PATH_MAX];
    ASSERT_NE(getcwd(saved_dir, sizeof saved_dir), nullptr);
    std::string dir = test_tmp_path("rule_ranges");
    mkdir(dir.c_str(), 0755);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    settings_links = SettingsLinks();
    reset_options();
    memset(&setup_rules, 0, sizeof setup_rules);
    memset(&mod_rules, 0, sizeof mod_rules);
    fill_default_rules(0, &setup_rules);
    fill_default_rules(0, &mod_rules);
    int default_frames = setup_rules.matchframes;
    ASSERT_TRUE(write_whole_file("default.cfg", "matchframes \"-20\"\r\n"
                                                "sumo \"7\"\r\n"
                                                "damage \"1\"\r\n"));
    {
        SetupKeyStore store("default.cfg");
        load_settings(&store);
        EXPECT_EQ(setup_rules.matchframes, default_frames);
        EXPECT_EQ(setup_rules.sumo, 0);
        EXPECT_EQ(setup_rules.damage, 1);
        ASSERT_EQ(save_settings(&store), 0);
    }
    std::string text = read_whole_file("default.cfg");
    EXPECT_EQ(text.find("-20"), std::string::npos) << text;
    EXPECT_NE(text.find("matchframes \"" + std::to_string(default_frames) + "\""),
              std::string::npos)
        << text;
    ASSERT_EQ(chdir(saved_dir), 0);
}

TEST(RuleRanges, ConsoleSetAndSetframesSayWhyAndKeepTheGame)
{
    CoreOutward saved = core_outward;
    core_outward.echo = [](const char *text, int) { said.push_back(text); };
    said.clear();
    game_type = 0;
    fill_default_rules(0, &current_rules);
    int frames = current_rules.matchframes;
    run_console_command("setframes -20", 0);
    EXPECT_EQ(current_rules.matchframes, frames);
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.back(), "matchframes -20 is out of range (1 to 10000)");
    said.clear();
    fill_default_rules(0, &setup_rules);
    run_console_command("set matchframes -20", 0);
    EXPECT_EQ(setup_rules.matchframes, frames);
    ASSERT_EQ(said.size(), 2u);
    EXPECT_EQ(said[0], "matchframes -20 is out of range (1 to 10000)");
    EXPECT_EQ(said[1], std::to_string(frames));
    // Longer than the replay buffer records whole: refused, and said why.
    said.clear();
    run_console_command("set matchframes 10001", 0);
    EXPECT_EQ(setup_rules.matchframes, frames);
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said[0], "matchframes 10001 is out of range (1 to 10000)");
    run_console_command("set matchframes 800", 0);
    EXPECT_EQ(setup_rules.matchframes, 800);
    core_outward = saved;
}

}  // namespace

namespace {

TEST(RuleRanges, OptionsByNameKeepTheirRange)
{
    reset_options();
    struct Case {
        const char *name;
        int value, result, stored;
    } cases[] = {
        {"width", 5, 1, 800},     {"width", 1024, 0, 1024}, {"height", -1, 1, 600},
        {"height", 100000, 1, 600}, {"music", 9, 1, 1},     {"music", 0, 0, 0},
        {"hud", 0, 0, 0},          // rows without a range take any number
    };
    for (const Case &c : cases) {
        EXPECT_EQ(set_option_by_name(c.name, c.value), c.result) << c.name << " " << c.value;
        EXPECT_EQ(get_option(option_row(c.name)), c.stored) << c.name << " " << c.value;
    }
    reset_options();
}

}  // namespace

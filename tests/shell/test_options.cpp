#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "shell/options.h"

namespace {

// Runs the parser over a word list (the program name is added in front).
int parse(std::vector<std::string> words)
{
    std::vector<char *> argv;
    static char program[] = "zylomach";
    argv.push_back(program);
    for (std::string &w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    return parse_command_line((int)argv.size() - 1, argv.data());
}

std::string usage_text()
{
    char *buffer = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&buffer, &size);
    write_usage(out);
    fclose(out);
    std::string text(buffer, size);
    free(buffer);
    return text;
}

class Options : public ::testing::Test {
protected:
    void SetUp() override { reset_options(); }
    void TearDown() override { reset_options(); }
};

TEST_F(Options, TableShape)
{
    struct Row { int index; const char *name; int value; int takes; };
    const Row rows[] = {
        {0, "altimeter", 0, 1},   {2, "hud", 1, 1},         {21, "sound", 1, 1},
        {26, "width", 800, 1},    {27, "height", 600, 1},   {28, "antialiasing", 1, 1},
        {30, "fullscreen", 0, 1}, {33, "autoupdate", 1, 1}, {41, "frameskip", 0, 1},
        {43, "fluid", 1, 1},      {47, "shaders", 0, 1},    {48, "noreload", 0, 0},
        {50, "turnalert", 1, 1},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_STREQ(option_table[r.index].name, r.name);
        EXPECT_EQ(option_table[r.index].value, r.value);
        EXPECT_EQ(option_table[r.index].takes_int, r.takes);
    }
    for (int i = 0; i < NUM_OPTIONS; i++)
        EXPECT_EQ(option_table[i].next, i + 1 < NUM_OPTIONS ? i + 1 : -1) << i;
    EXPECT_EQ(option_table[NUM_OPTIONS].name, nullptr);
}

TEST_F(Options, SetByName)
{
    EXPECT_EQ(set_option_by_name("fluid", 0), 0);
    EXPECT_EQ(get_option(OPT_FLUID), 0);
    EXPECT_EQ(set_option_by_name("Fluid", 1), 1);   // names are case-sensitive
    EXPECT_EQ(set_option_by_name("", 1), 1);
    EXPECT_EQ(set_option_by_name(nullptr, 1), 1);
    EXPECT_EQ(get_option(OPT_FLUID), 0);
    EXPECT_EQ(get_option(-1), 0);
    EXPECT_EQ(get_option(NUM_OPTIONS), 0);
}

TEST_F(Options, CommandLine)
{
    struct Case {
        const char *what;
        std::vector<std::string> words;
        int result;
        std::vector<std::pair<int, int>> values;   // row, expected value
        int replays;
        const char *replay;
        int mods;
        const char *mod;
    };
    const std::string long_mod = std::string(400, 'm') + ".zmm";
    const Case cases[] = {
        {"values", {"-width", "1024", "-height", "768"}, 0,
         {{OPT_WIDTH, 1024}, {OPT_HEIGHT, 768}}, 0, "", 0, ""},
        {"any first character", {"+hud", "0"}, 0, {{OPT_HUD, 0}}, 0, "", 0, ""},
        // A window size out of range (a word that is no number reads as 0)
        // is refused and the size kept.
        {"not a number", {"-width", "wide"}, 0, {{OPT_WIDTH, 800}}, 0, "", 0, ""},
        {"window too large", {"-width", "100000", "-height", "100000"}, 0,
         {{OPT_WIDTH, 800}, {OPT_HEIGHT, 600}}, 0, "", 0, ""},
        {"missing value", {"-width"}, 0, {{OPT_WIDTH, 800}}, 0, "", 0, ""},
        {"flag twice", {"-noreload", "-noreload"}, 0, {{OPT_NORELOAD, 2}}, 0, "", 0, ""},
        {"last value wins", {"-sound", "0", "-sound", "3"}, 0, {{OPT_SOUND, 3}}, 0, "", 0, ""},
        {"unknown words", {"-nothere", "5", "width", "-Width", "9"}, 0,
         {{OPT_WIDTH, 800}}, 0, "", 0, ""},
        {"empty and short words", {"", "-", "x", "-width", ""}, 0,
         {{OPT_WIDTH, 800}}, 0, "", 0, ""},
        {"platform switches", {"-notex", "-full", "-noshadow", "-pause"}, 0,
         {{OPT_FULLSCREEN, 0}}, 0, "", 0, ""},
        {"replay", {"x.rpl"}, 0, {}, 1, "x.rpl", 0, ""},
        {"bare suffix is an option word", {".rpl", ".zmm"}, 0, {}, 0, "", 0, ""},
        {"two replays", {"a.rpl", "-width", "640", "replay/b.rpl"}, 0,
         {{OPT_WIDTH, 640}}, 2, "replay/b.rpl", 0, ""},
        {"mod", {"judo.zmm", "boxing.zmm"}, 0, {}, 0, "", 2, "boxing.zmm"},
        {"long mod name is cut", {long_mod}, 0, {}, 0, "", 1, nullptr},
        {"help", {"-h"}, 1, {}, 0, "", 0, ""},
        {"help after values", {"-width", "640", "-help", "-height", "10"}, 1,
         {{OPT_WIDTH, 640}, {OPT_HEIGHT, 600}}, 0, "", 0, ""},
        {"help word as a value", {"-width", "-h"}, 1, {{OPT_WIDTH, 800}}, 0, "", 0, ""},
        {"-hh is not help", {"-hh"}, 0, {}, 0, "", 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        reset_options();
        EXPECT_EQ(parse(c.words), c.result);
        for (const auto &v : c.values)
            EXPECT_EQ(get_option(v.first), v.second) << option_table[v.first].name;
        EXPECT_EQ(cmdline_replay_count, c.replays);
        EXPECT_STREQ(cmdline_replay, c.replay);
        EXPECT_EQ(cmdline_mod_count, c.mods);
        if (c.mod)
            EXPECT_STREQ(cmdline_mod, c.mod);
        else
            EXPECT_EQ(std::string(cmdline_mod), long_mod.substr(0, CMDLINE_TEXT - 1));
    }
}

TEST_F(Options, UsageText)
{
    std::string text = usage_text();
    const std::string head =
        "3.24\n"
        "Bug reports and questions: zylomach@localhost\n"
        "\n"
        "Usage: zylomach [options] [<replay.rpl>]\n"
        "\n"
        "Options:\n"
        "   -altimeter 0\n"
        "   -speedometer 0\n"
        "   -hud 1\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_NE(text.find("\n   -width 800\n   -height 600\n   -antialiasing 1\n"),
              std::string::npos);
    EXPECT_NE(text.find("\n   -shaders 0\n   -noreload\n   -equipment 1\n"),
              std::string::npos);
    const std::string tail = "   -turnalert 1\n";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    int lines = 0;
    for (char ch : text)
        lines += ch == '\n';
    EXPECT_EQ(lines, 6 + NUM_OPTIONS);

    // The values shown are those set before "-h".
    EXPECT_EQ(parse({"-width", "640", "-h"}), 1);
    EXPECT_NE(usage_text().find("\n   -width 640\n"), std::string::npos);
}

}  // namespace

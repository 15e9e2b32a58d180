#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/outward.h"
#include "core/rules.h"
#include "core/safe_file.h"
#include "core/text.h"
#include "shell/options.h"
#include "shell/settings.h"
#include "support/test_support.h"

namespace {

std::string read_file(const char *path) { return read_whole_file(path, "<missing>"); }

void write_file(const char *path, const std::string &text)
{
    ASSERT_TRUE(write_whole_file(path, text));
}

// What the store drives, recorded.
struct Calls {
    int effect_volume = 128;
    int music_volume = 40;
    int stops = 0;
    std::vector<int> tracks;
    std::vector<int> toggled;
    int rebuilds = 0;
    int fullscreen = 0;
    int fullscreen_toggles = 0;
    int freed_trails = 0;
    int freed_files = 0;
};
Calls calls;

void bind_stubs()
{
    settings_links = SettingsLinks();
    settings_links.effect_volume = [] { return calls.effect_volume; };
    settings_links.set_effect_volume = [](int v) { calls.effect_volume = v; };
    settings_links.music_volume = [] { return calls.music_volume; };
    settings_links.set_music_volume = [](int v) { calls.music_volume = v; };
    settings_links.stop_music = [] { calls.stops++; };
    settings_links.start_music = [](int t) { calls.tracks.push_back(t); };
    settings_links.fullscreen_state = [] { return calls.fullscreen; };
    settings_links.toggle_fullscreen = [] {
        calls.fullscreen = !calls.fullscreen;
        calls.fullscreen_toggles++;
    };
    settings_links.toggle_render_option = [](int option) {
        calls.toggled.push_back(option);
        set_option(option, get_option(option) ? 0 : 1);
    };
    settings_links.rebuild_shaders = [] { calls.rebuilds++; };
    settings_links.free_trails = [] { calls.freed_trails++; };
    settings_links.free_file_list = [] { calls.freed_files++; };
}

// Each test runs in a scratch folder of its own: "default.cfg" is read and
// written relative to the working directory.
class Settings : public ::testing::Test {
protected:
    char saved_dir[PATH_MAX];
    void SetUp() override
    {
        ASSERT_NE(getcwd(saved_dir, sizeof saved_dir), nullptr);
        std::string dir = test_tmp_path(
            (std::string("settings_") +
             ::testing::UnitTest::GetInstance()->current_test_info()->name())
                .c_str());
        mkdir(dir.c_str(), 0755);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        remove("default.cfg");
        reset_options();
        calls = Calls();
        bind_stubs();
        graphics_reload_pending = 0;
        cmdline_mod[0] = '\0';
        memset(&setup_rules, 0, sizeof setup_rules);
        memset(&mod_rules, 0, sizeof mod_rules);
        fill_default_rules(0, &setup_rules);
        fill_default_rules(0, &mod_rules);
    }
    void TearDown() override
    {
        settings_links = SettingsLinks();
        reset_options();
        cmdline_mod[0] = '\0';
        ASSERT_EQ(chdir(saved_dir), 0);
    }
};

TEST_F(Settings, TablesInOrder)
{
    SetupKeyStore store("default.cfg");
    const char *keys[] = {"nick", "mousebuttons", "noreload", "default", "engageplayerrot",
                          "damage"};
    int positions[] = {0, 1, 15, 16, 34, 35};
    for (int i = 0; i < 6; i++)
        EXPECT_STREQ(store.rows[positions[i]].key, keys[i]);
    EXPECT_STREQ(store.rows[SETTINGS_KEYS].key, "");
    EXPECT_STREQ(OptionsMenuTable[8].label, "    Fluid Blood");
    EXPECT_STREQ(OptionsMenuTable[14].label, "Disable Graphics Reloading (Advanced)");
    EXPECT_STREQ(OptionsMenuTable[5].key, "autosave_rpl");
    // Every rules row names the rule option of the same number.
    for (int i = 0; i < RULES_MENU_ROWS; i++)
        EXPECT_STREQ(RulesMenuTable[i].key, game_rule_options[i].name) << i;
    EXPECT_STREQ(RulesMenuTable[17].label, "Engage Players Position");
}

TEST_F(Settings, ReadsFileAndCutsValues)
{
    std::string long_value(200, 'x');
    write_file("default.cfg",
               "#Automatically generated from Setup. Don't edit\r\n"
               "volume \"64\"\r\n"
               "nick \"[tag]some one\"\r\n"
               "bogus \"1\"\r\n"
               "music\r\n"
               "#fluid \"0\"\r\n"
               "turnframes 5,6,7\n"
               "mod \"" + long_value + "\"\r\n");
    testing::internal::CaptureStderr();
    SetupKeyStore store("default.cfg");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("no such key bogus\n"), std::string::npos);

    char out[256];
    struct Case { const char *key; int result; const char *value; };
    const Case cases[] = {
        {"volume", 0, "64"},
        {"nick", 0, "[tag]some one"},   // the whole rest of the line
        {"turnframes", 0, "5,6,7"},     // no quotes, LF line end
        {"music", 1, ""},               // a key without a value sets nothing
        {"fluid", 1, ""},               // comment line
        {"damage", 1, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(store.get(c.key, out, sizeof out), c.result);
        EXPECT_STREQ(out, c.value);
    }
    EXPECT_EQ(store.get("mod", out, sizeof out), 0);
    EXPECT_EQ(std::string(out), std::string(127, 'x'));
    EXPECT_EQ(store.get("volume", out, 2), 0);   // bounded copy
    EXPECT_STREQ(out, "6");
}

TEST_F(Settings, GetSetErrorsAndMissingFile)
{
    testing::internal::CaptureStderr();
    SetupKeyStore store("default.cfg");
    char out[16] = "junk";
    EXPECT_EQ(store.get("nosuch", out, sizeof out), 1);
    EXPECT_EQ(store.set("nosuch", "1"), 1);
    EXPECT_EQ(store.find("nosuch"), nullptr);
    EXPECT_EQ(store.find(nullptr), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("unable to open default.cfg: missing\n"), std::string::npos);
    EXPECT_NE(err.find("no such key nosuch\n"), std::string::npos);
    for (int i = 0; i < SETTINGS_KEYS; i++)
        EXPECT_STREQ(store.rows[i].value, "");

    EXPECT_EQ(store.set("nick", std::string(300, 'n').c_str()), 0);
    EXPECT_EQ(strlen(store.find("nick")->value), 127u);
    // A line end in a value cannot start a line of its own in the file.
    EXPECT_EQ(store.set("nick", "bob\r\nmatchframes \"1\""), 0);
    EXPECT_STREQ(store.find("nick")->value, "bob");
}

TEST_F(Settings, WritesOnlySetValuesWithCrLf)
{
    SetupKeyStore store("default.cfg");
    store.set("nick", "bob");
    store.set("damage", "2");
    store.set("music", "");
    ASSERT_EQ(store.write(), 0);
    EXPECT_EQ(read_file("default.cfg"),
              "#Automatically generated from Setup. Don't edit\r\n"
              "nick \"bob\"\r\n"
              "damage \"2\"\r\n");
    SetupKeyStore again("default.cfg");
    char out[32];
    EXPECT_EQ(again.get("damage", out, sizeof out), 0);
    EXPECT_STREQ(out, "2");
    EXPECT_EQ(again.get("music", out, sizeof out), 1);

    SetupKeyStore nowhere("no/such/dir/default.cfg");
    testing::internal::CaptureStderr();
    EXPECT_EQ(nowhere.write(), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Unable to open"),
              std::string::npos);
}

TEST_F(Settings, ApplyOptionRows)
{
    struct Case { int row; const char *text; int option; int expected; };
    const Case cases[] = {
        {0, "0", OPT_MOUSEBUTTONS, 1},    {0, "-4", OPT_MOUSEBUTTONS, 1},
        {0, "3", OPT_MOUSEBUTTONS, 3},    {5, "0", OPT_AUTOSAVE, 0},
        {5, "7", OPT_AUTOSAVE, 0},        {5, "1", OPT_AUTOSAVE, 1},
        {6, "1", OPT_FRAMESKIP, 1},       {11, "1", OPT_TRANSPARENCY, 1},
        {14, "1", OPT_NORELOAD, 1},       {8, "1", OPT_FLUID, 1},  // already on
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.row) + " " + c.text);
        reset_options();
        EXPECT_EQ(apply_option(c.row, c.text), 0);
        EXPECT_EQ(get_option(c.option), c.expected);
    }
    EXPECT_TRUE(calls.toggled.size() == 3u);   // frameskip, transparency, noreload
    EXPECT_EQ(graphics_reload_pending, 0);
    EXPECT_EQ(apply_option(15, "1"), 1);
    EXPECT_EQ(apply_option(-1, "1"), 1);
    char out[8] = "x";
    EXPECT_EQ(get_option_text(15, out, sizeof out), 1);
    EXPECT_STREQ(out, "");
}

TEST_F(Settings, ApplyOptionSideEffects)
{
    apply_option(1, "64");
    EXPECT_EQ(calls.effect_volume, 64);
    apply_option(3, "500");
    EXPECT_EQ(calls.music_volume, 128);

    // music: the same value does nothing; another stops and starts n - 1.
    apply_option(2, "1");
    EXPECT_EQ(calls.stops, 0);
    apply_option(2, "9");
    EXPECT_EQ(get_option(OPT_MUSIC), 5);
    EXPECT_EQ(calls.tracks, std::vector<int>{4});
    apply_option(2, "0");
    EXPECT_EQ(calls.stops, 2);
    EXPECT_EQ(calls.tracks.size(), 1u);

    apply_option(4, "1");
    apply_option(4, "1");
    EXPECT_EQ(calls.fullscreen_toggles, 1);

    // reflection off marks the graphics for reloading; bump mapping
    // rebuilds the programs only with shaders on.
    apply_option(9, "0");
    EXPECT_EQ(get_option(OPT_REFLECTION), 0);
    EXPECT_EQ(graphics_reload_pending, 1);
    apply_option(13, "0");
    EXPECT_EQ(calls.rebuilds, 0);
    apply_option(7, "1");
    EXPECT_EQ(get_option(OPT_SHADERS), 1);
    apply_option(13, "1");
    EXPECT_EQ(calls.rebuilds, 1);

    // Without a sound module the volumes are kept by the store.
    settings_links = SettingsLinks();
    apply_option(1, "33");
    char out[16];
    ASSERT_EQ(get_option_text(1, out, sizeof out), 0);
    EXPECT_STREQ(out, "33");
    apply_option(4, "1");
    EXPECT_EQ(get_option(OPT_FULLSCREEN), 1);
}

TEST_F(Settings, LoadAppliesStoredValues)
{
    mkdir("data", 0755);
    write_file("default.cfg",
               "#Automatically generated from Setup. Don't edit\r\n"
               "volume \"64\"\r\n"
               "mousebuttons \"0\"\r\n"
               "autosave_rpl \"0\"\r\n"
               "default \"single\"\r\n"
               "matchframes \"900\"\r\n"
               "turnframes \"5,6,7\"\r\n"
               "dismemberment \"1\"\r\n"
               "disqualification \"0\"\r\n"
               "engageplayerpos \"1,2,3,4,5,6\"\r\n"
               "damage \"2\"\r\n");
    setup_rules.matchframes = 1;
    mod_rules.matchframes = 1;
    SetupKeyStore store("default.cfg");
    load_settings(&store);
    EXPECT_EQ(calls.effect_volume, 64);
    EXPECT_EQ(get_option(OPT_MOUSEBUTTONS), 1);
    EXPECT_EQ(get_option(OPT_AUTOSAVE), 0);
    EXPECT_EQ(setup_rules.matchframes, 900);
    EXPECT_EQ(mod_rules.matchframes, 500);   // offline default
    ASSERT_EQ(setup_rules.turnframes_count, 3);
    EXPECT_EQ(setup_rules.turnframes[2], 7);
    EXPECT_TRUE(setup_rules.flags & RULE_FLAG_DISMEMBER);
    EXPECT_FALSE(setup_rules.flags & RULE_FLAG_DQ);
    EXPECT_EQ(setup_rules.engage_set, 1);
    EXPECT_FLOAT_EQ(setup_rules.engage_pos[1][2], 6.0f);
    EXPECT_EQ(setup_rules.damage, 2);
    EXPECT_STREQ(setup_rules.mod, "classic");

    // A mod on the command line wins over the stored one.
    n_strncpyz(cmdline_mod, "other.zmm", sizeof cmdline_mod);
    load_settings(&store);
    EXPECT_STREQ(setup_rules.mod, "other.zmm");
    // Without a store the defaults stay.
    cmdline_mod[0] = '\0';
    load_settings(nullptr);
    EXPECT_EQ(setup_rules.matchframes, 500);
}

TEST_F(Settings, SaveRoundTrip)
{
    SetupKeyStore store("default.cfg");
    set_option(OPT_MOUSEBUTTONS, 2);
    set_option(OPT_FRAMESKIP, 1);
    calls.effect_volume = 77;
    setup_rules.matchframes = 1234;
    setup_rules.flags |= RULE_FLAG_FRACTURE;
    ASSERT_EQ(save_settings(&store), 0);
    std::string text = read_file("default.cfg");
    const char *lines[] = {"mousebuttons \"2\"\r\n", "volume \"77\"\r\n",
                           "frameskip \"1\"\r\n",    "default \"single\"\r\n",
                           "matchframes \"1234\"\r\n", "fracture \"1\"\r\n",
                           "mod \"classic\"\r\n"};
    for (const char *line : lines)
        EXPECT_NE(text.find(line), std::string::npos) << line;
    // Unset positions write no line; nick was never set.
    EXPECT_EQ(text.find("engageplayerpos"), std::string::npos);
    EXPECT_EQ(text.find("nick"), std::string::npos);

    reset_options();
    calls.effect_volume = 128;
    SetupKeyStore again("default.cfg");
    load_settings(&again);
    EXPECT_EQ(get_option(OPT_MOUSEBUTTONS), 2);
    EXPECT_EQ(get_option(OPT_FRAMESKIP), 1);
    EXPECT_EQ(calls.effect_volume, 77);
    EXPECT_EQ(setup_rules.matchframes, 1234);
    EXPECT_TRUE(setup_rules.flags & RULE_FLAG_FRACTURE);
    EXPECT_EQ(save_settings(nullptr), 1);
}

// A settings file that is there but could not be read keeps its bytes:
// saving writes nothing over it, and loading tells the player once why
// changes will not be saved. A missing one is made as before.
TEST_F(Settings, FileThatCouldNotBeReadIsNeverWrittenOver)
{
    static std::vector<std::string> echoed;
    echoed.clear();
    core_outward.echo = [](const char *text, int) { echoed.push_back(text); };
    const std::string big = "volume \"20\"\r\n#" + std::string(1100000, 'x') + "\r\n";
    enum { BIG, PIPE, FOLDER };
    struct Case {
        const char *file;
        int kind;
        int refusal;
        const char *said;
    } cases[] = {
        {"kept_big.cfg", BIG, READ_TOO_LARGE, "too large"},
        {"kept_pipe.cfg", PIPE, READ_NOT_REGULAR, "not a regular file"},
        {"kept_folder.cfg", FOLDER, READ_NOT_REGULAR, "not a regular file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const std::string name = c.file;
        unlink(c.file);
        rmdir(c.file);
        if (c.kind == BIG)
            write_file(c.file, big);
        else if (c.kind == PIPE)
            ASSERT_EQ(mkfifo(c.file, 0644), 0);
        else
            ASSERT_EQ(mkdir(c.file, 0755), 0);
        echoed.clear();
        testing::internal::CaptureStderr();
        SetupKeyStore store(name.c_str());
        EXPECT_EQ(store.refusal, c.refusal);
        EXPECT_EQ(store.kept(), 1);
        load_settings(&store);
        load_settings(&store);   // told once
        set_option(OPT_FRAMESKIP, 1);
        EXPECT_EQ(save_settings(&store), 1);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("unable to open " + name + ": " + c.said + "\n"), std::string::npos)
            << err;
        EXPECT_NE(err.find("Not writing " + name + ": it could not be read (" + c.said + ")\n"),
                  std::string::npos)
            << err;
        ASSERT_EQ(echoed.size(), 1u);
        EXPECT_EQ(echoed[0], name + " could not be read (" + c.said +
                                 "): changes to the settings will not be saved");
        struct stat st;
        ASSERT_EQ(stat(name.c_str(), &st), 0);
        if (c.kind == BIG)
            EXPECT_TRUE(read_file(c.file) == big) << "rewritten";
        else if (c.kind == PIPE)
            EXPECT_TRUE(S_ISFIFO(st.st_mode));
        else
            EXPECT_TRUE(S_ISDIR(st.st_mode));
        // The defaults are played with.
        EXPECT_EQ(calls.effect_volume, 128);
    }

    // Missing: said on stderr only, and the file is made at the save.
    echoed.clear();
    testing::internal::CaptureStderr();
    SetupKeyStore fresh("fresh.cfg");
    load_settings(&fresh);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(fresh.refusal, READ_MISSING);
    EXPECT_EQ(fresh.kept(), 0);
    EXPECT_TRUE(echoed.empty());
    ASSERT_EQ(save_settings(&fresh), 0);
    EXPECT_NE(read_file("fresh.cfg").find("frameskip \"1\"\r\n"), std::string::npos);
    EXPECT_EQ(fresh.refusal, READ_MISSING);
    core_outward.echo = nullptr;
}

TEST_F(Settings, SaveAllAtExitFreesFirst)
{
    // Without the program's store nothing is written, but the frees run.
    save_all_at_exit();
    EXPECT_EQ(calls.freed_trails, 1);
    EXPECT_EQ(calls.freed_files, 1);
    EXPECT_EQ(read_file("default.cfg"), "<missing>");
}

}  // namespace

TEST_F(Settings, CommandLineOptionsWinOverStoredOnesForThisRunOnly)
{
    write_file("default.cfg",
               "#Automatically generated from Setup. Don't edit\r\n"
               "shaders \"0\"\r\n"
               "reflection \"0\"\r\n"
               "fluid \"0\"\r\n"
               "frameskip \"1\"\r\n"
               "fullscreen \"1\"\r\n");
    const char *argv[] = {"zylomach", "-shaders", "1", "-reflection", "1", "-fullscreen", "0",
                          "-fluid"};
    ASSERT_EQ(parse_command_line(8, (char **)argv), 0);
    set_option(OPT_FLUID, 1);
    SetupKeyStore store("default.cfg");
    load_settings(&store);
    // Given a value on the command line: that value holds, no toggle runs.
    EXPECT_EQ(get_option(OPT_SHADERS), 1);
    EXPECT_EQ(get_option(OPT_REFLECTION), 1);
    EXPECT_EQ(calls.fullscreen_toggles, 0);
    // Not on the command line (or named without a value): the stored value.
    EXPECT_EQ(get_option(OPT_FRAMESKIP), 1);
    EXPECT_EQ(get_option(OPT_FLUID), 0);

    // Unchanged at exit, the stored choice is kept; changed during the run
    // (the Options page), the new choice is saved.
    apply_option(9, "0");
    ASSERT_EQ(save_settings(&store), 0);
    std::string text = read_file("default.cfg");
    EXPECT_NE(text.find("shaders \"0\"\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("fullscreen \"1\"\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("reflection \"0\"\r\n"), std::string::npos) << text;
    apply_option(7, "0");
    apply_option(9, "1");
    ASSERT_EQ(save_settings(&store), 0);
    text = read_file("default.cfg");
    EXPECT_NE(text.find("reflection \"1\"\r\n"), std::string::npos) << text;

    // Once the stored settings are in, later requests are ordinary changes.
    mark_option_requested(OPT_MUSIC);
    EXPECT_EQ(option_requested[OPT_MUSIC], 0);
}

// The Options page: a value the player sets is saved, also when it ends up
// where the command line had put it; Enter without a change keeps the
// stored choice.
TEST_F(Settings, OptionsPageChoiceIsSavedOverTheCommandLine)
{
    write_file("default.cfg", "shaders \"0\"\r\nreflection \"0\"\r\n");
    const char *argv[] = {"zylomach", "-shaders", "1", "-reflection", "1"};
    ASSERT_EQ(parse_command_line(5, (char **)argv), 0);
    SetupKeyStore store("default.cfg");
    load_settings(&store);
    ASSERT_EQ(get_option(OPT_SHADERS), 1);
    // Shaders 0, Enter; Shaders 1, Enter; reflection left as shown.
    choose_option(7, "0");
    choose_option(9, "1");
    EXPECT_EQ(get_option(OPT_SHADERS), 0);
    choose_option(7, "1");
    choose_option(9, "1");
    EXPECT_EQ(get_option(OPT_SHADERS), 1);
    ASSERT_EQ(save_settings(&store), 0);
    std::string text = read_file("default.cfg");
    EXPECT_NE(text.find("shaders \"1\"\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("reflection \"0\"\r\n"), std::string::npos) << text;
}

TEST_F(Settings, StartUpScriptRequestsWinOverStoredOnes)
{
    write_file("default.cfg", "shaders \"0\"\r\nsoftshadow \"0\"\r\n");
    // A start-up script's set_option runs before the stored settings load.
    mark_option_requested(OPT_SHADERS);
    set_option(OPT_SHADERS, 1);
    SetupKeyStore store("default.cfg");
    load_settings(&store);
    EXPECT_EQ(get_option(OPT_SHADERS), 1);
    EXPECT_EQ(get_option(OPT_SOFTSHADOW), 0);
}

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <set>
#include <string>
#include <vector>

#include "core/outward.h"
#include "core/records.h"
#include "core/text.h"
#include "render/fighter_draw.h"
#include "shell/console_commands.h"
#include "shell/customs.h"
#include "shell/game_control.h"
#include "shell/customs.h"
#include "shell/options.h"
#include "support/kill_write.h"
#include "support/test_support.h"

namespace {

std::vector<std::string> echoed;
std::vector<int> chat_line_calls;

void capture_echo(const char *text, int) { echoed.push_back(text ? text : "(null)"); }
void capture_chat_lines(int n) { chat_line_calls.push_back(n); }

int dispatch(const char *text, int from_server = 0)
{
    char16 wide[256];
    local_to_utf16(wide, text, (int)strlen(text));
    return console_dispatch_from(wide, from_server);
}

class ConsoleCommands : public ::testing::Test {
protected:
    CoreOutward saved_core;
    GameControlLinks saved_links;
    void SetUp() override
    {
        saved_core = core_outward;
        saved_links = game_links;
        core_outward.echo = capture_echo;
        core_outward.show_banner = nullptr;
        game_links.set_chat_lines = capture_chat_lines;
        echoed.clear();
        chat_line_calls.clear();
        reset_options();
        snprintf(console_base_dir, sizeof console_base_dir, "%s", test_tmp_dir());
    }
    void TearDown() override
    {
        core_outward = saved_core;
        game_links = saved_links;
        console_base_dir[0] = 0;
        reset_options();
    }
};

TEST_F(ConsoleCommands, TableRowsNamesAndAliases)
{
    int rows = 0;
    std::set<std::string> words;
    while (console_command_table[rows].name) {
        const ConsoleCommand &r = console_command_table[rows];
        EXPECT_TRUE(words.insert(r.name).second) << r.name;
        EXPECT_TRUE(words.insert(r.alias).second) << r.alias;
        EXPECT_NE(r.handler, nullptr);
        rows++;
    }
    EXPECT_EQ(rows, 49);
    struct { const char *word; int row; } cases[] = {
        {"clear", 0}, {"cl", 0}, {"help", 2}, {"lm", 3}, {"exec", 19}, {"ex", 19},
        {"system", 21}, {"ordereddrawing", 47}, {"grarrr", 48}, {"Clear", -1}, {"", -1},
    };
    for (auto &c : cases)
        EXPECT_EQ(find_console_command(c.word), c.row) << c.word;
}

TEST_F(ConsoleCommands, HelpAndArgumentModes)
{
    EXPECT_EQ(dispatch("help"), 0);
    EXPECT_EQ(echoed.size(), 48u);
    EXPECT_EQ(echoed[0], "clear[cl] - clear chat log");
    ASSERT_EQ(chat_line_calls.size(), 1u);
    EXPECT_EQ(chat_line_calls[0], 48);
    echoed.clear();
    dispatch("he set");
    EXPECT_EQ(echoed.size(), 26u);
    echoed.clear();
    dispatch("help other");
    EXPECT_TRUE(echoed.empty());

    struct { const char *line; int result; const char *echo; } cases[] = {
        {"loadmod", 0, "loadmod needs a parameter"},
        {"lm", 0, "lm needs a parameter"},
        {"loadmod    ", 0, nullptr},    // blanks only: standard error
        {"  # a comment", 1, nullptr},
        {"", 1, nullptr},
        {"nosuchcommand 1", 1, nullptr},
        {"smoothcamera", 0, "smoothcam is on"},
        {"echo  hello there", 0, "hello there"},
        {"jointsound 0", 0, "joint over sound toggled off."},
        {"rc 1", 0, "Rumble cam toggled on"},
        {"system rm -rf x", 0, "system: no program data/bin/rm -rf x"},
        {"system ../../bin/sh -c x", 0, "system: ../../bin/sh -c x is not a program in data/bin"},
        {"list", 0, nullptr},   // no server browser here: nothing listed
        {"povshot ../../x.pov", 0, "unable to create file raytrace/../../x.pov"},
        {"loadplayer 0 ../x", 0, "loadplayer needs a player number and a name"},
        {"loadplayer 9 uke", 0, "loadplayer needs a player number and a name"},
        {"timecolor 99", 0, nullptr},   // offline: nothing
    };
    set_option(OPT_SMOOTHCAM, 1);
    for (auto &c : cases) {
        echoed.clear();
        EXPECT_EQ(dispatch(c.line), c.result) << c.line;
        if (c.echo) {
            ASSERT_EQ(echoed.size(), 1u) << c.line;
            EXPECT_EQ(echoed[0], c.echo);
        } else {
            EXPECT_TRUE(echoed.empty()) << c.line;
        }
    }
    EXPECT_EQ(get_option(OPT_SMOOTHCAM), 1);
    EXPECT_EQ(get_option(OPT_RUMBLE), 1);
    dispatch("smc 0");
    EXPECT_EQ(get_option(OPT_SMOOTHCAM), 0);
    dispatch("option altimeter 1");
    EXPECT_EQ(get_option(OPT_ALTIMETER), 1);

    // "option" alone says what it takes: every option name, a few lines.
    echoed.clear();
    EXPECT_EQ(dispatch("option"), 0);
    ASSERT_GE(echoed.size(), 3u);
    EXPECT_EQ(echoed[0], "option needs a parameter");
    std::string names;
    for (size_t k = 1; k < echoed.size(); k++) {
        EXPECT_LT(echoed[k].size(), 200u);
        names += echoed[k] + " ";
    }
    for (int row = 0; row < NUM_OPTIONS; row++)
        EXPECT_NE(names.find(std::string(" ") + option_table[row].name + " "), std::string::npos)
            << option_table[row].name;
}

TEST_F(ConsoleCommands, ServerLinesRunOnlyHarmlessCommands)
{
    std::set<std::string> safe;
    for (int i = 0; console_command_table[i].name; i++)
        if (console_command_table[i].server_safe)
            safe.insert(console_command_table[i].name);
    EXPECT_EQ(safe, (std::set<std::string>{"clear", "help", "zoomplayer", "chatlines", "echo",
                                           "centerprint", "listbuddy"}));

    // Every other row is refused by name and alias, and does nothing.
    for (int i = 0; console_command_table[i].name; i++) {
        const ConsoleCommand &r = console_command_table[i];
        if (r.server_safe)
            continue;
        for (const char *word : {r.name, r.alias}) {
            echoed.clear();
            std::string line = std::string(word) + " 1";
            EXPECT_EQ(dispatch(line.c_str(), 1), 0) << word;
            ASSERT_EQ(echoed.size(), 1u) << word;
            EXPECT_EQ(echoed[0], std::string("the server may not run ") + r.name);
        }
    }
    EXPECT_EQ(get_option(OPT_SMOOTHCAM), option_table[OPT_SMOOTHCAM].value);

    // No redirect either, even of a harmless command.
    std::string target = test_tmp_path("from_server.txt");
    remove(target.c_str());
    echoed.clear();
    run_console_command("echo hi > from_server.txt", 1);
    EXPECT_EQ(read_whole_file(target, "<missing>"), "<missing>");
    ASSERT_EQ(echoed.size(), 1u);
    EXPECT_EQ(echoed[0], "the server may not redirect console output");
    echoed.clear();
    run_console_command("echo from the server", 1);
    ASSERT_EQ(echoed.size(), 1u);
    EXPECT_EQ(echoed[0], "from the server");
}

TEST_F(ConsoleCommands, OfflineChatLinesRunCommandsAndSendNothing)
{
    game_type = 0;
    set_option(OPT_SMOOTHCAM, 1);
    submit_chat_text("/smc    0");
    EXPECT_EQ(get_option(OPT_SMOOTHCAM), 0);
    echoed.clear();
    for (const char *line : {"hello there", "/nosuchcommand x", "/", "", "/spec"})
        submit_chat_text(line);
    EXPECT_TRUE(echoed.empty());   // no "not connected": offline nothing is sent
}

TEST_F(ConsoleCommands, RedirectWritesTheLinesInsteadOfEchoing)
{
    std::string target = test_tmp_path("rules.txt");
    remove(target.c_str());
    EXPECT_EQ(dispatch("set > rules.txt"), 0);
    EXPECT_TRUE(echoed.empty());
    std::string text = read_whole_file(target);
    int lines = 0;
    for (size_t at = 0; (at = text.find("set ", at)) != std::string::npos; at = text.find('\n', at))
        lines++;
    EXPECT_EQ(lines, 26);
    EXPECT_EQ(console_output_file, nullptr);
    EXPECT_EQ(dispatch("echo quiet > echo.txt"), 0);
    EXPECT_TRUE(echoed.empty());
    EXPECT_EQ(read_whole_file(test_tmp_path("echo.txt")), "");
}

TEST_F(ConsoleCommands, KillDuringRedirectLeavesTheOldFile)
{
    std::string target = test_tmp_path("kill_rules.txt");
    remove(target.c_str());
    ASSERT_EQ(dispatch("set > kill_rules.txt"), 0);
    std::string new_content = read_whole_file(target);
    ASSERT_GT(new_content.size(), 100u);
    expect_whole_after_kills(target, "an earlier listing\n", new_content,
                             [] { dispatch("set > kill_rules.txt"); });
    remove_stale_temporaries(target);
    EXPECT_EQ(console_output_file, nullptr);

    // A target that cannot be replaced (a folder) is reported once the
    // command has run, and nothing is left beside it.
    std::string folder = test_tmp_path("redirect_folder");
    mkdir(folder.c_str(), 0755);
    echoed.clear();
    testing::internal::CaptureStderr();
    EXPECT_EQ(dispatch("set > redirect_folder"), 0);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(echoed.size(), 1u);
    EXPECT_EQ(echoed[0], "Unable to write redirect_folder");
    EXPECT_EQ(remove_stale_temporaries(folder), 0);
    EXPECT_EQ(console_output_file, nullptr);
}

TEST_F(ConsoleCommands, ExecRunsAScratchScript)
{
    ASSERT_TRUE(write_whole_file(test_tmp_path("scratch.zms"),
                                 "# set up\r\n  option altimeter 1  \r\nsmc 0\nnot a command\n"
                                 "exec scratch.zms\n"));
    set_option(OPT_SMOOTHCAM, 1);
    EXPECT_EQ(dispatch("exec scratch.zms"), 0);
    EXPECT_EQ(get_option(OPT_ALTIMETER), 1);
    EXPECT_EQ(get_option(OPT_SMOOTHCAM), 0);
    ASSERT_GE(echoed.size(), 5u);
    EXPECT_EQ(echoed[0], "# set up");
    EXPECT_EQ(echoed[1], "option altimeter 1");
    // The script that runs itself stops at a fixed depth.
    EXPECT_EQ(echoed.back(), "Unable to open scratch.zms");
}

TEST_F(ConsoleCommands, PathsStayInsideTheGameFolders)
{
    struct { const char *path; int ok; } cases[] = {
        {"profile.zms", 1}, {"data/script/x.zms", 1}, {"a..b.zms", 1},
        {"", 0}, {"/etc/passwd", 0}, {"../x.zms", 0}, {"data/../../x", 0}, {"..", 0},
        {"~/x.zms", 0}, {"C:\\x.zms", 0}, {"data\\x", 0},
    };
    for (auto &c : cases)
        EXPECT_EQ(console_path_ok(c.path), c.ok) << c.path;

    for (const char *line : {"exec /etc/passwd", "exec ../x.zms", "ex data/../../x.zms"}) {
        echoed.clear();
        EXPECT_EQ(dispatch(line), 0) << line;
        ASSERT_EQ(echoed.size(), 1u);
        EXPECT_EQ(echoed[0].rfind("Unable to open ", 0), 0u) << echoed[0];
    }
    echoed.clear();
    dispatch("ew ../world.zmm");
    ASSERT_EQ(echoed.size(), 1u);
    EXPECT_EQ(echoed[0], "unable to export to ../world.zmm");
    std::string world = test_tmp_path("world.zmm");
    remove(world.c_str());
    echoed.clear();
    dispatch("exportworld world.zmm");
    EXPECT_TRUE(echoed.empty());
    EXPECT_NE(read_whole_file(world, "<missing>"), "<missing>");
    echoed.clear();
    EXPECT_EQ(dispatch("echo x > ../escape.txt"), 1);
    EXPECT_EQ(run_console_script("missing.zms"), 1);
}

TEST_F(ConsoleCommands, SystemRunsOnlyDataBinProgramsWithoutAShell)
{
    // A real program in the scratch folder's data/bin writes its arguments.
    std::string bin = test_tmp_path("data");
    mkdir(bin.c_str(), 0755);
    bin += "/bin";
    mkdir(bin.c_str(), 0755);
    std::string prog = bin + "/note";
    std::string out = test_tmp_path("note.out");
    remove(out.c_str());
    ASSERT_TRUE(write_whole_file(prog, "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + out + "\"\n"));
    chmod(prog.c_str(), 0755);
    echoed.clear();
    EXPECT_EQ(dispatch("system note a;b $(id) `x`"), 0);
    std::string written;
    for (int i = 0; i < 200 && (written = read_whole_file(out, "")).empty(); i++)
        usleep(10000);
    // each word arrives as it was typed: nothing is read by a shell
    EXPECT_EQ(written, "a;b|$(id)|`x`|");
    EXPECT_TRUE(echoed.empty());

    std::string plain = bin + "/plain.txt";
    ASSERT_TRUE(write_whole_file(plain, "not a program"));
    chmod(plain.c_str(), 0644);
    struct {
        const char *line;
        const char *echo;
    } refused[] = {
        {"system ../../../bin/sh", "system: ../../../bin/sh is not a program in data/bin"},
        {"system /bin/sh", "system: /bin/sh is not a program in data/bin"},
        {"system .hidden", "system: .hidden is not a program in data/bin"},
        {"system plain.txt", "system: no program data/bin/plain.txt"},
        {"system missing", "system: no program data/bin/missing"},
    };
    for (auto &c : refused) {
        echoed.clear();
        dispatch(c.line);
        ASSERT_EQ(echoed.size(), 1u) << c.line;
        EXPECT_EQ(echoed[0], c.echo);
    }
    // the game server may never start programs
    echoed.clear();
    remove(out.c_str());
    EXPECT_EQ(dispatch("system note x", 1), 0);
    usleep(50000);
    EXPECT_EQ(read_whole_file(out, "<missing>"), "<missing>");
}

TEST_F(ConsoleCommands, WindowAndPlayerCommandsCheckTheirNumbers)
{
    static std::vector<std::pair<int, int>> sizes;
    static int reinits;
    sizes.clear();
    reinits = 0;
    ConsoleCommandOutward saved = console_command_outward;
    console_command_outward.set_resolution = [](int w, int h) { sizes.push_back({w, h}); };
    console_command_outward.reinit_video = [] { reinits++; };
    dispatch("resolution 1024 768");
    dispatch("re 0 768");          // not both above 0: nothing
    dispatch("re 100000 768");     // refused with a line
    dispatch("re 10 10");
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0], std::make_pair(1024, 768));
    echoed.clear();
    dispatch("motionblur 1");
    EXPECT_EQ(reinits, 1);
    EXPECT_EQ(echoed.back(), "Super Secret Motion Blur toggled on.");
    dispatch("grarrr 0");
    EXPECT_EQ(reinits, 1);
    EXPECT_EQ(echoed.back(), "Super Secret Motion Blur toggled off.");

    echoed.clear();
    dispatch("moveplayer 0 nan 0 1");
    dispatch("mp 0 1e300 0 1");
    dispatch("mp 7 0 0 1");
    ASSERT_EQ(echoed.size(), 3u);
    EXPECT_EQ(echoed[0], "moveplayer: position out of range");
    EXPECT_EQ(echoed[1], "moveplayer: position out of range");
    EXPECT_EQ(echoed[2], "moveplayer: no player 7");

    // listequipment writes the equipment line, here into a redirect file
    EquipmentRecord saved_equipment = *get_equipment();
    *get_equipment() = EquipmentRecord{{4, -5, 6}};
    std::string path = test_tmp_path("equipment.txt");
    EXPECT_EQ(dispatch("le > equipment.txt"), 0);
    EXPECT_EQ(read_whole_file(path), "GHOST 0;4 -5 6\n");
    *get_equipment() = saved_equipment;
    // login while not connected sends nothing and says nothing
    echoed.clear();
    dispatch("login bob secret");
    EXPECT_TRUE(echoed.empty());
    console_command_outward = saved;
}

}  // namespace

// Online, "timecolor" colours the own fighter's turn dial now, and again
// after the next game start reads the fighters' looks; 0 gives the dial its
// own colour back.
TEST_F(ConsoleCommands, TimeColourStaysWithTheOwnFighter)
{
    game_type = 1;
    match_state.num_players = 2;
    own_player_index = 1;
    for (auto &c : player_customs)
        c = PlayerCustoms();
    for (auto &l : fighter_looks)
        l.timer_colour = 0;
    EXPECT_EQ(dispatch("timecolor 7"), 0);
    ASSERT_EQ(echoed.size(), 1u);
    EXPECT_EQ(echoed[0], "Time color changed to: 7");
    EXPECT_EQ(player_customs[1].timer_col, 7);
    EXPECT_EQ(fighter_looks[1].timer_colour, 7);
    EXPECT_EQ(fighter_looks[0].timer_colour, 0);
    // The next game's looks come from the files (none here): the choice stays.
    load_fighter_looks(0);
    EXPECT_EQ(fighter_looks[1].timer_colour, 7);
    echoed.clear();
    dispatch("timecolor 68");
    EXPECT_EQ(echoed[0], "Invalid input. Please enter a color between 0 and 68");
    EXPECT_EQ(fighter_looks[1].timer_colour, 7);
    dispatch("timecolor 0");
    EXPECT_EQ(fighter_looks[1].timer_colour, 0);
    load_fighter_looks(0);
    EXPECT_EQ(fighter_looks[1].timer_colour, 0);
    game_type = 0;
    own_player_index = -1;
}

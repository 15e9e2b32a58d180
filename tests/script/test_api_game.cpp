// Lua API on the game as a whole: usage errors, the flow and selection
// setters, and the state queries read back from the core records.
#include "script_fixture.h"

#include <cstring>

#include "core/bout.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "script/api_game.h"

namespace {

std::string echoed;
int echoed_kind = -1;

class ApiGame : public ScriptFolder {
protected:
    MatchState saved_match{};
    ScriptShell saved_shell{};
    CoreOutward saved_outward{};
    int32_t saved_values[6]{};
    GameRules saved_rules{}, saved_setup{};

    void SetUp() override
    {
        ScriptFolder::SetUp();
        saved_match = match_state;
        saved_rules = current_rules;
        saved_setup = setup_rules;
        saved_shell = script_shell;
        saved_outward = core_outward;
        saved_values[0] = selected_player;
        saved_values[1] = selected_joint;
        saved_values[2] = game_type;
        saved_values[3] = num_bouts;
        saved_values[4] = replay_mode;
        script("startup.lua", "");
        ASSERT_EQ(0, create_script_engine(&engine));
        echoed.clear();
        echoed_kind = -1;
        script_shell.echo_nohook = [](const char *text, int kind) {
            echoed = text;
            echoed_kind = kind;
        };
    }
    void TearDown() override
    {
        match_state = saved_match;
        current_rules = saved_rules;
        setup_rules = saved_setup;
        script_shell = saved_shell;
        core_outward = saved_outward;
        selected_player = saved_values[0];
        selected_joint = saved_values[1];
        game_type = saved_values[2];
        num_bouts = saved_values[3];
        replay_mode = saved_values[4];
        ScriptFolder::TearDown();
    }
};

TEST_F(ApiGame, TooFewArgumentsRaiseTheUsageTexts)
{
    const struct {
        const char *call;
        const char *text;
    } cases[] = {
        {"echo()", "Usage: echo(string message)\n"},
        {"set_ghost()", "Usage: set_ghost(number ghost_mode[0|1|2])\n"},
        {"get_game_rules(1)", "Usage: rules = get_game_rules()\n"},
        {"select_player()", "Usage: select_player(integer player)\n"},
        {"set_camera_pos(1, 2)", "Usage: set_camera_pos(number pos_x, number pos_y, number pos_z)\n"},
        {"set_camera_lookat(1)", "Usage: set_camera_lookat(number pos_x, number pos_y, number pos_z)\n"},
        {"set_fov()", "Usage: set_fov(integer deg)\n"},
        {"set_volume()", "Usage: set_volume(integer volume)\n"},
        {"screenshot()", "Usage: screenshot(string filename, [number filetype])\n"},
        {"open_url()", "Usage: open_url(string URL)\n"},
        {"load_player(0)", "Usage: load_player(integer player, string nick)\n"},
        {"run_cmd()", "Usage: run_cmd(string command)\n"},
        {"run_cmd({})", "Usage: run_cmd(string command)\n"},
        {"open_menu()", "Usage: open_menu(int menu)"},
        {"get_option()", "Usage: value = get_option(string option_name)\n"},
        {"set_option('x')", "Usage: set_option(string option_name, integer value)\n"},
    };
    for (const auto &c : cases) {
        lua_State *L = engine.state;
        ASSERT_EQ(0, luaL_loadstring(L, c.call));
        ASSERT_NE(0, lua_pcall(L, 0, 0, 0)) << c.call;
        std::string message = lua_tostring(L, -1);
        lua_pop(L, 1);
        // The message carries the chunk position before the usage text.
        ASSERT_GE(message.size(), strlen(c.text)) << c.call;
        EXPECT_EQ(c.text, message.substr(message.size() - strlen(c.text))) << c.call;
    }
}

TEST_F(ApiGame, FlowSettersReachTheMatchRecord)
{
    replay_mode = 0;
    match_state.ghost_mode = GHOST_OFF;
    match_state.game_over = 0;
    ASSERT_TRUE(run("freeze_game()"));
    EXPECT_EQ(1, match_state.game_paused);
    EXPECT_EQ("1", eval("is_game_frozen()"));
    EXPECT_EQ("number", eval("type(is_game_frozen())"));
    ASSERT_TRUE(run("unfreeze_game()"));
    EXPECT_EQ(0, match_state.game_paused);
    EXPECT_EQ("0", eval("is_game_frozen()"));

    // Modes outside 0..2 do nothing; a non-numeric string reads as 0.
    match_state.ghost_mode = 2;
    ASSERT_TRUE(run("set_ghost(5)"));
    EXPECT_EQ("2", eval("get_ghost()"));

    // Online, the replay is never restarted.
    static int rewinds;
    rewinds = 0;
    core_outward.begin_replay = [] { rewinds++; };
    game_type = 1;
    ASSERT_TRUE(run("rewind_replay()"));
    EXPECT_EQ(0, rewinds);
    game_type = 0;
    ASSERT_TRUE(run("rewind_replay()"));
    EXPECT_EQ(1, rewinds);
}

TEST_F(ApiGame, SelectPlayerClearsSelectsOrIgnores)
{
    match_state.num_players = 2;
    selected_player = 0;
    selected_joint = 4;
    const struct {
        const char *call;
        int player, joint;
    } steps[] = {
        {"select_player(1)", 1, 4},
        {"select_player(2)", 1, 4},   // num_players: ignored, no error
        {"select_player(-7)", 1, 4},
        {"select_player(-1)", -1, -1},
    };
    for (const auto &s : steps) {
        ASSERT_TRUE(run(s.call)) << s.call;
        EXPECT_EQ(s.player, selected_player) << s.call;
        EXPECT_EQ(s.joint, selected_joint) << s.call;
    }
    EXPECT_FALSE(run("select_player('x')"));

    // In the game a fighter is selected through the shell, as a click does
    // (sound, selection reset, the fighter's ghost); out of range goes nowhere.
    static std::vector<int> chosen;
    chosen.clear();
    script_shell.select_player = [](int p) { chosen.push_back(p); };
    selected_player = 0;
    ASSERT_TRUE(run("select_player(1) select_player(2) select_player(0)"));
    EXPECT_EQ(chosen, (std::vector<int>{1, 0}));
    EXPECT_EQ(0, selected_player);   // the shell's business, not the script's
    script_shell.select_player = nullptr;
}

TEST_F(ApiGame, EchoGoesToTheConsoleAsInGameText)
{
    ASSERT_TRUE(run("echo('hello')"));
    EXPECT_EQ("hello", echoed);
    EXPECT_EQ(MSG_INGAME, echoed_kind);
    ASSERT_TRUE(run("echo(12)"));
    EXPECT_EQ("12", echoed);
    ASSERT_TRUE(run("echo({})"));   // no text: an empty line
    EXPECT_EQ("", echoed);
}

TEST_F(ApiGame, QueriesReadTheCoreRecords)
{
    match_state.num_players = 2;
    match_state.match_frame = 123;
    selected_player = 1;
    num_bouts = 2;
    snprintf(bout_list[0].name, sizeof bout_list[0].name, "alpha");
    snprintf(bout_list[1].name, sizeof bout_list[1].name, "beta");
    ASSERT_TRUE(run("w = get_world_state() b = get_bouts()"));
    EXPECT_EQ("123", eval("w.match_frame"));
    EXPECT_EQ("2", eval("w.num_players"));
    EXPECT_EQ("1", eval("w.selected_player"));
    EXPECT_EQ("2", eval("w.num_bouts"));
    EXPECT_EQ("alpha,beta", eval("table.concat(b, ',')"));
    EXPECT_EQ("0", eval("select('#', get_customs())"));

    // A count beyond the list is held to its size.
    num_bouts = 1000;
    EXPECT_EQ(std::to_string(MAX_BOUTS), eval("#get_bouts()"));

    current_rules.matchframes = 777;
    ASSERT_TRUE(run("r = get_game_rules()"));
    EXPECT_EQ("777", eval("r.matchframes"));
    EXPECT_EQ("string", eval("type(r.mod)"));
    EXPECT_EQ("string", eval("type(r.motd)"));
    int count = 0;
    for (const GameRuleOption *row = game_rule_options; row->id != -1; row++)
        count++;
    EXPECT_EQ(std::to_string(count), eval("(function() local n = 0 for _ in pairs(r) do n = n + 1 end return n end)()"));
}

TEST_F(ApiGame, SetDefaultRulesFillsTheSetupRules)
{
    GameRules expected{};
    fill_default_rules(0, &expected);
    setup_rules.matchframes = -5;
    ASSERT_TRUE(run("set_default_rules()"));
    EXPECT_EQ(expected.matchframes, setup_rules.matchframes);
    EXPECT_EQ(expected.turn_time_limit, setup_rules.turn_time_limit);
}

// A stand-in option table of two rows and a recorder of menu pages.
int fake_width = 1024;
int fake_autosave = 0;
int opened_page = -100;
std::string last_command;

TEST_F(ApiGame, OptionsMenusAndCommandsGoThroughTheShell)
{
    // Without an option table the window keeps its default size.
    script_shell.find_option = nullptr;
    EXPECT_EQ("800 600", eval("(function() local w, h = get_window_size() return w .. ' ' .. h end)()"));

    script_shell.find_option = [](const char *name, int *value) {
        if (!strcmp(name, "width"))
            *value = fake_width;
        else if (!strcmp(name, "autosave"))
            *value = fake_autosave;
        else
            return 1;
        return 0;
    };
    script_shell.set_option = [](const char *name, int value) {
        if (!strcmp(name, "autosave"))
            fake_autosave = value;
    };
    EXPECT_EQ("1024 600", eval("(function() local w, h = get_window_size() return w .. ' ' .. h end)()"));
    ASSERT_TRUE(run("set_option('autosave', 3) set_option('nosuch', 1)"));
    EXPECT_EQ("3", eval("get_option('autosave')"));
    EXPECT_EQ("0", eval("select('#', get_option('nosuch'))"));
    ASSERT_TRUE(run("v = 5 v = get_option('nosuch')"));
    EXPECT_EQ("nil", eval("v"));

    script_shell.switch_menu = [](int page) { opened_page = page; };
    const struct {
        int menu, page;
    } menus[] = {{1, 0}, {2, 1}, {3, 9}, {4, 12}, {5, 11}, {6, 2}, {7, 3},
                 {8, 5}, {9, 4}, {11, 7}, {12, 6}, {13, 8}, {0, -100},
                 {10, -100}, {14, -100}, {-1, -100}};
    for (const auto &m : menus) {
        opened_page = -100;
        ASSERT_TRUE(run("open_menu(" + std::to_string(m.menu) + ")"));
        EXPECT_EQ(m.page, opened_page) << m.menu;
    }

    core_outward.run_console_command = [](const char *text, int from_server) {
        last_command = text + std::string(from_server ? " (server)" : "");
    };
    ASSERT_TRUE(run("run_cmd('echo hi')"));
    EXPECT_EQ("echo hi", last_command);
    ASSERT_TRUE(run("run_cmd(42)"));
    EXPECT_EQ("42", last_command);

    // Only the two shift bits of the modifier state reach scripts.
    script_shell.key_modifiers = [] { return 0x40 | 2; };
    EXPECT_EQ("2", eval("get_shift_key_state()"));
    script_shell.error_flag = [] { return 1; };
    EXPECT_EQ("1", eval("get_errno()"));
}

float fake_position[3], fake_lookat[3], fake_fov;
int fake_sound = -1, fake_volume = -1;

TEST_F(ApiGame, CameraAndSoundGoThroughTheShell)
{
    script_shell.camera_position = [] { return fake_position; };
    script_shell.camera_lookat = [] { return fake_lookat; };
    script_shell.set_fov = [](float degrees) { fake_fov = degrees; };
    script_shell.set_sound = [](int on) { fake_sound = on; };
    script_shell.set_volume = [](int volume) { fake_volume = volume; };
    script_shell.get_volume = [] { return fake_volume * 2; };

    // Unchecked numbers: a string that is no number reads as 0.
    ASSERT_TRUE(run("set_camera_pos(1, 2.5, 'x') set_camera_lookat(-4, 5, 6) set_fov(70)"));
    EXPECT_EQ(1.0f, fake_position[0]);
    EXPECT_EQ(2.5f, fake_position[1]);
    EXPECT_EQ(0.0f, fake_position[2]);
    EXPECT_EQ(-4.0f, fake_lookat[0]);
    EXPECT_EQ(70.0f, fake_fov);
    ASSERT_TRUE(run("c = get_camera_info()"));
    EXPECT_EQ("1 2.5 0 / -4 5 6", eval("c.pos.x .. ' ' .. c.pos.y .. ' ' .. c.pos.z .. ' / ' .. "
                                       "c.lookat.x .. ' ' .. c.lookat.y .. ' ' .. c.lookat.z"));

    ASSERT_TRUE(run("disable_sound()"));
    EXPECT_EQ(0, fake_sound);
    ASSERT_TRUE(run("enable_sound() set_volume(40)"));
    EXPECT_EQ(1, fake_sound);
    EXPECT_EQ(40, fake_volume);
    EXPECT_EQ("80", eval("get_volume()"));
    EXPECT_FALSE(run("set_volume('loud')"));
}

std::string outside_call;

TEST_F(ApiGame, OutsideActionsTakeOnlyPlainNames)
{
    // load_player writes a fighter of the current game.
    match_state.num_players = 2;
    script_shell.save_screenshot = [](const char *path, int type) {
        outside_call = std::string(path) + " " + std::to_string(type);
        return type < 0 ? -1 : 0;
    };
    script_shell.launch_browser = [](const char *url) { outside_call = url; };
    script_shell.load_player_custom = [](int player, const char *nick) {
        outside_call = std::to_string(player) + " " + nick;
        return 0;
    };
    const struct {
        const char *call;
        const char *result;   // nullptr: no result value
        const char *reached;  // "" when refused
    } cases[] = {
        {"screenshot('shot.bmp')", "0", "screenshots/shot.bmp 0"},
        {"screenshot('shot.ppm', 1)", "0", "screenshots/shot.ppm 1"},
        {"screenshot('shot', 7)", "-1", "screenshots/shot -1"},
        {"screenshot('../etc/x')", "-1", ""},
        {"screenshot('a/b')", "-1", ""},
        {"screenshot('')", "-1", ""},
        {"screenshot('..')", "-1", ""},
        {"open_url('https://example.org/a?b=1&c=2')", nullptr, "https://example.org/a?b=1&c=2"},
        {"open_url('http://x.org/;rm -rf')", nullptr, ""},
        {"open_url('http://x.org/$(id)')", nullptr, ""},
        {"open_url('http://x.org/`id`')", nullptr, ""},
        {"open_url('file:///etc/passwd')", nullptr, ""},
        {"open_url(\"http://x.org/'\")", nullptr, ""},
        {"open_url('http://x.org/' .. string.rep('a', 300))", nullptr, ""},
        {"load_player(1, 'someone')", nullptr, "1 someone"},
        {"load_player(1, '../../x')", nullptr, ""},
    };
    for (const auto &c : cases) {
        outside_call.clear();
        if (c.result) {
            EXPECT_EQ(c.result, eval(c.call)) << c.call;
        } else {
            EXPECT_TRUE(run(c.call)) << c.call;
        }
        EXPECT_EQ(c.reached, outside_call) << c.call;
    }
}

}  // namespace

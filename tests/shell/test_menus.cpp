// The menu table, page changes with keys and rows, the file lists and the
// save-replay page.
#include "shell/menus.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <unistd.h>

#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/text.h"
#include "net/login.h"
#include "platform/loop.h"
#include "shell/app.h"
#include "shell/game_control.h"
#include "shell/options.h"
#include "shell/widgets.h"
#include "support/test_support.h"

namespace {

// The table as the program starts with it; pages entered by other tests
// leave their selected marks behind.
struct BuiltMenuTable {
    MenuRow rows[MENU_COUNT];
    BuiltMenuTable() { memcpy(rows, MenuTable, sizeof rows); }
};
const BuiltMenuTable built_menu_table;

class Menus : public ::testing::Test {
protected:
    ScrollList list{};
    TextLines chat{};
    // Opening a page sets its row's selected mark: each test puts the
    // table's marks back as they were.
    int selected[MENU_COUNT];
    void SetUp() override
    {
        for (int m = 0; m < MENU_COUNT; m++)
            selected[m] = MenuTable[m].selected;
        game_links = GameControlLinks();
        memcpy(MenuTable, built_menu_table.rows, sizeof MenuTable);
        bind_menus();
        list_init(&list);
        text_lines_init(&chat, 32);
        lend_menu_objects(&list, &chat);
        reset_options();
        menu_state = 0;
        back_menu = MENU_MAIN;
        running = 1;
    }
    void TearDown() override
    {
        lend_menu_objects(nullptr, nullptr);
        text_lines_free(&chat);
        game_links = GameControlLinks();
        free_button_list();
        drop_slider();
        free_file_lists();
        menu_state = 0;
        for (int m = 0; m < MENU_COUNT; m++)
            MenuTable[m].selected = selected[m];
    }
    void type_row(int row, const char *text)
    {
        text_lines_set_row(&chat, row);
        for (const char *c = text; *c; c++)
            text_lines_append_char(&chat, (char16)*c);
    }
};

TEST_F(Menus, TableFollowsThePages)
{
    // draw / enter / leave present (1) or absent (0), and the game behind.
    struct Row {
        int draw, enter, leave, behind;
    };
    const Row rows[MENU_COUNT] = {
        {0, 1, 0, 1}, {1, 1, 1, 0}, {1, 1, 1, 0}, {1, 1, 1, 0}, {1, 1, 1, 0},
        {1, 1, 1, 0}, {0, 1, 0, 0}, {0, 1, 0, 0}, {1, 1, 0, 0}, {1, 1, 1, 0},
        {1, 1, 1, 1}, {1, 1, 1, 0}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1},
        {0, 0, 0, 1}, {0, 1, 1, 1}, {1, 0, 0, 1}, {1, 1, 1, 0},
    };
    for (int m = 0; m < MENU_COUNT; m++) {
        SCOPED_TRACE(m);
        EXPECT_EQ(MenuTable[m].draw != nullptr, rows[m].draw == 1);
        EXPECT_EQ(MenuTable[m].enter != nullptr, rows[m].enter == 1);
        EXPECT_EQ(MenuTable[m].leave != nullptr, rows[m].leave == 1);
        EXPECT_EQ(MenuTable[m].game_behind, rows[m].behind);
        EXPECT_EQ(MenuTable[m].music, 0);
        EXPECT_EQ(MenuTable[m].next, m == 18 ? 0 : m + 1);
        if (m != 11) {
            EXPECT_EQ(MenuTable[m].selected, -1);
        }
    }
    EXPECT_EQ(MenuTable[11].selected, 0);
    EXPECT_EQ(menu_game_behind(42), 1);

    const char *main_captions[] = {"Single Player", "Multi Player", "Replays", "Tutorial",
                                   "KasuShop", "Setup", "Quit"};
    const int main_targets[] = {0, 1, 2, 6, 7, 14, 12};
    const char *setup_captions[] = {"Options", "Mods", "Scripts", "Game Rules",
                                    "Login", "About", "Back"};
    const int setup_targets[] = {9, 3, 5, 11, 18, 8, 13};
    for (int i = 0; i < MENU_ITEMS; i++) {
        EXPECT_STREQ(MainMenuItems[i].caption, main_captions[i]);
        EXPECT_EQ(MainMenuItems[i].target, main_targets[i]);
        EXPECT_STREQ(SetupMenuItems[i].caption, setup_captions[i]);
        EXPECT_EQ(SetupMenuItems[i].target, setup_targets[i]);
    }
}

TEST_F(Menus, KeysAndRowsMoveBetweenPages)
{
    switch_menu(MENU_MAIN);
    EXPECT_EQ(menu_state, MENU_MAIN);
    EXPECT_EQ(list.count, 7);
    EXPECT_EQ(list.first_y, 120);
    EXPECT_EQ(list.row_height, 30);

    // Esc closes the main menu; Esc in game opens it again.
    menu_escape();
    EXPECT_EQ(menu_state, MENU_GAME);
    menu_escape();
    EXPECT_EQ(menu_state, MENU_MAIN);

    // Setup (row 5), then Mods (row 1): Esc goes back to setup, then main.
    list.hover = 5;
    menu_enter();
    EXPECT_EQ(menu_state, MENU_SETUP);
    list.hover = 1;
    menu_enter();
    EXPECT_EQ(menu_state, MENU_MODS);
    EXPECT_EQ(back_menu, MENU_SETUP);
    menu_escape();
    EXPECT_EQ(menu_state, MENU_SETUP);
    menu_escape();
    EXPECT_EQ(menu_state, MENU_MAIN);

    // Replays return to the main menu; nothing hovered chooses nothing.
    list.hover = 2;
    menu_enter();
    EXPECT_EQ(menu_state, MENU_REPLAYS);
    EXPECT_EQ(back_menu, MENU_MAIN);
    list.hover = -1;
    menu_enter();
    EXPECT_EQ(menu_state, MENU_REPLAYS);
    menu_escape();
    EXPECT_EQ(menu_state, MENU_MAIN);

    // After the save page (no page to go back to) Esc in game still opens
    // the main menu.
    switch_menu(MENU_SAVE_REPLAY);
    EXPECT_EQ(back_menu, -1);
    close_chat_menu();
    EXPECT_EQ(menu_state, MENU_GAME);
    menu_escape();
    EXPECT_EQ(menu_state, MENU_MAIN);

    // Quit clears the running flag, then plays the next replay of the list.
    static int next_replays;
    next_replays = 0;
    void (*saved_next)() = core_outward.play_next_replay;
    core_outward.play_next_replay = [] { next_replays++; };
    list.hover = 6;
    menu_enter();
    EXPECT_EQ(running, 0);
    EXPECT_EQ(menu_state, MENU_QUIT);
    EXPECT_EQ(back_menu, -1);
    EXPECT_EQ(next_replays, 1);
    core_outward.play_next_replay = saved_next;
}

TEST_F(Menus, PagesBuildTheirButtonsAndDropThem)
{
    switch_menu(MENU_SERVERS);   // without the browser: the login page first
    EXPECT_EQ(menu_state, MENU_LOGIN);
    EXPECT_EQ(back_menu, MENU_MAIN);
    EXPECT_EQ(login_return_mark, 1);
    menu_state = MENU_SERVERS;
    build_button_list(MENU_SERVERS);
    EXPECT_EQ(menu_buttons.count, 5);
    close_menu();
    EXPECT_EQ(menu_buttons.count, 0);   // nothing of the page is clicked in game
    EXPECT_EQ(offer_button_list(1, 40, 40), 0);
}

int browser_entered;

// With the server browser wired the login still comes first: without a
// stored login the page is the login page, not an empty server list.
TEST_F(Menus, ServerListAsksForTheLoginFirstWithTheBrowserToo)
{
    browser_entered = 0;
    game_links.enter_server_list = [] { browser_entered++; };
    uint8_t was = logged_in;
    logged_in = 0;
    switch_menu(MENU_SERVERS);
    EXPECT_EQ(menu_state, MENU_LOGIN);
    EXPECT_EQ(login_return_mark, 1);
    EXPECT_EQ(browser_entered, 0);
    logged_in = 1;
    switch_menu(MENU_SERVERS);
    EXPECT_EQ(menu_state, MENU_SERVERS);
    EXPECT_EQ(browser_entered, 1);
    logged_in = was;
    login_return_mark = 0;
}

TEST_F(Menus, EditPagesFillAndApplyTheirRows)
{
    switch_menu(MENU_OPTIONS);
    EXPECT_TRUE(text_lines_is_active(&chat));
    char text[64];
    edit_row_text(2, text, sizeof text);   // music
    EXPECT_STREQ(text, "1");
    chat.rows[2][0] = 0;
    type_row(2, "0");
    menu_enter();   // the hovered row 0
    EXPECT_EQ(get_option(OPT_MUSIC), 0);
    EXPECT_EQ(menu_state, MENU_GAME);
    EXPECT_FALSE(text_lines_is_active(&chat));

    // Esc on the options page returns to setup without applying.
    switch_menu(MENU_OPTIONS);
    chat.rows[2][0] = 0;
    type_row(2, "1");
    close_chat_menu();
    EXPECT_EQ(menu_state, MENU_SETUP);
    EXPECT_EQ(get_option(OPT_MUSIC), 0);
}

TEST_F(Menus, RulesPageKeepsUnchangedRules)
{
    fill_default_rules(0, &setup_rules);
    GameRules before = setup_rules;
    std::string newgame = write_newgame_line(0, &setup_rules);
    switch_menu(MENU_RULES);
    char text[64];
    edit_row_text(1, text, sizeof text);
    EXPECT_STREQ(text, "500");   // match frames
    menu_enter();
    EXPECT_EQ(menu_state, MENU_GAME);
    // The same game: its NEWGAME line and the engage placement.
    EXPECT_EQ(newgame, std::string(write_newgame_line(0, &setup_rules)));
    EXPECT_EQ(before.engage_set, setup_rules.engage_set);
    EXPECT_EQ(memcmp(before.engage_pos, setup_rules.engage_pos, sizeof before.engage_pos), 0);
    EXPECT_EQ(memcmp(before.engage_rot, setup_rules.engage_rot, sizeof before.engage_rot), 0);

    switch_menu(MENU_RULES);
    chat.rows[1][0] = 0;
    type_row(1, "800");
    menu_enter();
    EXPECT_EQ(setup_rules.matchframes, 800);
    fill_default_rules(0, &setup_rules);
}

std::vector<std::string> echoed;
void keep_echo(const char *text, int) { echoed.push_back(text); }

// A value the rules refuse keeps the rule and says so in the window; the
// page left unchanged says nothing.
TEST_F(Menus, RulesPageReportsRefusedValues)
{
    CoreOutward saved = core_outward;
    core_outward.echo = keep_echo;
    echoed.clear();
    fill_default_rules(0, &setup_rules);
    switch_menu(MENU_RULES);
    menu_enter();
    EXPECT_TRUE(echoed.empty()) << echoed[0];

    switch_menu(MENU_RULES);
    chat.rows[1][0] = 0;
    type_row(1, "-5");
    menu_enter();
    EXPECT_EQ(setup_rules.matchframes, 500);
    ASSERT_EQ(echoed.size(), 1u);
    EXPECT_NE(echoed[0].find("Match frames"), std::string::npos) << echoed[0];
    EXPECT_NE(echoed[0].find("-5"), std::string::npos) << echoed[0];
    core_outward = saved;
    fill_default_rules(0, &setup_rules);
}

std::vector<int> echoed_kinds;
void keep_echo_kind(const char *text, int kind)
{
    echoed.push_back(text);
    echoed_kinds.push_back(kind);
}

// Enter on the login page with no user name: the page stays, the console
// (kind 4) and the page itself say what is missing; opening the page again
// starts without the old notice.
TEST_F(Menus, LoginWithoutUserNameSaysWhatIsMissing)
{
    CoreOutward saved = core_outward;
    core_outward.echo = keep_echo_kind;
    echoed.clear();
    echoed_kinds.clear();
    switch_menu(MENU_LOGIN);
    ASSERT_EQ(menu_state, MENU_LOGIN);
    chat.rows[0][0] = 0;
    type_row(1, "secret");
    list.hover = 0;
    menu_enter();
    EXPECT_EQ(menu_state, MENU_LOGIN);
    ASSERT_EQ(echoed.size(), 1u);
    EXPECT_EQ(echoed_kinds[0], MSG_INGAME);
    EXPECT_NE(echoed[0].find("user name"), std::string::npos) << echoed[0];
    ASSERT_NE(login_notice, nullptr);
    EXPECT_EQ(echoed[0], login_notice);
    menu_escape();
    switch_menu(MENU_LOGIN);
    EXPECT_EQ(login_notice, nullptr);
    core_outward = saved;
    login_return_mark = 0;
}

TEST_F(Menus, SayBoxOpensTypesAndCloses)
{
    switch_menu(MENU_SAY);
    EXPECT_EQ(menu_state, MENU_SAY);
    EXPECT_TRUE(text_lines_is_active(&chat));
    EXPECT_EQ(list.count, 0);
    type_row(0, "hello");
    menu_enter();   // Enter: no rows, the line goes
    EXPECT_EQ(menu_state, MENU_GAME);
    EXPECT_FALSE(text_lines_is_active(&chat));
    char text[16];
    edit_row_text(0, text, sizeof text);
    EXPECT_STREQ(text, "");
    // Esc with the say box open returns to the game.
    switch_menu(MENU_SAY);
    close_chat_menu();
    EXPECT_EQ(menu_state, MENU_GAME);
}

TEST_F(Menus, FileListGrowsAndKeepsShortNames)
{
    std::string dir = test_tmp_path("menus_files");
    ASSERT_EQ(system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
    for (int i = 0; i < 101; i++)
        write_whole_file(dir + "/r" + std::to_string(i) + ".rpl", "x");
    write_whole_file(dir + "/backup.rpl.old", "x");
    write_whole_file(dir + "/" + std::string(58, 'n') + ".rpl", "x");   // 62 characters
    write_whole_file(dir + "/" + std::string(59, 'n') + ".rpl", "x");   // 63 characters
    write_whole_file(dir + "/notes.txt", "x");
    FileList list = {nullptr, 0, 0, -1};
    EXPECT_EQ(build_file_list(&list, dir.c_str(), "rpl"), 102);
    EXPECT_EQ(list.capacity, 120);
    bool backup = false, long62 = false, long63 = false;
    for (int i = 0; i <= list.last; i++) {
        std::string n = list.names[i];
        backup |= n == "backup.rpl.old";
        long62 |= n.size() == 62;
        long63 |= n.size() == 63;
    }
    EXPECT_TRUE(backup);
    EXPECT_TRUE(long62);
    EXPECT_FALSE(long63);
    // A folder that cannot be opened leaves the list empty.
    EXPECT_EQ(build_file_list(&list, (dir + "/none").c_str(), "rpl"), -1);
    EXPECT_EQ(list.count, 0);
    free_file_list(&list);
}

TEST_F(Menus, SavePageWritesNamedReplaysAndRefusesBadNames)
{
    char path[256];
    EXPECT_EQ(replay_save_path("fight", path, sizeof path), 0);
    EXPECT_STREQ(path, "replay/fight.rpl");
    const char *bad[] = {"", "../x", "a/b", "a\\b", ".hidden"};
    for (const char *b : bad)
        EXPECT_EQ(replay_save_path(b, path, sizeof path), 1) << b;
    // "replay/" + 247 + ".rpl" = 258 characters: refused whole, never cut.
    std::string long_name(247, 'a');
    EXPECT_EQ(replay_save_path(long_name.c_str(), path, sizeof path), 1);
    EXPECT_EQ(replay_save_path(std::string(243, 'a').c_str(), path, sizeof path), 0);
    EXPECT_EQ(strlen(path), 254u);

    std::string dir = test_tmp_path("menus_save");
    ASSERT_EQ(system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
    char here[512];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);

    // The author row starts with fighter 0's name; an empty name saves nothing.
    n_strncpyz(players[0].name, "kasu", sizeof players[0].name);
    switch_menu(MENU_SAVE_REPLAY);
    char text[64];
    edit_row_text(1, text, sizeof text);
    EXPECT_STREQ(text, "kasu");
    menu_enter();
    EXPECT_EQ(menu_state, MENU_GAME);
    EXPECT_FALSE(file_exists("replay/.rpl"));

    EXPECT_EQ(save_named_replay(long_name.c_str(), "me"), 1);
    EXPECT_EQ(chdir(here), 0);
}

TEST_F(Menus, SliderFollowsAndScrollsTheList)
{
    list_set_count(&list, 40, 10);
    list.first_y = 100;
    list.row_height = 17;
    create_slider(&list, 700, 100, 170);
    ASSERT_EQ(menu_slider.active, 1);
    int off = 0, size = 0;
    ASSERT_EQ(slider_thumb(&menu_slider, &off, &size), 0);
    EXPECT_EQ(size, 42);   // 170 * 10 / 40
    EXPECT_EQ(off, 0);
    // A press on the track below the thumb scrolls down.
    EXPECT_EQ(offer_slider(1, 705, 200), 1);
    EXPECT_GT(list.first, 0);
    offer_slider(0, 705, 200);
    // Dragging the thumb to the bottom shows the last rows.
    slider_thumb(&menu_slider, &off, &size);
    EXPECT_EQ(offer_slider(1, 705, 100 + off + 2), 1);
    EXPECT_TRUE(slider_held());
    offer_slider(1, 705, 400);
    EXPECT_EQ(list.first, 30);
    EXPECT_EQ(offer_slider(0, 705, 400), 1);
    EXPECT_FALSE(slider_held());
    // A list that fits gets no slider.
    list_set_count(&list, 5, 10);
    create_slider(&list, 700, 100, 170);
    EXPECT_EQ(menu_slider.active, 0);
}

}  // namespace

// Scroll list movement and hover, button press states and the control bar.
#include "shell/widgets.h"

#include <gtest/gtest.h>

#include <string>

#include "core/outward.h"
#include "net/browser.h"
#include "net/client.h"

#include "shell/app.h"
#include "shell/console.h"
#include "shell/game_control.h"
#include "shell/input.h"
#include "shell/online_glue.h"
#include "shell/options.h"
#include "support/test_support.h"

namespace {

ScrollList make_list(int count, int visible)
{
    ScrollList l;
    list_init(&l);
    list_set_count(&l, count, visible);
    return l;
}

void check_bounds(const ScrollList &l)
{
    EXPECT_GE(l.first, 0);
    EXPECT_LE(l.first + l.visible_rows, l.count);
    EXPECT_GE(l.hover, -1);
    EXPECT_LT(l.hover, l.count);
}

TEST(Widgets, ShortListShowsAllRowsAndNeverScrolls)
{
    ScrollList l = make_list(3, 5);
    EXPECT_EQ(l.visible_rows, 3);
    for (int i = 0; i < 6; i++)
        list_move_down(&l);
    EXPECT_EQ(l.hover, 2);
    EXPECT_EQ(l.first, 0);
    list_page_down(&l);
    list_last(&l);
    EXPECT_EQ(l.first, 0);
    check_bounds(l);
}

TEST(Widgets, LongListScrollsPagesAndStaysInBounds)
{
    ScrollList l = make_list(12, 5);
    for (int i = 0; i < 5; i++)
        list_move_down(&l);
    EXPECT_EQ(list_hovered_index(&l), 5);
    EXPECT_EQ(l.first, 1);   // the window followed the hover
    list_page_down(&l);
    EXPECT_EQ(l.first, 6);
    list_page_down(&l);
    EXPECT_EQ(l.first, 7);   // clamped to count - visible
    EXPECT_EQ(l.hover, 11);
    check_bounds(l);
    list_move_down(&l);
    EXPECT_EQ(l.hover, 11);  // nothing below the last row
    list_page_up(&l);
    list_page_up(&l);
    EXPECT_EQ(l.first, 0);
    list_page_up(&l);
    EXPECT_EQ(l.hover, 0);
    list_last(&l);
    EXPECT_EQ(l.first, 7);
    list_first(&l);
    EXPECT_EQ(l.first + l.hover, 0);

    // a new count resets the position unless asked to keep it
    list_last(&l);
    l.keep_position = 1;
    list_set_count(&l, 10, 5);
    EXPECT_EQ(l.first, 5);
    check_bounds(l);
    l.keep_position = 0;
    list_set_count(&l, 10, 5);
    EXPECT_EQ(l.first, 0);
}

TEST(Widgets, MouseHoverAndAutomaticScrollFlags)
{
    ScrollList l = make_list(20, 5);
    l.x = 100;
    l.right = 400;
    l.first_y = 50;
    l.row_height = 20;
    list_page_down(&l);   // first row 5
    list_update_hover(&l, 150, 50 + 2 * 20 + 5);
    EXPECT_EQ(list_hovered_index(&l), 7);
    list_update_hover(&l, 50, 60);   // left of the list
    EXPECT_EQ(l.hover, -1);
    EXPECT_EQ(l.scroll_up + l.scroll_down, 0);
    list_update_hover(&l, 150, 40);
    EXPECT_EQ(l.scroll_up, 1);
    list_update_hover(&l, 150, 50 + 5 * 20 + 1);
    EXPECT_EQ(l.scroll_down, 1);
    EXPECT_EQ(l.scroll_up, 0);

    // a list without screen geometry keeps its keyboard hover
    ScrollList k = make_list(4, 5);
    list_move_down(&k);
    list_update_hover(&k, 10, 10);
    EXPECT_EQ(k.hover, 1);
}

int clicks, last_sort;
void count_click(int sort) { clicks++; last_sort = sort; }

Button icon_button()
{
    Button b = {};
    b.kind = BUTTON_ICON;
    b.x = 100;
    b.y = 200;
    b.size = 64;
    b.visible = 1;
    b.scale = 1.0f;
    b.callback = count_click;
    return b;
}

TEST(Widgets, ClickRunsCallbackAndDragOutDoesNot)
{
    clicks = 0;
    Button b = icon_button();
    // hover, press, release inside: one click
    EXPECT_EQ(button_press(&b, 0, 130, 170, nullptr, 0), 1);
    EXPECT_EQ(b.state, BUTTON_HOVERED);
    EXPECT_EQ(button_press(&b, 1, 130, 170, nullptr, 0), 1);
    EXPECT_EQ(b.state, BUTTON_PRESSED);
    EXPECT_EQ(button_press(&b, 0, 130, 170, nullptr, 0), 1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(b.state, BUTTON_HOVERED);

    // press, drag outside, release outside: no click, back to idle
    button_press(&b, 1, 130, 170, nullptr, 0);
    EXPECT_EQ(button_press(&b, 1, 300, 170, nullptr, 0), 1);
    EXPECT_EQ(b.state, BUTTON_DRAGGED_OUT);
    EXPECT_FLOAT_EQ(b.scale, 1.0f);
    EXPECT_EQ(button_press(&b, 0, 300, 170, nullptr, 0), 0);
    EXPECT_EQ(b.state, BUTTON_IDLE);
    EXPECT_EQ(clicks, 1);
    // the next motion over it is a plain hover, a release there no click
    button_press(&b, 0, 130, 170, nullptr, 0);
    EXPECT_EQ(clicks, 1);

    // dragged out and back in while held: the release clicks
    button_press(&b, 1, 130, 170, nullptr, 0);
    button_press(&b, 1, 300, 170, nullptr, 0);
    button_press(&b, 1, 130, 170, nullptr, 0);
    EXPECT_EQ(b.state, BUTTON_PRESSED);
    button_press(&b, 0, 130, 170, nullptr, 0);
    EXPECT_EQ(clicks, 2);

    // bounds are strict; hidden buttons never take the mouse
    EXPECT_EQ(button_press(&b, 0, 100, 170, nullptr, 0), 0);
    EXPECT_EQ(button_press(&b, 0, 130, 200, nullptr, 0), 0);
    EXPECT_EQ(button_press(&b, 0, 130, 136, nullptr, 0), 0);
    EXPECT_EQ(button_press(&b, 0, 163, 137, nullptr, 0), 1);
    b.visible = 0;
    EXPECT_EQ(button_press(&b, 0, 130, 170, nullptr, 0), 0);
}

void click(Button *b, Button *group, int n)
{
    int x = b->x + 5, y = b->y + 5;
    button_press(b, 0, x, y, group, n);
    button_press(b, 1, x, y, group, n);
    button_press(b, 0, x, y, group, n);
}

TEST(Widgets, HeadersCycleSortAndClearEachOther)
{
    Button h[2] = {};
    for (int i = 0; i < 2; i++) {
        h[i].kind = BUTTON_HEADER;
        h[i].x = 10 + 100 * i;
        h[i].y = 30;
        h[i].width = 90;
        h[i].height = 20;
        h[i].visible = 1;
        h[i].callback = count_click;
    }
    h[0].sort_state = 1;   // "#"
    clicks = 0;
    click(&h[1], h, 2);    // "DESCRIPTION"
    EXPECT_EQ(h[1].sort_state, 1);
    EXPECT_EQ(h[0].sort_state, 0);
    click(&h[1], h, 2);
    EXPECT_EQ(h[1].sort_state, 2);
    EXPECT_EQ(last_sort, 2);
    click(&h[0], h, 2);
    EXPECT_EQ(h[0].sort_state, 1);
    EXPECT_EQ(h[1].sort_state, 0);
    EXPECT_EQ(clicks, 3);
}

TEST(Widgets, ControlBarGroupsAndPlayIcon)
{
    create_control_bar(800, 600);
    for (int i = 0; i < CONTROL_BUTTONS; i++)
        EXPECT_EQ(control_bar[i].visible, 0) << i;
    show_replay_buttons();
    EXPECT_EQ(control_bar[CB_PLAY].visible + control_bar[CB_NEXT].visible +
                  control_bar[CB_PREVIOUS].visible + control_bar[CB_REWIND].visible, 4);
    EXPECT_EQ(control_bar[CB_REPLAY].visible, 0);
    show_play_buttons();
    EXPECT_EQ(control_bar[CB_PLAY].visible, 0);
    int shown = 0;
    for (int i = 0; i < CONTROL_BUTTONS; i++)
        shown += control_bar[i].visible;
    EXPECT_EQ(shown, 6);
    EXPECT_EQ(control_bar[CB_GHOST].visible, 1);
    EXPECT_EQ(control_bar[CB_NEXT_TURN].x, 400);
    EXPECT_EQ(control_bar[CB_NEXT_TURN].y, 540);
    set_play_icon(0);
    EXPECT_EQ(control_bar[CB_BAR_PLAY].texture, 18);
    set_play_icon(1);
    EXPECT_EQ(control_bar[CB_BAR_PLAY].texture, 17);
    // the Help icon takes the mouse; empty space does not
    EXPECT_EQ(offer_control_bar(0, 10, 300 + 35 - 5), 1);
    EXPECT_EQ(offer_control_bar(0, 700, 100), 0);
    hide_all_buttons();
}

TEST(Widgets, ControlBarFollowsTheWindowAndHiddenBarsTakeNoClicks)
{
    create_control_bar(800, 600);
    show_play_buttons();
    // A bigger window moves the bar; states and visibility stay.
    place_control_bar(1024, 768);
    EXPECT_EQ(control_bar[CB_NEXT_TURN].x, 512);
    EXPECT_EQ(control_bar[CB_NEXT_TURN].y, 708);
    EXPECT_EQ(control_bar[CB_HELP].y, 384 + 35);
    EXPECT_EQ(control_bar[CB_GHOST].visible, 1);

    // Help flips the overlay: press and release on the icon.
    help_overlay = 0;
    int hx = control_bar[CB_HELP].x + 10, hy = control_bar[CB_HELP].y - 10;
    offer_control_bar(0, hx, hy);
    EXPECT_EQ(offer_control_bar(1, hx, hy), 1);
    EXPECT_EQ(offer_control_bar(0, hx, hy), 1);
    EXPECT_EQ(help_overlay, 1);
    help_overlay = 0;

    // With the "gui" option off the bar is not drawn and takes nothing; a
    // button pressed before falls back to idle.
    offer_control_bar(1, hx, hy);
    set_option(OPT_GUI, 0);
    EXPECT_EQ(offer_control_bar(0, hx, hy), 0);
    EXPECT_EQ(control_bar[CB_HELP].state, BUTTON_IDLE);
    EXPECT_EQ(help_overlay, 0);
    set_option(OPT_GUI, 1);

    // A hidden button never sees the release of a press it had.
    offer_control_bar(0, hx, hy);
    offer_control_bar(1, hx, hy);
    hide_all_buttons();
    EXPECT_EQ(offer_control_bar(0, hx, hy), 0);
    EXPECT_EQ(control_bar[CB_HELP].state, BUTTON_IDLE);
    EXPECT_EQ(help_overlay, 0);
    create_control_bar(800, 600);
}

}  // namespace

namespace {

// The description column of the browser's display order, top to bottom.
std::string shown_descriptions(ServerBrowser *b)
{
    std::string out;
    for (int row = 0; row < b->count; row++)
        if (ServerEntry *e = browser_entry_at(b, row))
            out += std::string(entry_snapshot(e)->description) + " ";
    return out;
}

// The headers sort the browser that start-up wires to them: clicking
// DESCRIPTION twice orders the rows by description downwards, "#" then
// restores the list order and clears the DESCRIPTION arrow.
TEST(Widgets, ServerListHeadersSortTheBrowser)
{
    static const int columns[5] = {20, 50, 350, 540, 640};
    for (int i = 0; i < 5; i++)
        screen_layout.hud_columns[i] = columns[i];
    ASSERT_EQ(build_button_list(2), 0);
    EXPECT_EQ(menu_buttons.count, 0);
    ASSERT_EQ(build_button_list(1), 0);
    ASSERT_EQ(menu_buttons.count, 5);
    EXPECT_STREQ(menu_buttons.buttons[1].label, "DESCRIPTION");
    EXPECT_EQ(menu_buttons.buttons[1].x, 50);
    EXPECT_EQ(menu_buttons.buttons[0].sort_state, 1);

    std::string list = test_tmp_path("widgets_servers.txt");
    ASSERT_TRUE(write_whole_file(list, "127.0.0.1:1 beta\n127.0.0.1:2 alpha\n"
                                       "127.0.0.1:3 gamma\n"));
    ServerBrowser browser;
    ASSERT_EQ(servers_txt_read(&browser, list.c_str()), 0);
    lend_server_browser(&browser);
    // Start-up's binding fills the other records' empty slots too; they are
    // put back afterwards.
    void (*saved_sort)(int, int) = sort_servers;
    CoreOutward saved_core = core_outward;
    GameControlLinks saved_links = game_links;
    ClientLinks saved_client = client_links;
    sort_servers = nullptr;
    bind_online();
    ASSERT_NE(sort_servers, nullptr);
    EXPECT_EQ(shown_descriptions(&browser), "beta alpha gamma ");

    create_control_bar(800, 600);
    Button *desc = &menu_buttons.buttons[1];
    auto click_at = [](int x, int y) {
        offer_all_buttons(0, x, y);
        offer_all_buttons(1, x, y);
        offer_all_buttons(0, x, y);
    };
    click_at(desc->x + 10, 40);
    EXPECT_EQ(desc->sort_state, 1);
    EXPECT_EQ(shown_descriptions(&browser), "alpha beta gamma ");
    click_at(desc->x + 10, 40);
    EXPECT_EQ(desc->sort_state, 2);
    EXPECT_EQ(shown_descriptions(&browser), "gamma beta alpha ");
    click_at(menu_buttons.buttons[0].x + 10, 40);
    EXPECT_EQ(desc->sort_state, 0);
    EXPECT_EQ(shown_descriptions(&browser), "beta alpha gamma ");

    lend_server_browser(nullptr);
    sort_servers = saved_sort;
    core_outward = saved_core;
    game_links = saved_links;
    client_links = saved_client;
    free_button_list();
}

}  // namespace

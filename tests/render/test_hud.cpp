// The HUD's name tables, help pages, chat-window heights, frames-left and
// turn readouts and the boxed-text line breaking (no GL).
#include "render/hud.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/ground_impacts.h"
#include "core/records.h"
#include "core/rules.h"
#include "platform/camera.h"
#include "core/text.h"

namespace {

TEST(HudNames, JointDisplayNames)
{
    EXPECT_STREQ(joint_display_name(0), "NECK");
    EXPECT_STREQ(joint_display_name(5), "RIGHT SHOULDER");
    EXPECT_STREQ(joint_display_name(19), "LEFT ANKLE");
    EXPECT_STREQ(joint_display_name(-1), "XXX");
    EXPECT_STREQ(joint_display_name(20), "XXX");
}

TEST(HudNames, JointMotionNamesByStateAndJoint)
{
    struct Case { int state, joint; const char *name; } cases[] = {
        {1, 5, "LOWERING"}, {2, 5, "RAISING"}, {1, 8, "LOWERING"},
        {2, 0, "CONTRACTING"}, {1, 0, "EXTENDING"}, {0, 0, "???"}, {7, 3, "???"},
        {1, 1, "RIGHT ROTATING"}, {2, 1, "LEFT ROTATING"},
        {1, 2, "RIGHT BENDING"}, {2, 2, "LEFT BENDING"},
        {1, 3, "CONTRACTING"}, {2, 19, "EXTENDING"}, {1, 14, "CONTRACTING"},
        {1, 16, "EXTENDING"}, {2, 16, "CONTRACTING"},
        {3, 1, "HOLDING"}, {3, 17, "HOLDING"}, {4, 5, "RELAXING"}, {4, 99, "RELAXING"},
    };
    for (const Case &c : cases)
        EXPECT_STREQ(joint_state_display_name(c.state, c.joint), c.name)
            << c.state << " " << c.joint;
}

TEST(HudHelp, PagesStartWithTheirTitles)
{
    struct Case { int page; const char *title; int count; const char *last; } cases[] = {
        {HELP_MULTIPLAYER, "HELP - Multi Player", 17, "F8 - Take screenshot"},
        {HELP_REPLAY, "HELP - Replays", 10, "F8 - Take screenshot"},
        {HELP_SINGLE, "HELP - Single Player", 15, "F8 - Take screenshot"},
    };
    for (const Case &c : cases) {
        int n = 0;
        const char *const *lines = help_page_lines(c.page, &n);
        ASSERT_EQ(n, c.count);
        EXPECT_STREQ(lines[0], c.title);
        EXPECT_STREQ(lines[n - 1], c.last);
        // The pages of a live game name the grip key (and the click).
        int grip = 0;
        for (int i = 0; i < n; i++)
            grip += std::string(lines[i]).find("l (at a wrist) or click a hand") == 0;
        EXPECT_EQ(grip, c.page == HELP_REPLAY ? 0 : 1) << c.title;
    }
    // Offline and no replay on screen: the single-player page.
    game_type = 0;
    replay_mode = REPLAY_LIVE;
    EXPECT_EQ(help_page_for_situation(), HELP_SINGLE);
    replay_mode = REPLAY_CYCLE;
    EXPECT_EQ(help_page_for_situation(), HELP_REPLAY);
    replay_mode = REPLAY_LIVE;
}

struct ConsoleFake {
    int held = 0, capacity = 50;
    int rows = -1, x = -1, first_y = -1, row_h = -1;
    std::vector<int> scrolls;
} console;

void bind_console()
{
    console = ConsoleFake();
    hud_outward = HudOutward();
    hud_outward.console_line_count = [] { return console.held; };
    hud_outward.console_capacity = [] { return console.capacity; };
    hud_outward.console_set_rows = [](int rows, int x, int y, int h) {
        console.rows = rows;
        console.x = x;
        console.first_y = y;
        console.row_h = h;
    };
    hud_outward.console_scroll = [](int p) { console.scrolls.push_back(p); };
    chat_window = ChatWindow{4, 10, 4, 0.6f};
}

TEST(HudChat, ExplicitHeightsPickCompactOrFull)
{
    bind_console();
    view_height = 600;
    console.held = 2;
    set_chat_lines(3);
    EXPECT_EQ(chat_window.visible_lines, 3);
    EXPECT_EQ(chat_window.compact_lines, 3);
    EXPECT_FLOAT_EQ(chat_window.alpha, 0.6f);
    EXPECT_EQ(console.rows, 3);
    EXPECT_EQ(console.x, 8);
    EXPECT_EQ(console.first_y, 600 - 20 * 2 - 80);
    EXPECT_EQ(console.row_h, 20);
    ASSERT_EQ(console.scrolls.size(), 1u);
    EXPECT_EQ(console.scrolls[0], -1);

    console.held = 30;
    set_chat_lines(12);
    EXPECT_EQ(chat_window.full_lines, 12);
    EXPECT_FLOAT_EQ(chat_window.alpha, 1.0f);
    EXPECT_EQ(console.first_y, 600 - 20 * 12 - 80);

    // Never more than the console holds room for.
    set_chat_lines(500);
    EXPECT_EQ(chat_window.visible_lines, 50);
    EXPECT_EQ(chat_window.full_lines, 50);
}

TEST(HudChat, ToggleTwiceReturnsToTheFirstState)
{
    bind_console();
    console.held = 1;
    ChatWindow first = chat_window;
    set_chat_lines(0);
    EXPECT_FLOAT_EQ(chat_window.alpha, 1.0f);
    EXPECT_EQ(chat_window.visible_lines, 10);
    set_chat_lines(0);
    EXPECT_FLOAT_EQ(chat_window.alpha, first.alpha);
    EXPECT_EQ(chat_window.visible_lines, first.visible_lines);
    EXPECT_EQ(chat_window.compact_lines, first.compact_lines);
    EXPECT_EQ(chat_window.full_lines, first.full_lines);
    // Fewer lines held than the compact height: the scroll went back to 0
    // each time, and a toggle never jumps to the last row.
    EXPECT_EQ(console.scrolls, (std::vector<int>{0, 0}));
}

TEST(HudMatch, FramesLeftAndTurnEntry)
{
    GameRules rules = {};
    MatchState match = {};
    rules.matchframes = 500;
    char text[16];
    struct Case { int frame, over; const char *shown; } cases[] = {
        {0, 0, "500"}, {120, 0, "380"}, {500, 0, "0"}, {620, 0, "0"}, {100, 1, "0"},
    };
    for (const Case &c : cases) {
        match.match_frame = c.frame;
        match.game_over = c.over;
        frames_left_text(&match, &rules, text, sizeof text);
        EXPECT_STREQ(text, c.shown) << c.frame;
    }
    rules.turnframes_count = 1;
    rules.turnframes[0] = 10;
    EXPECT_EQ(current_turn_entry(&match, &rules), -1);
    rules.turnframes_count = 3;
    rules.turnframes[1] = 20;
    rules.turnframes[2] = 30;
    match.turn = 4;
    EXPECT_EQ(current_turn_entry(&match, &rules), 20);
    match.turn = -1;   // never an index outside the list
    EXPECT_EQ(current_turn_entry(&match, &rules), 30);
}

// Every unit is 10 pixels wide.
int ten_each(const uint16_t *, int n, void *) { return 10 * n; }

std::vector<std::string> broken(const char *text, int width)
{
    uint16_t wide[400] = {};
    for (int i = 0; text[i] && i < 399; i++)
        wide[i] = (uint8_t)text[i];
    int starts[300], lengths[300];
    int n = break_boxed_text(wide, width, ten_each, nullptr, starts, lengths, 300);
    std::vector<std::string> out;
    for (int i = 0; i < n; i++)
        out.push_back(std::string(text + starts[i], (size_t)lengths[i]));
    return out;
}

TEST(HudBoxedText, BreaksAtBlanksAndCutsLongWords)
{
    typedef std::vector<std::string> Lines;
    EXPECT_EQ(broken("one two three", 200), (Lines{"one two three"}));
    EXPECT_EQ(broken("one two three", 80), (Lines{"one two", "three"}));
    EXPECT_EQ(broken("aaaa bbbb cccc", 40), (Lines{"aaaa", "bbbb", "cccc"}));
    // A word wider than the box: cut where the box ends, at most 20 units.
    EXPECT_EQ(broken("abcdefghij", 40), (Lines{"abcd", "efgh", "ij"}));
    EXPECT_EQ(broken("abcdefghijklmnopqrstuvwxyz", 1000), (Lines{"abcdefghijklmnopqrstuvwxyz"}));
    EXPECT_EQ(broken("abcdefghijklmnopqrstuvwxyz x", 250),
              (Lines{"abcdefghijklmnopqrst", "uvwxyz x"}));
    // A box narrower than one unit still moves on, one unit a line.
    EXPECT_EQ(broken("ab", 5), (Lines{"a", "b"}));
    EXPECT_EQ(broken("", 50), Lines{});
    // Never more than 256 units are read.
    std::string longest(300, 'a');
    size_t total = 0;
    for (const std::string &line : broken(longest.c_str(), 100))
        total += line.size();
    EXPECT_EQ(total, 256u);
}

TEST(HudMatch, NameListSidesWithAndWithoutTeams)
{
    MatchState match = {};
    GameRules rules = {};
    int order[4], side[4];
    struct Case {
        int players, teams, team[4];
        int order[4], side[4];
    } cases[] = {
        {2, 0, {0, 0, 0, 0}, {0, 1}, {0, 1}},
        {4, 0, {0, 0, 0, 0}, {0, 1, 2, 3}, {0, 0, 1, 1}},
        {3, 0, {0, 0, 0, 0}, {0, 1, 2}, {0, 0, 1}},
        // Teams: fighters in team order, the side changes with the team.
        {4, 1, {1, 0, 1, 0}, {1, 3, 0, 2}, {0, 0, 1, 1}},
        {3, 1, {0, 1, 2, 0}, {0, 1, 2}, {0, 1, 0}},
        // A team number out of range still puts the fighter in the list.
        {2, 1, {0, 9, 0, 0}, {0, 1}, {0, 1}},
    };
    for (const Case &c : cases) {
        match.num_players = c.players;
        rules.teams = c.teams;
        for (int k = 0; k < 4; k++)
            rules.team[k] = c.team[k];
        ASSERT_EQ(name_list_sides(&match, &rules, order, side), c.players);
        for (int k = 0; k < c.players; k++) {
            EXPECT_EQ(order[k], c.order[k]) << c.players << c.teams << " " << k;
            EXPECT_EQ(side[k], c.side[k]) << c.players << c.teams << " " << k;
        }
    }
    match.num_players = 9;   // held to the four fighters
    rules.teams = 0;
    EXPECT_EQ(name_list_sides(&match, &rules, order, side), 4);
}

TEST(HudMisc, CameraShakeAddsAndStopsAt2000)
{
    camera_state.shake_amount = 0;
    add_camera_shake(0.1f);
    EXPECT_EQ(camera_state.shake_amount, 300);
    add_camera_shake(0.2f);
    EXPECT_EQ(camera_state.shake_amount, 900);
    add_camera_shake(100.0f);
    EXPECT_EQ(camera_state.shake_amount, 2000);
}

TEST(HudMisc, TextInputRowMasksAndBlinksItsCaret)
{
    char line[400];
    text_caret = TextCaret();
    // The first call starts the blink 500 ms on.
    text_input_box_line("Name", "bob", 1, 0, 1000, line, sizeof line);
    EXPECT_STREQ(line, "Name: bob");
    text_input_box_line("Name", "bob", 1, 0, 1499, line, sizeof line);
    EXPECT_STREQ(line, "Name: bob");
    text_input_box_line("Name", "bob", 1, 0, 1500, line, sizeof line);
    EXPECT_STREQ(line, "Name: bob_");
    text_input_box_line("Password", "secret", 1, 1, 1600, line, sizeof line);
    EXPECT_STREQ(line, "Password: ******_");
    text_input_box_line("Name", "bob", 0, 0, 1700, line, sizeof line);
    EXPECT_STREQ(line, "Name: bob");
    text_input_box_line("Name", "bob", 1, 0, 2000, line, sizeof line);
    EXPECT_STREQ(line, "Name: bob");
    // A field longer than a text row is cut, never written past the line.
    std::string huge(5000, 'x');
    text_input_box_line("L", huge.c_str(), 0, 0, 2100, line, sizeof line);
    EXPECT_EQ(strlen(line), 3u + TEXT_ROW_UNITS);
}

TEST(HudCursor, AnimatesAndFollowsThePointer)
{
    drawn_cursor = DrawnCursor{1, 1, 0, 0, 1000, 1};
    EXPECT_EQ(cursor_texture_row(1, 0), 11);
    EXPECT_EQ(cursor_texture_row(2, 1), 14);
    EXPECT_EQ(cursor_texture_row(3, 2), 15);
    EXPECT_EQ(cursor_texture_row(4, 0), 16);
    EXPECT_EQ(cursor_texture_row(9, 7), 11);

    // Over a joint with a joint selected, in game: kind 2, pick cursor.
    EXPECT_EQ(update_cursor_state(1000, 0, 1, 1, 3, 0), 2);
    EXPECT_EQ(drawn_cursor.kind, 2);
    // Every 300 ms the frame steps, modulo 3.
    struct Step { int now, frame; } steps[] = {{1299, 0}, {1300, 1}, {1600, 2}, {1900, 0},
                                               {2850, 0}};
    for (const Step &st : steps) {
        update_cursor_state(st.now, 0, 1, 1, 3, 0);
        EXPECT_EQ(drawn_cursor.frame, st.frame) << st.now;
    }
    // 2850 left 50 ms over; 250 ms more make the next step.
    update_cursor_state(3099, 0, 1, 1, 3, 0);
    EXPECT_EQ(drawn_cursor.frame, 0);
    update_cursor_state(3100, 0, 1, 1, 3, 0);
    EXPECT_EQ(drawn_cursor.frame, 1);
    // Over a hand: kind 4, and the kind change restarts the animation.
    EXPECT_EQ(update_cursor_state(3110, 0, 1, 2, -1, 0), 2);
    EXPECT_EQ(drawn_cursor.kind, 4);
    EXPECT_EQ(drawn_cursor.frame, 0);
    // Hands whose rules forbid the grip cursor, a menu page, or no
    // commanding: kind and frame back to 0 with the arrow.
    struct Case { int menu, can, pick, joint, flags; } arrows[] = {
        {0, 1, 2, -1, RULE_FLAG_NO_GRIP_CURSOR}, {13, 1, 1, 3, 0}, {0, 0, 1, 3, 0},
        {0, 1, 1, -1, 0}, {0, 1, 0, 3, 0},
    };
    for (const Case &c : arrows) {
        drawn_cursor.kind = 2;
        drawn_cursor.frame = 1;
        EXPECT_EQ(update_cursor_state(3120, c.menu, c.can, c.pick, c.joint, c.flags), 1);
        EXPECT_EQ(drawn_cursor.kind, 0);
        EXPECT_EQ(drawn_cursor.frame, 0);
    }
}

struct WideCall {
    int font, x, y;
    std::vector<uint16_t> text;
};
std::vector<WideCall> wide_calls;

TEST(HudBoxedText, DrawsRowsInsideTheBoxOnly)
{
    hud_text = HudTextHooks();
    hud_text.wide_text_width = [](int, const uint16_t *t) {
        int n = 0;
        while (t[n])
            n++;
        return 10 * n;
    };
    hud_text.draw_wide_text = [](int font, float x, float y, const uint16_t *t) {
        WideCall c = {font, (int)x, (int)y, {}};
        for (int i = 0; t[i]; i++)
            c.text.push_back(t[i]);
        wide_calls.push_back(c);
    };
    auto text_of = [](const WideCall &c) { return std::string(c.text.begin(), c.text.end()); };

    wide_calls.clear();
    draw_boxed_text_8bit("aaaa bbbb cccc dddd", 2, 5, 100, 45, 50, 20);
    // The third row (140 to 160) would end past the box's bottom at 150.
    ASSERT_EQ(wide_calls.size(), 2u);
    EXPECT_EQ(text_of(wide_calls[0]), "aaaa");
    EXPECT_EQ(wide_calls[0].font, 2);
    EXPECT_EQ(wide_calls[0].x, 5);
    EXPECT_EQ(wide_calls[0].y, 100);
    EXPECT_EQ(text_of(wide_calls[1]), "bbbb");
    EXPECT_EQ(wide_calls[1].y, 120);

    // Fits: one line as it is. A box narrower than "W": one line too.
    wide_calls.clear();
    draw_boxed_text_8bit("short", 1, 0, 0, 500, 100, 20);
    draw_boxed_text_8bit("no room at all", 1, 0, 0, 5, 100, 20);
    ASSERT_EQ(wide_calls.size(), 2u);
    EXPECT_EQ(text_of(wide_calls[0]), "short");
    EXPECT_EQ(text_of(wide_calls[1]), "no room at all");

    // A long 8-bit text is cut to 256 units, never copied past the buffers.
    wide_calls.clear();
    std::string huge(3000, 'x');
    draw_boxed_text_8bit(huge.c_str(), 1, 0, 0, 10000, 100, 20);
    ASSERT_EQ(wide_calls.size(), 1u);
    EXPECT_EQ(wide_calls[0].text.size(), 256u);
    hud_text = HudTextHooks();
}

}   // namespace

TEST(HudMarks, DisqualificationMarkGrowsAndFades)
{
    MatchState saved = match_state;
    match_state = MatchState();
    match_state.match_frame = 50;
    GameRules rules = GameRules();
    rules.dqtimeout = 20;
    players[0].touch_time = 0;
    players[0].touch_last = 0;
    GroundImpact g = GroundImpact();
    g.frame = 50;
    g.countdown = GROUND_IMPACT_FRESH;
    float radius = -1;
    // fresh in its own frame: shown at full alpha, then it counts down
    EXPECT_FLOAT_EQ(dq_impact_step(&g, 0, &rules, &radius), 1.0f);
    EXPECT_FLOAT_EQ(radius, 0.0f);
    EXPECT_EQ(g.countdown, 99);
    EXPECT_NEAR(dq_impact_step(&g, 0, &rules, &radius), 0.99f * 0.99f * 0.99f, 1e-5);
    EXPECT_FLOAT_EQ(radius, 0.4f);
    g.countdown = 1;
    dq_impact_step(&g, 0, &rules, &radius);
    EXPECT_EQ(dq_impact_step(&g, 0, &rules, &radius), -1.0f);   // gone
    // a fresh mark of an earlier frame is not shown and does not count down
    g.countdown = GROUND_IMPACT_FRESH;
    g.frame = 10;
    EXPECT_EQ(dq_impact_step(&g, 0, &rules, &radius), -1.0f);
    EXPECT_EQ(g.countdown, GROUND_IMPACT_FRESH);
    // a touch going on in this frame: a sphere of 0.4 whose alpha grows to 1
    g.frame = 50;
    players[0].touch_last = 50;
    players[0].touch_time = 5;
    EXPECT_FLOAT_EQ(dq_impact_step(&g, 0, &rules, &radius), 0.25f);
    EXPECT_FLOAT_EQ(radius, 0.4f);
    players[0].touch_time = 40;
    EXPECT_FLOAT_EQ(dq_impact_step(&g, 0, &rules, &radius), 1.0f);
    players[0].touch_time = 0;
    players[0].touch_last = 0;
    match_state = saved;
}

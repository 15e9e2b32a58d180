// The message console: ring, word wrap, kinds and links, bounds, the
// hand-over from other threads, the banner's fade and the layout values.
#include <gtest/gtest.h>

#include "core/motors.h"
#include "core/motors.h"
#include "core/damage.h"
#include "core/world.h"

#include <cstring>
#include <pthread.h>
#include <string>
#include <vector>

#include "core/outward.h"
#include "core/records.h"
#include "core/text.h"
#include "platform/camera.h"
#include "render/hud.h"
#include "shell/console.h"
#include "shell/console_commands.h"
#include "shell/widgets.h"
#include "support/test_support.h"

namespace {

enum { ADVANCE = 8 };

int fixed_measure(const char16 *text) { return ADVANCE * str16_len(text); }

std::string narrow(const char16 *text)
{
    std::string s;
    for (int i = 0; text[i]; i++)
        s += (char)text[i];
    return s;
}

std::vector<std::string> stored()
{
    std::vector<std::string> out;
    for (int i = 0; i < message_console.line_count; i++)
        out.push_back(narrow(console_line(i)->text));
    return out;
}

class Console : public ::testing::Test {
protected:
    void SetUp() override
    {
        view_width = 800;
        view_height = 600;
        console_links = {};
        console_links.measure = fixed_measure;
        create_control_bar(800, 600);   // all hidden
        init_console_layout();
        compute_screen_layout(800, 600, ADVANCE, &screen_layout);
    }
    void TearDown() override { console_links = {}; }
};

TEST_F(Console, RingKeepsTheNewest128OldestFirst)
{
    for (int i = 0; i < 129; i++)
        echo_message_nohook(format_to_static("line %d", i), MSG_NONE, 1);
    auto lines = stored();
    ASSERT_EQ(lines.size(), 128u);
    for (int i = 0; i < 128; i++)
        EXPECT_EQ(lines[i], format_to_static("line %d", i + 1));
    EXPECT_EQ(message_console.head, 0);
    EXPECT_EQ(message_console.first, 1);
    // the list follows the newest line with four visible rows
    EXPECT_EQ(message_console.list.count, 128);
    EXPECT_EQ(message_console.list.visible_rows, 4);
    EXPECT_EQ(message_console.list.first, 124);

    clear_console();
    EXPECT_EQ(message_console.line_count, 0);
    EXPECT_EQ(message_console.head, -1);
    EXPECT_EQ(console_line(0), nullptr);
    echo_message_nohook("again", 0, 1);
    EXPECT_EQ(stored(), std::vector<std::string>{"again"});
}

TEST_F(Console, ListStandsAboveTheBottomWhileTheLinesFit)
{
    echo_message_nohook("a", 0, 1);
    echo_message_nohook("b", 0, 1);
    EXPECT_EQ(message_console.list.visible_rows, 2);
    EXPECT_EQ(message_console.list.first_y, 600 - 2 * 20 - 80);
    EXPECT_EQ(message_console.list.first, 0);
}

// No row runs under a visible button: the bars at the bottom lift the rows
// clear of their icons, and a row beside an icon at the left edge starts
// right of it. A hidden bar leaves the rows where they were.
TEST_F(Console, RowsStandClearOfTheVisibleButtons)
{
    for (int i = 0; i < 4; i++)
        echo_message_nohook("a line of the console", 0, 1);
    const int resting = 600 - 4 * 20 - 80;
    struct Case { const char *what; void (*show)(); int lift; } cases[] = {
        {"no bar", hide_all_buttons, 0},
        {"play bar", show_play_buttons, 44},     // icons of 64 standing at H - 60
        {"replay row", show_replay_buttons, 14}, // icons of 64 standing at H - 30
    };
    for (const Case &c : cases) {
        c.show();
        draw_console_lines(8, 80);
        const ScrollList *l = get_console_list();
        EXPECT_EQ(console_bar_lift(), c.lift) << c.what;
        EXPECT_EQ(l->first_y, resting - c.lift) << c.what;
        int rows_bottom = l->first_y + l->visible_rows * l->row_height;
        for (int b = 0; b < CONTROL_BUTTONS; b++) {
            const Button &btn = control_bar[b];
            if (btn.visible && btn.x >= 40)
                EXPECT_LE(rows_bottom, btn.y - btn.size) << c.what << " button " << b;
        }
    }

    // the ghost and help icons at the left edge, half-way down
    show_play_buttons();
    const Button &ghost = control_bar[CB_GHOST];
    EXPECT_GT(console_row_x(8, ghost.y - 20), ghost.x + ghost.size);
    EXPECT_GT(console_row_x(8, control_bar[CB_HELP].y - 20), ghost.x + ghost.size);
    EXPECT_EQ(console_row_x(8, ghost.y - ghost.size - 40), 8);   // a row well above them
    hide_all_buttons();
    EXPECT_EQ(console_row_x(8, ghost.y - 20), 8);
}

// The faded console keeps dark text faded but draws the server's light grey
// and the light link blue at full strength, readable over a white floor.
TEST_F(Console, LightColoursKeepTheirStrengthInTheFadedConsole)
{
    struct Case { int kind; float alpha; } cases[] = {
        {0, 0.6f}, {4, 0.6f}, {1, 1.0f}, {1 + CONSOLE_LINK_BIT, 0.6f},
    };
    for (const Case &c : cases)
        EXPECT_FLOAT_EQ(console_row_alpha(console_kind_colour(c.kind), 0.6f), c.alpha)
            << c.kind;
    EXPECT_FLOAT_EQ(console_row_alpha(CONSOLE_HOVER_COLOUR, 0.6f), 0.6f);
}

// The mouse hovers the row it stands on (a link there then opens on a
// click), over the whole width of the rows and nowhere above or below them.
TEST_F(Console, MouseHoversTheRowUnderIt)
{
    echo_message_nohook("a", 0, 1);
    echo_message_nohook("see www.example.com for more", 0, 1);
    ScrollList *l = get_console_list();
    int top = 600 - 2 * 20 - 80;
    struct Case {
        int x, y, hover;
    } cases[] = {
        {20, top + 5, 0}, {20, top + 25, 1}, {700, top + 39, 1}, {20, top - 1, -1},
        {20, top + 40, -1}, {2, top + 5, -1},
    };
    for (const Case &c : cases) {
        list_update_hover(l, c.x, c.y);
        EXPECT_EQ(l->hover, c.hover) << c.x << "," << c.y;
    }
}

// "help" asks for a chat window as tall as its 48 lines: the window gets the
// rows that fit under the scores, and its first row stays inside the window.
TEST_F(Console, TallChatWindowStaysInsideTheWindow)
{
    HudOutward saved = hud_outward;
    ChatWindow saved_chat = chat_window;
    hud_outward = {};
    bind_console();
    for (int i = 0; i < 48; i++)
        echo_message_nohook("help line", 0, 1);
    set_chat_lines(48);
    EXPECT_EQ(message_console.console_rows, console_window_rows(600));
    EXPECT_EQ(message_console.list.visible_rows, 19);
    EXPECT_GE(message_console.list.first_y, 100);
    // The newest lines are the ones shown.
    EXPECT_EQ(message_console.list.first, 48 - 19);
    EXPECT_EQ(console_window_rows(100), 1);
    hud_outward = saved;
    chat_window = saved_chat;
}

TEST_F(Console, WrapsToTheConsoleWidth)
{
    const int width = screen_layout.console_pixels;   // 632 pixels: 79 characters
    ASSERT_EQ(width, 800 - 16 * ADVANCE - 40);
    std::string words;
    for (int i = 0; words.size() < 280; i++)
        words += format_to_static("%sword%d", i ? " " : "", i);
    struct Case {
        std::string text;
        std::string joined;   // the stored pieces joined again
        const char *glue;
    } cases[] = {
        {std::string(400, 'x'), std::string(299, 'x'), ""},   // copied up to 299 units
        {words, words, " "},
        {"short line", "short line", ""},
    };
    for (const Case &c : cases) {
        clear_console();
        echo_message_nohook(c.text.c_str(), MSG_INGAME, 1);
        auto lines = stored();
        std::string joined;
        for (size_t i = 0; i < lines.size(); i++) {
            EXPECT_LE((int)lines[i].size() * ADVANCE, width) << lines[i];
            EXPECT_FALSE(lines[i].empty());
            EXPECT_NE(lines[i][0], ' ') << lines[i];
            joined += (i ? c.glue : "") + lines[i];
        }
        EXPECT_EQ(joined, c.joined);
        if (c.text.size() > 79) {
            EXPECT_GT(lines.size(), 1u);
        }
    }
    // no wrapping without a console width
    screen_layout.console_chars = 0;
    clear_console();
    echo_message_nohook(std::string(200, 'y').c_str(), 0, 1);
    EXPECT_EQ(stored().size(), 1u);
    EXPECT_EQ(console_line(0)->length, 200);
}

int measure_calls = 0;
int counting_measure(const char16 *text)
{
    measure_calls++;
    return ADVANCE * str16_len(text);
}

TEST_F(Console, WrapAlwaysMovesOnEvenWhenNothingFits)
{
    console_links.measure = counting_measure;
    struct Case {
        int pixels;          // console pixel width
        const char *text;
        int min_lines;
    } cases[] = {
        {4, "abcdef", 6},                       // not one character fits: one a line
        {50, "abcdefghijklmno", 3},             // a 15-character word, 6 fit a line
        {50, "ab cdefghijklmnopq rs", 3},       // a short word, then a long one
        {8, "  x  y  ", 2},                     // blanks around single characters
    };
    for (const Case &c : cases) {
        clear_console();
        screen_layout.console_chars = 10;
        screen_layout.console_pixels = c.pixels;
        measure_calls = 0;
        echo_message_nohook(c.text, 0, 1);
        auto lines = stored();
        EXPECT_GE((int)lines.size(), c.min_lines) << c.text;
        // the work is bounded by the text: a few measures per unit and piece
        int n = (int)strlen(c.text);
        EXPECT_LT(measure_calls, 4 * (n + 2) * (n + 2)) << c.text;
        std::string joined;
        for (const std::string &l : lines) {
            EXPECT_FALSE(l.empty()) << c.text;
            for (char ch : l)
                if (ch != ' ')
                    joined += ch;
        }
        std::string expected;
        for (const char *q = c.text; *q; q++)
            if (*q != ' ')
                expected += *q;
        EXPECT_EQ(joined, expected) << c.text;
    }
}

TEST_F(Console, LinkLinesKeepTheirKindAndOpenWithoutAShell)
{
    clear_console();
    echo_message_nohook("url http://a.org/x", MSG_URL, 1);
    EXPECT_EQ(get_console_line_kind(0), MSG_URL);
    EXPECT_TRUE(console_line(0)->link);
    EXPECT_EQ(get_console_line_kind(5), -1);

    static std::vector<std::string> argv_seen;
    static std::string path_seen;
    argv_seen.clear();
    console_command_outward.spawn = [](const char *path, char *const argv[], int search) {
        path_seen = path;
        EXPECT_EQ(search, 1);
        for (int i = 0; argv[i]; i++)
            argv_seen.push_back(argv[i]);
        return 0;
    };
    console_command_outward.fullscreen_state = nullptr;
    echo_message_nohook("join www.evil.org/$(reboot);rm`id` now", MSG_PLAYER, 1);
    EXPECT_EQ(open_console_link(1), 1);
    EXPECT_EQ(path_seen, "mozilla");
    // the link up to the blank, as one argument: nothing reads it as a command
    EXPECT_EQ(argv_seen, (std::vector<std::string>{"mozilla", "http://www.evil.org/$(reboot);rm`id`"}));
    echo_message_nohook("no link here", 0, 1);
    argv_seen.clear();
    EXPECT_EQ(open_console_link(2), 0);
    EXPECT_TRUE(argv_seen.empty());
    EXPECT_EQ(launch_browser(nullptr), 3);
    EXPECT_EQ(launch_browser("-remote x"), 1);
    EXPECT_EQ(launch_browser("http://a b"), 1);
    EXPECT_TRUE(argv_seen.empty());
    console_command_outward.spawn = nullptr;
}

TEST_F(Console, KindsColoursAndLinks)
{
    struct Case {
        const char *text;
        int kind;
        int kind_word;
        int colour;
    } cases[] = {
        {"plain", 0, 0, 59},           {"server", 1, 1, 60},
        {"url kind", 2, 2, 59},        {"in game", 4, 4, 62},
        {"user", 8, 8, 64},            {"player", 16, 16, 65},
        {"see http://a.org", 1, 3, 61}, {"go www.b.com now", 4, 6, 63},
        {"http://x.y", 8, 10, 66},     {"www.p.q", 16, 18, 66},
        {"http://.org", 1, 1, 60},     {"www.nodot", 4, 4, 62},
        {"http:// a.b", 0, 0, 59},
    };
    for (const Case &c : cases) {
        clear_console();
        echo_message_nohook(c.text, c.kind, 1);
        const ConsoleLine *line = console_line(0);
        ASSERT_NE(line, nullptr) << c.text;
        EXPECT_EQ(line->kind, c.kind_word) << c.text;
        EXPECT_EQ(line->colour, c.colour) << c.text;
    }
    struct LinkCase {
        const char *text;
        const char *link;
        int result;
    } links[] = {
        {"see http://a.org/x now", "http://a.org/x", 0},
        {"go www.b.com", "http://www.b.com", 0},
        {"nothing here", "", 1},
    };
    for (const LinkCase &c : links) {
        char16 wide[64];
        local_to_utf16(wide, c.text, (int)strlen(c.text));
        char out[64];
        EXPECT_EQ(link_of(wide, out, sizeof out), c.result) << c.text;
        EXPECT_STREQ(out, c.link);
    }
    char16 wide[64];
    local_to_utf16(wide, "http://abcdefgh.org", 19);
    char tiny[8];
    EXPECT_EQ(link_of(wide, tiny, sizeof tiny), 0);
    EXPECT_STREQ(tiny, "http://");
}

int hook_result = 0;
int hook_calls = 0;
pthread_t hook_thread;
int on_console_hook(const char16 *, int)
{
    hook_calls++;
    hook_thread = pthread_self();
    return hook_result;
}

TEST_F(Console, HookAndBounds)
{
    console_links.hook_console = on_console_hook;
    hook_calls = 0;
    hook_result = 7;
    char16 text[4] = {'a', 'b', 0, 0};
    EXPECT_EQ(add_console_line(text, 0, 0), 7);
    EXPECT_EQ(message_console.line_count, 0);
    EXPECT_EQ(add_console_line(text, 0, 1), 0);   // the hook is skipped
    EXPECT_EQ(hook_calls, 1);
    hook_result = 0;
    console_echo("kept", 0);
    EXPECT_EQ(hook_calls, 2);
    EXPECT_EQ(stored(), (std::vector<std::string>{"ab", "kept"}));

    // null texts, an over-long text without a width, the full length
    console_links.hook_console = nullptr;
    clear_console();
    echo_message_nohook(nullptr, 0, 1);
    echo_wide(nullptr, 0);
    EXPECT_EQ(add_console_line(nullptr, 0, 1), 0);
    EXPECT_EQ(message_console.line_count, 0);
    screen_layout.console_pixels = 0;
    std::string big(1000, 'z');
    echo_message_nohook(big.c_str(), 0, 1);
    ASSERT_EQ(message_console.line_count, 1);
    EXPECT_EQ(str16_len(console_line(0)->text), CONSOLE_LINE_UNITS - 1);
    EXPECT_EQ(console_line(0)->length, CONSOLE_LINE_UNITS - 1);
    EXPECT_EQ(console_line(-1), nullptr);
    EXPECT_EQ(console_line(1), nullptr);
}

void *worker_echo(void *)
{
    for (int i = 0; i < 40; i++)
        echo_message(format_to_static("lost contact %d", i), MSG_INGAME);
    return nullptr;
}

TEST_F(Console, OtherThreadsHandLinesOver)
{
    CoreOutward saved = core_outward;
    core_outward = {};
    bind_console();
    console_links.hook_console = on_console_hook;
    hook_calls = 0;
    hook_result = 0;
    pthread_t t;
    ASSERT_EQ(pthread_create(&t, nullptr, worker_echo, nullptr), 0);
    pthread_join(t, nullptr);
    // nothing touched the ring or the hook on the worker
    EXPECT_EQ(message_console.line_count, 0);
    EXPECT_EQ(hook_calls, 0);
    // the main thread stores what fits in the queue, in order
    EXPECT_EQ(drain_console_queue(), CONSOLE_QUEUE_LINES);
    auto lines = stored();
    ASSERT_EQ(lines.size(), (size_t)CONSOLE_QUEUE_LINES);
    for (int i = 0; i < CONSOLE_QUEUE_LINES; i++)
        EXPECT_EQ(lines[i], format_to_static("lost contact %d", i));
    EXPECT_EQ(hook_calls, CONSOLE_QUEUE_LINES);
    EXPECT_TRUE(pthread_equal(hook_thread, pthread_self()));
    EXPECT_EQ(drain_console_queue(), 0);
    core_outward = saved;
}

TEST_F(Console, BannerFadesInItsLastSecondThenClears)
{
    frame_tick = 1000;
    std::string longer(300, 'b');
    show_banner(2, 62, 3, "ROUND", longer.c_str(), nullptr, 0, -1);
    EXPECT_EQ((int)strlen(banner_lines[1]), BANNER_TEXT - 1);
    EXPECT_STREQ(banner_lines[2], "");
    struct Step {
        int now;
        float alpha;
    } steps[] = {{1000, 1.0f}, {3000, 1.0f}, {3500, 0.5f}, {3900, 0.1f}, {4000, -1.0f}};
    for (const Step &s : steps)
        EXPECT_NEAR(banner_alpha(s.now), s.alpha, 1e-4) << s.now;
    EXPECT_STREQ(banner_lines[0], "");
    EXPECT_EQ(banner_alpha(1000), -1.0f);
}

TEST_F(Console, JointStateLineWhileTheGameWaits)
{
    // A built match: the line reads what the player set, also after the
    // frame step has turned the command into the hinge's motor.
    game_init();
    MatchState saved_match = match_state;
    int saved_player = selected_player, saved_joint = selected_joint, saved_mode = replay_mode;
    replay_mode = REPLAY_LIVE;
    game_type = 0;
    struct Case {
        int paused, player, joint, state;
        const char *line;   // null: no line
    } cases[] = {
        {1, 0, 0, 3, "HOLDING NECK"},
        {1, 1, 5, 1, "LOWERING RIGHT SHOULDER"},
        {1, 0, 1, 2, "LEFT ROTATING CHEST"},
        {1, 0, 19, 4, "RELAXING LEFT ANKLE"},
        {1, 0, 17, 3, "HOLDING LEFT KNEE"},
        {0, 0, 0, 3, nullptr},    // the game runs
        {1, -1, 0, 3, nullptr},   // no fighter selected
        {1, 0, -1, 3, nullptr},   // no joint selected
        {1, 0, 20, 3, nullptr},   // outside the joints
        {1, 9, 0, 3, nullptr},    // outside the fighters
    };
    for (const Case &c : cases) {
        for (int applied = 0; applied < 2; applied++) {
            match_state.game_paused = c.paused;
            match_state.ghost_mode = 0;
            selected_player = c.player;
            selected_joint = c.joint;
            if (c.player >= 0 && c.player < 2 && c.joint >= 0 && c.joint < NUM_JOINTS) {
                set_commanded_joint_state(c.player, c.joint, c.state);
                // the frame step applies the command and clears the field
                if (applied)
                    apply_joint_states();
            }
            char out[96];
            int r = joint_state_line_text(out, sizeof out);
            if (c.line) {
                EXPECT_EQ(r, 0) << c.line;
                EXPECT_STREQ(out, c.line) << "applied " << applied;
            } else {
                EXPECT_NE(r, 0) << c.player << " " << c.joint;
                EXPECT_STREQ(out, "");
            }
        }
    }
    match_state = saved_match;
    selected_player = saved_player;
    selected_joint = saved_joint;
    replay_mode = saved_mode;
    game_shutdown();
}

TEST(ConsoleLayout, ValuesFollowTheWindow)
{
    struct Case {
        int w, h, adv;
        int chars, pixels, rows, base;
    } cases[] = {
        {800, 600, 8, 66, 632, 19, 23},
        {640, 480, 10, 30, 440, 13, 20},
        {1024, 768, 8, 94, 856, 27, 135},
        {755, 400, 0, 707, 699, 9, 20},   // a zero advance counts as 1
    };
    for (const Case &c : cases) {
        ScreenLayout l;
        compute_screen_layout(c.w, c.h, c.adv, &l);
        EXPECT_EQ(l.console_chars, c.chars) << c.w;
        EXPECT_EQ(l.console_pixels, c.pixels) << c.w;
        EXPECT_EQ(l.hud_rows, c.rows) << c.w;
        const int offsets[6] = {0, 30, 330, 520, 620, 740};
        for (int i = 0; i < 6; i++)
            EXPECT_EQ(l.hud_columns[i], c.base + offsets[i]) << c.w;
    }
}

}  // namespace

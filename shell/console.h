// The message console: a ring of 128 word-wrapped 16-bit lines coloured by
// message kind, with web links marked; the centre banner (three lines with a
// duration and a fade); the console and HUD column layout; and the hand-over
// of lines reported on other threads to the main thread.
#pragma once

#include <cstdint>

#include "core/text.h"
#include "shell/app.h"

enum {
    CONSOLE_LINES = 128,
    CONSOLE_LINE_UNITS = 300,     // the last unit is always 0
    CONSOLE_LINK_BIT = 2,         // added to the kind when the line holds a link
    CONSOLE_KEEP_BIT = 0x10,      // the list does not follow this line
    CONSOLE_ROW_HEIGHT = 20,
    CONSOLE_LIST_X = 8,
    CONSOLE_HOVER_COLOUR = 67,
    CONSOLE_QUEUE_LINES = 32,     // lines waiting from other threads
    CONSOLE_QUEUE_BYTES = 256
};

struct ConsoleLine {
    char16 text[CONSOLE_LINE_UNITS];
    uint16_t length;
    int kind;           // message kind (low byte) + link bit: picks the colour
    int message_kind;   // the kind as echoed
    int link;           // 1 when the text holds a web link
    int colour;         // palette row
};

struct MessageConsole {
    ConsoleLine lines[CONSOLE_LINES];
    int line_count;   // 0..128
    int head;         // newest line, -1 when empty
    int first;        // oldest line once the ring has wrapped (head + 1)
    int hover_link;   // hovered link line, -1
    // the console's own list: one row per stored line; its x, first_y and
    // row_height are where the rows are drawn and where the mouse hovers them
    ScrollList list;
    int console_rows;           // visible rows
    int compact_rows, full_rows;
    float alpha, alpha_target;  // 0.6 compact, 1.0 full
    int keep_position;
};
extern MessageConsole message_console;

// Layout values of the window (layout_screen).
struct ScreenLayout {
    int console_chars;   // console width in characters
    int console_pixels;  // console pixel width
    int hud_rows;
    int hud_columns[6];
};
extern ScreenLayout screen_layout;

// How far the console's rows are lifted clear of the visible bars at the
// bottom, and where a row whose top is at row_y starts when an icon at the
// left edge stands beside it (x otherwise).
int console_bar_lift();
int console_row_x(int x, int row_y);

// The alpha a console row in this palette colour is drawn at: the list's,
// or 1.0 for a light colour that would fade into a light background.
float console_row_alpha(int colour, float list_alpha);

// Where the console reaches further: the scripts' console hook (non-zero
// drops the line) and the measure of a 16-bit text in font 1 (empty: the
// TrueType text's measure).
struct ConsoleLinks {
    int (*hook_console)(const char16 *text, int kind);
    int (*measure)(const char16 *text);
};
extern ConsoleLinks console_links;

// ---- lines ---------------------------------------------------------------------
// 8-bit text (at most 299 units stored) of a message kind. Off the main
// thread the line is queued and stored by the main thread later.
void console_echo(const char *text, int kind);
void echo_message_nohook(const char *text, int kind, int skip_hook);
void echo_wide(const char16 *text, int kind);
// Offers the line to the console hook (skip_hook 0), then wraps and stores
// it. Returns the hook's non-zero result when it dropped the line, else 0.
int add_console_line(const char16 *text, int kind, int skip_hook);
void store_console_line(const char16 *text, int kind);
void clear_console();
// Stores the lines that other threads queued (main thread); returns how many.
int drain_console_queue();
// The thread whose lines go straight into the ring (init_console_layout
// takes the calling thread).
void set_console_main_thread();
// Palette row of a kind word.
int console_kind_colour(int kind_word);
// 1 when the text holds "http://" or "www." followed by a letter or digit
// and a later ".".
int console_has_link(const char16 *text);
// The oldest-first i-th stored line (0 .. line_count - 1); null outside.
const ConsoleLine *console_line(int i);
// The link of a text into out (size bytes): from "http://" (or "www." with
// "http://" put before it) to the next blank; 0 when there was one.
int link_of(const char16 *text, char *out, int size);

// ---- layout and drawing ----------------------------------------------------------
void compute_screen_layout(int width, int height, int advance, ScreenLayout *out);
// The most rows the chat window may show in a window of this height.
int console_window_rows(int height);
void layout_screen(int colour_too);
void init_console_layout();
ScrollList *get_console_list();
int get_console_line_count();
// The message kind of the oldest-first line i (link mark removed); -1 outside.
int get_console_line_kind(int i);
// The console line whose link is under the mouse; null when none.
const ConsoleLine *get_hovered_link_line();
// Opens the link of the oldest-first line i in the browser (never through a
// shell); 1 when the line held one.
int open_console_link(int line);
// The console's list emptied (shut-down).
void free_console_list();
// Places the console's rows: left edge, top of the first row, row height
// (the rows reach to the window's right edge).
void place_console_rows(int x, int first_y, int row_height);
void draw_console_lines(int x, int y);
void draw_menu_screen();
void draw_hint_line();
// The hint of the moment (null: none).
const char *hint_line_text();
// The two fighters' names (font 2, y 50), online with their belt lines.
void draw_name_lines();
// Online: fighter p's belt line ("%s Belt, Rank %i" or "%s Belt, Unranked")
// from its bout entry; 1 when the fighter has none.
int belt_line_text(int p, char *out, int size);
// A winning streak as the row of stars under a fighter's belt line: one
// "*" a win for 1 to 13, 13 for 14, 14 for 15, "MANY" above; 1 (and an
// empty text) for 0 or less.
int streak_stars_text(int value, char *out, int size);
// The equipment line: "h - long ghost   j - turnframe ghost   k - slow
// ghost" for the ghost runs the local user's equipment unlocks; 1 (empty
// text) when it unlocks none. Drawn bottom right, in game.
int equipment_line_text(char *out, int size);
void draw_equipment_line();
// The one-row "Say" box of the chat input at (x, y): when forced, or on the
// say page (menu 16).
void draw_say_box_row(int x, int y, int force);
// The selected joint's "<state> <joint>" line while the game waits for a
// move (offline); 0 when out (size bytes) holds a line to show.
int joint_state_line_text(char *out, int size);
void draw_joint_state_line();

// ---- banner ----------------------------------------------------------------------
struct Banner {
    int font, colour, shadow;   // shadow -1: none
    int32_t end_ms;
    int seconds;
};
extern Banner banner;
void show_banner(int font, int colour, int seconds, const char *line1, const char *line2,
                 const char *line3, int pause, int shadow);
// The banner's alpha at frame-clock time now (1.0, fading to 0 in the last
// second); clears the lines once past the end and returns -1 when nothing
// is shown.
float banner_alpha(int32_t now);
void draw_banner();

// Points core_outward.echo, the banner slot, the HUD's console slots and the
// console's game_links at this module (only slots still empty).
void bind_console();

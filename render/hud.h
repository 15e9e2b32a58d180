// HUD and overlay pieces: display names of joints and joint motions, the
// text colour sets, the chat-window height, the help pages, the match HUD
// (scores, frames left, turn entry, replay title) and boxed UTF-16 text. The 2D pieces draw between begin_2d and end_2d through
// the text hooks below, which the shell's TrueType text fills.
#pragma once

#include <cstdint>

struct GameRules;
struct MatchState;

// Text drawing as the shell provides it (fonts 0, 1, 2). Empty slots draw
// nothing and measure 0.
struct HudTextHooks {
    void (*draw_text)(int slot, float x, float y, const char *text);
    void (*draw_text_right)(int slot, int x, int y, const char *text);
    void (*draw_text_centred)(int slot, int y, const char *text);
    void (*draw_wide_text)(int slot, float x, float y, const uint16_t *text);
    int (*font_height)(int slot);
    int (*text_width)(int slot, const char *text);
    int (*wide_text_width)(int slot, const uint16_t *text);
};
extern HudTextHooks hud_text;

// Where the HUD reaches state beyond the match records. Empty slots read 0
// (replay_shown: replay_mode is not live).
struct HudOutward {
    int (*replay_shown)();            // a replay is on screen
    int (*is_connected)();            // the game-server connection is up
    int (*console_line_count)();      // lines the console holds
    int (*console_capacity)();        // lines the console can hold
    void (*console_set_rows)(int rows, int x, int first_row_y, int row_height);
    void (*console_scroll)(int position);   // -1: last row
    const char *(*replay_title)();
    const char *(*replay_author)();
    int (*menu_state)();              // 0 in game, 16 the multiplayer page
};
extern HudOutward hud_outward;

// ---- names ----------------------------------------------------------------
const char *joint_display_name(int joint);
const char *joint_state_display_name(int state, int joint);

// ---- text colours ---------------------------------------------------------
// The current text, highlighted and background/disabled colour slots
// (palette rows).
struct TextColourSet {
    int text, background, selected, disabled;
};
extern TextColourSet text_colours;
void use_text_colors();
void use_menu_text_colors();

// ---- chat window ----------------------------------------------------------
struct ChatWindow {
    int compact_lines;   // 4
    int full_lines;      // 10
    int visible_lines;
    float alpha;         // 0.6 compact, 1.0 full
};
extern ChatWindow chat_window;
void set_chat_lines(int n);
int compact_chat_lines_setting();
int full_chat_lines_setting();
int get_console_visible_lines();

// ---- banner ---------------------------------------------------------------
enum { BANNER_LINES = 3, BANNER_TEXT = 256 };
extern char banner_lines[BANNER_LINES][BANNER_TEXT];
void clear_banner();

// ---- help pages -----------------------------------------------------------
enum { HELP_MULTIPLAYER = 0, HELP_REPLAY = 1, HELP_SINGLE = 2 };
// The page's lines, title first; *count receives the number of lines.
const char *const *help_page_lines(int page, int *count);
int help_page_for_situation();
void draw_help_overlay();

// ---- match HUD ------------------------------------------------------------
int hud_online_game();
void draw_replay_title();
void draw_hud_scores();
// The frames left in the match as drawn ("0" when none are left or the game
// is over); out holds at least 16 bytes.
void frames_left_text(const MatchState *match, const GameRules *rules, char *out, int size);
// The turnframes entry of the current turn, or -1 when no entry is shown.
int current_turn_entry(const MatchState *match, const GameRules *rules);
void draw_turn_timer(const GameRules *rules);
// Everything of the match HUD that the frame composition draws.
void draw_match_hud(const GameRules *rules);

// ---- boxed text -----------------------------------------------------------
enum { BOXED_TEXT_UNITS = 256, BOXED_WORD_CUT = 20 };
// Breaks text (at most 256 units) into lines no wider than width: starts
// and lengths of each line (units of text) go to starts/lengths, at most
// max_lines; returns the number of lines. width_of measures a run of units.
int break_boxed_text(const uint16_t *text, int width,
                     int (*width_of)(const uint16_t *units, int n, void *user), void *user,
                     int *starts, int *lengths, int max_lines);
void draw_boxed_text(int font, int x, int y, int width, int height, int line_height,
                     const uint16_t *text);
void draw_boxed_text_8bit(const char *text, int font, int x, int y, int width, int height,
                          int line_height);

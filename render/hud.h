// HUD and overlay pieces: display names of joints and joint motions, the
// text colour sets, the chat-window height, the help pages, the match HUD
// (scores, frames left, turn entry, replay title), the name list, the
// spectator list, the drawn cursor, text input rows and boxed UTF-16 text.
// The 2D pieces draw between begin_2d and end_2d through the text hooks
// below, which the shell's TrueType text fills.
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
    int (*match_result_valid)();      // online: the match result has arrived
    // The spectator names and the rows the list moves down (below the bout
    // list's names).
    int (*spectator_count)();
    const char *(*spectator_name)(int i);
    int (*spectator_offset)();
    // A fighter's display text for the name row (empty: none).
    const char *(*fighter_display_text)(int player);
    int (*avatar_view_shown)();
    // The drawn cursor: whether joints may be commanded now, what the
    // pointer is over (0 nothing, 1 a joint, 2 a hand), and the system
    // cursor to show (1 the arrow, 2 the pick cursor).
    int (*can_command_joint)();
    int (*pick_kind)();
    void (*set_system_cursor)(int which);
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
// The font a score's text is drawn in: 0, or the smaller 2 and then 1 when
// it would reach past its quarter of the window's width.
int score_font(const char *text);
// With two fighters, each score over its own fighter's name: the first
// fighter's at the top right, the second's at the top left.
void draw_hud_scores();
// The frames left in the match as drawn ("0" when none are left or the game
// is over); out holds at least 16 bytes.
void frames_left_text(const MatchState *match, const GameRules *rules, char *out, int size);
// The turnframes entry of the current turn, or -1 when no entry is shown.
int current_turn_entry(const MatchState *match, const GameRules *rules);
// The frames left in the match centred at the top (font 0), the turn's
// entry under them at turn_entry_y (50, or lower when font 0 is taller).
void draw_turn_timer(const GameRules *rules);
// The fighter whose timer colour the turn dial wears: the own fighter
// online, else fighter 0.
int timer_dial_player();
// The alert word: frame_tick when the latest online turn alert began (0:
// none). For a short while after it the turn dial flashes.
extern int32_t turn_alert_tick;
void reset_turn_alert(int32_t now);
// 1 while the turn dial is in a bright phase of the flashing cue at now.
int turn_cue_bright(int32_t now);
int turn_entry_y();
// The fighters' names and scores down both sides (font 2).
void draw_hud_name_list();
// Which side (0 left, 1 right) each of the count fighters goes to, in
// drawing order (order[k] is the k-th fighter drawn); returns count.
int name_list_sides(const MatchState *match, const GameRules *rules, int order[4],
                    int side[4]);
void draw_hud_names();
// Online only: the spectator names, "..." when the window is too short.
void draw_spectator_list();
// Adds strength x 3000 to the camera shake, at most 2000 in all.
void add_camera_shake(float strength);
// One row of a text form: label, ": ", the text (or one "*" a character),
// and a caret blinking every 500 ms on the focused row.
void draw_text_input_box(int x, int y, const char *label, const char *text, int focused,
                         int masked);
// The caret's blink, shared by every text row: shown or not, and the
// frame-clock time of its next change (0: not started; the first row drawn
// starts it 500 ms on).
struct TextCaret {
    int next_toggle;
    int on;
};
extern TextCaret text_caret;
// The row as drawn at frame-clock time now (label, text, caret).
void text_input_box_line(const char *label, const char *text, int focused, int masked, int now,
                         char *out, int size);
// Everything of the match HUD that the frame composition draws.
void draw_match_hud(const GameRules *rules);

// ---- drawn cursor ---------------------------------------------------------
struct DrawnCursor {
    int in_use;          // set_custom_cursor
    int visible;         // cleared while the mouse is grabbed
    int frame;           // animation frame 0..2
    int accumulated;     // ms towards the next frame
    int last_tick;       // frame clock of the previous call
    int kind;            // row set, 0..4 (starts at 1)
};
extern DrawnCursor drawn_cursor;
enum { CURSOR_FRAME_MS = 300, RULE_FLAG_NO_GRIP_CURSOR = 1 << 2 };
void set_custom_cursor(int on);
// The TextureTable row of a cursor kind and frame.
int cursor_texture_row(int kind, int frame);
// Advances the animation to time now and picks the kind for the current
// menu page and pointer; returns the system cursor to show (1 or 2).
int update_cursor_state(int now, int menu, int can_command, int pick, int joint, int rule_flags);
void draw_mouse_cursor();

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

// ---- debug panel, icons, marks, speeds -------------------------------------------
// The debug panel's lines for the selected joint and body (128 bytes
// each); returns how many were written.
int debug_overlay_lines(char lines[][128], int max_lines);
void draw_debug_overlay();
// With at most two fighters, each fighter whose two-colour icon texture is
// made (its customs' two icon colours) gets a small rocking capsule in its
// corner view.
void draw_hud_player_icons();
struct GroundImpact;
// One drawn frame of a fighter's mark: the alpha (-1: not drawn) and the
// sphere's radius; a fading mark counts down.
float dq_impact_step(GroundImpact *impact, int player, const GameRules *rules, float *radius);
void draw_dq_impacts();
// The speed of a fighter's fastest body now.
double fighter_top_speed(int player);
void draw_speedometer();
// The fighter's joint spheres (radius 0.1) in its joint colour at alpha 0.5.
void draw_joint_spheres(int player);

#include "render/hud.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include <SDL/SDL.h>

#include "core/outward.h"
#include "core/ground_impacts.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/text.h"
#include "platform/camera.h"
#include "render/gl_draw.h"
#include "render/fighter_draw.h"
#include "render/scene.h"
#include "render/texture.h"

HudTextHooks hud_text = {};
HudOutward hud_outward = {};

// ---- names ---------------------------------------------------------------------

static const char *const joint_display_names[NUM_JOINTS] = {
    "NECK", "CHEST", "LUMBAR", "ABS", "RIGHT PECS", "RIGHT SHOULDER", "RIGHT ELBOW",
    "LEFT PECS", "LEFT SHOULDER", "LEFT ELBOW", "RIGHT WRIST", "LEFT WRIST", "RIGHT GLUTE",
    "LEFT GLUTE", "RIGHT HIP", "LEFT HIP", "RIGHT KNEE", "LEFT KNEE", "RIGHT ANKLE",
    "LEFT ANKLE"};

const char *joint_display_name(int joint)
{
    if (joint < 0 || joint >= NUM_JOINTS)
        return "XXX";
    return joint_display_names[joint];
}

// Columns of the forward and back motion names: joint 1, joint 2, the
// contracting group, the shoulders, every other joint.
enum { MOTION_CHEST, MOTION_LUMBAR, MOTION_CONTRACT, MOTION_SHOULDER, MOTION_OTHER };

struct MotionNames {
    const char *forward;
    const char *back;
};
static const MotionNames motion_names[5] = {
    {"RIGHT ROTATING", "LEFT ROTATING"},
    {"RIGHT BENDING", "LEFT BENDING"},
    {"CONTRACTING", "EXTENDING"},
    {"LOWERING", "RAISING"},
    {"EXTENDING", "CONTRACTING"},
};

static int motion_column(int joint)
{
    switch (joint) {
    case 1: return MOTION_CHEST;
    case 2: return MOTION_LUMBAR;
    case 3: case 12: case 13: case 14: case 15: case 18: case 19: return MOTION_CONTRACT;
    case 5: case 8: return MOTION_SHOULDER;
    default: return MOTION_OTHER;
    }
}

const char *joint_state_display_name(int state, int joint)
{
    switch (state) {
    case MOTOR_FWD: return motion_names[motion_column(joint)].forward;
    case MOTOR_BACK: return motion_names[motion_column(joint)].back;
    case MOTOR_HOLD: return "HOLDING";
    case MOTOR_RELAX: return "RELAXING";
    default: return "???";
    }
}

// ---- text colours --------------------------------------------------------------

TextColourSet text_colours = {51, 52, 53, 54};


static void select_colour_set(int first)
{
    text_colours.text = first;
    text_colours.background = first + 1;
    text_colours.selected = first + 2;
    text_colours.disabled = first + 3;
    text_colour_index = first;   // the scene's dojo outline follows the text colour
    float rgb[3];
    palette_rgb(text_colours.background, rgb);
    set_clear_color(rgb);
}

void use_text_colors() { select_colour_set(51); }
void use_menu_text_colors() { select_colour_set(55); }

static void draw_palette_colour(int index, float alpha)
{
    float rgb[3];
    palette_rgb(index, rgb);
    set_draw_color(rgb[0], rgb[1], rgb[2], alpha);
}

// ---- chat window ---------------------------------------------------------------

enum { CHAT_COMPACT_LIMIT = 5, CHAT_DEFAULT_CAPACITY = 100 };

ChatWindow chat_window = {4, 10, 4, 0.6f};

int compact_chat_lines_setting() { return chat_window.compact_lines; }
int full_chat_lines_setting() { return chat_window.full_lines; }
int get_console_visible_lines() { return chat_window.visible_lines; }

static int console_lines_held()
{
    return hud_outward.console_line_count ? hud_outward.console_line_count() : 0;
}

void set_chat_lines(int n)
{
    int explicit_height = n > 0;
    if (!explicit_height) {
        if (chat_window.alpha < 1.0f) {
            chat_window.alpha = 1.0f;
            chat_window.visible_lines = chat_window.full_lines;
        } else {
            chat_window.alpha = 0.6f;
            chat_window.visible_lines = chat_window.compact_lines;
        }
        if (console_lines_held() < chat_window.compact_lines && hud_outward.console_scroll)
            hud_outward.console_scroll(0);
    } else {
        int capacity = hud_outward.console_capacity ? hud_outward.console_capacity()
                                                    : CHAT_DEFAULT_CAPACITY;
        if (capacity < 1)
            capacity = 1;
        if (n > capacity)
            n = capacity;
        if (n < CHAT_COMPACT_LIMIT) {
            chat_window.alpha = 0.6f;
            chat_window.compact_lines = n;
        } else {
            chat_window.alpha = 1.0f;
            chat_window.full_lines = n;
        }
        chat_window.visible_lines = n;
    }
    int rows = chat_window.visible_lines;
    int held = console_lines_held();
    int shown = held < rows ? held : rows;
    if (hud_outward.console_set_rows)
        hud_outward.console_set_rows(rows, 8, view_height - 20 * shown - 80, 20);
    if (explicit_height && hud_outward.console_scroll)
        hud_outward.console_scroll(-1);
}

// ---- banner --------------------------------------------------------------------

char banner_lines[BANNER_LINES][BANNER_TEXT];

void clear_banner()
{
    for (int i = 0; i < BANNER_LINES; i++)
        banner_lines[i][0] = '\0';
}

// ---- help pages ----------------------------------------------------------------

static const char *const help_multiplayer[] = {
    "HELP - Multi Player", "While playing:", "Select a joint by pointing it",
    "z - Toggle force  ,  x - Toggle hold/relax",
    "c - Hold all/Relax all  ,  'space' - End your turn",
    "l (at a wrist) or click a hand - Grip / let go", "Emotes: type /emote I win!", "",
    "To spectate: type /spec", "To re-join: type /enter", "",
    "Enter or t - Start chat / Console", "TAB - enlarge / shrink chat window",
    "g, b - Toggle ghosts", "f - Save replay", "Ctrl-Enter - Toggle full screen",
    "F8 - Take screenshot"};
static const char *const help_replay[] = {
    "HELP - Replays", "'space' or Ctrl-n - New game", "Enter or t - Start console",
    "p - Pause / play", "r - Restart replay", "Ctrl-[, ] - Previous, next replay",
    "f - Save replay", "e - Edit replay", "Ctrl-Enter - Toggle full screen",
    "F8 - Take screenshot"};
static const char *const help_single[] = {
    "HELP - Single Player", "Select a joint by pointing it", "z - Toggle force",
    "x - Toggle hold/relax", "c - Hold all/Relax all",
    "l (at a wrist) or click a hand - Grip / let go", "'space' - End turn",
    "shift + space - step 1 frame", "Enter or t - Start console", "g, b - Toggle ghosts",
    "p - Play to end / pause", "r - Start replay", "Ctrl-n - New game",
    "Ctrl-Enter - Toggle full screen", "F8 - Take screenshot"};

struct HelpPage {
    const char *const *lines;
    int count;
};
static const HelpPage help_pages[3] = {
    {help_multiplayer, (int)(sizeof help_multiplayer / sizeof *help_multiplayer)},
    {help_replay, (int)(sizeof help_replay / sizeof *help_replay)},
    {help_single, (int)(sizeof help_single / sizeof *help_single)},
};

const char *const *help_page_lines(int page, int *count)
{
    if (page < 0 || page > 2)
        page = HELP_SINGLE;
    if (count)
        *count = help_pages[page].count;
    return help_pages[page].lines;
}

static int replay_shown()
{
    return hud_outward.replay_shown ? hud_outward.replay_shown() : replay_mode != REPLAY_LIVE;
}

int hud_online_game()
{
    return game_type == 1 && hud_outward.is_connected && hud_outward.is_connected();
}

int help_page_for_situation()
{
    if (hud_online_game())
        return HELP_MULTIPLAYER;
    if (replay_shown())
        return HELP_REPLAY;
    return HELP_SINGLE;
}

void draw_help_overlay()
{
    int count = 0;
    const char *const *lines = help_page_lines(help_page_for_situation(), &count);
    draw_palette_colour(text_colours.background, 0.7f);
    draw_partial_disk_2d((float)view_width / 2.0f, 280.0f, 0.0f, 240.0f, 32, 2, 0.0f, 360.0f, 1);
    draw_palette_colour(text_colours.text, 1.0f);
    if (hud_text.draw_text_centred) {
        hud_text.draw_text_centred(2, 80, lines[0]);
        for (int i = 1; i < count; i++) {
            int y = 130 + 25 * (i - 1);
            hud_text.draw_text_centred(1, y, lines[i]);
            hud_text.draw_text_centred(1, y + 1, lines[i]);
        }
    }
}

// ---- match HUD -----------------------------------------------------------------

void draw_replay_title()
{
    if (!replay_shown() || !hud_outward.replay_title || !hud_text.draw_text_centred)
        return;
    const char *title = hud_outward.replay_title();
    const char *author = hud_outward.replay_author ? hud_outward.replay_author() : nullptr;
    if (!title || !title[0])
        return;
    char line[600];
    if (author && author[0])
        snprintf(line, sizeof line, "%s by %s", title, author);
    else
        snprintf(line, sizeof line, "%s", title);
    draw_palette_colour(text_colours.text, 0.85f);
    hud_text.draw_text_centred(1, 60, line);
}

static void fighter_colour(int p, float alpha)
{
    draw_palette_colour(players[p].colour, alpha);
}

int score_font(const char *text)
{
    // Each score keeps to its quarter of the width, clear of a page title
    // centred above the game: a long one steps down to the smaller fonts.
    int room = view_width / 4 - 10;
    static const int fonts[] = {0, 2, 1};
    if (!hud_text.text_width)
        return 0;
    for (int f : fonts)
        if (hud_text.text_width(f, text) <= room)
            return f;
    return 1;
}

void draw_hud_scores()
{
    if (match_state.num_players != 2)
        return;
    // Each score on its own fighter's side, over its name: the first
    // fighter's name, belt line and icon stand at the right, the second's
    // at the left.
    char text[64];
    fighter_colour(1, 1.0f);
    snprintf(text, sizeof text, "%.0f", (double)players[1].score);
    if (hud_text.draw_text)
        hud_text.draw_text(score_font(text), 10, 0, text);
    fighter_colour(0, 1.0f);
    snprintf(text, sizeof text, "%.0f", (double)players[0].score);
    if (hud_text.draw_text_right)
        hud_text.draw_text_right(score_font(text), 10, 0, text);
}

void frames_left_text(const MatchState *match, const GameRules *rules, char *out, int size)
{
    int left = rules->matchframes - match->match_frame;
    if (left <= 0 || match->game_over)
        left = 0;
    snprintf(out, (size_t)size, "%i", left);
}

int current_turn_entry(const MatchState *match, const GameRules *rules)
{
    int count = rules->turnframes_count;
    if (count <= 1 || count > MAX_TURNFRAMES)
        return -1;
    int turn = match->turn % count;
    if (turn < 0)
        turn += count;
    return rules->turnframes[turn];
}

int turn_entry_y()
{
    int below = hud_text.font_height ? hud_text.font_height(0) : 0;
    return below > 50 ? below : 50;
}

static int menu_state_now() { return hud_outward.menu_state ? hud_outward.menu_state() : 0; }

int32_t turn_alert_tick;

enum { TURN_CUE_MS = 1200, TURN_CUE_PHASE_MS = 150, TURN_CUE_COLOUR = 9 };

void reset_turn_alert(int32_t now) { turn_alert_tick = now ? now : 1; }

int turn_cue_bright(int32_t now)
{
    if (!turn_alert_tick)
        return 0;
    int32_t since = now - turn_alert_tick;
    if (since < 0 || since >= TURN_CUE_MS)
        return 0;
    return (since / TURN_CUE_PHASE_MS) % 2 == 0;
}

// The dial's colour while time is left: the player's own timer colour,
// else green.
static int own_timer_colour()
{
    int c = fighter_looks[timer_dial_player()].timer_colour;
    return c > 0 ? c : 5;   // the palette keeps its own rows in range
}

int timer_dial_player()
{
    int n = match_state.num_players;
    if (n > MAX_FIGHTERS)
        n = MAX_FIGHTERS;
    return own_player_index >= 0 && own_player_index < n ? own_player_index : 0;
}

void draw_turn_timer(const GameRules *rules)
{
    int menu = menu_state_now();
    if (menu != 0 && menu != 16)
        return;
    if (hud_online_game() && match_state.turn_frame == 0 && !replay_shown() &&
        rules->turn_time_limit > 0 && turn_timeout) {
        float f = (float)(turn_timeout - frame_tick) / ((float)rules->turn_time_limit * 1000.0f);
        if (f < 0.0f)
            f = 0.0f;
        if (f > 1.0f)
            f = 1.0f;
        // A new turn's alert flashes the dial bright a few times.
        if (turn_cue_bright(frame_tick))
            draw_palette_colour(TURN_CUE_COLOUR, 1.0f);
        else
            draw_palette_colour(f < 0.1f ? 3 : own_timer_colour(), 1.0f - 0.9f * f);
        draw_partial_disk_2d((float)view_width / 2.0f, 42.0f, 0.0f, 40.0f, 32, 2, 180.0f,
                             -360.0f * f, 0);
    }
    // The frames left stand centred at the top, clear of the two scores in
    // the corners; the turn's entry goes under them.
    char text[32];
    fighter_colour(0, 1.0f);
    frames_left_text(&match_state, rules, text, sizeof text);
    if (hud_text.draw_text_centred)
        hud_text.draw_text_centred(0, 0, text);
    int entry = replay_shown() ? -1 : current_turn_entry(&match_state, rules);
    if (entry >= 0 && hud_text.draw_text_centred) {
        snprintf(text, sizeof text, "%i", entry);
        hud_text.draw_text_centred(1, turn_entry_y(), text);
    }
}

int name_list_sides(const MatchState *match, const GameRules *rules, int order[4], int side[4])
{
    int count = match->num_players;
    if (count < 0)
        count = 0;
    if (count > MAX_FIGHTERS)
        count = MAX_FIGHTERS;
    if (!rules->teams) {
        for (int k = 0; k < count; k++) {
            order[k] = k;
            side[k] = k < (count + 1) / 2 ? 0 : 1;
        }
        return count;
    }
    // Team order: by team number, fighters of one team in their own order;
    // the side changes whenever the team does.
    int k = 0;
    for (int team = 0; team <= MAX_FIGHTERS && k < count; team++)
        for (int p = 0; p < count; p++)
            if (rules->team[p] == team || (team == MAX_FIGHTERS && (rules->team[p] < 0 ||
                                                                      rules->team[p] >= MAX_FIGHTERS)))
                order[k++] = p;
    int current = 0;
    for (int i = 0; i < k; i++) {
        if (i > 0 && rules->team[order[i]] != rules->team[order[i - 1]])
            current = !current;
        side[i] = current;
    }
    return k;
}

void draw_hud_name_list()
{
    int order[4], side[4];
    int count = name_list_sides(&match_state, &current_rules, order, side);
    int row_height = hud_text.font_height ? hud_text.font_height(2) : 0;
    int rows[2] = {0, 0};
    int waiting = hud_online_game() && hud_outward.match_result_valid &&
                  !hud_outward.match_result_valid();
    for (int k = 0; k < count; k++) {
        const PlayerState *p = &players[order[k]];
        char line[80];
        int y = rows[side[k]]++ * row_height;
        fighter_colour(order[k], 0.9f);
        const char *name = waiting && !p->name[0] ? "Waiting.." : p->name;
        if (side[k] == 0) {
            snprintf(line, sizeof line, "%s  %.0f", name, (double)p->score);
            if (hud_text.draw_text)
                hud_text.draw_text(2, p->out ? 40.0f : 8.0f, (float)y, line);
        } else {
            snprintf(line, sizeof line, "%.0f  %s", (double)p->score, name);
            if (hud_text.draw_text_right)
                hud_text.draw_text_right(2, 8, y, line);
        }
    }
}

void draw_hud_names()
{
    if (match_state.num_players > 2 || !hud_outward.fighter_display_text)
        return;
    int avatar = hud_outward.avatar_view_shown ? hud_outward.avatar_view_shown() : 0;
    for (int p = 0; p < match_state.num_players; p++) {
        const char *text = hud_outward.fighter_display_text(p);
        if (!text || !text[0])
            continue;
        int x = 35 + (players[p].out && avatar ? 32 : 0);
        fighter_colour(p, 1.0f);
        if (p % 2 == 0 && hud_text.draw_text)
            hud_text.draw_text(1, (float)x, 116.0f, text);
        else if (p % 2 == 1 && hud_text.draw_text_right)
            hud_text.draw_text_right(1, x, 116, text);
    }
}

enum { SPECTATORS_SHOWN = 32 };

void draw_spectator_list()
{
    if (!hud_online_game() || !hud_outward.spectator_count || !hud_outward.spectator_name ||
        !hud_text.draw_text)
        return;
    int count = hud_outward.spectator_count();
    if (count > SPECTATORS_SHOWN)
        count = SPECTATORS_SHOWN;
    int offset = hud_outward.spectator_offset ? hud_outward.spectator_offset() : 0;
    int max_rows = (view_height - 230) / 25;
    draw_palette_colour(8, 0.6f);
    for (int i = 0; i < count; i++) {
        int row = offset + i;
        float y = (float)(180 + 25 * row);
        if (row + 1 > max_rows) {
            hud_text.draw_text(1, 8.0f, y, "...");
            return;
        }
        const char *name = hud_outward.spectator_name(i);
        hud_text.draw_text(1, 8.0f, y, name ? name : "");
    }
}

void add_camera_shake(float strength)
{
    long amount = (long)camera_state.shake_amount + (long)(strength * 3000.0f);
    if (amount > 2000)
        amount = 2000;
    if (amount < 0)
        amount = 0;
    camera_state.shake_amount = (int)amount;
}

TextCaret text_caret = {0, 0};

void text_input_box_line(const char *label, const char *text, int focused, int masked, int now,
                         char *out, int size)
{
    if (text_caret.next_toggle == 0)
        text_caret.next_toggle = now + 500;
    if (now >= text_caret.next_toggle) {
        text_caret.on = !text_caret.on;
        text_caret.next_toggle = now + 500;
    }
    char shown[TEXT_ROW_UNITS + 1];
    int n = 0;
    for (; text && text[n] && n < TEXT_ROW_UNITS; n++)
        shown[n] = masked ? '*' : text[n];
    shown[n] = '\0';
    snprintf(out, (size_t)size, "%s: %s%s", label ? label : "", shown,
             focused && text_caret.on ? "_" : "");
}

void draw_text_input_box(int x, int y, const char *label, const char *text, int focused,
                         int masked)
{
    char line[TEXT_ROW_UNITS + 80];
    text_input_box_line(label, text, focused, masked, frame_tick, line, sizeof line);
    draw_palette_colour(focused ? text_colours.selected : text_colours.text, 1.0f);
    if (hud_text.draw_text)
        hud_text.draw_text(1, (float)x, (float)y, line);
}

void draw_match_hud(const GameRules *rules)
{
    begin_2d();
    draw_replay_title();
    draw_hud_scores();
    draw_turn_timer(rules);
    end_2d();
}

// ---- drawn cursor --------------------------------------------------------------

DrawnCursor drawn_cursor = {0, 1, 0, 0, 0, 1};

void set_custom_cursor(int on)
{
    drawn_cursor.in_use = on;
    SDL_ShowCursor(on ? SDL_DISABLE : SDL_ENABLE);
}

int cursor_texture_row(int kind, int frame)
{
    static const int rows[5][3] = {
        {11, 11, 11}, {11, 11, 11}, {14, 14, 14}, {15, 15, 15}, {16, 16, 16}};
    if (kind < 0 || kind > 4)
        kind = 0;
    if (frame < 0 || frame > 2)
        frame = 0;
    return rows[kind][frame];
}

int update_cursor_state(int now, int menu, int can_command, int pick, int joint, int rule_flags)
{
    int elapsed = now - drawn_cursor.last_tick;
    drawn_cursor.last_tick = now;
    if (elapsed > 0)
        drawn_cursor.accumulated += elapsed;
    while (drawn_cursor.accumulated >= CURSOR_FRAME_MS) {
        drawn_cursor.accumulated -= CURSOR_FRAME_MS;
        drawn_cursor.frame = (drawn_cursor.frame + 1) % 3;
    }
    if (menu == 0 && can_command) {
        int kind = -1;
        if (pick == 1 && joint >= 0)
            kind = 2;
        else if (pick == 2 && !(rule_flags & RULE_FLAG_NO_GRIP_CURSOR))
            kind = 4;
        if (kind >= 0) {
            if (kind != drawn_cursor.kind)
                drawn_cursor.frame = 0;
            drawn_cursor.kind = kind;
            return 2;
        }
    }
    drawn_cursor.kind = 0;
    drawn_cursor.frame = 0;
    return 1;
}

void draw_mouse_cursor()
{
    if (drawn_cursor.in_use && drawn_cursor.visible &&
        (SDL_GetAppState() & SDL_APPMOUSEFOCUS)) {
        int x = 0, y = 0;
        SDL_GetMouseState(&x, &y);
        draw_table_texture(cursor_texture_row(drawn_cursor.kind, drawn_cursor.frame), (float)x,
                           (float)y, 1.0f);
    }
    int can = hud_outward.can_command_joint ? hud_outward.can_command_joint() : 0;
    int pick = hud_outward.pick_kind ? hud_outward.pick_kind() : 0;
    int system = update_cursor_state(frame_tick, menu_state_now(), can, pick, selected_joint,
                                     current_rules.flags);
    if (hud_outward.set_system_cursor)
        hud_outward.set_system_cursor(system);
}

// ---- boxed text ----------------------------------------------------------------

int break_boxed_text(const uint16_t *text, int width,
                     int (*width_of)(const uint16_t *units, int n, void *user), void *user,
                     int *starts, int *lengths, int max_lines)
{
    if (!text || !width_of || max_lines <= 0)
        return 0;
    int n = 0;
    while (n < BOXED_TEXT_UNITS && text[n])
        n++;
    if (n == 0)
        return 0;
    int lines = 0;
    int pos = 0;
    while (pos < n && lines < max_lines) {
        // Longest run from pos that fits.
        int end = pos;
        int last_blank = -1;
        while (end < n && width_of(text + pos, end - pos + 1, user) <= width) {
            if (text[end] == ' ')
                last_blank = end;
            end++;
        }
        int length;
        int next;
        if (end >= n) {
            length = n - pos;
            next = n;
        } else if (last_blank > pos) {
            length = last_blank - pos;
            next = last_blank + 1;
        } else {
            // A word wider than the box: cut after at most 20 units, and
            // never less than one so the text always moves on.
            length = end - pos;
            if (length > BOXED_WORD_CUT)
                length = BOXED_WORD_CUT;
            if (length < 1)
                length = 1;
            next = pos + length;
        }
        starts[lines] = pos;
        lengths[lines] = length;
        lines++;
        pos = next;
        while (pos < n && text[pos] == ' ')
            pos++;
    }
    return lines;
}

static int hook_width(const uint16_t *units, int n, void *user)
{
    int font = *(const int *)user;
    uint16_t run[BOXED_TEXT_UNITS + 1];
    if (n > BOXED_TEXT_UNITS)
        n = BOXED_TEXT_UNITS;
    memcpy(run, units, sizeof(uint16_t) * (size_t)n);
    run[n] = 0;
    return hud_text.wide_text_width ? hud_text.wide_text_width(font, run) : 0;
}

void draw_boxed_text(int font, int x, int y, int width, int height, int line_height,
                     const uint16_t *text)
{
    if (!text || !hud_text.draw_wide_text)
        return;
    uint16_t line[BOXED_TEXT_UNITS + 1];
    int n = 0;
    while (n < BOXED_TEXT_UNITS && text[n])
        n++;
    memcpy(line, text, sizeof(uint16_t) * (size_t)n);
    line[n] = 0;
    const uint16_t w_unit[2] = {'W', 0};
    int total = hook_width(line, n, &font);
    int w_width = hud_text.wide_text_width ? hud_text.wide_text_width(font, w_unit) : 0;
    if (total <= width || w_width > width) {
        hud_text.draw_wide_text(font, (float)x, (float)y, line);
        return;
    }
    int starts[BOXED_TEXT_UNITS], lengths[BOXED_TEXT_UNITS];
    int lines = break_boxed_text(line, width, hook_width, &font, starts, lengths,
                                 BOXED_TEXT_UNITS);
    for (int i = 0; i < lines; i++) {
        int row_y = y + i * line_height;
        if (line_height > 0 && row_y + line_height > y + height)
            break;
        uint16_t row[BOXED_TEXT_UNITS + 1];
        memcpy(row, line + starts[i], sizeof(uint16_t) * (size_t)lengths[i]);
        row[lengths[i]] = 0;
        hud_text.draw_wide_text(font, (float)x, (float)row_y, row);
    }
}

void draw_boxed_text_8bit(const char *text, int font, int x, int y, int width, int height,
                          int line_height)
{
    if (!text)
        return;
    // 2048 bytes of UTF-16: 1023 units and a terminator.
    char16 wide[1024];
    local_to_utf16(wide, text, 1023);
    draw_boxed_text(font, x, y, width, height, line_height, wide);
}

// ---- debug panel -----------------------------------------------------------------

int debug_overlay_lines(char lines[][128], int max_lines)
{
    int n = 0;
    auto add = [&](const char *text) {
        if (n < max_lines)
            snprintf(lines[n++], 128, "%s", text);
    };
    add("DEBUG: PRESS 'i' TO EXIT");
    int p = selected_player, j = selected_joint, b = selected_body;
    if (p < 0 || p >= MAX_PLAYERS || !has_bodies(p))
        return n;
    PlayerState *pl = &players[p];
    char text[128];
    if (j >= 0 && j < NUM_JOINTS && pl->hinge[j]) {
        dJointID h = pl->hinge[j];
        const dJointFeedback &f = pl->hinge_feedback[j];
        double fmax = dJointGetHingeParam(h, dParamFMax);
        double vel = dJointGetHingeParam(h, dParamVel);
        double torque = sqrt(f.t1[0] * f.t1[0] + f.t1[1] * f.t1[1] + f.t1[2] * f.t1[2]);
        snprintf(text, sizeof text, "tot fmx%.2f vl%.2f jf%.2f %.2f %.2f<t%.2f\n", fmax, vel,
                 f.f1[0], f.f1[1], f.f1[2], torque);
        add(text);
        dVector3 axis;
        dJointGetHingeAxis(h, axis);
        snprintf(text, sizeof text, "axis %.2f %.2f %.2f", axis[0], axis[1], axis[2]);
        add(text);
        snprintf(text, sizeof text, "hinge angle %f rate %f", dJointGetHingeAngle(h),
                 dJointGetHingeAngleRate(h));
        add(text);
        snprintf(text, sizeof text, "vel %.2f fmax %.2f\n", vel, fmax);
        add(text);
        snprintf(text, sizeof text, "Lo %.2f Hi %.2f\n", dJointGetHingeParam(h, dParamLoStop),
                 dJointGetHingeParam(h, dParamHiStop));
        add(text);
        snprintf(text, sizeof text, "jfb F %.1f %.1f %.1f T %.1f %.1f %.1f", f.f1[0], f.f1[1],
                 f.f1[2], f.t1[0], f.t1[1], f.t1[2]);
        add(text);
    }
    if (b >= 0 && b < NUM_BODIES && pl->body[b]) {
        const dReal *lv = dBodyGetLinearVel(pl->body[b]);
        const dReal *av = dBodyGetAngularVel(pl->body[b]);
        const dReal *pos = dBodyGetPosition(pl->body[b]);
        const char *name = body_name(b);
        snprintf(text, sizeof text, "%s lvel %.3f %.3f %.3f avel %.3f %.3f %.3f", name ? name : "",
                 lv[0], lv[1], lv[2], av[0], av[1], av[2]);
        add(text);
        snprintf(text, sizeof text, "%s pos %.2f %.2f %2f", name ? name : "", pos[0], pos[1], pos[2]);
        add(text);
    }
    return n;
}

// The panel stands right of the control bar's icon column (the ghost and
// help icons, 32 pixels wide at x 2, from the middle of the window down),
// which its lower rows reach.
enum { DEBUG_PANEL_X = 44 };

void draw_debug_overlay()
{
    if (!hud_text.draw_text)
        return;
    char lines[12][128];
    int n = debug_overlay_lines(lines, 12);
    draw_palette_colour(text_colours.text, 1.0f);
    for (int i = 0; i < n; i++) {
        // the panel shows one line per row, without the formats' newlines
        char *nl = strchr(lines[i], '\n');
        if (nl)
            *nl = '\0';
        hud_text.draw_text(1, (float)DEBUG_PANEL_X, (float)(140 + 20 * i), lines[i]);
    }
}

// ---- player icons ----------------------------------------------------------------

void draw_hud_player_icons()
{
    int n = match_state.num_players;
    if (n > 2)
        return;
    double t = frame_tick;
    for (int p = 0; p < n && p < SLOT_PLAYERS; p++) {
        Texture *icon = player_color_textures[p];
        if (!texture_loaded(icon))
            continue;
        int inward = players[p].out ? 32 : 0;
        int rect[2] = {p == 0 ? view_width - 32 - inward : inward, 142};
        const float target[3] = {0, 0, 0};
        push_square_perspective();
        set_avatar_view(rect, 32, target);
        set_draw_color(1, 1, 1, 1);
        dMatrix3 R;
        // turned about its own axis so that both colours face the viewer
        dRFromAxisAndAngle(R, 0, 0, 1, 1.57 + 0.1 * sin(0.001 * t));
        const double centre[3] = {0, 0, 0};
        draw_capsule_geom(centre, nullptr, nullptr, R, 1.0, 0.5, DRAW_TEXTURED, icon, nullptr);
        pop_square_perspective();
    }
    reset_viewport();
}

// ---- disqualification marks ------------------------------------------------------

float dq_impact_step(GroundImpact *g, int player, const GameRules *rules, float *radius)
{
    *radius = 0.0f;
    const PlayerState *p = &players[player];
    if (rules->dqtimeout > 0 && p->touch_time > 0 && p->touch_last == match_state.match_frame &&
        g->frame == match_state.match_frame) {
        *radius = 0.4f;
        float a = (float)p->touch_time / (float)rules->dqtimeout;
        return a < 1.0f ? a : 1.0f;
    }
    if (g->countdown <= 0)
        return -1.0f;
    if (g->countdown >= GROUND_IMPACT_FRESH && g->frame != match_state.match_frame)
        return -1.0f;
    float left = (float)g->countdown / 100.0f;
    *radius = 0.4f * (float)(GROUND_IMPACT_FRESH - g->countdown);
    g->countdown -= 1;
    return left * left * left;
}

void draw_dq_impacts()
{
    int n = match_state.num_players;
    if (n > MAX_FIGHTERS)
        n = MAX_FIGHTERS;
    for (int p = 0; p < n; p++) {
        GroundImpact *g = &ground_impacts[p];
        float radius = 0.0f;
        float alpha = dq_impact_step(g, p, &current_rules, &radius);
        if (alpha < 0.0f || radius <= 0.0f)
            continue;
        int colour = fighter_looks[p].impact_colour ? fighter_looks[p].impact_colour
                     : g->colour                     ? g->colour
                                                     : players[p].colour;
        draw_palette_colour(colour, alpha);
        const double identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
        draw_sphere_geom(g->position, nullptr, nullptr, identity, radius, DRAW_RING, nullptr,
                         nullptr);
    }
}

// ---- speedometer -----------------------------------------------------------------

double fighter_top_speed(int p)
{
    if (p < 0 || p >= MAX_PLAYERS || !has_bodies(p))
        return 0.0;
    double best = 0.0;
    for (int b = 0; b < NUM_BODIES; b++) {
        if (!players[p].body[b])
            continue;
        const dReal *v = dBodyGetLinearVel(players[p].body[b]);
        double s = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
        if (s > best)
            best = s;
    }
    return sqrt(best);
}

void draw_speedometer()
{
    if (!hud_text.draw_text_right)
        return;
    int n = match_state.num_players < 2 ? match_state.num_players : 2;
    for (int p = 0; p < n; p++) {
        char text[32];
        snprintf(text, sizeof text, "%.2f", fighter_top_speed(p));
        fighter_colour(p, 1.0f);
        hud_text.draw_text_right(2, 0, view_height - 120 + 20 * p, text);
    }
}

// ---- joint spheres ---------------------------------------------------------------

void draw_joint_spheres(int player)
{
    if (player < 0 || player >= MAX_PLAYERS || !has_bodies(player))
        return;
    PlayerState *p = &players[player];
    int colour = fighter_looks[player].joint_colour[0];
    if (colour)
        draw_palette_colour(colour, 0.5f);
    else
        set_draw_color(0.5f, 1.0f, 0.5f, 0.5f);
    for (int j = 0; j < NUM_JOINTS; j++) {
        if (!p->hinge[j])
            continue;
        dVector3 a;
        dJointGetHingeAnchor(p->hinge[j], a);
        const double pos[3] = {a[0], a[1], a[2]};
        const double identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
        draw_sphere_geom(pos, nullptr, nullptr, identity, 0.1, DRAW_PLAIN, nullptr, nullptr);
    }
}

#include "shell/console.h"

#include <SDL/SDL.h>
#include <cstdio>
#include <cstring>
#include <pthread.h>

#include "core/outward.h"
#include "core/bout.h"
#include "core/ghost.h"
#include "core/motors.h"
#include "core/records.h"
#include "platform/camera.h"
#include "render/gl_draw.h"
#include "render/hud.h"
#include "script/api_game.h"
#include "shell/console_commands.h"
#include "shell/customs.h"
#include "shell/game_control.h"
#include "shell/options.h"
#include "shell/palette.h"
#include "shell/ttf_text.h"
#include "shell/widgets.h"

MessageConsole message_console = {};
ScreenLayout screen_layout = {};
ConsoleLinks console_links = {};
Banner banner = {};

enum { CONSOLE_FONT = 1, BANNER_LINE_STEP = 35 };

// ---- the hand-over from other threads ----------------------------------------------

static pthread_mutex_t queue_mutex = PTHREAD_MUTEX_INITIALIZER;
static pthread_t main_thread;
static int main_thread_set = 0;
static char queued_text[CONSOLE_QUEUE_LINES][CONSOLE_QUEUE_BYTES];
static int queued_kind[CONSOLE_QUEUE_LINES];
static int queued_count = 0;

void set_console_main_thread()
{
    main_thread = pthread_self();
    main_thread_set = 1;
}

static int on_main_thread()
{
    if (!main_thread_set)
        set_console_main_thread();
    return pthread_equal(main_thread, pthread_self()) != 0;
}

// A full queue drops the line: the worker never waits for the main thread.
static void queue_line(const char *text, int kind, int skip_hook)
{
    pthread_mutex_lock(&queue_mutex);
    if (queued_count < CONSOLE_QUEUE_LINES) {
        n_strncpyz(queued_text[queued_count], text, CONSOLE_QUEUE_BYTES);
        queued_kind[queued_count] = skip_hook ? -1 - kind : kind;
        queued_count++;
    }
    pthread_mutex_unlock(&queue_mutex);
}

int drain_console_queue()
{
    if (!on_main_thread())
        return 0;
    char text[CONSOLE_QUEUE_LINES][CONSOLE_QUEUE_BYTES];
    int kind[CONSOLE_QUEUE_LINES];
    int n = 0;
    if (pthread_mutex_trylock(&queue_mutex) != 0)
        return 0;
    n = queued_count;
    memcpy(text, queued_text, sizeof text[0] * (size_t)n);
    memcpy(kind, queued_kind, sizeof kind[0] * (size_t)n);
    queued_count = 0;
    pthread_mutex_unlock(&queue_mutex);
    for (int i = 0; i < n; i++)
        echo_message_nohook(text[i], kind[i] < 0 ? -1 - kind[i] : kind[i], kind[i] < 0);
    return n;
}

// ---- lines ---------------------------------------------------------------------------

int console_kind_colour(int kind_word)
{
    switch (kind_word & 0xff) {
    case 1: return 60;
    case 3: return 61;
    case 4: return 62;
    case 6: return 63;
    case 8: return 64;
    case 16: return 65;
    case 10:
    case 18: return 66;
    default: return 59;
    }
}

// A letter or digit right after the prefix and a "." somewhere later.
static int link_after(const char16 *text, int len, int at, int prefix_len)
{
    int p = at + prefix_len;
    if (p >= len || !is_alnum16(text[p]))
        return 0;
    for (int i = p + 1; i < len; i++)
        if (text[i] == '.')
            return 1;
    return 0;
}

static int find_ascii16(const char16 *text, int len, const char *what, int from)
{
    int n = (int)strlen(what);
    for (int i = from; i + n <= len; i++) {
        int k = 0;
        while (k < n && text[i + k] == (unsigned char)what[k])
            k++;
        if (k == n)
            return i;
    }
    return -1;
}

int console_has_link(const char16 *text)
{
    if (!text)
        return 0;
    int len = str16_len(text);
    static const char *const prefixes[2] = {"http://", "www."};
    for (int p = 0; p < 2; p++) {
        int n = (int)strlen(prefixes[p]);
        for (int at = find_ascii16(text, len, prefixes[p], 0); at >= 0;
             at = find_ascii16(text, len, prefixes[p], at + 1))
            if (link_after(text, len, at, n))
                return 1;
    }
    return 0;
}

int link_of(const char16 *text, char *out, int size)
{
    if (!out || size < 1)
        return 1;
    out[0] = '\0';
    if (!text)
        return 1;
    int len = str16_len(text);
    int at = find_ascii16(text, len, "http://", 0);
    int www = 0;
    if (at < 0) {
        at = find_ascii16(text, len, "www.", 0);
        www = 1;
    }
    if (at < 0)
        return 1;
    int n = 0;
    if (www) {
        n_strncpyz(out, "http://", size);
        n = (int)strlen(out);
    }
    for (int i = at; i < len && text[i] != ' ' && n < size - 1; i++)
        out[n++] = text[i] < 0x100 ? (char)text[i] : '?';
    out[n] = '\0';
    return 0;
}

static int measure16(const char16 *text)
{
    if (console_links.measure)
        return console_links.measure(text);
    return wide_text_width(CONSOLE_FONT, text);
}

// The width of the first n units of text.
static int measure_prefix(const char16 *text, int n)
{
    char16 piece[CONSOLE_LINE_UNITS];
    if (n > CONSOLE_LINE_UNITS - 1)
        n = CONSOLE_LINE_UNITS - 1;
    memcpy(piece, text, sizeof(char16) * (size_t)n);
    piece[n] = 0;
    return measure16(piece);
}

static int console_list_top(int rows);

static int list_shown_rows()
{
    MessageConsole *c = &message_console;
    return c->line_count < c->console_rows ? c->line_count : c->console_rows;
}

static void scroll_list_to_end()
{
    ScrollList *l = &message_console.list;
    int first = l->count - l->visible_rows;
    l->first = first > 0 ? first : 0;
}

void store_console_line(const char16 *text, int kind)
{
    MessageConsole *c = &message_console;
    if (c->line_count < CONSOLE_LINES)
        c->line_count++;
    c->head = (c->head + 1) % CONSOLE_LINES;
    if (c->line_count == CONSOLE_LINES)
        c->first = (c->head + 1) % CONSOLE_LINES;
    ConsoleLine *line = &c->lines[c->head];
    int n = 0;
    while (text && text[n] && n < CONSOLE_LINE_UNITS - 1)
        n++;
    memcpy(line->text, text, sizeof(char16) * (size_t)n);
    line->text[n] = 0;
    line->length = (uint16_t)n;
    // The link is kept apart from the kind: kind 2 plus the link bit would
    // read as kind 4.
    line->link = console_has_link(line->text);
    line->message_kind = kind;
    line->kind = kind + (line->link ? CONSOLE_LINK_BIT : 0);
    line->colour = console_kind_colour(line->kind);

    ScrollList *l = &c->list;
    l->count = c->line_count;
    l->visible_rows = c->line_count < c->console_rows ? c->line_count : c->console_rows;
    if (c->line_count <= c->console_rows) {
        place_console_rows(l->x, console_list_top(c->line_count), l->row_height);
        scroll_list_to_end();
    } else if (!(kind & CONSOLE_KEEP_BIT) && c->line_count - 1 >= l->first + l->visible_rows) {
        // (A full ring keeps its count: its rows move up by one by themselves.)
        scroll_list_to_end();
    }
}

int add_console_line(const char16 *text, int kind, int skip_hook)
{
    if (!text)
        return 0;
    if (!skip_hook && console_links.hook_console) {
        int r = console_links.hook_console(text, kind);
        if (r)
            return r;
    }
    char16 copy[CONSOLE_LINE_UNITS];
    int len = 0;
    while (text[len] && len < CONSOLE_LINE_UNITS - 1)
        len++;
    memcpy(copy, text, sizeof(char16) * (size_t)len);
    copy[len] = 0;

    int width = screen_layout.console_pixels;
    const char16 *rest = copy;
    if (screen_layout.console_chars > 0 && width > 0 && measure16(copy) > width) {
        for (;;) {
            int rest_len = str16_len(rest);
            if (rest_len == 0 || measure16(rest) <= width)
                break;
            int last_blank = -1, cut = -1;
            for (int i = 0; i < rest_len; i++) {
                int fits = measure_prefix(rest, i + 1) <= width;
                if (rest[i] == ' ' && fits)
                    last_blank = i;
                if (!fits) {
                    // a word wider than the console is cut where it stops fitting
                    cut = last_blank > 0 ? last_blank : (i > 0 ? i : 1);
                    break;
                }
            }
            if (cut < 0)
                break;
            char16 piece[CONSOLE_LINE_UNITS];
            memcpy(piece, rest, sizeof(char16) * (size_t)cut);
            piece[cut] = 0;
            store_console_line(piece, kind);
            rest += cut;
            if (rest[0] == ' ' && last_blank == cut)
                rest++;
        }
    }
    if (rest[0])
        store_console_line(rest, kind);
    return 0;
}

void echo_message_nohook(const char *text, int kind, int skip_hook)
{
    if (!text)
        return;
    if (!on_main_thread()) {
        queue_line(text, kind, skip_hook);
        return;
    }
    char16 wide[CONSOLE_LINE_UNITS];
    int n = (int)strnlen(text, CONSOLE_LINE_UNITS - 1);
    local_to_utf16(wide, text, n);
    wide[n] = 0;
    add_console_line(wide, kind, skip_hook);
}

void console_echo(const char *text, int kind) { echo_message_nohook(text, kind, 0); }

void echo_wide(const char16 *text, int kind)
{
    if (!text)
        return;
    if (!on_main_thread()) {
        char local[CONSOLE_QUEUE_BYTES];
        utf16_to_local(local, text, CONSOLE_QUEUE_BYTES - 1);
        queue_line(local, kind, 0);
        return;
    }
    add_console_line(text, kind, 0);
}

void clear_console()
{
    MessageConsole *c = &message_console;
    memset(c->lines, 0, sizeof c->lines);
    c->head = -1;
    c->line_count = 0;
    c->first = 0;
    c->hover_link = -1;
    c->list.count = 0;
    c->list.first = 0;
    c->list.hover = -1;
    c->list.visible_rows = c->console_rows;
}

const ConsoleLine *console_line(int i)
{
    const MessageConsole *c = &message_console;
    if (i < 0 || i >= c->line_count)
        return nullptr;
    int start = c->line_count == CONSOLE_LINES ? c->first : 0;
    return &c->lines[(start + i) % CONSOLE_LINES];
}

// ---- layout ------------------------------------------------------------------------

void compute_screen_layout(int width, int height, int advance, ScreenLayout *out)
{
    if (advance < 1)
        advance = 1;
    out->console_chars = (width - 16) / advance - 32;
    out->console_pixels = width - 16 * advance - 40;
    out->hud_rows = (height - 212) / 20;
    int c = width < 756 ? 20 : width / 2 - 377;
    static const int offsets[6] = {0, 30, 330, 520, 620, 740};
    for (int i = 0; i < 6; i++)
        out->hud_columns[i] = c + offsets[i];
}

// The most console rows a window of this height shows: the rows that fit
// between the scores at the top and the bar at the bottom (a taller chat
// window would start above the window, its first lines unreadable).
int console_window_rows(int height)
{
    int rows = (height - 212) / CONSOLE_ROW_HEIGHT;
    if (rows > CONSOLE_LINES)
        rows = CONSOLE_LINES;
    return rows > 1 ? rows : 1;
}

void place_console_rows(int x, int first_y, int row_height)
{
    ScrollList *l = &message_console.list;
    l->x = x;
    l->right = view_width;
    l->first_y = first_y;
    l->row_height = row_height;
}

// Buttons of the control bar that stand left of this column are the small
// icons at the window's left edge; the others are the bars at the bottom.
enum { CONSOLE_EDGE_COLUMN = 40 };

// How far the console's rows stand above their place (80 above the bottom)
// so that none of them runs under a visible button of the bars at the
// bottom: the play bar lifts them clear of its icons' tops, the replay row
// by the little it reaches into the lowest row, and a hidden bar not at all.
int console_bar_lift()
{
    int bottom = view_height - 80;
    int right = CONSOLE_LIST_X + screen_layout.console_pixels;
    int lift = 0;
    for (int i = 0; i < CONTROL_BUTTONS; i++) {
        const Button *b = &control_bar[i];
        if (!b->visible || b->x < CONSOLE_EDGE_COLUMN || b->x >= right)
            continue;
        int top = b->y - b->size;
        if (top < bottom && b->y > bottom - CONSOLE_ROW_HEIGHT && bottom - top > lift)
            lift = bottom - top;
    }
    return lift;
}

// Where the row whose top is at `row_y` starts: at x, or just right of a
// visible icon at the left edge that stands beside the row (the ghost and
// help buttons beside a tall console, the chat and scroll icons online),
// as that icon is drawn when hovered (20% larger, centred).
int console_row_x(int x, int row_y)
{
    int at = x;
    for (int i = 0; i < CONTROL_BUTTONS; i++) {
        const Button *b = &control_bar[i];
        if (!b->visible || b->x >= CONSOLE_EDGE_COLUMN)
            continue;
        int grow = b->size / 10;
        int top = b->y - b->size - grow, bottom = b->y + grow;
        if (top < row_y + CONSOLE_ROW_HEIGHT && bottom > row_y) {
            int clear = b->x + b->size + grow + 4;
            if (clear > at)
                at = clear;
        }
    }
    return at;
}

// The top of the list's first row when `rows` rows are shown.
static int console_list_top(int rows)
{
    return view_height - 80 - console_bar_lift() - CONSOLE_ROW_HEIGHT * rows;
}

static void place_console_list()
{
    MessageConsole *c = &message_console;
    c->list.visible_rows = list_shown_rows();
    place_console_rows(c->list.x, console_list_top(list_shown_rows()), c->list.row_height);
}

void layout_screen(int colour_too)
{
    compute_screen_layout(view_width, view_height, font_char_advance(CONSOLE_FONT), &screen_layout);
    if (replay_mode != REPLAY_LIVE) {
        if (game_links.show_replay_buttons)
            game_links.show_replay_buttons();
    } else if (game_links.show_play_buttons) {
        game_links.show_play_buttons();
    }
    place_console_list();
    if (colour_too) {
        if (menu_state == 0 || menu_state == 13 || menu_state == 14)
            use_text_colors();
        else
            use_menu_text_colors();
    }
}

void init_console_layout()
{
    set_console_main_thread();
    MessageConsole *c = &message_console;
    memset(c, 0, sizeof *c);
    c->head = -1;
    c->console_rows = c->compact_rows = c->full_rows = 4;
    c->alpha = c->alpha_target = 0.6f;
    c->hover_link = -1;
    c->keep_position = 1;
    c->list.hover = -1;
    place_console_rows(CONSOLE_LIST_X, view_height - 80, CONSOLE_ROW_HEIGHT);
    clear_banner();
    compute_screen_layout(view_width, view_height, 8, &screen_layout);
}

ScrollList *get_console_list() { return &message_console.list; }

int get_console_line_count() { return message_console.line_count; }

int get_console_line_kind(int i)
{
    const ConsoleLine *l = console_line(i);
    return l ? l->message_kind : -1;
}

const ConsoleLine *get_hovered_link_line()
{
    MessageConsole *c = &message_console;
    int row = c->list.hover;
    if (row < 0 || row >= c->line_count || row < c->list.first ||
        row >= c->list.first + c->list.visible_rows)
        return nullptr;
    const ConsoleLine *l = console_line(row);
    if (!l || !l->link)
        return nullptr;
    int mouse_x = 0;
    SDL_GetMouseState(&mouse_x, nullptr);
    int row_y = c->list.first_y + (row - c->list.first) * c->list.row_height;
    if (mouse_x > console_row_x(c->list.x, row_y) + wide_text_width(CONSOLE_FONT, l->text))
        return nullptr;
    return l;
}

void free_console_list()
{
    MessageConsole *c = &message_console;
    c->list = ScrollList();
    c->list.hover = -1;
}

// ---- drawing -----------------------------------------------------------------------

float console_row_alpha(int colour, float list_alpha)
{
    // The faded console lightens its text towards the light floor and sky
    // behind it; a colour that is light already (the server's grey, the
    // light link blue) would all but vanish, so it keeps its full strength.
    float rgb[3];
    get_colour_rgb_clamped(colour, rgb);
    float luminance = 0.2126f * rgb[0] + 0.7152f * rgb[1] + 0.0722f * rgb[2];
    return luminance > 0.3f ? 1.0f : list_alpha;
}

void draw_console_lines(int x, int y)
{
    (void)y;   // the rows stand where the list is placed
    drain_console_queue();
    MessageConsole *c = &message_console;
    float target = chat_window.alpha;
    int resized = target != c->alpha_target;
    if (resized) {
        c->alpha_target = target;
        c->console_rows = chat_window.visible_lines > 0 ? chat_window.visible_lines : 1;
    }
    // Placed every frame: the bars come and go without a new layout, and
    // the rows follow them.
    place_console_list();
    if (resized)
        scroll_list_to_end();
    if (c->alpha < c->alpha_target - 0.1f)
        c->alpha += 0.1f;
    else if (c->alpha > c->alpha_target + 0.1f)
        c->alpha -= 0.1f;
    else
        c->alpha = c->alpha_target;
    if (c->line_count == 0)
        return;
    int mouse_x = 0;
    SDL_GetMouseState(&mouse_x, nullptr);
    int start = c->line_count == CONSOLE_LINES ? c->first : 0;
    for (int i = 0; i < c->list.visible_rows; i++) {
        int row = c->list.first + i;
        if (row >= c->line_count)
            break;
        const ConsoleLine *line = &c->lines[(start + row) % CONSOLE_LINES];
        if (!line->text[0])
            continue;
        int row_y = c->list.first_y + i * c->list.row_height;
        int row_x = console_row_x(x, row_y);
        int colour = line->colour;
        if (row == c->list.hover && line->link &&
            mouse_x <= row_x + wide_text_width(CONSOLE_FONT, line->text))
            colour = CONSOLE_HOVER_COLOUR;
        set_colour(colour, console_row_alpha(colour, c->alpha));
        draw_wide_text_font(CONSOLE_FONT, (float)row_x, (float)row_y, line->text);
    }
}

void draw_menu_screen()
{
    begin_2d();
    draw_mouse_cursor();
    end_2d();
}

// The online hint: who may move now, seen from this client.
static const char *online_hint()
{
    int own = own_player_index;
    if (replay_mode != REPLAY_LIVE)
        return own < 0 ? "SPECTATOR" : "Waiting for Other Player";
    if (!match_state.game_paused && !match_state.ghost_mode)
        return nullptr;
    if (own < 0) {
        static char queue_line[64];
        if (queue_position > 0) {
            snprintf(queue_line, sizeof queue_line, "Waiting for your turn: #%d in queue",
                     (int)queue_position);
            return queue_line;
        }
        return "SPECTATOR";
    }
    if (!have_enough_fighters())
        return "Waiting for Opponent";
    if (own < MAX_FIGHTERS && players[own].ready)
        return "Waiting for Other Player";
    return nullptr;
}

const char *hint_line_text()
{
    if (is_online_game())
        return online_hint();
    if (replay_mode != REPLAY_LIVE)
        return replay_mode == REPLAY_CYCLE ? "Press the SPACEBAR to Play!"
                                           : "SPACEBAR - New Game   ;   F - Save Replay";
    if (match_state.game_over)
        return "Press the SPACEBAR for REPLAY";
    if (match_state.game_paused || match_state.ghost_mode)
        return selected_player >= 0 ? "Hit SPACE when ready with move" : "Click to Select Player";
    return nullptr;
}

void draw_hint_line()
{
    const char *text = hint_line_text();
    if (!text)
        return;
    set_colour(text_colours.text, 1.0f);
    draw_text_centred(2, view_height - 30, text);
}

// Offline the two names at the top; online each with its belt line.
void draw_name_lines()
{
    if (match_state.num_players != 2)
        return;
    int online = is_online_game();
    for (int p = 0; p < 2; p++) {
        const char *name = players[p].name;
        if (online && p == 1 && !name[0])
            name = "Waiting..";
        set_colour(players[p].colour, 1.0f);
        if (p == 0)
            draw_text_right(2, 8, 50, name);
        else
            draw_text(2, 8.0f, 50.0f, name);
        if (!online)
            continue;
        char line[300];
        if (belt_line_text(p, line, sizeof line) != 0)
            continue;
        if (p == 0)
            draw_text_right(1, 8, 80, line);
        else
            draw_text(1, 8.0f, 80.0f, line);
        // The winning streak as stars; the challenger's only while others
        // wait in the bout list.
        const BoutEntry *e = get_bout_entry(p);
        if (!e || (p == 1 && num_bouts < 3))
            continue;
        char stars[32];
        if (streak_stars_text(e->values[BOUT_STREAK], stars, sizeof stars) != 0)
            continue;
        if (p == 0)
            draw_text_right(1, 8, 100, stars);
        else
            draw_text(1, 8.0f, 100.0f, stars);
    }
}

// The ghost runs the local user's equipment unlocks, with their keys.
int equipment_line_text(char *out, int size)
{
    if (!out || size < 1)
        return 1;
    out[0] = '\0';
    static const struct {
        char key;
        int row;
    } items[3] = {{'h', 1}, {'j', 2}, {'k', 5}};
    const EquipmentRecord *e = get_equipment();
    int shown = 0;
    for (int i = 0; i < 3; i++) {
        if (!e || !e->values[i])
            continue;
        size_t used = strnlen(out, (size_t)size);
        snprintf(out + used, (size_t)size - used, "%s%c - %s ghost", shown ? "   " : "",
                 items[i].key, ghost_modes[items[i].row].name);
        shown++;
    }
    return shown ? 0 : 1;
}

enum { EQUIPMENT_LINE_RISE = 90 };

void draw_equipment_line()
{
    if (menu_state != 0 && menu_state != 16)
        return;
    char line[128];
    if (equipment_line_text(line, sizeof line) != 0)
        return;
    set_colour(text_colours.text, 0.8f);
    draw_text_right(1, 8, view_height - EQUIPMENT_LINE_RISE, line);
}

int streak_stars_text(int value, char *out, int size)
{
    if (!out || size < 1)
        return 1;
    out[0] = '\0';
    if (value <= 0)
        return 1;
    if (value > 15) {
        n_strncpyz(out, "MANY", size);
        return 0;
    }
    int stars = value <= 13 ? value : value - 1;   // 14 shows 13, 15 shows 14
    if (stars > size - 1)
        stars = size - 1;
    memset(out, '*', (size_t)stars);
    out[stars] = '\0';
    return 0;
}

// The fourth belt: from it on a fighter may wear a belt name of its own.
enum { OWN_BELT_ROW = 3 };

int belt_line_text(int p, char *out, int size)
{
    out[0] = '\0';
    if (p < 0 || p >= MAX_FIGHTERS || p >= num_bouts)
        return 1;
    const BoutEntry *e = get_bout_entry(p);
    if (!e)
        return 1;
    int points = e->values[1];
    int rank = e->values[4];
    const PlayerCustoms *c = get_player_customs(p);
    if (c && c->belt_name[0] && points >= belt_minimum(OWN_BELT_ROW))
        snprintf(out, (size_t)size, "%s Belt, Rank %i", c->belt_name, rank);
    else if (rank <= 0)
        snprintf(out, (size_t)size, "%s Belt, Unranked", belt_name_for_value(points));
    else
        snprintf(out, (size_t)size, "%s Belt, Rank %i", belt_name_for_value(points), rank);
    return 0;
}

// ---- the say box ---------------------------------------------------------------------

void draw_say_box_row(int x, int y, int force)
{
    if (!force && menu_state != 16)
        return;
    TextLines *chat = get_chat_input();
    char text[TEXT_ROW_UNITS * 3 + 1];
    text[0] = '\0';
    if (chat && chat->num_rows > 0)
        text_lines_get_row(chat, chat->current_row, TEXT_ROW_UNITS - 1, text);
    // Long lines show their end, as they are being typed.
    const char *shown = text;
    int width = view_width - x - 16;
    while (shown[0] && text_width(1, shown) + text_width(1, "Say: _") > width)
        shown++;
    draw_text_input_box(x, y, "Say", shown, 1, 0);
}

static void draw_say_box_in_game() { draw_say_box_row(8, view_height - 80, 0); }

// ---- links ---------------------------------------------------------------------------

// The browser opens the link of a line that holds one; 1 when it did.
static int open_line_link(const ConsoleLine *l)
{
    if (!l || !l->link)
        return 0;
    char url[CONSOLE_LINE_UNITS + 8];
    if (link_of(l->text, url, sizeof url) != 0 || !url[0])
        return 0;
    launch_browser(url);
    return 1;
}

int open_console_link(int line) { return open_line_link(console_line(line)); }

static int open_hovered_link() { return open_line_link(get_hovered_link_line()); }

int joint_state_line_text(char *out, int size)
{
    if (!out || size < 1)
        return 1;
    out[0] = '\0';
    if (replay_mode != REPLAY_LIVE)
        return 1;
    if (!match_state.game_paused && !match_state.ghost_mode)
        return 1;
    if (selected_player < 0 || selected_player >= MAX_PLAYERS || selected_joint < 0 ||
        selected_joint >= NUM_JOINTS)
        return 1;
    // Online only while the own fighter still plans its move.
    if (is_online_game()) {
        int own = own_player_index;
        if (own < 0 || own >= MAX_FIGHTERS || players[own].ready || match_state.game_over)
            return 1;
    }
    // The state the player set: the pending command until the frame step
    // applies it, then what the hinge's motor does.
    int state = current_joint_state(selected_player, selected_joint);
    snprintf(out, (size_t)size, "%s %s", joint_state_display_name(state, selected_joint),
             joint_display_name(selected_joint));
    return 0;
}

void draw_joint_state_line()
{
    char line[96];
    if (joint_state_line_text(line, sizeof line) != 0)
        return;
    set_colour(text_colours.text, 0.9f);
    draw_text_centred(2, view_height - 60, line);
}

// ---- banner ------------------------------------------------------------------------

void show_banner(int font, int colour, int seconds, const char *line1, const char *line2,
                 const char *line3, int pause, int shadow)
{
    const char *lines[BANNER_LINES] = {line1, line2, line3};
    for (int i = 0; i < BANNER_LINES; i++)
        n_strncpyz(banner_lines[i], lines[i] ? lines[i] : "", BANNER_TEXT);
    banner.font = font;
    banner.colour = colour;
    banner.shadow = shadow;
    banner.seconds = seconds;
    banner.end_ms = frame_tick + seconds * 1000;
    if (pause && !match_state.game_paused) {
        toggle_game_paused(match_state.turn_frame);
        banner_paused_game = 1;
    }
}

float banner_alpha(int32_t now)
{
    if (!banner_lines[0][0])
        return -1.0f;
    int32_t left = banner.end_ms - now;
    if (left <= 0) {
        clear_banner();
        return -1.0f;
    }
    return left < 1000 ? (float)left / 1000.0f : 1.0f;
}

void draw_banner()
{
    float alpha = banner_alpha(frame_tick);
    if (alpha < 0)
        return;
    int y = (int)(0.55f * (float)view_height);
    for (int i = 0; i < BANNER_LINES; i++) {
        if (banner.shadow >= 0) {
            set_colour(banner.shadow, alpha);
            draw_text_centred(banner.font, y - 1, banner_lines[i]);
        }
        set_colour(banner.colour, alpha);
        draw_text_centred(banner.font, y, banner_lines[i]);
        if (i + 1 < BANNER_LINES && !banner_lines[i + 1][0])
            break;
        y += BANNER_LINE_STEP;
    }
}

// ---- wiring ------------------------------------------------------------------------

static void core_show_banner(int font, int seconds, const char *l1, const char *l2,
                             const char *l3)
{
    show_banner(font, text_colours.text, seconds, l1, l2, l3, 0, -1);
}

static void hud_console_set_rows(int rows, int x, int first_row_y, int row_height)
{
    MessageConsole *c = &message_console;
    c->console_rows = rows > 0 ? rows : 1;
    c->list.visible_rows = list_shown_rows();
    place_console_rows(x, first_row_y, row_height);
}

static void hud_console_scroll(int position)
{
    if (position < 0)
        scroll_list_to_end();
    else
        message_console.list.first = position;
}

void bind_console()
{
    bind_console_commands();
    if (!script_shell.launch_browser)
        script_shell.launch_browser = [](const char *url) { launch_browser(url); };
    if (!core_outward.echo)
        core_outward.echo = console_echo;
    if (!core_outward.show_banner)
        core_outward.show_banner = core_show_banner;
    if (!core_outward.banner_showing)
        core_outward.banner_showing = [] { return banner_alpha(frame_tick) >= 0 ? 1 : 0; };
    if (!hud_outward.console_line_count)
        hud_outward.console_line_count = [] { return message_console.line_count; };
    if (!hud_outward.console_capacity)
        hud_outward.console_capacity = [] { return console_window_rows(view_height); };
    if (!hud_outward.console_set_rows)
        hud_outward.console_set_rows = hud_console_set_rows;
    if (!hud_outward.console_scroll)
        hud_outward.console_scroll = hud_console_scroll;
    if (!game_links.get_console_list)
        game_links.get_console_list = get_console_list;
    if (!game_links.set_chat_lines)
        game_links.set_chat_lines = set_chat_lines;
    if (!game_links.clear_console)
        game_links.clear_console = clear_console;
    if (!game_links.draw_say_box)
        game_links.draw_say_box = draw_say_box_in_game;
    if (!game_links.open_hovered_link)
        game_links.open_hovered_link = open_hovered_link;
}

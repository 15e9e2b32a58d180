// Scroll list operations, button press states and the control bar.
#include "shell/widgets.h"

// GLEW comes before any other GL header.
#include "render/gl_draw.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/ghost.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/step.h"
#include "platform/camera.h"
#include "render/hud.h"
#include "render/texture.h"
#include "shell/app.h"
#include "shell/console.h"
#include "shell/game_control.h"
#include "shell/input.h"
#include "shell/options.h"
#include "shell/palette.h"
#include "shell/ttf_text.h"

// ---- scroll list ------------------------------------------------------------------

void list_init(ScrollList *list)
{
    memset(list, 0, sizeof(*list));
    list->visible_rows = 5;
    list->hover = -1;
    list->chosen = -1;
}

// Keeps 0 <= first and first + visible <= count, the hover inside the rows.
static void list_clamp(ScrollList *l)
{
    if (l->visible_rows > l->count)
        l->visible_rows = l->count;
    if (l->visible_rows < 0)
        l->visible_rows = 0;
    if (l->first > l->count - l->visible_rows)
        l->first = l->count - l->visible_rows;
    if (l->first < 0)
        l->first = 0;
    if (l->hover >= l->count)
        l->hover = l->count - 1;
}

void list_set_count(ScrollList *l, int count, int visible)
{
    l->count = count > 0 ? count : 0;
    l->visible_rows = visible < l->count ? visible : l->count;
    if (!l->keep_position) {
        l->first = 0;
        l->hover = 0;
    }
    list_clamp(l);
    if (l->count == 0)
        l->hover = -1;
}

int list_hovered_index(const ScrollList *l)
{
    return l->hover >= 0 && l->hover < l->count ? l->hover : -1;
}

void list_move_down(ScrollList *l)
{
    if (l->count <= 0 || l->hover >= l->count - 1)
        return;
    l->hover = l->hover < 0 ? l->first : l->hover + 1;
    if (l->hover >= l->first + l->visible_rows)
        l->first = l->hover - l->visible_rows + 1;
    list_clamp(l);
}

void list_move_up(ScrollList *l)
{
    if (l->count <= 0 || l->hover == 0)
        return;
    l->hover = l->hover < 0 ? l->first : l->hover - 1;
    if (l->hover < l->first)
        l->first = l->hover;
    list_clamp(l);
}

void list_first(ScrollList *l)
{
    l->first = 0;
    l->hover = l->count > 0 ? 0 : -1;
}

void list_last(ScrollList *l)
{
    l->first = l->count - l->visible_rows;
    l->hover = l->count - 1;
    list_clamp(l);
}

void list_page_down(ScrollList *l)
{
    if (l->count <= 0)
        return;
    l->first += l->visible_rows;
    list_clamp(l);
    l->hover = l->first + l->visible_rows - 1;
}

void list_page_up(ScrollList *l)
{
    if (l->count <= 0)
        return;
    if (l->first == 0) {
        l->hover = 0;
        return;
    }
    l->first -= l->visible_rows;
    list_clamp(l);
    l->hover = l->first;
}

void list_update_hover(ScrollList *l, int x, int y)
{
    // A list without a place on the screen keeps its keyboard hover, and so
    // does one whose page does its own hit test.
    if (l->row_height <= 0 || l->hit_test_off)
        return;
    l->scroll_up = 0;
    l->scroll_down = 0;
    int h = l->row_height;
    int bottom = l->first_y + l->visible_rows * h;
    if (x < l->x || x > l->right || y < l->first_y || y >= bottom) {
        l->hover = -1;
        if (x >= l->x && x <= l->right && l->count > l->visible_rows) {
            if (y < l->first_y)
                l->scroll_up = 1;
            else
                l->scroll_down = 1;
        }
        return;
    }
    int row = l->first + (y - l->first_y) / h;
    l->hover = row < l->count ? row : -1;
}

// ---- buttons ----------------------------------------------------------------------

static int button_hit(const Button *b, int x, int y)
{
    if (!b->visible)
        return 0;
    if (b->kind == BUTTON_ICON)
        return b->x < x && x < b->x + b->size && b->y - b->size < y && y < b->y;
    return b->x < x && x < b->x + b->width && b->y < y && y < b->y + b->height;
}

int button_press(Button *b, int down, int x, int y, Button *group, int group_count)
{
    if (button_hit(b, x, y)) {
        if (down) {
            // Pressing from idle (the mouse came in with the button held)
            // only hovers: a press must start on the button.
            b->state = (b->state == BUTTON_IDLE) ? BUTTON_HOVERED : BUTTON_PRESSED;
            b->scale = 1.2f;
            return 1;
        }
        if (b->state == BUTTON_PRESSED) {
            if (b->kind == BUTTON_HEADER) {
                for (int i = 0; group && i < group_count; i++)
                    if (&group[i] != b && group[i].kind == BUTTON_HEADER)
                        group[i].sort_state = 0;
                b->sort_state = b->sort_state == 1 ? 2 : 1;
            }
            if (b->callback)
                b->callback(b->sort_state);
        }
        b->state = BUTTON_HOVERED;
        b->scale = 1.2f;
        return 1;
    }
    if (down && (b->state == BUTTON_PRESSED || b->state == BUTTON_DRAGGED_OUT)) {
        b->state = BUTTON_DRAGGED_OUT;
        b->scale = 1.0f;
        return 1;
    }
    // Released outside (also after a drag-out) or never pressed: idle.
    b->state = BUTTON_IDLE;
    b->scale = 1.0f;
    return 0;
}

// ---- per-menu button list ------------------------------------------------------------

void (*sort_servers)(int column, int descending);

static void sort_by(int column, int state)
{
    if (sort_servers && state)
        sort_servers(column, state == 2);
}
static void sort_0(int s) { sort_by(0, s); }
static void sort_1(int s) { sort_by(1, s); }
static void sort_2(int s) { sort_by(2, s); }
static void sort_3(int s) { sort_by(3, s); }
static void sort_4(int s) { sort_by(4, s); }

const MenuButtonRow MenuButtonTable[MENU_BUTTON_ROWS] = {
    {1, BUTTON_HEADER, 0, 0, 30, "#", sort_0, 30, 20, 1},
    {1, BUTTON_HEADER, 0, 1, 30, "DESCRIPTION", sort_1, 300, 20, 0},
    {1, BUTTON_HEADER, 0, 2, 30, "MOD", sort_2, 190, 20, 0},
    {1, BUTTON_HEADER, 0, 3, 30, "PLAYERS", sort_3, 100, 20, 0},
    {1, BUTTON_HEADER, 0, 4, 30, "BUDDIES", sort_4, 100, 20, 0},
};

ButtonList menu_buttons;

void free_button_list()
{
    free(menu_buttons.buttons);
    menu_buttons.buttons = nullptr;
    menu_buttons.count = 0;
    menu_buttons.capacity = 0;
}

int build_button_list(int menu)
{
    menu_buttons.count = 0;
    for (const MenuButtonRow &r : MenuButtonTable) {
        if (r.menu != menu)
            continue;
        if (menu_buttons.count == menu_buttons.capacity) {
            int cap = menu_buttons.capacity + 20;
            Button *grown = (Button *)realloc(menu_buttons.buttons, sizeof(Button) * (size_t)cap);
            if (!grown) {
                fprintf(stderr, "build_button_list: out of memory\n");
                menu_buttons.count = 0;
                return 1;
            }
            menu_buttons.buttons = grown;
            menu_buttons.capacity = cap;
        }
        Button *b = &menu_buttons.buttons[menu_buttons.count++];
        memset(b, 0, sizeof(*b));
        b->kind = r.kind;
        b->texture = r.texture;
        b->x = screen_layout.hud_columns[r.column];
        b->y = r.y;
        b->width = r.width;
        b->height = r.height;
        b->sort_state = r.sort_state;
        b->scale = 1.0f;
        b->visible = 1;
        strncpy(b->label, r.label, sizeof(b->label) - 1);
        b->callback = r.callback;
    }
    return 0;
}

void place_button_list()
{
    int i = 0;
    for (const MenuButtonRow &r : MenuButtonTable) {
        if (i >= menu_buttons.count)
            break;
        if (r.menu != menu_state)
            continue;
        menu_buttons.buttons[i++].x = screen_layout.hud_columns[r.column];
    }
}

int offer_button_list(int left_down, int x, int y)
{
    int taken = 0;
    for (int i = 0; i < menu_buttons.count; i++)
        if (button_press(&menu_buttons.buttons[i], left_down, x, y, menu_buttons.buttons,
                         menu_buttons.count))
            taken = 1;
    return taken;
}

// ---- control bar ------------------------------------------------------------------

Button control_bar[CONTROL_BUTTONS];

static int offline_in_game() { return menu_state == 0 && !is_connected(); }

static void cb_play(int) { toggle_game_paused(0); }
static void cb_play_offline(int) { if (offline_in_game()) toggle_game_paused(0); }
static void cb_replay(int) { begin_replay(0); }
static void cb_replay_offline(int) { if (offline_in_game()) begin_replay(0); }
static void cb_commit(int mode)
{
    // In game, between turns of a live match (a ghost preview may run).
    if (menu_state == 0 && !is_simulating() && replay_mode == REPLAY_LIVE &&
        !match_state.game_over)
        commit_move(mode);
}
static void cb_next_frame(int) { cb_commit(1); }
static void cb_next_turn(int) { cb_commit(0); }
static void cb_console_down(int)
{
    ScrollList *l = game_links.get_console_list ? game_links.get_console_list() : nullptr;
    if (l)
        list_move_down(l);
}
// Previous and next replay of "replay/" (rescanned first; an empty list
// does nothing).
static void cb_previous(int)
{
    if (offline_in_game())
        step_replay_list(-1);
}
static void cb_next(int)
{
    if (offline_in_game())
        step_replay_list(1);
}
// The chat input closes when open, else the say box opens.
static void cb_chat(int)
{
    TextLines *chat = get_chat_input();
    if (menu_state == 16 || (chat && text_lines_is_active(chat))) {
        if (chat) {
            text_lines_clear(chat);
            text_lines_deactivate(chat);
        }
        if (game_links.switch_menu)
            game_links.switch_menu(0);
        return;
    }
    if (game_links.switch_menu)
        game_links.switch_menu(16);
}
static void cb_ghost(int) { cycle_ghost_button(); }
static void cb_help(int) { help_overlay = !help_overlay; }
static void cb_console_up(int)
{
    ScrollList *l = game_links.get_console_list ? game_links.get_console_list() : nullptr;
    if (l)
        list_move_up(l);
}

static void make_icon(int slot, const char *label, int size, int texture, void (*callback)(int))
{
    Button *b = &control_bar[slot];
    memset(b, 0, sizeof(*b));
    b->kind = BUTTON_ICON;
    b->size = size;
    b->width = size;
    b->height = size;
    b->texture = texture;
    b->scale = 1.0f;
    strncpy(b->label, label, sizeof(b->label) - 1);
    b->callback = callback;
}

void place_control_bar(int w, int h)
{
    int row = h - 30, bar = row - 30;
    static const struct {
        int slot, x_from_centre, left, y_kind, y_offset;
    } places[] = {
        // y_kind 0: the replay row, 1: the play bar, 2: the row less the
        // offset, 3: half the height plus the offset
        {CB_PREVIOUS, -100, 0, 0, 0}, {CB_PLAY, -50, 0, 0, 0},
        {CB_REWIND, 0, 0, 0, 0},      {CB_NEXT, 50, 0, 0, 0},
        {CB_BAR_PLAY, -100, 0, 1, 0}, {CB_NEXT_FRAME, -50, 0, 1, 0},
        {CB_NEXT_TURN, 0, 0, 1, 0},   {CB_REPLAY, 50, 0, 1, 0},
        {CB_CHAT, 0, 2, 2, 60},       {CB_CONSOLE_DOWN, 0, 6, 2, 90},
        {CB_CONSOLE_UP, 0, 6, 2, 108}, {CB_GHOST, 0, 2, 3, 0},
        {CB_HELP, 0, 2, 3, 35},
    };
    for (const auto &p : places) {
        Button *b = &control_bar[p.slot];
        b->x = p.left ? p.left : w / 2 + p.x_from_centre;
        switch (p.y_kind) {
        case 0: b->y = row; break;
        case 1: b->y = bar; break;
        case 2: b->y = row - p.y_offset; break;
        default: b->y = h / 2 + p.y_offset; break;
        }
    }
}

void create_control_bar(int w, int h)
{
    make_icon(CB_PREVIOUS, "Previous", 64, 20, cb_previous);
    make_icon(CB_PLAY, "Play", 64, 17, cb_play_offline);
    make_icon(CB_REWIND, "Rewind", 64, 21, cb_replay_offline);
    make_icon(CB_NEXT, "Next", 64, 19, cb_next);
    make_icon(CB_BAR_PLAY, "Play", 64, 17, cb_play);
    make_icon(CB_NEXT_FRAME, "Next Frame", 64, 22, cb_next_frame);
    make_icon(CB_NEXT_TURN, "Next Turn", 64, 23, cb_next_turn);
    make_icon(CB_REPLAY, "Replay", 64, 21, cb_replay);
    make_icon(CB_CHAT, "", 32, 29, cb_chat);
    make_icon(CB_CONSOLE_DOWN, "", 16, 31, cb_console_down);
    make_icon(CB_CONSOLE_UP, "", 16, 30, cb_console_up);
    make_icon(CB_GHOST, "Ghost", 32, 24, cb_ghost);
    make_icon(CB_HELP, "Help", 32, 28, cb_help);
    make_icon(CB_LAST, "", 0, 0, nullptr);
    place_control_bar(w, h);
}

void cycle_ghost_button()
{
    if (ghost_setting == GHOST_OFF) {
        toggle_ghost_own();
    } else if (ghost_setting == GHOST_ONE) {
        toggle_ghost_all();
    } else {
        stop_ghost();
        ghost_setting = GHOST_OFF;
    }
    static const int icons[3] = {24, 25, 26};
    int g = ghost_setting >= GHOST_OFF && ghost_setting <= GHOST_ALL ? ghost_setting : 0;
    control_bar[CB_GHOST].texture = icons[g];
}

void hide_all_buttons()
{
    for (int i = 0; i < CONTROL_BUTTONS; i++)
        control_bar[i].visible = 0;
}

void show_replay_buttons()
{
    hide_all_buttons();
    control_bar[CB_PLAY].visible = 1;
    control_bar[CB_NEXT].visible = 1;
    control_bar[CB_PREVIOUS].visible = 1;
    control_bar[CB_REWIND].visible = 1;
}

void show_play_buttons()
{
    hide_all_buttons();
    static const int shown[] = {CB_GHOST, CB_HELP, CB_BAR_PLAY, CB_NEXT_FRAME, CB_NEXT_TURN,
                                CB_REPLAY};
    for (int i : shown)
        control_bar[i].visible = 1;
}

void show_icon_buttons()
{
    control_bar[CB_CHAT].visible = 1;
    control_bar[CB_CONSOLE_DOWN].visible = 1;
    control_bar[CB_CONSOLE_UP].visible = 1;
}

void set_play_icon(int paused)
{
    int icon = paused ? 17 : 18;
    control_bar[CB_PLAY].texture = icon;
    control_bar[CB_BAR_PLAY].texture = icon;
}

void hide_last_control_button() { control_bar[CB_LAST].visible = 0; }

// The bar belongs to the game: a page that hides the game hides it too.
int control_bar_shown()
{
    int behind = game_links.menu_game_behind ? game_links.menu_game_behind(menu_state) : 1;
    return get_option(OPT_GUI) != 0 && behind;
}

int offer_control_bar(int left_down, int x, int y)
{
    int taken = 0;
    int shown = control_bar_shown();
    // Every button sees the mouse so that the others fall back to idle; a
    // bar that is not drawn takes nothing (its buttons only fall back).
    for (int i = 0; i < CONTROL_BUTTONS; i++) {
        Button *b = &control_bar[i];
        if (!shown) {
            b->state = BUTTON_IDLE;
            b->scale = 1.0f;
            continue;
        }
        if (button_press(b, left_down, x, y, nullptr, 0))
            taken = 1;
    }
    return taken;
}

int offer_all_buttons(int left_down, int x, int y)
{
    if (offer_control_bar(left_down, x, y))
        return 1;
    if (offer_slider(left_down, x, y))
        return 1;
    return offer_button_list(left_down, x, y);
}

// ---- slider --------------------------------------------------------------------------

Slider menu_slider;

void create_slider(ScrollList *list, int x, int y, int height)
{
    drop_slider();
    if (!list || list->count <= list->visible_rows || height <= 0)
        return;
    menu_slider.active = 1;
    menu_slider.list = list;
    menu_slider.x = x;
    menu_slider.y = y;
    menu_slider.width = 15;
    menu_slider.height = height;
}

void drop_slider() { memset(&menu_slider, 0, sizeof menu_slider); }

int slider_held() { return menu_slider.active && menu_slider.dragging; }

int slider_thumb(const Slider *s, int *offset, int *size)
{
    if (!s->active || !s->list || s->list->count <= 0 || s->height <= 0)
        return 1;
    const ScrollList *l = s->list;
    int thumb = (int)((long)s->height * l->visible_rows / l->count);
    if (thumb > s->height)
        thumb = s->height;
    if (thumb < 8)
        thumb = s->height < 8 ? s->height : 8;
    int span = l->count - l->visible_rows;
    int off = 0;
    if (span > 0)
        off = (int)((long)l->first * (s->height - thumb) / span);
    if (off > s->height - thumb)
        off = s->height - thumb;
    if (off < 0)
        off = 0;
    *offset = off;
    *size = thumb;
    return 0;
}

// Moves the list's first row to `first` (clamped), keeping the hover on the page.
static void scroll_list_to(ScrollList *l, int first)
{
    int span = l->count - l->visible_rows;
    if (first > span)
        first = span;
    if (first < 0)
        first = 0;
    int hover_row = l->hover - l->first;
    l->first = first;
    if (l->hover >= 0) {
        if (hover_row < 0)
            hover_row = 0;
        if (hover_row >= l->visible_rows)
            hover_row = l->visible_rows - 1;
        l->hover = first + hover_row;
    }
}

int offer_slider(int left_down, int x, int y)
{
    Slider *s = &menu_slider;
    if (!s->active || !s->list)
        return 0;
    int off = 0, thumb = 0;
    if (slider_thumb(s, &off, &thumb) != 0)
        return 0;
    ScrollList *l = s->list;
    int new_press = left_down && !s->held;
    s->held = left_down;
    int inside = x >= s->x && x < s->x + s->width && y >= s->y && y < s->y + s->height;
    int on_thumb = inside && y >= s->y + off && y < s->y + off + thumb;
    s->hover = on_thumb;
    if (s->dragging) {
        if (!left_down) {
            s->dragging = 0;
            return 1;
        }
        int span = l->count - l->visible_rows;
        int room = s->height - thumb;
        int top = y - s->grab - s->y;
        if (room > 0 && span > 0)
            scroll_list_to(l, (int)lround((double)top * span / room));
        return 1;
    }
    if (!new_press || !inside)
        return 0;
    if (on_thumb) {
        s->dragging = 1;
        s->grab = y - (s->y + off);
        return 1;
    }
    // On the track: as many rows as the pointer lies from the thumb's centre.
    double step = (double)s->height / l->count;
    int rows = (int)((y - (s->y + off + thumb / 2)) / step);
    if (rows == 0)
        rows = y < s->y + off ? -1 : 1;
    scroll_list_to(l, l->first + rows);
    return 1;
}

// ---- drawing --------------------------------------------------------------------------

static void draw_icon(const Button *b)
{
    const Texture *t = table_texture(b->texture);
    float size = (float)b->size * b->scale;
    // Scaled about the icon's centre; a pressed icon sits 3 pixels right and up.
    float cx = (float)b->x + b->size * 0.5f, cy = (float)b->y - b->size * 0.5f;
    if (b->state == BUTTON_PRESSED) {
        cx += 3;
        cy -= 3;
    }
    if (t && texture_loaded(t)) {
        draw_textured_quad(t, cx - size * 0.5f, cy - size * 0.5f, size, size);
    } else {
        set_colour(text_colours.text, 0.5f);
        draw_rect_outline(cx - size * 0.5f, cy - size * 0.5f, cx + size * 0.5f, cy + size * 0.5f);
    }
}

// A hovered icon's label, drawn after every button so that no other button
// covers it: under the icon (above it where the bottom hint line stands),
// kept inside the window.
static void draw_icon_label(const Button *b)
{
    if (!b->visible || b->kind != BUTTON_ICON || b->state != BUTTON_HOVERED || !b->label[0])
        return;
    float cx = (float)b->x + b->size * 0.5f;
    float w = (float)text_width(1, b->label);
    float x = cx - w * 0.5f;
    if (x + w > view_width - 2)
        x = view_width - 2 - w;
    if (x < 2)
        x = 2;
    float y = (float)b->y + 2;
    if (y + 20 > view_height - 40)
        y = (float)(b->y - b->size - 20);
    set_colour(text_colours.background, 0.6f);
    draw_rect_filled(x - 2, y - 1, x + w + 2, y + (float)font_height(1) + 1);
    set_colour(text_colours.text, 0.9f);
    draw_text(1, x, y, b->label);
}

static void draw_header(const Button *b)
{
    float x1 = (float)b->x, y1 = (float)b->y;
    float x2 = x1 + b->width, y2 = y1 + b->height;
    set_colour(text_colours.background, 0.6f);
    draw_rect_filled(x1, y1, x2, y2);
    set_colour(text_colours.text, 1.0f);
    draw_rect_outline(x1, y1, x2, y2);
    int strong = b->state == BUTTON_PRESSED || b->state == BUTTON_HOVERED;
    set_colour(strong ? text_colours.selected : text_colours.text, 1.0f);
    draw_text(1, x1 + 4, y1 + 1, b->label);
    if (b->sort_state == 1)
        draw_triangle_2d(x2 - 14, y2 - 6, 8, 8);    // up
    else if (b->sort_state == 2)
        draw_triangle_2d(x2 - 14, y1 + 6, -8, 8);   // down
}

static void draw_arrow(const Button *b)
{
    float x = (float)b->x, y = (float)b->y;
    float w = (float)(b->width > 0 ? b->width : 12), h = (float)(b->height > 0 ? b->height : 12);
    set_colour(b->state == BUTTON_HOVERED || b->state == BUTTON_PRESSED ? text_colours.selected
                                                                         : text_colours.text,
               1.0f);
    switch (b->texture) {
    case 0: draw_triangle_2d(x, y + h, h, w); break;     // up
    case 1: draw_triangle_2d(x, y, -h, w); break;        // down
    case 2:
        draw_triangle_2d(x, y + h * 0.5f, h * 0.5f, w);
        draw_triangle_2d(x, y + h, h * 0.5f, w);
        break;
    default:
        draw_triangle_2d(x, y, -h * 0.5f, w);
        draw_triangle_2d(x, y + h * 0.5f, -h * 0.5f, w);
        break;
    }
}

void draw_button(const Button *b)
{
    if (!b->visible)
        return;
    switch (b->kind) {
    case BUTTON_ICON: draw_icon(b); break;
    case BUTTON_HEADER: draw_header(b); break;
    default: draw_arrow(b); break;
    }
}

static void draw_slider()
{
    const Slider *s = &menu_slider;
    int off = 0, thumb = 0;
    if (slider_thumb(s, &off, &thumb) != 0)
        return;
    float x1 = (float)s->x, x2 = (float)(s->x + s->width);
    set_colour(text_colours.background, 0.5f);
    draw_rect_filled(x1, (float)s->y, x2, (float)(s->y + s->height));
    set_colour(text_colours.text, 1.0f);
    draw_rect_outline(x1, (float)s->y, x2, (float)(s->y + s->height));
    set_colour(s->dragging || s->hover ? text_colours.selected : text_colours.text, 0.9f);
    draw_rect_filled(x1 + 2, (float)(s->y + off), x2 - 2, (float)(s->y + off + thumb));
}

void draw_buttons()
{
    // The places follow the window size.
    static int placed_width = -1, placed_height = -1;
    if (view_width != placed_width || view_height != placed_height) {
        placed_width = view_width;
        placed_height = view_height;
        place_control_bar(view_width, view_height);
        place_button_list();
    }
    int bar = control_bar_shown();
    if (bar)
        for (int i = 0; i < CONTROL_BUTTONS; i++)
            draw_button(&control_bar[i]);
    for (int i = 0; i < menu_buttons.count; i++)
        draw_button(&menu_buttons.buttons[i]);
    draw_slider();
    if (bar)
        for (int i = 0; i < CONTROL_BUTTONS; i++)
            draw_icon_label(&control_bar[i]);
}

void bind_widgets()
{
    create_control_bar(view_width, view_height);
    if (!game_links.offer_buttons)
        game_links.offer_buttons = offer_all_buttons;
    if (!game_links.update_list_hover)
        game_links.update_list_hover = list_update_hover;
    if (!game_links.show_play_buttons)
        game_links.show_play_buttons = show_play_buttons;
    if (!game_links.show_replay_buttons)
        game_links.show_replay_buttons = show_replay_buttons;
    if (!game_links.set_play_icon)
        game_links.set_play_icon = set_play_icon;
    if (!game_links.hide_last_control_button)
        game_links.hide_last_control_button = hide_last_control_button;
    if (!game_links.menu_slider_held)
        game_links.menu_slider_held = slider_held;
}

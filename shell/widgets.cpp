// Scroll list operations, button press states and the control bar.
#include "shell/widgets.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/outward.h"
#include "core/records.h"
#include "platform/camera.h"
#include "shell/app.h"
#include "shell/console.h"
#include "shell/game_control.h"

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
    // A list without a place on the screen keeps its keyboard hover.
    if (l->row_height <= 0)
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
    if (menu_state == 0 && match_state.game_paused && core_outward.commit_turn)
        core_outward.commit_turn(mode);
}
static void cb_next_frame(int) { cb_commit(1); }
static void cb_next_turn(int) { cb_commit(0); }
static void cb_console_down(int)
{
    ScrollList *l = game_links.get_console_list ? game_links.get_console_list() : nullptr;
    if (l)
        list_move_down(l);
}
static void cb_console_up(int)
{
    ScrollList *l = game_links.get_console_list ? game_links.get_console_list() : nullptr;
    if (l)
        list_move_up(l);
}

static void make_icon(int slot, const char *label, int size, int x, int y, int texture,
                      void (*callback)(int))
{
    Button *b = &control_bar[slot];
    memset(b, 0, sizeof(*b));
    b->kind = BUTTON_ICON;
    b->size = size;
    b->width = size;
    b->height = size;
    b->x = x;
    b->y = y;
    b->texture = texture;
    b->scale = 1.0f;
    strncpy(b->label, label, sizeof(b->label) - 1);
    b->callback = callback;
}

void create_control_bar(int w, int h)
{
    int row = h - 30, bar = row - 30;
    // The previous and next replay and the chat, ghost and help buttons
    // carry no action here yet.
    make_icon(CB_PREVIOUS, "Previous", 64, w / 2 - 100, row, 20, nullptr);
    make_icon(CB_PLAY, "Play", 64, w / 2 - 50, row, 17, cb_play_offline);
    make_icon(CB_REWIND, "Rewind", 64, w / 2, row, 21, cb_replay_offline);
    make_icon(CB_NEXT, "Next", 64, w / 2 + 50, row, 19, nullptr);
    make_icon(CB_BAR_PLAY, "Play", 64, w / 2 - 100, bar, 17, cb_play);
    make_icon(CB_NEXT_FRAME, "Next Frame", 64, w / 2 - 50, bar, 22, cb_next_frame);
    make_icon(CB_NEXT_TURN, "Next Turn", 64, w / 2, bar, 23, cb_next_turn);
    make_icon(CB_REPLAY, "Replay", 64, w / 2 + 50, bar, 21, cb_replay);
    make_icon(CB_CHAT, "", 32, 2, row - 60, 29, nullptr);
    make_icon(CB_CONSOLE_DOWN, "", 16, 6, row - 90, 31, cb_console_down);
    make_icon(CB_CONSOLE_UP, "", 16, 6, row - 108, 30, cb_console_up);
    make_icon(CB_GHOST, "Ghost", 32, 2, h / 2, 24, nullptr);
    make_icon(CB_HELP, "Help", 32, 2, h / 2 + 35, 28, nullptr);
    make_icon(CB_LAST, "", 0, 0, 0, 0, nullptr);
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

int offer_control_bar(int left_down, int x, int y)
{
    int taken = 0;
    // Every button sees the mouse so that the others fall back to idle.
    for (int i = 0; i < CONTROL_BUTTONS; i++)
        if (button_press(&control_bar[i], left_down, x, y, nullptr, 0))
            taken = 1;
    return taken;
}

int offer_all_buttons(int left_down, int x, int y)
{
    if (offer_control_bar(left_down, x, y))
        return 1;
    return offer_button_list(left_down, x, y);
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
}

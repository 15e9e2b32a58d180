// Scroll list operations over ScrollList (hover is the absolute index of the
// hovered row, -1 none; first is the first visible row) and the buttons of
// the fixed control bar with their press states.
#pragma once

struct ScrollList;

// ---- scroll list ------------------------------------------------------------------
void list_init(ScrollList *list);   // enabled defaults: 5 visible, nothing hovered
void list_set_count(ScrollList *list, int count, int visible);
int list_hovered_index(const ScrollList *list);
void list_move_down(ScrollList *list);
void list_move_up(ScrollList *list);
void list_first(ScrollList *list);
void list_last(ScrollList *list);
void list_page_down(ScrollList *list);
void list_page_up(ScrollList *list);
// Hover from a mouse position; sets the automatic scroll flags above and
// below the rows.
void list_update_hover(ScrollList *list, int x, int y);

// ---- buttons ----------------------------------------------------------------------
enum { BUTTON_ICON = 0, BUTTON_HEADER = 2, BUTTON_ARROW = 3 };
enum { BUTTON_IDLE = 0, BUTTON_PRESSED = 1, BUTTON_HOVERED = 2, BUTTON_DRAGGED_OUT = 3 };

struct Button {
    int x, y;
    int kind;
    int texture;      // icon texture id, or the arrow direction
    int size;         // icon size 64, 32 or 16
    int width, height;
    int state;
    int sort_state;   // headers: 0 none, 1 ascending, 2 descending
    float scale;      // 1.0, 1.2 when pressed or hovered
    int visible;
    char label[32];
    void (*callback)(int sort_state);
};

// Offers a mouse state to one button (down: 1 pressed, 0 released);
// 1 when the button took it. Headers among `group` (may be null) lose their
// sort state when this one is clicked.
int button_press(Button *b, int down, int x, int y, Button *group, int group_count);

// ---- per-menu button list ------------------------------------------------------------
struct MenuButtonRow {
    int menu, kind, texture;
    int column;   // HUD column (screen_layout.hud_columns)
    int y;
    const char *label;
    void (*callback)(int sort_state);
    int width, height, sort_state;
};
enum { MENU_BUTTON_ROWS = 5 };
extern const MenuButtonRow MenuButtonTable[MENU_BUTTON_ROWS];

struct ButtonList {
    Button *buttons;   // grows by 20
    int count, capacity;
};
extern ButtonList menu_buttons;

// Rebuilds menu_buttons from MenuButtonTable for one menu page; 0 on
// success, 1 when memory ran out (the list is then empty).
int build_button_list(int menu);
void free_button_list();
// Moves the list's buttons to the HUD columns of the window as it is now.
void place_button_list();
int offer_button_list(int left_down, int x, int y);

// The server browser's sort by column 0..4 (empty: nothing sorts).
extern void (*sort_servers)(int column, int descending);

// ---- control bar ------------------------------------------------------------------
enum {
    CB_PREVIOUS, CB_PLAY, CB_REWIND, CB_NEXT,
    CB_BAR_PLAY, CB_NEXT_FRAME, CB_NEXT_TURN, CB_REPLAY,
    CB_CHAT, CB_CONSOLE_DOWN, CB_CONSOLE_UP, CB_GHOST, CB_HELP, CB_LAST,
    CONTROL_BUTTONS
};
extern Button control_bar[CONTROL_BUTTONS];

void create_control_bar(int width, int height);   // all hidden
// Moves the buttons to their places for a window size; states, icons and
// visibility stay.
void place_control_bar(int width, int height);
void hide_all_buttons();
void show_replay_buttons();
void show_play_buttons();
void show_icon_buttons();
void set_play_icon(int paused);   // 17 paused, 18 running
void hide_last_control_button();
// The control bar's share of the mouse: 1 when a button took it.
int offer_control_bar(int left_down, int x, int y);
// The control bar, then the menu's button list: 1 when one took it.
int offer_all_buttons(int left_down, int x, int y);

// The ghost button's cycle: off -> own fighter -> all -> off; the icon
// shows the step a press takes next.
void cycle_ghost_button();

// ---- slider --------------------------------------------------------------------------
// The single extra button beside a long list: a track with a thumb whose
// size is the visible share of the rows.
struct Slider {
    int active;
    int x, y;          // top left of the track
    int width;         // 15
    int height;        // track height
    int dragging;
    int hover;
    int grab;          // pointer offset into the thumb while dragging
    int held;          // the left button was down at the last offer
    ScrollList *list;
};
extern Slider menu_slider;
// Made only when the list holds more rows than are visible; else dropped.
void create_slider(ScrollList *list, int x, int y, int height);
void drop_slider();
// The thumb's offset from the track top and its size in pixels; 1 when there
// is no slider.
int slider_thumb(const Slider *s, int *offset, int *size);
// The slider's share of the mouse: 1 when it took it.
int offer_slider(int left_down, int x, int y);
int slider_held();

// ---- drawing --------------------------------------------------------------------------
// Whether the control bar is on screen (the "gui" option); a bar that is not
// drawn takes no clicks.
int control_bar_shown();
void draw_button(const Button *b);
// The control bar (when shown), the menu's button list and the slider.
void draw_buttons();

// Fills the empty game_links slots of the widgets.
void bind_widgets();

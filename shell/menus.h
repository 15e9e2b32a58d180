// The menu pages: the table of the 19 numbered menus with their draw, enter
// and leave callbacks, the one way to change the page (switch_menu), the
// choice of a hovered row, Esc on a page, the main and setup menus, the
// file-list pages (replays, mods, scripts), the pages that edit rows of the
// chat input (save replay, options, game rules, login) and the say box.
#pragma once

#include "shell/file_list.h"

enum {
    MENU_GAME = 0,
    MENU_SERVERS = 1,
    MENU_REPLAYS = 2,
    MENU_MODS = 3,
    MENU_SAVE_REPLAY = 4,
    MENU_SCRIPTS = 5,
    MENU_TUTORIAL = 6,
    MENU_SHOP = 7,
    MENU_ABOUT = 8,
    MENU_OPTIONS = 9,
    MENU_BACK_TO_MAIN = 10,
    MENU_RULES = 11,
    MENU_QUIT = 12,
    MENU_MAIN = 13,
    MENU_SETUP = 14,
    MENU_NO_PAGE = 15,
    MENU_SAY = 16,
    MENU_EMPTY = 17,
    MENU_LOGIN = 18,
    MENU_COUNT = 19
};

// One page: callbacks (null where the page has none), whether the match
// runs behind it, its music track, the remembered selection and the next
// page.
struct MenuRow {
    void (*draw)();
    void (*enter)();
    void (*leave)(int row);
    int game_behind;
    int music;
    int selected;
    int next;
};
extern MenuRow MenuTable[MENU_COUNT];

// A row of the main or setup menu: its position, caption and the page it opens.
struct MenuItem {
    int position;
    const char *caption;
    int target;
};
enum { MENU_ITEMS = 7 };
extern const MenuItem MainMenuItems[MENU_ITEMS];
extern const MenuItem SetupMenuItems[MENU_ITEMS];

// The page leave_menu returns to (-1 none); every enter callback sets it.
extern int back_menu;
// Set when the server list sent the player to the login page first.
extern int login_return_mark;
// The login page's line under its form (null when none): what kept Enter
// from logging in, also echoed to the console.
extern const char *login_notice;
extern const char login_missing_user[];

// ---- changing pages -------------------------------------------------------------------
void switch_menu(int menu);
void switch_menu_selected(int menu, int selected);
void leave_menu();
void close_menu();
// The hovered row of the menu list was chosen (Enter or a left click).
void menu_enter();
// Esc on a page or in game.
void menu_escape();
// The chat input was closed with Esc: the edit pages go back, the rest to the game.
void close_chat_menu();
// Esc on the quit page.
void quit_confirm();
// 1 while the match runs behind the page (every page outside 0..18 too).
int menu_game_behind(int menu);

// ---- drawing --------------------------------------------------------------------------
// The current page over the scene (2D, between begin_2d and end_2d).
void draw_menu_page();
// 1 while the page over the game draws its own hint line (the game's hint
// line then stays away).
int menu_page_hint_shown();
// A page that hides the game: the buttons, the page and the cursor.
void draw_menu_screen_full();

// ---- saving a replay ------------------------------------------------------------------
// "replay/<name>.rpl" into out; 1 when the name is not a plain file name
// (empty, a '/' or '\\', a leading '.') or the path does not fit.
int replay_save_path(const char *name, char *out, int size);
// Saves the match under a typed name and author, with the messages of the
// save page; 0 when written.
int save_named_replay(const char *name, const char *author);

// ---- page helpers ---------------------------------------------------------------------
void draw_menu_title(const char *text);
void draw_menu_subtitle(const char *text);
void draw_menu_lines(const char *const *lines);
void draw_menu_hint(const char *text);
// The rows of a file list; a list with no file shows the lines of
// empty_note (null-ended) in place of the rows and the count.
void draw_file_list_page(const char *title, const char *hint, const FileList *files,
                         const char *const *empty_note);
// What the server page says without a server to list (null-ended lines
// for draw_menu_lines).
extern const char *const no_servers_note[];

// The pages' draw callbacks (shell/menu_pages.cpp).
void draw_main_menu();
void draw_setup_menu();
void draw_login_page();
void draw_replays_page();
void draw_mods_page();
void draw_scripts_page();
void draw_save_replay_page();
void draw_options_page();
void draw_rules_page();
void draw_about_page();
void draw_plain_server_page();
// A row of a page's list under the mouse or the keys.
int menu_row_hovered(int row);
// The 8-bit text of chat-input row `row` into out.
void edit_row_text(int row, char *out, int size);
// Saved replays this session.
extern int saved_replay_count;

// Points game_links' page slots and the settings' file-list release at this
// module (only slots still empty).
void bind_menus();

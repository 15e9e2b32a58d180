// The menu table, the page changes and the pages' enter and leave callbacks.
#include "shell/menus.h"

// GLEW comes before any other GL header.
#include "render/gl_draw.h"

#include <SDL/SDL_mixer.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>

#include "core/outward.h"
#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/replay_file.h"
#include "core/rules.h"
#include "core/text.h"
#include "net/login.h"
#include "platform/camera.h"
#include "platform/loop.h"
#include "platform/sound.h"
#include "render/hud.h"
#include "script/api_game.h"
#include "script/engine.h"
#include "shell/app.h"
#include "shell/console.h"
#include "shell/console_commands.h"
#include "shell/customs.h"
#include "shell/game_control.h"
#include "shell/options.h"
#include "shell/settings.h"
#include "shell/widgets.h"

int back_menu = 13;
int login_return_mark;
int saved_replay_count;
// The track that played when a page stopped the music (-1 none).
static int remembered_track = -1;

enum {
    LIST_ROW_HEIGHT = 17,
    LIST_FIRST_Y = 100,
    LIST_X = 150,
    FORM_ROW_HEIGHT = 22,
    MAIN_ROW_HEIGHT = 30,
    MAIN_FIRST_Y = 120,
    MAIN_HALF_WIDTH = 160,
    LOGIN_REGISTER_ROW = 5
};

static const char register_url[] = "http://www.zylomach.net/register";

// ---- file lists ----------------------------------------------------------------------

FileList replay_files = {nullptr, 0, 0, -1};
FileList mod_files = {nullptr, 0, 0, -1};
FileList script_files = {nullptr, 0, 0, -1};

void free_file_list(FileList *list)
{
    free(list->names);
    list->names = nullptr;
    list->count = 0;
    list->capacity = 0;
    list->last = -1;
}

void free_file_lists()
{
    free_file_list(&replay_files);
    free_file_list(&mod_files);
    free_file_list(&script_files);
}

// Room for one more name; 1 when memory ran out.
static int grow_file_list(FileList *list)
{
    if (list->count < list->capacity)
        return 0;
    int capacity = list->capacity == 0 ? FILE_LIST_START : list->capacity + FILE_LIST_STEP;
    char(*grown)[FILE_NAME_BYTES] =
        (char(*)[FILE_NAME_BYTES])malloc(sizeof(*grown) * (size_t)capacity);
    if (!grown) {
        fprintf(stderr, "build_file_list: out of memory\n");
        return 1;
    }
    if (list->count > 0)
        memcpy(grown, list->names, sizeof(*grown) * (size_t)list->count);
    free(list->names);
    list->names = grown;
    list->capacity = capacity;
    return 0;
}

int build_file_list(FileList *list, const char *dir, const char *ext)
{
    free_file_list(list);
    DIR *d = opendir(dir);
    if (!d) {
        fprintf(stderr, "cant open the directory %s\n", dir);
        return -1;
    }
    char suffix[32];
    snprintf(suffix, sizeof suffix, ".%s", ext);
    struct dirent *entry;
    while ((entry = readdir(d)) != nullptr) {
        const char *name = entry->d_name;
        if (strlen(name) > FILE_NAME_MAX || !strstr(name, suffix))
            continue;
        if (grow_file_list(list) != 0)
            break;
        n_strncpyz(list->names[list->count++], name, FILE_NAME_BYTES);
    }
    closedir(d);
    list->last = list->count - 1;
    return list->last;
}

int scan_replays() { return build_file_list(&replay_files, "replay", "rpl"); }
int scan_mods() { return build_file_list(&mod_files, "data/mod", "zmm"); }
int scan_scripts() { return build_file_list(&script_files, "data/script", "lua"); }

// ---- small helpers --------------------------------------------------------------------

static TextLines *edit_buffer() { return get_chat_input(); }

void edit_row_text(int row, char *out, int size)
{
    out[0] = '\0';
    TextLines *t = edit_buffer();
    if (!t || row < 0 || row >= t->num_rows || size < 1)
        return;
    text_lines_get_row(t, row, size - 1, out);
}

static void put_edit_row(int row, const char *text)
{
    TextLines *t = edit_buffer();
    if (!t || row < 0 || row >= t->num_rows)
        return;
    char16 wide[TEXT_ROW_UNITS];
    char cut[TEXT_ROW_UNITS];
    n_strncpyz(cut, text ? text : "", sizeof cut);
    local_to_utf16(wide, cut, (int)strlen(cut));
    text_lines_put_row(t, row, wide);
}

static void clear_edit_buffer()
{
    TextLines *t = edit_buffer();
    if (t) {
        text_lines_clear(t);
        text_lines_deactivate(t);
    }
}

// The pages that edit rows start with an empty, active buffer.
static void start_editing()
{
    TextLines *t = edit_buffer();
    if (!t)
        return;
    text_lines_clear(t);
    text_lines_activate(t);
}

// The menu list as a page lays it out.
static void layout_list(int count, int visible, int first_y, int row_height, int x, int right)
{
    ScrollList *l = get_menu_list();
    if (!l)
        return;
    l->keep_position = 0;
    l->hit_test_off = 0;
    l->scroll_up = 0;
    l->scroll_down = 0;
    list_set_count(l, count, visible);
    l->first_y = first_y;
    l->row_height = row_height;
    l->x = x;
    l->right = right;
    l->chosen = -1;
}

static int list_right_edge()
{
    int right = screen_layout.hud_columns[5];
    return right > LIST_X ? right : view_width - 20;
}

int menu_row_hovered(int row)
{
    ScrollList *l = get_menu_list();
    return l && l->hover == row;
}

static void reset_menu_camera() { reset_camera_view(&match_state, 0); }

static void apply_colour_scheme(int menu)
{
    if (menu == MENU_GAME || menu == MENU_MAIN || menu == MENU_SETUP)
        use_text_colors();
    else
        use_menu_text_colors();
}

static int music_playing() { return current_music && Mix_PlayingMusic(); }

// ---- changing pages -------------------------------------------------------------------

int menu_game_behind(int menu)
{
    if (menu < 0 || menu >= MENU_COUNT)
        return 1;
    return MenuTable[menu].game_behind;
}

void switch_menu_selected(int menu, int selected)
{
    if (menu < 0 || menu >= MENU_COUNT) {
        fprintf(stderr, "switch_menu: no menu %d\n", menu);
        return;
    }
    // The edit pages start their own editing; any other page ends it.
    clear_edit_buffer();
    menu_state = menu;
    MenuTable[menu].selected = selected;
    build_button_list(menu);
    drop_slider();
    if (MenuTable[menu].enter)
        MenuTable[menu].enter();
    apply_colour_scheme(menu_state);
}

void switch_menu(int menu) { switch_menu_selected(menu, -1); }

void leave_menu()
{
    if (back_menu != -1)
        switch_menu(back_menu);
}

void close_menu()
{
    clear_edit_buffer();
    menu_state = MENU_GAME;
    enable_camera_keys();
    // Nothing of a page stays to be clicked in game.
    build_button_list(MENU_GAME);
    drop_slider();
    ScrollList *l = get_menu_list();
    if (l) {
        l->scroll_up = 0;
        l->scroll_down = 0;
        l->hit_test_off = 0;
    }
    apply_colour_scheme(MENU_GAME);
}

static const MenuItem *page_items(int menu)
{
    if (menu == MENU_MAIN)
        return MainMenuItems;
    if (menu == MENU_SETUP)
        return SetupMenuItems;
    return nullptr;
}

void menu_enter()
{
    ScrollList *l = get_menu_list();
    int row = l ? list_hovered_index(l) : -1;
    // The say box has no rows: its Enter sends the line.
    if (row < 0 && menu_state != MENU_SAY)
        return;
    if (const MenuItem *items = page_items(menu_state)) {
        if (row >= MENU_ITEMS)
            return;
        int target = items[row].target;
        if (target < 0 || target >= MENU_COUNT || !MenuTable[target].enter)
            return;
        reset_menu_camera();
        int track = MenuTable[target].music;
        switch_menu(target);
        if (get_option(OPT_MUSIC) && music_playing() && current_track != track)
            start_music(track);
        return;
    }
    switch (menu_state) {
    case MENU_QUIT:
        return;
    case MENU_LOGIN:
        if (row == LOGIN_REGISTER_ROW) {
            if (script_shell.launch_browser) {
                script_shell.launch_browser(register_url);
            } else {
                char line[128];
                snprintf(line, sizeof line, "Register at %s", register_url);
                echo_message(line, MSG_INGAME);
            }
            return;
        }
        break;
    default:
        break;
    }
    if (MenuTable[menu_state].leave)
        MenuTable[menu_state].leave(row);
}

// Starts the remembered track again when nothing plays.
static void restore_music()
{
    if (!music_playing() && remembered_track >= 0 && get_option(OPT_MUSIC)) {
        stop_music();
        start_music(remembered_track);
    }
}

void menu_escape()
{
    if (menu_state == MENU_MAIN || menu_state == MENU_SETUP) {
        restore_music();
        int menu = menu_state;
        MenuTable[menu].leave(-1);
        if (menu == MENU_SETUP)
            switch_menu(MENU_MAIN);
        return;
    }
    if (menu_state == MENU_MODS)
        scan_replays();
    if (menu_state == MENU_SERVERS) {
        if (ScrollList *l = get_menu_list())
            l->hit_test_off = 0;
    }
    if (music_playing() && current_track > 0) {
        remembered_track = current_track;
        stop_music();
        start_music(0);
    }
    // The game's way back is always the main menu (a save page or the
    // quit page before it leaves no page to return to).
    if (menu_state == MENU_GAME) {
        switch_menu(MENU_MAIN);
        return;
    }
    if (back_menu == -1) {
        close_menu();
        return;
    }
    leave_menu();
}

void close_chat_menu()
{
    if (menu_state == MENU_OPTIONS || menu_state == MENU_RULES || menu_state == MENU_LOGIN) {
        restore_music();
        if (back_menu != -1) {
            leave_menu();
            return;
        }
    }
    close_menu();
}

void quit_confirm()
{
    if (MenuTable[MENU_QUIT].leave)
        MenuTable[MENU_QUIT].leave(-1);
}

// ---- enter and leave callbacks ----------------------------------------------------------

static void nothing_to_leave(int) {}
static void nothing_to_draw() {}

static void enter_game()
{
    back_menu = MENU_MAIN;
    LINK(clear_console);
    begin_new_game();
    close_menu();
}

static void enter_server_list()
{
    back_menu = MENU_MAIN;
    // The login first; the page comes back here once it is stored.
    if (!is_logged_in()) {
        login_return_mark = 1;
        switch_menu_selected(MENU_LOGIN, 1);
        return;
    }
    if (game_links.enter_server_list) {
        game_links.enter_server_list();
        return;
    }
    // Without the browser: an empty page.
    ensure_local_user_name();
    layout_list(0, 0, LIST_FIRST_Y, LIST_ROW_HEIGHT, LIST_X, list_right_edge());
}

static void leave_server_list(int row)
{
    if (ScrollList *l = get_menu_list())
        l->hit_test_off = 0;
    if (game_links.leave_server_list)
        game_links.leave_server_list(row);
}

static void draw_server_list_page()
{
    if (game_links.draw_server_list)
        game_links.draw_server_list();
    else
        draw_plain_server_page();
}

// A file-list page: the list gets a row per file, the slider beside it.
static void enter_file_page(int back, int last)
{
    back_menu = back;
    int count = last + 1;
    int visible = (view_height - 154) / LIST_ROW_HEIGHT;
    if (visible < 1)
        visible = 1;
    layout_list(count, visible, LIST_FIRST_Y, LIST_ROW_HEIGHT, LIST_X, list_right_edge());
    ScrollList *l = get_menu_list();
    if (l)
        create_slider(l, list_right_edge() + 10, LIST_FIRST_Y, l->visible_rows * LIST_ROW_HEIGHT);
}

static void enter_replays() { enter_file_page(MENU_MAIN, scan_replays()); }
static void enter_mods() { enter_file_page(MENU_SETUP, scan_mods()); }
static void enter_scripts() { enter_file_page(MENU_SETUP, scan_scripts()); }

static void leave_replays(int row)
{
    LINK(clear_console);
    if (is_connected())
        LINK(close_game_connection);
    play_replay_at(row);
    replay_mode = REPLAY_PLAYING;
    close_menu();
    reset_camera_view(&match_state, 0);
}

static void leave_mods(int row)
{
    LINK(clear_console);
    close_menu();
    load_mod_and_start(row);
    reset_camera_view(&match_state, 0);
    scan_replays();
}

static void leave_scripts(int row)
{
    LINK(clear_console);
    close_menu();
    if (row >= 0 && row <= script_files.last) {
        const char *name = script_files.names[row];
        if (load_script_file(get_script_engine(), name) != 0) {
            char line[160];
            snprintf(line, sizeof line, "Error loading script: %s", name);
            echo_message(line, MSG_INGAME);
        }
    }
    reset_camera_view(&match_state, 0);
    scan_replays();
}

static void enter_save_replay()
{
    back_menu = -1;
    layout_list(2, 2, LIST_FIRST_Y, FORM_ROW_HEIGHT, 0, view_width);
    start_editing();
    put_edit_row(1, players[0].name);
}

int replay_save_path(const char *name, char *out, int size)
{
    if (!out || size < 1)
        return 1;
    out[0] = '\0';
    if (!name || !name[0] || name[0] == '.' || strchr(name, '/') || strchr(name, '\\'))
        return 1;
    for (const char *c = name; *c; c++)
        if ((unsigned char)*c < 32)
            return 1;
    int n = snprintf(out, (size_t)size, "replay/%s.rpl", name);
    // The whole path or nothing: a cut name would lose ".rpl".
    if (n < 0 || n >= size || n > 254) {
        out[0] = '\0';
        return 1;
    }
    return 0;
}

int save_named_replay(const char *name, const char *author)
{
    if (!name || !name[0])
        return 1;
    echo_message("Files are saved in the replays folder", MSG_INGAME);
    char path[256];
    if (replay_save_path(name, path, sizeof path) != 0) {
        echo_message("Failed to save replay", MSG_INGAME);
        return 1;
    }
    set_fight_name(name);
    set_replay_author(author ? author : "");
    make_path_dirs(path);
    int failed;
    if (!is_online_game()) {
        if (local_user[0])
            set_player_name(0, local_user);
        failed = write_replay(path, 0);
        if (!failed)
            saved_replay_count++;
    } else {
        failed = write_replay(path, replay_mode == REPLAY_LIVE ? 1 : 0);
    }
    if (failed) {
        echo_message("Failed to save replay", MSG_INGAME);
        return 1;
    }
    char line[300];
    snprintf(line, sizeof line, "> %s", path);
    echo_message(line, MSG_INGAME);
    return 0;
}

static void leave_save_replay(int)
{
    char name[TEXT_ROW_UNITS], author[TEXT_ROW_UNITS];
    edit_row_text(0, name, sizeof name);
    edit_row_text(1, author, sizeof author);
    if (name[0])
        save_named_replay(name, author);
    clear_edit_buffer();
    close_menu();
}

static void enter_tutorial()
{
    back_menu = MENU_MAIN;
    start_script_game("tutorial/tutorial1.lua");
    close_menu();
}

static void enter_shop()
{
    back_menu = MENU_MAIN;
    start_scripted_scene("kasushop/kasushop.lua");
    close_menu();
}

static void enter_about() { back_menu = MENU_SETUP; }

static void enter_options()
{
    back_menu = MENU_SETUP;
    layout_list(OPTIONS_MENU_ROWS, OPTIONS_MENU_ROWS, LIST_FIRST_Y, FORM_ROW_HEIGHT, 0,
                view_width);
    start_editing();
    for (int row = 0; row < OPTIONS_MENU_ROWS; row++) {
        char value[32];
        get_option_text(row, value, sizeof value);
        put_edit_row(row, value);
    }
}

static void leave_options(int)
{
    for (int row = 0; row < OPTIONS_MENU_ROWS; row++) {
        char value[TEXT_ROW_UNITS];
        edit_row_text(row, value, sizeof value);
        choose_option(row, value);
    }
    clear_edit_buffer();
    close_menu();
}

static void enter_back_to_main() { back_menu = MENU_MAIN; }

static void enter_rules()
{
    back_menu = MENU_SETUP;
    layout_list(RULES_MENU_ROWS, RULES_MENU_ROWS, LIST_FIRST_Y, FORM_ROW_HEIGHT, 0, view_width);
    start_editing();
    for (int row = 0; row < RULES_MENU_ROWS; row++)
        put_edit_row(row, get_rule_text(0, row, &setup_rules));
}

static void leave_rules(int)
{
    // Row 0 names the defaults of a game kind and is not a value to set.
    for (int row = 1; row < RULES_MENU_ROWS; row++) {
        char value[TEXT_ROW_UNITS];
        edit_row_text(row, value, sizeof value);
        if (apply_game_rule(row, value, 0) != 0) {
            // The rule keeps its value; the player learns why nothing changed.
            char line[TEXT_ROW_UNITS + 80];
            snprintf(line, sizeof line, "%s: \"%s\" is not a valid value", RulesMenuTable[row].label,
                     value);
            echo_message(line, MSG_INGAME);
        }
    }
    clear_edit_buffer();
    close_menu();
}

// The loop ends after this frame; the next replay of the list is what the
// frame shows meanwhile.
static void enter_quit()
{
    back_menu = -1;
    quit_game();
    if (core_outward.play_next_replay)
        core_outward.play_next_replay();
}

static void quit_from_page(int) { quit_game(); }

static void enter_main_page()
{
    back_menu = MENU_MAIN;
    layout_list(MENU_ITEMS, MENU_ITEMS, MAIN_FIRST_Y, MAIN_ROW_HEIGHT,
                view_width / 2 - MAIN_HALF_WIDTH, view_width / 2 + MAIN_HALF_WIDTH);
    reset_menu_camera();
}

static void leave_main_page(int)
{
    if (ScrollList *l = get_menu_list()) {
        l->scroll_up = 0;
        l->scroll_down = 0;
    }
    close_menu();
}

static void enter_say()
{
    back_menu = MENU_MAIN;
    layout_list(0, 0, 0, 0, 0, 0);
    start_editing();
    reset_menu_camera();
}

static void leave_say(int)
{
    char line[TEXT_ROW_UNITS];
    edit_row_text(0, line, sizeof line);
    clear_edit_buffer();
    close_menu();
    submit_chat_text(line);
}

const char login_missing_user[] = "Enter a user name to log in";
const char *login_notice = nullptr;

static void enter_login()
{
    login_notice = nullptr;
    back_menu = MenuTable[menu_state].selected == 1 ? MENU_MAIN : MENU_SETUP;
    login_load(login_nick, login_password);
    layout_list(6, 6, LIST_FIRST_Y, FORM_ROW_HEIGHT, 0, view_width);
    start_editing();
    put_edit_row(0, login_nick);
    put_edit_row(2, "1");
}

static void leave_login(int)
{
    char user[TEXT_ROW_UNITS], password[TEXT_ROW_UNITS];
    edit_row_text(0, user, sizeof user);
    edit_row_text(1, password, sizeof password);
    TextLines *t = edit_buffer();
    if (!user[0]) {
        // Nothing to log in with: stay on the page and say what is missing.
        memset(password, 0, sizeof password);
        login_notice = login_missing_user;
        echo_message(login_missing_user, MSG_INGAME);
        return;
    }
    login_notice = nullptr;
    if (t) {
        set_local_user(user);
        set_local_password(password);
        n_strncpyz(login_nick, user, sizeof login_nick);
        n_strncpyz(login_password, password, sizeof login_password);
        login_file_write(t->rows[0], t->rows[1]);
    }
    memset(password, 0, sizeof password);
    clear_edit_buffer();
    close_menu();
    login_return_mark = 0;
    switch_menu(MENU_SERVERS);
}

// ---- the table ---------------------------------------------------------------------------

MenuRow MenuTable[MENU_COUNT] = {
    {nullptr, enter_game, nullptr, 1, 0, -1, 1},
    {draw_server_list_page, enter_server_list, leave_server_list, 0, 0, -1, 2},
    {draw_replays_page, enter_replays, leave_replays, 0, 0, -1, 3},
    {draw_mods_page, enter_mods, leave_mods, 0, 0, -1, 4},
    {draw_save_replay_page, enter_save_replay, leave_save_replay, 0, 0, -1, 5},
    {draw_scripts_page, enter_scripts, leave_scripts, 0, 0, -1, 6},
    {nullptr, enter_tutorial, nullptr, 0, 0, -1, 7},
    {nullptr, enter_shop, nullptr, 0, 0, -1, 8},
    {draw_about_page, enter_about, nullptr, 0, 0, -1, 9},
    {draw_options_page, enter_options, leave_options, 0, 0, -1, 10},
    {nothing_to_draw, enter_back_to_main, nothing_to_leave, 1, 0, -1, 11},
    {draw_rules_page, enter_rules, leave_rules, 0, 0, 0, 12},
    {nothing_to_draw, enter_quit, quit_from_page, 1, 0, -1, 13},
    {draw_main_menu, enter_main_page, leave_main_page, 1, 0, -1, 14},
    {draw_setup_menu, enter_main_page, leave_main_page, 1, 0, -1, 15},
    {nullptr, nullptr, nullptr, 1, 0, -1, 16},
    {nullptr, enter_say, leave_say, 1, 0, -1, 17},
    {nothing_to_draw, nullptr, nullptr, 1, 0, -1, 18},
    {draw_login_page, enter_login, leave_login, 0, 0, -1, 0},
};

const MenuItem MainMenuItems[MENU_ITEMS] = {
    {0, "Single Player", MENU_GAME}, {1, "Multi Player", MENU_SERVERS},
    {2, "Replays", MENU_REPLAYS},    {3, "Tutorial", MENU_TUTORIAL},
    {4, "KasuShop", MENU_SHOP},      {5, "Setup", MENU_SETUP},
    {6, "Quit", MENU_QUIT},
};

const MenuItem SetupMenuItems[MENU_ITEMS] = {
    {0, "Options", MENU_OPTIONS}, {1, "Mods", MENU_MODS},   {2, "Scripts", MENU_SCRIPTS},
    {3, "Game Rules", MENU_RULES}, {4, "Login", MENU_LOGIN}, {5, "About", MENU_ABOUT},
    {6, "Back", MENU_MAIN},
};

// ---- drawing ------------------------------------------------------------------------------

// The page's list follows a new window size: its place, and for the file
// lists the rows that fit and the slider.
static void follow_window_size()
{
    static int width = -1, height = -1;
    static int page = -1;
    if (width == view_width && height == view_height && page == menu_state)
        return;
    int resized = page == menu_state;
    width = view_width;
    height = view_height;
    page = menu_state;
    ScrollList *l = get_menu_list();
    if (!resized || !l)
        return;
    switch (menu_state) {
    case MENU_MAIN:
    case MENU_SETUP:
        l->x = view_width / 2 - MAIN_HALF_WIDTH;
        l->right = view_width / 2 + MAIN_HALF_WIDTH;
        break;
    case MENU_REPLAYS:
    case MENU_MODS:
    case MENU_SCRIPTS: {
        int visible = (view_height - 154) / LIST_ROW_HEIGHT;
        int keep = l->keep_position;
        l->keep_position = 1;
        list_set_count(l, l->count, visible < 1 ? 1 : visible);
        l->keep_position = keep;
        l->right = list_right_edge();
        create_slider(l, list_right_edge() + 10, LIST_FIRST_Y, l->visible_rows * LIST_ROW_HEIGHT);
        break;
    }
    case MENU_SAVE_REPLAY:
    case MENU_OPTIONS:
    case MENU_RULES:
    case MENU_LOGIN:
        l->right = view_width;
        break;
    default:
        break;
    }
}

void draw_menu_page()
{
    if (menu_state < 0 || menu_state >= MENU_COUNT)
        return;
    follow_window_size();
    if (menu_state == MENU_SAY) {
        if (game_links.draw_say_box) {
            game_links.draw_say_box();
        } else {
            char text[TEXT_ROW_UNITS];
            edit_row_text(0, text, sizeof text);
            draw_text_input_box(8, view_height - 80, "Say", text, 1, 0);
        }
        return;
    }
    if (MenuTable[menu_state].draw)
        MenuTable[menu_state].draw();
}

int menu_page_hint_shown() { return menu_state == MENU_MAIN || menu_state == MENU_SETUP; }

void draw_menu_screen_full()
{
    begin_2d();
    draw_buttons();
    draw_menu_page();
    draw_mouse_cursor();
    end_2d();
}

// ---- wiring ---------------------------------------------------------------------------------

void bind_menus()
{
    if (!game_links.switch_menu)
        game_links.switch_menu = switch_menu;
    if (!game_links.menu_game_behind)
        game_links.menu_game_behind = menu_game_behind;
    if (!game_links.draw_menu_screen)
        game_links.draw_menu_screen = draw_menu_screen_full;
    if (!game_links.menu_enter)
        game_links.menu_enter = menu_enter;
    if (!game_links.menu_escape)
        game_links.menu_escape = menu_escape;
    if (!game_links.close_chat_menu)
        game_links.close_chat_menu = close_chat_menu;
    if (!game_links.quit_confirm)
        game_links.quit_confirm = quit_confirm;
    // The local user's equipment opens the ghost rows of the h, j and k keys.
    if (!game_links.equipment_value)
        game_links.equipment_value = [](int index) {
            const EquipmentRecord *e = get_equipment();
            return e && index >= 0 && index < 3 ? e->values[index] : 0;
        };
    if (!settings_links.free_file_list)
        settings_links.free_file_list = free_file_lists;
}

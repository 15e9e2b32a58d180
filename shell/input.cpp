#include "shell/input.h"

#include <SDL/SDL.h>
#include <cmath>
#include <cstdio>

#include "core/bout.h"
#include "core/ghost.h"
#include "core/motors.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/step.h"
#include "core/outward.h"
#include "core/world.h"
#include "platform/camera.h"
#include "platform/loop.h"
#include "render/fighter_draw.h"
#include "render/gl_draw.h"
#include "shell/app.h"
#include "shell/game_control.h"
#include "shell/menus.h"
#include "shell/options.h"
#include "shell/widgets.h"

int32_t last_key;
int32_t last_down;
int32_t help_overlay;
int32_t space_key_deadline;
int32_t replay_index;
int32_t joint_hover;
int32_t pick_kind;

enum {
    MOD_SHIFT = 0x3,
    MOD_CTRL = 0xC0,
    TAB_MODS = 0x137,
    RULE_NO_GRIP = 0x4,
    CHEST = 2,
    SOUND_JOINT = 27,
    SOUND_PLAYER = 28,
    SOUND_CLICK = 30
};

static int in_game_or_say() { return menu_state == MENU_GAME || menu_state == MENU_SAY; }

static int hook_result(int (*hook)(int), int value) { return hook ? hook(value) : 0; }

static void play_sound(int sound, int channel) { LINK(play_sound, sound, channel); }

static int joint_sound_on() { return get_option(OPT_JOINTSOUND) != 0; }

// Fighters that can be picked: in the match and built.
static int pickable_fighters()
{
    int n = fighter_count();
    return n > fighters_built ? fighters_built : n;
}

static int chat_open()
{
    TextLines *t = get_chat_input();
    return t && text_lines_is_active(t);
}

// ---- scroll lists ----------------------------------------------------------------

// Keeps the hovered row inside the list and on the visible page.
static void list_set_hover(ScrollList *list, int row)
{
    if (!list || list->count <= 0)
        return;
    if (row < 0)
        row = 0;
    if (row > list->count - 1)
        row = list->count - 1;
    list->hover = row;
    int rows = list->visible_rows > 0 ? list->visible_rows : 1;
    if (row < list->first)
        list->first = row;
    else if (row >= list->first + rows)
        list->first = row - rows + 1;
}

static void list_move(ScrollList *list, int delta)
{
    if (list)
        list_set_hover(list, list->hover + delta);
}

static int list_page(const ScrollList *list)
{
    return list && list->visible_rows > 0 ? list->visible_rows : 1;
}

static ScrollList *console_list()
{
    return game_links.get_console_list ? game_links.get_console_list() : nullptr;
}

// ---- text and list keys ------------------------------------------------------------

void text_key(int key, int unicode)
{
    TextLines *chat = get_chat_input();
    if (chat && text_lines_is_active(chat)) {
        ScrollList *menu = get_menu_list();
        if (menu && menu->count > 0)
            text_lines_set_row(chat, menu->hover);
        if (key == SDLK_BACKSPACE) {
            text_lines_backspace(chat);
        } else if (key == SDLK_TAB || key == SDLK_DOWN) {
            list_move(menu, 1);
        } else if (key == SDLK_UP) {
            list_move(menu, -1);
        } else if ((key >= 32 && key <= 270) || key == 272) {
            // Control characters (a key held with Ctrl gives them) and DEL
            // never enter the text.
            if (unicode >= 32 && unicode != 127 && unicode <= 0xFFFF)
                text_lines_append_char(chat, (char16)unicode);
        }
        return;
    }
    if (in_game_or_say()) {
        ScrollList *console = console_list();
        if (!console)
            return;
        if (key == SDLK_HOME)
            list_set_hover(console, 0);
        else if (key == SDLK_END)
            list_set_hover(console, console->count - 1);
        else if (key == SDLK_PAGEUP)
            list_move(console, -1);
        else if (key == SDLK_PAGEDOWN)
            list_move(console, 1);
        return;
    }
    ScrollList *menu = get_menu_list();
    if (!menu)
        return;
    if (key == SDLK_DOWN || key == SDLK_KP2)
        list_move(menu, 1);
    else if (key == SDLK_UP || key == SDLK_KP8)
        list_move(menu, -1);
    else if (key == SDLK_HOME)
        list_set_hover(menu, 0);
    else if (key == SDLK_END)
        list_set_hover(menu, menu->count - 1);
    else if (key == SDLK_PAGEUP)
        list_move(menu, -list_page(menu));
    else if (key == SDLK_PAGEDOWN)
        list_move(menu, list_page(menu));
}

// ---- camera keys ----------------------------------------------------------------------

struct CameraKeyRow {
    int letter;
    int keep;          // low-byte bits kept by a press without Shift
    int bit;           // and the bit it sets
    int keep_shift;    // the same with Shift
    int bit_shift;
    int release;       // bits a release clears
};

static const CameraKeyRow camera_key_table[] = {
    {'w', 0x3D, 0x01, 0x1C, 0x10, 0xD1},
    {'s', 0x1E, 0x02, 0x2C, 0x20, 0xE2},
    {'a', 0x34, 0x04, 0xB3, 0x80, 0x84},
    {'d', 0x38, 0x08, 0x73, 0x40, 0x48},
};

static const CameraKeyRow *camera_row(int letter)
{
    for (const CameraKeyRow &row : camera_key_table)
        if (row.letter == letter)
            return &row;
    return nullptr;
}

int camera_letter(int key)
{
    switch (key) {
    case 'w': case SDLK_UP: case SDLK_KP8: return 'w';
    case 's': case SDLK_DOWN: case SDLK_KP2: return 's';
    case 'a': case SDLK_LEFT: case SDLK_KP4: return 'a';
    case 'd': case SDLK_RIGHT: case SDLK_KP6: return 'd';
    default: return 0;
    }
}

int camera_keys_after_press(int keys, int letter, int shift)
{
    const CameraKeyRow *row = camera_row(letter);
    if (!row)
        return keys;
    int keep = shift ? row->keep_shift : row->keep;
    int bit = shift ? row->bit_shift : row->bit;
    return (keys & ~0xFF) | (keys & keep) | bit;
}

int camera_bits_cleared_by(int letter)
{
    const CameraKeyRow *row = camera_row(letter);
    return row ? row->release : 0;
}

static int is_alt_or_meta(int key) { return key >= SDLK_RALT && key <= SDLK_LMETA; }

// ---- who may command what ----------------------------------------------------------------

// Whether fighter `player` may take a command for `joint` (-1: the
// fighter as a whole, when allow_no_joint is set).
static int may_command(int player, int joint, int allow_no_joint)
{
    if (replay_mode != REPLAY_LIVE)
        return 0;
    if (joint == -1 && !allow_no_joint)
        return 0;
    if (!has_bodies(player))
        return 0;
    if (is_simulating() || match_state.game_over)
        return 0;
    const PlayerState *p = &players[player];
    if (joint >= 0 && (joint >= NUM_JOINTS || p->joints[joint].broken != JOINT_INTACT))
        return 0;
    if (p->sent)
        return 0;
    if (is_online_game() && !have_enough_fighters())
        return 0;
    return p->out == 0;
}

int can_command_joint(int allow_no_joint)
{
    return may_command(selected_player, selected_joint, allow_no_joint);
}

// The keys b, c, z, x and l: no replay, and online only on the own fighter
// (or none) while it is not ready.
// The editing keys act on fighter `player` (-1: none selected): offline on
// any; online only on the own fighter, until it is ready.
static int edit_allowed_for(int player)
{
    if (replay_mode != REPLAY_LIVE)
        return 0;
    if (!is_online_game())
        return 1;
    if (player != -1 && player != own_player_index)
        return 0;
    if (!has_bodies(own_player_index))
        return player == -1;
    return players[own_player_index].ready == 0;
}

static int edit_keys_allowed() { return edit_allowed_for(selected_player); }

// The wrist joint that carries each hand.
static int wrist_of(int hand) { return hand == LEFT_HAND ? 11 : 10; }

// Whether a hand's grip may be toggled: what the grip key asks when the
// hand's wrist is the selected joint.
static int grip_toggle_allowed(int player, int hand)
{
    return !(current_rules.flags & RULE_NO_GRIP) && edit_allowed_for(player) &&
           may_command(player, wrist_of(hand), 0);
}

static void set_selected_joint_to(int state)
{
    set_commanded_joint_state(selected_player, selected_joint, state);
    refresh_ghost();
}

// Forward and back take turns; anything else becomes forward.
static int toggle_forward_back(int player, int joint)
{
    if (!can_change_joint(player, joint))
        return 1;
    int s = current_joint_state(player, joint) == MOTOR_FWD ? MOTOR_BACK : MOTOR_FWD;
    return set_commanded_joint_state(player, joint, s) < 0 ? 1 : 0;
}

// A click on a joint. With two mouse buttons the plain click turns forward
// and back and the Shift click hold and relax; with one the click steps
// through the four states (backwards with Shift).
static void click_joint(int player, int joint, int shift)
{
    if (joint < 0 || joint >= NUM_JOINTS || match_state.game_over)
        return;
    int refused;
    if (get_option(OPT_MOUSEBUTTONS) == 1)
        refused = shift ? toggle_joint_hold(player, joint) : toggle_forward_back(player, joint);
    else
        refused = cycle_joint_state(shift ? 1 : 0, player, joint);
    if (!refused)
        refresh_ghost();
}

static void send_ready()
{
    if (!game_links.send_game_line || game_links.send_game_line("READY\n") != 0) {
        echo_message("Disconnected. Lost contact with server", MSG_INGAME);
        LINK(close_game_connection);
        if (ServerConnection *c = get_game_connection())
            c->connected = 0;
        LINK(clear_bout_list);
    }
}

void commit_move(int mode)
{
    if (core_outward.commit_turn) {
        core_outward.commit_turn(mode);
        return;
    }
    // Until the online client takes the commit over: alone, the turn
    // starts at once.
    if (game_type != 1) {
        LINK(hook_exit_freeze);
        start_turn(mode);
    }
}

static void replay_space_action()
{
    if (space_key_deadline != 0 && frame_tick <= space_key_deadline)
        return;
    if (is_online_game()) {
        send_ready();
    } else {
        space_key_deadline = 0;
        begin_new_game();
    }
}

void space_action(int shift)
{
    if (replay_mode != REPLAY_LIVE) {
        replay_space_action();
    } else if (match_state.game_over) {
        begin_replay(0);
        space_key_deadline = frame_tick + 3000;
    } else if (is_simulating()) {
        if (is_online_game() && has_bodies(own_player_index) && !players[own_player_index].sent)
            send_ready();
    } else {
        commit_move(shift ? 1 : 0);
    }
}

int step_replay_list(int delta)
{
    int last = scan_replays();
    if (last < 0)
        return 1;
    // The list may have shrunk since the index was set.
    if (replay_index > last)
        replay_index = last;
    if (replay_index < 0)
        replay_index = 0;
    int index = replay_index + delta;
    if (index > last)
        index = 0;
    if (index < 0)
        index = last;
    replay_index = index;
    int result = load_replay_file(replay_files.names[index]);
    reset_camera_view(&match_state, 0);
    return result;
}

static void set_view(int head_mode, float fov)
{
    head_view_mode = head_mode;
    camera_state.fov = fov;
    set_perspective_fov(fov);
}

static void equipment_ghost_row(int index, int row)
{
    if (game_links.equipment_value && game_links.equipment_value(index) != 0)
        select_ghost_mode(row);
}

static void open_menu(int menu)
{
    LINK(switch_menu, menu);
}

// ---- the in-game key table (releases) ------------------------------------------------------

static void game_key_release(int key, int unicode, int mod)
{
    int shift = (mod & MOD_SHIFT) != 0;
    int ctrl = (mod & MOD_CTRL) != 0;
    if (int letter = camera_letter(key)) {
        held_camera_keys &= ~camera_bits_cleared_by(letter);
        return;
    }
    if (is_alt_or_meta(key)) {
        release_mouse();
        camera_drag_mode = 0;
        return;
    }
    if (ctrl && (key == ']' || key == '}' || unicode == ']' || unicode == '}')) {
        if (game_type != 1)
            step_replay_list(1);
        return;
    }
    if (ctrl && (key == '[' || key == '{' || unicode == '[' || unicode == '{')) {
        if (game_type != 1)
            step_replay_list(-1);
        return;
    }
    if (ctrl && key == 'n') {
        if (!is_online_game()) {
            game_type = 0;
            replay_space_action();
        }
        return;
    }
    switch (key) {
    case SDLK_F8:
        LINK(take_screenshot);
        break;
    case 'f':
        open_menu(MENU_SAVE_REPLAY);
        break;
    case 't':
        open_menu(MENU_SAY);
        break;
    case '/':
        if (game_links.switch_menu) {
            open_menu(MENU_SAY);
            if (TextLines *chat = get_chat_input())
                text_lines_append_char(chat, '/');
        }
        break;
    case SDLK_SPACE:
        space_action(shift);
        break;
    case 'e':
        if (!is_online_game())
            exit_replay();
        break;
    case 'g': select_ghost_mode(0); break;
    case 'h': equipment_ghost_row(0, 1); break;
    case 'j': equipment_ghost_row(1, 2); break;
    case 'k': equipment_ghost_row(2, 5); break;
    case 'p':
        if (!shift)
            toggle_game_paused(0);
        else if (replay_mode != REPLAY_LIVE)
            toggle_game_paused(1);
        else
            commit_move(1);
        break;
    case 'r':
        if (game_type != 1) {
            begin_replay(0);
            LINK(clear_blood_stains);
        }
        break;
    case '1': case '2': case '3': case '4':
        set_camera_angle_height((float)((key - '1') * 90), 2.1f);
        set_view(0, 50.0f);
        break;
    case '5': set_view(1, 90.0f); break;
    case '6': set_view(2, 90.0f); break;
    case 'b':
        if (edit_keys_allowed())
            toggle_ghost_all();
        break;
    case 'c':
        if (edit_keys_allowed() && can_command_joint(1)) {
            if (joint_sound_on())
                play_sound(SOUND_CLICK, 7);
            int all = current_joint_state(selected_player, 17) == MOTOR_HOLD ? MOTOR_RELAX
                                                                              : MOTOR_HOLD;
            set_all_joint_states(selected_player, all);
            refresh_ghost();
        }
        break;
    case 'z':
        if (edit_keys_allowed() && can_command_joint(0)) {
            if (joint_sound_on())
                play_sound(SOUND_CLICK, 7);
            int s = current_joint_state(selected_player, selected_joint);
            set_selected_joint_to(s == MOTOR_FWD ? MOTOR_BACK : MOTOR_FWD);
        }
        break;
    case 'x':
        if (edit_keys_allowed() && can_command_joint(0)) {
            if (joint_sound_on())
                play_sound(SOUND_CLICK, 7);
            int s = current_joint_state(selected_player, selected_joint);
            set_selected_joint_to(s == MOTOR_HOLD ? MOTOR_RELAX : MOTOR_HOLD);
        }
        break;
    case 'l':
        if (selected_joint == wrist_of(LEFT_HAND) && grip_toggle_allowed(selected_player, LEFT_HAND))
            toggle_grip(selected_player, LEFT_HAND);
        else if (selected_joint == wrist_of(RIGHT_HAND) &&
                 grip_toggle_allowed(selected_player, RIGHT_HAND))
            toggle_grip(selected_player, RIGHT_HAND);
        break;
    default:
        break;
    }
}

// Menus 2 and 3: the first name that begins with the typed letter (either
// case) becomes the hovered row.
static void jump_to_letter(int key)
{
    if (game_links.menu_slider_held && game_links.menu_slider_held())
        return;
    const FileList *files = menu_state == MENU_REPLAYS ? &replay_files : &mod_files;
    ScrollList *menu = get_menu_list();
    if (!menu || key <= 0 || key > 255)
        return;
    int rows = files->last + 1;
    if (menu->count < rows)
        rows = menu->count;
    for (int i = 0; i < rows; i++) {
        int c = (unsigned char)files->names[i][0];
        if (c != key && c != key - 32)
            continue;
        while (menu->hover < i)
            list_move(menu, 1);
        while (menu->hover > i)
            list_move(menu, -1);
        return;
    }
}

static void escape_key()
{
    if (game_links.menu_escape) {
        game_links.menu_escape();
        return;
    }
    // Without the menu pages every page is left for the game.
    if (menu_state != MENU_GAME)
        set_menu_state(MENU_GAME);
}

// The Shift and Ctrl held when the last key went down. A combination acts
// on the key's release, and a hand (or a synthetic one) often lets go of
// the modifier first: the release of that key still counts as the combination.
static int combo_key = -1;
static int combo_mods;

static int is_modifier_key(int key) { return key >= SDLK_NUMLOCK && key <= SDLK_COMPOSE; }

static int key_release(MatchState *match, int key, int unicode, int mod)
{
    last_down = 0;
    last_key = key;
    if (key == combo_key) {
        mod |= combo_mods;
        combo_key = -1;
    }

    if (key == SDLK_ESCAPE && chat_open()) {
        TextLines *chat = get_chat_input();
        text_lines_clear(chat);
        text_lines_deactivate(chat);
        if (game_links.close_chat_menu)
            game_links.close_chat_menu();
        else if (game_links.switch_menu)
            game_links.switch_menu(MENU_GAME);
        else
            set_menu_state(MENU_GAME);
        return 0;
    }
    if (key == SDLK_ESCAPE && menu_state == MENU_QUIT) {
        LINK(quit_confirm);
        return 0;
    }
    if (help_overlay) {
        help_overlay = 0;
        if (!is_online_game() || !is_spectator())
            LINK(show_play_buttons);
        return 0;
    }
    if (key == SDLK_TAB && !(mod & TAB_MODS) && in_game_or_say())
        LINK(set_chat_lines, 0);
    if (key == SDLK_F1 && menu_state == MENU_GAME)
        help_overlay = !help_overlay;
    if (key == SDLK_RETURN || key == SDLK_KP_ENTER) {
        if (menu_state != MENU_GAME) {
            // On a page that edits rows, Enter acts on the row being typed
            // into when the mouse hovers none.
            ScrollList *menu = get_menu_list();
            TextLines *chat = get_chat_input();
            if (chat_open() && menu && menu->count > 0 && list_hovered_index(menu) < 0)
                list_set_hover(menu, chat->current_row);
            LINK(menu_enter);
            if (chat_open())
                return 0;
        } else {
            open_menu(MENU_SAY);
        }
    }
    if (key == SDLK_ESCAPE)
        escape_key();
    if (menu_state == MENU_SERVERS) {
        // During a pass this asks for one more after it.
        if (key == 'r')
            LINK(start_browser_thread);
    } else if (menu_state == MENU_REPLAYS || menu_state == MENU_MODS) {
        jump_to_letter(key);
    }
    if (menu_state != MENU_GAME)
        return 0;
    if (hook_result(game_links.hook_key_up, key))
        return 1;
    game_key_release(key, unicode, mod);
    (void)match;
    return 0;
}

static int key_press(MatchState *match, int key, int unicode, int mod)
{
    if (!is_modifier_key(key)) {
        combo_key = key;
        combo_mods = mod & (MOD_SHIFT | MOD_CTRL);
    }
    text_key(key, unicode);
    int is_new = last_down != 1;
    if (is_new && menu_state == MENU_GAME && hook_result(game_links.hook_key_down, key)) {
        last_key = key;
        last_down = 1;
        return 1;
    }
    if (menu_state == MENU_GAME) {
        if (int letter = camera_letter(key)) {
            held_camera_keys = camera_keys_after_press(held_camera_keys, letter,
                                                       (mod & MOD_SHIFT) != 0);
        } else if (is_alt_or_meta(key)) {
            camera_drag_mode = (mod & MOD_SHIFT) ? 2 : 1;
            grab_mouse();
        }
    }
    last_key = key;
    last_down = 1;
    (void)match;
    return 0;
}

int handle_key(MatchState *match, int key, int unicode, int mod, int down)
{
    if (get_option(OPT_EXHIBITION) != 0 && match)
        match->end_deadline = frame_tick + 5000;
    return down ? key_press(match, key, unicode, mod) : key_release(match, key, unicode, mod);
}

int on_key(int key, int unicode, int mod, int down)
{
    return handle_key(&match_state, key, unicode, mod, down);
}

// ---- mouse -----------------------------------------------------------------------------------

static int left_button_down() { return (SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON(1)) != 0; }

static int offer_buttons(int left_down, int x, int y)
{
    return game_links.offer_buttons ? game_links.offer_buttons(left_down, x, y) : 0;
}

void on_mouse_button(int type, int button, int x, int y)
{
    int release = type == SDL_MOUSEBUTTONUP;
    int wheel = button == SDL_BUTTON_WHEELUP || button == SDL_BUTTON_WHEELDOWN;
    if (release && button == SDL_BUTTON_LEFT) {
        if (game_links.open_hovered_link)
            game_links.open_hovered_link();
        if (menu_state != MENU_GAME && menu_state != MENU_OPTIONS && menu_state != MENU_RULES &&
            menu_state != MENU_SAY)
            LINK(menu_enter);
    }
    if (wheel && !release) {
        int consumed = game_links.hook_mouse_button_down
                           ? game_links.hook_mouse_button_down(button, x, y)
                           : 0;
        if (!consumed && can_command_joint(0))
            set_selected_joint_to(button == SDL_BUTTON_WHEELUP ? MOTOR_FWD : MOTOR_BACK);
    }
    if (release && game_links.hook_mouse_button_up)
        game_links.hook_mouse_button_up(button, x, y);
    // Every press and release of the left button reaches the widgets, so a
    // button pressed and let go elsewhere always sees its release.
    // The event says what the button did: the state read now may already
    // hold a release that follows it closely.
    if (button == SDL_BUTTON_LEFT && offer_buttons(release ? 0 : 1, x, y))
        return;
    if (wheel && release &&
        (menu_state == MENU_SERVERS || menu_state == MENU_REPLAYS || menu_state == MENU_MODS ||
         menu_state == MENU_SCRIPTS))
        list_move(get_menu_list(), button == SDL_BUTTON_WHEELUP ? -1 : 1);
}

static int has_mouse_focus() { return (SDL_GetAppState() & SDL_APPMOUSEFOCUS) != 0; }

void on_mouse_motion(int mods, int click, double ray_from[3], double ray_to[3], int x, int y)
{
    if (game_links.update_list_hover) {
        ScrollList *list = in_game_or_say() ? console_list() : get_menu_list();
        if (list)
            game_links.update_list_hover(list, x, y);
    }
    if (offer_buttons(click ? 1 : left_button_down(), x, y))
        return;
    if (!in_game_or_say())
        return;
    int consumed = 0;
    if (click) {
        if (game_links.hook_mouse_button_down)
            consumed = game_links.hook_mouse_button_down(1, x, y);
    } else if (has_mouse_focus() && game_links.hook_mouse_move) {
        consumed = game_links.hook_mouse_move(x, y);
    }
    if (!consumed)
        pick_joint(mods, click, ray_from, ray_to);
}

void on_mouse_move(int buttons, int x, int y)
{
    ScrollList *console = console_list();
    if (console && game_links.update_list_hover && in_game_or_say()) {
        int hover = console->hover;
        game_links.update_list_hover(console, x, y);
        if (console->hover != hover)
            return;
    }
    if (offer_buttons(buttons & SDL_BUTTON(1), x, y))
        return;
    if (game_links.hook_mouse_move)
        game_links.hook_mouse_move(x, y);
}

// ---- picking ----------------------------------------------------------------------------------

// Distance along the ray to a geom, or -1 when the ray misses it.
static double ray_distance(dGeomID ray, dGeomID geom)
{
    if (!geom)
        return -1;
    dContactGeom contact;
    if (dCollide(ray, geom, 1, &contact, sizeof contact) < 1)
        return -1;
    return contact.depth;
}

struct PickHit {
    int player, joint, body;
    double distance;
};

static int is_hand(int body) { return body == LEFT_HAND || body == RIGHT_HAND; }

// Distance along the ray to a fighter's body as it is drawn: a hand that
// does not grip has no size of its own and is met where its drawn box is.
static double body_distance(dGeomID ray, int p, int body)
{
    const PlayerState *f = &players[p];
    double sides[3];
    if (!is_hand(body) || !f->geom[body] || !hand_shown_sides(f, body, sides))
        return ray_distance(ray, f->geom[body]);
    dGeomID box = dCreateBox(nullptr, sides[0], sides[1], sides[2]);
    const dReal *at = dGeomGetPosition(f->geom[body]);
    dGeomSetPosition(box, at[0], at[1], at[2]);
    dGeomSetRotation(box, dGeomGetRotation(f->geom[body]));
    double d = ray_distance(ray, box);
    dGeomDestroy(box);
    return d;
}

static void nearest_on_fighter(dGeomID ray, int p, PickHit *hit)
{
    PlayerState *f = &players[p];
    for (int j = 0; j < NUM_JOINTS; j++) {
        double d = ray_distance(ray, f->joint_geom[j]);
        if (d >= 0 && d < hit->distance)
            *hit = {p, j, -1, d};
    }
    for (int b = 0; b < NUM_BODIES; b++) {
        double d = body_distance(ray, p, b);
        if (d >= 0 && d < hit->distance)
            *hit = {p, -1, b, d};
    }
}

static void point_camera_at(int p)
{
    if (has_bodies(p) && players[p].body[CHEST])
        set_camera_lookat(dBodyGetPosition(players[p].body[CHEST]));
}

// A newly picked fighter brings its ghost run along.
static void ghost_follows(int p)
{
    // Only in the edit phase: a run started while the turn's frames run
    // would freeze the real fighters.
    if (is_simulating() || match_state.game_over || replay_mode != REPLAY_LIVE)
        return;
    if (match_state.ghost_mode == GHOST_ONE) {
        stop_ghost();
        start_ghost(p);
    } else if (match_state.ghost_mode == GHOST_ALL) {
        start_ghost_all();
    } else {
        start_ghost(p);
    }
}

static void pick_click(dGeomID ray, int shift)
{
    int online = is_online_game();
    if (online && (!has_bodies(own_player_index) || players[own_player_index].sent))
        return;
    PickHit hit = {-1, -1, -1, 100000.0};
    for (int p = 0; p < pickable_fighters(); p++) {
        if (online && p != own_player_index)
            continue;
        if (players[p].out)
            continue;
        nearest_on_fighter(ray, p, &hit);
    }
    if (hit.player < 0) {
        if (!online) {
            selected_player = -1;
            selected_joint = -1;
            selected_body = -1;
            joint_hover = 0;
        }
        return;
    }
    if (hit.joint >= 0)
        pick_kind = PICK_JOINT;
    if (!online && replay_mode != REPLAY_LIVE) {
        if (hit.player != selected_player) {
            selected_player = hit.player;
            point_camera_at(hit.player);
        }
        return;
    }
    joint_hover = 1;
    // A click on a hand toggles its grip as the grip key does, on a fighter
    // just picked as on the selected one.
    int hand = is_hand(hit.body) ? hit.body : -1;
    if (hand >= 0)
        pick_kind = PICK_HAND;
    if (hit.player != selected_player) {
        play_sound(SOUND_PLAYER, 6);
        ghost_follows(hit.player);
        selected_player = hit.player;
        click_joint(hit.player, hit.joint, shift);
        if (hand >= 0 && grip_toggle_allowed(hit.player, hand))
            toggle_grip(hit.player, hand);
        if (game_links.hook_player_select)
            game_links.hook_player_select(hit.player);
    } else if (!is_simulating()) {
        if (hand >= 0) {
            if (grip_toggle_allowed(hit.player, hand))
                toggle_grip(hit.player, hand);
        } else if (hit.joint >= 0 && hit.joint == selected_joint) {
            click_joint(hit.player, hit.joint, shift);
        }
    }
    selected_body = hit.body;
    selected_player = hit.player;
    selected_joint = hit.joint;
    set_selection(hit.player, hit.joint);
}

static void pick_hover(dGeomID ray)
{
    if (!has_bodies(selected_player))
        return;
    if (is_online_game()) {
        if (!has_bodies(own_player_index) || players[own_player_index].ready)
            return;
    } else if (match_state.game_over) {
        return;
    }
    PlayerState *f = &players[selected_player];
    double best = 1000000.0;
    int joint = -1, body = -1;
    for (int j = 0; j < NUM_JOINTS; j++) {
        double d = ray_distance(ray, f->joint_geom[j]);
        if (d >= 0 && d < best) {
            best = d;
            joint = j;
        }
    }
    if (joint >= 0)
        pick_kind = PICK_JOINT;
    const int hands[2] = {LEFT_HAND, RIGHT_HAND};
    for (int hand : hands) {
        double d = body_distance(ray, selected_player, hand);
        if (d >= 0 && d < best) {
            best = d;
            body = hand;
            pick_kind = PICK_HAND;
        }
    }
    selected_joint = joint;
    selected_body = body;
    joint_hover = joint >= 0;
}

void pick_joint(int mods, int click, const double ray_from[3], const double ray_to[3])
{
    if (is_online_game() &&
        (replay_mode != REPLAY_LIVE || own_player_index < 0 || match_state.game_over))
        return;
    dGeomID ray = get_mouse_ray();
    if (!ray || !ray_from || !ray_to)
        return;
    double dir[3] = {ray_to[0] - ray_from[0], ray_to[1] - ray_from[1], ray_to[2] - ray_from[2]};
    double length = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
    if (!(length > 0))
        return;
    int joint_before = selected_joint;
    dGeomRaySet(ray, ray_from[0], ray_from[1], ray_from[2], dir[0] / length, dir[1] / length,
                dir[2] / length);
    dGeomRaySetLength(ray, 100);
    dGeomEnable(ray);
    pick_kind = PICK_NOTHING;
    if (click)
        pick_click(ray, (mods & MOD_SHIFT) != 0);
    else
        pick_hover(ray);
    dGeomDisable(ray);
    if (selected_joint != joint_before) {
        if (selected_joint >= 0 && joint_sound_on() && can_command_joint(0))
            play_sound(SOUND_JOINT, 6);
        if (game_links.hook_joint_select)
            game_links.hook_joint_select(selected_player, selected_joint);
    }
}

// ---- installation -------------------------------------------------------------------------------

static void platform_pick(int mods, int click, double near_point[3], double far_point[3], int,
                          int)
{
    pick_joint(mods, click, near_point, far_point);
}

void install_input_callbacks(AppCallbacks *callbacks)
{
    if (callbacks) {
        callbacks->key = on_key;
        callbacks->mouse_button = on_mouse_button;
        callbacks->mouse_motion = on_mouse_motion;
    }
    platform_outward.on_mouse_move = on_mouse_move;
    platform_outward.pick_joint = platform_pick;
}

#include "shell/game_control.h"

#include <SDL/SDL.h>
#include <cstdio>
#include <cstring>
#include <dirent.h>

#include "core/bout.h"
#include "core/pending.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/step.h"
#include "core/text.h"
#include "platform/camera.h"
#include "platform/loop.h"
#include "render/world_shader.h"
#include "shell/app.h"
#include "shell/options.h"

GameControlLinks game_links;

int32_t menu_state;
int32_t return_menu;
int32_t menu_anim_counter;
GameRules mp_rules;
int32_t banner_paused_game;
const char *const default_player_names_table[8] = {
    "kasu", "uke", "player3", "player4", "GHOST1", "GHOST2", "GHOST3", "GHOST4",
};
char local_user[32];
char local_password[32];

FileList replay_files, mod_files, script_files;

#define LINK(name, ...)                   \
    do {                                  \
        if (game_links.name)              \
            game_links.name(__VA_ARGS__); \
    } while (0)

// ---- the step callback -----------------------------------------------------------

// The menu list scrolls by itself one row every ten frames while a scroll
// flag is set; both flags share the counter.
static void scroll_menu_list()
{
    ScrollList *list = get_menu_list();
    if (!list)
        return;
    if (list->scroll_up) {
        menu_anim_counter++;
        if (menu_anim_counter % 10 == 0) {
            if (list->hover > 0)
                list->hover--;
            if (list->hover <= 0)
                list->scroll_up = 0;
        }
    }
    if (list->scroll_down) {
        menu_anim_counter++;
        if (menu_anim_counter % 10 == 0) {
            if (list->hover < list->count - 1)
                list->hover++;
            if (list->hover >= list->count - 1)
                list->scroll_down = 0;
        }
    }
}

void app_step(int frame)
{
    frame_tick = (int32_t)SDL_GetTicks();
    step_worldshader_transition();
    if (menu_state != 0)
        scroll_menu_list();
    if (game_type == 1 && is_connected()) {
        LINK(poll_game_server);
        if (!have_enough_fighters() || own_player_index == -1 || replay_mode != REPLAY_LIVE)
            LINK(hide_last_control_button);
        step_frame(frame);
        return;
    }
    int behind = game_links.menu_game_behind ? game_links.menu_game_behind(menu_state) : 1;
    if (behind)
        step_frame(frame);
    else
        LINK(draw_menu_screen);
}

// ---- games -------------------------------------------------------------------------

void default_player_names()
{
    int n = match_state.num_players;
    if (n > MAX_FIGHTERS)
        n = MAX_FIGHTERS;
    if (n >= 1)
        n_strncpyz(players[0].name, local_user[0] ? local_user : "kasu", sizeof players[0].name);
    for (int i = 1; i < n; i++)
        n_strncpyz(players[i].name, default_player_names_table[i], sizeof players[i].name);
}

// Every joint of fighters 1 .. players - 1 held.
static void hold_other_fighters()
{
    int n = setup_rules.players;
    if (n > MAX_FIGHTERS)
        n = MAX_FIGHTERS;
    for (int p = 1; p < n; p++)
        LINK(set_all_joint_states, p, MOTOR_HOLD);
}

void begin_new_game()
{
    LINK(hook_leave_game);
    if (setup_rules.teams > 1)
        assign_teams(&setup_rules);
    LINK(clear_blood_stains);
    for (int p = 0; p < MAX_FIGHTERS; p++)
        LINK(clear_customs, p);
    default_player_names();
    LINK(start_game_with_rules, 0, 0, &setup_rules);
    hold_other_fighters();
    LINK(show_play_buttons);
    LINK(set_play_icon, 0);
    LINK(hook_new_game);
}

void begin_replay(int arg)
{
    if (game_type != 1)
        LINK(hook_leave_game);
    camera_state.height_offset = 0.0f;
    for (int k = 0; k < 3; k++)
        camera_state.shake_offset[k] = 0.0f;
    selected_player = -1;
    stop_ghost();
    LINK(new_game_reset, arg);
    if (replay_mode == REPLAY_LIVE)
        replay_mode = REPLAY_PLAYING;
    unpause_game();
    if (game_type == 0) {
        LINK(show_replay_buttons);
        LINK(set_play_icon, match_state.game_paused);
    }
}

int load_replay_file(const char *name)
{
    char path[FILE_NAME_BYTES + 8];
    snprintf(path, sizeof path, "replay/%s", name ? name : "");
    if (read_replay_file(path) != 0)
        return 1;
    begin_replay(0);
    return 0;
}

int play_replay_at(int index)
{
    if (index < 0 || index > replay_files.last)
        return 1;
    return load_replay_file(replay_files.names[index]);
}

void restart_replay()
{
    begin_replay(0);
}

void load_mod_and_start(int index)
{
    if (index < 0 || index > mod_files.last)
        return;
    n_strncpyz(setup_rules.mod, mod_files.names[index], sizeof setup_rules.mod);
    begin_new_game();
}

int toggle_game_paused(int frames)
{
    if (game_type == 1 && replay_mode == REPLAY_LIVE)
        return 0;
    if (match_state.ghost_mode != 0)
        stop_ghost();
    match_state.game_paused = !match_state.game_paused;
    match_state.turn_frame = frames;
    LINK(set_play_icon, match_state.game_paused);
    LINK(clear_turn_changes);
    if (!match_state.game_paused) {
        LINK(hook_exit_freeze);
    } else {
        if (replay_mode != REPLAY_LIVE) {
            play_replay_frame(match_state.match_frame);
            LINK(play_score_sounds);
        }
        LINK(toggle_ghost_own);
        LINK(hook_enter_freeze);
    }
    return 0;
}

void exit_replay()
{
    int r = match_state.replay_frame;
    if (match_state.ghost_mode != 0 || match_state.game_over)
        return;
    stop_turn_timer();
    if (!match_state.game_paused)
        toggle_game_paused(0);
    play_replay_frame(match_state.match_frame);
    LINK(size_hands_by_grips);
    LINK(play_score_sounds);
    if (r > 255)
        return;
    game_type = 0;
    if (r > 0) {
        int32_t previous_frame =
            game_links.replay_slot_frame ? game_links.replay_slot_frame(r - 1) : -1;
        LINK(clear_replay_from, previous_frame == match_state.match_frame ? r - 1 : r);
    }
    replay_mode = REPLAY_LIVE;
    match_state.ghost_mode = 0;
    LINK(select_ghost_row, 0);
    LINK(toggle_ghost_own);
    LINK(show_play_buttons);
    LINK(set_play_icon, 0);
}

void new_mp_game_setup()
{
    LINK(hook_leave_game);
    LINK(clear_blood_stains);
    for (int p = 0; p < MAX_FIGHTERS; p++)
        LINK(clear_customs, p);
    LINK(clear_bout_list);
    for (int p = 0; p < MAX_FIGHTERS; p++) {
        match_state.winners[p] = -1;
        n_strncpyz(players[p].name, default_player_names_table[p], sizeof players[p].name);
        n_strncpyz(players[p].name_lower, default_player_names_table[p],
                   sizeof players[p].name_lower);
    }
    LINK(start_game_with_rules, 1, 0, &mp_rules);
    LINK(hook_new_mp_game);
}

// ---- file lists ----------------------------------------------------------------------

int build_file_list(FileList *list, const char *dir, const char *ext)
{
    list->last = -1;
    DIR *d = opendir(dir);
    if (!d)
        return -1;
    size_t ext_length = strlen(ext);
    int count = 0;
    struct dirent *entry;
    while ((entry = readdir(d)) != nullptr && count < FILE_LIST_NAMES) {
        const char *name = entry->d_name;
        size_t length = strlen(name);
        if (length <= ext_length + 1 || name[length - ext_length - 1] != '.' ||
            strcmp(name + length - ext_length, ext) != 0)
            continue;
        n_strncpyz(list->names[count++], name, FILE_NAME_BYTES);
    }
    closedir(d);
    list->last = count - 1;
    return list->last;
}

int scan_replays() { return build_file_list(&replay_files, "replay", "rpl"); }
int scan_mods() { return build_file_list(&mod_files, "data/mod", "zmm"); }
int scan_scripts() { return build_file_list(&script_files, "data/script", "lua"); }

// ---- accessors ------------------------------------------------------------------------

int get_menu_state() { return menu_state; }
void set_menu_state(int menu) { menu_state = menu; }
int get_head_view_mode() { return head_view_mode; }
char *get_local_user() { return local_user; }
GameRules *get_setup_rules() { return &setup_rules; }
GameRules *get_mod_rules() { return &mod_rules; }

void ensure_local_user_name()
{
    if (!local_user[0])
        n_strncpyz(local_user, "uke", sizeof local_user);
}

void set_local_user(const char *name) { n_strncpyz(local_user, name ? name : "", sizeof local_user); }

void set_local_password(const char *password)
{
    n_strncpyz(local_password, password ? password : "", sizeof local_password);
}

void select_player_quiet(int p)
{
    selected_player = p;
    if (p >= 0 && p < MAX_PLAYERS)
        set_selection(p, 0);
}

int body_screen_pos_exact(int player, int body, double out[3])
{
    if (player < 0 || player >= MAX_PLAYERS || body < 0 || body >= NUM_BODIES ||
        !players[player].body[body])
        return 1;
    const dReal *p = dBodyGetPosition(players[player].body[body]);
    project_to_screen(p[0], p[1], p[2], out);
    return 0;
}

int body_screen_pos(int player, int body, double out[3])
{
    if (player < 0 || player >= MAX_PLAYERS || body < 0 || body >= NUM_BODIES ||
        !players[player].body[body])
        return 1;
    const dReal *p = dBodyGetPosition(players[player].body[body]);
    project_to_screen(p[0], p[1], p[2] + 0.5, out);
    return 0;
}

int selected_joint_screen_pos(double out[3])
{
    if (selected_player < 0 || selected_player >= MAX_PLAYERS || selected_joint < 0 ||
        selected_joint >= NUM_JOINTS)
        return 1;
    dJointID hinge = players[selected_player].hinge[selected_joint];
    if (!hinge)
        return 1;
    dVector3 anchor;
    dJointGetHingeAnchor(hinge, anchor);
    project_to_screen(anchor[0], anchor[1], anchor[2], out);
    return 0;
}

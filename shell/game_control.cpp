#include "shell/game_control.h"

#include <SDL/SDL.h>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/bout.h"
#include "core/ghost.h"
#include "core/outward.h"
#include "core/replay_buffer.h"
#include "core/replay_file.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/step.h"
#include "core/text.h"
#include "platform/camera.h"
#include "platform/loop.h"
#include "render/world_shader.h"
#include "shell/app.h"
#include "shell/console.h"
#include "shell/input.h"
#include "shell/options.h"
#include "shell/widgets.h"
#include "shell/palette.h"
#include "shell/sound_triggers.h"
#include "core/breaks.h"
#include "core/ghost.h"
#include "core/ground_impacts.h"
#include "core/newgame.h"
#include "core/outward.h"
#include "render/fighter_draw.h"
#include "render/hud.h"
#include "render/trails.h"

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
                list_move_up(list);   // the page follows the hover
            if (list->hover <= 0)
                list->scroll_up = 0;
        }
    }
    if (list->scroll_down) {
        menu_anim_counter++;
        if (menu_anim_counter % 10 == 0) {
            if (list->hover < list->count - 1)
                list_move_down(list);
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
    LINK(poll_connecting);
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
    char path[256 + 8];
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
    if (r >= REPLAY_FRAMES)   // past the replay buffer
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

static void run_script_file(const char *script)
{
    if (script && script[0] && core_outward.run_script)
        core_outward.run_script(script);
}

// The three joints the shop scene breaks off the first fighter: both
// wrists and the neck.
static const int scene_broken_joints[3] = {10, 11, 0};

void start_scripted_scene(const char *script)
{
    // Without the closing replay the scene starts from the match as it is.
    load_replay_file("exit.rpl");
    LINK(hook_leave_game);
    run_script_file(script);
    stop_ghost();
    LINK(new_game_reset, 0);
    // The scene's trails: opaque white fading to white at 0.55, 300 frames
    // long while the scene starts.
    static const float white[4] = {1, 1, 1, 1}, faded[4] = {1, 1, 1, 0.55f};
    int kept_length[4] = {0, 0, 0, 0};
    for (int t = 0; t < 4; t++)
        if (TrailRibbon *r = trail_ribbon(0, t)) {
            trail_set_colors(r, white, faded);
            kept_length[t] = r->length;
            r->length = 300;
        }
    unpause_game();
    if (fighters_built > 0)
        for (int j : scene_broken_joints)
            break_joint_dismember(0, j);
    exit_replay();
    start_turn(50);
    for (int t = 0; t < 4; t++)
        if (TrailRibbon *r = trail_ribbon(0, t))
            r->length = kept_length[t];
    LINK(hook_play);
}

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

// ---- the end-of-game announcement ------------------------------------------------------

enum {
    RESULT_WON = 0,
    RESULT_DRAW = 1,            // offline a draw; online a belt upgrade
    RESULT_DISQUALIFIED = 2,
    RESULT_BANNER_SECONDS = 3,
    UPGRADE_BANNER_SECONDS = 100,
    DRAW_COLOUR = 16,           // orange
    MENU_TEXT_COLOUR = 55,
    DEFAULT_COINS = 5,
    STREAK_SHOWN_ABOVE = 2
};

static int collect_list(const int32_t *list, int out[4])
{
    int n = 0;
    for (int i = 0; i < 4; i++)
        if (list[i] >= 0 && list[i] < MAX_FIGHTERS)
            out[n++] = list[i];
    return n;
}

// Appends text to a bounded line (the line always stays terminated).
static void append_text(char *line, size_t size, const char *text)
{
    size_t used = strnlen(line, size);
    if (used + 1 < size)
        snprintf(line + used, size - used, "%s", text);
}

// Online: "<name> - <belt> BELT" for each fighter whose belt changed with
// the result, joined by ", "; returns how many changed.
static int belt_upgrade_line(const MatchState *match, const MatchResult *result, char *out,
                             size_t size)
{
    out[0] = '\0';
    int changed = 0;
    int n = match->num_players < MAX_FIGHTERS ? match->num_players : MAX_FIGHTERS;
    for (int p = 0; p < n; p++) {
        if (!result->belt_known[p])
            continue;
        char before[64], after[64];
        n_strncpyz(before, belt_name_for_value(result->belt_before[p]), sizeof before);
        n_strncpyz(after, belt_name_for_value(result->belt_after[p]), sizeof after);
        if (!strcmp(before, after))
            continue;
        char item[128];
        snprintf(item, sizeof item, "%s%s - %s BELT", changed ? ", " : "", players[p].name,
                 after);
        append_text(out, size, item);
        changed++;
    }
    return changed;
}

// Online, while others wait in the bout list: "STREAK %i" and ", %i" for
// each further winner on a streak above 2; 0 when there is none.
static int streak_line(const MatchState *match, const MatchResult *result, const int *winners,
                       int won, char *out, size_t size)
{
    out[0] = '\0';
    if (game_type != 1 || match->num_players >= num_bouts)
        return 0;
    int shown = 0;
    for (int i = 0; i < won; i++) {
        int w = winners[i];
        if (!result->belt_known[w] || result->streak[w] <= STREAK_SHOWN_ABOVE)
            continue;
        char item[32];
        snprintf(item, sizeof item, shown ? ", %i" : "STREAK %i", (int)result->streak[w]);
        append_text(out, size, item);
        shown++;
    }
    return shown;
}

// Online with one winner: the coins it brought and the way to the next belt.
static void prepared_line(const MatchResult *result, int winner, char *out, size_t size)
{
    int points = 0, coins = 0;
    if (result->belt_known[winner]) {
        points = result->belt_after[winner];
        coins = result->coins[winner];
    } else if (const BoutEntry *e = get_bout_entry(winner)) {
        points = e->values[BOUT_BELT];
    }
    int missing = points_to_next_belt(points);
    snprintf(out, size, "+%i TC, %i games to %s Belt", coins ? coins : DEFAULT_COINS, missing,
             belt_name_for_value(points + missing));
}

int compose_game_result(const MatchState *match, char lines[3][256], int *colour, int *seconds)
{
    for (int i = 0; i < 3; i++)
        lines[i][0] = '\0';
    if (colour)
        *colour = MENU_TEXT_COLOUR;
    if (seconds)
        *seconds = RESULT_BANNER_SECONDS;
    const MatchResult *result = &match_result;
    int winners[4], disqualified[4];
    int won = collect_list(match->winners, winners);
    int lost = collect_list(match->losers, disqualified);
    int kind = match->result_code;

    // A belt upgrade online: the fighters whose belt changed, for long.
    if (kind == RESULT_DRAW && game_type == 1) {
        if (won > 0)
            select_player_quiet(winners[0]);
        char upgrades[256];
        if (belt_upgrade_line(match, result, upgrades, sizeof upgrades) > 0) {
            n_strncpyz(lines[0], "UPGRADED!", 256);
            n_strncpyz(lines[1], upgrades, 256);
            if (colour)
                *colour = -1;
            if (seconds)
                *seconds = UPGRADE_BANNER_SECONDS;
            return won;
        }
    }

    char prepared[256] = "";
    if (game_type == 1 && won == 1)
        prepared_line(result, winners[0], prepared, sizeof prepared);

    // The headline: the winners' names, or a draw when nobody won.
    char headline[256];
    if (kind == RESULT_DRAW) {
        n_strncpyz(headline, "DRAW!", sizeof headline);
    } else if (won == 0) {
        n_strncpyz(headline, "DRAW !", sizeof headline);
    } else {
        headline[0] = '\0';
        for (int i = 0; i < won; i++) {
            if (i)
                append_text(headline, sizeof headline, " & ");
            append_text(headline, sizeof headline, players[winners[i]].name);
        }
        append_text(headline, sizeof headline, "  WINS !");
    }
    char streak[256];
    int on_streak = streak_line(match, result, winners, won, streak, sizeof streak);

    if (kind == RESULT_DRAW) {
        n_strncpyz(lines[0], headline, 256);
        n_strncpyz(lines[1], prepared, 256);
        if (colour)
            *colour = DRAW_COLOUR;
    } else if (kind == RESULT_DISQUALIFIED) {
        if (lost > 0)
            select_player_quiet(disqualified[0]);
        n_strncpyz(lines[0], "DISQUALIFIED!", 256);
        n_strncpyz(lines[1], headline, 256);
        n_strncpyz(lines[2], on_streak ? streak : prepared, 256);
    } else {
        if (won > 0)
            select_player_quiet(winners[0]);
        n_strncpyz(lines[0], headline, 256);
        n_strncpyz(lines[1], on_streak ? streak : prepared, 256);
    }
    return won;
}

void show_game_result(MatchState *match)
{
    if (get_option(OPT_BENCHMARK) && match_start_tick) {
        double seconds = (double)(frame_tick - match_start_tick) / 1000.0;
        if (seconds > 0) {
            char line[96];
            snprintf(line, sizeof line, "framerate %.2f time %.2f",
                     (double)match->match_frame / seconds, seconds);
            echo_message(line, MSG_NONE);
        }
    }
    char lines[3][256];
    int colour = -1, seconds = RESULT_BANNER_SECONDS;
    compose_game_result(match, lines, &colour, &seconds);
    show_banner(2, colour >= 0 ? colour : text_colours.text, seconds, lines[0], lines[1],
                lines[2], 0, -1);
    // The chat log keeps the result of a live game once the banner has
    // faded (a replay shows its banner again at every end, not the line).
    if (replay_mode != REPLAY_LIVE)
        return;
    char line[3 * 256 + 8];
    n_strncpyz(line, lines[0], sizeof line);
    for (int i = 1; i < 3; i++)
        if (lines[i][0]) {
            size_t used = strlen(line);
            snprintf(line + used, sizeof line - used, "  %s", lines[i]);
        }
    echo_message(line, MSG_INGAME);
}

void announce_game_result(MatchState *match)
{
    if (!match)
        return;
    play_result_sound(match);
    show_game_result(match);
}

// ---- ground-impact marks --------------------------------------------------------------

static int impact_colour(int player)
{
    if (player < 0 || player >= MAX_PLAYERS)
        return 0;
    int c = fighter_looks[player].main_colour;
    return c ? c : players[player].colour;
}

void mark_ground_impact(MatchState *match, int p, int player)
{
    if (p < 0 || p >= MAX_FIGHTERS || player < 0 || player >= MAX_PLAYERS ||
        !players[player].body[0])
        return;
    GroundImpact *g = &ground_impacts[p];
    g->frame = match ? match->match_frame : match_state.match_frame;
    const dReal *pos = dBodyGetPosition(players[player].body[0]);
    for (int k = 0; k < 3; k++)
        g->position[k] = pos[k];
    g->colour = impact_colour(player);
    g->countdown = 99;
}

void set_impact_pos(int p, const double position[3])
{
    if (p < 0 || p >= MAX_FIGHTERS || !position)
        return;
    for (int k = 0; k < 3; k++)
        if (!std::isfinite(position[k]))
            return;
    for (int k = 0; k < 3; k++)
        ground_impacts[p].position[k] = position[k];
    ground_impacts[p].colour = impact_colour(p);
}

void clear_ground_impacts()
{
    reset_ground_impacts();
}

void clear_ground_impact(int p)
{
    if (p >= 0 && p < MAX_FIGHTERS)
        ground_impacts[p] = GroundImpact();
}

// ---- more accessors --------------------------------------------------------------------

void set_player_ready(int p, int v)
{
    if (p < 0 || p >= MAX_FIGHTERS)
        return;
    players[p].ready = v;
    int any = 0;
    for (int i = 0; i < MAX_FIGHTERS; i++)
        any |= players[i].ready != 0;
    if (v == 1 || any)
        LINK(play_sound, 28, 6);
}

void set_selected_player(int p)
{
    LINK(play_sound, 28, 6);
    select_player_quiet(p);
    if (p >= 0 && p < MAX_FIGHTERS)
        start_ghost(p);
}

int32_t hud_extra_shown;
void toggle_hud_extra() { hud_extra_shown = !hud_extra_shown; }

// ---- scripted scene and scripted game ---------------------------------------------------


void start_script_game(const char *script)
{
    LINK(hook_leave_game);
    run_script_file(script);
    LINK(clear_console);
    for (int p = 0; p < MAX_FIGHTERS; p++)
        LINK(clear_customs, p);
    LINK(clear_blood_stains);
    LINK(start_game_with_rules, 0, 0, &setup_rules);
    hold_other_fighters();
    LINK(show_play_buttons);
    LINK(set_play_icon, 0);
    LINK(hook_new_game);
}

// The turn alert of an online bout with a queue: the alert sound. A window
// without input focus cannot be flashed through SDL 1.2, so there the
// sound is the whole signal.
void alert_turn()
{
    if (get_option(OPT_TURNALERT) && num_bouts > 2)
        play_menu_sound();
}

// A new online turn (or a bout that begins with the own fighter second):
// the turn dial's flashing cue restarts, and the alert sound plays.
void on_turn_alert()
{
    if (!get_option(OPT_TURNALERT))
        return;
    reset_turn_alert(frame_tick);
    alert_turn();
}

void set_space_key_deadline(int32_t deadline) { space_key_deadline = deadline; }

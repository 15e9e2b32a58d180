// The frame step: the turn countdown, replay recording and playback, the
// commanded joint states, the collision pass and world step, damage, breaks
// and bleeding, the end of the match, and then the frame's drawing.
#include "core/step.h"

#include <cstdio>
#include <cstring>

#include "core/blood.h"
#include "core/bout.h"
#include "core/breaks.h"
#include "core/collide.h"
#include "core/outward.h"
#include "core/ground_impacts.h"
#include "core/motors.h"
#include "core/damage.h"
#include "core/ghost.h"
#include "core/replay_buffer.h"
#include "core/replay_file.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/world.h"

int32_t games_counter;
int32_t ghost_setting;

// Set once recording has stopped for want of room, so it is told once.
static int recording_cut;

enum { READY_ALL = 0x13f };

static void clear_list(int32_t list[4])
{
    for (int i = 0; i < 4; i++)
        list[i] = -1;
}

static int in_list(const int32_t list[4], int p)
{
    for (int i = 0; i < 4; i++)
        if (list[i] == p)
            return 1;
    return 0;
}

static void add_to_list(int32_t list[4], int p)
{
    if (in_list(list, p))
        return;
    for (int i = 0; i < 4; i++) {
        if (list[i] == -1) {
            list[i] = p;
            return;
        }
    }
}

static int disqualification_in_force()
{
    return (current_rules.flags & RULE_FLAG_DQ) || current_rules.dojosize != 0;
}

static int connected()
{
    return core_outward.is_connected && core_outward.is_connected();
}

static void commit(int mode)
{
    if (core_outward.commit_turn)
        core_outward.commit_turn(mode);
}

static void mark_ground_impact(const double *pos)
{
    if (core_outward.mark_ground_impact)
        core_outward.mark_ground_impact(pos);
}

static void echo(const char *text)
{
    if (core_outward.echo)
        core_outward.echo(text, 4);
}

// Records the frame into the next record. The buffer holds every frame of a
// match the rules accept; only a match that runs on past them (an online
// server that sends no result) or a failed allocation can fill it, and then
// recording stops with one message for the match.
static void record_next_frame(int force)
{
    MatchState *m = &match_state;
    if (m->frames_recorded < 0)
        return;
    ReplayFrame *r = m->frames_recorded < REPLAY_FRAMES ? get_replay_frame(m->frames_recorded)
                                                        : nullptr;
    if (!r) {
        if (!recording_cut) {
            recording_cut = 1;
            char line[128];
            snprintf(line, sizeof line, "Replay full: frames from %d on are not recorded",
                     m->match_frame);
            echo(line);
            fprintf(stderr, "%s\n", line);
        }
        return;
    }
    recording_cut = 0;   // there is room again: a later cut is told anew
    if (record_replay_frame(force, r))
        m->frames_recorded += 1;
}

// A fighter is out: relaxed, unselected and among the losers.
static void put_out(int p)
{
    record_ground_impact(p, match_state.dq_position[p]);
    mark_ground_impact(match_state.dq_position[p]);
    if (selected_player == p)
        selected_player = -1;
    if (has_bodies(p))
        relax_all(p);
    add_to_list(match_state.losers, p);
}

// ---- starting and ending turns --------------------------------------------------

void start_turn(int frames)
{
    stop_ghost();
    if (frames >= 1) {
        match_state.turn_frame = frames + 1;   // the decrement to 0 ends the turn
    } else {
        match_state.turn_frame = next_turnframes();
    }
    match_state.turn_length = match_state.turn_frame - 1;
    unpause_game();
}

void end_turn()
{
    MatchState *m = &match_state;
    int n = fighter_count();
    if (game_type == 1) {
        int all = 1;
        for (int i = 0; i < n; i++)
            if ((players[i].flags & READY_ALL) != READY_ALL)
                all = 0;
        if (all) {
            for (int i = 0; i < n; i++)
                apply_received_player_state(i);
            apply_received_env_state();
            for (int i = 0; i < n; i++)
                players[i].flags = 0;
            m->ready_bits = 0;
        }
        int limit_ms = current_rules.turn_time_limit * 1000;
        if (own_player_index == -1) {
            pause_game();
            if (ghost_setting == GHOST_ALL)
                toggle_ghost_all();
        } else {
            // The edit phase waits; a ghost run, when one starts, unpauses it.
            pause_game();
            start_ghost(selected_player);
            if (ghost_setting == GHOST_ALL)
                toggle_ghost_all();
        }
        if (record_mode == 0 || own_player_index == -1)
            turn_timeout = limit_ms + frame_tick;
        if (record_mode == 2) {
            turn_timeout = limit_ms + frame_tick;
            m->turn_start_frame = m->match_frame;
            record_mode = 1;
        }
        if (core_outward.on_turn_alert)
            core_outward.on_turn_alert();
    } else {
        pause_game();   // the edit phase; a ghost run unpauses for itself
        if (ghost_setting == GHOST_ALL || selected_player == -1)
            start_ghost_all();
        else
            start_ghost(selected_player);
    }
    for (int i = 0; i < n; i++) {
        players[i].changes = 0;
        players[i].sent = 0;
    }
    if (core_outward.hook_enter_freeze)
        core_outward.hook_enter_freeze();
}

// ---- the end of a local match ------------------------------------------------------

// The match has run its frames: the fighters still in are ranked by score.
// A fighter that is out has lost whatever its score: it stays among the
// losers (the list holds the losers and the disqualified players) and is
// neither ranked nor counted for a draw.
static void decide_by_score(int n)
{
    MatchState *m = &match_state;
    clear_list(m->winners);
    clear_list(m->losers);
    int in[MAX_FIGHTERS], count = 0;
    for (int i = 0; i < n && i < MAX_FIGHTERS; i++) {
        if (players[i].out)
            add_to_list(m->losers, i);
        else
            in[count++] = i;
    }
    int draw = 0;
    if (count <= 1) {
        // One fighter alone draws; with more, the one left in wins (the
        // disqualification check gives that result before the last frame).
        if (count == 1 && n >= 2)
            add_to_list(m->winners, in[0]);
        else
            draw = 1;
    } else {
        int all_equal = 1;
        for (int k = 1; k < count; k++)
            if (players[in[k]].score != players[in[0]].score)
                all_equal = 0;
        if (all_equal) {
            draw = 1;
        } else if (m->team_count >= 2) {
            // Teams are ranked by the sum of their fighters' scores; a team
            // whose fighters are all out has no rank.
            float total[MAX_FIGHTERS] = {0, 0, 0, 0};
            int ranked[MAX_FIGHTERS] = {0, 0, 0, 0};
            for (int k = 0; k < count; k++) {
                int t = players[in[k]].team;
                if (t >= 0 && t < MAX_FIGHTERS) {
                    total[t] += players[in[k]].score;
                    ranked[t] = 1;
                }
            }
            int best = -1, ties = 0;
            for (int t = 0; t < m->team_count && t < MAX_FIGHTERS; t++) {
                if (!ranked[t])
                    continue;
                if (best < 0 || total[t] > total[best]) {
                    best = t;
                    ties = 0;
                } else if (total[t] == total[best]) {
                    ties++;
                }
            }
            if (best < 0 || ties > 0) {
                draw = 1;
            } else {
                for (int k = 0; k < count; k++)
                    add_to_list(players[in[k]].team == best ? m->winners : m->losers, in[k]);
            }
        } else if (count == 2) {
            int w = players[in[0]].score > players[in[1]].score ? 0 : 1;
            add_to_list(m->winners, in[w]);
            add_to_list(m->losers, in[1 - w]);
        } else {
            int order[MAX_FIGHTERS];
            for (int k = 0; k < count; k++)
                order[k] = in[k];
            for (int i = 1; i < count; i++)   // falling score, stable
                for (int k = i; k > 0 && players[order[k]].score > players[order[k - 1]].score; k--) {
                    int t = order[k];
                    order[k] = order[k - 1];
                    order[k - 1] = t;
                }
            int mode = m->match_mode;
            if (mode < 1 || mode > 3)
                mode = 1;
            int taken = 0;
            while (taken < count) {
                int group = 1;
                while (taken + group < count &&
                       players[order[taken + group]].score == players[order[taken]].score)
                    group++;
                if (taken + group > mode)
                    break;
                taken += group;
            }
            if (taken == 0) {
                draw = 1;
            } else {
                for (int k = 0; k < count; k++)
                    add_to_list(k < taken ? m->winners : m->losers, order[k]);
            }
        }
    }
    if (draw) {
        // Nobody won; the fighters that are out are still the losers.
        clear_list(m->winners);
        clear_list(m->losers);
        for (int i = 0; i < n && i < MAX_FIGHTERS; i++)
            if (players[i].out)
                add_to_list(m->losers, i);
    }
    for (int i = 0; i < n; i++) {
        players[i].touch_first = 0;
        players[i].touch_last = 0;
        players[i].touch_time = 0;
    }
    if (replay_mode == REPLAY_LIVE && game_type == 0)
        for (int i = 0; i < 4; i++)
            if (m->winners[i] >= 0 && m->winners[i] < 4)
                m->wins[m->winners[i]] += 1;
    m->result_code = draw ? 1 : 0;
    m->game_over = 1;
    m->end_frame = m->match_frame;
}

// Fighters newly out are relaxed and listed among the losers (with teams,
// their teammates go out with them). When at most one fighter (or team) is
// left, it wins: 1 when that ended the game.
static int check_disqualifications(int n)
{
    MatchState *m = &match_state;
    int any_out = 0;
    for (int i = 0; i < n; i++) {
        if (!players[i].out)
            continue;
        any_out = 1;
        if (!in_list(m->losers, i))
            put_out(i);
    }
    if (any_out && m->team_count >= 2) {
        for (int i = 0; i < n; i++) {
            if (players[i].out == 0 || players[i].out == 3)
                continue;
            for (int k = 0; k < n; k++) {
                if (k != i && !players[k].out && players[k].team == players[i].team) {
                    players[k].out = 3;
                    put_out(k);
                }
            }
        }
    }
    if (!any_out || n < 2)
        return 0;
    int left = 0, teams_left = 0, team_seen[MAX_FIGHTERS] = {0, 0, 0, 0};
    for (int i = 0; i < n; i++) {
        if (players[i].out)
            continue;
        left++;
        int t = players[i].team;
        if (t >= 0 && t < MAX_FIGHTERS && !team_seen[t]) {
            team_seen[t] = 1;
            teams_left++;
        }
    }
    int units = m->team_count >= 2 ? teams_left : left;
    if (units > 1)
        return 0;
    clear_list(m->winners);
    for (int i = 0; i < n; i++)
        if (!players[i].out)
            add_to_list(m->winners, i);
    m->result_code = 2;
    m->game_over = 1;
    m->end_frame = m->match_frame;
    return 1;
}

int finish_turn_local()
{
    MatchState *m = &match_state;
    int n = fighter_count();
    // Who is out is settled first: a fighter that went out on the last
    // frame has lost, and the one left standing wins by it.
    if (disqualification_in_force())
        check_disqualifications(n);
    if (!m->game_over && m->match_frame >= current_rules.matchframes)
        decide_by_score(n);
    if (m->game_over)
        m->turn_frame = 0;
    return m->game_over;
}

// ---- the end of an online match ------------------------------------------------------

int finish_turn_online()
{
    MatchState *m = &match_state;
    int n = fighter_count();
    if (disqualification_in_force()) {
        for (int i = 0; i < n; i++) {
            const LossRecord *l = &match_result.loss[i];
            if (!l->lost || l->frame != m->match_frame)
                continue;
            for (int k = 0; k < 3; k++)
                m->dq_position[i][k] = l->position[k];
            players[i].out = 1;
            put_out(i);
        }
    }
    if (match_result.valid && match_result.frame <= m->match_frame) {
        for (int i = 0; i < 4; i++) {
            m->winners[i] = match_result.winners[i];
            m->losers[i] = match_result.losers[i];
        }
        m->result_code = match_result.code;
        m->game_over = 1;
        m->end_frame = m->match_frame;
        for (int i = 0; i < n; i++) {
            players[i].injury = (float)match_result.values[i];
            players[i].score = match_result.scores[i];
        }
        games_counter += 1;
        return 1;
    }
    return 0;
}

// ---- the frame ---------------------------------------------------------------------

static int online_turn_start()
{
    MatchState *m = &match_state;
    int n = fighter_count();
    int all_ready = 1, all_flags = 1;
    for (int i = 0; i < n; i++) {
        if (players[i].ready != 1)
            all_ready = 0;
        if ((players[i].flags & READY_ALL) != READY_ALL)
            all_flags = 0;
    }
    if (!all_ready || !((m->ready_bits & READY_ALL) == READY_ALL || all_flags))
        return 0;
    for (int i = 0; i < n; i++)
        players[i].ready = 0;
    if (m->match_frame >= current_rules.opening_frames)
        m->turn_frame = next_turnframes();
    else
        m->turn_frame = current_rules.opening_turn_frames + 1;
    m->turn_length = m->turn_frame - 1;
    stop_ghost();
    m->game_paused = 0;
    return 1;
}

static void countdown()
{
    MatchState *m = &match_state;
    int counting = game_type == 1 ? !match_result.valid : !m->game_over;
    if (counting && m->turn_frame > 0) {
        m->turn_frame -= 1;
        if (m->turn_frame == 0) {
            end_turn();
            if (core_outward.play_score_sounds)
                core_outward.play_score_sounds();
            // A turn started from the turn's end (an enter_freeze hook that
            // commits at once) runs from this very frame, which the edit
            // phase would otherwise have spent paused: it is the new turn's
            // first frame, or the turn would last a frame too long.
            if (m->turn_frame > 1 && !m->game_paused && m->ghost_mode == GHOST_OFF)
                m->turn_frame -= 1;
        }
    }
    if (m->turn_frame == 0 && game_type == 1 && turn_timeout && num_bouts >= m->num_players) {
        if (selected_player == -1)
            commit(0);
        // A limit of 0 is none: the turn waits for the player's own commit.
        if (current_rules.turn_time_limit > 0 && frame_tick > turn_timeout) {
            commit(0);
            turn_timeout = 0;
        }
    }
}

static void record_or_play(int turn_started)
{
    MatchState *m = &match_state;
    if (replay_mode != REPLAY_LIVE) {
        play_replay_frame(m->match_frame);
    } else if (m->ghost_mode == GHOST_OFF) {
        // The match ends at its last frame: what moves after the result is
        // not part of it (and so a match never needs more records than it
        // has frames).
        int recording = !m->game_over;
        if (recording && (record_mode == 0 || record_mode == 2))
            record_next_frame(turn_started);
        else if (recording && record_mode == 1 && m->match_frame == m->turn_start_frame)
            record_replay_frame(turn_started, get_turn_start_snapshot());
        if (!m->game_over && core_outward.hook_enter_frame)
            core_outward.hook_enter_frame();
    }
    // While a ghost runs the fighters stand frozen: their commands wait for
    // the turn, where the frame that records them also applies them. The
    // ghost has taken them already (copy_fighter_to_ghost).
    if (m->ghost_mode == GHOST_OFF) {
        apply_joint_states();
        m->match_frame += 1;
    }
}

static void simulate()
{
    MatchState *m = &match_state;
    clamp_body_velocities();
    if (core_outward.play_motion_sounds)
        core_outward.play_motion_sounds();
    memset(frame_contact_counters, 0, sizeof frame_contact_counters);
    if (!physics_world)
        return;
    if (m->ghost_mode != GHOST_OFF) {
        if (advance_ghost_clock() == 0) {
            collide_space(ghost_space);
            step_world(world_step_size);
        }
        if (ghost_restart_pending) {
            refresh_ghost();
            ghost_restart_pending = 0;
        }
    } else {
        collide_space(live_space);
        step_world(world_step_size);
        age_blood_drops();
        if (core_outward.update_trails)
            core_outward.update_trails();
    }
    dJointGroupEmpty(contact_group);
    if (collision_count > 0)
        apply_collision_damage();
}

static void breaks()
{
    MatchState *m = &match_state;
    int n = fighter_count();
    if (game_type == 1) {
        apply_timed_breaks(m->match_frame);
    } else if (current_rules.flags & (RULE_FLAG_DISMEMBER | RULE_FLAG_FRACTURE)) {
        for (int i = 0; i < n; i++)
            check_joint_breaks(i);
    }
}

static void match_end()
{
    MatchState *m = &match_state;
    if (!m->game_over) {
        if (game_type == 1)
            finish_turn_online();
        else
            finish_turn_local();
        if (!m->game_over)
            return;
        if (core_outward.announce_game_result)
            core_outward.announce_game_result();
        for (int i = 0; i < 4; i++)
            if (has_bodies(m->losers[i]))
                relax_all(m->losers[i]);
        if (game_type == 1 && replay_mode == REPLAY_LIVE)
            record_next_frame(1);
        if (replay_mode == REPLAY_LIVE && core_outward.get_option &&
            core_outward.get_option("autosave"))
            autosave_replay();
        m->turn_end = m->turn_seconds * 1000 + frame_tick;
        if (replay_mode == REPLAY_LIVE && core_outward.hook_end_game)
            core_outward.hook_end_game(m->result_code);
        return;
    }
    // Offline, the replay that follows waits while the banner (the result)
    // still shows; online the server paces the games.
    int banner_holds = game_type == 0 && core_outward.banner_showing &&
                       core_outward.banner_showing();
    if (m->turn_end && frame_tick >= m->turn_end && !m->game_paused && !banner_holds) {
        if (replay_mode == REPLAY_CYCLE) {
            if (core_outward.play_next_replay)
                core_outward.play_next_replay();
        } else if (core_outward.begin_replay) {
            core_outward.begin_replay();
        }
        m->turn_end = 0;
    }
}

void step_frame(int skip_simulation)
{
    MatchState *m = &match_state;
    int n = fighter_count();

    int turn_started = 0;
    if (game_type == 1 && connected())
        turn_started = online_turn_start();

    if (replay_mode == REPLAY_LIVE)
        countdown();

    if (!m->game_paused)
        record_or_play(turn_started);

    if (!skip_simulation && !m->game_paused)
        simulate();

    // A local replay pauses at each turn end.
    if (game_type == 0 && replay_mode != REPLAY_LIVE && !m->game_paused && m->turn_frame > 0) {
        m->turn_frame -= 1;
        if (m->turn_frame == 0 && core_outward.toggle_game_paused)
            core_outward.toggle_game_paused(0);
    }

    if (replay_mode == REPLAY_LIVE && !m->game_paused && !m->game_over &&
        m->ghost_mode == GHOST_OFF)
        breaks();

    if (!(replay_mode == REPLAY_LIVE && m->ghost_mode != GHOST_OFF))
        for (int i = 0; i < n; i++)
            for (int j = 0; j < NUM_JOINTS; j++)
                if (players[i].joints[j].broken == JOINT_DISMEMBERED)
                    bleed_joint(i, j);

    match_end();

    if (m->end_deadline && frame_tick >= m->end_deadline && replay_mode == REPLAY_LIVE &&
        game_type == 0) {
        m->end_deadline = 0;   // once; a later live game must not trip it again
        replay_mode = REPLAY_CYCLE;
        if (core_outward.play_next_replay)
            core_outward.play_next_replay();
    }

    if (core_outward.draw_frame_layers)
        core_outward.draw_frame_layers(&match_state, &current_rules, &match_result);
}

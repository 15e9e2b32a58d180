// The network column: what each line from the game server does to the
// player records, the match, the pending rules, the bout list and the
// console. Runs on the main thread between frames; the next frame step acts
// on what is written here.
//
// Every player, joint, body, hand, slot and bout number of a line is checked
// where it is used: the server is not trusted to stay inside the match, and
// a line with a number outside its range is ignored with one line on
// standard error.
#include "core/sane.h"
#include "core/net_handlers.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <strings.h>

#include "core/bout.h"
#include "core/command.h"
#include "core/command_handlers.h"
#include "core/host_port.h"
#include "core/motors.h"
#include "core/newgame.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/replay_file.h"
#include "core/rules.h"
#include "core/text.h"

NetBatchTables net_batch;
double received_hinge_vel[MAX_FIGHTERS][NUM_JOINTS];
double received_hinge_fmax[MAX_FIGHTERS][NUM_JOINTS];
GrabRecord net_grabs[MAX_FIGHTERS][GRAB_RECORDS];
int32_t last_net_frame;

void reset_net_handler_state()
{
    memset(&net_batch, 0, sizeof net_batch);
    memset(received_hinge_vel, 0, sizeof received_hinge_vel);
    memset(received_hinge_fmax, 0, sizeof received_hinge_fmax);
    memset(net_grabs, 0, sizeof net_grabs);
    last_net_frame = 0;
}

// PlayerState.flags bits of what the server sent for the end of a turn.
enum {
    RECEIVED_QAT = 0x1,
    RECEIVED_LINVEL = 0x2,
    RECEIVED_ANGVEL = 0x4,
    RECEIVED_POS = 0x8,
    RECEIVED_CRUSH = 0x10,
    RECEIVED_RESULT = 0x20,
    RECEIVED_HINGEVEL = 0x40,
    RECEIVED_HINGEFMAX = 0x80,
    RECEIVED_FRACT = 0x100,
    WORLD_READY_BITS = 0x11f
};

enum { LEFT_HAND_BODY = 12, RIGHT_HAND_BODY = 11, BATCH_DONE = -1, MAX_BOUT_SLOT = MAX_BOUTS - 1 };

// ---- checks ----------------------------------------------------------------------

static int fighters_in_match()
{
    int n = match_state.num_players;
    if (n < 0)
        return 0;
    return n > MAX_FIGHTERS ? MAX_FIGHTERS : n;
}

// A fighter of the match.
static int fighter_ok(const char *command, int p)
{
    if (p >= 0 && p < fighters_in_match())
        return 1;
    fprintf(stderr, "%s player %d out of range\n", command, p);
    return 0;
}

// A fighter of the match whose bodies and hinges exist.
static int built_fighter_ok(const char *command, int p)
{
    if (!fighter_ok(command, p))
        return 0;
    if (p < fighters_built && players[p].body[0])
        return 1;
    fprintf(stderr, "%s player %d has no bodies\n", command, p);
    return 0;
}

static int joint_ok(const char *command, int j)
{
    if (j >= 0 && j < NUM_JOINTS)
        return 1;
    fprintf(stderr, "%s joint %d out of range\n", command, j);
    return 0;
}

// A trimmed, writable copy of a handler's arguments.
static char *trimmed(const char *args, char *buffer, int size)
{
    n_strncpyz(buffer, args ? args : "", size);
    return trim_blanks(buffer);
}

// A result line marks every fighter and the match as having received it,
// and dates it at the frame the match has reached: no line carries that
// frame, and the match ends on the frame it was received (or, received
// ahead of the frames, on that frame once the frames get there).
static void mark_result_received()
{
    match_result.frame = match_state.match_frame;
    int n = fighters_in_match();
    for (int p = 0; p < n; p++)
        players[p].flags |= RECEIVED_RESULT;
    match_state.ready_bits |= RECEIVED_RESULT;
}

// ---- rules and new games ---------------------------------------------------------------

int net_cmd_newgame(int, const char *args)
{
    if (fighters_built == 0) {   // before game_init there is no world to start
        fprintf(stderr, "NEWGAME before the world exists ignored\n");
        return 0;
    }
    if (!replay_rules) {   // no TEAMS or ENGAGE line came first
        replay_rules = new (std::nothrow) GameRules;
        if (!replay_rules)
            return 0;
        memset(replay_rules, 0, sizeof *replay_rules);
    }
    GameRules *rules = replay_rules;
    if (parse_newgame_line(args, rules) < 0) {
        echo_message("The server's new game was not started: its rules are out of range",
                     MSG_INGAME);
        delete replay_rules;
        replay_rules = nullptr;
        return 0;
    }
    if (core_outward.clear_floor_stains)
        core_outward.clear_floor_stains();
    start_game_with_rules(1, 0, rules);
    delete replay_rules;
    replay_rules = nullptr;
    return 0;
}

// TEAMS and ENGAGE fill the pending rules exactly as a replay's lines do.
int net_cmd_teams(int number, const char *args) { return replay_cmd_teams(number, args); }
int net_cmd_engage(int number, const char *args) { return replay_cmd_engage(number, args); }

// ---- results --------------------------------------------------------------------------

// A result input that starts from the result last applied, so that a line
// with fewer values leaves the missing ones as they were.
static void previous_result(MatchResultInput *in, float scores[4])
{
    const MatchResultExtra *x = &match_result_extra;
    memset(in, 0, sizeof *in);
    in->winner = x->winner;
    in->kind = match_result.code;
    in->last = x->last;
    for (int p = 0; p < 4; p++) {
        in->bout_index[p] = -1;
        in->losers[p] = -1;
        in->further[p][0] = x->further[p][0];
        in->further[p][1] = x->further[p][1];
        for (int k = 0; k < 3; k++)
            in->results[p][k] = x->results[p][k];
        scores[p] = players[p].score;
    }
}

static int slot_or_none_ok(const char *command, const char *what, int v, int high)
{
    if (v >= -1 && v <= high)
        return 1;
    fprintf(stderr, "%s %s %d out of range\n", command, what, v);
    return 0;
}

// What the result banner reads of an applied result: for each player whose
// bout entry came with it, the belt value before (the entry's) and after
// (the first further value), the coins (the second further value when the
// line carries one) and the entry's winning streak.
static void note_result_belts(const MatchResultInput *in, int coins_given)
{
    const MatchResultExtra *x = &match_result_extra;
    for (int p = 0; p < 4; p++) {
        int known = !x->fighter_empty[p];
        match_result.belt_known[p] = known;
        match_result.belt_before[p] = known ? x->fighters[p].values[BOUT_BELT] : 0;
        match_result.belt_after[p] = known ? in->further[p][0] : 0;
        match_result.coins[p] = known && coins_given ? in->further[p][1] : 0;
        match_result.streak[p] = known ? x->fighters[p].values[BOUT_STREAK] : 0;
    }
}

int net_cmd_win(int number, const char *args)
{
    MatchResultInput in;
    float scores[4];
    previous_result(&in, scores);
    int kind = in.kind, winner = -1, loser = -1, a = in.further[0][0], b = in.further[0][1];
    float r[3] = {in.results[0][0], in.results[0][1], in.results[0][2]};
    int last = in.last;
    sscanf(args, "%i %i %i %i %i %f %f %f %i", &kind, &winner, &loser, &a, &b, &r[0], &r[1],
           &r[2], &last);
    if (!slot_or_none_ok("WIN", "winner", winner, fighters_in_match() - 1) ||
        !slot_or_none_ok("WIN", "loser", loser, MAX_BOUT_SLOT))
        return 0;
    for (int k = 0; k < 3; k++)
        if (!std::isfinite(r[k]))
            r[k] = 0;
    mark_result_received();
    in.winner = number;
    in.kind = kind;
    if (winner >= 0)
        in.bout_index[winner] = winner;
    in.losers[0] = loser;
    for (int p = 0; p < 4; p++) {
        in.further[p][0] = a;
        in.further[p][1] = b;
        for (int k = 0; k < 3; k++)
            in.results[p][k] = r[k];
    }
    in.scores = nullptr;   // the players' current scores
    in.last = last;
    apply_match_result(&in);
    note_result_belts(&in, 1);
    return 0;
}

int net_cmd_win2(int number, const char *args)
{
    MatchResultInput in;
    float scores[4];
    previous_result(&in, scores);
    int n = fighters_in_match();
    const char *p = args;
    char error = 0;
    int kind = in.kind;
    p = read_int_token(p, &kind, &error);

    // Four lists of one integer per player, then three floats per player,
    // then the last value; reading stops at the first missing value.
    int lists[4][4];
    for (int l = 0; l < 4; l++)
        for (int i = 0; i < 4; i++)
            lists[l][i] = l < 2 ? -1 : 0;
    for (int i = 0; i < 4; i++) {
        lists[2][i] = in.further[i][0];
        lists[3][i] = whole_number(scores[i]);   // a score of any size
    }
    int have_scores = 0;
    for (int l = 0; l < 4 && !error; l++)
        for (int i = 0; i < n && !error; i++) {
            int v = 0;
            p = read_int_token(p, &v, &error);
            if (!error) {
                lists[l][i] = v;
                if (l == 3)
                    have_scores = 1;
            }
        }
    for (int i = 0; i < n && !error; i++)
        for (int k = 0; k < 3 && !error; k++) {
            float v = 0;
            p = read_float_token(p, &v, &error);
            if (!error && std::isfinite(v))
                in.results[i][k] = v;
        }
    if (!error)
        p = read_int_token(p, &in.last, &error);

    for (int i = 0; i < 4; i++)
        if (!slot_or_none_ok("WIN2", "bout index", lists[0][i], MAX_BOUT_SLOT) ||
            !slot_or_none_ok("WIN2", "loser", lists[1][i], MAX_BOUT_SLOT))
            return 0;
    mark_result_received();
    in.winner = number;
    in.kind = kind;
    for (int i = 0; i < 4; i++) {
        in.bout_index[i] = lists[0][i];
        in.losers[i] = lists[1][i];
        in.further[i][0] = lists[2][i];
        if (have_scores)
            scores[i] = (float)lists[3][i];
    }
    in.scores = scores;
    apply_match_result(&in);
    note_result_belts(&in, 0);
    return 0;
}

int net_cmd_game(int number, const char *args)
{
    int n = fighters_in_match();
    int32_t values[4];
    float scores[4];
    for (int i = 0; i < 4; i++) {
        values[i] = match_result.values[i];
        scores[i] = match_result.scores[i];
    }
    const char *p = args;
    char error = 0;
    for (int i = 0; i < n && !error; i++) {
        int v = 0;
        p = read_int_token(p, &v, &error);
        if (!error)
            values[i] = v;
    }
    int have_scores = 0;
    for (int i = 0; i < n && !error; i++) {
        float v = 0;
        p = read_float_token(p, &v, &error);
        if (!error && std::isfinite(v)) {
            scores[i] = v;
            have_scores = 1;
        }
    }
    set_game_values(number, values, have_scores ? scores : nullptr);
    mark_result_received();
    return 0;
}

int net_cmd_lost(int number, const char *args)
{
    if (!fighter_ok("LOST", number))
        return 0;
    int frame = 0, lost = 0;
    float pos[3] = {0, 0, 0};
    if (sscanf(args, "%i %i %f %f %f", &frame, &lost, &pos[0], &pos[1], &pos[2]) < 2)
        return 0;
    for (float v : pos)
        if (!std::isfinite(v)) {
            fprintf(stderr, "LOST position refused\n");
            return 0;
        }
    store_loss(frame, number, lost, pos);
    return 0;
}

int net_cmd_frame(int number, const char *args)
{
    int n = fighters_in_match();
    const char *p = args;
    char error = 0;
    for (int i = 0; i < n && !error; i++) {
        float v = 0;
        p = read_float_token(p, &v, &error);
        if (!error && std::isfinite(v))
            players[i].injury = v;
    }
    for (int i = 0; i < n && !error; i++) {
        float v = 0;
        p = read_float_token(p, &v, &error);
        if (!error && std::isfinite(v))
            players[i].score = v;
    }
    last_net_frame = number;
    return 0;
}

// ---- the bout list and the people ---------------------------------------------------------

int net_cmd_id(int number, const char *)
{
    set_own_id(number);
    return 0;
}

int net_cmd_bout(int number, const char *args)
{
    if (number < 0 || number > MAX_BOUT_SLOT) {
        fprintf(stderr, "BOUT slot %d out of range\n", number);
        return 0;
    }
    // id, four values, the status bits, the name and a last value. The
    // status bits sit in values[0] (the name list takes its prefix from
    // them); values[1] is the belt value, values[4] the rank and values[5]
    // (the last value) the winning streak.
    int id = -1, v[4] = {0, 0, 0, 0}, status = 0, last = 0;
    char name[256] = "";
    if (sscanf(args, "%i %i %i %i %i %i %255s %i", &id, &v[0], &v[1], &v[2], &v[3], &status,
               name, &last) < 1) {
        fprintf(stderr, "BOUT needs an id\n");
        return 0;
    }
    int32_t values[BOUT_VALUES] = {};
    values[BOUT_STATUS] = status;
    for (int k = 0; k < 4; k++)
        values[BOUT_BELT + k] = v[k];
    values[BOUT_STREAK] = last;
    update_bout_list(number, id, values, name);
    return 0;
}

int net_cmd_specs(int, const char *args)
{
    char names[32][32];
    memset(names, 0, sizeof names);
    char buffer[CMD_LINE_MAX + 1];
    int count = split_names(trimmed(args, buffer, sizeof buffer), names, 32);
    if (core_outward.set_spectator_names)
        core_outward.set_spectator_names(names, count);
    return 0;
}

int net_cmd_say(int number, const char *args)
{
    char buffer[CMD_LINE_MAX + 1];
    char *text = trimmed(args, buffer, sizeof buffer);
    int kind = MSG_USER;
    if (number == 0)
        kind = MSG_SERVER;
    else if (number == own_id)
        kind = MSG_PLAYER;
    echo_message(text, kind);
    return 0;
}

int net_cmd_emote(int number, const char *args)
{
    if (!fighter_ok("EMOTE", number))
        return 0;
    char buffer[CMD_LINE_MAX + 1];
    set_emote(number, trimmed(args, buffer, sizeof buffer), 10);
    return 0;
}

// ---- received body state ------------------------------------------------------------------

// The received-state row of a body for one of the four body-state flags.
static double *received_field(BodyStateRecord *s, int flag)
{
    switch (flag) {
    case RECEIVED_QAT: return s->quaternion;
    case RECEIVED_POS: return s->position;
    case RECEIVED_LINVEL: return s->linear_vel;
    default: return s->angular_vel;
    }
}

// Rows of a body state that the world can take. A line may leave rows
// out (all NaN from the reader) where missing_ok is set; a row it holds is
// checked whole.
static int sane_received_rows(const double *values, int flag, int rows, int missing_ok)
{
    int width = flag == RECEIVED_QAT ? 4 : 3;
    double limit = flag == RECEIVED_POS ? SANE_POSITION : SANE_SPEED;
    for (int b = 0; b < rows; b++) {
        int verdict = sane_state_row(values + (size_t)b * width, width, limit);
        if (verdict == SANE_ROW_BAD || (verdict == SANE_ROW_ABSENT && !missing_ok))
            return 0;
    }
    return 1;
}

// Reads up to 21 rows of width numbers; a row the line left out keeps what
// was received before.
static int body_rows(const char *command, int number, const char *args, int flag)
{
    if (!fighter_ok(command, number))
        return 0;
    int width = flag == RECEIVED_QAT ? 4 : 3;
    double values[NUM_BODIES * 4];
    for (double &v : values)
        v = NAN;
    if (width == 4)
        read_double_rows4(args, NUM_BODIES, (double (*)[4])values);
    else
        read_double_rows3(args, NUM_BODIES, (double (*)[3])values);
    if (!sane_received_rows(values, flag, NUM_BODIES, 1)) {
        refuse_input(command, args);
        return 0;
    }
    for (int b = 0; b < NUM_BODIES; b++) {
        const double *row = values + (size_t)b * width;
        if (sane_state_row(row, width, SANE_FORCE) == SANE_ROW_ABSENT)
            continue;
        memcpy(received_field(&players[number].saved_state[b], flag), row, sizeof(double) * width);
    }
    players[number].flags |= flag;
    return 0;
}

int net_cmd_qat(int number, const char *args)
{
    return body_rows("QAT", number, args, RECEIVED_QAT);
}
int net_cmd_pos(int number, const char *args)
{
    return body_rows("POS", number, args, RECEIVED_POS);
}
int net_cmd_linvel(int number, const char *args)
{
    return body_rows("LINVEL", number, args, RECEIVED_LINVEL);
}
int net_cmd_angvel(int number, const char *args)
{
    return body_rows("ANGVEL", number, args, RECEIVED_ANGVEL);
}

static int body_tail(const char *command, int number, const char *tail, int flag)
{
    if (!fighter_ok(command, number))
        return 0;
    int width = flag == RECEIVED_QAT ? 4 : 3;
    double values[NUM_BODIES * 4];
    int got = width == 4 ? unpack_tail_rows4(tail, values, NUM_BODIES * 4)
                         : unpack_tail_rows3(tail, values, NUM_BODIES * 3);
    if (got < 0) {
        fprintf(stderr, "%s tail refused\n", command);
        return 0;
    }
    if (!sane_received_rows(values, flag, got / width, 0)) {
        refuse_input(command, "packed rows");
        return 0;
    }
    for (int i = 0; i < got; i++)
        received_field(&players[number].saved_state[i / width], flag)[i % width] = values[i];
    players[number].flags |= flag;
    return 0;
}

int net_cmd_p_qat(int number, const char *tail)
{
    return body_tail("P_QAT", number, tail, RECEIVED_QAT);
}
int net_cmd_p_pos(int number, const char *tail)
{
    return body_tail("P_POS", number, tail, RECEIVED_POS);
}
int net_cmd_p_angvel(int number, const char *tail)
{
    return body_tail("P_ANGVEL", number, tail, RECEIVED_ANGVEL);
}
int net_cmd_p_linvel(int number, const char *tail)
{
    return body_tail("P_LINVEL", number, tail, RECEIVED_LINVEL);
}

// Hinge values act at once, unlike joint states (which wait for the next
// frame's apply_joint_states): the server sends them with the body state of
// the turn's end. Reading stops at the first missing or non-finite value.
static void hinge_values(const char *command, int number, const char *args, int param, int flag)
{
    if (!built_fighter_ok(command, number))
        return;
    double values[NUM_JOINTS];
    for (double &v : values)
        v = NAN;
    read_double_list(args, NUM_JOINTS, values);
    for (int j = 0; j < NUM_JOINTS && !std::isnan(values[j]); j++)
        if (!std::isfinite(values[j]) || fabs(values[j]) > SANE_FORCE ||
            (param == dParamFMax && values[j] < 0)) {
            refuse_input(command, args);
            return;
        }
    double *received =
        param == dParamVel ? received_hinge_vel[number] : received_hinge_fmax[number];
    for (int j = 0; j < NUM_JOINTS && std::isfinite(values[j]); j++) {
        received[j] = values[j];
        if (players[number].hinge[j])
            dJointSetHingeParam(players[number].hinge[j], param, values[j]);
    }
    players[number].flags |= flag;
}

int net_cmd_hingevel(int number, const char *args)
{
    hinge_values("HINGEVEL", number, args, dParamVel, RECEIVED_HINGEVEL);
    return 0;
}

int net_cmd_hingefmax(int number, const char *args)
{
    hinge_values("HINGEFMAX", number, args, dParamFMax, RECEIVED_HINGEFMAX);
    return 0;
}

int net_cmd_world(int, const char *)
{
    match_state.ready_bits |= WORLD_READY_BITS;
    return 0;
}

int net_cmd_p_env(int, const char *tail)
{
    int groups = env_tail_groups(tail);
    if (groups > NUM_ENV_OBJECTS)
        groups = NUM_ENV_OBJECTS;
    for (int g = 0; g < groups; g++) {
        double pos[3], quat[4], ang[3], lin[3];
        unpack_env_tail(env_tail_group(tail, g), pos, quat, ang, lin);
        if (!sane_env_state(pos, quat, ang, lin)) {
            refuse_input("P_ENV", "packed object state");
            return 0;
        }
    }
    for (int g = 0; g < groups; g++)
        unpack_env_tail(env_tail_group(tail, g), received_env.position[g],
                        received_env.quaternion[g], received_env.angular_velocity[g],
                        received_env.linear_velocity[g]);
    received_env.count = groups;
    received_env.received = 1;
    return 0;
}

// ---- breaks ---------------------------------------------------------------------------------

// Online, a break is a timed break that the frame step carries out at its
// frame (apply_timed_breaks).
static void set_timed_break(int player, int joint, int kind, int frame)
{
    players[player].timed_breaks[joint].kind = kind;
    players[player].timed_breaks[joint].frame = frame;
}

static void break_list(const char *command, int number, const char *args, int kind, int flag)
{
    if (!fighter_ok(command, number))
        return;
    int joints[NUM_JOINTS];
    int n = read_int_list(args, NUM_JOINTS, joints);
    for (int i = 0; i < n; i++)
        if (!joint_ok(command, joints[i]))
            return;
    // Due at once: the next live frame breaks them.
    for (int i = 0; i < n; i++)
        set_timed_break(number, joints[i], kind, match_state.match_frame);
    players[number].flags |= flag;
}

int net_cmd_crush(int number, const char *args)
{
    break_list("CRUSH", number, args, JOINT_DISMEMBERED, RECEIVED_CRUSH);
    return 0;
}

int net_cmd_fract(int number, const char *args)
{
    break_list("FRACT", number, args, JOINT_FRACTURED, RECEIVED_FRACT);
    return 0;
}

// "frame joint": the joint breaks when the match reaches the frame.
static void timed_break(const char *command, int number, const char *args, int kind)
{
    if (!fighter_ok(command, number))
        return;
    int frame = 0, joint = -1;
    if (sscanf(args, "%i %i", &frame, &joint) != 2) {
        fprintf(stderr, "%s needs a frame and a joint\n", command);
        return;
    }
    if (!joint_ok(command, joint))
        return;
    set_timed_break(number, joint, kind, frame);
}

int net_cmd_break(int number, const char *args)
{
    timed_break("BREAK", number, args, JOINT_DISMEMBERED);
    return 0;
}

int net_cmd_discl(int number, const char *args)
{
    timed_break("DISCL", number, args, JOINT_FRACTURED);
    return 0;
}

// ---- moves ------------------------------------------------------------------------------------

static int grip_value_ok(const char *command, int v)
{
    if (v >= GRIP_NONE && v <= GRIP_RELEASE)
        return 1;
    fprintf(stderr, "%s grip %d out of range\n", command, v);
    return 0;
}

// "left right": 1 when both were read and are grip values.
static int read_grips(const char *command, const char *args, int *left, int *right)
{
    if (sscanf(args, "%i %i", left, right) != 2) {
        fprintf(stderr, "%s needs two grip values\n", command);
        return 0;
    }
    return grip_value_ok(command, *left) && grip_value_ok(command, *right);
}

int net_cmd_grip(int number, const char *args)
{
    if (number == -1 || !fighter_ok("GRIP", number))
        return 0;
    int left = 0, right = 0;
    if (!read_grips("GRIP", args, &left, &right))
        return 0;
    players[number].grip_req_l = left;
    players[number].grip_req_r = right;
    return 0;
}

int net_cmd_b_grip(int number, const char *args)
{
    if (!fighter_ok("B_GRIP", number))
        return 0;
    int left = 0, right = 0;
    if (!read_grips("B_GRIP", args, &left, &right))
        return 0;
    int slot = net_batch.slot[number];
    net_batch.grips[number][slot][0] = left;
    net_batch.grips[number][slot][1] = right;
    return 0;
}

// Up to 20 "joint state" pairs; 0 (and nothing kept) when a joint is out of range.
static int read_joint_pairs(const char *command, const char *args, int (*pairs)[2], int *count)
{
    *count = parse_int_pairs(args, NUM_JOINTS, pairs);
    for (int i = 0; i < *count; i++)
        if (!joint_ok(command, pairs[i][0]))
            return 0;
    return 1;
}

int net_cmd_joint(int number, const char *args)
{
    if (!built_fighter_ok("JOINT", number))
        return 0;
    int pairs[NUM_JOINTS][2];
    int n = 0;
    if (!read_joint_pairs("JOINT", args, pairs, &n))
        return 0;
    for (int i = 0; i < n; i++)
        set_commanded_joint_state(number, pairs[i][0], pairs[i][1]);
    players[number].ready = 1;
    return 0;
}

int net_cmd_b_joint(int number, const char *args)
{
    if (!fighter_ok("B_JOINT", number))
        return 0;
    int pairs[NUM_JOINTS][2];
    int n = 0;
    if (!read_joint_pairs("B_JOINT", args, pairs, &n))
        return 0;
    int slot = net_batch.slot[number];
    for (int i = 0; i < n; i++)
        net_batch.joints[number][slot][pairs[i][0]] = pairs[i][1];
    return 0;
}

int net_cmd_batch(int number, const char *args)
{
    if (!fighter_ok("BATCH", number))
        return 0;
    int v = 0;
    char error = 0;
    read_int_token(args, &v, &error);
    if (error) {
        fprintf(stderr, "BATCH needs a value\n");
        return 0;
    }
    if (v == BATCH_DONE) {
        players[number].ready = 1;
        return 0;
    }
    if (v < 0 || v >= NET_BATCH_SLOTS) {
        fprintf(stderr, "BATCH slot %d out of range\n", v);
        return 0;
    }
    net_batch.slot[number] = v;
    return 0;
}

int net_cmd_grab(int number, const char *args)
{
    if (!fighter_ok("GRAB", number))
        return 0;
    read_grab_line(args, net_grabs[number]);
    return 0;
}

// Two (hand body, closed) pairs; the hand geoms change size at once.
int net_cmd_size(int number, const char *args)
{
    if (!built_fighter_ok("SIZE", number))
        return 0;
    int v[4] = {0, 0, 0, 0};
    int n = sscanf(args, "%i %i %i %i", &v[0], &v[1], &v[2], &v[3]);
    int pairs = n < 0 ? 0 : n / 2;
    for (int i = 0; i < pairs; i++) {
        int body = v[2 * i];
        if (body != LEFT_HAND_BODY && body != RIGHT_HAND_BODY) {
            fprintf(stderr, "SIZE body %d is not a hand\n", body);
            return 0;
        }
    }
    for (int i = 0; i < pairs; i++)
        set_hand_geom_size(number, v[2 * i], v[2 * i + 1] != 0);
    return 0;
}

// ---- customisation --------------------------------------------------------------------------

// The customisation records exist for every fighter slot, also for one the
// next game brings: the slot is checked, not the match. The keywords that a
// replay carries too are read as the replay's lines are.
static int customs(const char *keyword, int number, const char *args)
{
    if (number < 0 || number >= MAX_FIGHTERS) {
        fprintf(stderr, "%s player %d out of range\n", keyword, number);
        return 0;
    }
    if (core_outward.parse_customs_line)
        core_outward.parse_customs_line(keyword, number, args);
    return 0;
}

int net_cmd_bodcol(int number, const char *args) { return replay_cmd_bodcol(number, args); }
int net_cmd_gradcol1(int number, const char *args) { return replay_cmd_gradcol1(number, args); }
int net_cmd_gradcol2(int number, const char *args) { return replay_cmd_gradcol2(number, args); }
int net_cmd_trailcol(int number, const char *args) { return replay_cmd_trailcol(number, args); }
int net_cmd_item(int number, const char *args) { return replay_cmd_item(number, args); }
int net_cmd_decal(int number, const char *args) { return replay_cmd_decal(number, args); }
int net_cmd_text(int number, const char *args) { return replay_cmd_text(number, args); }
int net_cmd_jforce(int number, const char *args) { return customs("FORCOL", number, args); }
int net_cmd_jrelax(int number, const char *args) { return customs("RELCOL", number, args); }
int net_cmd_jreplay(int number, const char *args) { return customs("REPCOL", number, args); }
int net_cmd_beltname(int number, const char *args) { return customs("BELTNAME", number, args); }

int net_cmd_ghost(int, const char *args)
{
    int a = 0, b = 0, c = 0;
    if (sscanf(args, "%i %i %i", &a, &b, &c) != 3) {
        fprintf(stderr, "GHOST needs three values\n");
        return 0;
    }
    if (core_outward.set_ghost_equipment)
        core_outward.set_ghost_equipment(a, b, c);
    return 0;
}

// ---- console and connection -------------------------------------------------------------------

int net_cmd_run(int, const char *args)
{
    char buffer[CMD_LINE_MAX + 1];
    char *text = trimmed(args, buffer, sizeof buffer);
    // The line comes from the server: the interpreter gets it marked so.
    if (core_outward.run_console_command)
        core_outward.run_console_command(text, 1);
    return 0;
}

int net_cmd_echo(int, const char *args)
{
    enum { ECHO_LENGTH = 1500 };
    fprintf(stderr, "got echo '%s'\n", args);
    size_t len = strnlen(args, ECHO_LENGTH + 1);
    if (len > ECHO_LENGTH && args[ECHO_LENGTH - 1] == 'A' && args[ECHO_LENGTH] == '\n')
        echo_message("echo test succeded", MSG_SERVER);
    else
        echo_message("echo test failed\n", MSG_INGAME);
    return 0;
}

static void close_connection()
{
    if (core_outward.close_connection)
        core_outward.close_connection();
}

int net_cmd_zylomach(int number, const char *)
{
    if (number == ZYLOMACH_PROTOCOL)
        return 0;
    echo_message("Wrong version. Please download the newest version of zylomach from its web site.",
                 MSG_INGAME);
    close_connection();
    return 0;
}

// The host a redirect names must be the current server's or one that
// servers.txt lists, compared as the connect will look it up.
int server_redirect_allowed(const char *command, const char *address)
{
    HostPort wanted, current;
    char current_text[HOST_TEXT_BYTES + 16];
    const char *why = "not this server's host nor one in servers.txt";
    if (parse_host_port(address, 0, &wanted) != HOST_PARSED) {
        why = "not a host name, IPv4 address or [IPv6]:port";
    } else {
        if (core_outward.server_address_text &&
            core_outward.server_address_text(current_text, sizeof current_text) == 0) {
            current_text[sizeof current_text - 1] = '\0';
            if (parse_host_port(current_text, 0, &current) == HOST_PARSED &&
                strcasecmp(wanted.host, current.host) == 0)
                return 1;
        }
        if (core_outward.listed_server_host && core_outward.listed_server_host(wanted.host))
            return 1;
    }
    // The login would go to a host the player never chose.
    char message[400];
    snprintf(message, sizeof message, "Refused %s to %.200s: %s", command, address, why);
    fprintf(stderr, "%s\n", message);
    echo_message(message, MSG_SERVER);
    return 0;
}

// Without an address: another player came in. With one, the client is sent
// to that server.
int net_cmd_connect(int, const char *args)
{
    char buffer[CMD_LINE_MAX + 1];
    char *address = trimmed(args, buffer, sizeof buffer);
    if (address[0] == '\0') {
        echo_message("Player connected", MSG_SERVER);
        return 0;
    }
    if (core_outward.connect_to_server && server_redirect_allowed("CONNECT", address))
        core_outward.connect_to_server(address);
    return 0;
}

int net_cmd_disconnect(int, const char *args)
{
    char buffer[CMD_LINE_MAX + 1];
    echo_message(trimmed(args, buffer, sizeof buffer), MSG_SERVER);
    close_connection();
    return 0;
}

int net_cmd_kick(int, const char *args)
{
    char buffer[CMD_LINE_MAX + 1];
    echo_message(trimmed(args, buffer, sizeof buffer), MSG_SERVER);
    close_connection();
    return 0;
}

int net_cmd_info(int, const char *) { return 0; }

int net_cmd_forward(int, const char *args)
{
    char buffer[CMD_LINE_MAX + 1];
    char *address = trimmed(args, buffer, sizeof buffer);
    if (address[0] == '\0' || (!core_outward.connect_to_server && !core_outward.forward_to_server))
        return 0;
    if (!server_redirect_allowed("FORWARD", address))
        return 0;
    char previous[256] = "";
    int have_previous = core_outward.server_address_text &&
                        core_outward.server_address_text(previous, sizeof previous) == 0 &&
                        previous[0] != '\0';
    previous[sizeof previous - 1] = '\0';
    // The client's own form also goes back when the connect fails later.
    if (core_outward.forward_to_server) {
        core_outward.forward_to_server(address, have_previous ? previous : "");
        return 0;
    }
    if (core_outward.connect_to_server(address) != 0 && have_previous)
        core_outward.connect_to_server(previous);
    return 0;
}

int net_cmd_announce(int number, const char *args)
{
    char buffer[CMD_LINE_MAX + 1];
    if (core_outward.hook_announce)
        core_outward.hook_announce(number, trimmed(args, buffer, sizeof buffer));
    return 0;
}

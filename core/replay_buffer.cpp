#include "core/replay_buffer.h"

#include "core/motors.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/blood.h"
#include "core/bout.h"
#include "core/outward.h"
#include "core/breaks.h"
#include "core/rules.h"
#include "core/sane.h"
#include "core/text.h"
#include "core/world.h"

ReceivedEnvState received_env;
MatchResultExtra match_result_extra;
char replay_author[256];
char fight_name[256];

static ReplayFrame *replay_chunks[REPLAY_CHUNKS];
static ReplayFrame turn_start_snapshot;

static_assert(MATCHFRAMES_MAX + 2 <= REPLAY_FRAMES,
              "the buffer holds a record for every frame of the longest match");

// ---- the buffer ---------------------------------------------------------------

static ReplayFrame *alloc_chunk(int c)
{
    if (!replay_chunks[c])
        replay_chunks[c] = (ReplayFrame *)calloc(REPLAY_CHUNK_FRAMES, sizeof(ReplayFrame));
    return replay_chunks[c];
}

int alloc_replay_buffer()
{
    return alloc_chunk(0) ? 0 : 1;
}

void free_replay_buffer()
{
    for (int c = 0; c < REPLAY_CHUNKS; c++) {
        free(replay_chunks[c]);
        replay_chunks[c] = nullptr;
    }
    set_record_pointer(nullptr);
}

ReplayFrame *get_replay_frame(int i)
{
    if (!replay_chunks[0] || i < 0 || i >= REPLAY_FRAMES)
        return nullptr;
    ReplayFrame *chunk = alloc_chunk(i / REPLAY_CHUNK_FRAMES);
    if (!chunk) {
        fprintf(stderr, "Unable to allocate replay records from %d\n",
                i - i % REPLAY_CHUNK_FRAMES);
        return nullptr;
    }
    return &chunk[i % REPLAY_CHUNK_FRAMES];
}

int replay_chunks_allocated()
{
    int n = 0;
    for (int c = 0; c < REPLAY_CHUNKS; c++)
        if (replay_chunks[c])
            n++;
    return n;
}

ReplayFrame *get_turn_start_snapshot() { return &turn_start_snapshot; }

void clear_replay_from(int i)
{
    if (i < 0)
        i = 0;
    if (i > REPLAY_FRAMES)
        i = REPLAY_FRAMES;
    for (int c = 0; c < REPLAY_CHUNKS; c++) {
        ReplayFrame *chunk = replay_chunks[c];
        if (!chunk)
            continue;
        int first = c * REPLAY_CHUNK_FRAMES;
        if (c > 0 && first >= i) {
            // Nothing of this chunk is kept: its memory goes back.
            ReplayFrame *held = get_record_pointer();
            if (held >= chunk && held < chunk + REPLAY_CHUNK_FRAMES)
                set_record_pointer(nullptr);
            free(chunk);
            replay_chunks[c] = nullptr;
        } else if (first + REPLAY_CHUNK_FRAMES > i) {
            int from = i > first ? i - first : 0;
            memset(&chunk[from], 0, (size_t)(REPLAY_CHUNK_FRAMES - from) * sizeof(ReplayFrame));
        }
    }
    match_state.frames_recorded = i;
    match_state.replay_frame = i;
}

int replay_fighter_count()
{
    int n = match_state.num_players;
    if (n > fighters_built)
        n = fighters_built;
    if (n > REPLAY_SLOTS)
        n = REPLAY_SLOTS;
    return n < 0 ? 0 : n;
}

// ---- moving environment objects ------------------------------------------------

static dBodyID moving_slot_body(int i)
{
    const EnvObject *o = &current_world.objects[i];
    if (!o->used || (o->flags & ENV_STATIC) || !env_bodies[i])
        return nullptr;
    return env_bodies[i]->body;
}

dBodyID moving_env_body(int k)
{
    if (k < 0)
        return nullptr;
    for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
        dBodyID b = moving_slot_body(i);
        if (b && k-- == 0)
            return b;
    }
    return nullptr;
}

int moving_env_count()
{
    int n = 0;
    for (int i = 0; i < NUM_ENV_OBJECTS; i++)
        if (moving_slot_body(i))
            n++;
    return n;
}

// ODE normalises a quaternion that is set, and normalising an already
// normalised quaternion can move its last bits; the world would then not be
// put back exactly where it was recorded. When the plain value does not come
// back unchanged, inputs a few rounding steps away are tried until one
// normalises to exactly the recorded value (in practice the first few do).
static int same_quaternion(dBodyID b, const double *want)
{
    const dReal *q = dBodyGetQuaternion(b);
    return q[0] == want[0] && q[1] == want[1] && q[2] == want[2] && q[3] == want[3];
}

static void set_body_quaternion_exact(dBodyID b, const double *want)
{
    if (!sane_quaternion(want))
        return;   // checked where it came in; the physics would abort on it
    if (same_quaternion(b, want))
        return;   // already there: setting it again could only move it
    // Each component at most two rounding steps either way.
    static const int steps[5] = {0, -1, 1, -2, 2};
    for (int i = 0; i < 625; i++) {
        dQuaternion t;
        int code = i;
        for (int k = 0; k < 4; k++, code /= 5) {
            t[k] = want[k];
            for (int n = steps[code % 5]; n != 0; n += n > 0 ? -1 : 1)
                t[k] = nextafter(t[k], n > 0 ? 2.0 : -2.0);
        }
        dBodySetQuaternion(b, t);
        if (same_quaternion(b, want))
            return;
    }
    dQuaternion q = {want[0], want[1], want[2], want[3]};
    dBodySetQuaternion(b, q);
}

static void set_body_state(dBodyID b, const double *pos, const double *quat,
                           const double *angular, const double *linear)
{
    if (!b)
        return;
    if (pos)
        dBodySetPosition(b, pos[0], pos[1], pos[2]);
    if (quat)
        set_body_quaternion_exact(b, quat);
    if (angular)
        dBodySetAngularVel(b, angular[0], angular[1], angular[2]);
    if (linear)
        dBodySetLinearVel(b, linear[0], linear[1], linear[2]);
}

// ---- recording -------------------------------------------------------------------

// A replay file holds body states as decimal text (positions to 8 decimals,
// orientations and speeds of fighters to 6, objects to 8). A recorded frame
// keeps exactly the values its file will hold, and the live bodies go on
// from those values, so a fight replayed from its file runs the same course
// as the fight that was played, bit for bit.
static double as_written(double v, int decimals)
{
    char text[512];   // the widest double in fixed notation fits
    snprintf(text, sizeof text, "%.*f", decimals, v);
    return strtod(text, nullptr);
}

static void round_as_written(double *v, int n, int decimals)
{
    for (int k = 0; k < n; k++)
        v[k] = as_written(v[k], decimals);
}

int record_replay_frame(int force, ReplayFrame *r)
{
    if (!r)
        return 0;
    // Every flag is recomputed below: a flag left from an earlier use of the
    // record would replay an emote or a break that did not happen here.
    for (int p = 0; p < REPLAY_SLOTS; p++) {
        r->change_counts[p] = force ? 1 : 0;
        r->flags[p] = 0;
    }
    if (!force)
        r->objects_valid = 0;
    int total = force ? 1 : 0;

    int n = replay_fighter_count();
    for (int p = 0; p < n; p++) {
        PlayerState *pl = &players[p];
        int32_t &changes = r->change_counts[p];
        r->left_grips[p] = pl->grip_req_l;
        r->right_grips[p] = pl->grip_req_r;
        if (pl->grip_req_l) {
            changes++;
            total++;
        }
        if (pl->grip_req_r) {
            changes++;
            total++;
        }
        if (pl->emote_pending) {
            n_strncpyz(r->emotes[p], pl->emote, EMOTE_CHARS + 1);
            r->flags[p] |= RF_EMOTE;
            changes++;
            total++;
            pl->emote_pending = 0;
        }
        for (int j = 0; j < NUM_JOINTS; j++) {
            int state = pl->joint_state[j];
            r->joint_states[p][j] = state;
            if (state) {
                changes++;
                total++;
            }
            JointRuntime *jr = &pl->joints[j];
            r->breaks[p][j] = 0;
            if (jr->replay_pending == JOINT_DISMEMBERED || jr->replay_pending == JOINT_FRACTURED) {
                r->breaks[p][j] = jr->replay_pending;
                r->flags[p] |= jr->replay_pending == JOINT_DISMEMBERED ? RF_CRUSH : RF_FRACT;
                changes++;
                total++;
                jr->replay_pending = 0;
            }
        }
        for (int b = 0; b < NUM_BODIES; b++) {
            dBodyID body = pl->body[b];
            if (body) {
                const dReal *pos = dBodyGetPosition(body);
                const dReal *q = dBodyGetQuaternion(body);
                const dReal *l = dBodyGetLinearVel(body);
                const dReal *w = dBodyGetAngularVel(body);
                for (int k = 0; k < 3; k++) {
                    r->positions[p][b][k] = pos[k];
                    r->linear_velocities[p][b][k] = l[k];
                    r->angular_velocities[p][b][k] = w[k];
                }
                for (int k = 0; k < 4; k++)
                    r->quaternions[p][b][k] = q[k];
            }
            r->body_events[p][b] = pl->body_events[b];
            if (pl->body_events[b]) {
                if (pl->body_events[b] == 1)
                    r->flags[p] |= RF_BODY_EVENT;
                changes++;
                total++;
                pl->body_events[b] = 0;
            }
        }
        r->flags[p] |= RF_POS | RF_QAT | RF_LINVEL | RF_ANGVEL;
    }

    if (total) {
        // The frame is kept: it and the live bodies take the written values.
        // A fighter without changes in this frame is not written, so it
        // keeps its bodies as they are, here and when the frame is played.
        for (int p = 0; p < n; p++) {
            if (r->change_counts[p] == 0) {
                r->flags[p] &= ~(RF_POS | RF_QAT | RF_LINVEL | RF_ANGVEL);
                continue;
            }
            for (int b = 0; b < NUM_BODIES; b++) {
                dBodyID body = players[p].body[b];
                if (!body)
                    continue;
                round_as_written(r->positions[p][b], 3, 8);
                round_as_written(r->quaternions[p][b], 4, 6);
                round_as_written(r->linear_velocities[p][b], 3, 6);
                round_as_written(r->angular_velocities[p][b], 3, 6);
                set_body_state(body, r->positions[p][b], r->quaternions[p][b],
                               r->angular_velocities[p][b], r->linear_velocities[p][b]);
            }
        }
        int k = 0;
        for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
            dBodyID b = moving_slot_body(i);
            if (!b)
                continue;
            const dReal *pos = dBodyGetPosition(b);
            const dReal *q = dBodyGetQuaternion(b);
            const dReal *w = dBodyGetAngularVel(b);
            const dReal *l = dBodyGetLinearVel(b);
            for (int c = 0; c < 3; c++) {
                r->object_positions[k][c] = pos[c];
                r->object_angular_velocities[k][c] = w[c];
                r->object_linear_velocities[k][c] = l[c];
            }
            for (int c = 0; c < 4; c++)
                r->object_quaternions[k][c] = q[c];
            round_as_written(r->object_positions[k], 3, 8);
            round_as_written(r->object_quaternions[k], 4, 8);
            round_as_written(r->object_angular_velocities[k], 3, 8);
            round_as_written(r->object_linear_velocities[k], 3, 8);
            set_body_state(b, r->object_positions[k], r->object_quaternions[k],
                           r->object_angular_velocities[k], r->object_linear_velocities[k]);
            k++;
        }
        r->objects_valid = 1;
        for (int p = 0; p < REPLAY_SLOTS && p < MAX_FIGHTERS; p++) {
            r->injuries[p] = players[p].injury;
            r->scores[p] = players[p].score;
        }
        r->frame = match_state.match_frame;
    }
    return total;
}

// ---- playback --------------------------------------------------------------------

static void apply_joints_and_breaks(int p, const ReplayFrame *r)
{
    PlayerState *pl = &players[p];
    for (int j = 0; j < NUM_JOINTS; j++) {
        pl->joint_state[j] = r->joint_states[p][j];
        int kind = r->breaks[p][j];
        if (pl->joints[j].broken == JOINT_INTACT &&
            (kind == JOINT_DISMEMBERED || kind == JOINT_FRACTURED))
            break_joint(p, j, kind);
    }
}

static void apply_bodies(int p, const ReplayFrame *r)
{
    int f = r->flags[p];
    for (int b = 0; b < NUM_BODIES; b++)
        set_body_state(players[p].body[b], (f & RF_POS) ? r->positions[p][b] : nullptr,
                       (f & RF_QAT) ? r->quaternions[p][b] : nullptr,
                       (f & RF_ANGVEL) ? r->angular_velocities[p][b] : nullptr,
                       (f & RF_LINVEL) ? r->linear_velocities[p][b] : nullptr);
}

int play_replay_frame(int f)
{
    ReplayFrame *r = get_replay_frame(match_state.replay_frame);
    if (!r || r->frame != f)
        return 1;
    int n = replay_fighter_count();
    for (int p = 0; p < n; p++) {
        PlayerState *pl = &players[p];
        pl->grip_req_l = r->left_grips[p];
        pl->grip_req_r = r->right_grips[p];
        if (r->flags[p] & RF_EMOTE) {
            n_strncpyz(pl->emote, r->emotes[p], EMOTE_CHARS + 1);
            pl->emote_duration = 5000;
            pl->emote_end = frame_tick + 5000;
            pl->emote_pending = 1;
        }
        apply_joints_and_breaks(p, r);
        apply_bodies(p, r);
    }
    if (r->objects_valid) {
        for (int k = 0; k < NUM_ENV_OBJECTS; k++) {
            dBodyID b = moving_env_body(k);
            if (!b)
                break;
            set_body_state(b, r->object_positions[k], r->object_quaternions[k],
                           r->object_angular_velocities[k], r->object_linear_velocities[k]);
        }
    }
    match_state.replay_frame += 1;
    return 0;
}

void apply_frame_to_player(int p, const ReplayFrame *r)
{
    if (!r || p < 0 || p >= fighters_built || p >= REPLAY_SLOTS)
        return;
    PlayerState *pl = &players[p];
    pl->grip_req_l = r->left_grips[p];
    pl->grip_req_r = r->right_grips[p];
    apply_joints_and_breaks(p, r);
    for (int j = 0; j < NUM_JOINTS; j++) {
        dJointID h = pl->hinge[j];
        if (!h)
            continue;
        if (r->flags[p] & RF_HINGEVEL)
            dJointSetHingeParam(h, dParamVel, r->hinge_velocities[p][j]);
        if (r->flags[p] & RF_HINGEFMAX)
            dJointSetHingeParam(h, dParamFMax, r->hinge_fmax[p][j]);
    }
    apply_bodies(p, r);
}

// ---- glue ------------------------------------------------------------------------

void clear_turn_changes(int player)
{
    if (player < 0 || player >= MAX_PLAYERS)
        return;
    players[player].changes = 0;
    players[player].sent = 0;
}

void reset_match_state()
{
    memset(&match_state, 0, sizeof match_state);
    match_state.num_players = 2;
    match_state.game_paused = 1;
    match_state.ghost_progress = 1.0f;
    match_state.ghost_length = 100;
    // Zeroed lists would name player 0 as winner and loser.
    for (int i = 0; i < 4; i++) {
        match_state.winners[i] = -1;
        match_state.losers[i] = -1;
    }
    own_player_index = -1;
    replay_mode = REPLAY_CYCLE;
    own_id = -1;
}

void clear_bout_list() { memset(bout_list, 0, sizeof bout_list); }

void set_replay_author(const char *text) { n_strncpyz(replay_author, text ? text : "", 256); }

void set_fight_name(const char *text) { n_strncpyz(fight_name, text ? text : "", 256); }

void set_emote(int player, const char *text, int seconds)
{
    if (player < 0 || player >= MAX_PLAYERS)
        return;
    PlayerState *pl = &players[player];
    n_strncpyz(pl->emote, text ? text : "", EMOTE_CHARS + 1);
    pl->emote_duration = seconds * 1000;
    pl->emote_end = frame_tick + pl->emote_duration;
    pl->emote_pending = 1;
}

int set_player_name(int player, const char *text)
{
    if (player < 0 || player >= MAX_PLAYERS)
        return 1;
    PlayerState *pl = &players[player];
    char name[32];
    n_strncpyz(name, text ? text : "", sizeof name);
    if (strcmp(pl->name, name) == 0)
        return 1;
    memcpy(pl->name, name, sizeof name);
    char tag[32];
    split_name_tag_lower(pl->name, sizeof pl->name, tag, pl->name_lower);
    return 0;
}

void run_script(const char *text)
{
    if (core_outward.run_script && text)
        core_outward.run_script(text);
}

int get_joint_state(int player, int joint) { return current_joint_state(player, joint); }

int set_player_position(int player, double x, double y, double z)
{
    if (player < 0 || player >= fighters_built || player >= MAX_PLAYERS || !players[player].body[0])
        return 1;
    PlayerState *pl = &players[player];
    const dReal *p0 = dBodyGetPosition(pl->body[0]);
    double d[3] = {x - p0[0], y - p0[1], z - p0[2]};
    for (int b = 0; b < NUM_BODIES; b++) {
        if (!pl->body[b])
            continue;
        const dReal *p = dBodyGetPosition(pl->body[b]);
        dBodySetPosition(pl->body[b], p[0] + d[0], p[1] + d[1], p[2] + d[2]);
    }
    return 0;
}

void clamp_body_velocities()
{
    damp_blood_drops();
    for (int p = 0; p < fighters_built && p < MAX_PLAYERS; p++) {
        if (players[p].no_input)
            continue;
        for (int b = 0; b < NUM_BODIES; b++) {
            dBodyID body = players[p].body[b];
            // A body held still (a fighter during a ghost run) is not damped:
            // the force would pile up frame after frame and hit it when the
            // turn starts, so a replay, which has no ghost runs, would part
            // from the match as it was played.
            if (!body || !dBodyIsEnabled(body))
                continue;
            const dReal *wv = dBodyGetAngularVel(body);
            const dReal *lv = dBodyGetLinearVel(body);
            dReal w[3], l[3];
            int clamped = 0;
            for (int k = 0; k < 3; k++) {
                w[k] = wv[k];
                if (w[k] > 150) {
                    w[k] = 150;
                    clamped = 1;
                } else if (w[k] < -150) {
                    w[k] = -150;
                    clamped = 1;
                }
                // A runaway linear speed is damped as if it were 10; replays
                // rely on this exact rule.
                l[k] = lv[k];
                if (l[k] > 100)
                    l[k] = 10;
                else if (l[k] < -100)
                    l[k] = -10;
            }
            if (clamped) {
                dBodySetTorque(body, 0, 0, 0);
                dBodySetAngularVel(body, w[0], w[1], w[2]);
            } else {
                damp_body(body, l, w);
            }
        }
    }
}

void apply_received_player_state(int player)
{
    if (player < 0 || player >= fighters_built || player >= MAX_PLAYERS)
        return;
    PlayerState *pl = &players[player];
    int f = pl->flags;
    for (int b = 0; b < NUM_BODIES; b++) {
        const BodyStateRecord *s = &pl->saved_state[b];
        set_body_state(pl->body[b], (f & RF_POS) ? s->position : nullptr,
                       (f & RF_QAT) ? s->quaternion : nullptr,
                       (f & RF_ANGVEL) ? s->angular_vel : nullptr,
                       (f & RF_LINVEL) ? s->linear_vel : nullptr);
    }
    pl->flags = 0;
}

void apply_received_env_state()
{
    if (!received_env.received)
        return;
    for (int k = 0; k < received_env.count && k < NUM_ENV_OBJECTS; k++) {
        dBodyID b = moving_env_body(k);
        if (!b)
            break;
        set_body_state(b, received_env.position[k], received_env.quaternion[k],
                       received_env.angular_velocity[k], received_env.linear_velocity[k]);
    }
    received_env.received = 0;
}

void apply_match_result(const MatchResultInput *in)
{
    if (!in)
        return;
    MatchResultExtra *x = &match_result_extra;
    x->winner = in->winner;
    x->kind = in->kind;
    x->last = in->last;
    match_state.result_code = in->winner;
    match_result.code = in->kind;
    for (int p = 0; p < 4; p++) {
        x->bout_index[p] = in->bout_index[p];
        match_result.winners[p] = in->bout_index[p];
        match_result.losers[p] = in->losers[p];
        x->further[p][0] = in->further[p][0];
        x->further[p][1] = in->further[p][1];
        for (int k = 0; k < 3; k++)
            x->results[p][k] = in->results[p][k];
        match_result.scores[p] = in->scores ? in->scores[p] : players[p].score;
    }
    match_result.valid = 1;
    for (int p = 0; p < 4; p++) {
        int b = in->bout_index[p];
        if (b >= 0 && b < MAX_BOUTS) {
            x->fighters[p] = bout_list[b];
            x->fighter_empty[p] = 0;
        } else {
            memset(&x->fighters[p], 0, sizeof x->fighters[p]);
            x->fighter_empty[p] = 1;
        }
    }
    if (match_state.num_players == 2 && in->kind == 2 && !players[0].out && !players[1].out) {
        int loser = in->losers[0];
        if (loser == 0 || loser == 1) {   // a list naming neither slot marks nobody
            players[loser].flags |= PLAYER_LOST;
            match_state.ready_bits |= PLAYER_LOST;
            x->loss_value[loser] = in->winner;
        }
    }
}

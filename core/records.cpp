#include "core/records.h"

#include <cmath>
#include <cstring>

#include "core/bout.h"
#include "core/rules.h"

const char program_version[] = "3.24";

PlayerState players[MAX_PLAYERS];
MatchState match_state;
GameRules current_rules;
WorldDescription default_world;
WorldDescription mod_world;
WorldDescription current_world;

BoutEntry bout_list[MAX_BOUTS];
BoutEntry bout_staging[MAX_BOUTS];
MatchResult match_result;
int32_t queue_position;

int32_t selected_player = -1;
int32_t selected_joint = -1;
int32_t selected_body = -1;
int32_t replay_mode = REPLAY_CYCLE;
int32_t record_mode;
int32_t num_bouts;
int32_t own_player_index = -1;
int32_t game_type;
int32_t own_id = -1;
int32_t turn_timeout;
int32_t frame_tick;
int32_t fighters_built;
int32_t ghost_restart_pending;

// ---- built-in fighter -----------------------------------------------------

#define V3(a, b, c) {a, b, c}
#define BODY(i, n, shape, px, py, pz, sx, sy, sz, ax, ay, az, flags, ground, r, g, b) \
    {i, n, shape, 0, V3(px, py, pz), V3(0, 0, 0), V3(sx, sy, sz), V3(ax, ay, az), \
     flags, ground, V3(r, g, b), V3(0, 0, 0)}

const BodyDef builtin_body_table[BODY_TABLE_ROWS] = {
    BODY(0, "head", SHAPE_SPHERE, 1, 0.85f, 2.65f, 0.2f, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1),
    BODY(1, "breast", SHAPE_BOX, 1, 0.9f, 2.2f, 0.2f, 0.1f, 0.3f, 0, 0, 0, 0, 0, 1, 1, 1),
    BODY(2, "chest", SHAPE_BOX, 1, 0.9f, 1.95f, 0.5f, 0.15f, 0.2f, 0, 0, 0, 0, 0, 1, 1, 1),
    BODY(3, "stomach", SHAPE_BOX, 1, 0.95f, 1.75f, 0.35f, 0.15f, 0.2f, 0, 0, 0, 0, 0, 1, 1, 1),
    BODY(4, "groin", SHAPE_BOX, 1, 1, 1.55f, 0.2f, 0.15f, 0.2f, 0, 0, 0, 0, 0, 1, 1, 1),
    BODY(5, "r_pecs", SHAPE_BOX, 0.75f, 0.9f, 2.15f, 0.2f, 0.15f, 0.2f, 0, 0, 0, 0, 0, 1, 1, 1),
    BODY(6, "r_biceps", SHAPE_BOX, 0.45f, 0.9f, 2.3f, 0.4f, 0.2f, 0.2f, 0, 0, 0, 0, 0, 1, 1, 1),
    BODY(7, "r_triceps", SHAPE_BOX, 0.05f, 0.9f, 2.3f, 0.4f, 0.1f, 0.1f, 0, 0, 0, 0, 0, 1, 1, 1),
    BODY(8, "l_pecs", SHAPE_BOX, 1.25f, 0.9f, 2.15f, 0.2f, 0.15f, 0.2f, 0, 0, 0, 0, 0, 1, 1, 1),
    BODY(9, "l_biceps", SHAPE_BOX, 1.55f, 0.9f, 2.3f, 0.4f, 0.2f, 0.2f, 0, 0, 0, 0, 0, 1, 1, 1),
    BODY(10, "l_triceps", SHAPE_BOX, 1.95f, 0.9f, 2.3f, 0.4f, 0.1f, 0.1f, 0, 0, 0, 0, 0, 1, 1, 1),
    BODY(11, "r_hand", SHAPE_BOX, -0.35f, 0.85f, 2.3f, 0, 0, 0, 0.3f, 0.1f, 0.15f, BODY_HAND, 1,
         0.95f, 0.8f, 0.8f),
    BODY(12, "l_hand", SHAPE_BOX, 2.35f, 0.85f, 2.3f, 0, 0, 0, 0.3f, 0.1f, 0.15f, BODY_HAND, 1,
         0.95f, 0.8f, 0.8f),
    BODY(13, "r_butt", SHAPE_BOX, 0.8f, 1, 1.45f, 0.1f, 0.1f, 0.1f, 0, 0, 0, 0, 0, 1, 1, 1),
    BODY(14, "l_butt", SHAPE_BOX, 1.2f, 1, 1.45f, 0.1f, 0.1f, 0.1f, 0, 0, 0, 0, 0, 1, 1, 1),
    BODY(15, "r_thigh", SHAPE_CYLINDER, 0.8f, 1, 1.1f, 0.12f, 0.3f, 0, 0, 0, 0, 0, 0, 1, 1, 1),
    BODY(16, "l_thigh", SHAPE_CYLINDER, 1.2f, 1, 1.1f, 0.12f, 0.3f, 0, 0, 0, 0, 0, 0, 1, 1, 1),
    BODY(17, "l_leg", SHAPE_CYLINDER, 1.2f, 1, 0.5f, 0.13f, 0.3f, 0, 0, 0, 0, 0, 0, 1, 1, 1),
    BODY(18, "r_leg", SHAPE_CYLINDER, 0.8f, 1, 0.5f, 0.13f, 0.3f, 0, 0, 0, 0, 0, 0, 1, 1, 1),
    BODY(19, "r_foot", SHAPE_BOX, 0.8f, 0.9f, 0.1f, 0.2f, 0.5f, 0.08f, 0, 0, 0, 0, 1,
         0.95f, 0.8f, 0.8f),
    BODY(20, "l_foot", SHAPE_BOX, 1.2f, 0.9f, 0.1f, 0.2f, 0.5f, 0.08f, 0, 0, 0, 0, 1,
         0.95f, 0.8f, 0.8f),
    {21, nullptr, -1, 0, V3(0, 0, 0), V3(0, 0, 0), V3(0, 0, 0), V3(0, 0, 0), 0, 0, V3(0, 0, 0),
     V3(0, 0, 0)},
};
#undef BODY

#define AX V3(1, 0, 0)
#define AY V3(0, 1, 0)
#define AZ V3(0, 0, 1)
#define JOINT(i, n, x, y, z, axis, a, b, radius, hi, lo, str, vel, bhi, blo, group) \
    {i, n, V3(x, y, z), axis, a, b, radius, hi, lo, str, vel, bhi, blo, group, 0, V3(1, 1, 1), 0}

const JointDef builtin_joint_table[JOINT_TABLE_ROWS] = {
    JOINT(0, "neck", 1, 0.9f, 2.5f, AX, 1, 0, 0.11f, 0.5f, -0.5f, 1, 50, 2.4f, -1, 0),
    JOINT(1, "chest", 1, 0.9f, 2.05f, AZ, 1, 2, 0.18f, 1, -1, 4, 20, 1.3f, -1.3f, 1),
    JOINT(2, "lumbar", 1, 0.95f, 1.85f, AY, 2, 3, 0.16f, 0.5f, -0.5f, 3, 5, 1.8f, -1.8f, 1),
    JOINT(3, "abs", 1, 1, 1.65f, AX, 4, 3, 0.14f, 0.4f, -0.6f, 3, 5, 1.8f, -0.8f, 0),
    JOINT(4, "r_pecs", 0.85f, 0.85f, 2.2f, AZ, 5, 1, 0.18f, 1.5f, -0.7f, 3, 15, 1.5f, -1.3f, 0),
    JOINT(5, "r_shoulder", 0.65f, 0.9f, 2.3f, AY, 6, 5, 0.18f, 1.2f, -1.2f, 4, 20, 1.5f, -1.3f, 0),
    JOINT(6, "r_elbow", 0.25f, 0.9f, 2.3f, AZ, 7, 6, 0.16f, 2.3f, 0.05f, 2, 40, 2.3f, -1.5f, 1),
    JOINT(7, "l_pecs", 1.15f, 0.85f, 2.2f, AZ, 1, 8, 0.18f, 1.5f, -0.7f, 3, 15, 1.5f, -1.3f, 0),
    JOINT(8, "l_shoulder", 1.35f, 0.9f, 2.3f, AY, 8, 9, 0.18f, 1.2f, -1.2f, 4, 20, 1.5f, -1.3f, 0),
    JOINT(9, "l_elbow", 1.75f, 0.9f, 2.3f, AZ, 9, 10, 0.16f, 2.3f, 0.05f, 2, 40, 2.3f, -1.5f, 1),
    JOINT(10, "r_wrist", -0.2f, 0.9f, 2.3f, AZ, 11, 7, 0.11f, 2, -0.3f, 2, 60, 2, -2, 0),
    JOINT(11, "l_wrist", 2.2f, 0.9f, 2.3f, AZ, 10, 12, 0.11f, 2, -0.3f, 2, 60, 2, -2, 0),
    JOINT(12, "r_glute", 0.9f, 1.1f, 1.51f, AY, 13, 4, 0.16f, 1.2f, -0.2f, 4, 10, 1.9f, -0.2f, 1),
    JOINT(13, "l_glute", 1.1f, 1.1f, 1.51f, AY, 4, 14, 0.16f, 1.2f, -0.2f, 4, 10, 1.9f, -0.2f, 1),
    JOINT(14, "r_hip", 0.79f, 1, 1.4f, AX, 15, 13, 0.16f, 1, -1.8f, 2, 12, 1.8f, -1.8f, 0),
    JOINT(15, "l_hip", 1.21f, 1, 1.4f, AX, 16, 14, 0.16f, 1, -1.8f, 2, 12, 1.8f, -1.8f, 0),
    JOINT(16, "r_knee", 0.8f, 1, 0.8f, AX, 18, 15, 0.14f, 2.3f, 0, 4, 40, 2.3f, -1.8f, 1),
    JOINT(17, "l_knee", 1.2f, 1, 0.8f, AX, 17, 16, 0.14f, 2.3f, 0, 4, 40, 2.3f, -1.8f, 1),
    JOINT(18, "r_ankle", 0.8f, 1.05f, 0.25f, AX, 19, 18, 0.11f, 1.1f, -0.3f, 1, 8, 2.5f, -0.7f, 0),
    JOINT(19, "l_ankle", 1.2f, 1.05f, 0.25f, AX, 20, 17, 0.11f, 1.1f, -0.3f, 1, 8, 2.5f, -0.7f, 0),
    {},
};
#undef JOINT
#undef AX
#undef AY
#undef AZ
#undef V3

// ---- name tables -------------------------------------------------------

static const char *const body_names[] = {
    "HEAD", "BREAST", "CHEST", "STOMACH", "THORAX", "R_PECS", "R_BICEPS", "R_TRICEPS",
    "L_PECS", "L_BICEPS", "L_TRICEPS", "R_HAND", "L_HAND", "R_BUTT", "L_BUTT", "R_THIGH",
    "L_THIGH", "L_LEG", "R_LEG", "R_FOOT", "L_FOOT", "BODYPARTS"};

static const char *const joint_names[] = {
    "NECK", "SPLEX", "LUMBAR", "ABS", "R_AXILLA", "R_SHOULDER", "R_ELBOW", "L_AXILLA",
    "L_SHOULDER", "L_ELBOW", "R_WRIST", "L_WRIST", "R_GLUTE", "L_GLUTE", "R_HIP", "L_HIP",
    "R_KNEE", "L_KNEE", "R_ANCHOR", "L_ANCHOR", "JOINTS"};

static const char *const motor_names[] = {
    "MOTOR_NONE", "MOTOR_FWD", "MOTOR_BACK", "MOTOR_HOLD", "MOTOR_RELAX"};

static const int8_t joint_body_map[NUM_JOINTS] = {
    0, 3, 4, 2, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 17, 19, 20};

const char *body_name(int index)
{
    if (index < 0 || index > NUM_BODIES)
        return "NONE";
    return body_names[index];
}

const char *joint_name(int index)
{
    if (index < 0 || index > NUM_JOINTS)
        return "NONE";
    return joint_names[index];
}

const char *part_name(int index)
{
    if (index == -1)
        return "GROUND";
    if (index < 0)   // below the table: no arithmetic on it (INT_MIN)
        return "NONE";
    if (index < NUM_BODIES)
        return body_names[index];
    // 21..41 name the joints (21 is the neck), 41 the count row.
    return joint_name(index - NUM_BODIES);
}

const char *motor_state_name(int state)
{
    if (state < 0 || state > MOTOR_RELAX)
        return "NO_SUCH_MOTOR_STATE";
    return motor_names[state];
}

int joint_to_body(int joint)
{
    if (joint < 0 || joint >= NUM_JOINTS)
        return -1;
    return joint_body_map[joint];
}

// ---- access layer ------------------------------------------------------

static int valid_record(int p) { return p >= 0 && p < MAX_PLAYERS; }
static int valid_joint(int j) { return j >= 0 && j < NUM_JOINTS; }

PlayerState *get_player(int i)
{
    if (!valid_record(i))
        return nullptr;
    return &players[i];
}

PlayerState *get_players() { return players; }

PlayerState *get_first_ghost()
{
    if (match_state.num_players < 0 || match_state.num_players >= MAX_PLAYERS)
        return nullptr;
    return &players[match_state.num_players];
}

GameRules *get_rules() { return &current_rules; }
MatchState *get_match() { return &match_state; }
int32_t *get_selected_player_ptr() { return &selected_player; }
WorldDescription *get_world() { return &current_world; }
int get_replay_position() { return match_state.replay_frame; }

int fighter_count()
{
    int n = match_state.num_players;
    if (n < 0)
        return 0;
    return n > MAX_FIGHTERS ? MAX_FIGHTERS : n;
}

int has_bodies(int r) { return r >= 0 && r < fighters_built && r < MAX_PLAYERS; }

const BodyDef *player_body_table(int p)
{
    if (!valid_record(p))
        return nullptr;
    const BodyDef *t = current_world.body_tables[p];
    return t ? t : builtin_body_table;
}

const JointDef *player_joint_table(int p)
{
    if (!valid_record(p))
        return nullptr;
    const JointDef *t = current_world.joint_tables[p];
    return t ? t : builtin_joint_table;
}

static const JointDef *joint_def(int p, int j)
{
    const JointDef *t = player_joint_table(p);
    if (!t || !valid_joint(j))
        return nullptr;
    return &t[j];
}

float joint_radius(int p, int j)
{
    const JointDef *d = joint_def(p, j);
    return d ? d->radius : 0.0f;
}

float joint_strength(int p, int j)
{
    const JointDef *d = joint_def(p, j);
    return d ? d->strength : 0.0f;
}

float joint_velocity(int p, int j)
{
    const JointDef *d = joint_def(p, j);
    return d ? d->velocity : 0.0f;
}

float hold_force(int p, int j) { return fabsf(joint_strength(p, j) / 3.0f); }

double joint_position(int p, int j, double angle)
{
    if (!valid_record(p) || !valid_joint(j))
        return 0.0;
    const JointRuntime &rt = players[p].joints[j];
    double range = rt.hi_stop - rt.lo_stop;
    if (!(range > 0.0))   // a mod may give an empty range
        return 0.0;
    double a = angle < rt.hi_stop ? angle : rt.hi_stop;
    return (a - rt.lo_stop) / range;
}

void unpause_game() { match_state.game_paused = 0; }
void pause_game() { match_state.game_paused = 1; }

int get_commanded_state(int p, int j)
{
    if (!valid_record(p) || !valid_joint(j))
        return -1;
    return players[p].joint_state[j];
}

int can_change_joint(int p, int j)
{
    if (!valid_record(p) || !valid_joint(j))
        return 0;
    if (replay_mode == REPLAY_LIVE && match_state.ghost_mode == GHOST_OFF &&
        !match_state.game_paused && !match_state.game_over)
        return 0;
    return players[p].joints[j].broken == JOINT_INTACT;
}

void mirror_joint_pair(int p, int a, int b)
{
    if (!valid_record(p) || !valid_joint(a) || !valid_joint(b))
        return;
    int32_t *s = players[p].joint_state;
    if ((s[a] == MOTOR_FWD && s[b] == MOTOR_BACK) || (s[a] == MOTOR_BACK && s[b] == MOTOR_FWD)) {
        int32_t t = s[a];
        s[a] = s[b];
        s[b] = t;
    }
}

int set_selection(int p, int j)
{
    if (!valid_record(p) || j < -1 || j > NUM_BODIES)
        return 1;
    players[p].sel_a = j;
    players[p].sel_b = j;
    return 0;
}

int ground_forbidden(int p, int part)
{
    if (part >= 0 && part < NUM_BODIES) {
        const BodyDef *t = player_body_table(p);
        return t && !(t[part].flags & PART_GROUND_OK);
    }
    if (part < NUM_BODIES)   // no arithmetic below the table (INT_MIN)
        return 0;
    const JointDef *d = joint_def(p, part - NUM_BODIES);
    return d && !(d->flags & PART_GROUND_OK);
}

int part_material(int p, int part)
{
    if (p == -1)
        return 0;
    if (part >= 0 && part < NUM_BODIES) {
        const BodyDef *t = player_body_table(p);
        return t ? t[part].material : 0;
    }
    if (part < NUM_BODIES)
        return 0;
    const JointDef *d = joint_def(p, part - NUM_BODIES);
    return d ? d->material : 0;
}

int next_turnframes()
{
    int count = current_rules.turnframes_count;
    int frames = 0;
    if (count >= 1 && count <= MAX_TURNFRAMES) {
        int turn = match_state.turn;
        if (turn < 0)
            turn = 0;
        frames = current_rules.turnframes[turn % count];
    }
    if (frames < 1)   // a turn must be able to end
        frames = 10;
    match_state.turn += 1;
    return frames + 1;
}

int is_simulating()
{
    return replay_mode == REPLAY_LIVE && match_state.ghost_mode == GHOST_OFF &&
           !match_state.game_paused && !match_state.game_over;
}

void start_turn_timer() { match_state.turn_end = match_state.turn_seconds * 1000 + frame_tick; }
void stop_turn_timer() { match_state.turn_end = 0; }
void start_end_timer() { match_state.end_deadline = frame_tick + 5000; }

void set_own_id(int v) { own_id = v; }
int get_own_id() { return own_id; }
int is_spectator() { return own_player_index == -1; }

int set_teams(const int *list, GameRules *rules)
{
    if (!list || list[0] < 1 || list[0] > MAX_FIGHTERS)
        return 1;
    int n = list[0];
    match_state.num_players = n;
    match_state.team_count = list[1];
    for (int i = 0; i < n; i++) {
        players[i].team = list[2 + i];
        if (rules)
            rules->team[i] = list[2 + i];
    }
    if (rules) {
        rules->players = n;
        rules->teams = list[1];
    }
    return 0;
}

void assign_teams(GameRules *rules)
{
    int teams = match_state.team_count;
    if (teams < 2)
        return;
    for (int i = 0; i < match_state.num_players && i < MAX_FIGHTERS; i++) {
        players[i].team = i % teams;
        if (rules)
            rules->team[i] = i % teams;
    }
}

// ---- bout list -----------------------------------------------------------

BoutEntry *get_bout_entry(int i)
{
    if (i < 0 || i >= MAX_BOUTS)
        return nullptr;
    return &bout_list[i];
}

BoutEntry *get_bout_list() { return bout_list; }
MatchResult *get_match_result() { return &match_result; }

static int fighter_slots()
{
    int n = match_state.num_players;
    if (n < 0)
        return 0;
    return n < num_bouts ? n : num_bouts;
}

int own_bout_index()
{
    int n = fighter_slots();
    for (int i = 0; i < n && i < MAX_BOUTS; i++)
        if (bout_list[i].user_id == own_id)
            return i;
    return -1;
}

int is_fighting() { return own_bout_index() != -1; }

void set_own_queue_position()
{
    for (int i = 0; i < num_bouts && i < MAX_BOUTS; i++) {
        if (bout_list[i].user_id == own_id) {
            queue_position = i - 1;
            return;
        }
    }
    queue_position = -1;
}

int have_enough_fighters() { return num_bouts >= match_state.num_players; }

int store_loss(int frame, int p, int flag, const float *pos)
{
    int n = match_state.num_players;
    if (n < 1 || n > MAX_FIGHTERS || p < 0 || p >= n)
        return 1;
    LossRecord &l = match_result.loss[p];
    l.frame = frame;
    l.lost = flag;
    for (int k = 0; k < 3; k++)
        l.position[k] = pos ? pos[k] : 0.0f;
    players[p].flags |= PLAYER_LOST;
    match_state.ready_bits |= PLAYER_LOST;
    return 0;
}

// The record the replay reader is filling, as it hands it in.
static ReplayFrame *record_pointer;

void set_record_pointer(ReplayFrame *record) { record_pointer = record; }
ReplayFrame *get_record_pointer() { return record_pointer; }

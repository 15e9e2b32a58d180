// The game state: eight player records (fighters, then their ghosts), the
// match record, the world descriptions with their body, joint and object
// tables, the selection, and the small access layer over them.
#pragma once

#include <cstdint>
#include <ode/ode.h>

struct GameRules;
struct ReplayFrame;
struct BoutEntry;
struct MatchResult;

enum {
    MAX_PLAYERS = 8,        // player records: fighters, then ghosts
    MAX_FIGHTERS = 4,
    NUM_BODIES = 21,
    NUM_JOINTS = 20,
    NUM_PARTS = 41,         // parts 0..20 bodies, 21..40 joints
    NUM_ENV_OBJECTS = 16,
    BODY_TABLE_ROWS = 22,   // 21 bodies and a terminator
    JOINT_TABLE_ROWS = 21   // 20 joints and a terminator
};

// Motor states.
enum { MOTOR_NONE = 0, MOTOR_FWD = 1, MOTOR_BACK = 2, MOTOR_HOLD = 3, MOTOR_RELAX = 4 };
// Grip values.
enum { GRIP_NONE = 0, GRIP_GRIP = 1, GRIP_RELEASE = 2 };
// Joint break states.
enum { JOINT_INTACT = 0, JOINT_DISMEMBERED = 1, JOINT_FRACTURED = 2 };
// Body shapes.
enum { SHAPE_SPHERE = 0, SHAPE_BOX = 1, SHAPE_CYLINDER = 2 };
// Ghost modes.
enum { GHOST_OFF = 0, GHOST_ONE = 1, GHOST_ALL = 2 };
// Replay modes.
enum { REPLAY_LIVE = 0, REPLAY_PLAYING = 1, REPLAY_CYCLE = 2 };

// BodyDef.flags
enum {
    BODY_HAND = 0x1,
    BODY_CUTTER = 0x2,        // cuts, and is not cut itself
    BODY_CUTTER2 = 0x4,
    BODY_NO_GRIP = 0x10,
    PART_GROUND_OK = 0x20     // may touch the ground (bodies and joints)
};
// EnvObject.flags
enum { ENV_STATIC = 0x8, ENV_CUTTER = 0x2, ENV_CUTTER2 = 0x4, ENV_NO_GRIP = 0x10 };
// PlayerState.flags
enum { PLAYER_LOST = 0x800 };

struct BodyDef {
    int32_t index;
    const char *name;
    int32_t shape;
    int32_t material;
    float position[3];
    float rotation[3];
    float sides[3];
    float alt_sides[3];
    int32_t flags;
    int32_t ground_flag;
    float colour[3];
    float force[3];
};

struct JointDef {
    int32_t index;
    const char *name;
    float anchor[3];
    float axis[3];
    int32_t body_a, body_b;
    float radius;
    float hi_stop, lo_stop;
    float strength;
    float velocity;
    float break_hi, break_lo;
    int32_t group_flag;
    int32_t material;
    float colour[3];
    int32_t flags;
};

struct EnvObject {
    uint8_t used;
    int32_t flags;
    double position[3];
    uint8_t shape;
    double sides[3];
    double mass;
    int32_t material[5];   // [0] material (0 flesh, 1 steel), the rest passed through
    double rotation[3];
    float colour[4];       // RGBA
};

// Per-part scales and the world's colour entries (RGBA); the built-in
// values are sixty 1.0 scales followed by the colours.
enum { APPEARANCE_SCALES = 60, APPEARANCE_COLOURS = 20 };
struct Appearance {
    float scale[APPEARANCE_SCALES];
    float colour[APPEARANCE_COLOURS][4];
};

struct WorldDescription {
    BodyDef *body_tables[MAX_PLAYERS];
    JointDef *joint_tables[MAX_PLAYERS];
    EnvObject objects[NUM_ENV_OBJECTS];
    Appearance appearance;
    float gravity[3];
    float ground_mu;
    int32_t mod_version;
    char mod_text[256];
};

struct JointRuntime {
    double last_speed;
    double hi_stop;
    double lo_stop;
    double break_lo;
    double break_hi;
    float bleed;
    int32_t broken;
    int32_t replay_pending;
    int32_t cut_pending;
    // The hinge's anchor and axis in the frame of its first body, taken when
    // the fighter was built: a re-attached hinge gets them back exactly.
    double anchor_local[3];
    double axis_local[3];
};

struct TimedBreak {
    int32_t kind;
    int32_t frame;
};

struct BodyStateRecord {
    double quaternion[4];
    double position[3];
    double linear_vel[3];
    double angular_vel[3];
};

struct PlayerState {
    int32_t team;
    int32_t ready;
    int32_t colour;
    char name[32];
    char name_lower[32];
    int32_t colour_copy;
    int32_t changes;
    int32_t sent;
    char emote[32];
    int32_t emote_duration;
    int32_t emote_end;
    int32_t emote_pending;
    int32_t stance_slot;
    dBodyID body[NUM_BODIES];
    dGeomID geom[NUM_BODIES];
    dGeomID joint_geom[NUM_JOINTS];
    JointRuntime joints[NUM_JOINTS];
    TimedBreak timed_breaks[NUM_JOINTS];
    int32_t body_events[NUM_BODIES];
    dJointID hinge[NUM_JOINTS];
    dJointFeedback hinge_feedback[NUM_JOINTS];
    dJointID grip_joint[NUM_BODIES];
    int32_t grip_target[NUM_BODIES];
    dJointFeedback grip_feedback[NUM_BODIES];
    int32_t grip_req_l, grip_req_r;
    int32_t grip_l, grip_r;
    int32_t joint_state[NUM_JOINTS];
    int32_t no_input;
    int32_t ghost_held;
    int32_t is_ghost;
    BodyStateRecord saved_state[NUM_BODIES];
    int32_t flags;
    float part_hit[NUM_PARTS];
    float ground_speed;
    float head_force;
    float injury;
    float score;
    int32_t broken_count;
    int32_t break_sound;
    int32_t out;
    int32_t sel_a, sel_b;
    int32_t own_index;
    int32_t bout_id;
    int32_t collide_group;
    int32_t num_textures;
    int32_t touch_first, touch_last, touch_time;
    double total_mass;   // sum of the body masses (set_body_masses)
};

struct MatchState {
    int32_t num_players;
    int32_t match_mode;
    int32_t team_count;
    int32_t game_paused;
    int32_t ghost_mode;
    int32_t game_over;
    int32_t ghost_row;
    int32_t end_frame;
    int32_t winners[4];
    int32_t losers[4];
    int32_t result_code;
    int32_t result_extra;
    double dq_position[4][3];
    int32_t match_frame;
    int32_t turn_frame;
    int32_t ready_bits;
    int32_t turn;
    int32_t ghost_flags;
    int32_t ghost_count;
    float ghost_speed;
    float ghost_progress;
    int32_t ghost_length;
    int32_t turn_length;
    int32_t turn_start_frame;
    int32_t turn_end;
    int32_t turn_seconds;
    int32_t end_deadline;
    int32_t frames_recorded;
    int32_t replay_frame;
    int32_t wins[4];
};

// The program's version, as replays, the caption and scripts show it.
extern const char program_version[];

// ---- the global records --------------------------------------------------
extern PlayerState players[MAX_PLAYERS];
extern MatchState match_state;
extern GameRules current_rules;
extern WorldDescription default_world;   // built-in
extern WorldDescription mod_world;       // read from a mod file
extern WorldDescription current_world;   // what the physics world was built from

extern const BodyDef builtin_body_table[BODY_TABLE_ROWS];
extern const JointDef builtin_joint_table[JOINT_TABLE_ROWS];

extern int32_t selected_player;
extern int32_t selected_joint;
extern int32_t selected_body;
extern int32_t replay_mode;
extern int32_t record_mode;
extern int32_t num_bouts;
extern int32_t own_player_index;
extern int32_t game_type;
extern int32_t own_id;
extern int32_t turn_timeout;
extern int32_t frame_tick;
extern int32_t fighters_built;
extern int32_t ghost_restart_pending;

// ---- name tables ----------------------------------------------------------
const char *body_name(int index);
const char *joint_name(int index);
const char *part_name(int index);
const char *motor_state_name(int state);
int joint_to_body(int joint);

// ---- access layer ---------------------------------------------------------
PlayerState *get_player(int i);
PlayerState *get_players();
PlayerState *get_first_ghost();
GameRules *get_rules();
MatchState *get_match();
int32_t *get_selected_player_ptr();
WorldDescription *get_world();
int get_replay_position();
// The record the replay reader is filling (null before the first "FRAME").
void set_record_pointer(ReplayFrame *record);
ReplayFrame *get_record_pointer();
// Fighters in the match, held to 0..4.
int fighter_count();
// 1 when player record r has physics bodies (r below fighters_built).
int has_bodies(int r);

float joint_radius(int p, int j);
float joint_strength(int p, int j);
float joint_velocity(int p, int j);
float hold_force(int p, int j);
double joint_position(int p, int j, double angle);

void unpause_game();
void pause_game();
int get_commanded_state(int p, int j);
int can_change_joint(int p, int j);
void mirror_joint_pair(int p, int a, int b);
int set_selection(int p, int j);
int ground_forbidden(int p, int part);
int part_material(int p, int part);
int next_turnframes();
int is_simulating();
void start_turn_timer();
void stop_turn_timer();
void start_end_timer();
void set_own_id(int v);
int get_own_id();
int is_spectator();
int set_teams(const int *list, GameRules *rules);
void assign_teams(GameRules *rules);

// The body table and joint table of player record p in the current world.
const BodyDef *player_body_table(int p);
const JointDef *player_joint_table(int p);

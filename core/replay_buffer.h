// The replay buffer: the recorded frames of a match (joint states, grips,
// emotes, breaks, body events and the full body and moving-object state),
// recording and playback, and the small glue operations of the match core
// that the command handlers and the shell call.
#pragma once

#include <cstdint>
#include <ode/ode.h>

#include "core/bout.h"
#include "core/records.h"

enum {
    // Records are allocated a chunk at a time as a match needs them; the
    // first chunk exists from game_init on. The buffer holds every frame
    // of the longest match the rules accept (one record a frame at most,
    // and one more at the end of an online match).
    REPLAY_CHUNK_FRAMES = 256,
    REPLAY_CHUNKS = 40,
    REPLAY_FRAMES = REPLAY_CHUNK_FRAMES * REPLAY_CHUNKS,
    REPLAY_SLOTS = 4,           // player slots of a record
    REPLAY_EMOTE_SIZE = 72,
    EMOTE_CHARS = 31            // characters of an emote that are kept
};

// ReplayFrame.flags, per player: which parts of the record hold something.
enum {
    RF_QAT = 0x1,
    RF_LINVEL = 0x2,
    RF_ANGVEL = 0x4,
    RF_POS = 0x8,
    RF_CRUSH = 0x10,
    RF_HINGEVEL = 0x40,
    RF_HINGEFMAX = 0x80,
    RF_FRACT = 0x100,
    RF_EMOTE = 0x200,
    RF_BODY_EVENT = 0x1000
};

struct ReplayFrame {
    int32_t frame;
    double quaternions[REPLAY_SLOTS][NUM_BODIES][4];
    double positions[REPLAY_SLOTS][NUM_BODIES][3];
    double angular_velocities[REPLAY_SLOTS][NUM_BODIES][3];
    double linear_velocities[REPLAY_SLOTS][NUM_BODIES][3];
    double hinge_fmax[REPLAY_SLOTS][NUM_JOINTS];
    double hinge_velocities[REPLAY_SLOTS][NUM_JOINTS];
    int32_t joint_states[REPLAY_SLOTS][NUM_JOINTS];
    int32_t breaks[REPLAY_SLOTS][NUM_JOINTS];
    int32_t body_events[REPLAY_SLOTS][NUM_BODIES];
    float injuries[REPLAY_SLOTS];
    float scores[REPLAY_SLOTS];
    int32_t change_counts[REPLAY_SLOTS];
    int32_t flags[REPLAY_SLOTS];
    int32_t right_grips[REPLAY_SLOTS];
    int32_t left_grips[REPLAY_SLOTS];
    char emotes[REPLAY_SLOTS][REPLAY_EMOTE_SIZE];
    double object_positions[NUM_ENV_OBJECTS][3];
    double object_quaternions[NUM_ENV_OBJECTS][4];
    double object_angular_velocities[NUM_ENV_OBJECTS][3];
    double object_linear_velocities[NUM_ENV_OBJECTS][3];
    uint8_t objects_valid;
};

// What the game server sent about the environment objects for the end of
// an online turn (the network handlers fill it, one entry per moving object
// in slot order; received is the world's mark).
struct ReceivedEnvState {
    double position[NUM_ENV_OBJECTS][3];
    double quaternion[NUM_ENV_OBJECTS][4];
    double angular_velocity[NUM_ENV_OBJECTS][3];
    double linear_velocity[NUM_ENV_OBJECTS][3];
    int32_t count;      // entries filled
    int32_t received;
};
extern ReceivedEnvState received_env;

extern char replay_author[256];
extern char fight_name[256];

// ---- the buffer ---------------------------------------------------------------
int alloc_replay_buffer();                 // 0 when the first chunk exists
void free_replay_buffer();
// Record i, its chunk allocated (zeroed) when it is first asked for; null
// outside 0..REPLAY_FRAMES-1, without a buffer, or when memory ran out.
ReplayFrame *get_replay_frame(int i);
// Chunks allocated now (memory in use is this many times the chunk size).
int replay_chunks_allocated();
ReplayFrame *get_turn_start_snapshot();
// Records the current state into record; returns the changes recorded
// (non-zero when the record counts).
int record_replay_frame(int force, ReplayFrame *record);
// Applies the record at replay_frame when its frame is f; 1 when it is not.
int play_replay_frame(int f);
void apply_frame_to_player(int player, const ReplayFrame *record);
// Fighters a record holds: built, in the match and within its four slots.
int replay_fighter_count();
// Zeroes records i.. to the end, frees the chunks wholly past i (the first
// chunk stays); frames_recorded and replay_frame := i.
void clear_replay_from(int i);

// ---- moving environment objects ----------------------------------------------------
// The live body of the k-th moving object (in use, not static), null when
// there are not that many.
dBodyID moving_env_body(int k);
int moving_env_count();

// ---- glue ------------------------------------------------------------------------
void clear_turn_changes(int player);
void reset_match_state();
void clear_bout_list();
void set_replay_author(const char *text);
void set_fight_name(const char *text);
void set_emote(int player, const char *text, int seconds);
// 1 when the name is unchanged (or the player index is refused), else 0.
int set_player_name(int player, const char *text);
// Passes a script request ("file [argument]") to the script loader.
void run_script(const char *text);
int get_joint_state(int player, int joint);
// Moves all 21 bodies so that body 0 comes to (x, y, z); 1 for an index
// outside the built fighters.
int set_player_position(int player, double x, double y, double z);
void clamp_body_velocities();
void apply_received_player_state(int player);
void apply_received_env_state();

// The result of a match as the server's "WIN" and "WIN2" lines give it.
struct MatchResultInput {
    int32_t winner;                 // the winner value (also kept in MatchState)
    int32_t kind;                   // result kind
    int32_t bout_index[4];          // per player: bout-list index, -1 none
    int32_t losers[4];              // -1 padded
    int32_t further[4][2];          // the two further values per player
    float results[4][3];            // three result values per player
    const float *scores;            // per player; null: the current scores
    int32_t last;
};
// The parts of an applied result that MatchResult has no room for.
struct MatchResultExtra {
    int32_t winner;
    int32_t kind;
    int32_t bout_index[4];
    int32_t further[4][2];
    float results[4][3];
    int32_t last;
    BoutEntry fighters[4];          // the bout entry of each player's index
    int32_t fighter_empty[4];       // 1 where the index was -1 (or refused)
    int32_t loss_value[4];          // the winner value, for the fighter marked lost
};
extern MatchResultExtra match_result_extra;
void apply_match_result(const MatchResultInput *in);

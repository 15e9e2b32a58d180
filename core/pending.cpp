// Placeholders for the steps that later pieces of the core complete. Each
// does nothing and reports the safe result; the frame step and the world
// build already call them at their place.
#include "core/pending.h"

#include <cstdio>

#include "core/collide.h"

int alloc_replay_buffer() { return 0; }
void free_replay_buffer() {}
ReplayFrame *get_replay_frame(int) { return nullptr; }
ReplayFrame *get_turn_start_snapshot() { return nullptr; }
int record_replay_frame(int, ReplayFrame *) { return 0; }
void play_replay_frame(int) {}
void clamp_body_velocities() {}
void apply_received_player_state(int) {}
void apply_received_env_state() {}
void autosave_replay() {}

void apply_joint_states() {}

// The list must not stay full, or no later contact would be recorded.
void apply_collision_damage() { collision_count = 0; }

void check_joint_breaks(int) {}
void break_joint(int, int, int) {}
void bleed_joint(int, int) {}
void blood_hit(int, double) {}

void start_ghost(int) {}
void start_ghost_all() {}
void stop_ghost() {}
void refresh_ghost() {}
void toggle_ghost_all() {}
int advance_ghost_clock() { return 1; }

int read_mod(const char *path)
{
    fprintf(stderr, "Unable to open mod %s\n", path ? path : "");
    return 1;
}

void assign_player_templates() {}

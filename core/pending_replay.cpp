// Replay buffer placeholders until recording and playback land.
#include "core/pending.h"

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

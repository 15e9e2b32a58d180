// Steps of the match core that later pieces of the core complete. Until
// they land, the core/pending_*.cpp files hold each of them as a do-nothing
// function with a safe result, so the frame step and the world build can
// call them at their place.
#pragma once

// Replay buffer, recording and playback; replay files.
#include "core/replay_buffer.h"
#include "core/replay_file.h"

// Joint motors and grips.
void apply_joint_states();

// Damage from the frame's collision list; empties the list.
void apply_collision_damage();

// Joint breaks, bleeding and blood.
void check_joint_breaks(int player);
void break_joint(int player, int joint, int kind);
void bleed_joint(int player, int joint);
void blood_hit(int drop, double speed);

// Ghost preview.
void start_ghost(int player);
void start_ghost_all();
void stop_ghost();
void refresh_ghost();
void toggle_ghost_all();
int advance_ghost_clock();                 // 1 when this frame is not stepped

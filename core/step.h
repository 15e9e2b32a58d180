// The frame step of a match, turn ends, starting a turn, and the end of a
// match for local and online play.
#pragma once

#include <cstdint>

extern int32_t games_counter;   // games played in this session (starts at 1)
// The ghost setting the shell keeps: 0 off, 1 the own fighter, 2 all.
extern int32_t ghost_setting;

// One frame. A non-zero argument skips this frame's collision pass and
// world step (recording, commands and the rest still run).
void step_frame(int skip_simulation);
// The last frame of a turn: the edit phase begins.
void end_turn();
// Starts a turn: 0 takes the next turnframes entry, n >= 1 runs n frames
// (1 steps a single frame). Stops a running ghost preview and unpauses.
void start_turn(int frames);
// End-of-match bookkeeping; both return whether the game is over / the
// server's result was applied.
int finish_turn_local();
int finish_turn_online();

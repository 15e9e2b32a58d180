// The ghost preview: during the edit phase a copy of one fighter (or of
// every fighter) runs ahead in the ghost space with the joint states just
// set, while the real fighters stay frozen.
//
// A run is active exactly while match_state.ghost_mode is not 0. The frame
// step only advances anything while game_paused is 0, so starting a run
// clears game_paused (the step then advances the ghost clock and the ghost
// space only: the live bodies are disabled and, with ghost_mode set, the
// match frame, recording and breaks hold still); stopping a run sets
// game_paused again, which is the edit phase of the real match.
#pragma once

#include <cstdint>

struct GhostMode {
    const char *name;
    float speed;
    int32_t frames;
    int32_t flags;
    int32_t next_row;
};

enum { NUM_GHOST_MODES = 6 };
// GhostMode.flags
enum {
    GHOST_FLAG_SHOW = 0x1,        // carried for the display
    GHOST_FLAG_LOOP = 0x2,        // restarts at its end
    GHOST_FLAG_TURN = 0x4,        // the length is the turn's frame count
    GHOST_FLAG_TOGGLE = 0x8,      // selecting the same row again stops it
    GHOST_FLAG_STATS = 0x10       // carried for the display
};

extern const GhostMode ghost_modes[NUM_GHOST_MODES];

// Ghost run of one fighter (-1: no fighter, only the environment).
void start_ghost(int player);
void start_ghost_all();
// Ends an active run; without one it changes nothing.
void stop_ghost();
void toggle_ghost_all();
void toggle_ghost_own();
// After a joint change: an active run restarts in its mode.
void refresh_ghost();
void set_ghost_run(int length, float speed);
// Speed, flags and length of a row, without starting or stopping anything.
// 1 for a row outside the table.
int apply_ghost_row(int row);
// The keys' and buttons' choice of a row (starts, stops or restarts the
// run). 1 for a row outside the table.
int select_ghost_mode(int row);
// 1 when this frame is not stepped.
int advance_ghost_clock();
// Makes the ghost record continue exactly from the fighter's present
// state: bodies, breaks, hinge motors, grip states and hand sizes.
void copy_fighter_to_ghost(int fighter, int ghost);

// The match core's calls upward. The core knows no window, console, Lua or
// socket: start-up fills this record with the shell's functions, tests fill
// it with their own. An empty slot means "nobody listens".
#pragma once

struct MatchState;
struct GameRules;
struct MatchResult;

struct CoreOutward {
    // Shows a line to the player (message kinds 0, 1, 2, 4, 8, 16).
    void (*echo)(const char *text, int kind);

    // ---- the frame step (each slot may stay empty) ----
    // The frame's drawing: scene, HUD, console and the scripts' draw hooks.
    void (*draw_frame_layers)(MatchState *match, GameRules *rules, MatchResult *result);
    // Script hooks of the frame.
    void (*hook_enter_frame)();
    void (*hook_end_game)(int result_code);
    void (*hook_enter_freeze)();
    // Sounds and the end-of-match announcement.
    void (*play_motion_sounds)();
    void (*play_score_sounds)();
    void (*announce_game_result)();
    void (*on_turn_alert)();
    void (*update_trails)();
    // Game control of the shell.
    void (*commit_turn)(int mode);
    void (*begin_replay)();
    void (*play_next_replay)();
    void (*toggle_game_paused)(int mode);
    // 1 while the game-server connection is open.
    int (*is_connected)();
    // The integer value of a named option ("autosave", ...); 0 when unknown.
    int (*get_option)(const char *name);
    // A mark on the floor where a fighter touched the ground illegally.
    void (*mark_ground_impact)(const double *position);
    // RGB of a palette colour; 0 when it exists.
    int (*palette_colour)(int index, float *rgb);
};

extern CoreOutward core_outward;

// Message kinds of echo_message (the Lua MSGTYPE values).
enum {
    MSG_NONE = 0,
    MSG_SERVER = 1,
    MSG_URL = 2,
    MSG_INGAME = 4,
    MSG_USER = 8,
    MSG_PLAYER = 16
};

// Appends a text of a message kind to the message console, through the
// outward record. Without a listener the line goes to standard error.
void echo_message(const char *text, int kind);

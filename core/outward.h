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
    // RGB of a fighter's own blood colour; 0 when the fighter has one set.
    int (*player_blood_colour)(int player, float *rgb);
    // A blood drop touched something at the given speed (floor stains).
    void (*on_blood_hit)(int drop, double speed);
    // Replays: a script request ("file [argument]") for the script loader;
    // a customisation line ("BODCOL", "ITEM", ...) for a player's look; the
    // looks of a player cleared; the floor stains cleared.
    void (*run_script)(const char *request);
    void (*parse_customs_line)(const char *keyword, int player, const char *args);
    void (*clear_customs)(int player);
    void (*clear_floor_stains)();
    // New games and the bout list: the belt name of a belt value; the centre
    // banner (font, seconds, three lines); the camera turned to a view angle
    // in degrees; the floor's ground-impact marks cleared; the trails reset;
    // the fighters' looks loaded; the game buttons laid out (1: a
    // spectator's ghost help buttons); the game-server connection closed;
    // the spectator list emptied / synchronised with the bout list.
    const char *(*belt_name)(int points);
    void (*show_banner)(int font, int seconds, const char *line1, const char *line2,
                        const char *line3);
    // 1 while the centre banner shows (an ended game's result holds the
    // replay that follows until it has gone).
    int (*banner_showing)();
    void (*reset_camera)(double degrees);
    void (*clear_ground_impacts)();
    void (*reset_trails)();
    void (*load_fighter_looks)();
    void (*layout_game_buttons)(int spectator);
    void (*close_connection)();
    void (*clear_spectators)();
    void (*sync_spectators)();

    // ---- lines from the game server (main thread) ----
    // A console command line; from_server 1 marks a line the game server
    // sent ("RUN"): the interpreter then runs only its harmless commands
    // (no shell, no file writes, no script loading, no "> path" redirect).
    void (*run_console_command)(const char *text, int from_server);
    // Connects the game connection to "host:port"; 0 connected, 1 failed.
    int (*connect_to_server)(const char *address);
    // A server's FORWARD: connects to address and, when that fails (at
    // once or later), back to previous (when not empty). 0 connected or
    // under way, 1 failed at once.
    int (*forward_to_server)(const char *address, const char *previous);
    // "host:port" of the game connection (the default server's while none
    // is set) into out (size bytes); 0 when written.
    int (*server_address_text)(char *out, int size);
    // 1 when servers.txt lists a server on host (the name or address
    // before the port), 0 when not.
    int (*listed_server_host)(const char *host);
    // The spectator names (count rows of 32 bytes; 0 empties the list).
    void (*set_spectator_names)(const char (*names)[32], int count);
    // The local user's equipment record ("GHOST" values), then saved.
    void (*set_ghost_equipment)(int a, int b, int c);
    // The scripts' "announce_callback"(number, text).
    void (*hook_announce)(int number, const char *text);

    // ---- the server browser (called on the browser's worker thread) ----
    // 1 when the name is on the buddy list.
    int (*is_buddy)(const char *name);
    // The working record of the polled server is complete: publish it
    // (and re-sort), then move the pass to the next server.
    void (*publish_server_info)();
    void (*poll_next_server)();

    // ---- the process ----
    // Tells the updater child to stop (nothing when none runs); main fills
    // it before anything else can end the program.
    void (*stop_updater)();
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

// Ends the program before its orderly shut-down (a start-up failure, the
// usage text): the updater child is told to stop, then the process exits
// with status. Every early exit goes through here.
[[noreturn]] void exit_program(int status);

// Appends a text of a message kind to the message console, through the
// outward record. Without a listener the line goes to standard error.
void echo_message(const char *text, int kind);

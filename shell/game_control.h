// The per-frame step callback and the operations that start games and
// control replays: new offline and online games, replay playback, pause
// and resume, leaving a replay to play on, and the small accessors through
// which other modules reach the shell's state.
#pragma once

#include <cstdint>

#include "shell/file_list.h"

struct GameRules;
struct MatchState;
struct ScrollList;

// Steps owned by modules that are still to come: the game set-up and replay
// editing of the match core, the control bar, the menu table, the message
// console, sounds and the script hooks. Start-up fills what exists; an
// empty slot means the step is skipped.
struct GameControlLinks {
    // match core
    void (*new_game_reset)(int arg);
    void (*start_game_with_rules)(int online, int arg, GameRules *rules);
    void (*toggle_ghost_own)();
    void (*select_ghost_row)(int row);
    void (*clear_replay_from)(int slot);
    int (*replay_slot_frame)(int slot);   // recorded frame number, -1 when none
    void (*set_all_joint_states)(int player, int state);
    void (*clear_turn_changes)();
    void (*size_hands_by_grips)();
    void (*clear_bout_list)();
    // control bar
    void (*show_play_buttons)();
    void (*show_replay_buttons)();
    void (*set_play_icon)(int paused);
    void (*hide_last_control_button)();
    // menus and console
    int (*menu_game_behind)(int menu);   // empty: the game runs behind every page
    void (*draw_menu_screen)();
    void (*switch_menu)(int menu);
    void (*clear_console)();
    // look and sound
    void (*clear_blood_stains)();
    void (*clear_customs)(int player);
    void (*reset_camera_view)(int angle);
    void (*play_score_sounds)();
    void (*set_sound_on)();
    void (*start_music)(int track);
    // online client
    void (*poll_connecting)();   // every frame: a connect under way goes on
    void (*poll_game_server)();
    int (*send_game_line)(const char *line);   // 0 when sent
    void (*close_game_connection)();
    // script hooks
    void (*hook_leave_game)();
    void (*hook_new_game)();
    void (*hook_new_mp_game)();
    void (*hook_exit_freeze)();
    void (*hook_enter_freeze)();
    void (*hook_play)();
    // ---- keyboard and mouse (shell/input.cpp) ----
    // script hooks of the input; a non-zero result consumes the event
    int (*hook_key_down)(int key);
    int (*hook_key_up)(int key);
    int (*hook_mouse_button_down)(int button, int x, int y);
    int (*hook_mouse_button_up)(int button, int x, int y);
    int (*hook_mouse_move)(int x, int y);
    void (*hook_player_select)(int player);
    void (*hook_joint_select)(int player, int joint);
    // menus: choose the hovered row; Esc on a page or in game (music, the
    // page's leave action, back_menu); the pages left after the chat input
    // closed with Esc (empty: back to the game); the quit page's confirm;
    // whether the menu list's slider is held
    void (*menu_enter)();
    void (*menu_escape)();
    void (*close_chat_menu)();
    void (*quit_confirm)();
    int (*menu_slider_held)();
    // console: its list, the chat window size (0 toggles), the hovered link
    // opened (1 when there was one)
    ScrollList *(*get_console_list)();
    void (*set_chat_lines)(int lines);
    int (*open_hovered_link)();
    // widgets: the hover of a scroll list from the mouse; the left-button
    // state and position offered to the button list, the single buttons and
    // the control bar in turn (1 when one of them took it)
    void (*update_list_hover)(ScrollList *list, int x, int y);
    int (*offer_buttons)(int left_down, int x, int y);
    // the rest
    void (*play_sound)(int sound, int channel);
    void (*take_screenshot)();
    void (*start_browser_thread)();
    int (*equipment_value)(int index);   // the local user's equipment, 0 when none
    // pages whose contents other modules own: the server list (online
    // client) and the say box of the chat input (message console)
    void (*draw_server_list)();
    void (*enter_server_list)();
    void (*leave_server_list)(int row);
    void (*draw_say_box)();
};
extern GameControlLinks game_links;

// Calls a step of game_links when it is set; an empty slot skips it.
#define LINK(name, ...)                   \
    do {                                  \
        if (game_links.name)              \
            game_links.name(__VA_ARGS__); \
    } while (0)

// The shell's game state.
extern int32_t menu_state;         // 0: in game, no menu
extern int32_t return_menu;        // always 0
extern int32_t menu_anim_counter;
extern GameRules mp_rules;         // a new multiplayer game starts with these
extern int32_t banner_paused_game;
extern const char *const default_player_names_table[8];
extern char local_user[32];
extern char local_password[32];

// ---- the step callback -----------------------------------------------------------
void app_step(int frame);

// ---- starting games and replays -----------------------------------------------------
void begin_new_game();
void begin_replay(int arg);
int load_replay_file(const char *name);   // "replay/<name>"; 0 when it began
int play_replay_at(int index);            // the replay file list's entry
void restart_replay();
void load_mod_and_start(int index);
int toggle_game_paused(int frames);
void exit_replay();
void new_mp_game_setup();
// The shop page's scene: its script, a short live turn, then the play hook.
void start_scripted_scene(const char *script);

// ---- file lists: shell/file_list.h ---------------------------------------------------

// ---- accessors ----------------------------------------------------------------------
int get_menu_state();
void set_menu_state(int menu);
int get_head_view_mode();
char *get_local_user();
GameRules *get_setup_rules();
GameRules *get_mod_rules();
void ensure_local_user_name();
void set_local_user(const char *name);
void set_local_password(const char *password);
void select_player_quiet(int p);
void default_player_names();
int selected_joint_screen_pos(double out[3]);
int body_screen_pos(int player, int body, double out[3]);
int body_screen_pos_exact(int player, int body, double out[3]);

// ---- the end-of-game announcement ----------------------------------------------------
// The banner lines of a finished match, by its result kind. Online, kind
// 1 with fighters whose belt changed: "UPGRADED!" and "<name> - <belt>
// BELT" joined by ", " (text colour, 100 seconds). Otherwise: kind 1
// "DRAW!" in orange; kind 2 "DISQUALIFIED!" first; then the winners' names
// joined by " & " with "  WINS !", or "DRAW !" when nobody won; online the
// next line is "STREAK %i" (", %i" for each further winner) when winners
// on a streak above 2 hold the place while others wait, else, with one
// winner, "+%i TC, %i games to %s Belt". Selects the first winner (or
// disqualified). *colour: a palette row, -1 for the text colour;
// *seconds: how long it shows (may be null). Returns the number of winners.
int compose_game_result(const MatchState *match, char lines[3][256], int *colour,
                        int *seconds = nullptr);
// The banner of the result (font 2, 3 seconds), the benchmark line first.
void show_game_result(MatchState *match);
// The result sound, then show_game_result.
void announce_game_result(MatchState *match);

// ---- ground-impact marks (the core keeps them: core/ground_impacts.h) ----------------
void mark_ground_impact(MatchState *match, int p, int player);
void set_impact_pos(int p, const double position[3]);
void clear_ground_impacts();
void clear_ground_impact(int p);

// ---- more accessors --------------------------------------------------------------------
void set_player_ready(int p, int v);
void set_selected_player(int p);
extern int32_t hud_extra_shown;
void toggle_hud_extra();
// Space stays in a replay until frame_tick passes the deadline.
void set_space_key_deadline(int32_t deadline);
// Online with a queue and "turnalert" on: the turn-alert sound.
void alert_turn();
// With "turnalert" on: restarts the HUD's turn cue (the alert word), then
// alert_turn. The core calls it when an online turn begins.
void on_turn_alert();

// ---- scripted starts -------------------------------------------------------------------
// The tutorial page: the script, then a fresh offline game.
void start_script_game(const char *script);

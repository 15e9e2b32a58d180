// Keyboard and mouse: the key handler with its text and list keys, camera
// keys and in-game key table, the mouse buttons and wheel, the pointer's
// hover and click, and the picking of a fighter's joint or hand by the
// mouse ray.
#pragma once

#include <cstdint>

struct AppCallbacks;
struct MatchState;

// The key state. The held camera keys themselves are the platform's
// held_camera_keys, the drag kind its camera_drag_mode (platform/loop.h).
extern int32_t last_key;
extern int32_t last_down;
extern int32_t help_overlay;
extern int32_t space_key_deadline;   // frame_tick before which Space stays in a replay; 0 none
extern int32_t replay_index;         // position in replay_files for Ctrl+[ and Ctrl+]
// The pointer over the fighters: 1 while the ray is over a joint; what it
// is over (0 nothing, 1 a joint, 2 a hand).
extern int32_t joint_hover;
extern int32_t pick_kind;

enum { PICK_NOTHING = 0, PICK_JOINT = 1, PICK_HAND = 2 };

// Points the callback record's key, button and motion slots and the
// platform's drag-motion and pick slots at the handlers below.
void install_input_callbacks(AppCallbacks *callbacks);

// Returns 1 when a script hook consumed the key.
int handle_key(MatchState *match, int key, int unicode, int mod, int down);
int on_key(int key, int unicode, int mod, int down);
// type: SDL_MOUSEBUTTONDOWN or SDL_MOUSEBUTTONUP; button 1..5 (4, 5 the wheel).
void on_mouse_button(int type, int button, int x, int y);
// mods: the Shift bits at the time; click 1 for a left press, 0 for a move.
void on_mouse_motion(int mods, int click, double ray_from[3], double ray_to[3], int x, int y);
// Pointer movement with buttons held (camera drag).
void on_mouse_move(int buttons, int x, int y);
// The mouse ray against the fighters' joint spheres and bodies.
void pick_joint(int mods, int click, const double ray_from[3], const double ray_to[3]);

// The chat input and the lists under a key press.
void text_key(int key, int unicode);

// Whether local input may change the selected joint now; allow_no_joint
// lets it pass with a fighter but no joint selected.
int can_command_joint(int allow_no_joint);

// The camera bits after a press of a camera key (w, s, a, d by letter) with
// or without Shift; the bits a release of it clears. Keys that are not
// camera keys leave the mask as it is / clear nothing.
int camera_keys_after_press(int keys, int letter, int shift);
int camera_bits_cleared_by(int letter);
// The camera letter of a key ('w', 's', 'a', 'd'; arrows and keypad
// included), 0 for any other key.
int camera_letter(int key);

// Steps through the replays of "replay/" (rescanned first) by delta and
// plays the one reached. 0 when one began; 1 for an empty list or a file
// that could not be read.
int step_replay_list(int delta);

// Ends the edit phase of a turn (mode 1: one frame): the online client's
// commit when there is one, else the turn starts at once.
void commit_move(int mode);

// The Space action of the moment (replay, game over, running, edit phase).
void space_action(int shift);

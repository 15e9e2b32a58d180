// The platform loop: the callback record through which the shell plugs in,
// the window and its video mode, frame pacing and frame skipping, event
// dispatch, the frame itself (clear, camera, step callback, swap) and the
// caption with the frame rate. Main thread only.
#pragma once

#include <cstdint>

struct SDL_Surface;
struct SDL_Cursor;

// The shell's handlers. Every slot may be empty; an empty slot is skipped.
struct AppCallbacks {
    int version;                                        // not used
    void (*start)();                                    // once, after init_session
    void (*step)(int paused);                           // once a frame
    int (*key)(int sym, int unicode, int mod, int down);  // non-zero: consumed
    void (*mouse_button)(int event_type, int button, int x, int y);
    void (*reserved)();
    void (*mouse_motion)(int mods, int pick, double near_point[3], double far_point[3],
                         int x, int y);
    void (*stop)();                                     // once, after the loop
};

// Where the platform reaches the layers above it (renderer, shell, sound,
// scene export). Start-up fills what exists; an empty slot is skipped.
struct PlatformOutward {
    void (*init_glut)(int *argc, char **argv);
    int (*init_fonts)();                   // 0 on success
    void (*reset_draw_state)();            // clear colour white, texture generation off
    void (*set_perspective_fov)(float fov);
    void (*load_world_shader_preset)();    // the first built-in preset
    void (*load_render_resources)();
    void (*shutdown_renderer)();
    void (*reload_all_player_looks)();
    void (*load_sound_effects)();
    void (*free_sound_effects)();
    void (*init_session)();
    void (*save_all_at_exit)();
    void (*on_mouse_move)(int buttons, int x, int y);
    void (*pick_joint)(int mods, int pick, double near_point[3], double far_point[3],
                       int x, int y);
    int (*selected_joint_screen_pos)(double out[3]);   // 0 when a joint is selected
    void (*set_drawn_cursor_visible)(int visible);
    int (*custom_cursor_in_use)();
    int (*pov_begin_animation)();          // 0 when the file is open
    void (*pov_write_frame)(int frame);
    void (*pov_end_animation)();
};
extern PlatformOutward platform_outward;

// The option values the platform reads. They point at the shell's option
// rows once start-up has bound them, at the defaults before.
struct PlatformOptions {
    int32_t *width;
    int32_t *height;
    int32_t *antialiasing;
    int32_t *fullscreen;
    int32_t *frameskip;
    int32_t *noreload;
};
extern PlatformOptions platform_options;

// ---- platform state ------------------------------------------------------------
extern int running;
extern int fullscreen_active;
extern int start_paused;
extern int sound_enabled;
extern int audio_unavailable;
extern uint8_t input_enabled;
extern int camera_drag_mode;        // 0 none, 1 orbit drag, 2 height drag
extern int drag_first_motion;
extern int drag_origin_x, drag_origin_y;
extern int held_camera_keys;
extern int camera_keys_enabled;
enum { CAPTION_TEXT = 128 };
extern char caption_text[CAPTION_TEXT];
extern int32_t last_frame_tick;
extern int32_t previous_frame_tick;
extern int32_t frame_interval;
extern uint8_t frame_skipped;
extern int32_t frame_delta;
extern int pov_animation_on;
extern int pov_frame_count;
extern SDL_Surface *video_surface;

// ---- entry and loop ----------------------------------------------------------------
int platform_main(int argc, char **argv, int width, int height, AppCallbacks *callbacks);
// SIGTERM and SIGINT end the main loop in order (settings saved), from
// the moment this is called; SDL keeps a handler it finds in place.
void install_quit_signals();
void run_main_loop(AppCallbacks *callbacks, int paused);
void poll_events(AppCallbacks *callbacks);
void draw_frame(AppCallbacks *callbacks);
void begin_frame(int width, int height, AppCallbacks *callbacks, int paused);
void update_fps_caption();
void set_caption_text(const char *text);

// ---- window -------------------------------------------------------------------------
// Sets the mode or ends the program (status 1) when even the mode without
// multisampling fails.
void set_video_mode(int width, int height, int fullscreen);
// As set_video_mode, but returns -1 instead of ending the program.
int try_video_mode(int width, int height, int fullscreen);
void init_gl_state();
// Makes the window again with the current options; when the new mode cannot
// be made, the previous one is made again and the player is told.
void reinit_video();
void set_resolution(int width, int height);
void toggle_fullscreen();
int get_fullscreen();
int has_input_focus();
void quit_game();
void request_quit();

// ---- mouse ---------------------------------------------------------------------------
void grab_mouse();
void release_mouse();
// The cursor shown while a joint can be picked (null when it could not be made).
SDL_Cursor *get_pick_cursor();
// The system cursor: 1 the arrow, 2 the pick cursor (kept when it could
// not be made).
void set_system_cursor(int which);
void unproject_mouse(int x, int y, double near_point[3], double far_point[3]);
int project_to_screen(double x, double y, double z, double out[3]);

// ---- small switches -----------------------------------------------------------------
void enable_camera_keys();
void disable_camera_keys();
void lock_input(float seconds, int value);
int input_lock_expired();
void toggle_pov_animation();

// ---- the pieces of the loop that need no window ----------------------------------
// a - b and a + b of two tick counts, wrapping as the 32-bit clock does.
inline int32_t tick_diff(int32_t a, int32_t b) { return (int32_t)((uint32_t)a - (uint32_t)b); }
inline int32_t tick_add(int32_t a, int32_t b) { return (int32_t)((uint32_t)a + (uint32_t)b); }

// Milliseconds to sleep after a frame that took `interval` ms (0..16).
int pacing_delay(int32_t interval);

// Frame skipping: the reference of the last drawn frame.
struct FrameClock {
    int32_t last_drawn_tick;
    int32_t previous_tick;
    int resync;        // take the next tick as the reference
    int started;       // previous_tick is valid
};
// Decides a frame at tick `now`: returns 1 when it is skipped (simulated but
// not drawn). *delta gets the ms since the previous call.
int frame_clock_step(FrameClock *clock, int32_t now, int frameskip, int32_t *delta);

// 1 when a key release (SDL symbol and modifier mask) toggles full screen.
int is_fullscreen_toggle_key(int sym, int mod);

// Turns a 33-string cursor image (32 rows, then "x,y") into SDL cursor data
// and mask bytes (4 a row, most significant bit first). 0 on success.
int build_cursor_bits(const char *const image[33], uint8_t data[128], uint8_t mask[128],
                      int *hot_x, int *hot_y);
extern const char *const arrow_cursor_image[33];
extern const char *const pick_cursor_image[33];

// "ZYLOMACH <caption> fps:<rate>" for `frames` frames in `elapsed_ms`.
void format_fps_caption(char *out, int size, const char *caption, int frames,
                        int32_t elapsed_ms);

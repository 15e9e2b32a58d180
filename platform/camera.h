// The orbit camera: an angle about the vertical (z) axis, a horizontal
// distance and a height around a look-at point that follows the fighters,
// with a short shake after hard hits.
#pragma once

struct MatchState;

struct CameraState {
    float angle;            // degrees about z
    float distance;         // horizontal distance from the look-at point
    float height;           // camera z before the height offset
    float height_offset;    // raise/lower keys, -1.0 .. 2.5
    float lookat[3];
    float position[3];
    float shake_offset[3];  // added to the position when the view is set
    float fov;              // degrees
    int shake_amount;       // remaining shake, ms
    int shake_accum;        // ms since the offset last changed
    int shake_last_time;    // frame clock of the previous shake step
    int shake_cursor;       // into camera_shake_table
    double smoothed[3];     // previous frame's smoothed target
};

extern CameraState camera_state;
extern const float camera_shake_table[12];

// 0 the orbit camera; 1 in fighter 0's head looking at fighter 1's; 2 the
// reverse. Set by the view keys together with the field of view.
extern int head_view_mode;

// The window's size in pixels; the video-mode code writes what it got.
extern int view_width;
extern int view_height;

// Held-key bits of held_camera_keys.
enum {
    CAM_KEY_NEARER = 0x01,
    CAM_KEY_FARTHER = 0x02,
    CAM_KEY_TURN_LEFT3 = 0x04,    // -3 degrees
    CAM_KEY_TURN_RIGHT3 = 0x08,   // +3 degrees
    CAM_KEY_RAISE = 0x10,
    CAM_KEY_LOWER = 0x20,
    CAM_KEY_TURN_RIGHT15 = 0x40,  // +1.5 degrees
    CAM_KEY_TURN_LEFT15 = 0x80    // -1.5 degrees
};

// What the camera asks of the layers above it. Empty slots: the options
// read their defaults (smoothcam 1, rumble 0) and no script hook runs.
struct CameraOutward {
    // Current value of a named option, or -1 when there is none.
    int (*option)(const char *name);
    // The scripts' camera hook; non-zero: the script has placed the camera.
    int (*camera_hook)();
};
extern CameraOutward camera_outward;

void place_camera_on_orbit();
void set_camera_lookat(const float vec[3]);
void set_camera_lookat(const double vec[3]);
void set_camera_pos(const float vec[3]);
void set_camera_orbit_angle(float angle);
void set_camera_orbit(int angle, float height, float distance);
void set_camera_angle_height(float angle, float height);
void camera_orbit_drag(int kind, float a, float b);
void apply_held_camera_keys(int mask);
// The held-key movement itself; ghost_on makes it move nothing.
void apply_held_camera_keys_ghost(int mask, int ghost_on);
void set_camera_shake(int amount);
void camera_shake_offsets(MatchState *match);
// One shake step at frame-clock time `now` (camera_shake_offsets uses frame_tick).
void camera_shake_step(MatchState *match, int now);
void update_camera(MatchState *match, float smoothing);
void reset_camera_view(MatchState *match, int angle);
const float *get_camera_pos();
const float *get_camera_lookat();
void set_shake_offset(const float vec[3]);

// The look-at target rule, from the fighters' positions: with no selected
// player (-1) the mean of the STOMACH positions; online, or locally with an
// engage distance above 700, the selected fighter's CHEST; else the mean of
// the CHEST positions. A fighter whose position is missing (null) is left
// out; returns 1 and leaves out unchanged when no position is usable.
int camera_target_point(int selected, int online, int engagedistance, int num_fighters,
                        const double *const chest[], const double *const stomach[],
                        double out[3]);

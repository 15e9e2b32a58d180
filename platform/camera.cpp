#include "platform/camera.h"

#include <cmath>

#include "core/records.h"
#include "core/rules.h"

enum { BODY_HEAD = 0, BODY_CHEST = 2, BODY_STOMACH = 3 };

CameraState camera_state = {
    0.0f, 4.0f, 2.1f, 0.0f,
    {0, 0, 0}, {4.0f, 0, 2.1f}, {0, 0, 0},
    50.0f,
    0, 0, 0, 0,
    {0, 0, 0},
};

const float camera_shake_table[12] = {-1, 0, 1, 0, 1, -1, 0, 0, 1, -1, -1, 1};

int head_view_mode = 0;
int view_width = 800;
int view_height = 600;

CameraOutward camera_outward = {};

static int camera_option(const char *name, int fallback)
{
    if (!camera_outward.option)
        return fallback;
    int v = camera_outward.option(name);
    return v < 0 ? fallback : v;
}

static const double kDegToRad = 3.14159265358979323846 / 180.0;

void place_camera_on_orbit()
{
    CameraState &c = camera_state;
    double a = c.angle * kDegToRad;
    c.position[0] = (float)(c.lookat[0] + cos(a) * c.distance);
    c.position[1] = (float)(c.lookat[1] + sin(a) * c.distance);
    c.position[2] = c.height + c.height_offset;
}

void set_camera_lookat(const float vec[3])
{
    for (int k = 0; k < 3; k++)
        camera_state.lookat[k] = vec[k];
    place_camera_on_orbit();
}

void set_camera_lookat(const double vec[3])
{
    float f[3] = {(float)vec[0], (float)vec[1], (float)vec[2]};
    set_camera_lookat(f);
}

void set_camera_pos(const float vec[3])
{
    for (int k = 0; k < 3; k++)
        camera_state.position[k] = vec[k];
    camera_state.height = vec[2];
}

void set_camera_orbit_angle(float angle)
{
    camera_state.angle = angle;
    place_camera_on_orbit();
}

void set_camera_orbit(int angle, float height, float distance)
{
    CameraState &c = camera_state;
    c.distance = distance;
    c.angle = (float)angle;
    c.height = height;
    double a = angle * kDegToRad;
    c.position[0] = (float)(c.lookat[0] + cos(a) * distance);
    c.position[1] = (float)(c.lookat[1] + sin(a) * distance);
    c.position[2] = height;
}

void set_camera_angle_height(float angle, float height)
{
    camera_state.angle = angle;
    camera_state.height = height;
}

void camera_orbit_drag(int kind, float a, float b)
{
    if (kind == 1) {
        camera_state.angle += 0.2f * a;
        camera_state.distance += 0.01f * b;
    } else if (kind == 2) {
        camera_state.height += 0.01f * b;
    }
    place_camera_on_orbit();
}

void apply_held_camera_keys_ghost(int mask, int ghost_on)
{
    if (ghost_on)
        return;
    CameraState &c = camera_state;
    if (mask & CAM_KEY_NEARER)
        c.distance -= 0.3f;
    else if (mask & CAM_KEY_FARTHER)
        c.distance += 0.3f;
    else if (mask & CAM_KEY_TURN_LEFT3)
        c.angle -= 3.0f;
    else if (mask & CAM_KEY_TURN_RIGHT3)
        c.angle += 3.0f;
    else if (mask & CAM_KEY_RAISE)
        c.height_offset += 0.1f;
    else if (mask & CAM_KEY_LOWER)
        c.height_offset -= 0.1f;
    else if (mask & CAM_KEY_TURN_LEFT15)
        c.angle -= 1.5f;
    else if (mask & CAM_KEY_TURN_RIGHT15)
        c.angle += 1.5f;

    if (mask & (CAM_KEY_TURN_LEFT3 | CAM_KEY_TURN_RIGHT3)) {
        if (c.angle > 360.0f)
            c.angle -= 360.0f;
        else if (c.angle < 0.0f)
            c.angle += 360.0f;
    } else if (mask & (CAM_KEY_RAISE | CAM_KEY_LOWER)) {
        if (c.height_offset < -1.0f)
            c.height_offset = -1.0f;
        if (c.height_offset > 2.5f)
            c.height_offset = 2.5f;
    }
    if (c.distance < 0.3f)
        c.distance = 0.3f;
    place_camera_on_orbit();
}

void apply_held_camera_keys(int mask)
{
    apply_held_camera_keys_ghost(mask, match_state.ghost_mode != 0);
}

void set_camera_shake(int amount)
{
    camera_state.shake_amount = amount;
}

void set_shake_offset(const float vec[3])
{
    for (int k = 0; k < 3; k++)
        camera_state.shake_offset[k] = vec[k];
}

void camera_shake_step(MatchState *match, int now)
{
    CameraState &c = camera_state;
    int elapsed = now - c.shake_last_time;
    c.shake_last_time = now;
    if (c.shake_amount <= 0) {
        c.shake_amount = 0;
        c.shake_accum = 0;
        return;
    }
    if ((match && (match->match_frame == 1 || match->game_paused)) || replay_mode == 0 ||
        head_view_mode != 0 || !camera_option("rumble", 0))
        c.shake_amount = 0;

    c.shake_accum += elapsed;
    if (c.shake_accum > 29) {
        c.shake_accum -= 30;
        float s = (float)(c.shake_amount / 30) * 0.0002f * c.distance;
        for (int k = 0; k < 3; k++) {
            c.shake_cursor = (c.shake_cursor + 1) % 12;
            c.shake_offset[k] = s * camera_shake_table[c.shake_cursor];
        }
    }
    c.shake_amount -= elapsed;
    if (c.shake_amount <= 0) {
        for (int k = 0; k < 3; k++)
            c.shake_offset[k] = 0.0f;
        c.shake_accum = 0;
    }
}

void camera_shake_offsets(MatchState *match)
{
    camera_shake_step(match, frame_tick);
}

int camera_target_point(int selected, int online, int engagedistance, int num_fighters,
                        const double *const chest[], const double *const stomach[],
                        double out[3])
{
    if (num_fighters > MAX_FIGHTERS)
        num_fighters = MAX_FIGHTERS;
    if (selected >= 0 && selected < num_fighters && (online || engagedistance > 700)) {
        if (!chest[selected])
            return 1;
        for (int k = 0; k < 3; k++)
            out[k] = chest[selected][k];
        return 0;
    }
    const double *const *from = selected < 0 ? stomach : chest;
    double sum[3] = {0, 0, 0};
    int n = 0;
    for (int i = 0; i < num_fighters; i++) {
        if (!from[i])
            continue;
        for (int k = 0; k < 3; k++)
            sum[k] += from[i][k];
        n++;
    }
    if (n == 0)
        return 1;
    for (int k = 0; k < 3; k++)
        out[k] = sum[k] / n;
    return 0;
}

// The position of body b of player p, or null while the fighter is not built.
static const double *body_position(int p, int b)
{
    dBodyID body = players[p].body[b];
    if (!body)
        return nullptr;
    return dBodyGetPosition(body);
}

void update_camera(MatchState *match, float smoothing)
{
    if (!camera_option("smoothcam", 1))
        smoothing = 0.0f;
    if (camera_outward.camera_hook && camera_outward.camera_hook() != 0)
        return;
    CameraState &c = camera_state;

    if (head_view_mode == 1 || head_view_mode == 2) {
        int from = head_view_mode == 1 ? 0 : 1;
        const double *eye = body_position(from, BODY_HEAD);
        const double *at = body_position(1 - from, BODY_HEAD);
        if (eye && at) {
            for (int k = 0; k < 3; k++) {
                c.position[k] = (float)eye[k];
                c.lookat[k] = (float)at[k];
            }
        }
        camera_shake_offsets(match);
        return;
    }

    int fighters = match ? match->num_players : 0;
    if (fighters > MAX_FIGHTERS)
        fighters = MAX_FIGHTERS;
    const double *chest[MAX_FIGHTERS] = {};
    const double *stomach[MAX_FIGHTERS] = {};
    for (int i = 0; i < fighters; i++) {
        chest[i] = body_position(i, BODY_CHEST);
        stomach[i] = body_position(i, BODY_STOMACH);
    }
    double target[3] = {c.smoothed[0], c.smoothed[1], c.smoothed[2]};
    camera_target_point(selected_player, game_type == 1, current_rules.engagedistance,
                        fighters, chest, stomach, target);

    for (int k = 0; k < 3; k++)
        c.smoothed[k] = target[k] - smoothing * (target[k] - c.smoothed[k]);

    c.height = (float)c.smoothed[2];
    if (c.height < 1.1f)
        c.height = 1.1f;
    c.lookat[0] = (float)c.smoothed[0];
    c.lookat[1] = (float)c.smoothed[1];
    c.lookat[2] = (float)(c.smoothed[2] - 0.5);
    place_camera_on_orbit();
    camera_shake_offsets(match);
}

void reset_camera_view(MatchState *match, int angle)
{
    int ed = current_rules.engagedistance;
    float distance = ed > 400 ? (float)(ed * 0.014) : 4.5f;
    set_camera_orbit(angle, 5.0f, distance);
    update_camera(match, 0.0f);
}

const float *get_camera_pos()
{
    return camera_state.position;
}

const float *get_camera_lookat()
{
    return camera_state.lookat;
}

// The program's platform loop: start-up of SDL, audio and the window, the
// paced frame loop with its event dispatch, and the shut-down after it.
#include "platform/loop.h"

#include <GL/glew.h>
#include <GL/glu.h>
#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "core/outward.h"
#include "core/records.h"
#include "core/text.h"
#include "platform/camera.h"
#include "platform/sound.h"

PlatformOutward platform_outward;

// Option values until the shell binds its rows.
static int32_t default_width = 800, default_height = 600, default_antialiasing = 1,
               default_fullscreen = 0, default_frameskip = 0, default_noreload = 0;
PlatformOptions platform_options = {&default_width,      &default_height,
                                    &default_antialiasing, &default_fullscreen,
                                    &default_frameskip,  &default_noreload};

int running = 1;

// A quit asked for by signal (SIGTERM: the session's or a window manager's
// close; SIGINT: the terminal's) is kept in a flag that every poll reads.
// It is taken from the start of the program, so one that comes before the
// window exists still ends the program in order, and it never passes
// through the event queue, where a video restart drops what waits.
static volatile sig_atomic_t quit_signalled = 0;

static void on_quit_signal(int) { quit_signalled = 1; }

void install_quit_signals()
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_quit_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}
int fullscreen_active;
int start_paused;
int sound_enabled = 1;
int audio_unavailable;
uint8_t input_enabled = 1;
int camera_drag_mode;
int drag_first_motion;
int drag_origin_x, drag_origin_y;
int held_camera_keys;
int camera_keys_enabled = 1;
char caption_text[CAPTION_TEXT];
int32_t last_frame_tick;
int32_t previous_frame_tick;
int32_t frame_interval;
uint8_t frame_skipped;
int32_t frame_delta;
int pov_animation_on;
int pov_frame_count;

static FrameClock frame_clock = {0, 0, 1, 0};
static int32_t input_release_tick;
static SDL_Cursor *arrow_cursor;
static SDL_Cursor *pick_cursor;

static int32_t ticks_now() { return (int32_t)SDL_GetTicks(); }

// ---- pure pieces ------------------------------------------------------------------

int pacing_delay(int32_t interval)
{
    if (interval >= 16)
        return 0;
    if (interval < 0)   // the clock went back: sleep a whole frame at most
        return 16;
    return 16 - interval;
}

int frame_clock_step(FrameClock *clock, int32_t now, int frameskip, int32_t *delta)
{
    if (!clock->started) {
        clock->previous_tick = now;
        clock->started = 1;
    }
    if (clock->resync) {
        clock->last_drawn_tick = now;
        clock->resync = 0;
    }
    if (delta)
        *delta = tick_diff(now, clock->previous_tick);
    clock->previous_tick = now;
    if (!frameskip) {
        clock->resync = 1;
        return 0;
    }
    int32_t late = tick_diff(now, clock->last_drawn_tick);
    if (late > 17) {
        clock->last_drawn_tick = tick_add(now, late);
        return 1;
    }
    clock->last_drawn_tick = now;
    return 0;
}

int is_fullscreen_toggle_key(int sym, int mod)
{
    if (sym == SDLK_RETURN && (mod == KMOD_LCTRL || mod == KMOD_RCTRL))
        return 1;
    if ((sym == SDLK_RETURN || sym == SDLK_KP_ENTER) && mod == (KMOD_LCTRL | KMOD_NUM))
        return 1;
    return 0;
}

void format_fps_caption(char *out, int size, const char *caption, int frames,
                        int32_t elapsed_ms)
{
    if (elapsed_ms < 1)
        elapsed_ms = 1;
    snprintf(out, (size_t)size, "ZYLOMACH %s fps:%.0f", caption ? caption : "",
             frames * 1000.0 / elapsed_ms);
}

// ---- small switches -----------------------------------------------------------------

void set_caption_text(const char *text)
{
    n_strncpyz(caption_text, text ? text : "", sizeof caption_text);
}

void enable_camera_keys() { camera_keys_enabled = 1; }
void disable_camera_keys() { camera_keys_enabled = 0; }

void lock_input(float seconds, int value)
{
    input_enabled = (uint8_t)value;
    input_release_tick = tick_add(ticks_now(), (int32_t)(seconds * 1000.0f));
}

int input_lock_expired()
{
    if (tick_diff(ticks_now(), input_release_tick) >= 0) {
        input_enabled = 1;
        return 1;
    }
    return 0;
}

void toggle_pov_animation()
{
    pov_animation_on = !pov_animation_on;
    if (pov_animation_on) {
        pov_frame_count = 0;
        if (!platform_outward.pov_begin_animation || platform_outward.pov_begin_animation() != 0) {
            echo_message("Unable to open raytrace/animation.pov", MSG_INGAME);
            pov_animation_on = 0;
            return;
        }
        echo_message("Saving frames to raytrace/animation.pov. Hit ctrl-F7 to stop.",
                     MSG_INGAME);
    } else {
        char line[64];
        snprintf(line, sizeof line, "Wrote %i animation frames", pov_frame_count);
        echo_message(line, MSG_INGAME);
        if (platform_outward.pov_end_animation)
            platform_outward.pov_end_animation();
    }
}

// ---- events -------------------------------------------------------------------------

static void mouse_ray_motion(AppCallbacks *callbacks, int mods, int pick, int x, int y)
{
    double near_point[3], far_point[3];
    unproject_mouse(x, y, near_point, far_point);
    if (callbacks->mouse_motion)
        callbacks->mouse_motion(mods, pick, near_point, far_point, x, y);
}

static void handle_motion(AppCallbacks *callbacks, const SDL_MouseMotionEvent &m)
{
    int ghost_on = match_state.ghost_mode != 0;
    if (camera_drag_mode == 2) {
        if (drag_first_motion) {
            drag_first_motion = 0;
            drag_origin_y = m.y;
            return;
        }
        if (ghost_on)
            return;
        const int turns = CAM_KEY_TURN_LEFT3 | CAM_KEY_TURN_RIGHT3;
        if (m.y < drag_origin_y)
            held_camera_keys = (held_camera_keys & (turns | CAM_KEY_RAISE)) | CAM_KEY_RAISE;
        else
            held_camera_keys = (held_camera_keys & (turns | CAM_KEY_LOWER)) | CAM_KEY_LOWER;
        drag_origin_y = m.y;
        return;
    }
    if (camera_drag_mode == 1) {
        if (drag_first_motion) {
            drag_first_motion = 0;
            drag_origin_x = m.x;
            drag_origin_y = m.y;
        } else if (!ghost_on) {
            camera_orbit_drag(1, (float)m.xrel, (float)m.yrel);
        }
    }
    if (m.state) {
        if (platform_outward.on_mouse_move)
            platform_outward.on_mouse_move(m.state, m.x, m.y);
    } else {
        mouse_ray_motion(callbacks, 0, 0, m.x, m.y);
    }
}

static void handle_event(AppCallbacks *callbacks, const SDL_Event &e)
{
    switch (e.type) {
    case SDL_KEYDOWN: {
        int consumed = 0;
        if (callbacks->key)
            consumed = callbacks->key(e.key.keysym.sym, e.key.keysym.unicode,
                                      e.key.keysym.mod, 1);
        if (!consumed && e.key.keysym.sym == SDLK_F7 &&
            (e.key.keysym.mod & (KMOD_LCTRL | KMOD_RCTRL)))
            toggle_pov_animation();
        break;
    }
    case SDL_KEYUP:
        if (is_fullscreen_toggle_key(e.key.keysym.sym, e.key.keysym.mod)) {
            toggle_fullscreen();
        } else if (callbacks->key) {
            callbacks->key(e.key.keysym.sym, e.key.keysym.unicode, e.key.keysym.mod, 0);
        }
        break;
    case SDL_MOUSEBUTTONDOWN: {
        const SDL_MouseButtonEvent &b = e.button;
        if (b.button == SDL_BUTTON_LEFT) {
            mouse_ray_motion(callbacks, SDL_GetModState() & 3, 1, b.x, b.y);
        } else if (b.button == SDL_BUTTON_RIGHT) {
            camera_drag_mode = 1;
            grab_mouse();
        }
        if (callbacks->mouse_button)
            callbacks->mouse_button(SDL_MOUSEBUTTONDOWN, b.button, b.x, b.y);
        break;
    }
    case SDL_MOUSEBUTTONUP: {
        const SDL_MouseButtonEvent &b = e.button;
        if (callbacks->mouse_button)
            callbacks->mouse_button(SDL_MOUSEBUTTONUP, b.button, b.x, b.y);
        if (camera_drag_mode && (b.button == 3 || b.button == 4)) {
            release_mouse();
            camera_drag_mode = 0;
        }
        break;
    }
    case SDL_MOUSEMOTION:
        handle_motion(callbacks, e.motion);
        break;
    case SDL_ACTIVEEVENT:
        // The GL context may have gone while the window was iconified.
        if ((e.active.state & SDL_APPACTIVE) && e.active.gain && !*platform_options.noreload)
            reinit_video();
        break;
    default:
        break;
    }
}

void poll_events(AppCallbacks *callbacks)
{
    previous_frame_tick = last_frame_tick;
    int32_t now = ticks_now();
    last_frame_tick = now;
    frame_interval = tick_diff(now, previous_frame_tick);
    int delay = pacing_delay(frame_interval);
    if (delay > 0)
        SDL_Delay((Uint32)delay);
    last_frame_tick = ticks_now();
    // What the mixer's finished hook marked is done here, on this thread.
    poll_music_finished();

    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (e.type == SDL_QUIT || quit_signalled) {
            running = 0;
            continue;
        }
        if (!input_enabled)
            continue;
        handle_event(callbacks, e);
    }
    if (quit_signalled)
        running = 0;

    if (camera_keys_enabled && held_camera_keys) {
        apply_held_camera_keys(held_camera_keys);
        int x = 0, y = 0;
        SDL_GetMouseState(&x, &y);
        double near_point[3], far_point[3];
        unproject_mouse(x, y, near_point, far_point);
        if (platform_outward.pick_joint)
            platform_outward.pick_joint(0, 0, near_point, far_point, x, y);
    }
}

// ---- the frame ----------------------------------------------------------------------

void begin_frame(int width, int height, AppCallbacks *callbacks, int paused)
{
    int32_t now = ticks_now();
    frame_skipped = (uint8_t)frame_clock_step(&frame_clock, now, *platform_options.frameskip,
                                              &frame_delta);
    if (!frame_skipped) {
        glClearDepth(1.0);
        glClearStencil(0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        // Texturing stays off until a textured shape turns it on: the first
        // plain shape of a frame must not take the last bound texture.
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
        glShadeModel(GL_FLAT);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        glFrontFace(GL_CCW);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        const CameraState &c = camera_state;
        gluLookAt(c.position[0] + c.shake_offset[0], c.position[1] + c.shake_offset[1],
                  c.position[2] + c.shake_offset[2], c.lookat[0], c.lookat[1], c.lookat[2],
                  0.0, 0.0, 1.0);
        const GLfloat light[4] = {c.position[0], c.position[1], c.position[2], 1.0f};
        glLightfv(GL_LIGHT0, GL_POSITION, light);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    }
    if (callbacks->step)
        callbacks->step(paused);
}

void update_fps_caption()
{
    static int frame_counter = 1;
    static int32_t last_update;
    static int have_last;
    int32_t now = ticks_now();
    if (!have_last) {
        last_update = now;
        have_last = 1;
    }
    frame_counter++;
    if (frame_counter % 100 != 0)
        return;
    char text[256];
    format_fps_caption(text, sizeof text, caption_text, 100, tick_diff(now, last_update));
    last_update = now;
    SDL_WM_SetCaption(text, nullptr);
}

void draw_frame(AppCallbacks *callbacks)
{
    begin_frame(*platform_options.width, *platform_options.height, callbacks, start_paused);
    if (!frame_skipped)
        SDL_GL_SwapBuffers();
    if (!start_paused && pov_animation_on) {
        pov_frame_count++;
        if (platform_outward.pov_write_frame)
            platform_outward.pov_write_frame(pov_frame_count);
    }
    update_fps_caption();
}

// ---- start-up and shut-down ---------------------------------------------------------

static SDL_Cursor *make_cursor(const char *const image[33])
{
    uint8_t data[128], mask[128];
    int hot_x, hot_y;
    build_cursor_bits(image, data, mask, &hot_x, &hot_y);
    return SDL_CreateCursor(data, mask, 32, 32, hot_x, hot_y);
}

void run_main_loop(AppCallbacks *callbacks, int paused)
{
    start_paused = paused;
    // A loop that begins runs until it is asked to end, whatever an earlier
    // one in this process ended with; a quit asked for during start-up
    // (below) still ends it before its first frame.
    running = 1;
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) < 0) {
        fprintf(stderr, "Unable to initialize SDL: %s\n", SDL_GetError());
        exit_program(1);
    }
    set_video_mode(*platform_options.width, *platform_options.height, fullscreen_active);

    if (Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 4096) != 0) {
        fprintf(stderr, "Unable to open audio: %s\n", Mix_GetError());
        audio_unavailable = 1;
        sound_enabled = 0;
    }

    SDL_EnableKeyRepeat(500, 30);
    SDL_EnableUNICODE(1);

    arrow_cursor = make_cursor(arrow_cursor_image);
    pick_cursor = make_cursor(pick_cursor_image);
    if (arrow_cursor)
        SDL_SetCursor(arrow_cursor);
    else
        fprintf(stderr, "Failed to create custom cursor\n");

    if (!audio_unavailable && platform_outward.load_sound_effects)
        platform_outward.load_sound_effects();

    SDL_WM_SetCaption("ZYLOMACH", nullptr);

    init_gl_state();
    if (platform_outward.load_world_shader_preset)
        platform_outward.load_world_shader_preset();
    if (platform_outward.load_render_resources)
        platform_outward.load_render_resources();
    if (platform_outward.init_session)
        platform_outward.init_session();
    if (callbacks->start)
        callbacks->start();

    last_frame_tick = ticks_now();
    while (running) {
        poll_events(callbacks);
        draw_frame(callbacks);
    }

    if (platform_outward.save_all_at_exit)
        platform_outward.save_all_at_exit();
    if (callbacks->stop)
        callbacks->stop();
    if (platform_outward.shutdown_renderer)
        platform_outward.shutdown_renderer();
    if (arrow_cursor) {
        SDL_FreeCursor(arrow_cursor);
        arrow_cursor = nullptr;
    }
    if (pick_cursor) {
        SDL_FreeCursor(pick_cursor);
        pick_cursor = nullptr;
    }
    if (sound_enabled)
        Mix_CloseAudio();
    SDL_Quit();
    video_surface = nullptr;
    if (sound_enabled && platform_outward.free_sound_effects)
        platform_outward.free_sound_effects();
}

SDL_Cursor *get_pick_cursor() { return pick_cursor; }

void set_system_cursor(int which)
{
    SDL_Cursor *cursor = which == 2 ? pick_cursor : arrow_cursor;
    if (cursor && SDL_GetCursor() != cursor)
        SDL_SetCursor(cursor);
}

int platform_main(int argc, char **argv, int width, int height, AppCallbacks *callbacks)
{
    if (platform_outward.reset_draw_state)
        platform_outward.reset_draw_state();
    int pause = 0;
    for (int i = 1; i < argc; i++) {
        if (!argv[i])
            continue;
        // "-notex", "-noshadow(s)" and "-full" name states that are already
        // the start-up ones.
        if (strcmp(argv[i], "-pause") == 0)
            pause = 1;
    }
    if (platform_outward.init_glut)
        platform_outward.init_glut(&argc, argv);
    run_main_loop(callbacks, pause);
    return 0;
}

// Frames per second of the shader scene at 800 x 600 with every pass on
// (sky, reflection, stencil shadows and sun light, floor occlusion, fluid
// blood, floor stains, ordered translucency, motion blur): a match in
// progress (both fighters moving every joint, turn after turn) simulated and
// drawn through the platform's frame, buffers swapped each frame. Then the
// same with one pass off at a time, to show what costs most. Run it under a
// virtual X server for the software renderer's figure.
#include <GL/glew.h>
#include <SDL/SDL.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/world.h"
#include "platform/camera.h"
#include "platform/loop.h"
#include "render/fighter_draw.h"
#include "render/gl_draw.h"
#include "platform/screenshot.h"
#include "render/scene.h"
#include "render/draw_queue.h"
#include "render/scene_passes.h"
#include "render/shader_setup.h"
#include "render/world_shader.h"
#include "shell/options.h"
#include "shell/palette.h"

#include "bench/match_in_progress.h"

namespace {

const int W = 800, H = 600, WARMUP = 120, FRAMES = 200, PART_FRAMES = 60;

void all_passes_on()
{
    const int rows[] = {OPT_SHADERS,      OPT_FLUID,         OPT_REFLECTION, OPT_SOFTSHADOW,
                        OPT_AMBIENTOCCLUSION, OPT_TRANSPARENCY, OPT_MOTIONBLUR, OPT_BLOODSTAINS};
    for (int row : rows)
        set_option(row, 1);
    world_shader.sharp_shadow = 1;
    world_shader.sky_on = 1;
}

double process_cpu_s()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// Processor time of the whole process (all renderer threads) per frame of
// the last measurement: the work, whatever else the machine runs.
double last_cpu_ms_per_frame = 0;

double measure(AppCallbacks *callbacks, int frames)
{
    for (int i = 0; i < 10; i++) {
        begin_frame(W, H, callbacks, 0);
        SDL_GL_SwapBuffers();
    }
    glFinish();
    double t0 = now_s(), c0 = process_cpu_s();
    for (int i = 0; i < frames; i++) {
        begin_frame(W, H, callbacks, 0);
        SDL_GL_SwapBuffers();
    }
    glFinish();
    double elapsed = now_s() - t0;
    last_cpu_ms_per_frame = 1000 * (process_cpu_s() - c0) / frames;
    return elapsed > 0 ? frames / elapsed : 0.0;
}

}  // namespace

int main()
{
    if (open_bench_match(W, H) != 0)
        return 1;
    bind_render_option_refs();
    bind_shader_renderer();
    all_passes_on();
    glViewport(0, 0, W, H);
    set_perspective_fov(50);
    load_render_resources();
    reset_camera_view(&match_state, 0);
    match_state.game_paused = 0;

    if (!shaders_active) {
        fprintf(stderr, "scene_bench: the shader renderer did not start\n");
        return 1;
    }
    AppCallbacks callbacks = {};
    callbacks.step = step;
    for (int i = 0; i < WARMUP; i++) {
        begin_frame(W, H, &callbacks, 0);
        SDL_GL_SwapBuffers();
    }
    printf("shader_scene_fps %.1f\n", measure(&callbacks, FRAMES));
    printf("shader_scene_cpu_ms_per_frame %.1f\n", last_cpu_ms_per_frame);
    printf("queued_objects %d occluders %d\n", draw_queue.count, occluder_count);

    // Where the time goes: each pass finished and timed on its own.
    scene_pass_timing = 1;
    memset(scene_pass_seconds, 0, sizeof scene_pass_seconds);
    double t0 = now_s();
    for (int i = 0; i < PART_FRAMES; i++) {
        begin_frame(W, H, &callbacks, 0);
        SDL_GL_SwapBuffers();
    }
    glFinish();
    double total = now_s() - t0;
    scene_pass_timing = 0;
    double passes = 0;
    for (int k = 0; k < SCENE_PASS_KINDS; k++) {
        printf("pass_ms_%s %.2f\n", scene_pass_names[k], 1000 * scene_pass_seconds[k] / PART_FRAMES);
        passes += scene_pass_seconds[k];
    }
    printf("pass_ms_rest_of_frame %.2f\n", 1000 * (total - passes) / PART_FRAMES);

    // One pass off at a time: the gain is what that pass costs.
    struct Part {
        const char *name;
        int row;          // an option row, or -1 for a world shader flag
        int32_t *flag;
    } parts[] = {
        {"reflection", OPT_REFLECTION, nullptr},
        {"stencil_shadows_and_sun", -1, &world_shader.sharp_shadow},
        {"sky", -1, &world_shader.sky_on},
        {"ambient_occlusion", OPT_AMBIENTOCCLUSION, nullptr},
        {"soft_floor_shadow", OPT_SOFTSHADOW, nullptr},
        {"transparency", OPT_TRANSPARENCY, nullptr},
        {"motion_blur", OPT_MOTIONBLUR, nullptr},
        {"fluid_blood", OPT_FLUID, nullptr},
    };
    for (const Part &p : parts) {
        int kept = p.row >= 0 ? get_option(p.row) : *p.flag;
        if (p.row >= 0)
            set_option(p.row, 0);
        else
            *p.flag = 0;
        printf("shader_scene_fps_without_%s %.1f\n", p.name, measure(&callbacks, PART_FRAMES));
        if (p.row >= 0)
            set_option(p.row, kept);
        else
            *p.flag = kept;
    }

    // The shadow volumes at their full reach (the same picture): what
    // cutting them to the objects they can fall on saves.
    // Measured in turns with the cut volumes, as the match moves on.
    double cut = 0, full = 0;
    for (int round = 0; round < 3; round++) {
        shadow_volumes_full_reach = 1;
        full += measure(&callbacks, PART_FRAMES) / 3;
        shadow_volumes_full_reach = 0;
        cut += measure(&callbacks, PART_FRAMES) / 3;
    }
    printf("shader_scene_fps_with_full_reach_volumes %.1f (cut: %.1f)\n", full, cut);

    shutdown_renderer();
    game_shutdown();
    SDL_Quit();
    return 0;
}

// Frames per second of the fixed-function scene at 800 x 600: a match in
// progress (both fighters moving every joint, turn after turn) simulated and
// drawn through the platform's frame, buffers swapped each frame. Run it
// under a virtual X server for the software renderer's figure.
#include <GL/glew.h>
#include <SDL/SDL.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/world.h"
#include "platform/camera.h"
#include "platform/loop.h"
#include "render/fighter_draw.h"
#include "render/gl_draw.h"
#include "render/scene.h"
#include "shell/options.h"
#include "shell/palette.h"

#include "bench/match_in_progress.h"

namespace {

const int W = 800, H = 600, WARMUP = 30, FRAMES = 400;

}  // namespace

int main()
{
    if (open_bench_match(W, H) != 0)
        return 1;
    glViewport(0, 0, W, H);
    set_perspective_fov(50);
    load_render_resources();
    reset_camera_view(&match_state, 0);
    match_state.game_paused = 0;

    AppCallbacks callbacks = {};
    callbacks.step = step;
    for (int i = 0; i < WARMUP; i++) {
        begin_frame(W, H, &callbacks, 0);
        SDL_GL_SwapBuffers();
    }
    glFinish();
    double t0 = now_s();
    for (int i = 0; i < FRAMES; i++) {
        begin_frame(W, H, &callbacks, 0);
        SDL_GL_SwapBuffers();
    }
    glFinish();
    double elapsed = now_s() - t0;
    printf("fixed_scene_fps %.1f\n", elapsed > 0 ? FRAMES / elapsed : 0.0);

    shutdown_renderer();
    game_shutdown();
    SDL_Quit();
    return 0;
}

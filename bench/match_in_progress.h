// A match in progress for the scene benchmarks: both fighters move every
// joint, the moves changing every ten frames, simulated with plain contacts
// and drawn through draw_scene once a frame.
#pragma once

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
#include "render/scene.h"
#include "shell/options.h"
#include "shell/palette.h"

// Not every benchmark uses every piece.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"

namespace {

double now_s()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

int palette(int index, float *rgb)
{
    get_colour_rgb(index, rgb);
    return 0;
}

// A GL window of w x h (with stencil and depth) and a live local match in a
// built world, its options and colours the game's own; 0 when it stands.
int open_bench_match(int w, int h)
{
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        fprintf(stderr, "scene_bench: no video: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    if (!SDL_SetVideoMode(w, h, 0, SDL_OPENGL)) {
        fprintf(stderr, "scene_bench: no GL window: %s\n", SDL_GetError());
        return 1;
    }
    glewInit();
    view_width = w;
    view_height = h;
    core_outward.get_option = option_by_name;
    core_outward.palette_colour = palette;
    game_init();
    replay_mode = REPLAY_LIVE;   // a live local match: joints drawn by state
    game_type = 0;
    init_gl_state();
    return 0;
}

void set_match_moves(int turn)
{
    for (int p = 0; p < 2; p++)
        for (int j = 0; j < NUM_JOINTS; j++) {
            int s = (turn + j + p) % 4;
            players[p].joint_state[j] = s + 1;
            double v = joint_velocity(p, j);
            dJointSetHingeParam(players[p].hinge[j], dParamVel, s == 0 ? -v : s == 1 ? v : 0);
            dJointSetHingeParam(players[p].hinge[j], dParamFMax,
                                s == 3 ? 0 : joint_strength(p, j));
        }
}

// Plain contacts: bounce and soft CFM, no damage.
void contacts(void *, dGeomID a, dGeomID b)
{
    dBodyID ba = dGeomGetBody(a), bb = dGeomGetBody(b);
    if (ba && bb && dAreConnectedExcluding(ba, bb, dJointTypeContact))
        return;
    dContact c[8];
    memset(c, 0, sizeof c);
    for (int i = 0; i < 8; i++) {
        c[i].surface.mode = dContactBounce | dContactSoftCFM;
        c[i].surface.mu = ba && bb ? 0.3 : current_world.ground_mu;
        c[i].surface.bounce = 0.1;
        c[i].surface.bounce_vel = 0.05;
        c[i].surface.soft_cfm = 0.1;
    }
    int n = dCollide(a, b, 8, &c[0].geom, sizeof(dContact));
    for (int i = 0; i < n; i++)
        dJointAttach(dJointCreateContact(physics_world, contact_group, &c[i]), ba, bb);
}

int frame_no;
// The step callback of the benchmark's frames.
void step(int)
{
    if (frame_no % 10 == 0)
        set_match_moves(frame_no / 10);
    dSpaceCollide(live_space, nullptr, contacts);
    dWorldStep(physics_world, world_step_size);
    dJointGroupEmpty(contact_group);
    draw_scene(&match_state, &current_rules);
    frame_no++;
}

}  // namespace

#pragma GCC diagnostic pop

// Cost of the match core's frame step against the bare physics it wraps.
// Simulates default matches headless through step_frame, then the same
// number of frames of dSpaceCollide + dWorldStep on the same world with
// plain contacts, and prints microseconds per frame of each and their ratio.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/step.h"
#include "core/world.h"

#include "bench/match_in_progress.h"

namespace {

const int MATCHES = 6;

double now_us()
{
    using namespace std::chrono;
    return duration<double, std::micro>(steady_clock::now().time_since_epoch()).count();
}

void default_rules()
{
    memset(&current_rules, 0, sizeof current_rules);
    current_rules.matchframes = 500;
    current_rules.turnframes[0] = 10;
    current_rules.turnframes_count = 1;
    current_rules.match_mode = 1;
}

// The same moves in both runs: every joint forward, back, hold or relax,
// changing each turn.
void set_moves(int turn)
{
    for (int p = 0; p < 2; p++)
        for (int j = 0; j < NUM_JOINTS; j++) {
            int s = (turn + j + p) % 4;
            double v = joint_velocity(p, j);
            dJointSetHingeParam(players[p].hinge[j], dParamVel, s == 0 ? -v : s == 1 ? v : 0);
            dJointSetHingeParam(players[p].hinge[j], dParamFMax,
                                s == 3 ? 0 : joint_strength(p, j));
        }
}

}  // namespace

int main()
{
    double step_time = 0;
    long match_frames = 0;
    for (int m = 0; m < MATCHES; m++) {
        game_init();
        default_rules();
        replay_mode = REPLAY_LIVE;
        int turn = 0;
        while (!match_state.game_over) {
            // Between turns (paused, or the next turn's ghost preview runs).
            if (match_state.game_paused || match_state.ghost_mode != GHOST_OFF) {
                set_moves(turn++);
                start_turn(0);
            }
            double t0 = now_us();
            step_frame(0);
            step_time += now_us() - t0;
        }
        match_frames += match_state.match_frame;
        game_shutdown();
    }

    double bare_time = 0;
    long bare_frames = 0;
    for (int m = 0; m < MATCHES; m++) {
        game_init();
        default_rules();
        for (int frame = 0; frame < 500; frame++) {
            if (frame % 10 == 0)
                set_moves(frame / 10);
            double t0 = now_us();
            dSpaceCollide(live_space, nullptr, contacts);
            dWorldStep(physics_world, world_step_size);
            dJointGroupEmpty(contact_group);
            bare_time += now_us() - t0;
            bare_frames++;
        }
        game_shutdown();
    }

    double step_us = step_time / (match_frames ? match_frames : 1);
    double bare_us = bare_time / (bare_frames ? bare_frames : 1);
    printf("step_frame_us %.3f\n", step_us);
    printf("bare_ode_us %.3f\n", bare_us);
    printf("ratio %.3f\n", bare_us > 0 ? step_us / bare_us : 0.0);
    return 0;
}

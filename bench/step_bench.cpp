// Cost of the match core's frame step against the bare physics it wraps.
// Simulates default matches headless through step_frame, then the same
// number of frames of dSpaceCollide + dWorldStep on the same world with
// plain contacts, and prints microseconds per frame of each and their ratio.
// The bare loop plays its own fight (plain contacts, no damping), so its
// contacts and joint limits are not the match's; a third figure therefore
// collides and steps bare from the very states the match's frames started
// from (recorded in a second, untimed run of the same matches), which is
// the physics work of the match's own frames without the game's code.
//
// The three loops take turns for ROUNDS rounds and each figure is the
// least time per frame of its rounds, so a burst of other work on the
// machine during one loop does not tilt the ratios.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/step.h"
#include "core/blood.h"
#include "core/world.h"

#include "bench/match_in_progress.h"

namespace {

const int MATCHES = 6;
const int ROUNDS = 5;

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

// The world as a live frame's collision pass meets it: the fighters'
// bodies (with the forces the frame has added), their motors, the drops.
struct FrameState {
    double body[2][NUM_BODIES][19];
    double motor[2][NUM_JOINTS][2];
    int drop_on[NUM_BLOOD_DROPS];
    double drop[NUM_BLOOD_DROPS][13];
};
std::vector<FrameState> recorded;

void get_body(dBodyID b, double *v)
{
    memcpy(v, dBodyGetPosition(b), 3 * sizeof(double));
    memcpy(v + 3, dBodyGetQuaternion(b), 4 * sizeof(double));
    memcpy(v + 7, dBodyGetLinearVel(b), 3 * sizeof(double));
    memcpy(v + 10, dBodyGetAngularVel(b), 3 * sizeof(double));
}

void set_body(dBodyID b, const double *v)
{
    dBodySetPosition(b, v[0], v[1], v[2]);
    dBodySetQuaternion(b, v + 3);
    dBodySetLinearVel(b, v[7], v[8], v[9]);
    dBodySetAngularVel(b, v[10], v[11], v[12]);
}

// Called by the step just before its collision pass.
void record_frame()
{
    if (match_state.ghost_mode != GHOST_OFF)
        return;
    FrameState f;
    for (int p = 0; p < 2; p++) {
        for (int i = 0; i < NUM_BODIES; i++) {
            dBodyID b = players[p].body[i];
            get_body(b, f.body[p][i]);
            memcpy(f.body[p][i] + 13, dBodyGetForce(b), 3 * sizeof(double));
            memcpy(f.body[p][i] + 16, dBodyGetTorque(b), 3 * sizeof(double));
        }
        for (int j = 0; j < NUM_JOINTS; j++) {
            f.motor[p][j][0] = dJointGetHingeParam(players[p].hinge[j], dParamVel);
            f.motor[p][j][1] = dJointGetHingeParam(players[p].hinge[j], dParamFMax);
        }
    }
    for (int i = 0; i < NUM_BLOOD_DROPS; i++) {
        f.drop_on[i] = dBodyIsEnabled(blood_drops[i].body) && dGeomIsEnabled(blood_drops[i].geom);
        get_body(blood_drops[i].body, f.drop[i]);
    }
    recorded.push_back(f);
}

void load_frame(const FrameState &f)
{
    for (int p = 0; p < 2; p++) {
        for (int i = 0; i < NUM_BODIES; i++) {
            dBodyID b = players[p].body[i];
            const double *v = f.body[p][i];
            set_body(b, v);
            dBodySetForce(b, v[13], v[14], v[15]);
            dBodySetTorque(b, v[16], v[17], v[18]);
        }
        for (int j = 0; j < NUM_JOINTS; j++) {
            dJointSetHingeParam(players[p].hinge[j], dParamVel, f.motor[p][j][0]);
            dJointSetHingeParam(players[p].hinge[j], dParamFMax, f.motor[p][j][1]);
        }
    }
    for (int i = 0; i < NUM_BLOOD_DROPS; i++) {
        const BloodDrop &d = blood_drops[i];
        if (f.drop_on[i]) {
            dBodyEnable(d.body);
            dGeomEnable(d.geom);
            set_body(d.body, f.drop[i]);
        } else {
            dBodyDisable(d.body);
            dGeomDisable(d.geom);
        }
    }
}

// One run of the benchmark's matches; returns the microseconds spent in step_frame.
double play_matches(long *frames)
{
    double t = 0;
    *frames = 0;
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
            t += now_us() - t0;
        }
        *frames += match_state.match_frame;
        game_shutdown();
    }
    return t;
}

// Bare collide + step of default matches with the bench's own moves;
// returns the microseconds spent.
double play_bare(long *frames)
{
    double t = 0;
    *frames = 0;
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
            t += now_us() - t0;
            (*frames)++;
        }
        game_shutdown();
    }
    return t;
}

// Bare collide + step from each recorded frame's state: the match's own
// physics. Returns the microseconds spent.
double play_recorded(long *frames)
{
    double t = 0;
    *frames = 0;
    game_init();
    default_rules();
    for (const FrameState &f : recorded) {
        load_frame(f);
        double t0 = now_us();
        dSpaceCollide(live_space, nullptr, contacts);
        dWorldStep(physics_world, world_step_size);
        dJointGroupEmpty(contact_group);
        t += now_us() - t0;
        (*frames)++;
    }
    game_shutdown();
    return t;
}

double per_frame(double us, long frames)
{
    return us / (frames ? frames : 1);
}

}  // namespace

int main()
{
    // The matches once, untimed, noting each live frame's state.
    core_outward.play_motion_sounds = record_frame;
    long match_frames = 0;
    play_matches(&match_frames);
    core_outward.play_motion_sounds = nullptr;

    double step_us = 0, bare_us = 0, same_us = 0;
    for (int round = 0; round < ROUNDS; round++) {
        long frames = 0;
        double spent = play_matches(&frames);
        double us = per_frame(spent, frames);
        if (frames != match_frames)
            fprintf(stderr, "step_bench: round %d played %ld frames, not %ld\n", round, frames,
                    match_frames);
        if (round == 0 || us < step_us)
            step_us = us;
        spent = play_bare(&frames);
        us = per_frame(spent, frames);
        if (round == 0 || us < bare_us)
            bare_us = us;
        spent = play_recorded(&frames);
        us = per_frame(spent, frames);
        if (round == 0 || us < same_us)
            same_us = us;
    }

    printf("step_frame_us %.3f\n", step_us);
    printf("bare_ode_us %.3f\n", bare_us);
    printf("ratio %.3f\n", bare_us > 0 ? step_us / bare_us : 0.0);
    printf("bare_ode_same_states_us %.3f\n", same_us);
    printf("ratio_same_states %.3f\n", same_us > 0 ? step_us / same_us : 0.0);
    return 0;
}

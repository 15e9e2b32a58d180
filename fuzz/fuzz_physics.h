// Shared by the physics targets (linked with
//   -Wl,--wrap=dWorldStep -Wl,--wrap=dJointCreateContact):
// frames stepped through the game's own frame step, with a guard against
// crowded worlds.
//
// The world step solves all contacts of an island as one dense system, so
// its cost grows with the cube of the contact count: a state with the
// bodies of both fighters piled on one point (rows a replay line leaves out
// stay at zero) takes a second or more per frame, and a target that steps
// it runs a handful of inputs a minute. The guard counts the contact joints
// the game's collision pass makes; when a frame's pass made more than
// CROWD_CONTACTS, that frame's world step is left out and the input's
// stepping ends there. Such an input has still gone through everything up
// to the step (reading, the world build, placement, the records, the
// collision pass and its damage bookkeeping).
#pragma once

#include "core/records.h"
#include "core/step.h"
#include "core/world.h"

#include <ode/ode.h>

namespace fuzz_physics {

enum { CROWD_CONTACTS = 120 };

inline int contacts_this_frame;
inline int crowded;   // a step was left out since the last reset

// Steps up to frames frames; fewer when the match ends or the world is
// crowded. Returns the frames stepped.
inline int step_frames(int frames)
{
    int done = 0;
    for (; done < frames && !match_state.game_over && !crowded; done++)
        step_frame(0);
    return done;
}

}  // namespace fuzz_physics

extern "C" {
dJointID __real_dJointCreateContact(dWorldID, dJointGroupID, const dContact *);
int __real_dWorldStep(dWorldID, dReal);

dJointID __wrap_dJointCreateContact(dWorldID w, dJointGroupID g, const dContact *c)
{
    fuzz_physics::contacts_this_frame++;
    return __real_dJointCreateContact(w, g, c);
}

int __wrap_dWorldStep(dWorldID w, dReal step)
{
    int n = fuzz_physics::contacts_this_frame;
    fuzz_physics::contacts_this_frame = 0;
    if (n > fuzz_physics::CROWD_CONTACTS) {
        fuzz_physics::crowded = 1;
        return 1;
    }
    return __real_dWorldStep(w, step);
}
}

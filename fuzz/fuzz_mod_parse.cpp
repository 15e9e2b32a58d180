// fuzz-kind: parse
// fuzz-corpus: mod
// fuzz-dict: mod
//
// The mod reader alone: a file of any bytes read, by the reader the game
// uses, into the fighters' body and joint tables, the environment objects,
// the world values and (inside "gamerule") the rules; then the tables are
// handed to the players as a game start does. No world is built
// (fuzz_mod_physics does that). Every input starts from the same rules.
#include "core/mod.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/world.h"
#include "fuzz/fuzz_mod_input.h"

#include <cmath>

static void finite_or_trap(const float *v, int n)
{
    for (int k = 0; k < n; k++)
        if (!std::isfinite(v[k]))
            __builtin_trap();
}

static void finite_or_trap(const double *v, int n)
{
    for (int k = 0; k < n; k++)
        if (!std::isfinite(v[k]))
            __builtin_trap();
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz_mod::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *path = fuzz_mod::begin_input(data, size);
    if (!path)
        return 0;
    if (read_mod(path) != 0)
        return 0;
    assign_player_templates();
    // What the reader let through is what the world will be built from:
    // every number is finite, every size and mass at least 0, every shape
    // one the world knows.
    finite_or_trap(mod_world.gravity, 3);
    for (int s = 0; s < MOD_TEMPLATE_SETS; s++) {
        for (int b = 0; b < NUM_BODIES; b++) {
            const BodyDef &d = mod_body_sets[s][b];
            finite_or_trap(d.position, 3);
            finite_or_trap(d.rotation, 3);
            finite_or_trap(d.sides, 3);
            finite_or_trap(d.alt_sides, 3);
            finite_or_trap(d.force, 3);
            if (d.shape < 0 || d.shape > 2 || d.sides[0] < 0 || d.sides[1] < 0 || d.sides[2] < 0)
                __builtin_trap();
        }
        for (int j = 0; j < NUM_JOINTS; j++) {
            const JointDef &d = mod_joint_sets[s][j];
            finite_or_trap(d.anchor, 3);
            finite_or_trap(d.axis, 3);
            finite_or_trap(&d.radius, 1);
            finite_or_trap(&d.strength, 1);
            finite_or_trap(&d.velocity, 1);
            if (d.radius < 0)
                __builtin_trap();
        }
    }
    for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
        const EnvObject &o = mod_world.objects[i];
        if (!o.used)
            continue;
        finite_or_trap(o.position, 3);
        finite_or_trap(o.sides, 3);
        finite_or_trap(o.rotation, 3);
        finite_or_trap(&o.mass, 1);
        if (o.shape > 2 || !(o.mass > 0) || o.sides[0] < 0 || o.sides[1] < 0 || o.sides[2] < 0)
            __builtin_trap();
    }
    return 0;
}

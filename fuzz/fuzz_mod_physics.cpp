// fuzz-kind: physics
// fuzz-link: -Wl,--wrap=dWorldStep -Wl,--wrap=dJointCreateContact
// fuzz-corpus: mod
// fuzz-dict: mod
//
// A mod through the physics: the file read by the game's mod reader, the
// world built from what it let through, a match of the mod's rules placed
// with every joint driven, and a few frames stepped, so that a size, mass or
// position the reader let through reaches the world step. Every input starts
// from the same rules.
#include "core/mod.h"
#include "core/newgame.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/step.h"
#include "core/world.h"
#include "fuzz/fuzz_mod_input.h"
#include "fuzz/fuzz_physics.h"

enum { FRAMES_PER_INPUT = 8 };

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
    destroy_world();
    if (read_mod(path) == 0) {
        assign_player_templates();
        build_world(&mod_world);
    } else {
        build_world(&default_world);
    }
    // The same rules as the world was built for: the game start keeps it.
    GameRules rules = mod_rules;
    current_rules = rules;
    start_game_with_rules(0, 1, &rules);
    replay_mode = REPLAY_LIVE;
    new_game_reset(0);
    for (int p = 0; p < fighter_count(); p++)
        for (int j = 0; j < NUM_JOINTS; j++)
            players[p].joint_state[j] = 1 + (j + p) % 4;
    start_turn(FRAMES_PER_INPUT);
    fuzz_physics::crowded = 0;
    fuzz_physics::step_frames(FRAMES_PER_INPUT);
    return 0;
}

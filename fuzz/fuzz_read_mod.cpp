// Feeds arbitrary bytes to the mod reader as a file: every line goes through
// the mod command table and, inside a gamerule section, the rule setter.
// The world is then built from what was read and a match of it runs a few
// dozen frames, so whatever the reader let through reaches the physics. The
// input lives in an anonymous memory file, so nothing is left in /tmp.
#include "core/mod.h"
#include "core/newgame.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/step.h"
#include "core/world.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static char path[64];
    static int input = -1;
    if (input < 0) {
        input = memfd_create("fuzz_read_mod", MFD_CLOEXEC);
        if (input < 0)
            abort();
        snprintf(path, sizeof path, "/proc/self/fd/%d", input);
        game_init();
    }
    if (ftruncate(input, 0) != 0 || pwrite(input, data, size, 0) != (ssize_t)size)
        return 0;
    match_state.num_players = 2;
    destroy_world();
    if (read_mod(path) == 0) {
        assign_player_templates();
        build_world(&mod_world);
    } else {
        build_world(&default_world);
    }
    // A match of the mod's rules: placed, every joint driven, 40 frames.
    GameRules rules = mod_rules;
    current_rules = rules;   // the same rules: the mod world stays as built
    start_game_with_rules(0, 1, &rules);
    replay_mode = REPLAY_LIVE;
    new_game_reset(0);
    for (int p = 0; p < fighter_count(); p++)
        for (int j = 0; j < NUM_JOINTS; j++)
            players[p].joint_state[j] = 1 + (j + p) % 4;
    start_turn(40);
    for (int i = 0; i < 40 && !match_state.game_over; i++)
        step_frame(0);
    return 0;
}

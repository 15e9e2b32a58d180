// Shared by the mod targets: the game set up once with its first rules kept,
// and every input read from "input.zmm" starting from those rules with two
// fighters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mod.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/world.h"
#include "fuzz/fuzz_input.h"

namespace fuzz_mod {

inline GameRules first_rules;

inline void init()
{
    game_init();
    first_rules = mod_rules;
}

// The input as a file, the rules as at the start; null when there is none.
inline const char *begin_input(const uint8_t *data, size_t size)
{
    const char *path = fuzz_input::as_file(data, size, "input.zmm");
    if (!path)
        return nullptr;
    mod_rules = first_rules;
    match_state.num_players = 2;
    return path;
}

} // namespace fuzz_mod

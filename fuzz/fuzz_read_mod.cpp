// Feeds arbitrary bytes to the mod reader as a file: every line goes through
// the mod command table and, inside a gamerule section, the rule setter.
//
// fuzz-sources: core/mod.cpp core/rules.cpp core/text.cpp core/records.cpp core/outward.cpp
#include "core/mod.h"
#include "core/rules.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static char path[64];
    if (!path[0])
        snprintf(path, sizeof path, "/tmp/fuzz_read_mod_%d.zmm", (int)getpid());
    FILE *f = fopen(path, "wb");
    if (!f)
        return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    match_state.num_players = 2;
    read_mod(path);
    assign_player_templates();
    return 0;
}

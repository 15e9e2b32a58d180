// Feeds arbitrary bytes to the mod reader as a file: every line goes through
// the mod command table and, inside a gamerule section, the rule setter. The
// input lives in an anonymous memory file, so nothing is left in /tmp.
//
// fuzz-sources: core/mod.cpp core/rules.cpp core/text.cpp core/records.cpp core/outward.cpp
#include "core/mod.h"
#include "core/rules.h"

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
    }
    if (ftruncate(input, 0) != 0 || pwrite(input, data, size, 0) != (ssize_t)size)
        return 0;
    match_state.num_players = 2;
    read_mod(path);
    assign_player_templates();
    return 0;
}

// fuzz-kind: parse
// fuzz-corpus: replay
// fuzz-dict: parse_cmd
// fuzz-link: -Wl,--wrap=_Z21start_game_with_rulesiiP9GameRules
//
// The replay reader alone: a file of any bytes read, by the reader the game
// uses, into the replay buffer's records, the header's names and the rules
// of its ENGAGE, TEAMS and NEWGAME lines; no world is built and nothing is
// stepped (fuzz_replay_physics does that). The input is a regular file on
// tmpfs, rewritten for every input.
#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/replay_file.h"
#include "core/world.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_stand_ins.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    game_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *path = fuzz_input::as_file(data, size, "input.rpl");
    if (!path)
        return 0;
    match_state.num_players = 2;
    if (read_replay(path) != 0)
        return 0;
    if (match_state.frames_recorded < 0 || match_state.frames_recorded > REPLAY_FRAMES)
        __builtin_trap();
    if (replay_reader.record < 0 || replay_reader.record >= REPLAY_FRAMES)
        __builtin_trap();
    return 0;
}

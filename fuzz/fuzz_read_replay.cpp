// Feeds arbitrary bytes to the replay reader as a file, in a built world:
// every line goes through the replay column's handlers (records, names,
// rules, new games, packed tails); the replay is then played frame by frame
// through the physics world, and a buffer that was read is written back
// out, so the world and the writer see whatever the reader let through.
#include "core/newgame.h"
#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/replay_file.h"
#include "core/step.h"
#include "core/world.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static char path[64], out[64];
    static bool ready = false;
    if (!ready) {
        snprintf(path, sizeof path, "/tmp/fuzz_read_replay_%d.rpl", (int)getpid());
        snprintf(out, sizeof out, "/tmp/fuzz_read_replay_%d.out", (int)getpid());
        game_init();
        ready = true;
    }
    FILE *f = fopen(path, "wb");
    if (!f)
        return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    match_state.num_players = 2;
    if (read_replay(path) == 0) {
        if (match_state.frames_recorded < 0 || match_state.frames_recorded > REPLAY_FRAMES)
            __builtin_trap();
        // Played as the program plays it: from frame 0, as far as its
        // records go (at most 60 frames, to keep the runs quick).
        new_game_reset(0);
        replay_mode = REPLAY_PLAYING;
        match_state.turn_frame = 0;
        unpause_game();
        int last = 0;
        for (int i = 0; i < match_state.frames_recorded; i++)
            if (get_replay_frame(i) && get_replay_frame(i)->frame > last)
                last = get_replay_frame(i)->frame;
        for (int i = 0; i <= last + 5 && i < 60; i++)
            step_frame(0);
        replay_mode = REPLAY_LIVE;
        write_replay(out, 0);
    }
    return 0;
}

// Feeds arbitrary bytes to the replay reader as a file, in a built world:
// every line goes through the replay column's handlers (records, names,
// rules, new games, packed tails); the replay is then played frame by frame
// through the physics world, and a buffer that was read is written back
// out, so the world and the writer see whatever the reader let through.
//
// The input lives in an anonymous memory file and the written replay in a
// private folder beside the fuzz program (in the fuzz build folder), emptied
// after every run and removed at exit; nothing goes to /tmp.
#include "core/newgame.h"
#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/replay_file.h"
#include "core/step.h"
#include "core/world.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

static char folder[256];
static char out[300];

static void remove_folder()
{
    unlink(out);
    rmdir(folder);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static char path[64];
    static int input = -1;
    if (input < 0) {
        input = memfd_create("fuzz_read_replay", MFD_CLOEXEC);
        if (input < 0)
            abort();
        snprintf(path, sizeof path, "/proc/self/fd/%d", input);
        char self[200];
        ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0)
            abort();
        self[n] = '\0';
        char *slash = strrchr(self, '/');
        if (slash)
            *slash = '\0';
        snprintf(folder, sizeof folder, "%s/fuzz_read_replay_XXXXXX", slash ? self : ".");
        if (!mkdtemp(folder))
            abort();
        snprintf(out, sizeof out, "%s/out.rpl", folder);
        atexit(remove_folder);
        game_init();
    }
    if (ftruncate(input, 0) != 0 || pwrite(input, data, size, 0) != (ssize_t)size)
        return 0;
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
        unlink(out);
    }
    return 0;
}

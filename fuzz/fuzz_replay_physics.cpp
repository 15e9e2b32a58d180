// fuzz-kind: physics
// fuzz-link: -Wl,--wrap=dWorldStep -Wl,--wrap=dJointCreateContact
// fuzz-corpus: replay
// fuzz-dict: parse_cmd
//
// A replay through the physics: the file read by the game's replay reader
// (its NEWGAME starts the game as the program does: the world is rebuilt
// when the rules change, a named mod is loaded from data/mod/), then played
// as the program plays it for a few frames from frame 0 and a few at its
// last record, and written back out. The world is built once at start and
// again only when a replay's rules ask for another.
//
// The replay is read and played inside a private folder on tmpfs (the
// working folder is changed for that and back after, so libFuzzer's own
// paths keep their meaning) whose data/mod/ holds the game's mods and the
// mods of the seed corpus: a replay naming one of them (a hostile mod
// among them) loads it.
#include "core/newgame.h"
#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/replay_file.h"
#include "core/step.h"
#include "core/world.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_physics.h"

#include <dirent.h>

enum { FIRST_FRAMES = 4, LAST_FRAMES = 3, LAST_SEEK_LIMIT = 1 << 20 };

static char out_path[512];
static int home = -1;   // the working folder libFuzzer was started in

// Copies every regular file of from/ whose name ends in .zmm into to/.
static void copy_mods(const char *from, const char *to)
{
    DIR *d = opendir(from);
    if (!d)
        return;
    while (struct dirent *e = readdir(d)) {
        size_t n = strlen(e->d_name);
        if (n < 5 || strcmp(e->d_name + n - 4, ".zmm") != 0)
            continue;
        char a[1024], b[1024];
        snprintf(a, sizeof a, "%s/%s", from, e->d_name);
        snprintf(b, sizeof b, "%s/%s", to, e->d_name);
        FILE *in = fopen(a, "rb");
        FILE *out = in ? fopen(b, "wb") : nullptr;
        char buf[4096];
        size_t got;
        while (out && (got = fread(buf, 1, sizeof buf, in)) > 0)
            fwrite(buf, 1, got, out);
        if (out)
            fclose(out);
        if (in)
            fclose(in);
    }
    closedir(d);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    char mods[512];
    fuzz_input::make_subfolder("data/mod", mods, sizeof mods);
    copy_mods(ZM_FUZZ_ROOT "/data/mod", mods);
    copy_mods(ZM_FUZZ_ROOT "/fuzz/corpus/mod", mods);
    home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (home < 0)
        abort();
    snprintf(out_path, sizeof out_path, "%s/out.rpl", fuzz_input::private_folder());
    game_init();
    return 0;
}

static void play_replay()
{
    if (match_state.frames_recorded < 0 || match_state.frames_recorded > REPLAY_FRAMES)
        __builtin_trap();
    // Played as the program plays it: from frame 0; then, as a fast forward
    // would, from the frame of its last record (a frame the match clock can
    // reach: the program never seeks past what it could count to).
    new_game_reset(0);
    replay_mode = REPLAY_PLAYING;
    match_state.turn_frame = 0;
    unpause_game();
    fuzz_physics::crowded = 0;
    fuzz_physics::step_frames(FIRST_FRAMES);
    int last = 0;
    for (int i = 0; i < match_state.frames_recorded; i++)
        if (get_replay_frame(i) && get_replay_frame(i)->frame > last)
            last = get_replay_frame(i)->frame;
    if (last > FIRST_FRAMES && last < LAST_SEEK_LIMIT) {
        seek_match_frame(last);
        fuzz_physics::step_frames(LAST_FRAMES);
    }
    replay_mode = REPLAY_LIVE;
    write_replay(out_path, 0);
    unlink(out_path);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *path = fuzz_input::as_file(data, size, "input.rpl");
    if (!path)
        return 0;
    if (chdir(fuzz_input::private_folder()) != 0)
        abort();
    match_state.num_players = 2;
    if (read_replay(path) == 0)
        play_replay();
    if (fchdir(home) != 0)
        abort();
    return 0;
}

// The whole program under a virtual X server: start-up, the paced loop, a
// quit event and the shut-down, in this process and as the built program.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <SDL/SDL.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/outward.h"
#include "core/records.h"
#include "core/world.h"
#include "platform/loop.h"
#include "shell/app.h"
#include "shell/game_control.h"
#include "shell/options.h"
#include "support/test_support.h"

// The X and Mesa libraries keep a few allocations to the end of the process
// (visual lists, driver records); they are not this program's to free.
static const char lsan_suppressions[] =
    "leak:libX11.so\n"
    "leak:libGLX_mesa.so\n"
    "leak:libGLX.so\n"
    "leak:swrast_dri.so\n"
    "leak:libgallium\n"
    "leak:libLLVM\n"
    "leak:SDL_SetVideoMode\n"
    "leak:SDL_VideoInit\n"
    "leak:SDL_GL_SwapBuffers\n"
    "leak:glewInit\n";
extern "C" const char *__lsan_default_suppressions() { return lsan_suppressions; }

// The window's shut-down unloads the GL driver; kept loaded, what it leaves
// behind can still be named by the suppressions above.
[[maybe_unused]] static void *const keep_gl_driver =
    dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);

namespace {

std::string scratch(const char *name)
{
    std::string dir = test_tmp_path(name);
    // The program's data tree (fonts, textures) beside it, as in a run folder.
    std::string cmd = "rm -rf '" + dir + "' && mkdir -p '" + dir + "' && ln -s '" +
                      std::string(source_dir()) + "/data' '" + dir + "/data'";
    EXPECT_EQ(system(cmd.c_str()), 0);
    return dir;
}

// What the frames saw while the program ran.
struct Seen {
    int frames;
    Uint32 first_tick, last_tick;
    int window_w, window_h;
    int menu;
    int objects_alive;
    int world_built;
    int stencil_bits;
};
Seen seen;

void count_frame(MatchState *, GameRules *, MatchResult *)
{
    if (seen.frames == 0) {
        seen.first_tick = SDL_GetTicks();
        SDL_Surface *s = SDL_GetVideoSurface();
        seen.window_w = s ? s->w : -1;
        seen.window_h = s ? s->h : -1;
        seen.menu = menu_state;
        seen.objects_alive = shell_objects_alive();
        seen.world_built = physics_world != nullptr;
        SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &seen.stencil_bits);
    }
    seen.frames++;
    seen.last_tick = SDL_GetTicks();
    if (seen.frames == 40) {
        SDL_Event quit;
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
    }
}

TEST(Program, RunsTheLoopUntilQuitInThisProcess)
{
    std::string dir = scratch("app_in_process");
    ASSERT_EQ(chdir(dir.c_str()), 0);
    core_outward.draw_frame_layers = count_frame;
    char program[] = "zylomach";
    char *argv[] = {program, nullptr};
    int result = app_run(1, argv);
    core_outward.draw_frame_layers = nullptr;
    ASSERT_EQ(chdir(source_dir()), 0);

    EXPECT_EQ(result, 0);
    // The quit is read by the next frame's event poll, which still draws.
    EXPECT_EQ(seen.frames, 41);
    EXPECT_EQ(seen.window_w, 800);
    EXPECT_EQ(seen.window_h, 600);
    EXPECT_EQ(seen.stencil_bits, 8);
    EXPECT_EQ(seen.menu, 13);          // the main menu, a match behind it
    EXPECT_EQ(seen.objects_alive, 1);
    EXPECT_EQ(seen.world_built, 1);
    // 39 paced intervals of at least 16 ms.
    EXPECT_GE(seen.last_tick - seen.first_tick, 39u * 15u);
    EXPECT_EQ(running, 0);
    // The shut-down order ran to its end.
    EXPECT_EQ(shell_objects_alive(), 0);
    EXPECT_EQ(get_menu_list(), nullptr);
    EXPECT_EQ(get_script_engine(), nullptr);
    EXPECT_EQ(get_game_connection(), nullptr);
    EXPECT_EQ(get_chat_input(), nullptr);
    EXPECT_EQ(physics_world, nullptr);
    EXPECT_STREQ(caption_text, "3.24");
}

struct ProgramRun {
    int status;   // exit status, -1 when it did not exit normally
    std::string out, err;
};

std::string slurp(const std::string &path) { return read_whole_file(path); }

// Runs the built program in `dir`. Once its standard error holds
// `quit_after` (a start-up message written after the window is up), it is
// asked to quit with SIGTERM, as a session's close does (the program ends
// its loop in order); without one the program is expected to end by
// itself. The deadline is a net for a hang, sized for the sanitizer build
// on a busy machine.
ProgramRun run_program(const std::string &dir, const char *arg, const char *quit_after)
{
    ProgramRun run = {-1, "", ""};
    std::string out = dir + "/stdout.txt", err = dir + "/stderr.txt";
    // Under the sanitizer the program gets the same leak suppressions.
    std::string supp = dir + "/lsan.supp";
    if (FILE *f = fopen(supp.c_str(), "w")) {
        fputs(lsan_suppressions, f);
        fclose(f);
    }
    std::string lsan = "suppressions=" + supp;
    const char *asan_env = getenv("ASAN_OPTIONS");
    // The program's shut-down unloads the GL driver, whose leftovers then
    // have no name to suppress; its own leaks are checked in this process.
    std::string asan = std::string(asan_env ? asan_env : "") + ":detect_leaks=0";
    pid_t pid = fork();
    if (pid == 0) {
        setenv("LSAN_OPTIONS", lsan.c_str(), 1);
        setenv("ASAN_OPTIONS", asan.c_str(), 1);
        if (chdir(dir.c_str()) != 0)
            _exit(127);
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(o, 1);
        dup2(e, 2);
        execl(ZM_PROGRAM, "zylomach", arg, (char *)nullptr);
        _exit(127);
    }
    int status = 0;
    bool done = false, asked = false;
    const long long deadline_ms = 240000;
    for (long long waited = 0; waited < deadline_ms && !done; waited += 20) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            done = true;
            break;
        }
        if (!asked && quit_after && slurp(err).find(quit_after) != std::string::npos) {
            kill(pid, SIGTERM);
            asked = true;
        }
        usleep(20000);
    }
    if (!done) {
        fprintf(stderr, "the program did not end (%s)\n", asked ? "asked to quit" : "never asked");
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    if (done && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    run.out = slurp(out);
    run.err = slurp(err);
    return run;
}

TEST(Program, MissingReplayOnTheCommandLine)
{
    std::string dir = scratch("app_missing_replay");
    ProgramRun run = run_program(dir, "nothere.rpl", "Unable to open nothere.rpl\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("Unable to open nothere.rpl\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("No replays found"), std::string::npos) << run.err;
}

TEST(Program, NoReplayFolder)
{
    std::string dir = scratch("app_no_replays");
    ProgramRun run = run_program(dir, nullptr, "No replays found in replay/\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("No replays found in replay/\n"), std::string::npos) << run.err;
}

TEST(Program, EmptyReplayFolder)
{
    std::string dir = scratch("app_empty_replays");
    ASSERT_EQ(mkdir((dir + "/replay").c_str(), 0755), 0);
    ProgramRun run = run_program(dir, "", "No replays found in replay/\n");   // an empty argument is passed over
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("No replays found in replay/\n"), std::string::npos) << run.err;
}

TEST(Program, QuitAskedDuringStartUpEndsInOrder)
{
    // The close comes while the settings are read, before the window is
    // up: the program still starts, ends its loop and saves its settings.
    std::string dir = scratch("app_quit_at_start");
    ProgramRun run = run_program(dir, nullptr, "unable to open default.cfg: missing\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(slurp(dir + "/default.cfg").find("matchframes"), std::string::npos) << run.err;
}

TEST(Program, HelpPrintsUsageAndFails)
{
    std::string dir = scratch("app_help");
    ProgramRun run = run_program(dir, "-h", nullptr);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.rfind("3.24\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("Usage: zylomach [options] [<replay.rpl>]\n\nOptions:\n"),
              std::string::npos);
    EXPECT_NE(run.out.find("   -noreload\n"), std::string::npos);
}

}  // namespace

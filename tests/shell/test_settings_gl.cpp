// The stored settings and buddies in a whole run of the program: read at
// start, applied before the first frame, written back at shut-down.
#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "core/outward.h"
#include "core/rules.h"
#include "shell/app.h"
#include "shell/buddies.h"
#include "shell/options.h"
#include "support/test_support.h"

namespace {

std::string read_file(const char *path) { return read_whole_file(path, "<missing>"); }

struct SeenAtStart {
    int frames;
    int matchframes;
    int frameskip;
    int mousebuttons;
    int buddy;
};
SeenAtStart seen;

void watch_frame(MatchState *, GameRules *, MatchResult *)
{
    if (seen.frames++ == 0) {
        seen.matchframes = setup_rules.matchframes;
        seen.frameskip = get_option(OPT_FRAMESKIP);
        seen.mousebuttons = get_option(OPT_MOUSEBUTTONS);
        seen.buddy = core_outward.is_buddy ? core_outward.is_buddy("[tag]pal") : -1;
        // Changed while running: written back at the end.
        setup_rules.matchframes = 777;
    }
    if (seen.frames == 5) {
        SDL_Event quit = {};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
    }
}

TEST(StoredSettings, ReadAtStartAndWrittenAtExit)
{
    std::string dir = test_tmp_path("settings_run");
    std::string cmd = "rm -rf '" + dir + "' && mkdir -p '" + dir + "/data' && ln -s '" +
                      std::string(source_dir()) + "/data/'* '" + dir + "/data/'";
    ASSERT_EQ(system(cmd.c_str()), 0);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    FILE *f = fopen("default.cfg", "wb");
    ASSERT_NE(f, nullptr);
    fputs("#Automatically generated from Setup. Don't edit\r\n"
          "mousebuttons \"0\"\r\nframeskip \"1\"\r\nmatchframes \"900\"\r\n",
          f);
    fclose(f);
    remove("data/buddies.txt");
    f = fopen("data/buddies.txt", "wb");
    ASSERT_NE(f, nullptr);
    fputs("pal\r\n", f);
    fclose(f);

    seen = SeenAtStart();
    reset_options();
    core_outward.draw_frame_layers = watch_frame;
    char program[] = "zylomach";
    char *argv[] = {program, nullptr};
    int result = app_run(1, argv);
    core_outward.draw_frame_layers = nullptr;
    std::string written = read_file("default.cfg");
    std::string buddies = read_file("data/buddies.txt");
    reset_options();
    ASSERT_EQ(chdir(source_dir()), 0);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(seen.matchframes, 900);
    EXPECT_EQ(seen.frameskip, 1);
    EXPECT_EQ(seen.mousebuttons, 1);
    EXPECT_EQ(seen.buddy, 1);
    EXPECT_EQ(buddy_count(), 0);   // freed at shut-down
    EXPECT_EQ(buddies, "pal\r\n");
    EXPECT_EQ(written.rfind("#Automatically generated from Setup. Don't edit\r\n", 0), 0u);
    EXPECT_NE(written.find("matchframes \"777\"\r\n"), std::string::npos);
    EXPECT_NE(written.find("frameskip \"1\"\r\n"), std::string::npos);
    EXPECT_NE(written.find("mousebuttons \"1\"\r\n"), std::string::npos);
    EXPECT_NE(written.find("volume \"128\"\r\n"), std::string::npos);
}

}  // namespace

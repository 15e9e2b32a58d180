#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/rules.h"
#include "shell/app.h"
#include "shell/game_control.h"
#include "shell/options.h"
#include "support/test_support.h"

namespace {

// The calls that reached the links, in order.
std::string calls;
void note(const char *what) { calls += what; calls += ' '; }

class GameControl : public ::testing::Test {
protected:
    void SetUp() override
    {
        calls.clear();
        game_links = GameControlLinks();
        game_links.hook_leave_game = [] { note("leave"); };
        game_links.hook_new_game = [] { note("new_game"); };
        game_links.hook_exit_freeze = [] { note("exit_freeze"); };
        game_links.hook_enter_freeze = [] { note("enter_freeze"); };
        game_links.start_game_with_rules = [](int online, int, GameRules *) {
            note(online ? "start_online" : "start_local");
        };
        game_links.set_all_joint_states = [](int p, int state) {
            note(("hold" + std::to_string(p) + "=" + std::to_string(state)).c_str());
        };
        game_links.toggle_ghost_own = [] { note("ghost_own"); };
        game_links.clear_replay_from = [](int slot) {
            note(("truncate" + std::to_string(slot)).c_str());
        };
        game_links.set_sound_on = [] { note("sound_on"); };
        game_links.start_music = [](int track) {
            note(("music" + std::to_string(track)).c_str());
        };
        game_type = 0;
        replay_mode = REPLAY_LIVE;
        match_state = MatchState();
        match_state.num_players = 2;
        setup_rules.players = 2;
        setup_rules.teams = 0;
        set_local_user("");
        reset_options();
    }
    void TearDown() override
    {
        game_links = GameControlLinks();
        game_type = 0;
        replay_mode = REPLAY_LIVE;
    }
};

TEST_F(GameControl, NewGameNamesAndOrder)
{
    begin_new_game();
    EXPECT_STREQ(players[0].name, "kasu");   // empty local user name
    EXPECT_STREQ(players[1].name, "uke");
    EXPECT_EQ(calls, "leave start_local hold1=3 new_game ");

    calls.clear();
    set_local_user("somebody_with_a_name_longer_than_32_bytes");
    begin_new_game();
    EXPECT_EQ(std::string(players[0].name), std::string("somebody_with_a_name_longer_than").substr(0, 31));
}

TEST_F(GameControl, PauseAndResume)
{
    // A live online game cannot be paused from here.
    game_type = 1;
    match_state.game_paused = 0;
    EXPECT_EQ(toggle_game_paused(5), 0);
    EXPECT_EQ(match_state.game_paused, 0);
    EXPECT_EQ(calls, "");

    game_type = 0;
    toggle_game_paused(7);
    EXPECT_EQ(match_state.game_paused, 1);
    EXPECT_EQ(match_state.turn_frame, 7);
    EXPECT_EQ(calls, "ghost_own enter_freeze ");
    calls.clear();
    toggle_game_paused(0);
    EXPECT_EQ(match_state.game_paused, 0);
    EXPECT_EQ(calls, "exit_freeze ");
}

TEST_F(GameControl, ExitReplay)
{
    struct Case {
        const char *what;
        int position;
        int game_over;
        int ghost;
        const char *calls;
        int replay_mode_after;
    };
    const Case cases[] = {
        {"at position 0 nothing is truncated", 0, 0, 0,
         "ghost_own enter_freeze ghost_own ", REPLAY_LIVE},
        {"at position 10", 10, 0, 0, "ghost_own enter_freeze truncate10 ghost_own ",
         REPLAY_LIVE},
        {"at position 300, past the first 256 records", 300, 0, 0,
         "ghost_own enter_freeze truncate300 ghost_own ", REPLAY_LIVE},
        {"past the buffer", REPLAY_FRAMES, 0, 0, "ghost_own enter_freeze ", REPLAY_PLAYING},
        {"game over", 10, 1, 0, "", REPLAY_PLAYING},
        {"ghost running", 10, 0, 1, "", REPLAY_PLAYING},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        calls.clear();
        replay_mode = REPLAY_PLAYING;
        match_state = MatchState();
        match_state.replay_frame = c.position;
        match_state.game_over = c.game_over;
        match_state.ghost_mode = c.ghost;
        exit_replay();
        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(replay_mode, c.replay_mode_after);
    }
}

// The start callback in a folder of the test's own.
void in_scratch(const char *name, bool replay_dir, bool replay_file)
{
    std::string dir = test_tmp_path(name);
    std::string cmd = "rm -rf '" + dir + "' && mkdir -p '" + dir + "'";
    if (replay_dir)
        cmd += " && mkdir '" + dir + "/replay'";
    if (replay_file)
        cmd += " && echo x > '" + dir + "/replay/a.rpl'";
    ASSERT_EQ(system(cmd.c_str()), 0);
    ASSERT_EQ(chdir(dir.c_str()), 0);
}

TEST_F(GameControl, StartTurnsSoundOnInEveryBranch)
{
    struct Case {
        const char *what;
        const char *replay_arg;   // null: none on the command line
        bool replay_dir, replay_file;
        int music;
        const char *expected_tail;
        int replay_mode_after;
    };
    const Case cases[] = {
        {"no replay folder", nullptr, false, false, 1, "new_game sound_on music0 ", REPLAY_LIVE},
        {"empty replay folder", nullptr, true, false, 0, "new_game sound_on ", REPLAY_LIVE},
        {"a replay in the folder", nullptr, true, true, 1, "sound_on music0 ", REPLAY_CYCLE},
        {"replay on the command line", "nothere.rpl", false, false, 1, "sound_on music0 ",
         REPLAY_PLAYING},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        in_scratch("app_control_start", c.replay_dir, c.replay_file);
        calls.clear();
        replay_mode = REPLAY_LIVE;
        std::string arg = c.replay_arg ? c.replay_arg : "";
        char program[] = "zylomach";
        char *argv[] = {program, &arg[0], nullptr};
        parse_command_line(c.replay_arg ? 2 : 1, argv);
        set_option(OPT_MUSIC, c.music);
        on_start();
        std::string tail = c.expected_tail;
        ASSERT_GE(calls.size(), tail.size()) << calls;
        EXPECT_EQ(calls.substr(calls.size() - tail.size()), tail) << calls;
        EXPECT_EQ(replay_mode, c.replay_mode_after);
    }
    parse_command_line(0, nullptr);
    ASSERT_EQ(chdir(source_dir()), 0);
}

TEST_F(GameControl, FileListAndAccessors)
{
    in_scratch("app_control_list", true, true);
    system("touch replay/b.rpl replay/.rpl replay/c.rplx replay/d.RPL");
    // every name holding ".rpl" (case kept): a.rpl, b.rpl, .rpl, c.rplx
    EXPECT_EQ(scan_replays(), 3);
    ASSERT_EQ(chdir(source_dir()), 0);
    EXPECT_EQ(build_file_list(&mod_files, "no/such/folder", "zmm"), -1);

    ensure_local_user_name();
    EXPECT_STREQ(get_local_user(), "uke");
    set_local_password(nullptr);
    selected_player = -1;
    double out[3];
    EXPECT_EQ(selected_joint_screen_pos(out), 1);
    EXPECT_EQ(body_screen_pos(9, 0, out), 1);
}

}  // namespace

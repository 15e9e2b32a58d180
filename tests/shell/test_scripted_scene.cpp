// The scene a scripted page starts with: the previous game left, the
// page's script run, a short live turn begun, then the scripts' play hook.
#include <gtest/gtest.h>

#include <string>

#include "core/outward.h"
#include "core/records.h"
#include "shell/game_control.h"

namespace {

std::string order;

TEST(ScriptedScene, LeavesRunsTheScriptStartsATurnThenFiresPlay)
{
    GameControlLinks saved_links = game_links;
    CoreOutward saved_outward = core_outward;
    MatchState saved_match = match_state;
    int32_t saved_replay = replay_mode;
    order.clear();
    game_links = GameControlLinks();
    core_outward = CoreOutward();
    game_links.hook_leave_game = [] { order += "leave "; };
    game_links.new_game_reset = [](int) { order += "reset "; };
    game_links.hook_play = [] {
        order += "play(" + std::to_string(match_state.game_paused) + "," +
                 std::to_string(match_state.turn_frame) + ") ";
    };
    core_outward.run_script = [](const char *request) { order += std::string("script:") + request + " "; };
    match_state.game_paused = 1;
    match_state.ghost_mode = 0;
    match_state.game_over = 0;
    replay_mode = REPLAY_LIVE;

    start_scripted_scene("kasushop/kasushop.lua");
    // The turn of 50 frames runs when the hook fires.
    EXPECT_EQ("leave script:kasushop/kasushop.lua reset play(0,51) ", order);

    game_links = saved_links;
    core_outward = saved_outward;
    match_state = saved_match;
    replay_mode = saved_replay;
}

}  // namespace

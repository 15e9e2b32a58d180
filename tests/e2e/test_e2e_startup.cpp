// The program as a player starts it: the first frames, the scripts and quit.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"

TEST(E2eStartup, ScriptRunsAndQuitWritesSettings)
{
    GameSetup setup;
    setup.startup_lua = R"(
e2e_log("startup")
local frames = 0
add_hook("enter_frame", "e2e", function()
  frames = frames + 1
end)
-- quits from a console command once the match runs
add_hook("new_game", "e2e", function() e2e_log("new_game") end)
)";
    // The first frames drawn (the prelude's "ready"), then a picture of them.
    setup.actions.push_back({"", 0, "screenshot start.png"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("startup", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_NE(run.log.find("startup"), std::string::npos) << run.describe();
    EXPECT_TRUE(run.exists("default.cfg")) << run.describe();
}

// Files with numbers the physics world cannot take: the program refuses
// each such value with one line that names it, and goes on running.
#include <gtest/gtest.h>

#include <string>

#include "e2e/e2e_support.h"
#include "support/test_support.h"

namespace {

enum Kind { REPLAY, MOD, SETTINGS, CONSOLE };

struct HostileCase {
    const char *file;      // under tests/e2e/hostile/ (none for the console)
    Kind kind;
    const char *refused;   // what stderr must name
};

const HostileCase cases[] = {
    {"qat_zero.rpl", REPLAY, "refused QAT"},
    {"pos_nan.rpl", REPLAY, "refused POS: nan"},
    {"linvel_inf.rpl", REPLAY, "refused LINVEL: inf"},
    {"angvel_huge.rpl", REPLAY, "refused ANGVEL: 1e30"},
    {"engage_nan.rpl", REPLAY, "refused ENGAGE: nan"},
    {"engage_huge.rpl", REPLAY, "refused ENGAGE: 1e12"},
    {"epos_nan.rpl", REPLAY, "refused EPOS: nan"},
    {"eqat_zero.rpl", REPLAY, "refused EQAT"},
    {"p_qat_zero.rpl", REPLAY, "refused P_QAT"},
    {"axis_zero.zmm", MOD, "refused axis: 0 0 0"},
    {"gravity_nan.zmm", MOD, "refused gravity: nan"},
    {"body_pos_huge.zmm", MOD, "refused pos: 1e30"},
    {"object_pos_nan.zmm", MOD, "refused pos: nan"},
    {"mod_engage_inf.zmm", MOD, "refused engageplayerpos: inf"},
    {"settings_engage.cfg", SETTINGS, "refused engageplayerpos: 1e12"},
    {nullptr, CONSOLE, "refused engageheight: 2000000000"},
};

class HostileFile : public ::testing::TestWithParam<HostileCase> {};

std::string hostile_file(const char *name)
{
    return read_whole_file(std::string(source_dir()) + "/tests/e2e/hostile/" + name);
}

}  // namespace

TEST_P(HostileFile, IsRefusedAndTheGameGoesOn)
{
    const HostileCase &c = GetParam();
    GameSetup setup;
    std::string bytes = c.file ? hostile_file(c.file) : "";
    if (c.file) {
        ASSERT_FALSE(bytes.empty()) << c.file;
    }
    switch (c.kind) {
    case REPLAY:
        // The first replay of the folder plays behind the menu at start.
        setup.files.push_back({std::string("replay/") + c.file, bytes});
        break;
    case MOD:
        setup.files.push_back({std::string("data/mod/") + c.file, bytes});
        setup.args.push_back(c.file);
        break;
    case SETTINGS:
        setup.files.push_back({"default.cfg", bytes});
        break;
    case CONSOLE:
        setup.startup_lua = R"(
local again = false
add_hook("new_game", "e2e", function()
  if again then return end
  again = true
  run_cmd("set engageheight 2000000000")
  run_cmd("set engageplayerpos nan,0,0,1,0,0")
  start_new_game()
end)
)";
        break;
    }
    // The game runs a while (a replay plays, a match waits for its move),
    // then the window is closed.
    setup.startup_lua += R"(
add_hook("new_game", "e2e_seen", function() e2e_log("new_game") end)
)";
    setup.actions.push_back({"", 3500, "term"});
    setup.timeout_ms = 15000;
    GameRun run = run_game((std::string("hostile_") + (c.file ? c.file : "console")).c_str(), setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_GE(count_lines_with(run.err, c.refused), 1) << run.describe();
    EXPECT_EQ(count_lines_with(run.err, "ODE INTERNAL ERROR"), 0) << run.describe();
}

INSTANTIATE_TEST_SUITE_P(E2eHostile, HostileFile, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<HostileCase> &info) {
                             std::string name = info.param.file ? info.param.file : "console";
                             for (char &ch : name)
                                 if (!isalnum((unsigned char)ch))
                                     ch = '_';
                             return name;
                         });

// The end of a match of three or four fighters in which one of them has left
// the dojo: the result names a fighter still standing as the winner, never
// the one that is out, even when the one that is out has the best score.
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace {

// A match as a player sets one up: a replay of a three- or four-fighter
// game opened from the command line and taken over, on a mod that sets a
// square dojo and where each fighter stands. The fighter at index 2 stands
// at the dojo's edge with every joint relaxed: its feet slide out of the
// dojo a few frames into the match. The others stand inside with every
// joint held, each under a heavy steel crate that falls on it and takes
// far more off its score than leaving the dojo takes off the one outside.
struct OutCase {
    const char *name;
    int fighters;
    const char *positions;   // engageplayerpos
    const char *rotations;   // engageplayerrot
    const char *crates;      // env_obj lines
};

const char crate_lines_three[] =
    "env_obj 1\n   shape box\n   pos 0.1 -0.6 9.0\n   sides 0.5 0.5 0.5\n"
    "   material steel\n   mass 5\n"
    "env_obj 2\n   shape box\n   pos 1.5 -0.6 9.0\n   sides 0.5 0.5 0.5\n"
    "   material steel\n   mass 5\n";

const char crate_lines_four[] =
    "env_obj 1\n   shape box\n   pos 0.1 -0.6 9.0\n   sides 0.5 0.5 0.5\n"
    "   material steel\n   mass 5\n"
    "env_obj 2\n   shape box\n   pos 1.5 -0.6 9.0\n   sides 0.5 0.5 0.5\n"
    "   material steel\n   mass 5\n"
    "env_obj 3\n   shape box\n   pos 0.8 0.9 9.0\n   sides 0.5 0.5 0.5\n"
    "   material steel\n   mass 5\n";

const OutCase out_cases[] = {
    {"three", 3, "-0.9,-1.46,0,0.5,-1.46,0,1.25,0.14,0", "0,0,0,0,0,0,0,0,180",
     crate_lines_three},
    {"four", 4, "-0.9,-1.46,0,0.5,-1.46,0,1.25,0.14,0,-0.2,0.04,0",
     "0,0,0,0,0,0,0,0,180,0,0,0", crate_lines_four},
};

void PrintTo(const OutCase &c, std::ostream *os) { *os << c.name; }

const int OUT_FIGHTER = 2;

std::string mod_text(const OutCase &c)
{
    return std::string("version 1\n") + c.crates +
           "gamerule\n"
           "   matchframes 300\n"
           "   dojotype 0\n"
           "   dojosize 300\n"
           "   engageplayerpos " + c.positions + "\n"
           "   engageplayerrot " + c.rotations + "\n";
}

std::string replay_text(const OutCase &c)
{
    return "FIGHTNAME 0; dojo\n"
           "NEWGAME 0; 300 10 0 0 0 0 100 0 0 e2e_out.zmm 0 0 100 0 0 0 1 0 " +
           std::to_string(c.fighters) +
           " 0 0 0 0 0 0\n"
           "FRAME 5; 0 0 0 0\n";
}

// Takes the replay over once it shows its fighters, sets every fighter's
// joints and plays each turn from its end; logs the scores of every match
// frame ("score <frame> <s0> <s1> ..."), the console's lines, the rules in
// force and, at the end, each fighter's name and score.
const char play_lua[] = R"lua(
set_option("frameskip", 0)
local frame, taken, last = 0, -1, -1
local function scores(tag, frame_no)
  local w = get_world_state()
  local line = tag .. frame_no
  for p = 0, w.num_players - 1 do
    line = line .. string.format(" %.1f", get_player_info(p).score)
  end
  e2e_log(line)
end
add_hook("draw2d", "e2e", function()
  frame = frame + 1
  local w = get_world_state()
  if taken < 0 and w.num_players == E2E_FIGHTERS and frame > 5 then
    edit_game()
    taken = frame
    local r = get_game_rules()
    e2e_log("rules " .. r.matchframes .. " " .. r.dojotype .. " " .. r.dojosize .. " "
            .. w.num_players)
    e2e_log("taken " .. get_world_state().match_frame)
    for p = 0, w.num_players - 1 do
      for j = 0, 19 do set_joint_state(p, j, p == E2E_OUT and 4 or 3) end
    end
    step_game()
  end
  if taken > 0 and w.replay_mode == 0 and w.match_frame ~= last then
    last = w.match_frame
    scores("score ", w.match_frame)
  end
end)
add_hook("enter_freeze", "e2e", function()
  if get_world_state().replay_mode ~= 0 then return end
  step_game()
end)
add_hook("console", "e2e", function(text)
  e2e_log("console " .. tostring(text))
end)
add_hook("end_game", "e2e", function(code)
  local w = get_world_state()
  e2e_log("end_game " .. code .. " " .. w.match_frame)
  for p = 0, w.num_players - 1 do
    local info = get_player_info(p)
    e2e_log(string.format("fighter %d %s %.1f", p, info.name, info.score))
  end
  e2e_mark("ended")
end)
)lua";

struct Fighter {
    std::string name;
    double score = 0;
};

class E2eThree : public ::testing::TestWithParam<OutCase> {
};

}  // namespace

TEST_P(E2eThree, FighterOutOfTheDojoNeverWinsWhateverItsScore)
{
    const OutCase &c = GetParam();
    GameSetup setup;
    setup.args = {"dojo.rpl"};
    setup.files = {{"dojo.rpl", replay_text(c)}, {"data/mod/e2e_out.zmm", mod_text(c)}};
    setup.startup_lua = "E2E_FIGHTERS = " + std::to_string(c.fighters) +
                        "\nE2E_OUT = " + std::to_string(OUT_FIGHTER) + "\n" + play_lua;
    setup.actions.push_back({"ended", 0, "term"});
    setup.timeout_ms = 180000;
    GameRun run = run_game((std::string("three_out_") + c.name).c_str(), setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    ASSERT_EQ(tagged(run.log, "rules "),
              std::vector<std::string>{"300 0 300 " + std::to_string(c.fighters)})
        << run.describe();

    // The match ran to its last frame and was decided by score.
    std::vector<std::string> ends = tagged(run.log, "end_game ");
    ASSERT_EQ(ends, std::vector<std::string>{"0 300"}) << run.describe();

    std::vector<Fighter> fighters;
    for (const std::string &line : tagged(run.log, "fighter ")) {
        std::istringstream in(line);
        int index;
        Fighter f;
        in >> index >> f.name >> f.score;
        ASSERT_EQ(index, (int)fighters.size()) << run.describe();
        fighters.push_back(f);
    }
    ASSERT_EQ((int)fighters.size(), c.fighters) << run.describe();

    // The fighter at the edge was in at the start of play and went out
    // during it: leaving the dojo took 3000 off its score.
    std::map<int, double> out_score;
    for (const std::string &line : tagged(run.log, "score ")) {
        std::istringstream in(line);
        int frame;
        in >> frame;
        std::vector<double> s(c.fighters);
        for (double &v : s)
            in >> v;
        out_score[frame] = s[OUT_FIGHTER];
    }
    int taken = std::stoi(tagged(run.log, "taken ").at(0));
    ASSERT_FALSE(out_score.empty()) << run.describe();
    EXPECT_EQ(out_score.begin()->second, 0.0) << run.describe();
    int went_out = -1;
    for (const auto &f : out_score)
        if (went_out < 0 && f.second <= -3000)
            went_out = f.first;
    EXPECT_GT(went_out, taken + 1) << run.describe();
    EXPECT_LT(went_out, 100) << run.describe();
    EXPECT_EQ(out_score[went_out], -3000.0) << run.describe();

    // The play left the fighter that is out with the best score of all.
    std::string best_standing;
    double best = 0;
    for (int p = 0; p < c.fighters; p++) {
        if (p == OUT_FIGHTER)
            continue;
        ASSERT_LT(fighters[p].score, fighters[OUT_FIGHTER].score) << run.describe();
        if (best_standing.empty() || fighters[p].score > best) {
            best = fighters[p].score;
            best_standing = fighters[p].name;
        }
    }

    // The result names the best of the fighters still standing.
    std::vector<std::string> wins;
    for (const std::string &line : tagged(run.log, "console "))
        if (line.find("WINS") != std::string::npos || line.find("DRAW") != std::string::npos)
            wins.push_back(line);
    EXPECT_EQ(wins, std::vector<std::string>{best_standing + "  WINS !"}) << run.describe();
    EXPECT_EQ(run.log.find(fighters[OUT_FIGHTER].name + "  WINS"), std::string::npos)
        << run.describe();
    EXPECT_EQ(run.log.find("DISQUALIFIED!"), std::string::npos) << run.describe();
}

INSTANTIATE_TEST_SUITE_P(Fighters, E2eThree, ::testing::ValuesIn(out_cases),
                         [](const ::testing::TestParamInfo<OutCase> &info) {
                             return std::string(info.param.name);
                         });

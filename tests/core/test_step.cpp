#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/bout.h"
#include "core/collide.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/step.h"
#include "core/world.h"

namespace {

struct Seen {
    std::vector<int> freeze_frames;
    std::vector<int> end_games;   // match frame of each end_game
    int end_game_code = -1;
    int drawn = 0;
    int enter_frames = 0;
    int begin_replays = 0;
};
Seen seen;

void on_freeze() { seen.freeze_frames.push_back(match_state.match_frame); }
void on_end_game(int code)
{
    seen.end_games.push_back(match_state.match_frame);
    seen.end_game_code = code;
}
void on_draw(MatchState *, GameRules *, MatchResult *) { seen.drawn++; }
void on_enter_frame() { seen.enter_frames++; }
void on_begin_replay() { seen.begin_replays++; }

void set_turnframes(std::initializer_list<int> frames)
{
    int n = 0;
    for (int f : frames)
        current_rules.turnframes[n++] = f;
    current_rules.turnframes_count = n;
}

class StepTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        seen = Seen();
        core_outward = CoreOutward();
        core_outward.hook_enter_freeze = on_freeze;
        core_outward.hook_end_game = on_end_game;
        core_outward.draw_frame_layers = on_draw;
        core_outward.hook_enter_frame = on_enter_frame;
        core_outward.begin_replay = on_begin_replay;
        game_init();
        memset(&current_rules, 0, sizeof current_rules);
        current_rules.matchframes = 500;
        set_turnframes({10});
        current_rules.match_mode = 1;
        replay_mode = REPLAY_LIVE;
        game_type = 0;
        frame_tick = 1000;
        selected_player = 0;
        match_state.match_mode = 1;
        match_result = MatchResult();
    }
    void TearDown() override
    {
        game_shutdown();
        core_outward = CoreOutward();
        selected_player = -1;
    }
};

// Plays a local match the way the space key does: start a turn whenever
// the edit phase is waiting. Returns the frames stepped.
// Between turns: paused, or a ghost preview runs (a preview unpauses the
// frame step for the ghosts while the live fighters wait).
bool in_edit_phase()
{
    return match_state.game_paused || match_state.ghost_mode != GHOST_OFF;
}

int play_match(int max_frames, void (*each_turn)(int turn) = nullptr)
{
    int turns = 0;
    for (int i = 0; i < max_frames; i++) {
        if (in_edit_phase() && !match_state.game_over) {
            if (each_turn)
                each_turn(turns);
            turns++;
            start_turn(0);
        }
        step_frame(0);
        frame_tick += 16;
        if (match_state.game_over && seen.end_games.size() && i > 0 &&
            match_state.match_frame > current_rules.matchframes + 20)
            return i + 1;
    }
    return max_frames;
}

uint64_t hash_bodies()
{
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](const dReal *v, int n) {
        const unsigned char *p = reinterpret_cast<const unsigned char *>(v);
        for (size_t k = 0; k < n * sizeof(dReal); k++) {
            h ^= p[k];
            h *= 1099511628211ull;
        }
    };
    // The live fighters only: a ghost preview moves the ghost records.
    for (int r = 0; r < match_state.num_players && r < fighters_built; r++)
        for (int b = 0; b < NUM_BODIES; b++) {
            mix(dBodyGetPosition(players[r].body[b]), 3);
            mix(dBodyGetRotation(players[r].body[b]), 12);
        }
    return h;
}

double head_z(int p) { return dBodyGetPosition(players[p].body[0])[2]; }

TEST_F(StepTest, DefaultMatchEndsAtMatchframesWithItsTurns)
{
    play_match(2000);
    std::vector<int> expected;
    for (int f = 10; f < 500; f += 10)
        expected.push_back(f);
    EXPECT_EQ(seen.freeze_frames, expected);
    ASSERT_EQ(seen.end_games.size(), 1u);   // fired exactly once
    EXPECT_EQ(seen.end_games[0], 500);
    EXPECT_EQ(match_state.end_frame, 500);
    EXPECT_EQ(match_state.game_over, 1);
    EXPECT_EQ(seen.end_game_code, 1);   // equal scores: a draw
    EXPECT_EQ(match_state.result_code, 1);
    EXPECT_EQ(match_state.turn_frame, 0);
    EXPECT_GT(seen.drawn, 500);
    EXPECT_EQ(match_state.turn, 50);
}

TEST_F(StepTest, TurnframesListCyclesThroughItsEntries)
{
    current_rules.matchframes = 100;
    set_turnframes({5, 10, 20});
    play_match(1000);
    const std::vector<int> expected = {5, 15, 35, 40, 50, 70, 75, 85};
    EXPECT_EQ(seen.freeze_frames, expected);
    ASSERT_EQ(seen.end_games.size(), 1u);
    EXPECT_EQ(seen.end_games[0], 100);
}

TEST_F(StepTest, TurnEndComesBeforeThatFramesPhysics)
{
    start_turn(0);
    EXPECT_EQ(match_state.turn_frame, 11);
    EXPECT_EQ(match_state.game_paused, 0);
    for (int i = 0; i < 10; i++)
        step_frame(0);
    EXPECT_EQ(match_state.match_frame, 10);
    EXPECT_EQ(match_state.turn_frame, 1);
    EXPECT_TRUE(seen.freeze_frames.empty());
    uint64_t before = hash_bodies();
    step_frame(0);   // 1 -> 0: end_turn, then no live step
    ASSERT_EQ(seen.freeze_frames.size(), 1u);
    EXPECT_TRUE(in_edit_phase());
    EXPECT_NE(match_state.ghost_mode, GHOST_OFF);   // the preview of the next turn
    EXPECT_EQ(match_state.match_frame, 10);
    EXPECT_EQ(hash_bodies(), before);
}

TEST_F(StepTest, SingleFrameAndCountedTurns)
{
    struct Case {
        int mode, frames;
    } cases[] = {{1, 1}, {2, 2}, {50, 50}};
    for (const Case &c : cases) {
        match_state.match_frame = 0;
        start_turn(c.mode);
        int guard = 0;
        while (!in_edit_phase() && guard++ < 1000)
            step_frame(0);
        EXPECT_EQ(match_state.match_frame, c.frames) << "mode " << c.mode;
    }
    EXPECT_EQ(match_state.turn, 0);   // counted turns leave the turnframes cycle alone
}

TEST_F(StepTest, PausedFramesNeitherAdvanceNorStep)
{
    ASSERT_EQ(match_state.game_paused, 1);
    uint64_t before = hash_bodies();
    for (int i = 0; i < 20; i++)
        step_frame(0);
    EXPECT_EQ(match_state.match_frame, 0);
    EXPECT_EQ(hash_bodies(), before);
    EXPECT_EQ(seen.drawn, 20);   // drawing still happens
    EXPECT_EQ(seen.enter_frames, 0);
}

TEST_F(StepTest, SkippedFrameAdvancesWithoutStepping)
{
    start_turn(0);
    uint64_t before = hash_bodies();
    step_frame(1);
    EXPECT_EQ(match_state.match_frame, 1);
    EXPECT_EQ(seen.enter_frames, 1);
    EXPECT_EQ(hash_bodies(), before);
    step_frame(0);
    EXPECT_NE(hash_bodies(), before);
}

// Runs a scripted match and returns one hash per frame.
std::vector<uint64_t> scripted_run()
{
    game_init();
    replay_mode = REPLAY_LIVE;
    match_state.match_mode = 1;
    std::vector<uint64_t> hashes;
    int turn = 0;
    for (int i = 0; i < 700 && !match_state.game_over; i++) {
        if (in_edit_phase()) {
            // A different pose each turn, the same in every run.
            for (int p = 0; p < 2; p++)
                for (int j = 0; j < NUM_JOINTS; j++) {
                    int s = (turn + j + p) % 4;
                    double v = joint_velocity(p, j);
                    dJointSetHingeParam(players[p].hinge[j], dParamVel,
                                        s == 0 ? -v : s == 1 ? v : 0);
                    dJointSetHingeParam(players[p].hinge[j], dParamFMax,
                                        s == 3 ? 0 : joint_strength(p, j));
                }
            turn++;
            start_turn(0);
        }
        step_frame(0);
        hashes.push_back(hash_bodies());
    }
    game_shutdown();
    return hashes;
}

TEST_F(StepTest, SameScriptedMatchIsBitIdentical)
{
    game_shutdown();
    std::vector<uint64_t> a = scripted_run();
    std::vector<uint64_t> b = scripted_run();
    ASSERT_GT(a.size(), 500u);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); i++)
        ASSERT_EQ(a[i], b[i]) << "frame " << i;
    game_init();   // for TearDown
}

TEST_F(StepTest, HeldFightersStandThroughATurn)
{
    double start[2] = {head_z(0), head_z(1)};
    for (int p = 0; p < 2; p++)
        for (int j = 0; j < NUM_JOINTS; j++)
            hold_joint(p, j);
    start_turn(400);
    double lowest[2] = {start[0], start[1]};
    while (!in_edit_phase()) {
        step_frame(0);
        for (int p = 0; p < 2; p++)
            lowest[p] = std::fmin(lowest[p], head_z(p));
    }
    EXPECT_EQ(match_state.match_frame, 400);
    for (int p = 0; p < 2; p++)
        EXPECT_GT(lowest[p], start[p] * 0.9) << "held fighter " << p << " sagged";
}

TEST_F(StepTest, RelaxedFighterCollapses)
{
    disable_player(1);   // nothing to lean on
    double start = head_z(0);
    relax_all(0);
    start_turn(400);
    while (!in_edit_phase())
        step_frame(0);
    EXPECT_LT(head_z(0), start * 0.5) << "relaxed fighter still standing";
    EXPECT_GT(head_z(0), 0.1);   // on the ground, not through it
    for (int b = 0; b < NUM_BODIES; b++)
        ASSERT_TRUE(std::isfinite(dBodyGetPosition(players[0].body[b])[2]));
}

struct ResultCase {
    const char *what;
    int players;
    int mode;
    float scores[4];
    int code;
    int winners[4];
    int losers[4];
};

TEST_F(StepTest, LocalMatchResults)
{
    const ResultCase cases[] = {
        {"equal scores", 2, 1, {5, 5}, 1, {-1, -1, -1, -1}, {-1, -1, -1, -1}},
        {"second wins", 2, 1, {1, 9}, 0, {1, -1, -1, -1}, {0, -1, -1, -1}},
        {"one fighter", 1, 1, {3}, 1, {-1, -1, -1, -1}, {-1, -1, -1, -1}},
        {"three, mode 1", 3, 1, {2, 7, 4}, 0, {1, -1, -1, -1}, {2, 0, -1, -1}},
        {"three, tie on top, mode 1", 3, 1, {7, 7, 4}, 1, {-1, -1, -1, -1}, {-1, -1, -1, -1}},
        {"three, tie on top, mode 2", 3, 2, {7, 7, 4}, 0, {0, 1, -1, -1}, {2, -1, -1, -1}},
        {"four, mode 2, groups", 4, 2, {1, 8, 3, 5}, 0, {1, 3, -1, -1}, {2, 0, -1, -1}},
    };
    for (const ResultCase &c : cases) {
        match_state.num_players = c.players;
        match_state.match_mode = c.mode;
        match_state.game_over = 0;
        match_state.match_frame = current_rules.matchframes;
        for (int i = 0; i < 4; i++) {
            match_state.wins[i] = 0;
            players[i].score = i < c.players ? c.scores[i] : 0;
            players[i].touch_first = 3;
        }
        EXPECT_EQ(finish_turn_local(), 1) << c.what;
        EXPECT_EQ(match_state.result_code, c.code) << c.what;
        for (int i = 0; i < 4; i++) {
            EXPECT_EQ(match_state.winners[i], c.winners[i]) << c.what << " winner " << i;
            EXPECT_EQ(match_state.losers[i], c.losers[i]) << c.what << " loser " << i;
        }
        for (int i = 0; i < 4; i++)
            if (c.winners[i] >= 0) {
                EXPECT_EQ(match_state.wins[c.winners[i]], 1) << c.what;
            }
        EXPECT_EQ(players[0].touch_first, 0);
    }
    match_state.num_players = 2;
}

TEST_F(StepTest, TeamsRankedByTeamScore)
{
    match_state.num_players = 4;
    match_state.team_count = 2;
    const float scores[4] = {10, 1, 1, 5};   // team 0: 0 and 2 = 11; team 1: 1 and 3 = 6
    for (int i = 0; i < 4; i++) {
        players[i].team = i % 2;
        players[i].score = scores[i];
    }
    match_state.match_frame = current_rules.matchframes;
    ASSERT_EQ(finish_turn_local(), 1);
    EXPECT_EQ(match_state.result_code, 0);
    EXPECT_EQ(match_state.winners[0], 0);
    EXPECT_EQ(match_state.winners[1], 2);
    EXPECT_EQ(match_state.losers[0], 1);
    EXPECT_EQ(match_state.losers[1], 3);
    match_state.num_players = 2;
    match_state.team_count = 0;
}

TEST_F(StepTest, DisqualifiedFighterLosesAndTheMatchEndsOnce)
{
    current_rules.flags = RULE_FLAG_DQ;
    selected_player = 1;
    start_turn(0);
    hold_all(1);
    step_frame(0);
    players[1].out = 1;
    step_frame(0);
    EXPECT_EQ(match_state.game_over, 1);
    EXPECT_EQ(match_state.result_code, 2);
    EXPECT_EQ(match_state.winners[0], 0);
    EXPECT_EQ(match_state.winners[1], -1);
    EXPECT_EQ(match_state.losers[0], 1);
    EXPECT_EQ(selected_player, -1);
    EXPECT_EQ(dJointGetHingeParam(players[1].hinge[3], dParamFMax), 0.0);
    EXPECT_EQ(match_state.turn_frame, 0);
    for (int i = 0; i < 30; i++)
        step_frame(0);
    EXPECT_EQ(seen.end_games.size(), 1u);
    EXPECT_EQ(seen.end_game_code, 2);
}

TEST_F(StepTest, FinishedMatchReplaysAfterItsDelay)
{
    match_state.turn_seconds = 2;
    current_rules.matchframes = 20;
    start_turn(30);
    for (int i = 0; i < 25; i++)
        step_frame(0);
    ASSERT_EQ(match_state.game_over, 1);
    EXPECT_EQ(match_state.turn_end, 1000 + 2000);
    step_frame(0);
    EXPECT_EQ(seen.begin_replays, 0);
    frame_tick = 3000;
    step_frame(0);
    EXPECT_EQ(seen.begin_replays, 1);
    EXPECT_EQ(match_state.turn_end, 0);
    frame_tick = 9000;
    step_frame(0);
    EXPECT_EQ(seen.begin_replays, 1);
}

// Offline, the replay that follows a finished match waits while the banner
// (the result) still shows.
TEST_F(StepTest, FinishedMatchReplayWaitsForTheBanner)
{
    static int showing;
    showing = 1;
    core_outward.banner_showing = [] { return showing; };
    match_state.turn_seconds = 2;
    current_rules.matchframes = 20;
    start_turn(30);
    for (int i = 0; i < 25; i++)
        step_frame(0);
    ASSERT_EQ(match_state.game_over, 1);
    frame_tick = 3500;
    step_frame(0);
    EXPECT_EQ(seen.begin_replays, 0);
    showing = 0;
    step_frame(0);
    EXPECT_EQ(seen.begin_replays, 1);
}

TEST_F(StepTest, EndDeadlineMovesOnOnce)
{
    int next = 0;
    static int *counter;
    counter = &next;
    core_outward.play_next_replay = [] { (*counter)++; };
    match_state.end_deadline = 2000;
    step_frame(0);
    EXPECT_EQ(next, 0);
    frame_tick = 2000;
    step_frame(0);
    EXPECT_EQ(next, 1);
    EXPECT_EQ(replay_mode, REPLAY_CYCLE);
    EXPECT_EQ(match_state.end_deadline, 0);
    replay_mode = REPLAY_LIVE;   // a later live game is not sent away again
    step_frame(0);
    EXPECT_EQ(next, 1);
    EXPECT_EQ(replay_mode, REPLAY_LIVE);
}

TEST_F(StepTest, OnlineTurnStartsWhenEveryFighterIsReady)
{
    game_type = 1;
    core_outward.is_connected = [] { return 1; };
    current_rules.opening_frames = 0;
    players[0].ready = 1;
    step_frame(0);
    EXPECT_EQ(match_state.game_paused, 1);   // uke is not ready yet
    players[1].ready = 1;
    match_state.ready_bits = 0x13f;
    step_frame(0);
    EXPECT_EQ(match_state.game_paused, 0);
    EXPECT_EQ(players[0].ready, 0);
    EXPECT_EQ(match_state.turn_frame, 10);   // 11, already counted down once
    EXPECT_EQ(match_state.match_frame, 1);
    game_type = 0;
}

}  // namespace

// ---- fighters that are out at the end of a match ----------------------------------

struct OutCase {
    const char *what;
    int players;
    int mode;
    float scores[4];
    int out[4];
    int code;
    int winners[4];
    int losers[4];
};

TEST_F(StepTest, FightersOutAreNeverRankedAndStayAmongTheLosers)
{
    const OutCase cases[] = {
        // the two still standing are level: a draw, the one out has lost
        {"three, the one out has the best score", 3, 1, {-4000, -4000, -3000}, {0, 0, 1}, 1,
         {-1, -1, -1, -1}, {2, -1, -1, -1}},
        {"three, one out, the others differ", 3, 1, {-4000, -3500, -3000}, {0, 0, 1}, 0,
         {1, -1, -1, -1}, {2, 0, -1, -1}},
        {"four, mode 2, one out on top", 4, 2, {1, 8, 3, 9}, {0, 0, 0, 1}, 0,
         {1, 2, -1, -1}, {3, 0, -1, -1}},
        {"four, two out", 4, 1, {5, 1, 9, 2}, {1, 0, 1, 0}, 0, {3, -1, -1, -1},
         {0, 2, 1, -1}},
        {"four, two out, the two left level", 4, 1, {5, 1, 9, 1}, {1, 0, 1, 0}, 1,
         {-1, -1, -1, -1}, {0, 2, -1, -1}},
    };
    current_rules.flags = RULE_FLAG_DQ;
    for (const OutCase &c : cases) {
        match_state.num_players = c.players;
        match_state.match_mode = c.mode;
        match_state.game_over = 0;
        match_state.match_frame = current_rules.matchframes;
        for (int i = 0; i < 4; i++) {
            match_state.winners[i] = -1;
            match_state.losers[i] = -1;
            match_state.wins[i] = 0;
            players[i].score = i < c.players ? c.scores[i] : 0;
            players[i].out = i < c.players ? c.out[i] : 0;
        }
        EXPECT_EQ(finish_turn_local(), 1) << c.what;
        EXPECT_EQ(match_state.result_code, c.code) << c.what;
        for (int i = 0; i < 4; i++) {
            EXPECT_EQ(match_state.winners[i], c.winners[i]) << c.what << " winner " << i;
            EXPECT_EQ(match_state.losers[i], c.losers[i]) << c.what << " loser " << i;
        }
        for (int i = 0; i < c.players; i++)
            if (c.out[i]) {
                EXPECT_EQ(match_state.wins[i], 0) << c.what;
            }
    }
    for (int i = 0; i < 4; i++)
        players[i].out = 0;
    match_state.num_players = 2;
}

TEST_F(StepTest, FighterOutOnTheLastFrameLosesToTheOneStanding)
{
    current_rules.flags = RULE_FLAG_DQ;
    match_state.match_frame = current_rules.matchframes;
    players[0].score = 50;
    players[1].score = -10;
    players[0].out = 1;
    ASSERT_EQ(finish_turn_local(), 1);
    EXPECT_EQ(match_state.result_code, 2);
    EXPECT_EQ(match_state.winners[0], 1);
    EXPECT_EQ(match_state.winners[1], -1);
    EXPECT_EQ(match_state.losers[0], 0);
    EXPECT_EQ(match_state.losers[1], -1);
    players[0].out = 0;
}

// ---- a turn committed from the turn's end ------------------------------------------

// What a script's step_game does from its enter_freeze hook: the turn is
// committed at once (the shell fires exit_freeze, then starts the turn).
void commit_from_freeze()
{
    seen.freeze_frames.push_back(match_state.match_frame);
    if (!match_state.game_over)
        start_turn(0);
}

TEST_F(StepTest, TurnCommittedFromTheFreezeHookRunsItsOwnLength)
{
    struct Case {
        std::vector<int> turnframes;
        std::vector<int> freezes;
    } cases[] = {
        {{10}, {10, 20, 30, 40, 50}},
        {{1}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {{5, 7}, {5, 12, 17, 24, 29}},
    };
    for (const Case &c : cases) {
        game_shutdown();
        game_init();
        replay_mode = REPLAY_LIVE;
        match_state.match_mode = 1;
        current_rules.matchframes = c.freezes.back() + 1;
        for (size_t k = 0; k < c.turnframes.size(); k++)
            current_rules.turnframes[k] = c.turnframes[k];
        current_rules.turnframes_count = (int)c.turnframes.size();
        seen = Seen();
        core_outward.hook_enter_freeze = commit_from_freeze;
        start_turn(0);
        for (int i = 0; i < 200 && !match_state.game_over; i++)
            step_frame(0);
        EXPECT_EQ(seen.freeze_frames, c.freezes) << "turnframes " << c.turnframes[0];
        EXPECT_EQ(match_state.end_frame, current_rules.matchframes);
    }
}

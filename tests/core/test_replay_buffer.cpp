#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/outward.h"
#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/rules.h"
#include "core/step.h"
#include "core/world.h"

namespace {

class ReplayBufferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        core_outward = CoreOutward();
        game_init();
        memset(&current_rules, 0, sizeof current_rules);
        current_rules.matchframes = 60;
        current_rules.turnframes[0] = 10;
        current_rules.turnframes_count = 1;
        current_rules.match_mode = 1;
        match_state.match_mode = 1;
        replay_mode = REPLAY_LIVE;
        record_mode = 0;
        game_type = 0;
        ghost_setting = GHOST_OFF;
        match_state.ghost_mode = GHOST_OFF;
        frame_tick = 1000;
        selected_player = 0;
        clear_replay_from(0);
    }
    void TearDown() override
    {
        game_shutdown();
        core_outward = CoreOutward();
        selected_player = -1;
    }
};

struct BodySnapshot {
    std::vector<double> v;
    bool operator==(const BodySnapshot &o) const
    {
        return v.size() == o.v.size() && memcmp(v.data(), o.v.data(), v.size() * sizeof(double)) == 0;
    }
};

BodySnapshot snapshot_bodies(int fighters)
{
    BodySnapshot s;
    auto add = [&](const dReal *p, int n) { s.v.insert(s.v.end(), p, p + n); };
    for (int p = 0; p < fighters; p++)
        for (int b = 0; b < NUM_BODIES; b++) {
            dBodyID body = players[p].body[b];
            add(dBodyGetPosition(body), 3);
            add(dBodyGetQuaternion(body), 4);
            add(dBodyGetRotation(body), 12);
            add(dBodyGetLinearVel(body), 3);
            add(dBodyGetAngularVel(body), 3);
        }
    return s;
}

void perturb_bodies(int fighters)
{
    for (int p = 0; p < fighters; p++)
        for (int b = 0; b < NUM_BODIES; b++) {
            dBodyID body = players[p].body[b];
            const dReal *x = dBodyGetPosition(body);
            dBodySetPosition(body, x[0] + 0.3, x[1] - 0.2, x[2] + 0.1 * b);
            dQuaternion q = {0.5, 0.5, 0.5, 0.5};
            dBodySetQuaternion(body, q);
            dBodySetLinearVel(body, 1, 2, 3);
            dBodySetAngularVel(body, -3, 2, -1);
        }
}

void step_a_little(int frames)
{
    for (int i = 0; i < frames; i++)
        dWorldStep(physics_world, world_step_size);
}

TEST_F(ReplayBufferTest, PlayingARecordRestoresEveryBodyExactly)
{
    // Give the bodies a state worth restoring: fall for a while.
    step_a_little(25);
    match_state.match_frame = 7;
    ReplayFrame *r = get_replay_frame(0);
    ASSERT_NE(r, nullptr);
    EXPECT_NE(record_replay_frame(1, r), 0);
    match_state.frames_recorded = 1;
    // Recording leaves the bodies in the state the record (and its file) holds.
    const BodySnapshot before = snapshot_bodies(2);

    perturb_bodies(2);
    ASSERT_FALSE(snapshot_bodies(2) == before);

    match_state.replay_frame = 0;
    EXPECT_EQ(play_replay_frame(7), 0);
    // Positions and velocities come back bit for bit. ODE normalises every
    // quaternion that is set, so an orientation can come back a rounding
    // step away when no input normalises to exactly the recorded value.
    const BodySnapshot after = snapshot_bodies(2);
    ASSERT_EQ(after.v.size(), before.v.size());
    int exact_quaternions = 0;
    for (size_t body = 0; body < after.v.size() / 25; body++) {
        const double *a = &after.v[body * 25], *b = &before.v[body * 25];
        for (int k = 0; k < 3; k++)
            EXPECT_EQ(a[k], b[k]) << "position of body " << body;
        for (int k = 19; k < 25; k++)
            EXPECT_EQ(a[k], b[k]) << "velocity of body " << body;
        int same = 1;
        for (int k = 3; k < 19; k++) {
            EXPECT_NEAR(a[k], b[k], 1e-15) << "orientation of body " << body;
            same &= a[k] == b[k];
        }
        exact_quaternions += same;
    }
    EXPECT_GE(exact_quaternions, 21);   // of 42; most come back exactly
    EXPECT_EQ(match_state.replay_frame, 1);
}

TEST_F(ReplayBufferTest, RecordCountsChangesAndClearsWhatItTook)
{
    ReplayFrame *r = get_replay_frame(0);
    EXPECT_EQ(record_replay_frame(0, r), 0);   // nobody changed anything
    EXPECT_EQ(record_replay_frame(1, r), 1);   // forced counts

    struct Case {
        const char *what;
        void (*set)();
        int changes;
        int flag;
    } cases[] = {
        {"joint", [] { players[0].joint_state[3] = MOTOR_FWD; }, 1, 0},
        {"grips", [] { players[1].grip_req_l = 1; players[1].grip_req_r = 2; }, 2, 0},
        {"emote", [] { set_emote(1, "hello there", 3); }, 1, RF_EMOTE},
        {"crush", [] { players[0].joints[5].replay_pending = 1; }, 1, RF_CRUSH},
        {"fract", [] { players[1].joints[4].replay_pending = 2; }, 1, RF_FRACT},
        {"body event", [] { players[0].body_events[2] = 1; }, 1, RF_BODY_EVENT},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        for (int p = 0; p < 2; p++) {
            memset(players[p].joint_state, 0, sizeof players[p].joint_state);
            players[p].grip_req_l = players[p].grip_req_r = 0;
        }
        c.set();
        match_state.match_frame = 42;
        EXPECT_EQ(record_replay_frame(0, r), c.changes);
        EXPECT_EQ(r->frame, 42);
        EXPECT_EQ(r->objects_valid, 1);
        if (c.flag) {
            EXPECT_TRUE((r->flags[0] | r->flags[1]) & c.flag);
        }
        // One-shot events are taken out of the player record.
        EXPECT_EQ(players[1].emote_pending, 0);
        EXPECT_EQ(players[0].joints[5].replay_pending, 0);
        EXPECT_EQ(players[0].body_events[2], 0);
        // Recording again without new events records nothing new.
        memset(players[0].joint_state, 0, sizeof players[0].joint_state);
        players[1].grip_req_l = players[1].grip_req_r = 0;
        EXPECT_EQ(record_replay_frame(0, r), 0);
        EXPECT_EQ(r->flags[0] & (RF_EMOTE | RF_CRUSH | RF_FRACT | RF_BODY_EVENT), 0);
        EXPECT_EQ(r->flags[1] & (RF_EMOTE | RF_CRUSH | RF_FRACT | RF_BODY_EVENT), 0);
    }
    // The emote keeps 31 characters.
    set_emote(0, "0123456789012345678901234567890123456789", 2);
    EXPECT_EQ(players[0].emote_duration, 2000);
    EXPECT_EQ(players[0].emote_end, frame_tick + 2000);
    record_replay_frame(0, r);
    EXPECT_EQ(strlen(r->emotes[0]), 31u);
}

TEST_F(ReplayBufferTest, QuietFrameDoesNotCountAndTheFullBufferStops)
{
    // Through the frame step: an unchanged frame is not kept.
    match_state.game_paused = 0;
    match_state.turn_frame = 5;
    step_frame(1);
    EXPECT_EQ(match_state.frames_recorded, 0);
    players[0].joint_state[0] = MOTOR_HOLD;
    step_frame(1);
    EXPECT_EQ(match_state.frames_recorded, 1);

    // Only a match that runs on past the rules (online, without a result)
    // fills the buffer: recording stops there, and the player is told once.
    std::vector<std::string> told;
    static std::vector<std::string> *sink;
    sink = &told;
    core_outward.echo = [](const char *text, int) { sink->push_back(text); };
    match_state.frames_recorded = REPLAY_FRAMES;
    for (int i = 0; i < 3; i++) {
        players[0].joint_state[0] = MOTOR_HOLD;
        step_frame(1);
    }
    EXPECT_EQ(match_state.frames_recorded, REPLAY_FRAMES);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], "Replay full: frames from 2 on are not recorded");
    EXPECT_EQ(get_replay_frame(REPLAY_FRAMES), nullptr);
    EXPECT_EQ(get_replay_frame(-1), nullptr);
}

TEST_F(ReplayBufferTest, BufferGrowsAsRecordsAreAskedForAndShrinksWhenCleared)
{
    EXPECT_EQ(replay_chunks_allocated(), 1);
    // The last record of the buffer: its chunk comes, the ones between do not.
    ReplayFrame *last = get_replay_frame(REPLAY_FRAMES - 1);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->frame, 0);   // a new chunk is zeroed
    EXPECT_EQ(replay_chunks_allocated(), 2);
    for (int i = 0; i < 3 * REPLAY_CHUNK_FRAMES; i++)
        get_replay_frame(i)->frame = i + 1;
    EXPECT_EQ(replay_chunks_allocated(), 4);
    // Records stay where they are as the buffer grows.
    ReplayFrame *first = get_replay_frame(0);
    get_replay_frame(5 * REPLAY_CHUNK_FRAMES);
    EXPECT_EQ(get_replay_frame(0), first);
    EXPECT_EQ(get_replay_frame(300)->frame, 301);
    // Cleared from the middle of the second chunk: it is kept in part, the
    // later chunks go.
    match_state.frames_recorded = 3 * REPLAY_CHUNK_FRAMES;
    clear_replay_from(REPLAY_CHUNK_FRAMES + 10);
    EXPECT_EQ(replay_chunks_allocated(), 2);
    EXPECT_EQ(get_replay_frame(REPLAY_CHUNK_FRAMES + 9)->frame, REPLAY_CHUNK_FRAMES + 10);
    EXPECT_EQ(get_replay_frame(REPLAY_CHUNK_FRAMES + 10)->frame, 0);
    EXPECT_EQ(get_replay_frame(2 * REPLAY_CHUNK_FRAMES)->frame, 0);
    clear_replay_from(0);
    EXPECT_EQ(get_replay_frame(0), first);
    EXPECT_EQ(first->frame, 0);
    EXPECT_EQ(replay_chunks_allocated(), 1);
    // Room for a record of every frame of the longest match, and the
    // online end's one more.
    EXPECT_GE(REPLAY_FRAMES, MATCHFRAMES_MAX + 1);
}

TEST_F(ReplayBufferTest, LongTurnsOfOneFrameAreRecordedPastTheFirstChunk)
{
    // Every frame a turn of its own, every frame a command: a record each.
    current_rules.matchframes = 300;
    current_rules.turnframes[0] = 1;
    int guard = 0;
    while (!match_state.game_over && guard++ < 2000) {
        if (match_state.game_paused || match_state.ghost_mode != GHOST_OFF) {
            players[0].joint_state[guard % NUM_JOINTS] = 1 + guard % 4;
            start_turn(0);
        }
        step_frame(0);
    }
    ASSERT_EQ(match_state.game_over, 1);
    ASSERT_EQ(match_state.frames_recorded, 300);
    for (int i = 0; i < 300; i++)
        ASSERT_EQ(get_replay_frame(i)->frame, i) << i;
    // Nothing is recorded once the match is over.
    for (int i = 0; i < 20; i++) {
        players[0].grip_req_l = 1;
        step_frame(0);
    }
    EXPECT_EQ(match_state.frames_recorded, 300);
}

TEST_F(ReplayBufferTest, RecordAheadOfTheMatchWaitsForItsFrame)
{
    ReplayFrame *r = get_replay_frame(0);
    match_state.match_frame = 20;
    players[0].joint_state[1] = MOTOR_BACK;
    ASSERT_NE(record_replay_frame(0, r), 0);
    players[0].joint_state[1] = 0;
    match_state.frames_recorded = 1;
    match_state.replay_frame = 0;
    for (int f = 0; f < 20; f++) {
        EXPECT_EQ(play_replay_frame(f), 1);
        EXPECT_EQ(match_state.replay_frame, 0);
    }
    EXPECT_EQ(players[0].joint_state[1], 0);
    EXPECT_EQ(play_replay_frame(20), 0);
    EXPECT_EQ(match_state.replay_frame, 1);
    EXPECT_EQ(players[0].joint_state[1], MOTOR_BACK);
}

TEST_F(ReplayBufferTest, ClearFromZeroesTheRestAndSetsTheCounters)
{
    for (int i = 0; i < REPLAY_FRAMES; i++)
        get_replay_frame(i)->frame = i + 1;
    match_state.frames_recorded = REPLAY_FRAMES;
    clear_replay_from(100);
    EXPECT_EQ(get_replay_frame(99)->frame, 100);
    EXPECT_EQ(get_replay_frame(100)->frame, 0);
    EXPECT_EQ(get_replay_frame(255)->frame, 0);
    EXPECT_EQ(match_state.frames_recorded, 100);
    EXPECT_EQ(match_state.replay_frame, 100);
    clear_replay_from(REPLAY_FRAMES + 5);   // held to the buffer
    EXPECT_EQ(match_state.frames_recorded, REPLAY_FRAMES);
}

TEST_F(ReplayBufferTest, VelocityClampSubstitutesTenAndZeroesTorque)
{
    dBodyID b = players[0].body[3];
    dMass m;
    dBodyGetMass(b, &m);

    // 250 on one axis is damped as if it were 10.
    dBodySetForce(b, 0, 0, 0);
    dBodySetTorque(b, 0, 0, 0);
    dBodySetLinearVel(b, 250, -250, 50);
    dBodySetAngularVel(b, 0, 0, 0);
    clamp_body_velocities();
    const dReal *f = dBodyGetForce(b);
    EXPECT_DOUBLE_EQ(f[0], -m.mass * 0.001 * 10);
    EXPECT_DOUBLE_EQ(f[1], -m.mass * 0.001 * -10);
    EXPECT_DOUBLE_EQ(f[2], -m.mass * 0.001 * 50);
    EXPECT_EQ(dBodyGetLinearVel(b)[0], 250);   // the body keeps its speed

    // An angular component past 150 is clamped and the torque zeroed; the
    // linear substitution then is not used.
    dBodySetForce(b, 0, 0, 0);
    dBodySetTorque(b, 1, 1, 1);
    dBodySetAngularVel(b, -400, 20, 0);
    clamp_body_velocities();
    const dReal *w = dBodyGetAngularVel(b);
    EXPECT_EQ(w[0], -150);
    EXPECT_EQ(w[1], 20);
    const dReal *t = dBodyGetTorque(b);
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[1], 0);
    EXPECT_EQ(dBodyGetForce(b)[0], 0);
}

TEST_F(ReplayBufferTest, JointStateFromPendingOrHinge)
{
    dJointID h = players[0].hinge[2];
    struct {
        double vel, fmax;
        int expected;
    } cases[] = {{0, 0, MOTOR_RELAX}, {-1, 5, MOTOR_FWD}, {2, 5, MOTOR_BACK}, {0, 5, MOTOR_HOLD}};
    for (auto &c : cases) {
        dJointSetHingeParam(h, dParamVel, c.vel);
        dJointSetHingeParam(h, dParamFMax, c.fmax);
        EXPECT_EQ(get_joint_state(0, 2), c.expected) << c.vel << " " << c.fmax;
    }
    players[0].joint_state[2] = MOTOR_BACK;
    EXPECT_EQ(get_joint_state(0, 2), MOTOR_BACK);
    EXPECT_EQ(get_joint_state(0, NUM_JOINTS), MOTOR_NONE);
    EXPECT_EQ(get_joint_state(-1, 0), MOTOR_NONE);
}

TEST_F(ReplayBufferTest, SetPlayerPositionMovesEveryBodyAndRefusesBadIndices)
{
    for (int bad : {-1, (int)fighters_built, (int)MAX_PLAYERS, 1000})
        EXPECT_EQ(set_player_position(bad, 0, 0, 0), 1) << bad;

    double offset[3];
    const dReal *p0 = dBodyGetPosition(players[1].body[0]);
    const dReal *p5 = dBodyGetPosition(players[1].body[5]);
    for (int k = 0; k < 3; k++)
        offset[k] = p5[k] - p0[k];
    ASSERT_EQ(set_player_position(1, 3, -2, 4), 0);
    p0 = dBodyGetPosition(players[1].body[0]);
    p5 = dBodyGetPosition(players[1].body[5]);
    EXPECT_DOUBLE_EQ(p0[0], 3);
    EXPECT_DOUBLE_EQ(p0[1], -2);
    EXPECT_DOUBLE_EQ(p0[2], 4);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(p5[k] - p0[k], offset[k], 1e-12);
}

TEST_F(ReplayBufferTest, NamesAndTexts)
{
    EXPECT_EQ(set_player_name(0, "[Clan]Kasu"), 0);
    EXPECT_STREQ(players[0].name, "[Clan]Kasu");
    EXPECT_STREQ(players[0].name_lower, "kasu");
    EXPECT_EQ(set_player_name(0, "[Clan]Kasu"), 1);
    EXPECT_EQ(set_player_name(-1, "x"), 1);
    EXPECT_EQ(set_player_name(MAX_PLAYERS, "x"), 1);
    set_player_name(1, "0123456789012345678901234567890123456789");
    EXPECT_EQ(strlen(players[1].name), 31u);

    std::string long_text(400, 'a');
    set_replay_author(long_text.c_str());
    EXPECT_EQ(strlen(replay_author), 255u);
    set_fight_name("final");
    EXPECT_STREQ(fight_name, "final");
}

TEST_F(ReplayBufferTest, ResetMatchStateAndMatchResult)
{
    match_state.match_frame = 99;
    replay_mode = REPLAY_LIVE;
    reset_match_state();
    EXPECT_EQ(match_state.match_frame, 0);
    EXPECT_EQ(match_state.num_players, 2);
    EXPECT_EQ(match_state.game_paused, 1);
    EXPECT_EQ(match_state.ghost_length, 100);
    EXPECT_FLOAT_EQ(match_state.ghost_progress, 1.0f);
    EXPECT_EQ(match_state.winners[0], -1);
    EXPECT_EQ(replay_mode, REPLAY_CYCLE);
    EXPECT_EQ(own_id, -1);
    EXPECT_EQ(own_player_index, -1);

    strcpy(bout_list[3].name, "winner");
    MatchResultInput in = {};
    in.winner = 7;
    in.kind = 2;
    for (int i = 0; i < 4; i++) {
        in.bout_index[i] = -1;
        in.losers[i] = -1;
    }
    in.bout_index[0] = 3;
    in.losers[0] = 1;
    players[0].score = 12;
    apply_match_result(&in);
    EXPECT_EQ(match_result.valid, 1);
    EXPECT_EQ(match_result.scores[0], 12);
    EXPECT_STREQ(match_result_extra.fighters[0].name, "winner");
    EXPECT_EQ(match_result_extra.fighter_empty[1], 1);
    EXPECT_TRUE(players[1].flags & PLAYER_LOST);
    EXPECT_FALSE(players[0].flags & PLAYER_LOST);
    EXPECT_EQ(match_result_extra.loss_value[1], 7);

    // A loser list naming neither slot marks nobody.
    players[1].flags = 0;
    in.losers[0] = 5;
    in.bout_index[0] = 99;   // no such bout entry: an empty copy
    apply_match_result(&in);
    EXPECT_EQ(players[0].flags | players[1].flags, 0);
    EXPECT_EQ(match_result_extra.fighter_empty[0], 1);
}

// ---- a recorded match played back from memory ------------------------------------

uint64_t hash_fighters()
{
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](const dReal *v, int n) {
        const unsigned char *p = reinterpret_cast<const unsigned char *>(v);
        for (size_t k = 0; k < n * sizeof(dReal); k++) {
            h ^= p[k];
            h *= 1099511628211ull;
        }
    };
    for (int r = 0; r < 2; r++)
        for (int b = 0; b < NUM_BODIES; b++) {
            mix(dBodyGetPosition(players[r].body[b]), 3);
            mix(dBodyGetRotation(players[r].body[b]), 12);
        }
    return h;
}

TEST_F(ReplayBufferTest, RecordedMatchPlaysBackBitIdenticalFromMemory)
{
    std::vector<uint64_t> live;
    unsigned seed = 12345;
    int ghost_frames = 0;
    for (int guard = 0; guard < 800 && !match_state.game_over; guard++) {
        // Watch the ghost preview for a few frames in each edit phase, as a
        // player does: it must leave no trace in the match.
        if (match_state.ghost_mode != GHOST_OFF && !match_state.game_paused && ghost_frames < 6) {
            ghost_frames++;
            step_frame(0);
            continue;
        }
        if ((match_state.game_paused || match_state.ghost_mode != GHOST_OFF) &&
            !match_state.game_over) {
            ghost_frames = 0;
            for (int p = 0; p < 2; p++)
                for (int j = 0; j < NUM_JOINTS; j++) {
                    seed = seed * 1103515245u + 12345u;
                    players[p].joint_state[j] = 1 + (seed >> 16) % 4;
                }
            start_turn(0);
        }
        step_frame(0);
        frame_tick += 16;
        if ((int)live.size() < match_state.match_frame)
            live.push_back(hash_fighters());
    }
    ASSERT_GE(live.size(), 50u);
    ASSERT_GT(match_state.frames_recorded, 0);
    int recorded = match_state.frames_recorded;
    std::vector<ReplayFrame> saved;
    for (int i = 0; i < recorded; i++)
        saved.push_back(*get_replay_frame(i));

    game_shutdown();
    game_init();
    for (int i = 0; i < recorded; i++)
        *get_replay_frame(i) = saved[i];
    match_state.frames_recorded = recorded;
    match_state.replay_frame = 0;
    match_state.match_frame = 0;
    match_state.game_paused = 0;
    match_state.ghost_mode = GHOST_OFF;
    replay_mode = REPLAY_PLAYING;
    std::vector<uint64_t> played;
    while ((int)played.size() < (int)live.size()) {
        int before = match_state.match_frame;
        step_frame(0);
        frame_tick += 16;
        ASSERT_EQ(match_state.match_frame, before + 1);
        played.push_back(hash_fighters());
    }
    for (size_t i = 0; i < live.size(); i++)
        ASSERT_EQ(played[i], live[i]) << "frame " << i + 1;
}

}  // namespace

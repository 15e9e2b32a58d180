#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/command.h"
#include "core/outward.h"
#include "core/ghost.h"
#include "core/motors.h"
#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/newgame.h"
#include "core/replay_file.h"
#include "core/rules.h"
#include "core/step.h"
#include "core/text.h"
#include "core/world.h"
#include "support/test_support.h"

namespace {

std::vector<std::string> echoes;
void on_echo(const char *text, int) { echoes.push_back(text); }

std::string slurp(const std::string &path) { return read_whole_file(path); }

void put_file(const std::string &path, const std::string &bytes)
{
    write_whole_file(path, bytes);
}

class ReplayFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        echoes.clear();
        core_outward = CoreOutward();
        core_outward.echo = on_echo;
        game_init();
        memset(bout_list, 0, sizeof bout_list);
        fill_default_rules(0, &current_rules);
        current_rules.matchframes = 60;
        current_rules.turnframes[0] = 10;
        current_rules.turnframes_count = 1;
        replay_mode = REPLAY_LIVE;
        record_mode = 0;
        game_type = 0;
        ghost_setting = GHOST_OFF;
        match_state.ghost_mode = GHOST_OFF;
        match_state.match_mode = 1;
        frame_tick = 1000;
        selected_player = 0;
        clear_replay_from(0);
        clear_bout_list();
        set_player_name(0, "kasu");
        set_player_name(1, "uke");
        set_fight_name("");
        set_replay_author("");
    }
    void TearDown() override
    {
        game_shutdown();
        core_outward = CoreOutward();
        selected_player = -1;
    }
};

// ---- the writer --------------------------------------------------------------------

TEST_F(ReplayFileTest, HeaderOnlyWhenNothingIsRecorded)
{
    players[0].score = 12.7f;
    players[1].score = 3.2f;
    match_state.result_code = 0;
    match_state.winners[0] = 0;
    set_fight_name("final");
    set_replay_author("ref");
    std::string path = test_tmp_path("header.rpl");
    ASSERT_EQ(write_replay(path.c_str(), 0), 0);
    std::string expected = "#!/usr/bin/zylomach\n"
                           "#made with zylomach-3.24\n"
                           "#SCORE 12 3\n"
                           "#WIN 0 kasu\n"
                           "VERSION 10\n"
                           "FIGHTNAME 0; final\n"
                           "BOUT 0; kasu\n"
                           "BOUT 1; uke\n"
                           "AUTHOR 0; ref\n";
    expected += write_newgame_line(0, &current_rules);
    EXPECT_EQ(slurp(path), expected);
    EXPECT_EQ(expected.substr(expected.size() - 1), "\n");
    EXPECT_EQ(expected.find('\r'), std::string::npos);

    // Bout names are taken when asked for.
    strcpy(bout_list[0].name, "boutname");
    ASSERT_EQ(write_replay(path.c_str(), 1), 0);
    EXPECT_NE(slurp(path).find("BOUT 0; boutname\nBOUT 1; \n"), std::string::npos);
    EXPECT_NE(slurp(path).find("#WIN 0 boutname\n"), std::string::npos);
}

TEST_F(ReplayFileTest, UnwritablePathFails)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(write_replay("/nonexistent-dir/x.rpl", 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to open /nonexistent-dir/x.rpl\n");
}

// Fills every record with changes of both fighters.
void fill_buffer(int records)
{
    for (int i = 0; i < records; i++) {
        ReplayFrame *r = get_replay_frame(i);
        r->frame = 3 * i;
        for (int p = 0; p < 2; p++) {
            r->change_counts[p] = 1 + i % 3;
            r->flags[p] = RF_POS | RF_QAT | RF_LINVEL | RF_ANGVEL;
            r->injuries[p] = (float)(i * 1.5 + p);
            r->scores[p] = (float)(i * 2 + p);
            for (int j = 0; j < NUM_JOINTS; j++)
                r->joint_states[p][j] = (i + j + p) % 5;
            r->left_grips[p] = i % 3 == 0;
            r->right_grips[p] = (i % 4 == 1) ? 2 : 0;
            for (int b = 0; b < NUM_BODIES; b++)
                for (int k = 0; k < 4; k++) {
                    double v = std::sin(i * 0.37 + b * 1.1 + k * 0.13 + p);
                    if (k < 3) {
                        r->positions[p][b][k] = 3 * v;
                        r->linear_velocities[p][b][k] = 40 * v;
                        r->angular_velocities[p][b][k] = -25 * v;
                    }
                    r->quaternions[p][b][k] = v;
                }
            if (i % 7 == 0) {
                r->flags[p] |= RF_CRUSH;
                r->breaks[p][(i + p) % NUM_JOINTS] = 1;
            }
            if (i % 11 == 0) {
                r->flags[p] |= RF_FRACT;
                r->breaks[p][(i + 5) % NUM_JOINTS] = 2;
            }
            if (i % 13 == 0) {
                r->flags[p] |= RF_EMOTE;
                snprintf(r->emotes[p], sizeof r->emotes[p], "100%% %d", i);
            }
        }
    }
    match_state.frames_recorded = records;
}

TEST_F(ReplayFileTest, FullBufferRoundTripIsByteIdentical)
{
    set_player_name(0, "100%s%n");
    set_fight_name("cup %d%%");
    set_replay_author("%x author");
    fill_buffer(REPLAY_FRAMES);
    std::string a = test_tmp_path("round_a.rpl"), b = test_tmp_path("round_b.rpl");
    ASSERT_EQ(write_replay(a.c_str(), 0), 0);
    const std::string first = slurp(a);
    EXPECT_NE(first.find("BOUT 0; 100%s%n\n"), std::string::npos);
    EXPECT_NE(first.find("FIGHTNAME 0; cup %d%%\n"), std::string::npos);
    EXPECT_NE(first.find("EMOTE 0;100% 13\n"), std::string::npos);

    clear_replay_from(0);
    set_player_name(0, "other");
    ASSERT_EQ(read_replay(a.c_str()), 0);
    EXPECT_EQ(match_state.frames_recorded, REPLAY_FRAMES);
    EXPECT_STREQ(players[0].name, "100%s%n");
    EXPECT_STREQ(replay_author, "%x author");
    ASSERT_EQ(write_replay(b.c_str(), 0), 0);
    EXPECT_EQ(slurp(b), first);
}

// ---- the reader --------------------------------------------------------------------

const char *header = "#!/usr/bin/zylomach\nVERSION 10\n";

TEST_F(ReplayFileTest, MissingFileIsReportedAndChangesNothing)
{
    fill_buffer(3);
    testing::internal::CaptureStderr();
    std::string path = test_tmp_path("does_not_exist.rpl");
    EXPECT_EQ(read_replay(path.c_str()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to open " + path + "\n");
    EXPECT_EQ(match_state.frames_recorded, 3);
}

TEST_F(ReplayFileTest, FrameRecordRule)
{
    std::string path = test_tmp_path("frames.rpl");
    put_file(path, std::string(header) +
                       "FRAME 0; 1 2 3 4\n"
                       "JOINT 0; 1 2\n"
                       "FRAME 0; 5 6\n"          // same number: same record
                       "JOINT 1; 3 3\n"
                       "FRAME 10; 0 0\n"         // the next record
                       "FRAME 20; 0 0\n"         // no change at 10: reused
                       "FRACT 1; 4\n"
                       "GRIP 0; 1 2\n");
    ASSERT_EQ(read_replay(path.c_str()), 0);
    EXPECT_EQ(match_state.frames_recorded, 2);
    ReplayFrame *r0 = get_replay_frame(0), *r1 = get_replay_frame(1);
    EXPECT_EQ(r0->frame, 0);
    EXPECT_EQ(r0->joint_states[0][1], 2);
    EXPECT_EQ(r0->joint_states[1][3], 3);
    EXPECT_FLOAT_EQ(r0->injuries[0], 5);
    EXPECT_FLOAT_EQ(r0->injuries[1], 6);
    EXPECT_FLOAT_EQ(r0->scores[0], 3);   // kept: the second line held no scores
    EXPECT_EQ(r1->frame, 20);
    EXPECT_EQ(r1->breaks[1][4], JOINT_FRACTURED);
    EXPECT_TRUE(r1->flags[1] & RF_FRACT);
    EXPECT_EQ(r1->left_grips[0], 1);
    EXPECT_EQ(r1->right_grips[0], 2);

    // Written back, the fracture gives the same line.
    std::string out = test_tmp_path("frames_out.rpl");
    ASSERT_EQ(write_replay(out.c_str(), 0), 0);
    EXPECT_NE(slurp(out).find("FRAME 20; 0 0 0 0\nFRACT 1; 4\n"), std::string::npos);
}

TEST_F(ReplayFileTest, PackedTailInsideAFile)
{
    double values[NUM_BODIES * 3];
    for (int i = 0; i < NUM_BODIES * 3; i++)
        values[i] = i * 0.25 - 3;
    char tail[PACKED_TAIL_BYTES];
    int bytes = pack_tail(tail, sizeof tail, values, NUM_BODIES * 3);
    ASSERT_GT(bytes, 0);
    std::string file = std::string(header) + "FRAME 4; 0 0\nP_POS 1;\n";
    file.append(tail, bytes);
    file += "EMOTE 1; hi there\n";
    std::string path = test_tmp_path("tail.rpl");
    put_file(path, file);
    ASSERT_EQ(read_replay(path.c_str()), 0);
    ReplayFrame *r = get_replay_frame(0);
    EXPECT_TRUE(r->flags[1] & RF_POS);
    EXPECT_DOUBLE_EQ(r->positions[1][0][0], -3);
    EXPECT_DOUBLE_EQ(r->positions[1][20][2], 62 * 0.25 - 3);
    EXPECT_STREQ(r->emotes[1], "hi there");   // the line after the tail is read
    EXPECT_EQ(match_state.frames_recorded, 1);
}

TEST_F(ReplayFileTest, BadLinesAreReportedAndSkipped)
{
    struct Case {
        const char *what;
        std::string body;
        const char *stderr_has;   // null: nothing in particular
        const char *author;       // replay_author after reading
    } cases[] = {
        {"overlong line", std::string(3000, 'A') + "\nAUTHOR 0; after\n", "line longer than 2047",
         "after"},
        {"last line without a line end", "AUTHOR 0; one\nAUTHOR 0; two", nullptr, "one"},
        {"NUL ends a line", std::string("AUTHOR 0; nul\0AUTHOR 0; next\n", 29), nullptr, "next"},
        {"negative BOUT", "BOUT -1; evil\nAUTHOR 0; x\n",
         "BOUT parameter out of range (-1 ; \"evil\")", "x"},
        {"large BOUT", "BOUT 4; evil\nAUTHOR 0; y\n", "BOUT parameter out of range (4 ; \"evil\")",
         "y"},
        {"unknown command", "BOGUS 1; 2\nAUTHOR 0; z\n", "parse_cmd no op found", "z"},
        {"refused tail count", "P_QAT 0;\n\xff\xff\xff\x7f" "AUTHOR 0; w\n", "tail", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        set_replay_author("");
        std::string path = test_tmp_path("bad.rpl");
        put_file(path, std::string(header) + c.body);
        testing::internal::CaptureStderr();
        EXPECT_EQ(read_replay(path.c_str()), 0);
        std::string err = testing::internal::GetCapturedStderr();
        if (c.stderr_has) {
            EXPECT_NE(err.find(c.stderr_has), std::string::npos) << err;
        }
        EXPECT_STREQ(replay_author, c.author);
    }
}

TEST_F(ReplayFileTest, HandlersRefuseBadNumbers)
{
    std::string path = test_tmp_path("numbers.rpl");
    put_file(path, std::string(header) +
                       "FRAME 1; 0 0\n"
                       "JOINT 4; 1 1\nJOINT -1; 1 1\nJOINT 0; 20 1 -3 2 19 4\n"
                       "POS 9; 1 2 3\nQAT -7; 1 0 0 0\nGRIP 1000; 1 1\n"
                       "CRUSH 0; -1 20 2000000000 3\nFRACT 5; 1\nEMOTE 4;x\n"
                       "GRAB 0; 1 2 21 4 0 0 0\nGRAB 0; 1 2 -1 4 0 0 0\nGRAB 9; 1 2 0 4 0 0 0\n"
                       "GRAB 1; 1 2 3 4 0.5 0.25 1\n"
                       "ENGAGE 7; 1 2 3 0 0 0\nTEAMS 99; 1 1\nTEAMS 2; 0 2147483647\n");
    testing::internal::CaptureStderr();
    ASSERT_EQ(read_replay(path.c_str()), 0);
    std::string err = testing::internal::GetCapturedStderr();
    ReplayFrame *r = get_replay_frame(0);
    EXPECT_EQ(r->joint_states[0][19], 4);
    for (int j = 0; j < 19; j++)
        EXPECT_EQ(r->joint_states[0][j], 0) << j;
    EXPECT_EQ(r->breaks[0][3], JOINT_DISMEMBERED);
    EXPECT_EQ(replay_grabs[1][3].valid, 1);
    EXPECT_DOUBLE_EQ(replay_grabs[1][3].position[1], 0.25);
    for (const char *m : {"JOINT player 4", "JOINT player -1", "JOINT joint 20", "POS player 9",
                          "GRIP player 1000", "CRUSH joint -1", "FRACT player 5", "GRAB slot 21",
                          "GRAB slot -1", "GRAB player 9", "ENGAGE player 7", "TEAMS players 99",
                          "TEAMS team 2147483647"})
        EXPECT_NE(err.find(m), std::string::npos) << m;
}

TEST_F(ReplayFileTest, FramePastTheBufferStopsWithOneMessage)
{
    std::string body = header;
    for (int i = 0; i < REPLAY_FRAMES + 40; i++)
        body += "FRAME " + std::to_string(i) + "; 0 0\nJOINT 0; 1 1\n";
    std::string path = test_tmp_path("long.rpl");
    put_file(path, body);
    testing::internal::CaptureStderr();
    ASSERT_EQ(read_replay(path.c_str()), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(match_state.frames_recorded, REPLAY_FRAMES);
    EXPECT_EQ(get_replay_frame(REPLAY_FRAMES - 1)->frame, REPLAY_FRAMES - 1);
    std::string said = "more than " + std::to_string(REPLAY_FRAMES) + " frames";
    size_t first = err.find(said);
    ASSERT_NE(first, std::string::npos) << err.substr(0, 400);
    EXPECT_EQ(err.find(said, first + 1), std::string::npos);
}

TEST_F(ReplayFileTest, InjectedLinesInTextsAreCut)
{
    set_player_name(0, "a\nAUTHOR 0; pwned");
    set_fight_name("f\rAUTHOR 0; pwned");
    fill_buffer(1);
    snprintf(get_replay_frame(0)->emotes[1], REPLAY_EMOTE_SIZE, "hey\nAUTHOR 0; pwned");
    get_replay_frame(0)->flags[1] |= RF_EMOTE;
    std::string path = test_tmp_path("inject.rpl");
    ASSERT_EQ(write_replay(path.c_str(), 0), 0);
    EXPECT_EQ(slurp(path).find("pwned"), std::string::npos);
    set_replay_author("kept");
    ASSERT_EQ(read_replay(path.c_str()), 0);
    EXPECT_STREQ(replay_author, "");
    EXPECT_STREQ(players[0].name, "a");
    EXPECT_STREQ(get_replay_frame(0)->emotes[1], "hey");
}

// ---- a saved match replays -----------------------------------------------------------

struct Frames {
    std::vector<uint64_t> hash;
    std::vector<std::vector<double>> state;
};

void take_frame(Frames *f)
{
    uint64_t h = 1469598103934665603ull;
    std::vector<double> s;
    for (int r = 0; r < 2; r++)
        for (int b = 0; b < NUM_BODIES; b++) {
            const dReal *p = dBodyGetPosition(players[r].body[b]);
            const dReal *R = dBodyGetRotation(players[r].body[b]);
            s.insert(s.end(), p, p + 3);
            s.insert(s.end(), R, R + 12);
        }
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(s.data());
    for (size_t k = 0; k < s.size() * sizeof(double); k++) {
        h ^= bytes[k];
        h *= 1099511628211ull;
    }
    f->hash.push_back(h);
    f->state.push_back(s);
}

void play_scripted_match(Frames *out)
{
    unsigned seed = 777;
    for (int guard = 0; guard < 400 && !match_state.game_over; guard++) {
        if ((match_state.game_paused || match_state.ghost_mode != GHOST_OFF) &&
            !match_state.game_over) {
            for (int p = 0; p < 2; p++) {
                for (int j = 0; j < NUM_JOINTS; j++) {
                    seed = seed * 1103515245u + 12345u;
                    players[p].joint_state[j] = 1 + (seed >> 16) % 4;
                }
                seed = seed * 1103515245u + 12345u;
                players[p].grip_req_l = (seed >> 20) % 3;
            }
            start_turn(0);
        }
        step_frame(0);
        frame_tick += 16;
        if ((int)out->hash.size() < match_state.match_frame)
            take_frame(out);
    }
}

void play_file(const char *path, int frames, Frames *out, void (*after_init)() = nullptr)
{
    game_shutdown();
    game_init();
    if (after_init)
        after_init();
    ASSERT_EQ(read_replay(path), 0);
    ASSERT_GT(match_state.frames_recorded, 0);
    match_state.match_frame = 0;
    match_state.replay_frame = 0;
    match_state.game_paused = 0;
    match_state.ghost_mode = GHOST_OFF;
    match_state.turn_frame = 0;
    replay_mode = REPLAY_PLAYING;
    while ((int)out->hash.size() < frames) {
        step_frame(0);
        frame_tick += 16;
        take_frame(out);
    }
}

TEST_F(ReplayFileTest, SavedMatchReplaysTheSameEveryTime)
{
    // A match begins as every match does, from its rules.
    GameRules rules = current_rules;
    start_game_with_rules(0, 0, &rules);
    replay_mode = REPLAY_LIVE;
    Frames live;
    play_scripted_match(&live);
    ASSERT_GE(live.hash.size(), 55u);
    std::string path = test_tmp_path("match.rpl");
    ASSERT_EQ(write_replay(path.c_str(), 0), 0);

    Frames a, b;
    play_file(path.c_str(), (int)live.hash.size(), &a);
    play_file(path.c_str(), (int)live.hash.size(), &b);
    ASSERT_EQ(a.hash.size(), live.hash.size());
    // Every playback of the file is the same, bit for bit, at every frame.
    for (size_t i = 0; i < a.hash.size(); i++)
        ASSERT_EQ(a.hash[i], b.hash[i]) << "frame " << i + 1;
    // And it follows the match as it was played, bit for bit: a recorded
    // frame keeps what its file holds and the played match went on from it.
    for (size_t i = 0; i < a.hash.size(); i++)
        ASSERT_EQ(a.hash[i], live.hash[i]) << "frame " << i + 1;
}

// A crate that falls between the fighters, who stand close enough to hit,
// grip and break each other.
void put_crate_in_default_world()
{
    EnvObject *o = &default_world.objects[0];
    memset(o, 0, sizeof *o);
    o->used = 1;
    o->shape = 1;
    o->position[0] = 1.0;
    o->position[1] = -0.1;
    o->position[2] = 3.2;
    for (int k = 0; k < 3; k++)
        o->sides[k] = 0.3;
    o->mass = 0.5;
}

struct Happened {
    int breaks = 0, grips = 0;
    double crate_travel = 0;
};

void play_rough_match(Frames *out, Happened *seen)
{
    unsigned seed = 4242;
    dBodyID crate = moving_env_body(0);
    const dReal *c0 = crate ? dBodyGetPosition(crate) : nullptr;
    double start[3] = {c0 ? c0[0] : 0, c0 ? c0[1] : 0, c0 ? c0[2] : 0};
    for (int guard = 0; guard < 1200 && !match_state.game_over; guard++) {
        if ((match_state.game_paused || match_state.ghost_mode != GHOST_OFF) &&
            !match_state.game_over) {
            for (int p = 0; p < 2; p++) {
                for (int j = 0; j < NUM_JOINTS; j++) {
                    seed = seed * 1103515245u + 12345u;
                    set_commanded_joint_state(p, j, 1 + (seed >> 16) % 4);
                }
                seed = seed * 1103515245u + 12345u;
                players[p].grip_req_l = 1 + (seed >> 20) % 2;
                players[p].grip_req_r = 1;
            }
            // As the player does it: the edit refreshes the ghost, which
            // runs a few frames before the turn is committed.
            refresh_ghost();
            for (int g = 0; g < 3; g++) {
                step_frame(0);
                frame_tick += 16;
            }
            start_turn(0);
        }
        step_frame(0);
        frame_tick += 16;
        for (int p = 0; p < 2; p++)
            for (int h = 11; h <= 12; h++)
                if (players[p].grip_joint[h])
                    seen->grips++;
        if ((int)out->hash.size() < match_state.match_frame)
            take_frame(out);
    }
    seen->breaks = players[0].broken_count + players[1].broken_count;
    if (crate) {
        const dReal *c = dBodyGetPosition(crate);
        seen->crate_travel = fabs(c[2] - start[2]) + fabs(c[0] - start[0]);
    }
}

TEST_F(ReplayFileTest, RoughMatchReplaysBitIdenticalFromItsFile)
{
    put_crate_in_default_world();
    GameRules rules = current_rules;
    rules.matchframes = 300;
    rules.turnframes[0] = 25;
    rules.engagedistance = 30;
    rules.flags |= RULE_FLAG_DISMEMBER | RULE_FLAG_FRACTURE;
    rules.dismemberthreshold = 40;
    rules.fracturethreshold = 30;
    start_game_with_rules(0, 0, &rules);
    ASSERT_EQ(moving_env_count(), 1);
    replay_mode = REPLAY_LIVE;
    Frames live;
    Happened seen;
    play_rough_match(&live, &seen);
    ASSERT_TRUE(match_state.game_over);
    EXPECT_GT(seen.breaks, 0);
    EXPECT_GT(seen.grips, 0);
    EXPECT_GT(seen.crate_travel, 0.5);
    float scores[2] = {players[0].score, players[1].score};
    float injuries[2] = {players[0].injury, players[1].injury};
    ASSERT_GE(live.hash.size(), 299u);
    std::string path = test_tmp_path("rough.rpl");
    ASSERT_EQ(write_replay(path.c_str(), 0), 0);
    std::string text = slurp(path);
    EXPECT_NE(text.find("\nCRUSH "), std::string::npos);
    EXPECT_NE(text.find("\nGRIP "), std::string::npos);
    EXPECT_NE(text.find("\nEPOS 0;"), std::string::npos);

    // The replay that follows the match in memory starts at frame 0 and is
    // the match again.
    stop_ghost();
    new_game_reset(0);
    replay_mode = REPLAY_PLAYING;
    match_state.turn_frame = 0;
    unpause_game();
    Frames memory;
    while (memory.hash.size() < live.hash.size()) {
        step_frame(0);
        frame_tick += 16;
        take_frame(&memory);
    }
    for (size_t i = 0; i < memory.hash.size(); i++)
        ASSERT_EQ(memory.hash[i], live.hash[i]) << "in memory, frame " << i + 1;

    Frames again;
    play_file(path.c_str(), (int)live.hash.size(), &again, put_crate_in_default_world);
    ASSERT_EQ(again.hash.size(), live.hash.size());
    for (size_t i = 0; i < again.hash.size(); i++) {
        if (again.hash[i] != live.hash[i]) {
            double worst = 0;
            for (size_t k = 0; k < live.state[i].size(); k++)
                worst = std::max(worst, fabs(live.state[i][k] - again.state[i][k]));
            FAIL() << "frame " << i + 1 << " differs by up to " << worst;
        }
    }
    for (int p = 0; p < 2; p++) {
        EXPECT_EQ(players[p].score, scores[p]) << p;
        EXPECT_EQ(players[p].injury, injuries[p]) << p;
    }
}

// ---- autosave -------------------------------------------------------------------------

TEST_F(ReplayFileTest, AutosaveNames)
{
    struct Case {
        int players;
        const char *names[4];
        float injury[4];
        float score[4];
        const char *expected;   // null: refused
    } cases[] = {
        {2, {"a", "b"}, {12.4f, 3.6f}, {0, 0}, "autosave/a_vs_b-4_12.rpl"},
        {3, {"a", "b", "c"}, {1, 2, 3}, {10.4f, 20.6f, 0}, "autosave/a_vs_b_vs_c-10_21_0.rpl"},
        {2, {"../../etc", "x/y"}, {0, 0}, {0, 0}, "autosave/etc_vs_xy-0_0.rpl"},
        {2, {"..", "b"}, {0, 1}, {0, 0}, "autosave/_vs_b-1_0.rpl"},
        {2, {"a b:c", "[t]d"}, {0, 0}, {0, 0}, "autosave/abc_vs_[t]d-0_0.rpl"},
        {2, {"", "b"}, {0, 0}, {0, 0}, nullptr},
        {3, {"a", "b", ""}, {0, 0, 0}, {0, 0, 0}, nullptr},
    };
    for (const Case &c : cases) {
        match_state.num_players = c.players;
        for (int p = 0; p < c.players; p++) {
            n_strncpyz(players[p].name, c.names[p], sizeof players[p].name);
            players[p].injury = c.injury[p];
            players[p].score = c.score[p];
        }
        char name[256];
        int refused = autosave_name(name, sizeof name);
        if (c.expected) {
            EXPECT_EQ(refused, 0) << c.expected;
            EXPECT_STREQ(name, c.expected);
        } else {
            EXPECT_EQ(refused, 1) << c.names[0];
        }
    }

    // Long names with huge values are cut to 251 characters before ".rpl".
    match_state.num_players = 4;
    for (int p = 0; p < 4; p++) {
        memset(players[p].name, 'n', 31);
        players[p].name[31] = '\0';
        players[p].score = 3e38f;
    }
    char name[256];
    ASSERT_EQ(autosave_name(name, sizeof name), 0);
    EXPECT_EQ(strlen(name), 255u);
    EXPECT_EQ(std::string(name).substr(0, 9), "autosave/");
    EXPECT_EQ(std::string(name).substr(251), ".rpl");
}

TEST_F(ReplayFileTest, AutosaveWritesIntoItsFolder)
{
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    std::string dir = test_tmp_path("autosave_run");
    mkdir(dir.c_str(), 0775);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    std::remove("autosave/a_vs_b-4_12.rpl");
    rmdir("autosave");
    set_player_name(0, "a");
    set_player_name(1, "b");
    players[0].injury = 12.4f;
    players[1].injury = 3.6f;
    autosave_replay();
    std::string saved = slurp("autosave/a_vs_b-4_12.rpl");
    int back = chdir(cwd);
    ASSERT_EQ(back, 0);
    EXPECT_NE(saved.find("FIGHTNAME 0; vs\n"), std::string::npos);
    ASSERT_FALSE(echoes.empty());
    EXPECT_EQ(echoes.back(), "> autosave/a_vs_b-4_12.rpl");

    players[1].name[0] = '\0';
    autosave_replay();
    EXPECT_EQ(echoes.back(), "Failed to save replay. players struct lack names");
}

}  // namespace

namespace {

int count_substr(const std::string &text, const std::string &needle)
{
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        n++;
    return n;
}

uint64_t fighters_hash()
{
    uint64_t h = 1469598103934665603ull;
    for (int r = 0; r < 2; r++)
        for (int b = 0; b < NUM_BODIES; b++) {
            const dReal *v[2] = {dBodyGetPosition(players[r].body[b]),
                                 dBodyGetRotation(players[r].body[b])};
            int n[2] = {3, 12};
            for (int k = 0; k < 2; k++) {
                const unsigned char *bytes = reinterpret_cast<const unsigned char *>(v[k]);
                for (size_t i = 0; i < n[k] * sizeof(dReal); i++) {
                    h ^= bytes[i];
                    h *= 1099511628211ull;
                }
            }
        }
    return h;
}

}  // namespace

// The longest match the rules accept, with a turn (and a command) every
// frame: every frame is recorded, saved, read back and replayed as played.
TEST_F(ReplayFileTest, LongestMatchTheRulesAcceptIsSavedAndReplayedWhole)
{
    GameRules rules = current_rules;
    std::string longest = std::to_string(MATCHFRAMES_MAX);
    ASSERT_EQ(set_rule_by_name("matchframes", longest.c_str(), &rules), 0);
    ASSERT_NE(set_rule_by_name("matchframes", std::to_string(MATCHFRAMES_MAX + 1).c_str(), &rules),
              0);
    ASSERT_EQ(rules.matchframes, MATCHFRAMES_MAX);
    ASSERT_EQ(set_rule_by_name("turnframes", "1", &rules), 0);
    start_game_with_rules(0, 0, &rules);
    replay_mode = REPLAY_LIVE;

    std::vector<uint64_t> live;
    unsigned seed = 31337;
    for (int guard = 0; guard < 3 * MATCHFRAMES_MAX && !match_state.game_over; guard++) {
        if (match_state.game_paused || match_state.ghost_mode != GHOST_OFF) {
            // One fighter's command a turn makes the frame a record.
            seed = seed * 1103515245u + 12345u;
            players[0].joint_state[(seed >> 8) % NUM_JOINTS] = 1 + (seed >> 16) % 4;
            start_turn(0);
        }
        step_frame(0);
        frame_tick += 16;
        if ((int)live.size() < match_state.match_frame)
            live.push_back(fighters_hash());
    }
    ASSERT_EQ(match_state.game_over, 1);
    EXPECT_EQ(match_state.end_frame, MATCHFRAMES_MAX);
    ASSERT_EQ(match_state.frames_recorded, MATCHFRAMES_MAX);
    EXPECT_EQ(get_replay_frame(MATCHFRAMES_MAX - 1)->frame, MATCHFRAMES_MAX - 1);
    for (const std::string &e : echoes)
        EXPECT_EQ(e.find("Replay full"), std::string::npos) << e;

    std::string path = test_tmp_path("longest.rpl");
    ASSERT_EQ(write_replay(path.c_str(), 0), 0);
    std::string text = slurp(path);
    EXPECT_EQ(count_substr(text, "\nFRAME "), MATCHFRAMES_MAX);
    EXPECT_NE(text.find("\nFRAME " + std::to_string(MATCHFRAMES_MAX - 1) + ";"), std::string::npos);
    text.clear();

    game_shutdown();
    game_init();
    testing::internal::CaptureStderr();
    ASSERT_EQ(read_replay(path.c_str()), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("more than"), std::string::npos) << err.substr(0, 300);
    ASSERT_EQ(match_state.frames_recorded, MATCHFRAMES_MAX);
    EXPECT_EQ(current_rules.matchframes, MATCHFRAMES_MAX);
    match_state.match_frame = 0;
    match_state.replay_frame = 0;
    match_state.game_paused = 0;
    match_state.ghost_mode = GHOST_OFF;
    match_state.turn_frame = 0;
    replay_mode = REPLAY_PLAYING;
    for (size_t i = 0; i < live.size(); i++) {
        step_frame(0);
        frame_tick += 16;
        ASSERT_EQ(fighters_hash(), live[i]) << "frame " << i + 1;
    }
    EXPECT_EQ(match_state.replay_frame, MATCHFRAMES_MAX);
}

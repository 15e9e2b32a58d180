#include <gtest/gtest.h>

#include <ode/ode.h>
#include <cstring>
#include <vector>

#include "core/blood.h"
#include "core/records.h"
#include "shell/sound_triggers.h"

namespace {

struct Played {
    int channel, sound, force;
    float volume;
};
std::vector<Played> played;

void record_play(int channel, int sound, int force, float volume, int loops)
{
    played.push_back({channel, sound, force, volume});
}

class Triggers : public ::testing::Test {
protected:
    void SetUp() override
    {
        played.clear();
        sound_trigger_outward.play = record_play;
        reset_sound_triggers();
        saved_built = fighters_built;
        fighters_built = 0;   // no bodies: speed checks stay quiet
        match_state.num_players = 2;
        match_state.ghost_mode = 0;
        match_state.ghost_count = 5;
        for (int i = 0; i < MAX_PLAYERS; i++) {
            players[i].injury = 0;
            players[i].ground_speed = 0;
            players[i].head_force = 0;
            players[i].broken_count = 0;
            players[i].break_sound = 22;
            players[i].no_input = 0;
        }
        reset_blood_amount(0);
    }
    void TearDown() override
    {
        fighters_built = saved_built;
        match_state.ghost_mode = 0;
    }
    // Runs play_motion_sounds over frames first..last.
    void run_frames(int first, int last)
    {
        for (int f = first; f <= last; f++) {
            match_state.match_frame = f;
            play_motion_sounds();
        }
    }
    int saved_built = 0;
};

TEST(SoundTables, LookupTakesTheFirstRowStrictlyBelow)
{
    struct Case {
        const SoundThreshold *table;
        float value;
        int sound;   // -1: no row
    };
    const Case cases[] = {
        {heavy_injury_sound_table, 800, -1},   {heavy_injury_sound_table, 801, 0},
        {heavy_injury_sound_table, 1200, 0},   {heavy_injury_sound_table, 1201, 1},
        {heavy_injury_sound_table, 1e9f, 7},   {injury_sound_table, 9000, 15},
        {injury_sound_table, 500, -1},         {injury_sound_table, 501, 11},
        {impact_sound_table, 2, -1},           {impact_sound_table, 2.5f, 20},
        {impact_sound_table, 60, 17},          {blood_sound_table, 600, -1},
        {blood_sound_table, 800, 35},          {blood_sound_table, 2400, 41},
    };
    for (const Case &c : cases) {
        int row = lookup_sound_threshold(c.table, c.value);
        EXPECT_EQ(row < 0 ? -1 : c.table[row].sound, c.sound) << c.value;
    }
}

TEST_F(Triggers, HeavyInjuryIsStrictAndNotRepeated)
{
    run_frames(1, 19);
    played.clear();
    players[0].injury = 800;
    run_frames(20, 20);
    for (const Played &p : played)
        EXPECT_NE(p.channel, 2) << "growth of exactly 800 plays nothing";
    played.clear();
    players[0].injury = 800 + 801;
    run_frames(21, 40);
    ASSERT_FALSE(played.empty());
    bool heavy = false;
    for (const Played &p : played)
        if (p.channel == 2) {
            EXPECT_EQ(p.sound, 0);
            EXPECT_FLOAT_EQ(p.volume, 0.3f);
            heavy = true;
        }
    EXPECT_TRUE(heavy);

    // Two checks in a row in the 1200 row: one sound.
    int heavy_count = 0;
    for (int step = 0; step < 2; step++) {
        played.clear();
        players[0].injury += 1500;
        run_frames(41 + step * 20, 60 + step * 20);
        for (const Played &p : played)
            if (p.channel == 2 && p.sound == 1)
                heavy_count++;
    }
    EXPECT_EQ(heavy_count, 1);
}

TEST_F(Triggers, InjuryInThreeFramesAndHeadHits)
{
    run_frames(1, 2);
    players[1].injury = 9000;
    players[1].head_force = 200;
    players[0].head_force = 40;
    played.clear();
    run_frames(3, 3);
    bool injury = false, head = false;
    for (const Played &p : played) {
        if (p.channel == 1 && p.sound == 15) {
            EXPECT_EQ(p.force, 1);
            injury = true;
        }
        if (p.channel == 4) {
            EXPECT_EQ(p.sound, 10) << "fighter 1 first; fighter 0 only when it is quiet";
            head = true;
        }
    }
    EXPECT_TRUE(injury);
    EXPECT_TRUE(head);

    // Fighter 1 quiet: fighter 0's rise (40 since its copy, which the
    // first check did not update) plays sound 9.
    played.clear();
    run_frames(4, 6);
    ASSERT_EQ(played.size(), 1u);
    EXPECT_EQ(played[0].sound, 9);
    // A clash rise wins over a head hit.
    played.clear();
    players[0].head_force += 500;
    add_clash_hit(0, 11);
    run_frames(7, 9);
    ASSERT_EQ(played.size(), 1u);
    EXPECT_EQ(played[0].sound, 45);
}

TEST_F(Triggers, ImpactsUseHalfTheGrowthAndSkipRepeats)
{
    run_frames(1, 1);
    std::vector<int> sounds;
    // Frame 1 set the last row to 0 (sound 17), so a first big impact is
    // quiet; a later different row plays, then the big one again.
    const float sums[] = {120, 40, 30};   // what each even frame adds
    for (int k = 0; k < 3; k++) {
        played.clear();
        players[0].ground_speed += sums[k];
        run_frames(2 + 2 * k, 2 + 2 * k);
        for (const Played &p : played)
            if (p.channel == 0)
                sounds.push_back(p.sound);
    }
    // growth against the last value: 120/2 = 60 (row of 17, the last row
    // since frame 1: quiet); (40 - 120)/2 < 1: quiet; (30 - 40)/2: quiet.
    EXPECT_TRUE(sounds.empty());
    // Then 40 after 30: (40 - 30)/2 = 5, not above 5: sound 21; the same
    // row again stays quiet; (130 - 50)/2 = 40 plays sound 16.
    const float more[] = {40, 50, 130};
    for (int k = 0; k < 3; k++) {
        players[0].ground_speed += more[k];
        played.clear();
        run_frames(8 + 2 * k, 8 + 2 * k);
        for (const Played &p : played)
            if (p.channel == 0)
                sounds.push_back(p.sound);
    }
    ASSERT_EQ(sounds.size(), 2u);
    EXPECT_EQ(sounds[0], 21);
    EXPECT_EQ(sounds[1], 16);
    EXPECT_FLOAT_EQ(players[0].ground_speed, 120 + 40 + 30 + 40 + 50 + 130)
        << "the fighter's sum is only read";
}

TEST_F(Triggers, BloodRiseAndFirstBlood)
{
    struct Case {
        const char *what;
        double before, amount;
        int sound;   // -1 none
        float volume;
    };
    const Case cases[] = {
        {"first blood of 12 counts as 112", 0, 12, -1, 0},
        {"first blood of 700 counts as 800", 0, 700, 35, 0.2f},
        {"a rise of 3000", 100, 3100, 42, 0.5f},
        {"a rise of 650", 100, 750, 34, 0.1f},
        {"no rise", 500, 500, -1, 0},
    };
    for (const Case &c : cases) {
        reset_sound_triggers();
        last_blood_amount = c.before;
        reset_blood_amount(c.amount);
        played.clear();
        blood_sounds(4);
        if (c.sound < 0) {
            EXPECT_TRUE(played.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(played.size(), 1u) << c.what;
        EXPECT_EQ(played[0].channel, 6) << c.what;
        EXPECT_EQ(played[0].sound, c.sound) << c.what;
        EXPECT_FLOAT_EQ(played[0].volume, c.volume) << c.what;
        EXPECT_DOUBLE_EQ(last_blood_amount, c.amount) << c.what;
    }
    played.clear();
    reset_blood_amount(5000);
    blood_sounds(5);   // not a 4th frame
    EXPECT_TRUE(played.empty());
}

TEST_F(Triggers, ScoreSoundsOnBreaks)
{
    players[0].broken_count = 1;
    players[0].break_sound = 47;
    players[1].broken_count = 12;
    play_score_sounds();
    ASSERT_EQ(played.size(), 2u);
    EXPECT_EQ(played[0].sound, 47);
    EXPECT_EQ(played[1].sound, 43) << "more than 10 at once";
    EXPECT_EQ(played[0].channel, 6);
    EXPECT_EQ(played[0].force, 1);
    played.clear();
    play_score_sounds();
    EXPECT_TRUE(played.empty()) << "nothing new";
    players[0].broken_count = 0;   // a new game
    play_score_sounds();
    EXPECT_TRUE(played.empty());
    players[0].broken_count = 1;
    play_score_sounds();
    EXPECT_EQ(played.size(), 1u);
}

TEST_F(Triggers, LimbSpeedAndGhostRun)
{
    dInitODE();
    dWorldID world = dWorldCreate();
    for (int r = 0; r < 4; r++)
        for (int b = 0; b < NUM_BODIES; b++)
            players[r].body[b] = dBodyCreate(world);
    fighters_built = 4;

    struct Case {
        const char *what;
        int body;
        double speed;
        int sound;
    };
    const Case cases[] = {
        {"a foot speeding up", 20, 61, 24},
        {"a foot just below the rate", 19, 59, -1},
        {"a hand", 11, 91, 23},
        {"a hand just below", 12, 89, -1},
    };
    for (const Case &c : cases) {
        reset_sound_triggers();
        for (int b = 0; b < NUM_BODIES; b++)
            dBodySetLinearVel(players[0].body[b], 0, 0, 0);
        dBodySetLinearVel(players[0].body[c.body], c.speed, 0, 0);
        played.clear();
        EXPECT_EQ(speed_sounds(0, 2, 9), 0) << "not a tenth frame";
        EXPECT_EQ(speed_sounds(0, 2, 10), c.sound >= 0) << c.what;
        if (c.sound >= 0) {
            ASSERT_EQ(played.size(), 1u);
            EXPECT_EQ(played[0].sound, c.sound) << c.what;
        }
        played.clear();
        EXPECT_EQ(speed_sounds(0, 2, 20), 0) << "steady speed: " << c.what;
    }
    // Both: the hand wins.
    reset_sound_triggers();
    dBodySetLinearVel(players[0].body[20], 100, 0, 0);
    dBodySetLinearVel(players[0].body[12], 100, 0, 0);
    played.clear();
    speed_sounds(0, 2, 10);
    ASSERT_EQ(played.size(), 1u);
    EXPECT_EQ(played[0].sound, 23);

    // A ghost run: only the ghosts' limbs and the start swoosh.
    reset_sound_triggers();
    match_state.ghost_mode = 1;
    match_state.ghost_count = 0;
    players[0].injury = 50000;
    dBodySetLinearVel(players[3].body[19], 100, 0, 0);
    played.clear();
    play_motion_sounds();
    ASSERT_EQ(played.size(), 2u) << "ghost clock 0 is a tenth frame too";
    EXPECT_EQ(played[0].sound, 24);
    EXPECT_EQ(played[0].channel, 3) << "ghost of fighter 1";
    EXPECT_EQ(played[1].sound, 25);
    EXPECT_EQ(played[1].channel, 4);
    played.clear();
    match_state.ghost_count = 10;
    play_motion_sounds();
    EXPECT_TRUE(played.empty()) << "steady ghost, and no injury sounds in a ghost run";
    players[2].no_input = 0;
    players[0].no_input = 1;   // fighter 0 takes no input: its ghost is skipped
    dBodySetLinearVel(players[2].body[11], 200, 0, 0);
    match_state.ghost_count = 20;
    play_motion_sounds();
    EXPECT_TRUE(played.empty());
    players[0].no_input = 0;
    for (int r = 0; r < 4; r++)
        for (int b = 0; b < NUM_BODIES; b++) {
            dBodyDestroy(players[r].body[b]);
            players[r].body[b] = nullptr;
        }
    dWorldDestroy(world);
    dCloseODE();
}

TEST_F(Triggers, MenuAndResultSounds)
{
    MatchState m = {};
    play_menu_sound();
    m.result_code = 1;
    play_result_sound(&m);
    m.result_code = 0;
    play_result_sound(&m);
    ASSERT_EQ(played.size(), 3u);
    const int sounds[] = {31, 46, 32};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(played[i].sound, sounds[i]);
        EXPECT_EQ(played[i].channel, 7);
    }
}

}  // namespace

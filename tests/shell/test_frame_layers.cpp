// The frame's layers and the end-of-game banner, without a window.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/bout.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/text.h"
#include "render/hud.h"
#include "shell/console.h"
#include "shell/customs.h"
#include "shell/palette.h"
#include "shell/frame_layers.h"
#include "shell/game_control.h"

namespace {

TEST(FrameLayers, DrawInTheOrderOfTheFrame)
{
    int count = 0;
    const FrameLayer *table = frame_layer_table(&count);
    ASSERT_GT(count, 10);
    // the scene and everything 3D first, then only 2D
    int first_2d = -1;
    for (int i = 0; i < count; i++) {
        if (table[i].two_d && first_2d < 0)
            first_2d = i;
        if (first_2d >= 0) {
            EXPECT_TRUE(table[i].two_d) << table[i].name;
        }
        EXPECT_NE(table[i].draw, nullptr) << table[i].name;
        EXPECT_EQ(frame_layer_index(table[i].name), i) << "names are unique";
    }
    EXPECT_EQ(std::string(table[0].name), "background");
    EXPECT_EQ(std::string(table[1].name), "scene");
    EXPECT_EQ(std::string(table[count - 1].name), "cursor");
    const char *order[] = {"scene",      "dq impacts",   "draw3d", "scene queue", "avatars",
                           "debug",      "scores",       "timer",  "hint",    "joint state",
                           "name lines", "console",      "equipment", "replay title", "emotes", "help",
                           "control bar", "draw2d",      "banner", "cursor"};
    int last = -1;
    for (const char *name : order) {
        int at = frame_layer_index(name);
        ASSERT_GE(at, 0) << name;
        EXPECT_GT(at, last) << name;
        last = at;
    }
    EXPECT_EQ(frame_layer_index("nothing"), -1);
    EXPECT_EQ(frame_layer_index(nullptr), -1);
}

struct ResultCase {
    int code;
    int winners[4];
    int losers[4];
    const char *lines[3];
    int selected;
};

TEST(GameResult, BannerLinesOfEveryOutcome)
{
    game_type = 0;
    match_state = MatchState();
    match_state.num_players = 2;
    n_strncpyz(players[0].name, "kasu", sizeof players[0].name);
    n_strncpyz(players[1].name, "uke", sizeof players[1].name);
    const ResultCase cases[] = {
        {0, {1, -1, -1, -1}, {0, -1, -1, -1}, {"uke  WINS !", "", ""}, 1},
        {1, {-1, -1, -1, -1}, {-1, -1, -1, -1}, {"DRAW!", "", ""}, -1},
        {2, {0, -1, -1, -1}, {1, -1, -1, -1}, {"DISQUALIFIED!", "kasu  WINS !", ""}, 1},
        {2, {-1, -1, -1, -1}, {0, 1, -1, -1}, {"DISQUALIFIED!", "DRAW !", ""}, 0},
        {0, {0, 1, -1, -1}, {-1, -1, -1, -1}, {"kasu & uke  WINS !", "", ""}, 0},
        // entries outside the fighters are never read
        {0, {7, -9, -1, -1}, {-1, -1, -1, -1}, {"DRAW !", "", ""}, -1},
    };
    for (const ResultCase &c : cases) {
        selected_player = -1;
        match_state.result_code = c.code;
        memcpy(match_state.winners, c.winners, sizeof c.winners);
        memcpy(match_state.losers, c.losers, sizeof c.losers);
        char lines[3][256];
        int colour = 0;
        compose_game_result(&match_state, lines, &colour);
        for (int i = 0; i < 3; i++)
            EXPECT_STREQ(lines[i], c.lines[i]) << c.code << " line " << i;
        EXPECT_EQ(selected_player, c.selected) << c.lines[0];
    }
}

// Online results: belt upgrades, winning streaks while others wait, and
// the coins with the way to the next belt.
TEST(GameResult, OnlineBannerTexts)
{
    int saved_type = game_type, saved_bouts = num_bouts;
    MatchResult saved_result = match_result;
    n_strncpyz(players[0].name, "kasu", sizeof players[0].name);
    n_strncpyz(players[1].name, "uke", sizeof players[1].name);
    struct Case {
        int online, code, bouts;
        int winners[2], losers[2];
        int known[2], before[2], after[2], coins[2], streak[2];
        const char *lines[3];
        int colour, seconds;
    } cases[] = {
        // a belt upgrade: the fighters whose belt name changed, for long
        {1, 1, 2, {0, -1}, {1, -1}, {1, 1}, {99, 20}, {100, 25}, {0, 0}, {0, 0},
         {"UPGRADED!", "kasu - Green BELT", ""}, -1, 100},
        {1, 1, 2, {0, -1}, {1, -1}, {1, 1}, {99, 480}, {100, 500}, {0, 0}, {0, 0},
         {"UPGRADED!", "kasu - Green BELT, uke - Brown BELT", ""}, -1, 100},
        // kind 1 where no belt changed: a draw, in orange
        {1, 1, 2, {0, -1}, {1, -1}, {1, 1}, {100, 20}, {100, 25}, {0, 0}, {0, 0},
         {"DRAW!", "+5 TC, 100 games to Blue Belt", ""}, 16, 3},
        // one winner: the coins (5 when none came) and the next belt
        {1, 0, 2, {0, -1}, {1, -1}, {1, 1}, {140, 0}, {150, 0}, {12, 0}, {5, 0},
         {"kasu  WINS !", "+12 TC, 50 games to Blue Belt", ""}, 55, 3},
        // a streak above 2 while others wait takes the second line
        {1, 0, 4, {0, -1}, {1, -1}, {1, 1}, {140, 0}, {150, 0}, {12, 0}, {5, 0},
         {"kasu  WINS !", "STREAK 5", ""}, 55, 3},
        {1, 0, 4, {0, 1}, {-1, -1}, {1, 1}, {0, 0}, {0, 0}, {0, 0}, {3, 4},
         {"kasu & uke  WINS !", "STREAK 3, 4", ""}, 55, 3},
        {1, 0, 4, {1, -1}, {0, -1}, {1, 1}, {0, 20}, {0, 20}, {0, 0}, {9, 2},
         {"uke  WINS !", "+5 TC, 30 games to Orange Belt", ""}, 55, 3},
        // disqualified: the streak (or the coins line) is the third line
        {1, 2, 3, {1, -1}, {0, -1}, {1, 1}, {0, 20}, {0, 20}, {0, 0}, {0, 7},
         {"DISQUALIFIED!", "uke  WINS !", "STREAK 7"}, 55, 3},
        {1, 2, 2, {1, -1}, {0, -1}, {1, 1}, {0, 20}, {0, 20}, {0, 0}, {0, 7},
         {"DISQUALIFIED!", "uke  WINS !", "+5 TC, 30 games to Orange Belt"}, 55, 3},
        // offline nothing of the online lines shows
        {0, 0, 4, {0, -1}, {1, -1}, {1, 1}, {99, 0}, {100, 0}, {3, 0}, {9, 0},
         {"kasu  WINS !", "", ""}, 55, 3},
    };
    for (const Case &c : cases) {
        game_type = c.online;
        num_bouts = c.bouts;
        match_state = MatchState();
        match_state.num_players = 2;
        match_state.result_code = c.code;
        match_result = MatchResult();
        for (int i = 0; i < 4; i++) {
            match_state.winners[i] = i < 2 ? c.winners[i] : -1;
            match_state.losers[i] = i < 2 ? c.losers[i] : -1;
        }
        for (int p = 0; p < 2; p++) {
            match_result.belt_known[p] = c.known[p];
            match_result.belt_before[p] = c.before[p];
            match_result.belt_after[p] = c.after[p];
            match_result.coins[p] = c.coins[p];
            match_result.streak[p] = c.streak[p];
        }
        char lines[3][256];
        int colour = 0, seconds = 0;
        compose_game_result(&match_state, lines, &colour, &seconds);
        for (int i = 0; i < 3; i++)
            EXPECT_STREQ(lines[i], c.lines[i]) << c.lines[0] << " / " << c.lines[1];
        EXPECT_EQ(colour, c.colour) << c.lines[1];
        EXPECT_EQ(seconds, c.seconds) << c.lines[1];
    }
    // Many upgraded names stay within the line.
    game_type = 1;
    match_state = MatchState();
    match_state.num_players = 4;
    match_state.result_code = 1;
    for (int p = 0; p < 4; p++) {
        memset(players[p].name, 'n', sizeof players[p].name - 1);
        players[p].name[sizeof players[p].name - 1] = '\0';
        match_result.belt_known[p] = 1;
        match_result.belt_before[p] = 0;
        match_result.belt_after[p] = 1000000;
    }
    char lines[3][256];
    compose_game_result(&match_state, lines, nullptr);
    EXPECT_STREQ(lines[0], "UPGRADED!");
    EXPECT_LT(strlen(lines[1]), 256u);
    n_strncpyz(players[2].name, "player3", sizeof players[2].name);
    n_strncpyz(players[3].name, "player4", sizeof players[3].name);
    game_type = saved_type;
    num_bouts = saved_bouts;
    match_result = saved_result;
}

TEST(NameLines, StreakStarsAndEquipmentLine)
{
    struct {
        int value;
        const char *text;   // null: nothing drawn
    } stars[] = {{0, nullptr}, {-3, nullptr}, {1, "*"}, {13, "*************"},
                 {14, "*************"}, {15, "**************"}, {16, "MANY"}, {900, "MANY"}};
    for (const auto &c : stars) {
        char out[32];
        int r = streak_stars_text(c.value, out, sizeof out);
        if (c.text) {
            EXPECT_EQ(r, 0) << c.value;
            EXPECT_STREQ(out, c.text) << c.value;
        } else {
            EXPECT_EQ(r, 1) << c.value;
            EXPECT_STREQ(out, "") << c.value;
        }
    }
    char tiny[4];
    EXPECT_EQ(streak_stars_text(12, tiny, sizeof tiny), 0);
    EXPECT_STREQ(tiny, "***");

    EquipmentRecord saved = *get_equipment();
    char line[128];
    *get_equipment() = EquipmentRecord{{0, 0, 0}};
    EXPECT_EQ(equipment_line_text(line, sizeof line), 1);
    EXPECT_STREQ(line, "");
    *get_equipment() = EquipmentRecord{{1, 0, 1}};
    EXPECT_EQ(equipment_line_text(line, sizeof line), 0);
    EXPECT_STREQ(line, "h - long ghost   k - slow ghost");
    *get_equipment() = EquipmentRecord{{0, 2, 0}};
    EXPECT_EQ(equipment_line_text(line, sizeof line), 0);
    EXPECT_STREQ(line, "j - turnframe ghost");
    *get_equipment() = saved;
}

// The turn alert restarts the dial's flashing cue; it fades into the plain
// dial after a little more than a second.
TEST(TurnAlert, FlashesTheDialForAMoment)
{
    int32_t saved = turn_alert_tick;
    turn_alert_tick = 0;
    EXPECT_EQ(turn_cue_bright(1000), 0);
    reset_turn_alert(10000);
    EXPECT_EQ(turn_cue_bright(10000), 1);
    EXPECT_EQ(turn_cue_bright(10160), 0);
    EXPECT_EQ(turn_cue_bright(10310), 1);
    EXPECT_EQ(turn_cue_bright(11300), 0);
    EXPECT_EQ(turn_cue_bright(9000), 0);   // a clock from before the alert
    reset_turn_alert(0);                   // tick 0 still counts as an alert
    EXPECT_EQ(turn_cue_bright(50), 1);
    turn_alert_tick = saved;
}

TEST(GameResult, AnnouncedThroughTheBannerAndFades)
{
    game_type = 0;
    frame_tick = 5000;
    match_state = MatchState();
    match_state.num_players = 2;
    n_strncpyz(players[0].name, "kasu", sizeof players[0].name);
    match_state.winners[0] = 0;
    for (int i = 1; i < 4; i++)
        match_state.winners[i] = -1;
    for (int i = 0; i < 4; i++)
        match_state.losers[i] = -1;
    match_state.losers[0] = 1;
    clear_banner();
    show_game_result(&match_state);
    EXPECT_STREQ(banner_lines[0], "kasu  WINS !");
    EXPECT_EQ(banner.font, 2);
    EXPECT_FLOAT_EQ(banner_alpha(5000), 1.0f);
    EXPECT_NEAR(banner_alpha(7500), 0.5f, 1e-4);   // the last second fades
    EXPECT_LT(banner_alpha(8000), 0.0f);
    EXPECT_STREQ(banner_lines[0], "");
}

}  // namespace

namespace {

TEST(NameLines, BeltLineFromTheBoutEntry)
{
    int saved_bouts = num_bouts;
    BoutEntry saved[2] = {bout_list[0], bout_list[1]};
    num_bouts = 2;
    bout_list[0] = BoutEntry();
    bout_list[1] = BoutEntry();
    bout_list[0].values[1] = 0;
    bout_list[0].values[4] = 0;
    bout_list[1].values[1] = 100000;
    bout_list[1].values[4] = 12;
    memset(get_player_customs(0), 0, sizeof(PlayerCustoms));
    memset(get_player_customs(1), 0, sizeof(PlayerCustoms));
    char line[300];
    ASSERT_EQ(belt_line_text(0, line, sizeof line), 0);
    EXPECT_EQ(std::string(line), std::string(belt_name_for_value(0)) + " Belt, Unranked");
    ASSERT_EQ(belt_line_text(1, line, sizeof line), 0);
    EXPECT_EQ(std::string(line), std::string(belt_name_for_value(100000)) + " Belt, Rank 12");
    // an own belt name once the fourth belt is reached
    n_strncpyz(get_player_customs(1)->belt_name, "Shiny", 256);
    ASSERT_EQ(belt_line_text(1, line, sizeof line), 0);
    EXPECT_STREQ(line, "Shiny Belt, Rank 12");
    n_strncpyz(get_player_customs(0)->belt_name, "Shiny", 256);
    ASSERT_EQ(belt_line_text(0, line, sizeof line), 0);
    EXPECT_EQ(std::string(line), std::string(belt_name_for_value(0)) + " Belt, Unranked");
    EXPECT_EQ(belt_line_text(2, line, sizeof line), 1);   // no entry
    EXPECT_EQ(belt_line_text(-1, line, sizeof line), 1);
    memset(get_player_customs(0), 0, sizeof(PlayerCustoms));
    memset(get_player_customs(1), 0, sizeof(PlayerCustoms));
    bout_list[0] = saved[0];
    bout_list[1] = saved[1];
    num_bouts = saved_bouts;
}

}  // namespace

namespace {

TEST(HintLine, ChosenByTheStateOfTheMatch)
{
    MatchState saved = match_state;
    int saved_mode = replay_mode, saved_type = game_type, saved_player = selected_player;
    game_type = 0;
    struct Case {
        int mode, over, paused, ghost, player;
        const char *hint;   // null: none
    } cases[] = {
        {REPLAY_CYCLE, 0, 0, 0, -1, "Press the SPACEBAR to Play!"},
        {REPLAY_PLAYING, 0, 0, 0, -1, "SPACEBAR - New Game   ;   F - Save Replay"},
        {REPLAY_LIVE, 1, 1, 0, 0, "Press the SPACEBAR for REPLAY"},
        {REPLAY_LIVE, 0, 1, 0, 0, "Hit SPACE when ready with move"},
        {REPLAY_LIVE, 0, 0, 1, -1, "Click to Select Player"},
        {REPLAY_LIVE, 0, 0, 0, 0, nullptr},   // the turn runs
    };
    for (const Case &c : cases) {
        replay_mode = c.mode;
        match_state.game_over = c.over;
        match_state.game_paused = c.paused;
        match_state.ghost_mode = c.ghost;
        selected_player = c.player;
        const char *hint = hint_line_text();
        if (c.hint) {
            ASSERT_NE(hint, nullptr) << c.hint;
            EXPECT_STREQ(hint, c.hint);
        } else {
            EXPECT_EQ(hint, nullptr);
        }
    }
    match_state = saved;
    replay_mode = saved_mode;
    game_type = saved_type;
    selected_player = saved_player;
}

}  // namespace

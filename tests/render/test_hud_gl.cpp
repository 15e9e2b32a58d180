// The HUD pieces that draw text, with recording text hooks, inside a real
// (software) GL context; the window comes from test_render_gl.cpp.
#include "render/hud.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/ground_impacts.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "platform/camera.h"
#include "render/fighter_draw.h"
#include "render/gl_draw.h"
#include "render/scene.h"

namespace {

struct Call {
    std::string how;   // "left", "right", "centred"
    int slot, x, y;
    std::string text;
};
std::vector<Call> calls;

void record_hooks()
{
    calls.clear();
    hud_text = HudTextHooks();
    hud_text.draw_text = [](int slot, float x, float y, const char *t) {
        calls.push_back({"left", slot, (int)x, (int)y, t});
    };
    hud_text.draw_text_right = [](int slot, int x, int y, const char *t) {
        calls.push_back({"right", slot, x, y, t});
    };
    hud_text.draw_text_centred = [](int slot, int y, const char *t) {
        calls.push_back({"centred", slot, 0, y, t});
    };
    hud_outward = HudOutward();
    core_outward.palette_colour = nullptr;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

void two_fighters(GameRules *rules)
{
    *rules = GameRules();
    rules->matchframes = 500;
    rules->turnframes_count = 2;
    rules->turnframes[0] = 10;
    rules->turnframes[1] = 25;
    match_state = MatchState();
    match_state.num_players = 2;
    match_state.match_frame = 100;
    match_state.turn = 3;
    players[0].score = 1234.4f;
    players[1].score = 99.6f;
    game_type = 0;
    replay_mode = REPLAY_LIVE;
}

TEST(HudGl, MatchHudDrawsScoresFramesLeftAndTurnEntry)
{
    record_hooks();
    GameRules rules;
    two_fighters(&rules);
    draw_match_hud(&rules);
    ASSERT_EQ(calls.size(), 4u);
    // Each score on its fighter's side, over its name: the second fighter's
    // from the left edge, the first's from the right.
    EXPECT_EQ(calls[0].how, "left");
    EXPECT_EQ(calls[0].text, "100");
    EXPECT_EQ(calls[0].slot, 0);
    EXPECT_EQ(calls[0].x, 10);
    EXPECT_EQ(calls[1].how, "right");
    EXPECT_EQ(calls[1].text, "1234");
    EXPECT_EQ(calls[1].x, 10);
    // Frames left centred at the top, clear of both scores in the corners,
    // then the turn's entry centred under them (y 50 with no font height).
    EXPECT_EQ(calls[2].how, "centred");
    EXPECT_EQ(calls[2].text, "400");
    EXPECT_EQ(calls[2].slot, 0);
    EXPECT_EQ(calls[2].y, 0);
    EXPECT_EQ(calls[3].how, "centred");
    EXPECT_EQ(calls[3].slot, 1);
    EXPECT_EQ(calls[3].y, 50);
    EXPECT_EQ(calls[3].text, "25");

    // A replay on screen: no turn entry; a title with its author at y 60.
    record_hooks();
    replay_mode = REPLAY_CYCLE;
    hud_outward.replay_title = [] { return "Fight"; };
    hud_outward.replay_author = [] { return "ann"; };
    draw_match_hud(&rules);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].text, "Fight by ann");
    EXPECT_EQ(calls[0].y, 60);
    EXPECT_EQ(calls[3].text, "400");
    replay_mode = REPLAY_LIVE;

    // Three fighters: no scores; a menu page other than 0 and 16: no timer.
    record_hooks();
    match_state.num_players = 3;
    hud_outward.menu_state = [] { return 13; };
    draw_match_hud(&rules);
    EXPECT_TRUE(calls.empty());
    // No text hooks at all: nothing drawn, nothing breaks.
    hud_text = HudTextHooks();
    match_state.num_players = 2;
    hud_outward.menu_state = nullptr;
    draw_match_hud(&rules);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(HudGl, FramesLeftAndTurnEntryNeverOverlapTheScores)
{
    record_hooks();
    hud_text.font_height = [](int slot) { return slot == 0 ? 70 : 20; };
    GameRules rules;
    two_fighters(&rules);
    draw_hud_scores();
    draw_turn_timer(&rules);
    ASSERT_EQ(calls.size(), 4u);
    // the scores stand in the two corners, the frames left between them
    EXPECT_EQ(calls[0].how, "left");
    EXPECT_EQ(calls[1].how, "right");
    EXPECT_EQ(calls[2].how, "centred");
    EXPECT_EQ(calls[2].text, "400");
    // a tall font pushes the turn's entry below the frames left
    EXPECT_EQ(calls[3].how, "centred");
    EXPECT_EQ(calls[3].y, 70);
    hud_text = HudTextHooks();
}

// A score too long for its quarter of the window steps down to the smaller
// fonts, so that it never runs into a page title centred above the game.
TEST(HudGl, LongScoresStepDownToSmallerFonts)
{
    record_hooks();
    view_width = 800;   // a quarter less the margin: 190 pixels
    // font 0 is 20 pixels a character, font 2 is 12 and font 1 is 8
    hud_text.text_width = [](int slot, const char *t) {
        return (int)strlen(t) * (slot == 0 ? 20 : slot == 2 ? 12 : 8);
    };
    GameRules rules;
    two_fighters(&rules);
    struct Case { float score; int font; } cases[] = {
        {1234.0f, 0}, {-1234567.0f, 0}, {-123456789.0f, 2}, {-1e30f, 1},
    };
    for (const Case &c : cases) {
        calls.clear();
        players[0].score = players[1].score = c.score;
        draw_hud_scores();
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].slot, c.font) << c.score;
        EXPECT_EQ(calls[1].slot, c.font) << c.score;
    }
    hud_text = HudTextHooks();
}

TEST(HudGl, HelpOverlayTitleThenEachLineTwice)
{
    record_hooks();
    game_type = 0;
    replay_mode = REPLAY_LIVE;
    begin_2d();
    draw_help_overlay();
    end_2d();
    int n = 0;
    const char *const *lines = help_page_lines(HELP_SINGLE, &n);
    ASSERT_EQ((int)calls.size(), 1 + 2 * (n - 1));
    EXPECT_EQ(calls[0].text, "HELP - Single Player");
    EXPECT_EQ(calls[0].slot, 2);
    EXPECT_EQ(calls[0].y, 80);
    for (int i = 1; i < n; i++) {
        const Call &a = calls[1 + 2 * (i - 1)], &b = calls[2 + 2 * (i - 1)];
        EXPECT_EQ(a.text, lines[i]);
        EXPECT_EQ(a.y, 130 + 25 * (i - 1));
        EXPECT_EQ(b.y, a.y + 1);
        EXPECT_EQ(a.slot, 1);
    }
}

TEST(HudGl, SpectatorListStopsWithDotsWhenTheWindowIsShort)
{
    record_hooks();
    game_type = 1;
    hud_outward.is_connected = [] { return 1; };
    hud_outward.spectator_count = [] { return 40; };
    hud_outward.spectator_name = [](int i) {
        static char name[16];
        snprintf(name, sizeof name, "s%i", i);
        return (const char *)name;
    };
    int saved = view_height;
    view_height = 400;   // (400 - 230) / 25 = 6 rows
    begin_2d();
    draw_spectator_list();
    end_2d();
    ASSERT_EQ(calls.size(), 7u);
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(calls[i].text, "s" + std::to_string(i));
        EXPECT_EQ(calls[i].y, 180 + 25 * i);
        EXPECT_EQ(calls[i].x, 8);
    }
    EXPECT_EQ(calls[6].text, "...");
    EXPECT_EQ(calls[6].y, 180 + 25 * 6);

    // A tall window: at most 32 names, no dots.
    calls.clear();
    view_height = 2000;
    draw_spectator_list();
    EXPECT_EQ(calls.size(), 32u);
    EXPECT_EQ(calls.back().text, "s31");
    // Offline: nothing.
    calls.clear();
    game_type = 0;
    draw_spectator_list();
    EXPECT_TRUE(calls.empty());
    view_height = saved;
}

TEST(HudGl, NameListRowsDownBothSides)
{
    record_hooks();
    hud_text.font_height = [](int) { return 30; };
    GameRules rules;
    two_fighters(&rules);
    current_rules = GameRules();
    match_state.num_players = 4;
    strcpy(players[0].name, "a");
    strcpy(players[1].name, "b");
    strcpy(players[2].name, "c");
    strcpy(players[3].name, "d");
    players[2].score = 7;
    players[3].score = 8;
    players[1].out = 1;
    draw_hud_name_list();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].text, "a  1234");
    EXPECT_EQ(calls[0].x, 8);
    EXPECT_EQ(calls[0].y, 0);
    EXPECT_EQ(calls[1].text, "b  100");
    EXPECT_EQ(calls[1].x, 40);   // flagged out
    EXPECT_EQ(calls[1].y, 30);
    EXPECT_EQ(calls[2].how, "right");
    EXPECT_EQ(calls[2].text, "7  c");
    EXPECT_EQ(calls[2].y, 0);
    EXPECT_EQ(calls[3].text, "8  d");
    EXPECT_EQ(calls[3].y, 30);
    players[1].out = 0;
}

TEST(HudGl, TextColourSetsPickTheirPaletteRowsAndClearColour)
{
    record_hooks();
    core_outward.palette_colour = [](int index, float *rgb) {
        rgb[0] = index / 100.0f;
        rgb[1] = 0.5f;
        rgb[2] = 0.25f;
        return 0;
    };
    use_menu_text_colors();
    EXPECT_EQ(text_colours.text, 55);
    EXPECT_EQ(text_colours.background, 56);
    EXPECT_EQ(text_colours.selected, 57);
    EXPECT_EQ(text_colours.disabled, 58);
    EXPECT_FLOAT_EQ(remembered_clear_colour[0], 0.56f);
    use_text_colors();
    EXPECT_EQ(text_colours.text, 51);
    EXPECT_EQ(text_colours.background, 52);
    EXPECT_FLOAT_EQ(remembered_clear_colour[0], 0.52f);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_NEAR(clear[0], 0.52f, 1e-3);
    core_outward.palette_colour = nullptr;
}

}   // namespace

namespace {
std::vector<int> palette_rows;
}

// The online turn dial wears the own fighter's timer colour while time is
// well left, and the warning colour near the end.
TEST(HudGl, TurnDialWearsTheOwnTimerColour)
{
    record_hooks();
    hud_text = HudTextHooks();
    palette_rows.clear();
    core_outward.palette_colour = [](int index, float rgb[3]) {
        palette_rows.push_back(index);
        rgb[0] = rgb[1] = rgb[2] = 0.5f;
        return 0;
    };
    hud_outward.is_connected = [] { return 1; };
    GameRules rules;
    two_fighters(&rules);
    rules.turn_time_limit = 10;
    game_type = 1;
    match_state.turn_frame = 0;
    frame_tick = 100000;
    for (auto &l : fighter_looks)
        l.timer_colour = 0;
    const struct {
        int own, timer0, timer1, left_ms, want;
    } cases[] = {
        {0, 0, 0, 5000, 5},    // no colour of its own: green
        {0, 7, 9, 5000, 7},    // fighter 0's
        {1, 7, 9, 5000, 9},    // the own fighter's, not fighter 0's
        {-1, 7, 9, 5000, 7},   // a spectator sees fighter 0's
        {1, 7, 9, 500, 3},     // the last tenth warns
    };
    for (const auto &c : cases) {
        own_player_index = c.own;
        fighter_looks[0].timer_colour = c.timer0;
        fighter_looks[1].timer_colour = c.timer1;
        turn_timeout = frame_tick + c.left_ms;
        palette_rows.clear();
        draw_turn_timer(&rules);
        ASSERT_FALSE(palette_rows.empty());
        EXPECT_EQ(palette_rows[0], c.want) << c.own << " " << c.left_ms;
    }
    own_player_index = -1;
    turn_timeout = 0;
    game_type = 0;
    for (auto &l : fighter_looks)
        l.timer_colour = 0;
    hud_outward = HudOutward();
    core_outward.palette_colour = nullptr;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// Every row of the debug panel stands right of the icon column at the left
// edge (ghost and help icons, x 2..34).
TEST(HudGl, DebugPanelClearsTheIconColumn)
{
    record_hooks();
    draw_debug_overlay();
    ASSERT_FALSE(calls.empty());
    for (const Call &c : calls)
        EXPECT_GE(c.x, 40) << c.text;
    hud_text = HudTextHooks();
}

// A ground impact mark wears the colour a script gave the fighter's
// impacts, over the mark's own and the fighter's.
TEST(HudGl, GroundImpactWearsTheScriptsColour)
{
    record_hooks();
    core_outward.palette_colour = [](int index, float rgb[3]) {
        palette_rows.push_back(index);
        rgb[0] = rgb[1] = rgb[2] = 0.5f;
        return 0;
    };
    GameRules rules;
    two_fighters(&rules);
    current_rules = rules;
    players[0].colour = 3;
    // The rings are recorded, not drawn.
    draw_recorder = [](const DrawRecord *) {};
    const struct {
        int script, mark, want;
    } cases[] = {{0, 0, 3}, {0, 8, 8}, {4, 8, 4}};
    for (const auto &c : cases) {
        reset_ground_impacts();
        ground_impacts[0].frame = match_state.match_frame;
        ground_impacts[0].countdown = GROUND_IMPACT_FRESH - 1;
        ground_impacts[0].colour = c.mark;
        fighter_looks[0].impact_colour = c.script;
        palette_rows.clear();
        draw_dq_impacts();
        ASSERT_EQ(palette_rows.size(), 1u) << c.want;
        EXPECT_EQ(palette_rows[0], c.want);
    }
    draw_recorder = nullptr;
    fighter_looks[0].impact_colour = 0;
    reset_ground_impacts();
    current_rules = GameRules();
    core_outward.palette_colour = nullptr;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// A script's one-colour gradient tints the body parts it covers, wherever
// they are drawn without a texture; an indicated joint's highlight is kept.
TEST(HudGl, ScriptTintMultipliesTheBodysColour)
{
    core_outward.palette_colour = [](int, float rgb[3]) {
        rgb[0] = rgb[1] = rgb[2] = 0.8f;
        return 0;
    };
    FighterLook saved = fighter_looks[0];
    match_state = MatchState();
    match_state.num_players = 2;
    float rgb[3];
    get_body_draw_color(&match_state, &players[0], 15, rgb);
    EXPECT_FLOAT_EQ(rgb[1], 0.8f);
    fighter_looks[0].body_tinted[15] = 1;
    fighter_looks[0].body_tint[15][0] = 0.0f;
    fighter_looks[0].body_tint[15][1] = 1.0f;
    fighter_looks[0].body_tint[15][2] = 0.5f;
    get_body_draw_color(&match_state, &players[0], 15, rgb);
    EXPECT_FLOAT_EQ(rgb[0], 0.0f);
    EXPECT_FLOAT_EQ(rgb[1], 0.8f);
    EXPECT_FLOAT_EQ(rgb[2], 0.4f);
    get_body_draw_color(&match_state, &players[0], 14, rgb);   // an untinted part
    EXPECT_FLOAT_EQ(rgb[0], 0.8f);
    fighter_looks[0] = saved;
    core_outward.palette_colour = nullptr;
}

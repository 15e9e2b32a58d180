// Fighters' names in bigger games, the selection, the view angle, the
// fighters' script colours, the say box and the scripts' 3D shapes with
// the shader renderer, as a player or a script meets them in the running
// program. Every step waits for a marker the script writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace {

// The numbers of the first log line with the tag.
std::vector<double> numbers(const std::string &log, const std::string &tag)
{
    std::vector<double> out;
    std::vector<std::string> lines = tagged(log, tag);
    if (lines.empty())
        return out;
    std::istringstream in(lines[0]);
    double v;
    while (in >> v)
        out.push_back(v);
    return out;
}

// A script that runs `body` once in the draw2d hook of the frame `after`
// frames into the first game (while it waits for the first move), with
// the frame counter `frame` for later steps.
std::string in_game(int after, const std::string &body, const std::string &later = "")
{
    return "local frame = 0\n"
           "add_hook('draw2d', 'e2e', function()\n"
           "  frame = frame + 1\n"
           "  if frame == " +
           std::to_string(after) + " then\n" + body +
           "  end\n" + later +
           "end)\n";
}

// The 8-bit P6 picture the game's own screenshot() writes.
struct Picture {
    int width = 0, height = 0;
    std::string pixels;
    bool read(const GameRun &run, const std::string &name)
    {
        std::string bytes = run.file(name);
        std::istringstream in(bytes);
        std::string magic;
        int maxval = 0;
        if (!(in >> magic >> width >> height >> maxval) || magic != "P6" || maxval != 255)
            return false;
        in.get();
        size_t at = (size_t)in.tellg();
        pixels = bytes.substr(at);
        return pixels.size() >= (size_t)width * height * 3;
    }
    int channel(int x, int y, int k) const
    {
        return (unsigned char)pixels[((size_t)y * width + x) * 3 + k];
    }
};

// Pixels of a rectangle that differ by more than 40 in some channel
// between two screenshots; -1 when either can't be read.
int differing_pixels(const GameRun &run, const std::string &a, const std::string &b, int x, int y,
                     int w, int h)
{
    Picture pa, pb;
    if (!pa.read(run, a) || !pb.read(run, b) || pa.width != pb.width || pa.height != pb.height ||
        x < 0 || y < 0 || x + w > pa.width || y + h > pa.height)
        return -1;
    int n = 0;
    for (int j = y; j < y + h; j++)
        for (int i = x; i < x + w; i++)
            for (int k = 0; k < 3; k++)
                if (std::abs(pa.channel(i, j, k) - pb.channel(i, j, k)) > 40) {
                    n++;
                    break;
                }
    return n;
}

// Runs a case with a deadline sized for the sanitizer build on a busy
// machine (a safety net, not the expected time).
GameRun run_case(const char *name, GameSetup setup)
{
    setup.timeout_ms = 90000;
    return run_game(name, setup);
}

}  // namespace

// A replay of a three-fighter game, opened and taken over: the third
// fighter keeps its own name ("player3"), never the ghost's.
TEST(E2ePartialA, ThreeFighterReplayTakenOverNamesTheThirdFighter)
{
    GameSetup setup;
    setup.args = {"three.rpl"};
    setup.files = {{"three.rpl",
                    "FIGHTNAME 0; three\n"
                    "NEWGAME 0; 300 10 0 0 0 1 100 0 0 classic 0 0 100 0 0 0 1 0 3 0 0 0 0 0 0\n"
                    "FRAME 5; 0 0 0 0\n"}};
    setup.startup_lua = R"lua(
local frame, taken = 0, -1
local function names(tag)
  local w = get_world_state()
  local t = {}
  for i = 0, w.num_players - 1 do t[#t + 1] = get_player_info(i).name end
  e2e_log(tag .. w.num_players .. ' ' .. table.concat(t, ' '))
end
add_hook('draw2d', 'e2e', function()
  frame = frame + 1
  local w = get_world_state()
  if taken < 0 and w.num_players == 3 and frame > 5 then
    names('replay ')
    edit_game()
    taken = frame
  elseif taken > 0 and frame == taken + 5 then
    names('taken ')
    e2e_quit()
  end
end)
)lua";
    GameRun run = run_case("partial_three_names", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(tagged(run.log, "replay "), std::vector<std::string>{"3 kasu uke player3"})
        << run.describe();
    EXPECT_EQ(tagged(run.log, "taken "), std::vector<std::string>{"3 kasu uke player3"})
        << run.describe();
}

// select_player picks a fighter as a click does: its ghost runs.
TEST(E2ePartialA, SelectPlayerRunsTheFightersGhost)
{
    GameSetup setup;
    setup.startup_lua = in_game(20, R"lua(
    set_ghost(0)
    e2e_log('before ' .. get_ghost())
    select_player(1)
    e2e_log('after ' .. get_ghost() .. ' ' .. get_world_state().selected_player)
    e2e_quit()
)lua");
    GameRun run = run_case("partial_select_player", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(tagged(run.log, "before "), std::vector<std::string>{"0"}) << run.describe();
    EXPECT_EQ(tagged(run.log, "after "), std::vector<std::string>{"1 1"}) << run.describe();
}

// set_fov from draw2d: the 2D drawn after it stays where it is drawn, and
// the scene takes the narrower view from the next frame on.
TEST(E2ePartialA, SetFovFromDraw2dTakesEffect)
{
    GameSetup setup;
    setup.startup_lua = in_game(30, R"lua(
    local x, y = get_screen_pos(1.5, 1.0, 0.5)
    e2e_log('wide ' .. x .. ' ' .. y)
    set_fov(25)
    set_color(1, 0, 0, 1)
    draw_quad(300, 200, 120, 80)
    screenshot('quad.ppm', 1)
)lua",
                                R"lua(
  if frame == 40 then
    local x, y = get_screen_pos(1.5, 1.0, 0.5)
    e2e_log('narrow ' .. x .. ' ' .. y)
    e2e_quit()
  end
)lua");
    GameRun run = run_case("partial_set_fov", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    double rgb[3];
    ASSERT_TRUE(region_colour(run, "screenshots/quad.ppm", 320, 215, 80, 50, rgb))
        << run.describe();
    EXPECT_GT(rgb[0], 200) << rgb[0] << " " << rgb[1] << " " << rgb[2];
    EXPECT_LT(rgb[1], 60) << rgb[0] << " " << rgb[1] << " " << rgb[2];
    std::vector<double> wide = numbers(run.log, "wide "), narrow = numbers(run.log, "narrow ");
    ASSERT_EQ(wide.size(), 2u) << run.describe();
    ASSERT_EQ(narrow.size(), 2u) << run.describe();
    // Half the view angle: about twice as far from the middle of the window.
    double dw = std::hypot(wide[0] - 400, wide[1] - 300);
    double dn = std::hypot(narrow[0] - 400, narrow[1] - 300);
    ASSERT_GT(dw, 20) << run.describe();
    EXPECT_GT(dn, 1.6 * dw) << dw << " " << dn;
}

// draw_chat_input draws the say box where the script asks, forced or
// while the chat input is open, and not otherwise.
TEST(E2ePartialA, DrawChatInputDrawsTheSayBoxAtItsPosition)
{
    GameSetup setup;
    setup.startup_lua = in_game(20, R"lua(
    screenshot('none.ppm', 1)
    draw_chat_input(300, 250, false)
    screenshot('closed.ppm', 1)
    draw_chat_input(300, 250, true)
    screenshot('forced.ppm', 1)
    chat_input_activate()
)lua",
                                R"lua(
  if frame == 22 then
    screenshot('open_none.ppm', 1)
    draw_chat_input(300, 400, false)
    screenshot('open.ppm', 1)
    chat_input_deactivate()
    e2e_quit()
  end
)lua");
    GameRun run = run_case("partial_chat_input", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    auto changed = [&](const std::string &a, const std::string &b, int x, int y) {
        return differing_pixels(run, "screenshots/" + a, "screenshots/" + b, x, y, 120, 30);
    };
    // "Say: _" at the asked position, nothing anywhere else.
    EXPECT_EQ(changed("none.ppm", "closed.ppm", 290, 240), 0) << run.describe();
    EXPECT_GT(changed("none.ppm", "forced.ppm", 290, 240), 20) << run.describe();
    EXPECT_EQ(changed("none.ppm", "forced.ppm", 290, 380), 0) << run.describe();
    EXPECT_GT(changed("open_none.ppm", "open.ppm", 290, 390), 20) << run.describe();
    EXPECT_EQ(changed("open_none.ppm", "open.ppm", 290, 240), 0) << run.describe();
}

// The fighters' script colours show: a one-colour gradient tints the
// limbs, an indicated joint turns azure.
TEST(E2ePartialA, ScriptColoursShowOnTheFighters)
{
    GameSetup setup;
    setup.startup_lua = in_game(20, R"lua(
    local function at(tag, x, y) e2e_log(tag .. ' ' .. math.floor(x) .. ' ' .. math.floor(y)) end
    local b = get_body_info(0, BODYPARTS.R_THIGH).pos
    at('thigh', get_screen_pos(b.x, b.y, b.z))
    at('joint', get_joint_screen_pos(0, JOINTS.R_KNEE))
    screenshot('plain.ppm', 1)
    set_gradient_color(0, 10, 10)
    indicate_joint(0, JOINTS.R_KNEE, 1)
)lua",
                                R"lua(
  if frame == 22 then
    screenshot('coloured.ppm', 1)
    e2e_quit()
  end
)lua");
    GameRun run = run_case("partial_script_colours", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    std::vector<double> thigh = numbers(run.log, "thigh "), joint = numbers(run.log, "joint ");
    ASSERT_EQ(thigh.size(), 2u) << run.describe();
    ASSERT_EQ(joint.size(), 2u) << run.describe();
    double before[3], after[3];
    // Colour 10 is green.
    ASSERT_TRUE(region_colour(run, "screenshots/plain.ppm", (int)thigh[0] - 2, (int)thigh[1] - 2,
                              5, 5, before));
    ASSERT_TRUE(region_colour(run, "screenshots/coloured.ppm", (int)thigh[0] - 2,
                              (int)thigh[1] - 2, 5, 5, after));
    EXPECT_GT(after[1] - after[0], 60) << "thigh " << after[0] << " " << after[1] << " "
                                       << after[2] << " was " << before[0] << " " << before[1];
    // Azure: blue and green well over red.
    ASSERT_TRUE(region_colour(run, "screenshots/coloured.ppm", (int)joint[0] - 1,
                              (int)joint[1] - 1, 3, 3, after));
    EXPECT_GT(after[2] - after[0], 60) << "knee " << after[0] << " " << after[1] << " "
                                       << after[2];
}

// With the shader renderer a sphere drawn from draw3d shows, as it does
// without.
TEST(E2ePartialA, Draw3dShapesShowWithAndWithoutShaders)
{
    for (int shaders : {0, 1}) {
        GameSetup setup;
        setup.args = {"-shaders", std::to_string(shaders)};
        setup.startup_lua = R"lua(
add_hook('draw3d', 'e2e', function()
  set_color(1, 0, 0, 1)
  draw_sphere(0, 0, 3, 0.6)
end)
)lua" + in_game(40, R"lua(
    local x, y = get_screen_pos(0, 0, 3)
    e2e_log('sphere ' .. math.floor(x) .. ' ' .. math.floor(y))
    e2e_log('shaders ' .. get_option('shaders'))
    screenshot('sphere.ppm', 1)
    e2e_quit()
)lua");
        GameRun run = run_case(shaders ? "partial_draw3d_shaders" : "partial_draw3d_plain", setup);
        ASSERT_FALSE(run.timed_out) << run.describe();
        if (shaders && tagged(run.log, "shaders ") != std::vector<std::string>{"1"}) {
            // No shader support on this display: nothing to compare.
            std::printf("shaders unavailable here\n");
            continue;
        }
        std::vector<double> at = numbers(run.log, "sphere ");
        ASSERT_EQ(at.size(), 2u) << run.describe();
        double rgb[3];
        ASSERT_TRUE(region_colour(run, "screenshots/sphere.ppm", (int)at[0] - 3, (int)at[1] - 3, 7,
                                  7, rgb))
            << run.describe();
        EXPECT_GT(rgb[0] - rgb[1], 80) << "shaders " << shaders << ": " << rgb[0] << " " << rgb[1]
                                       << " " << rgb[2];
    }
}

// A world shader's background goes with the shaders: switched off, the
// window clears to the plain white again.
TEST(E2ePartialA, ShadersOffAfterAWorldShaderClearToWhite)
{
    GameSetup setup;
    setup.args = {"-shaders", "1"};
    setup.startup_lua = in_game(20, R"lua(
    run_cmd('loadworldshader preset3.inc')
)lua",
                                R"lua(
  if frame == 40 then
    e2e_log('shaders ' .. get_option('shaders'))
    screenshot('on.ppm', 1)
    set_option('shaders', 0)
  elseif frame == 50 then
    screenshot('off.ppm', 1)
    e2e_quit()
  end
)lua");
    GameRun run = run_case("partial_shaders_off_clear", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    if (tagged(run.log, "shaders ") != std::vector<std::string>{"1"})
        GTEST_SKIP() << "no shader support on this display";
    double rgb[3];
    // The top corner, above the dojo: nothing but the clear colour.
    ASSERT_TRUE(region_colour(run, "screenshots/off.ppm", 680, 90, 40, 20, rgb)) << run.describe();
    EXPECT_GT(rgb[0], 240) << rgb[0] << " " << rgb[1] << " " << rgb[2];
    EXPECT_GT(rgb[1], 240) << rgb[0] << " " << rgb[1] << " " << rgb[2];
    EXPECT_GT(rgb[2], 240) << rgb[0] << " " << rgb[1] << " " << rgb[2];
}

// What the renderer shows a player, read from the screen of the running
// game: blood left on the floor by a played match, a hand gripped and let
// go with the mouse alone, the floor under a fighter's own floor picture,
// and pictures stored from their top row.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace {

// ---- pictures -----------------------------------------------------------------------

struct Rgb {
    int r, g, b;
};

// An uncompressed 24-bit TGA of size x size pixels; `pixel(x, y)` is the
// colour at column x, row y counted from the bottom. Stored bottom row
// first, or with `top_first` top row first (descriptor bit 5).
template <class F>
std::string tga_picture(int size, bool top_first, F pixel)
{
    std::string out(18, '\0');
    out[2] = 2;
    out[12] = (char)(size & 0xff);
    out[13] = (char)(size >> 8);
    out[14] = (char)(size & 0xff);
    out[15] = (char)(size >> 8);
    out[16] = 24;
    out[17] = top_first ? 0x20 : 0;
    for (int i = 0; i < size; i++) {
        int y = top_first ? size - 1 - i : i;
        for (int x = 0; x < size; x++) {
            Rgb c = pixel(x, y);
            out += (char)c.b;
            out += (char)c.g;
            out += (char)c.r;
        }
    }
    return out;
}

// Four quadrants of plain colours: red and green below, blue and yellow above.
const Rgb kQuadrants[4] = {{255, 0, 0}, {0, 200, 0}, {0, 0, 255}, {255, 255, 0}};

Rgb quadrant(int size, int x, int y)
{
    return kQuadrants[(y >= size / 2 ? 2 : 0) + (x >= size / 2 ? 1 : 0)];
}

std::string quadrant_picture(bool top_first)
{
    return tga_picture(64, top_first, [](int x, int y) { return quadrant(64, x, y); });
}

double distance(const double a[3], const double b[3])
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                     (a[2] - b[2]) * (a[2] - b[2]));
}

// Pixels of a rectangle near any of the four quadrant colours.
int quadrant_pixels(const GameRun &run, const std::string &ppm, int x, int y, int w, int h)
{
    int total = 0;
    for (const Rgb &c : kQuadrants) {
        const int rgb[3] = {c.r, c.g, c.b};
        int n = count_colour_pixels(run, ppm, x, y, w, h, rgb, 50);
        if (n < 0)
            return -1;
        total += n;
    }
    return total;
}

// A new game with its menu closed, in the edit phase of its first turn.
void open_new_game(GameSetup *setup)
{
    setup->actions.push_back({"", 0, "xdotool key ctrl+n"});
    setup->actions.back().frames = 10;
    setup->actions.push_back({"", 0, "xdotool key Escape"});
    setup->actions.back().frames = 10;
}

// ---- blood on the floor ---------------------------------------------------------------

// A close match with joints that come apart at the least force. Each turn
// the script sets every joint of both fighters (forward, back, hold, relax,
// shifting from joint to joint and turn to turn, as a player mashing the
// joints would) and the turn is played by the space key; the fighters tear
// each other apart and bleed on the floor.
const char bloody_match_lua[] = R"(
local started = false
add_hook("key_down", "e2e", function(key)
  if started then return end
  started = true
  run_cmd("set matchframes 400")
  run_cmd("set turnframes 40")
  run_cmd("set engagedistance 34")
  run_cmd("set dismemberment 1")
  run_cmd("set dismemberthreshold 1")
  start_new_game()
  e2e_mark("started")
end)
local freezes = 0
local function drive(turn)
  for p = 0, 1 do
    for j = 0, 19 do
      set_joint_state(p, j, 1 + (turn + j + p) % 4)
    end
  end
end
add_hook("new_game", "e2e", function() drive(0) end)
add_hook("enter_freeze", "e2e", function()
  freezes = freezes + 1
  drive(freezes)
  e2e_mark("freeze_" .. freezes)
end)
add_hook("end_game", "e2e", function()
  e2e_log("end_game " .. get_world_state().match_frame)
  e2e_mark_after("ended", 10)
end)
)";

GameRun play_bloody_match(const char *name, int stains)
{
    GameSetup setup;
    setup.args = {"-shaders", "1", "-bloodstains", std::to_string(stains)};
    setup.startup_lua = bloody_match_lua;
    setup.actions.push_back({"", 0, "xdotool mousemove 700 500"});
    setup.actions.push_back({"", 0, "xdotool key Escape"});
    setup.actions.push_back(repeat_until("", "xdotool key q", "started", 1000));
    for (int turn = 0; turn < 10; turn++) {
        std::string edit = turn == 0 ? "started" : "freeze_" + std::to_string(turn);
        setup.actions.push_back({edit, 0, "xdotool key space"});
    }
    setup.actions.push_back({"ended", 0, "import -window root -depth 8 floor.ppm"});
    setup.actions.push_back({"", 0, "import -window root floor.png"});
    setup.actions.push_back({"", 0, "term"});
    setup.timeout_ms = 300000;
    return run_game(name, setup);
}

// The flat dark red of a stain on the lit floor (the drops in the air are
// shaded spheres of many reds, the cut joints bright red).
int blood_pixels(const GameRun &run, const std::string &ppm, int x, int y, int w, int h)
{
    const int stain[3] = {165, 5, 35};
    return count_colour_pixels(run, ppm, x, y, w, h, stain, 20);
}

} // namespace

// The same played match with and without stains: the fighters fall and
// bleed the same way, and only with stains does the floor show their blood.
TEST(E2eRender, BloodOfAPlayedMatchStainsTheFloor)
{
    GameRun stained = play_bloody_match("render_stains_on", 1);
    ASSERT_FALSE(stained.timed_out) << stained.describe();
    ASSERT_NE(stained.log.find("end_game 400"), std::string::npos) << stained.describe();
    GameRun clean = play_bloody_match("render_stains_off", 0);
    ASSERT_FALSE(clean.timed_out) << clean.describe();
    ASSERT_NE(clean.log.find("end_game 400"), std::string::npos) << clean.describe();
    EXPECT_EQ(stained.err.find("GL error"), std::string::npos) << stained.describe();
    // The floor around the fallen fighters, above the control bar.
    int with = blood_pixels(stained, "floor.ppm", 100, 300, 600, 170);
    int without = blood_pixels(clean, "floor.ppm", 100, 300, 600, 170);
    ASSERT_GE(with, 0) << stained.describe();
    ASSERT_GE(without, 0) << clean.describe();
    // A stain in view covers a few dozen pixels: several of them, and far
    // more of the stain colour than the drops and cut joints alone show.
    EXPECT_GT(with, 2 * without + 200) << "stained " << with << ", clean " << without;
}

// ---- grips by mouse -------------------------------------------------------------------

namespace {

// Every drawn frame: the screen point of fighter 1's right hand (held out
// to the left of the screen at the start) past its wrist sphere. Once the
// camera has come to rest (the point the same for ten frames) it goes into
// "hand.xdo" as an xdotool move, with a point further out on the same line
// (the floor or sky beside the hand) into "beside.txt", and "aimed" is
// marked. The hand's grip as the game holds it is logged when it changes.
const char grip_watch_lua[] = R"(
local last_aim, still, aimed = "", 0, false
local last_grip = -1
local changes = 0
add_hook("draw2d", "e2e", function()
  local hand = get_body_info(1, 11).pos
  local wx, wy, wz = get_joint_pos(1, 10)
  local tx, ty, tz = hand.x + 0.3 * (hand.x - wx), hand.y + 0.3 * (hand.y - wy),
                     hand.z + 0.3 * (hand.z - wz)
  local sx, sy = get_screen_pos(tx, ty, tz)
  local ox, oy = get_screen_pos(hand.x + 4 * (hand.x - wx), hand.y + 4 * (hand.y - wy),
                                hand.z + 4 * (hand.z - wz))
  local aim = sx .. " " .. sy
  if aim == last_aim then still = still + 1 else still = 0 end
  last_aim = aim
  local w = get_world_state()
  if not aimed and still >= 10 and w.replay_mode == 0 and is_game_frozen() == 1 then
    aimed = true
    local f = io.open("hand.xdo", "w")
    f:write("mousemove " .. aim .. "\n")
    f:close()
    f = io.open("beside.txt", "w")
    f:write(sx .. " " .. sy .. " " .. ox .. " " .. oy .. "\n")
    f:close()
    e2e_mark("aimed")
  end
  local g = get_grip_info(1, 11)
  if g ~= last_grip then
    last_grip = g
    changes = changes + 1
    e2e_log("grip " .. g)
    e2e_mark_after("grip_" .. changes, 3)
  end
end)
)";

GameRun grip_by_mouse(const char *name, int shaders)
{
    GameSetup setup;
    setup.args = {"-shaders", std::to_string(shaders)};
    setup.startup_lua = grip_watch_lua;
    open_new_game(&setup);
    // Pointed at where the hand is drawn, a screenshot, then clicks.
    setup.actions.push_back({"aimed", 0, "xdotool hand.xdo"});
    setup.actions.push_back({"", 0, "import -window root -depth 8 open.ppm"});
    GameAction grip = {"", 0, "xdotool click 1", "grip_2"};
    setup.actions.push_back(grip);
    setup.actions.push_back({"", 0, "import -window root -depth 8 gripped.ppm"});
    setup.actions.push_back({"", 0, "import -window root gripped.png"});
    GameAction release = {"", 0, "xdotool click 1", "grip_3"};
    setup.actions.push_back(release);
    setup.actions.push_back({"", 0, "import -window root -depth 8 released.ppm"});
    setup.actions.push_back({"", 0, "term"});
    return run_game(name, setup);
}

} // namespace

// With either renderer the open hand is drawn past the wrist, a click on it
// grips (the game's own grip state says so) and a second click lets go;
// the screen shows the grip and then the open hand again.
TEST(E2eRender, AHandIsGrippedAndLetGoByMouseClicks)
{
    for (int shaders : {0, 1}) {
        SCOPED_TRACE(shaders ? "shaders" : "fixed-function");
        GameRun run = grip_by_mouse(shaders ? "render_grip_shaders" : "render_grip_fixed", shaders);
        ASSERT_FALSE(run.timed_out) << run.describe();
        EXPECT_EQ(run.status, 0) << run.describe();
        std::vector<std::string> grips = tagged(run.log, "grip ");
        ASSERT_EQ(grips.size(), 3u) << run.describe();
        EXPECT_EQ(grips[0], "0");
        EXPECT_EQ(grips[1], "1");
        EXPECT_EQ(grips[2], "0");

        int hx = -1, hy = -1, ox = -1, oy = -1;
        ASSERT_EQ(sscanf(run.file("beside.txt").c_str(), "%d %d %d %d", &hx, &hy, &ox, &oy), 4)
            << run.describe();
        // The hand is drawn where it was clicked: its pixels differ from the
        // floor or sky beside it.
        double hand[3], beside[3];
        ASSERT_TRUE(region_colour(run, "open.ppm", hx - 1, hy - 1, 3, 3, hand)) << run.describe();
        ASSERT_TRUE(region_colour(run, "open.ppm", ox - 1, oy - 1, 3, 3, beside));
        EXPECT_GT(distance(hand, beside), 25.0) << hx << "," << hy << " against " << ox << "," << oy;
        // Gripping, the hand grows and wears its ring; let go, it is as it was.
        double open_at[3], gripped_at[3], released_at[3];
        ASSERT_TRUE(region_colour(run, "open.ppm", hx - 12, hy - 12, 24, 24, open_at));
        ASSERT_TRUE(region_colour(run, "gripped.ppm", hx - 12, hy - 12, 24, 24, gripped_at));
        ASSERT_TRUE(region_colour(run, "released.ppm", hx - 12, hy - 12, 24, 24, released_at));
        EXPECT_GT(distance(open_at, gripped_at), 8.0);
        EXPECT_GT(distance(released_at, gripped_at), 8.0);
    }
}

// ---- the fighter's own floor picture ---------------------------------------------------------

namespace {

// After a new game the camera glides upwards a little further with every
// drawn frame, so a picture taken a set number of frames after the keys
// shows it wherever the machine's speed left it, and two runs differ by
// pixels. These pictures are compared across runs: a script holds the
// camera where the glide passes in its first half-second, looking along
// the fighters' line over the floor's near half.
const char camera_held_lua[] = R"(
add_hook("camera", "e2e_held", function()
  set_camera_pos(4.18198, 3.08198, 1.86)
  set_camera_lookat(1.0, -0.1, 1.36)
  return 1
end)
)";

GameRun floor_picture_run(const char *name, const std::string &picture, int transparency)
{
    GameSetup setup;
    setup.args = {"-shaders", "1", "-reflection", "1", "-transparency",
                  std::to_string(transparency)};
    if (!picture.empty())
        setup.files.push_back({"custom/kasu/ground.tga", picture});
    setup.startup_lua = R"(
add_hook("console", "e2e", function(text, kind)
  e2e_log("console " .. tostring(kind) .. " " .. tostring(text))
end)
)" + std::string(camera_held_lua);
    open_new_game(&setup);
    setup.actions.push_back({"", 0, "import -window root -depth 8 floor.ppm"});
    setup.actions.push_back({"", 0, "import -window root floor.png"});
    setup.actions.push_back({"", 0, "term"});
    return run_game(name, setup);
}

// Where the floor lies open, away from the picture under the fighters, the
// HUD and the control bar: left and right of the fighters.
const int kOpenFloor[2][4] = {{60, 260, 130, 200}, {630, 260, 160, 200}};

// The mirrored legs of the left fighter below the picture's near edge,
// above the hint line; and the bare floor to their left.
const int kReflection[4] = {310, 556, 20, 14};
const int kBesideReflection[4] = {240, 556, 20, 14};

} // namespace

// A fighter's ground picture lies under the fighters on the shader floor;
// the rest of the floor stays as it was, with the mirrored fighters in it,
// whether the floor is drawn translucent or not.
TEST(E2eRender, FloorPictureLeavesTheFloorAndItsReflection)
{
    for (int transparency : {1, 0}) {
        SCOPED_TRACE(transparency ? "transparency" : "opaque");
        std::string suffix = transparency ? "_t" : "_o";
        GameRun plain = floor_picture_run(("render_floor_plain" + suffix).c_str(), "", transparency);
        GameRun pictured = floor_picture_run(("render_floor_picture" + suffix).c_str(),
                                             quadrant_picture(false), transparency);
        ASSERT_FALSE(pictured.timed_out) << pictured.describe();
        ASSERT_FALSE(plain.timed_out) << plain.describe();
        EXPECT_EQ(pictured.err.find("GL error"), std::string::npos) << pictured.describe();
        // The picture is drawn (under the fighters).
        EXPECT_GT(quadrant_pixels(pictured, "floor.ppm", 200, 430, 420, 170), 2000)
            << pictured.describe();
        // No band of its colours on the open floor, which looks as it does
        // without the picture.
        for (const int *r : kOpenFloor) {
            EXPECT_LT(quadrant_pixels(pictured, "floor.ppm", r[0], r[1], r[2], r[3]), 20)
                << r[0] << "," << r[1];
            double with[3], without[3];
            ASSERT_TRUE(region_colour(pictured, "floor.ppm", r[0], r[1], r[2], r[3], with));
            ASSERT_TRUE(region_colour(plain, "floor.ppm", r[0], r[1], r[2], r[3], without));
            EXPECT_LT(distance(with, without), 12.0) << r[0] << "," << r[1];
        }
        // The reflection is there as without the picture, unlike the floor.
        double with[3], without[3], bare[3];
        ASSERT_TRUE(region_colour(pictured, "floor.ppm", kReflection[0], kReflection[1],
                                  kReflection[2], kReflection[3], with));
        ASSERT_TRUE(region_colour(plain, "floor.ppm", kReflection[0], kReflection[1],
                                  kReflection[2], kReflection[3], without));
        ASSERT_TRUE(region_colour(plain, "floor.ppm", kBesideReflection[0], kBesideReflection[1],
                                  kBesideReflection[2], kBesideReflection[3], bare));
        EXPECT_LT(distance(with, without), 12.0);
        EXPECT_GT(distance(without, bare), 20.0);
    }
}

// A picture stored top row first is drawn as the same picture stored
// bottom row first; a picture the game cannot use is named, with the
// reason, in the console and on standard error.
TEST(E2eRender, TopFirstPictureIsDrawnTheRightWayUpAndARefusedOneIsNamed)
{
    GameRun bottom = floor_picture_run("render_tga_bottom_first", quadrant_picture(false), 0);
    GameRun top = floor_picture_run("render_tga_top_first", quadrant_picture(true), 0);
    ASSERT_FALSE(bottom.timed_out) << bottom.describe();
    ASSERT_FALSE(top.timed_out) << top.describe();
    // Corners of the picture under the fighters: the near left and right,
    // the far middle; each the same colour in both runs, and not all alike.
    const int corners[3][4] = {{232, 492, 30, 8}, {560, 492, 30, 8}, {400, 442, 24, 6}};
    double seen[3][3];
    for (int i = 0; i < 3; i++) {
        const int *c = corners[i];
        double b[3];
        ASSERT_TRUE(region_colour(bottom, "floor.ppm", c[0], c[1], c[2], c[3], b));
        ASSERT_TRUE(region_colour(top, "floor.ppm", c[0], c[1], c[2], c[3], seen[i]));
        EXPECT_LT(distance(b, seen[i]), 30.0) << "corner " << i;
    }
    EXPECT_GT(distance(seen[0], seen[1]), 100.0);
    EXPECT_GT(distance(seen[0], seen[2]), 100.0);

    // 64 x 32: not square.
    std::string narrow = tga_picture(64, false, [](int x, int y) { return quadrant(64, x, y); });
    narrow[14] = 32;
    narrow.resize(18 + 64 * 32 * 3);
    GameRun refused = floor_picture_run("render_tga_refused", narrow, 0);
    ASSERT_FALSE(refused.timed_out) << refused.describe();
    EXPECT_NE(refused.err.find("refused texture custom/kasu/ground.tga: not square or not a "
                               "power of two\n"),
              std::string::npos)
        << refused.describe();
    EXPECT_EQ(count_lines_with(refused.log,
                               "console 4 Texture custom/kasu/ground.tga: not square or not a "
                               "power of two"),
              1)
        << refused.describe();
}

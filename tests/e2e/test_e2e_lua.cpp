// The Lua API and its hooks in the real program: a script drives a local
// match through the API and the hooks the running game fires, logs what it
// sees, and quits; the test reads the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>

#include "e2e/e2e_support.h"
#include "support/test_support.h"

namespace {

// The script prologue of every case: once the first game runs, `rules`
// set the setup rules and a fresh game starts with them; `on_ready` runs
// in that game's first drawn frame, while it waits for the first move.
std::string with_game(const std::string &rules, const std::string &on_ready)
{
    return "local phase = 0\n"
           "add_hook('new_game', 'e2e', function()\n"
           "  if phase == 0 then\n"
           "    phase = 1\n" +
           rules +
           "  end\n"
           "end)\n"
           "add_hook('draw2d', 'e2e_start', function()\n"
           "  if phase == 1 then phase = 2; start_new_game(); return end\n"
           "  if phase == 2 then phase = 3\n" +
           on_ready +
           "  end\n"
           "end)\n";
}

// A square uncompressed 24-bit TGA of one colour.
std::string solid_tga(int size, unsigned char r, unsigned char g, unsigned char b)
{
    std::string t(18, '\0');
    t[2] = 2;
    t[12] = (char)(size & 0xff);
    t[13] = (char)(size >> 8);
    t[14] = (char)(size & 0xff);
    t[15] = (char)(size >> 8);
    t[16] = 24;
    for (int i = 0; i < size * size; i++) {
        t.push_back((char)b);
        t.push_back((char)g);
        t.push_back((char)r);
    }
    return t;
}

}  // namespace

TEST(E2eLua, ScriptedMatchFollowsTurnframesToTheEnd)
{
    GameSetup setup;
    setup.startup_lua = with_game("run_cmd('set matchframes 60')\nrun_cmd('set turnframes 7,13')\n",
                                  "e2e_log('ready ' .. get_world_state().match_frame)\nstep_game()\n") +
                        R"lua(
local waiting = false
add_hook('enter_freeze', 'e2e', function()
  e2e_log('freeze ' .. get_world_state().match_frame)
  waiting = true
end)
-- The next move is committed from the following drawn frame, as a player
-- pressing space would.
add_hook('draw2d', 'e2e', function()
  if waiting then waiting = false; step_game() end
end)
add_hook('end_game', 'e2e', function(code)
  local rules = get_game_rules()
  e2e_log('end ' .. tostring(code) .. ' ' .. get_world_state().match_frame .. ' ' ..
          rules.matchframes)
  e2e_quit()
end)
)lua";
    GameRun run = run_game("lua_match", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    // Turns of 7 and 13 frames in turn, the last one cut by the match end.
    std::vector<std::string> freezes = tagged(run.log, "freeze ");
    EXPECT_EQ(freezes, (std::vector<std::string>{"7", "20", "27", "40", "47"})) << run.describe();
    // Nobody scored: the end hook reports a draw (1) at the match's last frame.
    EXPECT_EQ(tagged(run.log, "end "), std::vector<std::string>{"1 60 60"}) << run.describe();
}

TEST(E2eLua, JointStatesGripsAndArgumentChecksThroughTheApi)
{
    GameSetup setup;
    setup.startup_lua = with_game("", R"lua(
  local mismatch = 0
  for j = 0, 19 do set_joint_state(0, j, j % 4 + 1) end
  for j = 0, 19 do
    if get_joint_info(0, j).state ~= j % 4 + 1 then mismatch = mismatch + 1 end
  end
  e2e_log('pending mismatch ' .. mismatch)
  local info = get_joint_info(0, JOINTS.R_SHOULDER)
  e2e_log('info ' .. info.name .. '|' .. info.mod_name)
  set_grip_info(0, BODYPARTS.R_HAND, 1)
  e2e_log('grip ' .. get_grip_info(0, 11) .. ' ' .. get_grip_info(0, 12) .. ' ' .. get_grip_lock(0, 12))
  local function try(f, ...)
    local ok, err = pcall(f, ...)
    e2e_log('try ' .. tostring(ok) .. ' ' .. string.gsub(tostring(err), '\n', '|'))
  end
  try(set_joint_state, 0, 21, 1)
  try(set_joint_state, 0, 3, 5)
  try(set_joint_state, 2, 3, 1)
  try(set_joint_state, 0, 20, 1)
  try(get_joint_info, 0, 20)
  try(get_body_info, 0, 21)
  try(set_body_pos, 0, 3, 0/0, 0, 1)
  try(set_body_force, 1, 3, 1e300, 0, 0)
  try(get_grip_info, 0, 10)
  try(set_joint_state, 0, 1)
  e2e_log('popen ' .. type(io.popen) .. ' open ' .. type(io.open))
  e2e_log('x ' .. tostring(get_joint_pos(0, 0) ~= 0))
  step_game()
)lua") + R"lua(
add_hook('enter_freeze', 'e2e', function()
  local mismatch = 0
  for j = 0, 19 do
    if get_joint_info(0, j).state ~= j % 4 + 1 then mismatch = mismatch + 1 end
  end
  e2e_log('after mismatch ' .. mismatch)
  e2e_quit()
end)
)lua";
    GameRun run = run_game("lua_joints", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(tagged(run.log, "pending mismatch "), std::vector<std::string>{"0"}) << run.describe();
    EXPECT_EQ(tagged(run.log, "after mismatch "), std::vector<std::string>{"0"}) << run.describe();
    EXPECT_EQ(tagged(run.log, "info "), std::vector<std::string>{"RIGHT SHOULDER|r_shoulder"})
        << run.describe();
    EXPECT_EQ(tagged(run.log, "grip "), std::vector<std::string>{"1 0 -1"}) << run.describe();
    EXPECT_EQ(tagged(run.log, "try "),
              (std::vector<std::string>{
                  "false joint index out of range",
                  "false invalid joint state",
                  "false player index out of range",
                  "true nil",
                  "false Joint index out of range",
                  "false Body index out of range",
                  "false Usage: set_body_pos(integer player_index, integer body_index, number x, "
                  "number y, number z)|",
                  "false Usage, set_body_force( integer player, integer bodypart, number x, number "
                  "y, number z )|",
                  "false invalid hand id",
                  "false Usage: set_joint_state(integer player_index, integer joint_index, integer "
                  "joint_state)|",
              }))
        << run.describe();
    EXPECT_EQ(tagged(run.log, "popen "), std::vector<std::string>{"nil open function"})
        << run.describe();
}

TEST(E2eLua, DismemberAndFractureChargeInjuryAndScore)
{
    GameSetup setup;
    setup.startup_lua = with_game("run_cmd('set turnframes 5')\n", R"lua(
  before = { get_player_info(0), get_player_info(1) }
  dismember_joint(0, JOINTS.NECK)
  fracture_joint(1, JOINTS.R_ELBOW)
  -- not carried out until the next simulated frame
  e2e_log('pending ' .. tostring(get_joint_dismember(0, 0)) .. ' ' .. tostring(get_joint_fracture(1, 6)))
  step_game()
)lua") + R"lua(
add_hook('enter_freeze', 'e2e', function()
  local a, b = get_player_info(0), get_player_info(1)
  e2e_log('broken ' .. tostring(get_joint_dismember(0, 0)) .. ' ' .. tostring(get_joint_fracture(1, 6)) ..
          ' ' .. tostring(get_joint_fracture(0, 0)) .. ' ' .. tostring(get_joint_dismember(1, 5)))
  e2e_log('injury ' .. (a.injury - before[1].injury) .. ' ' .. (b.injury - before[2].injury))
  e2e_log('score ' .. (a.score - before[1].score) .. ' ' .. (b.score - before[2].score))
  local bloods = get_active_bloods()
  e2e_log('blood ' .. tostring(bloods[0] ~= nil) .. ' ' .. get_num_blood_particles())
  -- a broken joint takes no new break and no motor state
  fracture_joint(0, 0)
  set_joint_state(0, 0, 1)
  e2e_log('again ' .. tostring(get_joint_fracture(0, 0)))
  e2e_quit()
end)
)lua";
    GameRun run = run_game("lua_breaks", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(tagged(run.log, "pending "), std::vector<std::string>{"false false"}) << run.describe();
    EXPECT_EQ(tagged(run.log, "broken "), std::vector<std::string>{"true true false false"})
        << run.describe();
    // The neck costs 15000, an elbow 5000: injury up and score down by it.
    EXPECT_EQ(tagged(run.log, "injury "), std::vector<std::string>{"15000 5000"}) << run.describe();
    EXPECT_EQ(tagged(run.log, "score "), std::vector<std::string>{"-15000 -5000"}) << run.describe();
    EXPECT_EQ(tagged(run.log, "blood "), std::vector<std::string>{"true 256"}) << run.describe();
    EXPECT_EQ(tagged(run.log, "again "), std::vector<std::string>{"false"}) << run.describe();
}

TEST(E2eLua, Draw2dFiresEveryFrameAndScriptsDrawOverTheScene)
{
    GameSetup setup;
    setup.files.push_back({"data/script/e2e_green.tga", solid_tga(16, 0, 255, 0)});
    setup.startup_lua = R"lua(
-- Before the window exists the texture is only recorded; it loads with
-- the renderer and keeps its slot.
local tex = load_texture('e2e_green.tga')
e2e_log('tex ' .. tex .. ' ' .. load_texture('e2e_green.tga'))
local drawn3d = 0
add_hook('draw3d', 'e2e', function()
  drawn3d = drawn3d + 1
  set_color(0, 0, 1, 1)
  draw_sphere(0, 0, 1, 0.2)
end)
add_hook('enter_frame', 'e2e', function()
  e2e_log('frame ' .. get_world_state().match_frame)
end)
local after = -1
add_hook('enter_freeze', 'e2e', function() after = 0 end)
add_hook('draw2d', 'e2e_draw', function()
  local w = get_world_state()
  if w.match_frame > 0 then e2e_log('draw ' .. w.match_frame) end
  set_color(1, 0, 0, 1)
  draw_quad(100, 100, 200, 150)
  draw_quad(400, 300, 100, 100, tex)
  draw_quad(0, 0, 10, 10, 200)
  if after >= 0 then
    after = after + 1
    if after == 1 then
      e2e_log('draw3d ' .. tostring(drawn3d > 0))
      e2e_log('shot ' .. screenshot('lua_shot.ppm', 1) .. ' ' .. screenshot('../x.bmp'))
      local x, y = get_joint_screen_pos(0, JOINTS.NECK)
      local sx, sy = get_screen_pos(0, 0, 0)
      e2e_log('neck ' .. math.floor(x) .. ' ' .. math.floor(y))
      e2e_log('origin ' .. tostring(math.floor(sx) == sx) .. ' ' .. sx .. ' ' .. sy)
      e2e_mark('frozen')
    end
  end
end)
)lua" + with_game("run_cmd('set turnframes 20')\n",
                                 "set_body_color(0, BODYPARTS.HEAD, 4)\n"
                                 "e2e_log('colour ' .. get_color_info(4).name)\n"
                                 "step_game()\n");
    // An 8-bit picture, as region_colour reads it.
    setup.actions.push_back({"frozen", 0, "import -window root -depth 8 shot.ppm"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("lua_draw", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(tagged(run.log, "tex "), std::vector<std::string>{"0 0"}) << run.describe();
    EXPECT_EQ(tagged(run.log, "draw3d "), std::vector<std::string>{"true"}) << run.describe();
    // A script's screenshot is written under screenshots/; a path is refused.
    EXPECT_EQ(tagged(run.log, "shot "), std::vector<std::string>{"0 -1"}) << run.describe();
    EXPECT_EQ(run.file("screenshots/lua_shot.ppm").substr(0, 2), "P6") << run.describe();
    // Projections from the 2D pass use the scene's camera: fighter 0's neck
    // lands on the picture where it is drawn (about 461, 131), the origin
    // on the floor before the fighters (about 494, 450), in whole pixels.
    std::vector<std::string> neck = tagged(run.log, "neck "), origin = tagged(run.log, "origin ");
    ASSERT_EQ(neck.size(), 1u) << run.describe();
    ASSERT_EQ(origin.size(), 1u) << run.describe();
    int nx = 0, ny = 0, whole = 0;
    double ox = 0, oy = 0;
    sscanf(neck[0].c_str(), "%d %d", &nx, &ny);
    whole = origin[0].compare(0, 5, "true ") == 0;
    sscanf(origin[0].c_str() + (whole ? 5 : 0), "%lf %lf", &ox, &oy);
    EXPECT_TRUE(whole) << origin[0];
    EXPECT_NEAR(nx, 461, 40);
    EXPECT_NEAR(ny, 131, 40);
    EXPECT_NEAR(ox, 494, 40);
    EXPECT_NEAR(oy, 450, 40);
    // Every simulated frame of the turn was drawn, with the script's layer.
    std::vector<std::string> frames = tagged(run.log, "frame ");
    std::vector<std::string> drawn = tagged(run.log, "draw ");
    ASSERT_EQ(frames.size(), 20u) << run.describe();
    for (const std::string &f : frames) {
        int n = atoi(f.c_str()) + 1;   // the frame's number once it was stepped
        EXPECT_NE(std::find(drawn.begin(), drawn.end(), std::to_string(n)), drawn.end())
            << "frame " << n << " not drawn\n" << run.describe();
    }
    double red[3], green[3];
    ASSERT_TRUE(region_colour(run, "shot.ppm", 150, 130, 100, 80, red)) << run.describe();
    EXPECT_GT(red[0], 200);
    EXPECT_LT(red[1], 60);
    EXPECT_LT(red[2], 60);
    // Fighter 0's head took the blue the script gave it.
    EXPECT_EQ(tagged(run.log, "colour "), std::vector<std::string>{"blue"}) << run.describe();
    double head[3];
    ASSERT_TRUE(region_colour(run, "shot.ppm", nx - 4, ny - 30, 8, 8, head)) << run.describe();
    EXPECT_GT(head[2], head[0] + 60) << head[0] << " " << head[1] << " " << head[2];
    ASSERT_TRUE(region_colour(run, "shot.ppm", 420, 320, 60, 60, green)) << run.describe();
    EXPECT_GT(green[1], 200) << green[0] << " " << green[1] << " " << green[2];
    EXPECT_LT(green[2], 60);
}

TEST(E2eLua, MissingModFromLoadmodIsReported)
{
    GameSetup setup;
    setup.startup_lua = R"lua(
echo('echoed by startup.lua')
add_hook('console', 'e2e', function(text, kind)
  e2e_log('console ' .. kind .. ' ' .. text)
end)
)lua" + with_game("", R"lua(
  -- before anything else was said: only the start-up script's echo
  for i = 0, get_total_chat_lines() - 1 do
    if get_chat_type(i) == MSGTYPE.INGAME then e2e_log('chat ' .. i) end
  end
  run_cmd('loadmod ../secret.zmm')
  run_cmd('loadmod nosuchmod.zmm')
  local w = get_world_state()
  e2e_log('after ' .. w.num_players .. ' ' .. get_game_rules().mod)

  e2e_quit()
)lua");
    GameRun run = run_game("lua_loadmod", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    std::vector<std::string> lines = tagged(run.log, "console ");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "4 invalid mod name"), lines.end()) << run.describe();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "4 Unable to load mod nosuchmod.zmm"), lines.end())
        << run.describe();
    EXPECT_NE(run.err.find("Unable to open mod data/mod/nosuchmod.zmm"), std::string::npos)
        << run.describe();
    // The start-up script's echo reached the console once it existed.
    EXPECT_EQ(tagged(run.log, "chat "), std::vector<std::string>{"0"}) << run.describe();
    // The game goes on with the built-in fighters.
    std::vector<std::string> after = tagged(run.log, "after ");
    ASSERT_EQ(after.size(), 1u) << run.describe();
    EXPECT_EQ(after[0].substr(0, 2), "2 ") << run.describe();
}

TEST(E2eLua, OpenUrlStartsTheBrowserWithTheUrlAsOneArgument)
{
    // A stand-in browser launcher first on the PATH records its arguments.
    std::string bin = test_tmp_path("e2e_fake_browser");
    mkdir(bin.c_str(), 0755);
    std::string launcher = bin + "/xdg-open";
    ASSERT_TRUE(write_whole_file(launcher, "#!/bin/sh\n"
                                           "printf '%s\\n' \"$#\" \"$@\" > browser.tmp\n"
                                           "mv browser.tmp browser.txt\n"));
    chmod(launcher.c_str(), 0755);
    const char *path_now = getenv("PATH");
    std::string old_path = path_now ? path_now : "/usr/bin:/bin";
    setenv("PATH", (bin + ":" + old_path).c_str(), 1);

    GameSetup setup;
    setup.startup_lua = with_game("", R"lua(
  open_url("http://x.invalid/;touch pwned")
  open_url("http://example.com/a?b=1&c=$(touch pwned)")
  open_url("http://example.com/a?b=1&c=2")
  waited = 0
)lua") + R"lua(
add_hook('draw2d', 'e2e_wait', function()
  if waited == nil then return end
  waited = waited + 1
  local f = io.open('browser.txt')
  if f then f:close(); e2e_quit() elseif waited > 3000 then e2e_quit() end
end)
)lua";
    GameRun run = run_game("lua_open_url", setup);
    setenv("PATH", old_path.c_str(), 1);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(run.file("browser.txt"), "1\nhttp://example.com/a?b=1&c=2\n") << run.describe();
    EXPECT_FALSE(run.exists("pwned"));
}

TEST(E2eLua, InputAndCameraHooksFireFromTheRunningGame)
{
    GameSetup setup;
    setup.startup_lua = R"lua(
local seen = {}
local function once(name, text)
  if not seen[name] then seen[name] = true; e2e_log(name .. ' ' .. text) end
end
add_hook('key_down', 'e2e', function(key) once('key_down', key) end)
add_hook('key_up', 'e2e', function(key) once('key_up', key) end)
add_hook('mouse_move', 'e2e', function(x, y) once('mouse_move', 'xy') end)
add_hook('mouse_button_down', 'e2e', function(b, x, y) once('mouse_button_down', b .. ' ' .. x .. ' ' .. y) end)
add_hook('mouse_button_up', 'e2e', function(b, x, y) once('mouse_button_up', b) end)
add_hook('camera', 'e2e', function() once('camera', 'frame') end)
local frames = 0
add_hook('draw2d', 'e2e', function()
  frames = frames + 1
  if frames == 10 then e2e_mark('hooks_ready') end
  if seen.key_up and seen.mouse_button_up then e2e_quit() end
end)
)lua";
    // A replay named on the command line opens the game without a menu page
    // (input goes to the menus while one is shown); it need not exist.
    setup.args = {"replay/none.rpl"};
    setup.actions.push_back({"hooks_ready", 0, "xdotool mousemove 300 250"});
    setup.actions.push_back({"", 0, "xdotool mousemove 320 260 click 1"});
    setup.actions.push_back({"", 0, "xdotool key a"});
    GameRun run = run_game("lua_input", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(tagged(run.log, "key_down "), std::vector<std::string>{"97"}) << run.describe();
    EXPECT_EQ(tagged(run.log, "key_up "), std::vector<std::string>{"97"}) << run.describe();
    EXPECT_EQ(tagged(run.log, "mouse_move "), std::vector<std::string>{"xy"}) << run.describe();
    EXPECT_EQ(tagged(run.log, "mouse_button_down "), std::vector<std::string>{"1 320 260"})
        << run.describe();
    EXPECT_EQ(tagged(run.log, "mouse_button_up "), std::vector<std::string>{"1"}) << run.describe();
    EXPECT_EQ(tagged(run.log, "camera "), std::vector<std::string>{"frame"}) << run.describe();
}

TEST(E2eLua, OpenMenuReachesTheMenuSwitch)
{
    // The start page (13) takes the keys; open_menu(1) is the game page (0),
    // where the scripts' key hook hears them.
    std::string report = test_tmp_path("e2e_open_menu_slots.txt");
    remove(report.c_str());
    setenv("ZM_SLOT_REPORT", report.c_str(), 1);
    GameSetup setup;
    setup.startup_lua = R"lua(
local frames = 0
add_hook('key_down', 'e2e', function(key) e2e_log('key ' .. key); e2e_quit() end)
add_hook('draw2d', 'e2e', function()
  frames = frames + 1
  if frames == 5 then open_menu(10); open_menu(0); open_menu(99) end
  if frames == 10 then open_menu(1); e2e_mark('game_page') end
  if frames > 3000 then e2e_quit() end
end)
)lua";
    setup.actions.push_back({"game_page", 0, "xdotool key b"});
    GameRun run = run_game("lua_open_menu", setup);
    unsetenv("ZM_SLOT_REPORT");
    if (read_whole_file(report).find("game_links.switch_menu\n") != std::string::npos)
        GTEST_SKIP() << "the menu pages are not built yet";
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(tagged(run.log, "key "), std::vector<std::string>{"98"}) << run.describe();
}

TEST(E2eLua, TheShopSceneFiresPlay)
{
    // open_menu(11) is the shop page, whose scene ends with the play hook.
    std::string report = test_tmp_path("e2e_play_slots.txt");
    remove(report.c_str());
    setenv("ZM_SLOT_REPORT", report.c_str(), 1);
    GameSetup setup;
    // The shop's script (every load runs startup.lua first, which installs
    // the hooks below again).
    setup.files.push_back({"data/script/kasushop/kasushop.lua", "e2e_log('shop script')\n"});
    setup.startup_lua = R"lua(
local frames = 0
add_hook('play', 'e2e', function()
  e2e_log('play ' .. get_world_state().turn_frame .. ' ' .. is_game_frozen())
  e2e_quit()
end)
add_hook('draw2d', 'e2e', function()
  frames = frames + 1
  if frames == 5 then open_menu(11) end
  if frames > 3000 then e2e_quit() end
end)
)lua";
    GameRun run = run_game("lua_play", setup);
    unsetenv("ZM_SLOT_REPORT");
    if (read_whole_file(report).find("game_links.switch_menu\n") != std::string::npos)
        GTEST_SKIP() << "the menu pages are not built yet";
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(tagged(run.log, "shop script"), std::vector<std::string>{""}) << run.describe();
    // The hook fires with the scene's turn of 50 frames running.
    EXPECT_EQ(tagged(run.log, "play "), std::vector<std::string>{"51 0"}) << run.describe();
}

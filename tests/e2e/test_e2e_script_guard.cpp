// Scripts that try to harm the game, in the real program: precompiled code
// on every road that loads code, a hook that never ends, a script that eats
// memory, and scripts of a development run, whose "data" is a link to a
// tree outside the runtime folder. Each time the game plays on: it keeps
// drawing, answers Esc and plays a turn.
#include <gtest/gtest.h>

#include <cstdio>
#include <ftw.h>
#include <sys/stat.h>

#include "e2e/e2e_support.h"
#include "support/test_support.h"

namespace {

// The title band of the menu pages: Esc shows or hides the main menu.
const int TITLE_X = 250, TITLE_Y = 40, TITLE_W = 300, TITLE_H = 40;

// Marks "turn_over" once a turn has run and the game waits again.
const char turn_lua[] = R"lua(
local ran = false
add_hook("enter_frame", "guard_turn", function()
  if not ran then ran = true; e2e_log("turn runs") end
end)
add_hook("enter_freeze", "guard_turn", function()
  if ran then e2e_mark_after("turn_over", 3) end
end)
)lua";

// The main menu stands over the scene at the start (no replay to show).
void no_replays(GameSetup &setup)
{
    setup.files.push_back({"replay/readme.txt", "no replays here\n"});
}

// Esc closes the main menu, space plays a turn to its end, Esc opens the
// menu again, and the window is closed.
void play_on(GameSetup &setup, const std::string &after)
{
    setup.actions.push_back(
        until_changed(after, "xdotool key Escape", TITLE_X, TITLE_Y, TITLE_W, TITLE_H));
    setup.actions.push_back({"", 0, "xdotool key space", "turn_over"});
    setup.actions.push_back(
        until_changed("", "xdotool key Escape", TITLE_X, TITLE_Y, TITLE_W, TITLE_H));
    setup.actions.push_back({"", 0, "term"});
}

void expect_played_on(const GameRun &run)
{
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(1, count_lines_with(run.log, "turn runs")) << run.describe();
}

int remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

void remove_tree(const std::string &path)
{
    nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

TEST(E2eScriptGuard, PrecompiledCodeIsRefusedOnEveryRoad)
{
    GameSetup setup;
    no_replays(setup);
    setup.startup_lua = std::string(turn_lua) + R"lua(
e2e_guard = e2e_guard or {}
local function said(label, ...)
  local r = {...}
  for i = 1, select('#', ...) do r[i] = tostring(r[i]) end
  e2e_log(label .. ' ' .. table.concat(r, '|'))
end
add_hook('draw2d', 'guard', function()
  if e2e_guard.tried or e2e_drawn_frames() < 6 then return end
  e2e_guard.tried = true
  local bin = string.dump(function() e2e_log('dumped code ran') end)
  local f = io.open('data/script/dumped.lua', 'wb')
  f:write(bin)
  f:close()
  said('loadstring', loadstring(bin))
  local pieces, i = {bin:sub(1, 1), bin:sub(2, 4), bin:sub(5)}, 0
  said('load', load(function() i = i + 1 return pieces[i] end))
  said('dofile', pcall(dofile, 'data/script/dumped.lua'))
  said('loadfile', loadfile('data/script/dumped.lua'))
  run_cmd('loadscript dumped.lua')
  e2e_log('errno ' .. get_errno())
  said('text', loadstring('return 6 * 7')())
  e2e_mark('tried')
end)
)lua";
    play_on(setup, "tried");
    GameRun run = run_game("script_guard_dumped", setup);
    expect_played_on(run);
    const std::string refused = "precompiled chunks are not loaded";
    EXPECT_EQ(tagged(run.log, "loadstring "), std::vector<std::string>{"nil|" + refused})
        << run.describe();
    EXPECT_EQ(tagged(run.log, "load "), std::vector<std::string>{"nil|" + refused}) << run.describe();
    EXPECT_EQ(tagged(run.log, "dofile "),
              std::vector<std::string>{"false|data/script/dumped.lua: " + refused})
        << run.describe();
    EXPECT_EQ(tagged(run.log, "loadfile "),
              std::vector<std::string>{"nil|data/script/dumped.lua: " + refused})
        << run.describe();
    EXPECT_EQ(tagged(run.log, "errno "), std::vector<std::string>{"1"}) << run.describe();
    EXPECT_EQ(tagged(run.log, "text "), std::vector<std::string>{"42"}) << run.describe();
    EXPECT_EQ(0, count_lines_with(run.log, "dumped code ran")) << run.describe();
    EXPECT_EQ(1, count_lines_with(run.err, "Lua script error in file dumped.lua: "
                                           "data/script/dumped.lua: " + refused))
        << run.describe();
}

TEST(E2eScriptGuard, EndlessHookAndHungryScriptAreStoppedAndTheGameAnswers)
{
    GameSetup setup;
    no_replays(setup);
    // Past the memory ceiling long before its end (some 500 MB of tables).
    setup.files.push_back({"data/script/hungry.lua", R"lua(
e2e_log('hungry starts')
e2e_log('rep ' .. tostring(select(2, pcall(string.rep, 'x', 2^30 + 2^28))))
local hoard = {}
for i = 1, 3000000 do hoard[i] = {i, i + 1, i + 2, i + 3, i + 4, i + 5} end
e2e_log('hungry ended')
)lua"});
    setup.startup_lua = std::string(turn_lua) + R"lua(
e2e_guard = e2e_guard or {}
add_hook('camera', 'endless', function()
  if e2e_guard.looped or e2e_drawn_frames() < 6 then return 0 end
  e2e_guard.looped = e2e_drawn_frames()
  e2e_log('looping')
  while true do pcall(function() while true do end end) end
end)
add_hook('draw2d', 'hungry', function()
  if not e2e_guard.looped or e2e_guard.fed then return end
  e2e_guard.fed = true
  e2e_log('drawn after the loop ' .. tostring(e2e_drawn_frames() > e2e_guard.looped))
  run_cmd('loadscript hungry.lua')
  e2e_log('after hungry errno ' .. get_errno())
  e2e_mark_after('stopped', 3)
end)
)lua";
    play_on(setup, "stopped");
    GameRun run = run_game("script_guard_endless", setup);
    expect_played_on(run);
    EXPECT_EQ(1, count_lines_with(run.log, "looping")) << run.describe();
    EXPECT_EQ(tagged(run.log, "drawn after the loop "), std::vector<std::string>{"true"})
        << run.describe();
    EXPECT_EQ(1, count_lines_with(run.err, "Lua script error: hook camera stopped: ran past its "
                                           "budget of 20000000 instructions; the hook is removed"))
        << run.describe();
    // string.rep refuses a text past the ceiling at once; the hoard is
    // stopped at the ceiling with one line.
    EXPECT_EQ(tagged(run.log, "rep "), std::vector<std::string>{"resulting string too large"})
        << run.describe();
    EXPECT_EQ(1, count_lines_with(run.log, "hungry starts")) << run.describe();
    EXPECT_EQ(0, count_lines_with(run.log, "hungry ended")) << run.describe();
    EXPECT_EQ(1, count_lines_with(run.err, "Lua script error in file hungry.lua: stopped: reached "
                                           "the memory ceiling of 256 MB"))
        << run.describe();
    EXPECT_EQ(tagged(run.log, "after hungry errno "), std::vector<std::string>{"1"})
        << run.describe();
    // The hook that ran the hungry script goes on.
    EXPECT_EQ(2, count_lines_with(run.err, "Lua script error")) << run.describe();
}

TEST(E2eScriptGuard, ScriptsUseTheDataTreeOfADevelopmentRun)
{
    // A development run's folder links "data" to the source tree. The game
    // starts from its copy; the copy is then moved outside the runtime
    // folder and "data" becomes a link to it in one step (the two names
    // exchanged), so the game never finds its data missing.
    const std::string tree = test_tmp_path("e2e_script_guard_layout_tree");
    remove_tree(tree);
    GameSetup setup;
    no_replays(setup);
    setup.files.push_back({"data/script/helper.lua", "return 6 * 7\n"});
    setup.files.push_back({"data/script/linked.lua", R"lua(
local f = io.open('data/script/startup.lua')
e2e_log('read ' .. tostring(f ~= nil))
if f then
  e2e_log('prelude there ' .. tostring(string.find(f:read('*a'), 'test prelude', 1, true) ~= nil))
  f:close()
end
local w = assert(io.open('data/script/notes.txt', 'w'))
w:write('written through the link\n')
w:close()
e2e_log('notes ' .. io.open('data/script/notes.txt'):read('*l'))
e2e_log('helper ' .. tostring(dofile('data/script/helper.lua')))
e2e_mark('linked_done')
)lua"});
    setup.startup_lua = std::string(turn_lua) + R"lua(
add_hook('draw2d', 'layout', function()
  if e2e_went then return end
  local go = io.open('go')
  if go then
    go:close()
    e2e_went = true
    run_cmd('loadscript linked.lua')
  end
end)
)lua";
    setup.actions.push_back({"", 0, "cp -r data " + tree});
    setup.actions.push_back({"", 0, "ln -s " + tree + " data_link"});
    setup.actions.push_back(
        {"", 0,
         "python3 -c l=__import__('ctypes').CDLL(None);exit(l.renameat2(-100,b'data_link',-100,b'data',2))"});
    setup.actions.push_back({"", 0, "rm -rf data_link"});
    setup.actions.push_back({"", 0, "touch go", "linked_done"});
    play_on(setup, "");
    GameRun run = run_game("script_guard_layout", setup);
    expect_played_on(run);
    struct stat st;
    ASSERT_EQ(0, lstat((run.dir + "/data").c_str(), &st)) << run.describe();
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << run.describe();
    EXPECT_EQ(tagged(run.log, "read "), std::vector<std::string>{"true"}) << run.describe();
    EXPECT_EQ(tagged(run.log, "prelude there "), std::vector<std::string>{"true"}) << run.describe();
    EXPECT_EQ(tagged(run.log, "notes "), std::vector<std::string>{"written through the link"})
        << run.describe();
    EXPECT_EQ(tagged(run.log, "helper "), std::vector<std::string>{"42"}) << run.describe();
    EXPECT_EQ("written through the link\n", read_whole_file(tree + "/script/notes.txt"))
        << run.describe();
    EXPECT_EQ(0, count_lines_with(run.err, "outside the game folder")) << run.describe();
    EXPECT_EQ(0, count_lines_with(run.err, "Lua script error")) << run.describe();
    remove_tree(tree);
}

// What keeps a script from harming the game: no precompiled code on any
// road that loads code, an instruction budget and a memory ceiling on every
// call into Lua, one rule for the files scripts may open, and whole numbers
// read from Lua without a narrowing cast first.
#include "script_fixture.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ftw.h>

#include "script/api_game.h"
#include "script/hooks.h"

namespace {

int lines_of(const std::string &text) { return (int)std::count(text.begin(), text.end(), '\n'); }

bool holds(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

int remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

// Removes a folder and everything in it, never following a link.
void remove_tree(const std::string &path)
{
    nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

class Guard : public ScriptFolder {
protected:
    // Small bounds, so that a runaway ends quickly.
    void start(long long hook_instructions = 1000000, long long run_instructions = 2000000,
               size_t memory = (size_t)32 << 20)
    {
        engine.limits.hook_instructions = hook_instructions;
        engine.limits.run_instructions = run_instructions;
        engine.limits.memory_ceiling = memory;
        ASSERT_EQ(0, create_script_engine(&engine));
    }
    void SetUp() override
    {
        ScriptFolder::SetUp();
        script("startup.lua", "");
    }
};

// ---- precompiled chunks ------------------------------------------------------------

TEST_F(Guard, PrecompiledChunksAreRefusedOnEveryRoadThatLoadsCode)
{
    start();
    ASSERT_TRUE(run("bin = string.dump(function() ran = true return 7 end)\n"
                    "local f = io.open('data/script/dumped.lua', 'wb') f:write(bin) f:close()\n"
                    "f = io.open('data/script/hashed.lua', 'wb') f:write('#!/bin/x\\n' .. bin) f:close()\n"
                    "function pieces(list) local i = 0 return function() i = i + 1 return list[i] end end\n"
                    "function tried(fn, err) return tostring(fn) .. '|' .. tostring(err) end"));
    ASSERT_EQ("\x1bLua", eval("bin:sub(1, 4)"));
    const std::string refused = "precompiled chunks are not loaded";
    struct Case {
        const char *expression;
        std::string value;
    } cases[] = {
        {"tried(loadstring(bin))", "nil|" + refused},
        {"tried(loadstring(bin, 'named'))", "nil|" + refused},
        {"tried(load(pieces({bin})))", "nil|" + refused},
        // However the reader cuts it, the chunk's first byte decides.
        {"tried(load(pieces({bin:sub(1, 1), bin:sub(2, 4), bin:sub(5)})))", "nil|" + refused},
        {"tried(load(pieces({bin:sub(1, 2), bin:sub(3)}), 'named'))", "nil|" + refused},
        {"tried(loadfile('data/script/dumped.lua'))", "nil|data/script/dumped.lua: " + refused},
        {"tried(loadfile('data/script/hashed.lua'))", "nil|data/script/hashed.lua: " + refused},
        {"tried(pcall(dofile, 'data/script/dumped.lua'))", "false|data/script/dumped.lua: " + refused},
        // Text still loads on every road.
        {"loadstring('return 5')()", "5"},
        {"load(pieces({'return ', '6'}))()", "6"},
        {"tried(loadstring('return +'))", "nil|[string \"return +\"]:1: unexpected symbol near '+'"},
        {"tried(load(pieces({1, 2})))", "nil|(load):1: unexpected symbol near '12'"},
        {"tried(load(pieces({{}})))", "nil|reader function must return a string"},
        {"ran", "nil"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.value, eval(c.expression)) << c.expression;

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(1, load_script_file(&engine, "dumped.lua"));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(1, engine.error_flag);
    EXPECT_TRUE(holds(err, "Lua script error in file dumped.lua: data/script/dumped.lua: " + refused))
        << err;
    EXPECT_EQ("nil", eval("ran"));
    script("text.lua", "ran_text = true");
    EXPECT_EQ(0, load_script_file(&engine, "text.lua"));
    EXPECT_EQ("true", eval("ran_text"));
}

// ---- the instruction budget ----------------------------------------------------------

TEST_F(Guard, EndlessHooksAreStoppedOnceAndRemoved)
{
    start();
    struct Case {
        const char *event;
        const char *body;   // the hook's body
    } cases[] = {
        {"draw2d", "while true do end"},
        // A pcall, xpcall or coroutine inside cannot keep the stop back.
        {"enter_frame", "while true do pcall(function() while true do end end) end"},
        {"draw3d", "for i = 1, 1e12 do pcall(error, i) end"},
        {"new_game", "while true do xpcall(function() while true do end end, "
                     "function() while true do end end) end"},
        {"leave_game", "while true do pcall(coroutine.wrap(function() while true do end end)) end"},
        {"key_down", "local t = {} for i = 1, 300 do t[i] = i end "
                     "while true do pcall(table.sort, t, function(a, b) while true do end end) end"},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(run(std::string("set_event_hook('") + c.event + "', function() " + c.body +
                        " end)"))
            << c.event;
        ::testing::internal::CaptureStderr();
        if (!strcmp(c.event, "draw2d"))
            fire_draw2d(&engine);
        else if (!strcmp(c.event, "enter_frame"))
            fire_enter_frame(&engine);
        else if (!strcmp(c.event, "draw3d"))
            fire_draw3d(&engine);
        else if (!strcmp(c.event, "new_game"))
            fire_new_game(&engine);
        else if (!strcmp(c.event, "leave_game"))
            fire_leave_game(&engine);
        else
            EXPECT_EQ(0, fire_key(&engine, 32, 1));
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(1, lines_of(err)) << c.event << ": " << err;
        EXPECT_EQ("Lua script error: hook " + std::string(c.event) +
                      " stopped: ran past its budget of 1000000 instructions; the hook is removed\n",
                  err);
        int event = 0;
        while (strcmp(EVENT_HOOK_NAMES[event], c.event) != 0)
            event++;
        EXPECT_EQ(-2, event_hook_refs[event]) << c.event;
    }
    EXPECT_EQ(0, lua_gettop(engine.state));

    // The state goes on, and every call gets a budget of its own: a hook of
    // 0.6 million instructions runs whole, again and again.
    ASSERT_TRUE(run("n = 0 set_event_hook('camera', function() "
                    "for i = 1, 200000 do end n = n + 1 return n end)"));
    for (int round = 1; round <= 4; round++)
        EXPECT_EQ(round, fire_camera(&engine));
    EXPECT_EQ("4", eval("n"));
}

TEST_F(Guard, EndlessScriptRunsAreStoppedAndTheNextRunsWhole)
{
    start();
    script("endless.lua", "started = true while true do pcall(function() while true do end end) end");
    script("counted.lua", "runs = (runs or 0) + 1 for i = 1, 500000 do end");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(1, load_script_file(&engine, "endless.lua"));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ("Lua script error in file endless.lua: stopped: ran past its budget of 2000000 "
              "instructions\n",
              err);
    EXPECT_EQ(1, engine.error_flag);
    EXPECT_EQ("true", eval("started"));
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(0, load_script_file(&engine, "counted.lua"));
    EXPECT_EQ("3", eval("runs"));
    EXPECT_EQ(0, engine.error_flag);
}

// A script run from inside a hook, as the console's "loadscript" does.
ScriptEngine *nesting_engine;

int load_nested(lua_State *L)
{
    lua_pushinteger(L, load_script_file(nesting_engine, luaL_checkstring(L, 1)));
    return 1;
}

TEST_F(Guard, ScriptsRunFromHooksShareTheBudgetAndOwnTheirMemoryStop)
{
    start(1000000, 10000000, (size_t)32 << 20);
    nesting_engine = &engine;
    lua_register(engine.state, "load_nested", load_nested);
    script("hungry.lua", "local hoard = {} for i = 1, 1000000 do hoard[i] = {i, i, i, i} end");
    script("long.lua", "for i = 1, 2000000 do end long_done = true");
    script("endless.lua", "while true do end");

    // Met by the hungry script, the ceiling stops that script only; the
    // hook goes on, and the script after it may run longer than a hook.
    ASSERT_TRUE(run("set_event_hook('draw2d', function() "
                    "r1 = load_nested('hungry.lua') r2 = load_nested('long.lua') after = true end)"));
    ::testing::internal::CaptureStderr();
    fire_draw2d(&engine);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ("Lua script error in file hungry.lua: stopped: reached the memory ceiling of 32 MB\n",
              err);
    EXPECT_EQ("1 0 true true", eval("r1 .. ' ' .. r2 .. ' ' .. tostring(after) .. ' ' .. tostring(long_done)"));
    EXPECT_LT(engine.limits.memory_in_use, (size_t)4 << 20);

    // Spent instructions stop the script and the hook around it.
    ASSERT_TRUE(run("set_event_hook('draw3d', function() load_nested('endless.lua') after3 = true end)"));
    ::testing::internal::CaptureStderr();
    fire_draw3d(&engine);
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ("Lua script error in file endless.lua: stopped: ran past its budget of 10000000 "
              "instructions\n"
              "Lua script error: hook draw3d stopped: ran past its budget of 10000000 instructions; "
              "the hook is removed\n",
              err);
    EXPECT_EQ("nil", eval("after3"));
    EXPECT_EQ("7", eval("3 + 4"));
    EXPECT_EQ(0, lua_gettop(engine.state));
}

// ---- the memory ceiling -------------------------------------------------------------

TEST_F(Guard, MemoryCeilingStopsTheCallAndLeavesTheStateUsable)
{
    start(200000000, 200000000, (size_t)32 << 20);
    // About 100 MB of tables, past a ceiling of 32 MB.
    script("hungry.lua", "local hoard = {} for i = 1, 1000000 do hoard[i] = {i, i, i, i} end");
    script("fits.lua", "kept = string.rep('y', 8000000) kept_length = #kept");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(1, load_script_file(&engine, "hungry.lua"));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ("Lua script error in file hungry.lua: stopped: reached the memory ceiling of 32 MB\n",
              err);
    EXPECT_LE(engine.limits.memory_in_use, engine.limits.memory_ceiling);

    // A hook that doubles a text, swallowing the failure with pcall and
    // trying again, is stopped as well, with one line.
    ASSERT_TRUE(run("set_event_hook('draw2d', function() for k = 1, 3 do pcall(function() "
                    "local s = 'x' while #s < 2^28 do s = s .. s end end) end end)"));
    ::testing::internal::CaptureStderr();
    fire_draw2d(&engine);
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ("Lua script error: hook draw2d stopped: reached the memory ceiling of 32 MB; the hook "
              "is removed\n",
              err);

    // The garbage is gone and the state serves the next calls.
    EXPECT_LT(engine.limits.memory_in_use, (size_t)4 << 20);
    EXPECT_EQ(0, load_script_file(&engine, "fits.lua"));
    EXPECT_EQ("8000000", eval("kept_length"));
    EXPECT_EQ("7", eval("3 + 4"));
    // string.rep refuses a result past the ceiling before building it, and
    // an empty text at once, whatever the count.
    EXPECT_EQ("false", eval("pcall(string.rep, 'x', 2^40)"));
    EXPECT_TRUE(holds(eval("select(2, pcall(string.rep, 'ab', 2^31))"), "resulting string too large"));
    EXPECT_EQ("0", eval("#string.rep('', 2^31 - 1)"));
    EXPECT_EQ("abab", eval("string.rep('ab', 2)"));
}

// ---- one rule for files: the loader and io -----------------------------------------

class LinkedData : public Guard {
protected:
    std::string tree;        // the data tree the game folder's "data" links to
    std::string elsewhere;   // a folder outside both

    void SetUp() override
    {
        Guard::SetUp();
        tree = root + "_tree";
        elsewhere = root + "_elsewhere";
        remove_tree(tree);
        remove_tree(elsewhere);
        ASSERT_EQ(0, mkdir(tree.c_str(), 0755));
        ASSERT_EQ(0, mkdir((tree + "/script").c_str(), 0755));
        ASSERT_EQ(0, mkdir(elsewhere.c_str(), 0755));
        ASSERT_TRUE(write_whole_file(tree + "/script/startup.lua", "-- shipped\n"));
        ASSERT_TRUE(write_whole_file(tree + "/script/helper.lua", "helped = (helped or 0) + 1 return 'help'\n"));
        ASSERT_TRUE(write_whole_file(elsewhere + "/secret.lua", "leaked = true\n"));
        // The runtime folder of a development run: "data" is a link.
        remove_tree(root + "/data");
        ASSERT_EQ(0, symlink(tree.c_str(), (root + "/data").c_str()));
        ASSERT_EQ(0, symlink((elsewhere + "/secret.lua").c_str(), (tree + "/script/evil.lua").c_str()));
        unlink((root + "/escape.lua").c_str());
        ASSERT_EQ(0, symlink((elsewhere + "/secret.lua").c_str(), (root + "/escape.lua").c_str()));
        ASSERT_EQ(0, symlink(elsewhere.c_str(), (tree + "/script/away").c_str()));
        start();
    }
};

TEST_F(LinkedData, ScriptsReadAndWriteTheLinkedDataTree)
{
    ASSERT_TRUE(run("function try(...) local r = {pcall(...)} for i = 1, #r do r[i] = tostring(r[i]) end "
                    "return table.concat(r, '|') end"));
    struct Case {
        const char *expression;
        const char *value;
    } cases[] = {
        {"io.open('data/script/startup.lua'):read('*a')", "-- shipped\n"},
        {"(function() local f = io.open('data/script/notes.txt', 'w') f:write('kept') f:close() "
         "return io.open('data/script/notes.txt'):read('*a') end)()", "kept"},
        {"try(dofile, 'data/script/helper.lua')", "true|help"},
        {"loadfile('data/script/helper.lua')()", "help"},
        {"(function() local n = 0 for l in io.lines('data/script/helper.lua') do n = n + 1 end return n end)()", "1"},
        // Links that lead out of both folders are refused, by the io
        // functions and the loaders alike.
        {"select(2, io.open('data/script/evil.lua'))",
         "data/script/evil.lua: outside the game folder"},
        {"select(2, io.open('escape.lua'))", "escape.lua: outside the game folder"},
        {"select(2, io.open('data/script/away/new.txt', 'w'))",
         "data/script/away/new.txt: outside the game folder"},
        {"try(dofile, 'data/script/evil.lua')", "false|data/script/evil.lua: outside the game folder"},
        {"select(2, loadfile('escape.lua'))", "escape.lua: outside the game folder"},
        {"leaked", "nil"},
    };
    ::testing::internal::CaptureStderr();
    for (const Case &c : cases)
        EXPECT_EQ(c.value, eval(c.expression)) << c.expression;
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ("kept", read_whole_file(tree + "/script/notes.txt"));
    EXPECT_FALSE(exists(elsewhere + "/new.txt"));

    // The loader goes by the same rule.
    EXPECT_EQ(0, load_script_file(&engine, "helper.lua"));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(1, load_script_file(&engine, "evil.lua"));
    EXPECT_EQ(1, load_script_file(&engine, "away/secret.lua"));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(holds(err, "Lua script error in file evil.lua: data/script/evil.lua: outside the game folder"))
        << err;
    EXPECT_TRUE(holds(err, "Lua script error in file away/secret.lua: data/script/away/secret.lua: "
                           "outside the game folder"))
        << err;
    EXPECT_EQ("nil", eval("leaked"));
    EXPECT_EQ("3", eval("helped"));
}

TEST_F(LinkedData, ADataLinkToTheRootOpensNothing)
{
    ASSERT_EQ(0, unlink((root + "/data").c_str()));
    ASSERT_EQ(0, symlink("/", (root + "/data").c_str()));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ("data/etc/hostname: outside the game folder",
              eval("select(2, io.open('data/etc/hostname'))"));
    EXPECT_EQ("data/etc/hostname: outside the game folder",
              eval("select(2, loadfile('data/etc/hostname'))"));
    ::testing::internal::GetCapturedStderr();
}

// ---- whole numbers from Lua ------------------------------------------------------------

int set_calls;
int set_value;
int volume_value;

class WholeNumbers : public Guard {
protected:
    ScriptShell saved_shell{};
    void SetUp() override
    {
        Guard::SetUp();
        saved_shell = script_shell;
        set_calls = 0;
        set_value = -12345;
        volume_value = -12345;
        script_shell.set_option = [](const char *, int value) {
            set_calls++;
            set_value = value;
        };
        script_shell.set_volume = [](int volume) { volume_value = volume; };
        start();
    }
    void TearDown() override
    {
        script_shell = saved_shell;
        Guard::TearDown();
    }
};

TEST_F(WholeNumbers, SetOptionLooksAtTheRangeBeforeAnyCast)
{
    struct Case {
        const char *value;
        int calls;   // 0: refused
        int set;
    } cases[] = {
        {"2^32 + 1024", 0, 0},      {"-2^32 - 1024", 0, 0},   {"2^31", 0, 0},
        {"1/0", 0, 0},              {"0/0", 0, 0},            {"1e300", 0, 0},
        {"1024", 1, 1024},          {"1024.9", 1, 1024},      {"-7.5", 1, -7},
        {"2^31 - 1", 1, INT_MAX},   {"-2^31", 1, INT_MIN},    {"'800'", 1, 800},
    };
    for (const Case &c : cases) {
        set_calls = 0;
        set_value = -12345;
        ::testing::internal::CaptureStderr();
        EXPECT_TRUE(run(std::string("set_option('width', ") + c.value + ")")) << c.value;
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(c.calls, set_calls) << c.value;
        if (c.calls)
            EXPECT_EQ(c.set, set_value) << c.value;
        else
            EXPECT_TRUE(holds(err, "set_option width: ") && holds(err, "is out of range")) << err;
    }
    EXPECT_TRUE(holds(eval("select(2, pcall(set_option, 'width', 'wide'))"), "number expected"));
}

TEST_F(WholeNumbers, IntegerArgumentsStopAtTheIntRange)
{
    struct Case {
        const char *statement;
        int volume;
    } cases[] = {
        {"set_volume(2^32 + 50)", INT_MAX},
        {"set_volume(-2^32 + 50)", INT_MIN},
        {"set_volume(64.7)", 64},
        {"set_volume(0/0)", 0},
    };
    for (const Case &c : cases) {
        volume_value = -12345;
        EXPECT_TRUE(run(c.statement)) << c.statement;
        EXPECT_EQ(c.volume, volume_value) << c.statement;
    }
    // An index a cast would bring back into range stays out of it.
    EXPECT_TRUE(holds(eval("select(2, pcall(get_blood_age, 2^32 + 3))"), "blood index out of range"));
    EXPECT_TRUE(holds(eval("select(2, pcall(get_blood_age, -2^32 + 3))"), "blood index out of range"));
    EXPECT_TRUE(holds(eval("select(2, pcall(get_color_info, 2^32))"), "color index out of range"));
}

}  // namespace

// Event hooks: installation from a script, the firing operations with their
// arguments and results, errors inside hooks, and removal.
#include "script_fixture.h"

#include <algorithm>
#include <functional>
#include <thread>

#include "core/outward.h"
#include "script/hooks.h"

namespace {

// Installs a recording hook on every event: each call appends
// "name(arg,...)" to calls, and returns answer[name].
const char *const recorder =
    "calls = {}\n"
    "answer = {}\n"
    "for _, name in ipairs({ 'new_game', 'new_mp_game', 'enter_frame', 'end_game',\n"
    "    'leave_game', 'enter_freeze', 'exit_freeze', 'key_up', 'key_down',\n"
    "    'mouse_button_up', 'mouse_button_down', 'mouse_move', 'player_select',\n"
    "    'joint_select', 'draw2d', 'draw3d', 'play', 'camera', 'console' }) do\n"
    "  set_event_hook(name, function(...)\n"
    "    calls[#calls + 1] = name .. '(' .. table.concat({...}, ',') .. ')'\n"
    "    return answer[name]\n"
    "  end)\n"
    "end\n";

class Hooks : public ScriptFolder {
protected:
    void SetUp() override
    {
        ScriptFolder::SetUp();
        script("startup.lua", "");
        script("recorder.lua", recorder);
        ASSERT_EQ(0, create_script_engine(&engine));
        ASSERT_EQ(0, load_script_file(&engine, "recorder.lua"));
    }
    std::string last_call() { return eval("calls[#calls]"); }
    int call_count() { return atoi(eval("#calls").c_str()); }
};

TEST_F(Hooks, EveryEventCallsItsHookWithItsArguments)
{
    char16 console_line[8];
    local_to_utf16(console_line, "hello", 5);
    ScriptEngine *e = &engine;
    struct Case {
        const char *call;
        std::function<int()> fire;
    } cases[] = {
        {"new_game()", [e] { fire_new_game(e); return 0; }},
        {"new_mp_game()", [e] { fire_new_mp_game(e); return 0; }},
        {"enter_frame()", [e] { fire_enter_frame(e); return 0; }},
        {"end_game(2)", [e] { fire_end_game(e, 2); return 0; }},
        {"leave_game()", [e] { fire_leave_game(e); return 0; }},
        {"enter_freeze()", [e] { fire_enter_freeze(e); return 0; }},
        {"exit_freeze()", [e] { fire_exit_freeze(e); return 0; }},
        {"key_up(97)", [e] { return fire_key(e, 97, 0); }},
        {"key_down(273)", [e] { return fire_key(e, 273, 1); }},
        {"mouse_button_up(1,10,20)", [e] { return fire_mouse_button(e, 1, 0, 10, 20); }},
        {"mouse_button_down(3,-5,600)", [e] { return fire_mouse_button(e, 3, 1, -5, 600); }},
        {"mouse_move(400,300)", [e] { return fire_mouse_move(e, 400, 300); }},
        {"player_select(1)", [e] { fire_player_select(e, 1); return 0; }},
        {"joint_select(0,19)", [e] { fire_joint_select(e, 0, 19); return 0; }},
        {"draw2d()", [e] { fire_draw2d(e); return 0; }},
        {"draw3d()", [e] { fire_draw3d(e); return 0; }},
        {"play()", [e] { fire_play(e); return 0; }},
        {"camera()", [e] { return fire_camera(e); }},
        {"console(hello,4)", [e, &console_line] { return fire_console(e, console_line, 4); }},
    };
    int n = 0;
    for (const Case &c : cases) {
        EXPECT_EQ(0, c.fire()) << c.call;
        EXPECT_EQ(++n, call_count()) << c.call;
        EXPECT_EQ(c.call, last_call());
    }
    EXPECT_EQ(0, lua_gettop(engine.state));
}

TEST_F(Hooks, ANonZeroNumberMarksTheEventHandled)
{
    // The result reads as a Lua integer: a text that reads as a number
    // counts, and a fraction is cut toward zero.
    struct Case {
        const char *answer;   // Lua value the hooks return
        bool handled;
    } cases[] = {
        {"nil", false},   {"0", false},     {"1", true},      {"-3", true},
        {"0.5", false},   {"-0.9", false},  {"1.5", true},    {"1e30", true},
        {"-1e30", true},  {"'1'", true},    {"' 0x10 '", true}, {"'0'", false},
        {"'one'", false}, {"true", false},  {"0/0", false},   {"{}", false},
    };
    char16 line[4];
    local_to_utf16(line, "hi", 2);
    for (const Case &c : cases) {
        std::string all = "for _, n in ipairs({'key_up', 'key_down', 'mouse_button_up', "
                          "'mouse_button_down', 'mouse_move', 'camera', 'console'}) do "
                          "answer[n] = " + std::string(c.answer) + " end";
        ASSERT_TRUE(run(all)) << c.answer;
        int results[] = {fire_key(&engine, 32, 0), fire_key(&engine, 32, 1),
                         fire_mouse_button(&engine, 1, 0, 0, 0),
                         fire_mouse_button(&engine, 1, 1, 0, 0), fire_mouse_move(&engine, 1, 2),
                         fire_camera(&engine), fire_console(&engine, line, 8)};
        for (int r : results)
            EXPECT_EQ(c.handled, r != 0) << c.answer;
    }
    EXPECT_EQ(0, lua_gettop(engine.state));
}

TEST_F(Hooks, AnErrorInAHookIsReportedAndTheHookStays)
{
    ASSERT_TRUE(run("set_event_hook('key_down', function(k) error('bad key ' .. k) end)\n"
                    "set_event_hook('enter_frame', function() local t = nil; return t.x end)"));
    for (int round = 1; round <= 2; round++) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(0, fire_key(&engine, 65, 1));
        fire_enter_frame(&engine);
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(2, std::count(err.begin(), err.end(), '\n')) << err;
        EXPECT_EQ(0u, err.find("Lua script error: ")) << err;
        EXPECT_NE(std::string::npos, err.find("bad key 65")) << err;
    }
    // The other hooks still work.
    fire_draw2d(&engine);
    EXPECT_EQ("draw2d()", last_call());
    EXPECT_EQ(0, lua_gettop(engine.state));
}

TEST_F(Hooks, RemovedHooksStopFiring)
{
    struct Case {
        const char *statement;
        const char *hook;   // the event that no longer fires
        std::function<void()> fire;
    } cases[] = {
        {"set_event_hook('draw2d', nil)", "draw2d", [this] { fire_draw2d(&engine); }},
        {"set_event_hook('draw3d', 42)", "draw3d", [this] { fire_draw3d(&engine); }},
        {"set_event_hook('play', 'text')", "play", [this] { fire_play(&engine); }},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(run(c.statement)) << c.statement;
        EXPECT_EQ(-2, event_hook_refs[std::find_if(EVENT_HOOK_NAMES, EVENT_HOOK_NAMES + EVENT_HOOK_COUNT,
                                                   [&](const char *n) { return std::string(n) == c.hook; }) -
                                      EVENT_HOOK_NAMES]);
        int before = call_count();
        c.fire();
        EXPECT_EQ(before, call_count()) << c.statement;
    }
    // Unknown names do nothing and raise nothing; the wrong argument count
    // raises the usage error.
    EXPECT_TRUE(run("set_event_hook('no_such_event', function() end)"));
    EXPECT_TRUE(run("set_event_hook('DRAW2D', function() end)"));
    EXPECT_EQ(-2, event_hook_refs[HOOK_DRAW2D]);
    for (const char *call : {"set_event_hook('key_up')", "set_event_hook('key_up', print, 1)",
                             "set_event_hook()"}) {
        std::string message = eval("select(2, pcall(function() " + std::string(call) + " end))");
        EXPECT_NE(std::string::npos,
                  message.find("Usage: set_event_hook(string hook_name, function callback)\n"))
            << call << ": " << message;
    }
    EXPECT_NE(-2, event_hook_refs[HOOK_KEY_UP]);
}

TEST_F(Hooks, LoadingAnotherScriptClearsAllHooksButStartups)
{
    script("startup.lua", "set_event_hook('camera', function() return 7 end)\n");
    script("other.lua", "");
    ASSERT_EQ(0, load_script_file(&engine, "other.lua"));
    for (int i = 0; i < EVENT_HOOK_COUNT; i++)
        EXPECT_EQ(i == HOOK_CAMERA, event_hook_refs[i] != -2) << EVENT_HOOK_NAMES[i];
    int before = call_count();
    EXPECT_EQ(0, fire_key(&engine, 1, 1));
    EXPECT_EQ(7, fire_camera(&engine));
    EXPECT_EQ(before, call_count());

    // "startup.lua" itself leaves the other hooks alone.
    ASSERT_EQ(0, load_script_file(&engine, "recorder.lua"));
    ASSERT_EQ(0, load_script_file(&engine, "startup.lua"));
    EXPECT_NE(-2, event_hook_refs[HOOK_KEY_DOWN]);
    clear_event_hooks(&engine);
    for (int i = 0; i < EVENT_HOOK_COUNT; i++)
        EXPECT_EQ(-2, event_hook_refs[i]);
    EXPECT_EQ(0, fire_camera(&engine));
}

TEST_F(Hooks, AHookMayReplaceItselfWhileRunning)
{
    ASSERT_TRUE(run("set_event_hook('key_down', function(k)\n"
                    "  set_event_hook('key_down', function() return 2 end)\n"
                    "  return 1\n"
                    "end)"));
    EXPECT_EQ(1, fire_key(&engine, 0, 1));
    EXPECT_EQ(2, fire_key(&engine, 0, 1));
    EXPECT_EQ(0, lua_gettop(engine.state));
}

TEST_F(Hooks, ConsoleLinesReachTheHookCutTo255Bytes)
{
    ASSERT_TRUE(run("set_event_hook('console', function(text, kind) got = #text .. ':' .. kind end)"));
    struct Case {
        int length;
        const char *got;
    } cases[] = {{0, "0:1"}, {10, "10:1"}, {255, "255:1"}, {300, "255:1"}};
    for (const Case &c : cases) {
        std::string text(c.length, 'x');
        std::vector<char16> line(c.length + 1);
        local_to_utf16(line.data(), text.c_str(), c.length);
        EXPECT_EQ(0, fire_console(&engine, line.data(), 1));
        EXPECT_EQ(c.got, eval("got")) << c.length;
    }
}

TEST_F(Hooks, HooksNeverRunOffTheOwningThread)
{
    ASSERT_TRUE(run("answer.key_down = 1"));
    int before = call_count();
    int result = -1;
    std::thread other([&] { result = fire_key(&engine, 5, 1); });
    other.join();
    EXPECT_EQ(0, result);
    EXPECT_EQ(before, call_count());
    EXPECT_EQ(1, fire_key(&engine, 5, 1));
}

TEST_F(Hooks, RemoveHooksCallsTheScriptsFunction)
{
    // Without a script-defined remove_hooks the call fails and is reported.
    ::testing::internal::CaptureStderr();
    remove_hooks(&engine, "any");
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(0u, err.find("Lua script error: ")) << err;
    EXPECT_EQ(0, lua_gettop(engine.state));

    // The shipped start script multiplexes named sets over one hook.
    script("startup.lua",
           read_whole_file(std::string(source_dir()) + "/data/script/startup.lua"));
    script("sets.lua", "seen = ''\n"
                       "add_hook('key_down', 'a', function(k) seen = seen .. 'a' .. k end)\n"
                       "add_hook('key_down', 'b', function(k) seen = seen .. 'b' .. k; return 1 end)\n");
    ASSERT_EQ(0, load_script_file(&engine, "sets.lua"));
    EXPECT_EQ(1, fire_key(&engine, 9, 1));
    std::string seen = eval("seen");
    EXPECT_TRUE(seen == "a9b9" || seen == "b9a9") << seen;
    remove_hooks(&engine, "b");
    ASSERT_TRUE(run("seen = ''"));
    EXPECT_EQ(0, fire_key(&engine, 9, 1));
    EXPECT_EQ("a9", eval("seen"));
}

}  // namespace

namespace {
ScriptEngine *echo_engine;
}

TEST_F(Hooks, AConsoleHookDoesNotHearItsOwnLines)
{
    // The hook's console command offers a line to the console again.
    CoreOutward saved = core_outward;
    core_outward.run_console_command = [](const char *, int) {
        const char16 line[] = {'x', 0};
        fire_console(echo_engine, line, 4);
    };
    echo_engine = &engine;
    ASSERT_TRUE(run("heard = 0\n"
                    "set_event_hook('console', function(text, kind)\n"
                    "  heard = heard + 1\n"
                    "  run_cmd('echo ' .. text)\n"
                    "end)"));
    const char16 line[] = {'h', 'i', 0};
    EXPECT_EQ(0, fire_console(&engine, line, 4));
    core_outward = saved;
    EXPECT_EQ("1", eval("heard"));
}

TEST_F(Hooks, AnnouncementsReachTheScriptsCallbackWhenOneExists)
{
    ::testing::internal::CaptureStderr();
    call_announce_callback(&engine, 3, "no callback yet");   // nothing, no error
    EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
    ASSERT_TRUE(run("function announce_callback(n, text) announced = n .. ':' .. text end"));
    call_announce_callback(&engine, 7, "tournament");
    EXPECT_EQ("7:tournament", eval("announced"));
}

namespace {
ScriptEngine *nested_engine;
}

TEST_F(Hooks, AnEventFiredFromItsOwnHookPassesWithoutIt)
{
    // A new_game hook that starts a new game (which fires new_game again).
    CoreOutward saved = core_outward;
    core_outward.run_console_command = [](const char *, int) { fire_new_game(nested_engine); };
    nested_engine = &engine;
    ASSERT_TRUE(run("starts = 0\n"
                    "set_event_hook('new_game', function()\n"
                    "  starts = starts + 1\n"
                    "  run_cmd('restart')\n"
                    "end)"));
    fire_new_game(&engine);
    EXPECT_EQ("1", eval("starts"));
    fire_new_game(&engine);   // and the hook still runs the next time
    core_outward = saved;
    EXPECT_EQ("2", eval("starts"));
}

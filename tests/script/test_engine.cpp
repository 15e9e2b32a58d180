// The script engine: the globals a fresh state holds, the loader's request
// handling, and failures that leave the program and the state running.
#include "script_fixture.h"

#include <algorithm>
#include <cstring>

#include "core/outward.h"
#include "script/hooks.h"

namespace {

const char *const trace_startup = "trace = (trace or '') .. 'S[' .. ARG1 .. ']'\n";

TEST_F(ScriptFolder, FreshStateHoldsTheLibrariesAndGlobalTables)
{
    script("startup.lua", "");
    ASSERT_EQ(0, create_script_engine(&engine));
    ASSERT_NE(nullptr, engine.state);
    EXPECT_EQ(0, engine.error_flag);

    struct Case {
        const char *expression;
        const char *value;
    } cases[] = {
        {"ZYLOMACH_VERSION", "3.24"},
        {"JOINTS.NECK", "0"},
        {"JOINTS.R_SHOULDER", "5"},
        {"JOINTS.L_ANKLE", "19"},
        {"JOINT_STATE.FORWARD", "1"},
        {"JOINT_STATE.RELAX", "4"},
        {"BODYPARTS.HEAD", "0"},
        {"BODYPARTS.L_LEG", "17"},
        {"BODYPARTS.R_LEG", "18"},
        {"BODYPARTS.L_FOOT", "20"},
        {"FONTS.BIG .. FONTS.SMALL .. FONTS.MEDIUM", "012"},
        {"MSGTYPE.NONE .. MSGTYPE.SERVER .. MSGTYPE.URL", "012"},
        {"MSGTYPE.INGAME .. MSGTYPE.USER .. MSGTYPE.PLAYER", "4816"},
        {"ARG1", ""},
        {"type(os)", "nil"},
        {"type(debug)", "nil"},
        {"type(package)", "nil"},
        {"type(require)", "nil"},
        {"type(io.open)", "function"},
        {"type(string.format)", "function"},
        {"type(table.concat)", "function"},
        {"type(math.floor)", "function"},
        {"type(coroutine.wrap)", "function"},
        {"type(set_event_hook)", "function"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.value, eval(c.expression)) << c.expression;

    // The name tables hold exactly the built-in rows.
    EXPECT_EQ("20", eval("(function() local n = 0 for _ in pairs(JOINTS) do n = n + 1 end return n end)()"));
    EXPECT_EQ("21", eval("(function() local n = 0 for _ in pairs(BODYPARTS) do n = n + 1 end return n end)()"));
    for (int i = 0; i < EVENT_HOOK_COUNT; i++)
        EXPECT_EQ(-2, event_hook_refs[i]);
}

TEST_F(ScriptFolder, RequestsNameTheFileAndTheArgument)
{
    const std::string long_name = std::string(60, 'n') + ".lua";   // 64 bytes
    script("startup.lua", trace_startup);
    script("foo.lua", "trace = trace .. 'F[' .. ARG1 .. ']'\n");
    script("sub/deep.lua", "trace = trace .. 'D[' .. ARG1 .. ']'\n");
    script(long_name, "trace = trace .. 'L[' .. ARG1 .. ']'\n");
    ASSERT_EQ(0, create_script_engine(&engine));
    EXPECT_EQ("S[]", eval("trace"));

    struct Case {
        std::string request;
        const char *trace;
    } cases[] = {
        {"startup.lua", "S[]"},
        {"startup.lua x", "S[x]"},
        {"foo.lua bar", "S[]F[bar]"},
        {"  foo.lua\tbar  baz", "S[]F[bar]"},
        {"foo.lua", "S[]F[]"},
        {"sub/deep.lua 7", "S[]D[7]"},
        // The first word cut to 64 bytes; the rest of that word is read as
        // the argument (the "%64s %32s" split).
        {long_name + "EXTRA arg", "S[]L[EXTRA]"},
        // The argument cut to 32 bytes.
        {"foo.lua " + std::string(40, 'a'), nullptr},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(run("trace = ''"));
        EXPECT_EQ(0, load_script_file(&engine, c.request.c_str())) << c.request;
        EXPECT_EQ(0, engine.error_flag);
        std::string expected = c.trace ? c.trace : "S[]F[" + std::string(32, 'a') + "]";
        EXPECT_EQ(expected, eval("trace")) << c.request;
    }
}

TEST_F(ScriptFolder, FailedLoadsAreReportedAndTheStateGoesOn)
{
    script("startup.lua", trace_startup);
    script("good.lua", "trace = trace .. 'G'\n");
    script("syntax.lua", "this is not lua\n");
    script("boom.lua", "trace = trace .. 'B'\nerror('boom')\n");
    script("table_error.lua", "error({})\n");
    ASSERT_TRUE(write_whole_file(root + "/data/outside.lua", "trace = trace .. 'OUT'\n"));
    ASSERT_TRUE(write_whole_file(root + "/outside.lua", "trace = trace .. 'OUT'\n"));
    ASSERT_EQ(0, create_script_engine(&engine));

    struct Case {
        const char *request;
        const char *message;   // part of the one stderr line
        const char *trace;     // what ran before the failure
    } cases[] = {
        {"missing.lua", "Lua script error in file missing.lua: ", "S[]"},
        {"syntax.lua", "Lua script error in file syntax.lua: ", "S[]"},
        {"boom.lua", "boom", "S[]B"},
        {"table_error.lua", "(error object is not a string)", "S[]"},
        {"../outside.lua", "Lua script error in file ../outside.lua: unsafe script path", "S[]"},
        {"sub/../../../outside.lua", "unsafe script path", "S[]"},
        {"/etc/passwd", "unsafe script path", "S[]"},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(run("trace = ''"));
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(1, load_script_file(&engine, c.request)) << c.request;
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(std::string::npos, err.find(c.message)) << c.request << ": " << err;
        EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
        EXPECT_EQ(1, engine.error_flag);
        EXPECT_EQ(c.trace, eval("trace")) << c.request;

        // The next good load clears the flag.
        EXPECT_EQ(0, load_script_file(&engine, "good.lua"));
        EXPECT_EQ(0, engine.error_flag);
        EXPECT_EQ(0, lua_gettop(engine.state));
    }
}

TEST_F(ScriptFolder, BrokenOrMissingStartupDoesNotStopOtherScripts)
{
    script("foo.lua", "ran = ARG1\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(1, create_script_engine(&engine));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("Lua script error in file startup.lua: ")) << err;
    ASSERT_NE(nullptr, engine.state);
    EXPECT_EQ(1, engine.error_flag);

    script("startup.lua", "error('startup broke')\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(0, load_script_file(&engine, "foo.lua yes"));
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("startup broke")) << err;
    EXPECT_EQ(0, engine.error_flag);
    EXPECT_EQ("yes", eval("ran"));
}

TEST_F(ScriptFolder, ShippedStartupScriptLoads)
{
    std::string shipped = read_whole_file(std::string(source_dir()) + "/data/script/startup.lua");
    ASSERT_FALSE(shipped.empty());
    script("startup.lua", shipped);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(0, create_script_engine(&engine));
    EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
    EXPECT_EQ("function", eval("type(remove_hooks)"));
    for (int i = 0; i < EVENT_HOOK_COUNT; i++)
        EXPECT_EQ(-2, event_hook_refs[i]);
}

TEST_F(ScriptFolder, WithoutAStateNothingRuns)
{
    EXPECT_EQ(nullptr, engine.state);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(1, load_script_file(&engine, "foo.lua"));
    EXPECT_NE(std::string::npos, ::testing::internal::GetCapturedStderr().find("foo.lua"));
    EXPECT_EQ(1, engine.error_flag);
    destroy_script_engine(&engine);   // twice is harmless
    EXPECT_EQ(1, load_script_file(nullptr, "foo.lua"));
}

}  // namespace

namespace {
ScriptEngine *loading_engine;
}

TEST_F(ScriptFolder, ScriptsLoadingScriptsStopAtAFixedDepth)
{
    // Each script loads the other through the console, as "loadscript" does.
    CoreOutward saved = core_outward;
    core_outward.run_console_command = [](const char *text, int) {
        load_script_file(loading_engine, text);
    };
    script("startup.lua", "");
    script("a.lua", "runs = (runs or 0) + 1\nrun_cmd('b.lua')\n");
    script("b.lua", "runs = (runs or 0) + 1\nrun_cmd('a.lua')\n");
    ASSERT_EQ(0, create_script_engine(&engine));
    loading_engine = &engine;
    ::testing::internal::CaptureStderr();
    load_script_file(&engine, "a.lua");
    std::string err = ::testing::internal::GetCapturedStderr();
    core_outward = saved;
    EXPECT_EQ("3", eval("runs"));
    EXPECT_NE(err.find("nested too deep"), std::string::npos) << err;
    // The engine goes on: a plain load works afterwards.
    script("plain.lua", "plain = 1\n");
    EXPECT_EQ(0, load_script_file(&engine, "plain.lua"));
    EXPECT_EQ("1", eval("plain"));
}

// A scratch folder with its own "data/script/" as the working folder, and a
// script engine living in it for the length of one test.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include "script/engine.h"
#include "support/test_support.h"

class ScriptFolder : public ::testing::Test {
protected:
    std::string root;
    std::string old_cwd;
    ScriptEngine engine{};

    // A folder of its own per test, so that scripts never leak between tests.
    void SetUp() override
    {
        const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
        root = test_tmp_path((std::string("lua_") + info->test_suite_name() + "_" + info->name()).c_str());
        mkdir(root.c_str(), 0755);
        mkdir((root + "/data").c_str(), 0755);
        mkdir((root + "/data/script").c_str(), 0755);
        char cwd[4096];
        old_cwd = getcwd(cwd, sizeof cwd) ? cwd : ".";
        ASSERT_EQ(0, chdir(root.c_str()));
    }

    void TearDown() override
    {
        destroy_script_engine(&engine);
        ASSERT_EQ(0, chdir(old_cwd.c_str()));
    }

    // Writes a script under data/script/ (subfolders made as needed).
    void script(const std::string &name, const std::string &text)
    {
        std::string path = root + "/data/script/" + name;
        for (size_t slash = path.find('/', root.size() + 13); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            mkdir(path.substr(0, slash).c_str(), 0755);
        ASSERT_TRUE(write_whole_file(path, text)) << path;
    }

    // The value of a Lua expression as text ("<error: ...>" when it fails).
    std::string eval(const std::string &expression)
    {
        lua_State *L = engine.state;
        int top = lua_gettop(L);
        std::string chunk = "return tostring(" + expression + ")";
        std::string out;
        if (luaL_loadstring(L, chunk.c_str()) != 0 || lua_pcall(L, 0, 1, 0) != 0)
            out = std::string("<error: ") + lua_tostring(L, -1) + ">";
        else
            out = lua_tostring(L, -1);
        lua_settop(L, top);
        return out;
    }

    // Runs Lua statements in the engine's state; true when they ran.
    bool run(const std::string &statements)
    {
        lua_State *L = engine.state;
        int top = lua_gettop(L);
        bool ok = luaL_loadstring(L, statements.c_str()) == 0 && lua_pcall(L, 0, 0, 0) == 0;
        lua_settop(L, top);
        return ok;
    }
};

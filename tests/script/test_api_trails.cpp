// The Lua trail functions: argument checks and what they hand the shell.
#include "script/api_trails.h"

#include <gtest/gtest.h>

#include <string>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include "core/records.h"

namespace {

int last_player = -1, last_colour = -1, last_emitter = -1;
float last_a[3], last_b[3];

class TrailApi : public ::testing::Test {
protected:
    lua_State *L = nullptr;
    void SetUp() override
    {
        L = luaL_newstate();
        luaL_openlibs(L);
        register_trail_api(L);
        match_state.num_players = 2;
        last_player = last_colour = last_emitter = -1;
        trail_shell.set_trail_color = [](int p, int c) {
            last_player = p;
            last_colour = c;
        };
        trail_shell.add_trail_point = [](int p, int e, const float a[3], const float b[3]) {
            last_player = p;
            last_emitter = e;
            for (int k = 0; k < 3; k++) {
                last_a[k] = a[k];
                last_b[k] = b[k];
            }
        };
    }
    void TearDown() override
    {
        lua_close(L);
        trail_shell = TrailShell{};
    }
    // "" when the chunk ran, else its error text.
    std::string run(const char *chunk)
    {
        if (luaL_dostring(L, chunk) == 0)
            return "";
        std::string e = lua_tostring(L, -1);
        lua_pop(L, 1);
        return e;
    }
};

bool has(const std::string &text, const char *part) { return text.find(part) != std::string::npos; }

} // namespace

TEST_F(TrailApi, SetTrailColorChecksItsArguments)
{
    EXPECT_EQ(run("set_trail_color(1, 22)"), "");
    EXPECT_EQ(last_player, 1);
    EXPECT_EQ(last_colour, 22);
    EXPECT_EQ(run("set_trail_color(0, 0)"), "");
    EXPECT_EQ(last_colour, 0);
    EXPECT_TRUE(has(run("set_trail_color(1)"),
                    "Usage: set_trail_color(integer player, integer color)"));
    EXPECT_TRUE(has(run("set_trail_color(2, 1)"), "player index out of range"));
    EXPECT_TRUE(has(run("set_trail_color(-1, 1)"), "player index out of range"));
    EXPECT_TRUE(has(run("set_trail_color(0, 68)"), "color index out of range"));
}

TEST_F(TrailApi, AddTrailParticleChecksItsArguments)
{
    EXPECT_EQ(run("add_trail_particle(0, 3, 1, 2, 3, 4, 5, 6)"), "");
    EXPECT_EQ(last_emitter, 3);
    EXPECT_FLOAT_EQ(last_a[2], 3);
    EXPECT_FLOAT_EQ(last_b[0], 4);
    EXPECT_TRUE(has(run("add_trail_particle(0, 3, 1, 2, 3, 4, 5)"),
                    "Usage: add_trail_particle(integer player, integer emitter_id, number pt1_x"));
    EXPECT_TRUE(has(run("add_trail_particle(0, 4, 1, 2, 3, 4, 5, 6)"), "Emitter index out of range"));
    EXPECT_TRUE(has(run("add_trail_particle(5, 0, 1, 2, 3, 4, 5, 6)"), "player index out of range"));
    EXPECT_TRUE(has(run("add_trail_particle(0, 0, 0/0, 2, 3, 4, 5, 6)"), "out of range"));
}

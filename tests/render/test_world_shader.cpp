// World shader settings: ids, lines, files, presets and the blend.
#include "render/world_shader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "support/kill_write.h"
#include "support/test_support.h"

namespace {

// The stderr text one call writes.
template <typename F> std::string stderr_of(F fn)
{
    std::string path = test_tmp_path("ws_stderr.txt");
    fflush(stderr);
    int saved = dup(fileno(stderr));
    FILE *f = freopen(path.c_str(), "w", stderr);
    (void)f;
    fn();
    fflush(stderr);
    dup2(saved, fileno(stderr));
    close(saved);
    return read_whole_file(path);
}

class WorldShader : public ::testing::Test {
protected:
    void SetUp() override
    {
        world_shader_palette_rgb = nullptr;
        world_shader_transition.running = 0;
        world_shader_preset_counter = 0;
        load_worldshader_preset_index(5);
    }
};

bool same_scene_values(const WorldShaderValues &a, const WorldShaderValues &b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

TEST_F(WorldShader, TableHas33RowsInIdOrderAndNamesResolve)
{
    int n = 0;
    for (; world_shader_settings[n].name; n++)
        EXPECT_EQ(world_shader_settings[n].id, n);
    EXPECT_EQ(n, WORLD_SHADER_SETTINGS);
    EXPECT_EQ(world_shader_id("fog_distance"), 5);
    EXPECT_EQ(world_shader_id("msg_urlsel"), 32);
    EXPECT_EQ(world_shader_id("nope"), -1);
    EXPECT_EQ(world_shader_settings[14].type, WS_TYPE_COLOUR);
    EXPECT_EQ(world_shader_settings[9].type, WS_TYPE_DIRECTION);
}

TEST_F(WorldShader, SetAndGetById)
{
    EXPECT_EQ(set_background(9, 0, 3, 4), 0);
    float v[4];
    ASSERT_EQ(get_shader(9, v), 0);
    EXPECT_FLOAT_EQ(v[0], 0.0f);
    EXPECT_FLOAT_EQ(v[1], 0.6f);
    EXPECT_FLOAT_EQ(v[2], 0.8f);
    EXPECT_FLOAT_EQ(v[3], 1.0f);
    // A zero direction stays zero.
    set_background(14, 0, 0, 0);
    get_shader(14, v);
    EXPECT_EQ(v[0] + v[1] + v[2], 0.0f);
    // Colours take alpha 1; flags become 0 or 1.
    set_background(0, 0.1f, 0.2f, 0.3f);
    get_shader(0, v);
    EXPECT_FLOAT_EQ(v[3], 1.0f);
    set_background(6, 5, 0, 0);
    EXPECT_EQ(world_shader.sharp_shadow, 1);
    get_shader(6, v);
    EXPECT_EQ(v[0], 1.0f);
    // Interface colours are kept as palette rows.
    set_background(16, 0.25f, 0.5f, 0.75f);
    get_shader(16, v);
    EXPECT_FLOAT_EQ(v[1], 0.5f);

    std::string err = stderr_of([] {
        float out[4];
        EXPECT_EQ(get_shader(33, out), 1);
    });
    EXPECT_EQ(err, "get_shader : no such id 33\n");
    err = stderr_of([] { EXPECT_EQ(set_background(40, 1, 1, 1), 1); });
    EXPECT_EQ(err, "set_background : no such id 40\n");
    // Not-a-number never reaches the settings.
    float fog = world_shader.fog_distance;
    stderr_of([] { EXPECT_EQ(set_background(5, NAN, 0, 0), 1); });
    EXPECT_EQ(world_shader.fog_distance, fog);
}

TEST_F(WorldShader, LinesSetOneValueAndFilesSkipComments)
{
    WorldShaderValues before = world_shader;
    parse_worldshader_line("fog_distance 70");
    EXPECT_EQ(world_shader.fog_distance, 70.0f);
    world_shader.fog_distance = before.fog_distance;
    EXPECT_TRUE(same_scene_values(before, world_shader));
    // Unknown names do nothing; an over-long name is cut at 32 bytes and unknown.
    EXPECT_EQ(parse_worldshader_line("no_such_setting 1 2 3"), 1);
    std::string longname(300, 'x');
    EXPECT_EQ(parse_worldshader_line((longname + " 1 2 3").c_str()), 1);
    EXPECT_TRUE(same_scene_values(before, world_shader));

    std::string path = test_tmp_path("fog.inc");
    write_whole_file(path, "# fog_distance 99\nfog_distance 70\n" + std::string(400, 'y') +
                               "\nsky_on 1\n");
    ASSERT_EQ(read_worldshader_file(path.c_str()), 0);
    EXPECT_EQ(world_shader.fog_distance, 70.0f);
    EXPECT_EQ(world_shader.sky_on, 1);

    std::string err = stderr_of([] { EXPECT_EQ(read_worldshader_file("/nonexistent/x.inc"), 1); });
    EXPECT_EQ(err, "Unable to open /nonexistent/x.inc");
}

TEST_F(WorldShader, ExportWritesEveryLineAndLoadReadsItBack)
{
    set_background(5, 12.345f, 0, 0);
    set_background(9, 1, 1, 0);
    set_background(18, 0.111f, 0.5f, 0.9f);
    std::string path = test_tmp_path("round.inc");
    ASSERT_EQ(write_worldshader_file(path.c_str()), 0);
    std::string text = read_whole_file(path);
    EXPECT_NE(text.find("background_color 0.85 0.85 0.80\n"), std::string::npos) << text;
    EXPECT_NE(text.find("fog_distance 12.35\n"), std::string::npos) << text;
    EXPECT_NE(text.find("sharp_shadow 0\n"), std::string::npos);
    EXPECT_NE(text.find("sun_light_dir 0.71 0.71 0.00\n"), std::string::npos);
    EXPECT_NE(text.find("msg_urlsel 1.00 0.00 1.00\n"), std::string::npos);
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    EXPECT_EQ(lines, 33);

    float saved[WORLD_SHADER_SETTINGS][4];
    for (unsigned id = 0; id < WORLD_SHADER_SETTINGS; id++)
        get_shader(id, saved[id]);
    load_worldshader_preset_index(3);
    ASSERT_EQ(read_worldshader_file(path.c_str()), 0);
    for (unsigned id = 0; id < WORLD_SHADER_SETTINGS; id++) {
        float v[4];
        get_shader(id, v);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(v[k], saved[id][k], 0.0051f) << id;
    }
    std::string err = stderr_of([] { EXPECT_EQ(write_worldshader_file("/nonexistent/x.inc"), 1); });
    EXPECT_EQ(err.rfind("Unable to open /nonexistent/x.inc ", 0), 0u) << err;
}

TEST_F(WorldShader, KillDuringExportLeavesAWholeFile)
{
    std::string path = test_tmp_path("kill_export.inc");
    load_worldshader_preset_index(0);
    ASSERT_EQ(write_worldshader_file(path.c_str()), 0);
    std::string old_content = read_whole_file(path);
    load_worldshader_preset_index(3);
    ASSERT_EQ(write_worldshader_file(path.c_str()), 0);
    std::string new_content = read_whole_file(path);
    ASSERT_NE(old_content, new_content);
    expect_whole_after_kills(path, old_content, new_content,
                             [&] { write_worldshader_file(path.c_str()); });
    remove_stale_temporaries(path);
}

TEST_F(WorldShader, FileNamesArePlain)
{
    char out[64];
    EXPECT_EQ(worldshader_file_path("night.inc", out, sizeof out), 0);
    EXPECT_STREQ(out, "data/shader/night.inc");
    for (const char *bad : {"", "../x.inc", "a/b.inc", ".hidden", "a\\b", "x\ny", "..", "c:x"})
        EXPECT_EQ(worldshader_file_path(bad, out, sizeof out), 1) << bad;
    EXPECT_EQ(worldshader_file_path(nullptr, out, sizeof out), 1);
    char small[10];
    EXPECT_EQ(worldshader_file_path("night.inc", small, sizeof small), 1);
}

TEST_F(WorldShader, PresetsTakeDefaultsForAbsentGroupsAndNormaliseDirections)
{
    load_worldshader_preset_index(0);
    // Preset 0 has no sky colour: the default record's.
    EXPECT_FLOAT_EQ(world_shader.sky_color[0], 0.6f);
    EXPECT_FLOAT_EQ(world_shader.floor_color[2], 0.85f);
    EXPECT_NEAR(world_shader.ambient_light_dir[1], 0.70711f, 1e-5f);
    EXPECT_NEAR(world_shader.ambient_light_dir[2], 0.70711f, 1e-5f);
    EXPECT_EQ(world_shader.sharp_shadow, 0);
    EXPECT_EQ(world_shader.sky_on, 0);
    load_worldshader_preset_index(3);
    EXPECT_EQ(world_shader.fog_distance, 70.0f);
    float len = std::sqrt(world_shader.sun_light_dir[0] * world_shader.sun_light_dir[0] +
                          world_shader.sun_light_dir[1] * world_shader.sun_light_dir[1] +
                          world_shader.sun_light_dir[2] * world_shader.sun_light_dir[2]);
    EXPECT_NEAR(len, 1.0f, 1e-6f);
    load_worldshader_preset_index(1);
    EXPECT_FLOAT_EQ(world_shader.polar_light_color[1], -0.8f);
    EXPECT_FLOAT_EQ(world_shader.sky_blend_power, 2.2f);
    EXPECT_EQ(load_worldshader_preset_index(6), 1);
    // The counter picks the preset and a load does not move it.
    world_shader_preset_counter = 8;
    load_worldshader_preset();
    EXPECT_EQ(world_shader_preset_counter, 8);
    WorldShaderValues two;
    worldshader_values_of_preset(2, &two);
    EXPECT_TRUE(same_scene_values(two, world_shader));
}

TEST_F(WorldShader, TheBlendEndsExactlyWhereAPresetLoadWould)
{
    for (int from = 0; from < WORLD_SHADER_PRESETS; from++) {
        load_worldshader_preset_index(from);
        world_shader.sharp_shadow = 1;
        world_shader_preset_counter = from + 3;
        int target = (from + 3) % WORLD_SHADER_PRESETS;
        start_worldshader_transition();
        EXPECT_EQ(world_shader_preset_counter, from + 4);
        start_worldshader_transition();   // ignored while running
        EXPECT_EQ(world_shader_preset_counter, from + 4);
        EXPECT_EQ(world_shader_transition.target, target);
        for (int step = 0; step < 60; step++)
            step_worldshader_transition();
        EXPECT_EQ(world_shader_transition.running, 1);
        EXPECT_EQ(world_shader.sharp_shadow, 1);   // the flags change on the 61st step
        step_worldshader_transition();
        EXPECT_EQ(world_shader_transition.running, 0);
        WorldShaderValues want;
        worldshader_values_of_preset(target, &want);
        EXPECT_TRUE(same_scene_values(want, world_shader)) << from << " -> " << target;
        step_worldshader_transition();   // nothing while stopped
        EXPECT_TRUE(same_scene_values(want, world_shader));
    }
}

TEST_F(WorldShader, TheBlendMovesHalfWayInThirtySteps)
{
    load_worldshader_preset_index(5);
    float start = world_shader.fog_distance;
    world_shader_preset_counter = 3;   // fog 70
    start_worldshader_transition();
    for (int step = 0; step < 30; step++)
        step_worldshader_transition();
    EXPECT_NEAR(world_shader.fog_distance, start + (70.0f - start) / 2, 1e-3f);
}

TEST_F(WorldShader, LuaPrintOutIsRunnableCommands)
{
    std::string path = test_tmp_path("lua_out.txt");
    fflush(stdout);
    int saved = dup(fileno(stdout));
    FILE *f = freopen(path.c_str(), "w", stdout);
    (void)f;
    print_worldshader_lua();
    fflush(stdout);
    dup2(saved, fileno(stdout));
    close(saved);
    std::string text = read_whole_file(path);
    EXPECT_NE(text.find("-- background_color 1.0 1.0 1.0 \nrun_cmd(\"worldshader 0 0.85 0.85 0.80\")\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("-- sky_on 1\nrun_cmd(\"worldshader 7 0\")\n"), std::string::npos);
    EXPECT_NE(text.find("-- fog_distance 1.0\nrun_cmd(\"worldshader 5 46.00\")\n"),
              std::string::npos);
}

TEST_F(WorldShader, ShippedPresetFilesMatchTheBuiltInPresets)
{
    for (int n = 0; n < WORLD_SHADER_PRESETS; n++) {
        char rel[1024];
        snprintf(rel, sizeof rel, "%s/data/shader/preset%i.inc", source_dir(), n);
        load_worldshader_preset_index((n + 1) % WORLD_SHADER_PRESETS);
        ASSERT_EQ(read_worldshader_file(rel), 0) << rel;
        WorldShaderValues want;
        worldshader_values_of_preset(n, &want);
        const float *a = &want.background_color[0];
        const float *b = &world_shader.background_color[0];
        for (size_t k = 0; k < sizeof want / sizeof(float); k++)
            EXPECT_NEAR(a[k], b[k], 0.0051f) << rel << " value " << k;
    }
}

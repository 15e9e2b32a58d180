// The GLSL program table, render targets, vertex buffers and the sky against
// a real (software) GL context.
#include "render/glsl_programs.h"
#include "render/glsl_sources.h"
#include "render/render_util.h"
#include "render/sky.h"
#include "render/trails.h"
#include "core/records.h"
#include "render/world_shader.h"

#include <SDL/SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/screenshot.h"
#include "render/scene.h"
#include "support/test_support.h"

namespace {

// The window is opened by the environment of test_render_gl.cpp.
// The options the probe lowers, as the option table would hold them.
struct Options {
    int32_t shaders = 1, softshadow = 1, fluid = 1, bumpmapping = 0, ambientocclusion = 1,
            motionblur = 1, reflection = 1;
    void bind()
    {
        render_option_refs = RenderOptionRefs{};
        render_option_refs.shaders = &shaders;
        render_option_refs.softshadow = &softshadow;
        render_option_refs.fluid = &fluid;
        render_option_refs.bumpmapping = &bumpmapping;
        render_option_refs.ambientocclusion = &ambientocclusion;
        render_option_refs.motionblur = &motionblur;
        render_option_refs.reflection = &reflection;
    }
};

std::string capture_stderr(void (*fn)())
{
    std::string path = test_tmp_path("stderr.txt");
    fflush(stderr);
    FILE *saved = fdopen(dup(fileno(stderr)), "w");
    FILE *f = freopen(path.c_str(), "w", stderr);
    (void)f;
    fn();
    fflush(stderr);
    dup2(fileno(saved), fileno(stderr));
    fclose(saved);
    return read_whole_file(path);
}

} // namespace

TEST(GlslProgramsGl, EveryProgramCompilesAndLinksAndTheProbeReportsFullSupport)
{
    static Options o;
    o = Options{};
    o.bind();
    ASSERT_EQ(has_gl_extension(), 0);
    static int result;
    std::string log = capture_stderr([] { result = compile_all_programs(); });
    EXPECT_EQ(result, 0) << log;
    int rows = 0;
    for (int i = 0; ShaderProgramTable[i].name; i++, rows++) {
        EXPECT_EQ(ShaderProgramTable[i].compiled, 1) << ShaderProgramTable[i].name;
        ASSERT_NE(ShaderProgramTable[i].handle, nullptr) << ShaderProgramTable[i].name;
        EXPECT_NE(*ShaderProgramTable[i].handle, 0) << ShaderProgramTable[i].name;
    }
    EXPECT_EQ(rows, SHADER_PROGRAMS);
    EXPECT_EQ(log.find("Unable to support shaders"), std::string::npos) << log;
    EXPECT_NE(log.find("Fluid blood supported (level 4 of 4)\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Ambient Occlusion supported (level 12 of 12)\n"), std::string::npos);
    EXPECT_NE(log.find("Motion blur -might- be supported! Attempting to init...\n"),
              std::string::npos);
    EXPECT_EQ(o.shaders, 1);
    EXPECT_EQ(active_programs.diffuse, sh_diff_ao12);
    EXPECT_EQ(active_programs.tcgen, sh_difftex_tcgen_ao12);
    EXPECT_EQ(active_programs.ground, sh_ground_ao12);
    EXPECT_EQ(active_programs.fluid_blood, sh_blood);
    EXPECT_EQ(active_programs.final_blur, sh_final);
    EXPECT_NE(active_programs.simple_textured_sun, 0);
    EXPECT_EQ(shader_levels.lighting_models, 1);

    // The combined level with bump mapping.
    o.bumpmapping = 1;
    log = capture_stderr([] { result = compile_all_programs(); });
    EXPECT_NE(log.find("Ambient Occlusion + Bumpmapping supported (level 12 of 12)\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(active_programs.tcgen_bump, sh_difftex_tcgen_ao12_bump);
    delete_all_programs();
    EXPECT_EQ(sh_diff, 0);
}

TEST(GlslProgramsGl, TheSourcesAreDistinctAndUniformsAreSetByName)
{
    const char *const *all = &glsl_sources.lit;
    int n = (int)(sizeof glsl_sources / sizeof(const char *));
    EXPECT_EQ(n, GLSL_DISTINCT_SOURCES);
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++)
            EXPECT_STRNE(all[i], all[j]) << i << " " << j;

    uint32_t p = create_program(glsl_sources.lit, glsl_sources.f_simple);
    ASSERT_NE(p, 0u);
    EXPECT_GE(uniform_location((int32_t)p, "lightdir"), 0);
    EXPECT_GE(uniform_location((int32_t)p, "lightfov"), 0);
    set_uniform_2f((int32_t)p, "lightfov", 0.35f, 0.65f);
    set_uniform_3f((int32_t)p, "no_such_uniform", 1, 2, 3);   // ignored
    float got[2] = {0, 0};
    glGetUniformfv(p, uniform_location((int32_t)p, "lightfov"), got);
    EXPECT_FLOAT_EQ(got[0], 0.35f);
    EXPECT_FLOAT_EQ(got[1], 0.65f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    glDeleteProgram(p);

    // A broken source gives 0 and a log, not a crash.
    static uint32_t bad;
    std::string log = capture_stderr([] {
        bad = create_program(glsl_sources.lit, "#version 120\nvoid main() { nonsense; }\n");
    });
    EXPECT_EQ(bad, 0u);
    EXPECT_FALSE(log.empty());
}

TEST(GlslProgramsGl, ALevelIsUsedOnlyWhenEveryProgramItAssignsCompiled)
{
    static Options o;
    o = Options{};
    o.bind();
    ASSERT_EQ(compile_all_programs(), 0);
    // The ao12 textured program failed: the probe falls back to level 6.
    for (int i = 0; ShaderProgramTable[i].name; i++)
        if (strcmp(ShaderProgramTable[i].name, "sh_difftex_ao12") == 0) {
            ShaderProgramTable[i].compiled = 0;
            ShaderProgramTable[i].handle = nullptr;
        }
    active_programs = ActivePrograms{};
    summarise_shader_levels();
    std::string log = capture_stderr(probe_shader_support);
    EXPECT_NE(log.find("Ambient Occlusion supported (level 6 of 12)\n"), std::string::npos)
        << log;
    EXPECT_EQ(active_programs.diffuse, sh_diff_ao6);
    EXPECT_EQ(active_programs.diffuse_textured, sh_difftex_ao6);

    // With bump mapping too and no combined bump program, both go off.
    for (int i = 0; ShaderProgramTable[i].name; i++)
        if (strstr(ShaderProgramTable[i].name, "_bump") &&
            strstr(ShaderProgramTable[i].name, "_ao")) {
            ShaderProgramTable[i].compiled = 0;
            ShaderProgramTable[i].handle = nullptr;
        }
    o.bumpmapping = 1;
    log = capture_stderr(probe_shader_support);
    EXPECT_NE(log.find("Ambient Occlusion + Bumpmapping (together) not supported (level 0 of "
                       "12) - try enabling 1 by 1\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(o.bumpmapping, 0);
    EXPECT_EQ(o.ambientocclusion, 0);

    // Without the base set, shaders go off.
    for (int i = 0; ShaderProgramTable[i].name; i++)
        if (strcmp(ShaderProgramTable[i].name, "sh_copy") == 0)
            ShaderProgramTable[i].compiled = 0;
    summarise_shader_levels();
    probe_shader_support();
    EXPECT_EQ(shader_levels.usable, 0);
    EXPECT_EQ(o.shaders, 0);
    delete_all_programs();

    EXPECT_EQ(set_lighting_model("default"), 0);
    EXPECT_EQ(set_lighting_model("toon"), 1);
    EXPECT_STREQ(current_lighting_model->name, "default");
}

TEST(RenderTargetsGl, TargetsAreCompleteBoundedAndDeletedWhateverTheOptions)
{
    static Options o;
    o = Options{};
    o.shaders = 0;   // deleting does not depend on the option
    o.bind();
    delete_render_targets();
    int a = create_render_target(50, 40, 1);
    int b = create_render_target(64, 64, 0);
    int c = create_render_target(100, 80, 1);   // another size: its own depth
    ASSERT_EQ(a, 0);
    ASSERT_EQ(b, 1);
    ASSERT_EQ(c, 2);
    EXPECT_NE(shared_depth_buffer, 0u);
    EXPECT_NE(render_targets[2].own_depth, 0u);
    for (int i = 0; i < 3; i++) {
        glBindFramebuffer(GL_FRAMEBUFFER, render_targets[i].framebuffer);
        EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), (GLenum)GL_FRAMEBUFFER_COMPLETE);
        GLint type = -1;
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT,
                                              GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
        EXPECT_EQ(type != GL_NONE, i != 1) << i;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    // Binding sets the viewport; the window's comes back.
    GLint window[4];
    glGetIntegerv(GL_VIEWPORT, window);
    const int W = window[2], H = window[3];
    bind_render_target(1);
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], 64);
    EXPECT_EQ(bound_render_target, 1);
    bind_render_target(-1);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], W);
    EXPECT_EQ(vp[3], H);

    while (render_target_count < RENDER_TARGETS)
        ASSERT_GE(create_render_target(8, 8, 0), 0);
    EXPECT_EQ(create_render_target(8, 8, 0), -1);   // the 17th
    EXPECT_EQ(render_target_count, RENDER_TARGETS);
    delete_render_targets();
    EXPECT_EQ(render_target_count, 0);
    EXPECT_EQ(shared_depth_buffer, 0u);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(RenderObjectGl, BadIndexesAndOversizedMeshesAreRefused)
{
    float vertices[4][8] = {};
    uint16_t good[6] = {0, 1, 2, 0, 2, 3};
    uint16_t bad[6] = {0, 1, 2, 0, 2, 4};
    RenderObject object;
    renderer_error_flag = 0;
    EXPECT_EQ(renderobject_create(&object, vertices, 32, 4, bad, 6), 1);
    EXPECT_EQ(object.vertex_buffer, 0u);
    EXPECT_EQ(object.index_count, 0);
    std::vector<float> many((size_t)65537 * 6, 0.0f);
    EXPECT_EQ(renderobject_create(&object, many.data(), 24, 65537, good, 6), 1);
    ASSERT_EQ(renderobject_create(&object, vertices, 32, 4, good, 6), 0);
    EXPECT_NE(object.vertex_buffer, 0u);
    EXPECT_EQ(object.index_count, 6);
    bind_vertex_format_pnt(&object);
    renderobject_draw(&object);
    unbind_vertex_buffers();
    renderobject_free(&object);
    EXPECT_EQ(object.vertex_buffer, 0u);
    EXPECT_EQ(renderer_error_flag, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(SkyGl, TexturesAreBuiltAndReplaced)
{
    load_worldshader_preset_index(1);
    build_sky_texture();
    ASSERT_NE(sky_texture, 0u);
    ASSERT_NE(sun_texture, 0u);
    GLint w = 0;
    glBindTexture(GL_TEXTURE_2D, sky_texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    EXPECT_EQ(w, SKY_TEXTURE_SIZE);
    glBindTexture(GL_TEXTURE_2D, sun_texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    EXPECT_EQ(w, SUN_TEXTURE_SIZE);
    world_shader.sharp_shadow = 1;
    draw_sun_sprite();
    delete_renderer_textures();
    EXPECT_EQ(sky_texture, 0u);
    EXPECT_EQ(sun_texture, 0u);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(TrailsGl, ARibbonWithTwoQuadsIsDrawnInItsColour)
{
    ASSERT_EQ(create_trails(), 0);
    TrailRibbon *r = trail_ribbon(0, 0);
    r->enabled = 1;
    const float blue1[4] = {0, 0, 1, 1}, blue2[4] = {0, 0, 1, 1};
    trail_set_colors(r, blue1, blue2);
    // Three positions across the view in window-filling clip space.
    for (int i = 0; i < 3; i++) {
        const float a[3] = {-0.9f + 0.9f * i, 0.8f, 0}, b[3] = {-0.9f + 0.9f * i, -0.8f, 0};
        trail_add_point(r, a, b, 1);
    }
    trail_update_ribbon(r);
    ASSERT_EQ(r->quad_count, 2);
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    match_state.num_players = 2;
    draw_trails();
    uint8_t p[4] = {0, 0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(vp[2] / 2, vp[3] / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    // Alpha 0.98 after one update: almost pure blue over white.
    EXPECT_LT(p[0], 20);
    EXPECT_GT(p[2], 240);
    // With one quad only nothing is drawn.
    reset_trails();
    r->enabled = 1;
    const float a0[3] = {0, 0.8f, 0}, b0[3] = {0, -0.8f, 0};
    const float a1[3] = {0.5f, 0.8f, 0}, b1[3] = {0.5f, -0.8f, 0};
    trail_add_point(r, a0, b0, 1);
    trail_add_point(r, a1, b1, 1);
    trail_update_ribbon(r);
    glClear(GL_COLOR_BUFFER_BIT);
    draw_trails();
    glReadPixels(vp[2] / 2 + vp[2] / 8, vp[3] / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    EXPECT_EQ(p[0], 255);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    destroy_trails();
}

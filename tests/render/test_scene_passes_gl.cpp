// The shader renderer against a real (software) GL context: set-up, the
// scene passes over a new game, switching shaders on and off at run time
// without GL errors or leaked objects, motion blur targets and stains.
#include "render/scene_passes.h"

#include <gtest/gtest.h>

#include <GL/glew.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/blood.h"
#include "core/world.h"
#include "platform/camera.h"
#include "platform/loop.h"
#include "platform/screenshot.h"
#include "render/draw_queue.h"
#include "render/floor_stains.h"
#include "render/fluid_blood.h"
#include "render/gl_draw.h"
#include "render/glsl_programs.h"
#include "render/render_util.h"
#include "render/scene.h"
#include "render/shader_setup.h"
#include "render/texture.h"
#include "render/world_shader.h"
#include "support/test_support.h"

namespace {

const int SW = 200, SH = 150;   // the test window

int passes_palette(int index, float *rgb)
{
    rgb[0] = index == 2 ? 1.0f : 0.8f;
    rgb[1] = 0.7f;
    rgb[2] = index == 5 ? 1.0f : 0.6f;
    return 0;
}

int passes_option(const char *name)
{
    static const std::map<std::string, int> on = {
        {"uke", 1}, {"kasu", 1}, {"blood", 1}, {"bloodstains", 1}};
    auto it = on.find(name);
    return it == on.end() ? 0 : it->second;
}

struct Options {
    int32_t shaders = 1, softshadow = 1, fluid = 1, bumpmapping = 0, ambientocclusion = 1,
            motionblur = 0, reflection = 1, transparency = 0;
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
        render_option_refs.transparency = &transparency;
        render_option_refs.shaders_active = &shaders_active;
    }
};
Options options;

void step_draws_scene(int) { draw_scene(&match_state, &current_rules); }

// One frame of the game through the platform's frame into the window.
std::vector<uint8_t> frame()
{
    AppCallbacks callbacks = {};
    callbacks.step = step_draws_scene;
    begin_frame(SW, SH, &callbacks, 0);
    glFinish();
    std::vector<uint8_t> px(SW * SH * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, SW, SH, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return px;
}

void save_ppm(const std::string &path, const std::vector<uint8_t> &rgba)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return;
    fprintf(f, "P6\n%d %d\n255\n", SW, SH);
    for (int y = SH - 1; y >= 0; y--)
        for (int x = 0; x < SW; x++)
            fwrite(&rgba[(y * SW + x) * 4], 1, 3, f);
    fclose(f);
}

// Average brightness of a box (y 0 is the bottom row), 0..255.
double brightness(const std::vector<uint8_t> &px, int x, int y, int w, int h)
{
    double sum = 0;
    for (int j = y; j < y + h; j++)
        for (int i = x; i < x + w; i++)
            for (int c = 0; c < 3; c++)
                sum += px[(j * SW + i) * 4 + c];
    return sum / (3.0 * w * h);
}

// GL objects alive, by kind, among the first names.
struct GlObjects {
    int buffers = 0, textures = 0, programs = 0, framebuffers = 0;
    bool operator==(const GlObjects &o) const
    {
        return buffers == o.buffers && textures == o.textures && programs == o.programs &&
               framebuffers == o.framebuffers;
    }
};
GlObjects count_gl_objects()
{
    GlObjects n;
    for (GLuint name = 1; name < 3000; name++) {
        n.buffers += glIsBuffer(name) ? 1 : 0;
        n.textures += glIsTexture(name) ? 1 : 0;
        n.programs += glIsProgram(name) ? 1 : 0;
        n.framebuffers += glIsFramebuffer(name) ? 1 : 0;
    }
    return n;
}
std::string describe(const GlObjects &n)
{
    char line[160];
    snprintf(line, sizeof line, "buffers %d textures %d programs %d framebuffers %d", n.buffers,
             n.textures, n.programs, n.framebuffers);
    return line;
}

class ScenePassesGl : public ::testing::Test {
protected:
    int saved_w = 0, saved_h = 0;
    void SetUp() override
    {
        saved_w = view_width;
        saved_h = view_height;
        view_width = SW;
        view_height = SH;
        options = Options();
        options.bind();
        core_outward = CoreOutward();
        core_outward.palette_colour = passes_palette;
        core_outward.get_option = passes_option;
        game_init();
        replay_mode = REPLAY_LIVE;
        game_type = 0;
        render_outward = RenderOutward();
        bind_shader_renderer();
        graphics_stats_path = "";   // no stats file from tests
        glViewport(0, 0, SW, SH);
        set_perspective_fov(50);
        reset_camera_view(&match_state, 0);
    }
    void TearDown() override
    {
        shutdown_renderer();
        scene_queue_sink = nullptr;
        render_outward = RenderOutward();
        game_shutdown();
        core_outward = CoreOutward();
        render_option_refs = RenderOptionRefs{};
        shaders_active = 0;
        view_width = saved_w;
        view_height = saved_h;
        glViewport(0, 0, saved_w, saved_h);
    }
};

} // namespace

TEST_F(ScenePassesGl, NewGameIsDrawnThroughTheQueueWithFloorShadowsAndReflection)
{
    options.shaders = 0;
    load_render_resources();
    std::vector<uint8_t> fixed = frame();
    ASSERT_EQ(shaders_active, 0);
    shutdown_renderer();

    options.shaders = 1;
    load_render_resources();
    ASSERT_EQ(shader_renderer_ready, 1);
    ASSERT_EQ(shaders_active, 1);
    while (glGetError() != GL_NO_ERROR) {
    }
    frame();   // the first frame's occluders feed the second's floor
    std::vector<uint8_t> shaded = frame();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    save_ppm(test_tmp_path("scene_passes.ppm"), shaded);

    // Two fighters and the environment went through the queue.
    EXPECT_GT(draw_queue.count, 60);
    EXPECT_GT(occluder_count, 40);
    EXPECT_EQ(ground_marker_count, 0);
    // The picture is not the fixed-function one; the floor (low half) is
    // lit, neither black nor blank, and shaded near the fighters.
    double diff = 0;
    for (size_t i = 0; i < fixed.size(); i += 4)
        diff += abs(fixed[i] - shaded[i]) + abs(fixed[i + 1] - shaded[i + 1]);
    EXPECT_GT(diff / (SW * SH), 10.0);
    double floor_open = brightness(shaded, 10, 10, 30, 30);
    EXPECT_GT(floor_open, 30.0);
    EXPECT_LT(floor_open, 250.0);
    // The floor is one large quad: fog follows each pixel's own distance,
    // so the near floor keeps its colour and only the far floor fades
    // toward the background (a per-corner distance fogs it all alike).
    double floor_far = brightness(shaded, 150, 74, 40, 4);
    EXPECT_LT(floor_open, 215.0);
    EXPECT_GT(floor_far - floor_open, 30.0) << floor_open << " " << floor_far;
}

TEST_F(ScenePassesGl, SwitchingShadersAtRunTimeLeavesNoErrorOrObject)
{
    options.shaders = 0;
    load_render_resources();
    frame();
    GlObjects before = count_gl_objects();
    while (glGetError() != GL_NO_ERROR) {
    }
    for (int round = 0; round < 2; round++) {
        // On: the next frame builds the renderer and draws through it.
        options.shaders = 1;
        frame();
        EXPECT_EQ(shaders_active, 1);
        EXPECT_EQ(shader_renderer_ready, 1);
        EXPECT_GT(draw_queue.count, 0);
        frame();
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << round;
        // Off: fixed function at once.
        options.shaders = 0;
        frame();
        EXPECT_EQ(shaders_active, 0);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << round;
    }
    // The flag alone (the render toggle) cannot turn on a renderer that is
    // not there.
    free_shader_renderer();
    shaders_active = 1;
    frame();
    EXPECT_EQ(shaders_active, 0);
    // A video re-initialisation: tear down and build again.
    options.shaders = 1;
    frame();
    ASSERT_EQ(shader_renderer_ready, 1);
    shutdown_renderer();
    EXPECT_EQ(shader_renderer_ready, 0);
    load_render_resources();
    EXPECT_EQ(shader_renderer_ready, 1);
    frame();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    free_shader_renderer();
    GlObjects after = count_gl_objects();
    EXPECT_TRUE(before == after) << describe(before) << " / " << describe(after);
}

TEST_F(ScenePassesGl, WithoutShadersBothPassesLeaveListsAndStateAlone)
{
    options.shaders = 0;
    load_render_resources();
    reset_draw_queue();
    draw_queue.count = 3;
    occluder_count = 2;
    ground_marker_count = 1;
    draw_scene_lighting();
    draw_scene_objects();
    EXPECT_EQ(draw_queue.count, 3);
    EXPECT_EQ(occluder_count, 2);
    EXPECT_EQ(ground_marker_count, 1);
    GLint program = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ(program, 0);
    reset_draw_queue();
    ground_marker_count = 0;
}

TEST_F(ScenePassesGl, MotionBlurMakesNineHalfTargetsAndDrawsSubFrames)
{
    options.motionblur = 1;
    load_render_resources();
    ASSERT_EQ(shader_renderer_ready, 1);
    ASSERT_EQ(options.motionblur, 1) << "the probe keeps motion blur on llvmpipe";
    EXPECT_EQ(subframe_count, 8);
    EXPECT_EQ(render_target_count, 11);
    EXPECT_EQ(floor_target, 0);
    EXPECT_EQ(combine_target, 9);
    EXPECT_EQ(stain_target, 10);
    EXPECT_EQ(render_targets[1].width, SW / 2);
    EXPECT_EQ(render_targets[0].width, SW / 4);
    EXPECT_EQ(render_targets[stain_target].width, 2048);
    while (glGetError() != GL_NO_ERROR) {
    }
    frame();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    shutdown_renderer();
    options.motionblur = 0;
    load_render_resources();
    EXPECT_EQ(subframe_count, 0);
    EXPECT_EQ(render_target_count, 3);
}

TEST_F(ScenePassesGl, BloodOnTheFloorLeavesStainedPatches)
{
    load_render_resources();
    ASSERT_EQ(shader_renderer_ready, 1);
    const float velocity[3] = {1, 0, -2}, red[3] = {0.6f, 0, 0};
    for (int i = 0; i < 12; i++) {
        const float point[3] = {0.1f * i - 0.3f, 0.05f * i - 0.6f, 0};
        add_blood_stain(point, velocity, 0.08f, red);
    }
    EXPECT_GT(stain_blot_vertex_count, 0);
    EXPECT_TRUE(stain_quads_stale);
    while (glGetError() != GL_NO_ERROR) {
    }
    save_ppm(test_tmp_path("stains.ppm"), frame());
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_EQ(stain_blot_vertex_count, 0) << "painted into the map";
    EXPECT_GE(stain_quads.count, 6);
    EXPECT_EQ(stain_quads.count % 6, 0);
}

namespace {

// A strand of live blood drops in front of the fighters: the frame's
// drawing turns them into fluid particles.
void spill_strand()
{
    const float kept[3] = {default_blood_colour[0], default_blood_colour[1], default_blood_colour[2]};
    default_blood_colour[0] = 0.8f;
    default_blood_colour[1] = default_blood_colour[2] = 0.0f;
    for (int i = 0; i < 40; i++) {
        const double p[3] = {0.2 + 0.02 * i, -1.2, 1.0 + 0.01 * i};
        const double d[3] = {1.0, 0.0, 0.5};
        spawn_blood_drop_sized(0, 0, p, d, 1.0, 10.0);
    }
    for (int k = 0; k < 3; k++)
        default_blood_colour[k] = kept[k];
}

int fluid_option(const char *name)
{
    if (std::string(name) == "fluid")
        return 1;
    return passes_option(name);
}

} // namespace

TEST_F(ScenePassesGl, FluidBloodStrandsAreDrawnAsParticles)
{
    core_outward.get_option = fluid_option;
    load_render_resources();
    spill_strand();
    ASSERT_EQ(shader_renderer_ready, 1);
    ASSERT_EQ(options.fluid, 1) << "the probe keeps fluid blood on llvmpipe";
    while (glGetError() != GL_NO_ERROR) {
    }
    std::vector<uint8_t> px = frame();
    save_ppm(test_tmp_path("fluid_blood.ppm"), px);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_EQ(blood_particle_buffer.count, 40);
    EXPECT_EQ(fluid_vertex_count, 40 * 6);
    int red = 0;
    for (int i = 0; i < SW * SH; i++) {
        const uint8_t *p = &px[i * 4];
        if (p[0] > 120 && p[1] < 60 && p[2] < 60)
            red++;
    }
    EXPECT_GT(red, 12) << "blood on the screen";
}

TEST_F(ScenePassesGl, ObjectProgramFollowsModeTextureAndBump)
{
    load_render_resources();
    ASSERT_EQ(shader_renderer_ready, 1);
    Texture unloaded, loaded;
    texture_init(&unloaded);
    texture_init(&loaded);
    GLuint id = 0;
    glGenTextures(1, &id);
    loaded.id = id;
    DrawQueueEntry e;
    memset(&e, 0, sizeof e);
    e.shape[0] = e.shape[4] = e.shape[8] = 1;
    e.texgen[0] = e.texgen[4] = e.texgen[8] = 1;
    const struct {
        int mode;
        Texture *texture;
        Texture *bump;
        int32_t *expect;
    } cases[] = {
        {1, &loaded, nullptr, &active_programs.diffuse},
        {8, &unloaded, nullptr, &active_programs.diffuse},
        {8, nullptr, nullptr, &active_programs.diffuse},
        {8, &loaded, nullptr, &active_programs.diffuse_textured},
        {8 | 0x100, &loaded, nullptr, &active_programs.tcgen},
        // Bump mapping is off in these options: the bump texture is ignored.
        {8, &loaded, &loaded, &active_programs.diffuse_textured},
    };
    for (const auto &c : cases) {
        e.mode = c.mode;
        e.texture = c.texture;
        e.bump = c.bump;
        int32_t program = select_object_program(&e);
        EXPECT_EQ(program, *c.expect) << c.mode;
        GLint current = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &current);
        EXPECT_EQ(current, program);
    }
    use_program(0);
    disable_texture_unit(1);
    disable_texture_unit(0);
    glDeleteTextures(1, &id);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(ScenePassesGl, ShortenedShadowVolumesGiveTheSamePicture)
{
    options.reflection = 1;
    load_render_resources();
    ASSERT_EQ(shaders_active, 1);
    WorldShaderValues saved = world_shader;
    world_shader.sky_on = 1;
    // Low sun along the fighters' line, a high one, one from the side.
    const float suns[][3] = {{0, 0.968f, 0.251f}, {0.28f, 0.19f, 0.94f}, {0.93f, 0, 0.37f},
                             {0, -0.968f, 0.251f}};
    for (const auto &sun : suns) {
        for (int k = 0; k < 3; k++)
            world_shader.sun_light_dir[k] = sun[k];
        world_shader.sharp_shadow = 0;
        frame();
        std::vector<uint8_t> unshadowed = frame();
        world_shader.sharp_shadow = 1;
        shadow_volumes_full_reach = 1;
        frame();
        std::vector<uint8_t> full = frame();
        shadow_volumes_full_reach = 0;
        frame();
        std::vector<uint8_t> cut = frame();
        int differ = 0, shadowed = 0;
        for (size_t i = 0; i < full.size(); i += 4) {
            differ += memcmp(&full[i], &cut[i], 3) != 0;
            shadowed += memcmp(&full[i], &unshadowed[i], 3) != 0;
        }
        EXPECT_GT(shadowed, 20) << sun[0] << " " << sun[1] << " " << sun[2];
        EXPECT_EQ(differ, 0) << sun[0] << " " << sun[1] << " " << sun[2];
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    world_shader = saved;
}

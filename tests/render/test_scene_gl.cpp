// The fixed-function scene against a real (software) GL context: the first
// frame of a game drawn through the platform's frame into an off-screen
// target, checked by coarse pixel properties and saved for a look.
#include "render/fighter_draw.h"
#include "render/gl_draw.h"
#include "render/scene.h"
#include "render/sorted_list.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/world.h"
#include "platform/camera.h"
#include "platform/loop.h"
#include "support/test_support.h"

namespace {

const int SW = 400, SH = 300;

int scene_palette(int index, float *rgb)
{
    static const std::map<int, std::array<float, 3>> rows = {
        {0, {1, 1, 1}},          {1, {1, 1, 1}},
        {2, {1, 0, 0}},          {3, {0.58f, 0, 0}},
        {5, {0.16f, 0.66f, 0.86f}}, {7, {0.01f, 0.01f, 0.01f}},
        {16, {1, 0.73f, 0.15f}}, {21, {0.93f, 0.75f, 0.65f}},
        {23, {0.85f, 0.28f, 0}}, {25, {0.5f, 0.5f, 1}},
        {51, {0.01f, 0.01f, 0.01f}},
    };
    auto it = rows.find(index);
    if (it == rows.end())
        return 1;
    for (int k = 0; k < 3; k++)
        rgb[k] = it->second[k];
    return 0;
}

int scene_option(const char *name)
{
    static const std::map<std::string, int> on = {
        {"uke", 1}, {"kasu", 1}, {"bruise", 1}, {"blood", 1}, {"smoothcam", 1}};
    auto it = on.find(name);
    return it == on.end() ? 0 : it->second;
}

void step_draws_scene(int) { draw_scene(&match_state, &current_rules); }

// An off-screen colour and depth target of SW x SH.
struct Target {
    GLuint fbo = 0, colour = 0, depth = 0;
    bool make()
    {
        glGenFramebuffers(1, &fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glGenRenderbuffers(1, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, SW, SH);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glGenRenderbuffers(1, &depth);
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, SW, SH);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
        return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }
    ~Target()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        if (fbo)
            glDeleteFramebuffers(1, &fbo);
        if (colour)
            glDeleteRenderbuffers(1, &colour);
        if (depth)
            glDeleteRenderbuffers(1, &depth);
    }
};

void save_ppm(const char *path, const std::vector<uint8_t> &rgba)
{
    FILE *f = fopen(path, "wb");
    if (!f)
        return;
    fprintf(f, "P6\n%d %d\n255\n", SW, SH);
    for (int y = SH - 1; y >= 0; y--)
        for (int x = 0; x < SW; x++)
            fwrite(&rgba[(y * SW + x) * 4], 1, 3, f);
    fclose(f);
}

class SceneGl : public ::testing::Test {
protected:
    int saved_w = 0, saved_h = 0;
    void SetUp() override
    {
        saved_w = view_width;
        saved_h = view_height;
        core_outward = CoreOutward();
        core_outward.palette_colour = scene_palette;
        core_outward.get_option = scene_option;
        game_init();
        replay_mode = REPLAY_LIVE;   // a new local game, not the menu's replay
        game_type = 0;
        memset(fighter_looks, 0, sizeof fighter_looks);
        render_outward = RenderOutward();
        load_render_resources();
    }
    void TearDown() override
    {
        shutdown_renderer();
        game_shutdown();
        match_state.num_players = 2;
        core_outward = CoreOutward();
        view_width = saved_w;
        view_height = saved_h;
        glViewport(0, 0, saved_w, saved_h);
        set_perspective_fov(50);
    }
};

TEST_F(SceneGl, FirstFrameShowsBothFightersInTheirColoursWithShadows)
{
    Target target;
    ASSERT_TRUE(target.make());
    view_width = SW;
    view_height = SH;
    glViewport(0, 0, SW, SH);
    set_perspective_fov(50);
    reset_camera_view(&match_state, 0);
    const float white[3] = {1, 1, 1};
    set_clear_color(white);

    AppCallbacks callbacks = {};
    callbacks.step = step_draws_scene;
    begin_frame(SW, SH, &callbacks, 0);
    glFinish();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_EQ(sorted_draw_list.count, 0);

    std::vector<uint8_t> px(SW * SH * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, SW, SH, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    save_ppm(test_tmp_path("scene_first_frame.ppm").c_str(), px);

    // Classify every pixel: background white, shadow grey (0.8 of the clear
    // colour), fighter 0 red, fighter 1 blue, outline black.
    int background = 0, shadow = 0, red = 0, blue = 0, black = 0, joint = 0;
    long red_x = 0, blue_x = 0;
    int shadow_low = 0, body_low_row = SH, shadow_high_row = -1;
    for (int y = 0; y < SH; y++)   // y 0 is the bottom row
        for (int x = 0; x < SW; x++) {
            const uint8_t *p = &px[(y * SW + x) * 4];
            int r = p[0], g = p[1], b = p[2];
            if (r > 245 && g > 245 && b > 245) {
                background++;
            } else if (abs(r - 204) < 8 && abs(g - 204) < 8 && abs(b - 204) < 8) {
                shadow++;
                if (y < SH / 2)
                    shadow_low++;
                if (y > shadow_high_row)
                    shadow_high_row = y;
            } else if (r > g + 80 && r > b + 80) {
                red++;
                red_x += x;
                if (y < body_low_row)
                    body_low_row = y;
            } else if (b > r + 60 && g > r + 30) {
                blue++;
                blue_x += x;
            } else if (r < 40 && g < 40 && b < 40) {
                black++;
            } else if (r > b + 25 && g > b + 10) {
                joint++;   // the relax colour of the joints
            }
        }
    const int total = SW * SH;
    EXPECT_GT(background, total / 2) << "the floor is the clear colour";
    EXPECT_GT(shadow, total / 100) << "planar shadows";
    EXPECT_GT(shadow_low, shadow / 2) << "shadows lie on the floor, low in the view";
    EXPECT_GT(red, total / 800) << "fighter 0 in its colour";
    EXPECT_GT(blue, total / 800) << "fighter 1 in its colour";
    EXPECT_GT(black, total / 1000) << "outlines";
    EXPECT_GT(joint, total / 200) << "joints in their state colours";
    ASSERT_GT(red, 0);
    ASSERT_GT(blue, 0);
    // The two fighters stand apart.
    EXPECT_GT(std::abs(red_x / red - blue_x / blue), SW / 20);
}

TEST_F(SceneGl, SortedListDrawsWithPolygonOffsetFromDepth)
{
    for (float &v : camera_state.position)
        v = 0;
    SortedDrawMaterial m;
    m.mode = DRAW_PLAIN;
    SortedGeometry g = {};
    g.position[0] = 2;   // depth 4 -> offset 4 / 40 x 50 = 5
    g.rotation[0] = g.rotation[5] = g.rotation[10] = 1;
    g.shape[0] = 0.1;
    SortedDrawEntry e(m, g);
    e.kind = SORTED_SPHERE;
    ASSERT_EQ(append_sorted_entry(e), 0);
    draw_sorted_list();
    GLfloat factor = 0, units = 0;
    glGetFloatv(GL_POLYGON_OFFSET_FACTOR, &factor);
    glGetFloatv(GL_POLYGON_OFFSET_UNITS, &units);
    EXPECT_FLOAT_EQ(factor, 5.0f);
    EXPECT_FLOAT_EQ(units, 5.0f);
    EXPECT_EQ(sorted_draw_list.count, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

}  // namespace

// Drawing primitives and textures against a real (software) GL context.
#include "render/gl_draw.h"
#include "render/texture.h"

#include <SDL/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/camera.h"
#include "support/test_support.h"

// The X and Mesa libraries keep a few allocations to the end of the process
// (visual lists, driver records); they are not this program's to free.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libX11.so\n"
           "leak:libGLX_mesa.so\n"
           "leak:libGLX.so\n"
           "leak:swrast_dri.so\n"
           "leak:libgallium\n"
           "leak:libLLVM\n";
}

namespace {

const int W = 200, H = 150;

class GlEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        ASSERT_NE(SDL_SetVideoMode(W, H, 0, SDL_OPENGL), nullptr) << SDL_GetError();
        ASSERT_EQ(glewInit(), (GLenum)GLEW_OK);
        view_width = W;
        view_height = H;
    }
    // The window stays open to the end of the process: closing it unloads
    // the GL driver, and what the driver keeps could no longer be named.
    void TearDown() override {}
};
::testing::Environment *const gl_env = ::testing::AddGlobalTestEnvironment(new GlEnvironment);

struct Rgb {
    int r, g, b;
};

// The pixel at window column x and row y (row 0 at the top).
Rgb pixel_at(int x, int y)
{
    uint8_t p[4] = {0, 0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, H - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return Rgb{p[0], p[1], p[2]};
}

void clear_black()
{
    glViewport(0, 0, W, H);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

TEST(Draw2d, FilledRectangleLandsOnItsPixels)
{
    clear_black();
    begin_2d();
    set_draw_color(1, 0, 0, 1);
    draw_rect_filled(10, 20, 30, 40);
    end_2d();
    glFinish();
    struct Probe { int x, y; bool inside; } probes[] = {
        {10, 20, true}, {29, 20, true}, {10, 39, true}, {29, 39, true}, {20, 30, true},
        {9, 20, false}, {30, 20, false}, {10, 19, false}, {10, 40, false}, {30, 40, false},
    };
    for (const Probe &p : probes) {
        Rgb c = pixel_at(p.x, p.y);
        EXPECT_EQ(c.r, p.inside ? 255 : 0) << p.x << "," << p.y;
        EXPECT_EQ(c.g, 0);
    }
}

TEST(Draw2d, ProjectionAndModelviewAreRestored)
{
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1, 2, 3);
    set_perspective_fov(50);
    GLfloat proj_before[16], mv_before[16], proj_after[16], mv_after[16];
    glGetFloatv(GL_PROJECTION_MATRIX, proj_before);
    glGetFloatv(GL_MODELVIEW_MATRIX, mv_before);
    begin_2d();
    draw_rect_outline(0, 0, 5, 5);
    end_2d();
    glGetFloatv(GL_PROJECTION_MATRIX, proj_after);
    glGetFloatv(GL_MODELVIEW_MATRIX, mv_after);
    for (int i = 0; i < 16; i++) {
        EXPECT_FLOAT_EQ(proj_after[i], proj_before[i]);
        EXPECT_FLOAT_EQ(mv_after[i], mv_before[i]);
    }
    glLoadIdentity();
}

TEST(Projection, SquarePerspectiveRoundTrip)
{
    set_perspective_fov(90);
    GLfloat want[16], got[16];
    glGetFloatv(GL_PROJECTION_MATRIX, want);
    push_square_perspective();
    glGetFloatv(GL_PROJECTION_MATRIX, got);
    EXPECT_NE(got[0], want[0]);   // aspect 1 instead of 4:3
    pop_square_perspective();
    glGetFloatv(GL_PROJECTION_MATRIX, got);
    for (int i = 0; i < 16; i++)
        EXPECT_FLOAT_EQ(got[i], want[i]) << i;
    EXPECT_FLOAT_EQ(camera_state.fov, 90.0f);
    set_perspective_fov(50);
}

TEST(DisplayLists, AllSevenAreBuiltAndDeleted)
{
    build_display_lists();
    GLuint lists[] = {display_lists.ico_sphere, display_lists.glut_sphere,
                      display_lists.hemisphere, display_lists.circle9, display_lists.circle25,
                      display_lists.textured_ring, display_lists.narrow_ring};
    for (GLuint l : lists)
        EXPECT_TRUE(glIsList(l)) << l;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    // The solid sphere draws something in the middle of the view.
    clear_black();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, (double)W / H, 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, -5, 0, 0, 0, 0, 0, 0, 1);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glColor3f(0, 1, 0);
    glCallList(display_lists.glut_sphere);
    glCallList(display_lists.ico_sphere);
    glFinish();
    EXPECT_EQ(pixel_at(W / 2, H / 2).g, 255);
    glLoadIdentity();

    delete_display_lists();
    for (GLuint l : lists)
        EXPECT_FALSE(glIsList(l));
    EXPECT_EQ(display_lists.hemisphere, 0u);
}

void write_tga(const std::string &path, int size, int bpp, const std::vector<uint8_t> &bgr)
{
    uint8_t h[18] = {0, 0, 2};
    h[12] = (uint8_t)size;
    h[14] = (uint8_t)size;
    h[16] = (uint8_t)bpp;
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(h, 1, 18, f);
    fwrite(bgr.data(), 1, bgr.size(), f);
    fclose(f);
}

// A scratch folder whose name holds capitals, as a user's folder may.
std::string capitalised_dir(const char *name)
{
    std::string dir = std::string(test_tmp_dir()) + "/" + name;
    mkdir(dir.c_str(), 0775);
    return dir;
}

TEST(Textures, SamePathUploadsOnceAndFreedTextureLoadsAgain)
{
    std::string dir = capitalised_dir("Textures");
    write_tga(dir + "/once.tga", 1, 24, {10, 20, 30});
    write_tga(dir + "/other.tga", 1, 24, {1, 2, 3});
    Texture t;
    int before = texture_upload_count;
    texture_init_and_load(&t, dir.c_str(), "once");
    ASSERT_TRUE(texture_loaded(&t));
    EXPECT_EQ(t.pixels[0], 30);   // RGB order
    EXPECT_TRUE(texture_load(&t, dir.c_str(), "once"));
    EXPECT_EQ(texture_upload_count, before + 1);
    unsigned id = t.id;

    EXPECT_TRUE(texture_load(&t, dir.c_str(), "other"));   // another name replaces it
    EXPECT_EQ(texture_upload_count, before + 2);
    EXPECT_FALSE(glIsTexture(id) && id != t.id);

    EXPECT_EQ(texture_free(&t), 0);
    EXPECT_EQ(t.id, 0u);
    EXPECT_EQ(t.pixels, nullptr);
    EXPECT_STREQ(t.path, "");
    EXPECT_TRUE(texture_load(&t, dir.c_str(), "other"));
    EXPECT_EQ(texture_upload_count, before + 3);
    texture_free(&t);
}

TEST(Textures, RefusedFilesAreTintedAndReported)
{
    std::string dir = test_tmp_dir();
    std::vector<uint8_t> big(18, 0);
    big[2] = 2;
    big[13] = 0x80;   // 32768 wide
    big[15] = 0x80;
    big[16] = 32;
    FILE *f = fopen((dir + "/huge.tga").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(big.data(), 1, big.size(), f);
    fclose(f);
    write_tga(dir + "/short.tga", 4, 24, std::vector<uint8_t>(20, 7));

    // The line says why each file was refused.
    struct Case {
        const char *name, *why;
    } cases[] = {{"huge", "larger than the GL texture limit"},
                 {"short", "truncated"},
                 {"missing", "no such file"}};
    for (const Case &c : cases) {
        const char *name = c.name;
        Texture t;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(texture_init_and_load_result(&t, dir.c_str(), name));
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, "failed to load texture " + dir + "/" + name + ": " + c.why + "\n");
        EXPECT_FALSE(texture_loaded(&t));
        EXPECT_EQ(t.pixels, nullptr);
        EXPECT_FLOAT_EQ(t.colour[0], 1.0f);
        EXPECT_FLOAT_EQ(t.colour[1], 0.0f);
        EXPECT_FLOAT_EQ(t.colour[2], 1.0f);
    }
}

TEST(Textures, OverlongNamesAreBounded)
{
    std::string dir(300, 'd');
    Texture t;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(texture_init_and_load_result(&t, dir.c_str(), "name"));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(strlen(t.path), 255u);
}

TEST(Textures, TableLoadsFromTheDataTree)
{
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(source_dir()), 0);
    testing::internal::CaptureStderr();
    load_texture_table();
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(err, "");
    for (int r = 0; r < TEXTURE_TABLE_ROWS; r++) {
        EXPECT_EQ(TextureTable[r].id, r);
        ASSERT_NE(TextureTable[r].texture, nullptr);
        EXPECT_EQ(table_texture_loaded(r), r != SPARE_TABLE_ROW) << r << " " << TextureTable[r].name;
    }
    EXPECT_STREQ(TextureTable[24].name, "ghost");
    EXPECT_STREQ(table_texture(17)->path, "data/textures/buttons/play");
    EXPECT_FALSE(spare_table_texture_loaded());

    // A table texture drawn upright in the overlay: the logo is opaque in
    // its middle.
    clear_black();
    begin_2d();
    draw_table_texture(6, 0, 0, 0.5f);
    end_2d();
    glFinish();
    Rgb mid = pixel_at(64, 64);
    EXPECT_GT(mid.r + mid.g + mid.b, 0);

    free_texture_table();
    for (int r = 0; r < TEXTURE_TABLE_ROWS; r++)
        EXPECT_EQ(TextureTable[r].texture, nullptr);
}

TEST(Textures, QuadIsUpright)
{
    // File rows run bottom first: bottom row red, top row blue.
    std::string dir = test_tmp_dir();
    write_tga(dir + "/updown.tga", 2, 24, {0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 0, 0});
    Texture t;
    texture_init_and_load(&t, dir.c_str(), "updown");
    ASSERT_TRUE(texture_loaded(&t));
    clear_black();
    begin_2d();
    draw_texture_quad(&t, 50, 50, 10, 10);   // 20 x 20 pixels
    end_2d();
    glFinish();
    Rgb top = pixel_at(55, 55), bottom = pixel_at(55, 65);
    // Linear filtering mixes in a little of the other row.
    EXPECT_GT(top.b, 200);
    EXPECT_LT(top.r, 60);
    EXPECT_GT(bottom.r, 200);
    EXPECT_LT(bottom.b, 60);
    texture_free(&t);
}

TEST(Textures, GeneratedTwoColourTexture)
{
    create_player_texture_slots();
    const float c1[3] = {1.5f, 0, 0}, c2[3] = {0, 0, 1};
    int before = texture_upload_count;
    EXPECT_EQ(set_player_texture_colors(1, c1, c2), 1);
    Texture *t = player_color_textures[1];
    ASSERT_TRUE(texture_loaded(t));
    EXPECT_EQ(texture_upload_count, before + 1);
    EXPECT_EQ(t->bpp, 32);
    EXPECT_EQ(t->pixels[0], 255);
    EXPECT_EQ(t->pixels[64 * 4 + 2], 255);
    // Regenerating replaces the GL texture rather than adding one.
    set_player_texture_colors(1, c2, c1);
    EXPECT_EQ(t->pixels[0], 0);
    EXPECT_EQ(set_player_texture_colors(9, c1, c2), 1);   // no such player: nothing
    free_player_texture_slots();
    EXPECT_EQ(player_color_textures[1], nullptr);
}

TEST(Textures, PlayerSlotLoaders)
{
    EXPECT_EQ(load_player_body_texture(0, 0, "x", "y"), 1);   // no slot made
    create_player_texture_slots();
    // body_name(0) is "HEAD"; the loader looks for <base>/<subdir>/HEAD.tga,
    // whose name is lower-cased when opened; the base folder keeps its
    // capitals.
    std::string dir = capitalised_dir("Looks");
    mkdir((dir + "/look").c_str(), 0775);
    write_tga(dir + "/look/head.tga", 1, 24, {1, 2, 3});
    EXPECT_EQ(load_player_body_texture(0, 0, "look", dir.c_str()), 0);
    EXPECT_EQ(load_player_body_bump_texture(0, 0, "look", dir.c_str()), 1);
    EXPECT_EQ(load_player_joint_texture(0, 25, "look", dir.c_str()), 1);
    EXPECT_EQ(load_player_joint_bump_texture(4, 0, "look", dir.c_str()), 1);
    free_player_texture_slots();
}

TEST(Textures, DecalWithoutTextRendererStaysEmpty)
{
    Texture t;
    texture_init(&t);
    EXPECT_EQ(render_text_decal(&t, "", 3), 0);
    EXPECT_FALSE(texture_loaded(&t));
    EXPECT_EQ(render_text_decal(&t, "abc", 3), 1);
    EXPECT_FALSE(texture_loaded(&t));
}

// Whether the context's own extension list names every extension in `names`.
bool context_offers(const std::vector<std::string> &names)
{
    const char *list = (const char *)glGetString(GL_EXTENSIONS);
    if (!list)
        return false;
    std::vector<std::string> offered;
    for (const char *p = list; *p;) {
        while (*p == ' ')
            p++;
        const char *end = p;
        while (*end && *end != ' ')
            end++;
        if (end > p)
            offered.emplace_back(p, end);
        p = end;
    }
    for (const std::string &n : names)
        if (std::find(offered.begin(), offered.end(), n) == offered.end())
            return false;
    return true;
}

int bump_builds;
void count_bump_build() { bump_builds++; }
int bump_offered() { return 1; }
int bump_refused() { return 0; }

// The set-up's answer, the build call and the message, for an answer taken
// from the context and for each answer forced through the hook.
TEST(BumpMapping, SetUpReportsItsAnswer)
{
    const BumpHooks saved = bump_hooks;
    const int saved_supported = bump_mapping_supported;
    const int expected = context_offers({"GL_ARB_multitexture", "GL_ARB_texture_cube_map",
                                         "GL_ARB_texture_env_combine",
                                         "GL_ARB_texture_env_dot3"});
    struct Case {
        const char *name;
        int (*supported)();
        int answer;
    } cases[] = {
        {"context", nullptr, expected},
        {"offered", bump_offered, 1},
        {"refused", bump_refused, 0},
    };
    for (const Case &c : cases) {
        bump_hooks = BumpHooks{c.supported, count_bump_build, nullptr};
        bump_builds = 0;
        bump_mapping_supported = -1;
        testing::internal::CaptureStderr();
        init_bump_mapping();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(bump_mapping_supported, c.answer) << c.name;
        EXPECT_EQ(bump_builds, c.answer) << c.name;
        EXPECT_EQ(err, c.answer ? "" : "Extensions for bump mapping unsupported\n") << c.name;
    }
    bump_hooks = saved;
    bump_mapping_supported = saved_supported;
}

}  // namespace

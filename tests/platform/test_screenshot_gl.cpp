// Frame-buffer images against a real (software) GL context: a frame of known
// colours saved as BMP and PPM and read back byte by byte.
#include "platform/screenshot.h"

#include <GL/glew.h>
#include <SDL/SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include <unistd.h>

#include "core/outward.h"
#include "core/text.h"
#include "support/test_support.h"

// The leak suppressions of this program are in test_window_gl.cpp.

namespace {

// An odd width: a row of 37 RGB pixels is not a multiple of 4 bytes.
const int W = 37, H = 20, TOP_ROWS = 5;

// The window is made once for the suite and closed after it, so that the
// window tests of this program open theirs afresh (with the attributes they
// ask for); test_window_gl.cpp keeps the GL driver loaded meanwhile.
class Screenshot : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        ASSERT_NE(SDL_SetVideoMode(W, H, 0, SDL_OPENGL), nullptr) << SDL_GetError();
        ASSERT_EQ(glewInit(), (GLenum)GLEW_OK);
    }
    static void TearDownTestSuite() { SDL_Quit(); }
};

// Red everywhere, blue in the top TOP_ROWS rows of the window.
void draw_known_frame()
{
    glDisable(GL_SCISSOR_TEST);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, H - TOP_ROWS, W, TOP_ROWS);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glFinish();
}

uint32_t le32(const std::string &b, size_t at)
{
    return (uint32_t)(uint8_t)b[at] | (uint32_t)(uint8_t)b[at + 1] << 8 |
           (uint32_t)(uint8_t)b[at + 2] << 16 | (uint32_t)(uint8_t)b[at + 3] << 24;
}
uint16_t le16(const std::string &b, size_t at)
{
    return (uint16_t)((uint8_t)b[at] | (uint8_t)b[at + 1] << 8);
}

bool is_rgb(const std::string &b, size_t at, int r, int g, int bl)
{
    return (uint8_t)b[at] == r && (uint8_t)b[at + 1] == g && (uint8_t)b[at + 2] == bl;
}

std::string g_echo;
int g_echo_kind;

}  // namespace

TEST_F(Screenshot, PpmHeaderAndRowsTopToBottom)
{
    draw_known_frame();
    std::string path = test_tmp_path("shot.ppm");
    ASSERT_EQ(save_screenshot_as(path.c_str(), SCREENSHOT_PPM), 0);
    std::string b = read_whole_file(path);
    const std::string header = "P6\n37 20\n255\n";
    ASSERT_EQ(b.size(), header.size() + (size_t)W * H * 3);
    EXPECT_EQ(b.substr(0, header.size()), header);
    const size_t row = W * 3, px = header.size();
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            size_t at = px + y * row + x * 3;
            if (y < TOP_ROWS)
                ASSERT_TRUE(is_rgb(b, at, 0, 0, 255)) << x << "," << y;
            else
                ASSERT_TRUE(is_rgb(b, at, 255, 0, 0)) << x << "," << y;
        }
    // An unwritable path fails with 1.
    EXPECT_EQ(save_ppm(test_tmp_path("no_such_dir/shot.ppm").c_str()), 1);
}

TEST_F(Screenshot, BmpHeaderAndRowsBottomUp)
{
    draw_known_frame();
    std::string path = test_tmp_path("shot.bmp");
    ASSERT_EQ(save_bmp(path.c_str(), SDL_GetVideoSurface()), 0);
    std::string b = read_whole_file(path);
    ASSERT_GE(b.size(), 54u);
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(le32(b, 2), b.size());
    EXPECT_EQ((int32_t)le32(b, 18), W);
    EXPECT_EQ((int32_t)le32(b, 22), H);   // positive: bottom row first
    EXPECT_EQ(le16(b, 28), 24);
    const size_t offset = le32(b, 10), stride = (W * 3 + 3) / 4 * 4;
    ASSERT_EQ(b.size(), offset + stride * H);
    for (int stored = 0; stored < H; stored++) {
        int window_row = H - 1 - stored;
        for (int x = 0; x < W; x++) {
            size_t at = offset + stored * stride + x * 3;   // B, G, R
            if (window_row < TOP_ROWS)
                ASSERT_TRUE(is_rgb(b, at, 255, 0, 0)) << x << "," << window_row;
            else
                ASSERT_TRUE(is_rgb(b, at, 0, 0, 255)) << x << "," << window_row;
        }
    }
    EXPECT_EQ(save_bmp(test_tmp_path("no_such_dir/shot.bmp").c_str(), nullptr), -1);
}

TEST_F(Screenshot, UnknownTypeWritesNothing)
{
    std::string path = test_tmp_path("shot.other");
    unlink(path.c_str());
    EXPECT_EQ(save_screenshot_as(path.c_str(), 2), -1);
    EXPECT_EQ(save_screenshot_as(path.c_str(), -1), -1);
    EXPECT_FALSE(file_exists(path.c_str()));
}

TEST_F(Screenshot, TakeScreenshotMakesFoldersAndNeverOverwrites)
{
    // A fresh folder each run: a second run within the same second would
    // find the first one's names taken.
    static int runs;
    std::string dir = test_tmp_path(("take" + std::to_string(runs++)).c_str());
    make_path_dirs((dir + "/x").c_str());
    char old_dir[4096];
    ASSERT_NE(getcwd(old_dir, sizeof old_dir), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    static int scenes;
    scenes = 0;
    screenshot_outward.write_scene = [](const char *path) {
        scenes++;
        return write_whole_file(path, "scene\n") ? 0 : 1;
    };
    core_outward.echo = [](const char *text, int kind) {
        g_echo = text;
        g_echo_kind = kind;
    };
    draw_known_frame();
    take_screenshot();
    EXPECT_EQ(scenes, 1);
    EXPECT_EQ(g_echo_kind, MSG_INGAME);
    // "Wrote screenshots/screenshot-DD-HH-MM-SS.bmp raytrace/screenshot-DD-HH-MM-SS.pov"
    ASSERT_EQ(g_echo.rfind("Wrote screenshots/screenshot-", 0), 0u) << g_echo;
    std::string image = g_echo.substr(6, g_echo.find(' ', 6) - 6);
    std::string scene = g_echo.substr(g_echo.find(' ', 6) + 1);
    EXPECT_EQ(image.size(), strlen("screenshots/screenshot-00-00-00-00.bmp")) << image;
    EXPECT_EQ(scene.rfind("raytrace/screenshot-", 0), 0u) << scene;
    EXPECT_TRUE(file_exists(image.c_str()));
    EXPECT_EQ(read_whole_file(scene), "scene\n");
    EXPECT_EQ(read_whole_file(image).substr(0, 2), "BM");

    // A file already holding the name is kept; the next free name is used.
    char stamp[32];
    screenshot_stamp(stamp, sizeof stamp);
    char first[128], next[128];
    ASSERT_EQ(free_screenshot_path(first, sizeof first, "raytrace", "screenshot", stamp, "pov"), 0);
    ASSERT_TRUE(write_whole_file(first, "kept\n"));
    ASSERT_EQ(free_screenshot_path(next, sizeof next, "raytrace", "screenshot", stamp, "pov"), 0);
    EXPECT_NE(std::string(first), std::string(next));
    EXPECT_EQ(read_whole_file(first), "kept\n");
    // Names that do not fit are refused, not cut.
    char tiny[16];
    EXPECT_EQ(free_screenshot_path(tiny, sizeof tiny, "raytrace", "screenshot", stamp, "pov"), 1);
    EXPECT_STREQ(tiny, "");
    core_outward = CoreOutward();
    screenshot_outward = ScreenshotOutward();
    EXPECT_EQ(chdir(old_dir), 0);
}

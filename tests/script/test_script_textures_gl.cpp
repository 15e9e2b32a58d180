// The script texture table against a real (software) GL context: loading,
// the full table, and the drop and reload around a new video mode.
#include "script/script_textures.h"

#include <GL/glew.h>
#include <SDL/SDL.h>
#include <gtest/gtest.h>

#include <string>

#include "render/texture.h"
#include "support/test_support.h"

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

class GlEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        ASSERT_NE(SDL_SetVideoMode(64, 64, 0, SDL_OPENGL), nullptr) << SDL_GetError();
        ASSERT_EQ(glewInit(), (GLenum)GLEW_OK);
    }
    void TearDown() override {}
};
::testing::Environment *const gl_env = ::testing::AddGlobalTestEnvironment(new GlEnvironment);

std::string solid_tga(int size, unsigned char r, unsigned char g, unsigned char b)
{
    std::string t(18, '\0');
    t[2] = 2;
    t[12] = (char)size;
    t[14] = (char)size;
    t[16] = 24;
    for (int i = 0; i < size * size; i++) {
        t.push_back((char)b);
        t.push_back((char)g);
        t.push_back((char)r);
    }
    return t;
}

class ScriptTexturesGl : public ::testing::Test {
protected:
    ScriptTextureTable table{};
    std::string image;

    void SetUp() override
    {
        init_script_textures(&table);
        script_gl_ready = 1;
        image = test_tmp_path("script_texture_red.tga");
        ASSERT_TRUE(write_whole_file(image, solid_tga(8, 255, 0, 0)));
    }
    void TearDown() override
    {
        destroy_script_textures(&table);
        script_gl_ready = 0;
    }
};

}  // namespace

TEST_F(ScriptTexturesGl, SamePathSameSlotAndAFullTableRefuses)
{
    int slot = find_or_load_script_texture(&table, image.c_str());
    ASSERT_EQ(0, slot);
    ASSERT_NE(nullptr, get_script_texture(&table, 0));
    EXPECT_NE(0u, get_script_texture(&table, 0)->id);
    EXPECT_EQ(0, find_or_load_script_texture(&table, image.c_str()));

    // A missing file still takes its slot (it draws as nothing).
    for (int i = 1; i < SCRIPT_TEXTURE_SLOTS; i++) {
        std::string missing = test_tmp_path(("missing_" + std::to_string(i) + ".tga").c_str());
        ASSERT_EQ(i, find_or_load_script_texture(&table, missing.c_str()));
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(-1, find_or_load_script_texture(&table, "data/script/one_more.tga"));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Texture slots full\n"), std::string::npos) << err;
    EXPECT_EQ(nullptr, get_script_texture(&table, -1));
    EXPECT_EQ(nullptr, get_script_texture(&table, SCRIPT_TEXTURE_SLOTS));
}

TEST_F(ScriptTexturesGl, UnloadAndReloadKeepEverySlot)
{
    std::string second = test_tmp_path("script_texture_green.tga");
    ASSERT_TRUE(write_whole_file(second, solid_tga(8, 0, 255, 0)));
    ASSERT_EQ(0, find_or_load_script_texture(&table, image.c_str()));
    ASSERT_EQ(1, find_or_load_script_texture(&table, second.c_str()));

    // Before a new video mode: the textures go, the paths stay.
    unload_script_textures(&table);
    EXPECT_EQ(nullptr, get_script_texture(&table, 0));
    EXPECT_EQ(nullptr, get_script_texture(&table, 1));
    EXPECT_EQ(image, table.paths[0]);

    reload_script_textures(&table);
    for (int slot = 0; slot < 2; slot++) {
        Texture *t = get_script_texture(&table, slot);
        ASSERT_NE(nullptr, t) << slot;
        EXPECT_NE(0u, t->id) << slot;
        EXPECT_EQ(8, t->width);
    }
    // The same image in the same slot: red stays in 0, green in 1.
    const uint8_t *red = get_script_texture(&table, 0)->pixels;
    const uint8_t *green = get_script_texture(&table, 1)->pixels;
    ASSERT_TRUE(red && green);
    EXPECT_EQ(0, red[1]);
    EXPECT_EQ(255, green[1]);
    EXPECT_EQ(0, find_or_load_script_texture(&table, image.c_str()));
    EXPECT_EQ(1, find_or_load_script_texture(&table, second.c_str()));
    // A second reload loads nothing twice.
    Texture *kept = get_script_texture(&table, 1);
    reload_script_textures(&table);
    EXPECT_EQ(kept, get_script_texture(&table, 1));

    free_script_texture(&table, 1);
    EXPECT_EQ(nullptr, get_script_texture(&table, 1));
    EXPECT_EQ('\0', table.paths[1][0]);
}

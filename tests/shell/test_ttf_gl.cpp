// TrueType text against a real (software) GL context: the glyph cache,
// where aligned and UTF-16 text lands, byte-order marks, empty texts and
// characters the font cannot render.
#include "shell/ttf_text.h"

#include <SDL/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/text.h"
#include "platform/camera.h"
#include "render/gl_draw.h"
#include "support/test_support.h"

// The program's leak suppressions for the X and GL libraries are the ones
// of test_app_gl.cpp, linked into the same test program.

namespace {

const int W = 400, H = 120;

// The window and the fonts are made once per process, by the first test of
// this suite that runs (each test has a process of its own).
class TtfGl : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        ASSERT_NE(SDL_SetVideoMode(W, H, 0, SDL_OPENGL), nullptr) << SDL_GetError();
        ASSERT_EQ(glewInit(), (GLenum)GLEW_OK);
        view_width = W;
        view_height = H;
        set_font_root((std::string(source_dir()) + "/").c_str());
        ASSERT_EQ(init_font_ttf(), 0);
    }
    static void TearDownTestSuite() { close_fonts(); }
};

void clear_black()
{
    glViewport(0, 0, W, H);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// Columns and rows of the lit pixels (window coordinates, row 0 at top).
struct Lit { int x0, x1, y0, y1, count; };
Lit lit_pixels()
{
    glFinish();
    static uint8_t p[W * H * 4];
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, p);
    Lit l = {W, -1, H, -1, 0};
    for (int gy = 0; gy < H; gy++)
        for (int x = 0; x < W; x++)
            if (p[(gy * W + x) * 4] > 100) {
                int y = H - 1 - gy;
                l.count++;
                l.x0 = x < l.x0 ? x : l.x0;
                l.x1 = x > l.x1 ? x : l.x1;
                l.y0 = y < l.y0 ? y : l.y0;
                l.y1 = y > l.y1 ? y : l.y1;
            }
    return l;
}

template <typename Draw> Lit drawn(Draw draw)
{
    clear_black();
    begin_2d();
    set_draw_color(1, 1, 1, 1);
    draw();
    end_2d();
    return lit_pixels();
}

TEST_F(TtfGl, FirstUseRendersSecondUseFindsTheCache)
{
    int before = FontTable[1].glyph_count;
    const GlyphEntry *a = glyph(1, 'Q');
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(FontTable[1].glyph_count, before + 1);
    EXPECT_NE(a->texture, 0u);
    EXPECT_GT(a->width, 0);
    EXPECT_EQ(a->texture_width, next_pow2(a->width + 1));
    EXPECT_EQ(a->texture_height, next_pow2(a->height));
    EXPECT_GE(FontTable[1].widest, a->width);
    unsigned int texture = a->texture;
    const GlyphEntry *again = glyph(1, 'Q');
    EXPECT_EQ(FontTable[1].glyph_count, before + 1);
    EXPECT_EQ(again->texture, texture);

    // The cache grows past its first 20 entries by steps of 20.
    for (int c = 'a'; c <= 'z'; c++)
        ASSERT_NE(glyph(1, c), nullptr);
    EXPECT_GE(FontTable[1].glyph_count, 27);
    EXPECT_EQ(FontTable[1].glyph_capacity % GLYPH_CACHE_STEP, 0);
    EXPECT_GE(FontTable[1].glyph_capacity, FontTable[1].glyph_count);
    EXPECT_EQ(glyph(1, 'a')->code, 'a');
}

TEST_F(TtfGl, LeftRightAndCentredTextLandWhereMeasured)
{
    const char *text = "HHH";
    int w = text_width(1, text);
    ASSERT_GT(w, 0);

    Lit left = drawn([&] { draw_text(1, 20, 10, text); });
    ASSERT_GT(left.count, 0);
    EXPECT_NEAR(left.x0, 20, 3);
    EXPECT_GE(left.y0, 10);

    Lit right = drawn([&] { draw_text_right(1, 10, 10, text); });
    ASSERT_GT(right.count, 0);
    // Starts at window width - 10 - width, so it ends about 10 pixels in.
    EXPECT_NEAR(right.x0 - left.x0, (W - 10 - w) - 20, 1);
    EXPECT_NEAR(right.x1, W - 10, 4);

    Lit centred = drawn([&] { draw_text_centred_offset(1, 10, text, 30); });
    EXPECT_NEAR(centred.x0 - left.x0, (W / 2 - w / 2 + 30) - 20, 1);
    EXPECT_FLOAT_EQ(text_centre_x(1, text), W / 2.0f - w / 2.0f);
    EXPECT_FLOAT_EQ(text_centre_x(1, ""), W / 2.0f);

    Lit fixed = drawn([&] { draw_text_centred_fixed(1, 10, text); });
    EXPECT_GT(fixed.count, 0);
    Lit bold = drawn([&] { draw_bold_text(20, 10, text); });
    EXPECT_EQ(bold.x0, left.x0);
    EXPECT_GT(bold.count, left.count);

    EXPECT_EQ(text_fit_length(1, "HHHHHH", 0), 0);
    EXPECT_EQ(text_fit_length(1, "HHHHHH", w), 3);
    EXPECT_EQ(text_fit_length(1, "HHHHHH", 10000), 6);
}

TEST_F(TtfGl, ByteOrderMarksAreNeitherDrawnNorCounted)
{
    const uint16_t plain[] = {'A', 'b', 0};
    const uint16_t marked[] = {0xFEFF, 'A', 0xFFFE, 'b', 0xFEFF, 0};
    EXPECT_EQ(wide_text_width(2, marked), wide_text_width(2, plain));
    EXPECT_FLOAT_EQ(wide_text_centre_x(2, marked), wide_text_centre_x(2, plain));
    Lit a = drawn([&] { draw_wide_text_font(2, 30, 5, plain); });
    Lit b = drawn([&] { draw_wide_text_font(2, 30, 5, marked); });
    ASSERT_GT(a.count, 0);
    EXPECT_EQ(a.x0, b.x0);
    EXPECT_EQ(a.x1, b.x1);
    EXPECT_EQ(a.count, b.count);
    Lit ca = drawn([&] { draw_wide_text_centred(2, 5, plain); });
    Lit cb = drawn([&] { draw_wide_text_centred(2, 5, marked); });
    EXPECT_EQ(ca.x0, cb.x0);
    EXPECT_EQ(ca.count, cb.count);
    EXPECT_NEAR(ca.x0, W / 2 - wide_text_width(2, plain) / 2, 4);
}

TEST_F(TtfGl, EmptyTextsDrawNothing)
{
    const uint16_t empty16[] = {0};
    const uint16_t marks_only[] = {0xFEFF, 0};
    struct { const char *name; Lit lit; } cases[] = {
        {"draw_text", drawn([] { draw_text(1, 10, 10, ""); })},
        {"right", drawn([] { draw_text_right(1, 10, 10, ""); })},
        {"centred", drawn([] { draw_text_centred(0, 10, ""); })},
        {"fixed", drawn([] { draw_text_centred_fixed(0, 10, ""); })},
        {"null", drawn([] { draw_text(1, 10, 10, nullptr); })},
        {"wide", drawn([&] { draw_wide_text(10, 10, empty16); })},
        {"wide marks", drawn([&] { draw_wide_text(10, 10, marks_only); })},
        {"wide centred", drawn([&] { draw_wide_text_centred(1, 10, empty16); })},
        {"no font", drawn([] { draw_text(4, 10, 10, "abc"); })},
    };
    for (auto &c : cases)
        EXPECT_EQ(c.lit.count, 0) << c.name;
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
}

TEST_F(TtfGl, UnrenderableCharacterCountsNothingAndIsReportedOnce)
{
    // A zero-width space: SDL_ttf will not render a zero-width text.
    const uint16_t zw = 0x200B;
    testing::internal::CaptureStderr();
    const GlyphEntry *e = glyph(1, zw);
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_NE(e, nullptr);
    if (e->texture != 0)
        GTEST_SKIP() << "this font renders U+200B";
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(e->width, 0);
    glyph(1, 'A');
    glyph(1, 'b');
    int count = FontTable[1].glyph_count;
    testing::internal::CaptureStderr();
    const uint16_t text[] = {'A', zw, 'b', 0};
    const uint16_t plain[] = {'A', 'b', 0};
    EXPECT_EQ(wide_text_width(1, text), wide_text_width(1, plain));
    Lit a = drawn([&] { draw_wide_text(30, 5, plain); });
    Lit b = drawn([&] { draw_wide_text(30, 5, text); });
    EXPECT_EQ(a.count, b.count);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(FontTable[1].glyph_count, count);
    // The font stays open and other characters still render.
    EXPECT_NE(glyph(1, 'Z')->texture, 0u);
}

TEST_F(TtfGl, HighBytesAreReadInTheLocalCharacterSet)
{
    // The process starts in the plain set: a byte above 0x7F is no
    // character of it and shows as '?', never as the glyph of its value.
    const char latin1[] = {(char)0xE9, 0};
    const GlyphEntry *mark = glyph(1, '?');
    ASSERT_NE(mark, nullptr);
    EXPECT_EQ(text_width(1, latin1), mark->width);
    const GlyphEntry *e = glyph(1, 0xE9);
    ASSERT_NE(e, nullptr);
    EXPECT_NE(e->width, mark->width);

    // In a UTF-8 locale, taken from the environment as the program takes
    // it, the two bytes of e-acute are its one character, 233.
    unsetenv("LC_ALL");
    unsetenv("LC_CTYPE");
    setenv("LANG", "C.UTF-8", 1);
    ASSERT_EQ(use_environment_charset(), 0);
    const char utf8[] = "\xC3\xA9";
    EXPECT_EQ(text_width(1, utf8), e->width);
    EXPECT_EQ(text_fit_length(1, "\xC3\xA9\xC3\xA9", e->width), 2);   // one whole character
    EXPECT_EQ(text_width(1, latin1), mark->width);
}

TEST_F(TtfGl, ReopeningDropsTheCaches)
{
    glyph(0, 'x');
    ASSERT_GT(FontTable[0].glyph_count, 0);
    ASSERT_EQ(init_font_ttf(), 0);
    EXPECT_EQ(FontTable[0].glyph_count, 0);
    EXPECT_EQ(FontTable[0].widest, 0);
    EXPECT_NE(glyph(0, 'x')->texture, 0u);
}

}   // namespace

// TrueType text without a GL context: powers of two, font start-up
// failures, the decal text surface and the surface pixel helpers.
#include "shell/ttf_text.h"

#include <SDL/SDL.h>
#include <SDL/SDL_ttf.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/test_support.h"

namespace {

std::string font_root() { return std::string(source_dir()) + "/"; }

TEST(TtfText, NextPowerOfTwo)
{
    struct Case { int n, p; } cases[] = {
        {-5, 1}, {0, 1}, {1, 1}, {2, 2}, {3, 4}, {17, 32}, {64, 64}, {65, 128},
        {0x7fffffff, 1 << 30},
    };
    for (const Case &c : cases)
        EXPECT_EQ(next_pow2(c.n), c.p) << c.n;
}

TEST(TtfText, MissingFontFileFailsWithItsSlot)
{
    set_font_root("/nonexistent/");
    testing::internal::CaptureStderr();
    EXPECT_EQ(init_font_ttf(), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "init_font_ttf: Error with loading font 0\n");
    EXPECT_EQ(FontTable[0].font, nullptr);
    EXPECT_EQ(font_height(0), 0);
    close_fonts();

    set_font_root(font_root().c_str());
    ASSERT_EQ(init_font_ttf(), 0);
    for (int s = 0; s < 4; s++) {
        EXPECT_NE(FontTable[s].font, nullptr) << s;
        EXPECT_GT(font_height(s), 0) << s;
        EXPECT_EQ(FontTable[s].glyph_capacity, GLYPH_CACHE_START);
    }
    EXPECT_EQ(FontTable[4].font, nullptr);
    EXPECT_GT(font_height(0), font_height(1));
    // Out-of-range slots measure nothing.
    EXPECT_EQ(font_height(-1), 0);
    EXPECT_EQ(font_height(5), 0);
    EXPECT_EQ(text_width(9, "abc"), 0);
    close_fonts();
    EXPECT_EQ(FontTable[0].font, nullptr);
}

TEST(TtfText, DecalSizesFollowKindAndLength)
{
    struct Case { int kind; const char *text; int size; } cases[] = {
        {6, "abcd", 160}, {6, "abcde", 80}, {9, "x", 160}, {15, "x", 160}, {20, "longer", 80},
        {11, "abcd", 44}, {12, "abcdef", 22}, {1, "abc", 1}, {21, "abc", 1}, {14, "abc", 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(decal_text_size(c.kind, c.text), c.size) << c.kind << " " << c.text;
}

// Bounding box of the non-white pixels of a 4-byte surface.
struct Box { int x0, y0, x1, y1, dark; };
Box dark_box(const uint8_t *p, int w, int h, int depth)
{
    Box b = {w, h, -1, -1, 0};
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (p[(y * w + x) * depth] < 128) {
                b.dark++;
                b.x0 = x < b.x0 ? x : b.x0;
                b.y0 = y < b.y0 ? y : b.y0;
                b.x1 = x > b.x1 ? x : b.x1;
                b.y1 = y > b.y1 ? y : b.y1;
            }
    return b;
}

TEST(TtfText, DecalTextIsBlackAndCentredOnWhite)
{
    set_font_root(font_root().c_str());
    uint8_t *p = render_text_texture("Hi", 6, 512, 512, 4);
    ASSERT_NE(p, nullptr);
    Box b = dark_box(p, 512, 512, 4);
    EXPECT_GT(b.dark, 100);
    // Centred within a few pixels each way.
    EXPECT_NEAR((b.x0 + b.x1) / 2.0, 256, 12);
    EXPECT_NEAR((b.y0 + b.y1) / 2.0, 256, 40);
    EXPECT_EQ(p[3], 255);       // alpha stays opaque
    EXPECT_EQ(p[0], 255);       // corners stay white
    free(p);

    // A text larger than the surface is clipped to it, not written past it.
    p = render_text_texture("WWWWWWWWWWWWWW", 6, 64, 32, 3);
    ASSERT_NE(p, nullptr);
    EXPECT_GT(dark_box(p, 64, 32, 3).dark, 0);
    free(p);

    // An empty text gives a white surface; bad sizes and depths give none.
    p = render_text_texture("", 6, 8, 8, 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(dark_box(p, 8, 8, 1).dark, 0);
    free(p);
    EXPECT_EQ(render_text_texture("a", 6, 0, 8, 4), nullptr);
    EXPECT_EQ(render_text_texture("a", 6, 8, -1, 4), nullptr);
    EXPECT_EQ(render_text_texture("a", 6, 8, 8, 5), nullptr);
    EXPECT_EQ(render_text_texture("a", 6, 8, 8, 0), nullptr);
}

TEST(TtfText, PixelHelpersForEveryDepth)
{
    for (int bytes = 1; bytes <= 4; bytes++) {
        SDL_Surface *s = SDL_CreateRGBSurface(SDL_SWSURFACE, 5, 3, bytes * 8, 0, 0, 0, 0);
        ASSERT_NE(s, nullptr) << bytes;
        uint32_t value = bytes == 1 ? 0x7f : bytes == 2 ? 0x1234 : 0x00a1b2c3;
        put_pixel(s, 4, 2, value);
        EXPECT_EQ(get_pixel(s, 4, 2), value) << bytes;
        EXPECT_EQ(get_pixel(s, 0, 0), 0u) << bytes;
        // Outside the surface: nothing written, 0 read.
        put_pixel(s, 5, 0, value);
        put_pixel(s, -1, 0, value);
        EXPECT_EQ(get_pixel(s, 5, 0), 0u);
        EXPECT_EQ(get_pixel(s, 0, -1), 0u);
        SDL_FreeSurface(s);
    }
}

}   // namespace

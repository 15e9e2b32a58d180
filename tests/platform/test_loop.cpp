#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <cstring>
#include <string>
#include <vector>

#include "platform/loop.h"

namespace {

TEST(Pacing, SleepsForTheRestOfSixteenMilliseconds)
{
    const int cases[][2] = {{0, 16}, {5, 11}, {15, 1}, {16, 0}, {20, 0}, {1000, 0},
                            {-3, 16}};
    for (const auto &c : cases)
        EXPECT_EQ(pacing_delay(c[0]), c[1]) << "interval " << c[0];
}

// Runs the frame clock over a list of ticks and returns the skip pattern.
std::string run_clock(const std::vector<int32_t> &ticks, int frameskip)
{
    FrameClock clock = {0, 0, 1, 0};
    std::string pattern;
    for (int32_t t : ticks)
        pattern += frame_clock_step(&clock, t, frameskip, nullptr) ? 'S' : 'D';
    return pattern;
}

TEST(FrameSkip, Patterns)
{
    struct Case {
        const char *what;
        std::vector<int32_t> ticks;
        int frameskip;
        const char *pattern;
    };
    const Case cases[] = {
        {"on time", {0, 16, 32, 48, 64}, 1, "DDDDD"},
        {"every frame 30 ms late alternates", {0, 30, 60, 90, 120, 150}, 1, "DSDSDS"},
        {"just within 17 ms", {0, 17, 34}, 1, "DDD"},
        // After a skip the reference lies ahead of the clock; a quick frame
        // next is drawn, not taken for an enormous delay.
        {"quick frame after a skip", {0, 30, 45, 61}, 1, "DSDD"},
        {"off never skips", {0, 100, 300}, 0, "DDD"},
        {"near the top of the tick range",
         {0x7ffffff0, (int32_t)0x7ffffff0 + 30, (int32_t)0x7ffffff0 + 45}, 1, "DSD"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(run_clock(c.ticks, c.frameskip), c.pattern) << c.what;
}

TEST(FrameSkip, TurningItOnStartsFromTheCurrentTick)
{
    FrameClock clock = {0, 0, 1, 0};
    int32_t delta = -1;
    EXPECT_EQ(frame_clock_step(&clock, 1000, 0, &delta), 0);
    EXPECT_EQ(delta, 0);
    EXPECT_EQ(frame_clock_step(&clock, 5000, 0, &delta), 0);
    EXPECT_EQ(delta, 4000);
    // Switched on long after the last drawn frame: no skip for the old gap.
    EXPECT_EQ(frame_clock_step(&clock, 5016, 1, &delta), 0);
    EXPECT_EQ(frame_clock_step(&clock, 5050, 1, &delta), 1);
    EXPECT_EQ(delta, 34);
}

TEST(FullScreenKey, OnRelease)
{
    struct Case { int sym, mod, toggles; };
    const Case cases[] = {
        {SDLK_RETURN, KMOD_LCTRL, 1},
        {SDLK_RETURN, KMOD_RCTRL, 1},
        {SDLK_RETURN, KMOD_LCTRL | KMOD_LSHIFT, 0},
        {SDLK_RETURN, KMOD_LCTRL | KMOD_RCTRL, 0},
        {SDLK_RETURN, KMOD_LCTRL | KMOD_NUM, 1},
        {SDLK_RETURN, KMOD_NONE, 0},
        {SDLK_KP_ENTER, KMOD_LCTRL | KMOD_NUM, 1},
        {SDLK_KP_ENTER, KMOD_LCTRL, 0},
        {SDLK_KP_ENTER, KMOD_RCTRL | KMOD_NUM, 0},
        {SDLK_a, KMOD_LCTRL, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(is_fullscreen_toggle_key(c.sym, c.mod), c.toggles)
            << "sym " << c.sym << " mod " << c.mod;
}

int bit(const uint8_t *bytes, int row, int col)
{
    return (bytes[row * 4 + col / 8] >> (7 - col % 8)) & 1;
}

TEST(Cursor, Bits)
{
    uint8_t data[128], mask[128];
    int hx = -1, hy = -1;
    ASSERT_EQ(build_cursor_bits(arrow_cursor_image, data, mask, &hx, &hy), 0);
    EXPECT_EQ(hx, 0);
    EXPECT_EQ(hy, 0);
    // Row 4 "XX.XX": black, black, white, black, black, then clear.
    const int row4[][2] = {{1, 1}, {1, 1}, {0, 1}, {1, 1}, {1, 1}, {0, 0}};
    for (int col = 0; col < 6; col++) {
        EXPECT_EQ(bit(data, 4, col), row4[col][0]) << col;
        EXPECT_EQ(bit(mask, 4, col), row4[col][1]) << col;
    }
    EXPECT_EQ(data[0], 0x80);
    EXPECT_EQ(mask[11 * 4 + 1], 0xF0);   // "XX........XX": columns 8..11
    for (int i = 19 * 4; i < 128; i++)
        EXPECT_EQ(mask[i], 0) << i;

    ASSERT_EQ(build_cursor_bits(pick_cursor_image, data, mask, &hx, &hy), 0);
    // ".XXXXXXXXXXX." at row 12: white edge, 11 black, white edge.
    EXPECT_EQ(bit(mask, 12, 0), 1);
    EXPECT_EQ(bit(data, 12, 0), 0);
    EXPECT_EQ(bit(data, 12, 11), 1);
    EXPECT_EQ(bit(data, 12, 12), 0);
    EXPECT_EQ(bit(mask, 12, 12), 1);
    EXPECT_EQ(bit(mask, 12, 13), 0);

    const char *const bad[33] = {"X", nullptr};
    EXPECT_EQ(build_cursor_bits(bad, data, mask, &hx, &hy), 1);
    EXPECT_EQ(data[0], 0x80);
}

TEST(Caption, BoundedAndFormatted)
{
    char text[256];
    format_fps_caption(text, sizeof text, "3.24", 100, 1600);
    EXPECT_STREQ(text, "ZYLOMACH 3.24 fps:62");
    format_fps_caption(text, sizeof text, "3.24", 100, 0);   // no division by zero
    EXPECT_STREQ(text, "ZYLOMACH 3.24 fps:100000");
    char small[12];
    format_fps_caption(small, sizeof small, "a long caption", 100, 1000);
    EXPECT_STREQ(small, "ZYLOMACH a ");

    std::string longer(300, 'c');
    set_caption_text(longer.c_str());
    EXPECT_EQ(strlen(caption_text), (size_t)CAPTION_TEXT - 1);
    set_caption_text(nullptr);
    EXPECT_STREQ(caption_text, "");
}

}  // namespace

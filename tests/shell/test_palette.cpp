// Colour palette, belts and status prefixes.
#include "shell/palette.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(Palette, RowsAreNumberedAndEndWithANullName)
{
    for (int i = 0; i < PALETTE_ROWS; i++) {
        ASSERT_NE(ColourPalette[i].name, nullptr) << i;
        EXPECT_EQ(ColourPalette[i].number, i + 1) << ColourPalette[i].name;
    }
    EXPECT_EQ(ColourPalette[PALETTE_ROWS].name, nullptr);
}

TEST(Palette, SampleRows)
{
    struct Case { int row; const char *name; float r, g, b; } cases[] = {
        {0, "none", 1, 1, 1},          {7, "black", 0.01f, 0.01f, 0.01f},
        {20, "blood", 0.65f, 0.02f, 0.14f}, {25, "fracture", 0.5f, 0.5f, 1},
        {33, "gold", 1.3f, 1, 0.3f},   {50, "pure", 1.3f, 1.3f, 1.3f},
        {58, "menu_text_disabled", 0.5f, 0.5f, 0.5f},
        {66, "msg_url", 0.16f, 0.66f, 0.86f}, {67, "msg_urlsel", 1, 0, 1},
    };
    for (const Case &c : cases) {
        char name[32];
        get_colour_name(c.row, name, sizeof name);
        EXPECT_STREQ(name, c.name);
        float rgb[3];
        get_colour_rgb(c.row, rgb);
        EXPECT_FLOAT_EQ(rgb[0], c.r) << c.name;
        EXPECT_FLOAT_EQ(rgb[1], c.g) << c.name;
        EXPECT_FLOAT_EQ(rgb[2], c.b) << c.name;
        EXPECT_EQ(colour_rgb_ptr(c.row), ColourPalette[c.row].rgb);
    }
}

TEST(Palette, ClampedAndFallbackLookups)
{
    float rgb[3];
    get_colour_rgb_clamped(33, rgb);
    EXPECT_FLOAT_EQ(rgb[0], 1.0f);
    EXPECT_FLOAT_EQ(rgb[1], 1.0f);
    EXPECT_FLOAT_EQ(rgb[2], 0.3f);

    get_colour_rgb_or(0, 2, rgb);   // row 0 falls back to red
    EXPECT_FLOAT_EQ(rgb[0], 1.0f);
    EXPECT_FLOAT_EQ(rgb[1], 0.0f);
    get_colour_rgb_or(4, 2, rgb);   // blue stays
    EXPECT_FLOAT_EQ(rgb[2], 1.0f);
    EXPECT_FLOAT_EQ(rgb[0], 0.0f);

    EXPECT_EQ(colour_or_default(0, 9), 9);
    EXPECT_EQ(colour_or_default(5, 9), 5);

    // Out-of-range rows read row 0 instead of memory past the table.
    get_colour_rgb(68, rgb);
    EXPECT_FLOAT_EQ(rgb[0], 1.0f);
    get_colour_rgb(-1, rgb);
    EXPECT_FLOAT_EQ(rgb[2], 1.0f);
}

TEST(Palette, NameCopyIsBounded)
{
    char small[6];
    memset(small, 'x', sizeof small);
    get_colour_name(59, small, sizeof small);   // "msg_notype"
    EXPECT_STREQ(small, "msg_n");
}

TEST(Palette, Blends)
{
    float c[3] = {0.2f, 0.4f, 0.6f};
    blend_to_colour(0, c, 1.0f);
    EXPECT_FLOAT_EQ(c[0], 1.0f);
    EXPECT_FLOAT_EQ(c[1], 0.0f);
    EXPECT_FLOAT_EQ(c[2], 0.0f);

    float d[3] = {0, 0, 0};
    blend_to_colour(4, d, 0.5f);   // halfway to blue
    EXPECT_FLOAT_EQ(d[2], 0.5f);
    EXPECT_FLOAT_EQ(d[0], 0.0f);

    const float a[3] = {1, 0, 0}, b[3] = {0, 0, 1};
    float out[3];
    blend_rgb(a, 0.25f, b, out);
    EXPECT_FLOAT_EQ(out[0], 0.25f);
    EXPECT_FLOAT_EQ(out[2], 0.75f);
    blend_rgb(a, 1.5f, b, out);    // above 1: a unchanged
    EXPECT_FLOAT_EQ(out[0], 1.0f);
    EXPECT_FLOAT_EQ(out[2], 0.0f);
}

TEST(Belts, GradeForPoints)
{
    struct Case { int points; const char *name; int colour; const char *name_only; int to_next; } cases[] = {
        {-1, "White", 8, "", 0},
        {-1000000, "White", 8, "", 0},
        {0, "White", 8, "White", 20},
        {19, "White", 8, "White", 1},
        {20, "Yellow", 9, "Yellow", 30},
        {150, "Green", 10, "Green", 50},
        {999, "Brown", 19, "Brown", 1},
        {1000, "Black", 7, "Black", 1000},
        {9999, "9th Dan Black", 7, "9th Dan Black", 1},
        {99999, "God", 7, "God", 1},
        {999999, "One", 7, "One", 1},
        {1000000, "Elite", 7, "Elite", 0},
        {2000000000, "Elite", 7, "Elite", 0},
    };
    for (const Case &c : cases) {
        float rgb[3] = {-1, -1, -1};
        EXPECT_STREQ(belt_for_value(c.points, rgb), c.name) << c.points;
        float want[3];
        get_colour_rgb(c.colour, want);
        EXPECT_FLOAT_EQ(rgb[0], want[0]) << c.points;
        EXPECT_FLOAT_EQ(rgb[1], want[1]) << c.points;
        EXPECT_FLOAT_EQ(rgb[2], want[2]) << c.points;
        EXPECT_STREQ(belt_name_for_value(c.points), c.name_only) << c.points;
        EXPECT_EQ(points_to_next_belt(c.points), c.to_next) << c.points;
    }
}

TEST(Belts, TableIsDescendingAndNumbered)
{
    for (int r = 0; r < BELT_ROWS; r++) {
        EXPECT_EQ(BeltTable[r].number, r + 1);
        EXPECT_EQ(belt_minimum(r), BeltTable[r].minimum);
        if (r > 0) {
            EXPECT_LT(BeltTable[r].minimum, BeltTable[r - 1].minimum);
        }
    }
    EXPECT_EQ(belt_minimum(0), 1000000);
    EXPECT_EQ(belt_minimum(20), 0);
}

TEST(StatusPrefix, HighestBitWins)
{
    struct Case { int bits; char want; } cases[] = {
        {0, ' '}, {1, '+'}, {2, '*'}, {3, '*'}, {4, '#'}, {6, '#'},
        {8, '@'}, {12, '@'}, {15, '@'}, {16, ' '},
    };
    for (const Case &c : cases) {
        char out[2] = {'?', '?'};
        player_prefix_char(c.bits, out);
        EXPECT_EQ(out[0], c.want) << c.bits;
        EXPECT_EQ(out[1], '\0');
    }
}

}  // namespace

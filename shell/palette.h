// The numbered colour palette, the belt grades of a player's points and the
// one-character status prefixes of name lists.
#pragma once

enum { PALETTE_ROWS = 68, BELT_ROWS = 21, STATUS_PREFIX_ROWS = 6 };

struct PaletteColour {
    const char *name;     // null in the end row
    float rgb[3];         // red, green, blue; item colours go above 1.0
    int number;           // row index + 1
};

struct BeltRow {
    int colour;           // palette row
    int minimum;          // least points of this grade
    const char *name;
    int number;           // 1 (highest) .. 21
};

struct StatusPrefix {
    int index;
    int status_bit;
    int value;
    char prefix;
};

// 68 rows and an end row with a null name.
// Rows 51-67 are the interface colours that the world shader settings set.
extern PaletteColour ColourPalette[PALETTE_ROWS + 1];
extern const BeltRow BeltTable[BELT_ROWS];
extern const StatusPrefix StatusPrefixTable[STATUS_PREFIX_ROWS];

// Palette lookups. Row numbers outside 0..67 read row 0.
void get_colour_rgb(int i, float out[3]);
void get_colour_rgb_or(int a, int b, float out[3]);
const float *colour_rgb_ptr(int i);
void get_colour_rgb_clamped(int i, float out[3]);
int colour_or_default(int a, int b);
void blend_rgb(const float a[3], float t, const float b[3], float out[3]);
void blend_to_colour(int i, float rgb[3], float t);
// Copies the row's name into out (out_size bytes, at least 1).
void get_colour_name(int i, char *out, int out_size);

// Drawing colour from the palette (through set_draw_color).
void set_colour(int i, float alpha);
void set_colour_opaque(int i);
void set_colour_or(int a, int b);
void set_colour_rgba(const float rgba[4]);
void set_colour_rgb(const float rgb[3]);

// Belts.
const char *belt_for_value(int points, float rgb_out[3]);
const char *belt_name_for_value(int points);
int points_to_next_belt(int points);
int belt_minimum(int row);

// out receives one prefix character and a terminator (2 bytes).
void player_prefix_char(int status_bits, char out[2]);

#include "shell/palette.h"

#include "core/text.h"
#include "render/gl_draw.h"

PaletteColour ColourPalette[PALETTE_ROWS + 1] = {
    {"none", {1, 1, 1}, 1},
    {"white", {1, 1, 1}, 2},
    {"red", {1, 0, 0}, 3},
    {"dark_red", {0.58f, 0, 0}, 4},
    {"blue", {0, 0, 1}, 5},
    {"dark_blue", {0.16f, 0.66f, 0.86f}, 6},
    {"purple", {1, 0, 1}, 7},
    {"black", {0.01f, 0.01f, 0.01f}, 8},
    {"grey", {0.5f, 0.5f, 0.5f}, 9},
    {"yellow", {1, 1, 0}, 10},
    {"green", {0, 1, 0}, 11},
    {"azure", {0.2f, 0.6f, 1}, 12},
    {"teal", {0.2f, 1, 0.6f}, 13},
    {"spring", {0.6f, 1, 0.2f}, 14},
    {"violet", {0.6f, 0.2f, 1}, 15},
    {"pink", {1, 0.2f, 0.6f}, 16},
    {"orange", {1, 0.73f, 0.15f}, 17},
    {"skin", {0.95f, 0.8f, 0.8f}, 18},
    {"light_orange", {1, 0.9f, 0.3f}, 19},
    {"brown", {0.4f, 0.2f, 0}, 20},
    {"blood", {0.65f, 0.02f, 0.14f}, 21},
    {"relax", {0.93f, 0.75f, 0.65f}, 22},
    {"relax_active", {0.96f, 0.89f, 0.97f}, 23},
    {"hold", {0.85f, 0.28f, 0}, 24},
    {"hold_active", {0.88f, 0.52f, 0.32f}, 25},
    {"fracture", {0.5f, 0.5f, 1}, 26},
    {"acid", {0.7f, 1.1f, 0.1f}, 27},
    {"amethyst", {1, 0.2f, 0.95f}, 28},
    {"aqua", {0, 0.5f, 1}, 29},
    {"bronze", {0.8f, 0.4f, 0.2f}, 30},
    {"demon", {0.2f, 0.2f, 0.2f}, 31},
    {"dragon", {1, 0.2f, 0.9f}, 32},
    {"elf", {0.6f, 0, 0.9f}, 33},
    {"gold", {1.3f, 1, 0.3f}, 34},
    {"marine", {0.2f, 0.2f, 0.9f}, 35},
    {"noxious", {1.5f, 0.8f, 0.3f}, 36},
    {"orc", {0, 0.5f, 0.1f}, 37},
    {"quicksilver", {0.8f, 0.8f, 0.8f}, 38},
    {"radioactive", {0.3f, 1.4f, 1}, 39},
    {"sapphire", {0.6f, 0.9f, 1.2f}, 40},
    {"toxic", {0.3f, 1.5f, 0.3f}, 41},
    {"vampire", {1, 0, 0}, 42},
    {"chronos", {1.4f, 0.8f, 0.8f}, 43},
    {"gaia", {0.55f, 0.45f, 0.65f}, 44},
    {"gladiator", {0.75f, 0.65f, 0.5f}, 45},
    {"hydra", {0.7f, 0.3f, 0.3f}, 46},
    {"pharos", {0.9f, 1.08f, 1.4f}, 47},
    {"sphinx", {1.2f, 1, 0.5f}, 48},
    {"titan", {0.5f, 0.7f, 0.55f}, 49},
    {"typhon", {0.65f, 1, 1}, 50},
    {"pure", {1.3f, 1.3f, 1.3f}, 51},
    {"text", {0.01f, 0.01f, 0.01f}, 52},
    {"text_bg", {1, 1, 1}, 53},
    {"text_sel", {0.16f, 0.66f, 0.86f}, 54},
    {"text_disabled", {0.5f, 0.5f, 0.5f}, 55},
    {"menu_text", {0.01f, 0.01f, 0.01f}, 56},
    {"menu_text_bg", {1, 1, 1}, 57},
    {"menu_text_sel", {0.16f, 0.66f, 0.86f}, 58},
    {"menu_text_disabled", {0.5f, 0.5f, 0.5f}, 59},
    {"msg_notype", {0.01f, 0.01f, 0.01f}, 60},
    {"msg_server", {0.5f, 0.5f, 0.5f}, 61},
    {"msg_urlserver", {0, 0, 1}, 62},
    {"msg_ingame", {0.58f, 0, 0}, 63},
    {"msg_gamurl", {0, 0, 1}, 64},
    {"msg_user", {0.01f, 0.01f, 0.01f}, 65},
    {"msg_player", {0.4f, 0.2f, 0}, 66},
    {"msg_url", {0.16f, 0.66f, 0.86f}, 67},
    {"msg_urlsel", {1, 0, 1}, 68},
    {nullptr, {0, 0, 0}, 0},
};

const BeltRow BeltTable[BELT_ROWS] = {
    {7, 1000000, "Elite", 1},
    {7, 100000, "One", 2},
    {7, 50000, "God", 3},
    {7, 20000, "Custom", 4},
    {7, 15000, "Master", 5},
    {7, 10000, "10th Dan Black", 6},
    {7, 9000, "9th Dan Black", 7},
    {7, 8000, "8th Dan Black", 8},
    {7, 7000, "7th Dan Black", 9},
    {7, 6000, "6th Dan Black", 10},
    {7, 5000, "5th Dan Black", 11},
    {7, 4000, "4th Dan Black", 12},
    {7, 3000, "3rd Dan Black", 13},
    {7, 2000, "2nd Dan Black", 14},
    {7, 1000, "Black", 15},
    {19, 500, "Brown", 16},
    {4, 200, "Blue", 17},
    {10, 100, "Green", 18},
    {16, 50, "Orange", 19},
    {9, 20, "Yellow", 20},
    {8, 0, "White", 21},
};

const StatusPrefix StatusPrefixTable[STATUS_PREFIX_ROWS] = {
    {0, 0, 0, ' '}, {1, 1, 162, '+'}, {2, 2, 0, '*'},
    {3, 4, 0, '#'}, {4, 8, 12, '@'}, {5, 0, 0, ' '},
};

// A row number from outside the table reads row 0 rather than memory past it.
static const PaletteColour &palette_row(int i)
{
    if (i < 0 || i >= PALETTE_ROWS)
        i = 0;
    return ColourPalette[i];
}

void get_colour_rgb(int i, float out[3])
{
    const PaletteColour &row = palette_row(i);
    for (int k = 0; k < 3; k++)
        out[k] = row.rgb[k];
}

void get_colour_rgb_or(int a, int b, float out[3])
{
    get_colour_rgb(a != 0 ? a : b, out);
}

const float *colour_rgb_ptr(int i)
{
    return palette_row(i).rgb;
}

void get_colour_rgb_clamped(int i, float out[3])
{
    const PaletteColour &row = palette_row(i);
    for (int k = 0; k < 3; k++)
        out[k] = row.rgb[k] > 1.0f ? 1.0f : row.rgb[k];
}

int colour_or_default(int a, int b)
{
    return a != 0 ? a : b;
}

void blend_rgb(const float a[3], float t, const float b[3], float out[3])
{
    for (int k = 0; k < 3; k++)
        out[k] = t > 1.0f ? a[k] : t * a[k] + (1.0f - t) * b[k];
}

void blend_to_colour(int i, float rgb[3], float t)
{
    static const float red[3] = {1, 0, 0};
    const float *target = i == 0 ? red : palette_row(i).rgb;
    for (int k = 0; k < 3; k++)
        rgb[k] = t * target[k] + (1.0f - t) * rgb[k];
}

void get_colour_name(int i, char *out, int out_size)
{
    if (!out || out_size < 1)
        return;
    n_strncpyz(out, palette_row(i).name, out_size);
}

void set_colour(int i, float alpha)
{
    const float *c = palette_row(i).rgb;
    set_draw_color(c[0], c[1], c[2], alpha);
}

void set_colour_opaque(int i)
{
    set_colour(i, 1.0f);
}

void set_colour_or(int a, int b)
{
    set_colour(a != 0 ? a : b, 1.0f);
}

void set_colour_rgba(const float rgba[4])
{
    set_draw_color(rgba[0], rgba[1], rgba[2], rgba[3]);
}

void set_colour_rgb(const float rgb[3])
{
    set_draw_color(rgb[0], rgb[1], rgb[2], 1.0f);
}

static int belt_row_for(int points)
{
    for (int r = 0; r < BELT_ROWS; r++)
        if (BeltTable[r].minimum <= points)
            return r;
    return -1;
}

const char *belt_for_value(int points, float rgb_out[3])
{
    int r = belt_row_for(points);
    if (r < 0) {
        if (rgb_out)
            get_colour_rgb(8, rgb_out);
        return "White";
    }
    if (rgb_out)
        get_colour_rgb(BeltTable[r].colour, rgb_out);
    return BeltTable[r].name;
}

const char *belt_name_for_value(int points)
{
    int r = belt_row_for(points);
    return r < 0 ? "" : BeltTable[r].name;
}

int points_to_next_belt(int points)
{
    int r = belt_row_for(points);
    if (r <= 0)
        return 0;
    return BeltTable[r - 1].minimum - points;
}

int belt_minimum(int row)
{
    if (row < 0 || row >= BELT_ROWS)
        return 0;
    return BeltTable[row].minimum;
}

void player_prefix_char(int status_bits, char out[2])
{
    char c = ' ';
    if (status_bits & 8)
        c = '@';
    else if (status_bits & 4)
        c = '#';
    else if (status_bits & 2)
        c = '*';
    else if (status_bits & 1)
        c = '+';
    out[0] = c;
    out[1] = '\0';
}

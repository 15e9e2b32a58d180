// TrueType text: five font slots opened through SDL_ttf, a per-slot glyph
// cache with one GL texture per character, and the 2D text drawers built on
// it (left, right, centred, fixed-advance and UTF-16 forms), the decal text
// surface and small surface pixel helpers. All drawing happens between
// begin_2d and end_2d, in window pixels with the origin at the top left.
#pragma once

#include <cstdint>

struct SDL_Surface;
typedef struct _TTF_Font TTF_Font;

enum { FONT_SLOTS = 5, GLYPH_CACHE_START = 20, GLYPH_CACHE_STEP = 20 };

struct GlyphEntry {
    int code;                // character code (16-bit unit)
    unsigned int texture;    // GL texture name; 0 when the character could not be rendered
    int texture_width;       // powers of two
    int texture_height;
    int width;               // the rendered glyph's size (0 for a failed character)
    int height;
};

struct FontSlot {
    const char *path;        // null for an empty slot
    int size;                // point size
    float scale;
    int widest;              // widest glyph width rendered so far
    int line_height;         // from SDL_ttf
    int fade;                // alpha fades towards the bottom of each glyph
    int smooth;              // linear texture filtering
    TTF_Font *font;
    GlyphEntry *glyphs;
    int glyph_count;
    int glyph_capacity;
    int id;
};

extern FontSlot FontTable[FONT_SLOTS];

// Prefix put before each slot's path when the fonts are opened ("" from
// start-up, so the paths are taken from the working folder); at most 255 bytes.
void set_font_root(const char *root);

// Opens every slot with a file (closing what is open first). Returns 0 when
// all opened; 1 after "init_font_ttf: Error with loading font %i" for the
// first slot that failed.
int init_font_ttf();
int init_fonts();
void close_fonts();

int font_height(int slot);
// The width one character column takes in a font (its widest letter; 8
// when the font is not loaded). The console layout counts in font 1.
int font_char_advance(int slot);
// Smallest power of two not below n, at least 1 (at most 1 << 30).
int next_pow2(int n);

// The cache entry of a character, rendered first when missing. Null for a
// slot without an open font.
const GlyphEntry *glyph(int slot, int code);
void draw_glyph(int slot, float x, float y, int code);

// 8-bit text; bytes are taken as unsigned character codes 0..255.
void draw_text(int slot, float x, float y, const char *text);
void draw_text_font(int slot, float x, float y, const char *text);
void draw_bold_text(float x, float y, const char *text);
// x counted from the window's right edge.
void draw_text_right(int slot, int x, int y, const char *text);
void draw_text_centred(int slot, int y, const char *text);
void draw_text_centred_offset(int slot, int y, const char *text, int offset);
void draw_text_centred_fixed(int slot, int y, const char *text);
int text_width(int slot, const char *text);
// How many leading bytes of text fit into width pixels: whole characters
// of the local character set, so the text can be cut there.
int text_fit_length(int slot, const char *text, int width);
float text_centre_x(int slot, const char *text);

// UTF-16 text; the byte-order marks 0xFEFF and 0xFFFE are skipped.
void draw_wide_text(float x, float y, const uint16_t *text);
void draw_wide_text_font(int slot, float x, float y, const uint16_t *text);
void draw_wide_text_centred(int slot, int y, const uint16_t *text);
int wide_text_width(int slot, const uint16_t *text);
float wide_text_centre_x(int slot, const uint16_t *text);

// The decal surface: width x height x depth bytes (malloc'd, white), with
// text in black centred on it. Null for a bad size or depth.
uint8_t *render_text_texture(const char *text, int kind, int width, int height, int depth);
// The point size of a decal text of the given kind.
int decal_text_size(int kind, const char *text);

// Surface pixels of 1, 2, 3 or 4 bytes; coordinates outside the surface
// are ignored (put) or read as 0 (get). The surface must be locked when
// it needs locking.
void put_pixel(SDL_Surface *surface, int x, int y, uint32_t pixel);
uint32_t get_pixel(SDL_Surface *surface, int x, int y);
void dump_surface(SDL_Surface *surface);

// Points the renderer's text hooks (HUD text, decal text, font start and
// end) at this module.
void bind_ttf_text();

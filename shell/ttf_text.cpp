#include "shell/ttf_text.h"

#include <SDL/SDL.h>
#include <SDL/SDL_ttf.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/text.h"

#include "platform/camera.h"
#include "render/gl_draw.h"
#include "render/hud.h"
#include "render/scene.h"
#include "render/texture.h"

FontSlot FontTable[FONT_SLOTS] = {
    {"data/fonts/zylomach.ttf", 58, 1.0f, 0, 0, 1, 0, nullptr, nullptr, 0, 0, 1},
    {"data/fonts/ascii.ttf", 16, 1.0f, 0, 0, 0, 1, nullptr, nullptr, 0, 0, 2},
    {"data/fonts/zylomach.ttf", 24, 1.0f, 0, 0, 1, 1, nullptr, nullptr, 0, 0, 3},
    {"data/fonts/zylomach.ttf", 58, 1.0f, 0, 0, 0, 1, nullptr, nullptr, 0, 0, 5},
    {nullptr, 0, 1.0f, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0},
};

static char font_root[256];

void set_font_root(const char *root)
{
    snprintf(font_root, sizeof font_root, "%s", root ? root : "");
}

static void font_path(const char *path, char *out, int size)
{
    snprintf(out, (size_t)size, "%s%s", font_root, path);
}

static FontSlot *open_slot(int slot)
{
    if (slot < 0 || slot >= FONT_SLOTS || !FontTable[slot].font)
        return nullptr;
    return &FontTable[slot];
}

// ---- start and end -------------------------------------------------------------

void close_fonts()
{
    for (int s = 0; s < FONT_SLOTS; s++) {
        FontSlot *f = &FontTable[s];
        for (int i = 0; i < f->glyph_count; i++)
            if (f->glyphs[i].texture)
                glDeleteTextures(1, &f->glyphs[i].texture);
        free(f->glyphs);
        f->glyphs = nullptr;
        f->glyph_count = f->glyph_capacity = 0;
        if (f->font)
            TTF_CloseFont(f->font);
        f->font = nullptr;
        f->widest = 0;
        f->line_height = 0;
    }
}

int init_font_ttf()
{
    close_fonts();
    if (!TTF_WasInit() && TTF_Init() != 0) {
        fprintf(stderr, "%s\n", TTF_GetError());
        return 1;
    }
    for (int s = 0; s < FONT_SLOTS; s++) {
        FontSlot *f = &FontTable[s];
        if (!f->path)
            continue;
        char path[512];
        font_path(f->path, path, sizeof path);
        f->font = TTF_OpenFont(path, f->size);
        if (!f->font) {
            fprintf(stderr, "init_font_ttf: Error with loading font %i\n", s);
            return 1;
        }
        TTF_SetFontStyle(f->font, TTF_STYLE_NORMAL);
        f->glyphs = (GlyphEntry *)calloc(GLYPH_CACHE_START, sizeof(GlyphEntry));
        f->glyph_capacity = f->glyphs ? GLYPH_CACHE_START : 0;
        f->glyph_count = 0;
        f->line_height = TTF_FontLineSkip(f->font);
    }
    return 0;
}

int init_fonts() { return init_font_ttf(); }

int font_height(int slot)
{
    FontSlot *f = open_slot(slot);
    return f ? f->line_height : 0;
}

int next_pow2(int n)
{
    int p = 1;
    while (p < n && p < (1 << 30))
        p <<= 1;
    return p;
}

// ---- pixels --------------------------------------------------------------------

void put_pixel(SDL_Surface *surface, int x, int y, uint32_t pixel)
{
    if (!surface || x < 0 || y < 0 || x >= surface->w || y >= surface->h)
        return;
    int bpp = surface->format->BytesPerPixel;
    uint8_t *p = (uint8_t *)surface->pixels + y * surface->pitch + x * bpp;
    switch (bpp) {
    case 1: *p = (uint8_t)pixel; break;
    case 2: { uint16_t v = (uint16_t)pixel; memcpy(p, &v, 2); break; }
    case 3:
        p[surface->format->Rshift / 8] = (uint8_t)(pixel >> surface->format->Rshift);
        p[surface->format->Gshift / 8] = (uint8_t)(pixel >> surface->format->Gshift);
        p[surface->format->Bshift / 8] = (uint8_t)(pixel >> surface->format->Bshift);
        break;
    case 4: memcpy(p, &pixel, 4); break;
    default: break;
    }
}

uint32_t get_pixel(SDL_Surface *surface, int x, int y)
{
    if (!surface || x < 0 || y < 0 || x >= surface->w || y >= surface->h)
        return 0;
    int bpp = surface->format->BytesPerPixel;
    const uint8_t *p = (const uint8_t *)surface->pixels + y * surface->pitch + x * bpp;
    switch (bpp) {
    case 1: return *p;
    case 2: { uint16_t v; memcpy(&v, p, 2); return v; }
    case 3:
        return ((uint32_t)p[surface->format->Rshift / 8] << surface->format->Rshift) |
               ((uint32_t)p[surface->format->Gshift / 8] << surface->format->Gshift) |
               ((uint32_t)p[surface->format->Bshift / 8] << surface->format->Bshift);
    case 4: { uint32_t v; memcpy(&v, p, 4); return v; }
    default: return 0;
    }
}

void dump_surface(SDL_Surface *surface)
{
    if (!surface)
        return;
    for (int x = 0; x < surface->w; x++) {
        for (int y = 0; y < surface->h; y++) {
            uint8_t r, g, b, a;
            SDL_GetRGBA(get_pixel(surface, x, y), surface->format, &r, &g, &b, &a);
            printf("%i%i%i%i ", r, g, b, a);
        }
        printf("\n");
    }
    printf("=========\n");
}

// ---- glyphs --------------------------------------------------------------------

// Appends an entry, growing the cache by GLYPH_CACHE_STEP when full.
static GlyphEntry *append_glyph(FontSlot *f)
{
    if (f->glyph_count >= f->glyph_capacity) {
        int capacity = f->glyph_capacity + GLYPH_CACHE_STEP;
        GlyphEntry *grown = (GlyphEntry *)realloc(f->glyphs, sizeof(GlyphEntry) * capacity);
        if (!grown)
            return nullptr;
        f->glyphs = grown;
        f->glyph_capacity = capacity;
    }
    GlyphEntry *e = &f->glyphs[f->glyph_count++];
    memset(e, 0, sizeof *e);
    return e;
}

// Renders one character into a new cache entry. A character that SDL_ttf
// cannot render keeps an entry without texture and with zero sizes, so it
// is reported once, measures 0 and never borrows another glyph.
static GlyphEntry *render_glyph(int slot, FontSlot *f, int code)
{
    GlyphEntry *e = append_glyph(f);
    if (!e)
        return nullptr;
    e->code = code;
    Uint16 units[2] = {(Uint16)code, 0};
    SDL_Color white = {255, 255, 255, 0};
    SDL_Surface *g = TTF_RenderUNICODE_Blended(f->font, units, white);
    if (!g) {
        fprintf(stderr, "%s\n", TTF_GetError());
        return e;
    }
    int tw = next_pow2(g->w + 1);
    int th = next_pow2(g->h);
    if (g->w > f->widest)
        f->widest = g->w;
    uint8_t *pixels = (uint8_t *)calloc((size_t)tw * th, 4);
    if (!pixels) {
        SDL_FreeSurface(g);
        return e;
    }
    if (SDL_MUSTLOCK(g))
        SDL_LockSurface(g);
    for (int y = 0; y < g->h; y++) {
        float fade = f->fade ? 1.0f - 0.5f * (float)y / (float)th : 1.0f;
        for (int x = 0; x < g->w; x++) {
            uint8_t r, gr, b, a;
            SDL_GetRGBA(get_pixel(g, x, y), g->format, &r, &gr, &b, &a);
            uint8_t *p = pixels + ((size_t)y * tw + x) * 4;
            p[0] = r;
            p[1] = gr;
            p[2] = b;
            p[3] = (uint8_t)(a * fade);
        }
    }
    if (SDL_MUSTLOCK(g))
        SDL_UnlockSurface(g);
    e->width = g->w;
    e->height = g->h;
    e->texture_width = tw;
    e->texture_height = th;
    SDL_FreeSurface(g);

    GLint filter = slot == 0 ? GL_NEAREST : GL_LINEAR;
    glGenTextures(1, &e->texture);
    glBindTexture(GL_TEXTURE_2D, e->texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    free(pixels);
    return e;
}

const GlyphEntry *glyph(int slot, int code)
{
    FontSlot *f = open_slot(slot);
    if (!f)
        return nullptr;
    for (int i = 0; i < f->glyph_count; i++)
        if (f->glyphs[i].code == code)
            return &f->glyphs[i];
    return render_glyph(slot, f, code);
}

static int glyph_width(int slot, int code)
{
    const GlyphEntry *e = glyph(slot, code);
    return e ? e->width : 0;
}

void draw_glyph(int slot, float x, float y, int code)
{
    const GlyphEntry *e = glyph(slot, code);
    if (!e || !e->texture)
        return;
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glBindTexture(GL_TEXTURE_2D, e->texture);
    float w = (float)e->texture_width, h = (float)e->texture_height;
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0); glVertex2f(x, y);
    glTexCoord2f(0, 1); glVertex2f(x, y + h);
    glTexCoord2f(1, 1); glVertex2f(x + w, y + h);
    glTexCoord2f(1, 0); glVertex2f(x + w, y);
    glEnd();
}

static void unbind_texture()
{
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
}

// ---- 8-bit text ----------------------------------------------------------------

// 8-bit text is in the local character set: each character (one byte or a
// multibyte sequence) is drawn by its 16-bit code, a sequence the set does
// not know by the stand-in.

// SDL_ttf's width of one character; 0 for a character without a glyph.
static int char_advance(int slot, int code)
{
    const GlyphEntry *e = glyph(slot, code);
    if (!e || !e->texture)
        return 0;
    Uint16 units[2] = {(Uint16)code, 0};
    int w = 0, h = 0;
    if (TTF_SizeUNICODE(FontTable[slot].font, units, &w, &h) != 0)
        return e->width;
    return w;
}

// Draws from x with the advance of draw_text.
static void draw_from(int slot, float x, float y, const char *text)
{
    int code = 0;
    for (int used; (used = local_char(text, &code)) > 0; text += used) {
        draw_glyph(slot, x, y, code);
        x += (float)char_advance(slot, code);
    }
}

void draw_text(int slot, float x, float y, const char *text)
{
    if (!open_slot(slot) || !text)
        return;
    draw_from(slot, x, y, text);
    unbind_texture();
}

void draw_text_font(int slot, float x, float y, const char *text) { draw_text(slot, x, y, text); }

void draw_bold_text(float x, float y, const char *text)
{
    draw_text(1, x, y, text);
    draw_text(1, x + 1, y, text);
}

int text_width(int slot, const char *text)
{
    if (!open_slot(slot) || !text)
        return 0;
    int total = 0, code = 0;
    for (int used; (used = local_char(text, &code)) > 0; text += used)
        total += glyph_width(slot, code);
    return total;
}

int text_fit_length(int slot, const char *text, int width)
{
    if (!open_slot(slot) || !text)
        return 0;
    int total = 0, n = 0, code = 0;
    for (int used; (used = local_char(text + n, &code)) > 0; n += used) {
        total += glyph_width(slot, code);
        if (total > width)
            break;
    }
    return n;
}

float text_centre_x(int slot, const char *text)
{
    return (float)view_width / 2.0f - (float)text_width(slot, text) / 2.0f;
}

void draw_text_right(int slot, int x, int y, const char *text)
{
    if (open_slot(slot) && text && text[0])
        draw_from(slot, (float)(view_width - x - text_width(slot, text)), (float)y, text);
    unbind_texture();
}

void draw_text_centred_offset(int slot, int y, const char *text, int offset)
{
    if (open_slot(slot) && text && text[0])
        draw_from(slot, (float)(view_width / 2 - text_width(slot, text) / 2 + offset), (float)y,
                  text);
    unbind_texture();
}

void draw_text_centred(int slot, int y, const char *text)
{
    draw_text_centred_offset(slot, y, text, 0);
}

void draw_text_centred_fixed(int slot, int y, const char *text)
{
    if (open_slot(slot) && text && text[0]) {
        text_width(slot, text);   // renders every glyph, so the widest is known
        int advance = FontTable[slot].widest;
        int length = local_char_count(text);
        float x = (float)(view_width - length * advance) / 2.0f;
        int code = 0;
        for (int used; (used = local_char(text, &code)) > 0; text += used) {
            draw_glyph(slot, x, (float)y, code);
            x += (float)advance;
        }
    }
    unbind_texture();
}

// ---- UTF-16 text ---------------------------------------------------------------

static int is_byte_order_mark(uint16_t unit) { return unit == 0xFEFF || unit == 0xFFFE; }

int wide_text_width(int slot, const uint16_t *text)
{
    if (!open_slot(slot) || !text)
        return 0;
    int total = 0;
    for (const uint16_t *p = text; *p; p++)
        if (!is_byte_order_mark(*p))
            total += glyph_width(slot, *p);
    return total;
}

float wide_text_centre_x(int slot, const uint16_t *text)
{
    return (float)view_width / 2.0f - (float)wide_text_width(slot, text) / 2.0f;
}

static void draw_wide_from(int slot, float x, float y, const uint16_t *text)
{
    for (const uint16_t *p = text; *p; p++) {
        if (is_byte_order_mark(*p))
            continue;
        draw_glyph(slot, x, y, *p);
        x += (float)glyph_width(slot, *p);
    }
}

void draw_wide_text_font(int slot, float x, float y, const uint16_t *text)
{
    if (open_slot(slot) && text && text[0])
        draw_wide_from(slot, x, y, text);
    unbind_texture();
}

void draw_wide_text(float x, float y, const uint16_t *text) { draw_wide_text_font(1, x, y, text); }

void draw_wide_text_centred(int slot, int y, const uint16_t *text)
{
    if (open_slot(slot) && text && text[0])
        draw_wide_from(slot, (float)view_width / 2.0f - (float)wide_text_width(slot, text) / 2.0f,
                       (float)y, text);
    unbind_texture();
}

// ---- decal text ----------------------------------------------------------------

int decal_text_size(int kind, const char *text)
{
    int long_text = local_char_count(text) > 4;
    if (kind == 6 || kind == 9 || (kind >= 15 && kind <= 20))
        return long_text ? 80 : 160;
    if (kind == 11 || kind == 12)
        return long_text ? 22 : 44;
    return 1;
}

uint8_t *render_text_texture(const char *text, int kind, int width, int height, int depth)
{
    if (width <= 0 || height <= 0 || depth < 1 || depth > 4 || width > 8192 || height > 8192)
        return nullptr;
    uint8_t *out = (uint8_t *)malloc((size_t)width * height * depth);
    if (!out)
        return nullptr;
    memset(out, 0xff, (size_t)width * height * depth);
    if (!text || !text[0])
        return out;
    if (!TTF_WasInit() && TTF_Init() != 0)
        return out;
    char path[512];
    font_path(FontTable[0].path, path, sizeof path);
    TTF_Font *font = TTF_OpenFont(path, decal_text_size(kind, text));
    if (!font) {
        fprintf(stderr, "Unable to open %s\n", path);
        return out;
    }
    SDL_Color black = {0, 0, 0, 0};
    // The text is in the local character set, SDL_ttf's 8-bit form takes
    // Latin-1: it goes in as 16-bit units.
    size_t bytes = strlen(text);
    std::vector<Uint16> units(bytes + 1, 0);
    local_to_utf16(units.data(), text, (int)bytes);
    SDL_Surface *rendered = TTF_RenderUNICODE_Blended(font, units.data(), black);
    TTF_CloseFont(font);
    if (!rendered) {
        fprintf(stderr, "%s\n", TTF_GetError());
        return out;
    }
    // Blend the black text over the white surface, clipped to its edges.
    int x0 = (width - rendered->w) / 2, y0 = (height - rendered->h) / 2;
    if (SDL_MUSTLOCK(rendered))
        SDL_LockSurface(rendered);
    for (int y = 0; y < rendered->h; y++) {
        int oy = y0 + y;
        if (oy < 0 || oy >= height)
            continue;
        for (int x = 0; x < rendered->w; x++) {
            int ox = x0 + x;
            if (ox < 0 || ox >= width)
                continue;
            uint8_t r, g, b, a;
            SDL_GetRGBA(get_pixel(rendered, x, y), rendered->format, &r, &g, &b, &a);
            uint8_t *p = out + ((size_t)oy * width + ox) * depth;
            int channels = depth == 4 ? 3 : depth;
            const uint8_t src[3] = {r, g, b};
            for (int c = 0; c < channels; c++)
                p[c] = (uint8_t)((src[c] * a + p[c] * (255 - a)) / 255);
        }
    }
    if (SDL_MUSTLOCK(rendered))
        SDL_UnlockSurface(rendered);
    SDL_FreeSurface(rendered);
    return out;
}

// ---- wiring --------------------------------------------------------------------

static void hud_draw_text(int slot, float x, float y, const char *text) { draw_text(slot, x, y, text); }

void bind_ttf_text()
{
    hud_text.draw_text = hud_draw_text;
    hud_text.draw_text_right = draw_text_right;
    hud_text.draw_text_centred = draw_text_centred;
    hud_text.draw_wide_text = draw_wide_text_font;
    hud_text.font_height = font_height;
    hud_text.text_width = text_width;
    hud_text.wide_text_width = wide_text_width;
    render_text_texture_hook = render_text_texture;
    render_outward.init_fonts = init_font_ttf;
    render_outward.close_fonts = close_fonts;
}

int font_char_advance(int slot)
{
    // The widest letter stands for every character: a column of the
    // console never holds more text than its width allows.
    const GlyphEntry *g = glyph(slot, 'W');
    return g && g->width > 0 ? g->width : 8;
}

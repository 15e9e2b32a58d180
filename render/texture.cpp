#include "render/texture.h"

#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/records.h"
#include "core/text.h"

TextureTableRow TextureTable[TEXTURE_TABLE_ROWS] = {
    {0, "award", "bronze", nullptr},
    {1, "award", "silver", nullptr},
    {2, "award", "gold", nullptr},
    {3, "award", "platinum", nullptr},
    {4, "award", "master", nullptr},
    {5, "", "splatt1", nullptr},
    {6, "", "logo", nullptr},
    {7, "", "", nullptr},
    {8, "", "splatt1", nullptr},
    {9, "", "splatt1", nullptr},
    {10, "", "splatt1", nullptr},
    {11, "cursor", "c1", nullptr},
    {12, "cursor", "c2", nullptr},
    {13, "cursor", "c3", nullptr},
    {14, "cursor", "cf", nullptr},
    {15, "cursor", "cb", nullptr},
    {16, "cursor", "ch", nullptr},
    {17, "buttons", "play", nullptr},
    {18, "buttons", "pause", nullptr},
    {19, "buttons", "next", nullptr},
    {20, "buttons", "prev", nullptr},
    {21, "buttons", "rewind", nullptr},
    {22, "buttons", "step", nullptr},
    {23, "buttons", "step10", nullptr},
    {24, "buttons", "ghost", nullptr},
    {25, "buttons", "ghost_both", nullptr},
    {26, "buttons", "ghost_none", nullptr},
    {27, "buttons", "ready", nullptr},
    {28, "buttons", "help", nullptr},
    {29, "buttons", "talk", nullptr},
    {30, "buttons", "up", nullptr},
    {31, "buttons", "down", nullptr},
    {32, "", "indicator", nullptr},
    {33, "", "av_shadow", nullptr},
};

Texture *player_body_textures[SLOT_PLAYERS][SLOT_BODIES];
Texture *player_body_bump_textures[SLOT_PLAYERS][SLOT_BODIES];
Texture *player_joint_textures[SLOT_PLAYERS][SLOT_JOINTS];
Texture *player_joint_bump_textures[SLOT_PLAYERS][SLOT_JOINTS];
Texture *player_color_textures[SLOT_PLAYERS];

uint8_t *(*render_text_texture_hook)(const char *, int, int, int, int) = nullptr;
BumpHooks bump_hooks = {};
int bump_mapping_supported = 0;
int texture_upload_count = 0;

enum { GENERATED_SIZE = 128, GENERATED_BYTES = GENERATED_SIZE * GENERATED_SIZE * 4 };

void texture_init(Texture *texture)
{
    texture->path[0] = '\0';
    texture->id = 0;
    texture->pixels = nullptr;
    texture->bpp = 24;
    texture->width = 128;
    texture->height = 128;
    texture->colour[0] = texture->colour[1] = texture->colour[2] = 1.0f;
}

static int max_texture_size()
{
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    // Without a usable answer keep to a size every driver takes.
    return size > 0 ? size : 2048;
}

static void upload(unsigned int *id, const Texture *t)
{
    GLenum format = t->bpp == 32 ? GL_RGBA : GL_RGB;
    glGenTextures(1, id);
    glBindTexture(GL_TEXTURE_2D, *id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, format, t->width, t->height, 0, format, GL_UNSIGNED_BYTE,
                 t->pixels);
    texture_upload_count++;
}

TgaResult load_tga_result(unsigned int *id_out, const char *path, Texture *info)
{
    TgaHeader h = {};
    uint8_t *pixels = nullptr;
    TgaResult r = read_tga_file(path, max_texture_size(), &h, &pixels);
    if (r != TGA_OK)
        return r;
    free(info->pixels);
    info->pixels = pixels;
    info->width = h.width;
    info->height = h.height;
    info->bpp = h.bpp;
    upload(id_out, info);
    return TGA_OK;
}

bool load_tga(unsigned int *id_out, const char *path, Texture *info)
{
    return load_tga_result(id_out, path, info) == TGA_OK;
}

static void release_gl(Texture *texture)
{
    if (texture->id) {
        glDeleteTextures(1, &texture->id);
        texture->id = 0;
    }
    free(texture->pixels);
    texture->pixels = nullptr;
}

TgaResult texture_load_result(Texture *texture, const char *dir, const char *name)
{
    char path[TGA_PATH_MAX];
    snprintf(path, sizeof path, "%s/%s", dir ? dir : "", name ? name : "");
    if (texture->id && strcmp(texture->path, path) == 0)
        return TGA_OK;
    release_gl(texture);
    n_strncpyz(texture->path, path, sizeof texture->path);
    char file[TGA_PATH_MAX + 4];
    snprintf(file, sizeof file, "%s.tga", texture->path);
    return load_tga_result(&texture->id, file, texture);
}

bool texture_load(Texture *texture, const char *dir, const char *name)
{
    return texture_load_result(texture, dir, name) == TGA_OK;
}

bool texture_init_and_load_result(Texture *texture, const char *dir, const char *name)
{
    texture_init(texture);
    TgaResult r = texture_load_result(texture, dir, name);
    if (r == TGA_OK)
        return true;
    fprintf(stderr, "failed to load texture %s/%s: %s\n", dir, name, tga_result_text(r));
    texture->colour[1] = 0.0f;
    return false;
}

void texture_init_and_load(Texture *texture, const char *dir, const char *name)
{
    texture_init_and_load_result(texture, dir, name);
}

bool script_texture_load_result(Texture *texture, const char *path)
{
    texture_init(texture);
    return load_tga(&texture->id, path, texture);
}

void script_texture_load(Texture *texture, const char *path)
{
    script_texture_load_result(texture, path);
}

int texture_free(Texture *texture)
{
    if (!texture)
        return 0;
    release_gl(texture);
    texture->path[0] = '\0';
    return 0;
}

bool texture_loaded(const Texture *texture)
{
    return texture && texture->id != 0;
}

void texture_bind(const Texture *texture, bool modulate)
{
    glBindTexture(GL_TEXTURE_2D, texture ? texture->id : 0);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, modulate ? GL_MODULATE : GL_DECAL);
}

// ---- player slots -------------------------------------------------------

static int load_slot(Texture *slot, const char *subdir, const char *base, const char *name,
                     TgaResult *why)
{
    TgaResult r = TGA_NO_FILE;
    if (slot) {
        char dir[TGA_PATH_MAX];
        snprintf(dir, sizeof dir, "%s/%s", base ? base : "", subdir ? subdir : "");
        r = texture_load_result(slot, dir, name);
    }
    if (why)
        *why = r;
    return r == TGA_OK ? 0 : 1;
}

static bool valid_slot(int player, int part, int parts, TgaResult *why)
{
    bool ok = player >= 0 && player < SLOT_PLAYERS && part >= 0 && part < parts;
    if (!ok && why)
        *why = TGA_NO_FILE;
    return ok;
}

int load_player_body_texture(int player, int body, const char *subdir, const char *base,
                             TgaResult *why)
{
    if (!valid_slot(player, body, SLOT_BODIES, why))
        return 1;
    return load_slot(player_body_textures[player][body], subdir, base, body_name(body), why);
}

int load_player_body_bump_texture(int player, int body, const char *subdir, const char *base,
                                  TgaResult *why)
{
    if (!valid_slot(player, body, SLOT_BODIES, why))
        return 1;
    char name[64];
    snprintf(name, sizeof name, "%s_bump", body_name(body));
    return load_slot(player_body_bump_textures[player][body], subdir, base, name, why);
}

int load_player_joint_texture(int player, int joint, const char *subdir, const char *base,
                              TgaResult *why)
{
    if (!valid_slot(player, joint, SLOT_JOINTS, why))
        return 1;
    char name[64];
    snprintf(name, sizeof name, "j_%s", joint_name(joint));
    return load_slot(player_joint_textures[player][joint], subdir, base, name, why);
}

int load_player_joint_bump_texture(int player, int joint, const char *subdir, const char *base,
                                   TgaResult *why)
{
    if (!valid_slot(player, joint, SLOT_JOINTS, why))
        return 1;
    char name[64];
    snprintf(name, sizeof name, "j_%s_bump", joint_name(joint));
    return load_slot(player_joint_bump_textures[player][joint], subdir, base, name, why);
}

// ---- the interface table -----------------------------------------------

int load_spare_table_texture(const char *dir, const char *name, TgaResult *why)
{
    Texture *t = TextureTable[SPARE_TABLE_ROW].texture;
    TgaResult r = t ? texture_load_result(t, dir, name) : TGA_NO_FILE;
    if (why)
        *why = r;
    return r == TGA_OK ? 0 : 1;
}

bool spare_table_texture_loaded()
{
    return table_texture_loaded(SPARE_TABLE_ROW);
}

bool table_texture_loaded(int row)
{
    if (row < 0 || row >= TEXTURE_TABLE_ROWS)
        return false;
    return texture_loaded(TextureTable[row].texture);
}

const Texture *table_texture(int row)
{
    if (row < 0 || row >= TEXTURE_TABLE_ROWS)
        return nullptr;
    return TextureTable[row].texture;
}

void load_texture_table()
{
    for (int r = 0; r < TEXTURE_TABLE_ROWS; r++) {
        TextureTableRow &row = TextureTable[r];
        if (!row.texture)
            row.texture = new Texture;
        char dir[TGA_PATH_MAX];
        if (row.subdir[0])
            snprintf(dir, sizeof dir, "data/textures/%s", row.subdir);
        else
            n_strncpyz(dir, "data/textures", sizeof dir);
        if (row.name[0])
            texture_init_and_load(row.texture, dir, row.name);
        else
            texture_init(row.texture);
    }
}

void free_texture_table()
{
    for (int r = 0; r < TEXTURE_TABLE_ROWS; r++) {
        texture_free(TextureTable[r].texture);
        delete TextureTable[r].texture;
        TextureTable[r].texture = nullptr;
    }
}

static Texture *new_initialised_texture()
{
    Texture *t = new Texture;
    texture_init(t);
    return t;
}

static void free_slot(Texture *&slot)
{
    texture_free(slot);
    delete slot;
    slot = nullptr;
}

void create_player_texture_slots()
{
    for (int p = 0; p < SLOT_PLAYERS; p++) {
        for (int b = 0; b < SLOT_BODIES; b++) {
            if (!player_body_textures[p][b])
                player_body_textures[p][b] = new_initialised_texture();
            if (!player_body_bump_textures[p][b])
                player_body_bump_textures[p][b] = new_initialised_texture();
        }
        for (int j = 0; j < SLOT_JOINTS; j++) {
            if (!player_joint_textures[p][j])
                player_joint_textures[p][j] = new_initialised_texture();
            if (!player_joint_bump_textures[p][j])
                player_joint_bump_textures[p][j] = new_initialised_texture();
        }
        if (!player_color_textures[p])
            player_color_textures[p] = new_initialised_texture();
    }
}

void free_player_texture_slots()
{
    for (int p = 0; p < SLOT_PLAYERS; p++) {
        for (int b = 0; b < SLOT_BODIES; b++) {
            free_slot(player_body_textures[p][b]);
            free_slot(player_body_bump_textures[p][b]);
        }
        for (int j = 0; j < SLOT_JOINTS; j++) {
            free_slot(player_joint_textures[p][j]);
            free_slot(player_joint_bump_textures[p][j]);
        }
        free_slot(player_color_textures[p]);
    }
}

// ---- generated textures ------------------------------------------------

void pack_rgba(const float colour[3], uint8_t out[4])
{
    for (int k = 0; k < 3; k++) {
        float c = colour[k];
        // NaN fails both tests and ends up 0.
        if (!(c > 0.0f))
            c = 0.0f;
        if (c > 1.0f)
            c = 1.0f;
        out[k] = (uint8_t)(c * 255.0f);
    }
    out[3] = 255;
}

static void put(uint8_t *pixels, int x, int y, const float c[3])
{
    pack_rgba(c, pixels + (y * GENERATED_SIZE + x) * 4);
}

void fill_two_color_pixels(uint8_t *pixels, const float colour1[3], const float colour2[3])
{
    for (int y = 0; y < GENERATED_SIZE; y++)
        for (int x = 0; x < GENERATED_SIZE; x++)
            put(pixels, x, y, x < 64 ? colour1 : colour2);
}

// c1 + f x (c2 - c1), per channel.
static void mix(const float c1[3], const float c2[3], float f, float out[3])
{
    for (int k = 0; k < 3; k++)
        out[k] = c1[k] + f * (c2[k] - c1[k]);
}

void fill_gradient_pixels(uint8_t *pixels, const float colour1[3], const float colour2[3],
                          int shape, int feet)
{
    memset(pixels, 0, GENERATED_BYTES);
    float c1[3], c2[3], c[3];
    for (int k = 0; k < 3; k++) {
        c1[k] = colour1[k] > 1.0f ? 1.0f : colour1[k];
        c2[k] = colour2[k] > 1.0f ? 1.0f : colour2[k];
    }
    for (int y = 0; y < GENERATED_SIZE; y++) {
        for (int x = 0; x < GENERATED_SIZE; x++) {
            if (shape == 0) {
                mix(c1, c2, y / 128.0f, c);
            } else if (shape == 2) {
                mix(c1, c2, x / 128.0f, c);
            } else if (shape == 1 && !feet) {
                if (x < 102)
                    mix(c1, c2, x / 102.0f, c);
                else if (y < 26)
                    mix(c2, c2, 0, c);
                else if (y < 52)
                    mix(c1, c1, 0, c);
                else
                    continue;
            } else if (shape == 1) {
                if (x < 102) {
                    if (y < 32)
                        mix(c2, c1, y / 32.0f, c);
                    else if (y < 64)
                        mix(c1, c1, 0, c);
                    else if (y < 96)
                        mix(c1, c2, (y - 64) / 32.0f, c);
                    else
                        mix(c2, c2, 0, c);
                } else if (y < 26) {
                    mix(c1, c2, y / 26.0f, c);
                } else if (y < 52) {
                    mix(c1, c2, (y - 26) / 26.0f, c);
                } else {
                    continue;
                }
            } else {
                return;
            }
            put(pixels, x, y, c);
        }
    }
}

// Replaces the texture's contents by a fresh 128 x 128 RGBA buffer; null
// when it cannot be had (the texture is then left empty).
static uint8_t *fresh_generated(Texture *texture)
{
    release_gl(texture);
    texture->bpp = 32;
    texture->width = GENERATED_SIZE;
    texture->height = GENERATED_SIZE;
    texture->pixels = (uint8_t *)malloc(GENERATED_BYTES);
    if (!texture->pixels)
        fprintf(stderr, "Unable to allocate a generated texture\n");
    return texture->pixels;
}

void generate_two_color_texture(Texture *texture, const float colour1[3], const float colour2[3])
{
    if (!texture || !fresh_generated(texture))
        return;
    fill_two_color_pixels(texture->pixels, colour1, colour2);
    upload(&texture->id, texture);
}

void generate_gradient_texture(Texture *texture, const float colour1[3], const float colour2[3],
                               int shape, int feet)
{
    if (!texture || !fresh_generated(texture))
        return;
    fill_gradient_pixels(texture->pixels, colour1, colour2, shape, feet);
    upload(&texture->id, texture);
}

int set_player_texture_colors(int player, const float colour1[3], const float colour2[3])
{
    if (player >= 0 && player < SLOT_PLAYERS)
        generate_two_color_texture(player_color_textures[player], colour1, colour2);
    return 1;
}

int render_text_decal(Texture *texture, const char *text, int body_part)
{
    if (!texture)
        return 1;
    release_gl(texture);
    if (!text || !text[0])
        return 0;
    if (!render_text_texture_hook)
        return 1;
    uint8_t *pixels = render_text_texture_hook(text, body_part, 512, 512, 4);
    if (!pixels)
        return 1;
    texture->width = 512;
    texture->height = 512;
    texture->bpp = 32;
    texture->pixels = pixels;
    upload(&texture->id, texture);
    return 0;
}

// ---- bump mapping ------------------------------------------------------

static int bump_extensions_present()
{
    return glewIsSupported("GL_ARB_multitexture GL_ARB_texture_cube_map "
                           "GL_ARB_texture_env_combine GL_ARB_texture_env_dot3") ? 1 : 0;
}

void init_bump_mapping()
{
    bump_mapping_supported = bump_hooks.supported ? bump_hooks.supported()
                                                  : bump_extensions_present();
    if (!bump_mapping_supported) {
        fprintf(stderr, "Extensions for bump mapping unsupported\n");
        return;
    }
    if (bump_hooks.build)
        bump_hooks.build();
}

void free_bump_mapping()
{
    if (bump_hooks.release)
        bump_hooks.release();
}

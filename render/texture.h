// Textures: a GL texture with its pixels, loaded from TGA files or generated
// from colours; the table of interface textures under data/textures/, the
// per-player slots that customisation fills, and the bump-mapping set-up.
#pragma once

#include <cstdint>

#include "render/tga.h"

struct Texture {
    char path[256];          // "dir/name" without ".tga", or empty
    unsigned int id;         // GL texture name, 0 when nothing is loaded
    uint8_t *pixels;         // malloc'd, width x height x bpp/8, or null
    int bpp;                 // 24 or 32
    int width, height;
    float colour[3];         // a failed named load sets green to 0 (magenta)
};

enum { TEXTURE_TABLE_ROWS = 34, SPARE_TABLE_ROW = 7 };

struct TextureTableRow {
    int id;                  // equal to the row index
    const char *subdir;      // "" for data/textures/ itself
    const char *name;        // "" for the spare row
    Texture *texture;
};

extern TextureTableRow TextureTable[TEXTURE_TABLE_ROWS];

enum { SLOT_PLAYERS = 4, SLOT_BODIES = 21, SLOT_JOINTS = 20 };
// Per-fighter texture slots (null until made by the renderer's resources).
extern Texture *player_body_textures[SLOT_PLAYERS][SLOT_BODIES];
extern Texture *player_body_bump_textures[SLOT_PLAYERS][SLOT_BODIES];
extern Texture *player_joint_textures[SLOT_PLAYERS][SLOT_JOINTS];
extern Texture *player_joint_bump_textures[SLOT_PLAYERS][SLOT_JOINTS];
extern Texture *player_color_textures[SLOT_PLAYERS];

// The decal text surface (width x height x depth bytes from malloc); the
// shell's TrueType text fills this in. Empty: decals stay empty.
extern uint8_t *(*render_text_texture_hook)(const char *text, int kind, int width,
                                             int height, int depth);

// The bump-mapping objects (normalisation cube map, box, sphere and capsule
// meshes) are built and freed by the mesh code through these; an empty
// `supported` slot asks GLEW for the four extensions.
struct BumpHooks {
    int (*supported)();
    void (*build)();
    void (*release)();
};
extern BumpHooks bump_hooks;
extern int bump_mapping_supported;

// Number of glTexImage2D uploads made so far (a check for reloads).
extern int texture_upload_count;

void texture_init(Texture *texture);
bool load_tga(unsigned int *id_out, const char *path, Texture *info);
// The same, saying why a file was refused (TGA_OK when loaded).
TgaResult load_tga_result(unsigned int *id_out, const char *path, Texture *info);
bool texture_load(Texture *texture, const char *dir, const char *name);
TgaResult texture_load_result(Texture *texture, const char *dir, const char *name);
void texture_init_and_load(Texture *texture, const char *dir, const char *name);
bool texture_init_and_load_result(Texture *texture, const char *dir, const char *name);
void script_texture_load(Texture *texture, const char *path);
bool script_texture_load_result(Texture *texture, const char *path);
// Deletes the GL texture and the pixels; the id and the path are zeroed so
// that the same name loads again later. Returns 0.
int texture_free(Texture *texture);
bool texture_loaded(const Texture *texture);
void texture_bind(const Texture *texture, bool modulate);

// 0 loaded, 1 not; `why`, when given, says why not (TGA_NO_FILE also for a
// slot that does not exist).
int load_player_body_texture(int player, int body, const char *subdir, const char *base,
                             TgaResult *why = nullptr);
int load_player_body_bump_texture(int player, int body, const char *subdir, const char *base,
                                  TgaResult *why = nullptr);
int load_player_joint_texture(int player, int joint, const char *subdir, const char *base,
                              TgaResult *why = nullptr);
int load_player_joint_bump_texture(int player, int joint, const char *subdir, const char *base,
                                   TgaResult *why = nullptr);

int load_spare_table_texture(const char *dir, const char *name, TgaResult *why = nullptr);
bool spare_table_texture_loaded();
bool table_texture_loaded(int row);
const Texture *table_texture(int row);

// Clamps each channel to 0..1 and packs it as bytes, alpha 255.
void pack_rgba(const float colour[3], uint8_t out[4]);
int set_player_texture_colors(int player, const float colour1[3], const float colour2[3]);
void generate_two_color_texture(Texture *texture, const float colour1[3], const float colour2[3]);
// The pixels only (128 x 128 RGBA, every byte written); no GL.
void fill_two_color_pixels(uint8_t *pixels, const float colour1[3], const float colour2[3]);
void generate_gradient_texture(Texture *texture, const float colour1[3], const float colour2[3],
                               int shape, int feet);
// The pixels only (128 x 128 RGBA); texels that the shape leaves are zero.
void fill_gradient_pixels(uint8_t *pixels, const float colour1[3], const float colour2[3],
                          int shape, int feet);
int render_text_decal(Texture *texture, const char *text, int body_part);

// The interface table: loaded at renderer start, freed at its end.
void load_texture_table();
void free_texture_table();
// The player slots: initialised, unloaded textures; and their release.
void create_player_texture_slots();
void free_player_texture_slots();

void init_bump_mapping();
void free_bump_mapping();

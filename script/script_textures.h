// The script texture table: the images that scripts load with load_texture
// (TGA files under data/script/), in 128 numbered slots whose numbers are
// the texture ids scripts see. Every slot remembers its path, so the GL
// textures can be dropped before a new video mode and loaded again after
// it without the scripts noticing.
#pragma once

struct Texture;

enum { SCRIPT_TEXTURE_SLOTS = 128, SCRIPT_TEXTURE_PATH = 256 };

struct ScriptTextureTable {
    Texture *slots[SCRIPT_TEXTURE_SLOTS];              // null: no texture
    char paths[SCRIPT_TEXTURE_SLOTS][SCRIPT_TEXTURE_PATH];   // empty: free
};

// 1 while a GL context with the renderer's resources exists (between a
// reload_script_textures and the next unload): only then do the script
// functions that draw or load textures touch GL.
extern int script_gl_ready;

// Zeroes every slot and path.
void init_script_textures(ScriptTextureTable *table);
// Frees every texture (the paths stay); at shut-down.
void destroy_script_textures(ScriptTextureTable *table);
// The slot of the path, loading it into the first free slot when no slot
// holds it yet. A file that fails to load still takes its slot. With no GL
// yet, the path is only recorded and loads at the next reload. -1 (with
// "Texture slots full" on standard error) when every slot is taken, and
// for a path that does not fit a slot.
int find_or_load_script_texture(ScriptTextureTable *table, const char *path);
// The slot's texture; null for an empty slot and any number outside 0..127.
Texture *get_script_texture(ScriptTextureTable *table, int slot);
// Frees every texture, keeping the paths (before the GL context goes).
void unload_script_textures(ScriptTextureTable *table);
// Loads every recorded path again (after the GL context came back).
void reload_script_textures(ScriptTextureTable *table);
// Frees one slot's texture and empties its path; other numbers are ignored.
void free_script_texture(ScriptTextureTable *table, int slot);

// The table scripts use (the shell's object); null before start-up binds it.
extern ScriptTextureTable *script_texture_table;

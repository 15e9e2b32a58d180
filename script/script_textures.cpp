#include "script/script_textures.h"

#include <cstdio>
#include <cstring>

#include "render/texture.h"

int script_gl_ready;
ScriptTextureTable *script_texture_table;

void init_script_textures(ScriptTextureTable *table)
{
    if (!table)
        return;
    memset(table, 0, sizeof *table);
}

static void drop_texture(ScriptTextureTable *table, int slot)
{
    if (!table->slots[slot])
        return;
    texture_free(table->slots[slot]);
    delete table->slots[slot];
    table->slots[slot] = nullptr;
}

static void load_slot(ScriptTextureTable *table, int slot)
{
    Texture *texture = new Texture();
    script_texture_load(texture, table->paths[slot]);
    table->slots[slot] = texture;
}

void destroy_script_textures(ScriptTextureTable *table)
{
    if (!table)
        return;
    for (int i = 0; i < SCRIPT_TEXTURE_SLOTS; i++)
        drop_texture(table, i);
}

int find_or_load_script_texture(ScriptTextureTable *table, const char *path)
{
    if (!table || !path || !path[0])
        return -1;
    if (strlen(path) >= SCRIPT_TEXTURE_PATH) {
        fprintf(stderr, "Texture path too long\n");
        return -1;
    }
    int free_slot = -1;
    for (int i = 0; i < SCRIPT_TEXTURE_SLOTS; i++) {
        if (table->paths[i][0] == '\0') {
            if (free_slot < 0)
                free_slot = i;
        } else if (strcmp(table->paths[i], path) == 0) {
            return i;
        }
    }
    if (free_slot < 0) {
        fprintf(stderr, "Texture slots full\n");
        return -1;
    }
    snprintf(table->paths[free_slot], SCRIPT_TEXTURE_PATH, "%s", path);
    if (script_gl_ready)
        load_slot(table, free_slot);
    return free_slot;
}

Texture *get_script_texture(ScriptTextureTable *table, int slot)
{
    if (!table || (unsigned)slot >= (unsigned)SCRIPT_TEXTURE_SLOTS)
        return nullptr;
    return table->slots[slot];
}

void unload_script_textures(ScriptTextureTable *table)
{
    if (!table)
        return;
    for (int i = 0; i < SCRIPT_TEXTURE_SLOTS; i++)
        drop_texture(table, i);
}

void reload_script_textures(ScriptTextureTable *table)
{
    if (!table)
        return;
    for (int i = 0; i < SCRIPT_TEXTURE_SLOTS; i++) {
        if (table->paths[i][0] != '\0' && !table->slots[i])
            load_slot(table, i);
    }
}

void free_script_texture(ScriptTextureTable *table, int slot)
{
    if (!table || (unsigned)slot >= (unsigned)SCRIPT_TEXTURE_SLOTS)
        return;
    drop_texture(table, slot);
    table->paths[slot][0] = '\0';
}

// Player customisation: a fighter's look (colours, decals, texts, item
// values), the customs lines that carry it, the per-user files under
// "custom/<name>/" and the reload of a fighter's custom textures.
#pragma once

#include "core/records.h"

enum {
    CUSTOMS_STAGING = 4,      // records that server and replay lines fill
    CUSTOMS_ROWS = 10,        // keywords of the customs table
    CUSTOMS_PARTS = 21,       // colour-list entries read and written (0..20)
    CUSTOMS_TEXT_READ = 32,   // characters read from TEXT and BELTNAME
    CUSTOMS_LINE_BYTES = 2048,
    CUSTOMS_PATH_BYTES = 256,
    CUSTOMS_PALETTE_ROWS = 68
};

struct PlayerCustoms {
    int loaded;
    int item_v0;
    int force_col[CUSTOMS_PARTS];   // joints 0..19; entry 20 kept apart
    int relax_col[CUSTOMS_PARTS];
    int rep_col[CUSTOMS_PARTS];
    int body_col[CUSTOMS_PARTS];
    int item_v4;
    int item_v6;
    int item_v5;
    int item_v11_15[5];
    char decal_name[CUSTOMS_PARTS][10];
    int decal_value[CUSTOMS_PARTS];
    int grad_col1[CUSTOMS_PARTS];
    int grad_col2[CUSTOMS_PARTS];
    int timer_col;
    int item_v8, item_v9;
    int item_v10;
    char text[256];
    char belt_name[256];
    int item_v16;
    int trail_col[4];
};

// The customs of every player record (fighters, then ghosts).
extern PlayerCustoms player_customs[MAX_PLAYERS];

// The player's own turn dial colour (console "timecolor"): worn now by the
// fighter whose colour the dial shows, and again after each game start's
// looks; 0 gives the dial its own colour back.
void choose_timer_colour(int colour);
void wear_timer_colour(int colour);

// Staging record i (0..3); null outside.
PlayerCustoms *get_player_customs(int i);

// One line ("KEYWORD n;args"): 0 parsed or comment, 1 failed.
int parse_custom(const char *line, PlayerCustoms *record);
// The text after the ';' of one keyword (also DECAL, JFORCE, JRELAX,
// JREPLAY): 0 parsed, 1 unknown keyword or unreadable.
int parse_customs_args(const char *keyword, const char *args, PlayerCustoms *record);
// Writes the line of customs-table row (0..9) into out; 0 when it fits.
int write_customs_line(int row, const PlayerCustoms *record, char *out, int size);

// 1 when the file cannot be opened; else the number of refused lines.
int load_customs(const char *path, PlayerCustoms *record);
// 0 written, 1 failed. Creates the folders of the path first.
int save_customs(const char *path, const PlayerCustoms *record);

// "custom/<name>/<file>" for a player name: the tag is dropped, the name
// lower-cased and sanitised; an empty name, ".." or a path longer than
// size is refused (1). 0 when out holds the path.
int customs_path(const char *name, const char *file, char *out, int size);

// ---- equipment (the local user's GHOST values) ------------------------------
struct EquipmentRecord {
    int values[3];
};
EquipmentRecord *get_equipment();
int parse_equipment(const char *line);
int load_equipment(const char *path);
int save_equipment(const char *path);
// Sets the values and saves them under the login name.
void set_ghost_equipment(int a, int b, int c);
// Loads the login name's equipment file (start-up).
int load_user_equipment();

// The default head of fighter p (0..3) when the game ships one; 0 loaded.
int load_default_head_texture(int p);

// ---- looks of the fighters ----------------------------------------------------
// Zeroes the staging records and the customs of fighters 0..3.
void clear_player_customs();
// Reads the fighter's item.dat (under its name), pushes the colours to the
// drawing's look and reloads its custom textures. 0 when a file was read.
int load_player_look(int p);
// The textures only (and the colour push), without reading item.dat.
void reload_player_textures(int p);
// At each game start: staging records move into the fighters (new_session
// 1), are saved under the fighters' names and read back.
void load_fighter_looks(int new_session);
// Fighter p's default colour back, a new name, then its look.
int load_player_custom(int p, const char *name);
// After a new video mode.
void reload_all_player_looks();
void check_default_names();
int get_default_names_flag();
// Copies the colours of a record's customs into fighter_looks.
void push_customs_colours(int record);

// The match core's slots: a line for a staging record, a record cleared.
void customs_line_for_player(const char *keyword, int player, const char *args);
void clear_customs_for_player(int player);

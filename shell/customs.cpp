#include "shell/customs.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "core/command.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/safe_file.h"
#include "core/text.h"
#include "net/login.h"
#include "render/fighter_draw.h"
#include "render/hud.h"
#include "render/texture.h"
#include "render/trails.h"

#include "shell/game_control.h"
#include "shell/palette.h"
#include "render/scene.h"

PlayerCustoms player_customs[MAX_PLAYERS];
static PlayerCustoms staging[CUSTOMS_STAGING];
// The turn dial's colour the player chose for the session (0: none).
static int chosen_timer_colour;

// Looks that the server or a replay sent, kept in memory only: they dress
// their fighter (while its name stays) until the fighter's customs are
// cleared at the next new game, replay or online game, and never go to disk.
struct SessionLook {
    int active;
    char name[32];
    PlayerCustoms look;
};
static SessionLook session_looks[MAX_FIGHTERS];

// Dresses fighter p with its session look; 0 when it has one for its name.
static int wear_session_look(int p)
{
    const SessionLook *s = &session_looks[p];
    if (!s->active || strncmp(s->name, players[p].name, sizeof s->name) != 0)
        return 1;
    player_customs[p] = s->look;
    reload_player_textures(p);
    return 0;
}
static EquipmentRecord equipment;
static int default_names_flag;

PlayerCustoms *get_player_customs(int i)
{
    return (i >= 0 && i < CUSTOMS_STAGING) ? &staging[i] : nullptr;
}

static int colour_or_zero(int c) { return (c >= 0 && c < CUSTOMS_PALETTE_ROWS) ? c : 0; }

// ---- writers ---------------------------------------------------------------------

static int put(char *out, int size, int n) { return (n < 0 || n >= size) ? 1 : 0; }

static int write_text(const char *kw, const PlayerCustoms *r, char *out, int size)
{
    return put(out, size, snprintf(out, size, "%s %i;%i %i %i %i %i %i %s\n", kw, 0, 0, 0, 0, 0, 0,
                                   0, r->text));
}

static int write_item(const char *kw, const PlayerCustoms *r, char *out, int size)
{
    const int v[17] = {r->item_v0, r->force_col[0], r->relax_col[0], r->rep_col[0],
                       r->item_v4, r->item_v5, r->item_v6, r->timer_col, r->item_v8,
                       r->item_v9, r->item_v10, r->item_v11_15[0], r->item_v11_15[1],
                       r->item_v11_15[2], r->item_v11_15[3], r->item_v11_15[4], r->item_v16};
    int n = snprintf(out, size, "%s %i;", kw, 0);
    for (int i = 0; i < 17 && n >= 0 && n < size; i++)
        n += snprintf(out + n, size - n, i ? " %i" : "%i", v[i]);
    if (n >= 0 && n < size)
        n += snprintf(out + n, size - n, "\n");
    return put(out, size, n);
}

static int write_list(const char *kw, const int *list, int count, char *out, int size)
{
    int n = snprintf(out, size, "%s %i;", kw, 0);
    for (int i = 0; i < count && n >= 0 && n < size; i++)
        n += snprintf(out + n, size - n, i ? " %i %i" : "%i %i", i, list[i]);
    if (n >= 0 && n < size)
        n += snprintf(out + n, size - n, "\n");
    return put(out, size, n);
}

#define LIST_WRITER(fn, field, count) \
    static int fn(const char *kw, const PlayerCustoms *r, char *out, int size) \
    { return write_list(kw, r->field, count, out, size); }
LIST_WRITER(write_bodcol, body_col, CUSTOMS_PARTS)
LIST_WRITER(write_grad1, grad_col1, CUSTOMS_PARTS)
LIST_WRITER(write_grad2, grad_col2, CUSTOMS_PARTS)
LIST_WRITER(write_forcol, force_col, CUSTOMS_PARTS)
LIST_WRITER(write_relcol, relax_col, CUSTOMS_PARTS)
LIST_WRITER(write_repcol, rep_col, CUSTOMS_PARTS)
LIST_WRITER(write_trail, trail_col, 4)

static int write_belt(const char *kw, const PlayerCustoms *r, char *out, int size)
{
    return put(out, size, snprintf(out, size, "%s %i;%s\n", kw, 0, r->belt_name));
}

// ---- parsers ---------------------------------------------------------------------

static int read_list(const char *args, int *list, int count, PlayerCustoms *r)
{
    int pairs[25][2];
    int n = parse_int_pairs(args, 25, pairs);
    for (int i = 0; i < n; i++)
        if (pairs[i][0] >= 0 && pairs[i][0] < count && pairs[i][1] >= 0 &&
            pairs[i][1] < CUSTOMS_PALETTE_ROWS)
            list[pairs[i][0]] = pairs[i][1];
    r->loaded = 1;
    return 0;
}

#define LIST_PARSER(fn, field, count) \
    static int fn(const char *a, PlayerCustoms *r) { return read_list(a, r->field, count, r); }
LIST_PARSER(parse_bodcol, body_col, CUSTOMS_PARTS)
LIST_PARSER(parse_grad1, grad_col1, CUSTOMS_PARTS)
LIST_PARSER(parse_grad2, grad_col2, CUSTOMS_PARTS)
LIST_PARSER(parse_forcol, force_col, CUSTOMS_PARTS)
LIST_PARSER(parse_relcol, relax_col, CUSTOMS_PARTS)
LIST_PARSER(parse_repcol, rep_col, CUSTOMS_PARTS)
LIST_PARSER(parse_trail, trail_col, 4)

// Copies at most CUSTOMS_TEXT_READ characters up to the line end.
static void read_text(const char *src, char *dest, int size)
{
    int n = (int)strcspn(src, "\r\n");
    if (n > CUSTOMS_TEXT_READ)
        n = CUSTOMS_TEXT_READ;
    if (n > size - 1)
        n = size - 1;
    memcpy(dest, src, n);
    dest[n] = '\0';
}

static int parse_text(const char *a, PlayerCustoms *r)
{
    // Six numbers that are not used, then the text.
    const char *p = a;
    for (int i = 0; i < 6; i++) {
        int consumed = 0, v;
        if (sscanf(p, "%i%n", &v, &consumed) != 1)
            return 1;
        p += consumed;
    }
    while (*p == ' ' || *p == '\t')
        p++;
    read_text(p, r->text, sizeof r->text);
    r->loaded = 1;
    return 0;
}

static int parse_belt(const char *a, PlayerCustoms *r)
{
    read_text(a, r->belt_name, sizeof r->belt_name);
    r->loaded = 1;
    return 0;
}

static int parse_item(const char *a, PlayerCustoms *r)
{
    int v[17] = {0};
    read_int_list(a, 17, v);
    r->item_v0 = colour_or_zero(v[0]);
    int force = colour_or_zero(v[1]), relax = colour_or_zero(v[2]), rep = colour_or_zero(v[3]);
    r->item_v4 = colour_or_zero(v[4]);
    r->item_v5 = colour_or_zero(v[5]);
    r->item_v6 = v[6];
    r->timer_col = colour_or_zero(v[7]);
    r->item_v8 = colour_or_zero(v[8]);
    r->item_v9 = colour_or_zero(v[9]);
    r->item_v10 = v[10];
    for (int i = 0; i < 5; i++)
        r->item_v11_15[i] = colour_or_zero(v[11 + i]);
    r->item_v16 = v[16];
    for (int j = 0; j < NUM_JOINTS; j++) {
        r->force_col[j] = force;
        r->relax_col[j] = relax;
        r->rep_col[j] = rep;
    }
    r->loaded = 1;
    return 0;
}

static int parse_decal(const char *a, PlayerCustoms *r)
{
    int part = 0, value = 0, x, y;
    char name[10] = "";
    int got = sscanf(a, "%i %i %i %i %9s", &part, &value, &x, &y, name);
    if (got < 4 || part < 0 || part >= CUSTOMS_PARTS)
        return 1;
    r->decal_value[part] = value;
    n_strncpyz(r->decal_name[part], name, sizeof r->decal_name[part]);
    r->loaded = 1;
    return 0;
}

struct CustomsRow {
    const char *keyword;
    int (*write)(const char *keyword, const PlayerCustoms *record, char *out, int size);
    int (*parse)(const char *args, PlayerCustoms *record);
};

static const CustomsRow CustomsTable[CUSTOMS_ROWS] = {
    {"TEXT", write_text, parse_text},       {"ITEM", write_item, parse_item},
    {"BODCOL", write_bodcol, parse_bodcol}, {"GRADCOL1", write_grad1, parse_grad1},
    {"GRADCOL2", write_grad2, parse_grad2}, {"FORCOL", write_forcol, parse_forcol},
    {"RELCOL", write_relcol, parse_relcol}, {"REPCOL", write_repcol, parse_repcol},
    {"BELTNAME", write_belt, parse_belt},   {"TRAILCOL", write_trail, parse_trail},
};

// Keywords of the network column only.
static const CustomsRow NetOnlyTable[] = {
    {"DECAL", nullptr, parse_decal},
    {"JFORCE", nullptr, parse_forcol},
    {"JRELAX", nullptr, parse_relcol},
    {"JREPLAY", nullptr, parse_repcol},
};

int write_customs_line(int row, const PlayerCustoms *record, char *out, int size)
{
    if (row < 0 || row >= CUSTOMS_ROWS || !record || !out || size < 1)
        return 1;
    return CustomsTable[row].write(CustomsTable[row].keyword, record, out, size);
}

int parse_customs_args(const char *keyword, const char *args, PlayerCustoms *record)
{
    if (!keyword || !args || !record)
        return 1;
    for (const CustomsRow &row : CustomsTable)
        if (strcmp(row.keyword, keyword) == 0)
            return row.parse(args, record);
    for (const CustomsRow &row : NetOnlyTable)
        if (strcmp(row.keyword, keyword) == 0)
            return row.parse(args, record);
    return 1;
}

int parse_custom(const char *line, PlayerCustoms *record)
{
    if (!line || !record)
        return 1;
    if (line[0] == '#')
        return 0;
    char word[32];
    if (sscanf(line, "%31s", word) != 1) {
        fprintf(stderr, "parse_custom wrong start %s\n", line);
        return 1;
    }
    const CustomsRow *found = nullptr;
    for (const CustomsRow &row : CustomsTable)
        if (strcmp(row.keyword, word) == 0)
            found = &row;
    if (!found) {
        fprintf(stderr, "parse_custom no op found %s\n", line);
        return 1;
    }
    const char *semi = strchr(line, ';');
    if (!semi)
        return 1;
    return found->parse(semi + 1, record);
}

// ---- files -----------------------------------------------------------------------

static void chomp_line(char *line)
{
    line[strcspn(line, "\r\n")] = '\0';
}

int load_customs(const char *path, PlayerCustoms *record)
{
    if (!path || !record)
        return 1;
    FILE *f = open_read_file(path, 1 << 20);
    if (!f)
        return 1;
    memset(record, 0, sizeof *record);
    char line[CUSTOMS_LINE_BYTES];
    int failed = 0;
    int got;
    while ((got = read_whole_line(f, line, sizeof line)) != 0) {
        chomp_line(line);
        if (got < 0) {
            // Each piece of an over-long line would read as a line of its own.
            fprintf(stderr, "Refused %s: line too long: %.40s\n", path, line);
            failed++;
            continue;
        }
        if (line[0] == '\0')
            continue;
        if (parse_custom(line, record) != 0) {
            fprintf(stderr, "load_customs failed to parse %s\n", line);
            failed++;
        }
    }
    fclose(f);
    return failed;
}

int save_customs(const char *path, const PlayerCustoms *record)
{
    if (!path || !record)
        return 1;
    make_path_dirs(path);
    SafeFile out;
    if (safe_open(&out, path) != 0) {
        fprintf(stderr, "save_customs failed to open %s\n", path);
        return 1;
    }
    char line[CUSTOMS_LINE_BYTES];
    int result = 0;
    for (int row = 0; row < CUSTOMS_ROWS; row++) {
        if (write_customs_line(row, record, line, sizeof line) != 0) {
            result = 1;
            continue;
        }
        fputs(line, out.f);
    }
    if (safe_commit(&out) != 0)
        result = 1;
    return result;
}

int customs_path(const char *name, const char *file, char *out, int size)
{
    if (!name || !file || !out || size < 1)
        return 1;
    out[0] = '\0';
    char tag[32], plain[32];
    split_name_tag_lower(name, sizeof plain, tag, plain);
    sanitize_name(plain);
    if (plain[0] == '\0')
        return 1;   // no name yet: nothing to read or write
    if (strstr(plain, "..")) {
        fprintf(stderr, "customs_path refused name %s\n", name);
        return 1;
    }
    int n = snprintf(out, size, "custom/%s/%s", plain, file);
    if (n < 0 || n >= size) {
        out[0] = '\0';
        return 1;
    }
    return 0;
}

// ---- equipment -------------------------------------------------------------------

EquipmentRecord *get_equipment() { return &equipment; }

int parse_equipment(const char *line)
{
    if (!line)
        return 1;
    if (line[0] == '#')
        return 0;
    char word[32];
    if (sscanf(line, "%31s", word) != 1) {
        fprintf(stderr, "parse_equipment wrong start %s\n", line);
        return 1;
    }
    if (strcmp(word, "GHOST") != 0) {
        fprintf(stderr, "parse_equipment no op found %s\n", line);
        return 1;
    }
    const char *semi = strchr(line, ';');
    int v[3];
    if (!semi || sscanf(semi + 1, "%i %i %i", &v[0], &v[1], &v[2]) != 3)
        return 1;
    memcpy(equipment.values, v, sizeof v);
    return 0;
}

int load_equipment(const char *path)
{
    memset(&equipment, 0, sizeof equipment);
    FILE *f = path ? open_read_file(path, 1 << 20) : nullptr;
    if (!f)
        return 1;
    char line[CUSTOMS_LINE_BYTES];
    int failed = 0;
    int got;
    while ((got = read_whole_line(f, line, sizeof line)) != 0) {
        chomp_line(line);
        if (got < 0) {
            // Each piece of an over-long line would read as a line of its own.
            fprintf(stderr, "Refused %s: line too long: %.40s\n", path, line);
            failed++;
            continue;
        }
        if (line[0] == '\0')
            continue;
        if (parse_equipment(line) != 0) {
            fprintf(stderr, "load_equipment failed to parse %s\n", line);
            failed++;
        }
    }
    fclose(f);
    return failed;
}

int save_equipment(const char *path)
{
    if (!path)
        return 1;
    make_path_dirs(path);
    SafeFile out;
    if (safe_open(&out, path) != 0) {
        fprintf(stderr, "save_equipment failed to open %s\n", path);
        return 1;
    }
    fprintf(out.f, "GHOST 0;%i %i %i\n", equipment.values[0], equipment.values[1],
            equipment.values[2]);
    return safe_commit(&out);
}

int load_user_equipment()
{
    char path[CUSTOMS_PATH_BYTES];
    if (customs_path(login_nick, "equipment.dat", path, sizeof path) != 0) {
        memset(&equipment, 0, sizeof equipment);
        return 1;
    }
    return load_equipment(path);
}

void set_ghost_equipment(int a, int b, int c)
{
    equipment.values[0] = a;
    equipment.values[1] = b;
    equipment.values[2] = c;
    char path[CUSTOMS_PATH_BYTES];
    if (customs_path(login_nick, "equipment.dat", path, sizeof path) == 0)
        save_equipment(path);
}

// ---- looks -----------------------------------------------------------------------

void clear_player_customs()
{
    memset(staging, 0, sizeof staging);
    memset(session_looks, 0, sizeof session_looks);
    for (int p = 0; p < MAX_FIGHTERS; p++) {
        memset(&player_customs[p], 0, sizeof player_customs[p]);
        push_customs_colours(p);
    }
}

void push_customs_colours(int record)
{
    if (record < 0 || record >= MAX_PLAYERS)
        return;
    const PlayerCustoms *c = &player_customs[record];
    FighterLook *l = &fighter_looks[record];
    for (int b = 0; b < NUM_BODIES; b++)
        l->body_colour[b] = c->body_col[b];
    for (int j = 0; j < NUM_JOINTS; j++) {
        l->force_colour[j] = c->force_col[j];
        l->relax_colour[j] = c->relax_col[j];
        l->joint_colour[j] = c->rep_col[j];
    }
    l->ghost_colour = c->item_v5;
    l->timer_colour = c->timer_col;
}

// The trails' textures ("custom/<name>/trail_*.tga") and colours.
static void reload_player_trails(int p, const char *name)
{
    load_custom_trail_textures(p, name, player_customs[p].trail_col);
}

// Without a head texture of its own a fighter wears the default head of
// its place ("data/textures/head/<default name>.tga", e.g. "kasu"), when
// the game ships one. A file that is there but cannot be read is reported
// once.
int load_default_head_texture(int p)
{
    if (p < 0 || p >= MAX_FIGHTERS)
        return 1;
    char path[CUSTOMS_PATH_BYTES];
    snprintf(path, sizeof path, "data/textures/head/%s.tga", default_player_names_table[p]);
    if (access(path, R_OK) != 0)
        return 1;
    Texture *slot = player_body_textures[p][0];
    if (slot && texture_load(slot, "data/textures/head", default_player_names_table[p]))
        return 0;
    static int reported;
    if (!reported)
        fprintf(stderr, "set_player_body - corrupt default %s texture\n", path);
    reported = 1;
    return 1;
}

// The fighter's own textures that were there but could not be used: each
// is named on standard error; the player reads one line in the console
// for the first of them (and how many more), once while it stays so.
struct TextureRefusals {
    char first[CUSTOMS_PATH_BYTES + 64];
    int count;
};
static char reported_refusal[MAX_FIGHTERS][CUSTOMS_PATH_BYTES + 128];

static void note_refusal(TextureRefusals *r, const Texture *slot, TgaResult why)
{
    if (why == TGA_OK || why == TGA_NO_FILE || !slot)
        return;
    fprintf(stderr, "refused texture %s.tga: %s\n", slot->path, tga_result_text(why));
    if (r->count++ == 0)
        snprintf(r->first, sizeof r->first, "%s.tga: %s", slot->path, tga_result_text(why));
}

static void report_refusals(int p, const TextureRefusals *r)
{
    char line[sizeof reported_refusal[0]];
    line[0] = '\0';
    if (r->count == 1)
        snprintf(line, sizeof line, "Texture %s", r->first);
    else if (r->count > 1)
        snprintf(line, sizeof line, "Texture %s (and %d more refused)", r->first, r->count - 1);
    if (strcmp(line, reported_refusal[p]) == 0)
        return;
    n_strncpyz(reported_refusal[p], line, sizeof reported_refusal[p]);
    if (line[0])
        echo_message(line, 4);
}

void reload_player_textures(int p)
{
    if (p < 0 || p >= MAX_FIGHTERS)
        return;
    push_customs_colours(p);
    players[p].num_textures = 0;
    char dir[CUSTOMS_PATH_BYTES];
    // The folder "custom/<name>" without a trailing file.
    if (customs_path(players[p].name, "", dir, sizeof dir) != 0) {
        reload_player_trails(p, "");
        return;
    }
    dir[strlen(dir) - 1] = '\0';
    const char *sub = dir + strlen("custom/");
    reload_player_trails(p, sub);
    TextureRefusals refused = {};
    TgaResult why = TGA_OK;
    if (p == 0 || !spare_table_texture_loaded()) {
        load_spare_table_texture(dir, "ground", &why);
        note_refusal(&refused, table_texture(SPARE_TABLE_ROW), why);
    }
    const PlayerCustoms *c = &player_customs[p];
    for (int b = 0; b < NUM_BODIES; b++) {
        load_player_body_bump_texture(p, b, sub, "custom", &why);
        note_refusal(&refused, player_body_bump_textures[p][b], why);
        int loaded = load_player_body_texture(p, b, sub, "custom", &why) == 0;
        note_refusal(&refused, player_body_textures[p][b], why);
        if (loaded) {
            players[p].num_textures++;
            continue;
        }
        // A failed load empties the slot: the decal text goes in now, unless
        // a default head or a gradient takes the part.
        if (b == 0 && load_default_head_texture(p) == 0)
            continue;
        if (c->decal_name[b][0])
            set_player_body_decal(p, b, c->decal_name[b]);
        if (b == 0)
            continue;
        // No own texture: a gradient of the two colours, away from the
        // head and the torso (1, 2, 5, 8).
        bool torso = b == 1 || b == 2 || b == 5 || b == 8;
        if (b == 0 || torso || (!c->grad_col1[b] && !c->grad_col2[b]))
            continue;
        const BodyDef *table = current_world.body_tables[p];
        float c1[3], c2[3];
        get_colour_rgb(c->grad_col1[b], c1);
        get_colour_rgb(c->grad_col2[b], c2);
        generate_gradient_texture(player_body_textures[p][b], c1, c2, table ? table[b].shape : 0,
                                  b >= 19);
    }
    for (int j = 0; j < NUM_JOINTS; j++) {
        load_player_joint_bump_texture(p, j, sub, "custom", &why);
        note_refusal(&refused, player_joint_bump_textures[p][j], why);
        if (load_player_joint_texture(p, j, sub, "custom", &why) == 0)
            players[p].num_textures++;
        note_refusal(&refused, player_joint_textures[p][j], why);
    }
    report_refusals(p, &refused);
    if (c->item_v8 && c->item_v9 && player_color_textures[p]) {
        float a[3], b[3];
        get_colour_rgb(c->item_v8, a);
        get_colour_rgb(c->item_v9, b);
        set_player_texture_colors(p, a, b);
    }
}

int load_player_look(int p)
{
    if (p < 0 || p >= MAX_FIGHTERS)
        return 1;
    char path[CUSTOMS_PATH_BYTES];
    int result = 1;
    // The item file holds no decals: the ones the server or a replay sent
    // stay across the reload.
    char decal_name[CUSTOMS_PARTS][10];
    int decal_value[CUSTOMS_PARTS];
    memcpy(decal_name, player_customs[p].decal_name, sizeof decal_name);
    memcpy(decal_value, player_customs[p].decal_value, sizeof decal_value);
    memset(&player_customs[p], 0, sizeof player_customs[p]);
    if (customs_path(players[p].name, "item.dat", path, sizeof path) == 0)
        result = load_customs(path, &player_customs[p]) == 1 ? 1 : 0;
    for (int b = 0; b < CUSTOMS_PARTS; b++)
        if (!player_customs[p].decal_name[b][0]) {
            memcpy(player_customs[p].decal_name[b], decal_name[b], sizeof decal_name[b]);
            player_customs[p].decal_value[b] = decal_value[b];
        }
    reload_player_textures(p);
    return result;
}

void check_default_names()
{
    default_names_flag =
        strcmp(players[0].name, "kasu") == 0 && strcmp(players[1].name, "uke") == 0;
}

int get_default_names_flag() { return default_names_flag; }

void load_fighter_looks(int new_session)
{
    if (new_session == 1)
        check_default_names();
    int n = match_state.num_players;
    if (n > MAX_FIGHTERS)
        n = MAX_FIGHTERS;
    for (int i = 0; i < n; i++) {
        if (new_session == 1 && staging[i].loaded) {
            // A look sent by the server or carried by a replay dresses this
            // match only: the player's own item.dat under the same name is
            // neither read over it nor overwritten (decals stay too).
            SessionLook *s = &session_looks[i];
            s->active = 1;
            n_strncpyz(s->name, players[i].name, sizeof s->name);
            s->look = staging[i];
        }
        if (wear_session_look(i) != 0)
            load_player_look(i);
        int ghost = i + match_state.num_players;
        if (ghost < MAX_PLAYERS) {
            player_customs[ghost].item_v5 = player_customs[i].item_v5;
            player_customs[ghost].timer_col = player_customs[i].timer_col;
            push_customs_colours(ghost);
        }
    }
    memset(staging, 0, sizeof staging);
    if (chosen_timer_colour > 0)
        wear_timer_colour(chosen_timer_colour);
}

void wear_timer_colour(int colour)
{
    int p = timer_dial_player();
    player_customs[p].timer_col = colour_or_zero(colour);
    push_customs_colours(p);
}

void choose_timer_colour(int colour)
{
    chosen_timer_colour = colour_or_zero(colour);
    wear_timer_colour(chosen_timer_colour);
}

int load_player_custom(int p, const char *name)
{
    if (p < 0 || p >= MAX_FIGHTERS || !name)
        return 1;
    players[p].colour = default_fighter_colours[p];
    players[p].colour_copy = default_fighter_colours[p];
    set_player_name(p, name);
    return load_player_look(p);
}

void reload_all_player_looks()
{
    int n = match_state.num_players;
    if (n > MAX_FIGHTERS)
        n = MAX_FIGHTERS;
    if (core_outward.is_connected && core_outward.is_connected()) {
        for (int i = 0; i < n; i++)
            if (players[i].name[0] == '\0')
                return;
        for (int i = 0; i < n; i++)
            reload_player_textures(i);
        return;
    }
    for (int i = 0; i < n; i++) {
        char name[32];
        n_strncpyz(name, players[i].name, sizeof name);
        set_player_name(i, name);
        if (wear_session_look(i) != 0)
            load_player_look(i);
    }
}

void customs_line_for_player(const char *keyword, int player, const char *args)
{
    PlayerCustoms *r = get_player_customs(player);
    if (!r)
        return;
    if (parse_customs_args(keyword, args, r) != 0)
        fprintf(stderr, "customs line %s for player %d refused\n", keyword ? keyword : "", player);
}

void clear_customs_for_player(int player)
{
    if (player < 0 || player >= CUSTOMS_STAGING)
        return;
    memset(&staging[player], 0, sizeof staging[player]);
    if (player < MAX_FIGHTERS)
        memset(&session_looks[player], 0, sizeof session_looks[player]);
    memset(&player_customs[player], 0, sizeof player_customs[player]);
    push_customs_colours(player);
}

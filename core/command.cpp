#include "core/command.h"

#include "core/command_handlers.h"
#include "core/sane.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Column slots in order: network, replay, browser, fourth. The fourth
// column's customisation rows share the replay column's handlers.
const CommandRow CommandTable[COMMAND_COUNT + 1] = {
    /*  0 */ {"NEWGAME", net_cmd_newgame, replay_cmd_newgame, browser_cmd_newgame, nullptr, CMD_FLAG_INFO},
    /*  1 */ {"RUN", net_cmd_run, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /*  2 */ {"TEAMS", net_cmd_teams, replay_cmd_teams, nullptr, nullptr, CMD_FLAG_INFO},
    /*  3 */ {"ENGAGE", net_cmd_engage, replay_cmd_engage, nullptr, nullptr, CMD_FLAG_INFO},
    /*  4 */ {"WIN", net_cmd_win, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /*  5 */ {"WIN2", net_cmd_win2, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /*  6 */ {"ID", net_cmd_id, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /*  7 */ {"CONNECT", net_cmd_connect, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /*  8 */ {"BOUT", net_cmd_bout, replay_cmd_bout, nullptr, nullptr, CMD_FLAG_INFO},
    /*  9 */ {"SPECS", net_cmd_specs, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /* 10 */ {"SAY", net_cmd_say, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /* 11 */ {"QAT", net_cmd_qat, replay_cmd_qat, nullptr, nullptr, CMD_FLAG_STATE},
    /* 12 */ {"POS", net_cmd_pos, replay_cmd_pos, nullptr, nullptr, CMD_FLAG_STATE},
    /* 13 */ {"HINGEFMAX", net_cmd_hingefmax, replay_cmd_hingefmax, nullptr, nullptr, CMD_FLAG_STATE},
    /* 14 */ {"HINGEVEL", net_cmd_hingevel, replay_cmd_hingevel, nullptr, nullptr, CMD_FLAG_STATE},
    /* 15 */ {"ANGVEL", net_cmd_angvel, replay_cmd_angvel, nullptr, nullptr, CMD_FLAG_STATE},
    /* 16 */ {"LINVEL", net_cmd_linvel, replay_cmd_linvel, nullptr, nullptr, CMD_FLAG_STATE},
    /* 17 */ {"P_QAT", net_cmd_p_qat, replay_cmd_p_qat, nullptr, nullptr, CMD_FLAG_STATE | CMD_FLAG_TAIL},
    /* 18 */ {"P_POS", net_cmd_p_pos, replay_cmd_p_pos, nullptr, nullptr, CMD_FLAG_STATE | CMD_FLAG_TAIL},
    /* 19 */ {"P_ANGVEL", net_cmd_p_angvel, replay_cmd_p_angvel, nullptr, nullptr, CMD_FLAG_STATE | CMD_FLAG_TAIL},
    /* 20 */ {"P_LINVEL", net_cmd_p_linvel, replay_cmd_p_linvel, nullptr, nullptr, CMD_FLAG_STATE | CMD_FLAG_TAIL},
    /* 21 */ {"WORLD", net_cmd_world, nullptr, nullptr, nullptr, CMD_FLAG_STATE},
    /* 22 */ {"CRUSH", net_cmd_crush, replay_cmd_crush, nullptr, nullptr, CMD_FLAG_STATE},
    /* 23 */ {"FRACT", net_cmd_fract, replay_cmd_fract, nullptr, nullptr, CMD_FLAG_STATE},
    /* 24 */ {"BREAK", net_cmd_break, nullptr, nullptr, nullptr, CMD_FLAG_STATE},
    /* 25 */ {"DISCL", net_cmd_discl, nullptr, nullptr, nullptr, CMD_FLAG_STATE},
    /* 26 */ {"GRIP", net_cmd_grip, replay_cmd_grip, nullptr, nullptr, CMD_FLAG_INPUT},
    /* 27 */ {"B_GRIP", net_cmd_b_grip, nullptr, nullptr, nullptr, CMD_FLAG_INPUT},
    /* 28 */ {"GRAB", net_cmd_grab, replay_cmd_grab, nullptr, nullptr, CMD_FLAG_STATE},
    /* 29 */ {"SIZE", net_cmd_size, nullptr, nullptr, nullptr, CMD_FLAG_STATE},
    /* 30 */ {"JOINT", net_cmd_joint, replay_cmd_joint, nullptr, nullptr, CMD_FLAG_INPUT},
    /* 31 */ {"B_JOINT", net_cmd_b_joint, nullptr, nullptr, nullptr, CMD_FLAG_INPUT},
    /* 32 */ {"BATCH", net_cmd_batch, nullptr, nullptr, nullptr, CMD_FLAG_INPUT},
    /* 33 */ {"GAME", net_cmd_game, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /* 34 */ {"LOST", net_cmd_lost, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /* 35 */ {"BODCOL", net_cmd_bodcol, replay_cmd_bodcol, nullptr, replay_cmd_bodcol, CMD_FLAG_INFO},
    /* 36 */ {"GRADCOL1", net_cmd_gradcol1, replay_cmd_gradcol1, nullptr, replay_cmd_gradcol1, CMD_FLAG_INFO},
    /* 37 */ {"GRADCOL2", net_cmd_gradcol2, replay_cmd_gradcol2, nullptr, replay_cmd_gradcol2, CMD_FLAG_INFO},
    /* 38 */ {"JFORCE", net_cmd_jforce, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /* 39 */ {"JRELAX", net_cmd_jrelax, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /* 40 */ {"JREPLAY", net_cmd_jreplay, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /* 41 */ {"TRAILCOL", net_cmd_trailcol, replay_cmd_trailcol, nullptr, replay_cmd_trailcol, CMD_FLAG_INFO},
    /* 42 */ {"ITEM", net_cmd_item, replay_cmd_item, nullptr, replay_cmd_item, CMD_FLAG_INFO},
    /* 43 */ {"DECAL", net_cmd_decal, replay_cmd_decal, nullptr, replay_cmd_decal, CMD_FLAG_INFO},
    /* 44 */ {"TEXT", net_cmd_text, replay_cmd_text, nullptr, replay_cmd_text, CMD_FLAG_INFO},
    /* 45 */ {"BELTNAME", net_cmd_beltname, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /* 46 */ {"GHOST", net_cmd_ghost, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /* 47 */ {"ECHO", net_cmd_echo, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /* 48 */ {"ZYLOMACH", net_cmd_zylomach, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /* 49 */ {"DISCONNECT", net_cmd_disconnect, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /* 50 */ {"KICK", net_cmd_kick, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /* 51 */ {"FIGHT", nullptr, replay_cmd_fight, nullptr, nullptr, CMD_FLAG_INFO},
    /* 52 */ {"FIGHTNAME", nullptr, replay_cmd_fightname, nullptr, nullptr, CMD_FLAG_INFO},
    /* 53 */ {"FRAME", net_cmd_frame, replay_cmd_frame, nullptr, nullptr, CMD_FLAG_INFO},
    /* 54 */ {"AUTHOR", nullptr, replay_cmd_author, nullptr, nullptr, CMD_FLAG_INFO},
    /* 55 */ {"VERSION", nullptr, replay_cmd_version, nullptr, nullptr, CMD_FLAG_INFO},
    /* 56 */ {"INFO", net_cmd_info, nullptr, browser_cmd_info, nullptr, CMD_FLAG_INFO},
    /* 57 */ {"CLIENTS", nullptr, nullptr, browser_cmd_clients, nullptr, CMD_FLAG_INFO},
    /* 58 */ {"FORWARD", net_cmd_forward, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    /* 59 */ {"DESC", nullptr, nullptr, browser_cmd_desc, nullptr, CMD_FLAG_INFO},
    /* 60 */ {"EMOTE", net_cmd_emote, replay_cmd_emote, nullptr, nullptr, CMD_FLAG_INFO},
    /* 61 */ {"P_ENV", net_cmd_p_env, replay_cmd_p_env, nullptr, nullptr, CMD_FLAG_STATE | CMD_FLAG_TAIL},
    /* 62 */ {"EPOS", nullptr, replay_cmd_epos, nullptr, nullptr, CMD_FLAG_STATE},
    /* 63 */ {"EQAT", nullptr, replay_cmd_eqat, nullptr, nullptr, CMD_FLAG_STATE},
    /* 64 */ {"EANGVEL", nullptr, replay_cmd_eangvel, nullptr, nullptr, CMD_FLAG_STATE},
    /* 65 */ {"ELINVEL", nullptr, replay_cmd_elinvel, nullptr, nullptr, CMD_FLAG_STATE},
    /* 66 */ {"ANNOUNCE", net_cmd_announce, nullptr, nullptr, nullptr, CMD_FLAG_INFO},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0}
};

CommandStream command_streams[CMD_KINDS] = {};

static CommandHandler column_handler(const CommandRow *row, int kind)
{
    switch (kind) {
    case CMD_KIND_NETWORK: return row->network;
    case CMD_KIND_REPLAY: return row->replay;
    case CMD_KIND_BROWSER: return row->browser;
    case CMD_KIND_FOURTH: return row->fourth;
    }
    return nullptr;
}

static int clamp_long(long v)
{
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return (int)v;
}

// Reads "NAME number" from the start of a line. The name must fit the
// 256-byte buffer whole; the number follows "%i" rules (sign, 0x, leading 0).
static int read_line_start(const char *line, char name[CMD_NAME_SIZE], int *number,
                           const char **after)
{
    int used = 0;
    if (sscanf(line, "%255s%n", name, &used) != 1)
        return -1;
    if (line[used] && !isspace((unsigned char)line[used]))
        return -1;   // the word did not fit
    const char *p = line + used;
    char *end = nullptr;
    long v = strtol(p, &end, 0);
    if (end == p)
        return -1;
    *number = clamp_long(v);
    *after = end;
    return 0;
}

int parse_cmd_stream(CommandStream *stream, const CommandRow *table, int kind,
                     const char *line, char *pending)
{
    if (!stream || !table || kind < 0 || kind >= CMD_KINDS) {
        fprintf(stderr, "parse_cmd bad kind %d\n", kind);
        return -1;
    }

    // The tail announced by the previous text line of this stream.
    if (pending && *pending) {
        const CommandRow *row = stream->row;
        int number = stream->number;
        *pending = 0;
        stream->row = nullptr;
        if (!line || !row || !(row->flags & CMD_FLAG_TAIL))
            return 0;
        CommandHandler handler = nullptr;
        if (kind == CMD_KIND_NETWORK)
            handler = row->network;
        else if (kind == CMD_KIND_REPLAY)
            handler = row->replay;
        if (handler)
            handler(number, line);
        return 0;
    }

    stream->row = nullptr;
    if (!line)
        return -1;
    if (line[0] == '#')
        return 0;
    if (strnlen(line, CMD_LINE_MAX + 1) > CMD_LINE_MAX)
        return 0;

    char name[CMD_NAME_SIZE];
    int number = 0;
    const char *after = nullptr;
    if (read_line_start(line, name, &number, &after) != 0) {
        fprintf(stderr, "parse_cmd wrong start %s\n", line);
        return -1;
    }
    stream->number = number;

    const CommandRow *row = table;
    // (The first letter first: most rows differ there.)
    while (row->name && (row->name[0] != name[0] || strcmp(row->name, name) != 0))
        row++;
    if (!row->name) {
        fprintf(stderr, "parse_cmd no op found %s\n", line);
        return -1;
    }
    stream->row = row;

    const char *args = strchr(line, ';');
    args = args ? args + 1 : "";

    CommandHandler handler = column_handler(row, kind);
    if (!handler)
        return 0;

    if ((kind == CMD_KIND_NETWORK || kind == CMD_KIND_REPLAY) &&
        (row->flags & CMD_FLAG_TAIL)) {
        if (!pending) {
            // Nobody would hand the tail over; the handler must not see text.
            fprintf(stderr, "parse_cmd no tail flag for %s\n", row->name);
            stream->row = nullptr;
            return -1;
        }
        *pending = 1;
        return 0;
    }

    handler(number, args);
    return 0;
}

int parse_cmd_in(const CommandRow *table, int kind, const char *line, char *pending)
{
    if (kind < 0 || kind >= CMD_KINDS) {
        fprintf(stderr, "parse_cmd bad kind %d\n", kind);
        return -1;
    }
    return parse_cmd_stream(&command_streams[kind], table, kind, line, pending);
}

int parse_cmd(int kind, const char *line, char *pending)
{
    return parse_cmd_in(CommandTable, kind, line, pending);
}

// ---- packed tails --------------------------------------------------------

int32_t packed_tail_word(const char *tail, int i)
{
    const unsigned char *b = (const unsigned char *)tail + 4 * (size_t)i;
    uint32_t u = (uint32_t)b[0] | ((uint32_t)b[1] << 8) | ((uint32_t)b[2] << 16) |
                 ((uint32_t)b[3] << 24);
    return (int32_t)u;
}

int packed_tail_count(const char *tail)
{
    if (!tail)
        return -1;
    int32_t n = packed_tail_word(tail, 0);
    if (n < 1 || n > PACKED_TAIL_MAX_WORDS)
        return -1;
    return (int)n;
}

static void put_word(char *out, int i, int32_t v)
{
    uint32_t u = (uint32_t)v;
    unsigned char *b = (unsigned char *)out + 4 * (size_t)i;
    b[0] = (unsigned char)(u & 0xff);
    b[1] = (unsigned char)((u >> 8) & 0xff);
    b[2] = (unsigned char)((u >> 16) & 0xff);
    b[3] = (unsigned char)((u >> 24) & 0xff);
}

int pack_tail(char *out, int out_bytes, const double *values, int count)
{
    if (!out || count < 0 || (count > 0 && !values))
        return -1;
    int n = count + 1;
    if (n > PACKED_TAIL_MAX_WORDS || 4 * n > out_bytes)
        return -1;
    put_word(out, 0, n);
    for (int i = 0; i < count; i++)
        put_word(out, i + 1, to_millionths(values[i]));
    return 4 * n;
}

static int unpack_values(const char *tail, double *out, int capacity)
{
    int n = packed_tail_count(tail);
    if (n < 0)
        return -1;
    int values = n - 1;
    if (!out || capacity < 0)
        capacity = 0;
    if (values > capacity)
        values = capacity;
    for (int i = 0; i < values; i++)
        out[i] = from_millionths(packed_tail_word(tail, i + 1));
    return values;
}

int unpack_tail_rows3(const char *tail, double *out, int capacity)
{
    return unpack_values(tail, out, capacity);
}

int unpack_tail_rows4(const char *tail, double *out, int capacity)
{
    return unpack_values(tail, out, capacity);
}

void unpack_env_tail(const char *words, double position[3], double quaternion[4],
                     double angular_velocity[3], double linear_velocity[3])
{
    for (int i = 0; i < 3; i++)
        position[i] = from_millionths(packed_tail_word(words, i));
    for (int i = 0; i < 4; i++)
        quaternion[i] = from_millionths(packed_tail_word(words, 3 + i));
    for (int i = 0; i < 3; i++)
        angular_velocity[i] = from_millionths(packed_tail_word(words, 7 + i));
    for (int i = 0; i < 3; i++)
        linear_velocity[i] = from_millionths(packed_tail_word(words, 10 + i));
}

int env_tail_groups(const char *tail)
{
    int n = packed_tail_count(tail);
    if (n < 0)
        return 0;
    return (n - 1) / ENV_TAIL_GROUP_WORDS;
}

const char *env_tail_group(const char *tail, int group)
{
    if (group < 0 || group >= env_tail_groups(tail))
        return nullptr;
    return tail + 4 * (1 + ENV_TAIL_GROUP_WORDS * group);
}

int32_t to_millionths(double x)
{
    return whole_number(x * 1000000.0);
}

double from_millionths(int32_t i)
{
    return i / 1000000.0;
}

// ---- argument readers ------------------------------------------------------

static bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

static bool is_line_end(char c)
{
    return c == '\0' || c == '\r' || c == '\n';
}

// The next number's start, or null at the end of the line.
static const char *number_start(const char *p)
{
    while (is_blank(*p))
        p++;
    return is_line_end(*p) ? nullptr : p;
}

// One blank-delimited word into word[CMD_WORD_SIZE]; *after is the text
// behind the word and its trailing blanks. 0 on success.
static int read_word(const char *text, char word[CMD_WORD_SIZE], const char **after)
{
    const char *p = number_start(text);
    if (!p)
        return -1;
    int len = 0;
    while (p[len] && !isspace((unsigned char)p[len])) {
        if (len == CMD_WORD_SIZE - 1)
            return -1;
        word[len] = p[len];
        len++;
    }
    word[len] = '\0';
    p += len;
    while (is_blank(*p))
        p++;
    *after = p;
    return 0;
}

const char *read_float_token(const char *text, float *out, char *error)
{
    char word[CMD_WORD_SIZE];
    const char *after = nullptr;
    char *end = nullptr;
    if (text && read_word(text, word, &after) == 0) {
        float v = strtof(word, &end);
        if (end != word) {
            if (out)
                *out = v;
            if (error)
                *error = 0;
            return after;
        }
    }
    if (error)
        *error = 1;
    return text;
}

const char *read_int_token(const char *text, int *out, char *error)
{
    char word[CMD_WORD_SIZE];
    const char *after = nullptr;
    char *end = nullptr;
    if (text && read_word(text, word, &after) == 0) {
        long v = strtol(word, &end, 0);
        if (end != word) {
            if (out)
                *out = clamp_long(v);
            if (error)
                *error = 0;
            return after;
        }
    }
    if (error)
        *error = 1;
    return text;
}

const char *read_doubles(const char *text, int n, double *out)
{
    const char *p = text;
    if (!p || !out)
        return p;
    for (int i = 0; i < n; i++) {
        char *end = nullptr;
        out[i] = strtod(p, &end);
        p = end;
    }
    return p;
}

// Up to count numbers into out (row-major), stopping at the end of the line
// or at text that is not a number. Returns the text where it stopped.
static const char *read_double_values(const char *text, int count, double *out)
{
    const char *p = text;
    if (!p || !out)
        return p;
    for (int i = 0; i < count; i++) {
        const char *start = number_start(p);
        if (!start)
            return p;
        char *end = nullptr;
        double v = strtod(start, &end);
        if (end == start)
            return start;
        out[i] = v;
        p = end;
    }
    return p;
}

const char *read_double_rows4(const char *text, int n, double (*rows)[4])
{
    return read_double_values(text, n > 0 ? 4 * n : 0, rows ? &rows[0][0] : nullptr);
}

const char *read_double_rows3(const char *text, int n, double (*rows)[3])
{
    return read_double_values(text, n > 0 ? 3 * n : 0, rows ? &rows[0][0] : nullptr);
}

const char *read_double_list(const char *text, int n, double *out)
{
    return read_double_values(text, n > 0 ? n : 0, out);
}

// One base-10 integer after blanks; 0 on success.
static int read_long10(const char **p, int *out)
{
    if (!*p)
        return -1;
    const char *start = number_start(*p);
    if (!start)
        return -1;
    char *end = nullptr;
    long v = strtol(start, &end, 10);
    if (end == start)
        return -1;
    *out = clamp_long(v);
    *p = end;
    return 0;
}

int parse_int_pairs(const char *text, int n, int (*pairs)[2])
{
    const char *p = text;
    int count = 0;
    if (!pairs)
        return 0;
    while (count < n) {
        int a = 0, b = 0;
        if (read_long10(&p, &a) != 0 || read_long10(&p, &b) != 0)
            break;
        pairs[count][0] = a;
        pairs[count][1] = b;
        count++;
    }
    return count;
}

int read_int_list(const char *text, int n, int *out)
{
    const char *p = text;
    int count = 0;
    if (!out)
        return 0;
    while (count < n && read_long10(&p, &out[count]) == 0)
        count++;
    return count;
}

int read_separated_ints(const char *text, int n, int *out, char separator)
{
    if (!out)
        return 0;
    for (int i = 0; i < n; i++)
        out[i] = 0;
    const char *p = text;
    if (!p)
        return 0;
    int count = 0;
    while (count < n) {
        while (is_blank(*p) || (*p == separator && !is_line_end(*p)))
            p++;
        if (read_long10(&p, &out[count]) != 0)
            break;
        count++;
    }
    return count;
}

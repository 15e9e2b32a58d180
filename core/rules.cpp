// Game rules: defaults, the named rule options, reading and writing a rule
// by name, and the "NEWGAME", "ENGAGE" and "TEAMS" text forms.
#include "core/sane.h"
#include "core/rules.h"

#include "core/records.h"
#include "core/text.h"
#include "core/safe_file.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

GameRules setup_rules;
GameRules mod_rules;

const GameRuleOption game_rule_options[27] = {
    {0, "default", "de", 1, 1},
    {1, "matchframes", "mf", 1, 0},
    {2, "turnframes", "tf", 1, 0},
    {3, "mod", "mo", 1, 1},
    {4, "flags", "fl", 1, 0},
    {5, "dismemberment", "di", 1, 0},
    {6, "fracture", "fr", 1, 0},
    {7, "disqualification", "dq", 1, 0},
    {8, "dqtimeout", "dqt", 1, 0},
    {9, "dismemberthreshold", "dt", 1, 0},
    {10, "fracturethreshold", "ft", 1, 0},
    {11, "dojotype", "dt", 1, 0},   // "dt" is taken by row 9 first
    {12, "dojosize", "ds", 1, 0},
    {13, "engagedistance", "ed", 1, 0},
    {14, "engageheight", "eh", 1, 0},
    {15, "engagerotation", "er", 1, 0},
    {16, "engagespace", "es", 1, 0},
    {17, "engageplayerpos", "pp", 1, 1},
    {18, "engageplayerrot", "pr", 1, 1},
    {19, "damage", "da", 1, 0},
    {20, "sumo", "su", 1, 0},
    {21, "desc", "des", 1, 1},
    {22, "motd", "mot", 1, 1},
    {23, "maxclients", "mc", 1, 0},
    {24, "experience", "ex", 1, 0},
    {25, "queuejump", "qj", 1, 0},
    {-1, nullptr, nullptr, 0, 0},
};

namespace {

enum { TEXT_FIELD_MAX = 255 };
// engagedistance, engageheight and engagespace are centimetres (and the
// distance twice over): beyond this the fighters stand outside the world.
enum { ENGAGE_RULE_LIMIT = 100 * SANE_POSITION };
// Seconds a turn may wait for its move: a day at most, so that the limit in
// milliseconds stays well inside 32 bits.
enum { TURN_TIME_LIMIT_MAX = 24 * 60 * 60 };   // characters of a text field (256-byte buffers)

// Every text form fits these: 32 turn-frame values, a 255-character mod name,
// 23 more integers, or 12 engage numbers printed with "%.2f".
enum { RULE_TEXT_SIZE = 1024 };

const GameRuleOption *find_option(const char *name)
{
    if (!name)
        return nullptr;
    for (const GameRuleOption *row = game_rule_options; row->id >= 0; row++) {
        if (strcmp(row->name, name) == 0 || strcmp(row->short_name, name) == 0)
            return row;
    }
    return nullptr;
}

int32_t clamp_long(long v)
{
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return (int32_t)v;
}

int32_t *int_field(int id, GameRules *rules)
{
    switch (id) {
    case 1: return &rules->matchframes;
    case 4: return &rules->flags;
    case 8: return &rules->dqtimeout;
    case 9: return &rules->dismemberthreshold;
    case 10: return &rules->fracturethreshold;
    case 11: return &rules->dojotype;
    case 12: return &rules->dojosize;
    case 13: return &rules->engagedistance;
    case 14: return &rules->engageheight;
    case 15: return &rules->engagerotation;
    case 16: return &rules->engagespace;
    case 19: return &rules->damage;
    case 20: return &rules->sumo;
    default: return nullptr;
    }
}

int flag_bit(int id)
{
    switch (id) {
    case 5: return RULE_FLAG_DISMEMBER;
    case 6: return RULE_FLAG_FRACTURE;
    case 7: return RULE_FLAG_DQ;
    default: return 0;
    }
}

// Fighters whose engage values the texts carry: player 0 always, at most 4.
int engage_count(const GameRules *rules)
{
    if (rules->players < 1)
        return 1;
    if (rules->players > MAX_FIGHTERS)
        return MAX_FIGHTERS;
    return rules->players;
}

// A mod name that names a file directly inside the mod folder: not empty,
// at most 255 characters, no path separators, no leading '.', no blanks or
// control characters (a name with blanks cannot travel in a "NEWGAME" line).
int is_plain_mod_name(const char *name)
{
    size_t n = strlen(name);
    if (n == 0 || n > TEXT_FIELD_MAX || name[0] == '.')
        return 0;
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)name[i];
        if (c == '/' || c == '\\' || isspace(c) || iscntrl(c))
            return 0;
    }
    return 1;
}

int has_blank(const char *text)
{
    for (; *text; text++) {
        if (isspace((unsigned char)*text))
            return 1;
    }
    return 0;
}

// Appends printf-style text at *used; never writes past size. Returns 1 when
// the text did not fit (the buffer then holds what fitted).
__attribute__((format(printf, 4, 5)))
int append(char *buf, int size, int *used, const char *format, ...)
{
    if (*used >= size - 1)
        return 1;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buf + *used, (size_t)(size - *used), format, args);
    va_end(args);
    if (n < 0)
        return 1;
    if (n >= size - *used) {
        *used = size - 1;
        return 1;
    }
    *used += n;
    return 0;
}

// The turn-frame values joined with ',', cut before a value that would not
// fit into size bytes.
void join_turnframes(char *out, int size, const GameRules *rules)
{
    int used = 0;
    out[0] = '\0';
    int count = rules->turnframes_count;
    if (count < 0)
        count = 0;
    if (count > MAX_TURNFRAMES)
        count = MAX_TURNFRAMES;
    for (int i = 0; i < count; i++) {
        int before = used;
        if (append(out, size, &used, i ? ",%i" : "%i", rules->turnframes[i])) {
            out[before] = '\0';
            return;
        }
    }
}

// Reads the next blank-delimited word of *p into word (size bytes). Returns
// 0 and moves *p past it, 1 when there is none or it does not fit.
int next_word(const char **p, char *word, int size)
{
    const char *s = *p;
    while (*s && isspace((unsigned char)*s))
        s++;
    const char *e = s;
    while (*e && !isspace((unsigned char)*e))
        e++;
    int n = (int)(e - s);
    if (n == 0 || n >= size)
        return 1;
    memcpy(word, s, (size_t)n);
    word[n] = '\0';
    *p = e;
    return 0;
}

// An integer word as "%i" reads it (sign, decimal, 0x hex, leading-0 octal);
// the whole word must be the number and fit 32 bits.
int parse_int_word(const char *word, int32_t *out)
{
    char *end = nullptr;
    errno = 0;
    long v = strtol(word, &end, 0);
    if (end == word || *end != '\0' || errno == ERANGE || v > INT32_MAX || v < INT32_MIN)
        return 1;
    *out = (int32_t)v;
    return 0;
}

int read_int(const char **p, int32_t *out)
{
    char word[64];
    if (next_word(p, word, sizeof word))
        return 1;
    return parse_int_word(word, out);
}

int read_float(const char **p, float *out)
{
    char word[128];
    if (next_word(p, word, sizeof word))
        return 1;
    char *end = nullptr;
    float v = strtof(word, &end);
    if (end == word || *end != '\0')
        return 1;
    *out = v;
    return 0;
}

int only_blanks(const char *s)
{
    while (*s && isspace((unsigned char)*s))
        s++;
    return *s == '\0';
}

int mod_file_exists(const char *name)
{
    char path[TEXT_FIELD_MAX + 16];
    int n = snprintf(path, sizeof path, "data/mod/%s", name);
    if (n < 0 || n >= (int)sizeof path)
        return 0;
    FILE *f = open_read_file(path);
    if (!f)
        return 0;
    fclose(f);
    return 1;
}

void set_mod(const char *value, GameRules *rules)
{
    // Mod files end their lines with CRLF; a trailing '\r' or blank is not
    // part of the name.
    char name[TEXT_FIELD_MAX + 2];
    size_t n = strlen(value);
    if (n > TEXT_FIELD_MAX + 1)
        return;
    memcpy(name, value, n + 1);
    while (n > 0 && isspace((unsigned char)name[n - 1]))
        name[--n] = '\0';
    if (strcmp(name, "classic") != 0) {
        if (!is_plain_mod_name(name) || !mod_file_exists(name))
            return;
    }
    n_strncpyz(rules->mod, name, sizeof rules->mod);
}

// Reads count comma-separated numbers into values; returns 1 when the text
// holds exactly that many (trailing blanks allowed), 0 when it ends early or
// goes on. Numbers before the first bad one are stored.
int read_float_list(const char *text, float *values, int count)
{
    const char *p = text;
    for (int i = 0; i < count; i++) {
        char *end = nullptr;
        float v = strtof(p, &end);
        if (end == p)
            return 0;
        values[i] = v;
        p = end;
        if (i < count - 1) {
            if (*p != ',')
                return 0;
            p++;
        }
    }
    return only_blanks(p);
}

int read_int_list(const char *text, int32_t *values, int count)
{
    const char *p = text;
    for (int i = 0; i < count; i++) {
        char *end = nullptr;
        long v = strtol(p, &end, 10);
        if (end == p)
            return 0;
        values[i] = clamp_long(v);
        p = end;
        if (i < count - 1) {
            if (*p != ',')
                return 0;
            p++;
        }
    }
    return only_blanks(p);
}

void set_engage_positions(const char *value, GameRules *rules)
{
    // The rows lie one after another: the list fills them in order.
    float pos[MAX_FIGHTERS * 3];
    memcpy(pos, rules->engage_pos, sizeof pos);
    int n = engage_count(rules) * 3;
    int complete = read_float_list(value, pos, n);
    if (complete && !sane_floats(pos, n, SANE_POSITION)) {
        refuse_input("engageplayerpos", value);
        return;
    }
    n_strncpyz(rules->engage_text, value, sizeof rules->engage_text);
    memcpy(rules->engage_pos, pos, sizeof pos);
    rules->engage_set = complete ? 1 : 0;
}

void set_engage_rotations(const char *value, GameRules *rules)
{
    n_strncpyz(rules->engage_text, value, sizeof rules->engage_text);
    int complete = read_int_list(value, &rules->engage_rot[0][0], engage_count(rules) * 3);
    if (!complete)
        rules->engage_set = 0;
}

}  // namespace

// The values a number rule may take; anything else is refused and the rule
// keeps its value (a negative match length would end every game at once).
static const RuleRange rule_ranges[] = {
    {1, 1, MATCHFRAMES_MAX},    // matchframes: the replay buffer records them all
    {4, 0, INT32_MAX},          // flags
    {8, 0, INT32_MAX},          // dqtimeout
    {9, 0, INT32_MAX},          // dismemberthreshold
    {10, 0, INT32_MAX},         // fracturethreshold
    {11, 0, 255},               // dojotype (2 and above: no dojo)
    {12, 0, 100000},            // dojosize, cm
    {13, 0, 100000},            // engagedistance, cm
    {14, -100000, 100000},      // engageheight, cm
    {15, -3600, 3600},          // engagerotation, degrees
    {16, 0, 100000},            // engagespace, cm
    {19, 0, 2},                 // damage
    {20, 0, 1},                 // sumo
    // Carried by "NEWGAME" only. A turn lasts the opening turn frames plus
    // one, so that count stops one short of the int range.
    {RULE_FIELD_TURN_TIME_LIMIT, 0, TURN_TIME_LIMIT_MAX},   // seconds
    {RULE_FIELD_OPENING_FRAMES, 0, INT32_MAX},
    {RULE_FIELD_OPENING_TURN_FRAMES, 0, INT32_MAX - 1},
    {RULE_FIELD_BATCH_FRAMES, 0, INT32_MAX - 1},
    {-1, 0, 0},
};

const RuleRange *rule_range(int id)
{
    for (const RuleRange *r = rule_ranges; r->id != -1; r++)
        if (r->id == id)
            return r;
    return nullptr;
}

int rule_value_in_range(int id, long value)
{
    const RuleRange *r = rule_range(id);
    return !r || (value >= r->min && value <= r->max);
}


void fill_default_rules(int multiplayer, GameRules *rules)
{
    if (!rules)
        return;
    n_strncpyz(rules->mod, "classic", sizeof rules->mod);
    rules->field11 = 0;
    rules->matchframes = multiplayer ? 120 : 500;
    rules->turnframes[0] = 10;
    rules->turnframes_count = 1;
    n_strncpyz(rules->turnframes_text, "10", sizeof rules->turnframes_text);
    rules->batch_frames = 0;
    rules->opening_frames = 0;
    rules->opening_turn_frames = 0;
    rules->turn_time_limit = multiplayer ? 20 : 0;
    rules->engagedistance = 100;
    rules->engageheight = 0;
    rules->engagerotation = 0;
    rules->flags = multiplayer ? (RULE_FLAG_DISMEMBER | RULE_FLAG_DQ) : RULE_FLAG_DISMEMBER;
    rules->sumo = 0;
    rules->damage = 0;
    rules->dqtimeout = 0;
    rules->dojotype = 0;
    rules->dojosize = 0;
    rules->dismemberthreshold = 100;
    rules->fracturethreshold = 0;
    rules->players = 2;
    rules->match_mode = 1;
    rules->teams = 0;
}

// The list changes only when the text yields at least one value of 1 or
// more; smaller values (and ones too large to count with) are skipped, so a
// turn never lasts zero frames. A text longer than the 255-character buffer
// is cut at its last ',' that fits, so no number is cut in half.
// The list alone; 0 when the text gives no usable value, else the first.
static int32_t parse_turnframes_list(const char *text, GameRules *rules)
{
    if (!text || !rules)
        return 0;
    char copy[sizeof rules->turnframes_text];
    size_t len = strlen(text);
    if (len > TEXT_FIELD_MAX) {
        size_t cut = TEXT_FIELD_MAX;
        while (cut > 0 && text[cut] != ',')
            cut--;
        if (cut == 0)
            return 0;
        len = cut;
    }
    memcpy(copy, text, len);
    copy[len] = '\0';

    int32_t values[MAX_TURNFRAMES];
    int count = 0;
    const char *piece = copy;
    while (count < MAX_TURNFRAMES) {
        char *end = nullptr;
        errno = 0;
        long v = strtol(piece, &end, 10);
        if (end != piece && errno != ERANGE && v >= 1 && v < INT32_MAX)
            values[count++] = (int32_t)v;
        const char *comma = strchr(piece, ',');
        if (!comma)
            break;
        piece = comma + 1;
    }
    if (count == 0)
        return 0;

    memcpy(rules->turnframes_text, copy, len + 1);
    memcpy(rules->turnframes, values, sizeof(int32_t) * (size_t)count);
    rules->turnframes_count = count;
    return values[0];
}

void parse_turnframes(const char *text, GameRules *rules)
{
    int32_t first = parse_turnframes_list(text, rules);
    if (first > 0)
        match_state.turn_length = first;
}

int set_rule_by_name(const char *name, const char *value, GameRules *rules)
{
    const GameRuleOption *row = find_option(name);
    if (!row || !value || !rules)
        return 1;
    int id = row->id;
    switch (id) {
    case 0:
        fill_default_rules(strcmp(value, "multi") == 0, rules);
        break;
    case 2:
        parse_turnframes(value, rules);
        break;
    case 3:
        set_mod(value, rules);
        break;
    case 5:
    case 6:
    case 7:
        if (strtol(value, nullptr, 10) == 1)
            rules->flags |= flag_bit(id);
        else
            rules->flags &= ~flag_bit(id);
        break;
    case 17:
        set_engage_positions(value, rules);
        break;
    case 18:
        set_engage_rotations(value, rules);
        break;
    case 21:
    case 22:
    case 23:
    case 24:
    case 25:
        fprintf(stderr, "No such option %s\n", name);
        return 1;
    default: {
        int32_t *field = int_field(id, rules);
        if (!field)
            return 1;
        long v = clamp_long(strtol(value, nullptr, 10));
        if (id >= 13 && id <= 16 && id != 15 && (v > ENGAGE_RULE_LIMIT || v < -ENGAGE_RULE_LIMIT)) {
            refuse_input(name, value);
            return 1;
        }
        int32_t number = (int32_t)v;
        if (!rule_value_in_range(id, number)) {
            const RuleRange *r = rule_range(id);
            fprintf(stderr, "rule %s: %s is out of range (%ld to %ld)\n", row->name, value,
                    r ? r->min : 0L, r ? r->max : 0L);
            return 1;
        }
        *field = number;
        break;
    }
    }
    return 0;
}

int set_rule(const char *name, const char *value, GameRules *rules)
{
    int result = set_rule_by_name(name, value, rules);
    if (result == 0 && rules != &mod_rules)
        set_rule_by_name(name, value, &mod_rules);
    return result;
}

const char *get_rule_text(int multiplayer, int id, const GameRules *rules)
{
    static char text[RULE_TEXT_SIZE];
    int used = 0;
    text[0] = '\0';
    if (!rules) {
        snprintf(text, sizeof text, "none");
        return text;
    }
    switch (id) {
    case 0:
        snprintf(text, sizeof text, "%s", multiplayer == 1 ? "multi" : "single");
        break;
    case 2:
        join_turnframes(text, sizeof text, rules);
        break;
    case 3:
        snprintf(text, sizeof text, "%s", rules->mod);
        break;
    case 5:
    case 6:
    case 7:
        snprintf(text, sizeof text, "%i", (rules->flags & flag_bit(id)) ? 1 : 0);
        break;
    case 17:
        if (rules->engage_set == 1) {
            for (int i = 0; i < engage_count(rules); i++) {
                const float *p = rules->engage_pos[i];
                append(text, sizeof text, &used, i ? ",%.2f,%.2f,%.2f" : "%.2f,%.2f,%.2f",
                       p[0], p[1], p[2]);
            }
        }
        break;
    case 18:
        for (int i = 0; i < engage_count(rules); i++) {
            const int32_t *r = rules->engage_rot[i];
            append(text, sizeof text, &used, i ? ",%i,%i,%i" : "%i,%i,%i", r[0], r[1], r[2]);
        }
        break;
    default: {
        const int32_t *field = int_field(id, const_cast<GameRules *>(rules));
        if (field)
            snprintf(text, sizeof text, "%i", *field);
        else
            snprintf(text, sizeof text, "none");
        break;
    }
    }
    return text;
}

const char *get_rule_text_by_name(const char *name, int multiplayer, const GameRules *rules)
{
    const GameRuleOption *row = find_option(name);
    if (!row)
        return "none";
    return get_rule_text(multiplayer, row->id, rules);
}

const char *write_newgame_line(int number, const GameRules *rules)
{
    static char line[RULE_TEXT_SIZE];
    line[0] = '\0';
    if (!rules)
        return line;

    // The turn-frames text travels as one word; a text that is not one (it
    // has blanks, or is empty) travels as its values instead.
    char turnframes[sizeof rules->turnframes_text];
    if (rules->turnframes_text[0] && !has_blank(rules->turnframes_text))
        n_strncpyz(turnframes, rules->turnframes_text, sizeof turnframes);
    else
        join_turnframes(turnframes, sizeof turnframes, rules);
    if (!turnframes[0])
        n_strncpyz(turnframes, "10", sizeof turnframes);

    // A mod that cannot travel as one plain word is sent as the built-in one.
    const char *mod = is_plain_mod_name(rules->mod) ? rules->mod : "classic";

    int n = snprintf(line, sizeof line,
                     "NEWGAME %i; %i %s %i %i %i %i %i %i %i %s %i %i %i %i %i %i %i %i %i %i %i %i %i %i %i\n",
                     number, rules->matchframes, turnframes, rules->turn_time_limit,
                     rules->opening_frames, rules->opening_turn_frames, rules->flags,
                     rules->engagedistance, rules->damage, rules->sumo, mod, rules->field11,
                     rules->dojosize, rules->dismemberthreshold, rules->fracturethreshold,
                     rules->engageheight, rules->field16, rules->match_mode,
                     rules->batch_frames, rules->players, rules->engagerotation, rules->teams,
                     rules->engagespace, rules->dqtimeout, rules->field24, rules->dojotype);
    if (n < 0 || n >= (int)sizeof line) {
        // Cannot happen with the sizes above; never hand out a cut line.
        fprintf(stderr, "write_newgame_line: line too long\n");
        line[0] = '\0';
    }
    return line;
}

// The number fields of the "NEWGAME" line, in order, each with the rule
// whose range holds it (-1: carried as it comes, or clamped below).
struct NewgameField {
    int number;   // the field's place in the line, from 1
    int rule;
    int32_t GameRules::*value;
};
static const NewgameField newgame_head[] = {
    {3, RULE_FIELD_TURN_TIME_LIMIT, &GameRules::turn_time_limit},
    {4, RULE_FIELD_OPENING_FRAMES, &GameRules::opening_frames},
    {5, RULE_FIELD_OPENING_TURN_FRAMES, &GameRules::opening_turn_frames},
    {6, 4, &GameRules::flags},
    {7, 13, &GameRules::engagedistance},
    {8, 19, &GameRules::damage},
    {9, 20, &GameRules::sumo},
};
static const NewgameField newgame_tail[] = {
    {11, -1, &GameRules::field11},
    {12, 12, &GameRules::dojosize},
    {13, 9, &GameRules::dismemberthreshold},
    {14, 10, &GameRules::fracturethreshold},
    {15, 14, &GameRules::engageheight},
    {16, -1, &GameRules::field16},
    {17, -1, &GameRules::match_mode},
    {18, RULE_FIELD_BATCH_FRAMES, &GameRules::batch_frames},
    {19, -1, &GameRules::players},
    {20, 15, &GameRules::engagerotation},
    {21, -1, &GameRules::teams},
    {22, 16, &GameRules::engagespace},
    {23, 8, &GameRules::dqtimeout},
    {24, -1, &GameRules::field24},
    {25, 11, &GameRules::dojotype},
};

// 0 when the field read may be taken; else says which and why on stderr.
static int newgame_field_refused(int number, int rule, int32_t value)
{
    if (rule < 0 || rule_value_in_range(rule, value))
        return 0;
    const RuleRange *r = rule_range(rule);
    fprintf(stderr, "NEWGAME refused: field %d is %d, out of range (%ld to %ld)\n", number,
            (int)value, r ? r->min : 0L, r ? r->max : 0L);
    return 1;
}

// Reads the 25 fields in order and stops at the first one that is missing or
// unreadable (an integer that is not a whole 32-bit number, a word of more
// than 255 characters); fields not read stay as they were. Every number read
// is held to the range its rule takes at the console (the same table): one
// outside it refuses the whole line, -1, and the record stays as it was.
// With live set the first turn length also goes to the match.
static int parse_newgame_fields(const char *arguments, GameRules *rules, int live)
{
    if (!arguments || !rules)
        return 0;
    const char *p = arguments;
    char word[TEXT_FIELD_MAX + 1];
    char turnframes[TEXT_FIELD_MAX + 1];
    int have_turnframes = 0;
    int count = 0;
    int refused = 0;
    GameRules got = *rules;

    do {
        if (read_int(&p, &got.matchframes))
            break;
        count++;
        refused |= newgame_field_refused(1, 1, got.matchframes);
        if (next_word(&p, turnframes, sizeof turnframes))
            break;
        have_turnframes = 1;
        count++;
        int stopped = 0;
        for (const NewgameField &f : newgame_head) {
            if (read_int(&p, &(got.*f.value))) {
                stopped = 1;
                break;
            }
            count++;
            refused |= newgame_field_refused(f.number, f.rule, got.*f.value);
        }
        if (stopped)
            break;
        if (next_word(&p, word, sizeof word))
            break;
        if (strcmp(word, "classic") == 0 || is_plain_mod_name(word))
            n_strncpyz(got.mod, word, sizeof got.mod);
        else
            fprintf(stderr, "parse_newgame_line: refused mod name %s\n", word);
        count++;
        for (const NewgameField &f : newgame_tail) {
            if (read_int(&p, &(got.*f.value)))
                break;
            count++;
            refused |= newgame_field_refused(f.number, f.rule, got.*f.value);
        }
    } while (0);
    if (refused)
        return -1;

    *rules = got;
    if (rules->players < 1 || rules->players > MAX_FIGHTERS)
        rules->players = 2;
    if (rules->match_mode < 1 || rules->match_mode > 3)
        rules->match_mode = 1;
    if (rules->teams < 2 || rules->teams >= rules->players)
        rules->teams = 0;
    if (have_turnframes) {
        if (live)
            parse_turnframes(turnframes, rules);
        else
            parse_turnframes_list(turnframes, rules);
    }
    return count;
}

int parse_newgame_line(const char *arguments, GameRules *rules)
{
    return parse_newgame_fields(arguments, rules, 1);
}

int parse_newgame_report(const char *arguments, GameRules *rules)
{
    return parse_newgame_fields(arguments, rules, 0);
}

int parse_engage_line(const char *arguments, int player, GameRules *rules)
{
    if (!arguments || !rules || player < 0 || player >= MAX_FIGHTERS)
        return 1;
    // A position the world cannot stand in refuses the whole line.
    float pos[3];
    memcpy(pos, rules->engage_pos[player], sizeof pos);
    const char *p = arguments;
    int got = 0;
    while (got < 3 && read_float(&p, &pos[got]) == 0)
        got++;
    if (!sane_floats(pos, 3, SANE_POSITION)) {
        refuse_input("ENGAGE", arguments);
        return 1;
    }
    rules->engage_set = 1;
    memcpy(rules->engage_pos[player], pos, sizeof pos);
    if (got < 3)
        return 0;
    for (int k = 0; k < 3; k++) {
        if (read_int(&p, &rules->engage_rot[player][k]))
            return 0;
    }
    return 0;
}

void write_teams_line(char *out, int out_size, const GameRules *rules)
{
    if (!out || out_size <= 0)
        return;
    out[0] = '\0';
    if (!rules)
        return;
    char line[128];
    int used = 0;
    append(line, sizeof line, &used, "TEAMS %i;%i", rules->players, rules->team[0]);
    for (int i = 1; i < rules->players && i < MAX_FIGHTERS; i++)
        append(line, sizeof line, &used, " %i", rules->team[i]);
    append(line, sizeof line, &used, "\n");
    // A line that does not fit whole is not written at all.
    if (used < out_size)
        memcpy(out, line, (size_t)used + 1);
}

void write_engage_lines(char *out, int out_size, const GameRules *rules)
{
    if (!out || out_size <= 0)
        return;
    out[0] = '\0';
    if (!rules || rules->engage_set != 1)
        return;
    int used = 0;
    for (int i = 0; i < engage_count(rules); i++) {
        char line[256];
        const float *p = rules->engage_pos[i];
        const int32_t *r = rules->engage_rot[i];
        int n = snprintf(line, sizeof line, "ENGAGE %i; %f %f %f %i %i %i\n", i,
                         (double)p[0], (double)p[1], (double)p[2], r[0], r[1], r[2]);
        // Whole lines only: stop before one that does not fit.
        if (n < 0 || n >= (int)sizeof line || used + n >= out_size)
            return;
        memcpy(out + used, line, (size_t)n + 1);
        used += n;
    }
}

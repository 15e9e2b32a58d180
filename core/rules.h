// The rules of one game, their defaults, their text forms ("NEWGAME",
// "ENGAGE", "TEAMS") and the table of named rule options.
#pragma once

#include <cstdint>

enum { MAX_TURNFRAMES = 32 };

// The longest match the rules accept, in frames: the replay buffer holds a
// record for each of its frames, so every match is recorded and saved whole.
enum { MATCHFRAMES_MAX = 10000 };

enum {
    RULE_FLAG_DQ = 1,
    RULE_FLAG_DISMEMBER = 2,
    RULE_FLAG_FRACTURE = 8
};

// The accepted values of a number rule (by rule option id).
struct RuleRange {
    int id;
    long min, max;
};
// Rules the "NEWGAME" line carries that have no option name: their rows in
// the same range table, beyond the option ids.
enum {
    RULE_FIELD_TURN_TIME_LIMIT = 100,
    RULE_FIELD_OPENING_FRAMES = 101,
    RULE_FIELD_OPENING_TURN_FRAMES = 102,
    RULE_FIELD_BATCH_FRAMES = 103
};
// The range of a rule option id (or of a RULE_FIELD_ id); null for rules
// without one.
const RuleRange *rule_range(int id);
// 1 when a number rule may take the value (always for rules without a range).
int rule_value_in_range(int id, long value);

struct GameRules {
    int32_t matchframes;
    int32_t turnframes[MAX_TURNFRAMES];
    int32_t turnframes_count;
    char turnframes_text[256];
    int32_t batch_frames;
    int32_t opening_frames;
    int32_t opening_turn_frames;
    int32_t turn_time_limit;
    int32_t engagedistance;
    int32_t engageheight;
    int32_t engagerotation;
    int32_t engagespace;
    char engage_text[256];
    float engage_pos[4][3];
    char spare_text[256];
    int32_t engage_rot[4][3];
    uint8_t engage_set;
    int32_t damage;
    int32_t flags;
    int32_t sumo;
    char mod[256];
    int32_t field11;
    int32_t dojotype;
    int32_t dojosize;
    int32_t field24;
    int32_t dismemberthreshold;
    int32_t fracturethreshold;
    int32_t players;
    int32_t match_mode;
    int32_t teams;
    int32_t team[4];
    int32_t field16;
    int32_t dqtimeout;
};

struct GameRuleOption {
    int id;
    const char *name;
    const char *short_name;
    int one;
    int text_valued;
};

extern const GameRuleOption game_rule_options[27];   // 26 rows and an end row (id -1)

extern GameRules setup_rules;   // the next offline game
extern GameRules mod_rules;     // every rule set by name, and mod "gamerule" lines

void fill_default_rules(int multiplayer, GameRules *rules);
int set_rule_by_name(const char *name, const char *value, GameRules *rules);
int set_rule(const char *name, const char *value, GameRules *rules);
const char *get_rule_text(int multiplayer, int id, const GameRules *rules);
const char *get_rule_text_by_name(const char *name, int multiplayer, const GameRules *rules);
const char *write_newgame_line(int number, const GameRules *rules);
// The number of fields read, or -1 when a field lies outside the range its
// rule takes: then the line is refused whole (one line on stderr) and the
// record is left as it was.
int parse_newgame_line(const char *arguments, GameRules *rules);
// The same for a record that is not the live game's (another thread's report):
// the match is not touched.
int parse_newgame_report(const char *arguments, GameRules *rules);
int parse_engage_line(const char *arguments, int player, GameRules *rules);
void parse_turnframes(const char *text, GameRules *rules);
void write_teams_line(char *out, int out_size, const GameRules *rules);
// Writes one "ENGAGE" line per player into out when the engage-set byte is 1.
void write_engage_lines(char *out, int out_size, const GameRules *rules);

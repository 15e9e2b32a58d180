#include "core/records.h"
#include "core/rules.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace {

GameRules zero_rules()
{
    GameRules r;
    memset(&r, 0, sizeof r);
    return r;
}

// The arguments of a command line: everything after its first ';'.
const char *arguments_of(const char *line)
{
    const char *semi = strchr(line, ';');
    return semi ? semi + 1 : line;
}

std::string turnframes_of(const GameRules &r)
{
    return get_rule_text(0, 2, &r);
}

}  // namespace

TEST(Rules, DefaultsSingleAndMulti)
{
    struct Case {
        const char *value;
        int matchframes, flags, turn_time_limit;
    } cases[] = {
        {"multi", 120, 3, 20},
        {"single", 500, 2, 0},
        {"", 500, 2, 0},
        {"Multi", 500, 2, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        GameRules r = zero_rules();
        r.engagespace = 77;
        r.field16 = 16;
        r.field24 = 24;
        r.engage_set = 1;
        r.team[1] = 1;
        r.mod[0] = 'x';
        ASSERT_EQ(0, set_rule_by_name("default", c.value, &r));
        EXPECT_EQ(c.matchframes, r.matchframes);
        EXPECT_EQ(c.flags, r.flags);
        EXPECT_EQ(c.turn_time_limit, r.turn_time_limit);
        EXPECT_STREQ("classic", r.mod);
        EXPECT_EQ(1, r.turnframes_count);
        EXPECT_EQ(10, r.turnframes[0]);
        EXPECT_STREQ("10", r.turnframes_text);
        EXPECT_EQ(100, r.engagedistance);
        EXPECT_EQ(100, r.dismemberthreshold);
        EXPECT_EQ(2, r.players);
        EXPECT_EQ(1, r.match_mode);
        EXPECT_EQ(0, r.teams);
        // Left as they were.
        EXPECT_EQ(77, r.engagespace);
        EXPECT_EQ(16, r.field16);
        EXPECT_EQ(24, r.field24);
        EXPECT_EQ(1, r.engage_set);
        EXPECT_EQ(1, r.team[1]);
    }
    GameRules r = zero_rules();
    fill_default_rules(1, &r);
    EXPECT_STREQ("multi", get_rule_text(1, 0, &r));
    EXPECT_STREQ("single", get_rule_text(0, 0, &r));
}

TEST(Rules, OptionTableAndNamedRules)
{
    int rows = 0;
    while (game_rule_options[rows].id >= 0) {
        EXPECT_EQ(rows, game_rule_options[rows].id);
        rows++;
    }
    EXPECT_EQ(26, rows);

    GameRules r = zero_rules();
    fill_default_rules(0, &r);
    // "dt" is in rows 9 and 11; the first row wins.
    EXPECT_EQ(0, set_rule_by_name("dt", "250", &r));
    EXPECT_EQ(250, r.dismemberthreshold);
    EXPECT_EQ(0, r.dojotype);
    EXPECT_STREQ("250", get_rule_text_by_name("dt", 0, &r));
    EXPECT_EQ(0, set_rule_by_name("dojotype", "3", &r));
    EXPECT_EQ(3, r.dojotype);
    EXPECT_EQ(250, r.dismemberthreshold);

    // Flag options and the flags word agree.
    EXPECT_EQ(0, set_rule_by_name("fr", "1", &r));
    EXPECT_EQ(0, set_rule_by_name("dq", "1", &r));
    EXPECT_EQ(0, set_rule_by_name("di", "0", &r));
    EXPECT_EQ(RULE_FLAG_FRACTURE | RULE_FLAG_DQ, r.flags);
    EXPECT_STREQ("1", get_rule_text_by_name("fracture", 0, &r));
    EXPECT_STREQ("0", get_rule_text_by_name("dismemberment", 0, &r));
    EXPECT_STREQ("9", get_rule_text_by_name("flags", 0, &r));

    // Server-only and unknown names.
    EXPECT_EQ(1, set_rule_by_name("desc", "hello", &r));
    EXPECT_EQ(1, set_rule_by_name("maxclients", "5", &r));
    EXPECT_EQ(1, set_rule_by_name("nosuch", "5", &r));
    EXPECT_STREQ("none", get_rule_text_by_name("nosuch", 0, &r));
    EXPECT_STREQ("none", get_rule_text_by_name("motd", 0, &r));

    // Numbers beyond 32 bits are held at the ends, not wrapped.
    EXPECT_EQ(0, set_rule_by_name("dqtimeout", "99999999999", &r));
    EXPECT_EQ(INT32_MAX, r.dqtimeout);

    // set_rule writes mod_rules too, and only when the name was known.
    fill_default_rules(0, &mod_rules);
    EXPECT_EQ(0, set_rule("engagedistance", "340", &r));
    EXPECT_EQ(340, r.engagedistance);
    EXPECT_EQ(340, mod_rules.engagedistance);
    EXPECT_EQ(1, set_rule("desc", "x", &r));
}

TEST(Rules, TurnframesList)
{
    GameRules r = zero_rules();
    fill_default_rules(0, &r);

    struct Case {
        const char *text;
        const char *joined;
        int first;
    } cases[] = {
        {"5,10,15", "5,10,15", 5},
        {"7", "7", 7},
        {"10,0,5", "10,5", 10},    // values below 1 are skipped
        {"-3,8", "8", 8},
        {"12,abc,4", "12,4", 12},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(0, set_rule_by_name("tf", c.text, &r));
        EXPECT_EQ(c.joined, turnframes_of(r));
        EXPECT_STREQ(c.text, r.turnframes_text);
        EXPECT_EQ(c.first, match_state.turn_length);
    }

    // A text without a usable value keeps the list, its text and the turn
    // length.
    parse_turnframes("20,30", &r);
    for (const char *bad : {"", "0", "-5", "abc", ",,,", "0,0,-1", "99999999999"}) {
        SCOPED_TRACE(bad);
        parse_turnframes(bad, &r);
        EXPECT_EQ("20,30", turnframes_of(r));
        EXPECT_STREQ("20,30", r.turnframes_text);
        EXPECT_EQ(20, match_state.turn_length);
    }

    // Forty values: the first 32 are kept.
    std::string forty;
    for (int i = 1; i <= 40; i++)
        forty += (i > 1 ? "," : "") + std::to_string(i);
    parse_turnframes(forty.c_str(), &r);
    ASSERT_EQ(32, r.turnframes_count);
    for (int i = 0; i < 32; i++)
        EXPECT_EQ(i + 1, r.turnframes[i]);
    EXPECT_EQ(forty, r.turnframes_text);

    // A text longer than its buffer is cut at a comma, never inside a number.
    std::string lng;
    while (lng.size() < 400)
        lng += "123456,";
    lng += "9";
    parse_turnframes(lng.c_str(), &r);
    size_t kept = strlen(r.turnframes_text);
    EXPECT_LE(kept, 255u);
    EXPECT_EQ('6', r.turnframes_text[kept - 1]);
    EXPECT_EQ(32, r.turnframes_count);
    for (int i = 0; i < r.turnframes_count; i++)
        EXPECT_EQ(123456, r.turnframes[i]);
}

TEST(Rules, EngagePlayerPositionsAndRotations)
{
    GameRules r = zero_rules();
    fill_default_rules(0, &r);   // two players

    EXPECT_EQ(0, set_rule_by_name("engageplayerpos", "1,2,3,-4,5.5,6", &r));
    EXPECT_EQ(1, r.engage_set);
    EXPECT_FLOAT_EQ(5.5f, r.engage_pos[1][1]);
    EXPECT_STREQ("1.00,2.00,3.00,-4.00,5.50,6.00", get_rule_text(0, 17, &r));
    EXPECT_STREQ("1,2,3,-4,5.5,6", r.engage_text);

    // Rotations: complete leaves the byte alone, short clears it.
    EXPECT_EQ(0, set_rule_by_name("pr", "0,0,90,0,0,270", &r));
    EXPECT_EQ(1, r.engage_set);
    EXPECT_STREQ("0,0,90,0,0,270", get_rule_text(0, 18, &r));
    EXPECT_EQ(0, set_rule_by_name("pr", "1,2,3", &r));
    EXPECT_EQ(0, r.engage_set);
    EXPECT_STREQ("1,2,3,0,0,270", get_rule_text(0, 18, &r));

    struct Case {
        const char *text;
        int set;
    } cases[] = {
        {"1,2,3,4,5,6", 1},
        {"1,2,3,4,5,6\r", 1},    // a mod file's line end
        {"1,2,3", 0},
        {"1,2,3,4,5,6,7", 0},
        {"1,2,3,4,5,x", 0},
        {"", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(0, set_rule_by_name("pp", c.text, &r));
        EXPECT_EQ(c.set, r.engage_set);
        if (!c.set) {
            EXPECT_STREQ("", get_rule_text(0, 17, &r));
        }
    }

    // Four players read twelve numbers; an overlong text is cut in the copy.
    r.players = 4;
    EXPECT_EQ(0, set_rule_by_name("pp", "1,1,1,2,2,2,3,3,3,4,4,4", &r));
    EXPECT_EQ(1, r.engage_set);
    EXPECT_FLOAT_EQ(4.0f, r.engage_pos[3][2]);
    std::string huge(600, '9');
    EXPECT_EQ(0, set_rule_by_name("pp", huge.c_str(), &r));
    EXPECT_EQ(0, r.engage_set);
    EXPECT_EQ(255u, strlen(r.engage_text));
}

TEST(Rules, NewgameRoundTrip)
{
    GameRules a = zero_rules();
    fill_default_rules(1, &a);
    a.matchframes = 1500;
    parse_turnframes("12,34,56", &a);
    a.turn_time_limit = 3;
    a.opening_frames = 4;
    a.opening_turn_frames = 5;
    a.flags = 11;
    a.engagedistance = 7;
    a.damage = 2;
    a.sumo = 1;
    strcpy(a.mod, "aikido.zmm");
    a.field11 = 11;
    a.dojosize = 12;
    a.dismemberthreshold = 13;
    a.fracturethreshold = 14;
    a.engageheight = 15;
    a.field16 = 16;
    a.match_mode = 3;
    a.batch_frames = 18;
    a.players = 4;
    a.engagerotation = 20;
    a.teams = 2;
    a.engagespace = 22;
    a.dqtimeout = 23;
    a.field24 = -24;
    a.dojotype = 25;

    const char *line = write_newgame_line(1, &a);
    EXPECT_EQ(0, strncmp(line, "NEWGAME 1;", 10));
    EXPECT_EQ('\n', line[strlen(line) - 1]);

    GameRules b = zero_rules();
    EXPECT_EQ(25, parse_newgame_line(arguments_of(line), &b));
    EXPECT_EQ(a.matchframes, b.matchframes);
    EXPECT_STREQ(a.turnframes_text, b.turnframes_text);
    EXPECT_EQ("12,34,56", turnframes_of(b));
    EXPECT_EQ(a.turn_time_limit, b.turn_time_limit);
    EXPECT_EQ(a.opening_frames, b.opening_frames);
    EXPECT_EQ(a.opening_turn_frames, b.opening_turn_frames);
    EXPECT_EQ(a.flags, b.flags);
    EXPECT_EQ(a.engagedistance, b.engagedistance);
    EXPECT_EQ(a.damage, b.damage);
    EXPECT_EQ(a.sumo, b.sumo);
    EXPECT_STREQ(a.mod, b.mod);
    EXPECT_EQ(a.field11, b.field11);
    EXPECT_EQ(a.dojosize, b.dojosize);
    EXPECT_EQ(a.dismemberthreshold, b.dismemberthreshold);
    EXPECT_EQ(a.fracturethreshold, b.fracturethreshold);
    EXPECT_EQ(a.engageheight, b.engageheight);
    EXPECT_EQ(a.field16, b.field16);
    EXPECT_EQ(a.match_mode, b.match_mode);
    EXPECT_EQ(a.batch_frames, b.batch_frames);
    EXPECT_EQ(a.players, b.players);
    EXPECT_EQ(a.engagerotation, b.engagerotation);
    EXPECT_EQ(a.teams, b.teams);
    EXPECT_EQ(a.engagespace, b.engagespace);
    EXPECT_EQ(a.dqtimeout, b.dqtimeout);
    EXPECT_EQ(a.field24, b.field24);
    EXPECT_EQ(a.dojotype, b.dojotype);

    // Clamps: players 5 -> 2 (and then teams 3 -> 0), match mode 0 -> 1.
    a.players = 5;
    a.teams = 3;
    a.match_mode = 0;
    b = zero_rules();
    parse_newgame_line(arguments_of(write_newgame_line(0, &a)), &b);
    EXPECT_EQ(2, b.players);
    EXPECT_EQ(0, b.teams);
    EXPECT_EQ(1, b.match_mode);

    // The largest line: a full turn-frames text, a 255-character mod name
    // and every integer at its widest. Nothing is cut.
    GameRules w = zero_rules();
    fill_default_rules(0, &w);
    std::string tf;
    while (tf.size() + 11 <= 255)
        tf += (tf.empty() ? "" : ",") + std::string("2147483646");
    parse_turnframes(tf.c_str(), &w);
    std::string mod(255, 'm');
    strcpy(w.mod, mod.c_str());
    // The widest value each field may hold (its range's ends, the whole int
    // range for the fields carried as they come).
    w.matchframes = 10000;
    w.turn_time_limit = 86400;
    w.opening_frames = INT32_MAX;
    w.opening_turn_frames = INT32_MAX - 1;
    w.flags = INT32_MAX;
    w.engagedistance = 100000;
    w.damage = 2;
    w.sumo = 1;
    w.field11 = INT32_MIN;
    w.dojosize = 100000;
    w.dismemberthreshold = INT32_MAX;
    w.fracturethreshold = INT32_MAX;
    w.engageheight = -100000;
    w.field16 = INT32_MIN;
    w.batch_frames = INT32_MAX - 1;
    w.engagerotation = -3600;
    w.engagespace = 100000;
    w.dqtimeout = INT32_MAX;
    w.field24 = INT32_MIN;
    w.dojotype = 255;
    line = write_newgame_line(INT32_MIN, &w);
    EXPECT_GT(strlen(line), 600u);
    EXPECT_EQ('\n', line[strlen(line) - 1]);
    b = zero_rules();
    EXPECT_EQ(25, parse_newgame_line(arguments_of(line), &b));
    EXPECT_STREQ(w.mod, b.mod);
    EXPECT_STREQ(w.turnframes_text, b.turnframes_text);
    EXPECT_EQ(INT32_MIN, b.field24);
    EXPECT_EQ(255, b.dojotype);

    // A turn-frames text with blanks travels as its values.
    parse_turnframes("10, 20", &w);
    b = zero_rules();
    EXPECT_EQ(25, parse_newgame_line(arguments_of(write_newgame_line(0, &w)), &b));
    EXPECT_EQ("10,20", turnframes_of(b));
}

TEST(Rules, HostileNewgameLines)
{
    GameRules base = zero_rules();
    fill_default_rules(0, &base);
    strcpy(base.mod, "old.zmm");
    parse_turnframes("15", &base);

    std::string long_word(300, 'a');
    struct Case {
        std::string arguments;
        int fields;
        int matchframes;
        const char *turnframes;
        const char *mod;
        int dojotype;
    } cases[] = {
        {"", 0, 500, "15", "old.zmm", 0},
        {" 900\r\n", 1, 900, "15", "old.zmm", 0},
        {" 900 7,8 1 2", 4, 900, "7,8", "old.zmm", 0},
        {" 900 " + long_word + " 1 2 3", 1, 900, "15", "old.zmm", 0},
        {" 900 0 0 0 0 0 0 0 0 ../x 0 0 0 0 0 0 0 0 0 0 0 0 0 0 6", 25, 900, "15", "old.zmm", 6},
        {" 900 10 0 0 0 0 0 0 0 a/b 0 0 0 0 0 0 0 0 0 0 0 0 0 0 6", 25, 900, "10", "old.zmm", 6},
        {" 900 10 0 0 0 0 0 0 0 a\\b", 10, 900, "10", "old.zmm", 0},
        {" 900 10 0 0 0 0 0 0 0 .hidden", 10, 900, "10", "old.zmm", 0},
        {" 900 10 0 0 0 0 0 0 0 " + long_word + " 0", 9, 900, "10", "old.zmm", 0},
        {" 900 10 0 0 0 0 0 0 0 new.zmm", 10, 900, "10", "new.zmm", 0},
        {" 99999999999 10", 0, 500, "15", "old.zmm", 0},
        {" 900 10 x", 2, 900, "10", "old.zmm", 0},
        {" 0x10 10", 2, 16, "10", "old.zmm", 0},
        // longer than a match is recorded whole, or no match at all: the
        // line is refused and the rules stay as they were
        {" 10001 10", -1, 500, "15", "old.zmm", 0},
        {" -5 10", -1, 500, "15", "old.zmm", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments);
        GameRules r = base;
        EXPECT_EQ(c.fields, parse_newgame_line(c.arguments.c_str(), &r));
        EXPECT_EQ(c.matchframes, r.matchframes);
        EXPECT_STREQ(c.turnframes, r.turnframes_text);
        EXPECT_STREQ(c.mod, r.mod);
        EXPECT_EQ(c.dojotype, r.dojotype);
        EXPECT_EQ(2, r.players);
    }
}

TEST(Rules, ModByName)
{
    const char *tmp = test_tmp_dir();
    std::string dir = std::string(tmp) + "/rules_mods";
    mkdir(tmp, 0755);
    mkdir(dir.c_str(), 0755);
    mkdir((dir + "/data").c_str(), 0755);
    mkdir((dir + "/data/mod").c_str(), 0755);
    mkdir((dir + "/data/mod/adir").c_str(), 0755);
    for (const char *f : {"/data/mod/good.zmm", "/data/evil.zmm", "/data/mod/.hid.zmm"}) {
        FILE *fp = fopen((dir + f).c_str(), "w");
        ASSERT_NE(nullptr, fp);
        fclose(fp);
    }
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    ASSERT_EQ(0, chdir(dir.c_str()));

    struct Case {
        const char *value;
        const char *mod;
    } cases[] = {
        {"good.zmm", "good.zmm"},
        {"classic", "classic"},
        {"good.zmm\r", "good.zmm"},
        {"missing.zmm", "classic"},
        {"../evil.zmm", "classic"},
        {"mod/../../data/evil.zmm", "classic"},
        {".hid.zmm", "classic"},
        {"adir", "classic"},
        {"", "classic"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        GameRules r = zero_rules();
        fill_default_rules(0, &r);
        EXPECT_EQ(0, set_rule_by_name("mod", c.value, &r));
        EXPECT_STREQ(c.mod, r.mod);
    }
    std::string huge(2000, 'g');
    GameRules r = zero_rules();
    fill_default_rules(0, &r);
    EXPECT_EQ(0, set_rule_by_name("mo", huge.c_str(), &r));
    EXPECT_STREQ("classic", r.mod);

    ASSERT_EQ(0, chdir(cwd));
}

TEST(Rules, EngageAndTeamsLines)
{
    GameRules r = zero_rules();
    fill_default_rules(0, &r);
    char out[512];

    // No slot outside 0..3: refused, nothing changes.
    for (int player : {-1, 4, 7}) {
        GameRules before = r;
        EXPECT_EQ(1, parse_engage_line(" 1 2 3 4 5 6", player, &r));
        EXPECT_EQ(0, memcmp(&before, &r, sizeof r));
    }

    write_engage_lines(out, sizeof out, &r);
    EXPECT_STREQ("", out);

    EXPECT_EQ(0, parse_engage_line(" 1.5 -2 0.25 10 20 30\n", 1, &r));
    EXPECT_EQ(1, r.engage_set);
    EXPECT_FLOAT_EQ(1.5f, r.engage_pos[1][0]);
    EXPECT_EQ(30, r.engage_rot[1][2]);

    write_engage_lines(out, sizeof out, &r);
    EXPECT_STREQ("ENGAGE 0; 0.000000 0.000000 0.000000 0 0 0\n"
                 "ENGAGE 1; 1.500000 -2.000000 0.250000 10 20 30\n",
                 out);
    // Reading the written lines back gives the same values.
    GameRules back = zero_rules();
    back.players = 2;
    const char *second = strchr(out, '\n') + 1;
    EXPECT_EQ(0, parse_engage_line(arguments_of(second), 1, &back));
    EXPECT_EQ(0, memcmp(r.engage_pos[1], back.engage_pos[1], sizeof back.engage_pos[1]));
    EXPECT_EQ(0, memcmp(r.engage_rot[1], back.engage_rot[1], sizeof back.engage_rot[1]));

    // A short buffer holds whole lines only.
    char small[60];
    write_engage_lines(small, sizeof small, &r);
    EXPECT_STREQ("ENGAGE 0; 0.000000 0.000000 0.000000 0 0 0\n", small);
    write_engage_lines(small, 10, &r);
    EXPECT_STREQ("", small);

    r.players = 3;
    r.team[0] = 0;
    r.team[1] = 1;
    r.team[2] = 0;
    write_teams_line(out, sizeof out, &r);
    EXPECT_STREQ("TEAMS 3;0 1 0\n", out);
    r.players = 9;   // never reads past the four slots
    r.team[3] = 1;
    write_teams_line(out, sizeof out, &r);
    EXPECT_STREQ("TEAMS 9;0 1 0 1\n", out);
    write_teams_line(small, 5, &r);
    EXPECT_STREQ("", small);
}

TEST(Rules, NumberRulesRefuseValuesOutsideTheirRange)
{
    GameRules r = zero_rules();
    fill_default_rules(0, &r);
    int frames = r.matchframes;
    struct Case {
        const char *name, *value;
        int accepted;
    } cases[] = {
        {"matchframes", "-20", 0}, {"matchframes", "0", 0}, {"matchframes", "abc", 0},
        {"matchframes", "1", 1},   {"matchframes", "10000", 1}, {"matchframes", "10001", 0},
        {"mf", "700", 1},          {"damage", "3", 0},
        {"damage", "2", 1},        {"sumo", "-1", 0},       {"sumo", "1", 1},
        {"dojosize", "-5", 0},     {"dojosize", "400", 1},  {"engagerotation", "99999", 0},
        {"engageheight", "-50", 1}, {"dqtimeout", "-1", 0}, {"dojotype", "256", 0},
    };
    for (const Case &c : cases) {
        GameRules before = r;
        int result = set_rule_by_name(c.name, c.value, &r);
        EXPECT_EQ(result, c.accepted ? 0 : 1) << c.name << " " << c.value;
        if (!c.accepted) {
            EXPECT_EQ(0, memcmp(&before, &r, sizeof r)) << c.name << " " << c.value;
        }
    }
    EXPECT_EQ(700, r.matchframes);
    EXPECT_NE(frames, -20);
    // every range is sound and names a number rule
    for (int id = 0; id < 26; id++) {
        const RuleRange *range = rule_range(id);
        if (!range)
            continue;
        EXPECT_LE(range->min, range->max) << id;
        EXPECT_EQ(game_rule_options[id].text_valued, 0) << id;
    }
    EXPECT_EQ(rule_range(3), nullptr);   // the mod is a text
}

namespace {

// A NEWGAME line's arguments with one field (numbered from 1) replaced.
std::string newgame_with(int field, const std::string &value)
{
    std::vector<std::string> fields = {"500", "10", "0",  "0", "0",  "2", "100", "0", "0",
                                       "classic", "0", "0", "100", "0", "0", "0", "1", "0",
                                       "2", "0", "0", "0", "0", "0", "0"};
    fields[field - 1] = value;
    std::string line;
    for (const std::string &f : fields)
        line += " " + f;
    return line;
}

}  // namespace

// Every number field of a NEWGAME or ENGAGE line is held to the range the
// console's "set" holds its rule to; a field outside it refuses the line
// whole, with one line on stderr, and the rules stay as they were.
TEST(Rules, NewgameFieldsHeldToTheConsoleRanges)
{
    struct Case {
        int field;
        const char *option;   // the console's name for it (null: none)
        const char *low, *high;   // just outside; null: that side is open
        const char *inside;
    };
    const Case cases[] = {
        {1, "matchframes", "0", nullptr, "1"},
        {1, "matchframes", "-5", "10001", "10000"},
        {3, nullptr, "-1", "86401", "86400"},
        {4, nullptr, "-1", nullptr, "2147483647"},
        {5, nullptr, "-1", "2147483647", "2147483646"},
        {6, "flags", "-1", nullptr, "11"},
        {7, "engagedistance", "-1", "100001", "100000"},
        {8, "damage", "-1", "3", "2"},
        {9, "sumo", "-1", "2", "1"},
        {12, "dojosize", "-1", "100001", "100000"},
        {13, "dismemberthreshold", "-1", nullptr, "0"},
        {14, "fracturethreshold", "-1", nullptr, "2147483647"},
        {15, "engageheight", "-100001", "100001", "-100000"},
        {18, nullptr, "-1", "2147483647", "0"},
        {20, "engagerotation", "-3601", "3601", "-3600"},
        {22, "engagespace", "-1", "100001", "0"},
        {23, "dqtimeout", "-1", nullptr, "0"},
        {25, "dojotype", "-1", "256", "255"},
    };
    for (const Case &c : cases) {
        for (const char *bad : {c.low, c.high}) {
            if (!bad)
                continue;
            SCOPED_TRACE("field " + std::to_string(c.field) + " = " + bad);
            GameRules r = zero_rules();
            fill_default_rules(0, &r);
            GameRules before = r;
            testing::internal::CaptureStderr();
            EXPECT_EQ(parse_newgame_line(newgame_with(c.field, bad).c_str(), &r), -1);
            std::string err = testing::internal::GetCapturedStderr();
            EXPECT_EQ(err, "NEWGAME refused: field " + std::to_string(c.field) + " is " + bad +
                               err.substr(err.find(", out of range")));
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
            EXPECT_EQ(memcmp(&r, &before, sizeof r), 0);
            if (c.option) {   // the console's set refuses the same value
                GameRules s = zero_rules();
                fill_default_rules(0, &s);
                testing::internal::CaptureStderr();
                EXPECT_EQ(set_rule_by_name(c.option, bad, &s), 1);
                testing::internal::GetCapturedStderr();
            }
        }
        SCOPED_TRACE("field " + std::to_string(c.field) + " = " + c.inside);
        GameRules r = zero_rules();
        fill_default_rules(0, &r);
        EXPECT_EQ(parse_newgame_line(newgame_with(c.field, c.inside).c_str(), &r), 25);
        if (c.option) {
            EXPECT_STREQ(get_rule_text_by_name(c.option, 0, &r), c.inside);
            GameRules s = zero_rules();
            fill_default_rules(0, &s);
            EXPECT_EQ(set_rule_by_name(c.option, c.inside, &s), 0);
        }
    }
}

// The fields that have no range are carried or clamped as before; an
// ENGAGE line is held to the world's range like the console's
// "engageplayerpos", and names only the four fighters.
TEST(Rules, NewgameClampsAndEngageRanges)
{
    GameRules r = zero_rules();
    fill_default_rules(0, &r);
    EXPECT_EQ(parse_newgame_line(newgame_with(19, "9").c_str(), &r), 25);
    EXPECT_EQ(r.players, 2);
    EXPECT_EQ(parse_newgame_line(newgame_with(24, "-24").c_str(), &r), 25);
    EXPECT_EQ(r.field24, -24);

    struct EngageCase {
        int player;
        const char *line;
        int result;
    };
    const EngageCase cases[] = {
        {0, " 1 2 0.5 0 0 90", 0},
        {3, " -1000 1000 0 0 0 0", 0},
        {0, " 1000.5 0 0 0 0 0", 1},
        {1, " 0 -1e30 0 0 0 0", 1},
        {1, " nan 0 0 0 0 0", 1},
        {4, " 1 2 3 0 0 0", 1},
        {-1, " 1 2 3 0 0 0", 1},
    };
    for (const EngageCase &c : cases) {
        SCOPED_TRACE(c.line);
        GameRules g = zero_rules();
        testing::internal::CaptureStderr();
        EXPECT_EQ(parse_engage_line(c.line, c.player, &g), c.result);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(g.engage_set, c.result == 0 ? 1 : 0);
    }
    GameRules s = zero_rules();
    s.players = 2;
    testing::internal::CaptureStderr();
    set_rule_by_name("engageplayerpos", "1000.5,0,0,0,0,0", &s);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(s.engage_set, 0);
}

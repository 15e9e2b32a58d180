#include "core/replay_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/bout.h"
#include "core/command.h"
#include "core/command_handlers.h"
#include "core/newgame.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/rules.h"
#include "core/safe_file.h"
#include "core/sane.h"
#include "core/text.h"

GrabRecord replay_grabs[4][GRAB_RECORDS];
ReplayReader replay_reader;
GameRules *replay_rules;


// ---- writing ------------------------------------------------------------------

// A text as one line: cut at its first line end, so that a name or an emote
// can never start a line of its own when the file is read back.
static const char *one_line(const char *text, char *buffer, int size)
{
    if (!text)
        text = "";
    size_t len = strcspn(text, "\r\n");
    if (len >= (size_t)size)
        len = (size_t)size - 1;
    memcpy(buffer, text, len);
    buffer[len] = '\0';
    return buffer;
}

static int player_count()
{
    int n = match_state.num_players;
    if (n < 0)
        return 0;
    return n > MAX_FIGHTERS ? MAX_FIGHTERS : n;
}

static const char *display_name(int p, int use_bout_names, char *buffer, int size)
{
    if (p < 0 || p >= MAX_FIGHTERS)
        return one_line("", buffer, size);
    return one_line(use_bout_names ? bout_list[p].name : players[p].name, buffer, size);
}

static int record_has_changes(const ReplayFrame *r)
{
    for (int p = 0; p < player_count(); p++)
        if (r->change_counts[p])
            return 1;
    return 0;
}

static void write_header(FILE *f, int use_bout_names)
{
    int n = player_count();
    char text[256];
    fputs("#!/usr/bin/zylomach\n", f);
    fprintf(f, "#made with zylomach-%s\n", program_version);
    fprintf(f, "#SCORE %i", whole_number(players[0].score));
    for (int p = 1; p < n; p++)
        fprintf(f, " %i", whole_number(players[p].score));
    fputs("\n", f);
    fprintf(f, "#WIN %i", match_state.result_code);
    for (int i = 0; i < n; i++)
        if (match_state.winners[i] != -1)
            fprintf(f, " %s", display_name(match_state.winners[i], use_bout_names, text, sizeof text));
    fputs("\n", f);
    fprintf(f, "VERSION %i\n", REPLAY_FILE_VERSION);
    fprintf(f, "FIGHTNAME 0; %s\n", one_line(fight_name, text, sizeof text));
    for (int p = 0; p < n; p++)
        fprintf(f, "BOUT %i; %s\n", p, display_name(p, use_bout_names, text, sizeof text));
    fprintf(f, "AUTHOR 0; %s\n", one_line(replay_author, text, sizeof text));
    char lines[2048];
    write_engage_lines(lines, sizeof lines, &current_rules);
    fputs(lines, f);
    if (current_rules.teams > 1) {
        write_teams_line(lines, sizeof lines, &current_rules);
        fputs(lines, f);
    }
    fputs(write_newgame_line(game_type, &current_rules), f);
}

static void write_rows(FILE *f, const char *name, int p, const double *v, int rows, int width,
                       const char *number)
{
    fprintf(f, "%s %i;", name, p);
    for (int i = 0; i < rows * width; i++) {
        fputc(' ', f);
        fprintf(f, number, v[i]);
    }
    fputs("\n", f);
}

static void write_record(FILE *f, const ReplayFrame *r)
{
    int n = player_count();
    fprintf(f, "FRAME %i;", r->frame);
    for (int p = 0; p < n; p++)
        fprintf(f, " %i", whole_number(r->injuries[p]));
    for (int p = 0; p < n; p++)
        fprintf(f, " %i", whole_number(r->scores[p]));
    fputs("\n", f);

    int fighters = replay_fighter_count();
    for (int p = 0; p < fighters; p++) {
        if (!r->change_counts[p])
            continue;
        int flags = r->flags[p];
        int any = 0;
        for (int j = 0; j < NUM_JOINTS; j++)
            any |= r->joint_states[p][j] != 0;
        if (any) {
            fprintf(f, "JOINT %i;", p);
            for (int j = 0; j < NUM_JOINTS; j++)
                if (r->joint_states[p][j])
                    fprintf(f, " %i %i", j, r->joint_states[p][j]);
            fputs("\n", f);
        }
        if (r->left_grips[p] || r->right_grips[p])
            fprintf(f, "GRIP %i; %i %i\n", p, r->left_grips[p], r->right_grips[p]);
        if (flags & RF_POS)
            write_rows(f, "POS", p, &r->positions[p][0][0], NUM_BODIES, 3, "%.8f");
        if (flags & RF_QAT)
            write_rows(f, "QAT", p, &r->quaternions[p][0][0], NUM_BODIES, 4, "%f");
        if (flags & RF_LINVEL)
            write_rows(f, "LINVEL", p, &r->linear_velocities[p][0][0], NUM_BODIES, 3, "%f");
        if (flags & RF_ANGVEL)
            write_rows(f, "ANGVEL", p, &r->angular_velocities[p][0][0], NUM_BODIES, 3, "%f");
        if (flags & RF_CRUSH) {
            fprintf(f, "CRUSH %i;", p);
            for (int j = 0; j < NUM_JOINTS; j++)
                if (r->breaks[p][j] == JOINT_DISMEMBERED)
                    fprintf(f, " %i", j);
            fputs("\n", f);
        }
        if (flags & RF_FRACT) {
            fprintf(f, "FRACT %i;", p);
            for (int j = 0; j < NUM_JOINTS; j++)
                if (r->breaks[p][j] == JOINT_FRACTURED)
                    fprintf(f, " %i", j);
            fputs("\n", f);
        }
        if (flags & RF_EMOTE) {
            char text[REPLAY_EMOTE_SIZE];
            fprintf(f, "EMOTE %i;%s\n", p, one_line(r->emotes[p], text, sizeof text));
        }
    }

    int objects = moving_env_count();
    if (r->objects_valid && objects > 0) {
        write_rows(f, "EPOS", 0, &r->object_positions[0][0], objects, 3, "%.8f");
        write_rows(f, "EQAT", 0, &r->object_quaternions[0][0], objects, 4, "%.8f");
        write_rows(f, "EANGVEL", 0, &r->object_angular_velocities[0][0], objects, 3, "%.8f");
        write_rows(f, "ELINVEL", 0, &r->object_linear_velocities[0][0], objects, 3, "%.8f");
    }
}

static_assert((long long)REPLAY_FILE_MAX_BYTES >= (long long)REPLAY_RECORD_MAX_BYTES * REPLAY_FRAMES,
              "a file of a whole buffer is read");

int write_replay(const char *path, int use_bout_names)
{
    SafeFile out;
    if (!path || safe_open(&out, path) != 0) {
        fprintf(stderr, "Unable to open %s\n", path ? path : "(null)");
        return 1;
    }
    FILE *f = out.f;
    write_header(f, use_bout_names);
    int records = match_state.frames_recorded;
    if (records > REPLAY_FRAMES)
        records = REPLAY_FRAMES;
    for (int i = 0; i < records; i++) {
        const ReplayFrame *r = get_replay_frame(i);
        if (r && record_has_changes(r))
            write_record(f, r);
    }
    return safe_commit(&out);
}

// ---- reading ------------------------------------------------------------------

// Reads one line into line (REPLAY_LINE_BYTES): up to and with its '\n', or
// up to a NUL byte. Returns 1 for a line, 0 at the end of the file (a last
// line without '\n' is dropped), -1 for a line that did not fit: it is
// reported and skipped to its end.
static int read_line(FILE *f, char *line)
{
    int len = 0;
    for (;;) {
        int c = fgetc(f);
        if (c == EOF)
            return 0;
        if (c == '\0') {
            line[len] = '\0';
            return 1;
        }
        if (len == REPLAY_LINE_BYTES - 1) {
            line[len] = '\0';
            fprintf(stderr, "read_replay: line longer than %d bytes skipped: %.40s...\n",
                    REPLAY_LINE_BYTES - 1, line);
            while (c != EOF && c != '\n')
                c = fgetc(f);
            return -1;
        }
        line[len++] = (char)c;
        if (c == '\n') {
            line[len] = '\0';
            return 1;
        }
    }
}

static int read_le32(FILE *f, int32_t *out)
{
    unsigned char b[4];
    if (fread(b, 1, 4, f) != 4)
        return 1;
    *out = (int32_t)((uint32_t)b[0] | ((uint32_t)b[1] << 8) | ((uint32_t)b[2] << 16) |
                     ((uint32_t)b[3] << 24));
    return 0;
}

// Reads a packed tail; 0 when a whole one is in tail.
static int read_tail(FILE *f, PackedTail *tail)
{
    int32_t n = 0;
    if (read_le32(f, &n) != 0)
        return 1;
    if (n < 1 || n > PACKED_TAIL_MAX_WORDS) {
        fprintf(stderr, "read_replay: packed tail of %d words refused\n", (int)n);
        return 1;
    }
    unsigned char *b = tail->bytes;
    for (int k = 0; k < 4; k++)
        b[k] = (unsigned char)(((uint32_t)n >> (8 * k)) & 0xff);
    size_t want = 4 * (size_t)(n - 1);
    if (want && fread(b + 4, 1, want, f) != want)
        return 1;
    return 0;
}

static int current_record_has_changes()
{
    const ReplayFrame *r = get_replay_frame(replay_reader.record);
    return r && record_has_changes(r);
}

int read_replay(const char *path)
{
    FILE *f = path ? open_read_file(path, REPLAY_FILE_MAX_BYTES) : nullptr;
    if (!f) {
        fprintf(stderr, "Unable to open %s\n", path ? path : "(null)");
        return 1;
    }
    clear_replay_from(0);
    for (int p = 0; p < 4; p++)
        if (core_outward.clear_customs)
            core_outward.clear_customs(p);
    memset(&replay_reader, 0, sizeof replay_reader);
    memset(replay_grabs, 0, sizeof replay_grabs);

    static char line[REPLAY_LINE_BYTES];
    static PackedTail tail;
    char pending = 0;
    int line_number = 0;
    for (;;) {
        int got = read_line(f, line);
        if (got == 0)
            break;
        line_number++;
        if (got < 0 || line[0] == '\n' || line[0] == '\0')
            continue;
        pending = 0;
        set_input_source(path, line_number);
        parse_cmd(CMD_KIND_REPLAY, line, &pending);
        if (pending) {
            if (read_tail(f, &tail) != 0) {
                pending = 0;
                break;
            }
            parse_cmd(CMD_KIND_REPLAY, (const char *)tail.bytes, &pending);
        }
        if (replay_reader.stopped)
            break;
    }
    fclose(f);
    set_input_source(nullptr, 0);
    delete replay_rules;
    replay_rules = nullptr;
    if (replay_reader.refused) {
        char text[320];
        snprintf(text, sizeof text, "Replay %s not played: its game rules are out of range",
                 path);
        echo_message(text, MSG_INGAME);
        return 1;
    }

    // The records read are the buffer's records: writing the replay back
    // saves them all.
    int records = replay_reader.record + (current_record_has_changes() ? 1 : 0);
    match_state.frames_recorded = records > REPLAY_FRAMES ? REPLAY_FRAMES : records;
    match_state.replay_frame = 0;
    return 0;
}

// ---- the replay column ------------------------------------------------------------

// The current record, null once reading has run past the buffer.
static ReplayFrame *current_record()
{
    if (replay_reader.stopped)
        return nullptr;
    return get_replay_frame(replay_reader.record);
}

// The current record when number names one of its player slots.
static ReplayFrame *record_for(const char *command, int number)
{
    if (number < 0 || number >= REPLAY_SLOTS) {
        fprintf(stderr, "%s player %d out of range\n", command, number);
        return nullptr;
    }
    return current_record();
}

static void changed(ReplayFrame *r, int p) { r->change_counts[p] += 1; }

static GameRules *pending_rules()
{
    if (!replay_rules) {
        replay_rules = new (std::nothrow) GameRules;
        if (replay_rules)
            memset(replay_rules, 0, sizeof *replay_rules);
    }
    return replay_rules;
}

// A trimmed, writable copy of a handler's arguments.
static char *trimmed(const char *args, char *buffer, int size)
{
    n_strncpyz(buffer, args ? args : "", size);
    return trim_blanks(buffer);
}

int replay_cmd_newgame(int, const char *args)
{
    GameRules *rules = pending_rules();
    if (!rules)
        return 0;
    if (parse_newgame_line(args, rules) < 0) {
        // Rules the game would refuse at the console refuse the replay.
        replay_reader.refused = 1;
        replay_reader.stopped = 1;
        delete replay_rules;
        replay_rules = nullptr;
        return 0;
    }
    if (core_outward.clear_floor_stains)
        core_outward.clear_floor_stains();
    start_game_with_rules(0, 1, rules);
    delete replay_rules;
    replay_rules = nullptr;
    return 0;
}

int replay_cmd_engage(int number, const char *args)
{
    if (number < 0 || number >= MAX_FIGHTERS) {
        fprintf(stderr, "ENGAGE player %d out of range\n", number);
        return 0;
    }
    GameRules *rules = pending_rules();
    if (rules)
        parse_engage_line(args, number, rules);
    return 0;
}

int replay_cmd_teams(int number, const char *args)
{
    if (number < 0 || number > MAX_FIGHTERS) {
        fprintf(stderr, "TEAMS players %d out of range\n", number);
        return 0;
    }
    GameRules *rules = pending_rules();
    if (!rules)
        return 0;
    rules->players = number;
    int largest = -1;
    const char *p = args;
    for (int i = 0; i < MAX_FIGHTERS; i++) {
        int team = 0;
        char error = 0;
        p = read_int_token(p, &team, &error);
        if (error)
            break;
        if (team < 0 || team >= MAX_FIGHTERS) {
            fprintf(stderr, "TEAMS team %d out of range\n", team);
            break;
        }
        rules->team[i] = team;
        if (team > largest)
            largest = team;
    }
    rules->teams = largest >= 0 ? largest + 1 : 1;
    return 0;
}

int replay_cmd_bout(int number, const char *args)
{
    char buffer[REPLAY_LINE_BYTES];
    char *text = trimmed(args, buffer, sizeof buffer);
    if (number < 0 || number > 3) {
        fprintf(stderr, "BOUT parameter out of range (%d ; \"%s\")\n", number, text);
        return 0;
    }
    char name[32];
    size_t len = strcspn(text, " \t");
    if (len > sizeof name - 1)
        len = sizeof name - 1;
    memcpy(name, text, len);
    name[len] = '\0';
    set_player_name(number, name);
    return 0;
}

int replay_cmd_fight(int, const char *args)
{
    char buffer[REPLAY_LINE_BYTES];
    char *text = trimmed(args, buffer, sizeof buffer);
    char fight[256], a[32], b[32];
    int n = sscanf(text, "%255s %31s %31s", fight, a, b);
    if (n >= 1)
        set_fight_name(fight);
    if (n >= 2)
        set_player_name(0, a);
    if (n >= 3)
        set_player_name(1, b);
    return 0;
}

int replay_cmd_fightname(int, const char *args)
{
    char buffer[REPLAY_LINE_BYTES];
    set_fight_name(trimmed(args, buffer, sizeof buffer));
    return 0;
}

int replay_cmd_author(int, const char *args)
{
    char buffer[REPLAY_LINE_BYTES];
    set_replay_author(trimmed(args, buffer, sizeof buffer));
    return 0;
}

int replay_cmd_version(int number, const char *)
{
    replay_reader.version = number;
    return 0;
}

int replay_cmd_frame(int number, const char *args)
{
    if (replay_reader.stopped)
        return 0;
    if (number != replay_reader.last_frame && current_record_has_changes()) {
        if (replay_reader.record + 1 >= REPLAY_FRAMES) {
            fprintf(stderr, "read_replay: more than %d frames, the rest is not read\n",
                    REPLAY_FRAMES);
            replay_reader.stopped = 1;
            return 0;
        }
        replay_reader.record += 1;
    }
    ReplayFrame *r = current_record();
    if (!r)
        return 0;
    set_record_pointer(r);
    replay_reader.last_frame = number;
    r->frame = number;
    int n = player_count();
    const char *p = args;
    char error = 0;
    for (int i = 0; i < n && !error; i++)
        p = read_float_token(p, &r->injuries[i], &error);
    error = 0;
    for (int i = 0; i < n && !error; i++)
        p = read_float_token(p, &r->scores[i], &error);
    return 0;
}

int replay_cmd_joint(int number, const char *args)
{
    ReplayFrame *r = record_for("JOINT", number);
    if (!r)
        return 0;
    changed(r, number);
    int pairs[NUM_JOINTS][2];
    int n = parse_int_pairs(args, NUM_JOINTS, pairs);
    for (int i = 0; i < n; i++) {
        int j = pairs[i][0];
        if (j < 0 || j >= NUM_JOINTS) {
            fprintf(stderr, "JOINT joint %d out of range\n", j);
            continue;
        }
        r->joint_states[number][j] = pairs[i][1];
    }
    return 0;
}

int replay_cmd_grip(int number, const char *args)
{
    ReplayFrame *r = record_for("GRIP", number);
    if (!r)
        return 0;
    int left = 0, right = 0;
    int n = sscanf(args, "%i %i", &left, &right);
    if (n >= 1)
        r->left_grips[number] = left;
    if (n >= 2)
        r->right_grips[number] = right;
    return 0;
}

// The record's rows of one kind for player p.
static double *record_rows(ReplayFrame *r, int p, int flag)
{
    switch (flag) {
    case RF_POS: return &r->positions[p][0][0];
    case RF_LINVEL: return &r->linear_velocities[p][0][0];
    case RF_ANGVEL: return &r->angular_velocities[p][0][0];
    default: return &r->quaternions[p][0][0];
    }
}

// 1 when every row of a body state is something the world can take.
static int sane_body_rows(const double *rows, int flag, int count)
{
    return sane_rows(rows, count, flag == RF_QAT ? 4 : 3,
                     flag == RF_POS ? SANE_POSITION : SANE_SPEED);
}

// Rows that are not there keep what the record held; a line with a value
// the world cannot take is refused whole.
static int body_rows(const char *command, int number, const char *args, int flag)
{
    ReplayFrame *r = record_for(command, number);
    if (!r)
        return 0;
    int width = flag == RF_QAT ? 4 : 3;
    double rows[NUM_BODIES][4];
    memcpy(rows, record_rows(r, number, flag), sizeof(double) * NUM_BODIES * width);
    double (*packed)[4] = rows;
    if (width == 4) {
        read_double_rows4(args, NUM_BODIES, packed);
    } else {
        double three[NUM_BODIES][3];
        memcpy(three, record_rows(r, number, flag), sizeof three);
        read_double_rows3(args, NUM_BODIES, three);
        memcpy(rows, three, sizeof three);
    }
    if (!sane_body_rows(&rows[0][0], flag, NUM_BODIES)) {
        refuse_input(command, args);
        return 0;
    }
    memcpy(record_rows(r, number, flag), rows, sizeof(double) * NUM_BODIES * width);
    changed(r, number);
    r->flags[number] |= flag;
    return 0;
}

int replay_cmd_pos(int number, const char *args) { return body_rows("POS", number, args, RF_POS); }
int replay_cmd_linvel(int number, const char *args)
{
    return body_rows("LINVEL", number, args, RF_LINVEL);
}
int replay_cmd_angvel(int number, const char *args)
{
    return body_rows("ANGVEL", number, args, RF_ANGVEL);
}
int replay_cmd_qat(int number, const char *args) { return body_rows("QAT", number, args, RF_QAT); }

static int body_tail(const char *command, int number, const char *tail, int flag)
{
    ReplayFrame *r = record_for(command, number);
    if (!r)
        return 0;
    int width = flag == RF_QAT ? 4 : 3;
    double rows[NUM_BODIES * 4];
    memcpy(rows, record_rows(r, number, flag), sizeof(double) * NUM_BODIES * width);
    int got = width == 4 ? unpack_tail_rows4(tail, rows, NUM_BODIES * 4)
                         : unpack_tail_rows3(tail, rows, NUM_BODIES * 3);
    if (got < 0)
        return 0;
    if (!sane_body_rows(rows, flag, NUM_BODIES)) {
        refuse_input(command, "packed rows");
        return 0;
    }
    memcpy(record_rows(r, number, flag), rows, sizeof(double) * NUM_BODIES * width);
    changed(r, number);
    r->flags[number] |= flag;
    return 0;
}

int replay_cmd_p_pos(int number, const char *tail) { return body_tail("P_POS", number, tail, RF_POS); }
int replay_cmd_p_linvel(int number, const char *tail)
{
    return body_tail("P_LINVEL", number, tail, RF_LINVEL);
}
int replay_cmd_p_angvel(int number, const char *tail)
{
    return body_tail("P_ANGVEL", number, tail, RF_ANGVEL);
}
int replay_cmd_p_qat(int number, const char *tail) { return body_tail("P_QAT", number, tail, RF_QAT); }

int replay_cmd_p_env(int, const char *tail)
{
    ReplayFrame *r = current_record();
    if (!r)
        return 0;
    int groups = env_tail_groups(tail);
    for (int g = 0; g < groups && g < NUM_ENV_OBJECTS; g++) {
        double pos[3], quat[4], ang[3], lin[3];
        unpack_env_tail(env_tail_group(tail, g), pos, quat, ang, lin);
        if (!sane_env_state(pos, quat, ang, lin)) {
            refuse_input("P_ENV", "packed object state");
            return 0;
        }
        memcpy(r->object_positions[g], pos, sizeof pos);
        memcpy(r->object_quaternions[g], quat, sizeof quat);
        memcpy(r->object_angular_velocities[g], ang, sizeof ang);
        memcpy(r->object_linear_velocities[g], lin, sizeof lin);
    }
    r->objects_valid = 1;
    return 0;
}

static int object_rows(const char *command, const char *args, double *values, int width)
{
    ReplayFrame *r = current_record();
    if (!r)
        return 0;
    int objects = moving_env_count();
    if (objects > NUM_ENV_OBJECTS)
        objects = NUM_ENV_OBJECTS;
    double rows[NUM_ENV_OBJECTS * 4];
    memcpy(rows, values, sizeof(double) * (size_t)objects * width);
    const char *p = args;
    for (int k = 0; k < objects; k++)
        p = read_doubles(p, width, rows + (size_t)k * width);
    for (int k = 0; k < objects; k++) {
        const double *v = rows + (size_t)k * width;
        int ok = width == 4 ? sane_quaternion(v)
                            : sane_values(v, 3, values == &r->object_positions[0][0]
                                                    ? SANE_POSITION
                                                    : SANE_SPEED);
        if (!ok) {
            refuse_input(command, args);
            return 0;
        }
    }
    memcpy(values, rows, sizeof(double) * (size_t)objects * width);
    r->objects_valid = 1;
    return 0;
}

int replay_cmd_epos(int, const char *args)
{
    ReplayFrame *r = current_record();
    return r ? object_rows("EPOS", args, &r->object_positions[0][0], 3) : 0;
}
int replay_cmd_eqat(int, const char *args)
{
    ReplayFrame *r = current_record();
    return r ? object_rows("EQAT", args, &r->object_quaternions[0][0], 4) : 0;
}
int replay_cmd_eangvel(int, const char *args)
{
    ReplayFrame *r = current_record();
    return r ? object_rows("EANGVEL", args, &r->object_angular_velocities[0][0], 3) : 0;
}
int replay_cmd_elinvel(int, const char *args)
{
    ReplayFrame *r = current_record();
    return r ? object_rows("ELINVEL", args, &r->object_linear_velocities[0][0], 3) : 0;
}

static int break_list(const char *command, int number, const char *args, int kind, int flag)
{
    ReplayFrame *r = record_for(command, number);
    if (!r)
        return 0;
    changed(r, number);
    int joints[NUM_JOINTS];
    int n = read_int_list(args, NUM_JOINTS, joints);
    for (int i = 0; i < n; i++) {
        if (joints[i] < 0 || joints[i] >= NUM_JOINTS) {
            fprintf(stderr, "%s joint %d out of range\n", command, joints[i]);
            continue;
        }
        r->breaks[number][joints[i]] = kind;
    }
    r->flags[number] |= flag;
    return 0;
}

int replay_cmd_crush(int number, const char *args)
{
    return break_list("CRUSH", number, args, JOINT_DISMEMBERED, RF_CRUSH);
}
int replay_cmd_fract(int number, const char *args)
{
    return break_list("FRACT", number, args, JOINT_FRACTURED, RF_FRACT);
}

int replay_cmd_emote(int number, const char *args)
{
    ReplayFrame *r = record_for("EMOTE", number);
    if (!r)
        return 0;
    changed(r, number);
    char buffer[REPLAY_LINE_BYTES];
    n_strncpyz(r->emotes[number], trimmed(args, buffer, sizeof buffer), EMOTE_CHARS + 1);
    r->flags[number] |= RF_EMOTE;
    return 0;
}

int read_grab_line(const char *args, GrabRecord records[GRAB_RECORDS])
{
    int a = 0, b = 0, slot = 0, d = 0;
    double x = 0, y = 0, z = 0;
    if (sscanf(args, "%i %i %i %i %lf %lf %lf", &a, &b, &slot, &d, &x, &y, &z) != 7)
        return 1;
    if (slot < 0 || slot >= GRAB_RECORDS) {
        fprintf(stderr, "GRAB slot %d out of range\n", slot);
        return 1;
    }
    // The two ids name bodies of a fighter.
    if (a < 0 || a >= NUM_BODIES || b < 0 || b >= NUM_BODIES) {
        fprintf(stderr, "GRAB body %d %d out of range\n", a, b);
        return 1;
    }
    const double at[3] = {x, y, z};
    if (!sane_values(at, 3, SANE_POSITION)) {
        refuse_input("GRAB", args);
        return 1;
    }
    records[slot] = GrabRecord{a, b, d, {x, y, z}, 1};
    return 0;
}

int replay_cmd_grab(int number, const char *args)
{
    if (number < 0 || number >= 4) {
        fprintf(stderr, "GRAB player %d out of range\n", number);
        return 0;
    }
    read_grab_line(args, replay_grabs[number]);
    return 0;
}

int replay_cmd_hingefmax(int, const char *) { return 0; }
int replay_cmd_hingevel(int, const char *) { return 0; }

static int customs(const char *keyword, int number, const char *args)
{
    if (number < 0 || number >= 4) {
        fprintf(stderr, "%s player %d out of range\n", keyword, number);
        return 0;
    }
    if (core_outward.parse_customs_line)
        core_outward.parse_customs_line(keyword, number, args);
    return 0;
}

int replay_cmd_bodcol(int number, const char *args) { return customs("BODCOL", number, args); }
int replay_cmd_gradcol1(int number, const char *args) { return customs("GRADCOL1", number, args); }
int replay_cmd_gradcol2(int number, const char *args) { return customs("GRADCOL2", number, args); }
int replay_cmd_trailcol(int number, const char *args) { return customs("TRAILCOL", number, args); }
int replay_cmd_item(int number, const char *args) { return customs("ITEM", number, args); }
int replay_cmd_decal(int number, const char *args) { return customs("DECAL", number, args); }
int replay_cmd_text(int number, const char *args) { return customs("TEXT", number, args); }

// ---- autosave ---------------------------------------------------------------------

int autosave_name(char *out, int size)
{
    if (!out || size < 1)
        return 1;
    out[0] = '\0';
    int n = player_count();
    for (int p = 0; p < n; p++)
        if (!players[p].name[0])
            return 1;
    // Names come from server and replay lines: only what sanitize_name
    // keeps goes into the path, so the file stays inside autosave/.
    char names[MAX_FIGHTERS][32];
    for (int p = 0; p < n; p++) {
        n_strncpyz(names[p], players[p].name, sizeof names[p]);
        sanitize_name(names[p]);
    }
    char name[1024];
    int used = snprintf(name, sizeof name, "autosave/%s", n > 0 ? names[0] : "");
    auto add = [&](const char *format, auto value) {
        if (used < 0 || used >= (int)sizeof name)
            return;
        used += snprintf(name + used, sizeof name - used, format, value);
    };
    for (int p = 1; p < n; p++)
        add("_vs_%s", names[p]);
    if (n <= 2) {
        add("-%.0f", (double)players[1].injury);
        if (n == 2)
            add("_%.0f", (double)players[0].injury);
    } else {
        add("-%.0f", (double)players[0].score);
        for (int p = 1; p < n; p++)
            add("_%.0f", (double)players[p].score);
    }
    name[sizeof name - 1] = '\0';
    // An earlier match of the same players keeps its file: the first free
    // of name.rpl, name-2.rpl, name-3.rpl ... is used.
    for (int copy = 1; copy < 100000; copy++) {
        char suffix[16] = "";
        if (copy > 1)
            snprintf(suffix, sizeof suffix, "-%i", copy);
        char candidate[sizeof name + 32];
        int keep = 251 - (int)strlen(suffix);
        snprintf(candidate, sizeof candidate, "%.*s%s.rpl", keep, name, suffix);
        if (file_exists(candidate))
            continue;
        n_strncpyz(out, candidate, size);
        return 0;
    }
    fprintf(stderr, "autosave: no free name for %s\n", name);
    return 1;
}

void autosave_replay()
{
    char name[256];
    if (autosave_name(name, sizeof name) != 0) {
        echo_message("Failed to save replay. players struct lack names", MSG_INGAME);
        return;
    }
    set_fight_name("vs");
    make_path_dirs(name);
    int result = write_replay(name, 0);
    char text[512];
    if (result != 0)
        snprintf(text, sizeof text, "Failed to save replay to %s error %i", name, result);
    else
        snprintf(text, sizeof text, "> %s", name);
    echo_message(text, MSG_INGAME);
}

// Replay files (".rpl"): the replay buffer written out as lines of the
// command language behind a few comment lines, the reader that feeds them
// back through parse_cmd's replay column, the replay column's handlers and
// the autosave at the end of a match.
#pragma once

#include <cstdint>

struct GameRules;

enum {
    REPLAY_FILE_VERSION = 10,
    REPLAY_LINE_BYTES = 2048,   // a line and its '\n' fit in 2047 bytes plus NUL
    GRAB_RECORDS = 21,          // grab records per player (one per body)
    // What the writer puts out for one record at most: a "FRAME" line, the
    // nine lines of each of four fighters (body rows of numbers within the
    // world's range) and the four lines of sixteen moving objects, with
    // room to spare.
    REPLAY_RECORD_MAX_BYTES = 24 * 1024,
    // A larger file is refused whole: the longest match the rules accept
    // fits, and the line count stays far inside an int.
    REPLAY_FILE_MAX_BYTES = REPLAY_RECORD_MAX_BYTES * 10240 + 64 * 1024
};

// 0 on success, 1 when the file cannot be created.
int write_replay(const char *path, int use_bout_names);
// 0 when the file was read (whatever its lines held), 1 when it cannot be opened.
int read_replay(const char *path);
// Saves the finished match under "autosave/" (the caller checks the option).
void autosave_replay();
// The autosave file name for the current players: "autosave/a_vs_b-4_12.rpl",
// or "autosave/a_vs_b-4_12-2.rpl", "-3" ... when that file already exists.
// 0 when it was built; 1 when a fighter has no name (out is then "").
int autosave_name(char *out, int size);

// One "GRAB" line's values.
struct GrabRecord {
    int32_t a, b, d;            // the first, second and fourth integers
    double position[3];
    int32_t valid;
};
// The replay column's set (the network column keeps its own).
extern GrabRecord replay_grabs[4][GRAB_RECORDS];

// Reads a "GRAB" line's arguments ("%i %i %i %i %lf %lf %lf": two values,
// the slot, a value and a position) into its slot of records. 0 when stored;
// a bad slot or a position that is not finite is refused with a message.
int read_grab_line(const char *args, GrabRecord records[GRAB_RECORDS]);

// Reader state the replay column's handlers share; read_replay zeroes it.
struct ReplayReader {
    int32_t last_frame;         // number of the last "FRAME" line
    int32_t record;             // index of the current record
    int32_t stopped;            // 1 once a line asked for a record past the buffer
    int32_t version;            // the "VERSION" number
    int32_t refused;            // 1 once its "NEWGAME" line was refused
};
extern ReplayReader replay_reader;
// The pending rules of "ENGAGE", "TEAMS" and "NEWGAME" (null when none).
extern GameRules *replay_rules;

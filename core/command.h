// The line command language shared by replay files, the game server and the
// server browser: the command table with its four handler columns, the
// parser, the binary "P_" tails of packed millionths, and the argument
// readers that the handlers use.
//
// A line is "NAME number; arguments". A few commands ("P_POS" and friends)
// are followed by a binary tail; the parser takes those in two calls: the
// text line (which remembers the row and sets the caller's pending byte) and
// then the tail (which goes to that row's handler with the remembered number).
#pragma once

#include <cstdint>

// Handler columns, selected by the kind passed to parse_cmd.
enum {
    CMD_KIND_REPLAY = 0,    // replay files
    CMD_KIND_NETWORK = 1,   // the game server
    CMD_KIND_BROWSER = 2,   // the server browser's worker thread
    CMD_KIND_FOURTH = 3,    // customisation rows only
    CMD_KINDS = 4
};

// CommandRow.flags. Only CMD_FLAG_TAIL is looked at by the parser.
enum {
    CMD_FLAG_STATE = 1,     // body or world state
    CMD_FLAG_INPUT = 2,     // joint and grip input
    CMD_FLAG_INFO = 4,      // match, player and connection information
    CMD_FLAG_TAIL = 8       // the text line is followed by a packed tail
};

enum {
    CMD_LINE_MAX = 2048,        // longest line parsed (a kept '\n' counts)
    CMD_NAME_SIZE = 256,        // command word buffer (255 characters)
    CMD_WORD_SIZE = 256,        // word buffer of the token readers
    COMMAND_COUNT = 67
};

// A handler gets the line's number and its arguments: the text after the
// first ';' (never null: "" for a line without ';'), or, for a tail command
// in the replay and network columns, the start of the packed tail.
typedef int (*CommandHandler)(int number, const char *args);

struct CommandRow {
    const char *name;           // null ends the table
    CommandHandler network;     // kind 1
    CommandHandler replay;      // kind 0
    CommandHandler browser;     // kind 2
    CommandHandler fourth;      // kind 3
    int flags;
};

// COMMAND_COUNT rows and an ending row without a name.
extern const CommandRow CommandTable[COMMAND_COUNT + 1];

// What one stream of lines remembers between a tail command's text line and
// its tail.
struct CommandStream {
    const CommandRow *row;      // row of the last text line that matched
    int number;                 // that line's number
};

// One stream per kind: the replay reader and the game server on the main
// thread, the browser on its worker thread, each touching only its own.
extern CommandStream command_streams[CMD_KINDS];

// Parses one line (or, with *pending set, the tail announced by the previous
// line) against CommandTable with the stream of its kind. pending may be
// null (the browser passes none). Returns 0 when the line was handled or
// ignored by design, -1 when it was refused with a diagnostic.
int parse_cmd(int kind, const char *line, char *pending);
// The same against another table (tests, fuzzing), with the stream of kind.
int parse_cmd_in(const CommandRow *table, int kind, const char *line, char *pending);
// The same with an explicit stream.
int parse_cmd_stream(CommandStream *stream, const CommandRow *table, int kind,
                     const char *line, char *pending);

// ---- packed tails --------------------------------------------------------
// A tail is a block of little-endian int32 words. Word 0 is the count n of
// words including itself; words 1 .. n-1 are values in millionths. Readers
// hold a tail in PACKED_TAIL_BYTES, so n is 1 .. PACKED_TAIL_MAX_WORDS.
enum {
    PACKED_TAIL_MAX_WORDS = 512,
    PACKED_TAIL_BYTES = 4 * PACKED_TAIL_MAX_WORDS,
    ENV_TAIL_GROUP_WORDS = 13   // position 3, quaternion 4, angular 3, linear 3
};

struct PackedTail {
    unsigned char bytes[PACKED_TAIL_BYTES];
};

// Word i of a tail (no range check: the caller knows the count).
int32_t packed_tail_word(const char *tail, int i);
// The tail's count n, or -1 when it is below 1 or above PACKED_TAIL_MAX_WORDS.
int packed_tail_count(const char *tail);
// Writes count values as a tail into out (out_bytes long); returns the bytes
// written, or -1 when the tail does not fit out or the word limit.
int pack_tail(char *out, int out_bytes, const double *values, int count);

// Decode words 1 .. n-1 into one contiguous array of at most capacity
// doubles (rows of 3 for "P_POS", "P_LINVEL", "P_ANGVEL", rows of 4 for
// "P_QAT"). Return the number of values written; -1 (nothing written) when
// the count is refused.
int unpack_tail_rows3(const char *tail, double *out, int capacity);
int unpack_tail_rows4(const char *tail, double *out, int capacity);
// One "P_ENV" object from 13 words.
void unpack_env_tail(const char *words, double position[3], double quaternion[4],
                     double angular_velocity[3], double linear_velocity[3]);
// The number of whole 13-word groups after word 0 (0 for a refused count),
// and the words of group g (null when the tail does not hold it).
int env_tail_groups(const char *tail);
const char *env_tail_group(const char *tail, int group);

// x * 1 000 000 truncated toward zero, held to the int32 range (NaN: 0).
int32_t to_millionths(double x);
double from_millionths(int32_t i);

// ---- argument readers ------------------------------------------------------
// Unless said otherwise a reader stops at NUL, '\r' or '\n', skips blanks
// (space, tab) before a number, and stops at text that is not a number.

// One blank-delimited word (at most 255 characters) as a float or as "%i".
// On success: *error := 0, the result is the text after the word and the
// blanks behind it. On a missing, over-long or non-numeric word: *error := 1
// and the text is returned unchanged.
const char *read_float_token(const char *text, float *out, char *error);
const char *read_int_token(const char *text, int *out, char *error);
// Exactly n numbers by strtod (no end-of-line test; a missing number is 0).
const char *read_doubles(const char *text, int n, double *out);
// Up to n rows of 4 or 3 numbers; returns the text where reading stopped.
const char *read_double_rows4(const char *text, int n, double (*rows)[4]);
const char *read_double_rows3(const char *text, int n, double (*rows)[3]);
// Up to n numbers; returns the text where reading stopped.
const char *read_double_list(const char *text, int n, double *out);
// Up to n pairs of base-10 integers; returns the number of whole pairs.
int parse_int_pairs(const char *text, int n, int (*pairs)[2]);
// Up to n base-10 integers; returns the number read.
int read_int_list(const char *text, int n, int *out);
// Zeroes n outputs, then reads up to n base-10 integers, passing over the
// separator character as well as blanks; returns the number read.
int read_separated_ints(const char *text, int n, int *out, char separator);

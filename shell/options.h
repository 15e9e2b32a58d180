// The table of numeric options shared by the command line, the settings
// store, the options page, the console and the scripts, and the state that
// the command line leaves for start-up (the replay and mod it names).
#pragma once

#include <cstdint>
#include <cstdio>

enum { NUM_OPTIONS = 51 };

struct OptionRow {
    const char *name;
    int32_t value;      // holds the default at start
    int32_t takes_int;  // 0: a flag, each occurrence on the command line adds 1
    int32_t next;       // index of the following row, -1 on the last
};

// Row indexes; rows are addressed by index everywhere.
enum OptionIndex {
    OPT_ALTIMETER = 0,
    OPT_SPEEDOMETER,
    OPT_HUD,
    OPT_GUI,
    OPT_SCORE,
    OPT_TIMER,
    OPT_CHAT,
    OPT_SPECTATOR,
    OPT_DEBUG,
    OPT_NAME,
    OPT_EMOTE,            // 10
    OPT_BUTTON,
    OPT_TEXT,
    OPT_HINT,
    OPT_FEEDBACK,
    OPT_MESSAGE,
    OPT_INFO,
    OPT_CURSOR,
    OPT_UKE,
    OPT_KASU,
    OPT_BLOOD,            // 20
    OPT_SOUND,
    OPT_MOUSEBUTTONS,
    OPT_RUMBLE,
    OPT_MUSIC,
    OPT_SMARTCAM,
    OPT_WIDTH,
    OPT_HEIGHT,
    OPT_ANTIALIASING,
    OPT_BENCHMARK,
    OPT_FULLSCREEN,       // 30
    OPT_AUTOSAVE,
    OPT_JOINTSOUND,
    OPT_AUTOUPDATE,
    OPT_BRUISE,
    OPT_MOTIONBLUR,
    OPT_BLOODSTAINS,
    OPT_EXHIBITION,
    OPT_REFLECTION,
    OPT_TRANSPARENCY,
    OPT_SMOOTHCAM,        // 40
    OPT_FRAMESKIP,
    OPT_AVATAR,
    OPT_FLUID,
    OPT_SOFTSHADOW,
    OPT_AMBIENTOCCLUSION,
    OPT_BUMPMAPPING,
    OPT_SHADERS,
    OPT_NORELOAD,
    OPT_EQUIPMENT,
    OPT_TURNALERT         // 50
};

// 51 rows and a row of zeros.
extern OptionRow option_table[NUM_OPTIONS + 1];

// The value of a row; 0 for an index outside the table.
int get_option(int row);
// Stores a value into a row; nothing for an index outside the table.
void set_option(int row, int value);
// The accepted values of a row set by name; null for rows without a range.
struct OptionRange {
    int row;
    int min, max;
};
const OptionRange *option_range(int row);
// Exact, case-sensitive match against rows 0 to 50; 0 when stored, 1 when
// no row has that name or the value is outside the row's range (kept).
int set_option_by_name(const char *name, int value);
// The row of a name, -1 when none.
int option_row(const char *name);
// The value of a named option; 0 for a name that is not an option.
int option_by_name(const char *name);
// Points the renderer's option references at their option rows.
void bind_render_option_refs();
// Puts every row back to its default (start-up state).
void reset_options();

// ---- the command line --------------------------------------------------------
enum { CMDLINE_TEXT = 256 };
extern char cmdline_replay[CMDLINE_TEXT];   // the last argument ending in ".rpl"
extern int cmdline_replay_count;
extern char cmdline_mod[CMDLINE_TEXT];      // the last argument ending in ".zmm"
extern int cmdline_mod_count;

// Rows given a value for this run before the stored settings are applied
// (the command line, a start-up script). The stored value does not replace
// such a row, and while it keeps that value it is not saved as the stored
// choice either: the request holds for this run only.
extern unsigned char option_requested[NUM_OPTIONS];
// Marks a row as requested; nothing once the stored settings were applied
// (load_settings sets stored_options_applied) or for an index outside.
void mark_option_requested(int row);
extern int stored_options_applied;

// Reads argv[1..argc-1] into the options and the replay and mod names.
// Returns 1 as soon as "-h" or "-help" is met (the arguments before it have
// been applied, nothing after it is read), else 0.
int parse_command_line(int argc, char **argv);


// The usage text with the rows' current values.
void write_usage(FILE *out);
// Prints the usage text on standard output and ends the process (status 1).
void print_usage();

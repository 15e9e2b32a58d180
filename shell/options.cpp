#include "shell/options.h"

#include "core/outward.h"
#include "core/records.h"

#include <cstdlib>
#include <cstring>

#include "core/text.h"
#include "platform/screenshot.h"
#include "render/scene.h"


// Name, default, takes an integer; the row order is fixed.
#define OPTION_ROWS(X) \
    X(altimeter, 0, 1) \
    X(speedometer, 0, 1) \
    X(hud, 1, 1) \
    X(gui, 1, 1) \
    X(score, 1, 1) \
    X(timer, 1, 1) \
    X(chat, 1, 1) \
    X(spectator, 1, 1) \
    X(debug, 0, 1) \
    X(name, 1, 1) \
    X(emote, 1, 1) \
    X(button, 0, 1) \
    X(text, 1, 1) \
    X(hint, 1, 1) \
    X(feedback, 1, 1) \
    X(message, 1, 1) \
    X(info, 1, 1) \
    X(cursor, 0, 1) \
    X(uke, 1, 1) \
    X(kasu, 1, 1) \
    X(blood, 1, 1) \
    X(sound, 1, 1) \
    X(mousebuttons, 1, 1) \
    X(rumble, 0, 1) \
    X(music, 1, 1) \
    X(smartcam, 0, 1) \
    X(width, 800, 1) \
    X(height, 600, 1) \
    X(antialiasing, 1, 1) \
    X(benchmark, 0, 1) \
    X(fullscreen, 0, 1) \
    X(autosave, 1, 1) \
    X(jointsound, 0, 1) \
    X(autoupdate, 1, 1) \
    X(bruise, 1, 1) \
    X(motionblur, 0, 1) \
    X(bloodstains, 1, 1) \
    X(exhibition, 0, 1) \
    X(reflection, 1, 1) \
    X(transparency, 0, 1) \
    X(smoothcam, 1, 1) \
    X(frameskip, 0, 1) \
    X(avatar, 1, 1) \
    X(fluid, 1, 1) \
    X(softshadow, 1, 1) \
    X(ambientocclusion, 1, 1) \
    X(bumpmapping, 1, 1) \
    X(shaders, 0, 1) \
    X(noreload, 0, 0) \
    X(equipment, 1, 1) \
    X(turnalert, 1, 1)

enum {
#define OPTION_INDEX(name, value, takes) OPTION_ROW_##name,
    OPTION_ROWS(OPTION_INDEX)
#undef OPTION_INDEX
};
#define OPTION_ROW(name, value, takes) \
    { #name, value, takes, OPTION_ROW_##name + 1 < NUM_OPTIONS ? OPTION_ROW_##name + 1 : -1 },

// Defaults of every row; reset_options copies them back.
static const OptionRow option_defaults[NUM_OPTIONS + 1] = {
    OPTION_ROWS(OPTION_ROW)
    { nullptr, 0, 0, 0 },
};

OptionRow option_table[NUM_OPTIONS + 1] = {
    OPTION_ROWS(OPTION_ROW)
    { nullptr, 0, 0, 0 },
};
#undef OPTION_ROW

static_assert(sizeof option_defaults / sizeof option_defaults[0] == NUM_OPTIONS + 1,
              "option table rows");
static_assert((int)OPTION_ROW_fluid == (int)OPT_FLUID &&
                  (int)OPTION_ROW_turnalert == (int)OPT_TURNALERT,
              "option row indexes");

unsigned char option_requested[NUM_OPTIONS];
int stored_options_applied = 0;

void mark_option_requested(int row)
{
    if (!stored_options_applied && row >= 0 && row < NUM_OPTIONS)
        option_requested[row] = 1;
}

void reset_options()
{
    memcpy(option_table, option_defaults, sizeof option_table);
    memset(option_requested, 0, sizeof option_requested);
    stored_options_applied = 0;
}

int get_option(int row)
{
    if (row < 0 || row >= NUM_OPTIONS)
        return 0;
    return option_table[row].value;
}

void set_option(int row, int value)
{
    if (row < 0 || row >= NUM_OPTIONS)
        return;
    option_table[row].value = value;
}

int option_row(const char *name)
{
    if (!name)
        return -1;
    for (int i = 0; i < NUM_OPTIONS; i++)
        if (strcmp(option_table[i].name, name) == 0)
            return i;
    return -1;
}

// Rows whose values must stay in a range when they come by name (console,
// scripts): a window of a few pixels or a missing music track would be
// stored and written back.
static const OptionRange option_ranges[] = {
    {OPT_WIDTH, 320, 8192},
    {OPT_HEIGHT, 240, 8192},
    {OPT_ANTIALIASING, 0, 16},
    {OPT_MUSIC, 0, 5},
    {-1, 0, 0},
};

const OptionRange *option_range(int row)
{
    for (const OptionRange *r = option_ranges; r->row != -1; r++)
        if (r->row == row)
            return r;
    return nullptr;
}

int set_option_by_name(const char *name, int value)
{
    int row = option_row(name);
    if (row < 0)
        return 1;
    const OptionRange *range = option_range(row);
    if (range && (value < range->min || value > range->max)) {
        fprintf(stderr, "option %s: %i is out of range (%i to %i)\n", name, value, range->min,
                range->max);
        return 1;
    }
    option_table[row].value = value;
    return 0;
}

char cmdline_replay[CMDLINE_TEXT];
int cmdline_replay_count;
char cmdline_mod[CMDLINE_TEXT];
int cmdline_mod_count;

// True when text is longer than the suffix and ends in it exactly.
static int ends_with(const char *text, size_t length, const char *suffix)
{
    size_t n = strlen(suffix);
    return length > n && strcmp(text + length - n, suffix) == 0;
}

int parse_command_line(int argc, char **argv)
{
    cmdline_replay[0] = 0;
    cmdline_mod[0] = 0;
    cmdline_replay_count = 0;
    cmdline_mod_count = 0;
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (!arg)
            continue;
        size_t length = strlen(arg);
        if (ends_with(arg, length, ".rpl")) {
            cmdline_replay_count++;
            n_strncpyz(cmdline_replay, arg, sizeof cmdline_replay);
            continue;
        }
        if (ends_with(arg, length, ".zmm")) {
            cmdline_mod_count++;
            fprintf(stderr, "Using mod %s\n", arg);
            n_strncpyz(cmdline_mod, arg, sizeof cmdline_mod);
            continue;
        }
        if (strcmp(arg, "-help") == 0 || strcmp(arg, "-h") == 0)
            return 1;
        // An option word is its first character (any) and a row name; an
        // empty argument has no name after it and is passed over.
        if (length < 2)
            continue;
        const char *word = arg + 1;
        for (int row = 0; row < NUM_OPTIONS; row++) {
            OptionRow *o = &option_table[row];
            if (strcmp(word, o->name) != 0)
                continue;
            if (!o->takes_int) {
                o->value++;
                mark_option_requested(row);
            } else if (i + 1 < argc && argv[i + 1]) {
                long value = strtol(argv[i + 1], nullptr, 10);
                const OptionRange *range = option_range(row);
                if (range && (value < range->min || value > range->max)) {
                    // A window the X server cannot make ends the program
                    // without a word: the option is refused here.
                    fprintf(stderr, "Refused option -%s %s: out of range (%i to %i)\n", o->name,
                            argv[i + 1], range->min, range->max);
                    continue;
                }
                o->value = (int32_t)value;
                mark_option_requested(row);
            }
            // The value word is looked at again as an argument of its own.
        }
    }
    return 0;
}

void write_usage(FILE *out)
{
    fprintf(out, "%s\n", program_version);
    fprintf(out, "Bug reports and questions: zylomach@localhost\n");
    fprintf(out, "\n");
    fputs("Usage: zylomach [options] [<replay.rpl>]\n\nOptions:\n", out);
    for (int row = 0; row < NUM_OPTIONS; row++) {
        const OptionRow *o = &option_table[row];
        if (o->takes_int)
            fprintf(out, "   -%s %i\n", o->name, (int)o->value);
        else
            fprintf(out, "   -%s\n", o->name);
    }
}

void print_usage()
{
    write_usage(stdout);
    fflush(stdout);
    exit_program(1);
}

int option_by_name(const char *name)
{
    int row = option_row(name);
    return row < 0 ? 0 : get_option(row);
}

void bind_render_option_refs()
{
    render_option_refs.fluid = &option_table[OPT_FLUID].value;
    render_option_refs.reflection = &option_table[OPT_REFLECTION].value;
    render_option_refs.softshadow = &option_table[OPT_SOFTSHADOW].value;
    render_option_refs.ambientocclusion = &option_table[OPT_AMBIENTOCCLUSION].value;
    render_option_refs.bumpmapping = &option_table[OPT_BUMPMAPPING].value;
    render_option_refs.noreload = &option_table[OPT_NORELOAD].value;
    render_option_refs.transparency = &option_table[OPT_TRANSPARENCY].value;
    render_option_refs.frameskip = &option_table[OPT_FRAMESKIP].value;
    render_option_refs.shaders = &option_table[OPT_SHADERS].value;
    render_option_refs.shaders_active = &shaders_active;
    render_option_refs.motionblur = &option_table[OPT_MOTIONBLUR].value;
}

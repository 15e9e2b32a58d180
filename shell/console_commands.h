// The console command interpreter: a table of 49 commands (name, alias,
// usage, handler, argument mode), one dispatcher for chat lines, console
// scripts (".zms"), lines from the game server and Lua, the optional
// "> path" redirect of a command's output, and the chat line's Enter.
#pragma once

#include <cstdio>

#include "core/text.h"

enum {
    CONSOLE_COMMANDS = 49,
    CONSOLE_ARG_NONE = 0,
    CONSOLE_ARG_REQUIRED = 1,
    CONSOLE_ARG_OPTIONAL = 2,
    CONSOLE_ARG_BYTES = 512,
    CONSOLE_DISPATCH_UNITS = 256
};

struct ConsoleCommand;
typedef void (*ConsoleHandler)(const ConsoleCommand *row, const char *arg);

struct ConsoleCommand {
    const char *name;
    const char *alias;
    const char *usage;
    ConsoleHandler handler;
    int arg_mode;      // CONSOLE_ARG_*
    int server_safe;   // 1: a line from the game server may run it
};

// 49 rows and an end row with a null name.
extern const ConsoleCommand console_command_table[CONSOLE_COMMANDS + 1];

// Where a redirected command writes its lines; null outside such a command.
// The lines go to a temporary file beside the target, which replaces the
// target when the command is done (a kill meanwhile leaves the old file).
extern FILE *console_output_file;

// The folder that relative game paths (scripts, "data/...") are taken in;
// empty: the working directory.
extern char console_base_dir[256];

// Row of a name or alias (exact, case-sensitive); -1 when none.
int find_console_command(const char *word);

// 0: the line was a command (run, or refused with a message); 1: not a
// command (comment, empty, unknown name, or the redirect file could not be
// opened). from_server 1 runs only rows marked server_safe and never
// redirects; other rows are refused with a message.
int console_dispatch_from(const char16 *line, int from_server);
int console_dispatch(const char16 *line);

// An 8-bit text converted to 16 bits and dispatched (network RUN, Lua).
void run_console_command(const char *text, int from_server);

// Runs a console script; the path must be relative without "..". 0 when
// the file was read, 1 otherwise.
int run_console_script(const char *path);

// The chat line's Enter: a "/command" is dispatched; online, other lines go
// to the game server.
void submit_chat_line();
// The same for an 8-bit text (the chat row's content).
void submit_chat_text(const char *text);

// 1 when a path given by a user or script stays inside the game's folders
// (not empty, not absolute, no ".." part, no backslash, no drive letter).
int console_path_ok(const char *path);

// Where the commands reach the window and the process table; start-up
// fills them (bind_console_commands), tests put recorders in. Empty slots:
// the window calls are skipped, programs start for real.
struct ConsoleCommandOutward {
    void (*set_resolution)(int width, int height);
    void (*reinit_video)();
    int (*fullscreen_state)();
    void (*toggle_fullscreen)();
    int (*spawn)(const char *path, char *const argv[], int search_path);
};
extern ConsoleCommandOutward console_command_outward;
void bind_console_commands();

// Starts a program with an argument vector, detached, never through a
// shell (search_path: look the name up in PATH). 0 when it was started.
int start_program(const char *path, char *const argv[], int search_path);
// The desktop's web browser (xdg-open, x-www-browser or mozilla, the first
// on the PATH) with the URL as its one argument, leaving full screen first.
// 3 for a null URL, 1 when refused (blanks, control characters, a leading
// '-') or not started, 0 when started.
int launch_browser(const char *url);
// The console's "system": the first word names a program in data/bin (a
// plain file name), the other words are its arguments. 0 started, 1 could
// not start, 2 not a plain name, 3 no such executable file.
int run_data_program(const char *line, char *path_out, int path_size);

// The player's console script "profile.zms", when there is one (start-up).
void run_profile_script();

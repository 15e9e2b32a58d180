// Runs the built program the way a player does: its own virtual X server,
// a fresh runtime folder laid out as `make run` lays it out (`data` a link
// to a data tree outside the folder: here a copy of its own, with a
// startup.lua that the test writes), the test's environment and locale,
// synthetic input on the display, and a deadline.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Something done on the program's display while it runs, in these steps:
//  1. it waits until `wait_file` (when set) exists in the runtime folder;
//     the first action also waits for "ready" (the game has drawn its first
//     frames with the window up), so no first input is lost;
//  2. it waits until the game has drawn `frames` more frames (counted by the
//     prelude's draw2d hook from the moment the test asks), so the input
//     before it has been handled and its effect is on the screen; a page
//     that hides the game runs no script hook, so once such a wait has gone
//     unanswered for two seconds it ends once two pictures of the screen
//     have been taken one after the other (the page drawn);
//  3. it waits `delay_ms`, a small settling, never the main wait;
//  4. it runs `command`:
//       "xdotool <args...>"     synthetic input (key, keydown, mousemove, click ...)
//       "screenshot <name.png>" the whole screen into the runtime folder
//       "term"                  SIGTERM to the program (the window's close)
//       anything else           run as a program in the runtime folder
//  5. with `until_file` set, the action ends only once that file exists;
//     with a `changed` rectangle (x, y, w, h; w above 0) it ends only once
//     that rectangle of the screen differs from a picture taken just
//     before the command (a page that runs no script hook shows its effect
//     this way: a new title, an edited row); with `repeat_ms` above 0 the
//     command runs again every `repeat_ms` until then (input aimed at a
//     moving target). The run's deadline bounds the repeating.
struct GameAction {
    std::string wait_file;
    int delay_ms = 0;
    std::string command;
    std::string until_file;
    int repeat_ms = 0;
    int frames = 3;
    int changed[4] = {0, 0, 0, 0};
    // With changed_to[0] >= 0 the wait is instead for pixels of this colour
    // (each channel within changed_tolerance) in the rectangle.
    int changed_to[3] = {-1, -1, -1};
    int changed_tolerance = 40;

    GameAction() = default;
    GameAction(std::string wait, int delay, std::string cmd, std::string until = "")
        : wait_file(std::move(wait)), delay_ms(delay), command(std::move(cmd)),
          until_file(std::move(until))
    {
    }
};

// The marker the prelude writes once the game has drawn its first frames.
extern const char *const E2E_READY;

// An action repeated every `repeat_ms` until `until_file` exists, after
// `wait_file` (empty: as for any action).
GameAction repeat_until(const std::string &wait_file, const std::string &command,
                        const std::string &until_file, int repeat_ms = 500);

// An action that ends once the rectangle (x, y, w, h) of the screen has
// changed from how it was just before the command, repeated every
// `repeat_ms` (0: once) until then.
GameAction until_changed(const std::string &wait_file, const std::string &command, int x, int y,
                         int w, int h, int repeat_ms = 0);

// An action that ends once the rectangle (x, y, w, h) of the screen holds
// pixels of the colour rgb (each channel within tolerance), repeated every
// `repeat_ms` (0: once) until then.
GameAction until_colour(const std::string &wait_file, const std::string &command, int x, int y,
                        int w, int h, const int rgb[3], int tolerance, int repeat_ms = 0);

struct GameSetup {
    // Lua appended to the shipped data/script/startup.lua. The prelude
    // before it defines e2e_log(text) (a line to e2e.log, flushed),
    // e2e_mark(name) (creates an empty file), e2e_mark_after(name, frames)
    // (the file once `frames` more frames are drawn, default 3),
    // e2e_drawn_frames() (frames drawn so far) and e2e_quit()
    // (run_cmd("quit")). Its draw2d hook (set "e2e_prelude") writes "ready"
    // after the fifth drawn frame.
    std::string startup_lua;
    std::vector<std::string> args;
    // Files written into the runtime folder before the start (relative
    // path, bytes); their folders are created.
    std::vector<std::pair<std::string, std::string>> files;
    // Named pipes (FIFOs) made in the runtime folder before the start
    // (relative paths); their folders are created.
    std::vector<std::string> fifos;
    std::vector<GameAction> actions;
    // Environment variables set for the program on top of the test's own
    // environment (name, value); an empty value removes the variable. The
    // program otherwise gets the environment as it stands, locale included.
    std::vector<std::pair<std::string, std::string>> env;
    // A safety net, sized for the sanitizer build on a busy machine: the
    // program is killed past this many milliseconds.
    int timeout_ms = 120000;
    // Once every action has run, the program has at least this long to end,
    // whatever is left of the deadline: the sanitizer build's shut-down (each
    // exiting thread unmaps its memory) took over a minute on a busy virtual
    // machine. Also a net: a program that hangs at exit still fails.
    int exit_ms = 180000;
};

struct GameRun {
    std::string dir;      // the runtime folder
    int status = -1;      // exit status; 128 + signal when a signal ended it
    bool timed_out = false;
    std::string out, err; // standard output and error
    std::string log;      // e2e.log
    std::string waiting;  // on a timeout: the action waited on and for what

    // A file of the runtime folder ("" when missing).
    std::string file(const std::string &relative) const;
    bool exists(const std::string &relative) const;
    // Everything, for failure messages.
    std::string describe() const;
};

// Starts zylomach in a fresh runtime folder named after `name` (its data
// tree beside it, "<folder>.data", linked as `data`) and waits for it to end
// (or kills it at the deadline).
GameRun run_game(const char *name, const GameSetup &setup);

// Average RGB (0..255) of a rectangle of a screenshot taken as ".ppm" (8 or
// 16 bits a sample) in the runtime folder
// (x, y, w, h in pixels). Returns false when the picture can't be read.
bool region_colour(const GameRun &run, const std::string &ppm, int x, int y, int w, int h,
                   double rgb[3]);
// Lua for a start-up script: the first new game (the one behind the main
// menu) connects to the scripted server at 127.0.0.1:port (hook set
// "e2e_connect", its state in a global, as the script runs again later).
std::string connect_on_first_game(int port);
// The default multiplayer rules' NEWGAME line as a game server sends it.
std::string server_newgame_line();
// Lines of the log that start with `tag`, without the tag.
std::vector<std::string> tagged(const std::string &log, const std::string &tag);
// The names of the files of a folder of the runtime folder (hidden ones
// left out).
std::vector<std::string> files_in(const GameRun &run, const std::string &folder);
// Count of lines of `text` that contain `needle`.
int count_lines_with(const std::string &text, const std::string &needle);
// The leftmost and rightmost columns of a rectangle (x, y, w, h) whose
// pixels are darker than threshold (mean of the channels, 0..255); -1 when
// none.
bool dark_extent(const GameRun &run, const std::string &ppm, int x, int y, int w, int h,
                 int threshold, int *left, int *right);

// Pixels of a rectangle of a ".ppm" screenshot within `tolerance` (each
// channel, 0..255) of the colour rgb; -1 when the picture can't be read.
int count_colour_pixels(const GameRun &run, const std::string &ppm, int x, int y, int w, int h,
                        const int rgb[3], int tolerance);

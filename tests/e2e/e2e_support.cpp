#include "e2e/e2e_support.h"

#include <cerrno>
#include <dirent.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <sstream>

#include "core/rules.h"
#include "support/test_support.h"

namespace {

// The prelude keeps its state in globals: loading a script runs
// startup.lua (and so the prelude) again and drops every hook, and the
// counts must go on across that.
const char prelude[] =
    "\n-- test prelude\n"
    "e2e_log_file = e2e_log_file or io.open(\"e2e.log\", \"a\")\n"
    "e2e_state = e2e_state or {frames = 0, pending = {}, asked = \"\"}\n"
    "function e2e_log(text)\n"
    "  e2e_log_file:write(tostring(text), \"\\n\")\n"
    "  e2e_log_file:flush()\n"
    "end\n"
    "function e2e_mark(name)\n"
    "  local f = io.open(name, \"w\")\n"
    "  if f then f:close() end\n"
    "end\n"
    "function e2e_drawn_frames() return e2e_state.frames end\n"
    "function e2e_mark_after(name, frames)\n"
    "  table.insert(e2e_state.pending, {e2e_state.frames + (tonumber(frames) or 3), name})\n"
    "end\n"
    "function e2e_quit() run_cmd(\"quit\") end\n"
    // Counts drawn frames, writes \"ready\" after the fifth, answers the
    // test's requests (\"e2e_sync\": a marker name and a frame count) and
    // writes the markers that are due.
    "add_hook(\"draw2d\", \"e2e_prelude\", function()\n"
    "  local s = e2e_state\n"
    "  s.frames = s.frames + 1\n"
    "  if s.frames == 5 then e2e_mark(\"ready\") end\n"
    "  local f = io.open(\"e2e_sync\", \"r\")\n"
    "  if f then\n"
    "    local line = f:read(\"*l\") or \"\"\n"
    "    f:close()\n"
    "    local name, count = string.match(line, \"^(%S+) (%d+)$\")\n"
    "    if name and name ~= s.asked then\n"
    "      s.asked = name\n"
    "      e2e_mark_after(name, count)\n"
    "    end\n"
    "  end\n"
    "  for i = #s.pending, 1, -1 do\n"
    "    local p = s.pending[i]\n"
    "    if s.frames >= p[1] then\n"
    "      table.remove(s.pending, i)\n"
    "      e2e_mark(p[2])\n"
    "    end\n"
    "  end\n"
    "end)\n"
    "-- the test's own script\n";

// X, Mesa and SDL keep a few allocations to the end of the process.
const char lsan_suppressions[] = "leak:libX11.so\n"
                                 "leak:libGLX_mesa.so\n"
                                 "leak:libGLX.so\n"
                                 "leak:swrast_dri.so\n"
                                 "leak:libgallium\n"
                                 "leak:libLLVM\n"
                                 "leak:libdrm\n"
                                 "leak:libxcb\n"
                                 "leak:libfontconfig\n"
                                 "leak:libfreetype\n"
                                 "leak:libasound\n"
                                 "leak:libSDL-1.2\n"
                                 "leak:SDL_SetVideoMode\n"
                                 "leak:SDL_VideoInit\n"
                                 "leak:SDL_GL_SwapBuffers\n"
                                 "leak:glewInit\n"
                                 "leak:<unknown module>\n";

long long now_ms()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

bool make_dirs(const std::string &path)
{
    for (size_t i = 1; i <= path.size(); i++) {
        if (i == path.size() || path[i] == '/') {
            std::string part = path.substr(0, i);
            if (mkdir(part.c_str(), 0775) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}

// Runs a program (no shell) and waits for it; its exit status or -1.
int run_and_wait(const std::vector<std::string> &argv, const std::string &display,
                 const std::string &dir)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (!display.empty())
            setenv("DISPLAY", display.c_str(), 1);
        if (!dir.empty() && chdir(dir.c_str()) != 0)
            _exit(127);
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (pid < 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

std::vector<std::string> split_words(const std::string &text)
{
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

// A virtual X server of its own; the display name ("" on failure).
std::string start_xvfb(pid_t *xpid)
{
    int fds[2];
    if (pipe(fds) != 0)
        return "";
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (fds[1] != 3) {
            dup2(fds[1], 3);
            close(fds[1]);
        }
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp",
               "-noreset", (char *)nullptr);
        _exit(127);
    }
    close(fds[1]);
    *xpid = pid;
    std::string number;
    char c;
    long long deadline = now_ms() + 20000;
    while (now_ms() < deadline && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty())
        return "";
    std::string display = ":" + number;
    for (int i = 0; i < 600; i++) {
        if (run_and_wait({"xdpyinfo"}, display, "") == 0)
            break;
        usleep(50000);
    }
    return display;
}

void do_action(const GameAction &a, const std::string &display, const std::string &dir, pid_t game)
{
    std::vector<std::string> words = split_words(a.command);
    if (words.empty())
        return;
    if (words[0] == "screenshot" && words.size() > 1)
        run_and_wait({"import", "-window", "root", words[1]}, display, dir);
    else if (words[0] == "term")
        kill(game, SIGTERM);
    else
        run_and_wait(words, display, dir);
}

bool file_exists(const std::string &dir, const std::string &name)
{
    return access((dir + "/" + name).c_str(), F_OK) == 0;
}

// Asks the game for the marker `name` once it has drawn `frames` more
// frames; the request file is replaced whole, never seen half written.
void ask_for_frames(const std::string &dir, const std::string &name, int frames)
{
    std::string temp = dir + "/e2e_sync.tmp";
    write_whole_file(temp, name + " " + std::to_string(frames) + "\n");
    rename(temp.c_str(), (dir + "/e2e_sync").c_str());
}

// A picture of the whole screen, as bytes ("" when it could not be taken).
std::string grab_screen(const std::string &display, const std::string &dir)
{
    std::string path = dir + "/e2e_screen.ppm";
    remove(path.c_str());
    run_and_wait({"import", "-window", "root", "-depth", "8", path}, display, dir);
    return read_whole_file(path);
}

// A P6 screenshot of 8 or 16 bits a sample (import writes 16-bit files on
// some systems), read as 0..255 values.
struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;

    bool read(const GameRun &run, const std::string &ppm) { return parse(run.file(ppm)); }
    bool parse(const std::string &bytes)
    {
        int maxval = 0, used = 0;
        if (sscanf(bytes.c_str(), "P6 %d %d %d%n", &width, &height, &maxval, &used) != 3 ||
            (maxval != 255 && maxval != 65535) || width <= 0 || height <= 0)
            return false;
        size_t sample = maxval == 255 ? 1 : 2;
        size_t base = (size_t)used + 1;
        size_t count = (size_t)width * height * 3;
        if (bytes.size() < base + count * sample)
            return false;
        rgb.resize(count);
        // 16-bit samples are big-endian: the high byte is the 8-bit value.
        for (size_t i = 0; i < count; i++)
            rgb[i] = (unsigned char)bytes[base + i * sample];
        return true;
    }
    bool holds(int x, int y, int w, int h) const
    {
        return x >= 0 && y >= 0 && w > 0 && h > 0 && x + w <= width && y + h <= height;
    }
    int at(int col, int row, int c) const { return rgb[((size_t)row * width + col) * 3 + c]; }
    // Pixels of a rectangle within `tolerance` (each channel) of rgb; -1
    // when the rectangle lies outside the picture.
    int count_near(int x, int y, int w, int h, const int colour[3], int tolerance) const
    {
        if (!holds(x, y, w, h))
            return -1;
        int count = 0;
        for (int row = y; row < y + h; row++)
            for (int col = x; col < x + w; col++) {
                int near = 1;
                for (int c = 0; c < 3; c++) {
                    int d = at(col, row, c) - colour[c];
                    if (d < -tolerance || d > tolerance)
                        near = 0;
                }
                count += near;
            }
        return count;
    }
};


// Whether a rectangle of two pictures differs: more than a few pixels of it
// changed clearly (a page's title replaced, a row's text edited). A picture
// that can't be read, or a rectangle outside it, counts as unchanged.
bool region_differs(const std::string &before, const std::string &after, const int r[4])
{
    Picture a, b;
    if (!a.parse(before) || !b.parse(after) || a.width != b.width || a.height != b.height ||
        !a.holds(r[0], r[1], r[2], r[3]))
        return false;
    int changed = 0;
    for (int row = r[1]; row < r[1] + r[3]; row++)
        for (int col = r[0]; col < r[0] + r[2]; col++)
            for (int c = 0; c < 3; c++)
                if (std::abs(a.at(col, row, c) - b.at(col, row, c)) > 40) {
                    changed++;
                    break;
                }
    return changed > 20;
}

// Whether a rectangle of a picture holds more than a few pixels of a colour.
bool region_holds(const std::string &screen, const int r[4], const int rgb[3], int tolerance)
{
    Picture p;
    return p.parse(screen) && p.count_near(r[0], r[1], r[2], r[3], rgb, tolerance) > 20;
}

// Whether the screen shows what an action waits for (its `changed` rectangle).
bool screen_shows(const GameAction &a, const std::string &before, const std::string &now)
{
    if (a.changed_to[0] >= 0)
        return region_holds(now, a.changed, a.changed_to, a.changed_tolerance);
    return region_differs(before, now, a.changed);
}

// A page that hides the game is drawn without the scene and without any
// script hook, so a frame wait goes unanswered there. Past this long
// unanswered, the wait is for two pictures of the screen taken one after
// the other, which show the page drawn (such a page is drawn many times a
// second, so the input before has long been handled).
const long long PAGE_FRAMES_MS = 2000;

// Where one action stands.
enum ActionStep { WAIT_MARKER, WAIT_FRAMES, WAIT_DELAY, WAIT_UNTIL };

const char *step_text(ActionStep step)
{
    switch (step) {
    case WAIT_MARKER:
        return "its marker";
    case WAIT_FRAMES:
        return "drawn frames (or a still page)";
    case WAIT_DELAY:
        return "its delay";
    case WAIT_UNTIL:
        return "its result";
    }
    return "";
}

} // namespace

const char *const E2E_READY = "ready";

GameAction repeat_until(const std::string &wait_file, const std::string &command,
                        const std::string &until_file, int repeat_ms)
{
    GameAction a;
    a.wait_file = wait_file;
    a.command = command;
    a.until_file = until_file;
    a.repeat_ms = repeat_ms;
    return a;
}

GameAction until_changed(const std::string &wait_file, const std::string &command, int x, int y,
                         int w, int h, int repeat_ms)
{
    GameAction a;
    a.wait_file = wait_file;
    a.command = command;
    a.changed[0] = x;
    a.changed[1] = y;
    a.changed[2] = w;
    a.changed[3] = h;
    a.repeat_ms = repeat_ms;
    return a;
}

GameAction until_colour(const std::string &wait_file, const std::string &command, int x, int y,
                        int w, int h, const int rgb[3], int tolerance, int repeat_ms)
{
    GameAction a = until_changed(wait_file, command, x, y, w, h, repeat_ms);
    for (int c = 0; c < 3; c++)
        a.changed_to[c] = rgb[c];
    a.changed_tolerance = tolerance;
    return a;
}

GameRun run_game(const char *name, const GameSetup &setup)
{
    GameRun run;
    run.dir = test_tmp_path((std::string("e2e_") + name).c_str());
    // The layout a player's runtime folder has: `data` is a link to a data
    // tree that lies outside it, beside it the folders the game writes into.
    // The tree is a copy of this run's own (a few MB), so the test's
    // startup.lua and files go into it and not into the source tree.
    std::string data = run.dir + ".data";
    run_and_wait({"rm", "-rf", run.dir, data}, "", "");
    make_dirs(run.dir);
    run_and_wait({"cp", "-rL", std::string(source_dir()) + "/data", data}, "", "");
    if (symlink(data.c_str(), (run.dir + "/data").c_str()) != 0) {
        run.err = "e2e: the data link was not made";
        return run;
    }
    for (const char *sub : {"replay", "autosave", "screenshots", "raytrace", "custom"})
        make_dirs(run.dir + "/" + sub);
    std::string startup = read_whole_file(std::string(source_dir()) + "/data/script/startup.lua");
    write_whole_file(data + "/script/startup.lua", startup + prelude + setup.startup_lua + "\n");
    for (const auto &f : setup.files) {
        std::string path = run.dir + "/" + f.first;
        size_t slash = path.rfind('/');
        make_dirs(path.substr(0, slash));
        write_whole_file(path, f.second);
    }
    for (const std::string &f : setup.fifos) {
        std::string path = run.dir + "/" + f;
        make_dirs(path.substr(0, path.rfind('/')));
        mkfifo(path.c_str(), 0644);
    }
    std::string supp = run.dir + "/lsan.supp";
    write_whole_file(supp, lsan_suppressions);

    pid_t xpid = -1;
    std::string display = start_xvfb(&xpid);
    if (display.empty()) {
        run.err = "e2e: the virtual X server did not start";
        if (xpid > 0) {
            kill(xpid, SIGKILL);
            waitpid(xpid, nullptr, 0);
        }
        return run;
    }

    std::string out = run.dir + "/stdout.txt", err = run.dir + "/stderr.txt";
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        // The software renderer starts a thread a core by default; several
        // games run side by side in the suite, each with a few.
        setenv("LP_NUM_THREADS", "2", 0);
        setenv("LSAN_OPTIONS", ("suppressions=" + supp + ":print_suppressions=0").c_str(), 1);
        // The shut-down unloads the GL driver, whose leftovers then have no
        // name to suppress: leaks are checked by the in-process tests.
        const char *asan_env = getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(asan_env ? asan_env : "") + ":detect_leaks=0").c_str(), 1);
        for (const auto &v : setup.env) {
            if (v.second.empty())
                unsetenv(v.first.c_str());
            else
                setenv(v.first.c_str(), v.second.c_str(), 1);
        }
        if (chdir(run.dir.c_str()) != 0)
            _exit(127);
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(o, 1);
        dup2(e, 2);
        std::vector<char *> args;
        args.push_back(const_cast<char *>("zylomach"));
        for (const std::string &a : setup.args)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(ZM_PROGRAM, args.data());
        _exit(127);
    }
    long long start = now_ms();
    long long actions_done_at = start;   // when the last action had run
    size_t next_action = 0;
    ActionStep step = WAIT_MARKER;
    long long step_at = 0;      // when the delay ends, or the command last ran
    std::string frames_marker;  // the marker of the frames asked for
    long long frames_asked_at = 0;
    std::string last_screen;    // the last picture of a page's screen wait
    std::string before_screen;  // the screen before a command whose effect is a change
    int status = 0;
    bool done = false;
    while (!done) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            done = true;
            break;
        }
        long long now = now_ms();
        if (now - start > setup.timeout_ms &&
            (next_action < setup.actions.size() || now - actions_done_at > setup.exit_ms))
            break;
        if (next_action >= setup.actions.size()) {
            usleep(10000);
            continue;
        }
        const GameAction &a = setup.actions[next_action];
        if (step == WAIT_MARKER) {
            // The first action also waits for the window to be up.
            if ((next_action == 0 && !file_exists(run.dir, E2E_READY)) ||
                (!a.wait_file.empty() && !file_exists(run.dir, a.wait_file))) {
                usleep(10000);
                continue;
            }
            step = WAIT_FRAMES;
            if (a.frames > 0) {
                frames_marker = "e2e_drawn_" + std::to_string(next_action);
                ask_for_frames(run.dir, frames_marker, a.frames);
                frames_asked_at = now;
                last_screen.clear();
            }
        }
        if (step == WAIT_FRAMES) {
            if (a.frames > 0 && !file_exists(run.dir, frames_marker)) {
                if (now - frames_asked_at > PAGE_FRAMES_MS) {
                    // Two pictures: the same, the page is drawn and still;
                    // different, it is being drawn (an animated page).
                    std::string screen = grab_screen(display, run.dir);
                    bool first = last_screen.empty();
                    last_screen = screen;
                    if (first || screen.empty())
                        continue;
                } else {
                    usleep(10000);
                    continue;
                }
            }
            step = WAIT_DELAY;
            step_at = now + a.delay_ms;
        }
        if (step == WAIT_DELAY) {
            if (now < step_at) {
                usleep(10000);
                continue;
            }
            if (a.changed[2] > 0 && a.changed_to[0] < 0)
                before_screen = grab_screen(display, run.dir);
            do_action(a, display, run.dir, pid);
            step = WAIT_UNTIL;
            step_at = now_ms();
        }
        if (step == WAIT_UNTIL) {
            bool waiting = !a.until_file.empty() && !file_exists(run.dir, a.until_file);
            if (!waiting && a.changed[2] > 0)
                waiting = !screen_shows(a, before_screen, grab_screen(display, run.dir));
            if (waiting) {
                if (a.repeat_ms > 0 && now_ms() >= step_at + a.repeat_ms) {
                    do_action(a, display, run.dir, pid);
                    step_at = now_ms();
                }
                usleep(10000);
                continue;
            }
            next_action++;
            step = WAIT_MARKER;
            actions_done_at = now_ms();
        }
    }
    if (!done && next_action < setup.actions.size()) {
        const GameAction &a = setup.actions[next_action];
        std::string marker = step == WAIT_FRAMES ? frames_marker
                             : step == WAIT_UNTIL && a.until_file.empty() && a.changed[2] > 0
                                 ? std::string(a.changed_to[0] >= 0 ? "a colour" : "a change") + " of the screen at " + std::to_string(a.changed[0]) +
                                       "," + std::to_string(a.changed[1])
                             : step == WAIT_UNTIL ? a.until_file
                             : next_action == 0 && !file_exists(run.dir, E2E_READY) ? E2E_READY
                                                                                  : a.wait_file;
        run.waiting = "action " + std::to_string(next_action) + " (\"" + a.command +
                      "\") waited on " + step_text(step) +
                      (marker.empty() ? "" : " \"" + marker + "\"");
    } else if (!done) {
        run.waiting = "every action had run; the program did not end";
    }
    if (!done) {
        run.timed_out = true;
        // A program that took every action and did not end: where each of
        // its threads stands goes into the report, when gdb is there.
        if (next_action >= setup.actions.size() && access("/usr/bin/gdb", X_OK) == 0) {
            // Made before the fork: the test's server threads may hold the
            // allocator's lock in the child.
            std::string stacks = run.dir + "/stacks.txt";
            std::string target = std::to_string((long)pid);
            pid_t g = fork();
            if (g == 0) {
                int o = open(stacks.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (o >= 0) {
                    dup2(o, 1);
                    dup2(o, 2);
                }
                execl("/usr/bin/gdb", "gdb", "-p", target.c_str(), "-batch", "-ex",
                      "thread apply all bt 30", (char *)nullptr);
                _exit(127);
            }
            // Bounded: gdb itself is given 60 s.
            for (int k = 0; g > 0 && k < 600; k++) {
                if (waitpid(g, nullptr, WNOHANG) == g) {
                    g = 0;
                    break;
                }
                usleep(100000);
            }
            if (g > 0) {
                kill(g, SIGKILL);
                waitpid(g, nullptr, 0);
            }
        }
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    if (WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.status = 128 + WTERMSIG(status);
    kill(xpid, SIGKILL);
    waitpid(xpid, nullptr, 0);
    run.out = read_whole_file(out);
    run.err = read_whole_file(err);
    run.log = read_whole_file(run.dir + "/e2e.log");
    return run;
}

std::string GameRun::file(const std::string &relative) const
{
    return read_whole_file(dir + "/" + relative);
}

bool GameRun::exists(const std::string &relative) const
{
    return access((dir + "/" + relative).c_str(), F_OK) == 0;
}

std::string GameRun::describe() const
{
    return "runtime folder: " + dir + "\nstatus: " + std::to_string(status) +
           (timed_out ? " (timed out: " + waiting + ")" : "") + "\n--- e2e.log\n" + log + "--- stderr\n" + err +
           "--- stdout\n" + out + (file_exists(dir, "stacks.txt") ? "--- stacks\n" + file("stacks.txt") : "");
}


bool region_colour(const GameRun &run, const std::string &ppm, int x, int y, int w, int h,
                   double rgb[3])
{
    Picture p;
    if (!p.read(run, ppm) || !p.holds(x, y, w, h))
        return false;
    double sum[3] = {0, 0, 0};
    for (int row = y; row < y + h; row++)
        for (int col = x; col < x + w; col++)
            for (int c = 0; c < 3; c++)
                sum[c] += p.at(col, row, c);
    for (int c = 0; c < 3; c++)
        rgb[c] = sum[c] / ((double)w * h);
    return true;
}

bool dark_extent(const GameRun &run, const std::string &ppm, int x, int y, int w, int h,
                 int threshold, int *left, int *right)
{
    Picture p;
    if (!p.read(run, ppm) || !p.holds(x, y, w, h))
        return false;
    *left = -1;
    *right = -1;
    for (int row = y; row < y + h; row++)
        for (int col = x; col < x + w; col++) {
            if ((p.at(col, row, 0) + p.at(col, row, 1) + p.at(col, row, 2)) / 3 >= threshold)
                continue;
            if (*left < 0 || col < *left)
                *left = col;
            if (col > *right)
                *right = col;
        }
    return true;
}

std::vector<std::string> tagged(const std::string &log, const std::string &tag)
{
    std::vector<std::string> out;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, tag.size(), tag) == 0)
            out.push_back(line.substr(tag.size()));
    return out;
}

std::string connect_on_first_game(int port)
{
    return "add_hook(\"new_game\", \"e2e_connect\", function()\n"
           "  if not e2e_connect_sent then\n"
           "    e2e_connect_sent = true\n"
           "    run_cmd(\"connect 127.0.0.1:" +
           std::to_string(port) +
           "\")\n"
           "  end\n"
           "end)\n";
}

std::string server_newgame_line()
{
    // The defaults leave some fields as they were: those start at zero.
    GameRules rules;
    memset(&rules, 0, sizeof rules);
    fill_default_rules(1, &rules);
    return write_newgame_line(0, &rules);
}

int count_lines_with(const std::string &text, const std::string &needle)
{
    int count = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (text.compare(start, end - start, needle) == 0 ||
            text.substr(start, end - start).find(needle) != std::string::npos)
            count++;
        start = end + 1;
    }
    return count;
}

int count_colour_pixels(const GameRun &run, const std::string &ppm, int x, int y, int w, int h,
                        const int rgb[3], int tolerance)
{
    Picture p;
    return p.read(run, ppm) ? p.count_near(x, y, w, h, rgb, tolerance) : -1;
}

std::vector<std::string> files_in(const GameRun &run, const std::string &folder)
{
    std::vector<std::string> names;
    DIR *d = opendir((run.dir + "/" + folder).c_str());
    if (!d)
        return names;
    while (dirent *e = readdir(d))
        if (e->d_name[0] != '.')
            names.push_back(e->d_name);
    closedir(d);
    return names;
}

#include "shell/console_commands.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/mod.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/text.h"
#include "net/browser.h"
#include "net/client.h"
#include "net/connection.h"
#include "net/md5.h"
#include "core/replay_buffer.h"
#include "platform/camera.h"
#include "platform/loop.h"
#include "script/engine.h"
#include "script/hooks.h"
#include "shell/app.h"
#include "shell/buddies.h"
#include "shell/console.h"
#include "shell/customs.h"
#include "shell/game_control.h"
#include "core/safe_file.h"
#include "shell/online_glue.h"
#include "shell/options.h"
#include "shell/povray.h"
#include "shell/shader_links.h"
#include "render/world_shader.h"

FILE *console_output_file = nullptr;
ConsoleCommandOutward console_command_outward = {};
char console_base_dir[256] = "";


// ---- helpers -------------------------------------------------------------------

static void say(const char *text) { echo_message(text, MSG_INGAME); }

// One output line: into the redirect file while there is one, else echoed.
static void out_line(const char *text)
{
    if (console_output_file)
        fprintf(console_output_file, "%s\n", text);
    else
        say(text);
}

static int number_of(const char *arg) { return arg ? (int)strtol(arg, nullptr, 10) : 0; }

static void chat_lines(int lines)
{
    if (game_links.set_chat_lines)
        game_links.set_chat_lines(lines);
}

// A game path (relative, checked by the caller) joined to the base folder.
static void game_path(const char *relative, char *out, int size)
{
    if (console_base_dir[0])
        snprintf(out, size, "%s/%s", console_base_dir, relative);
    else
        snprintf(out, size, "%s", relative);
}

int console_path_ok(const char *path)
{
    if (!path || !path[0] || path[0] == '/' || path[0] == '~')
        return 0;
    if (strchr(path, '\\') || strchr(path, ':'))
        return 0;
    const char *p = path;
    while (*p) {
        const char *end = strchr(p, '/');
        int len = end ? (int)(end - p) : (int)strlen(p);
        if (len == 2 && p[0] == '.' && p[1] == '.')
            return 0;
        if (!end)
            break;
        p = end + 1;
    }
    return 1;
}

// Sends a line on the game connection; 0 sent.
static int send_line(const char *text)
{
    if (!client_is_connected()) {
        say("not connected to a server");
        return 1;
    }
    // A failed send is handled as every other one of the client.
    return send_server_line_checked(text);
}

static void toggle_option(int row, const char *arg, const char *on_text, const char *off_text)
{
    if (switch_render_option(row, number_of(arg)) != 0)
        set_option(row, number_of(arg));
    say(get_option(row) ? on_text : off_text);
}

// Sets the option from a number, or reports "<name> is on/off" without one.
static void option_or_report(int row, const char *arg, const char *name)
{
    if (arg) {
        set_option(row, number_of(arg));
        return;
    }
    char line[64];
    snprintf(line, sizeof line, "%s is %s", name, get_option(row) ? "on" : "off");
    say(line);
}

// ---- handlers ------------------------------------------------------------------

static void cmd_clear(const ConsoleCommand *, const char *) { clear_console(); }

static void cmd_jointsound(const ConsoleCommand *, const char *arg)
{
    toggle_option(OPT_JOINTSOUND, arg, "joint over sound toggled on.", "joint over sound toggled off.");
}

static void cmd_help(const ConsoleCommand *, const char *arg)
{
    char line[256];
    if (!arg) {
        int printed = 0;
        for (int i = 0; console_command_table[i].name; i++) {
            const ConsoleCommand *r = &console_command_table[i];
            if (!strcmp(r->name, "motionblur"))
                continue;
            snprintf(line, sizeof line, "%s[%s] - %s", r->name, r->alias, r->usage);
            say(line);
            printed++;
        }
        chat_lines(printed);
        return;
    }
    if (strcmp(arg, "set"))
        return;
    for (int i = 0; game_rule_options[i].id != -1; i++) {
        snprintf(line, sizeof line, "%s[%s]", game_rule_options[i].name,
                 game_rule_options[i].short_name);
        say(line);
    }
}

static void cmd_loadmod(const ConsoleCommand *, const char *arg)
{
    if (!console_path_ok(arg)) {
        say("invalid mod name");
        return;
    }
    GameRules *rules = get_setup_rules();
    n_strncpyz(rules->mod, arg, sizeof rules->mod);
    begin_new_game();
}

static void cmd_zoomplayer(const ConsoleCommand *, const char *arg)
{
    int p = number_of(arg);
    if (p >= 0 && p < match_state.num_players) {
        selected_player = p;
        set_selection(p, 0);
    }
}

static void cmd_quit(const ConsoleCommand *, const char *) { request_quit(); }

static void cmd_povshot(const ConsoleCommand *, const char *arg)
{
    char relative[CONSOLE_ARG_BYTES + 16];
    char full[CONSOLE_ARG_BYTES + 288];
    char line[CONSOLE_ARG_BYTES + 64];
    snprintf(relative, sizeof relative, "raytrace/%s", arg);
    game_path(relative, full, sizeof full);
    if (console_path_ok(arg) && pov_write_scene(full) == 0)
        snprintf(line, sizeof line, "saved file to %s", relative);
    else
        snprintf(line, sizeof line, "unable to create file %s", relative);
    say(line);
}

static void cmd_chatlines(const ConsoleCommand *, const char *arg) { chat_lines(number_of(arg)); }

static void cmd_smoothcamera(const ConsoleCommand *, const char *arg)
{
    option_or_report(OPT_SMOOTHCAM, arg, "smoothcam");
}
static void cmd_altimeter(const ConsoleCommand *, const char *arg)
{
    option_or_report(OPT_ALTIMETER, arg, "altimeter");
}
static void cmd_speedometer(const ConsoleCommand *, const char *arg)
{
    option_or_report(OPT_SPEEDOMETER, arg, "speedometer");
}
static void cmd_benchmark(const ConsoleCommand *, const char *arg)
{
    option_or_report(OPT_BENCHMARK, arg, "benchmark");
}

static void cmd_echo(const ConsoleCommand *, const char *arg)
{
    if (!console_output_file)
        say(arg);
}

static void cmd_emote(const ConsoleCommand *, const char *arg)
{
    char line[CONSOLE_ARG_BYTES + 16];
    snprintf(line, sizeof line, "emote %s\n", arg);
    send_line(line);
}

static void cmd_pass(const ConsoleCommand *, const char *arg)
{
    char line[CONSOLE_ARG_BYTES + 16];
    snprintf(line, sizeof line, "pass %s\n", arg);
    send_line(line);
}

static void cmd_centerprint(const ConsoleCommand *, const char *arg)
{
    if (core_outward.show_banner)
        core_outward.show_banner(2, 3, arg, "", "");
}

static void cmd_connect(const ConsoleCommand *, const char *arg)
{
    if (core_outward.connect_to_server)
        core_outward.connect_to_server(arg);
}

// A number rule that refused its value says so, with the values it takes.
static void refused_rule(const char *name, const char *value)
{
    for (int i = 0; game_rule_options[i].id != -1; i++) {
        const GameRuleOption *o = &game_rule_options[i];
        if (strcmp(o->name, name) && strcmp(o->short_name, name))
            continue;
        const RuleRange *r = rule_range(o->id);
        if (!r)
            return;
        char line[CONSOLE_ARG_BYTES + 96];
        snprintf(line, sizeof line, "%s %s is out of range (%ld to %ld)", o->name, value, r->min,
                 r->max);
        say(line);
        return;
    }
}

static void cmd_set(const ConsoleCommand *, const char *arg)
{
    int online = is_online_game();
    GameRules *rules = online ? &current_rules : get_setup_rules();
    char line[CONSOLE_ARG_BYTES * 2 + 16];
    if (!arg) {
        chat_lines(26);
        for (int i = 0; game_rule_options[i].id != -1; i++) {
            const char *text = get_rule_text_by_name(game_rule_options[i].name, online, rules);
            snprintf(line, sizeof line, "set %s %s", game_rule_options[i].name, text ? text : "");
            out_line(line);
        }
        return;
    }
    char name[CONSOLE_ARG_BYTES];
    char value[CONSOLE_ARG_BYTES];
    value[0] = 0;
    int got = sscanf(arg, "%511s %511[^\n]", name, value);
    if (got < 1)
        return;
    if (got == 2) {
        if (online) {
            snprintf(line, sizeof line, "set %s %s\n", name, value);
            send_line(line);
        } else if (set_rule(name, value, rules) != 0) {
            refused_rule(name, value);
        }
    }
    if (!online) {
        const char *text = get_rule_text_by_name(name, 0, rules);
        if (text)
            say(text);
    }
}

static void cmd_exec(const ConsoleCommand *, const char *arg) { run_console_script(arg); }

static void cmd_exportworld(const ConsoleCommand *, const char *arg)
{
    char full[CONSOLE_ARG_BYTES + 256];
    game_path(arg, full, sizeof full);
    if (!console_path_ok(arg) || write_mod(&current_world, full) != 0) {
        char line[CONSOLE_ARG_BYTES + 32];
        snprintf(line, sizeof line, "unable to export to %s", arg);
        say(line);
    }
}

static void cmd_option(const ConsoleCommand *, const char *arg)
{
    char key[CONSOLE_ARG_BYTES];
    int value = 0;
    if (sscanf(arg, "%511s %i", key, &value) >= 1)
        set_option_by_name(key, value);
}

// The names "/option" takes, a few console lines of them.
static void say_option_names()
{
    char line[200];
    int length = snprintf(line, sizeof line, "options:");
    for (int row = 0; row < NUM_OPTIONS; row++) {
        const char *name = option_table[row].name;
        if (length + 1 + (int)strlen(name) >= (int)sizeof line) {
            say(line);
            length = snprintf(line, sizeof line, "   ");
        }
        length += snprintf(line + length, sizeof line - (size_t)length, " %s", name);
    }
    say(line);
    say("e.g.: /option hud 0");
}

static void cmd_setframes(const ConsoleCommand *, const char *arg)
{
    if (set_rule("matchframes", arg, &current_rules) != 0)
        refused_rule("matchframes", arg);
}

static void cmd_removehooks(const ConsoleCommand *, const char *arg)
{
    ScriptEngine *engine = get_script_engine();
    if (engine)
        remove_hooks(engine, arg);
}

static void cmd_loadplayer(const ConsoleCommand *, const char *arg)
{
    int p = 0;
    char name[CONSOLE_ARG_BYTES];
    name[0] = 0;
    if (sscanf(arg, "%i %511s", &p, name) < 2 || p < 0 || p >= MAX_PLAYERS ||
        !console_path_ok(name) || strchr(name, '/')) {
        say("loadplayer needs a player number and a name");
        return;
    }
    load_player_custom(p, name);
}

static void cmd_loadscript(const ConsoleCommand *, const char *arg)
{
    ScriptEngine *engine = get_script_engine();
    if (!engine || load_script_file(engine, arg) != 0) {
        char line[CONSOLE_ARG_BYTES + 32];
        snprintf(line, sizeof line, "Error loading script: %s", arg);
        say(line);
    }
}

static void cmd_rumblecam(const ConsoleCommand *, const char *arg)
{
    if (number_of(arg)) {
        set_option(OPT_RUMBLE, 1);
        say("Rumble cam toggled on");
    } else {
        set_option(OPT_RUMBLE, 0);
        set_camera_shake(0);
        say("Rumble cam toggled off");
    }
}

static void cmd_clearblood(const ConsoleCommand *, const char *)
{
    if (get_option(OPT_SHADERS) && game_links.clear_blood_stains)
        game_links.clear_blood_stains();
}

// ---- world shader settings --------------------------------------------------------

static void cmd_worldshader(const ConsoleCommand *, const char *arg)
{
    int id = 0;
    float v[4] = {0, 0, 0, 0};
    int n = arg ? sscanf(arg, "%i %f %f %f %f", &id, &v[0], &v[1], &v[2], &v[3]) : 0;
    char line[128];
    if (n < 1) {
        say("usage: worldshader id x y z w");
        return;
    }
    if (n == 1) {
        float cur[4];
        if (get_shader((unsigned)id, cur) != 0) {
            snprintf(line, sizeof line, "no world shader setting %i", id);
            say(line);
            return;
        }
        snprintf(line, sizeof line, "%.2f %.2f %.2f %.2f", cur[0], cur[1], cur[2], cur[3]);
        out_line(line);
        return;
    }
    if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2])) {
        say("world shader values must be finite numbers");
        return;
    }
    if (set_worldshader_value((unsigned)id, v[0], v[1], v[2]) != 0) {
        snprintf(line, sizeof line, "no world shader setting %i", id);
        say(line);
    }
}

// "data/shader/<name>" inside the base folder; 1 (and a message) for a
// name that is not a plain file name.
static int worldshader_path(const char *arg, char *out, int size)
{
    char relative[256];
    if (worldshader_file_path(arg, relative, sizeof relative) != 0) {
        say("world shader files are plain names inside data/shader/");
        return 1;
    }
    game_path(relative, out, size);
    return 0;
}

static void cmd_loadworldshader(const ConsoleCommand *, const char *arg)
{
    char path[512];
    if (worldshader_path(arg, path, sizeof path) != 0)
        return;
    if (read_worldshader_file(path) != 0) {
        char line[320];
        snprintf(line, sizeof line, "unable to load data/shader/%s", arg);
        say(line);
    }
}

static void cmd_exportworldshader(const ConsoleCommand *, const char *arg)
{
    char path[512];
    if (worldshader_path(arg, path, sizeof path) != 0)
        return;
    if (write_worldshader_file(path) != 0) {
        char line[320];
        snprintf(line, sizeof line, "unable to export to data/shader/%s", arg);
        say(line);
    }
}

static void cmd_timecolor(const ConsoleCommand *, const char *arg)
{
    if (game_type != 1)
        return;
    int c = number_of(arg);
    char line[96];
    if (c < 0 || c > 67) {
        snprintf(line, sizeof line, "Invalid input. Please enter a color between 0 and %i", 68);
        say(line);
        return;
    }
    choose_timer_colour(c);
    snprintf(line, sizeof line, "Time color changed to: %i", c);
    say(line);
}

static void cmd_smartcamera(const ConsoleCommand *, const char *arg)
{
    toggle_option(OPT_SMARTCAM, arg, "smart camera toggled on.", "smart camera toggled off.");
}

static void cmd_frameskip(const ConsoleCommand *, const char *arg)
{
    toggle_option(OPT_FRAMESKIP, arg, "Frame skipping toggled on.", "Frame skipping toggled off.");
}

static void cmd_ordereddrawing(const ConsoleCommand *, const char *arg)
{
    toggle_option(OPT_TRANSPARENCY, arg, "Ordered Drawing toggled on.", "Ordered Drawing toggled off.");
}

static void cmd_spec(const ConsoleCommand *, const char *)
{
    if (is_online_game() && send_line("SPEC\n") == 0)
        say("joining spectators");
}

static void cmd_enter(const ConsoleCommand *, const char *)
{
    if (is_online_game() && send_line("ENTER\n") == 0)
        say("enter bout list");
}

static void save_buddy_list()
{
    char path[512];
    game_path("data/buddies.txt", path, sizeof path);
    save_buddies(path);
}

static void cmd_addbuddy(const ConsoleCommand *, const char *arg)
{
    char line[CONSOLE_ARG_BYTES + 64];
    if (add_buddy(arg, 0, 0) == 2) {
        snprintf(line, sizeof line, "%s is already in your buddies list.", arg);
        say(line);
        return;
    }
    snprintf(line, sizeof line, "%s was added to your buddies list.", arg);
    say(line);
    save_buddy_list();
}

static void cmd_removebuddy(const ConsoleCommand *, const char *arg)
{
    char line[CONSOLE_ARG_BYTES + 64];
    if (remove_buddy(arg, 0) != 0) {
        snprintf(line, sizeof line, "%s is not in your buddies list.", arg);
        say(line);
        return;
    }
    snprintf(line, sizeof line, "%s was removed from your buddies list.", arg);
    say(line);
    save_buddy_list();
}

static void cmd_listbuddy(const ConsoleCommand *, const char *)
{
    if (buddy_count() == 0) {
        say("You didn't add any buddy yet. Use /addbuddy or /ab to add one.");
        say("e.g.: /addbuddy uke");
        return;
    }
    say("Your buddies:");
    int lines = 1;
    for (const char *name = first_buddy(); name; name = next_buddy()) {
        say(name);
        lines++;
    }
    if (lines > message_console.console_rows)
        chat_lines(lines);
}

static void cmd_motionblur(const ConsoleCommand *row, const char *arg)
{
    (void)row;
    set_option(OPT_MOTIONBLUR, number_of(arg));
    if (get_option(OPT_MOTIONBLUR)) {
        say("Super Secret Motion Blur toggled on.");
        if (console_command_outward.reinit_video)
            console_command_outward.reinit_video();
    } else {
        say("Super Secret Motion Blur toggled off.");
    }
}

// ---- the server browser's commands -------------------------------------------------

static void cmd_list(const ConsoleCommand *, const char *)
{
    ServerBrowser *b = get_server_browser();
    if (!b)
        return;
    char line[400];
    for (int i = 0; i < b->count; i++) {
        ServerEntry *e = browser_entry_at(b, i);
        if (!e)
            break;
        const ServerInfo *s = entry_snapshot(e);
        if (s->reachable)
            snprintf(line, sizeof line, "#%i %s %i/%i %s", i + 1, s->address, s->info_count,
                     s->info_a, s->description);
        else
            snprintf(line, sizeof line, "#%i %s %i/%i No Connection..", i + 1, s->address,
                     s->info_count, s->info_a);
        out_line(line);
    }
    chat_lines(b->count);
}

static void lower_ascii(char *text)
{
    for (; *text; text++)
        if (*text >= 'A' && *text <= 'Z')
            *text = (char)(*text - 'A' + 'a');
}

static void cmd_search(const ConsoleCommand *, const char *arg)
{
    ServerBrowser *b = get_server_browser();
    char wanted[256];
    n_strncpyz(wanted, arg ? arg : "", sizeof wanted);
    char line[400];
    snprintf(line, sizeof line, "searching for %s", wanted);
    say(line);
    if (!b)
        return;
    lower_ascii(wanted);
    int every = strcmp(wanted, "*") == 0;
    int matches = 0;
    for (int i = 0; i < b->count; i++) {
        ServerEntry *e = browser_entry_at(b, i);
        if (!e)
            break;
        const ServerInfo *s = entry_snapshot(e);
        for (int k = 0; k < SERVER_NAMES; k++) {
            if (!s->names[k][0])
                continue;
            char name[SERVER_NAME_SIZE];
            n_strncpyz(name, s->names[k], sizeof name);
            lower_ascii(name);
            if (!every && !strstr(name, wanted))
                continue;
            snprintf(line, sizeof line, "#%i %s", i + 1, s->names[k]);
            out_line(line);
            matches++;
        }
    }
    if (matches)
        chat_lines(matches);
}

static void cmd_join(const ConsoleCommand *, const char *arg)
{
    ServerBrowser *b = get_server_browser();
    int n = arg ? (int)strtol(arg, nullptr, 10) : 0;
    ServerEntry *e = b && n >= 1 && n <= b->count ? browser_entry_at(b, n - 1) : nullptr;
    if (!e) {
        say("invalid server");
        return;
    }
    char address[SERVER_TEXT_SIZE];
    n_strncpyz(address, entry_snapshot(e)->address, sizeof address);
    connect_to_server(address);
}

static void cmd_refresh(const ConsoleCommand *, const char *)
{
    say("refreshing server list");
    start_browser_thread();
}

// ---- programs started from the console ---------------------------------------------

// Starts a program detached from the game: a child forks the program's own
// process and leaves at once, so nothing is left to reap later. Nothing
// goes through a shell; the arguments reach the program as they are.
static int spawn_detached(const char *path, char *const argv[], int search_path)
{
    pid_t child = fork();
    if (child < 0)
        return 1;
    if (child == 0) {
        pid_t program = fork();
        if (program == 0) {
            int null_fd = open("/dev/null", O_RDWR);
            if (null_fd >= 0) {
                dup2(null_fd, 0);
                dup2(null_fd, 1);
            }
            if (search_path)
                execvp(path, argv);
            else
                execv(path, argv);
            _exit(127);
        }
        _exit(program < 0 ? 1 : 0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

int start_program(const char *path, char *const argv[], int search_path)
{
    if (!path || !argv || !argv[0])
        return 1;
    if (console_command_outward.spawn)
        return console_command_outward.spawn(path, argv, search_path);
    return spawn_detached(path, argv, search_path);
}

// A URL may only hold printable characters without blanks: it goes to the
// browser as one argument.
static int url_ok(const char *url)
{
    if (!url || !url[0] || url[0] == '-')
        return 0;
    for (const unsigned char *p = (const unsigned char *)url; *p; p++)
        if (*p <= ' ' || *p == 0x7f)
            return 0;
    return 1;
}

// The first of the desktop's browser launchers that is on the PATH.
static const char *browser_launcher()
{
    static const char *const launchers[] = {"xdg-open", "x-www-browser", "mozilla"};
    const char *path = getenv("PATH");
    for (const char *launcher : launchers) {
        const char *dir = path ? path : "";
        while (*dir) {
            const char *end = strchr(dir, ':');
            size_t length = end ? (size_t)(end - dir) : strlen(dir);
            char full[1024];
            if (length > 0 && length < sizeof full - 32) {
                snprintf(full, sizeof full, "%.*s/%s", (int)length, dir, launcher);
                if (access(full, X_OK) == 0)
                    return launcher;
            }
            dir += length;
            if (*dir == ':')
                dir++;
        }
    }
    return "mozilla";
}

int launch_browser(const char *url)
{
    if (!url)
        return 3;
    if (!url_ok(url)) {
        fprintf(stderr, "launch_browser: refused url\n");
        return 1;
    }
    if (console_command_outward.fullscreen_state && console_command_outward.fullscreen_state() &&
        console_command_outward.toggle_fullscreen)
        console_command_outward.toggle_fullscreen();
    char program[64];
    n_strncpyz(program, browser_launcher(), sizeof program);
    char link[CONSOLE_ARG_BYTES * 2];
    n_strncpyz(link, url, sizeof link);
    char *argv[] = {program, link, nullptr};
    return start_program(program, argv, 1) == 0 ? 0 : 1;
}

enum { SYSTEM_ARGS = 16 };

// "data/bin/<app> [arguments]": the program must be a plain file name in
// data/bin; the rest of the line is split at blanks into its arguments.
int run_data_program(const char *line, char *path_out, int path_size)
{
    char copy[CONSOLE_ARG_BYTES];
    n_strncpyz(copy, line ? line : "", sizeof copy);
    char *argv[SYSTEM_ARGS + 1];
    int argc = 0;
    for (char *save = nullptr, *word = strtok_r(copy, " \t", &save);
         word && argc < SYSTEM_ARGS; word = strtok_r(nullptr, " \t", &save))
        argv[argc++] = word;
    argv[argc] = nullptr;
    if (argc == 0 || !console_path_ok(argv[0]) || strchr(argv[0], '/') || argv[0][0] == '.')
        return 2;
    char relative[CONSOLE_ARG_BYTES + 16];
    char full[CONSOLE_ARG_BYTES + 288];
    snprintf(relative, sizeof relative, "data/bin/%s", argv[0]);
    game_path(relative, full, sizeof full);
    if (path_out)
        n_strncpyz(path_out, full, path_size);
    struct stat st;
    if (stat(full, &st) != 0 || !S_ISREG(st.st_mode) || access(full, X_OK) != 0)
        return 3;
    return start_program(full, argv, 0) == 0 ? 0 : 1;
}

static void cmd_system(const ConsoleCommand *, const char *arg)
{
    char line[CONSOLE_ARG_BYTES + 64];
    int r = run_data_program(arg, nullptr, 0);
    if (r == 2) {
        snprintf(line, sizeof line, "system: %s is not a program in data/bin", arg);
        say(line);
    } else if (r == 3) {
        snprintf(line, sizeof line, "system: no program data/bin/%s", arg);
        say(line);
    } else if (r != 0) {
        snprintf(line, sizeof line, "system: unable to start %s", arg);
        say(line);
    }
}

enum { RESOLUTION_MIN = 320, RESOLUTION_MAX = 8192 };

static void cmd_resolution(const ConsoleCommand *, const char *arg)
{
    int w = 0, h = 0;
    if (sscanf(arg, "%i %i", &w, &h) < 2 || w <= 0 || h <= 0)
        return;
    if (w < RESOLUTION_MIN || h < RESOLUTION_MIN || w > RESOLUTION_MAX || h > RESOLUTION_MAX) {
        char line[96];
        snprintf(line, sizeof line, "resolution %i %i is out of range (%i to %i)", w, h,
                 (int)RESOLUTION_MIN, (int)RESOLUTION_MAX);
        say(line);
        return;
    }
    if (console_command_outward.set_resolution)
        console_command_outward.set_resolution(w, h);
    layout_screen(0);
    chat_lines(message_console.console_rows);
}

// Positions are kept inside a box far larger than any dojo.
enum { MOVE_LIMIT = 1000 };

static void cmd_moveplayer(const ConsoleCommand *, const char *arg)
{
    int p = 0;
    double xyz[3] = {0, 0, 0};
    sscanf(arg, "%i %lf %lf %lf", &p, &xyz[0], &xyz[1], &xyz[2]);
    for (double v : xyz)
        if (!std::isfinite(v) || v < -MOVE_LIMIT || v > MOVE_LIMIT) {
            say("moveplayer: position out of range");
            return;
        }
    if (set_player_position(p, xyz[0], xyz[1], xyz[2]) != 0) {
        char line[64];
        snprintf(line, sizeof line, "moveplayer: no player %i", p);
        say(line);
    }
}

static void cmd_login(const ConsoleCommand *, const char *arg)
{
    char user[CONSOLE_ARG_BYTES] = "", password[CONSOLE_ARG_BYTES] = "";
    if (!arg || sscanf(arg, "%511s %511s", user, password) < 1)
        return;
    ServerConnection *c = get_game_connection();
    if (!c || !net_is_connected(c))
        return;
    sanitize_name(user);
    char digest[256];
    md5_hex_string(password, digest, sizeof digest);
    char line[CONSOLE_ARG_BYTES + 300];
    snprintf(line, sizeof line, "mlogin %s %s\n", user, digest);
    send_line(line);
}

static void cmd_listequipment(const ConsoleCommand *, const char *)
{
    const EquipmentRecord *e = get_equipment();
    char line[96];
    snprintf(line, sizeof line, "GHOST 0;%i %i %i", e->values[0], e->values[1], e->values[2]);
    out_line(line);
}

// ---- the table -----------------------------------------------------------------

const ConsoleCommand console_command_table[CONSOLE_COMMANDS + 1] = {
    {"clear", "cl", "clear chat log", cmd_clear, 0, 1},
    {"jointsound", "js", "0|1", cmd_jointsound, 2, 0},
    {"help", "he", "print this help", cmd_help, 2, 1},
    {"loadmod", "lm", "classic.zmm", cmd_loadmod, 1, 0},
    {"zoomplayer", "zp", "0|1", cmd_zoomplayer, 1, 1},
    {"resolution", "re", "w h", cmd_resolution, 1, 0},
    {"quit", "qu", "", cmd_quit, 0, 0},
    {"loadplayer", "lp", "player name", cmd_loadplayer, 1, 0},
    {"povshot", "ps", "filename.pov", cmd_povshot, 1, 0},
    {"chatlines", "chl", "num", cmd_chatlines, 1, 1},
    {"smoothcamera", "smc", "0|1", cmd_smoothcamera, 2, 0},
    {"altimeter", "am", "0|1", cmd_altimeter, 2, 0},
    {"speedometer", "sm", "0|1", cmd_speedometer, 2, 0},
    {"echo", "ec", "<type> message", cmd_echo, 1, 1},
    {"emote", "em", "message", cmd_emote, 1, 0},
    {"centerprint", "cp", "message", cmd_centerprint, 1, 1},
    {"connect", "co", "ip:port", cmd_connect, 1, 0},
    {"set", "se", "<name> [value]", cmd_set, 2, 0},
    {"pass", "pa", "<password>", cmd_pass, 1, 0},
    {"exec", "ex", "<file.zms>", cmd_exec, 1, 0},
    {"exportworld", "ew", "<file.zmm>", cmd_exportworld, 1, 0},
    {"system", "sy", "<app>", cmd_system, 1, 0},
    {"option", "op", "<key> <#>", cmd_option, 1, 0},
    {"benchmark", "bm", "0|1", cmd_benchmark, 2, 0},
    {"setframes", "sf", "num", cmd_setframes, 1, 0},
    {"moveplayer", "mp", "p x y z", cmd_moveplayer, 1, 0},
    {"loadscript", "ls", "testlua.lua", cmd_loadscript, 1, 0},
    {"removehooks", "rh", "hook", cmd_removehooks, 1, 0},
    {"smartcamera", "sc", "0|1", cmd_smartcamera, 1, 0},
    {"rumblecam", "rc", "0|1", cmd_rumblecam, 1, 0},
    {"clearblood", "cb", "", cmd_clearblood, 0, 0},
    {"worldshader", "ws", "id x y z w", cmd_worldshader, 1, 0},
    {"loadworldshader", "lws", "shader.inc", cmd_loadworldshader, 1, 0},
    {"exportworldshader", "ews", "shader.inc", cmd_exportworldshader, 1, 0},
    {"frameskip", "fs", "0|1", cmd_frameskip, 2, 0},
    {"login", "lo", "user pwd", cmd_login, 2, 0},
    {"spec", "sp", "", cmd_spec, 0, 0},
    {"enter", "en", "", cmd_enter, 0, 0},
    {"timecolor", "tc", "c", cmd_timecolor, 2, 0},
    {"search", "sa", "playername", cmd_search, 2, 0},
    {"join", "jo", "serverid", cmd_join, 2, 0},
    {"list", "li", "", cmd_list, 0, 0},
    {"refresh", "rf", "", cmd_refresh, 0, 0},
    {"addbuddy", "ab", "playername", cmd_addbuddy, 1, 0},
    {"removebuddy", "rb", "playername", cmd_removebuddy, 1, 0},
    {"listbuddy", "lb", "", cmd_listbuddy, 0, 1},
    {"listequipment", "le", "", cmd_listequipment, 0, 0},
    {"ordereddrawing", "od", "0|1", cmd_ordereddrawing, 2, 0},
    {"motionblur", "grarrr", "0|1", cmd_motionblur, 2, 0},
    {nullptr, nullptr, nullptr, nullptr, 0, 0},
};

int find_console_command(const char *word)
{
    for (int i = 0; console_command_table[i].name; i++)
        if (!strcmp(word, console_command_table[i].name) ||
            !strcmp(word, console_command_table[i].alias))
            return i;
    return -1;
}

// ---- dispatch ------------------------------------------------------------------

static int is_blank16(char16 u) { return u == ' ' || u == '\t' || u == '\r' || u == '\n'; }

int console_dispatch_from(const char16 *line, int from_server)
{
    if (!line)
        return 1;
    char16 copy[CONSOLE_DISPATCH_UNITS];
    int n = 0;
    while (n < CONSOLE_DISPATCH_UNITS - 1 && line[n]) {
        copy[n] = line[n];
        n++;
    }
    copy[n] = 0;
    char16 *text = copy;
    while (*text && is_blank16(*text))
        text++;
    if (!*text || *text == '#')
        return 1;

    char16 *args = text;
    while (*args && *args != ' ')
        args++;
    char word[CONSOLE_DISPATCH_UNITS];
    char16 saved = *args;
    *args = 0;
    utf16_to_local(word, text, sizeof word - 1);
    *args = saved;
    int has_args = *args != 0;

    int row_index = find_console_command(word);
    if (row_index < 0)
        return 1;
    const ConsoleCommand *row = &console_command_table[row_index];

    char msg[CONSOLE_ARG_BYTES + 64];
    if (from_server && !row->server_safe) {
        snprintf(msg, sizeof msg, "the server may not run %s", row->name);
        say(msg);
        return 0;
    }

    char path[CONSOLE_ARG_BYTES];
    path[0] = 0;
    if (has_args) {
        for (char16 *p = args; *p; p++) {
            if (*p == '>' && p[1]) {
                *p = 0;
                char16 *target = p + 1;
                while (*target && is_blank16(*target))
                    target++;
                int len = str16_len(target);
                while (len > 0 && is_blank16(target[len - 1]))
                    target[--len] = 0;
                utf16_to_local(path, target, sizeof path - 1);
                break;
            }
        }
    }
    if (path[0] && from_server) {
        say("the server may not redirect console output");
        return 0;
    }

    char argument[CONSOLE_ARG_BYTES];
    const char *arg = nullptr;
    char16 *a = args;
    while (*a && is_blank16(*a))
        a++;
    if (row->arg_mode == CONSOLE_ARG_REQUIRED) {
        if (!has_args) {
            snprintf(msg, sizeof msg, "%s needs a parameter", word);
            say(msg);
            if (row->handler == cmd_option)
                say_option_names();
            return 0;
        }
        if (!*a) {
            char whole[CONSOLE_DISPATCH_UNITS * 2];
            utf16_to_local(whole, copy, sizeof whole - 1);
            fprintf(stderr, "load is empty for key %s\n", whole);
            return 0;
        }
    }
    if (row->arg_mode != CONSOLE_ARG_NONE && *a) {
        utf16_to_local(argument, a, sizeof argument - 1);
        arg = argument;
    }

    // "> file": the command's lines go to a temporary file beside the
    // target, which replaces it once the command is done. A kill while the
    // command runs leaves the old file whole.
    SafeFile redirect;
    redirect.f = nullptr;
    if (path[0]) {
        char full[CONSOLE_ARG_BYTES + 256];
        if (!console_path_ok(path)) {
            snprintf(msg, sizeof msg, "Unable to open %s", path);
            say(msg);
            return 1;
        }
        game_path(path, full, sizeof full);
        fprintf(stderr, "console_open %s\n", full);
        if (safe_open(&redirect, full) != 0) {
            snprintf(msg, sizeof msg, "Unable to open %s", path);
            say(msg);
            return 1;
        }
        console_output_file = redirect.f;
    }
    row->handler(row, arg);
    if (redirect.f) {
        console_output_file = nullptr;
        // The command has run: a file that could not be put in place is
        // reported, and the line is still a command.
        if (safe_commit(&redirect) != 0) {
            snprintf(msg, sizeof msg, "Unable to write %s", path);
            say(msg);
        }
    }
    return 0;
}

int console_dispatch(const char16 *line) { return console_dispatch_from(line, 0); }

void run_console_command(const char *text, int from_server)
{
    if (!text)
        return;
    char16 line[CONSOLE_DISPATCH_UNITS];
    char local[CONSOLE_DISPATCH_UNITS];
    n_strncpyz(local, text, sizeof local);
    local_to_utf16(line, local, (int)strlen(local));
    console_dispatch_from(line, from_server);
}

// Scripts may call "exec" themselves; the depth stops a script that runs itself.
static int script_depth = 0;

int run_console_script(const char *path)
{
    char msg[CONSOLE_ARG_BYTES + 64];
    if (!console_path_ok(path)) {
        snprintf(msg, sizeof msg, "Unable to open %s", path ? path : "");
        say(msg);
        return 1;
    }
    if (script_depth >= 8) {
        snprintf(msg, sizeof msg, "Unable to open %s", path);
        say(msg);
        return 1;
    }
    char full[CONSOLE_ARG_BYTES + 256];
    game_path(path, full, sizeof full);
    FILE *f = open_read_file(full, 1 << 20);
    if (!f) {
        snprintf(msg, sizeof msg, "Unable to open %s", path);
        say(msg);
        return 1;
    }
    // The script's own lines are not redirected; a redirect of "exec" gets
    // the echoed lines.
    FILE *redirect = console_output_file;
    script_depth++;
    char buffer[2048];
    int line_number = 0;
    int got;
    while ((got = read_whole_line(f, buffer, sizeof buffer)) != 0) {
        line_number++;
        // A line that does not fit is refused whole: neither its start nor
        // its rest runs as a command.
        int too_long = got < 0;
        char *line = trim_blanks(buffer);
        if (too_long || strlen(line) >= CONSOLE_DISPATCH_UNITS) {
            snprintf(msg, sizeof msg, "Line %i of %.200s is too long (over %i characters): skipped",
                     line_number, path, CONSOLE_DISPATCH_UNITS - 1);
            say(msg);
            continue;
        }
        console_output_file = redirect;
        out_line(line);
        console_output_file = nullptr;
        char16 wide[CONSOLE_DISPATCH_UNITS];
        local_to_utf16(wide, line, (int)strlen(line));
        console_dispatch_from(wide, 0);
    }
    script_depth--;
    console_output_file = redirect;
    fclose(f);
    return 0;
}

void submit_chat_line()
{
    TextLines *input = get_chat_input();
    if (!input)
        return;
    char text[1024];
    text_lines_get_row(input, input->current_row, sizeof text - 1, text);
    submit_chat_text(text);
}

void submit_chat_text(const char *chat)
{
    if (!chat || !chat[0])
        return;
    char text[1024];
    n_strncpyz(text, chat, sizeof text);
    collapse_blanks(text);
    if (text[0] == '/' && text[1]) {
        char16 wide[CONSOLE_DISPATCH_UNITS];
        char cut[CONSOLE_DISPATCH_UNITS];
        n_strncpyz(cut, text + 1, sizeof cut);
        local_to_utf16(wide, cut, (int)strlen(cut));
        if (console_dispatch(wide) == 0)
            return;
    }
    if (game_type == 0)
        return;
    if (!strncmp(text, "/spec", 5)) {
        if (send_line("SPEC\n") == 0)
            say("joining spectators");
        return;
    }
    if (!strncmp(text, "/enter", 6)) {
        if (send_line("ENTER\n") == 0)
            say("enter bout list");
        return;
    }
    char line[1100];
    if (text[0] == '/' && strlen(text) >= 2)
        snprintf(line, sizeof line, "%s\n", text + 1);
    else
        snprintf(line, sizeof line, "SAY %s\n", text);
    send_line(line);
}

// ---- wiring and the session start -------------------------------------------------

void bind_console_commands()
{
    if (!console_command_outward.set_resolution)
        console_command_outward.set_resolution = set_resolution;
    if (!console_command_outward.reinit_video)
        console_command_outward.reinit_video = reinit_video;
    if (!console_command_outward.fullscreen_state)
        console_command_outward.fullscreen_state = get_fullscreen;
    if (!console_command_outward.toggle_fullscreen)
        console_command_outward.toggle_fullscreen = toggle_fullscreen;
}

void run_profile_script()
{
    char full[CONSOLE_ARG_BYTES];
    game_path("profile.zms", full, sizeof full);
    if (access(full, R_OK) == 0)
        run_console_script("profile.zms");
}

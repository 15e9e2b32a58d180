#include "shell/online_glue.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

extern "C" {
#include <lua.h>
}

#include "core/bout.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/server_info.h"
#include "core/text.h"
#include "net/browser.h"
#include "net/client.h"
#include "net/login.h"
#include "net/worker.h"
#include "platform/camera.h"
#include "render/hud.h"
#include "script/engine.h"
#include "shell/app.h"
#include "shell/buddies.h"
#include "shell/console.h"
#include "shell/game_control.h"
#include "shell/menus.h"
#include "shell/palette.h"
#include "shell/widgets.h"
#include "shell/ttf_text.h"

#define fill_empty(slot, fn)     \
    do {                         \
        if (!(slot))             \
            (slot) = (fn);       \
    } while (0)


// ---- the game connection's slots ----------------------------------------------------

// The shell's raw send (its callers handle a failure themselves); a
// "READY" that went out sets the result record's ready mark.
static int game_send_line(const char *line)
{
    if (send_server_line(line) < 0)
        return 1;
    if (line && strcmp(line, "READY\n") == 0)
        ready_sent = 1;
    return 0;
}

static void game_close_connection()
{
    if (ServerConnection *c = client_connection())
        net_quit(c);
}

// ---- lines from the game server ------------------------------------------------------

// "ANNOUNCE": the scripts' global announce_callback(number, text), run
// under the scripts' budget like any other call into Lua.
struct Announce {
    int number;
    const char *text;
};

static int announce_body(lua_State *L)
{
    const Announce *a = static_cast<const Announce *>(lua_touserdata(L, 1));
    lua_getfield(L, LUA_GLOBALSINDEX, "announce_callback");
    lua_pushinteger(L, a->number);
    lua_pushstring(L, a->text);
    lua_call(L, 2, 0);
    return 0;
}

static void call_announce_callback(int number, const char *text)
{
    ScriptEngine *engine = get_script_engine();
    if (!script_engine_usable(engine))
        return;
    lua_State *L = engine->state;
    int top = lua_gettop(L);
    Announce a = {number, text ? text : ""};
    int outcome = script_guarded_call(engine, SCRIPT_BUDGET_HOOK, announce_body, &a);
    if (outcome == SCRIPT_CALL_STOPPED)
        fprintf(stderr, "error running function `announce_callback': stopped: %s\n",
                script_stop_reason());
    else if (outcome != SCRIPT_CALL_OK)
        fprintf(stderr, "error running function `announce_callback': %s\n", script_error_text(L));
    lua_settop(L, top);
}

// "SPECS": the spectator names (an empty list clears it).
static void store_spectator_names(const char (*names)[32], int count)
{
    SpectatorNames *list = get_spectator_names();
    if (!list)
        return;
    memset(*list, 0, sizeof *list);
    if (count > SPECTATOR_NAMES)
        count = SPECTATOR_NAMES;
    for (int i = 0; i < count && names; i++)
        n_strncpyz((*list)[i], names[i], SPECTATOR_NAME_BYTES);
}

// A server just connected: nothing of the last one's spectators or bout
// names stays on screen, even when this one sends none; then the online game.
static void start_game_on_new_server()
{
    store_spectator_names(nullptr, 0);
    clear_spectator_names();
    new_mp_game_setup();
}

// ---- replays --------------------------------------------------------------------------

static int replay_index = 0;

static void step_replay(int by)
{
    int last = replay_files.last;
    if (last >= 0) {
        replay_index += by;
        if (replay_index > last)
            replay_index = 0;
        if (replay_index < 0)
            replay_index = last;
        char path[FILE_NAME_BYTES + 8];
        snprintf(path, sizeof path, "replay/%s", replay_files.names[replay_index]);
        if (read_replay_file(path) == 0)
            begin_replay(0);
    }
    reset_camera_view(&match_state, 0);
}

void play_next_replay() { step_replay(1); }
void play_previous_replay() { step_replay(-1); }

// ---- the browser thread ---------------------------------------------------------------

int start_browser_thread()
{
    WorkerThread *w = get_browser_thread();
    ServerBrowser *b = get_server_browser();
    if (!w || !b)
        return 0;
    if (!w->step)
        worker_init(w, browser_thread_start, browser_thread_step, browser_thread_condition, b, 1);
    if (worker_is_running(w)) {
        // Asked for during a pass: the thread makes one more when this one
        // ends, so a refresh asked for just as a pass ends is not lost.
        worker_create(w);
        return 1;
    }
    // A list that was missing or empty is read again: a servers.txt put in
    // place meanwhile counts from this refresh on.
    if (b->count == 0 && b->path[0])
        servers_txt_read(b, b->path);
    // Shown as refreshing from now on; the pass itself sets it again.
    b->refreshing.store(1);
    int r = worker_create(w);
    if (r != 0)
        b->refreshing.store(0);
    return r;
}

// ---- the server-list page -------------------------------------------------------------

enum { LIST_TOP = 58, LIST_ROW = 17, RULES_NO_GRIP = 4 };

static int list_rows()
{
    int rows = (view_height - 200) / LIST_ROW;
    return rows < 1 ? 1 : rows;
}

static int list_column_base()
{
    return screen_layout.hud_columns[0] > 0 ? screen_layout.hud_columns[0] : 20;
}

// The rows answer the mouse where draw_server_list draws them: from
// LIST_TOP, LIST_ROW apart, across the columns.
static void place_server_rows(ScrollList *list)
{
    int c = list_column_base();
    list->first_y = LIST_TOP;
    list->row_height = LIST_ROW;
    list->x = c - 14;
    list->right = c + 720;
    list->hit_test_off = 0;
}

void enter_server_list()
{
    ServerBrowser *b = get_server_browser();
    ScrollList *list = get_menu_list();
    if (list && b) {
        list->count = b->count;
        list->visible_rows = list_rows();
        if (list->hover >= b->count || list->hover < 0)
            list->hover = 0;
        if (list->first > list->hover)
            list->first = 0;
        place_server_rows(list);
    }
    ensure_local_user_name();
    if (b && b->count > 0 && b->passes.load() == 0)
        start_browser_thread();
}

void leave_server_list(int row)
{
    ServerBrowser *b = get_server_browser();
    ServerEntry *e = b ? browser_entry_at(b, row) : nullptr;
    if (!e)
        return;
    char address[SERVER_TEXT_SIZE];
    n_strncpyz(address, entry_snapshot(e)->address, sizeof address);
    if (!address[0])
        return;
    // A fresh start with the chosen server.
    net_disconnect();
    store_spectator_names(nullptr, 0);
    clear_console();
    // The page goes: the game (and the console with the connect's outcome)
    // shows from here on.
    close_menu();
    connect_to_server(address);
}

// The text cut to the width in pixels, with ".." when it did not fit.
static void fit_text(int font, const char *text, int width, char *out, int size)
{
    n_strncpyz(out, text, size);
    if (text_width(font, out) <= width)
        return;
    int keep = text_fit_length(font, out, width - text_width(font, ".."));
    if (keep < 0)
        keep = 0;
    if (keep > size - 3)
        keep = size - 3;
    out[keep] = '\0';
    strcat(out, "..");
}

static void draw_details(const ServerInfo *s, int y)
{
    char line[512];
    const GameRules *r = &s->rules;
    set_colour(text_colours.text, 1.0f);
    draw_text(2, 30, (float)y, "DETAILS");
    y += 22;
    snprintf(line, sizeof line,
             "Disqualification: %s   Dismemberment: %s %i%%   Fracture: %s %i%%",
             (r->flags & RULE_FLAG_DQ) ? "Yes" : "No",
             (r->flags & RULE_FLAG_DISMEMBER) ? "Yes" : "No", r->dismemberthreshold,
             (r->flags & RULE_FLAG_FRACTURE) ? "Yes" : "No", r->fracturethreshold);
    draw_text(1, 30, (float)y, line);
    y += 17;
    snprintf(line, sizeof line,
             "Engage dist: %i cm   Reaction Time: %i sec   Gripping: %s   Clock: %i/%s   IP: %s",
             r->engagedistance, r->turn_time_limit, (r->flags & RULES_NO_GRIP) ? "No" : "Yes",
             r->matchframes, r->turnframes_text[0] ? r->turnframes_text : "-", s->address);
    char cut[512];
    fit_text(1, line, view_width - 40, cut, sizeof cut);
    draw_text(1, 30, (float)y, cut);
    y += 22;
    draw_text(2, 30, (float)y, "PLAYERS");
    y += 22;
    int x = 30;
    for (int k = 0; k < SERVER_NAMES && y < view_height - 40; k++) {
        if (!s->names[k][0])
            continue;
        int w = text_width(1, s->names[k]) + 12;
        if (x + w > view_width - 20) {
            x = 30;
            y += 17;
            if (y >= view_height - 40)
                break;
        }
        draw_text(1, (float)x, (float)y, s->names[k]);
        x += w;
    }
}

void draw_server_list()
{
    ServerBrowser *b = get_server_browser();
    ScrollList *list = get_menu_list();
    if (!b || !list)
        return;
    static int blink = 0;
    blink = (blink + 1) % 60;
    set_colour(text_colours.text, 1.0f);
    // The title above the column buttons (y 30 to 50), the rows below them.
    draw_text_centred(2, 6, "MULTI PLAYER");
    int c = list_column_base();
    list->count = b->count;
    list->visible_rows = list_rows();
    place_server_rows(list);
    if (b->count == 0) {
        draw_menu_lines(no_servers_note);
        draw_text_centred(1, view_height - 52,
                          "Select a server to connect ; ESC - Cancel ; 'R' - Refresh");
        return;
    }
    int first = list->first < 0 ? 0 : list->first;
    int polled = is_refreshing(b) ? b->current.load() : -1;
    int y = LIST_TOP;
    int shown = first;
    char text[400], cut[400];
    for (int row = first; row < b->count && row < first + list->visible_rows; row++) {
        ServerEntry *e = browser_entry_at(b, row);
        if (!e)
            break;
        const ServerInfo *s = entry_snapshot(e);
        set_colour(row == list->hover ? text_colours.selected : text_colours.text, 1.0f);
        snprintf(text, sizeof text, "%2i", row + 1);
        draw_text(1, (float)c, (float)y, text);
        fit_text(1, s->reachable ? s->description : "No Connection..", 290, cut, sizeof cut);
        draw_text(1, (float)(c + 30), (float)y, cut);
        fit_text(1, s->rules.mod, 180, cut, sizeof cut);
        draw_text(1, (float)(c + 330), (float)y, cut);
        snprintf(text, sizeof text, "%2i/%2i", s->info_count, s->info_a);
        draw_text(1, (float)(c + 520), (float)y, text);
        snprintf(text, sizeof text, "%2i", s->buddies);
        draw_text(1, (float)(c + 620), (float)y, text);
        if (s->position == polled && polled >= 0 && blink < 30)
            draw_text(1, (float)(c - 14), (float)y, "X");
        y += LIST_ROW;
        shown = row + 1;
    }
    set_colour(text_colours.text, 1.0f);
    snprintf(text, sizeof text, "%2i - %2i", shown, b->count);
    draw_text(1, (float)c, (float)(y + 4), text);
    if (is_refreshing(b))
        draw_text(1, (float)(c + 330), (float)(y + 4), "Refreshing server list...");
    ServerEntry *hovered = browser_entry_at(b, list->hover);
    if (hovered) {
        const ServerInfo *s = entry_snapshot(hovered);
        if (s->reachable)
            draw_details(s, y + 30);
    }
    // Above the game's own hint line.
    draw_text_centred(1, view_height - 52, "Select a server to connect ; ESC - Cancel ; 'R' - Refresh");
}

// ---- wiring ---------------------------------------------------------------------------

static void exit_freeze_hook()
{
    if (game_links.hook_exit_freeze)
        game_links.hook_exit_freeze();
}

void bind_online()
{
    fill_empty(client_links.connection, get_game_connection);
    fill_empty(client_links.start_online_game, start_game_on_new_server);
    fill_empty(client_links.clear_banner, clear_banner);
    fill_empty(client_links.hook_exit_freeze, exit_freeze_hook);

    fill_empty(core_outward.connect_to_server, connect_to_server);
    fill_empty(core_outward.forward_to_server, forward_to_server);
    fill_empty(core_outward.server_address_text, server_address_text);
    if (!core_outward.listed_server_host)
        core_outward.listed_server_host = [](const char *host) {
            return servers_txt_lists_host("servers.txt", host);
        };
    fill_empty(core_outward.close_connection, net_disconnect);
    fill_empty(game_links.poll_game_server, poll_game_server);
    fill_empty(game_links.poll_connecting, poll_connect);
    fill_empty(game_links.send_game_line, game_send_line);
    fill_empty(game_links.close_game_connection, game_close_connection);

    fill_empty(core_outward.commit_turn, commit_turn);
    fill_empty(core_outward.play_next_replay, play_next_replay);
    fill_empty(core_outward.hook_announce, call_announce_callback);
    fill_empty(core_outward.set_spectator_names, store_spectator_names);
    fill_empty(core_outward.publish_server_info, browser_publish_current);
    fill_empty(core_outward.poll_next_server, browser_next_current);
    if (!game_links.start_browser_thread)
        game_links.start_browser_thread = [] { start_browser_thread(); };
    fill_empty(game_links.draw_server_list, draw_server_list);
    fill_empty(game_links.enter_server_list, enter_server_list);
    fill_empty(game_links.leave_server_list, leave_server_list);
    // The column headers of the server page sort the program's browser.
    if (!sort_servers)
        sort_servers = [](int column, int descending) {
            if (ServerBrowser *browser = get_server_browser())
                browser_set_sort(browser, column, descending);
        };

    ServerBrowser *b = get_server_browser();
    if (b && b->count == 0 && b->path[0])
        servers_txt_read(b, b->path);
    if (WorkerThread *w = get_browser_thread())
        worker_init(w, browser_thread_start, browser_thread_step, browser_thread_condition, b, 1);
}

#include "net/client.h"

#include <cstdio>
#include <cstring>

#include "core/bout.h"
#include "core/command.h"
#include "core/ghost.h"
#include "core/newgame.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/replay_buffer.h"
#include "core/step.h"
#include "core/text.h"
#include "net/login.h"
#include "net/md5.h"
#include "core/safe_file.h"

ClientLinks client_links;
ServerConnection *client_connection()
{
    return client_links.connection ? client_links.connection() : nullptr;
}
int32_t ready_sent = 0;
int32_t client_poll_counter = 0;
int32_t client_ping_deadline = 0;
char client_stats_path[256] = "data/stats.dat";

// The failure message goes out once per connection: a second failure on
// the same dead connection stays quiet.
static int lost_reported = 0;

int client_is_connected()
{
    ServerConnection *c = client_connection();
    return c && c->connected;
}

int send_server_line(const char *text)
{
    ServerConnection *c = client_connection();
    int r = c ? net_send_buf(c, text) : -1;
    // A line that went out shows a live connection: its loss is news.
    if (r >= 0)
        lost_reported = 0;
    return r;
}

void net_disconnect()
{
    if (ServerConnection *c = client_connection())
        net_quit(c);
    // An empty list counts no entries (the fighters' check reads the count).
    clear_bout_list();
    num_bouts = 0;
    if (core_outward.clear_spectators)
        core_outward.clear_spectators();
}

void net_lost_contact()
{
    if (!lost_reported)
        echo_message("Disconnected. Lost contact with server", MSG_INGAME);
    lost_reported = 1;
    net_disconnect();
}

int send_server_line_checked(const char *text)
{
    if (send_server_line(text) >= 0)
        return 0;
    net_lost_contact();
    return 1;
}

int server_address_text(char *out, int size)
{
    ServerConnection *c = client_connection();
    return c ? net_address_text(c, out, size) : -1;
}

// ---- polling ------------------------------------------------------------------------

// One line or packet to the parser's network column; 1 when one came.
static int take_one()
{
    char buffer[NET_FETCH_BYTES + 1];
    int tail_offset = 0;
    char pending = 0;
    int r = net_fetch_buf(client_connection(), buffer, &tail_offset);
    if (r < 0) {
        // The connection has reported the loss: the rest of the common
        // handling, without a second message.
        lost_reported = 1;
        net_disconnect();
    }
    if (r != 0)
        return 0;
    buffer[NET_FETCH_BYTES] = '\0';
    parse_cmd(CMD_KIND_NETWORK, buffer, &pending);
    // A packet's binary tail goes to the same row as its text line.
    if (tail_offset != 0)
        parse_cmd(CMD_KIND_NETWORK, buffer + tail_offset, &pending);
    return 1;
}

void poll_game_server()
{
    if (!client_is_connected())
        return;
    client_poll_counter++;
    if (client_poll_counter >= CLIENT_POLL_EVERY) {
        // At most two lines or packets; the rest waits in the socket. A
        // handler may close the connection (KICK, a wrong version).
        for (int k = 0; k < CLIENT_POLL_ITEMS && client_is_connected(); k++)
            if (!take_one())
                break;
        client_poll_counter = 0;
    }
    if (!client_is_connected())
        return;
    if (client_ping_deadline < frame_tick) {
        if (send_server_line_checked("PING\n") != 0)
            return;
        client_ping_deadline = frame_tick + CLIENT_PING_MS;
    }
}

// ---- moves --------------------------------------------------------------------------

static int send_move_line(const char *line)
{
    if (send_server_line(line) >= 0)
        return 0;
    fprintf(stderr, "Unable to net_send_buf %s\n", line);
    net_lost_contact();
    return 1;
}

int send_moves(int player, int batch)
{
    if (player < 0 || player >= MAX_FIGHTERS)
        return 1;
    PlayerState *p = &players[player];
    const char *prefix = batch ? "B_" : "";
    char line[CLIENT_LINE_BYTES];
    snprintf(line, sizeof line, "%sGRIP %i;%i %i\n", prefix, player, p->grip_req_l, p->grip_req_r);
    if (send_move_line(line) != 0)
        return 1;

    int used = snprintf(line, sizeof line, "%sJOINT %i;", prefix, player);
    for (int j = 0; j < NUM_JOINTS; j++) {
        if (p->joint_state[j] == 0)
            continue;
        int n = snprintf(line + used, sizeof line - (size_t)used, " %i %i", j, p->joint_state[j]);
        if (n < 0 || used + n >= (int)sizeof line - 2)
            break;
        used += n;
    }
    line[used++] = '\n';
    line[used] = '\0';
    p->sent = 1;
    return send_move_line(line);
}

static void link_call(void (*slot)())
{
    if (slot)
        slot();
}

void commit_turn(int mode)
{
    if (game_type != 1) {
        link_call(client_links.clear_banner);
        link_call(client_links.hook_exit_freeze);
        start_turn(mode);
        return;
    }
    // The turn clock calls this every frame while a turn waits online (for
    // a spectator too): only a move that goes out clears the banner.
    int own = own_player_index;
    if (own < 0 || own >= MAX_FIGHTERS || is_simulating() || !have_enough_fighters())
        return;
    PlayerState *me = &players[own];
    if (me->ready || me->sent)
        return;
    link_call(client_links.clear_banner);

    if (current_rules.batch_frames != 0 && record_mode == 1) {
        if (send_moves(own, 1) != 0)
            return;
        int done = match_state.match_frame - match_state.turn_start_frame;
        if (mode == 1 && done < next_turnframes() - 2) {
            // The world runs a few more frames of this turn here; the
            // player may add further steps before the move is closed.
            me->sent = 0;
            start_turn(current_rules.batch_frames);
            return;
        }
        if (match_state.match_frame != match_state.turn_start_frame)
            seek_match_frame(match_state.turn_start_frame);
        char line[64];
        snprintf(line, sizeof line, "BATCH %i;-1\n", own);
        if (send_server_line_checked(line) != 0)
            return;
        me->sent = 1;
        record_mode = 2;
        return;
    }

    if (send_moves(own, 0) != 0)
        return;
    stop_ghost();
    int n = fighter_count();
    int all = n > 0;
    for (int i = 0; i < n; i++)
        if (!players[i].ready)
            all = 0;
    if (all)
        for (int i = 0; i < n; i++)
            players[i].ready = 0;
}

// ---- the connect sequence -----------------------------------------------------------

int send_spec() { return send_server_line_checked("SPEC\n"); }
int send_enter() { return send_server_line_checked("ENTER\n"); }

int send_nick(const char *name)
{
    char clean[LOGIN_NAME_BYTES];
    n_strncpyz(clean, name ? name : "", sizeof clean);
    sanitize_name(clean);
    n_strncpyz(login_nick, clean[0] ? clean : "Unnamed", sizeof login_nick);
    char line[LOGIN_NAME_BYTES + 16];
    snprintf(line, sizeof line, "NICK %s\n", login_nick);
    return send_server_line_checked(line);
}

int send_mlogin(const char *user, const char *password)
{
    if (!client_is_connected())
        return 0;
    char digest[256];
    md5_hex_string(password ? password : "", digest, sizeof digest);
    char line[512];
    snprintf(line, sizeof line, "mlogin %s %s\n", user ? user : "", digest);
    return send_server_line_checked(line);
}

int send_stats()
{
    FILE *f = open_read_file(client_stats_path, 1 << 20);
    if (!f)
        return 0;
    char line[4097];
    while (fgets(line, sizeof line, f)) {
        if (send_server_line_checked(line) != 0) {
            fclose(f);
            return 1;
        }
    }
    fclose(f);
    remove(client_stats_path);
    return 0;
}

// A connect under way: the address asked for, where to go back to when it
// fails (FORWARD's server, left for it), and when it is given up (-1: not
// yet set, while the host is looked up: the look-up has its own limit).
static char pending_address[NET_HOST_BYTES + 16];
static char fallback_address[NET_HOST_BYTES + 16];
static int64_t pending_deadline_ms = -1;

int client_connecting()
{
    ServerConnection *c = client_connection();
    return c && c->connecting;
}

// The connection is up: introduce the user and start the online game.
static int finish_connect()
{
    char text[NET_HOST_BYTES + 64];
    fallback_address[0] = '\0';
    // A new connection: its first poll pings, and its failure is reported.
    lost_reported = 0;
    client_poll_counter = 0;
    client_ping_deadline = 0;
    ready_sent = 0;
    if (send_nick(login_nick) != 0 || send_mlogin(login_nick, login_password) != 0 ||
        send_stats() != 0)
        return 1;
    link_call(client_links.start_online_game);
    snprintf(text, sizeof text, "Connected to %s", pending_address);
    echo_message(text, MSG_INGAME);
    return 0;
}

// "Failed to connect to host:port", and why when the connection knows.
static void report_failed_connect(const char *address)
{
    char text[NET_HOST_BYTES + 96];
    ServerConnection *c = client_connection();
    const char *why = c ? net_failure_text(c) : "";
    if (why[0])
        snprintf(text, sizeof text, "Failed to connect to %s: %s", address, why);
    else
        snprintf(text, sizeof text, "Failed to connect to %s", address);
    echo_message(text, MSG_INGAME);
}

// A failed connect: reported once; with a server to go back to, a connect
// to it (which has none of its own).
static void connect_failed()
{
    report_failed_connect(pending_address);
    if (!fallback_address[0])
        return;
    char back[sizeof fallback_address];
    n_strncpyz(back, fallback_address, sizeof back);
    fallback_address[0] = '\0';
    connect_to_server(back);
}

static int start_connect(const char *address, const char *fallback)
{
    if (!address)
        address = "";
    ServerConnection *c = client_connection();
    n_strncpyz(pending_address, address, sizeof pending_address);
    n_strncpyz(fallback_address, fallback ? fallback : "", sizeof fallback_address);
    pending_deadline_ms = -1;
    if (!c) {
        fallback_address[0] = '\0';
        report_failed_connect(address);
        return 1;
    }
    // The server being left is gone from here on, whatever becomes of the
    // connect: its bout and spectator lists go with it.
    if (client_is_connected())
        net_disconnect();
    int r = net_connect_begin(c, address);
    if (r < 0) {
        connect_failed();
        return 1;
    }
    if (r == 0)
        return finish_connect();
    if (!c->lookup)
        pending_deadline_ms = net_clock_ms() + CLIENT_CONNECT_SECONDS * 1000;
    return 0;
}

int connect_to_server(const char *address) { return start_connect(address, nullptr); }

int forward_to_server(const char *address, const char *previous)
{
    return start_connect(address, previous);
}

void poll_connect()
{
    if (!client_connecting())
        return;
    ServerConnection *c = client_connection();
    int r = net_connect_check(c);
    if (r == 1) {
        // The look-up has ended and the connect proper begun: its second
        // starts now.
        if (!c->lookup && pending_deadline_ms < 0)
            pending_deadline_ms = net_clock_ms() + CLIENT_CONNECT_SECONDS * 1000;
        if (c->lookup || net_clock_ms() <= pending_deadline_ms)
            return;
    }
    if (r == 0) {
        finish_connect();
        return;
    }
    if (r == 1) {
        fprintf(stderr, "Timeout in select() - Cancelling!\n");
        net_quit(c);
        net_set_failure(c, NET_FAILED_TIMED_OUT, 0);
    }
    connect_failed();
}

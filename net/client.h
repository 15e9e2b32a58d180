// The sending side of online play and the main thread's poll of the game
// server: the connect sequence, the keep-alive, the lines of a committed
// move and the common handling of a send that fails. Main thread only.
#pragma once

#include <cstdint>

#include "net/connection.h"

enum {
    CLIENT_PING_MS = 20000,    // "PING" this often
    CLIENT_POLL_EVERY = 3,     // frames between fetches
    CLIENT_POLL_ITEMS = 2,     // lines or packets taken per fetch
    CLIENT_CONNECT_SECONDS = 1,
    CLIENT_LINE_BYTES = 2048
};

// What the client needs from the shell; start-up fills it, an empty slot
// is skipped.
struct ClientLinks {
    // The one game connection (null: none, as before start-up and after
    // shut-down).
    ServerConnection *(*connection)();
    // The shell's start of an online game (leave_game hook, looks, bout
    // list and stains cleared, the multiplayer rules, new_mp_game hook).
    void (*start_online_game)();
    void (*clear_banner)();
    void (*hook_exit_freeze)();
};
extern ClientLinks client_links;

// The game connection now (client_links.connection; null without one).
ServerConnection *client_connection();
// The result record's ready mark: a "READY" went out for the next game.
extern int32_t ready_sent;
// Poll counter and ping deadline (frame_tick milliseconds).
extern int32_t client_poll_counter;
extern int32_t client_ping_deadline;
// The stats file sent once after connecting, then removed.
extern char client_stats_path[256];

// 1 while the game connection is usable.
int client_is_connected();

// Once per frame while online: every third call at most two lines or
// packets to the parser; "PING" whenever its deadline has passed.
void poll_game_server();

// The GRIP and JOINT lines of a player's move ("B_" forms for a batch
// step); sent := 1 before the JOINT line. 0 sent, 1 failed (common failure).
int send_moves(int player, int batch);
// The space key's action: offline the next turn starts; online the own
// move is sent once (batch forms as the rules say). Mode 1: commit and go on.
void commit_turn(int mode);

int send_spec();
int send_enter();
// "NICK" with the name cleaned (sanitize_name; "Unnamed" when empty).
int send_nick(const char *name);
// "mlogin <user> <md5 of password>" while connected; 0 when not connected.
int send_mlogin(const char *user, const char *password);
// Each line of the stats file unchanged, then the file is removed (kept
// when a send failed). 0 when nothing failed.
int send_stats();

// Connects the game connection, introduces the user ("NICK", "mlogin",
// the stats lines) and starts the online game. Nothing waits (a host name
// is looked up off the main thread): 0 connected or under way
// (poll_connect completes it), 1 failed at once. A failure, now or later,
// is reported once ("Failed to connect to %s") and leaves no connection;
// the server left for it was closed with "QUIT" and its bout list cleared
// when the connect began.
int connect_to_server(const char *address);
// The same for a server's FORWARD: when the connect fails, now or later,
// the client connects back to previous (when not empty) once.
int forward_to_server(const char *address, const char *previous);
// Once a frame: completes a connect under way, or gives it up
// CLIENT_CONNECT_SECONDS after the socket's connect began (the host's
// look-up before it has its own limit, net_lookup_deadline_ms).
void poll_connect();
// 1 while a connect is under way.
int client_connecting();

// net_send_buf on the game connection (-1 without one).
int send_server_line(const char *text);
// The same with the common failure handling: 0 sent, 1 failed.
int send_server_line_checked(const char *text);
// "host:port" of the game connection; 0 when it fits out.
int server_address_text(char *out, int size);

// "QUIT" and the bout list cleared.
void net_disconnect();
// The common failure of a send: "Disconnected. Lost contact with server"
// (once per connection), "QUIT", the bout list cleared.
void net_lost_contact();

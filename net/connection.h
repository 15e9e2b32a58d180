// One TCP client connection to a game server: connecting with a time-out,
// framing the incoming bytes into text lines and "P_" packets (a text line,
// a NUL and a binary tail of little-endian int32 words), writing text lines
// and saying goodbye. An instance is used by one thread only.
#pragma once

enum {
    NET_DEFAULT_PORT = 20184,
    NET_HOST_BYTES = 256,
    NET_FETCH_BYTES = 4096,     // a fetch buffer; the caller keeps one zero byte after it
    NET_ECHO_LETTERS = 1500
};

// Once a line has begun, a peer that sends nothing more for this many
// milliseconds is treated as lost (the fetch would otherwise block the
// thread for ever). 10000 unless changed.
extern int net_fetch_stall_ms;

// Used when a connection has no host yet.
extern const char *const net_default_server;

struct ServerConnection {
    int socket;                  // descriptor of the TCP socket; 0 when none
    int connected;               // 1 while the connection is usable
    char host[NET_HOST_BYTES];   // host of the last address given to net_connect
    int port;                    // port of the last address given to net_connect
};

// socket 0, connected 0, empty host (what a new instance holds).
void net_reset(ServerConnection *c);

// Connects to "host[:port]" (port 20184 without one; an empty host or one
// of 256 characters or more is refused). timeout_seconds 0 is
// a plain blocking connect. A connection that is open is first closed with
// "QUIT\n". 0 connected, -1 failed (one line on standard error).
int net_connect(ServerConnection *c, const char *address, int timeout_seconds);

// Writes the text with a single write; the bytes written, -1 on failure or
// without a socket. Adds nothing and leaves connected alone.
int net_send_buf(ServerConnection *c, const char *text);

// Reads one text line (up to and including its '\n') or one "P_" packet
// into buffer (NET_FETCH_BYTES bytes, cleared first). 0 delivered, 1
// nothing to read yet, -1 the connection failed (connected is then 0).
// After a packet *tail_offset (when given) is the offset of the tail's
// count word; the caller sets it to 0 before the call.
int net_fetch_buf(ServerConnection *c, char *buffer, int *tail_offset);

// Goodbyes: "QUIT\n" / "CLOSE\n" when connected, then the socket is closed
// (also a stale one left by a failed fetch); connected becomes 0.
void net_quit(ServerConnection *c);
void net_close(ServerConnection *c);

int net_is_connected(const ServerConnection *c);

// "host:port" into out (size bytes); the default server and port while the
// connection has no host. 0 when written, -1 when it does not fit.
int net_address_text(const ServerConnection *c, char *out, int size);

// When connected, writes "ECHO 1;" and 1500 letters "A" (no newline); a
// failed write echoes "net_send_error\n".
void net_send_echo(ServerConnection *c);

// -1 when the check fails, 1 when the descriptor is readable within the
// time, 0 when not.
int net_wait_readable(int fd, int seconds);
int net_poll_readable(int fd);

// Takes up to max_items lines or packets from the connection and hands each
// to the command parser's network column (a packet's tail in a second
// call). Stops at the first fetch that delivers nothing. Returns the count
// delivered, or -1 when the connection failed.
int net_poll_lines(ServerConnection *c, int max_items);

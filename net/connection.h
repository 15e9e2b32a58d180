// One TCP client connection to a game server: connecting with a time-out,
// framing the incoming bytes into text lines and "P_" packets (a text line,
// a NUL and a binary tail of little-endian int32 words), writing text lines
// and saying goodbye. An instance is used by one thread only.
#pragma once

#include <cstdint>

enum {
    NET_DEFAULT_PORT = 20184,
    NET_HOST_BYTES = 256,
    NET_FETCH_BYTES = 4096,     // a fetch buffer; the caller keeps one zero byte after it
    NET_STAGE_BYTES = 8192,     // bytes received but not yet handed out
    NET_TAIL_WORDS = 512,       // the most words a packet's tail may declare
    NET_ECHO_LETTERS = 1500
};

// A fetch never waits: it takes what the kernel holds and hands out a line
// or packet once it is complete. A line or packet that has begun must be
// complete within this many milliseconds of its first byte, or the peer
// is treated as lost ("lost contact with server"): a server that stalls
// mid-line or drips bytes costs one system call per fetch until then.
// 5000 unless changed.
extern int net_line_deadline_ms;

// Used when a connection has no host yet.
extern const char *const net_default_server;

// A host given by name is looked up on a short-lived thread of its own
// (an IPv4 address in dotted form needs none), so that a connect never
// waits for the name service: the connect stays under way until the
// look-up is done, and fails when it has taken longer than this many
// milliseconds. 5000 unless changed.
extern int net_lookup_deadline_ms;
enum { NET_LOOKUP_SLOTS = 8 };   // look-ups under way at the same time, all threads
// The look-up run on that thread: the first IPv4 address of host, in
// network byte order, into *address; 0 found, else a getaddrinfo error
// code. A connect takes the function in force when it begins.
extern int (*net_lookup_host)(const char *host, uint32_t *address);
int net_lookup_with_system(const char *host, uint32_t *address);
// Look-up slots in use now (finished or given up ones not yet cleared).
int net_lookups_in_use();

struct ServerConnection {
    int socket;                  // descriptor of the TCP socket; 0 when none
    int connected;               // 1 while the connection is usable
    char host[NET_HOST_BYTES];   // host of the last address given to net_connect (an
                                 // IPv6 address without its brackets)
    int port;                    // port of the last address given to net_connect
    // 1: lost contact and malformed packets are echoed to the console (the
    // main thread's connection); 0: standard error only (another thread's).
    int report;
    // 1: a line that begins "P_" is followed by a binary tail (the game
    // server's stream); 0: every line is text (the server browser's).
    int packets;
    int connecting;              // 1 while a connect started is under way
    int lookup;                  // 1 + the look-up slot while the host is looked up; 0 none
    int64_t lookup_deadline_ms;  // when that look-up is given up
    int peer_closed;             // the peer has closed; staged bytes remain
    int stage_length;            // bytes in stage
    int64_t item_started_ms;     // when the first byte of the staged item came
    char stage[NET_STAGE_BYTES];
    int failure;                 // why the last connect failed (NET_FAILED_*)
    int failure_errno;           // the system's error number behind it, 0 none
};

// Why a connect failed, as net_failure_text words it.
enum {
    NET_FAILED_NONE = 0,
    NET_FAILED_ADDRESS,       // "invalid address"
    NET_FAILED_UNKNOWN_HOST,  // "unknown host"
    NET_FAILED_REFUSED,       // "connection refused"
    NET_FAILED_TIMED_OUT,     // "timed out"
    NET_FAILED_SYSTEM         // the system's own words for failure_errno
};
// Marks the connection's connect as failed for a reason (the client's own
// time-out of a connect under way uses it too).
void net_set_failure(ServerConnection *c, int failure, int error_number);
// The reason of the last failed connect in a few words ("" when none).
const char *net_failure_text(const ServerConnection *c);

// socket 0, connected 0, empty host, report 1 (what a new instance holds).
void net_reset(ServerConnection *c);

// Milliseconds of a monotonic clock (any thread).
int64_t net_clock_ms();

// Connects to "host[:port]" or "[IPv6]:port" as parse_host_port reads it
// (port 20184 without one; anything it refuses is refused here, with
// "invalid port in %s" or "invalid host in %s"). A name is looked up for
// an IPv4 address.
// Waits at most timeout_seconds (the host's look-up included); 0 waits as
// long as the system does. A connection that is open is first closed with
// "QUIT\n". 0 connected, -1 failed (one line on standard error).
int net_connect(ServerConnection *c, const char *address, int timeout_seconds);

// The same in two steps that never wait: net_connect_begin gives 0
// connected, 1 under way (the host being looked up while lookup is set),
// -1 failed; while under way net_connect_check gives 0 once connected, 1
// still under way, -1 failed (the socket is closed then). Giving up a
// connect under way (net_quit, net_close, another connect) also gives up
// its look-up.
int net_connect_begin(ServerConnection *c, const char *address);
int net_connect_check(ServerConnection *c);

// Writes the text with a single write that never waits; the bytes written,
// -1 on failure, without a socket, or when not all of the text could go
// out at once (the line stream would be broken). Adds nothing and leaves
// connected alone.
int net_send_buf(ServerConnection *c, const char *text);

// Hands out one text line (up to and including its '\n') or one "P_"
// packet into buffer (NET_FETCH_BYTES bytes, cleared first). 0 delivered,
// 1 nothing complete yet (never waits), -1 the connection failed
// (connected is then 0; the socket stays until net_quit or net_close).
// After a packet *tail_offset (when given) is the offset of the tail's
// count word; the caller sets it to 0 before the call.
int net_fetch_buf(ServerConnection *c, char *buffer, int *tail_offset);

// Goodbyes: "QUIT\n" / "CLOSE\n" when connected, then the socket is closed
// (also a stale one left by a failed fetch, or a connect under way);
// connected becomes 0 and staged bytes are dropped.
void net_quit(ServerConnection *c);
void net_close(ServerConnection *c);

int net_is_connected(const ServerConnection *c);

// "host:port" ("[host]:port" for an IPv6 address) into out (size bytes);
// the default server and port while the connection has no host. 0 when written, -1 when it does not fit.
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

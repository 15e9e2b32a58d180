#include "net/connection.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <ctime>
#include <unistd.h>

#include "core/command.h"
#include "core/outward.h"
#include "core/text.h"

const char *const net_default_server = "127.0.0.1";
int net_line_deadline_ms = 5000;

int64_t net_clock_ms()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

static void clear_stage(ServerConnection *c)
{
    c->stage_length = 0;
    c->peer_closed = 0;
    c->item_started_ms = 0;
}

void net_reset(ServerConnection *c)
{
    c->socket = 0;
    c->connected = 0;
    c->host[0] = '\0';
    c->port = 0;
    c->report = 1;
    c->connecting = 0;
    clear_stage(c);
}

// Closes whatever descriptor the record still holds, usable or stale.
static void drop_socket(ServerConnection *c)
{
    if (c->socket > 0)
        close(c->socket);
    c->socket = 0;
    c->connected = 0;
    c->connecting = 0;
    clear_stage(c);
}

static void say_goodbye(ServerConnection *c, const char *word)
{
    if (c->socket > 0 && c->connected)
        send(c->socket, word, strlen(word), MSG_NOSIGNAL | MSG_DONTWAIT);
    drop_socket(c);
}

void net_quit(ServerConnection *c) { say_goodbye(c, "QUIT\n"); }
void net_close(ServerConnection *c) { say_goodbye(c, "CLOSE\n"); }

int net_is_connected(const ServerConnection *c) { return c->connected; }

static int set_blocking(int fd, int blocking)
{
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0) {
        perror("fcntl");
        return -1;
    }
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    if (fcntl(fd, F_SETFL, flags) < 0) {
        perror("fcntl");
        return -1;
    }
    return 0;
}

// Descriptor 0 means "no socket" in the record: move a socket that got it.
static int avoid_descriptor_zero(int fd)
{
    if (fd != 0)
        return fd;
    int moved = fcntl(fd, F_DUPFD, 1);
    close(fd);
    return moved;
}

// The outcome of a connect that was under way and is now writable.
static int connect_outcome(int fd)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) < 0) {
        fprintf(stderr, "Error in getsockopt() %d - %s\n", errno, strerror(errno));
        return -1;
    }
    if (error != 0) {
        fprintf(stderr, "Error in delayed connection() %d - %s\n", error, strerror(error));
        return -1;
    }
    return 0;
}

int net_connect_begin(ServerConnection *c, const char *address)
{
    // A second connect always says goodbye to the first server.
    net_quit(c);
    if (!address)
        address = "";

    const char *colon = strchr(address, ':');
    size_t host_length = colon ? (size_t)(colon - address) : strlen(address);
    if (colon && strlen(colon) < 2) {
        fprintf(stderr, "invalid port in %s\n", address);
        return -1;
    }
    if (host_length == 0 || host_length >= sizeof c->host) {
        fprintf(stderr, "invalid host in %s\n", address);
        return -1;
    }
    long port = NET_DEFAULT_PORT;
    if (colon) {
        char *end = nullptr;
        port = strtol(colon + 1, &end, 10);
        if (port < 1 || port > 65535) {
            fprintf(stderr, "invalid port in %s\n", address);
            return -1;
        }
    }
    memcpy(c->host, address, host_length);
    c->host[host_length] = '\0';
    c->port = (int)port;

    // getaddrinfo rather than gethostbyname: the browser's thread resolves
    // at the same time as the main thread.
    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo *found = nullptr;
    int r = getaddrinfo(c->host, nullptr, &hints, &found);
    if (r != 0 || !found) {
        fprintf(stderr, "gethostbyname: %s\n", r ? gai_strerror(r) : "no address");
        if (found)
            freeaddrinfo(found);
        return -1;
    }
    struct sockaddr_in target;
    memcpy(&target, found->ai_addr, sizeof target);
    freeaddrinfo(found);
    target.sin_family = AF_INET;
    target.sin_port = htons((uint16_t)c->port);

    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd >= 0)
        fd = avoid_descriptor_zero(fd);
    if (fd < 0) {
        perror("socket");
        return -1;
    }
    c->socket = fd;
    // The socket stays non-blocking for good: nothing on it ever waits.
    if (set_blocking(fd, 0) != 0) {
        drop_socket(c);
        return -1;
    }
    if (connect(fd, (struct sockaddr *)&target, sizeof target) == 0) {
        c->connected = 1;
        return 0;
    }
    if (errno != EINPROGRESS) {
        fprintf(stderr, "Error connecting %d - %s\n", errno, strerror(errno));
        drop_socket(c);
        return -1;
    }
    c->connecting = 1;
    return 1;
}

// Waits up to ms (negative: without limit) for a connect under way.
static int wait_connect(ServerConnection *c, int ms)
{
    if (!c->connecting || c->socket <= 0)
        return c->connected ? 0 : -1;
    struct pollfd p = {c->socket, POLLOUT, 0};
    int r = poll(&p, 1, ms);
    if (r < 0) {
        if (errno == EINTR)
            fprintf(stderr, "Timeout in select() - Cancelling!\n");
        else
            fprintf(stderr, "Error connecting %d - %s\n", errno, strerror(errno));
        drop_socket(c);
        return -1;
    }
    if (r == 0)
        return 1;
    if (connect_outcome(c->socket) != 0) {
        drop_socket(c);
        return -1;
    }
    c->connecting = 0;
    c->connected = 1;
    return 0;
}

int net_connect_check(ServerConnection *c) { return wait_connect(c, 0); }

int net_connect(ServerConnection *c, const char *address, int timeout_seconds)
{
    int r = net_connect_begin(c, address);
    if (r != 1)
        return r;
    int64_t ms = timeout_seconds > 0 ? (int64_t)timeout_seconds * 1000 : -1;
    if (ms > 0x7fffffff)
        ms = 0x7fffffff;
    r = wait_connect(c, (int)ms);
    if (r == 1) {
        fprintf(stderr, "Timeout in select() - Cancelling!\n");
        drop_socket(c);
        return -1;
    }
    return r;
}

int net_send_buf(ServerConnection *c, const char *text)
{
    if (c->socket <= 0 || !text || c->connecting)
        return -1;
    size_t length = strlen(text);
    // No SIGPIPE from a peer that has gone, and no wait for one that has
    // stopped reading: the write just fails.
    ssize_t sent = send(c->socket, text, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 || (size_t)sent != length)
        return -1;
    return (int)sent;
}

static int readable_within(int fd, int ms)
{
    struct pollfd p = {fd, POLLIN, 0};
    int r;
    do
        r = poll(&p, 1, ms);
    while (r < 0 && errno == EINTR);
    if (r < 0 || (r > 0 && (p.revents & POLLNVAL)))
        return -1;
    return r > 0 ? 1 : 0;
}

int net_wait_readable(int fd, int seconds)
{
    int64_t ms = (int64_t)(seconds < 0 ? 0 : seconds) * 1000;
    return readable_within(fd, ms > 0x7fffffff ? 0x7fffffff : (int)ms);
}

int net_poll_readable(int fd) { return readable_within(fd, 0); }

static int lost_contact(ServerConnection *c, const char *diagnostic, const char *message)
{
    if (diagnostic)
        fputs(diagnostic, stderr);
    if (message) {
        if (c->report)
            echo_message(message, MSG_INGAME);
        else
            fprintf(stderr, "%s\n", message);
    }
    c->connected = 0;
    c->connecting = 0;
    clear_stage(c);
    return -1;
}

// What the framing of the staged bytes found.
enum { FRAME_MORE = 0, FRAME_DONE, FRAME_NUL, FRAME_TOO_BIG };

// Frames the staged bytes as the byte-at-a-time reader of a line or packet
// would: *length is the item's size when done; *tail_start the offset of a
// packet's tail (-1 for a text line), set as soon as the NUL is seen.
static int frame_item(const unsigned char *bytes, int available, int *length, int *tail_start)
{
    int i = 0;
    bool packet = false;
    int64_t limit = NET_FETCH_BYTES;
    *tail_start = -1;
    for (;;) {
        if (!packet) {
            if (i > 0 && bytes[i - 1] == '\n')
                break;
        } else {
            if (i > limit)
                break;
            if (i == limit && i > 0 && bytes[i - 1] == '\n')
                break;
        }
        if (i >= available)
            return FRAME_MORE;
        unsigned char byte = bytes[i];
        if (byte == 0) {
            if (!packet)
                return FRAME_NUL;
            if (*tail_start < 0)
                *tail_start = i + 1;
        }
        if (i == NET_FETCH_BYTES)
            return FRAME_TOO_BIG;
        i++;
        if (i == 2 && bytes[0] == 'P' && bytes[1] == '_')
            packet = true;
        if (packet && *tail_start >= 0 && i == *tail_start + 4) {
            const unsigned char *w = bytes + *tail_start;
            int32_t n = (int32_t)((uint32_t)w[0] | (uint32_t)w[1] << 8 |
                                  (uint32_t)w[2] << 16 | (uint32_t)w[3] << 24);
            // A packet that cannot fit is refused now rather than after
            // waiting for bytes that could never be stored.
            if (n > NET_TAIL_WORDS)
                return FRAME_TOO_BIG;
            limit = (int64_t)*tail_start + 4 * (int64_t)n;
            if (limit > NET_FETCH_BYTES)
                return FRAME_TOO_BIG;
        }
    }
    *length = i;
    return FRAME_DONE;
}

// Moves what the kernel holds into the stage without waiting: 0 fine (the
// peer may have closed: peer_closed), -1 the read failed.
static int fill_stage(ServerConnection *c)
{
    while (!c->peer_closed && c->stage_length < NET_STAGE_BYTES) {
        ssize_t got = recv(c->socket, c->stage + c->stage_length,
                           (size_t)(NET_STAGE_BYTES - c->stage_length), MSG_DONTWAIT);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return 0;
            return -1;
        }
        if (got == 0) {
            c->peer_closed = 1;
            return 0;
        }
        if (c->stage_length == 0)
            c->item_started_ms = net_clock_ms();
        c->stage_length += (int)got;
    }
    return 0;
}

int net_fetch_buf(ServerConnection *c, char *buffer, int *tail_offset)
{
    if (c->socket <= 0 || c->connecting)
        return lost_contact(c, nullptr, nullptr);
    if (fill_stage(c) != 0)
        return lost_contact(c, nullptr, nullptr);

    int length = 0, tail_start = -1;
    int framed = frame_item((const unsigned char *)c->stage, c->stage_length, &length, &tail_start);
    if (framed != FRAME_MORE && tail_start > 0 && tail_offset)
        *tail_offset = tail_start;
    switch (framed) {
    case FRAME_DONE:
        memset(buffer, 0, NET_FETCH_BYTES);
        memcpy(buffer, c->stage, (size_t)length);
        c->stage_length -= length;
        memmove(c->stage, c->stage + length, (size_t)c->stage_length);
        // The next item's bytes, when some are here already, start its clock.
        c->item_started_ms = c->stage_length > 0 ? net_clock_ms() : 0;
        return 0;
    case FRAME_NUL:
        return lost_contact(c, "net_fetch_buf NULL byte error\n", "lost contact with server");
    case FRAME_TOO_BIG:
        return lost_contact(c, "net_fetch_buf packet > 4096 bytes\n", "malformed packet");
    }
    if (c->peer_closed)
        return lost_contact(c, nullptr, "lost contact with server");
    if (c->stage_length > 0 && net_clock_ms() - c->item_started_ms > net_line_deadline_ms)
        return lost_contact(c, "net_fetch_buf stalled line\n", "lost contact with server");
    return 1;
}

int net_address_text(const ServerConnection *c, char *out, int size)
{
    if (!out || size <= 0)
        return -1;
    int n = c->host[0] ? snprintf(out, (size_t)size, "%s:%i", c->host, c->port)
                       : snprintf(out, (size_t)size, "%s:%i", net_default_server,
                                  (int)NET_DEFAULT_PORT);
    return n >= 0 && n < size ? 0 : -1;
}

void net_send_echo(ServerConnection *c)
{
    if (!c->connected)
        return;
    static char line[8 + NET_ECHO_LETTERS];
    memcpy(line, "ECHO 1;", 7);
    memset(line + 7, 'A', NET_ECHO_LETTERS);
    line[7 + NET_ECHO_LETTERS] = '\0';
    if (net_send_buf(c, line) < 0)
        echo_message("net_send_error\n", MSG_INGAME);
}

int net_poll_lines(ServerConnection *c, int max_items)
{
    int delivered = 0;
    char buffer[NET_FETCH_BYTES + 1];
    while (delivered < max_items) {
        int tail_offset = 0;
        char pending = 0;
        int r = net_fetch_buf(c, buffer, &tail_offset);
        if (r < 0)
            return -1;
        if (r != 0)
            break;
        buffer[NET_FETCH_BYTES] = '\0';
        parse_cmd(CMD_KIND_NETWORK, buffer, &pending);
        if (tail_offset != 0)
            parse_cmd(CMD_KIND_NETWORK, buffer + tail_offset, &pending);
        delivered++;
    }
    return delivered;
}

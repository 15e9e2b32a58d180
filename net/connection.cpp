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
#include <unistd.h>

#include "core/command.h"
#include "core/outward.h"
#include "core/text.h"

const char *const net_default_server = "127.0.0.1";
int net_fetch_stall_ms = 10000;

void net_reset(ServerConnection *c)
{
    c->socket = 0;
    c->connected = 0;
    c->host[0] = '\0';
}

// Closes whatever descriptor the record still holds, usable or stale.
static void drop_socket(ServerConnection *c)
{
    if (c->socket > 0)
        close(c->socket);
    c->socket = 0;
    c->connected = 0;
}

static void say_goodbye(ServerConnection *c, const char *word)
{
    if (c->socket > 0 && c->connected)
        send(c->socket, word, strlen(word), MSG_NOSIGNAL);
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

// Waits for the pending connect; 0 when it completed.
static int finish_connect(int fd, int timeout_seconds)
{
    struct pollfd p = {fd, POLLOUT, 0};
    int64_t ms = (int64_t)timeout_seconds * 1000;
    if (ms > 0x7fffffff)
        ms = 0x7fffffff;
    int r = poll(&p, 1, (int)ms);
    if (r < 0) {
        if (errno == EINTR)
            fprintf(stderr, "Timeout in select() - Cancelling!\n");
        else
            fprintf(stderr, "Error connecting %d - %s\n", errno, strerror(errno));
        return -1;
    }
    if (r == 0) {
        fprintf(stderr, "Timeout in select() - Cancelling!\n");
        return -1;
    }
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

int net_connect(ServerConnection *c, const char *address, int timeout_seconds)
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
    memcpy(c->host, address, host_length);
    c->host[host_length] = '\0';
    c->port = colon ? (int)strtol(colon + 1, nullptr, 10) : NET_DEFAULT_PORT;

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

    if (timeout_seconds > 0 && set_blocking(fd, 0) != 0) {
        drop_socket(c);
        return -1;
    }
    if (connect(fd, (struct sockaddr *)&target, sizeof target) != 0) {
        if (errno != EINPROGRESS || timeout_seconds <= 0 ||
            finish_connect(fd, timeout_seconds) != 0) {
            drop_socket(c);
            return -1;
        }
    }
    if (timeout_seconds > 0 && set_blocking(fd, 1) != 0) {
        drop_socket(c);
        return -1;
    }
    c->connected = 1;
    return 0;
}

int net_send_buf(ServerConnection *c, const char *text)
{
    if (c->socket <= 0 || !text)
        return -1;
    // No SIGPIPE from a peer that has gone: the write just fails.
    return (int)send(c->socket, text, strlen(text), MSG_NOSIGNAL);
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
    if (message)
        echo_message(message, MSG_INGAME);
    c->connected = 0;
    return -1;
}

int net_fetch_buf(ServerConnection *c, char *buffer, int *tail_offset)
{
    if (c->socket <= 0)
        return lost_contact(c, nullptr, nullptr);
    // Nothing there yet: never block. A failed check goes on to the read,
    // which then fails.
    if (readable_within(c->socket, 0) == 0)
        return 1;

    memset(buffer, 0, NET_FETCH_BYTES);
    int i = 0;
    bool packet = false;
    int tail_start = -1;
    int64_t limit = NET_FETCH_BYTES;

    for (;;) {
        if (!packet) {
            if (i > 0 && buffer[i - 1] == '\n')
                return 0;
        } else {
            if (i > limit)
                return 0;
            if (i == limit && i > 0 && buffer[i - 1] == '\n')
                return 0;
        }

        // Once a line has begun, a peer that stalls is given a bound.
        if (i > 0) {
            int ready = readable_within(c->socket, net_fetch_stall_ms);
            if (ready == 0)
                return lost_contact(c, "net_fetch_buf stalled line\n", "lost contact with server");
        }
        unsigned char byte;
        ssize_t got;
        do
            got = recv(c->socket, &byte, 1, 0);
        while (got < 0 && errno == EINTR);
        if (got < 0)
            return lost_contact(c, nullptr, nullptr);
        if (got == 0)
            return lost_contact(c, nullptr, "lost contact with server");

        if (byte == 0) {
            if (!packet)
                return lost_contact(c, "net_fetch_buf NULL byte error\n",
                                    "lost contact with server");
            if (tail_start < 0) {
                tail_start = i + 1;
                if (tail_offset)
                    *tail_offset = i + 1;
            }
        }
        if (i == NET_FETCH_BYTES)
            return lost_contact(c, "net_fetch_buf packet > 4096 bytes\n", "malformed packet");
        buffer[i++] = (char)byte;

        if (i == 2 && buffer[0] == 'P' && buffer[1] == '_')
            packet = true;
        if (packet && tail_start >= 0 && i == tail_start + 4) {
            const unsigned char *w = (const unsigned char *)buffer + tail_start;
            int32_t n = (int32_t)((uint32_t)w[0] | (uint32_t)w[1] << 8 |
                                  (uint32_t)w[2] << 16 | (uint32_t)w[3] << 24);
            limit = (int64_t)tail_start + 4 * (int64_t)n;
            // A packet that cannot fit is refused now rather than after
            // waiting for bytes that could never be stored.
            if (limit > NET_FETCH_BYTES)
                return lost_contact(c, "net_fetch_buf packet > 4096 bytes\n", "malformed packet");
        }
    }
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

#include "net/connection.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <ctime>
#include <unistd.h>

#include "core/command.h"
#include "core/host_port.h"
#include "core/outward.h"
#include "core/text.h"

const char *const net_default_server = "127.0.0.1";
int net_line_deadline_ms = 5000;
int net_lookup_deadline_ms = 5000;

int64_t net_clock_ms()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

// ---- host look-ups off the calling thread ----------------------------------------

// A slot goes FREE -> RUNNING (claimed by a connect, which then starts its
// thread) -> FOUND or FAILED (the thread is done; the owner reads the
// result and frees the slot). An owner that gives up first marks it
// ABANDONED, and the thread frees it when its look-up returns. The state is
// the only thing both sides touch after the thread has started: the thread
// writes the result before it publishes FOUND/FAILED, and the owner reads
// it only after seeing that.
enum { LOOKUP_FREE = 0, LOOKUP_RUNNING, LOOKUP_FOUND, LOOKUP_FAILED, LOOKUP_ABANDONED };

struct HostLookup {
    std::atomic<int> state;
    char host[NET_HOST_BYTES];                          // set before the thread starts
    int (*resolve)(const char *host, uint32_t *address);   // likewise
    uint32_t address;                                   // written by the thread
    int error;                                          // likewise
};

static HostLookup host_lookups[NET_LOOKUP_SLOTS];

int net_lookup_with_system(const char *host, uint32_t *address)
{
    // getaddrinfo rather than gethostbyname: look-ups of several threads
    // run at the same time.
    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo *found = nullptr;
    int r = getaddrinfo(host, nullptr, &hints, &found);
    if (r == 0 && (!found || !found->ai_addr || found->ai_addrlen < sizeof(struct sockaddr_in)))
        r = EAI_NONAME;
    if (r == 0) {
        struct sockaddr_in first;
        memcpy(&first, found->ai_addr, sizeof first);
        *address = first.sin_addr.s_addr;
    }
    if (found)
        freeaddrinfo(found);
    return r;
}

int (*net_lookup_host)(const char *host, uint32_t *address) = net_lookup_with_system;

static void *run_lookup(void *argument)
{
    HostLookup *l = &host_lookups[(intptr_t)argument];
    uint32_t address = 0;
    int error = l->resolve(l->host, &address);
    l->address = address;
    l->error = error;
    int expected = LOOKUP_RUNNING;
    if (!l->state.compare_exchange_strong(expected, error ? LOOKUP_FAILED : LOOKUP_FOUND,
                                          std::memory_order_acq_rel))
        // Given up by its owner: nobody reads the result.
        l->state.store(LOOKUP_FREE, std::memory_order_release);
    return nullptr;
}

// Claims a slot and starts the look-up of host on a detached thread: the
// slot, or -1 (all slots busy, or no thread).
static int start_lookup(const char *host)
{
    for (int k = 0; k < NET_LOOKUP_SLOTS; k++) {
        HostLookup *l = &host_lookups[k];
        int expected = LOOKUP_FREE;
        if (!l->state.compare_exchange_strong(expected, LOOKUP_RUNNING, std::memory_order_acq_rel))
            continue;
        n_strncpyz(l->host, host, sizeof l->host);
        l->resolve = net_lookup_host ? net_lookup_host : net_lookup_with_system;
        l->address = 0;
        l->error = 0;
        pthread_attr_t attributes;
        pthread_t thread;
        int r = pthread_attr_init(&attributes);
        if (r == 0) {
            pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
            r = pthread_create(&thread, &attributes, run_lookup, (void *)(intptr_t)k);
            pthread_attr_destroy(&attributes);
        }
        if (r != 0) {
            l->state.store(LOOKUP_FREE, std::memory_order_release);
            fprintf(stderr, "gethostbyname: no thread for the look-up of %s\n", host);
            return -1;
        }
        return k;
    }
    fprintf(stderr, "gethostbyname: too many look-ups under way for %s\n", host);
    return -1;
}

// 1 still running; 0 found (*address); -1 failed (*error). Once it has
// answered 0 or -1 the slot is free again.
static int lookup_result(int slot, uint32_t *address, int *error)
{
    HostLookup *l = &host_lookups[slot];
    int state = l->state.load(std::memory_order_acquire);
    if (state != LOOKUP_FOUND && state != LOOKUP_FAILED)
        return 1;
    *address = l->address;
    *error = l->error;
    l->state.store(LOOKUP_FREE, std::memory_order_release);
    return state == LOOKUP_FOUND ? 0 : -1;
}

static void abandon_lookup(int slot)
{
    HostLookup *l = &host_lookups[slot];
    int expected = LOOKUP_RUNNING;
    if (!l->state.compare_exchange_strong(expected, LOOKUP_ABANDONED, std::memory_order_acq_rel))
        // It has finished already: the slot is the owner's to free.
        l->state.store(LOOKUP_FREE, std::memory_order_release);
}

// The record's look-up, if any, is left to finish on its own.
static void give_up_lookup(ServerConnection *c)
{
    if (c->lookup > 0 && c->lookup <= NET_LOOKUP_SLOTS)
        abandon_lookup(c->lookup - 1);
    c->lookup = 0;
}

int net_lookups_in_use()
{
    int n = 0;
    for (int k = 0; k < NET_LOOKUP_SLOTS; k++)
        if (host_lookups[k].state.load(std::memory_order_acquire) != LOOKUP_FREE)
            n++;
    return n;
}

// ---- the connection ---------------------------------------------------------------

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
    c->packets = 1;
    c->connecting = 0;
    c->lookup = 0;
    c->lookup_deadline_ms = 0;
    c->failure = NET_FAILED_NONE;
    c->failure_errno = 0;
    clear_stage(c);
}

void net_set_failure(ServerConnection *c, int failure, int error_number)
{
    if (error_number == ECONNREFUSED)
        failure = NET_FAILED_REFUSED;
    else if (error_number == ETIMEDOUT)
        failure = NET_FAILED_TIMED_OUT;
    c->failure = failure;
    c->failure_errno = error_number;
}

const char *net_failure_text(const ServerConnection *c)
{
    switch (c->failure) {
    case NET_FAILED_ADDRESS:
        return "invalid address";
    case NET_FAILED_UNKNOWN_HOST:
        return "unknown host";
    case NET_FAILED_REFUSED:
        return "connection refused";
    case NET_FAILED_TIMED_OUT:
        return "timed out";
    case NET_FAILED_SYSTEM:
        return c->failure_errno ? strerror(c->failure_errno) : "connect failed";
    default:
        return "";
    }
}

// Closes whatever descriptor the record still holds, usable or stale.
static void drop_socket(ServerConnection *c)
{
    give_up_lookup(c);
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
static int connect_outcome(ServerConnection *c, int fd)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) < 0) {
        fprintf(stderr, "Error in getsockopt() %d - %s\n", errno, strerror(errno));
        net_set_failure(c, NET_FAILED_SYSTEM, errno);
        return -1;
    }
    if (error != 0) {
        fprintf(stderr, "Error in delayed connection() %d - %s\n", error, strerror(error));
        net_set_failure(c, NET_FAILED_SYSTEM, error);
        return -1;
    }
    return 0;
}

// Opens the socket and starts the connect to the address: 0 connected, 1
// under way, -1 failed.
static int start_socket(ServerConnection *c, const struct sockaddr *target, socklen_t length)
{
    int fd = socket(target->sa_family, SOCK_STREAM, 0);
    if (fd >= 0)
        fd = avoid_descriptor_zero(fd);
    if (fd < 0) {
        net_set_failure(c, NET_FAILED_SYSTEM, errno);
        perror("socket");
        return -1;
    }
    c->socket = fd;
    // The socket stays non-blocking for good: nothing on it ever waits.
    if (set_blocking(fd, 0) != 0) {
        net_set_failure(c, NET_FAILED_SYSTEM, errno);
        drop_socket(c);
        return -1;
    }
    if (connect(fd, target, length) == 0) {
        c->connected = 1;
        return 0;
    }
    if (errno != EINPROGRESS) {
        fprintf(stderr, "Error connecting %d - %s\n", errno, strerror(errno));
        net_set_failure(c, NET_FAILED_SYSTEM, errno);
        drop_socket(c);
        return -1;
    }
    c->connecting = 1;
    return 1;
}

// An IPv4 address (network byte order) and the record's port.
static int start_socket_ipv4(ServerConnection *c, uint32_t address)
{
    struct sockaddr_in target;
    memset(&target, 0, sizeof target);
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = address;
    target.sin_port = htons((uint16_t)c->port);
    return start_socket(c, (const struct sockaddr *)&target, sizeof target);
}

int net_connect_begin(ServerConnection *c, const char *address)
{
    // A second connect always says goodbye to the first server.
    net_quit(c);
    net_set_failure(c, NET_FAILED_NONE, 0);
    if (!address)
        address = "";

    // The host text kept here is the one looked up: the same reading that
    // decides whether a server may send the client to an address.
    HostPort target;
    int parsed = parse_host_port(address, NET_DEFAULT_PORT, &target);
    if (parsed != HOST_PARSED) {
        fprintf(stderr, parsed == HOST_BAD_PORT ? "invalid port in %s\n" : "invalid host in %s\n",
                address);
        net_set_failure(c, NET_FAILED_ADDRESS, 0);
        return -1;
    }
    n_strncpyz(c->host, target.host, sizeof c->host);
    c->port = target.port;

    // An address needs no look-up; a name is looked up off this thread.
    if (target.kind == HOST_IPV6) {
        struct sockaddr_in6 six;
        memset(&six, 0, sizeof six);
        six.sin6_family = AF_INET6;
        six.sin6_port = htons((uint16_t)c->port);
        if (inet_pton(AF_INET6, c->host, &six.sin6_addr) != 1) {
            fprintf(stderr, "invalid host in %s\n", address);
            net_set_failure(c, NET_FAILED_ADDRESS, 0);
            return -1;
        }
        return start_socket(c, (const struct sockaddr *)&six, sizeof six);
    }
    struct in_addr numeric;
    if (target.kind == HOST_IPV4 && inet_pton(AF_INET, c->host, &numeric) == 1)
        return start_socket_ipv4(c, numeric.s_addr);
    int slot = start_lookup(c->host);
    if (slot < 0) {
        net_set_failure(c, NET_FAILED_SYSTEM, EAGAIN);
        return -1;
    }
    c->lookup = slot + 1;
    c->lookup_deadline_ms = net_clock_ms() + net_lookup_deadline_ms;
    c->connecting = 1;
    return 1;
}

// A look-up under way: 1 while it runs, else the next step's outcome.
static int check_lookup(ServerConnection *c)
{
    uint32_t address = 0;
    int error = 0;
    int r = lookup_result(c->lookup - 1, &address, &error);
    if (r == 1) {
        if (net_clock_ms() <= c->lookup_deadline_ms)
            return 1;
        fprintf(stderr, "gethostbyname: %s: no answer within %i ms\n", c->host,
                net_lookup_deadline_ms);
        net_set_failure(c, NET_FAILED_TIMED_OUT, 0);
        drop_socket(c);
        return -1;
    }
    c->lookup = 0;
    c->connecting = 0;
    if (r < 0) {
        fprintf(stderr, "gethostbyname: %s: %s\n", c->host, gai_strerror(error));
        net_set_failure(c, NET_FAILED_UNKNOWN_HOST, 0);
        drop_socket(c);
        return -1;
    }
    return start_socket_ipv4(c, address);
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
        net_set_failure(c, errno == EINTR ? NET_FAILED_TIMED_OUT : NET_FAILED_SYSTEM, errno);
        drop_socket(c);
        return -1;
    }
    if (r == 0)
        return 1;
    if (connect_outcome(c, c->socket) != 0) {
        drop_socket(c);
        return -1;
    }
    c->connecting = 0;
    c->connected = 1;
    return 0;
}

int net_connect_check(ServerConnection *c)
{
    if (c->lookup)
        return check_lookup(c);
    return wait_connect(c, 0);
}

int net_connect(ServerConnection *c, const char *address, int timeout_seconds)
{
    int r = net_connect_begin(c, address);
    if (r != 1)
        return r;
    int64_t started = net_clock_ms();
    int64_t limit = timeout_seconds > 0 ? (int64_t)timeout_seconds * 1000 : -1;
    // The host's look-up counts against the time-out.
    while (c->lookup) {
        if (limit >= 0 && net_clock_ms() - started > limit) {
            fprintf(stderr, "Timeout in select() - Cancelling!\n");
            net_set_failure(c, NET_FAILED_TIMED_OUT, 0);
            drop_socket(c);
            return -1;
        }
        r = net_connect_check(c);
        if (r != 1)
            return r;
        if (c->lookup) {
            struct timespec pause = {0, 2 * 1000000L};
            nanosleep(&pause, nullptr);
        }
    }
    int64_t ms = limit;
    if (limit >= 0) {
        ms = limit - (net_clock_ms() - started);
        if (ms < 0)
            ms = 0;
    }
    if (ms > 0x7fffffff)
        ms = 0x7fffffff;
    r = wait_connect(c, (int)ms);
    if (r == 1) {
        fprintf(stderr, "Timeout in select() - Cancelling!\n");
        net_set_failure(c, NET_FAILED_TIMED_OUT, 0);
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
    give_up_lookup(c);
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
static int frame_item(const unsigned char *bytes, int available, int packets, int *length,
                      int *tail_start)
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
        if (packets && i == 2 && bytes[0] == 'P' && bytes[1] == '_')
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
    int framed = frame_item((const unsigned char *)c->stage, c->stage_length, c->packets, &length,
                            &tail_start);
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
    return c->host[0] ? host_port_text(c->host, c->port, out, (size_t)size)
                      : host_port_text(net_default_server, NET_DEFAULT_PORT, out, (size_t)size);
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

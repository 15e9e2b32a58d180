// The server browser: the servers of "servers.txt", polled one after
// another on a worker thread through the browser's own connection, and a
// sorted view of what each reported for the main thread.
//
// Threads: the worker writes its working record and publishes it into an
// entry's shared copy under the entry's value mutex, then sets the entry's
// "changed" mark under the mark mutex (blocking locks: it may wait). The
// main thread only ever try-locks: when a mutex is busy it keeps the copy
// it had. The sort order is a pair of the same kind; the sort setting, the
// pass state and the current server are atomics.
#pragma once

#include <atomic>
#include <cstdint>
#include <pthread.h>

#include "core/server_info.h"
#include "net/connection.h"

enum {
    BROWSER_MAX_SERVERS = 256,
    BROWSER_SLOT_MS = 5000,      // each server's time on the connection
    BROWSER_CONNECT_MS = 4000,   // of which connecting may take this much
    BROWSER_SORT_COLUMNS = 5
};

struct ServerEntry {
    ServerInfo shared;             // the public copy (value_mutex)
    int changed;                   // the public copy is newer (mark_mutex)
    pthread_mutex_t value_mutex;
    pthread_mutex_t mark_mutex;
    ServerInfo reader;             // the main thread's own copy
};

struct ServerBrowser {
    ServerConnection connection;   // the browser's own (worker thread)
    char path[256];                // the list file, "servers.txt"
    ServerEntry *entries[BROWSER_MAX_SERVERS];
    int count;

    // The display order: entry indices, -1 after the last (a pair).
    int order[BROWSER_MAX_SERVERS + 1];
    int order_changed;
    pthread_mutex_t order_mutex;
    pthread_mutex_t order_mark_mutex;
    int view_order[BROWSER_MAX_SERVERS + 1];   // the main thread's copy
    std::atomic<int> resort_wanted;            // a main-thread sort found the order busy

    std::atomic<int> sort_setting;   // column * 2 + direction (0 ascending)
    std::atomic<int> refreshing;     // a pass is under way
    std::atomic<int> current;        // the server being polled
    std::atomic<int> passes;

    // The worker's own while a pass runs.
    ServerInfo working;
    int64_t deadline_ms;           // the current server's slot ends
    int64_t connect_deadline_ms;   // its connect must be done by then

    ServerBrowser();
    ~ServerBrowser();
};

// Reads the list file into entries (at most 256; the rest are ignored).
// 0 read, 1 the file could not be opened ("Unable to open servers.txt").
int servers_txt_read(ServerBrowser *b, const char *path);
// 1 when a line of the servers file at path names a server on host (the
// address word's host as parse_host_port reads it, compared without case;
// a line whose address it refuses names none).
int servers_txt_lists_host(const char *path, const char *host);
// Sorts by column 0..4 (#, description, mod, players, buddies), direction
// 0 ascending, 1 descending (main thread: the column buttons).
void browser_set_sort(ServerBrowser *b, int column, int direction);
// Rebuilds the order from the entries and publishes it; on_worker 1 may
// wait for locks, 0 (main thread) never does and retries later instead.
void browser_sort(ServerBrowser *b, int on_worker);

// Main thread: the entry's record, refreshed from the shared copy when it
// is newer and both mutexes are free; never waits.
const ServerInfo *entry_snapshot(ServerEntry *e);
// Main thread: the display order (-1 ended), refreshed when free.
const int *browser_view_order(ServerBrowser *b);
// The entry at display row (0-based), or null.
ServerEntry *browser_entry_at(ServerBrowser *b, int row);
// The worker's (blocking) copy of an entry's shared record.
void entry_read(ServerEntry *e, ServerInfo *out);
// Writes a record as the entry's shared copy and marks it changed.
void entry_publish(ServerEntry *e, const ServerInfo *info);

int is_refreshing(const ServerBrowser *b);

// The pass (worker thread): the first server, one step at `now_ms`, and
// the move to the next server.
void browser_begin_pass(ServerBrowser *b);
void browser_poll_step(ServerBrowser *b, int64_t now_ms);
void poll_next_server(ServerBrowser *b);
// The browser column's INFO: the working record is complete.
void publish_server_info(ServerBrowser *b);

// The browser column's calls (core_outward.publish_server_info and
// poll_next_server) act on the pass of the calling thread.
void browser_publish_current();
void browser_next_current();

// The worker callbacks (context: the browser).
void browser_thread_start(void *browser);
void browser_thread_step(void *browser);
int browser_thread_condition(void *browser);

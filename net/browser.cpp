#include "net/browser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/command.h"
#include "core/host_port.h"
#include "core/text.h"
#include "core/safe_file.h"

// The browser whose pass runs on this thread (the browser column's INFO
// reaches it through the core's outward slots).
static thread_local ServerBrowser *polling_browser = nullptr;

// ---- entries ------------------------------------------------------------------------

static ServerEntry *new_entry()
{
    ServerEntry *e = new ServerEntry();
    server_info_init(&e->shared);
    server_info_init(&e->reader);
    e->changed = 1;
    pthread_mutex_init(&e->value_mutex, nullptr);
    pthread_mutex_init(&e->mark_mutex, nullptr);
    return e;
}

static void free_entry(ServerEntry *e)
{
    pthread_mutex_destroy(&e->value_mutex);
    pthread_mutex_destroy(&e->mark_mutex);
    delete e;
}

void entry_publish(ServerEntry *e, const ServerInfo *info)
{
    pthread_mutex_lock(&e->value_mutex);
    e->shared = *info;
    pthread_mutex_unlock(&e->value_mutex);
    pthread_mutex_lock(&e->mark_mutex);
    e->changed = 1;
    pthread_mutex_unlock(&e->mark_mutex);
}

void entry_read(ServerEntry *e, ServerInfo *out)
{
    pthread_mutex_lock(&e->value_mutex);
    *out = e->shared;
    pthread_mutex_unlock(&e->value_mutex);
}

const ServerInfo *entry_snapshot(ServerEntry *e)
{
    if (pthread_mutex_trylock(&e->mark_mutex) != 0)
        return &e->reader;
    if (e->changed && pthread_mutex_trylock(&e->value_mutex) == 0) {
        e->reader = e->shared;
        pthread_mutex_unlock(&e->value_mutex);
        e->changed = 0;
    }
    pthread_mutex_unlock(&e->mark_mutex);
    return &e->reader;
}

// ---- the browser --------------------------------------------------------------------

ServerBrowser::ServerBrowser()
    : count(0), order_changed(1), resort_wanted(0), sort_setting(0), refreshing(0), current(0),
      passes(0), deadline_ms(0), connect_deadline_ms(0)
{
    net_reset(&connection);
    // The browser's connection runs on the worker: its failures go to
    // standard error, never to the console.
    connection.report = 0;
    // Servers push only text lines to a browser: a "P_" line is one too.
    connection.packets = 0;
    path[0] = '\0';
    for (int i = 0; i < BROWSER_MAX_SERVERS; i++)
        entries[i] = nullptr;
    order[0] = -1;
    view_order[0] = -1;
    pthread_mutex_init(&order_mutex, nullptr);
    pthread_mutex_init(&order_mark_mutex, nullptr);
    server_info_init(&working);
}

ServerBrowser::~ServerBrowser()
{
    net_close(&connection);
    for (int i = 0; i < count; i++)
        if (entries[i])
            free_entry(entries[i]);
    count = 0;
    pthread_mutex_destroy(&order_mutex);
    pthread_mutex_destroy(&order_mark_mutex);
}

static void publish_order(ServerBrowser *b, const int *order, int on_worker)
{
    if (on_worker) {
        pthread_mutex_lock(&b->order_mutex);
    } else if (pthread_mutex_trylock(&b->order_mutex) != 0) {
        b->resort_wanted.store(1);
        return;
    }
    memcpy(b->order, order, sizeof b->order);
    pthread_mutex_unlock(&b->order_mutex);
    if (on_worker) {
        pthread_mutex_lock(&b->order_mark_mutex);
    } else if (pthread_mutex_trylock(&b->order_mark_mutex) != 0) {
        b->resort_wanted.store(1);
        return;
    }
    b->order_changed = 1;
    pthread_mutex_unlock(&b->order_mark_mutex);
}

int servers_txt_read(ServerBrowser *b, const char *path)
{
    n_strncpyz(b->path, path ? path : "", sizeof b->path);
    FILE *f = open_read_file(b->path, 1 << 20);
    if (!f) {
        fprintf(stderr, "Unable to open servers.txt\n");
        return 1;
    }
    char line[513];
    char address[513], description[513];
    address[0] = description[0] = '\0';
    while (b->count < BROWSER_MAX_SERVERS && fgets(line, sizeof line, f)) {
        // A line without an address word keeps the previous line's fields.
        char a[513] = "", d[513] = "";
        int got = sscanf(line, "%512s %512[^\r\n]", a, d);
        if (got >= 1) {
            n_strncpyz(address, a, sizeof address);
            n_strncpyz(description, got == 2 ? d : "", sizeof description);
        }
        ServerInfo info;
        server_info_init(&info);
        info.position = b->count;
        n_strncpyz(info.address, trim_blanks(address), SERVER_TEXT_SIZE);
        char quoted[513];
        n_strncpyz(quoted, description, sizeof quoted);
        n_strncpyz(info.description, trim_quotes(quoted), SERVER_TEXT_SIZE);
        ServerEntry *e = new_entry();
        entry_publish(e, &info);
        b->entries[b->count++] = e;
    }
    if (b->count == 0)
        fprintf(stderr, "servers.txt does not contain any hosts\n");
    fclose(f);
    browser_sort(b, 1);
    return 0;
}

int servers_txt_lists_host(const char *path, const char *host)
{
    if (!host || !host[0])
        return 0;
    FILE *f = open_read_file(path, 1 << 20);
    if (!f)
        return 0;
    char line[513], word[513];
    int found = 0;
    while (!found && fgets(line, sizeof line, f)) {
        // The host as a connect to the line's address would look it up.
        HostPort listed;
        if (sscanf(line, "%512s", word) != 1 ||
            parse_host_port(word, NET_DEFAULT_PORT, &listed) != HOST_PARSED)
            continue;
        found = strcasecmp(listed.host, host) == 0;
    }
    fclose(f);
    return found;
}

// ---- sorting ------------------------------------------------------------------------

static int compare_mods(const char *a, const char *b, int direction)
{
    int a_empty = a[0] == '\0', b_empty = b[0] == '\0';
    if (a_empty || b_empty)
        return a_empty - b_empty;   // empty mods last
    int a_classic = strncasecmp(a, "classic", 256) == 0;
    int b_classic = strncasecmp(b, "classic", 256) == 0;
    if (a_classic || b_classic)
        return a_classic - b_classic;   // then "classic"
    int c = strncasecmp(a, b, 256);
    return direction ? -c : c;
}

// What the sort compares of a record: copied out of the entries (under the
// entry's lock on the worker), a few hundred bytes instead of the whole report.
struct SortKeys {
    int32_t position, info_count, buddies;
    char description[SERVER_TEXT_SIZE];
    char mod[sizeof(GameRules::mod)];
};

static void keys_of(const ServerInfo *info, SortKeys *k)
{
    k->position = info->position;
    k->info_count = info->info_count;
    k->buddies = info->buddies;
    memcpy(k->description, info->description, sizeof k->description);
    memcpy(k->mod, info->rules.mod, sizeof k->mod);
}

static int compare_keys(const SortKeys *a, const SortKeys *b, int column, int direction)
{
    int c = 0;
    switch (column) {
    case 0: c = a->position - b->position; break;
    case 1: c = strncasecmp(a->description, b->description, SERVER_TEXT_SIZE); break;
    case 2: return compare_mods(a->mod, b->mod, direction);
    case 3: c = a->info_count - b->info_count; break;
    case 4: c = a->buddies - b->buddies; break;
    }
    return direction ? -c : c;
}

void browser_sort(ServerBrowser *b, int on_worker)
{
    int n = b->count;
    // Both threads sort: each with a copy of its own.
    static thread_local SortKeys keys[BROWSER_MAX_SERVERS];
    for (int i = 0; i < n; i++) {
        ServerEntry *e = b->entries[i];
        if (on_worker) {
            pthread_mutex_lock(&e->value_mutex);
            keys_of(&e->shared, &keys[i]);
            pthread_mutex_unlock(&e->value_mutex);
        } else {
            keys_of(entry_snapshot(e), &keys[i]);
        }
    }
    int setting = b->sort_setting.load();
    int column = setting / 2, direction = setting % 2;
    int index[BROWSER_MAX_SERVERS];
    for (int i = 0; i < n; i++)
        index[i] = i;
    // Records that compare equal keep the list order.
    std::stable_sort(index, index + n, [&](int x, int y) {
        return compare_keys(&keys[x], &keys[y], column, direction) < 0;
    });
    int order[BROWSER_MAX_SERVERS + 1];
    for (int i = 0; i < n; i++)
        order[i] = index[i];
    order[n] = -1;
    publish_order(b, order, on_worker);
}

void browser_set_sort(ServerBrowser *b, int column, int direction)
{
    if (column < 0 || column >= BROWSER_SORT_COLUMNS)
        return;
    b->sort_setting.store(column * 2 + (direction ? 1 : 0));
    browser_sort(b, 0);
}

const int *browser_view_order(ServerBrowser *b)
{
    if (b->resort_wanted.exchange(0))
        browser_sort(b, 0);
    if (pthread_mutex_trylock(&b->order_mark_mutex) != 0)
        return b->view_order;
    if (b->order_changed && pthread_mutex_trylock(&b->order_mutex) == 0) {
        memcpy(b->view_order, b->order, sizeof b->view_order);
        pthread_mutex_unlock(&b->order_mutex);
        b->order_changed = 0;
    }
    pthread_mutex_unlock(&b->order_mark_mutex);
    return b->view_order;
}

ServerEntry *browser_entry_at(ServerBrowser *b, int row)
{
    if (row < 0 || row >= b->count)
        return nullptr;
    const int *order = browser_view_order(b);
    for (int i = 0; i <= row; i++)
        if (order[i] < 0)
            return nullptr;
    int k = order[row];
    return k >= 0 && k < b->count ? b->entries[k] : nullptr;
}

int is_refreshing(const ServerBrowser *b) { return b->refreshing.load(); }

// ---- the pass (worker thread) -------------------------------------------------------

// Opens server k (or moves on past servers that cannot be reached at once).
static void open_server(ServerBrowser *b, int k)
{
    for (; k < b->count; k++) {
        b->current.store(k);
        int64_t now = net_clock_ms();
        b->deadline_ms = now + BROWSER_SLOT_MS;
        b->connect_deadline_ms = now + BROWSER_CONNECT_MS;
        entry_read(b->entries[k], &b->working);
        if (net_connect_begin(&b->connection, b->working.address) >= 0) {
            b->working.reachable = 1;
            return;
        }
        b->working.reachable = 0;
        entry_publish(b->entries[k], &b->working);
    }
    net_close(&b->connection);
    b->current.store(0);
    b->refreshing.store(0);
}

void browser_begin_pass(ServerBrowser *b)
{
    polling_browser = b;
    browser_target = &b->working;
    b->passes.fetch_add(1);
    b->refreshing.store(1);
    net_close(&b->connection);
    open_server(b, 0);
}

void poll_next_server(ServerBrowser *b)
{
    net_close(&b->connection);
    open_server(b, b->current.load() + 1);
}

void publish_server_info(ServerBrowser *b)
{
    int k = b->current.load();
    if (k < 0 || k >= b->count)
        return;
    entry_publish(b->entries[k], &b->working);
    browser_sort(b, 1);
}

// The current server gave nothing in time: published as unreachable.
static void give_up_server(ServerBrowser *b)
{
    b->working.reachable = 0;
    int k = b->current.load();
    if (k >= 0 && k < b->count)
        entry_publish(b->entries[k], &b->working);
    poll_next_server(b);
}

void browser_poll_step(ServerBrowser *b, int64_t now_ms)
{
    if (!b->refreshing.load())
        return;
    ServerConnection *c = &b->connection;
    if (c->connecting) {
        int r = net_connect_check(c);
        if (r < 0 || (r == 1 && now_ms > b->connect_deadline_ms)) {
            give_up_server(b);
            return;
        }
    }
    if (c->connected) {
        char buffer[NET_FETCH_BYTES + 1];
        if (net_fetch_buf(c, buffer, nullptr) == 0) {
            buffer[NET_FETCH_BYTES] = '\0';
            int before = b->current.load();
            parse_cmd(CMD_KIND_BROWSER, buffer, nullptr);
            // An INFO line has moved the pass on: the new slot has begun.
            if (b->current.load() != before || !b->refreshing.load())
                return;
        }
    }
    // Checked also when the connection has dropped.
    if (b->refreshing.load() && now_ms > b->deadline_ms)
        give_up_server(b);
}

void browser_publish_current()
{
    if (polling_browser)
        publish_server_info(polling_browser);
}

void browser_next_current()
{
    if (polling_browser)
        poll_next_server(polling_browser);
}

void browser_thread_start(void *browser)
{
    browser_begin_pass(static_cast<ServerBrowser *>(browser));
}

void browser_thread_step(void *browser)
{
    browser_poll_step(static_cast<ServerBrowser *>(browser), net_clock_ms());
}

int browser_thread_condition(void *browser)
{
    return is_refreshing(static_cast<ServerBrowser *>(browser));
}

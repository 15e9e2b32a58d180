// The server browser: its list file, the sorted view, and a pass of its
// worker thread over three local servers (one that answers, a closed port
// and one that stays silent) while the main thread keeps reading.
#include <gtest/gtest.h>

#include <netdb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/outward.h"
#include "core/rules.h"
#include "core/server_info.h"
#include "core/text.h"
#include "net/browser.h"
#include "net/connection.h"
#include "net/scripted_peer.h"
#include "net/worker.h"
#include "support/test_support.h"

namespace {

long long now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int buddy_check(const char *name) { return strcmp(name, "carol") == 0; }

std::string list_file(const std::string &text)
{
    std::string path = test_tmp_path("servers.txt");
    write_whole_file(path, text);
    return path;
}

std::vector<int> view_of(ServerBrowser *b)
{
    std::vector<int> v;
    const int *order = browser_view_order(b);
    for (int i = 0; i <= BROWSER_MAX_SERVERS && order[i] >= 0; i++)
        v.push_back(order[i]);
    return v;
}

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        core_outward = CoreOutward();
        core_outward.is_buddy = buddy_check;
        core_outward.publish_server_info = browser_publish_current;
        core_outward.poll_next_server = browser_next_current;
    }
    void TearDown() override { core_outward = CoreOutward(); }
};

}  // namespace

TEST_F(BrowserTest, ListFile)
{
    ServerBrowser b;
    std::string text = "10.0.0.1:20184 \"Main server\"\r\n  \r\n10.0.0.2   second one\n";
    for (int i = 0; i < 300; i++)
        text += "10.1.0." + std::to_string(i) + " x\n";
    ASSERT_EQ(servers_txt_read(&b, list_file(text).c_str()), 0);
    EXPECT_EQ(b.count, 256);
    const ServerInfo *s = entry_snapshot(b.entries[0]);
    EXPECT_EQ(s->position, 0);
    EXPECT_STREQ(s->address, "10.0.0.1:20184");
    EXPECT_STREQ(s->description, "Main server");
    EXPECT_EQ(s->reachable, 1);
    // A line without an address keeps the previous line's fields.
    EXPECT_STREQ(entry_snapshot(b.entries[1])->address, "10.0.0.1:20184");
    EXPECT_EQ(entry_snapshot(b.entries[1])->position, 1);
    EXPECT_STREQ(entry_snapshot(b.entries[2])->description, "second one");
    std::vector<int> order = view_of(&b);
    ASSERT_EQ(order.size(), 256u);
    EXPECT_EQ(order[255], 255);

    ServerBrowser missing;
    EXPECT_EQ(servers_txt_read(&missing, test_tmp_path("no-such-file.txt").c_str()), 1);
    EXPECT_EQ(missing.count, 0);
    EXPECT_TRUE(view_of(&missing).empty());
}

TEST_F(BrowserTest, SortColumns)
{
    ServerBrowser b;
    ASSERT_EQ(servers_txt_read(&b, list_file("a:1 delta\nb:1 Alpha\nc:1 charlie\nd:1 bravo\ne:1 echo\n").c_str()), 0);
    const char *mods[] = {"", "classic", "Zed", "alpha", "CLASSIC"};
    const int counts[] = {3, 1, 3, 0, 2};
    for (int i = 0; i < 5; i++) {
        ServerInfo info = *entry_snapshot(b.entries[i]);
        n_strncpyz(info.rules.mod, mods[i], sizeof info.rules.mod);
        info.info_count = counts[i];
        info.buddies = i % 2;
        entry_publish(b.entries[i], &info);
    }
    struct Case {
        int column, direction;
        std::vector<int> order;
    };
    const Case cases[] = {
        {0, 0, {0, 1, 2, 3, 4}},
        {0, 1, {4, 3, 2, 1, 0}},
        {1, 0, {1, 3, 2, 0, 4}},   // case-insensitive
        {1, 1, {4, 0, 2, 3, 1}},
        // other mods first, then "classic" in any case, the empty mod last
        {2, 0, {3, 2, 1, 4, 0}},
        {2, 1, {2, 3, 1, 4, 0}},
        {3, 0, {3, 1, 4, 0, 2}},   // equal counts keep the list order
        {3, 1, {0, 2, 4, 1, 3}},
        {4, 0, {0, 2, 4, 1, 3}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.column) + "/" + std::to_string(c.direction));
        browser_set_sort(&b, c.column, c.direction);
        EXPECT_EQ(view_of(&b), c.order);
    }
}

// One pass on the worker thread; the main thread reads as it goes and
// never waits.
TEST_F(BrowserTest, PassOverThreeServers)
{
    ScriptedPeer answering;
    ScriptedPeer closed(false);
    ScriptedPeer silent;
    ServerBrowser b;
    ASSERT_EQ(servers_txt_read(&b, list_file(answering.address() + " first\n" + closed.address() +
                                                 " \"second\"\n" + silent.address() + " third\n")
                                       .c_str()),
              0);
    ASSERT_EQ(b.count, 3);
    GameRules rules{};
    fill_default_rules(1, &rules);
    n_strncpyz(rules.mod, "pillars.zmm", sizeof rules.mod);

    WorkerThread worker;
    worker_init(&worker, browser_thread_start, browser_thread_step, browser_thread_condition, &b, 1);
    long long start = now_ms();
    ASSERT_EQ(worker_create(&worker), 0);
    EXPECT_EQ(worker_is_running(&worker), 1);
    ASSERT_TRUE(answering.push(std::string(write_newgame_line(0, &rules)) +
                               "CLIENTS 0;alice\tcarol\tbob\nDESC 0;  The first server  \n"
                               "INFO 3;8 1\n"));

    long long worst = 0;
    int reads = 0;
    while (worker_is_running(&worker) && now_ms() - start < 9000) {
        long long t0 = now_ms();
        for (int row = 0; row < b.count; row++)
            entry_snapshot(browser_entry_at(&b, row));
        is_refreshing(&b);
        worst = std::max(worst, now_ms() - t0);
        reads++;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    long long took = now_ms() - start;
    EXPECT_EQ(worker_is_running(&worker), 0);
    EXPECT_LT(took, 7000);
    EXPECT_GE(took, BROWSER_SLOT_MS - 100);   // the silent one has its whole slot
    // Far below any wait for the network (the slot is five seconds); the
    // margin is for a busy machine's scheduling.
    EXPECT_LT(worst, 50);
    EXPECT_GT(reads, 100);
    EXPECT_EQ(is_refreshing(&b), 0);
    EXPECT_EQ(b.passes.load(), 1);

    const ServerInfo *first = entry_snapshot(b.entries[0]);
    EXPECT_EQ(first->reachable, 1);
    EXPECT_STREQ(first->description, "The first server");
    EXPECT_EQ(first->info_count, 3);
    EXPECT_EQ(first->info_a, 8);
    EXPECT_EQ(first->info_b, 1);
    EXPECT_STREQ(first->names[1], "carol");
    EXPECT_EQ(first->buddies, 1);
    EXPECT_STREQ(first->rules.mod, "pillars.zmm");
    EXPECT_STREQ(first->address, answering.address().c_str());
    EXPECT_EQ(entry_snapshot(b.entries[1])->reachable, 0);
    EXPECT_STREQ(entry_snapshot(b.entries[1])->description, "second");
    EXPECT_EQ(entry_snapshot(b.entries[2])->reachable, 0);
    EXPECT_STREQ(entry_snapshot(b.entries[2])->address, silent.address().c_str());
    // The browser's connection said goodbye to the one that answered.
    EXPECT_TRUE(answering.wait_for("CLOSE\n"));

    // A second pass starts a new thread once the first has ended.
    answering.stop();
    silent.accept_clients = false;
    ASSERT_EQ(worker_create(&worker), 0);
    worker_stop(&worker);   // shut-down: asked to end and waited for
    EXPECT_EQ(worker_is_running(&worker), 0);
    EXPECT_EQ(b.passes.load(), 2);
}

// While the worker holds a record or the order, the main thread's readers
// return at once with the copy they had.
TEST_F(BrowserTest, BusyRecordsKeepThePreviousCopy)
{
    ServerBrowser b;
    ASSERT_EQ(servers_txt_read(&b, list_file("a:1 one\nb:1 two\n").c_str()), 0);
    ServerEntry *e = b.entries[0];
    EXPECT_STREQ(entry_snapshot(e)->description, "one");
    ServerInfo info = *entry_snapshot(e);
    n_strncpyz(info.description, "newer", sizeof info.description);
    entry_publish(e, &info);

    pthread_mutex_lock(&e->value_mutex);
    EXPECT_STREQ(entry_snapshot(e)->description, "one");
    pthread_mutex_unlock(&e->value_mutex);
    pthread_mutex_lock(&e->mark_mutex);
    EXPECT_STREQ(entry_snapshot(e)->description, "one");
    pthread_mutex_unlock(&e->mark_mutex);
    EXPECT_STREQ(entry_snapshot(e)->description, "newer");

    // A new sort while the order is busy is kept and done later.
    EXPECT_EQ(view_of(&b), (std::vector<int>{0, 1}));
    pthread_mutex_lock(&b.order_mutex);
    browser_set_sort(&b, 0, 1);
    EXPECT_EQ(view_of(&b), (std::vector<int>{0, 1}));
    pthread_mutex_unlock(&b.order_mutex);
    EXPECT_EQ(view_of(&b), (std::vector<int>{1, 0}));
}

TEST_F(BrowserTest, EmptyListEndsAtOnce)
{
    ServerBrowser b;
    servers_txt_read(&b, list_file("").c_str());
    WorkerThread worker;
    worker_init(&worker, browser_thread_start, browser_thread_step, browser_thread_condition, &b, 1);
    ASSERT_EQ(worker_create(&worker), 0);
    for (int k = 0; k < 200 && worker_is_running(&worker); k++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(worker_is_running(&worker), 0);
    EXPECT_EQ(is_refreshing(&b), 0);
    // Running again is possible: the ended thread is reaped first.
    ASSERT_EQ(worker_create(&worker), 0);
}

namespace {

std::atomic<int> release_lookups{0};
// "localhost" through the system; any other name is held until the test
// lets it go (at most 3 s), then unknown.
int named_lookup(const char *host, uint32_t *address)
{
    if (strcmp(host, "localhost") == 0)
        return net_lookup_with_system(host, address);
    for (int k = 0; k < 600 && !release_lookups.load(); k++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return EAI_NONAME;
}

}  // namespace

// Servers given by name are looked up off the worker's thread too: one
// that resolves is polled as an address is, and a look-up that hangs does
// not keep shut-down waiting.
TEST_F(BrowserTest, NamedServers)
{
    ScriptedPeer answering;
    ServerBrowser b;
    ASSERT_EQ(servers_txt_read(&b, list_file("localhost:" + std::to_string(answering.port) +
                                             " first\nstuck.test:20185 second\n")
                                       .c_str()),
              0);
    release_lookups = 0;
    net_lookup_host = named_lookup;
    WorkerThread worker;
    worker_init(&worker, browser_thread_start, browser_thread_step, browser_thread_condition, &b, 1);
    ASSERT_EQ(worker_create(&worker), 0);
    ASSERT_TRUE(answering.push("DESC 0;Found by name\nINFO 2;8 1\n"));
    long long start = now_ms();
    while (b.current.load() != 1 && now_ms() - start < 3000)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(b.current.load(), 1);
    const ServerInfo *first = entry_snapshot(b.entries[0]);
    EXPECT_EQ(first->reachable, 1);
    EXPECT_STREQ(first->description, "Found by name");
    EXPECT_EQ(first->info_count, 2);
    // The pass is now waiting for the second server's look-up.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(worker_is_running(&worker), 1);
    start = now_ms();
    worker_stop(&worker);
    EXPECT_LT(now_ms() - start, 200);
    EXPECT_NE(b.connection.lookup, 0);   // left under way, given up here
    net_close(&b.connection);
    release_lookups = 1;
    for (int k = 0; k < 600 && net_lookups_in_use() > 0; k++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(net_lookups_in_use(), 0);
    net_lookup_host = net_lookup_with_system;
}

// A server that pushes a "P_" line to the browser: it is a text line there
// (no tail follows on this stream), and the lines after it still count.
TEST_F(BrowserTest, PacketNamedLineIsTextOnTheBrowserStream)
{
    ScriptedPeer answering;
    ServerBrowser b;
    ASSERT_EQ(servers_txt_read(&b, list_file(answering.address() + " first\n").c_str()), 0);
    WorkerThread worker;
    worker_init(&worker, browser_thread_start, browser_thread_step, browser_thread_condition, &b, 1);
    ASSERT_EQ(worker_create(&worker), 0);
    ASSERT_TRUE(answering.push("P_POS 0;\nDESC 0;After a packet name\nINFO 2;16 0\n"));
    long long start = now_ms();
    while (worker_is_running(&worker) && now_ms() - start < 9000)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const ServerInfo *first = entry_snapshot(b.entries[0]);
    EXPECT_EQ(first->reachable, 1);
    EXPECT_STREQ(first->description, "After a packet name");
    EXPECT_EQ(first->info_count, 2);
    EXPECT_EQ(first->info_a, 16);
    worker_stop(&worker);
}

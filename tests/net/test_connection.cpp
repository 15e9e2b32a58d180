// The game-server connection against a scripted server that each test
// starts on 127.0.0.1 (an ephemeral port) in a thread of its own.
#include <gtest/gtest.h>

#include <atomic>

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/outward.h"
#include "net/connection.h"
#include "support/test_support.h"

namespace {

std::vector<std::string> echoes;
void capture_echo(const char *text, int kind)
{
    echoes.push_back(std::string(text) + "|" + std::to_string(kind));
}

long long now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// One step of a server's script: bytes to send, then a pause.
struct Chunk {
    std::string bytes;
    int pause_ms;
};

// Listens on 127.0.0.1, takes one client, sends its chunks, then either
// closes at once or collects what the client writes until it closes (at
// most two seconds).
struct ScriptedServer {
    int listener = -1;
    int port = 0;
    std::vector<Chunk> chunks;
    bool close_after_send = false;
    std::string received;
    std::thread thread;

    explicit ScriptedServer(std::vector<Chunk> script, bool close_after = false, int backlog = 4)
        : chunks(std::move(script)), close_after_send(close_after)
    {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        int one = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        bind(listener, (sockaddr *)&a, sizeof a);
        listen(listener, backlog);
        socklen_t length = sizeof a;
        getsockname(listener, (sockaddr *)&a, &length);
        port = ntohs(a.sin_port);
    }

    void start()
    {
        thread = std::thread([this] { serve(); });
    }

    void serve()
    {
        pollfd p = {listener, POLLIN, 0};
        if (poll(&p, 1, 3000) != 1)
            return;
        int client = accept(listener, nullptr, nullptr);
        if (client < 0)
            return;
        for (const Chunk &c : chunks) {
            if (!c.bytes.empty())
                send(client, c.bytes.data(), c.bytes.size(), MSG_NOSIGNAL);
            if (c.pause_ms)
                std::this_thread::sleep_for(std::chrono::milliseconds(c.pause_ms));
        }
        if (!close_after_send) {
            long long end = now_ms() + 2000;
            char buffer[4096];
            while (now_ms() < end) {
                pollfd q = {client, POLLIN, 0};
                if (poll(&q, 1, 50) != 1)
                    continue;
                ssize_t got = recv(client, buffer, sizeof buffer, 0);
                if (got <= 0)
                    break;
                received.append(buffer, (size_t)got);
            }
        }
        close(client);
    }

    std::string address() const { return "127.0.0.1:" + std::to_string(port); }

    void stop()
    {
        if (thread.joinable())
            thread.join();
        if (listener >= 0)
            close(listener);
        listener = -1;
    }
    ~ScriptedServer() { stop(); }
};

// Fetches until something other than "nothing yet" comes back (bounded).
int fetch_wait(ServerConnection *c, char *buffer, int *tail)
{
    for (int k = 0; k < 300; k++) {
        int r = net_fetch_buf(c, buffer, tail);
        if (r != 1)
            return r;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 1;
}

std::string tail_words(std::initializer_list<uint32_t> words)
{
    std::string out;
    for (uint32_t w : words)
        for (int b = 0; b < 4; b++)
            out.push_back((char)((w >> (8 * b)) & 0xff));
    return out;
}

std::string with_nul(const char *head) { return std::string(head) + std::string(1, '\0'); }

// What one fetch should give: its result, the stored bytes and the tail offset.
struct Expect {
    int result;
    std::string bytes;
    int tail_offset;
};

struct FetchCase {
    const char *name;
    std::vector<Chunk> script;
    std::vector<Expect> fetches;
    const char *last_echo;   // null: no console line expected
};

class ConnectionTest : public ::testing::Test {
protected:
    ServerConnection c;
    void SetUp() override
    {
        net_reset(&c);
        echoes.clear();
        core_outward.echo = capture_echo;
    }
    void TearDown() override
    {
        net_quit(&c);
        core_outward.echo = nullptr;
    }
};

}  // namespace

TEST_F(ConnectionTest, FetchFramesLinesAndPackets)
{
    const std::string pos = with_nul("P_POS 0;") + tail_words({4, 1000000, 2000000, 3000000}) + "\n";
    // A tail whose last byte is 0x0A ends the packet without a further byte.
    const std::string lf_tail = with_nul("P_VEL 1;") + tail_words({2, 0x0a000000u});
    // A NUL inside the tail is data.
    const std::string nul_tail = with_nul("P_ROT 2;") + tail_words({3, 0, 7}) + "\n";
    const std::string one_word = with_nul("P_X 0;") + tail_words({1}) + "\n";
    const std::string full_line = std::string(4095, 'a') + "\n";

    const FetchCase cases[] = {
        {"whole line", {{"CHAT 1;hello\n", 0}}, {{0, "CHAT 1;hello\n", 0}}, nullptr},
        {"line split across reads",
         {{"CHAT 1;he", 150}, {"llo\n", 0}},
         {{0, "CHAT 1;hello\n", 0}},
         nullptr},
        {"two lines in one write",
         {{"A 1;x\nB 2;y\n", 0}},
         {{0, "A 1;x\n", 0}, {0, "B 2;y\n", 0}},
         nullptr},
        {"packet then line",
         {{pos + "NEXT 1;\n", 0}},
         {{0, pos, 9}, {0, "NEXT 1;\n", 0}},
         nullptr},
        {"packet split inside its tail",
         {{pos.substr(0, 14), 100}, {pos.substr(14), 0}},
         {{0, pos, 9}},
         nullptr},
        {"tail ending in a newline byte",
         {{lf_tail + "NEXT 1;\n", 0}},
         {{0, lf_tail, 9}, {0, "NEXT 1;\n", 0}},
         nullptr},
        {"NUL inside a tail", {{nul_tail, 0}}, {{0, nul_tail, 9}}, nullptr},
        {"count of one", {{one_word, 0}}, {{0, one_word, 7}}, nullptr},
        {"line filling the buffer", {{full_line, 0}}, {{0, full_line, 0}}, nullptr},
        {"overlong line", {{std::string(4200, 'a'), 0}}, {{-1, "", 0}}, "malformed packet|4"},
        {"tail declaring too much",
         {{with_nul("P_POS 0;") + tail_words({2000}) + std::string(64, 'x'), 0}},
         {{-1, "", 9}},
         "malformed packet|4"},
        {"NUL in a text line",
         {{with_nul("CHAT 1;bad") + "\n", 0}},
         {{-1, "", 0}},
         "lost contact with server|4"},
        {"peer closes", {{"LAST 1;\n", 0}}, {{0, "LAST 1;\n", 0}, {-1, "", 0}},
         "lost contact with server|4"},
    };

    for (const FetchCase &fc : cases) {
        SCOPED_TRACE(fc.name);
        echoes.clear();
        ScriptedServer server(fc.script, true);
        server.start();
        ASSERT_EQ(net_connect(&c, server.address().c_str(), 1), 0);
        char buffer[NET_FETCH_BYTES + 1] = {0};
        for (const Expect &e : fc.fetches) {
            int tail = 0;
            int r = fetch_wait(&c, buffer, &tail);
            EXPECT_EQ(r, e.result);
            EXPECT_EQ(tail, e.tail_offset);
            if (e.result == 0) {
                EXPECT_EQ(std::string(buffer, e.bytes.size()), e.bytes);
                // Nothing beyond the line or packet was stored.
                if (e.bytes.size() < NET_FETCH_BYTES)
                    EXPECT_EQ(buffer[e.bytes.size()], '\0');
                EXPECT_EQ(c.connected, 1);
            } else {
                EXPECT_EQ(c.connected, 0);
            }
        }
        if (fc.last_echo) {
            ASSERT_FALSE(echoes.empty());
            EXPECT_EQ(echoes.back(), fc.last_echo);
        } else {
            EXPECT_TRUE(echoes.empty());
        }
        net_quit(&c);
        EXPECT_EQ(c.socket, 0);
        server.stop();
    }
}

TEST_F(ConnectionTest, StalledLineIsBounded)
{
    ScriptedServer server({{"CHAT 1;half", 1500}}, true);
    server.start();
    ASSERT_EQ(net_connect(&c, server.address().c_str(), 1), 0);
    int saved = net_line_deadline_ms;
    net_line_deadline_ms = 200;
    char buffer[NET_FETCH_BYTES + 1];
    long long start = now_ms();
    EXPECT_EQ(fetch_wait(&c, buffer, nullptr), -1);
    EXPECT_LT(now_ms() - start, 1200);
    net_line_deadline_ms = saved;
    EXPECT_EQ(c.connected, 0);
    ASSERT_FALSE(echoes.empty());
    EXPECT_EQ(echoes.back(), "lost contact with server|4");
}

TEST_F(ConnectionTest, FetchWithoutDataOrSocket)
{
    ScriptedServer server({{"", 300}}, true);
    server.start();
    ASSERT_EQ(net_connect(&c, server.address().c_str(), 1), 0);
    char buffer[NET_FETCH_BYTES + 1];
    EXPECT_EQ(net_fetch_buf(&c, buffer, nullptr), 1);   // never blocks
    net_quit(&c);
    EXPECT_EQ(net_fetch_buf(&c, buffer, nullptr), -1);
    EXPECT_EQ(net_send_buf(&c, "PING\n"), -1);
}

TEST_F(ConnectionTest, SendsAndGoodbyes)
{
    ScriptedServer first({});
    ScriptedServer second({});
    first.start();
    second.start();
    ASSERT_EQ(net_connect(&c, first.address().c_str(), 1), 0);
    EXPECT_EQ(net_is_connected(&c), 1);
    EXPECT_EQ(net_send_buf(&c, "NICK someone\n"), 13);
    net_send_echo(&c);
    // A second connect says goodbye to the first server.
    ASSERT_EQ(net_connect(&c, second.address().c_str(), 0), 0);
    EXPECT_EQ(net_send_buf(&c, "PING\n"), 5);
    net_close(&c);
    EXPECT_EQ(c.socket, 0);
    EXPECT_EQ(c.connected, 0);
    net_quit(&c);   // nothing more to say
    first.stop();
    second.stop();
    EXPECT_EQ(first.received, "NICK someone\nECHO 1;" + std::string(NET_ECHO_LETTERS, 'A') + "QUIT\n");
    EXPECT_EQ(second.received, "PING\nCLOSE\n");
    EXPECT_TRUE(echoes.empty());
}

TEST_F(ConnectionTest, WritingToAPeerThatLeftFailsQuietly)
{
    ScriptedServer server({}, true);
    server.start();
    ASSERT_EQ(net_connect(&c, server.address().c_str(), 1), 0);
    server.stop();
    // The first write may still be taken by the kernel; later ones fail
    // without a signal ending the program.
    int last = 0;
    for (int k = 0; k < 50 && last >= 0; k++) {
        last = net_send_buf(&c, "PING\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(last, -1);
    EXPECT_EQ(c.connected, 1);   // callers decide what a failed write means
    echoes.clear();
    c.connected = 1;
    net_send_echo(&c);
    ASSERT_FALSE(echoes.empty());
    EXPECT_EQ(echoes.back(), "net_send_error\n|4");
}

TEST_F(ConnectionTest, AddressesAndRefusals)
{
    char text[300];
    ASSERT_EQ(net_address_text(&c, text, sizeof text), 0);
    EXPECT_STREQ(text, (std::string(net_default_server) + ":20184").c_str());

    struct Refusal {
        std::string address;
    };
    const Refusal refusals[] = {{"127.0.0.1:"}, {std::string(300, 'h') + ":20"}, {":20"},
                                {"127.0.0.1:0"}, {"127.0.0.1:70000"}, {"127.0.0.1:-5"}};
    for (const Refusal &r : refusals) {
        SCOPED_TRACE(r.address.substr(0, 40));
        EXPECT_EQ(net_connect(&c, r.address.c_str(), 1), -1);
        EXPECT_EQ(c.connected, 0);
        EXPECT_EQ(c.socket, 0);
    }

    // A port that nobody listens on: refused at once, with or without a
    // time-out; the record keeps the address.
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe, (sockaddr *)&a, sizeof a);
    socklen_t length = sizeof a;
    getsockname(probe, (sockaddr *)&a, &length);
    close(probe);
    std::string closed = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    for (int timeout : {1, 0}) {
        long long start = now_ms();
        EXPECT_EQ(net_connect(&c, closed.c_str(), timeout), -1);
        EXPECT_LT(now_ms() - start, 900);
        EXPECT_EQ(c.socket, 0);
    }
    ASSERT_EQ(net_address_text(&c, text, sizeof text), 0);
    EXPECT_EQ(std::string(text), closed);
    EXPECT_EQ(net_address_text(&c, text, 5), -1);

    // Without a colon the default port is taken.
    net_connect(&c, "127.0.0.1", 1);
    EXPECT_STREQ(c.host, "127.0.0.1");
    EXPECT_EQ(c.port, 20184);
    net_quit(&c);
}

TEST_F(ConnectionTest, ConnectTimesOut)
{
    // A listener with a full queue lets further connection attempts hang.
    ScriptedServer server({}, true, 0);
    int filler = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons((uint16_t)server.port);
    ASSERT_EQ(connect(filler, (sockaddr *)&a, sizeof a), 0);
    long long start = now_ms();
    int r = net_connect(&c, server.address().c_str(), 1);
    long long took = now_ms() - start;
    close(filler);
    if (r == 0)
        GTEST_SKIP() << "this kernel accepted beyond the queue";
    EXPECT_EQ(r, -1);
    EXPECT_GE(took, 900);
    EXPECT_LT(took, 2500);
    EXPECT_EQ(c.connected, 0);
    EXPECT_EQ(c.socket, 0);
}

TEST_F(ConnectionTest, ReadinessChecks)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    EXPECT_EQ(net_poll_readable(fds[0]), 0);
    EXPECT_EQ(net_wait_readable(fds[0], 0), 0);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    EXPECT_EQ(net_poll_readable(fds[0]), 1);
    EXPECT_EQ(net_wait_readable(fds[0], 1), 1);
    close(fds[0]);
    close(fds[1]);
    EXPECT_EQ(net_poll_readable(fds[0]), -1);
}

TEST_F(ConnectionTest, PollHandsLinesToTheParser)
{
    ScriptedServer server({{"INFO 0;\nINFO 0;\nINFO 0;\n", 200}}, true);
    server.start();
    ASSERT_EQ(net_connect(&c, server.address().c_str(), 1), 0);
    int total = 0;
    for (int k = 0; k < 100 && total < 3; k++) {
        int got = net_poll_lines(&c, 2);
        ASSERT_GE(got, 0);
        ASSERT_LE(got, 2);
        total += got;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(total, 3);
    int r = 0;
    for (int k = 0; k < 100 && r == 0; k++) {
        r = net_poll_lines(&c, 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(r, -1);   // the server has gone
    EXPECT_EQ(c.connected, 0);
}

namespace {

std::atomic<int> release_lookups{0};
// A look-up that answers 127.0.0.1 once the test lets it (at most 3 s).
int held_loopback(const char *, uint32_t *address)
{
    for (int k = 0; k < 600 && !release_lookups.load(); k++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    *address = htonl(INADDR_LOOPBACK);
    return 0;
}

void wait_lookups_done()
{
    for (int k = 0; k < 600 && net_lookups_in_use() > 0; k++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

}  // namespace

// A host name is looked up off the calling thread: the connect is under
// way (lookup set) until the look-up answers, then goes on as a dotted
// address does. The waiting form covers the look-up with its time-out.
TEST_F(ConnectionTest, NamesAreLookedUpOffTheThread)
{
    ScriptedServer server({}, true);
    server.start();
    const std::string address = "localhost:" + std::to_string(server.port);
    ASSERT_EQ(net_connect(&c, address.c_str(), 1), 0);
    EXPECT_STREQ(c.host, "localhost");
    EXPECT_EQ(c.lookup, 0);
    EXPECT_EQ(net_send_buf(&c, "NICK a\n"), 7);
    net_quit(&c);

    // In steps: nothing waits while the look-up is held.
    release_lookups = 0;
    net_lookup_host = held_loopback;
    long long start = now_ms();
    EXPECT_EQ(net_connect_begin(&c, address.c_str()), 1);
    EXPECT_NE(c.lookup, 0);
    EXPECT_EQ(c.connecting, 1);
    EXPECT_EQ(c.socket, 0);
    for (int k = 0; k < 20; k++)
        EXPECT_EQ(net_connect_check(&c), 1);
    EXPECT_EQ(net_send_buf(&c, "x\n"), -1);
    // The look-up is held until released: any wait would never end.
    EXPECT_LT(now_ms() - start, 500);
    release_lookups = 1;
    int r = 1;
    for (int k = 0; k < 600 && r == 1; k++) {
        r = net_connect_check(&c);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(r, 0);
    EXPECT_EQ(c.connected, 1);
    EXPECT_EQ(c.lookup, 0);
    EXPECT_EQ(net_lookups_in_use(), 0);
    net_quit(&c);

    // The waiting form gives a look-up that does not answer its time-out.
    release_lookups = 0;
    start = now_ms();
    EXPECT_EQ(net_connect(&c, address.c_str(), 1), -1);
    long long took = now_ms() - start;
    EXPECT_GE(took, 950);
    EXPECT_LT(took, 2000);
    EXPECT_EQ(c.connecting, 0);
    EXPECT_EQ(c.lookup, 0);
    release_lookups = 1;
    wait_lookups_done();
    EXPECT_EQ(net_lookups_in_use(), 0);
    net_lookup_host = net_lookup_with_system;
}

// Look-ups given up (a goodbye or another connect while one runs) free
// their slots once they return; while all slots are taken a further name
// fails at once, and a dotted address needs none.
TEST_F(ConnectionTest, LookUpSlotsAreBoundedAndFreed)
{
    release_lookups = 0;
    net_lookup_host = held_loopback;
    ServerConnection many[NET_LOOKUP_SLOTS];
    for (ServerConnection &m : many) {
        net_reset(&m);
        EXPECT_EQ(net_connect_begin(&m, "somewhere.test:20185"), 1);
    }
    EXPECT_EQ(net_lookups_in_use(), (int)NET_LOOKUP_SLOTS);
    long long start = now_ms();
    EXPECT_EQ(net_connect_begin(&c, "elsewhere.test:20185"), -1);
    EXPECT_LT(now_ms() - start, 50);
    EXPECT_EQ(c.connecting, 0);
    ScriptedServer server({}, true);
    server.start();
    EXPECT_EQ(net_connect(&c, server.address().c_str(), 1), 0);
    net_quit(&c);

    // Given up in all the ways a record lets go of a connect.
    net_quit(&many[0]);
    net_close(&many[1]);
    EXPECT_EQ(net_connect_begin(&many[2], server.address().c_str()) >= 0, true);
    char buffer[NET_FETCH_BYTES + 1];
    EXPECT_EQ(net_fetch_buf(&many[3], buffer, nullptr), -1);
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(many[k].lookup, 0);
    // The last ones finish normally once answered.
    release_lookups = 1;
    for (int k = 4; k < NET_LOOKUP_SLOTS; k++) {
        int r = 1;
        for (int n = 0; n < 600 && r == 1; n++) {
            r = net_connect_check(&many[k]);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_NE(r, 1);
        EXPECT_EQ(many[k].lookup, 0);
    }
    wait_lookups_done();
    EXPECT_EQ(net_lookups_in_use(), 0);
    for (ServerConnection &m : many)
        net_quit(&m);
    net_lookup_host = net_lookup_with_system;
}

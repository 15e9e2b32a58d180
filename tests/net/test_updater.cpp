// The updater against a small HTTP server on 127.0.0.1 that this test runs
// in a thread of its own.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/md5.h"
#include "net/updater.h"
#include "support/test_support.h"

namespace {

struct CannedReply {
    std::string path;    // request path before any '?'
    int status;
    std::string body;
};

// Serves canned replies, one request a connection, until stopped or for at
// most 20 seconds.
class TestServer {
public:
    explicit TestServer(std::vector<CannedReply> replies) : replies_(std::move(replies))
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        bind(listener_, (sockaddr *)&addr, sizeof addr);
        listen(listener_, 8);
        socklen_t len = sizeof addr;
        getsockname(listener_, (sockaddr *)&addr, &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~TestServer()
    {
        stop_ = true;
        thread_.join();
        close(listener_);
    }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> requests;

private:
    void serve()
    {
        for (int tick = 0; tick < 200 && !stop_; tick++) {
            pollfd p = {listener_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            int c = accept(listener_, nullptr, nullptr);
            if (c < 0)
                continue;
            answer(c);
            close(c);
        }
    }
    void answer(int c)
    {
        std::string request;
        char buf[1024];
        for (int reads = 0; reads < 64 && request.find("\r\n\r\n") == std::string::npos; reads++) {
            pollfd p = {c, POLLIN, 0};
            if (poll(&p, 1, 1000) <= 0)
                break;
            ssize_t n = recv(c, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            request.append(buf, (size_t)n);
        }
        size_t start = request.find(' ');
        size_t end = request.find_first_of("? ", start + 1);
        std::string path = start == std::string::npos ? "" : request.substr(start + 1, end - start - 1);
        requests.push_back(path);
        int status = 404;
        std::string body = "missing";
        for (const CannedReply &r : replies_)
            if (r.path == path) {
                status = r.status;
                body = r.body;
            }
        std::string reply = "HTTP/1.0 " + std::to_string(status) + (status == 200 ? " OK" : " Error") +
                            "\r\nContent-Length: " + std::to_string(body.size()) +
                            "\r\nConnection: close\r\n\r\n" + body;
        send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
    }

    std::vector<CannedReply> replies_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::string md5_of(const std::string &text)
{
    char hex[MD5_HEX_BYTES];
    md5_hex_string(text.c_str(), hex, sizeof hex);
    return hex;
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// Runs each test in a folder of its own as the working directory, with the
// log in a file there.
class Updater : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(getcwd(old_dir_, sizeof old_dir_), nullptr);
        dir_ = test_tmp_path(::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::string cmd = "rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        update_stop = 0;
        ASSERT_EQ(open_update_log("autoupdate.log"), 0);
    }
    void TearDown() override
    {
        close_update_log();
        update_stop = 0;
        EXPECT_EQ(chdir(old_dir_), 0);
    }
    std::string log()
    {
        close_update_log();
        std::string text = read_whole_file("autoupdate.log");
        open_update_log("autoupdate.log.more");
        return text;
    }
    char old_dir_[1024];
    std::string dir_;
};

TEST_F(Updater, ReadsListLinesFlagsAndChecksums)
{
    write_whole_file("same.txt", "same");
    std::string list =
        "# a comment\n"
        "Data/Upper.TXT " + md5_of("x") + "\n"
        "flag18.txt " + md5_of("x") + " 18\n"
        "flag2.txt " + md5_of("x") + " 2\n"
        "flag0.txt 0 0\n"
        "[tag]data/tagged.txt 1\n"
        "same.txt " + md5_of("same") + "\n"
        "lonely\n"
        "\n"
        "short.txt abc\n";
    write_whole_file("list.txt", list);
    UpdateList items = {nullptr, 0, 0};
    ASSERT_EQ(read_update_list("list.txt", &items), 0);
    struct Want { const char *name, *local; int fields, flags; } want[] = {
        {"data/upper.txt", "data/upper.txt", 2, 0},
        {"flag18.txt", "flag18.txt", 3, 18},
        {"flag0.txt", "flag0.txt", 3, 0},
        {"[tag]data/tagged.txt", "data/tagged.txt", 2, 0},
    };
    ASSERT_EQ(items.count, 4);
    for (int i = 0; i < 4; i++) {
        EXPECT_STREQ(items.items[i]->name, want[i].name);
        EXPECT_STREQ(items.items[i]->local_path, want[i].local);
        EXPECT_EQ(items.items[i]->fields, want[i].fields);
        EXPECT_EQ(items.items[i]->flags, want[i].flags);
    }
    free_update_list(&items);
    std::string text = log();
    EXPECT_TRUE(contains(text, " Wrong number of parameters (1). Skipped.\n")) << text;
    EXPECT_TRUE(contains(text, " Wrong number of parameters (-1). Skipped.\n")) << text;
    EXPECT_TRUE(contains(text, " Checksum wrong length (3): \"abc\". Skipped.\n")) << text;
    EXPECT_FALSE(contains(text, "flag2")) << text;
    EXPECT_FALSE(contains(text, "same")) << text;

    write_whole_file("busy.txt", "<!DOCTYPE html>\n<html>\n");
    EXPECT_EQ(read_update_list("busy.txt", &items), 1);
    EXPECT_EQ(items.count, 0);
    EXPECT_EQ(process_update_list("busy.txt", "127.0.0.1:1", 0), 1);
    EXPECT_TRUE(contains(read_whole_file("autoupdate.log.more"), "busy.txt content invalid - server might be busy. Aborting.\n"));
}

TEST_F(Updater, RefusesHostileNames)
{
    const char *hostile[] = {"../escape.txt", "/etc/passwd", "data/../../x.txt", "a//b.txt",
                             "a\\b.txt", "./x.txt", "data/", "..", "c:x.txt"};
    // The tag is cut before the check, so this name is hostile only then.
    std::string list = "[tag]../x.txt 1\n";
    for (const char *name : hostile) {
        EXPECT_EQ(safe_update_path(name), 0) << name;
        list += std::string(name) + " 1\n";
    }
    std::string longname(300, 'a');
    EXPECT_EQ(safe_update_path(longname.c_str()), 0);
    for (const char *name : {"a.txt", "data/x/y.lua", "..hidden/a", "a..b"})
        EXPECT_EQ(safe_update_path(name), 1) << name;

    write_whole_file("list.txt", list);
    UpdateList items = {nullptr, 0, 0};
    ASSERT_EQ(read_update_list("list.txt", &items), 0);
    EXPECT_EQ(items.count, 0);
    free_update_list(&items);
    std::string text = log();
    EXPECT_TRUE(contains(text, "Unsafe file name ../escape.txt. Skipped.\n")) << text;
    EXPECT_TRUE(contains(text, "Unsafe file name [tag]../x.txt. Skipped.\n")) << text;
}

TEST_F(Updater, InstallsVerifiedFilesOnly)
{
    std::string good = "new good content\n";
    std::string tool = "#!/bin/sh\n";
    std::string game = "new program";
    TestServer server({
        {"/cp/ver_updates.php", 200, "bin/game.exe " + md5_of(game) + "\n"},
        {"/cp/bin/game.exe", 200, game},
        {"/zylomach/allfiles.php", 200,
         "data/good.txt " + md5_of(good) + "\n"
         "data/bad.txt " + md5_of("what was promised") + "\n"
         "data/gone.txt " + md5_of("x") + "\n"
         "keep.txt 0\n"
         "always.txt 1\n"
         "tool.sh " + md5_of(tool) + " 26\n"},
        {"/cp/data/good.txt", 200, good},
        {"/cp/data/bad.txt", 200, "something else"},
        {"/cp/keep.txt", 200, "never fetched"},
        {"/cp/always.txt", 200, "unverified"},
        {"/cp/tool.sh", 200, tool},
    });
    mkdir("data", 0755);
    write_whole_file("data/good.txt", "old good");
    write_whole_file("data/bad.txt", "old bad");
    write_whole_file("keep.txt", "mine");
    write_whole_file("always.txt", "mine too");

    fetch_update_lists(server.host().c_str(), server.host().c_str());

    EXPECT_EQ(read_whole_file("bin/game.upd"), game);
    EXPECT_EQ(read_whole_file("data/good.txt"), good);
    EXPECT_EQ(read_whole_file("data/bad.txt"), "old bad");
    EXPECT_EQ(read_whole_file("keep.txt"), "mine");
    EXPECT_EQ(read_whole_file("always.txt"), "mine too");
    EXPECT_EQ(read_whole_file("data/gone.txt", "none"), "none");
    EXPECT_EQ(read_whole_file("tool.sh"), tool);
    struct stat st;
    ASSERT_EQ(stat("tool.sh", &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    for (const char *leftover : {"data/bad.tmp", "data/good.tmp", "data/gone.tmp", "bin/game.tmp"})
        EXPECT_NE(access(leftover, F_OK), 0) << leftover;

    std::string text = log();
    for (const char *line : {
             " Fetching version updates...\n",
             " Downloading bin/game.upd - New file\n",
             " Update done - 1 new files downloaded.\n",
             " Fetching files updates...\n",
             " Downloading data/good.txt - Updated file\n",
             " Wrong checksum in downloaded file: data/bad.txt. Deleted.\n",
             " curl error - 22\n",
             " Failed to download file: data/gone.txt. Continuing.\n",
             " No checksum for always.txt. Skipped.\n",
             " Downloading tool.sh - New file\n",
             " Update done - 2 new files downloaded.\n"})
        EXPECT_TRUE(contains(text, line)) << line << "\n" << text;
    EXPECT_FALSE(contains(text, "keep.txt")) << text;
    // Every line carries the day-month-year stamp.
    EXPECT_EQ(text[2], '-');
    EXPECT_EQ(text[5], '-');
}

TEST_F(Updater, LogsAnUnreachableServer)
{
    // A port that was free a moment ago and has no listener now.
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, (sockaddr *)&addr, sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(s, (sockaddr *)&addr, &len);
    close(s);
    std::string host = "127.0.0.1:" + std::to_string(ntohs(addr.sin_port));

    fetch_update_lists(host.c_str(), host.c_str());
    std::string text = log();
    EXPECT_TRUE(contains(text, " curl error - 7\n")) << text;
    EXPECT_TRUE(contains(text, " Unable to download http://" + host + "/cp/ver_updates.php .\n")) << text;
    EXPECT_TRUE(contains(text, " Unable to download http://" + host + "/zylomach/allfiles.php .\n")) << text;
    EXPECT_NE(access("files_updates.txt", F_OK), 0);
}

}  // namespace

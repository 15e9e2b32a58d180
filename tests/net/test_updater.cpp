// The updater against a small HTTP server on 127.0.0.1 that this test runs
// in a thread of its own.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "net/md5.h"
#include "net/scripted_peer.h"
#include "core/safe_file.h"
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

// A release key made for the test: the updater is pointed at its public
// half, and lists are signed with it as the release tooling does.
class TestKey {
public:
    TestKey()
    {
        EVP_PKEY_CTX *context = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
        EVP_PKEY_keygen_init(context);
        EVP_PKEY_keygen(context, &key_);
        EVP_PKEY_CTX_free(context);
        size_t n = sizeof public_;
        EVP_PKEY_get_raw_public_key(key_, public_, &n);
    }
    ~TestKey() { EVP_PKEY_free(key_); }
    void install() const { memcpy(update_public_key, public_, sizeof public_); }
    // The list as served: the signature line, then the body it signs.
    std::string sign(const std::string &body) const
    {
        unsigned char signature[UPDATE_SIGNATURE_BYTES];
        size_t n = sizeof signature;
        EVP_MD_CTX *context = EVP_MD_CTX_new();
        EVP_DigestSignInit(context, nullptr, nullptr, nullptr, key_);
        EVP_DigestSign(context, signature, &n, (const unsigned char *)body.data(), body.size());
        EVP_MD_CTX_free(context);
        std::string line = "#signature ";
        char hex[3];
        for (size_t i = 0; i < n; i++) {
            snprintf(hex, sizeof hex, "%02x", signature[i]);
            line += hex;
        }
        return line + "\n" + body;
    }

private:
    EVP_PKEY *key_ = nullptr;
    unsigned char public_[UPDATE_KEY_BYTES] = {};
};

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
        memcpy(shipped_key_, update_public_key, sizeof shipped_key_);
        key_.install();
        ASSERT_EQ(open_update_log("autoupdate.log"), 0);
    }
    void TearDown() override
    {
        close_update_log();
        update_stop = 0;
        memcpy(update_public_key, shipped_key_, sizeof shipped_key_);
        EXPECT_EQ(chdir(old_dir_), 0);
    }
    std::string log()
    {
        close_update_log();
        std::string text = read_whole_file("autoupdate.log");
        open_update_log("autoupdate.log.more");
        return text;
    }
    // Every file under the test's folder with its content, except the log
    // and the lists.
    std::string tree()
    {
        std::string listing;
        walk(".", &listing);
        return listing;
    }
    void walk(const std::string &folder, std::string *listing)
    {
        DIR *dir = opendir(folder.c_str());
        if (!dir)
            return;
        std::vector<std::string> names;
        while (dirent *entry = readdir(dir))
            names.push_back(entry->d_name);
        closedir(dir);
        std::sort(names.begin(), names.end());
        for (const std::string &name : names) {
            if (name == "." || name == ".." || name.rfind("autoupdate.log", 0) == 0 ||
                name == "ver_updates.txt" || name == "files_updates.txt")
                continue;
            std::string path = folder + "/" + name;
            struct stat st;
            if (lstat(path.c_str(), &st) != 0)
                continue;
            if (S_ISDIR(st.st_mode)) {
                *listing += path + "/\n";
                walk(path, listing);
            } else {
                *listing += path + " " + std::to_string(st.st_mode & 0777) + " " +
                            read_whole_file(path) + "\n";
            }
        }
    }
    TestKey key_;
    unsigned char shipped_key_[UPDATE_KEY_BYTES];
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
    std::string game = "new program";
    std::string helper = "helper build";
    TestServer server({
        {"/cp/ver_updates.php", 200,
         key_.sign("zylomach " + md5_of(game) + " 26\n"
                   "helper.exe " + md5_of(helper) + "\n")},
        {"/cp/zylomach", 200, game},
        {"/cp/helper.exe", 200, helper},
        {"/zylomach/allfiles.php", 200,
         key_.sign("data/good.txt " + md5_of(good) + "\n"
                   "data/bad.txt " + md5_of("what was promised") + "\n"
                   "data/gone.txt " + md5_of("x") + "\n"
                   "data/keep.txt 0\n"
                   "data/always.txt 1\n"
                   "data/new/deep.txt " + md5_of(good) + "\n")},
        {"/cp/data/good.txt", 200, good},
        {"/cp/data/bad.txt", 200, "something else"},
        {"/cp/data/keep.txt", 200, "never fetched"},
        {"/cp/data/always.txt", 200, "unverified"},
        {"/cp/data/new/deep.txt", 200, good},
    });
    mkdir("data", 0755);
    write_whole_file("data/good.txt", "old good");
    write_whole_file("data/bad.txt", "old bad");
    write_whole_file("data/keep.txt", "mine");
    write_whole_file("data/always.txt", "mine too");

    fetch_update_lists(server.host().c_str(), server.host().c_str());

    // The program's new build lands beside it, executable; another program
    // of the version list lands too, but never executable.
    EXPECT_EQ(read_whole_file("zylomach.upd"), game);
    struct stat st;
    ASSERT_EQ(stat("zylomach.upd", &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    EXPECT_EQ(read_whole_file("helper.upd"), helper);
    ASSERT_EQ(stat("helper.upd", &st), 0);
    EXPECT_FALSE(st.st_mode & 0111);
    EXPECT_EQ(read_whole_file("data/good.txt"), good);
    EXPECT_EQ(read_whole_file("data/new/deep.txt"), good);
    EXPECT_EQ(read_whole_file("data/bad.txt"), "old bad");
    EXPECT_EQ(read_whole_file("data/keep.txt"), "mine");
    EXPECT_EQ(read_whole_file("data/always.txt"), "mine too");
    EXPECT_EQ(read_whole_file("data/gone.txt", "none"), "none");
    // No temporary file is left anywhere.
    EXPECT_FALSE(contains(tree(), ".tmp")) << tree();

    std::string text = log();
    for (const char *line : {
             " Fetching version updates...\n",
             " Downloading zylomach.upd - New file\n",
             " Downloading helper.upd - New file\n",
             " Update done - 2 new files downloaded.\n",
             " Fetching files updates...\n",
             " Downloading data/good.txt - Updated file\n",
             " Wrong checksum in downloaded file: data/bad.txt. Deleted.\n",
             " curl error - 22\n",
             " Failed to download file: data/gone.txt. Continuing.\n",
             " No checksum for data/always.txt. Skipped.\n",
             " Downloading data/new/deep.txt - New file\n",
             " Update done - 2 new files downloaded.\n"})
        EXPECT_TRUE(contains(text, line)) << line << "\n" << text;
    EXPECT_FALSE(contains(text, "keep.txt")) << text;
    // Every line carries the day-month-year stamp.
    EXPECT_EQ(text[2], '-');
    EXPECT_EQ(text[5], '-');
}

TEST_F(Updater, HostileSignedListInstallsNothing)
{
    // Even a list that verifies cannot plant files: wrong digests, paths out
    // of the data tree, executables and unverified content are all refused.
    std::string script = "os.execute('x')\n";
    std::string tool = "#!/bin/sh\nrm -rf ~\n";
    TestServer server({
        {"/cp/ver_updates.php", 200,
         key_.sign("../zylomach " + md5_of(tool) + " 26\n"
                   "data/zylomach " + md5_of(tool) + " 26\n"
                   "helper " + md5_of(tool) + " 26\n")},
        {"/zylomach/allfiles.php", 200,
         key_.sign("data/script/startup.lua " + md5_of(script) + "\n"
                   "../escape.txt " + md5_of(script) + "\n"
                   "data/../../up.txt " + md5_of(script) + "\n"
                   "/tmp/abs.txt " + md5_of(script) + "\n"
                   "[tag]../tagged.txt " + md5_of(script) + "\n"
                   "default.cfg " + md5_of(script) + "\n"
                   "zylomach " + md5_of(tool) + " 26\n"
                   "data/bin/tool.sh " + md5_of(tool) + " 26\n"
                   "data/blank.txt 1\n")},
        {"/cp/data/script/startup.lua", 200, "-- not what the list promised\n"},
        {"/cp/../escape.txt", 200, script},
        {"/cp/default.cfg", 200, script},
        {"/cp/zylomach", 200, tool},
        {"/cp/data/zylomach", 200, tool},
        {"/cp/data/bin/tool.sh", 200, tool},
        {"/cp/data/blank.txt", 200, script},
    });
    mkdir("data", 0755);
    mkdir("data/script", 0755);
    write_whole_file("data/script/startup.lua", "-- the shipped script\n");
    write_whole_file("default.cfg", "volume \"3\"\r\n");
    const std::string before = tree();

    fetch_update_lists(server.host().c_str(), server.host().c_str());

    EXPECT_EQ(tree(), before);
    EXPECT_NE(access("../escape.txt", F_OK), 0);
    EXPECT_NE(access("../up.txt", F_OK), 0);
    EXPECT_NE(access("/tmp/abs.txt", F_OK), 0);
    std::string text = log();
    for (const char *line : {
             " Wrong checksum in downloaded file: data/script/startup.lua. Deleted.\n",
             " Unsafe file name ../escape.txt. Skipped.\n",
             " Not an update path: default.cfg. Skipped.\n",
             " Not an update path: data/zylomach. Skipped.\n",
             " Refused to make helper.upd executable. Skipped.\n",
             " Refused to make data/bin/tool.sh executable. Skipped.\n",
             " No checksum for data/blank.txt. Skipped.\n",
             " Update done - 0 new files downloaded.\n"})
        EXPECT_TRUE(contains(text, line)) << line << "\n" << text;
    EXPECT_FALSE(contains(text, "Update done - 1")) << text;
}

TEST_F(Updater, ListsWithoutTheReleaseSignatureAreNotUsed)
{
    std::string good = "content\n";
    std::string body = "data/a.txt " + md5_of(good) + "\n";
    TestKey stranger;
    std::string tampered = key_.sign(body);
    tampered.replace(tampered.find("data/a.txt"), 10, "data/b.txt");
    struct Case {
        const char *what;
        std::string list;
    } cases[] = {
        {"unsigned", body},
        {"signed by another key", stranger.sign(body)},
        {"changed after signing", tampered},
        {"signature cut short", key_.sign(body).substr(0, 60) + "\n" + body},
        {"empty", ""},
    };
    for (const Case &c : cases) {
        TestServer server({
            {"/cp/ver_updates.php", 200, c.list},
            {"/zylomach/allfiles.php", 200, c.list},
            {"/cp/data/a.txt", 200, good},
            {"/cp/data/b.txt", 200, good},
        });
        fetch_update_lists(server.host().c_str(), server.host().c_str());
        EXPECT_NE(access("data/a.txt", F_OK), 0) << c.what;
        EXPECT_NE(access("data/b.txt", F_OK), 0) << c.what;
        std::string text = log();
        EXPECT_TRUE(contains(text, "files_updates.txt is not signed with the release key. Aborting."))
            << c.what << "\n" << text;
        for (const std::string &request : server.requests)
            EXPECT_EQ(request.rfind("/cp/data/", 0), std::string::npos) << c.what << " " << request;
    }
    // The same list, signed, is used.
    TestServer server({{"/zylomach/allfiles.php", 200, key_.sign(body)}, {"/cp/data/a.txt", 200, good}});
    fetch_update_lists(server.host().c_str(), server.host().c_str());
    EXPECT_EQ(read_whole_file("data/a.txt"), good);
}

// The runtime folder as a development run lays it out: "data" links to the
// data tree elsewhere, and inside that tree links lead on, some out of both.
class UpdaterLinked : public Updater {
protected:
    void SetUp() override
    {
        Updater::SetUp();
        if (HasFatalFailure())
            return;
        tree_ = dir_ + "_tree";
        outside_ = dir_ + "_outside";
        std::string cmd = "rm -rf '" + tree_ + "' '" + outside_ + "' && mkdir -p '" + tree_ +
                          "/data/sub' '" + outside_ + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
        write_whole_file(outside_ + "/target.txt", "not the game's\n");
        ASSERT_EQ(symlink((tree_ + "/data").c_str(), "data"), 0);
        ASSERT_EQ(symlink(outside_.c_str(), "data/evil"), 0);
        ASSERT_EQ(symlink((outside_ + "/target.txt").c_str(), "data/link.txt"), 0);
        ASSERT_EQ(symlink((outside_ + "/none.txt").c_str(), "data/dangling.txt"), 0);
        ASSERT_EQ(symlink((tree_ + "/data/sub").c_str(), "data/alias"), 0);
        ASSERT_EQ(symlink("sub/inner.txt", "data/near.txt"), 0);
        write_whole_file("data/sub/inner.txt", "inner\n");
        ASSERT_EQ(mkdir("docs", 0755), 0);
    }
    // The names in the folder outside both game folders, and the one file's
    // content.
    std::string outside_listing()
    {
        std::vector<std::string> names;
        if (DIR *dir = opendir(outside_.c_str())) {
            while (dirent *entry = readdir(dir))
                if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                    names.push_back(entry->d_name);
            closedir(dir);
        }
        std::sort(names.begin(), names.end());
        std::string listing;
        for (const std::string &name : names)
            listing += name + "\n";
        return listing + read_whole_file(outside_ + "/target.txt");
    }
    std::string tree_, outside_;
};

TEST_F(UpdaterLinked, WritePathsMustResolveInsideTheGameFolders)
{
    struct Case {
        const char *path;
        int inside;
    } cases[] = {
        {"a.upd", 1},                   // beside the program
        {"docs/x.txt", 1},              // a real folder of the game folder
        {"data/a.txt", 1},              // the linked data folder counts as inside
        {"data/new/deep/x.txt", 1},     // folders still to be made, inside
        {"data/alias/x.txt", 1},        // a link within the data tree that stays in it
        {"data/near.txt", 1},           // a final link that stays inside
        {"data/evil/x.txt", 0},         // a link inside data that leads out
        {"data/evil/new/x.txt", 0},     // ... also below folders still to be made
        {"data/link.txt", 0},           // the final name links out
        {"data/dangling.txt", 0},       // ... or to nothing
        {"data/dangling.txt/x.txt", 0}, // a dangling link on the way
        {"data/sub/inner.txt/x", 0},    // a file on the way
    };
    for (const Case &c : cases)
        EXPECT_EQ(write_path_in_game_folders(c.path), c.inside) << c.path;
    EXPECT_EQ(outside_listing(), "target.txt\nnot the game's\n");
}

TEST_F(UpdaterLinked, DownloadsNeverLandThroughLinksOutOfTheGame)
{
    std::string good = "new content\n";
    std::string hostile = "planted\n";
    TestServer server({
        {"/zylomach/allfiles.php", 200,
         key_.sign("data/evil/x.txt " + md5_of(hostile) + "\n"
                   "data/evil/new/x.txt " + md5_of(hostile) + "\n"
                   "data/link.txt " + md5_of(hostile) + "\n"
                   "data/dangling.txt " + md5_of(hostile) + "\n"
                   "data/a.txt " + md5_of(good) + "\n"
                   "data/new/deep.txt " + md5_of(good) + "\n")},
        {"/cp/data/evil/x.txt", 200, hostile},
        {"/cp/data/evil/new/x.txt", 200, hostile},
        {"/cp/data/link.txt", 200, hostile},
        {"/cp/data/dangling.txt", 200, hostile},
        {"/cp/data/a.txt", 200, good},
        {"/cp/data/new/deep.txt", 200, good},
    });

    fetch_update_lists(server.host().c_str(), server.host().c_str());

    // Nothing landed outside, and the links at the names are still links.
    EXPECT_EQ(outside_listing(), "target.txt\nnot the game's\n");
    struct stat st;
    ASSERT_EQ(lstat("data/link.txt", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(lstat("data/dangling.txt", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    // What resolves inside is installed, in the data tree the link leads to.
    EXPECT_EQ(read_whole_file(tree_ + "/data/a.txt"), good);
    EXPECT_EQ(read_whole_file(tree_ + "/data/new/deep.txt"), good);
    std::string text = log();
    for (const char *line : {
             " Update path leads outside the game folder: data/evil/x.txt. Skipped.\n",
             " Update path leads outside the game folder: data/evil/new/x.txt. Skipped.\n",
             " Update path leads outside the game folder: data/link.txt. Skipped.\n",
             " Update path leads outside the game folder: data/dangling.txt. Skipped.\n",
             " Update done - 2 new files downloaded.\n"})
        EXPECT_TRUE(contains(text, line)) << line << "\n" << text;
    for (const std::string &request : server.requests)
        EXPECT_EQ(request.find("evil"), std::string::npos) << request;
}

TEST(UpdaterStart, CommandLineAndStoredSettingDecide)
{
    struct Case {
        std::vector<const char *> args;
        const char *stored;
        int fallback, wanted;
    } cases[] = {
        {{"zylomach"}, nullptr, 1, 1},
        {{"zylomach"}, "", 1, 1},
        {{"zylomach"}, "0", 1, 0},
        {{"zylomach"}, "1", 0, 1},
        {{"zylomach", "-autoupdate", "0"}, nullptr, 1, 0},
        {{"zylomach", "-autoupdate", "0"}, "1", 1, 0},
        {{"zylomach", "-autoupdate", "1"}, "0", 1, 1},
        {{"zylomach", "-autoupdate", "0", "x.rpl", "-autoupdate", "1"}, nullptr, 1, 1},
        {{"zylomach", "/autoupdate", "0"}, nullptr, 1, 0},
        {{"zylomach", "-autoupdate"}, "0", 1, 0},
        {{"zylomach", "-autoupdatex", "0"}, nullptr, 1, 1},
    };
    for (const Case &c : cases) {
        std::vector<char *> argv;
        for (const char *a : c.args)
            argv.push_back(const_cast<char *>(a));
        argv.push_back(nullptr);
        EXPECT_EQ(autoupdate_wanted((int)c.args.size(), argv.data(), c.stored, c.fallback), c.wanted)
            << c.args.size() << " " << (c.stored ? c.stored : "(none)");
    }
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

// A stop asked for while a server stalls mid-transfer ends the transfer
// at once: the child does not outlive the game by the transfer's time-out.
TEST_F(Updater, StopEndsAStalledTransfer)
{
    ScriptedPeer stalled;   // takes the request and never answers
    std::thread stopper([&] {
        if (stalled.wait_for("GET ", 10000))
            update_stop = 1;
    });
    auto start = std::chrono::steady_clock::now();
    std::string url = "http://" + stalled.address() + "/cp/ver_updates.php";
    EXPECT_NE(fetch_url_to_file(url.c_str(), "ver_updates.txt"), 0);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    stopper.join();
    stalled.stop();
    EXPECT_LT(seconds, 10.0);
    EXPECT_NE(access("ver_updates.txt", F_OK), 0);
}

}  // namespace

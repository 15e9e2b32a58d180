// Whole-file writes: the temporary file beside the name, the rename over the
// old file, and what a kill in the middle leaves; the replay writer and the
// autosave names on top of it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "core/outward.h"
#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/replay_file.h"
#include "core/rules.h"
#include "core/safe_file.h"
#include "core/text.h"
#include "core/world.h"
#include "support/kill_write.h"
#include "support/test_support.h"

namespace {

std::string fresh_dir(const char *name)
{
    std::string dir = test_tmp_path(name);
    mkdir(dir.c_str(), 0775);
    return dir;
}

TEST(SafeFile, CommitReplacesAndAbandonKeepsTheOldFile)
{
    std::string path = fresh_dir("safe_basic") + "/data.txt";
    ASSERT_TRUE(write_whole_file(path, "old"));
    chmod(path.c_str(), 0600);

    SafeFile out;
    ASSERT_EQ(safe_open(&out, path.c_str()), 0);
    fputs("new, half", out.f);
    // Until the commit the old file is untouched.
    EXPECT_EQ(read_whole_file(path), "old");
    safe_abandon(&out);
    EXPECT_EQ(read_whole_file(path), "old");
    EXPECT_EQ(remove_stale_temporaries(path), 0);

    ASSERT_EQ(safe_open(&out, path.c_str()), 0);
    fputs("new", out.f);
    ASSERT_EQ(safe_commit(&out), 0);
    EXPECT_EQ(read_whole_file(path), "new");
    EXPECT_EQ(remove_stale_temporaries(path), 0);
    // The old file's permissions are kept.
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // An executable bit never carries over.
    chmod(path.c_str(), 0755);
    EXPECT_EQ(safe_write_bytes(path.c_str(), "x", 1), 0);
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0111, 0u);
    EXPECT_EQ(read_whole_file(path), "x");
}

TEST(SafeFile, FailuresLeaveNothingBehind)
{
    testing::internal::CaptureStderr();
    SafeFile out;
    EXPECT_EQ(safe_open(&out, (test_tmp_path("no_such_folder") + "/x/y.txt").c_str()), 1);
    EXPECT_EQ(safe_open(&out, ""), 1);
    EXPECT_EQ(safe_open(&out, nullptr), 1);
    std::string long_path(SAFE_PATH_BYTES + 10, 'a');
    EXPECT_EQ(safe_open(&out, long_path.c_str()), 1);
    EXPECT_EQ(safe_commit(nullptr), 1);
    // A rename onto a folder fails: the temporary file goes away.
    std::string dir = fresh_dir("safe_fail");
    std::string folder = dir + "/taken";
    mkdir(folder.c_str(), 0775);
    ASSERT_TRUE(write_whole_file(folder + "/inside", "keep"));
    EXPECT_EQ(safe_write_bytes(folder.c_str(), "x", 1), 1);
    EXPECT_EQ(read_whole_file(folder + "/inside"), "keep");
    EXPECT_EQ(remove_stale_temporaries(folder), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Unable to"), std::string::npos) << err;
}

// Only regular files are replaced: a FIFO, a device or a folder at the path
// stays what it is. A file the owner could not read or write becomes one
// the owner can, so that the program reads back what it wrote.
TEST(SafeFile, OnlyRegularFilesAreReplacedAndTheOwnerCanReadThem)
{
    std::string dir = fresh_dir("safe_kinds");
    std::string fifo = dir + "/pipe.cfg", locked = dir + "/locked.cfg";
    unlink(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(safe_write_bytes(fifo.c_str(), "x", 1), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Unable to replace " + fifo + ": not a regular file\n");
    struct stat st;
    ASSERT_EQ(stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(remove_stale_temporaries(fifo), 0);

    const struct {
        mode_t before, after;
    } modes[] = {{0000, 0600}, {0200, 0600}, {0444, 0644}, {0640, 0640}};
    for (const auto &m : modes) {
        ASSERT_TRUE(write_whole_file(locked, "old"));
        chmod(locked.c_str(), m.before);
        ASSERT_EQ(safe_write_bytes(locked.c_str(), "new", 3), 0) << std::oct << m.before;
        ASSERT_EQ(stat(locked.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, m.after) << std::oct << m.before;
        EXPECT_EQ(read_whole_file(locked), "new");
    }
}

TEST(SafeFile, KillDuringWriteLeavesOldOrNewWhole)
{
    std::string path = fresh_dir("safe_kill") + "/blob.bin";
    std::string old_content(200000, 'o');
    std::string new_content;
    for (int i = 0; i < 30000; i++)
        new_content += "line " + std::to_string(i) + "\n";
    expect_whole_after_kills(path, old_content, new_content, [&] {
        safe_write_bytes(path.c_str(), new_content.data(), new_content.size());
    });
    remove_stale_temporaries(path);
}

// ---- replays ----------------------------------------------------------------------

class SafeReplay : public ::testing::Test {
protected:
    void SetUp() override
    {
        core_outward = CoreOutward();
        core_outward.echo = [](const char *text, int) { last_echo = text; };
        game_init();
        fill_default_rules(0, &current_rules);
        clear_replay_from(0);
        set_player_name(0, "kasu");
        set_player_name(1, "uke");
        set_fight_name("");
        set_replay_author("");
        ASSERT_NE(getcwd(old_dir_, sizeof old_dir_), nullptr);
    }
    void TearDown() override
    {
        EXPECT_EQ(chdir(old_dir_), 0);
        game_shutdown();
        core_outward = CoreOutward();
    }
    // Records with positions and joints, so that the file is large.
    void fill(int records, int seed)
    {
        for (int i = 0; i < records; i++) {
            ReplayFrame *r = get_replay_frame(i);
            ASSERT_NE(r, nullptr);
            r->frame = i * 10;
            for (int p = 0; p < 2; p++) {
                r->change_counts[p] = 1;
                r->flags[p] |= RF_POS;
                for (int b = 0; b < NUM_BODIES; b++)
                    for (int k = 0; k < 3; k++)
                        r->positions[p][b][k] = seed + i * 0.001 + b + k * 0.1;
                r->joint_states[p][i % NUM_JOINTS] = 1 + seed % 3;
            }
        }
        match_state.frames_recorded = records;
    }
    static std::string last_echo;
    char old_dir_[4096];
};
std::string SafeReplay::last_echo;

TEST_F(SafeReplay, KillDuringReplayWriteLeavesOldOrNewWhole)
{
    std::string path = fresh_dir("safe_replay") + "/match.rpl";
    fill(REPLAY_FRAMES, 1);
    ASSERT_EQ(write_replay(path.c_str(), 0), 0);
    std::string old_content = read_whole_file(path);
    fill(REPLAY_FRAMES, 2);
    ASSERT_EQ(write_replay(path.c_str(), 0), 0);
    std::string new_content = read_whole_file(path);
    ASSERT_NE(old_content, new_content);
    ASSERT_GT(new_content.size(), 100000u);
    expect_whole_after_kills(path, old_content, new_content,
                             [&] { write_replay(path.c_str(), 0); });
    remove_stale_temporaries(path);
}

TEST_F(SafeReplay, AutosaveNeverReplacesAnEarlierMatch)
{
    std::string dir = fresh_dir("safe_autosave");
    ASSERT_EQ(chdir(dir.c_str()), 0);
    for (const char *old : {"autosave/a_vs_b-4_12.rpl", "autosave/a_vs_b-4_12-2.rpl",
                            "autosave/a_vs_b-4_12-3.rpl"})
        std::remove(old);
    set_player_name(0, "a");
    set_player_name(1, "b");
    players[0].injury = 12.4f;
    players[1].injury = 3.6f;
    const char *expected[] = {"autosave/a_vs_b-4_12.rpl", "autosave/a_vs_b-4_12-2.rpl",
                              "autosave/a_vs_b-4_12-3.rpl"};
    for (int match = 0; match < 3; match++) {
        set_replay_author(("match " + std::to_string(match)).c_str());
        autosave_replay();
        EXPECT_EQ(last_echo, std::string("> ") + expected[match]);
    }
    for (int match = 0; match < 3; match++)
        EXPECT_NE(read_whole_file(expected[match]).find("AUTHOR 0; match " + std::to_string(match)),
                  std::string::npos)
            << expected[match];

    // A long name keeps its ".rpl" ending and its number inside 255 characters.
    match_state.num_players = 4;
    for (int p = 0; p < 4; p++) {
        memset(players[p].name, 'n', 31);
        players[p].name[31] = '\0';
        players[p].score = 3e38f;
    }
    char first[256], second[256];
    ASSERT_EQ(autosave_name(first, sizeof first), 0);
    ASSERT_TRUE(write_whole_file(first, "taken"));
    ASSERT_EQ(autosave_name(second, sizeof second), 0);
    EXPECT_EQ(strlen(second), 255u);
    EXPECT_EQ(std::string(second).substr(249), "-2.rpl");
    EXPECT_EQ(std::string(second).substr(0, 249), std::string(first).substr(0, 249));
    std::remove(first);
    match_state.num_players = 2;
}

}  // namespace

namespace {

TEST(SafeFile, OrphansOfKilledWritersAreRemovedAtTheNextCommit)
{
    std::string dir = fresh_dir("safe_orphans");
    std::string path = dir + "/settings.cfg";
    // A process that has ended: its pid names the orphan.
    pid_t gone = fork();
    ASSERT_GE(gone, 0);
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    std::string orphan = path + "." + std::to_string(gone) + "-3.tmp";
    std::string mine = path + "." + std::to_string(getpid()) + "-999.tmp";
    std::string other_file = dir + "/other.cfg." + std::to_string(gone) + "-0.tmp";
    std::string not_ours = path + "." + std::to_string(gone) + "-x.tmp";
    for (const std::string &f : {orphan, mine, other_file, not_ours})
        ASSERT_TRUE(write_whole_file(f, "partial"));

    ASSERT_EQ(safe_write_bytes(path.c_str(), "new", 3), 0);
    EXPECT_EQ(read_whole_file(orphan, "<gone>"), "<gone>");
    EXPECT_EQ(read_whole_file(mine), "partial");        // a live writer's file
    EXPECT_EQ(read_whole_file(other_file), "partial");  // another file's
    EXPECT_EQ(read_whole_file(not_ours), "partial");    // not a name we make
    for (const std::string &f : {mine, other_file, not_ours})
        std::remove(f.c_str());
}

}  // namespace

// Readers open only regular files: a FIFO, a device behind a link and a
// folder are refused at once with a line naming them, a missing file
// silently, a file above the size given too.
TEST(SafeFile, ReadersOpenOnlyRegularFilesOfBoundedSize)
{
    const std::string dir = test_tmp_path("read_open");
    mkdir(dir.c_str(), 0700);
    const std::string fifo = dir + "/a.rpl", zero = dir + "/zero.cfg", plain = dir + "/ok.txt";
    unlink(fifo.c_str());
    unlink(zero.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
    ASSERT_TRUE(write_whole_file(plain, "0123456789"));
    struct Case {
        std::string path;
        long max_bytes;
        bool opens;
        const char *said;   // in the refusal line ("" none)
        int refusal;
        bool kept;          // a writer must leave the file alone
    };
    const Case cases[] = {
        {fifo, READ_FILE_MAX_BYTES, false, "not a regular file", READ_NOT_REGULAR, true},
        {zero, READ_FILE_MAX_BYTES, false, "not a regular file", READ_NOT_REGULAR, true},
        {dir, READ_FILE_MAX_BYTES, false, "not a regular file", READ_NOT_REGULAR, true},
        {dir + "/missing", READ_FILE_MAX_BYTES, false, "", READ_MISSING, false},
        {plain + "/below", READ_FILE_MAX_BYTES, false, "", READ_MISSING, false},
        {plain, 9, false, "file too large", READ_TOO_LARGE, true},
        {plain, 10, true, "", READ_OPENED, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        testing::internal::CaptureStderr();
        int refusal = -1;
        FILE *f = open_read_file(c.path.c_str(), c.max_bytes, &refusal);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(f != nullptr, c.opens);
        EXPECT_EQ(refusal, c.refusal);
        EXPECT_EQ(read_refusal_keeps_file(refusal) != 0, c.kept);
        if (f)
            fclose(f);
        if (c.said[0])
            EXPECT_EQ(err, "Refused " + c.path + ": " + c.said + "\n");
        else
            EXPECT_EQ(err, "");
    }
    EXPECT_TRUE(file_exists(fifo.c_str()));   // looked at, never opened
    EXPECT_STREQ(read_refusal_text(READ_MISSING), "missing");
    EXPECT_STREQ(read_refusal_text(READ_UNREADABLE), "unreadable");
    EXPECT_STREQ(read_refusal_text(READ_NOT_REGULAR), "not a regular file");
    EXPECT_STREQ(read_refusal_text(READ_TOO_LARGE), "too large");
    EXPECT_STREQ(read_refusal_text(READ_OPENED), "");
    EXPECT_EQ(read_refusal_keeps_file(READ_UNREADABLE), 1);
}

// Start-up removes what killed writers left, in the folder and below it,
// and nothing else.
TEST(SafeFile, StaleTemporaryFilesAreRemovedAtStart)
{
    const std::string dir = test_tmp_path("stale_temps");
    mkdir(dir.c_str(), 0700);
    mkdir((dir + "/custom").c_str(), 0700);
    mkdir((dir + "/custom/kasu").c_str(), 0700);
    const std::string dead = dir + "/default.cfg.999999999-3.tmp";
    const std::string deep = dir + "/custom/kasu/item.dat.999999999-0.tmp";
    const std::string mine = dir + "/default.cfg." + std::to_string(getpid()) + "-0.tmp";
    const std::string other = dir + "/notes.tmp";
    for (const std::string &p : {dead, deep, mine, other})
        ASSERT_TRUE(write_whole_file(p, "x"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(remove_stale_temps(dir.c_str(), 2), 2);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Removed stale temporary file " + dead), std::string::npos) << err;
    EXPECT_NE(access(dead.c_str(), F_OK), 0);
    EXPECT_NE(access(deep.c_str(), F_OK), 0);
    EXPECT_EQ(access(mine.c_str(), F_OK), 0);
    EXPECT_EQ(access(other.c_str(), F_OK), 0);
    unlink(mine.c_str());
}

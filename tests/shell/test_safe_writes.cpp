// The shell's files under kills and large or hostile input: default.cfg and
// the buddy list survive a kill at any point of their write, a buddy list of
// 100,000 names loads whole, and a console-script line too long for its
// buffer is refused whole.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/outward.h"
#include "shell/buddies.h"
#include "shell/console_commands.h"
#include "shell/settings.h"
#include "support/kill_write.h"
#include "support/test_support.h"

namespace {

class SafeWrites : public ::testing::Test {
protected:
    char saved_dir[PATH_MAX];
    void SetUp() override
    {
        ASSERT_NE(getcwd(saved_dir, sizeof saved_dir), nullptr);
        std::string dir = test_tmp_path(
            (std::string("safe_") + ::testing::UnitTest::GetInstance()->current_test_info()->name())
                .c_str());
        mkdir(dir.c_str(), 0755);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        mkdir("data", 0755);
        remove(BUDDIES_PATH);
        clear_buddies();
    }
    void TearDown() override
    {
        clear_buddies();
        ASSERT_EQ(chdir(saved_dir), 0);
    }
};

TEST_F(SafeWrites, KillDuringSettingsWrite)
{
    testing::internal::CaptureStderr();
    SetupKeyStore old_store("default.cfg");
    SetupKeyStore new_store("default.cfg");
    testing::internal::GetCapturedStderr();
    int i = 0;
    for (SettingsRow *row = new_store.rows; row->key[0]; row++, i++) {
        std::string value = std::to_string(i) + std::string(100, 'v');
        new_store.set(row->key, value.c_str());
        old_store.set(row->key, std::to_string(i).c_str());
    }
    ASSERT_EQ(old_store.write(), 0);
    std::string old_content = read_whole_file("default.cfg");
    ASSERT_EQ(new_store.write(), 0);
    std::string new_content = read_whole_file("default.cfg");
    ASSERT_GT(new_content.size(), 3000u);
    expect_whole_after_kills("default.cfg", old_content, new_content,
                             [&] { new_store.write(); });
    remove_stale_temporaries("default.cfg");

    // The stored value a start-up reads before the store exists.
    char value[16];
    ASSERT_TRUE(write_whole_file("default.cfg", "#x\r\nautoupdate \"0\"\r\nvolume \"3\"\r\n"));
    EXPECT_EQ(read_stored_setting("default.cfg", "autoupdate", value, sizeof value), 0);
    EXPECT_STREQ(value, "0");
    EXPECT_EQ(read_stored_setting("default.cfg", "nick", value, sizeof value), 1);
    EXPECT_EQ(read_stored_setting("missing.cfg", "autoupdate", value, sizeof value), 1);
    // The key is kept when the store writes the file again.
    SetupKeyStore again("default.cfg");
    ASSERT_EQ(again.write(), 0);
    EXPECT_NE(read_whole_file("default.cfg").find("autoupdate \"0\"\r\n"), std::string::npos);
}

TEST_F(SafeWrites, KillDuringBuddiesWrite)
{
    for (int i = 0; i < 3000; i++)
        add_buddy(("old" + std::to_string(i)).c_str(), 0, 0);
    ASSERT_EQ(save_buddies(BUDDIES_PATH), 0);
    std::string old_content = read_whole_file(BUDDIES_PATH);
    clear_buddies();
    for (int i = 0; i < 5000; i++)
        add_buddy(("new" + std::to_string(i)).c_str(), 0, 0);
    ASSERT_EQ(save_buddies(BUDDIES_PATH), 0);
    std::string new_content = read_whole_file(BUDDIES_PATH);
    expect_whole_after_kills(BUDDIES_PATH, old_content, new_content,
                             [] { save_buddies(BUDDIES_PATH); });
    remove_stale_temporaries(BUDDIES_PATH);
}

TEST_F(SafeWrites, HundredThousandBuddiesLoadInOrderWithoutDuplicates)
{
    std::string file;
    for (int i = 0; i < 100000; i++)
        file += "name" + std::to_string(i) + " second word\r\n";
    // Duplicates, a tagged copy, an overlong line and blank lines.
    file += "name5\r\n[clan]name6\r\n" + std::string(200, 'z') + "\r\n\r\n   \r\nlast\r\n";
    ASSERT_TRUE(write_whole_file(BUDDIES_PATH, file));
    add_buddy("already", 0, 0);
    add_buddy("name7", 0, 0);
    ASSERT_EQ(load_buddies(BUDDIES_PATH), 0);
    ASSERT_EQ(buddy_count(), 100000 + 2 + 1);   // "already", 99,999 new, "zzz...", "last"
    EXPECT_EQ(buddy_list.capacity % BUDDY_GROWTH, 0);
    std::vector<std::string> names;
    for (const char *n = first_buddy(); n; n = next_buddy())
        names.push_back(n);
    EXPECT_EQ(names[0], "already");
    EXPECT_EQ(names[1], "name7");
    EXPECT_EQ(names[2], "name0");
    EXPECT_EQ(names[9], "name8");   // name7 was there before
    EXPECT_EQ(names[names.size() - 2], std::string(63, 'z'));
    EXPECT_EQ(names.back(), "last");
    EXPECT_EQ(is_buddy("[tag]name99999", 0), 1);
    EXPECT_EQ(add_buddy("name123", 0, 0), 2);
    // The list works as before after a big load.
    EXPECT_EQ(remove_buddy("name0", 0), 0);
    EXPECT_EQ(is_buddy("name0", 0), 0);
}

std::vector<std::string> said;

TEST_F(SafeWrites, OverlongScriptLineIsRefusedWhole)
{
    CoreOutward saved = core_outward;
    core_outward.echo = [](const char *text, int) { said.push_back(text ? text : ""); };
    core_outward.show_banner = nullptr;
    char saved_base[sizeof console_base_dir];
    memcpy(saved_base, console_base_dir, sizeof saved_base);
    ASSERT_NE(getcwd(console_base_dir, sizeof console_base_dir), nullptr);
    said.clear();

    // The rest past the read buffer used to run as a command of its own.
    std::string split = "echo " + std::string(2047 - 5, 'a') + "echo TAIL RAN\n";
    std::string cut = "echo " + std::string(400, 'b') + "\n";
    ASSERT_TRUE(write_whole_file("long.zms", "echo first\n" + split + cut + "echo last\n"));
    EXPECT_EQ(run_console_script("long.zms"), 0);

    int refusals = 0;
    for (const std::string &line : said) {
        EXPECT_EQ(line.find("TAIL"), std::string::npos) << line.substr(0, 60);
        EXPECT_EQ(line.find("bbbb"), std::string::npos) << line.substr(0, 60);
        EXPECT_EQ(line.find("aaaa"), std::string::npos) << line.substr(0, 60);
        refusals += line.find("too long") != std::string::npos;
    }
    EXPECT_EQ(refusals, 2);
    ASSERT_GE(said.size(), 4u);
    EXPECT_EQ(said[0], "echo first");
    EXPECT_EQ(said[1], "first");
    EXPECT_EQ(said[2], "Line 2 of long.zms is too long (over 255 characters): skipped");
    EXPECT_EQ(said.back(), "last");

    memcpy(console_base_dir, saved_base, sizeof saved_base);
    core_outward = saved;
}

}  // namespace

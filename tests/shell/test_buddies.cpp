#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/bout.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/safe_file.h"
#include "core/text.h"
#include "shell/buddies.h"
#include "support/test_support.h"

namespace {

std::string read_file(const char *path) { return read_whole_file(path, "<missing>"); }

void write_file(const char *path, const std::string &text)
{
    ASSERT_TRUE(write_whole_file(path, text));
}

std::vector<std::string> all_buddies()
{
    std::vector<std::string> names;
    for (const char *n = first_buddy(); n; n = next_buddy())
        names.push_back(n);
    return names;
}

class Buddies : public ::testing::Test {
protected:
    char saved_dir[PATH_MAX];
    void SetUp() override
    {
        ASSERT_NE(getcwd(saved_dir, sizeof saved_dir), nullptr);
        std::string dir = test_tmp_path(
            (std::string("buddies_") +
             ::testing::UnitTest::GetInstance()->current_test_info()->name())
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

TEST_F(Buddies, AddRemoveAndTags)
{
    struct Step { int op; const char *name; int raw; int dup; int result; };
    enum { ADD, REMOVE, IS };
    const Step steps[] = {
        {ADD, "[clan]bob", 0, 0, 0},    {ADD, "bob", 0, 0, 2},       // tag dropped
        {IS, "[other]bob", 0, 0, 1},    {IS, "Bob", 0, 0, 0},        // case matters
        {ADD, "[clan]bob", 1, 0, 0},    {IS, "[clan]bob", 1, 0, 1},  // raw keeps it
        {ADD, "bob", 0, 1, 0},          {ADD, "ann", 0, 0, 0},
        {REMOVE, "nobody", 0, 0, 1},    {REMOVE, "[x]bob", 0, 0, 0},
        {ADD, "", 0, 0, 0},             {ADD, "[tag]", 0, 0, 0},    // a bare tag is a name
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.name);
        int r = s.op == ADD ? add_buddy(s.name, s.raw, s.dup)
                : s.op == REMOVE ? remove_buddy(s.name, s.raw)
                                 : is_buddy(s.name, s.raw);
        EXPECT_EQ(r, s.result);
    }
    // The first "bob" went; the later ones moved up.
    std::vector<std::string> expected = {"[clan]bob", "bob", "ann", "[tag]"};
    EXPECT_EQ(all_buddies(), expected);
    EXPECT_EQ(buddy_count(), 4);
    EXPECT_EQ(is_buddy_name("[zz]ann"), 1);
}

TEST_F(Buddies, GrowsPastCapacityAndBoundsNames)
{
    for (int i = 0; i < 45; i++)
        ASSERT_EQ(add_buddy(("p" + std::to_string(i)).c_str(), 0, 0), 0);
    EXPECT_EQ(buddy_list.capacity, 60);
    EXPECT_EQ(buddy_count(), 45);
    EXPECT_EQ(is_buddy("p44", 0), 1);
    std::string long_name(100, 'q');
    add_buddy(long_name.c_str(), 0, 0);
    EXPECT_EQ(is_buddy(long_name.substr(0, 63).c_str(), 0), 1);
    EXPECT_EQ(add_buddy(long_name.c_str(), 1, 0), 2);
    EXPECT_EQ(remove_buddy("p0", 0), 0);
    EXPECT_EQ(all_buddies().front(), "p1");
}

TEST_F(Buddies, FileReadAndWrite)
{
    std::string long_line(100, 'z');
    write_file(BUDDIES_PATH, "alice smith\r\n[tag]bob\r\n\r\n   carol\n" + long_line +
                                 "\r\nalice\r\n");
    ASSERT_EQ(load_buddies(BUDDIES_PATH), 0);
    // First words only; the cut-off rest of a long line is not a name.
    std::vector<std::string> expected = {"alice", "bob", "carol", std::string(63, 'z')};
    EXPECT_EQ(all_buddies(), expected);

    ASSERT_EQ(save_buddies(BUDDIES_PATH), 0);
    EXPECT_EQ(read_file(BUDDIES_PATH),
              "alice\r\nbob\r\ncarol\r\n" + std::string(63, 'z') + "\r\n");

    // Removing every name writes an empty file: nothing comes back.
    for (const std::string &n : expected)
        remove_buddy(n.c_str(), 1);
    ASSERT_EQ(save_buddies(BUDDIES_PATH), 0);
    EXPECT_EQ(read_file(BUDDIES_PATH), "");
    EXPECT_EQ(load_buddies(BUDDIES_PATH), 0);
    EXPECT_EQ(buddy_count(), 0);

    EXPECT_EQ(load_buddies("data/none.txt"), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(save_buddies("no/such/dir/buddies.txt"), 1);
    testing::internal::GetCapturedStderr();
}

// A list file that is there but could not be read is never replaced: the
// saves after it write nothing, and the first tells the player why. A
// missing one is made at the first save.
TEST_F(Buddies, FileThatCouldNotBeReadIsKept)
{
    static std::vector<std::string> echoed;
    core_outward.echo = [](const char *text, int) { echoed.push_back(text); };
    struct Case {
        const char *what;
        bool pipe;
        bool at_load;   // refused by the load, or only when saving
    } cases[] = {
        {"a named pipe", true, true},
        {"a folder", false, true},
        {"a named pipe made after the load", true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        clear_buddies();
        echoed.clear();
        unlink(BUDDIES_PATH);
        rmdir(BUDDIES_PATH);
        testing::internal::CaptureStderr();
        if (!c.at_load)
            EXPECT_EQ(load_buddies(BUDDIES_PATH), 1);   // missing
        if (c.pipe)
            ASSERT_EQ(mkfifo(BUDDIES_PATH, 0644), 0);
        else
            ASSERT_EQ(mkdir(BUDDIES_PATH, 0755), 0);
        if (c.at_load) {
            EXPECT_EQ(load_buddies(BUDDIES_PATH), 1);
            EXPECT_EQ(buddies_file_refusal(), READ_NOT_REGULAR);
        }
        add_buddy("newfriend", 0, 0);
        EXPECT_EQ(save_buddies(BUDDIES_PATH), 1);
        add_buddy("another", 0, 0);
        EXPECT_EQ(save_buddies(BUDDIES_PATH), 1);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("Not writing data/buddies.txt: it could not be read (not a regular "
                           "file)\n"),
                  std::string::npos)
            << err;
        struct stat st;
        ASSERT_EQ(stat(BUDDIES_PATH, &st), 0);
        EXPECT_TRUE(c.pipe ? S_ISFIFO(st.st_mode) : S_ISDIR(st.st_mode));
        ASSERT_EQ(echoed.size(), 1u);
        EXPECT_EQ(echoed[0], "data/buddies.txt could not be read (not a regular file): changes "
                             "to the buddies list will not be saved");
    }
    unlink(BUDDIES_PATH);
    rmdir(BUDDIES_PATH);

    // Missing at the load: made at the save, nothing said.
    clear_buddies();
    echoed.clear();
    EXPECT_EQ(load_buddies(BUDDIES_PATH), 1);
    EXPECT_EQ(buddies_file_refusal(), READ_MISSING);
    add_buddy("newfriend", 0, 0);
    EXPECT_EQ(save_buddies(BUDDIES_PATH), 0);
    EXPECT_EQ(read_file(BUDDIES_PATH), "newfriend\r\n");
    EXPECT_TRUE(echoed.empty());
    core_outward.echo = nullptr;
}

TEST_F(Buddies, ThreadedReadersWhileWriting)
{
    pthread_t readers[3];
    for (pthread_t &t : readers)
        pthread_create(&t, nullptr,
                       [](void *) -> void * {
                           for (int i = 0; i < 2000; i++)
                               is_buddy_name("[c]keep");
                           return nullptr;
                       },
                       nullptr);
    add_buddy("keep", 0, 0);
    for (int i = 0; i < 200; i++) {
        std::string n = "n" + std::to_string(i);
        add_buddy(n.c_str(), 0, 0);
        if (i % 2)
            remove_buddy(n.c_str(), 0);
    }
    for (pthread_t &t : readers)
        pthread_join(t, nullptr);
    EXPECT_EQ(buddy_count(), 101);
    EXPECT_EQ(is_buddy("keep", 0), 1);
}

// ---- the bout name list ---------------------------------------------------------------

std::vector<BoutEntry> entries_of(const std::vector<std::string> &names)
{
    std::vector<BoutEntry> list(names.size());
    for (size_t i = 0; i < names.size(); i++) {
        memset(&list[i], 0, sizeof list[i]);
        n_strncpyz(list[i].name, names[i].c_str(), sizeof list[i].name);
        list[i].user_id = 100 + (int)i;
    }
    return list;
}

struct Drawn {
    float y;
    std::string text;
    float alpha;
};
std::vector<Drawn> drawn;

class Names : public ::testing::Test {
protected:
    int saved_players = 0;
    void SetUp() override
    {
        saved_players = match_state.num_players;
        init_name_list();
        drawn.clear();
        name_list_links = NameListLinks();
        name_list_links.draw_text = [](int, float, float y, const char *text,
                                       const float rgba[4]) {
            drawn.push_back({y, text, rgba[3]});
        };
        own_id = -1;
    }
    void TearDown() override
    {
        init_name_list();
        name_list_links = NameListLinks();
        match_state.num_players = saved_players;
        own_id = -1;
    }
};

TEST_F(Names, SyncKeepsStayingNodes)
{
    std::vector<BoutEntry> first = entries_of({"a", "b", "c"});
    first[1].values[0] = 8 | 1;   // '@' and flag bit
    own_id = 102;
    sync_name_list(first.data(), 3);
    ASSERT_EQ(name_list_count(), 3);
    EXPECT_EQ(name_list.highlighted, 2);
    EXPECT_STREQ(name_list_node(1)->prefix, "@");
    EXPECT_EQ(name_list_node(1)->flag, 1);
    EXPECT_STREQ(name_list_node(0)->prefix, " ");

    NameListNode *kept[3];
    for (int i = 0; i < 3; i++) {
        kept[i] = name_list_node(i);
        kept[i]->offset = 10.0f * (i + 1);
    }
    sync_name_list(first.data(), 3);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(name_list_node(i), kept[i]);
        EXPECT_FLOAT_EQ(name_list_node(i)->offset, 10.0f * (i + 1));
    }

    // "x" in front: every node after it is made again.
    std::vector<BoutEntry> second = entries_of({"x", "a", "b", "c"});
    sync_name_list(second.data(), 4);
    ASSERT_EQ(name_list_count(), 4);
    const char *names[] = {"x", "a", "b", "c"};
    for (int i = 0; i < 4; i++) {
        EXPECT_STREQ(name_list_node(i)->name, names[i]);
        EXPECT_FLOAT_EQ(name_list_node(i)->offset, 0.0f);
    }
    EXPECT_EQ(name_list.highlighted, 2);   // own id 102 is "b"'s now
    EXPECT_EQ(name_list.tail, name_list_node(3));
    EXPECT_EQ(name_list_node(3)->previous, name_list_node(2));

    // Dropping the last entries deletes their nodes; count 0 empties.
    sync_name_list(second.data(), 2);
    EXPECT_EQ(name_list_count(), 2);
    EXPECT_EQ(name_list.tail, name_list_node(1));
    clear_spectator_names();
    EXPECT_EQ(name_list_count(), 0);
    EXPECT_EQ(name_list.head, nullptr);
    EXPECT_EQ(name_list.tail, nullptr);
    EXPECT_EQ(name_list_node(-1), nullptr);
}

TEST_F(Names, RowsSlideToTheirPlaces)
{
    match_state.num_players = 2;
    std::vector<BoutEntry> ten =
        entries_of({"n0", "n1", "n2", "n3", "n4", "n5", "n6", "n7", "n8", "n9"});
    own_id = 104;
    sync_name_list(ten.data(), 10);
    update_name_list(5.0f, 40.0f, 300.0f);
    EXPECT_FLOAT_EQ(name_list.height, 260.0f);
    ASSERT_EQ(drawn.size(), 10u);
    EXPECT_EQ(drawn[0].text, " n0");
    EXPECT_FLOAT_EQ(drawn[0].y, 40.0f);       // drawn where it was, then moved
    EXPECT_FLOAT_EQ(drawn[0].alpha, 0.8f);    // fighter
    EXPECT_FLOAT_EQ(drawn[4].alpha, 0.8f);    // own row
    EXPECT_FLOAT_EQ(drawn[5].alpha, 0.6f);
    EXPECT_FLOAT_EQ(name_list_node(0)->offset, 2.0f);
    for (int frame = 0; frame < 200; frame++)
        update_name_list(5.0f, 40.0f, 300.0f);
    const float targets[] = {25, 50, 100, 125, 150, 175, 200, 225, 250, 275};
    for (int i = 0; i < 10; i++)
        EXPECT_FLOAT_EQ(name_list_node(i)->offset, targets[i]) << i;

    // A row within 2 of its place snaps to it; one above moves down.
    name_list_node(0)->offset = 26.5f;
    name_list_node(1)->offset = 90.0f;
    update_name_list(5.0f, 40.0f, 300.0f);
    EXPECT_FLOAT_EQ(name_list_node(0)->offset, 25.0f);
    EXPECT_FLOAT_EQ(name_list_node(1)->offset, 88.0f);
}

// The spectators, drawn from 50 pixels below the list's top plus 25 a row
// of offset, start one free row below the last name wherever it settles.
TEST_F(Names, SpectatorsStartOneFreeRowBelowTheLastName)
{
    const char *const names[] = {"n0", "n1", "n2", "n3", "n4", "n5", "n6", "n7", "n8", "n9"};
    for (int fighters : {2, 4}) {
        for (int count : {0, 1, 2, 3, 4, 5, 10}) {
            SCOPED_TRACE(std::to_string(fighters) + " fighters, " + std::to_string(count));
            match_state.num_players = fighters;
            std::vector<BoutEntry> list = entries_of(
                std::vector<std::string>(names, names + count));
            sync_name_list(list.data(), count);
            for (int frame = 0; frame < 200; frame++)
                update_name_list(8.0f, 130.0f, 630.0f);
            drawn.clear();
            update_name_list(8.0f, 130.0f, 630.0f);
            float last = 130.0f;
            for (const Drawn &d : drawn)
                last = d.y > last ? d.y : last;
            float first_spectator = 180.0f + 25.0f * (float)spectator_row_offset();
            if (count == 0)
                EXPECT_FLOAT_EQ(first_spectator, 180.0f);
            else
                EXPECT_FLOAT_EQ(first_spectator, last + 50.0f);
        }
    }
}

TEST_F(Names, FollowsTheLiveBoutList)
{
    int saved_bouts = num_bouts;
    std::vector<BoutEntry> live = entries_of({"kasu", "uke", "waiting"});
    for (int i = 0; i < 3; i++)
        bout_list[i] = live[i];
    num_bouts = 3;
    sync_spectator_names();
    ASSERT_EQ(name_list_count(), 3);
    EXPECT_STREQ(name_list_node(2)->name, "waiting");
    num_bouts = 40;   // more than the list holds
    sync_spectator_names();
    EXPECT_EQ(name_list_count(), MAX_BOUTS);
    memset(bout_list, 0, sizeof bout_list);
    num_bouts = saved_bouts;
}

TEST_F(Names, InitialState)
{
    EXPECT_FLOAT_EQ(name_list.x, 0.0f);
    EXPECT_FLOAT_EQ(name_list.y, 100.0f);
    EXPECT_FLOAT_EQ(name_list.height, 200.0f);
    EXPECT_EQ(name_list.highlighted, -1);
    EXPECT_EQ(name_list_count(), 0);
}

}  // namespace

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/outward.h"
#include "core/records.h"
#include "core/text.h"
#include "net/login.h"
#include "render/fighter_draw.h"
#include "shell/customs.h"
#include "support/test_support.h"

namespace {

// Runs each test inside a fresh scratch folder, so "custom/..." lands there.
class CustomsTest : public ::testing::Test {
protected:
    char old_dir[PATH_MAX];
    std::string dir;

    void SetUp() override
    {
        ASSERT_NE(getcwd(old_dir, sizeof old_dir), nullptr);
        dir = test_tmp_path(::testing::UnitTest::GetInstance()->current_test_info()->name());
        mkdir(dir.c_str(), 0775);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        clear_player_customs();
        memset(fighter_looks, 0, sizeof fighter_looks);
        match_state.num_players = 2;
        for (int p = 0; p < MAX_PLAYERS; p++)
            players[p].name[0] = '\0';
    }
    void TearDown() override { ASSERT_EQ(chdir(old_dir), 0); }
};

int line_count(const std::string &text)
{
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

TEST_F(CustomsTest, ParserTable)
{
    std::string long_text(40, 'x');
    struct Case {
        const char *line;
        int result;
        bool (*check)(const PlayerCustoms &);
    };
    const Case cases[] = {
        {"# a comment", 0, [](const PlayerCustoms &r) { return r.loaded == 0; }},
        {"", 1, [](const PlayerCustoms &r) { return r.loaded == 0; }},
        {"NOSUCH 0;1 2", 1, [](const PlayerCustoms &r) { return r.loaded == 0; }},
        {"BODCOL 0 3 5", 1, [](const PlayerCustoms &r) { return r.loaded == 0; }},
        {"BODCOL 0;21 5 3 70", 0,
         [](const PlayerCustoms &r) { return r.loaded == 1 && r.body_col[3] == 0; }},
        {"BODCOL 7;3 5", 0, [](const PlayerCustoms &r) { return r.body_col[3] == 5; }},
        {"BODCOL 0;-1 5 20 67", 0,
         [](const PlayerCustoms &r) { return r.body_col[20] == 67; }},
        {"GRADCOL2 0;4 9", 0, [](const PlayerCustoms &r) { return r.grad_col2[4] == 9; }},
        {"REPCOL 0;20 6", 0, [](const PlayerCustoms &r) { return r.rep_col[20] == 6; }},
        {"TRAILCOL 0;3 8 4 9", 0,
         [](const PlayerCustoms &r) { return r.trail_col[3] == 8 && r.loaded == 1; }},
        {"ITEM 0;1 99 7 8 2 3 1234 70 4 5 -9 6 6 6 6 68 -3", 0,
         [](const PlayerCustoms &r) {
             for (int j = 0; j < 20; j++)
                 if (r.force_col[j] != 0 || r.relax_col[j] != 7 || r.rep_col[j] != 8)
                     return false;
             return r.item_v0 == 1 && r.item_v4 == 2 && r.item_v5 == 3 && r.item_v6 == 1234 &&
                    r.timer_col == 0 && r.item_v8 == 4 && r.item_v9 == 5 && r.item_v10 == -9 &&
                    r.item_v11_15[0] == 6 && r.item_v11_15[4] == 0 && r.item_v16 == -3;
         }},
        {"BELTNAME 0;Black belt\r", 0,
         [](const PlayerCustoms &r) { return strcmp(r.belt_name, "Black belt") == 0; }},
        {"TEXT 0;1 2 3 4 5 6 hello there", 0,
         [](const PlayerCustoms &r) { return strcmp(r.text, "hello there") == 0; }},
        {"TEXT 0;1 2 hello", 1, [](const PlayerCustoms &r) { return r.text[0] == '\0'; }},
    };
    for (const Case &c : cases) {
        PlayerCustoms r;
        memset(&r, 0, sizeof r);
        EXPECT_EQ(parse_custom(c.line, &r), c.result) << c.line;
        EXPECT_TRUE(c.check(r)) << c.line;
    }

    PlayerCustoms r;
    memset(&r, 0, sizeof r);
    EXPECT_EQ(parse_custom(("TEXT 0;0 0 0 0 0 0 " + long_text).c_str(), &r), 0);
    EXPECT_EQ(std::string(r.text), std::string(32, 'x'));
    // A line carrying a '%' is data, never a format.
    EXPECT_EQ(parse_custom("BELTNAME 0;%s%n%s", &r), 0);
    EXPECT_STREQ(r.belt_name, "%s%n%s");

    // The network-only keywords reach the same record through the slot.
    EXPECT_EQ(parse_customs_args("DECAL", "4 12 0 0 averyverylongdecal", &r), 0);
    EXPECT_STREQ(r.decal_name[4], "averyvery");
    EXPECT_EQ(r.decal_value[4], 12);
    EXPECT_EQ(parse_customs_args("DECAL", "21 1 0 0 x", &r), 1);
    EXPECT_EQ(parse_customs_args("JFORCE", "2 11", &r), 0);
    EXPECT_EQ(r.force_col[2], 11);
    EXPECT_EQ(parse_customs_args("GHOST", "1 2 3", &r), 1);
}

TEST_F(CustomsTest, SaveLoadRoundTrip)
{
    PlayerCustoms r;
    memset(&r, 0, sizeof r);
    for (int i = 0; i < CUSTOMS_PARTS; i++) {
        r.force_col[i] = i % 68;
        r.relax_col[i] = (i + 1) % 68;
        r.rep_col[i] = (i + 2) % 68;
        r.body_col[i] = (i + 3) % 68;
        r.grad_col1[i] = (i + 4) % 68;
        r.grad_col2[i] = 67 - i;
    }
    r.loaded = 1;
    r.item_v0 = 1; r.item_v4 = 4; r.item_v5 = 5; r.item_v6 = 600; r.timer_col = 7;
    r.item_v8 = 8; r.item_v9 = 9; r.item_v10 = -10; r.item_v16 = 16000;
    for (int i = 0; i < 5; i++)
        r.item_v11_15[i] = 11 + i;
    for (int i = 0; i < 4; i++)
        r.trail_col[i] = 20 + i;
    strcpy(r.text, "a short text");
    strcpy(r.belt_name, "Brown belt");

    ASSERT_EQ(save_customs("custom/deep/er/item.dat", &r), 0);
    std::string text = read_whole_file("custom/deep/er/item.dat");
    EXPECT_EQ(line_count(text), 10);
    size_t start = 0;
    const char *keywords[] = {"TEXT", "ITEM", "BODCOL", "GRADCOL1", "GRADCOL2",
                              "FORCOL", "RELCOL", "REPCOL", "BELTNAME", "TRAILCOL"};
    for (const char *kw : keywords) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end - start);
        EXPECT_EQ(line.rfind(std::string(kw) + " 0;", 0), 0u) << line;
        start = end + 1;
    }

    PlayerCustoms back;
    memset(&back, 0x55, sizeof back);
    EXPECT_EQ(load_customs("custom/deep/er/item.dat", &back), 0);
    EXPECT_EQ(memcmp(&r, &back, sizeof r), 0);

    // A bad line is counted and the rest still loads; a missing file is 1.
    write_whole_file("bad.dat", "BODCOL 0;3 5\r\nWHAT 0;1\r\n#note\r\nBELTNAME 0;x\r\n");
    EXPECT_EQ(load_customs("bad.dat", &back), 1);
    EXPECT_EQ(back.body_col[3], 5);
    EXPECT_STREQ(back.belt_name, "x");
    EXPECT_EQ(load_customs("missing.dat", &back), 1);
    EXPECT_EQ(save_customs("bad.dat/under/a/file", &r), 1);

    // Equipment: one GHOST line.
    get_equipment()->values[0] = 3;
    get_equipment()->values[1] = -4;
    get_equipment()->values[2] = 5;
    ASSERT_EQ(save_equipment("custom/me/equipment.dat"), 0);
    EXPECT_EQ(read_whole_file("custom/me/equipment.dat"), "GHOST 0;3 -4 5\n");
    memset(get_equipment(), 0, sizeof(EquipmentRecord));
    EXPECT_EQ(load_equipment("custom/me/equipment.dat"), 0);
    EXPECT_EQ(get_equipment()->values[1], -4);
    EXPECT_EQ(load_equipment("custom/none.dat"), 1);
    EXPECT_EQ(get_equipment()->values[0], 0);
    write_whole_file("eq.dat", "GHAST 0;1 2 3\n");
    EXPECT_EQ(load_equipment("eq.dat"), 1);
}

TEST_F(CustomsTest, HostileNamesStayInsideCustomFolder)
{
    struct Case {
        const char *name;
        const char *path;   // null: refused
    };
    const Case cases[] = {
        {"Kasu", "custom/kasu/item.dat"},
        {"[TAG]Uke", "custom/uke/item.dat"},
        {"../../etc", "custom/etc/item.dat"},
        {"..", nullptr},
        {"", nullptr},
        {"/", nullptr},
        {"a/../b", "custom/ab/item.dat"},
        {"x%s%n", "custom/x%s%n/item.dat"},
    };
    for (const Case &c : cases) {
        char out[CUSTOMS_PATH_BYTES];
        int r = customs_path(c.name, "item.dat", out, sizeof out);
        if (c.path) {
            EXPECT_EQ(r, 0) << c.name;
            EXPECT_STREQ(out, c.path) << c.name;
        } else {
            EXPECT_EQ(r, 1) << c.name;
        }
    }
    char small[12];
    EXPECT_EQ(customs_path("averylongname", "item.dat", small, sizeof small), 1);
    EXPECT_STREQ(small, "");

    // Looks that a server sent for hostile names dress the match and write
    // nothing anywhere.
    n_strncpyz(players[0].name, "..", sizeof players[0].name);
    n_strncpyz(players[1].name, "../../up", sizeof players[1].name);
    customs_line_for_player("BODCOL", 0, "1 2");
    customs_line_for_player("BODCOL", 1, "1 3");
    customs_line_for_player("BODCOL", 4, "1 4");   // no such staging record
    load_fighter_looks(1);
    EXPECT_EQ(read_whole_file("custom/up/item.dat", "<missing>"), "<missing>");
    EXPECT_EQ(read_whole_file("../up/item.dat", "<missing>"), "<missing>");
    EXPECT_EQ(player_customs[0].body_col[1], 2);
    EXPECT_EQ(player_customs[1].body_col[1], 3);
}

TEST_F(CustomsTest, GameStartSavesStagedLooksAndPushesColours)
{
    n_strncpyz(players[0].name, "kasu", sizeof players[0].name);
    n_strncpyz(players[1].name, "uke", sizeof players[1].name);
    customs_line_for_player("ITEM", 1, "0 12 13 14 0 9 0 15 0 0 0 0 0 0 0 0 0");
    customs_line_for_player("BODCOL", 1, "0 22 5 23");
    customs_line_for_player("FORCOL", 1, "3 30");
    load_fighter_looks(1);
    EXPECT_EQ(get_default_names_flag(), 1);

    // Staged looks dress the match without being stored.
    EXPECT_EQ(read_whole_file("custom/kasu/item.dat", "<missing>"), "<missing>");
    EXPECT_EQ(read_whole_file("custom/uke/item.dat", "<missing>"), "<missing>");
    EXPECT_EQ(player_customs[1].body_col[5], 23);
    EXPECT_EQ(fighter_looks[1].body_colour[0], 22);
    EXPECT_EQ(fighter_looks[1].force_colour[3], 30);
    EXPECT_EQ(fighter_looks[1].force_colour[4], 12);
    EXPECT_EQ(fighter_looks[1].relax_colour[0], 13);
    EXPECT_EQ(fighter_looks[1].joint_colour[19], 14);
    // The ghost record (1 + 2) takes the ghost and timer colours.
    EXPECT_EQ(player_customs[3].item_v5, 9);
    EXPECT_EQ(player_customs[3].timer_col, 15);
    EXPECT_EQ(fighter_looks[3].ghost_colour, 9);
    EXPECT_EQ(get_player_customs(1)->loaded, 0);   // staging emptied

    // Without staged looks the next start reads the fighter's own file.
    clear_player_customs();
    EXPECT_EQ(fighter_looks[1].body_colour[0], 0);
    load_fighter_looks(1);
    EXPECT_EQ(fighter_looks[1].body_colour[0], 0);
    n_strncpyz(players[0].name, "Kasu", sizeof players[0].name);
    check_default_names();
    EXPECT_EQ(get_default_names_flag(), 0);

    clear_customs_for_player(1);
    EXPECT_EQ(player_customs[1].loaded, 0);
    EXPECT_EQ(fighter_looks[1].force_colour[3], 0);

    // The GHOST values are saved under the login name.
    n_strncpyz(login_nick, "[clan]Me", sizeof login_nick);
    set_ghost_equipment(1, 2, 3);
    EXPECT_EQ(read_whole_file("custom/me/equipment.dat"), "GHOST 0;1 2 3\n");
    EXPECT_EQ(load_user_equipment(), 0);
    EXPECT_EQ(get_equipment()->values[2], 3);
}

TEST_F(CustomsTest, ReplayLooksNeverOverwriteThePlayersOwnFile)
{
    // The player's own look, with a belt name and a text of its own.
    PlayerCustoms own;
    memset(&own, 0, sizeof own);
    ASSERT_EQ(parse_custom("BELTNAME 0;Black belt of mine", &own), 0);
    ASSERT_EQ(parse_custom("TEXT 0;0 0 0 0 0 0 my own words", &own), 0);
    ASSERT_EQ(parse_custom("BODCOL 0;0 7", &own), 0);
    ASSERT_EQ(save_customs("custom/kasu/item.dat", &own), 0);
    const std::string before = read_whole_file("custom/kasu/item.dat");

    // A replay (or a server) sends another look for a fighter of that name.
    n_strncpyz(players[0].name, "kasu", sizeof players[0].name);
    n_strncpyz(players[1].name, "uke", sizeof players[1].name);
    customs_line_for_player("BELTNAME", 0, "stranger");
    customs_line_for_player("BODCOL", 0, "0 40");
    customs_line_for_player("DECAL", 0, "3 1 0 0 logo");
    load_fighter_looks(1);
    EXPECT_STREQ(player_customs[0].belt_name, "stranger");
    EXPECT_EQ(fighter_looks[0].body_colour[0], 40);
    EXPECT_STREQ(player_customs[0].decal_name[3], "logo");   // kept for drawing
    EXPECT_EQ(read_whole_file("custom/kasu/item.dat"), before);

    // Another start in the same session (a bout-list update online) and a
    // new video mode keep the sent look.
    load_fighter_looks(1);
    EXPECT_STREQ(player_customs[0].belt_name, "stranger");
    reload_all_player_looks();
    EXPECT_STREQ(player_customs[0].belt_name, "stranger");
    EXPECT_STREQ(player_customs[0].decal_name[3], "logo");

    // The next offline game clears the fighters' customs first and is
    // dressed from the player's file again.
    for (int p = 0; p < MAX_FIGHTERS; p++)
        clear_customs_for_player(p);
    load_fighter_looks(1);
    EXPECT_STREQ(player_customs[0].belt_name, "Black belt of mine");
    EXPECT_EQ(fighter_looks[0].body_colour[0], 7);
    EXPECT_EQ(read_whole_file("custom/kasu/item.dat"), before);
}

}  // namespace

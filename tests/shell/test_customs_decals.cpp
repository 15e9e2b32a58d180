// Decals that the server or a replay sent stay through the reload of a
// fighter's look (the item file holds none).
#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "core/records.h"
#include "core/text.h"
#include "shell/customs.h"
#include "support/test_support.h"

namespace {

TEST(CustomsDecals, KeptThroughTheLookReload)
{
    char saved[4096];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(test_tmp_dir()), 0);
    n_strncpyz(players[0].name, "decalfighter", sizeof players[0].name);
    memset(&player_customs[0], 0, sizeof player_customs[0]);
    ASSERT_EQ(parse_customs_args("DECAL", "3 7 0 0 TAG", &player_customs[0]), 0);
    EXPECT_STREQ(player_customs[0].decal_name[3], "TAG");
    // an item file with colours but, as always, no decals
    mkdir("custom", 0755);
    mkdir("custom/decalfighter", 0755);
    ASSERT_TRUE(write_whole_file("custom/decalfighter/item.dat", "BODCOL 0;1 2 3\n"));
    load_player_look(0);
    EXPECT_STREQ(player_customs[0].decal_name[3], "TAG");
    EXPECT_EQ(player_customs[0].decal_value[3], 7);
    // clearing the customs (a new game) drops them
    clear_player_customs();
    load_player_look(0);
    EXPECT_STREQ(player_customs[0].decal_name[3], "");
    ASSERT_EQ(chdir(saved), 0);
}

}  // namespace

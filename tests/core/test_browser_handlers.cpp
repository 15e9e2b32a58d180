#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/command.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/replay_file.h"
#include "core/rules.h"
#include "core/server_info.h"
#include "core/text.h"

namespace {

std::vector<std::string> calls;
void on_publish() { calls.push_back("publish " + std::to_string(browser_target->info_count)); }
void on_next() { calls.push_back("next"); }
int on_is_buddy(const char *name)
{
    return strcmp(name, "friend") == 0 || strcmp(name, "pal") == 0;
}

void browser(const std::string &line) { parse_cmd(CMD_KIND_BROWSER, line.c_str(), nullptr); }

class BrowserHandlersTest : public ::testing::Test {
protected:
    ServerInfo info;
    void SetUp() override
    {
        calls.clear();
        core_outward = CoreOutward();
        core_outward.publish_server_info = on_publish;
        core_outward.poll_next_server = on_next;
        core_outward.is_buddy = on_is_buddy;
        server_info_init(&info);
        n_strncpyz(info.description, "from servers.txt", sizeof info.description);
        browser_target = &info;
    }
    void TearDown() override
    {
        browser_target = nullptr;
        core_outward = CoreOutward();
    }
};

TEST_F(BrowserHandlersTest, FreshReport)
{
    ServerInfo fresh;
    memset(&fresh, 0x55, sizeof fresh);
    server_info_init(&fresh);
    EXPECT_EQ(fresh.position, -1);
    EXPECT_EQ(fresh.reachable, 1);
    EXPECT_EQ(fresh.address[0], '\0');
    EXPECT_EQ(fresh.names[31][0], '\0');
    EXPECT_EQ(fresh.rules.matchframes, 0);
}

TEST_F(BrowserHandlersTest, InfoPublishesTheReportAndMovesOn)
{
    browser("INFO 7; 3 4\n");
    EXPECT_EQ(info.info_count, 7);
    EXPECT_EQ(info.info_a, 3);
    EXPECT_EQ(info.info_b, 4);
    EXPECT_EQ(calls, (std::vector<std::string>{"publish 7", "next"}));

    browser("INFO 2");   // missing values are 0
    EXPECT_EQ(info.info_count, 2);
    EXPECT_EQ(info.info_a, 0);
    EXPECT_EQ(info.info_b, 0);
}

TEST_F(BrowserHandlersTest, DescriptionKeepsTheOldTextWhenEmpty)
{
    struct Case {
        std::string line;
        std::string expected;
    } cases[] = {
        {"DESC 0;\n", "from servers.txt"},
        {"DESC 0;   \t \n", "from servers.txt"},
        {"DESC 0", "from servers.txt"},
        {"DESC 0;  Friendly dojo \r\n", "Friendly dojo"},
        {"DESC 0;" + std::string(1500, 'd') + "\n", std::string(127, 'd')},
    };
    for (const Case &c : cases) {
        n_strncpyz(info.description, "from servers.txt", sizeof info.description);
        browser(c.line);
        EXPECT_EQ(info.description, c.expected) << c.line;
    }
}

TEST_F(BrowserHandlersTest, ClientsFillNamesAndCountBuddies)
{
    std::string line = "CLIENTS 0;friend\t" + std::string(40, 'x') + "\tpal";
    for (int i = 3; i < 40; i++)
        line += "\tp" + std::to_string(i);
    browser(line + "\n");
    EXPECT_STREQ(info.names[0], "friend");
    EXPECT_EQ(std::string(info.names[1]), std::string(31, 'x'));
    EXPECT_STREQ(info.names[2], "pal");
    EXPECT_STREQ(info.names[31], "p31");
    EXPECT_EQ(info.buddies, 2);

    for (const char *empty : {"CLIENTS 0;\n", "CLIENTS 0;", "CLIENTS 0"}) {
        info.buddies = 9;
        strcpy(info.names[0], "old");
        browser(empty);
        EXPECT_EQ(info.names[0][0], '\0') << empty;
        EXPECT_EQ(info.buddies, 0) << empty;
    }

    // Names end at the line end.
    browser("CLIENTS 0;a\tb\nc\td");
    EXPECT_STREQ(info.names[1], "b");
    EXPECT_EQ(info.names[2][0], '\0');
}

TEST_F(BrowserHandlersTest, NewgameFillsTheReportOnly)
{
    GameRules rules;
    memset(&rules, 0, sizeof rules);
    fill_default_rules(1, &rules);
    rules.matchframes = 1234;
    parse_turnframes("25,35,45", &rules);
    rules.dojosize = 600;
    n_strncpyz(rules.mod, "aikido.zmm", sizeof rules.mod);
    std::string line = write_newgame_line(0, &rules);

    auto live = [] {
        std::string s((const char *)&current_rules, sizeof current_rules);
        s.append((const char *)&match_state, sizeof match_state);
        s.append((const char *)players, sizeof players);
        return s;
    };
    std::string before = live();
    browser(line);
    EXPECT_EQ(info.rules.matchframes, 1234);
    EXPECT_STREQ(info.rules.mod, "aikido.zmm");
    EXPECT_EQ(info.rules.dojosize, 600);
    EXPECT_EQ(info.rules.turnframes_count, 3);
    EXPECT_EQ(info.rules.turnframes[2], 45);
    EXPECT_STREQ(info.rules.turnframes_text, "25,35,45");
    EXPECT_TRUE(live() == before);
    EXPECT_EQ(replay_rules, nullptr);
}

TEST_F(BrowserHandlersTest, WithoutTargetLinesAreIgnored)
{
    browser_target = nullptr;
    browser("INFO 7; 3 4\n");
    browser("DESC 0; x\n");
    browser("CLIENTS 0; x\n");
    browser("NEWGAME 0; 100 10\n");
    EXPECT_TRUE(calls.empty());
    EXPECT_STREQ(info.description, "from servers.txt");
}

// The target belongs to the thread that set it: the worker's lines never
// reach a record another thread points at.
TEST_F(BrowserHandlersTest, TargetIsPerThread)
{
    ServerInfo worker_info;
    server_info_init(&worker_info);
    core_outward.publish_server_info = nullptr;
    std::thread worker([&] {
        EXPECT_EQ(browser_target, nullptr);
        browser_target = &worker_info;
        browser("DESC 0; worker\n");
        browser("INFO 5; 1 1\n");
    });
    worker.join();
    EXPECT_STREQ(worker_info.description, "worker");
    EXPECT_EQ(worker_info.info_count, 5);
    EXPECT_STREQ(info.description, "from servers.txt");
    EXPECT_EQ(browser_target, &info);
}

}  // namespace

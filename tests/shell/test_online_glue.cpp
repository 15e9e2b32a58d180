// The online wiring: the slots start-up fills for the client and the
// browser, and the game connection's raw send that marks a READY.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/outward.h"
#include "core/records.h"
#include "net/client.h"
#include "net/scripted_peer.h"
#include "shell/console_commands.h"
#include "shell/game_control.h"
#include "shell/online_glue.h"

namespace {

ServerConnection *test_connection = nullptr;

class OnlineGlue : public ::testing::Test {
protected:
    CoreOutward saved_core;
    GameControlLinks saved_links;
    ClientLinks saved_client;
    void SetUp() override
    {
        saved_core = core_outward;
        saved_links = game_links;
        saved_client = client_links;
        core_outward = CoreOutward();
        game_links = GameControlLinks();
        client_links = ClientLinks();
    }
    void TearDown() override
    {
        core_outward = saved_core;
        game_links = saved_links;
        client_links = saved_client;
    }
};

}  // namespace

TEST_F(OnlineGlue, FillsTheOnlineSlots)
{
    bind_online();
    EXPECT_EQ(core_outward.commit_turn, &commit_turn);
    EXPECT_EQ(core_outward.connect_to_server, &connect_to_server);
    EXPECT_EQ(core_outward.forward_to_server, &forward_to_server);
    EXPECT_EQ(core_outward.close_connection, &net_disconnect);
    EXPECT_NE(core_outward.server_address_text, nullptr);
    EXPECT_NE(core_outward.play_next_replay, nullptr);
    EXPECT_NE(core_outward.hook_announce, nullptr);
    EXPECT_NE(core_outward.set_spectator_names, nullptr);
    EXPECT_NE(core_outward.publish_server_info, nullptr);
    EXPECT_NE(core_outward.poll_next_server, nullptr);
    EXPECT_EQ(game_links.poll_game_server, &poll_game_server);
    EXPECT_EQ(game_links.poll_connecting, &poll_connect);
    EXPECT_NE(game_links.send_game_line, nullptr);
    EXPECT_NE(game_links.close_game_connection, nullptr);
    EXPECT_NE(game_links.start_browser_thread, nullptr);
    EXPECT_EQ(game_links.draw_server_list, &draw_server_list);
    EXPECT_EQ(game_links.enter_server_list, &enter_server_list);
    EXPECT_EQ(game_links.leave_server_list, &leave_server_list);
    EXPECT_NE(client_links.connection, nullptr);
    EXPECT_NE(client_links.start_online_game, nullptr);

    // Without the program's objects these do nothing, and do not crash.
    core_outward.set_spectator_names(nullptr, 0);
    core_outward.hook_announce(1, "text");
    game_links.start_browser_thread();
    leave_server_list(0);
    EXPECT_EQ(start_browser_thread(), 0);
}

TEST_F(OnlineGlue, ReadyThatGoesOutIsMarked)
{
    ScriptedPeer server;
    ServerConnection conn;
    net_reset(&conn);
    ASSERT_EQ(net_connect(&conn, server.address().c_str(), 1), 0);
    test_connection = &conn;
    client_links.connection = [] { return test_connection; };
    bind_online();
    ready_sent = 0;
    EXPECT_EQ(game_links.send_game_line("SAY 0;hi\n"), 0);
    EXPECT_EQ(ready_sent, 0);
    EXPECT_EQ(game_links.send_game_line("READY\n"), 0);
    EXPECT_EQ(ready_sent, 1);
    EXPECT_TRUE(server.wait_for("SAY 0;hi\nREADY\n"));
    game_links.close_game_connection();
    EXPECT_EQ(conn.socket, 0);
    ready_sent = 0;
    EXPECT_EQ(game_links.send_game_line("READY\n"), 1);
    EXPECT_EQ(ready_sent, 0);
    test_connection = nullptr;
}

// Chat lines online: plain text goes out as "SAY", a slash line that is no
// console command goes out without its slash, a console command runs here;
// offline nothing is sent.
TEST_F(OnlineGlue, ChatAndSlashLines)
{
    ScriptedPeer server;
    ServerConnection conn;
    net_reset(&conn);
    ASSERT_EQ(net_connect(&conn, server.address().c_str(), 1), 0);
    test_connection = &conn;
    client_links.connection = [] { return test_connection; };
    std::vector<std::string> echoed;
    static std::vector<std::string> *sink;
    sink = &echoed;
    core_outward.echo = [](const char *text, int) { sink->push_back(text); };
    int saved_type = game_type;

    game_type = 0;
    submit_chat_text("nobody hears this");
    submit_chat_text("/whois me");
    game_type = 1;
    submit_chat_text("hello   there");
    submit_chat_text("/whois me");
    submit_chat_text("/echo only here");
    EXPECT_TRUE(server.wait_for("SAY hello there\nwhois me\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(server.text(), "SAY hello there\nwhois me\n");
    EXPECT_EQ(echoed, (std::vector<std::string>{"only here"}));

    // The server gone: the chat line fails as every send does, once.
    server.drop_client();
    server.stop();
    echoed.clear();
    for (int k = 0; k < 50 && client_is_connected(); k++) {
        submit_chat_text("anyone?");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    submit_chat_text("anyone?");
    EXPECT_EQ(client_is_connected(), 0);
    ASSERT_FALSE(echoed.empty());
    EXPECT_EQ(echoed.front(), "Disconnected. Lost contact with server");
    EXPECT_EQ(std::count(echoed.begin(), echoed.end(), "Disconnected. Lost contact with server"), 1);
    game_type = saved_type;
    test_connection = nullptr;
}

// Online play in the real program against scripted servers that the test
// starts on 127.0.0.1: the login lines, the server's lines taking effect,
// a turn committed with the space key, READY after the result, a server
// that goes away and one that stalls mid-line; the server browser polling
// three local servers.
#include <gtest/gtest.h>

#include <cstdlib>

#include <string>
#include <thread>

#include "e2e/e2e_support.h"
#include "net/scripted_peer.h"

TEST(E2eOnline, ConnectPlayATurnAndLoseTheServer)
{
    ScriptedPeer server;
    std::string seen_at_join, seen_after_space, seen_at_end;
    std::thread driver([&] {
        if (!server.wait_for("mlogin", 120000))
            return;
        server.push(std::string("ID 5;\nBOUT 0; 5 0 0 0 0 0 me 0\nBOUT 1; 6 0 0 0 0 0 you 0\n"
                                "BOUT 2; -1\n") +
                    server_newgame_line() +
                    "SAY 0;welcome to the test server\nSPECS 0;carol\tdave\n"
                    "ANNOUNCE 7;big news\n");
        seen_at_join = server.text();
        if (!server.wait_for("JOINT 0;", 120000))
            return;
        // The move's lines are the last the client sends before the result;
        // its first PING goes out as it connects.
        server.wait_for("PING\n", 120000);
        seen_after_space = server.text();
        // The match ends with the server's result; the finished match
        // replays, and space then says the user is ready for the next one.
        server.push("WIN 0; 1 0 1 0 0 0 0 0 0\n");
        server.wait_for("READY\n", 120000);
        seen_at_end = server.text();
        server.drop_client();
    });

    GameSetup setup;
    setup.startup_lua = R"(
function announce_callback(number, text)
  e2e_log("announce " .. number .. " " .. text)
end
local joined = false
local lost = false
add_hook("console", "e2e", function(text, kind)
  text = tostring(text)
  e2e_log("console " .. tostring(kind) .. " " .. text)
  if not joined and string.find(text, "welcome to the test server", 1, true) then
    joined = true
  end
  if not lost and string.find(text, "lost contact", 1, true) then
    lost = true
    e2e_mark("lost")
  end
end)
-- The console hook does not fire for lines echoed from inside itself, so
-- the commands go out from the next frame's drawing.
local commands_sent = false
add_hook("draw2d", "e2e", function()
  if joined and not commands_sent then
    commands_sent = true
    run_cmd("emote waves")
    run_cmd("spec")
    run_cmd("enter")
    e2e_mark("joined")
  end
end)
)" + connect_on_first_game(server.port) + R"(
)";
    // The main menu is left for the game, then space commits the turn;
    // space again while the result shows and the match replays, until the
    // server, having heard READY, goes away.
    setup.actions.push_back({"joined", 0, "xdotool mousemove 400 300 key Escape"});
    setup.actions.push_back(repeat_until("", "xdotool key space", "lost", 2000));
    setup.actions.push_back({"lost", 0, "screenshot lost.png"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("online_turn", setup);
    server.stop();
    driver.join();

    EXPECT_FALSE(run.timed_out) << run.describe();
    // Login: the nick (the default name when none is stored), the digest
    // of the empty password, then the first keep-alive.
    EXPECT_EQ(seen_at_join.rfind("NICK ", 0), 0u) << seen_at_join;
    EXPECT_NE(seen_at_join.find("\nmlogin "), std::string::npos) << seen_at_join;
    EXPECT_NE(seen_at_join.find("d41d8cd98f00b204e9800998ecf8427e\n"), std::string::npos);
    EXPECT_NE(seen_after_space.find("PING\n"), std::string::npos) << seen_after_space;
    EXPECT_NE(seen_after_space.find("emote waves\nSPEC\nENTER\n"), std::string::npos)
        << seen_after_space;
    EXPECT_NE(run.log.find("console 4 joining spectators"), std::string::npos) << run.describe();
    // The committed turn: the GRIP line, then the JOINT line.
    size_t grip = seen_after_space.find("GRIP 0;");
    size_t joint = seen_after_space.find("JOINT 0;");
    EXPECT_NE(grip, std::string::npos) << seen_after_space;
    EXPECT_NE(joint, std::string::npos) << seen_after_space;
    EXPECT_LT(grip, joint);
    // READY once the match was over.
    EXPECT_NE(seen_at_end.find("READY\n"), std::string::npos) << seen_at_end;
    // The server's lines took effect.
    EXPECT_NE(run.log.find("welcome to the test server"), std::string::npos) << run.describe();
    EXPECT_NE(run.log.find("announce 7 big news"), std::string::npos) << run.describe();
    // The server went away: the player is told.
    EXPECT_NE(run.log.find("lost contact with server"), std::string::npos) << run.describe();
}

TEST(E2eOnline, BrowserListsThreeLocalServers)
{
    ScriptedPeer answering;
    ScriptedPeer closed(false);
    ScriptedPeer silent;
    std::thread driver([&] {
        if (answering.wait_client(120000))
            answering.push(server_newgame_line() +
                           "CLIENTS 0;alice\tbob\nDESC 0;Scripted server one\nINFO 2;16 0\n");
    });
    GameSetup setup;
    setup.files.push_back({"servers.txt", answering.address() + " \"first\"\n" + closed.address() +
                                              " second\n" + silent.address() + " third\n"});
    // "refresh" when the first game starts; "list" (on F12), again until
    // the pass is over (about five seconds: the silent server has its whole
    // slot) and the list shows the three servers as they answered.
    const std::string first = "#1 " + answering.address() + " 2/16 Scripted server one";
    const std::string second = "#2 " + closed.address() + " 0/0 No Connection..";
    const std::string third = "#3 " + silent.address() + " 0/0 No Connection..";
    setup.startup_lua = R"(
local started = false
local listing = {}
add_hook("console", "e2e", function(text, kind)
  text = tostring(text)
  e2e_log("console " .. text)
  if string.find(text, "#1 ", 1, true) == 1 then listing = {} end
  if text == ")" + first + R"(" then listing[1] = true end
  if text == ")" + second + R"(" then listing[2] = true end
  if text == ")" + third + R"(" and listing[1] and listing[2] then e2e_mark("all_listed") end
end)
add_hook("new_game", "e2e", function()
  if not started then
    started = true
    run_cmd("refresh")
    e2e_mark("started")
  end
end)
add_hook("key_down", "e2e", function(key)
  if key == 293 then
    run_cmd("list")
    e2e_mark("listed")
    return 1
  end
end)
)";
    setup.actions.push_back({"started", 0, "xdotool mousemove 400 300 key Escape"});
    setup.actions.push_back(repeat_until("", "xdotool key F12", "all_listed", 1500));
    setup.actions.push_back({"", 0, "screenshot list.png"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("online_browser", setup);
    answering.stop();
    silent.stop();
    driver.join();

    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_NE(run.log.find("console refreshing server list"), std::string::npos) << run.describe();
    EXPECT_NE(run.log.find(first), std::string::npos) << run.describe();
    EXPECT_NE(run.log.find(second), std::string::npos) << run.describe();
    EXPECT_NE(run.log.find(third), std::string::npos) << run.describe();
}

// A server that stops in the middle of a line: the program keeps drawing
// its frames, and gives the server up with "lost contact with server" once
// the line's deadline has passed.
TEST(E2eOnline, StalledServerKeepsTheFrameRate)
{
    ScriptedPeer server;
    std::thread driver([&] {
        if (!server.wait_for("mlogin", 120000))
            return;
        server.push(std::string("ID 5;\nBOUT 0; 5 0 0 0 0 0 me 0\nBOUT 1; 6 0 0 0 0 0 you 0\n"
                                "BOUT 2; -1\n") +
                    server_newgame_line() + "SAY 0;joined the stalling server\n");
        // The line stalls once the program has shown the join: its script
        // then says so to the server.
        if (!server.wait_for("emote joined\n", 120000))
            return;
        server.push("SAY 0;half a li");
    });
    GameSetup setup;
    setup.startup_lua = R"(
local since = nil
local last = nil
local worst = 0
local done = false
local told = false
)" + connect_on_first_game(server.port) + R"(
add_hook("draw2d", "e2e", function()
  if since ~= nil and not told then
    told = true
    run_cmd("emote joined")
  end
end)
add_hook("camera", "e2e", function()
  local now = get_world_state().frame_tick
  if since ~= nil and not done and last ~= nil and now - last > worst then
    worst = now - last
  end
  last = now
end)
add_hook("console", "e2e", function(text, kind)
  text = tostring(text)
  e2e_log("console " .. text)
  if since == nil and string.find(text, "joined the stalling server", 1, true) then
    since = get_world_state().frame_tick
  end
  if not done and since ~= nil and string.find(text, "lost contact", 1, true) then
    done = true
    e2e_log("worst gap " .. worst)
    e2e_log("waited " .. (get_world_state().frame_tick - since))
    e2e_mark("lost")
  end
end)
)";
    setup.actions.push_back({"lost", 0, "term"});
    GameRun run = run_game("online_stall", setup);
    server.stop();
    driver.join();

    EXPECT_FALSE(run.timed_out) << run.describe();
    ASSERT_NE(run.log.find("console lost contact with server"), std::string::npos) << run.describe();
    auto number_after = [&](const std::string &key) {
        size_t at = run.log.find(key);
        return at == std::string::npos ? -1 : atoi(run.log.c_str() + at + key.size());
    };
    int worst = number_after("worst gap ");
    int waited = number_after("waited ");
    // Frames went on while the line waited: a loop held by the read would
    // show one gap of the line's whole five seconds. The bound is half of
    // that, not a frame rate: a software-rendered frame of the sanitizer
    // build took over a second on a busy machine.
    EXPECT_GE(worst, 0) << run.describe();
    EXPECT_LT(worst, 2500) << run.describe();
    // Given up once the line's five seconds had passed, and not left waiting
    // on: the wait also holds the half line's round trip to the server.
    EXPECT_GE(waited, 4500) << run.describe();
    EXPECT_LT(waited, 12000) << run.describe();
}

// What a server sends stays readable: its SAY lines in the faded console
// keep their grey at full strength over the white floor, and scores far
// beyond what a match gives step down to a smaller font instead of running
// into the main menu's title.
TEST(E2eOnline, ServerTextStaysReadable)
{
    ScriptedPeer server;
    std::thread driver([&] {
        if (!server.wait_for("mlogin", 120000))
            return;
        server.push(std::string("ID 5;\nBOUT 0; 5 0 0 0 0 0 me 0\nBOUT 1; 6 0 0 0 0 0 you 0\n") +
                    server_newgame_line() +
                    "SAY 0;welcome to the test server\n"
                    "FRAME 1; 0 0 -123456789 -987654321\n");
    });
    GameSetup setup;
    setup.startup_lua = R"(
add_hook("console", "e2e", function(text, kind)
  if string.find(tostring(text), "welcome to the test server", 1, true) then
    e2e_mark_after("said", 5)
  end
end)
)" + connect_on_first_game(server.port) + R"(
)";
    setup.actions.push_back({"said", 0, "screenshot menu.ppm"});
    setup.actions.push_back({"", 0, "screenshot menu.png"});
    setup.actions.push_back({"", 0, "xdotool mousemove 790 20 key Escape"});
    setup.actions.push_back({"", 0, "screenshot game.ppm"});
    setup.actions.push_back({"", 0, "screenshot game.png"});
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("online_readable", setup);
    server.stop();
    driver.join();
    EXPECT_FALSE(run.timed_out) << run.describe();
    // The first fighter's score (its dark red) at the top right, over its
    // name, all of it right of x 600 and above the title's row; none where
    // the title stands.
    const int score[3] = {160, 28, 28};
    EXPECT_GT(count_colour_pixels(run, "menu.ppm", 600, 0, 192, 32, score, 25), 50)
        << run.describe();
    EXPECT_EQ(count_colour_pixels(run, "menu.ppm", 200, 0, 400, 100, score, 25), 0)
        << run.describe();
    // The server's line in its own grey (not faded to a light grey), left
    // of the fighters, in the menu and in the game.
    const int grey[3] = {128, 128, 128};
    for (const char *shot : {"menu.ppm", "game.ppm"})
        EXPECT_GT(count_colour_pixels(run, shot, 8, 440, 160, 100, grey, 15), 60)
            << shot << "\n" << run.describe();
}

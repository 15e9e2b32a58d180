// A console connect given a host name in the real program: the name is
// looked up off the main thread and the login goes out as with an address.
#include <gtest/gtest.h>

#include <string>

#include "e2e/e2e_support.h"
#include "net/scripted_peer.h"

TEST(E2eResolver, ConsoleConnectByHostName)
{
    ScriptedPeer server;
    const std::string address = "localhost:" + std::to_string(server.port);
    GameSetup setup;
    setup.startup_lua = R"(
local started = false
local connected = false
add_hook("console", "e2e", function(text, kind)
  text = tostring(text)
  e2e_log("console " .. tostring(kind) .. " " .. text)
  if not connected and string.find(text, "Connected to", 1, true) then
    connected = true
    e2e_mark("connected")
  end
end)
add_hook("new_game", "e2e", function()
  if not started then
    started = true
    run_cmd("connect )" + address + R"(")
  end
end)
)";
    setup.actions.push_back({"connected", 0, "term"});
    GameRun run = run_game("resolver_connect", setup);
    bool saw_login = server.wait_for("\nmlogin ", 3000);
    std::string seen = server.text();
    server.stop();

    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_TRUE(saw_login) << seen;
    EXPECT_EQ(seen.rfind("NICK ", 0), 0u) << seen;
    EXPECT_NE(run.log.find("console 4 Connected to " + address), std::string::npos)
        << run.describe();
    EXPECT_EQ(run.log.find("Failed to connect"), std::string::npos) << run.describe();
}

// The program's start and its ways out, the console's links under the mouse,
// the result banner before the replay, and the shipped mod the help names,
// as a player or a script meets them.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_support.h"
#include "net/scripted_peer.h"
#include "support/test_support.h"

namespace {

// An environment variable set for one test and put back afterwards.
struct ScopedEnv {
    std::string name;
    bool had = false;
    std::string old;
    ScopedEnv(const char *n, const char *value) : name(n)
    {
        const char *now = getenv(n);
        had = now != nullptr;
        if (had)
            old = now;
        if (value)
            setenv(n, value, 1);
        else
            unsetenv(n);
    }
    ~ScopedEnv()
    {
        if (had)
            setenv(name.c_str(), old.c_str(), 1);
        else
            unsetenv(name.c_str());
    }
};

// Counts the connections made to a port on 127.0.0.1; each is taken and
// left open until the counter stops.
struct ConnectionCounter {
    int listener = -1;
    int port = 0;
    std::atomic<int> count{0};
    std::atomic<bool> quit{false};
    std::vector<int> clients;
    std::thread thread;

    ConnectionCounter()
    {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, (sockaddr *)&a, sizeof a);
        socklen_t length = sizeof a;
        getsockname(listener, (sockaddr *)&a, &length);
        port = ntohs(a.sin_port);
        listen(listener, 8);
        thread = std::thread([this] {
            while (!quit)
                take(20);
        });
    }
    void take(int ms)
    {
        pollfd p = {listener, POLLIN, 0};
        if (poll(&p, 1, ms) == 1) {
            int c = accept(listener, nullptr, nullptr);
            if (c >= 0) {
                clients.push_back(c);
                count++;
            }
        }
    }
    // The count once every connection still waiting has been taken.
    int stop()
    {
        quit = true;
        if (thread.joinable())
            thread.join();
        take(0);
        for (int i = 0; i < 8; i++)
            take(0);
        for (int c : clients)
            close(c);
        clients.clear();
        if (listener >= 0)
            close(listener);
        listener = -1;
        return count;
    }
    ~ConnectionCounter() { stop(); }
};

// The processes (other than zombies) whose working directory is dir.
std::vector<int> processes_in(const std::string &dir)
{
    std::vector<int> found;
    DIR *proc = opendir("/proc");
    if (!proc)
        return found;
    while (dirent *entry = readdir(proc)) {
        int pid = atoi(entry->d_name);
        if (pid <= 0)
            continue;
        std::string base = std::string("/proc/") + entry->d_name;
        std::string stat = read_whole_file(base + "/stat");
        size_t close_paren = stat.rfind(')');
        if (close_paren == std::string::npos || close_paren + 2 >= stat.size() ||
            stat[close_paren + 2] == 'Z')
            continue;
        char cwd[4096];
        ssize_t n = readlink((base + "/cwd").c_str(), cwd, sizeof cwd - 1);
        if (n <= 0)
            continue;
        cwd[n] = 0;
        if (dir == cwd)
            found.push_back(pid);
    }
    closedir(proc);
    return found;
}

}  // namespace

// A start-up script's frames begin with the first match open: its first
// camera and draw2d hooks come after the program's first new game, and a
// game the script starts in its first frame is the one that stays.
TEST(E2ePartialB, ScriptFramesBeginWithTheFirstMatchOpen)
{
    GameSetup setup;
    setup.args = {"-autoupdate", "0"};
    setup.startup_lua = R"lua(
local games = 0
local cameras = 0
local frames = 0
add_hook('new_game', 'e2e', function()
  games = games + 1
  e2e_log('event new_game ' .. games)
end)
add_hook('camera', 'e2e', function()
  cameras = cameras + 1
  if cameras == 1 then e2e_log('event camera') end
end)
add_hook('draw2d', 'e2e', function()
  frames = frames + 1
  if frames == 1 then
    e2e_log('event draw2d')
    run_cmd('set matchframes 321')
    start_new_game()
  elseif frames == 30 then
    e2e_log('games ' .. games .. ' matchframes ' .. get_game_rules().matchframes)
    e2e_quit()
  end
end)
)lua";
    setup.timeout_ms = 90000;
    GameRun run = run_game("partial_b_first_frames", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    std::vector<std::string> events = tagged(run.log, "event ");
    ASSERT_GE(events.size(), 3u) << run.describe();
    EXPECT_EQ(events[0], "new_game 1") << run.describe();
    // The program's own first game, then the script's; nothing after it.
    EXPECT_EQ(tagged(run.log, "games "), std::vector<std::string>{"2 matchframes 321"})
        << run.describe();
}

// The player's profile.zms runs once a start: a profile that connects makes
// one connection, not one, a quit and another.
TEST(E2ePartialB, ProfileRunsOnceAtStart)
{
    ConnectionCounter server;
    GameSetup setup;
    setup.args = {"-autoupdate", "0"};
    setup.files = {{"profile.zms", "echo profile ran\nconnect 127.0.0.1:" +
                                       std::to_string(server.port) + "\n"}};
    setup.startup_lua = R"lua(
add_hook('console', 'e2e', function(text, kind)
  if string.find(tostring(text), 'profile ran', 1, true) then e2e_log('profile ' .. kind .. ' ' .. text) end
end)
local frames = 0
add_hook('draw2d', 'e2e', function()
  frames = frames + 1
  if frames == 60 then e2e_quit() end
end)
)lua";
    setup.timeout_ms = 90000;
    GameRun run = run_game("partial_b_profile", setup);
    int connections = server.stop();
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    // The script's line, then what it said: once each.
    EXPECT_EQ(tagged(run.log, "profile "),
              (std::vector<std::string>{"4 echo profile ran", "4 profile ran"}))
        << run.describe();
    EXPECT_EQ(connections, 1) << run.describe();
}

// A console line with a link, hovered and clicked with the mouse, opens the
// link in the browser (a stand-in launcher first on the PATH records it).
TEST(E2ePartialB, ClickedConsoleLinkOpensTheBrowser)
{
    std::string bin = test_tmp_path("e2e_partial_b_browser");
    mkdir(bin.c_str(), 0755);
    std::string launcher = bin + "/xdg-open";
    ASSERT_TRUE(write_whole_file(launcher, "#!/bin/sh\n"
                                           "printf '%s\\n' \"$@\" > browser.tmp\n"
                                           "mv browser.tmp browser.txt\n"));
    chmod(launcher.c_str(), 0755);
    const char *path_now = getenv("PATH");
    ScopedEnv path("PATH", (bin + ":" + (path_now ? path_now : "/usr/bin:/bin")).c_str());

    GameSetup setup;
    setup.args = {"-autoupdate", "0"};
    // The newest console line stands in the bottom row: in game the rows
    // stand clear above the play bar (whose icons reach up to y 476 in the
    // 600 pixels of the window), so that row spans y 456 to 476; its text
    // starts at x 8.
    setup.startup_lua = R"lua(
local frames = 0
add_hook('draw2d', 'e2e', function()
  frames = frames + 1
  if frames == 2 then echo('www.example.com/zylo is the place') end
  if frames == 10 then e2e_mark('ready') end
  local f = io.open('browser.txt')
  if f then f:close(); e2e_quit() elseif frames > 3000 then e2e_quit() end
end)
)lua";
    // The main menu is left for the game first; the events come in order.
    setup.actions.push_back({"ready", 0, "xdotool mousemove 400 300 key Escape"});
    // The pointer onto the line and a click, in one go (the move is handled
    // before the click), until the launcher has run.
    setup.actions.push_back(repeat_until("", "xdotool mousemove 60 466 click 1", "browser.txt", 1500));
    setup.timeout_ms = 90000;
    GameRun run = run_game("partial_b_link", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(run.file("browser.txt"), "http://www.example.com/zylo\n") << run.describe();
}

// Offline, the replay of a finished match waits while the banner shows: a
// script keeps a banner up past the usual four seconds and the replay starts
// only once it has gone.
TEST(E2ePartialB, FinishedMatchReplayWaitsForTheBanner)
{
    GameSetup setup;
    setup.args = {"-autoupdate", "0"};
    setup.startup_lua = R"lua(
local phase = 0
local ended, last_cp = nil, nil
add_hook('end_game', 'e2e', function()
  ended = get_world_state().frame_tick
end)
add_hook('draw2d', 'e2e', function()
  local w = get_world_state()
  if phase == 0 then
    phase = 1
    run_cmd('set matchframes 20')
    run_cmd('set turnframes 20')
    start_new_game()
  elseif phase == 1 then
    phase = 2
    step_game()
  elseif phase == 2 and ended then
    if w.replay_mode ~= 0 then
      e2e_log('replay ' .. (w.frame_tick - ended) .. ' ' .. (last_cp - ended))
      e2e_quit()
    elseif w.frame_tick - ended < 7000 and
           (last_cp == nil or w.frame_tick - last_cp >= 1000) then
      run_cmd('cp holding on')
      last_cp = w.frame_tick
    end
  end
end)
)lua";
    setup.timeout_ms = 90000;
    GameRun run = run_game("partial_b_banner", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    std::vector<std::string> replay = tagged(run.log, "replay ");
    ASSERT_EQ(replay.size(), 1u) << run.describe();
    int after_end = 0, last_banner = 0;
    ASSERT_EQ(sscanf(replay[0].c_str(), "%d %d", &after_end, &last_banner), 2) << replay[0];
    // The last banner lasts three seconds from its start.
    EXPECT_GE(after_end, last_banner + 3000) << run.describe();
}

// A start that fails (here the fonts can't be read) still tells the updater
// child to stop: with its server stalling mid-request, the child goes with
// the game instead of staying behind.
TEST(E2ePartialB, FailedStartStopsTheUpdater)
{
    ScriptedPeer proxy;   // takes the updater's request and never answers
    std::string address = "http://" + proxy.address();
    ScopedEnv http_proxy("http_proxy", address.c_str());
    ScopedEnv no_proxy("no_proxy", nullptr);
    ScopedEnv no_proxy_upper("NO_PROXY", nullptr);

    GameSetup setup;
    setup.args = {"-autoupdate", "1"};
    setup.files = {{"data/fonts/zylomach.ttf", "not a font"}};
    setup.timeout_ms = 90000;
    GameRun run = run_game("partial_b_updater", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 1) << run.describe();
    EXPECT_NE(run.err.find("Failed to load fonts"), std::string::npos) << run.describe();

    std::vector<int> left = processes_in(run.dir);
    for (int k = 0; k < 150 && !left.empty(); k++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        left = processes_in(run.dir);
    }
    EXPECT_TRUE(left.empty()) << left.size() << " process(es) stayed in " << run.dir << "\n"
                              << run.file("autoupdate.log");
    for (int pid : left)
        kill(pid, SIGKILL);
    proxy.stop();
}

// The mod the help names is shipped: "loadmod classic.zmm" loads it and says
// so, and the built-in world stands as it was.
TEST(E2ePartialB, HelpsExampleModLoads)
{
    GameSetup setup;
    setup.args = {"-autoupdate", "0"};
    setup.startup_lua = R"lua(
local phase = 0
local function body_size(p, b)
  local x, y, z = get_body_info(p, b).sides.x, get_body_info(p, b).sides.y, get_body_info(p, b).sides.z
  return string.format('%.3f %.3f %.3f', x, y, z)
end
add_hook('console', 'e2e', function(text, kind)
  text = tostring(text)
  e2e_log('console ' .. kind .. ' ' .. text)
end)
add_hook('draw2d', 'e2e', function()
  phase = phase + 1
  if phase == 2 then
    e2e_log('before ' .. body_size(0, 0) .. ' ' .. body_size(1, 7))
    run_cmd('loadmod classic.zmm')
  elseif phase == 4 then
    e2e_log('after ' .. get_game_rules().mod .. ' ' .. body_size(0, 0) .. ' ' .. body_size(1, 7))
    run_cmd('loadmod pillars.zmm')
  elseif phase == 6 then
    e2e_quit()
  end
end)
)lua";
    setup.timeout_ms = 90000;
    GameRun run = run_game("partial_b_mod", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    std::vector<std::string> console = tagged(run.log, "console ");
    EXPECT_NE(std::find(console.begin(), console.end(), "4 Loaded mod classic.zmm"),
              console.end())
        << run.describe();
    EXPECT_NE(std::find(console.begin(), console.end(), "4 Loaded mod pillars.zmm"),
              console.end())
        << run.describe();
    EXPECT_NE(std::find(console.begin(), console.end(), "4 Pillars: mind the crate"),
              console.end())
        << run.describe();
    EXPECT_EQ(run.log.find("Unable to load mod"), std::string::npos) << run.describe();
    std::vector<std::string> before = tagged(run.log, "before ");
    std::vector<std::string> after = tagged(run.log, "after ");
    ASSERT_EQ(before.size(), 1u) << run.describe();
    ASSERT_EQ(after.size(), 1u) << run.describe();
    EXPECT_EQ(after[0], "classic.zmm " + before[0]) << run.describe();
}

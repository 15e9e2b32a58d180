// What a new player meets with only mouse and keys: the shop left for a
// plain game, the tutorial walked to its end and left, a Multi Player row
// picked where it is drawn, the empty lists' notes, and an Options choice
// saved over the command line's value. The window is 800 x 600; the main
// menu's rows are 30 pixels high from y 120, centred.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <chrono>
#include <cmath>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/test_support.h"

namespace {

// The y of main and setup menu row n.
int menu_row_y(int row) { return 135 + 30 * row; }

std::string click_menu_row(int row)
{
    return "xdotool mousemove 400 " + std::to_string(menu_row_y(row)) + " click 1";
}

// A folder "replay/" without replays.
void empty_replay_folder(GameSetup &setup)
{
    setup.files.push_back({"replay/readme.txt", "no replays here\n"});
}

// The login file's UTF-16 little-endian text.
std::string login_file(const std::string &user, const std::string &password)
{
    std::string text = "user " + user + "\r\npass " + password + "\r\n", out;
    for (char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

// The hooks every walk shares. The start-up script runs again before every
// other script, so its state lives in one global table. Console lines go
// (and the scripts' echoes) to the log as "console <text>"; a line containing a text given to
// e2e_watch marks the file named for it and makes that the phase. A new
// game marks "game_after_<phase>" (the phase when it started). draw2d
// (which runs in game and on the pages with the game behind them) marks
// "drawn" after 10 frames, logs the match frame as it changes, and marks
// what e2e_frames(phase, frame, mark) asks for: the match frame reached in
// a game started in that phase.
const char shared_lua[] = R"(
newcomer_state = newcomer_state or { frames = 0, last_frame = -1, watch = {}, frame_marks = {},
                           phase = "start" }
local st = newcomer_state
function e2e_watch(text, mark) st.watch[text] = mark end
function e2e_frames(phase, frame, mark) st.frame_marks[mark] = { phase = phase, frame = frame } end
local function note(text)
  text = tostring(text)
  e2e_log("console " .. text)
  for needle, mark in pairs(st.watch) do
    if string.find(text, needle, 1, true) then
      e2e_mark(mark)
      st.phase = mark
    end
  end
end
add_hook("console", "e2e", function(text, kind) note(text) end)
-- A script's own echo passes the console hook by: it is noted here.
st.real_echo = st.real_echo or echo
echo = function(text)
  note(text)
  return st.real_echo(text)
end
add_hook("new_game", "e2e", function()
  st.game_phase = st.phase
  e2e_log("new game after " .. st.phase)
  e2e_mark("game_after_" .. st.phase)
end)
add_hook("draw2d", "e2e", function()
  st.frames = st.frames + 1
  if st.frames == 10 then e2e_mark("drawn") end
  local f = get_world_state().match_frame
  if f ~= st.last_frame then
    st.last_frame = f
    e2e_log("frame " .. f)
  end
  for mark, want in pairs(st.frame_marks) do
    if st.game_phase == want.phase and f >= want.frame then
      e2e_mark(mark)
      st.frame_marks[mark] = nil
    end
  end
  if st.every_frame then st.every_frame() end
end)
)";

// The band of the page titles (centred, font 0 at y 30): a page change
// shows there first.
const int TITLE_BAND[4] = {200, 20, 400, 70};

GameAction until_title_changes(const std::string &wait_file, const std::string &command)
{
    return until_changed(wait_file, command, TITLE_BAND[0], TITLE_BAND[1], TITLE_BAND[2],
                         TITLE_BAND[3]);
}

double brightness(const GameRun &run, const std::string &ppm, int x, int y, int w, int h)
{
    double rgb[3];
    if (!region_colour(run, ppm, x, y, w, h, rgb))
        return -1;
    return (rgb[0] + rgb[1] + rgb[2]) / 3;
}

// Lines of the log after the first one that contains `marker`.
std::string log_after(const std::string &log, const std::string &marker)
{
    size_t at = log.find(marker);
    return at == std::string::npos ? std::string() : log.substr(at);
}

// A game server on 127.0.0.1 that takes every client that comes (the
// server browser's poll first, then the game's own connection) and tells
// each its description and counts at once; it keeps what each one wrote.
class GreetingServer {
public:
    GreetingServer()
    {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int one = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        bind(listener, (sockaddr *)&a, sizeof a);
        socklen_t length = sizeof a;
        getsockname(listener, (sockaddr *)&a, &length);
        port = ntohs(a.sin_port);
        listen(listener, 8);
        thread = std::thread([this] { serve(); });
    }
    ~GreetingServer()
    {
        quit = true;
        thread.join();
        for (int c : clients)
            if (c >= 0)
                close(c);
        close(listener);
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port); }
    // What the n-th client (0 the first) wrote so far.
    std::string text(size_t n)
    {
        std::lock_guard<std::mutex> g(lock);
        return n < received.size() ? received[n] : std::string();
    }
    size_t client_count()
    {
        std::lock_guard<std::mutex> g(lock);
        return received.size();
    }
    // A file made once the first client (the browser's poll) has gone.
    void mark_when_polled(const std::string &path)
    {
        std::lock_guard<std::mutex> g(lock);
        polled_marker = path;
    }

private:
    void serve()
    {
        // Bounded: the test's own deadline is far shorter.
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(150);
        while (!quit && std::chrono::steady_clock::now() < until) {
            std::vector<pollfd> fds{{listener, POLLIN, 0}};
            for (int c : clients)
                fds.push_back({c, POLLIN, 0});
            if (poll(fds.data(), fds.size(), 10) <= 0)
                continue;
            if (fds[0].revents & POLLIN) {
                int c = accept(listener, nullptr, nullptr);
                if (c >= 0) {
                    static const char hello[] = "DESC 0;Newcomer test server\nINFO 1;8 0\n";
                    send(c, hello, sizeof hello - 1, MSG_NOSIGNAL);
                    std::lock_guard<std::mutex> g(lock);
                    clients.push_back(c);
                    received.emplace_back();
                }
            }
            for (size_t k = 1; k < fds.size(); k++) {
                if (!(fds[k].revents & (POLLIN | POLLHUP)))
                    continue;
                char buffer[1024];
                ssize_t got = recv(fds[k].fd, buffer, sizeof buffer, MSG_DONTWAIT);
                std::lock_guard<std::mutex> g(lock);
                if (got > 0) {
                    received[k - 1].append(buffer, (size_t)got);
                } else if (got == 0) {
                    // Gone (the browser closes after its poll): no longer polled.
                    close(clients[k - 1]);
                    clients[k - 1] = -1;
                    if (k == 1 && !polled_marker.empty()) {
                        if (FILE *f = fopen(polled_marker.c_str(), "w"))
                            fclose(f);
                    }
                }
            }
        }
    }

    int listener = -1;
    int port = 0;
    std::atomic<bool> quit{false};
    std::thread thread;
    std::mutex lock;
    std::vector<int> clients;
    std::vector<std::string> received;
    std::string polled_marker;
};

}  // namespace

// Start -> KasuShop -> Space (the shop's own key: a colour is worn) -> Esc
// -> Single Player -> Space: the shop is closed, the turn plays and the
// shop's panel is gone from the menu and the game.
TEST(E2eNewcomer, ShopLeftThenATurnPlays)
{
    GameSetup setup;
    empty_replay_folder(setup);
    setup.startup_lua = std::string(shared_lua) + R"(
e2e_watch("KasuShop: welcome", "shop_open")
e2e_watch("KasuShop: you now wear", "worn")
e2e_watch("KasuShop: closed", "shop_closed")
e2e_frames("shop_closed", 5, "played")
)";
    setup.actions.push_back({"drawn", 0, click_menu_row(4), "shop_open"});
    setup.actions.push_back({"shop_open", 0, "xdotool mousemove 400 20 key space", "worn"});
    setup.actions.push_back({"worn", 0, "screenshot shop.ppm"});
    setup.actions.push_back({"shop.ppm", 0, "xdotool key Escape", "shop_closed"});
    setup.actions.push_back({"shop_closed", 0, "screenshot menu.ppm"});
    setup.actions.push_back({"menu.ppm", 0, click_menu_row(0), "game_after_shop_closed"});
    // The new game shows, then Space plays its first turn.
    setup.actions.push_back(
        repeat_until("game_after_shop_closed", "xdotool mousemove 400 20 key space", "played", 3000));
    setup.actions.push_back({"played", 0, "screenshot game.ppm"});
    setup.actions.push_back({"game.ppm", 0, "term"});
    setup.timeout_ms = 90000;
    GameRun run = run_game("newcomer_shop", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    ASSERT_TRUE(run.exists("played")) << run.describe();
    // Space worn once in the shop, never after it closed.
    EXPECT_EQ(count_lines_with(run.log, "KasuShop: you now wear"), 1) << run.describe();
    EXPECT_EQ(log_after(run.log, "KasuShop: closed").find("you now wear"), std::string::npos)
        << run.describe();
    // The panel (dark, right of the middle from y 100) is in the shop only.
    double in_shop = brightness(run, "shop.ppm", 500, 110, 260, 180);
    double on_menu = brightness(run, "menu.ppm", 500, 110, 260, 180);
    double in_game = brightness(run, "game.ppm", 500, 110, 260, 180);
    ASSERT_GE(in_shop, 0) << run.describe();
    EXPECT_GT(on_menu, in_shop + 40) << on_menu << " vs " << in_shop;
    EXPECT_GT(in_game, in_shop + 40) << in_game << " vs " << in_shop;
}

// Tutorial: the knee picked and held, Space, "Well done"; Esc ends it and
// Single Player is a plain match without the tutorial's steps or box.
TEST(E2eNewcomer, TutorialFinishedLeftThenAPlainMatch)
{
    GameSetup setup;
    empty_replay_folder(setup);
    setup.startup_lua = std::string(shared_lua) + R"(
e2e_watch("Tutorial: Step 1", "step1")
e2e_watch("Tutorial: Step 2", "step2")
e2e_watch("Tutorial: Step 3", "step3")
e2e_watch("Tutorial: Well done", "done")
e2e_watch("Tutorial: ended", "tut_left")
e2e_frames("tut_left", 5, "played")
)";
    setup.actions.push_back({"drawn", 0, click_menu_row(3), "step1"});
    setup.actions.push_back({"step1", 0, "screenshot step1.ppm"});
    // The knee of the engage pose under the default camera: the pointer
    // moves over it (two moves, so there is motion each time) until the
    // tutorial sees the knee picked.
    setup.actions.push_back(repeat_until(
        "step1.ppm", "xdotool mousemove 455 400 mousemove 462 405", "step2", 1000));
    setup.actions.push_back(repeat_until("step2", "xdotool key x", "step3", 2000));
    setup.actions.push_back(repeat_until("step3", "xdotool key space", "done", 3000));
    GameAction done_shot = {"done", 0, "screenshot done.ppm"};
    done_shot.frames = 10;   // the box's closing words drawn
    setup.actions.push_back(done_shot);
    setup.actions.push_back({"done.ppm", 0, "xdotool mousemove 400 20 key Escape", "tut_left"});
    setup.actions.push_back({"tut_left", 0, "screenshot menu.ppm"});
    setup.actions.push_back({"menu.ppm", 0, click_menu_row(0), "game_after_tut_left"});
    setup.actions.push_back({"game_after_tut_left", 0, "screenshot plain.ppm"});
    setup.actions.push_back(
        repeat_until("plain.ppm", "xdotool mousemove 400 20 key space", "played", 3000));
    setup.actions.push_back({"played", 0, "term"});
    setup.timeout_ms = 90000;
    GameRun run = run_game("newcomer_tutorial", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    ASSERT_TRUE(run.exists("done")) << run.describe();
    ASSERT_TRUE(run.exists("played")) << run.describe();
    // The steps ran once; the plain match started none of them again.
    EXPECT_EQ(count_lines_with(run.log, "Tutorial: Step 1"), 1) << run.describe();
    EXPECT_EQ(log_after(run.log, "new game after tut_left").find("Tutorial"), std::string::npos)
        << run.describe();
    // Its closing words are about points, not a ring.
    EXPECT_EQ(run.log.find("ring"), std::string::npos) << run.describe();
    // The box (dark, from x 120 to 680 and y 90 to 200) is over the
    // tutorial only: measured at its two ends, beyond the fighters' reach.
    auto box_ends = [&](const char *shot) {
        return (brightness(run, shot, 125, 95, 40, 100) + brightness(run, shot, 600, 95, 75, 100)) / 2;
    };
    double box = box_ends("done.ppm");
    double menu = box_ends("menu.ppm");
    double plain = box_ends("plain.ppm");
    ASSERT_GE(box, 0) << run.describe();
    EXPECT_GT(plain, box + 40) << plain << " vs " << box;
    EXPECT_GT(menu, box + 40) << menu << " vs " << box;
}

// Multi Player with a stored login and one server: the row is clicked
// where it is drawn (the first row, just under the column headers), the
// game connects to that server and the page gives way to the game.
TEST(E2eNewcomer, ServerRowPickedWhereItIsDrawn)
{
    GreetingServer server;
    GameSetup setup;
    empty_replay_folder(setup);
    setup.files.push_back({"zm_login.dat", login_file("newcomer", "pw")});
    setup.files.push_back({"servers.txt", server.address() + " \"local server\"\n"});
    setup.startup_lua = std::string(shared_lua) + R"(
e2e_watch("Connected to", "connected")
newcomer_state.every_frame = function()
  if newcomer_state.connected_frames then
    newcomer_state.connected_frames = newcomer_state.connected_frames + 1
    if newcomer_state.connected_frames == 10 then e2e_mark("game_shown") end
  end
end
e2e_watch("Failed to connect", "failed")
add_hook("new_mp_game", "e2e", function()
  e2e_log("online game")
  newcomer_state.connected_frames = 0
end)
)";
    setup.actions.push_back(until_title_changes("drawn", click_menu_row(1)));
    // The browser's pass has read the description once its poll is gone;
    // the pointer then moves onto the first row until the row is lit.
    server.mark_when_polled(test_tmp_path("e2e_newcomer_server_row") + "/polled");
    const int highlight[3] = {41, 168, 219};
    setup.actions.push_back(until_colour("polled", "xdotool mousemove 200 66 mousemove 202 66",
                                         20, 58, 700, 17, highlight, 50, 1000));
    setup.actions.push_back({"", 0, "screenshot list.ppm"});
    setup.actions.push_back({"list.ppm", 0, "xdotool click 1", "game_shown"});
    setup.actions.push_back({"game_shown", 0, "screenshot after.ppm"});
    setup.actions.push_back({"after.ppm", 0, "term"});
    setup.timeout_ms = 60000;
    GameRun run = run_game("newcomer_server_row", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_NE(run.log.find("console Connected to " + server.address()), std::string::npos)
        << run.describe();
    EXPECT_NE(run.log.find("online game"), std::string::npos) << run.describe();
    // The browser's poll, then the game's connection with the login.
    ASSERT_GE(server.client_count(), 2u) << run.describe();
    EXPECT_NE(server.text(1).find("NICK newcomer\n"), std::string::npos) << server.text(1);
    EXPECT_NE(server.text(1).find("mlogin newcomer "), std::string::npos) << server.text(1);
    // The mouse over the first row lit that row (the highlight colour in
    // the band of row 1, from y 58, 17 pixels high) and not the next one.
    int row1 = count_colour_pixels(run, "list.ppm", 20, 58, 700, 17, highlight, 50);
    int row2 = count_colour_pixels(run, "list.ppm", 20, 75, 700, 17, highlight, 50);
    EXPECT_GT(row1, 30) << run.describe();
    EXPECT_LT(row2, 5);
    // The page is gone: draw2d (which a page without the game behind it
    // does not run) counted frames of the online game.
    EXPECT_TRUE(run.exists("game_shown"));
}

// Multi Player without servers.txt and Replays without a replay say that
// there is nothing to list and where the list comes from.
TEST(E2eNewcomer, EmptyListsSaySo)
{
    GameSetup setup;
    empty_replay_folder(setup);
    setup.files.push_back({"zm_login.dat", login_file("newcomer", "pw")});
    setup.startup_lua = shared_lua;
    // Each page is opened until its note's second line (the page's dark
    // grey text, from y 195) shows left of where the main menu's centred
    // rows stand.
    const int note[3] = {60, 60, 60};
    setup.actions.push_back(until_colour("drawn", click_menu_row(1), 90, 195, 160, 20, note, 40));
    setup.actions.push_back({"", 0, "screenshot servers.ppm"});
    setup.actions.push_back(until_title_changes("servers.ppm", "xdotool key Escape"));
    setup.actions.push_back(until_colour("", click_menu_row(2), 90, 195, 160, 20, note, 40));
    setup.actions.push_back({"", 0, "screenshot replays.ppm"});
    setup.actions.push_back({"replays.ppm", 0, "term"});
    setup.timeout_ms = 60000;
    GameRun run = run_game("newcomer_empty", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    // The note's lines stand centred from y 150, 40 apart: each band holds
    // text (pixels that differ from the page's plain background beside it).
    for (const char *shot : {"servers.ppm", "replays.ppm"}) {
        double plain = brightness(run, shot, 20, 150, 60, 100);
        ASSERT_GE(plain, 0) << run.describe();
        for (int line = 0; line < 3; line++) {
            double band = brightness(run, shot, 250, 150 + 40 * line, 300, 20);
            EXPECT_GT(std::abs(band - plain), 3.0)
                << shot << " line " << line << ": " << band << " vs " << plain;
        }
    }
}

// zylomach -shaders 1 -> Options -> Shaders 0 -> Enter -> Options ->
// Shaders 1 -> Enter -> Quit: default.cfg holds the player's "1".
TEST(E2eNewcomer, OptionsChoiceSavedOverTheCommandLine)
{
    GameSetup setup;
    empty_replay_folder(setup);
    setup.args = {"-shaders", "1"};
    setup.files.push_back({"default.cfg", "shaders \"0\"\r\n"});
    setup.startup_lua = std::string(shared_lua) + R"(
newcomer_state.every_frame = function()
  local s = get_option("shaders")
  if s ~= newcomer_state.shaders then
    newcomer_state.shaders = s
    e2e_log("shaders " .. s)
    e2e_mark("shaders_" .. s .. "_" .. newcomer_state.frames)
    if s == 0 then e2e_mark("shaders_off") end
    if s == 1 and newcomer_state.was_off then e2e_mark("shaders_on_again") end
    if s == 0 then newcomer_state.was_off = true end
  end
end
)";
    // Setup, then Options; the Shaders row (row 7 of 22-pixel rows from
    // y 100) hovered, its text replaced, Enter.
    const std::string edit_shaders = "xdotool mousemove 400 265 key BackSpace type ";
    // Each step waits for what it changes on the screen: the page's title,
    // the edited row (its text at x 20, from y 255).
    const int row[4] = {20, 255, 200, 18};
    for (int pass = 0; pass < 2; pass++) {
        const char *wait = pass == 0 ? "drawn" : "";
        setup.actions.push_back(until_title_changes(wait, click_menu_row(5)));
        setup.actions.push_back(until_title_changes("", click_menu_row(0)));
        setup.actions.push_back(
            until_changed("", edit_shaders + (pass == 0 ? "0" : "1"), row[0], row[1], row[2], row[3]));
        if (pass == 0)
            setup.actions.push_back({"", 0, "screenshot options.ppm"});
        setup.actions.push_back(
            {"", 0, "xdotool key Return", pass == 0 ? "shaders_off" : "shaders_on_again"});
        setup.actions.push_back(until_title_changes("", "xdotool key Escape"));
    }
    setup.actions.push_back({"", 0, click_menu_row(6)});
    setup.timeout_ms = 90000;
    GameRun run = run_game("newcomer_options", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    ASSERT_TRUE(run.exists("shaders_on_again")) << run.describe();
    std::string cfg = run.file("default.cfg");
    EXPECT_NE(cfg.find("shaders \"1\"\r\n"), std::string::npos) << cfg << run.describe();
}

// The Ghost button's label, shown under it while hovered, is drawn over
// the Help button below it, not hidden behind it.
TEST(E2eNewcomer, ButtonLabelDrawnOverTheButtonBelow)
{
    GameSetup setup;
    empty_replay_folder(setup);
    setup.startup_lua = shared_lua;
    // In game (the main menu closed), the pointer away from the buttons,
    // then on the Ghost button (2..34, 268..300 in an 800 x 600 window).
    setup.actions.push_back(until_title_changes("drawn", "xdotool mousemove 400 20 key Escape"));
    setup.actions.push_back({"", 0, "xdotool mousemove 200 200"});
    setup.actions.push_back({"", 0, "screenshot plain.ppm"});
    // Onto the button until its label shows at the top of the Help button.
    setup.actions.push_back(until_changed("plain.ppm", "xdotool mousemove 18 284 mousemove 19 285",
                                          4, 304, 28, 12, 1000));
    setup.actions.push_back({"", 0, "screenshot hovered.ppm"});
    setup.actions.push_back({"hovered.ppm", 0, "term"});
    setup.timeout_ms = 60000;
    GameRun run = run_game("newcomer_label", setup);
    EXPECT_FALSE(run.timed_out) << run.describe();
    // The top of the Help button, where the label stands.
    double plain = brightness(run, "plain.ppm", 4, 304, 28, 12);
    double hovered = brightness(run, "hovered.ppm", 4, 304, 28, 12);
    ASSERT_GE(plain, 0) << run.describe();
    EXPECT_GT(std::abs(hovered - plain), 8.0) << hovered << " vs " << plain;
}

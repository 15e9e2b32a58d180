// Text beyond ASCII as a player meets it, in the player's own locale: an
// echoed line, the stored login name (shown and sent to the server), a
// server's chat line, the names a replay carries and a replay's file name
// on the Replays page. Under a UTF-8 locale every character is kept whole;
// under the plain C locale each character the set cannot hold shows as
// '?', and nothing after it is lost. Numbers the game writes keep their
// '.' under a locale whose decimal mark is ','.
#include <gtest/gtest.h>

#include <dirent.h>

#include <clocale>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_support.h"
#include "net/scripted_peer.h"

namespace {

struct LocaleCase {
    const char *name;
    const char *lang;
    bool utf8;
};

const LocaleCase LOCALES[] = {
    {"utf8", "C.UTF-8", true},
    {"plain", "C", false},
};

// The locale as the environment names it: LANG only, nothing over it.
void use_locale(GameSetup &setup, const LocaleCase &c)
{
    setup.env = {{"LANG", c.lang}, {"LC_ALL", ""}, {"LC_CTYPE", ""}, {"LC_MESSAGES", ""}};
}

// UTF-8 texts and ASCII texts of as many characters, for widths.
const std::string ECHOED = "1 J\xC3\xBCrgen sagt gr\xC3\xBC\xC3\x9F dich";
const std::string ECHOED_PLAIN = "1 J??rgen sagt gr???? dich";   // a '?' a byte
const std::string ECHOED_REF = "2 Jxrgen sagt grxx dich";
const std::string NAME = "J\xC3\xBCrgen_\xCE\xA9mega_\xC3\xA4\xC3\xB6\xC3\xBC";
const std::string NAME_REF = "Jxrgen_xmega_xxx";
const std::string FILE_NAME = "J\xC3\xBCrgen gegen \xCE\xA9mega \xC3\xA4\xC3\xB6\xC3\xBC.rpl";
const std::string FILE_NAME_REF = "Jxrgen gegen xmega xxx.rpl";
// The login name, as UTF-16 in the file and as UTF-8 (or plain) text.
const std::u16string LOGIN16 = u"J\u00FCrgen_\u03A9mega\u65E5\u672C";
const std::string LOGIN = "J\xC3\xBCrgen_\xCE\xA9mega\xE6\x97\xA5\xE6\x9C\xAC";
const std::string LOGIN_PLAIN = "J?rgen_?mega??";   // a '?' a character
const std::string SAID = "\xC3\xA9t\xC3\xA9 sans fin";
const std::string SAID_PLAIN = "??t?? sans fin";
const std::string SAID_REF = "xtx sans fin";

// The login file's UTF-16 little-endian text.
std::string login_file(const std::u16string &user, const std::u16string &password)
{
    std::u16string text = u"user " + user + u"\r\npass " + password + u"\r\n";
    std::string out;
    for (char16_t c : text) {
        out += (char)(c & 0xff);
        out += (char)(c >> 8);
    }
    return out;
}

// A replay of two standing fighters with these names.
std::string replay_named(const std::string &first, const std::string &second)
{
    std::string text = "#!/usr/bin/zylomach\nVERSION 10\nFIGHTNAME 0; names\nBOUT 0; " + first +
                       "\nBOUT 1; " + second + "\nAUTHOR 0; test\n" + server_newgame_line();
    for (int frame = 0; frame < 40; frame += 10)
        text += "FRAME " + std::to_string(frame) + "; 0 0 0 0\n";
    return text;
}

// The console hook writes each line to the log; after the 20th drawn frame
// `then` runs once and "shown" is marked three frames later.
std::string logging_lua(const std::string &then)
{
    return R"(
add_hook("console", "e2e", function(text, kind) e2e_log("console " .. tostring(text)) end)
local drawn = 0
add_hook("draw2d", "e2e", function()
  drawn = drawn + 1
  if drawn == 20 then
)" + then + R"(
    e2e_mark_after("shown", 3)
  end
end)
)";
}

// Bands of rows of a rectangle that hold text (pixels darker than the
// threshold), top to bottom, with each band's leftmost and rightmost column.
struct Band {
    int top, bottom, left, right;
    int width() const { return right - left + 1; }
};

std::vector<Band> text_bands(const GameRun &run, const std::string &ppm, int x, int y, int w,
                             int h, int threshold)
{
    std::vector<Band> bands;
    bool in_band = false;
    for (int row = y; row < y + h; row++) {
        int left = -1, right = -1;
        if (!dark_extent(run, ppm, x, row, w, 1, threshold, &left, &right))
            return {};
        if (left < 0) {
            in_band = false;
            continue;
        }
        if (!in_band)
            bands.push_back({row, row, left, right});
        Band &b = bands.back();
        b.bottom = row;
        b.left = std::min(b.left, left);
        b.right = std::max(b.right, right);
        in_band = true;
    }
    return bands;
}

std::string bands_text(const std::vector<Band> &bands)
{
    std::string text;
    for (const Band &b : bands)
        text += "[" + std::to_string(b.top) + ".." + std::to_string(b.bottom) + " x " +
                std::to_string(b.left) + ".." + std::to_string(b.right) + "] ";
    return text;
}

// A text shown whole is about as wide as an ASCII text of as many
// characters; one cut short is far narrower, one drawn a glyph a byte far
// wider. Under the plain locale every byte beyond ASCII shows as '?': the
// text is then at least that wide (nothing cut).
void expect_width(const LocaleCase &c, int shown, int reference, const std::string &what)
{
    if (c.utf8) {
        EXPECT_GT(shown, reference * 90 / 100) << what << ": " << shown << " vs " << reference;
        EXPECT_LT(shown, reference * 110 / 100) << what << ": " << shown << " vs " << reference;
    } else {
        EXPECT_GT(shown, reference * 95 / 100) << what << ": " << shown << " vs " << reference;
    }
}

class E2eLocale : public ::testing::TestWithParam<LocaleCase> {};

}  // namespace

// A replay named on the command line: its names stand at the top, an
// echoed line in the console, both as wide as ASCII texts of their length;
// the console hook receives the echoed line whole.
TEST_P(E2eLocale, EchoAndReplayNamesShownWhole)
{
    const LocaleCase &c = GetParam();
    GameSetup setup;
    use_locale(setup, c);
    setup.files.push_back({"replay/" + FILE_NAME, replay_named(NAME, NAME_REF)});
    setup.args = {"replay/" + FILE_NAME};
    setup.startup_lua = logging_lua(R"(
    run_cmd("echo )" + ECHOED + R"(")
    run_cmd("echo )" + ECHOED_REF + R"(")
    e2e_log("names " .. get_player_info(0).name .. " " .. get_player_info(1).name)
)");
    setup.actions.push_back({"shown", 0, "xdotool mousemove 700 590"});
    setup.actions.push_back({"", 0, "screenshot shown.ppm"});
    setup.actions.push_back({"shown.ppm", 0, "term"});
    GameRun run = run_game((std::string("locale_echo_") + c.name).c_str(), setup);
    ASSERT_FALSE(run.timed_out) << run.describe();

    // What the game holds and hands to its scripts.
    EXPECT_NE(run.log.find("names " + NAME + " " + NAME_REF + "\n"), std::string::npos)
        << run.describe();
    EXPECT_NE(run.log.find("console " + (c.utf8 ? ECHOED : ECHOED_PLAIN) + "\n"),
              std::string::npos)
        << run.describe();
    EXPECT_NE(run.log.find("console " + ECHOED_REF + "\n"), std::string::npos) << run.describe();

    // What it shows: the names at the top (fighter 1 from the left edge,
    // fighter 0 to the right edge), the two console lines at the left.
    std::vector<Band> left = text_bands(run, "shown.ppm", 0, 56, 280, 16, 200);
    std::vector<Band> right = text_bands(run, "shown.ppm", 520, 56, 280, 16, 200);
    ASSERT_FALSE(left.empty()) << run.describe();
    ASSERT_FALSE(right.empty()) << run.describe();
    int name_ref = left[0].right - left[0].left + 1, name = right[0].right - right[0].left + 1;
    expect_width(c, name, name_ref, "fighter 0's name");
    std::vector<Band> lines = text_bands(run, "shown.ppm", 0, 400, 270, 130, 200);
    ASSERT_EQ(lines.size(), 2u) << bands_text(lines) << run.describe();
    expect_width(c, lines[0].width(), lines[1].width(), "the echoed line");
}

// The Replays page lists a replay with a UTF-8 file name beside one with
// an ASCII name of as many characters; both rows are as wide.
TEST_P(E2eLocale, ReplayFileNameShownWhole)
{
    const LocaleCase &c = GetParam();
    GameSetup setup;
    use_locale(setup, c);
    setup.files.push_back({"replay/" + FILE_NAME, replay_named("kasu", "uke")});
    setup.files.push_back({"replay/" + FILE_NAME_REF, replay_named("kasu", "uke")});
    setup.startup_lua = logging_lua("");
    // Replays (the main menu's third row) until the page's title shows,
    // the pointer away from the rows, the page drawn again.
    setup.actions.push_back(until_changed("shown", "xdotool mousemove 400 195 click 1", 200, 30, 400, 60));
    setup.actions.push_back(until_changed("", "xdotool mousemove 700 590", 140, 100, 600, 34));
    setup.actions.push_back({"", 0, "screenshot page.ppm"});
    setup.actions.push_back({"page.ppm", 0, "term"});
    GameRun run = run_game((std::string("locale_replays_") + c.name).c_str(), setup);
    ASSERT_FALSE(run.timed_out) << run.describe();

    // The page lists the folder in its own order, 17 pixels a row from y 100.
    std::vector<std::string> order;
    if (DIR *d = opendir((run.dir + "/replay").c_str())) {
        while (dirent *e = readdir(d))
            if (std::string(e->d_name).find(".rpl") != std::string::npos)
                order.push_back(e->d_name);
        closedir(d);
    }
    ASSERT_EQ(order.size(), 2u);
    int width[2] = {0, 0};
    for (int row = 0; row < 2; row++) {
        int l = -1, r = -1;
        ASSERT_TRUE(dark_extent(run, "page.ppm", 140, 100 + 17 * row + 1, 640, 15, 160, &l, &r))
            << run.describe();
        ASSERT_GE(l, 0) << "row " << row << " empty\n" << run.describe();
        width[order[row] == FILE_NAME ? 0 : 1] = r - l + 1;
    }
    expect_width(c, width[0], width[1], "the UTF-8 file name's row");
}

// Online: the stored login name reaches the server as it is (or with a '?'
// a character the locale cannot hold), and the server's chat line that
// begins with a letter beyond ASCII reaches the console and its hook whole
// and is shown as wide as an ASCII line of its length.
TEST_P(E2eLocale, LoginNameAndServerChatKeptWhole)
{
    const LocaleCase &c = GetParam();
    ScriptedPeer server;
    std::string seen;
    std::thread driver([&] {
        if (!server.wait_for("mlogin", 120000))
            return;
        seen = server.text();
        server.push("ID 5;\nSAY 0;" + SAID + "\nSAY 0;" + SAID_REF + "\n");
    });
    GameSetup setup;
    use_locale(setup, c);
    setup.files.push_back({"replay/readme.txt", "no replays here\n"});
    setup.files.push_back({"zm_login.dat", login_file(LOGIN16, u"geheim")});
    setup.startup_lua = R"(
add_hook("console", "e2e", function(text, kind)
  text = tostring(text)
  e2e_log("console " .. text)
  if string.find(text, ")" + SAID_REF + R"(", 1, true) then e2e_mark_after("said", 3) end
end)
)" + connect_on_first_game(server.port);
    setup.actions.push_back({"said", 0, "xdotool mousemove 700 590"});
    setup.actions.push_back({"", 0, "screenshot said.ppm"});
    setup.actions.push_back({"said.ppm", 0, "term"});
    GameRun run = run_game((std::string("locale_online_") + c.name).c_str(), setup);
    server.stop();
    driver.join();
    ASSERT_FALSE(run.timed_out) << run.describe();

    EXPECT_EQ(seen.rfind("NICK " + (c.utf8 ? LOGIN : LOGIN_PLAIN) + "\n", 0), 0u) << seen;
    EXPECT_NE(run.log.find("console " + (c.utf8 ? SAID : SAID_PLAIN) + "\n"), std::string::npos)
        << run.describe();
    std::vector<Band> lines = text_bands(run, "said.ppm", 0, 380, 270, 150, 200);
    ASSERT_GE(lines.size(), 2u) << bands_text(lines) << run.describe();
    const Band &said = lines[lines.size() - 2], &ref = lines[lines.size() - 1];
    expect_width(c, said.width(), ref.width(), "the server's chat line");
}

INSTANTIATE_TEST_SUITE_P(Locales, E2eLocale, ::testing::ValuesIn(LOCALES),
                         [](const ::testing::TestParamInfo<LocaleCase> &info) {
                             return std::string(info.param.name);
                         });

// Under a locale whose decimal mark is ',' (taken whole, LC_ALL), the
// numbers of a saved replay, a scene export and an exported mod still
// carry '.', and the replay reads back.
TEST(E2eLocaleNumbers, DecimalPointKeptUnderACommaLocale)
{
    const char *comma = "de_DE.UTF-8";
    if (!setlocale(LC_NUMERIC, comma)) {
        setlocale(LC_NUMERIC, "C");
        GTEST_SKIP() << comma << " is not installed";
    }
    setlocale(LC_NUMERIC, "C");
    GameSetup setup;
    setup.env = {{"LANG", comma}, {"LC_ALL", comma}};
    setup.files.push_back({"replay/readme.txt", "no replays here\n"});
    setup.startup_lua = R"(
add_hook("enter_freeze", "e2e", function()
  local w = get_world_state()
  if w.match_frame > 0 and not e2e_frozen then
    e2e_frozen = true
    run_cmd("povshot zahlen.pov")
    run_cmd("exportworld zahlen.zmm")
    e2e_mark("frozen")
  end
end)
)";
    // A new game, one turn, then the replay saved under a name (F, the
    // name typed, Enter) until its file exists.
    setup.actions.push_back(until_changed("", "xdotool mousemove 400 135 click 1", 200, 30, 400, 60));
    setup.actions.push_back(repeat_until("", "xdotool mousemove 700 590 key space", "frozen", 2000));
    setup.actions.push_back({"", 0, "xdotool key f"});
    setup.actions.push_back({"", 0, "xdotool type zahlen"});
    setup.actions.push_back(repeat_until("", "xdotool key Return", "replay/zahlen.rpl", 2000));
    setup.actions.push_back({"", 0, "term"});
    GameRun run = run_game("locale_numbers", setup);
    ASSERT_FALSE(run.timed_out) << run.describe();

    auto decimals = [](const std::string &text, char mark) {
        int n = 0;
        for (size_t i = 1; i + 1 < text.size(); i++)
            if (text[i] == mark && isdigit((unsigned char)text[i - 1]) &&
                isdigit((unsigned char)text[i + 1]))
                n++;
        return n;
    };
    std::string replay = run.file("replay/zahlen.rpl");
    std::string pov = run.file("raytrace/zahlen.pov");
    std::string mod = run.file("zahlen.zmm");
    ASSERT_FALSE(replay.empty()) << run.describe();
    ASSERT_FALSE(pov.empty()) << run.describe();
    ASSERT_FALSE(mod.empty()) << run.describe();
    for (const std::string *text : {&replay, &pov, &mod}) {
        EXPECT_GT(decimals(*text, '.'), 0) << text->substr(0, 600);
        EXPECT_EQ(decimals(*text, ','), 0) << text->substr(0, 600);
    }
}

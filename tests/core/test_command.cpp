// The line command language: table, line forms, column routing, the two-call
// tail protocol, tail decoders and argument readers.
#include "core/command.h"
#include "core/command_handlers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---- a copy of CommandTable whose handlers record their calls -------------

struct Call {
    int column = -1;            // CMD_KIND_* of the slot that ran
    int number = 0;
    const char *args = nullptr;
    std::string text;           // args as text (text lines only)
    int calls = 0;
};

Call main_call;                           // columns 0, 1, 3 (main thread)
std::atomic<int> browser_calls{0};        // column 2 (may run on another thread)
int browser_number = 0;
std::string browser_text;
bool browser_on_main = true;

void record(int column, int number, const char *args)
{
    main_call.column = column;
    main_call.number = number;
    main_call.args = args;
    main_call.text = args ? args : "";
    main_call.calls++;
}

int rec_network(int number, const char *args) { record(CMD_KIND_NETWORK, number, args); return 0; }
int rec_replay(int number, const char *args) { record(CMD_KIND_REPLAY, number, args); return 0; }
int rec_fourth(int number, const char *args) { record(CMD_KIND_FOURTH, number, args); return 0; }
int rec_browser(int number, const char *args)
{
    if (browser_on_main) {
        record(CMD_KIND_BROWSER, number, args);
        browser_number = number;
        browser_text = args ? args : "";
    }
    browser_calls++;
    return 0;
}

CommandRow recording_table[COMMAND_COUNT + 1];

const CommandRow *make_recording_table()
{
    for (int i = 0; i <= COMMAND_COUNT; i++) {
        const CommandRow &r = CommandTable[i];
        recording_table[i] = {r.name,
                              r.network ? rec_network : nullptr,
                              r.replay ? rec_replay : nullptr,
                              r.browser ? rec_browser : nullptr,
                              r.fourth ? rec_fourth : nullptr,
                              r.flags};
    }
    return recording_table;
}

class CommandTest : public ::testing::Test {
protected:
    const CommandRow *table = nullptr;
    void SetUp() override
    {
        table = make_recording_table();
        main_call = Call();
        browser_calls = 0;
        browser_on_main = true;
        for (int k = 0; k < CMD_KINDS; k++)
            command_streams[k] = CommandStream{};
    }
};

// A tail of the given words (word 0 written by the caller).
std::vector<char> tail_of(const std::vector<int32_t> &words)
{
    std::vector<char> bytes(4 * words.size() + 4, 0);
    for (size_t i = 0; i < words.size(); i++) {
        uint32_t u = (uint32_t)words[i];
        for (int b = 0; b < 4; b++)
            bytes[4 * i + b] = (char)((u >> (8 * b)) & 0xff);
    }
    return bytes;
}

// ---- the table -------------------------------------------------------------

TEST(CommandTableTest, RowsColumnsAndFlags)
{
    // name, network, replay, browser, fourth, flags
    struct Row { const char *name; const char *slots; int flags; };
    const Row rows[COMMAND_COUNT] = {
        {"NEWGAME", "xxx-", 4}, {"RUN", "x---", 4}, {"TEAMS", "xx--", 4},
        {"ENGAGE", "xx--", 4}, {"WIN", "x---", 4}, {"WIN2", "x---", 4},
        {"ID", "x---", 4}, {"CONNECT", "x---", 4}, {"BOUT", "xx--", 4},
        {"SPECS", "x---", 4}, {"SAY", "x---", 4}, {"QAT", "xx--", 1},
        {"POS", "xx--", 1}, {"HINGEFMAX", "xx--", 1}, {"HINGEVEL", "xx--", 1},
        {"ANGVEL", "xx--", 1}, {"LINVEL", "xx--", 1}, {"P_QAT", "xx--", 9},
        {"P_POS", "xx--", 9}, {"P_ANGVEL", "xx--", 9}, {"P_LINVEL", "xx--", 9},
        {"WORLD", "x---", 1}, {"CRUSH", "xx--", 1}, {"FRACT", "xx--", 1},
        {"BREAK", "x---", 1}, {"DISCL", "x---", 1}, {"GRIP", "xx--", 2},
        {"B_GRIP", "x---", 2}, {"GRAB", "xx--", 1}, {"SIZE", "x---", 1},
        {"JOINT", "xx--", 2}, {"B_JOINT", "x---", 2}, {"BATCH", "x---", 2},
        {"GAME", "x---", 4}, {"LOST", "x---", 4}, {"BODCOL", "xx-x", 4},
        {"GRADCOL1", "xx-x", 4}, {"GRADCOL2", "xx-x", 4}, {"JFORCE", "x---", 4},
        {"JRELAX", "x---", 4}, {"JREPLAY", "x---", 4}, {"TRAILCOL", "xx-x", 4},
        {"ITEM", "xx-x", 4}, {"DECAL", "xx-x", 4}, {"TEXT", "xx-x", 4},
        {"BELTNAME", "x---", 4}, {"GHOST", "x---", 4}, {"ECHO", "x---", 4},
        {"ZYLOMACH", "x---", 4}, {"DISCONNECT", "x---", 4}, {"KICK", "x---", 4},
        {"FIGHT", "-x--", 4}, {"FIGHTNAME", "-x--", 4}, {"FRAME", "xx--", 4},
        {"AUTHOR", "-x--", 4}, {"VERSION", "-x--", 4}, {"INFO", "x-x-", 4},
        {"CLIENTS", "--x-", 4}, {"FORWARD", "x---", 4}, {"DESC", "--x-", 4},
        {"EMOTE", "xx--", 4}, {"P_ENV", "xx--", 9}, {"EPOS", "-x--", 1},
        {"EQAT", "-x--", 1}, {"EANGVEL", "-x--", 1}, {"ELINVEL", "-x--", 1},
        {"ANNOUNCE", "x---", 4},
    };
    for (int i = 0; i < COMMAND_COUNT; i++) {
        const CommandRow &r = CommandTable[i];
        SCOPED_TRACE(rows[i].name);
        ASSERT_NE(r.name, nullptr);
        EXPECT_STREQ(r.name, rows[i].name);
        CommandHandler slots[4] = {r.network, r.replay, r.browser, r.fourth};
        for (int c = 0; c < 4; c++) {
            EXPECT_EQ(slots[c] != nullptr, rows[i].slots[c] == 'x') << "column " << c;
        }
        // The fourth column mirrors the replay column's customisation rows.
        if (r.fourth) {
            EXPECT_EQ(r.fourth, r.replay);
        }
        EXPECT_EQ(r.flags, rows[i].flags);
    }
    EXPECT_EQ(CommandTable[COMMAND_COUNT].name, nullptr);
}

// ---- line forms --------------------------------------------------------------

TEST_F(CommandTest, LineForms)
{
    const std::string long_word(300, 'A');
    const std::string word255(255, 'B');
    const std::string word256 = std::string(255, 'C') + "7";
    std::string line2048 = "SAY 1;";
    line2048 += std::string(2048 - line2048.size() - 1, 'z') + "\n";
    std::string line2049 = "SAY 1;";
    line2049 += std::string(2049 - line2049.size() - 1, 'z') + "\n";
    ASSERT_EQ(line2048.size(), 2048u);
    ASSERT_EQ(line2049.size(), 2049u);

    struct Case {
        int kind;
        std::string line;
        std::string err;        // exact standard error
        int column;             // -1: no handler ran
        int number;
        std::string args;
    };
    const Case cases[] = {
        {1, "SAY 0; hi\n", "", CMD_KIND_NETWORK, 0, " hi\n"},
        {1, "SAY 0x0; hi", "", CMD_KIND_NETWORK, 0, " hi"},
        {1, "SAY 0x1f;", "", CMD_KIND_NETWORK, 31, ""},
        {1, "SAY 017;x", "", CMD_KIND_NETWORK, 15, "x"},
        {1, "SAY -3 ;a;b\r\n", "", CMD_KIND_NETWORK, -3, "a;b\r\n"},
        {1, "SAY\t2\t; t", "", CMD_KIND_NETWORK, 2, " t"},
        {1, "SAY 4", "", CMD_KIND_NETWORK, 4, ""},                // no ';': empty text
        {1, "SAY 99999999999;", "", CMD_KIND_NETWORK, INT_MAX, ""},
        {1, "SAY -99999999999;", "", CMD_KIND_NETWORK, INT_MIN, ""},
        {1, "SAY;", "parse_cmd wrong start SAY;\n", -1, 0, ""},
        {1, "SAY x;", "parse_cmd wrong start SAY x;\n", -1, 0, ""},
        {1, "SAY ;", "parse_cmd wrong start SAY ;\n", -1, 0, ""},
        {1, "", "parse_cmd wrong start \n", -1, 0, ""},
        {1, "\n", "parse_cmd wrong start \n\n", -1, 0, ""},
        {1, "   ", "parse_cmd wrong start    \n", -1, 0, ""},
        {1, "say 0;", "parse_cmd no op found say 0;\n", -1, 0, ""},
        {1, "SAYX 0;", "parse_cmd no op found SAYX 0;\n", -1, 0, ""},
        {1, "# SAY 0;", "", -1, 0, ""},
        {1, "#", "", -1, 0, ""},
        {1, long_word + " 0;", "parse_cmd wrong start " + long_word + " 0;\n", -1, 0, ""},
        {1, word256 + " 0;", "parse_cmd wrong start " + word256 + " 0;\n", -1, 0, ""},
        {1, word255 + " 0;", "parse_cmd no op found " + word255 + " 0;\n", -1, 0, ""},
        {1, line2048, "", CMD_KIND_NETWORK, 1, line2048.substr(6)},
        {1, line2049, "", -1, 0, ""},
        // Empty slots in the caller's column are ignored silently.
        {1, "CLIENTS 0; a b\n", "", -1, 0, ""},
        {0, "SAY 0; hi\n", "", -1, 0, ""},
        {2, "CLIENTS 5; a b\n", "", CMD_KIND_BROWSER, 5, " a b\n"},
        {2, "P_POS 0;\n", "", -1, 0, ""},
        {0, "FIGHT 0; f a b\n", "", CMD_KIND_REPLAY, 0, " f a b\n"},
        {3, "BODCOL 1; 0 3\n", "", CMD_KIND_FOURTH, 1, " 0 3\n"},
        {3, "FIGHT 0; f\n", "", -1, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("kind " + std::to_string(c.kind) + " line '" + c.line.substr(0, 40) + "'");
        main_call = Call();
        char pending = 0;
        testing::internal::CaptureStderr();
        parse_cmd_in(table, c.kind, c.line.c_str(), c.kind == 2 ? nullptr : &pending);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
        EXPECT_EQ(pending, 0);
        if (c.column < 0) {
            EXPECT_EQ(main_call.calls, 0);
            continue;
        }
        ASSERT_EQ(main_call.calls, 1);
        EXPECT_EQ(main_call.column, c.column);
        EXPECT_EQ(main_call.number, c.number);
        ASSERT_NE(main_call.args, nullptr);
        EXPECT_EQ(main_call.text, c.args);
    }
}

TEST_F(CommandTest, RealTableAndBadCalls)
{
    char pending = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(parse_cmd(1, "INFO 0; hi\n", &pending), 0);
    EXPECT_EQ(parse_cmd(1, "nope 0;", &pending), -1);
    EXPECT_EQ(parse_cmd(7, "SAY 0;", &pending), -1);
    EXPECT_EQ(parse_cmd(-1, "SAY 0;", &pending), -1);
    EXPECT_EQ(parse_cmd(1, nullptr, &pending), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "parse_cmd no op found nope 0;\n"
                   "parse_cmd bad kind 7\n"
                   "parse_cmd bad kind -1\n");
    // A tail line through the real table.
    EXPECT_EQ(parse_cmd(0, "P_POS 1;\n", &pending), 0);
    EXPECT_EQ(pending, 1);
    std::vector<char> tail = tail_of({1});
    EXPECT_EQ(parse_cmd(0, tail.data(), &pending), 0);
    EXPECT_EQ(pending, 0);
}

// ---- tails -------------------------------------------------------------------

TEST_F(CommandTest, TailGoesToTheRowAndNumberOfItsTextLine)
{
    std::vector<char> tail = tail_of({4, 1000000, 2000000, 3000000});
    struct Case { int kind; const char *line; int column; int number; };
    const Case cases[] = {
        {0, "P_POS 1;\n", CMD_KIND_REPLAY, 1},
        {1, "P_QAT 2;\n", CMD_KIND_NETWORK, 2},
        {1, "P_ENV 0x3;", CMD_KIND_NETWORK, 3},
        {0, "P_LINVEL 0", CMD_KIND_REPLAY, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        main_call = Call();
        char pending = 0;
        parse_cmd_in(table, c.kind, c.line, &pending);
        EXPECT_EQ(main_call.calls, 0);
        EXPECT_EQ(pending, 1);
        parse_cmd_in(table, c.kind, tail.data(), &pending);
        EXPECT_EQ(pending, 0);
        ASSERT_EQ(main_call.calls, 1);
        EXPECT_EQ(main_call.column, c.column);
        EXPECT_EQ(main_call.number, c.number);
        EXPECT_EQ(main_call.args, tail.data());
        // The tail was handed over; a second one goes nowhere.
        pending = 1;
        parse_cmd_in(table, c.kind, tail.data(), &pending);
        EXPECT_EQ(pending, 0);
        EXPECT_EQ(main_call.calls, 1);
    }
}

TEST_F(CommandTest, StreamsKeepTheirOwnPendingTail)
{
    std::vector<char> tail = tail_of({1});
    char net_pending = 0, replay_pending = 0;
    parse_cmd_in(table, 1, "P_POS 2;\n", &net_pending);
    parse_cmd_in(table, 0, "P_QAT 1;\n", &replay_pending);
    // Browser lines, including a tail command and an unknown one, between
    // the main stream's text line and its tail.
    testing::internal::CaptureStderr();
    parse_cmd_in(table, 2, "INFO 7; 1 2\n", nullptr);
    parse_cmd_in(table, 2, "P_ANGVEL 9;\n", nullptr);
    parse_cmd_in(table, 2, "junk\n", nullptr);
    parse_cmd_in(table, 3, "ITEM 3; x\n", nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "parse_cmd wrong start junk\n\n");
    EXPECT_EQ(browser_calls, 1);
    EXPECT_EQ(browser_number, 7);
    EXPECT_EQ(browser_text, " 1 2\n");

    main_call = Call();
    parse_cmd_in(table, 1, tail.data(), &net_pending);
    EXPECT_EQ(main_call.column, CMD_KIND_NETWORK);
    EXPECT_EQ(main_call.number, 2);
    parse_cmd_in(table, 0, tail.data(), &replay_pending);
    EXPECT_EQ(main_call.column, CMD_KIND_REPLAY);
    EXPECT_EQ(main_call.number, 1);
    EXPECT_EQ(main_call.calls, 2);
}

TEST_F(CommandTest, BrowserThreadNeverDisturbsTheMainStream)
{
    browser_on_main = false;
    std::atomic<bool> stop{false};
    std::thread browser([&] {
        // At least a few rounds, however quickly the main side finishes.
        for (int n = 0; n < 200 || !stop; n++) {
            parse_cmd_in(table, 2, "P_POS 31; 1\n", nullptr);
            parse_cmd_in(table, 2, "INFO 30; 1 2\n", nullptr);
        }
    });
    std::vector<char> tail = tail_of({1});
    int wrong = 0;
    for (int i = 0; i < 5000; i++) {
        char pending = 0;
        std::string line = "P_POS " + std::to_string(i % 4) + ";\n";
        parse_cmd_in(table, 1, line.c_str(), &pending);
        main_call = Call();
        parse_cmd_in(table, 1, tail.data(), &pending);
        if (main_call.calls != 1 || main_call.number != i % 4 || pending != 0)
            wrong++;
    }
    stop = true;
    browser.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(browser_calls, 0);
}

TEST_F(CommandTest, TextLineForgetsTheTailRow)
{
    std::vector<char> tail = tail_of({1});
    char pending = 0;
    parse_cmd_in(table, 0, "P_POS 1;\n", &pending);
    pending = 0;                                  // the caller dropped the tail
    parse_cmd_in(table, 0, "SAY 0; x\n", &pending);   // no replay slot, no tail
    main_call = Call();
    pending = 1;                                  // a tail nobody announced
    parse_cmd_in(table, 0, tail.data(), &pending);
    EXPECT_EQ(pending, 0);
    EXPECT_EQ(main_call.calls, 0);

    // A text row (no tail flag) never receives binary data.
    parse_cmd_in(table, 0, "FIGHT 0; a\n", &pending);
    main_call = Call();
    pending = 1;
    parse_cmd_in(table, 0, tail.data(), &pending);
    EXPECT_EQ(main_call.calls, 0);
    EXPECT_EQ(pending, 0);
}

TEST_F(CommandTest, TailCommandWithoutPendingByteRunsNothing)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(parse_cmd_in(table, 0, "P_POS 1;\n", nullptr), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "parse_cmd no tail flag for P_POS\n");
    EXPECT_EQ(main_call.calls, 0);
}

// ---- decoders ------------------------------------------------------------------

TEST(PackedTailTest, DecodersBoundTheirOutput)
{
    const double canary = -777.0;
    struct Case { int n; int written; };
    // n = 1 decodes nothing; 64 fills 63; 600 and counts below 1 are refused.
    const Case cases[] = {{1, 0}, {2, 1}, {64, 63}, {100, 63}, {512, 63},
                          {513, -1}, {600, -1}, {0, -1}, {-5, -1}};
    for (int rows = 3; rows <= 4; rows++) {
        for (const Case &c : cases) {
            SCOPED_TRACE("rows " + std::to_string(rows) + " n " + std::to_string(c.n));
            std::vector<int32_t> words(600, 0);
            words[0] = c.n;
            for (int i = 1; i < 600; i++)
                words[i] = i * 1000000 + 250000;
            std::vector<char> tail = tail_of(words);
            double out[64];
            for (double &v : out)
                v = canary;
            int got = rows == 3 ? unpack_tail_rows3(tail.data(), out, 63)
                                : unpack_tail_rows4(tail.data(), out, 63);
            EXPECT_EQ(got, c.written);
            int filled = c.written < 0 ? 0 : c.written;
            for (int i = 0; i < 64; i++) {
                if (i < filled)
                    EXPECT_DOUBLE_EQ(out[i], i + 1 + 0.25) << i;
                else
                    EXPECT_EQ(out[i], canary) << i;
            }
        }
    }
}

TEST(PackedTailTest, LittleEndianWordsAtAnyAlignment)
{
    // 1 500 000 = 0x0016E360, -2 500 000 = 0xFFD9DA60.
    const unsigned char bytes[] = {0x00, 0x03, 0x00, 0x00, 0x00, 0x60, 0xE3, 0x16, 0x00,
                                   0x60, 0xDA, 0xD9, 0xFF};
    const char *tail = (const char *)bytes + 1;     // not 4-byte aligned
    EXPECT_EQ(packed_tail_count(tail), 3);
    double out[3] = {0, 0, 9};
    EXPECT_EQ(unpack_tail_rows3(tail, out, 3), 2);
    EXPECT_DOUBLE_EQ(out[0], 1.5);
    EXPECT_DOUBLE_EQ(out[1], -2.5);
    EXPECT_EQ(out[2], 9);

    PackedTail packed;
    const double values[2] = {1.5, -2.5};
    ASSERT_EQ(pack_tail((char *)packed.bytes, sizeof packed.bytes, values, 2), 12);
    EXPECT_EQ(memcmp(packed.bytes, bytes + 1, 12), 0);
}

TEST(PackedTailTest, PackRefusesWhatDoesNotFit)
{
    static double values[600];
    PackedTail packed;
    EXPECT_EQ(pack_tail((char *)packed.bytes, sizeof packed.bytes, values, 511), 2048);
    EXPECT_EQ(packed_tail_count((const char *)packed.bytes), 512);
    EXPECT_EQ(pack_tail((char *)packed.bytes, sizeof packed.bytes, values, 512), -1);
    EXPECT_EQ(pack_tail((char *)packed.bytes, 8, values, 2), -1);
    EXPECT_EQ(pack_tail((char *)packed.bytes, 8, values, -1), -1);
    EXPECT_EQ(pack_tail((char *)packed.bytes, 4, values, 0), 4);
}

TEST(PackedTailTest, EnvironmentGroups)
{
    std::vector<int32_t> words = {1 + 2 * 13 + 5};
    for (int i = 0; i < 2 * 13 + 5; i++)
        words.push_back((i + 1) * 100000);
    std::vector<char> tail = tail_of(words);
    EXPECT_EQ(env_tail_groups(tail.data()), 2);
    EXPECT_EQ(env_tail_group(tail.data(), 2), nullptr);
    EXPECT_EQ(env_tail_group(tail.data(), -1), nullptr);
    const char *g = env_tail_group(tail.data(), 1);
    ASSERT_NE(g, nullptr);
    double pos[3], quat[4], ang[3], lin[3];
    unpack_env_tail(g, pos, quat, ang, lin);
    EXPECT_DOUBLE_EQ(pos[0], 1.4);
    EXPECT_DOUBLE_EQ(pos[2], 1.6);
    EXPECT_DOUBLE_EQ(quat[0], 1.7);
    EXPECT_DOUBLE_EQ(quat[3], 2.0);
    EXPECT_DOUBLE_EQ(ang[0], 2.1);
    EXPECT_DOUBLE_EQ(lin[0], 2.4);
    EXPECT_DOUBLE_EQ(lin[2], 2.6);

    std::vector<char> refused = tail_of({513});
    EXPECT_EQ(env_tail_groups(refused.data()), 0);
    EXPECT_EQ(env_tail_group(refused.data(), 0), nullptr);
}

TEST(PackedTailTest, Millionths)
{
    struct Case { double x; int32_t m; };
    const Case cases[] = {
        {0.0, 0}, {1.5, 1500000}, {-1.5, -1500000}, {0.0000019, 1},
        {-0.0000019, -1}, {2147.483647, 2147483647}, {1e10, INT32_MAX},
        {-1e10, INT32_MIN}, {INFINITY, INT32_MAX}, {-INFINITY, INT32_MIN}, {NAN, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(to_millionths(c.x), c.m) << c.x;
    EXPECT_DOUBLE_EQ(from_millionths(-2500000), -2.5);
    EXPECT_DOUBLE_EQ(from_millionths(INT32_MIN), -2147.483648);
}

// ---- argument readers -------------------------------------------------------------

TEST(ArgumentReaderTest, FrameTokensWalkTheList)
{
    const char *text = " 1.5 2\t3.25  -4\r\n";
    float v[4];
    char error = 9;
    const char *p = text;
    for (float &f : v) {
        p = read_float_token(p, &f, &error);
        EXPECT_EQ(error, 0);
    }
    EXPECT_FLOAT_EQ(v[0], 1.5f);
    EXPECT_FLOAT_EQ(v[1], 2.0f);
    EXPECT_FLOAT_EQ(v[2], 3.25f);
    EXPECT_FLOAT_EQ(v[3], -4.0f);
    EXPECT_STREQ(p, "\r\n");
    float f = 42;
    EXPECT_EQ(read_float_token(p, &f, &error), p);
    EXPECT_EQ(error, 1);
    EXPECT_EQ(f, 42);
}

TEST(ArgumentReaderTest, TokenFailures)
{
    const std::string digits300(300, '7');
    const std::string digits255(255, '0');
    struct Case { std::string text; bool ok; int value; };
    const Case cases[] = {
        {"0x10 x", true, 16}, {"010", true, 8}, {"-3", true, -3}, {"12abc", true, 12},
        {"99999999999", true, INT_MAX}, {digits255 + "1", false, 0},
        {digits255, true, 0}, {digits300, false, 0}, {"abc", false, 0},
        {"", false, 0}, {"   ", false, 0}, {"\n5", false, 0}, {" \r 5", false, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        int i = -1;
        char error = 5;
        const char *after = read_int_token(c.text.c_str(), &i, &error);
        EXPECT_EQ(error, c.ok ? 0 : 1);
        if (c.ok)
            EXPECT_EQ(i, c.value);
        else {
            EXPECT_EQ(after, c.text.c_str());
            EXPECT_EQ(i, -1);
        }
        float f = -1;
        error = 5;
        after = read_float_token(c.text.c_str(), &f, &error);
        if (!c.ok) {
            EXPECT_EQ(error, 1);
            EXPECT_EQ(after, c.text.c_str());
        }
    }
    int i = 0;
    char error = 0;
    EXPECT_STREQ(read_int_token("5  6", &i, &error), "6");
}

TEST(ArgumentReaderTest, NumberLists)
{
    // read_doubles reads exactly n, across the line end.
    double d[4] = {9, 9, 9, 9};
    const char *rest = read_doubles("1 2\n3 x", 4, d);
    EXPECT_EQ(d[0], 1);
    EXPECT_EQ(d[2], 3);
    EXPECT_EQ(d[3], 0);
    EXPECT_STREQ(rest, " x");

    double rows3[21][3];
    memset(rows3, 0, sizeof rows3);
    rows3[2][0] = 99;
    rest = read_double_rows3(" 1 2 3 4 5 6\n7 8 9", 21, rows3);
    EXPECT_EQ(rows3[1][2], 6);
    EXPECT_EQ(rows3[2][0], 99);
    EXPECT_STREQ(rest, "\n7 8 9");

    double rows4[2][4];
    rest = read_double_rows4("1 2 3 4 5 6 7 8 9 10", 2, rows4);
    EXPECT_EQ(rows4[1][3], 8);
    EXPECT_STREQ(rest, " 9 10");

    double list[20] = {};
    rest = read_double_list("1.5 -2 x 4", 20, list);
    EXPECT_EQ(list[1], -2);
    EXPECT_EQ(list[2], 0);
    EXPECT_STREQ(rest, "x 4");

    int pairs[2][2] = {{7, 7}, {7, 7}};
    EXPECT_EQ(parse_int_pairs(" 1 2 3 4 5 6", 2, pairs), 2);
    EXPECT_EQ(pairs[1][1], 4);
    int pairs20[20][2];
    EXPECT_EQ(parse_int_pairs("4 1 5\r\n", 20, pairs20), 1);
    EXPECT_EQ(parse_int_pairs("", 20, pairs20), 0);

    int ints[3] = {8, 8, 8};
    EXPECT_EQ(read_int_list(" 4 5 6 7", 2, ints), 2);
    EXPECT_EQ(ints[2], 8);
    EXPECT_EQ(read_int_list("0x10 4", 3, ints), 1);   // base 10: "0", then "x10"
    EXPECT_EQ(ints[0], 0);

    int sep[5] = {9, 9, 9, 9, 9};
    EXPECT_EQ(read_separated_ints("1,2,,3\n4", 5, sep, ','), 3);
    EXPECT_EQ(sep[2], 3);
    EXPECT_EQ(sep[3], 0);
    EXPECT_EQ(sep[4], 0);
    EXPECT_EQ(read_separated_ints("1:2:3:4", 2, sep, ':'), 2);
    EXPECT_EQ(sep[1], 2);
}

}  // namespace

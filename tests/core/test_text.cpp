// Text and UTF-16 helpers.
#include "core/text.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// 16-bit text from a list of units (the terminator is added).
std::vector<char16> u16(std::initializer_list<char16> units)
{
    std::vector<char16> v(units);
    v.push_back(0);
    return v;
}

std::vector<char16> u16(const char *ascii)
{
    std::vector<char16> v;
    for (const char *p = ascii; *p; p++)
        v.push_back((unsigned char)*p);
    v.push_back(0);
    return v;
}

std::vector<char16> units_of(const char16 *text)
{
    return std::vector<char16>(text, text + str16_len(text));
}

// Takes the local character set as the program does at start: from an
// environment whose locale is `lang` (LC_ALL and LC_CTYPE unset).
bool charset_from_environment(const char *lang)
{
    unsetenv("LC_ALL");
    unsetenv("LC_CTYPE");
    setenv("LANG", lang, 1);
    return use_environment_charset() == 0;
}

// The local character set is UTF-8 for every test here; afterwards the
// process is back in the plain set it starts in.
class TextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *lang = getenv("LANG");
        saved_lang = lang ? lang : "";
        ASSERT_TRUE(charset_from_environment("C.UTF-8")) << "C.UTF-8 locale missing";
    }
    void TearDown() override
    {
        charset_from_environment("C");
        if (saved_lang.empty())
            unsetenv("LANG");
        else
            setenv("LANG", saved_lang.c_str(), 1);
    }
    std::string saved_lang;
};

std::string scratch_dir() { return test_tmp_dir(); }

const char E_ACUTE[] = "\xC3\xA9";        // é, U+00E9
const char CJK_ZHONG[] = "\xE4\xB8\xAD";  // 中, U+4E2D
const char EMOJI[] = "\xF0\x9F\x98\x80";  // U+1F600, a surrogate pair

}  // namespace

// ---- table 1: 8-bit helpers that transform a text in place -------------

struct InPlaceCase {
    const char *what;
    void (*op)(char *);
    const char *input;
    const char *expected;
};

TEST_F(TextTest, InPlaceTable)
{
    const InPlaceCase cases[] = {
        {"to_lower", to_lower, "AbC-Z@[\xC3\x89", "abc-z@[\xC3\x89"},
        {"to_upper", to_upper, "aBc-z`{\xC3\xA9", "ABC-Z`{\xC3\xA9"},
        {"collapse_blanks", collapse_blanks, "a   b c  d", "a b c d"},
        {"collapse_blanks ends", collapse_blanks, "  a  ", " a "},
        {"collapse_blanks tabs stay", collapse_blanks, "a\t\tb", "a\t\tb"},
        {"sanitize_name dot slash blank", sanitize_name, "ab. /cd", "abcd"},
        {"sanitize_name all bad", sanitize_name, "~!./\\*&| +':;<>x", "x"},
        {"sanitize_name keeps others", sanitize_name, "Ab_9-[]", "Ab_9-[]"},
        {"strip_name_tag tag", strip_name_tag, "[XY]name", "name"},
        {"strip_name_tag empty tag", strip_name_tag, "[]name", "[]name"},
        {"strip_name_tag nothing after", strip_name_tag, "[XY]", "[XY]"},
        {"strip_name_tag no tag", strip_name_tag, "name", "name"},
        {"strip_name_tag unclosed", strip_name_tag, "[XYname", "[XYname"},
    };
    for (const InPlaceCase &c : cases) {
        char buf[64];
        snprintf(buf, sizeof buf, "%s", c.input);
        c.op(buf);
        EXPECT_STREQ(buf, c.expected) << c.what << " of \"" << c.input << "\"";
    }
}

// ---- table 2: trimming, returning a position inside the text -----------

struct TrimCase {
    const char *what;
    char *(*op)(char *);
    const char *input;
    const char *expected;
};

TEST_F(TextTest, TrimTable)
{
    const TrimCase cases[] = {
        {"trim_blanks", trim_blanks, "  text \r\n", "text"},
        {"trim_blanks inner kept", trim_blanks, "\t a b\t", "a b"},
        {"trim_blanks only blanks", trim_blanks, " \t\r\n", ""},
        {"trim_blanks leading CR kept", trim_blanks, "\rx", "\rx"},
        {"trim_blanks empty", trim_blanks, "", ""},
        {"trim_quotes", trim_quotes, " \"quoted text\"\r\n", "quoted text"},
        {"trim_quotes inner kept", trim_quotes, "\"a\"b\"", "a\"b"},
        {"trim_quotes plain", trim_quotes, "  x ", "x"},
    };
    for (const TrimCase &c : cases) {
        char buf[64];
        snprintf(buf, sizeof buf, "%s", c.input);
        char *r = c.op(buf);
        EXPECT_STREQ(r, c.expected) << c.what;
        EXPECT_GE(r, buf) << c.what;
        EXPECT_LE(r, buf + strlen(c.input)) << c.what;
    }

    // trim_blanks16 on 16-bit units.
    std::vector<char16> t = u16("  text \r\n");
    char16 *r = trim_blanks16(t.data());
    EXPECT_EQ(str16_compare(r, u16("text").data()), 0);
    EXPECT_EQ(r, t.data() + 2);
}

// ---- table 3: small functions with a number result ---------------------

TEST_F(TextTest, NumberResultTable)
{
    struct CutCase { const char *input; int n; int result; const char *after; };
    const CutCase cuts[] = {
        {"abcdef", 2, 1, "abcd"}, {"abc", 3, 1, ""}, {"ab", 3, 0, "ab"},
        {"abc", 0, 1, "abc"},     {"abc", -1, 0, "abc"},
    };
    for (const CutCase &c : cuts) {
        char buf[16];
        snprintf(buf, sizeof buf, "%s", c.input);
        EXPECT_EQ(cut_tail(buf, c.n), c.result) << c.input << " " << c.n;
        EXPECT_STREQ(buf, c.after) << c.input << " " << c.n;
    }

    struct PowCase { int n; int result; };
    const PowCase pows[] = {{1, 1}, {2, 1}, {64, 1}, {1 << 30, 1}, {0, 0},
                            {-2, 0}, {3, 0}, {96, 0}, {-2147483647 - 1, 0}};
    for (const PowCase &c : pows)
        EXPECT_EQ(is_power_of_two(c.n), c.result) << c.n;

    struct AlnumCase { char16 unit; int result; };
    const AlnumCase alnums[] = {{'a', 1}, {'z', 1}, {'A', 1}, {'Z', 1}, {'0', 1},
                                {'9', 1}, {'_', 0}, {' ', 0}, {0xE9, 0},
                                {0x4E2D, 0}, {'a' + 0x100, 0}};
    for (const AlnumCase &c : alnums)
        EXPECT_EQ(is_alnum16(c.unit), c.result) << c.unit;

    struct UrlCase { const char *text; int start; int end; };
    const UrlCase urls[] = {
        {"see http://a.b/c now", 4, 15},
        {"www.x.org", 0, 8},
        {"go www.a.b then http://z", 16, 23},  // http:// wins over www.
        {"no link here", -1, -1},
        {"", -1, -1},
    };
    for (const UrlCase &c : urls) {
        int s = 99, e = 99;
        find_url16(u16(c.text).data(), &s, &e);
        EXPECT_EQ(s, c.start) << c.text;
        if (c.start >= 0) {
            EXPECT_EQ(e, c.end) << c.text;
        }
    }
}

// ---- bounded copies and formatting -------------------------------------

TEST_F(TextTest, BoundedCopies)
{
    struct CopyCase { const char *src; int size; const char *expected; const char *err; };
    const CopyCase cases[] = {
        {"abcdef", 4, "abc", ""},
        {"abc", 4, "abc", ""},
        {"abc", 1, "", ""},
        {"abc", 0, "UNTOUCHED", "n_strncpyz: destsize < 1\n"},
        {"abc", -5, "UNTOUCHED", "n_strncpyz: destsize < 1\n"},
        {nullptr, 4, "UNTOUCHED", "n_strncpyz: NULL src\n"},
    };
    for (const CopyCase &c : cases) {
        char buf[16] = "UNTOUCHED";
        char *dest = buf;
        testing::internal::CaptureStderr();
        n_strncpyz(dest, c.src, c.size);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_STREQ(buf, c.expected) << (c.src ? c.src : "NULL") << " " << c.size;
        EXPECT_EQ(err, c.err) << (c.src ? c.src : "NULL") << " " << c.size;
    }

    // str_replace: two occurrences, an empty pattern, and the destination's size.
    struct ReplaceCase { const char *text, *pattern, *repl; int size; const char *expected; };
    const ReplaceCase reps[] = {
        {"a<b>c<b>d", "<b>", "XX", 64, "aXXcXXd"},
        {"one two", "", "Z", 64, "one two"},
        {"one two", nullptr, "Z", 64, "one two"},
        {"aaa", "a", "bcd", 64, "bcdbcdbcd"},
        {"aaa", "a", "bcd", 5, "bcdb"},            // cut to size - 1
        {"abc", "b", "", 64, "ac"},
        {"abcabc", "abc", "abcabc", 64, "abcabcabcabc"},  // no re-scan
        {"xyz", "q", "r", 2, "x"},
    };
    for (const ReplaceCase &c : reps) {
        char buf[80];
        memset(buf, '#', sizeof buf);
        str_replace(buf, c.size, c.text, c.pattern, c.repl);
        EXPECT_STREQ(buf, c.expected) << c.text << " size " << c.size;
        for (size_t i = (size_t)c.size; i < sizeof buf; i++)
            ASSERT_EQ(buf[i], '#') << "str_replace wrote past its size " << c.size;
    }
    char one = '#';
    str_replace(&one, 0, "abc", "b", "x");  // size 0: nothing written
    EXPECT_EQ(one, '#');
    char same[32] = "a-b-c";
    str_replace(same, sizeof same, same, "-", "--");  // dest is the text
    EXPECT_STREQ(same, "a--b--c");
}

TEST_F(TextTest, FormatToStatic)
{
    const char *a = format_to_static("%d-%s", 12, "x");
    const char *b = format_to_static("%05.1f", 2.25);
    EXPECT_STREQ(a, "12-x");
    EXPECT_STREQ(b, "002.2");
    EXPECT_NE(a, b);
    const char *c = format_to_static("third");
    EXPECT_EQ(c, a);  // call n uses buffer n mod 2
    EXPECT_STREQ(b, "002.2");

    // Bounded: a result longer than the buffer is cut at 31999 bytes.
    std::string big(40000, 'q');
    const char *r = format_to_static("%s%s", big.c_str(), "tail");
    EXPECT_EQ(strlen(r), 31999u);
    EXPECT_EQ(r[31998], 'q');

    // Per thread: two threads formatting at once never see each other's text.
    const char *main_buf = format_to_static("main");
    int bad[2] = {0, 0};
    const void *seen[2] = {nullptr, nullptr};
    auto worker = [&](int id) {
        for (int i = 0; i < 20000; i++) {
            const char *s = format_to_static("t%d-%d", id, i);
            char want[32];
            snprintf(want, sizeof want, "t%d-%d", id, i);
            if (strcmp(s, want) != 0)
                bad[id]++;
            seen[id] = s;
        }
    };
    std::thread t0(worker, 0), t1(worker, 1);
    t0.join();
    t1.join();
    EXPECT_EQ(bad[0], 0);
    EXPECT_EQ(bad[1], 0);
    EXPECT_NE(seen[0], seen[1]);
    EXPECT_STREQ(main_buf, "main");  // untouched by the other threads
}

// ---- name tags and name lists ------------------------------------------

TEST_F(TextTest, NameTagsAndLists)
{
    struct TagCase { const char *name; int size; const char *tag, *rest, *rest_lower; };
    const TagCase cases[] = {
        {"[XY]Player", 32, "XY", "Player", "player"},
        {"[]Player", 32, "", "[]Player", "[]player"},
        {"[XY]", 32, "", "[XY]", "[xy]"},
        {"Player", 32, "", "Player", "player"},
        {"[LONGTAG]LongName", 5, "LONG", "Long", "long"},  // each at most size bytes
        {"Plain", 3, "", "Pl", "pl"},
    };
    for (const TagCase &c : cases) {
        char tag[40], name[40];
        memset(tag, '#', sizeof tag);
        memset(name, '#', sizeof name);
        split_name_tag(c.name, c.size, tag, name);
        EXPECT_STREQ(tag, c.tag) << c.name;
        EXPECT_STREQ(name, c.rest) << c.name;
        EXPECT_EQ(tag[c.size], '#') << c.name;
        EXPECT_EQ(name[c.size], '#') << c.name;
        split_name_tag_lower(c.name, c.size, tag, name);
        EXPECT_STREQ(tag, c.tag) << c.name;
        EXPECT_STREQ(name, c.rest_lower) << c.name;
    }

    struct NamesCase { const char *text; int count; std::vector<std::string> names; };
    const NamesCase lists[] = {
        {"", 8, {}},
        {"\n", 8, {}},
        {"ann\tbob\tcid", 8, {"ann", "bob", "cid"}},
        {"ann\nbob\r\n", 8, {"ann", "bob"}},
        {"a\tb\tc\td", 2, {"a", "b"}},
        {"0123456789012345678901234567890123456789", 8,
         {"0123456789012345678901234567890"}},  // 31 bytes and the terminator
    };
    for (const NamesCase &c : lists) {
        char out[8][32];
        memset(out, '#', sizeof out);
        int n = split_names(c.text, out, c.count);
        ASSERT_EQ(n, (int)c.names.size()) << c.text;
        for (int i = 0; i < n; i++)
            EXPECT_STREQ(out[i], c.names[(size_t)i].c_str()) << c.text;
        for (int i = n; i < 8; i++)
            EXPECT_EQ(out[i][0], '#') << c.text << " slot " << i;
    }
}

// ---- files --------------------------------------------------------------

TEST_F(TextTest, PathsAndFiles)
{
    std::string dir = scratch_dir();
    struct stat st;
    ASSERT_EQ(stat(dir.c_str(), &st), 0) << dir;

    std::string base = dir + "/text_paths_" + std::to_string(getpid());
    std::string file = base + "/a/b/c/file.txt";
    EXPECT_EQ(file_exists(file.c_str()), 0);
    EXPECT_EQ(make_path_dirs(file.c_str()), 1);
    EXPECT_EQ(stat((base + "/a/b/c").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777 & ~0775, 0u);
    // The file itself is not created; levels that exist are no error.
    EXPECT_NE(stat(file.c_str(), &st), 0);
    EXPECT_EQ(make_path_dirs(file.c_str()), 1);
    EXPECT_EQ(make_path_dirs((base + "//a///b/d/").c_str()), 1);
    EXPECT_EQ(stat((base + "/a/b/d").c_str(), &st), 0);
    EXPECT_EQ(make_path_dirs("no_slash_at_all"), 1);

    FILE *f = fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("x", f);
    fclose(f);
    EXPECT_EQ(file_exists(file.c_str()), 1);
    EXPECT_EQ(file_exists((base + "/a/b/c/other.txt").c_str()), 0);
    EXPECT_EQ(file_exists(nullptr), 0);
    // A level that is a file cannot become a directory.
    EXPECT_EQ(make_path_dirs((file + "/below/x").c_str()), 0);

    remove(file.c_str());
    rmdir((base + "/a/b/c").c_str());
    rmdir((base + "/a/b/d").c_str());
    rmdir((base + "/a/b").c_str());
    rmdir((base + "/a").c_str());
    rmdir(base.c_str());
}

// ---- 16-bit text ---------------------------------------------------------

TEST_F(TextTest, Str16Basics)
{
    EXPECT_EQ(str16_len(nullptr), 0);
    EXPECT_EQ(str16_len(u16("").data()), 0);
    EXPECT_EQ(str16_len(u16("abc").data()), 3);

    struct CmpCase { const char *a, *b; int result; };
    const CmpCase cmps[] = {{"abc", "abc", 0}, {"abc", "abd", 1}, {"ab", "abc", 1},
                            {"abc", "ab", 1},  {"", "", 0}};
    for (const CmpCase &c : cmps) {
        EXPECT_EQ(str16_compare(u16(c.a).data(), u16(c.b).data()), c.result) << c.a << "/" << c.b;
        EXPECT_EQ(str16_compare_local(u16(c.a).data(), c.b), c.result) << c.a << "/" << c.b;
    }
    EXPECT_EQ(str16_compare_local(u16({'c', 'a', 'f', 0xE9}).data(), "caf\xC3\xA9"), 0);
    EXPECT_EQ(str16_compare_local(u16({0x4E2D}).data(), CJK_ZHONG), 0);
    EXPECT_EQ(str16_compare_local(u16({0x4E2E}).data(), CJK_ZHONG), 1);

    char16 buf[32] = {'a', 'b', 0};
    str16_append(buf, u16("cd").data());
    EXPECT_EQ(str16_compare(buf, u16("abcd").data()), 0);
    str16_append_local(buf, E_ACUTE);
    str16_append_local(buf, CJK_ZHONG);
    EXPECT_EQ(units_of(buf), (std::vector<char16>{'a', 'b', 'c', 'd', 0xE9, 0x4E2D}));

    struct FindCase { const char *needle; int pos; };
    const FindCase finds[] = {{"cd", 2}, {"a", 0}, {E_ACUTE, 4}, {CJK_ZHONG, 5},
                              {"dc", -1}, {"abcdx", -1}};
    for (const FindCase &c : finds)
        EXPECT_EQ(str16_find(buf, c.needle), c.pos) << c.needle;
    EXPECT_EQ(str16_find(nullptr, "a"), -1);

    // Tokens like strtok, one static position shared by both forms.
    std::vector<char16> text = u16(",one,,two;three,");
    std::vector<char16> delims = u16(",;");
    char16 *t1 = str16_tok(text.data(), delims.data());
    ASSERT_NE(t1, nullptr);
    EXPECT_EQ(str16_compare(t1, u16("one").data()), 0);
    char16 *t2 = str16_tok_local(nullptr, ",;");
    ASSERT_NE(t2, nullptr);
    EXPECT_EQ(str16_compare(t2, u16("two").data()), 0);
    char16 *t3 = str16_tok(nullptr, delims.data());
    ASSERT_NE(t3, nullptr);
    EXPECT_EQ(str16_compare(t3, u16("three").data()), 0);
    EXPECT_EQ(str16_tok(nullptr, delims.data()), nullptr);
    EXPECT_EQ(str16_tok(nullptr, delims.data()), nullptr);

    std::vector<char16> cjk = u16({0x4E2D, ' ', 0xE9, ' ', 'x'});
    char16 *c1 = str16_tok_local(cjk.data(), " ");
    ASSERT_NE(c1, nullptr);
    EXPECT_EQ(units_of(c1), (std::vector<char16>{0x4E2D}));
    EXPECT_EQ(units_of(str16_tok_local(nullptr, " ")), (std::vector<char16>{0xE9}));
}

// ---- conversions ---------------------------------------------------------

TEST_F(TextTest, ConversionRoundTrips)
{
    struct ConvCase { std::string local; std::vector<char16> units; };
    const ConvCase cases[] = {
        {"abc", {'a', 'b', 'c'}},
        {std::string("caf") + E_ACUTE, {'c', 'a', 'f', 0xE9}},
        {CJK_ZHONG, {0x4E2D}},
        {std::string("x") + CJK_ZHONG + E_ACUTE + "y", {'x', 0x4E2D, 0xE9, 'y'}},
        {EMOJI, {0xD83D, 0xDE00}},
        {"", {}},
    };
    for (const ConvCase &c : cases) {
        // local -> 16-bit: no byte-order mark, machine order.
        int len = (int)c.local.size();
        std::vector<char16> out((size_t)len + 1 + 4, 0x7777);
        local_to_utf16(out.data(), c.local.c_str(), len);
        EXPECT_EQ(units_of(out.data()), c.units) << c.local;
        for (size_t i = (size_t)len + 1; i < out.size(); i++)
            EXPECT_EQ(out[i], 0x7777) << "local_to_utf16 wrote past length + 1 units";

        // 16-bit -> local, with room for all of it.
        std::vector<char16> src = c.units;
        src.push_back(0);
        char back[64];
        memset(back, '#', sizeof back);
        utf16_to_local(back, src.data(), 40);
        EXPECT_EQ(std::string(back), c.local);
    }

    // Three letters give three units and no mark.
    char16 three[4] = {0x7777, 0x7777, 0x7777, 0x7777};
    local_to_utf16(three, "abc", 3);
    EXPECT_EQ(three[0], 'a');
    EXPECT_EQ(three[1], 'b');
    EXPECT_EQ(three[2], 'c');
    EXPECT_EQ(three[3], 0);

    // length counts bytes of the local text: a shorter length converts less.
    char16 part[8];
    local_to_utf16(part, "abcdef", 2);
    EXPECT_EQ(units_of(part), (std::vector<char16>{'a', 'b'}));
    local_to_utf16(part, "ab", 6);  // the text ends first
    EXPECT_EQ(units_of(part), (std::vector<char16>{'a', 'b'}));
}

TEST_F(TextTest, Utf16ToLocalBounds)
{
    // dest holds n bytes and a terminator: nothing is written past n + 1,
    // though UTF-8 takes three bytes for each CJK unit.
    struct BoundCase { std::vector<char16> units; int n; std::string expected; };
    const BoundCase cases[] = {
        {{0x4E2D, 0x4E2D, 0x4E2D}, 4, CJK_ZHONG},       // 9 bytes cut to 3
        {{0x4E2D, 0x4E2D, 0x4E2D}, 2, ""},              // no whole character fits
        {{0x4E2D, 0x4E2D, 0x4E2D}, 6, std::string(CJK_ZHONG) + CJK_ZHONG},
        {{0xE9, 0xE9, 0xE9}, 3, E_ACUTE},
        {{'a', 'b', 'c', 'd'}, 2, "ab"},                // n units at most
        {{'a', 'b'}, 10, "ab"},                         // up to the terminator
        {{0xD83D, 0xDE00, 'z'}, 1, ""},                 // half a pair converts nothing
        {{'a', 0xD83D, 0xDE00}, 2, "a"},
        {{'a', 'b'}, 0, ""},
    };
    for (const BoundCase &c : cases) {
        std::vector<char16> src = c.units;
        src.push_back(0);
        char buf[64];
        memset(buf, '#', sizeof buf);
        utf16_to_local(buf, src.data(), c.n);
        EXPECT_EQ(std::string(buf), c.expected) << "n " << c.n;
        for (size_t i = (size_t)c.n + 1; i < sizeof buf; i++)
            ASSERT_EQ(buf[i], '#') << "utf16_to_local wrote past n + 1, n " << c.n;
    }

    // The source is taken as at most 2048 bytes (1024 units).
    std::vector<char16> lots(3000, 'k');
    lots.push_back(0);
    std::vector<char> big(4000, '#');
    utf16_to_local(big.data(), lots.data(), 3000);
    EXPECT_EQ(strlen(big.data()), 1024u);

    // A character the local set cannot show stands as '?' and the text
    // goes on; a lone half of a pair likewise.
    char shown[16];
    utf16_to_local(shown, u16({'a', 0xDE00, 'b', 0xD83D, 'c'}).data(), 10);
    EXPECT_STREQ(shown, "a?b?c");
}

TEST_F(TextTest, PlainCharsetStandsInAndCutsNothing)
{
    // The plain C locale knows only ASCII: every other character of a
    // 16-bit text, and every byte above 0x7F of a local text, becomes '?';
    // the rest of the text is kept, within bounds.
    ASSERT_TRUE(charset_from_environment("C"));
    std::vector<char16> mixed = u16({'a', 'b', 0xE9, 'c', 0x4E2D, 0xD83D, 0xDE00, 'd'});
    char small[12];
    memset(small, '#', sizeof small);
    utf16_to_local(small, mixed.data(), 8);
    EXPECT_STREQ(small, "ab?c??d");
    for (size_t i = 9; i < sizeof small; i++)
        EXPECT_EQ(small[i], '#');
    memset(small, '#', sizeof small);
    utf16_to_local(small, mixed.data(), 3);   // n bytes at most
    EXPECT_STREQ(small, "ab?");
    EXPECT_EQ(small[4], '#');

    char16 ascii[8];
    local_to_utf16(ascii, "xyz", 3);
    EXPECT_EQ(units_of(ascii), (std::vector<char16>{'x', 'y', 'z'}));
    const std::string name = std::string("J") + "\xC3\xBC" + "rgen " + CJK_ZHONG + "!";
    std::vector<char16> wide(name.size() + 1 + 4, 0x7777);
    local_to_utf16(wide.data(), name.c_str(), (int)name.size());
    EXPECT_EQ(units_of(wide.data()), units_of(u16("J??rgen ???!").data()));
    for (size_t i = name.size() + 1; i < wide.size(); i++)
        EXPECT_EQ(wide[i], 0x7777) << "local_to_utf16 wrote past length + 1 units";

    // Character by character, as the text drawing reads it.
    int code = 0;
    EXPECT_EQ(local_char(name.c_str(), &code), 1);
    EXPECT_EQ(code, 'J');
    EXPECT_EQ(local_char(name.c_str() + 1, &code), 1);
    EXPECT_EQ(code, '?');
    EXPECT_EQ(local_char_count(name.c_str()), (int)name.size());
    EXPECT_EQ(local_char("", &code), 0);
}

TEST_F(TextTest, LocalCharactersOneByOne)
{
    // In UTF-8 a character takes one to four bytes; one beyond 16 bits, or
    // a byte that starts no character, shows as '?'.
    struct CharCase { std::string text; int bytes; int code; };
    const CharCase cases[] = {
        {"a", 1, 'a'},
        {E_ACUTE, 2, 0xE9},
        {CJK_ZHONG, 3, 0x4E2D},
        {EMOJI, 4, '?'},
        {"\xC3", 1, '?'},          // cut short
        {"\xBCx", 1, '?'},         // a continuation byte alone
        {"", 0, 0},
    };
    for (const CharCase &c : cases) {
        int code = -1;
        EXPECT_EQ(local_char(c.text.c_str(), &code), c.bytes) << c.text;
        EXPECT_EQ(code, c.code) << c.text;
    }
    EXPECT_EQ(local_char_count((std::string("J") + "\xC3\xBC" + "rgen" + CJK_ZHONG).c_str()), 7);
}

// ---- TextLines -------------------------------------------------------------

TEST_F(TextTest, TextLinesEditing)
{
    TextLines t;
    text_lines_init(&t, 3);
    EXPECT_EQ(t.num_rows, 3);
    EXPECT_EQ(text_lines_is_active(&t), 0);
    for (int r = 0; r < 3; r++)
        EXPECT_EQ(str16_len(t.rows[r]), 0);

    text_lines_activate(&t);
    EXPECT_EQ(text_lines_is_active(&t), 1);
    EXPECT_EQ(t.current_row, 0);

    // A row accepts 256 units and refuses the 257th.
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(text_lines_append_char(&t, (char16)('a' + i % 26)), 1) << i;
    EXPECT_EQ(text_lines_append_char(&t, 'z'), 0);
    EXPECT_EQ(str16_len(t.rows[0]), 256);
    EXPECT_EQ(t.rows[0][256], 0);
    EXPECT_EQ(text_lines_scroll(&t, 0), 256 - 80);
    text_lines_backspace(&t);
    EXPECT_EQ(str16_len(t.rows[0]), 255);
    EXPECT_EQ(text_lines_append_char(&t, 'z'), 1);

    // Editing another row, with non-ASCII units, and reading it back.
    text_lines_set_row(&t, 1);
    EXPECT_EQ(t.current_row, 1);
    text_lines_append_char(&t, 0x4E2D);
    text_lines_append_char(&t, 0xE9);
    text_lines_append_char(&t, '!');
    char out[32];
    text_lines_get_row(&t, 1, 31, out);
    EXPECT_EQ(std::string(out), std::string(CJK_ZHONG) + E_ACUTE + "!");
    text_lines_get_row(&t, 1, 4, out);  // n bytes bound the conversion
    EXPECT_EQ(std::string(out), std::string(CJK_ZHONG));
    EXPECT_EQ(text_lines_scroll(&t, 1), 0);
    text_lines_backspace(&t);
    text_lines_backspace(&t);
    text_lines_backspace(&t);
    text_lines_backspace(&t);  // on an empty row: nothing
    EXPECT_EQ(str16_len(t.rows[1]), 0);

    // put_row takes at most 512 bytes (256 units).
    std::vector<char16> longer(300, 'w');
    longer.push_back(0);
    text_lines_put_row(&t, 2, longer.data());
    EXPECT_EQ(str16_len(t.rows[2]), 256);
    EXPECT_EQ(text_lines_scroll(&t, 2), 176);
    text_lines_put_row(&t, 2, u16(std::string(81, 'v').c_str()).data());
    EXPECT_EQ(text_lines_scroll(&t, 2), 1);
    text_lines_put_row(&t, 2, u16(std::string(80, 'v').c_str()).data());
    EXPECT_EQ(text_lines_scroll(&t, 2), 0);

    text_lines_deactivate(&t);
    EXPECT_EQ(text_lines_is_active(&t), 0);
    text_lines_activate(&t);
    EXPECT_EQ(str16_len(t.rows[0]), 0);  // row 0 emptied
    EXPECT_EQ(str16_len(t.rows[2]), 80);
    text_lines_clear(&t);
    EXPECT_EQ(text_lines_is_active(&t), 0);
    for (int r = 0; r < 3; r++)
        EXPECT_EQ(str16_len(t.rows[r]), 0);
    text_lines_free(&t);
    EXPECT_EQ(t.rows, nullptr);
    EXPECT_EQ(t.num_rows, 0);
}

TEST_F(TextTest, TextLinesBadRowsTable)
{
    TextLines t;
    text_lines_init(&t, 2);
    text_lines_activate(&t);
    text_lines_put_row(&t, 0, u16("zero").data());
    text_lines_put_row(&t, 1, u16(std::string(90, 'o').c_str()).data());
    text_lines_set_row(&t, 1);

    const int bad_rows[] = {-1, -1000, 2, 3, 1 << 30, -2147483647 - 1};
    for (int row : bad_rows) {
        text_lines_set_row(&t, row);
        EXPECT_EQ(t.current_row, 1) << row;
        char out[16];
        memset(out, '#', sizeof out);
        text_lines_get_row(&t, row, 15, out);
        EXPECT_EQ(out[0], '#') << row;
        text_lines_put_row(&t, row, u16("bad").data());
        EXPECT_EQ(text_lines_scroll(&t, row), 0) << row;
    }
    EXPECT_EQ(str16_compare(t.rows[0], u16("zero").data()), 0);
    EXPECT_EQ(text_lines_scroll(&t, 1), 10);

    // A buffer without rows refuses everything.
    TextLines empty;
    text_lines_init(&empty, 0);
    text_lines_activate(&empty);
    EXPECT_EQ(text_lines_append_char(&empty, 'a'), 0);
    text_lines_backspace(&empty);
    text_lines_set_row(&empty, 0);
    text_lines_put_row(&empty, 0, u16("x").data());
    EXPECT_EQ(text_lines_scroll(&empty, 0), 0);
    text_lines_free(&empty);
    text_lines_free(&t);
}

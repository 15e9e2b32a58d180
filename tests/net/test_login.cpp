// The login file, the stored login and the MD5 digest helpers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "net/login.h"
#include "net/md5.h"
#include "support/test_support.h"

namespace {

std::vector<char16> units_of(const char *text)
{
    std::vector<char16> out;
    for (; *text; text++)
        out.push_back((char16)(unsigned char)*text);
    out.push_back(0);
    return out;
}

// Raw little-endian bytes of a text given as units.
std::string le_bytes(const std::u16string &units)
{
    std::string out;
    for (char16_t u : units) {
        out.push_back((char)(u & 0xff));
        out.push_back((char)(u >> 8));
    }
    return out;
}

void write_raw(const std::string &path, const std::string &bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::string read_raw(const std::string &path)
{
    std::string out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return out;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0)
        out.append(buffer, got);
    fclose(f);
    return out;
}

class LoginTest : public ::testing::Test {
protected:
    std::string path;
    void SetUp() override
    {
        // Each test its own file: the tests may run side by side.
        std::string name = std::string("zm_login_") +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".dat";
        path = test_tmp_path(name.c_str());
        remove(path.c_str());
        n_strncpyz(login_file_path, path.c_str(), sizeof login_file_path);
        logged_in = 0;
        login_nick[0] = login_password[0] = '\0';
    }
    void TearDown() override { n_strncpyz(login_file_path, "zm_login.dat", sizeof login_file_path); }
};

}  // namespace

TEST(Md5, Rfc1321TestSuite)
{
    const struct {
        const char *text, *digest;
    } vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
         "0",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto &v : vectors) {
        SCOPED_TRACE(v.text);
        char out[256];
        md5_hex_string(v.text, out, sizeof out);
        EXPECT_STREQ(out, v.digest);
        // The same through the file helper, in blocks of 1024.
        std::string file = test_tmp_path("md5_vector.bin");
        write_raw(file, std::string("skip") + v.text);
        FILE *f = fopen(file.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(fseek(f, 4, SEEK_SET), 0);   // only the remaining bytes count
        unsigned char digest[MD5_DIGEST_BYTES];
        EXPECT_EQ(md5_file(f, digest), 0);
        fclose(f);
        md5_hex(digest, out);
        EXPECT_STREQ(out, v.digest);
    }

    // Input fed in pieces across block boundaries gives the one-shot digest.
    std::string big(3000, '\0');
    for (size_t k = 0; k < big.size(); k++)
        big[k] = (char)('a' + k % 26);
    char whole[MD5_HEX_BYTES];
    md5_hex_string(big.c_str(), whole, sizeof whole);
    Md5Context ctx;
    md5_init(&ctx);
    for (size_t k = 0; k < big.size(); k += 37)
        md5_update(&ctx, big.data() + k, std::min<size_t>(37, big.size() - k));
    unsigned char digest[MD5_DIGEST_BYTES];
    md5_final(&ctx, digest);
    char pieces[MD5_HEX_BYTES];
    md5_hex(digest, pieces);
    EXPECT_STREQ(pieces, whole);

    // A buffer too small for 32 digits and a NUL is left alone.
    char small[32];
    memset(small, 'z', sizeof small);
    md5_hex_string("abc", small, sizeof small);
    EXPECT_EQ(std::string(small, sizeof small), std::string(32, 'z'));
    EXPECT_EQ(md5_file(nullptr, digest), -1);
}

TEST_F(LoginTest, WriteThenLoad)
{
    std::vector<char16> user = units_of("bob"), pass = units_of("pw1");
    login_file_write(user.data(), pass.data());
    EXPECT_EQ(logged_in, 1);
    // 21 units: "user bob", CR LF, "pass pw1", CR LF; no NUL, no byte-order mark.
    EXPECT_EQ(read_raw(path), le_bytes(u"user bob\r\npass pw1\r\n"));

    logged_in = 0;
    EXPECT_EQ(login_load(login_nick, login_password), 0);
    EXPECT_STREQ(login_nick, "bob");
    EXPECT_STREQ(login_password, "pw1");
    EXPECT_EQ(is_logged_in(), 1);

    // Texts too long for the buffer are cut so that the file stays readable.
    std::vector<char16> long_user(2000, 'u'), long_pass(2000, 'p');
    long_user.back() = long_pass.back() = 0;
    login_file_write(long_user.data(), long_pass.data());
    EXPECT_LE(read_raw(path).size(), 2u * 1023);
    EXPECT_EQ(login_load(login_nick, login_password), 0);
    EXPECT_EQ(std::string(login_nick), std::string(31, 'u'));

    // A file that cannot be opened leaves everything as it was.
    logged_in = 0;
    n_strncpyz(login_file_path, test_tmp_dir(), sizeof login_file_path);
    login_file_write(user.data(), pass.data());
    EXPECT_EQ(logged_in, 0);
}

TEST_F(LoginTest, ReadingFiles)
{
    const struct {
        const char *name;
        std::u16string file;
        int load;
        const char *nick, *password;
    } cases[] = {
        {"plain", u"user alice\r\npass secret\r\n", 0, "alice", "secret"},
        {"LF only, blank lines", u"\n\nuser alice\n\n\npass secret", 0, "alice", "secret"},
        {"later line wins", u"user a1\r\npass p1\r\nuser a2\r\npass p2\r\n", 0, "a2", "p2"},
        {"only a user line", u"user alice\r\n", 1, "", ""},
        {"empty password skipped", u"user alice\r\npass\r\n", 1, "", ""},
        {"short tokens skipped", u"user \r\npass \r\nuserx\r\n", 1, "", ""},
        {"other words ignored", u"name alice\r\npass secret\r\n", 1, "", ""},
        {"name cut to 31",
         u"user " + std::u16string(40, u'n') + u"\r\npass " + std::u16string(40, u'q') + u"\r\n", 0,
         "nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn", "qqqqqqqqqqqqqqqqqqqqqqqqqqqqqqq"},
        {"text beyond 1023 units unread",
         u"user alice\r\n" + std::u16string(1011, u'\n') + u"pass secret\r\n", 1, "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        write_raw(path, le_bytes(c.file));
        logged_in = 0;
        login_nick[0] = login_password[0] = '\0';
        EXPECT_EQ(login_load(login_nick, login_password), c.load);
        EXPECT_EQ(logged_in, c.load == 0 ? 1 : 0);
        EXPECT_STREQ(login_nick, c.nick);
        EXPECT_STREQ(login_password, c.password);
    }

    // A missing line leaves the caller's output as it was.
    write_raw(path, le_bytes(u"user carol\r\n"));
    std::vector<char16> user(LOGIN_FILE_UNITS, 0), pass(LOGIN_FILE_UNITS, 0);
    pass[0] = 'k';
    login_file_read(user.data(), pass.data());
    EXPECT_EQ(str16_compare_local(user.data(), "carol"), 0);
    EXPECT_EQ(str16_compare_local(pass.data(), "k"), 0);

    // No file: logged out.
    remove(path.c_str());
    logged_in = 0;
    EXPECT_EQ(login_load(login_nick, login_password), 1);
    EXPECT_EQ(logged_in, 0);
    set_logged_in();
    EXPECT_EQ(is_logged_in(), 1);
}

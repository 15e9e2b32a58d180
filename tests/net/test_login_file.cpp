// The stored login as a file: owner-only, and whole after a kill mid-write.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "core/text.h"
#include "net/login.h"
#include "support/kill_write.h"
#include "support/test_support.h"

namespace {

std::u16string units(const char *text)
{
    std::u16string u;
    for (const char *c = text; *c; c++)
        u += (char16_t)*c;
    return u;
}

TEST(LoginFile, OwnerOnlyAndWholeAfterKills)
{
    std::string path = test_tmp_path("zm_login_file.dat");
    remove(path.c_str());
    n_strncpyz(login_file_path, path.c_str(), sizeof login_file_path);

    std::u16string old_user = units("olduser"), pass = units("secret");
    login_file_write((const char16 *)old_user.c_str(), (const char16 *)pass.c_str());
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // A file that others could read before is tightened at the next write.
    chmod(path.c_str(), 0644);
    login_file_write((const char16 *)old_user.c_str(), (const char16 *)pass.c_str());
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::string old_content = read_whole_file(path);

    std::u16string new_user = units("a_new_user_name"), new_pass = units("another secret");
    login_file_write((const char16 *)new_user.c_str(), (const char16 *)new_pass.c_str());
    std::string new_content = read_whole_file(path);
    ASSERT_NE(old_content, new_content);
    expect_whole_after_kills(path, old_content, new_content, [&] {
        login_file_write((const char16 *)new_user.c_str(), (const char16 *)new_pass.c_str());
    });
    remove_stale_temporaries(path);
    n_strncpyz(login_file_path, "zm_login.dat", sizeof login_file_path);
}

}  // namespace

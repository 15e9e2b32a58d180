#include "support/test_support.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>

const char *test_tmp_dir()
{
    static std::string dir;
    if (dir.empty()) {
        const char *env = getenv("ZM_TEST_TMP");
        dir = env && *env ? env : "/tmp/zylomach-test";
        mkdir(dir.c_str(), 0775);
    }
    return dir.c_str();
}

std::string test_tmp_path(const char *name)
{
    return std::string(test_tmp_dir()) + "/" + name;
}

const char *source_dir() { return ZM_SOURCE_DIR; }

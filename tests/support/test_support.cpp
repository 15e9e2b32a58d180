#include "support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

const char *test_tmp_dir()
{
    static std::string dir;
    if (dir.empty()) {
        const char *env = getenv("ZM_TEST_TMP");
        std::string base = env && *env ? env : "/tmp/zylomach-test";
        mkdir(base.c_str(), 0775);
        // One folder per test process: tests run side by side.
        dir = base + "/" + std::to_string((long)getpid());
        mkdir(dir.c_str(), 0775);
    }
    return dir.c_str();
}

std::string test_tmp_path(const char *name)
{
    return std::string(test_tmp_dir()) + "/" + name;
}

const char *source_dir() { return ZM_SOURCE_DIR; }

std::string read_whole_file(const std::string &path, const std::string &if_missing)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return if_missing;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    fclose(f);
    return text;
}

bool write_whole_file(const std::string &path, const std::string &bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

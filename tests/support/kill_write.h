// Kills a child process in the middle of a file write, again and again, and
// checks that the file is always the old content or the new content, whole.
#pragma once

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "core/safe_file.h"
#include "support/test_support.h"

// write_new() writes the new content of path (in a forked child). The file
// holds old_content before every round. Rounds: a kill at each step of the
// commit, then kills after growing delays while the child writes in a loop.
inline void expect_whole_after_kills(const std::string &path, const std::string &old_content,
                                     const std::string &new_content,
                                     const std::function<void()> &write_new, int timed_rounds = 40)
{
    auto check = [&](const char *what, int round) {
        std::string now = read_whole_file(path, "<missing>");
        EXPECT_TRUE(now == old_content || now == new_content)
            << what << " round " << round << ": " << path << " holds " << now.size()
            << " bytes, neither the old " << old_content.size() << " nor the new "
            << new_content.size();
    };
    for (int step = 1; step <= 4; step++) {
        ASSERT_TRUE(write_whole_file(path, old_content));
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            safe_file_crash_step = step;
            write_new();
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "step " << step;
        check("crash step", step);
        EXPECT_EQ(read_whole_file(path), step < 4 ? old_content : new_content) << "step " << step;
    }
    for (int round = 0; round < timed_rounds; round++) {
        ASSERT_TRUE(write_whole_file(path, old_content));
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;)
                write_new();
        }
        usleep((useconds_t)(round * 150));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        check("timed kill", round);
    }
    // After the kills a plain write still works.
    write_new();
    EXPECT_EQ(read_whole_file(path), new_content);
}

// Removes the temporary files that killed writers left beside path; returns
// how many there were.
inline int remove_stale_temporaries(const std::string &path)
{
    std::string folder = ".", base = path;
    size_t slash = path.rfind('/');
    if (slash != std::string::npos) {
        folder = path.substr(0, slash);
        base = path.substr(slash + 1);
    }
    int removed = 0;
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return 0;
    while (struct dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() > base.size() + 5 && name.compare(0, base.size() + 1, base + ".") == 0 &&
            name.compare(name.size() - 4, 4, ".tmp") == 0) {
            unlink((folder + "/" + name).c_str());
            removed++;
        }
    }
    closedir(dir);
    return removed;
}

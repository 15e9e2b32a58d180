// Time to load a buddy list of 100,000 names (and to save it again), the
// way start-up reads data/buddies.txt. Prints milliseconds per load.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "shell/buddies.h"

namespace {

double now_ms()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main()
{
    const int names = 100000;
    char path[] = "buddies_bench_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) {
        perror("buddies_bench");
        return 1;
    }
    std::string text;
    for (int i = 0; i < names; i++)
        text += "[clan]player_" + std::to_string(i * 7919 % 1000003) + "\r\n";
    if (write(fd, text.data(), text.size()) != (ssize_t)text.size()) {
        perror("buddies_bench");
        return 1;
    }
    close(fd);

    const int rounds = 5;
    double best = 1e30, total = 0;
    for (int r = 0; r < rounds; r++) {
        clear_buddies();
        double start = now_ms();
        load_buddies(path);
        double took = now_ms() - start;
        total += took;
        if (took < best)
            best = took;
    }
    int loaded = buddy_count();
    double start = now_ms();
    save_buddies(path);
    double saved = now_ms() - start;
    clear_buddies();
    unlink(path);
    printf("buddies: %d names loaded in %.1f ms (best of %d, mean %.1f ms); saved in %.1f ms\n",
           loaded, best, rounds, total / rounds, saved);
    return loaded == names ? 0 : 1;
}

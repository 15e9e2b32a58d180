// fuzz-kind: parse
// fuzz-corpus: servers
// fuzz-sources: net/browser.cpp net/connection.cpp
//
// The server list file ("servers.txt") read by the browser's reader into its
// entries and put in display order, as the browser reads it.
// Nothing connects: the browser's connection is only reset and closed.
#include "net/browser.h"
#include "fuzz/fuzz_input.h"

#include <new>

// One browser record's room, made anew in place for every input (a fresh
// large allocation per input would cost more than the reading).
alignas(ServerBrowser) static unsigned char room[sizeof(ServerBrowser)];

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *path = fuzz_input::as_file(data, size, "servers.txt");
    if (!path)
        return 0;
    ServerBrowser *b = new (room) ServerBrowser;
    if (servers_txt_read(b, path) == 0) {
        if (b->count < 0 || b->count > BROWSER_MAX_SERVERS)
            __builtin_trap();
        // The reader sorted them; every display slot names a read entry.
        const int *order = browser_view_order(b);
        for (int i = 0; i <= BROWSER_MAX_SERVERS && order[i] != -1; i++)
            if (order[i] < 0 || order[i] >= b->count)
                __builtin_trap();
    }
    b->~ServerBrowser();
    return 0;
}

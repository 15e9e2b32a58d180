// Shared by the fuzz targets: the input as a regular file the readers can
// open by name, and a private runtime folder the targets may work in.
//
// Every process gets one folder of its own on tmpfs (/dev/shm, or beside the
// fuzz program when there is none), removed at exit. The input file in it
// is rewritten in place for every input: one ftruncate and one pwrite, no
// new file, so a reader that takes only regular files reads it like any
// file of the game.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fuzz_input {

inline char folder[300];
inline char input_path[400];
inline int input_fd = -1;

inline int remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

inline void remove_folder()
{
    if (input_fd >= 0)
        close(input_fd);
    if (folder[0])
        nftw(folder, remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

// The private folder (made on the first call).
inline const char *private_folder()
{
    if (folder[0])
        return folder;
    struct stat st;
    if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0) {
        snprintf(folder, sizeof folder, "/dev/shm/zm_fuzz_XXXXXX");
    } else {
        char self[200];
        ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0)
            abort();
        self[n] = '\0';
        char *slash = strrchr(self, '/');
        if (slash)
            *slash = '\0';
        snprintf(folder, sizeof folder, "%s/zm_fuzz_XXXXXX", slash ? self : ".");
    }
    if (!mkdtemp(folder)) {
        fprintf(stderr, "fuzz: cannot make a private folder %s\n", folder);
        abort();
    }
    atexit(remove_folder);
    return folder;
}

// Writes data to the private input file (named name inside the folder) and
// returns its path; null when the write failed.
inline const char *as_file(const uint8_t *data, size_t size, const char *name = "input")
{
    if (input_fd < 0) {
        snprintf(input_path, sizeof input_path, "%s/%s", private_folder(), name);
        input_fd = open(input_path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (input_fd < 0) {
            fprintf(stderr, "fuzz: cannot create %s\n", input_path);
            abort();
        }
    }
    if (ftruncate(input_fd, 0) != 0)
        return nullptr;
    if (size && pwrite(input_fd, data, size, 0) != (ssize_t)size)
        return nullptr;
    return input_path;
}

// The game's one-line diagnostics go to standard error, which the fuzz runs
// close: fully buffered, they cost a write a few hundred lines instead of
// one each (the sanitizers' reports write to the descriptor themselves).
inline char stderr_buffer[1 << 16];
inline const int stderr_buffered = setvbuf(stderr, stderr_buffer, _IOFBF, sizeof stderr_buffer);

// Makes folder/sub (and its parents inside folder); returns its path.
inline const char *make_subfolder(const char *sub, char *out, size_t size)
{
    snprintf(out, size, "%s/%s", private_folder(), sub);
    for (char *p = out + strlen(folder) + 1; *p; p++) {
        if (*p == '/') {
            *p = '\0';
            mkdir(out, 0700);
            *p = '/';
        }
    }
    mkdir(out, 0700);
    return out;
}

}  // namespace fuzz_input

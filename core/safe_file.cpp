#include "core/safe_file.h"

#include <atomic>
#include <climits>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <ctime>
#include <unistd.h>

int safe_file_crash_step = 0;

static long temp_tail_pid(const char *tail);

static void crash_point(int step)
{
    if (safe_file_crash_step == step)
        raise(SIGKILL);
}

int safe_open(SafeFile *sf, const char *path, int private_file)
{
    if (!sf)
        return 1;
    sf->f = nullptr;
    sf->path[0] = sf->temp[0] = '\0';
    if (!path || !path[0] || strlen(path) >= sizeof sf->path) {
        errno = ENAMETOOLONG;
        return 1;
    }
    strcpy(sf->path, path);
    // The old file's permissions carry over, but never an execute bit, and
    // the owner can always read and write the new content.
    mode_t mode = private_file ? 0600 : 0666;
    struct stat old;
    if (stat(path, &old) == 0)
        mode = (old.st_mode & mode) | S_IRUSR | S_IWUSR;
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100; attempt++) {
        int n = snprintf(sf->temp, sizeof sf->temp, "%s.%ld-%u.tmp", path, (long)getpid(),
                         serial.fetch_add(1));
        if (n < 0 || n >= (int)sizeof sf->temp) {
            sf->temp[0] = '\0';
            errno = ENAMETOOLONG;
            return 1;
        }
        int fd = open(sf->temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            sf->temp[0] = '\0';
            return 1;
        }
        sf->f = fdopen(fd, "wb");
        if (!sf->f) {
            close(fd);
            unlink(sf->temp);
            sf->temp[0] = '\0';
            return 1;
        }
        return 0;
    }
    sf->temp[0] = '\0';
    errno = EEXIST;
    return 1;
}

// Syncs the folder that holds path, so that the rename itself is on disk.
static void sync_folder(const char *path)
{
    char folder[SAFE_PATH_BYTES];
    snprintf(folder, sizeof folder, "%s", path);
    char *slash = strrchr(folder, '/');
    if (!slash)
        strcpy(folder, ".");
    else if (slash == folder)
        folder[1] = '\0';
    else
        *slash = '\0';
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// Removes the temporary files that writers killed before their commit left
// beside path: "<name>.<pid>-<n>.tmp" whose process no longer exists. A live
// process's file (this one's included) is never touched.
static void remove_orphans(const char *path)
{
    char folder[SAFE_PATH_BYTES];
    snprintf(folder, sizeof folder, "%s", path);
    const char *base = path;
    char *slash = strrchr(folder, '/');
    if (!slash) {
        strcpy(folder, ".");
    } else {
        base = path + (slash - folder) + 1;
        if (slash == folder)
            folder[1] = '\0';
        else
            *slash = '\0';
    }
    size_t base_length = strlen(base);
    DIR *dir = opendir(folder);
    if (!dir)
        return;
    while (struct dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        if (strncmp(name, base, base_length) != 0 || name[base_length] != '.')
            continue;
        long pid = temp_tail_pid(name + base_length + 1);
        if (pid == 0 || pid == (long)getpid())
            continue;
        if (kill((pid_t)pid, 0) == 0 || errno != ESRCH)
            continue;
        char orphan[SAFE_PATH_BYTES + 256];
        snprintf(orphan, sizeof orphan, "%s/%s", folder, name);
        unlink(orphan);
    }
    closedir(dir);
}

int safe_commit(SafeFile *sf)
{
    if (!sf || !sf->f)
        return 1;
    FILE *f = sf->f;
    sf->f = nullptr;
    crash_point(1);
    int failed = fflush(f) != 0 || ferror(f);
    crash_point(2);
    if (!failed && fsync(fileno(f)) != 0)
        failed = 1;
    if (fclose(f) != 0)
        failed = 1;
    crash_point(3);
    if (failed) {
        fprintf(stderr, "Unable to write %s\n", sf->path);
        unlink(sf->temp);
        return 1;
    }
    // Only a regular file is replaced: a FIFO, a device or a folder that
    // stands at the name stays what it is.
    struct stat target;
    if (stat(sf->path, &target) == 0 && !S_ISREG(target.st_mode)) {
        fprintf(stderr, "Unable to replace %s: not a regular file\n", sf->path);
        unlink(sf->temp);
        return 1;
    }
    if (rename(sf->temp, sf->path) != 0) {
        fprintf(stderr, "Unable to replace %s: %s\n", sf->path, strerror(errno));
        unlink(sf->temp);
        return 1;
    }
    crash_point(4);
    sync_folder(sf->path);
    remove_orphans(sf->path);
    return 0;
}

const char *read_refusal_text(int refusal)
{
    switch (refusal) {
    case READ_MISSING: return "missing";
    case READ_UNREADABLE: return "unreadable";
    case READ_NOT_REGULAR: return "not a regular file";
    case READ_TOO_LARGE: return "too large";
    default: return "";
    }
}

int read_refusal_keeps_file(int refusal)
{
    return refusal == READ_UNREADABLE || refusal == READ_NOT_REGULAR || refusal == READ_TOO_LARGE;
}

FILE *open_read_file(const char *path, long max_bytes, int *refusal)
{
    int unused;
    int *why = refusal ? refusal : &unused;
    *why = READ_MISSING;
    if (!path || !path[0]) {
        errno = ENOENT;
        return nullptr;
    }
    // O_NONBLOCK: opening a FIFO for reading would wait for a writer.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            *why = READ_UNREADABLE;
        return nullptr;
    }
    struct stat st;
    const char *reason = nullptr;
    if (fstat(fd, &st) != 0) {
        reason = strerror(errno);
        *why = READ_UNREADABLE;
    } else if (!S_ISREG(st.st_mode)) {
        reason = "not a regular file";
        *why = READ_NOT_REGULAR;
    } else if (max_bytes >= 0 && st.st_size > max_bytes) {
        reason = "file too large";
        *why = READ_TOO_LARGE;
    }
    if (reason) {
        fprintf(stderr, "Refused %s: %s\n", path, reason);
        close(fd);
        errno = EINVAL;
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE *f = fdopen(fd, "rb");
    if (!f) {
        close(fd);
        *why = READ_UNREADABLE;
        return nullptr;
    }
    *why = READ_OPENED;
    return f;
}

int is_regular_file(const char *path)
{
    struct stat st;
    return path && stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// The "<pid>-<n>.tmp" tail of a temporary file's name (after its base name
// and a dot); the pid, or 0 when name does not end that way.
static long temp_tail_pid(const char *tail)
{
    char *end = nullptr;
    long pid = strtol(tail, &end, 10);
    if (pid <= 0 || !end || *end != '-')
        return 0;
    char *rest = nullptr;
    strtoul(end + 1, &rest, 10);
    if (rest == end + 1 || strcmp(rest, ".tmp") != 0)
        return 0;
    return pid;
}

int remove_stale_temps(const char *folder, int depth)
{
    const char *base = folder && folder[0] ? folder : ".";
    DIR *dir = opendir(base);
    if (!dir)
        return 0;
    int removed = 0;
    time_t now = time(nullptr);
    while (struct dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
            continue;
        char full[SAFE_PATH_BYTES + 256];
        int n = snprintf(full, sizeof full, "%s/%s", base, name);
        if (n < 0 || n >= (int)sizeof full)
            continue;
        struct stat st;
        if (lstat(full, &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            if (depth > 0)
                removed += remove_stale_temps(full, depth - 1);
            continue;
        }
        size_t length = strlen(name);
        if (!S_ISREG(st.st_mode) || length < 5 || strcmp(name + length - 4, ".tmp") != 0)
            continue;
        // "<file>.<pid>-<n>.tmp": the pid follows the last dot before the
        // last dash.
        const char *dash = strrchr(name, '-');
        if (!dash)
            continue;
        const char *dot = dash;
        while (dot > name && dot[-1] != '.')
            dot--;
        if (dot <= name + 1)
            continue;
        long pid = temp_tail_pid(dot);
        if (pid == 0 || pid == (long)getpid())
            continue;
        int gone = kill((pid_t)pid, 0) != 0 && errno == ESRCH;
        int old = now - st.st_mtime > 24 * 60 * 60;
        if ((gone || old) && unlink(full) == 0) {
            fprintf(stderr, "Removed stale temporary file %s\n", full);
            removed++;
        }
    }
    closedir(dir);
    return removed;
}

void safe_abandon(SafeFile *sf)
{
    if (!sf)
        return;
    if (sf->f)
        fclose(sf->f);
    sf->f = nullptr;
    if (sf->temp[0])
        unlink(sf->temp);
}

int safe_write_bytes(const char *path, const void *bytes, size_t size, int private_file)
{
    SafeFile sf;
    if (safe_open(&sf, path, private_file) != 0)
        return 1;
    if (size && fwrite(bytes, 1, size, sf.f) != size) {
        fprintf(stderr, "Unable to write %s\n", path);
        safe_abandon(&sf);
        return 1;
    }
    return safe_commit(&sf);
}

int path_lies_in(const char *resolved, const char *folder)
{
    if (!resolved || !folder || !folder[0])
        return 0;
    if (strcmp(folder, "/") == 0)
        return resolved[0] == '/';
    size_t n = strlen(folder);
    return strncmp(resolved, folder, n) == 0 && (resolved[n] == '/' || resolved[n] == '\0');
}

int resolve_game_folders(char *game_folder, char *data_folder)
{
    char cwd[SAFE_PATH_BYTES];
    game_folder[0] = data_folder[0] = '\0';
    char resolved[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd) || !realpath(cwd, resolved) ||
        strlen(resolved) >= SAFE_PATH_BYTES)
        return 1;
    strcpy(game_folder, resolved);
    // The data folder counts only as a folder of its own, never as "/".
    struct stat st;
    if (realpath("data", resolved) && strlen(resolved) < SAFE_PATH_BYTES &&
        stat(resolved, &st) == 0 && S_ISDIR(st.st_mode) && strcmp(resolved, "/") != 0)
        strcpy(data_folder, resolved);
    return 0;
}

int lies_in_game_folders(const char *resolved, const char *game_folder, const char *data_folder)
{
    return path_lies_in(resolved, game_folder) ||
           (data_folder && data_folder[0] && path_lies_in(resolved, data_folder));
}

int write_path_in_game_folders(const char *path)
{
    if (!path || !path[0] || path[0] == '/' || strlen(path) >= SAFE_PATH_BYTES)
        return 0;
    char game_folder[SAFE_PATH_BYTES], data_folder[SAFE_PATH_BYTES];
    if (resolve_game_folders(game_folder, data_folder) != 0)
        return 0;
    char resolved[PATH_MAX];
    struct stat st;
    // A link at the name is replaced by the rename, never written through,
    // but one that leads out (or nowhere) is refused all the same.
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode) &&
        (!realpath(path, resolved) || !lies_in_game_folders(resolved, game_folder, data_folder)))
        return 0;
    // The nearest folder on the way that is there.
    char folder[SAFE_PATH_BYTES];
    strcpy(folder, path);
    for (;;) {
        char *slash = strrchr(folder, '/');
        if (!slash) {
            strcpy(folder, ".");
        } else {
            *slash = '\0';
            if (!folder[0])
                return 0;
        }
        if (realpath(folder, resolved))
            break;
        // Something there that does not resolve (a dangling link, a loop,
        // no permission) could lead anywhere once folders are made.
        if ((errno != ENOENT && errno != ENOTDIR) || lstat(folder, &st) == 0)
            return 0;
        if (strcmp(folder, ".") == 0)
            return 0;
    }
    if (stat(resolved, &st) != 0 || !S_ISDIR(st.st_mode))
        return 0;
    return lies_in_game_folders(resolved, game_folder, data_folder);
}

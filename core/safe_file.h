// Whole-file writes that survive a crash: the new content goes to a
// temporary file in the same folder, is flushed and synced to disk, and is
// then renamed over the old file. A kill at any moment leaves either the old
// file or the new one, whole, under the file's name.
#pragma once

#include <cstdio>

enum { SAFE_PATH_BYTES = 1024 };

struct SafeFile {
    FILE *f;                          // write the content here
    char path[SAFE_PATH_BYTES];       // the file's own name
    char temp[SAFE_PATH_BYTES];       // the temporary file beside it
};

// Creates the temporary file (folders are not created). Returns 0 and an
// open stream in sf->f, or 1 with errno set and nothing created; the caller
// reports it in its own words. A new file gets the usual permissions (0666
// less the umask), or owner-only ones when private_file is 1; a file that
// exists keeps its permissions without any execute bit, and always with the
// owner's read and write bits, so that the program can read back what it
// wrote.
int safe_open(SafeFile *sf, const char *path, int private_file = 0);
// Flushes, syncs and closes the temporary file, then renames it over the
// file, and removes what writers killed earlier left of their temporary
// files beside it. 0 when the new content is in place; 1 when any step failed ("Unable
// to write <path>" or "Unable to replace <path>: <reason>" on stderr): the
// temporary file is removed and the old file is untouched. Only a regular
// file (or a missing one) is replaced: a FIFO, device or folder at the
// name stays what it is ("Unable to replace <path>: not a regular file").
int safe_commit(SafeFile *sf);
// Closes and removes the temporary file; the old file is untouched.
void safe_abandon(SafeFile *sf);

// Writes size bytes as the whole new content of path. 0, or 1 (an open
// failure is not reported here).
int safe_write_bytes(const char *path, const void *bytes, size_t size, int private_file = 0);

// Reading a file the program expects (settings, lists, mods, replays,
// scripts, shaders): only a regular file (or a link to one) of at most
// max_bytes is opened, and a FIFO, device or folder never blocks the
// caller. A missing file gives nullptr silently (errno set); anything else
// refused gives nullptr and one line "Refused <path>: <reason>" on stderr.
// With refusal given, it receives why nothing was opened (READ_OPENED when
// the file was opened).
enum { READ_FILE_MAX_BYTES = 64 * 1024 * 1024 };
enum ReadRefusal {
    READ_OPENED = 0,
    READ_MISSING,        // no such file (or folder on the way)
    READ_UNREADABLE,     // there, but the program may not read it
    READ_NOT_REGULAR,    // a FIFO, device or folder
    READ_TOO_LARGE       // larger than the reader's bound
};
FILE *open_read_file(const char *path, long max_bytes = READ_FILE_MAX_BYTES,
                     int *refusal = nullptr);
// "missing", "unreadable", "not a regular file", "too large" ("" for
// READ_OPENED or an unknown value).
const char *read_refusal_text(int refusal);
// 1 when the refusal means a file is there that was not read: a writer must
// then leave it alone rather than replace what it could not see.
int read_refusal_keeps_file(int refusal);
// 1 when path names a regular file (or a link to one), without opening it.
int is_regular_file(const char *path);
// Removes the temporary files that killed writers left in folder and in
// its subfolders down to depth more levels (links are not followed):
// "<name>.<pid>-<n>.tmp" of a process that is gone, or older than a day
// whatever its pid says, since pids are reused. Returns the count removed.
int remove_stale_temps(const char *folder, int depth);

// Test hook: when set to n > 0, the writing process kills itself with
// SIGKILL at the n-th step of the next commit (1 after the temporary file
// was written but not flushed, 2 flushed, 3 synced and closed, 4 renamed).
extern int safe_file_crash_step;

// The game's folders, resolved (links followed): the working directory, and
// the folder its entry "data" leads to (a development run links "data" to the
// source tree elsewhere). Both buffers hold SAFE_PATH_BYTES; data_folder is ""
// when "data" is not a folder or resolves to "/". 0, or 1 when the working
// directory cannot be resolved.
int resolve_game_folders(char *game_folder, char *data_folder);
// 1 when resolved (an absolute path without links) is folder or lies below it.
int path_lies_in(const char *resolved, const char *folder);
// 1 when resolved lies in the game folder or in its data folder.
int lies_in_game_folders(const char *resolved, const char *game_folder, const char *data_folder);
// 1 when a file written at the relative path would land inside the game's
// folders: the nearest existing folder on its way, resolved, lies in them
// (folders still to be made are then made inside), nothing on the way is a
// link that cannot be followed, and a link standing at the name itself leads
// inside as well. The text of the path is the caller's to check.
int write_path_in_game_folders(const char *path);

// Lists of file names found in a folder (replays, mods, scripts): a
// growable array of short names in directory order.
#pragma once

enum {
    FILE_LIST_START = 100,   // first capacity
    FILE_LIST_STEP = 20,     // growth
    FILE_NAME_MAX = 62,      // longer names are not listed
    FILE_NAME_BYTES = 64
};
struct FileList {
    char (*names)[FILE_NAME_BYTES];
    int count;
    int capacity;
    int last;   // count - 1, -1 when empty
};
extern FileList replay_files, mod_files, script_files;
// The names in `dir` that contain ".<ext>" and have at most 62 characters,
// in directory order; returns the last index (-1 for none or a folder that
// cannot be opened: "cant open the directory <dir>" on stderr).
int build_file_list(FileList *list, const char *dir, const char *ext);
void free_file_list(FileList *list);
void free_file_lists();
int scan_replays();
int scan_mods();
int scan_scripts();


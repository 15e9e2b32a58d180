// The updater process: a forked child that fetches a version list and a file
// list over HTTP, downloads every listed file whose MD5 differs from the
// local copy into a temporary file, verifies it and renames it into place.
// It writes a time-stamped log, "autoupdate.log", in the working directory.
//
// Trust: a list is used only when its first line, "#signature <hex>", is an
// Ed25519 signature of the rest of the list by the release key, whose public
// half the program carries. A list so signed names files and their MD5
// digests; a download is installed only when its digest matches, only under
// data/ (or, from the version list, as a ".upd" file beside the program),
// and gets an execute bit only when it is the program itself.
#pragma once

#include <csignal>
#include <cstddef>

enum {
    UPDATE_LINE_BYTES = 256,
    UPDATE_NAME_BYTES = 256,
    UPDATE_SUM_BYTES = 33,
    UPDATE_LIST_STEP = 20,
    UPDATE_URL_BYTES = 1024,
    UPDATE_KEY_BYTES = 32,
    UPDATE_SIGNATURE_BYTES = 64,
    UPDATE_MAX_LIST = 1024 * 1024
};

#define UPDATE_DATA_FOLDER "data/"

// The update servers of this game. Placeholder names that never resolve;
// a deployment puts its own hosts here.
extern const char UPDATE_CONTENT_HOST[];
extern const char UPDATE_FORUM_HOST[];
// The program's own file name: the only download that may be executable.
extern const char UPDATE_PROGRAM_NAME[];
// The Ed25519 public key that signs the update lists.
extern unsigned char update_public_key[UPDATE_KEY_BYTES];

// One list line that needs work.
struct UpdateItem {
    int fields;                         // 2 or 3
    char name[UPDATE_NAME_BYTES];       // listed name, lower-cased
    char local_path[UPDATE_NAME_BYTES]; // where the file lives here
    char checksum[UPDATE_SUM_BYTES];    // 32 hex digits, "0" or "1"
    int flags;                          // only with 3 fields
};

// A growable array of items; capacity starts at 20 and grows by 20.
struct UpdateList {
    UpdateItem **items;
    int count;
    int capacity;
};

// Set by the SIGUSR1 handler and by any aborting error; every loop tests it.
extern volatile sig_atomic_t update_stop;

// Forks the updater child (which runs run_updater and _exits); returns the
// child's id to the parent, -1 when the fork failed.
int start_updater();
// Sends the child SIGUSR1 so that it stops after the file in hand.
void stop_updater(int pid);
// 1 when the updater may start: "-autoupdate N" on the command line (the
// last one) wins over the stored value ("0"/"1", null or "" when not
// stored), which wins over fallback (the option's default).
int autoupdate_wanted(int argc, char **argv, const char *stored, int fallback);

// Child only: opens "autoupdate.log", fetches both lists from our hosts,
// closes the log.
void run_updater();
// Both lists from the given hosts ("name" or "name:port").
void fetch_update_lists(const char *content_host, const char *forum_host);

// The log: standard output until a file is opened. open returns 0 or 1.
int open_update_log(const char *path);
void close_update_log();
// Writes one time-stamped line; the message is written unchanged.
void update_log(const char *message);

// The libcurl result code (0 success); the body goes to a temporary file
// beside path, which replaces path only when the transfer succeeded.
int fetch_url_to_file(const char *url, const char *path);
// 0 up to date, 1 changed or always-update, 2 missing, 4 cannot be opened.
int check_update_file(const char *path, const char *checksum);
// 1 when a name from the network may be used as a path: relative, bounded,
// no ".." component, no empty name, no back-slash or control characters.
int safe_update_path(const char *path);
// 0 when the signature verifies over bytes with update_public_key.
int verify_update_signature(const unsigned char *signature, const void *bytes, size_t size);
// 0 when the list file carries a valid signature line; else logged, 1.
int verify_update_list(const char *path);
// 1 when a local path may be written: mode 0 (file list) under data/,
// mode 1 (version list) beside the program; never absolute or with "..".
int update_path_allowed(const char *local_path, int mode);
// 1 when an item may be made executable: the version list's program.
int update_may_execute(const UpdateItem *item, int mode);
// 0 read (possibly empty), 1 aborted. The list's signature is not checked
// here (process_update_list does that first).
int read_update_list(const char *path, UpdateList *list);
void free_update_list(UpdateList *list);
// Mode 1 for the version list, 0 for the file list; 0 when processed, 1 when
// the list could not be read or is not signed.
int process_update_list(const char *path, const char *host, int mode);

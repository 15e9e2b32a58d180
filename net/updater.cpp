// The updater process: list fetching, list parsing, verified downloads and
// the time-stamped log.
#include "net/updater.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <curl/curl.h>
#include <openssl/evp.h>

#include "core/safe_file.h"
#include "core/text.h"
#include "net/md5.h"

const char UPDATE_CONTENT_HOST[] = "updates.zylomach.invalid";
const char UPDATE_FORUM_HOST[] = "forum.zylomach.invalid";
const char UPDATE_PROGRAM_NAME[] = "zylomach";

// The release key's public half. Lists are signed where they are made; the
// program only verifies. A deployment puts its own key here.
unsigned char update_public_key[UPDATE_KEY_BYTES] = {
    0xd9, 0x12, 0x78, 0x4a, 0x4b, 0x40, 0x7a, 0x52, 0xb3, 0x24, 0xaf, 0x7f,
    0x44, 0x27, 0x55, 0xaf, 0x15, 0x14, 0xc0, 0x01, 0x7c, 0xd0, 0x99, 0x15,
    0xd9, 0xab, 0xf9, 0x27, 0x94, 0x38, 0x45, 0xb3,
};

volatile sig_atomic_t update_stop = 0;

// Downloads larger than this are refused.
static const long UPDATE_MAX_DOWNLOAD = 64L * 1024 * 1024;

static FILE *log_file = nullptr;

// ---- log ----------------------------------------------------------------------

int open_update_log(const char *path)
{
    close_update_log();
    log_file = fopen(path, "w");
    return log_file ? 0 : 1;
}

void close_update_log()
{
    if (log_file)
        fclose(log_file);
    log_file = nullptr;
}

void update_log(const char *message)
{
    FILE *out = log_file ? log_file : stdout;
    time_t now = time(nullptr);
    struct tm local;
    memset(&local, 0, sizeof local);
    localtime_r(&now, &local);
    char stamp[64];
    snprintf(stamp, sizeof stamp, "%02i-%02i-%i %02i:%02i:%02i ", local.tm_mday,
             local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min,
             local.tm_sec);
    fputs(stamp, out);
    fputs(message, out);
    fputc('\n', out);
    fflush(out);
}

// Composes a message with one of this file's fixed formats and logs it.
static void logf_(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void logf_(const char *format, ...)
{
    char message[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    update_log(message);
}

// ---- process ---------------------------------------------------------------------

static void on_stop_signal(int)
{
    update_stop = 1;
}

int start_updater()
{
    pid_t pid = fork();
    if (pid == 0) {
        run_updater();
        _exit(0);
    }
    if (pid < 0) {
        fprintf(stderr, "Failed to fork (Error code: %d)\n", (int)pid);
        return -1;
    }
    return (int)pid;
}

void stop_updater(int pid)
{
    if (pid > 0)
        kill((pid_t)pid, SIGUSR1);
}

int autoupdate_wanted(int argc, char **argv, const char *stored, int fallback)
{
    int wanted = fallback != 0;
    if (stored && stored[0])
        wanted = strtol(stored, nullptr, 10) != 0;
    // The command line reads option words as the option table does: any
    // first character, then the name, then the value; the last one counts.
    for (int i = 1; argv && i < argc; i++) {
        const char *arg = argv[i];
        if (!arg || strlen(arg) < 2 || strcmp(arg + 1, "autoupdate") != 0)
            continue;
        if (i + 1 < argc && argv[i + 1])
            wanted = strtol(argv[i + 1], nullptr, 10) != 0;
    }
    return wanted;
}

void run_updater()
{
    if (open_update_log("autoupdate.log") != 0) {
        fputs("Unable to open logfile for writing\n", stderr);
        return;
    }
    update_log("Initializing KasuUpdate");
    fetch_update_lists(UPDATE_CONTENT_HOST, UPDATE_FORUM_HOST);
    close_update_log();
}

void fetch_update_lists(const char *content_host, const char *forum_host)
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);

    char url[UPDATE_URL_BYTES];
    char timed[UPDATE_URL_BYTES + 32];

    update_log("Fetching version updates...");
    snprintf(url, sizeof url, "http://%s/cp/ver_updates.php", content_host);
    snprintf(timed, sizeof timed, "%s?%li", url, (long)time(nullptr));
    if (fetch_url_to_file(timed, "ver_updates.txt") != 0)
        logf_("Unable to download %s .", url);
    else
        process_update_list("ver_updates.txt", content_host, 1);

    update_log("Fetching files updates...");
    snprintf(url, sizeof url, "http://%s/zylomach/allfiles.php", forum_host);
    snprintf(timed, sizeof timed, "%s?%li", url, (long)time(nullptr));
    if (fetch_url_to_file(timed, "files_updates.txt") != 0) {
        logf_("Unable to download %s .", url);
        return;
    }
    process_update_list("files_updates.txt", content_host, 0);
}

// ---- transfer ----------------------------------------------------------------------

struct DownloadSink {
    FILE *file;
    long written;
};

static size_t write_chunk(char *data, size_t size, size_t count, void *user)
{
    DownloadSink *sink = (DownloadSink *)user;
    size_t bytes = size * count;
    if (bytes == 0)
        return 0;
    if (sink->written + (long)bytes > UPDATE_MAX_DOWNLOAD)
        return 0;   // aborts the transfer
    size_t put = fwrite(data, 1, bytes, sink->file);
    sink->written += (long)put;
    return put;
}

// A stop asked for (SIGUSR1) ends the transfer in hand: the game has gone,
// and a stalled server must not keep the child waiting.
static int stop_transfer(void *, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return update_stop ? 1 : 0;
}

// Fetches url into the open temporary file of out (which stays open and
// uncommitted). The libcurl result code.
static int fetch_url_to_safe(const char *url, SafeFile *out)
{
    char fixed[UPDATE_URL_BYTES * 3];
    str_replace(fixed, (int)sizeof fixed, url, " ", "%20");

    curl_global_init(CURL_GLOBAL_ALL);
    CURL *curl = curl_easy_init();
    if (!curl) {
        // Nothing was fetched: the caller must not read the file as a list.
        update_log("curl could not start.");
        curl_global_cleanup();
        return CURLE_FAILED_INIT;
    }
    DownloadSink sink = {out->f, 0};
    struct curl_slist *headers = nullptr;
    headers = curl_slist_append(headers, "Pragma: no-cache");
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_URL, fixed);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 5L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // Plain HTTP only, no redirects, and a stalled transfer ends. The
    // transport is not trusted: a list counts only with the release key's
    // signature, and a file only when its digest matches the signed list.
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
#else
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS, (long)CURLPROTO_HTTP);
#endif
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 30L);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE, UPDATE_MAX_DOWNLOAD);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, write_chunk);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, stop_transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);

    CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    if (result != CURLE_OK)
        logf_("curl error - %d", (int)result);
    curl_global_cleanup();
    if (result == CURLE_OK && fflush(out->f) != 0)
        return CURLE_WRITE_ERROR;
    return (int)result;
}

int fetch_url_to_file(const char *url, const char *path)
{
    SafeFile out;
    if (!write_path_in_game_folders(path)) {
        logf_("Update path leads outside the game folder: %s.", path);
        return CURLE_WRITE_ERROR;
    }
    if (safe_open(&out, path) != 0) {
        logf_("Unable to open %s for writing.", path);
        return CURLE_WRITE_ERROR;
    }
    int result = fetch_url_to_safe(url, &out);
    if (result != 0) {
        safe_abandon(&out);
        return result;
    }
    return safe_commit(&out) == 0 ? 0 : CURLE_WRITE_ERROR;
}

// ---- files and lists -------------------------------------------------------------

int check_update_file(const char *path, const char *checksum)
{
    FILE *f = open_read_file(path);
    if (!f)
        return errno == ENOENT ? 2 : 4;
    int result = 0;
    if (strcmp(checksum, "0") == 0) {
        result = 0;
    } else if (strcmp(checksum, "1") == 0) {
        result = 1;
    } else {
        unsigned char digest[MD5_DIGEST_BYTES];
        char hex[MD5_HEX_BYTES];
        if (md5_file(f, digest) != 0) {
            result = 1;
        } else {
            md5_hex(digest, hex);
            result = strcmp(hex, checksum) != 0 ? 1 : 0;
        }
    }
    fclose(f);
    return result;
}

int safe_update_path(const char *path)
{
    if (!path || path[0] == '\0' || path[0] == '/')
        return 0;
    size_t len = strnlen(path, UPDATE_NAME_BYTES);
    if (len >= UPDATE_NAME_BYTES)
        return 0;
    for (size_t i = 0; i < len; i++) {
        unsigned char c = (unsigned char)path[i];
        if (c < 0x20 || c == 0x7f || c == '\\' || c == ':')
            return 0;
    }
    // Every component between slashes: not empty, not "." and not "..".
    const char *part = path;
    while (*part) {
        const char *end = strchr(part, '/');
        size_t n = end ? (size_t)(end - part) : strlen(part);
        if (n == 0 || (n == 1 && part[0] == '.') || (n == 2 && part[0] == '.' && part[1] == '.'))
            return 0;
        if (!end)
            break;
        part = end + 1;
        if (*part == '\0')
            return 0;   // a trailing slash names a folder
    }
    return 1;
}

// ---- signatures ------------------------------------------------------------------

static int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// 1 when text is exactly 2 * n hexadecimal digits; then bytes holds them.
static int parse_hex(const char *text, size_t length, unsigned char *bytes, size_t n)
{
    if (length != 2 * n)
        return 0;
    for (size_t i = 0; i < n; i++) {
        int high = hex_value(text[2 * i]), low = hex_value(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return 0;
        bytes[i] = (unsigned char)(high * 16 + low);
    }
    return 1;
}

static int is_md5_hex(const char *checksum)
{
    unsigned char digest[MD5_DIGEST_BYTES];
    return parse_hex(checksum, strlen(checksum), digest, sizeof digest);
}

int verify_update_signature(const unsigned char *signature, const void *bytes, size_t size)
{
    EVP_PKEY *key = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, update_public_key,
                                                UPDATE_KEY_BYTES);
    if (!key)
        return 1;
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    int good = context && EVP_DigestVerifyInit(context, nullptr, nullptr, nullptr, key) == 1 &&
               EVP_DigestVerify(context, signature, UPDATE_SIGNATURE_BYTES,
                                (const unsigned char *)bytes, size) == 1;
    EVP_MD_CTX_free(context);
    EVP_PKEY_free(key);
    return good ? 0 : 1;
}

int verify_update_list(const char *path)
{
    FILE *f = open_read_file(path);
    if (!f) {
        logf_("Unable to open %s. Aborting.", path);
        return 1;
    }
    char *text = (char *)malloc(UPDATE_MAX_LIST + 1);
    size_t size = text ? fread(text, 1, UPDATE_MAX_LIST + 1, f) : 0;
    fclose(f);
    if (!text || size > UPDATE_MAX_LIST) {
        logf_("%s is too large. Aborting.", path);
        free(text);
        return 1;
    }
    text[size] = '\0';
    if (size > 0 && text[0] == '<') {
        logf_("%s content invalid - server might be busy. Aborting.", path);
        free(text);
        return 1;
    }
    // "#signature <128 hex digits>" on the first line signs every byte
    // after that line.
    static const char prefix[] = "#signature ";
    const size_t prefix_length = sizeof prefix - 1;
    char *end = (char *)memchr(text, '\n', size);
    unsigned char signature[UPDATE_SIGNATURE_BYTES];
    int good = 0;
    if (end && size > prefix_length && memcmp(text, prefix, prefix_length) == 0) {
        size_t length = (size_t)(end - text) - prefix_length;
        if (length > 0 && text[prefix_length + length - 1] == '\r')
            length--;
        good = parse_hex(text + prefix_length, length, signature, sizeof signature) &&
               verify_update_signature(signature, end + 1, size - (size_t)(end + 1 - text)) == 0;
    }
    free(text);
    if (!good) {
        logf_("%s is not signed with the release key. Aborting.", path);
        return 1;
    }
    return 0;
}

// ---- lists -------------------------------------------------------------------------

int update_path_allowed(const char *local_path, int mode)
{
    if (!safe_update_path(local_path))
        return 0;
    if (mode == 1)
        return strchr(local_path, '/') == nullptr;   // beside the program
    return strncmp(local_path, UPDATE_DATA_FOLDER, strlen(UPDATE_DATA_FOLDER)) == 0;
}

int update_may_execute(const UpdateItem *item, int mode)
{
    char name[UPDATE_NAME_BYTES];
    memcpy(name, item->name, sizeof name);
    name[sizeof name - 1] = '\0';
    strip_name_tag(name);
    return mode == 1 && strcmp(name, UPDATE_PROGRAM_NAME) == 0;
}

void free_update_list(UpdateList *list)
{
    for (int i = 0; i < list->count; i++)
        free(list->items[i]);
    free(list->items);
    list->items = nullptr;
    list->count = 0;
    list->capacity = 0;
}

// Appends an item; 1 when the array cannot grow.
static int append_item(UpdateList *list, const UpdateItem *item)
{
    if (list->count >= list->capacity) {
        int capacity = list->capacity + UPDATE_LIST_STEP;
        UpdateItem **grown =
            (UpdateItem **)realloc(list->items, sizeof(UpdateItem *) * (size_t)capacity);
        if (!grown)
            return 1;
        list->items = grown;
        list->capacity = capacity;
    }
    UpdateItem *copy = (UpdateItem *)malloc(sizeof(UpdateItem));
    if (!copy)
        return 1;
    *copy = *item;
    list->items[list->count++] = copy;
    return 0;
}

static void strip_line_end(char *line)
{
    size_t n = strlen(line);
    while (n > 0 && (line[n - 1] == ' ' || line[n - 1] == '\t' || line[n - 1] == '\r' ||
                     line[n - 1] == '\n'))
        line[--n] = '\0';
}

int read_update_list(const char *path, UpdateList *list)
{
    free_update_list(list);
    FILE *f = open_read_file(path);
    if (!f) {
        logf_("Unable to open %s. Aborting.", path);
        return 1;
    }
    char line[UPDATE_LINE_BYTES];
    while (!update_stop && fgets(line, sizeof line, f)) {
        strip_line_end(line);
        if (line[0] == '<') {
            logf_("%s content invalid - server might be busy. Aborting.", path);
            free_update_list(list);
            fclose(f);
            return 1;
        }
        if (line[0] == '#')
            continue;
        UpdateItem item;
        memset(&item, 0, sizeof item);
        char flags_text[3] = "";
        int fields = sscanf(line, "%255s %32s %2s", item.name, item.checksum, flags_text);
        if (fields != 2 && fields != 3) {
            logf_("Wrong number of parameters (%d). Skipped.", fields);
            continue;
        }
        item.fields = fields;
        if (fields == 3) {
            item.flags = (int)strtol(flags_text, nullptr, 10);
            if (item.flags != 0 && (item.flags & 0x12) != 0x12)
                continue;
        }
        size_t sum_len = strlen(item.checksum);
        if (sum_len != 32 && sum_len != 1) {
            logf_("Checksum wrong length (%i): \"%s\". Skipped.", (int)sum_len, item.checksum);
            continue;
        }
        for (char *c = item.name; *c; c++)
            if (*c >= 'A' && *c <= 'Z')
                *c = (char)(*c - 'A' + 'a');
        memcpy(item.local_path, item.name, sizeof item.local_path);
        strip_name_tag(item.local_path);
        if (!safe_update_path(item.local_path)) {
            logf_("Unsafe file name %s. Skipped.", item.name);
            continue;
        }
        if (check_update_file(item.local_path, item.checksum) != 0)
            append_item(list, &item);
    }
    fclose(f);
    return 0;
}

// The version list's local path: the name with its extension cut and ".upd"
// appended, so that new executables land beside the running program.
static void version_local_path(UpdateItem *item)
{
    char path[UPDATE_NAME_BYTES];
    snprintf(path, sizeof path, "%s", item->name);
    if (strchr(path, '.'))
        cut_tail(path, 4);
    size_t n = strlen(path);
    if (n + 4 >= sizeof path)
        path[sizeof path - 5] = '\0';
    strcat(path, ".upd");
    strip_name_tag(path);
    memcpy(item->local_path, path, sizeof item->local_path);
}

static void abort_update(const char *message)
{
    update_log(message);
    update_stop = 1;
}

int process_update_list(const char *path, const char *host, int mode)
{
    UpdateList list = {nullptr, 0, 0};
    int downloaded = 0;
    if (!update_stop && (verify_update_list(path) != 0 || read_update_list(path, &list) != 0))
        return 1;
    char message[2048];

    for (int i = 0; i < list.count && !update_stop; i++) {
        UpdateItem *item = list.items[i];
        if (mode == 1)
            version_local_path(item);
        // Only the data tree is ever written, and the version list's new
        // programs land beside the running one.
        if (!update_path_allowed(item->local_path, mode)) {
            logf_("Not an update path: %s. Skipped.", item->name);
            continue;
        }
        int executable = item->fields == 3 && (item->flags & 0x08);
        if (executable && !update_may_execute(item, mode)) {
            logf_("Refused to make %s executable. Skipped.", item->local_path);
            continue;
        }
        int r = check_update_file(item->local_path, item->checksum);
        if (r == 0)
            continue;
        if (r == 4) {
            snprintf(message, sizeof message, "The file %s cannot be opened (errno=%i).",
                     item->local_path, errno);
            abort_update(message);
            break;
        }
        // Nothing is installed without a digest to check it against.
        if (!is_md5_hex(item->checksum)) {
            logf_("No checksum for %s. Skipped.", item->local_path);
            continue;
        }
        // The text of the path stays in the data tree; where it resolves
        // must too, before folders are made and again once they are there.
        if (!write_path_in_game_folders(item->local_path)) {
            logf_("Update path leads outside the game folder: %s. Skipped.", item->local_path);
            continue;
        }
        logf_(r == 1 ? "Downloading %s - Updated file" : "Downloading %s - New file",
              item->local_path);
        make_path_dirs(item->local_path);
        if (!write_path_in_game_folders(item->local_path)) {
            logf_("Update path leads outside the game folder: %s. Skipped.", item->local_path);
            continue;
        }

        char url[UPDATE_URL_BYTES];
        int n = snprintf(url, sizeof url, "http://%s/cp/%s?%li", host, item->name,
                         (long)time(nullptr));
        if (n < 0 || n >= (int)sizeof url) {
            logf_("Unsafe file name %s. Skipped.", item->name);
            continue;
        }
        // The download goes to a temporary file beside the old one and is
        // renamed over it only once its digest matches: the old file stays
        // whole until then.
        SafeFile temp;
        if (safe_open(&temp, item->local_path) != 0) {
            snprintf(message, sizeof message, "Unable to open %s for writing. Aborting.",
                     item->local_path);
            abort_update(message);
            break;
        }
        int code = fetch_url_to_safe(url, &temp);
        if (code != 0) {
            safe_abandon(&temp);
            if (code == CURLE_HTTP_RETURNED_ERROR ||
                (code == CURLE_OPERATION_TIMEDOUT && downloaded > 0)) {
                logf_("Failed to download file: %s. Continuing.", item->name);
                continue;
            }
            snprintf(message, sizeof message, "Failed to download file: %s. Aborting.",
                     item->name);
            abort_update(message);
            break;
        }
        if (check_update_file(temp.temp, item->checksum) != 0) {
            logf_("Wrong checksum in downloaded file: %s. Deleted.", item->local_path);
            safe_abandon(&temp);
            continue;
        }
        // The program's new build is executable before it takes its name.
        if (executable && fchmod(fileno(temp.f), 0755) != 0) {
            snprintf(message, sizeof message, "Failed to set %s as executable. Aborting.",
                     item->local_path);
            safe_abandon(&temp);
            abort_update(message);
            break;
        }
        if (!write_path_in_game_folders(item->local_path)) {
            logf_("Update path leads outside the game folder: %s. Skipped.", item->local_path);
            safe_abandon(&temp);
            continue;
        }
        if (safe_commit(&temp) != 0) {
            snprintf(message, sizeof message, "Failed to rename %s to %s. Aborting.", temp.temp,
                     item->local_path);
            abort_update(message);
            break;
        }
        downloaded++;
    }
    free_update_list(&list);
    if (update_stop)
        logf_("Update terminated - %i new files downloaded.", downloaded);
    else
        logf_("Update done - %i new files downloaded.", downloaded);
    return 0;
}

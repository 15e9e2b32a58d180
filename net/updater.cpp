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

#include "core/text.h"
#include "net/md5.h"

const char UPDATE_CONTENT_HOST[] = "updates.zylomach.invalid";
const char UPDATE_FORUM_HOST[] = "forum.zylomach.invalid";

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
    const char *path;
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
    if (!sink->file) {
        sink->file = fopen(sink->path, "wb");
        if (!sink->file)
            return 0;
    }
    size_t put = fwrite(data, 1, bytes, sink->file);
    sink->written += (long)put;
    return put;
}

int fetch_url_to_file(const char *url, const char *path)
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
    DownloadSink sink = {path, nullptr, 0};
    struct curl_slist *headers = nullptr;
    headers = curl_slist_append(headers, "Pragma: no-cache");
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_URL, fixed);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 5L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // Plain HTTP only, no redirects, and a stalled transfer ends.
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

    CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    if (result != CURLE_OK)
        logf_("curl error - %d", (int)result);
    if (sink.file)
        fclose(sink.file);
    curl_global_cleanup();
    return (int)result;
}

// ---- files and lists -------------------------------------------------------------

int check_update_file(const char *path, const char *checksum)
{
    FILE *f = fopen(path, "rb");
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
    FILE *f = fopen(path, "r");
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

// The temporary download path: the local path with its last four characters
// replaced by ".tmp", or ".tmp" appended when that would not give a name of
// its own in the same folder.
static int temporary_path(const char *local, char *out, int size)
{
    char path[UPDATE_NAME_BYTES + 8];
    snprintf(path, sizeof path, "%s", local);
    const char *slash = strrchr(local, '/');
    size_t base = strlen(slash ? slash + 1 : local);
    if (base > 4)
        cut_tail(path, 4);
    strcat(path, ".tmp");
    if (strcmp(path, local) == 0)
        snprintf(path, sizeof path, "%s.tmp", local);
    if (strlen(path) >= (size_t)size)
        return 1;
    snprintf(out, (size_t)size, "%s", path);
    return 0;
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
    if (!update_stop && read_update_list(path, &list) != 0)
        return 1;
    char message[2048];

    for (int i = 0; i < list.count && !update_stop; i++) {
        UpdateItem *item = list.items[i];
        if (mode == 1) {
            version_local_path(item);
            if (!safe_update_path(item->local_path)) {
                logf_("Unsafe file name %s. Skipped.", item->name);
                continue;
            }
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
        // Content without a digest is never put over an existing file.
        if (strcmp(item->checksum, "1") == 0 && r == 1) {
            logf_("No checksum for %s. Skipped.", item->local_path);
            continue;
        }
        char temp[UPDATE_NAME_BYTES + 8];
        if (temporary_path(item->local_path, temp, (int)sizeof temp) != 0) {
            logf_("Unsafe file name %s. Skipped.", item->name);
            continue;
        }
        logf_(r == 1 ? "Downloading %s - Updated file" : "Downloading %s - New file",
              item->local_path);
        make_path_dirs(item->local_path);

        char url[UPDATE_URL_BYTES];
        int n = snprintf(url, sizeof url, "http://%s/cp/%s?%li", host, item->name,
                         (long)time(nullptr));
        if (n < 0 || n >= (int)sizeof url) {
            logf_("Unsafe file name %s. Skipped.", item->name);
            continue;
        }
        int code = fetch_url_to_file(url, temp);
        if (code != 0) {
            if (code == CURLE_HTTP_RETURNED_ERROR ||
                (code == CURLE_OPERATION_TIMEDOUT && downloaded > 0)) {
                logf_("Failed to download file: %s. Continuing.", item->name);
                remove(temp);
                continue;
            }
            snprintf(message, sizeof message, "Failed to download file: %s. Aborting.",
                     item->name);
            remove(temp);
            abort_update(message);
            break;
        }
        if (check_update_file(temp, item->checksum) != 0 && strcmp(item->checksum, "1") != 0) {
            logf_("Wrong checksum in downloaded file: %s. Deleted.", item->local_path);
            remove(temp);
            continue;
        }
        if (r == 1 && remove(item->local_path) != 0) {
            snprintf(message, sizeof message, "Failed to delete %s before update. Aborting.",
                     item->local_path);
            abort_update(message);
            break;
        }
        if (rename(temp, item->local_path) != 0) {
            snprintf(message, sizeof message, "Failed to rename %s to %s. Aborting.", temp,
                     item->local_path);
            abort_update(message);
            break;
        }
        if (item->fields == 3 && (item->flags & 0x08) && chmod(item->local_path, 0755) != 0) {
            snprintf(message, sizeof message, "Failed to set %s as executable. Aborting.",
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

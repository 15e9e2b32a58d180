// Text and UTF-16 helpers (see core/text.h).
#include "core/text.h"
#include "core/safe_file.h"

#include <cerrno>
#include <clocale>
#include <cwchar>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/types.h>

// ---- 8-bit text ---------------------------------------------------------

void n_strncpyz(char *dest, const char *src, int size)
{
    if (!src) {
        fprintf(stderr, "n_strncpyz: NULL src\n");
        return;
    }
    if (size < 1) {
        fprintf(stderr, "n_strncpyz: destsize < 1\n");
        return;
    }
    if (!dest)
        return;
    size_t len = strnlen(src, (size_t)size - 1);
    memmove(dest, src, len);
    dest[len] = '\0';
}

enum { FORMAT_BUFFER_SIZE = 32000 };

const char *format_to_static(const char *format, ...)
{
    // Per thread: a result stays valid until this thread's second call after it.
    thread_local char buffers[2][FORMAT_BUFFER_SIZE];
    thread_local unsigned counter = 0;
    char *buf = buffers[counter % 2];
    counter++;
    buf[0] = '\0';
    if (!format)
        return buf;
    va_list ap;
    va_start(ap, format);
    int r = vsnprintf(buf, FORMAT_BUFFER_SIZE, format, ap);
    va_end(ap);
    if (r < 0)
        buf[0] = '\0';
    buf[FORMAT_BUFFER_SIZE - 1] = '\0';
    return buf;
}

void to_lower(char *text)
{
    if (!text)
        return;
    for (; *text; text++)
        if (*text >= 'A' && *text <= 'Z')
            *text = (char)(*text - 'A' + 'a');
}

void to_upper(char *text)
{
    if (!text)
        return;
    for (; *text; text++)
        if (*text >= 'a' && *text <= 'z')
            *text = (char)(*text - 'a' + 'A');
}

int cut_tail(char *text, int n)
{
    if (!text || n < 0)
        return 0;
    size_t len = strlen(text);
    if (len < (size_t)n)
        return 0;
    text[len - (size_t)n] = '\0';
    return 1;
}

void collapse_blanks(char *text)
{
    if (!text)
        return;
    char *out = text;
    for (const char *in = text; *in; in++) {
        if (*in == ' ' && out > text && out[-1] == ' ')
            continue;
        *out++ = *in;
    }
    *out = '\0';
}

static char *trim_set(char *text, const char *trailing, const char *leading)
{
    if (!text)
        return text;
    size_t len = strlen(text);
    while (len > 0 && strchr(trailing, text[len - 1]))
        text[--len] = '\0';
    while (*text && strchr(leading, *text))
        text++;
    return text;
}

char *trim_blanks(char *text)
{
    return trim_set(text, " \t\r\n", " \t");
}

char *trim_quotes(char *text)
{
    return trim_set(text, " \t\r\n\"", " \t\"");
}

// Length of the tag when name is "[tag]rest" with a non-empty tag and a
// non-empty rest; otherwise -1.
static int name_tag_length(const char *name)
{
    if (!name || name[0] != '[')
        return -1;
    const char *close = strchr(name + 1, ']');
    if (!close)
        return -1;
    int tag_len = (int)(close - (name + 1));
    if (tag_len < 1 || close[1] == '\0')
        return -1;
    return tag_len;
}

void strip_name_tag(char *name)
{
    int tag_len = name_tag_length(name);
    if (tag_len < 0)
        return;
    char *rest = name + tag_len + 2;
    memmove(name, rest, strlen(rest) + 1);
}

// Copies at most size bytes (terminator included) without an error message.
static void copy_bounded(char *dest, const char *src, size_t src_len, int size)
{
    if (!dest || size < 1)
        return;
    if (src_len > (size_t)size - 1)
        src_len = (size_t)size - 1;
    memmove(dest, src, src_len);
    dest[src_len] = '\0';
}

void split_name_tag(const char *name, int size, char *tag_out, char *name_out)
{
    if (!name)
        name = "";
    // The outputs may share memory with the input: work on a copy.
    std::string whole(name);
    int tag_len = name_tag_length(whole.c_str());
    if (tag_len < 0) {
        copy_bounded(tag_out, "", 0, size);
        copy_bounded(name_out, whole.c_str(), whole.size(), size);
        return;
    }
    const char *rest = whole.c_str() + tag_len + 2;
    copy_bounded(tag_out, whole.c_str() + 1, (size_t)tag_len, size);
    copy_bounded(name_out, rest, strlen(rest), size);
}

void split_name_tag_lower(const char *name, int size, char *tag_out, char *name_out)
{
    split_name_tag(name, size, tag_out, name_out);
    if (size >= 1)
        to_lower(name_out);
}

int split_names(const char *text, char (*output)[32], int count)
{
    if (!text || !output || count < 1)
        return 0;
    if (text[0] == '\0' || strcmp(text, "\n") == 0)
        return 0;
    int found = 0;
    const char *p = text;
    while (*p && found < count) {
        size_t len = strcspn(p, "\t\r\n");
        if (len > 0) {
            copy_bounded(output[found], p, len, 32);
            found++;
        }
        p += len;
        if (*p)
            p++;
    }
    return found;
}

void sanitize_name(char *name)
{
    if (!name)
        return;
    static const char bad[] = "~!./\\*&| +'/:;<>";
    char *out = name;
    for (const char *in = name; *in; in++)
        if (!strchr(bad, *in))
            *out++ = *in;
    *out = '\0';
}

void str_replace(char *dest, int dest_size, const char *text,
                 const char *pattern, const char *replacement)
{
    if (!dest || dest_size < 1)
        return;
    if (!text)
        text = "";
    if (!replacement)
        replacement = "";
    // Built apart first, so that dest may be the text itself.
    std::string out;
    size_t plen = pattern ? strlen(pattern) : 0;
    if (plen == 0) {
        out = text;
    } else {
        const char *p = text;
        const char *hit;
        while ((hit = strstr(p, pattern)) != nullptr) {
            out.append(p, (size_t)(hit - p));
            out.append(replacement);
            p = hit + plen;
        }
        out.append(p);
    }
    copy_bounded(dest, out.c_str(), out.size(), dest_size);
}

static int is_directory(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int make_path_dirs(const char *path)
{
    if (!path)
        return 0;
    std::string p(path);
    size_t last = p.rfind('/');
    if (last == std::string::npos)
        return 1;   // no directory level named
    int ok = 1;
    for (size_t i = 1; i <= last; i++) {
        if (p[i] != '/' || p[i - 1] == '/')
            continue;
        std::string level = p.substr(0, i);
        if (mkdir(level.c_str(), 0775) != 0) {
            if (errno != EEXIST || !is_directory(level.c_str()))
                ok = 0;
        }
    }
    return ok;
}

int file_exists(const char *path)
{
    if (!path)
        return 0;
    // Only looked at, never opened: opening a FIFO would wait for a writer.
    struct stat st;
    return stat(path, &st) == 0;
}

int read_whole_line(FILE *f, char *buffer, int size)
{
    if (!f || !buffer || size < 2 || !fgets(buffer, size, f))
        return 0;
    size_t got = strlen(buffer);
    if (got == 0 || buffer[got - 1] == '\n' || feof(f))
        return 1;
    int c;
    while ((c = fgetc(f)) != EOF && c != '\n') {
    }
    return -1;
}

int is_power_of_two(int n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

// ---- 16-bit text --------------------------------------------------------

int str16_len(const char16 *text)
{
    if (!text)
        return 0;
    int n = 0;
    while (text[n])
        n++;
    return n;
}

int str16_compare(const char16 *a, const char16 *b)
{
    static const char16 empty[1] = {0};
    if (!a)
        a = empty;
    if (!b)
        b = empty;
    for (; *a && *a == *b; a++, b++) {
    }
    return *a == *b ? 0 : 1;
}

// The 8-bit text converted, in a buffer that fits it (bytes + 1 units).
static std::vector<char16> local_converted(const char *text8)
{
    if (!text8)
        text8 = "";
    int len = (int)strlen(text8);
    std::vector<char16> out((size_t)len + 1, 0);
    local_to_utf16(out.data(), text8, len);
    return out;
}

int str16_compare_local(const char16 *text16, const char *text8)
{
    std::vector<char16> other = local_converted(text8);
    return str16_compare(text16, other.data());
}

void str16_append(char16 *dest, const char16 *src)
{
    if (!dest || !src)
        return;
    int d = str16_len(dest);
    int s = str16_len(src);
    memmove(dest + d, src, ((size_t)s + 1) * sizeof(char16));
}

void str16_append_local(char16 *dest, const char *text8)
{
    std::vector<char16> other = local_converted(text8);
    str16_append(dest, other.data());
}

int str16_find(const char16 *text16, const char *text8)
{
    if (!text16)
        return -1;
    std::vector<char16> needle = local_converted(text8);
    int nlen = str16_len(needle.data());
    int hlen = str16_len(text16);
    for (int i = 0; i + nlen <= hlen; i++)
        if (memcmp(text16 + i, needle.data(), (size_t)nlen * sizeof(char16)) == 0)
            return i;
    return -1;
}

static int is_delim16(char16 c, const char16 *delims)
{
    for (; delims && *delims; delims++)
        if (*delims == c)
            return 1;
    return 0;
}

// The continuation point of str16_tok / str16_tok_local (per thread).
static thread_local char16 *tok16_next = nullptr;

char16 *str16_tok(char16 *text, const char16 *delimiters16)
{
    char16 *p = text ? text : tok16_next;
    if (!p)
        return nullptr;
    while (*p && is_delim16(*p, delimiters16))
        p++;
    if (!*p) {
        tok16_next = nullptr;
        return nullptr;
    }
    char16 *token = p;
    while (*p && !is_delim16(*p, delimiters16))
        p++;
    if (*p) {
        *p = 0;
        tok16_next = p + 1;
    } else {
        tok16_next = nullptr;
    }
    return token;
}

char16 *str16_tok_local(char16 *text, const char *delimiters8)
{
    std::vector<char16> delims = local_converted(delimiters8);
    return str16_tok(text, delims.data());
}

char16 *trim_blanks16(char16 *text)
{
    if (!text)
        return text;
    int len = str16_len(text);
    while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\t' ||
                       text[len - 1] == '\r' || text[len - 1] == '\n'))
        text[--len] = 0;
    while (*text == ' ' || *text == '\t')
        text++;
    return text;
}

int is_alnum16(char16 unit)
{
    return (unit >= 'a' && unit <= 'z') || (unit >= 'A' && unit <= 'Z') ||
           (unit >= '0' && unit <= '9');
}

static int find16_ascii(const char16 *text, int len, const char *needle)
{
    int nlen = (int)strlen(needle);
    for (int i = 0; i + nlen <= len; i++) {
        int j = 0;
        while (j < nlen && text[i + j] == (unsigned char)needle[j])
            j++;
        if (j == nlen)
            return i;
    }
    return -1;
}

void find_url16(const char16 *text, int *start, int *end)
{
    int len = str16_len(text);
    int s = len ? find16_ascii(text, len, "http://") : -1;
    if (s < 0 && len)
        s = find16_ascii(text, len, "www.");
    if (s < 0) {
        if (start)
            *start = -1;
        if (end)
            *end = -1;
        return;
    }
    int e = s;
    while (e + 1 < len && text[e + 1] != ' ')
        e++;
    if (start)
        *start = s;
    if (end)
        *end = e;
}

enum { UTF16_SOURCE_MAX_BYTES = 2048 };

// What stands in for a character that the other side cannot hold: a byte
// the local character set does not know, or a character it cannot show.
static const char LOCAL_STAND_IN = '?';

int use_environment_charset()
{
    // Only the character type: the numbers that settings, replays, mods and
    // scene exports write and read keep their '.' whatever the locale says.
    if (!setlocale(LC_CTYPE, "")) {
        fprintf(stderr, "Unable to use the locale's character set\n");
        return 1;
    }
    return 0;
}

// UTF-16 in machine order, without a byte-order mark in either direction.
static const char *host_utf16()
{
    const char16 probe = 1;
    return *(const unsigned char *)&probe == 1 ? "UTF-16LE" : "UTF-16BE";
}

static int is_high_surrogate(char16 unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
static int is_low_surrogate(char16 unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void utf16_to_local(char *dest, const char16 *text16, int n)
{
    if (!dest || n < 0)
        return;
    dest[0] = '\0';
    if (!text16 || n == 0)
        return;
    // The units to convert: at most n, up to the terminator, at most 2048 bytes.
    int units = str16_len(text16);
    if (units > n)
        units = n;
    if (units > UTF16_SOURCE_MAX_BYTES / 2)
        units = UTF16_SOURCE_MAX_BYTES / 2;
    if (units == 0)
        return;

    iconv_t cd = iconv_open("", host_utf16());
    if (cd == (iconv_t)-1)
        return;
    const char16 *unit = text16;
    char *in = (char *)unit;
    size_t in_left = (size_t)units * sizeof(char16);
    char *out = dest;
    size_t out_left = (size_t)n;   // the terminator's byte stays free
    while (in_left > 0) {
        if (iconv(cd, &in, &in_left, &out, &out_left) != (size_t)-1)
            break;
        // A character the local set cannot show (or a broken pair) becomes
        // the stand-in and the rest goes on; a text that no longer fits, or
        // a pair that the bound cuts in half, ends there.
        if (errno != EILSEQ || out_left < 1)
            break;
        *out++ = LOCAL_STAND_IN;
        out_left--;
        unit = (const char16 *)in;
        size_t skip = 1;
        if (in_left >= 2 * sizeof(char16) && is_high_surrogate(unit[0]) &&
            is_low_surrogate(unit[1]))
            skip = 2;
        in += skip * sizeof(char16);
        in_left -= skip * sizeof(char16);
    }
    iconv_close(cd);
    *out = '\0';
}

void local_to_utf16(char16 *dest16, const char *text8, int length)
{
    if (!dest16 || length < 0)
        return;
    dest16[0] = 0;
    if (!text8 || length == 0)
        return;
    size_t in_len = strnlen(text8, (size_t)length);
    if (in_len == 0)
        return;
    // Every byte gives at most one unit (a four-byte character two), so
    // length units and the terminator hold the whole text.
    iconv_t cd = iconv_open(host_utf16(), "");
    if (cd == (iconv_t)-1)
        return;
    char *in = (char *)text8;
    size_t in_left = in_len;
    char *out = (char *)dest16;
    size_t out_left = (size_t)length * sizeof(char16);
    while (in_left > 0) {
        if (iconv(cd, &in, &in_left, &out, &out_left) != (size_t)-1)
            break;
        // A byte the local set does not know becomes the stand-in and the
        // text goes on after it; a character that the length cuts short
        // at the end is left out.
        if (errno != EILSEQ || out_left < sizeof(char16))
            break;
        char16 stand_in = (char16)LOCAL_STAND_IN;
        memcpy(out, &stand_in, sizeof stand_in);
        out += sizeof stand_in;
        out_left -= sizeof stand_in;
        in++;
        in_left--;
    }
    iconv_close(cd);
    size_t count = (size_t)(out - (char *)dest16) / sizeof(char16);
    dest16[count] = 0;
}

int local_char(const char *text, int *code)
{
    if (!text || !text[0]) {
        if (code)
            *code = 0;
        return 0;
    }
    unsigned char first = (unsigned char)text[0];
    if (first < 0x80) {
        if (code)
            *code = first;
        return 1;
    }
    mbstate_t state;
    memset(&state, 0, sizeof state);
    wchar_t wide = 0;
    size_t used = mbrtowc(&wide, text, strnlen(text, 8), &state);
    if (used == (size_t)-1 || used == (size_t)-2 || used == 0) {
        if (code)
            *code = LOCAL_STAND_IN;
        return 1;
    }
    // One 16-bit unit a character: what lies beyond it, or a surrogate on
    // its own, is shown by the stand-in.
    long value = (long)wide;
    if (value > 0xFFFF || (value >= 0xD800 && value <= 0xDFFF) || value < 0)
        value = LOCAL_STAND_IN;
    if (code)
        *code = (int)value;
    return (int)used;
}

int local_char_count(const char *text)
{
    int count = 0;
    if (!text)
        return 0;
    for (int used; (used = local_char(text, nullptr)) > 0; text += used)
        count++;
    return count;
}

// ---- TextLines ----------------------------------------------------------

enum { TEXT_ROW_SIZE = TEXT_ROW_UNITS + 1 };

static char16 *valid_row(const TextLines *t, int row)
{
    if (!t || !t->rows || row < 0 || row >= t->num_rows)
        return nullptr;
    return t->rows[row];
}

void text_lines_init(TextLines *t, int rows)
{
    if (!t)
        return;
    t->rows = nullptr;
    t->num_rows = 0;
    t->rows_allocated = 0;
    t->current_row = 0;
    t->active = 0;
    if (rows < 1)
        return;
    t->rows = (char16 **)calloc((size_t)rows, sizeof(char16 *));
    if (!t->rows)
        return;
    for (int i = 0; i < rows; i++) {
        t->rows[i] = (char16 *)calloc(TEXT_ROW_SIZE, sizeof(char16));
        if (!t->rows[i])
            break;
        t->rows_allocated = i + 1;
    }
    t->num_rows = t->rows_allocated;
}

void text_lines_free(TextLines *t)
{
    if (!t)
        return;
    if (t->rows) {
        for (int i = 0; i < t->rows_allocated; i++)
            free(t->rows[i]);
        free(t->rows);
    }
    t->rows = nullptr;
    t->num_rows = 0;
    t->rows_allocated = 0;
    t->current_row = 0;
    t->active = 0;
}

void text_lines_clear(TextLines *t)
{
    if (!t)
        return;
    for (int i = 0; i < t->num_rows; i++)
        if (t->rows && t->rows[i])
            t->rows[i][0] = 0;
    t->active = 0;
}

void text_lines_activate(TextLines *t)
{
    if (!t)
        return;
    if (char16 *r = valid_row(t, 0))
        r[0] = 0;
    t->current_row = 0;
    t->active = 1;
}

void text_lines_deactivate(TextLines *t)
{
    if (t)
        t->active = 0;
}

int text_lines_is_active(const TextLines *t)
{
    return t ? t->active : 0;
}

void text_lines_set_row(TextLines *t, int row)
{
    if (!valid_row(t, row))
        return;
    t->current_row = row;
}

int text_lines_append_char(TextLines *t, char16 unit)
{
    char16 *r = t ? valid_row(t, t->current_row) : nullptr;
    if (!r || unit == 0)
        return 0;
    int len = str16_len(r);
    if (len >= TEXT_ROW_UNITS)
        return 0;
    r[len] = unit;
    r[len + 1] = 0;
    return 1;
}

void text_lines_backspace(TextLines *t)
{
    char16 *r = t ? valid_row(t, t->current_row) : nullptr;
    if (!r)
        return;
    int len = str16_len(r);
    if (len > 0)
        r[len - 1] = 0;
}

void text_lines_get_row(const TextLines *t, int row, int n, char *dest)
{
    const char16 *r = valid_row(t, row);
    if (!r)
        return;
    utf16_to_local(dest, r, n);
}

void text_lines_put_row(TextLines *t, int row, const char16 *src)
{
    char16 *r = valid_row(t, row);
    if (!r || !src)
        return;
    int len = 0;
    while (len < TEXT_ROW_UNITS && src[len])   // 512 bytes at most
        len++;
    memmove(r, src, (size_t)len * sizeof(char16));
    r[len] = 0;
}

int text_lines_scroll(const TextLines *t, int row)
{
    const char16 *r = valid_row(t, row);
    if (!r)
        return 0;
    int len = str16_len(r);
    return len > TEXT_ROW_VISIBLE ? len - TEXT_ROW_VISIBLE : 0;
}

// Small text helpers shared by every subsystem: bounded copies, static
// formatting, trimming, name tags, file-name sanitising, directory creation,
// 16-bit text and its conversion to and from the local character set, and
// the multi-row 16-bit edit buffer.
#pragma once

#include <cstdio>

#include <cstddef>
#include <cstdint>

typedef uint16_t char16;   // one UTF-16 unit in machine byte order

// ---- 8-bit text ---------------------------------------------------------
void n_strncpyz(char *dest, const char *src, int size);
// printf-style into one of two 32000-byte buffers used in turn (per thread).
const char *format_to_static(const char *format, ...)
    __attribute__((format(printf, 1, 2)));
void to_lower(char *text);
void to_upper(char *text);
int cut_tail(char *text, int n);
void collapse_blanks(char *text);
char *trim_blanks(char *text);
char *trim_quotes(char *text);
void strip_name_tag(char *name);
void split_name_tag(const char *name, int size, char *tag_out, char *name_out);
void split_name_tag_lower(const char *name, int size, char *tag_out, char *name_out);
int split_names(const char *text, char (*output)[32], int count);
void sanitize_name(char *name);
// Copies text into dest (dest_size bytes) with every pattern replaced.
void str_replace(char *dest, int dest_size, const char *text,
                 const char *pattern, const char *replacement);
int make_path_dirs(const char *path);
int file_exists(const char *path);
// Reads one line (with its '\n') into buffer. 1 when the whole line fitted,
// 0 at the end of the file, -1 when the line did not fit: its start is in
// buffer, its rest has been read past, and the caller skips it whole (a
// piece of a line never runs as a line of its own).
int read_whole_line(FILE *f, char *buffer, int size);
int is_power_of_two(int n);

// ---- 16-bit text --------------------------------------------------------
int str16_len(const char16 *text);
int str16_compare(const char16 *a, const char16 *b);
int str16_compare_local(const char16 *text16, const char *text8);
void str16_append(char16 *dest, const char16 *src);
void str16_append_local(char16 *dest, const char *text8);
int str16_find(const char16 *text16, const char *text8);   // -1: none
char16 *str16_tok(char16 *text, const char16 *delimiters16);
char16 *str16_tok_local(char16 *text, const char *delimiters8);
char16 *trim_blanks16(char16 *text);
int is_alnum16(char16 unit);
void find_url16(const char16 *text, int *start, int *end);
// The local character set is the one the environment's locale names; the
// program takes it at start (the character-type category only). 0 when the
// locale could be used, 1 when the plain character set stays.
int use_environment_charset();
// dest holds n bytes and a terminator. A character the local set cannot
// show becomes '?'; the text goes on after it.
void utf16_to_local(char *dest, const char16 *text16, int n);
// dest16 holds length + 1 units. A byte the local set does not know
// becomes '?'; the text goes on after it.
void local_to_utf16(char16 *dest16, const char *text8, int length);
// The character that starts `text` in the local set: its 16-bit code in
// *code ('?' for a byte sequence the set does not know or a character
// beyond 16 bits) and the bytes it takes (0 at the end of the text).
int local_char(const char *text, int *code);
// The characters of a local text.
int local_char_count(const char *text);

// ---- TextLines: multi-row 16-bit edit buffer ----------------------------
enum { TEXT_ROW_UNITS = 256, TEXT_ROW_VISIBLE = 80 };

struct TextLines {
    char16 **rows;
    int num_rows;
    int rows_allocated;
    int current_row;
    int active;
};

void text_lines_init(TextLines *t, int rows);
void text_lines_free(TextLines *t);
void text_lines_clear(TextLines *t);
void text_lines_activate(TextLines *t);
void text_lines_deactivate(TextLines *t);
int text_lines_is_active(const TextLines *t);
void text_lines_set_row(TextLines *t, int row);
int text_lines_append_char(TextLines *t, char16 unit);
void text_lines_backspace(TextLines *t);
// Converts a row to local text: at most n bytes plus a terminator.
void text_lines_get_row(const TextLines *t, int row, int n, char *dest);
// Sets a row from 16-bit text of at most 512 bytes.
void text_lines_put_row(TextLines *t, int row, const char16 *src);
int text_lines_scroll(const TextLines *t, int row);

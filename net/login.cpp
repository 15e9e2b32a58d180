#include "net/login.h"

#include <cstdio>
#include <cstring>

#include "core/safe_file.h"

char login_nick[LOGIN_NAME_BYTES];
char login_password[LOGIN_NAME_BYTES];
char16 login_user16[LOGIN_FILE_UNITS];
char16 login_pass16[LOGIN_FILE_UNITS];
uint8_t logged_in;
char login_file_path[256] = "zm_login.dat";

int is_logged_in() { return logged_in; }
void set_logged_in() { logged_in = 1; }

namespace {

// Appends the units of a local text, bounded by the buffer.
void append_local(char16 *buffer, int *n, const char *text)
{
    for (; *text && *n < LOGIN_FILE_UNITS; text++)
        buffer[(*n)++] = (char16)(unsigned char)*text;
}

void append_units(char16 *buffer, int *n, const char16 *text, int room)
{
    for (int k = 0; text && text[k] && k < room && *n < LOGIN_FILE_UNITS; k++)
        buffer[(*n)++] = text[k];
}

int bounded_length(const char16 *text, int max)
{
    int n = 0;
    while (text && n < max && text[n])
        n++;
    return n;
}

bool starts_with(const char16 *token, int length, const char *word)
{
    for (int k = 0; word[k]; k++)
        if (k >= length || token[k] != (char16)(unsigned char)word[k])
            return false;
    return true;
}

void copy_token_value(char16 *out, const char16 *token, int length)
{
    int n = length - 5;   // the word and one separator come first
    if (n > LOGIN_FILE_UNITS - 1)
        n = LOGIN_FILE_UNITS - 1;
    memcpy(out, token + 5, sizeof(char16) * (size_t)n);
    out[n] = 0;
}

}  // namespace

void login_file_write(const char16 *user16, const char16 *pass16)
{
    static const int framing = 5 + 7 + 2;
    char16 buffer[LOGIN_FILE_UNITS];
    int n = 0;
    // The two texts share what the framing leaves of the buffer (each keeps
    // at least half of it when both are long); the file must stay readable
    // (at most LOGIN_FILE_UNITS - 1 units).
    int room = LOGIN_FILE_UNITS - 1 - framing;
    int pass_wanted = bounded_length(pass16, room / 2);
    int user_units = bounded_length(user16, room - pass_wanted);
    int pass_units = bounded_length(pass16, room - user_units);
    append_local(buffer, &n, "user ");
    append_units(buffer, &n, user16, user_units);
    append_local(buffer, &n, "\r\npass ");
    append_units(buffer, &n, pass16, pass_units);
    append_local(buffer, &n, "\r\n");

    unsigned char bytes[2 * LOGIN_FILE_UNITS];
    for (int k = 0; k < n; k++) {
        bytes[2 * k] = (unsigned char)(buffer[k] & 0xff);
        bytes[2 * k + 1] = (unsigned char)(buffer[k] >> 8);
    }
    // The file holds the password: only its owner may read it.
    if (safe_write_bytes(login_file_path, bytes, 2 * (size_t)n, 1) != 0) {
        fprintf(stderr, "Unable to store login information\n");
        return;
    }
    logged_in = 1;
}

void login_file_read(char16 *user16, char16 *pass16)
{
    FILE *f = open_read_file(login_file_path, 1 << 16);
    if (!f) {
        fprintf(stderr, "Unable to retrieve login information\n");
        return;
    }
    unsigned char bytes[2 * (LOGIN_FILE_UNITS - 1)];
    size_t got = fread(bytes, 1, sizeof bytes, f);
    fclose(f);
    char16 units[LOGIN_FILE_UNITS] = {0};
    int count = (int)(got / 2);
    for (int k = 0; k < count; k++)
        units[k] = (char16)(bytes[2 * k] | bytes[2 * k + 1] << 8);

    int k = 0;
    while (k < count) {
        while (k < count && (units[k] == '\r' || units[k] == '\n'))
            k++;
        int start = k;
        while (k < count && units[k] != '\r' && units[k] != '\n')
            k++;
        int length = k - start;
        if (length <= 5)
            continue;
        const char16 *token = units + start;
        if (starts_with(token, length, "user"))
            copy_token_value(user16, token, length);
        else if (starts_with(token, length, "pass"))
            copy_token_value(pass16, token, length);
    }
}

int login_load(char *nick, char *password)
{
    // A file without a line must not leave an earlier value standing.
    login_user16[0] = 0;
    login_pass16[0] = 0;
    login_file_read(login_user16, login_pass16);
    if (login_user16[0] == 0 || login_pass16[0] == 0)
        return 1;
    char local[LOGIN_NAME_BYTES];
    utf16_to_local(local, login_user16, LOGIN_NAME_BYTES - 1);
    n_strncpyz(nick, local, LOGIN_NAME_BYTES);
    utf16_to_local(local, login_pass16, LOGIN_NAME_BYTES - 1);
    n_strncpyz(password, local, LOGIN_NAME_BYTES);
    logged_in = 1;
    return 0;
}

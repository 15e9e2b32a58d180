// The user's online identity: the user name and password kept in the login
// file "zm_login.dat" (UTF-16 units, little-endian, no byte-order mark:
// "user <name>\r\npass <password>\r\n"), loaded at start.
#pragma once

#include <cstdint>

#include "core/text.h"

enum {
    LOGIN_NAME_BYTES = 32,      // 31 characters and a NUL
    LOGIN_FILE_UNITS = 1024     // the file's buffer; at most 1023 units are read
};

extern char login_nick[LOGIN_NAME_BYTES];
extern char login_password[LOGIN_NAME_BYTES];
extern char16 login_user16[LOGIN_FILE_UNITS];
extern char16 login_pass16[LOGIN_FILE_UNITS];
extern uint8_t logged_in;

// The login file's path ("zm_login.dat" in the working directory unless
// changed; tests point it elsewhere).
extern char login_file_path[256];

// Writes the file from the two texts (each cut so that the whole fits the
// buffer) and marks the user logged in. Without a writable file:
// "Unable to store login information" on standard error, nothing changes.
void login_file_write(const char16 *user16, const char16 *pass16);
// Reads the file's "user" and "pass" lines into the outputs (each holds
// LOGIN_FILE_UNITS units); an output is left as it was when its line is
// missing. Without a readable file: "Unable to retrieve login information".
void login_file_read(char16 *user16, char16 *pass16);
// Reads the file into login_user16 / login_pass16; when both are there,
// converts them to local text (31 characters at most) into the outputs
// (LOGIN_NAME_BYTES each), marks the user logged in and returns 0; else 1.
int login_load(char *nick, char *password);

int is_logged_in();
void set_logged_in();

// The match core's calls upward. The core knows no window, console, Lua or
// socket: start-up fills this record with the shell's functions, tests fill
// it with their own. An empty slot means "nobody listens".
#pragma once

struct CoreOutward {
    // Shows a line to the player (message kinds 0, 1, 2, 4, 8, 16).
    void (*echo)(const char *text, int kind);
};

extern CoreOutward core_outward;

// Message kinds of echo_message (the Lua MSGTYPE values).
enum {
    MSG_NONE = 0,
    MSG_SERVER = 1,
    MSG_URL = 2,
    MSG_INGAME = 4,
    MSG_USER = 8,
    MSG_PLAYER = 16
};

// Appends a text of a message kind to the message console, through the
// outward record. Without a listener the line goes to standard error.
void echo_message(const char *text, int kind);

// One polled server's report as the server browser keeps it, and the
// setters that the browser column's handlers (and the browser) fill it with.
// The browser column runs on the browser's worker thread: its handlers write
// only the record that browser_target points at, never the live match, the
// rules or the players.
#pragma once

#include <cstdint>

#include "core/rules.h"

enum {
    SERVER_TEXT_SIZE = 128,     // address and description (127 characters)
    SERVER_NAMES = 32,          // player names of a CLIENTS line
    SERVER_NAME_SIZE = 32       // 31 characters each
};

struct ServerInfo {
    int32_t position;                               // line in servers.txt, -1 fresh
    char address[SERVER_TEXT_SIZE];                 // "host:port"
    char description[SERVER_TEXT_SIZE];             // servers.txt, then DESC
    char names[SERVER_NAMES][SERVER_NAME_SIZE];     // CLIENTS
    int32_t info_a;                                 // first INFO argument
    int32_t info_count;                             // the INFO line's number
    int32_t buddies;                                // names on the buddy list
    int32_t info_b;                                 // second INFO argument
    int32_t reachable;                              // 1 connected and answering
    int32_t unused;
    GameRules rules;                                // from the NEWGAME line
};

// The record the browser column writes into; the browser's thread points it
// at its working record before it feeds a server's lines to parse_cmd. Null
// (the start value on every thread) makes the handlers ignore their lines.
extern thread_local ServerInfo *browser_target;

// A fresh report: position -1, empty texts and names, zero counts,
// reachable 1, zeroed rules.
void server_info_init(ServerInfo *info);
// NEWGAME: the parsed rules into the report.
void set_server_rules(ServerInfo *info, const GameRules *rules);
// CLIENTS: names := the text's tab-separated pieces up to its line end (at
// most 32, each cut to 31 characters), buddies := how many are buddies. An
// empty text or just "\n" leaves no names.
void browser_set_names(ServerInfo *info, const char *text);
// DESC: the trimmed text (127 characters) becomes the description; an empty
// one changes nothing.
void browser_set_description(ServerInfo *info, const char *text);
// INFO: the line's number and its two arguments.
void set_server_counts(ServerInfo *info, int count, int a, int b);

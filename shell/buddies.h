// Two small lists of player names: the user's buddy list (kept in
// "data/buddies.txt", read by the server browser's worker thread, hence
// guarded by a mutex) and the animated column of fighter and queue names
// that the HUD draws during an online game.
#pragma once

#include <cstdint>
#include <pthread.h>

struct BoutEntry;

enum { BUDDY_NAME_BYTES = 64, BUDDY_GROWTH = 20 };
#define BUDDIES_PATH "data/buddies.txt"

typedef char BuddyName[BUDDY_NAME_BYTES];

struct BuddyList {
    BuddyName **names;   // count used of capacity slots
    int count;
    int capacity;
    int cursor;          // first_buddy / next_buddy (main thread only)
    pthread_mutex_t lock;
};
extern BuddyList buddy_list;

// 2 when the name is there already (unless allow_duplicate), else 0 (also
// when the list could not grow: nothing is added). raw 0 drops a leading
// "[tag]" first; raw 1 takes the name as given.
int add_buddy(const char *name, int raw, int allow_duplicate);
// 0 removed (later names move up), 1 not found.
int remove_buddy(const char *name, int raw);
// 1 when the name is on the list. Safe on any thread.
int is_buddy(const char *name, int raw);
// is_buddy(name, 0), for the browser.
int is_buddy_name(const char *name);
int buddy_count();
// Iteration (main thread only): null at the end.
const char *first_buddy();
const char *next_buddy();
// One name a line, its first word; 0 read, 1 when the file cannot be opened.
// A file that is there but cannot be read (unreadable, too large, not a
// regular file) is kept: later saves leave it as it is.
int load_buddies(const char *path);
// Writes every name as "%s\r\n" (an empty list writes an empty file);
// 0 written, 1 when the file cannot be opened or is kept. A kept file (the
// load could not read it, or it cannot be read now) is not written; the
// first such save tells the player in the console why.
int save_buddies(const char *path);
// The ReadRefusal of the last load that found no file to read.
int buddies_file_refusal();
// Empties the list; the next load starts afresh.
void clear_buddies();

// ---- the bout name list ---------------------------------------------------------------
enum { NAME_LIST_NAME_BYTES = 32, NAME_LIST_PREFIX_BYTES = 8, NAME_LIST_ROW = 25 };

struct NameListNode {
    char name[NAME_LIST_NAME_BYTES];
    char prefix[NAME_LIST_PREFIX_BYTES];
    uint8_t flag;        // status bit 0 of the entry
    float offset;        // animated y offset
    NameListNode *next;
    NameListNode *previous;
};

struct NameList {
    float x, y;
    float top;           // kept at 100, not read
    float height;
    int highlighted;     // -1 none
    NameListNode *head;
    NameListNode *tail;
};
extern NameList name_list;

// Drawing of one name row; empty: nothing is drawn.
struct NameListLinks {
    // RGB of fighter i's row colour (custom colour, default or team colour).
    void (*fighter_colour)(int fighter, float rgb[3]);
    // The banner text colour.
    void (*banner_colour)(float rgb[3]);
    void (*draw_text)(int font, float x, float y, const char *text, const float rgba[4]);
};
extern NameListLinks name_list_links;

// Empties the list and puts x 0, y 100, height 200.
void init_name_list();
// Brings the list in line with entries[0..count-1], keeping the nodes (and
// their animation) of the names that stay in place.
void sync_name_list(const BoutEntry *entries, int count);
// Draws each row and moves its offset 2 pixels toward its row.
void update_name_list(float x, float y, float bottom);
int name_list_count();
// Rows (of 25 pixels) the spectator list, drawn from 50 pixels below the
// name list's top, moves down so that it starts one free row below the
// list's last name; 0 for an empty list.
int spectator_row_offset();
// Node i from the top, null when none.
NameListNode *name_list_node(int i);
// The list synced with the live bout list / emptied (the core's calls).
void sync_spectator_names();
void clear_spectator_names();

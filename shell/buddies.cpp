#include "shell/buddies.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/bout.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/safe_file.h"
#include "core/text.h"
#include "shell/palette.h"

BuddyList buddy_list = {nullptr, 0, 0, 0, PTHREAD_MUTEX_INITIALIZER};

namespace {

struct ListLock {
    ListLock() { pthread_mutex_lock(&buddy_list.lock); }
    ~ListLock() { pthread_mutex_unlock(&buddy_list.lock); }
};

// The name as stored: bounded to 63 characters, without a leading tag
// unless raw.
void stored_form(const char *name, int raw, char out[BUDDY_NAME_BYTES])
{
    if (raw) {
        n_strncpyz(out, name ? name : "", BUDDY_NAME_BYTES);
        return;
    }
    char tag[BUDDY_NAME_BYTES];
    char bounded[BUDDY_NAME_BYTES];
    n_strncpyz(bounded, name ? name : "", sizeof bounded);
    split_name_tag(bounded, BUDDY_NAME_BYTES, tag, out);
}

// Index of the name, -1 when absent; the lock is held.
int find_locked(const char *stored)
{
    for (int i = 0; i < buddy_list.count; i++)
        if (strncmp(*buddy_list.names[i], stored, BUDDY_NAME_BYTES) == 0)
            return i;
    return -1;
}

}  // namespace

int add_buddy(const char *name, int raw, int allow_duplicate)
{
    char stored[BUDDY_NAME_BYTES];
    stored_form(name, raw, stored);
    if (!stored[0])
        return 0;   // nothing to add
    ListLock hold;
    if (!allow_duplicate && find_locked(stored) >= 0)
        return 2;
    if (buddy_list.count >= buddy_list.capacity) {
        int capacity = buddy_list.capacity + BUDDY_GROWTH;
        BuddyName **grown = static_cast<BuddyName **>(
            realloc(buddy_list.names, sizeof(BuddyName *) * (size_t)capacity));
        if (!grown)
            return 0;
        buddy_list.names = grown;
        buddy_list.capacity = capacity;
    }
    BuddyName *entry = static_cast<BuddyName *>(malloc(sizeof(BuddyName)));
    if (!entry)
        return 0;
    memcpy(*entry, stored, sizeof stored);
    buddy_list.names[buddy_list.count++] = entry;
    return 0;
}

int remove_buddy(const char *name, int raw)
{
    char stored[BUDDY_NAME_BYTES];
    stored_form(name, raw, stored);
    ListLock hold;
    int i = find_locked(stored);
    if (i < 0)
        return 1;
    free(buddy_list.names[i]);
    memmove(&buddy_list.names[i], &buddy_list.names[i + 1],
            sizeof(BuddyName *) * (size_t)(buddy_list.count - i - 1));
    buddy_list.count--;
    if (buddy_list.cursor > i)
        buddy_list.cursor--;
    return 0;
}

int is_buddy(const char *name, int raw)
{
    char stored[BUDDY_NAME_BYTES];
    stored_form(name, raw, stored);
    ListLock hold;
    return find_locked(stored) >= 0 ? 1 : 0;
}

int is_buddy_name(const char *name) { return is_buddy(name, 0); }

int buddy_count()
{
    ListLock hold;
    return buddy_list.count;
}

const char *first_buddy()
{
    buddy_list.cursor = 0;
    return next_buddy();
}

const char *next_buddy()
{
    if (buddy_list.cursor < 0 || buddy_list.cursor >= buddy_list.count)
        return nullptr;
    return *buddy_list.names[buddy_list.cursor++];
}

// A set of names for the load: open addressing over indices into a name
// array, so that a long file is read in linear time.
namespace {

struct NameSet {
    int *slots;      // index + 1, 0 for empty
    unsigned mask;
};

unsigned name_hash(const char *name)
{
    unsigned h = 2166136261u;
    for (int i = 0; i < BUDDY_NAME_BYTES && name[i]; i++)
        h = (h ^ (unsigned char)name[i]) * 16777619u;
    return h;
}

int name_set_init(NameSet *set, int expected)
{
    unsigned size = 64;
    while (size < 2u * (unsigned)expected + 2u && size < (1u << 30))
        size <<= 1;
    set->slots = static_cast<int *>(calloc(size, sizeof(int)));
    set->mask = size - 1;
    return set->slots ? 0 : 1;
}

// 1 when the name was there; else it is entered with the index and 0.
int name_set_enter(NameSet *set, BuddyName *const *names, int index)
{
    const char *name = *names[index];
    for (unsigned at = name_hash(name) & set->mask;; at = (at + 1) & set->mask) {
        int held = set->slots[at];
        if (held == 0) {
            set->slots[at] = index + 1;
            return 0;
        }
        if (strncmp(*names[held - 1], name, BUDDY_NAME_BYTES) == 0)
            return 1;
    }
}

}  // namespace

// Why the last load found no file to read (a ReadRefusal): a file that is
// there but was not read is kept, never replaced by a list that lacks its
// names. The player is told once, at the first save that is refused.
static int buddies_refusal = READ_MISSING;
static int buddies_refusal_told = 0;

int buddies_file_refusal() { return buddies_refusal; }

int load_buddies(const char *path)
{
    int refusal = READ_MISSING;
    FILE *f = open_read_file(path, READ_FILE_MAX_BYTES, &refusal);
    if (!f) {
        if (read_refusal_keeps_file(refusal)) {
            buddies_refusal = refusal;
            fprintf(stderr, "Unable to open %s: %s\n", path ? path : "", read_refusal_text(refusal));
        }
        return 1;
    }
    // The names are read first, then added in one pass under the lock.
    BuddyName **read = nullptr;
    int count = 0, room = 0;
    char line[BUDDY_NAME_BYTES];
    char word[BUDDY_NAME_BYTES];
    int at_line_start = 1;
    while (fgets(line, sizeof line, f)) {
        // The rest of a line longer than a name is not a name of its own.
        int starts_line = at_line_start;
        at_line_start = strchr(line, '\n') != nullptr;
        if (!starts_line || sscanf(line, "%63s", word) != 1)
            continue;
        BuddyName *entry = static_cast<BuddyName *>(malloc(sizeof(BuddyName)));
        if (!entry)
            break;
        stored_form(word, 0, *entry);
        if (!(*entry)[0]) {
            free(entry);
            continue;
        }
        if (count == room) {
            int grown_room = room ? room * 2 : 256;
            BuddyName **grown = static_cast<BuddyName **>(
                realloc(read, sizeof(BuddyName *) * (size_t)grown_room));
            if (!grown) {
                free(entry);
                break;
            }
            read = grown;
            room = grown_room;
        }
        read[count++] = entry;
    }
    fclose(f);

    ListLock hold;
    int total = buddy_list.count + count;
    // The capacity stays a multiple of the growth step.
    int capacity = (total + BUDDY_GROWTH - 1) / BUDDY_GROWTH * BUDDY_GROWTH;
    NameSet set = {nullptr, 0};
    int ready = name_set_init(&set, total) == 0;
    if (ready && capacity > buddy_list.capacity) {
        BuddyName **grown = static_cast<BuddyName **>(
            realloc(buddy_list.names, sizeof(BuddyName *) * (size_t)capacity));
        if (grown) {
            buddy_list.names = grown;
            buddy_list.capacity = capacity;
        } else {
            ready = 0;
        }
    }
    if (!ready) {
        fprintf(stderr, "Unable to load %s: out of memory\n", path);
        for (int i = 0; i < count; i++)
            free(read[i]);
        free(read);
        free(set.slots);
        return 1;
    }
    for (int i = 0; i < buddy_list.count; i++)
        name_set_enter(&set, buddy_list.names, i);
    for (int i = 0; i < count; i++) {
        buddy_list.names[buddy_list.count] = read[i];
        if (name_set_enter(&set, buddy_list.names, buddy_list.count))
            free(read[i]);   // already listed
        else
            buddy_list.count++;
    }
    free(read);
    free(set.slots);
    return 0;
}

// The file at path is there but cannot be read now: the refusal, else
// READ_OPENED (also when it is missing: a new file is made).
static int unreadable_now(const char *path)
{
    int refusal = READ_MISSING;
    if (FILE *f = open_read_file(path, READ_FILE_MAX_BYTES, &refusal))
        fclose(f);
    return read_refusal_keeps_file(refusal) ? refusal : READ_OPENED;
}

int save_buddies(const char *path)
{
    // A file that could not be read keeps its own names: it is not written.
    int refusal = read_refusal_keeps_file(buddies_refusal) ? buddies_refusal : unreadable_now(path);
    if (refusal != READ_OPENED) {
        fprintf(stderr, "Not writing %s: it could not be read (%s)\n", path ? path : "",
                read_refusal_text(refusal));
        if (!buddies_refusal_told) {
            buddies_refusal_told = 1;
            char line[600];
            snprintf(line, sizeof line,
                     "%s could not be read (%s): changes to the buddies list will not be saved",
                     BUDDIES_PATH, read_refusal_text(refusal));
            echo_message(line, MSG_INGAME);
        }
        return 1;
    }
    // Written even when empty: otherwise the last removed name would come
    // back from the old file at the next start.
    SafeFile out;
    if (safe_open(&out, path) != 0) {
        fprintf(stderr, "Unable to open %s: %s\n", path, strerror(errno));
        return 1;
    }
    {
        ListLock hold;
        for (int i = 0; i < buddy_list.count; i++)
            fprintf(out.f, "%s\r\n", *buddy_list.names[i]);
    }
    return safe_commit(&out);
}

void clear_buddies()
{
    ListLock hold;
    for (int i = 0; i < buddy_list.count; i++)
        free(buddy_list.names[i]);
    free(buddy_list.names);
    buddy_list.names = nullptr;
    buddy_list.count = 0;
    buddy_list.capacity = 0;
    buddy_list.cursor = 0;
    buddies_refusal = READ_MISSING;
    buddies_refusal_told = 0;
}

// ---- the bout name list ---------------------------------------------------------------

NameList name_list = {0.0f, 100.0f, 100.0f, 200.0f, -1, nullptr, nullptr};
NameListLinks name_list_links;

static void unlink_node(NameListNode *node)
{
    if (node->previous)
        node->previous->next = node->next;
    else
        name_list.head = node->next;
    if (node->next)
        node->next->previous = node->previous;
    else
        name_list.tail = node->previous;
    delete node;
}

static void delete_from(NameListNode *node)
{
    while (node) {
        NameListNode *next = node->next;
        unlink_node(node);
        node = next;
    }
}

void init_name_list()
{
    delete_from(name_list.head);
    name_list.x = 0.0f;
    name_list.y = 100.0f;
    name_list.top = 100.0f;
    name_list.height = 200.0f;
    name_list.highlighted = -1;
}

static void append_node(const BoutEntry *e)
{
    NameListNode *node = new NameListNode();
    n_strncpyz(node->name, e->name, sizeof node->name);
    char prefix[2];
    player_prefix_char(e->values[0], prefix);
    n_strncpyz(node->prefix, prefix, sizeof node->prefix);
    node->flag = (uint8_t)(e->values[0] & 1);
    node->offset = 0.0f;
    node->previous = name_list.tail;
    node->next = nullptr;
    if (name_list.tail)
        name_list.tail->next = node;
    else
        name_list.head = node;
    name_list.tail = node;
}

void sync_name_list(const BoutEntry *entries, int count)
{
    if (!entries || count < 0)
        count = 0;
    if (count > MAX_BOUTS)
        count = MAX_BOUTS;
    name_list.highlighted = -1;
    int i = 0;
    NameListNode *node = name_list.head;
    while (node) {
        if (i >= count) {
            delete_from(node);
            break;
        }
        NameListNode *next = node->next;
        if (strncmp(node->name, entries[i].name, NAME_LIST_NAME_BYTES) != 0) {
            unlink_node(node);
        } else {
            if (entries[i].user_id == own_id)
                name_list.highlighted = i;
            i++;
        }
        node = next;
    }
    for (; i < count; i++) {
        append_node(&entries[i]);
        if (entries[i].user_id == own_id)
            name_list.highlighted = i;
    }
}

void update_name_list(float x, float y, float bottom)
{
    name_list.x = x;
    name_list.y = y;
    name_list.height = bottom - y;
    int fighters = match_state.num_players;
    int i = 0;
    for (NameListNode *node = name_list.head; node; node = node->next, i++) {
        float target = (float)(NAME_LIST_ROW * (i + 1));
        if (i >= fighters)
            target += NAME_LIST_ROW;
        float rgba[4] = {1.0f, 1.0f, 1.0f, 0.8f};
        if (i < fighters) {
            if (name_list_links.fighter_colour)
                name_list_links.fighter_colour(i, rgba);
            else if (i < MAX_PLAYERS)
                get_colour_rgb(players[i].colour, rgba);   // team colour with teams
        } else if (i == name_list.highlighted) {
            get_colour_rgb(10, rgba);
        } else {
            rgba[3] = 0.6f;
            if (name_list_links.banner_colour)
                name_list_links.banner_colour(rgba);
            else
                rgba[0] = rgba[1] = rgba[2] = 0.0f;
        }
        if (name_list_links.draw_text) {
            char text[NAME_LIST_PREFIX_BYTES + NAME_LIST_NAME_BYTES];
            snprintf(text, sizeof text, "%s%s", node->prefix, node->name);
            name_list_links.draw_text(1, x, y + node->offset, text, rgba);
        }
        if (fabsf(target - node->offset) <= 2.0f)
            node->offset = target;
        else
            node->offset += node->offset < target ? 2.0f : -2.0f;
    }
}

int name_list_count()
{
    int n = 0;
    for (NameListNode *node = name_list.head; node; node = node->next)
        n++;
    return n;
}

int spectator_row_offset()
{
    int count = name_list_count();
    if (count == 0)
        return 0;
    // The last name's row below the list's top, as update_name_list places
    // it: 25 x (i + 1), and one row more past the fighters.
    int last = count + (count > match_state.num_players ? 1 : 0);
    // The spectators start two rows lower than the list's top (y 180
    // against 130): starting at the last name's row leaves one row free.
    return last;
}

NameListNode *name_list_node(int i)
{
    if (i < 0)
        return nullptr;
    NameListNode *node = name_list.head;
    while (node && i-- > 0)
        node = node->next;
    return i < 0 ? node : nullptr;
}

void sync_spectator_names() { sync_name_list(bout_list, num_bouts); }
void clear_spectator_names() { sync_name_list(nullptr, 0); }

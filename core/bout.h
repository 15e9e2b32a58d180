// The online bout list (who fights, who waits) and the match result record.
#pragma once

#include <cstdint>

enum { MAX_BOUTS = 32, BOUT_VALUES = 15 };

// What a bout entry's values hold: the numbers of its "BOUT" line in order
// (the status bits, four values, the last value after the name). The
// first value is the belt value (points), the fourth the rank, the last
// the winning streak.
enum { BOUT_STATUS = 0, BOUT_BELT = 1, BOUT_RANK = 4, BOUT_STREAK = 5 };

struct BoutEntry {
    char name[256];
    int32_t user_id;
    int32_t values[BOUT_VALUES];
    char belt_text[256];
};

struct LossRecord {
    int32_t frame;
    int32_t lost;
    float position[3];
};

struct MatchResult {
    int32_t values[4];
    float scores[4];
    int32_t frame;
    int32_t valid;
    int32_t winners[4];
    int32_t losers[4];
    int32_t code;
    LossRecord loss[4];
    // Per player, from the "WIN"/"WIN2" lines, for the result banner: 1 when
    // the player's bout entry came with the result; then its belt value
    // before the game (the bout entry's), after it (the line's first further
    // value), the coins the game brought (the second further value, 0 when
    // the line has none) and the winning streak of the bout entry.
    int32_t belt_known[4];
    int32_t belt_before[4];
    int32_t belt_after[4];
    int32_t coins[4];
    int32_t streak[4];
};

extern BoutEntry bout_list[MAX_BOUTS];
extern BoutEntry bout_staging[MAX_BOUTS];
extern MatchResult match_result;
extern int32_t queue_position;   // own place in the waiting queue (HUD)

BoutEntry *get_bout_entry(int i);
BoutEntry *get_bout_list();
MatchResult *get_match_result();
int own_bout_index();
int is_fighting();
void set_own_queue_position();
int have_enough_fighters();
// Loss record of player p; 1 when p or the player count is out of range.
int store_loss(int frame, int p, int flag, const float *pos);

// Starting a game from a rules record (world rebuild or mod reload, the
// reset of match and players, the engage placement), resetting a match,
// the online bout list and the match title, the result setters and the
// fighters' names.
#pragma once

#include <cstdint>

struct GameRules;

enum { MOD_NAME_SIZE = 256, TITLE_LINE_SIZE = 256 };

// The mod the world was last built from (first character blanked when the
// game came from a replay, so that the next game loads it again) and
// whether that load failed.
extern char last_mod_name[MOD_NAME_SIZE];
extern int32_t mod_load_failed;
// Set while the match title banner is up; the shell clears it when the
// banner is gone.
extern int32_t match_title_showing;
extern char match_title[3][TITLE_LINE_SIZE];
// frame_tick at the match start (kept with the option "benchmark" on).
extern int32_t match_start_tick;

// How often a game start rebuilt the world (counted for diagnostics).
struct WorldBuildCounts {
    int32_t default_builds;
    int32_t mod_loads;
};
extern WorldBuildCounts world_build_counts;

// type 0 local, 1 online; from_replay 1 when a replay's header starts it.
// The rules record may be changed (a missing mod locally becomes "classic").
void start_game_with_rules(int type, int from_replay, GameRules *rules);
// Resets the match without changing rules; keep non-zero keeps the
// players' state and positions (a replay is about to set them).
void new_game_reset(int keep);
void reset_players();
void place_engage_positions();
void engage_players();

// 1 for a mod name that means the built-in world.
int is_builtin_mod(const char *name);
// 1 for a name that may be looked up as "data/mod/<name>".
int is_plain_mod_file_name(const char *name);
// 1 when the two rule records are the same (compared byte for byte after
// the unused bytes of both are zeroed).
int same_rules(const GameRules *a, const GameRules *b);

// One "BOUT" entry (slot 0..31) or the end marker (id -1); values holds
// BOUT_VALUES numbers (null: zeros).
void update_bout_list(int slot, int id, const int32_t *values, const char *name);
void show_match_title();
// Builds the title lines without showing them; returns the number of lines.
int compose_match_title(char lines[3][TITLE_LINE_SIZE]);

// The "GAME" result: four values per player, four scores (null: the
// fighters' current scores) and the result code.
void set_game_values(int code, const int32_t *values, const float *scores);
// Winner and loser lists (4 entries, -1 padded; entries outside the match
// are skipped); the game is over.
void set_game_result(int code, const int32_t *winners, const int32_t *losers);
// Moves the match to frame n and the replay to its first record at or
// after n; at the frame of the turn-start snapshot the snapshot is applied.
void seek_match_frame(int n);

void set_default_player_names();
// 1 when the name is unchanged (or the player is refused), else 0.
int set_player_name2(int player, const char *name);

// Puts a broken joint back together: hinge attached, stops, sphere radius
// and collide bits of its table row, its break state cleared.
void restore_joint(int record, int joint);

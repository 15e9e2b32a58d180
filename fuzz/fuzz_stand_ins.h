// A stand-in for the game start, for the parse-only targets: linked with
//   -Wl,--wrap=_Z21start_game_with_rulesiiP9GameRules
// every call of start_game_with_rules from another file (the replay
// column's and the server's NEWGAME) comes here. The rules have been parsed
// into their record by then; the stand-in takes the player count from them
// as the real start does and builds no world, so a NEWGAME line costs what
// its parse costs. The physics targets link the real one.
#pragma once

#include "core/records.h"
#include "core/rules.h"

extern "C" void __wrap__Z21start_game_with_rulesiiP9GameRules(int type, int from_replay,
                                                              GameRules *rules)
{
    (void)type;
    (void)from_replay;
    if (!rules)
        return;
    int n = rules->players;
    match_state.num_players = n >= 1 && n <= MAX_FIGHTERS ? n : 2;
    match_state.match_frame = 0;
    match_state.game_over = 0;
}

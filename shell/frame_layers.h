// The frame's drawing, called by the match core at the end of every frame:
// the scene, then the layers drawn over it.
#pragma once

struct MatchState;
struct GameRules;
struct MatchResult;

void draw_frame_layers(MatchState *match, GameRules *rules, MatchResult *result);

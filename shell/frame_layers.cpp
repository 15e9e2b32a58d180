#include "shell/frame_layers.h"

#include "core/records.h"
#include "render/hud.h"
#include "render/scene.h"

void draw_frame_layers(MatchState *match, GameRules *rules, MatchResult *result)
{
    (void)result;
    // The 3D scene: camera, dojo, fighters, markers and blood drops.
    draw_scene(match, rules);
    // The match HUD over it: replay title, scores, frames left, turn timer.
    draw_match_hud(rules);
}

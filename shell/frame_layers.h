// The frame's drawing, called by the match core at the end of every frame:
// the 3D scene, then the 2D layers over it, always in the order of one
// table (scene, DQ marks, draw3d hook, avatar heads, then HUD, console,
// help, control bar, draw2d hook, banner and the cursor last).
#pragma once

struct MatchState;
struct GameRules;
struct MatchResult;

void draw_frame_layers(MatchState *match, GameRules *rules, MatchResult *result);

// One layer of the frame: its name and its drawing. 2D layers draw between
// begin_2d and end_2d; the 3D ones before.
struct FrameLayer {
    const char *name;
    void (*draw)(MatchState *match, GameRules *rules);
    int two_d;
};
// The layers in drawing order; *count receives their number.
const FrameLayer *frame_layer_table(int *count);
// Index of a named layer in the table, -1 when there is none.
int frame_layer_index(const char *name);

// Called with each layer's name just before it draws (tests); empty: none.
extern void (*frame_layer_probe)(const char *name);

// Points the core's result announcement and impact clearing and the HUD's
// reading slots at the shell (only slots still empty).
void bind_hud();

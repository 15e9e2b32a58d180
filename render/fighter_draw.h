// Fighter drawing: the fighters, their joints by state, their ghosts and the
// environment objects of a frame, each piece through one gate that draws it
// at once or queues it in the depth-sorted list; the colour rules (custom
// colours, bruises, broken joints, selection) and the frame's records of the
// highest and fastest body.
#pragma once

#include <ode/ode.h>

#include "core/records.h"

struct Texture;

// A fighter's look: palette rows, 0 meaning "not set". Customisation fills
// it; collisions feed the bruise amounts.
struct FighterLook {
    int32_t main_colour;
    int32_t ghost_colour;
    int32_t blood_colour;
    int32_t body_colour[NUM_BODIES];
    int32_t joint_colour[NUM_JOINTS];
    int32_t relax_colour[NUM_JOINTS];
    int32_t force_colour[NUM_JOINTS];
    float body_bruise[NUM_BODIES];
    float joint_bruise[NUM_JOINTS];
    int32_t not_in_fight;
    int32_t avatar;
    // What scripts set beyond the customisation colours: the ground impact
    // colour (0: the fighter's own), the joint highlights (RGB 0..1; drawn
    // while joint_indicated is set) and the body tints (RGB 0..1, the
    // body's colour while body_tinted is set).
    int32_t impact_colour;
    float joint_highlight[NUM_JOINTS][3];
    int32_t joint_indicated[NUM_JOINTS];
    float body_tint[NUM_BODIES][3];
    int32_t body_tinted[NUM_BODIES];
    // The turn dial's colour (0: the dial's own).
    int32_t timer_colour;
};
extern FighterLook fighter_looks[MAX_PLAYERS];
// The main colours of fighters 0..3 when nothing else is set.
extern const int32_t default_fighter_colours[MAX_FIGHTERS];

// Highest this frame, highest this game, fastest this frame, fastest this game.
struct BodyRecord {
    int32_t body;
    int32_t player;
    double value;
};
enum { HIGHEST_FRAME = 0, HIGHEST_GAME = 1, FASTEST_FRAME = 2, FASTEST_GAME = 3 };
extern BodyRecord body_records[4];
void reset_body_records();

// The ghosts' alpha of this frame (never below 0).
extern float ghost_alpha;

// RGB of a palette row through the core's palette slot; grey without one.
void palette_rgb(int index, float out[3]);
// The index among the fighters of a record (a ghost counts as its fighter).
int fighter_index(int record);
// The look of a record (a ghost reads its own record's look).
FighterLook *look_of(const PlayerState *player);

// ---- the gate and its conveniences ---------------------------------------------
void draw_or_queue_geom(dGeomID geom, int mode, Texture *texture, Texture *bump);

// A hand that does not grip has no size in the physics (its box is 0 0 0);
// it is drawn, and picked, as a box of half its gripping size, so that the
// player sees and can click it past the wrist. The sides a hand is shown
// with (its box when that has a size); 0 for anything but a hand's box.
int hand_shown_sides(const PlayerState *player, int body, double sides[3]);
// A box geom's sides as drawn: its own, or a resting hand's shown ones.
void shown_box_sides(dGeomID box, double sides[3]);
void draw_or_queue_geom_coloured(dGeomID geom, int colour, float alpha, int mode);
void draw_geom_coloured(dGeomID geom, int colour, int mode);
void draw_body_geoms_coloured(PlayerState *player, int colour, int mode, float alpha);
void draw_joint_geoms_coloured(PlayerState *player, int colour, int mode, float alpha);

// ---- fighters --------------------------------------------------------------------
void draw_fighter_bodies(MatchState *match, PlayerState *player, int mode, float alpha);
void draw_fighter_joints_plain(MatchState *match, PlayerState *player, int mode, float alpha);
void draw_fighter_joints(MatchState *match, PlayerState *player, int index, int mode,
                         float alpha);
void get_body_draw_color(MatchState *match, PlayerState *player, int body, float rgb[3]);
// The motor state a joint shows: the pending command (1..3; others above 3
// relax), else what the hinge does.
int shown_joint_state(const PlayerState *player, int joint);
void draw_fighters(MatchState *match);
void draw_fighters_sorted(MatchState *match);
void draw_joint_markers(PlayerState *player);
void draw_avatar_view();

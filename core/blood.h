// The ring of 256 blood drops: spawning, ageing, damping, the ghost-preview
// switches and the running total of blood spilled; and the small vector
// helpers of the match core. The drop bodies themselves are made with the
// world (create_blood_drops, core/world.h).
#pragma once

#include <cstdint>
#include <ode/ode.h>

#include "core/world.h"

enum { BLOOD_DROP_LIFE = 50 };

extern int32_t blood_ring_index;   // the slot the next spawn takes
extern double blood_amount;        // blood spilled in this game
extern int32_t blood_hit_count;

void set_default_blood_colour(const float colour[3]);
// Stores the colour mode in every slot: a non-null mode draws drops in
// their owner's colour, null in the default colour.
void set_blood_colour_mode(const void *mode);
BloodDrop *get_blood_drop(int i);   // null outside 0..255
double get_blood_amount();
void reset_blood_amount(double value);   // also clears the hit counter

// A drop touched something (near callback): counts the hit and adds to the
// amount spilled by the drop's size and speed. Out-of-range drops are ignored.
void blood_hit(int drop, double speed);
// A drop at rest at (x, y, z) for the player; the velocity is not used (a
// plain drop starts at rest). Returns the slot taken, -1 without a world.
int spawn_blood_drop(int player, int kind, double x, double y, double z,
                     const double velocity[3]);
// A drop of size * the slot's size factor (clamped to 0.01 .. 0.05) thrown
// from position along direction at speed. A drop below 0.01 takes its slot
// but is not placed (life 0, body off). Returns the slot taken, -1 without
// a world.
int spawn_blood_drop_sized(int player, int kind, const double position[3],
                           const double direction[3], double speed, double size);
// Once per simulated frame: live drops lose a frame, spent drops switch off.
void age_blood_drops();
void damp_blood_drops();
// New game: every drop parked and off, amount 0, ring index 0.
void reset_blood_drops();
// Ghost preview: all drop bodies off / the live ones back on.
void disable_blood_drops();
void enable_live_blood_drops();
// Adds the force -m * 0.001 * v and the torque -m * 0.00001 * w^3 (per
// component) to a body, m its mass.
void damp_body(dBodyID body, const double linear_vel[3], const double angular_vel[3]);

// ---- vector helpers (doubles) --------------------------------------------------------
double vec3_length_sq(const double v[3]);
double vec3_length(const double v[3]);
double vec3_length3(double x, double y, double z);
// a - b into one static vector, valid until the next call.
const double *vec3_sub(const double a[3], const double b[3]);
// The distance of a and b, or 0 when it is below 5; the difference goes into
// the vec3_sub static vector.
double vec3_distance_min5(const double a[3], const double b[3]);
// v / |v| into a static vector; a zero vector gives zero.
const double *vec3_normalised(const double v[3]);
// ODE 3x4 rotation matrix m and translation t applied to point: out = m p + t.
void transform_point(const double m[12], const double t[3], const double point[3],
                     double out[3]);
// Turns point about the vertical axis through centre by angle (radians); z
// stays.
void rotate_point_z(const double centre[3], const double point[3], double out[3],
                    double angle);
// Turns a body about the vertical axis through centre by angle (radians),
// moving it around the centre.
void set_geom_pose_rotated(dBodyID body, const double centre[3], double angle);
// Squared distance of the contact point of two geoms from (x, y, z); -1
// when they do not touch.
double contact_distance_sq(dGeomID a, dGeomID b, double x, double y, double z);
// The world pose of a geom (a transform's inner geom composed with it).
// 0 when it has one, 1 for a null geom.
int geom_world_pose(dGeomID geom, double position[3], double rotation[12]);

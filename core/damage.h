// Damage, points, ground-touch disqualification and ring-outs from the
// frame's collision list (core/collide.h).
#pragma once

// Turns every contact of the frame's collision list into damage, points,
// disqualification timers and blood, and empties the list.
void apply_collision_damage();

// Damage per unit of impact for a part (0..20 bodies, 21..40 joints).
double damage_factor(int part);
// The damage that player p takes on part from one recorded contact with
// other (-1: ground or an object); ground is set for a contact with the
// ground. Also runs the ground-touch and ring-out timers.
double collision_damage(int p, int other, int part, int ground, double impact, double speed,
                        const double position[3]);
// 1 when (x, y) lies outside the dojo of the current rules.
int is_outside_dojo(double x, double y);
// The hands and feet, and with sumo also the wrist and ankle spheres: the
// parts that may always touch the ground inside the dojo.
int part_may_touch_ground(int part);

// The collision pass: the near callback that turns touching geoms into
// contact joints, and the frame's list of recorded contacts.
#pragma once

#include <cstdint>
#include <ode/ode.h>

struct CollisionRecord {
    dJointFeedback feedback;
    int32_t part_a, part_b;
    int32_t player_a, player_b;
    double velocity_cross[3];
    double position[3];
    double closing_speed;
    uint8_t other_class;
};

enum { MAX_COLLISIONS = 16, MAX_CONTACTS = 8, FRAME_CONTACT_COUNTERS = 10 };

extern CollisionRecord collision_list[MAX_COLLISIONS];
extern int32_t collision_count;
extern int32_t collisions_dropped;   // contacts of the frame beyond the list
extern int32_t frame_contact_counters[FRAME_CONTACT_COUNTERS];

void near_callback(void *data, dGeomID a, dGeomID b);
// Puts every body of the space (and the spaces inside it) whose state is not
// finite, out of the world's range or faster than its bound back inside the
// range, at rest, and takes a shape whose box still lies out of range out
// of the collisions; returns how many it settled or took out.
int settle_unsound_bodies(dSpaceID space);
// Runs the near callback over one space (settled first).
void collide_space(dSpaceID space);
void clear_collision_list();

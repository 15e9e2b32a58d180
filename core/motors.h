// Joint motors and grips. Every command (keys, clicks, scripts, replay and
// server lines) only writes a pending motor state or grip request into the
// player record; apply_joint_states (run once per simulated frame) turns
// them into hinge motor parameters and hand sizes. Grip hinges are made by
// the near callback through make_grip.
#pragma once

#include <ode/ode.h>

// The hands' body indexes.
enum { LEFT_HAND = 12, RIGHT_HAND = 11 };

// The frame's fixed point: every fighter's pending motor states and grip
// requests become hinge parameters and hand sizes, and are cleared.
void apply_joint_states();

// The state a joint has now: its pending command, else read back from the
// hinge (velocity < 0 forward, > 0 back, 0 with force hold, else relax).
// 0 for a record or joint that does not exist.
// The motor state a hinge's parameters show (relax for no hinge).
int hinge_motor_state(dJointID h);
int current_joint_state(int player, int joint);

// 0 changed, 1 unchanged (the change is still counted), -1 refused: a
// record without bodies, a joint outside 0..19, a state outside 0..4 or a
// fractured joint.
int set_commanded_joint_state(int player, int joint, int state);
// Steps the current state 1 -> 2 -> 3 -> 4 -> 1 (or backwards). 1 when
// refused: bad record or joint, while simulating, or a broken joint.
int cycle_joint_state(int backwards, int player, int joint);
// Hold becomes relax, anything else hold. Refusals as cycle_joint_state.
int toggle_joint_hold(int player, int joint);
// Every joint that is not fractured gets the pending state.
void set_all_joint_states(int player, int state);
// Up to 20 "joint state" pairs; each goes through set_commanded_joint_state.
void set_joint_states_from_text(int player, const char *text);
// "left right" into the pending grip requests; the number of values read.
int set_grips_from_text(int player, const char *text);
// Writes the hinge motor of a state now. 1 for a bad record or joint.
int set_joint_motor(int player, int joint, int state);

// Pending grip request of a hand (body 12 left, 11 right) and its size now.
// 1 for a bad record or a body that is not a hand.
int set_grip(int player, int hand, int value);
// The keys' and clicks' grip toggle; refused (1) while simulating.
int toggle_grip(int player, int hand);
void update_hand_sizes();
// Sizes a body's geom from its table row: alt_sides when gripping.
void set_hand_geom_size(int player, int body, int gripping);
// From the near callback: a gripping hand touched something. other < 0 is
// environment object index, else body index of record other. 1 when the
// contact is with a gripped environment object (the contact is dropped).
int make_grip(int player, int other, int hand, int index, const dContactGeom *contact);
void release_grip(int player, int body);
void release_all_grips(int player);

// A fractured joint: its stops open to the break range and it relaxes.
void fracture_joint_limits(int player, int joint);

// Puts the record's bodies into a stored stance, moved by origin minus the
// slot's origin (null origin: where the slot stored it). 1 for a slot that
// was not stored.
int load_stance(int slot, int player, const double *origin = nullptr);

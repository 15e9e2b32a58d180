// Joint breaks: dismemberment (the hinge lets go) and fracture (the stops
// widen and the motor goes), their thresholds, the timed breaks of online
// games, and the bleeding of dismembered joints.
#pragma once

// Dismember and fracture thresholds of joint j of player p at hinge angle
// theta, after rule scaling.
double joint_break_threshold(int player, int joint, double angle);
double fracture_threshold(int player, int joint, double angle);

// The break test of one fighter after a simulated frame.
void check_joint_breaks(int player);
// Carries out a break of kind 1 (dismember) or 2 (fracture); other kinds and
// bad indices change nothing.
void break_joint(int player, int joint, int kind);
void break_joint_dismember(int player, int joint);
// Online: carries out every due timed break of an intact joint and clears it.
void apply_timed_breaks(int frame);

// One frame of bleeding of a dismembered joint.
void bleed_joint(int player, int joint);
void bleed_player(int player);

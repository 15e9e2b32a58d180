// Joint break and blood placeholders.
#include "core/pending.h"

void check_joint_breaks(int) {}
void break_joint(int, int, int) {}
void bleed_joint(int, int) {}
void blood_hit(int, double) {}

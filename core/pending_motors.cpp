// Joint motor placeholder until commanded states drive the hinges.
#include "core/pending.h"

void apply_joint_states() {}

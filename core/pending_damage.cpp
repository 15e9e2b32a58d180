// Collision damage placeholder.
#include "core/collide.h"
#include "core/pending.h"

// The list must not stay full, or no later contact would be recorded.
void apply_collision_damage() { collision_count = 0; }

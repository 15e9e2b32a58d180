// Ghost preview placeholders.
#include "core/pending.h"

void start_ghost(int) {}
void start_ghost_all() {}
void stop_ghost() {}
void refresh_ghost() {}
void toggle_ghost_all() {}
int advance_ghost_clock() { return 1; }

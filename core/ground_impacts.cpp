#include "core/ground_impacts.h"

#include <cmath>

#include "core/records.h"

GroundImpact ground_impacts[4];

void record_ground_impact(int p, const double position[3])
{
    if (p < 0 || p >= 4 || !position)
        return;
    for (int k = 0; k < 3; k++)
        if (!std::isfinite(position[k]))
            return;
    GroundImpact *g = &ground_impacts[p];
    g->frame = match_state.match_frame;
    for (int k = 0; k < 3; k++)
        g->position[k] = position[k];
    g->countdown = GROUND_IMPACT_FRESH;
}

void reset_ground_impacts()
{
    for (int p = 0; p < 4; p++) {
        ground_impacts[p] = GroundImpact();
        ground_impacts[p].frame = -1;
    }
}

// The marks a forbidden ground touch leaves on the floor, one per fighter:
// where and in which frame the touch was, and a countdown that the HUD's
// fading sphere and the POV-Ray export read. The core only records them.
#pragma once

#include <cstdint>

enum { GROUND_IMPACT_FRESH = 100 };

struct GroundImpact {
    int32_t frame;         // match frame of the touch, -1 none
    double position[3];
    int32_t colour;        // palette row, 0: the fighter's own colour
    int32_t countdown;     // 100 when fresh, counted down as it is drawn
};
extern GroundImpact ground_impacts[4];

// A fresh mark of fighter p (0..3) at the position in the current frame;
// other players and non-finite positions are ignored.
void record_ground_impact(int p, const double position[3]);
// All four marks zeroed, the frame of each set to -1.
void reset_ground_impacts();

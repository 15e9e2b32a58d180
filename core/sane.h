// Numbers from outside the program (replay files, mod files, server lines,
// console and settings) are checked where they come in: nothing that is not
// finite, no rotation that cannot be normalised, no zero axis and nothing
// beyond the world's range reaches the physics world. A refused value is
// reported in one line on standard error that names where it came from.
#pragma once

#include <cstdint>

enum {
    SANE_POSITION = 1000,   // metres from the origin, per coordinate
    SANE_SPEED = 10000,     // linear (m/s) and angular (rad/s) speed, per component
    SANE_SIZE = 100,        // sides, radii and lengths of shapes
    SANE_FORCE = 1000000,   // forces, motor strengths and speeds, gravity, masses
};

// The smallest size (side, radius, length, in metres) and mass (kg) the
// world takes: below them the step divides by numbers that are nearly
// zero. A size of exactly 0 stays allowed (a shape without volume, such as
// an open hand).
constexpr double SANE_MIN_SIZE = 0.001;
constexpr double SANE_MIN_MASS = 0.001;
// The least mass a body of the world is given. It lies below the lightest
// body of the built-in fighter (a 0.1 m cube at density 0.25: 0.00025 kg),
// so the built-in fighters keep the masses of their own shapes; the reach
// and spread floors of the fighters' masses keep lighter bodies sound.
constexpr double SANE_MIN_BODY_MASS = 0.0001;

// A number as a whole int32: not a number gives 0, a huge one stops at the
// int32 range (a cast would be undefined), the rest is cut toward zero.
int32_t whole_number(double v);

// A size read from outside: 0, or within SANE_MIN_SIZE..SANE_SIZE.
int sane_size(double v);
// A size as a shape is built from it: not finite or 0 and below gives 0, a
// tiny one SANE_MIN_SIZE, a huge one SANE_SIZE.
double world_size(double v);

// The file and line (or the kind of input) being read, for the refusal
// line; name null forgets it. The name is copied.
void set_input_source(const char *name, int line);
// "<source>:<line>: refused <what>: <text>" (the text cut short).
void refuse_input(const char *what, const char *text);

// Finite and within +-limit, each of n values.
int sane_values(const double *v, int n, double limit);
int sane_floats(const float *v, int n, double limit);
// A rotation: four finite numbers in range that can be normalised (not
// zero).
int sane_quaternion(const double q[4]);
// An axis: three finite numbers within range, not all (nearly) zero.
int sane_axis(const double v[3]);
// count rows of width 3 (each value within +-limit) or of width 4
// (rotations; the limit is not used).
int sane_rows(const double *rows, int count, int width, double limit);
// One row of a state line whose readers leave what the line did not hold
// as NaN: every value missing is a row the line left out
// (SANE_ROW_ABSENT); any other row is checked whole, as a rotation when it
// is 4 wide or against limit when 3 wide (SANE_ROW_OK or SANE_ROW_BAD, so a
// NaN beside a finite value is refused, never half stored).
enum { SANE_ROW_BAD = 0, SANE_ROW_OK = 1, SANE_ROW_ABSENT = 2 };
int sane_state_row(const double *row, int width, double limit);
// One environment object's state: position, rotation, angular and linear speed.
int sane_env_state(const double pos[3], const double quat[4], const double ang[3],
                   const double lin[3]);

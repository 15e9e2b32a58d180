// Numbers from outside the program (replay files, mod files, server lines,
// console and settings) are checked where they come in: nothing that is not
// finite, no rotation that cannot be normalised, no zero axis and nothing
// beyond the world's range reaches the physics world. A refused value is
// reported in one line on standard error that names where it came from.
#pragma once

enum {
    SANE_POSITION = 1000,   // metres from the origin, per coordinate
    SANE_SPEED = 10000,     // linear (m/s) and angular (rad/s) speed, per component
    SANE_SIZE = 100,        // sides, radii and lengths of shapes
    SANE_FORCE = 1000000,   // forces, motor strengths and speeds, gravity, masses
};

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
// One environment object's state: position, rotation, angular and linear speed.
int sane_env_state(const double pos[3], const double quat[4], const double ang[3],
                   const double lin[3]);

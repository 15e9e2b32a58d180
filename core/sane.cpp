#include "core/sane.h"

#include <cmath>
#include <cstddef>
#include <cstdio>

#include "core/text.h"

static char source_name[256];
static int source_line;

void set_input_source(const char *name, int line)
{
    n_strncpyz(source_name, name ? name : "", sizeof source_name);
    source_line = line;
}

void refuse_input(const char *what, const char *text)
{
    // The text is quoted up to its first line end and at most 60 characters.
    char shown[64];
    int n = 0;
    const char *p = text ? text : "";
    while (*p == ' ' || *p == '\t')
        p++;
    for (; *p && *p != '\n' && *p != '\r' && n < 60; p++)
        shown[n++] = (unsigned char)*p < 32 ? ' ' : *p;
    shown[n] = '\0';
    if (source_name[0] && source_line > 0)
        fprintf(stderr, "%s:%d: refused %s: %s\n", source_name, source_line, what, shown);
    else if (source_name[0])
        fprintf(stderr, "%s: refused %s: %s\n", source_name, what, shown);
    else
        fprintf(stderr, "refused %s: %s\n", what, shown);
}

int sane_values(const double *v, int n, double limit)
{
    for (int i = 0; i < n; i++)
        if (!std::isfinite(v[i]) || fabs(v[i]) > limit)
            return 0;
    return 1;
}

int sane_floats(const float *v, int n, double limit)
{
    for (int i = 0; i < n; i++)
        if (!std::isfinite(v[i]) || fabs((double)v[i]) > limit)
            return 0;
    return 1;
}

int sane_size(double v)
{
    return v == 0.0 || (v >= SANE_MIN_SIZE && v <= SANE_SIZE);
}

double world_size(double v)
{
    if (!(v > 0.0))
        return 0.0;
    if (v < SANE_MIN_SIZE)
        return SANE_MIN_SIZE;
    return v > SANE_SIZE ? (double)SANE_SIZE : v;
}

int sane_quaternion(const double q[4])
{
    if (!sane_values(q, 4, SANE_FORCE))
        return 0;
    double len2 = q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3];
    return len2 > 1e-12;
}

int sane_axis(const double v[3])
{
    if (!sane_values(v, 3, SANE_FORCE))
        return 0;
    return v[0] * v[0] + v[1] * v[1] + v[2] * v[2] > 1e-12;
}

int sane_rows(const double *rows, int count, int width, double limit)
{
    for (int i = 0; i < count; i++) {
        const double *v = rows + (size_t)i * width;
        if (width == 4 ? !sane_quaternion(v) : !sane_values(v, width, limit))
            return 0;
    }
    return 1;
}

int sane_state_row(const double *row, int width, double limit)
{
    int missing = 0;
    for (int i = 0; i < width; i++)
        missing += std::isnan(row[i]) ? 1 : 0;
    if (missing == width)
        return SANE_ROW_ABSENT;
    return sane_rows(row, 1, width, limit) ? SANE_ROW_OK : SANE_ROW_BAD;
}

int sane_env_state(const double pos[3], const double quat[4], const double ang[3],
                   const double lin[3])
{
    return sane_values(pos, 3, SANE_POSITION) && sane_quaternion(quat) &&
           sane_values(ang, 3, SANE_SPEED) && sane_values(lin, 3, SANE_SPEED);
}

int32_t whole_number(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return INT32_MAX;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return (int32_t)v;
}

#include "render/math3d.h"

#include <cmath>
#include <cstring>

static const double PI = 3.141592653589793;

static double radians(float degrees) { return degrees * (PI / 180.0); }

// ---- construction and element access ----------------------------------------

Matrix4 mat4_from_values(const float values[16])
{
    Matrix4 a;
    memcpy(a.m, values, sizeof a.m);
    return a;
}

Matrix4 mat4_zero()
{
    Matrix4 a;
    for (float &e : a.m)
        e = 0.0f;
    return a;
}

Matrix4 mat4_identity()
{
    Matrix4 a = mat4_zero();
    a.m[0] = a.m[5] = a.m[10] = a.m[15] = 1.0f;
    return a;
}

void mat4_set(Matrix4 *a, unsigned k, float value)
{
    if (k < 16)
        a->m[k] = value;
}

float mat4_get(const Matrix4 &a, unsigned k) { return k < 16 ? a.m[k] : 0.0f; }

bool mat4_is_affine(const Matrix4 &a)
{
    return a.m[3] == 0.0f && a.m[7] == 0.0f && a.m[11] == 0.0f && a.m[15] == 1.0f;
}

// ---- arithmetic ---------------------------------------------------------------

Matrix4 mat4_add(const Matrix4 &a, const Matrix4 &b)
{
    Matrix4 r = a;
    mat4_add_in_place(&r, b);
    return r;
}

Matrix4 mat4_sub(const Matrix4 &a, const Matrix4 &b)
{
    Matrix4 r = a;
    mat4_sub_in_place(&r, b);
    return r;
}

void mat4_add_in_place(Matrix4 *a, const Matrix4 &b)
{
    for (int k = 0; k < 16; k++)
        a->m[k] += b.m[k];
}

void mat4_sub_in_place(Matrix4 *a, const Matrix4 &b)
{
    for (int k = 0; k < 16; k++)
        a->m[k] -= b.m[k];
}

Matrix4 mat4_negate(const Matrix4 &a)
{
    Matrix4 r;
    for (int k = 0; k < 16; k++)
        r.m[k] = -a.m[k];
    return r;
}

Matrix4 mat4_scaled(const Matrix4 &a, float s)
{
    Matrix4 r = a;
    mat4_scale_in_place(&r, s);
    return r;
}

void mat4_scale_in_place(Matrix4 *a, float s)
{
    for (float &e : a->m)
        e *= s;
}

void mat4_divide_in_place(Matrix4 *a, float s)
{
    if (s == 0.0f || s == 1.0f)
        return;
    for (float &e : a->m)
        e /= s;
}

bool mat4_equal(const Matrix4 &a, const Matrix4 &b)
{
    for (int k = 0; k < 16; k++)
        if (a.m[k] != b.m[k])
            return false;
    return true;
}

bool mat4_not_equal(const Matrix4 &a, const Matrix4 &b) { return !mat4_equal(a, b); }

Matrix4 mat4_multiply_full(const Matrix4 &a, const Matrix4 &b)
{
    Matrix4 r;
    for (int c = 0; c < 4; c++)
        for (int row = 0; row < 4; row++) {
            float s = 0.0f;
            for (int k = 0; k < 4; k++)
                s += a.m[k * 4 + row] * b.m[c * 4 + k];
            r.m[c * 4 + row] = s;
        }
    return r;
}

Matrix4 mat4_multiply(const Matrix4 &a, const Matrix4 &b)
{
    if (!mat4_is_affine(a) || !mat4_is_affine(b))
        return mat4_multiply_full(a, b);
    Matrix4 r;
    for (int c = 0; c < 4; c++) {
        for (int row = 0; row < 3; row++) {
            float s = a.m[row] * b.m[c * 4] + a.m[4 + row] * b.m[c * 4 + 1] +
                      a.m[8 + row] * b.m[c * 4 + 2];
            if (c == 3)
                s += a.m[12 + row];
            r.m[c * 4 + row] = s;
        }
        r.m[c * 4 + 3] = c == 3 ? 1.0f : 0.0f;
    }
    return r;
}

Matrix4 mat4_transpose(const Matrix4 &a)
{
    Matrix4 r;
    for (int c = 0; c < 4; c++)
        for (int row = 0; row < 4; row++)
            r.m[c * 4 + row] = a.m[row * 4 + c];
    return r;
}

Matrix4 mat4_rigid_inverse(const Matrix4 &a)
{
    Matrix4 r = mat4_zero();
    for (int c = 0; c < 3; c++)
        for (int row = 0; row < 3; row++)
            r.m[c * 4 + row] = a.m[row * 4 + c];
    for (int row = 0; row < 3; row++)
        r.m[12 + row] = -(r.m[row] * a.m[12] + r.m[4 + row] * a.m[13] + r.m[8 + row] * a.m[14]);
    r.m[15] = 1.0f;
    return r;
}

static int affine_inverse(const Matrix4 &a, Matrix4 *out)
{
    const float *m = a.m;
    // Cofactors of the 3x3 part, column order like the matrix itself.
    float c0 = m[5] * m[10] - m[9] * m[6];
    float c1 = m[9] * m[2] - m[1] * m[10];
    float c2 = m[1] * m[6] - m[5] * m[2];
    float det = m[0] * c0 + m[4] * c1 + m[8] * c2;
    if (det == 0.0f)
        return -1;
    float inv = 1.0f / det;
    Matrix4 r = mat4_zero();
    r.m[0] = c0 * inv;
    r.m[1] = c1 * inv;
    r.m[2] = c2 * inv;
    r.m[4] = (m[8] * m[6] - m[4] * m[10]) * inv;
    r.m[5] = (m[0] * m[10] - m[8] * m[2]) * inv;
    r.m[6] = (m[4] * m[2] - m[0] * m[6]) * inv;
    r.m[8] = (m[4] * m[9] - m[8] * m[5]) * inv;
    r.m[9] = (m[8] * m[1] - m[0] * m[9]) * inv;
    r.m[10] = (m[0] * m[5] - m[4] * m[1]) * inv;
    for (int row = 0; row < 3; row++)
        r.m[12 + row] = -(r.m[row] * m[12] + r.m[4 + row] * m[13] + r.m[8 + row] * m[14]);
    r.m[15] = 1.0f;
    *out = r;
    return 0;
}

int mat4_inverse(const Matrix4 &a, Matrix4 *out)
{
    if (mat4_is_affine(a)) {
        if (affine_inverse(a, out) == 0)
            return 0;
        *out = mat4_identity();
        return -1;
    }
    const float *m = a.m;
    float inv[16];
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] +
             m[9] * m[7] * m[14] + m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] -
             m[8] * m[7] * m[14] - m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] +
             m[8] * m[7] * m[13] + m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] -
              m[8] * m[6] * m[13] - m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] -
             m[9] * m[3] * m[14] - m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] +
             m[8] * m[3] * m[14] + m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] -
             m[8] * m[3] * m[13] - m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] +
              m[8] * m[2] * m[13] + m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] +
             m[5] * m[3] * m[14] + m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] -
             m[4] * m[3] * m[14] - m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] +
              m[4] * m[3] * m[13] + m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] -
              m[4] * m[2] * m[13] - m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] -
             m[5] * m[3] * m[10] - m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] +
             m[4] * m[3] * m[10] + m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] -
              m[4] * m[3] * m[9] - m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] +
              m[4] * m[2] * m[9] + m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
    float det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
    if (det == 0.0f) {
        *out = mat4_identity();
        return -1;
    }
    for (int k = 0; k < 16; k++)
        out->m[k] = inv[k] / det;
    return 0;
}

int mat4_invert_in_place(Matrix4 *a)
{
    Matrix4 r;
    int rc = mat4_inverse(*a, &r);
    *a = r;
    return rc;
}

// ---- transforming vectors -----------------------------------------------------

Vector3 mat4_transform_point(const Matrix4 &a, Vector3 v)
{
    const float *m = a.m;
    return vector3(m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12],
                   m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13],
                   m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14]);
}

Vector3 mat4_transform_direction(const Matrix4 &a, Vector3 v)
{
    const float *m = a.m;
    return vector3(m[0] * v.x + m[4] * v.y + m[8] * v.z, m[1] * v.x + m[5] * v.y + m[9] * v.z,
                   m[2] * v.x + m[6] * v.y + m[10] * v.z);
}

Vector3 mat4_transform_direction_transposed(const Matrix4 &a, Vector3 v)
{
    const float *m = a.m;
    return vector3(m[0] * v.x + m[1] * v.y + m[2] * v.z, m[4] * v.x + m[5] * v.y + m[6] * v.z,
                   m[8] * v.x + m[9] * v.y + m[10] * v.z);
}

Vector3 mat4_add_translation(const Matrix4 &a, Vector3 v)
{
    return vector3(v.x + a.m[12], v.y + a.m[13], v.z + a.m[14]);
}

Vector3 mat4_sub_translation(const Matrix4 &a, Vector3 v)
{
    return vector3(v.x - a.m[12], v.y - a.m[13], v.z - a.m[14]);
}

// ---- builders -----------------------------------------------------------------

Matrix4 mat4_translation(Vector3 t)
{
    Matrix4 a = mat4_identity();
    a.m[12] = t.x;
    a.m[13] = t.y;
    a.m[14] = t.z;
    return a;
}

Matrix4 mat4_scale(float s)
{
    Matrix4 a = mat4_zero();
    a.m[0] = a.m[5] = a.m[10] = s;
    a.m[15] = 1.0f;
    return a;
}

// A rotation in the plane of axes i and j (i to j positive).
static Matrix4 plane_rotation(int i, int j, float degrees)
{
    double r = radians(degrees);
    float c = (float)cos(r), s = (float)sin(r);
    Matrix4 a = mat4_identity();
    a.m[i * 4 + i] = c;
    a.m[i * 4 + j] = s;
    a.m[j * 4 + i] = -s;
    a.m[j * 4 + j] = c;
    return a;
}

Matrix4 mat4_rotation_x(float degrees) { return plane_rotation(1, 2, degrees); }
Matrix4 mat4_rotation_y(float degrees) { return plane_rotation(2, 0, degrees); }
Matrix4 mat4_rotation_z(float degrees) { return plane_rotation(0, 1, degrees); }

Matrix4 mat4_rotation_xyz(float ax, float ay, float az)
{
    return mat4_multiply(mat4_rotation_z(az), mat4_multiply(mat4_rotation_y(ay),
                                                            mat4_rotation_x(ax)));
}

Matrix4 mat4_rotation_axis(Vector3 axis, float degrees)
{
    Vector3 u = vector3_normalised(axis);
    double r = radians(degrees);
    float c = (float)cos(r), s = (float)sin(r), t = 1.0f - c;
    Matrix4 a = mat4_identity();
    a.m[0] = t * u.x * u.x + c;
    a.m[1] = t * u.x * u.y + s * u.z;
    a.m[2] = t * u.x * u.z - s * u.y;
    a.m[4] = t * u.x * u.y - s * u.z;
    a.m[5] = t * u.y * u.y + c;
    a.m[6] = t * u.y * u.z + s * u.x;
    a.m[8] = t * u.x * u.z + s * u.y;
    a.m[9] = t * u.y * u.z - s * u.x;
    a.m[10] = t * u.z * u.z + c;
    return a;
}

Matrix4 mat4_ortho(float l, float r, float b, float t, float n, float f)
{
    Matrix4 a = mat4_zero();
    a.m[0] = 2.0f / (r - l);
    a.m[5] = 2.0f / (t - b);
    a.m[10] = -2.0f / (f - n);
    a.m[12] = -(r + l) / (r - l);
    a.m[13] = -(t + b) / (t - b);
    a.m[14] = -(f + n) / (f - n);
    a.m[15] = 1.0f;
    return a;
}

Matrix4 mat4_frustum(float l, float r, float b, float t, float n, float f)
{
    Matrix4 a = mat4_zero();
    if (l == r || b == t || n == f)
        return a;
    a.m[0] = 2.0f * n / (r - l);
    a.m[5] = 2.0f * n / (t - b);
    a.m[8] = (r + l) / (r - l);
    a.m[9] = (t + b) / (t - b);
    a.m[11] = -1.0f;
    if (f == -1.0f) {
        a.m[10] = -0.999f;
        a.m[14] = -2.0f * n * 0.999f;
    } else {
        a.m[10] = -(f + n) / (f - n);
        a.m[14] = -2.0f * f * n / (f - n);
    }
    return a;
}

Matrix4 mat4_perspective(float fov_y_degrees, float aspect, float n, float f)
{
    float top = n * (float)tan(radians(fov_y_degrees) / 2.0);
    float right = top * aspect;
    return mat4_frustum(-right, right, -top, top, n, f);
}

Matrix4 mat4_object_matrix(const float rotation[12], const float position[3])
{
    Matrix4 a = mat4_identity();
    for (int c = 0; c < 3; c++)
        for (int row = 0; row < 3; row++)
            a.m[c * 4 + row] = rotation[row * 4 + c];
    a.m[12] = position[0];
    a.m[13] = position[1];
    a.m[14] = position[2];
    return a;
}

// ---- vectors ------------------------------------------------------------------

Vector3 vector3(float x, float y, float z)
{
    Vector3 v = {x, y, z};
    return v;
}

Vector3 vector3_scaled(float s, Vector3 v) { return vector3(s * v.x, s * v.y, s * v.z); }

bool vector3_equal(Vector3 a, Vector3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

float vector3_dot(Vector3 a, Vector3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vector3 vector3_cross(Vector3 a, Vector3 b)
{
    return vector3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

float vector3_length(Vector3 v) { return sqrtf(vector3_dot(v, v)); }

Vector3 vector3_rotate_x(Vector3 v, float degrees)
{
    return mat4_transform_direction(mat4_rotation_x(degrees), v);
}

Vector3 vector3_rotate_y(Vector3 v, float degrees)
{
    return mat4_transform_direction(mat4_rotation_y(degrees), v);
}

Vector3 vector3_rotate_z(Vector3 v, float degrees)
{
    return mat4_transform_direction(mat4_rotation_z(degrees), v);
}

Vector3 vector3_rotate_axis(Vector3 v, Vector3 axis, float degrees)
{
    return mat4_transform_direction(mat4_rotation_axis(axis, degrees), v);
}

void vector3_normalise(Vector3 *v)
{
    float len = vector3_length(*v);
    if (len == 0.0f || len == 1.0f)
        return;
    v->x /= len;
    v->y /= len;
    v->z /= len;
}

Vector3 vector3_normalised(Vector3 v)
{
    vector3_normalise(&v);
    return v;
}

Vector3 vector3_pack_colour(Vector3 d)
{
    vector3_normalise(&d);
    return vector3(0.5f * d.x + 0.5f, 0.5f * d.y + 0.5f, 0.5f * d.z + 0.5f);
}

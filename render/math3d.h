// Single-precision 4x4 matrices and 3-vectors in OpenGL's conventions: a
// Matrix4 holds 16 floats in column order (element k is row k % 4 of column
// k / 4), so it can be handed to glLoadMatrixf / glMultMatrixf unchanged.
// Angles are in degrees.
#pragma once

struct Matrix4 {
    float m[16];
};

struct Vector3 {
    float x, y, z;
};

// ---- construction and element access ----------------------------------------
Matrix4 mat4_from_values(const float values[16]);
Matrix4 mat4_zero();
Matrix4 mat4_identity();
// Ignored when k is outside 0..15.
void mat4_set(Matrix4 *a, unsigned k, float value);
// 0 when k is outside 0..15.
float mat4_get(const Matrix4 &a, unsigned k);
// Elements 3, 7 and 11 are 0 and element 15 is 1.
bool mat4_is_affine(const Matrix4 &a);

// ---- arithmetic ---------------------------------------------------------------
Matrix4 mat4_add(const Matrix4 &a, const Matrix4 &b);
Matrix4 mat4_sub(const Matrix4 &a, const Matrix4 &b);
void mat4_add_in_place(Matrix4 *a, const Matrix4 &b);
void mat4_sub_in_place(Matrix4 *a, const Matrix4 &b);
Matrix4 mat4_negate(const Matrix4 &a);
Matrix4 mat4_scaled(const Matrix4 &a, float s);
void mat4_scale_in_place(Matrix4 *a, float s);
// Nothing happens when s is exactly 0 or exactly 1.
void mat4_divide_in_place(Matrix4 *a, float s);
bool mat4_equal(const Matrix4 &a, const Matrix4 &b);
bool mat4_not_equal(const Matrix4 &a, const Matrix4 &b);

// a x b; two affine matrices take a reduced product.
Matrix4 mat4_multiply(const Matrix4 &a, const Matrix4 &b);
// The full 64-term product, whatever the bottom rows hold.
Matrix4 mat4_multiply_full(const Matrix4 &a, const Matrix4 &b);

Matrix4 mat4_transpose(const Matrix4 &a);
// Inverse of a rotation plus translation: the 3x3 part transposed and the
// translation carried back through it.
Matrix4 mat4_rigid_inverse(const Matrix4 &a);
// General inverse (an affine matrix takes a 3x3 path). A singular matrix
// gives the identity and -1; otherwise 0.
int mat4_inverse(const Matrix4 &a, Matrix4 *out);
int mat4_invert_in_place(Matrix4 *a);

// ---- transforming vectors -----------------------------------------------------
// a x (x, y, z, 1), keeping x, y, z.
Vector3 mat4_transform_point(const Matrix4 &a, Vector3 v);
// By the 3x3 part, and by its transpose.
Vector3 mat4_transform_direction(const Matrix4 &a, Vector3 v);
Vector3 mat4_transform_direction_transposed(const Matrix4 &a, Vector3 v);
Vector3 mat4_add_translation(const Matrix4 &a, Vector3 v);
Vector3 mat4_sub_translation(const Matrix4 &a, Vector3 v);

// ---- builders -----------------------------------------------------------------
Matrix4 mat4_translation(Vector3 t);
Matrix4 mat4_scale(float s);
Matrix4 mat4_rotation_x(float degrees);
Matrix4 mat4_rotation_y(float degrees);
Matrix4 mat4_rotation_z(float degrees);
// About x first, then y, then z: rz x ry x rx.
Matrix4 mat4_rotation_xyz(float ax, float ay, float az);
// About an axis (normalised here) through the origin.
Matrix4 mat4_rotation_axis(Vector3 axis, float degrees);
Matrix4 mat4_ortho(float left, float right, float bottom, float top, float near_plane,
                   float far_plane);
// The zero matrix when left = right, bottom = top or near = far; a far
// plane of -1 gives an infinite frustum.
Matrix4 mat4_frustum(float left, float right, float bottom, float top, float near_plane,
                     float far_plane);
Matrix4 mat4_perspective(float fov_y_degrees, float aspect, float near_plane, float far_plane);
// A physics body's frame: rotation is three rows of four values (the fourth
// of each row unread), position the translation.
Matrix4 mat4_object_matrix(const float rotation[12], const float position[3]);

// ---- vectors ------------------------------------------------------------------
Vector3 vector3(float x, float y, float z);
Vector3 vector3_scaled(float s, Vector3 v);
bool vector3_equal(Vector3 a, Vector3 b);
float vector3_dot(Vector3 a, Vector3 b);
Vector3 vector3_cross(Vector3 a, Vector3 b);
float vector3_length(Vector3 v);
Vector3 vector3_rotate_x(Vector3 v, float degrees);
Vector3 vector3_rotate_y(Vector3 v, float degrees);
Vector3 vector3_rotate_z(Vector3 v, float degrees);
Vector3 vector3_rotate_axis(Vector3 v, Vector3 axis, float degrees);
// A vector whose length is exactly 0 or exactly 1 is left as it is.
void vector3_normalise(Vector3 *v);
Vector3 vector3_normalised(Vector3 v);
// Normalised, then each component c becomes 0.5 c + 0.5.
Vector3 vector3_pack_colour(Vector3 direction);

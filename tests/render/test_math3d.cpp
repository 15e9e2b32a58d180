// Matrices and vectors: element access, products, inverses, builders.
#include "render/math3d.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

Matrix4 sample(float base)
{
    float v[16];
    for (int k = 0; k < 16; k++)
        v[k] = base + k * 0.5f - (k % 3);
    return mat4_from_values(v);
}

void expect_near(const Matrix4 &a, const Matrix4 &b, float eps = 1e-5f)
{
    for (int k = 0; k < 16; k++)
        EXPECT_NEAR(a.m[k], b.m[k], eps) << "element " << k;
}

void expect_near(Vector3 a, Vector3 b, float eps = 1e-5f)
{
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

// A rotation about a skew axis with a translation, and a scale.
Matrix4 affine_sample()
{
    Matrix4 r = mat4_rotation_axis(vector3(1, 2, 3), 37.0f);
    return mat4_multiply(mat4_translation(vector3(0.5f, -2, 3)),
                         mat4_multiply(r, mat4_scale(1.5f)));
}

TEST(Math3d, ElementAccessIsBoundedAndArithmeticIsElementWise)
{
    Matrix4 a = sample(1);
    Matrix4 before = a;
    mat4_set(&a, 16, 99.0f);
    mat4_set(&a, (unsigned)-1, 99.0f);
    EXPECT_TRUE(mat4_equal(a, before));
    EXPECT_EQ(mat4_get(a, 16), 0.0f);
    EXPECT_EQ(mat4_get(a, (unsigned)-1), 0.0f);
    mat4_set(&a, 15, 7.0f);
    EXPECT_EQ(mat4_get(a, 15), 7.0f);
    EXPECT_TRUE(mat4_not_equal(a, before));

    Matrix4 b = sample(-3);
    Matrix4 sum = mat4_add(a, b), diff = mat4_sub(sum, b);
    EXPECT_TRUE(mat4_equal(diff, a));
    Matrix4 in_place = a;
    mat4_add_in_place(&in_place, b);
    EXPECT_TRUE(mat4_equal(in_place, sum));
    mat4_sub_in_place(&in_place, b);
    EXPECT_TRUE(mat4_equal(in_place, a));
    EXPECT_TRUE(mat4_equal(mat4_add(a, mat4_negate(a)), mat4_zero()));

    Matrix4 twice = mat4_scaled(a, 2.0f);
    for (int k = 0; k < 16; k++)
        EXPECT_EQ(twice.m[k], 2.0f * a.m[k]);
    Matrix4 back = twice;
    mat4_divide_in_place(&back, 2.0f);
    EXPECT_TRUE(mat4_equal(back, a));
    for (float s : {0.0f, 1.0f}) {
        Matrix4 same = twice;
        mat4_divide_in_place(&same, s);
        EXPECT_TRUE(mat4_equal(same, twice));
    }
}

TEST(Math3d, AffineProductEqualsFullProduct)
{
    Matrix4 a = affine_sample(), b = mat4_rotation_xyz(10, -20, 30);
    b.m[12] = 4;
    ASSERT_TRUE(mat4_is_affine(a));
    ASSERT_TRUE(mat4_is_affine(b));
    expect_near(mat4_multiply(a, b), mat4_multiply_full(a, b));
    // Not affine: the general product, checked on one element by hand.
    Matrix4 p = sample(1), q = sample(2);
    float e = 0;
    for (int k = 0; k < 4; k++)
        e += p.m[k * 4 + 1] * q.m[2 * 4 + k];
    EXPECT_FLOAT_EQ(mat4_multiply(p, q).m[2 * 4 + 1], e);
    expect_near(mat4_multiply(mat4_identity(), p), p);
    expect_near(mat4_transpose(mat4_transpose(p)), p);
    EXPECT_EQ(mat4_transpose(p).m[1], p.m[4]);
}

TEST(Math3d, InversesUndoTheirMatrix)
{
    Matrix4 rigid = mat4_multiply(mat4_translation(vector3(1, 2, 3)),
                                  mat4_rotation_axis(vector3(0, 1, 1), 50));
    expect_near(mat4_multiply(rigid, mat4_rigid_inverse(rigid)), mat4_identity());

    Matrix4 general = mat4_multiply_full(mat4_perspective(60, 1.5f, 0.5f, 50), affine_sample());
    const Matrix4 cases[] = {affine_sample(), rigid, general};
    for (const Matrix4 &m : cases) {
        Matrix4 inv;
        ASSERT_EQ(mat4_inverse(m, &inv), 0);
        expect_near(mat4_multiply_full(m, inv), mat4_identity(), 1e-4f);
        Matrix4 again = m;
        EXPECT_EQ(mat4_invert_in_place(&again), 0);
        expect_near(again, inv);
    }
    Matrix4 singular = mat4_scale(0), out;
    EXPECT_EQ(mat4_inverse(singular, &out), -1);
    EXPECT_TRUE(mat4_equal(out, mat4_identity()));
    EXPECT_EQ(mat4_inverse(mat4_zero(), &out), -1);
}

TEST(Math3d, RotationsFollowTheRightHand)
{
    Matrix4 z = mat4_rotation_z(30);
    EXPECT_FLOAT_EQ(z.m[0], (float)cos(M_PI / 6));
    EXPECT_FLOAT_EQ(z.m[1], (float)sin(M_PI / 6));
    EXPECT_FLOAT_EQ(z.m[4], -(float)sin(M_PI / 6));
    struct {
        Vector3 v;
        int axis;
        Vector3 expected;
    } cases[] = {
        {{1, 0, 0}, 2, {0, 1, 0}}, {{0, 1, 0}, 0, {0, 0, 1}}, {{0, 0, 1}, 1, {1, 0, 0}},
        {{0, 0, 5}, 2, {0, 0, 5}}, {{2, 0, 0}, 0, {2, 0, 0}},
    };
    for (const auto &c : cases) {
        Vector3 r = c.axis == 0 ? vector3_rotate_x(c.v, 90)
                  : c.axis == 1 ? vector3_rotate_y(c.v, 90)
                                : vector3_rotate_z(c.v, 90);
        expect_near(r, c.expected);
        Vector3 axis = {c.axis == 0 ? 3.0f : 0, c.axis == 1 ? 3.0f : 0, c.axis == 2 ? 3.0f : 0};
        expect_near(vector3_rotate_axis(c.v, axis, 90), c.expected);
    }
    expect_near(mat4_rotation_xyz(90, 0, 90), mat4_multiply(mat4_rotation_z(90),
                                                            mat4_rotation_x(90)));
}

TEST(Math3d, PointsAndDirectionsTransform)
{
    Matrix4 m = mat4_multiply(mat4_translation(vector3(1, 2, 3)), mat4_rotation_z(90));
    expect_near(mat4_transform_point(m, vector3(1, 0, 0)), vector3(1, 3, 3));
    expect_near(mat4_transform_direction(m, vector3(1, 0, 0)), vector3(0, 1, 0));
    expect_near(mat4_transform_direction_transposed(m, vector3(0, 1, 0)), vector3(1, 0, 0));
    expect_near(mat4_add_translation(m, vector3(1, 1, 1)), vector3(2, 3, 4));
    expect_near(mat4_sub_translation(m, vector3(1, 1, 1)), vector3(0, -1, -2));

    // A physics rotation is row-major three by four.
    const float rot[12] = {0, -1, 0, 9, 1, 0, 0, 9, 0, 0, 1, 9};
    const float pos[3] = {5, 6, 7};
    Matrix4 obj = mat4_object_matrix(rot, pos);
    const float expected[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};
    EXPECT_TRUE(mat4_equal(obj, mat4_from_values(expected)));
    Matrix4 inv;
    ASSERT_EQ(mat4_inverse(obj, &inv), 0);
    expect_near(mat4_transform_point(inv, vector3(5, 7, 7)), vector3(1, 0, 0));
}

TEST(Math3d, Projections)
{
    Matrix4 o = mat4_ortho(-2, 2, -1, 3, 1, 11);
    EXPECT_FLOAT_EQ(o.m[0], 0.5f);
    EXPECT_FLOAT_EQ(o.m[5], 0.5f);
    EXPECT_FLOAT_EQ(o.m[10], -0.2f);
    EXPECT_FLOAT_EQ(o.m[13], -0.5f);
    EXPECT_FLOAT_EQ(o.m[14], -1.2f);
    EXPECT_FLOAT_EQ(o.m[15], 1.0f);

    EXPECT_TRUE(mat4_equal(mat4_frustum(-1, 1, -1, 1, 2, 2), mat4_zero()));
    EXPECT_TRUE(mat4_equal(mat4_frustum(1, 1, -1, 1, 1, 9), mat4_zero()));
    EXPECT_TRUE(mat4_equal(mat4_frustum(-1, 1, 2, 2, 1, 9), mat4_zero()));
    Matrix4 f = mat4_frustum(-1, 3, -2, 2, 1, 9);
    EXPECT_FLOAT_EQ(f.m[0], 0.5f);
    EXPECT_FLOAT_EQ(f.m[8], 0.5f);
    EXPECT_FLOAT_EQ(f.m[11], -1.0f);
    EXPECT_FLOAT_EQ(f.m[10], -1.25f);
    EXPECT_FLOAT_EQ(f.m[14], -2.25f);
    EXPECT_EQ(f.m[15], 0.0f);
    Matrix4 inf = mat4_frustum(-1, 1, -1, 1, 2, -1);
    EXPECT_FLOAT_EQ(inf.m[10], -0.999f);
    EXPECT_FLOAT_EQ(inf.m[14], -2 * 2 * 0.999f);
    Matrix4 p = mat4_perspective(90, 2, 1, 9);
    EXPECT_NEAR(p.m[5], 1.0f, 1e-6f);
    EXPECT_NEAR(p.m[0], 0.5f, 1e-6f);
}

TEST(Math3d, NormalisingAndPacking)
{
    Vector3 zero = vector3(0, 0, 0);
    vector3_normalise(&zero);
    EXPECT_TRUE(vector3_equal(zero, vector3(0, 0, 0)));
    expect_near(vector3_normalised(vector3(0, 3, 4)), vector3(0, 0.6f, 0.8f));
    Vector3 unit = vector3(1, 0, 0);
    EXPECT_TRUE(vector3_equal(vector3_normalised(unit), unit));
    EXPECT_TRUE(vector3_equal(vector3_pack_colour(vector3(0, 0, 1)), vector3(0.5f, 0.5f, 1)));
    expect_near(vector3_pack_colour(vector3(-7, 0, 0)), vector3(0, 0.5f, 0.5f));
    expect_near(vector3_scaled(2, vector3(1, -2, 3)), vector3(2, -4, 6));
    EXPECT_FALSE(vector3_equal(vector3(1, 2, 3), vector3(1, 2, 4)));
}

} // namespace

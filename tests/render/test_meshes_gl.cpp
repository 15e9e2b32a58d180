// The bump meshes against a real (software) GL context: the cube map's
// upload, and dot3 drawing lit from the light's side.
#include "render/meshes.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/camera.h"
#include "render/gl_draw.h"
#include "render/scene.h"
#include "render/texture.h"

namespace {

// A 4 x 4 RGB texture of one colour.
GLuint solid_texture(uint8_t r, uint8_t g, uint8_t b)
{
    uint8_t pixels[4 * 4 * 3];
    for (int i = 0; i < 16; i++) {
        pixels[i * 3] = r;
        pixels[i * 3 + 1] = g;
        pixels[i * 3 + 2] = b;
    }
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    glBindTexture(GL_TEXTURE_2D, 0);
    return id;
}

struct Rgb {
    int r, g, b;
};

Rgb centre_pixel()
{
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    uint8_t p[4] = {0, 0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(vp[0] + vp[2] / 2, vp[1] + vp[3] / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}

// An orthographic view down -z; the light placed in eye space.
void begin_view(float light_z)
{
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-2, 2, -1.5, 1.5, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float light[4] = {0, 0, light_z, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);
}

TEST(MeshesGl, CubeMapHoldsTheSixFaces)
{
    ASSERT_EQ(create_normalisation_cube_map(), 0);
    ASSERT_NE(normalisation_cube_map, 0u);
    glBindTexture(GL_TEXTURE_CUBE_MAP, normalisation_cube_map);
    std::vector<uint8_t> got(CUBE_MAP_FACE_BYTES), want(CUBE_MAP_FACE_BYTES);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (int f = 0; f < 6; f++) {
        glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, 0, GL_RGB, GL_UNSIGNED_BYTE, got.data());
        fill_cube_map_face(f, want.data());
        EXPECT_EQ(memcmp(got.data(), want.data(), CUBE_MAP_FACE_BYTES), 0) << f;
    }
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, &value);
    EXPECT_EQ(value, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    GLuint id = normalisation_cube_map;
    free_normalisation_cube_map();
    EXPECT_EQ(normalisation_cube_map, 0u);
    EXPECT_FALSE(glIsTexture(id));
}

// A flat normal map and a white colour texture: the draw colour, scaled by
// how squarely the surface faces the light.
TEST(MeshesGl, BumpShapesAreLitFromTheLightSide)
{
    bind_bump_meshes();
    init_bump_mapping();
    ASSERT_EQ(bump_mapping_supported, 1) << "dot3 bump mapping missing in the test driver";
    ASSERT_NE(normalisation_cube_map, 0u);
    ASSERT_EQ(sphere_mesh.count, SPHERE_MESH_VERTICES);

    Texture normal_map = {}, colour = {};
    normal_map.id = solid_texture(128, 128, 255);
    colour.id = solid_texture(255, 255, 255);
    set_draw_color(1, 0, 0, 1);
    const float sides[3] = {1.5f, 1.5f, 1.5f};
    const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    const float origin[3] = {0, 0, 0};

    struct {
        const char *name;
        int shape;   // 0 box, 1 sphere, 2 capsule through the outward slots, 3 sphere from its frame
        float light_z;
        bool lit;
    } cases[] = {
        {"box, light in front", 0, 8, true},     {"box, light behind", 0, -8, false},
        {"sphere, light in front", 1, 8, true},  {"sphere, light behind", 1, -8, false},
        {"capsule, light in front", 2, 8, true}, {"capsule, light behind", 2, -8, false},
        {"sphere frame, light in front", 3, 8, true},
        {"sphere frame, light behind", 3, -8, false},
    };
    for (const auto &c : cases) {
        begin_view(c.light_z);
        glPushMatrix();
        // A capsule lies along x so that its side faces the viewer.
        if (c.shape == 2)
            glRotatef(90, 0, 1, 0);
        if (c.shape == 1)
            glScalef(0.9f, 0.9f, 0.9f);
        switch (c.shape) {
        case 0: render_outward.bump_box(sides, &normal_map, &colour); break;
        case 1: render_outward.bump_sphere(&normal_map, &colour); break;
        case 2: render_outward.bump_capsule(0.6f, 0.6f, 1.5f, &normal_map, &colour); break;
        default:
            // The light from the camera position, in world space.
            camera_state.position[0] = camera_state.position[1] = 0;
            camera_state.position[2] = c.light_z;
            bump_draw_sphere(origin, identity, 1.0f, &normal_map, &colour);
            break;
        }
        glPopMatrix();
        Rgb p = centre_pixel();
        if (c.lit)
            EXPECT_GT(p.r, 200) << c.name;
        else
            EXPECT_LT(p.r, 40) << c.name;
        EXPECT_LT(p.g, 30) << c.name;
        EXPECT_LT(p.b, 30) << c.name;

        // Drawing leaves the fixed-function state as it found it.
        EXPECT_TRUE(glIsEnabled(GL_LIGHTING)) << c.name;
        EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY)) << c.name;
        GLint unit = 0;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
        EXPECT_EQ(unit, GL_TEXTURE0) << c.name;
        GLint mode = 0;
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
        EXPECT_EQ(mode, GL_MODULATE) << c.name;
        glActiveTexture(GL_TEXTURE1);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_CUBE_MAP)) << c.name;
        glActiveTexture(GL_TEXTURE0);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << c.name;
    }
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);

    glDeleteTextures(1, &normal_map.id);
    glDeleteTextures(1, &colour.id);
    free_bump_mapping();
    EXPECT_EQ(normalisation_cube_map, 0u);
    EXPECT_EQ(box_mesh.count, 0);
    EXPECT_EQ(sphere_mesh.vertices, nullptr);
    EXPECT_EQ(capsule_mesh.count, 0);
}

} // namespace

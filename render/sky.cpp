#include "render/sky.h"

#include <GL/glew.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/render_util.h"
#include "render/world_shader.h"

uint32_t sky_texture = 0;
uint32_t sun_texture = 0;

static float clamp01(float x) { return x < 0.0f ? 0.0f : x > 1.0f ? 1.0f : x; }
static uint8_t to_byte(float x) { return (uint8_t)(clamp01(x) * 255.0f); }

void sky_texel_direction(int i, int j, float out[3])
{
    double u = 2.0 * i / SKY_TEXTURE_SIZE - 1.0;
    double v = 2.0 * j / SKY_TEXTURE_SIZE - 1.0;
    double r = std::sqrt(u * u + v * v);
    if (r <= 0.0) {
        // The centre of the texture looks straight up.
        out[0] = 0.0f;
        out[1] = 0.0f;
        out[2] = 1.0f;
        return;
    }
    // Bisection between the horizon (1, 0) and the zenith (0, 1) in the
    // (horizontal, vertical) plane for the dome point with r = m (1 - c).
    double lo_m = 1.0, lo_c = 0.0, hi_m = 0.0, hi_c = 1.0;
    double m = 1.0, c = 0.0;
    for (int step = 0; step < 16; step++) {
        m = lo_m + hi_m;
        c = lo_c + hi_c;
        double len = std::sqrt(m * m + c * c);
        m /= len;
        c /= len;
        if (r < m * (1.0 - c)) {
            lo_m = m;
            lo_c = c;
        } else {
            hi_m = m;
            hi_c = c;
        }
    }
    out[0] = (float)(m * u / r);
    out[1] = (float)(m * v / r);
    out[2] = (float)c;
}

static float dot3(const float a[3], const float b[3])
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

static void cross3(const float a[3], const float b[3], float out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

static int normalise3(float v[3])
{
    float len = std::sqrt(dot3(v, v));
    if (!(len > 1e-6f) || !std::isfinite(len)) {
        v[0] = v[1] = v[2] = 0.0f;
        return 1;
    }
    v[0] /= len;
    v[1] /= len;
    v[2] /= len;
    return 0;
}

// The dome directions depend on nothing but the texel: worked out once.
static float (*sky_directions)[3];

static const float *cached_direction(int i, int j)
{
    if (!sky_directions) {
        sky_directions =
            (float(*)[3])malloc(sizeof(float[3]) * SKY_TEXTURE_SIZE * SKY_TEXTURE_SIZE);
        if (!sky_directions)
            return nullptr;
        for (int y = 0; y < SKY_TEXTURE_SIZE; y++)
            for (int x = 0; x < SKY_TEXTURE_SIZE; x++)
                sky_texel_direction(x, y, sky_directions[y * SKY_TEXTURE_SIZE + x]);
    }
    return sky_directions[j * SKY_TEXTURE_SIZE + i];
}

void fill_sky_pixels(uint8_t *pixels)
{
    const WorldShaderValues &w = world_shader;
    const float *sun = w.sun_light_dir;
    float polar[3] = {w.polar_light_dir[0], w.polar_light_dir[1], w.polar_light_dir[2]};
    normalise3(polar);
    for (int j = 0; j < SKY_TEXTURE_SIZE; j++) {
        for (int i = 0; i < SKY_TEXTURE_SIZE; i++) {
            float d[3];
            const float *cached = cached_direction(i, j);
            if (cached) {
                d[0] = cached[0];
                d[1] = cached[1];
                d[2] = cached[2];
            } else {
                sky_texel_direction(i, j, d);
            }
            double y = std::pow(1.0 - (double)d[2], (double)w.sky_blend_power);
            if (!std::isfinite(y))
                y = 0.0;
            float base[3] = {w.sky_color[0], w.sky_color[1], w.sky_color[2]};
            float q = dot3(d, sun);
            float x[3];
            cross3(sun, d, x);
            // The sun disk, on the sun's side of the dome only.
            if (dot3(x, x) < 0.002916f && q > 0.0f)
                for (int k = 0; k < 3; k++)
                    base[k] += w.sun_color[k];
            if (q < 0.0f)
                q = 0.0f;
            float p = dot3(d, polar);
            if (p < 0.0f)
                p = 0.0f;
            p *= p;
            float q2 = q * q;
            float beam = q2 * q2 * q2 * q2;   // (Q x Q) to the fourth power
            uint8_t *out = pixels + 4 * (j * SKY_TEXTURE_SIZE + i);
            for (int k = 0; k < 3; k++) {
                double value = (y * w.background_color[k] +
                                (1.0 - y) * (beam * w.sunbeam_color[k] + base[k] +
                                             p * w.polar_light_color[k])) *
                               0.5;
                out[k] = to_byte((float)value);
            }
            out[3] = 0;
        }
    }
}

void fill_sun_pixels(uint8_t *pixels)
{
    uint8_t rgb[3];
    for (int k = 0; k < 3; k++)
        rgb[k] = to_byte(world_shader.sun_color[k]);
    for (int l = -64; l < 64; l++) {
        for (int k = -64; k < 64; k++) {
            uint8_t *out = pixels + 4 * ((l + 64) * SUN_TEXTURE_SIZE + (k + 64));
            out[0] = rgb[0];
            out[1] = rgb[1];
            out[2] = rgb[2];
            float w = (float)(k * k + l * l) / 2621.44f;
            float a;
            if (w < 1.0f)
                a = 255.0f;
            else {
                a = ((w - 1.0f) / -0.5625f + 1.0f) * 255.0f;
                if (a < 0.0f)
                    a = 0.0f;
            }
            out[3] = (uint8_t)(a > 255.0f ? 255.0f : a);
        }
    }
}

void sun_sprite_axes(const float sun[3], float e1[3], float e2[3])
{
    float s[3] = {sun[0], sun[1], sun[2]};
    if (normalise3(s) != 0) {
        s[0] = 0.0f;
        s[1] = 0.0f;
        s[2] = 1.0f;
    }
    static const float up[3] = {0, 0, 1};
    static const float side[3] = {1, 0, 0};
    cross3(s, up, e1);
    // A sun straight above or below: the sprite takes another axis.
    if (normalise3(e1) != 0 || dot3(e1, e1) < 0.5f) {
        cross3(s, side, e1);
        normalise3(e1);
    }
    cross3(s, e1, e2);
    normalise3(e2);
}

static void delete_sky_gl()
{
    if (sky_texture) {
        GLuint id = sky_texture;
        glDeleteTextures(1, &id);
        sky_texture = 0;
    }
    if (sun_texture) {
        GLuint id = sun_texture;
        glDeleteTextures(1, &id);
        sun_texture = 0;
    }
}

void free_sky_textures()
{
    delete_sky_gl();
    free(sky_directions);
    sky_directions = nullptr;
}

void build_sky_texture()
{
    uint8_t *sky = (uint8_t *)malloc(SKY_TEXTURE_SIZE * SKY_TEXTURE_SIZE * 4);
    uint8_t *sun = (uint8_t *)malloc(SUN_TEXTURE_SIZE * SUN_TEXTURE_SIZE * 4);
    if (!sky || !sun) {
        fprintf(stderr, "build_sky_texture: out of memory\n");
        free(sky);
        free(sun);
        return;
    }
    fill_sky_pixels(sky);
    fill_sun_pixels(sun);
    delete_sky_gl();
    sky_texture = upload_rgba_texture(sky, SKY_TEXTURE_SIZE, SKY_TEXTURE_SIZE);
    sun_texture = upload_rgba_texture(sun, SUN_TEXTURE_SIZE, SUN_TEXTURE_SIZE);
    free(sky);
    free(sun);
}

void draw_sun_sprite()
{
    if (!world_shader.sharp_shadow)
        return;
    float s[3] = {world_shader.sun_light_dir[0], world_shader.sun_light_dir[1],
                  world_shader.sun_light_dir[2]};
    float e1[3], e2[3];
    sun_sprite_axes(s, e1, e2);
    const float h = 0.075f * 550.0f;
    // 32-byte vertices: position, normal, texture coordinate.
    float v[6][8];
    static const float corner[6][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, -1}, {1, 1}, {-1, 1}};
    for (int n = 0; n < 6; n++) {
        for (int k = 0; k < 3; k++) {
            v[n][k] = 550.0f * s[k] + h * (corner[n][0] * e1[k] + corner[n][1] * e2[k]);
            v[n][3 + k] = -s[k];
        }
        v[n][6] = 0.5f * (corner[n][0] + 1.0f);
        v[n][7] = 0.5f * (corner[n][1] + 1.0f);
    }
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glBindTexture(GL_TEXTURE_2D, sun_texture);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 32, &v[0][0]);
    glNormalPointer(GL_FLOAT, 32, &v[0][3]);
    glTexCoordPointer(2, GL_FLOAT, 32, &v[0][6]);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glPopClientAttrib();
}

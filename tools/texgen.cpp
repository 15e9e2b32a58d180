// Draws the interface textures of data/textures/ from code: signed-distance
// shapes, gradients and value noise, written as uncompressed 32-bit TGA
// files (square, power-of-two sizes, rows bottom first).
//
//   texgen <output-directory>
#include <sys/stat.h>
#include <sys/types.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Colour {
    float r, g, b, a;
};

struct Canvas {
    int size;
    std::vector<float> px;   // RGBA, row 0 at the top
    explicit Canvas(int n) : size(n), px((size_t)n * n * 4, 0.0f) {}

    // Blends c over the pixel with the given coverage.
    void blend(int x, int y, Colour c, float coverage)
    {
        if (x < 0 || y < 0 || x >= size || y >= size || coverage <= 0.0f)
            return;
        if (coverage > 1.0f)
            coverage = 1.0f;
        float *p = &px[((size_t)y * size + x) * 4];
        float a = c.a * coverage;
        float out_a = a + p[3] * (1.0f - a);
        if (out_a <= 0.0f)
            return;
        p[0] = (c.r * a + p[0] * p[3] * (1.0f - a)) / out_a;
        p[1] = (c.g * a + p[1] * p[3] * (1.0f - a)) / out_a;
        p[2] = (c.b * a + p[2] * p[3] * (1.0f - a)) / out_a;
        p[3] = out_a;
    }
};

// A shape as a signed distance in pixel units (negative inside), taking the
// point in 0..1 canvas coordinates.
typedef float (*Shape)(float x, float y, const float *params);

float clampf(float v, float lo, float hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

float sd_circle(float x, float y, float cx, float cy, float r)
{
    return hypotf(x - cx, y - cy) - r;
}

float sd_box(float x, float y, float cx, float cy, float hx, float hy, float round)
{
    float dx = fabsf(x - cx) - hx + round, dy = fabsf(y - cy) - hy + round;
    float ox = dx > 0 ? dx : 0, oy = dy > 0 ? dy : 0;
    float inside = dx > dy ? dx : dy;
    return hypotf(ox, oy) + (inside < 0 ? inside : 0) - round;
}

float sd_segment(float x, float y, float ax, float ay, float bx, float by, float r)
{
    float px = x - ax, py = y - ay, ux = bx - ax, uy = by - ay;
    float h = clampf((px * ux + py * uy) / (ux * ux + uy * uy), 0.0f, 1.0f);
    return hypotf(px - ux * h, py - uy * h) - r;
}

// Convex polygon, corners in either order.
float sd_polygon(float x, float y, const float (*v)[2], int n)
{
    float area = 0;
    for (int i = 0; i < n; i++) {
        const float *a = v[i], *b = v[(i + 1) % n];
        area += a[0] * b[1] - b[0] * a[1];
    }
    float sign = area > 0 ? 1.0f : -1.0f;
    float worst = -1e9f;
    float edge_dist = 1e9f;
    for (int i = 0; i < n; i++) {
        const float *a = v[i], *b = v[(i + 1) % n];
        float ex = b[0] - a[0], ey = b[1] - a[1];
        float len = hypotf(ex, ey);
        float d = sign * ((x - a[0]) * ey - (y - a[1]) * ex) / len;
        if (d > worst)
            worst = d;
        float s = sd_segment(x, y, a[0], a[1], b[0], b[1], 0);
        if (s < edge_dist)
            edge_dist = s;
    }
    return worst <= 0 ? worst : edge_dist;
}

// Value noise on a lattice, smooth-stepped, seeded by a small hash.
float hash2(int x, int y, int seed)
{
    uint32_t h = (uint32_t)x * 374761393u + (uint32_t)y * 668265263u + (uint32_t)seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xffffff) / (float)0xffffff;
}

float value_noise(float x, float y, int seed)
{
    int ix = (int)floorf(x), iy = (int)floorf(y);
    float fx = x - ix, fy = y - iy;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    float a = hash2(ix, iy, seed), b = hash2(ix + 1, iy, seed);
    float c = hash2(ix, iy + 1, seed), d = hash2(ix + 1, iy + 1, seed);
    return a + (b - a) * fx + (c - a) * fy + (a - b - c + d) * fx * fy;
}

float fractal_noise(float x, float y, int seed)
{
    float sum = 0, amp = 0.5f, freq = 1;
    for (int o = 0; o < 4; o++) {
        sum += amp * value_noise(x * freq, y * freq, seed + o * 17);
        amp *= 0.5f;
        freq *= 2;
    }
    return sum;
}

// Fills every pixel for which dist(x, y) (in 0..1 units) is inside, with a
// one-pixel anti-aliased edge.
template <typename F>
void fill(Canvas &c, Colour col, F dist)
{
    const float px = 1.0f / c.size;
    for (int y = 0; y < c.size; y++)
        for (int x = 0; x < c.size; x++) {
            float u = (x + 0.5f) * px, v = (y + 0.5f) * px;
            float d = dist(u, v) / px;
            c.blend(x, y, col, 0.5f - d);
        }
}

int write_tga(const char *path, const Canvas &c)
{
    FILE *f = fopen(path, "wb");
    if (!f) {
        fprintf(stderr, "texgen: unable to write %s\n", path);
        return 1;
    }
    uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    header[12] = (uint8_t)(c.size & 0xff);
    header[13] = (uint8_t)(c.size >> 8);
    header[14] = header[12];
    header[15] = header[13];
    header[16] = 32;
    header[17] = 8;   // 8 alpha bits, origin bottom left
    fwrite(header, 1, sizeof header, f);
    std::vector<uint8_t> row((size_t)c.size * 4);
    for (int y = c.size - 1; y >= 0; y--) {
        for (int x = 0; x < c.size; x++) {
            const float *p = &c.px[((size_t)y * c.size + x) * 4];
            uint8_t *o = &row[(size_t)x * 4];
            o[0] = (uint8_t)(clampf(p[2], 0, 1) * 255.0f + 0.5f);   // BGRA
            o[1] = (uint8_t)(clampf(p[1], 0, 1) * 255.0f + 0.5f);
            o[2] = (uint8_t)(clampf(p[0], 0, 1) * 255.0f + 0.5f);
            o[3] = (uint8_t)(clampf(p[3], 0, 1) * 255.0f + 0.5f);
        }
        fwrite(row.data(), 1, row.size(), f);
    }
    int bad = ferror(f);
    if (fclose(f) != 0 || bad) {
        fprintf(stderr, "texgen: error writing %s\n", path);
        return 1;
    }
    return 0;
}

// ---- the pictures -------------------------------------------------------

const Colour kInk = {0.12f, 0.12f, 0.14f, 1.0f};
const Colour kWhite = {1, 1, 1, 1};

void blood_splat(Canvas &c, int seed)
{
    for (int y = 0; y < c.size; y++)
        for (int x = 0; x < c.size; x++) {
            float u = (x + 0.5f) / c.size - 0.5f, v = (y + 0.5f) / c.size - 0.5f;
            float ang = atan2f(v, u);
            float wobble = fractal_noise(cosf(ang) * 2 + 3, sinf(ang) * 2 + 3, seed);
            float radius = 0.22f + 0.2f * wobble;
            float r = hypotf(u, v);
            float cover = clampf((radius - r) * c.size * 0.5f, 0, 1);
            // A few droplets round the blot.
            for (int k = 0; k < 7; k++) {
                float a = hash2(k, seed, 3) * 6.2831853f;
                float dr = 0.33f + 0.12f * hash2(k, seed, 5);
                float size = 0.015f + 0.025f * hash2(k, seed, 7);
                float d = hypotf(u - cosf(a) * dr, v - sinf(a) * dr) - size;
                cover = fmaxf(cover, clampf(-d * c.size, 0, 1));
            }
            float shade = 0.75f + 0.25f * fractal_noise(u * 8, v * 8, seed + 1);
            c.blend(x, y, Colour{0.55f * shade, 0.02f, 0.08f * shade, 0.95f}, cover);
        }
}

void logo(Canvas &c)
{
    fill(c, Colour{0.10f, 0.10f, 0.12f, 1}, [](float x, float y) {
        return sd_circle(x, y, 0.5f, 0.5f, 0.46f);
    });
    fill(c, Colour{0.16f, 0.66f, 0.86f, 1}, [](float x, float y) {
        return fabsf(sd_circle(x, y, 0.5f, 0.5f, 0.42f)) - 0.02f;
    });
    // A bold Z of three strokes.
    fill(c, kWhite, [](float x, float y) {
        float top = sd_segment(x, y, 0.32f, 0.32f, 0.68f, 0.32f, 0.05f);
        float bottom = sd_segment(x, y, 0.32f, 0.68f, 0.68f, 0.68f, 0.05f);
        float diag = sd_segment(x, y, 0.66f, 0.34f, 0.34f, 0.66f, 0.05f);
        return fminf(top, fminf(bottom, diag));
    });
}

void award(Canvas &c, Colour metal, int seed)
{
    for (int y = 0; y < c.size; y++)
        for (int x = 0; x < c.size; x++) {
            float u = (x + 0.5f) / c.size, v = (y + 0.5f) / c.size;
            float d = sd_circle(u, v, 0.5f, 0.5f, 0.42f) * c.size;
            float light = 0.7f + 0.3f * (1.0f - v) + 0.1f * fractal_noise(u * 10, v * 10, seed);
            Colour m = {metal.r * light, metal.g * light, metal.b * light, 1};
            c.blend(x, y, m, 0.5f - d);
            float rim = (fabsf(sd_circle(u, v, 0.5f, 0.5f, 0.34f)) - 0.015f) * c.size;
            c.blend(x, y, Colour{metal.r * 0.6f, metal.g * 0.6f, metal.b * 0.6f, 1}, 0.5f - rim);
        }
    fill(c, Colour{1, 1, 1, 0.8f}, [](float x, float y) {
        const float star[5][2] = {{0.5f, 0.3f}, {0.68f, 0.62f}, {0.32f, 0.45f},
                                  {0.68f, 0.45f}, {0.32f, 0.62f}};
        float d = 1e9f;
        for (int i = 0; i < 5; i++)
            d = fminf(d, sd_segment(x, y, star[i][0], star[i][1], star[(i + 1) % 5][0],
                                    star[(i + 1) % 5][1], 0.025f));
        return d;
    });
}

enum Icon {
    ICON_ARROW, ICON_CROSS, ICON_HAND, ICON_FORWARD, ICON_BACK, ICON_HOLD,
    ICON_PLAY, ICON_PAUSE, ICON_NEXT, ICON_PREV, ICON_REWIND, ICON_STEP, ICON_STEP10,
    ICON_GHOST, ICON_GHOST_BOTH, ICON_GHOST_NONE, ICON_READY, ICON_HELP, ICON_TALK,
    ICON_UP, ICON_DOWN
};

float tri(float x, float y, float ax, float ay, float bx, float by, float cx, float cy)
{
    const float v[3][2] = {{ax, ay}, {bx, by}, {cx, cy}};
    return sd_polygon(x, y, v, 3);
}

float icon_distance(Icon icon, float x, float y)
{
    switch (icon) {
    case ICON_ARROW: return tri(x, y, 0.12f, 0.08f, 0.12f, 0.85f, 0.72f, 0.55f);
    case ICON_CROSS:
        return fminf(sd_segment(x, y, 0.5f, 0.1f, 0.5f, 0.9f, 0.05f),
                     sd_segment(x, y, 0.1f, 0.5f, 0.9f, 0.5f, 0.05f));
    case ICON_HAND:
        return fminf(sd_circle(x, y, 0.5f, 0.62f, 0.25f), sd_box(x, y, 0.5f, 0.3f, 0.08f, 0.22f, 0.08f));
    case ICON_FORWARD:
    case ICON_UP: return tri(x, y, 0.5f, 0.18f, 0.82f, 0.72f, 0.18f, 0.72f);
    case ICON_BACK:
    case ICON_DOWN: return tri(x, y, 0.5f, 0.82f, 0.82f, 0.28f, 0.18f, 0.28f);
    case ICON_HOLD: return sd_box(x, y, 0.5f, 0.5f, 0.3f, 0.3f, 0.05f);
    case ICON_PLAY: return tri(x, y, 0.32f, 0.22f, 0.32f, 0.78f, 0.76f, 0.5f);
    case ICON_PAUSE:
        return fminf(sd_box(x, y, 0.36f, 0.5f, 0.08f, 0.26f, 0.02f),
                     sd_box(x, y, 0.64f, 0.5f, 0.08f, 0.26f, 0.02f));
    case ICON_NEXT:
        return fminf(tri(x, y, 0.26f, 0.24f, 0.26f, 0.76f, 0.64f, 0.5f),
                     sd_box(x, y, 0.7f, 0.5f, 0.05f, 0.26f, 0.01f));
    case ICON_PREV:
        return fminf(tri(x, y, 0.74f, 0.24f, 0.74f, 0.76f, 0.36f, 0.5f),
                     sd_box(x, y, 0.3f, 0.5f, 0.05f, 0.26f, 0.01f));
    case ICON_REWIND:
        return fminf(tri(x, y, 0.5f, 0.26f, 0.5f, 0.74f, 0.18f, 0.5f),
                     tri(x, y, 0.82f, 0.26f, 0.82f, 0.74f, 0.5f, 0.5f));
    case ICON_STEP:
        return fminf(tri(x, y, 0.3f, 0.3f, 0.3f, 0.7f, 0.58f, 0.5f),
                     sd_box(x, y, 0.66f, 0.5f, 0.04f, 0.2f, 0.01f));
    case ICON_STEP10:
        return fminf(fminf(tri(x, y, 0.18f, 0.3f, 0.18f, 0.7f, 0.44f, 0.5f),
                           tri(x, y, 0.44f, 0.3f, 0.44f, 0.7f, 0.7f, 0.5f)),
                     sd_box(x, y, 0.76f, 0.5f, 0.04f, 0.2f, 0.01f));
    case ICON_GHOST:
        return fabsf(sd_circle(x, y, 0.5f, 0.5f, 0.26f)) - 0.05f;
    case ICON_GHOST_BOTH:
        return fminf(fabsf(sd_circle(x, y, 0.38f, 0.5f, 0.2f)) - 0.045f,
                     fabsf(sd_circle(x, y, 0.62f, 0.5f, 0.2f)) - 0.045f);
    case ICON_GHOST_NONE:
        return fminf(fabsf(sd_circle(x, y, 0.5f, 0.5f, 0.26f)) - 0.05f,
                     sd_segment(x, y, 0.26f, 0.74f, 0.74f, 0.26f, 0.05f));
    case ICON_READY:
        return fminf(sd_segment(x, y, 0.24f, 0.52f, 0.42f, 0.7f, 0.06f),
                     sd_segment(x, y, 0.42f, 0.7f, 0.78f, 0.3f, 0.06f));
    case ICON_HELP:
        return fminf(fabsf(sd_circle(x, y, 0.5f, 0.38f, 0.14f)) - 0.05f +
                         (y > 0.45f && x < 0.5f ? 1.0f : 0.0f),
                     fminf(sd_segment(x, y, 0.5f, 0.52f, 0.5f, 0.6f, 0.05f),
                           sd_circle(x, y, 0.5f, 0.75f, 0.06f)));
    case ICON_TALK:
        return fminf(sd_box(x, y, 0.5f, 0.44f, 0.3f, 0.2f, 0.08f),
                     tri(x, y, 0.3f, 0.6f, 0.46f, 0.6f, 0.3f, 0.8f));
    }
    return 1.0f;
}

void cursor(Canvas &c, Icon icon)
{
    // A dark outline under a white shape.
    fill(c, kInk, [icon](float x, float y) { return icon_distance(icon, x, y) - 0.06f; });
    fill(c, kWhite, [icon](float x, float y) { return icon_distance(icon, x, y); });
}

void button(Canvas &c, Icon icon)
{
    for (int y = 0; y < c.size; y++)
        for (int x = 0; x < c.size; x++) {
            float u = (x + 0.5f) / c.size, v = (y + 0.5f) / c.size;
            float d = sd_box(u, v, 0.5f, 0.5f, 0.44f, 0.44f, 0.12f) * c.size;
            float g = 0.95f - 0.25f * v;
            c.blend(x, y, Colour{g, g, g * 1.02f, 0.9f}, 0.5f - d);
            float edge = (fabsf(sd_box(u, v, 0.5f, 0.5f, 0.44f, 0.44f, 0.12f)) - 0.01f) * c.size;
            c.blend(x, y, Colour{0.5f, 0.5f, 0.55f, 1}, 0.5f - edge);
        }
    fill(c, Colour{0.16f, 0.2f, 0.28f, 1}, [icon](float x, float y) {
        // Icons sit in the inner 70 % of the button.
        return icon_distance(icon, 0.5f + (x - 0.5f) / 0.7f, 0.5f + (y - 0.5f) / 0.7f) * 0.7f;
    });
}

void indicator(Canvas &c)
{
    for (int y = 0; y < c.size; y++)
        for (int x = 0; x < c.size; x++) {
            float u = (x + 0.5f) / c.size - 0.5f, v = (y + 0.5f) / c.size - 0.5f;
            float r = hypotf(u, v);
            float ring = expf(-powf((r - 0.36f) / 0.06f, 2.0f));
            c.blend(x, y, Colour{1, 0.9f, 0.3f, 1}, ring);
        }
}

void soft_shadow(Canvas &c)
{
    for (int y = 0; y < c.size; y++)
        for (int x = 0; x < c.size; x++) {
            float u = (x + 0.5f) / c.size - 0.5f, v = (y + 0.5f) / c.size - 0.5f;
            float r = hypotf(u, v) / 0.5f;
            float a = clampf(1.0f - r, 0, 1);
            c.blend(x, y, Colour{0, 0, 0, 0.7f}, a * a * (3 - 2 * a));
        }
}

struct Job {
    const char *subdir;
    const char *name;
    int size;
    int kind;   // 0 splat, 1 logo, 2 award, 3 cursor, 4 button, 5 indicator, 6 shadow
    int arg;
};

const Colour kMetals[5] = {
    {0.8f, 0.5f, 0.25f, 1}, {0.78f, 0.8f, 0.85f, 1}, {1.0f, 0.8f, 0.25f, 1},
    {0.85f, 0.95f, 1.0f, 1}, {0.55f, 0.25f, 0.8f, 1},
};

const Job kJobs[] = {
    {"award", "bronze", 64, 2, 0}, {"award", "silver", 64, 2, 1}, {"award", "gold", 64, 2, 2},
    {"award", "platinum", 64, 2, 3}, {"award", "master", 64, 2, 4},
    {"", "splatt1", 128, 0, 11}, {"", "logo", 256, 1, 0},
    {"cursor", "c1", 32, 3, ICON_ARROW}, {"cursor", "c2", 32, 3, ICON_CROSS},
    {"cursor", "c3", 32, 3, ICON_HAND}, {"cursor", "cf", 32, 3, ICON_FORWARD},
    {"cursor", "cb", 32, 3, ICON_BACK}, {"cursor", "ch", 32, 3, ICON_HOLD},
    {"buttons", "play", 64, 4, ICON_PLAY}, {"buttons", "pause", 64, 4, ICON_PAUSE},
    {"buttons", "next", 64, 4, ICON_NEXT}, {"buttons", "prev", 64, 4, ICON_PREV},
    {"buttons", "rewind", 64, 4, ICON_REWIND}, {"buttons", "step", 64, 4, ICON_STEP},
    {"buttons", "step10", 64, 4, ICON_STEP10}, {"buttons", "ghost", 64, 4, ICON_GHOST},
    {"buttons", "ghost_both", 64, 4, ICON_GHOST_BOTH},
    {"buttons", "ghost_none", 64, 4, ICON_GHOST_NONE}, {"buttons", "ready", 64, 4, ICON_READY},
    {"buttons", "help", 64, 4, ICON_HELP}, {"buttons", "talk", 64, 4, ICON_TALK},
    {"buttons", "up", 64, 4, ICON_UP}, {"buttons", "down", 64, 4, ICON_DOWN},
    {"", "indicator", 64, 5, 0}, {"", "av_shadow", 128, 6, 0},
};

int make_dir(const char *path)
{
    if (mkdir(path, 0755) == 0)
        return 0;
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode) ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: texgen <output-directory>\n");
        return 1;
    }
    const char *out = argv[1];
    if (strlen(out) > 200) {
        fprintf(stderr, "texgen: output directory name too long\n");
        return 1;
    }
    if (make_dir(out) != 0) {
        fprintf(stderr, "texgen: unable to create %s\n", out);
        return 1;
    }
    int failures = 0;
    for (const Job &job : kJobs) {
        char dir[512], path[600];
        if (job.subdir[0]) {
            snprintf(dir, sizeof dir, "%s/%s", out, job.subdir);
            if (make_dir(dir) != 0) {
                fprintf(stderr, "texgen: unable to create %s\n", dir);
                failures++;
                continue;
            }
        } else {
            snprintf(dir, sizeof dir, "%s", out);
        }
        snprintf(path, sizeof path, "%s/%s.tga", dir, job.name);
        Canvas c(job.size);
        switch (job.kind) {
        case 0: blood_splat(c, job.arg); break;
        case 1: logo(c); break;
        case 2: award(c, kMetals[job.arg], job.arg); break;
        case 3: cursor(c, (Icon)job.arg); break;
        case 4: button(c, (Icon)job.arg); break;
        case 5: indicator(c); break;
        default: soft_shadow(c); break;
        }
        failures += write_tga(path, c);
    }
    return failures ? 1 : 0;
}

// TGA reading without GL, the generated texture pixels and the sphere and
// shadow geometry.
#include "render/tga.h"
#include "render/gl_draw.h"
#include "render/texture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "support/test_support.h"

namespace {

std::vector<uint8_t> tga_header(int type, int width, int height, int bpp)
{
    std::vector<uint8_t> h(18, 0);
    h[2] = (uint8_t)type;
    h[12] = width & 0xff;
    h[13] = (width >> 8) & 0xff;
    h[14] = height & 0xff;
    h[15] = (height >> 8) & 0xff;
    h[16] = (uint8_t)bpp;
    return h;
}

std::string write_file(const char *name, const std::vector<uint8_t> &bytes)
{
    std::string path = test_tmp_path(name);
    FILE *f = fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr) << path;
    if (f) {
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    return path;
}

// A header followed by `pixel_bytes` bytes counting up from 1.
std::vector<uint8_t> tga_file(int type, int width, int height, int bpp, size_t pixel_bytes)
{
    std::vector<uint8_t> f = tga_header(type, width, height, bpp);
    for (size_t i = 0; i < pixel_bytes; i++)
        f.push_back((uint8_t)(i + 1));
    return f;
}

TEST(TgaFile, HeaderTable)
{
    struct Case {
        const char *what;
        std::vector<uint8_t> bytes;
        TgaResult want;
    } cases[] = {
        {"1x1 24-bit", tga_file(2, 1, 1, 24, 3), TGA_OK},
        {"2x2 32-bit", tga_file(2, 2, 2, 32, 16), TGA_OK},
        {"256x128", tga_file(2, 256, 128, 24, 256 * 128 * 3), TGA_BAD_SIZE},
        {"3x3 not a power of two", tga_file(2, 3, 3, 24, 27), TGA_BAD_SIZE},
        {"0x0", tga_file(2, 0, 0, 24, 0), TGA_BAD_SIZE},
        {"64x64 8-bit grey (type 3)", tga_file(3, 64, 64, 8, 4096), TGA_BAD_HEADER},
        {"64x64 8-bit true colour", tga_file(2, 64, 64, 8, 4096), TGA_BAD_DEPTH},
        {"16-bit", tga_file(2, 4, 4, 16, 32), TGA_BAD_DEPTH},
        {"RLE (type 10)", tga_file(10, 4, 4, 24, 48), TGA_BAD_HEADER},
        {"colour-mapped (type 1)", tga_file(1, 4, 4, 24, 48), TGA_BAD_HEADER},
        {"truncated pixels", tga_file(2, 4, 4, 24, 47), TGA_TRUNCATED},
        {"header only", tga_file(2, 4, 4, 32, 0), TGA_TRUNCATED},
        {"short header", std::vector<uint8_t>(10, 0), TGA_TRUNCATED},
        {"32768 wide, above the limit", tga_file(2, 32768, 32768, 32, 64), TGA_TOO_LARGE},
    };
    int n = 0;
    for (const Case &c : cases) {
        std::string name = "hdr" + std::to_string(n++) + ".tga";
        std::string path = write_file(name.c_str(), c.bytes);
        TgaHeader h = {};
        uint8_t *pixels = reinterpret_cast<uint8_t *>(1);
        EXPECT_EQ(read_tga_file(path.c_str(), 16384, &h, &pixels), c.want) << c.what;
        if (c.want == TGA_OK)
            EXPECT_NE(pixels, nullptr) << c.what;
        else
            EXPECT_EQ(pixels, nullptr) << c.what;
        free(pixels);
    }
}

TEST(TgaFile, ParserWithoutFile)
{
    std::vector<uint8_t> h = tga_header(2, 512, 512, 32);
    TgaHeader out = {};
    EXPECT_EQ(parse_tga_header(h.data(), 1024, &out), TGA_OK);
    EXPECT_EQ(out.width, 512);
    EXPECT_EQ(out.bpp, 32);
    EXPECT_EQ(parse_tga_header(h.data(), 256, &out), TGA_TOO_LARGE);
    h[7] = 1;   // a colour-map field set
    EXPECT_EQ(parse_tga_header(h.data(), 1024, &out), TGA_BAD_HEADER);
}

TEST(TgaFile, PixelsAreSwappedToRgb)
{
    std::vector<uint8_t> f = tga_header(2, 2, 2, 32);
    const uint8_t bgra[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    f.insert(f.end(), bgra, bgra + 16);
    std::string path = write_file("swap.tga", f);
    TgaHeader h;
    uint8_t *px = nullptr;
    ASSERT_EQ(read_tga_file(path.c_str(), 64, &h, &px), TGA_OK);
    const uint8_t want[16] = {3, 2, 1, 4, 7, 6, 5, 8, 11, 10, 9, 12, 15, 14, 13, 16};
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(px[i], want[i]) << i;
    free(px);
}

// Whichever corner a file starts in, the pixels come out bottom row first,
// each row from the left: a 2 x 2 picture of four grey levels stored in
// each of the four orders.
TEST(TgaFile, EveryStoredCornerComesOutBottomLeftFirst)
{
    // The picture: bottom-left 10, bottom-right 20, top-left 30, top-right 40.
    struct Case {
        const char *what;
        uint8_t descriptor;
        uint8_t stored[4];   // in the file's order
    } cases[] = {
        {"bottom-left first", 0x00, {10, 20, 30, 40}},
        {"top-left first", 0x20, {30, 40, 10, 20}},
        {"bottom-right first", 0x10, {20, 10, 40, 30}},
        {"top-right first", 0x30, {40, 30, 20, 10}},
        {"top-left with alpha bits", 0x28, {30, 40, 10, 20}},
    };
    const uint8_t want[4] = {10, 20, 30, 40};
    int n = 0;
    for (const Case &c : cases) {
        std::vector<uint8_t> f = tga_header(2, 2, 2, 24);
        f[17] = c.descriptor;
        for (uint8_t v : c.stored)
            f.insert(f.end(), {v, (uint8_t)(v + 1), (uint8_t)(v + 2)});   // B, G, R
        std::string path = write_file(("corner" + std::to_string(n++) + ".tga").c_str(), f);
        TgaHeader h = {};
        uint8_t *px = nullptr;
        ASSERT_EQ(read_tga_file(path.c_str(), 64, &h, &px), TGA_OK) << c.what;
        EXPECT_EQ(h.descriptor, c.descriptor) << c.what;
        for (int i = 0; i < 4; i++) {
            EXPECT_EQ(px[3 * i], want[i] + 2) << c.what << " pixel " << i;   // R
            EXPECT_EQ(px[3 * i + 1], want[i] + 1) << c.what << " pixel " << i;
            EXPECT_EQ(px[3 * i + 2], want[i]) << c.what << " pixel " << i;
        }
        free(px);
    }
    // An odd row count keeps its middle row.
    uint8_t odd[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};   // 1 x 3, one byte a pixel
    tga_to_bottom_left(odd, 1, 3, 3, TGA_TOP_FIRST);
    const uint8_t flipped[9] = {7, 8, 9, 4, 5, 6, 1, 2, 3};
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(odd[i], flipped[i]) << i;
}

TEST(TgaFile, TaggedCapitalisedPathOpensLowerCaseWithoutTag)
{
    char name[TGA_PATH_MAX];
    tga_file_name("[Clan]Data/Tex.TGA", name, sizeof name);
    EXPECT_STREQ(name, "data/tex.tga");

    write_file("tagged_tex.tga", tga_file(2, 1, 1, 24, 3));
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(test_tmp_dir()), 0);
    TgaHeader h;
    uint8_t *px = nullptr;
    TgaResult r = read_tga_file("[AbC]TAGGED_Tex.tga", 64, &h, &px);
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(r, TGA_OK);
    free(px);
}

// The program's own names are lower-cased; a folder with capitals given
// to it is opened as it is.
TEST(TgaFile, FolderWithCapitalsKeepsItsName)
{
    std::string dir = test_tmp_path("MixedCase");
    mkdir(dir.c_str(), 0775);
    std::vector<uint8_t> ok = tga_file(2, 1, 1, 24, 3);
    write_whole_file(dir + "/tex.tga", std::string(ok.begin(), ok.end()));
    write_whole_file(dir + "/Given.tga", std::string(ok.begin(), ok.end()));
    struct Case {
        std::string path;
        TgaResult want;
    } cases[] = {
        {dir + "/TEX.tga", TGA_OK},     // the file's name lower-cased in the folder
        {dir + "/[Tag]Tex.TGA", TGA_OK},
        {dir + "/Given.tga", TGA_OK},   // as given
        {dir + "/none.tga", TGA_NO_FILE},
    };
    for (const Case &c : cases) {
        TgaHeader h;
        uint8_t *px = nullptr;
        EXPECT_EQ(read_tga_file(c.path.c_str(), 64, &h, &px), c.want) << c.path;
        free(px);
    }
}

TEST(TgaFile, OverlongPathIsBounded)
{
    std::string longpath(1000, 'a');
    char name[TGA_PATH_MAX];
    tga_file_name(longpath.c_str(), name, sizeof name);
    EXPECT_EQ(std::string(name).size(), 255u);
    TgaHeader h;
    uint8_t *px = nullptr;
    EXPECT_EQ(read_tga_file(longpath.c_str(), 64, &h, &px), TGA_NO_FILE);
}

TEST(GeneratedPixels, PackClampsEachChannel)
{
    struct Case { float in[3]; uint8_t out[4]; } cases[] = {
        {{1.3f, -0.2f, 0.5f}, {255, 0, 127, 255}},
        {{1.0f, 0.0f, 0.999f}, {255, 0, 254, 255}},
        {{NAN, 2.0f, 0.25f}, {0, 255, 63, 255}},
    };
    for (const Case &c : cases) {
        uint8_t out[4] = {9, 9, 9, 9};
        pack_rgba(c.in, out);
        for (int k = 0; k < 4; k++)
            EXPECT_EQ(out[k], c.out[k]) << k;
    }
}

const float kRed[3] = {1, 0, 0}, kBlue[3] = {0, 0, 1};

const uint8_t *texel(const std::vector<uint8_t> &px, int x, int y)
{
    return &px[(y * 128 + x) * 4];
}

TEST(GeneratedPixels, TwoColourHalves)
{
    const float gold[3] = {1.3f, 1.0f, 0.3f};
    std::vector<uint8_t> px(65536, 0xcd);
    fill_two_color_pixels(px.data(), gold, kBlue);
    for (int y : {0, 127})
        for (int x : {0, 63, 64, 127}) {
            const uint8_t *t = texel(px, x, y);
            if (x < 64) {
                EXPECT_EQ(t[0], 255);
                EXPECT_EQ(t[2], 76);
            } else {
                EXPECT_EQ(t[0], 0);
                EXPECT_EQ(t[2], 255);
            }
            EXPECT_EQ(t[3], 255);
        }
    for (uint8_t b : px)
        ASSERT_NE(b, 0xcd);   // every byte written
}

TEST(GeneratedPixels, GradientShapes)
{
    std::vector<uint8_t> px(65536, 0xcd);
    fill_gradient_pixels(px.data(), kRed, kBlue, 0, 0);   // down the rows
    EXPECT_EQ(texel(px, 5, 0)[0], 255);
    EXPECT_EQ(texel(px, 5, 64)[0], 127);
    EXPECT_EQ(texel(px, 5, 64)[2], 127);
    EXPECT_EQ(texel(px, 100, 127)[2], 253);

    fill_gradient_pixels(px.data(), kRed, kBlue, 2, 0);   // along the columns
    EXPECT_EQ(texel(px, 64, 5)[0], 127);
    EXPECT_EQ(texel(px, 0, 90)[0], 255);

    fill_gradient_pixels(px.data(), kRed, kBlue, 1, 0);   // box atlas
    EXPECT_EQ(texel(px, 0, 70)[0], 255);
    EXPECT_EQ(texel(px, 51, 70)[2], 127);
    EXPECT_EQ(texel(px, 110, 10)[2], 255);     // end face: colour 2
    EXPECT_EQ(texel(px, 110, 30)[0], 255);     // end face: colour 1
    EXPECT_EQ(texel(px, 110, 60)[3], 0);       // not read by the mesh: zero, not garbage

    fill_gradient_pixels(px.data(), kRed, kBlue, 1, 1);   // feet
    EXPECT_EQ(texel(px, 10, 0)[2], 255);
    EXPECT_EQ(texel(px, 10, 40)[0], 255);
    EXPECT_EQ(texel(px, 10, 80)[2], 127);
    EXPECT_EQ(texel(px, 10, 100)[2], 255);
    EXPECT_EQ(texel(px, 120, 13)[2], 127);
    EXPECT_EQ(texel(px, 120, 39)[2], 127);

    fill_gradient_pixels(px.data(), kRed, kBlue, 7, 0);   // unknown shape
    for (uint8_t b : px)
        ASSERT_EQ(b, 0);
}

int count_triangles(int level, std::vector<float> *radii)
{
    struct Sink {
        int count;
        std::vector<float> *radii;
    } sink = {0, radii};
    const float a[3] = {1, 0, 0}, b[3] = {0, 1, 0}, c[3] = {0, 0, 1};
    emit_sphere_patch_to(a, b, c, level,
                         [](const float *p, const float *q, const float *r, void *user) {
                             Sink *s = static_cast<Sink *>(user);
                             s->count++;
                             for (const float *v : {p, q, r})
                                 s->radii->push_back(sqrtf(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
                         },
                         &sink);
    return sink.count;
}

TEST(SpherePatch, TriangleCountsAndUnitVertices)
{
    struct Case { int level, triangles; } cases[] = {{-1, 1}, {0, 1}, {1, 4}, {2, 16}, {3, 64}};
    for (const Case &c : cases) {
        std::vector<float> radii;
        EXPECT_EQ(count_triangles(c.level, &radii), c.triangles) << c.level;
        for (float r : radii)
            EXPECT_NEAR(r, 1.0f, 1e-6);
    }
}

TEST(Icosahedron, FacesPointOutwards)
{
    for (int f = 0; f < 20; f++) {
        const float *a = icosahedron_vertices[icosahedron_faces[f][0]];
        const float *b = icosahedron_vertices[icosahedron_faces[f][1]];
        const float *c = icosahedron_vertices[icosahedron_faces[f][2]];
        float n[3];
        triangle_normal(a, b, c, n);
        float centre = n[0] * (a[0] + b[0] + c[0]) + n[1] * (a[1] + b[1] + c[1]) +
                       n[2] * (a[2] + b[2] + c[2]);
        EXPECT_GT(centre, 0.0f) << f;
    }
}

TEST(TriangleNormal, UnitAndDegenerate)
{
    const float a[3] = {0, 0, 0}, b[3] = {2, 0, 0}, c[3] = {0, 3, 0}, d[3] = {4, 0, 0};
    float n[3];
    triangle_normal(a, b, c, n);
    EXPECT_FLOAT_EQ(n[2], 1.0f);
    triangle_normal(a, b, d, n);   // collinear
    EXPECT_FLOAT_EQ(n[0], 1.0f);
    EXPECT_FLOAT_EQ(n[1], 0.0f);
    EXPECT_FLOAT_EQ(n[2], 0.0f);
    triangle_normal(a, a, a, n);
    EXPECT_FLOAT_EQ(n[0], 1.0f);
}

TEST(SphereShadow, ProjectedAlongTheLight)
{
    float pts[24][2];
    sphere_shadow_points(1.0f, 2.0f, 1.0f, 0.5f, pts);
    // The first point: t = radius, u = 0.
    EXPECT_NEAR(pts[0][0], 0.0f + 0.92847675f * 1.4696938f * 0.5f, 1e-5);
    EXPECT_NEAR(pts[0][1], 1.6f + 0.92847675f * 0.4f * 1.4696938f * 0.5f, 1e-5);
    // The points go round the centre (x - z, y - 0.4 z).
    double sx = 0, sy = 0;
    for (auto &p : pts) {
        sx += p[0];
        sy += p[1];
    }
    EXPECT_NEAR(sx / 24, 0.0, 1e-5);
    EXPECT_NEAR(sy / 24, 1.6, 1e-5);
}

}  // namespace

// Render utilities that need no GL: particles, floor patches and stains,
// the statistics file, packing and seams; and the sky's pixels.
#include "render/render_util.h"
#include "render/sky.h"
#include "render/world_shader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "render/gl_draw.h"
#include "support/test_support.h"

TEST(BloodBuffer, ParticlesJoinTheNearestStrandAndLinkBothWays)
{
    blood_buffer_clear();
    const float dir[3] = {0, 0, 1};
    const float p0[3] = {0, 0, 0}, far[3] = {10, 0, 0}, near0[3] = {0.1f, 0, 0};
    ASSERT_EQ(blood_buffer_add(p0, dir, 1), 0);
    // All five empty: emitter 0 (ties go to the lowest).
    EXPECT_EQ(blood_particle_buffer.emitters[0].last, &blood_particle_buffer.particles[0]);
    ASSERT_EQ(blood_buffer_add(far, dir, 1), 0);
    // Emitter 0 is far away, 1 is empty (distance 0): emitter 1.
    EXPECT_EQ(blood_particle_buffer.emitters[1].last, &blood_particle_buffer.particles[1]);
    // Five emitters, each with one particle far apart.
    for (int i = 2; i < 5; i++) {
        const float p[3] = {10.0f * i, 0, 0};
        ASSERT_EQ(blood_buffer_add(p, dir, 1), 0);
        EXPECT_EQ(blood_particle_buffer.emitters[i].last, &blood_particle_buffer.particles[i]);
    }
    // Near particle 2: joins that strand, two deep after another.
    const float n2[3] = {20.1f, 0, 0}, n3[3] = {20.2f, 0, 0};
    ASSERT_EQ(blood_buffer_add(n2, dir, 1), 0);
    ASSERT_EQ(blood_buffer_add(n3, dir, 1), 0);
    BloodParticle *q = blood_particle_buffer.particles;
    EXPECT_EQ(q[5].previous, &q[2]);
    EXPECT_EQ(q[2].next, &q[5]);
    EXPECT_EQ(q[6].previous, &q[5]);
    EXPECT_EQ(q[6].previous2, &q[2]);
    EXPECT_EQ(q[2].next2, &q[6]);
    EXPECT_EQ(blood_particle_buffer.emitters[2].second_last, &q[5]);
    (void)near0;

    // A strand of three: links back and forth, two deep.
    blood_buffer_clear();
    set_draw_color(2.0f, 0.5f, -1.0f, 1.0f);   // clamped when packed
    for (int i = 0; i < 3; i++) {
        const float p[3] = {0, 0, (float)i * 0.01f};
        blood_buffer_add(p, dir, 1);
    }
    // The colour is the draw colour, clamped.
    EXPECT_EQ(q[0].colour, 0xFF007FFFu);
    EXPECT_EQ(blood_particle_buffer.count, 3);
    blood_buffer_clear();
}

TEST(BloodBuffer, AFullBufferDropsWithAMessage)
{
    blood_buffer_clear();
    blood_particle_buffer.count = BLOOD_PARTICLES;
    const float p[3] = {0, 0, 0};
    EXPECT_EQ(blood_buffer_add(p, p, 1), 1);
    EXPECT_EQ(blood_particle_buffer.count, BLOOD_PARTICLES);
    blood_buffer_clear();
}

TEST(FloorPatches, GridAndStainMapWithWrapping)
{
    EXPECT_EQ(init_floor_patches(), 0);
    EXPECT_FLOAT_EQ(floor_patch_uv[1][0], 1.0f / 64);
    EXPECT_FLOAT_EQ(floor_patch_uv[64][1], 1.0f / 64);
    EXPECT_NEAR(floor_patch_uv[FLOOR_PATCHES - 1][0], 63.0f / 64, 1e-5f);
    EXPECT_EQ(floor_cell_of(0.0f), 0);
    EXPECT_EQ(floor_cell_of(-0.01f), -1);
    EXPECT_EQ(floor_cell_of(0.25f), 1);
    EXPECT_EQ(floor_cell_of(1e30f), 16383);

    clear_blood_stains();
    int fresh = 0;
    EXPECT_EQ(stain_patch_for(0xff, 3, 4, &fresh), 1);
    EXPECT_EQ(fresh, 1);
    EXPECT_EQ(stain_patch_for(0xff, 3, 4, &fresh), 1);
    EXPECT_EQ(fresh, 0);
    EXPECT_EQ(stain_patch_for(0x10, 3, 4, &fresh), 2);
    EXPECT_EQ(stain_patch_for(0xff, -3, 4, &fresh), 3);
    // Ordered by colour, then cell.
    EXPECT_EQ(stain_map.entries[0].colour, 0x10u);
    EXPECT_EQ(stain_map.entries[1].cell_x, -3);

    ASSERT_EQ(build_stain_quads(0.0f), 18);
    const StainVertex &v = stain_quads.vertices[6];   // the second entry's first corner
    EXPECT_FLOAT_EQ(v.position[0], -3 * FLOOR_CELL_SIZE);
    EXPECT_FLOAT_EQ(v.uv[0], floor_patch_uv[3][0] + 1.0f / 2048);
    EXPECT_EQ(v.colour, 0xff0000ffu);

    // Numbers run to 4095, then start again at 1; the cell that held a
    // reused number loses it.
    clear_blood_stains();
    int32_t last = 0;
    for (int i = 0; i < STAIN_PATCH_LIMIT; i++)
        last = stain_patch_for(1, i % 1000, i / 1000, nullptr);
    EXPECT_EQ(last, STAIN_PATCH_LIMIT);
    EXPECT_EQ(stain_map.count, STAIN_PATCH_LIMIT);
    EXPECT_EQ(stain_patch_for(2, 0, 0, nullptr), 1);
    EXPECT_EQ(stain_map.count, STAIN_PATCH_LIMIT);
    for (int i = 0; i < stain_map.count; i++)
        EXPECT_FALSE(stain_map.entries[i].colour == 1 && stain_map.entries[i].cell_x == 0 &&
                     stain_map.entries[i].cell_y == 0);
    clear_blood_stains();
    free_stain_quads();
}

TEST(GraphicsStats, TheLineIsAppendedOncePerDistinctLine)
{
    std::string path = test_tmp_path("stats.dat");
    remove(path.c_str());
    const char *saved = graphics_stats_path;
    graphics_stats_path = path.c_str();
    snprintf(graphics_stats_line, sizeof graphics_stats_line, "STAT_GRF 0;ZM3.24,llvmpipe,LINUX");
    append_graphics_stats_text(",REF1");
    append_graphics_stats();
    append_graphics_stats();
    EXPECT_EQ(read_whole_file(path), "STAT_GRF 0;ZM3.24,llvmpipe,LINUX,REF1\n");
    append_graphics_stats_text(",FAIL");
    append_graphics_stats();
    EXPECT_EQ(read_whole_file(path),
              "STAT_GRF 0;ZM3.24,llvmpipe,LINUX,REF1\nSTAT_GRF 0;ZM3.24,llvmpipe,LINUX,REF1,FAIL\n");
    // The line never grows past its buffer.
    for (int i = 0; i < 2000; i++)
        append_graphics_stats_text(",NOGLARBVS");
    EXPECT_LT(strlen(graphics_stats_line), (size_t)GRAPHICS_STATS_TEXT);
    graphics_stats_path = "/nonexistent/dir/stats.dat";
    append_graphics_stats();   // skipped silently
    graphics_stats_path = saved;
}

TEST(RenderUtil, PackingClampsAndSeamsAreMended)
{
    const float c[4] = {1.5f, 0.5f, -2.0f, 1.0f};
    EXPECT_EQ(pack_rgba_u32(c), 0xFF007FFFu);
    EXPECT_EQ(pack_rgb_u32(c), 0x00007FFFu);
    const float n[4] = {NAN, 0, 0, 0};
    EXPECT_EQ(pack_rgba_u32(n), 0u);
    // A triangle across the u seam: 0.95 and 0.05 -> 1.05.
    float uv[3][2] = {{0.95f, 0.1f}, {0.05f, 0.1f}, {0.9f, 0.2f}};
    fix_texcoord_seams(&uv[0][0], 2, 0, 3);
    EXPECT_FLOAT_EQ(uv[1][0], 1.05f);
    EXPECT_FLOAT_EQ(uv[0][0], 0.95f);
}

TEST(Sky, PixelsFollowTheSettings)
{
    load_worldshader_preset_index(5);
    std::vector<uint8_t> px(SKY_TEXTURE_SIZE * SKY_TEXTURE_SIZE * 4);
    // Blend power 0: the whole sky is the background halved.
    world_shader.sky_blend_power = 0;
    fill_sky_pixels(px.data());
    EXPECT_EQ(px[0], (uint8_t)(0.85f * 0.5f * 255));
    EXPECT_EQ(px[4 * (128 * 256 + 128) + 2], (uint8_t)(0.8f * 0.5f * 255));
    EXPECT_EQ(px[3], 0);
    // The centre looks straight up (no division by zero).
    float d[3];
    sky_texel_direction(128, 128, d);
    EXPECT_EQ(d[2], 1.0f);
    sky_texel_direction(0, 0, d);
    EXPECT_TRUE(std::isfinite(d[0]));
    EXPECT_NEAR(d[0] * d[0] + d[1] * d[1] + d[2] * d[2], 1.0f, 1e-4f);

    // The sun disk: a texel looking at the sun gets the sun colour; the
    // opposite side does not.
    world_shader.sky_blend_power = 30;
    for (float &v : world_shader.sky_color)
        v = 0;
    for (float &v : world_shader.sunbeam_color)
        v = 0;
    const float up[3] = {0, 0, 1};
    memcpy(world_shader.sun_light_dir, up, sizeof up);
    fill_sky_pixels(px.data());
    EXPECT_EQ(px[4 * (128 * 256 + 128)], 255);   // 2 x 0.5 clamps at 255
    world_shader.sun_light_dir[2] = -1;
    fill_sky_pixels(px.data());
    EXPECT_EQ(px[4 * (128 * 256 + 128)], 0);

    std::vector<uint8_t> sun(SUN_TEXTURE_SIZE * SUN_TEXTURE_SIZE * 4);
    fill_sun_pixels(sun.data());
    EXPECT_EQ(sun[4 * (64 * 128 + 64) + 3], 255);
    EXPECT_EQ(sun[3], 0);

    // A vertical sun still spans a sprite.
    float e1[3], e2[3];
    sun_sprite_axes(up, e1, e2);
    EXPECT_NEAR(e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2], 1.0f, 1e-5f);
    EXPECT_NEAR(e2[0] * e2[0] + e2[1] * e2[1] + e2[2] * e2[2], 1.0f, 1e-5f);
    load_worldshader_preset_index(5);
}

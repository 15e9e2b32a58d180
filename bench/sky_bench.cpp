// The processor-side work of the world shader: the sky and sun pixels that
// every settings change and every step of a preset blend rebuild, and one
// whole 60-step blend (pixels only, no GL).
#include <chrono>
#include <cstdio>
#include <vector>

#include "render/sky.h"
#include "render/world_shader.h"

static double now_ms()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

int main()
{
    std::vector<uint8_t> sky(SKY_TEXTURE_SIZE * SKY_TEXTURE_SIZE * 4);
    std::vector<uint8_t> sun(SUN_TEXTURE_SIZE * SUN_TEXTURE_SIZE * 4);
    load_worldshader_preset_index(1);
    double t0 = now_ms();
    fill_sky_pixels(sky.data());
    double first = now_ms() - t0;
    const int rounds = 60;
    t0 = now_ms();
    for (int i = 0; i < rounds; i++) {
        fill_sky_pixels(sky.data());
        fill_sun_pixels(sun.data());
    }
    double each = (now_ms() - t0) / rounds;
    printf("sky pixels, first build (directions worked out): %.2f ms\n", first);
    printf("sky and sun pixels, each later build: %.2f ms (a 60-frame blend: %.1f ms in all)\n",
           each, each * rounds);
    free_sky_textures();
    return 0;
}

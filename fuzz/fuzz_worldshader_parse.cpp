// fuzz-kind: parse
// fuzz-corpus: worldshader
// fuzz-sources: render/world_shader.cpp
//
// A world-shader file (data/shader/<name>) read by the game's reader into
// the scene and interface colour values. The few pieces of the renderer the
// reader reaches (the sky texture, the text colours, the palette rows) are
// stand-ins here that only record the values; nothing is drawn. The values
// read must be finite (the setter refuses the rest), and every input starts
// from the values the program starts with.
#include "render/hud.h"
#include "render/world_shader.h"
#include "fuzz/fuzz_input.h"

#include <cmath>

// Stand-ins for the renderer.
HudOutward hud_outward;
int shaders_active;
void use_text_colors() {}
void use_menu_text_colors() {}
void build_sky_texture() {}
// The file reader never names a file; only the path helper uses this.
int is_plain_name(const char *, int) { return 0; }

static float palette[128][3];
static float *palette_row(int row) { return row >= 0 && row < 128 ? palette[row] : nullptr; }

enum { SHADER_IDS = 33 };
static float first_values[SHADER_IDS][4];

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    world_shader_palette_rgb = palette_row;
    for (unsigned id = 0; id < SHADER_IDS; id++)
        get_shader(id, first_values[id]);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *path = fuzz_input::as_file(data, size, "input.shader");
    if (!path)
        return 0;
    for (unsigned id = 0; id < SHADER_IDS; id++)
        set_background(id, first_values[id][0], first_values[id][1], first_values[id][2]);
    if (read_worldshader_file(path) != 0)
        return 0;
    for (unsigned id = 0; id < SHADER_IDS; id++) {
        float v[4];
        if (get_shader(id, v) != 0)
            continue;
        for (int k = 0; k < 4; k++)
            if (!std::isfinite(v[k]))
                __builtin_trap();
    }
    return 0;
}

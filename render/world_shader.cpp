#include "render/world_shader.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/safe_file.h"
#include "render/hud.h"
#include "render/render_util.h"
#include "render/scene.h"
#include "render/sky.h"

const WorldShaderSetting world_shader_settings[WORLD_SHADER_SETTINGS + 1] = {
    {0, "background_color", WS_TYPE_COLOUR},
    {1, "mirror_color", WS_TYPE_COLOUR},
    {2, "floor_color", WS_TYPE_COLOUR},
    {3, "sunshine_color", WS_TYPE_COLOUR},
    {4, "ambient_color", WS_TYPE_COLOUR},
    {5, "fog_distance", WS_TYPE_FLOAT},
    {6, "sharp_shadow", WS_TYPE_INTEGER},
    {7, "sky_on", WS_TYPE_INTEGER},
    {8, "ambient_light_dir", WS_TYPE_DIRECTION},
    {9, "sun_light_dir", WS_TYPE_DIRECTION},
    {10, "sunbeam_color", WS_TYPE_COLOUR},
    {11, "sun_color", WS_TYPE_COLOUR},
    {12, "sky_color", WS_TYPE_COLOUR},
    {13, "polar_light_color", WS_TYPE_COLOUR},
    {14, "polar_light_dir", WS_TYPE_COLOUR},
    {15, "sky_blend_power", WS_TYPE_FLOAT},
    {16, "text", WS_TYPE_COLOUR},
    {17, "text_bg", WS_TYPE_COLOUR},
    {18, "text_sel", WS_TYPE_COLOUR},
    {19, "text_disabled", WS_TYPE_COLOUR},
    {20, "menu_text", WS_TYPE_COLOUR},
    {21, "menu_text_bg", WS_TYPE_COLOUR},
    {22, "menu_text_sel", WS_TYPE_COLOUR},
    {23, "menu_text_disabled", WS_TYPE_COLOUR},
    {24, "msg_notype", WS_TYPE_COLOUR},
    {25, "msg_server", WS_TYPE_COLOUR},
    {26, "msg_urlserver", WS_TYPE_COLOUR},
    {27, "msg_ingame", WS_TYPE_COLOUR},
    {28, "msg_gamurl", WS_TYPE_COLOUR},
    {29, "msg_user", WS_TYPE_COLOUR},
    {30, "msg_player", WS_TYPE_COLOUR},
    {31, "msg_url", WS_TYPE_COLOUR},
    {32, "msg_urlsel", WS_TYPE_COLOUR},
    {0, nullptr, 0},
};

// ---- presets --------------------------------------------------------------------------
// Slots of a preset record: a present flag, then the group's values.
enum {
    P_BACKGROUND = 0,
    P_MIRROR = 4,
    P_FLOOR = 8,
    P_SUNSHINE = 12,
    P_AMBIENT = 16,
    P_FOG = 20,
    P_SHARP = 22,
    P_SKY_ON = 24,
    P_AMBIENT_DIR = 26,
    P_SUN_DIR = 30,
    P_SUNBEAM = 34,
    P_SUN = 38,
    P_SKY = 42,
    P_POLAR_COLOUR = 46,
    P_POLAR_DIR = 50,
    P_SKY_POWER = 54,
    P_INTERFACE = 56
};

// The interface colours (ids 16-32) of the default record.
#define WS_INTERFACE_DEFAULTS                                                                   \
    0.01f, 0.01f, 0.01f, 1, 1, 1, 0.16f, 0.66f, 0.86f, 0.5f, 0.5f, 0.5f, 0.01f, 0.01f, 0.01f,   \
        1, 1, 1, 0.16f, 0.66f, 0.86f, 0.5f, 0.5f, 0.5f, 0.01f, 0.01f, 0.01f, 0.5f, 0.5f, 0.5f,  \
        0, 0, 1, 0.58f, 0, 0, 0, 0, 1, 0.01f, 0.01f, 0.01f, 0.4f, 0.2f, 0, 0.16f, 0.66f, 0.86f, \
        1, 0, 1

const WorldShaderPreset world_shader_default_preset = {{
    1, 0.85f, 0.85f, 0.8f,   // background
    1, 0.2f, 0.2f, 0.2f,     // mirror
    1, 0.8f, 0.75f, 0.7f,    // floor
    1, 0.75f, 0.45f, 0,      // sunshine
    1, 0.4f, 0.6f, 0.8f,     // ambient
    1, 46,                   // fog distance
    1, 0,                    // sharp shadow
    1, 0,                    // sky on
    1, 0, 0, 1,              // ambient light direction
    1, 0, 1, 0.26f,          // sun light direction
    1, 0, 0.5f, 1,           // sunbeam
    1, 2, 2, 2,              // sun
    1, 0.6f, 0.3f, 0.1f,     // sky
    1, 0, 0, 0,              // polar light colour
    1, 0, 0, 0,              // polar light direction
    1, 0,                    // sky blend power
    WS_INTERFACE_DEFAULTS,
}};

// Groups after "fog" in every preset: sharp shadow and sky on (present, 0).
#define WS_FLAGS_OFF 1, 0, 1, 0

const WorldShaderPreset world_shader_presets[WORLD_SHADER_PRESETS] = {
    {{1, 1, 1, 1, 1, 0.2f, 0.2f, 0.2f, 1, 0.75f, 0.8f, 0.85f, 1, 0, 0, 0, 1, 1, 1, 1,
      1, 46, WS_FLAGS_OFF, 1, 0, 1, 1, 1, 0, 1, 0.26f,
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {{1, 0.85f, 0.8f, 0.75f, 1, 0.2f, 0.2f, 0.2f, 1, 0.8f, 0.75f, 0.7f, 1, 0.75f, 0.45f, 0,
      1, 0.4f, 0.6f, 0.8f, 1, 46, WS_FLAGS_OFF, 1, 0, 1, 1, 1, 0, 1, 0.26f,
      1, 0, 0.5f, 1, 1, 2, 2, 2, 1, 0.6f, 0.3f, 0.1f, 1, -0.2f, -0.8f, -0.8f,
      1, 0, -1, -0.4f, 1, 2.2f}},
    {{1, 1, 1, 1, 1, 0.2f, 0.2f, 0.2f, 1, 0.8f, 0.75f, 0.7f, 1, 0.7f, 0.6f, 0.4f,
      1, 0.5f, 0.6f, 0.7f, 1, 46, WS_FLAGS_OFF, 1, 0, 1, 1, 1, 0, 1, 0.8f,
      1, 0, 0.7f, 1, 1, 2, 2, 2, 1, 0.6f, 0.3f, 0.1f, 1, -0.3f, -0.3f, -0.3f,
      1, 0, -1, -0.4f, 1, 1.8f}},
    {{1, 0.2f, 0.3f, 0.5f, 1, 0.4f, 0.4f, 0.4f, 1, 0.8f, 0.75f, 0.7f, 1, 0.2f, 0.3f, 0.4f,
      1, 0.4f, 0.4f, 0.3f, 1, 70, WS_FLAGS_OFF, 1, 0, 1, 1, 1, -1, -1, 0.6f,
      1, 0.3f, 0.3f, 0.3f, 1, 0.9f, 1, 1, 1, 0, 0, 0, 1, 0, -0.1f, 0.5f,
      1, 0, 1, -0.5f, 1, 2}},
    {{1, 0, 0, 1, 1, 1, 0, 0, 1, 1, 1, 0.5f, 1, 1, 0, 1, 1, 1, 1, 1,
      1, 46, WS_FLAGS_OFF, 1, 0, 0, 1, 1, 0, 1, 0.26f,
      1, 0, 0.5f, 1, 1, 2, 2, 2, 1, 0, 0, 0.1f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {{1, 0.85f, 0.85f, 0.8f, 1, 0.2f, 0.2f, 0.2f, 1, 0.8f, 0.75f, 0.7f, 1, 0.75f, 0.45f, 0,
      1, 0.4f, 0.6f, 0.8f, 1, 46, WS_FLAGS_OFF, 1, 0, 0, 1, 1, 0, 1, 0.26f,
      1, 0, 0.5f, 1, 1, 2, 2, 2, 1, 0.6f, 0.3f, 0.1f, 1, 0, 0, 0,
      1, 0, 0, 0, 1, 0}},
};

// ---- current values ------------------------------------------------------------------------

WorldShaderValues world_shader = {
    {0.85f, 0.85f, 0.8f, 1}, {0.2f, 0.2f, 0.2f, 1}, {0.8f, 0.75f, 0.7f, 1},
    {0.75f, 0.45f, 0, 1},    {0.4f, 0.6f, 0.8f, 1}, 46,
    1,                       1,                     {0, 0, 1},
    {0, 0.967823f, 0.251634f}, {0, 0.5f, 1},        {2, 2, 2},
    {0.6f, 0.3f, 0.1f},      {0, 0, 0},             {0, 0, 0},
    0,
};

float *(*world_shader_palette_rgb)(int row) = nullptr;
static float kept_interface_rgb[WORLD_SHADER_INTERFACE_COLOURS][3] = {
    {0.01f, 0.01f, 0.01f}, {1, 1, 1}, {0.16f, 0.66f, 0.86f}, {0.5f, 0.5f, 0.5f},
    {0.01f, 0.01f, 0.01f}, {1, 1, 1}, {0.16f, 0.66f, 0.86f}, {0.5f, 0.5f, 0.5f},
    {0.01f, 0.01f, 0.01f}, {0.5f, 0.5f, 0.5f}, {0, 0, 1}, {0.58f, 0, 0}, {0, 0, 1},
    {0.01f, 0.01f, 0.01f}, {0.4f, 0.2f, 0}, {0.16f, 0.66f, 0.86f}, {1, 0, 1},
};

int32_t world_shader_scene_flag = 1;
float motion_blur_time_step = 0.0005f;
int32_t sky_visible = 1;
int32_t world_shader_preset_counter = 0;
WorldShaderTransition world_shader_transition = {0, 0, WORLD_SHADER_TRANSITION_STEPS, 0, {}};
void (*worldshader_applied_hook)() = nullptr;

void set_world_shader_scene_flag(int32_t flag) { world_shader_scene_flag = flag; }
void set_motion_blur_time_step(float step)
{
    if (std::isfinite(step))
        motion_blur_time_step = step;
}
void set_sky_visible(int32_t flag) { sky_visible = flag; }

// The RGB of interface colour k (0..16).
static float *interface_rgb(int k)
{
    if (world_shader_palette_rgb) {
        float *rgb = world_shader_palette_rgb(WORLD_SHADER_FIRST_PALETTE_ROW + k);
        if (rgb)
            return rgb;
    }
    return kept_interface_rgb[k];
}

// Where the value of a scene setting lives (ids 0..15); null for others.
static float *scene_values(unsigned id)
{
    WorldShaderValues &w = world_shader;
    switch (id) {
    case 0: return w.background_color;
    case 1: return w.mirror_color;
    case 2: return w.floor_color;
    case 3: return w.sunshine_color;
    case 4: return w.ambient_color;
    case 5: return &w.fog_distance;
    case 8: return w.ambient_light_dir;
    case 9: return w.sun_light_dir;
    case 10: return w.sunbeam_color;
    case 11: return w.sun_color;
    case 12: return w.sky_color;
    case 13: return w.polar_light_color;
    case 14: return w.polar_light_dir;
    case 15: return &w.sky_blend_power;
    default: return nullptr;
    }
}

static int is_normalised_id(unsigned id) { return id == 8 || id == 9 || id == 14; }

// (x, y, z) divided by its length; a zero vector stays zero.
static void normalise_into(float out[3], double x, double y, double z)
{
    double len = std::sqrt(x * x + y * y + z * z);
    if (len > 0.0 && std::isfinite(len)) {
        x /= len;
        y /= len;
        z /= len;
    } else {
        x = y = z = 0.0;
    }
    out[0] = (float)x;
    out[1] = (float)y;
    out[2] = (float)z;
}

int world_shader_id(const char *name)
{
    if (!name)
        return -1;
    for (int i = 0; world_shader_settings[i].name; i++)
        if (strcmp(world_shader_settings[i].name, name) == 0)
            return world_shader_settings[i].id;
    return -1;
}

int get_shader(unsigned id, float out[4])
{
    if (id >= WORLD_SHADER_SETTINGS) {
        fprintf(stderr, "get_shader : no such id %i\n", (int)id);
        return 1;
    }
    out[0] = out[1] = out[2] = out[3] = 0.0f;
    if (id == 6 || id == 7) {
        out[0] = (id == 6 ? world_shader.sharp_shadow : world_shader.sky_on) ? 1.0f : 0.0f;
    } else if (id == 5 || id == 15) {
        out[0] = *scene_values(id);
    } else if (id >= WS_TEXT) {
        const float *rgb = interface_rgb((int)id - WS_TEXT);
        out[0] = rgb[0];
        out[1] = rgb[1];
        out[2] = rgb[2];
    } else {
        const float *v = scene_values(id);
        out[0] = v[0];
        out[1] = v[1];
        out[2] = v[2];
        if (id <= 4)
            out[3] = v[3];
        else if (id == 9)
            out[3] = 1.0f;
    }
    return 0;
}

int set_background(unsigned id, float x, float y, float z)
{
    if (id >= WORLD_SHADER_SETTINGS) {
        fprintf(stderr, "set_background : no such id %i\n", (int)id);
        return 1;
    }
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
        fprintf(stderr, "set_background : value out of range for id %i\n", (int)id);
        return 1;
    }
    if (id == 6) {
        world_shader.sharp_shadow = x != 0.0f;
    } else if (id == 7) {
        world_shader.sky_on = x != 0.0f;
    } else if (id == 5 || id == 15) {
        *scene_values(id) = x;
    } else if (id >= WS_TEXT) {
        float *rgb = interface_rgb((int)id - WS_TEXT);
        rgb[0] = x;
        rgb[1] = y;
        rgb[2] = z;
    } else if (is_normalised_id(id)) {
        normalise_into(scene_values(id), x, y, z);
    } else {
        float *v = scene_values(id);
        v[0] = x;
        v[1] = y;
        v[2] = z;
        if (id <= 4)
            v[3] = 1.0f;
    }
    return 0;
}

int set_worldshader_value(unsigned id, float x, float y, float z)
{
    int result = set_background(id, x, y, z);
    if (result == 0)
        apply_worldshader();
    return result;
}

// "%32s %f %f %f %f" into a 33-byte name; 0 and the id when the name is a
// setting.
static int read_setting_line(const char *text, unsigned *id, float v[4])
{
    char name[WORLD_SHADER_NAME + 1] = "";
    v[0] = v[1] = v[2] = v[3] = 0.0f;
    if (!text || sscanf(text, "%32s %f %f %f %f", name, &v[0], &v[1], &v[2], &v[3]) < 1)
        return 1;
    int found = world_shader_id(name);
    if (found < 0)
        return 1;
    *id = (unsigned)found;
    return 0;
}

int parse_worldshader_line(const char *text)
{
    unsigned id;
    float v[4];
    if (read_setting_line(text, &id, v) != 0)
        return 1;
    int result = set_background(id, v[0], v[1], v[2]);
    apply_worldshader();
    return result;
}

int read_worldshader_file(const char *path)
{
    FILE *f = path ? open_read_file(path, 1 << 20) : nullptr;
    if (!f) {
        fprintf(stderr, "Unable to open %s", path ? path : "(null)");
        return 1;
    }
    char line[256];
    while (fgets(line, sizeof line, f)) {
        size_t n = strlen(line);
        // A longer line is read in pieces: skip the rest of it.
        if (n == sizeof line - 1 && line[n - 1] != '\n') {
            int c;
            while ((c = fgetc(f)) != EOF && c != '\n') {
            }
        }
        if (line[0] == '#')
            continue;
        unsigned id;
        float v[4];
        if (read_setting_line(line, &id, v) == 0)
            set_background(id, v[0], v[1], v[2]);
    }
    fclose(f);
    apply_worldshader();
    return 0;
}

int write_worldshader_file(const char *path)
{
    // A new file beside the old one, renamed over it when whole.
    SafeFile out;
    if (!path || safe_open(&out, path) != 0) {
        fprintf(stderr, "Unable to open %s %s\n", path ? path : "(null)", strerror(errno));
        return 1;
    }
    FILE *f = out.f;
    for (int i = 0; world_shader_settings[i].name; i++) {
        const WorldShaderSetting &s = world_shader_settings[i];
        float v[4];
        get_shader((unsigned)s.id, v);
        if (s.type == WS_TYPE_INTEGER)
            fprintf(f, "%s %i\n", s.name, (int)v[0]);
        else if (s.type == WS_TYPE_FLOAT)
            fprintf(f, "%s %.2f\n", s.name, v[0]);
        else
            fprintf(f, "%s %.2f %.2f %.2f\n", s.name, v[0], v[1], v[2]);
    }
    return safe_commit(&out);
}

void print_worldshader_lua()
{
    for (int i = 0; world_shader_settings[i].name; i++) {
        const WorldShaderSetting &s = world_shader_settings[i];
        float v[4];
        get_shader((unsigned)s.id, v);
        if (s.type == WS_TYPE_INTEGER) {
            printf("-- %s 1\n", s.name);
            printf("run_cmd(\"worldshader %i %i\")\n", s.id, (int)v[0]);
        } else if (s.type == WS_TYPE_FLOAT) {
            printf("-- %s 1.0\n", s.name);
            printf("run_cmd(\"worldshader %i %.2f\")\n", s.id, v[0]);
        } else {
            printf("-- %s 1.0 1.0 1.0 \n", s.name);
            printf("run_cmd(\"worldshader %i %.2f %.2f %.2f\")\n", s.id, v[0], v[1], v[2]);
        }
    }
}

int worldshader_file_path(const char *name, char *out, int size)
{
    if (!out || size < 1)
        return 1;
    out[0] = '\0';
    if (!is_plain_name(name, 201))
        return 1;
    int n = snprintf(out, size, "data/shader/%s", name);
    if (n < 0 || n >= size) {
        out[0] = '\0';
        return 1;
    }
    return 0;
}

// ---- presets ---------------------------------------------------------------------------

// The blended groups: preset slot of the present flag, the value count and
// the scene setting id.
struct BlendGroup {
    int slot;
    int count;
    unsigned id;
};
static const BlendGroup blend_groups[] = {
    {P_BACKGROUND, 3, 0}, {P_MIRROR, 3, 1},     {P_FLOOR, 3, 2},   {P_SUNSHINE, 3, 3},
    {P_AMBIENT, 3, 4},    {P_FOG, 1, 5},        {P_AMBIENT_DIR, 3, 8}, {P_SUN_DIR, 3, 9},
    {P_SUNBEAM, 3, 10},   {P_SUN, 3, 11},       {P_SKY, 3, 12},    {P_POLAR_COLOUR, 3, 13},
    {P_POLAR_DIR, 3, 14}, {P_SKY_POWER, 1, 15},
};

// A group's values as a load of preset p gives them: the preset's when its
// flag is set, else the default record's; directions normalised.
static void resolved_group(const WorldShaderPreset &p, const BlendGroup &g, float out[3])
{
    const WorldShaderPreset &src = p.v[g.slot] != 0.0f ? p : world_shader_default_preset;
    if (g.count == 1) {
        out[0] = src.v[g.slot + 1];
        return;
    }
    if (is_normalised_id(g.id))
        normalise_into(out, src.v[g.slot + 1], src.v[g.slot + 2], src.v[g.slot + 3]);
    else
        for (int k = 0; k < 3; k++)
            out[k] = src.v[g.slot + 1 + k];
}

static int resolved_flag(const WorldShaderPreset &p, int slot)
{
    const WorldShaderPreset &src = p.v[slot] != 0.0f ? p : world_shader_default_preset;
    return src.v[slot + 1] != 0.0f;
}

// Every scene value (the blended groups and the two flags) as a load of
// preset p gives it.
static void store_resolved_values(const WorldShaderPreset &p)
{
    for (const BlendGroup &g : blend_groups) {
        float v[3];
        resolved_group(p, g, v);
        float *dst = scene_values(g.id);
        for (int k = 0; k < g.count; k++)
            dst[k] = v[k];
        if (g.id <= 4)
            dst[3] = 1.0f;
    }
    world_shader.sharp_shadow = resolved_flag(p, P_SHARP);
    world_shader.sky_on = resolved_flag(p, P_SKY_ON);
}

static void store_scene_values(const WorldShaderPreset &p, WorldShaderValues *w)
{
    WorldShaderValues saved = world_shader;
    store_resolved_values(p);
    if (w != &world_shader) {
        *w = world_shader;
        world_shader = saved;
    }
}

void worldshader_values_of_preset(int n, WorldShaderValues *out)
{
    if (!out || n < 0 || n >= WORLD_SHADER_PRESETS)
        return;
    store_scene_values(world_shader_presets[n], out);
}

int load_worldshader_preset_index(int n)
{
    if (n < 0 || n >= WORLD_SHADER_PRESETS)
        return 1;
    store_scene_values(world_shader_presets[n], &world_shader);
    for (int k = 0; k < WORLD_SHADER_INTERFACE_COLOURS; k++) {
        float *rgb = interface_rgb(k);
        for (int c = 0; c < 3; c++)
            rgb[c] = world_shader_default_preset.v[P_INTERFACE + 3 * k + c];
    }
    apply_worldshader();
    return 0;
}

void load_worldshader_preset()
{
    int n = world_shader_preset_counter % WORLD_SHADER_PRESETS;
    if (n < 0)
        n += WORLD_SHADER_PRESETS;
    load_worldshader_preset_index(n);
}

void start_worldshader_transition()
{
    WorldShaderTransition &t = world_shader_transition;
    if (t.running)
        return;
    t.running = 1;
    t.step = 0;
    t.total = WORLD_SHADER_TRANSITION_STEPS;
    int n = world_shader_preset_counter % WORLD_SHADER_PRESETS;
    t.target = n < 0 ? n + WORLD_SHADER_PRESETS : n;
    world_shader_preset_counter++;
    // Toward the values a load of the target gives, so that the blend ends
    // where a load would.
    const WorldShaderPreset &p = world_shader_presets[t.target];
    for (const BlendGroup &g : blend_groups) {
        float v[3];
        resolved_group(p, g, v);
        const float *cur = scene_values(g.id);
        for (int k = 0; k < g.count; k++)
            t.delta[g.slot + 1 + k] =
                (float)(((long double)v[k] - (long double)cur[k]) / (long double)t.total);
    }
}

void step_worldshader_transition()
{
    WorldShaderTransition &t = world_shader_transition;
    if (!t.running)
        return;
    if (t.step >= t.total) {
        t.running = 0;
        // The last step lands exactly on the target (no rounding left over).
        store_resolved_values(world_shader_presets[t.target]);
    } else {
        for (const BlendGroup &g : blend_groups) {
            float *dst = scene_values(g.id);
            for (int k = 0; k < g.count; k++)
                dst[k] += t.delta[g.slot + 1 + k];
        }
    }
    t.step++;
    apply_worldshader();
}

// ---- applying ---------------------------------------------------------------------------

void apply_worldshader()
{
    if (shaders_active)
        build_sky_texture();
    int page = hud_outward.menu_state ? hud_outward.menu_state() : 0;
    if (page == 0 || page == 13 || page == 14)
        use_text_colors();
    else
        use_menu_text_colors();
    if (worldshader_applied_hook)
        worldshader_applied_hook();
}

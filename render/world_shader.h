// World shader settings: the 33 named values that give the scene its look
// (background, mirror, floor, sun and ambient light, fog, sky, polar light)
// and the interface its text colours; six built-in presets, a 60-frame blend
// toward the next preset, and small text files under data/shader/.
//
// After any change the renderer re-applies them (apply_worldshader): the sky
// and sun textures while the shader renderer runs, the text colour set and
// clear colour always.
#pragma once

#include <cstdint>

// Setting types.
enum {
    WS_TYPE_COLOUR = 0,      // three components, alpha always 1.0
    WS_TYPE_INTEGER = 1,     // a flag
    WS_TYPE_FLOAT = 2,
    WS_TYPE_DIRECTION = 3    // three components, normalised when set
};

// Setting ids (the console's and the files' numbering).
enum WorldShaderId {
    WS_BACKGROUND_COLOR = 0,
    WS_MIRROR_COLOR,
    WS_FLOOR_COLOR,
    WS_SUNSHINE_COLOR,
    WS_AMBIENT_COLOR,
    WS_FOG_DISTANCE,         // 5
    WS_SHARP_SHADOW,
    WS_SKY_ON,
    WS_AMBIENT_LIGHT_DIR,
    WS_SUN_LIGHT_DIR,
    WS_SUNBEAM_COLOR,        // 10
    WS_SUN_COLOR,
    WS_SKY_COLOR,
    WS_POLAR_LIGHT_COLOR,
    WS_POLAR_LIGHT_DIR,
    WS_SKY_BLEND_POWER,      // 15
    WS_TEXT,                 // 16: first interface colour (palette row 51)
    WS_MSG_URLSEL = 32,      // last interface colour (palette row 67)
    WORLD_SHADER_SETTINGS = 33
};

enum {
    WORLD_SHADER_PRESETS = 6,
    WORLD_SHADER_PRESET_VALUES = 107,
    WORLD_SHADER_TRANSITION_STEPS = 60,
    WORLD_SHADER_INTERFACE_COLOURS = 17,
    WORLD_SHADER_FIRST_PALETTE_ROW = 51,
    WORLD_SHADER_NAME = 32   // longest setting name read from a line
};

struct WorldShaderSetting {
    int32_t id;
    const char *name;        // null in the end row
    int32_t type;            // WS_TYPE_*
};
// 33 rows and an end row with a null name.
extern const WorldShaderSetting world_shader_settings[WORLD_SHADER_SETTINGS + 1];

// The scene's current values (ids 0-15). The interface colours (16-32) are
// palette rows 51-67 and live with the palette (world_shader_palette_rgb).
struct WorldShaderValues {
    float background_color[4];
    float mirror_color[4];
    float floor_color[4];
    float sunshine_color[4];
    float ambient_color[4];
    float fog_distance;
    int32_t sharp_shadow;
    int32_t sky_on;
    float ambient_light_dir[3];
    float sun_light_dir[3];
    float sunbeam_color[3];
    float sun_color[3];
    float sky_color[3];
    float polar_light_color[3];
    float polar_light_dir[3];
    float sky_blend_power;
};
extern WorldShaderValues world_shader;

// A preset: 16 groups of {present flag, values} and the 17 interface
// colours (56-106), which only the default record fills.
struct WorldShaderPreset {
    float v[WORLD_SHADER_PRESET_VALUES];
};
extern const WorldShaderPreset world_shader_default_preset;
extern const WorldShaderPreset world_shader_presets[WORLD_SHADER_PRESETS];

// The RGB of an interface colour's palette row (51..67); start-up points it
// at the palette. Empty: the values are kept here.
extern float *(*world_shader_palette_rgb)(int row);

// Two scene values beside the settings: a flag read by the scene passes
// (1 from start) and the motion-blur sub-frame time step (0.0005).
extern int32_t world_shader_scene_flag;
extern float motion_blur_time_step;
void set_world_shader_scene_flag(int32_t flag);
void set_motion_blur_time_step(float step);

// Whether the sky pass may draw this frame (set by the frame composition).
extern int32_t sky_visible;
void set_sky_visible(int32_t flag);

// The preset counter (the next preset is counter mod 6) and the blend.
extern int32_t world_shader_preset_counter;
struct WorldShaderTransition {
    int32_t running;
    int32_t step;
    int32_t total;           // 60
    int32_t target;          // preset index
    float delta[WORLD_SHADER_PRESET_VALUES];   // per blended value, by preset slot
};
extern WorldShaderTransition world_shader_transition;

// ---- by id -------------------------------------------------------------------------
// out: colours RGB and alpha (0-4), RGB (10-13, 16-32); directions xyz
// (9 with w = 1); floats and flags one value. 1 and a stderr line for an id
// above 32.
int get_shader(unsigned id, float out[4]);
// Sets one value without re-applying; 1 and a stderr line for an id above
// 32. Non-finite numbers are refused (1) and change nothing.
int set_background(unsigned id, float x, float y, float z);
// set_background, then apply_worldshader.
int set_worldshader_value(unsigned id, float x, float y, float z);
// The id of a setting name, -1 when none.
int world_shader_id(const char *name);

// ---- lines and files -------------------------------------------------------------
// "name x y z w": sets the named value and re-applies; unknown names do
// nothing. Returns 0 when a setting was changed, 1 otherwise.
int parse_worldshader_line(const char *text);
// 0 read (settings re-applied once), 1 and "Unable to open %s" on stderr.
int read_worldshader_file(const char *path);
// 0 written; 1 and "Unable to open %s %s\n" on stderr.
int write_worldshader_file(const char *path);
// The settings as a Lua script on stdout.
void print_worldshader_lua();
// Only a plain file name (no '/', '\\', "..", leading '.', control
// characters; at most 200 bytes) builds "data/shader/<name>" into out.
// 0 built, 1 refused.
int worldshader_file_path(const char *name, char *out, int size);

// ---- presets and the blend ---------------------------------------------------------
// Loads preset (counter mod 6) at once; the counter does not move.
void load_worldshader_preset();
// Loads preset n (0..5) at once; 1 for another n.
int load_worldshader_preset_index(int n);
// Values of a preset as a load would leave them (no GL, no apply).
void worldshader_values_of_preset(int n, WorldShaderValues *out);
// Starts the blend toward the next preset (ignored while one runs).
void start_worldshader_transition();
// Once a frame: one blend step and a re-apply; nothing when not running.
void step_worldshader_transition();

// ---- applying ----------------------------------------------------------------------
// Re-applies the settings: sky and sun textures while shaders are active,
// the text colour set for the current menu page.
void apply_worldshader();
// Called by apply_worldshader after the textures; the scene passes may hook
// in here (empty by default).
extern void (*worldshader_applied_hook)();

#include "shell/shader_links.h"

#include <cstring>

#include "core/outward.h"
#include "platform/loop.h"
#include "platform/screenshot.h"
#include "render/glsl_programs.h"
#include "render/render_util.h"
#include "render/scene.h"
#include "render/sky.h"
#include "render/trails.h"
#include "render/world_shader.h"
#include "script/api_game.h"
#include "script/api_trails.h"
#include "shell/game_control.h"
#include "shell/options.h"
#include "shell/palette.h"
#include "shell/settings.h"

static void (*previous_toggle_render_option)(int option);
static void (*previous_shutdown_renderer)();

// The renderer's switches, each with the option row it flips; "shaders"
// turns the shader path on or off for real.
static const struct {
    int option;
    void (*toggle)();
} render_switches[] = {
    {OPT_FLUID, toggle_fluid},
    {OPT_REFLECTION, toggle_reflection},
    {OPT_SOFTSHADOW, toggle_softshadow},
    {OPT_AMBIENTOCCLUSION, toggle_ambientocclusion},
    {OPT_BUMPMAPPING, toggle_bumpmapping},
    {OPT_NORELOAD, toggle_noreload},
    {OPT_TRANSPARENCY, toggle_transparency},
    {OPT_FRAMESKIP, toggle_frameskip},
    {OPT_SHADERS, toggle_shaders},
};

static void (*render_switch(int option))()
{
    for (const auto &s : render_switches)
        if (s.option == option)
            return s.toggle;
    return nullptr;
}

int switch_render_option(int option, int on)
{
    void (*toggle)() = render_switch(option);
    if (!toggle)
        return 1;
    if ((get_option(option) != 0) != (on != 0))
        toggle();
    return 0;
}

// The renderer's rows flip through their switches, the others as before.
static void toggle_render_option_with_shaders(int option)
{
    if (void (*toggle)() = render_switch(option)) {
        toggle();
        return;
    }
    if (previous_toggle_render_option)
        previous_toggle_render_option(option);
    else
        set_option(option, get_option(option) ? 0 : 1);
}

// The GL objects of trails and sky go with the context (full-screen switch,
// new video mode); the next player looks and set-up load them again.
static void shutdown_renderer_with_shader_objects()
{
    free_trail_textures();
    if (previous_shutdown_renderer)
        previous_shutdown_renderer();
    delete_renderer_textures();
    shaders_active = 0;
}

static void (*previous_script_set_option)(const char *name, int value);

// Scripts that set "shaders" go through the same switch as the menu. What a
// start-up script sets before the stored settings load is a request for this
// run, like the command line's.
static void script_set_option_with_shaders(const char *name, int value)
{
    if (name)
        mark_option_requested(option_row(name));
    if (name && switch_render_option(option_row(name), value) == 0)
        return;
    if (previous_script_set_option)
        previous_script_set_option(name, value);
    else
        set_option_by_name(name, value);
}

static float *interface_palette_rgb(int row)
{
    if (row < 0 || row >= PALETTE_ROWS)
        return nullptr;
    return ColourPalette[row].rgb;
}

// set_trail_color: every point of the player's trails takes the colour,
// and the trails switch on (off for colour 0).
static void script_set_trail_color(int player, int colour)
{
    float rgb[3] = {0, 0, 0};
    if (colour > 0)
        get_colour_rgb(colour, rgb);
    for (int t = 0; t < TRAILS_PER_PLAYER; t++) {
        TrailRibbon *r = trail_ribbon(player, t);
        if (!r)
            continue;
        r->enabled = colour != 0;
        trail_set_point_color(r, rgb);
    }
}

static void script_add_trail_point(int player, int emitter, const float a[3], const float b[3])
{
    trail_add_point(trail_ribbon(player, emitter), a, b, 1);
}

static int script_find_option(const char *name, int *value)
{
    int row = option_row(name);
    if (row < 0 || !value)
        return 1;
    *value = get_option(row);
    return 0;
}

void bind_script_option_links()
{
    // The renderer's switches flip the option rows through these.
    if (!render_option_refs.fluid || !render_option_refs.shaders)
        bind_render_option_refs();
    if (!render_option_refs.set_shaders_enabled)
        render_option_refs.set_shaders_enabled = set_shaders_enabled;
    if (!script_shell.find_option)
        script_shell.find_option = script_find_option;
    if (script_shell.set_option != script_set_option_with_shaders) {
        previous_script_set_option = script_shell.set_option;
        script_shell.set_option = script_set_option_with_shaders;
    }
}

int start_trails()
{
    if (trail_ribbons[0])
        return 0;
    return create_trails();
}

void bind_shader_links()
{
    if (!render_option_refs.motionblur)
        render_option_refs.motionblur = &option_table[OPT_MOTIONBLUR].value;
    if (!world_shader_palette_rgb)
        world_shader_palette_rgb = interface_palette_rgb;
    if (settings_links.toggle_render_option != toggle_render_option_with_shaders) {
        previous_toggle_render_option = settings_links.toggle_render_option;
        settings_links.toggle_render_option = toggle_render_option_with_shaders;
    }
    if (platform_outward.shutdown_renderer != shutdown_renderer_with_shader_objects) {
        previous_shutdown_renderer = platform_outward.shutdown_renderer;
        platform_outward.shutdown_renderer = shutdown_renderer_with_shader_objects;
    }
    bind_script_option_links();
    if (!platform_outward.load_world_shader_preset)
        platform_outward.load_world_shader_preset = load_worldshader_preset;
    if (!game_links.clear_blood_stains)
        game_links.clear_blood_stains = clear_blood_stains;
    if (!core_outward.update_trails)
        core_outward.update_trails = update_trails;
    if (!core_outward.clear_floor_stains)
        core_outward.clear_floor_stains = clear_blood_stains;
    if (!core_outward.reset_trails)
        core_outward.reset_trails = reset_trails;
    if (!settings_links.free_trails)
        settings_links.free_trails = destroy_trails;
    if (!trail_shell.set_trail_color)
        trail_shell.set_trail_color = script_set_trail_color;
    if (!trail_shell.add_trail_point)
        trail_shell.add_trail_point = script_add_trail_point;
    start_trails();
}

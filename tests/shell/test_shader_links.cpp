// The Options page's and scripts' "shaders" go through the real switch, and
// the interface colours of the world shader are the palette's rows.
#include "shell/shader_links.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/screenshot.h"
#include "render/scene.h"
#include "render/trails.h"
#include "render/world_shader.h"
#include "script/api_game.h"
#include "shell/options.h"
#include "shell/palette.h"
#include "shell/settings.h"

namespace {
int set_ups;
}

TEST(ShaderLinks, OptionsRowAndScriptsRunTheSetUp)
{
    reset_options();
    bind_shader_links();
    RenderOutward saved = render_outward;
    render_option_refs.shaders = &option_table[OPT_SHADERS].value;
    set_ups = 0;
    render_outward.init_shader_renderer = [] {
        set_ups++;
        if (get_option(OPT_SHADERS))
            shaders_active = 1;
    };
    render_outward.free_shader_renderer = nullptr;
    shaders_active = 0;
    render_resources_loaded = 1;
    EXPECT_EQ(apply_option(7, "1"), 0);
    EXPECT_EQ(set_ups, 1);
    EXPECT_EQ(shaders_active, 1);
    EXPECT_EQ(get_option(OPT_SHADERS), 1);
    EXPECT_EQ(apply_option(7, "0"), 0);
    EXPECT_EQ(shaders_active, 0);
    EXPECT_EQ(get_option(OPT_SHADERS), 0);
    // A set-up that fails: the option stays off.
    render_outward.init_shader_renderer = [] { set_ups++; };
    ASSERT_NE(script_shell.set_option, nullptr);
    script_shell.set_option("shaders", 1);
    EXPECT_EQ(set_ups, 2);
    EXPECT_EQ(shaders_active, 0);
    EXPECT_EQ(get_option(OPT_SHADERS), 0);
    // Other rows flip as before.
    int fluid = get_option(OPT_FLUID);
    EXPECT_EQ(apply_option(8, fluid ? "0" : "1"), 0);
    EXPECT_NE(get_option(OPT_FLUID), fluid);

    // A start-up script's request before the window exists is kept for the
    // renderer's start instead of being undone.
    render_resources_loaded = 0;
    set_ups = 0;
    script_shell.set_option("shaders", 1);
    EXPECT_EQ(set_ups, 0);
    EXPECT_EQ(get_option(OPT_SHADERS), 1);
    EXPECT_EQ(shaders_active, 0);
    script_shell.set_option("shaders", 0);
    EXPECT_EQ(get_option(OPT_SHADERS), 0);
    render_outward = saved;
    reset_options();
}

TEST(ShaderLinks, InterfaceColoursAreThePalettesRowsAndTrailsExist)
{
    bind_shader_links();
    float before[3] = {ColourPalette[51].rgb[0], ColourPalette[51].rgb[1],
                       ColourPalette[51].rgb[2]};
    EXPECT_EQ(set_background(16, 0.3f, 0.2f, 0.1f), 0);
    EXPECT_FLOAT_EQ(ColourPalette[51].rgb[0], 0.3f);
    float v[4];
    get_shader(16, v);
    EXPECT_FLOAT_EQ(v[2], 0.1f);
    // A preset load puts the interface colours back to their defaults.
    load_worldshader_preset_index(0);
    EXPECT_FLOAT_EQ(ColourPalette[51].rgb[0], 0.01f);
    EXPECT_FLOAT_EQ(ColourPalette[67].rgb[2], 1.0f);
    (void)before;
    EXPECT_NE(trail_ribbon(3, 3), nullptr);
}

namespace {
int32_t seen_fluid, seen_frameskip;
}

// The Options page, the console and scripts flip the renderer's rows
// through its switches: a switch bound elsewhere sees every change.
TEST(ShaderLinks, RenderRowsGoThroughTheRenderersSwitches)
{
    reset_options();
    bind_shader_links();
    RenderOptionRefs saved = render_option_refs;
    seen_fluid = get_option(OPT_FLUID);
    seen_frameskip = get_option(OPT_FRAMESKIP);
    render_option_refs.fluid = &seen_fluid;
    render_option_refs.frameskip = &seen_frameskip;
    int fluid = seen_fluid;
    EXPECT_EQ(apply_option(8, fluid ? "0" : "1"), 0);   // the Options page's row
    EXPECT_EQ(seen_fluid, !fluid);
    ASSERT_NE(script_shell.set_option, nullptr);
    // (the row itself is left alone by the switch bound here)
    script_shell.set_option("fluid", !fluid);   // a script asks for a change
    EXPECT_EQ(seen_fluid, fluid);
    script_shell.set_option("fluid", fluid);    // no change asked: no flip
    EXPECT_EQ(seen_fluid, fluid);
    int frameskip = seen_frameskip;
    EXPECT_EQ(switch_render_option(OPT_FRAMESKIP, frameskip), 0);
    EXPECT_EQ(seen_frameskip, frameskip);
    EXPECT_EQ(switch_render_option(OPT_FRAMESKIP, !frameskip), 0);
    EXPECT_EQ(seen_frameskip, !frameskip);
    EXPECT_EQ(switch_render_option(OPT_WIDTH, 1), 1);   // not a render switch
    render_option_refs = saved;
    reset_options();
}

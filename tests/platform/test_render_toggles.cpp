// The render option switches flip exactly their own value.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/screenshot.h"

TEST(RenderToggles, EachFlipsItsOwnOptionOnly)
{
    int32_t v[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    int active = 0;
    render_option_refs = RenderOptionRefs{&v[0], &v[1], &v[2], &v[3], &v[4],
                                          &v[5], &v[6], &v[7], &v[8], &active};
    void (*const toggles[8])() = {toggle_fluid,          toggle_reflection,  toggle_softshadow,
                                  toggle_ambientocclusion, toggle_bumpmapping, toggle_noreload,
                                  toggle_transparency,   toggle_frameskip};
    for (int i = 0; i < 8; i++) {
        toggles[i]();
        for (int k = 0; k < 9; k++)
            EXPECT_EQ(v[k], k == i ? 1 : 0) << i << " " << k;
        toggles[i]();
        EXPECT_EQ(v[i], 0);
    }
    // Any non-zero value counts as on.
    v[0] = 2;
    toggle_fluid();
    EXPECT_EQ(v[0], 0);

    // shaders without the renderer's switch: only the option flips; nothing
    // can be active without a set-up.
    toggle_shaders();
    EXPECT_EQ(v[8], 1);
    EXPECT_EQ(get_shaders_active(), 0);
    toggle_shaders();
    EXPECT_EQ(v[8], 0);
    EXPECT_EQ(get_shaders_active(), 0);

    // Unbound values are skipped.
    render_option_refs = RenderOptionRefs();
    toggle_fluid();
    toggle_shaders();
    EXPECT_EQ(get_shaders_active(), 0);
}

namespace {
int switch_calls, switch_last;
int32_t switch_option;
int switch_active;
int fake_switch(int on)
{
    switch_calls++;
    switch_last = on;
    switch_option = on;
    switch_active = on;   // a set-up that succeeds
    return 0;
}
} // namespace

TEST(RenderToggles, ShadersGoThroughTheRenderersSwitch)
{
    render_option_refs = RenderOptionRefs{};
    render_option_refs.shaders = &switch_option;
    render_option_refs.shaders_active = &switch_active;
    render_option_refs.set_shaders_enabled = fake_switch;
    switch_option = 0;
    switch_active = 0;
    switch_calls = 0;
    toggle_shaders();
    EXPECT_EQ(switch_calls, 1);
    EXPECT_EQ(switch_last, 1);
    EXPECT_EQ(get_shaders_active(), 1);
    toggle_shaders();
    EXPECT_EQ(switch_calls, 2);
    EXPECT_EQ(switch_last, 0);
    EXPECT_EQ(get_shaders_active(), 0);
    render_option_refs = RenderOptionRefs{};
}

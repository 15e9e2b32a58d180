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

    // shaders: the option and the renderer's state flip together.
    toggle_shaders();
    EXPECT_EQ(v[8], 1);
    EXPECT_EQ(get_shaders_active(), 1);
    toggle_shaders();
    EXPECT_EQ(v[8], 0);
    EXPECT_EQ(get_shaders_active(), 0);

    // Unbound values are skipped.
    render_option_refs = RenderOptionRefs();
    toggle_fluid();
    toggle_shaders();
    EXPECT_EQ(get_shaders_active(), 0);
}

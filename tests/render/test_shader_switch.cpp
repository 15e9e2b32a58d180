// The shaders switch: shaders_active only after a set-up that succeeded.
#include "render/glsl_programs.h"

#include <gtest/gtest.h>

#include <string>

#include "core/outward.h"
#include "platform/screenshot.h"
#include "render/scene.h"

namespace {

int32_t shaders_option;
int init_calls, free_calls;
bool init_succeeds;
std::string messages;

class ShaderSwitch : public ::testing::Test {
protected:
    RenderOptionRefs saved_refs;
    RenderOutward saved_outward;
    void SetUp() override
    {
        saved_refs = render_option_refs;
        saved_outward = render_outward;
        render_option_refs = RenderOptionRefs{};
        render_option_refs.shaders = &shaders_option;
        shaders_option = 0;
        shaders_active = 0;
        render_resources_loaded = 1;
        init_calls = free_calls = 0;
        messages.clear();
        core_outward.echo = [](const char *text, int) { messages += text; };
        render_outward.init_shader_renderer = [] {
            init_calls++;
            // The set-up does nothing while the option is off, as at start.
            if (shaders_option && init_succeeds)
                shaders_active = 1;
        };
        render_outward.free_shader_renderer = [] { free_calls++; };
    }
    void TearDown() override
    {
        render_option_refs = saved_refs;
        render_outward = saved_outward;
        core_outward.echo = nullptr;
        shaders_active = 0;
        render_resources_loaded = 0;
    }
};

} // namespace

TEST_F(ShaderSwitch, TurningOnRunsTheSetUpAndActivatesOnlyOnSuccess)
{
    init_succeeds = true;
    EXPECT_EQ(set_shaders_enabled(1), 0);
    EXPECT_EQ(init_calls, 1);
    EXPECT_EQ(shaders_active, 1);
    EXPECT_EQ(shaders_option, 1);
    // Already on: nothing is built twice.
    EXPECT_EQ(set_shaders_enabled(1), 0);
    EXPECT_EQ(init_calls, 1);
    EXPECT_EQ(set_shaders_enabled(0), 0);
    EXPECT_EQ(shaders_active, 0);
    EXPECT_EQ(shaders_option, 0);
    EXPECT_GE(free_calls, 1);
}

TEST_F(ShaderSwitch, AFailedSetUpLeavesShadersOffWithAMessage)
{
    init_succeeds = false;
    EXPECT_EQ(set_shaders_enabled(1), 1);
    EXPECT_EQ(init_calls, 1);
    EXPECT_EQ(shaders_active, 0);
    EXPECT_EQ(shaders_option, 0);
    EXPECT_NE(messages.find("they stay off"), std::string::npos) << messages;

    // No set-up at all in this build.
    render_outward.init_shader_renderer = nullptr;
    messages.clear();
    EXPECT_EQ(set_shaders_enabled(1), 1);
    EXPECT_EQ(shaders_active, 0);
    EXPECT_EQ(shaders_option, 0);
    EXPECT_FALSE(messages.empty());
}

TEST_F(ShaderSwitch, TurningOnBeforeTheRendererLoadsKeepsTheRequest)
{
    // A start-up script runs before the window: nothing can be built yet,
    // and the option must stay on for the renderer's start.
    render_resources_loaded = 0;
    init_succeeds = true;
    EXPECT_EQ(set_shaders_enabled(1), 0);
    EXPECT_EQ(init_calls, 0);
    EXPECT_EQ(shaders_active, 0);
    EXPECT_EQ(shaders_option, 1);
    EXPECT_TRUE(messages.empty()) << messages;
    // Turned off again before the window: the option goes off.
    EXPECT_EQ(set_shaders_enabled(0), 0);
    EXPECT_EQ(shaders_option, 0);
    // Once loaded, the switch runs the set-up at once.
    render_resources_loaded = 1;
    EXPECT_EQ(set_shaders_enabled(1), 0);
    EXPECT_EQ(init_calls, 1);
    EXPECT_EQ(shaders_active, 1);
}

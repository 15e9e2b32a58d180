#include <gtest/gtest.h>

#include <dlfcn.h>

#include <SDL/SDL.h>

#include "platform/loop.h"

// The X and Mesa libraries keep a few allocations to the end of the process
// (visual lists, driver records); they are not this program's to free.
static const char lsan_suppressions[] =
    "leak:libX11.so\n"
    "leak:libGLX_mesa.so\n"
    "leak:libGLX.so\n"
    "leak:swrast_dri.so\n"
    "leak:libgallium\n"
    "leak:libLLVM\n"
    "leak:SDL_SetVideoMode\n"
    "leak:SDL_VideoInit\n"
    "leak:SDL_GL_SwapBuffers\n"
    "leak:glewInit\n";
extern "C" const char *__lsan_default_suppressions() { return lsan_suppressions; }

// The window's shut-down unloads the GL driver; kept loaded, what it leaves
// behind can still be named by the suppressions above.
[[maybe_unused]] static void *const keep_gl_driver =
    dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);

namespace {

class Window : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    }
    static void TearDownTestSuite() { SDL_Quit(); }
};

TEST_F(Window, ModeAndStencil)
{
    set_video_mode(640, 480, 0);
    ASSERT_NE(video_surface, nullptr);
    EXPECT_EQ(*platform_options.width, 640);
    EXPECT_EQ(*platform_options.height, 480);
    int stencil = 0;
    SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &stencil);
    EXPECT_GE(stencil, 8);
    init_gl_state();
}

TEST_F(Window, FailedRecreationKeepsTheOldMode)
{
    set_video_mode(800, 600, 0);
    ASSERT_NE(video_surface, nullptr);
    // No full-screen mode of this size exists on the virtual screen.
    *platform_options.width = 5000;
    *platform_options.height = 5000;
    toggle_fullscreen();
    ASSERT_NE(video_surface, nullptr);
    EXPECT_EQ(video_surface->w, 800);
    EXPECT_EQ(video_surface->h, 600);
    EXPECT_EQ(*platform_options.width, 800);
    EXPECT_EQ(*platform_options.height, 600);
    EXPECT_EQ(fullscreen_active, 0);
    EXPECT_EQ(*platform_options.fullscreen, 0);
}

// Handles what the X server has sent for a while (the pointer's moves).
void pump_events_for(int ms)
{
    Uint32 until = SDL_GetTicks() + (Uint32)ms;
    SDL_Event e;
    while (SDL_GetTicks() < until) {
        while (SDL_PollEvent(&e)) {
        }
        SDL_Delay(5);
    }
}

// A new mode puts the pointer at the screen's centre; the switch puts it
// back where it was in the window, both ways.
TEST_F(Window, ModeChangeLeavesThePointerWhereItWas)
{
    set_video_mode(800, 600, 0);
    ASSERT_NE(video_surface, nullptr);
    SDL_WarpMouse(60, 560);
    pump_events_for(200);
    for (int full : {1, 0}) {
        SCOPED_TRACE(full);
        toggle_fullscreen();
        ASSERT_EQ(fullscreen_active, full);
        pump_events_for(300);
        int x = -1, y = -1;
        SDL_GetMouseState(&x, &y);
        EXPECT_EQ(x, 60);
        EXPECT_EQ(y, 560);
    }
}

TEST_F(Window, PacedPollAndQuitWhileInputLocked)
{
    set_video_mode(320, 240, 0);
    AppCallbacks callbacks = {};
    int keys = 0;
    static int *key_count;
    key_count = &keys;
    callbacks.key = [](int, int, int, int) {
        (*key_count)++;
        return 1;
    };
    running = 1;
    last_frame_tick = (int32_t)SDL_GetTicks();
    Uint32 start = SDL_GetTicks();
    poll_events(&callbacks);
    poll_events(&callbacks);
    EXPECT_GE(SDL_GetTicks() - start, 30u);   // two frames of at least 16 ms

    lock_input(60.0f, 0);
    EXPECT_EQ(input_lock_expired(), 0);
    SDL_Event key = {};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_a;
    SDL_PushEvent(&key);
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    poll_events(&callbacks);
    EXPECT_EQ(running, 0);
    EXPECT_EQ(keys, 0);   // dropped while input is locked

    lock_input(0.0f, 0);
    EXPECT_EQ(input_lock_expired(), 1);
    EXPECT_EQ(input_enabled, 1);
    SDL_PushEvent(&key);
    poll_events(&callbacks);
    EXPECT_EQ(keys, 1);
    running = 1;
}

}  // namespace

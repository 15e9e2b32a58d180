// The message console and the banner drawn with the real fonts: wrapped
// pieces fit the window's console width, the rows stand above the bottom
// and the banner is centred at 0.55 of the height.
#include <SDL/SDL.h>
#include <gtest/gtest.h>

#include <string>

#include "core/records.h"
#include "platform/camera.h"
#include "render/gl_draw.h"
#include "render/hud.h"
#include "shell/console.h"
#include "shell/frame_layers.h"
#include "shell/menus.h"
#include "shell/options.h"
#include "shell/widgets.h"
#include "shell/game_control.h"
#include "shell/ttf_text.h"
#include "support/test_support.h"

namespace {

const int W = 640, H = 240;

struct Dark { int x0, x1, y0, y1, count; };

// Dark pixels over a white background (row 0 at the top).
template <typename Draw> Dark drawn(Draw draw)
{
    glViewport(0, 0, W, H);
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    begin_2d();
    draw();
    end_2d();
    glFinish();
    static uint8_t p[W * H * 4];
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, p);
    Dark d = {W, -1, H, -1, 0};
    for (int gy = 0; gy < H; gy++)
        for (int x = 0; x < W; x++)
            if (p[(gy * W + x) * 4] < 150) {
                int y = H - 1 - gy;
                d.count++;
                d.x0 = x < d.x0 ? x : d.x0;
                d.x1 = x > d.x1 ? x : d.x1;
                d.y0 = y < d.y0 ? y : d.y0;
                d.y1 = y > d.y1 ? y : d.y1;
            }
    return d;
}

TEST(ConsoleGl, LinesWrapToTheWindowAndBannerIsCentred)
{
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    ASSERT_NE(SDL_SetVideoMode(W, H, 0, SDL_OPENGL), nullptr) << SDL_GetError();
    ASSERT_EQ(glewInit(), (GLenum)GLEW_OK);
    view_width = W;
    view_height = H;
    set_font_root((std::string(source_dir()) + "/").c_str());
    ASSERT_EQ(init_font_ttf(), 0);

    create_control_bar(W, H);   // all hidden
    init_console_layout();
    layout_screen(0);
    ASSERT_GT(screen_layout.console_pixels, 0);
    ASSERT_GT(screen_layout.console_chars, 0);
    std::string words;
    for (int i = 0; i < 30; i++)
        words += "word ";
    echo_message_nohook(words.c_str(), 0, 1);
    ASSERT_GT(message_console.line_count, 1);
    for (int i = 0; i < message_console.line_count; i++)
        EXPECT_LE(wide_text_width(1, console_line(i)->text), screen_layout.console_pixels) << i;

    // the newest rows at alpha 0.6, ending 80 pixels above the bottom
    for (int i = 0; i < 10; i++)
        draw_console_lines(8, 80);
    Dark rows = drawn([] { draw_console_lines(8, 80); });
    EXPECT_GT(rows.count, 0);
    EXPECT_GE(rows.x0, 8);
    EXPECT_LE(rows.x1, 8 + screen_layout.console_pixels);
    EXPECT_GE(rows.y0, message_console.list.first_y - 2);
    EXPECT_LE(rows.y1, H - 80 + 4);

    frame_tick = 0;
    show_banner(1, 59, 2, "BANNER", "", "", 0, -1);
    Dark b = drawn([] { draw_banner(); });
    EXPECT_GT(b.count, 0);
    EXPECT_NEAR((b.x0 + b.x1) / 2.0, W / 2.0, 4.0);
    EXPECT_GE(b.y0, (int)(0.55f * H) - 4);
    EXPECT_LT(b.y1, (int)(0.55f * H) + 35);
    frame_tick = 2000;
    EXPECT_EQ(drawn([] { draw_banner(); }).count, 0);

    // The frame's banner layer: a page over the game (the main menu over
    // the replay after a match) holds the banner back, the game and the
    // say box show it.
    const FrameLayer *layer = &frame_layer_table(nullptr)[frame_layer_index("banner")];
    frame_tick = 0;
    show_banner(2, 59, 2, "DRAW !", "", "", 0, -1);
    const struct { int menu, drawn; } pages[] = {
        {MENU_MAIN, 0}, {MENU_SETUP, 0}, {MENU_OPTIONS, 0}, {MENU_GAME, 1}, {MENU_SAY, 1}};
    for (const auto &p : pages) {
        menu_state = p.menu;
        int count = drawn([layer] { layer->draw(nullptr, nullptr); }).count;
        EXPECT_EQ(count > 0, p.drawn != 0) << "menu " << p.menu;
    }
    menu_state = 0;
    close_fonts();
}

// The say box: one row at the given place, only on the say page unless
// forced.
TEST(ConsoleGl, SayBoxStaysInTheWindow)
{
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    ASSERT_NE(SDL_SetVideoMode(W, H, 0, SDL_OPENGL), nullptr) << SDL_GetError();
    ASSERT_EQ(glewInit(), (GLenum)GLEW_OK);
    view_width = W;
    view_height = H;
    set_font_root((std::string(source_dir()) + "/").c_str());
    ASSERT_EQ(init_font_ttf(), 0);
    bind_ttf_text();
    use_text_colors();
    menu_state = 0;
    EXPECT_EQ(drawn([] { draw_say_box_row(8, 100, 0); }).count, 0);
    Dark box = drawn([] { draw_say_box_row(8, 100, 1); });
    EXPECT_GT(box.count, 0);
    EXPECT_GE(box.x0, 8);
    EXPECT_GE(box.y0, 100);
    EXPECT_LT(box.y1, 100 + 30);
    menu_state = 16;
    EXPECT_GT(drawn([] { draw_say_box_row(8, 100, 0); }).count, 0);
    menu_state = 0;
    close_fonts();
}

}  // namespace

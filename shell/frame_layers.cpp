#include "shell/frame_layers.h"

#include "core/records.h"
#include "platform/camera.h"
#include "platform/loop.h"
#include "render/gl_draw.h"
#include "render/hud.h"
#include "render/scene.h"
#include "render/trails.h"
#include "shell/console.h"
#include "shell/game_control.h"
#include "shell/input.h"
#include "shell/options.h"

// The layout follows the window size.
static void follow_window_size()
{
    static int last_width = -1, last_height = -1;
    if (view_width == last_width && view_height == last_height)
        return;
    last_width = view_width;
    last_height = view_height;
    layout_screen(0);
}

void draw_frame_layers(MatchState *match, GameRules *rules, MatchResult *result)
{
    (void)result;
    // A skipped frame is simulated but never shown.
    if (frame_skipped)
        return;
    follow_window_size();
    // A page that hides the game draws only itself.
    if (game_links.menu_game_behind && !game_links.menu_game_behind(menu_state)) {
        if (game_links.draw_menu_screen)
            game_links.draw_menu_screen();
        else
            draw_menu_screen();
        return;
    }
    // The 3D scene: camera, dojo, fighters, markers and blood drops.
    draw_scene(match, rules);
    draw_trails();
    // The match HUD over it: replay title, scores, frames left, turn timer.
    draw_match_hud(rules);
    // The 2D layers over everything.
    begin_2d();
    int hud = get_option(OPT_HUD);
    if (hud && get_option(OPT_SPECTATOR))
        draw_spectator_list();
    if (hud && get_option(OPT_TEXT) && get_option(OPT_HINT))
        draw_hint_line();
    if (hud && get_option(OPT_TEXT) && get_option(OPT_FEEDBACK))
        draw_joint_state_line();
    if (hud && get_option(OPT_MESSAGE))
        draw_console_lines(8, 80);
    else
        drain_console_queue();
    if (help_overlay)
        draw_help_overlay();
    draw_banner();
    draw_mouse_cursor();
    end_2d();
}

#include "shell/frame_layers.h"

#include <cstdio>
#include <cstring>

#include "core/records.h"
#include "core/bout.h"
#include "core/ground_impacts.h"
#include "core/outward.h"
#include "core/replay_buffer.h"
#include "core/rules.h"
#include "core/text.h"
#include "platform/camera.h"
#include "platform/loop.h"
#include "render/fighter_draw.h"
#include "render/gl_draw.h"
#include "render/hud.h"
#include "render/scene.h"
#include "render/texture.h"
#include "render/trails.h"
#include "script/api_fighters.h"
#include "script/hooks.h"
#include "shell/app.h"
#include "shell/buddies.h"
#include "shell/console.h"
#include "shell/game_control.h"
#include "shell/input.h"
#include "shell/menus.h"
#include "shell/widgets.h"
#include "shell/customs.h"
#include "shell/options.h"
#include "shell/palette.h"
#include "shell/ttf_text.h"

void (*frame_layer_probe)(const char *name) = nullptr;

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

static int on(int row) { return get_option(row) != 0; }
static int hud_on() { return on(OPT_HUD); }
static int text_on() { return hud_on() && on(OPT_TEXT); }

// ---- 3D layers ----------------------------------------------------------------------

// A background picture (table row 7, when a script or mod loads one) stands
// behind the scene of the game pages while the shader renderer is off.
enum { BACKGROUND_ROW = 7 };

static void layer_background(MatchState *, GameRules *)
{
    if (shaders_active || !table_texture_loaded(BACKGROUND_ROW))
        return;
    if (menu_state != 0 && menu_state != 13 && menu_state != 14 && menu_state != MENU_SAY)
        return;
    begin_2d();
    glDisable(GL_DEPTH_TEST);
    set_draw_color(1, 1, 1, 1);
    draw_textured_quad(table_texture(BACKGROUND_ROW), 0, 0, (float)view_width,
                       (float)view_height);
    glEnable(GL_DEPTH_TEST);
    end_2d();
}

static void layer_scene(MatchState *match, GameRules *rules) { begin_scene(match, rules); }

static void layer_dq_impacts(MatchState *, GameRules *) { draw_dq_impacts(); }

// The scripts' 3D drawing, in the scene's camera (kept for the scripts'
// projections from the 2D pass).
static void layer_draw3d(MatchState *, GameRules *)
{
    remember_scene_projection();
    if (ScriptEngine *engine = get_script_engine())
        fire_draw3d(engine);
}

// What the layers since the scene queued is drawn with the scene (the
// shader renderer draws its queue once a frame), then the trails.
static void layer_scene_queue(MatchState *, GameRules *)
{
    end_scene();
    draw_trails();
}

// Where the altimeter's text goes: the highest body of the frame, projected
// while the scene's camera is still set.
static double altimeter_screen[3];
static int altimeter_valid;

static void layer_altimeter_anchor(MatchState *, GameRules *)
{
    altimeter_valid = 0;
    if (!on(OPT_ALTIMETER))
        return;
    const BodyRecord &r = body_records[HIGHEST_FRAME];
    altimeter_valid = body_screen_pos_exact(r.player, r.body, altimeter_screen) == 0;
}

// Where each fighter's emote bubble goes: above its head, projected while
// the scene's camera is set.
static double emote_screen[MAX_FIGHTERS][3];
static int emote_valid[MAX_FIGHTERS];

static void layer_emote_anchors(MatchState *match, GameRules *)
{
    for (int p = 0; p < MAX_FIGHTERS; p++) {
        emote_valid[p] = 0;
        if (p < match->num_players && players[p].emote[0] && players[p].emote_end > frame_tick)
            emote_valid[p] = body_screen_pos(p, 0, emote_screen[p]) == 0;
    }
}

// The world-shader step (the shader renderer's own layer) stands here.

// 1 while the game shows with no page over it (the say box is no page).
static int no_page_shown() { return menu_state == 0 || menu_state == MENU_SAY; }

static void layer_avatars(MatchState *, GameRules *)
{
    if (!on(OPT_AVATAR) || !no_page_shown())
        return;
    draw_avatar_view();
    draw_hud_player_icons();
    reset_viewport();
}

// ---- 2D layers ----------------------------------------------------------------------

static void layer_names(MatchState *, GameRules *)
{
    // The name tags under the avatars are an online matter.
    if (on(OPT_AVATAR) && is_online_game() && no_page_shown())
        draw_hud_names();
}

static void layer_spectators(MatchState *, GameRules *)
{
    if (!hud_on() || !on(OPT_SPECTATOR))
        return;
    // Online: the bout's names slide into their rows, the spectators below.
    if (is_online_game())
        update_name_list(8.0f, 130.0f, 630.0f);
    draw_spectator_list();
}

static void layer_debug(MatchState *, GameRules *)
{
    if (hud_on() && on(OPT_DEBUG))
        draw_debug_overlay();
}

static void layer_scores(MatchState *match, GameRules *)
{
    if (!hud_on() || !on(OPT_SCORE))
        return;
    if (match->num_players <= 2)
        draw_hud_scores();
    else
        draw_hud_name_list();
}

static void layer_timer(MatchState *, GameRules *rules)
{
    if (hud_on() && on(OPT_TIMER))
        draw_turn_timer(rules);
}

static void layer_not_connected(MatchState *, GameRules *)
{
    if (!hud_on() || game_type != 1 || is_connected())
        return;
    set_colour(text_colours.text, 1.0f);
    draw_text_centred(2, view_height / 2, "Not Connected");
}

static void layer_hint(MatchState *, GameRules *)
{
    if (text_on() && on(OPT_HINT) && !menu_page_hint_shown())
        draw_hint_line();
}

static void layer_joint_state(MatchState *, GameRules *)
{
    if (text_on() && on(OPT_FEEDBACK))
        draw_joint_state_line();
}

static void layer_name_lines(MatchState *, GameRules *)
{
    if (text_on() && on(OPT_NAME))
        draw_name_lines();
}

static void layer_console(MatchState *, GameRules *)
{
    if (hud_on() && on(OPT_MESSAGE))
        draw_console_lines(8, 80);
    else
        drain_console_queue();
}

static void layer_meters(MatchState *, GameRules *)
{
    if (!hud_on())
        return;
    if (on(OPT_ALTIMETER) && altimeter_valid) {
        char text[64];
        snprintf(text, sizeof text, "%.2f %.2f", body_records[HIGHEST_FRAME].value,
                 body_records[HIGHEST_GAME].value);
        set_colour(text_colours.text, 1.0f);
        draw_text(1, (float)altimeter_screen[0], (float)altimeter_screen[1], text);
    }
    if (on(OPT_SPEEDOMETER))
        draw_speedometer();
}

static void layer_equipment(MatchState *, GameRules *)
{
    if (hud_on() && on(OPT_EQUIPMENT))
        draw_equipment_line();
}

static void layer_replay_title(MatchState *, GameRules *)
{
    if (hud_on() && no_page_shown())   // not over a page's title
        draw_replay_title();
}

static void layer_emotes(MatchState *, GameRules *)
{
    if (!hud_on() || !on(OPT_EMOTE))
        return;
    for (int p = 0; p < MAX_FIGHTERS; p++) {
        if (!emote_valid[p])
            continue;
        const PlayerState *pl = &players[p];
        int duration = pl->emote_duration > 0 ? pl->emote_duration : 1;
        float left = (float)(pl->emote_end - frame_tick) / (float)duration;
        if (left <= 0.0f)
            continue;
        if (left > 1.0f)
            left = 1.0f;
        char text[sizeof pl->emote + 1];
        n_strncpyz(text, pl->emote, sizeof text);
        set_colour(pl->colour, 0.8f * left);
        int width = text_width(1, text);
        draw_text(1, (float)(emote_screen[p][0] - width / 2), (float)emote_screen[p][1] - 20.0f,
                  text);
    }
}

static void layer_help(MatchState *, GameRules *)
{
    if (help_overlay)
        draw_help_overlay();
}

// The control bar, the page's buttons and the page shown over the game
// (the say page draws its box through game_links.draw_say_box) are the
// menus' drawing; it goes here, after the help page and before the
// scripts' draw2d.
// The control bar and buttons, then the page shown over the game.
static void layer_control_bar(MatchState *, GameRules *)
{
    draw_buttons();
    draw_menu_page();
}

static void layer_draw2d(MatchState *, GameRules *)
{
    if (ScriptEngine *engine = get_script_engine())
        fire_draw2d(engine);
}

// The banner stands in the middle of the window, where a page's rows are:
// over a page it would read as one more row, so it waits (and runs out)
// while a page is open.
static void layer_banner(MatchState *, GameRules *)
{
    if (no_page_shown())
        draw_banner();
}

static void layer_cursor(MatchState *, GameRules *) { draw_mouse_cursor(); }

static const FrameLayer layers[] = {
    {"background", layer_background, 0},   // its own 2D quad, behind the scene
    {"scene", layer_scene, 0},   // camera, dojo, fighters, markers, blood drops
    {"dq impacts", layer_dq_impacts, 0},
    {"draw3d", layer_draw3d, 0},
    {"scene queue", layer_scene_queue, 0},
    {"altimeter anchor", layer_altimeter_anchor, 0},
    {"emote anchors", layer_emote_anchors, 0},
    {"avatars", layer_avatars, 0},
    {"names", layer_names, 1},
    {"spectators", layer_spectators, 1},
    {"debug", layer_debug, 1},
    {"scores", layer_scores, 1},
    {"timer", layer_timer, 1},
    {"not connected", layer_not_connected, 1},
    {"hint", layer_hint, 1},
    {"joint state", layer_joint_state, 1},
    {"name lines", layer_name_lines, 1},
    {"console", layer_console, 1},
    {"meters", layer_meters, 1},
    {"equipment", layer_equipment, 1},
    {"replay title", layer_replay_title, 1},
    {"emotes", layer_emotes, 1},
    {"help", layer_help, 1},
    {"control bar", layer_control_bar, 1},
    {"draw2d", layer_draw2d, 1},
    {"banner", layer_banner, 1},
    {"cursor", layer_cursor, 1},
};
enum { LAYER_COUNT = (int)(sizeof layers / sizeof layers[0]) };

const FrameLayer *frame_layer_table(int *count)
{
    if (count)
        *count = LAYER_COUNT;
    return layers;
}

int frame_layer_index(const char *name)
{
    for (int i = 0; name && i < LAYER_COUNT; i++)
        if (!strcmp(layers[i].name, name))
            return i;
    return -1;
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
    int in_2d = 0;
    for (int i = 0; i < LAYER_COUNT; i++) {
        if (layers[i].two_d && !in_2d) {
            begin_2d();
            in_2d = 1;
        }
        if (frame_layer_probe)
            frame_layer_probe(layers[i].name);
        layers[i].draw(match, rules);
    }
    if (in_2d)
        end_2d();
}

// ---- wiring --------------------------------------------------------------------------

static const char *replay_title_text() { return fight_name; }
static const char *replay_author_text() { return replay_author; }

// A mark reported through the core's slot: when the position is one of the
// match's disqualification points, the fighter is known and the mark kept.
static void mark_dq_point(const double *position)
{
    for (int p = 0; p < MAX_FIGHTERS; p++)
        if (position == match_state.dq_position[p])
            record_ground_impact(p, position);
}

// A fighter's row in the bout name list: its own custom colour, else its
// default colour; with teams, the team's colour.
static void name_list_fighter_colour(int fighter, float rgb[3])
{
    int colour = 0;
    if (fighter >= 0 && fighter < MAX_FIGHTERS) {
        if (match_state.team_count >= 2) {
            int team = players[fighter].team;
            colour = default_fighter_colours[(team % MAX_FIGHTERS + MAX_FIGHTERS) % MAX_FIGHTERS];
        } else {
            const PlayerCustoms *c = get_player_customs(fighter);
            colour = c && c->item_v11_15[0] > 0 && c->item_v11_15[0] < CUSTOMS_PALETTE_ROWS
                         ? c->item_v11_15[0]
                         : players[fighter].colour;
        }
    }
    get_colour_rgb(colour, rgb);
}

static void name_list_banner_colour(float rgb[3]) { get_colour_rgb(text_colours.text, rgb); }

void bind_hud()
{
    if (!name_list_links.fighter_colour)
        name_list_links.fighter_colour = name_list_fighter_colour;
    if (!name_list_links.banner_colour)
        name_list_links.banner_colour = name_list_banner_colour;
    if (!core_outward.mark_ground_impact)
        core_outward.mark_ground_impact = mark_dq_point;
    if (!core_outward.on_turn_alert)
        core_outward.on_turn_alert = on_turn_alert;
    if (!core_outward.announce_game_result)
        core_outward.announce_game_result = [] { announce_game_result(&match_state); };
    if (!game_links.hook_play)
        game_links.hook_play = [] {
            if (ScriptEngine *engine = get_script_engine())
                fire_play(engine);
        };
    if (!core_outward.clear_ground_impacts)
        core_outward.clear_ground_impacts = clear_ground_impacts;
    if (!hud_outward.replay_title)
        hud_outward.replay_title = replay_title_text;
    if (!hud_outward.replay_author)
        hud_outward.replay_author = replay_author_text;
    if (!hud_outward.match_result_valid)
        hud_outward.match_result_valid = [] { return (int)match_result.valid; };
    if (!hud_outward.avatar_view_shown)
        hud_outward.avatar_view_shown = [] { return get_option(OPT_AVATAR); };
    if (!hud_outward.can_command_joint)
        hud_outward.can_command_joint = [] { return can_command_joint(0); };
    if (!hud_outward.pick_kind)
        hud_outward.pick_kind = [] { return (int)pick_kind; };
    if (!hud_outward.fighter_display_text)
        hud_outward.fighter_display_text = [](int p) -> const char * {
            const PlayerCustoms *c = get_player_customs(p);
            return c ? c->text : "";
        };
}

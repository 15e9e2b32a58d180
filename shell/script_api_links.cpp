#include "shell/script_api_links.h"

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/outward.h"
#include "core/records.h"
#include "core/step.h"
#include "platform/loop.h"
#include "render/fighter_draw.h"
#include "render/scene.h"
#include "script/api_colours.h"
#include "script/api_game.h"
#include "script/hooks.h"
#include "script/script_textures.h"
#include "shell/app.h"
#include "shell/console.h"
#include "shell/customs.h"
#include "shell/game_control.h"
#include "shell/options.h"
#include "shell/palette.h"
#include "shell/slot_report.h"
#include "shell/ttf_text.h"

#define fill_slot(slot, fn)  \
    do {                     \
        if (!(slot))         \
            (slot) = (fn);   \
    } while (0)

// ---- what the API functions reach ---------------------------------------------------

// The space key's commit of a waiting turn.
static void commit_selected_turn()
{
    if (replay_mode != REPLAY_LIVE || match_state.game_over || is_simulating())
        return;
    if (core_outward.commit_turn) {
        core_outward.commit_turn(0);
    } else if (game_type != 1) {
        if (game_links.hook_exit_freeze)
            game_links.hook_exit_freeze();
        start_turn(0);
    }
}

static const char *spectator_row(int i)
{
    SpectatorNames *names = get_spectator_names();
    if (!names || i < 0 || i >= SPECTATOR_NAMES)
        return nullptr;
    return (*names)[i];
}

static int send_server_line(const char *line)
{
    return game_links.send_game_line ? game_links.send_game_line(line) : 1;
}

static void lost_contact()
{
    echo_message("Disconnected. Lost contact with server", MSG_INGAME);
    if (game_links.close_game_connection)
        game_links.close_game_connection();
    if (ServerConnection *c = get_game_connection())
        c->connected = 0;
    if (game_links.clear_bout_list)
        game_links.clear_bout_list();
}

static int *custom_colour(int p, int field, int part)
{
    if (p < 0 || p >= MAX_FIGHTERS)
        return nullptr;
    PlayerCustoms &c = player_customs[p];
    int in_bodies = part >= 0 && part < CUSTOMS_PARTS;
    int in_joints = part >= 0 && part < NUM_JOINTS;
    switch (field) {
    case CUSTOM_BODY: return in_bodies ? &c.body_col[part] : nullptr;
    case CUSTOM_FORCE: return in_joints ? &c.force_col[part] : nullptr;
    case CUSTOM_RELAX: return in_joints ? &c.relax_col[part] : nullptr;
    case CUSTOM_GHOST: return &c.item_v5;
    case CUSTOM_GRADIENT1: return in_bodies ? &c.grad_col1[part] : nullptr;
    case CUSTOM_GRADIENT2: return in_bodies ? &c.grad_col2[part] : nullptr;
    case CUSTOM_TIMER: return &c.timer_col;
    case CUSTOM_TRAIL: return part >= 0 && part < 4 ? &c.trail_col[part] : nullptr;
    default: return nullptr;
    }
}

static void set_custom_decal(int p, int body, const char *text)
{
    if (p < 0 || p >= MAX_FIGHTERS || body < 0 || body >= CUSTOMS_PARTS || !text)
        return;
    n_strncpyz(player_customs[p].decal_name[body], text, sizeof player_customs[p].decal_name[body]);
}

static int console_rows_shown()
{
    int rows = message_console.console_rows;
    return message_console.line_count < rows ? message_console.line_count : rows;
}

static int console_line_kind(int i)
{
    const ConsoleLine *line = console_line(i);
    return line ? line->kind & 0xff : 0;
}

static void draw_console_line(int i, int x, int y)
{
    const ConsoleLine *line = console_line(i);
    if (!line)
        return;
    set_colour(line->colour, 1.0f);
    draw_wide_text_font(1, (float)x, (float)y, line->text);
}

static void draw_console_at(int x, int y)
{
    int rows = console_rows_shown();
    place_console_rows(x, get_option(OPT_HEIGHT) - y - CONSOLE_ROW_HEIGHT * rows,
                       CONSOLE_ROW_HEIGHT);
    draw_console_lines(x, y);
}

// A script's say box: at its own position, in a game or on any page, while
// the chat input is open (or always when forced).
static void draw_say_box_at(int x, int y, int force)
{
    TextLines *chat = get_chat_input();
    if (force || (chat && text_lines_is_active(chat)))
        draw_say_box_row(x, y, 1);
}

// A fighter's own blood colour, once a script or its look set one.
static int player_blood_colour(int p, float *rgb)
{
    if (p < 0 || p >= MAX_PLAYERS || fighter_looks[p].blood_colour <= 0 ||
        fighter_looks[p].blood_colour >= PALETTE_ROWS)
        return 1;
    get_colour_rgb(fighter_looks[p].blood_colour, rgb);
    return 0;
}

static int equipment_value(int index)
{
    const EquipmentRecord *e = get_equipment();
    return e && index >= 0 && index < 3 ? e->values[index] : 0;
}

static void (*session_start)();

static void start_session_then_echo()
{
    if (session_start)
        session_start();
    flush_early_echo();
}

// ---- binding ------------------------------------------------------------------------

void bind_script_api()
{
    script_texture_table = get_script_textures();
    // The scripts' textures follow the renderer's GL resources.
    fill_slot(render_outward.reload_script_textures, [] {
        script_gl_ready = 1;
        reload_script_textures(script_texture_table);
    });
    fill_slot(render_outward.free_script_textures, [] {
        unload_script_textures(script_texture_table);
        script_gl_ready = 0;
    });

    fill_slot(core_outward.hook_announce, [](int number, const char *text) {
        call_announce_callback(get_script_engine(), number, text);
    });
    fill_slot(core_outward.player_blood_colour, player_blood_colour);
    fill_slot(game_links.equipment_value, equipment_value);
    fill_slot(game_links.hook_play, [] { fire_play(get_script_engine()); });

    fill_slot(script_shell.select_player, set_selected_player);
    fill_slot(script_shell.commit_turn, commit_selected_turn);
    fill_slot(script_shell.spectator_name, spectator_row);
    fill_slot(script_shell.send_server_line, send_server_line);
    fill_slot(script_shell.lost_contact, lost_contact);

    fill_slot(script_shell.colour_name, get_colour_name);
    fill_slot(script_shell.custom_colour, custom_colour);
    fill_slot(script_shell.push_look, push_customs_colours);
    fill_slot(script_shell.set_custom_decal, set_custom_decal);
    fill_slot(script_shell.reload_player_textures, reload_player_textures);

    fill_slot(script_shell.console_line_count, [] { return message_console.line_count; });
    fill_slot(script_shell.console_rows_shown, console_rows_shown);
    fill_slot(script_shell.console_compact_rows, [] { return message_console.compact_rows; });
    fill_slot(script_shell.console_full_rows, [] { return message_console.full_rows; });
    fill_slot(script_shell.console_line_kind, console_line_kind);
    fill_slot(script_shell.draw_console_line, draw_console_line);
    fill_slot(script_shell.draw_console_at, draw_console_at);
    fill_slot(script_shell.draw_say_box, draw_say_box_at);
    fill_slot(script_shell.chat_input, get_chat_input);

    // What startup.lua echoed before the console existed, once the session
    // start has cleared the console.
    if (platform_outward.init_session != start_session_then_echo) {
        session_start = platform_outward.init_session;
        platform_outward.init_session = start_session_then_echo;
    }

    // Last: the report of empty slots wraps the session start.
    bind_slot_report();
}

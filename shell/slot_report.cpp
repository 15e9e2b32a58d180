// The list of every slot of the outward records, and the start-up report
// of the slots left empty: with ZM_SLOT_REPORT=<path> in the environment,
// the program writes one "record.slot" line per empty slot into that file
// once the session has started (the end-to-end slot test reads it).
#include "shell/slot_report.h"

#include <cstdio>
#include <cstdlib>

#include "core/outward.h"
#include "net/client.h"
#include "platform/camera.h"
#include "platform/loop.h"
#include "platform/screenshot.h"
#include "render/hud.h"
#include "render/scene.h"
#include "render/texture.h"
#include "script/api_game.h"
#include "script/api_trails.h"
#include "shell/buddies.h"
#include "shell/console.h"
#include "shell/console_commands.h"
#include "shell/game_control.h"
#include "shell/settings.h"
#include "shell/sound_triggers.h"
#include "shell/widgets.h"

#define ZM_OUTWARD_SLOTS(SLOT) \
    SLOT(core_outward, echo) \
    SLOT(core_outward, draw_frame_layers) \
    SLOT(core_outward, hook_enter_frame) \
    SLOT(core_outward, hook_end_game) \
    SLOT(core_outward, hook_enter_freeze) \
    SLOT(core_outward, play_motion_sounds) \
    SLOT(core_outward, play_score_sounds) \
    SLOT(core_outward, announce_game_result) \
    SLOT(core_outward, on_turn_alert) \
    SLOT(core_outward, update_trails) \
    SLOT(core_outward, commit_turn) \
    SLOT(core_outward, begin_replay) \
    SLOT(core_outward, play_next_replay) \
    SLOT(core_outward, toggle_game_paused) \
    SLOT(core_outward, is_connected) \
    SLOT(core_outward, get_option) \
    SLOT(core_outward, mark_ground_impact) \
    SLOT(core_outward, palette_colour) \
    SLOT(core_outward, player_blood_colour) \
    SLOT(core_outward, on_blood_hit) \
    SLOT(core_outward, run_script) \
    SLOT(core_outward, parse_customs_line) \
    SLOT(core_outward, clear_customs) \
    SLOT(core_outward, clear_floor_stains) \
    SLOT(core_outward, belt_name) \
    SLOT(core_outward, show_banner) \
    SLOT(core_outward, banner_showing) \
    SLOT(core_outward, reset_camera) \
    SLOT(core_outward, clear_ground_impacts) \
    SLOT(core_outward, reset_trails) \
    SLOT(core_outward, load_fighter_looks) \
    SLOT(core_outward, layout_game_buttons) \
    SLOT(core_outward, close_connection) \
    SLOT(core_outward, clear_spectators) \
    SLOT(core_outward, sync_spectators) \
    SLOT(core_outward, run_console_command) \
    SLOT(core_outward, connect_to_server) \
    SLOT(core_outward, forward_to_server) \
    SLOT(core_outward, server_address_text) \
    SLOT(core_outward, set_spectator_names) \
    SLOT(core_outward, set_ghost_equipment) \
    SLOT(core_outward, hook_announce) \
    SLOT(core_outward, is_buddy) \
    SLOT(core_outward, publish_server_info) \
    SLOT(core_outward, poll_next_server) \
    SLOT(core_outward, stop_updater) \
    SLOT(core_outward, listed_server_host) \
    SLOT(camera_outward, option) \
    SLOT(camera_outward, camera_hook) \
    SLOT(platform_outward, init_glut) \
    SLOT(platform_outward, init_fonts) \
    SLOT(platform_outward, reset_draw_state) \
    SLOT(platform_outward, set_perspective_fov) \
    SLOT(platform_outward, load_world_shader_preset) \
    SLOT(platform_outward, load_render_resources) \
    SLOT(platform_outward, shutdown_renderer) \
    SLOT(platform_outward, reload_all_player_looks) \
    SLOT(platform_outward, load_sound_effects) \
    SLOT(platform_outward, free_sound_effects) \
    SLOT(platform_outward, init_session) \
    SLOT(platform_outward, save_all_at_exit) \
    SLOT(platform_outward, on_mouse_move) \
    SLOT(platform_outward, pick_joint) \
    SLOT(platform_outward, selected_joint_screen_pos) \
    SLOT(platform_outward, set_drawn_cursor_visible) \
    SLOT(platform_outward, custom_cursor_in_use) \
    SLOT(platform_outward, pov_begin_animation) \
    SLOT(platform_outward, pov_write_frame) \
    SLOT(platform_outward, pov_end_animation) \
    SLOT(platform_options, width) \
    SLOT(platform_options, height) \
    SLOT(platform_options, antialiasing) \
    SLOT(platform_options, fullscreen) \
    SLOT(platform_options, frameskip) \
    SLOT(platform_options, noreload) \
    SLOT(screenshot_outward, write_scene) \
    SLOT(render_option_refs, fluid) \
    SLOT(render_option_refs, reflection) \
    SLOT(render_option_refs, softshadow) \
    SLOT(render_option_refs, ambientocclusion) \
    SLOT(render_option_refs, bumpmapping) \
    SLOT(render_option_refs, noreload) \
    SLOT(render_option_refs, transparency) \
    SLOT(render_option_refs, frameskip) \
    SLOT(render_option_refs, shaders) \
    SLOT(render_option_refs, shaders_active) \
    SLOT(render_option_refs, motionblur) \
    SLOT(render_option_refs, set_shaders_enabled) \
    SLOT(hud_text, draw_text) \
    SLOT(hud_text, draw_text_right) \
    SLOT(hud_text, draw_text_centred) \
    SLOT(hud_text, draw_wide_text) \
    SLOT(hud_text, font_height) \
    SLOT(hud_text, text_width) \
    SLOT(hud_text, wide_text_width) \
    SLOT(hud_outward, replay_shown) \
    SLOT(hud_outward, is_connected) \
    SLOT(hud_outward, console_line_count) \
    SLOT(hud_outward, console_capacity) \
    SLOT(hud_outward, console_set_rows) \
    SLOT(hud_outward, console_scroll) \
    SLOT(hud_outward, replay_title) \
    SLOT(hud_outward, replay_author) \
    SLOT(hud_outward, menu_state) \
    SLOT(hud_outward, match_result_valid) \
    SLOT(hud_outward, spectator_count) \
    SLOT(hud_outward, spectator_name) \
    SLOT(hud_outward, spectator_offset) \
    SLOT(hud_outward, fighter_display_text) \
    SLOT(hud_outward, avatar_view_shown) \
    SLOT(hud_outward, can_command_joint) \
    SLOT(hud_outward, pick_kind) \
    SLOT(hud_outward, set_system_cursor) \
    SLOT(render_outward, init_fonts) \
    SLOT(render_outward, close_fonts) \
    SLOT(render_outward, reload_script_textures) \
    SLOT(render_outward, free_script_textures) \
    SLOT(render_outward, init_shader_renderer) \
    SLOT(render_outward, free_shader_renderer) \
    SLOT(render_outward, add_fluid_blood) \
    SLOT(render_outward, add_floor_stain) \
    SLOT(render_outward, bump_box) \
    SLOT(render_outward, bump_sphere) \
    SLOT(render_outward, bump_capsule) \
    SLOT(bump_hooks, supported) \
    SLOT(bump_hooks, build) \
    SLOT(bump_hooks, release) \
    SLOT(sound_trigger_outward, play) \
    SLOT(name_list_links, fighter_colour) \
    SLOT(name_list_links, banner_colour) \
    SLOT(name_list_links, draw_text) \
    SLOT(console_links, hook_console) \
    SLOT(console_links, measure) \
    SLOT(game_links, new_game_reset) \
    SLOT(game_links, start_game_with_rules) \
    SLOT(game_links, toggle_ghost_own) \
    SLOT(game_links, select_ghost_row) \
    SLOT(game_links, clear_replay_from) \
    SLOT(game_links, replay_slot_frame) \
    SLOT(game_links, set_all_joint_states) \
    SLOT(game_links, clear_turn_changes) \
    SLOT(game_links, size_hands_by_grips) \
    SLOT(game_links, clear_bout_list) \
    SLOT(game_links, show_play_buttons) \
    SLOT(game_links, show_replay_buttons) \
    SLOT(game_links, set_play_icon) \
    SLOT(game_links, hide_last_control_button) \
    SLOT(game_links, menu_game_behind) \
    SLOT(game_links, draw_menu_screen) \
    SLOT(game_links, switch_menu) \
    SLOT(game_links, clear_console) \
    SLOT(game_links, clear_blood_stains) \
    SLOT(game_links, clear_customs) \
    SLOT(game_links, reset_camera_view) \
    SLOT(game_links, play_score_sounds) \
    SLOT(game_links, set_sound_on) \
    SLOT(game_links, start_music) \
    SLOT(game_links, poll_game_server) \
    SLOT(game_links, poll_connecting) \
    SLOT(game_links, send_game_line) \
    SLOT(game_links, close_game_connection) \
    SLOT(game_links, hook_leave_game) \
    SLOT(game_links, hook_new_game) \
    SLOT(game_links, hook_new_mp_game) \
    SLOT(game_links, hook_exit_freeze) \
    SLOT(game_links, hook_enter_freeze) \
    SLOT(game_links, hook_play) \
    SLOT(game_links, hook_key_down) \
    SLOT(game_links, hook_key_up) \
    SLOT(game_links, hook_mouse_button_down) \
    SLOT(game_links, hook_mouse_button_up) \
    SLOT(game_links, hook_mouse_move) \
    SLOT(game_links, hook_player_select) \
    SLOT(game_links, hook_joint_select) \
    SLOT(game_links, menu_enter) \
    SLOT(game_links, menu_escape) \
    SLOT(game_links, close_chat_menu) \
    SLOT(game_links, quit_confirm) \
    SLOT(game_links, menu_slider_held) \
    SLOT(game_links, get_console_list) \
    SLOT(game_links, set_chat_lines) \
    SLOT(game_links, open_hovered_link) \
    SLOT(game_links, update_list_hover) \
    SLOT(game_links, offer_buttons) \
    SLOT(game_links, play_sound) \
    SLOT(game_links, take_screenshot) \
    SLOT(game_links, start_browser_thread) \
    SLOT(game_links, equipment_value) \
    SLOT(game_links, draw_server_list) \
    SLOT(game_links, enter_server_list) \
    SLOT(game_links, leave_server_list) \
    SLOT(game_links, draw_say_box) \
    SLOT(settings_links, effect_volume) \
    SLOT(settings_links, set_effect_volume) \
    SLOT(settings_links, music_volume) \
    SLOT(settings_links, set_music_volume) \
    SLOT(settings_links, stop_music) \
    SLOT(settings_links, start_music) \
    SLOT(settings_links, fullscreen_state) \
    SLOT(settings_links, toggle_fullscreen) \
    SLOT(settings_links, shaders_state) \
    SLOT(settings_links, toggle_render_option) \
    SLOT(settings_links, rebuild_shaders) \
    SLOT(settings_links, free_trails) \
    SLOT(settings_links, free_file_list) \
    SLOT(script_shell, echo_nohook) \
    SLOT(script_shell, find_option) \
    SLOT(script_shell, set_option) \
    SLOT(script_shell, switch_menu) \
    SLOT(script_shell, begin_new_game) \
    SLOT(script_shell, exit_replay) \
    SLOT(script_shell, key_modifiers) \
    SLOT(script_shell, error_flag) \
    SLOT(script_shell, camera_position) \
    SLOT(script_shell, camera_lookat) \
    SLOT(script_shell, set_fov) \
    SLOT(script_shell, set_sound) \
    SLOT(script_shell, set_volume) \
    SLOT(script_shell, get_volume) \
    SLOT(script_shell, save_screenshot) \
    SLOT(script_shell, launch_browser) \
    SLOT(script_shell, load_player_custom) \
    SLOT(script_shell, select_player) \
    SLOT(script_shell, commit_turn) \
    SLOT(script_shell, spectator_name) \
    SLOT(script_shell, send_server_line) \
    SLOT(script_shell, lost_contact) \
    SLOT(script_shell, colour_name) \
    SLOT(script_shell, custom_colour) \
    SLOT(script_shell, push_look) \
    SLOT(script_shell, set_custom_decal) \
    SLOT(script_shell, reload_player_textures) \
    SLOT(script_shell, console_line_count) \
    SLOT(script_shell, console_rows_shown) \
    SLOT(script_shell, console_compact_rows) \
    SLOT(script_shell, console_full_rows) \
    SLOT(script_shell, console_line_kind) \
    SLOT(script_shell, draw_console_line) \
    SLOT(script_shell, draw_console_at) \
    SLOT(script_shell, draw_say_box) \
    SLOT(script_shell, chat_input) \
    SLOT(console_command_outward, set_resolution) \
    SLOT(console_command_outward, reinit_video) \
    SLOT(console_command_outward, fullscreen_state) \
    SLOT(console_command_outward, toggle_fullscreen) \
    SLOT(console_command_outward, spawn) \
    SLOT(client_links, connection) \
    SLOT(client_links, start_online_game) \
    SLOT(client_links, clear_banner) \
    SLOT(client_links, hook_exit_freeze) \
    SLOT(trail_shell, set_trail_color) \
    SLOT(trail_shell, add_trail_point)


int report_empty_slots(FILE *out)
{
    int empty = 0;
#define ZM_REPORT_SLOT(record, slot)                  \
    if (!(record).slot) {                             \
        fprintf(out, "%s.%s\n", #record, #slot);      \
        empty++;                                      \
    }
    ZM_OUTWARD_SLOTS(ZM_REPORT_SLOT)
#undef ZM_REPORT_SLOT
    // The one slot that is a pointer of its own rather than a record's.
    if (!sort_servers) {
        fprintf(out, "sort_servers\n");
        empty++;
    }
    return empty;
}

static void (*session_start)();

static void start_session_and_report()
{
    if (session_start)
        session_start();
    const char *path = getenv("ZM_SLOT_REPORT");
    FILE *out = path && path[0] ? fopen(path, "w") : nullptr;
    if (!out)
        return;
    report_empty_slots(out);
    fprintf(out, "end\n");
    fclose(out);
}

void bind_slot_report()
{
    if (!getenv("ZM_SLOT_REPORT") || platform_outward.init_session == start_session_and_report)
        return;
    session_start = platform_outward.init_session;
    platform_outward.init_session = start_session_and_report;
}

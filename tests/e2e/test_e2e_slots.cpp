// The real program after start-up: every slot of the outward records that
// an existing module implements is filled. The program writes the empty
// slots (ZM_SLOT_REPORT) once its session has started.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>

#include "e2e/e2e_support.h"
#include "support/test_support.h"

namespace {

// The slots the real start-up may leave empty. Two kinds only:
//  - slots whose empty value is a defined default (the record's comment
//    says what an empty slot does), and
//  - slots that only a module still being built fills. Remove a row when
//    its module lands: the test then insists on the slot.
const char *const allowed_empty[] = {
    // ---- empty by design: the default the record documents
    "bump_hooks.supported",              // asks GLEW for the extensions
    "console_links.measure",             // the TrueType text's measure
    "game_links.menu_game_behind",       // the game runs behind every page
    "hud_outward.replay_shown",          // replay_mode is not live
    "settings_links.shaders_state",      // the "shaders" option
    "settings_links.toggle_render_option",   // the option flips 0 <-> 1

    // ---- menus and keys (pages, their keys, the growable file lists)
    "game_links.draw_menu_screen",
    "game_links.switch_menu",
    "game_links.menu_enter",
    "game_links.menu_escape",
    "game_links.close_chat_menu",
    "game_links.quit_confirm",
    "game_links.menu_slider_held",
    "settings_links.free_file_list",
    "core_outward.play_next_replay",
    "core_outward.layout_game_buttons",

    // ---- HUD, console and banner (result announcement, ground-impact
    // markers, name rows, say box and links, HUD state queries)
    "core_outward.announce_game_result",
    "core_outward.on_turn_alert",
    "core_outward.mark_ground_impact",
    "core_outward.clear_ground_impacts",
    "hud_outward.replay_title",
    "hud_outward.replay_author",
    "hud_outward.match_result_valid",
    "hud_outward.spectator_count",
    "hud_outward.spectator_name",
    "hud_outward.spectator_offset",
    "hud_outward.fighter_display_text",
    "hud_outward.avatar_view_shown",
    "hud_outward.can_command_joint",
    "hud_outward.pick_kind",
    "hud_outward.set_system_cursor",
    "name_list_links.fighter_colour",
    "name_list_links.banner_colour",
    "game_links.open_hovered_link",
    "game_links.draw_say_box",

    // ---- online client (turn commit, spectators, server browser)
    "core_outward.commit_turn",
    "core_outward.set_spectator_names",
    "core_outward.publish_server_info",
    "core_outward.poll_next_server",
    "game_links.start_browser_thread",
    "game_links.draw_server_list",
    "game_links.enter_server_list",
    "game_links.leave_server_list",

    // ---- shader renderer, fluid blood and floor stains
    "platform_outward.load_world_shader_preset",
    "render_outward.init_shader_renderer",
    "render_outward.free_shader_renderer",
    "render_outward.add_fluid_blood",
    "render_outward.add_floor_stain",
    "render_outward.draw_blood_drops",
    "core_outward.on_blood_hit",
    "core_outward.clear_floor_stains",
    "game_links.clear_blood_stains",
    "settings_links.rebuild_shaders",

    // ---- trails
    "core_outward.update_trails",
    "core_outward.reset_trails",
    "settings_links.free_trails",
};

}  // namespace

TEST(E2eSlots, EveryImplementedSlotIsFilledAfterStartUp)
{
    std::string report = test_tmp_path("e2e_slot_report.txt");
    remove(report.c_str());
    setenv("ZM_SLOT_REPORT", report.c_str(), 1);
    GameSetup setup;
    setup.startup_lua = "add_hook('draw2d', 'e2e', function() e2e_quit() end)\n";
    setup.timeout_ms = 15000;
    GameRun run = run_game("slots", setup);
    unsetenv("ZM_SLOT_REPORT");
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    std::string text = read_whole_file(report);
    ASSERT_NE(text.find("end\n"), std::string::npos) << "no report\n" << run.describe();

    std::set<std::string> allowed(std::begin(allowed_empty), std::end(allowed_empty));
    std::istringstream in(text);
    std::string line, unexpected;
    while (std::getline(in, line))
        if (line != "end" && !allowed.count(line))
            unexpected += line + "\n";
    EXPECT_EQ(unexpected, "") << "slots left empty by the real start-up";
}

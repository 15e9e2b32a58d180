// The whole Lua API as scripts see it: the 117 registered names in their
// order, the usage error of every function given too few (or a wrong count
// of) arguments, and the range checks that keep script indexes and numbers
// inside the records and away from the physics engine.
#include "script_fixture.h"

#include <cstring>

#include "core/outward.h"
#include "core/records.h"
#include "render/fighter_draw.h"
#include "script/api_colours.h"
#include "script/api_game.h"
#include "script/script_textures.h"

namespace {

const char *const registration_order[] = {
    "set_event_hook",
    "echo",
    "run_cmd",
    "start_new_game",
    "freeze_game",
    "unfreeze_game",
    "is_game_frozen",
    "step_game",
    "step_to_end",
    "edit_game",
    "rewind_replay",
    "set_ghost",
    "get_ghost",
    "set_default_rules",
    "open_menu",
    "get_shift_key_state",
    "get_world_state",
    "get_bouts",
    "get_customs",
    "get_spectators",
    "get_player_info",
    "get_game_rules",
    "get_window_size",
    "get_option",
    "set_option",
    "load_player",
    "get_camera_info",
    "set_camera_pos",
    "set_camera_lookat",
    "get_joint_info",
    "get_head_info",
    "get_body_info",
    "set_body_pos",
    "set_body_sides",
    "set_body_rotation",
    "get_joint_screen_pos",
    "get_screen_pos",
    "set_joint_state",
    "set_joint_radius",
    "get_joint_radius",
    "set_joint_pos",
    "get_joint_pos",
    "get_joint_pos2",
    "get_grip_lock",
    "get_grip_info",
    "set_grip_info",
    "open_url",
    "dismember_joint",
    "fracture_joint",
    "get_joint_dismember",
    "get_joint_fracture",
    "init_mod_world",
    "screenshot",
    "set_fov",
    "get_body_linear_vel",
    "get_body_angular_vel",
    "set_body_force",
    "set_body_torque",
    "select_player",
    "disable_sound",
    "enable_sound",
    "set_volume",
    "get_volume",
    "load_texture",
    "set_color",
    "get_color_info",
    "set_blood_color",
    "set_joint_color",
    "set_joint_relax_color",
    "set_joint_force_color",
    "set_body_color",
    "set_torso_color",
    "set_ghost_color",
    "set_ground_impact_color",
    "set_gradient_color",
    "set_gradient_primary_color",
    "set_gradient_secondary_color",
    "indicate_joint",
    "set_decal",
    "draw_ground_impact",
    "set_timex_color",
    "set_trail_color",
    "add_trail_particle",
    "set_body_texture",
    "draw_quad",
    "draw_disk",
    "draw_text",
    "draw_right_text",
    "draw_centered_text",
    "draw_chat_input",
    "draw_chat_messages",
    "draw_boxed_text",
    "get_errno",
    "draw_sphere",
    "draw_sphere_m",
    "draw_box",
    "draw_box_m",
    "draw_capsule",
    "draw_capsule_m",
    "get_num_blood_particles",
    "get_active_bloods",
    "get_blood_age",
    "get_blood_radius",
    "get_blood_pos",
    "get_blood_vel",
    "get_total_chat_lines",
    "get_cur_chat_lines",
    "get_compact_chat_lines",
    "get_full_mode_chat_lines",
    "get_chat_type",
    "draw_chat_message",
    "chat_input_activate",
    "chat_input_deactivate",
    "chat_input_is_active",
    "chat_input_clear",
    "reset_server",
    "export_mod",
};

class ApiRegistry : public ScriptFolder {
protected:
    MatchState saved_match{};
    ScriptShell saved_shell{};
    CoreOutward saved_outward{};
    FighterLook saved_looks[MAX_PLAYERS]{};
    int32_t saved_built = 0;

    void SetUp() override
    {
        ScriptFolder::SetUp();
        saved_match = match_state;
        saved_shell = script_shell;
        saved_outward = core_outward;
        memcpy(saved_looks, fighter_looks, sizeof saved_looks);
        saved_built = fighters_built;
        // Two fighters without physics bodies: every index check runs, no
        // world is touched.
        match_state.num_players = 2;
        fighters_built = 0;
        script("startup.lua", "");
        ASSERT_EQ(0, create_script_engine(&engine));
    }
    void TearDown() override
    {
        match_state = saved_match;
        script_shell = saved_shell;
        core_outward = saved_outward;
        memcpy(fighter_looks, saved_looks, sizeof saved_looks);
        fighters_built = saved_built;
        ScriptFolder::TearDown();
    }

public:
    // The error message of a call (without the chunk's position), or
    // "<ok>" when it ran.
    std::string error_of(const std::string &call)
    {
        lua_State *L = engine.state;
        int top = lua_gettop(L);
        std::string out = "<ok>";
        if (luaL_loadstring(L, call.c_str()) != 0 || lua_pcall(L, 0, 0, 0) != 0) {
            const char *m = lua_tostring(L, -1);
            out = m ? m : "<non-string error>";
        }
        lua_settop(L, top);
        return out;
    }
};

struct CallCase {
    const char *call;
    const char *message;
};

void expect_errors(ApiRegistry *t, const CallCase *cases, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        std::string got = t->error_of(cases[i].call);
        std::string want = cases[i].message;
        // Errors from C functions carry no position; the text ends the message.
        EXPECT_EQ(want, got.size() >= want.size() ? got.substr(got.size() - want.size()) : got)
            << cases[i].call << " gave: " << got;
    }
}

}  // namespace

TEST_F(ApiRegistry, TheRegistrationTableHoldsThe117NamesInOrder)
{
    size_t n = 0;
    while (script_api_functions[n].name)
        n++;
    const size_t expected = sizeof registration_order / sizeof registration_order[0];
    ASSERT_EQ(117u, expected);
    ASSERT_EQ(expected, n);
    for (size_t i = 0; i < n; i++) {
        EXPECT_STREQ(registration_order[i], script_api_functions[i].name) << "row " << i;
        EXPECT_EQ("function", eval(std::string("type(") + registration_order[i] + ")"))
            << registration_order[i];
    }
}

TEST_F(ApiRegistry, NoScriptReachesACommandShell)
{
    EXPECT_EQ("nil", eval("type(io.popen)"));
    EXPECT_EQ("function", eval("type(io.open)"));
    EXPECT_EQ("function", eval("type(io.lines)"));
    EXPECT_EQ("nil", eval("type(os)"));
}

TEST_F(ApiRegistry, EveryFunctionRaisesItsUsageText)
{
    const CallCase cases[] = {
        {"set_event_hook('draw2d')", "Usage: set_event_hook(string hook_name, function callback)\n"},
        {"echo()", "Usage: echo(string message)\n"},
        {"run_cmd()", "Usage: run_cmd(string command)\n"},
        {"set_ghost()", "Usage: set_ghost(number ghost_mode[0|1|2])\n"},
        {"open_menu()", "Usage: open_menu(int menu)"},
        {"get_player_info()", "Usage: get_player_info(integer player_index)\n"},
        {"get_game_rules(1)", "Usage: rules = get_game_rules()\n"},
        {"get_option()", "Usage: value = get_option(string option_name)\n"},
        {"set_option('x')", "Usage: set_option(string option_name, integer value)\n"},
        {"load_player(0)", "Usage: load_player(integer player, string nick)\n"},
        {"set_camera_pos(1, 2)", "Usage: set_camera_pos(number pos_x, number pos_y, number pos_z)\n"},
        {"set_camera_lookat(1, 2)", "Usage: set_camera_lookat(number pos_x, number pos_y, number pos_z)\n"},
        {"get_joint_info(0)", "Usage: get_joint_info(integer player_index, integer joint_index)\n"},
        {"get_body_info(0)", "Usage: body = get_body_info(integer player_index, integer body_index)\n"},
        {"set_body_pos(0, 1, 2, 3)",
         "Usage: set_body_pos(integer player_index, integer body_index, number x, number y, number z)\n"},
        {"set_body_sides(0, 1, 2, 3)",
         "Usage: set_body_sides(integer player_index, integer body_index, number x, number y, number z)\n"},
        {"set_body_rotation(0, 1, 2, 3)",
         "Usage: set_body_rotation(integer player_index, integer body_index, number x, number y, number z)\n"},
        {"get_joint_screen_pos(0)",
         "Usage: x,y,z = get_joint_screen_pos(integer player_index, integer joint_index)\n"},
        {"get_screen_pos(1)", "Usage: x,y,z = get_screen_pos(number x, number y, number z)\n"},
        {"set_joint_state(0, 1)",
         "Usage: set_joint_state(integer player_index, integer joint_index, integer joint_state)\n"},
        {"set_joint_radius(0)",
         "Usage: set_joint_radius(integer player_index, integer joint_index, number radius)\n"},
        {"get_joint_radius()", "Usage: get_joint_radius(integer player_index, integer joint_index)\n"},
        {"set_joint_pos(0, 1, 2, 3)",
         "Usage: set_joint_pos(integer player_index, integer joint_index, number x, number y, number z)\n"},
        {"get_joint_pos(0)", "Usage: x, y, z = get_joint_pos(integer player_index, integer joint_index)\n"},
        {"get_joint_pos2(0)", "Usage: get_joint_pos2(integer player_index, integer joint_index)\n"},
        {"get_grip_lock(0)", "Usage: get_grip_lock(integer player_index, integer hand_id)\n"},
        {"get_grip_info(0)", "Usage: get_grip_info( integer player_index, integer hand_id)\n"},
        {"set_grip_info(0, 11)",
         "Usage: set_grip_info( integer player_index, integer hand_id, integer grip_state)\n"},
        {"open_url()", "Usage: open_url(string URL)\n"},
        {"dismember_joint(0)", "Usage: dismember_joint(integer player_index, integer joint_index)\n"},
        {"fracture_joint(0)", "Usage: fracture_joint(integer player_index, integer joint_index)\n"},
        {"get_joint_dismember(0)",
         "Usage: bool dismembered = get_joint_dismember(integer player_index, integer joint_index)\n"},
        {"get_joint_fracture(0)",
         "Usage: bool fractured = get_joint_fracture(integer player_index, integer joint_index)\n"},
        {"screenshot()", "Usage: screenshot(string filename, [number filetype])\n"},
        {"set_fov()", "Usage: set_fov(integer deg)\n"},
        {"get_body_linear_vel(0)", "Usage: x, y, z = get_body_linear_vel( integer player, integer bodypart )\n"},
        {"get_body_angular_vel(0)", "Usage: x, y, z = get_body_angular_vel( integer player, integer bodypart )\n"},
        {"set_body_force(0, 1, 2, 3)",
         "Usage, set_body_force( integer player, integer bodypart, number x, number y, number z )\n"},
        {"set_body_torque(0, 1, 2, 3)",
         "Usage, set_body_torque( integer player, integer bodypart, number x, number y, number z )\n"},
        {"select_player()", "Usage: select_player(integer player)\n"},
        {"set_volume()", "Usage: set_volume(integer volume)\n"},
        {"load_texture()", "Usage: texid = load_texture(string texture_name)\n"},
        {"set_color(1, 1, 1)", "Usage: set_color(number red, number green, number blue, number alpha)\n"},
        {"get_color_info()", "Usage: color_table = get_color_info(integer color_index)\n"},
        {"set_blood_color(0)", "Usage: set_blood_color(integer player, integer color)"},
        {"set_joint_color(0, 1)", "Usage: set_joint_color(integer player, integer relax, integer force)"},
        {"set_joint_relax_color(0)", "Usage: set_joint_relax_color(integer player, integer color)"},
        {"set_joint_force_color(0)", "Usage: set_joint_force_color(integer player, integer color)"},
        {"set_body_color(0, 1)", "Usage: set_body_color(integer player, integer body_index, integer color)"},
        {"set_torso_color(0)", "Usage: set_torso_color(integer player, integer color)\n"},
        {"set_ghost_color(0)", "Usage: set_ghost_color(integer player, integer color)"},
        {"set_ground_impact_color(0)", "Usage: set_ground_impact_color(integer player, integer color)"},
        {"set_gradient_color(0, 1)", "Usage: set_gradient_color(number player, number color1, number color2)\n"},
        {"set_gradient_primary_color(0)", "Usage: set_gradient_primary_color(integer player, integer color)"},
        {"set_gradient_secondary_color(0)",
         "Usage: set_gradient_secondary_color(integer player, integer color)"},
        {"indicate_joint(0)", "Usage: indicate_joint(integer player, integer joint, integer indicate)\n"},
        {"set_decal(0, 1, 'x')",
         "Usage: set_decal(integer player_index, integer body_index, string text, number color)\n"},
        {"draw_ground_impact()", "Usage: draw_ground_impact(integer player_index)\n"},
        {"set_timex_color(0)", "Usage: set_timex_color(integer player, integer color)"},
        {"set_trail_color(0)", "Usage: set_trail_color(integer player, integer color)"},
        {"add_trail_particle(0, 0, 1, 2, 3, 4, 5)",
         "Usage: add_trail_particle(integer player, integer emitter_id, number pt1_x, number pt1_y, "
         "number pt1_z, number pt2_x, number pt2_y, number pt2_z)"},
        {"set_body_texture(1)",
         "Usage: set_body_texture(int body, int number) where body=bodyparts and number=texture number\n"},
        {"draw_quad(1, 2, 3)",
         "Usage: draw_quad(number pos_x, number pos_y, number width, number height [, integer texture_id])\n"},
        {"draw_disk(1, 2, 3, 4, 5, 6, 7, 8)",
         "Usage: draw_disk(number pos_x, number pos_y, number inner, number outer, integer slices, "
         "integer loops, number start, number sweep, integer blend)\n"},
        {"draw_text('a', 1)", "Usage: draw_text(string text, number pos_x, number pos_y [, integer font_type])\n"},
        {"draw_right_text('a', 1)",
         "Usage: draw_right_text(string text, number pos_x, number pos_y [, integer font_type])\n"},
        {"draw_centered_text('a')", "Usage: draw_centered_text(string text, number pos_y [, integer font_type])\n"},
        {"draw_chat_input(1)", "Usage: draw_chat_input(number pos_x, number pos_y, bool force_show)\n"},
        {"draw_chat_messages(1)", "Usage: draw_chat_messages(number pos_x, number pos_y)\n"},
        {"draw_boxed_text('a', 1, 2, 3, 4)",
         "Usage: draw_boxed_text(string text, number pos_x, number pos_y, number box_width, number "
         "box_height, number line_height, [, integer font_type])\n"},
        {"draw_sphere(1, 2, 3)", "Usage: draw_sphere( number pos_x, number pos_y, number pos_z, number radius)\n"},
        {"draw_sphere_m(1, 2, 3, 4, {}, 6)",
         "Usage: draw_sphere_m( number pos_x, number pos_y, number pos_z, number radius, table matrix_rot)\n"},
        {"draw_box(1, 2, 3, 4, 5, 6, 7, 8)",
         "Usage: draw_box( number pos_x, number pos_y, number pos_z, number size_x, number size_y, "
         "number size_z, number rotation_x, rotation_y, rotation_z)\n"},
        {"draw_box_m(1, 2, 3, 4, 5)",
         "Usage: draw_box_m( number pos_x, number pos_y, number pos_z, number size_x, number size_y, "
         "number size_z, table matrix_rot)\n"},
        {"draw_capsule(1, 2, 3, 4, 5, 6)",
         "Usage: draw_capsule( number pos_x, number pos_y, number pos_z, number height, number radius, "
         "number rotation_x, rotation_y, rotation_z)\n"},
        {"draw_capsule_m(1, 2, 3, 4)",
         "Usage: draw_capsule_m( number pos_x, number pos_y, number pos_z, number height, number radius, "
         "table matrix_rot)\n"},
        {"get_blood_age()", "Usage: age = get_blood_age(integer blood_index)\n"},
        {"get_blood_radius()", "Usage: radius = get_blood_radius(integer blood_index)\n"},
        {"get_blood_pos()", "Usage: x,y,z = get_blood_pos(integer blood_index)\n"},
        {"get_blood_vel()", "Usage: x,y,z = get_blood_vel(integer blood_index)\n"},
        {"get_chat_type()", "Usage: get_chat_type(integer index)\n"},
        {"draw_chat_message(0, 1)", "Usage: draw_chat_message(integer index, number pos_x, number pos_y)\n"},
        {"export_mod()", "Usage: export_mod(string name)\n"},
    };
    expect_errors(this, cases, sizeof cases / sizeof cases[0]);
}

TEST_F(ApiRegistry, IndexesAreRangeCheckedWithTheirMessages)
{
    const CallCase cases[] = {
        // players: 0 <= p < num_players (2 here)
        {"get_player_info(2)", "player index out of range"},
        {"get_player_info(-1)", "player index out of range"},
        {"get_joint_info(2, 0)", "Player index out of range"},
        {"get_body_info(-1, 0)", "Player index out of range"},
        {"load_player(7, 'nick')", "player index out of range"},
        {"get_body_linear_vel(5, 0)", "player index out of range"},
        {"set_body_torque(5, 0, 1, 2, 3)", "player index out of range"},
        {"set_grip_info(9, 11, 1)", "player index out of range"},
        {"set_blood_color(2, 1)", "player index out of range"},
        {"set_timex_color(4, 1)", "player index out of range"},
        {"set_ghost_color(-3, 1)", "player index out of range"},
        {"set_trail_color(2, 1)", "player index out of range"},
        // joints: 20 is accepted where a script may loop to it; 21 is not
        {"get_joint_info(0, 20)", "Joint index out of range"},
        {"get_joint_pos(0, 21)", "joint index out of range"},
        {"get_joint_pos(0, 20)", "<ok>"},
        {"set_joint_state(0, -1, 1)", "joint index out of range"},
        {"get_joint_screen_pos(0, 20)", "joint index out of range"},
        {"indicate_joint(0, 20, 1)", "joint index out of range"},
        {"set_joint_state(0, 3, 0)", "invalid joint state"},
        {"set_joint_state(0, 3, 5)", "invalid joint state"},
        {"set_joint_radius(0, 3, 0)", "invalid radius"},
        {"set_joint_radius(0, 3, 0/0)", "invalid radius"},
        {"set_joint_radius(0, 3, 1/0)", "invalid radius"},
        // bodies
        {"get_body_info(0, 21)", "Body index out of range"},
        {"set_body_pos(0, 22, 1, 2, 3)", "body index out of range"},
        {"set_body_pos(0, 21, 1, 2, 3)", "<ok>"},
        {"get_body_angular_vel(0, 21)", "body index out of range"},
        {"set_body_color(0, 21, 1)", "body index out of range"},
        {"set_decal(0, 21, 'x', 1)", "body index out of range"},
        {"get_head_info(21)", "body index out of range"},
        {"set_body_texture(-1, 1)", "body index out of range"},
        // hands
        {"get_grip_info(0, 10)", "invalid hand id"},
        {"set_grip_info(0, 13, 1)", "invalid hand id"},
        {"get_grip_lock(0, 0)", "invalid hand id"},
        // colours 0..67
        {"get_color_info(68)", "color index out of range"},
        {"get_color_info(-1)", "color index out of range"},
        {"set_joint_color(0, 1, 68)", "color index out of range"},
        {"set_gradient_color(0, 70, 1)", "color index out of range"},
        {"set_gradient_primary_color(0, 99)", "color index out of range"},
        {"set_decal(0, 1, '12345678901', 99)", "text too long"},
        {"set_decal(0, 1, '1234567890', 99)", "color index out of range"},
        {"set_decal(0, 1, '1234567890', 2)", "<ok>"},
        // blood drops, chat lines, trail emitters
        {"get_blood_age(256)", "blood index out of range"},
        {"get_blood_pos(-1)", "blood index out of range"},
        {"get_chat_type(0)", "message index out of range"},
        {"draw_chat_message(-1, 1, 2)", "message index out of range"},
        {"add_trail_particle(0, 4, 1, 2, 3, 4, 5, 6)", "Emitter index out of range"},
        // numbers bound for the physics engine: NaN, infinities, absurd sizes
        {"set_body_force(0, 1, 0/0, 0, 0)",
         "Usage, set_body_force( integer player, integer bodypart, number x, number y, number z )\n"},
        {"set_body_pos(0, 1, 1e300, 0, 0)",
         "Usage: set_body_pos(integer player_index, integer body_index, number x, number y, number z)\n"},
        {"set_joint_pos(0, 1, 0, -1/0, 0)",
         "Usage: set_joint_pos(integer player_index, integer joint_index, number x, number y, number z)\n"},
        {"set_body_sides(0, 1, 0, 0, 0/0)",
         "Usage: set_body_sides(integer player_index, integer body_index, number x, number y, number z)\n"},
        {"draw_disk(1, 2, 3, 4, 0, 1, 0, 90, 0)", "<ok>"},   // draws nothing
        // drawing with NaN or infinities draws nothing and raises nothing
        {"draw_disk(1, 2, 0/0, 4, 8, 1, 0, 90, 0)", "<ok>"},
        {"draw_box(1/0, 2, 3, 4, 5, 6)", "<ok>"},
        {"set_color(0/0, 1, 1, 1)", "<ok>"},
        {"draw_text('a', 'x', 2)", "bad argument #2 to 'draw_text' (number expected, got string)"},
        // shapes: the counts that are allowed
        {"draw_box(1, 2, 3, 4, 5, 6)", "<ok>"},
        {"draw_box(1, 2, 3, 4, 5, 6, 7, 8, 9)", "<ok>"},
        {"draw_box_m(1, 2, 3, 4, 5, 6, 7)", "<ok>"},
        {"draw_quad(1, 2, 3, 4, 200)", "<ok>"},
    };
    expect_errors(this, cases, sizeof cases / sizeof cases[0]);
}

TEST_F(ApiRegistry, ColourSettersWriteExactlyTheirParts)
{
    // Without the shell's customisation records the looks take the colours.
    script_shell.custom_colour = nullptr;
    memset(&fighter_looks[1], 0, sizeof fighter_looks[1]);
    ASSERT_EQ("<ok>", error_of("set_torso_color(1, 9)"));
    for (int b = 0; b < NUM_BODIES; b++) {
        bool torso = b == 1 || b == 2 || b == 5 || b == 8;
        EXPECT_EQ(torso ? 9 : 0, fighter_looks[1].body_colour[b]) << b;
    }
    ASSERT_EQ("<ok>", error_of("set_joint_color(1, 3, 4)"));
    ASSERT_EQ("<ok>", error_of("set_joint_force_color(1, 5)"));
    for (int j = 0; j < NUM_JOINTS; j++) {
        EXPECT_EQ(3, fighter_looks[1].relax_colour[j]);
        EXPECT_EQ(5, fighter_looks[1].force_colour[j]);
    }
    ASSERT_EQ("<ok>", error_of("set_blood_color(1, 2)"));
    EXPECT_EQ(2, fighter_looks[1].blood_colour);
    // The ghost of fighter 1 is record 3 (two fighters).
    ASSERT_EQ("<ok>", error_of("set_ghost_color(1, 6)"));
    EXPECT_EQ(6, fighter_looks[3].ghost_colour);

    // With them, the record takes the colour and the look follows it.
    static int record[8][NUM_BODIES];
    static int pushed;
    memset(record, 0, sizeof record);
    pushed = -1;
    script_shell.custom_colour = [](int p, int field, int part) -> int * {
        return p >= 0 && p < 2 && part >= 0 && part < NUM_BODIES ? &record[field][part] : nullptr;
    };
    script_shell.push_look = [](int p) { pushed = p; };
    ASSERT_EQ("<ok>", error_of("set_body_color(1, 20, 7)"));
    EXPECT_EQ(7, record[CUSTOM_BODY][20]);
    EXPECT_EQ(1, pushed);
    ASSERT_EQ("<ok>", error_of("set_gradient_color(0, 4, 6)"));
    for (int b = 0; b < NUM_BODIES; b++) {
        EXPECT_EQ(is_gradient_body(b) ? 4 : 0, record[CUSTOM_GRADIENT1][b]) << b;
        EXPECT_EQ(is_gradient_body(b) ? 6 : 0, record[CUSTOM_GRADIENT2][b]) << b;
    }
}

TEST_F(ApiRegistry, ColourInfoReadsThePalette)
{
    core_outward.palette_colour = [](int index, float *rgb) {
        rgb[0] = index == 67 ? 1.0f : 0.5f;
        rgb[1] = 0;
        rgb[2] = 1.0f;
        return 0;
    };
    script_shell.colour_name = [](int index, char *out, int size) {
        snprintf(out, size, "%s", index == 67 ? "msg_urlsel" : "other");
    };
    EXPECT_EQ("msg_urlsel 1 0 1",
              eval("(function(c) return c.name .. ' ' .. c.r .. ' ' .. c.g .. ' ' .. c.b end)(get_color_info(67))"));
}

TEST_F(ApiRegistry, TexturesLoadedBeforeTheWindowKeepTheirSlots)
{
    ScriptTextureTable table;
    init_script_textures(&table);
    ScriptTextureTable *saved = script_texture_table;
    script_texture_table = &table;
    int saved_ready = script_gl_ready;
    script_gl_ready = 0;
    EXPECT_EQ("0", eval("load_texture('a.tga')"));
    EXPECT_EQ("1", eval("load_texture('b.tga')"));
    EXPECT_EQ("0", eval("load_texture('a.tga')"));
    EXPECT_STREQ("data/script/a.tga", table.paths[0]);
    EXPECT_EQ(nullptr, table.slots[0]);   // no GL yet: only the path
    // Paths that climb out of the scripts' folder get no slot.
    EXPECT_EQ("-1", eval("load_texture('../../etc/x.tga')"));
    EXPECT_EQ("-1", eval("load_texture(string.rep('n', 300))"));
    // Full: every further path is refused with -1, never a taken slot.
    for (int i = 2; i < SCRIPT_TEXTURE_SLOTS; i++)
        ASSERT_EQ(std::to_string(i), eval("load_texture('t" + std::to_string(i) + ".tga')"));
    EXPECT_EQ("-1", eval("load_texture('one_more.tga')"));
    EXPECT_EQ("5", eval("load_texture('t5.tga')"));
    // Empty slots and ids outside 0..127 draw nothing and raise nothing.
    EXPECT_EQ(nullptr, get_script_texture(&table, -1));
    EXPECT_EQ(nullptr, get_script_texture(&table, 128));
    free_script_texture(&table, 3);
    EXPECT_EQ('\0', table.paths[3][0]);
    EXPECT_EQ("3", eval("load_texture('again.tga')"));
    script_gl_ready = saved_ready;
    script_texture_table = saved;
}

TEST_F(ApiRegistry, TheCameraTakesOnlyFinitePoints)
{
    static float position[3];
    position[0] = 1;   // set each run: the record outlives a repeat
    position[1] = 2;
    position[2] = 3;
    script_shell.camera_position = [] { return position; };
    ASSERT_EQ("<ok>", error_of("set_camera_pos(0/0, 5, 5)"));
    ASSERT_EQ("<ok>", error_of("set_camera_pos(4, 1/0, 5)"));
    EXPECT_EQ(1, position[0]);
    EXPECT_EQ(2, position[1]);
    ASSERT_EQ("<ok>", error_of("set_camera_pos(4, 'x', 6)"));   // a non-number reads as 0
    EXPECT_EQ(4, position[0]);
    EXPECT_EQ(0, position[1]);
    EXPECT_EQ(6, position[2]);
}

namespace {
std::string console_got;
}

TEST_F(ApiRegistry, LinesEchoedBeforeTheConsoleExistsReachItLater)
{
    script_shell.echo_nohook = nullptr;
    ASSERT_EQ("<ok>", error_of("echo('early one') echo(2)"));
    console_got.clear();
    script_shell.echo_nohook = [](const char *text, int kind) {
        console_got += std::to_string(kind) + ":" + text + "|";
    };
    flush_early_echo();
    EXPECT_EQ("4:early one|4:2|", console_got);
    flush_early_echo();   // handed over once
    EXPECT_EQ("4:early one|4:2|", console_got);
}

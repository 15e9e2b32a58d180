#include "shell/app.h"
#include "shell/menus.h"
#include "shell/widgets.h"

// GLEW comes before any other GL header.
#include "render/gl_draw.h"

#include <GL/freeglut.h>
#include <SDL/SDL.h>
#include <SDL/SDL_ttf.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/bout.h"
#include "core/ghost.h"
#include "core/motors.h"
#include "core/newgame.h"
#include "core/blood.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/replay_file.h"
#include "core/rules.h"
#include "core/safe_file.h"
#include "core/world.h"
#include "net/connection.h"
#include "net/login.h"
#include "net/md5.h"
#include "platform/camera.h"
#include "platform/loop.h"
#include "platform/screenshot.h"
#include "platform/sound.h"
#include "render/meshes.h"
#include "render/scene.h"
#include "render/shader_setup.h"
#include "script/hooks.h"
#include "shell/buddies.h"
#include "shell/console.h"
#include "shell/console_commands.h"
#include "shell/customs.h"
#include "shell/frame_layers.h"
#include "shell/game_control.h"
#include "shell/input.h"
#include "shell/online_glue.h"
#include "shell/options.h"
#include "shell/palette.h"
#include "shell/povray.h"
#include "shell/script_api_links.h"
#include "shell/settings.h"
#include "shell/shader_links.h"
#include "shell/sound_triggers.h"
#include "shell/ttf_text.h"
#include "render/glsl_programs.h"
#include "render/hud.h"
#include "script/api_game.h"


// Start-up fills a slot only while it is empty, so a test that installs its
// own listener first keeps it.
#define fill_empty(slot, fn)     \
    do {                         \
        if (!(slot))             \
            (slot) = (fn);       \
    } while (0)

// ---- the objects --------------------------------------------------------------------

static TextLines *chat_input;
static ScrollList *menu_list;
static SetupKeyStore *setup_store;
static ServerBrowser *server_browser;
static WorkerThread *browser_thread;
static ServerConnection *game_connection;
static SpectatorNames *spectator_names;
static ScriptTextureTable *script_textures;
static ScriptEngine *script_engine;

ScrollList *get_menu_list() { return menu_list; }
SetupKeyStore *get_setup_store() { return setup_store; }
ServerBrowser *get_server_browser() { return server_browser; }
WorkerThread *get_browser_thread() { return browser_thread; }
ServerConnection *get_game_connection() { return game_connection; }
SpectatorNames *get_spectator_names() { return spectator_names; }
ScriptTextureTable *get_script_textures() { return script_textures; }
ScriptEngine *get_script_engine() { return script_engine; }
TextLines *get_chat_input() { return chat_input; }

void lend_menu_objects(ScrollList *list, TextLines *chat)
{
    menu_list = list;
    chat_input = chat;
}

void lend_server_browser(ServerBrowser *browser) { server_browser = browser; }

int shell_objects_alive()
{
    return chat_input && menu_list && setup_store && server_browser && browser_thread &&
           game_connection && spectator_names && script_textures && script_engine;
}

void create_browser_thread()
{
    delete browser_thread;
    browser_thread = new WorkerThread();
    browser_thread->started = 0;
    browser_thread->delay_ms = 1;
}

int is_connected() { return game_connection && game_connection->connected; }
int is_online_game() { return game_type == 1 && is_connected(); }

// ---- replays ------------------------------------------------------------------------

int read_replay_file(const char *path)
{
    return read_replay(path);
}

// ---- what the layers below call ----------------------------------------------------

static int camera_option(const char *name)
{
    int row = option_row(name);
    return row < 0 ? -1 : get_option(row);
}

static void core_begin_replay() { begin_replay(0); }
static void core_toggle_game_paused(int frames) { toggle_game_paused(frames); }

static int palette_colour(int index, float *rgb)
{
    if (index < 0 || index >= PALETTE_ROWS)
        return 1;
    get_colour_rgb(index, rgb);
    return 0;
}

// Set once on_start has opened the first match; the scripts' camera hook
// waits for it (their draw hooks run in the loop's frames, which come after).
static int first_match_open;

static void reset_camera(double degrees) { reset_camera_view(&match_state, (int)degrees); }

// ---- the match core as game control sees it ----------------------------------------

static void select_ghost_row(int row) { select_ghost_mode(row); }

static int replay_slot_frame(int slot)
{
    const ReplayFrame *f = get_replay_frame(slot);
    return f ? f->frame : -1;
}

static void clear_all_turn_changes()
{
    for (int p = 0; p < MAX_PLAYERS; p++)
        clear_turn_changes(p);
}

static void reset_view(int angle) { reset_camera_view(&match_state, angle); }

// GLUT may be set up once per process.
static void start_glut(int *argc, char **argv)
{
    static int started;
    if (!started)
        glutInit(argc, argv);
    started = 1;
}
static int start_fonts() { return TTF_Init() == 0 ? 0 : 1; }

static void reset_draw_state()
{
    for (int k = 0; k < 3; k++)
        remembered_clear_colour[k] = 1.0f;
    texture_generation_flag = 0;
}

// The keyboard's and menus' sounds interrupt what their channel plays.
static void play_interface_sound(int sound, int channel) { play_sound_simple(channel, sound, 1); }

// One row of the bout name list.
static void draw_name_row(int font, float x, float y, const char *text, const float rgba[4])
{
    set_colour_rgba(rgba);
    draw_text(font, x, y, text);
}

// The effect volume as set, also while sound is off.
static int stored_effect_volume() { return effect_volume; }

// The scripts' event hooks and loader behind the layers' slots; a slot that
// is already filled (a test's own listener) stays as it is.
static void bind_script_hooks()
{
    if (!core_outward.hook_enter_frame)
        core_outward.hook_enter_frame = [] { fire_enter_frame(script_engine); };
    if (!core_outward.hook_end_game)
        core_outward.hook_end_game = [](int code) { fire_end_game(script_engine, code); };
    if (!core_outward.hook_enter_freeze)
        core_outward.hook_enter_freeze = [] { fire_enter_freeze(script_engine); };
    // The console hook runs only on the engine's own thread; a line from
    // another thread passes to the console unhooked.
    if (!console_links.hook_console)
        console_links.hook_console = [](const char16 *text, int kind) {
            return fire_console(script_engine, text, kind);
        };
    // Scripts see no frame before the first match is open: the start-up's
    // own camera resets (menus, layout) pass the hook by.
    if (!camera_outward.camera_hook)
        camera_outward.camera_hook = [] {
            return first_match_open ? fire_camera(script_engine) : 0;
        };
    if (!core_outward.run_script)
        core_outward.run_script = [](const char *request) {
            load_script_file(script_engine, request);
        };
    if (!game_links.hook_leave_game)
        game_links.hook_leave_game = [] { fire_leave_game(script_engine); };
    if (!game_links.hook_new_game)
        game_links.hook_new_game = [] { fire_new_game(script_engine); };
    if (!game_links.hook_new_mp_game)
        game_links.hook_new_mp_game = [] { fire_new_mp_game(script_engine); };
    if (!game_links.hook_exit_freeze)
        game_links.hook_exit_freeze = [] { fire_exit_freeze(script_engine); };
    if (!game_links.hook_enter_freeze)
        game_links.hook_enter_freeze = [] { fire_enter_freeze(script_engine); };
    if (!game_links.hook_key_down)
        game_links.hook_key_down = [](int key) { return fire_key(script_engine, key, 1); };
    if (!game_links.hook_key_up)
        game_links.hook_key_up = [](int key) { return fire_key(script_engine, key, 0); };
    if (!game_links.hook_mouse_button_down)
        game_links.hook_mouse_button_down = [](int button, int x, int y) {
            return fire_mouse_button(script_engine, button, 1, x, y);
        };
    if (!game_links.hook_mouse_button_up)
        game_links.hook_mouse_button_up = [](int button, int x, int y) {
            return fire_mouse_button(script_engine, button, 0, x, y);
        };
    if (!game_links.hook_mouse_move)
        game_links.hook_mouse_move = [](int x, int y) { return fire_mouse_move(script_engine, x, y); };
    if (!game_links.hook_player_select)
        game_links.hook_player_select = [](int player) { fire_player_select(script_engine, player); };
    if (!game_links.hook_joint_select)
        game_links.hook_joint_select = [](int player, int joint) {
            fire_joint_select(script_engine, player, joint);
        };
}

// The spectators' names of the list the server's "SPECS" lines fill.
static int spectator_count()
{
    int count = 0;
    if (SpectatorNames *names = get_spectator_names())
        while (count < SPECTATOR_NAMES && (*names)[count][0])
            count++;
    return count;
}

static const char *spectator_name(int i)
{
    SpectatorNames *names = get_spectator_names();
    return names && i >= 0 && i < SPECTATOR_NAMES ? (*names)[i] : "";
}

// A new online game lays out its buttons: the play buttons for a fighter;
// a spectator has no turn to play and keeps only the ghost and help buttons.
static void layout_game_buttons(int spectator)
{
    if (!spectator) {
        show_play_buttons();
        return;
    }
    hide_all_buttons();
    control_bar[CB_GHOST].visible = 1;
    control_bar[CB_HELP].visible = 1;
}

// Whether a drop's collision sphere reaches the floor: the drop is drawn at
// its own small size but collides with a larger sphere, so a drop that
// lies on the floor has its centre that sphere's radius up.
static int drop_on_floor(const BloodDrop *d)
{
    if (!d->geom)
        return 0;
    if (live_ground) {
        dContactGeom contact;
        return dCollide(d->geom, live_ground, 1, &contact, sizeof contact) > 0;
    }
    double reach = dGeomGetClass(d->geom) == dSphereClass ? dGeomSphereGetRadius(d->geom) : 0;
    return dBodyGetPosition(d->body)[2] <= reach + 0.02;   // false for not a number
}

// A blood drop that touched the floor leaves a stain where it landed (the
// renderer keeps stains only on the shader path with "bloodstains" on); one
// that hit a fighter or an object above the floor leaves none.
void stain_where_blood_landed(int drop, double speed)
{
    const BloodDrop *d = get_blood_drop(drop);
    if (!d || !d->body || !(speed > 0))
        return;
    const dReal *p = dBodyGetPosition(d->body);
    const dReal *v = dBodyGetLinearVel(d->body);
    double size = d->size > 0 ? d->size : 0.01;
    if (!drop_on_floor(d))
        return;
    const float point[3] = {(float)p[0], (float)p[1], 0.0f};
    const float velocity[3] = {(float)v[0], (float)v[1], (float)v[2]};
    add_blood_stain(point, velocity, (float)size, d->colour);
}

static void bind_remaining_slots()
{
    fill_empty(core_outward.on_blood_hit, stain_where_blood_landed);
    // Bump mapping changes which programs the levels use: the shader path
    // is set up again (the switch frees what the last set-up made first).
    if (!settings_links.rebuild_shaders)
        settings_links.rebuild_shaders = [] {
            if (!shaders_active)
                return;
            shaders_active = 0;
            set_shaders_enabled(1);
        };
    fill_empty(hud_outward.spectator_count, spectator_count);
    fill_empty(hud_outward.spectator_name, spectator_name);
    // The spectators start below the bout list's names.
    fill_empty(hud_outward.spectator_offset, spectator_row_offset);
    fill_empty(hud_outward.set_system_cursor, set_system_cursor);
    fill_empty(core_outward.layout_game_buttons, layout_game_buttons);
}

static void bind_layers()
{
    platform_options.width = &option_table[OPT_WIDTH].value;
    platform_options.height = &option_table[OPT_HEIGHT].value;
    platform_options.antialiasing = &option_table[OPT_ANTIALIASING].value;
    platform_options.fullscreen = &option_table[OPT_FULLSCREEN].value;
    platform_options.frameskip = &option_table[OPT_FRAMESKIP].value;
    platform_options.noreload = &option_table[OPT_NORELOAD].value;

    platform_outward.init_glut = start_glut;
    if (!script_shell.echo_nohook)
        script_shell.echo_nohook = [](const char *text, int kind) { echo_message_nohook(text, kind, 1); };
    // The scripts' option calls are bound before the start-up script runs
    // (bind_script_option_links).
    if (!script_shell.switch_menu)
        script_shell.switch_menu = [](int page) {
            if (game_links.switch_menu)
                game_links.switch_menu(page);
        };
    fill_empty(script_shell.begin_new_game, begin_new_game);
    fill_empty(script_shell.exit_replay, exit_replay);
    if (!script_shell.key_modifiers)
        script_shell.key_modifiers = [] { return (int)SDL_GetModState(); };
    if (!script_shell.error_flag)
        script_shell.error_flag = [] { return script_engine ? script_engine->error_flag : 0; };
    if (!script_shell.camera_position)
        script_shell.camera_position = [] { return camera_state.position; };
    if (!script_shell.camera_lookat)
        script_shell.camera_lookat = [] { return camera_state.lookat; };
    fill_empty(script_shell.set_fov, set_perspective_fov);
    if (!script_shell.set_sound)
        script_shell.set_sound = [](int on) {
            if (on)
                set_sound_on();
            else
                set_sound_off();
        };
    fill_empty(script_shell.set_volume, set_effect_volume);
    fill_empty(script_shell.get_volume, get_effective_volume);
    fill_empty(script_shell.save_screenshot, save_screenshot_as);
    fill_empty(script_shell.load_player_custom, load_player_custom);
    platform_outward.init_fonts = start_fonts;
    // The fonts themselves open with the renderer's resources (and again
    // after every new video mode).
    bind_ttf_text();
    bind_bump_meshes();
    bind_shader_renderer();
    hud_outward.is_connected = is_connected;
    hud_outward.menu_state = [] { return (int)menu_state; };
    platform_outward.set_drawn_cursor_visible = [](int visible) { drawn_cursor.visible = visible; };
    platform_outward.custom_cursor_in_use = [] { return drawn_cursor.in_use; };
    platform_outward.reset_draw_state = reset_draw_state;
    platform_outward.set_perspective_fov = set_perspective_fov;
    platform_outward.init_session = init_session;
    platform_outward.selected_joint_screen_pos = selected_joint_screen_pos;
    platform_outward.load_render_resources = load_render_resources;
    platform_outward.shutdown_renderer = shutdown_renderer;
    platform_outward.save_all_at_exit = save_all_at_exit;

    settings_links.fullscreen_state = get_fullscreen;
    settings_links.toggle_fullscreen = toggle_fullscreen;
    settings_links.effect_volume = stored_effect_volume;
    settings_links.set_effect_volume = set_effect_volume;
    settings_links.music_volume = get_music_volume;
    settings_links.set_music_volume = set_music_volume;
    settings_links.stop_music = stop_music;
    settings_links.start_music = start_music;
    name_list_links.draw_text = draw_name_row;

    core_outward.begin_replay = core_begin_replay;
    core_outward.toggle_game_paused = core_toggle_game_paused;
    core_outward.is_connected = is_connected;
    core_outward.get_option = option_by_name;
    // A test that watches the frames installs its own drawing first.
    fill_empty(core_outward.draw_frame_layers, draw_frame_layers);
    core_outward.palette_colour = palette_colour;
    core_outward.belt_name = belt_name_for_value;
    core_outward.reset_camera = reset_camera;
    core_outward.is_buddy = is_buddy_name;
    core_outward.sync_spectators = sync_spectator_names;
    core_outward.clear_spectators = clear_spectator_names;
    // The message console (echo, banner, the HUD's and input's console slots);
    // slots a test filled first stay as they are.
    init_console_layout();
    bind_console();
    bind_hud();
    // The control bar and the scroll lists' mouse hover.
    bind_widgets();
    bind_menus();
    // Customisation: the staging records that server and replay lines fill,
    // and the fighters' looks at each game start.
    fill_empty(core_outward.parse_customs_line, customs_line_for_player);
    fill_empty(core_outward.clear_customs, clear_customs_for_player);
    if (!core_outward.load_fighter_looks)
        core_outward.load_fighter_looks = [] { load_fighter_looks(1); };
    fill_empty(core_outward.set_ghost_equipment, set_ghost_equipment);
    // Console lines from the game server ("RUN"); the interpreter runs only
    // its harmless commands for them.
    fill_empty(core_outward.run_console_command, run_console_command);
    fill_empty(game_links.clear_customs, clear_customs_for_player);
    fill_empty(platform_outward.reload_all_player_looks, reload_all_player_looks);

    camera_outward.option = camera_option;

    game_links.new_game_reset = new_game_reset;
    game_links.start_game_with_rules = start_game_with_rules;
    game_links.toggle_ghost_own = toggle_ghost_own;
    game_links.select_ghost_row = select_ghost_row;
    game_links.clear_replay_from = clear_replay_from;
    game_links.replay_slot_frame = replay_slot_frame;
    game_links.set_all_joint_states = set_all_joint_states;
    game_links.clear_turn_changes = clear_all_turn_changes;
    game_links.size_hands_by_grips = update_hand_sizes;
    game_links.clear_bout_list = clear_bout_list;
    game_links.reset_camera_view = reset_view;
    // Screenshots, the scene files beside them and the ctrl+F7 animation;
    // the render switches flip the option rows (the settings store's own
    // toggle_render_option default does the same for its rows).
    fill_empty(game_links.take_screenshot, take_screenshot);
    fill_empty(screenshot_outward.write_scene, pov_write_scene);
    fill_empty(platform_outward.pov_begin_animation, pov_begin_animation);
    fill_empty(platform_outward.pov_write_frame, pov_write_frame);
    fill_empty(platform_outward.pov_end_animation, pov_end_animation);
    bind_render_option_refs();


    // Sounds; a test that listens to a sound slot installs its own first.
    music_option = &option_table[OPT_MUSIC].value;
    platform_outward.load_sound_effects = load_sound_effects;
    platform_outward.free_sound_effects = free_sound_effects;
    fill_empty(core_outward.play_motion_sounds, play_motion_sounds);
    fill_empty(core_outward.play_score_sounds, play_score_sounds);
    fill_empty(game_links.play_score_sounds, play_score_sounds);
    fill_empty(game_links.set_sound_on, set_sound_on);
    fill_empty(game_links.start_music, start_music);
    fill_empty(game_links.play_sound, play_interface_sound);

    bind_script_hooks();
    bind_shader_links();
    bind_online();
    bind_script_api();
    bind_remaining_slots();
}

// ---- start-up -------------------------------------------------------------------------

static void create_objects()
{
    chat_input = new TextLines();
    text_lines_init(chat_input, 32);
    menu_list = new ScrollList();
    menu_list->visible_rows = 5;
    setup_store = new SetupKeyStore("default.cfg");
    load_buddies(BUDDIES_PATH);
    server_browser = new ServerBrowser();
    n_strncpyz(server_browser->path, "servers.txt", sizeof server_browser->path);
    create_browser_thread();
    game_connection = new ServerConnection();
    net_reset(game_connection);
    spectator_names = reinterpret_cast<SpectatorNames *>(new SpectatorNames[1]());
    script_textures = new ScriptTextureTable();
    init_script_textures(script_textures);
    script_texture_table = script_textures;
    script_engine = new ScriptEngine();
    create_script_engine(script_engine);
}

static void delete_objects()
{
    if (script_engine)
        destroy_script_engine(script_engine);
    delete script_engine;
    script_engine = nullptr;
    destroy_script_textures(script_textures);
    script_texture_table = nullptr;
    delete script_textures;
    script_textures = nullptr;
    if (chat_input)
        text_lines_free(chat_input);
    delete chat_input;
    chat_input = nullptr;
    delete menu_list;
    menu_list = nullptr;
    delete setup_store;
    setup_store = nullptr;
    clear_buddies();
    init_name_list();
    delete browser_thread;
    browser_thread = nullptr;
    delete server_browser;
    server_browser = nullptr;
    if (game_connection)
        net_quit(game_connection);
    delete game_connection;
    game_connection = nullptr;
    delete[] spectator_names;
    spectator_names = nullptr;
}

int app_run(int argc, char **argv)
{
    if (parse_command_line(argc, argv) != 0)
        print_usage();

    AppCallbacks callbacks = {};
    callbacks.start = on_start;
    callbacks.step = app_step;
    install_input_callbacks(&callbacks);

    bind_script_option_links();   // the start-up script sets options
    create_objects();
    game_init();
    bind_layers();

    platform_main(argc, argv, get_option(OPT_WIDTH), get_option(OPT_HEIGHT), &callbacks);

    // "QUIT\n" to a server still connected.
    net_quit(game_connection);
    delete_objects();
    free_console_list();
    game_shutdown();
    return 0;
}

void init_session()
{
    fill_default_rules(1, &mp_rules);
    match_state.turn_end = 0;
    match_state.turn_seconds = 4;
    match_state.end_deadline = 0;
    match_state.frames_recorded = 0;
    match_state.replay_frame = 0;
    // What writers killed before their commit left behind (settings,
    // replays, customs, screenshots, the data tree's own files).
    remove_stale_temps(".", 2);
    // Offline defaults, the stored options and rules, and a mod named on
    // the command line as the mod of the next offline game.
    load_settings();
    // The stored login, when there is one, names the local player; the
    // user's equipment file comes with it.
    if (login_load(login_nick, login_password) == 0) {
        set_local_user(login_nick);
        set_local_password(login_password);
        load_user_equipment();
    }
    // The player's own console script, when there is one (once a run).
    run_profile_script();
    if (game_links.clear_console)
        game_links.clear_console();
    // The buttons for the window as it was made.
    place_control_bar(view_width, view_height);
    int menu = cmdline_replay_count ? 0 : 13;
    if (game_links.switch_menu)
        game_links.switch_menu(menu);
    else
        set_menu_state(menu);
    set_caption_text(program_version);
}

void on_start()
{
    if (cmdline_replay_count != 0) {
        // Playback begins whether or not the file could be read.
        read_replay_file(cmdline_replay);
        replay_mode = REPLAY_PLAYING;
        scan_replays();
        begin_replay(0);
        reset_camera_view(&match_state, 0);
    } else if (scan_replays() == -1) {
        fprintf(stderr, "No replays found in replay/\n");
        if (!is_online_game()) {
            begin_new_game();
        } else if (game_links.send_game_line && game_links.send_game_line("READY\n") == 0) {
            // sent: the server's lines make the fighters ready
        } else {
            echo_message("Disconnected. Lost contact with server", MSG_INGAME);
            if (game_links.close_game_connection)
                game_links.close_game_connection();
            game_connection->connected = 0;
            if (game_links.clear_bout_list)
                game_links.clear_bout_list();
        }
    } else {
        replay_mode = REPLAY_CYCLE;
        char path[FILE_NAME_BYTES + 16];
        snprintf(path, sizeof path, "replay/%s", replay_files.names[0]);
        if (read_replay_file(path) == 0)
            begin_replay(0);
        reset_camera_view(&match_state, 0);
    }
    // Sound and music come on whichever way the first match began.
    if (game_links.set_sound_on)
        game_links.set_sound_on();
    if (get_option(OPT_MUSIC) != 0 && game_links.start_music)
        game_links.start_music(0);
    // The drawn cursor or the system one, as set.
    set_custom_cursor(get_option(OPT_CURSOR) != 0);
    first_match_open = 1;
}

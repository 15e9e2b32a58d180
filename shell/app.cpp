#include "shell/app.h"

// GLEW comes before any other GL header.
#include "render/gl_draw.h"

#include <GL/freeglut.h>
#include <SDL/SDL_ttf.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/bout.h"
#include "core/ghost.h"
#include "core/motors.h"
#include "core/newgame.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/replay_file.h"
#include "core/rules.h"
#include "core/world.h"
#include "platform/camera.h"
#include "platform/loop.h"
#include "render/scene.h"
#include "shell/frame_layers.h"
#include "shell/game_control.h"
#include "shell/input.h"
#include "shell/options.h"
#include "shell/palette.h"

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

static int option_by_name(const char *name)
{
    int row = option_row(name);
    return row < 0 ? 0 : get_option(row);
}

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

static void bind_layers()
{
    platform_options.width = &option_table[OPT_WIDTH].value;
    platform_options.height = &option_table[OPT_HEIGHT].value;
    platform_options.antialiasing = &option_table[OPT_ANTIALIASING].value;
    platform_options.fullscreen = &option_table[OPT_FULLSCREEN].value;
    platform_options.frameskip = &option_table[OPT_FRAMESKIP].value;
    platform_options.noreload = &option_table[OPT_NORELOAD].value;

    platform_outward.init_glut = start_glut;
    platform_outward.init_fonts = start_fonts;
    platform_outward.reset_draw_state = reset_draw_state;
    platform_outward.set_perspective_fov = set_perspective_fov;
    platform_outward.init_session = init_session;
    platform_outward.selected_joint_screen_pos = selected_joint_screen_pos;
    platform_outward.load_render_resources = load_render_resources;
    platform_outward.shutdown_renderer = shutdown_renderer;

    core_outward.begin_replay = core_begin_replay;
    core_outward.toggle_game_paused = core_toggle_game_paused;
    core_outward.is_connected = is_connected;
    core_outward.get_option = option_by_name;
    // A test that watches the frames installs its own drawing first.
    if (!core_outward.draw_frame_layers)
        core_outward.draw_frame_layers = draw_frame_layers;
    core_outward.palette_colour = palette_colour;
    core_outward.belt_name = belt_name_for_value;
    core_outward.reset_camera = reset_camera;

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
}

// ---- start-up -------------------------------------------------------------------------

static void create_objects()
{
    chat_input = new TextLines();
    text_lines_init(chat_input, 32);
    menu_list = new ScrollList();
    menu_list->visible_rows = 5;
    setup_store = new SetupKeyStore();
    n_strncpyz(setup_store->path, "default.cfg", sizeof setup_store->path);
    server_browser = new ServerBrowser();
    n_strncpyz(server_browser->path, "servers.txt", sizeof server_browser->path);
    create_browser_thread();
    game_connection = new ServerConnection();
    spectator_names = reinterpret_cast<SpectatorNames *>(new SpectatorNames[1]());
    script_textures = new ScriptTextureTable();
    script_engine = new ScriptEngine();
}

static void delete_objects()
{
    delete script_engine;
    script_engine = nullptr;
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
    delete browser_thread;
    browser_thread = nullptr;
    delete server_browser;
    server_browser = nullptr;
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

    create_objects();
    game_init();
    bind_layers();

    platform_main(argc, argv, get_option(OPT_WIDTH), get_option(OPT_HEIGHT), &callbacks);

    if (is_connected()) {
        if (game_links.send_game_line)
            game_links.send_game_line("QUIT\n");
        if (game_links.close_game_connection)
            game_links.close_game_connection();
        game_connection->connected = 0;
    }
    delete_objects();
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
    // The settings store is not built yet: the next offline game starts
    // from the default rules.
    fill_default_rules(0, &setup_rules);
    // A mod named on the command line is the mod of the next offline game.
    if (cmdline_mod[0])
        n_strncpyz(setup_rules.mod, cmdline_mod, sizeof setup_rules.mod);
    if (game_links.clear_console)
        game_links.clear_console();
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
        char path[FILE_NAME_BYTES + 8];
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
}

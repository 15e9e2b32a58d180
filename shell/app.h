// Program start-up and shut-down of the shell: the command line, the
// long-lived objects, the hand-over to the platform loop, the session set-up
// once the window exists, the start callback and the orderly tear-down.
#pragma once

#include <cstdint>

#include "core/text.h"
#include "net/browser.h"
#include "net/connection.h"
#include "net/worker.h"
#include "script/engine.h"
#include "script/script_textures.h"
#include "shell/settings.h"

// ---- the shell's long-lived objects ---------------------------------------------
// The records below are the smallest forms of objects whose modules are
// still to come (menus, settings, online client, scripting); those modules
// complete them. None of them does anything yet beyond existing.

// The list of menu pages (scroll list with automatic scrolling).
struct ScrollList {
    int count;          // rows
    int visible_rows;
    int hover;          // absolute index of the hovered row
    int first;          // first visible row
    int scroll_up;      // automatic scrolling flags
    int scroll_down;
    // geometry and state of the widget operations (shell/widgets.h)
    int x, right;       // left edge and right edge in pixels
    int first_y;        // top of the first visible row
    int row_height;
    int keep_position;  // a new count keeps hover and first
    int chosen;         // chosen row, -1 none
    int hit_test_off;   // the mouse does not hover rows (the server list's own test)
};

// The settings store over "default.cfg": shell/settings.h.

// One TCP client connection of the online client: net/connection.h.

// The server browser with its own connection and server list, and its
// worker thread (created, started on demand): net/browser.h, net/worker.h.

// Textures that scripts load: script/script_textures.h.

// The script engine (Lua state, interface, start-up script): script/engine.h.

enum { SPECTATOR_NAMES = 32, SPECTATOR_NAME_BYTES = 32 };
typedef char SpectatorNames[SPECTATOR_NAMES][SPECTATOR_NAME_BYTES];

// ---- entry ---------------------------------------------------------------------------
// Parses the command line, creates the objects, runs the platform loop and
// tears everything down; 0 after an orderly shut-down. "-h" and "-help"
// print the usage text and end the process with status 1.
int app_run(int argc, char **argv);

// Once, from the platform loop, after the renderer and fonts exist.
void init_session();
// The start callback: opens the replay named on the command line or plays
// the first one of "replay/" behind the main menu.
void on_start();

// Reads a replay file into the replay buffer: the one road of the shell's
// replay reading. 0 when it was read; "Unable to open <path>" otherwise.
int read_replay_file(const char *path);

// 1 while a game-server connection is open.
int is_connected();
int is_online_game();

// ---- accessors of the objects (null before creation and after deletion) ---------
ScrollList *get_menu_list();
SetupKeyStore *get_setup_store();
ServerBrowser *get_server_browser();
WorkerThread *get_browser_thread();
ServerConnection *get_game_connection();
SpectatorNames *get_spectator_names();
ScriptTextureTable *get_script_textures();
ScriptEngine *get_script_engine();
TextLines *get_chat_input();

// Tests lend the menus a list and an edit buffer of their own (null: none).
void lend_menu_objects(ScrollList *list, TextLines *chat);
// Tests lend the program a server browser of their own (null: none); the
// one start-up made is not deleted by this.
void lend_server_browser(ServerBrowser *browser);

// Deletes any browser thread and makes a new one (not started).
void create_browser_thread();

// The objects' life, for checks: 1 from creation to deletion of all of them.
int shell_objects_alive();

// A blood drop touched something at a speed (the core's on_blood_hit): on
// the floor it leaves a stain through the renderer.
void stain_where_blood_landed(int drop, double speed);

// Online play as the shell sees it: the wiring of the multiplayer client
// and the server browser into the layers' slots, the server-list page and
// the replay stepping of the control bar.
#pragma once

// Fills the client's and browser's slots (start-up, once the objects exist).
void bind_online();

// Starts the browser's pass unless one runs: 0 without a browser thread,
// 1 while one runs, else the result of creating it (0 started).
int start_browser_thread();

// The server-list page (menu 1).
void draw_server_list();
void enter_server_list();
void leave_server_list(int row);

// The replay file list of "replay/", one step on, wrapping; a file that
// fails to load is skipped silently. The camera view is reset either way.
void play_next_replay();
void play_previous_replay();

// The shell's side of the Lua API: the script texture table's life with
// the renderer's resources, and the shell services the API functions reach
// through ScriptShell (turn commit, spectators, server line, colours and
// customisation, message console and chat input, web browser).
#pragma once

// Fills the script API's slots that are still empty; start-up calls it
// once, after the other layers are bound.
void bind_script_api();

// Opens a web page in the user's browser: the launcher runs as a process
// of its own with the URL as its one argument (never through a command
// shell), and nothing waits for it. Only plain http(s) URLs are opened.
// 0 when the launcher was started.
int launch_browser(const char *url);

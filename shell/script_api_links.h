// The shell's side of the Lua API: the script texture table's life with
// the renderer's resources, and the shell services the API functions reach
// through ScriptShell (turn commit, spectators, server line, colours and
// customisation, message console and chat input).
#pragma once

// Fills the script API's slots that are still empty; start-up calls it
// once, after the other layers are bound.
void bind_script_api();

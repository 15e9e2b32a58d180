// The script engine: the program's one Lua 5.1 state, the standard
// libraries it opens, the API functions and global values it registers,
// and the loader of the scripts under "data/script/".
#pragma once

#include <thread>

struct lua_State;
typedef int (*ScriptCFunction)(lua_State *L);

// One heap object for the whole run (get_script_engine, shell/app.h).
struct ScriptEngine {
    lua_State *state;   // null until init_script_engine runs
    int error_flag;     // 0 after a script loaded and ran, 1 after a failure
    // The thread that created the state: the only one that may use it.
    std::thread::id owner;
};

// 1 when the engine's state exists and the calling thread owns it.
int script_engine_usable(const ScriptEngine *engine);
// The error message at the top of the stack, whatever its type.
const char *script_error_text(lua_State *L);

// The program version that scripts see as ZYLOMACH_VERSION.

// A row of the API registration table: a Lua global name and its function.
struct ScriptApiFunction {
    const char *name;
    ScriptCFunction function;
};
// The registration table in registration order, ended by a null name.
extern const ScriptApiFunction script_api_functions[];

// Sets state to null and error_flag to 0, then runs init_script_engine and
// returns its result.
int create_script_engine(ScriptEngine *engine);
// Builds the state (libraries base, math, string, table, io; the API
// functions; the global tables), clears the hooks and returns the result of
// loading "startup.lua" (0 or 1).
int init_script_engine(ScriptEngine *engine);
// Closes the Lua state (state becomes null).
void destroy_script_engine(ScriptEngine *engine);
// Loads and runs one script. The request is "file [argument]": the file
// relative to "data/script/" (at most 64 bytes; subfolders allowed, no
// absolute path and no ".." component) and an optional argument word (at
// most 32 bytes) that the script sees as ARG1. Every file other than
// "startup.lua" first clears the hooks and runs "startup.lua" again.
// 0 on success, 1 on failure (reported on standard error); error_flag is
// set to the same value.
int load_script_file(ScriptEngine *engine, const char *request);

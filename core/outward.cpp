#include "core/outward.h"

#include <cstdio>

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

// The browser column: the lines a polled server pushes to the server
// browser (NEWGAME, INFO, CLIENTS, DESC). They run on the browser's worker
// thread and write only the report that browser_target points at.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/command.h"
#include "core/command_handlers.h"
#include "core/outward.h"
#include "core/server_info.h"
#include "core/text.h"

thread_local ServerInfo *browser_target = nullptr;

void server_info_init(ServerInfo *info)
{
    if (!info)
        return;
    memset(info, 0, sizeof *info);
    info->position = -1;
    info->reachable = 1;
}

void set_server_rules(ServerInfo *info, const GameRules *rules)
{
    if (info && rules)
        info->rules = *rules;
}

void browser_set_names(ServerInfo *info, const char *text)
{
    if (!info)
        return;
    memset(info->names, 0, sizeof info->names);
    info->buddies = 0;
    if (!text || text[0] == '\0' || strcmp(text, "\n") == 0)
        return;
    size_t end = strcspn(text, "\n");
    size_t at = 0;
    int count = 0;
    while (count < SERVER_NAMES) {
        size_t len = strcspn(text + at, "\t\n");
        if (at + len > end)
            len = end - at;
        size_t keep = len < SERVER_NAME_SIZE - 1 ? len : SERVER_NAME_SIZE - 1;
        memcpy(info->names[count], text + at, keep);
        info->names[count][keep] = '\0';
        if (core_outward.is_buddy && info->names[count][0] &&
            core_outward.is_buddy(info->names[count]))
            info->buddies += 1;
        count++;
        at += len;
        if (at >= end || text[at] != '\t')
            break;
        at++;   // past the tab
    }
}

void browser_set_description(ServerInfo *info, const char *text)
{
    if (!info || !text)
        return;
    char buffer[CMD_LINE_MAX + 1];
    n_strncpyz(buffer, text, sizeof buffer);
    char *trimmed = trim_blanks(buffer);
    if (trimmed[0] == '\0')
        return;
    n_strncpyz(info->description, trimmed, sizeof info->description);
}

void set_server_counts(ServerInfo *info, int count, int a, int b)
{
    if (!info)
        return;
    info->info_count = count;
    info->info_a = a;
    info->info_b = b;
}

// ---- the handlers ----------------------------------------------------------------

int browser_cmd_newgame(int, const char *args)
{
    if (!browser_target)
        return 0;
    GameRules rules;
    memset(&rules, 0, sizeof rules);
    // A report's rules: the live match belongs to the main thread.
    parse_newgame_report(args, &rules);
    set_server_rules(browser_target, &rules);
    return 0;
}

int browser_cmd_info(int number, const char *args)
{
    if (!browser_target)
        return 0;
    int a = 0, b = 0;
    sscanf(args, "%i %i", &a, &b);   // missing values stay 0
    set_server_counts(browser_target, number, a, b);
    if (core_outward.publish_server_info)
        core_outward.publish_server_info();
    if (core_outward.poll_next_server)
        core_outward.poll_next_server();
    return 0;
}

int browser_cmd_clients(int, const char *args)
{
    if (browser_target)
        browser_set_names(browser_target, args);
    return 0;
}

int browser_cmd_desc(int, const char *args)
{
    if (browser_target)
        browser_set_description(browser_target, args);
    return 0;
}

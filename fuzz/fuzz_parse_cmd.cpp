// fuzz-kind: parse
// fuzz-link: -Wl,--wrap=_Z21start_game_with_rulesiiP9GameRules
//
// Feeds a byte stream to parse_cmd the way the replay reader and the game
// connection do: lines up to '\n', and after a line that announces a tail,
// one packed tail (a count word and that many words, at most 512). Every line
// goes through all four columns: the replay and network columns of a table
// whose handlers exercise every argument reader and tail decoder on what they
// receive, the real table's network column, and the browser and fourth
// columns without a pending byte. The server's NEWGAME parses its rules and
// meets the stand-in game start (no world is built).
#include "core/command.h"
#include "core/world.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_stand_ins.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

int text_handler(int, const char *args)
{
    if (!args)
        __builtin_trap();
    const char *p = args;
    char error = 0;
    for (int i = 0; i < 600 && !error; i++) {
        float f;
        p = read_float_token(p, &f, &error);
    }
    p = args;
    error = 0;
    for (int i = 0; i < 600 && !error; i++) {
        int v;
        p = read_int_token(p, &v, &error);
    }
    double d[64];
    read_doubles(args, 13, d);
    double rows3[21][3];
    read_double_rows3(args, 21, rows3);
    double rows4[21][4];
    read_double_rows4(args, 21, rows4);
    read_double_list(args, 20, d);
    int pairs[20][2];
    if (parse_int_pairs(args, 20, pairs) > 20)
        __builtin_trap();
    int ints[20];
    if (read_int_list(args, 20, ints) > 20)
        __builtin_trap();
    if (read_separated_ints(args, 20, ints, ',') > 20)
        __builtin_trap();
    return 0;
}

int tail_handler(int, const char *tail)
{
    double rows3[21 * 3];
    if (unpack_tail_rows3(tail, rows3, 63) > 63)
        __builtin_trap();
    double rows4[21 * 4];
    if (unpack_tail_rows4(tail, rows4, 84) > 84)
        __builtin_trap();
    int groups = env_tail_groups(tail);
    for (int g = 0; g < groups && g < 16; g++) {
        double pos[3], quat[4], ang[3], lin[3];
        unpack_env_tail(env_tail_group(tail, g), pos, quat, ang, lin);
    }
    return 0;
}

CommandRow fuzz_table[COMMAND_COUNT + 1];

void build_table()
{
    for (int i = 0; i <= COMMAND_COUNT; i++) {
        const CommandRow &r = CommandTable[i];
        CommandHandler h = (r.flags & CMD_FLAG_TAIL) ? tail_handler : text_handler;
        fuzz_table[i] = {r.name, r.network ? h : nullptr, r.replay ? h : nullptr,
                         r.browser ? text_handler : nullptr,
                         r.fourth ? text_handler : nullptr, r.flags};
    }
}

}  // namespace

// The handlers act on a real match: fighters, world and records exist.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    game_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool built = false;
    if (!built) {
        build_table();
        built = true;
    }
    static char line[4096 + 1];
    static PackedTail tail;
    CommandStream replay_stream = {}, net_stream = {};
    char replay_pending = 0, net_pending = 0, real_pending = 0;
    // The real table's streams are globals; start each input afresh.
    for (int k = 0; k < CMD_KINDS; k++)
        command_streams[k] = CommandStream{};

    size_t pos = 0;
    while (pos < size) {
        if (replay_pending || net_pending || real_pending) {
            memset(tail.bytes, 0, sizeof tail.bytes);
            size_t avail = size - pos;
            size_t take = avail < 4 ? avail : 4;
            memcpy(tail.bytes, data + pos, take);
            int32_t n = packed_tail_word((const char *)tail.bytes, 0);
            size_t words = n < 1 ? 1 : (n > PACKED_TAIL_MAX_WORDS ? PACKED_TAIL_MAX_WORDS : (size_t)n);
            take = 4 * words;
            if (take > avail)
                take = avail;
            memcpy(tail.bytes, data + pos, take);
            pos += take;
            const char *t = (const char *)tail.bytes;
            parse_cmd_stream(&replay_stream, fuzz_table, CMD_KIND_REPLAY, t, &replay_pending);
            parse_cmd_stream(&net_stream, fuzz_table, CMD_KIND_NETWORK, t, &net_pending);
            parse_cmd(CMD_KIND_NETWORK, t, &real_pending);
            if (replay_pending || net_pending || real_pending)
                __builtin_trap();   // a tail is handed over exactly once
            continue;
        }
        size_t len = 0;
        while (pos + len < size && len < sizeof line - 1) {
            char c = (char)data[pos + len];
            line[len++] = c;
            if (c == '\n')
                break;
        }
        line[len] = '\0';
        pos += len;
        parse_cmd_stream(&replay_stream, fuzz_table, CMD_KIND_REPLAY, line, &replay_pending);
        parse_cmd_stream(&net_stream, fuzz_table, CMD_KIND_NETWORK, line, &net_pending);
        parse_cmd(CMD_KIND_NETWORK, line, &real_pending);
        parse_cmd_in(fuzz_table, CMD_KIND_BROWSER, line, nullptr);
        parse_cmd_in(fuzz_table, CMD_KIND_FOURTH, line, nullptr);
    }
    return 0;
}

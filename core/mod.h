// Mod files: text files of commands that change the fighters' body and
// joint tables, the environment objects, the world and the game rules.
#pragma once

#include "core/records.h"

enum { MOD_TEMPLATE_SETS = 4, MOD_FILE_MAX_BYTES = 4 * 1024 * 1024 };

// Mod parser contexts.
enum {
    MOD_CTX_NONE = 0,
    MOD_CTX_BODY = 1,
    MOD_CTX_JOINT = 2,
    MOD_CTX_WORLD = 3,
    MOD_CTX_BLOOD = 4,
    MOD_CTX_HOLD = 5,
    MOD_CTX_HOLD_ACTIVE = 6,
    MOD_CTX_RELAX = 7,
    MOD_CTX_RELAX_ACTIVE = 8,
    MOD_CTX_ENV_OBJ = 9,
    MOD_CTX_GAMERULE = 10
};

struct ModParser {
    int context;
    int set;           // current template set 0..3
    int body;          // -1 none
    int joint;         // -1 none
    int object;        // 0..15
    int shared;        // 1: every player uses set 0
};

struct ModCommand {
    const char *name;
    void (*handler)(const char *arg);
    int mask;
    int needs_arg;
};

extern const ModCommand mod_commands[31];   // 30 rows and an end row
extern ModParser mod_parser;
extern BodyDef mod_body_sets[MOD_TEMPLATE_SETS][BODY_TABLE_ROWS];
extern JointDef mod_joint_sets[MOD_TEMPLATE_SETS][JOINT_TABLE_ROWS];

int read_mod(const char *path);
void parse_mod_cmd(const char *line);
// Writes the world's tables of players 0..num_players-1, its objects and world values.
int write_mod(const WorldDescription *world, const char *path);
void assign_player_templates();

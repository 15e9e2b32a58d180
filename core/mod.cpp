#include "core/sane.h"
#include "core/mod.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/safe_file.h"
#include "core/rules.h"
#include "core/text.h"

BodyDef mod_body_sets[MOD_TEMPLATE_SETS][BODY_TABLE_ROWS];
JointDef mod_joint_sets[MOD_TEMPLATE_SETS][JOINT_TABLE_ROWS];
ModParser mod_parser = {MOD_CTX_NONE, 0, -1, -1, 0, 1};

static const double DEG_TO_RAD = 0.017453292519943295;
// A joint sphere this wide or wider (a fighter stands under 3 m) pushes its
// carrier from so far off that the world step's solver breaks down on the
// contacts and ODE aborts; a body's own shape may stay larger, its inertia
// grows with it.
static const double JOINT_RADIUS_MAX = 10.0;

// ---- helpers -------------------------------------------------------------

static BodyDef *cur_body()
{
    if (mod_parser.body < 0 || mod_parser.body >= NUM_BODIES)
        return nullptr;
    return &mod_body_sets[mod_parser.set][mod_parser.body];
}

static JointDef *cur_joint()
{
    if (mod_parser.joint < 0 || mod_parser.joint >= NUM_JOINTS)
        return nullptr;
    return &mod_joint_sets[mod_parser.set][mod_parser.joint];
}

static EnvObject *cur_object()
{
    if (mod_parser.object < 0 || mod_parser.object >= NUM_ENV_OBJECTS)
        return nullptr;
    return &mod_world.objects[mod_parser.object];
}

// The current body or joint in its own context; an unknown one (-1) counts
// as no context at all.
static BodyDef *body_in_context()
{
    return mod_parser.context == MOD_CTX_BODY ? cur_body() : nullptr;
}

static JointDef *joint_in_context()
{
    return mod_parser.context == MOD_CTX_JOINT ? cur_joint() : nullptr;
}

static EnvObject *object_in_context()
{
    return mod_parser.context == MOD_CTX_ENV_OBJ ? cur_object() : nullptr;
}

static int read_floats(const char *arg, double *out, int max)
{
    int n = 0;
    const char *p = arg;
    while (n < max) {
        char *end;
        double v = strtod(p, &end);
        if (end == p)
            break;
        out[n++] = v;
        p = end;
    }
    return n;
}

static void leave_part_context(int context)
{
    mod_parser.context = context;
    mod_parser.body = -1;
    mod_parser.joint = -1;
}

// ---- handlers ------------------------------------------------------------

static void mod_joint(const char *arg)
{
    mod_parser.context = MOD_CTX_JOINT;
    mod_parser.body = -1;
    mod_parser.joint = -1;
    for (int j = 0; j < NUM_JOINTS; j++) {
        if (!strcasecmp(arg, joint_name(j)) || !strcasecmp(arg, builtin_joint_table[j].name)) {
            mod_parser.joint = j;
            return;
        }
    }
    if (!strcasecmp(arg, "l_axilla")) {
        mod_parser.joint = 7;
        return;
    }
    fprintf(stderr, "no such joint %s\n", arg);
}

static void mod_body(const char *arg)
{
    mod_parser.context = MOD_CTX_BODY;
    mod_parser.joint = -1;
    mod_parser.body = -1;
    for (int b = 0; b < NUM_BODIES; b++) {
        if (!strcasecmp(arg, body_name(b)) || !strcasecmp(arg, builtin_body_table[b].name)) {
            mod_parser.body = b;
            return;
        }
    }
    fprintf(stderr, "no such body %s\n", arg);
}

static void mod_world_ctx(const char *) { leave_part_context(MOD_CTX_WORLD); }
static void mod_blood(const char *) { leave_part_context(MOD_CTX_BLOOD); }
static void mod_hold(const char *) { leave_part_context(MOD_CTX_HOLD); }
static void mod_relax(const char *) { leave_part_context(MOD_CTX_RELAX); }
static void mod_hold_active(const char *) { leave_part_context(MOD_CTX_HOLD_ACTIVE); }
static void mod_relax_active(const char *) { leave_part_context(MOD_CTX_RELAX_ACTIVE); }
static void mod_gamerule(const char *) { leave_part_context(MOD_CTX_GAMERULE); }

// A value the world cannot take refuses the line; one line on stderr says so.
static int refused(const char *what, const double *v, int n, double limit, const char *arg)
{
    if (sane_values(v, n, limit))
        return 0;
    refuse_input(what, arg);
    return 1;
}

static void mod_gravity(const char *arg)
{
    double v[3];
    if (read_floats(arg, v, 3) < 3) {
        fprintf(stderr, "not enough arguments to gravity\n");
        return;
    }
    if (refused("gravity", v, 3, SANE_FORCE, arg))
        return;
    for (int k = 0; k < 3; k++)
        mod_world.gravity[k] = (float)v[k];
}

static void mod_friction(const char *arg)
{
    double mu = strtod(arg, nullptr);
    if (refused("friction", &mu, 1, 1e9, arg))
        return;
    if (mu < 0) {
        refuse_input("friction", arg);
        return;
    }
    mod_world.ground_mu = (float)mu;
}
static void mod_version(const char *arg) { mod_world.mod_version = (int32_t)strtol(arg, nullptr, 10); }
static void mod_message(const char *arg) { n_strncpyz(mod_world.mod_text, arg, 256); }

static int read_sides(const char *arg, const char *what, double out[3])
{
    out[2] = 0.0;
    if (read_floats(arg, out, 3) < 2) {
        fprintf(stderr, "not enough arguments to %s\n", what);
        return 1;
    }
    if (out[0] < 0 || out[1] < 0 || out[2] < 0) {
        fprintf(stderr, "arguments negative\n");
        return 1;
    }
    if (refused(what, out, 3, SANE_SIZE, arg))
        return 1;
    for (int k = 0; k < 3; k++)
        if (!sane_size(out[k])) {
            refuse_input(what, arg);
            return 1;
        }
    return 0;
}

static void mod_sides(const char *arg)
{
    BodyDef *b = body_in_context();
    EnvObject *o = object_in_context();
    if (!b && !o) {
        fprintf(stderr, "sides statement out of context\n");
        return;
    }
    double v[3];
    if (read_sides(arg, "sides", v))
        return;
    for (int k = 0; k < 3; k++) {
        if (b)
            b->sides[k] = (float)v[k];
        else
            o->sides[k] = v[k];
    }
}

static void mod_alt_sides(const char *arg)
{
    BodyDef *b = body_in_context();
    if (!b) {
        fprintf(stderr, "alt_sides statement out of context\n");
        return;
    }
    double v[3];
    if (read_sides(arg, "alt_sides", v))
        return;
    for (int k = 0; k < 3; k++)
        b->alt_sides[k] = (float)v[k];
}

static void mod_range(const char *arg)
{
    JointDef *j = joint_in_context();
    if (!j) {
        fprintf(stderr, "range statement out of context\n");
        return;
    }
    double v[2];
    if (read_floats(arg, v, 2) < 2) {
        fprintf(stderr, "not enough arguments to range\n");
        return;
    }
    if (refused("range", v, 2, 100, arg))
        return;
    j->lo_stop = (float)v[0];
    j->hi_stop = (float)v[1];
}

static void mod_strength(const char *arg)
{
    JointDef *j = joint_in_context();
    if (!j) {
        fprintf(stderr, "strength statement out of context\n");
        return;
    }
    double v = strtod(arg, nullptr);
    if (!refused("strength", &v, 1, SANE_FORCE, arg))
        j->strength = (float)v;
}

static void mod_velocity(const char *arg)
{
    JointDef *j = joint_in_context();
    if (!j) {
        fprintf(stderr, "velocity statement out of context\n");
        return;
    }
    double v = strtod(arg, nullptr);
    if (!refused("velocity", &v, 1, SANE_FORCE, arg))
        j->velocity = (float)v;
}

static void mod_pos(const char *arg)
{
    BodyDef *b = body_in_context();
    JointDef *j = joint_in_context();
    EnvObject *o = object_in_context();
    if (!b && !j && !o) {
        fprintf(stderr, "pos statement out of context\n");
        return;
    }
    double v[3];
    if (read_floats(arg, v, 3) < 3) {
        fprintf(stderr, "not enough arguments to pos\n");
        return;
    }
    if (refused("pos", v, 3, SANE_POSITION, arg))
        return;
    for (int k = 0; k < 3; k++) {
        if (b)
            b->position[k] = (float)v[k];
        else if (j)
            j->anchor[k] = (float)v[k];
        else
            o->position[k] = v[k];
    }
}

static void mod_radius(const char *arg)
{
    BodyDef *b = body_in_context();
    JointDef *j = joint_in_context();
    if (!b && !j) {
        fprintf(stderr, "Unexpected radius command\n");
        return;
    }
    double d = strtod(arg, nullptr);
    if (refused("radius", &d, 1, SANE_SIZE, arg))
        return;
    if (d < 0 || !sane_size(d) || (j && d > JOINT_RADIUS_MAX)) {
        refuse_input("radius", arg);
        return;
    }
    float r = (float)d;
    if (b)
        b->sides[0] = r;
    else
        j->radius = r;
}

static void mod_shape(const char *arg)
{
    BodyDef *b = body_in_context();
    EnvObject *o = object_in_context();
    if (!b && !o) {
        fprintf(stderr, "shape statement out of context\n");
        return;
    }
    static const char *const shapes[] = {"sphere", "box", "cylinder"};
    for (int s = 0; s < 3; s++) {
        if (!strcmp(arg, shapes[s])) {
            if (b)
                b->shape = s;
            else
                o->shape = (uint8_t)s;
            return;
        }
    }
    fprintf(stderr, "No such shape (%s)\n", arg);
}

static void mod_material(const char *arg)
{
    BodyDef *b = body_in_context();
    JointDef *j = joint_in_context();
    EnvObject *o = object_in_context();
    if (!b && !j && !o) {
        fprintf(stderr, "material statement out of context\n");
        return;
    }
    int m;
    if (!strcmp(arg, "flesh"))
        m = 0;
    else if (!strcmp(arg, "steel"))
        m = 1;
    else {
        fprintf(stderr, "Unknown material (%s)\n", arg);
        return;
    }
    if (b)
        b->material = m;
    else if (j)
        j->material = m;
    else
        o->material[0] = m;
}

static void mod_flag(const char *arg)
{
    BodyDef *b = body_in_context();
    JointDef *j = joint_in_context();
    EnvObject *o = object_in_context();
    if (!b && !j && !o) {
        fprintf(stderr, "flag statement out of context\n");
        return;
    }
    int32_t f = (int32_t)strtol(arg, nullptr, 10);
    if (b)
        b->flags = f;
    else if (j)
        j->flags = f;
    else
        o->flags = f;
}

static void mod_color(const char *arg)
{
    int ctx = mod_parser.context;
    if (ctx >= MOD_CTX_BLOOD && ctx <= MOD_CTX_RELAX_ACTIVE)
        return;   // these sections' colours are accepted and ignored
    BodyDef *b = body_in_context();
    JointDef *j = joint_in_context();
    EnvObject *o = object_in_context();
    if (!b && !j && !o && ctx != MOD_CTX_WORLD) {
        fprintf(stderr, "color statement out of context\n");
        return;
    }
    double v[4] = {0, 0, 0, 1.0};
    if (read_floats(arg, v, 4) < 3) {
        fprintf(stderr, "not enough arguments to color\n");
        return;
    }
    if (refused("color", v, 4, SANE_FORCE, arg))
        return;
    if (b) {
        for (int k = 0; k < 3; k++)
            b->colour[k] = (float)v[k];
    } else if (j) {
        for (int k = 0; k < 3; k++)
            j->colour[k] = (float)v[k];
    } else if (o) {
        for (int k = 0; k < 4; k++)
            o->colour[k] = (float)v[k];
    } else {
        for (int e = 0; e < APPEARANCE_COLOURS; e++)
            for (int k = 0; k < 4; k++)
                mod_world.appearance.colour[e][k] = (float)v[k];
    }
}

static void mod_force(const char *arg)
{
    BodyDef *b = body_in_context();
    if (!b)
        return;   // outside a body a force means nothing
    double v[3];
    if (read_floats(arg, v, 3) < 3) {
        fprintf(stderr, "not enough arguments to force\n");
        return;
    }
    if (refused("force", v, 3, SANE_FORCE, arg))
        return;
    for (int k = 0; k < 3; k++)
        b->force[k] = (float)v[k];
}

static void mod_rot(const char *arg)
{
    BodyDef *b = body_in_context();
    EnvObject *o = object_in_context();
    if (!b && !o) {
        fprintf(stderr, "rotate statement out of context\n");
        return;
    }
    double v[3];
    if (read_floats(arg, v, 3) < 3) {
        fprintf(stderr, "not enough arguments to rot\n");
        return;
    }
    if (refused("rot", v, 3, SANE_FORCE, arg))
        return;
    for (int k = 0; k < 3; k++) {
        if (b)
            b->rotation[k] = (float)(v[k] * DEG_TO_RAD);
        else
            o->rotation[k] = v[k] * DEG_TO_RAD;
    }
}

static void mod_axis(const char *arg)
{
    JointDef *j = joint_in_context();
    if (!j) {
        fprintf(stderr, "axis statement out of context\n");
        return;
    }
    double v[3];
    if (read_floats(arg, v, 3) < 3) {
        fprintf(stderr, "not enough arguments to axis\n");
        return;
    }
    if (!sane_axis(v)) {   // a zero axis cannot be a hinge's axis
        refuse_input("axis", arg);
        return;
    }
    for (int k = 0; k < 3; k++)
        j->axis[k] = (float)v[k];
}

static void mod_player(const char *arg)
{
    char *end;
    long p = strtol(arg, &end, 10);
    if (end == arg || p < 0 || p >= MOD_TEMPLATE_SETS) {
        fprintf(stderr, "Invalid player index: %s\n", arg);
        return;
    }
    mod_parser.set = (int)p;
    mod_parser.shared = 0;
}

static void mod_env_obj(const char *arg)
{
    char *end;
    long n = strtol(arg, &end, 10);
    if (end == arg || n < 1 || n > NUM_ENV_OBJECTS) {
        fprintf(stderr, "Environment object out of range (%s)\n", arg);
        return;
    }
    mod_parser.object = (int)n - 1;
    mod_world.objects[n - 1].used = 1;
    leave_part_context(MOD_CTX_ENV_OBJ);
}

static void mod_mass(const char *arg)
{
    EnvObject *o = object_in_context();
    if (!o) {
        fprintf(stderr, "mass statement out of context\n");
        return;
    }
    double m = strtod(arg, nullptr);
    if (!(m > 0.0)) {   // a mass of 0 or less gives no usable inertia
        fprintf(stderr, "mass must be above 0 (%s)\n", arg);
        return;
    }
    if (refused("mass", &m, 1, SANE_FORCE, arg))
        return;
    if (m < SANE_MIN_MASS) {
        refuse_input("mass", arg);
        return;
    }
    o->mass = m;
}

const ModCommand mod_commands[31] = {
    {"joint", mod_joint, 0x1, 1},
    {"body", mod_body, 0x1, 1},
    {"world", mod_world_ctx, 0x1, 0},
    {"gravity", mod_gravity, 0x1, 1},
    {"friction", mod_friction, 0x8, 1},
    {"version", mod_version, 0x1, 1},
    {"message", mod_message, 0x1, 1},
    {"sides", mod_sides, 0x14, 1},
    {"alt_sides", mod_alt_sides, 0x14, 1},
    {"range", mod_range, 0x14, 1},
    {"strength", mod_strength, 0x14, 1},
    {"velocity", mod_velocity, 0x14, 1},
    {"pos", mod_pos, 0x16, 1},
    {"radius", mod_radius, 0x16, 1},
    {"shape", mod_shape, 0x14, 1},
    {"material", mod_material, 0x16, 1},
    {"flag", mod_flag, 0x14, 1},
    {"color", mod_color, 0x1e, 1},
    {"force", mod_force, 0x4, 1},
    {"blood", mod_blood, 0x1, 0},
    {"rot", mod_rot, 0x16, 1},
    {"axis", mod_axis, 0x2, 1},
    {"hold", mod_hold, 0x1, 0},
    {"relax", mod_relax, 0x1, 0},
    {"hold_active", mod_hold_active, 0x1, 0},
    {"relax_active", mod_relax_active, 0x1, 0},
    {"player", mod_player, 0x1, 1},
    {"gamerule", mod_gamerule, 0x1, 0},
    {"env_obj", mod_env_obj, 0x1, 1},
    {"mass", mod_mass, 0x10, 1},
    {nullptr, nullptr, 0, 0},
};

// ---- reading -------------------------------------------------------------

void parse_mod_cmd(const char *line)
{
    char buf[2048];
    n_strncpyz(buf, line, sizeof buf);
    char *text = trim_blanks(buf);
    if (!*text || *text == '#')
        return;

    if (mod_parser.context == MOD_CTX_GAMERULE) {
        char key[2048], rest[2048];
        if (sscanf(text, "%2047s %2047[^\n]", key, rest) == 2 &&
            set_rule(key, rest, &mod_rules) == 0)
            return;
    }

    char word[256];
    const char *blank = strchr(text, ' ');
    size_t wlen = blank ? (size_t)(blank - text) : strlen(text);
    if (wlen >= sizeof word)
        wlen = sizeof word - 1;
    memcpy(word, text, wlen);
    word[wlen] = 0;

    const ModCommand *cmd = nullptr;
    for (const ModCommand *c = mod_commands; c->name; c++) {
        if (!strcmp(c->name, word)) {
            cmd = c;
            break;
        }
    }
    if (!cmd) {
        fprintf(stderr, "parse_mod_cmd no op found %s\n", text);
        return;
    }
    const char *arg = "";
    char argbuf[2048];
    if (blank) {
        n_strncpyz(argbuf, blank + 1, sizeof argbuf);
        arg = trim_blanks(argbuf);
    }
    if (cmd->needs_arg) {
        if (!blank) {
            fprintf(stderr, "%s needs a parameter\n", word);
            return;
        }
        if (!*arg) {
            fprintf(stderr, "load is empty for key %s\n", text);
            return;
        }
    }
    cmd->handler(arg);
}

static void reset_mod_objects()
{
    for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
        EnvObject &o = mod_world.objects[i];
        memset(&o, 0, sizeof o);   // a new mod starts from zero rotations too
        o.position[2] = 0.25;
        o.shape = SHAPE_BOX;
        o.sides[0] = o.sides[1] = o.sides[2] = 0.5;
        o.mass = 0.1;
        o.colour[1] = 1.0f;
        o.colour[3] = 1.0f;
        o.material[0] = 1;   // steel
    }
}

int read_mod(const char *path)
{
    // The world values start from the built-in description.
    EnvObject keep_objects[NUM_ENV_OBJECTS];
    memcpy(keep_objects, mod_world.objects, sizeof keep_objects);
    mod_world = default_world;
    memcpy(mod_world.objects, keep_objects, sizeof keep_objects);
    reset_mod_objects();
    for (int s = 0; s < MOD_TEMPLATE_SETS; s++) {
        memcpy(mod_joint_sets[s], builtin_joint_table, sizeof mod_joint_sets[s]);
        memcpy(mod_body_sets[s], builtin_body_table, sizeof mod_body_sets[s]);
    }
    for (int p = 0; p < MAX_PLAYERS; p++) {
        mod_world.body_tables[p] = mod_body_sets[0];
        mod_world.joint_tables[p] = mod_joint_sets[0];
    }
    // Every file starts outside any section, whatever the last one left.
    mod_parser.context = MOD_CTX_NONE;
    mod_parser.set = 0;
    mod_parser.shared = 1;
    mod_parser.body = -1;
    mod_parser.joint = -1;
    mod_parser.object = 0;
    mod_world.mod_text[0] = 0;
    mod_world.mod_version = 0;
    mod_world.gravity[0] = 0.0f;
    mod_world.gravity[1] = 0.0f;
    mod_world.gravity[2] = -9.82f;
    mod_world.ground_mu = 10000.0f;

    FILE *f = open_read_file(path, MOD_FILE_MAX_BYTES);
    if (!f) {
        fprintf(stderr, "Unable to open mod %s\n", path);
        return 1;
    }
    char line[2048];
    int line_number = 0;
    while (fgets(line, sizeof line, f)) {
        set_input_source(path, ++line_number);
        size_t len = strlen(line);
        if (len == sizeof line - 1 && line[len - 1] != '\n') {
            // Overlong line: take its start, drop the rest of it.
            int c;
            while ((c = fgetc(f)) != EOF && c != '\n') {
            }
        }
        parse_mod_cmd(line);
    }
    fclose(f);
    set_input_source(nullptr, 0);
    return 0;
}

void assign_player_templates()
{
    int n = match_state.num_players;
    if (n < 1 || n > MAX_FIGHTERS)
        n = 2;
    for (int p = 0; p < MAX_PLAYERS; p++) {
        int set = mod_parser.shared ? 0 : p % n;
        mod_world.body_tables[p] = mod_body_sets[set];
        mod_world.joint_tables[p] = mod_joint_sets[set];
    }
    current_world.mod_version = mod_world.mod_version;
    n_strncpyz(current_world.mod_text, mod_world.mod_text, sizeof current_world.mod_text);
}

// ---- writing -------------------------------------------------------------

static const double RAD_TO_DEG = 1.0 / 0.017453292519943295;

int write_mod(const WorldDescription *world, const char *path)
{
    // Written beside the file and renamed over it: a kill mid-write leaves
    // the old mod whole.
    SafeFile out;
    if (!path || safe_open(&out, path) != 0) {
        fprintf(stderr, "Unable to open %s %s\n", path ? path : "(null)", strerror(errno));
        return 1;
    }
    FILE *f = out.f;
    static const char *const shapes[] = {"sphere", "box", "cylinder"};
    static const char *const materials[] = {"flesh", "steel"};

    if (world->mod_version)
        fprintf(f, "version %d\r\n", world->mod_version);
    if (world->mod_text[0]) {
        // One line only: a line end inside the text would start a command.
        char msg[256];
        n_strncpyz(msg, world->mod_text, sizeof msg);
        msg[strcspn(msg, "\r\n")] = 0;
        fprintf(f, "message %s\r\n", msg);
    }
    fprintf(f, "gravity %f %f %f\r\n", world->gravity[0], world->gravity[1], world->gravity[2]);
    fprintf(f, "friction %f\r\n", world->ground_mu);

    int n = match_state.num_players;
    if (n < 1 || n > MAX_FIGHTERS)
        n = 2;
    for (int p = 0; p < n; p++) {
        const BodyDef *bt = world->body_tables[p] ? world->body_tables[p] : builtin_body_table;
        const JointDef *jt =
            world->joint_tables[p] ? world->joint_tables[p] : builtin_joint_table;
        fprintf(f, "player %d\r\n", p);
        for (int i = 0; i < NUM_BODIES; i++) {
            const BodyDef &b = bt[i];
            fprintf(f, "   body %s\r\n", builtin_body_table[i].name);
            if (b.shape >= 0 && b.shape <= 2)
                fprintf(f, "      shape %s\r\n", shapes[b.shape]);
            fprintf(f, "      sides %f %f %f\r\n", b.sides[0], b.sides[1], b.sides[2]);
            fprintf(f, "      alt_sides %f %f %f\r\n", b.alt_sides[0], b.alt_sides[1],
                    b.alt_sides[2]);
            fprintf(f, "      pos %f %f %f\r\n", b.position[0], b.position[1], b.position[2]);
            fprintf(f, "      rot %f %f %f\r\n", b.rotation[0] * RAD_TO_DEG,
                    b.rotation[1] * RAD_TO_DEG, b.rotation[2] * RAD_TO_DEG);
            if (b.material == 0 || b.material == 1)
                fprintf(f, "      material %s\r\n", materials[b.material]);
            fprintf(f, "      flag %d\r\n", b.flags);
            fprintf(f, "      color %f %f %f\r\n", b.colour[0], b.colour[1], b.colour[2]);
            fprintf(f, "      force %f %f %f\r\n", b.force[0], b.force[1], b.force[2]);
        }
        for (int j = 0; j < NUM_JOINTS; j++) {
            const JointDef &d = jt[j];
            fprintf(f, "   joint %s\r\n", builtin_joint_table[j].name);
            fprintf(f, "      radius %f\r\n", d.radius);
            fprintf(f, "      pos %f %f %f\r\n", d.anchor[0], d.anchor[1], d.anchor[2]);
            fprintf(f, "      axis %f %f %f\r\n", d.axis[0], d.axis[1], d.axis[2]);
            fprintf(f, "      range %f %f\r\n", d.lo_stop, d.hi_stop);
            fprintf(f, "      strength %f\r\n", d.strength);
            fprintf(f, "      velocity %f\r\n", d.velocity);
            if (d.material == 0 || d.material == 1)
                fprintf(f, "      material %s\r\n", materials[d.material]);
            fprintf(f, "      flag %d\r\n", d.flags);
            fprintf(f, "      color %f %f %f\r\n", d.colour[0], d.colour[1], d.colour[2]);
        }
    }
    for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
        const EnvObject &o = world->objects[i];
        if (!o.used)
            continue;
        fprintf(f, "env_obj %d\r\n", i + 1);
        if (o.shape <= 2)
            fprintf(f, "   shape %s\r\n", shapes[o.shape]);
        fprintf(f, "   pos %f %f %f\r\n", o.position[0], o.position[1], o.position[2]);
        fprintf(f, "   color %f %f %f %f\r\n", o.colour[0], o.colour[1], o.colour[2],
                o.colour[3]);
        fprintf(f, "   rot %f %f %f\r\n", o.rotation[0] * RAD_TO_DEG,
                o.rotation[1] * RAD_TO_DEG, o.rotation[2] * RAD_TO_DEG);
        fprintf(f, "   sides %f %f %f\r\n", o.sides[0], o.sides[1], o.sides[2]);
        if (o.material[0] == 0 || o.material[0] == 1)
            fprintf(f, "   material %s\r\n", materials[o.material[0]]);
        fprintf(f, "   flag %d\r\n", o.flags);
        fprintf(f, "   mass %f\r\n", o.mass);
    }
    return safe_commit(&out);
}

// Starting games, resetting matches, the engage placement, the online bout
// list and match title, the result setters and the fighters' names.
#include "core/newgame.h"
#include "core/sane.h"

// The joint spheres are geometry transforms around a sphere.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "core/blood.h"
#include "core/bout.h"
#include "core/collide.h"
#include "core/ghost.h"
#include "core/motors.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/replay_buffer.h"
#include "core/rules.h"
#include "core/step.h"
#include "core/text.h"
#include "core/world.h"

char last_mod_name[MOD_NAME_SIZE];
int32_t mod_load_failed;
int32_t match_title_showing;
char match_title[3][TITLE_LINE_SIZE];
int32_t match_start_tick;
WorldBuildCounts world_build_counts;

static int32_t bout_staging_count;
static int32_t bout_own_seen;

enum { TITLE_SECONDS = 5, TITLE_FONT = 2 };

static const char *const default_names[MAX_FIGHTERS] = {"kasu", "uke", "player3", "player4"};
static const int32_t start_colours[MAX_FIGHTERS] = {3, 5, 10, 6};

// The engage layout is centred on the dojo's centre. Its first coordinate
// runs along the world's y axis, the axis the built-in fighter faces (it
// looks towards -y), and its second along x, the axis its arms span; so a
// fighter at (+d, 0) with rotation 0 faces one at (-d, 0) with rotation
// 180, and fighters on a circle at angle a with rotation a face the centre.
static const double engage_centre[2] = {1.0, -0.1};

static void clear_result_lists()
{
    for (int i = 0; i < 4; i++) {
        match_state.winners[i] = -1;
        match_state.losers[i] = -1;
    }
}

static void clear_emote(PlayerState *p)
{
    p->emote[0] = '\0';
    p->emote_duration = 0;
    p->emote_end = 0;
    p->emote_pending = 0;
}

static void note_start_time()
{
    if (core_outward.get_option && core_outward.get_option("benchmark"))
        match_start_tick = frame_tick;
}

static void call(void (*f)())
{
    if (f)
        f();
}

// ---- names ------------------------------------------------------------------------

int set_player_name2(int player, const char *name)
{
    if (!name)
        return 1;
    return set_player_name(player, name);
}

void set_default_player_names()
{
    int n = fighter_count();
    for (int i = 1; i < n; i++)
        if (players[i].name[0] == '\0')
            set_player_name2(i, default_names[i]);
}

// ---- rules and mods -------------------------------------------------------------------

static void copy_text(char *dest, const char *src, size_t size)
{
    size_t len = strnlen(src, size - 1);
    memcpy(dest, src, len);   // the rest of dest stays zero
}

// A copy of the rules with every byte that carries no value zero: padding
// and whatever follows the terminator of each text.
static void canonical_rules(const GameRules *r, GameRules *out)
{
    static_assert(sizeof(GameRules) == 1364, "canonical_rules must copy every field");
    memset(out, 0, sizeof *out);
    out->matchframes = r->matchframes;
    memcpy(out->turnframes, r->turnframes, sizeof out->turnframes);
    out->turnframes_count = r->turnframes_count;
    copy_text(out->turnframes_text, r->turnframes_text, sizeof out->turnframes_text);
    out->batch_frames = r->batch_frames;
    out->opening_frames = r->opening_frames;
    out->opening_turn_frames = r->opening_turn_frames;
    out->turn_time_limit = r->turn_time_limit;
    out->engagedistance = r->engagedistance;
    out->engageheight = r->engageheight;
    out->engagerotation = r->engagerotation;
    out->engagespace = r->engagespace;
    copy_text(out->engage_text, r->engage_text, sizeof out->engage_text);
    memcpy(out->engage_pos, r->engage_pos, sizeof out->engage_pos);
    copy_text(out->spare_text, r->spare_text, sizeof out->spare_text);
    memcpy(out->engage_rot, r->engage_rot, sizeof out->engage_rot);
    out->engage_set = r->engage_set;
    out->damage = r->damage;
    out->flags = r->flags;
    out->sumo = r->sumo;
    copy_text(out->mod, r->mod, sizeof out->mod);
    out->field11 = r->field11;
    out->dojotype = r->dojotype;
    out->dojosize = r->dojosize;
    out->field24 = r->field24;
    out->dismemberthreshold = r->dismemberthreshold;
    out->fracturethreshold = r->fracturethreshold;
    out->players = r->players;
    out->match_mode = r->match_mode;
    out->teams = r->teams;
    memcpy(out->team, r->team, sizeof out->team);
    out->field16 = r->field16;
    out->dqtimeout = r->dqtimeout;
}

int same_rules(const GameRules *a, const GameRules *b)
{
    if (!a || !b)
        return 0;
    static GameRules ca, cb;
    canonical_rules(a, &ca);
    canonical_rules(b, &cb);
    return memcmp(&ca, &cb, sizeof ca) == 0;
}

int is_builtin_mod(const char *name)
{
    if (!name)
        return 1;
    return name[0] == '\0' || strcmp(name, "0") == 0 || strcmp(name, "classic") == 0 ||
           strcmp(name, "CLASSIC.zmm") == 0 || strcmp(name, "DEFAULT.zmm") == 0;
}

// The name must stay inside "data/mod/": no folder part, no drive, no dot
// entries, no control characters.
int is_plain_mod_file_name(const char *name)
{
    if (!name || !name[0] || strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return 0;
    size_t len = strnlen(name, MOD_NAME_SIZE);
    if (len >= MOD_NAME_SIZE)
        return 0;
    for (size_t i = 0; i < len; i++) {
        unsigned char c = (unsigned char)name[i];
        if (c < 32 || c == 127 || c == '/' || c == '\\' || c == ':')
            return 0;
    }
    return 1;
}

static void build_default_world()
{
    destroy_world();
    build_world(&default_world);
    world_build_counts.default_builds += 1;
}

// 1 when the mod was loaded, 0 when the default world stands in for it.
static int load_named_mod(const char *name)
{
    world_build_counts.mod_loads += 1;
    if (!is_plain_mod_file_name(name)) {
        fprintf(stderr, "refusing mod name outside data/mod\n");
        build_default_world();
        return 0;
    }
    return load_mod_world(name);
}

// The world must hold a fighter and a ghost for every player.
static int world_fits_players()
{
    return physics_world && fighters_built == 2 * match_state.num_players;
}

static void change_world(int type, int from_replay, GameRules *rules, int rules_changed)
{
    // Only the fighters' own names and colours carry over: with fewer
    // players before, the records past them were ghosts ("GHOST1", ...),
    // and the rebuild gives their places to new fighters with names of
    // their own.
    char names[MAX_FIGHTERS][32];
    int32_t colours[MAX_FIGHTERS];
    for (int i = 0; i < MAX_FIGHTERS; i++) {
        int fighter = i < fighters_built && !players[i].is_ghost;
        if (fighter)
            memcpy(names[i], players[i].name, sizeof names[i]);
        else
            names[i][0] = '\0';
        colours[i] = fighter ? players[i].colour : 0;
    }
    if (rules != &current_rules)
        memcpy(&current_rules, rules, sizeof current_rules);

    const char *mod = rules->mod;
    if (is_builtin_mod(mod)) {
        build_default_world();
    } else if (strcmp(mod, last_mod_name) != 0 || type == 1 || !world_fits_players()) {
        if (rules != &mod_rules)
            memcpy(&mod_rules, rules, sizeof mod_rules);
        if (load_named_mod(mod)) {
            mod_load_failed = 0;
            // A local game's new mod is announced (a replay's own world and a
            // server's choice are not).
            if (rules_changed && type == 0 && !from_replay) {
                echo_message(format_to_static("Loaded mod %s", mod), MSG_INGAME);
                if (current_world.mod_text[0])
                    echo_message(current_world.mod_text, MSG_INGAME);
            }
        } else {
            if (rules_changed)
                echo_message(format_to_static("Unable to load mod %s", mod), MSG_INGAME);
            mod_load_failed = 1;
            if (type == 0) {
                // The rules now say what the world is.
                n_strncpyz(rules->mod, "classic", sizeof rules->mod);
                n_strncpyz(mod_rules.mod, "classic", sizeof mod_rules.mod);
            }
        }
        if (type == 0)
            memcpy(&current_rules, &mod_rules, sizeof current_rules);
    } else if (type == 0) {
        memcpy(&current_rules, &mod_rules, sizeof current_rules);
    }

    n_strncpyz(last_mod_name, rules->mod, sizeof last_mod_name);
    if (from_replay && last_mod_name[0])
        last_mod_name[0] = ' ';

    for (int i = 0; i < MAX_FIGHTERS; i++) {
        if (names[i][0] && !players[i].is_ghost)
            set_player_name2(i, names[i]);
        players[i].colour = colours[i] ? colours[i] : start_colours[i];
        players[i].colour_copy = players[i].colour;
    }
}

static void apply_team_colours()
{
    int n = fighter_count();
    if (match_state.team_count < 2)
        return;
    for (int i = 0; i < n; i++) {
        int t = players[i].team;
        int colour = t >= 0 && t < MAX_FIGHTERS ? start_colours[t] : start_colours[0];
        int ghost = i + n;
        players[i].colour = players[i].colour_copy = colour;
        if (ghost < MAX_PLAYERS) {
            players[ghost].team = t;
            players[ghost].colour = players[ghost].colour_copy = colour;
        }
    }
}

// ---- players ---------------------------------------------------------------------------

void restore_joint(int record, int joint)
{
    if (!has_bodies(record) || joint < 0 || joint >= NUM_JOINTS)
        return;
    PlayerState *p = &players[record];
    const JointDef *table = player_joint_table(record);
    const JointDef *def = nullptr;
    if (table)
        for (int row = 0; row < NUM_JOINTS; row++)
            if (table[row].index == joint)
                def = &table[row];
    JointRuntime *rt = &p->joints[joint];
    if (def) {
        rt->hi_stop = def->hi_stop;
        rt->lo_stop = def->lo_stop;
        rt->break_hi = def->break_hi;
        rt->break_lo = def->break_lo;
    }
    rt->broken = JOINT_INTACT;
    rt->cut_pending = 0;
    rt->replay_pending = 0;
    dJointID h = p->hinge[joint];
    attach_hinge(record, joint);
    dJointSetHingeParam(h, dParamLoStop, rt->lo_stop);
    dJointSetHingeParam(h, dParamHiStop, rt->hi_stop);
    dGeomID s = dGeomTransformGetGeom(p->joint_geom[joint]);
    if (s && dGeomGetClass(s) == dSphereClass && def)
        dGeomSphereSetRadius(s, world_size(def->radius));
    restore_sphere_collide(record, joint);
    restore_body_collide(record, builtin_joint_table[joint].body_a);
    restore_body_collide(record, builtin_joint_table[joint].body_b);
    memset(&p->hinge_feedback[joint], 0, sizeof p->hinge_feedback[joint]);
}

void reset_players()
{
    for (int r = 0; r < fighters_built && r < MAX_PLAYERS; r++) {
        PlayerState *p = &players[r];
        memset(p->part_hit, 0, sizeof p->part_hit);
        p->flags = 0;
        p->changes = 0;
        p->sent = 0;
        p->injury = 0;
        p->score = 0;
        p->ground_speed = 0;
        p->head_force = 0;
        p->out = 0;
        p->touch_first = p->touch_last = p->touch_time = 0;
        p->ready = 0;
        p->broken_count = 0;
        for (int b = 0; b < NUM_BODIES; b++)
            restore_body_collide(r, b);
        // A ghost takes its fighter's pose first, so that its hinges, too,
        // are attached in the pose they were built in.
        int fighter = r - fighter_count();
        if (p->is_ghost && fighter >= 0 && has_bodies(fighter))
            for (int b = 0; b < NUM_BODIES; b++) {
                dBodyID from = players[fighter].body[b], to = p->body[b];
                if (!from || !to)
                    continue;
                const dReal *pos = dBodyGetPosition(from);
                dBodySetPosition(to, pos[0], pos[1], pos[2]);
                dBodySetQuaternion(to, dBodyGetQuaternion(from));
                dBodySetLinearVel(to, 0, 0, 0);
                dBodySetAngularVel(to, 0, 0, 0);
            }
        for (int j = 0; j < NUM_JOINTS; j++) {
            restore_joint(r, j);
            p->joints[j].bleed = 0;
            p->joints[j].last_speed = 0;
            p->timed_breaks[j].kind = 0;
            p->timed_breaks[j].frame = 0;
            p->joint_state[j] = 0;
        }
        p->grip_req_l = p->grip_req_r = 0;
        p->grip_l = p->grip_r = 0;
        release_all_grips(r);
        set_hand_geom_size(r, 11, 0);
        set_hand_geom_size(r, 12, 0);
        set_body_masses(r, 0.25);
    }
}

// ---- engage placement ---------------------------------------------------------------------

// Turns every body of a record about body 0 by the rotation.
static void turn_player(int record, const dMatrix3 R)
{
    PlayerState *p = &players[record];
    const dReal *c0 = dBodyGetPosition(p->body[0]);
    double c[3] = {c0[0], c0[1], c0[2]};
    for (int b = 0; b < NUM_BODIES; b++) {
        dBodyID body = p->body[b];
        const dReal *pos = dBodyGetPosition(body);
        double d[3] = {pos[0] - c[0], pos[1] - c[1], pos[2] - c[2]};
        double out[3];
        for (int k = 0; k < 3; k++)
            out[k] = c[k] + R[4 * k] * d[0] + R[4 * k + 1] * d[1] + R[4 * k + 2] * d[2];
        dBodySetPosition(body, out[0], out[1], out[2]);
        dMatrix3 M;
        dMultiply0_333(M, R, dBodyGetRotation(body));
        dBodySetRotation(body, M);
    }
}

static void turn_player_euler(int record, const int32_t degrees[3])
{
    double r[3];
    for (int k = 0; k < 3; k++)
        r[k] = degrees[k] * M_PI / 180.0;
    dMatrix3 Rx, Ry, Rz, Ryx, R;
    dRFromAxisAndAngle(Rx, 1, 0, 0, r[0]);
    dRFromAxisAndAngle(Ry, 0, 1, 0, r[1]);
    dRFromAxisAndAngle(Rz, 0, 0, 1, r[2]);
    dMultiply0_333(Ryx, Ry, Rx);
    dMultiply0_333(R, Rz, Ryx);
    turn_player(record, R);
}

static int stance_of(int player)
{
    int slot = players[player].stance_slot;
    if (slot < 0 || slot >= stance_count || !stance_slots[slot].name[0])
        slot = 0;
    return slot;
}

// Puts a fighter's stance so that its body 0 stands over engage
// coordinates (first, second) at the height.
static void put_at_engage_point(int player, double first, double second, double height)
{
    int slot = stance_of(player);
    const StanceSlot *s = &stance_slots[slot];
    double origin[3] = {
        engage_centre[0] + second - (s->position[0][0] - s->origin[0]),
        engage_centre[1] + first - (s->position[0][1] - s->origin[1]),
        height,
    };
    load_stance(slot, player, origin);
}

void place_engage_positions()
{
    const GameRules *r = &current_rules;
    int n = fighter_count();
    if (n > fighters_built)
        n = fighters_built;
    if (r->engage_set == 1) {
        for (int i = 0; i < n; i++) {
            double origin[3] = {r->engage_pos[i][0], r->engage_pos[i][1], r->engage_pos[i][2]};
            load_stance(stance_of(i), i, origin);
            const int32_t *rot = r->engage_rot[i];
            if (rot[0] || rot[1] || rot[2])
                turn_player_euler(i, rot);
        }
        return;
    }
    double distance = r->engagedistance == 0 ? 100 : r->engagedistance;
    double space = r->engagespace < 0 ? 0 : r->engagespace;
    double height = r->engageheight == 0 ? -0.01 : r->engageheight / 100.0 - 0.01;
    int teams = match_state.team_count >= 2;
    int team_rows = teams && match_state.team_count == 2 && n % 2 == 0;
    // Fighters on a circle would stand inside each other closer than this.
    if (n > 2 && !team_rows && distance < 320)
        distance = 320;
    double d = distance / 200.0;
    for (int i = 0; i < n; i++) {
        double first, second;
        int rotation;
        if (n == 2 || team_rows) {
            first = i % 2 == 0 ? d : -d;
            rotation = i % 2 == 0 ? 0 : 180;
            double side = space / 200.0 + 1.5;
            second = n == 2 ? 0 : (i < 2 ? -side : side);
        } else {
            int a = i * (360 / (n > 0 ? n : 1));
            double rad = a * M_PI / 180.0;
            first = cos(rad) * d;
            second = -sin(rad) * d;
            rotation = a;
        }
        if (i < 2)
            rotation += r->engagerotation;
        put_at_engage_point(i, first, second, height);
        if (rotation % 360 != 0)
            rotate_player(i, rotation);
    }
}

void engage_players() { place_engage_positions(); }

// ---- resets -------------------------------------------------------------------------------

static void release_every_grip()
{
    for (int r = 0; r < fighters_built && r < MAX_PLAYERS; r++)
        release_all_grips(r);
}

static void relax_everyone()
{
    for (int r = 0; r < fighters_built && r < MAX_PLAYERS; r++)
        relax_all(r);
}

void new_game_reset(int keep)
{
    MatchState *m = &match_state;
    m->match_frame = 0;
    m->replay_frame = 0;
    m->game_over = 0;
    record_mode = 0;
    for (int i = 0; i < fighter_count(); i++) {
        players[i].broken_count = 0;
        players[i].break_sound = 0;
    }
    release_every_grip();
    // The bodies stand in their places before the hinges are attached: a
    // hinge takes its zero angle from the pose its bodies have then.
    if (!keep) {
        place_engage_positions();
        reset_players();
    }
    clear_collision_list();
    reset_blood_drops();
    reset_env_objects();
    for (int i = 0; i < MAX_PLAYERS; i++)
        clear_emote(&players[i]);
    relax_everyone();
    clear_result_lists();
    apply_body_forces();
    note_start_time();
    call(core_outward.reset_trails);
    reset_space_order();
}

static int fighter_slots_filled()
{
    int n = fighter_count();
    if (num_bouts < n)
        return 0;
    for (int i = 0; i < n && i < MAX_BOUTS; i++)
        if (bout_list[i].user_id < 0)
            return 0;
    return 1;
}

static void names_from_bout_list()
{
    int n = fighter_count();
    for (int i = 0; i < n && i < num_bouts && i < MAX_BOUTS; i++) {
        set_player_name2(i, bout_list[i].name);
        players[i].bout_id = bout_list[i].user_id;
    }
}

void start_game_with_rules(int type, int from_replay, GameRules *rules)
{
    if (!rules)
        return;
    MatchState *m = &match_state;

    // 1. players and teams
    m->match_frame = 0;
    apply_ghost_row(0);
    int n = rules->players;
    m->num_players = n >= 1 && n <= MAX_FIGHTERS ? n : 2;
    m->match_mode = rules->match_mode;
    m->team_count = rules->teams;
    for (int i = 0; i < MAX_FIGHTERS; i++)
        players[i].team = rules->team[i];
    clear_result_lists();

    // 2. match counters
    release_every_grip();
    if (contact_group)
        dJointGroupEmpty(contact_group);
    reset_blood_drops();
    m->game_over = 0;
    m->end_frame = -1;
    m->ready_bits = 0;
    m->turn = 0;
    record_mode = 0;
    m->turn_start_frame = 0;
    note_start_time();

    // 3. the world
    int changed = !same_rules(rules, &current_rules);
    if (changed || mod_load_failed || !world_fits_players())
        change_world(type, from_replay, rules, changed);
    n = fighter_count();
    for (int i = 0; i < n; i++)
        players[i].team = rules->team[i];
    apply_team_colours();

    // 4.
    reset_env_objects();
    game_type = type;
    m->turn_frame = 0;
    m->ghost_progress = 0;
    m->result_code = 0;
    m->result_extra = 0;

    // 5. the own fighter online
    own_player_index = -1;
    if (type == 1)
        own_player_index = own_bout_index();

    // 6. placement
    call(core_outward.clear_ground_impacts);
    for (int i = 0; i < MAX_PLAYERS; i++)
        clear_emote(&players[i]);
    call(core_outward.reset_trails);
    selected_player = -1;
    // The own fighter stays selected: online, no selection commits the turn.
    if (own_player_index >= 0)
        selected_player = own_player_index;
    m->game_paused = 1;
    place_engage_positions();
    reset_players();
    clear_collision_list();

    // 7. motors and forces
    relax_everyone();
    for (int i = 0; i < n && i < fighters_built; i++) {
        enable_player(i);
        players[i].no_input = 0;
    }
    apply_body_forces();

    reset_space_order();

    // 8. the replay buffer and the camera
    if (!from_replay) {
        clear_replay_from(0);
        replay_mode = REPLAY_LIVE;
        m->frames_recorded = 0;
        m->replay_frame = 0;
        set_replay_author("");
        set_fight_name("");
        if (own_player_index == 1) {
            if (core_outward.reset_camera)
                core_outward.reset_camera(-45.0);
            call(core_outward.on_turn_alert);
        } else if (core_outward.reset_camera) {
            core_outward.reset_camera(45.0);
        }
    }

    // 9. the ghost and the turn clock
    stop_ghost();
    turn_timeout = current_rules.turn_time_limit * 1000 + frame_tick;

    // 10.
    if (type == 1) {
        if (!from_replay) {
            if (fighter_slots_filled()) {
                names_from_bout_list();
            } else {
                for (int i = 1; i < n; i++)
                    set_player_name2(i, default_names[i]);
            }
            show_match_title();
            memset(&match_result, 0, sizeof match_result);
            if (core_outward.layout_game_buttons)
                core_outward.layout_game_buttons(own_player_index == -1);
            if (rules->batch_frames != 0)
                record_mode = own_player_index == -1 ? 2 : 1;
        }
    } else {
        selected_player = 0;
        call(core_outward.close_connection);
        // A local game opens its edit phase with the own fighter's ghost.
        if (!from_replay)
            start_ghost(0);
    }

    // 11.
    call(core_outward.load_fighter_looks);
}

// ---- bout list ------------------------------------------------------------------------------

static void fill_belt_text(BoutEntry *e)
{
    const char *belt = core_outward.belt_name ? core_outward.belt_name(e->values[1]) : nullptr;
    if (!belt)
        belt = "";
    if (e->values[4] < 1)
        snprintf(e->belt_text, sizeof e->belt_text, "%s BELT, UNRANKED", belt);
    else
        snprintf(e->belt_text, sizeof e->belt_text, "%s BELT, RANK %i", belt, e->values[4]);
}

void update_bout_list(int slot, int id, const int32_t *values, const char *name)
{
    if (slot < 0 || slot >= MAX_BOUTS)
        return;
    if (slot == 0) {
        memset(bout_staging, 0, sizeof bout_staging);
        bout_staging_count = 0;
        bout_own_seen = 0;
        if (id == -1) {
            memset(bout_list, 0, sizeof bout_list);
            num_bouts = 0;
            call(core_outward.clear_spectators);
            return;
        }
    }
    if (id != -1) {
        BoutEntry *e = &bout_staging[slot];
        bout_staging_count = slot + 1;
        e->user_id = id;
        n_strncpyz(e->name, name ? name : "", sizeof e->name);
        for (int k = 0; k < BOUT_VALUES; k++)
            e->values[k] = values ? values[k] : 0;
        fill_belt_text(e);
        if (id == own_id)
            bout_own_seen = 1;
        if (slot < fighter_count() && players[slot].bout_id == id)
            set_player_name2(slot, e->name);
        return;
    }

    // the end marker
    memcpy(bout_list, bout_staging, sizeof bout_list);
    num_bouts = bout_staging_count;
    int n = fighter_count();
    if (n < MAX_BOUTS && bout_list[n].name[0] == '\0')
        stop_ghost();
    if (own_bout_index() == -1)
        own_player_index = -1;
    set_own_queue_position();
    call(core_outward.sync_spectators);
    if (!match_title_showing) {
        names_from_bout_list();
        if (fighter_slots_filled())
            show_match_title();
    }
    call(core_outward.load_fighter_looks);
    if (num_bouts < match_state.num_players)
        new_game_reset(0);
}

// ---- match title ------------------------------------------------------------------------------

static void append(char *dest, size_t size, const char *text)
{
    size_t used = strnlen(dest, size);
    if (used + 1 >= size)
        return;
    snprintf(dest + used, size - used, "%s", text);
}

int compose_match_title(char lines[3][TITLE_LINE_SIZE])
{
    for (int k = 0; k < 3; k++)
        lines[k][0] = '\0';
    int n = fighter_count();
    if (n == 2) {
        n_strncpyz(lines[0], players[0].name, TITLE_LINE_SIZE);
        n_strncpyz(lines[1], "vs", TITLE_LINE_SIZE);
        n_strncpyz(lines[2], players[1].name, TITLE_LINE_SIZE);
        return 3;
    }
    char text[2 * TITLE_LINE_SIZE] = "";
    int teams = match_state.team_count >= 2;
    if (teams) {
        // The teams in team order (team 0 first), each team's players in
        // player order, teammates joined.
        int done[MAX_FIGHTERS] = {0, 0, 0, 0};
        int groups = 0;
        for (int pass = 0; pass < n; pass++) {
            // The unlisted player of the lowest team opens the next group.
            int first = -1;
            for (int i = 0; i < n; i++)
                if (!done[i] && (first < 0 || players[i].team < players[first].team))
                    first = i;
            if (first < 0)
                break;
            if (groups++)
                append(text, sizeof text, " vs. ");
            int members = 0;
            for (int k = first; k < n; k++) {
                if (done[k] || players[k].team != players[first].team)
                    continue;
                done[k] = 1;
                if (members++)
                    append(text, sizeof text, " & ");
                append(text, sizeof text, players[k].name);
            }
        }
    } else {
        for (int i = 0; i < n; i++) {
            if (i)
                append(text, sizeof text, " vs. ");
            append(text, sizeof text, players[i].name);
        }
    }
    // Split at the blank nearest the middle.
    int len = (int)strlen(text);
    int cut = -1;
    for (int i = 0; i < len; i++)
        if (text[i] == ' ' && (cut < 0 || abs(i - len / 2) < abs(cut - len / 2)))
            cut = i;
    if (cut < 0) {
        n_strncpyz(lines[0], text, TITLE_LINE_SIZE);
        return 1;
    }
    text[cut] = '\0';
    n_strncpyz(lines[0], text, TITLE_LINE_SIZE);
    n_strncpyz(lines[1], text + cut + 1, TITLE_LINE_SIZE);
    return 2;
}

void show_match_title()
{
    compose_match_title(match_title);
    if (core_outward.show_banner)
        core_outward.show_banner(TITLE_FONT, TITLE_SECONDS, match_title[0], match_title[1],
                                 match_title[2]);
    match_title_showing = 1;
}

// ---- results ------------------------------------------------------------------------------------

void set_game_values(int code, const int32_t *values, const float *scores)
{
    int n = fighter_count();
    for (int i = 0; i < 4; i++) {
        if (values)
            match_result.values[i] = values[i];
        if (scores)
            match_result.scores[i] = scores[i];
        else
            match_result.scores[i] = i < n ? players[i].score : 0.0f;
    }
    match_result.code = code;
}

static void fill_list(int32_t out[4], const int32_t *in, int n)
{
    for (int i = 0; i < 4; i++)
        out[i] = -1;
    if (!in)
        return;
    int k = 0;
    for (int i = 0; i < 4; i++) {
        int p = in[i];
        if (p < 0 || p >= n)   // padding, or no fighter of this match
            continue;
        int seen = 0;
        for (int j = 0; j < k; j++)
            seen |= out[j] == p;
        if (!seen)
            out[k++] = p;
    }
}

void set_game_result(int code, const int32_t *winners, const int32_t *losers)
{
    MatchState *m = &match_state;
    int n = fighter_count();
    fill_list(m->winners, winners, n);
    fill_list(m->losers, losers, n);
    m->result_code = code;
    if (replay_mode == REPLAY_LIVE && game_type == 0)
        for (int i = 0; i < 4; i++)
            if (m->winners[i] >= 0)
                m->wins[m->winners[i]] += 1;
    m->game_over = 1;
    m->end_frame = m->match_frame;
}

void seek_match_frame(int n)
{
    MatchState *m = &match_state;
    m->match_frame = n;
    int count = m->frames_recorded;
    if (count < 0)
        count = 0;
    if (count > REPLAY_FRAMES)
        count = REPLAY_FRAMES;
    int r = 0;
    while (r < count) {
        const ReplayFrame *f = get_replay_frame(r);
        if (!f || f->frame >= n)
            break;
        r++;
    }
    m->replay_frame = r;
    const ReplayFrame *snap = get_turn_start_snapshot();
    if (snap && snap->frame == n)
        for (int i = 0; i < fighter_count(); i++)
            apply_frame_to_player(i, snap);
}

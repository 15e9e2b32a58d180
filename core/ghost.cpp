// The ghost preview: starting, stopping and refreshing ghost runs, copying
// a fighter into its ghost, and the ghost clock.
#include "core/ghost.h"

#include <cmath>
#include <cstring>

#include "core/blood.h"
#include "core/motors.h"
#include "core/newgame.h"
#include "core/records.h"
#include "core/step.h"
#include "core/world.h"

const GhostMode ghost_modes[NUM_GHOST_MODES] = {
    {"", 1.0f, 100, 11, 1},
    {"long", 1.0f, 500, 3, 2},
    {"turnframe", 1.0f, -1, 4, 3},
    {"stats", 1.0f, 100, 27, 4},
    {"console", 1.0f, 100, 11, 5},
    {"slow", 0.5f, 100, 3, 0},
};

// ---- environment copies ----------------------------------------------------------------

static void set_env_bodies(EnvBody *const *list, int on)
{
    for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
        if (!list[i] || !list[i]->body)
            continue;
        if (on)
            dBodyEnable(list[i]->body);
        else
            dBodyDisable(list[i]->body);
    }
}

static void copy_body_state(dBodyID from, dBodyID to)
{
    const dReal *p = dBodyGetPosition(from);
    const dReal *q = dBodyGetQuaternion(from);
    const dReal *l = dBodyGetLinearVel(from);
    const dReal *a = dBodyGetAngularVel(from);
    const dReal *f = dBodyGetForce(from);
    const dReal *t = dBodyGetTorque(from);
    dQuaternion quat = {q[0], q[1], q[2], q[3]};
    dBodySetPosition(to, p[0], p[1], p[2]);
    dBodySetQuaternion(to, quat);
    dBodySetLinearVel(to, l[0], l[1], l[2]);
    dBodySetAngularVel(to, a[0], a[1], a[2]);
    dBodySetForce(to, f[0], f[1], f[2]);
    dBodySetTorque(to, t[0], t[1], t[2]);
}

static void copy_env_states()
{
    for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
        EnvBody *live = env_bodies[i], *ghost = ghost_env_bodies[i];
        if (!live || !ghost)
            continue;
        if (live->body && ghost->body) {
            copy_body_state(live->body, ghost->body);
        } else if (live->geom && ghost->geom) {
            const dReal *p = dGeomGetPosition(live->geom);
            dGeomSetPosition(ghost->geom, p[0], p[1], p[2]);
            dGeomSetRotation(ghost->geom, dGeomGetRotation(live->geom));
        }
    }
}

// ---- copying a fighter -------------------------------------------------------------------

static void copy_geom_size(dGeomID from, dGeomID to)
{
    if (!from || !to || dGeomGetClass(from) != dGeomGetClass(to))
        return;
    switch (dGeomGetClass(from)) {
    case dBoxClass: {
        dVector3 l;
        dGeomBoxGetLengths(from, l);
        dGeomBoxSetLengths(to, l[0], l[1], l[2]);
        break;
    }
    case dCapsuleClass: {
        dReal r, len;
        dGeomCapsuleGetParams(from, &r, &len);
        dGeomCapsuleSetParams(to, r, len);
        break;
    }
    case dSphereClass:
        dGeomSphereSetRadius(to, dGeomSphereGetRadius(from));
        break;
    default:
        break;
    }
}

void copy_fighter_to_ghost(int fighter, int ghost)
{
    if (!has_bodies(fighter) || !has_bodies(ghost) || fighter == ghost)
        return;
    PlayerState *f = &players[fighter];
    PlayerState *g = &players[ghost];
    g->grip_l = f->grip_req_l ? f->grip_req_l : f->grip_l;
    g->grip_r = f->grip_req_r ? f->grip_req_r : f->grip_r;
    g->grip_req_l = f->grip_req_l;
    g->grip_req_r = f->grip_req_r;
    copy_geom_size(f->geom[11], g->geom[11]);
    copy_geom_size(f->geom[12], g->geom[12]);
    g->injury = f->injury;
    g->score = f->score;
    g->broken_count = f->broken_count;
    memcpy(g->part_hit, f->part_hit, sizeof g->part_hit);

    // A ghost broken in an earlier run is whole again first. Its hinges are
    // re-attached in the pose the fighter was built in, as when a game
    // starts, so that their angles and stops mean what the fighter's do;
    // only then does it take the fighter's present state.
    int healing = 0;
    for (int j = 0; j < NUM_JOINTS; j++)
        healing |= g->joints[j].broken != JOINT_INTACT && g->joints[j].broken != f->joints[j].broken;
    if (healing) {
        int slot = f->stance_slot >= 0 && f->stance_slot < stance_count ? f->stance_slot : 0;
        load_stance(slot, ghost, nullptr);
        for (int j = 0; j < NUM_JOINTS; j++)
            if (g->joints[j].broken != JOINT_INTACT && g->joints[j].broken != f->joints[j].broken)
                restore_joint(ghost, j);
    }

    for (int b = 0; b < NUM_BODIES; b++)
        copy_body_state(f->body[b], g->body[b]);

    for (int j = 0; j < NUM_JOINTS; j++) {
        const JointRuntime *fj = &f->joints[j];
        JointRuntime *gj = &g->joints[j];
        gj->cut_pending = fj->cut_pending;
        if (fj->broken == JOINT_DISMEMBERED && gj->broken != JOINT_DISMEMBERED) {
            sever_joint_geoms(ghost, j);
        } else if (fj->broken == JOINT_FRACTURED && gj->broken != JOINT_FRACTURED) {
            dJointSetHingeParam(g->hinge[j], dParamLoStop, gj->break_lo);
            dJointSetHingeParam(g->hinge[j], dParamHiStop, gj->break_hi);
        }
        gj->broken = fj->broken;
        dJointSetHingeParam(g->hinge[j], dParamVel, dJointGetHingeParam(f->hinge[j], dParamVel));
        dJointSetHingeParam(g->hinge[j], dParamFMax,
                            dJointGetHingeParam(f->hinge[j], dParamFMax));
        // The command just given, which the fighter takes when the turn
        // starts, drives the ghost now.
        if (f->joint_state[j])
            set_joint_motor(ghost, j, f->joint_state[j]);
    }
}

// The ghost-side body a fighter's grip holds: the ghost of the gripped
// fighter's body, or the ghost-space copy of the object. *fixed is set when
// the hinge is to hold on to the world instead (a static object, or a
// fighter whose ghost is frozen in this run).
static dBodyID ghost_grip_target(int fighter, int hand, int *fixed)
{
    const PlayerState *f = &players[fighter];
    int n = fighter_count();
    *fixed = 0;
    int target = f->grip_target[hand];
    if (target >= 0) {
        EnvBody *copy = target < NUM_ENV_OBJECTS ? ghost_env_bodies[target] : nullptr;
        if (!copy)
            return nullptr;
        if (!copy->body)
            *fixed = 1;
        return copy->body;
    }
    dJointID src = f->grip_joint[hand];
    dBodyID held = dJointGetBody(src, 1);
    if (dJointGetBody(src, 0) != f->body[hand])
        held = dJointGetBody(src, 0);
    for (int p = 0; p < n; p++) {
        for (int b = 0; b < NUM_BODIES; b++) {
            if (!held || players[p].body[b] != held)
                continue;
            int g = p + n;
            if (!has_bodies(g))
                return nullptr;
            if (players[g].ghost_held) {
                *fixed = 1;
                return nullptr;
            }
            return players[g].body[b];
        }
    }
    *fixed = 1;   // held on to the world
    return nullptr;
}

static void copy_grips(int fighter)
{
    int n = fighter_count();
    int ghost = fighter + n;
    if (!has_bodies(fighter) || !has_bodies(ghost) || !physics_world)
        return;
    PlayerState *f = &players[fighter];
    PlayerState *g = &players[ghost];
    static const int hands[2] = {11, 12};
    for (int hand : hands) {
        dJointID src = f->grip_joint[hand];
        // A hand told to let go opens when the turn starts: its ghost, which
        // shows that turn, holds nothing.
        int request = hand == LEFT_HAND ? f->grip_req_l : f->grip_req_r;
        if (!src || (request != GRIP_NONE && request != GRIP_GRIP))
            continue;
        int fixed = 0;
        dBodyID target = ghost_grip_target(fighter, hand, &fixed);
        if (!target && !fixed)
            continue;
        dJointID h = dJointCreateHinge(physics_world, nullptr);
        dJointAttach(h, g->body[hand], target);
        dVector3 anchor, axis;
        dJointGetHingeAnchor(src, anchor);
        dJointGetHingeAxis(src, axis);
        dJointSetHingeAnchor(h, anchor[0], anchor[1], anchor[2]);
        dJointSetHingeAxis(h, axis[0], axis[1], axis[2]);
        dJointSetHingeParam(h, dParamFMax, dJointGetHingeParam(src, dParamFMax));
        dJointSetHingeParam(h, dParamVel, dJointGetHingeParam(src, dParamVel));
        dJointSetFeedback(h, &g->grip_feedback[hand]);
        g->grip_joint[hand] = h;
        g->grip_target[hand] = f->grip_target[hand];
    }
}

// ---- runs ------------------------------------------------------------------------------------

// Freezes everything live and every ghost, and readies the ghost space.
static void begin_run(int mode)
{
    MatchState *m = &match_state;
    for (int r = 0; r < fighters_built && r < MAX_PLAYERS; r++)
        disable_player(r);   // marks each record held
    disable_blood_drops();
    set_env_bodies(env_bodies, 0);
    for (int r = 0; r < fighters_built && r < MAX_PLAYERS; r++)
        if (players[r].is_ghost)
            release_all_grips(r);
    m->ghost_progress = 1.0f;
    set_env_bodies(ghost_env_bodies, 1);
    m->ghost_count = 0;
    m->ghost_mode = mode;
    copy_env_states();
}

static void release_ghost(int fighter)
{
    int ghost = fighter + fighter_count();
    if (!has_bodies(fighter) || !has_bodies(ghost))
        return;
    enable_player(ghost);
    copy_fighter_to_ghost(fighter, ghost);
}

void start_ghost(int player)
{
    begin_run(GHOST_ONE);
    int n = fighter_count();
    if (player >= 0 && player < n) {
        release_ghost(player);
        copy_grips(player);
    }
    unpause_game();
}

void start_ghost_all()
{
    begin_run(GHOST_ALL);
    int n = fighter_count();
    // Every ghost is free before the grips are copied, so fighter grips
    // find their partner's ghost.
    for (int i = 0; i < n; i++)
        release_ghost(i);
    for (int i = 0; i < n; i++)
        copy_grips(i);
    unpause_game();
}

void stop_ghost()
{
    MatchState *m = &match_state;
    if (m->ghost_mode == GHOST_OFF)
        return;
    m->ghost_mode = GHOST_OFF;
    m->ghost_count = 0;
    int n = fighter_count();
    for (int r = 0; r < 2 * n && r < fighters_built && r < MAX_PLAYERS; r++) {
        if (players[r].is_ghost)
            disable_player(r);
        else
            enable_player(r);
    }
    enable_live_blood_drops();
    set_env_bodies(env_bodies, 1);
    set_env_bodies(ghost_env_bodies, 0);
    pause_game();
}

void refresh_ghost()
{
    MatchState *m = &match_state;
    int mode = m->ghost_mode;
    if (mode != GHOST_OFF) {
        stop_ghost();
        if (mode == GHOST_ALL)
            start_ghost_all();
        else
            start_ghost(selected_player);
    }
    m->ghost_progress = 1.0f;
}

void set_ghost_run(int length, float speed)
{
    match_state.ghost_length = length;
    match_state.ghost_speed = speed;
    refresh_ghost();
}

void toggle_ghost_all()
{
    MatchState *m = &match_state;
    if (is_simulating() || m->game_over)
        return;
    if (replay_mode == REPLAY_LIVE) {
        if (m->ghost_mode == GHOST_ALL) {
            stop_ghost();
            ghost_setting = 0;
        } else {
            start_ghost_all();
            ghost_setting = GHOST_ALL;
        }
    }
    m->ghost_progress = 1.0f;
}

void toggle_ghost_own()
{
    MatchState *m = &match_state;
    if (m->game_over || replay_mode != REPLAY_LIVE)
        return;
    if (selected_player == -1) {
        selected_player = 0;
        start_ghost(0);
        ghost_setting = GHOST_ONE;
    } else if (m->ghost_mode == GHOST_ONE) {
        stop_ghost();
        ghost_setting = 0;
    } else {
        start_ghost(selected_player);
        ghost_setting = GHOST_ONE;
    }
}

int apply_ghost_row(int row)
{
    if (row < 0 || row >= NUM_GHOST_MODES)
        return 1;
    MatchState *m = &match_state;
    const GhostMode *g = &ghost_modes[row];
    m->ghost_speed = g->speed;
    m->ghost_flags = g->flags;
    m->ghost_length = (g->flags & GHOST_FLAG_TURN) ? m->turn_length : g->frames;
    m->ghost_row = row;
    return 0;
}

int select_ghost_mode(int row)
{
    MatchState *m = &match_state;
    int last = m->ghost_row;
    if (apply_ghost_row(row))
        return 1;
    if (!m->game_over && replay_mode == REPLAY_LIVE) {
        if (m->ghost_mode == GHOST_OFF)
            start_ghost(0);
        else if ((m->ghost_flags & GHOST_FLAG_TOGGLE) && row == last)
            stop_ghost();
        else
            refresh_ghost();
    }
    m->ghost_row = row;
    return 0;
}

int advance_ghost_clock()
{
    MatchState *m = &match_state;
    float before = m->ghost_progress;
    m->ghost_progress += m->ghost_speed;
    if (floorf(m->ghost_progress) == floorf(before))
        return 1;
    if (m->ghost_progress >= (float)m->ghost_length) {
        if (!(m->ghost_flags & GHOST_FLAG_LOOP))
            return 1;   // the run holds at its end
        ghost_restart_pending = 1;
    }
    m->ghost_count += 1;
    return 0;
}

// Joint motors, grips and stances of the fighters.
#include "core/motors.h"
#include "core/sane.h"

#include <cmath>
#include <cstdio>

#include "core/command.h"
#include "core/ghost.h"
#include "core/records.h"
#include "core/world.h"


static int valid_joint(int j) { return j >= 0 && j < NUM_JOINTS; }
static int is_hand(int b) { return b == LEFT_HAND || b == RIGHT_HAND; }
static int ghost_run() { return match_state.ghost_mode != GHOST_OFF; }

int hinge_motor_state(dJointID h)
{
    if (!h)
        return MOTOR_RELAX;
    double v = dJointGetHingeParam(h, dParamVel);
    if (v < 0)
        return MOTOR_FWD;
    if (v > 0)
        return MOTOR_BACK;
    return dJointGetHingeParam(h, dParamFMax) != 0 ? MOTOR_HOLD : MOTOR_RELAX;
}

int current_joint_state(int player, int joint)
{
    if (!has_bodies(player) || !valid_joint(joint))
        return MOTOR_NONE;
    int s = players[player].joint_state[joint];
    if (s >= MOTOR_FWD && s <= MOTOR_RELAX)
        return s;
    return hinge_motor_state(players[player].hinge[joint]);
}

int set_commanded_joint_state(int player, int joint, int state)
{
    if (!has_bodies(player) || !valid_joint(joint))
        return -1;
    if (state < MOTOR_NONE || state > MOTOR_RELAX)
        return -1;
    PlayerState *p = &players[player];
    if (p->joints[joint].broken == JOINT_FRACTURED)
        return -1;
    p->changes += 1;
    if (p->joint_state[joint] == state)
        return 1;
    p->joint_state[joint] = state;
    return 0;
}

// Cycling and toggling are edit-phase commands on intact joints.
static int may_edit(int player, int joint)
{
    if (!has_bodies(player) || !valid_joint(joint))
        return 0;
    if (is_simulating())
        return 0;
    return players[player].joints[joint].broken == JOINT_INTACT;
}

int cycle_joint_state(int backwards, int player, int joint)
{
    if (!may_edit(player, joint))
        return 1;
    int s = current_joint_state(player, joint);
    if (backwards)
        s = s <= MOTOR_FWD ? MOTOR_RELAX : s - 1;
    else
        s = s >= MOTOR_RELAX ? MOTOR_FWD : s + 1;
    return set_commanded_joint_state(player, joint, s) < 0 ? 1 : 0;
}

int toggle_joint_hold(int player, int joint)
{
    if (!may_edit(player, joint))
        return 1;
    int s = current_joint_state(player, joint) == MOTOR_HOLD ? MOTOR_RELAX : MOTOR_HOLD;
    return set_commanded_joint_state(player, joint, s) < 0 ? 1 : 0;
}

void set_all_joint_states(int player, int state)
{
    if (!has_bodies(player) || state < MOTOR_NONE || state > MOTOR_RELAX)
        return;
    PlayerState *p = &players[player];
    for (int j = 0; j < NUM_JOINTS; j++) {
        if (p->joints[j].broken == JOINT_FRACTURED)
            continue;
        p->changes += 1;
        p->joint_state[j] = state;
    }
}

void set_joint_states_from_text(int player, const char *text)
{
    if (!has_bodies(player) || !text)
        return;
    int pairs[NUM_JOINTS][2];
    int n = parse_int_pairs(text, NUM_JOINTS, pairs);
    for (int i = 0; i < n; i++)
        set_commanded_joint_state(player, pairs[i][0], pairs[i][1]);
}

int set_grips_from_text(int player, const char *text)
{
    if (player < 0 || player >= MAX_PLAYERS || !text)
        return 0;
    int l = 0, r = 0;
    int n = sscanf(text, "%i %i", &l, &r);
    if (n >= 1)
        players[player].grip_req_l = l;
    if (n >= 2)
        players[player].grip_req_r = r;
    return n < 0 ? 0 : n;
}

int set_joint_motor(int player, int joint, int state)
{
    if (!has_bodies(player) || !valid_joint(joint))
        return 1;
    dJointID h = players[player].hinge[joint];
    if (!h)
        return 1;
    double s = joint_strength(player, joint);
    double v = joint_velocity(player, joint);
    switch (state) {
    case MOTOR_FWD:
        dJointSetHingeParam(h, dParamVel, -v);
        dJointSetHingeParam(h, dParamFMax, s);
        break;
    case MOTOR_BACK:
        dJointSetHingeParam(h, dParamVel, v);
        dJointSetHingeParam(h, dParamFMax, s);
        break;
    case MOTOR_HOLD:
        dJointSetHingeParam(h, dParamVel, 0);
        dJointSetHingeParam(h, dParamFMax, hold_force(player, joint));
        break;
    case MOTOR_RELAX:
        relax_joint(player, joint);
        break;
    default:
        break;
    }
    return 0;
}

// ---- grips -------------------------------------------------------------------------

static int32_t *grip_request(PlayerState *p, int hand)
{
    return hand == LEFT_HAND ? &p->grip_req_l : &p->grip_req_r;
}

static int32_t *grip_current(PlayerState *p, int hand)
{
    return hand == LEFT_HAND ? &p->grip_l : &p->grip_r;
}

void set_hand_geom_size(int player, int body, int gripping)
{
    if (!has_bodies(player) || body < 0 || body >= NUM_BODIES)
        return;
    const BodyDef *table = player_body_table(player);
    dGeomID g = players[player].geom[body];
    if (!table || !g)
        return;
    const float *s = gripping ? table[body].alt_sides : table[body].sides;
    double a = world_size(s[0]), b = world_size(s[1]), c = world_size(s[2]);
    // The geom's own class decides: a call for another class would abort.
    switch (dGeomGetClass(g)) {
    case dBoxClass:
        dGeomBoxSetLengths(g, a, b, c);
        break;
    case dCapsuleClass:
        dGeomCapsuleSetParams(g, a, b);
        break;
    case dSphereClass:
        dGeomSphereSetRadius(g, a);
        break;
    default:
        break;
    }
}

int set_grip(int player, int hand, int value)
{
    if (!has_bodies(player) || !is_hand(hand))
        return 1;
    *grip_request(&players[player], hand) = value;
    set_hand_geom_size(player, hand, value == GRIP_GRIP);
    return 0;
}

int toggle_grip(int player, int hand)
{
    if (!has_bodies(player) || !is_hand(hand) || is_simulating())
        return 1;
    PlayerState *p = &players[player];
    int32_t *req = grip_request(p, hand);
    int next;
    if (*req == GRIP_GRIP) {
        next = GRIP_RELEASE;
    } else if (*req == GRIP_RELEASE) {
        next = GRIP_GRIP;
    } else {
        // No request: a gripping hand lets go, an open one closes.
        int cur = *grip_current(p, hand);
        if (cur == GRIP_GRIP)
            next = GRIP_RELEASE;
        else if (cur == GRIP_NONE || cur == GRIP_RELEASE)
            next = GRIP_GRIP;
        else
            next = GRIP_NONE;
    }
    *req = next;
    set_hand_geom_size(player, hand, next == GRIP_GRIP);
    refresh_ghost();
    return 0;
}

void update_hand_sizes()
{
    int n = match_state.num_players;
    for (int r = 0; r < n && r < MAX_FIGHTERS; r++) {
        if (!has_bodies(r))
            continue;
        PlayerState *p = &players[r];
        static const int hands[2] = {LEFT_HAND, RIGHT_HAND};
        for (int hand : hands) {
            int req = *grip_request(p, hand);
            int gripping = req == GRIP_GRIP || (req == GRIP_NONE && *grip_current(p, hand) == GRIP_GRIP);
            set_hand_geom_size(r, hand, gripping);
        }
    }
}

void release_grip(int player, int body)
{
    if (player < 0 || player >= MAX_PLAYERS || body < 0 || body >= NUM_BODIES)
        return;
    PlayerState *p = &players[player];
    if (p->grip_joint[body]) {
        dJointDestroy(p->grip_joint[body]);
        p->grip_joint[body] = nullptr;
    }
}

void release_all_grips(int player)
{
    for (int b = 0; b < NUM_BODIES; b++)
        release_grip(player, b);
}

int make_grip(int player, int other, int hand, int index, const dContactGeom *contact)
{
    if (!has_bodies(player) || !is_hand(hand) || !physics_world)
        return 0;
    PlayerState *p = &players[player];
    if (p->grip_joint[hand]) {
        // Contacts with the object already held are dropped.
        return other < 0 && p->grip_target[hand] == index;
    }
    dBodyID hand_body = p->body[hand];
    dBodyID target = nullptr;
    if (other < 0) {
        if (index < 0 || index >= NUM_ENV_OBJECTS)
            return 0;
        EnvBody *object = ghost_run() ? ghost_env_bodies[index] : env_bodies[index];
        if (!object || (object->t.flags & ENV_NO_GRIP))
            return 0;
        target = object->body;   // null for a static object: held to the world
    } else {
        if (!has_bodies(other) || index < 0 || index >= NUM_BODIES)
            return 0;
        const BodyDef *table = player_body_table(other);
        if (table && (table[index].flags & BODY_NO_GRIP))
            return 0;
        target = players[other].body[index];
        if (!target || target == hand_body)
            return 0;
    }
    dJointID h = dJointCreateHinge(physics_world, nullptr);
    p->grip_joint[hand] = h;
    dJointAttach(h, hand_body, target);
    if (other < 0) {
        p->grip_target[hand] = index;
        if (contact)
            dJointSetHingeAnchor(h, contact->pos[0], contact->pos[1], contact->pos[2]);
        const dReal *R = dBodyGetRotation(hand_body);
        dJointSetHingeAxis(h, R[0], R[1], R[2]);
    } else {
        p->grip_target[hand] = -1;
        const dReal *a = dBodyGetPosition(hand_body);
        const dReal *b = dBodyGetPosition(target);
        dJointSetHingeAnchor(h, (a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2);
    }
    dJointSetHingeParam(h, dParamFMax, 100);
    dJointSetFeedback(h, &p->grip_feedback[hand]);
    return other < 0 ? 1 : 0;
}

// ---- the frame's commands ----------------------------------------------------------

void apply_joint_states()
{
    for (int r = 0; r < fighters_built && r < MAX_PLAYERS; r++) {
        PlayerState *p = &players[r];
        if (p->no_input)
            continue;
        for (int j = 0; j < NUM_JOINTS; j++) {
            if (p->joint_state[j] == MOTOR_NONE)
                continue;
            set_joint_motor(r, j, p->joint_state[j]);
            p->joint_state[j] = MOTOR_NONE;
        }
        static const int hands[2] = {LEFT_HAND, RIGHT_HAND};
        for (int hand : hands) {
            int req = *grip_request(p, hand);
            if (req == GRIP_NONE)
                continue;
            *grip_current(p, hand) = req;
            if (req == GRIP_GRIP) {
                set_hand_geom_size(r, hand, 1);
            } else {
                set_hand_geom_size(r, hand, 0);
                release_grip(r, hand);
            }
        }
        p->grip_req_l = GRIP_NONE;
        p->grip_req_r = GRIP_NONE;
    }
}

// ---- fracture and stances -------------------------------------------------------------

void fracture_joint_limits(int player, int joint)
{
    if (!has_bodies(player) || !valid_joint(joint))
        return;
    PlayerState *p = &players[player];
    const JointRuntime &rt = p->joints[joint];
    if (p->hinge[joint]) {
        dJointSetHingeParam(p->hinge[joint], dParamLoStop, rt.break_lo);
        dJointSetHingeParam(p->hinge[joint], dParamHiStop, rt.break_hi);
    }
    relax_joint(player, joint);
    if (rt.broken != JOINT_FRACTURED) {
        p->joint_state[joint] = MOTOR_RELAX;
        p->changes += 1;
    }
}

int load_stance(int slot, int player, const double *origin)
{
    if (!has_bodies(player) || slot < 0 || slot >= stance_count || slot >= NUM_STANCES)
        return 1;
    const StanceSlot *s = &stance_slots[slot];
    if (!s->name[0])
        return 1;
    PlayerState *p = &players[player];
    for (int j = 0; j < NUM_JOINTS; j++) {
        if (!p->hinge[j])
            continue;
        dJointSetHingeParam(p->hinge[j], dParamFMax, 5);
        dJointSetHingeParam(p->hinge[j], dParamVel, 0);
    }
    double d[3] = {0, 0, 0};
    if (origin)
        for (int k = 0; k < 3; k++)
            d[k] = origin[k] - s->origin[k];
    for (int b = 0; b < NUM_BODIES; b++) {
        dBodyID body = p->body[b];
        if (!body)
            continue;
        dBodySetPosition(body, s->position[b][0] + d[0], s->position[b][1] + d[1],
                         s->position[b][2] + d[2]);
        dQuaternion q = {s->quaternion[b][0], s->quaternion[b][1], s->quaternion[b][2],
                         s->quaternion[b][3]};
        dBodySetQuaternion(body, q);
        dBodySetLinearVel(body, 0, 0, 0);
        dBodySetAngularVel(body, 0, 0, 0);
        dBodySetForce(body, 0, 0, 0);
        dBodySetTorque(body, 0, 0, 0);
    }
    p->stance_slot = slot;
    return 0;
}

// Joint breaks and bleeding.
#include "core/breaks.h"

#include <cmath>

#include "core/blood.h"
#include "core/motors.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/world.h"

enum { JOINT_NECK = 0, JOINT_R_WRIST = 10, JOINT_L_WRIST = 11 };
enum { SOUND_BREAK = 22, SOUND_NECK_FRACTURE = 47 };

static int valid_joint(int j) { return j >= 0 && j < NUM_JOINTS; }

// The threshold before rule scaling.
static double base_threshold(int p, int j, double angle)
{
    const PlayerState *ps = &players[p];
    double f = ps->part_hit[21 + j] != 0.0f ? 1.0 : 0.0;
    if (j == JOINT_NECK)
        return 100.0 * (1.0 - 0.75 * f);
    double t = 220.0;
    if (j == 6 || j == 9 || j == 16 || j == 17) {
        double h = ps->joints[j].hi_stop;
        double l = ps->joints[j].lo_stop;
        double range = h - l;
        double share = range != 0.0 ? (fmin(angle, h) - l) / range : 0.0;
        t = (float)(220.0 + 200.0 * share);
    }
    if (j == 18 || j == 19)
        return 350.0;
    return t * (1.0 - 0.75 * f);
}

static double scaled(double t, int rule)
{
    if (rule == 100 || rule == 0)
        return t;
    return t * rule * 0.01;
}

double joint_break_threshold(int player, int joint, double angle)
{
    if (player < 0 || player >= MAX_PLAYERS || !valid_joint(joint))
        return 0.0;
    return scaled(base_threshold(player, joint, angle), current_rules.dismemberthreshold);
}

double fracture_threshold(int player, int joint, double angle)
{
    if (player < 0 || player >= MAX_PLAYERS || !valid_joint(joint))
        return 0.0;
    return scaled(base_threshold(player, joint, angle), current_rules.fracturethreshold);
}

static double break_value(int j)
{
    if (j == JOINT_NECK)
        return 15000.0;
    if (j == JOINT_R_WRIST || j == JOINT_L_WRIST)
        return 2000.0;
    return 5000.0;
}

static void charge(PlayerState *ps, int j)
{
    if (match_state.game_over)
        return;
    double v = break_value(j);
    ps->injury += (float)v;
    ps->score -= (float)v;
}

void break_joint(int player, int joint, int kind)
{
    if (kind != JOINT_DISMEMBERED && kind != JOINT_FRACTURED)
        return;
    if (!has_bodies(player) || !valid_joint(joint))
        return;
    PlayerState *ps = &players[player];
    JointRuntime *rt = &ps->joints[joint];
    if (rt->broken == kind)   // the same break twice would charge twice
        return;
    rt->broken = kind;
    rt->replay_pending = kind;
    rt->bleed = 30.0f;
    rt->cut_pending = 0;
    ps->broken_count += 1;

    dJointID h = ps->hinge[joint];
    if (kind == JOINT_DISMEMBERED) {
        if (h) {
            dVector3 anchor;
            dJointGetHingeAnchor(h, anchor);
            dBodyID b = dJointGetBody(h, 0);
            if (!b)
                b = dJointGetBody(h, 1);
            double dir[3] = {0, 0, 0};
            if (b) {
                const dReal *r = dBodyGetRotation(b);
                dir[0] = -r[0];
                dir[1] = -r[1];
                dir[2] = -r[2];
            }
            spawn_blood_drop(player, 21 + joint, anchor[0], anchor[1], anchor[2], dir);
        }
        sever_joint_geoms(player, joint);
        charge(ps, joint);
        relax_all(player);
        ps->break_sound = SOUND_BREAK;
    } else {
        fracture_joint_limits(player, joint);
        charge(ps, joint);
        ps->break_sound = joint == JOINT_NECK ? SOUND_NECK_FRACTURE : SOUND_BREAK;
    }
}

void break_joint_dismember(int player, int joint) { break_joint(player, joint, JOINT_DISMEMBERED); }

void check_joint_breaks(int player)
{
    if (!has_bodies(player))
        return;
    PlayerState *ps = &players[player];
    int fracture = (current_rules.flags & RULE_FLAG_FRACTURE) != 0;
    int dismember = (current_rules.flags & RULE_FLAG_DISMEMBER) != 0;
    for (int j = 0; j < NUM_JOINTS; j++) {
        JointRuntime *rt = &ps->joints[j];
        if (rt->broken != JOINT_INTACT)
            continue;
        if (rt->cut_pending != 0) {
            int k = rt->cut_pending;
            rt->cut_pending = 0;
            break_joint(player, j, k);
            continue;
        }
        if (!fracture && !dismember)
            continue;
        dJointID h = ps->hinge[j];
        if (!h)
            continue;
        double angle = dJointGetHingeAngle(h);
        double stress[3];
        get_joint_stress(player, j, stress);
        int at_stop = angle <= rt->lo_stop || angle >= rt->hi_stop;
        double dt = joint_break_threshold(player, j, angle);
        double ft = fracture_threshold(player, j, angle);
        int kind = JOINT_INTACT;
        for (int k = 0; k < 3 && kind == JOINT_INTACT; k++) {
            if (builtin_joint_table[j].axis[k] != 0.0f && !at_stop)
                continue;
            if (dismember && stress[k] > dt)
                kind = JOINT_DISMEMBERED;
            else if (fracture && stress[k] > ft)
                kind = JOINT_FRACTURED;
        }
        if (kind != JOINT_INTACT)
            break_joint(player, j, kind);
    }
}

void apply_timed_breaks(int frame)
{
    int n = match_state.num_players;
    if (n > MAX_FIGHTERS)
        n = MAX_FIGHTERS;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < NUM_JOINTS; j++) {
            TimedBreak *t = &players[i].timed_breaks[j];
            if (t->kind != JOINT_DISMEMBERED && t->kind != JOINT_FRACTURED)
                continue;
            if (players[i].joints[j].broken != JOINT_INTACT || t->frame > frame)
                continue;
            int kind = t->kind;
            t->kind = 0;
            t->frame = 0;
            break_joint(i, j, kind);
        }
}

void bleed_joint(int player, int joint)
{
    if (!has_bodies(player) || !valid_joint(joint))
        return;
    PlayerState *ps = &players[player];
    JointRuntime *rt = &ps->joints[joint];
    if (rt->broken != JOINT_DISMEMBERED)
        return;
    dGeomID g = ps->joint_geom[joint];
    double pos[3], rot[12];
    if (geom_world_pose(g, pos, rot) != 0)
        return;
    double row[3] = {rot[0], rot[1], rot[2]};
    const double *u = vec3_normalised(row);
    double d[3] = {u[0], u[1], u[2]};
    dBodyID b = dGeomGetBody(g);
    double speed = 0.0;
    if (b) {
        const dReal *v = dBodyGetLinearVel(b);
        speed = vec3_length3(v[0], v[1], v[2]);
    }
    double change = fabs(speed - rt->last_speed);
    rt->last_speed = speed;
    if (change == 0.0) {
        rt->bleed -= 1.0f;
        return;
    }
    double amount;
    if (change < 20.0) {
        amount = 0.05 * change;
    } else {
        amount = 1.0;
        change = 20.0;
    }
    int kind = 21 + joint;
    double a = amount + (1.0 - d[2]);
    if (a >= 0.0)
        spawn_blood_drop_sized(player, kind, pos, d, a, 4.0);
    double r = change - 10.0;
    if (r > 0.0) {
        double s = 1.0 - d[2] + 0.05 * r;
        if (s >= 0.0)
            spawn_blood_drop_sized(player, kind, pos, d, s, 5.0);
    }
    rt->bleed -= 1.0f;
}

void bleed_player(int player)
{
    if (!has_bodies(player))
        return;
    for (int j = 0; j < NUM_JOINTS; j++)
        if (players[player].joints[j].broken == JOINT_DISMEMBERED)
            bleed_joint(player, j);
}

// Turning the frame's recorded contacts into damage, points, ground-touch
// disqualification, ring-outs and blood.
#include "core/damage.h"

#include <cmath>

#include "core/blood.h"
#include "core/collide.h"
#include "core/outward.h"
#include "core/ground_impacts.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/world.h"

double damage_factor(int part)
{
    switch (part) {
    case 0:
        return 100;
    case 1:
        return 70;
    case 2:
    case 3:
        return 50;
    case 4:
        return 90;
    case 5:
    case 8:
    case 13:
    case 14:
        return 15;
    case 6:
    case 7:
    case 9:
    case 10:
    case 15:
    case 16:
    case 17:
    case 18:
        return 20;
    case 11:
    case 12:
    case 19:
    case 20:
        return 0;
    case 27:   // elbows and knees
    case 30:
    case 37:
    case 38:
        return 0;
    case 39:   // ankles
    case 40:
        return 10;
    default:
        return part >= NUM_BODIES && part < NUM_PARTS ? 40 : 0;
    }
}

int is_outside_dojo(double x, double y)
{
    double size = current_rules.dojosize;
    if (size == 0)
        return 0;
    double dx = x - 1.0, dy = y + 0.1;
    switch (current_rules.dojotype) {
    case 0:
        return fabs(dx) > size * 0.005 || fabs(dy) > size * 0.005;
    case 1:
        return sqrt(dx * dx + dy * dy) > size * 0.01;
    default:
        return 0;
    }
}

int part_may_touch_ground(int part)
{
    if (part == 11 || part == 12 || part == 19 || part == 20)
        return 1;
    if (current_rules.sumo == 1)
        return part == 31 || part == 32 || part == 39 || part == 40;
    return 0;
}

static void forbidden_touch(int p, const double pos[3])
{
    PlayerState *pl = &players[p];
    MatchState *m = &match_state;
    record_ground_impact(p, pos);
    if (core_outward.mark_ground_impact)
        core_outward.mark_ground_impact(pos);
    if (pl->out)
        return;
    if (pl->touch_first && m->match_frame - pl->touch_first <= current_rules.dqtimeout) {
        pl->touch_time = m->match_frame - pl->touch_first;
    } else {
        pl->touch_time = 0;
        pl->touch_first = m->match_frame;
    }
    pl->touch_last = m->match_frame;
    if (game_type == 0 && pl->touch_time >= current_rules.dqtimeout) {
        pl->out = 1;
        pl->touch_first = pl->touch_last = pl->touch_time = 0;
        if (p < MAX_FIGHTERS)
            for (int k = 0; k < 3; k++)
                m->dq_position[p][k] = pos[k];
        pl->injury += 3000;
        pl->score -= 3000;
    }
}

double collision_damage(int p, int other, int part, int ground, double impact, double speed,
                        const double position[3])
{
    if (p < 0 || p >= MAX_PLAYERS || p >= fighters_built || !position)
        return 0;
    MatchState *m = &match_state;
    PlayerState *pl = &players[p];
    if (ground && !m->game_over && m->ghost_mode == GHOST_OFF) {
        int forbidden = 0;
        int outside = current_rules.dojosize != 0 && is_outside_dojo(position[0], position[1]);
        if (part_may_touch_ground(part))
            forbidden = outside;
        else if ((current_rules.flags & RULE_FLAG_DQ) && ground_forbidden(p, part))
            forbidden = 1;
        else
            forbidden = outside;
        if (forbidden)
            forbidden_touch(p, position);
    }
    if (impact < 1 || speed < 1)
        return 0;
    if (part >= 0 && part < NUM_PARTS)
        pl->part_hit[part] = 1.0f;
    if (m->game_over)
        return 0;
    if (game_type == 1) {
        if (m->match_frame < current_rules.opening_frames)
            return 0;
    } else if (game_type != 0) {
        return 0;
    }
    double damage = impact * damage_factor(part);
    pl->injury += (float)damage;
    if (other < 0 || other >= MAX_PLAYERS || other == p)
        pl->score -= (float)damage;
    else
        players[other].score += (float)damage;
    if (part == 0)
        pl->head_force += (float)impact;
    return damage;
}

// Blood comes only from a side whose player is a fighter of the match.
static int bleeds(int player)
{
    return player >= 0 && player < match_state.num_players && player < MAX_FIGHTERS;
}

void apply_collision_damage()
{
    int n = collision_count;
    if (n > MAX_COLLISIONS)
        n = MAX_COLLISIONS;
    for (int i = 0; i < n; i++) {
        const CollisionRecord *c = &collision_list[i];
        const dReal *f = c->feedback.f1;
        double impact = f[0] * f[0] + f[1] * f[1] + f[2] * f[2];
        int ground_a = c->player_b == -1 && c->other_class == GEOM_GROUND;
        int ground_b = c->player_a == -1 && c->other_class == GEOM_GROUND;
        double damage_a = collision_damage(c->player_a, c->player_b, c->part_a, ground_a, impact,
                                           c->closing_speed, c->position);
        double damage_b = collision_damage(c->player_b, c->player_a, c->part_b, ground_b, impact,
                                           c->closing_speed, c->position);
        if (ground_a || ground_b || !(impact > 0.1))
            continue;
        int player = damage_a > damage_b ? c->player_a : c->player_b;
        int part = damage_a > damage_b ? c->part_a : c->part_b;
        if (bleeds(player))
            spawn_blood_drop(player, part, c->position[0], c->position[1], c->position[2],
                             c->velocity_cross);
    }
    clear_collision_list();
}

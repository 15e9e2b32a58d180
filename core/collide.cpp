// The collision pass. The near callback gives every pair of touching geoms
// its surface and contact joints, starts cuts and grips, and records the
// contacts that the damage code turns into damage and points.
#include "core/collide.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/damage.h"
#include "core/motors.h"
#include "core/blood.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/sane.h"
#include "core/world.h"

CollisionRecord collision_list[MAX_COLLISIONS];
int32_t collision_count;
int32_t collisions_dropped;
int32_t frame_contact_counters[FRAME_CONTACT_COUNTERS];

void clear_collision_list()
{
    collision_count = 0;
    collisions_dropped = 0;
}

static const GeomInfo *info_of(dGeomID g)
{
    return static_cast<const GeomInfo *>(dGeomGetData(g));
}

static int geom_class(const GeomInfo *info)
{
    return info ? info->geom_class : -1;
}

static int is_hand(int body) { return body == 11 || body == 12; }

// A hand that already grips an environment object makes no contact with it.
static int grips_object(const GeomInfo *hand, dBodyID hand_body, const GeomInfo *object,
                        dBodyID object_body)
{
    if (!hand || !object || !hand_body || object_body)
        return 0;
    if (hand->player < 0 || hand->player >= MAX_PLAYERS || object->geom_class != GEOM_ENV)
        return 0;
    if (!is_hand(hand->body))
        return 0;
    const PlayerState &p = players[hand->player];
    return p.grip_joint[hand->body] && p.grip_target[hand->body] == object->body;
}

static void set_surface(dSurfaceParameters *s, const GeomInfo *ia, const GeomInfo *ib,
                        dBodyID ba, dBodyID bb)
{
    int ca = geom_class(ia), cb = geom_class(ib);
    s->mode = dContactBounce | dContactSoftCFM;
    if (ba && bb && ca != GEOM_ENV && cb != GEOM_ENV) {
        s->mu = 0.3;
        s->bounce = 0.1;
        s->bounce_vel = 0.05;
        s->soft_cfm = 0.1;
        return;
    }
    s->mu = current_world.ground_mu;
    if (ca == GEOM_DROP || cb == GEOM_DROP) {
        s->bounce = 3.0;
        s->bounce_vel = 0.01;
    } else {
        s->bounce = 0.1;
        s->bounce_vel = 0.3;
    }
    if (ca == GEOM_ENV || cb == GEOM_ENV)
        s->soft_cfm = 0.001;
    else if (ca == 5 || cb == 5)
        s->soft_cfm = 1.0;
    else
        s->soft_cfm = 0.1;
}

static int is_fighter_geom(const GeomInfo *g)
{
    return g && g->player >= 0 && g->player < MAX_PLAYERS &&
           (g->geom_class == GEOM_BODY || g->geom_class == GEOM_JOINT);
}

static int body_flags(const GeomInfo *g)
{
    const BodyDef *t = player_body_table(g->player);
    if (!t || g->body < 0 || g->body >= NUM_BODIES)
        return 0;
    return t[g->body].flags;
}

static int env_flags(const GeomInfo *g)
{
    if (g->body < 0 || g->body >= NUM_ENV_OBJECTS)
        return 0;
    return current_world.objects[g->body].flags;
}

// Marks the victim's joint for cutting when cutter cuts it; 1 when marked.
static int try_cut(const GeomInfo *cutter, const GeomInfo *victim)
{
    if (!is_fighter_geom(victim) || victim->joint < 0 || victim->joint >= NUM_JOINTS)
        return 0;
    int cuts;
    if (cutter->geom_class == GEOM_ENV)
        cuts = env_flags(cutter) & (ENV_CUTTER | ENV_CUTTER2);
    else if (is_fighter_geom(cutter) && cutter->part >= 0 && cutter->part < NUM_BODIES)
        cuts = body_flags(cutter) & (BODY_CUTTER | BODY_CUTTER2);
    else
        return 0;
    if (!cuts || (body_flags(victim) & BODY_CUTTER))
        return 0;
    players[victim->player].joints[victim->joint].cut_pending = 1;
    return 1;
}

// A hand of geom h (the hand body or its wrist sphere) that is set to grip.
static int grips_with(const GeomInfo *h, int hand)
{
    if (!is_fighter_geom(h) || h->body != hand)
        return 0;
    const PlayerState &p = players[h->player];
    return (hand == 12 ? p.grip_l : p.grip_r) == GRIP_GRIP;
}

// The grip step of a contact; 1 when the contact must not be recorded.
static int grip_contact(const GeomInfo *ia, const GeomInfo *ib, const dContactGeom *c)
{
    static const int hands[2] = {12, 11};
    for (int hand : hands) {
        if (grips_with(ia, hand))
            return make_grip(ia->player, ib->player, hand, ib->body, c);
        if (grips_with(ib, hand))
            return make_grip(ib->player, ia->player, hand, ia->body, c);
    }
    return 0;
}

static double body_speed(dBodyID b)
{
    if (!b)
        return 0;
    const dReal *v = dBodyGetLinearVel(b);
    return sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// Whether a contact of the pair goes into the collision list (steps e-g).
static int worth_recording(const GeomInfo *ia, const GeomInfo *ib, dBodyID ba, dBodyID bb,
                           const dContactGeom *c)
{
    int fa = is_fighter_geom(ia), fb = is_fighter_geom(ib);
    if (fa && fb) {
        int self = ia->player == ib->player ||
                   (match_state.team_count >= 2 && players[ia->player].team == players[ib->player].team);
        int kind = self ? 0 : 2;
        return current_rules.damage != kind;
    }
    if (!fa && !fb)
        return 0;   // nothing of a fighter: no damage to give
    const GeomInfo *fighter = fa ? ia : ib;
    const GeomInfo *rest = fa ? ib : ia;
    if (rest->geom_class == GEOM_ENV)
        return 1;
    if (rest->geom_class != GEOM_GROUND)
        return 0;
    players[fighter->player].ground_speed += (float)body_speed(fa ? ba : bb);
    int dojo = current_rules.dojosize != 0;
    if (dojo && is_outside_dojo(c->pos[0], c->pos[1]))
        return 1;
    if (!dojo || (current_rules.flags & RULE_FLAG_DQ))
        return !part_may_touch_ground(fighter->part);
    return 0;   // inside the dojo without disqualification: a plain contact
}

static void record_contact(dJointID joint, const GeomInfo *ia, const GeomInfo *ib, dBodyID ba,
                           dBodyID bb, const dContactGeom *c)
{
    CollisionRecord *r = &collision_list[collision_count++];
    memset(r, 0, sizeof *r);
    dJointSetFeedback(joint, &r->feedback);
    r->player_a = ia->player;
    r->player_b = ib->player;
    r->part_a = ia->part;
    r->part_b = ib->part;
    for (int k = 0; k < 3; k++)
        r->position[k] = c->pos[k];
    if (ia->player == -1)
        r->other_class = (uint8_t)ia->geom_class;
    else if (ib->player == -1)
        r->other_class = (uint8_t)ib->geom_class;
    if (ba && bb && match_state.ghost_mode == GHOST_OFF) {
        const dReal *va = dBodyGetLinearVel(ba);
        const dReal *vb = dBodyGetLinearVel(bb);
        r->velocity_cross[0] = va[1] * vb[2] - va[2] * vb[1];
        r->velocity_cross[1] = va[2] * vb[0] - va[0] * vb[2];
        r->velocity_cross[2] = va[0] * vb[1] - va[1] * vb[0];
        double d[3] = {va[0] - vb[0], va[1] - vb[1], va[2] - vb[2]};
        double speed = sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        r->closing_speed = speed < 5 ? 0 : speed;
    }
}

void near_callback(void *data, dGeomID a, dGeomID b)
{
    (void)data;
    dBodyID ba = dGeomGetBody(a);
    dBodyID bb = dGeomGetBody(b);
    if (ba && bb && dAreConnectedExcluding(ba, bb, dJointTypeContact))
        return;
    const GeomInfo *ia = info_of(a);
    const GeomInfo *ib = info_of(b);
    if (grips_object(ia, ba, ib, bb) || grips_object(ib, bb, ia, ba))
        return;

    dContact contact[MAX_CONTACTS];
    memset(contact, 0, sizeof contact);
    for (int i = 0; i < MAX_CONTACTS; i++)
        set_surface(&contact[i].surface, ia, ib, ba, bb);
    int n = dCollide(a, b, MAX_CONTACTS, &contact[0].geom, sizeof(dContact));
    if (n <= 0)
        return;

    if (geom_class(ia) == GEOM_DROP || geom_class(ib) == GEOM_DROP) {
        dJointID c = dJointCreateContact(physics_world, contact_group, &contact[0]);
        dJointAttach(c, ba, bb);
        const GeomInfo *drop = geom_class(ia) == GEOM_DROP ? ia : ib;
        blood_hit(drop->drop, body_speed(drop == ia ? ba : bb));
        return;
    }

    // Geoms without user data (none should collide) only get contacts.
    int known = ia && ib;
    int ca = geom_class(ia), cb = geom_class(ib);
    int touchy = known && (ba || ca == GEOM_ENV) && (bb || cb == GEOM_ENV) &&
                 !match_state.game_paused && ca != GEOM_GROUND && cb != GEOM_GROUND;
    for (int i = 0; i < n; i++) {
        dJointID c = dJointCreateContact(physics_world, contact_group, &contact[i]);
        dJointAttach(c, ba, bb);
        if (!known)
            continue;
        int dropped = 0;
        if (touchy) {
            if ((current_rules.flags & RULE_FLAG_DISMEMBER) && ia->player != ib->player) {
                if (!try_cut(ia, ib))
                    try_cut(ib, ia);
            }
            dropped = grip_contact(ia, ib, &contact[i].geom);
        }
        if (dropped || match_state.ghost_mode != GHOST_OFF)
            continue;
        if (collision_count >= MAX_COLLISIONS) {
            collisions_dropped += 1;
            continue;
        }
        if (!worth_recording(ia, ib, ba, bb, &contact[i].geom))
            continue;
        record_contact(c, ia, ib, ba, bb, &contact[i].geom);
    }
}

// A sound body state: every value finite, the position within the world's
// range and the speeds within their bound. (A comparison with a NaN is
// false, so each test also refuses NaN; the rotation only has to be finite.)
static int body_state_sound(dBodyID b)
{
    const dReal *pos = dBodyGetPosition(b), *q = dBodyGetQuaternion(b);
    const dReal *lin = dBodyGetLinearVel(b), *ang = dBodyGetAngularVel(b);
    const double P = SANE_POSITION, S = SANE_SPEED, F = DBL_MAX;
    return (std::fabs(pos[0]) <= P) & (std::fabs(pos[1]) <= P) & (std::fabs(pos[2]) <= P) &
           (std::fabs(lin[0]) <= S) & (std::fabs(lin[1]) <= S) & (std::fabs(lin[2]) <= S) &
           (std::fabs(ang[0]) <= S) & (std::fabs(ang[1]) <= S) & (std::fabs(ang[2]) <= S) &
           (std::fabs(q[0]) <= F) & (std::fabs(q[1]) <= F) & (std::fabs(q[2]) <= F) &
           (std::fabs(q[3]) <= F);
}

// Puts a body the step has driven out of the world (a NaN from a
// degenerate contact, a speed past every bound) back inside it, at rest:
// each coordinate held to the world's range (NaN at 0), a rotation that is
// not finite made the identity, no speed and no force.
static void settle_body(dBodyID b)
{
    const dReal *pos = dBodyGetPosition(b), *q = dBodyGetQuaternion(b);
    dReal p[3];
    for (int k = 0; k < 3; k++)
        p[k] = std::isnan(pos[k]) ? 0 : std::fmax(-SANE_POSITION, std::fmin(SANE_POSITION, pos[k]));
    int rotation_sound = 1;
    for (int k = 0; k < 4; k++)
        rotation_sound = rotation_sound && std::isfinite(q[k]);
    dBodySetPosition(b, p[0], p[1], p[2]);
    if (!rotation_sound) {
        dQuaternion identity = {1, 0, 0, 0};
        dBodySetQuaternion(b, identity);
    }
    dBodySetLinearVel(b, 0, 0, 0);
    dBodySetAngularVel(b, 0, 0, 0);
    dBodySetForce(b, 0, 0, 0);
    dBodySetTorque(b, 0, 0, 0);
}

// The largest bound of a box the hash space can place: its cells must still
// count in an int.
static const double AABB_RANGE = 1e6;

// A box the hash space can place: no NaN, and every finite bound within
// AABB_RANGE (an infinite bound, as a plane has, goes to the space's list
// of big boxes).
static int aabb_sound(dGeomID g)
{
    dReal a[6];
    dGeomGetAABB(g, a);
    // The common case, a box well inside the range, in six comparisons.
    if ((std::fabs(a[0]) <= AABB_RANGE) & (std::fabs(a[1]) <= AABB_RANGE) &
        (std::fabs(a[2]) <= AABB_RANGE) & (std::fabs(a[3]) <= AABB_RANGE) &
        (std::fabs(a[4]) <= AABB_RANGE) & (std::fabs(a[5]) <= AABB_RANGE))
        return 1;
    for (int k = 0; k < 6; k++)
        if (std::isnan(a[k]) || (std::isfinite(a[k]) && std::fabs(a[k]) > AABB_RANGE))
            return 0;
    return 1;
}

static void report_settled()
{
    // (A body torn from its joints may blow up again frame after frame:
    // said once.)
    static int reported = 0;
    if (!reported)
        fprintf(stderr, "physics: a body left the world's range and was put at rest\n");
    reported = 1;
}

int settle_unsound_bodies(dSpaceID space)
{
    if (!space)
        return 0;
    int settled = 0;
    int n = dSpaceGetNumGeoms(space);
    for (int i = 0; i < n; i++) {
        dGeomID g = dSpaceGetGeom(space, i);
        if (dGeomIsSpace(g)) {
            settled += settle_unsound_bodies((dSpaceID)g);
            continue;
        }
        // Only what the step moves can be blown up by it: a disabled body
        // keeps the state it was given (and what sets one is checked where
        // it enters).
        dBodyID b = dGeomGetBody(g);
        if (b && dBodyIsEnabled(b) && !body_state_sound(b)) {
            report_settled();
            settle_body(b);
            settled++;
        }
        // The space places only enabled shapes. One whose box is out of
        // range is put at rest with its body when a disabled body carried
        // it there; what still has a box the space can't place (a shape
        // without a body, or one whose own place or size is out of range)
        // takes no part in collisions from now on.
        if (!dGeomIsEnabled(g) || aabb_sound(g))
            continue;
        if (b && !dBodyIsEnabled(b) && !body_state_sound(b)) {
            report_settled();
            settle_body(b);
            settled++;
            if (aabb_sound(g))
                continue;
        }
        fprintf(stderr, "physics: a shape of class %d left the world's range and was taken out\n",
                dGeomGetClass(g));
        dGeomDisable(g);
        settled++;
    }
    return settled;
}

void collide_space(dSpaceID space)
{
    if (!space)
        return;
    // The space can't place a geom whose box is not finite (the hash
    // space aborts on one), so what the last step blew up is settled first.
    settle_unsound_bodies(space);
    dSpaceCollide(space, nullptr, near_callback);
}

// The collision pass. The near callback gives every pair of touching geoms
// its surface and contact joints; cuts, grips and the damage records are
// added on top of this by the damage code.
#include "core/collide.h"

#include <cmath>
#include <cstring>

#include "core/pending.h"
#include "core/records.h"
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
        dBodyID drop_body = drop == ia ? ba : bb;
        double speed = 0.0;
        if (drop_body) {
            const dReal *v = dBodyGetLinearVel(drop_body);
            speed = sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        }
        blood_hit(drop->drop, speed);
        return;
    }
    for (int i = 0; i < n; i++) {
        dJointID c = dJointCreateContact(physics_world, contact_group, &contact[i]);
        dJointAttach(c, ba, bb);
    }
}

void collide_space(dSpaceID space)
{
    if (space)
        dSpaceCollide(space, nullptr, near_callback);
}

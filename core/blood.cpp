// The blood-drop ring and the core's small vector helpers.
#include "core/blood.h"

#include <cmath>
#include <cstring>

#include "core/outward.h"
#include "core/records.h"

int32_t blood_ring_index;
double blood_amount;
int32_t blood_hit_count;

static int valid_drop(int i) { return i >= 0 && i < NUM_BLOOD_DROPS; }

void set_default_blood_colour(const float colour[3])
{
    if (!colour)
        return;
    for (int k = 0; k < 3; k++)
        default_blood_colour[k] = colour[k];
}

void set_blood_colour_mode(const void *mode)
{
    for (int i = 0; i < NUM_BLOOD_DROPS; i++)
        blood_drops[i].colour_source = mode;
}

BloodDrop *get_blood_drop(int i) { return valid_drop(i) ? &blood_drops[i] : nullptr; }

double get_blood_amount() { return blood_amount; }

void reset_blood_amount(double value)
{
    blood_amount = value;
    blood_hit_count = 0;
}

void blood_hit(int drop, double speed)
{
    if (!valid_drop(drop))
        return;
    blood_hit_count += 1;
    blood_amount += (double)blood_drops[drop].size * speed * 100.0;
    if (core_outward.on_blood_hit)
        core_outward.on_blood_hit(drop, speed);
}

// Takes the next ring slot; every one of the 256 slots is used in turn.
static BloodDrop *take_slot(int *index)
{
    if (!physics_world)
        return nullptr;
    if (blood_ring_index < 0 || blood_ring_index >= NUM_BLOOD_DROPS)
        blood_ring_index = 0;
    int i = blood_ring_index;
    BloodDrop *d = &blood_drops[i];
    if (!d->body || !d->geom)
        return nullptr;
    blood_ring_index = (i + 1) % NUM_BLOOD_DROPS;
    *index = i;
    return d;
}

static void set_owner(BloodDrop *d, int player, int kind)
{
    d->owner = player;
    d->kind = kind;
    int ok = player >= 0 && player < MAX_PLAYERS;
    d->colour_source = ok ? &players[player] : nullptr;
    float rgb[3];
    if (ok && core_outward.player_blood_colour && core_outward.player_blood_colour(player, rgb) == 0)
        memcpy(d->colour, rgb, sizeof rgb);
    else
        memcpy(d->colour, default_blood_colour, sizeof d->colour);
}

static void switch_drop(BloodDrop *d, int on)
{
    if (on) {
        dBodyEnable(d->body);
        dGeomEnable(d->geom);
    } else {
        dBodyDisable(d->body);
        dGeomDisable(d->geom);
    }
}

int spawn_blood_drop(int player, int kind, double x, double y, double z, const double velocity[3])
{
    (void)velocity;   // a plain drop starts at rest
    int i;
    BloodDrop *d = take_slot(&i);
    if (!d)
        return -1;
    d->life = BLOOD_DROP_LIFE;
    set_owner(d, player, kind);
    switch_drop(d, 1);
    dBodySetPosition(d->body, x, y, z);
    dBodySetAngularVel(d->body, 0, 0, 0);
    dBodySetLinearVel(d->body, 0, 0, 0);
    return i;
}

int spawn_blood_drop_sized(int player, int kind, const double position[3],
                           const double direction[3], double speed, double size)
{
    int i;
    BloodDrop *d = take_slot(&i);
    if (!d)
        return -1;
    double s = size * (double)d->size_factor;
    set_owner(d, player, kind);
    if (!(s >= 0.01)) {   // also catches NaN
        d->size = 0.01f;
        d->life = 0;
        switch_drop(d, 0);
        return i;
    }
    if (s > 0.05)
        s = 0.05;
    d->size = (float)s;
    d->life = BLOOD_DROP_LIFE;
    switch_drop(d, 1);
    dBodySetPosition(d->body, position[0] + s, position[1] + s, position[2] + s);
    dBodySetAngularVel(d->body, 0, 0, 0);
    dBodySetLinearVel(d->body, speed * direction[0], speed * direction[1], speed * direction[2]);
    return i;
}

void age_blood_drops()
{
    for (int i = 0; i < NUM_BLOOD_DROPS; i++) {
        BloodDrop *d = &blood_drops[i];
        if (!d->body || !dBodyIsEnabled(d->body))
            continue;
        if (d->life <= 0) {
            d->life = 0;
            switch_drop(d, 0);
        } else {
            d->life -= 1;
        }
    }
}

void damp_body(dBodyID body, const double linear_vel[3], const double angular_vel[3])
{
    if (!body)
        return;
    dMass m;
    dBodyGetMass(body, &m);
    double f = -m.mass * 0.001;
    double t = -m.mass * 0.00001;
    dBodyAddForce(body, f * linear_vel[0], f * linear_vel[1], f * linear_vel[2]);
    const double *w = angular_vel;
    dBodyAddTorque(body, t * w[0] * w[0] * w[0], t * w[1] * w[1] * w[1], t * w[2] * w[2] * w[2]);
}

void damp_blood_drops()
{
    for (int i = 0; i < NUM_BLOOD_DROPS; i++) {
        BloodDrop *d = &blood_drops[i];
        if (!d->body || d->life <= 0 || !dBodyIsEnabled(d->body))
            continue;
        const dReal *v = dBodyGetLinearVel(d->body);
        const dReal *w = dBodyGetAngularVel(d->body);
        double lv[3] = {v[0], v[1], v[2]};
        double av[3] = {w[0], w[1], w[2]};
        damp_body(d->body, lv, av);
    }
}

void reset_blood_drops()
{
    reset_blood_amount(0.0);
    for (int i = 0; i < NUM_BLOOD_DROPS; i++) {
        BloodDrop *d = &blood_drops[i];
        if (d->body) {
            dBodySetPosition(d->body, 0, i + 20, i + 2);
            dBodySetLinearVel(d->body, 0, 0, 0);
            dBodySetAngularVel(d->body, 0, 0, 0);
        }
        if (d->body && d->geom)
            switch_drop(d, 0);
        d->life = 0;
        d->kind = 0;
        d->colour_source = nullptr;
    }
    blood_ring_index = 0;
}

void disable_blood_drops()
{
    for (int i = 0; i < NUM_BLOOD_DROPS; i++)
        if (blood_drops[i].body)
            dBodyDisable(blood_drops[i].body);
}

void enable_live_blood_drops()
{
    for (int i = 0; i < NUM_BLOOD_DROPS; i++)
        if (blood_drops[i].body && blood_drops[i].life > 0)
            dBodyEnable(blood_drops[i].body);
}

// ---- vector helpers ---------------------------------------------------------------------

static double vec_static[3];
static double unit_static[3];

double vec3_length_sq(const double v[3]) { return v[0] * v[0] + v[1] * v[1] + v[2] * v[2]; }

double vec3_length(const double v[3]) { return sqrt(vec3_length_sq(v)); }

double vec3_length3(double x, double y, double z) { return sqrt(x * x + y * y + z * z); }

const double *vec3_sub(const double a[3], const double b[3])
{
    for (int k = 0; k < 3; k++)
        vec_static[k] = a[k] - b[k];
    return vec_static;
}

double vec3_distance_min5(const double a[3], const double b[3])
{
    double d = vec3_length(vec3_sub(a, b));
    return d < 5.0 ? 0.0 : d;
}

const double *vec3_normalised(const double v[3])
{
    double len = vec3_length(v);
    for (int k = 0; k < 3; k++)
        unit_static[k] = len > 0.0 ? v[k] / len : 0.0;
    return unit_static;
}

void transform_point(const double m[12], const double t[3], const double point[3], double out[3])
{
    double p[3] = {point[0], point[1], point[2]};   // point may alias out
    for (int r = 0; r < 3; r++)
        out[r] = m[4 * r] * p[0] + m[4 * r + 1] * p[1] + m[4 * r + 2] * p[2] + t[r];
}

void rotate_point_z(const double centre[3], const double point[3], double out[3], double angle)
{
    double dx = point[0] - centre[0];
    double dy = point[1] - centre[1];
    double z = point[2];
    double c = cos(angle), s = sin(angle);
    // Turning the offset by the angle adds the angle to its bearing; an
    // offset of zero stays zero.
    out[0] = centre[0] + dx * c - dy * s;
    out[1] = centre[1] + dx * s + dy * c;
    out[2] = z;
}

void set_geom_pose_rotated(dBodyID body, const double centre[3], double angle)
{
    if (!body)
        return;
    const dReal *p = dBodyGetPosition(body);
    double pos[3] = {p[0], p[1], p[2]};
    double moved[3];
    rotate_point_z(centre, pos, moved, angle);
    dMatrix3 turn, out;
    dRFromAxisAndAngle(turn, 0, 0, 1, angle);
    dMultiply0_333(out, turn, dBodyGetRotation(body));
    dBodySetRotation(body, out);
    dBodySetPosition(body, moved[0], moved[1], moved[2]);
}

double contact_distance_sq(dGeomID a, dGeomID b, double x, double y, double z)
{
    if (!a || !b)
        return -1.0;
    dContactGeom c;
    if (dCollide(a, b, 1, &c, sizeof c) <= 0)
        return -1.0;
    double dx = c.pos[0] - x, dy = c.pos[1] - y, dz = c.pos[2] - z;
    return dx * dx + dy * dy + dz * dz;
}

int geom_world_pose(dGeomID geom, double position[3], double rotation[12])
{
    if (!geom)
        return 1;
    const dReal *p = dGeomGetPosition(geom);
    const dReal *r = dGeomGetRotation(geom);
    dGeomID inner = dGeomGetClass(geom) == dGeomTransformClass ? dGeomTransformGetGeom(geom)
                                                                : nullptr;
    if (!inner) {
        for (int k = 0; k < 3; k++)
            position[k] = p[k];
        for (int k = 0; k < 12; k++)
            rotation[k] = r[k];
        return 0;
    }
    dVector3 off;
    dMultiply0_331(off, r, dGeomGetPosition(inner));
    for (int k = 0; k < 3; k++)
        position[k] = p[k] + off[k];
    dMatrix3 out;
    dMultiply0_333(out, r, dGeomGetRotation(inner));
    for (int k = 0; k < 12; k++)
        rotation[k] = out[k];
    return 0;
}

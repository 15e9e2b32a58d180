// ODE 0.16 marks the geom-transform calls deprecated; the world still uses them.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "render/fighter_draw.h"
#include "render/blood_draw.h"

#include <cmath>
#include <cstring>

#include "core/blood.h"
#include "core/motors.h"
#include "core/bout.h"
#include "core/outward.h"
#include "core/world.h"
#include "platform/camera.h"
#include "render/gl_draw.h"
#include "render/scene.h"
#include "render/sorted_list.h"
#include "render/texture.h"

FighterLook fighter_looks[MAX_PLAYERS];
const int32_t default_fighter_colours[MAX_FIGHTERS] = {3, 5, 10, 6};
BodyRecord body_records[4];
float ghost_alpha = 0.3f;

enum {
    PAL_JOINT = 1,
    PAL_DISMEMBERED = 2,
    PAL_FLAT = 7,
    PAL_READY = 16,
    PAL_RELAX = 21,
    PAL_FORCE = 23,
    PAL_FRACTURED = 25
};

static const float kRed[3] = {1, 0, 0};
static const float kWhite[3] = {1, 1, 1};

// ---- small helpers ---------------------------------------------------------------

void palette_rgb(int index, float out[3])
{
    if (core_outward.palette_colour && core_outward.palette_colour(index, out) == 0)
        return;
    const float v = index == 0 ? 1.0f : 0.5f;
    out[0] = out[1] = out[2] = v;
}

static int option(const char *name, int fallback)
{
    return core_outward.get_option ? core_outward.get_option(name) : fallback;
}

static int record_of(const PlayerState *p)
{
    long r = p - players;
    return r >= 0 && r < MAX_PLAYERS ? (int)r : 0;
}

int fighter_index(int record)
{
    int n = match_state.num_players;
    if (n < 1 || n > MAX_FIGHTERS)
        n = 2;
    return record >= n ? record - n : record;
}

FighterLook *look_of(const PlayerState *player) { return &fighter_looks[record_of(player)]; }

void reset_body_records()
{
    for (BodyRecord &r : body_records) {
        r.body = 0;
        r.player = 0;
        r.value = 0;
    }
}

static int main_colour(const PlayerState *p)
{
    const FighterLook *l = look_of(p);
    if (l->main_colour)
        return l->main_colour;
    if (p->colour)
        return p->colour;
    int i = fighter_index(record_of(p));
    return i >= 0 && i < MAX_FIGHTERS ? default_fighter_colours[i] : PAL_FLAT;
}

static int ghost_colour_or(const PlayerState *p, int fallback)
{
    int c = look_of(p)->ghost_colour;
    return c ? c : fallback;
}

// t above 1 takes a alone.
static void blend(const float a[3], float t, const float b[3], float out[3])
{
    for (int k = 0; k < 3; k++)
        out[k] = t > 1.0f ? a[k] : t * a[k] + (1.0f - t) * b[k];
}

static void blood_rgb(const PlayerState *p, float out[3])
{
    int c = look_of(p)->blood_colour;
    if (c)
        palette_rgb(c, out);
    else
        memcpy(out, kRed, sizeof kRed);
}

static int texture_slot(const PlayerState *p)
{
    int i = fighter_index(record_of(p));
    return i >= 0 && i < SLOT_PLAYERS ? i : -1;
}

static Texture *body_texture(const PlayerState *p, int b, bool bump)
{
    int s = texture_slot(p);
    if (s < 0)
        return nullptr;
    return bump ? player_body_bump_textures[s][b] : player_body_textures[s][b];
}

static Texture *joint_texture(const PlayerState *p, int j, bool bump)
{
    int s = texture_slot(p);
    if (s < 0)
        return nullptr;
    return bump ? player_joint_bump_textures[s][j] : player_joint_textures[s][j];
}

// The visibility rule: fighter 0 follows `kasu`, the others `uke`, unless
// the fighter is not in the fight.
static bool visible(const PlayerState *p)
{
    if (look_of(p)->not_in_fight)
        return true;
    int i = fighter_index(record_of(p));
    return i > 0 ? option("uke", 1) != 0 : option("kasu", 1) != 0;
}

// The head-view rule: the fighter whose head holds the camera has no head
// and neck (its ghost neither).
static bool head_hidden(const PlayerState *p)
{
    int i = fighter_index(record_of(p));
    return (head_view_mode == 1 && i == 0) || (head_view_mode == 2 && i == 1);
}

static bool sorting()
{
    return shaders_active && option("transparency", 0);
}

static bool bruise_on() { return option("bruise", 1) != 0; }

static void set_rgb_alpha(const float rgb[3], float alpha)
{
    set_draw_color(rgb[0], rgb[1], rgb[2], alpha);
}

// ---- hands -------------------------------------------------------------------------

int hand_shown_sides(const PlayerState *p, int body, double sides[3])
{
    if (!p || (body != 11 && body != 12))
        return 0;
    dGeomID g = p->geom[body];
    if (!g || dGeomGetClass(g) != dBoxClass)
        return 0;
    dVector3 l;
    dGeomBoxGetLengths(g, l);
    if (l[0] > 0 && l[1] > 0 && l[2] > 0) {
        for (int k = 0; k < 3; k++)
            sides[k] = l[k];
        return 1;
    }
    const BodyDef *table = player_body_table(record_of(p));
    const float *grip = table ? table[body].alt_sides : nullptr;
    for (int k = 0; k < 3; k++)
        sides[k] = grip && grip[k] > 0 && std::isfinite(grip[k]) && grip[k] < 10 ? 0.5 * grip[k]
                                                                                : 0.1;
    return 1;
}

void shown_box_sides(dGeomID box, double sides[3])
{
    dVector3 l;
    dGeomBoxGetLengths(box, l);
    for (int k = 0; k < 3; k++)
        sides[k] = l[k];
    if (l[0] > 0 && l[1] > 0 && l[2] > 0)
        return;
    const GeomInfo *info = (const GeomInfo *)dGeomGetData(box);
    if (info && info->geom_class == GEOM_BODY && info->player >= 0 && info->player < MAX_PLAYERS &&
        info->body >= 0 && info->body < NUM_BODIES && players[info->player].geom[info->body] == box)
        hand_shown_sides(&players[info->player], info->body, sides);
}

// ---- the gate ----------------------------------------------------------------------

static void fill_material(SortedDrawMaterial *m, int mode, Texture *t, Texture *b)
{
    m->mode = mode;
    m->texture = t;
    m->bump = b;
    m->shade_model = GL_FLAT;
    memcpy(m->colour, draw_color, sizeof m->colour);
}

static void body_velocities(dGeomID geom, SortedGeometry *g)
{
    dBodyID body = dGeomGetBody(geom);
    for (int k = 0; k < 3; k++)
        g->linear_velocity[k] = g->angular_velocity[k] = 0;
    if (!body)
        return;
    const dReal *lv = dBodyGetLinearVel(body);
    const dReal *av = dBodyGetAngularVel(body);
    for (int k = 0; k < 3; k++) {
        g->linear_velocity[k] = lv[k];
        g->angular_velocity[k] = av[k];
    }
}

void draw_or_queue_geom(dGeomID geom, int mode, Texture *texture, Texture *bump)
{
    if (!geom)
        return;
    if (!sorting()) {
        draw_geom(geom, mode, texture, bump);
        return;
    }
    int cls = dGeomGetClass(geom);
    if (cls != dCapsuleClass && cls != dSphereClass && cls != dBoxClass &&
        cls != dGeomTransformClass)
        return;
    SortedGeometry g;
    memset(&g, 0, sizeof g);
    if (geom_world_pose(geom, g.position, g.rotation) != 0)
        return;
    body_velocities(geom, &g);
    const GeomInfo *info = (const GeomInfo *)dGeomGetData(geom);
    int kind, key = 0;
    switch (dGeomGetClass(geom)) {
    case dCapsuleClass: {
        dReal radius, length;
        dGeomCapsuleGetParams(geom, &radius, &length);
        g.shape[0] = length;
        g.shape[1] = radius;
        kind = SORTED_CAPSULE;
        break;
    }
    case dSphereClass:
        g.shape[0] = dGeomSphereGetRadius(geom);
        kind = SORTED_SPHERE;
        break;
    case dBoxClass: {
        double sides[3];
        shown_box_sides(geom, sides);
        for (int k = 0; k < 3; k++)
            g.shape[k] = sides[k];
        kind = SORTED_BOX;
        break;
    }
    case dGeomTransformClass: {
        dGeomID inner = dGeomTransformGetGeom(geom);
        if (!inner || dGeomGetClass(inner) != dSphereClass)
            return;
        g.shape[0] = dGeomSphereGetRadius(inner);
        kind = SORTED_SPHERE;
        // Joint spheres draw before the bodies of their owner.
        key = info && info->geom_class == GEOM_JOINT ? 1 : 0;
        break;
    }
    default:
        return;
    }
    SortedDrawMaterial m;
    fill_material(&m, mode, texture, bump);
    SortedDrawEntry e(m, g);
    e.kind = kind;
    e.key = key;
    e.group = info && info->player >= 0 ? info->player : 0;
    append_sorted_entry(e);
}

void draw_or_queue_geom_coloured(dGeomID geom, int colour, float alpha, int mode)
{
    float rgb[3];
    palette_rgb(colour, rgb);
    set_rgb_alpha(rgb, alpha);
    draw_or_queue_geom(geom, mode, nullptr, nullptr);
}

void draw_geom_coloured(dGeomID geom, int colour, int mode)
{
    draw_or_queue_geom_coloured(geom, colour, 1.0f, mode);
}

void draw_body_geoms_coloured(PlayerState *p, int colour, int mode, float alpha)
{
    if (!p || !visible(p))
        return;
    for (int b = 0; b < NUM_BODIES; b++) {
        if (b == 0 && head_hidden(p))
            continue;
        draw_or_queue_geom_coloured(p->geom[b], colour, alpha, mode);
    }
}

void draw_joint_geoms_coloured(PlayerState *p, int colour, int mode, float alpha)
{
    if (!p || !visible(p))
        return;
    int c = ghost_colour_or(p, colour);
    for (int j = 0; j < NUM_JOINTS; j++) {
        if (j == 0 && head_hidden(p))
            continue;
        draw_or_queue_geom_coloured(p->joint_geom[j], c, alpha, mode);
    }
}

// ---- bodies ------------------------------------------------------------------------

// A palette colour, blended towards the fighter's blood colour as far as
// the part is bruised.
static void bruised_colour(const PlayerState *p, int colour, float bruise, float rgb[3])
{
    float base[3];
    palette_rgb(colour, base);
    if (bruise > 0.001f && bruise_on()) {
        float red[3];
        blood_rgb(p, red);
        blend(red, bruise, base, rgb);
    } else {
        memcpy(rgb, base, sizeof base);
    }
}

void get_body_draw_color(MatchState *match, PlayerState *p, int b, float rgb[3])
{
    if (!p || b < 0 || b >= NUM_BODIES) {
        memcpy(rgb, kWhite, sizeof kWhite);
        return;
    }
    const FighterLook *l = look_of(p);
    int c;
    if (b == 1 || b == 2 || b == 5 || b == 8)
        c = l->body_colour[b] ? l->body_colour[b] : main_colour(p);
    else if (game_type == 1 && p->ready == 1)
        c = PAL_READY;
    else
        c = l->body_colour[b];
    bruised_colour(p, c, l->body_bruise[b], rgb);
    if (l->body_tinted[b])
        for (int k = 0; k < 3; k++)
            rgb[k] *= l->body_tint[b][k];
}

static void track_body(PlayerState *p, int b)
{
    dBodyID body = p->body[b];
    if (!body)
        return;
    double z = dBodyGetPosition(body)[2];
    const dReal *v = dBodyGetLinearVel(body);
    double speed = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    int who = record_of(p);
    const double values[4] = {z, z, speed, speed};
    for (int k = 0; k < 4; k++) {
        if (values[k] > body_records[k].value) {
            body_records[k].value = values[k];
            body_records[k].body = b;
            body_records[k].player = who;
        }
    }
}

void draw_fighter_bodies(MatchState *match, PlayerState *p, int mode, float alpha)
{
    if (!p || !visible(p))
        return;
    FighterLook *l = look_of(p);
    bool decay = match && !match->game_paused && match->ghost_mode == GHOST_OFF;
    for (int b = 0; b < NUM_BODIES; b++) {
        if (b == 0 && head_hidden(p))
            continue;
        if (!p->geom[b])
            continue;
        float rgb[3];
        get_body_draw_color(match, p, b, rgb);
        set_rgb_alpha(rgb, alpha);
        if (l->body_bruise[b] > 0.001f && bruise_on() && decay)
            l->body_bruise[b] *= 0.99f;
        if (mode == DRAW_PLAIN) {
            track_body(p, b);
            Texture *t = body_texture(p, b, false);
            Texture *bump = body_texture(p, b, true);
            int m = texture_loaded(t) || texture_loaded(bump) ? DRAW_TEXTURED : DRAW_PLAIN;
            draw_or_queue_geom(p->geom[b], m, t, bump);
        } else {
            draw_or_queue_geom(p->geom[b], mode, nullptr, nullptr);
        }
    }
}

// ---- joints ------------------------------------------------------------------------

// The colour of a broken joint, or of an intact one drawn plainly.
static void plain_joint_rgb(const PlayerState *p, int j, float rgb[3])
{
    const FighterLook *l = look_of(p);
    int broken = p->joints[j].broken;
    if (broken == JOINT_DISMEMBERED) {
        palette_rgb(l->blood_colour ? l->blood_colour : PAL_DISMEMBERED, rgb);
        return;
    }
    if (broken == JOINT_FRACTURED) {
        palette_rgb(PAL_FRACTURED, rgb);
        return;
    }
    int c = l->joint_colour[j];
    if (!c || texture_loaded(joint_texture(p, j, false)))
        c = PAL_JOINT;
    bruised_colour(p, c, l->joint_bruise[j], rgb);
}

static int joint_mode(const PlayerState *p, int j, int mode, Texture **t, Texture **bump)
{
    *t = joint_texture(p, j, false);
    *bump = joint_texture(p, j, true);
    if (texture_loaded(*t) || texture_loaded(*bump))
        return DRAW_TEXTURED;
    *t = *bump = nullptr;
    return mode;
}

static void draw_plain_joint(MatchState *match, PlayerState *p, int j, int mode, float alpha)
{
    float rgb[3];
    plain_joint_rgb(p, j, rgb);
    Texture *t, *bump;
    int m = joint_mode(p, j, mode, &t, &bump);
    set_rgb_alpha(rgb, alpha);
    draw_or_queue_geom(p->joint_geom[j], m, t, bump);
}

void draw_fighter_joints_plain(MatchState *match, PlayerState *p, int mode, float alpha)
{
    if (!p || !visible(p))
        return;
    FighterLook *l = look_of(p);
    for (int j = 0; j < NUM_JOINTS; j++) {
        if (j == 0 && head_hidden(p))
            continue;
        if (!p->joint_geom[j])
            continue;
        draw_plain_joint(match, p, j, mode, alpha);
        if (match && !match->game_paused && l->joint_bruise[j] > 0.001f && bruise_on())
            l->joint_bruise[j] *= 0.95f;
    }
}

int shown_joint_state(const PlayerState *p, int j)
{
    int pending = p->joint_state[j];
    if (pending >= MOTOR_FWD && pending <= MOTOR_HOLD)
        return pending;
    if (pending != MOTOR_NONE)
        return MOTOR_RELAX;
    return hinge_motor_state(p->hinge[j]);
}

static const JointDef *joint_row(int index, int j)
{
    const JointDef *table = player_joint_table(index);
    if (!table)
        return nullptr;
    for (int r = 0; r < NUM_JOINTS; r++)
        if (table[r].index == j)
            return &table[r];
    return &table[j];
}

static double joint_sphere_radius(const PlayerState *p, int j)
{
    dGeomID t = p->joint_geom[j];
    if (!t)
        return 0;
    if (dGeomGetClass(t) == dGeomTransformClass) {
        dGeomID s = dGeomTransformGetGeom(t);
        return s && dGeomGetClass(s) == dSphereClass ? dGeomSphereGetRadius(s) : 0;
    }
    return dGeomGetClass(t) == dSphereClass ? dGeomSphereGetRadius(t) : 0;
}

// One whole or half joint sphere, at once or into the sorted list (key 1).
static void emit_joint_sphere(PlayerState *p, const double centre[3], const double rot[12],
                              double radius, const double *normal, int mode, Texture *t,
                              Texture *bump)
{
    if (!sorting()) {
        if (normal)
            draw_half_sphere_geom(centre, rot, radius, normal[0], normal[1], normal[2], mode, t,
                                  bump);
        else
            draw_sphere_geom(centre, nullptr, nullptr, rot, radius, mode, t, bump);
        return;
    }
    SortedGeometry g;
    memset(&g, 0, sizeof g);
    memcpy(g.position, centre, sizeof g.position);
    memcpy(g.rotation, rot, sizeof g.rotation);
    g.shape[0] = radius;
    if (normal) {
        g.shape[1] = normal[0];
        g.shape[2] = normal[1];
        g.shape[3] = normal[2];
    }
    SortedDrawMaterial m;
    fill_material(&m, mode, t, bump);
    SortedDrawEntry e(m, g);
    e.kind = normal ? SORTED_HALF_SPHERE : SORTED_SPHERE;
    e.key = 1;
    e.group = record_of(p);
    append_sorted_entry(e);
}

void draw_fighter_joints(MatchState *match, PlayerState *p, int index, int mode, float alpha)
{
    if (!p || !visible(p))
        return;
    FighterLook *l = look_of(p);
    bool decay = match && !match->game_paused && match->ghost_mode == GHOST_OFF;
    for (int j = 0; j < NUM_JOINTS; j++) {
        if (j == 0 && head_hidden(p))
            continue;
        if (!p->joint_geom[j])
            continue;
        if (p->joints[j].broken != JOINT_INTACT) {
            draw_plain_joint(match, p, j, mode, alpha);
            continue;
        }
        int state = shown_joint_state(p, j);
        Texture *t, *bump;
        int m = joint_mode(p, j, DRAW_PLAIN, &t, &bump);
        float force[3], relax[3];
        if (m == DRAW_TEXTURED) {
            memcpy(force, kWhite, sizeof force);
            memcpy(relax, kWhite, sizeof relax);
        } else {
            palette_rgb(l->force_colour[j] ? l->force_colour[j] : PAL_FORCE, force);
            palette_rgb(l->relax_colour[j] ? l->relax_colour[j] : PAL_RELAX, relax);
        }
        if (l->joint_indicated[j]) {
            memcpy(force, l->joint_highlight[j], sizeof force);
            memcpy(relax, l->joint_highlight[j], sizeof relax);
        }
        if (selected_player == record_of(p) && selected_joint == j) {
            blend(force, 0.3f, kWhite, force);
            blend(relax, 0.3f, kWhite, relax);
        }
        float bruise = l->joint_bruise[j];
        if (bruise > 0.001f && bruise_on()) {
            float blood[3];
            blood_rgb(p, blood);
            blend(blood, bruise, force, force);
            blend(blood, bruise, relax, relax);
            if (decay)
                l->joint_bruise[j] *= 0.95f;
        }

        double r = joint_sphere_radius(p, j);
        double centre[3] = {0, 0, 0};
        if (p->hinge[j]) {
            dVector3 a;
            dJointGetHingeAnchor(p->hinge[j], a);
            for (int k = 0; k < 3; k++)
                centre[k] = a[k];
        }
        double rot[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
        int moved = joint_to_body(j);
        if (moved >= 0 && moved < NUM_BODIES && p->body[moved]) {
            const dReal *br = dBodyGetRotation(p->body[moved]);
            for (int k = 0; k < 12; k++)
                rot[k] = br[k];
        }

        if (state == MOTOR_HOLD || state == MOTOR_RELAX) {
            bool hold = state == MOTOR_HOLD;
            set_rgb_alpha(hold ? force : relax, alpha);
            emit_joint_sphere(p, centre, rot, hold ? r : 0.9 * r, nullptr, m, t, bump);
        } else {
            const JointDef *d = joint_row(index, j);
            double n[3] = {1, 0, 0};
            if (d)
                for (int k = 0; k < 3; k++)
                    n[k] = d->axis[k];
            if (state == MOTOR_BACK)
                for (double &v : n)
                    v = -v;
            const double opposite[3] = {-n[0], -n[1], -n[2]};
            set_rgb_alpha(force, alpha);
            emit_joint_sphere(p, centre, rot, r, n, DRAW_HALF_KEEP, t, bump);
            set_rgb_alpha(relax, alpha);
            emit_joint_sphere(p, centre, rot, 0.8 * r, opposite, DRAW_HALF_OTHER, t, bump);
        }
    }
}

// ---- the frame ---------------------------------------------------------------------

static int fighter_count(const MatchState *m)
{
    int n = m ? m->num_players : 0;
    if (n < 0)
        n = 0;
    return n > MAX_FIGHTERS ? MAX_FIGHTERS : n;
}

static void draw_env_objects(EnvBody *const *objects, int mode, bool coloured, float alpha_scale,
                             bool moving_only, bool gate)
{
    for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
        const EnvBody *o = objects[i];
        if (!o || !o->geom)
            continue;
        if (moving_only && (current_world.objects[i].flags & ENV_STATIC))
            continue;
        if (coloured) {
            const float *c = current_world.objects[i].colour;
            set_draw_color(c[0], c[1], c[2], c[3] * alpha_scale);
        }
        if (gate)
            draw_or_queue_geom(o->geom, mode, nullptr, nullptr);
        else
            draw_geom(o->geom, mode, nullptr, nullptr);
    }
}

static void occluder_pass(MatchState *m, PlayerState *p)
{
    draw_fighter_bodies(m, p, DRAW_FLOOR_SHADOW, 1.0f);
    draw_joint_geoms_coloured(p, PAL_FLAT, DRAW_FLOOR_SHADOW, 1.0f);
}

static void flat_pass(PlayerState *p)
{
    draw_body_geoms_coloured(p, PAL_FLAT, DRAW_OUTLINE, 1.0f);
    draw_joint_geoms_coloured(p, PAL_FLAT, DRAW_OUTLINE, 1.0f);
}

// The occluder and flat passes of the first `count` fighters.
static void shadow_and_outline(MatchState *m, int count)
{
    for (int i = 0; i < count; i++)
        occluder_pass(m, &players[i]);
    begin_flat_drawing();
    for (int i = 0; i < count; i++)
        flat_pass(&players[i]);
}

static void draw_ghost(PlayerState *g)
{
    if (!visible(g))
        return;
    float rgb[3];
    palette_rgb(ghost_colour_or(g, main_colour(g)), rgb);
    set_rgb_alpha(rgb, ghost_alpha);
    for (int b = 0; b < NUM_BODIES; b++) {
        if (b == 0 && head_hidden(g))
            continue;
        draw_geom(g->geom[b], DRAW_PLAIN, nullptr, nullptr);
    }
    for (int j = 0; j < NUM_JOINTS; j++) {
        if (j == 0 && head_hidden(g))
            continue;
        set_rgb_alpha(rgb, ghost_alpha);
        draw_or_queue_geom(g->joint_geom[j], DRAW_PLAIN, nullptr, nullptr);
    }
}

static void draw_ghosts(MatchState *m)
{
    int n = fighter_count(m);
    if (m->ghost_mode == GHOST_ALL) {
        for (int i = 0; i < n; i++)
            draw_ghost(&players[n + i]);
    } else if (m->ghost_mode == GHOST_ONE) {
        if (selected_player >= 0 && selected_player < n)
            draw_ghost(&players[n + selected_player]);
    }
    if (m->ghost_mode != GHOST_OFF)
        draw_env_objects(ghost_env_bodies, DRAW_PLAIN, true, ghost_alpha, true, false);
}

static void markers_and_blood(MatchState *m)
{
    for (int i = 0; i < fighter_count(m); i++)
        draw_joint_markers(&players[i]);
    if (option("blood", 1))
        draw_blood_drops();
}

static void clamp_ghost_alpha()
{
    if (!(ghost_alpha > 0.0f))   // below 0, or not a number
        ghost_alpha = 0.0f;
}

static void begin_fighter_frame()
{
    body_records[HIGHEST_FRAME].value = 0;
    body_records[FASTEST_FRAME].value = 0;
}

void draw_fighters(MatchState *m)
{
    if (!m)
        return;
    begin_fighter_frame();
    if (m->ghost_mode != GHOST_OFF) {
        ghost_alpha = 0.3f;
        if ((m->ghost_flags & 1) && m->ghost_length > 0)
            ghost_alpha = 0.5f - 0.5f * m->ghost_progress / (float)m->ghost_length;
        clamp_ghost_alpha();
    }
    float text[3];
    palette_rgb(text_colour_index, text);
    set_rgb_alpha(text, 1.0f);

    int n = fighter_count(m);
    if (replay_mode != REPLAY_LIVE || game_type == 0) {
        for (int i = 0; i < n; i++)
            occluder_pass(m, &players[i]);
        draw_env_objects(env_bodies, DRAW_FLOOR_SHADOW, false, 1.0f, false, true);
        begin_flat_drawing();
        for (int i = 0; i < n; i++)
            flat_pass(&players[i]);
        for (int i = 0; i < n; i++) {
            draw_fighter_bodies(m, &players[i], DRAW_PLAIN, 1.0f);
            if (replay_mode != REPLAY_LIVE)
                draw_fighter_joints_plain(m, &players[i], DRAW_PLAIN, 1.0f);
            else
                draw_fighter_joints(m, &players[i], i, DRAW_PLAIN, 1.0f);
        }
        draw_env_objects(env_bodies, DRAW_PLAIN, true, 1.0f, false, true);
    } else if (num_bouts >= n) {
        int own = own_bout_index();
        draw_env_objects(env_bodies, DRAW_FLOOR_SHADOW, false, 1.0f, false, true);
        shadow_and_outline(m, n);
        draw_env_objects(env_bodies, DRAW_PLAIN, true, 1.0f, false, true);
        for (int i = 0; i < n; i++) {
            draw_fighter_bodies(m, &players[i], DRAW_PLAIN, 1.0f);
            if (own == -1 || own == i)
                draw_fighter_joints(m, &players[i], i, DRAW_PLAIN, 1.0f);
            else
                draw_fighter_joints_plain(m, &players[i], DRAW_PLAIN, 1.0f);
        }
    } else {
        int full = num_bouts > 0 ? num_bouts : 0;
        draw_env_objects(env_bodies, DRAW_FLOOR_SHADOW, false, 1.0f, false, true);
        if (full > 0)
            shadow_and_outline(m, full);
        draw_env_objects(env_bodies, DRAW_PLAIN, true, 1.0f, false, true);
        for (int i = 0; i < n; i++) {
            float alpha = i < full ? 1.0f : 0.15f;
            draw_fighter_bodies(m, &players[i], DRAW_PLAIN, alpha);
            draw_fighter_joints(m, &players[i], i, DRAW_PLAIN, alpha);
        }
    }
    draw_ghosts(m);
    markers_and_blood(m);
}

void draw_fighters_sorted(MatchState *m)
{
    if (!m)
        return;
    begin_fighter_frame();
    if (m->ghost_mode != GHOST_OFF) {
        ghost_alpha = 0.5f - 0.005f * m->ghost_progress;
        clamp_ghost_alpha();
    }
    float text[3];
    palette_rgb(text_colour_index, text);
    set_rgb_alpha(text, 1.0f);

    draw_env_objects(env_bodies, DRAW_FLOOR_SHADOW, false, 1.0f, false, false);
    draw_env_objects(env_bodies, DRAW_PLAIN, true, 1.0f, false, false);

    int n = fighter_count(m);
    bool online = game_type == 1 && replay_mode == REPLAY_LIVE;
    int own = online ? own_bout_index() : -1;
    for (int i = 0; i < n; i++) {
        PlayerState *p = &players[i];
        bool faded = online && i >= num_bouts;
        bool editable = !faded && ((online && (own == -1 || own == i)) ||
                                   (!online && replay_mode == REPLAY_LIVE));
        if (!faded) {
            draw_joint_geoms_coloured(p, PAL_FLAT, DRAW_FLOOR_SHADOW, 1.0f);
            draw_fighter_bodies(m, p, DRAW_FLOOR_SHADOW, 1.0f);
            draw_body_geoms_coloured(p, PAL_FLAT, DRAW_OUTLINE, 1.0f);
            draw_joint_geoms_coloured(p, PAL_FLAT, DRAW_OUTLINE, 1.0f);
        }
        float alpha = faded ? 0.15f : 1.0f;
        draw_fighter_bodies(m, p, DRAW_PLAIN, alpha);
        if (editable)
            draw_fighter_joints(m, p, i, DRAW_PLAIN, alpha);
        else
            draw_fighter_joints_plain(m, p, DRAW_PLAIN, alpha);
    }
    // The ghosts' bodies are drawn at once; their joints go through the gate
    // into the list, so the list is sorted and drawn once, after them.
    draw_ghosts(m);
    sort_sorted_list();
    draw_sorted_list();
    markers_and_blood(m);
}

// Grip markers: a flat ring round each gripping hand. Hinge marker: the
// selected joint's axis as a short line through its anchor.
void draw_joint_markers(PlayerState *p)
{
    if (!p || !visible(p))
        return;
    const int hands[2] = {11, 12};
    const int grips[2] = {p->grip_r, p->grip_l};
    const int requests[2] = {p->grip_req_r, p->grip_req_l};
    for (int k = 0; k < 2; k++) {
        dBodyID b = p->body[hands[k]];
        if (!b || (grips[k] == 0 && requests[k] != GRIP_GRIP))
            continue;
        float rgb[3];
        palette_rgb(main_colour(p), rgb);
        set_rgb_alpha(rgb, 0.8f);
        draw_sphere_geom(dBodyGetPosition(b), nullptr, nullptr, dBodyGetRotation(b), 0.15,
                         DRAW_RING, nullptr, nullptr);
    }
    int j = selected_joint;
    if (selected_player != record_of(p) || j < 0 || j >= NUM_JOINTS || !p->hinge[j] ||
        draw_recorder || shaders_active)
        return;
    dVector3 a, axis;
    dJointGetHingeAnchor(p->hinge[j], a);
    dJointGetHingeAxis(p->hinge[j], axis);
    const double from[3] = {a[0] - 0.25 * axis[0], a[1] - 0.25 * axis[1], a[2] - 0.25 * axis[2]};
    const double to[3] = {a[0] + 0.25 * axis[0], a[1] + 0.25 * axis[1], a[2] + 0.25 * axis[2]};
    set_draw_color(0, 0, 0, 1);
    glDisable(GL_DEPTH_TEST);
    draw_line_3d(from, to);
    glEnable(GL_DEPTH_TEST);
}

// The avatar heads of the HUD: each fighter with an avatar gets a small head
// in its own corner view, wobbling with the frame clock.
void draw_avatar_view()
{
    // The heads are drawn at once in their own small views: the shader
    // renderer's queue has been drawn for this frame already.
    int shaders_were_active = shaders_active;
    shaders_active = 0;
    int n = fighter_count(&match_state);
    for (int i = 0; i < n; i++) {
        PlayerState *p = &players[i];
        if (!look_of(p)->avatar || !p->body[0])
            continue;
        int size = match_state.game_over ? 64 : 80;
        int rect[2] = {i == 0 ? view_width - 32 - size : 32, n < 3 ? 142 : 32 + i * (size + 8)};
        const float target[3] = {0, 0, 0};
        push_square_perspective();
        set_avatar_view(rect, size, target);
        set_draw_color(1, 1, 1, 0);
        const Texture *shadow = table_texture(33);
        if (texture_loaded(shadow)) {
            glPushMatrix();
            glTranslatef(0, 0, -0.25f);
            glScalef(1.4f, 1.0f, 1.4f);
            glRotatef(270.0f, 1, 0, 0);
            draw_texture_billboard(shadow, 0, 0, 0, 1.0f);
            glPopMatrix();
        }
        double t = frame_tick;
        const double pi = 3.14159265358979323846;
        dMatrix3 R;
        dRFromEulerAngles(R, sin(0.0003 * t) * 0.13, cos(0.0002 * t) * 0.05,
                          sin(cos(0.0001 * pi * t) * tan(0.0001 * pi * t)) * 0.75 * 0.54);
        float rgb[3];
        get_body_draw_color(&match_state, p, 0, rgb);
        if (game_type == 1 && p->ready == 1)
            palette_rgb(PAL_READY, rgb);
        set_rgb_alpha(rgb, 1.0f);
        Texture *tex = body_texture(p, 0, false);
        const double centre[3] = {0, 0, 0};
        draw_sphere_geom(centre, nullptr, nullptr, R, 1.0,
                         texture_loaded(tex) ? DRAW_TEXTURED : DRAW_PLAIN, tex, nullptr);
        pop_square_perspective();
    }
    shaders_active = shaders_were_active;
}

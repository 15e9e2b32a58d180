// Building, rebuilding and destroying the physics world of a match, the
// one-time game start-up, and the small physics helpers on fighters.
#include "core/world.h"

// The joint spheres are geometry transforms around a sphere.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/collide.h"
#include "core/command.h"
#include "core/outward.h"
#include "core/mod.h"
#include "core/replay_buffer.h"
#include "core/rules.h"
#include "core/sane.h"
#include "core/step.h"
#include "core/text.h"

GeomInfo geom_info[MAX_GEOM_INFO];
int32_t geom_info_count;

uint32_t category_bit[COLLIDE_BITS];
uint32_t collide_mask[COLLIDE_BITS];
uint32_t severed_mask;

BloodDrop blood_drops[NUM_BLOOD_DROPS];
float default_blood_colour[3] = {0.6f, 0.0f, 0.0f};

StanceSlot stance_slots[NUM_STANCES];
int32_t stance_count;

dWorldID physics_world;
dSpaceID live_space;
dSpaceID ghost_space;
dJointGroupID contact_group;
dGeomID live_ground;
dGeomID ghost_ground;
dGeomID mouse_ray;
EnvBody *env_bodies[NUM_ENV_OBJECTS];
EnvBody *ghost_env_bodies[NUM_ENV_OBJECTS];
double world_step_size = 0.006;

BodyDef default_body_templates[BODY_TABLE_ROWS];
JointDef default_joint_templates[JOINT_TABLE_ROWS];

static int ode_ready;
// The body table of the fighter that build_player is building.
static const BodyDef *building_bodies;
// Collision-table row of each record, kept from its build.
static int record_row[MAX_PLAYERS];

// Body -> the joint that is stored in the body's GeomInfo.
static const uint8_t body_joint_map[NUM_BODIES] = {
    0, 0, 3, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 17, 16, 18, 19};

// Joint spheres in creation order, each with the body that carries it.
static const struct {
    uint8_t joint, carrier;
} sphere_order[NUM_JOINTS] = {
    {0, 0},   {1, 1},   {2, 2},   {3, 3},   {13, 14}, {12, 13}, {15, 16},
    {14, 15}, {18, 18}, {19, 17}, {16, 15}, {17, 16}, {7, 8},   {4, 5},
    {8, 9},   {5, 6},   {9, 10},  {6, 7},   {11, 12}, {10, 11}};

static const char *const fighter_names[MAX_FIGHTERS] = {"kasu", "uke", "player3", "player4"};
static const char *const ghost_names[MAX_FIGHTERS] = {"GHOST1", "GHOST2", "GHOST3", "GHOST4"};
static const double fighter_offsets[MAX_FIGHTERS][3] = {
    {0, 0, -0.05}, {0, -1, 0}, {-1, 0, -0.05}, {-1, -1, 0}};

static int valid_record(int r) { return r >= 0 && r < MAX_PLAYERS; }
static int valid_joint(int j) { return j >= 0 && j < NUM_JOINTS; }
static int is_hand_or_foot(int b) { return b == 11 || b == 12 || b == 19 || b == 20; }

static int body_joint(int body)
{
    if (body < 0 || body >= NUM_BODIES) {
        fprintf(stderr, "selected_body missing joint for body nr %i\n", body);
        return 255;
    }
    return body_joint_map[body];
}

// An entry that names nothing yet.
static void clear_geom_info(GeomInfo *g, int serial)
{
    memset(g, 0, sizeof *g);
    g->serial = serial;
    g->player = -1;
    g->part = -1;
    g->body = -1;
    g->joint = -1;
    g->drop = -1;
}

static GeomInfo *new_geom_info()
{
    if (geom_info_count >= MAX_GEOM_INFO) {
        fprintf(stderr, "geom info table full\n");
        return nullptr;
    }
    GeomInfo *g = &geom_info[geom_info_count];
    clear_geom_info(g, geom_info_count++);
    return g;
}

static void set_bits(dGeomID g, uint32_t category, uint32_t collide)
{
    dGeomSetCategoryBits(g, category);
    dGeomSetCollideBits(g, collide);
}

// ---- collision tables ------------------------------------------------------

void fill_collision_tables()
{
    category_bit[0] = 0;
    for (int k = 1; k < COLLIDE_BITS; k++)
        category_bit[k] = 1u << (k - 1);
    collide_mask[0] = 0;
    for (int k = 1; k <= 4; k++)
        collide_mask[k] = (15u & ~category_bit[k]) | 16u | 32u;
    collide_mask[5] = 8191u & ~64u;
    collide_mask[6] = 0;
    collide_mask[7] = 128;
    collide_mask[8] = 0;
    for (int k = 9; k <= 12; k++)
        collide_mask[k] = ((256u | 512u | 1024u | 2048u) & ~category_bit[k]) | 32u | 4096u;
    collide_mask[13] = 8096;
    severed_mask = 191;
}

int record_bits_row(int record)
{
    return valid_record(record) ? record_row[record] : 0;
}

uint32_t body_category(int record, int body)
{
    int k = record_bits_row(record);
    if (is_hand_or_foot(body))
        return category_bit[k] | collide_mask[k];
    return category_bit[k];
}

uint32_t body_collide(int record, int body)
{
    int k = record_bits_row(record);
    uint32_t c = collide_mask[k];
    if (body >= 0 && body < NUM_BODIES && builtin_body_table[body].ground_flag)
        c |= GROUND_BIT;
    return c;
}

uint32_t sphere_collide(int record)
{
    return collide_mask[record_bits_row(record)] | GROUND_BIT;
}

// ---- start-up ---------------------------------------------------------------

static void fill_default_appearance(Appearance *a)
{
    for (int i = 0; i < APPEARANCE_SCALES; i++)
        a->scale[i] = 1.0f;
    for (int i = 0; i < APPEARANCE_COLOURS; i++) {
        const float *c = nullptr;
        if (i < NUM_BODIES)
            c = builtin_body_table[i].colour;
        else if (i < NUM_PARTS)
            c = builtin_joint_table[i - NUM_BODIES].colour;
        for (int k = 0; k < 3; k++)
            a->colour[i][k] = c ? c[k] : 1.0f;
    }
}

void game_init()
{
    fill_collision_tables();
    memset(&default_world, 0, sizeof default_world);
    if (alloc_replay_buffer() != 0) {
        fprintf(stderr, "Unable to allocate the replay buffer\n");
        exit_program(1);
    }
    memcpy(default_joint_templates, builtin_joint_table, sizeof default_joint_templates);
    memcpy(default_body_templates, builtin_body_table, sizeof default_body_templates);
    for (int i = 0; i < MAX_PLAYERS; i++) {
        default_world.body_tables[i] = default_body_templates;
        default_world.joint_tables[i] = default_joint_templates;
    }
    fill_default_appearance(&default_world.appearance);
    default_world.gravity[0] = 0;
    default_world.gravity[1] = 0;
    default_world.gravity[2] = -9.82f;
    default_world.ground_mu = 10000;

    memset(&match_state, 0, sizeof match_state);
    own_player_index = -1;
    replay_mode = REPLAY_CYCLE;
    own_id = -1;
    games_counter = 1;
    match_state.num_players = 2;
    match_state.game_paused = 1;
    match_state.ghost_progress = 1.0f;
    match_state.ghost_length = 100;
    for (int i = 0; i < 4; i++) {   // the result lists are -1 padded
        match_state.winners[i] = -1;
        match_state.losers[i] = -1;
    }
    for (int i = 0; i < MAX_FIGHTERS; i++) {
        players[i].touch_first = 0;
        players[i].touch_last = 0;
        players[i].touch_time = 0;
    }
    build_world(&default_world);
}

void game_shutdown()
{
    destroy_world();
    free_replay_buffer();
    if (ode_ready) {
        dCloseODE();
        ode_ready = 0;
    }
}

// ---- stances ----------------------------------------------------------------

static void store_stance(int slot, int record, const char *name, const double origin[3])
{
    if (slot < 0 || slot >= NUM_STANCES)
        return;
    StanceSlot *s = &stance_slots[slot];
    n_strncpyz(s->name, name, sizeof s->name);
    for (int k = 0; k < 3; k++)
        s->origin[k] = origin[k];
    for (int b = 0; b < NUM_BODIES; b++) {
        dBodyID body = players[record].body[b];
        if (!body)
            continue;
        const dReal *p = dBodyGetPosition(body);
        const dReal *q = dBodyGetQuaternion(body);
        for (int k = 0; k < 3; k++)
            s->position[b][k] = p[k];
        for (int k = 0; k < 4; k++)
            s->quaternion[b][k] = q[k];
    }
    if (slot + 1 > stance_count)
        stance_count = slot + 1;
}

// ---- building ----------------------------------------------------------------

int build_world(const WorldDescription *description)
{
    if (!description)
        return 1;
    if (physics_world)
        destroy_world();   // never build over a live world
    if (!ode_ready) {
        dInitODE2(0);
        ode_ready = 1;
    }
    if (description != &current_world)
        memcpy(&current_world, description, sizeof current_world);

    physics_world = dWorldCreate();
    live_space = dHashSpaceCreate(nullptr);
    ghost_space = dHashSpaceCreate(nullptr);
    contact_group = dJointGroupCreate(0);
    dWorldSetGravity(physics_world, current_world.gravity[0], current_world.gravity[1],
                     current_world.gravity[2]);
    dWorldSetCFM(physics_world, (double)0.2f);
    dWorldSetERP(physics_world, (double)0.1f);
    // Used only by the frames step_world hands to the iterative solver.
    dWorldSetQuickStepNumIterations(physics_world, ITERATIVE_STEP_ITERATIONS);

    live_ground = dCreatePlane(live_space, 0, 0, 1, 0);
    ghost_ground = dCreatePlane(ghost_space, 0, 0, 1, 0);
    dGeomID grounds[2] = {live_ground, ghost_ground};
    for (dGeomID g : grounds) {
        GeomInfo *gi = new_geom_info();
        if (gi)
            gi->geom_class = GEOM_GROUND;
        dGeomSetData(g, gi);
        set_bits(g, GROUND_BIT, 0);
    }

    int n = match_state.num_players;
    if (n < 1 || n > MAX_FIGHTERS) {   // the ghosts must fit behind the fighters
        fprintf(stderr, "build_world: %i players, building 2\n", n);
        n = 2;
        match_state.num_players = 2;
    }
    for (int i = 0; i < n; i++) {
        record_row[i] = i + 1;
        const BodyDef *bt = current_world.body_tables[i] ? current_world.body_tables[i]
                                                         : default_body_templates;
        const JointDef *jt = current_world.joint_tables[i] ? current_world.joint_tables[i]
                                                           : default_joint_templates;
        build_player(bt, jt, i, fighter_names[i], live_space, fighter_offsets[i][0],
                     fighter_offsets[i][1], fighter_offsets[i][2], category_bit[i + 1],
                     collide_mask[i + 1]);
    }
    for (int k = 0; k < n; k++) {
        int r = n + k;
        record_row[r] = 9 + k;
        const BodyDef *bt = current_world.body_tables[k] ? current_world.body_tables[k]
                                                         : default_body_templates;
        const JointDef *jt = current_world.joint_tables[k] ? current_world.joint_tables[k]
                                                           : default_joint_templates;
        build_player(bt, jt, r, ghost_names[k], ghost_space, fighter_offsets[k][0],
                     fighter_offsets[k][1], fighter_offsets[k][2], category_bit[9 + k],
                     collide_mask[9 + k]);
        PlayerState *g = &players[r];
        g->is_ghost = 1;
        for (int b = 0; b < NUM_BODIES; b++) {
            dBodyDisable(g->body[b]);
            dGeomDisable(g->geom[b]);
        }
        for (int j = 0; j < NUM_JOINTS; j++)
            dGeomDisable(g->joint_geom[j]);
        g->no_input = 1;
    }

    for (int s = 0; s < NUM_STANCES; s++)
        stance_slots[s].name[0] = '\0';
    stance_count = 0;
    const WorldDescription *w = &current_world;
    int shared = w->body_tables[0] == w->body_tables[1] && w->body_tables[1] == w->body_tables[2] &&
                 w->body_tables[2] == w->body_tables[3];
    if (shared) {
        store_stance(0, 0, "INIT", fighter_offsets[0]);
    } else {
        for (int i = 0; i < n; i++) {
            char name[32];
            snprintf(name, sizeof name, "INIT%d", i);
            store_stance(i, i, name, fighter_offsets[i]);
            players[i].stance_slot = i;
        }
    }

    build_env_objects();
    create_blood_drops();
    create_mouse_ray();
    return 0;
}

static dGeomID make_shape_geom(dSpaceID space, int shape, const double sides[3])
{
    switch (shape) {
    case SHAPE_SPHERE:
        return dCreateSphere(space, world_size(sides[0]));
    case SHAPE_CYLINDER:
        return dCreateCapsule(space, world_size(sides[0]), world_size(sides[1]));
    default:
        return dCreateBox(space, world_size(sides[0]), world_size(sides[1]),
                          world_size(sides[2]));
    }
}

void set_checked_mass(dBodyID body, dMass *m)
{
    if (!body || !m)
        return;
    // Too light a body makes every contact an explosion; a mass ODE's own
    // check refuses (no inertia, not positive definite) aborts the step.
    if (std::isfinite(m->mass) && m->mass > 0 && m->mass < SANE_MIN_BODY_MASS)
        dMassAdjust(m, SANE_MIN_BODY_MASS);
    if (!std::isfinite(m->mass) || !(m->mass > 0) || !dMassCheck(m)) {
        double total = std::isfinite(m->mass) && m->mass > SANE_MIN_BODY_MASS ? m->mass
                                                                              : SANE_MIN_BODY_MASS;
        dMassSetSphereTotal(m, total > SANE_FORCE ? SANE_FORCE : total, 0.05);
    }
    dBodySetMass(body, m);
}

// ---- the order of the collision spaces -------------------------------------------

// A space keeps its geoms in a list that every move reorders, and the order
// in which the collision pass meets the pairs decides the order of the
// contact joints, which the world step's arithmetic follows. Putting every
// geom back into one fixed order at the start of a game makes a game and its
// replay (and a second game with the same rules) run bit for bit alike.
enum { ORDERED_GEOMS = MAX_PLAYERS * (NUM_BODIES + NUM_JOINTS) + 2 * NUM_ENV_OBJECTS +
                       NUM_BLOOD_DROPS + 4 };

static void reorder_space(dSpaceID space)
{
    static dGeomID list[ORDERED_GEOMS];
    int n = 0;
    auto take = [&](dGeomID g) {
        if (g && n < ORDERED_GEOMS && dGeomGetSpace(g) == space)
            list[n++] = g;
    };
    for (int r = 0; r < fighters_built && r < MAX_PLAYERS; r++) {
        for (int b = 0; b < NUM_BODIES; b++)
            take(players[r].geom[b]);
        for (int j = 0; j < NUM_JOINTS; j++)
            take(players[r].joint_geom[j]);
    }
    for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
        take(env_bodies[i] ? env_bodies[i]->geom : nullptr);
        take(ghost_env_bodies[i] ? ghost_env_bodies[i]->geom : nullptr);
    }
    for (int i = 0; i < NUM_BLOOD_DROPS; i++)
        take(blood_drops[i].geom);
    take(live_ground);
    take(ghost_ground);
    take(mouse_ray);
    for (int i = 0; i < n; i++)
        dSpaceRemove(space, list[i]);
    // Each add goes to the front of the list.
    for (int i = n - 1; i >= 0; i--)
        dSpaceAdd(space, list[i]);
}

void reset_space_order()
{
    if (live_space)
        reorder_space(live_space);
    if (ghost_space)
        reorder_space(ghost_space);
}

// The anchor and axis of hinge j in the frame of its first body.
void store_hinge_frame(int record, int joint)
{
    PlayerState *p = &players[record];
    dBodyID a = p->body[builtin_joint_table[joint].body_a];
    dJointID h = p->hinge[joint];
    if (!a || !h)
        return;
    dVector3 anchor, axis;
    dJointGetHingeAnchor(h, anchor);
    dJointGetHingeAxis(h, axis);
    dVector3 local;
    dBodyGetPosRelPoint(a, anchor[0], anchor[1], anchor[2], local);
    for (int k = 0; k < 3; k++)
        p->joints[joint].anchor_local[k] = local[k];
    dBodyVectorFromWorld(a, axis[0], axis[1], axis[2], local);
    for (int k = 0; k < 3; k++)
        p->joints[joint].axis_local[k] = local[k];
}

// Attaches hinge j to its two bodies as they stand now, with the anchor and
// axis it was built with, carried along by its first body. The hinge's zero
// angle is the two bodies' present relative pose, so this is done after the
// bodies have been placed in their stance.
void attach_hinge(int record, int joint)
{
    PlayerState *p = &players[record];
    dBodyID a = p->body[builtin_joint_table[joint].body_a];
    dBodyID b = p->body[builtin_joint_table[joint].body_b];
    dJointID h = p->hinge[joint];
    if (!h)
        return;
    dJointAttach(h, a, b);
    if (!a)
        return;
    const JointRuntime *rt = &p->joints[joint];
    double len = rt->axis_local[0] * rt->axis_local[0] + rt->axis_local[1] * rt->axis_local[1] +
                 rt->axis_local[2] * rt->axis_local[2];
    if (!(len > 0))   // never stored: keep what the attach took
        return;
    dVector3 world;
    dBodyGetRelPointPos(a, rt->anchor_local[0], rt->anchor_local[1], rt->anchor_local[2], world);
    dJointSetHingeAnchor(h, world[0], world[1], world[2]);
    dBodyVectorToWorld(a, rt->axis_local[0], rt->axis_local[1], rt->axis_local[2], world);
    dJointSetHingeAxis(h, world[0], world[1], world[2]);
}

int build_player(const BodyDef *bodies, const JointDef *joints, int record, const char *name,
                 dSpaceID space, double x, double y, double z, uint32_t category,
                 uint32_t collide)
{
    if (!valid_record(record) || !bodies || !joints || !physics_world)
        return 1;
    PlayerState *p = &players[record];
    memset(p, 0, sizeof *p);
    p->own_index = record;
    p->collide_group = (int32_t)collide;
    if (name && strcmp(p->name, name) != 0) {
        char tag[32];
        n_strncpyz(p->name, name, sizeof p->name);
        split_name_tag_lower(p->name, sizeof p->name, tag, p->name_lower);
    }

    for (int i = 0; i < NUM_BODIES; i++) {
        const BodyDef *d = &bodies[i];
        dBodyID b = dBodyCreate(physics_world);
        GeomInfo *gi = new_geom_info();
        if (gi) {
            gi->owner = p;
            gi->player = record;
            gi->geom_class = GEOM_BODY;
            gi->body = i;
            gi->joint = body_joint(i);
            gi->part = i;
        }
        dBodySetPosition(b, x + d->position[0], y + d->position[1], z + d->position[2]);
        double sides[3] = {d->sides[0], d->sides[1], d->sides[2]};
        dGeomID g = make_shape_geom(space, d->shape, sides);
        uint32_t cat = is_hand_or_foot(i) ? (category | collide) : category;
        uint32_t col = collide | (builtin_body_table[i].ground_flag ? GROUND_BIT : 0);
        set_bits(g, cat, col);
        dGeomSetBody(g, b);
        dGeomSetData(g, gi);
        dBodySetData(b, gi);
        p->body[i] = b;
        p->geom[i] = g;
    }

    for (int j = 0; j < NUM_JOINTS; j++) {
        dGeomID t = dCreateGeomTransform(space);
        set_bits(t, category, collide | GROUND_BIT);
        p->joint_geom[j] = t;
        dJointID h = dJointCreateHinge(physics_world, nullptr);
        dJointSetFeedback(h, &p->hinge_feedback[j]);
        dJointSetHingeParam(h, dParamFudgeFactor, (double)0.05f);
        dJointSetHingeParam(h, dParamStopERP, (double)0.1f);
        dJointSetHingeParam(h, dParamCFM, 0.5);
        dJointSetHingeParam(h, dParamStopCFM, 0.5);
        p->hinge[j] = h;
    }

    building_bodies = bodies;
    add_body_part(record, joints, x, y, z);
    building_bodies = nullptr;

    for (int j = 0; j < NUM_JOINTS; j++)
        dJointAttach(p->hinge[j], p->body[builtin_joint_table[j].body_a],
                     p->body[builtin_joint_table[j].body_b]);

    for (int row = 0; row < NUM_JOINTS; row++) {
        const JointDef *d = &joints[row];
        int j = d->index;
        if (!valid_joint(j))
            continue;
        dJointID h = p->hinge[j];
        dJointSetHingeAxis(h, d->axis[0], d->axis[1], d->axis[2]);
        dJointSetHingeParam(h, dParamHiStop, d->hi_stop);
        dJointSetHingeParam(h, dParamLoStop, d->lo_stop);
        dJointSetHingeAnchor(h, x + d->anchor[0], y + d->anchor[1], z + d->anchor[2]);
        JointRuntime *rt = &p->joints[j];
        rt->hi_stop = d->hi_stop;
        rt->lo_stop = d->lo_stop;
        rt->break_hi = d->break_hi;
        rt->break_lo = d->break_lo;
        rt->broken = JOINT_INTACT;
        rt->cut_pending = 0;
    }
    for (int j = 0; j < NUM_JOINTS; j++)
        store_hinge_frame(record, j);

    set_body_masses(record, 0.25);
    p->grip_req_l = p->grip_req_r = 0;
    p->grip_l = p->grip_r = 0;
    fighters_built += 1;
    return 0;
}

void move_body_to_geom(dBodyID body, dGeomID geom, const dMatrix3 rotation)
{
    if (!body || !geom)
        return;
    dVector3 offset = {0, 0, 0, 0};
    if (dGeomGetClass(geom) == dGeomTransformClass) {
        dGeomID inner = dGeomTransformGetGeom(geom);
        if (inner) {
            const dReal *o = dGeomGetPosition(inner);
            offset[0] = o[0];
            offset[1] = o[1];
            offset[2] = o[2];
        }
    }
    dVector3 before;
    dBodyGetRelPointPos(body, offset[0], offset[1], offset[2], before);
    dBodySetRotation(body, rotation);
    dVector3 after;
    dBodyGetRelPointPos(body, offset[0], offset[1], offset[2], after);
    const dReal *p = dBodyGetPosition(body);
    dBodySetPosition(body, p[0] + before[0] - after[0], p[1] + before[1] - after[1],
                     p[2] + before[2] - after[2]);
}

static int rotation_set(const float r[3]) { return r[0] != 0 || r[1] != 0 || r[2] != 0; }

void add_body_part(int record, const JointDef *joints, double x, double y, double z)
{
    if (!valid_record(record) || !joints)
        return;
    PlayerState *p = &players[record];
    const BodyDef *bodies = building_bodies ? building_bodies : player_body_table(record);
    if (!bodies)
        return;
    for (int k = 0; k < NUM_JOINTS; k++) {
        int j = sphere_order[k].joint;
        int c = sphere_order[k].carrier;
        dBodyID carrier = p->body[c];
        dGeomID t = p->joint_geom[j];
        double r = world_size(joints[j].radius);
        dGeomID s = dCreateSphere(nullptr, r);
        dGeomTransformSetGeom(t, s);
        dGeomTransformSetCleanup(t, 1);
        dGeomTransformSetInfo(t, 1);
        const dReal *cp = dBodyGetPosition(carrier);
        double off[3] = {x + joints[j].anchor[0] - cp[0], y + joints[j].anchor[1] - cp[1],
                         z + joints[j].anchor[2] - cp[2]};
        dGeomSetPosition(s, off[0], off[1], off[2]);
        if (r > 0) {
            dMass m, cm;
            dMassSetSphere(&m, 0.25, r);
            dMassTranslate(&m, off[0], off[1], off[2]);
            dBodyGetMass(carrier, &cm);
            dMassAdd(&cm, &m);
            // ODE wants the centre of mass at the body origin.
            dMassTranslate(&cm, -cm.c[0], -cm.c[1], -cm.c[2]);
            set_checked_mass(carrier, &cm);
        }
        dGeomSetBody(t, carrier);
        GeomInfo *gi = new_geom_info();
        if (gi) {
            gi->owner = p;
            gi->player = record;
            gi->geom_class = GEOM_JOINT;
            gi->body = c;
            gi->joint = j;
            gi->part = NUM_BODIES + j;
        }
        dGeomSetData(t, gi);
        if (rotation_set(bodies[c].rotation)) {
            dMatrix3 R;
            dRFromEulerAngles(R, bodies[c].rotation[0], bodies[c].rotation[1],
                              bodies[c].rotation[2]);
            move_body_to_geom(carrier, t, R);
        }
    }
    static const int feet[2] = {20, 19};
    for (int b : feet) {
        if (rotation_set(bodies[b].rotation)) {
            dMatrix3 R;
            dRFromEulerAngles(R, bodies[b].rotation[0], bodies[b].rotation[1],
                              bodies[b].rotation[2]);
            move_body_to_geom(p->body[b], p->geom[b], R);
        }
    }
}

// Mass of a body whose own shape has no volume (the built-in hands are
// zero-size boxes until they grip): the joint spheres it carries, else its
// gripping box, else a small sphere. A zero mass would poison the step.
static void fallback_mass(int record, int body, double density, dMass *m)
{
    const JointDef *joints = player_joint_table(record);
    double total = 0;
    for (int k = 0; k < NUM_JOINTS; k++) {
        if (sphere_order[k].carrier != body || !joints)
            continue;
        double r = joints[sphere_order[k].joint].radius;
        if (r > 0)
            total += density * 4.0 / 3.0 * M_PI * r * r * r;
    }
    if (total > 0) {
        double r = cbrt(total / (density * 4.0 / 3.0 * M_PI));
        dMassSetSphereTotal(m, total, r);
        return;
    }
    const BodyDef *bodies = player_body_table(record);
    if (bodies) {
        const float *a = bodies[body].alt_sides;
        if (a[0] > 0 && a[1] > 0 && a[2] > 0) {
            dMassSetBox(m, density, a[0], a[1], a[2]);
            return;
        }
    }
    dMassSetSphere(m, density, 0.05);
}

// How far from its centre a body is pushed and pulled: its farthest hinge
// anchor, or the far side of a joint sphere it carries, by the record's
// tables (the hinges join the bodies of the built-in table).
static double body_reach(int record, int body)
{
    const BodyDef *bodies = player_body_table(record);
    const JointDef *joints = player_joint_table(record);
    if (!bodies || !joints)
        return 0;
    double reach = 0;
    for (int k = 0; k < NUM_JOINTS; k++) {
        int j = sphere_order[k].joint;
        int carried = sphere_order[k].carrier == body;
        if (!carried && builtin_joint_table[j].body_a != body &&
            builtin_joint_table[j].body_b != body)
            continue;
        double d2 = 0;
        for (int a = 0; a < 3; a++) {
            double e = (double)joints[j].anchor[a] - (double)bodies[body].position[a];
            d2 += e * e;
        }
        double d = sqrt(d2) + (carried ? world_size(joints[j].radius) : 0.0);
        reach = fmax(reach, d);
    }
    return std::isfinite(reach) ? reach : 0;
}

// A body whose inertia is tiny beside its mass at its hinges (a shape much
// smaller than the distance to its joints) makes the step's constraint
// matrix so badly conditioned that its solver breaks down and ODE aborts.
// Every principal moment is kept at or above INERTIA_REACH_SHARE times the
// mass times the reach squared; the built-in bodies lie at 0.0128 and above,
// so they and every ordinary shape keep their own inertia.
static const double INERTIA_REACH_SHARE = 0.005;

static const double MASS_SPREAD = 1000;

static void floor_inertia(int record, int body, dMass *m)
{
    if (m->mass < SANE_MIN_BODY_MASS)
        dMassAdjust(m, SANE_MIN_BODY_MASS);   // as set_checked_mass would
    double reach = body_reach(record, body);
    double least = INERTIA_REACH_SHARE * m->mass * reach * reach;
    if (!std::isfinite(least))
        return;
    for (int k = 0; k < 3; k++)
        if (m->I[k * 4 + k] < least)
            m->I[k * 4 + k] = least;
}

int set_body_masses(int record, double density)
{
    if (!valid_record(record))
        return 1;
    PlayerState *p = &players[record];
    dMass masses[NUM_BODIES];
    double heaviest = 0;
    for (int i = 0; i < NUM_BODIES; i++) {
        dGeomID g = p->geom[i];
        if (!g || !p->body[i])
            return 1;
        dMass &m = masses[i];
        dMassSetZero(&m);
        int ok = 0;
        switch (dGeomGetClass(g)) {
        case dBoxClass: {
            dVector3 l;
            dGeomBoxGetLengths(g, l);
            if (l[0] > 0 && l[1] > 0 && l[2] > 0) {
                dMassSetBox(&m, density, l[0], l[1], l[2]);
                ok = 1;
            }
            break;
        }
        case dCapsuleClass: {
            dReal r, len;
            dGeomCapsuleGetParams(g, &r, &len);
            if (r > 0) {
                dMassSetCapsule(&m, density, 3, r, len);
                ok = 1;
            }
            break;
        }
        case dSphereClass: {
            dReal r = dGeomSphereGetRadius(g);
            if (r > 0) {
                dMassSetSphere(&m, density, r);
                ok = 1;
            }
            break;
        }
        default:
            return 1;
        }
        if (!ok || !(m.mass > 0))
            fallback_mass(record, i, density, &m);
        if (std::isfinite(m.mass))
            heaviest = fmax(heaviest, m.mass);
    }
    double total = 0;
    for (int i = 0; i < NUM_BODIES; i++) {
        dMass &m = masses[i];
        // A body far lighter than the rest of its fighter (the built-in
        // ones differ by less than ten times) is as badly conditioned as a
        // thin one: it is made at least the heaviest's MASS_SPREAD-th.
        if (std::isfinite(m.mass) && m.mass > 0 && m.mass < heaviest / MASS_SPREAD)
            dMassAdjust(&m, heaviest / MASS_SPREAD);
        floor_inertia(record, i, &m);
        set_checked_mass(p->body[i], &m);
        total += m.mass;
    }
    p->total_mass = total;
    return 0;
}

// ---- the world step ---------------------------------------------------------------------

static int body_mass_in(dBodyID b, double *lightest, double *heaviest)
{
    if (!b || !dBodyIsEnabled(b))
        return 1;
    dMass m;
    dBodyGetMass(b, &m);
    if (!std::isfinite(m.mass) || !(m.mass > 0))
        return 0;
    *lightest = fmin(*lightest, m.mass);
    *heaviest = fmax(*heaviest, m.mass);
    return 1;
}

int world_is_ordinary()
{
    if (!physics_world)
        return 1;
    dVector3 g;
    dWorldGetGravity(physics_world, g);
    if (!(g[0] * g[0] + g[1] * g[1] + g[2] * g[2] <= ORDINARY_GRAVITY * ORDINARY_GRAVITY))
        return 0;
    double lightest = INFINITY, heaviest = 0;
    for (int p = 0; p < MAX_PLAYERS; p++) {
        if (!players[p].body[0])
            continue;
        for (int j = 0; j < NUM_JOINTS; j++) {
            if (!(fabsf(joint_strength(p, j)) <= ORDINARY_MOTOR) ||
                !(fabsf(joint_velocity(p, j)) <= ORDINARY_MOTOR) ||
                !(world_size(joint_radius(p, j)) <= ORDINARY_JOINT_RADIUS))
                return 0;
        }
        for (int i = 0; i < NUM_BODIES; i++)
            if (!body_mass_in(players[p].body[i], &lightest, &heaviest))
                return 0;
    }
    for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
        if (env_bodies[i] && !body_mass_in(env_bodies[i]->body, &lightest, &heaviest))
            return 0;
        if (ghost_env_bodies[i] && !body_mass_in(ghost_env_bodies[i]->body, &lightest, &heaviest))
            return 0;
    }
    return heaviest <= lightest * ORDINARY_MASS_SPREAD;
}

void step_world(double step)
{
    if (!physics_world)
        return;
    if (world_is_ordinary()) {
        dWorldStep(physics_world, step);
    } else {
        dWorldQuickStep(physics_world, step);
    }
}

// ---- environment objects ---------------------------------------------------------

static void destroy_env_lists()
{
    for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
        destroy_env_object(env_bodies[i]);
        env_bodies[i] = nullptr;
        destroy_env_object(ghost_env_bodies[i]);
        ghost_env_bodies[i] = nullptr;
    }
}

// The objects' geom infos: one row per object slot, taken once per built
// world, so rebuilding the objects (console, scripts) reuses them instead
// of filling the table until new objects get none.
static int32_t env_info_base = -1;

static GeomInfo *env_geom_info(int i)
{
    if (env_info_base < 0 || env_info_base + NUM_ENV_OBJECTS > geom_info_count) {
        GeomInfo *first = new_geom_info();
        if (!first)
            return nullptr;
        env_info_base = first->serial;
        for (int k = 1; k < NUM_ENV_OBJECTS; k++)
            if (!new_geom_info())
                return nullptr;
    }
    GeomInfo *g = &geom_info[env_info_base + i];
    clear_geom_info(g, env_info_base + i);
    return g;
}

void build_env_objects()
{
    destroy_env_lists();
    if (!physics_world)
        return;
    for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
        const EnvObject *o = &current_world.objects[i];
        if (!o->used)
            continue;
        GeomInfo *gi = env_geom_info(i);
        if (gi) {
            gi->geom_class = GEOM_ENV;
            gi->body = i;
        }
        EnvTemplate t;
        memset(&t, 0, sizeof t);
        t.space = live_space;
        t.world = physics_world;
        for (int k = 0; k < 3; k++) {
            t.position[k] = o->position[k];
            t.sides[k] = o->sides[k];
            t.rotation[k] = o->rotation[k];
        }
        t.shape = o->shape <= SHAPE_CYLINDER ? (int32_t)o->shape : (int32_t)SHAPE_BOX;
        t.mass = o->mass;
        memcpy(t.material, o->material, sizeof t.material);
        t.flags = o->flags;
        t.info = gi;
        int is_static = (o->flags & ENV_STATIC) != 0;
        t.category = is_static ? category_bit[6] : category_bit[5];
        t.collide = is_static ? collide_mask[6] : collide_mask[5];
        EnvBody *live = new (std::nothrow) EnvBody;
        if (live && build_env_object(live, &t) == 0)
            env_bodies[i] = live;
        else
            delete live;

        t.space = ghost_space;
        if (!is_static) {
            t.category = category_bit[13];
            t.collide = collide_mask[13];
        }
        EnvBody *ghost = new (std::nothrow) EnvBody;
        if (ghost && build_env_object(ghost, &t) == 0)
            ghost_env_bodies[i] = ghost;
        else
            delete ghost;
    }
}

static void env_mass(const EnvTemplate *t, dMass *m)
{
    double total = t->mass > 0 && std::isfinite(t->mass) ? t->mass : 0.1;
    const double s[3] = {world_size(t->sides[0]), world_size(t->sides[1]),
                         world_size(t->sides[2])};
    dMassSetZero(m);
    if (t->shape == SHAPE_SPHERE && s[0] > 0)
        dMassSetSphereTotal(m, total, s[0]);
    else if (t->shape == SHAPE_CYLINDER && s[0] > 0)
        dMassSetCapsuleTotal(m, total, 3, s[0], s[1] > 0 ? s[1] : 0);
    else if (t->shape == SHAPE_BOX && s[0] > 0 && s[1] > 0 && s[2] > 0)
        dMassSetBoxTotal(m, total, s[0], s[1], s[2]);
    else
        dMassSetSphereTotal(m, total, 0.1);   // a shape without volume
}

int build_env_object(EnvBody *object, const EnvTemplate *t)
{
    if (!object || !t || !t->world || !t->space)
        return 1;
    *object = EnvBody();
    object->t = *t;
    int is_static = (t->flags & ENV_STATIC) != 0;
    if (!is_static)
        object->body = dBodyCreate(t->world);
    object->geom = make_shape_geom(t->space, t->shape, t->sides);
    env_mass(t, &object->mass);
    dMatrix3 R;
    dRFromEulerAngles(R, t->rotation[0], t->rotation[1], t->rotation[2]);
    dGeomSetRotation(object->geom, R);
    set_bits(object->geom, t->category, t->collide);
    dGeomSetData(object->geom, t->info);
    if (object->body) {
        dBodySetLinearVel(object->body, 0, 0, 0);
        dBodySetAngularVel(object->body, 0, 0, 0);
        dBodySetData(object->body, t->info);
        dGeomSetBody(object->geom, object->body);
        set_checked_mass(object->body, &object->mass);
        dBodyDisable(object->body);
    }
    dGeomEnable(object->geom);
    return 0;
}

void reset_env_object(EnvBody *object)
{
    if (!object || !object->geom)
        return;
    const EnvTemplate *t = &object->t;
    if (object->body)
        dGeomSetBody(object->geom, object->body);
    dGeomSetPosition(object->geom, t->position[0], t->position[1], t->position[2]);
    dMatrix3 R;
    dRFromEulerAngles(R, t->rotation[0], t->rotation[1], t->rotation[2]);
    dGeomSetRotation(object->geom, R);
    if (object->body) {
        dBodySetLinearVel(object->body, 0, 0, 0);
        dBodySetAngularVel(object->body, 0, 0, 0);
        dBodySetForce(object->body, 0, 0, 0);
        dBodySetTorque(object->body, 0, 0, 0);
        set_checked_mass(object->body, &object->mass);
        dBodyEnable(object->body);
    }
    dGeomEnable(object->geom);
}

void reset_env_objects()
{
    for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
        reset_env_object(env_bodies[i]);
        reset_env_object(ghost_env_bodies[i]);
    }
}

// The geom goes too: a rebuild of the objects must not leave the old geoms
// in the space, still colliding.
void destroy_env_object(EnvBody *object)
{
    if (!object)
        return;
    if (object->geom)
        dGeomDestroy(object->geom);
    if (object->body)
        dBodyDestroy(object->body);
    delete object;
}

EnvBody *get_env_body(int i)
{
    int k = i & 0xff;
    if (k >= NUM_ENV_OBJECTS)
        return nullptr;
    return env_bodies[k];
}

dGeomID get_mouse_ray() { return mouse_ray; }

// ---- blood drops and the mouse ray ------------------------------------------------

void create_blood_drops()
{
    if (!physics_world)
        return;
    for (int i = 0; i < NUM_BLOOD_DROPS; i++) {
        BloodDrop *d = &blood_drops[i];
        memset(d, 0, sizeof *d);
        d->owner = -1;
        d->body = dBodyCreate(physics_world);
        dBodySetPosition(d->body, 0, 0, 10 + i);
        d->size = (float)(fabs(2.0 * sin(tan((double)i))) * 0.01 + 0.005);
        d->size_factor = d->size;
        d->geom = dCreateSphere(live_space, 0.1);
        GeomInfo *gi = new_geom_info();
        if (gi) {
            gi->geom_class = GEOM_DROP;
            gi->drop = i;
        }
        dMass m;
        dMassSetBoxTotal(&m, 0.1, 1, 1, 1);
        set_checked_mass(d->body, &m);
        set_bits(d->geom, category_bit[7], collide_mask[7]);
        dGeomSetBody(d->geom, d->body);
        dGeomSetData(d->geom, gi);
        dBodySetData(d->body, gi);
        // Dormant until spawned: the body is not stepped and its shape takes
        // no part in collisions (as reset_blood_drops leaves every drop), so
        // the collision pass does not place 256 idle boxes every frame.
        dBodyDisable(d->body);
        dGeomDisable(d->geom);
    }
    float rgb[3];
    if (core_outward.palette_colour && core_outward.palette_colour(20, rgb) == 0)
        memcpy(default_blood_colour, rgb, sizeof rgb);
}

void create_mouse_ray()
{
    if (!live_space)
        return;
    mouse_ray = dCreateRay(live_space, 100);
    dGeomRaySet(mouse_ray, 3, 0.2, 2, 1, 1, 1);
    set_bits(mouse_ray, 0, 0);
}

// ---- tearing down ---------------------------------------------------------------------

void destroy_world()
{
    destroy_env_lists();
    if (contact_group)
        dJointGroupDestroy(contact_group);
    if (live_space)
        dSpaceDestroy(live_space);
    if (ghost_space)
        dSpaceDestroy(ghost_space);
    if (physics_world)
        dWorldDestroy(physics_world);
    physics_world = nullptr;
    live_space = ghost_space = nullptr;
    contact_group = nullptr;
    live_ground = ghost_ground = mouse_ray = nullptr;
    geom_info_count = 0;
    env_info_base = -1;
    fighters_built = 0;
    clear_collision_list();
    memset(blood_drops, 0, sizeof blood_drops);
    memset(players, 0, sizeof players);
    memset(record_row, 0, sizeof record_row);
}

int rebuild_world()
{
    return build_world(&default_world);
}

int load_mod_world(const char *name)
{
    destroy_world();
    char path[512];
    int len = snprintf(path, sizeof path, "data/mod/%s", name ? name : "");
    if (name && len > 0 && len < (int)sizeof path && read_mod(path) == 0) {
        assign_player_templates();
        build_world(&mod_world);
        return 1;
    }
    // Without a readable mod the fighters are the built-in ones.
    build_world(&default_world);
    return 0;
}

// ---- fighter helpers --------------------------------------------------------------------

void apply_body_forces()
{
    int n = match_state.num_players;
    if (n < 1)
        return;
    for (int r = 0; r < 2 * n && r < fighters_built && r < MAX_PLAYERS; r++) {
        const BodyDef *bodies = player_body_table(r % n);
        if (!bodies)
            continue;
        // The sign follows the fighter, so a ghost pushes like its fighter.
        double sign = ((r % n) % 2 == 0) ? -1.0 : 1.0;
        for (int b = 0; b < NUM_BODIES; b++) {
            const float *f = bodies[b].force;
            if ((f[0] == 0 && f[1] == 0 && f[2] == 0) || !players[r].body[b])
                continue;
            dBodySetForce(players[r].body[b], f[0], sign * f[1], f[2]);
        }
    }
}

static void set_player_enabled(int record, int on)
{
    if (!has_bodies(record))
        return;
    PlayerState *p = &players[record];
    for (int b = 0; b < NUM_BODIES; b++) {
        if (on) {
            dBodyEnable(p->body[b]);
            dGeomEnable(p->geom[b]);
        } else {
            dBodyDisable(p->body[b]);
            dGeomDisable(p->geom[b]);
        }
    }
    for (int j = 0; j < NUM_JOINTS; j++) {
        if (on)
            dGeomEnable(p->joint_geom[j]);
        else
            dGeomDisable(p->joint_geom[j]);
    }
    p->ghost_held = on ? 0 : 1;
}

void enable_player(int record) { set_player_enabled(record, 1); }
void disable_player(int record) { set_player_enabled(record, 0); }

void rotate_player(int record, double degrees)
{
    if (!has_bodies(record))
        return;
    PlayerState *p = &players[record];
    double a = degrees * M_PI / 180.0;
    dMatrix3 Rz;
    dRFromAxisAndAngle(Rz, 0, 0, 1, a);
    const dReal *c0 = dBodyGetPosition(p->body[0]);
    double c[3] = {c0[0], c0[1], c0[2]};
    double ca = cos(a), sa = sin(a);
    for (int b = 0; b < NUM_BODIES; b++) {
        dBodyID body = p->body[b];
        const dReal *pos = dBodyGetPosition(body);
        double dx = pos[0] - c[0], dy = pos[1] - c[1];
        double nz = pos[2];
        dBodySetPosition(body, c[0] + ca * dx - sa * dy, c[1] + sa * dx + ca * dy, nz);
        dMatrix3 R;
        dMultiply0_333(R, Rz, dBodyGetRotation(body));
        dBodySetRotation(body, R);
    }
}

static void set_motor(dJointID h, double vel, double fmax)
{
    dJointSetHingeParam(h, dParamVel, vel);
    dJointSetHingeParam(h, dParamFMax, fmax);
}

void hold_all(int record)
{
    if (!has_bodies(record))
        return;
    for (int j = 0; j < NUM_JOINTS; j++)
        set_motor(players[record].hinge[j], 0, 5);
}

void relax_all(int record)
{
    if (!has_bodies(record))
        return;
    for (int j = 0; j < NUM_JOINTS; j++)
        set_motor(players[record].hinge[j], 0, 0);
}

void hold_joint(int record, int joint)
{
    if (!has_bodies(record) || !valid_joint(joint))
        return;
    set_motor(players[record].hinge[joint], 0, hold_force(record, joint));
}

int relax_joint(int record, int joint)
{
    if (!has_bodies(record) || !valid_joint(joint))
        return 1;
    dGeomID s = dGeomTransformGetGeom(players[record].joint_geom[joint]);
    if (s && dGeomGetClass(s) == dSphereClass) {
        dGeomSphereSetRadius(s, world_size(joint_radius(record, joint)));
    }
    set_motor(players[record].hinge[joint], 0, 0);
    return 0;
}

void stop_player(int record)
{
    if (!has_bodies(record))
        return;
    PlayerState *p = &players[record];
    for (int b = 0; b < NUM_BODIES; b++) {
        dBodySetForce(p->body[b], 0, 0, 0);
        dBodySetTorque(p->body[b], 0, 0, 0);
        dBodySetLinearVel(p->body[b], 0, 0, 0);
        dBodySetAngularVel(p->body[b], 0, 0, 0);
    }
    for (int j = 0; j < NUM_JOINTS; j++)
        dJointSetHingeParam(p->hinge[j], dParamVel, 0);
}

void restore_body_collide(int record, int body)
{
    if (!has_bodies(record) || body < 0 || body >= NUM_BODIES)
        return;
    dGeomSetCollideBits(players[record].geom[body], body_collide(record, body));
}

void restore_sphere_collide(int record, int joint)
{
    if (!has_bodies(record) || !valid_joint(joint))
        return;
    dGeomSetCollideBits(players[record].joint_geom[joint], sphere_collide(record));
}

void sever_joint_geoms(int record, int joint)
{
    if (!has_bodies(record) || !valid_joint(joint))
        return;
    PlayerState *p = &players[record];
    dGeomSetCollideBits(p->geom[builtin_joint_table[joint].body_a], severed_mask);
    dGeomSetCollideBits(p->geom[builtin_joint_table[joint].body_b], severed_mask);
    dGeomSetCollideBits(p->joint_geom[joint], severed_mask);
    dJointAttach(p->hinge[joint], nullptr, nullptr);
}

double joint_stress(int record, int joint)
{
    if (!has_bodies(record) || !valid_joint(joint))
        return 0;
    const dJointFeedback &f = players[record].hinge_feedback[joint];
    double s = 0;
    for (int k = 0; k < 3; k++)
        s += f.f1[k] * f.f1[k] + f.t1[k] * f.t1[k];
    return s;
}

void get_joint_stress(int record, int joint, double out[3])
{
    out[0] = out[1] = out[2] = 0;
    if (!has_bodies(record) || !valid_joint(joint))
        return;
    const dJointFeedback &f = players[record].hinge_feedback[joint];
    for (int k = 0; k < 3; k++)
        out[k] = f.f1[k] * f.f1[k] + f.t1[k] * f.t1[k];
}

void adjust_hinge_param(int record, int joint, int param, double delta)
{
    if (!has_bodies(record) || !valid_joint(joint))
        return;
    dJointID h = players[record].hinge[joint];
    double v = dJointGetHingeParam(h, param) + delta;
    if (!(v > 0))
        fprintf(stderr, "new value less than 0\n");
    dJointSetHingeParam(h, param, v);
    fprintf(stderr, " set %f %s\n", v, joint_name(selected_joint));
}

// ---- environment state lines ----------------------------------------------------------

static int moving_object(int i)
{
    const EnvObject *o = &current_world.objects[i];
    return o->used && !(o->flags & ENV_STATIC) && env_bodies[i] && env_bodies[i]->body;
}

static void object_state(int i, double v[13])
{
    dBodyID b = env_bodies[i]->body;
    const dReal *p = dBodyGetPosition(b);
    const dReal *q = dBodyGetQuaternion(b);
    const dReal *w = dBodyGetAngularVel(b);
    const dReal *l = dBodyGetLinearVel(b);
    for (int k = 0; k < 3; k++) {
        v[k] = p[k];
        v[7 + k] = w[k];
        v[10 + k] = l[k];
    }
    for (int k = 0; k < 4; k++)
        v[3 + k] = q[k];
}

int format_env_state(char *buffer, int size)
{
    if (!buffer || size < 1)
        return 1;
    buffer[0] = '\0';
    int used = snprintf(buffer, size, "ENV 0;");
    if (used < 0 || used >= size) {
        buffer[0] = '\0';
        return 1;
    }
    for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
        if (!moving_object(i))
            continue;
        double v[13];
        object_state(i, v);
        for (int k = 0; k < 13; k++) {
            int n = snprintf(buffer + used, size - used, " %.8f", v[k]);
            if (n < 0 || n >= size - used) {
                buffer[used] = '\0';   // keep whole numbers only
                return 1;
            }
            used += n;
        }
    }
    if (used + 1 >= size) {
        buffer[used] = '\0';
        return 1;
    }
    buffer[used++] = '\n';
    buffer[used] = '\0';
    return 0;
}

static void put_le32(char *out, int32_t v)
{
    uint32_t u = (uint32_t)v;
    for (int k = 0; k < 4; k++)
        out[k] = (char)((u >> (8 * k)) & 0xff);
}

int format_env_state_packed(char *buffer, int size, int *length)
{
    if (length)
        *length = 0;
    if (!buffer || size < 1)
        return 1;
    buffer[0] = '\0';
    static const char head[] = "P_ENV 0;";
    int objects = 0;
    for (int i = 0; i < NUM_ENV_OBJECTS; i++)
        objects += moving_object(i);
    int words = 1 + 13 * objects;
    int need = (int)sizeof head + 4 * words + 1;   // text, NUL, tail, newline
    if (need > size)
        return 1;
    memcpy(buffer, head, sizeof head);
    int at = (int)sizeof head;
    put_le32(buffer + at, words);
    at += 4;
    for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
        if (!moving_object(i))
            continue;
        double v[13];
        object_state(i, v);
        for (int k = 0; k < 13; k++, at += 4)
            put_le32(buffer + at, to_millionths(v[k]));
    }
    buffer[at++] = '\n';
    if (length)
        *length = at;
    return 0;
}

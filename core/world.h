// The rigid-body world of a match: the ODE world, the live and the ghost
// collision spaces, the contact group, the ground planes, the fighters and
// their ghosts, the environment objects, the blood-drop bodies and the mouse
// ray; the one-time game start-up and the small physics helpers on fighters.
#pragma once

#include <cstdint>
#include <ode/ode.h>

#include "core/records.h"

// ---- geom user data ---------------------------------------------------------
enum {
    GEOM_BODY = 0,
    GEOM_JOINT = 1,
    GEOM_ENV = 2,
    GEOM_DROP = 3,
    GEOM_GROUND = 4
};

struct GeomInfo {
    PlayerState *owner;   // null for the ground and environment objects
    int32_t player;       // record index, -1 for ground and objects
    int32_t geom_class;   // GEOM_*
    int32_t body;         // carrying body (classes 0, 1), object index (class 2)
    int32_t joint;        // joint (class 1), the body's joint (class 0)
    int32_t part;         // 0..20 bodies, 21 + joint for spheres, -1 otherwise
    int32_t serial;       // own index in geom_info
    int32_t drop;         // blood-drop index (class 3)
};

enum { MAX_GEOM_INFO = 1024 };
extern GeomInfo geom_info[MAX_GEOM_INFO];
extern int32_t geom_info_count;

// ---- collision bits -----------------------------------------------------------
enum { COLLIDE_BITS = 14 };
extern uint32_t category_bit[COLLIDE_BITS];
extern uint32_t collide_mask[COLLIDE_BITS];
extern uint32_t severed_mask;
enum { GROUND_BIT = 128 };

// ---- environment objects ------------------------------------------------------
struct EnvTemplate {
    dSpaceID space;
    dWorldID world;
    double position[3];
    int32_t shape;
    double sides[3];
    uint32_t category;
    uint32_t collide;
    GeomInfo *info;
    double mass;
    int32_t material[5];
    double rotation[3];
    int32_t flags;
};

struct EnvBody {
    EnvTemplate t;
    dGeomID geom;
    dBodyID body;   // null for a static object
    dMass mass;
};

// ---- blood drops (the ring itself is driven by the blood code) -----------------
enum { NUM_BLOOD_DROPS = 256 };
struct BloodDrop {
    dGeomID geom;
    dBodyID body;
    int32_t life;
    const void *colour_source;
    float colour[3];
    int32_t kind;
    int32_t owner;
    float size;
    float size_factor;
};
extern BloodDrop blood_drops[NUM_BLOOD_DROPS];
extern float default_blood_colour[3];

// ---- stances ------------------------------------------------------------------------
enum { NUM_STANCES = 32 };
struct StanceSlot {
    char name[32];
    double origin[3];
    double position[NUM_BODIES][3];
    double quaternion[NUM_BODIES][4];
};
extern StanceSlot stance_slots[NUM_STANCES];
extern int32_t stance_count;   // slots filled by the last build

// ---- physics handles (all null after destroy_world) -------------------------------
extern dWorldID physics_world;
extern dSpaceID live_space;
extern dSpaceID ghost_space;
extern dJointGroupID contact_group;
extern dGeomID live_ground;
extern dGeomID ghost_ground;
extern dGeomID mouse_ray;
extern EnvBody *env_bodies[NUM_ENV_OBJECTS];
extern EnvBody *ghost_env_bodies[NUM_ENV_OBJECTS];
extern double world_step_size;   // 0.006 s

extern BodyDef default_body_templates[BODY_TABLE_ROWS];
extern JointDef default_joint_templates[JOINT_TABLE_ROWS];

// ---- start-up, building and tearing down ---------------------------------------------
void game_init();
void game_shutdown();
void fill_collision_tables();
int build_world(const WorldDescription *description);
void destroy_world();
int rebuild_world();
int load_mod_world(const char *name);
int build_player(const BodyDef *bodies, const JointDef *joints, int record, const char *name,
                 dSpaceID space, double x, double y, double z, uint32_t category,
                 uint32_t collide);
void add_body_part(int record, const JointDef *joints, double x, double y, double z);
int set_body_masses(int record, double density);
// dBodySetMass for a mass raised to the world's smallest one and checked
// with dMassCheck first (a mass that fails becomes a small sphere's).
void set_checked_mass(dBodyID body, dMass *m);
void build_env_objects();
int build_env_object(EnvBody *object, const EnvTemplate *t);
void reset_env_object(EnvBody *object);
void reset_env_objects();
void destroy_env_object(EnvBody *object);
void create_blood_drops();
void create_mouse_ray();

// ---- the world step ---------------------------------------------------------------------
// The exact step (dWorldStep) factorises each island's constraints with a
// pivoting solver. Far outside the make of the built-in fighters (motors
// hundreds of times theirs, masses spread over a hundred thousand times,
// joint spheres metres wide, a gravity of thousands) its factorisation can
// break down, and ODE then aborts the program. Such a world is stepped by
// the iterative solver (dWorldQuickStep), which cannot break down; every
// world inside the envelope, the built-in one and the shipped mods among
// them, keeps the exact step.
enum { ORDINARY_MOTOR = 1000 };          // strength and speed of any joint
constexpr double ORDINARY_MASS_SPREAD = 1e5;   // heaviest / lightest moving body
constexpr double ORDINARY_JOINT_RADIUS = 1.0;  // m
constexpr double ORDINARY_GRAVITY = 1000;      // m/s^2
enum { ITERATIVE_STEP_ITERATIONS = 50 };
int world_is_ordinary();   // 1: inside the envelope above
void step_world(double step);
// Moves a body so that its geom (a transform's inner geom) stays where it is
// after the body is turned by the rotation.
void move_body_to_geom(dBodyID body, dGeomID transform, const dMatrix3 rotation);

// ---- access layer pieces that need the world -------------------------------------------
EnvBody *get_env_body(int i);   // live copy of object i & 0xff; null when none
dGeomID get_mouse_ray();

// ---- fighter helpers --------------------------------------------------------------------
// The collision-table row of a record: 1..4 fighters, 9..12 ghosts.
int record_bits_row(int record);
uint32_t body_category(int record, int body);
uint32_t body_collide(int record, int body);
uint32_t sphere_collide(int record);
void apply_body_forces();
void enable_player(int record);
void disable_player(int record);
void rotate_player(int record, double degrees);
void hold_all(int record);
void relax_all(int record);
void hold_joint(int record, int joint);
int relax_joint(int record, int joint);
void stop_player(int record);
void restore_body_collide(int record, int body);
void restore_sphere_collide(int record, int joint);
void sever_joint_geoms(int record, int joint);
// The hinge's build-time anchor and axis in its first body's frame, and the
// attach that gives them back (after the bodies are placed).
void store_hinge_frame(int record, int joint);
// Every geom of both spaces back into one fixed order (start of a game).
void reset_space_order();
void attach_hinge(int record, int joint);
double joint_stress(int record, int joint);
void get_joint_stress(int record, int joint, double out[3]);
void adjust_hinge_param(int record, int joint, int param, double delta);
// Writes "ENV 0;" and thirteen values per moving object. Never writes more
// than size bytes (terminator included); 0 when the whole line fitted,
// 1 when it was cut short.
int format_env_state(char *buffer, int size);
// "P_ENV 0;" followed by a packed tail of the same values and "\n"; *length
// gets the bytes written. 0 when it fitted, 1 when it did not (nothing usable).
int format_env_state_packed(char *buffer, int size, int *length);

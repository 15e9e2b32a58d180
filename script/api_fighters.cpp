// Lua API on the fighters: player records, joint states and breaks, grips,
// the bodies' positions, sizes, rotations and velocities, and the joint
// spheres. Reads come from the player records and the physics objects;
// writes go to the same objects and, for positions, sizes and rotations,
// to the fighter's template in the current world description.
//
// Joint 20 and body 21 (one past the fighter's last) are accepted where a
// script may loop up to them; they read as zeros and change nothing.
#include "script/api_fighters.h"

// Geom transforms are the joint spheres' carriers.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include <GL/glew.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdio>
#include <cstring>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include "core/blood.h"
#include "core/motors.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/sane.h"
#include "core/rules.h"
#include "core/text.h"
#include "core/world.h"
#include "platform/loop.h"
#include "render/hud.h"
#include "render/texture.h"
#include "script/api_support.h"
#include "script/script_textures.h"

namespace {

const char PLAYER_RANGE[] = "player index out of range";
const char JOINT_RANGE[] = "joint index out of range";
const char BODY_RANGE[] = "body index out of range";
const char HAND_ID[] = "invalid hand id";
enum { HAND_RIGHT = 11, HAND_LEFT = 12, CHEST_BODY = 2 };

// The joint sphere inside its transform, or null.
dGeomID joint_sphere(int p, int j)
{
    if (!has_bodies(p) || j < 0 || j >= NUM_JOINTS || !players[p].joint_geom[j])
        return nullptr;
    dGeomID t = players[p].joint_geom[j];
    if (dGeomGetClass(t) != dGeomTransformClass)
        return t;
    return dGeomTransformGetGeom(t);
}

// The joint sphere's world position; zeros when there is none.
void joint_world_position(int p, int j, double out[3])
{
    out[0] = out[1] = out[2] = 0;
    dGeomID sphere = joint_sphere(p, j);
    if (!sphere)
        return;
    double rotation[12];
    if (dGeomGetClass(players[p].joint_geom[j]) == dGeomTransformClass)
        geom_world_pose(players[p].joint_geom[j], out, rotation);
    else
        geom_world_pose(sphere, out, rotation);
}

dBodyID body_of(int p, int b)
{
    if (!has_bodies(p) || b < 0 || b >= NUM_BODIES)
        return nullptr;
    return players[p].body[b];
}

int hand_arg(lua_State *L, int arg)
{
    int h = api_whole(L, arg);
    if (h != HAND_RIGHT && h != HAND_LEFT)
        luaL_error(L, "%s", HAND_ID);
    return h;
}

void push_three(lua_State *L, const double v[3])
{
    for (int k = 0; k < 3; k++)
        lua_pushnumber(L, v[k]);
}

void set_number(lua_State *L, const char *name, double value)
{
    lua_pushnumber(L, value);
    lua_setfield(L, -2, name);
}

void push_xyz_table(lua_State *L, const double v[3])
{
    lua_createtable(L, 0, 3);
    set_number(L, "x", (float)v[0]);
    set_number(L, "y", (float)v[1]);
    set_number(L, "z", (float)v[2]);
}

// The writable template rows of a fighter (null when the world has none).
BodyDef *body_template(int p, int b)
{
    if (p < 0 || p >= MAX_PLAYERS || b < 0 || b >= NUM_BODIES || !current_world.body_tables[p])
        return nullptr;
    return &current_world.body_tables[p][b];
}

JointDef *joint_template(int p, int j)
{
    if (p < 0 || p >= MAX_PLAYERS || j < 0 || j >= NUM_JOINTS || !current_world.joint_tables[p])
        return nullptr;
    return &current_world.joint_tables[p][j];
}

// Three finite numbers at arguments first..first+2, else the usage text.
void read_vector(lua_State *L, int first, double limit, const char *usage, double out[3])
{
    for (int k = 0; k < 3; k++)
        out[k] = api_finite(L, first + k, limit, usage);
}

// The scene's camera as the 3D pass left it: scripts project from the 2D
// pass too, where the GL matrices are the 2D ones.
struct SceneProjection {
    int valid;
    GLdouble modelview[16], projection[16];
    GLint viewport[4];
};
SceneProjection scene_projection;

// Window position (y from the top) and depth of a world point; 0 when it
// could be projected.
int project_point(double x, double y, double z, double out[3])
{
    out[0] = out[1] = out[2] = 0;
    if (!script_gl_ready || !std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z))
        return 1;
    if (!scene_projection.valid)
        return project_to_screen(x, y, z, out) == GL_TRUE ? 0 : 1;
    const SceneProjection &s = scene_projection;
    if (gluProject(x, y, z, s.modelview, s.projection, s.viewport, &out[0], &out[1], &out[2]) != GL_TRUE)
        return 1;
    out[1] = s.viewport[1] + s.viewport[3] - out[1];
    return 0;
}

}  // namespace

void remember_scene_projection()
{
    if (!script_gl_ready)
        return;
    glGetDoublev(GL_MODELVIEW_MATRIX, scene_projection.modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, scene_projection.projection);
    glGetIntegerv(GL_VIEWPORT, scene_projection.viewport);
    scene_projection.valid = 1;
}

// ---- player and joint queries -----------------------------------------------------

int lua_get_player_info(lua_State *L)
{
    api_need_args(L, 1, "Usage: get_player_info(integer player_index)\n");
    int p = api_player(L, 1, PLAYER_RANGE);
    const PlayerState &ps = players[p];
    lua_createtable(L, 0, 4);
    lua_pushlstring(L, ps.name, strnlen(ps.name, sizeof ps.name));
    lua_setfield(L, -2, "name");
    set_number(L, "injury", ps.injury);
    set_number(L, "score", ps.score);
    lua_pushinteger(L, ps.num_textures);
    lua_setfield(L, -2, "num_textures");
    return 1;
}

int lua_get_joint_info(lua_State *L)
{
    api_need_args(L, 2, "Usage: get_joint_info(integer player_index, integer joint_index)\n");
    int p = api_player(L, 1, "Player index out of range");
    int j = api_index(L, 2, NUM_JOINTS - 1, "Joint index out of range");
    int state = current_joint_state(p, j);
    const JointDef *table = player_joint_table(p);
    lua_createtable(L, 0, 4);
    lua_pushinteger(L, state);
    lua_setfield(L, -2, "state");
    lua_pushstring(L, joint_state_display_name(state, j));
    lua_setfield(L, -2, "screen_state");
    lua_pushstring(L, joint_display_name(j));
    lua_setfield(L, -2, "name");
    lua_pushstring(L, table && table[j].name ? table[j].name : "");
    lua_setfield(L, -2, "mod_name");
    return 1;
}

int lua_get_joint_pos(lua_State *L)
{
    api_need_args(L, 2, "Usage: x, y, z = get_joint_pos(integer player_index, integer joint_index)\n");
    int p = api_player(L, 1, PLAYER_RANGE);
    int j = api_index(L, 2, NUM_JOINTS, JOINT_RANGE);
    double v[3];
    joint_world_position(p, j, v);
    push_three(L, v);
    return 3;
}

int lua_get_joint_pos2(lua_State *L)
{
    api_need_args(L, 2, "Usage: get_joint_pos2(integer player_index, integer joint_index)\n");
    int p = api_player(L, 1, PLAYER_RANGE);
    int j = api_index(L, 2, NUM_JOINTS, JOINT_RANGE);
    double v[3];
    joint_world_position(p, j, v);
    push_xyz_table(L, v);
    return 1;
}

int lua_get_joint_radius(lua_State *L)
{
    api_need_args(L, 1, "Usage: get_joint_radius(integer player_index, integer joint_index)\n");
    int p = api_player(L, 1, PLAYER_RANGE);
    int j = api_index(L, 2, NUM_JOINTS, JOINT_RANGE);
    double radius = 0;
    dGeomID sphere = joint_sphere(p, j);
    if (sphere && dGeomGetClass(sphere) == dSphereClass)
        radius = dGeomSphereGetRadius(sphere);
    else if (j < NUM_JOINTS)
        radius = joint_radius(p, j);
    lua_pushnumber(L, radius);
    return 1;
}

int lua_get_joint_screen_pos(lua_State *L)
{
    api_need_args(L, 2,
                  "Usage: x,y,z = get_joint_screen_pos(integer player_index, integer joint_index)\n");
    int p = api_player(L, 1, PLAYER_RANGE);
    int j = api_index(L, 2, NUM_JOINTS - 1, JOINT_RANGE);
    double out[3] = {0, 0, 0};
    if (has_bodies(p) && players[p].hinge[j]) {
        dVector3 anchor;
        dJointGetHingeAnchor(players[p].hinge[j], anchor);
        project_point(anchor[0], anchor[1], anchor[2], out);
    }
    push_three(L, out);
    return 3;
}

int lua_get_screen_pos(lua_State *L)
{
    api_need_args(L, 2, "Usage: x,y,z = get_screen_pos(number x, number y, number z)\n");
    double x = luaL_checknumber(L, 1), y = luaL_checknumber(L, 2), z = luaL_checknumber(L, 3);
    double out[3];
    project_point(x, y, z, out);
    for (int k = 0; k < 3; k++) {
        double v = std::isfinite(out[k]) && std::fabs(out[k]) < 1e9 ? out[k] : 0;
        lua_pushinteger(L, (lua_Integer)v);
    }
    return 3;
}

static int joint_break_state(int p, int j)
{
    return has_bodies(p) && j < NUM_JOINTS ? players[p].joints[j].broken : JOINT_INTACT;
}

static int push_break_flag(lua_State *L, const char *usage, int kind)
{
    api_need_args(L, 2, usage);
    int p = api_player(L, 1, PLAYER_RANGE);
    int j = api_index(L, 2, NUM_JOINTS, JOINT_RANGE);
    lua_pushboolean(L, joint_break_state(p, j) == kind);
    return 1;
}

int lua_get_joint_dismember(lua_State *L)
{
    return push_break_flag(
        L, "Usage: bool dismembered = get_joint_dismember(integer player_index, integer joint_index)\n",
        JOINT_DISMEMBERED);
}

int lua_get_joint_fracture(lua_State *L)
{
    return push_break_flag(
        L, "Usage: bool fractured = get_joint_fracture(integer player_index, integer joint_index)\n",
        JOINT_FRACTURED);
}

// ---- joint changes ------------------------------------------------------------------

int lua_set_joint_state(lua_State *L)
{
    api_need_args(L, 3,
                  "Usage: set_joint_state(integer player_index, integer joint_index, integer joint_state)\n");
    int p = api_player(L, 1, PLAYER_RANGE);
    int j = api_index(L, 2, NUM_JOINTS, JOINT_RANGE);
    int state = api_whole(L, 3);
    if (state < MOTOR_FWD || state > MOTOR_RELAX)
        return luaL_error(L, "invalid joint state");
    if (j < NUM_JOINTS && joint_break_state(p, j) == JOINT_INTACT)
        set_commanded_joint_state(p, j, state);
    return 0;
}

static int request_break(lua_State *L, const char *usage, int kind)
{
    api_need_args(L, 2, usage);
    int p = api_player(L, 1, PLAYER_RANGE);
    int j = api_index(L, 2, NUM_JOINTS, JOINT_RANGE);
    // Carried out by the next simulated frame's break test.
    if (j < NUM_JOINTS && has_bodies(p) && players[p].joints[j].broken == JOINT_INTACT)
        players[p].joints[j].cut_pending = kind;
    return 0;
}

int lua_dismember_joint(lua_State *L)
{
    return request_break(L, "Usage: dismember_joint(integer player_index, integer joint_index)\n",
                         JOINT_DISMEMBERED);
}

int lua_fracture_joint(lua_State *L)
{
    return request_break(L, "Usage: fracture_joint(integer player_index, integer joint_index)\n",
                         JOINT_FRACTURED);
}

int lua_set_joint_radius(lua_State *L)
{
    api_need_args(L, 2,
                  "Usage: set_joint_radius(integer player_index, integer joint_index, number radius)\n");
    int p = api_player(L, 1, PLAYER_RANGE);
    int j = api_index(L, 2, NUM_JOINTS, JOINT_RANGE);
    float radius = (float)luaL_checknumber(L, 3);
    if (!(radius > 0) || !std::isfinite(radius) || !sane_size(radius)) {
        char shown[48];
        snprintf(shown, sizeof shown, "%g", (double)radius);
        refuse_input("set_joint_radius", shown);
        return luaL_error(L, "invalid radius");
    }
    if (j >= NUM_JOINTS)
        return 0;
    dGeomID sphere = joint_sphere(p, j);
    if (sphere && dGeomGetClass(sphere) == dSphereClass)
        dGeomSphereSetRadius(sphere, radius);
    if (JointDef *row = joint_template(p, j))
        row->radius = radius;
    n_strncpyz(current_rules.mod, "custom_creation", sizeof current_rules.mod);
    return 0;
}

int lua_set_joint_pos(lua_State *L)
{
    const char *usage =
        "Usage: set_joint_pos(integer player_index, integer joint_index, number x, number y, number z)\n";
    api_need_args(L, 5, usage);
    int p = api_player(L, 1, PLAYER_RANGE);
    int j = api_index(L, 2, NUM_JOINTS, JOINT_RANGE);
    double v[3];
    read_vector(L, 3, API_WORLD_LIMIT, usage, v);
    if (j >= NUM_JOINTS)
        return 0;
    if (JointDef *row = joint_template(p, j))
        for (int k = 0; k < 3; k++)
            row->anchor[k] = (float)v[k];
    if (!has_bodies(p))
        return 0;
    dGeomID t = players[p].joint_geom[j];
    if (t && dGeomGetClass(t) == dGeomTransformClass) {
        dGeomID sphere = dGeomTransformGetGeom(t);
        dBodyID body = dGeomGetBody(t);
        if (sphere && body) {
            const dReal *b = dBodyGetPosition(body);
            dGeomSetPosition(sphere, v[0] - b[0], v[1] - b[1], v[2] - b[2]);
        }
    }
    if (players[p].hinge[j])
        dJointSetHingeAnchor(players[p].hinge[j], v[0], v[1], v[2]);
    return 0;
}

// ---- bodies -------------------------------------------------------------------------

int lua_get_body_info(lua_State *L)
{
    api_need_args(L, 2, "Usage: body = get_body_info(integer player_index, integer body_index)\n");
    int p = api_player(L, 1, "Player index out of range");
    int b = api_index(L, 2, NUM_BODIES - 1, "Body index out of range");
    const BodyDef *table = player_body_table(p);
    double pos[3] = {0, 0, 0}, rot[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}, sides[3] = {0, 0, 0};
    dGeomID g = has_bodies(p) ? players[p].geom[b] : nullptr;
    if (g) {
        geom_world_pose(g, pos, rot);
        dGeomID shape = dGeomGetClass(g) == dGeomTransformClass ? dGeomTransformGetGeom(g) : g;
        switch (shape ? dGeomGetClass(shape) : -1) {
        case dSphereClass:
            sides[0] = dGeomSphereGetRadius(shape);
            break;
        case dBoxClass: {
            dVector3 lengths;
            dGeomBoxGetLengths(shape, lengths);
            for (int k = 0; k < 3; k++)
                sides[k] = lengths[k];
            break;
        }
        case dCapsuleClass: {
            dReal radius, length;
            dGeomCapsuleGetParams(shape, &radius, &length);
            sides[0] = radius;
            sides[1] = length;
            break;
        }
        default:
            break;
        }
    }
    lua_createtable(L, 0, 5);
    lua_pushstring(L, body_name(b));
    lua_setfield(L, -2, "name");
    lua_pushstring(L, table && table[b].name ? table[b].name : "");
    lua_setfield(L, -2, "mod_name");
    push_xyz_table(L, pos);
    lua_setfield(L, -2, "pos");
    lua_createtable(L, 0, 16);
    for (int i = 0; i < 16; i++) {
        char key[8];
        snprintf(key, sizeof key, "r%d", i);
        set_number(L, key, i < 12 ? (float)rot[i] : (i == 15 ? 1.0 : 0.0));
    }
    lua_setfield(L, -2, "rot");
    push_xyz_table(L, sides);
    lua_setfield(L, -2, "sides");
    return 1;
}

int lua_set_body_pos(lua_State *L)
{
    const char *usage =
        "Usage: set_body_pos(integer player_index, integer body_index, number x, number y, number z)\n";
    api_need_args(L, 5, usage);
    int p = api_player(L, 1, PLAYER_RANGE);
    int b = api_index(L, 2, NUM_BODIES, BODY_RANGE);
    double v[3];
    read_vector(L, 3, API_WORLD_LIMIT, usage, v);
    if (BodyDef *row = body_template(p, b))
        for (int k = 0; k < 3; k++)
            row->position[k] = (float)v[k];
    if (dBodyID body = body_of(p, b))
        dBodySetPosition(body, (float)v[0], (float)v[1], (float)v[2]);
    return 0;
}

int lua_set_body_sides(lua_State *L)
{
    const char *usage =
        "Usage: set_body_sides(integer player_index, integer body_index, number x, number y, number z)\n";
    api_need_args(L, 5, usage);
    int p = api_player(L, 1, PLAYER_RANGE);
    int b = api_index(L, 2, NUM_BODIES, BODY_RANGE);
    double v[3];
    read_vector(L, 3, API_WORLD_LIMIT, usage, v);
    if (v[0] < 0 || v[1] < 0 || v[2] < 0)
        return 0;
    for (int k = 0; k < 3; k++)
        if (!sane_size(v[k])) {
            char shown[96];
            snprintf(shown, sizeof shown, "%g %g %g", v[0], v[1], v[2]);
            refuse_input("set_body_sides", shown);
            return luaL_error(L, "invalid sides");
        }
    BodyDef *row = body_template(p, b);
    if (!row)
        return 0;
    for (int k = 0; k < 3; k++)
        row->sides[k] = (float)v[k];
    set_hand_geom_size(p, b, 0);
    return 0;
}

int lua_set_body_rotation(lua_State *L)
{
    const char *usage =
        "Usage: set_body_rotation(integer player_index, integer body_index, number x, number y, number z)\n";
    api_need_args(L, 5, usage);
    int p = api_player(L, 1, PLAYER_RANGE);
    int b = api_index(L, 2, NUM_BODIES, BODY_RANGE);
    double v[3];
    read_vector(L, 3, API_WORLD_LIMIT, usage, v);
    // Takes effect when the world is built again.
    if (BodyDef *row = body_template(p, b))
        for (int k = 0; k < 3; k++)
            row->rotation[k] = (float)v[k];
    return 0;
}

static int push_body_vector(lua_State *L, const char *usage, const dReal *(*read)(dBodyID))
{
    api_need_args(L, 2, usage);
    int p = api_player(L, 1, PLAYER_RANGE);
    int b = api_index(L, 2, NUM_BODIES - 1, BODY_RANGE);
    double v[3] = {0, 0, 0};
    if (dBodyID body = body_of(p, b)) {
        const dReal *r = read(body);
        for (int k = 0; k < 3; k++)
            v[k] = r[k];
    }
    push_three(L, v);
    return 3;
}

int lua_get_body_linear_vel(lua_State *L)
{
    return push_body_vector(L, "Usage: x, y, z = get_body_linear_vel( integer player, integer bodypart )\n",
                            dBodyGetLinearVel);
}

int lua_get_body_angular_vel(lua_State *L)
{
    return push_body_vector(L, "Usage: x, y, z = get_body_angular_vel( integer player, integer bodypart )\n",
                            dBodyGetAngularVel);
}

static int set_body_vector(lua_State *L, const char *usage, void (*write)(dBodyID, dReal, dReal, dReal))
{
    api_need_args(L, 5, usage);
    int p = api_player(L, 1, PLAYER_RANGE);
    int b = api_index(L, 2, NUM_BODIES - 1, BODY_RANGE);
    double v[3];
    read_vector(L, 3, API_WORLD_LIMIT, usage, v);
    if (dBodyID body = body_of(p, b))
        write(body, v[0], v[1], v[2]);
    return 0;
}

int lua_set_body_force(lua_State *L)
{
    return set_body_vector(
        L, "Usage, set_body_force( integer player, integer bodypart, number x, number y, number z )\n",
        dBodySetForce);
}

int lua_set_body_torque(lua_State *L)
{
    return set_body_vector(
        L, "Usage, set_body_torque( integer player, integer bodypart, number x, number y, number z )\n",
        dBodySetTorque);
}

int lua_get_head_info(lua_State *L)
{
    // The body part is kept inside the fighter's texture slots.
    int b = api_index(L, 1, NUM_BODIES - 1, BODY_RANGE);
    int failed = 1;
    if (script_gl_ready)
        failed = load_player_body_texture(0, b, "customise", "data/script");
    lua_pushinteger(L, failed == 1 ? 0 : b);
    return 1;
}

int lua_draw_ground_impact(lua_State *L)
{
    api_need_args(L, 1, "Usage: draw_ground_impact(integer player_index)\n");
    int p = api_player(L, 1, PLAYER_RANGE);
    if (core_outward.clear_ground_impacts)
        core_outward.clear_ground_impacts();
    double *point = match_state.dq_position[p];
    point[0] = point[1] = point[2] = 0;
    if (dBodyID chest = body_of(p, CHEST_BODY)) {
        const dReal *c = dBodyGetPosition(chest);
        point[0] = c[0];
        point[1] = c[1];
    }
    if (core_outward.mark_ground_impact)
        core_outward.mark_ground_impact(point);
    return 0;
}

// ---- grips --------------------------------------------------------------------------

int lua_get_grip_info(lua_State *L)
{
    api_need_args(L, 2, "Usage: get_grip_info( integer player_index, integer hand_id)\n");
    int p = api_player(L, 1, PLAYER_RANGE);
    int h = hand_arg(L, 2);
    const PlayerState &ps = players[p];
    int request = h == HAND_RIGHT ? ps.grip_req_r : ps.grip_req_l;
    int state = h == HAND_RIGHT ? ps.grip_r : ps.grip_l;
    lua_pushinteger(L, request == GRIP_GRIP || (request == GRIP_NONE && state == GRIP_GRIP) ? 1 : 0);
    return 1;
}

int lua_set_grip_info(lua_State *L)
{
    api_need_args(L, 3,
                  "Usage: set_grip_info( integer player_index, integer hand_id, integer grip_state)\n");
    int p = api_player(L, 1, PLAYER_RANGE);
    int h = hand_arg(L, 2);
    int state = api_whole(L, 3);
    if (current_rules.flags & 4)
        return 0;
    set_grip(p, h, state != 0 ? GRIP_GRIP : GRIP_RELEASE);
    return 0;
}

int lua_get_grip_lock(lua_State *L)
{
    api_need_args(L, 2, "Usage: get_grip_lock(integer player_index, integer hand_id)\n");
    int p = api_player(L, 1, PLAYER_RANGE);
    int h = hand_arg(L, 2);
    dJointID grip = has_bodies(p) ? players[p].grip_joint[h] : nullptr;
    if (!grip) {
        lua_pushinteger(L, -1);
        return 1;
    }
    int owner = -1, geom_class = GEOM_ENV, part = -1;
    if (players[p].grip_target[h] < 0) {
        dBodyID hand = players[p].body[h];
        dBodyID other = dJointGetBody(grip, 0) == hand ? dJointGetBody(grip, 1) : dJointGetBody(grip, 0);
        for (int r = 0; r < fighters_built && r < MAX_PLAYERS && owner < 0; r++)
            for (int b = 0; b < NUM_BODIES; b++)
                if (other && players[r].body[b] == other) {
                    owner = r;
                    geom_class = GEOM_BODY;
                    part = b;
                    break;
                }
    }
    dVector3 anchor;
    dJointGetHingeAnchor(grip, anchor);
    lua_pushinteger(L, owner);
    lua_pushinteger(L, geom_class);
    lua_pushinteger(L, part);
    for (int k = 0; k < 3; k++)
        lua_pushnumber(L, anchor[k]);
    return 6;
}

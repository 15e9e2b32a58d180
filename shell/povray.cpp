#include "shell/povray.h"

#include <ode/ode.h>
#include <cstring>

#include "core/ground_impacts.h"
#include "core/records.h"
#include "core/safe_file.h"
#include "core/text.h"
#include "core/world.h"
#include "platform/camera.h"
#include "render/fighter_draw.h"
#include "shell/customs.h"
#include "shell/palette.h"

FILE *pov_animation_file = nullptr;
int pov_animation_frames = 0;

enum { BLOOD_PALETTE_ROW = 20, WHITE_PALETTE_ROW = 1 };

static const char kHeader[] = "#include \"glossy.inc\"\n";

static void zero3(double v[3]) { v[0] = v[1] = v[2] = 0; }

static void copy3(double out[3], const dReal *in)
{
    for (int k = 0; k < 3; k++)
        out[k] = in ? in[k] : 0;
}

// The 3x3 part of an ODE 3x4 rotation, row by row.
static void rotation9(dGeomID g, double out[9])
{
    const dReal *r = dGeomGetRotation(g);
    for (int row = 0; row < 3; row++)
        for (int col = 0; col < 3; col++)
            out[row * 3 + col] = r[row * 4 + col];
}

static void body_velocities(dBodyID b, double lin[3], double ang[3])
{
    if (b) {
        copy3(lin, dBodyGetLinearVel(b));
        copy3(ang, dBodyGetAngularVel(b));
    } else {
        zero3(lin);
        zero3(ang);
    }
}

static void write_camera(FILE *f)
{
    fprintf(f, "Camera(%f, %f, %f,  %f, %f, %f)\n", camera_state.position[0],
            camera_state.position[1], camera_state.position[2], camera_state.lookat[0],
            camera_state.lookat[1], camera_state.lookat[2]);
}

static void write_blood(FILE *f)
{
    fputs("blob {\n", f);
    for (int i = 0; i < NUM_BLOOD_DROPS; i++) {
        const BloodDrop &d = blood_drops[i];
        double pos[3], lin[3], ang[3], radius = 0;
        zero3(pos);
        if (d.geom) {
            copy3(pos, dGeomGetPosition(d.geom));
            if (dGeomGetClass(d.geom) == dSphereClass)
                radius = dGeomSphereGetRadius(d.geom);
        }
        body_velocities(d.body, lin, ang);
        int c = d.owner >= 0 && d.owner < MAX_PLAYERS ? fighter_looks[d.owner].blood_colour : 0;
        float rgb[3];
        get_colour_rgb(c ? c : BLOOD_PALETTE_ROW, rgb);
        fprintf(f, "Blood (%f, %f, %f, %f, %f, %f, %f, %f, %f, %f, %.2f, %.2f, %.2f)\n", pos[0],
                pos[1], pos[2], radius, lin[0], lin[1], lin[2], ang[0], ang[1], ang[2], rgb[0],
                rgb[1], rgb[2]);
    }
    fputs("}\n", f);
}

static int scene_fighter_count()
{
    int n = match_state.num_players;
    return n < 0 ? 0 : n > MAX_FIGHTERS ? MAX_FIGHTERS : n;
}

static int joint_colour(int p, int j)
{
    const PlayerCustoms &c = player_customs[p];
    int col;
    if (replay_mode == 1)
        col = c.rep_col[j];
    else
        col = players[p].joint_state[j] == 3 ? c.force_col[j] : c.relax_col[j];
    return col ? col : WHITE_PALETTE_ROW;
}

static void write_joints(FILE *f)
{
    for (int p = 0; p < scene_fighter_count(); p++) {
        for (int j = 0; j < NUM_JOINTS; j++) {
            dGeomID t = players[p].joint_geom[j];
            if (!t)
                continue;
            dGeomID inner = dGeomGetClass(t) == dGeomTransformClass ? dGeomTransformGetGeom(t) : t;
            dBodyID b = dGeomGetBody(t);
            double pos[3], lin[3], ang[3], radius = 0;
            zero3(pos);
            if (inner && dGeomGetClass(inner) == dSphereClass)
                radius = dGeomSphereGetRadius(inner);
            if (b && inner && inner != t) {
                const dReal *local = dGeomGetPosition(inner);
                dVector3 world;
                dBodyGetRelPointPos(b, local[0], local[1], local[2], world);
                copy3(pos, world);
            } else if (b || inner == t) {
                copy3(pos, dGeomGetPosition(t));
            }
            body_velocities(b, lin, ang);
            float rgb[3];
            get_colour_rgb(joint_colour(p, j), rgb);
            fprintf(f,
                    "Joint (%f, %f, %f, %f, %f, %f, %f, %f, %f, %f, %.1f, %.1f, %.1f)// %s\n",
                    pos[0], pos[1], pos[2], radius, lin[0], lin[1], lin[2], ang[0], ang[1], ang[2],
                    rgb[0], rgb[1], rgb[2], joint_name(j));
        }
    }
}

static int default_colour(int p)
{
    int c = fighter_looks[p].main_colour;
    return c ? c : default_fighter_colours[p];
}

// The colour of body part b of fighter p, bruises included.
static void body_colour(int p, int b, float rgb[3])
{
    const PlayerCustoms &c = player_customs[p];
    int gradient = c.grad_col1[b] || c.grad_col2[b];
    if (b != 1 && b != 2 && b != 5 && b != 8) {
        if (gradient) {
            float a[3], z[3];
            get_colour_rgb(c.grad_col1[b], a);
            get_colour_rgb(c.grad_col2[b], z);
            blend_rgb(a, 0.6f, z, rgb);
        } else {
            rgb[0] = rgb[1] = rgb[2] = 1;
        }
    } else {
        int row;
        if (gradient)
            row = c.body_col[b];
        else if (b == 2)
            row = c.body_col[1] ? c.body_col[1] : default_colour(p);
        else
            row = default_colour(p);
        get_colour_rgb(row, rgb);
    }
    float bruise = fighter_looks[p].body_bruise[b];
    if (bruise >= 0.001f) {
        int bc = fighter_looks[p].blood_colour;
        float red[3] = {1, 0, 0};
        if (bc)
            get_colour_rgb(bc, red);
        float base[3] = {rgb[0], rgb[1], rgb[2]};
        blend_rgb(red, bruise, base, rgb);
    }
}

static void write_bodies(FILE *f)
{
    for (int p = 0; p < scene_fighter_count(); p++) {
        for (int b = 0; b < NUM_BODIES; b++) {
            dGeomID g = players[p].geom[b];
            if (!g)
                continue;
            float c[3];
            body_colour(p, b, c);
            double pos[3], rot[9], lin[3], ang[3];
            copy3(pos, dGeomGetPosition(g));
            rotation9(g, rot);
            body_velocities(players[p].body[b], lin, ang);
            const char *name = body_name(b);
            int cls = dGeomGetClass(g);
            if (cls == dBoxClass) {
                dVector3 s;
                dGeomBoxGetLengths(g, s);
                fprintf(f,
                        "Body (%f, %f, %f,  %f, %f, %f,    %f, %f, %f,   %f, %f, %f,   %f, %f, "
                        "%f,   %f,  %f,  %f, %f, %f, %f, %f, %f, %f) //%s sides, pos, rot, vel, "
                        "angvel\n",
                        c[0], c[1], c[2], s[0], s[1], s[2], pos[0], pos[1], pos[2], rot[0], rot[1],
                        rot[2], rot[3], rot[4], rot[5], rot[6], rot[7], rot[8], lin[0], lin[1],
                        lin[2], ang[0], ang[1], ang[2], name);
            } else if (cls == dCapsuleClass) {
                dReal radius = 0, length = 0;
                dGeomCapsuleGetParams(g, &radius, &length);
                fprintf(f,
                        "BodyCapsule (%f, %f, %f,  %f, %f,  %f, %f, %f,  %f, %f, %f,  %f, %f, "
                        "%f,  %f, %f, %f,  %f, %f, %f, %f, %f, %f) //%s sides, pos, rot, vel, "
                        "angvel\n",
                        c[0], c[1], c[2], radius, length, pos[0], pos[1], pos[2], rot[0], rot[1],
                        rot[2], rot[3], rot[4], rot[5], rot[6], rot[7], rot[8], lin[0], lin[1],
                        lin[2], ang[0], ang[1], ang[2], name);
            } else if (cls == dSphereClass) {
                fprintf(f,
                        "BodySphere (%f , %f , %f, %f,  %f, %f, %f,  %f, %f, %f,  %f, %f, %f,  "
                        "%f, %f, %f, %f, %f, %f, %f, %f, %f) //%s sides, pos, rot, vel, angvel\n",
                        c[0], c[1], c[2], dGeomSphereGetRadius(g), pos[0], pos[1], pos[2], rot[0],
                        rot[1], rot[2], rot[3], rot[4], rot[5], rot[6], rot[7], rot[8], lin[0],
                        lin[1], lin[2], ang[0], ang[1], ang[2], name);
            }
        }
    }
}

static void write_env(FILE *f)
{
    for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
        EnvBody *e = env_bodies[i];
        if (!e || !e->geom)
            continue;
        const float *col = current_world.objects[i].colour;
        double a = 1.0 - col[3];
        double pos[3], rot[9];
        copy3(pos, dGeomGetPosition(e->geom));
        rotation9(e->geom, rot);
        int cls = dGeomGetClass(e->geom);
        if (cls == dBoxClass) {
            dVector3 s;
            dGeomBoxGetLengths(e->geom, s);
            fprintf(f,
                    "EnvBox (%f, %f, %f, %f,  %f, %f, %f,    %f, %f, %f,   %f, %f, %f,   %f, %f, "
                    "%f,   %f,  %f,  %f) //env %i sides, pos, rot\n",
                    col[0], col[1], col[2], a, s[0], s[1], s[2], pos[0], pos[1], pos[2], rot[0],
                    rot[1], rot[2], rot[3], rot[4], rot[5], rot[6], rot[7], rot[8], i);
        } else if (cls == dCapsuleClass) {
            dReal radius = 0, length = 0;
            dGeomCapsuleGetParams(e->geom, &radius, &length);
            fprintf(f,
                    "EnvCapsule (%f, %f, %f, %f,  %f, %f,  %f, %f, %f,  %f, %f, %f,  %f, %f, %f,  "
                    "%f, %f, %f) //env %i sides, pos, rot\n",
                    col[0], col[1], col[2], a, radius, length, pos[0], pos[1], pos[2], rot[0],
                    rot[1], rot[2], rot[3], rot[4], rot[5], rot[6], rot[7], rot[8], i);
        } else if (cls == dSphereClass) {
            fprintf(f,
                    "EnvSphere (%f, %f, %f, %f,  %f,  %f, %f, %f,  %f, %f, %f,  %f, %f, %f,  %f, "
                    "%f, %f) //env %i sides, pos, rot\n",
                    col[0], col[1], col[2], a, dGeomSphereGetRadius(e->geom), pos[0], pos[1],
                    pos[2], rot[0], rot[1], rot[2], rot[3], rot[4], rot[5], rot[6], rot[7], rot[8],
                    i);
        }
    }
}

// The disqualification marks still showing: a fresh one (countdown 100)
// only in the frame it was made.
static void write_impacts(FILE *f)
{
    int n = match_state.num_players < MAX_FIGHTERS ? match_state.num_players : MAX_FIGHTERS;
    for (int p = 0; p < n; p++) {
        const GroundImpact *g = &ground_impacts[p];
        if (g->countdown <= 0)
            continue;
        if (g->countdown >= GROUND_IMPACT_FRESH && g->frame != match_state.match_frame)
            continue;
        float rgb[3];
        get_colour_rgb(g->colour ? g->colour : players[p].colour, rgb);
        fprintf(f,
                "Impact (%f, %f, %f, %f, %f, %f, %f, %f, %f) // DQ impact, pos3, radius, time, "
                "r, g, b, a\n",
                g->position[0], g->position[1], 0.01,
                (double)(GROUND_IMPACT_FRESH - g->countdown) * 0.2, g->countdown / 100.0,
                (double)rgb[0], (double)rgb[1], (double)rgb[2], 1.0);
    }
}

void pov_write_body(FILE *f)
{
    write_camera(f);
    write_blood(f);
    write_joints(f);
    write_bodies(f);
    write_env(f);
    write_impacts(f);
}

// The animation being written: it takes the file's name when it ends.
static SafeFile animation_out;

// Opens a scene file as a temporary file beside its name; 0 when open.
static int open_scene_file(const char *path, SafeFile *out)
{
    if (!path || !path[0]) {
        fprintf(stderr, "Unable to open (no path)\n");
        return 1;
    }
    make_path_dirs(path);
    if (safe_open(out, path) != 0) {
        fprintf(stderr, "Unable to open %s\n", path);
        return 1;
    }
    return 0;
}

int pov_write_scene(const char *path)
{
    SafeFile out;
    if (open_scene_file(path, &out) != 0)
        return 1;
    fputs(kHeader, out.f);
    pov_write_body(out.f);
    return safe_commit(&out);
}

int pov_begin_animation_at(const char *path)
{
    if (pov_animation_file)
        pov_end_animation();
    pov_animation_frames = 0;
    if (open_scene_file(path, &animation_out) != 0)
        return 1;
    FILE *f = animation_out.f;
    fputs(kHeader, f);
    fputs("#switch (frame_number)\n", f);
    pov_animation_file = f;
    return 0;
}

int pov_begin_animation() { return pov_begin_animation_at("raytrace/animation.pov"); }

void pov_write_frame(int n)
{
    if (!pov_animation_file)
        return;
    fprintf(pov_animation_file, "#case (%i)\n", n);
    pov_write_body(pov_animation_file);
    fputs("#break\n\n", pov_animation_file);
    pov_animation_frames++;
}

void pov_end_animation()
{
    if (!pov_animation_file)
        return;
    fputs("#end\n", pov_animation_file);
    safe_commit(&animation_out);
    pov_animation_file = nullptr;
}

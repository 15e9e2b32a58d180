// ODE 0.16 marks the geom-transform calls deprecated; the world still uses them.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "render/scene.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/blood.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "platform/camera.h"
#include "render/fighter_draw.h"
#include "render/gl_draw.h"
#include "render/scene_passes.h"
#include "render/shader_setup.h"
#include "render/texture.h"

int shaders_active = 0;
float outline_width = 0.05f;
GLUquadric *shape_quadric = nullptr;
void (*scene_queue_sink)(const SceneShape *shape) = nullptr;
RenderOutward render_outward = {};
void (*draw_recorder)(const DrawRecord *record) = nullptr;
int text_colour_index = 51;

void queue_scene_shape(const SceneShape *shape)
{
    if (scene_queue_sink && shape)
        scene_queue_sink(shape);
}

// ---- resources -----------------------------------------------------------------

int render_resources_loaded = 0;

void load_render_resources()
{
    render_resources_loaded = 1;
    build_display_lists();
    if (!shape_quadric) {
        shape_quadric = gluNewQuadric();
        if (shape_quadric)
            gluQuadricTexture(shape_quadric, GL_TRUE);
    }
    if (!disk_quadric)
        disk_quadric = gluNewQuadric();
    create_player_texture_slots();
    load_texture_table();
    glClearColor(remembered_clear_colour[0], remembered_clear_colour[1],
                 remembered_clear_colour[2], 0.0f);
    if (render_outward.reload_script_textures)
        render_outward.reload_script_textures();
    if (render_outward.init_shader_renderer)
        render_outward.init_shader_renderer();
    if (render_outward.init_fonts && render_outward.init_fonts() != 0) {
        fprintf(stderr, "Failed to load fonts\n");
        if (!render_outward.keep_running_without_fonts)
            exit_program(1);
    }
    init_bump_mapping();
}

void shutdown_renderer()
{
    render_resources_loaded = 0;
    free_bump_mapping();
    if (shape_quadric) {
        gluDeleteQuadric(shape_quadric);
        shape_quadric = nullptr;
    }
    if (disk_quadric) {
        gluDeleteQuadric(disk_quadric);
        disk_quadric = nullptr;
    }
    if (render_outward.close_fonts)
        render_outward.close_fonts();
    delete_display_lists();
    free_player_texture_slots();
    free_texture_table();
    if (render_outward.free_script_textures)
        render_outward.free_script_textures();
    if (render_outward.free_shader_renderer)
        render_outward.free_shader_renderer();
}

void set_clear_color(const float colour[3])
{
    for (int k = 0; k < 3; k++)
        remembered_clear_colour[k] = colour[k];
    glClearColor(colour[0], colour[1], colour[2], 0.0f);
}

void restore_clear_color()
{
    if (render_resources_loaded)
        glClearColor(remembered_clear_colour[0], remembered_clear_colour[1],
                     remembered_clear_colour[2], 0.0f);
}

// ---- matrices ----------------------------------------------------------------------

void body_matrix(const float p[3], const float r[12], float m[16])
{
    // GL columns are the rotation's columns: local x goes to (r0, r4, r8).
    m[0] = r[0]; m[1] = r[4]; m[2] = r[8];  m[3] = 0;
    m[4] = r[1]; m[5] = r[5]; m[6] = r[9];  m[7] = 0;
    m[8] = r[2]; m[9] = r[6]; m[10] = r[10]; m[11] = 0;
    m[12] = p[0]; m[13] = p[1]; m[14] = p[2]; m[15] = 1;
}

static void push_body_matrix(const float p[3], const float r[12])
{
    float m[16];
    body_matrix(p, r, m);
    glPushMatrix();
    glMultMatrixf(m);
}

// A camera-facing frame at p: the inverse of the view rotation of mv.
static void push_billboard(const float p[3], const float mv[16])
{
    const float m[16] = {mv[0], mv[4], mv[8],  0, mv[1], mv[5], mv[9],  0,
                         mv[2], mv[6], mv[10], 0, p[0],  p[1],  p[2],  1};
    glPushMatrix();
    glMultMatrixf(m);
}

static void push_floor_projection()
{
    // (x, y, z) -> (x - z, y - 0.4 z, 0): the light comes along (1, 0.4, 1).
    static const float shadow[16] = {1, 0, 0, 0, 0, 1, 0, 0, -1, -0.4f, 0, 0, 0, 0, 0, 1};
    glPushMatrix();
    glMultMatrixf(shadow);
}

static void fill_shape(SceneShape *s, int shape, const float p[3], const float lv[3],
                       const float av[3], const float r[12], int kind, Texture *t, Texture *b)
{
    memset(s, 0, sizeof *s);
    s->shape = shape;
    for (int k = 0; k < 3; k++) {
        s->position[k] = p[k];
        s->linear_velocity[k] = lv ? lv[k] : 0.0f;
        s->angular_velocity[k] = av ? av[k] : 0.0f;
    }
    for (int k = 0; k < 12; k++)
        s->rotation[k] = r[k];
    s->kind = kind;
    s->texture = t;
    s->bump = b;
}

static void bind_colour_texture(Texture *texture)
{
    if (texture_loaded(texture)) {
        glEnable(GL_TEXTURE_2D);
        texture_bind(texture, true);
    }
}

static bool can_bump(Texture *bump) { return bump_mapping_supported && texture_loaded(bump); }

// ---- shapes ----------------------------------------------------------------------

void render_box(const float p[3], const float lv[3], const float av[3], const float r[12],
                const float sides[3], int kind, Texture *texture, Texture *bump)
{
    if (shaders_active) {
        SceneShape s;
        fill_shape(&s, SCENE_BOX, p, lv, av, r, kind, texture, bump);
        for (int k = 0; k < 3; k++)
            s.size[k] = sides[k];
        queue_scene_shape(&s);
        return;
    }
    switch (kind) {
    case DRAW_FLOOR_SHADOW:
        begin_floor_shadow_drawing();
        push_floor_projection();
        push_body_matrix(p, r);
        draw_box_mesh(sides);
        glPopMatrix();
        glPopMatrix();
        break;
    case DRAW_OUTLINE: {
        const float grown[3] = {sides[0] + outline_width, sides[1] + outline_width,
                                sides[2] + outline_width};
        push_body_matrix(p, r);
        draw_box_mesh(grown);
        glPopMatrix();
        break;
    }
    case DRAW_TEXTURED:
        glDisable(GL_BLEND);
        texture_generation_flag = 0;
        push_body_matrix(p, r);
        begin_lit_drawing();
        glEnable(GL_DEPTH_TEST);
        if (can_bump(bump) && render_outward.bump_box) {
            render_outward.bump_box(sides, bump, texture);
        } else {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            bind_colour_texture(texture);
            glColor4f(1, 1, 1, draw_color[3]);
            draw_box_mesh(sides);
            glDisable(GL_TEXTURE_2D);
        }
        glPopMatrix();
        break;
    default:
        push_body_matrix(p, r);
        begin_lit_drawing();
        glEnable(GL_DEPTH_TEST);
        glColor3f(1, 1, 1);
        draw_box_mesh(sides);
        glPopMatrix();
        break;
    }
}

void render_sphere(const float p[3], const float lv[3], const float av[3], const float r[12],
                   float radius, int kind, Texture *texture, Texture *bump)
{
    if (shaders_active) {
        SceneShape s;
        fill_shape(&s, SCENE_SPHERE, p, lv, av, r, kind, texture, bump);
        s.size[0] = radius;
        queue_scene_shape(&s);
        return;
    }
    switch (kind) {
    case DRAW_OUTLINE: {
        push_billboard(p, saved_modelview);
        float s = radius + 0.4f * outline_width;
        glScalef(s, s, s);
        glColor3f(0, 0, 0);
        glCallList(display_lists.narrow_ring);
        glPopMatrix();
        break;
    }
    case DRAW_FLOOR_SHADOW:
        begin_floor_shadow_drawing();
        draw_sphere_shadow(p[0], p[1], p[2], radius);
        break;
    case DRAW_TEXTURED:
        texture_generation_flag = 0;
        begin_lit_drawing();
        push_body_matrix(p, r);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_NORMALIZE);
        glScalef(radius, radius, radius);
        if (draw_color[3] < 1.0f)
            glEnable(GL_BLEND);
        else
            glDisable(GL_BLEND);
        glShadeModel(GL_SMOOTH);
        if (can_bump(bump) && render_outward.bump_sphere) {
            render_outward.bump_sphere(bump, texture);
        } else {
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            bind_colour_texture(texture);
            glColor4f(1, 1, 1, draw_color[3]);
            glCallList(display_lists.hemisphere);
            glDisable(GL_TEXTURE_2D);
        }
        glPopMatrix();
        glShadeModel(GL_FLAT);
        break;
    case DRAW_RING:
        begin_lit_drawing();
        glDisable(GL_LIGHTING);
        glColor4fv(draw_color);
        glPushMatrix();
        glTranslatef(p[0], p[1], p[2]);
        glScalef(radius, radius, radius);
        glCallList(display_lists.textured_ring);
        glPopMatrix();
        break;
    case DRAW_BILLBOARD: {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthMask(GL_TRUE);
        begin_lit_drawing();
        glDisable(GL_LIGHTING);
        float mv[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, mv);
        push_billboard(p, mv);
        glColor4fv(draw_color);
        glScalef(radius, radius, radius);
        glCallList(display_lists.circle9);
        glPopMatrix();
        break;
    }
    default:
        begin_lit_drawing();
        push_body_matrix(p, r);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_NORMALIZE);
        glColor3f(1, 1, 1);
        glScalef(radius, radius, radius);
        glShadeModel(GL_SMOOTH);
        glCallList(display_lists.ico_sphere);
        glShadeModel(GL_FLAT);
        glPopMatrix();
        break;
    }
}

void render_capsule(const float p[3], const float lv[3], const float av[3], const float r[12],
                    float length, float radius, int kind, Texture *texture, Texture *bump)
{
    if (shaders_active) {
        SceneShape s;
        fill_shape(&s, SCENE_CAPSULE, p, lv, av, r, kind, texture, bump);
        s.size[0] = length;
        s.size[1] = radius;
        queue_scene_shape(&s);
        return;
    }
    switch (kind) {
    case DRAW_FLOOR_SHADOW:
        begin_floor_shadow_drawing();
        push_floor_projection();
        push_body_matrix(p, r);
        draw_capsule_mesh(length, radius);
        glPopMatrix();
        glPopMatrix();
        break;
    case DRAW_OUTLINE:
        push_body_matrix(p, r);
        draw_capsule_mesh(length + outline_width, radius + 0.5f * outline_width);
        glPopMatrix();
        break;
    case DRAW_TEXTURED:
        begin_lit_drawing();
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glShadeModel(GL_SMOOTH);
        push_body_matrix(p, r);
        if (can_bump(bump) && render_outward.bump_capsule) {
            render_outward.bump_capsule(radius, radius, length, bump, texture);
        } else {
            bind_colour_texture(texture);
            glColor4f(1, 1, 1, draw_color[3]);
            draw_capsule_mesh(length, radius);
            glDisable(GL_TEXTURE_2D);
        }
        glPopMatrix();
        glShadeModel(GL_FLAT);
        break;
    default:
        begin_lit_drawing();
        glShadeModel(GL_SMOOTH);
        push_body_matrix(p, r);
        glEnable(GL_DEPTH_TEST);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        draw_capsule_mesh(length, radius);
        glPopMatrix();
        glShadeModel(GL_FLAT);
        break;
    }
}

void render_half_sphere(const float p[3], const float r[12], float radius, float sx, float sy,
                        float sz, int kind, Texture *texture, Texture *bump)
{
    if (shaders_active) {
        static const float zero[3] = {0, 0, 0};
        SceneShape s;
        fill_shape(&s, SCENE_HALF_SPHERE, p, zero, zero, r, kind, texture, bump);
        s.size[0] = radius;
        s.size[1] = sx;
        s.size[2] = sy;
        s.size[3] = sz;
        queue_scene_shape(&s);
        return;
    }
    // The kept half lies on the selector's sign side of its local axis. The
    // hemisphere list covers the whole sphere, so the clip plane alone cuts
    // it and the open side lies in the cut plane without a turn.
    GLdouble plane[4] = {0, 0, 0, 0};
    if (sy != 0)
        plane[1] = sy > 0 ? 1 : -1;
    else if (sz != 0)
        plane[2] = sz > 0 ? 1 : -1;
    else
        plane[0] = sx < 0 ? -1 : 1;

    push_body_matrix(p, r);
    glScalef(radius, radius, radius);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glClipPlane(GL_CLIP_PLANE0, plane);
    glEnable(GL_CLIP_PLANE0);
    begin_lit_drawing();
    glEnable(GL_NORMALIZE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (can_bump(bump) && render_outward.bump_sphere) {
        render_outward.bump_sphere(bump, texture);
    } else if (texture_loaded(texture)) {
        bind_colour_texture(texture);
        glColor4f(1, 1, 1, draw_color[3]);
        glShadeModel(GL_SMOOTH);
        glCallList(display_lists.hemisphere);
        glShadeModel(GL_FLAT);
        glDisable(GL_TEXTURE_2D);
    } else {
        glShadeModel(GL_FLAT);
        glCallList(display_lists.glut_sphere);
    }
    glEnable(GL_CULL_FACE);
    glDisable(GL_CLIP_PLANE0);
    if (kind == DRAW_HALF_KEEP) {
        // The rim: the 25-point circle in the cut plane (its local z turned
        // onto the plane's normal).
        if (plane[0] != 0)
            glRotatef(90.0f, 0, 1, 0);
        else if (plane[1] != 0)
            glRotatef(90.0f, 1, 0, 0);
        glDisable(GL_CULL_FACE);
        glCallList(display_lists.circle25);
        glEnable(GL_CULL_FACE);
    }
    glPopMatrix();
}

// ---- double-precision forms -------------------------------------------------------

static void to_floats(const double *in, float *out, int n)
{
    for (int k = 0; k < n; k++)
        out[k] = in ? (float)in[k] : 0.0f;
}

static bool record(int what, dGeomID geom, const double *p, const double *size, int nsize,
                   int kind, Texture *t, Texture *b)
{
    if (!draw_recorder)
        return false;
    DrawRecord r;
    memset(&r, 0, sizeof r);
    r.what = what;
    r.geom = geom;
    for (int k = 0; k < 3; k++)
        r.position[k] = p ? p[k] : 0.0;
    for (int k = 0; k < nsize; k++)
        r.size[k] = size[k];
    r.kind = kind;
    memcpy(r.colour, draw_color, sizeof r.colour);
    r.texture = t;
    r.bump = b;
    draw_recorder(&r);
    return true;
}

void draw_box_geom(const double *p, const double *lv, const double *av, const double *r,
                   const double *sides, int kind, Texture *texture, Texture *bump)
{
    if (record(REC_BOX, nullptr, p, sides, 3, kind, texture, bump))
        return;
    float pf[3], lf[3], af[3], rf[12], sf[3];
    to_floats(p, pf, 3);
    to_floats(lv, lf, 3);
    to_floats(av, af, 3);
    to_floats(r, rf, 12);
    to_floats(sides, sf, 3);
    render_box(pf, lf, af, rf, sf, kind, texture, bump);
}

void draw_sphere_geom(const double *p, const double *lv, const double *av, const double *r,
                      double radius, int kind, Texture *texture, Texture *bump)
{
    if (record(REC_SPHERE, nullptr, p, &radius, 1, kind, texture, bump))
        return;
    float pf[3], lf[3], af[3], rf[12];
    to_floats(p, pf, 3);
    to_floats(lv, lf, 3);
    to_floats(av, af, 3);
    to_floats(r, rf, 12);
    render_sphere(pf, lf, af, rf, (float)radius, kind, texture, bump);
}

void draw_capsule_geom(const double *p, const double *lv, const double *av, const double *r,
                       double length, double radius, int kind, Texture *texture, Texture *bump)
{
    const double size[2] = {length, radius};
    if (record(REC_CAPSULE, nullptr, p, size, 2, kind, texture, bump))
        return;
    float pf[3], lf[3], af[3], rf[12];
    to_floats(p, pf, 3);
    to_floats(lv, lf, 3);
    to_floats(av, af, 3);
    to_floats(r, rf, 12);
    render_capsule(pf, lf, af, rf, (float)length, (float)radius, kind, texture, bump);
}

void draw_half_sphere_geom(const double *p, const double *r, double radius, double sx,
                           double sy, double sz, int kind, Texture *texture, Texture *bump)
{
    const double size[4] = {radius, sx, sy, sz};
    if (record(REC_HALF_SPHERE, nullptr, p, size, 4, kind, texture, bump))
        return;
    float pf[3], rf[12];
    to_floats(p, pf, 3);
    to_floats(r, rf, 12);
    render_half_sphere(pf, rf, (float)radius, (float)sx, (float)sy, (float)sz, kind, texture,
                       bump);
}

static bool drawable_class(dGeomID geom)
{
    switch (dGeomGetClass(geom)) {
    case dBoxClass:
    case dSphereClass:
    case dCapsuleClass:
    case dGeomTransformClass:
        return true;
    default:
        return false;
    }
}

void draw_geom(dGeomID geom, int kind, Texture *texture, Texture *bump)
{
    if (!geom || !drawable_class(geom))
        return;
    if (draw_recorder) {
        double p[3], r[12];
        geom_world_pose(geom, p, r);
        record(REC_GEOM, geom, p, nullptr, 0, kind, texture, bump);
        return;
    }
    dGeomID shape = geom;
    double p[3], r[12];
    if (geom_world_pose(geom, p, r) != 0)
        return;
    if (dGeomGetClass(geom) == dGeomTransformClass) {
        shape = dGeomTransformGetGeom(geom);
        if (!shape)
            return;
    }
    switch (dGeomGetClass(shape)) {
    case dBoxClass: {
        double sides[3];
        shown_box_sides(shape, sides);
        draw_box_geom(p, nullptr, nullptr, r, sides, kind, texture, bump);
        break;
    }
    case dSphereClass:
        draw_sphere_geom(p, nullptr, nullptr, r, dGeomSphereGetRadius(shape), kind, texture,
                         bump);
        break;
    case dCapsuleClass: {
        dReal radius, length;
        dGeomCapsuleGetParams(shape, &radius, &length);
        draw_capsule_geom(p, nullptr, nullptr, r, length, radius, kind, texture, bump);
        break;
    }
    default:
        break;
    }
}

void draw_disk_3d(const float matrix[16], const float colour[4], float inner, float outer,
                  int slices, int loops, float start, float sweep)
{
    if (!disk_quadric)
        disk_quadric = gluNewQuadric();
    if (!disk_quadric)
        return;
    glPushMatrix();
    glMultMatrixf(matrix);
    glRotatef(180.0f, 0, 0, 1);
    set_material(colour[0], colour[1], colour[2], colour[3]);
    glColor4fv(colour);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gluPartialDisk(disk_quadric, inner, outer, slices, loops, start, sweep);
    glPopMatrix();
}

// ---- blood -------------------------------------------------------------------------

static int option_on(const char *name, int fallback)
{
    return core_outward.get_option ? core_outward.get_option(name) : fallback;
}

void emit_fluid_blood(const float p[3], const float direction[3], float size,
                      const float colour[3])
{
    if (shaders_active && option_on("fluid", 1)) {
        if (render_outward.add_fluid_blood)
            render_outward.add_fluid_blood(p, direction, size, colour);
        return;
    }
    push_billboard(p, saved_modelview);
    glScalef(size, size, size);
    glCallList(display_lists.circle9);
    glPopMatrix();
}

void add_blood_stain(const float p[3], const float direction[3], float size,
                     const float colour[3])
{
    if (option_on("bloodstains", 1) && shaders_active && render_outward.add_floor_stain)
        render_outward.add_floor_stain(p, direction, size, colour);
}

// ---- player textures ------------------------------------------------------------

int set_player_body_decal(int player, int body, const char *text)
{
    if (player < 0 || player >= SLOT_PLAYERS || body < 0 || body >= SLOT_BODIES)
        return 1;
    Texture *t = player_body_textures[player][body];
    if (!t)
        return 1;
    render_text_decal(t, text, body);
    return 0;
}

int set_player_body_gradient(int player, int body, const float colour1[3],
                             const float colour2[3])
{
    if (player < 0 || player >= SLOT_PLAYERS || body < 0 || body >= SLOT_BODIES)
        return 1;
    Texture *t = player_body_textures[player][body];
    if (!t)
        return 1;
    const BodyDef *table = player_body_table(player);
    int shape = table ? table[body].shape : SHAPE_BOX;
    generate_gradient_texture(t, colour1, colour2, shape, body == 19 || body == 20);
    return 0;
}

// ---- the dojo and the scene ------------------------------------------------------

void draw_dojo(const GameRules *rules)
{
    if (!rules)
        return;
    float rgb[3];
    palette_rgb(text_colour_index, rgb);
    set_draw_color(rgb[0], rgb[1], rgb[2], 1.0f);
    float size = rules->dojosize * 0.01f;
    if (rules->dojotype == 0) {
        draw_square_outline(1.0f, -0.1f, 0.01f, 45.0f, 1, size);
    } else if (rules->dojotype == 1) {
        glDisable(GL_BLEND);
        const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1.0f, -0.1f, 0.01f, 1};
        const float colour[4] = {rgb[0], rgb[1], rgb[2], 1.0f};
        draw_disk_3d(m, colour, size - 0.1f, size, 32, 2, 180.0f, -360.0f);
    }
}

// The state the layers after the scene's parts expect.
static void leave_scene_state()
{
    glDisable(GL_CLIP_PLANE0);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glDepthRange(0, 1);
    glShadeModel(GL_FLAT);
}

void begin_scene(MatchState *match, const GameRules *rules)
{
    if (!match)
        return;
    glGetFloatv(GL_MODELVIEW_MATRIX, saved_modelview);
    update_camera(match, 0.97f);
    // The shader renderer follows the option, then opens the frame's queue.
    sync_shader_renderer();
    draw_scene_lighting();
    draw_dojo(rules);
    if (shaders_active && option_on("transparency", 0))
        draw_fighters_sorted(match);
    else
        draw_fighters(match);
    leave_scene_state();
}

void end_scene()
{
    draw_scene_objects();
    leave_scene_state();
}

void draw_scene(MatchState *match, const GameRules *rules)
{
    if (!match)
        return;
    begin_scene(match, rules);
    end_scene();
}

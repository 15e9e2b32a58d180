#include "render/gl_draw.h"

#include <cmath>

#include "platform/camera.h"
#include "render/texture.h"

float draw_color[4] = {1, 1, 1, 1};
int texture_generation_flag = 0;
float remembered_clear_colour[3] = {1, 1, 1};
ProjectionSettings projection_settings = {1.0f, 50.0f};
GLUquadric *disk_quadric = nullptr;
int sphere_subdivision_level = 1;
int capsule_segments = 3 * 4;
DisplayLists display_lists = {};
float saved_modelview[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
int (*square_outline_hook)(float, float, float, int, float) = nullptr;

static const double kPi = 3.14159265358979323846;

// ---- colour and modes ---------------------------------------------------

void set_draw_color(float r, float g, float b, float a)
{
    draw_color[0] = r;
    draw_color[1] = g;
    draw_color[2] = b;
    draw_color[3] = a;
    glColor4f(r, g, b, a);
}

void set_draw_color_rgb(float r, float g, float b)
{
    draw_color[0] = r;
    draw_color[1] = g;
    draw_color[2] = b;
    draw_color[3] = 1.0f;
    glColor3f(r, g, b);
}

void set_material(float r, float g, float b, float a)
{
    const GLfloat ambient[4] = {0.3f * r, 0.3f * g, 0.3f * b, a};
    const GLfloat diffuse[4] = {0.9f * r, 0.9f * g, 0.9f * b, a};
    const GLfloat specular[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    glMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT, GL_SHININESS, 32.0f);
}

void begin_lit_drawing()
{
    glEnable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    set_material(draw_color[0], draw_color[1], draw_color[2], draw_color[3]);
    glEnable(GL_BLEND);
    if (draw_color[3] < 1.0f)
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void begin_flat_drawing()
{
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glShadeModel(GL_FLAT);
    glColor3f(0, 0, 0);
}

void prepare_particle_state()
{
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_TRUE);
    begin_lit_drawing();
    glDisable(GL_LIGHTING);
    glGetFloatv(GL_MODELVIEW_MATRIX, saved_modelview);
}

void begin_floor_shadow_drawing()
{
    glDisable(GL_LIGHTING);
    if (texture_generation_flag) {
        static GLfloat plane_s[4], plane_t[4];
        static int planes_built = 0;
        if (!planes_built) {
            plane_s[0] = projection_settings.texgen_scale;
            plane_t[1] = projection_settings.texgen_scale;
            planes_built = 1;
        }
        glEnable(GL_TEXTURE_2D);
        glColor3f(0.8f, 0.8f, 0.8f);
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
        glTexGenfv(GL_S, GL_OBJECT_PLANE, plane_s);
        glTexGenfv(GL_T, GL_OBJECT_PLANE, plane_t);
        glEnable(GL_TEXTURE_GEN_S);
        glEnable(GL_TEXTURE_GEN_T);
    } else {
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_BLEND);
        glColor4f(0.8f * remembered_clear_colour[0], 0.8f * remembered_clear_colour[1],
                  0.8f * remembered_clear_colour[2], 0.9f);
    }
    glDepthRange(0, 1.5);
}

void draw_line_3d(const float p[3], const float q[3])
{
    begin_lit_drawing();
    glColor3f(draw_color[0], draw_color[1], draw_color[2]);
    glDisable(GL_LIGHTING);
    glBegin(GL_LINES);
    glVertex3fv(p);
    glVertex3fv(q);
    glEnd();
}

void draw_line_3d(const double p[3], const double q[3])
{
    const float pf[3] = {(float)p[0], (float)p[1], (float)p[2]};
    const float qf[3] = {(float)q[0], (float)q[1], (float)q[2]};
    draw_line_3d(pf, qf);
}

// ---- meshes -------------------------------------------------------------

// One box face: four corners (counter-clockwise from outside) with their
// atlas coordinates.
static void box_face(float nx, float ny, float nz, const float corners[4][3],
                     float u0, float u1, float v0, float v1)
{
    const float uv[4][2] = {{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}};
    glNormal3f(nx, ny, nz);
    for (int i = 0; i < 4; i++) {
        glTexCoord2f(uv[i][0], uv[i][1]);
        glVertex3fv(corners[i]);
    }
}

void draw_box_mesh(const float sides[3])
{
    const float x = sides[0] * 0.5f, y = sides[1] * 0.5f, z = sides[2] * 0.5f;
    const float pz[4][3] = {{-x, -y, z}, {x, -y, z}, {x, y, z}, {-x, y, z}};
    const float py[4][3] = {{x, y, -z}, {-x, y, -z}, {-x, y, z}, {x, y, z}};
    const float nz[4][3] = {{-x, -y, -z}, {-x, y, -z}, {x, y, -z}, {x, -y, -z}};
    const float ny[4][3] = {{-x, -y, -z}, {x, -y, -z}, {x, -y, z}, {-x, -y, z}};
    const float px[4][3] = {{x, -y, -z}, {x, y, -z}, {x, y, z}, {x, -y, z}};
    const float nx[4][3] = {{-x, y, -z}, {-x, -y, -z}, {-x, -y, z}, {-x, y, z}};
    glBegin(GL_QUADS);
    box_face(0, 0, 1, pz, 0.0f, 0.8f, 0.0f, 0.25f);
    box_face(0, 1, 0, py, 0.0f, 0.8f, 0.25f, 0.5f);
    box_face(0, 0, -1, nz, 0.0f, 0.8f, 0.5f, 0.75f);
    box_face(0, -1, 0, ny, 0.0f, 0.8f, 0.75f, 1.0f);
    box_face(1, 0, 0, px, 0.8f, 1.0f, 0.0f, 0.2f);
    box_face(-1, 0, 0, nx, 0.8f, 1.0f, 0.2f, 0.4f);
    glEnd();
}

void draw_cylinder_mesh(float length, float radius, float z)
{
    const float top = z + length * 0.5f, bottom = z - length * 0.5f;
    float cs[25][2];
    for (int i = 0; i < 25; i++) {
        double a = i * 15.0 * kPi / 180.0;
        cs[i][0] = (float)cos(a);
        cs[i][1] = (float)sin(a);
    }
    glBegin(GL_QUAD_STRIP);
    for (int i = 0; i < 25; i++) {
        glNormal3f(cs[i][0], cs[i][1], 0);
        glVertex3f(radius * cs[i][0], radius * cs[i][1], top);
        glVertex3f(radius * cs[i][0], radius * cs[i][1], bottom);
    }
    glEnd();

    const float *c = draw_color;
    for (int end = 0; end < 2; end++) {
        const float ez = end == 0 ? top : bottom;
        glBegin(GL_TRIANGLE_FAN);
        glNormal3f(0, 0, end == 0 ? 1.0f : -1.0f);
        glVertex3f(0, 0, ez);
        for (int n = 0; n < 25; n++) {
            int i = end == 0 ? n : 24 - n;   // counter-clockwise from outside
            bool mark = n == 1 || n == 13;
            if (mark)
                set_material(0.75f * c[0], 0.75f * c[1], 0.75f * c[2], c[3]);
            glVertex3f(radius * cs[i][0], radius * cs[i][1], ez);
            if (mark)
                set_material(c[0], c[1], c[2], c[3]);
        }
        glEnd();
    }
}

// The unit circle of the capsule (13 points, 12 segments) and its cap rings
// at the elevations 0, 30, 60 and 90 degrees.
struct CapsuleTables {
    float circle[13][2];
    float ring_cos[4];
    float ring_sin[4];
    CapsuleTables()
    {
        for (int i = 0; i <= 12; i++) {
            double a = i * 2.0 * kPi / 12.0;
            circle[i][0] = (float)cos(a);
            circle[i][1] = (float)sin(a);
        }
        for (int k = 0; k < 4; k++) {
            double e = k * kPi / 6.0;
            ring_cos[k] = (float)cos(e);
            ring_sin[k] = (float)sin(e);
        }
    }
};
static const CapsuleTables capsule_tables;

static void capsule_vertex(int i, int ring, float sign, float radius, float offset, float u)
{
    const CapsuleTables &t = capsule_tables;
    float nx = t.circle[i][0] * t.ring_cos[ring];
    float ny = t.circle[i][1] * t.ring_cos[ring];
    float nz = sign * t.ring_sin[ring];
    glNormal3f(nx, ny, nz);
    glTexCoord2f(u, i / 12.0f);
    glVertex3f(radius * nx, radius * ny, radius * nz + offset);
}

void draw_capsule_mesh(float length, float radius)
{
    const CapsuleTables &t = capsule_tables;
    const float half = length * 0.5f;
    glBegin(GL_QUAD_STRIP);
    for (int i = 0; i <= 12; i++) {
        glNormal3f(t.circle[i][0], t.circle[i][1], 0);
        glTexCoord2f(0.2f, i / 12.0f);
        glVertex3f(radius * t.circle[i][0], radius * t.circle[i][1], half);
        glTexCoord2f(0.8f, i / 12.0f);
        glVertex3f(radius * t.circle[i][0], radius * t.circle[i][1], -half);
    }
    glEnd();
    for (int k = 0; k < 3; k++) {
        // Upper cap: the higher ring first keeps the strip facing outwards.
        glBegin(GL_QUAD_STRIP);
        for (int i = 0; i <= 12; i++) {
            capsule_vertex(i, k + 1, 1.0f, radius, half, 0.2f - 0.2f * (k + 1) / 3.0f);
            capsule_vertex(i, k, 1.0f, radius, half, 0.2f - 0.2f * k / 3.0f);
        }
        glEnd();
        glBegin(GL_QUAD_STRIP);
        for (int i = 0; i <= 12; i++) {
            capsule_vertex(i, k, -1.0f, radius, -half, 0.8f + 0.2f * k / 3.0f);
            capsule_vertex(i, k + 1, -1.0f, radius, -half, 0.8f + 0.2f * (k + 1) / 3.0f);
        }
        glEnd();
    }
}

void sphere_shadow_points(float x, float y, float z, float radius, float out[24][2])
{
    static const float k = (float)(1.0 / sqrt(1.16));   // 0.92847675
    static const float s = (float)sqrt(2.16);           // 1.4696938
    const float cx = x - z, cy = y - 0.4f * z;
    const float rc = 0.9659258f, rs = 0.25881904f;
    float t = radius, u = 0.0f;
    for (int i = 0; i < 24; i++) {
        out[i][0] = cx + k * (s * t - 0.4f * u);
        out[i][1] = cy + k * (u + 0.4f * s * t);
        float nt = rc * t - rs * u;
        u = rs * t + rc * u;
        t = nt;
    }
}

void draw_sphere_shadow(float x, float y, float z, float radius)
{
    float pts[24][2];
    sphere_shadow_points(x, y, z, radius, pts);
    const float scale = projection_settings.texgen_scale;
    glBegin(GL_TRIANGLE_FAN);
    glNormal3f(0, 0, 1);
    for (int i = 0; i < 24; i++) {
        glTexCoord2f(0.5f + scale * pts[i][0], 0.5f + scale * pts[i][1]);
        glVertex3f(pts[i][0], pts[i][1], 0.0f);
    }
    glEnd();
}

void triangle_normal(const float a[3], const float b[3], const float c[3], float out[3])
{
    float u[3], v[3];
    for (int k = 0; k < 3; k++) {
        u[k] = b[k] - a[k];
        v[k] = c[k] - a[k];
    }
    float n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                  u[0] * v[1] - u[1] * v[0]};
    float len = sqrtf(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (!(len > 0.0f)) {
        out[0] = 1.0f;
        out[1] = out[2] = 0.0f;
        return;
    }
    for (int k = 0; k < 3; k++)
        out[k] = n[k] / len;
}

void draw_triangle_normal(const float a[3], const float b[3], const float c[3], int filled)
{
    float n[3];
    triangle_normal(a, b, c, n);
    glBegin(filled ? GL_TRIANGLES : GL_LINE_LOOP);
    glNormal3fv(n);
    glVertex3fv(a);
    glVertex3fv(b);
    glVertex3fv(c);
    glEnd();
}

void draw_square_outline(float x, float y, float z, float angle, int mode, float size)
{
    (void)angle;
    if (square_outline_hook && square_outline_hook(x, y, z, mode, size * 0.5f))
        return;
    begin_lit_drawing();
    glColor4fv(draw_color);
    glDisable(GL_LIGHTING);
    const float h = size * 0.5f;
    glPushMatrix();
    glTranslatef(x, y, z);
    glBegin(GL_LINES);
    glVertex3f(-h, -h, 0); glVertex3f(h, -h, 0);
    glVertex3f(h, -h, 0); glVertex3f(h, h, 0);
    glVertex3f(h, h, 0); glVertex3f(-h, h, 0);
    glVertex3f(-h, h, 0); glVertex3f(-h, -h, 0);
    glEnd();
    glPopMatrix();
}

// ---- display lists ------------------------------------------------------

#define ICO_X 0.525731112119133606f
#define ICO_Z 0.850650808352039932f
const float icosahedron_vertices[12][3] = {
    {-ICO_X, 0, ICO_Z}, {ICO_X, 0, ICO_Z}, {-ICO_X, 0, -ICO_Z}, {ICO_X, 0, -ICO_Z},
    {0, ICO_Z, ICO_X}, {0, ICO_Z, -ICO_X}, {0, -ICO_Z, ICO_X}, {0, -ICO_Z, -ICO_X},
    {ICO_Z, ICO_X, 0}, {-ICO_Z, ICO_X, 0}, {ICO_Z, -ICO_X, 0}, {-ICO_Z, -ICO_X, 0},
};
// Counter-clockwise seen from outside.
const int icosahedron_faces[20][3] = {
    {1, 4, 0}, {4, 9, 0}, {4, 5, 9}, {8, 5, 4}, {1, 8, 4},
    {1, 10, 8}, {10, 3, 8}, {8, 3, 5}, {3, 2, 5}, {3, 7, 2},
    {3, 10, 7}, {10, 6, 7}, {6, 11, 7}, {6, 0, 11}, {6, 1, 0},
    {10, 1, 6}, {11, 0, 9}, {2, 11, 9}, {5, 2, 9}, {11, 2, 7},
};

static void gl_sphere_triangle(const float a[3], const float b[3], const float c[3], void *)
{
    glNormal3fv(a);
    glVertex3fv(a);
    glNormal3fv(b);
    glVertex3fv(b);
    glNormal3fv(c);
    glVertex3fv(c);
}

static void unit_midpoint(const float a[3], const float b[3], float out[3])
{
    float m[3] = {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
    float len = sqrtf(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]);
    if (!(len > 0.0f))
        len = 1.0f;
    for (int k = 0; k < 3; k++)
        out[k] = m[k] / len;
}

void emit_sphere_patch_to(const float a[3], const float b[3], const float c[3], int level,
                          SphereTriangleSink sink, void *user)
{
    if (level < 1) {
        sink(a, b, c, user);
        return;
    }
    float ab[3], bc[3], ca[3];
    unit_midpoint(a, b, ab);
    unit_midpoint(b, c, bc);
    unit_midpoint(c, a, ca);
    emit_sphere_patch_to(a, ab, ca, level - 1, sink, user);
    emit_sphere_patch_to(b, bc, ab, level - 1, sink, user);
    emit_sphere_patch_to(c, ca, bc, level - 1, sink, user);
    emit_sphere_patch_to(ab, bc, ca, level - 1, sink, user);
}

void emit_sphere_patch(const float a[3], const float b[3], const float c[3], int level)
{
    emit_sphere_patch_to(a, b, c, level, gl_sphere_triangle, nullptr);
}

static void circle_list(int last)
{
    glBegin(GL_TRIANGLE_FAN);
    for (int n = last; n >= 0; n--) {
        double a = n * 2.0 * kPi / last;
        glVertex3f((float)cos(a), (float)sin(a), 0.0f);
    }
    glEnd();
}

static void ring_list(int steps, float inner, bool textured)
{
    glNormal3f(0, 0, 1);
    glBegin(GL_QUAD_STRIP);
    for (int n = 0; n <= steps; n++) {
        double a = n * 2.0 * kPi / steps;
        float s = (float)sin(a), c = (float)cos(a);
        if (textured)
            glTexCoord2f(0.5f + 0.5f * s, 0.5f + 0.5f * c);
        glVertex3f(c, s, 0.0f);
        if (textured)
            glTexCoord2f(0.5f + 0.5f * inner * s, 0.5f + 0.5f * inner * c);
        glVertex3f(inner * c, inner * s, 0.0f);
    }
    glEnd();
}

// The 12 x 12 solid sphere. freeglut's glutSolidSphere ends the whole
// program when glutInit has not run yet (tests, or lists built before the
// platform start), so the same sphere (radius 1, 12 slices, 12 stacks,
// smooth normals) comes from GLU, which needs nothing but the GL context.
static void solid_sphere_12()
{
    GLUquadric *q = gluNewQuadric();
    if (!q)
        return;
    gluQuadricNormals(q, GLU_SMOOTH);
    gluSphere(q, 1.0, 12, 12);
    gluDeleteQuadric(q);
}

void build_display_lists()
{
    delete_display_lists();
    DisplayLists &d = display_lists;
    d.ico_sphere = glGenLists(1);
    glNewList(d.ico_sphere, GL_COMPILE);
    glBegin(GL_TRIANGLES);
    for (int f = 0; f < 20; f++)
        emit_sphere_patch(icosahedron_vertices[icosahedron_faces[f][0]],
                          icosahedron_vertices[icosahedron_faces[f][1]],
                          icosahedron_vertices[icosahedron_faces[f][2]],
                          sphere_subdivision_level);
    glEnd();
    glEndList();

    d.glut_sphere = glGenLists(1);
    glNewList(d.glut_sphere, GL_COMPILE);
    solid_sphere_12();
    glEndList();

    d.hemisphere = glGenLists(1);
    glNewList(d.hemisphere, GL_COMPILE);
    for (int k = 0; k < 8; k++) {
        glBegin(GL_QUAD_STRIP);
        for (int l = 0; l <= 8; l++) {
            double b = l * 2.0 * kPi / 8.0;
            for (int ring = k + 1; ring >= k; ring--) {
                double a = ring * kPi / 8.0;
                float v[3] = {(float)(sin(a) * sin(b)), (float)(sin(a) * cos(b)), (float)cos(a)};
                glNormal3fv(v);
                glTexCoord2f(1.0f - l / 8.0f, 1.0f - ring / 8.0f);
                glVertex3fv(v);
            }
        }
        glEnd();
    }
    glEndList();

    d.circle9 = glGenLists(1);
    glNewList(d.circle9, GL_COMPILE);
    circle_list(8);
    glEndList();

    d.circle25 = glGenLists(1);
    glNewList(d.circle25, GL_COMPILE);
    circle_list(24);
    glEndList();

    d.textured_ring = glGenLists(1);
    glNewList(d.textured_ring, GL_COMPILE);
    ring_list(32, 0.8f, true);
    glEndList();

    d.narrow_ring = glGenLists(1);
    glNewList(d.narrow_ring, GL_COMPILE);
    ring_list(12, 0.4f, false);
    glEndList();
}

void delete_display_lists()
{
    GLuint *lists[] = {&display_lists.ico_sphere, &display_lists.glut_sphere,
                       &display_lists.hemisphere, &display_lists.circle9,
                       &display_lists.circle25, &display_lists.textured_ring,
                       &display_lists.narrow_ring};
    for (GLuint *l : lists) {
        if (*l)
            glDeleteLists(*l, 1);
        *l = 0;
    }
}

// ---- projection and 2D --------------------------------------------------

static double aspect()
{
    return view_height > 0 ? (double)view_width / view_height : 1.0;
}

// begin_2d calls not yet ended, and whether a view angle set meanwhile
// waits for the scene's projection to come back.
static int open_2d_count;
static int fov_pending;

void set_perspective_fov(float fov)
{
    projection_settings.fov = fov;
    camera_state.fov = fov;
    if (open_2d_count > 0) {
        // Set while 2D is drawn (a script's draw2d hook): the 2D drawing
        // keeps its matrix, the scene's projection takes the angle when the
        // 2D drawing ends.
        fov_pending = 1;
        return;
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(fov, aspect(), 0.1, 1000.0);
    glMatrixMode(GL_MODELVIEW);
}

void push_square_perspective()
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(50.0, 1.0, 0.1, 1000.0);
    glMatrixMode(GL_MODELVIEW);
}

void pop_square_perspective()
{
    set_perspective_fov(projection_settings.fov);
    glPopMatrix();
    reset_viewport();
}

void set_avatar_view(const int rect[2], int size, const float target[3])
{
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(target[0], target[1] - 3.0, target[2], target[0], target[1], target[2], 0, 0, 1);
    glViewport(rect[0], view_height - rect[1], size, size);
    glClear(GL_DEPTH_BUFFER_BIT);
}

void begin_2d()
{
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, view_width, view_height, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    open_2d_count++;
}

void end_2d()
{
    if (open_2d_count > 0)
        open_2d_count--;
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    if (open_2d_count == 0 && fov_pending) {
        fov_pending = 0;
        set_perspective_fov(projection_settings.fov);
    }
}

void reset_viewport()
{
    glViewport(0, 0, view_width, view_height);
}

// The state of the flat 2D shapes.
static void flat_2d_state()
{
    glShadeModel(GL_FLAT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
}

void draw_triangle_2d(float x, float y, float h, float w)
{
    flat_2d_state();
    glPushMatrix();
    glLoadIdentity();
    glBegin(GL_TRIANGLES);
    glVertex2f(x + w * 0.5f, y - h);
    glVertex2f(x + w, y);
    glVertex2f(x, y);
    glEnd();
    glPopMatrix();
}

void draw_rect_filled(float x1, float y1, float x2, float y2)
{
    flat_2d_state();
    glPushMatrix();
    glLoadIdentity();
    glBegin(GL_QUADS);
    glVertex2f(x1, y1);
    glVertex2f(x1, y2);
    glVertex2f(x2, y2);
    glVertex2f(x2, y1);
    glEnd();
    glPopMatrix();
}

void draw_rect_outline(float x1, float y1, float x2, float y2)
{
    flat_2d_state();
    glPushMatrix();
    glLoadIdentity();
    glBegin(GL_LINE_STRIP);
    glVertex2f(x1, y1);
    glVertex2f(x2, y1);
    glVertex2f(x2, y2);
    glVertex2f(x1, y2);
    glVertex2f(x1, y1);
    glEnd();
    glPopMatrix();
}

void draw_quad_2d(float x1, float y1, float x2, float y2)
{
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glPushMatrix();
    glLoadIdentity();
    glBegin(GL_QUADS);
    glVertex2f(x1, y1);
    glVertex2f(x1, y2);
    glVertex2f(x2, y2);
    glVertex2f(x2, y1);
    glEnd();
    glPopMatrix();
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
}

void draw_partial_disk_2d(float x, float y, float inner, float outer, int slices, int loops,
                          float start, float sweep, int additive)
{
    if (!disk_quadric)
        disk_quadric = gluNewQuadric();
    if (!disk_quadric)
        return;
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_LIGHTING_BIT);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(x, y, 0);
    set_material(draw_color[0], draw_color[1], draw_color[2], draw_color[3]);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, additive ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
    gluPartialDisk(disk_quadric, inner, outer, slices, loops, start, sweep);
    glPopMatrix();
    glPopAttrib();
}

// The state of the textured 2D quads.
static void textured_2d_state(const Texture *texture)
{
    glShadeModel(GL_FLAT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glBindTexture(GL_TEXTURE_2D, texture->id);
    glColor3fv(texture->colour);
}

static void textured_quad(const Texture *texture, float x, float y, float w, float h)
{
    textured_2d_state(texture);
    glPushMatrix();
    glLoadIdentity();
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0); glVertex2f(x, y + h);
    glTexCoord2f(1, 0); glVertex2f(x + w, y + h);
    glTexCoord2f(1, 1); glVertex2f(x + w, y);
    glTexCoord2f(0, 1); glVertex2f(x, y);
    glEnd();
    glPopMatrix();
}

void draw_texture_quad(const Texture *texture, float x, float y, float sx, float sy)
{
    if (!texture)
        return;
    textured_quad(texture, x, y, texture->width * sx, texture->height * sy);
}

void draw_textured_quad(const Texture *texture, float x, float y, float w, float h)
{
    if (!texture)
        return;
    textured_quad(texture, x, y, w, h);
}

void draw_table_texture(int row, float x, float y, float s)
{
    draw_texture_quad(table_texture(row), x, y, s, s);
}

void draw_table_texture(int row, float x, float y)
{
    draw_table_texture(row, x, y, 1.0f);
}

void draw_texture_billboard(const Texture *texture, float x, float y, float z, float scale)
{
    if (!texture)
        return;
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glShadeModel(GL_FLAT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glBindTexture(GL_TEXTURE_2D, texture->id);
    glColor3fv(texture->colour);
    glPushMatrix();
    glTranslatef(x, y, z);
    glScalef(scale, scale, 1.0f);
    glBegin(GL_QUADS);
    glNormal3f(0, 0, 1);
    glTexCoord2f(0, 0); glVertex3f(-2, -1, 0);
    glTexCoord2f(1, 0); glVertex3f(0, -1, 0);
    glTexCoord2f(1, 1); glVertex3f(0, 1, 0);
    glTexCoord2f(0, 1); glVertex3f(-2, 1, 0);
    glEnd();
    glPopMatrix();
}

void draw_table_texture_alpha(int row, float x, float y, float z)
{
    draw_texture_billboard(table_texture(row), x, y, z, 1.0f);
}

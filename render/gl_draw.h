// The fixed-function drawing toolkit: the current colour and its material,
// the drawing modes, the immediate-mode meshes, the display lists, the
// projections and the 2D overlay set (between begin_2d and end_2d, window
// pixels, origin top left).
#pragma once

#include <GL/glew.h>
#include <GL/glu.h>

struct Texture;

// Current drawing colour (r, g, b, a).
extern float draw_color[4];
// Selects the textured variant of the floor-shadow mode; 0 from start-up.
extern int texture_generation_flag;
// The clear colour the scene was last cleared with (set_clear_color keeps it).
extern float remembered_clear_colour[3];

// The field of view and the texture-generation scale.
struct ProjectionSettings {
    float texgen_scale;
    float fov;
};
extern ProjectionSettings projection_settings;

// The quadric of the partial disks (made by the renderer's resources; made
// here on first use when it is still missing).
extern GLUquadric *disk_quadric;

extern int sphere_subdivision_level;   // 1
extern int capsule_segments;           // 12

// The display lists (0 until build_display_lists has run).
struct DisplayLists {
    GLuint ico_sphere;
    GLuint glut_sphere;
    GLuint hemisphere;
    GLuint circle9;
    GLuint circle25;
    GLuint textured_ring;
    GLuint narrow_ring;
};
extern DisplayLists display_lists;

// The modelview matrix saved by prepare_particle_state (billboards).
extern float saved_modelview[16];

// Hands a square outline to the shader renderer; returns non-zero when the
// shader renderer is active and took it. Empty: drawn here.
extern int (*square_outline_hook)(float x, float y, float z, int mode, float half_size);

// ---- colour and modes ---------------------------------------------------
void set_draw_color(float r, float g, float b, float a);
void set_draw_color_rgb(float r, float g, float b);
void set_material(float r, float g, float b, float a);
void begin_lit_drawing();
void begin_flat_drawing();
void prepare_particle_state();
void begin_floor_shadow_drawing();
void draw_line_3d(const float p[3], const float q[3]);
void draw_line_3d(const double p[3], const double q[3]);

// ---- meshes -------------------------------------------------------------
void draw_box_mesh(const float sides[3]);
void draw_cylinder_mesh(float length, float radius, float z);
void draw_capsule_mesh(float length, float radius);
void draw_sphere_shadow(float x, float y, float z, float radius);
// The fan points of draw_sphere_shadow (24 points, xy pairs), without GL.
void sphere_shadow_points(float x, float y, float z, float radius, float out[24][2]);
void draw_triangle_normal(const float a[3], const float b[3], const float c[3], int filled);
// The unit normal of (b - a) x (c - a); (1, 0, 0) for a degenerate triangle.
void triangle_normal(const float a[3], const float b[3], const float c[3], float out[3]);
void draw_square_outline(float x, float y, float z, float angle, int mode, float size);

// ---- display lists ------------------------------------------------------
void build_display_lists();
void delete_display_lists();
// Emits the triangle (a, b, c) split to `level` onto the unit sphere; each
// emitted triangle goes through emit (glNormal/glVertex when emit is empty).
typedef void (*SphereTriangleSink)(const float a[3], const float b[3], const float c[3], void *user);
void emit_sphere_patch(const float a[3], const float b[3], const float c[3], int level);
void emit_sphere_patch_to(const float a[3], const float b[3], const float c[3], int level,
                          SphereTriangleSink sink, void *user);
// The standard unit icosahedron.
extern const float icosahedron_vertices[12][3];
extern const int icosahedron_faces[20][3];

// ---- projection and 2D --------------------------------------------------
void set_perspective_fov(float fov);
void push_square_perspective();
void pop_square_perspective();
void set_avatar_view(const int rect[2], int size, const float target[3]);
void begin_2d();
void end_2d();
void reset_viewport();
void draw_triangle_2d(float x, float y, float h, float w);
void draw_rect_filled(float x1, float y1, float x2, float y2);
void draw_rect_outline(float x1, float y1, float x2, float y2);
void draw_quad_2d(float x1, float y1, float x2, float y2);
void draw_partial_disk_2d(float x, float y, float inner, float outer, int slices, int loops,
                          float start, float sweep, int additive);
void draw_texture_quad(const Texture *texture, float x, float y, float sx, float sy);
void draw_textured_quad(const Texture *texture, float x, float y, float w, float h);
void draw_table_texture(int row, float x, float y, float s);
void draw_table_texture(int row, float x, float y);
void draw_texture_billboard(const Texture *texture, float x, float y, float z, float scale);
void draw_table_texture_alpha(int row, float x, float y, float z);

// The renderer's resources and the drawing of one physics shape (box,
// sphere, capsule, clipped half sphere) by drawing kind, the geom drawer
// that follows a geom to its shape, the dojo and the frame's 3D scene.
//
// Every shape first asks whether the shader renderer draws this frame
// (`shaders_active`); when it does, the shape goes to the scene draw queue
// through queue_scene_shape and nothing is drawn here.
#pragma once

#include <GL/glew.h>
#include <GL/glu.h>
#include <ode/ode.h>

struct Texture;
struct MatchState;
struct GameRules;

// Drawing kinds of the shape calls (any other value draws plain).
enum {
    DRAW_PLAIN = 1,
    DRAW_OUTLINE = 2,        // the flat pass: a grown black silhouette
    DRAW_FLOOR_SHADOW = 4,   // the occluder pass: a planar shadow on z = 0
    DRAW_TEXTURED = 8,
    DRAW_RING = 16,          // spheres: a flat ring
    DRAW_BILLBOARD = 32,     // spheres: a camera-facing circle
    DRAW_HALF_KEEP = 64,     // split joint sphere, the force half (with its rim)
    DRAW_HALF_OTHER = 128,   // split joint sphere, the relax half
    DRAW_TEXGEN = 0x100
};

// Whether the GLSL scene renderer draws this frame. 0 until the shader
// renderer exists and switches itself on.
extern int shaders_active;
// Grows outlines: boxes by it, spheres by 0.4 of it, capsules by it in
// length and by half of it in radius.
extern float outline_width;
// The first quadric (texture coordinates on); the second is disk_quadric.
extern GLUquadric *shape_quadric;

// One shape as the scene draw queue receives it.
enum { SCENE_BOX = 0, SCENE_SPHERE = 1, SCENE_CAPSULE = 2, SCENE_HALF_SPHERE = 3 };
struct SceneShape {
    int shape;               // SCENE_*
    float position[3];
    float linear_velocity[3];
    float angular_velocity[3];
    float rotation[12];      // row-major 3 x 4, the fourth column unread
    float size[4];           // box sides; sphere radius; capsule length, radius;
                             // half sphere radius and the three selectors
    int kind;
    Texture *texture;
    Texture *bump;
};
// Filled by the scene draw queue; empty: queued shapes are dropped.
extern void (*scene_queue_sink)(const SceneShape *shape);
// The one road of every shape while shaders_active is set.
void queue_scene_shape(const SceneShape *shape);

// Where the renderer reaches the layers beside it. Each slot may be empty.
struct RenderOutward {
    int (*init_fonts)();           // 0 on success
    void (*close_fonts)();
    void (*reload_script_textures)();
    void (*free_script_textures)();
    void (*init_shader_renderer)();
    void (*free_shader_renderer)();
    void (*add_fluid_blood)(const float position[3], const float direction[3], float size,
                            const float colour[3]);
    void (*add_floor_stain)(const float position[3], const float direction[3], float size,
                            const float colour[3]);
    // Bump-mapped meshes (box sides, sphere radius, capsule radius, radius,
    // length); empty: the colour texture path draws instead.
    void (*bump_box)(const float sides[3], Texture *bump, Texture *colour);
    void (*bump_sphere)(Texture *bump, Texture *colour);
    void (*bump_capsule)(float r1, float r2, float length, Texture *bump, Texture *colour);
    // 0 when the font start-up failure may end the program (the default).
    int keep_running_without_fonts;
};
extern RenderOutward render_outward;

// A test hook: when set, every geom, sphere, box, capsule and half-sphere
// call of the double-precision drawers is handed to it instead of drawn.
enum { REC_GEOM = 0, REC_BOX = 1, REC_SPHERE = 2, REC_CAPSULE = 3, REC_HALF_SPHERE = 4 };
struct DrawRecord {
    int what;                // REC_*
    dGeomID geom;            // REC_GEOM only
    double position[3];
    double size[4];          // radius / sides / length, radius / radius, normal
    int kind;
    float colour[4];         // draw_color at the call
    Texture *texture;
    Texture *bump;
};
extern void (*draw_recorder)(const DrawRecord *record);

// ---- resources -----------------------------------------------------------------
// 1 from load_render_resources to shutdown_renderer: a GL context exists and
// the renderer's resources belong to it. Before (a start-up script) and
// between (a video re-initialisation) nothing may be built in GL.
extern int render_resources_loaded;
void load_render_resources();
void shutdown_renderer();
void set_clear_color(const float colour[3]);
// Clears with the remembered colour again (what the shader passes set for
// their frames goes with them).
void restore_clear_color();

// ---- shapes ----------------------------------------------------------------------
void body_matrix(const float position[3], const float rotation[12], float out[16]);
void render_box(const float position[3], const float linear_velocity[3],
                const float angular_velocity[3], const float rotation[12], const float sides[3],
                int kind, Texture *texture, Texture *bump);
void render_sphere(const float position[3], const float linear_velocity[3],
                   const float angular_velocity[3], const float rotation[12], float radius,
                   int kind, Texture *texture, Texture *bump);
void render_capsule(const float position[3], const float linear_velocity[3],
                    const float angular_velocity[3], const float rotation[12], float length,
                    float radius, int kind, Texture *texture, Texture *bump);
// Half a sphere: the half on the sign side of the local axis picked by the
// selectors (sy first, then sz, then sx) stays; kind 64 also draws the rim.
void render_half_sphere(const float position[3], const float rotation[12], float radius,
                        float sx, float sy, float sz, int kind, Texture *texture, Texture *bump);
// The same in doubles; velocities may be null (zeros).
void draw_box_geom(const double *position, const double *linear_velocity,
                   const double *angular_velocity, const double *rotation,
                   const double *sides, int kind, Texture *texture, Texture *bump);
void draw_sphere_geom(const double *position, const double *linear_velocity,
                      const double *angular_velocity, const double *rotation, double radius,
                      int kind, Texture *texture, Texture *bump);
void draw_capsule_geom(const double *position, const double *linear_velocity,
                       const double *angular_velocity, const double *rotation, double length,
                       double radius, int kind, Texture *texture, Texture *bump);
void draw_half_sphere_geom(const double *position, const double *rotation, double radius,
                           double sx, double sy, double sz, int kind, Texture *texture,
                           Texture *bump);
// One physics geom by its class (a transform is followed to its inner geom);
// other classes are ignored.
void draw_geom(dGeomID geom, int kind, Texture *texture, Texture *bump);

void draw_disk_3d(const float matrix[16], const float colour[4], float inner, float outer,
                  int slices, int loops, float start, float sweep);

// ---- blood -------------------------------------------------------------------------
void emit_fluid_blood(const float position[3], const float direction[3], float size,
                      const float colour[3]);
void add_blood_stain(const float position[3], const float direction[3], float size,
                     const float colour[3]);

// ---- player textures ------------------------------------------------------------
int set_player_body_decal(int player, int body, const char *text);
int set_player_body_gradient(int player, int body, const float colour1[3],
                             const float colour2[3]);

// ---- the dojo and the frame's scene --------------------------------------------
// The palette row of the text colour (51 from start).
extern int text_colour_index;
void draw_dojo(const GameRules *rules);
// The 3D scene of a frame: camera follow, dojo, fighters (sorted when the
// shader renderer and `transparency` are on), the extra 3D layers.
void draw_scene(MatchState *match, const GameRules *rules);
// The same in two halves, for 3D drawn in the scene's camera between them
// (ground impacts, scripts' shapes): begin_scene sets the camera and opens
// the frame's queue with the dojo and fighters; end_scene draws what was
// queued (with the shader renderer) and leaves the state for the next
// layers.
void begin_scene(MatchState *match, const GameRules *rules);
void end_scene();

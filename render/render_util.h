// Small services of the shader renderer: the graphics statistics line, the
// check of the GL features the shader path needs, framebuffer render
// targets, vertex-buffer objects, the fluid-blood particle buffer with its
// five strand emitters, the floor-patch grid and stain-map bookkeeping, and
// thin GL state helpers.
#pragma once

#include <cstdint>

// 1 when the name may become one part of a path: not empty, no '/', '\\',
// ':', "..", no leading '.', no control characters, shorter than size_limit.
int is_plain_name(const char *name, int size_limit);

// ---- the graphics statistics line ------------------------------------------------
enum { GRAPHICS_STATS_TEXT = 4096 };
extern char graphics_stats_line[GRAPHICS_STATS_TEXT];
// Where the line is appended ("data/stats.dat").
extern const char *graphics_stats_path;
// "STAT_GRF 0;ZM3.24,<GL_RENDERER>,LINUX,REF<r>,FLD<f>,SFT<s>".
void build_graphics_stats_line();
// Appends text to the line (bounded).
void append_graphics_stats_text(const char *text);
// Appends the line (with a line end) to the stats file unless the file
// already holds the same line; a file that cannot be opened is skipped.
void append_graphics_stats();
// 0 when the shader path can run (GL 2.0 programs and framebuffer
// objects); otherwise 1, `shaders` is lowered and a line goes to stderr.
int has_gl_extension();

// ---- render targets ----------------------------------------------------------------
enum { RENDER_TARGETS = 16 };
struct RenderTarget {
    uint32_t framebuffer;
    uint32_t texture;
    int32_t width, height;
    int32_t has_depth;
    uint32_t own_depth;           // a depth buffer of its own (size differs), or 0
};
extern RenderTarget render_targets[RENDER_TARGETS];
extern int32_t render_target_count;
// The depth renderbuffer shared by targets that ask for depth, its size.
extern uint32_t shared_depth_buffer;
extern int32_t shared_depth_width, shared_depth_height;
// The bound target, -1 for the window.
extern int32_t bound_render_target;
// The window's viewport that binding -1 restores (start-up sets it from the
// window size; 0 x 0: the viewport is left alone).
extern int32_t window_viewport_width, window_viewport_height;

// A target of RGBA8 colour (and the shared depth when asked for; a target
// whose size differs from the shared depth buffer gets a depth buffer of its
// own). Returns the new index, or -1 when all 16 are used, the GL fails or
// the framebuffer is not complete (nothing is left behind then).
int create_render_target(int width, int height, int with_depth);
// -2: the current target again; another negative n: the window; else n.
void bind_render_target(int n);
// Deletes every target and the depth buffers, whatever the options say.
void delete_render_targets();

// ---- vertex buffers -------------------------------------------------------------------
struct RenderObject {
    uint32_t vertex_buffer;
    uint32_t index_buffer;
    int32_t vertex_count;
    int32_t index_count;
};
// Builds the pair; 0 on success. Refuses (1, one stderr line, an empty
// object) a bad index, a vertex count above 65536, a non-positive size or
// count, and GL failures (which also set renderer_error_flag).
int renderobject_create(RenderObject *object, const void *vertices, int vertex_size,
                        int vertex_count, const uint16_t *indices, int index_count);
void renderobject_draw(const RenderObject *object);
void renderobject_free(RenderObject *object);

// ---- fluid blood particles --------------------------------------------------------------
enum { BLOOD_PARTICLES = 102400, BLOOD_EMITTERS = 5 };
struct BloodParticle {
    float position[3];
    float direction[3];
    float size;
    int32_t age;
    uint32_t colour;              // R | G << 8 | B << 16 | A << 24
    BloodParticle *previous;
    BloodParticle *previous2;
    BloodParticle *next;
    BloodParticle *next2;
};
struct BloodEmitter {
    float last_position[3];
    BloodParticle *last;
    BloodParticle *second_last;
};
struct BloodParticleBuffer {
    BloodParticle particles[BLOOD_PARTICLES];
    int32_t count;                // the write position
    BloodEmitter emitters[BLOOD_EMITTERS];
};
extern BloodParticleBuffer blood_particle_buffer;
// Adds a particle with the current draw colour to the nearest strand;
// "Blood buffer full\n" and dropped when full. Returns 0 when added.
int blood_buffer_add(const float position[3], const float direction[3], float size);
// Empties the buffer and the emitters.
void blood_buffer_clear();

// ---- floor patches and stains --------------------------------------------------------
enum {
    FLOOR_PATCH_GRID = 64,
    FLOOR_PATCHES = FLOOR_PATCH_GRID * FLOOR_PATCH_GRID,   // one per patch number
    STAIN_PATCH_LIMIT = 4095,     // patch numbers 1 .. 4095 are handed out
    STAIN_MAP_SIZE = 2048         // texels of the stain render target
};
// Slot origin (u, v) in the stain map of every patch number.
extern float floor_patch_uv[FLOOR_PATCHES][2];
// Fills the grid row by row with step 1/64 (0 on success; 1 and
// "init_floor_patches bug\n" when the last row does not end at 1.0).
int init_floor_patches();

// Floor cells are 0.24 x 0.24 (32 steps of 0.0075).
#define FLOOR_CELL_SIZE 0.24f
#define FLOOR_CELL_STEP 0.0075f
struct StainPatch {
    uint32_t colour;              // R + 256 G + 65536 B (each x 255)
    int32_t cell_x, cell_y;
    int32_t patch;                // 1 .. 4095
};
// The stain map: ordered by colour, then cell (y, then x).
struct StainMap {
    StainPatch entries[FLOOR_PATCHES];
    int32_t count;
};
extern StainMap stain_map;
extern int32_t stain_patch_counter;   // the next patch number (1 at start)
// The cell of a floor coordinate.
int32_t floor_cell_of(float coordinate);
// The patch number of (colour, cell); a new one is handed out when the pair
// has none (new_out 1). When the numbers wrap, "Floor patch buffer
// overflow\n" goes to stderr and the stale entries holding a reused number
// are dropped. Never returns 0.
int32_t stain_patch_for(uint32_t colour, int32_t cell_x, int32_t cell_y, int *new_out);
// Empties the stain map, the stained-patch list and the counter, and clears
// the stain target to transparent black (when shaders are on and the
// target exists).
void clear_blood_stains();
// The stain target index clear_blood_stains clears (-1: none).
extern int32_t stain_render_target;

// Stained-patch vertices: position, colour, stain-map texture coordinate.
struct StainVertex {
    float position[3];
    uint32_t colour;
    float uv[2];
};
struct StainVertexList {
    StainVertex *vertices;        // malloc'd
    int32_t count;
    int32_t capacity;
};
extern StainVertexList stain_quads;
// Two triangles per stained patch, in map order, over the patch's floor
// cell at z (the floor height); texture coordinates cover the patch's slot
// inset by 1/2048. Returns the vertex count (-1 when out of memory).
int build_stain_quads(float z);
void free_stain_quads();

// ---- GL state helpers -------------------------------------------------------------------
void use_texture_unit(int unit, uint32_t texture);
void disable_texture_unit(int unit);
void disable_texture_unit_and_cube(int unit);
void bind_target_texture(int unit, int target);
void bind_vertex_format_pn(const RenderObject *object);    // stride 24
void bind_vertex_format_pnt(const RenderObject *object);   // stride 32
void unbind_vertex_buffers();
void draw_fullscreen_quad();
void draw_ground_quad(const float point[3]);
void draw_square_frame(const float point[3], float half_size, float width);
// RGBA pixels (red and blue swapped here) to a mipmapped texture; the GL
// name, 0 on failure.
uint32_t make_texture_from_pixels(uint8_t *pixels, int width, int height);
// The same for pixels already in RGBA order (nothing swapped).
uint32_t upload_rgba_texture(const uint8_t *pixels, int width, int height);
// Texture matrix 0 := the pose's rotation (three rows of four) and position.
void load_texture_matrix_from_pose(const float rotation[12], const float position[3]);
// Per triangle of vertices [first, last): u (then v) differing by more than
// 0.5 moves the smaller by 1. uv points at the first vertex's u, stride in
// floats.
void fix_texcoord_seams(float *uv, int stride, int first, int last);
// Clamped float colour to bytes: R | G << 8 | B << 16 | A << 24; the rgb
// form leaves alpha 0.
uint32_t pack_rgba_u32(const float colour[4]);
uint32_t pack_rgb_u32(const float colour[3]);
// At shutdown: every render target and the renderer's own textures (sky,
// sun), whatever the options say.
void delete_renderer_textures();

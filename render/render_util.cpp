#include "render/render_util.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/text.h"
#include "platform/screenshot.h"
#include "render/gl_draw.h"
#include "render/glsl_programs.h"
#include "render/scene.h"
#include "render/sky.h"
#include "core/safe_file.h"

// ---- names -----------------------------------------------------------------------

int is_plain_name(const char *name, int size_limit)
{
    if (!name || !name[0] || name[0] == '.' || strstr(name, ".."))
        return 0;
    int len = (int)strnlen(name, (size_t)(size_limit > 0 ? size_limit : 1));
    if (len >= size_limit)
        return 0;
    for (int i = 0; i < len; i++) {
        unsigned char c = (unsigned char)name[i];
        if (c < 32 || c == 127 || c == '/' || c == '\\' || c == ':')
            return 0;
    }
    return 1;
}

// ---- the graphics statistics line -------------------------------------------------

char graphics_stats_line[GRAPHICS_STATS_TEXT];
const char *graphics_stats_path = "data/stats.dat";

static int option_digit(int32_t *ref) { return render_option(ref) ? 1 : 0; }

void append_graphics_stats_text(const char *text)
{
    if (!text)
        return;
    size_t used = strnlen(graphics_stats_line, sizeof graphics_stats_line);
    if (used >= sizeof graphics_stats_line - 1)
        return;
    n_strncpyz(graphics_stats_line + used, text, (int)(sizeof graphics_stats_line - used));
}

void build_graphics_stats_line()
{
    const char *renderer = (const char *)glGetString(GL_RENDERER);
    char renderer_text[512];
    n_strncpyz(renderer_text, renderer ? renderer : "unknown", sizeof renderer_text);
    // The line goes to a server as one line: no line ends inside it.
    for (char *c = renderer_text; *c; c++)
        if (*c == '\n' || *c == '\r')
            *c = ' ';
    snprintf(graphics_stats_line, sizeof graphics_stats_line,
             "STAT_GRF 0;ZM%s,%s,LINUX,REF%i,FLD%i,SFT%i", "3.24", renderer_text,
             option_digit(render_option_refs.reflection), option_digit(render_option_refs.fluid),
             option_digit(render_option_refs.softshadow));
}

void append_graphics_stats()
{
    // The stored line ends with a line end; ours may carry one too.
    char want[GRAPHICS_STATS_TEXT];
    n_strncpyz(want, graphics_stats_line, sizeof want);
    size_t n = strlen(want);
    while (n > 0 && (want[n - 1] == '\n' || want[n - 1] == '\r'))
        want[--n] = '\0';
    FILE *f = open_read_file(graphics_stats_path, 1 << 20);
    if (f) {
        char line[GRAPHICS_STATS_TEXT + 2];
        int whole = 1;   // the piece read starts a line
        while (fgets(line, sizeof line, f)) {
            size_t len = strlen(line);
            int ends = len > 0 && line[len - 1] == '\n';
            while (len > 0 && (line[len - 1] == '\n' || line[len - 1] == '\r'))
                line[--len] = '\0';
            if (whole && ends && strcmp(line, want) == 0) {
                fclose(f);
                return;
            }
            whole = ends;
        }
        fclose(f);
    }
    f = fopen(graphics_stats_path, "a");
    if (!f)
        return;
    fprintf(f, "%s\n", want);
    fclose(f);
}

int has_gl_extension()
{
    int count = 0;
    bool gl20 = GLEW_VERSION_2_0 && glCreateProgram && glShaderSource && glCompileShader &&
                glLinkProgram && glUseProgram && glGetUniformLocation;
    if (!gl20)
        append_graphics_stats_text(",NOOGL20");
    if (!glewIsSupported("GL_ARB_shader_objects"))
        append_graphics_stats_text(",NOGLARB");
    else
        count++;
    if (!glewIsSupported("GL_ARB_fragment_shader"))
        append_graphics_stats_text(",NOGLARBFS");
    else
        count++;
    if (!glewIsSupported("GL_ARB_vertex_shader"))
        append_graphics_stats_text(",NOGLARBVS");
    else
        count++;
    if (gl20)
        count++;
    // The programs are built with the OpenGL 2.0 entry points: without them
    // the ARB extensions alone are not enough.
    if (count == 0 || !gl20) {
        fprintf(stderr, "No shader extension found. Abort\n");
        lower_render_option(render_option_refs.shaders);
        return 1;
    }
    bool fbo = glGenFramebuffers && glBindFramebuffer && glFramebufferTexture2D &&
               glCheckFramebufferStatus && glGenRenderbuffers;
    if (!fbo) {
        fprintf(stderr, "GL_EXT_framebuffer_object not supported. Abort.\n");
        lower_render_option(render_option_refs.shaders);
        return 1;
    }
    return 0;
}

// ---- render targets -----------------------------------------------------------------

RenderTarget render_targets[RENDER_TARGETS];
int32_t render_target_count = 0;
uint32_t shared_depth_buffer = 0;
int32_t shared_depth_width = 0, shared_depth_height = 0;
int32_t bound_render_target = -1;
int32_t window_viewport_width = 0, window_viewport_height = 0;
static GLint saved_window_viewport[4];
static int have_saved_viewport = 0;

static GLuint make_depth_buffer(int width, int height)
{
    GLuint depth = 0;
    glGenRenderbuffers(1, &depth);
    if (!depth)
        return 0;
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT32, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    return depth;
}

int create_render_target(int width, int height, int with_depth)
{
    if (render_target_count >= RENDER_TARGETS || render_target_count < 0) {
        fprintf(stderr, "create_render_target: all %i render targets are in use\n",
                RENDER_TARGETS);
        return -1;
    }
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
        fprintf(stderr, "create_render_target: bad size %i x %i\n", width, height);
        return -1;
    }
    if (!glGenFramebuffers) {
        fprintf(stderr, "create_render_target: no framebuffer objects\n");
        return -1;
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    RenderTarget t = {};
    t.width = width;
    t.height = height;
    t.has_depth = with_depth ? 1 : 0;
    GLuint fb = 0, tex = 0;
    glGenFramebuffers(1, &fb);
    glGenTextures(1, &tex);
    t.framebuffer = fb;
    t.texture = tex;
    GLuint depth = 0;
    int made_shared = 0;
    if (with_depth) {
        if (!shared_depth_buffer) {
            shared_depth_buffer = make_depth_buffer(width, height);
            shared_depth_width = width;
            shared_depth_height = height;
            made_shared = 1;
            depth = shared_depth_buffer;
        } else if (shared_depth_width == width && shared_depth_height == height) {
            depth = shared_depth_buffer;
        } else {
            // A depth buffer of another size makes the framebuffer incomplete.
            t.own_depth = make_depth_buffer(width, height);
            depth = t.own_depth;
        }
    }
    glBindFramebuffer(GL_FRAMEBUFFER, fb);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, tex, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    bound_render_target = -1;
    GLenum error = glGetError();
    if (status != GL_FRAMEBUFFER_COMPLETE || error != GL_NO_ERROR || !fb || !tex ||
        (with_depth && !depth)) {
        fprintf(stderr, "create_render_target: %i x %i target is not usable (status 0x%x, error 0x%x)\n",
                width, height, (unsigned)status, (unsigned)error);
        if (fb)
            glDeleteFramebuffers(1, &fb);
        if (tex)
            glDeleteTextures(1, &tex);
        if (t.own_depth) {
            GLuint d = t.own_depth;
            glDeleteRenderbuffers(1, &d);
        }
        if (made_shared && shared_depth_buffer) {
            GLuint d = shared_depth_buffer;
            glDeleteRenderbuffers(1, &d);
            shared_depth_buffer = 0;
            shared_depth_width = shared_depth_height = 0;
        }
        return -1;
    }
    render_targets[render_target_count] = t;
    return render_target_count++;
}

static void restore_window_viewport()
{
    if (window_viewport_width > 0 && window_viewport_height > 0)
        glViewport(0, 0, window_viewport_width, window_viewport_height);
    else if (have_saved_viewport)
        glViewport(saved_window_viewport[0], saved_window_viewport[1],
                   saved_window_viewport[2], saved_window_viewport[3]);
}

void bind_render_target(int n)
{
    if (n == -2)
        n = bound_render_target;
    if (!glBindFramebuffer)
        return;
    if (n < 0 || n >= render_target_count) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        if (bound_render_target >= 0)
            restore_window_viewport();
        bound_render_target = -1;
        return;
    }
    if (bound_render_target < 0) {
        glGetIntegerv(GL_VIEWPORT, saved_window_viewport);
        have_saved_viewport = 1;
    }
    const RenderTarget &t = render_targets[n];
    if (bound_render_target != n)
        glBindFramebuffer(GL_FRAMEBUFFER, t.framebuffer);
    glViewport(0, 0, t.width, t.height);
    bound_render_target = n;
}

void delete_render_targets()
{
    if (render_target_count > 0 && glBindFramebuffer && bound_render_target >= 0)
        bind_render_target(-1);
    for (int i = 0; i < render_target_count && i < RENDER_TARGETS; i++) {
        RenderTarget &t = render_targets[i];
        if (t.texture) {
            GLuint id = t.texture;
            glDeleteTextures(1, &id);
        }
        if (t.framebuffer && glDeleteFramebuffers) {
            GLuint id = t.framebuffer;
            glDeleteFramebuffers(1, &id);
        }
        if (t.own_depth && glDeleteRenderbuffers) {
            GLuint id = t.own_depth;
            glDeleteRenderbuffers(1, &id);
        }
        t = RenderTarget{};
    }
    if (shared_depth_buffer && glDeleteRenderbuffers) {
        GLuint id = shared_depth_buffer;
        glDeleteRenderbuffers(1, &id);
    }
    shared_depth_buffer = 0;
    shared_depth_width = shared_depth_height = 0;
    render_target_count = 0;
    bound_render_target = -1;
}

// ---- vertex buffers -----------------------------------------------------------------

int renderobject_create(RenderObject *object, const void *vertices, int vertex_size,
                        int vertex_count, const uint16_t *indices, int index_count)
{
    if (!object)
        return 1;
    *object = RenderObject{};
    if (!vertices || !indices || vertex_size <= 0 || vertex_count <= 0 || index_count <= 0 ||
        vertex_size > 4096 || index_count > 0x7fffffff / 2 ||
        (long long)vertex_size * vertex_count > 0x7fffffffLL) {
        fprintf(stderr, "renderobject bug\n");
        return 1;
    }
    if (vertex_count > 65536) {
        fprintf(stderr, "renderobject bug: %i vertices do not fit 16-bit indices\n",
                vertex_count);
        return 1;
    }
    for (int i = 0; i < index_count; i++) {
        if (indices[i] >= vertex_count) {
            fprintf(stderr, "renderobject bug\n");
            return 1;
        }
    }
    if (!glGenBuffers) {
        fprintf(stderr, "Failed to create vertex buffer\n");
        renderer_error_flag = 1;
        return 1;
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint buffers[2] = {0, 0};
    glGenBuffers(2, buffers);
    if (!buffers[0] || !buffers[1]) {
        fprintf(stderr, "Failed to create vertex buffer\n");
        glDeleteBuffers(2, buffers);
        renderer_error_flag = 1;
        return 1;
    }
    glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)vertex_size * vertex_count, vertices,
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, (GLsizeiptr)sizeof(uint16_t) * index_count, indices,
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    if (glGetError() != GL_NO_ERROR) {
        fprintf(stderr, "Failed to lock vertex buffer\n");
        glDeleteBuffers(2, buffers);
        renderer_error_flag = 1;
        return 1;
    }
    object->vertex_buffer = buffers[0];
    object->index_buffer = buffers[1];
    object->vertex_count = vertex_count;
    object->index_count = index_count;
    return 0;
}

void renderobject_draw(const RenderObject *object)
{
    if (!object || object->index_count <= 0)
        return;
    glDrawElements(GL_TRIANGLES, object->index_count, GL_UNSIGNED_SHORT, nullptr);
}

void renderobject_free(RenderObject *object)
{
    if (!object)
        return;
    GLuint buffers[2] = {object->vertex_buffer, object->index_buffer};
    if ((buffers[0] || buffers[1]) && glDeleteBuffers)
        glDeleteBuffers(2, buffers);
    *object = RenderObject{};
}

// ---- fluid blood particles -------------------------------------------------------------

BloodParticleBuffer blood_particle_buffer;

void blood_buffer_clear()
{
    blood_particle_buffer.count = 0;
    for (int k = 0; k < BLOOD_EMITTERS; k++)
        blood_particle_buffer.emitters[k] = BloodEmitter{};
}

int blood_buffer_add(const float position[3], const float direction[3], float size)
{
    BloodParticleBuffer &b = blood_particle_buffer;
    if (!position || !direction)
        return 1;
    if (b.count < 0 || b.count >= BLOOD_PARTICLES) {
        fprintf(stderr, "Blood buffer full\n");
        return 1;
    }
    for (int k = 0; k < 3; k++)
        if (!std::isfinite(position[k]) || !std::isfinite(direction[k]))
            return 1;
    if (!std::isfinite(size))
        return 1;
    double d[BLOOD_EMITTERS];
    for (int k = 0; k < BLOOD_EMITTERS; k++) {
        const BloodEmitter &e = b.emitters[k];
        if (!e.last) {
            d[k] = 0.0;
            continue;
        }
        double s = 0.0;
        for (int c = 0; c < 3; c++) {
            double diff = (double)position[c] - e.last_position[c];
            s += diff * diff;
        }
        d[k] = s;
    }
    if (d[0] > 1e36)
        d[0] = 1e36;
    int pick = 0;
    if (d[4] < std::min(std::min(d[0], d[1]), std::min(d[2], d[3])))
        pick = 4;
    else if (d[3] < std::min(std::min(d[0], d[1]), d[2]))
        pick = 3;
    else if (d[2] < std::min(d[0], d[1]))
        pick = 2;
    else if (d[1] < d[0])
        pick = 1;
    BloodEmitter &e = b.emitters[pick];
    BloodParticle &p = b.particles[b.count++];
    p = BloodParticle{};
    for (int c = 0; c < 3; c++) {
        p.position[c] = position[c];
        p.direction[c] = direction[c];
    }
    p.size = size;
    p.age = 0;
    p.colour = pack_rgba_u32(draw_color);
    p.previous = e.last;
    p.previous2 = e.second_last;
    if (e.last)
        e.last->next = &p;
    if (e.second_last)
        e.second_last->next2 = &p;
    e.second_last = e.last;
    e.last = &p;
    for (int c = 0; c < 3; c++)
        e.last_position[c] = position[c];
    return 0;
}

// ---- floor patches and stains ------------------------------------------------------------

float floor_patch_uv[FLOOR_PATCHES][2];
StainMap stain_map;
int32_t stain_patch_counter = 1;
int32_t stain_render_target = -1;
StainVertexList stain_quads;
static int stain_numbers_wrapped = 0;

int init_floor_patches()
{
    const float step = 1.0f / FLOOR_PATCH_GRID;
    float u = 0.0f, v = 0.0f;
    for (int n = 0; n < FLOOR_PATCHES; n++) {
        floor_patch_uv[n][0] = u;
        floor_patch_uv[n][1] = v;
        u += step;
        if (u >= 0.999f) {
            u = 0.0f;
            v += step;
        }
    }
    if (std::fabs(v - 1.0f) > 0.001f) {
        fprintf(stderr, "init_floor_patches bug\n");
        return 1;
    }
    return 0;
}

int32_t floor_cell_of(float coordinate)
{
    double c = std::floor((double)coordinate / FLOOR_CELL_STEP / 32.0);
    if (!(c > -16384.0))
        c = -16384.0;
    if (c > 16383.0)
        c = 16383.0;
    return (int32_t)c;
}

static int64_t cell_key(int32_t cell_x, int32_t cell_y)
{
    return ((int64_t)(cell_y + 16384) << 16) + (int64_t)((cell_x + 16384) & 0xffff);
}

// <0, 0, >0 like strcmp, by colour, then cell.
static int compare_stain(const StainPatch &a, uint32_t colour, int64_t key)
{
    if (a.colour != colour)
        return a.colour < colour ? -1 : 1;
    int64_t k = cell_key(a.cell_x, a.cell_y);
    return k < key ? -1 : k > key ? 1 : 0;
}

// The first entry not ordered before (colour, key).
static int stain_lower_bound(uint32_t colour, int64_t key)
{
    int lo = 0, hi = stain_map.count;
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (compare_stain(stain_map.entries[mid], colour, key) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

static void drop_patch_number(int32_t patch)
{
    int out = 0;
    for (int i = 0; i < stain_map.count; i++)
        if (stain_map.entries[i].patch != patch)
            stain_map.entries[out++] = stain_map.entries[i];
    stain_map.count = out;
}

int32_t stain_patch_for(uint32_t colour, int32_t cell_x, int32_t cell_y, int *new_out)
{
    if (new_out)
        *new_out = 0;
    int64_t key = cell_key(cell_x, cell_y);
    int lo = stain_lower_bound(colour, key);
    if (lo < stain_map.count && compare_stain(stain_map.entries[lo], colour, key) == 0)
        return stain_map.entries[lo].patch;
    if (stain_patch_counter < 1 || stain_patch_counter > STAIN_PATCH_LIMIT)
        stain_patch_counter = 1;
    int32_t patch = stain_patch_counter++;
    if (patch == STAIN_PATCH_LIMIT) {
        stain_patch_counter = 1;
        stain_numbers_wrapped = 1;
        fprintf(stderr, "Floor patch buffer overflow\n");
    }
    if (stain_numbers_wrapped) {
        // The slot is reused: the cell that held it loses its stain.
        int before = stain_map.count;
        drop_patch_number(patch);
        if (stain_map.count != before) {
            // Entries moved: find the insertion point again.
            lo = stain_lower_bound(colour, key);
        }
    }
    if (stain_map.count >= FLOOR_PATCHES)
        return patch;   // cannot happen: one entry per number
    memmove(&stain_map.entries[lo + 1], &stain_map.entries[lo],
            sizeof(StainPatch) * (size_t)(stain_map.count - lo));
    StainPatch &e = stain_map.entries[lo];
    e.colour = colour;
    e.cell_x = cell_x;
    e.cell_y = cell_y;
    e.patch = patch;
    stain_map.count++;
    if (new_out)
        *new_out = 1;
    return patch;
}

void clear_blood_stains()
{
    stain_map.count = 0;
    stain_quads.count = 0;
    stain_patch_counter = 1;
    stain_numbers_wrapped = 0;
    if (!render_option(render_option_refs.shaders))
        return;
    if (stain_render_target < 0 || stain_render_target >= render_target_count)
        return;
    GLfloat old[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, old);
    int previous = bound_render_target;
    bind_render_target(stain_render_target);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    bind_render_target(previous);
    glClearColor(old[0], old[1], old[2], old[3]);
}

static int reserve_stain_vertices(int count)
{
    if (count <= stain_quads.capacity)
        return 0;
    int capacity = stain_quads.capacity > 0 ? stain_quads.capacity : 128;
    while (capacity < count)
        capacity *= 2;
    StainVertex *grown =
        (StainVertex *)realloc(stain_quads.vertices, sizeof(StainVertex) * (size_t)capacity);
    if (!grown)
        return 1;
    stain_quads.vertices = grown;
    stain_quads.capacity = capacity;
    return 0;
}

int build_stain_quads(float z)
{
    stain_quads.count = 0;
    if (reserve_stain_vertices(stain_map.count * 6) != 0) {
        fprintf(stderr, "build_stain_quads: out of memory\n");
        return -1;
    }
    const float inset = 1.0f / 2048.0f;
    const float slot = 1.0f / FLOOR_PATCH_GRID;
    for (int i = 0; i < stain_map.count; i++) {
        const StainPatch &e = stain_map.entries[i];
        int n = e.patch >= 0 && e.patch < FLOOR_PATCHES ? e.patch : 0;
        float su = floor_patch_uv[n][0], sv = floor_patch_uv[n][1];
        float x0 = e.cell_x * FLOOR_CELL_SIZE, y0 = e.cell_y * FLOOR_CELL_SIZE;
        float x1 = x0 + FLOOR_CELL_SIZE, y1 = y0 + FLOOR_CELL_SIZE;
        float u0 = su + inset, u1 = su + slot - inset;
        float v0 = sv + inset, v1 = sv + slot - inset;
        uint32_t colour = (e.colour & 0xffffffu) | 0xff000000u;
        const float corner[6][4] = {{x0, y0, u0, v0}, {x1, y0, u1, v0}, {x1, y1, u1, v1},
                                    {x0, y0, u0, v0}, {x1, y1, u1, v1}, {x0, y1, u0, v1}};
        for (int k = 0; k < 6; k++) {
            StainVertex &v = stain_quads.vertices[stain_quads.count++];
            v.position[0] = corner[k][0];
            v.position[1] = corner[k][1];
            v.position[2] = z;
            v.colour = colour;
            v.uv[0] = corner[k][2];
            v.uv[1] = corner[k][3];
        }
    }
    return stain_quads.count;
}

void free_stain_quads()
{
    free(stain_quads.vertices);
    stain_quads = StainVertexList{};
}

// ---- GL state helpers -------------------------------------------------------------------

void use_texture_unit(int unit, uint32_t texture)
{
    glActiveTexture(GL_TEXTURE0 + unit);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
}

void disable_texture_unit(int unit)
{
    glActiveTexture(GL_TEXTURE0 + unit);
    glDisable(GL_TEXTURE_2D);
}

void disable_texture_unit_and_cube(int unit)
{
    glActiveTexture(GL_TEXTURE0 + unit);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_CUBE_MAP);
}

void bind_target_texture(int unit, int target)
{
    glActiveTexture(GL_TEXTURE0 + unit);
    glDisable(GL_TEXTURE_2D);
    if (target < 0 || target >= render_target_count)
        return;
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, render_targets[target].texture);
}

static void bind_vertex_format(const RenderObject *object, int stride, int textured)
{
    if (!object)
        return;
    glBindBuffer(GL_ARRAY_BUFFER, object->vertex_buffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, object->index_buffer);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, (const void *)0);
    glNormalPointer(GL_FLOAT, stride, (const void *)12);
    if (textured) {
        glClientActiveTexture(GL_TEXTURE0);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, stride, (const void *)24);
    } else {
        glClientActiveTexture(GL_TEXTURE0);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
}

void bind_vertex_format_pn(const RenderObject *object) { bind_vertex_format(object, 24, 0); }
void bind_vertex_format_pnt(const RenderObject *object) { bind_vertex_format(object, 32, 1); }

void unbind_vertex_buffers()
{
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glClientActiveTexture(GL_TEXTURE0);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void draw_fullscreen_quad()
{
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glBegin(GL_TRIANGLES);
    glTexCoord2f(0, 0); glVertex2f(-1, -1);
    glTexCoord2f(1, 0); glVertex2f(1, -1);
    glTexCoord2f(1, 1); glVertex2f(1, 1);
    glTexCoord2f(0, 0); glVertex2f(-1, -1);
    glTexCoord2f(1, 1); glVertex2f(1, 1);
    glTexCoord2f(0, 1); glVertex2f(-1, 1);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

void draw_ground_quad(const float p[3])
{
    const float h = 1000.0f;
    glBegin(GL_TRIANGLES);
    glNormal3f(0, 0, 1);
    glVertex3f(p[0] - h, p[1] - h, p[2]);
    glVertex3f(p[0] + h, p[1] - h, p[2]);
    glVertex3f(p[0] + h, p[1] + h, p[2]);
    glVertex3f(p[0] - h, p[1] - h, p[2]);
    glVertex3f(p[0] + h, p[1] + h, p[2]);
    glVertex3f(p[0] - h, p[1] + h, p[2]);
    glEnd();
}

void draw_square_frame(const float p[3], float half_size, float width)
{
    float o = half_size, i = half_size - 0.05f * width;
    if (i < 0.0f)
        i = 0.0f;
    const float x = p[0], y = p[1], z = p[2];
    glPushAttrib(GL_LIGHTING_BIT);
    glDisable(GL_LIGHTING);
    glBegin(GL_QUADS);
    glNormal3f(0, 0, 1);
    // bottom, right, top, left
    glVertex3f(x - o, y - o, z); glVertex3f(x + o, y - o, z);
    glVertex3f(x + i, y - i, z); glVertex3f(x - i, y - i, z);
    glVertex3f(x + o, y - o, z); glVertex3f(x + o, y + o, z);
    glVertex3f(x + i, y + i, z); glVertex3f(x + i, y - i, z);
    glVertex3f(x + o, y + o, z); glVertex3f(x - o, y + o, z);
    glVertex3f(x - i, y + i, z); glVertex3f(x + i, y + i, z);
    glVertex3f(x - o, y + o, z); glVertex3f(x - o, y - o, z);
    glVertex3f(x - i, y - i, z); glVertex3f(x - i, y + i, z);
    glEnd();
    glPopAttrib();
}

uint32_t upload_rgba_texture(const uint8_t *pixels, int width, int height)
{
    if (!pixels || width <= 0 || height <= 0)
        return 0;
    GLuint id = 0;
    glGenTextures(1, &id);
    if (!id)
        return 0;
    glBindTexture(GL_TEXTURE_2D, id);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 4, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glBindTexture(GL_TEXTURE_2D, 0);
    return id;
}

uint32_t make_texture_from_pixels(uint8_t *pixels, int width, int height)
{
    if (!pixels || width <= 0 || height <= 0)
        return 0;
    for (long i = 0; i < (long)width * height; i++) {
        uint8_t t = pixels[4 * i];
        pixels[4 * i] = pixels[4 * i + 2];
        pixels[4 * i + 2] = t;
    }
    return upload_rgba_texture(pixels, width, height);
}

void load_texture_matrix_from_pose(const float rotation[12], const float position[3])
{
    float m[16];
    body_matrix(position, rotation, m);
    glMatrixMode(GL_TEXTURE);
    glLoadMatrixf(m);
    glMatrixMode(GL_MODELVIEW);
}

void fix_texcoord_seams(float *uv, int stride, int first, int last)
{
    if (!uv || stride < 2)
        return;
    for (int t = first; t + 3 <= last; t += 3) {
        for (int c = 0; c < 2; c++) {
            static const int pairs[3][2] = {{0, 1}, {1, 2}, {0, 2}};
            for (const auto &pair : pairs) {
                float *a = &uv[(size_t)(t + pair[0]) * stride + c];
                float *b = &uv[(size_t)(t + pair[1]) * stride + c];
                if (std::fabs(*a - *b) > 0.5f) {
                    if (*a < *b)
                        *a += 1.0f;
                    else
                        *b += 1.0f;
                }
            }
        }
    }
}

static uint32_t channel_byte(float x)
{
    if (!(x > 0.0f))
        return 0;
    if (x >= 1.0f)
        return 255;
    return (uint32_t)(x * 255.0f);
}

uint32_t pack_rgba_u32(const float c[4])
{
    return channel_byte(c[0]) | channel_byte(c[1]) << 8 | channel_byte(c[2]) << 16 |
           channel_byte(c[3]) << 24;
}

uint32_t pack_rgb_u32(const float c[3])
{
    return channel_byte(c[0]) | channel_byte(c[1]) << 8 | channel_byte(c[2]) << 16;
}

void delete_renderer_textures()
{
    delete_render_targets();
    free_sky_textures();
}

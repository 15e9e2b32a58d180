#include "render/fluid_blood.h"

#include <GL/glew.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/screenshot.h"
#include "render/gl_draw.h"
#include "render/glsl_programs.h"
#include "render/world_shader.h"

FluidVertex *fluid_vertices = nullptr;
int fluid_vertex_count = 0;
static int fluid_vertex_capacity = 0;
static float fluid_light[3] = {0.7071f, 0.7071f, 0.0f};

static void particle_direction(const BloodParticle *p, float out[3])
{
    if (!p) {
        out[0] = 0.01f;
        out[1] = out[2] = 0.0f;
        return;
    }
    float d2 = p->direction[0] * p->direction[0] + p->direction[1] * p->direction[1] +
               p->direction[2] * p->direction[2];
    if (!(d2 >= 0.0001f)) {
        out[0] = 0.01f;
        out[1] = out[2] = 0.0f;
        return;
    }
    float s = d2 > 225.0f ? 15.0f / sqrtf(d2) : 1.0f;
    for (int k = 0; k < 3; k++)
        out[k] = p->direction[k] * s;
}

// Position and size of a neighbour: (0, 0, 0) and 0.01 when missing.
static void neighbour(const BloodParticle *p, float *out)
{
    if (p) {
        memcpy(out, p->position, 3 * sizeof(float));
        out[3] = p->size;
    } else {
        out[0] = out[1] = out[2] = 0.0f;
        out[3] = 0.01f;
    }
}

void fill_fluid_particle(const BloodParticle *p, FluidVertex out[6])
{
    FluidVertex v;
    memset(&v, 0, sizeof v);
    float *w = v.w;
    float s = p->size;
    const BloodParticle *around[4] = {p->previous, p->next, p->previous2, p->next2};
    for (const BloodParticle *n : around)
        if (n && n->size > s)
            s = n->size;
    w[3] = s;
    memcpy(&w[4], p->position, 3 * sizeof(float));
    particle_direction(p, &w[7]);
    w[10] = p->size;
    neighbour(p->previous, &w[11]);
    neighbour(p->next, &w[18]);
    particle_direction(p->next, &w[22]);
    neighbour(p->previous2, &w[25]);
    particle_direction(p->previous2, &w[29]);
    neighbour(p->next2, &w[32]);
    particle_direction(p->next2, &w[36]);
    float prev_dir[3];
    particle_direction(p->previous, prev_dir);
    for (int k = 0; k < 3; k++)
        w[15 + k] = (3 * w[7 + k] + prev_dir[k] + w[22 + k] + w[29 + k] + w[36 + k]) / 6.0f;
    v.colour = p->colour;
    static const float corners[6][2] = {{-1, -1}, {1, -1}, {1, 1}, {1, 1}, {-1, 1}, {-1, -1}};
    for (int k = 0; k < 6; k++) {
        out[k] = v;
        out[k].w[0] = 2 * s * corners[k][0];
        out[k].w[1] = 2 * s * corners[k][1];
        out[k].w[2] = 0;
    }
}

int fill_fluid_vertices(const BloodParticleBuffer *buffer)
{
    fluid_vertex_count = 0;
    int count = buffer->count;
    if (count <= 0)
        return 0;
    if (count > BLOOD_PARTICLES)
        count = BLOOD_PARTICLES;
    if (6 * count > fluid_vertex_capacity) {
        int capacity = fluid_vertex_capacity > 0 ? fluid_vertex_capacity : 6 * 1024;
        while (capacity < 6 * count)
            capacity *= 2;
        FluidVertex *grown =
            (FluidVertex *)realloc(fluid_vertices, (size_t)capacity * sizeof(FluidVertex));
        if (!grown)
            return 0;
        fluid_vertices = grown;
        fluid_vertex_capacity = capacity;
    }
    for (int i = 0; i < count; i++)
        fill_fluid_particle(&buffer->particles[i], fluid_vertices + 6 * i);
    fluid_vertex_count = 6 * count;
    return fluid_vertex_count;
}

void free_fluid_vertices()
{
    free(fluid_vertices);
    fluid_vertices = nullptr;
    fluid_vertex_capacity = 0;
    fluid_vertex_count = 0;
}

void add_fluid_blood(const float position[3], const float direction[3], float size,
                     const float colour[3])
{
    float kept[4];
    memcpy(kept, draw_color, sizeof kept);
    draw_color[0] = colour[0];
    draw_color[1] = colour[1];
    draw_color[2] = colour[2];
    blood_buffer_add(position, direction, size);
    memcpy(draw_color, kept, sizeof kept);
}

static int fluid_on() { return render_option(render_option_refs.fluid); }

static void bind_fluid_arrays()
{
    const char *base = (const char *)fluid_vertices;
    const int stride = FLUID_VERTEX_BYTES;
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, base + 4 * 4);
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, stride, base);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_UNSIGNED_BYTE, stride, base + 39 * 4);
    const int words[4] = {7, 11, 18, 25};
    for (int u = 0; u < 4; u++) {
        glClientActiveTexture(GL_TEXTURE0 + u);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(4, GL_FLOAT, stride, base + words[u] * 4);
    }
    glClientActiveTexture(GL_TEXTURE0);
}

static void unbind_fluid_arrays()
{
    for (int u = 3; u >= 0; u--) {
        glClientActiveTexture(GL_TEXTURE0 + u);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
}

static void restore_after_blood()
{
    use_program(0);
    unbind_fluid_arrays();
    glFrontFace(GL_CCW);
    const float *b = world_shader.background_color;
    glClearColor(b[0], b[1], b[2], 0.0f);
}

void draw_fluid_blood()
{
    fluid_vertex_count = 0;
    if (!fluid_on() || blood_particle_buffer.count <= 0 || !active_programs.fluid_blood)
        return;
    glDisable(GL_LINE_SMOOTH);
    glActiveTexture(GL_TEXTURE0);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    if (fill_fluid_vertices(&blood_particle_buffer) <= 0)
        return;
    glShadeModel(GL_SMOOTH);
    bind_fluid_arrays();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    int32_t program = active_programs.fluid_blood;
    use_program(program);
    // The light direction seen from the camera.
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    const float l[3] = {0.7071f, 0.7071f, 0.0f};
    for (int k = 0; k < 3; k++)
        fluid_light[k] = m[k] * l[0] + m[4 + k] * l[1] + m[8 + k] * l[2];
    float len = sqrtf(fluid_light[0] * fluid_light[0] + fluid_light[1] * fluid_light[1] +
                      fluid_light[2] * fluid_light[2]);
    if (len > 0)
        for (int k = 0; k < 3; k++)
            fluid_light[k] /= len;
    // The blood programs take the light and the time offset as one vec4.
    set_uniform_4f(program, "lightdir", fluid_light[0], fluid_light[1], fluid_light[2], 0.0f);
    set_uniform_1f(program, "move", 0.0f);
    glPushMatrix();
    glScalef(1, 1, -1);
    glFrontFace(GL_CW);
    set_uniform_4fv(program, "mirrorcolor", world_shader.mirror_color);
    glDrawArrays(GL_TRIANGLES, 0, fluid_vertex_count);
    glPopMatrix();
    restore_after_blood();
}

void draw_fluid_blood_moved(float offset)
{
    if (!fluid_on() || fluid_vertex_count <= 0 || !active_programs.fluid_blood)
        return;
    bind_fluid_arrays();
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    int32_t program = active_programs.fluid_blood;
    use_program(program);
    set_uniform_1f(program, "move", offset);
    set_uniform_4f(program, "lightdir", fluid_light[0], fluid_light[1], fluid_light[2], offset);
    set_uniform_4f(program, "mirrorcolor", 1, 1, 1, 0.5f);
    glDrawArrays(GL_TRIANGLES, 0, fluid_vertex_count);
    restore_after_blood();
}

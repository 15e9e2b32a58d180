#include "render/trails.h"

#include <GL/glew.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/outward.h"
#include "core/records.h"
#include "render/render_util.h"
#include "render/texture.h"

TrailRibbon *trail_ribbons[TRAIL_RIBBONS];

const TrailLimb trail_limbs[TRAILS_PER_PLAYER] = {
    {"l_arm", 12, 10},
    {"r_arm", 11, 7},
    {"l_leg", 20, 17},
    {"r_leg", 19, 18},
};

TrailRibbon *trail_ribbon(int player, int trail)
{
    if (player < 0 || player >= TRAIL_PLAYERS || trail < 0 || trail >= TRAILS_PER_PLAYER)
        return nullptr;
    return trail_ribbons[player * TRAILS_PER_PLAYER + trail];
}

static void free_ribbon(TrailRibbon *r)
{
    if (!r)
        return;
    free(r->points);
    free(r->quads);
    free(r->free_stack);
    if (r->texture) {
        texture_free(r->texture);
        free(r->texture);
    }
    free(r);
}

static void reset_ribbon(TrailRibbon *r)
{
    for (int i = 0; i < r->pool_size; i++)
        r->points[i].life = 0;
    for (int i = 0; i < r->pool_size; i++)
        r->free_stack[i] = r->pool_size - 1 - i;
    r->free_top = r->pool_size;
    r->quad_count = 0;
    r->has_last = 0;
    r->drawable = 1;
}

int create_trails()
{
    destroy_trails();
    for (int i = 0; i < TRAIL_RIBBONS; i++) {
        TrailRibbon *r = (TrailRibbon *)calloc(1, sizeof(TrailRibbon));
        if (r) {
            r->pool_size = TRAIL_POOL;
            r->length = TRAIL_LENGTH;
            r->points = (TrailPoint *)calloc(TRAIL_POOL, sizeof(TrailPoint));
            r->quads = (TrailVertex *)calloc((size_t)TRAIL_POOL * 4, sizeof(TrailVertex));
            r->free_stack = (int32_t *)calloc(TRAIL_POOL, sizeof(int32_t));
            r->texture = (Texture *)calloc(1, sizeof(Texture));
        }
        if (!r || !r->points || !r->quads || !r->free_stack || !r->texture) {
            fprintf(stderr, "create_trails: out of memory\n");
            free_ribbon(r);
            destroy_trails();
            return 1;
        }
        texture_init(r->texture);
        for (int k = 0; k < 4; k++)
            r->colour1[k] = r->colour2[k] = 1.0f;
        reset_ribbon(r);
        trail_ribbons[i] = r;
    }
    return 0;
}

void destroy_trails()
{
    for (int i = 0; i < TRAIL_RIBBONS; i++) {
        free_ribbon(trail_ribbons[i]);
        trail_ribbons[i] = nullptr;
    }
}

void reset_trails()
{
    for (TrailRibbon *r : trail_ribbons)
        if (r)
            reset_ribbon(r);
}

static float distance2(const float a[3], const float b[3])
{
    float s = 0.0f;
    for (int k = 0; k < 3; k++)
        s += (a[k] - b[k]) * (a[k] - b[k]);
    return s;
}

static void set_vertex(TrailVertex *v, const float colour[4], float u, float t, const float p[3])
{
    memcpy(v->colour, colour, sizeof v->colour);
    v->uv[0] = u;
    v->uv[1] = t;
    memcpy(v->position, p, sizeof v->position);
}

void trail_add_point(TrailRibbon *r, const float a[3], const float b[3], int value)
{
    if (!r || !a || !b || r->free_top <= 0 || !r->enabled)
        return;
    for (int k = 0; k < 3; k++)
        if (!std::isfinite(a[k]) || !std::isfinite(b[k]))
            return;
    bool still = r->has_last && distance2(a, r->last_a) < 0.0001f &&
                 distance2(b, r->last_b) < 0.0001f;
    if (!still && r->has_last) {
        int index = r->free_stack[--r->free_top];
        TrailPoint &p = r->points[index];
        set_vertex(&p.v[0], r->colour1, 0, 1, a);
        set_vertex(&p.v[1], r->colour2, 0, 0, b);
        set_vertex(&p.v[2], r->colour2, 1, 0, r->last_b);
        set_vertex(&p.v[3], r->colour1, 1, 1, r->last_a);
        p.life = r->length;
        p.value = value;
    }
    r->has_last = 1;
    memcpy(r->last_a, a, sizeof r->last_a);
    memcpy(r->last_b, b, sizeof r->last_b);
}

void trail_update_ribbon(TrailRibbon *r)
{
    if (!r)
        return;
    r->quad_count = 0;
    float fade = r->length > 0 ? 1.0f / (float)r->length : 1.0f;
    for (int i = 0; i < r->pool_size; i++) {
        TrailPoint &p = r->points[i];
        if (p.life <= 0)
            continue;
        p.life--;
        if (p.life == 0) {
            if (r->free_top < r->pool_size)
                r->free_stack[r->free_top++] = i;
            continue;
        }
        for (int k = 0; k < 4; k++) {
            float a = p.v[k].colour[3] - fade;
            p.v[k].colour[3] = a < 0.0f ? 0.0f : a;
        }
        memcpy(&r->quads[(size_t)r->quad_count * 4], p.v, sizeof p.v);
        r->quad_count++;
    }
}

void update_trails()
{
    int n = match_state.num_players;
    if (n > TRAIL_PLAYERS)
        n = TRAIL_PLAYERS;
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < TRAILS_PER_PLAYER; j++) {
            TrailRibbon *r = trail_ribbon(i, j);
            if (!r)
                continue;
            dBodyID ba = players[i].body[trail_limbs[j].body_a];
            dBodyID bb = players[i].body[trail_limbs[j].body_b];
            if (ba && bb) {
                const dReal *pa = dBodyGetPosition(ba);
                const dReal *pb = dBodyGetPosition(bb);
                float a[3] = {(float)pa[0], (float)pa[1], (float)pa[2]};
                float b[3] = {(float)pb[0], (float)pb[1], (float)pb[2]};
                trail_add_point(r, a, b, 1);
            }
            trail_update_ribbon(r);
        }
    }
}

void trail_draw(TrailRibbon *r)
{
    if (!r || r->quad_count < 2 || !r->enabled || !r->drawable)
        return;
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_LIGHTING_BIT |
                 GL_TEXTURE_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisable(GL_LIGHTING);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glColorPointer(4, GL_FLOAT, sizeof(TrailVertex), r->quads[0].colour);
    glTexCoordPointer(2, GL_FLOAT, sizeof(TrailVertex), r->quads[0].uv);
    glVertexPointer(3, GL_FLOAT, sizeof(TrailVertex), r->quads[0].position);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    glDisable(GL_CULL_FACE);
    if (r->texture && r->texture->id) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, r->texture->id);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
    glDrawArrays(GL_QUADS, 0, r->quad_count * 4);
    glPopClientAttrib();
    glPopAttrib();
    glShadeModel(GL_FLAT);
}

void draw_trails()
{
    int n = match_state.num_players;
    if (n > TRAIL_PLAYERS)
        n = TRAIL_PLAYERS;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < TRAILS_PER_PLAYER; j++)
            trail_draw(trail_ribbon(i, j));
}

void trail_set_colors(TrailRibbon *r, const float colour1[4], const float colour2[4])
{
    if (!r || !colour1 || !colour2)
        return;
    memcpy(r->colour1, colour1, sizeof r->colour1);
    memcpy(r->colour2, colour2, sizeof r->colour2);
}

void trail_set_point_color(TrailRibbon *r, const float rgb[3])
{
    if (!r || !rgb)
        return;
    for (int i = 0; i < r->quad_count * 4; i++)
        memcpy(r->quads[i].colour, rgb, 3 * sizeof(float));
}

int load_trail_texture(int player, int trail, const char *dir, const char *subdir)
{
    TrailRibbon *r = trail_ribbon(player, trail);
    if (!r || !r->texture || !dir || !subdir)
        return 1;
    // Both parts become one folder name each: nothing may climb out.
    if (!is_plain_name(dir, 64) || !is_plain_name(subdir, 64))
        return 1;
    char folder[160];
    snprintf(folder, sizeof folder, "%s/%s", subdir, dir);
    char name[32];
    snprintf(name, sizeof name, "trail_%s", trail_limbs[trail].name);
    return texture_load(r->texture, folder, name) ? 0 : 1;
}

void load_custom_trail_textures(int player, const char *name, const int trail_colour[4])
{
    for (int t = 0; t < TRAILS_PER_PLAYER; t++) {
        TrailRibbon *r = trail_ribbon(player, t);
        if (!r)
            continue;
        int loaded = name && name[0] && load_trail_texture(player, t, name, "custom") == 0;
        if (!loaded && r->texture)
            texture_free(r->texture);
        int colour = trail_colour ? trail_colour[t] : 0;
        float rgb[3] = {0, 0, 0};
        if (colour > 0 && colour < 68 && core_outward.palette_colour &&
            core_outward.palette_colour(colour, rgb) == 0) {
            const float c1[4] = {rgb[0], rgb[1], rgb[2], 0.6f};
            const float c2[4] = {rgb[0], rgb[1], rgb[2], 0.15f};
            trail_set_colors(r, c1, c2);
            r->enabled = 1;
        } else {
            r->enabled = loaded;
        }
    }
}

void free_trail_textures()
{
    for (TrailRibbon *r : trail_ribbons)
        if (r && r->texture)
            texture_free(r->texture);
}

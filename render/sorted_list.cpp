#include "render/sorted_list.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/camera.h"
#include "render/gl_draw.h"
#include "render/scene.h"

SortedDrawList sorted_draw_list;

SortedDrawMaterial::SortedDrawMaterial()
    : mode(0), texture(nullptr), bump(nullptr), shade_model(GL_FLAT), colour{0, 0, 0, 0}
{
}

SortedDrawEntry::SortedDrawEntry()
    : position{0, 0, 0}, linear_velocity{0, 0, 0}, angular_velocity{0, 0, 0}, rotation{},
      shape{}, kind(0), depth(0), key(0), group(0), group_depth(0)
{
}

SortedDrawEntry::SortedDrawEntry(const SortedDrawMaterial &m, const SortedGeometry &g)
    : material(m), kind(0), key(0), group(0), group_depth(0)
{
    memcpy(position, g.position, sizeof position);
    memcpy(linear_velocity, g.linear_velocity, sizeof linear_velocity);
    memcpy(angular_velocity, g.angular_velocity, sizeof angular_velocity);
    memcpy(rotation, g.rotation, sizeof rotation);
    memcpy(shape, g.shape, sizeof shape);
    depth = sorted_depth(position);
}

float sorted_depth(const double p[3])
{
    const float *c = get_camera_pos();
    float d = 0;
    for (int k = 0; k < 3; k++) {
        float v = (float)p[k] - c[k];
        d += v * v;
    }
    return d;
}

int append_sorted_entry(const SortedDrawEntry &entry)
{
    SortedDrawList &l = sorted_draw_list;
    if (l.count > SORTED_LIST_ROWS - 1) {
        fprintf(stderr, "OH NOES!! GRARRR TOO MANY!!\n");
        return 1;
    }
    l.entries[l.count++] = entry;
    return 0;
}

bool sorted_draw_less(const SortedDrawEntry &a, const SortedDrawEntry &b)
{
    if (a.group_depth != b.group_depth)
        return a.group_depth < b.group_depth;
    if (a.group != b.group)
        return a.group < b.group;
    if (a.key != b.key)
        return a.key < b.key;
    return a.depth < b.depth;
}

int compare_sorted_draw(const void *pa, const void *pb)
{
    const SortedDrawEntry &a = *(const SortedDrawEntry *)pa;
    const SortedDrawEntry &b = *(const SortedDrawEntry *)pb;
    if (sorted_draw_less(a, b))
        return -1;
    return sorted_draw_less(b, a) ? 1 : 0;
}

void sort_sorted_list()
{
    SortedDrawList &l = sorted_draw_list;
    // Each group sorts as one block at its farthest depth, so that groups are
    // still drawn back to front while the key order holds inside a group.
    enum { MAX_GROUPS = SORTED_LIST_ROWS };
    static int groups[MAX_GROUPS];
    static float farthest[MAX_GROUPS];
    int ngroups = 0;
    for (int i = 0; i < l.count; i++) {
        const SortedDrawEntry &e = l.entries[i];
        int g = 0;
        while (g < ngroups && groups[g] != e.group)
            g++;
        if (g == ngroups) {
            groups[ngroups] = e.group;
            farthest[ngroups] = e.depth;
            ngroups++;
        } else if (e.depth > farthest[g]) {
            farthest[g] = e.depth;
        }
    }
    for (int i = 0; i < l.count; i++) {
        SortedDrawEntry &e = l.entries[i];
        for (int g = 0; g < ngroups; g++)
            if (groups[g] == e.group) {
                e.group_depth = farthest[g];
                break;
            }
    }
    std::sort(l.entries, l.entries + l.count, sorted_draw_less);
}

void draw_sorted_list()
{
    SortedDrawList &l = sorted_draw_list;
    for (int i = l.count - 1; i >= 0; i--) {
        const SortedDrawEntry &e = l.entries[i];
        const SortedDrawMaterial &m = e.material;
        glShadeModel((GLenum)m.shade_model);
        set_draw_color(m.colour[0], m.colour[1], m.colour[2], m.colour[3]);
        long double o = (long double)e.depth / 40.0L * 50.0L;
        glPolygonOffset((GLfloat)o, (GLfloat)o);
        switch (e.kind) {
        case SORTED_CAPSULE:
            draw_capsule_geom(e.position, e.linear_velocity, e.angular_velocity, e.rotation,
                              e.shape[0], e.shape[1], m.mode, m.texture, m.bump);
            break;
        case SORTED_SPHERE:
            draw_sphere_geom(e.position, e.linear_velocity, e.angular_velocity, e.rotation,
                             e.shape[0], m.mode, m.texture, m.bump);
            break;
        case SORTED_BOX:
            draw_box_geom(e.position, e.linear_velocity, e.angular_velocity, e.rotation,
                          e.shape, m.mode, m.texture, m.bump);
            break;
        case SORTED_HALF_SPHERE:
            draw_half_sphere_geom(e.position, e.rotation, e.shape[0], e.shape[1], e.shape[2],
                                  e.shape[3], m.mode, m.texture, m.bump);
            break;
        default:
            break;
        }
    }
    l.count = 0;
}

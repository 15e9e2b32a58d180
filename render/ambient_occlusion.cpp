#include "render/ambient_occlusion.h"

#include <cmath>
#include <cstring>

int choose_object_occluders(const OccluderEntry *list, int count, const float centre[3],
                            const float light_dir[3], float out[OCCLUDERS_PER_OBJECT][4])
{
    memset(out, 0, sizeof(float) * OCCLUDERS_PER_OBJECT * 4);
    float l[3] = {light_dir[0], light_dir[1], light_dir[2]};
    float ll = sqrtf(l[0] * l[0] + l[1] * l[1] + l[2] * l[2]);
    for (int k = 0; k < 3; k++)
        l[k] = ll > 0 ? l[k] / ll : 0.0f;
    // The best twelve kept in rising order (a bounded insertion sort).
    float best_score[OCCLUDERS_PER_OBJECT];
    int best[OCCLUDERS_PER_OBJECT];
    int found = 0;
    if (count > OCCLUDER_MAX)
        count = OCCLUDER_MAX;
    for (int i = 0; i < count; i++) {
        const OccluderEntry *o = &list[i];
        float d[3] = {o->position[0] - centre[0], o->position[1] - centre[1],
                      o->position[2] - centre[2]};
        float d2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        float r = o->radius;
        if (!(d2 >= 0.04f * r * r))
            continue;
        float len = sqrtf(d2);
        float dot = len > 0 ? (d[0] * l[0] + d[1] * l[1] + d[2] * l[2]) / len : 0.0f;
        float f = 0.5f * dot + 0.6f;
        float score = d2 * r * r / (f * f);
        if (!(score == score))
            continue;
        int at = found < OCCLUDERS_PER_OBJECT ? found : OCCLUDERS_PER_OBJECT;
        while (at > 0 && best_score[at - 1] > score)
            at--;
        if (at >= OCCLUDERS_PER_OBJECT)
            continue;
        int last = found < OCCLUDERS_PER_OBJECT ? found : OCCLUDERS_PER_OBJECT - 1;
        for (int k = last; k > at; k--) {
            best_score[k] = best_score[k - 1];
            best[k] = best[k - 1];
        }
        best_score[at] = score;
        best[at] = i;
        if (found < OCCLUDERS_PER_OBJECT)
            found++;
    }
    for (int k = 0; k < found; k++) {
        memcpy(out[k], list[best[k]].position, 3 * sizeof(float));
        out[k][3] = list[best[k]].radius;
    }
    return found;
}

int floor_occluder_group(const OccluderEntry *list, int count, int first,
                         float out[OCCLUDERS_PER_OBJECT][4])
{
    memset(out, 0, sizeof(float) * OCCLUDERS_PER_OBJECT * 4);
    if (count > OCCLUDER_MAX)
        count = OCCLUDER_MAX;
    int n = 0;
    for (int i = first; i >= 0 && i < count && n < OCCLUDERS_PER_OBJECT; i++, n++) {
        memcpy(out[n], list[i].position, 3 * sizeof(float));
        out[n][3] = list[i].radius;
    }
    return n;
}

// ---- RANMAR --------------------------------------------------------------------------

void ranmar_seed(Ranmar *st, int ij, int kl)
{
    int i, j, k, l;
    if (ij < 0 || ij > 31328 || kl < 0 || kl > 30081) {
        i = 8;
        j = 171;
        k = 44;
        l = 87;
    } else {
        i = (ij / 177) % 177 + 2;
        j = ij % 177 + 2;
        k = (kl / 169) % 178 + 1;
        l = kl % 169;
    }
    for (int ii = 0; ii < 97; ii++) {
        float s = 0.0f, t = 0.5f;
        for (int jj = 0; jj < 24; jj++) {
            int m = (((i * j) % 179) * k) % 179;
            i = j;
            j = k;
            k = m;
            l = (53 * l + 1) % 169;
            if ((l * m) % 64 >= 32)
                s += t;
            t *= 0.5f;
        }
        st->u[ii] = s;
    }
    st->c = 362436.0f / 16777216.0f;
    st->cd = 7654321.0f / 16777216.0f;
    st->cm = 16777213.0f / 16777216.0f;
    st->i97 = 96;
    st->j97 = 32;
}

float ranmar_next(Ranmar *st)
{
    float uni = st->u[st->i97] - st->u[st->j97];
    if (uni < 0.0f)
        uni += 1.0f;
    st->u[st->i97] = uni;
    if (--st->i97 < 0)
        st->i97 = 96;
    if (--st->j97 < 0)
        st->j97 = 96;
    st->c -= st->cd;
    if (st->c < 0.0f)
        st->c += st->cm;
    uni -= st->c;
    if (uni < 0.0f)
        uni += 1.0f;
    // Single precision can round 1 - tiny up to 1.
    return uni < 1.0f ? uni : 0.0f;
}

static Ranmar seeded_random()
{
    Ranmar r;
    ranmar_seed(&r, 17985, 21338);
    return r;
}

Ranmar render_random = seeded_random();

float render_random_next() { return ranmar_next(&render_random); }

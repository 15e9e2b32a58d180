#include "render/blood_draw.h"

#include <ode/ode.h>

#include "core/blood.h"
#include "core/outward.h"
#include "core/world.h"
#include "render/gl_draw.h"
#include "render/scene.h"

void draw_blood_drops()
{
    // With the shader renderer's fluid blood a drop becomes a particle of
    // the frame's strands, moving the way its body moves.
    const int fluid =
        shaders_active && (!core_outward.get_option || core_outward.get_option("fluid"));
    for (int i = 0; i < NUM_BLOOD_DROPS; i++) {
        const BloodDrop *d = get_blood_drop(i);
        if (!d || d->life <= 0 || !d->body || !dBodyIsEnabled(d->body))
            continue;
        const float *c = d->colour_source ? d->colour : default_blood_colour;
        set_draw_color(c[0], c[1], c[2], 1.0f);
        double size = d->size > 0 ? d->size : 0.01;
        if (fluid) {
            const dReal *p = dBodyGetPosition(d->body), *v = dBodyGetLinearVel(d->body);
            const float position[3] = {(float)p[0], (float)p[1], (float)p[2]};
            const float direction[3] = {(float)v[0], (float)v[1], (float)v[2]};
            emit_fluid_blood(position, direction, (float)size, c);
            continue;
        }
        draw_sphere_geom(dBodyGetPosition(d->body), dBodyGetLinearVel(d->body),
                         dBodyGetAngularVel(d->body), dBodyGetRotation(d->body), size, DRAW_PLAIN,
                         nullptr, nullptr);
    }
}

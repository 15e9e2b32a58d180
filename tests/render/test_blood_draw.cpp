// The live blood drops are drawn as spheres of their size where their
// bodies are, in the owner's colour or the default one.
#include "render/blood_draw.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/blood.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/world.h"
#include "render/gl_draw.h"
#include "render/scene.h"

namespace {

std::vector<DrawRecord> drawn;
void record_drawn(const DrawRecord *r) { drawn.push_back(*r); }

}  // namespace

TEST(BloodDraw, LiveDropsAreDrawnAsSpheresWhereTheyAre)
{
    core_outward = CoreOutward();
    game_init();
    drawn.clear();
    draw_recorder = record_drawn;

    // Nothing lives at first.
    draw_blood_drops();
    EXPECT_TRUE(drawn.empty());

    const double at[3] = {0.5, -0.25, 1.5};
    int a = spawn_blood_drop(0, 1, 1.0, 2.0, 3.0, at);
    int b = spawn_blood_drop(-1, 1, at[0], at[1], at[2], at);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    draw_blood_drops();
    ASSERT_EQ(drawn.size(), 2u);
    for (const DrawRecord &r : drawn) {
        EXPECT_EQ(r.what, REC_SPHERE);
        EXPECT_EQ(r.kind, DRAW_PLAIN);
        EXPECT_GT(r.size[0], 0.0);
    }
    EXPECT_DOUBLE_EQ(drawn[0].position[0], 1.0);
    EXPECT_DOUBLE_EQ(drawn[0].position[2], 3.0);
    EXPECT_DOUBLE_EQ(drawn[1].position[1], -0.25);
    // A drop without an owner has the default colour.
    for (int k = 0; k < 3; k++)
        EXPECT_FLOAT_EQ(drawn[1].colour[k], default_blood_colour[k]);

    // A dead drop is not drawn.
    get_blood_drop(a)->life = 0;
    drawn.clear();
    draw_blood_drops();
    EXPECT_EQ(drawn.size(), 1u);

    draw_recorder = nullptr;
    game_shutdown();
}

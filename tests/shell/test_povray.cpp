// Scene files written from a real built world.
#include "shell/povray.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ode/ode.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/outward.h"
#include "core/ground_impacts.h"
#include "core/records.h"
#include "core/text.h"
#include "core/world.h"
#include "support/test_support.h"

namespace {

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        out.push_back(line);
    return out;
}

int count_prefix(const std::vector<std::string> &lines, const char *prefix)
{
    int n = 0;
    for (const std::string &l : lines)
        n += l.rfind(prefix, 0) == 0;
    return n;
}

class PovScene : public ::testing::Test {
protected:
    std::string old_dir;
    void SetUp() override
    {
        char buf[4096];
        old_dir = getcwd(buf, sizeof buf) ? buf : ".";
        std::string dir = test_tmp_path("pov");
        make_path_dirs((dir + "/x").c_str());
        ASSERT_EQ(chdir(dir.c_str()), 0);
        core_outward = CoreOutward();
        game_init();
        // One moving box of alpha 1 in slot 3.
        WorldDescription w = default_world;
        EnvObject &o = w.objects[3];
        o.used = 1;
        o.shape = SHAPE_BOX;
        o.sides[0] = o.sides[1] = o.sides[2] = 0.5;
        o.position[0] = 3;
        o.position[2] = 0.25;
        o.mass = 0.1;
        o.colour[0] = 0.25f;
        o.colour[1] = 0.5f;
        o.colour[2] = 0.75f;
        o.colour[3] = 1;
        ASSERT_EQ(build_world(&w), 0);
        reset_env_objects();
        match_state.num_players = 2;
    }
    void TearDown() override
    {
        pov_end_animation();
        game_shutdown();
        match_state.num_players = 2;
        core_outward = CoreOutward();
        ASSERT_EQ(chdir(old_dir.c_str()), 0);
    }
};

}  // namespace

TEST_F(PovScene, SingleFrameOfATwoFighterWorld)
{
    unlink("raytrace/one.pov");
    rmdir("raytrace");
    ASSERT_EQ(pov_write_scene("raytrace/one.pov"), 0);   // the folder is made
    std::vector<std::string> l = lines_of(read_whole_file("raytrace/one.pov"));
    ASSERT_GT(l.size(), 300u);
    EXPECT_EQ(l[0], "#include \"glossy.inc\"");
    EXPECT_EQ(l[1].rfind("Camera(", 0), 0u);
    EXPECT_EQ(count_prefix(l, "Camera("), 1);
    EXPECT_EQ(l[2], "blob {");
    EXPECT_EQ(count_prefix(l, "Blood ("), NUM_BLOOD_DROPS);
    EXPECT_EQ(l[3 + NUM_BLOOD_DROPS], "}");
    EXPECT_EQ(count_prefix(l, "Joint ("), 2 * NUM_JOINTS);

    // One body line per box, capsule or sphere geom of the two fighters.
    int bodies = 0;
    for (int p = 0; p < 2; p++)
        for (int b = 0; b < NUM_BODIES; b++) {
            int c = dGeomGetClass(players[p].geom[b]);
            bodies += c == dBoxClass || c == dCapsuleClass || c == dSphereClass;
        }
    EXPECT_GE(bodies, 40);
    EXPECT_EQ(count_prefix(l, "Body (") + count_prefix(l, "BodyCapsule (") +
                  count_prefix(l, "BodySphere ("),
              bodies);

    // Fighter 1's first body: its position follows colour and sides, its name the comment.
    const dReal *pos = dGeomGetPosition(players[1].geom[0]);
    char where[128];
    snprintf(where, sizeof where, "  %f, %f, %f,  ", pos[0], pos[1], pos[2]);
    std::string tag = std::string(") //") + body_name(0) + " sides, pos, rot, vel, angvel";
    int found = 0;
    for (const std::string &line : l)
        if (line.find(tag) != std::string::npos && line.find(where) != std::string::npos)
            found++;
    EXPECT_EQ(found, 1) << where;

    // The one environment object: alpha 1 is written as 0.
    ASSERT_EQ(count_prefix(l, "Env"), 1);
    for (const std::string &line : l)
        if (line.rfind("EnvBox (", 0) == 0) {
            EXPECT_EQ(line.rfind("EnvBox (0.250000, 0.500000, 0.750000, 0.000000,  "
                                 "0.500000, 0.500000, 0.500000,    3.000000, ",
                                 0),
                      0u)
                << line;
            EXPECT_NE(line.find("//env 3 sides, pos, rot"), std::string::npos);
        }
}

TEST_F(PovScene, ImpactLinesForTheDisqualificationMarks)
{
    reset_ground_impacts();
    auto impacts = [] {
        EXPECT_EQ(pov_write_scene("raytrace/impact.pov"), 0);
        std::vector<std::string> out;
        for (const std::string &line : lines_of(read_whole_file("raytrace/impact.pov")))
            if (line.rfind("Impact (", 0) == 0)
                out.push_back(line);
        return out;
    };
    EXPECT_TRUE(impacts().empty());
    match_state.match_frame = 40;
    const double where[3] = {1.5, -2.25, 0.3};
    record_ground_impact(1, where);
    std::vector<std::string> l = impacts();
    ASSERT_EQ(l.size(), 1u);
    // a fresh mark: x, y, z 0.01, radius 0, time 1
    EXPECT_EQ(l[0].rfind("Impact (1.500000, -2.250000, 0.010000, 0.000000, 1.000000, ", 0), 0u)
        << l[0];
    EXPECT_NE(l[0].find(") // DQ impact, pos3, radius, time, r, g, b, a"), std::string::npos);
    // a fresh mark of an earlier frame is not shown; a fading one is
    match_state.match_frame = 41;
    EXPECT_TRUE(impacts().empty());
    ground_impacts[1].countdown = 60;
    l = impacts();
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].rfind("Impact (1.500000, -2.250000, 0.010000, 8.000000, 0.600000, ", 0), 0u)
        << l[0];
    // marks of players outside the fighters and non-finite points are never kept
    const double bad[3] = {NAN, 0, 0};
    record_ground_impact(0, bad);
    record_ground_impact(6, where);
    EXPECT_EQ(impacts().size(), 1u);
    reset_ground_impacts();
}

TEST_F(PovScene, AnimationOfThreeFrames)
{
    ASSERT_EQ(pov_begin_animation(), 0);
    for (int n = 1; n <= 3; n++)
        pov_write_frame(n);
    pov_end_animation();
    pov_write_frame(4);   // after the end: nothing
    std::string text = read_whole_file("raytrace/animation.pov");
    std::vector<std::string> l = lines_of(text);
    ASSERT_GE(l.size(), 3u);
    EXPECT_EQ(l[0], "#include \"glossy.inc\"");
    EXPECT_EQ(l[1], "#switch (frame_number)");
    EXPECT_EQ(count_prefix(l, "#case ("), 3);
    EXPECT_EQ(count_prefix(l, "Camera("), 3);
    EXPECT_EQ(count_prefix(l, "#break"), 3);
    for (int n = 1; n <= 3; n++) {
        std::string c = "#case (" + std::to_string(n) + ")\nCamera(";
        EXPECT_NE(text.find(c), std::string::npos) << n;
    }
    EXPECT_EQ(text.find("#case (4)"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 14), "\n#break\n\n#end\n");
    EXPECT_EQ(pov_animation_frames, 3);
}

TEST_F(PovScene, UnopenablePathsFail)
{
    ASSERT_TRUE(write_whole_file("plainfile", "x"));
    EXPECT_EQ(pov_write_scene("plainfile/scene.pov"), 1);
    EXPECT_EQ(pov_write_scene(""), 1);
    EXPECT_EQ(pov_write_scene(nullptr), 1);
    EXPECT_EQ(pov_begin_animation_at("plainfile/animation.pov"), 1);
    pov_write_frame(1);   // no file open: nothing happens
    EXPECT_EQ(pov_animation_file, nullptr);
}

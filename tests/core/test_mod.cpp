#include <gtest/gtest.h>

#include <cmath>
#include <ode/ode.h>
#include <cstring>
#include <string>

#include "core/mod.h"
#include "core/motors.h"
#include "core/newgame.h"
#include "core/outward.h"
#include "core/step.h"
#include "core/world.h"
#include "core/records.h"
#include "core/rules.h"
#include "support/kill_write.h"
#include "support/test_support.h"

namespace {

// Reads a mod from text written to a scratch file.
int read_mod_text(const char *name, const std::string &text)
{
    std::string path = test_tmp_path(name);
    FILE *f = fopen(path.c_str(), "w");
    fputs(text.c_str(), f);
    fclose(f);
    return read_mod(path.c_str());
}

std::string parse_stderr(const char *line)
{
    testing::internal::CaptureStderr();
    parse_mod_cmd(line);
    return testing::internal::GetCapturedStderr();
}

class ModFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        match_state.num_players = 2;
        fill_default_rules(0, &mod_rules);
        ASSERT_EQ(read_mod_text("empty.zmm", ""), 0);
    }
};

TEST_F(ModFile, Diagnostics)
{
    struct Case {
        const char *setup;   // a line run first (may be null)
        const char *line;
        const char *message;
    };
    const Case cases[] = {
        {nullptr, "frobnicate 1", "parse_mod_cmd no op found frobnicate 1\n"},
        {nullptr, "pos", "pos needs a parameter\n"},
        {nullptr, "pos   ", "pos needs a parameter\n"},
        {nullptr, "sides 1 1 1", "sides statement out of context\n"},
        {nullptr, "range 0 1", "range statement out of context\n"},
        {nullptr, "pos 1 2 3", "pos statement out of context\n"},
        {nullptr, "axis 1 0 0", "axis statement out of context\n"},
        {nullptr, "rot 1 0 0", "rotate statement out of context\n"},
        {nullptr, "color 1 0 0", "color statement out of context\n"},
        {nullptr, "shape box", "shape statement out of context\n"},
        {nullptr, "material steel", "material statement out of context\n"},
        {nullptr, "mass 1", "mass statement out of context\n"},
        {nullptr, "velocity 1", "velocity statement out of context\n"},
        {nullptr, "strength 1", "strength statement out of context\n"},
        {nullptr, "flag 1", "flag statement out of context\n"},
        {nullptr, "radius 1", "Unexpected radius command\n"},
        {nullptr, "force 1 2 3", ""},
        {nullptr, "player 4", "Invalid player index: 4\n"},
        {nullptr, "player -1", "Invalid player index: -1\n"},
        {nullptr, "env_obj 17", "Environment object out of range (17)\n"},
        {nullptr, "env_obj 0", "Environment object out of range (0)\n"},
        {nullptr, "gravity 1 2", "not enough arguments to gravity\n"},
        {nullptr, "body nose", "no such body nose\n"},
        {nullptr, "joint elbow", "no such joint elbow\n"},
        {"body head", "sides 1", "not enough arguments to sides\n"},
        {"body head", "sides 1 -1", "arguments negative\n"},
        {"body r_hand", "alt_sides -1 1 1", "arguments negative\n"},
        {"body r_hand", "alt_sides 1", "not enough arguments to alt_sides\n"},
        {"body head", "pos 1 2", "not enough arguments to pos\n"},
        {"body head", "rot 1 2", "not enough arguments to rot\n"},
        {"body head", "color 1 2", "not enough arguments to color\n"},
        {"body head", "force 1", "not enough arguments to force\n"},
        {"body head", "shape cone", "No such shape (cone)\n"},
        {"body head", "material wood", "Unknown material (wood)\n"},
        {"body head", "range 0 1", "range statement out of context\n"},
        {"joint neck", "range 1", "not enough arguments to range\n"},
        {"joint neck", "axis 1 0", "not enough arguments to axis\n"},
        {"joint neck", "sides 1 1", "sides statement out of context\n"},
        // An unknown body leaves no body to write to.
        {"body nose", "pos 1 2 3", "pos statement out of context\n"},
        {"joint nose", "radius 1", "Unexpected radius command\n"},
        // A joint sphere wider than the world step can take; a body may be.
        {"joint neck", "radius 10.5", "refused radius: 10.5\n"},
        {"joint neck", "radius 10", ""},
        {"body head", "radius 50", ""},
        {"env_obj 2", "mass 0", "mass must be above 0 (0)\n"},
        {"env_obj 2", "mass -3", "mass must be above 0 (-3)\n"},
        {"world", "color 1 2 3", ""},
        {"blood", "color 1", ""},
        {"# a comment", "", ""},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(read_mod_text("diag.zmm", ""), 0);
        if (c.setup)
            parse_stderr(c.setup);
        EXPECT_EQ(parse_stderr(c.line), c.message) << c.line;
    }
}

TEST_F(ModFile, PropertiesLand)
{
    const char *text =
        "body head\r\n"
        "   radius 0.3\r\n"
        "   rot 180 0 0\r\n"
        "joint l_axilla\r\n"
        "   range -0.5 0.75\r\n"
        "   strength 9\r\n"
        "env_obj 16\r\n"
        "   color 0.5 0.25 1\r\n"
        "   mass 2\r\n"
        "world\r\n"
        "   gravity 0 0 -5\r\n"
        "   friction 300\r\n";
    ASSERT_EQ(read_mod_text("props.zmm", text), 0);
    EXPECT_FLOAT_EQ(mod_body_sets[0][0].sides[0], 0.3f);
    EXPECT_FLOAT_EQ(mod_body_sets[0][0].rotation[0], (float)M_PI);
    EXPECT_FLOAT_EQ(mod_joint_sets[0][7].lo_stop, -0.5f);
    EXPECT_FLOAT_EQ(mod_joint_sets[0][7].hi_stop, 0.75f);
    EXPECT_FLOAT_EQ(mod_joint_sets[0][7].strength, 9.0f);
    EnvObject &o = mod_world.objects[15];
    EXPECT_EQ(o.used, 1);
    EXPECT_FLOAT_EQ(o.colour[2], 1.0f);
    EXPECT_FLOAT_EQ(o.colour[3], 1.0f);   // alpha defaults to 1
    EXPECT_DOUBLE_EQ(o.mass, 2.0);
    EXPECT_FLOAT_EQ(mod_world.gravity[2], -5.0f);
    EXPECT_FLOAT_EQ(mod_world.ground_mu, 300.0f);
    EXPECT_EQ(mod_parser.shared, 1);
    assign_player_templates();
    for (int p = 0; p < MAX_PLAYERS; p++)
        EXPECT_EQ(mod_world.body_tables[p], mod_body_sets[0]);
}

TEST_F(ModFile, FreshStateEachFile)
{
    ASSERT_EQ(read_mod_text("a.zmm", "env_obj 1\r\n   rot 0 90 0\r\ngamerule\r\n"), 0);
    EXPECT_NE(mod_world.objects[0].rotation[1], 0.0);
    // The next file starts outside any section and with zero rotations.
    ASSERT_EQ(read_mod_text("b.zmm", "env_obj 1\r\n"), 0);
    EXPECT_EQ(mod_world.objects[0].rotation[1], 0.0);
    EXPECT_EQ(parse_stderr("matchframes 9"), "parse_mod_cmd no op found matchframes 9\n");
}

TEST_F(ModFile, GameruleSection)
{
    ASSERT_EQ(read_mod_text("rules.zmm",
                            "gamerule\r\n"
                            "matchframes 777\r\n"
                            "pos 1 2 3\r\n"),
              0);
    EXPECT_EQ(mod_rules.matchframes, 777);
    // "pos" is no rule: it runs as a command, out of context here.
    EXPECT_EQ(parse_stderr("pos 1 2 3"), "pos statement out of context\n");
    std::string longval(3000, '7');
    parse_stderr(("matchframes " + longval).c_str());   // bounded, no overflow
}

TEST_F(ModFile, PlayerSets)
{
    match_state.num_players = 2;
    ASSERT_EQ(read_mod_text("sets.zmm",
                            "player 1\r\nbody head\r\nradius 0.5\r\n"),
              0);
    assign_player_templates();
    EXPECT_EQ(mod_world.body_tables[0], mod_body_sets[0]);
    EXPECT_EQ(mod_world.body_tables[1], mod_body_sets[1]);
    EXPECT_EQ(mod_world.body_tables[3], mod_body_sets[1]);   // ghost of fighter 1
    EXPECT_FLOAT_EQ(mod_world.body_tables[1][0].sides[0], 0.5f);
    EXPECT_FLOAT_EQ(mod_world.body_tables[0][0].sides[0], 0.2f);
}

TEST_F(ModFile, MissingFile)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_mod("data/mod/not-there.zmm"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Unable to open mod data/mod/not-there.zmm\n");
}

bool same_body(const BodyDef &a, const BodyDef &b)
{
    return a.shape == b.shape && a.material == b.material && a.flags == b.flags &&
           !memcmp(a.position, b.position, sizeof a.position) &&
           !memcmp(a.rotation, b.rotation, sizeof a.rotation) &&
           !memcmp(a.sides, b.sides, sizeof a.sides) &&
           !memcmp(a.alt_sides, b.alt_sides, sizeof a.alt_sides) &&
           !memcmp(a.colour, b.colour, sizeof a.colour) &&
           !memcmp(a.force, b.force, sizeof a.force);
}

bool same_joint(const JointDef &a, const JointDef &b)
{
    return !memcmp(a.anchor, b.anchor, sizeof a.anchor) &&
           !memcmp(a.axis, b.axis, sizeof a.axis) && a.radius == b.radius &&
           a.hi_stop == b.hi_stop && a.lo_stop == b.lo_stop && a.strength == b.strength &&
           a.velocity == b.velocity && a.material == b.material && a.flags == b.flags &&
           !memcmp(a.colour, b.colour, sizeof a.colour);
}

void expect_same_world(const WorldDescription &a, const WorldDescription &b, int n)
{
    for (int p = 0; p < n; p++) {
        for (int i = 0; i < NUM_BODIES; i++)
            EXPECT_TRUE(same_body(a.body_tables[p][i], b.body_tables[p][i]))
                << "player " << p << " body " << i;
        for (int j = 0; j < NUM_JOINTS; j++)
            EXPECT_TRUE(same_joint(a.joint_tables[p][j], b.joint_tables[p][j]))
                << "player " << p << " joint " << j;
    }
    for (int i = 0; i < NUM_ENV_OBJECTS; i++) {
        const EnvObject &x = a.objects[i], &y = b.objects[i];
        EXPECT_EQ(x.used, y.used) << "object " << i;
        if (!x.used || !y.used)
            continue;
        EXPECT_EQ(x.shape, y.shape);
        EXPECT_EQ(x.flags, y.flags);
        EXPECT_EQ(x.material[0], y.material[0]);
        EXPECT_EQ(x.mass, y.mass);
        EXPECT_FALSE(memcmp(x.position, y.position, sizeof x.position)) << "object " << i;
        EXPECT_FALSE(memcmp(x.sides, y.sides, sizeof x.sides)) << "object " << i;
        EXPECT_FALSE(memcmp(x.colour, y.colour, sizeof x.colour)) << "object " << i;
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(x.rotation[k], y.rotation[k], 1e-9) << "object " << i;
    }
    EXPECT_FALSE(memcmp(a.gravity, b.gravity, sizeof a.gravity));
    EXPECT_EQ(a.ground_mu, b.ground_mu);
    EXPECT_EQ(a.mod_version, b.mod_version);
    EXPECT_STREQ(a.mod_text, b.mod_text);
}

// Keeps a copy of the mod's tables and points a description at it.
struct WorldCopy {
    WorldDescription world;
    BodyDef bodies[MOD_TEMPLATE_SETS][BODY_TABLE_ROWS];
    JointDef joints[MOD_TEMPLATE_SETS][JOINT_TABLE_ROWS];

    void take()
    {
        assign_player_templates();
        world = mod_world;
        memcpy(bodies, mod_body_sets, sizeof bodies);
        memcpy(joints, mod_joint_sets, sizeof joints);
        for (int p = 0; p < MAX_PLAYERS; p++) {
            world.body_tables[p] = bodies[0] + (mod_world.body_tables[p] - mod_body_sets[0]);
            world.joint_tables[p] = joints[0] + (mod_world.joint_tables[p] - mod_joint_sets[0]);
        }
    }
};

TEST_F(ModFile, WriteReadRoundTrip)
{
    const char *mods[] = {nullptr, "strongman.zmm", "pillars.zmm"};
    for (const char *name : mods) {
        SCOPED_TRACE(name ? name : "default");
        if (name) {
            std::string path = std::string(source_dir()) + "/data/mod/" + name;
            ASSERT_EQ(read_mod(path.c_str()), 0);
        } else {
            ASSERT_EQ(read_mod_text("default.zmm", ""), 0);
        }
        GameRules rules_before = mod_rules;
        static WorldCopy first, second;
        first.take();
        std::string out = test_tmp_path("roundtrip.zmm");
        ASSERT_EQ(write_mod(&first.world, out.c_str()), 0);
        ASSERT_EQ(read_mod(out.c_str()), 0);
        second.take();
        expect_same_world(first.world, second.world, match_state.num_players);
        EXPECT_EQ(memcmp(&rules_before, &mod_rules, sizeof mod_rules), 0);

        // Lines end with CR LF.
        FILE *f = fopen(out.c_str(), "rb");
        char line[256];
        ASSERT_TRUE(fgets(line, sizeof line, f));
        fclose(f);
        size_t len = strlen(line);
        ASSERT_GE(len, 2u);
        EXPECT_EQ(line[len - 2], '\r');
    }
}

TEST_F(ModFile, KillDuringExportLeavesAWholeMod)
{
    // The old file is the default world, the new one a shipped mod.
    ASSERT_EQ(read_mod_text("default.zmm", ""), 0);
    static WorldCopy before, after;
    before.take();
    std::string path = test_tmp_path("kill_export.zmm");
    ASSERT_EQ(write_mod(&before.world, path.c_str()), 0);
    std::string old_content = read_whole_file(path);
    std::string mod = std::string(source_dir()) + "/data/mod/strongman.zmm";
    ASSERT_EQ(read_mod(mod.c_str()), 0);
    after.take();
    ASSERT_EQ(write_mod(&after.world, path.c_str()), 0);
    std::string new_content = read_whole_file(path);
    ASSERT_NE(old_content, new_content);
    expect_whole_after_kills(path, old_content, new_content,
                             [&] { write_mod(&after.world, path.c_str()); });
    remove_stale_temporaries(path);

    testing::internal::CaptureStderr();
    EXPECT_EQ(write_mod(&after.world, "/nonexistent/x.zmm"), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("/nonexistent/x.zmm"), std::string::npos);
}

// The mod the help names is the built-in world written out: read, it gives
// the built-in fighters exactly, with one template set for every player.
TEST_F(ModFile, ShippedClassicIsTheBuiltInWorld)
{
    static WorldCopy builtin, classic;
    ASSERT_EQ(read_mod_text("default.zmm", ""), 0);
    builtin.take();
    std::string path = std::string(source_dir()) + "/data/mod/classic.zmm";
    testing::internal::CaptureStderr();
    ASSERT_EQ(read_mod(path.c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    classic.take();
    EXPECT_EQ(classic.world.mod_version, 1);
    EXPECT_STREQ(classic.world.mod_text, "Classic: the built-in fighters");
    classic.world.mod_version = builtin.world.mod_version;
    memcpy(classic.world.mod_text, builtin.world.mod_text, sizeof classic.world.mod_text);
    for (int players = 2; players <= 4; players++) {
        match_state.num_players = players;
        expect_same_world(builtin.world, classic.world, players);
    }
    match_state.num_players = 2;
}

TEST_F(ModFile, ShippedModsSayWhatTheyChange)
{
    std::string dir = std::string(source_dir()) + "/data/mod/";
    ASSERT_EQ(read_mod((dir + "strongman.zmm").c_str()), 0);
    EXPECT_FLOAT_EQ(mod_body_sets[0][0].sides[0], 0.24f);
    EXPECT_FLOAT_EQ(mod_joint_sets[0][5].strength, 6.0f);
    EXPECT_STREQ(mod_world.mod_text, "Strongman: thick limbs and strong joints");

    fill_default_rules(0, &mod_rules);
    ASSERT_EQ(read_mod((dir + "pillars.zmm").c_str()), 0);
    EXPECT_TRUE(mod_world.objects[0].used && mod_world.objects[1].used &&
                mod_world.objects[2].used);
    EXPECT_EQ(mod_world.objects[0].flags, ENV_STATIC);
    EXPECT_EQ(mod_rules.matchframes, 800);
    EXPECT_EQ(mod_rules.turnframes_count, 2);
    EXPECT_EQ(mod_rules.flags & RULE_FLAG_FRACTURE, RULE_FLAG_FRACTURE);
}

}  // namespace

// ---- mods at the corners of what the reader accepts play whole matches --------

namespace {

const char *const mod_body_names[NUM_BODIES] = {
    "head",   "breast", "chest",   "stomach", "groin",   "r_pecs", "r_biceps",
    "r_triceps", "l_pecs", "l_biceps", "l_triceps", "r_hand", "l_hand", "r_butt",
    "l_butt", "r_thigh", "l_thigh", "l_leg",   "r_leg",   "r_foot", "l_foot"};
const char *const mod_joint_names[NUM_JOINTS] = {
    "neck",    "chest",   "lumbar",  "abs",     "r_pecs",  "r_shoulder", "r_elbow",
    "l_pecs",  "l_shoulder", "l_elbow", "r_wrist", "l_wrist", "r_glute", "l_glute",
    "r_hip",   "l_hip",   "r_knee",  "l_knee",  "r_ankle", "l_ankle"};

// Every joint with the given lines, every body (or every second one, from
// the first or the second) with the given sides.
std::string corner_mod(const char *joint_lines, const char *sides, const char *other_sides)
{
    std::string text;
    for (const char *j : mod_joint_names)
        text += std::string("joint ") + j + "\r\n" + joint_lines;
    for (int b = 0; b < NUM_BODIES; b++) {
        const char *s = (b % 2 && other_sides) ? other_sides : sides;
        if (s)
            text += std::string("body ") + mod_body_names[b] + "\r\n   sides " + s + "\r\n";
    }
    return text;
}

struct MatchEnd {
    int ended = 0;
};
MatchEnd match_end;
void note_end_game(int) { match_end.ended = 1; }

class ModPhysics : public ::testing::Test {
protected:
    void SetUp() override
    {
        match_end = MatchEnd();
        core_outward = CoreOutward();
        core_outward.hook_end_game = note_end_game;
        game_init();
        frame_tick = 1000;
        selected_player = -1;
    }
    void TearDown() override
    {
        game_shutdown();
        core_outward = CoreOutward();
    }

    // Reads the mod and starts a local match of it as a game start does.
    void start_mod_match(const char *name, const std::string &text, int matchframes)
    {
        match_state.num_players = 2;
        fill_default_rules(0, &mod_rules);
        ASSERT_EQ(read_mod_text(name, text), 0);
        destroy_world();
        assign_player_templates();
        build_world(&mod_world);
        GameRules rules = mod_rules;
        rules.matchframes = matchframes;
        current_rules = rules;
        start_game_with_rules(0, 1, &rules);
        replay_mode = REPLAY_LIVE;
        new_game_reset(0);
    }

    // Plays the match the way a player does: each turn every joint gets a
    // state from a fixed sequence and the turn starts. Returns the frames
    // stepped.
    int play(unsigned seed, int max_frames)
    {
        unsigned x = seed;
        int frames = 0;
        for (; frames < max_frames && !match_state.game_over; frames++) {
            if ((match_state.game_paused || match_state.ghost_mode != GHOST_OFF)) {
                for (int p = 0; p < 2; p++)
                    for (int j = 0; j < NUM_JOINTS; j++) {
                        x = x * 1103515245u + 12345u;
                        set_commanded_joint_state(p, j, 1 + (int)((x >> 16) % 4));
                    }
                start_turn(0);
            }
            step_frame(0);
            frame_tick += 16;
        }
        return frames;
    }
};

TEST_F(ModPhysics, AcceptedCornersPlayWholeMatches)
{
    struct Case {
        const char *what;
        const char *joints;
        const char *sides;
        const char *other_sides;
        int matchframes;
    };
    const Case cases[] = {
        {"strongest, fastest, smallest", "   strength 1000000\r\n   velocity 1000000\r\n",
         "0.001 0.001 0.001", nullptr, 500},
        {"fastest, smallest", "   velocity 1000000\r\n", "0.001 0.001 0.001", nullptr, 500},
        {"strongest backwards, smallest", "   strength -1000000\r\n   velocity -1000000\r\n",
         "0.001 0.001 0.001", nullptr, 500},
        {"smallest joint spheres, widest ranges",
         "   strength 1000000\r\n   velocity 1000000\r\n   radius 0.001\r\n   range -100 100\r\n",
         "0.001 0.001 0.001", nullptr, 500},
        {"largest joint spheres", "   strength 1000000\r\n   velocity 1000000\r\n   radius 10\r\n",
         "0.001 0.001 0.001", nullptr, 200},
        {"strongest, built-in bodies", "   strength 1000000\r\n   velocity 1000000\r\n", nullptr,
         nullptr, 500},
    };
    for (const Case &c : cases) {
        for (unsigned seed = 1; seed <= 4; seed++) {
            SCOPED_TRACE(std::string(c.what) + ", sequence " + std::to_string(seed));
            testing::internal::CaptureStderr();
            start_mod_match("corner.zmm", corner_mod(c.joints, c.sides, c.other_sides),
                            c.matchframes);
            int frames = play(seed, 4 * c.matchframes);
            testing::internal::GetCapturedStderr();
            EXPECT_TRUE(match_end.ended) << "after " << frames << " frames";
            EXPECT_GE(match_state.match_frame, c.matchframes);
            match_end = MatchEnd();
            for (int p = 0; p < 2; p++)
                for (int b = 0; b < NUM_BODIES; b++) {
                    const dReal *x = dBodyGetPosition(players[p].body[b]);
                    ASSERT_TRUE(std::isfinite(x[0]) && std::isfinite(x[1]) && std::isfinite(x[2]));
                }
        }
    }
}

}  // namespace

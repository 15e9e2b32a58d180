// The orbit camera: held keys, the target rule, smoothing and the shake.
#include "platform/camera.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/records.h"
#include "core/rules.h"

namespace {

class CameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        camera_state = CameraState{};
        camera_state.distance = 4.0f;
        camera_state.height = 2.1f;
        camera_state.fov = 50.0f;
        camera_outward = CameraOutward{};
        head_view_mode = 0;
        replay_mode = 1;
        match = MatchState{};
        match.match_frame = 10;
    }
    void TearDown() override { camera_outward = CameraOutward{}; }
    MatchState match;
};

TEST_F(CameraTest, NearerKeyStopsAtMinimumDistance)
{
    for (int i = 0; i < 20; i++)
        apply_held_camera_keys_ghost(CAM_KEY_NEARER, 0);
    EXPECT_FLOAT_EQ(camera_state.distance, 0.3f);
    apply_held_camera_keys_ghost(CAM_KEY_NEARER, 0);
    EXPECT_FLOAT_EQ(camera_state.distance, 0.3f);
}

TEST_F(CameraTest, HeldKeyTable)
{
    struct Case {
        const char *what;
        float angle, offset;
        int mask;
        float want_angle, want_offset, want_distance;
    } cases[] = {
        {"farther", 0, 0, CAM_KEY_FARTHER, 0, 0, 4.3f},
        {"both 3-degree turns only turn left", 90, 0, CAM_KEY_TURN_LEFT3 | CAM_KEY_TURN_RIGHT3, 87, 0, 4.0f},
        {"+3 from 359 wraps to 2", 359, 0, CAM_KEY_TURN_RIGHT3, 2, 0, 4.0f},
        {"-3 from 1 wraps to 358", 1, 0, CAM_KEY_TURN_LEFT3, 358, 0, 4.0f},
        {"+1.5 is not wrapped", 359.5f, 0, CAM_KEY_TURN_RIGHT15, 361, 0, 4.0f},
        {"-1.5 is not wrapped", 1, 0, CAM_KEY_TURN_LEFT15, -0.5f, 0, 4.0f},
        {"-1.5 wins over +1.5", 10, 0, CAM_KEY_TURN_LEFT15 | CAM_KEY_TURN_RIGHT15, 8.5f, 0, 4.0f},
        {"raise clamps at 2.5", 0, 2.45f, CAM_KEY_RAISE, 0, 2.5f, 4.0f},
        {"lower clamps at -1", 0, -0.95f, CAM_KEY_LOWER, 0, -1.0f, 4.0f},
        {"nearer first, turn bit still wraps", 361, 0, CAM_KEY_NEARER | CAM_KEY_TURN_RIGHT3, 1, 0, 3.7f},
        {"turn bit skips the height clamp", 10, 3.0f, CAM_KEY_TURN_RIGHT3 | CAM_KEY_RAISE, 13, 3.0f, 4.0f},
    };
    for (const Case &c : cases) {
        camera_state.angle = c.angle;
        camera_state.height_offset = c.offset;
        camera_state.distance = 4.0f;
        apply_held_camera_keys_ghost(c.mask, 0);
        EXPECT_NEAR(camera_state.angle, c.want_angle, 1e-4) << c.what;
        EXPECT_NEAR(camera_state.height_offset, c.want_offset, 1e-4) << c.what;
        EXPECT_NEAR(camera_state.distance, c.want_distance, 1e-4) << c.what;
    }
}

TEST_F(CameraTest, HeldKeysMoveNothingDuringAGhost)
{
    apply_held_camera_keys_ghost(CAM_KEY_FARTHER, 1);
    EXPECT_FLOAT_EQ(camera_state.distance, 4.0f);
}

TEST_F(CameraTest, KeysReplaceTheCameraOnItsOrbit)
{
    camera_state.lookat[0] = 1.0f;
    camera_state.lookat[1] = 2.0f;
    camera_state.angle = 87.0f;
    camera_state.height_offset = 0.4f;
    apply_held_camera_keys_ghost(CAM_KEY_TURN_RIGHT3, 0);   // to 90 degrees
    EXPECT_NEAR(camera_state.position[0], 1.0f, 1e-5);
    EXPECT_NEAR(camera_state.position[1], 6.0f, 1e-5);
    EXPECT_NEAR(camera_state.position[2], 2.5f, 1e-5);
}

TEST_F(CameraTest, OrbitAndDrag)
{
    set_camera_orbit(180, 5.0f, 3.0f);
    EXPECT_NEAR(camera_state.position[0], -3.0f, 1e-5);
    EXPECT_FLOAT_EQ(camera_state.position[2], 5.0f);
    camera_orbit_drag(1, 10.0f, 100.0f);
    EXPECT_FLOAT_EQ(camera_state.angle, 182.0f);
    EXPECT_FLOAT_EQ(camera_state.distance, 4.0f);
    camera_orbit_drag(2, 0.0f, -50.0f);
    EXPECT_FLOAT_EQ(camera_state.height, 4.5f);
    camera_orbit_drag(7, 99.0f, 99.0f);
    EXPECT_FLOAT_EQ(camera_state.angle, 182.0f);
}

const double kChest[4][3] = {{1, 0, 1.5}, {3, 2, 1.7}, {-1, 4, 1.0}, {5, 5, 5}};
const double kStomach[4][3] = {{1, 0, 1.0}, {3, 2, 1.2}, {0, 0, 0}, {0, 0, 0}};

TEST(CameraTarget, SelectionCases)
{
    const double *chest[4] = {kChest[0], kChest[1], kChest[2], kChest[3]};
    const double *stomach[4] = {kStomach[0], kStomach[1], kStomach[2], kStomach[3]};
    struct Case {
        const char *what;
        int selected, online, engage, fighters;
        double want[3];
    } cases[] = {
        {"none selected: stomach mean", -1, 0, 500, 2, {2, 1, 1.1}},
        {"none selected online: stomach mean", -1, 1, 500, 2, {2, 1, 1.1}},
        {"online: selected chest", 1, 1, 100, 2, {3, 2, 1.7}},
        {"local far engage: selected chest", 0, 0, 701, 2, {1, 0, 1.5}},
        {"local engage 700: chest mean", 0, 0, 700, 2, {2, 1, 1.6}},
        {"local three fighters: chest mean", 2, 0, 500, 3, {1, 2, 1.4}},
    };
    for (const Case &c : cases) {
        double out[3] = {9, 9, 9};
        EXPECT_EQ(camera_target_point(c.selected, c.online, c.engage, c.fighters, chest, stomach, out), 0)
            << c.what;
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(out[k], c.want[k], 1e-9) << c.what << " axis " << k;
    }
}

TEST(CameraTarget, MissingBodiesAreLeftOut)
{
    const double *chest[4] = {kChest[0], nullptr, nullptr, nullptr};
    const double *none[4] = {nullptr, nullptr, nullptr, nullptr};
    double out[3] = {7, 7, 7};
    EXPECT_EQ(camera_target_point(0, 0, 0, 2, chest, none, out), 0);
    EXPECT_DOUBLE_EQ(out[0], 1.0);
    out[0] = 7;
    EXPECT_EQ(camera_target_point(-1, 0, 0, 2, chest, none, out), 1);
    EXPECT_DOUBLE_EQ(out[0], 7.0);   // unchanged
    EXPECT_EQ(camera_target_point(1, 1, 0, 2, chest, none, out), 1);
}

// Two fighters with real bodies for update_camera.
class CameraWorldTest : public CameraTest {
protected:
    void SetUp() override
    {
        CameraTest::SetUp();
        dInitODE();
        world = dWorldCreate();
        for (int p = 0; p < 2; p++)
            for (int b = 0; b < 4; b++) {
                players[p].body[b] = dBodyCreate(world);
                dBodySetPosition(players[p].body[b], p * 2.0, 0.0, 0.5 + b * 0.1 + p);
            }
        match.num_players = 2;
        selected_player = -1;
        game_type = 0;
        current_rules.engagedistance = 100;
    }
    void TearDown() override
    {
        for (int p = 0; p < 2; p++)
            for (int b = 0; b < 4; b++)
                players[p].body[b] = nullptr;
        dWorldDestroy(world);
        dCloseODE();
        CameraTest::TearDown();
    }
    dWorldID world;
};

int option_smoothcam_off(const char *name)
{
    return name[0] == 's' ? 0 : -1;
}

TEST_F(CameraWorldTest, SmoothedTargetAndLookAt)
{
    // Stomach (body 3) means: x 1, z 0.8 + 0.5 = 1.3.
    update_camera(&match, 0.0f);
    EXPECT_NEAR(camera_state.lookat[0], 1.0f, 1e-6);
    EXPECT_NEAR(camera_state.lookat[2], 0.8f, 1e-6);
    EXPECT_NEAR(camera_state.height, 1.3f, 1e-6);

    // With 0.97 the target is approached by 3 % a frame.
    camera_state.smoothed[0] = camera_state.smoothed[1] = camera_state.smoothed[2] = 0.0;
    update_camera(&match, 0.97f);
    EXPECT_NEAR(camera_state.smoothed[0], 0.03, 1e-6);
    EXPECT_NEAR(camera_state.height, 1.1f, 1e-6);   // at least 1.1
    update_camera(&match, 0.97f);
    EXPECT_NEAR(camera_state.smoothed[0], 0.03 + 0.97 * 0.03, 1e-6);

    // smoothcam off: straight to the target.
    camera_outward.option = option_smoothcam_off;
    update_camera(&match, 0.97f);
    EXPECT_NEAR(camera_state.lookat[0], 1.0f, 1e-6);
}

int script_places_camera()
{
    return 1;
}

TEST_F(CameraWorldTest, ScriptHookAndHeadView)
{
    camera_state.lookat[0] = 42.0f;
    camera_outward.camera_hook = script_places_camera;
    update_camera(&match, 0.0f);
    EXPECT_FLOAT_EQ(camera_state.lookat[0], 42.0f);
    camera_outward.camera_hook = nullptr;

    head_view_mode = 2;   // in fighter 1's head, looking at fighter 0's
    update_camera(&match, 0.0f);
    EXPECT_FLOAT_EQ(camera_state.position[0], 2.0f);
    EXPECT_FLOAT_EQ(camera_state.position[2], 1.5f);
    EXPECT_FLOAT_EQ(camera_state.lookat[0], 0.0f);
    EXPECT_FLOAT_EQ(camera_state.lookat[2], 0.5f);
}

TEST_F(CameraWorldTest, ResetViewDistanceFollowsEngageDistance)
{
    struct Case { int engage; float distance; } cases[] = {{500, 7.0f}, {300, 4.5f}, {400, 4.5f}, {1000, 14.0f}};
    for (const Case &c : cases) {
        current_rules.engagedistance = c.engage;
        reset_camera_view(&match, 90);
        EXPECT_NEAR(camera_state.distance, c.distance, 1e-5) << c.engage;
        EXPECT_FLOAT_EQ(camera_state.angle, 90.0f);
    }
}

int rumble_on(const char *name)
{
    return std::string(name) == "rumble" ? 1 : -1;
}

TEST_F(CameraTest, ShakeSequenceFromAScriptedClock)
{
    camera_outward.option = rumble_on;
    camera_shake_step(&match, 1000);   // first call only stamps the clock
    set_camera_shake(300);
    int now = 1000;
    bool saw_nonzero = false;
    float first_scale = -1;
    for (int step = 0; step < 30; step++) {
        now += 10;
        float before[3] = {camera_state.shake_offset[0], camera_state.shake_offset[1],
                           camera_state.shake_offset[2]};
        int cursor_before = camera_state.shake_cursor;
        camera_shake_step(&match, now);
        int ms = now - 1000;
        if (ms < 300 && ms % 30 == 0) {
            // Every 30 ms a new offset from the next three table entries.
            float s = (float)((300 - ms + 10) / 30) * 0.0002f * 4.0f;
            for (int k = 0; k < 3; k++) {
                float want = s * camera_shake_table[(cursor_before + 1 + k) % 12];
                EXPECT_NEAR(camera_state.shake_offset[k], want, 1e-7) << ms;
                if (want != 0)
                    saw_nonzero = true;
                if (first_scale < 0 && want != 0)
                    first_scale = fabsf(want);
            }
        } else if (ms < 300) {
            for (int k = 0; k < 3; k++)
                EXPECT_EQ(camera_state.shake_offset[k], before[k]) << ms;
        } else {
            for (int k = 0; k < 3; k++)
                EXPECT_EQ(camera_state.shake_offset[k], 0.0f) << ms;
        }
    }
    EXPECT_TRUE(saw_nonzero);
    EXPECT_NEAR(first_scale, 0.008f - 0.0008f, 1e-6);   // amount 280 at the first change
    EXPECT_EQ(camera_state.shake_amount, 0);
}

TEST_F(CameraTest, ShakeFirstOffsetScale)
{
    camera_outward.option = rumble_on;
    camera_shake_step(&match, 0);
    set_camera_shake(300);
    camera_shake_step(&match, 30);   // 30 ms at once: amount still 300
    for (int k = 0; k < 3; k++) {
        float v = fabsf(camera_state.shake_offset[k]);
        EXPECT_TRUE(v == 0.0f || fabsf(v - 0.008f) < 1e-7) << v;
    }
    EXPECT_NE(camera_state.shake_offset[0] + camera_state.shake_offset[1] +
                  camera_state.shake_offset[2] * 0.5f, 0.0f);
}

TEST_F(CameraTest, ShakeIsCancelled)
{
    struct Case {
        const char *what;
        int frame, replay, paused, head, rumble;
    } cases[] = {
        {"match frame 1", 1, 1, 0, 0, 1},
        {"live play", 10, 0, 0, 0, 1},
        {"paused", 10, 1, 1, 0, 1},
        {"head view", 10, 1, 0, 1, 1},
        {"rumble off", 10, 1, 0, 0, 0},
    };
    for (const Case &c : cases) {
        camera_state.shake_offset[0] = 0.5f;
        camera_state.shake_last_time = 0;
        camera_outward.option = c.rumble ? rumble_on : nullptr;
        match.match_frame = c.frame;
        match.game_paused = c.paused;
        replay_mode = c.replay;
        head_view_mode = c.head;
        set_camera_shake(300);
        camera_shake_step(&match, 10);
        EXPECT_LE(camera_state.shake_amount, 0) << c.what;
        EXPECT_EQ(camera_state.shake_offset[0], 0.0f) << c.what;
        EXPECT_EQ(camera_state.shake_accum, 0) << c.what;
    }
    head_view_mode = 0;
}

}  // namespace

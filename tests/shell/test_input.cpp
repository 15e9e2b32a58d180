// Keys, buttons and the mouse pick without a window: the camera keys and
// the hook in front of them, the Space states, the replay-list keys, the
// button routing and the mouse ray against a real world.
#include <gtest/gtest.h>

#include "render/fighter_draw.h"

#include <SDL/SDL.h>
#include <cmath>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "core/motors.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/world.h"
#include "platform/loop.h"
#include "shell/game_control.h"
#include "shell/input.h"
#include "shell/options.h"
#include "support/test_support.h"

namespace {

class Input : public ::testing::Test {
protected:
    void SetUp() override
    {
        core_outward = CoreOutward();
        game_links = GameControlLinks();
        core_outward.get_option = [](const char *) { return 0; };
        game_init();
        reset_options();
        menu_state = 0;
        replay_mode = REPLAY_LIVE;
        game_type = 0;
        frame_tick = 10000;
        held_camera_keys = 0;
        last_down = 0;
        help_overlay = 0;
        space_key_deadline = 0;
        selected_player = -1;
        selected_joint = -1;
        selected_body = -1;
        match_state.game_over = 0;
        match_state.game_paused = 1;
        match_state.ghost_mode = 0;
    }
    void TearDown() override
    {
        game_shutdown();
        core_outward = CoreOutward();
        game_links = GameControlLinks();
    }
    static void press(int key, int mod = 0) { handle_key(&match_state, key, key, mod, 1); }
    static void release(int key, int mod = 0) { handle_key(&match_state, key, key, mod, 0); }
};

// ---- camera keys ------------------------------------------------------------------

TEST_F(Input, CameraMaskTable)
{
    struct Case {
        int before, letter, shift, after;
    };
    const Case cases[] = {
        {0x00, 'w', 0, 0x01}, {0x00, 'w', 1, 0x10}, {0x00, 's', 0, 0x02}, {0x00, 's', 1, 0x20},
        {0x00, 'a', 0, 0x04}, {0x00, 'a', 1, 0x80}, {0x00, 'd', 0, 0x08}, {0x00, 'd', 1, 0x40},
        // every other bit, to see which survive; bits above the low byte always do
        {0x1FF, 'w', 0, 0x13D}, {0x1FF, 'w', 1, 0x11C}, {0x1FF, 's', 0, 0x11E},
        {0x1FF, 's', 1, 0x12C}, {0x1FF, 'a', 0, 0x134}, {0x1FF, 'a', 1, 0x1B3},
        {0x1FF, 'd', 0, 0x138}, {0x1FF, 'd', 1, 0x173},
        // not a camera key
        {0x55, 'q', 0, 0x55},
    };
    for (const Case &c : cases)
        EXPECT_EQ(camera_keys_after_press(c.before, c.letter, c.shift), c.after)
            << (char)c.letter << " shift " << c.shift;
    EXPECT_EQ(camera_bits_cleared_by('w'), 0xD1);
    EXPECT_EQ(camera_bits_cleared_by('a'), 0x84);
    EXPECT_EQ(camera_bits_cleared_by('s'), 0xE2);
    EXPECT_EQ(camera_bits_cleared_by('d'), 0x48);
    const int keys[][2] = {{'w', 'w'}, {SDLK_UP, 'w'},   {SDLK_KP8, 'w'},  {'s', 's'},
                           {SDLK_DOWN, 's'}, {SDLK_KP2, 's'}, {SDLK_LEFT, 'a'}, {SDLK_KP4, 'a'},
                           {SDLK_RIGHT, 'd'}, {SDLK_KP6, 'd'}, {'q', 0}};
    for (const auto &k : keys)
        EXPECT_EQ(camera_letter(k[0]), k[1]) << k[0];
}

TEST_F(Input, CameraKeysPressAndRelease)
{
    press('w');
    EXPECT_EQ(held_camera_keys, 0x01);
    // Shift alone changes nothing until w is pressed again.
    press(SDLK_LSHIFT, KMOD_LSHIFT);
    EXPECT_EQ(held_camera_keys, 0x01);
    press('w', KMOD_LSHIFT);
    EXPECT_EQ(held_camera_keys, 0x10);
    press('d');
    EXPECT_EQ(held_camera_keys, 0x18);
    // Releasing w clears its turn and move bits and also 0x40 and 0x80.
    held_camera_keys = 0xFF;
    release('w');
    EXPECT_EQ(held_camera_keys, 0x2E);

    // In a menu neither presses nor releases touch the bits.
    held_camera_keys = 0x01;
    menu_state = 13;
    press('s');
    release('w');
    EXPECT_EQ(held_camera_keys, 0x01);
}

int hook_calls;
int hook_answer;

TEST_F(Input, KeyDownHookSuppressesTheCameraBits)
{
    hook_calls = 0;
    hook_answer = 1;
    game_links.hook_key_down = [](int key) {
        hook_calls++;
        return key == 'w' ? hook_answer : 0;
    };
    EXPECT_EQ(handle_key(&match_state, 'w', 'w', 0, 1), 1);
    EXPECT_EQ(held_camera_keys, 0);
    EXPECT_EQ(hook_calls, 1);
    release('w');
    // A hook that declines leaves the camera to the key.
    hook_answer = 0;
    EXPECT_EQ(handle_key(&match_state, 'w', 'w', 0, 1), 0);
    EXPECT_EQ(held_camera_keys, 0x01);
    // A press while another key is held is no new press: no hook call.
    EXPECT_EQ(handle_key(&match_state, 'a', 'a', 0, 1), 0);
    EXPECT_EQ(hook_calls, 2);
    EXPECT_EQ(held_camera_keys, 0x04);
    // In a menu the hook is not asked.
    release('a');
    menu_state = 13;
    press('w');
    EXPECT_EQ(hook_calls, 2);
}

TEST_F(Input, KeyUpHookStopsTheKeyTable)
{
    game_links.hook_key_up = [](int key) { return key == 'b' ? 1 : 0; };
    EXPECT_EQ(handle_key(&match_state, 'b', 'b', 0, 0), 1);
    EXPECT_EQ(match_state.ghost_mode, 0);
}

TEST_F(Input, HelpOverlayReleaseDoesNothingElse)
{
    release(SDLK_F1);
    EXPECT_EQ(help_overlay, 1);
    held_camera_keys = 0x01;
    release('w');
    EXPECT_EQ(help_overlay, 0);
    EXPECT_EQ(held_camera_keys, 0x01);
}

// ---- joint keys --------------------------------------------------------------------

TEST_F(Input, JointKeysOnTheSelectedJoint)
{
    selected_player = 0;
    selected_joint = 5;
    struct Step {
        int key, state;
    } steps[] = {{'z', 1}, {'z', 2}, {'z', 1}, {'x', 3}, {'x', 4}, {'z', 1}};
    for (const Step &s : steps) {
        release(s.key);
        EXPECT_EQ(current_joint_state(0, 5), s.state) << (char)s.key;
    }
    // c: every joint held, then (joint 17 held) every joint relaxed.
    release('c');
    EXPECT_EQ(current_joint_state(0, 17), MOTOR_HOLD);
    EXPECT_EQ(current_joint_state(0, 5), MOTOR_HOLD);
    release('c');
    EXPECT_EQ(current_joint_state(0, 0), MOTOR_RELAX);

    // Nothing while the frames run, in a replay, or with no joint.
    match_state.game_paused = 0;
    release('z');
    EXPECT_EQ(current_joint_state(0, 5), MOTOR_RELAX);
    match_state.game_paused = 1;
    replay_mode = REPLAY_PLAYING;
    release('z');
    EXPECT_EQ(current_joint_state(0, 5), MOTOR_RELAX);
    replay_mode = REPLAY_LIVE;
    selected_joint = -1;
    release('z');
    EXPECT_EQ(current_joint_state(0, 5), MOTOR_RELAX);
}

TEST_F(Input, GripKeyAtTheWrists)
{
    selected_player = 0;
    selected_joint = 11;   // l_wrist: the left hand
    release('l');
    EXPECT_EQ(players[0].grip_req_l, GRIP_GRIP);
    EXPECT_EQ(players[0].grip_req_r, 0);
    release('l');
    EXPECT_EQ(players[0].grip_req_l, GRIP_RELEASE);
    selected_joint = 10;
    release('l');
    EXPECT_EQ(players[0].grip_req_r, GRIP_GRIP);
    // The rules may forbid grips.
    current_rules.flags |= 4;
    release('l');
    EXPECT_EQ(players[0].grip_req_r, GRIP_GRIP);
    // Another joint is no wrist.
    current_rules.flags &= ~4;
    selected_joint = 6;
    int l = players[0].grip_req_l, r = players[0].grip_req_r;
    release('l');
    EXPECT_EQ(players[0].grip_req_l, l);
    EXPECT_EQ(players[0].grip_req_r, r);
}

// ---- Space ---------------------------------------------------------------------------

int games_begun;

TEST_F(Input, SpaceStates)
{
    games_begun = 0;
    game_links.start_game_with_rules = [](int, int, GameRules *) { games_begun++; };

    // Edit phase: the turn starts with the next turnframes value.
    release(SDLK_SPACE);
    EXPECT_EQ(match_state.game_paused, 0);
    EXPECT_GT(match_state.turn_frame, 0);
    // While frames run offline, Space does nothing.
    int left = match_state.turn_frame;
    release(SDLK_SPACE);
    EXPECT_EQ(match_state.turn_frame, left);

    // Game over: the replay starts once; a second Space inside 3 s is ignored.
    match_state.game_over = 1;
    frame_tick = 20000;
    release(SDLK_SPACE);
    EXPECT_EQ(replay_mode, REPLAY_PLAYING);
    EXPECT_EQ(space_key_deadline, 23000);
    frame_tick = 21000;
    release(SDLK_SPACE);
    EXPECT_EQ(games_begun, 0);
    EXPECT_EQ(replay_mode, REPLAY_PLAYING);
    // After the deadline Space in the replay begins a new game.
    frame_tick = 23001;
    release(SDLK_SPACE);
    EXPECT_EQ(games_begun, 1);
    EXPECT_EQ(space_key_deadline, 0);
}

// ---- replay list keys ---------------------------------------------------------------

TEST_F(Input, ReplayKeysOnEmptyAndStaleLists)
{
    std::string dir = test_tmp_path("input_replays");
    std::string cmd = "rm -rf '" + dir + "' && mkdir -p '" + dir + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
    ASSERT_EQ(chdir(dir.c_str()), 0);

    // No folder, then an empty folder: nothing happens.
    replay_index = 3;
    EXPECT_EQ(step_replay_list(1), 1);
    release(']', KMOD_LCTRL);
    release('[', KMOD_LCTRL);
    EXPECT_EQ(replay_index, 3);
    EXPECT_EQ(replay_mode, REPLAY_LIVE);
    ASSERT_EQ(system("mkdir replay"), 0);
    EXPECT_EQ(step_replay_list(-1), 1);
    EXPECT_EQ(replay_mode, REPLAY_LIVE);

    // Two replays and an index left from a longer list.
    ASSERT_EQ(system("printf 'FIGHTNAME 0; a\\n' > replay/a.rpl && "
                     "printf 'FIGHTNAME 0; b\\n' > replay/b.rpl"),
              0);
    replay_index = 40;
    EXPECT_EQ(step_replay_list(1), 0);
    EXPECT_EQ(replay_index, 0);
    EXPECT_EQ(replay_mode, REPLAY_PLAYING);
    EXPECT_EQ(step_replay_list(-1), 0);
    EXPECT_EQ(replay_index, 1);
    // The character form of the key counts too (Ctrl gives it with the key).
    handle_key(&match_state, 0, '}', KMOD_LCTRL, 0);
    EXPECT_EQ(replay_index, 0);
    // Online the keys do nothing.
    game_type = 1;
    release(']', KMOD_LCTRL);
    EXPECT_EQ(replay_index, 0);

    ASSERT_EQ(chdir(source_dir()), 0);
}

// ---- button routing -----------------------------------------------------------------

// A control button as the widgets keep it: pressed by a press on it, idle
// again on any release.
struct FakeButton {
    int x0, y0, x1, y1;
    int pressed;
    int releases;
} button;

int later_moves;

TEST_F(Input, ButtonDraggedOutAndReleasedOutsideGoesIdle)
{
    button = {10, 10, 50, 30, 0, 0};
    later_moves = 0;
    game_links.offer_buttons = [](int left_down, int x, int y) {
        int inside = x >= button.x0 && x < button.x1 && y >= button.y0 && y < button.y1;
        if (!left_down) {
            if (button.pressed)
                button.releases++;
            button.pressed = 0;
            return 0;
        }
        if (inside)
            button.pressed = 1;
        return button.pressed;
    };
    game_links.hook_mouse_button_up = [](int, int, int) { return 1; };   // a greedy script
    game_links.hook_mouse_move = [](int, int) {
        later_moves++;
        return 0;
    };
    for (int menu : {0, 13}) {
        menu_state = menu;
        button.pressed = 1;   // pressed on the button
        on_mouse_move(SDL_BUTTON(1), 200, 200);   // dragged out
        on_mouse_button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 200, 200);
        EXPECT_EQ(button.pressed, 0) << menu;
        on_mouse_move(0, 220, 220);
    }
    EXPECT_EQ(button.releases, 2);
    // Later movement is no longer swallowed.
    EXPECT_EQ(later_moves, 2);
}

// ---- the mouse ray --------------------------------------------------------------------

// Where a geom is in the world; a joint sphere sits inside a transform
// that its carrying body moves.
const double *geom_centre(dGeomID g)
{
    static dVector3 out;
    if (dGeomGetClass(g) != dGeomTransformClass)
        return dGeomGetPosition(g);
    dGeomID inner = dGeomTransformGetGeom(g);
    const double *offset = dGeomGetPosition(inner);
    dBodyGetRelPointPos(dGeomGetBody(g), offset[0], offset[1], offset[2], out);
    return out;
}

// The pick from `from` towards `through`, as a click.
void click_ray(const double from[3], const double through[3]) { pick_joint(0, 1, from, through); }

// The nearest geom along a ray by asking ODE about each geom of both
// fighters on its own.
struct Nearest {
    int player, joint, body;
};
Nearest nearest_by_ode(const double from[3], const double through[3])
{
    double d[3] = {through[0] - from[0], through[1] - from[1], through[2] - from[2]};
    double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    dGeomID ray = dCreateRay(nullptr, 100);
    dGeomRaySet(ray, from[0], from[1], from[2], d[0] / n, d[1] / n, d[2] / n);
    Nearest best = {-1, -1, -1};
    double best_d = 1e9;
    for (int p = 0; p < 2; p++) {
        for (int i = 0; i < NUM_JOINTS + NUM_BODIES; i++) {
            dGeomID g = i < NUM_JOINTS ? players[p].joint_geom[i] : players[p].geom[i - NUM_JOINTS];
            // A hand as it is drawn: an open hand has a box of its own size.
            dGeomID shown = nullptr;
            double sides[3];
            if (i >= NUM_JOINTS && hand_shown_sides(&players[p], i - NUM_JOINTS, sides)) {
                shown = dCreateBox(nullptr, sides[0], sides[1], sides[2]);
                const double *at = dGeomGetPosition(g);
                dGeomSetPosition(shown, at[0], at[1], at[2]);
                dGeomSetRotation(shown, dGeomGetRotation(g));
            }
            dContactGeom c;
            if (g && dCollide(ray, shown ? shown : g, 1, &c, sizeof c) == 1 && c.depth < best_d) {
                best_d = c.depth;
                best = i < NUM_JOINTS ? Nearest{p, i, -1} : Nearest{p, -1, i - NUM_JOINTS};
            }
            if (shown)
                dGeomDestroy(shown);
        }
    }
    dGeomDestroy(ray);
    return best;
}

// A point of an open hand past its wrist sphere: on the line from the
// wrist through the hand's centre, beyond the centre, inside the hand as
// it is drawn.
void past_the_wrist(int p, int hand, double out[3])
{
    int wrist = hand == 12 ? 11 : 10;
    const double *w = geom_centre(players[p].joint_geom[wrist]);
    double wx = w[0], wy = w[1], wz = w[2];
    const double *h = dGeomGetPosition(players[p].geom[hand]);
    out[0] = h[0] + 0.3 * (h[0] - wx);
    out[1] = h[1] + 0.3 * (h[1] - wy);
    out[2] = h[2] + 0.3 * (h[2] - wz);
}

TEST_F(Input, PickFindsTheNearestOfFortyOneGeomsFromFourCameras)
{
    ASSERT_GE(fighters_built, 2);
    match_state.num_players = 2;
    // Over: the click only selects (no ghost, no joint change).
    match_state.game_over = 1;
    const double *c0 = dBodyGetPosition(players[0].body[2]);
    const double *c1 = dBodyGetPosition(players[1].body[2]);
    double mid[3] = {(c0[0] + c1[0]) / 2, (c0[1] + c1[1]) / 2, 2.0};
    int checked = 0, joints_hit = 0, bodies_hit = 0;
    for (int angle = 0; angle < 360; angle += 90) {
        double a = angle * M_PI / 180;
        double eye[3] = {mid[0] + 5 * std::cos(a), mid[1] + 5 * std::sin(a), 2.5};
        for (int p = 0; p < 2; p++) {
            for (int i = 0; i < NUM_JOINTS + NUM_BODIES; i++) {
                dGeomID g = i < NUM_JOINTS ? players[p].joint_geom[i]
                                           : players[p].geom[i - NUM_JOINTS];
                const double *target = geom_centre(g);
                Nearest want = nearest_by_ode(eye, target);
                selected_player = -1;
                click_ray(eye, target);
                ASSERT_GE(want.player, 0);
                EXPECT_EQ(selected_player, want.player) << angle << " " << p << " " << i;
                EXPECT_EQ(selected_joint, want.joint) << angle << " " << p << " " << i;
                EXPECT_EQ(selected_body, want.body) << angle << " " << p << " " << i;
                checked++;
                joints_hit += want.joint >= 0;
                bodies_hit += want.body >= 0;
            }
        }
    }
    EXPECT_EQ(checked, 4 * 2 * 41);
    // The cameras see both kinds.
    EXPECT_GT(joints_hit, 20);
    EXPECT_GT(bodies_hit, 20);
}

TEST_F(Input, PickKnownShapes)
{
    match_state.num_players = 2;
    match_state.game_over = 1;
    // Straight down onto the head: the head, not the neck below it.
    const double *head = geom_centre(players[1].geom[0]);
    double above[3] = {head[0], head[1], head[2] + 5};
    click_ray(above, head);
    EXPECT_EQ(selected_player, 1);
    EXPECT_EQ(selected_body, 0);
    EXPECT_EQ(selected_joint, -1);
    // Straight down onto a wrist: the wrist sphere.
    const double *wrist = geom_centre(players[0].joint_geom[10]);
    double over_wrist[3] = {wrist[0], wrist[1], wrist[2] + 5};
    click_ray(over_wrist, wrist);
    EXPECT_EQ(selected_player, 0);
    EXPECT_EQ(selected_joint, 10);
    EXPECT_EQ(pick_kind, PICK_JOINT);
    // Along the line of both chests: the nearer fighter from either end;
    // one that is out of the fight is passed by.
    const double *c0 = dBodyGetPosition(players[0].body[2]);
    const double *c1 = dBodyGetPosition(players[1].body[2]);
    double behind0[3], behind1[3];
    for (int k = 0; k < 3; k++) {
        behind0[k] = c0[k] + (c0[k] - c1[k]) * 3;
        behind1[k] = c1[k] + (c1[k] - c0[k]) * 3;
    }
    click_ray(behind0, c0);
    EXPECT_EQ(selected_player, 0);
    click_ray(behind1, c1);
    EXPECT_EQ(selected_player, 1);
    players[1].out = 1;
    click_ray(behind1, c1);
    EXPECT_EQ(selected_player, 0);
    players[1].out = 0;
    // Into the sky: offline the selection goes.
    double up[3] = {head[0], head[1], head[2] + 10};
    click_ray(above, up);
    EXPECT_EQ(selected_player, -1);
    EXPECT_EQ(selected_joint, -1);
    EXPECT_EQ(joint_hover, 0);
}

TEST_F(Input, HoverOnTheSelectedFighterOnly)
{
    match_state.num_players = 2;
    selected_player = 0;
    const double *wrist = geom_centre(players[0].joint_geom[11]);
    double over[3] = {wrist[0], wrist[1], wrist[2] + 5};
    double under[3] = {wrist[0], wrist[1], wrist[2] - 5};
    pick_joint(0, 0, over, under);
    EXPECT_EQ(selected_joint, 11);
    EXPECT_EQ(selected_body, -1);
    EXPECT_EQ(pick_kind, PICK_JOINT);
    EXPECT_EQ(joint_hover, 1);
    // The hand itself.
    const double *hand = geom_centre(players[0].geom[12]);
    double over_hand[3] = {hand[0], hand[1], hand[2] + 5};
    double under_hand[3] = {hand[0], hand[1], hand[2] - 5};
    pick_joint(0, 0, over_hand, under_hand);
    EXPECT_EQ(pick_kind, PICK_HAND);
    EXPECT_EQ(selected_body, 12);
    // The other fighter's joint is not hovered.
    const double *other = geom_centre(players[1].joint_geom[11]);
    double over_other[3] = {other[0], other[1], other[2] + 5};
    double under_other[3] = {other[0], other[1], other[2] - 5};
    pick_joint(0, 0, over_other, under_other);
    EXPECT_EQ(selected_joint, -1);
    EXPECT_EQ(selected_body, -1);
    EXPECT_EQ(selected_player, 0);
}

// A click on a joint of the selected fighter turns it (two buttons: forward
// and back, with Shift hold and relax); on its hand it toggles the grip.
TEST_F(Input, ClickOnTheSelectedFighter)
{
    match_state.num_players = 2;
    selected_player = 0;
    selected_joint = 6;
    set_commanded_joint_state(0, 6, MOTOR_HOLD);
    const double *elbow = geom_centre(players[0].joint_geom[6]);
    double over[3] = {elbow[0], elbow[1], elbow[2] + 5};
    click_ray(over, elbow);
    EXPECT_EQ(selected_joint, 6);
    EXPECT_EQ(current_joint_state(0, 6), MOTOR_FWD);
    click_ray(over, elbow);
    EXPECT_EQ(current_joint_state(0, 6), MOTOR_BACK);
    double to[3] = {elbow[0], elbow[1], elbow[2] - 45};
    pick_joint(KMOD_LSHIFT, 1, over, to);
    EXPECT_EQ(current_joint_state(0, 6), MOTOR_HOLD);
    const double *hand = geom_centre(players[0].geom[11]);
    double over_hand[3] = {hand[0], hand[1], hand[2] + 5};
    click_ray(over_hand, hand);
    EXPECT_EQ(pick_kind, PICK_HAND);
    EXPECT_EQ(players[0].grip_req_r, GRIP_GRIP);
}

// An open hand has no size in the physics; it is picked where it is drawn,
// past the wrist sphere: hovered on the selected fighter, and clicked it
// toggles the grip as the grip key does, on the selected fighter as on
// one just picked.
TEST_F(Input, OpenHandPastTheWristIsPickedAndGrips)
{
    match_state.num_players = 2;
    double tip[3];
    past_the_wrist(0, 12, tip);
    double above[3] = {tip[0], tip[1], tip[2] + 5};
    // Hovered on the selected fighter: the hand.
    selected_player = 0;
    selected_joint = -1;
    pick_joint(0, 0, above, tip);
    EXPECT_EQ(selected_body, 12);
    EXPECT_EQ(pick_kind, PICK_HAND);
    EXPECT_EQ(selected_joint, -1);
    // Clicked with no fighter selected: it is picked and grips.
    selected_player = -1;
    click_ray(above, tip);
    EXPECT_EQ(selected_player, 0);
    EXPECT_EQ(selected_body, 12);
    EXPECT_EQ(pick_kind, PICK_HAND);
    EXPECT_EQ(players[0].grip_req_l, GRIP_GRIP);
    // Clicked again: it lets go; the other fighter's hand the same way.
    click_ray(above, tip);
    EXPECT_EQ(players[0].grip_req_l, GRIP_RELEASE);
    past_the_wrist(1, 11, tip);
    double above1[3] = {tip[0], tip[1], tip[2] + 5};
    click_ray(above1, tip);
    EXPECT_EQ(selected_player, 1);
    EXPECT_EQ(players[1].grip_req_r, GRIP_GRIP);

    // Where the key refuses, so does the click (the hand is still picked):
    // rules without grips, a cut wrist, a replay on screen.
    struct Case {
        const char *what;
        void (*set)();
        void (*undo)();
    } refusals[] = {
        {"no grips", [] { current_rules.flags |= 4; }, [] { current_rules.flags &= ~4; }},
        {"cut wrist", [] { players[1].joints[10].broken = JOINT_DISMEMBERED; },
         [] { players[1].joints[10].broken = JOINT_INTACT; }},
        {"replay", [] { replay_mode = REPLAY_CYCLE; }, [] { replay_mode = REPLAY_LIVE; }},
    };
    for (const Case &c : refusals) {
        c.set();
        click_ray(above1, tip);
        c.undo();
        EXPECT_EQ(players[1].grip_req_r, GRIP_GRIP) << c.what;
    }
    click_ray(above1, tip);
    EXPECT_EQ(players[1].grip_req_r, GRIP_RELEASE);
}

}   // namespace

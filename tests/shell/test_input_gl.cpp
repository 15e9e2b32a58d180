// A person's first turn, as SDL events pushed into the running program: the
// main menu left with Esc, a few characters typed into the say box, a joint
// of fighter 0 picked with the mouse, set forward with a key, and Space: the
// turn runs with the hinge's forward motor.
#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <cmath>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "core/motors.h"
#include "core/newgame.h"
#include "core/outward.h"
#include "core/records.h"
#include "core/rules.h"
#include "core/world.h"
#include "platform/loop.h"
#include "shell/app.h"
#include "shell/game_control.h"
#include "shell/input.h"
#include "support/test_support.h"

namespace {

void push_key(int type, int sym, int unicode, int mod)
{
    SDL_Event e = {};
    e.type = (Uint8)type;
    e.key.type = (Uint8)type;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = (SDLKey)sym;
    e.key.keysym.unicode = (Uint16)unicode;
    e.key.keysym.mod = (SDLMod)mod;
    SDL_PushEvent(&e);
}

void tap(int sym, int unicode, int mod = 0)
{
    push_key(SDL_KEYDOWN, sym, unicode, mod);
    push_key(SDL_KEYUP, sym, unicode, mod);
}

void push_button(int type, int x, int y)
{
    SDL_Event e = {};
    e.type = (Uint8)type;
    e.button.type = (Uint8)type;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = (Uint16)x;
    e.button.y = (Uint16)y;
    SDL_PushEvent(&e);
}

// Where a joint sphere is: inside a transform that its carrying body moves.
void joint_centre(int player, int joint, double out[3])
{
    dGeomID t = players[player].joint_geom[joint];
    const double *offset = dGeomGetPosition(dGeomTransformGetGeom(t));
    dVector3 p;
    dBodyGetRelPointPos(dGeomGetBody(t), offset[0], offset[1], offset[2], p);
    for (int k = 0; k < 3; k++)
        out[k] = p[k];
}

// The nearest joint or body of both fighters under a window pixel, asked of
// ODE geom by geom: 1 when it is joint `joint` of fighter 0.
int pixel_shows_joint(int x, int y, int joint)
{
    double from[3], to[3];
    unproject_mouse(x, y, from, to);
    double d[3] = {to[0] - from[0], to[1] - from[1], to[2] - from[2]};
    double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    dGeomID ray = dCreateRay(nullptr, 100);
    dGeomRaySet(ray, from[0], from[1], from[2], d[0] / n, d[1] / n, d[2] / n);
    double best = 1e9;
    int best_player = -1, best_joint = -1;
    for (int p = 0; p < 2; p++) {
        for (int i = 0; i < NUM_JOINTS + NUM_BODIES; i++) {
            dGeomID g = i < NUM_JOINTS ? players[p].joint_geom[i] : players[p].geom[i - NUM_JOINTS];
            dContactGeom c;
            if (g && dCollide(ray, g, 1, &c, sizeof c) == 1 && c.depth < best) {
                best = c.depth;
                best_player = p;
                best_joint = i < NUM_JOINTS ? i : -1;
            }
        }
    }
    dGeomDestroy(ray);
    return best_player == 0 && best_joint == joint;
}

struct TurnRun {
    int frame;
    int menu_at_start;
    int menu_after_esc;
    Uint16 typed[8];
    int joint;               // the joint aimed at, -1 when none could be seen
    int picked_player, picked_joint;
    int state_after_key;
    int edit_phase_before_space;
    int turn_running;
    double hinge_velocity;   // during the turn
    double motor_force;
    int quit_pushed;
} run;

void script_frame(MatchState *, GameRules *, MatchResult *)
{
    int f = ++run.frame;
    if (f == 3) {
        run.menu_at_start = menu_state;
        tap(SDLK_ESCAPE, 27);
    } else if (f == 5) {
        run.menu_after_esc = menu_state;
        // The say box: printable characters only.
        set_menu_state(16);
        text_lines_activate(get_chat_input());
        tap('h', 'h');
        tap('a', 1, KMOD_LCTRL);   // Ctrl+a gives a control character
        tap(SDLK_DELETE, 127);
        tap('x', 0);
        tap('e', 233);
        tap('i', 'i');
    } else if (f == 7) {
        TextLines *chat = get_chat_input();
        for (int k = 0; k < 8 && chat->rows[0][k]; k++)
            run.typed[k] = chat->rows[0][k];
        text_lines_clear(chat);
        text_lines_deactivate(chat);
        set_menu_state(0);
    } else if (f == 8) {
        // A joint of fighter 0 that the camera sees uncovered.
        run.joint = -1;
        for (int j = 0; j < NUM_JOINTS && run.joint < 0; j++) {
            double c[3], s[3];
            joint_centre(0, j, c);
            project_to_screen(c[0], c[1], c[2], s);
            int x = (int)std::lround(s[0]), y = (int)std::lround(s[1]);
            if (x < 0 || y < 0 || x >= 800 || y >= 600 || !pixel_shows_joint(x, y, j))
                continue;
            run.joint = j;
            push_button(SDL_MOUSEBUTTONDOWN, x, y);
            push_button(SDL_MOUSEBUTTONUP, x, y);
        }
    } else if (f == 10) {
        run.picked_player = selected_player;
        run.picked_joint = selected_joint;
        // z turns forward and back; the click may have set forward already.
        int presses = current_joint_state(0, run.joint) == MOTOR_FWD ? 2 : 1;
        for (int i = 0; i < presses; i++)
            tap('z', 'z');
    } else if (f == 12) {
        run.state_after_key = run.joint >= 0 ? current_joint_state(0, run.joint) : -1;
        run.edit_phase_before_space = !is_simulating() && !match_state.game_over;
        tap(SDLK_SPACE, ' ');
    } else if (f == 16) {
        run.turn_running = is_simulating();
        if (run.joint >= 0) {
            dJointID h = players[0].hinge[run.joint];
            run.hinge_velocity = dJointGetHingeParam(h, dParamVel);
            run.motor_force = dJointGetHingeParam(h, dParamFMax);
        }
    } else if (f == 18 && !run.quit_pushed) {
        run.quit_pushed = 1;
        SDL_Event quit = {};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
    }
}

TEST(InputInTheProgram, MouseKeyAndSpacePlayATurn)
{
    std::string dir = test_tmp_path("input_gl");
    // The program's data tree (fonts, textures) beside it, as in a run folder.
    std::string cmd = "rm -rf '" + dir + "' && mkdir -p '" + dir + "' && ln -s '" +
                      std::string(source_dir()) + "/data' '" + dir + "/data'";
    ASSERT_EQ(system(cmd.c_str()), 0);
    ASSERT_EQ(chdir(dir.c_str()), 0);

    run = TurnRun();
    // The settings store gives the offline rules their values; without it
    // the defaults.
    fill_default_rules(0, &setup_rules);
    game_links = GameControlLinks();
    game_links.start_game_with_rules = start_game_with_rules;
    game_links.new_game_reset = new_game_reset;
    game_links.set_all_joint_states = set_all_joint_states;
    // Once the program has started, this test takes the frame's drawing.
    game_links.set_sound_on = [] { core_outward.draw_frame_layers = script_frame; };

    char program[] = "zylomach";
    char *argv[] = {program, nullptr};
    int result = app_run(1, argv);
    game_links = GameControlLinks();
    core_outward.draw_frame_layers = nullptr;
    ASSERT_EQ(chdir(source_dir()), 0);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(run.menu_at_start, 13);
    EXPECT_EQ(run.menu_after_esc, 0);
    const Uint16 typed[] = {'h', 233, 'i', 0};
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(run.typed[k], typed[k]) << k;
    ASSERT_GE(run.joint, 0) << "no joint of fighter 0 in view";
    EXPECT_EQ(run.picked_player, 0);
    EXPECT_EQ(run.picked_joint, run.joint);
    EXPECT_EQ(run.state_after_key, MOTOR_FWD);
    EXPECT_EQ(run.edit_phase_before_space, 1);
    EXPECT_EQ(run.turn_running, 1);
    // Forward: the hinge turns at minus its velocity with its full strength.
    EXPECT_LT(run.hinge_velocity, 0.0);
    EXPECT_GT(run.motor_force, 0.0);
}

}   // namespace

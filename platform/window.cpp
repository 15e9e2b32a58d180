// The window: video mode and its re-creation, GL state, cursors, mouse grab
// and the mouse ray.
#include "platform/loop.h"

#include <GL/glew.h>
#include <GL/glu.h>
#include <SDL/SDL.h>
#include <cstdio>

#include "core/outward.h"
#include "core/records.h"
#include "core/text.h"
#include "platform/camera.h"

SDL_Surface *video_surface;

// Sets the GL attributes and the mode once, with or without multisampling.
static SDL_Surface *open_mode(int width, int height, int fullscreen, int multisample)
{
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    // The shadow passes draw into the stencil buffer.
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, multisample ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, multisample ? 4 : 0);
    Uint32 flags = fullscreen ? (SDL_OPENGL | SDL_FULLSCREEN) : (SDL_OPENGL | SDL_HWSURFACE);
    return SDL_SetVideoMode(width, height, 0, flags);
}

int try_video_mode(int width, int height, int fullscreen)
{
    int multisample = *platform_options.antialiasing != 0;
    SDL_Surface *surface = open_mode(width, height, fullscreen, multisample);
    if (!surface) {
        fprintf(stderr, "Unable to create OpenGL FSAA screen: %s\n", SDL_GetError());
        fprintf(stderr, "Trying without FSAA instead\n");
        surface = open_mode(width, height, fullscreen, 0);
        if (!surface) {
            fprintf(stderr, "Unable to create OpenGL screen: %s\n", SDL_GetError());
            return -1;
        }
    }
    video_surface = surface;
    *platform_options.width = surface->w;
    *platform_options.height = surface->h;
    view_width = surface->w;
    view_height = surface->h;
    GLenum glew = glewInit();
    if (glew != GLEW_OK)
        fprintf(stderr, "glewInit failed %s\n", (const char *)glewGetErrorString(glew));
    if (platform_outward.init_fonts && platform_outward.init_fonts() != 0)
        fprintf(stderr, "SDL_ttf Init failed %s\n", SDL_GetError());
    return 0;
}

void set_video_mode(int width, int height, int fullscreen)
{
    if (try_video_mode(width, height, fullscreen) != 0) {
        SDL_Quit();
        exit_program(1);
    }
}

void init_gl_state()
{
    glViewport(0, 0, *platform_options.width, *platform_options.height);
    glClearAccum(1.0f, 1.0f, 1.0f, 0.0f);
    // A new context starts black; the remembered clear colour is white.
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    if (platform_outward.set_perspective_fov)
        platform_outward.set_perspective_fov(50.0f);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const GLfloat ambient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, white);
}

// The pointer's place in the window before a mode change, put back after
// it: a new mode puts the pointer at the screen's centre, which on a menu
// page is a row that the next Enter or click would choose.
static void restore_pointer(int x, int y)
{
    int width = *platform_options.width, height = *platform_options.height;
    if (x >= width)
        x = width - 1;
    if (y >= height)
        y = height - 1;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    SDL_WarpMouse((Uint16)x, (Uint16)y);
}

void reinit_video()
{
    // Where the pointer was, when it was over the window: in full screen
    // the window is the whole screen, so it is put back there as well.
    int pointer_x = 0, pointer_y = 0;
    SDL_GetMouseState(&pointer_x, &pointer_y);
    int pointer_inside = (SDL_GetAppState() & SDL_APPMOUSEFOCUS) != 0;
    int old_width = video_surface ? video_surface->w : *platform_options.width;
    int old_height = video_surface ? video_surface->h : *platform_options.height;
    int old_fullscreen =
        video_surface ? (video_surface->flags & SDL_FULLSCREEN) != 0 : fullscreen_active;
    int width = *platform_options.width;
    int height = *platform_options.height;
    if (try_video_mode(width, height, fullscreen_active) != 0) {
        char line[160];
        snprintf(line, sizeof line, "Unable to set video mode %ix%i%s, keeping %ix%i",
                 width, height, fullscreen_active ? " full screen" : "", old_width,
                 old_height);
        echo_message(line, MSG_INGAME);
        fullscreen_active = old_fullscreen;
        *platform_options.fullscreen = old_fullscreen;
        if (try_video_mode(old_width, old_height, old_fullscreen) != 0) {
            // Not even the mode we had: keep what the player set, then stop.
            if (platform_outward.save_all_at_exit)
                platform_outward.save_all_at_exit();
            SDL_Quit();
            exit_program(1);
        }
    }
    if (pointer_inside || fullscreen_active)
        restore_pointer(pointer_x, pointer_y);
    init_gl_state();
    if (platform_outward.shutdown_renderer)
        platform_outward.shutdown_renderer();
    if (platform_outward.load_render_resources)
        platform_outward.load_render_resources();
    if (platform_outward.reload_all_player_looks)
        platform_outward.reload_all_player_looks();
}

void set_resolution(int width, int height)
{
    *platform_options.width = width;
    *platform_options.height = height;
    reinit_video();
}

void toggle_fullscreen()
{
    *platform_options.fullscreen = !*platform_options.fullscreen;
    fullscreen_active = !fullscreen_active;
    reinit_video();
}

int get_fullscreen() { return fullscreen_active; }

int has_input_focus() { return (SDL_GetAppState() & SDL_APPINPUTFOCUS) != 0; }

void quit_game() { running = 0; }
void request_quit() { running = 0; }

// ---- mouse -----------------------------------------------------------------------

void grab_mouse()
{
    if (SDL_WM_GrabInput(SDL_GRAB_ON) != SDL_GRAB_ON)
        fprintf(stderr, "Failed to set GrabInput to SDL_GRAB_ON\n");
    SDL_ShowCursor(SDL_DISABLE);
    drag_first_motion = 1;
    if (platform_outward.set_drawn_cursor_visible)
        platform_outward.set_drawn_cursor_visible(0);
}

void release_mouse()
{
    if (SDL_WM_GrabInput(SDL_GRAB_OFF) != SDL_GRAB_OFF)
        fprintf(stderr, "Failed to unset GrabInput\n");
    int custom = platform_outward.custom_cursor_in_use && platform_outward.custom_cursor_in_use();
    if (!custom)
        SDL_ShowCursor(SDL_ENABLE);
    if (platform_outward.set_drawn_cursor_visible)
        platform_outward.set_drawn_cursor_visible(1);
    double pos[3];
    if (platform_outward.selected_joint_screen_pos &&
        platform_outward.selected_joint_screen_pos(pos) == 0) {
        int height = *platform_options.height;
        SDL_WarpMouse((Uint16)(int)pos[0], (Uint16)(int)(height - pos[1]));
    } else {
        SDL_WarpMouse((Uint16)drag_origin_x, (Uint16)drag_origin_y);
    }
}

void unproject_mouse(int x, int y, double near_point[3], double far_point[3])
{
    GLint viewport[4];
    GLdouble modelview[16], projection[16];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    double wy = viewport[3] - 1 - y;
    gluUnProject(x, wy, 0.0, modelview, projection, viewport, &near_point[0], &near_point[1],
                 &near_point[2]);
    gluUnProject(x, wy, 1.0, modelview, projection, viewport, &far_point[0], &far_point[1],
                 &far_point[2]);
}

int project_to_screen(double x, double y, double z, double out[3])
{
    GLint viewport[4];
    GLdouble modelview[16], projection[16];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    int result = gluProject(x, y, z, modelview, projection, viewport, &out[0], &out[1], &out[2]);
    out[1] = *platform_options.height - out[1];
    return result;
}

// ---- cursors ----------------------------------------------------------------------

// 'X' black, '.' white, anything else clear; rows not listed are blank.
const char *const arrow_cursor_image[33] = {
    "X",
    "XX",
    "XXX",
    "XXXX",
    "XX.XX",
    "XX..XX",
    "XX...XX",
    "XX....XX",
    "XX.....XX",
    "XX......XX",
    "XX.......XX",
    "XX........XX",
    "XX........XXX",
    "XX......XXX",
    "XX....XXX",
    "XX..XXX",
    "XXXXX",
    "XXX",
    "X",
    "", "", "", "", "", "", "", "", "", "", "", "", "",   // rows 19..31
    "0,0",
};

const char *const pick_cursor_image[33] = {
    ".",
    "..",
    ".X.",
    ".XX.",
    ".XXX.",
    ".XXXX.",
    ".XXXXX.",
    ".XXXXXX.",
    ".XXXXXXX.",
    ".XXXXXXXX.",
    ".XXXXXXXXX.",
    ".XXXXXXXXXX.",
    ".XXXXXXXXXXX.",
    ".XXXXXXXXX.",
    ".XXXXXXX.",
    ".XXXXX.",
    ".XXX.",
    ".X.",
    ".",
    "", "", "", "", "", "", "", "", "", "", "", "", "",   // rows 19..31
    "0,0",
};

int build_cursor_bits(const char *const image[33], uint8_t data[128], uint8_t mask[128],
                      int *hot_x, int *hot_y)
{
    for (int i = 0; i < 128; i++)
        data[i] = mask[i] = 0;
    for (int row = 0; row < 32; row++) {
        const char *line = image[row];
        if (!line)
            continue;
        for (int col = 0; col < 32 && line[col]; col++) {
            int byte = row * 4 + col / 8;
            uint8_t bit = (uint8_t)(0x80 >> (col % 8));
            if (line[col] == 'X') {
                data[byte] |= bit;
                mask[byte] |= bit;
            } else if (line[col] == '.') {
                mask[byte] |= bit;
            }
        }
    }
    *hot_x = *hot_y = 0;
    if (!image[32] || sscanf(image[32], "%d,%d", hot_x, hot_y) != 2)
        return 1;
    return 0;
}

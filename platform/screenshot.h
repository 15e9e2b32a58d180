// Saving the frame buffer as an image file (24-bit BMP through SDL, raw
// "P6" PPM written directly) and the F8 screenshot with its scene file.
#pragma once

#include <cstdint>

struct SDL_Surface;

enum { SCREENSHOT_BMP = 0, SCREENSHOT_PPM = 1 };

// The scene writer beside every screenshot (0 written); empty: no scene.
struct ScreenshotOutward {
    int (*write_scene)(const char *path);
};
extern ScreenshotOutward screenshot_outward;

// The frame buffer, the size of `surface` (null: the video surface), as a
// BMP. 0 saved, -1 nothing written.
int save_bmp(const char *path, SDL_Surface *surface);
// The frame buffer, the size of the video surface, as a PPM. 0 saved, 1 failed.
int save_ppm(const char *path);
// The files themselves from tight RGB rows, bottom row first (as GL reads
// them), w x h. Each goes to a temporary file beside path that is renamed
// over it when whole. BMP: 0 or -1; PPM: 0 or 1.
int write_bmp_pixels(const char *path, const unsigned char *pixels, int w, int h);
int write_ppm_pixels(const char *path, const unsigned char *pixels, int w, int h);
// Type 0 BMP, 1 PPM; any other type -1 and nothing written.
int save_screenshot_as(const char *path, int type);

// "%02i-%02i-%02i-%02i": day of the month, hour, minute, second (local time).
void screenshot_stamp(char *out, int size);
// The first of "<folder>/<base>-<stamp>.<ext>", then "...-<stamp>-2.<ext>" up
// to "-99", that names no existing file. 0 found, 1 none free or too long.
int free_screenshot_path(char *out, int size, const char *folder, const char *base,
                         const char *stamp, const char *ext);
// F8: "screenshots/screenshot-<stamp>.bmp" and "raytrace/screenshot-<stamp>.pov"
// (folders made when missing, existing files kept), then one message.
void take_screenshot();

// ---- render option switches ------------------------------------------------------
// The option values the switches flip; start-up points them at the shell's
// option rows and the renderer's `shaders_active`. An empty one is skipped.
struct RenderOptionRefs {
    int32_t *fluid;
    int32_t *reflection;
    int32_t *softshadow;
    int32_t *ambientocclusion;
    int32_t *bumpmapping;
    int32_t *noreload;
    int32_t *transparency;
    int32_t *frameskip;
    int32_t *shaders;
    int *shaders_active;
    int32_t *motionblur;
    // The renderer's one on/off switch of the shader path (0 when the wanted
    // state was reached); toggle_shaders goes through it.
    int (*set_shaders_enabled)(int on);
};
extern RenderOptionRefs render_option_refs;

// Each flips its option between 0 and 1 (any non-zero value counts as 1).
void toggle_fluid();
void toggle_reflection();
void toggle_softshadow();
void toggle_ambientocclusion();
void toggle_bumpmapping();
void toggle_noreload();
void toggle_transparency();
void toggle_frameskip();
// Asks the renderer's switch for the other state of the "shaders" option;
// without a switch only the option flips (nothing can draw with shaders).
void toggle_shaders();
int get_shaders_active();

#include "platform/screenshot.h"

#include <GL/glew.h>
#include <SDL/SDL.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/outward.h"
#include "core/safe_file.h"
#include "core/text.h"

ScreenshotOutward screenshot_outward;

// Reads the whole w x h frame buffer as tight GL_RGB rows (bottom row first).
static int read_frame(unsigned char *pixels, int w, int h)
{
    GLint old_alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &old_alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_PACK_ALIGNMENT, old_alignment);
    return 0;
}

static SDL_Surface *size_source(SDL_Surface *surface)
{
    return surface ? surface : SDL_GetVideoSurface();
}

int write_bmp_pixels(const char *path, const unsigned char *pixels, int w, int h)
{
    if (!path || !pixels || w <= 0 || h <= 0)
        return -1;
    SDL_Surface *image = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0xff, 0xff00, 0xff0000, 0);
    if (!image) {
        fprintf(stderr, "save_bmp: %s\n", SDL_GetError());
        return -1;
    }
    const size_t row = (size_t)w * 3;
    if (SDL_MUSTLOCK(image))
        SDL_LockSurface(image);
    for (int y = 0; y < h; y++)
        memcpy((unsigned char *)image->pixels + (size_t)y * image->pitch,
               pixels + (size_t)(h - 1 - y) * row, row);
    if (SDL_MUSTLOCK(image))
        SDL_UnlockSurface(image);
    // The image goes to a file beside the target and is renamed over it
    // when whole, so a kill never leaves half a picture under its name.
    SafeFile file;
    if (safe_open(&file, path) != 0) {
        fprintf(stderr, "cannot save %s: %s\n", path, strerror(errno));
        SDL_FreeSurface(image);
        return -1;
    }
    SDL_RWops *out = SDL_RWFromFP(file.f, 0);
    int saved = out && SDL_SaveBMP_RW(image, out, 0) == 0;
    if (!saved)
        fprintf(stderr, "cannot save %s: %s\n", path, SDL_GetError());
    if (out)
        SDL_RWclose(out);
    SDL_FreeSurface(image);
    if (!saved) {
        safe_abandon(&file);
        return -1;
    }
    return safe_commit(&file) == 0 ? 0 : -1;
}

int save_bmp(const char *path, SDL_Surface *surface)
{
    SDL_Surface *source = size_source(surface);
    if (!path || !source || source->w <= 0 || source->h <= 0) {
        fprintf(stderr, "save_bmp: no window to save\n");
        return -1;
    }
    const int w = source->w, h = source->h;
    unsigned char *pixels = (unsigned char *)malloc((size_t)w * 3 * (size_t)h);
    if (!pixels) {
        fprintf(stderr, "save_bmp: out of memory\n");
        return -1;
    }
    read_frame(pixels, w, h);
    int result = write_bmp_pixels(path, pixels, w, h);
    free(pixels);
    return result;
}

int write_ppm_pixels(const char *path, const unsigned char *pixels, int w, int h)
{
    if (!path || !pixels || w <= 0 || h <= 0)
        return 1;
    SafeFile file;
    if (safe_open(&file, path) != 0) {
        fprintf(stderr, "cannot open %s for writing\n", path);
        return 1;
    }
    const size_t row = (size_t)w * 3;
    fprintf(file.f, "P6\n%d %d\n255\n", w, h);
    for (int y = h - 1; y >= 0; y--)
        if (fwrite(pixels + (size_t)y * row, 1, row, file.f) != row) {
            fprintf(stderr, "cannot write %s\n", path);
            safe_abandon(&file);
            return 1;
        }
    return safe_commit(&file);
}

int save_ppm(const char *path)
{
    SDL_Surface *source = size_source(nullptr);
    if (!path || !source || source->w <= 0 || source->h <= 0) {
        fprintf(stderr, "save_ppm: no window to save\n");
        return 1;
    }
    const int w = source->w, h = source->h;
    unsigned char *pixels = (unsigned char *)malloc((size_t)w * 3 * (size_t)h);
    if (!pixels) {
        fprintf(stderr, "save_ppm: out of memory\n");
        return 1;
    }
    read_frame(pixels, w, h);
    int result = write_ppm_pixels(path, pixels, w, h);
    free(pixels);
    return result;
}

int save_screenshot_as(const char *path, int type)
{
    if (type == SCREENSHOT_BMP)
        return save_bmp(path, nullptr);
    if (type == SCREENSHOT_PPM)
        return save_ppm(path);
    return -1;
}

void screenshot_stamp(char *out, int size)
{
    time_t now = time(nullptr);
    struct tm local;
    memset(&local, 0, sizeof local);
    localtime_r(&now, &local);
    snprintf(out, size, "%02i-%02i-%02i-%02i", local.tm_mday, local.tm_hour, local.tm_min,
             local.tm_sec);
}

int free_screenshot_path(char *out, int size, const char *folder, const char *base,
                         const char *stamp, const char *ext)
{
    for (int n = 1; n <= 99; n++) {
        int len = n == 1 ? snprintf(out, size, "%s/%s-%s.%s", folder, base, stamp, ext)
                         : snprintf(out, size, "%s/%s-%s-%i.%s", folder, base, stamp, n, ext);
        if (len < 0 || len >= size) {
            if (size > 0)
                out[0] = 0;
            return 1;
        }
        if (!file_exists(out))
            return 0;
    }
    out[0] = 0;
    return 1;
}

void take_screenshot()
{
    char stamp[32];
    screenshot_stamp(stamp, sizeof stamp);
    char image[128], scene[128], line[320];
    make_path_dirs("screenshots/x");
    make_path_dirs("raytrace/x");
    int image_ok = free_screenshot_path(image, sizeof image, "screenshots", "screenshot", stamp,
                                        "bmp") == 0 &&
                   save_bmp(image, nullptr) == 0;
    int scene_ok = free_screenshot_path(scene, sizeof scene, "raytrace", "screenshot", stamp,
                                        "pov") == 0 &&
                   screenshot_outward.write_scene && screenshot_outward.write_scene(scene) == 0;
    if (image_ok && scene_ok)
        snprintf(line, sizeof line, "Wrote %s %s", image, scene);
    else if (image_ok)
        snprintf(line, sizeof line, "Wrote %s", image);
    else if (scene_ok)
        snprintf(line, sizeof line, "Wrote %s (screenshot failed)", scene);
    else
        snprintf(line, sizeof line, "Unable to save screenshot");
    echo_message(line, MSG_INGAME);
}

// ---- render option switches ------------------------------------------------------

RenderOptionRefs render_option_refs;

template <typename T> static void flip(T *value)
{
    if (value)
        *value = *value ? 0 : 1;
}

void toggle_fluid() { flip(render_option_refs.fluid); }
void toggle_reflection() { flip(render_option_refs.reflection); }
void toggle_softshadow() { flip(render_option_refs.softshadow); }
void toggle_ambientocclusion() { flip(render_option_refs.ambientocclusion); }
void toggle_bumpmapping() { flip(render_option_refs.bumpmapping); }
void toggle_noreload() { flip(render_option_refs.noreload); }
void toggle_transparency() { flip(render_option_refs.transparency); }
void toggle_frameskip() { flip(render_option_refs.frameskip); }

void toggle_shaders()
{
    int on = render_option_refs.shaders && *render_option_refs.shaders ? 0 : 1;
    if (render_option_refs.set_shaders_enabled) {
        render_option_refs.set_shaders_enabled(on);
        return;
    }
    if (render_option_refs.shaders)
        *render_option_refs.shaders = on;
    if (render_option_refs.shaders_active)
        *render_option_refs.shaders_active = 0;
}

int get_shaders_active()
{
    return render_option_refs.shaders_active ? *render_option_refs.shaders_active : 0;
}

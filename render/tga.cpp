#include "render/tga.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/text.h"
#include "core/safe_file.h"

static const uint8_t kTgaPrefix[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};

TgaResult parse_tga_header(const uint8_t header[TGA_HEADER_SIZE], int max_size, TgaHeader *out)
{
    if (memcmp(header, kTgaPrefix, sizeof kTgaPrefix) != 0)
        return TGA_BAD_HEADER;
    int width = header[12] | (header[13] << 8);
    int height = header[14] | (header[15] << 8);
    int bpp = header[16];
    if (out) {
        out->width = width;
        out->height = height;
        out->bpp = bpp;
        out->descriptor = header[17];
    }
    if (width <= 0 || (width & (width - 1)) != 0 || height != width)
        return TGA_BAD_SIZE;
    if (bpp != 24 && bpp != 32)
        return TGA_BAD_DEPTH;
    if (width > max_size)
        return TGA_TOO_LARGE;
    return TGA_OK;
}

void tga_file_name(const char *path, char *out, int out_size)
{
    n_strncpyz(out, path ? path : "", out_size);
    // Lower case A-Z only, whatever the locale.
    for (char *p = out; *p; p++)
        if (*p >= 'A' && *p <= 'Z')
            *p = (char)(*p - 'A' + 'a');
    if (out[0] == '[') {
        const char *close = strchr(out, ']');
        if (close)
            memmove(out, close + 1, strlen(close + 1) + 1);
    }
}

// The folder part of the path as given, the file's own name as
// tga_file_name makes it; empty when it does not fit.
static void file_name_in_given_folder(const char *path, char *out, int out_size)
{
    const char *slash = strrchr(path, '/');
    size_t folder = slash ? (size_t)(slash - path) + 1 : 0;
    if (folder >= (size_t)out_size) {
        out[0] = '\0';
        return;
    }
    memcpy(out, path, folder);
    tga_file_name(path + folder, out + folder, out_size - (int)folder);
}

// The whole path lower-cased first. A folder with capitals in its name (a
// scratch or install folder, a script's path) is not the program's to
// rename: then its files are looked for under their lower-cased names in
// it, and last the path is opened as it was given.
static FILE *open_tga(const char *path)
{
    if (!path || strlen(path) >= TGA_PATH_MAX) {
        char name[TGA_PATH_MAX];
        tga_file_name(path, name, sizeof name);
        return open_read_file(name);
    }
    char names[3][TGA_PATH_MAX];
    tga_file_name(path, names[0], TGA_PATH_MAX);
    file_name_in_given_folder(path, names[1], TGA_PATH_MAX);
    n_strncpyz(names[2], path, TGA_PATH_MAX);
    for (int i = 0; i < 3; i++) {
        if (!names[i][0] || (i > 0 && strcmp(names[i], names[i - 1]) == 0))
            continue;
        if (FILE *f = open_read_file(names[i]))
            return f;
    }
    return nullptr;
}

TgaResult read_tga_file(const char *path, int max_size, TgaHeader *out, uint8_t **pixels)
{
    *pixels = nullptr;
    FILE *f = open_tga(path);
    if (!f)
        return TGA_NO_FILE;
    uint8_t header[TGA_HEADER_SIZE];
    if (fread(header, 1, sizeof header, f) != sizeof header) {
        fclose(f);
        return TGA_TRUNCATED;
    }
    TgaHeader h = {};
    TgaResult r = parse_tga_header(header, max_size, &h);
    if (out)
        *out = h;
    if (r != TGA_OK) {
        fclose(f);
        return r;
    }
    uint64_t bytes_per_pixel = (uint64_t)h.bpp / 8;
    uint64_t size = (uint64_t)h.width * (uint64_t)h.height * bytes_per_pixel;
    if (size > (uint64_t)SIZE_MAX / 2) {
        fclose(f);
        return TGA_TOO_LARGE;
    }
    uint8_t *buf = (uint8_t *)malloc((size_t)size);
    if (!buf) {
        fclose(f);
        return TGA_NO_MEMORY;
    }
    if (fread(buf, 1, (size_t)size, f) != (size_t)size) {
        free(buf);
        fclose(f);
        return TGA_TRUNCATED;
    }
    fclose(f);
    for (uint64_t i = 0; i < size; i += bytes_per_pixel) {
        uint8_t t = buf[i];
        buf[i] = buf[i + 2];
        buf[i + 2] = t;
    }
    tga_to_bottom_left(buf, h.width, h.height, (int)bytes_per_pixel, h.descriptor);
    *pixels = buf;
    return TGA_OK;
}

static void swap_bytes(uint8_t *a, uint8_t *b, size_t n)
{
    for (size_t k = 0; k < n; k++) {
        uint8_t t = a[k];
        a[k] = b[k];
        b[k] = t;
    }
}

void tga_to_bottom_left(uint8_t *pixels, int width, int height, int bytes_per_pixel,
                        int descriptor)
{
    if (!pixels || width <= 0 || height <= 0 || bytes_per_pixel <= 0)
        return;
    size_t row = (size_t)width * (size_t)bytes_per_pixel;
    if (descriptor & TGA_TOP_FIRST)
        for (int top = 0, bottom = height - 1; top < bottom; top++, bottom--)
            swap_bytes(pixels + (size_t)top * row, pixels + (size_t)bottom * row, row);
    if (descriptor & TGA_RIGHT_FIRST)
        for (int y = 0; y < height; y++) {
            uint8_t *r = pixels + (size_t)y * row;
            for (int left = 0, right = width - 1; left < right; left++, right--)
                swap_bytes(r + (size_t)left * bytes_per_pixel, r + (size_t)right * bytes_per_pixel,
                           (size_t)bytes_per_pixel);
        }
}

const char *tga_result_text(TgaResult r)
{
    switch (r) {
    case TGA_OK: return "ok";
    case TGA_NO_FILE: return "no such file";
    case TGA_BAD_HEADER: return "not an uncompressed true-colour TGA";
    case TGA_BAD_SIZE: return "not square or not a power of two";
    case TGA_BAD_DEPTH: return "not 24 or 32 bits per pixel";
    case TGA_TOO_LARGE: return "larger than the GL texture limit";
    case TGA_NO_MEMORY: return "out of memory";
    case TGA_TRUNCATED: return "truncated";
    }
    return "unknown";
}

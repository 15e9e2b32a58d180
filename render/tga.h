// Reading uncompressed true-colour TGA images into memory. No GL here: the
// upload lives with the textures.
#pragma once

#include <cstdint>

enum {
    TGA_HEADER_SIZE = 18,
    TGA_PATH_MAX = 256   // path buffers: 255 characters and a terminator
};

enum TgaResult {
    TGA_OK = 0,
    TGA_NO_FILE,        // missing or unreadable
    TGA_BAD_HEADER,     // not uncompressed true colour (RLE, colour-mapped, grey...)
    TGA_BAD_SIZE,       // not square, not a power of two, or zero
    TGA_BAD_DEPTH,      // not 24 or 32 bits
    TGA_TOO_LARGE,      // wider than the GL limit
    TGA_NO_MEMORY,
    TGA_TRUNCATED       // fewer pixel bytes than the header promises
};

// Image descriptor bits: the first stored pixel is on the right (bit 4),
// the first stored row is the top one (bit 5).
enum { TGA_RIGHT_FIRST = 0x10, TGA_TOP_FIRST = 0x20 };

// The size fields of a header and its image descriptor.
struct TgaHeader {
    int width;
    int height;
    int bpp;
    int descriptor;
};

// Checks an 18-byte header against the accepted kind, with max_size the
// largest width and height allowed.
TgaResult parse_tga_header(const uint8_t header[TGA_HEADER_SIZE], int max_size, TgaHeader *out);

// Reads a whole file: the path is lower-cased (A-Z) and a leading "[...]"
// tag removed before it is opened; when no such file exists (a folder with
// capitals in its name), the folder is kept as given with the file's name
// so made, and last the path is opened as given. On success *pixels is a malloc'd buffer
// of width x height x bpp/8 bytes in RGB(A) order, the bottom row first and
// each row from the left, whichever corner the file starts in.
TgaResult read_tga_file(const char *path, int max_size, TgaHeader *out, uint8_t **pixels);

// Puts rows stored from the top, or pixels stored from the right, into the
// bottom-first, left-first order GL uploads.
void tga_to_bottom_left(uint8_t *pixels, int width, int height, int bytes_per_pixel,
                        int descriptor);

const char *tga_result_text(TgaResult r);

// The name as opened: lower-cased, without a leading "[...]" tag, bounded to
// out_size bytes.
void tga_file_name(const char *path, char *out, int out_size);

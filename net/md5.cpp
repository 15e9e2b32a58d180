#include "net/md5.h"

#include <cstring>

namespace {

const uint32_t sine_table[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
    0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
    0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
    0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
    0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
    0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
    0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
    0xeb86d391};

const int shifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                        5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                        4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                        6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

uint32_t rotate_left(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

void transform(uint32_t state[4], const unsigned char block[64])
{
    uint32_t m[16];
    for (int i = 0; i < 16; i++)
        m[i] = (uint32_t)block[4 * i] | (uint32_t)block[4 * i + 1] << 8 |
               (uint32_t)block[4 * i + 2] << 16 | (uint32_t)block[4 * i + 3] << 24;
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; i++) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        uint32_t next = b + rotate_left(a + f + sine_table[i] + m[g], shifts[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

}  // namespace

void md5_init(Md5Context *ctx)
{
    ctx->state[0] = 0x67452301;
    ctx->state[1] = 0xefcdab89;
    ctx->state[2] = 0x98badcfe;
    ctx->state[3] = 0x10325476;
    ctx->length = 0;
}

void md5_update(Md5Context *ctx, const void *data, size_t size)
{
    const unsigned char *bytes = (const unsigned char *)data;
    size_t have = (size_t)(ctx->length % 64);
    ctx->length += size;
    while (size > 0) {
        size_t take = 64 - have < size ? 64 - have : size;
        memcpy(ctx->block + have, bytes, take);
        have += take;
        bytes += take;
        size -= take;
        if (have == 64) {
            transform(ctx->state, ctx->block);
            have = 0;
        }
    }
}

void md5_final(Md5Context *ctx, unsigned char digest[MD5_DIGEST_BYTES])
{
    uint64_t bits = ctx->length * 8;
    unsigned char pad[72] = {0x80};
    size_t have = (size_t)(ctx->length % 64);
    size_t pad_bytes = have < 56 ? 56 - have : 120 - have;
    md5_update(ctx, pad, pad_bytes);
    unsigned char length_bytes[8];
    for (int i = 0; i < 8; i++)
        length_bytes[i] = (unsigned char)(bits >> (8 * i));
    md5_update(ctx, length_bytes, 8);
    for (int i = 0; i < 4; i++)
        for (int k = 0; k < 4; k++)
            digest[4 * i + k] = (unsigned char)(ctx->state[i] >> (8 * k));
}

void md5_hex(const unsigned char digest[MD5_DIGEST_BYTES], char *out)
{
    static const char digits[] = "0123456789abcdef";
    for (int i = 0; i < MD5_DIGEST_BYTES; i++) {
        out[2 * i] = digits[digest[i] >> 4];
        out[2 * i + 1] = digits[digest[i] & 15];
    }
    out[2 * MD5_DIGEST_BYTES] = '\0';
}

void md5_hex_string(const char *text, char *out, int out_size)
{
    if (!out || out_size < MD5_HEX_BYTES)
        return;
    if (!text)
        text = "";
    Md5Context ctx;
    md5_init(&ctx);
    md5_update(&ctx, text, strlen(text));
    unsigned char digest[MD5_DIGEST_BYTES];
    md5_final(&ctx, digest);
    md5_hex(digest, out);
}

int md5_file(FILE *file, unsigned char digest[MD5_DIGEST_BYTES])
{
    if (!file)
        return -1;
    Md5Context ctx;
    md5_init(&ctx);
    unsigned char block[1024];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0)
        md5_update(&ctx, block, got);
    md5_final(&ctx, digest);
    return ferror(file) ? -1 : 0;
}

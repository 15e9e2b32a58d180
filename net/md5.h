// The MD5 message digest (RFC 1321): a context with init, update and final
// steps, and helpers for texts, open files and hexadecimal output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum { MD5_DIGEST_BYTES = 16, MD5_HEX_BYTES = 33 };

struct Md5Context {
    uint32_t state[4];
    uint64_t length;           // bytes hashed so far
    unsigned char block[64];   // bytes waiting for a full block
};

void md5_init(Md5Context *ctx);
void md5_update(Md5Context *ctx, const void *data, size_t size);
void md5_final(Md5Context *ctx, unsigned char digest[MD5_DIGEST_BYTES]);

// The 16 digest bytes as 32 lower-case hexadecimal digits and a NUL (out
// holds at least 33 bytes).
void md5_hex(const unsigned char digest[MD5_DIGEST_BYTES], char *out);
// The digest of the text's bytes (up to its NUL) in hexadecimal; out is
// left untouched when out_size is below 33.
void md5_hex_string(const char *text, char *out, int out_size);
// The digest of an open file's remaining bytes, read in blocks of 1024; 0
// when the read ended without a file error, -1 otherwise.
int md5_file(FILE *file, unsigned char digest[MD5_DIGEST_BYTES]);

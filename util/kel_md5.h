// kel_md5: MD5 message digest (RFC 1321).
//
// One-shot:     std::string hex = md5_hex(data, len);   // 32 lower-case hex digits
// Incremental:  Md5 c; md5_init(&c); md5_update(&c, p, n); ... md5_final(&c, digest);
#ifndef KEL_MD5_H
#define KEL_MD5_H

#include <stddef.h>
#include <stdint.h>
#include <string>

struct Md5 {
    uint32_t state[4];  // A, B, C, D
    uint64_t count;     // message length in bytes so far
    uint8_t buffer[64]; // pending partial block
};

void md5_init(Md5* c);
void md5_update(Md5* c, const void* data, size_t len);
// Pads, writes the 16-byte digest and leaves the context reinitialised.
void md5_final(Md5* c, uint8_t digest[16]);

void md5_digest(const void* data, size_t len, uint8_t digest[16]);
std::string md5_hex(const void* data, size_t len);

#endif

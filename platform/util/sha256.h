// SHA-256, for the password hashes in the unit's account file: in one call,
// or fed piece by piece (init, any number of updates, final).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kSha256Size = 32;

struct Sha256 {
  uint32_t h[8];
  unsigned char block[64];
  size_t used;      // bytes waiting in block
  uint64_t length;  // bytes fed so far
};

void sha256Init(Sha256 *ctx);
void sha256Update(Sha256 *ctx, const void *data, size_t length);
void sha256Final(Sha256 *ctx, unsigned char (&digest)[kSha256Size]);

void sha256(const void *data, size_t length, unsigned char (&digest)[kSha256Size]);

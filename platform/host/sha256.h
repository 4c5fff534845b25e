// SHA-256 of a short message, for the password hashes in the unit's
// account file.
#pragma once

#include <cstddef>

constexpr int kSha256Size = 32;
void sha256(const void *data, size_t length, unsigned char (&digest)[kSha256Size]);

// The SHA-256 crypt algorithm: the password, the salt and a digest of both
// mixed through many rounds of SHA-256, so that every guess costs as much
// as those rounds.
#include "platform/util/sha_crypt.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/device_services.h"
#include "platform/util/sha256.h"

namespace {

constexpr char kAlphabet[] =
    "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kSaltMax = 16;
constexpr long kRoundsMin = 1000;
constexpr long kRoundsMax = 999999999;
constexpr long kRoundsDefault = 5000;

// The digest's bytes in the format's own order, three at a time; bytes 31
// and 30 follow as the short last group.
constexpr unsigned char kOrder[10][3] = {
    {0, 10, 20},  {21, 1, 11}, {12, 22, 2}, {3, 13, 23}, {24, 4, 14},
    {15, 25, 5},  {6, 16, 26}, {27, 7, 17}, {18, 28, 8}, {9, 19, 29}};

using Digest = unsigned char[kSha256Size];

// Feeds length bytes of digest repeated over and over.
void addRepeated(Sha256 *ctx, const Digest &digest, size_t length) {
  for (; length > kSha256Size; length -= kSha256Size)
    sha256Update(ctx, digest, kSha256Size);
  sha256Update(ctx, digest, length);
}

// Three bytes as four characters, least significant six bits first; the
// last group is shorter.
char *encode(char *out, unsigned b2, unsigned b1, unsigned b0, int n) {
  unsigned w = b2 << 16 | b1 << 8 | b0;
  for (int i = 0; i < n; i++, w >>= 6) *out++ = kAlphabet[w & 0x3F];
  return out;
}

}  // namespace

int shaCrypt(const char *password, const char *setting, char (&out)[kShaCryptMax]) {
  if (strncmp(setting, "$5$", 3) != 0) return -1;
  const char *salt = setting + 3;
  long rounds = kRoundsDefault;
  bool customRounds = false;
  if (strncmp(salt, "rounds=", 7) == 0) {
    const char *end;
    uint32_t asked = textToU32(salt + 7, &end, 10);
    if (*end == '$') {
      rounds = asked < kRoundsMin ? kRoundsMin
               : asked > kRoundsMax ? kRoundsMax
                                    : static_cast<long>(asked);
      customRounds = true;
      salt = end + 1;
    }
  }
  size_t saltLen = strcspn(salt, "$");
  if (saltLen > kSaltMax) saltLen = kSaltMax;
  size_t passLen = strlen(password);

  // B: password, salt, password.
  Sha256 ctx;
  Digest b, a, p, s;
  sha256Init(&ctx);
  sha256Update(&ctx, password, passLen);
  sha256Update(&ctx, salt, saltLen);
  sha256Update(&ctx, password, passLen);
  sha256Final(&ctx, b);

  // A: password, salt, B stretched to the password's length, then per bit
  // of that length B or the password.
  sha256Init(&ctx);
  sha256Update(&ctx, password, passLen);
  sha256Update(&ctx, salt, saltLen);
  addRepeated(&ctx, b, passLen);
  for (size_t n = passLen; n > 0; n >>= 1) {
    if (n & 1)
      sha256Update(&ctx, b, kSha256Size);
    else
      sha256Update(&ctx, password, passLen);
  }
  sha256Final(&ctx, a);

  // P: the password once per character; S: the salt 16 + A[0] times.
  sha256Init(&ctx);
  for (size_t i = 0; i < passLen; i++) sha256Update(&ctx, password, passLen);
  sha256Final(&ctx, p);
  sha256Init(&ctx);
  for (int i = 0; i < 16 + a[0]; i++) sha256Update(&ctx, salt, saltLen);
  sha256Final(&ctx, s);

  // The rounds; "P" and "S" stand for their digests stretched to the
  // password's and the salt's length.
  for (long r = 0; r < rounds; r++) {
    sha256Init(&ctx);
    if (r & 1)
      addRepeated(&ctx, p, passLen);
    else
      sha256Update(&ctx, a, kSha256Size);
    if (r % 3) sha256Update(&ctx, s, saltLen);
    if (r % 7) addRepeated(&ctx, p, passLen);
    if (r & 1)
      sha256Update(&ctx, a, kSha256Size);
    else
      addRepeated(&ctx, p, passLen);
    sha256Final(&ctx, a);
  }

  int n = customRounds
              ? snprintf(out, sizeof out, "$5$rounds=%ld$%.*s$", rounds,
                         static_cast<int>(saltLen), salt)
              : snprintf(out, sizeof out, "$5$%.*s$", static_cast<int>(saltLen), salt);
  char *o = out + n;
  for (const auto &g : kOrder) o = encode(o, a[g[0]], a[g[1]], a[g[2]], 4);
  o = encode(o, 0, a[31], a[30], 3);
  *o = '\0';
  return 0;
}

void shaCryptNew(const char *password, char (&out)[kShaCryptMax]) {
  unsigned char random[kSaltMax];
  randomBytes(random, sizeof random);
  char setting[40];
  int n = snprintf(setting, sizeof setting, "$5$rounds=%d$", kShaCryptRounds);
  for (unsigned char r : random) setting[n++] = kAlphabet[r & 0x3F];
  setting[n] = '\0';
  shaCrypt(password, setting, out);
}

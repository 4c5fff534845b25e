// Password hashes in the SHA-256 crypt format that the C libraries' crypt(3)
// writes and reads: "$5$rounds=R$SALT$HASH".
#pragma once

// "$5$rounds=999999999$", 16 salt characters, '$', 43 hash characters, NUL.
constexpr int kShaCryptMax = 20 + 16 + 1 + 43 + 1;
// Rounds of new hashes: costly to try by the billion, cheap enough to
// hash every account at a save on the unit's processor.
constexpr int kShaCryptRounds = 5000;

// The hash of password under setting, as crypt(3) computes it: setting is
// "$5$" with an optional "rounds=N$" (taken within 1000 to 999999999), then
// the salt, up to the next '$' and at most 16 characters; what follows is
// ignored, so a stored hash is its own setting.  The result goes to out;
// -1 when the setting does not start with "$5$".
int shaCrypt(const char *password, const char *setting, char (&out)[kShaCryptMax]);

// A new hash of password with a fresh random salt and kShaCryptRounds.
void shaCryptNew(const char *password, char (&out)[kShaCryptMax]);

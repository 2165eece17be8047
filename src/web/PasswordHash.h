// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tavrolin {

// The login's password as the profile keeps it: never the password itself, but
// "pbkdf2-sha256$ITERATIONS$SALT$HASH" (salt and hash in hex), PBKDF2 with HMAC-SHA-256 of
// OpenSSL over a random salt of 16 bytes. Checking one takes some tens of milliseconds, so
// that guessing is slow also for one who has read the profile.
std::string HashPassword(std::string_view password);
// True when the password is the one the hash was made of; compared in constant time. A hash
// not of the form above matches nothing.
bool VerifyPassword(std::string_view password, std::string_view hash);
// Whether a profile's entry has the form HashPassword makes.
bool IsPasswordHash(std::string_view hash);

using Sha256Digest = std::array<unsigned char, 32>;
Sha256Digest Sha256(std::string_view data);
// Equal digests, in a time that does not depend on where they differ.
bool SameDigest(const Sha256Digest& a, const Sha256Digest& b);

}  // namespace tavrolin

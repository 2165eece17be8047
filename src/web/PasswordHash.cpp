// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/PasswordHash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <charconv>
#include <optional>
#include <vector>

namespace tavrolin {

namespace {

constexpr std::string_view kScheme = "pbkdf2-sha256";
constexpr int kIterations = 200000;
constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kHashBytes = 32;

std::string Hex(const unsigned char* data, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 0x0F];
    }
    return out;
}

std::optional<std::vector<unsigned char>> FromHex(std::string_view text) {
    if (text.empty() || text.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<unsigned char> out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
        if (error != std::errc() || end != text.data() + i + 2) {
            return std::nullopt;
        }
        out.push_back(static_cast<unsigned char>(value));
    }
    return out;
}

struct Parsed {
    int iterations = 0;
    std::vector<unsigned char> salt, hash;
};

std::optional<Parsed> Parse(std::string_view text) {
    std::vector<std::string_view> parts;
    while (parts.size() < 4) {
        const std::size_t dollar = text.find('$');
        parts.push_back(text.substr(0, dollar));
        if (dollar == std::string_view::npos) {
            break;
        }
        text.remove_prefix(dollar + 1);
    }
    if (parts.size() != 4 || parts[0] != kScheme || parts[3].size() != 2 * kHashBytes) {
        return std::nullopt;
    }
    Parsed p;
    const auto [end, error] =
        std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), p.iterations);
    auto salt = FromHex(parts[2]);
    auto hash = FromHex(parts[3]);
    // Up to ten million rounds: a hash that would keep every request busy for minutes is a
    // mistake, not a safer hash.
    if (error != std::errc() || end != parts[1].data() + parts[1].size() || p.iterations < 1 ||
        p.iterations > 10000000 || !salt || !hash) {
        return std::nullopt;
    }
    p.salt = std::move(*salt);
    p.hash = std::move(*hash);
    return p;
}

bool Derive(std::string_view password, const std::vector<unsigned char>& salt, int iterations,
            unsigned char* out) {
    return PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                             static_cast<int>(salt.size()), iterations, EVP_sha256(),
                             static_cast<int>(kHashBytes), out) == 1;
}

}  // namespace

std::string HashPassword(std::string_view password) {
    std::vector<unsigned char> salt(kSaltBytes);
    unsigned char hash[kHashBytes];
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1 ||
        !Derive(password, salt, kIterations, hash)) {
        return {};
    }
    return std::string(kScheme) + "$" + std::to_string(kIterations) + "$" +
           Hex(salt.data(), salt.size()) + "$" + Hex(hash, kHashBytes);
}

bool VerifyPassword(std::string_view password, std::string_view hash) {
    const std::optional<Parsed> parsed = Parse(hash);
    unsigned char derived[kHashBytes];
    if (!parsed || !Derive(password, parsed->salt, parsed->iterations, derived)) {
        return false;
    }
    return CRYPTO_memcmp(derived, parsed->hash.data(), kHashBytes) == 0;
}

bool IsPasswordHash(std::string_view hash) {
    return Parse(hash).has_value();
}

Sha256Digest Sha256(std::string_view data) {
    Sha256Digest digest{};
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), digest.data(), &size, EVP_sha256(), nullptr);
    return digest;
}

bool SameDigest(const Sha256Digest& a, const Sha256Digest& b) {
    return CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace tavrolin

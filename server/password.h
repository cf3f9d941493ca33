// Salted password hashes (libsodium's Argon2id string format, which carries its own salt and
// cost, so hashes made with another cost still verify).
#pragma once

#include <string>
#include <string_view>

namespace ov::server {

enum class PasswordCost {
    kInteractive,  // libsodium's interactive limits: the production default
    kMinimal,      // the smallest limits: tests and benchmarks that register many users
};

class PasswordHasher {
public:
    explicit PasswordHasher(PasswordCost cost);
    // Empty on failure (out of memory).
    std::string Hash(std::string_view password) const;
    bool Verify(const std::string& hash, std::string_view password) const;

private:
    unsigned long long ops_;
    size_t mem_;
};

}  // namespace ov::server

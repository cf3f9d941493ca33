// Salted password hashes. PasswordHasher is what the server asks; SodiumHasher is the real one
// (libsodium's Argon2id string format, which carries its own salt and cost, so hashes made
// with another cost still verify). Tests inject their own to count or hold calls. Hash and
// Verify are called from the hashing pool's threads: implementations must be thread-safe.
//
//   auto hasher = MakePasswordHasher(PasswordCost::kInteractive);
//   std::string h = hasher->Hash("secret");
//   bool ok = hasher->Verify(h, "secret");
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace ov::server {

enum class PasswordCost {
    kInteractive,  // libsodium's interactive limits: the production default
    kMinimal,      // the smallest limits: tests and benchmarks that register many users
};

class PasswordHasher {
public:
    virtual ~PasswordHasher() = default;
    // Empty on failure (out of memory).
    virtual std::string Hash(std::string_view password) const = 0;
    virtual bool Verify(const std::string& hash, std::string_view password) const = 0;
};

class SodiumHasher final : public PasswordHasher {
public:
    explicit SodiumHasher(PasswordCost cost);
    std::string Hash(std::string_view password) const override;
    bool Verify(const std::string& hash, std::string_view password) const override;

private:
    unsigned long long ops_;
    size_t mem_;
};

std::shared_ptr<PasswordHasher> MakePasswordHasher(PasswordCost cost);

}  // namespace ov::server

#include "server/password.h"

#include <sodium.h>

namespace ov::server {

SodiumHasher::SodiumHasher(PasswordCost cost) {
    if (sodium_init() < 0) {
        // Only fails when no random source exists; every hash below would fail too.
    }
    if (cost == PasswordCost::kMinimal) {
        ops_ = crypto_pwhash_OPSLIMIT_MIN;
        mem_ = crypto_pwhash_MEMLIMIT_MIN;
    } else {
        ops_ = crypto_pwhash_OPSLIMIT_INTERACTIVE;
        mem_ = crypto_pwhash_MEMLIMIT_INTERACTIVE;
    }
}

std::string SodiumHasher::Hash(std::string_view password) const {
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.data(), password.size(), ops_, mem_) != 0)
        return {};
    return out;
}

bool SodiumHasher::Verify(const std::string& hash, std::string_view password) const {
    if (hash.empty())
        return false;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::shared_ptr<PasswordHasher> MakePasswordHasher(PasswordCost cost) {
    return std::make_shared<SodiumHasher>(cost);
}

}  // namespace ov::server

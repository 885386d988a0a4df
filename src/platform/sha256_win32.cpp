#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <algorithm>
#include <new>

#include "platform/sha256.h"

namespace velt::platform {

struct Sha256::State {
    BCRYPT_ALG_HANDLE alg = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~State() {
        if (hash) BCryptDestroyHash(hash);
        if (alg) BCryptCloseAlgorithmProvider(alg, 0);
    }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(&state_->alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !BCRYPT_SUCCESS(BCryptCreateHash(state_->alg, &state_->hash, nullptr, 0, nullptr, 0, 0)))
        throw std::bad_alloc();
}

Sha256::~Sha256() = default;

void Sha256::update(std::string_view bytes) {
    // BCryptHashData takes a ULONG length.
    while (!bytes.empty()) {
        const ULONG n = static_cast<ULONG>(std::min<std::size_t>(bytes.size(), 1u << 30));
        if (!BCRYPT_SUCCESS(BCryptHashData(
                state_->hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())), n, 0)))
            throw std::bad_alloc();
        bytes.remove_prefix(n);
    }
}

void Sha256::finish(unsigned char (&digest)[32]) {
    if (!BCRYPT_SUCCESS(BCryptFinishHash(state_->hash, digest, sizeof digest, 0)))
        throw std::bad_alloc();
}

}  // namespace velt::platform

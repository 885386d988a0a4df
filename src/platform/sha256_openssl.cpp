#include <openssl/evp.h>

#include <new>

#include "platform/sha256.h"

namespace velt::platform {

struct Sha256::State {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (!state_->ctx || EVP_DigestInit_ex(state_->ctx, EVP_sha256(), nullptr) != 1)
        throw std::bad_alloc();
}

Sha256::~Sha256() = default;

void Sha256::update(std::string_view bytes) {
    if (EVP_DigestUpdate(state_->ctx, bytes.data(), bytes.size()) != 1) throw std::bad_alloc();
}

void Sha256::finish(unsigned char (&digest)[32]) {
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(state_->ctx, digest, &size) != 1 || size != 32) throw std::bad_alloc();
}

}  // namespace velt::platform

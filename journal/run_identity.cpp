#include "journal/run_identity.h"

#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace qubopost::journal {

namespace {

// Changes only if the layout below changes, which would make every stored identity a stranger.
constexpr std::string_view kTag = "qubopost run identity 1\n";

struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

std::string RunIdentity(const RunInputs& inputs) {
    std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    bool ok = context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) == 1 &&
              EVP_DigestUpdate(context.get(), kTag.data(), kTag.size()) == 1;
    const std::string* fields[] = {&inputs.article,      &inputs.header, &inputs.footer,
                                   &inputs.destinations, &inputs.sender, &inputs.server,
                                   &inputs.port};
    for (const std::string* field : fields) {
        unsigned char length[8];
        std::uint64_t size = field->size();
        for (int i = 7; i >= 0; --i, size >>= 8) length[i] = static_cast<unsigned char>(size);
        ok = ok && EVP_DigestUpdate(context.get(), length, sizeof length) == 1 &&
             EVP_DigestUpdate(context.get(), field->data(), field->size()) == 1;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestSize = 0;
    ok = ok && EVP_DigestFinal_ex(context.get(), digest, &digestSize) == 1;
    // SHA-256 from the default provider does not fail short of memory exhaustion.
    if (!ok) throw std::runtime_error("SHA-256 is not available");
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(std::size_t{digestSize} * 2);
    for (unsigned int i = 0; i < digestSize; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0f];
    }
    return hex;
}

}  // namespace qubopost::journal

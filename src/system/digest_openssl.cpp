#include <openssl/evp.h>

#include <stdexcept>

#include "system/digest.h"
#include "system/encoding.h"

namespace ostrane {

struct Sha256Stream::State {
  struct Free {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD_CTX, Free> context{EVP_MD_CTX_new()};
};

Sha256Stream::Sha256Stream() : state_(std::make_unique<State>()) {
  if (!state_->context || EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("EVP_DigestInit_ex(sha256) failed");
}

Sha256Stream::~Sha256Stream() = default;

void Sha256Stream::Add(std::string_view bytes) {
  if (EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size()) != 1)
    throw std::runtime_error("EVP_DigestUpdate failed");
}

std::string Sha256Stream::FinishHex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(state_->context.get(), digest, &length) != 1)
    throw std::runtime_error("EVP_DigestFinal_ex failed");
  return HexLower(std::string_view(reinterpret_cast<const char*>(digest), length));
}

std::string Sha256Hex(std::string_view bytes) {
  Sha256Stream stream;
  stream.Add(bytes);
  return stream.FinishHex();
}

}  // namespace ostrane

#include <openssl/evp.h>

#include <stdexcept>

#include "system/digest.h"
#include "system/encoding.h"

namespace ostrane {

std::string Sha256Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("EVP_Digest(sha256) failed");
  return HexLower(std::string_view(reinterpret_cast<const char*>(digest), length));
}

}  // namespace ostrane

#include <windows.h>
#include <bcrypt.h>

#include <stdexcept>

#include "system/digest.h"
#include "system/encoding.h"
#include "winui/unique_handle.h"

namespace ostrane {
namespace {

struct AlgorithmTraits {
  using Handle = BCRYPT_ALG_HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct HashTraits {
  using Handle = BCRYPT_HASH_HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::BCryptDestroyHash(h); }
};

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
  win::UniqueHandle<AlgorithmTraits> algorithm;
  if (::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
    throw std::runtime_error("BCryptOpenAlgorithmProvider(SHA256) failed");
  win::UniqueHandle<HashTraits> hash;
  if (::BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0) != 0)
    throw std::runtime_error("BCryptCreateHash failed");
  if (::BCryptHashData(hash.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                       static_cast<ULONG>(bytes.size()), 0) != 0)
    throw std::runtime_error("BCryptHashData failed");
  unsigned char digest[32];
  if (::BCryptFinishHash(hash.get(), digest, sizeof digest, 0) != 0) throw std::runtime_error("BCryptFinishHash failed");
  return HexLower(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

}  // namespace ostrane

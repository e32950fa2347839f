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

struct Sha256Stream::State {
  win::UniqueHandle<AlgorithmTraits> algorithm;
  win::UniqueHandle<HashTraits> hash;
};

Sha256Stream::Sha256Stream() : state_(std::make_unique<State>()) {
  if (::BCryptOpenAlgorithmProvider(state_->algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
    throw std::runtime_error("BCryptOpenAlgorithmProvider(SHA256) failed");
  if (::BCryptCreateHash(state_->algorithm.get(), state_->hash.put(), nullptr, 0, nullptr, 0, 0) != 0)
    throw std::runtime_error("BCryptCreateHash failed");
}

Sha256Stream::~Sha256Stream() = default;

void Sha256Stream::Add(std::string_view bytes) {
  // BCryptHashData takes a ULONG length: large inputs go in slices.
  constexpr std::size_t kSlice = 1u << 30;
  while (!bytes.empty()) {
    const std::string_view slice = bytes.substr(0, kSlice);
    if (::BCryptHashData(state_->hash.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(slice.data())),
                         static_cast<ULONG>(slice.size()), 0) != 0)
      throw std::runtime_error("BCryptHashData failed");
    bytes.remove_prefix(slice.size());
  }
}

std::string Sha256Stream::FinishHex() {
  unsigned char digest[32];
  if (::BCryptFinishHash(state_->hash.get(), digest, sizeof digest, 0) != 0)
    throw std::runtime_error("BCryptFinishHash failed");
  return HexLower(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

std::string Sha256Hex(std::string_view bytes) {
  Sha256Stream stream;
  stream.Add(bytes);
  return stream.FinishHex();
}

}  // namespace ostrane

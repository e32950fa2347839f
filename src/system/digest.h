// SHA-256 from the platform's crypto library (CNG on Windows, OpenSSL natively).
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace ostrane {

// 64 lowercase hexadecimal digits of the SHA-256 of the bytes.
std::string Sha256Hex(std::string_view bytes);

// The same for bytes that come in pieces, such as a file read in chunks.
class Sha256Stream {
 public:
  Sha256Stream();
  ~Sha256Stream();
  Sha256Stream(const Sha256Stream&) = delete;
  Sha256Stream& operator=(const Sha256Stream&) = delete;

  void Add(std::string_view bytes);
  // The digest of everything added; the stream is used up.
  std::string FinishHex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace ostrane

// SHA-256 from the platform's crypto library (CNG on Windows, OpenSSL natively).
#pragma once

#include <string>
#include <string_view>

namespace ostrane {

// 64 lowercase hexadecimal digits of the SHA-256 of the bytes.
std::string Sha256Hex(std::string_view bytes);

}  // namespace ostrane

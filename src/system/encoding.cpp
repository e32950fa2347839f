#include "system/encoding.h"

#include <cmath>
#include <stdexcept>
#include <vector>

namespace ostrane {

std::string Base62(std::string_view bytes) {
  static constexpr char kAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  if (bytes.empty()) return {};

  std::size_t zeros = 0;
  while (zeros < bytes.size() && bytes[zeros] == '\0') ++zeros;
  const std::size_t significant = bytes.size() - zeros;
  const auto size = static_cast<std::size_t>(std::ceil(significant * std::log(256.0) / std::log(62.0)));
  std::vector<unsigned char> digits(size, 0);

  // Repeated multiply-and-add: digits = digits * 256 + byte, walking from the last digit.
  std::size_t touched = 0;
  for (std::size_t i = zeros; i < bytes.size(); ++i) {
    unsigned carry = static_cast<unsigned char>(bytes[i]);
    std::size_t walked = 0;
    for (std::size_t pos = size; (carry != 0 || walked < touched); ++walked) {
      if (pos == 0) throw std::runtime_error("Non-zero carry");
      --pos;
      carry += 256u * digits[pos];
      digits[pos] = static_cast<unsigned char>(carry % 62);
      carry /= 62;
    }
    touched = walked;
  }

  std::size_t first = 0;
  while (first < size && digits[first] == 0) ++first;
  std::string out;
  out.reserve(size - first);
  for (std::size_t i = first; i < size; ++i) out.push_back(kAlphabet[digits[i]]);
  return out;
}

std::string HexLower(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0F]);
  }
  return out;
}

std::wstring CampaignCodeFromPath(std::wstring_view path) {
  const auto underscore = path.rfind(L'_');
  if (underscore == std::wstring_view::npos) return {};
  std::wstring_view code = path.substr(underscore + 1);
  if (const auto dot = code.rfind(L'.'); dot != std::wstring_view::npos) code = code.substr(0, dot);
  if (code.size() != 7 || code.find(L'-') == std::wstring_view::npos) return {};
  return std::wstring(code);
}

}  // namespace ostrane

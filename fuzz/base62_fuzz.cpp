// Base 62 of the bytes (offer ids and the pixel placeholder), checked against a plain
// big-number conversion: repeated long division of the whole number by 62. The
// campaign code taken from the installer's file name is read from the same bytes.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "system/encoding.h"
#include "system/text_convert.h"

namespace {

// Long division is quadratic: inputs beyond this are only run, not compared.
constexpr std::size_t kMaxCompared = 512;

std::string ReferenceBase62(std::string_view bytes) {
  static constexpr char kAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::vector<unsigned char> number(bytes.begin(), bytes.end());  // big-endian base 256
  std::string digits;  // least significant first
  while (std::any_of(number.begin(), number.end(), [](unsigned char b) { return b != 0; })) {
    unsigned remainder = 0;
    for (unsigned char& byte : number) {
      const unsigned value = remainder * 256 + byte;
      byte = static_cast<unsigned char>(value / 62);
      remainder = value % 62;
    }
    digits.push_back(kAlphabet[remainder]);
  }
  return std::string(digits.rbegin(), digits.rend());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string encoded = ostrane::Base62(bytes);
  if (size <= kMaxCompared) FUZZ_CHECK(encoded == ReferenceBase62(bytes));

  const std::wstring path = ostrane::Utf8ToWide(bytes);
  const std::wstring code = ostrane::CampaignCodeFromPath(path);
  if (!code.empty()) {
    FUZZ_CHECK(code.size() == 7 && code.find(L'-') != std::wstring::npos);
    FUZZ_CHECK(path.find(L"_" + code) != std::wstring::npos);
  }
  return 0;
}

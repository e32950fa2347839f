// How the offer rules read a number from campaign text that a registry value holding
// a DWORD or QWORD is compared with: as the run-time's stoul and stoull read it on
// Windows. The campaign check warns with the same reading.
#pragma once

#include <cstdint>
#include <cwctype>
#include <limits>
#include <stdexcept>
#include <string>

namespace ostrane {

// Leading blanks, an optional sign (a minus wraps around), decimal digits; the rest is
// ignored. Throws std::invalid_argument("invalid <name> argument") when no digit
// starts it and std::out_of_range("<name> argument out of range") when it does not
// fit T. The same on every platform, whatever the width of unsigned long.
template <typename T>
T ParseUnsigned(const std::wstring& text, const std::string& name) {
  std::size_t pos = 0;
  while (pos < text.size() && std::iswspace(static_cast<std::wint_t>(text[pos]))) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == L'-' || text[pos] == L'+')) negative = text[pos++] == L'-';
  if (pos >= text.size() || !std::iswdigit(static_cast<std::wint_t>(text[pos])))
    throw std::invalid_argument("invalid " + name + " argument");
  std::uint64_t magnitude = 0;
  for (; pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9'; ++pos) {
    const auto digit = static_cast<std::uint64_t>(text[pos] - L'0');
    if (magnitude > (std::numeric_limits<T>::max() - digit) / 10) throw std::out_of_range(name + " argument out of range");
    magnitude = magnitude * 10 + digit;
  }
  const auto value = static_cast<T>(magnitude);
  return negative ? static_cast<T>(T(0) - value) : value;
}

}  // namespace ostrane

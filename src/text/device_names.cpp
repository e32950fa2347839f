#include "text/device_names.h"

#include <cwctype>

namespace ostrane {

bool IsDosDeviceName(std::wstring_view part) {
  std::wstring_view base = part.substr(0, part.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
  wchar_t upper[4] = {};
  if (base.size() != 3 && base.size() != 4) return false;
  for (std::size_t i = 0; i < base.size(); ++i) upper[i] = static_cast<wchar_t>(std::towupper(base[i]));
  const std::wstring_view stem(upper, 3);
  if (base.size() == 3) return stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL";
  return (stem == L"COM" || stem == L"LPT") && upper[3] >= L'1' && upper[3] <= L'9';
}

}  // namespace ostrane

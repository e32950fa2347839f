#include "text/device_names.h"

#include <cwctype>
#include <string>

namespace ostrane {

bool IsDosDeviceName(std::wstring_view part) {
  std::wstring_view base = part.substr(0, part.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
  if (base.size() < 3 || base.size() > 7) return false;
  std::wstring upper(base);
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(c)));
  if (upper == L"CON" || upper == L"PRN" || upper == L"AUX" || upper == L"NUL" || upper == L"CONIN$" ||
      upper == L"CONOUT$")
    return true;
  if (upper.size() != 4 || (upper.compare(0, 3, L"COM") != 0 && upper.compare(0, 3, L"LPT") != 0)) return false;
  // Windows counts the superscript digits one to three (U+00B9, U+00B2, U+00B3) as digits here.
  const wchar_t digit = upper[3];
  return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

}  // namespace ostrane

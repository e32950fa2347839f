#include "system/system_error_text.h"

#include "winui/unique_handle.h"

namespace ostrane {

std::wstring GetSystemErrorText(DWORD code) {
  wchar_t* text = nullptr;
  // Messages with inserts ("%1 is not a valid Win32 application.") come back as they
  // are; without IGNORE_INSERTS the lookup fails for want of arguments.
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  const win::UniqueHlocal owner(text);
  return length == 0 || text == nullptr ? std::wstring() : std::wstring(text, length);
}

}  // namespace ostrane

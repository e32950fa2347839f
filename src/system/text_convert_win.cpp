#include <windows.h>

#include <stdexcept>

#include "system/text_convert.h"

namespace ostrane {
namespace {

std::string WideToCodePage(std::wstring_view wide, UINT codePage) {
  if (wide.empty()) return {};
  const int length = ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                           nullptr, nullptr);
  if (length <= 0) return {};
  std::string out(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), out.data(), length, nullptr, nullptr);
  return out;
}

}  // namespace

std::wstring Utf8ToWide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (length < 1) throw std::runtime_error("MultiByteToWideChar() failed: " + std::to_string(length));
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), length);
  return out;
}

std::string WideToUtf8(std::wstring_view wide) { return WideToCodePage(wide, CP_UTF8); }

std::string WideToAnsi(std::wstring_view wide) { return WideToCodePage(wide, CP_THREAD_ACP); }

std::wstring AnsiToWide(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int length = ::MultiByteToWideChar(CP_THREAD_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_THREAD_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), out.data(), length);
  return out;
}

}  // namespace ostrane

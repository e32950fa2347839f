#include "demo_run_log.h"

#include <windows.h>

#include "winui/unique_handle.h"

namespace ostrane::demo {
namespace {

std::string ToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int wide = static_cast<int>(text.size());
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

std::wstring EnvironmentValue(const wchar_t* name) {
  std::wstring value(256, L'\0');
  DWORD length = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
  if (length >= value.size()) {
    value.resize(length);
    length = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
  }
  value.resize(length < value.size() ? length : 0);
  return value;
}

std::wstring ModuleFileName() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void RecordRun(std::wstring_view name) {
  const std::wstring logPath = EnvironmentValue(kLogVariable);
  if (logPath.empty()) return;
  std::wstring line(name);
  line += L": ";
  line += ::GetCommandLineW();
  line += L'\n';
  const std::string bytes = ToUtf8(line);
  // Append access alone puts every write at the end of the file, also when offers
  // started together write at the same moment; one write per line keeps lines whole.
  win::UniqueFileHandle file(::CreateFileW(logPath.c_str(), FILE_APPEND_DATA,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  // These programs have no window to report to: a missing line is what a test sees.
  if (!file) return;
  DWORD written = 0;
  ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace ostrane::demo

// The demo of the product's installer, which the wizard downloads and runs with /S.
// It puts the product it carries (qlweb.exe, a resource) in "%APPDATA%\Quillara Web".
// OSTRANE_DEMO_EXIT_CODE makes it end with that code instead and install nothing,
// so that tests can take the wizard down its failure paths. OSTRANE_DEMO_WAIT_MS makes
// it take that long first, as a real installer takes its time.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "demo_resources.h"
#include "demo_run_log.h"
#include "winui/unique_handle.h"

namespace {

using ostrane::win::UniqueFileHandle;
using ostrane::win::UniqueHlocal;

constexpr wchar_t kExitCodeVariable[] = L"OSTRANE_DEMO_EXIT_CODE";
constexpr wchar_t kWaitVariable[] = L"OSTRANE_DEMO_WAIT_MS";
constexpr int kNotSilent = 2;
constexpr int kInstallFailed = ERROR_INSTALL_FAILURE;
constexpr int kMalformedExitCode = ERROR_INVALID_PARAMETER;

bool HasSilentSwitch() {
  int count = 0;
  LPWSTR* args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (args == nullptr) return false;
  UniqueHlocal owner(reinterpret_cast<HLOCAL>(args));
  for (int i = 1; i < count; ++i) {
    if (std::wstring_view(args[i]) == L"/S") return true;
  }
  return false;
}

// The code a test asked for, if any. A value that is not a 32-bit decimal number
// gives kMalformedExitCode, so that a typo in a test fails instead of installing.
std::optional<DWORD> RequestedExitCode() {
  const std::wstring text = ostrane::demo::EnvironmentValue(kExitCodeVariable);
  if (text.empty()) return std::nullopt;
  if (text.size() > 10 || text.find_first_not_of(L"0123456789") != std::wstring::npos) return kMalformedExitCode;
  std::uint64_t value = 0;
  for (const wchar_t digit : text) value = value * 10 + static_cast<std::uint64_t>(digit - L'0');
  if (value > 0xFFFFFFFFu) return kMalformedExitCode;
  return static_cast<DWORD>(value);
}

// The time a test asked the installer to take; nothing unless it is a plain number
// of milliseconds up to a minute.
DWORD RequestedWait() {
  const std::wstring text = ostrane::demo::EnvironmentValue(kWaitVariable);
  if (text.empty() || text.size() > 5 || text.find_first_not_of(L"0123456789") != std::wstring::npos) return 0;
  return std::min<DWORD>(std::stoul(text), 60000);
}

std::wstring ProductFolder() {
  PWSTR path = nullptr;
  const HRESULT hr = ::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path);
  std::unique_ptr<wchar_t, decltype(&::CoTaskMemFree)> owned(path, &::CoTaskMemFree);
  if (FAILED(hr) || path == nullptr) return {};
  return std::wstring(path) + L"\\Quillara Web";
}

bool WriteProduct(const std::wstring& path) {
  // A resource is part of the loaded module: nothing to free.
  HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_QLWEB_PAYLOAD), RT_RCDATA);
  HGLOBAL loaded = found ? ::LoadResource(nullptr, found) : nullptr;
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  const DWORD size = found ? ::SizeofResource(nullptr, found) : 0;
  if (bytes == nullptr || size == 0) return false;

  UniqueFileHandle file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  const bool complete = ::WriteFile(file.get(), bytes, size, &written, nullptr) && written == size;
  file.reset();
  // A cut-off program must not be there for the finish page to start.
  if (!complete) ::DeleteFileW(path.c_str());
  return complete;
}

bool Install() {
  const std::wstring folder = ProductFolder();
  if (folder.empty()) return false;
  if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
  return WriteProduct(folder + L"\\qlweb.exe");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  ostrane::demo::RecordRun(L"QuillaraWebInstaller");
  if (!HasSilentSwitch()) {
    ::MessageBoxW(nullptr, L"This demo installer of Quillara Web installs only silently: start it with /S.",
                  L"Quillara Web Setup", MB_OK | MB_ICONINFORMATION);
    return kNotSilent;
  }
  ::Sleep(RequestedWait());
  if (const auto requested = RequestedExitCode(); requested && *requested != 0) return static_cast<int>(*requested);
  return Install() ? 0 : kInstallFailed;
}

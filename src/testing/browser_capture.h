// URLs that a Windows test's program opens, caught where Wine hands them to the
// browser.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "system/text_convert.h"
#include "winui/unique_handle.h"

namespace ostrane::testing {

inline bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  win::UniqueFileHandle file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

inline std::string ReadWholeFile(const std::wstring& path) {
  win::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string bytes;
  if (!file) return bytes;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  return bytes;
}

// Points Wine's browser launcher (HKCU\Software\Wine\WineBrowser "Browsers") at a
// shell script of ours that appends each URL it is given to a file. The value, the
// key if we made it, the script and the file are put back as they were.
class BrowserCapture {
 public:
  static constexpr wchar_t kKey[] = L"Software\\Wine\\WineBrowser";

  BrowserCapture() {
    wchar_t temp[MAX_PATH] = {};
    if (::GetTempPathW(MAX_PATH, temp) == 0) return;
    folder_ = std::wstring(temp) + L"ostrane-pages-" + std::to_wstring(::GetCurrentProcessId());
    if (!::CreateDirectoryW(folder_.c_str(), nullptr)) {
      folder_.clear();
      return;
    }
    // The launcher starts a Unix program: the script and its file need Unix paths.
    const std::optional<std::string> unixFolder = UnixPath(folder_);
    if (!unixFolder) return;
    const std::string script = "printf '%s\\n' \"$1\" >> '" + *unixFolder + "/opened.txt'\n";
    if (!WriteWholeFile(ScriptPath(), script)) return;

    DWORD disposition = 0;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                          key_.put(), &disposition) != ERROR_SUCCESS)
      return;
    createdKey_ = disposition == REG_CREATED_NEW_KEY;
    DWORD size = 0;
    if (::RegQueryValueExW(key_.get(), L"Browsers", nullptr, &previousType_, nullptr, &size) == ERROR_SUCCESS) {
      previous_.emplace(size, '\0');
      ::RegQueryValueExW(key_.get(), L"Browsers", nullptr, &previousType_,
                         reinterpret_cast<BYTE*>(previous_->data()), &size);
    }
    // The script file is not executable: the shell runs it. Entries are split at commas.
    const std::wstring command = L"/bin/sh \"" + Utf8ToWide(*unixFolder) + L"/browser.sh\"";
    ready_ = ::RegSetValueExW(key_.get(), L"Browsers", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                              static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  }

  ~BrowserCapture() {
    if (key_) {
      if (previous_) {
        ::RegSetValueExW(key_.get(), L"Browsers", 0, previousType_, reinterpret_cast<const BYTE*>(previous_->data()),
                         static_cast<DWORD>(previous_->size()));
      } else {
        ::RegDeleteValueW(key_.get(), L"Browsers");
      }
      key_.reset();
      if (createdKey_) ::RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
    }
    if (!folder_.empty()) {
      ::DeleteFileW(OpenedPath().c_str());
      ::DeleteFileW(ScriptPath().c_str());
      ::RemoveDirectoryW(folder_.c_str());
    }
  }

  bool ready() const { return ready_; }

  // The URLs opened so far, once there are at least `count` of them or the wait is over.
  std::vector<std::wstring> WaitForUrls(std::size_t count) const {
    std::vector<std::wstring> urls;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    do {
      urls.clear();
      const std::string bytes = ReadWholeFile(OpenedPath());
      // Only whole lines: the script may be halfway through one.
      for (std::size_t start = 0, end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1)
        urls.push_back(Utf8ToWide(bytes.substr(start, end - start)));
      if (urls.size() >= count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    return urls;
  }

 private:
  static std::optional<std::string> UnixPath(const std::wstring& path) {
    using UnixFileName = char*(__cdecl*)(const wchar_t*);
    auto convert = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) return std::nullopt;  // not under Wine
    char* name = convert(path.c_str());
    if (name == nullptr) return std::nullopt;
    std::string result(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
  }
  std::wstring ScriptPath() const { return folder_ + L"\\browser.sh"; }
  std::wstring OpenedPath() const { return folder_ + L"\\opened.txt"; }

  std::wstring folder_;
  win::UniqueHkey key_;
  bool createdKey_ = false;
  DWORD previousType_ = REG_SZ;
  std::optional<std::string> previous_;  // the value's bytes as they were
  bool ready_ = false;
};

}  // namespace ostrane::testing

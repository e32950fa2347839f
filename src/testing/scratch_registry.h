// Registry keys a Windows test writes, removed again (with everything below them)
// when the scope ends, so that the prefix is left as it was found.
#pragma once

#include <windows.h>

#include <string>
#include <tuple>
#include <vector>

#include "winui/unique_handle.h"

namespace ostrane::testing {

class ScratchRegistry {
 public:
  ScratchRegistry() = default;
  ScratchRegistry(const ScratchRegistry&) = delete;
  ScratchRegistry& operator=(const ScratchRegistry&) = delete;
  // Last made, first removed. Only the keys named to Create are removed: make the
  // top of a new tree first.
  ~ScratchRegistry() {
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
      const auto& [root, path, view] = *it;
      win::UniqueHkey key;
      if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) != ERROR_SUCCESS) continue;
      ::RegDeleteTreeW(key.get(), nullptr);
      key.reset();
      ::RegDeleteKeyExW(root, path.c_str(), view, 0);
    }
  }

  // Creates root\path in the view (0, KEY_WOW64_64KEY or KEY_WOW64_32KEY); an empty
  // handle when that failed.
  win::UniqueHkey Create(HKEY root, const std::wstring& path, REGSAM view = 0) {
    win::UniqueHkey key;
    if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr) ==
        ERROR_SUCCESS)
      created_.emplace_back(root, path, view);
    return key;
  }

  static LSTATUS SetString(HKEY key, const wchar_t* name, const std::wstring& text) {
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  static LSTATUS SetRaw(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    return ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
  }

 private:
  std::vector<std::tuple<HKEY, std::wstring, REGSAM>> created_;
};

}  // namespace ostrane::testing

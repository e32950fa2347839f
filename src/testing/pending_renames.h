// The list of files Windows deletes or renames at the next restart
// (PendingFileRenameOperations). Tests that make the installer schedule a deletion
// read it, and put it back as they found it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace ostrane::testing {

inline constexpr wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
inline constexpr wchar_t kPendingRenamesValue[] = L"PendingFileRenameOperations";

// The value's raw data, or nothing when it does not exist.
inline std::optional<std::vector<BYTE>> PendingRenamesData() {
  DWORD size = 0;
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingRenamesValue, RRF_RT_REG_MULTI_SZ, nullptr,
                     nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  std::vector<BYTE> data(size);
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingRenamesValue, RRF_RT_REG_MULTI_SZ, nullptr,
                     data.data(), &size) != ERROR_SUCCESS)
    return std::nullopt;
  data.resize(size);
  return data;
}

// The list as one text, its entries separated by NULs; empty when there is none.
inline std::wstring PendingRenames() {
  const auto data = PendingRenamesData();
  if (!data) return {};
  return std::wstring(reinterpret_cast<const wchar_t*>(data->data()), data->size() / sizeof(wchar_t));
}

// Restores the list as it was when the guard was made.
class PendingRenamesGuard {
 public:
  PendingRenamesGuard() : saved_(PendingRenamesData()) {}
  ~PendingRenamesGuard() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (saved_) {
      ::RegSetValueExW(key, kPendingRenamesValue, 0, REG_MULTI_SZ, saved_->data(), static_cast<DWORD>(saved_->size()));
    } else {
      ::RegDeleteValueW(key, kPendingRenamesValue);
    }
    ::RegCloseKey(key);
  }
  PendingRenamesGuard(const PendingRenamesGuard&) = delete;
  PendingRenamesGuard& operator=(const PendingRenamesGuard&) = delete;

 private:
  std::optional<std::vector<BYTE>> saved_;
};

}  // namespace ostrane::testing

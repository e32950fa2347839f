// A registry read that failed after the key was found: it ends the campaign load.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace ostrane::win32 {

class RegistryError : public std::exception {
 public:
  RegistryError(std::string message, std::int32_t code) : message_(std::move(message)), code_(code) {}
  const char* what() const noexcept override { return message_.c_str(); }
  std::int32_t code() const noexcept { return code_; }

 private:
  std::string message_;
  std::int32_t code_;
};

inline constexpr char kOpenKeyFailed[] = "Cannot open registry key: RegOpenKeyEx failed.";
inline constexpr char kReadStringFailed[] = "Cannot read string from registry";
inline constexpr char kValueInfoFailed[] = "Cannot get value info: RegGetValue failed.";
inline constexpr char kReadDwordFailed[] = "Cannot read DWORD from registry.";
inline constexpr char kReadQwordFailed[] = "Cannot read QWORD from registry.";
inline constexpr char kCountSubkeysFailed[] = "RegQueryInfoKey failed while preparing for subkey enumeration.";
inline constexpr char kEnumerateSubkeysFailed[] = "Cannot enumerate subkeys: RegEnumKeyEx failed.";

}  // namespace ostrane::win32

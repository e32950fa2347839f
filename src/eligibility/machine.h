// The user's machine as the offer rules see it: registry keys and values in both
// views, hardware, Windows version, files, running programs and the clock. The rules
// are portable and reach the machine only through this interface: the installer
// reads the real one, tests and the campaign check tool describe one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrane {

// The five predefined keys, by their long names.
enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot, Users, CurrentConfig };

// A 32-bit process on 64-bit Windows sees the 32-bit branch of the software keys by
// default; Native64 reads the 64-bit branch (KEY_WOW64_64KEY).
enum class RegistryView { Default, Native64 };

// Registry value types as Windows numbers them.
enum RegistryType : std::uint32_t { kRegNone = 0, kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4,
                                    kRegMultiSz = 7, kRegQword = 11 };

// A hardware fact, or the system error code of the query that failed.
struct Measured {
  std::optional<std::uint64_t> value;
  std::uint32_t error = 0;
};

class Machine {
 public:
  virtual ~Machine() = default;

  // Every registry call names its key by root, path (below the root; backslashes;
  // compared without regard to case, as Windows does) and view, and opens it with
  // read access. Calls that need the key throw win32::RegistryError with
  // kOpenKeyFailed when it cannot be opened.
  virtual bool KeyOpens(RegistryRoot root, const std::wstring& path, RegistryView view) = 0;
  // The direct subkeys' names as stored, in enumeration order.
  virtual std::vector<std::wstring> Subkeys(RegistryRoot root, const std::wstring& path, RegistryView view) = 0;
  // Whether the value exists, whatever its type.
  virtual bool ValueExists(RegistryRoot root, const std::wstring& path, RegistryView view,
                           const std::wstring& name) = 0;
  // The value's type, or kRegNone when it is missing or cannot be queried.
  virtual std::uint32_t ValueType(RegistryRoot root, const std::wstring& path, RegistryView view,
                                  const std::wstring& name) = 0;
  // Reads of a value of that type; any failure throws win32::RegistryError.
  virtual std::wstring ReadString(RegistryRoot root, const std::wstring& path, RegistryView view,
                                  const std::wstring& name) = 0;
  virtual std::uint32_t ReadDword(RegistryRoot root, const std::wstring& path, RegistryView view,
                                  const std::wstring& name) = 0;
  virtual std::uint64_t ReadQword(RegistryRoot root, const std::wstring& path, RegistryView view,
                                  const std::wstring& name) = 0;

  // A 32-bit process on 64-bit Windows (asked each time, as the rules do).
  virtual bool IsWow64() = 0;
  // At least this Windows version (service pack 0).
  virtual bool IsOsVersionAtLeast(int major, int minor) = 0;
  // Free MiB for the caller on the drive of the default user's Desktop folder.
  virtual Measured FreeDiskMb() = 0;
  // Total physical memory in MiB.
  virtual Measured PhysicalMemoryMb() = 0;
  // "~MHz" of the first processor; nothing when the key does not open (openFailed)
  // or the value cannot be read.
  struct CpuSpeed {
    std::optional<std::uint32_t> mhz;
    bool openFailed = false;
  };
  virtual CpuSpeed ProcessorMhz() = 0;
  virtual bool FileExists(const std::wstring& path) = 0;
  // Executable names of the running processes, as the snapshot gives them.
  virtual std::vector<std::wstring> RunningProcesses() = 0;
  // Seconds since 1970-01-01 UTC.
  virtual std::int64_t NowSeconds() = 0;
  // Today's local date, "%Y%m%d".
  virtual std::string TodayLocal() = 0;
};

}  // namespace ostrane

// A machine described by data instead of read from Windows: registry keys and values
// per (root, view, path), files, processes, hardware and the clock. The native tests
// run the offer rules against it, as the campaign check tool does.
#pragma once

#include <map>
#include <set>
#include <tuple>

#include "eligibility/machine.h"

namespace ostrane {

class DescribedMachine : public Machine {
 public:
  struct Value {
    std::uint32_t type = kRegSz;
    std::wstring text;         // REG_SZ
    std::uint64_t number = 0;  // REG_DWORD, REG_QWORD
  };

  // Keys exist with all their parents. Paths and names are matched without regard
  // to case; the names given first are the ones listed.
  void AddKey(RegistryRoot root, RegistryView view, const std::wstring& path);
  void SetValue(RegistryRoot root, RegistryView view, const std::wstring& path, const std::wstring& name, Value value);
  // Reads of this key fail after it was found, as a broken registry would.
  void BreakReads(RegistryRoot root, RegistryView view, const std::wstring& path);

  bool KeyOpens(RegistryRoot root, const std::wstring& path, RegistryView view) override;
  std::vector<std::wstring> Subkeys(RegistryRoot root, const std::wstring& path, RegistryView view) override;
  bool ValueExists(RegistryRoot root, const std::wstring& path, RegistryView view, const std::wstring& name) override;
  std::uint32_t ValueType(RegistryRoot root, const std::wstring& path, RegistryView view,
                          const std::wstring& name) override;
  std::wstring ReadString(RegistryRoot root, const std::wstring& path, RegistryView view,
                          const std::wstring& name) override;
  std::uint32_t ReadDword(RegistryRoot root, const std::wstring& path, RegistryView view,
                          const std::wstring& name) override;
  std::uint64_t ReadQword(RegistryRoot root, const std::wstring& path, RegistryView view,
                          const std::wstring& name) override;

  bool IsWow64() override { return wow64; }
  bool IsOsVersionAtLeast(int major, int minor) override {
    return osMajor > major || (osMajor == major && osMinor >= minor);
  }
  Measured FreeDiskMb() override {
    ++queries["disk"];
    return freeDiskMb;
  }
  Measured PhysicalMemoryMb() override {
    ++queries["memory"];
    return memoryMb;
  }
  CpuSpeed ProcessorMhz() override {
    ++queries["processor"];
    return processor;
  }
  // As Windows resolves a path: "/" is a separator, "." and ".." are resolved, and a
  // relative path is taken from currentFolder (none: it never exists).
  bool FileExists(const std::wstring& path) override;
  std::vector<std::wstring> RunningProcesses() override {
    ++queries["processes"];
    return processes;
  }
  std::int64_t NowSeconds() override { return nowSeconds; }
  std::string TodayLocal() override { return today; }

  void AddFile(const std::wstring& path);
  // The full path a file test resolves path to, lower case; empty when there is none.
  std::wstring ResolvePath(const std::wstring& path) const;

  bool wow64 = true;
  int osMajor = 10;
  int osMinor = 0;
  Measured freeDiskMb{100000, 0};
  Measured memoryMb{8192, 0};
  CpuSpeed processor{3000, false};
  std::vector<std::wstring> processes;
  std::int64_t nowSeconds = 1700000000;
  std::string today = "20231114";
  // Environment variables by lower-case name, for expand-string values: the system
  // expands them when a value of that type is read as a string.
  std::map<std::wstring, std::wstring> environment;
  std::wstring currentFolder;
  // How often each hardware fact and the process list were asked for.
  std::map<std::string, int> queries;

 private:
  struct Key {
    std::vector<std::wstring> subkeys;  // as given, in order
    std::map<std::wstring, Value> values;  // by lower-case name
    bool broken = false;
  };
  using KeyId = std::tuple<RegistryRoot, RegistryView, std::wstring>;
  Key* Find(RegistryRoot root, RegistryView view, const std::wstring& path);
  Key& Open(RegistryRoot root, RegistryView view, const std::wstring& path);
  const Value& ReadValue(RegistryRoot root, RegistryView view, const std::wstring& path, const std::wstring& name,
                         std::uint32_t type, const char* failure, std::uint32_t alsoType = kRegNone);
  std::wstring ExpandEnvironment(const std::wstring& text) const;

  std::map<KeyId, Key> keys_;  // by lower-case path
  std::set<std::wstring> files_;  // lower case
};

}  // namespace ostrane

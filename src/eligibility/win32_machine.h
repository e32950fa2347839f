// The real machine behind the offer rules: the registry, hardware, version, files,
// processes and clock of the Windows the installer runs on.
#pragma once

#include "eligibility/machine.h"

namespace ostrane {

class Win32Machine : public Machine {
 public:
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

  bool IsWow64() override;
  bool IsOsVersionAtLeast(int major, int minor) override;
  Measured FreeDiskMb() override;
  Measured PhysicalMemoryMb() override;
  CpuSpeed ProcessorMhz() override;
  bool FileExists(const std::wstring& path) override;
  std::vector<std::wstring> RunningProcesses() override;
  std::int64_t NowSeconds() override;
  std::string TodayLocal() override;
};

}  // namespace ostrane

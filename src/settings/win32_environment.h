// The real machine, as the settings see it.
#pragma once

#include "settings/system_environment.h"

namespace ostrane {

class Win32Environment : public SystemEnvironment {
 public:
  std::string InstallerVersion() override;
  std::wstring MakeTempWorkFolder() override;
  bool IsDirectory(const std::wstring& path) override;
  std::wstring GetKnownFolder(KnownFolder folder, bool defaultUser) override;
  std::wstring DocumentsFolder() override;
  std::wstring TempPath() override;
  bool IsWow64() override;
  std::optional<std::wstring> EnvironmentVariable(const std::wstring& name) override;
  std::string ReadMachineGuid() override;
  std::optional<std::tm> LocalTimeNow() override;
  void ShowMessage(const std::wstring& text) override;
};

}  // namespace ostrane

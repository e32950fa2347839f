// The machine facts that the settings are built from, behind one interface so that
// the settings logic runs natively in tests; the Windows build reads the real ones.
#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace ostrane {

enum class KnownFolder { LocalAppData, RoamingAppData, ProgramData, ProgramFilesX86, Downloads };

class SystemEnvironment {
 public:
  virtual ~SystemEnvironment() = default;

  // Four dot-separated numbers from the installer's version resource, or empty.
  virtual std::string InstallerVersion() = 0;
  // A fresh folder under the temp path; the caller checks that it exists.
  virtual std::wstring MakeTempWorkFolder() = 0;
  virtual bool IsDirectory(const std::wstring& path) = 0;
  // Known folder of the current user (or the default user); empty on failure.
  virtual std::wstring GetKnownFolder(KnownFolder folder, bool defaultUser = false) = 0;
  // The older shell-folder call for the user's Documents; empty on failure.
  virtual std::wstring DocumentsFolder() = 0;
  // The temp path with its trailing separator; empty on failure.
  virtual std::wstring TempPath() = 0;
  virtual bool IsWow64() = 0;
  virtual std::optional<std::wstring> EnvironmentVariable(const std::wstring& name) = 0;
  // "MachineGuid" from the 64-bit registry view; empty on failure.
  virtual std::string ReadMachineGuid() = 0;
  virtual std::optional<std::tm> LocalTimeNow() = 0;
  // The framework's plain OK message box, captioned with the application's name.
  virtual void ShowMessage(const std::wstring& text) = 0;
};

// The environment of this program: the Windows one in the installer and its tests,
// a configurable fake in the native tests.
SystemEnvironment& DefaultSystemEnvironment();

}  // namespace ostrane

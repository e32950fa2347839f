// A machine described in a JSON profile: what the offer rules read (Windows version,
// WOW64, hardware, files, registry in both views, processes, App Paths, the clock)
// and the settings values they draw on (installer version, folders, machine GUID,
// the run's timestamp). The campaign check tool runs the installer's own rules
// against it; README.md ("Campaign check") describes the format.
#pragma once

#include <nlohmann/json.hpp>

#include <map>
#include <stdexcept>
#include <string>

#include "eligibility/described_machine.h"
#include "settings/system_environment.h"

namespace ostrane {

// A profile that cannot be read: the message names the key path ("registry[2].view").
class ProfileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The settings' side of the profile: what SystemEnvironment gives the settings.
struct ProfileSettings {
  bool wow64 = true;
  std::string installerVersion;  // "" when the installer has no version resource
  std::string machineGuid;
  std::string timestamp;  // the run's local start, "%Y%m%d%H%M%S"
  std::map<KnownFolder, std::wstring> knownFolders;
  std::wstring programFiles64;  // ProgramW6432; read only under WOW64
};

struct MachineProfile {
  DescribedMachine machine;
  ProfileSettings settings;
  std::string windowsVersion;  // "major.minor" or "major.minor.build", as requests carry it
  std::string country;         // "" when the profile names none
};

// Every key is optional; unknown keys are errors, so a misspelt key is not a fact
// silently left at its default. Throws ProfileError.
MachineProfile ReadMachineProfile(const nlohmann::json& profile);

// "major.minor" of the profile's Windows version, as offers select "pnrp" values.
std::string MajorMinor(const std::string& windowsVersion);

// The settings' view of a profiled machine. Makes no folders and shows no messages.
class ProfileEnvironment : public SystemEnvironment {
 public:
  explicit ProfileEnvironment(ProfileSettings settings) : settings_(std::move(settings)) {}

  std::string InstallerVersion() override { return settings_.installerVersion; }
  std::wstring MakeTempWorkFolder() override { return {}; }
  bool IsDirectory(const std::wstring&) override { return false; }
  std::wstring GetKnownFolder(KnownFolder folder, bool) override;
  std::wstring DocumentsFolder() override { return {}; }
  std::wstring TempPath() override { return {}; }
  bool IsWow64() override { return settings_.wow64; }
  std::optional<std::wstring> EnvironmentVariable(const std::wstring& name) override;
  std::string ReadMachineGuid() override { return settings_.machineGuid; }
  std::optional<std::tm> LocalTimeNow() override;
  void ShowMessage(const std::wstring&) override {}

 private:
  ProfileSettings settings_;
};

}  // namespace ostrane

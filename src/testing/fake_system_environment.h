// A settable machine for native tests of the settings logic.
#pragma once

#include <map>
#include <vector>

#include "settings/system_environment.h"

namespace ostrane::testing {

class FakeSystemEnvironment : public SystemEnvironment {
 public:
  std::string installerVersion = "1.2.3.4";
  std::wstring tempWorkFolder = L"C:\\Temp\\ISV1A2B.tmp";
  bool workFolderExists = true;
  std::map<KnownFolder, std::wstring> knownFolders;
  std::wstring documentsFolder;
  std::wstring tempPath = L"C:\\Temp\\";
  bool wow64 = true;
  std::map<std::wstring, std::wstring> environmentVariables;
  std::vector<std::string> machineGuidReads;  // successive answers; empty once used up
  std::tm localTime{};
  bool localTimeFails = false;
  std::vector<std::wstring> messages;  // message boxes shown, in order
  int tempFolderRequests = 0;

  std::string InstallerVersion() override { return installerVersion; }
  std::wstring MakeTempWorkFolder() override {
    ++tempFolderRequests;
    return tempWorkFolder;
  }
  bool IsDirectory(const std::wstring& path) override { return workFolderExists && path == tempWorkFolder; }
  std::wstring GetKnownFolder(KnownFolder folder, bool) override {
    auto it = knownFolders.find(folder);
    return it == knownFolders.end() ? std::wstring() : it->second;
  }
  std::wstring DocumentsFolder() override { return documentsFolder; }
  std::wstring TempPath() override { return tempPath; }
  bool IsWow64() override { return wow64; }
  std::optional<std::wstring> EnvironmentVariable(const std::wstring& name) override {
    auto it = environmentVariables.find(name);
    if (it == environmentVariables.end()) return std::nullopt;
    return it->second;
  }
  std::string ReadMachineGuid() override {
    if (machineGuidReads.empty()) return {};
    std::string next = machineGuidReads.front();
    machineGuidReads.erase(machineGuidReads.begin());
    return next;
  }
  std::optional<std::tm> LocalTimeNow() override {
    if (localTimeFails) return std::nullopt;
    return localTime;
  }
  void ShowMessage(const std::wstring& text) override { messages.push_back(text); }

  // The folders of a 64-bit Windows with a user "u", as the folder placeholders read them.
  void UseTypicalFolders() {
    knownFolders = {{KnownFolder::LocalAppData, L"C:\\Users\\u\\AppData\\Local"},
                    {KnownFolder::RoamingAppData, L"C:\\Users\\u\\AppData\\Roaming"},
                    {KnownFolder::ProgramData, L"C:\\ProgramData"},
                    {KnownFolder::ProgramFilesX86, L"C:\\Program Files (x86)"}};
    environmentVariables = {{L"ProgramW6432", L"C:\\Program Files"}};
  }
};

}  // namespace ostrane::testing

#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ui_driver.h"

namespace ostrane::e2e {

// The installer under test.
extern std::wstring g_installerPath;

// A test variant built beside the installer (QuillaraWebSetup_<name>.exe).
inline std::wstring VariantPath(const std::wstring& name) {
  const auto dot = g_installerPath.rfind(L".exe");
  return g_installerPath.substr(0, dot) + L"_" + name + L".exe";
}

// The wizard window's caption in the ISV build.
inline constexpr wchar_t kWizardCaption[] = L"Quillara Web ";

// The temp folder's entries that match a pattern now, with the folder: directories
// or files.
inline std::set<std::wstring> TempEntries(const wchar_t* pattern, bool directories) {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  std::set<std::wstring> entries;
  WIN32_FIND_DATAW entry{};
  HANDLE find = ::FindFirstFileW((std::wstring(temp) + pattern).c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do {
    if (((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == directories)
      entries.insert(std::wstring(temp) + entry.cFileName);
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
  return entries;
}

// The installers' temp work folders ("ISV*.tmp") that exist now.
inline std::set<std::wstring> WorkFolders() { return TempEntries(L"ISV*.tmp", true); }

// The setup logs that runs without /log wrote to the temp folder.
inline std::set<std::wstring> SetupLogs() { return TempEntries(L"QuillaraWebSetup_*.log", false); }

// Asks the wizard to close and answers its question with OK.
inline void CloseAndConfirm(const uidriver::Installer& installer, HWND wizard) {
  ::PostMessageW(wizard, WM_CLOSE, 0, 0);
  HWND question = uidriver::WaitForMessageBox(installer.pid(), wizard);
  ASSERT_NE(question, nullptr);
  uidriver::Click(question, IDOK);
}

}  // namespace ostrane::e2e

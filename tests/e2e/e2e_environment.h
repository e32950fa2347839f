#pragma once

#include <gtest/gtest.h>

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

// Asks the wizard to close and answers its question with OK.
inline void CloseAndConfirm(const uidriver::Installer& installer, HWND wizard) {
  ::PostMessageW(wizard, WM_CLOSE, 0, 0);
  HWND question = uidriver::WaitForMessageBox(installer.pid(), wizard);
  ASSERT_NE(question, nullptr);
  uidriver::Click(question, IDOK);
}

}  // namespace ostrane::e2e

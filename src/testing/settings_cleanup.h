// For Windows test programs that use the settings singleton: the work folder it made
// is removed at the end (RemoveDirectory: only when empty), so the prefix is left as
// it was found. Register once per program:
//   const auto* const kCleanup = ::testing::AddGlobalTestEnvironment(new SettingsWorkFolderCleanup);
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "settings/configuration_manager.h"

namespace ostrane::testing {

class SettingsWorkFolderCleanup : public ::testing::Environment {
 public:
  void SetUp() override { folder_ = ConfigurationManager::Instance()->m_workFolder; }
  void TearDown() override {
    if (!folder_.empty()) ::RemoveDirectoryW(folder_.c_str());
  }

 private:
  std::wstring folder_;
};

}  // namespace ostrane::testing

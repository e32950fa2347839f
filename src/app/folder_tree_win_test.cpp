#include "app/folder_tree.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "settings/known_folders.h"
#include "testing/pending_renames.h"
#include "winui/unique_handle.h"

namespace ostrane {
namespace {

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteFile(const std::wstring& path) {
  win::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(file);
  DWORD written = 0;
  ::WriteFile(file.get(), "data", 4, &written, nullptr);
}

TEST(DeleteFolderTreeTest, RemovesNestedFilesAndFolders) {
  const std::wstring root = MakeTempWorkFolder();
  ::CreateDirectoryW((root + L"\\sub").c_str(), nullptr);
  ::CreateDirectoryW((root + L"\\sub\\deeper").c_str(), nullptr);
  ::CreateDirectoryW((root + L"\\empty").c_str(), nullptr);
  WriteFile(root + L"\\a.exe");
  WriteFile(root + L"\\sub\\b.zip");
  WriteFile(root + L"\\sub\\deeper\\c.txt");
  DeleteFolderTree(root);
  EXPECT_FALSE(Exists(root));
}

TEST(DeleteFolderTreeTest, RemovesAnEmptyWorkFolder) {
  const std::wstring root = MakeTempWorkFolder();
  ASSERT_TRUE(Exists(root));
  DeleteFolderTree(root);
  EXPECT_FALSE(Exists(root));
}

TEST(DeleteFolderTreeTest, MissingFolderIsNoError) { DeleteFolderTree(L"C:\\no\\such\\folder\\anywhere"); }

TEST(DeleteFolderTreeTest, OpenFileIsLeftForTheNextRestart) {
  const testing::PendingRenamesGuard restoreRenames;
  const std::wstring root = MakeTempWorkFolder();
  const std::wstring locked = root + L"\\installer.exe";
  WriteFile(locked);
  WriteFile(root + L"\\other.txt");
  // Held open without delete sharing, as a running installer would be.
  win::UniqueFileHandle holder(
      ::CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder);

  DeleteFolderTree(root);

  EXPECT_FALSE(Exists(root + L"\\other.txt"));
  EXPECT_TRUE(Exists(locked));
  const std::wstring pending = testing::PendingRenames();
  EXPECT_NE(pending.find(L"installer.exe"), std::wstring::npos);
  EXPECT_NE(pending.find(root.substr(2) + std::wstring(1, L'\0')), std::wstring::npos)
      << "the folder itself is scheduled too";
  holder.reset();
  ::DeleteFileW(locked.c_str());
  ::RemoveDirectoryW(root.c_str());
}

}  // namespace
}  // namespace ostrane

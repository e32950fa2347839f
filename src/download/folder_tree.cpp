#include "download/folder_tree.h"

#include <windows.h>
#include <shlwapi.h>

#include "log/setup_log.h"
#include "system/text_convert.h"
#include "winui/unique_handle.h"

namespace ostrane {
namespace {

void DeleteAtRestart(const std::wstring& path) {
  const DWORD inUse = ::GetLastError();
  const bool scheduled = ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
  log::LogLine("clean-up", WideToUtf8(path) + ": cannot be removed now (error " + std::to_string(inUse) + "), " +
                               (scheduled ? "left for deletion at the next restart"
                                          : "and its deletion at restart was refused (error " +
                                                std::to_string(::GetLastError()) + "): it stays"));
}

void RemoveEmptyFolder(const std::wstring& path) {
  if (::RemoveDirectoryW(path.c_str())) {
    log::LogLine("clean-up", WideToUtf8(path) + ": removed");
    return;
  }
  const DWORD error = ::GetLastError();
  if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) DeleteAtRestart(path);
}

}  // namespace

void DeleteFolderTree(const std::wstring& path) {
  // An empty folder is removed too, so that the wizard leaves nothing behind.
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    // The folder itself was replaced by a junction or link: remove the link, never
    // what it points at.
    const bool removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryW(path.c_str())
                                                                 : ::DeleteFileW(path.c_str());
    log::LogLine("clean-up", WideToUtf8(path) + (removed ? ": a link, removed without what it points at"
                                                         : ": a link, left as it is"));
    return;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return;
  if (::PathIsDirectoryEmptyW(path.c_str())) {
    RemoveEmptyFolder(path);
    return;
  }

  WIN32_FIND_DATAW entry{};
  win::UniqueFindHandle find(::FindFirstFileW((path + L"\\*.*").c_str(), &entry));
  if (find) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A junction or link an installer left here: remove the link itself, never
        // what it points at, which may be any folder of the user's.
        const bool removed = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryW(child.c_str())
                                                                                : ::DeleteFileW(child.c_str());
        if (!removed) DeleteAtRestart(child);
      } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (::PathIsDirectoryEmptyW(child.c_str())) {
          RemoveEmptyFolder(child);
        } else {
          DeleteFolderTree(child);
        }
      } else if (!::DeleteFileW(child.c_str())) {
        DeleteAtRestart(child);
      }
    } while (::FindNextFileW(find.get(), &entry));
  }
  find.reset();
  if (::RemoveDirectoryW(path.c_str())) {
    log::LogLine("clean-up", WideToUtf8(path) + ": removed");
  } else {
    DeleteAtRestart(path);
  }
}

}  // namespace ostrane

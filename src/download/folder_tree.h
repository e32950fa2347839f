#pragma once

#include <string>

namespace ostrane {

// Deletes the folder and everything below it. What cannot be deleted now (a file
// still open, for example) is scheduled for deletion at the next restart.
void DeleteFolderTree(const std::wstring& path);

}  // namespace ostrane

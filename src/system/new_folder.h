// Folders the installer writes into are ones it has just made itself: a folder that
// was already there (perhaps a junction another program planted) is never taken.
#pragma once

#include <string>

namespace ostrane {

// Creates parent\name, or, when that name is taken, parent\name-XXXXXXXX with a
// random suffix (a few tries). The full path of the new folder; empty when none could
// be made (the parent is missing or refuses, or the path is too long).
std::wstring MakeNewFolder(const std::wstring& parent, const std::wstring& name);

// A directory that is not a reparse point (junction, symbolic link, mount point).
bool IsPlainFolder(const std::wstring& path);

}  // namespace ostrane

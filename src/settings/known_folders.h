#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace ostrane {

// The known folder's path for the current user (or the default user); empty on failure.
std::wstring GetKnownFolder(REFKNOWNFOLDERID id, bool defaultUser = false);

// A new, empty folder that this call made itself under the user's temp path, named
// like a temp file ("ISV1A2B.tmp"), without a trailing backslash; empty when none
// could be made.
std::wstring MakeTempWorkFolder();

}  // namespace ostrane

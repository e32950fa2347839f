// The registry path language of offers: a lower-case root name ("hklm" or
// "hkey_local_machine") and a key path, or a path relative to the software branch;
// and how a 32-bit process on 64-bit Windows reaches both branches.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "eligibility/machine.h"

namespace ostrane {

// (before, after) the first or last backslash; both halves are the whole path when
// it has none.
std::pair<std::wstring, std::wstring> SplitAtFirstBackslash(const std::wstring& path);
std::pair<std::wstring, std::wstring> SplitAtLastBackslash(const std::wstring& path);

// The full paths an offer's path may mean: itself for a long root name, the long
// name for a short one, else each software prefix (and, under WOW64, each 32-bit
// software prefix) followed by the path. Empty for an empty path.
std::vector<std::wstring> ExpandRegistryPath(const std::wstring& path, bool wow64);

// For a path under a software prefix: under WOW64 a "wow6432node" path loses that
// component (the default view shows it) and any other path is read in the 64-bit
// view; without WOW64 a "wow6432node" path is skipped (returns true). Other paths
// are left alone.
bool NormalizeWow64Path(std::wstring& path, RegistryView& view, bool wow64);

// The predefined key of a long root name; std::out_of_range for any other name.
RegistryRoot RootFromLongName(const std::wstring& name);

// Whether the path begins with "hkey_local_machine\software\" or the HKCU one.
bool HasSoftwarePrefix(const std::wstring& path);

// Where the partner's date marker ("pnr": a key path below HKLM, then the value's
// name after the last backslash) may go: into a vendor's own key below SOFTWARE (or
// SOFTWARE\WOW6432Node), never into SOFTWARE itself nor its Policies, Microsoft or
// Classes branches, where a DWORD can change how Windows behaves.
struct MarkerPath {
  std::wstring key;        // below HKLM, as written
  std::wstring valueName;  // empty: the key's default value
  std::string refusal;     // why nothing may be written there; empty when it may
};
MarkerPath CheckMarkerPath(std::wstring_view path);

// towlower, character by character.
std::wstring LowerCase(std::wstring text);

}  // namespace ostrane

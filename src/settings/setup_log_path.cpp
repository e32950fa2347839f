#include "settings/setup_log_path.h"

#include <cwctype>
#include <string_view>

#include "text/device_names.h"

namespace ostrane {
namespace {

bool IsSwitch(std::wstring_view argument, std::wstring_view name) {
  if (argument.size() < name.size() || (argument[0] != L'/' && argument[0] != L'-')) return false;
  for (std::size_t i = 1; i < name.size(); ++i)
    if (static_cast<wchar_t>(std::towlower(argument[i])) != name[i]) return false;
  return true;
}

// "/log /S": the user left out the path, and /S is the next switch, not a file at the
// drive's root. A path that starts with / or - is given as /log=PATH.
bool StartsLikeASwitch(std::wstring_view argument) {
  return !argument.empty() && (argument[0] == L'/' || argument[0] == L'-');
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// A path the log can be a file at: not empty, not a folder, no device anywhere in it.
bool CanHoldTheLog(std::wstring_view path) {
  if (path.empty() || IsSeparator(path.back())) return false;
  // The device namespaces ("\\.\", "\\?\") reach devices and pipes.
  if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && (path[2] == L'.' || path[2] == L'?'))
    return false;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    std::wstring_view part = path.substr(start, end - start);
    if (start == 0 && part.size() == 2 && part[1] == L':') part = {};  // the drive
    if (!part.empty() && IsDosDeviceName(part)) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

SetupLogPlace SetupLogPlaceFrom(const std::vector<std::wstring>& arguments, const std::wstring& tempFolder,
                                const std::wstring& productId, const std::string& timestamp) {
  std::wstring chosen;
  bool given = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    if (!IsSwitch(argument, L"/log")) continue;
    if (argument.size() == 4) {
      if (i + 1 < arguments.size() && !StartsLikeASwitch(arguments[i + 1])) {
        chosen = arguments[++i];
        given = true;
      }
    } else if (argument[4] == L'=') {
      chosen = argument.substr(5);
      given = true;
    }
  }
  SetupLogPlace place;
  if (given && CanHoldTheLog(chosen)) {
    place.path = chosen;
    return place;
  }
  if (given) place.refused = chosen;
  std::wstring stamp(timestamp.begin(), timestamp.end());
  if (stamp.size() == 14) stamp.insert(8, L"_");
  place.path = tempFolder;
  if (!place.path.empty() && !IsSeparator(place.path.back())) place.path += L'\\';
  place.path += productId + L"Setup_" + stamp + L".log";
  return place;
}

}  // namespace ostrane

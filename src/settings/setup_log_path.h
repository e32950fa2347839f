// Where a run's setup log goes: the path of the installer's /log switch, or a file
// named after the product and the start time in the temp folder.
#pragma once

#include <string>
#include <vector>

namespace ostrane {

struct SetupLogPlace {
  std::wstring path;
  // The /log path that was not taken (it names a device or a folder); empty if none.
  std::wstring refused;
};

// arguments: the command line's arguments after the program, as Windows splits them.
// "/log=PATH" and "/log PATH" in any case name the file; the last one counts. In the
// second form an argument that starts with / or - is the next switch, not the path.
// Without one, or when it is refused, the log is
// <tempFolder>\<productId>Setup_YYYYMMDD_HHMMSS.log, from a "%Y%m%d%H%M%S" timestamp.
SetupLogPlace SetupLogPlaceFrom(const std::vector<std::wstring>& arguments, const std::wstring& tempFolder,
                                const std::wstring& productId, const std::string& timestamp);

}  // namespace ostrane

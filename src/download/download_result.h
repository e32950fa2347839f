#pragma once

#include <string>

namespace ostrane {

// The outcome of a file download. `text` holds the failure texts of the attempts
// that failed, each followed by its transport's tag; after a fallback that
// succeeded it still holds the first attempt's.
struct DownloadResult {
  bool ok = false;
  std::wstring text;
  std::wstring path{};  // the file written, when ok
  // Of a success: the address the file came from, after redirects; empty when the
  // transport could not say.
  std::wstring finalUrl = {};
};

}  // namespace ostrane

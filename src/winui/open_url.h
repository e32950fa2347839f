#pragma once

#include <string>

namespace ostrane::win {

// Opens the URL in the user's browser when it is an absolute http or https URL
// (IsWebUrl); anything else opens nothing and is written to the setup log without
// its query. True when the shell accepted it (the browser starts on its own
// afterwards).
bool OpenUrl(const std::wstring& url);

}  // namespace ostrane::win

#pragma once

#include <string>

namespace ostrane::win {

// Opens the URL in the user's browser. An empty URL opens nothing. True when the
// shell accepted it (the browser starts on its own afterwards).
bool OpenUrl(const std::wstring& url);

}  // namespace ostrane::win

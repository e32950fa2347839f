// Conversions between the program's wide strings and the narrow texts of JSON,
// XML and server requests.
#pragma once

#include <string>
#include <string_view>

namespace ostrane {

// UTF-8 to wide text; throws std::runtime_error("MultiByteToWideChar() failed: N")
// for bytes that are not UTF-8.
std::wstring Utf8ToWide(std::string_view utf8);

std::string WideToUtf8(std::wstring_view wide);

// The thread's ANSI code page (on Windows); characters it cannot hold become '?'.
std::string WideToAnsi(std::wstring_view wide);
// From the thread's ANSI code page.
std::wstring AnsiToWide(std::string_view ansi);

}  // namespace ostrane

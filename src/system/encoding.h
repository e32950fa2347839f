// Text encodings carried by server requests: base 62, lowercase hex, and the
// campaign code hidden in the installer's file name.
#pragma once

#include <string>
#include <string_view>

namespace ostrane {

// Big-endian base-62 digits of the bytes; leading zero bytes contribute nothing.
std::string Base62(std::string_view bytes);

// Two lowercase hexadecimal digits per byte.
std::string HexLower(std::string_view bytes);

// The 7-character code after the last '_' of a program path ("setup_ab1-234.exe" gives
// "ab1-234"); empty unless it is exactly 7 characters long and holds a '-'.
std::wstring CampaignCodeFromPath(std::wstring_view path);

}  // namespace ostrane

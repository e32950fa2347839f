// Links the wizard shows and opens come from the campaign server. Only web pages are
// opened, and campaign text put into link markup cannot add links of its own.
#pragma once

#include <string>
#include <string_view>

namespace ostrane {

// An absolute http or https URL with a host: what the wizard hands to the browser.
// Paths, UNC names, other schemes (file:, javascript:, ms-settings:) and bare names
// are not, nor is anything holding spaces or control characters.
bool IsWebUrl(std::wstring_view url);

// Text for a link control's markup, shown as it is: the control knows no entities, so
// a tag ("<a", "</a") is broken with an invisible zero-width space after its "<".
std::wstring EscapeLinkText(std::wstring_view text);

// A URL for a link's href="…": quotes, angle brackets and white space percent-encoded,
// so the value cannot end the attribute or the tag.
std::wstring EscapeLinkUrl(std::wstring_view url);

}  // namespace ostrane

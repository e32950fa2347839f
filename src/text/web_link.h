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

// Why the wizard does not open a link, in a few words for a log or a campaign writer
// ("does not begin with http:// or https://"); null for a web URL.
const char* WhyNotWebUrl(std::wstring_view url);

// The link up to its query or fragment: what may be written down about it. The rest
// may carry the user's values (an offer's placeholders fill it).
std::wstring_view LinkBeforeQuery(std::wstring_view url);

// Text for a link control's markup, shown as it is: the control knows no entities, so
// a tag ("<a", "</a") is broken with an invisible zero-width space after its "<".
std::wstring EscapeLinkText(std::wstring_view text);

// A URL for a link's href="…": quotes, angle brackets and white space percent-encoded,
// so the value cannot end the attribute or the tag.
std::wstring EscapeLinkUrl(std::wstring_view url);

}  // namespace ostrane

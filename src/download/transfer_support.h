// Portable pieces of the HTTP transfers: header values, redirect targets and the
// texts that failures carry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrane {

// A Content-Length value as a 64-bit count (bodies of 4 GiB and more exist); nothing
// unless it is a plain decimal number that fits.
std::optional<std::uint64_t> ParseContentLength(std::wstring_view text);

// "Download was incomplete: content length: <length>, downloaded: <size>"
std::string IncompleteDownloadText(std::uint64_t length, std::uint64_t size);

// Fills a failure format such as "Failed to connect: %d - %s": %d becomes the code as
// a signed decimal number, %s the system's text for it.
// Whether a file name (from a URL or the campaign) would put the file outside its
// folder: a path separator, a drive or stream colon, "." or "..", or a DOS device
// name ("NUL", "con.exe"), which opens a device instead of a file.
bool LeavesFolder(std::wstring_view name);

std::wstring FormatFailure(std::wstring_view format, std::uint32_t code, std::wstring_view systemText);

// The absolute URL that a redirect's Location names, resolved against the URL that
// answered (servers often send "/path" or "file?x=1"). The fragment is kept; the
// transfer drops it when it builds the request.
std::wstring ResolveLocation(std::wstring_view base, std::wstring_view location);

// Why a transfer must not follow a redirect from `from`, the URL that answered, to what
// `location` names; nothing when it may. Only http and https are followed, and plain
// http only from plain http: a redirect never takes an https transfer to http, while
// a URL the campaign writes as http still goes where it leads. The Location is
// resolved as ResolveLocation does, so a relative or protocol-relative one
// ("//host/path") keeps the scheme of the URL that answered; schemes compare without
// case. The text names the target without its query, which may carry user data.
std::optional<std::string> RedirectRefusal(std::wstring_view from, std::wstring_view location);

// The starts of the refusals' texts.
inline constexpr char kRedirectToHttpRefused[] = "Redirect from https to http refused: ";
inline constexpr char kRedirectToOtherSchemeRefused[] = "Redirect to an address that is not http or https refused: ";

// The file name a URL gives: everything after its last '/', query included; empty
// when there is no '/'.
std::wstring FileNameFromUrl(std::wstring_view url);

// The Zone.Identifier stream a browser leaves on a file it downloaded from the
// Internet (zone 3), the Mark of the Web. HostUrl is the URL without its user info,
// in printable ASCII: any other byte (CR, LF, space, UTF-8 beyond ASCII) is
// percent-encoded, so that the URL stays one line of the stream.
std::string ZoneIdentifierText(std::wstring_view url);

// The name a browser gives the n-th copy of a download: "setup (1).exe", "notes (2)".
// The extension is what follows the last dot, unless the name starts with it.
std::wstring NumberedFileName(std::wstring_view name, int number);

}  // namespace ostrane

// Portable pieces of running a downloaded package: what kind of file it is, the
// folder an archive unpacks into, the URL check and the installer's command line.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace ostrane {

enum class ArchiveType { None = 0, Zip = 1, SevenZip = 2 };

// The type the first bytes of a file announce (up to 6 of them are looked at).
ArchiveType ArchiveTypeOf(std::span<const unsigned char> head);

// What MakeExtractionFolder appends to its folder: "\" and the archive's file name
// without its last extension; empty when the path has no backslash.
std::wstring ExtractionFolderName(std::wstring_view zipPath);

// Whether the whole text, in the thread's ANSI code page, matches
// ^((http|https):\/\/)?([\w.-]+)(\.[\w.-]+)+([\/?#].*)?$ (ECMAScript).
bool IsValidUrl(std::wstring_view url);
// The same check on narrow text.
bool MatchesUrlPattern(std::string_view text);

// The main installer's switches in classic mode: "/S /FORCEINSTALL " and 16 option
// digits taken from the eight option flags.
std::wstring ClassicInstallArguments(const std::array<bool, 8>& flags);

// "\"exe\" arguments": the separating space is there even without arguments.
std::wstring CommandLine(std::wstring_view exe, std::wstring_view arguments);

}  // namespace ostrane

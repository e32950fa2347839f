// Facts about the machine and the running installer that requests carry. None of
// them fails loudly: a fact that cannot be read is an empty string.
#pragma once

#include <windows.h>

#include <string>

namespace ostrane {

// "major.minor.build" from RtlGetVersion (never the compatibility value), or empty.
std::string OsVersionText();
// A 32-bit process on 64-bit Windows.
bool IsWow64();
// The file version of the given module's VERSIONINFO (default: the program), or empty.
std::string InstallerVersionText(HMODULE module = nullptr);
// The campaign code in the running program's file name, or empty.
std::wstring FileNameCampaignCode();
// MD5 of the text in the thread's ANSI code page, 32 lowercase hex digits; empty on failure.
std::string Md5Hex(const std::wstring& text);
// True when the running Windows is at least major.minor with that service pack.
bool IsOsVersionAtLeast(WORD major, WORD minor, WORD servicePackMajor);

}  // namespace ostrane

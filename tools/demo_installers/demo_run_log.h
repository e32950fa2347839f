// What every demo program does first: record that it ran. Tests and the demo read
// the log to see which programs the wizard started, in what order and with what
// arguments.
#pragma once

#include <string>
#include <string_view>

namespace ostrane::demo {

// The variable that names the log file; without it nothing is recorded.
inline constexpr wchar_t kLogVariable[] = L"OSTRANE_DEMO_LOG";

// Appends "<name>: <command line>\n" in UTF-8 to the log. The name never holds a
// colon (file names cannot), so the first ": " ends it.
void RecordRun(std::wstring_view name);

// This program's file name without its folder ("nimbus-notes-setup.exe").
std::wstring ModuleFileName();

// An environment variable's value; empty when it is unset or empty.
std::wstring EnvironmentValue(const wchar_t* name);

}  // namespace ostrane::demo

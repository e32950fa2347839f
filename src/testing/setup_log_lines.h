// The setup log as a Windows test sees it: the test programs' main keeps the lines
// of the running test (and prints them when it fails).
#pragma once

#include <string>
#include <vector>

namespace ostrane::testing {

// The lines the running test's code has written so far, each without its time,
// thread and line ending: "link: not opened (…): www.example.com/privacy".
std::vector<std::string> SetupLogLinesOfThisTest();

}  // namespace ostrane::testing

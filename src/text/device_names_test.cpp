#include "text/device_names.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrane {
namespace {

TEST(DosDeviceNameTest, DevicesInAnyCaseWithOrWithoutAnExtension) {
  const struct {
    const wchar_t* part;
    bool device;
  } cases[] = {
      {L"CON", true},       {L"con", true},        {L"Nul.txt", true},    {L"aux.tar.gz", true},
      {L"PRN ", true},      {L"com1", true},       {L"LPT9.exe", true},   {L"nul .log", true},
      {L"COM0", false},     {L"LPT10", false},     {L"console", false},   {L"nul_", false},
      {L"a.nul", false},    {L"setup.exe", false}, {L"", false},          {L".con", false},
      {L"CO", false},       {L"conx.exe", false},
      // The console's own names, and the ports with a superscript digit: wide text, as the callers pass it.
      {L"CONIN$", true},    {L"conout$.txt", true}, {L"Conin$ .log", true}, {L"CONIN", false},
      {L"CONOUT", false},   {L"conin$x", false},    {L"$CONIN", false},    {L"CONERR$", false},
      {L"COM\u00B9", true},  {L"com\u00B2.exe", true}, {L"LPT\u00B3", true}, {L"lpt\u00B9.txt", true},
      {L"LPT\u00B2 ", true}, {L"COM\u2074", false},   {L"COM\u2070", false}, {L"LPT\u00BC", false},
      {L"COM\u00B9\u00B9", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsDosDeviceName(c.part), c.device) << std::wstring(c.part).size();
}

}  // namespace
}  // namespace ostrane

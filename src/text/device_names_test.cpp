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
  };
  for (const auto& c : cases) EXPECT_EQ(IsDosDeviceName(c.part), c.device) << std::wstring(c.part).size();
}

}  // namespace
}  // namespace ostrane

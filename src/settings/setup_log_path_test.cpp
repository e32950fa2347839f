#include "settings/setup_log_path.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

constexpr wchar_t kDefault[] = L"C:\\Temp\\QuillaraWebSetup_20261211_081502.log";

SetupLogPlace PlaceFor(std::vector<std::wstring> arguments) {
  return SetupLogPlaceFrom(arguments, L"C:\\Temp\\", L"QuillaraWeb", "20261211081502");
}

TEST(SetupLogPathTest, TheSwitchOrTheTempFolder) {
  const struct {
    const char* what;
    std::vector<std::wstring> arguments;
    std::wstring path;
  } cases[] = {
      {"no switch", {L"/S"}, kDefault},
      {"with =", {L"/log=D:\\Support\\run.log"}, L"D:\\Support\\run.log"},
      {"any case", {L"/LOG=D:\\run.log"}, L"D:\\run.log"},
      {"as the next argument", {L"/log", L"D:\\with space\\run.log", L"/S"}, L"D:\\with space\\run.log"},
      {"the last one counts", {L"/log=D:\\a.log", L"/log=D:\\b.log"}, L"D:\\b.log"},
      {"relative", {L"/log=run.log"}, L"run.log"},
      {"a share", {L"/log=\\\\server\\logs\\run.log"}, L"\\\\server\\logs\\run.log"},
      {"a dash", {L"-log=D:\\run.log"}, L"D:\\run.log"},
      {"another switch", {L"/logfile=D:\\run.log"}, kDefault},
      {"no value at the end", {L"/log"}, kDefault},
      {"as the last two arguments", {L"/S", L"/log", L"D:\\run.log"}, L"D:\\run.log"},
      {"a switch is no value", {L"/log", L"/S"}, kDefault},
      {"nor is a dash switch", {L"/log", L"-S"}, kDefault},
  };
  for (const auto& c : cases) {
    const SetupLogPlace place = PlaceFor(c.arguments);
    EXPECT_EQ(place.path, c.path) << c.what;
    EXPECT_TRUE(place.refused.empty()) << c.what;
  }
  EXPECT_EQ(SetupLogPlaceFrom({}, L"C:\\Temp", L"QuillaraWeb", "20261211081502").path, kDefault)
      << "a temp folder without its final separator";
}

// A path that would open a device, a pipe or a folder is not taken: the log goes to the
// temp folder, and says which path it refused.
TEST(SetupLogPathTest, PathsThatAreNoFileAreRefused) {
  const std::wstring hostile[] = {
      L"",
      L"NUL",
      L"con.log",
      L"D:\\logs\\COM1.txt",
      L"D:\\aux\\run.log",
      L"D:\\logs\\lpt9 .log",
      L"\\\\.\\pipe\\ostrane",
      L"\\\\?\\C:\\run.log",
      L"//./PhysicalDrive0",
      L"D:\\logs\\",
      L"D:\\logs/",
  };
  for (const auto& path : hostile) {
    const SetupLogPlace place = PlaceFor({L"/log=" + path});
    EXPECT_EQ(place.path, kDefault) << std::string(path.begin(), path.end());
    EXPECT_EQ(place.refused, path);
  }
}

}  // namespace
}  // namespace ostrane

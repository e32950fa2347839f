// Each test of the user's machine, against a described machine: the reason it is
// reported with, and what lets an offer through.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "eligibility/registry_error.h"
#include "testing/offer_rules_fixture.h"

namespace ostrane {
namespace {

using nlohmann::json;
using Value = DescribedMachine::Value;
constexpr auto HKLM = RegistryRoot::LocalMachine;
constexpr auto HKCU = RegistryRoot::CurrentUser;
constexpr auto Default = RegistryView::Default;
constexpr auto Native64 = RegistryView::Native64;
constexpr wchar_t kAppPaths[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";

class MachineChecksTest : public testing::OfferRulesFixture {};

struct CheckCase {
  const char* what;
  std::function<void(DescribedMachine&)> machine;
  json offer;
  std::string reason;  // "" when the offer passes
};

void RunCases(MachineChecksTest& test, const std::vector<CheckCase>& cases,
              const std::function<std::string(const json&)>& rejectionOf, DescribedMachine& machine) {
  for (const auto& c : cases) {
    machine = DescribedMachine();
    if (c.machine) c.machine(machine);
    EXPECT_EQ(rejectionOf(c.offer), c.reason) << c.what;
  }
  (void)test;
}

TEST_F(MachineChecksTest, RegistryKeysAndValues) {
  const auto vendorKey = [](DescribedMachine& m) { m.AddKey(HKLM, Native64, L"Software\\Vendor\\App"); };
  const std::vector<CheckCase> cases = {
      {"key that must be absent, in the 64-bit view", vendorKey, {{"r", {"Vendor\\App"}}}, "REGISTRY KEY EXISTS"},
      {"key in the 32-bit view, named through wow6432node",
       [](DescribedMachine& m) { m.AddKey(HKLM, Default, L"Software\\Vendor\\App"); },
       {{"r", {"hklm\\software\\wow6432node\\vendor\\app"}}}, "REGISTRY KEY EXISTS"},
      {"entries are lower-cased", vendorKey, {{"r", {"VENDOR\\APP"}}}, "REGISTRY KEY EXISTS"},
      {"absent key passes", vendorKey, {{"r", {"Vendor\\Other"}}}, ""},
      {"an empty entry ends the search", vendorKey, {{"r", {"", "Vendor\\App"}}}, ""},
      {"none of the keys", vendorKey, {{"ir", {"Vendor\\Other", "hkcu\\x"}}}, "NONE OF THE REGISTRY KEYS EXISTS"},
      {"one of the keys", vendorKey, {{"ir", {"Vendor\\Other", "Vendor\\App"}}}, ""},
      {"value that must be absent",
       [](DescribedMachine& m) { m.SetValue(HKCU, Native64, L"Software\\Vendor", L"Installed", {kRegBinary, L"", 0}); },
       {{"rvn", {"vendor\\installed"}}}, "REGISTRY VALUE EXISTS"},
      {"value absent", vendorKey, {{"rvn", {"vendor\\app\\installed"}}}, ""},
      {"string data matches lower-cased",
       [](DescribedMachine& m) { m.SetValue(HKLM, Native64, L"Software\\Vendor", L"Edition", {kRegSz, L"PRO"}); },
       {{"rvd", {"Vendor\\Edition\\Pro"}}}, "REGISTRY VALUE DATA MATCHES"},
      {"string data differs",
       [](DescribedMachine& m) { m.SetValue(HKLM, Native64, L"Software\\Vendor", L"Edition", {kRegSz, L"home"}); },
       {{"rvd", {"Vendor\\Edition\\Pro"}}}, ""},
      {"DWORD data matches",
       [](DescribedMachine& m) { m.SetValue(HKLM, Default, L"Software\\Vendor", L"Level", {kRegDword, L"", 4294967295}); },
       {{"rvd", {"hklm\\software\\wow6432node\\vendor\\level\\4294967295"}}}, "REGISTRY VALUE DATA MATCHES"},
      {"a plus sign is read",
       [](DescribedMachine& m) { m.SetValue(HKLM, Native64, L"Software\\Vendor", L"Level", {kRegDword, L"", 7}); },
       {{"rvd", {"Vendor\\Level\\+7"}}}, "REGISTRY VALUE DATA MATCHES"},
      {"a minus wraps around",
       [](DescribedMachine& m) { m.SetValue(HKLM, Native64, L"Software\\Vendor", L"Level", {kRegDword, L"", 4294967295}); },
       {{"rvd", {"Vendor\\Level\\-1"}}}, "REGISTRY VALUE DATA MATCHES"},
      {"text after the number is ignored",
       [](DescribedMachine& m) { m.SetValue(HKLM, Native64, L"Software\\Vendor", L"Level", {kRegDword, L"", 7}); },
       {{"rvd", {"Vendor\\Level\\ 7 apples"}}}, "REGISTRY VALUE DATA MATCHES"},
      {"QWORD data matches",
       [](DescribedMachine& m) { m.SetValue(HKLM, Native64, L"Software\\Vendor", L"Big", {kRegQword, L"", 1ull << 40}); },
       {{"rvd", {"Vendor\\Big\\1099511627776"}}}, "REGISTRY VALUE DATA MATCHES"},
      {"other types never match",
       [](DescribedMachine& m) { m.SetValue(HKLM, Native64, L"Software\\Vendor", L"Blob", {kRegBinary, L"", 0}); },
       {{"rvd", {"Vendor\\Blob\\0"}}}, ""},
  };
  RunCases(*this, cases, [this](const json& offer) { return RejectionOf(offer); }, machine);
}

TEST_F(MachineChecksTest, Hardware) {
  const std::vector<CheckCase> cases = {
      {"disk query fails", [](DescribedMachine& m) { m.freeDiskMb = {std::nullopt, 21}; }, {{"disk", 1}},
       "DISK SPACE CHECK FAILED 21"},
      {"disk too small", [](DescribedMachine& m) { m.freeDiskMb = {2499, 0}; }, {{"x", 1}}, "NOT ENOUGH DISK SPACE"},
      {"disk enough", [](DescribedMachine& m) { m.freeDiskMb = {2500, 0}; }, {{"x", 1}, {"ram", 0}}, ""},
      {"no disk needed", [](DescribedMachine& m) { m.freeDiskMb = {std::nullopt, 21}; }, {{"disk", 0}}, ""},
      {"memory query fails", [](DescribedMachine& m) { m.memoryMb = {std::nullopt, 8}; }, {{"ram", 1}},
       "RAM CHECK FAILED 8"},
      {"4095 MiB for 4096", [](DescribedMachine& m) { m.memoryMb = {4095, 0}; }, {{"ram", 4096}}, "NOT ENOUGH RAM"},
      {"4096 MiB for 4096", [](DescribedMachine& m) { m.memoryMb = {4096, 0}; }, {{"ram", 4096}}, ""},
      {"processor key missing", [](DescribedMachine& m) { m.processor = {std::nullopt, true}; }, {{"cpu", 1}},
       "CPU CHECK FAILED: Couldn't open registry"},
      {"processor value missing", [](DescribedMachine& m) { m.processor = {std::nullopt, false}; }, {{"cpu", 1}},
       "CPU CHECK FAILED: Couldn't read value"},
      {"processor too slow", [](DescribedMachine& m) { m.processor = {1499, false}; }, {{"x", 3}, {"disk", 0}},
       "NOT ENOUGH CPU"},
      {"requirement beyond 32 bits", nullptr, {{"cpu", 4294967296ull}}, "NOT ENOUGH CPU"},
  };
  RunCases(*this, cases, [this](const json& offer) { return RejectionOf(offer); }, machine);
}

TEST_F(MachineChecksTest, HardwareIsReadOnceAndFailuresAgain) {
  machine.freeDiskMb = {std::nullopt, 5};
  Load({{"a", {{"disk", 1}}}, {"b", {{"disk", 1}}}}, 5);
  EXPECT_EQ(machine.queries["disk"], 2) << "a failed query is not kept";
  machine.queries.clear();
  machine.freeDiskMb = {100, 0};
  const auto outcome = Load({{"a", {{"disk", 1}, {"ram", 1}, {"a", {"x"}}, {"v", 1}}},
                             {"b", {{"disk", 1}, {"ram", 1}, {"a", {"x"}}, {"v", 2}}}},
                            5);
  EXPECT_EQ(outcome.accepted.size(), 2u);
  EXPECT_EQ(machine.queries["disk"], 1);
  EXPECT_EQ(machine.queries["memory"], 1);
  EXPECT_EQ(machine.queries["processes"], 1);
}

TEST_F(MachineChecksTest, WindowsAndInstallerVersions) {
  const auto windows = [](int major, int minor) {
    return [=](DescribedMachine& m) { m.osMajor = major, m.osMinor = minor; };
  };
  // The installer's version is 2.1.0.5 (see the fixture).
  const std::vector<CheckCase> cases = {
      {"62 on Windows 8", windows(6, 2), {{"ov", 62}}, ""},
      {"62 on Windows 7", windows(6, 1), {{"ov", 62}}, "UNSUPPORTED OS VERSION"},
      {"100 on Windows 10", windows(10, 0), {{"ov", 100}}, ""},
      {"unknown code 64", windows(10, 0), {{"ov", 64}}, "UNSUPPORTED OS VERSION"},
      {"no check below 1", windows(5, 1), {{"ov", -3}}, ""},
      {"2.1 passes", nullptr, {{"pv", "2.1"}}, ""},
      {"2.2 rejects", nullptr, {{"pv", "2.2"}}, "UNSUPPORTED PLATFORM VERSION"},
      {"2.1.0.6 rejects", nullptr, {{"pv", "2.1.0.6"}}, "UNSUPPORTED PLATFORM VERSION"},
      {"not a version reads as zeros", nullptr, {{"pv", "beta"}}, ""},
  };
  RunCases(*this, cases, [this](const json& offer) { return RejectionOf(offer); }, machine);
}

TEST(VersionCompareTest, NumbersAsTheRunTimeReadsThem) {
  const struct {
    std::string a, b;
    int sign;
  } cases[] = {
      {"2.1.0.5", "2.1", 1}, {"2.1", "2.1.0.0", 0}, {"2.10", "2.9", 1}, {"1..2", "1.2", 0},
      {" 3x.1", "3.1", 0},   {"", "0", 0},          {"-1", "0", -1},    {"99999999999", "2147483647", 0},
  };
  for (const auto& c : cases) {
    const int result = CompareVersions(c.a, c.b);
    EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a << " vs " << c.b;
  }
}

TEST_F(MachineChecksTest, FilesAndApplications) {
  const auto running = [](DescribedMachine& m) { m.processes = {L"System", L"QLWeb.exe", L"my.tool.exe"}; };
  const auto installed = [](DescribedMachine& m) {
    m.SetValue(HKCU, Native64, std::wstring(kAppPaths) + L"\\Editor.exe", L"", {kRegSz, L"C:\\Editor\\editor.exe"});
    m.AddFile(L"C:\\Editor\\editor.exe");
    m.SetValue(HKLM, Default, std::wstring(kAppPaths) + L"\\gone.exe", L"", {kRegSz, L"C:\\Gone\\gone.exe"});
  };
  const std::vector<CheckCase> cases = {
      {"64-bit Windows required on 32-bit", [](DescribedMachine& m) { m.wow64 = false; }, {{"win64", true}},
       "64 BIT OS REQUIRED"},
      {"64-bit Windows", nullptr, {{"x", 10}}, ""},
      {"file that must be absent", [](DescribedMachine& m) { m.AddFile(L"C:\\Program Files\\App\\app.exe"); },
       {{"fe", {"C:\\Other", "{commonpf}\\App\\app.exe"}}}, "FILE EXISTS"},
      {"none of the files", nullptr, {{"ife", {"{localappdata}\\App"}}}, "NONE OF THE FILES EXISTS"},
      {"one of the files", [](DescribedMachine& m) { m.AddFile(L"C:\\Users\\u\\AppData\\Local\\App"); },
       {{"ife", {"{localappdata}\\App"}}}, ""},
      {"running, named without extension", running, {{"a", {"qlweb"}}}, "APPLICATION RUNNING"},
      {"running, named with extension", running, {{"a", {"QLWEB.EXE"}}}, "APPLICATION RUNNING"},
      {"running, dotted name", running, {{"a", {"my.tool"}}}, "APPLICATION RUNNING"},
      {"not running", running, {{"a", {"qlweb.ex"}}}, ""},
      {"required application missing", installed, {{"iapp", {"editor.exe", "viewer.exe"}}},
       "REGISTRY INCLUDE APP NOT FOUND"},
      {"required application installed", installed, {{"iapp", {"editor.exe"}}}, ""},
      {"required application whose file is gone", installed, {{"iapp", {"gone.exe"}}},
       "REGISTRY INCLUDE APP NOT FOUND"},
      {"excluded application installed", installed, {{"eapp", {"editor.exe"}}}, "REGISTRY EXCLUDE APP FOUND"},
      {"excluded names are not lower-cased", installed, {{"eapp", {"Editor.exe"}}}, ""},
  };
  RunCases(*this, cases, [this](const json& offer) { return RejectionOf(offer); }, machine);
}

TEST_F(MachineChecksTest, SixtyFourBitFoldersAreNotTestedOn32BitWindows) {
  OfferRules rules(5, machine, *settings);
  // A path that still names the 64-bit folder's placeholder is not asked for.
  machine.AddFile(L"C:\\{commonpf64}\\App");
  machine.wow64 = false;
  EXPECT_FALSE(rules.AnyFileExists({L"C:\\{commonpf64}\\App"}));
  machine.wow64 = true;
  EXPECT_TRUE(rules.AnyFileExists({L"C:\\{commonpf64}\\App"}));
}

TEST_F(MachineChecksTest, UninstallAgeChromeAndInternetExplorer) {
  constexpr std::int64_t kDay = 86400;
  const auto uninstalled = [](std::uint64_t at) {
    return [=](DescribedMachine& m) {
      m.SetValue(HKCU, Native64, L"software\\vendor", L"removed", {kRegQword, L"", at});
    };
  };
  const json cmdu = {{"utr", "HKEY_CURRENT_USER"}, {"utk", "Software\\Vendor"}, {"utvn", "Removed"}, {"utvt", "x"}};
  const auto check = [&](int days, bool milliseconds) {
    json entry = cmdu;
    entry["umd"] = days;
    entry["utms"] = milliseconds;
    return json{{"cmdu", {entry}}};
  };
  const std::int64_t now = DescribedMachine().nowSeconds;
  const auto chromeAt = [](const std::wstring& path) { return [=](DescribedMachine& m) { m.AddFile(path); }; };
  const auto ie = [](const wchar_t* version) {
    return [=](DescribedMachine& m) {
      m.SetValue(HKLM, Default, L"SOFTWARE\\Microsoft\\Internet Explorer", L"Version", {kRegSz, version});
    };
  };
  const std::vector<CheckCase> cases = {
      {"removed a day ago, 2 days asked", uninstalled((now - kDay) * 1000), check(2, true), "MIN DAYS UNINSTALL CHECKER"},
      {"removed a day ago, 1 day asked", uninstalled((now - kDay) * 1000), check(1, true), ""},
      {"seconds", uninstalled(now - 10), check(1, false), "MIN DAYS UNINSTALL CHECKER"},
      {"never removed", nullptr, check(1, false), ""},
      {"no Chrome", nullptr, {{"x", 12}}, "NO CHROME"},
      {"Chrome under Program Files", chromeAt(L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe"),
       {{"x", 12}}, ""},
      {"Chrome in its App Paths folder",
       [](DescribedMachine& m) {
         m.SetValue(HKLM, Default, std::wstring(kAppPaths) + L"\\chrome.exe", L"Path", {kRegSz, L"D:\\Chrome"});
         m.AddFile(L"D:\\Chrome\\chrome.exe");
       },
       {{"x", 13}}, "HAVE CHROME"},
      {"Chromium for the user", chromeAt(L"C:\\Users\\u\\AppData\\Local\\Chromium\\Application\\chrome.exe"),
       {{"x", 13}}, "HAVE CHROME"},
      {"IE 8", ie(L"8.0.7601.17514"), {{"x", 2}, {"disk", 0}}, "NO CHROME"},  // Chrome is tested first
      {"IE 8 with Chrome", [&](DescribedMachine& m) {
         ie(L"8.0.7601.17514")(m);
         m.AddFile(L"C:\\Program Files\\Chromium\\Application\\chrome.exe");
       },
       {{"x", 2}}, "OLD IE VERSION"},
      {"IE 9 with Chrome", [&](DescribedMachine& m) {
         ie(L"9.11.9600.18376")(m);
         m.AddFile(L"C:\\Program Files\\Chromium\\Application\\chrome.exe");
       },
       {{"x", 2}}, ""},
  };
  RunCases(*this, cases, [this](const json& offer) { return RejectionOf(offer); }, machine);
}

// Failures the rules let through end the whole load.
TEST_F(MachineChecksTest, BadDataAndBrokenReadsEndTheLoad) {
  machine.SetValue(HKLM, Native64, L"Software\\Vendor", L"Level", {kRegDword, L"", 7});
  EXPECT_THROW(RejectionOf({{"rvd", {"Vendor\\Level\\seven"}}}), std::invalid_argument);
  EXPECT_THROW(RejectionOf({{"rvd", {"Vendor\\Level\\4294967296"}}}), std::out_of_range);
  machine.SetValue(HKCU, Native64, L"Software\\Vendor", L"Removed", {kRegSz, L"yesterday"});
  EXPECT_THROW(RejectionOf({{"cmdu", {{{"utr", "hkey_current_user"}, {"utk", "software\\vendor"}, {"utvn", "removed"},
                                       {"utvt", "REG_SZ"}, {"umd", 1}}}}}),
               std::invalid_argument);
  // An IE version that is no number ends the load with a text of ours, the same with
  // every run-time library.
  machine.SetValue(HKLM, Default, L"SOFTWARE\\Microsoft\\Internet Explorer", L"Version", {kRegSz, L"unknown"});
  machine.AddFile(L"C:\\Program Files\\Chromium\\Application\\chrome.exe");
  try {
    RejectionOf({{"x", 2}});
    ADD_FAILURE() << "an IE version that is no number was taken";
  } catch (const std::invalid_argument& failure) {
    EXPECT_STREQ(failure.what(), "invalid stof argument");
  }
  // A short root name is not a root in an uninstall check.
  EXPECT_THROW(RejectionOf({{"cmdu", {{{"utr", "hkcu"}, {"utk", "software\\vendor"}, {"utvn", "removed"},
                                       {"utvt", "REG_SZ"}, {"umd", 1}}}}}),
               std::out_of_range);
  machine.SetValue(HKLM, Native64, L"Software\\Broken", L"Edition", {kRegSz, L"x"});
  machine.BreakReads(HKLM, Native64, L"Software\\Broken");
  EXPECT_THROW(RejectionOf({{"rvd", {"broken\\edition\\x"}}}), win32::RegistryError);
}

}  // namespace
}  // namespace ostrane

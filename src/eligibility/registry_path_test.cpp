#include "eligibility/registry_path.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace ostrane {
namespace {

using Paths = std::vector<std::wstring>;

TEST(RegistryPathTest, ExpandsRootNamesAndRelativePaths) {
  const struct {
    std::wstring path;
    bool wow64;
    Paths candidates;
  } cases[] = {
      {L"hkcu\\vendor\\app", true, {L"hkey_current_user\\vendor\\app"}},
      {L"hku\\s-1\\x", false, {L"hkey_users\\s-1\\x"}},
      {L"hkey_local_machine\\system\\x", true, {L"hkey_local_machine\\system\\x"}},
      {L"vendor\\app",
       true,
       {L"hkey_local_machine\\software\\vendor\\app", L"hkey_current_user\\software\\vendor\\app",
        L"hkey_local_machine\\software\\wow6432node\\vendor\\app",
        L"hkey_current_user\\software\\wow6432node\\vendor\\app"}},
      {L"vendor\\app", false,
       {L"hkey_local_machine\\software\\vendor\\app", L"hkey_current_user\\software\\vendor\\app"}},
      // Not a root name: upper case, no backslash after the name, or an unknown long name.
      {L"HKLM\\x", false, {L"hkey_local_machine\\software\\HKLM\\x", L"hkey_current_user\\software\\HKLM\\x"}},
      {L"hklmx\\y", false, {L"hkey_local_machine\\software\\hklmx\\y", L"hkey_current_user\\software\\hklmx\\y"}},
      {L"hkey_bogus\\y", false,
       {L"hkey_local_machine\\software\\hkey_bogus\\y", L"hkey_current_user\\software\\hkey_bogus\\y"}},
      {L"", true, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandRegistryPath(c.path, c.wow64), c.candidates) << c.path.c_str();
}

TEST(RegistryPathTest, Wow64ViewOfSoftwarePaths) {
  const struct {
    std::wstring path;
    bool wow64;
    bool skipped;
    std::wstring normalised;
    RegistryView view;
  } cases[] = {
      {L"hkey_local_machine\\software\\wow6432node\\v\\a", true, false, L"hkey_local_machine\\software\\v\\a",
       RegistryView::Default},
      {L"hkey_local_machine\\software\\wow6432node", true, false, L"hkey_local_machine\\software",
       RegistryView::Default},
      {L"hkey_local_machine\\software\\wow6432node\\v", false, true, L"hkey_local_machine\\software\\wow6432node\\v",
       RegistryView::Default},
      {L"hkey_current_user\\software\\v", true, false, L"hkey_current_user\\software\\v", RegistryView::Native64},
      {L"hkey_local_machine\\software\\v", false, false, L"hkey_local_machine\\software\\v", RegistryView::Default},
      // Only software paths are treated.
      {L"hkey_local_machine\\system\\v", true, false, L"hkey_local_machine\\system\\v", RegistryView::Default},
      {L"hkey_local_machine\\SOFTWARE\\v", true, false, L"hkey_local_machine\\SOFTWARE\\v", RegistryView::Default},
  };
  for (const auto& c : cases) {
    std::wstring path = c.path;
    RegistryView view = RegistryView::Default;
    EXPECT_EQ(NormalizeWow64Path(path, view, c.wow64), c.skipped) << c.path.c_str();
    EXPECT_EQ(path, c.normalised) << c.path.c_str();
    EXPECT_EQ(view, c.view) << c.path.c_str();
  }
}

TEST(RegistryPathTest, SplitsAtTheFirstOrLastBackslash) {
  using Halves = std::pair<std::wstring, std::wstring>;
  EXPECT_EQ(SplitAtFirstBackslash(L"a\\b\\c"), (Halves{L"a", L"b\\c"}));
  EXPECT_EQ(SplitAtLastBackslash(L"a\\b\\c"), (Halves{L"a\\b", L"c"}));
  EXPECT_EQ(SplitAtFirstBackslash(L"abc"), (Halves{L"abc", L"abc"}));
  EXPECT_EQ(SplitAtLastBackslash(L"abc"), (Halves{L"abc", L"abc"}));
  EXPECT_EQ(SplitAtLastBackslash(L"a\\"), (Halves{L"a", L""}));
}

TEST(RegistryPathTest, OnlyLongRootNamesAreRoots) {
  EXPECT_EQ(RootFromLongName(L"hkey_current_config"), RegistryRoot::CurrentConfig);
  EXPECT_EQ(RootFromLongName(L"hkey_users"), RegistryRoot::Users);
  for (const std::wstring name : {L"hklm", L"HKEY_LOCAL_MACHINE", L""}) {
    try {
      RootFromLongName(name);
      ADD_FAILURE() << "no error for " << name.c_str();
    } catch (const std::out_of_range& error) {
      EXPECT_STREQ(error.what(), "invalid unordered_map<K, T> key");
    }
  }
}

// A campaign names the marker's key; an installer run as administrator would write
// wherever it says. Each refused row names the check that refuses it.
TEST(RegistryPathTest, TheMarkerGoesOnlyIntoAVendorsKeyBelowSoftware) {
  using namespace std::string_literals;
  const struct {
    std::wstring path;
    const char* refusal;  // a part of the reason; nullptr: written at key, valueName
    std::wstring key = {};
    std::wstring valueName = {};
  } cases[] = {
      {L"SOFTWARE\\Vendor\\App\\Next", nullptr, L"SOFTWARE\\Vendor\\App", L"Next"},
      {L"software\\vendor\\next", nullptr, L"software\\vendor", L"next"},
      {L"SOFTWARE\\Vendor\\", nullptr, L"SOFTWARE\\Vendor", L""},
      {L"SOFTWARE\\WOW6432Node\\Vendor\\Next", nullptr, L"SOFTWARE\\WOW6432Node\\Vendor", L"Next"},
      {L"SOFTWARE\\PoliciesX\\Next", nullptr, L"SOFTWARE\\PoliciesX", L"Next"},
      {L"SOFTWARE\\Vendor\\Policies\\Next", nullptr, L"SOFTWARE\\Vendor\\Policies", L"Next"},
      {L"SOFTWARE\\Vendor\\a/b", nullptr, L"SOFTWARE\\Vendor", L"a/b"},  // a value's name is no path

      {L"", "no path"},
      {L"Next", "no key"},
      {L"SOFTWARE\\Policies\\Microsoft\\Windows Defender\\DisableAntiSpyware", "in SOFTWARE\\Policies,"},
      {L"SOFTWARE\\Policies\\Next", "in SOFTWARE\\Policies,"},
      {L"SOFTWARE\\Policies\\", "in SOFTWARE\\Policies,"},
      {L"sOfTwArE\\pOLICIES\\Next", "in SOFTWARE\\Policies,"},
      {L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\Next", "in SOFTWARE\\Microsoft,"},
      {L"SOFTWARE\\Classes\\exefile\\shell\\Next", "in SOFTWARE\\Classes,"},
      {L"SOFTWARE\\WOW6432Node\\Policies\\Next", "in SOFTWARE\\WOW6432Node\\Policies,"},
      {L"SOFTWARE\\wow6432node\\MICROSOFT\\Next", "in SOFTWARE\\WOW6432Node\\Microsoft,"},
      {L"SOFTWARE\\WOW6432Node\\Classes\\Next", "in SOFTWARE\\WOW6432Node\\Classes,"},
      {L"SOFTWARE\\WOW6432Node\\WOW6432Node\\Policies\\Next", "in SOFTWARE\\WOW6432Node\\WOW6432Node,"},
      // Upper-cased, dotless i and long s are I and S.
      {L"SOFTWARE\\Pol\u0131cies\\Next", "in SOFTWARE\\Policies,"},
      {L"SOFTWARE\\Cla\u017Fses\\Next", "in SOFTWARE\\Classes,"},
      {L"SOFTWARE\\Next", "SOFTWARE itself"},
      {L"SOFTWARE\\WOW6432Node\\Next", "SOFTWARE itself"},
      {L"SOFTWAREX\\Vendor\\Next", "not below HKLM\\SOFTWARE"},
      {L"SYSTEM\\CurrentControlSet\\Services\\Next", "not below HKLM\\SOFTWARE"},
      {L"\\SOFTWARE\\Vendor\\Next", "empty key name"},
      {L"SOFTWARE\\\\Policies\\Next", "empty key name"},
      {L"SOFTWARE\\Vendor\\\\Next", "empty key name"},
      {L"SOFTWARE\\Vendor\\..\\Policies\\Next", "\"..\" key name"},
      {L"SOFTWARE\\.\\Policies\\Next", "\"..\" key name"},
      {L"SOFTWARE\\Policies/Microsoft\\Next", "forward slash"},
      {L"SOFTWARE\\Policies\0Vendor\\Next"s, "NUL"},
      {L"SOFTWARE\\Vendor\\Next\0"s, "NUL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.path));
    const MarkerPath marker = CheckMarkerPath(c.path);
    if (c.refusal == nullptr) {
      EXPECT_EQ(marker.refusal, "");
      EXPECT_EQ(marker.key, c.key);
      EXPECT_EQ(marker.valueName, c.valueName);
    } else {
      EXPECT_NE(marker.refusal.find(c.refusal), std::string::npos) << marker.refusal;
    }
  }
}

}  // namespace
}  // namespace ostrane

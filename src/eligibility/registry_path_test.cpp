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

}  // namespace
}  // namespace ostrane

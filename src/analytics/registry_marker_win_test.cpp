// The partner's date marker in the real registry, where a 32-bit installer on 64-bit
// Windows puts it: the 32-bit view of HKLM.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "campaign/package.h"
#include "system/text_convert.h"
#include "winui/unique_handle.h"

namespace ostrane {
namespace {

using nlohmann::json;

std::shared_ptr<Package> PartnerOffer(const std::string& registryPath) {
  const json offer = {{"ad", {{"o", "pn"}, {"f", "flow-pn"}}},
                      {"ps",
                       {{"i", "pn.png"},
                        {"dn", "Partner"},
                        {"u", "https://localhost/f/pn.exe"},
                        {"pn", true},
                        {"pnr", registryPath}}}};
  return std::make_shared<Package>(RequestContext{}, offer, OfferSources{}, 0);
}

// yyyymmdd of the moment in the C runtime's local time, the offer rules' "today".
DWORD LocalDate(std::time_t moment) {
  std::tm local{};
  if (localtime_s(&local, &moment) != 0) return 0;
  return (local.tm_year + 1900) * 10000u + (local.tm_mon + 1) * 100u + local.tm_mday;
}

// The C runtime's time zone set for a scope. Windows syntax: a three-letter name, then
// the hours to add to local time for UTC ("KIR-14" is 14 hours east).
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const wchar_t* zone) {
    if (const wchar_t* previous = _wgetenv(L"TZ")) previous_ = previous;
    _wputenv_s(L"TZ", zone);
    _tzset();
  }
  ~ScopedTimeZone() {
    _wputenv_s(L"TZ", previous_ ? previous_->c_str() : L"");
    _tzset();
  }

 private:
  std::optional<std::wstring> previous_;
};

constexpr std::time_t kHalfAYear = 180 * 86400;

// The code under test makes the tree under the top key: it is removed from both views
// at the end, wherever it went.
class RegistryMarkerTest : public ::testing::Test {
 protected:
  ~RegistryMarkerTest() override {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      win::UniqueHkey key;
      if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, top_.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) == ERROR_SUCCESS) {
        ::RegDeleteTreeW(key.get(), nullptr);
        key.reset();
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, top_.c_str(), view, 0);
      }
    }
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, stray_.c_str());
    ::RegDeleteValueW(HKEY_LOCAL_MACHINE, stray_.c_str());
  }

  void SetUp() override {
    ASSERT_FALSE(Exists(KEY_WOW64_32KEY));
    ASSERT_FALSE(Exists(KEY_WOW64_64KEY));
  }

  bool Exists(REGSAM view, const std::wstring& below = {}) const {
    win::UniqueHkey key;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (top_ + below).c_str(), 0, KEY_READ | view, key.put()) ==
           ERROR_SUCCESS;
  }

  // A DWORD value as stored (type and size checked); nothing when it is not one.
  std::optional<DWORD> ReadDword(const std::wstring& below, const wchar_t* name) const {
    win::UniqueHkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (top_ + below).c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY,
                        key.put()) != ERROR_SUCCESS)
      return std::nullopt;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
      return std::nullopt;
    return value;
  }

  const std::wstring top_ = L"SOFTWARE\\OstraneMarkerTest-" + std::to_wstring(::GetCurrentProcessId());
  // A name for paths without a key: unique, so that a stray write shows.
  const std::wstring stray_ = L"OstraneMarkerTest-" + std::to_wstring(::GetCurrentProcessId()) + L"-NextOffer";
};

TEST_F(RegistryMarkerTest, WritesTheLocalDateHalfAYearOnIntoThe32BitView) {
  const struct {
    const char* name;
    const wchar_t* below;  // the path after the top key
    const wchar_t* value;
  } cases[] = {
      {"named value", L"\\App\\NextOffer", L"NextOffer"},
      {"trailing backslash: the key's default value", L"\\Default\\", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto partner = PartnerOffer(WideToUtf8(top_ + c.below));
    const std::time_t before = std::time(nullptr);
    ASSERT_TRUE(partner->WriteRegistryDateMarker());
    const std::time_t after = std::time(nullptr);

    const std::wstring below(c.below);
    const auto date = ReadDword(below.substr(0, below.rfind(L'\\')), c.value);
    ASSERT_TRUE(date.has_value());
    // Midnight may pass during the call.
    EXPECT_TRUE(*date == LocalDate(before + kHalfAYear) || *date == LocalDate(after + kHalfAYear)) << *date;
  }
  EXPECT_FALSE(Exists(KEY_WOW64_64KEY)) << "written into the 64-bit view";
}

TEST_F(RegistryMarkerTest, NoonOnNewYearsDayIsHeldUntilTheLastDayOfJune) {
  std::tm noon{};
  noon.tm_year = 2025 - 1900;
  noon.tm_mon = 0;
  noon.tm_mday = 1;
  noon.tm_hour = 12;
  noon.tm_isdst = -1;
  const std::time_t now = std::mktime(&noon);
  ASSERT_NE(now, static_cast<std::time_t>(-1));
  ASSERT_TRUE(PartnerOffer(WideToUtf8(top_ + L"\\App\\NextOffer"))->WriteRegistryDateMarker(now));
  EXPECT_EQ(ReadDword(L"\\App", L"NextOffer"), 20250630u);
}

TEST_F(RegistryMarkerTest, DateIsTheLocalOneWhereItDiffersFromUtc) {
  ScopedTimeZone kiribati(L"KIR-14");
  const std::time_t noonUtc = 1735732800;  // 2025-01-01 12:00 UTC: 2025-01-02 02:00 at UTC+14
  ASSERT_TRUE(PartnerOffer(WideToUtf8(top_ + L"\\App\\NextOffer"))->WriteRegistryDateMarker(noonUtc));
  EXPECT_EQ(ReadDword(L"\\App", L"NextOffer"), 20250701u);
}

TEST_F(RegistryMarkerTest, PathsWithoutAKeyWriteNothing) {
  const std::wstring& name = stray_;
  const struct {
    const char* label;
    std::wstring path;
  } cases[] = {
      {"empty", L""},
      {"no backslash", name},
      {"leading backslash", L"\\" + name},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_FALSE(PartnerOffer(WideToUtf8(c.path))->WriteRegistryDateMarker());
    // Neither a key of that name nor a value of HKLM itself.
    win::UniqueHkey key;
    EXPECT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, name.c_str(), 0, KEY_READ, key.put()), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(::RegQueryValueExW(HKEY_LOCAL_MACHINE, name.c_str(), nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
  }
}

// A campaign may name any path; the installer, run as administrator, must not set a
// policy with it. The refused keys get the test's unique name, so that a write shows
// and is removed again.
class RefusedMarkerTest : public ::testing::Test {
 protected:
  ~RefusedMarkerTest() override {
    for (const std::wstring& key : Keys())
      for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), view, 0);
  }

  std::vector<std::wstring> Keys() const {
    return {L"SOFTWARE\\Policies\\" + name_, L"SOFTWARE\\WOW6432Node\\Policies\\" + name_,
            L"SOFTWARE\\Microsoft\\" + name_};
  }

  // In either view of HKLM.
  static bool Exists(const std::wstring& key) {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      win::UniqueHkey opened;
      if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, opened.put()) == ERROR_SUCCESS)
        return true;
    }
    return false;
  }

  const std::wstring name_ = L"OstraneMarkerTest-" + std::to_wstring(::GetCurrentProcessId());
};

TEST_F(RefusedMarkerTest, NothingIsWrittenIntoTheSystemsBranches) {
  for (const std::wstring& key : Keys()) ASSERT_FALSE(Exists(key)) << WideToUtf8(key);
  const std::string name = WideToUtf8(name_);
  const struct {
    const char* what;
    std::string pnr;
    std::string flow;  // {of}
  } cases[] = {
      {"Policies", "SOFTWARE\\Policies\\" + name + "\\Next", "flow"},
      {"its 32-bit twin", "SOFTWARE\\WOW6432Node\\Policies\\" + name + "\\Next", "flow"},
      {"Microsoft in another case", "software\\MICROSOFT\\" + name + "\\Next", "flow"},
      {"through a placeholder", "SOFTWARE\\{of}\\" + name + "\\Next", "Policies"},
      {"through a doubled backslash", "SOFTWARE\\\\Policies\\" + name + "\\Next", "flow"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const json offer = {{"ad", {{"o", "pn"}, {"f", c.flow}}},
                        {"ps",
                         {{"i", "pn.png"}, {"dn", "Partner"}, {"u", "https://localhost/f/pn.exe"}, {"pn", true},
                          {"pnr", c.pnr}}}};
    const auto partner = std::make_shared<Package>(RequestContext{}, offer, OfferSources{}, 0);
    EXPECT_FALSE(partner->WriteRegistryDateMarker());
    for (const std::wstring& key : Keys()) EXPECT_FALSE(Exists(key)) << WideToUtf8(key);
  }
}

}  // namespace
}  // namespace ostrane

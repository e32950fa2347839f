#include "campaign/package.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "system/encoding.h"
#include "testing/sample_request.h"

namespace ostrane {
namespace {

using nlohmann::json;

using testing::kSampleGuid;
using testing::kSampleTimestamp;

OfferSources Sources() {
  OfferSources sources;
  sources.machineGuid = kSampleGuid;
  sources.timestamp = kSampleTimestamp;
  sources.countryCode = "US";
  sources.publisherId = "pub-7";
  sources.brand = L"Quillara";
  sources.productId = L"QuillaraWeb";
  sources.brandMd5 = "0123456789abcdef0123456789abcdef";
  sources.osMajorMinor = "10.0";
  sources.pathPlaceholders.Insert(L"commonpf", L"{commonpf64}");
  sources.pathPlaceholders.Insert(L"localappdata", L"C:\\Users\\u\\AppData\\Local");
  sources.pathPlaceholders.Insert(L"commonpf64", L"C:\\Program Files");
  sources.currentTimeMillis = [] { return std::string("1700000000123"); };
  return sources;
}

RequestContext Context() { return testing::SampleRequestContext(); }

// The smallest offer that loads; tests lay their keys over "ps".
json Offer(const json& settings = json::object(), const json& analytics = {{"o", "offer-a"}, {"f", "flow-a"}}) {
  json ps = {{"i", "pic-a.png"}, {"dn", "Offer A"}, {"u", "https://partner.test/a.exe"}};
  ps.update(settings);
  return json{{"ad", analytics}, {"ps", ps}};
}

Package Make(const json& offer, int position = 0, const std::string& defaultChannel = {}) {
  return Package(Context(), offer, Sources(), position, defaultChannel);
}

TEST(PackageTest, EveryKeyReachesItsMember) {
  const json settings = {
      {"p", "/quiet"},  {"cp", "https://p.test/privacy"}, {"ctu", "https://p.test/terms"}, {"c", "ch-9"},
      {"v", 4},         {"exc", true},                     {"disk", 100},                   {"ram", 200},
      {"cpu", 300},     {"ov", 62},                        {"pv", "4.5"},                   {"win64", true},
      {"fe", {"{commonpf}\\A\\a.exe"}},                     {"ife", {"{localappdata}\\B"}},
      {"a", {"chrome.exe"}},                               {"r", {"HKLM\\Software\\A"}},    {"ir", {"HKCU\\B"}},
      {"rvn", {"HKLM\\C\\v"}},                             {"rvd", {"HKLM\\D\\v\\data"}},
      {"eapp", {"x.exe"}},                                 {"iapp", {"y.exe"}},
      {"cmdu", {{{"utr", "HKLM"}, {"utk", "Software\\E"}, {"utvn", "t"}, {"utvt", "REG_QWORD"}, {"umd", 30},
                 {"utms", true}}}},
  };
  const Package package = Make(Offer(settings), 2);
  EXPECT_FALSE(package.m_isMainProduct);
  EXPECT_EQ(package.m_analyticsId, "offer-a");
  EXPECT_EQ(package.m_analyticsFlow, "flow-a");
  EXPECT_EQ(package.m_id, "pic-a.png");
  EXPECT_EQ(package.m_displayName, "Offer A");
  EXPECT_EQ(package.m_url, "https://partner.test/a.exe");
  EXPECT_EQ(package.m_arguments, "/quiet");
  EXPECT_EQ(package.m_privacyUrl, "https://p.test/privacy");
  EXPECT_EQ(package.m_termsUrl, "https://p.test/terms");
  EXPECT_EQ(package.m_channel, "ch-9");
  EXPECT_EQ(package.m_vertical, 4);
  EXPECT_TRUE(package.m_exclusive);
  EXPECT_EQ(package.m_minDiskMb, 100u);
  EXPECT_EQ(package.m_minRamMb, 200u);
  EXPECT_EQ(package.m_minCpuMhz, 300u);
  EXPECT_EQ(package.m_minOsVersion, 62);
  EXPECT_EQ(package.m_platformVersion, "4.5");
  EXPECT_TRUE(package.m_requires64BitOs);
  EXPECT_EQ(package.m_position, 2);
  EXPECT_EQ(package.m_filesMustBeAbsent, std::vector<std::wstring>{L"C:\\Program Files\\A\\a.exe"});
  EXPECT_EQ(package.m_filesAnyPresent, std::vector<std::wstring>{L"C:\\Users\\u\\AppData\\Local\\B"});
  EXPECT_EQ(package.m_blockingProcesses, std::vector<std::string>{"chrome.exe"});
  EXPECT_EQ(package.m_registryKeysAbsent, std::vector<std::wstring>{L"HKLM\\Software\\A"});
  EXPECT_EQ(package.m_registryKeysAnyPresent, std::vector<std::wstring>{L"HKCU\\B"});
  EXPECT_EQ(package.m_registryValuesAbsent, std::vector<std::wstring>{L"HKLM\\C\\v"});
  EXPECT_EQ(package.m_registryValueData, std::vector<std::wstring>{L"HKLM\\D\\v\\data"});
  EXPECT_EQ(package.m_excludedApps, std::vector<std::wstring>{L"x.exe"});
  EXPECT_EQ(package.m_requiredApps, std::vector<std::wstring>{L"y.exe"});
  ASSERT_EQ(package.m_uninstallChecks.size(), 1u);
  const UninstallCheck& check = package.m_uninstallChecks[0];
  EXPECT_EQ(check.root, L"HKLM");
  EXPECT_EQ(check.key, L"Software\\E");
  EXPECT_EQ(check.valueName, L"t");
  EXPECT_EQ(check.valueType, L"REG_QWORD");
  EXPECT_EQ(check.minDays, 30);
  EXPECT_TRUE(check.inMilliseconds);
  EXPECT_FALSE(package.m_pn.enabled);
  EXPECT_FALSE(package.m_stopSending);
  EXPECT_EQ(package.m_pendingEvents, 0);
}

TEST(PackageTest, OptionalKeysDefault) {
  const Package package = Make(Offer(), 0, "default-channel");
  EXPECT_EQ(package.m_arguments, "");
  EXPECT_EQ(package.m_channel, "default-channel");
  EXPECT_EQ(package.m_vertical, 0);
  EXPECT_FALSE(package.m_exclusive);
  EXPECT_EQ(package.m_minDiskMb + package.m_minRamMb + package.m_minCpuMhz, 0u);
  EXPECT_EQ(package.m_minOsVersion, 0);
  EXPECT_FALSE(package.m_requires64BitOs || package.m_requireChrome || package.m_rejectIfChrome ||
               package.m_checkIeVersion);
  EXPECT_TRUE(package.m_filesMustBeAbsent.empty() && package.m_uninstallChecks.empty());
  EXPECT_EQ(package.m_showLimits.maxBefore, INT_MAX);
  EXPECT_EQ(package.m_showLimits.maxAfter, INT_MAX);
  EXPECT_EQ(package.m_showLimits.maxOnly, INT_MAX);
  EXPECT_FALSE(package.m_uninstallChecks.size() || package.m_showLimits.skipAllAfterDecline ||
               package.m_showLimits.skipIfEarlierDeclined);
}

TEST(PackageTest, PresetsOverrideTheKeysBeforeThem) {
  struct Expected {
    std::uint64_t disk, ram, cpu;
    bool win64, chrome, noChrome, ie;
  };
  const struct {
    json x;
    Expected expected;
  } cases[] = {
      {1, {2500, 250, 3000, false, false, false, false}},
      {2, {1, 4096, 3000, false, true, false, true}},
      {3, {512, 1536, 1500, false, false, false, false}},
      {10, {1, 4096, 3000, true, false, false, false}},
      {12, {1, 4096, 3000, false, true, false, false}},
      {13, {1, 4096, 3000, false, false, true, false}},
      {7, {1, 4096, 3000, false, false, false, false}},
      {3.7, {512, 1536, 1500, false, false, false, false}},  // a number of any kind
  };
  for (const auto& c : cases) {
    const Package package = Make(Offer({{"disk", 1}, {"ram", 4096}, {"cpu", 3000}, {"x", c.x}}));
    const Expected& e = c.expected;
    EXPECT_EQ(package.m_minDiskMb, e.disk) << c.x;
    EXPECT_EQ(package.m_minRamMb, e.ram) << c.x;
    EXPECT_EQ(package.m_minCpuMhz, e.cpu) << c.x;
    EXPECT_EQ(package.m_requires64BitOs, e.win64) << c.x;
    EXPECT_EQ(package.m_requireChrome, e.chrome) << c.x;
    EXPECT_EQ(package.m_rejectIfChrome, e.noChrome) << c.x;
    EXPECT_EQ(package.m_checkIeVersion, e.ie) << c.x;
  }
}

TEST(PackageTest, NumbersOfEveryKindAndBooleansWhereAnIntIsAsked) {
  const struct {
    json value;
    int vertical;
    std::uint64_t disk;
  } cases[] = {
      {3, 3, 3},
      {-1, -1, UINT64_MAX},  // as the JSON library converts a negative integer
      {2.9, 2, 2},
      // Floating-point values outside the range are held at its ends.
      {1e30, INT_MAX, UINT64_MAX},
      {-1e30, INT_MIN, 0},
  };
  for (const auto& c : cases) {
    const Package package = Make(Offer({{"v", c.value}, {"disk", c.value}}));
    EXPECT_EQ(package.m_vertical, c.vertical) << c.value;
    EXPECT_EQ(package.m_minDiskMb, c.disk) << c.value;
  }
  // The JSON library takes a boolean for an int, not for a 64-bit unsigned number.
  EXPECT_EQ(Make(Offer({{"v", true}, {"ov", false}})).m_vertical, 1);
  EXPECT_THROW(Make(Offer({{"disk", true}})), json::type_error);
}

TEST(PackageTest, TrustFieldsAreKeptAsTheCampaignGivesThem) {
  const std::string digest = "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855";
  const Package named = Make(Offer({{"sha256", digest}, {"signer", "Partner Ltd"}}));
  EXPECT_EQ(named.m_trust.sha256, digest);
  EXPECT_EQ(named.m_trust.signer, "Partner Ltd");
  const Package plain = Make(Offer());
  EXPECT_TRUE(plain.m_trust.sha256.empty());
  EXPECT_TRUE(plain.m_trust.signer.empty());
}

TEST(PackageTest, MalformedOffersFailWithTheJsonLibrarysErrors) {
  const struct {
    const char* what;
    json offer;
    bool outOfRange;  // else a type error
  } cases[] = {
      {"no ad", json{{"ps", Offer()["ps"]}}, true},
      {"no ps", json{{"ad", Offer()["ad"]}}, true},
      {"no ad.o", Offer(json::object(), {{"f", "x"}}), true},
      {"no dn", [] { json o = Offer(); o["ps"].erase("dn"); return o; }(), true},
      {"no u", [] { json o = Offer(); o["ps"].erase("u"); return o; }(), true},
      {"cmdu without umd", Offer({{"cmdu", {{{"utr", "a"}, {"utk", "b"}, {"utvn", "c"}, {"utvt", "d"}}}}}), true},
      {"dn a number", Offer({{"dn", 5}}), false},
      {"ad.o a number", Offer(json::object(), {{"o", 1}, {"f", "x"}}), false},
      {"v a string", Offer({{"v", "3"}}), false},
      {"exc a number", Offer({{"exc", 1}}), false},
      {"fe a string", Offer({{"fe", "C:\\x"}}), false},
      {"r with a number", Offer({{"r", {"ok", 2}}}), false},
      {"cmdu an object", Offer({{"cmdu", {{"utr", "a"}}}}), false},
      {"ps an array", json{{"ad", Offer()["ad"]}, {"ps", json::array()}}, false},
      {"pn a string", Offer({{"pn", "yes"}}), false},
      {"cfs a number", Offer({{"pn", true}, {"cfs", 5}}), false},
      {"cfs.ab a string", Offer({{"pn", true}, {"cfs", {{"ab", "x"}}}}), false},
      {"pnrp default a number", Offer({{"pn", true}, {"pnrp", {{"default", 1}}}}), false},
      {"pnrp selection a number", Offer({{"pn", true}, {"pnrp", {{"10.0", 1}, {"default", "b"}}}}), false},
      {"sha256 of 63 digits", Offer({{"sha256", std::string(63, 'a')}}), false},
      {"sha256 not hexadecimal", Offer({{"sha256", std::string(63, 'a') + "z"}}), false},
      {"sha256 a number", Offer({{"sha256", 1}}), false},
      {"signer empty", Offer({{"signer", ""}}), false},
      {"signer an array", Offer({{"signer", {"Partner Ltd"}}}), false},
  };
  for (const auto& c : cases) {
    if (c.outOfRange) {
      EXPECT_THROW(Make(c.offer), json::out_of_range) << c.what;
    } else {
      EXPECT_THROW(Make(c.offer), json::type_error) << c.what;
    }
  }
}

TEST(PackageTest, PnBlockAndShowLimits) {
  const json settings = {
      {"pn", true},
      {"pnau", "https://pn.test/api"},
      {"pnak", "key-1"},
      {"pnr", "HKCU\\Software\\PN\\{installer}{of}"},
      {"pnop", "opt"},
      {"pnsi", true},
      {"la", "de"},
      {"sp", "/stub {pnrparam} {pnapikey}"},
      {"pnrp", {{"10.0", "win10"}, {"default", "other"}}},
      {"cfs", {{"mb", 1}, {"ab", {"x1"}}, {"ma", 2}, {"aa", {"y1", "y2"}}, {"mo", 0}, {"saad", true}, {"sied", true}}},
  };
  const Package package = Make(Offer(settings));
  EXPECT_TRUE(package.m_pn.enabled);
  EXPECT_EQ(package.m_pn.apiUrl, "https://pn.test/api");
  EXPECT_EQ(package.m_pn.apiKey, "key-1");
  // Expanded before the block's own entries exist.
  EXPECT_EQ(package.m_pn.registryPath, "HKCU\\Software\\PN\\{installer}flow-a");
  EXPECT_EQ(package.m_pn.option, "opt");
  EXPECT_TRUE(package.m_pn.silent);
  EXPECT_EQ(package.m_pn.language, "de");
  // {pnrparam} is known to "sp"; {pnapikey} is not yet.
  EXPECT_EQ(package.m_pn.stubParameters, "/stub win10 {pnapikey}");
  const ShowLimits& limits = package.m_showLimits;
  EXPECT_EQ(limits.maxBefore, 1);
  EXPECT_EQ(limits.allowedBefore, std::vector<std::string>{"x1"});
  EXPECT_EQ(limits.maxAfter, 2);
  EXPECT_EQ(limits.allowedAfter, (std::vector<std::string>{"y1", "y2"}));
  EXPECT_EQ(limits.maxOnly, 0);
  EXPECT_TRUE(limits.skipAllAfterDecline);
  EXPECT_TRUE(limits.skipIfEarlierDeclined);

  // Without "pn" the block and the limits are not read at all.
  json off = settings;
  off["pn"] = false;
  off["cfs"] = 5;
  const Package plain = Make(Offer(off));
  EXPECT_FALSE(plain.m_pn.enabled);
  EXPECT_EQ(plain.m_pn.apiKey, "");
  EXPECT_EQ(plain.m_showLimits.maxBefore, INT_MAX);
  EXPECT_EQ(plain.m_placeholders.Find("pnrparam"), nullptr);
}

TEST(PackageTest, PnrpIsChosenByTheWindowsVersion) {
  const struct {
    std::string os;
    json pnrp;
    std::string chosen;
  } cases[] = {
      {"10.0", {{"10.0", "a"}, {"default", "b"}}, "a"},
      {"6.1", {{"10.0", "a"}, {"default", "b"}}, "b"},
      {"10.0", {{"6.1", "c"}}, ""},
      {"", {{"10.0", "a"}, {"default", "b"}}, "b"},  // version unreadable
      {"10.0", "not an object", ""},
      {"10.0", nullptr, ""},
  };
  for (const auto& c : cases) {
    OfferSources sources = Sources();
    sources.osMajorMinor = c.os;
    json settings = {{"pn", true}};
    if (!c.pnrp.is_null()) settings["pnrp"] = c.pnrp;
    const Package package(Context(), Offer(settings), sources, 0);
    ASSERT_NE(package.m_placeholders.Find("pnrparam"), nullptr);
    EXPECT_EQ(*package.m_placeholders.Find("pnrparam"), c.chosen) << c.os << " " << c.pnrp;
  }
}

TEST(PackageTest, EachTextSeesThePlaceholdersMadeBeforeIt) {
  const json settings = {
      {"u", "https://p.test/{userid}/{pnsid}?cc={cc}&a={aflt}&pub={pubid}&f={of}&px={pxl}"},
      {"i", "{of}.png"},
      {"pn", true},
      {"pnop", "opt"},
      {"p", "/sid={pnsid} /op={pnop} /acc={account} /inst={installer} /md5={account_md5}"},
      {"c", "{sessionid}"},
      {"dn", "{ispb}"},
  };
  const Package package = Make(Offer(settings));
  const std::string pixel = Base62(std::string(kSampleGuid) + "|offer-a|" + kSampleTimestamp);
  ASSERT_FALSE(pixel.empty());
  // {pnsid} does not exist yet when "u" is read.
  EXPECT_EQ(package.m_url, std::string("https://p.test/") + kSampleGuid + "/{pnsid}?cc=US&a=91088&pub=pub-7&f=flow-a&px=" + pixel);
  EXPECT_EQ(package.m_id, "flow-a.png");
  EXPECT_EQ(package.m_arguments,
            "/sid=1700000000123 /op=opt /acc=Quillara /inst=QuillaraWeb /md5=0123456789abcdef0123456789abcdef");
  EXPECT_EQ(package.m_channel, kSampleTimestamp);
  EXPECT_EQ(package.m_displayName, "{ispb}");  // no "cb" in this campaign
}

TEST(PackageTest, CommonPlaceholdersSkipMissingFacts) {
  OfferSources sources = Sources();
  sources.countryCode.clear();
  sources.publisherId.clear();
  sources.machineGuid.clear();
  sources.bundleCode = "bundle";
  sources.brand.clear();
  const Package package(Context(), Offer({{"u", "{cc}|{aflt}|{pubid}|{userid}|{ispb}|{account_md5}"}}), sources, 0);
  EXPECT_EQ(package.m_url, "{cc}|91082|{pubid}|{userid}|bundle|{account_md5}");
}

TEST(PackageTest, AValueHoldingItsOwnTokenIsInsertedOnce) {
  const Package package = Make(Offer({{"pn", true}, {"pnop", "<{pnop}>"}, {"p", "a {pnop} b {pnop}"}}));
  EXPECT_EQ(package.m_arguments, "a <{pnop}> b <{pnop}>");
}

// The setup log, which people attach to support tickets, shows an offer's arguments
// as the campaign wrote them and names the placeholders filled in, never their values.
TEST(PackageTest, LoggedArgumentsAreAsWrittenWithTheNamesOfWhatWasFilled) {
  const std::string pixel = Base62(std::string(kSampleGuid) + "|offer-a|" + kSampleTimestamp);
  const struct {
    const char* what;
    json settings;
    std::string logged;
  } cases[] = {
      {"machine, run and pixel",
       {{"p", "/uid={userid} /s={sessionid}\r\n/px={pxl} /n={nope} /uid2={userid}"}},
       "/uid={userid} /s={sessionid}\r\n/px={pxl} /n={nope} /uid2={userid}"
       " (as the campaign wrote them; placeholders filled: userid, sessionid, pxl)"},
      // The stub parameters' value holds {pnsid}, which the same pass fills later.
      {"a value holding a later token", {{"pn", true}, {"sp", "/t={pnsid}"}, {"p", "{pnstubparams}"}},
       "{pnstubparams} (as the campaign wrote them; placeholders filled: pnstubparams, pnsid)"},
      {"nothing to fill", {{"p", "/quiet {nope}"}}, "/quiet {nope}"},
      {"no arguments", json::object(), ""},
  };
  for (const auto& c : cases) {
    const Package package = Make(Offer(c.settings));
    const auto logged = package.LoggedArguments();
    ASSERT_TRUE(logged.has_value()) << c.what;
    EXPECT_EQ(*logged, c.logged) << c.what;
    for (const std::string& value : {std::string(kSampleGuid), std::string(kSampleTimestamp), pixel,
                                     std::string("1700000000123")})
      EXPECT_EQ(logged->find(value), std::string::npos) << c.what << ": " << value;
  }
  const Package product(Context(), L"QuillaraWeb", L"", L"Quillara Web", L"");
  EXPECT_FALSE(product.LoggedArguments().has_value()) << "the product's own arguments are logged as they are";
}

TEST(PackageTest, MainProductTakesItsTextsInTheAnsiCodePage) {
  const Package package(Context(), L"QuillaraWeb", L"cfl", L"Quillara Caf\u00e9", L"ch");
  EXPECT_TRUE(package.m_isMainProduct);
  EXPECT_EQ(package.m_analyticsId, "QuillaraWeb");
  EXPECT_EQ(package.m_analyticsFlow, "cfl");
  EXPECT_EQ(package.m_displayName, "Quillara Caf\xe9");
  EXPECT_EQ(package.m_channel, "ch");
  EXPECT_EQ(package.m_position, 0);
  EXPECT_TRUE(package.m_url.empty());
  EXPECT_TRUE(package.m_placeholders.entries().empty());
}

}  // namespace
}  // namespace ostrane

// The marker's path is decided on the text the installer would write to: "pnr" after
// its placeholders, whose values come from the campaign as well.
#include "analytics/partner_marker.h"

#include <gtest/gtest.h>

#include "campaign/package.h"
#include "testing/sample_request.h"

namespace ostrane {
namespace {

using nlohmann::json;

TEST(PartnerMarkerTest, PlaceholdersAreExpandedBeforeThePathIsChecked) {
  const struct {
    const char* what;
    std::string pnr;
    std::string flow;     // "ad"."f": {of}
    std::string country;  // the reply's "l": {cc}
    const char* refusal;  // nullptr: written at key
    std::wstring key;
  } cases[] = {
      {"the flow names the branch", "SOFTWARE\\{of}\\Next", "Policies", "DE", "in SOFTWARE\\Policies,", L""},
      {"the country climbs out", "SOFTWARE\\Partner\\{cc}\\Next", "flow", "x\\..\\..\\Policies", "\"..\" key name", L""},
      {"the country adds a backslash", "SOFTWARE\\{cc}Policies\\Next", "flow", "\\", "empty key name", L""},
      {"harmless values", "SOFTWARE\\Partner\\{of}-{cc}\\Next", "flow", "DE", nullptr, L"SOFTWARE\\Partner\\flow-DE"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const json offer = {{"ad", {{"o", "pn"}, {"f", c.flow}}},
                        {"ps",
                         {{"i", "pn.png"}, {"dn", "Partner"}, {"u", "https://p.test/pn.exe"}, {"pn", true},
                          {"pnr", c.pnr}}}};
    OfferSources sources;
    sources.countryCode = c.country;
    const Package package(testing::SampleRequestContext(), offer, sources, 0);
    const MarkerPath marker = PartnerMarkerPath(package);
    if (c.refusal == nullptr) {
      EXPECT_EQ(marker.refusal, "");
      EXPECT_EQ(marker.key, c.key);
    } else {
      EXPECT_NE(marker.refusal.find(c.refusal), std::string::npos) << marker.refusal;
    }
  }
}

}  // namespace
}  // namespace ostrane

#include "campaign/placeholder_table.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

TEST(PlaceholderTableTest, ExpandsKnownTokensAndLeavesTheRest) {
  PlaceholderTable table;
  table.Insert("userid", "GUID");
  table.Insert("a", "{b}");  // holds a token of a later name
  table.Insert("b", "B");
  table.Insert("c", "{a}");  // holds a token of an earlier name
  table.Insert("userid", "second");  // a name keeps its first value
  const struct {
    std::string text;
    std::string expanded;
  } cases[] = {
      {"{userid}-{userid}", "GUID-GUID"},
      {"{unknown} {userid", "{unknown} {userid"},
      {"{{userid}}", "{GUID}"},
      {"x{a}y", "xBy"},
      {"{c}", "{a}"},
      {"{USERID}", "{USERID}"},  // names are case-sensitive
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(table.Expand(c.text), c.expanded) << c.text;
}

TEST(PlaceholderTableTest, AValueHoldingItsOwnTokenEnds) {
  PlaceholderTable table;
  table.Insert("pnop", "{pnop}");
  table.Insert("x", "[{x}{x}]");
  EXPECT_EQ(table.Expand("{pnop}/{pnop}"), "{pnop}/{pnop}");
  EXPECT_EQ(table.Expand("{x}"), "[{x}{x}]");
}

TEST(CountryAffiliateIdTest, EachGroupAndEverythingElse) {
  const struct {
    std::string country;
    std::string affiliate;
  } cases[] = {
      {"US", "91088"}, {"CA", "91166"}, {"BR", "91199"}, {"AU", "91214"}, {"NZ", "91214"}, {"KR", "91214"},
      {"DZ", "91105"}, {"PL", "91105"}, {"AE", "91105"}, {"TH", "91215"}, {"SG", "91215"}, {"PK", "91215"},
      {"DE", "91082"}, {"us", "91082"}, {"", "91082"},      {"USA", "91082"},
  };
  for (const auto& c : cases) EXPECT_EQ(CountryAffiliateId(c.country), c.affiliate) << c.country;
}

}  // namespace
}  // namespace ostrane

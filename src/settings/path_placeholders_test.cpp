#include "settings/path_placeholders.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

PathPlaceholders SixtyFourBitTable() {
  PathPlaceholders table;
  table.Insert(L"commonpf", L"{commonpf64}");
  table.Insert(L"localappdata", L"C:\\Users\\u\\AppData\\Local");
  table.Insert(L"commonpf32", L"C:\\Program Files (x86)");
  table.Insert(L"commonpf64", L"C:\\Program Files");
  return table;
}

TEST(PathPlaceholdersTest, ExpandsInEntryOrderInOnePass) {
  const struct {
    std::wstring text;
    std::wstring expected;
  } cases[] = {
      // "{commonpf}" becomes "{commonpf64}", which a later entry expands in the same pass.
      {L"{commonpf}\\App\\app.exe", L"C:\\Program Files\\App\\app.exe"},
      {L"{commonpf32}\\a;{commonpf32}\\b", L"C:\\Program Files (x86)\\a;C:\\Program Files (x86)\\b"},
      {L"{localappdata}\\x\\{commonpf64}", L"C:\\Users\\u\\AppData\\Local\\x\\C:\\Program Files"},
      {L"{unknown}\\x", L"{unknown}\\x"},
      {L"{COMMONPF}\\x", L"{COMMONPF}\\x"},  // keys are case-sensitive
      {L"no placeholders", L"no placeholders"},
  };
  const PathPlaceholders table = SixtyFourBitTable();
  for (const auto& c : cases) EXPECT_EQ(table.Expand(c.text), c.expected) << c.text.size();
}

TEST(PathPlaceholdersTest, ThirtyTwoBitTableLeavesSixtyFourBitPlaceholder) {
  PathPlaceholders table;
  table.Insert(L"commonpf", L"{commonpf32}");
  table.Insert(L"commonpf32", L"C:\\Program Files");
  EXPECT_EQ(table.Expand(L"{commonpf}\\App\\app.exe"), L"C:\\Program Files\\App\\app.exe");
  EXPECT_EQ(table.Expand(L"{commonpf64}\\x"), L"{commonpf64}\\x");
}

TEST(PathPlaceholdersTest, EntryOrderDecidesWhetherNestedPlaceholderExpands) {
  // Entered before the entry it refers to, "{commonpf}" would stay half expanded.
  PathPlaceholders table;
  table.Insert(L"commonpf64", L"C:\\Program Files");
  table.Insert(L"commonpf", L"{commonpf64}");
  EXPECT_EQ(table.Expand(L"{commonpf}"), L"{commonpf64}");
}

TEST(PathPlaceholdersTest, ValueHoldingItsOwnTokenDoesNotLoop) {
  PathPlaceholders table;
  table.Insert(L"a", L"{a}{a}");
  EXPECT_EQ(table.Expand(L"{a}"), L"{a}{a}");
}

TEST(PathPlaceholdersTest, InsertKeepsTheFirstValue) {
  PathPlaceholders table;
  table.Insert(L"commonpf64", L"first");
  table.Insert(L"commonpf64", L"second");
  ASSERT_NE(table.Find(L"commonpf64"), nullptr);
  EXPECT_EQ(*table.Find(L"commonpf64"), L"first");
  EXPECT_EQ(table.entries().size(), 1u);
}

}  // namespace
}  // namespace ostrane

// Placeholder expansion of campaign texts (an offer's table, narrow) and of paths
// (the folder table, wide): fuzzed names, values and text, checked against an
// expansion written the other way round, by building a new text instead of
// replacing in place.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "campaign/placeholder_table.h"
#include "fuzz_check.h"
#include "system/text_convert.h"
#include "settings/path_placeholders.h"

namespace {

using namespace ostrane;

// Values may hold the tokens of later names, so each pass can multiply the text:
// beyond this the input is not worth the memory.
constexpr std::size_t kMaxExpanded = 1 << 20;

// One pass per name, first value of a name winning; each pass copies the text and
// puts the value where the token stands, reading on after the token.
template <typename String>
std::optional<String> Reference(const std::vector<std::pair<String, String>>& entries, String text) {
  std::vector<String> seen;
  for (const auto& [name, value] : entries) {
    bool repeated = false;
    for (const auto& earlier : seen) repeated = repeated || earlier == name;
    if (repeated) continue;
    seen.push_back(name);
    const String token = String(1, '{') + name + String(1, '}');
    String out;
    for (std::size_t i = 0; i < text.size();) {
      if (text.compare(i, token.size(), token) == 0) {
        out += value;
        i += token.size();
      } else {
        out += text[i++];
      }
      if (out.size() > kMaxExpanded) return std::nullopt;
    }
    text = std::move(out);
  }
  return text;
}

template <typename String>
void Check(const std::vector<std::pair<String, String>>& entries, const String& text) {
  BasicPlaceholders<String> table;
  for (const auto& [name, value] : entries) table.Insert(name, value);
  const auto expected = Reference(entries, text);
  if (!expected) return;
  const String expanded = table.Expand(text);
  FUZZ_CHECK(expanded == *expected);
  if (text.find('{') == String::npos) FUZZ_CHECK(expanded == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  std::vector<std::pair<std::string, std::string>> entries;
  const int count = input.ConsumeIntegralInRange(0, 8);
  for (int i = 0; i < count; ++i) {
    std::string name = input.ConsumeRandomLengthString(16);
    entries.emplace_back(std::move(name), input.ConsumeRandomLengthString(64));
  }
  const std::string text = input.ConsumeRemainingBytesAsString();
  Check(entries, text);

  std::vector<std::pair<std::wstring, std::wstring>> wideEntries;
  for (const auto& [name, value] : entries) wideEntries.emplace_back(Utf8ToWide(name), Utf8ToWide(value));
  Check(wideEntries, Utf8ToWide(text));
  return 0;
}

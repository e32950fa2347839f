// The download URL check: our hand-written matcher against std::regex with the
// pattern it stands for, and the wide entry point against the narrow one.
#include <algorithm>
#include <cstdint>
#include <regex>
#include <string>

#include "download/package_files.h"
#include "fuzz_check.h"
#include "system/text_convert.h"

namespace {

// std::regex backtracks recursively, and ([\w.-]+)(\.[\w.-]+)+ tries every way of
// splitting a run of dots: its time doubles with each dot (20 dots, a third of a
// second). Longer texts, or texts with more dots, only go through our matcher.
constexpr std::size_t kMaxCompared = 64;
constexpr std::ptrdiff_t kMaxComparedDots = 12;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::regex pattern(R"(^((http|https):\/\/)?([\w.-]+)(\.[\w.-]+)+([\/?#].*)?$)",
                                  std::regex::ECMAScript);
  const std::string text(reinterpret_cast<const char*>(data), size);
  const bool matches = ostrane::MatchesUrlPattern(text);
  if (size <= kMaxCompared && std::count(text.begin(), text.end(), '.') <= kMaxComparedDots)
    FUZZ_CHECK(matches == std::regex_match(text, pattern));
  // Every byte is one character of the native stand-in for the ANSI code page.
  FUZZ_CHECK(ostrane::IsValidUrl(ostrane::AnsiToWide(text)) == matches);
  return 0;
}

// Redirect targets and Content-Length values from servers. The input is the URL that
// answered, a newline, and the Location it sent (UTF-8); the whole input is also
// read as a Content-Length value and compared with std::from_chars.
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "download/transfer_support.h"
#include "fuzz_check.h"
#include "system/text_convert.h"

namespace {

using namespace ostrane;

// "scheme:" as RFC 3986 writes it: a letter, then letters, digits, '+', '-', '.'.
bool HasScheme(std::wstring_view url) {
  const auto letter = [](wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); };
  if (url.empty() || !letter(url[0])) return false;
  for (std::size_t i = 1; i < url.size(); ++i) {
    const wchar_t c = url[i];
    if (c == L':') return true;
    if (!letter(c) && !(c >= L'0' && c <= L'9') && c != L'+' && c != L'-' && c != L'.') return false;
  }
  return false;
}

std::optional<std::uint64_t> ReferenceContentLength(std::wstring_view text) {
  const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  std::string digits;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    digits.push_back(static_cast<char>(c));
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::wstring whole = Utf8ToWide(input);
  FUZZ_CHECK(ParseContentLength(whole) == ReferenceContentLength(whole));

  const auto newline = input.find('\n');
  const std::wstring base = Utf8ToWide(input.substr(0, newline));
  const std::wstring location = newline == std::string_view::npos ? std::wstring() : Utf8ToWide(input.substr(newline + 1));
  const std::wstring resolved = ResolveLocation(base, location);

  // The fragment travels with the Location as it was sent.
  if (const auto hash = location.find(L'#'); hash != std::wstring::npos)
    FUZZ_CHECK(resolved.ends_with(location.substr(hash)));
  if (HasScheme(location)) {
    // An absolute Location does not depend on the URL that sent it.
    FUZZ_CHECK(ResolveLocation(L"https://other.test/a/b?q", location) == resolved);
  } else if (HasScheme(base)) {
    FUZZ_CHECK(resolved.starts_with(base.substr(0, base.find(L':') + 1)));
  }
  // A resolved URL is final: resolving it again changes nothing. Not when the Location
  // has no path (the base's path is then taken as it is, dot segments and all: RFC 3986
  // 5.2.2), nor against a base without a scheme, which no transfer has (a relative
  // "./a:b" would come out as "a:b", a scheme).
  const bool hasPath = !location.empty() && location.find_first_of(L"?#") != 0;
  if (hasPath && (HasScheme(base) || HasScheme(location))) FUZZ_CHECK(ResolveLocation(base, resolved) == resolved);
  return 0;
}

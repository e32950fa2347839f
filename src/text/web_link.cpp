#include "text/web_link.h"

#include <cwctype>

namespace ostrane {
namespace {

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::towlower(text[i]) != prefix[i]) return false;
  return true;
}

}  // namespace

const char* WhyNotWebUrl(std::wstring_view url) {
  if (url.empty()) return "empty";
  std::wstring_view rest;
  if (StartsWithNoCase(url, L"http://")) {
    rest = url.substr(7);
  } else if (StartsWithNoCase(url, L"https://")) {
    rest = url.substr(8);
  } else {
    return "does not begin with http:// or https://";
  }
  for (const wchar_t c : url)
    if (c <= L' ' || c == 0x7F || c == L'\\') return "holds a space, a control character or a backslash";
  // A host: something before the first '/', '?' or '#', and not an empty user part.
  const std::size_t end = rest.find_first_of(L"/?#");
  const std::wstring_view authority = rest.substr(0, end);
  const std::size_t at = authority.rfind(L'@');
  const std::wstring_view host = at == std::wstring_view::npos ? authority : authority.substr(at + 1);
  if (host.empty() || host[0] == L':') return "names no host";
  return nullptr;
}

bool IsWebUrl(std::wstring_view url) { return WhyNotWebUrl(url) == nullptr; }

std::wstring_view LinkBeforeQuery(std::wstring_view url) { return url.substr(0, url.find_first_of(L"?#")); }

std::wstring EscapeLinkText(std::wstring_view text) {
  std::wstring escaped;
  escaped.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    escaped += text[i];
    if (text[i] != L'<' || i + 1 >= text.size()) continue;
    const wchar_t next = std::towlower(text[i + 1]);
    if (next == L'a' || next == L'/') escaped += L'\u200B';
  }
  return escaped;
}

std::wstring EscapeLinkUrl(std::wstring_view url) {
  static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring escaped;
  escaped.reserve(url.size());
  for (const wchar_t c : url) {
    if (c == L'"' || c == L'\'' || c == L'<' || c == L'>' || c <= L' ' || c == 0x7F) {
      escaped += L'%';
      escaped += kHex[(c >> 4) & 0xF];
      escaped += kHex[c & 0xF];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace ostrane

#include "download/transfer_support.h"

#include "system/text_convert.h"
#include "text/device_names.h"

#include <limits>

namespace ostrane {
namespace {

bool IsSchemeStart(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

bool IsSchemeChar(wchar_t c) {
  return IsSchemeStart(c) || (c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.';
}

// Length of "scheme:" at the start of a reference, or 0 when it has no scheme.
std::size_t SchemeLength(std::wstring_view ref) {
  if (ref.empty() || !IsSchemeStart(ref[0])) return 0;
  std::size_t i = 1;
  while (i < ref.size() && IsSchemeChar(ref[i])) ++i;
  return i < ref.size() && ref[i] == L':' ? i + 1 : 0;
}

struct Reference {
  std::wstring_view scheme;     // with its ':'
  std::wstring_view authority;  // with its leading "//"
  std::wstring_view path;
  std::wstring_view query;      // with its '?'
  std::wstring_view fragment;   // with its '#'
};

Reference Split(std::wstring_view ref) {
  Reference r;
  r.scheme = ref.substr(0, SchemeLength(ref));
  ref.remove_prefix(r.scheme.size());
  if (ref.substr(0, 2) == L"//") {
    const std::size_t end = ref.find_first_of(L"/?#", 2);
    r.authority = ref.substr(0, end);
    ref.remove_prefix(r.authority.size());
  }
  const std::size_t hash = ref.find(L'#');
  if (hash != std::wstring_view::npos) {
    r.fragment = ref.substr(hash);
    ref = ref.substr(0, hash);
  }
  const std::size_t question = ref.find(L'?');
  if (question != std::wstring_view::npos) {
    r.query = ref.substr(question);
    ref = ref.substr(0, question);
  }
  r.path = ref;
  return r;
}

// "." and ".." segments taken out, as a browser does before it sends the path.
std::wstring RemoveDotSegments(std::wstring_view in) {
  std::wstring out;
  while (!in.empty()) {
    if (in.substr(0, 3) == L"../") {
      in.remove_prefix(3);
    } else if (in.substr(0, 2) == L"./") {
      in.remove_prefix(2);
    } else if (in.substr(0, 3) == L"/./") {
      in.remove_prefix(2);
    } else if (in == L"/.") {
      in = L"/";
    } else if (in.substr(0, 4) == L"/../" || in == L"/..") {
      in = in.size() == 3 ? std::wstring_view(L"/") : in.substr(3);
      const std::size_t last = out.rfind(L'/');
      out.erase(last == std::wstring::npos ? 0 : last);
    } else if (in == L"." || in == L"..") {
      in = {};
    } else {
      const std::size_t next = in.find(L'/', 1);
      out.append(in.substr(0, next));
      in = next == std::wstring_view::npos ? std::wstring_view() : in.substr(next);
    }
  }
  return out;
}

std::wstring Merge(const Reference& base, std::wstring_view path) {
  if (!base.authority.empty() && base.path.empty()) return L"/" + std::wstring(path);
  const std::size_t slash = base.path.rfind(L'/');
  if (slash == std::wstring_view::npos) return std::wstring(path);
  return std::wstring(base.path.substr(0, slash + 1)) + std::wstring(path);
}

// The scheme of a URL ("https:", with its colon) in lower case.
std::wstring LowerScheme(std::wstring_view url) {
  std::wstring scheme(url.substr(0, SchemeLength(url)));
  for (wchar_t& c : scheme)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return scheme;
}

}  // namespace

std::optional<std::uint64_t> ParseContentLength(std::wstring_view text) {
  while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - L'0');
    if (value > (kMax - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::string IncompleteDownloadText(std::uint64_t length, std::uint64_t size) {
  return "Download was incomplete: content length: " + std::to_string(length) +
         ", downloaded: " + std::to_string(size);
}

std::wstring FormatFailure(std::wstring_view format, std::uint32_t code, std::wstring_view systemText) {
  std::wstring out(format);
  if (const std::size_t at = out.find(L"%d"); at != std::wstring::npos)
    out.replace(at, 2, std::to_wstring(static_cast<std::int32_t>(code)));
  if (const std::size_t at = out.find(L"%s"); at != std::wstring::npos) out.replace(at, 2, systemText);
  return out;
}

std::wstring ResolveLocation(std::wstring_view baseUrl, std::wstring_view location) {
  const Reference ref = Split(location);
  const Reference base = Split(baseUrl);
  std::wstring scheme, authority, path, query;
  if (!ref.scheme.empty()) {
    scheme = ref.scheme, authority = ref.authority, path = RemoveDotSegments(ref.path), query = ref.query;
  } else {
    scheme = base.scheme;
    if (!ref.authority.empty()) {
      authority = ref.authority, path = RemoveDotSegments(ref.path), query = ref.query;
    } else {
      authority = base.authority;
      if (ref.path.empty()) {
        path = base.path;
        query = ref.query.empty() ? base.query : ref.query;
      } else {
        path = RemoveDotSegments(ref.path.front() == L'/' ? std::wstring(ref.path) : Merge(base, ref.path));
        query = ref.query;
      }
    }
  }
  return scheme + authority + path + query + std::wstring(ref.fragment);
}

std::optional<std::string> RedirectRefusal(std::wstring_view from, std::wstring_view location) {
  const std::wstring target = ResolveLocation(from, location);
  const std::wstring scheme = LowerScheme(target);
  const char* refusal = nullptr;
  if (scheme != L"http:" && scheme != L"https:") {
    refusal = kRedirectToOtherSchemeRefused;
  } else if (scheme == L"http:" && LowerScheme(from) != L"http:") {
    refusal = kRedirectToHttpRefused;
  }
  if (refusal == nullptr) return std::nullopt;
  return refusal + WideToUtf8(target.substr(0, target.find_first_of(L"?#")));
}

bool LeavesFolder(std::wstring_view name) {
  return name == L"." || name == L".." || name.find_first_of(L"\\/:") != std::wstring_view::npos ||
         IsDosDeviceName(name);
}

std::string ZoneIdentifierText(std::wstring_view url) {
  std::wstring kept(url);
  const Reference parts = Split(url);
  // "//user:password@host": everything up to the last '@' is the user's.
  if (const auto at = parts.authority.rfind(L'@'); at != std::wstring_view::npos)
    kept = std::wstring(parts.scheme) + L"//" + std::wstring(url.substr(parts.scheme.size() + at + 1));
  std::string line;
  for (const char byte : WideToUtf8(kept)) {
    const auto c = static_cast<unsigned char>(byte);
    if (c > 0x20 && c < 0x7F) {
      line += byte;
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      line += {'%', kHex[c >> 4], kHex[c & 0xF]};
    }
  }
  return "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=" + line + "\r\n";
}

std::wstring FileNameFromUrl(std::wstring_view url) {
  const std::size_t slash = url.rfind(L'/');
  return slash == std::wstring_view::npos ? std::wstring() : std::wstring(url.substr(slash + 1));
}

std::wstring NumberedFileName(std::wstring_view name, int number) {
  std::size_t dot = name.rfind(L'.');
  if (dot == 0 || dot == std::wstring_view::npos) dot = name.size();
  std::wstring numbered(name.substr(0, dot));
  numbered += L" (" + std::to_wstring(number) + L")";
  numbered += name.substr(dot);
  return numbered;
}

}  // namespace ostrane

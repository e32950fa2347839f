#include "download/package_files.h"

#include <algorithm>

#include "system/text_convert.h"

namespace ostrane {
namespace {

// [\w.-] with ECMAScript's \w, which knows no letters beyond ASCII.
bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '-';
}

}  // namespace

ArchiveType ArchiveTypeOf(std::span<const unsigned char> head) {
  static constexpr unsigned char kZip[] = {0x50, 0x4B, 0x03, 0x04};
  static constexpr unsigned char kSevenZip[] = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};
  if (head.size() >= sizeof kZip && std::equal(std::begin(kZip), std::end(kZip), head.begin())) {
    return ArchiveType::Zip;
  }
  if (head.size() >= sizeof kSevenZip && std::equal(std::begin(kSevenZip), std::end(kSevenZip), head.begin())) {
    return ArchiveType::SevenZip;
  }
  return ArchiveType::None;
}

std::wstring ExtractionFolderName(std::wstring_view zipPath) {
  const std::size_t slash = zipPath.rfind(L'\\');
  if (slash == std::wstring_view::npos) return {};
  std::wstring name(zipPath.substr(slash));
  const std::size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  return name;
}

// The pattern admits only one reading, so no backtracking is needed:
// - ':' and '/' cannot belong to the host, so a leading "http://" or "https://" is
//   always the scheme;
// - the host part can hold only [\w.-] and what follows it must start with one of
//   "/?#", so the host is the longest run of [\w.-] after the scheme;
// - ([\w.-]+)(\.[\w.-]+)+ accepts exactly the runs that have a dot with at least one
//   character before it and one after it (further groups add nothing: "\.[\w.-]+"
//   already swallows dots);
// - ".*" stops at line ends, so the rest may hold no '\n' or '\r'.
bool MatchesUrlPattern(std::string_view text) {
  for (std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
    if (text.starts_with(scheme)) {
      text.remove_prefix(scheme.size());
      break;
    }
  }
  const std::size_t hostEnd = std::find_if_not(text.begin(), text.end(), IsHostChar) - text.begin();
  if (hostEnd < 3 || text.substr(1, hostEnd - 2).find('.') == std::string_view::npos) return false;
  const std::string_view rest = text.substr(hostEnd);
  if (rest.empty()) return true;
  if (rest[0] != '/' && rest[0] != '?' && rest[0] != '#') return false;
  return rest.find_first_of("\r\n") == std::string_view::npos;
}

bool IsValidUrl(std::wstring_view url) { return MatchesUrlPattern(WideToAnsi(url)); }

std::wstring ClassicInstallArguments(const std::array<bool, 8>& f) {
  const auto d = [](bool on) { return on ? L'1' : L'0'; };
  std::wstring digits;
  digits += {d(f[5]), d(f[6]), d(f[3]), L'0', L'0', d(f[4]), L'0', L'1', L'0', L'1'};
  digits += {d(f[7]), d(f[5]), d(f[1]), d(f[2]), d(f[0]), L'0'};
  return L"/S /FORCEINSTALL " + digits;
}

std::wstring CommandLine(std::wstring_view exe, std::wstring_view arguments) {
  std::wstring line = L"\"";
  line += exe;
  line += L"\" ";
  line += arguments;
  return line;
}

}  // namespace ostrane

// The offers' registry path language: expansion into full paths, the WOW64 branch
// rules, the splits and the root names, and where the partner's date marker may go.
// The first byte chooses WOW64; the rest is a path from the campaign (UTF-8).
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "eligibility/registry_path.h"
#include "fuzz_check.h"
#include "system/text_convert.h"

namespace {

using namespace ostrane;

void CheckSplit(const std::wstring& path, const std::pair<std::wstring, std::wstring>& halves) {
  if (path.find(L'\\') == std::wstring::npos) {
    FUZZ_CHECK(halves.first == path && halves.second == path);
  } else {
    FUZZ_CHECK(halves.first + L"\\" + halves.second == path);
  }
}

bool StartsWith(const std::wstring& text, std::wstring_view prefix) { return text.starts_with(prefix); }

// A marker the check lets through is a key below SOFTWARE, its twin branch, and a
// vendor's name, compared in upper case as the registry does.
void CheckMarker(const std::wstring& path) {
  const MarkerPath marker = CheckMarkerPath(path);
  if (!marker.refusal.empty()) return;
  FUZZ_CHECK(marker.key + L"\\" + marker.valueName == path);
  FUZZ_CHECK(path.find(L'\0') == std::wstring::npos && marker.key.find(L'/') == std::wstring::npos);
  std::wstring upper = marker.key + L"\\";
  for (wchar_t& c : upper) {
    if (c == 0x0131) c = L'I';
    if (c == 0x017F) c = L'S';
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  FUZZ_CHECK(upper.find(L"\\\\") == std::wstring::npos && upper.find(L"\\..\\") == std::wstring::npos &&
             upper.find(L"\\.\\") == std::wstring::npos);
  FUZZ_CHECK(StartsWith(upper, L"SOFTWARE\\"));
  const std::wstring below = upper.substr(upper.starts_with(L"SOFTWARE\\WOW6432NODE\\") ? 21 : 9);
  FUZZ_CHECK(!below.empty());
  for (const wchar_t* branch : {L"POLICIES\\", L"MICROSOFT\\", L"CLASSES\\", L"WOW6432NODE\\"})
    FUZZ_CHECK(!StartsWith(below, branch));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool wow64 = (data[0] & 1) != 0;
  const std::wstring path = Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));

  CheckMarker(path);
  const auto first = SplitAtFirstBackslash(path);
  const auto last = SplitAtLastBackslash(path);
  CheckSplit(path, first);
  CheckSplit(path, last);
  FUZZ_CHECK(first.first.find(L'\\') == std::wstring::npos);
  FUZZ_CHECK(last.second.find(L'\\') == std::wstring::npos);
  try {
    RootFromLongName(first.first);
  } catch (const std::out_of_range&) {
    // any name but the five long ones
  }

  const std::wstring lower = LowerCase(path);
  const auto candidates = ExpandRegistryPath(lower, wow64);
  FUZZ_CHECK(candidates.empty() == lower.empty());
  for (const auto& candidate : candidates) {
    // Every candidate names a root the registry layer knows, and keeps the path's text.
    RootFromLongName(SplitAtFirstBackslash(candidate).first);
    FUZZ_CHECK(candidate.ends_with(SplitAtFirstBackslash(lower).second) || candidate.ends_with(lower));

    std::wstring normalized = candidate;
    RegistryView view = RegistryView::Default;
    const bool skipped = NormalizeWow64Path(normalized, view, wow64);
    if (!HasSoftwarePrefix(candidate)) {
      FUZZ_CHECK(!skipped && normalized == candidate && view == RegistryView::Default);
      continue;
    }
    if (skipped) {
      // Only a 32-bit system skips, and only the 32-bit branch.
      FUZZ_CHECK(!wow64);
      FUZZ_CHECK(StartsWith(candidate, L"hkey_local_machine\\software\\wow6432node") ||
                 StartsWith(candidate, L"hkey_current_user\\software\\wow6432node"));
      continue;
    }
    RootFromLongName(SplitAtFirstBackslash(normalized).first);
    FUZZ_CHECK(HasSoftwarePrefix(normalized) || normalized.ends_with(L"\\software"));
    // The 32-bit branch is read in the default view; everything else under WOW64 in the 64-bit one.
    FUZZ_CHECK(view == (wow64 && normalized == candidate ? RegistryView::Native64 : RegistryView::Default));
  }
  return 0;
}

#include "eligibility/registry_path.h"

#include <cstdint>
#include <cwctype>
#include <map>
#include <stdexcept>
#include <unordered_map>

namespace ostrane {
namespace {

const std::map<std::wstring, std::wstring> kShortToLong = {
    {L"hklm", L"hkey_local_machine"}, {L"hkcu", L"hkey_current_user"}, {L"hkcr", L"hkey_classes_root"},
    {L"hku", L"hkey_users"},          {L"hkcc", L"hkey_current_config"},
};
const std::vector<std::wstring> kLongNames = {L"hkey_local_machine", L"hkey_current_user", L"hkey_classes_root",
                                              L"hkey_users", L"hkey_current_config"};
const std::vector<std::wstring> kSoftwarePrefixes = {L"hkey_local_machine\\software\\",
                                                     L"hkey_current_user\\software\\"};
const std::vector<std::wstring> kSoftware32Prefixes = {L"hkey_local_machine\\software\\wow6432node\\",
                                                       L"hkey_current_user\\software\\wow6432node\\"};

// 32-bit FNV-1a over the bytes of the wide name, as the root table hashes its keys.
struct Fnv1aWide {
  std::size_t operator()(const std::wstring& text) const noexcept {
    std::uint32_t hash = 2166136261u;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size() * sizeof(wchar_t); ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
  }
};

const std::unordered_map<std::wstring, RegistryRoot, Fnv1aWide> kRoots = {
    {L"hkey_local_machine", RegistryRoot::LocalMachine}, {L"hkey_current_user", RegistryRoot::CurrentUser},
    {L"hkey_classes_root", RegistryRoot::ClassesRoot},   {L"hkey_users", RegistryRoot::Users},
    {L"hkey_current_config", RegistryRoot::CurrentConfig},
};

bool StartsWith(const std::wstring& text, const std::wstring& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

// Whether a key name is the (lower-case ASCII) name as the registry compares names:
// without regard to case. Dotless i and long s count as i and s, as upper-casing
// them gives I and S.
bool SameKeyName(std::wstring_view name, std::wstring_view lower) {
  if (name.size() != lower.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    wchar_t c = name[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c == 0x0131) c = L'i';
    if (c == 0x017F) c = L's';
    if (c != lower[i]) return false;
  }
  return true;
}

}  // namespace

std::pair<std::wstring, std::wstring> SplitAtFirstBackslash(const std::wstring& path) {
  const auto at = path.find(L'\\');
  if (at == std::wstring::npos) return {path, path};
  return {path.substr(0, at), path.substr(at + 1)};
}

std::pair<std::wstring, std::wstring> SplitAtLastBackslash(const std::wstring& path) {
  const auto at = path.rfind(L'\\');
  if (at == std::wstring::npos) return {path, path};
  return {path.substr(0, at), path.substr(at + 1)};
}

std::vector<std::wstring> ExpandRegistryPath(const std::wstring& path, bool wow64) {
  if (path.empty()) return {};
  if (StartsWith(path, L"hk")) {
    if (StartsWith(path, L"hkey")) {
      for (const auto& name : kLongNames)
        if (StartsWith(path, name + L"\\")) return {path};
    } else {
      for (const auto& [shortName, longName] : kShortToLong)
        if (StartsWith(path, shortName + L"\\")) return {longName + path.substr(shortName.size())};
    }
  }
  std::vector<std::wstring> candidates;
  for (const auto& prefix : kSoftwarePrefixes) candidates.push_back(prefix + path);
  if (wow64)
    for (const auto& prefix : kSoftware32Prefixes) candidates.push_back(prefix + path);
  return candidates;
}

bool HasSoftwarePrefix(const std::wstring& path) {
  for (const auto& prefix : kSoftwarePrefixes)
    if (StartsWith(path, prefix)) return true;
  return false;
}

bool NormalizeWow64Path(std::wstring& path, RegistryView& view, bool wow64) {
  if (!HasSoftwarePrefix(path)) return false;
  // root \ software \ third component
  const auto first = path.find(L'\\');
  const auto second = path.find(L'\\', first + 1);
  const auto third = path.find(L'\\', second + 1);
  const std::wstring component = path.substr(second + 1, third == std::wstring::npos ? std::wstring::npos : third - second - 1);
  if (component == L"wow6432node") {
    if (!wow64) return true;  // a 32-bit system has no such branch
    path.erase(second, third == std::wstring::npos ? std::wstring::npos : third - second);
    return false;
  }
  if (wow64) view = RegistryView::Native64;
  return false;
}

MarkerPath CheckMarkerPath(std::wstring_view path) {
  MarkerPath result;
  const auto refuse = [&result](std::string why) {
    result.refusal = std::move(why);
    return result;
  };
  if (path.empty()) return refuse("no path");
  // The Win32 calls take C strings: a NUL would end the key early, after the check.
  if (path.find(L'\0') != std::wstring_view::npos) return refuse("a NUL character in the path");
  const auto split = path.rfind(L'\\');
  if (split == std::wstring_view::npos) return refuse("no key, only a value name");
  const std::wstring_view key = path.substr(0, split);
  // The registry reads '/' as part of a name; a reader of the campaign may not.
  if (key.find(L'/') != std::wstring_view::npos) return refuse("a forward slash in the key");

  std::vector<std::wstring_view> names;
  for (std::size_t start = 0;;) {
    const auto end = key.find(L'\\', start);
    names.push_back(key.substr(start, end == std::wstring_view::npos ? std::wstring_view::npos : end - start));
    if (end == std::wstring_view::npos) break;
    start = end + 1;
  }
  for (const std::wstring_view name : names) {
    if (name.empty()) return refuse("an empty key name (a leading, doubled or trailing backslash)");
    if (name == L"." || name == L"..") return refuse("a \".\" or \"..\" key name");
  }
  if (!SameKeyName(names[0], L"software")) return refuse("not below HKLM\\SOFTWARE");
  std::size_t vendor = 1;
  if (names.size() > 1 && SameKeyName(names[1], L"wow6432node")) vendor = 2;
  if (names.size() <= vendor) return refuse("SOFTWARE itself, not a vendor's key below it");
  const struct {
    const wchar_t* lower;
    const char* name;
  } systemBranches[] = {{L"policies", "Policies"}, {L"microsoft", "Microsoft"}, {L"classes", "Classes"},
                        {L"wow6432node", "WOW6432Node"}};
  for (const auto& branch : systemBranches)
    if (SameKeyName(names[vendor], branch.lower))
      return refuse(std::string("in SOFTWARE\\") + (vendor == 2 ? "WOW6432Node\\" : "") + branch.name +
                    ", the system's own branch");
  result.key = std::wstring(key);
  result.valueName = std::wstring(path.substr(split + 1));
  return result;
}

RegistryRoot RootFromLongName(const std::wstring& name) {
  const auto it = kRoots.find(name);
  if (it == kRoots.end()) throw std::out_of_range("invalid unordered_map<K, T> key");
  return it->second;
}

std::wstring LowerCase(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
  return text;
}

}  // namespace ostrane

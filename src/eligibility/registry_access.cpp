#include "eligibility/registry_access.h"

#include <algorithm>

#include "eligibility/registry_error.h"
#include "eligibility/registry_path.h"

namespace ostrane {

bool RegistryAccess::SubkeyListed(RegistryRoot root, RegistryView view, const std::wstring& key,
                                  const std::wstring& name) {
  const auto id = std::make_tuple(root, view, key);
  auto cached = subkeys_.find(id);
  if (cached == subkeys_.end()) {
    std::vector<std::wstring> names;
    for (auto& subkey : machine_.Subkeys(root, key, view)) names.push_back(LowerCase(std::move(subkey)));
    cached = subkeys_.emplace(id, std::move(names)).first;
  }
  return std::find(cached->second.begin(), cached->second.end(), name) != cached->second.end();
}

bool RegistryAccess::KeyExists(const std::wstring& fullPath) {
  if (!HasSoftwarePrefix(fullPath)) {
    const auto [rootName, path] = SplitAtFirstBackslash(fullPath);
    return machine_.KeyOpens(RootFromLongName(rootName), path, RegistryView::Default);
  }
  std::wstring path = fullPath;
  RegistryView view = RegistryView::Default;
  if (NormalizeWow64Path(path, view, machine_.IsWow64())) return false;
  const auto [rootName, below] = SplitAtFirstBackslash(path);      // root, "software\..."
  const auto [software, rest] = SplitAtFirstBackslash(below);      // "software", "name\..."
  const auto [name, ignored] = SplitAtFirstBackslash(rest);
  const RegistryRoot root = RootFromLongName(rootName);
  try {
    // Enumerating once per load is cheaper than opening every candidate key.
    if (!SubkeyListed(root, view, software, name)) return false;
  } catch (const win32::RegistryError&) {
    return false;  // the software key cannot be read: nothing below it exists
  }
  return machine_.KeyOpens(root, below, view);
}

bool RegistryAccess::AnyKeyExists(const std::vector<std::wstring>& paths) {
  const bool wow64 = machine_.IsWow64();
  for (const auto& entry : paths) {
    const auto candidates = ExpandRegistryPath(LowerCase(entry), wow64);
    if (candidates.empty()) return false;
    for (const auto& candidate : candidates)
      if (KeyExists(candidate)) return true;
  }
  return false;
}

std::optional<RegistryAccess::OpenableKey> RegistryAccess::Openable(std::wstring fullPath) {
  RegistryView view = RegistryView::Default;
  if (NormalizeWow64Path(fullPath, view, machine_.IsWow64())) return std::nullopt;
  auto [rootName, path] = SplitAtFirstBackslash(fullPath);
  return OpenableKey{RootFromLongName(rootName), std::move(path), view};
}

std::optional<std::wstring> RegistryAccess::ReadValueAsText(const std::wstring& rootName, const std::wstring& keyPath,
                                                            const std::wstring& valueName) {
  std::vector<std::wstring> candidates = {rootName + L"\\" + keyPath};
  if (machine_.IsWow64() && keyPath.compare(0, 8, L"software") == 0)
    candidates.push_back(rootName + L"\\software\\wow6432node" + keyPath.substr(8));

  for (const auto& candidate : candidates) {
    if (!KeyExists(candidate)) continue;
    const auto key = Openable(candidate);
    if (!key) continue;
    if (!machine_.ValueExists(key->root, key->path, key->view, valueName)) continue;
    switch (machine_.ValueType(key->root, key->path, key->view, valueName)) {
      case kRegSz:
        return machine_.ReadString(key->root, key->path, key->view, valueName);
      case kRegDword:
        return std::to_wstring(machine_.ReadDword(key->root, key->path, key->view, valueName));
      case kRegQword:
        return std::to_wstring(machine_.ReadQword(key->root, key->path, key->view, valueName));
      default:
        break;  // another type: the next candidate
    }
  }
  return std::nullopt;
}

}  // namespace ostrane

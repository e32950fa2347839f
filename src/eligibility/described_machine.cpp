#include "eligibility/described_machine.h"

#include "eligibility/registry_error.h"
#include "eligibility/registry_path.h"

namespace ostrane {
namespace {

std::wstring Parent(const std::wstring& path) {
  const auto at = path.rfind(L'\\');
  return at == std::wstring::npos ? std::wstring() : path.substr(0, at);
}

std::wstring LastComponent(const std::wstring& path) {
  const auto at = path.rfind(L'\\');
  return at == std::wstring::npos ? path : path.substr(at + 1);
}

}  // namespace

void DescribedMachine::AddKey(RegistryRoot root, RegistryView view, const std::wstring& path) {
  keys_[{root, view, LowerCase(path)}];
  if (path.empty()) return;
  const std::wstring parent = Parent(path);
  AddKey(root, view, parent);
  auto& siblings = keys_[{root, view, LowerCase(parent)}].subkeys;
  const std::wstring name = LastComponent(path);
  for (const auto& sibling : siblings)
    if (LowerCase(sibling) == LowerCase(name)) return;
  siblings.push_back(name);
}

void DescribedMachine::SetValue(RegistryRoot root, RegistryView view, const std::wstring& path,
                                const std::wstring& name, Value value) {
  AddKey(root, view, path);
  keys_[{root, view, LowerCase(path)}].values[LowerCase(name)] = std::move(value);
}

void DescribedMachine::BreakReads(RegistryRoot root, RegistryView view, const std::wstring& path) {
  AddKey(root, view, path);
  keys_[{root, view, LowerCase(path)}].broken = true;
}

DescribedMachine::Key* DescribedMachine::Find(RegistryRoot root, RegistryView view, const std::wstring& path) {
  const auto it = keys_.find({root, view, LowerCase(path)});
  if (it != keys_.end()) return &it->second;
  if (path.empty()) {
    return &keys_[{root, view, std::wstring()}];  // the roots always open
  }
  return nullptr;
}

DescribedMachine::Key& DescribedMachine::Open(RegistryRoot root, RegistryView view, const std::wstring& path) {
  Key* key = Find(root, view, path);
  if (key == nullptr) throw win32::RegistryError(win32::kOpenKeyFailed, 2);
  return *key;
}

bool DescribedMachine::KeyOpens(RegistryRoot root, const std::wstring& path, RegistryView view) {
  return Find(root, view, path) != nullptr;
}

std::vector<std::wstring> DescribedMachine::Subkeys(RegistryRoot root, const std::wstring& path, RegistryView view) {
  Key& key = Open(root, view, path);
  if (key.broken) throw win32::RegistryError(win32::kEnumerateSubkeysFailed, 1009);
  return key.subkeys;
}

bool DescribedMachine::ValueExists(RegistryRoot root, const std::wstring& path, RegistryView view,
                                   const std::wstring& name) {
  return Open(root, view, path).values.count(LowerCase(name)) != 0;
}

std::uint32_t DescribedMachine::ValueType(RegistryRoot root, const std::wstring& path, RegistryView view,
                                          const std::wstring& name) {
  const Key& key = Open(root, view, path);
  const auto it = key.values.find(LowerCase(name));
  return it == key.values.end() ? kRegNone : it->second.type;
}

const DescribedMachine::Value& DescribedMachine::ReadValue(RegistryRoot root, RegistryView view,
                                                           const std::wstring& path, const std::wstring& name,
                                                           std::uint32_t type, const char* failure,
                                                           std::uint32_t alsoType) {
  const Key& key = Open(root, view, path);
  const auto it = key.values.find(LowerCase(name));
  // 2: the value is missing; 13: it holds another type (ERROR_INVALID_DATA, as RegGetValue says).
  if (it == key.values.end()) throw win32::RegistryError(failure, 2);
  const bool typeFits = it->second.type == type || (alsoType != kRegNone && it->second.type == alsoType);
  if (key.broken || !typeFits) throw win32::RegistryError(failure, key.broken ? 1009 : 13);
  return it->second;
}

std::wstring DescribedMachine::ExpandEnvironment(const std::wstring& text) const {
  // As ExpandEnvironmentStrings: %NAME% of a variable that is set becomes its value;
  // anything else stays as written.
  std::wstring out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find(L'%', at);
    if (open == std::wstring::npos) break;
    const std::size_t close = text.find(L'%', open + 1);
    if (close == std::wstring::npos) break;
    out.append(text, at, open - at);
    const auto variable = environment.find(LowerCase(text.substr(open + 1, close - open - 1)));
    if (variable != environment.end() && close > open + 1) {
      out += variable->second;
      at = close + 1;
    } else {
      out += L'%';
      at = open + 1;  // the closing % may open the next name
    }
  }
  out.append(text, at, std::wstring::npos);
  return out;
}

std::wstring DescribedMachine::ReadString(RegistryRoot root, const std::wstring& path, RegistryView view,
                                          const std::wstring& name) {
  // RegGetValue expands an expand-string value and hands it over as a string.
  const Value& value = ReadValue(root, view, path, name, kRegSz, win32::kReadStringFailed, kRegExpandSz);
  return value.type == kRegExpandSz ? ExpandEnvironment(value.text) : value.text;
}

std::uint32_t DescribedMachine::ReadDword(RegistryRoot root, const std::wstring& path, RegistryView view,
                                          const std::wstring& name) {
  return static_cast<std::uint32_t>(ReadValue(root, view, path, name, kRegDword, win32::kReadDwordFailed).number);
}

std::uint64_t DescribedMachine::ReadQword(RegistryRoot root, const std::wstring& path, RegistryView view,
                                          const std::wstring& name) {
  return ReadValue(root, view, path, name, kRegQword, win32::kReadQwordFailed).number;
}

std::wstring DescribedMachine::ResolvePath(const std::wstring& path) const {
  std::wstring text = path;
  for (wchar_t& c : text)
    if (c == L'/') c = L'\\';
  // The fixed start: "C:\", "\\server\share\"; a relative path starts in the current folder.
  std::wstring start;
  std::wstring rest;
  if (text.size() >= 3 && text[1] == L':' && text[2] == L'\\') {
    start = text.substr(0, 3);
    rest = text.substr(3);
  } else if (text.compare(0, 2, L"\\\\") == 0) {
    const std::size_t server = text.find(L'\\', 2);
    const std::size_t share = server == std::wstring::npos ? server : text.find(L'\\', server + 1);
    if (share == std::wstring::npos) return LowerCase(text);
    start = text.substr(0, share + 1);
    rest = text.substr(share + 1);
  } else {
    if (currentFolder.empty() || text.empty() || text[0] == L'\\' || (text.size() >= 2 && text[1] == L':')) return {};
    return ResolvePath(currentFolder + L"\\" + text);
  }
  std::vector<std::wstring> parts;
  std::size_t at = 0;
  while (at <= rest.size()) {
    const std::size_t end = std::min(rest.find(L'\\', at), rest.size());
    const std::wstring part = rest.substr(at, end - at);
    if (part == L"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != L".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::wstring full = start;
  for (std::size_t i = 0; i < parts.size(); ++i) full += (i == 0 ? L"" : L"\\") + parts[i];
  return LowerCase(full);
}

void DescribedMachine::AddFile(const std::wstring& path) {
  if (const std::wstring full = ResolvePath(path); !full.empty()) files_.insert(full);
}

bool DescribedMachine::FileExists(const std::wstring& path) {
  const std::wstring full = ResolvePath(path);
  return !full.empty() && files_.count(full) != 0;
}

}  // namespace ostrane

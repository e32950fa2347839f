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
                                                           std::uint32_t type, const char* failure) {
  const Key& key = Open(root, view, path);
  const auto it = key.values.find(LowerCase(name));
  // 2: the value is missing; 13: it holds another type (ERROR_INVALID_DATA, as RegGetValue says).
  if (it == key.values.end()) throw win32::RegistryError(failure, 2);
  if (key.broken || it->second.type != type) throw win32::RegistryError(failure, key.broken ? 1009 : 13);
  return it->second;
}

std::wstring DescribedMachine::ReadString(RegistryRoot root, const std::wstring& path, RegistryView view,
                                          const std::wstring& name) {
  return ReadValue(root, view, path, name, kRegSz, win32::kReadStringFailed).text;
}

std::uint32_t DescribedMachine::ReadDword(RegistryRoot root, const std::wstring& path, RegistryView view,
                                          const std::wstring& name) {
  return static_cast<std::uint32_t>(ReadValue(root, view, path, name, kRegDword, win32::kReadDwordFailed).number);
}

std::uint64_t DescribedMachine::ReadQword(RegistryRoot root, const std::wstring& path, RegistryView view,
                                          const std::wstring& name) {
  return ReadValue(root, view, path, name, kRegQword, win32::kReadQwordFailed).number;
}

void DescribedMachine::AddFile(const std::wstring& path) { files_.insert(LowerCase(path)); }

bool DescribedMachine::FileExists(const std::wstring& path) { return files_.count(LowerCase(path)) != 0; }

}  // namespace ostrane

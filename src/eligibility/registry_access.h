// Questions the offer rules ask of the registry in the offers' path language: does a
// key exist, does any of these keys exist, what does a value hold.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "eligibility/machine.h"

namespace ostrane {

class RegistryAccess {
 public:
  explicit RegistryAccess(Machine& machine) : machine_(machine) {}

  // A full path ("hkey_...\..."). Under a software prefix the key's first component
  // after "software" must be among that key's subkeys (cached per load); then the
  // key must open. Throws std::out_of_range for an unknown root name.
  bool KeyExists(const std::wstring& path);

  // Offer paths, lower-cased and expanded; an empty entry answers false at once.
  bool AnyKeyExists(const std::vector<std::wstring>& paths);

  // The value as text (REG_SZ; REG_DWORD and REG_QWORD in decimal) from the first
  // candidate that has it: the path itself, then under WOW64 its "wow6432node" twin.
  // Reads that fail once the key was found throw win32::RegistryError.
  std::optional<std::wstring> ReadValueAsText(const std::wstring& rootName, const std::wstring& keyPath,
                                              const std::wstring& valueName);

  // The key of a full path made ready to open: its root, its path below the root and
  // the view; nothing when the path is to be skipped (a 32-bit branch on a 32-bit
  // system).
  struct OpenableKey {
    RegistryRoot root;
    std::wstring path;
    RegistryView view;
  };
  std::optional<OpenableKey> Openable(std::wstring fullPath);

  Machine& machine() { return machine_; }

 private:
  bool SubkeyListed(RegistryRoot root, RegistryView view, const std::wstring& key, const std::wstring& name);

  Machine& machine_;  // we don't own it
  std::map<std::tuple<RegistryRoot, RegistryView, std::wstring>, std::vector<std::wstring>> subkeys_;
};

}  // namespace ostrane

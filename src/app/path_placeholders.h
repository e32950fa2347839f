// Folder placeholders such as "{commonpf}" in campaign paths and the launch path.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ostrane {

// Keys without braces in the order they were entered. Expansion visits them in
// that order, which is what lets "{commonpf}" turn into "{commonpf64}" or
// "{commonpf32}" and be expanded again in the same pass.
class PathPlaceholders {
 public:
  // Insert-if-absent: an existing key keeps its value.
  void Insert(std::wstring key, std::wstring value);
  const std::wstring* Find(const std::wstring& key) const;
  bool empty() const { return entries_.empty(); }
  const std::vector<std::pair<std::wstring, std::wstring>>& entries() const { return entries_; }

  // One pass over the table: every "{key}" in the text becomes the key's value.
  // Placeholders without an entry stay as written.
  std::wstring Expand(std::wstring text) const;

 private:
  std::vector<std::pair<std::wstring, std::wstring>> entries_;
};

}  // namespace ostrane

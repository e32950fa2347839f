#include "app/path_placeholders.h"

#include <algorithm>

namespace ostrane {

void PathPlaceholders::Insert(std::wstring key, std::wstring value) {
  if (Find(key) == nullptr) entries_.emplace_back(std::move(key), std::move(value));
}

const std::wstring* PathPlaceholders::Find(const std::wstring& key) const {
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e.first == key; });
  return it == entries_.end() ? nullptr : &it->second;
}

std::wstring PathPlaceholders::Expand(std::wstring text) const {
  for (const auto& [key, value] : entries_) {
    const std::wstring token = L"{" + key + L"}";
    for (std::size_t pos = text.find(token); pos != std::wstring::npos; pos = text.find(token, pos + value.size())) {
      text.replace(pos, token.size(), value);
    }
  }
  return text;
}

}  // namespace ostrane

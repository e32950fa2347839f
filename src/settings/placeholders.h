// "{name}" placeholders in texts: the folder placeholders of the settings (wide) and
// an offer's placeholders (narrow) work alike.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace ostrane {

// Names (without braces) in the order they were entered; a name entered twice keeps
// its first value. Expansion visits the names in that order, the same on every
// platform, so a value holding the token of a later name is expanded in the same pass.
template <typename String>
class BasicPlaceholders {
 public:
  using Char = typename String::value_type;

  void Insert(String name, String value) {
    if (Find(name) == nullptr) entries_.emplace_back(std::move(name), std::move(value));
  }
  const String* Find(const String& name) const {
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e.first == name; });
    return it == entries_.end() ? nullptr : &it->second;
  }
  bool empty() const { return entries_.empty(); }
  const std::vector<std::pair<String, String>>& entries() const { return entries_; }

  // One pass over the table: every "{name}" of a known name becomes its value;
  // unknown names and stray braces stay as written. `filled`, when given, gets the
  // names that were replaced, in the table's order.
  String Expand(String text, std::vector<String>* filled = nullptr) const {
    for (const auto& [name, value] : entries_) {
      const String token = Char('{') + name + Char('}');
      auto pos = text.find(token);
      if (pos != String::npos && filled != nullptr) filled->push_back(name);
      // The search resumes after the inserted value: a value that holds its own
      // token would otherwise be expanded forever.
      for (; pos != String::npos; pos = text.find(token, pos + value.size())) text.replace(pos, token.size(), value);
    }
    return text;
  }

 private:
  std::vector<std::pair<String, String>> entries_;
};

}  // namespace ostrane

// What the language manager needs from the system: the embedded tables, locale
// names, and a place to show its failures.
#pragma once

#include <optional>
#include <string>

namespace ostrane {

struct LocaleResource {
  enum class Status { Found, NotFound, LoadFailed };
  Status status = Status::NotFound;
  std::string bytes;  // the resource's bytes when found
};

class LocalePlatform {
 public:
  virtual ~LocalePlatform() = default;
  // The "LOCALE" resource with this id.
  virtual LocaleResource FindLocaleResource(int id) = 0;
  // The system's native language name of a locale name ("es" gives "español"), if it knows the name.
  virtual std::optional<std::wstring> NativeLanguageName(const std::wstring& localeName) = 0;
  // The user's default locale name ("es-ES"); empty when the system gives none.
  virtual std::wstring UserDefaultLocaleName() = 0;
  // The framework's plain OK message box.
  virtual void ShowMessage(const std::wstring& text) = 0;
};

// Receives texts when a language is selected (every page registers one).
class TextTarget {
 public:
  virtual ~TextTarget() = default;
  virtual void ApplyTexts() = 0;
};

// The language list on the language page (a combo box there).
class LanguageList {
 public:
  virtual ~LanguageList() = default;
  virtual void Clear() = 0;
  virtual void Add(const std::wstring& name) = 0;
  virtual void Select(int index) = 0;
  virtual void Hide() = 0;
};

}  // namespace ostrane

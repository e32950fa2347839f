// Native stand-in for the Windows conversions: a UTF-8 codec that replaces malformed
// bytes with U+FFFD (as MultiByteToWideChar does), and Latin-1 as the "ANSI" code page.
#include "system/text_convert.h"

namespace ostrane {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Decodes one code point at pos; returns false for a malformed sequence.
bool DecodeUtf8(std::string_view s, std::size_t& pos, char32_t& out) {
  const auto lead = static_cast<unsigned char>(s[pos]);
  std::size_t extra;
  char32_t c;
  if (lead < 0x80) {
    extra = 0, c = lead;
  } else if ((lead >> 5) == 0x6) {
    extra = 1, c = lead & 0x1F;
  } else if ((lead >> 4) == 0xE) {
    extra = 2, c = lead & 0x0F;
  } else if ((lead >> 3) == 0x1E) {
    extra = 3, c = lead & 0x07;
  } else {
    return false;
  }
  if (s.size() - pos <= extra) return false;
  for (std::size_t i = 1; i <= extra; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if ((b & 0xC0) != 0x80) return false;
    c = (c << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  pos += extra + 1;
  out = c;
  return true;
}

}  // namespace

std::wstring Utf8ToWide(std::string_view utf8) {
  std::wstring out;
  for (std::size_t pos = 0; pos < utf8.size();) {
    char32_t c;
    if (!DecodeUtf8(utf8, pos, c)) {
      c = 0xFFFD;  // as Windows does without MB_ERR_INVALID_CHARS
      ++pos;
    }
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

std::string WideToUtf8(std::wstring_view wide) {
  std::string out;
  for (wchar_t c : wide) AppendUtf8(out, static_cast<char32_t>(c));
  return out;
}

std::string WideToAnsi(std::wstring_view wide) {
  std::string out;
  for (wchar_t c : wide) out.push_back(static_cast<unsigned>(c) <= 0xFF ? static_cast<char>(c) : '?');
  return out;
}

std::wstring AnsiToWide(std::string_view ansi) {
  std::wstring out;
  for (char c : ansi) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace ostrane

#include "download/package_kind.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cwctype>
#include <optional>
#include <string>

namespace ostrane {
namespace {

std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr std::uint16_t kExecutableImage = 0x0002;  // IMAGE_FILE_EXECUTABLE_IMAGE
constexpr std::uint16_t kDll = 0x2000;              // IMAGE_FILE_DLL
constexpr std::uint16_t kPe32Magic = 0x10B, kPe32PlusMagic = 0x20B;

// MZ, a PE header where e_lfanew points (inside the file), and an optional header of
// a known kind: the COFF header's characteristics, or nothing when it is no image.
std::optional<std::uint16_t> ImageCharacteristics(zip::ByteSource& file) {
  std::array<unsigned char, 64> dos{};
  if (file.Size() < dos.size() || !file.ReadAt(0, dos) || dos[0] != 'M' || dos[1] != 'Z') return std::nullopt;
  const std::uint64_t pe = Le32(&dos[0x3C]);
  // Signature (4), COFF header (20), the optional header's magic (2).
  std::array<unsigned char, 26> header{};
  // Headers that overlap the DOS header are legal but no installer has them.
  if (pe < dos.size() || !file.ReadAt(pe, header)) return std::nullopt;
  if (header[0] != 'P' || header[1] != 'E' || header[2] != 0 || header[3] != 0) return std::nullopt;
  const std::uint16_t characteristics = Le16(&header[4 + 18]);
  const std::uint16_t optionalSize = Le16(&header[4 + 16]);
  const std::uint16_t magic = Le16(&header[24]);
  if (optionalSize < 2 || (magic != kPe32Magic && magic != kPe32PlusMagic)) return std::nullopt;
  return characteristics;
}

bool StartsWith(zip::ByteSource& file, std::initializer_list<unsigned char> signature) {
  std::array<unsigned char, 8> head{};
  if (signature.size() > head.size() || file.Size() < signature.size()) return false;
  const std::span<unsigned char> wanted(head.data(), signature.size());
  return file.ReadAt(0, wanted) && std::equal(signature.begin(), signature.end(), wanted.begin());
}

bool EndsWithNoCase(std::wstring_view text, std::wstring_view suffix) {
  return text.size() >= suffix.size() &&
         std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                    [](wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); });
}

}  // namespace

PackageKind PackageKindOf(zip::ByteSource& file) {
  const auto image = ImageCharacteristics(file);
  if (image && (*image & kExecutableImage) != 0 && (*image & kDll) == 0) return PackageKind::Program;
  if (StartsWith(file, {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1})) return PackageKind::WindowsInstaller;
  if (StartsWith(file, {0x50, 0x4B, 0x03, 0x04})) return PackageKind::Zip;
  return PackageKind::Other;
}

bool IsPortableExecutable(zip::ByteSource& file) { return ImageCharacteristics(file).has_value(); }

std::wstring_view ExtensionFor(PackageKind kind) {
  switch (kind) {
    case PackageKind::Program:
      return L".exe";
    case PackageKind::WindowsInstaller:
      return L".msi";
    default:
      return {};
  }
}

std::wstring NameForKind(std::wstring_view path, PackageKind kind) {
  const std::wstring_view extension = ExtensionFor(kind);
  const std::wstring_view name = path.substr(path.find_last_of(L"\\/") + 1);
  // ".exe" alone is a name that is all extension: it gets its own.
  if (extension.empty() || (name.size() > extension.size() && EndsWithNoCase(name, extension)))
    return std::wstring(path);
  return std::wstring(path) + std::wstring(extension);
}

bool IsCodeByName(std::wstring_view name) {
  // Windows ignores trailing dots and spaces when it opens a file by name.
  while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.remove_suffix(1);
  static constexpr std::wstring_view kCode[] = {L".exe", L".dll", L".ocx", L".cpl", L".scr", L".sys", L".com",
                                                L".msi", L".msp", L".cmd", L".bat", L".ps1", L".psm1", L".vbs", L".vbe",
                                                L".js",  L".jse", L".wsf", L".wsh", L".hta", L".pif"};
  return std::any_of(std::begin(kCode), std::end(kCode),
                     [name](std::wstring_view extension) { return EndsWithNoCase(name, extension); });
}

}  // namespace ostrane

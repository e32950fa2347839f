#include "download/package_kind.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ostrane {
namespace {

using Bytes = std::vector<unsigned char>;

void Put16(Bytes& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<unsigned char>(value);
  bytes[at + 1] = static_cast<unsigned char>(value >> 8);
}
void Put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// The smallest headers the loader's first look needs: MZ, e_lfanew, "PE\0\0", a COFF
// header and the optional header's magic.
Bytes Image(std::uint16_t characteristics = 0x0102, std::uint16_t magic = 0x10B, std::uint32_t peAt = 0x80,
            std::size_t size = 0x200) {
  Bytes bytes(size, 0);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  Put32(bytes, 0x3C, peAt);
  if (std::uint64_t{peAt} + 26 <= size) {
    bytes[peAt] = 'P';
    bytes[peAt + 1] = 'E';
    Put16(bytes, peAt + 4, 0x14C);            // i386
    Put16(bytes, peAt + 4 + 16, 0xE0);        // size of the optional header
    Put16(bytes, peAt + 4 + 18, characteristics);
    Put16(bytes, peAt + 24, magic);
  }
  return bytes;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(PackageKindTest, TheContentsDecideWhatAFileIs) {
  Bytes badSignature = Image();
  badSignature[0x81] = 'X';
  const struct {
    const char* what;
    Bytes bytes;
    PackageKind kind;
  } cases[] = {
      {"a program", Image(), PackageKind::Program},
      {"a 64-bit program", Image(0x0022, 0x20B), PackageKind::Program},
      {"a library", Image(0x2102), PackageKind::Other},
      {"an object file that is no image", Image(0x0100), PackageKind::Other},
      {"an unknown optional header", Image(0x0102, 0x107), PackageKind::Other},
      {"no PE signature", badSignature, PackageKind::Other},
      {"e_lfanew past the end", Image(0x0102, 0x10B, 0x1F0), PackageKind::Other},
      {"e_lfanew far past the end", Image(0x0102, 0x10B, 0xFFFFFFF0), PackageKind::Other},
      {"headers inside the DOS header", Image(0x0102, 0x10B, 0x04), PackageKind::Other},
      {"MZ alone", Text("MZ"), PackageKind::Other},
      {"a ZIP", Text("PK\x03\x04rest"), PackageKind::Zip},
      {"a batch file behind a ZIP header", Text("PK\x03\x04\r\n@echo off\r\necho hi > marker\r\n"), PackageKind::Zip},
      {"an empty ZIP's end record", Text("PK\x05\x06"), PackageKind::Other},
      {"a compound file", Bytes{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1, 0}, PackageKind::WindowsInstaller},
      {"a short compound signature", Bytes{0xD0, 0xCF, 0x11, 0xE0}, PackageKind::Other},
      {"a script", Text("@echo off\r\n"), PackageKind::Other},
      {"a 7z archive", Bytes{0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C}, PackageKind::Other},
      {"nothing", Bytes{}, PackageKind::Other},
  };
  for (const auto& c : cases) {
    zip::MemorySource source(c.bytes);
    EXPECT_EQ(PackageKindOf(source), c.kind) << c.what;
  }
  const Bytes libraryBytes = Image(0x2102);
  zip::MemorySource library(libraryBytes);
  EXPECT_TRUE(IsPortableExecutable(library)) << "a library is still code";
  const Bytes textBytes = Text("MZ but nothing more, and longer than the DOS header itself.......");
  zip::MemorySource text(textBytes);
  EXPECT_FALSE(IsPortableExecutable(text));
}

TEST(PackageKindTest, AFileIsNamedForWhatItIs) {
  const struct {
    const wchar_t* path;
    PackageKind kind;
    const wchar_t* named;
  } cases[] = {
      {L"C:\\w\\beta", PackageKind::Program, L"C:\\w\\beta.exe"},  // the ISV product's download
      {L"C:\\w\\setup.exe", PackageKind::Program, L"C:\\w\\setup.exe"},
      {L"C:\\w\\SETUP.EXE", PackageKind::Program, L"C:\\w\\SETUP.EXE"},
      {L"C:\\w.exe\\beta", PackageKind::Program, L"C:\\w.exe\\beta.exe"},  // the folder's extension is not the file's
      {L"C:\\w\\setup.exe.txt", PackageKind::Program, L"C:\\w\\setup.exe.txt.exe"},
      {L"C:\\w\\.exe", PackageKind::Program, L"C:\\w\\.exe.exe"},  // no name before the extension
      {L"C:\\w\\tool.cmd", PackageKind::Program, L"C:\\w\\tool.cmd.exe"},
      {L"C:\\w\\download?id=7", PackageKind::Program, L"C:\\w\\download?id=7.exe"},
      {L"C:\\w\\setup.exe", PackageKind::WindowsInstaller, L"C:\\w\\setup.exe.msi"},
      {L"C:\\w\\Setup.MSI", PackageKind::WindowsInstaller, L"C:\\w\\Setup.MSI"},
      {L"C:\\w\\bundle.zip", PackageKind::Zip, L"C:\\w\\bundle.zip"},
      {L"C:\\w\\notes.cmd", PackageKind::Other, L"C:\\w\\notes.cmd"},
  };
  for (const auto& c : cases) EXPECT_EQ(NameForKind(c.path, c.kind), c.named) << c.path;
}

TEST(PackageKindTest, CodeByNameCoversProgramsLibrariesAndScripts) {
  const struct {
    const wchar_t* name;
    bool code;
  } cases[] = {
      {L"helper.dll", true},    {L"HELPER.DLL", true},   {L"control.ocx", true}, {L"applet.cpl", true},
      {L"saver.scr", true},     {L"driver.sys", true},   {L"old.com", true},     {L"setup.msi", true},
      {L"run.cmd", true},       {L"run.bat", true},      {L"run.ps1", true},     {L"run.vbs", true},
      {L"run.js", true},        {L"page.hta", true},     {L"helper.dll.", true}, {L"helper.dll  ", true},
      {L"readme.txt", false},   {L"app.manifest", false}, {L"data.json", false}, {L"dll", false},
      {L"notes.jsx", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsCodeByName(c.name), c.code) << c.name;
}

}  // namespace
}  // namespace ostrane

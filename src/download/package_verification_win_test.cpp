// The checks before a package runs, with Wine's own WinVerifyTrust and crypt32 on
// the demo installers as the build signs them: by "Ostrane Test Signer" or "Ostrane
// Other Publisher" under the test CA (in the system's trust store, which Wine reads),
// unsigned, and by a signer under a CA that nothing trusts.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "download/package_check.h"
#include "download/package_execution.h"
#include "download/package_verification.h"
#include "system/digest.h"
#include "system/text_convert.h"
#include "testing/kit_paths.h"
#include "testing/zip_builder.h"

namespace ostrane {
namespace {

std::wstring DemoFile(const std::wstring& name) {
  return testing::TestFilePath(OSTRANE_DEMO_DIR) + L"\\" + name;
}

std::string ReadBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  // Written and closed before anything checks it, as a finished download is.
  std::ofstream out(path.c_str(), std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class PackageVerificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    scratch_ = std::wstring(temp) + L"ostrane-trust-" + std::to_wstring(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryW(scratch_.c_str(), nullptr));
    signed_ = ReadBytes(DemoFile(L"offer_installer.exe"));
    ASSERT_FALSE(signed_.empty()) << "the demo installers are built";
    Write(L"good.exe", signed_);
    Write(L"unsigned.exe", ReadBytes(DemoFile(L"offer_installer_unsigned.exe")));
    Write(L"untrusted.exe", ReadBytes(DemoFile(L"offer_installer_untrusted.exe")));
    Write(L"other.exe", ReadBytes(DemoFile(L"QuillaraWebInstaller_other_publisher.exe")));
    // One byte of the DOS stub's text: covered by the signature, harmless to the program.
    std::string changed = signed_;
    const std::size_t stub = changed.find("This program");
    ASSERT_NE(stub, std::string::npos);
    changed[stub] = 't';
    Write(L"changed.exe", changed);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(scratch_, ignored);
  }

  std::wstring Path(const std::wstring& name) const { return scratch_ + L"\\" + name; }
  void Write(const std::wstring& name, const std::string& bytes) const { WriteBytes(Path(name), bytes); }

  std::wstring scratch_;
  std::string signed_;
};

std::string FindProblem(const std::wstring& path, const TrustRequirements& requirements) {
  return FindTrustProblem(HeldFile(path), requirements);
}

TEST_F(PackageVerificationTest, EachFileGetsItsVerdict) {
  const std::string digest = Sha256Hex(signed_);
  std::string upper = digest;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const auto testCa = TrustedSignerOf(Path(L"good.exe"));
  ASSERT_TRUE(testCa.has_value());
  const auto other = TrustedSignerOf(Path(L"other.exe"));
  ASSERT_TRUE(other.has_value());
  const struct {
    const wchar_t* file;
    TrustRequirements requirements;
    const char* problem;
  } cases[] = {
      {L"good.exe", {}, ""},
      {L"good.exe", {true, digest, "Ostrane Test Signer"}, ""},
      {L"good.exe", {true, upper, ""}, ""},
      {L"good.exe", {true, "", "Partner Ltd"}, "signer is Ostrane Test Signer, expected Partner Ltd"},
      {L"good.exe", {true, std::string(64, '0'), ""}, "SHA-256 differs"},
      {L"unsigned.exe", {}, "no signature"},
      {L"changed.exe", {}, "the signature does not match the file"},
      {L"untrusted.exe", {}, "the certificate chain is not trusted"},
      // The installer's own signer and authority, as the product is held to them.
      {L"good.exe", {true, "", "Ostrane Test Signer", testCa->issuer}, ""},
      {L"other.exe", {true, "", "Ostrane Test Signer", testCa->issuer},
       "signer is Ostrane Other Publisher, expected Ostrane Test Signer"},
      {L"good.exe", {true, "", "Ostrane Test Signer", "3000"},
       "signer Ostrane Test Signer is certified by Ostrane Test CA, another authority than expected"},
      // Without the signature check, a named digest still holds, and a named signer
      // still needs a signature the system trusts.
      {L"unsigned.exe", {false, "", ""}, ""},
      {L"unsigned.exe", {false, "", "Ostrane Test Signer"}, "no signature"},
      {L"untrusted.exe", {false, "", "Ostrane Untrusted Signer"}, "the certificate chain is not trusted"},
      {L"changed.exe", {false, "", "Ostrane Test Signer"}, "the signature does not match the file"},
      {L"untrusted.exe", {false, std::string(64, '0'), ""}, "SHA-256 differs"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindProblem(Path(c.file), c.requirements), c.problem)
        << WideToUtf8(c.file) << " signer \"" << c.requirements.signer << "\" digest \"" << c.requirements.sha256
        << "\" signature " << (c.requirements.signatureRequired ? "required" : "not required");
  }
  EXPECT_NE(other->issuer, "");
  EXPECT_EQ(other->issuer, testCa->issuer) << "one authority, two publishers";
}

TEST_F(PackageVerificationTest, SignerAndDigestAsTheSystemReadsThem) {
  const SignatureCheck good = CheckSignature(HeldFile(Path(L"good.exe")));
  EXPECT_EQ(good.status, 0u);
  ASSERT_TRUE(good.signer.has_value());
  EXPECT_EQ(good.signer->commonName, "Ostrane Test Signer");
  EXPECT_EQ(good.signer->issuerName, "Ostrane Test CA");
  const SignatureCheck untrusted = CheckSignature(HeldFile(Path(L"untrusted.exe")));
  EXPECT_NE(untrusted.status, 0u);
  EXPECT_FALSE(TrustedSignerOf(Path(L"untrusted.exe")).has_value()) << "only a trusted signature names a signer";
  EXPECT_FALSE(CheckSignature(HeldFile(Path(L"unsigned.exe"))).signer.has_value());
  EXPECT_EQ(Sha256Of(HeldFile(Path(L"good.exe"))), std::optional<std::string>(Sha256Hex(signed_)));
  EXPECT_EQ(Sha256Of(HeldFile(Path(L"missing.exe"))), std::nullopt);
  EXPECT_FALSE(InstallerSigner().has_value()) << "this test program is not signed";
}

// From its check to its start, a package's file is held: nobody can write, rename or
// delete it, so what runs is what was checked.
TEST_F(PackageVerificationTest, ACheckedFileCannotBeChangedUntilItHasStarted) {
  // Named as the ISV product is: no extension.
  Write(L"beta", signed_);
  CheckedDownload checked = CheckDownload({true, L"", Path(L"beta")}, {}, false);
  ASSERT_TRUE(checked.result.ok) << WideToUtf8(checked.result.text);
  EXPECT_EQ(checked.package.kind, PackageKind::Program);
  EXPECT_EQ(checked.package.path, Path(L"beta.exe")) << "named as a program before it was checked";
  EXPECT_FALSE(Exists(Path(L"beta")));
  ASSERT_TRUE(checked.package.holds);

  const std::wstring path = checked.package.path;
  const HANDLE writer = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  if (writer != INVALID_HANDLE_VALUE) ::CloseHandle(writer);
  EXPECT_FALSE(::DeleteFileW(path.c_str()));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(::MoveFileExW(path.c_str(), Path(L"moved.exe").c_str(), 0));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  // Readers are welcome: the program's own start is one.
  const HANDLE reader =
      ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  if (reader != INVALID_HANDLE_VALUE) ::CloseHandle(reader);

  // The program starts while it is held, and once nothing holds it any more it is an
  // ordinary file again.
  StartablePackage start = PrepareToStart(checked.package, {});
  ASSERT_EQ(start.failurePrefix, "") << WideToUtf8(start.failure);
  EXPECT_EQ(start.program, path);
  const std::weak_ptr<FileHolds> held = start.holds;
  const ExecResult run = LaunchAsync(start.program, L"", true, std::move(start.holds)).get();
  EXPECT_EQ(run.exitCode, 0u) << WideToUtf8(run.text);
  EXPECT_FALSE(held.expired()) << "the checked package still holds it";
  checked.package.holds.reset();
  EXPECT_TRUE(held.expired()) << "the start let go of its share";
  EXPECT_TRUE(::DeleteFileW(path.c_str())) << ::GetLastError();
}

TEST_F(PackageVerificationTest, WhatStartsIsDecidedByWhatTheFileIs) {
  std::string pkBatch = "PK\x03\x04\r\n@echo off\r\necho ran > marker.txt\r\n";
  const struct {
    const wchar_t* name;
    std::string bytes;
    bool downloadOk;       // passes the check after its download
    PackageKind kind;
    const char* startPrefix;  // how its start ends: "" starts
    const wchar_t* text;      // the failure text, or what is started (its name)
  } cases[] = {
      {L"tool", signed_, true, PackageKind::Program, "", L"tool.exe"},
      {L"setup.cmd", signed_, true, PackageKind::Program, "", L"setup.cmd.exe"},
      {L"evil.cmd", pkBatch, false, PackageKind::Other, "", L"Not trusted: the archive cannot be read"},
      {L"notes.cmd", "@echo off\r\necho ran > marker.txt\r\n", true, PackageKind::Other, "EXEC FAILED: ",
       L"Not a program: notes.cmd is neither a Windows program nor an archive holding one"},
      {L"setup.exe", std::string("MZ") + std::string(100, '\0'), true, PackageKind::Other, "EXEC FAILED: ",
       L"Not a program: setup.exe is neither a Windows program nor an archive holding one"},
      {L"setup.msi", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1 not a program", true, PackageKind::Other, "EXEC FAILED: ",
       L"Not a program: setup.msi is neither a Windows program nor an archive holding one"},
      {L"unsigned", ReadBytes(DemoFile(L"offer_installer_unsigned.exe")), false, PackageKind::Other, "",
       L"Not trusted: no signature"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.name));
    Write(c.name, c.bytes);
    const CheckedDownload checked = CheckDownload({true, L"", Path(c.name)}, {}, false);
    EXPECT_EQ(checked.result.ok, c.downloadOk) << WideToUtf8(checked.result.text);
    if (!c.downloadOk) {
      EXPECT_TRUE(checked.result.text.starts_with(c.text)) << WideToUtf8(checked.result.text);
      EXPECT_FALSE(Exists(Path(c.name))) << "a refused file is deleted";
      continue;
    }
    EXPECT_EQ(checked.package.kind, c.kind);
    const StartablePackage start = PrepareToStart(checked.package, {});
    EXPECT_EQ(start.failurePrefix, c.startPrefix);
    if (start.failurePrefix.empty()) {
      EXPECT_EQ(start.program, Path(c.text));
    } else {
      EXPECT_EQ(start.failure, c.text);
      EXPECT_EQ(start.program, L"");
    }
  }
}

TEST_F(PackageVerificationTest, AWindowsInstallerPackageIsCheckedWhereOneMayBeOpened) {
  // No signed package is at hand here: an unsigned compound file must be refused
  // where packages are allowed, and is no program elsewhere.
  const std::string msi = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") + std::string(600, '\0');
  Write(L"product", msi);
  const CheckedDownload refused = CheckDownload({true, L"", Path(L"product")}, {}, true);
  EXPECT_FALSE(refused.result.ok);
  EXPECT_TRUE(refused.result.text.starts_with(L"Not trusted: ")) << WideToUtf8(refused.result.text);
  EXPECT_FALSE(Exists(Path(L"product.msi")));
  Write(L"product", msi);
  const CheckedDownload allowed = CheckDownload({true, L"", Path(L"product")}, {false, "", ""}, true);
  ASSERT_TRUE(allowed.result.ok) << WideToUtf8(allowed.result.text);
  EXPECT_EQ(allowed.package.kind, PackageKind::WindowsInstaller);
  EXPECT_EQ(allowed.package.path, Path(L"product.msi"));
}

// A ZIP runs only when the campaign vouches for the archive's digest, or when every
// program, library and script in it carries a trusted signature.
TEST_F(PackageVerificationTest, AnArchiveRunsOnlyWhenAllItsCodeIsVouchedFor) {
  const std::string unsignedProgram = ReadBytes(DemoFile(L"offer_installer_unsigned.exe"));
  const auto zip = [](std::initializer_list<std::pair<std::string, std::string>> entries) {
    testing::ZipBuilder builder;
    for (const auto& [name, data] : entries) builder.Add(name, data);
    const auto bytes = builder.Build();
    return std::string(bytes.begin(), bytes.end());
  };
  const std::string withUnsignedDll = zip({{"setup.exe", signed_}, {"helper.dll", unsignedProgram}});
  const struct {
    const char* what;
    std::string archive;
    bool vouched;  // the campaign names the archive's SHA-256
    const char* prefix;
    const wchar_t* failure;
  } cases[] = {
      {"signed program alone", zip({{"setup.exe", signed_}, {"readme.txt", "text"}}), false, "", L""},
      {"an unsigned library beside it", withUnsignedDll, false, "DOWNLOAD FAILED: ",
       L"Not trusted: helper.dll in the archive: no signature"},
      {"the same, vouched for", withUnsignedDll, true, "", L""},
      {"a library under another name", zip({{"setup.exe", signed_}, {"data\\plugin.dat", unsignedProgram}}), false,
       "DOWNLOAD FAILED: ", L"Not trusted: data\\plugin.dat in the archive: no signature"},
      {"a script", zip({{"setup.exe", signed_}, {"run.cmd", "@echo off"}}), false, "DOWNLOAD FAILED: ",
       L"Not trusted: run.cmd in the archive: no signature"},
      {"an unsigned program, vouched for", zip({{"setup.exe", unsignedProgram}}), true, "DOWNLOAD FAILED: ",
       L"Not trusted: no signature"},
      {"no program", zip({{"readme.txt", "text"}}), false, "EXEC FAILED: ",
       L"Not a program: the archive holds no program"},
      {"a script named as the program", zip({{"setup.exe", "@echo off"}}), true, "EXEC FAILED: ",
       L"Not a program: the archive holds no program"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring folder = Path(L"p" + std::to_wstring(n++));
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring path = folder + L"\\bundle.zip";
    WriteBytes(path, c.archive);
    TrustRequirements requirements;
    if (c.vouched) requirements.sha256 = Sha256Hex(c.archive);
    const CheckedDownload checked = CheckDownload({true, L"", path}, requirements, false);
    ASSERT_TRUE(checked.result.ok) << WideToUtf8(checked.result.text);
    ASSERT_EQ(checked.package.kind, PackageKind::Zip);
    const StartablePackage start = PrepareToStart(checked.package, requirements);
    EXPECT_EQ(start.failurePrefix, c.prefix);
    EXPECT_EQ(start.failure, c.failure);
    if (start.failurePrefix.empty()) {
      EXPECT_EQ(start.program, folder + L"\\bundle\\setup.exe");
    } else {
      EXPECT_FALSE(Exists(folder + L"\\bundle")) << "a refused archive's folder goes";
    }
  }
  Write(L"bundle.zip", zip({{"setup.exe", signed_}}));
  const CheckedDownload wrongDigest =
      CheckDownload({true, L"", Path(L"bundle.zip")}, {true, std::string(64, 'f'), ""}, false);
  EXPECT_EQ(wrongDigest.result.text, L"Not trusted: SHA-256 differs");
}

// A failure of the check itself (a read that fails, an exception) refuses the file
// instead of stopping the page.
TEST_F(PackageVerificationTest, AFileThatCannotBeHeldIsRefused) {
  Write(L"busy.exe", signed_);
  const HANDLE writer = ::CreateFileW(Path(L"busy.exe").c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                     nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  const CheckedDownload checked = CheckDownload({true, L"", Path(L"busy.exe")}, {}, false);
  ::CloseHandle(writer);
  EXPECT_FALSE(checked.result.ok);
  EXPECT_TRUE(checked.result.text.starts_with(L"Not trusted: the file cannot be held for its check"))
      << WideToUtf8(checked.result.text);
  // A failed download stays as it was.
  const CheckedDownload failed = CheckDownload({false, L"timeout", {}}, {}, false);
  EXPECT_EQ(failed.result.text, L"timeout");
}

}  // namespace
}  // namespace ostrane

// The checks before a package runs, with Wine's own WinVerifyTrust and crypt32 on
// the demo offer installer as the build signs it: by "Ostrane Test Signer" under the
// test CA (in the system's trust store, which Wine reads), unsigned, and by a signer
// under a CA that nothing trusts.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "download/package_verification.h"
#include "system/digest.h"
#include "system/text_convert.h"
#include "testing/kit_paths.h"

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

TEST_F(PackageVerificationTest, EachFileGetsItsVerdict) {
  const std::string digest = Sha256Hex(signed_);
  std::string upper = digest;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
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
      // Without the signature check, a named signer or digest still holds.
      {L"unsigned.exe", {false, "", ""}, ""},
      {L"unsigned.exe", {false, "", "Ostrane Test Signer"}, "no signature"},
      {L"untrusted.exe", {false, "", "Ostrane Untrusted Signer"}, ""},
      {L"untrusted.exe", {false, std::string(64, '0'), ""}, "SHA-256 differs"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindDownloadTrustProblem(Path(c.file), c.requirements, false), c.problem)
        << WideToUtf8(c.file) << " signer \"" << c.requirements.signer << "\" digest \"" << c.requirements.sha256
        << "\" signature " << (c.requirements.signatureRequired ? "required" : "not required");
  }
}

TEST_F(PackageVerificationTest, AnArchiveIsHeldToItsDigestOnly) {
  // Its program is checked once unpacked: the archive itself carries no signature.
  Write(L"bundle.zip", ReadBytes(DemoFile(L"offer_bundle.zip")));
  const std::string digest = Sha256Hex(ReadBytes(Path(L"bundle.zip")));
  EXPECT_EQ(FindDownloadTrustProblem(Path(L"bundle.zip"), {true, digest, ""}, true), "");
  EXPECT_EQ(FindDownloadTrustProblem(Path(L"bundle.zip"), {true, std::string(64, 'f'), ""}, true), "SHA-256 differs");
}

TEST_F(PackageVerificationTest, SignerAndDigestAsTheSystemReadsThem) {
  EXPECT_EQ(VerifyEmbeddedSignature(Path(L"good.exe")), 0u);
  EXPECT_EQ(SignerCommonName(Path(L"good.exe")), std::optional<std::wstring>(L"Ostrane Test Signer"));
  EXPECT_EQ(SignerCommonName(Path(L"untrusted.exe")), std::optional<std::wstring>(L"Ostrane Untrusted Signer"));
  EXPECT_EQ(SignerCommonName(Path(L"unsigned.exe")), std::nullopt);
  EXPECT_EQ(FileSha256(Path(L"good.exe")), std::optional<std::string>(Sha256Hex(signed_)));
  EXPECT_EQ(FileSha256(Path(L"missing.exe")), std::nullopt);
}

TEST_F(PackageVerificationTest, ARefusedDownloadLeavesNoFile) {
  const DownloadResult kept = RefuseUntrustedDownload({true, L""}, Path(L"good.exe"), {});
  EXPECT_TRUE(kept.ok);
  EXPECT_TRUE(Exists(Path(L"good.exe")));

  const DownloadResult refused = RefuseUntrustedDownload({true, L""}, Path(L"unsigned.exe"), {});
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.text, L"Not trusted: no signature");
  EXPECT_FALSE(Exists(Path(L"unsigned.exe")));

  // A failed download stays as it was.
  const DownloadResult failed = RefuseUntrustedDownload({false, L"timeout"}, Path(L"changed.exe"), {});
  EXPECT_EQ(failed.text, L"timeout");
  EXPECT_TRUE(Exists(Path(L"changed.exe")));
}

}  // namespace
}  // namespace ostrane

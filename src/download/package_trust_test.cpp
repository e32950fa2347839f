#include "download/package_trust.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

TEST(PackageTrustTest, Sha256TextsAreSixtyFourHexDigitsInEitherCase) {
  const std::string digest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
  std::string upper = digest;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const struct {
    std::string text;
    bool valid;
  } cases[] = {
      {digest, true},
      {upper, true},
      {"", false},
      {digest.substr(1), false},             // 63 digits
      {digest + "0", false},                 // 65
      {digest.substr(1) + "g", false},       // not a hex digit
      {" " + digest.substr(1), false},       // white space
      {digest.substr(2) + "0x", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSha256Hex(c.text), c.valid) << "\"" << c.text << "\"";

  const struct {
    std::string expected;
    bool matches;
  } against[] = {
      {upper, true},
      {digest.substr(0, 63) + "6", false},
      {digest.substr(1), false},
      {digest.substr(0, 63), false},  // a prefix
      {"", false},
  };
  for (const auto& c : against) EXPECT_EQ(Sha256Matches(digest, c.expected), c.matches) << "\"" << c.expected << "\"";
}

TEST(PackageTrustTest, EachSystemStatusHasItsReason) {
  const struct {
    std::uint32_t status;
    const char* reason;
  } cases[] = {
      {0, ""},
      {0x800B0100, "no signature"},
      {0x800B0003, "no signature"},  // not a file kind that can carry one
      {0x80096010, "the signature does not match the file"},
      {0x800B0109, "the certificate chain is not trusted"},
      {0x800B010A, "the certificate chain is not trusted"},
      {0x800B0101, "the certificate chain is not trusted"},
      {0x800B010C, "the certificate chain is not trusted"},  // revoked
      {0x800B0111, "the certificate chain is not trusted"},
      {0x800B0110, "the certificate chain is not trusted"},
      {0x800B0112, "the certificate chain is not trusted"},
      {0x800B010E, "the certificate chain is not trusted"},
      {0x80092012, "the certificate chain is not trusted"},
      {0x80092013, "the certificate chain is not trusted"},
      {0x80096004, "the certificate chain is not trusted"},
      {0x800B0004, "the certificate chain is not trusted"},
      {0x80070002, "the signature check failed (0x80070002)"},
  };
  for (const auto& c : cases) EXPECT_EQ(SignatureFailureReason(c.status), c.reason) << std::hex << c.status;
}

TEST(PackageTrustTest, SignerMustBeTheSameNameExactly) {
  EXPECT_EQ(SignerMismatchReason("Ostrane Test Signer", "Ostrane Test Signer"), "");
  EXPECT_EQ(SignerMismatchReason("ostrane test signer", "Ostrane Test Signer"),
            "signer is ostrane test signer, expected Ostrane Test Signer");
}

}  // namespace
}  // namespace ostrane

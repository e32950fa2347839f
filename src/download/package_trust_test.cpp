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

TEST(PackageTrustTest, TheFactsOfAFileAgainstWhatItMustShow) {
  const std::string digest(64, 'a');
  const SignerIdentity publisher{"Quillara Ltd", "3015", "Quillara CA"};
  const SignerIdentity sameNameElsewhere{"Quillara Ltd", "3016", "Other CA"};
  const TrustFacts good{digest, 0, publisher};
  const TrustFacts unsignedFile{digest, 0x800B0100, std::nullopt};
  const TrustFacts untrustedChain{digest, 0x800B0109, publisher};
  const TrustFacts unreadable{std::nullopt, 0, publisher};
  const struct {
    const char* what;
    TrustFacts facts;
    TrustRequirements requirements;
    const char* problem;
  } cases[] = {
      {"a trusted signature", good, {}, ""},
      {"no signature", unsignedFile, {}, "no signature"},
      {"no signature, none required", unsignedFile, {false, "", ""}, ""},
      {"an untrusted chain, none required", untrustedChain, {false, "", ""}, ""},
      {"a named signer needs a trusted signature even when none is required", untrustedChain,
       {false, "", "Quillara Ltd"}, "the certificate chain is not trusted"},
      {"a named signer on an unsigned file", unsignedFile, {false, "", "Quillara Ltd"}, "no signature"},
      {"the named signer", good, {true, "", "Quillara Ltd"}, ""},
      {"another signer", good, {true, "", "Partner Ltd"}, "signer is Quillara Ltd, expected Partner Ltd"},
      {"the signer's authority", good, {true, "", "Quillara Ltd", "3015"}, ""},
      {"the same name from another authority", TrustFacts{digest, 0, sameNameElsewhere},
       {true, "", "Quillara Ltd", "3015"}, "signer Quillara Ltd is certified by Other CA, another authority than expected"},
      {"the digest", good, {true, digest, ""}, ""},
      {"the digest in capitals", good, {true, std::string(64, 'A'), ""}, ""},
      {"another digest", good, {true, std::string(64, 'b'), ""}, "SHA-256 differs"},
      {"a digest of an unreadable file", unreadable, {true, digest, ""}, "the file cannot be read"},
      {"the digest comes first", unsignedFile, {true, std::string(64, 'b'), ""}, "SHA-256 differs"},
  };
  for (const auto& c : cases) EXPECT_EQ(TrustProblem(c.facts, c.requirements), c.problem) << c.what;

  EXPECT_EQ(ArchiveTrustProblem(digest, {}), "") << "an archive without a named digest";
  EXPECT_EQ(ArchiveTrustProblem(std::nullopt, {true, digest, ""}), "the file cannot be read");
  EXPECT_EQ(ArchiveTrustProblem(std::string(64, 'b'), {true, digest, ""}), "SHA-256 differs");
}

}  // namespace
}  // namespace ostrane

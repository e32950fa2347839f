#include "download/package_trust.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace ostrane {
namespace {

// The system's statuses, as WinVerifyTrust returns them.
constexpr std::uint32_t kNoSignature = 0x800B0100;         // TRUST_E_NOSIGNATURE
constexpr std::uint32_t kSubjectFormUnknown = 0x800B0003;  // TRUST_E_SUBJECT_FORM_UNKNOWN
constexpr std::uint32_t kBadDigest = 0x80096010;           // TRUST_E_BAD_DIGEST
constexpr std::uint32_t kChainStatuses[] = {
    0x800B0109,  // CERT_E_UNTRUSTEDROOT
    0x800B010A,  // CERT_E_CHAINING
    0x800B0101,  // CERT_E_EXPIRED
    0x800B010C,  // CERT_E_REVOKED
    0x800B0111,  // TRUST_E_EXPLICIT_DISTRUST
    0x800B0110,  // CERT_E_WRONG_USAGE
    0x800B0112,  // CERT_E_UNTRUSTEDCA
    0x800B010E,  // CERT_E_REVOCATION_FAILURE
    0x80092012,  // CRYPT_E_NO_REVOCATION_CHECK
    0x80092013,  // CRYPT_E_REVOCATION_OFFLINE
    0x80096004,  // TRUST_E_CERT_SIGNATURE
    0x800B0004,  // TRUST_E_SUBJECT_NOT_TRUSTED
};

}  // namespace

bool IsSha256Hex(std::string_view text) {
  return text.size() == 64 &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

bool Sha256Matches(std::string_view actual, std::string_view expected) {
  return actual.size() == expected.size() &&
         std::equal(actual.begin(), actual.end(), expected.begin(), [](unsigned char a, unsigned char b) {
           return std::tolower(a) == std::tolower(b);
         });
}

std::string SignatureFailureReason(std::uint32_t status) {
  if (status == 0) return {};
  if (status == kNoSignature || status == kSubjectFormUnknown) return kNoSignatureReason;
  if (status == kBadDigest) return "the signature does not match the file";
  if (std::find(std::begin(kChainStatuses), std::end(kChainStatuses), status) != std::end(kChainStatuses))
    return "the certificate chain is not trusted";
  char text[64];
  std::snprintf(text, sizeof text, "the signature check failed (0x%08X)", static_cast<unsigned>(status));
  return text;
}

std::string SignerMismatchReason(std::string_view actual, std::string_view expected) {
  if (actual == expected) return {};
  return "signer is " + std::string(actual) + ", expected " + std::string(expected);
}

std::string ArchiveTrustProblem(const std::optional<std::string>& sha256, const TrustRequirements& requirements) {
  if (requirements.sha256.empty()) return {};
  if (!sha256) return "the file cannot be read";
  return Sha256Matches(*sha256, requirements.sha256) ? std::string() : kHashMismatchReason;
}

std::string TrustProblem(const TrustFacts& facts, const TrustRequirements& requirements) {
  if (std::string problem = ArchiveTrustProblem(facts.sha256, requirements); !problem.empty()) return problem;
  const bool signerNamed = !requirements.signer.empty();
  if (requirements.signatureRequired || signerNamed) {
    if (std::string reason = SignatureFailureReason(facts.signatureStatus); !reason.empty()) return reason;
  }
  if (!signerNamed) return {};
  if (!facts.signer) return kNoSignatureReason;
  if (std::string reason = SignerMismatchReason(facts.signer->commonName, requirements.signer); !reason.empty())
    return reason;
  if (!requirements.signerIssuer.empty() && facts.signer->issuer != requirements.signerIssuer)
    return "signer " + facts.signer->commonName + " is certified by " + facts.signer->issuerName +
           ", another authority than expected";
  return {};
}

}  // namespace ostrane

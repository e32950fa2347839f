// What a downloaded package must show before anything of it runs, and the English
// reasons given when it does not: an Authenticode signature that the system trusts,
// and the signer and SHA-256 that the campaign may name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrane {

struct TrustRequirements {
  bool signatureRequired = true;
  std::string sha256;  // 64 hexadecimal digits in either case; empty: not checked
  std::string signer;  // UTF-8, the exact common name of the signer's subject; empty: any
  // The issuer of the signer's certificate, its encoded name in hexadecimal; empty:
  // any. Set with signer, so that a name alone, which any authority may issue, is
  // not enough.
  std::string signerIssuer{};
};

// Who signed a file, as the certificate chain that the system verified says.
struct SignerIdentity {
  std::string commonName;  // UTF-8, the subject's common name
  std::string issuer;      // the issuer's encoded name in hexadecimal: compared exactly
  std::string issuerName;  // the issuer's common name, for people to read
};

// What the checks found in one file.
struct TrustFacts {
  std::optional<std::string> sha256;      // lowercase; nothing when the file could not be read
  std::uint32_t signatureStatus = 0;      // the system's verdict on the embedded signature
  std::optional<SignerIdentity> signer;   // from the verified chain; nothing without one
};

// Why a file with these facts must not run; empty when it may. A named signer is
// held to a signature the system trusts even when signatures are not required.
std::string TrustProblem(const TrustFacts& facts, const TrustRequirements& requirements);

// The same for an archive, which carries no signature of its own: its digest alone.
std::string ArchiveTrustProblem(const std::optional<std::string>& sha256, const TrustRequirements& requirements);

// Starts the text after "DOWNLOAD FAILED: " in a refused package's event.
inline constexpr std::string_view kNotTrustedPrefix = "Not trusted: ";

// True for exactly 64 hexadecimal digits, in either case.
bool IsSha256Hex(std::string_view text);

// The digest the file has (lowercase) against the one the campaign names.
bool Sha256Matches(std::string_view actual, std::string_view expected);

// The reason for a status of the system's signature check (WinVerifyTrust); empty
// for 0, the status of a trusted signature.
std::string SignatureFailureReason(std::uint32_t status);

// The reason for a signer other than the one expected; empty when they are the same.
std::string SignerMismatchReason(std::string_view actual, std::string_view expected);

inline constexpr char kHashMismatchReason[] = "SHA-256 differs";
inline constexpr char kNoSignatureReason[] = "no signature";

}  // namespace ostrane

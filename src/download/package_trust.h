// What a downloaded package must show before anything of it runs, and the English
// reasons given when it does not: an Authenticode signature that the system trusts,
// and the signer and SHA-256 that the campaign may name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrane {

struct TrustRequirements {
  bool signatureRequired = true;
  std::string sha256;  // 64 hexadecimal digits in either case; empty: not checked
  std::string signer;  // UTF-8, the exact common name of the signer's subject; empty: any
};

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

// The checks a downloaded file passes before anything of it runs: the system's
// Authenticode verdict, the signer as the verified chain names it, and the file's
// SHA-256, all read through the one handle that holds the file until it starts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "download/held_file.h"
#include "download/package_trust.h"

namespace ostrane {

struct SignatureCheck {
  // WinVerifyTrust's status for the embedded signature (generic verify action, no
  // UI, revocation from the local cache only, so an offline machine never waits on
  // the network), made stricter by a look at the chain's end.
  std::uint32_t status = 0;
  // The leaf of the chain that the verdict rests on; nothing without a signature.
  std::optional<SignerIdentity> signer;
};

SignatureCheck CheckSignature(const HeldFile& file);

// Lowercase hexadecimal; nothing when the file cannot be read.
std::optional<std::string> Sha256Of(const HeldFile& file);

// Why the held file must not run, in English; empty when it may.
std::string FindTrustProblem(const HeldFile& file, const TrustRequirements& requirements);

// Who signed this installer, when Windows trusts its signature; nothing for an
// unsigned (developer) build. Read once.
const std::optional<SignerIdentity>& InstallerSigner();

// The same for any program file, read by path (tests and the installer itself).
std::optional<SignerIdentity> TrustedSignerOf(const std::wstring& path);

// "Not trusted: " and the reason, as the package's failure event shows it.
std::wstring NotTrustedText(const std::string& reason);

}  // namespace ostrane

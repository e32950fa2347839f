// The checks a downloaded file passes before anything of it runs: the system's
// Authenticode verdict, the signer's name and the file's SHA-256.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "download/download_result.h"
#include "download/package_trust.h"

namespace ostrane {

// WinVerifyTrust's status for the file's embedded signature: generic verify action,
// no UI, revocation looked up in the local cache only (an offline machine never
// waits on the network).
std::uint32_t VerifyEmbeddedSignature(const std::wstring& path);

// The common name of the subject of the certificate that signed the file; nothing
// when the file carries no signature.
std::optional<std::wstring> SignerCommonName(const std::wstring& path);

// Lowercase hexadecimal; nothing when the file cannot be read.
std::optional<std::string> FileSha256(const std::wstring& path);

// Why a downloaded file must not run, in English; empty when it may. An archive is
// held to its SHA-256 only: the program found inside is checked once unpacked.
std::string FindDownloadTrustProblem(const std::wstring& path, const TrustRequirements& requirements,
                                     bool isArchive);

// Why a program must not run (its signature and signer); empty when it may.
std::string FindProgramTrustProblem(const std::wstring& path, const TrustRequirements& requirements);

// A finished download held to the requirements: when its file must not run, the
// file is deleted and the result fails with "Not trusted: " and the reason.
DownloadResult RefuseUntrustedDownload(DownloadResult result, const std::wstring& path,
                                       const TrustRequirements& requirements);

// "Not trusted: " and the reason, as the package's failure event shows it.
std::wstring NotTrustedText(const std::string& reason);

}  // namespace ostrane

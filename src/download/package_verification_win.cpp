#include "download/package_verification.h"

#include <windows.h>
#include <wincrypt.h>
#include <softpub.h>
#include <wintrust.h>

#include <mutex>
#include <type_traits>
#include <vector>

#include "system/digest.h"
#include "system/encoding.h"
#include "system/text_convert.h"
#include "winui/system_library.h"

namespace ostrane {
namespace {

// crypt32 is no known system DLL, so it must not be an ordinary import (a copy
// planted beside the installer would be loaded at start). The one function we need
// from it is taken from the system folder's copy when first needed.
decltype(&::CertGetNameStringW) CertNameFunction() {
  static const auto function = win::SystemFunction<decltype(&::CertGetNameStringW)>(
      win::LoadSystemLibrary(L"crypt32.dll"), "CertGetNameStringW");
  return function;
}

std::string CommonName(PCCERT_CONTEXT certificate, DWORD flags) {
  const auto nameString = CertNameFunction();
  if (nameString == nullptr) return {};
  char commonNameOid[] = szOID_COMMON_NAME;
  const DWORD length = nameString(certificate, CERT_NAME_ATTR_TYPE, flags, commonNameOid, nullptr, 0);
  if (length <= 1) return {};
  std::wstring name(length, L'\0');
  nameString(certificate, CERT_NAME_ATTR_TYPE, flags, commonNameOid, name.data(), length);
  name.resize(length - 1);  // the count includes the closing NUL
  return WideToUtf8(name);
}

// The leaf certificate of the chain the verdict rests on, as the provider built it.
std::optional<SignerIdentity> SignerFromChain(CRYPT_PROVIDER_DATA* provider) {
  CRYPT_PROVIDER_SGNR* signer = provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
  CRYPT_PROVIDER_CERT* leaf = signer ? ::WTHelperGetProvCertFromChain(signer, 0) : nullptr;
  if (leaf == nullptr || leaf->pCert == nullptr || leaf->pCert->pCertInfo == nullptr) return std::nullopt;
  const CERT_NAME_BLOB& issuer = leaf->pCert->pCertInfo->Issuer;
  SignerIdentity identity;
  identity.commonName = CommonName(leaf->pCert, 0);
  identity.issuer = HexLower(std::string_view(reinterpret_cast<const char*>(issuer.pbData), issuer.cbData));
  identity.issuerName = CommonName(leaf->pCert, CERT_NAME_ISSUER_FLAG);
  return identity;
}

// Whether the chain that the verdict rests on ends in a root this machine trusts.
// Windows' Authenticode policy already refuses any other; Wine 8 answers 0 for a
// signer whose CA is in no store, so the chain is looked at here as well.
LONG ChainEndStatus(CRYPT_PROVIDER_DATA* provider) {
  CRYPT_PROVIDER_SGNR* signer = provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
  if (signer == nullptr || signer->pChainContext == nullptr) return CERT_E_CHAINING;
  const DWORD errors = signer->pChainContext->TrustStatus.dwErrorStatus;
  if (errors & CERT_TRUST_IS_PARTIAL_CHAIN) return CERT_E_CHAINING;
  if (errors & CERT_TRUST_IS_UNTRUSTED_ROOT) return CERT_E_UNTRUSTEDROOT;
  return ERROR_SUCCESS;
}

}  // namespace

SignatureCheck CheckSignature(const HeldFile& file) {
  WINTRUST_FILE_INFO info{};
  info.cbStruct = sizeof info;
  info.pcwszFilePath = file.path().c_str();
  // The handle is what is read: the path only names the file for the providers.
  info.hFile = file.get();
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  // INVALID_HANDLE_VALUE: no window may be shown for this check.
  SignatureCheck check;
  LONG status = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data.hWVTStateData);
  if (status == ERROR_SUCCESS) status = ChainEndStatus(provider);
  check.signer = SignerFromChain(provider);
  check.status = static_cast<std::uint32_t>(status);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return check;
}

std::optional<std::string> Sha256Of(const HeldFile& file) {
  if (!file.IsOpen()) return std::nullopt;
  HeldFileSource source(file);
  Sha256Stream digest;
  std::vector<unsigned char> chunk(1 << 20);
  for (std::uint64_t offset = 0; offset < source.Size();) {
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), source.Size() - offset));
    if (!source.ReadAt(offset, std::span<unsigned char>(chunk.data(), size))) return std::nullopt;
    digest.Add(std::string_view(reinterpret_cast<const char*>(chunk.data()), size));
    offset += size;
  }
  return digest.FinishHex();
}

std::string FindTrustProblem(const HeldFile& file, const TrustRequirements& requirements) {
  if (!file.IsOpen()) return "the file cannot be held for its check (error " + std::to_string(file.OpenError()) + ")";
  TrustFacts facts;
  if (!requirements.sha256.empty()) facts.sha256 = Sha256Of(file);
  if (requirements.signatureRequired || !requirements.signer.empty()) {
    const SignatureCheck check = CheckSignature(file);
    facts.signatureStatus = check.status;
    facts.signer = check.signer;
  }
  return TrustProblem(facts, requirements);
}

std::optional<SignerIdentity> TrustedSignerOf(const std::wstring& path) {
  const HeldFile file(path);
  if (!file.IsOpen()) return std::nullopt;
  const SignatureCheck check = CheckSignature(file);
  if (check.status != 0) return std::nullopt;
  return check.signer;
}

const std::optional<SignerIdentity>& InstallerSigner() {
  static std::once_flag once;
  static std::optional<SignerIdentity> signer;
  std::call_once(once, [] {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
      const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
      if (length == 0) return;
      if (length < path.size()) {
        path.resize(length);
        break;
      }
      path.resize(path.size() * 2);
    }
    signer = TrustedSignerOf(path);
  });
  return signer;
}

std::wstring NotTrustedText(const std::string& reason) { return Utf8ToWide(std::string(kNotTrustedPrefix) + reason); }

}  // namespace ostrane

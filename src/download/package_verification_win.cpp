#include "download/package_verification.h"

#include <windows.h>
#include <wincrypt.h>
#include <softpub.h>
#include <wintrust.h>

#include <type_traits>
#include <vector>

#include "download/package_execution.h"
#include "log/setup_log.h"
#include "system/digest.h"
#include "system/text_convert.h"
#include "winui/system_library.h"
#include "winui/unique_handle.h"

namespace ostrane {
namespace {

constexpr DWORD kEncodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// crypt32 is no known system DLL, so it must not be an ordinary import (a copy
// planted beside the installer would be loaded at start). Its few functions that
// read a signature are taken from the system folder's copy when first needed.
struct Crypt32 {
  decltype(&::CryptQueryObject) queryObject = nullptr;
  decltype(&::CryptMsgGetParam) messageParam = nullptr;
  decltype(&::CryptMsgClose) closeMessage = nullptr;
  decltype(&::CertFindCertificateInStore) findCertificate = nullptr;
  decltype(&::CertGetNameStringW) nameString = nullptr;
  decltype(&::CertFreeCertificateContext) freeCertificate = nullptr;
  decltype(&::CertCloseStore) closeStore = nullptr;

  bool Loaded() const {
    return queryObject && messageParam && closeMessage && findCertificate && nameString && freeCertificate &&
           closeStore;
  }
  static const Crypt32& Get() {
    static const Crypt32 functions = Load();
    return functions;
  }

 private:
  static Crypt32 Load() {
    Crypt32 functions;
    const HMODULE dll = win::LoadSystemLibrary(L"crypt32.dll");
    const auto take = [dll](auto& function, const char* name) {
      function = win::SystemFunction<std::remove_reference_t<decltype(function)>>(dll, name);
    };
    take(functions.queryObject, "CryptQueryObject");
    take(functions.messageParam, "CryptMsgGetParam");
    take(functions.closeMessage, "CryptMsgClose");
    take(functions.findCertificate, "CertFindCertificateInStore");
    take(functions.nameString, "CertGetNameStringW");
    take(functions.freeCertificate, "CertFreeCertificateContext");
    take(functions.closeStore, "CertCloseStore");
    return functions;
  }
};

struct CertStoreTraits {
  using Handle = HCERTSTORE;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { Crypt32::Get().closeStore(h, 0); }
};
struct CryptMessageTraits {
  using Handle = HCRYPTMSG;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { Crypt32::Get().closeMessage(h); }
};
struct CertContextTraits {
  using Handle = PCCERT_CONTEXT;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { Crypt32::Get().freeCertificate(h); }
};

// Whether the chain that the verdict rests on ends in a root this machine trusts.
// Windows' Authenticode policy already refuses any other; Wine 8 answers 0 for a
// signer whose CA is in no store, so the chain is looked at here as well.
LONG ChainEndStatus(HANDLE state) {
  CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(state);
  CRYPT_PROVIDER_SGNR* signer = provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
  if (signer == nullptr || signer->pChainContext == nullptr) return CERT_E_CHAINING;
  const DWORD errors = signer->pChainContext->TrustStatus.dwErrorStatus;
  if (errors & CERT_TRUST_IS_PARTIAL_CHAIN) return CERT_E_CHAINING;
  if (errors & CERT_TRUST_IS_UNTRUSTED_ROOT) return CERT_E_UNTRUSTEDROOT;
  return ERROR_SUCCESS;
}

}  // namespace

std::uint32_t VerifyEmbeddedSignature(const std::wstring& path) {
  WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = path.c_str();
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  // INVALID_HANDLE_VALUE: no window may be shown for this check.
  LONG status = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  if (status == ERROR_SUCCESS) status = ChainEndStatus(data.hWVTStateData);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return static_cast<std::uint32_t>(status);
}

std::optional<std::wstring> SignerCommonName(const std::wstring& path) {
  const Crypt32& crypt32 = Crypt32::Get();
  if (!crypt32.Loaded()) return std::nullopt;
  win::UniqueHandle<CertStoreTraits> store;
  win::UniqueHandle<CryptMessageTraits> message;
  DWORD encoding = 0, content = 0, format = 0;
  if (!crypt32.queryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &content, &format, store.put(), message.put(),
                          nullptr))
    return std::nullopt;
  DWORD size = 0;
  if (!crypt32.messageParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size == 0)
    return std::nullopt;
  std::vector<BYTE> buffer(size);
  if (!crypt32.messageParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) return std::nullopt;
  const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
  CERT_INFO wanted{};
  wanted.Issuer = signer->Issuer;
  wanted.SerialNumber = signer->SerialNumber;
  const win::UniqueHandle<CertContextTraits> certificate(
      crypt32.findCertificate(store.get(), kEncodings, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr));
  if (!certificate) return std::nullopt;
  char commonNameOid[] = szOID_COMMON_NAME;
  const DWORD length = crypt32.nameString(certificate.get(), CERT_NAME_ATTR_TYPE, 0, commonNameOid, nullptr, 0);
  std::wstring name(length, L'\0');
  crypt32.nameString(certificate.get(), CERT_NAME_ATTR_TYPE, 0, commonNameOid, name.data(), length);
  name.resize(length > 0 ? length - 1 : 0);  // the count includes the closing NUL
  return name;
}

std::optional<std::string> FileSha256(const std::wstring& path) {
  const win::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return std::nullopt;
  Sha256Stream digest;
  std::vector<char> chunk(1 << 20);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) return std::nullopt;
    if (read == 0) break;
    digest.Add(std::string_view(chunk.data(), read));
  }
  return digest.FinishHex();
}

std::string FindProgramTrustProblem(const std::wstring& path, const TrustRequirements& requirements) {
  if (requirements.signatureRequired) {
    if (std::string reason = SignatureFailureReason(VerifyEmbeddedSignature(path)); !reason.empty()) return reason;
  }
  if (requirements.signer.empty()) return {};
  const std::optional<std::wstring> signer = SignerCommonName(path);
  if (!signer) return kNoSignatureReason;
  return SignerMismatchReason(WideToUtf8(*signer), requirements.signer);
}

std::string FindDownloadTrustProblem(const std::wstring& path, const TrustRequirements& requirements,
                                     bool isArchive) {
  if (!requirements.sha256.empty()) {
    const std::optional<std::string> digest = FileSha256(path);
    if (!digest) return "the file cannot be read";
    if (!Sha256Matches(*digest, requirements.sha256)) return kHashMismatchReason;
  }
  return isArchive ? std::string() : FindProgramTrustProblem(path, requirements);
}

std::wstring NotTrustedText(const std::string& reason) { return Utf8ToWide(std::string(kNotTrustedPrefix) + reason); }

DownloadResult RefuseUntrustedDownload(DownloadResult result, const std::wstring& path,
                                       const TrustRequirements& requirements) {
  if (!result.ok) return result;
  // Only a ZIP is unpacked; any other file is started as it is.
  const bool isArchive = GetArchiveType(path) == ArchiveType::Zip;
  const std::string problem = FindDownloadTrustProblem(path, requirements, isArchive);
  const std::string name = WideToUtf8(path.substr(path.find_last_of(L"\\/") + 1));
  if (problem.empty()) {
    log::LogLine("verify", name + (isArchive ? ": archive accepted" : ": trusted") +
                               (requirements.sha256.empty() ? "" : ", SHA-256 as named") +
                               (requirements.signer.empty() ? "" : ", signed by " + requirements.signer));
    return result;
  }
  log::LogLine("verify", name + ": not trusted, " + problem + "; the file is deleted");
  ::DeleteFileW(path.c_str());
  return {false, NotTrustedText(problem)};
}

}  // namespace ostrane

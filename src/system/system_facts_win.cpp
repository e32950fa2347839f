#include <windows.h>
#include <wincrypt.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "system/encoding.h"
#include "system/system_facts.h"
#include "system/text_convert.h"
#include "winui/unique_handle.h"

namespace ostrane {
namespace {

struct CryptContextTraits {
  using Handle = HCRYPTPROV;
  static Handle Invalid() noexcept { return 0; }
  static void Close(Handle h) noexcept { ::CryptReleaseContext(h, 0); }
};
struct CryptHashTraits {
  using Handle = HCRYPTHASH;
  static Handle Invalid() noexcept { return 0; }
  static void Close(Handle h) noexcept { ::CryptDestroyHash(h); }
};
using UniqueCryptContext = win::UniqueHandle<CryptContextTraits>;
using UniqueCryptHash = win::UniqueHandle<CryptHashTraits>;

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);

}  // namespace

std::string OsVersionText() {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  auto rtlGetVersion =
      ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")))
            : nullptr;
  if (rtlGetVersion == nullptr || rtlGetVersion(&info) != 0) return {};
  return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
         std::to_string(info.dwBuildNumber);
}

bool IsWow64() {
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

std::string InstallerVersionText(HMODULE module) {
  if (module == nullptr) module = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));  // RT_VERSION
  if (found == nullptr) return {};
  const DWORD size = ::SizeofResource(module, found);
  HGLOBAL loaded = ::LoadResource(module, found);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (data == nullptr || size == 0) return {};
  // VerQueryValueW may write into the block, so it works on a copy of its own.
  std::vector<unsigned char> copy(static_cast<const unsigned char*>(data),
                                  static_cast<const unsigned char*>(data) + size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(copy.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr)
    return {};
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
         "." + std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

std::wstring FileNameCampaignCode() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return CampaignCodeFromPath(path);
}

std::string Md5Hex(const std::wstring& text) {
  try {
    const std::string bytes = WideToAnsi(text);
    UniqueCryptContext context;
    if (!::CryptAcquireContextW(context.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
      throw std::runtime_error("CryptAcquireContext failed");
    UniqueCryptHash hash;
    if (!::CryptCreateHash(context.get(), CALG_MD5, 0, 0, hash.put())) throw std::runtime_error("CryptCreateHash failed");
    if (!::CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0))
      throw std::runtime_error("CryptHashData failed");
    BYTE digest[16];
    DWORD length = sizeof digest;
    if (!::CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &length, 0))
      throw std::runtime_error("CryptGetHashParam failed");
    return HexLower(std::string_view(reinterpret_cast<const char*>(digest), length));
  } catch (const std::exception&) {
    return {};
  }
}

bool IsOsVersionAtLeast(WORD major, WORD minor, WORD servicePackMajor) {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  info.dwMajorVersion = major;
  info.dwMinorVersion = minor;
  info.wServicePackMajor = servicePackMajor;
  DWORDLONG conditions = 0;
  conditions = ::VerSetConditionMask(conditions, VER_MAJORVERSION, VER_GREATER_EQUAL);
  conditions = ::VerSetConditionMask(conditions, VER_MINORVERSION, VER_GREATER_EQUAL);
  conditions = ::VerSetConditionMask(conditions, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return ::VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, conditions) != FALSE;
}

}  // namespace ostrane

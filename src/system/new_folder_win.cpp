#include "system/new_folder.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace ostrane {
namespace {

constexpr int kTries = 16;

// Unpredictable enough that another program cannot keep taking our next name.
unsigned long NextSuffix() {
  static std::atomic<unsigned long> counter{0};
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  unsigned long mixed = static_cast<unsigned long>(now.QuadPart) ^ (::GetCurrentProcessId() << 16) ^
                        (counter.fetch_add(1) * 2654435761UL);
  mixed ^= mixed >> 15;
  return mixed * 2246822519UL;
}

}  // namespace

std::wstring MakeNewFolder(const std::wstring& parent, const std::wstring& name) {
  if (parent.empty() || name.empty()) return {};
  const std::wstring base = (parent.back() == L'\\' ? parent : parent + L'\\') + name;
  std::wstring candidate = base;
  for (int attempt = 0; attempt < kTries; ++attempt) {
    if (::CreateDirectoryW(candidate.c_str(), nullptr)) return candidate;
    const DWORD error = ::GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return {};
    wchar_t suffix[16];
    std::swprintf(suffix, 16, L"-%08lx", NextSuffix());
    candidate = base + suffix;
  }
  return {};
}

bool IsPlainFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

}  // namespace ostrane

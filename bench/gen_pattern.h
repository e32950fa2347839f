// The test server's /gen/N reply: N bytes, byte i being i % 251. A download counts
// only when the file it wrote is exactly that.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace ostrane::bench {

inline bool FileIsGenPattern(const std::wstring& path, unsigned long long expectedSize) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  constexpr DWORD kChunk = 1 << 20;
  // The pattern from every possible phase: a chunk at offset o compares with pattern + o % 251.
  std::vector<unsigned char> pattern(kChunk + 251);
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<unsigned char>(i % 251);
  std::vector<unsigned char> chunk(kChunk);
  unsigned long long offset = 0;
  bool same = true;
  DWORD read = 0;
  while (same && ::ReadFile(file, chunk.data(), kChunk, &read, nullptr) && read > 0) {
    same = std::memcmp(chunk.data(), pattern.data() + offset % 251, read) == 0;
    offset += read;
  }
  ::CloseHandle(file);
  return same && offset == expectedSize;
}

}  // namespace ostrane::bench

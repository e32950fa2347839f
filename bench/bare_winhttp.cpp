// The floor under our download: a bare WinHTTP loop, the least a program can do to
// fetch the file through WinHTTP. One request, 1 MiB reads, each written to a file
// as it comes (our download manager writes to disk too, so the floor does), in the
// temporary folder, where the manager's work folder is.
//   bare_winhttp URL SIZE
// Prints "bytes=<file size> seconds=<elapsed> idle_working_set=<bytes>
// peak_working_set=<bytes> ok=<0|1>"; ok means the file holds exactly the test
// server's /gen pattern of SIZE bytes (checked after the timed part).
#include <windows.h>
#include <psapi.h>
#include <winhttp.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gen_pattern.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fwprintf(stderr, L"usage: bare_winhttp URL SIZE\n");
    return 2;
  }
  const unsigned long long expected = std::wcstoull(argv[2], nullptr, 10);
  wchar_t folder[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, folder);
  const std::wstring target = std::wstring(folder) + L"bare_winhttp.bin";
  std::vector<char> buffer(1 << 20);
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
  const SIZE_T idle = memory.WorkingSetSize;

  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  wchar_t host[256] = {}, path[2048] = {};
  parts.lpszHostName = host;
  parts.dwHostNameLength = 256;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = 2048;
  if (!::WinHttpCrackUrl(argv[1], 0, 0, &parts)) return std::fwprintf(stderr, L"bad URL\n"), 1;

  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  HINTERNET session = ::WinHttpOpen(L"bare", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
  HINTERNET connection = session ? ::WinHttpConnect(session, host, parts.nPort, 0) : nullptr;
  HINTERNET request = connection ? ::WinHttpOpenRequest(connection, L"GET", path, nullptr, nullptr, nullptr,
                                                        parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0)
                                 : nullptr;
  DWORD status = 0, statusSize = sizeof status;
  const bool answered = request && ::WinHttpSendRequest(request, nullptr, 0, nullptr, 0, 0, 0) &&
                        ::WinHttpReceiveResponse(request, nullptr) &&
                        ::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, nullptr,
                                              &status, &statusSize, nullptr) &&
                        status == 200;
  HANDLE file = ::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = answered && file != INVALID_HANDLE_VALUE;
  unsigned long long bytes = 0;
  for (DWORD read = 0; ok; bytes += read) {
    ok = ::WinHttpReadData(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read) != FALSE;
    if (!ok || read == 0) break;
    DWORD written = 0;
    ok = ::WriteFile(file, buffer.data(), read, &written, nullptr) && written == read;
  }
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  if (request) ::WinHttpCloseHandle(request);
  if (connection) ::WinHttpCloseHandle(connection);
  if (session) ::WinHttpCloseHandle(session);
  ::QueryPerformanceCounter(&end);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);

  if (!ok) std::fwprintf(stderr, L"download failed: status %lu, error %lu\n", status, ::GetLastError());
  ok = ok && bytes == expected && ostrane::bench::FileIsGenPattern(target, expected);
  ::DeleteFileW(target.c_str());
  std::printf("bytes=%llu seconds=%.3f idle_working_set=%lu peak_working_set=%lu ok=%d\n", bytes,
              static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
              static_cast<unsigned long>(idle), static_cast<unsigned long>(memory.PeakWorkingSetSize), ok ? 1 : 0);
  return ok ? 0 : 1;
}

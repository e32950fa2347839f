// Downloads one URL through DownloadManager::Download into the work folder, as the
// download page does: the transfer on a worker thread, progress messages drained by
// this (the UI) thread. Prints what bench/download and bench/run read:
//   bytes=<file size> seconds=<elapsed> idle_working_set=<bytes> peak_working_set=<bytes>
//   ok=<0|1> winhttp=<0|1> progress=<messages>
// idle_working_set is this process's working set just before the download, with the
// settings and the manager made; ok means the file holds exactly the test server's
// /gen pattern of SIZE bytes (checked after the timed part); winhttp means the WinHTTP
// attempt itself succeeded: no failure text, so no fallback to WinINet.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "download/download_manager.h"
#include "gen_pattern.h"
#include "settings/configuration_manager.h"
#include "winui/window_messages.h"

namespace {

constexpr UINT kDownloadDone = WM_APP + 1;

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using namespace ostrane;
  if (argc < 2 || argc > 3) {
    std::fwprintf(stderr, L"usage: download_bench URL [SIZE]\n");
    return 2;
  }
  const unsigned long long expected = argc == 3 ? std::wcstoull(argv[2], nullptr, 10) : 0;
  // Progress goes to a message-only window of this thread.
  HWND notify = ::CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  const auto config = ConfigurationManager::Instance();
  const auto manager = DownloadManager::Instance();
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
  const SIZE_T idle = memory.WorkingSetSize;

  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  DownloadResult result;
  const DWORD uiThread = ::GetCurrentThreadId();
  std::thread worker([&] {
    result = manager->Download(argv[1], notify, L"bench.bin", true);
    ::PostThreadMessageW(uiThread, kDownloadDone, 0, 0);
  });
  int progress = 0;
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == kDownloadDone && msg.hwnd == nullptr) break;
    if (msg.message == WM_DOWNLOAD_PROGRESS) ++progress;
    ::DispatchMessageW(&msg);
  }
  worker.join();
  ::QueryPerformanceCounter(&end);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);

  const std::wstring path = manager->m_lastFilePath;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  unsigned long long bytes = 0;
  if (result.ok && ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
    bytes = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  const bool exact = result.ok && (expected == 0 || (bytes == expected && bench::FileIsGenPattern(path, expected)));

  if (result.ok) ::DeleteFileW(path.c_str());
  ::RemoveDirectoryW(config->m_workFolder.c_str());
  if (!result.text.empty()) std::fwprintf(stderr, L"failure text: %ls\n", result.text.c_str());
  std::printf("bytes=%llu seconds=%.3f idle_working_set=%lu peak_working_set=%lu ok=%d winhttp=%d progress=%d\n", bytes,
              static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
              static_cast<unsigned long>(idle), static_cast<unsigned long>(memory.PeakWorkingSetSize), exact ? 1 : 0,
              result.ok && result.text.empty() ? 1 : 0, progress);
  return exact ? 0 : 1;
}

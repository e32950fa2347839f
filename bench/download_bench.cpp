// Downloads one URL through DownloadManager::Download into the work folder and
// prints what the bench/download script reads:
//   bytes=<file size> seconds=<elapsed> peak_working_set=<bytes> ok=<0|1> progress=<messages>
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "settings/configuration_manager.h"
#include "winui/window_messages.h"
#include "download/download_manager.h"

int wmain(int argc, wchar_t** argv) {
  using namespace ostrane;
  if (argc != 2) {
    std::fwprintf(stderr, L"usage: download_bench URL\n");
    return 2;
  }
  // Progress goes to a message-only window of this thread, drained at the end.
  HWND notify = ::CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);

  const auto config = ConfigurationManager::Instance();
  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  const DownloadResult result = DownloadManager::Instance()->Download(argv[1], notify, L"bench.bin", true);
  ::QueryPerformanceCounter(&end);

  int progress = 0;
  MSG msg;
  while (::PeekMessageW(&msg, notify, 0, 0, PM_REMOVE))
    if (msg.message == WM_DOWNLOAD_PROGRESS) ++progress;

  const std::wstring path = DownloadManager::Instance()->m_lastFilePath;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  unsigned long long bytes = 0;
  if (result.ok && ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
    bytes = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);

  if (result.ok) ::DeleteFileW(path.c_str());
  ::RemoveDirectoryW(config->m_workFolder.c_str());
  if (!result.ok) std::fwprintf(stderr, L"download failed: %ls\n", result.text.c_str());
  std::printf("bytes=%llu seconds=%.3f peak_working_set=%lu ok=%d progress=%d\n", bytes,
              static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
              static_cast<unsigned long>(memory.PeakWorkingSetSize), result.ok ? 1 : 0, progress);
  return result.ok ? 0 : 1;
}

// Times a program from CreateProcess to its first page on screen, then ends it:
//   launch_timer PROGRAM [PAGE]
// Without PAGE it waits for a visible dialog window of the process (the floor
// program); with PAGE for a visible top-level window of the process that has a
// visible child dialog whose text is PAGE (the wizard names its page dialogs so).
// Prints "ms=<milliseconds>"; exit code 1 when nothing showed within 30 s.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct Search {
  DWORD pid = 0;
  const wchar_t* page = nullptr;
  bool found = false;
};

bool IsDialog(HWND window) {
  wchar_t name[16] = {};
  ::GetClassNameW(window, name, 16);
  return std::wstring(name) == L"#32770";
}

BOOL CALLBACK FindPageChild(HWND child, LPARAM parameter) {
  auto& search = *reinterpret_cast<Search*>(parameter);
  if (::GetParent(child) == nullptr || !IsDialog(child) || !::IsWindowVisible(child)) return TRUE;
  wchar_t text[64] = {};
  ::GetWindowTextW(child, text, 64);
  if (std::wstring(text) == search.page) {
    search.found = true;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindWindowOf(HWND window, LPARAM parameter) {
  auto& search = *reinterpret_cast<Search*>(parameter);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid != search.pid || !::IsWindowVisible(window)) return TRUE;
  if (search.page == nullptr) {
    search.found = IsDialog(window);
  } else {
    ::EnumChildWindows(window, FindPageChild, parameter);
  }
  return search.found ? FALSE : TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fwprintf(stderr, L"usage: launch_timer PROGRAM [PAGE]\n");
    return 2;
  }
  std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  LARGE_INTEGER frequency, start, now;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  if (!::CreateProcessW(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fwprintf(stderr, L"cannot start %ls: error %lu\n", argv[1], ::GetLastError());
    return 1;
  }
  Search search;
  search.pid = process.dwProcessId;
  search.page = argc > 2 ? argv[2] : nullptr;
  double elapsed = 0;
  // Polls every millisecond: the wait is part of the figure, so it must be short.
  for (;;) {
    ::EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&search));
    ::QueryPerformanceCounter(&now);
    elapsed = 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    if (search.found || elapsed > 30000 || ::WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) break;
    ::Sleep(1);
  }
  ::TerminateProcess(process.hProcess, 0);
  ::WaitForSingleObject(process.hProcess, 10000);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  if (!search.found) {
    std::fwprintf(stderr, L"no %ls within %.0f ms\n", search.page ? search.page : L"dialog", elapsed);
    return 1;
  }
  std::printf("ms=%.1f\n", elapsed);
  return 0;
}

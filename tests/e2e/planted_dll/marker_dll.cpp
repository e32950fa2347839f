// A DLL planted beside the installer under the name of one of its imports, as anyone
// who can write to a Downloads folder could. If it is ever loaded it leaves a mark
// in the file named by OSTRANE_PLANTED_MARK, with its own name.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t mark[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(L"OSTRANE_PLANTED_MARK", mark, MAX_PATH) == 0) return TRUE;
  wchar_t name[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(module, name, MAX_PATH);
  HANDLE file = ::CreateFileW(mark, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    ::WriteFile(file, name, length * sizeof(wchar_t), &written, nullptr);
    ::WriteFile(file, L"\n", sizeof(wchar_t), &written, nullptr);
    ::CloseHandle(file);
  }
  // Refusing to load makes a process that depends on it fail to start, as a hostile
  // copy without the real functions would.
  return FALSE;
}

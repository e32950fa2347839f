// A program for tests to start: exits with the number given as its first argument
// (0 without one). When OSTRANE_COMMAND_LINE_FILE names a file, it first writes its
// own command line there (UTF-16), so that a test sees exactly how it was started.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableW(L"OSTRANE_COMMAND_LINE_FILE", path, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    const wchar_t* line = ::GetCommandLineW();
    HANDLE file = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 100;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, line, static_cast<DWORD>(::lstrlenW(line) * sizeof(wchar_t)), &written, nullptr);
    ::CloseHandle(file);
    if (!ok) return 100;
  }
  return argc > 1 ? static_cast<int>(std::strtoul(argv[1], nullptr, 10)) : 0;
}

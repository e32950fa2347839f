// uidriver: drives the installer's windows from scripts (the demo, screenshots).
//   uidriver wait <caption> [seconds]   wait until a dialog with that caption is visible
//   uidriver close <caption>            ask that window to close (WM_CLOSE)
// Exit status 0 on success, 1 when the window did not appear, 2 for bad usage.
#include <windows.h>

#include <cstdio>
#include <string>

#include "ui_driver.h"

using namespace ostrane::uidriver;

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fputs("usage: uidriver wait|close <caption> [seconds]\n", stderr);
    return 2;
  }
  const std::wstring command = argv[1], caption = argv[2];
  const auto timeout = std::chrono::seconds(argc > 3 ? _wtoi(argv[3]) : 20);
  HWND window = WaitForDialog(0, caption, command == L"wait" ? std::chrono::milliseconds(timeout) : kPatience);
  if (window == nullptr) {
    std::fwprintf(stderr, L"no window \"%ls\"\n", caption.c_str());
    return 1;
  }
  if (command == L"close") ::PostMessageW(window, WM_CLOSE, 0, 0);
  else if (command != L"wait") return 2;
  return 0;
}

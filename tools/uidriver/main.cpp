// uidriver: drives the installer's wizard from scripts (the demo, screenshots).
//   uidriver wait [seconds]        wait until the wizard window is visible
//   uidriver wait-page NAME [s]    wait until that page is the visible one
//   uidriver page                  print the visible page's name
//   uidriver text ID               print a control's text on the visible page
//   uidriver click ID              press a button on the visible page
//   uidriver command ID            send the wizard window a command (WM_COMMAND)
//   uidriver answer ok|cancel      answer the installer's message box
//   uidriver key VK                press a key (virtual-key code) where the focus is
//   uidriver focus                 print the focused control's class and id
//   uidriver close                 ask the wizard to close (WM_CLOSE)
//   uidriver rect                  print the wizard's screen rectangle as WxH+X+Y
// The wizard is found by its caption, "Quillara Web " unless UIDRIVER_CAPTION says
// otherwise. Exit status 0 on success, 1 when a window did not appear, 2 for bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui_driver.h"

using namespace ostrane::uidriver;

namespace {

std::chrono::milliseconds Seconds(int argc, wchar_t** argv, int index) {
  return std::chrono::seconds(argc > index ? _wtoi(argv[index]) : 20);
}

int Fail(const wchar_t* what) {
  std::fwprintf(stderr, L"uidriver: %ls\n", what);
  return 1;
}

void Print(const std::wstring& text) {
  // UTF-8 on standard output, whatever the console code page.
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(size > 0 ? size - 1 : 0, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fputs("usage: uidriver wait|wait-page|page|text|click|command|answer|close|rect [args]\n", stderr);
    return 2;
  }
  const std::wstring command = argv[1];
  const wchar_t* captionOverride = _wgetenv(L"UIDRIVER_CAPTION");
  const std::wstring caption = captionOverride ? captionOverride : L"Quillara Web ";

  HWND wizard = WaitForDialog(0, caption, command == L"wait" ? Seconds(argc, argv, 2) : kPatience);
  if (wizard == nullptr) return Fail(L"no wizard window");
  DWORD pid = 0;
  ::GetWindowThreadProcessId(wizard, &pid);

  if (command == L"wait") return 0;
  if (command == L"wait-page" && argc > 2) return WaitForPage(wizard, argv[2], Seconds(argc, argv, 3)) ? 0 : Fail(L"page not shown");
  if (command == L"page") {
    Print(PageName(VisiblePage(wizard)));
    return 0;
  }
  if (command == L"text" && argc > 2) {
    Print(ControlText(VisiblePage(wizard), _wtoi(argv[2])));
    return 0;
  }
  if (command == L"click" && argc > 2) {
    HWND page = VisiblePage(wizard);
    if (page == nullptr) return Fail(L"no visible page");
    Click(page, _wtoi(argv[2]));
    return 0;
  }
  if (command == L"command" && argc > 2) {
    ::PostMessageW(wizard, WM_COMMAND, MAKEWPARAM(_wtoi(argv[2]), 0), 0);
    return 0;
  }
  if (command == L"answer" && argc > 2) {
    HWND box = WaitForMessageBox(pid, wizard);
    if (box == nullptr) return Fail(L"no message box");
    Print(MessageBoxText(box));
    Click(box, std::wstring(argv[2]) == L"ok" ? IDOK : IDCANCEL);
    return 0;
  }
  if (command == L"focus") {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(wizard, nullptr), &info)) return Fail(L"no thread info");
    Print(info.hwndFocus ? ClassName(info.hwndFocus) + L" " + std::to_wstring(::GetDlgCtrlID(info.hwndFocus))
                         : L"(none)");
    return 0;
  }
  if (command == L"key" && argc > 2) {
    PressKey(VisiblePage(wizard), static_cast<WPARAM>(_wtoi(argv[2])));
    return 0;
  }
  if (command == L"close") {
    ::PostMessageW(wizard, WM_CLOSE, 0, 0);
    return 0;
  }
  if (command == L"rect") {
    RECT rect{};
    ::GetWindowRect(wizard, &rect);
    std::printf("%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top);
    return 0;
  }
  return 2;
}

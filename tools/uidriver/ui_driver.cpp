#include "ui_driver.h"

#include <thread>

namespace ostrane::uidriver {

std::wstring WindowsPath(const std::string& path) {
  std::wstring wide(path.begin(), path.end());
  if (!wide.empty() && wide.front() == L'/') {
    for (auto& c : wide)
      if (c == L'/') c = L'\\';
    wide = L"Z:" + wide;
  }
  return wide;
}

Installer::Installer(const std::wstring& path, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + path + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info)) {
    process_.reset(info.hProcess);
    ::CloseHandle(info.hThread);
    pid_ = info.dwProcessId;
  }
}

Installer::~Installer() {
  if (Running()) {
    ::TerminateProcess(process_.get(), 99);
    ::WaitForSingleObject(process_.get(), 5000);
  }
}

bool Installer::Running() const { return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

std::optional<DWORD> Installer::WaitForExit(std::chrono::milliseconds timeout) {
  if (!process_ || ::WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
    return std::nullopt;
  DWORD code = 0;
  ::GetExitCodeProcess(process_.get(), &code);
  return code;
}

namespace {

struct WindowSearch {
  DWORD pid;
  const std::function<bool(HWND)>* match;
  HWND found;
};

BOOL CALLBACK VisitTopWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if ((search->pid == 0 || owner == search->pid) && ::IsWindowVisible(window) && (*search->match)(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND Installer::WaitForWindow(const std::function<bool(HWND)>& match, std::chrono::milliseconds timeout) const {
  return WaitForTopWindow(pid_, match, timeout);
}

HWND Installer::WaitForDialog(const std::wstring& caption, std::chrono::milliseconds timeout) const {
  return uidriver::WaitForDialog(pid_, caption, timeout);
}

HWND WaitForDialog(DWORD pid, const std::wstring& caption, std::chrono::milliseconds timeout) {
  return WaitForTopWindow(pid, [&](HWND w) { return ClassName(w) == L"#32770" && Text(w) == caption; }, timeout);
}

HWND WaitForMessageBox(DWORD pid, HWND wizard, std::chrono::milliseconds timeout) {
  return WaitForTopWindow(pid, [&](HWND w) { return ClassName(w) == L"#32770" && w != wizard; }, timeout);
}

HWND WaitForTopWindow(DWORD pid, const std::function<bool(HWND)>& match, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    WindowSearch search{pid, &match, nullptr};
    ::EnumWindows(&VisitTopWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    std::this_thread::sleep_for(50ms);
  } while (std::chrono::steady_clock::now() < deadline);
  return nullptr;
}

std::wstring Text(HWND window) {
  wchar_t text[4096] = {};
  ::SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  return name;
}

bool Visible(HWND window) { return window != nullptr && ::IsWindowVisible(window); }

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT))
    children.push_back(child);
  return children;
}

std::wstring MessageBoxText(HWND box) {
  std::wstring text;
  for (HWND child : Children(box)) {
    if (ClassName(child) != L"Static") continue;
    const std::wstring part = Text(child);
    if (part.empty()) continue;
    if (!text.empty()) text += L"\n";
    text += part;
  }
  return text;
}

void Click(HWND dialog, int buttonId) {
  // An offer page takes no answer within the double-click time after it appears (the
  // tail of a double-click on the page before): the first press on each waits it out.
  static HWND lastOfferPage = nullptr;
  if (dialog != lastOfferPage && Text(dialog) == L"ProductPage") {
    lastOfferPage = dialog;
    std::this_thread::sleep_for(std::chrono::milliseconds(::GetDoubleClickTime() + 100));
  }
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dialog, buttonId)));
}

}  // namespace ostrane::uidriver

namespace ostrane::uidriver {

HWND VisiblePage(HWND wizard) {
  for (HWND child : Children(wizard)) {
    if (ClassName(child) == L"#32770" && ::IsWindowVisible(child)) return child;
  }
  return nullptr;
}

std::wstring PageName(HWND page) { return page == nullptr ? std::wstring() : Text(page); }

HWND WaitForPage(HWND wizard, const std::wstring& name, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    HWND page = VisiblePage(wizard);
    if (page != nullptr && PageName(page) == name) return page;
    std::this_thread::sleep_for(50ms);
  } while (std::chrono::steady_clock::now() < deadline);
  return nullptr;
}

HWND WaitForNextPage(HWND wizard, HWND from, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    HWND page = VisiblePage(wizard);
    if (page != nullptr && page != from && !::IsWindowVisible(from)) return page;
    std::this_thread::sleep_for(50ms);
  } while (std::chrono::steady_clock::now() < deadline);
  return nullptr;
}

std::wstring ControlText(HWND dialog, int id) { return Text(::GetDlgItem(dialog, id)); }

bool ControlVisible(HWND dialog, int id) { return Visible(::GetDlgItem(dialog, id)); }

std::wstring ComboSelection(HWND dialog, int id) {
  HWND combo = ::GetDlgItem(dialog, id);
  const auto index = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return {};
  wchar_t text[256] = {};
  if (::SendMessageW(combo, CB_GETLBTEXTLEN, index, 0) >= 256) return {};
  ::SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
  return text;
}

void PressKey(HWND window, WPARAM key) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
  HWND target = ::GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr ? info.hwndFocus : window;
  ::PostMessageW(target, WM_KEYDOWN, key, 1);
  ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

}  // namespace ostrane::uidriver

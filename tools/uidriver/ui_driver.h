// Drives the real installer from a test program running in the same Wine prefix:
// starts it, finds its windows, reads texts, clicks buttons, answers message boxes.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "winui/unique_handle.h"

namespace ostrane::uidriver {

using namespace std::chrono_literals;
inline constexpr std::chrono::milliseconds kPatience = 20s;

class Installer {
 public:
  // Starts the program at path (a Unix path is mapped to Wine's Z: drive).
  explicit Installer(const std::wstring& path, const std::wstring& arguments = L"");
  ~Installer();  // ends the process if it still runs
  Installer(Installer&&) = default;

  DWORD pid() const { return pid_; }
  bool Running() const;
  // Waits for the process to end; its exit code, or nothing on time-out.
  std::optional<DWORD> WaitForExit(std::chrono::milliseconds timeout = kPatience);

  // The first visible top-level window of the process that matches, or null on time-out.
  HWND WaitForWindow(const std::function<bool(HWND)>& match, std::chrono::milliseconds timeout = kPatience) const;
  // A visible dialog-class window of the process with this caption.
  HWND WaitForDialog(const std::wstring& caption, std::chrono::milliseconds timeout = kPatience) const;

 private:
  win::UniqueKernelHandle process_;
  DWORD pid_ = 0;
};

// The first visible top-level window of process pid (0: any process) that matches,
// or null on time-out.
HWND WaitForTopWindow(DWORD pid, const std::function<bool(HWND)>& match, std::chrono::milliseconds timeout);
// A visible dialog-class window with this caption (pid 0: of any process).
HWND WaitForDialog(DWORD pid, const std::wstring& caption, std::chrono::milliseconds timeout = kPatience);
// A message box of process pid: any visible dialog-class window but the wizard.
HWND WaitForMessageBox(DWORD pid, HWND wizard, std::chrono::milliseconds timeout = kPatience);

// A Unix path under Wine's Z: drive; Windows paths pass unchanged.
std::wstring WindowsPath(const std::string& path);

std::wstring Text(HWND window);
std::wstring ClassName(HWND window);
bool Visible(HWND window);
// Visible child windows of a dialog, in Z order.
std::vector<HWND> Children(HWND parent);
// The message text of a message box (its non-empty static texts joined by newlines).
std::wstring MessageBoxText(HWND box);
// Presses a button of a dialog as a click would (BN_CLICKED to its parent). On an
// offer page the first press waits out the double-click time, as a person would.
void Click(HWND dialog, int buttonId);

// The wizard's visible page (a child dialog whose window text is the page's name), or null.
HWND VisiblePage(HWND wizard);
std::wstring PageName(HWND page);
// Waits until the visible page has this name; the page, or null on time-out.
HWND WaitForPage(HWND wizard, const std::wstring& name, std::chrono::milliseconds timeout = kPatience);
// Waits until another page than `from` is shown and `from` is hidden: pages of one
// kind (offer pages) share their name. The page, or null on time-out.
HWND WaitForNextPage(HWND wizard, HWND from, std::chrono::milliseconds timeout = kPatience);
std::wstring ControlText(HWND dialog, int id);
bool ControlVisible(HWND dialog, int id);
// The selected item's text of a combo box, or empty.
std::wstring ComboSelection(HWND dialog, int id);
// Presses a key in the window that has the keyboard focus in window's thread.
void PressKey(HWND window, WPARAM key);

}  // namespace ostrane::uidriver

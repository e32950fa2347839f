#include "winui/link_tabbing.h"

#include <commctrl.h>

namespace ostrane::win {
namespace {

constexpr UINT_PTR kSubclassId = 0x7AB;

// The index of the link with the focus and the number of links.
struct LinkFocus {
  int focused = -1;
  int count = 0;
};

LinkFocus FocusOf(HWND syslink) {
  LinkFocus focus;
  for (;; ++focus.count) {
    LITEM item{};
    item.mask = LIF_ITEMINDEX | LIF_STATE;
    item.iLink = focus.count;
    item.stateMask = LIS_FOCUSED;
    if (!::SendMessageW(syslink, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item))) break;
    if ((item.state & LIS_FOCUSED) != 0) focus.focused = focus.count;
  }
  return focus;
}

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) noexcept {
  if (message == WM_GETDLGCODE) {
    const auto* key = reinterpret_cast<const MSG*>(lParam);
    if (key != nullptr && key->message == WM_KEYDOWN && key->wParam == VK_TAB) {
      const bool backwards = (::GetKeyState(VK_SHIFT) & 0x8000) != 0;
      const LinkFocus focus = FocusOf(window);
      const bool atEnd = backwards ? focus.focused <= 0 : focus.focused < 0 || focus.focused >= focus.count - 1;
      // Without DLGC_WANTTAB (nor "all keys") the dialog manager takes this Tab.
      if (atEnd) return ::DefSubclassProc(window, message, wParam, lParam) & ~(DLGC_WANTTAB | DLGC_WANTALLKEYS);
    }
  } else if (message == WM_NCDESTROY) {
    ::RemoveWindowSubclass(window, &Procedure, kSubclassId);
  }
  return ::DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

void LetTabLeaveLinks(HWND syslink) {
  if (syslink != nullptr) ::SetWindowSubclass(syslink, &Procedure, kSubclassId, 0);
}

}  // namespace ostrane::win

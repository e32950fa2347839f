// What a screen reader hears of a control that draws itself as a link: the
// system's own accessible object for the window, with the role of a link.
#pragma once

#include <windows.h>

namespace ostrane::win {

// The answer to WM_GETOBJECT for OBJID_CLIENT (0 for any other object, or when the
// system's accessibility library is missing): the caller returns it as is.
LRESULT AnswerAsLink(HWND control, WPARAM flags, LPARAM objectId);

}  // namespace ostrane::win

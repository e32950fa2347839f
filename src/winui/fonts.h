#pragma once

#include <windows.h>

#include "winui/unique_handle.h"

namespace ostrane::win {

// A copy of the control's font with another height (logical units) and weight,
// set on the control. The caller keeps the font alive as long as the control.
UniqueFont ApplyDerivedFont(HWND control, LONG height, LONG weight);

}  // namespace ostrane::win

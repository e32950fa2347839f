#pragma once

#include <windows.h>

#include "winui/unique_handle.h"

namespace ostrane::win {

// A copy of the control's font with another height and weight, set on the control.
// The height is an lfHeight in pixels at 96 DPI; it grows with the DPI as the
// template's own font does. The caller keeps the font alive as long as the control.
UniqueFont ApplyDerivedFont(HWND control, LONG heightAt96, LONG weight);

}  // namespace ostrane::win

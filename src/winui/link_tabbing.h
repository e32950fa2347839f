// Tab that leaves a SysLink control: after its last link (before its first with
// Shift), the dialog manager moves on to the next control. Windows' SysLink does so
// on its own; Wine's keeps Tab among its links for ever, so that the buttons after
// a disclaimer could not be reached with the keyboard.
#pragma once

#include <windows.h>

namespace ostrane::win {

// Subclasses the control for as long as it lives.
void LetTabLeaveLinks(HWND syslink);

}  // namespace ostrane::win

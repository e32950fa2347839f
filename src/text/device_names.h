// Names that Windows takes for a device wherever they stand in a path: "NUL",
// "con.txt", "Com1 .log". A file given such a name opens the device instead.
#pragma once

#include <string_view>

namespace ostrane {

// One part of a path (no separators, wide text): whether Windows reads it as a DOS
// device. The part before the first dot counts, without trailing spaces, in any case:
// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1 to COM9 and LPT1 to LPT9, and COM and LPT
// with a superscript digit one to three.
bool IsDosDeviceName(std::wstring_view part);

}  // namespace ostrane

// The rich-edit control ("RICHEDIT", RichEdit 1.0) registers its window class when
// its library loads. Only the license page uses it, so the library is loaded when
// that page is made, not before the first page shows.
#pragma once

namespace ostrane::win {

// Loads RICHED32.DLL once and keeps it; false when it cannot be loaded.
bool LoadRichEditLibrary();

}  // namespace ostrane::win

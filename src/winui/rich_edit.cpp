#include "winui/rich_edit.h"

#include <windows.h>

namespace ostrane::win {

bool LoadRichEditLibrary() {
  // Never freed: the controls made from it live until the process ends.
  static const bool loaded = ::LoadLibraryW(L"RICHED32.DLL") != nullptr;
  return loaded;
}

}  // namespace ostrane::win

#include "winui/message_box.h"

namespace ostrane::win {

int AppMessageBox(const std::wstring& text, UINT flags) {
  return ::MessageBoxW(::GetActiveWindow(), text.c_str(), kApplicationName, flags);
}

}  // namespace ostrane::win

// The floor under the installer's first page: the least a Win32 program can do to
// show a dialog. A modal dialog from a template built in memory, one line of text,
// nothing else loaded. bench/run starts it and the installer the same way
// (launch_timer) and compares the times to a visible window.
#include <windows.h>

#include <cstring>
#include <cwchar>

namespace {

INT_PTR CALLBACK FloorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) ::EndDialog(dialog, 0);
      return TRUE;
    case WM_CLOSE:
      ::EndDialog(dialog, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

// Appends a string to a template as a run of WORDs, with its terminator.
WORD* PutText(WORD* at, const wchar_t* text) {
  const std::size_t length = std::wcslen(text) + 1;
  std::memcpy(at, text, length * sizeof(WORD));
  return at + length;
}

WORD* AlignDword(WORD* at) {
  return reinterpret_cast<WORD*>((reinterpret_cast<ULONG_PTR>(at) + 3) & ~ULONG_PTR{3});
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  alignas(4) WORD buffer[256] = {};
  auto* dialog = reinterpret_cast<DLGTEMPLATE*>(buffer);
  dialog->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER;
  dialog->cdit = 1;
  dialog->cx = 200;
  dialog->cy = 60;
  WORD* at = reinterpret_cast<WORD*>(dialog + 1);
  *at++ = 0;  // no menu
  *at++ = 0;  // the dialog class
  at = PutText(at, L"Floor");
  *at++ = 8;  // point size
  at = PutText(at, L"MS Shell Dlg");

  at = AlignDword(at);
  auto* item = reinterpret_cast<DLGITEMTEMPLATE*>(at);
  item->style = WS_CHILD | WS_VISIBLE | SS_LEFT;
  item->x = 10;
  item->y = 10;
  item->cx = 180;
  item->cy = 10;
  item->id = 100;
  at = reinterpret_cast<WORD*>(item + 1);
  *at++ = 0xFFFF;
  *at++ = 0x0082;  // static
  at = PutText(at, L"Please select your preferred language.");
  *at++ = 0;  // no creation data

  return static_cast<int>(::DialogBoxIndirectParamW(instance, dialog, nullptr, FloorProc, 0));
}

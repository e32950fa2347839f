// Sizes our code draws in pixels are chosen at 96 DPI; dialog templates scale by
// themselves, through their font. The installer is system-DPI aware (see the
// manifest): every window has the one DPI the session had when the process started.
#pragma once

#include <windows.h>

namespace ostrane::win {

inline constexpr int kDesignDpi = 96;

// The DPI a window of ours is drawn at.
inline int WindowDpi(HWND window) {
  HDC dc = ::GetDC(window);
  if (dc == nullptr) return kDesignDpi;
  const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
  ::ReleaseDC(window, dc);
  return dpi > 0 ? dpi : kDesignDpi;
}

// A length in pixels chosen at 96 DPI, at the window's DPI.
inline int ScaleForDpi(HWND window, int pixelsAt96) { return ::MulDiv(pixelsAt96, WindowDpi(window), kDesignDpi); }

}  // namespace ostrane::win

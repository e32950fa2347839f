#include "winui/static_from_image.h"

#include <objidl.h>
#include <commctrl.h>
#include <gdiplus.h>

#include "winui/gdiplus_image.h"

namespace ostrane {

CStaticFromImage::~CStaticFromImage() {
  if (control_ != nullptr) ::RemoveWindowSubclass(control_, &CStaticFromImage::Procedure, 0);
}

void CStaticFromImage::Attach(HWND control) {
  control_ = control;
  if (control_ != nullptr) ::SetWindowSubclass(control_, &CStaticFromImage::Procedure, 0, reinterpret_cast<DWORD_PTR>(this));
}

void CStaticFromImage::SetImage(std::shared_ptr<Gdiplus::Bitmap> image) {
  image_ = std::move(image);
  if (control_ != nullptr) ::InvalidateRect(control_, nullptr, TRUE);
}

void CStaticFromImage::SetName(const std::wstring& name) {
  // Past the static control's own handling, which would take the text of a bitmap
  // static for the name of a bitmap resource to load.
  if (control_ != nullptr) ::DefWindowProcW(control_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
}

void CStaticFromImage::LoadFromResource(int id, const wchar_t* type) {
  SetImage(win::LoadImageResource(::GetModuleHandleW(nullptr), id, type));
}

void CStaticFromImage::Paint() {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(control_, &paint);
  {
    Gdiplus::Graphics graphics(dc);
    if (image_) {
      RECT client;
      ::GetClientRect(control_, &client);
      graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
      graphics.DrawImage(image_.get(), Gdiplus::Rect(0, 0, client.right, client.bottom));
    }
  }
  ::EndPaint(control_, &paint);
}

LRESULT CALLBACK CStaticFromImage::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR data) noexcept {
  auto* self = reinterpret_cast<CStaticFromImage*>(data);
  if (message == WM_PAINT) {
    self->Paint();
    return 0;
  }
  if (message == WM_NCDESTROY) {
    ::RemoveWindowSubclass(window, &CStaticFromImage::Procedure, 0);
    self->control_ = nullptr;
  }
  return ::DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace ostrane

// A static control that draws a PNG with GDI+, stretched to the whole control.
#pragma once

#include <windows.h>

#include <memory>

namespace Gdiplus {
class Bitmap;
}

namespace ostrane {

class CStaticFromImage {
 public:
  CStaticFromImage() = default;
  ~CStaticFromImage();
  CStaticFromImage(const CStaticFromImage&) = delete;
  CStaticFromImage& operator=(const CStaticFromImage&) = delete;

  // Takes over the painting of a static control (we don't own the window).
  void Attach(HWND control);
  void SetImage(std::shared_ptr<Gdiplus::Bitmap> image);
  void LoadFromResource(int id, const wchar_t* type);
  // What a screen reader says for the picture: the control's window text, which it
  // never draws.
  void SetName(const std::wstring& name);

 private:
  static LRESULT CALLBACK Procedure(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR) noexcept;
  void Paint();

  HWND control_ = nullptr;
  std::shared_ptr<Gdiplus::Bitmap> image_;
};

}  // namespace ostrane

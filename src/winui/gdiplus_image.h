// GDI+ images that any thread may decode and release, before or after GDI+ shuts
// down. Offer pictures are decoded on download threads that can outlive the wizard.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

namespace Gdiplus {
class Bitmap;
}

namespace ostrane::win {

// GDI+ for as long as the object lives: the application holds one; tests make their own.
class GdiplusSession {
 public:
  GdiplusSession();
  ~GdiplusSession();
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;

  bool started() const { return token_ != 0; }

 private:
  ULONG_PTR token_ = 0;
};

// GDI+ started by the first image made while this object lives, and shut down with
// it: the wizard's first page shows no picture, so it need not wait for GDI+.
// Images made while neither this nor a GdiplusSession runs stay empty.
class GdiplusOnDemand {
 public:
  GdiplusOnDemand();
  ~GdiplusOnDemand();
  GdiplusOnDemand(const GdiplusOnDemand&) = delete;
  GdiplusOnDemand& operator=(const GdiplusOnDemand&) = delete;
};

// Starts the on-demand GDI+ now, if one is allowed and none runs yet: a page that
// will show pictures calls it on the user-interface thread before they arrive.
void StartGdiplusOnDemand();

// A bitmap decoded from bytes in memory; empty when they are not an image or no
// session is running. Its release after the session has ended does nothing.
std::shared_ptr<Gdiplus::Bitmap> LoadImageFromBytes(const void* data, std::size_t size);

// A PNG resource of a custom type ("IMAGE_BLOB"); empty on any failure.
std::shared_ptr<Gdiplus::Bitmap> LoadImageResource(HMODULE module, int id, const wchar_t* type);

}  // namespace ostrane::win

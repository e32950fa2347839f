#include "winui/gdiplus_image.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstring>
#include <mutex>
#include <shared_mutex>

#include "winui/unique_handle.h"

namespace ostrane::win {
namespace {

// Whether GDI+ runs, and a lock that keeps it running while an image is made or
// destroyed. Never destroyed itself: images may be released during process exit.
struct GdiplusState {
  std::shared_mutex lock;
  int sessions = 0;
  bool onDemand = false;        // a GdiplusOnDemand lives
  ULONG_PTR onDemandToken = 0;  // the session the first image started
};

GdiplusState& State() {
  static auto* state = new GdiplusState;
  return *state;
}

void ReleaseBitmap(Gdiplus::Bitmap* bitmap) {
  std::shared_lock lock(State().lock);
  // After shutdown the image went with GDI+; deleting it would call into it.
  if (State().sessions > 0) delete bitmap;
}

}  // namespace

GdiplusOnDemand::GdiplusOnDemand() {
  std::unique_lock lock(State().lock);
  State().onDemand = true;
}

GdiplusOnDemand::~GdiplusOnDemand() {
  std::unique_lock lock(State().lock);
  State().onDemand = false;
  if (State().onDemandToken == 0) return;
  --State().sessions;
  Gdiplus::GdiplusShutdown(State().onDemandToken);
  State().onDemandToken = 0;
}

void StartGdiplusOnDemand() {
  {
    std::shared_lock lock(State().lock);
    if (!State().onDemand || State().onDemandToken != 0) return;
  }
  std::unique_lock lock(State().lock);
  if (!State().onDemand || State().onDemandToken != 0) return;
  Gdiplus::GdiplusStartupInput input;  // version 1, no callbacks
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return;  // the next image tries again
  State().onDemandToken = token;
  ++State().sessions;
}

GdiplusSession::GdiplusSession() {
  Gdiplus::GdiplusStartupInput input;  // version 1, no callbacks
  std::unique_lock lock(State().lock);
  if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) {
    token_ = 0;
    return;
  }
  ++State().sessions;
}

GdiplusSession::~GdiplusSession() {
  if (!started()) return;
  std::unique_lock lock(State().lock);
  --State().sessions;
  Gdiplus::GdiplusShutdown(token_);
}

std::shared_ptr<Gdiplus::Bitmap> LoadImageFromBytes(const void* data, std::size_t size) {
  if (data == nullptr || size == 0) return nullptr;
  UniqueHglobal memory(::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size));
  if (!memory) return nullptr;
  void* target = ::GlobalLock(memory.get());
  if (target == nullptr) return nullptr;
  std::memcpy(target, data, size);
  ::GlobalUnlock(memory.get());

  IStream* stream = nullptr;
  if (FAILED(::CreateStreamOnHGlobal(memory.get(), TRUE, &stream))) return nullptr;
  memory.release();  // the stream frees it now

  StartGdiplusOnDemand();
  Gdiplus::Bitmap* bitmap = nullptr;
  {
    std::shared_lock lock(State().lock);
    if (State().sessions > 0) {
      bitmap = Gdiplus::Bitmap::FromStream(stream);
      if (bitmap != nullptr && bitmap->GetLastStatus() != Gdiplus::Ok) {
        delete bitmap;
        bitmap = nullptr;
      }
    }
  }
  stream->Release();
  if (bitmap == nullptr) return nullptr;
  return std::shared_ptr<Gdiplus::Bitmap>(bitmap, &ReleaseBitmap);
}

std::shared_ptr<Gdiplus::Bitmap> LoadImageResource(HMODULE module, int id, const wchar_t* type) {
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) return nullptr;
  const DWORD size = ::SizeofResource(module, found);
  if (size == 0) return nullptr;
  HGLOBAL loaded = ::LoadResource(module, found);
  return LoadImageFromBytes(loaded ? ::LockResource(loaded) : nullptr, size);
}

}  // namespace ostrane::win

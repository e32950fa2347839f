// One move-only owner for every kind of handle, on a single template. Each kind
// names its invalid value and how it is released.
#pragma once

#include <windows.h>

#include <cstddef>
#include <type_traits>
#include <utility>

namespace ostrane::win {

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Handle h) noexcept : handle_(h) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Traits::Invalid(); }
  Handle release() noexcept { return std::exchange(handle_, Traits::Invalid()); }
  void reset(Handle h = Traits::Invalid()) noexcept {
    if (handle_ != Traits::Invalid()) Traits::Close(handle_);
    handle_ = h;
  }
  // For out-parameters of creating calls: releases what is held first.
  Handle* put() noexcept {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

template <typename H, auto CloseFn, auto InvalidValue = nullptr>
struct HandleTraits {
  using Handle = H;
  static Handle Invalid() noexcept {
    if constexpr (std::is_same_v<decltype(InvalidValue), std::nullptr_t>) {
      return nullptr;
    } else {
      return reinterpret_cast<Handle>(static_cast<INT_PTR>(InvalidValue));
    }
  }
  static void Close(Handle h) noexcept { CloseFn(h); }
};

template <typename H>
struct GdiObjectTraits {
  using Handle = H;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::DeleteObject(h); }
};

using UniqueKernelHandle = UniqueHandle<HandleTraits<HANDLE, ::CloseHandle>>;
using UniqueFileHandle = UniqueHandle<HandleTraits<HANDLE, ::CloseHandle, -1>>;  // INVALID_HANDLE_VALUE
using UniqueFindHandle = UniqueHandle<HandleTraits<HANDLE, ::FindClose, -1>>;
using UniqueHkey = UniqueHandle<HandleTraits<HKEY, ::RegCloseKey>>;
using UniqueHglobal = UniqueHandle<HandleTraits<HGLOBAL, ::GlobalFree>>;
using UniqueHlocal = UniqueHandle<HandleTraits<HLOCAL, ::LocalFree>>;
using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniqueBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;

}  // namespace ostrane::win

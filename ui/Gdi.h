// Move-only owners for the Win32 handles the window layer creates, and scoped
// helpers that undo what they did to a device context.
#pragma once

#include <windows.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~UniqueHandle() { Reset(); }

  Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::Invalid(); }
  Handle Release() { return std::exchange(handle_, Traits::Invalid()); }
  void Reset(Handle handle = Traits::Invalid()) {
    Handle old = std::exchange(handle_, handle);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

 private:
  Handle handle_ = Traits::Invalid();
};

template <typename T>
struct GdiObjectTraits {
  using Handle = T;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { DeleteObject(handle); }
};

struct WindowTraits {
  using Handle = HWND;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) {
    if (IsWindow(handle)) DestroyWindow(handle);
  }
};

struct MemoryDcTraits {
  using Handle = HDC;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { DeleteDC(handle); }
};

using UniqueBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using UniqueBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using UniqueWindow = UniqueHandle<WindowTraits>;
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;

// Selects an object into a DC and selects the previous one back when done.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
  ~ScopedSelectObject() {
    if (previous_) SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// BeginPaint and EndPaint.
class ScopedPaint {
 public:
  explicit ScopedPaint(HWND window) : window_(window) { dc_ = BeginPaint(window, &paint_); }
  ScopedPaint(const ScopedPaint&) = delete;
  ScopedPaint& operator=(const ScopedPaint&) = delete;
  ~ScopedPaint() { EndPaint(window_, &paint_); }
  HDC Dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// Paints into an off-screen bitmap of the window's client size and copies it
// to the screen in one go, so repainting never shows a half-drawn control.
class BufferedPaint {
 public:
  explicit BufferedPaint(HWND window) : paint_(window) {
    GetClientRect(window, &client_);
    memory_.Reset(CreateCompatibleDC(paint_.Dc()));
    bitmap_.Reset(CreateCompatibleBitmap(paint_.Dc(), client_.right, client_.bottom));
    select_.emplace(memory_.Get(), bitmap_.Get());
  }
  ~BufferedPaint() {
    BitBlt(paint_.Dc(), 0, 0, client_.right, client_.bottom, memory_.Get(), 0, 0, SRCCOPY);
  }
  HDC Dc() const { return memory_.Get(); }
  const RECT& Client() const { return client_; }

 private:
  // Minimal optional: the select must be undone before the bitmap is deleted.
  class OptionalSelect {
   public:
    void emplace(HDC dc, HGDIOBJ object) {
      dc_ = dc;
      previous_ = SelectObject(dc, object);
    }
    ~OptionalSelect() {
      if (dc_ && previous_) SelectObject(dc_, previous_);
    }

   private:
    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
  };

  ScopedPaint paint_;
  RECT client_{};
  UniqueMemoryDc memory_;
  UniqueBitmap bitmap_;
  OptionalSelect select_;
};

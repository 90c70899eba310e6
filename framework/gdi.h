// RAII owners of GDI objects, device contexts and cursors, all built on the
// one ScopedHandle template: every path out releases what was made, and a
// context gets back what was selected into it.
#pragma once
#include <windows.h>

#include "platform/scoped_handle.h"

// A GDI object (bitmap, font, brush, region): DeleteObject.
template <class Handle>
struct GdiObjectTraits {
  using Value = Handle;
  static Value empty() { return nullptr; }
  static bool isOpen(Value value) { return value != nullptr; }
  static long close(Value value) { return ::DeleteObject(value) ? 0 : 1; }
};

// Owns one GDI object, with the names MFC's wrappers give these calls.
template <class Handle>
class GdiObject : public ScopedHandle<GdiObjectTraits<Handle>> {
 public:
  GdiObject() = default;
  explicit GdiObject(Handle handle) : ScopedHandle<GdiObjectTraits<Handle>>(handle) {}
  operator Handle() const { return this->get(); }
  // Takes ownership of `handle`, deleting the object held before.
  void Attach(Handle handle) { this->reset(handle); }
  void DeleteObject() { this->close(); }
};

using CBitmap = GdiObject<HBITMAP>;
using CFont = GdiObject<HFONT>;
using CBrush = GdiObject<HBRUSH>;
using CRgn = GdiObject<HRGN>;

// A cursor or icon made by CopyIcon: DestroyIcon.
struct CopiedCursorTraits {
  using Value = HCURSOR;
  static Value empty() { return nullptr; }
  static bool isOpen(Value value) { return value != nullptr; }
  static long close(Value value) { return ::DestroyIcon(reinterpret_cast<HICON>(value)) ? 0 : 1; }
};
using CopiedCursor = ScopedHandle<CopiedCursorTraits>;

// An object selected into a context: the object it replaced goes back.
struct Selection {
  HDC dc;
  HGDIOBJ replaced;
};
struct SelectionTraits {
  using Value = Selection;
  static Value empty() { return {nullptr, nullptr}; }
  static bool isOpen(const Value& value) { return value.replaced != nullptr; }
  static long close(const Value& value) { return ::SelectObject(value.dc, value.replaced) ? 0 : 1; }
};

// Selects `object` into `dc` while it lives (or until close()).
class SelectScope : public ScopedHandle<SelectionTraits> {
 public:
  SelectScope() = default;
  SelectScope(HDC dc, HGDIOBJ object)
      : ScopedHandle<SelectionTraits>({dc, object ? ::SelectObject(dc, object) : nullptr}) {}
  // Selects `object` into `dc`, putting back what an earlier selection replaced.
  void select(HDC dc, HGDIOBJ object) { reset({dc, object ? ::SelectObject(dc, object) : nullptr}); }
  // False when the selection failed (for a bitmap: it was never loaded).
  bool ok() const { return valid(); }
};

// A memory context: DeleteDC.
struct MemoryDCTraits {
  using Value = HDC;
  static Value empty() { return nullptr; }
  static bool isOpen(Value value) { return value != nullptr; }
  static long close(Value value) { return ::DeleteDC(value) ? 0 : 1; }
};

// A memory context compatible with `dc` (null: the screen).
class MemoryDC : public ScopedHandle<MemoryDCTraits> {
 public:
  explicit MemoryDC(HDC dc = nullptr) : ScopedHandle<MemoryDCTraits>(::CreateCompatibleDC(dc)) {}
  operator HDC() const { return get(); }
};

// GetDC of a window (null: the screen): ReleaseDC.
struct WindowContext {
  HWND window;
  HDC dc;
};
struct WindowDCTraits {
  using Value = WindowContext;
  static Value empty() { return {nullptr, nullptr}; }
  static bool isOpen(const Value& value) { return value.dc != nullptr; }
  static long close(const Value& value) { return ::ReleaseDC(value.window, value.dc) ? 0 : 1; }
};

class WindowDC : public ScopedHandle<WindowDCTraits> {
 public:
  explicit WindowDC(HWND window) : ScopedHandle<WindowDCTraits>({window, ::GetDC(window)}) {}
  operator HDC() const { return get().dc; }
};

// BeginPaint: EndPaint.
struct Painting {
  HWND window;
  PAINTSTRUCT paint;
};
struct PaintDCTraits {
  using Value = Painting;
  static Value empty() { return {nullptr, {}}; }
  static bool isOpen(const Value& value) { return value.window != nullptr; }
  static long close(const Value& value) { return ::EndPaint(value.window, &value.paint) ? 0 : 1; }
};

class PaintDC : public ScopedHandle<PaintDCTraits> {
 public:
  explicit PaintDC(HWND window) : ScopedHandle<PaintDCTraits>(begin(window)) {}
  operator HDC() const { return get().paint.hdc; }

 private:
  static Painting begin(HWND window) {
    Painting painting = {window, {}};
    ::BeginPaint(window, &painting.paint);
    return painting;
  }
};

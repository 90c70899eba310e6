// RAII owners of GDI objects and device contexts: every path out releases
// what was made, and a context gets back what was selected into it.
#pragma once
#include <windows.h>

// Owns one GDI object (bitmap, font, brush, region) and deletes it.
template <class Handle>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(Handle handle) : m_handle(handle) {}
  ~GdiObject() { DeleteObject(); }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;

  Handle get() const { return m_handle; }
  operator Handle() const { return m_handle; }
  // Takes ownership of `handle`, deleting the object held before.
  void Attach(Handle handle) {
    DeleteObject();
    m_handle = handle;
  }
  // Gives up ownership (for a region handed to SetWindowRgn).
  Handle Detach() {
    Handle handle = m_handle;
    m_handle = nullptr;
    return handle;
  }
  void DeleteObject() {
    if (m_handle) ::DeleteObject(m_handle);
    m_handle = nullptr;
  }

 private:
  Handle m_handle = nullptr;
};

using CBitmap = GdiObject<HBITMAP>;
using CFont = GdiObject<HFONT>;
using CBrush = GdiObject<HBRUSH>;
using CRgn = GdiObject<HRGN>;

// Selects an object into a context for the scope's lifetime.
class SelectScope {
 public:
  SelectScope(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(object ? ::SelectObject(dc, object) : nullptr) {}
  ~SelectScope() {
    if (m_old) ::SelectObject(m_dc, m_old);
  }
  SelectScope(const SelectScope&) = delete;
  SelectScope& operator=(const SelectScope&) = delete;
  // False when the selection failed (for a bitmap: it was never loaded).
  bool ok() const { return m_old != nullptr; }

 private:
  HDC m_dc;
  HGDIOBJ m_old;
};

// A memory context compatible with `dc` (null: the screen), deleted at the end.
class MemoryDC {
 public:
  explicit MemoryDC(HDC dc = nullptr) : m_dc(::CreateCompatibleDC(dc)) {}
  ~MemoryDC() {
    if (m_dc) ::DeleteDC(m_dc);
  }
  MemoryDC(const MemoryDC&) = delete;
  MemoryDC& operator=(const MemoryDC&) = delete;
  operator HDC() const { return m_dc; }

 private:
  HDC m_dc;
};

// GetDC of a window (null: the screen), released at the end.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : m_window(window), m_dc(::GetDC(window)) {}
  ~WindowDC() {
    if (m_dc) ::ReleaseDC(m_window, m_dc);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  operator HDC() const { return m_dc; }

 private:
  HWND m_window;
  HDC m_dc;
};

// BeginPaint / EndPaint.
class PaintDC {
 public:
  explicit PaintDC(HWND window) : m_window(window), m_dc(::BeginPaint(window, &m_paint)) {}
  ~PaintDC() { ::EndPaint(m_window, &m_paint); }
  PaintDC(const PaintDC&) = delete;
  PaintDC& operator=(const PaintDC&) = delete;
  operator HDC() const { return m_dc; }

 private:
  HWND m_window;
  PAINTSTRUCT m_paint;
  HDC m_dc;
};

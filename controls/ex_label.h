// A static text painted in white bold type on the skin's blue: the main
// window's title line.
#pragma once
#include <string>

#include "framework/controls.h"
#include "framework/gdi.h"

// The bold font every label paints with: filled by the main dialog at its
// initialisation, deleted at process exit.
extern CFont g_labelFont;

class CExLabel : public CStatic {
 public:
  DECLARE_MESSAGE_MAP()

 protected:
  // Draws the window text, each line centred (breaking between words where
  // a line is wider than the label), from the top, with opaque
  // blue cells behind the glyphs; the rest of the label is left alone.
  LRESULT OnPaint(WPARAM, LPARAM);

  std::string m_strText;
  RECT m_rcClient = {0, 0, 0, 0};
  COLORREF m_crText = RGB(255, 255, 255);
};

#include "controls/ex_label.h"

#include "framework/gdi.h"

CFont g_labelFont;

const MessageEntry CExLabel::kMessages[] = {
    onMessage(WM_PAINT, &CExLabel::OnPaint),
    kEndOfMessages,
};
const MessageMap CExLabel::kMessageMap = {&CWnd::kMessageMap, CExLabel::kMessages};

namespace {
constexpr COLORREF kSkinBlue = RGB(2, 77, 246);
}

LRESULT CExLabel::OnPaint(WPARAM, LPARAM) {
  PaintDC dc(m_hWnd);
  GetClientRect(&m_rcClient);
  int length = ::GetWindowTextLengthA(m_hWnd);
  m_strText.assign(static_cast<size_t>(length) + 1, '\0');
  length = GetWindowText(&m_strText[0], length + 1);
  m_strText.resize(static_cast<size_t>(length));
  ::SetTextColor(dc, m_crText);
  SelectScope font(dc, g_labelFont.get());
  ::SetBkColor(dc, kSkinBlue);
  ::DrawTextA(dc, m_strText.c_str(), static_cast<int>(m_strText.size()), &m_rcClient,
              DT_CENTER | DT_WORDBREAK);
  return 0;
}

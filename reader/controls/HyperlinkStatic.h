// An owner-drawn static text that looks like a link (link colour, underlined, hand cursor) and
// can fit its height to its text. On a skinned parent that registers it with its painter, the
// text is drawn over the parent's skin (WM_SKIN_PAINT_BACKGROUND); otherwise over whatever the
// parent left under it.
#pragma once

#include <afxcmn.h>

#include "ControlTooltips.h"
#include "draw_helpers.h"

class CHyperlinkStatic : public CStatic {
  DECLARE_DYNAMIC(CHyperlinkStatic)
 public:
  CHyperlinkStatic() = default;
  ~CHyperlinkStatic() override;

  // Settings the owner sets before SetUp.
  bool m_bFitToText = false;  // fit the height to the text, up to m_nMaxLines lines
  int m_nMaxLines = 1;
  UINT m_nTextAlign = 0;         // DrawText alignment: 0 left, 1 centre (DT_CENTER), 2 right (DT_RIGHT)
  bool m_bLinkLook = true;       // link colour, hand cursor and underlined font
  COLORREF m_crLink = 0xFF0000;  // blue

  // Once the control is attached: makes the fonts (first time), makes the control owner-drawn,
  // fits the height when asked, and sets up the tooltip (its window is made at the first mouse
  // message over the link).
  void SetUp();
  // Lines the text takes after fitting (-1 before).
  int GetLineCount() const { return m_nLineCount; }
  const CFont* CurrentFont() const { return m_pCurrentFont; }
  const CFont& UnderlinedFont() const { return m_fontUnderlined; }
  CToolTipCtrl& Tooltip() { return m_tooltip.Control(); }

  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;
  BOOL PreTranslateMessage(MSG* pMsg) override;

 protected:
  BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg void OnMouseLeave();
  afx_msg BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  DECLARE_MESSAGE_MAP()

 private:
  void FitToText();
  UINT DrawFormat() const;

  CFont m_fontNormal;
  CFont m_fontUnderlined;
  const CFont* m_pCurrentFont = nullptr;
  bool m_bHovering = false;
  bool m_bUnderlineOnHover = true;
  int m_nLineCount = -1;
  orv_controls::DeferredTooltip m_tooltip;
  bool m_bFontsMade = false;
  draw_helpers::SkinBackgroundSource m_background;  // the parent's composed skin, if it hands it over
};

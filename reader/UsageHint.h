// The usage hint: a small top-most popup below the main dialog that explains how to read a
// text. It fades in and out through its layered-window alpha, hides itself after a time the
// caller gives, and follows the dialog when that moves. It never takes the focus: it is shown
// without activation, is a tool window without a taskbar button and refuses activation.
#pragma once

#include <afxwin.h>

#include "HyperlinkStatic.h"
#include "draw_helpers.h"

#include <functional>

class CUseHintDlg : public CDialog {
  DECLARE_DYNAMIC(CUseHintDlg)
 public:
  enum : UINT_PTR { TIMER_HINT_FADEOUT = 8361, TIMER_HINT_FADEIN = 8362, TIMER_HINT_AUTOHIDE = 8363 };
  static constexpr int kFadeStep = 25;
  static constexpr COLORREF kBackground = RGB(255, 252, 200);
  static constexpr COLORREF kOutline = RGB(127, 125, 124);

  CUseHintDlg();
  ~CUseHintDlg() override;

  // Type 1 creates the window from template 736; other types create nothing.
  virtual BOOL CreateByType(int type, CWnd* parent);

  // What the main dialog does with its hint. Show: creates the window when there is none,
  // places it top-most under the owner's left and bottom edges without activating it, fades it
  // in unless it is fully shown and not fading out, and arms the automatic hiding when
  // autoHideMs is not 0.
  void ShowBelow(CWnd* owner, UINT autoHideMs);
  // Starts the fade-out when a window exists and is not fully transparent.
  void Hide();
  // The owner moved: a visible hint goes with it (no size or z-order change).
  void FollowOwner(CWnd* owner);
  // Kills the fade-in, restarts from alpha 255 and fades out.
  void StartFadeOut();

  int Alpha() const { return m_nAlpha; }
  int HintType() const { return m_nType; }
  bool IsFadingOut() const { return m_bFadingOut; }

  // Adds WS_EX_LAYERED and sets white as the colour key and the given alpha. FALSE when the
  // system has no layered windows or the style could not be set.
  static bool SetLayeredAlpha(HWND window, int alpha);

  // Timer periods; tests make them long and drive the ticks themselves.
  UINT m_nFadeInPeriod = 15;
  UINT m_nFadeOutPeriod = 25;

 protected:
  BOOL OnInitDialog() override;
  afx_msg void OnPaint();
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  afx_msg void OnCloseLink();
  afx_msg void OnActionLink();
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnWindowPosChanged(WINDOWPOS* lpwndpos);
  afx_msg void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  void ApplyAlpha();
  void PaintBackground(CDC& dc);

  draw_helpers::MemoryDC m_memory;
  draw_helpers::SkinBackgroundPainter m_painter;
  int m_nAlpha = 0;
  int m_nType = 0;
  // The fade-out runs: a show request must restart the fade-in even while the alpha still
  // reads 255 (its first step).
  bool m_bFadingOut = false;
  CHyperlinkStatic m_text;        // 1225
  CHyperlinkStatic m_closeLink;   // 1224
  CHyperlinkStatic m_actionLink;  // 1227, when the template has it
  bool m_bActionAttached = false;
  std::function<void()> m_action;  // for 1227; none is set
};

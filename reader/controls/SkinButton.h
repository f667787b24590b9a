// The reader's owner-drawn push button: one of five skin states painted from draw lists over
// the parent's skin background, a hot look that follows the mouse, an optional busy
// animation, a tooltip, and Enter as a click.
#pragma once

#include <afxcmn.h>

#include "ControlTooltips.h"
#include "draw_helpers.h"

namespace draw_helpers {

enum ButtonState_e { BUTTON_NORMAL = 0, BUTTON_PRESSED = 1, BUTTON_HOT = 2, BUTTON_DISABLED = 3, BUTTON_BUSY = 4 };
constexpr int kButtonStateCount = 5;

// A button's looks: one draw list per ButtonState_e.
struct CDrawButtonSkin {
  std::array<DrawList, kButtonStateCount> lists;
  void Clear() {
    for (DrawList& list : lists) list.clear();
  }
  // The list drawn for a state: an empty list (or one starting with no object) falls back to
  // the normal list.
  const DrawList& ForState(int state) const;
};

}  // namespace draw_helpers

class CSkinButton : public CButton {
  DECLARE_DYNAMIC(CSkinButton)
 public:
  enum { TIMER_BUTTON_ANIMATION = 4341, TOOL_ID = 101 };

  CSkinButton();
  ~CSkinButton() override;

  // The look set: with resize, the button becomes width x height (not moved, z-order kept).
  // The normal row is `source`, centred in width x height; rows 1 and more add the pressed and
  // hot rows below it, rows other than 0 and 2 also the disabled row.
  void SetSkin(Gdiplus::Image* image, int rows, bool resize, int width, int height, const CRect& source);
  draw_helpers::CDrawButtonSkin& Skin() { return m_skin; }
  // The animation shown while busy; it is added to the busy list as well.
  void SetBusyAnimation(std::shared_ptr<draw_helpers::CImageAnimation2> animation);
  // False without a busy animation; otherwise starts or stops it and answers true.
  bool SetBusy(bool on);
  // A text adds or updates the tooltip; NULL removes it.
  void SetTooltip(LPCTSTR text);
  // The tooltip window: made at the first mouse move over the button (null until then).
  CToolTipCtrl& Tooltip() { return m_tooltip.Control(); }
  // Button-down messages also go to this window (it answers for the button).
  void SetClickForwardWindow(CWnd* window) { m_clickForward = window; }
  // An image the button keeps for the owner and frees with itself.
  draw_helpers::ImageBuffer& OwnImage() { return m_image; }
  bool IsHovering() const { return m_hovering; }
  // The state DrawItem paints for the given owner-draw item state.
  int StateFor(UINT itemState) const;

  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;
  BOOL PreTranslateMessage(MSG* pMsg) override;

 protected:
  BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg void OnMouseLeave();
  afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
  afx_msg void OnLButtonDblClk(UINT nFlags, CPoint point);
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  DECLARE_MESSAGE_MAP()

 private:
  draw_helpers::MemoryDC m_memory;
  draw_helpers::SkinBackgroundPainter m_painter;
  draw_helpers::ImageBuffer m_image;
  draw_helpers::CImageAnimation2* m_busyAnimation = nullptr;  // lives in the busy list
  bool m_busy = false;
  draw_helpers::CDrawButtonSkin m_skin;
  orv_controls::DeferredTooltip m_tooltip;
  bool m_released = false;
  CWnd* m_clickForward = nullptr;
  bool m_hovering = false;
};

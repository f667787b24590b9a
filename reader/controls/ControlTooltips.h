// Tooltip chores the skinned controls share: a tooltip window made when the mouse first comes
// over its owner, a description tooltip made that way, and mouse moves relayed to a tooltip once
// per new point.
#pragma once

#include <afxcmn.h>

#include <functional>

namespace orv_controls {

// A control's tooltip whose window is made at the first mouse message over the control rather
// than when the control is set up: every tooltip is a top-level window, costly to make while a
// dialog starts, and shows nothing before the mouse rests on its control; what it shows, and
// when, is the same as for one made at once.
class DeferredTooltip {
 public:
  DeferredTooltip() = default;
  DeferredTooltip(const DeferredTooltip&) = delete;
  DeferredTooltip& operator=(const DeferredTooltip&) = delete;

  // The window; it may not exist yet (m_hWnd null) or no longer.
  CToolTipCtrl& Control() { return m_tooltip; }
  // `make` makes the window at the first mouse message handed to MakeOnMouse; it replaces a
  // `make` still owed. Does nothing when the window exists.
  void Defer(std::function<void(CToolTipCtrl&)> make);
  // Makes an owed window when `pMsg` is a mouse message; true when the window exists.
  bool MakeOnMouse(const MSG* pMsg);
  // Destroys the window, or forgets the one owed.
  void Destroy();

 private:
  CToolTipCtrl m_tooltip;
  std::function<void(CToolTipCtrl&)> m_make;
};

// With a text: the tooltip (TTS_ALWAYSTIP) is owed, made at the first mouse message with one
// tool `toolId` over the owner's client area (as it is then); once made, a text updates that
// tool's text. Without a text (NULL): destroys the tooltip. fullScreenWidth lets long texts use
// the screen's width before they wrap.
void SetDescriptionTooltip(DeferredTooltip& tooltip, CWnd* owner, UINT_PTR toolId, LPCTSTR text, bool fullScreenWidth);

// Relays a WM_MOUSEMOVE to the tooltip, made first when owed, unless it is at lastPoint, the
// point relayed before by the same family of controls; (0, 0) is always relayed. Other messages
// are left alone.
void RelayMouseMove(DeferredTooltip& tooltip, MSG* pMsg, POINT& lastPoint);

}  // namespace orv_controls

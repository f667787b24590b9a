#include "ControlTooltips.h"

#include <string>

namespace orv_controls {

void DeferredTooltip::Defer(std::function<void(CToolTipCtrl&)> make) {
  if (!m_tooltip.m_hWnd) m_make = std::move(make);
}

bool DeferredTooltip::MakeOnMouse(const MSG* pMsg) {
  if (!m_tooltip.m_hWnd && m_make && pMsg && pMsg->message >= WM_MOUSEFIRST && pMsg->message <= WM_MOUSELAST) {
    const std::function<void(CToolTipCtrl&)> make = std::move(m_make);
    m_make = nullptr;
    make(m_tooltip);
  }
  return m_tooltip.m_hWnd != nullptr;
}

void DeferredTooltip::Destroy() {
  m_make = nullptr;
  if (m_tooltip.m_hWnd) m_tooltip.DestroyWindow();
}

void SetDescriptionTooltip(DeferredTooltip& tooltip, CWnd* owner, UINT_PTR toolId, LPCTSTR text, bool fullScreenWidth) {
  if (!text) {
    tooltip.Destroy();
    return;
  }
  if (tooltip.Control().m_hWnd) {
    tooltip.Control().UpdateTipText(text, owner, toolId);
    return;
  }
  if (!owner || !owner->m_hWnd) return;
  tooltip.Defer([owner, toolId, fullScreenWidth, description = std::wstring(text)](CToolTipCtrl& control) {
    if (!owner->m_hWnd || !control.Create(owner, TTS_ALWAYSTIP)) return;
    if (fullScreenWidth) control.SetMaxTipWidth(GetSystemMetrics(SM_CXSCREEN));
    control.Activate(TRUE);
    CRect client;
    owner->GetClientRect(&client);
    control.AddTool(owner, description.c_str(), &client, toolId);
  });
}

void RelayMouseMove(DeferredTooltip& tooltip, MSG* pMsg, POINT& lastPoint) {
  if (!pMsg || pMsg->message != WM_MOUSEMOVE || !tooltip.MakeOnMouse(pMsg)) return;
  const CPoint point(pMsg->lParam);
  const bool origin = point.x == 0 && point.y == 0;
  if (!origin && point == lastPoint) return;
  tooltip.Control().RelayEvent(pMsg);
  lastPoint = point;
}

}  // namespace orv_controls

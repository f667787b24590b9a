#include "ControlTooltips.h"

namespace orv_controls {

void SetDescriptionTooltip(CToolTipCtrl& tooltip, CWnd* owner, UINT_PTR toolId, LPCTSTR text, bool fullScreenWidth) {
  if (!text) {
    if (tooltip.m_hWnd) tooltip.DestroyWindow();
    return;
  }
  if (tooltip.m_hWnd) {
    tooltip.UpdateTipText(text, owner, toolId);
    return;
  }
  if (!owner || !owner->m_hWnd || !tooltip.Create(owner, TTS_ALWAYSTIP)) return;
  if (fullScreenWidth) tooltip.SetMaxTipWidth(GetSystemMetrics(SM_CXSCREEN));
  tooltip.Activate(TRUE);
  CRect client;
  owner->GetClientRect(&client);
  tooltip.AddTool(owner, text, &client, toolId);
}

void RelayMouseMove(CToolTipCtrl& tooltip, MSG* pMsg, POINT& lastPoint) {
  if (!pMsg || pMsg->message != WM_MOUSEMOVE || !tooltip.m_hWnd) return;
  const CPoint point(pMsg->lParam);
  const bool origin = point.x == 0 && point.y == 0;
  if (!origin && point == lastPoint) return;
  tooltip.RelayEvent(pMsg);
  lastPoint = point;
}

}  // namespace orv_controls

// Tooltip chores the skinned controls share: a description tooltip made on demand, and mouse
// moves relayed to a tooltip once per new point.
#pragma once

#include <afxcmn.h>

namespace orv_controls {

// With a text: creates the tooltip (TTS_ALWAYSTIP) the first time, with one tool `toolId` over
// the owner's client area, or else updates that tool's text. Without a text (NULL): destroys
// the tooltip. fullScreenWidth lets long texts use the screen's width before they wrap.
void SetDescriptionTooltip(CToolTipCtrl& tooltip, CWnd* owner, UINT_PTR toolId, LPCTSTR text, bool fullScreenWidth);

// Relays a WM_MOUSEMOVE to the tooltip unless it is at lastPoint, the point relayed before by
// the same family of controls; (0, 0) is always relayed. Other messages are left alone.
void RelayMouseMove(CToolTipCtrl& tooltip, MSG* pMsg, POINT& lastPoint);

}  // namespace orv_controls

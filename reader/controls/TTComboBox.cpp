#include "TTComboBox.h"

#include "ControlTooltips.h"
#include "resource.h"

namespace {

// The last point seen by any tooltip list, and by the combo boxes' own tooltip relay.
POINT g_lastListPoint = {-1, -1};
POINT g_lastComboPoint = {0, 0};

void InitTool(TOOLINFOW& tool, HWND owner, UINT_PTR id, UINT flags) {
  tool = TOOLINFOW{};
  tool.cbSize = sizeof(tool);
  tool.uFlags = flags;
  tool.hwnd = owner;
  tool.uId = id;
  tool.lpszText = const_cast<LPWSTR>(L"");
}

void MakeTip(CToolTipCtrl& tip, CWnd* owner, TOOLINFOW& tool, UINT_PTR id) {
  if (!tip.Create(owner, TTS_ALWAYSTIP | TTS_NOPREFIX)) return;
  tip.Activate(TRUE);
  InitTool(tool, owner->m_hWnd, id, TTF_TRACK | TTF_ABSOLUTE);
  owner->GetClientRect(&tool.rect);
  tip.AddTool(&tool);
  tip.SetMaxTipWidth(GetSystemMetrics(SM_CXSCREEN));
  tip.SendMessage(WM_SETFONT, static_cast<WPARAM>(owner->SendMessage(WM_GETFONT)), FALSE);
}

void ShowTopmost(CToolTipCtrl& tip) {
  tip.SetWindowPos(reinterpret_cast<const CWnd*>(HWND_TOPMOST), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CTTListBox, CListBox)

BEGIN_MESSAGE_MAP(CTTListBox, CListBox)
  ON_WM_MOUSEMOVE()
  ON_WM_TIMER()
  ON_WM_MOUSEWHEEL()
  ON_WM_VSCROLL()
  ON_WM_WINDOWPOSCHANGED()
END_MESSAGE_MAP()

CTTListBox::~CTTListBox() {
  if (m_overflowTip.m_hWnd) m_overflowTip.DestroyWindow();
  if (m_itemTip.m_hWnd) m_itemTip.DestroyWindow();
}

void CTTListBox::PreSubclassWindow() {
  // Both tips are placed by the list itself (tracking, absolute positions): the item tip below
  // the hovered item after a delay, the overflow tip exactly over an item too wide to show.
  MakeTip(m_itemTip, this, m_itemTool, TOOL_ITEM);
  MakeTip(m_overflowTip, this, m_overflowTool, TOOL_OVERFLOW);
  CListBox::PreSubclassWindow();
}

const std::wstring* CTTListBox::ItemTip(int index) const {
  if (!m_itemTexts || index < 0 || static_cast<size_t>(index) >= m_itemTexts->size()) return nullptr;
  return &(*m_itemTexts)[static_cast<size_t>(index)];
}

void CTTListBox::HideTips() {
  if (m_overflowTip.m_hWnd) m_overflowTip.TrackActivate(FALSE, &m_overflowTool);
  if (m_itemTip.m_hWnd) m_itemTip.TrackActivate(FALSE, &m_itemTool);
}

bool CTTListBox::CursorInside() const {
  POINT cursor;
  if (!GetCursorPos(&cursor)) return false;
  ScreenToClient(&cursor);
  CRect client;
  GetClientRect(&client);
  return client.PtInRect(cursor) != FALSE;
}

void CTTListBox::OnMouseMove(UINT, CPoint point) {
  if (point == g_lastListPoint) {
    Default();
    return;
  }
  CRect client;
  GetClientRect(&client);
  if (client.PtInRect(point) && IsWindowVisible()) {
    BOOL outside = TRUE;
    const int item = static_cast<int>(ItemFromPoint(point, outside));
    if (!outside && item < GetCount()) {
      CString text;
      GetText(item, text);
      CRect itemRect;
      GetItemRect(item, &itemRect);
      ClientToScreen(&itemRect);
      CClientDC dc(this);
      HGDIOBJ oldFont = dc.SelectObject(reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)));
      const int textWidth = dc.GetTextExtent(text).cx;
      dc.SelectObject(oldFont);

      if (m_itemTexts) {
        if (m_itemTip.m_hWnd) m_itemTip.TrackActivate(FALSE, &m_itemTool);
        m_hoveredItem = item;
        const int delay = m_itemTip.m_hWnd ? m_itemTip.GetDelayTime(TTDT_INITIAL) : 0;
        SetTimer(TIMER_ITEM_TIP, static_cast<UINT>(delay > 0 ? delay : 1), nullptr);
      }
      if (textWidth > itemRect.Width() && m_overflowTip.m_hWnd) {
        m_text = text.GetString();
        m_overflowTool.lpszText = const_cast<LPWSTR>(m_text.c_str());
        m_overflowTip.SendMessage(TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&m_overflowTool));
        CRect tipRect = itemRect;
        m_overflowTip.SendMessage(TTM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&tipRect));
        m_overflowTip.TrackPosition(itemRect.left - 1, itemRect.top);
        m_overflowTip.TrackActivate(TRUE, &m_overflowTool);
        ShowTopmost(m_overflowTip);
        const int reshow = m_overflowTip.GetDelayTime(TTDT_RESHOW);
        SetTimer(TIMER_OVERFLOW, static_cast<UINT>(reshow > 0 ? reshow : 1), nullptr);
      } else if (m_overflowTip.m_hWnd) {
        m_overflowTip.TrackActivate(FALSE, &m_overflowTool);
      }
    }
  } else {
    HideTips();
  }
  g_lastListPoint = point;
  Default();
}

void CTTListBox::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == TIMER_OVERFLOW) {
    if (!CursorInside()) {
      KillTimer(TIMER_OVERFLOW);
      if (m_overflowTip.m_hWnd) m_overflowTip.TrackActivate(FALSE, &m_overflowTool);
    }
  } else if (nIDEvent == TIMER_ITEM_TIP) {
    KillTimer(TIMER_ITEM_TIP);
    const std::wstring* tip = ItemTip(m_hoveredItem);
    if (tip && m_itemTip.m_hWnd && CursorInside() && IsWindowVisible()) {
      m_itemTool.lpszText = const_cast<LPWSTR>(tip->c_str());
      m_itemTip.SendMessage(TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&m_itemTool));
      CRect itemRect;
      GetItemRect(m_hoveredItem, &itemRect);
      ClientToScreen(&itemRect);
      m_itemTip.TrackPosition(itemRect.left, itemRect.bottom + 2);
      m_itemTip.TrackActivate(TRUE, &m_itemTool);
      ShowTopmost(m_itemTip);
      m_itemTip.Update();
    }
    return;
  }
  Default();
}

BOOL CTTListBox::OnMouseWheel(UINT, short, CPoint) {
  HideTips();
  return static_cast<BOOL>(Default());
}

void CTTListBox::OnVScroll(UINT, UINT, CScrollBar*) {
  HideTips();
  Default();
}

void CTTListBox::OnWindowPosChanged(WINDOWPOS* lpwndpos) {
  Default();
  if (lpwndpos && (lpwndpos->flags & SWP_HIDEWINDOW)) {
    HideTips();
    KillTimer(TIMER_ITEM_TIP);
    if (m_focusOnHide && m_focusOnHide->m_hWnd && ::IsWindow(m_focusOnHide->m_hWnd)) m_focusOnHide->SetFocus();
  }
}

// ---------------------------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CTTComboBox, CComboBox)

BEGIN_MESSAGE_MAP(CTTComboBox, CComboBox)
  ON_WM_DESTROY()
  ON_WM_KILLFOCUS()
  ON_MESSAGE(WM_CTLCOLORLISTBOX, &CTTComboBox::OnCtlColorListBox)
END_MESSAGE_MAP()

CTTComboBox::~CTTComboBox() { m_tooltip.Destroy(); }

void CTTComboBox::PreSubclassWindow() {
  m_tooltipText.LoadString(IDS_VOICE_LIST_TIP);
  m_tooltip.Defer([this](CToolTipCtrl& tooltip) {
    if (!tooltip.Create(this, TTS_ALWAYSTIP | TTS_NOPREFIX)) return;
    tooltip.Activate(TRUE);
    CRect client;
    GetClientRect(&client);
    tooltip.AddTool(this, m_tooltipText.GetString(), &client, TOOL_ID);
  });
  CComboBox::PreSubclassWindow();
}

int CTTComboBox::AddItem(LPCTSTR text, LPCTSTR tip) {
  if (!text || !tip) return -1;
  const int index = static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
  if (index >= 0 && static_cast<size_t>(index) < m_tips.size()) m_tips[static_cast<size_t>(index)] = tip;
  return index;
}

BOOL CTTComboBox::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  LRESULT ignored = 0;
  if (!pResult) pResult = &ignored;
  switch (message) {
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
      // Every item gets its tip slot at its own index, so tips and items stay in step whoever
      // adds the item; AddItem fills the slot.
      const LRESULT index = Default();
      if (index >= 0 && static_cast<size_t>(index) <= m_tips.size()) {
        m_tips.insert(m_tips.begin() + index, std::wstring());
        if (m_lastChosen >= index) ++m_lastChosen;
      }
      *pResult = index;
      return TRUE;
    }
    case CB_DELETESTRING: {
      const LRESULT remaining = Default();
      const size_t index = static_cast<size_t>(wParam);
      if (remaining != CB_ERR && index < m_tips.size()) {
        m_tips.erase(m_tips.begin() + static_cast<std::ptrdiff_t>(index));
        if (m_lastChosen == static_cast<int>(index))
          m_lastChosen = -1;
        else if (m_lastChosen > static_cast<int>(index))
          --m_lastChosen;
      }
      *pResult = remaining;
      return TRUE;
    }
    case CB_RESETCONTENT:
      *pResult = Default();
      m_tips.clear();
      m_lastChosen = -1;
      return TRUE;
    case CB_SETCURSEL:
      // A selection made in code is the owner's choice (the dialog selects the current voice
      // this way): it is what a lost focus puts back.
      *pResult = Default();
      m_lastChosen = *pResult == CB_ERR ? -1 : static_cast<int>(*pResult);
      return TRUE;
    default:
      return CComboBox::OnWndMsg(message, wParam, lParam, pResult);
  }
}

BOOL CTTComboBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  // The user's confirmed choice; the parent still gets the notification.
  if (message == WM_COMMAND && HIWORD(wParam) == CBN_SELCHANGE) m_lastChosen = GetCurSel();
  return CComboBox::OnChildNotify(message, wParam, lParam, pResult);
}

LRESULT CTTComboBox::OnCtlColorListBox(WPARAM, LPARAM lParam) {
  const LRESULT brush = Default();
  HWND list = reinterpret_cast<HWND>(lParam);
  if (!m_list.m_hWnd && list && list != m_hWnd) {
    m_list.SetItemTexts(&m_tips);
    m_list.SubclassWindow(list);
  }
  return brush;
}

void CTTComboBox::OnDestroy() {
  if (m_list.m_hWnd) m_list.UnsubclassWindow();
  CComboBox::OnDestroy();
}

void CTTComboBox::OnKillFocus(CWnd*) {
  Default();
  // A selection the user moved to without confirming it does not stay.
  if (GetCurSel() != m_lastChosen) SetCurSel(m_lastChosen);
}

BOOL CTTComboBox::PreTranslateMessage(MSG* pMsg) {
  orv_controls::RelayMouseMove(m_tooltip, pMsg, g_lastComboPoint);
  return CComboBox::PreTranslateMessage(pMsg);
}

// The voice list: a drop-down combo box with a tooltip of its own and a tooltip text per item,
// whose drop-down list (CTTListBox) shows an item's text after a delay and the full text of
// items too wide for the list.
#pragma once

#include <afxcmn.h>

#include <deque>
#include <string>

#include "ControlTooltips.h"

class CTTListBox : public CListBox {
  DECLARE_DYNAMIC(CTTListBox)
 public:
  enum { TIMER_OVERFLOW = 200, TIMER_ITEM_TIP = 201, TOOL_OVERFLOW = 100, TOOL_ITEM = 101 };

  CTTListBox() = default;
  ~CTTListBox() override;

  // The combo's tooltip texts, one per item (NULL for a list of its own).
  void SetItemTexts(const std::deque<std::wstring>* texts) { m_itemTexts = texts; }
  // The tooltip text of an item, or NULL when there is none (any index is safe).
  const std::wstring* ItemTip(int index) const;

 protected:
  void PreSubclassWindow() override;
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg BOOL OnMouseWheel(UINT nFlags, short zDelta, CPoint pt);
  afx_msg void OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
  afx_msg void OnWindowPosChanged(WINDOWPOS* lpwndpos);
  DECLARE_MESSAGE_MAP()

 private:
  void HideTips();
  bool CursorInside() const;

  const std::deque<std::wstring>* m_itemTexts = nullptr;
  int m_hoveredItem = -1;
  CToolTipCtrl m_overflowTip;
  TOOLINFOW m_overflowTool{};
  CToolTipCtrl m_itemTip;
  TOOLINFOW m_itemTool{};
  CWnd* m_focusOnHide = nullptr;
  std::wstring m_text;  // the text the overflow tip shows (the tooltip reads it later)
};

class CTTComboBox : public CComboBox {
  DECLARE_DYNAMIC(CTTComboBox)
 public:
  enum { TOOL_ID = 102 };

  CTTComboBox() = default;
  ~CTTComboBox() override;

  // Adds an item with its tooltip text; -1 (and nothing added) when either is NULL, the
  // combo's error when the item cannot be added (and then no tip is kept either).
  int AddItem(LPCTSTR text, LPCTSTR tip);
  const std::deque<std::wstring>& ItemTips() const { return m_tips; }
  // The item put back when the focus leaves: the last one the owner selected in code or the
  // user confirmed (CBN_SELCHANGE); -1 before any.
  int LastChosen() const { return m_lastChosen; }
  CTTListBox& DropList() { return m_list; }
  // The list's own tooltip window: made at the first mouse move over the combo box.
  CToolTipCtrl& Tooltip() { return m_tooltip.Control(); }

  BOOL PreTranslateMessage(MSG* pMsg) override;
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

 protected:
  void PreSubclassWindow() override;
  BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
  afx_msg void OnDestroy();
  afx_msg void OnKillFocus(CWnd* pNewWnd);
  afx_msg LRESULT OnCtlColorListBox(WPARAM wParam, LPARAM lParam);
  DECLARE_MESSAGE_MAP()

 private:
  CTTListBox m_list;
  std::deque<std::wstring> m_tips;  // one per item, in the items' order
  orv_controls::DeferredTooltip m_tooltip;
  int m_lastChosen = -1;
  CString m_tooltipText;
};

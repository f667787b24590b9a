// A tree control whose labels may hold light HTML, with its own tri-state check boxes (and a
// "smart" mode in which a parent shows the state of its descendants), disabled and separator
// items, per-item HTML tooltips, hot tracking of check boxes and links, a text search, and four
// registered messages to its parent.
//
// The tree draws its labels and handles its clicks through notifications that its parent
// reflects back to it, so its parent is a window of the layer (a CDialog, for example).
#pragma once

#include "XHtmlDraw.h"

#include <afxcmn.h>

#include <memory>
#include <string>
#include <unordered_map>

class CPPToolTip;

// What the tree keeps for each item it inserted; the tree owns the records.
struct XHTMLTREEDATA {
  BOOL bChecked = FALSE;          // the item's own check state
  BOOL bEnabled = TRUE;           // FALSE: grey, cannot be selected, checked or expanded by the user
  BOOL bSeparator = FALSE;        // drawn as a horizontal line; no check, tooltip or label editing
  HWND hTreeCtrl = nullptr;       // set by InsertItem
  BOOL bExpanded = FALSE;         // kept by the tree's own expand operations
  BOOL bHasBeenExpanded = FALSE;  // set the first time the item is expanded
  int nChildren = 0;              // items below it at all levels (kept with smart check)
  int nCheckedChildren = 0;       // checked items among them
  std::wstring strToolTip;        // HTML text of the item's tooltip; empty: none
  int nToolTipWidth = 0;          // 500 once a tooltip text is set
  XHTMLDRAWPARAMS ds;             // how the label is drawn
  CString strHtmlText;            // when not empty, drawn instead of the item's label

  XHTMLTREEDATA() = default;
  XHTMLTREEDATA(const XHTMLTREEDATA&) = delete;
  XHTMLTREEDATA& operator=(const XHTMLTREEDATA&) = delete;
  virtual ~XHTMLTREEDATA() = default;
};

// The wParam of the four tree messages: the address of one of these, built on the sender's
// stack (valid only while the message is handled).
struct XHTMLTREEMSGDATA {
  HWND hCtrl;
  UINT nCtrlId;
  HTREEITEM hItem;  // null where no item is meant
};

// Registered when the module loads. lParam: the new check flag; the new expanded flag; the
// CPPToolTip* (a nonzero result means "show no tip"); the CPPToolTip* after the tooltip rows
// were rebuilt.
extern UINT WM_XHTMLTREE_CHECKBOX_CLICKED;
extern UINT WM_XHTMLTREE_ITEM_EXPANDED;
extern UINT WM_XHTMLTREE_DISPLAY_TOOLTIP;
extern UINT WM_XHTMLTREE_INIT_TOOLTIP;

class CXHtmlTree : public CTreeCtrl {
  DECLARE_DYNAMIC(CXHtmlTree)
 public:
  // State image index: base + 4 when disabled + 8 when the check box is hot.
  enum : int { kUnchecked = 1, kChecked = 2, kTriState = 3, kDisabledBit = 4, kHotBit = 8 };
  // The image index of items inserted while the tree has no normal image list: draws nothing.
  enum : int { kNoImage = 0xFFFE };
  enum : UINT_PTR { kHotTimer = 1, kLabelEditTimer = 2 };
  enum : int { kFirstRowTool = 10000 };

  CXHtmlTree();
  ~CXHtmlTree() override;
  CXHtmlTree(const CXHtmlTree&) = delete;
  CXHtmlTree& operator=(const CXHtmlTree&) = delete;

  // (Re)initialises a created tree: empties it, makes a new tooltip window and the check-box
  // images, and sets the options to check boxes and tooltips on, smart check off.
  void Initialize();

  // Options.
  BOOL GetCheckBoxes() const { return m_bCheckBoxes; }
  void SetSmartCheckBox(BOOL on) { m_bSmartCheck = on; }
  void SetHtml(BOOL on) { m_bHtml = on; }
  void SetReadOnly(BOOL on) { m_bReadOnly = on; }
  BOOL GetReadOnly() const { return m_bReadOnly; }
  CPPToolTip* GetToolTip() const { return m_pToolTip.get(); }

  // Items. The template (optional) gives the new record its check, enabled and separator
  // flags, draw settings and HTML text.
  HTREEITEM InsertItem(LPTVINSERTSTRUCTW lpInsertStruct, const XHTMLTREEDATA* pData = nullptr);
  HTREEITEM InsertItem(LPCTSTR lpszItem, HTREEITEM hParent = TVI_ROOT, HTREEITEM hInsertAfter = TVI_LAST,
                       const XHTMLTREEDATA* pData = nullptr);
  XHTMLTREEDATA* GetItemDataStruct(HTREEITEM hItem) const;
  BOOL DeleteAllItems();

  BOOL GetCheck(HTREEITEM hItem) const;
  // The only way the user changes a check box; tells the parent with
  // WM_XHTMLTREE_CHECKBOX_CLICKED.
  void SetCheck(HTREEITEM hItem, BOOL bChecked);
  HTREEITEM GetFirstCheckedItem() const;
  BOOL IsEnabled(HTREEITEM hItem) const;
  BOOL IsSeparator(HTREEITEM hItem) const;
  // The state image index the item shows now (0 without a state image).
  int GetStateImage(HTREEITEM hItem) const { return static_cast<int>(GetItemState(hItem, TVIS_STATEIMAGEMASK) >> 12); }

  // The next item in display order of a fully expanded tree; null at the end.
  HTREEITEM GetNextTreeItem(HTREEITEM hItem) const;
  // The previous one: the previous sibling's last descendant, else the parent.
  HTREEITEM GetPrevTreeItem(HTREEITEM hItem) const;
  HTREEITEM GetLastTreeItem() const;

  void SetItemToolTipText(HTREEITEM hItem, LPCTSTR lpszText);
  CString GetItemToolTipText(HTREEITEM hItem, BOOL bStrip = FALSE) const;
  CString GetItemText(HTREEITEM hItem, BOOL bStrip = FALSE) const;

  BOOL Expand(HTREEITEM hItem, UINT nCode);
  void ExpandAll();
  BOOL SelectItem(HTREEITEM hItem);

  // Searches the labels' plain text from the item after hStart (or after the selection).
  virtual HTREEITEM FindItem(const CString& strFind, BOOL bMatchCase = FALSE, BOOL bDown = TRUE,
                             BOOL bWholeWord = FALSE, BOOL bWrap = TRUE, HTREEITEM hStart = nullptr);
  // Asked for each match; FALSE lets the search go on.
  virtual BOOL AcceptFoundItem(HTREEITEM hItem);

  // The text rectangle of an item (client coordinates): label start to the drawn text's end.
  BOOL GetItemTextRect(HTREEITEM hItem, RECT& rect) const;

  // Hot tracking; a derived class calls it after its own work.
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);

  // Give it every message of the loop: the tooltip sees them all and an open label editor gets
  // its keys at once; the tree's own keys (space, arrows, +, -, *) act only on messages
  // addressed to the tree, so that a key meant for another control (a wizard button) stays
  // that control's.
  BOOL PreTranslateMessage(MSG* pMsg) override;

 protected:
  void PreSubclassWindow() override;
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  afx_msg void OnDestroy();
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  afx_msg void OnSysColorChange();
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
  afx_msg void OnSize(UINT nType, int cx, int cy);
  afx_msg void OnCustomDraw(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg BOOL OnClick(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg BOOL OnDblClick(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg BOOL OnSelChanging(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg BOOL OnSelChanged(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg BOOL OnBeginLabelEdit(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg BOOL OnEndLabelEdit(NMHDR* pNMHDR, LRESULT* pResult);

  // Sends one of the four messages to the parent (else the owner); 0 when there is none.
  LRESULT SendRegisteredMessage(UINT message, HTREEITEM hItem, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

 private:
  struct ItemHash {
    size_t operator()(HTREEITEM item) const { return reinterpret_cast<size_t>(item) >> 4; }
  };
  void LoadColors();
  void BuildCheckboxImages();
  void DeleteRecords();
  void RefreshStateImage(HTREEITEM hItem, XHTMLTREEDATA* pData);
  void SetDescendants(HTREEITEM hItem, BOOL bChecked);
  void AdjustAncestors(HTREEITEM hItem, int nDelta);
  void ExpandBranch(HTREEITEM hItem);
  void ScrollToLeft();
  void CollapseBranch(HTREEITEM hItem);
  void RebuildToolTipRows();
  int ComputedToolTipWidth() const;
  void OnToolTipText(NMHDR* pHeader);
  void DrawItemText(HDC hdc, HTREEITEM hItem, UINT itemState);
  BOOL IsOnLink(HTREEITEM hItem, CPoint point) const;
  void SetHotBit(HTREEITEM hItem, bool hot);

  std::unordered_map<HTREEITEM, std::unique_ptr<XHTMLTREEDATA>, ItemHash> m_records;

  // Options.
  BOOL m_bCheckBoxes = FALSE;
  BOOL m_bSmartCheck = FALSE;
  BOOL m_bSelectOnCheck = TRUE;
  BOOL m_bHtml = TRUE;
  BOOL m_bStripHtml = FALSE;
  BOOL m_bOwnFont = FALSE;
  BOOL m_bToolTips = FALSE;
  BOOL m_bReadOnly = FALSE;
  int m_nTextMargin = 0;
  int m_nCheckBoxSize = 16;
  int m_nToolTipWidth = 0;
  LOGFONTW m_logfont = {};

  // Colours.
  COLORREF m_crWindow = 0, m_crWindowText = 0, m_crAnchorText = RGB(0, 0, 255), m_crGrayText = 0;
  COLORREF m_crHighlight = 0, m_crHighlightText = 0, m_crSeparator = 0;

  // Run-time state.
  BOOL m_bSuspend = FALSE;
  BOOL m_bRebuildToolTips = TRUE;
  HTREEITEM m_hHotCheckItem = nullptr;
  HTREEITEM m_hHotLinkItem = nullptr;
  HTREEITEM m_hLastSelected = nullptr;
  HTREEITEM m_hEditItem = nullptr;
  int m_nHorzPosAtEdit = 0;
  int m_nHorzPosAtSelect = 0;
  int m_nRowTools = 0;
  std::unique_ptr<CPPToolTip> m_pToolTip;
  CImageList m_StateImages;
  HCURSOR m_hArrowCursor = nullptr;
  htmlctrl::CXHtmlDrawLink m_Links;
  CXHtmlDraw m_Draw;
};

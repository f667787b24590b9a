// The HTML tree: records, check boxes and smart checking, drawing, tooltips, mouse and keys.
#include "XHtmlTree.h"

#include "CheckboxImages.h"
#include "GdiOwners.h"
#include "PPToolTip.h"

#include <windowsx.h>

#include <algorithm>
#include <cwctype>
#include <new>
#include <stdexcept>
#include <vector>

UINT WM_XHTMLTREE_CHECKBOX_CLICKED = ::RegisterWindowMessageW(L"WM_XHTMLTREE_CHECKBOX_CLICKED");
UINT WM_XHTMLTREE_ITEM_EXPANDED = ::RegisterWindowMessageW(L"WM_XHTMLTREE_ITEM_EXPANDED");
UINT WM_XHTMLTREE_DISPLAY_TOOLTIP = ::RegisterWindowMessageW(L"WM_XHTMLTREE_DISPLAY_TOOLTIP");
UINT WM_XHTMLTREE_INIT_TOOLTIP = ::RegisterWindowMessageW(L"WM_XHTMLTREE_INIT_TOOLTIP");

IMPLEMENT_DYNAMIC(CXHtmlTree, CTreeCtrl)

BEGIN_MESSAGE_MAP(CXHtmlTree, CTreeCtrl)
  ON_WM_DESTROY()
  ON_WM_ERASEBKGND()
  ON_WM_MOUSEMOVE()
  ON_WM_SYSCOLORCHANGE()
  ON_WM_TIMER()
  ON_WM_LBUTTONDOWN()
  ON_WM_SIZE()
  ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, &CXHtmlTree::OnCustomDraw)
  ON_NOTIFY_REFLECT_EX(NM_CLICK, &CXHtmlTree::OnClick)
  ON_NOTIFY_REFLECT_EX(NM_DBLCLK, &CXHtmlTree::OnDblClick)
  ON_NOTIFY_REFLECT_EX(TVN_SELCHANGINGW, &CXHtmlTree::OnSelChanging)
  ON_NOTIFY_REFLECT_EX(TVN_SELCHANGEDW, &CXHtmlTree::OnSelChanged)
  ON_NOTIFY_REFLECT_EX(TVN_BEGINLABELEDITW, &CXHtmlTree::OnBeginLabelEdit)
  ON_NOTIFY_REFLECT_EX(TVN_ENDLABELEDITW, &CXHtmlTree::OnEndLabelEdit)
END_MESSAGE_MAP()

namespace {

constexpr int kToolTipWidthOnText = 500;
constexpr int kPlainSearchSize = 199;
constexpr int kLabelInset = 2;

bool HasMarkup(const wchar_t* text) { return text && (wcschr(text, L'<') || wcschr(text, L'&')); }

std::wstring PlainOf(const wchar_t* text, int out_size) {
  std::vector<wchar_t> buffer(static_cast<size_t>(out_size), L'\0');
  CXHtmlDraw::GetPlainText(text, buffer.data(), out_size);
  return std::wstring(buffer.data());
}

void LowerInPlace(std::wstring& text) {
  if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
}

// A letter of any script, or "_", continues a word.
bool IsWordCharacter(wchar_t c) { return c == L'_' || std::iswalpha(static_cast<wint_t>(c)); }

// The first occurrence of needle in text that stands as a whole word (when asked), or npos.
size_t FindWord(const std::wstring& text, const std::wstring& needle, bool whole_word) {
  for (size_t from = 0;;) {
    const size_t at = text.find(needle, from);
    if (at == std::wstring::npos || !whole_word) return at;
    const size_t end = at + needle.size();
    const bool open_before = at > 0 && IsWordCharacter(text[at - 1]);
    const bool open_after = end < text.size() && IsWordCharacter(text[end]);
    if (!open_before && !open_after) return at;
    from = end;
  }
}

// Saves the DC's state and gives it back as it was.
class SavedDC {
 public:
  explicit SavedDC(HDC dc) : m_dc(dc), m_saved(::SaveDC(dc)) {}
  ~SavedDC() {
    if (m_saved) ::RestoreDC(m_dc, m_saved);
  }
  SavedDC(const SavedDC&) = delete;
  SavedDC& operator=(const SavedDC&) = delete;

 private:
  HDC m_dc;
  int m_saved;
};

void FillSolid(HDC dc, const RECT& rect, COLORREF colour) {
  const COLORREF old = ::SetBkColor(dc, colour);
  ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
  ::SetBkColor(dc, old);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction and set-up

CXHtmlTree::CXHtmlTree() {
  LoadColors();
  m_hArrowCursor = ::LoadCursorW(nullptr, IDC_ARROW);
}

CXHtmlTree::~CXHtmlTree() {
  m_pToolTip.reset();
  m_records.clear();
}

void CXHtmlTree::LoadColors() {
  m_crWindow = ::GetSysColor(COLOR_WINDOW);
  m_crWindowText = ::GetSysColor(COLOR_WINDOWTEXT);
  m_crAnchorText = RGB(0, 0, 255);
  m_crGrayText = ::GetSysColor(COLOR_GRAYTEXT);
  m_crHighlight = ::GetSysColor(COLOR_HIGHLIGHT);
  m_crHighlightText = ::GetSysColor(COLOR_HIGHLIGHTTEXT);
  m_crSeparator = ::GetSysColor(COLOR_GRAYTEXT);
}

BOOL CXHtmlTree::PreCreateWindow(CREATESTRUCT& cs) {
  cs.style |= TVS_NOTOOLTIPS;
  return CTreeCtrl::PreCreateWindow(cs);
}

void CXHtmlTree::PreSubclassWindow() {
  CTreeCtrl::PreSubclassWindow();
  // The common control's own check boxes and tooltips are never used: the tree draws its own
  // check images and shows HTML tips.
  if (GetStyle() & TVS_CHECKBOXES) m_bCheckBoxes = TRUE;
  ModifyStyle(TVS_CHECKBOXES, TVS_NOTOOLTIPS | TVS_DISABLEDRAGDROP);
  if (m_bCheckBoxes) BuildCheckboxImages();
}

void CXHtmlTree::BuildCheckboxImages() {
  if (!m_hWnd) return;
  HIMAGELIST list = nullptr;
  {
    CClientDC dc(this);
    if (!dc.m_hDC || !htmlctrl::CreateCheckboxImageList(dc.m_hDC, m_nCheckBoxSize, list, m_crWindow)) return;
  }
  ::SendMessageW(m_hWnd, TVM_SETIMAGELIST, TVSIL_STATE, reinterpret_cast<LPARAM>(list));
  m_StateImages.Attach(list);
}

void CXHtmlTree::Initialize() {
  if (!m_hWnd) return;
  m_bSuspend = TRUE;
  DeleteAllItems();
  m_pToolTip.reset();
  ::SendMessageW(m_hWnd, TVM_SETIMAGELIST, TVSIL_STATE, 0);
  m_StateImages.DeleteImageList();

  m_bCheckBoxes = TRUE;
  m_bSmartCheck = FALSE;
  m_bSelectOnCheck = TRUE;
  m_bHtml = TRUE;
  m_bOwnFont = FALSE;
  m_bToolTips = TRUE;
  m_nTextMargin = 0;
  m_nCheckBoxSize = 16;
  m_logfont = LOGFONTW{};
  m_bRebuildToolTips = TRUE;
  m_hHotCheckItem = m_hHotLinkItem = m_hLastSelected = m_hEditItem = nullptr;
  LoadColors();

  if (m_bToolTips) {
    try {
      auto tip = std::make_unique<CPPToolTip>();
      if (tip->Create(m_hWnd)) m_pToolTip = std::move(tip);
    } catch (const std::exception&) {
      // Without its window class the tree simply shows no tips.
      m_pToolTip.reset();
    }
  }
  if (m_bCheckBoxes) BuildCheckboxImages();
  m_bSuspend = FALSE;
}

// ---------------------------------------------------------------------------------------------
// Records

XHTMLTREEDATA* CXHtmlTree::GetItemDataStruct(HTREEITEM hItem) const {
  if (!hItem || m_bSuspend) return nullptr;
  auto found = m_records.find(hItem);
  return found == m_records.end() ? nullptr : found->second.get();
}

BOOL CXHtmlTree::IsEnabled(HTREEITEM hItem) const {
  const XHTMLTREEDATA* data = GetItemDataStruct(hItem);
  return data ? data->bEnabled : TRUE;
}

BOOL CXHtmlTree::IsSeparator(HTREEITEM hItem) const {
  const XHTMLTREEDATA* data = GetItemDataStruct(hItem);
  return data ? data->bSeparator : FALSE;
}

void CXHtmlTree::DeleteRecords() {
  const BOOL suspended = m_bSuspend;
  m_bSuspend = TRUE;
  m_records.clear();
  m_hHotCheckItem = m_hHotLinkItem = m_hLastSelected = m_hEditItem = nullptr;
  m_bSuspend = suspended;
}

HTREEITEM CXHtmlTree::InsertItem(LPTVINSERTSTRUCTW lpInsertStruct, const XHTMLTREEDATA* pData) {
  if (!lpInsertStruct || !m_hWnd) return nullptr;
  auto data = std::make_unique<XHTMLTREEDATA>();
  if (pData) {
    data->bChecked = pData->bChecked;
    data->bEnabled = pData->bEnabled;
    data->bSeparator = pData->bSeparator;
    XHTMLDRAWPARAMS& to = data->ds;
    const XHTMLDRAWPARAMS& from = pData->ds;
    to.text_colour = from.text_colour;
    to.link_colour = from.link_colour;
    to.background_colour = from.background_colour;
    to.text_background_colour = from.text_background_colour;
    to.forced_colour = from.forced_colour;
    to.background_copy = from.background_copy;
    to.bold = from.bold;
    to.italic = from.italic;
    to.underline = from.underline;
    to.strike_out = from.strike_out;
    to.end_ellipsis = from.end_ellipsis;
    to.own_font = from.own_font;
    to.format = from.format;
    to.font = from.font;
    data->strHtmlText = pData->strHtmlText;
  }
  data->hTreeCtrl = m_hWnd;

  TVINSERTSTRUCTW insert = *lpInsertStruct;
  TVITEMW& item = insert.item;
  int image = (data->bChecked && m_bCheckBoxes) ? kChecked : kUnchecked;
  if (!data->bEnabled) image += kDisabledBit;
  // A separator is a line across the row: it shows no check box.
  if (data->bSeparator) image = 0;
  item.mask |= TVIF_STATE;
  item.stateMask |= TVIS_STATEIMAGEMASK;
  item.state = (item.state & ~TVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(image);
  // Without a picture list an item draws no picture; with one, the caller's pictures stand.
  if (!GetImageList(TVSIL_NORMAL)) {
    item.mask |= TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    item.iImage = item.iSelectedImage = kNoImage;
  }
  std::wstring plain;
  if (m_bStripHtml && (item.mask & TVIF_TEXT) && item.pszText && item.pszText != LPSTR_TEXTCALLBACKW &&
      wcslen(item.pszText) > 3) {
    plain = CXHtmlDraw::GetPlainText(std::wstring(item.pszText));
    item.pszText = &plain[0];
  }

  HTREEITEM hItem = CTreeCtrl::InsertItem(&insert);
  if (!hItem) return nullptr;
  const BOOL checked = data->bChecked;
  try {
    m_records[hItem] = std::move(data);
  } catch (const std::bad_alloc&) {
    CTreeCtrl::DeleteItem(hItem);
    return nullptr;
  }
  if (m_bSmartCheck) {
    for (HTREEITEM parent = GetParentItem(hItem); parent; parent = GetParentItem(parent)) {
      if (XHTMLTREEDATA* p = GetItemDataStruct(parent)) p->nChildren++;
    }
    AdjustAncestors(hItem, checked ? 1 : 0);
  }
  return hItem;
}

HTREEITEM CXHtmlTree::InsertItem(LPCTSTR lpszItem, HTREEITEM hParent, HTREEITEM hInsertAfter,
                                 const XHTMLTREEDATA* pData) {
  TVINSERTSTRUCTW insert{};
  insert.hParent = hParent;
  insert.hInsertAfter = hInsertAfter;
  insert.item.mask = TVIF_TEXT;
  insert.item.pszText = const_cast<LPWSTR>(lpszItem ? lpszItem : L"");
  return InsertItem(&insert, pData);
}

BOOL CXHtmlTree::DeleteAllItems() {
  if (!m_hWnd) return FALSE;
  if (HTREEITEM selected = GetSelectedItem()) CTreeCtrl::Select(selected, TVGN_CARET);
  for (HTREEITEM root = GetRootItem(); root; root = GetNextSiblingItem(root)) CollapseBranch(root);
  if (HTREEITEM root = GetRootItem()) CTreeCtrl::Select(root, TVGN_CARET);
  ScrollToLeft();
  UpdateWindow();
  const BOOL suspended = m_bSuspend;
  m_bSuspend = TRUE;
  const BOOL result = CTreeCtrl::DeleteAllItems();
  DeleteRecords();
  m_bSuspend = suspended;
  return result;
}

void CXHtmlTree::CollapseBranch(HTREEITEM hItem) {
  for (HTREEITEM child = GetChildItem(hItem); child; child = GetNextSiblingItem(child)) CollapseBranch(child);
  if (ItemHasChildren(hItem)) Expand(hItem, TVE_COLLAPSE);
}

// ---------------------------------------------------------------------------------------------
// Check boxes

void CXHtmlTree::RefreshStateImage(HTREEITEM hItem, XHTMLTREEDATA* pData) {
  if (!hItem || !pData) return;
  int base = pData->bChecked ? kChecked : kUnchecked;
  if (m_bSmartCheck && pData->nChildren > 0) {
    base = pData->nCheckedChildren == 0                  ? kUnchecked
           : pData->nCheckedChildren == pData->nChildren ? kChecked
                                                         : kTriState;
  }
  if (pData->bSeparator) return;
  const int hot = GetStateImage(hItem) & kHotBit;
  const int image = base + (pData->bEnabled ? 0 : kDisabledBit) + hot;
  SetItemState(hItem, INDEXTOSTATEIMAGEMASK(image), TVIS_STATEIMAGEMASK);
}

void CXHtmlTree::SetHotBit(HTREEITEM hItem, bool hot) {
  if (!hItem) return;
  const int image = GetStateImage(hItem);
  if (image == 0) return;
  const int changed = hot ? (image | kHotBit) : (image & ~kHotBit);
  if (changed != image) SetItemState(hItem, INDEXTOSTATEIMAGEMASK(changed), TVIS_STATEIMAGEMASK);
}

BOOL CXHtmlTree::GetCheck(HTREEITEM hItem) const {
  if (!m_bCheckBoxes) return FALSE;
  const XHTMLTREEDATA* data = GetItemDataStruct(hItem);
  if (!data) return FALSE;
  if (!m_bSmartCheck || data->nChildren == 0) return data->bChecked;
  return data->nCheckedChildren != 0 && data->nCheckedChildren == data->nChildren;
}

void CXHtmlTree::SetCheck(HTREEITEM hItem, BOOL bChecked) {
  if (!hItem || !m_bCheckBoxes || m_bSuspend) return;
  XHTMLTREEDATA* data = GetItemDataStruct(hItem);
  if (!data || !data->bEnabled || data->bSeparator) return;
  const BOOL checked = bChecked ? TRUE : FALSE;
  const BOOL old = data->bChecked;
  data->bChecked = checked;
  RefreshStateImage(hItem, data);
  if (m_bSmartCheck && old != checked) {
    const int delta = checked ? data->nChildren - data->nCheckedChildren + 1 : -(data->nCheckedChildren + 1);
    SetDescendants(hItem, checked);
    AdjustAncestors(hItem, delta);
  }
  SendRegisteredMessage(WM_XHTMLTREE_CHECKBOX_CLICKED, hItem, checked);
}

void CXHtmlTree::SetDescendants(HTREEITEM hItem, BOOL bChecked) {
  if (XHTMLTREEDATA* data = GetItemDataStruct(hItem); data && data->bEnabled && !data->bSeparator) {
    data->bChecked = bChecked;
    data->nCheckedChildren = bChecked ? std::max(0, data->nChildren) : 0;
    RefreshStateImage(hItem, data);
  }
  for (HTREEITEM child = GetChildItem(hItem); child; child = GetNextSiblingItem(child)) SetDescendants(child, bChecked);
}

void CXHtmlTree::AdjustAncestors(HTREEITEM hItem, int nDelta) {
  for (HTREEITEM parent = GetParentItem(hItem); parent; parent = GetParentItem(parent)) {
    XHTMLTREEDATA* data = GetItemDataStruct(parent);
    if (!data) continue;
    data->nCheckedChildren = std::max(0, data->nCheckedChildren + nDelta);
    const BOOL old = data->bChecked;
    data->bChecked = data->nCheckedChildren == data->nChildren;
    RefreshStateImage(parent, data);
    if (old != data->bChecked) nDelta += data->bChecked ? 1 : -1;
  }
}

HTREEITEM CXHtmlTree::GetFirstCheckedItem() const {
  if (!m_bCheckBoxes) return nullptr;
  for (HTREEITEM item = GetRootItem(); item; item = GetNextTreeItem(item))
    if (GetCheck(item)) return item;
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Navigation and search

HTREEITEM CXHtmlTree::GetNextTreeItem(HTREEITEM hItem) const {
  if (!hItem) return nullptr;
  if (HTREEITEM child = GetChildItem(hItem)) return child;
  for (HTREEITEM item = hItem; item; item = GetParentItem(item))
    if (HTREEITEM next = GetNextSiblingItem(item)) return next;
  return nullptr;
}

namespace {
HTREEITEM LastDescendant(const CTreeCtrl& tree, HTREEITEM item) {
  for (;;) {
    HTREEITEM child = tree.GetChildItem(item);
    if (!child) return item;
    for (HTREEITEM next; (next = tree.GetNextSiblingItem(child)) != nullptr;) child = next;
    item = child;
  }
}
}  // namespace

HTREEITEM CXHtmlTree::GetPrevTreeItem(HTREEITEM hItem) const {
  if (!hItem) return nullptr;
  if (HTREEITEM prev = GetPrevSiblingItem(hItem)) return LastDescendant(*this, prev);
  return GetParentItem(hItem);
}

HTREEITEM CXHtmlTree::GetLastTreeItem() const {
  HTREEITEM root = GetRootItem();
  if (!root) return nullptr;
  for (HTREEITEM next; (next = GetNextSiblingItem(root)) != nullptr;) root = next;
  return LastDescendant(*this, root);
}

BOOL CXHtmlTree::AcceptFoundItem(HTREEITEM) { return TRUE; }

HTREEITEM CXHtmlTree::FindItem(const CString& strFind, BOOL bMatchCase, BOOL bDown, BOOL bWholeWord, BOOL bWrap,
                               HTREEITEM hStart) {
  if (strFind.IsEmpty() || !m_hWnd) return nullptr;
  const HTREEITEM start = hStart ? hStart : GetSelectedItem();
  auto step = [&](HTREEITEM item) { return bDown ? GetNextTreeItem(item) : GetPrevTreeItem(item); };
  auto wrapped = [&]() { return bDown ? GetRootItem() : GetLastTreeItem(); };

  HTREEITEM first = start ? step(start) : nullptr;
  if (!first) first = wrapped();
  std::wstring needle(static_cast<LPCTSTR>(strFind));
  if (!bMatchCase) LowerInPlace(needle);

  // Every item is looked at once at most: the search ends at the start item, or, without one,
  // where it began; a start handle that is no longer in the tree cannot make it run for ever.
  const UINT limit = GetCount() + 1;
  HTREEITEM item = first;
  for (UINT visited = 0; item && visited < limit; ++visited) {
    if (start && item == start) break;
    std::wstring label = PlainOf(CTreeCtrl::GetItemText(item), kPlainSearchSize);
    if (!bMatchCase) LowerInPlace(label);
    if (FindWord(label, needle, bWholeWord != FALSE) != std::wstring::npos && AcceptFoundItem(item)) return item;
    HTREEITEM next = step(item);
    if (!next) {
      if (!bWrap) break;
      next = wrapped();
    }
    if (!start && next == first) break;
    item = next;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Tooltip texts and labels

void CXHtmlTree::SetItemToolTipText(HTREEITEM hItem, LPCTSTR lpszText) {
  XHTMLTREEDATA* data = GetItemDataStruct(hItem);
  if (!data || !lpszText) return;
  data->strToolTip = lpszText;
  data->nToolTipWidth = kToolTipWidthOnText;
}

CString CXHtmlTree::GetItemToolTipText(HTREEITEM hItem, BOOL bStrip) const {
  const XHTMLTREEDATA* data = GetItemDataStruct(hItem);
  if (!data) return CString();
  if (bStrip && data->strToolTip.size() > 3) return CString(CXHtmlDraw::GetPlainText(data->strToolTip).c_str());
  return CString(data->strToolTip.c_str());
}

CString CXHtmlTree::GetItemText(HTREEITEM hItem, BOOL bStrip) const {
  CString text = CTreeCtrl::GetItemText(hItem);
  if (bStrip && text.GetLength() > 3)
    return CString(CXHtmlDraw::GetPlainText(std::wstring(static_cast<LPCTSTR>(text))).c_str());
  return text;
}

// ---------------------------------------------------------------------------------------------
// Expanding and selecting

LRESULT CXHtmlTree::SendRegisteredMessage(UINT message, HTREEITEM hItem, LPARAM lParam) {
  if (!m_hWnd || message == 0) return 0;
  HWND target = ::GetParent(m_hWnd);
  if (!target) target = ::GetWindow(m_hWnd, GW_OWNER);
  if (!target || !::IsWindow(target)) return 0;
  XHTMLTREEMSGDATA data{m_hWnd, static_cast<UINT>(::GetDlgCtrlID(m_hWnd)), hItem};
  return ::SendMessageW(target, message, reinterpret_cast<WPARAM>(&data), lParam);
}

BOOL CXHtmlTree::Expand(HTREEITEM hItem, UINT nCode) {
  XHTMLTREEDATA* data = GetItemDataStruct(hItem);
  if (data && data->bEnabled && ItemHasChildren(hItem)) {
    BOOL expanded = data->bExpanded;
    switch (nCode & 0xF) {
      case TVE_COLLAPSE:
        expanded = FALSE;
        break;
      case TVE_EXPAND:
        expanded = TRUE;
        break;
      case TVE_TOGGLE:
        expanded = !expanded;
        break;
      default:
        break;
    }
    if (expanded) data->bHasBeenExpanded = TRUE;
    if (expanded != data->bExpanded) {
      data->bExpanded = expanded;
      SendRegisteredMessage(WM_XHTMLTREE_ITEM_EXPANDED, hItem, expanded);
    }
  }
  return CTreeCtrl::Expand(hItem, nCode);
}

void CXHtmlTree::ExpandBranch(HTREEITEM hItem) {
  if (ItemHasChildren(hItem)) {
    if (XHTMLTREEDATA* data = GetItemDataStruct(hItem); data && data->bEnabled) {
      const BOOL was = data->bExpanded;
      data->bExpanded = TRUE;
      data->bHasBeenExpanded = TRUE;
      if (!was) SendRegisteredMessage(WM_XHTMLTREE_ITEM_EXPANDED, hItem, TRUE);
    }
    CTreeCtrl::Expand(hItem, TVE_EXPAND);
  }
  for (HTREEITEM child = GetChildItem(hItem); child; child = GetNextSiblingItem(child)) ExpandBranch(child);
}

void CXHtmlTree::ExpandAll() {
  if (!m_hWnd) return;
  HTREEITEM keep = GetSelectedItem();
  if (!keep) keep = GetRootItem();
  if (!keep) return;
  SetRedraw(FALSE);
  for (HTREEITEM root = GetRootItem(); root; root = GetNextSiblingItem(root)) ExpandBranch(root);
  SelectItem(keep);
  SendMessage(WM_VSCROLL, SB_TOP);
  EnsureVisible(keep);
  ScrollToLeft();
  SetRedraw(TRUE);
  Invalidate();
}

BOOL CXHtmlTree::SelectItem(HTREEITEM hItem) {
  if (!m_hWnd) return FALSE;
  HTREEITEM selected = GetSelectedItem();
  if (hItem == selected) return TRUE;
  const XHTMLTREEDATA* data = GetItemDataStruct(hItem);
  if (data && data->bEnabled) {
    HWND target = ::GetParent(m_hWnd);
    if (!target) target = ::GetWindow(m_hWnd, GW_OWNER);
    if (target && ::IsWindow(target)) {
      NMTREEVIEWW nm{};
      nm.hdr.hwndFrom = m_hWnd;
      nm.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(m_hWnd));
      nm.hdr.code = TVN_SELCHANGEDW;
      nm.action = TVC_UNKNOWN;
      nm.itemOld.hItem = selected;
      nm.itemNew.hItem = hItem;
      ::SendMessageW(target, WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm));
    }
    const int position = ::GetScrollPos(m_hWnd, SB_HORZ);
    const BOOL done = CTreeCtrl::Select(hItem, TVGN_CARET);
    if (position == 0) ScrollToLeft();
    return done;
  }
  return selected ? CTreeCtrl::Select(selected, TVGN_CARET) : TRUE;
}

void CXHtmlTree::ScrollToLeft() {
  if (::GetScrollPos(m_hWnd, SB_HORZ) == 0) return;
  SendMessage(WM_HSCROLL, SB_LEFT);
  // Not every tree control knows SB_LEFT; every one knows a thumb position.
  if (::GetScrollPos(m_hWnd, SB_HORZ) != 0) SendMessage(WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 0));
}

// ---------------------------------------------------------------------------------------------
// Messages

LRESULT CXHtmlTree::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return CTreeCtrl::WindowProc(message, wParam, lParam);
}

void CXHtmlTree::OnDestroy() {
  if (m_hWnd) {
    ::KillTimer(m_hWnd, kHotTimer);
    ::KillTimer(m_hWnd, kLabelEditTimer);
  }
  DeleteRecords();
  m_pToolTip.reset();
  CTreeCtrl::OnDestroy();
}

BOOL CXHtmlTree::OnEraseBkgnd(CDC* pDC) {
  if (!pDC) return FALSE;
  RECT client;
  GetClientRect(&client);
  FillSolid(pDC->m_hDC, client, m_crWindow);
  return TRUE;
}

void CXHtmlTree::OnSysColorChange() {
  CTreeCtrl::OnSysColorChange();
  LoadColors();
}

void CXHtmlTree::OnSize(UINT nType, int cx, int cy) {
  CTreeCtrl::OnSize(nType, cx, cy);
  m_bRebuildToolTips = TRUE;
}

BOOL CXHtmlTree::OnCommand(WPARAM wParam, LPARAM lParam) {
  const UINT code = HIWORD(wParam);
  HWND edit = GetEditControl();
  if (edit && reinterpret_cast<HWND>(lParam) == edit && (code == EN_SETFOCUS || code == EN_CHANGE)) {
    RECT rect;
    if (GetItemTextRect(GetSelectedItem(), rect)) {
      RECT client;
      GetClientRect(&client);
      ::InflateRect(&rect, 1, 1);
      ::OffsetRect(&rect, -1, -1);
      rect.left = std::max<LONG>(rect.left, 0);
      rect.right = client.right - 1;
      ::MoveWindow(edit, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
    }
  }
  return CTreeCtrl::OnCommand(wParam, lParam);
}

BOOL CXHtmlTree::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  auto* header = reinterpret_cast<NMHDR*>(lParam);
  if (header && m_pToolTip && header->hwndFrom == m_pToolTip->GetSafeHwnd() &&
      header->code == CPPToolTip::kTextRequest) {
    OnToolTipText(header);
    if (pResult) *pResult = 0;
    return TRUE;
  }
  return CTreeCtrl::OnNotify(wParam, lParam, pResult);
}

// ---------------------------------------------------------------------------------------------
// Drawing

BOOL CXHtmlTree::GetItemTextRect(HTREEITEM hItem, RECT& rect) const {
  if (!hItem || !GetItemRect(hItem, &rect, TRUE)) return FALSE;
  int image = 0, selected = 0;
  if (GetItemImage(hItem, image, selected) && image == kNoImage) {
    int cx = 0, cy = 0;
    if (HIMAGELIST list = GetImageList(TVSIL_NORMAL); list && ImageList_GetIconSize(list, &cx, &cy)) rect.left -= cx;
  }
  if (const XHTMLTREEDATA* data = GetItemDataStruct(hItem); data && data->ds.right_x > rect.left)
    rect.right = data->ds.right_x;
  return TRUE;
}

void CXHtmlTree::OnCustomDraw(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* draw = reinterpret_cast<NMTVCUSTOMDRAW*>(pNMHDR);
  *pResult = CDRF_DODEFAULT;
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      *pResult = CDRF_NOTIFYITEMDRAW;
      break;
    case CDDS_ITEMPREPAINT:
      // The control's own label is drawn invisibly; the tree draws it at post-paint.
      draw->clrText = draw->clrTextBk;
      if (!::IsRectEmpty(&draw->nmcd.rc)) FillSolid(draw->nmcd.hdc, draw->nmcd.rc, m_crWindow);
      *pResult = CDRF_NOTIFYPOSTPAINT | CDRF_NEWFONT;
      break;
    case CDDS_ITEMPOSTPAINT:
      if (m_bRebuildToolTips) {
        if (m_bToolTips) RebuildToolTipRows();
        m_bRebuildToolTips = FALSE;
      }
      DrawItemText(draw->nmcd.hdc, reinterpret_cast<HTREEITEM>(draw->nmcd.dwItemSpec), draw->nmcd.uItemState);
      break;
    default:
      break;
  }
}

void CXHtmlTree::DrawItemText(HDC hdc, HTREEITEM hItem, UINT) {
  if (!hdc || !hItem) return;
  RECT rect;
  if (!GetItemRect(hItem, &rect, TRUE)) return;
  int image = 0, selectedImage = 0;
  if (GetItemImage(hItem, image, selectedImage) && image == kNoImage) {
    int cx = 0, cy = 0;
    if (HIMAGELIST list = GetImageList(TVSIL_NORMAL); list && ImageList_GetIconSize(list, &cx, &cy)) rect.left -= cx;
  }
  RECT client;
  GetClientRect(&client);
  rect.right = client.right;
  if (rect.right <= rect.left) return;

  SavedDC saved(hdc);
  // Post-paint comes after the control has put its own font back, so the DC holds the system
  // font: the labels get the control's font, the one it measured them with.
  if (HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessage(WM_GETFONT))) ::SelectObject(hdc, font);
  XHTMLTREEDATA* data = GetItemDataStruct(hItem);
  const bool highlighted = GetSelectedItem() == hItem || (GetItemState(hItem, TVIS_DROPHILITED) & TVIS_DROPHILITED);
  COLORREF text = m_crWindowText, link = m_crAnchorText, back = m_crWindow, textBack = m_crWindow;
  if (data) {
    text = data->ds.text_colour;
    back = data->ds.background_colour;
    textBack = data->ds.text_background_colour;
    if (highlighted) textBack = m_crHighlight;
    data->ds.forced_colour = 0;
    if (!data->bEnabled) {
      text = link = m_crGrayText;
      data->ds.forced_colour = 1;
    } else if (highlighted) {
      text = link = m_crHighlightText;
      data->ds.forced_colour = 1;
    }
  }
  if (back == CLR_INVALID) back = m_crWindow;

  if (data && data->bSeparator) {
    if (text == CLR_INVALID) text = m_crSeparator;
    if (highlighted) back = m_crHighlight;
    FillSolid(hdc, rect, back);
    htmlctrl::Pen pen(::CreatePen(PS_SOLID, 1, text));
    if (!pen) return;
    htmlctrl::Selection selected(hdc, pen.get());
    const int y = rect.top + (rect.bottom - rect.top) / 2;
    ::MoveToEx(hdc, rect.left - 2, y, nullptr);
    ::LineTo(hdc, rect.right - 1, y);
    return;
  }
  if (text == CLR_INVALID) text = m_crWindowText;
  // The text keeps the small gap after the check box that the control's own labels have.
  RECT textRect = rect;
  textRect.left += kLabelInset;

  const CString label = CTreeCtrl::GetItemText(hItem);
  std::wstring shown = data && !data->strHtmlText.IsEmpty() ? std::wstring(static_cast<LPCTSTR>(data->strHtmlText))
                                                            : std::wstring(static_cast<LPCTSTR>(label));
  const bool markup = HasMarkup(shown.c_str());
  if (m_bStripHtml && markup) shown = CXHtmlDraw::GetPlainText(std::wstring(static_cast<LPCTSTR>(label)));

  if (m_bHtml && markup && data) {
    XHTMLDRAWPARAMS& ds = data->ds;
    const COLORREF keep[4] = {ds.text_colour, ds.link_colour, ds.background_colour, ds.text_background_colour};
    ds.text_colour = text;
    ds.link_colour = link;
    ds.background_colour = back;
    ds.text_background_colour = textBack;
    ds.rect = textRect;
    ds.end_ellipsis = 0;
    if (m_bOwnFont) {
      ds.own_font = 1;
      ds.font = m_logfont;
    }
    m_Draw.Draw(hdc, shown.c_str(), &ds, hItem == m_hHotLinkItem);
    ds.text_colour = keep[0];
    ds.link_colour = keep[1];
    ds.background_colour = keep[2];
    ds.text_background_colour = keep[3];
    return;
  }

  FillSolid(hdc, rect, back);
  if (shown.empty()) return;
  LOGFONTW font{};
  HGDIOBJ current = ::GetCurrentObject(hdc, OBJ_FONT);
  if (!current || !::GetObjectW(current, sizeof font, &font))
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  if (data) {
    font.lfWeight = data->ds.bold ? FW_BOLD : FW_NORMAL;
    font.lfItalic = static_cast<BYTE>(data->ds.italic != 0);
    font.lfUnderline = static_cast<BYTE>(data->ds.underline != 0);
    font.lfStrikeOut = static_cast<BYTE>(data->ds.strike_out != 0);
  }
  htmlctrl::Font made(::CreateFontIndirectW(&font));
  htmlctrl::Selection selected(hdc, made.get());
  ::SetTextColor(hdc, text);
  ::SetBkColor(hdc, textBack == CLR_INVALID ? back : textBack);
  ::SetBkMode(hdc, OPAQUE);
  RECT measured = textRect;
  ::DrawTextW(hdc, shown.c_str(), static_cast<int>(shown.size()), &measured,
              DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER);
  measured.top = rect.top;
  measured.bottom = rect.bottom;
  ::DrawTextW(hdc, shown.c_str(), static_cast<int>(shown.size()), &measured, DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER);
  if (data) data->ds.right_x = measured.right + m_nTextMargin;
}

// ---------------------------------------------------------------------------------------------
// Tooltips

int CXHtmlTree::ComputedToolTipWidth() const {
  if (m_nToolTipWidth) return m_nToolTipWidth;
  RECT rect{};
  GetWindowRect(&rect);
  const int width = (rect.right - rect.left) * 3 / 4;
  if (width >= 200) return width;
  HWND other = ::GetParent(m_hWnd);
  if (!other) other = ::GetWindow(m_hWnd, GW_OWNER);
  if (other && ::GetWindowRect(other, &rect)) return (rect.right - rect.left) / 2;
  return 200;
}

void CXHtmlTree::RebuildToolTipRows() {
  if (!m_pToolTip || !m_pToolTip->GetSafeHwnd()) return;
  m_pToolTip->SetNotify(m_hWnd);
  m_pToolTip->SetMaxTipWidth(ComputedToolTipWidth());
  for (int row = 0; row < m_nRowTools; ++row) m_pToolTip->RemoveTool(m_hWnd, kFirstRowTool + row);
  m_nRowTools = 0;
  int height = GetItemHeight();
  if (HTREEITEM first = GetFirstVisibleItem()) {
    RECT row;
    if (GetItemRect(first, &row, FALSE)) height = row.bottom - row.top;
  }
  if (height <= 0) height = 16;
  RECT client;
  GetClientRect(&client);
  const int rows = static_cast<int>(GetVisibleCount());
  for (int row = 0; row < rows; ++row) {
    CPPToolTip::Tool tool;
    tool.id = kFirstRowTool + row;
    tool.rect = RECT{client.left, row * height, client.right, row * height + height - 1};
    tool.mask = CPPToolTip::kMaskBehaviour;
    tool.behaviour = CPPToolTip::kMultipleShow;
    m_pToolTip->AddTool(m_hWnd, tool);
  }
  m_nRowTools = rows;
  SendRegisteredMessage(WM_XHTMLTREE_INIT_TOOLTIP, nullptr, reinterpret_cast<LPARAM>(m_pToolTip.get()));
}

void CXHtmlTree::OnToolTipText(NMHDR* pHeader) {
  auto* request = reinterpret_cast<NM_PPTOOLTIP_DISPLAY*>(pHeader);
  if (!request->tool) return;
  std::wstring& text = request->tool->text;
  text.clear();
  POINT point{};
  if (request->point) {
    point = *request->point;
  } else {
    const DWORD position = ::GetMessagePos();
    point = POINT{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
  }
  ScreenToClient(&point);
  UINT flags = 0;
  HTREEITEM hItem = HitTest(CPoint(point.x, point.y), &flags);
  if (!hItem || !(flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON))) return;
  XHTMLTREEDATA* data = GetItemDataStruct(hItem);
  if (!data || data->bSeparator) return;
  std::wstring tip = data->strToolTip;
  if (tip.empty()) {
    RECT label, client;
    GetClientRect(&client);
    if (!GetItemTextRect(hItem, label) || label.right <= client.right - 3) return;
  }
  if (SendRegisteredMessage(WM_XHTMLTREE_DISPLAY_TOOLTIP, hItem, reinterpret_cast<LPARAM>(m_pToolTip.get()))) return;
  if (tip.empty()) tip = CXHtmlDraw::GetPlainText(std::wstring(static_cast<LPCTSTR>(CTreeCtrl::GetItemText(hItem))));
  m_pToolTip->SetMaxTipWidth(data->nToolTipWidth ? data->nToolTipWidth : ComputedToolTipWidth());
  text = tip;
}

// ---------------------------------------------------------------------------------------------
// Mouse

BOOL CXHtmlTree::IsOnLink(HTREEITEM hItem, CPoint point) const {
  const XHTMLTREEDATA* data = GetItemDataStruct(hItem);
  if (!data || !data->bEnabled || !data->ds.link_drawn) return FALSE;
  RECT text;
  if (!GetItemTextRect(hItem, text) || !::PtInRect(&text, point)) return FALSE;
  return point.x >= data->ds.link_rect.left && point.x <= data->ds.link_rect.right;
}

void CXHtmlTree::OnMouseMove(UINT nFlags, CPoint point) {
  UINT flags = 0;
  HTREEITEM hItem = HitTest(point, &flags);
  if (!hItem) {
    CTreeCtrl::OnMouseMove(nFlags, point);
    return;
  }
  const bool onState = (flags & TVHT_ONITEMSTATEICON) != 0;
  if (m_hHotCheckItem && (hItem != m_hHotCheckItem || !onState)) {
    SetHotBit(m_hHotCheckItem, false);
    m_hHotCheckItem = nullptr;
  }
  if (!m_hHotCheckItem && onState && IsEnabled(hItem)) {
    SetHotBit(hItem, true);
    m_hHotCheckItem = hItem;
    SetTimer(kHotTimer, 100, nullptr);
  }
  const BOOL onLink = IsOnLink(hItem, point);
  if (onLink) ::SetCursor(m_Links.GetHandCursor());
  if (m_hHotLinkItem) {
    if (hItem != m_hHotLinkItem || !onLink) {
      RECT row;
      if (GetItemRect(m_hHotLinkItem, &row, FALSE)) InvalidateRect(&row, FALSE);
      m_hHotLinkItem = nullptr;
    }
    CTreeCtrl::OnMouseMove(nFlags, point);
    return;
  }
  if (onLink) {
    m_hHotLinkItem = hItem;
    RECT row;
    if (GetItemRect(hItem, &row, FALSE)) InvalidateRect(&row, FALSE);
    SetTimer(kHotTimer, 80, nullptr);
  }
  CTreeCtrl::OnMouseMove(nFlags, point);
}

void CXHtmlTree::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == kHotTimer) {
    POINT cursor;
    ::GetCursorPos(&cursor);
    ScreenToClient(&cursor);
    RECT client;
    GetClientRect(&client);
    if (!::PtInRect(&client, cursor)) {
      KillTimer(kHotTimer);
      if (m_hHotCheckItem) SetHotBit(m_hHotCheckItem, false);
      m_hHotCheckItem = nullptr;
      if (m_hHotLinkItem) {
        RECT row;
        if (GetItemRect(m_hHotLinkItem, &row, FALSE)) InvalidateRect(&row, TRUE);
      }
      m_hHotLinkItem = nullptr;
    }
  } else if (nIDEvent == kLabelEditTimer) {
    const int button = ::GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    if (!(::GetAsyncKeyState(button) & 0x8000)) {
      KillTimer(kLabelEditTimer);
      POINT cursor;
      ::GetCursorPos(&cursor);
      ScreenToClient(&cursor);
      HTREEITEM hItem = HitTest(CPoint(cursor.x, cursor.y));
      if (hItem && hItem == GetSelectedItem() && !IsSeparator(hItem)) {
        RECT text;
        // Only a tree made for label editing opens the editor.
        if ((GetStyle() & TVS_EDITLABELS) && GetItemTextRect(hItem, text) && ::PtInRect(&text, cursor)) {
          SendMessage(TVM_EDITLABELW, 0, reinterpret_cast<LPARAM>(hItem));
        } else if (HWND edit = GetEditControl()) {
          ::SendMessageW(edit, WM_CLOSE, 0, 0);
        }
      }
    }
  }
  CTreeCtrl::OnTimer(nIDEvent);
}

void CXHtmlTree::OnLButtonDown(UINT nFlags, CPoint point) {
  UINT flags = 0;
  HTREEITEM hItem = HitTest(point, &flags);
  if (hItem && (flags & TVHT_ONITEMBUTTON)) {
    if (HWND edit = GetEditControl()) ::SendMessageW(edit, WM_CLOSE, 0, 0);
    XHTMLTREEDATA* data = GetItemDataStruct(hItem);
    if (data && !data->bEnabled) return;
    if (data && ItemHasChildren(hItem)) {
      Expand(hItem, data->bExpanded ? TVE_COLLAPSE : TVE_EXPAND);
      return;
    }
    CTreeCtrl::OnLButtonDown(nFlags, point);
    return;
  }
  if (hItem && !(flags & TVHT_ONITEMSTATEICON)) {
    const bool separator = IsSeparator(hItem) != FALSE;
    if (separator && hItem != GetSelectedItem()) {
      SelectItem(hItem);
    } else if (!separator && hItem != GetSelectedItem()) {
      CTreeCtrl::OnLButtonDown(nFlags, point);
      return;
    }
    // The click is not passed on, so the tree takes the focus itself.
    if (::GetFocus() != m_hWnd) SetFocus();
    m_hEditItem = hItem;
    SetTimer(kLabelEditTimer, 100, nullptr);
    return;
  }
  CTreeCtrl::OnLButtonDown(nFlags, point);
}

BOOL CXHtmlTree::OnClick(NMHDR*, LRESULT* pResult) {
  *pResult = 0;
  const DWORD position = ::GetMessagePos();
  POINT point{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
  ScreenToClient(&point);
  UINT flags = 0;
  HTREEITEM hItem = HitTest(CPoint(point.x, point.y), &flags);
  if (!hItem) return FALSE;
  XHTMLTREEDATA* data = GetItemDataStruct(hItem);
  if (data && data->bSeparator) return TRUE;
  const bool disabled = data && !data->bEnabled;
  if (flags & TVHT_ONITEMSTATEICON) {
    if (disabled || m_bReadOnly) return TRUE;
    SetCheck(hItem, !GetCheck(hItem));
    if (m_bSelectOnCheck) SelectItem(hItem);
    SetHotBit(hItem, true);
    m_hHotCheckItem = hItem;
    return FALSE;
  }
  if (data && data->ds.link_drawn) {
    if (disabled) return TRUE;
    if (IsOnLink(hItem, CPoint(point.x, point.y))) {
      const std::wstring target = data->ds.link_target;
      m_Links.GotoURL(target.c_str(), reinterpret_cast<LPARAM>(hItem));
    }
    return FALSE;
  }
  return disabled ? TRUE : FALSE;
}

BOOL CXHtmlTree::OnDblClick(NMHDR*, LRESULT* pResult) {
  *pResult = 0;
  const DWORD position = ::GetMessagePos();
  POINT point{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
  ScreenToClient(&point);
  UINT flags = 0;
  HTREEITEM hItem = HitTest(CPoint(point.x, point.y), &flags);
  if (!hItem || !(flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMBUTTON | TVHT_ONITEMSTATEICON)))
    return FALSE;
  XHTMLTREEDATA* data = GetItemDataStruct(hItem);
  if (!data) return FALSE;
  if (!data->bEnabled) {
    *pResult = 1;
    return FALSE;
  }
  if (ItemHasChildren(hItem)) {
    data->bHasBeenExpanded = TRUE;
    data->bExpanded = !data->bExpanded;
    SendRegisteredMessage(WM_XHTMLTREE_ITEM_EXPANDED, hItem, data->bExpanded);
  }
  return FALSE;
}

BOOL CXHtmlTree::OnSelChanging(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* nm = reinterpret_cast<NMTREEVIEWW*>(pNMHDR);
  *pResult = 0;
  if (!IsEnabled(nm->itemNew.hItem)) {
    *pResult = TRUE;
    return TRUE;
  }
  m_nHorzPosAtSelect = ::GetScrollPos(m_hWnd, SB_HORZ);
  return FALSE;
}

BOOL CXHtmlTree::OnSelChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* nm = reinterpret_cast<NMTREEVIEWW*>(pNMHDR);
  *pResult = 0;
  HTREEITEM hItem = nm->itemNew.hItem;
  // The control measures a label by its markup, which is wider than the text drawn: a tree
  // shown from its left edge stays there when the selection moves.
  // The control scrolls after this notification: the way back is posted.
  if (m_nHorzPosAtSelect == 0) PostMessage(WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 0));
  if (hItem && !IsEnabled(hItem)) {
    if (nm->itemOld.hItem) SelectItem(nm->itemOld.hItem);
    return TRUE;
  }
  if (hItem == m_hLastSelected) return TRUE;
  m_hLastSelected = hItem;
  return FALSE;
}

BOOL CXHtmlTree::OnBeginLabelEdit(NMHDR*, LRESULT* pResult) {
  *pResult = 0;
  const DWORD position = ::GetMessagePos();
  POINT point{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
  ScreenToClient(&point);
  HTREEITEM hItem = HitTest(CPoint(point.x, point.y));
  if (m_bReadOnly || (hItem && IsSeparator(hItem))) {
    *pResult = TRUE;
    return TRUE;
  }
  m_nHorzPosAtEdit = ::GetScrollPos(m_hWnd, SB_HORZ);
  return FALSE;
}

BOOL CXHtmlTree::OnEndLabelEdit(NMHDR*, LRESULT* pResult) {
  *pResult = 0;
  if (m_nHorzPosAtEdit == 0) ScrollToLeft();
  return FALSE;
}

// ---------------------------------------------------------------------------------------------
// Keys

BOOL CXHtmlTree::PreTranslateMessage(MSG* pMsg) {
  if (!pMsg || !m_hWnd) return FALSE;
  if (GetEditControl()) {
    // The label editor gets its keys at once; Control is "down" only by its down bit, so a
    // toggled key state does not swallow every message.
    if (pMsg->message == WM_KEYDOWN || pMsg->message == WM_CHAR || (::GetKeyState(VK_CONTROL) & 0x8000)) {
      ::TranslateMessage(pMsg);
      ::DispatchMessageW(pMsg);
      return TRUE;
    }
  }
  if (m_pToolTip) m_pToolTip->RelayEvent(*pMsg);
  if (pMsg->hwnd != m_hWnd) return CTreeCtrl::PreTranslateMessage(pMsg);

  HTREEITEM selected = GetSelectedItem();
  if (pMsg->message == WM_CHAR && pMsg->wParam == VK_SPACE && m_bCheckBoxes && !m_bReadOnly) {
    if (selected && !IsSeparator(selected) && GetItemDataStruct(selected)) SetCheck(selected, !GetCheck(selected));
    return TRUE;
  }
  if (pMsg->message == WM_KEYDOWN) {
    switch (pMsg->wParam) {
      case VK_RIGHT:
      case VK_LEFT: {
        XHTMLTREEDATA* data = GetItemDataStruct(selected);
        if (data && data->bEnabled && data->nChildren != 0) {
          const BOOL wanted = pMsg->wParam == VK_RIGHT;
          if (wanted != data->bExpanded) {
            Expand(selected, wanted ? TVE_EXPAND : TVE_COLLAPSE);
            return TRUE;
          }
        }
        break;
      }
      case VK_DOWN:
      case VK_UP: {
        if (!selected) break;
        const UINT code = pMsg->wParam == VK_DOWN ? TVGN_NEXTVISIBLE : TVGN_PREVIOUSVISIBLE;
        for (HTREEITEM item = GetNextItem(selected, code); item; item = GetNextItem(item, code)) {
          const XHTMLTREEDATA* data = GetItemDataStruct(item);
          if (data && data->bEnabled) {
            SelectItem(item);
            return TRUE;
          }
        }
        break;
      }
      case VK_MULTIPLY:
        if (selected) {
          ExpandBranch(selected);
          EnsureVisible(selected);
          return TRUE;
        }
        break;
      case VK_ADD:
      case VK_SUBTRACT:
        if (selected) {
          Expand(selected, pMsg->wParam == VK_ADD ? TVE_EXPAND : TVE_COLLAPSE);
          return TRUE;
        }
        break;
      default:
        break;
    }
  }
  return CTreeCtrl::PreTranslateMessage(pMsg);
}

// Common controls of the layer.
#include "afxcmn.h"

IMPLEMENT_DYNAMIC(CProgressCtrl, CWnd)
IMPLEMENT_DYNAMIC(CSliderCtrl, CWnd)
IMPLEMENT_DYNAMIC(CImageList, CObject)
IMPLEMENT_DYNAMIC(CToolTipCtrl, CWnd)
IMPLEMENT_DYNAMIC(CTreeCtrl, CWnd)

BOOL CProgressCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create(PROGRESS_CLASSW, nullptr, dwStyle, rect, pParentWnd, nID);
}

void CProgressCtrl::GetRange(int& nLower, int& nUpper) const {
  PBRANGE range{};
  SendMessage(PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  nLower = range.iLow;
  nUpper = range.iHigh;
}

// ---------------------------------------------------------------------------------------------
BOOL CImageList::Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow) {
  DeleteImageList();
  m_hImageList = ImageList_Create(cx, cy, nFlags, nInitial, nGrow);
  return m_hImageList != nullptr;
}

BOOL CImageList::Attach(HIMAGELIST hImageList) {
  if (!hImageList) return FALSE;
  DeleteImageList();
  m_hImageList = hImageList;
  return TRUE;
}

BOOL CImageList::DeleteImageList() {
  if (!m_hImageList) return FALSE;
  BOOL ok = ImageList_Destroy(m_hImageList);
  m_hImageList = nullptr;
  return ok;
}

int CImageList::Add(HBITMAP hbmImage, COLORREF crMask) {
  if (!m_hImageList || !hbmImage) return -1;
  return ImageList_AddMasked(m_hImageList, hbmImage, crMask);
}

// ---------------------------------------------------------------------------------------------
BOOL CToolTipCtrl::Create(CWnd* pParentWnd, DWORD dwStyle) {
  return CWnd::CreateEx(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | dwStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, pParentWnd ? pParentWnd->m_hWnd : nullptr, nullptr);
}

namespace {

void FillToolInfo(TOOLINFOW& info, HWND hWnd, UINT_PTR nIDTool) {
  info = TOOLINFOW{};
  info.cbSize = sizeof(info);
  info.hwnd = hWnd;
  if (nIDTool == 0) {
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.uId = reinterpret_cast<UINT_PTR>(hWnd);
  } else {
    info.uFlags = TTF_SUBCLASS;
    info.uId = nIDTool;
  }
}

}  // namespace

BOOL CToolTipCtrl::AddTool(CWnd* pWnd, LPCTSTR lpszText, LPCRECT lpRectTool, UINT_PTR nIDTool) {
  if (!pWnd) return FALSE;
  TOOLINFOW info;
  FillToolInfo(info, pWnd->m_hWnd, nIDTool);
  info.lpszText = const_cast<LPWSTR>(lpszText);
  if (lpRectTool)
    info.rect = *lpRectTool;
  else if (nIDTool != 0)
    ::GetClientRect(pWnd->m_hWnd, &info.rect);
  return AddTool(&info);
}

void CToolTipCtrl::UpdateTipText(LPCTSTR lpszText, CWnd* pWnd, UINT_PTR nIDTool) {
  if (!pWnd) return;
  TOOLINFOW info;
  FillToolInfo(info, pWnd->m_hWnd, nIDTool);
  info.lpszText = const_cast<LPWSTR>(lpszText);
  SendMessage(TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}

void CToolTipCtrl::SetToolRect(CWnd* pWnd, UINT_PTR nIDTool, LPCRECT lpRect) {
  if (!pWnd || !lpRect) return;
  TOOLINFOW info;
  FillToolInfo(info, pWnd->m_hWnd, nIDTool);
  info.rect = *lpRect;
  SendMessage(TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&info));
}

// ---------------------------------------------------------------------------------------------
BOOL CTreeCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create(WC_TREEVIEWW, nullptr, dwStyle, rect, pParentWnd, nID);
}

HTREEITEM CTreeCtrl::InsertItem(UINT nMask, LPCTSTR lpszItem, int nImage, int nSelectedImage, UINT nState,
                                UINT nStateMask, LPARAM lParam, HTREEITEM hParent, HTREEITEM hInsertAfter) {
  TVINSERTSTRUCTW insert{};
  insert.hParent = hParent;
  insert.hInsertAfter = hInsertAfter;
  insert.item.mask = nMask;
  insert.item.pszText = const_cast<LPWSTR>(lpszItem);
  insert.item.iImage = nImage;
  insert.item.iSelectedImage = nSelectedImage;
  insert.item.state = nState;
  insert.item.stateMask = nStateMask;
  insert.item.lParam = lParam;
  return InsertItem(&insert);
}

HTREEITEM CTreeCtrl::InsertItem(LPCTSTR lpszItem, HTREEITEM hParent, HTREEITEM hInsertAfter) {
  return InsertItem(TVIF_TEXT, lpszItem, 0, 0, 0, 0, 0, hParent, hInsertAfter);
}

HTREEITEM CTreeCtrl::InsertItem(LPCTSTR lpszItem, int nImage, int nSelectedImage, HTREEITEM hParent,
                                HTREEITEM hInsertAfter) {
  return InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE, lpszItem, nImage, nSelectedImage, 0, 0, 0, hParent,
                    hInsertAfter);
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM hItem) const {
  TVITEMW item{};
  item.mask = TVIF_CHILDREN | TVIF_HANDLE;
  item.hItem = hItem;
  return GetItem(&item) && item.cChildren != 0;
}

CString CTreeCtrl::GetItemText(HTREEITEM hItem) const {
  // Grow the buffer until the text fits (the control gives no length).
  for (int size = 256; size <= 65536; size *= 4) {
    CString text;
    TVITEMW item{};
    item.mask = TVIF_TEXT | TVIF_HANDLE;
    item.hItem = hItem;
    item.pszText = text.GetBuffer(size);
    item.cchTextMax = size;
    BOOL ok = GetItem(&item);
    text.ReleaseBuffer();
    if (!ok) return CString();
    if (text.GetLength() < size - 1) return text;
  }
  return CString();
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM hItem) const {
  TVITEMW item{};
  item.mask = TVIF_PARAM | TVIF_HANDLE;
  item.hItem = hItem;
  return GetItem(&item) ? static_cast<DWORD_PTR>(item.lParam) : 0;
}

BOOL CTreeCtrl::SetItemData(HTREEITEM hItem, DWORD_PTR dwData) {
  TVITEMW item{};
  item.mask = TVIF_PARAM | TVIF_HANDLE;
  item.hItem = hItem;
  item.lParam = static_cast<LPARAM>(dwData);
  return SetItem(&item);
}

BOOL CTreeCtrl::SetItemState(HTREEITEM hItem, UINT nState, UINT nStateMask) {
  TVITEMW item{};
  item.mask = TVIF_STATE | TVIF_HANDLE;
  item.hItem = hItem;
  item.state = nState;
  item.stateMask = nStateMask;
  return SetItem(&item);
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM hItem, int& nImage, int& nSelectedImage) const {
  TVITEMW item{};
  item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
  item.hItem = hItem;
  if (!GetItem(&item)) return FALSE;
  nImage = item.iImage;
  nSelectedImage = item.iSelectedImage;
  return TRUE;
}

BOOL CTreeCtrl::GetItemRect(HTREEITEM hItem, LPRECT lpRect, BOOL bTextOnly) const {
  if (!lpRect) return FALSE;
  // TVM_GETITEMRECT takes the item handle in the rectangle it fills.
  *reinterpret_cast<HTREEITEM*>(lpRect) = hItem;
  return static_cast<BOOL>(
      SendMessage(TVM_GETITEMRECT, static_cast<WPARAM>(bTextOnly), reinterpret_cast<LPARAM>(lpRect)));
}

HTREEITEM CTreeCtrl::HitTest(CPoint pt, UINT* pFlags) const {
  TVHITTESTINFO info{};
  info.pt = pt;
  HTREEITEM hItem = HitTest(&info);
  if (pFlags) *pFlags = info.flags;
  return hItem;
}

HIMAGELIST CTreeCtrl::SetImageList(CImageList* pImageList, int nImageList) {
  return reinterpret_cast<HIMAGELIST>(
      SendMessage(TVM_SETIMAGELIST, static_cast<WPARAM>(nImageList),
                  reinterpret_cast<LPARAM>(pImageList ? pImageList->m_hImageList : nullptr)));
}

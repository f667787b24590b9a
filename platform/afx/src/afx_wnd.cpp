// CCmdTarget, CWnd, the handle map and the window procedure of the layer.
#include "afx_state.h"

#include <mutex>
#include <type_traits>
#include <set>
#include <string>

namespace afx_detail {

// The layer's own access to CWnd's private parts.
struct WndAccess {
  static void SetSuper(CWnd* w, WNDPROC proc) { w->m_pfnSuper = proc; }
};

static_assert(std::is_trivially_destructible<ThreadState>::value, "see ThreadState");

ThreadState& State() {
  static thread_local ThreadState s_state;
  return s_state;
}

namespace {

// The permanent map from window handle to CWnd, shared by every thread of the process. Windows
// belong to one thread, but FromHandlePermanent is asked from any thread (for example by a client
// that looks up a control window), hence the lock. Readers take it shared.
struct HandleMap {
  SRWLOCK lock = SRWLOCK_INIT;
  std::unordered_map<HWND, CWnd*> map;
};

HandleMap& Handles() {
  static HandleMap s_map;
  return s_map;
}

bool MapInsert(HWND h, CWnd* p) {
  HandleMap& m = Handles();
  AcquireSRWLockExclusive(&m.lock);
  const bool inserted = m.map.emplace(h, p).second;
  ReleaseSRWLockExclusive(&m.lock);
  return inserted;
}

void MapErase(HWND h, CWnd* p) {
  HandleMap& m = Handles();
  AcquireSRWLockExclusive(&m.lock);
  auto it = m.map.find(h);
  if (it != m.map.end() && it->second == p) m.map.erase(it);
  ReleaseSRWLockExclusive(&m.lock);
}

// Makes hWnd's messages go through AfxWndProc; answers the procedure it had before (NULL when it
// already was AfxWndProc, so the default procedure applies).
WNDPROC HookProcedure(HWND hWnd) {
  SetLastError(0);
  const LONG_PTR old = SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc));
  if (old == 0) return nullptr;
  WNDPROC proc = reinterpret_cast<WNDPROC>(old);
  return proc == &AfxWndProc ? nullptr : proc;
}

LRESULT CALLBACK CreationHook(int nCode, WPARAM wParam, LPARAM lParam) {
  if (nCode == HCBT_CREATEWND) {
    ThreadState& st = State();
    if (CWnd* pWnd = st.creating) {
      st.creating = nullptr;  // only the first window created belongs to this CreateEx
      HWND hWnd = reinterpret_cast<HWND>(wParam);
      if (pWnd->Attach(hWnd)) WndAccess::SetSuper(pWnd, HookProcedure(hWnd));
    }
  }
  return CallNextHookEx(nullptr, nCode, wParam, lParam);
}

LRESULT FailureResult(UINT nMsg) {
  // A failed WM_CREATE / WM_NCCREATE makes the creation fail rather than leave a half-made window.
  if (nMsg == WM_CREATE) return -1;
  return 0;
}

// The seven WM_CTLCOLORxxx messages, numbered in a row from WM_CTLCOLORMSGBOX to
// WM_CTLCOLORSTATIC: each carries the control's HWND in lParam and asks for a brush.
bool IsCtlColorMessage(UINT message) { return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC; }

// The control that sent a notification which the parent may reflect back to it, or NULL.
HWND ReflectionSource(HWND hWndParent, UINT message, LPARAM lParam) {
  if (IsCtlColorMessage(message)) return reinterpret_cast<HWND>(lParam);
  switch (message) {
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      return dis && dis->CtlType != ODT_MENU ? dis->hwndItem : nullptr;
    }
    case WM_MEASUREITEM: {
      auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      return mis && mis->CtlType != ODT_MENU ? ::GetDlgItem(hWndParent, static_cast<int>(mis->CtlID)) : nullptr;
    }
    case WM_DELETEITEM: {
      auto* dis = reinterpret_cast<DELETEITEMSTRUCT*>(lParam);
      return dis ? dis->hwndItem : nullptr;
    }
    case WM_COMPAREITEM: {
      auto* cis = reinterpret_cast<COMPAREITEMSTRUCT*>(lParam);
      return cis ? cis->hwndItem : nullptr;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
      return reinterpret_cast<HWND>(lParam);
    default:
      return nullptr;
  }
}

// Offers a notification to the permanent CWnd of the control hWndChild.
BOOL ReflectTo(HWND hWndChild, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  CWnd* pChild = CWnd::FromHandlePermanent(hWndChild);
  if (!pChild) return FALSE;
  LRESULT ignored = 0;
  return pChild->OnChildNotify(message, wParam, lParam, pResult ? pResult : &ignored);
}

}  // namespace
}  // namespace afx_detail

using afx_detail::State;

// ---------------------------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

const AFX_MSGMAP* PASCAL CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY s_entries[] = {{0, 0, 0, 0, 0, nullptr}};
  static const AFX_MSGMAP s_map = {nullptr, &s_entries[0]};
  return &s_map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT nMessage, UINT nCode, UINT nID) const {
  const bool byControl = nMessage == WM_COMMAND || nMessage == WM_NOTIFY;
  const bool byCode = byControl || nMessage == WM_REFLECT_BASE + WM_COMMAND || nMessage == WM_REFLECT_BASE + WM_NOTIFY;
  for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e && e->pfn; ++e) {
      if (e->nMessage == 0xC000) {
        if (e->nSig && *reinterpret_cast<const UINT*>(e->nSig) == nMessage && nMessage != 0) return e;
        continue;
      }
      if (e->nMessage != nMessage) continue;
      if (byCode && e->nCode != nCode) continue;
      if (byControl && (nID < e->nID || nID > e->nLastID)) continue;
      return e;
    }
  }
  return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, void* /*pExtra*/, void* /*pHandlerInfo*/) {
  const AFX_MSGMAP_ENTRY* e = FindMessageEntry(WM_COMMAND, static_cast<UINT>(nCode), nID);
  if (!e) return FALSE;
  LRESULT result = 0;
  e->pfn(this, MAKEWPARAM(nID, nCode), 0, &result);
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
IMPLEMENT_DYNCREATE(CWnd, CCmdTarget)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::CWnd() = default;

CWnd::CWnd(HWND hWnd) : m_hWnd(hWnd), m_bTemporary(true) {}

CWnd::~CWnd() {
  if (m_bTemporary || !m_hWnd) return;
  if (CWnd::FromHandlePermanent(m_hWnd) != this) return;
  // The object goes while its window lives. On the window's own thread the window goes with it;
  // from another thread (where DestroyWindow cannot act) the window is handed back to its own
  // procedure, so that no message reaches the deleted object.
  HWND h = m_hWnd;
  if (GetWindowThreadProcessId(h, nullptr) == GetCurrentThreadId()) {
    ::DestroyWindow(h);
  }
  if (m_hWnd) {
    if (m_pfnSuper && reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h, GWLP_WNDPROC)) == &AfxWndProc)
      SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    Detach();
  }
}

CWnd* PASCAL CWnd::FromHandlePermanent(HWND hWnd) {
  if (!hWnd) return nullptr;
  auto& m = afx_detail::Handles();
  AcquireSRWLockShared(&m.lock);
  auto it = m.map.find(hWnd);
  CWnd* p = it == m.map.end() ? nullptr : it->second;
  ReleaseSRWLockShared(&m.lock);
  return p;
}

CWnd* PASCAL CWnd::FromHandle(HWND hWnd) {
  if (!hWnd) return nullptr;
  if (CWnd* p = FromHandlePermanent(hWnd)) return p;
  afx_detail::ThreadState& st = State();
  if (!st.tempMap) st.tempMap = new afx_detail::TempMap;
  auto it = st.tempMap->find(hWnd);
  if (it != st.tempMap->end()) return it->second.get();
  CWnd* p = new CWnd(hWnd);
  st.tempMap->emplace(hWnd, std::unique_ptr<CWnd>(p));
  return p;
}

void PASCAL CWnd::DeleteTempMap() {
  CDC::DeleteTempMap();
  afx_detail::ThreadState& st = State();
  delete st.tempMap;
  st.tempMap = nullptr;
}

BOOL CWnd::Attach(HWND hWndNew) {
  if (!hWndNew || m_hWnd) return FALSE;
  if (!afx_detail::MapInsert(hWndNew, this)) return FALSE;
  m_hWnd = hWndNew;
  m_bTemporary = false;
  return TRUE;
}

HWND CWnd::Detach() {
  HWND h = m_hWnd;
  if (h && !m_bTemporary) afx_detail::MapErase(h, this);
  m_hWnd = nullptr;
  return h;
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT&) { return TRUE; }
void CWnd::PreSubclassWindow() {}
void CWnd::PostNcDestroy() {}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, int x, int y,
                    int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu, LPVOID lpParam) {
  if (m_hWnd) return FALSE;
  CREATESTRUCT cs{};
  cs.dwExStyle = dwExStyle;
  cs.lpszClass = lpszClassName;
  cs.lpszName = lpszWindowName;
  cs.style = static_cast<LONG>(dwStyle);
  cs.x = x;
  cs.y = y;
  cs.cx = nWidth;
  cs.cy = nHeight;
  cs.hwndParent = hWndParent;
  cs.hMenu = nIDorHMenu;
  cs.hInstance = AfxGetInstanceHandle();
  cs.lpCreateParams = lpParam;
  if (!PreCreateWindow(cs)) {
    PostNcDestroy();
    return FALSE;
  }

  afx_detail::ThreadState& st = State();
  CWnd* const outer = st.creating;
  st.creating = this;
  HHOOK hook = SetWindowsHookExW(WH_CBT, &afx_detail::CreationHook, nullptr, GetCurrentThreadId());
  if (!hook) {
    st.creating = outer;
    return FALSE;
  }
  HWND hWnd = ::CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, static_cast<DWORD>(cs.style), cs.x, cs.y,
                                cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
  const DWORD error = GetLastError();
  UnhookWindowsHookEx(hook);
  const bool neverAttached = st.creating == this;
  st.creating = outer;
  if (neverAttached) {
    // The window never came to exist (unknown class, for example): no WM_NCDESTROY will come.
    PostNcDestroy();
    SetLastError(error);
    return FALSE;
  }
  if (!hWnd) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                    CWnd* pParentWnd, UINT nID, LPVOID lpParam) {
  return CreateEx(dwExStyle, lpszClassName, lpszWindowName, dwStyle, rect.left, rect.top, rect.right - rect.left,
                  rect.bottom - rect.top, pParentWnd ? pParentWnd->m_hWnd : nullptr,
                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)), lpParam);
}

BOOL CWnd::Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                  UINT nID, CCreateContext* pContext) {
  return CreateEx(0, lpszClassName, lpszWindowName, dwStyle | WS_CHILD, rect, pParentWnd, nID, pContext);
}

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  return ::DestroyWindow(m_hWnd);
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
  if (!Attach(hWnd)) return FALSE;
  PreSubclassWindow();
  m_pfnSuper = afx_detail::HookProcedure(hWnd);
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
  if (!pParent) return FALSE;
  HWND hCtl = ::GetDlgItem(pParent->m_hWnd, static_cast<int>(nID));
  return hCtl ? SubclassWindow(hCtl) : FALSE;
}

HWND CWnd::UnsubclassWindow() {
  if (!m_hWnd) return nullptr;
  if (m_pfnSuper) SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
  m_pfnSuper = nullptr;
  return Detach();
}

void CWnd::FinalNcDestroy() {
  if (CWinThread* thread = AfxGetThread()) {
    if (thread->m_pMainWnd == this) {
      // The thread's main window is gone: its message loop ends, as documented for m_pMainWnd.
      if (thread->m_bInMessageLoop) AfxPostQuitMessage(0);
      thread->m_pMainWnd = nullptr;
    }
    if (thread->m_pActiveWnd == this) thread->m_pActiveWnd = nullptr;
  }
  if (CWinApp* app = AfxGetApp(); app && app != AfxGetThread() && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
  HWND h = m_hWnd;
  WNDPROC super = m_pfnSuper;
  if (super && reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h, GWLP_WNDPROC)) == &AfxWndProc)
    SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
  m_pfnSuper = nullptr;
  Detach();
  // The window's own procedure sees the last message too.
  if (const MSG* cur = State().currentMsg; cur && cur->hwnd == h && cur->message == WM_NCDESTROY) {
    if (super)
      CallWindowProcW(super, h, WM_NCDESTROY, cur->wParam, cur->lParam);
    else
      ::DefWindowProcW(h, WM_NCDESTROY, cur->wParam, cur->lParam);
  }
  PostNcDestroy();  // may delete this
}

// ---------------------------------------------------------------------------------------------
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
  if (!pWnd) return ::DefWindowProcW(hWnd, nMsg, wParam, lParam);
  afx_detail::ThreadState& st = State();
  const MSG msg{hWnd, nMsg, wParam, lParam, 0, {0, 0}};
  const MSG* const outer = st.currentMsg;
  st.currentMsg = &msg;
  LRESULT result = 0;
  try {
    result = pWnd->WindowProc(nMsg, wParam, lParam);
  } catch (...) {
    AfxReportCaughtException("window procedure");
    result = afx_detail::FailureResult(nMsg);
  }
  if (nMsg == WM_NCDESTROY && CWnd::FromHandlePermanent(hWnd) == pWnd) {
    // The handler did not call the base OnNcDestroy: finish the window's end here.
    try {
      pWnd->FinalNcDestroy();
    } catch (...) {
      AfxReportCaughtException("WM_NCDESTROY");
    }
  }
  st.currentMsg = outer;
  return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
  return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  LRESULT ignored = 0;
  if (!pResult) pResult = &ignored;
  if (message == WM_COMMAND) {
    if (!OnCommand(wParam, lParam)) return FALSE;
    *pResult = 0;
    return TRUE;
  }
  if (message == WM_NOTIFY) {
    auto* hdr = reinterpret_cast<NMHDR*>(lParam);
    if (!hdr) return FALSE;
    *pResult = 0;
    return OnNotify(wParam, lParam, pResult);
  }
  if (const AFX_MSGMAP_ENTRY* e = FindMessageEntry(message, 0, 0)) {
    *pResult = 0;
    e->pfn(this, wParam, lParam, pResult);
    return TRUE;
  }
  // Not handled here: a control's notification goes back to the control's own map.
  if (HWND hChild = afx_detail::ReflectionSource(m_hWnd, message, lParam)) {
    LRESULT r = 0;
    if (afx_detail::ReflectTo(hChild, message, wParam, lParam, &r)) {
      *pResult = r;
      return TRUE;
    }
  }
  return FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper) return CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
  return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
  const MSG* cur = State().currentMsg;
  if (!cur) return 0;
  return DefWindowProc(cur->message, cur->wParam, cur->lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  const UINT nID = LOWORD(wParam);
  HWND hCtl = reinterpret_cast<HWND>(lParam);
  int nCode = HIWORD(wParam);
  if (hCtl) {
    if (afx_detail::ReflectTo(hCtl, WM_COMMAND, wParam, lParam, nullptr)) return TRUE;
  } else {
    nCode = CN_COMMAND;  // menus (0) and accelerators (1) are both commands
  }
  return OnCmdMsg(nID, nCode, nullptr, nullptr);
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  auto* hdr = reinterpret_cast<NMHDR*>(lParam);
  if (!hdr) return FALSE;
  if (hdr->hwndFrom && afx_detail::ReflectTo(hdr->hwndFrom, WM_NOTIFY, wParam, lParam, pResult)) return TRUE;
  const AFX_MSGMAP_ENTRY* e = FindMessageEntry(WM_NOTIFY, hdr->code, static_cast<UINT>(hdr->idFrom));
  if (!e) return FALSE;
  e->pfn(this, wParam, lParam, pResult);
  return TRUE;
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  return ReflectChildNotify(message, wParam, lParam, pResult);
}

BOOL CWnd::ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  LRESULT ignored = 0;
  if (!pResult) pResult = &ignored;
  const AFX_MSGMAP_ENTRY* e = nullptr;
  WPARAM w = wParam;
  LPARAM l = lParam;
  if (afx_detail::IsCtlColorMessage(message)) {
    // The seven colour messages reflect as one; the handler learns the CTLCOLOR_ kind from lParam.
    e = FindMessageEntry(WM_REFLECT_BASE + WM_CTLCOLOR, 0, 0);
    l = static_cast<LPARAM>(message - WM_CTLCOLORMSGBOX);
  } else if (message == WM_COMMAND) {
    e = FindMessageEntry(WM_REFLECT_BASE + WM_COMMAND, HIWORD(wParam), 0);
  } else if (message == WM_NOTIFY) {
    auto* hdr = reinterpret_cast<NMHDR*>(lParam);
    if (hdr) e = FindMessageEntry(WM_REFLECT_BASE + WM_NOTIFY, hdr->code, 0);
  } else {
    e = FindMessageEntry(WM_REFLECT_BASE + message, 0, 0);
  }
  if (!e) return FALSE;
  if (message == WM_NOTIFY && e->nSig == AFX_REFLECT_EX_SIG) {
    LRESULT pair[2] = {0, 0};
    e->pfn(this, w, l, pair);
    *pResult = pair[0];
    return pair[1] != 0;
  }
  LRESULT r = 0;
  e->pfn(this, w, l, &r);
  // A reflected colour handler that answers no brush leaves the message to the parent.
  if (afx_detail::IsCtlColorMessage(message) && r == 0) return FALSE;
  *pResult = r;
  return TRUE;
}

BOOL PASCAL CWnd::ReflectLastMsg(HWND hWndChild, LRESULT* pResult) {
  const MSG* cur = State().currentMsg;
  if (!cur) return FALSE;
  return afx_detail::ReflectTo(hWndChild, cur->message, cur->wParam, cur->lParam, pResult);
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

BOOL PASCAL CWnd::WalkPreTranslateTree(HWND hWndStop, MSG* pMsg) {
  for (HWND h = pMsg->hwnd; h; h = ::GetParent(h)) {
    if (CWnd* w = FromHandlePermanent(h)) {
      if (w->PreTranslateMessage(pMsg)) return TRUE;
    }
    if (h == hWndStop) break;
  }
  return FALSE;
}

// ---------------------------------------------------------------------------------------------
// Default handlers.
int CWnd::OnCreate(LPCREATESTRUCT) { return static_cast<int>(Default()); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnSysColorChange() { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnSize(UINT, int, int) { Default(); }
void CWnd::OnMouseMove(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnWindowPosChanged(WINDOWPOS*) { Default(); }

void CWnd::OnHScroll(UINT, UINT, CScrollBar* pScrollBar) {
  if (pScrollBar && ReflectLastMsg(reinterpret_cast<CWnd*>(pScrollBar)->m_hWnd)) return;
  Default();
}

// ---------------------------------------------------------------------------------------------
// Thin wrappers of the Win32 calls.
LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendMessageW(m_hWnd, message, wParam, lParam);
}
BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::PostMessageW(m_hWnd, message, wParam, lParam);
}
LRESULT CWnd::SendDlgItemMessage(int nID, UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendDlgItemMessageW(m_hWnd, nID, message, wParam, lParam);
}
void CWnd::SendMessageToDescendants(UINT message, WPARAM wParam, LPARAM lParam, BOOL bDeep, BOOL bOnlyPerm) const {
  for (HWND h = ::GetTopWindow(m_hWnd); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
    if (bOnlyPerm) {
      if (CWnd* w = FromHandlePermanent(h)) w->SendMessage(message, wParam, lParam);
    } else {
      ::SendMessageW(h, message, wParam, lParam);
    }
    if (bDeep && ::GetTopWindow(h)) CWnd(h).SendMessageToDescendants(message, wParam, lParam, bDeep, bOnlyPerm);
  }
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, void(CALLBACK* lpfnTimer)(HWND, UINT, UINT_PTR, DWORD)) {
  return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
}
BOOL CWnd::KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }

BOOL CWnd::ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
void CWnd::UpdateWindow() { ::UpdateWindow(m_hWnd); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
BOOL CWnd::EnableWindow(BOOL bEnable) { return ::EnableWindow(m_hWnd, bEnable); }
BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }
BOOL CWnd::IsZoomed() const { return ::IsZoomed(m_hWnd); }
void CWnd::SetWindowText(LPCTSTR lpszString) { ::SetWindowTextW(m_hWnd, lpszString); }
void CWnd::GetWindowText(CString& rString) const {
  const int n = ::GetWindowTextLengthW(m_hWnd);
  if (n <= 0) {
    rString.Empty();
    return;
  }
  ::GetWindowTextW(m_hWnd, rString.GetBuffer(n + 1), n + 1);
  rString.ReleaseBuffer();
}
void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint) {
  ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, bRepaint);
}
void CWnd::MoveWindow(LPCRECT r, BOOL bRepaint) {
  if (r) MoveWindow(r->left, r->top, r->right - r->left, r->bottom - r->top, bRepaint);
}
BOOL CWnd::SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
  // The special insert-after values (&CWnd::wndTop and the like in MFC) are passed as
  // reinterpret_cast<const CWnd*>(HWND_TOPMOST) and so on.
  HWND after = nullptr;
  const auto raw = reinterpret_cast<UINT_PTR>(pWndInsertAfter);
  if (raw <= 1 || raw == static_cast<UINT_PTR>(-1) || raw == static_cast<UINT_PTR>(-2))
    after = reinterpret_cast<HWND>(raw);
  else
    after = pWndInsertAfter->m_hWnd;
  return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, nFlags);
}
void CWnd::GetWindowRect(LPRECT lpRect) const { ::GetWindowRect(m_hWnd, lpRect); }
void CWnd::GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
void CWnd::ClientToScreen(LPPOINT p) const { ::ClientToScreen(m_hWnd, p); }
void CWnd::ClientToScreen(LPRECT r) const {
  ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(r));
  ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(r) + 1);
}
void CWnd::ScreenToClient(LPPOINT p) const { ::ScreenToClient(m_hWnd, p); }
void CWnd::ScreenToClient(LPRECT r) const {
  ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(r));
  ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(r) + 1);
}
void CWnd::Invalidate(BOOL bErase) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
void CWnd::InvalidateRect(LPCRECT lpRect, BOOL bErase) { ::InvalidateRect(m_hWnd, lpRect, bErase); }
BOOL CWnd::RedrawWindow(LPCRECT lpRectUpdate, HRGN hrgnUpdate, UINT flags) {
  return ::RedrawWindow(m_hWnd, lpRectUpdate, hrgnUpdate, flags);
}
void CWnd::SetRedraw(BOOL bRedraw) { ::SendMessageW(m_hWnd, WM_SETREDRAW, bRedraw, 0); }
DWORD CWnd::GetStyle() const { return static_cast<DWORD>(GetWindowLongW(m_hWnd, GWL_STYLE)); }
DWORD CWnd::GetExStyle() const { return static_cast<DWORD>(GetWindowLongW(m_hWnd, GWL_EXSTYLE)); }

static BOOL ModifyStyleOf(HWND h, int index, DWORD remove, DWORD add, UINT nFlags) {
  const DWORD style = static_cast<DWORD>(GetWindowLongW(h, index));
  const DWORD newStyle = (style & ~remove) | add;
  if (style == newStyle) return FALSE;
  SetWindowLongW(h, index, static_cast<LONG>(newStyle));
  if (nFlags) ::SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
  return TRUE;
}
BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
  return ModifyStyleOf(m_hWnd, GWL_STYLE, dwRemove, dwAdd, nFlags);
}
BOOL CWnd::ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
  return ModifyStyleOf(m_hWnd, GWL_EXSTYLE, dwRemove, dwAdd, nFlags);
}
int CWnd::GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
  return reinterpret_cast<HICON>(
      ::SendMessageW(m_hWnd, WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
}

CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
CWnd* CWnd::GetDlgItem(int nID) const { return FromHandle(::GetDlgItem(m_hWnd, nID)); }
void CWnd::GetDlgItem(int nID, HWND* phWnd) const {
  if (phWnd) *phWnd = ::GetDlgItem(m_hWnd, nID);
}
CWnd* CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
void CWnd::SetDlgItemText(int nID, LPCTSTR lpszString) { ::SetDlgItemTextW(m_hWnd, nID, lpszString); }
int CWnd::GetDlgItemText(int nID, CString& rString) const {
  rString.Empty();
  HWND h = ::GetDlgItem(m_hWnd, nID);
  if (!h) return 0;
  CWnd(h).GetWindowText(rString);
  return rString.GetLength();
}
void CWnd::CheckDlgButton(int nIDButton, UINT nCheck) { ::CheckDlgButton(m_hWnd, nIDButton, nCheck); }
UINT CWnd::IsDlgButtonChecked(int nIDButton) const { return ::IsDlgButtonChecked(m_hWnd, nIDButton); }

// ---------------------------------------------------------------------------------------------
LPCTSTR AFXAPI AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor, HBRUSH hbrBackground, HICON hIcon) {
  static std::mutex s_lock;
  static std::set<std::wstring> s_names;  // the returned names stay valid for the process
  wchar_t name[96];
  HINSTANCE hInst = AfxGetInstanceHandle();
  swprintf(name, 96, L"Afx:%p:%x:%p:%p:%p", static_cast<void*>(hInst), nClassStyle, static_cast<void*>(hCursor),
           static_cast<void*>(hbrBackground), static_cast<void*>(hIcon));
  std::lock_guard<std::mutex> guard(s_lock);
  auto it = s_names.find(name);
  if (it != s_names.end()) return it->c_str();
  WNDCLASSW wc{};
  if (!GetClassInfoW(hInst, name, &wc)) {
    wc.style = nClassStyle;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = hInst;
    wc.hIcon = hIcon;
    wc.hCursor = hCursor;
    wc.hbrBackground = hbrBackground;
    wc.lpszClassName = name;
    if (!RegisterClassW(&wc)) AfxThrowResourceException();
  }
  return s_names.insert(name).first->c_str();
}

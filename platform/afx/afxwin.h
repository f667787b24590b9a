// Windows, message maps, threads and the application object in the MFC manner.
//
// A CWnd is little more than its handle: the layer keeps a process-wide map from HWND to the
// permanent CWnd object, routes every message of a window created (or subclassed) through the
// layer to CWnd::WindowProc, and looks the message up in the class's message map, derived class
// first, then its bases. Message-map entries carry a small function (a "thunk") that unpacks
// wParam/lParam and calls the handler with its typed arguments, so a new ON_ macro can be added in
// any header without touching the dispatcher.
//
// Handlers are named in the message map with their qualified name, for example
// ON_MESSAGE(WM_SPEECH_SPEAK, &CSpeechControl::OnSpeak).
//
// Exceptions never cross a window procedure or a thread entry: they are caught there, written to
// the debugger output, and turned into a failure result.
#pragma once

#include "afx.h"
#include "afxmt.h"
#include "atltypes.h"

#include <commctrl.h>

class CCmdTarget;
class CWnd;
class CWinThread;
class CWinApp;
class CDC;
class CMenu;
class CFont;
class CScrollBar;
struct CCreateContext;
namespace afx_detail {
struct WndAccess;
}

// ---------------------------------------------------------------------------------------------
// Message maps.

// Calls the handler of one entry: unpacks wParam/lParam, calls it on pTarget and stores the
// message result in *pResult (which holds 0 on entry).
typedef void (*AFX_PMSG)(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;  // window message; 0xC000 = registered message whose number is at *(UINT*)nSig
  UINT nCode;     // WM_COMMAND / WM_NOTIFY notification code (0 for menu commands and BN_CLICKED)
  UINT nID;       // first control identifier (WM_COMMAND / WM_NOTIFY)
  UINT nLastID;   // last control identifier of a range
  UINT_PTR nSig;  // registered-message entries: address of the UINT holding the message number
  AFX_PMSG pfn;   // NULL ends the map
};

struct AFX_MSGMAP {
  const AFX_MSGMAP*(PASCAL* pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

// Messages reflected from a parent back to the child control that sent them carry this offset
// (ON_CONTROL_REFLECT, ON_NOTIFY_REFLECT and the _REFLECT forms of the controls).
#define WM_REFLECT_BASE 0xBC00
// The WM_CTLCOLORxxx messages reflect as one message; the thunk receives the HDC in wParam and
// the CTLCOLOR_ kind in lParam.
#ifndef WM_CTLCOLOR
#define WM_CTLCOLOR 0x0019
#endif
#define CN_COMMAND 0

// clang-format off: the message-map macros are tables, laid out by hand.
#define DECLARE_MESSAGE_MAP()                          \
 protected:                                            \
  static const AFX_MSGMAP* PASCAL GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const AFX_MSGMAP* PASCAL theClass::GetThisMessageMap() {                          \
    typedef theClass ThisClass;                                                     \
    typedef baseClass TheBaseClass;                                                 \
    (void)sizeof(ThisClass*);                                                       \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                       \
  { 0, 0, 0, 0, 0, nullptr }                                                                    \
  }                                                                                             \
  ;                                                                                             \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
  return &messageMap;                                                                           \
  }

// The target object as the class whose map holds the entry; used inside the thunks.
#define AFX_THIS_(t) (static_cast<ThisClass*>(t))

// Any message: LRESULT OnMessage(WPARAM, LPARAM).
#define ON_MESSAGE(message, memberFxn)                                                             \
  {static_cast<UINT>(message), 0, 0, 0, 0, [](CCmdTarget* t_, WPARAM w_, LPARAM l_, LRESULT* r_) { \
     *r_ = static_cast<LRESULT>((AFX_THIS_(t_)->*(memberFxn))(w_, l_));                            \
   }},

// A message number from RegisterWindowMessage, kept in a UINT variable: LRESULT (WPARAM, LPARAM).
#define ON_REGISTERED_MESSAGE(nMessageVariable, memberFxn)              \
  {0xC000,                                                              \
   0,                                                                   \
   0,                                                                   \
   0,                                                                   \
   reinterpret_cast<UINT_PTR>(&(nMessageVariable)),                     \
   [](CCmdTarget* t_, WPARAM w_, LPARAM l_, LRESULT* r_) {              \
     *r_ = static_cast<LRESULT>((AFX_THIS_(t_)->*(memberFxn))(w_, l_)); \
   }},

// Thread messages (PostThreadMessage, hwnd NULL) of a CWinThread: void OnMessage(WPARAM, LPARAM).
#define ON_THREAD_MESSAGE(message, memberFxn)                                                   \
  {static_cast<UINT>(message), 0, 0, 0, 0, [](CCmdTarget* t_, WPARAM w_, LPARAM l_, LRESULT*) { \
     (AFX_THIS_(t_)->*(memberFxn))(w_, l_);                                                     \
   }},
#define ON_REGISTERED_THREAD_MESSAGE(nMessageVariable, memberFxn) \
  {0xC000,                                                        \
   0,                                                             \
   0,                                                             \
   0,                                                             \
   reinterpret_cast<UINT_PTR>(&(nMessageVariable)),               \
   [](CCmdTarget* t_, WPARAM w_, LPARAM l_, LRESULT*) { (AFX_THIS_(t_)->*(memberFxn))(w_, l_); }},

// WM_COMMAND from menus, accelerators and controls: void OnCommand().
#define ON_COMMAND(id, memberFxn) \
  {WM_COMMAND,                    \
   CN_COMMAND,                    \
   static_cast<WORD>(id),         \
   static_cast<WORD>(id),         \
   0,                             \
   [](CCmdTarget* t_, WPARAM, LPARAM, LRESULT*) { (AFX_THIS_(t_)->*(memberFxn))(); }},
// A range of command identifiers: void OnCommandRange(UINT nID).
#define ON_COMMAND_RANGE(id, idLast, memberFxn) \
  {WM_COMMAND,                                  \
   CN_COMMAND,                                  \
   static_cast<WORD>(id),                       \
   static_cast<WORD>(idLast),                   \
   0,                                           \
   [](CCmdTarget* t_, WPARAM w_, LPARAM, LRESULT*) { (AFX_THIS_(t_)->*(memberFxn))(static_cast<UINT>(LOWORD(w_))); }},
// A control notification through WM_COMMAND: void OnNotification().
#define ON_CONTROL(wNotifyCode, id, memberFxn) \
  {WM_COMMAND,                                 \
   static_cast<UINT>(wNotifyCode),             \
   static_cast<WORD>(id),                      \
   static_cast<WORD>(id),                      \
   0,                                          \
   [](CCmdTarget* t_, WPARAM, LPARAM, LRESULT*) { (AFX_THIS_(t_)->*(memberFxn))(); }},
#define ON_CONTROL_RANGE(wNotifyCode, id, idLast, memberFxn) \
  {WM_COMMAND,                                               \
   static_cast<UINT>(wNotifyCode),                           \
   static_cast<WORD>(id),                                    \
   static_cast<WORD>(idLast),                                \
   0,                                                        \
   [](CCmdTarget* t_, WPARAM w_, LPARAM, LRESULT*) { (AFX_THIS_(t_)->*(memberFxn))(static_cast<UINT>(LOWORD(w_))); }},
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_BN_DOUBLECLICKED(id, memberFxn) ON_CONTROL(BN_DOUBLECLICKED, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
#define ON_CBN_DROPDOWN(id, memberFxn) ON_CONTROL(CBN_DROPDOWN, id, memberFxn)
#define ON_CBN_CLOSEUP(id, memberFxn) ON_CONTROL(CBN_CLOSEUP, id, memberFxn)
#define ON_LBN_SELCHANGE(id, memberFxn) ON_CONTROL(LBN_SELCHANGE, id, memberFxn)
#define ON_LBN_DBLCLK(id, memberFxn) ON_CONTROL(LBN_DBLCLK, id, memberFxn)
#define ON_STN_CLICKED(id, memberFxn) ON_CONTROL(STN_CLICKED, id, memberFxn)

// WM_NOTIFY from a control: void OnNotify(NMHDR*, LRESULT* pResult).
#define ON_NOTIFY(wNotifyCode, id, memberFxn)                         \
  {WM_NOTIFY,                                                         \
   static_cast<UINT>(wNotifyCode),                                    \
   static_cast<WORD>(id),                                             \
   static_cast<WORD>(id),                                             \
   0,                                                                 \
   [](CCmdTarget* t_, WPARAM, LPARAM l_, LRESULT* r_) {               \
     (AFX_THIS_(t_)->*(memberFxn))(reinterpret_cast<NMHDR*>(l_), r_); \
   }},
// A range of controls: void OnNotifyRange(UINT id, NMHDR*, LRESULT*).
#define ON_NOTIFY_RANGE(wNotifyCode, id, idLast, memberFxn)                \
  {WM_NOTIFY,                                                              \
   static_cast<UINT>(wNotifyCode),                                         \
   static_cast<WORD>(id),                                                  \
   static_cast<WORD>(idLast),                                              \
   0,                                                                      \
   [](CCmdTarget* t_, WPARAM, LPARAM l_, LRESULT* r_) {                    \
     NMHDR* h_ = reinterpret_cast<NMHDR*>(l_);                             \
     (AFX_THIS_(t_)->*(memberFxn))(static_cast<UINT>(h_->idFrom), h_, r_); \
   }},

// Reflected notifications, handled by the control that sent them.
// void OnReflectedNotification() for WM_COMMAND codes.
#define ON_CONTROL_REFLECT(wNotifyCode, memberFxn) \
  {WM_COMMAND + WM_REFLECT_BASE,                   \
   static_cast<UINT>(wNotifyCode),                 \
   0,                                              \
   0,                                              \
   0,                                              \
   [](CCmdTarget* t_, WPARAM, LPARAM, LRESULT*) { (AFX_THIS_(t_)->*(memberFxn))(); }},
// void OnReflectedNotify(NMHDR*, LRESULT*).
#define ON_NOTIFY_REFLECT(wNotifyCode, memberFxn)                     \
  {WM_NOTIFY + WM_REFLECT_BASE,                                       \
   static_cast<UINT>(wNotifyCode),                                    \
   0,                                                                 \
   0,                                                                 \
   0,                                                                 \
   [](CCmdTarget* t_, WPARAM, LPARAM l_, LRESULT* r_) {               \
     (AFX_THIS_(t_)->*(memberFxn))(reinterpret_cast<NMHDR*>(l_), r_); \
   }},

// BOOL OnReflectedNotify(NMHDR*, LRESULT*): FALSE lets the parent see the notification too.
// The thunk's result slot is a pair {notification result, handled} (see ReflectChildNotify).
#define AFX_REFLECT_EX_SIG 1
#define ON_NOTIFY_REFLECT_EX(wNotifyCode, memberFxn)                                      \
  {WM_NOTIFY + WM_REFLECT_BASE,                                                           \
   static_cast<UINT>(wNotifyCode),                                                        \
   0,                                                                                     \
   0,                                                                                     \
   AFX_REFLECT_EX_SIG,                                                                    \
   [](CCmdTarget* t_, WPARAM, LPARAM l_, LRESULT* r_) {                                   \
     r_[1] = (AFX_THIS_(t_)->*(memberFxn))(reinterpret_cast<NMHDR*>(l_), &r_[0]) ? 1 : 0; \
   }},

// Window messages with typed handlers (the handler names are MFC's).
#define AFX_WM_(msg, body)                                                  \
  {msg, 0, 0, 0, 0, [](CCmdTarget* t_, WPARAM w_, LPARAM l_, LRESULT* r_) { \
     (void)w_;                                                              \
     (void)l_;                                                              \
     (void)r_;                                                              \
     body;                                                                  \
   }},

#define ON_WM_CREATE() AFX_WM_(WM_CREATE, *r_ = AFX_THIS_(t_)->OnCreate(reinterpret_cast<LPCREATESTRUCT>(l_)))
#define ON_WM_DESTROY() AFX_WM_(WM_DESTROY, AFX_THIS_(t_)->OnDestroy())
#define ON_WM_NCDESTROY() AFX_WM_(WM_NCDESTROY, AFX_THIS_(t_)->OnNcDestroy())
#define ON_WM_CLOSE() AFX_WM_(WM_CLOSE, AFX_THIS_(t_)->OnClose())
#define ON_WM_SYSCOLORCHANGE() AFX_WM_(WM_SYSCOLORCHANGE, AFX_THIS_(t_)->OnSysColorChange())
#define ON_WM_TIMER() AFX_WM_(WM_TIMER, AFX_THIS_(t_)->OnTimer(static_cast<UINT_PTR>(w_)))
#define ON_WM_PAINT() AFX_WM_(WM_PAINT, AFX_THIS_(t_)->OnPaint())
#define ON_WM_SIZE()                                                                            \
  AFX_WM_(WM_SIZE, AFX_THIS_(t_)->OnSize(static_cast<UINT>(w_), static_cast<short>(LOWORD(l_)), \
                                         static_cast<short>(HIWORD(l_))))
#define ON_WM_MOVE() \
  AFX_WM_(WM_MOVE, AFX_THIS_(t_)->OnMove(static_cast<short>(LOWORD(l_)), static_cast<short>(HIWORD(l_))))
#define ON_WM_SHOWWINDOW() \
  AFX_WM_(WM_SHOWWINDOW, AFX_THIS_(t_)->OnShowWindow(static_cast<BOOL>(w_), static_cast<UINT>(l_)))
#define ON_WM_ACTIVATE()                                                                                         \
  AFX_WM_(WM_ACTIVATE,                                                                                           \
          AFX_THIS_(t_)->OnActivate(static_cast<UINT>(LOWORD(w_)), CWnd::FromHandle(reinterpret_cast<HWND>(l_)), \
                                    static_cast<BOOL>(HIWORD(w_))))
#define ON_WM_ACTIVATEAPP() \
  AFX_WM_(WM_ACTIVATEAPP, AFX_THIS_(t_)->OnActivateApp(static_cast<BOOL>(w_), static_cast<DWORD>(l_)))
#define ON_WM_SETFOCUS() AFX_WM_(WM_SETFOCUS, AFX_THIS_(t_)->OnSetFocus(CWnd::FromHandle(reinterpret_cast<HWND>(w_))))
#define ON_WM_KILLFOCUS() \
  AFX_WM_(WM_KILLFOCUS, AFX_THIS_(t_)->OnKillFocus(CWnd::FromHandle(reinterpret_cast<HWND>(w_))))
#define ON_WM_ENABLE() AFX_WM_(WM_ENABLE, AFX_THIS_(t_)->OnEnable(static_cast<BOOL>(w_)))
#define ON_WM_HOTKEY()                                                                             \
  AFX_WM_(WM_HOTKEY, AFX_THIS_(t_)->OnHotKey(static_cast<UINT>(w_), static_cast<UINT>(LOWORD(l_)), \
                                             static_cast<UINT>(HIWORD(l_))))
#define AFX_MOUSE_(msg, fn) AFX_WM_(msg, AFX_THIS_(t_)->fn(static_cast<UINT>(w_), CPoint(l_)))
#define ON_WM_MOUSEMOVE() AFX_MOUSE_(WM_MOUSEMOVE, OnMouseMove)
#define ON_WM_LBUTTONDOWN() AFX_MOUSE_(WM_LBUTTONDOWN, OnLButtonDown)
#define ON_WM_LBUTTONUP() AFX_MOUSE_(WM_LBUTTONUP, OnLButtonUp)
#define ON_WM_LBUTTONDBLCLK() AFX_MOUSE_(WM_LBUTTONDBLCLK, OnLButtonDblClk)
#define ON_WM_RBUTTONDOWN() AFX_MOUSE_(WM_RBUTTONDOWN, OnRButtonDown)
#define ON_WM_RBUTTONUP() AFX_MOUSE_(WM_RBUTTONUP, OnRButtonUp)
#define ON_WM_MOUSELEAVE() AFX_WM_(WM_MOUSELEAVE, AFX_THIS_(t_)->OnMouseLeave())
#define ON_WM_MOUSEWHEEL()                                                                \
  AFX_WM_(WM_MOUSEWHEEL, *r_ = AFX_THIS_(t_)->OnMouseWheel(static_cast<UINT>(LOWORD(w_)), \
                                                           static_cast<short>(HIWORD(w_)), CPoint(l_)))
#define ON_WM_SETCURSOR()                                                                \
  AFX_WM_(WM_SETCURSOR,                                                                  \
          *r_ = AFX_THIS_(t_)->OnSetCursor(CWnd::FromHandle(reinterpret_cast<HWND>(w_)), \
                                           static_cast<UINT>(LOWORD(l_)), static_cast<UINT>(HIWORD(l_))))
#define ON_WM_NCHITTEST() AFX_WM_(WM_NCHITTEST, *r_ = AFX_THIS_(t_)->OnNcHitTest(CPoint(l_)))
#define AFX_KEY_(msg, fn) \
  AFX_WM_(msg, AFX_THIS_(t_)->fn(static_cast<UINT>(w_), static_cast<UINT>(LOWORD(l_)), static_cast<UINT>(HIWORD(l_))))
#define ON_WM_KEYDOWN() AFX_KEY_(WM_KEYDOWN, OnKeyDown)
#define ON_WM_KEYUP() AFX_KEY_(WM_KEYUP, OnKeyUp)
#define ON_WM_CHAR() AFX_KEY_(WM_CHAR, OnChar)
#define ON_WM_SYSCOMMAND() AFX_WM_(WM_SYSCOMMAND, AFX_THIS_(t_)->OnSysCommand(static_cast<UINT>(w_), l_))
#define ON_WM_GETMINMAXINFO() \
  AFX_WM_(WM_GETMINMAXINFO, AFX_THIS_(t_)->OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(l_)))
#define ON_WM_WINDOWPOSCHANGING() \
  AFX_WM_(WM_WINDOWPOSCHANGING, AFX_THIS_(t_)->OnWindowPosChanging(reinterpret_cast<WINDOWPOS*>(l_)))
#define ON_WM_WINDOWPOSCHANGED() \
  AFX_WM_(WM_WINDOWPOSCHANGED, AFX_THIS_(t_)->OnWindowPosChanged(reinterpret_cast<WINDOWPOS*>(l_)))
#define ON_WM_CHANGECBCHAIN() \
  AFX_WM_(WM_CHANGECBCHAIN, AFX_THIS_(t_)->OnChangeCbChain(reinterpret_cast<HWND>(w_), reinterpret_cast<HWND>(l_)))
#define ON_WM_DRAWCLIPBOARD() AFX_WM_(WM_DRAWCLIPBOARD, AFX_THIS_(t_)->OnDrawClipboard())
#define ON_WM_CLIPBOARDUPDATE() AFX_WM_(WM_CLIPBOARDUPDATE, AFX_THIS_(t_)->OnClipboardUpdate())
#define ON_WM_CAPTURECHANGED() \
  AFX_WM_(WM_CAPTURECHANGED, AFX_THIS_(t_)->OnCaptureChanged(CWnd::FromHandle(reinterpret_cast<HWND>(l_))))
#define ON_WM_COPYDATA()                                                                             \
  AFX_WM_(WM_COPYDATA, *r_ = AFX_THIS_(t_)->OnCopyData(CWnd::FromHandle(reinterpret_cast<HWND>(w_)), \
                                                       reinterpret_cast<COPYDATASTRUCT*>(l_)))
#define ON_WM_DRAWITEM()                                                                                        \
  AFX_WM_(WM_DRAWITEM, AFX_THIS_(t_)->OnDrawItem(static_cast<int>(w_), reinterpret_cast<LPDRAWITEMSTRUCT>(l_)); \
          *r_ = TRUE)
#define ON_WM_MEASUREITEM()                                                                              \
  AFX_WM_(WM_MEASUREITEM,                                                                                \
          AFX_THIS_(t_)->OnMeasureItem(static_cast<int>(w_), reinterpret_cast<LPMEASUREITEMSTRUCT>(l_)); \
          *r_ = TRUE)
// The handlers below take CDC* or CScrollBar*: their headers must be included where the map is.
#define ON_WM_ERASEBKGND() \
  AFX_WM_(WM_ERASEBKGND, *r_ = AFX_THIS_(t_)->OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(w_))))
#define AFX_SCROLL_(msg, fn)                                                                                       \
  AFX_WM_(msg, AFX_THIS_(t_)->fn(static_cast<UINT>(LOWORD(w_)), static_cast<UINT>(static_cast<short>(HIWORD(w_))), \
                                 reinterpret_cast<CScrollBar*>(CWnd::FromHandle(reinterpret_cast<HWND>(l_)))))
#define ON_WM_HSCROLL() AFX_SCROLL_(WM_HSCROLL, OnHScroll)
#define ON_WM_VSCROLL() AFX_SCROLL_(WM_VSCROLL, OnVScroll)
// clang-format on

// ---------------------------------------------------------------------------------------------
// Message targets.
class CCmdTarget : public CObject {
  DECLARE_DYNAMIC(CCmdTarget)
 public:
  CCmdTarget() = default;

  // Routes a WM_COMMAND (nCode is the notification code, 0 for commands) through this object's
  // message map; TRUE when a handler ran.
  virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, void* pHandlerInfo);

  // The entry of this object's map (or a base map) for message nMessage, or NULL. nCode and nID
  // select WM_COMMAND / WM_NOTIFY entries.
  const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT nMessage, UINT nCode, UINT nID) const;

 protected:
  static const AFX_MSGMAP* PASCAL GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
};

// ---------------------------------------------------------------------------------------------
class CWnd : public CCmdTarget {
  DECLARE_DYNCREATE(CWnd)
 public:
  CWnd();
  explicit CWnd(HWND hWnd);  // a temporary wrapper of a foreign handle (not in the handle map)
  ~CWnd() override;

  HWND m_hWnd = nullptr;
  operator HWND() const { return m_hWnd; }
  // Call it on a valid object only: a NULL CWnd* is not a window here.
  HWND GetSafeHwnd() const { return m_hWnd; }
  bool operator==(const CWnd& wnd) const { return m_hWnd == wnd.m_hWnd; }
  bool operator!=(const CWnd& wnd) const { return m_hWnd != wnd.m_hWnd; }

  // The handle map. FromHandlePermanent answers the CWnd attached to hWnd, or NULL. FromHandle
  // answers that object or else a temporary wrapper owned by the calling thread, valid until that
  // thread next goes idle (or DeleteTempMap); NULL for a NULL handle.
  static CWnd* PASCAL FromHandle(HWND hWnd);
  static CWnd* PASCAL FromHandlePermanent(HWND hWnd);
  static void PASCAL DeleteTempMap();
  BOOL Attach(HWND hWndNew);
  HWND Detach();

  // Creation. Any window class works, including classes whose procedure is DefWindowProcW and
  // the system's control classes: the window is subclassed at creation so that every message,
  // WM_NCCREATE and WM_CREATE included, reaches this object's message map.
  virtual BOOL CreateEx(DWORD dwExStyle, LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, int x, int y,
                        int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu, LPVOID lpParam = nullptr);
  virtual BOOL CreateEx(DWORD dwExStyle, LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                        CWnd* pParentWnd, UINT nID, LPVOID lpParam = nullptr);
  virtual BOOL Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                      UINT nID, CCreateContext* pContext = nullptr);
  virtual BOOL DestroyWindow();

  // Subclassing of an existing window (controls of a dialog template, for example).
  BOOL SubclassWindow(HWND hWnd);
  BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
  HWND UnsubclassWindow();

  // Messages.
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  void SendMessageToDescendants(UINT message, WPARAM wParam = 0, LPARAM lParam = 0, BOOL bDeep = TRUE,
                                BOOL bOnlyPerm = FALSE) const;

  // Timers and hot keys.
  UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, void(CALLBACK* lpfnTimer)(HWND, UINT, UINT_PTR, DWORD));
  BOOL KillTimer(UINT_PTR nIDEvent);

  // State and geometry.
  BOOL ShowWindow(int nCmdShow);
  void UpdateWindow();
  BOOL IsWindowVisible() const;
  BOOL IsWindowEnabled() const;
  BOOL EnableWindow(BOOL bEnable = TRUE);
  BOOL IsIconic() const;
  BOOL IsZoomed() const;
  void SetWindowText(LPCTSTR lpszString);
  void GetWindowText(CString& rString) const;
  void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE);
  void MoveWindow(LPCRECT lpRect, BOOL bRepaint = TRUE);
  BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
  void GetWindowRect(LPRECT lpRect) const;
  void GetClientRect(LPRECT lpRect) const;
  void ClientToScreen(LPPOINT lpPoint) const;
  void ClientToScreen(LPRECT lpRect) const;
  void ScreenToClient(LPPOINT lpPoint) const;
  void ScreenToClient(LPRECT lpRect) const;
  void Invalidate(BOOL bErase = TRUE);
  void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE);
  BOOL RedrawWindow(LPCRECT lpRectUpdate = nullptr, HRGN hrgnUpdate = nullptr,
                    UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
  void SetRedraw(BOOL bRedraw = TRUE);
  DWORD GetStyle() const;
  DWORD GetExStyle() const;
  BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
  BOOL ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
  int GetDlgCtrlID() const;
  HICON SetIcon(HICON hIcon, BOOL bBigIcon);

  // Relatives and focus.
  CWnd* GetParent() const;
  CWnd* GetDlgItem(int nID) const;
  void GetDlgItem(int nID, HWND* phWnd) const;
  CWnd* SetFocus();
  void SetDlgItemText(int nID, LPCTSTR lpszString);
  int GetDlgItemText(int nID, CString& rString) const;
  void CheckDlgButton(int nIDButton, UINT nCheck);
  UINT IsDlgButtonChecked(int nIDButton) const;

  // Passes the current message to the default procedure (the subclassed window's own procedure).
  LRESULT Default();

  // Message handling, in the order the layer calls them.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
  virtual void PreSubclassWindow();
  // Called after WM_NCDESTROY, once the object is detached; CWnd does nothing, windows that own
  // themselves delete this here.
  virtual void PostNcDestroy();

  // Reflection of child notifications (WM_COMMAND, WM_NOTIFY, WM_DRAWITEM, WM_CTLCOLORxxx and the
  // other messages a control sends to its parent) back to the control's own map.
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  BOOL ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  static BOOL PASCAL ReflectLastMsg(HWND hWndChild, LRESULT* pResult = nullptr);

  // Lets each window from pMsg->hwnd up to hWndStop pre-translate the message.
  static BOOL PASCAL WalkPreTranslateTree(HWND hWndStop, MSG* pMsg);

  // Handlers with a default behaviour (Default(), unless said otherwise).
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnDestroy();
  afx_msg void OnClose();
  afx_msg void OnSysColorChange();
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnSize(UINT nType, int cx, int cy);
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
  afx_msg void OnWindowPosChanged(WINDOWPOS* lpwndpos);
  // These first offer the message to the sending control (reflection), then Default().
  afx_msg void OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);

 protected:
  WNDPROC m_pfnSuper = nullptr;  // the window's own procedure, called by DefWindowProc

  DECLARE_MESSAGE_MAP()

 private:
  friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
  friend class CWinThread;
  friend struct afx_detail::WndAccess;
  // The last step of WM_NCDESTROY, run once whether or not the handler called the base class.
  void FinalNcDestroy();
  bool m_bTemporary = false;
};

// The window procedure of every window the layer creates or subclasses.
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);

// Registers (once) a window class with DefWindowProcW as its procedure and answers its name;
// the name stays valid for the life of the process. Throws CResourceException* on failure.
LPCTSTR AFXAPI AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor = nullptr, HBRUSH hbrBackground = nullptr,
                                   HICON hIcon = nullptr);

// ---------------------------------------------------------------------------------------------
// Threads.
typedef UINT(AFX_CDECL* AFX_THREADPROC)(LPVOID);

class CWinThread : public CCmdTarget {
  DECLARE_DYNAMIC(CWinThread)
 public:
  CWinThread();
  CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam);
  ~CWinThread() override;  // closes m_hThread

  // Starts the thread. Before this returns, the new thread has its message queue, so
  // PostThreadMessage works at once, also with CREATE_SUSPENDED (the message waits in the queue
  // until the thread is resumed). FALSE when the thread could not be started.
  BOOL CreateThread(DWORD dwCreateFlags = 0, UINT nStackSize = 0, LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);

  CWnd* m_pMainWnd = nullptr;  // a new thread starts without one (it never takes the app's)
  CWnd* m_pActiveWnd = nullptr;
  BOOL m_bAutoDelete = TRUE;   // delete the object when the thread ends
  HANDLE m_hThread = nullptr;  // owned; closed by the destructor
  DWORD m_nThreadID = 0;
  operator HANDLE() const { return m_hThread; }

  int GetThreadPriority();
  BOOL SetThreadPriority(int nPriority);
  DWORD ResumeThread();
  BOOL PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // Overridables, called on the thread itself.
  virtual BOOL InitInstance();
  virtual int Run();
  // Sees every message the loop takes, thread messages (hwnd NULL) included, before it is
  // dispatched: thread messages go to the ON_THREAD_MESSAGE entries of the map, window
  // messages to the PreTranslateMessage of the target window and its parents. TRUE = consumed.
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  virtual BOOL PumpMessage();
  // Called while the queue is empty; lCount counts calls since the last message. FALSE ends the
  // idle phase until the next message. The base deletes the thread's temporary CWnd wrappers.
  virtual BOOL OnIdle(LONG lCount);
  virtual BOOL IsIdleMessage(MSG* pMsg);
  virtual int ExitInstance();
  virtual CWnd* GetMainWnd();
  // Called when the thread ends; deletes the object when m_bAutoDelete is set.
  virtual void Delete();

  BOOL DispatchThreadMessageEx(MSG* pMsg);

  MSG m_msgCur{};
  AFX_THREADPROC m_pfnThreadProc = nullptr;
  LPVOID m_pThreadParams = nullptr;

 protected:
  DECLARE_MESSAGE_MAP()

 private:
  friend class CWnd;
  friend struct afx_detail::WndAccess;
  bool m_bInMessageLoop = false;  // between the start of Run's loop and WM_QUIT
};

// Starts a worker thread running pfnThreadProc(pParam), or a thread of a CWinThread class
// (InitInstance, then Run unless it answers FALSE, then ExitInstance). The thread is started
// suspended, given nPriority and resumed unless dwCreateFlags holds CREATE_SUSPENDED. NULL on
// failure.
CWinThread* AFXAPI AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority = THREAD_PRIORITY_NORMAL,
                                  UINT nStackSize = 0, DWORD dwCreateFlags = 0,
                                  LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);
CWinThread* AFXAPI AfxBeginThread(CRuntimeClass* pThreadClass, int nPriority = THREAD_PRIORITY_NORMAL,
                                  UINT nStackSize = 0, DWORD dwCreateFlags = 0,
                                  LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);
// Ends the calling thread of the layer after unwinding its stack to the thread entry.
[[noreturn]] void AFXAPI AfxEndThread(UINT nExitCode, BOOL bDelete = TRUE);
// The CWinThread of the calling thread: the application object on the thread that constructed
// it, NULL on a thread the layer did not start.
CWinThread* AFXAPI AfxGetThread();
void AFXAPI AfxPostQuitMessage(int nExitCode);

// ---------------------------------------------------------------------------------------------
// The application: one global object of a CWinApp class, driven by AfxWinMain.
class CWinApp : public CWinThread {
  DECLARE_DYNAMIC(CWinApp)
 public:
  explicit CWinApp(LPCTSTR lpszAppName = nullptr);
  ~CWinApp() override;

  LPCTSTR m_pszAppName = nullptr;
  LPCTSTR m_pszExeName = nullptr;
  HINSTANCE m_hInstance = nullptr;
  HINSTANCE m_hPrevInstance = nullptr;
  LPTSTR m_lpCmdLine = nullptr;
  int m_nCmdShow = SW_SHOWNORMAL;

  virtual BOOL InitApplication();
  BOOL InitInstance() override;
  int ExitInstance() override;
  // Posts WM_QUIT at once when InitInstance left no main window, then runs the thread's loop.
  int Run() override;
  // The application's message box (AfxMessageBox goes through here).
  virtual int DoMessageBox(LPCTSTR lpszPrompt, UINT nType, UINT nIDPrompt);

 private:
  CString m_strAppName;
  CString m_strExeName;
  CString m_strCmdLine;
  friend int AFXAPI AfxWinMain(HINSTANCE, HINSTANCE, LPTSTR, int);
  friend BOOL AFXAPI AfxWinInit(HINSTANCE, HINSTANCE, LPTSTR, int);
};

CWinApp* AFXAPI AfxGetApp();
CWnd* AFXAPI AfxGetMainWnd();
LPCTSTR AFXAPI AfxGetAppName();
// Sets up the application object and runs it: InitApplication, InitInstance, then Run, or
// ExitInstance when InitInstance fails. Answers the exit code. The program's WinMain (supplied by
// the layer) calls it.
int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow);
BOOL AFXAPI AfxWinInit(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow);

// Message boxes owned by the calling thread's main window, captioned with the application name.
int AFXAPI AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AFXAPI AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = static_cast<UINT>(-1));

// Window and dialog pieces that grow with the controls live in their own header.
#include "afxgdi.h"
#include "afxwin_controls.h"

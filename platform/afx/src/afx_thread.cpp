// CWinThread and AfxBeginThread.
//
// Start-up handshake: CreateThread starts the new thread, which first creates its message queue
// (PeekMessage) and then waits at a gate. Only then does CreateThread suspend it (when
// CREATE_SUSPENDED was asked) and open the gate. So a thread message posted right after
// CreateThread returns, even to a thread that has not yet been resumed, already has a queue to
// go to, and is delivered once the thread runs.
#include "afx_state.h"

#include <UniqueHandle.h>
#include <process.h>

#include <memory>

using afx_detail::State;

namespace afx_detail {
namespace {

// Shared by the creating thread and the new thread; the last one to let go closes the events.
struct StartGate {
  CWinThread* thread = nullptr;
  win::UniqueKernelHandle queueReady{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  win::UniqueKernelHandle proceed{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

}  // namespace

unsigned __stdcall ThreadEntry(void* pParam) {
  std::shared_ptr<StartGate> gate;
  {
    std::unique_ptr<std::shared_ptr<StartGate>> holder(static_cast<std::shared_ptr<StartGate>*>(pParam));
    gate = *holder;
  }
  CWinThread* const thread = gate->thread;
  State().thread = thread;
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // creates this thread's queue
  SetEvent(gate->queueReady.get());
  WaitForSingleObject(gate->proceed.get(), INFINITE);
  gate.reset();

  UINT code = 0;
  BOOL bDelete = TRUE;
  try {
    if (thread->m_pfnThreadProc)
      code = thread->m_pfnThreadProc(thread->m_pThreadParams);
    else if (!thread->InitInstance())
      code = static_cast<UINT>(thread->ExitInstance());
    else
      code = static_cast<UINT>(thread->Run());
  } catch (const EndThreadUnwind& end) {
    code = end.code;
    bDelete = end.bDelete;
  } catch (...) {
    AfxReportCaughtException("thread entry");
    code = static_cast<UINT>(-1);
  }
  CWnd::DeleteTempMap();
  State().thread = nullptr;
  if (bDelete) {
    try {
      thread->Delete();
    } catch (...) {
      AfxReportCaughtException("thread end");
    }
  }
  return code;
}

}  // namespace afx_detail

// ---------------------------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CWinThread, CCmdTarget)

BEGIN_MESSAGE_MAP(CWinThread, CCmdTarget)
END_MESSAGE_MAP()

CWinThread::CWinThread() = default;

CWinThread::CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam)
    : m_pfnThreadProc(pfnThreadProc), m_pThreadParams(pParam) {}

CWinThread::~CWinThread() {
  if (m_hThread) CloseHandle(m_hThread);
  if (State().thread == this) State().thread = nullptr;
}

BOOL CWinThread::CreateThread(DWORD dwCreateFlags, UINT nStackSize, LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
  if (m_hThread) return FALSE;
  auto gate = std::make_shared<afx_detail::StartGate>();
  if (!gate->queueReady.get() || !gate->proceed.get()) return FALSE;
  gate->thread = this;
  auto* param = new std::shared_ptr<afx_detail::StartGate>(gate);
  unsigned id = 0;
  const uintptr_t h =
      _beginthreadex(lpSecurityAttrs, nStackSize, &afx_detail::ThreadEntry, param, CREATE_SUSPENDED, &id);
  if (!h) {
    delete param;
    return FALSE;
  }
  m_hThread = reinterpret_cast<HANDLE>(h);
  m_nThreadID = id;
  if (::ResumeThread(m_hThread) == static_cast<DWORD>(-1)) {
    // The thread cannot run: end it before it touches this object.
    TerminateThread(m_hThread, static_cast<DWORD>(-1));
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    m_nThreadID = 0;
    return FALSE;
  }
  const HANDLE started[2] = {gate->queueReady.get(), m_hThread};
  if (WaitForMultipleObjects(2, started, FALSE, INFINITE) != WAIT_OBJECT_0) {
    // The thread ended (or the wait failed) before it reached the gate.
    SetEvent(gate->proceed.get());
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    m_nThreadID = 0;
    return FALSE;
  }
  if (dwCreateFlags & CREATE_SUSPENDED) ::SuspendThread(m_hThread);
  SetEvent(gate->proceed.get());
  return TRUE;
}

int CWinThread::GetThreadPriority() { return ::GetThreadPriority(m_hThread); }
BOOL CWinThread::SetThreadPriority(int nPriority) { return ::SetThreadPriority(m_hThread, nPriority); }
DWORD CWinThread::ResumeThread() { return ::ResumeThread(m_hThread); }
BOOL CWinThread::PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostThreadMessageW(m_nThreadID, message, wParam, lParam);
}

BOOL CWinThread::InitInstance() { return FALSE; }

int CWinThread::Run() {
  m_bInMessageLoop = true;
  BOOL bIdle = TRUE;
  LONG lIdleCount = 0;
  for (;;) {
    while (bIdle && !::PeekMessageW(&m_msgCur, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!OnIdle(lIdleCount++)) bIdle = FALSE;
    }
    do {
      if (!PumpMessage()) {
        m_bInMessageLoop = false;
        return ExitInstance();
      }
      if (IsIdleMessage(&m_msgCur)) {
        bIdle = TRUE;
        lIdleCount = 0;
      }
    } while (::PeekMessageW(&m_msgCur, nullptr, 0, 0, PM_NOREMOVE));
  }
}

BOOL CWinThread::PumpMessage() {
  const BOOL r = ::GetMessageW(&m_msgCur, nullptr, 0, 0);
  if (r == 0) return FALSE;  // WM_QUIT
  if (r == -1) {
    OutputDebugStringA("afx: GetMessage failed; the thread's message loop ends\n");
    return FALSE;
  }
  try {
    if (!PreTranslateMessage(&m_msgCur)) {
      ::TranslateMessage(&m_msgCur);
      ::DispatchMessageW(&m_msgCur);
    }
  } catch (...) {
    AfxReportCaughtException("message loop");
  }
  return TRUE;
}

BOOL CWinThread::DispatchThreadMessageEx(MSG* pMsg) {
  const AFX_MSGMAP_ENTRY* e = FindMessageEntry(pMsg->message, 0, 0);
  if (!e) return FALSE;
  LRESULT ignored = 0;
  e->pfn(this, pMsg->wParam, pMsg->lParam, &ignored);
  return TRUE;
}

BOOL CWinThread::PreTranslateMessage(MSG* pMsg) {
  if (!pMsg->hwnd) return DispatchThreadMessageEx(pMsg);
  CWnd* pMainWnd = GetMainWnd();
  HWND hMain = pMainWnd ? pMainWnd->m_hWnd : nullptr;
  if (CWnd::WalkPreTranslateTree(hMain, pMsg)) return TRUE;
  // A message for a window outside the main window's family (a modeless popup) still gets the
  // main window's pre-translation, as its accelerators apply there too.
  if (hMain && ::IsWindow(hMain)) {
    HWND top = pMsg->hwnd;
    for (HWND p; (p = ::GetParent(top)) != nullptr;) top = p;
    if (top != hMain) return pMainWnd->PreTranslateMessage(pMsg);
  }
  return FALSE;
}

BOOL CWinThread::OnIdle(LONG lCount) {
  if (lCount <= 0) return TRUE;
  CWnd::DeleteTempMap();
  return FALSE;
}

BOOL CWinThread::IsIdleMessage(MSG* pMsg) {
  // Mouse moves and the caret's blink come so often that they would keep the idle work running.
  return pMsg->message != WM_MOUSEMOVE && pMsg->message != WM_NCMOUSEMOVE && pMsg->message != WM_PAINT &&
         pMsg->message != 0x0118 /* WM_SYSTIMER */;
}

int CWinThread::ExitInstance() { return static_cast<int>(m_msgCur.wParam); }

CWnd* CWinThread::GetMainWnd() { return m_pActiveWnd ? m_pActiveWnd : m_pMainWnd; }

void CWinThread::Delete() {
  if (m_bAutoDelete) delete this;
}

// ---------------------------------------------------------------------------------------------
static CWinThread* StartThread(CWinThread* pThread, int nPriority, UINT nStackSize, DWORD dwCreateFlags,
                               LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
  if (!pThread->CreateThread(dwCreateFlags | CREATE_SUSPENDED, nStackSize, lpSecurityAttrs)) {
    delete pThread;
    return nullptr;
  }
  if (!pThread->SetThreadPriority(nPriority)) OutputDebugStringA("afx: SetThreadPriority failed for a new thread\n");
  if (!(dwCreateFlags & CREATE_SUSPENDED)) pThread->ResumeThread();
  return pThread;
}

CWinThread* AFXAPI AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority, UINT nStackSize,
                                  DWORD dwCreateFlags, LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
  if (!pfnThreadProc) return nullptr;
  CWinThread* pThread = new (std::nothrow) CWinThread(pfnThreadProc, pParam);
  if (!pThread) return nullptr;
  return StartThread(pThread, nPriority, nStackSize, dwCreateFlags, lpSecurityAttrs);
}

CWinThread* AFXAPI AfxBeginThread(CRuntimeClass* pThreadClass, int nPriority, UINT nStackSize, DWORD dwCreateFlags,
                                  LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
  if (!pThreadClass || !pThreadClass->IsDerivedFrom(RUNTIME_CLASS(CWinThread))) return nullptr;
  CObject* pObject = pThreadClass->CreateObject();
  if (!pObject) return nullptr;
  return StartThread(static_cast<CWinThread*>(pObject), nPriority, nStackSize, dwCreateFlags, lpSecurityAttrs);
}

void AFXAPI AfxEndThread(UINT nExitCode, BOOL bDelete) {
  CWinThread* thread = AfxGetThread();
  if (thread && thread != AfxGetApp()) throw afx_detail::EndThreadUnwind{nExitCode, bDelete};
  // Not a thread the layer started: there is no entry to unwind to.
  ExitThread(nExitCode);
}

CWinThread* AFXAPI AfxGetThread() { return State().thread; }

void AFXAPI AfxPostQuitMessage(int nExitCode) { ::PostQuitMessage(nExitCode); }

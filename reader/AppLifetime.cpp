#include "AppLifetime.h"

#include <objbase.h>
#include <ole2.h>
// GDI+'s headers expect min/max macros that NOMINMAX removes.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <memory>
#include <new>
#include <utility>

namespace orv_reader {

SingleInstanceMutex::Result SingleInstanceMutex::Acquire(const wchar_t* name) {
  Release();
  win::UniqueKernelHandle mutex(CreateMutexW(nullptr, TRUE, name));
  const DWORD error = GetLastError();
  if (!mutex) return Result::Failed;
  // Another instance holds it; the handle we got does not make us the owner, and goes.
  if (error == ERROR_ALREADY_EXISTS) return Result::AlreadyRunning;
  m_mutex = std::move(mutex);
  return Result::First;
}

void SingleInstanceMutex::Release() {
  if (!m_mutex) return;
  ReleaseMutex(m_mutex.get());
  m_mutex.reset();
}

namespace {

// Longest path the system hands out, terminator included.
constexpr DWORD kMaxImagePath = 32768;

// The full path of the process's program image into `path` (kMaxImagePath characters).
bool ImagePath(HANDLE process, wchar_t* path) {
  DWORD size = kMaxImagePath;
  return QueryFullProcessImageNameW(process, 0, path, &size) != FALSE;
}

// Whether the window is the dialog of a reader in the caller's session: the shared section is
// shared by every process of the image in every session, while the mutex is one per session, so
// the value may have been written by a reader of another session, or by anything that maps the
// image; it may also name a window that has gone and whose handle was reused.
bool IsReaderDialog(HWND window) {
  if (window == nullptr || !IsWindow(window)) return false;
  wchar_t className[16] = {};
  if (GetClassNameW(window, className, 16) == 0 ||
      CompareStringOrdinal(className, -1, L"#32770", -1, TRUE) != CSTR_EQUAL)  // the system's dialog class
    return false;
  DWORD process = 0;
  if (GetWindowThreadProcessId(window, &process) == 0 || process == 0) return false;
  DWORD session = 0, ownSession = 0;
  if (!ProcessIdToSessionId(process, &session) || !ProcessIdToSessionId(GetCurrentProcessId(), &ownSession) ||
      session != ownSession)
    return false;
  win::UniqueKernelHandle other(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
  if (!other) return false;
  // Start-up must not throw, so the buffers come without exceptions.
  std::unique_ptr<wchar_t[]> otherPath(new (std::nothrow) wchar_t[kMaxImagePath]);
  std::unique_ptr<wchar_t[]> ownPath(new (std::nothrow) wchar_t[kMaxImagePath]);
  if (!otherPath || !ownPath || !ImagePath(other.get(), otherPath.get()) ||
      !ImagePath(GetCurrentProcess(), ownPath.get()))
    return false;
  // Paths name the same file whatever their case.
  return CompareStringOrdinal(otherPath.get(), -1, ownPath.get(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

bool RestoreFirstInstance(HWND sharedDialog) {
  if (!IsReaderDialog(sharedDialog)) return false;
  ShowWindow(sharedDialog, SW_RESTORE);
  return true;
}

HRESULT ComInitialization::Initialize() {
  Uninitialize();
  const HRESULT hr = CoInitialize(nullptr);
  m_initialized = SUCCEEDED(hr);
  m_threadId = GetCurrentThreadId();
  return hr;
}

void ComInitialization::Uninitialize() {
  if (!m_initialized) return;
  m_initialized = false;
  // COM's count belongs to the thread that initialised it.
  if (m_threadId == GetCurrentThreadId()) CoUninitialize();
}

HRESULT OleInitialization::Initialize() {
  Uninitialize();
  const HRESULT hr = OleInitialize(nullptr);
  m_initialized = SUCCEEDED(hr);
  return hr;
}

void OleInitialization::Uninitialize() {
  if (!m_initialized) return;
  m_initialized = false;
  OleUninitialize();
}

bool GdiplusSession::Startup() {
  Shutdown();
  Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, background thread on
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
  m_token = token;
  return true;
}

void GdiplusSession::Shutdown() {
  if (m_token == 0) return;
  Gdiplus::GdiplusShutdown(m_token);
  m_token = 0;
}

CWinThread* StartOwnedThread(CRuntimeClass* threadClass, int priority) {
  // The object is made here and its auto-deletion switched off before the thread exists, so the
  // thread can never delete it (and close the handle that shutdown waits on), however early it
  // ends. (Starting it suspended and clearing the flag afterwards would do too, but a suspension
  // requested while the new thread runs lands asynchronously on some systems.)
  if (threadClass == nullptr || !threadClass->IsDerivedFrom(RUNTIME_CLASS(CWinThread))) return nullptr;
  CWinThread* thread = static_cast<CWinThread*>(threadClass->CreateObject());
  if (thread == nullptr) return nullptr;
  thread->m_bAutoDelete = FALSE;
  if (!thread->CreateThread(0, 0, nullptr)) {
    delete thread;
    return nullptr;
  }
  thread->SetThreadPriority(priority);
  return thread;
}

DWORD StopOwnedThread(CWinThread* thread, UINT shutdownMessage, WPARAM wParam) {
  if (thread == nullptr) return WAIT_FAILED;
  thread->PostThreadMessage(shutdownMessage, wParam, 0);
  const DWORD wait = WaitForSingleObject(thread->m_hThread, INFINITE);
  delete thread;
  return wait;
}

}  // namespace orv_reader

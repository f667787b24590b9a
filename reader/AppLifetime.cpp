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

bool RestoreFirstInstance(HWND sharedDialog) {
  if (sharedDialog == nullptr || !IsWindow(sharedDialog)) return false;
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

DWORD StopOwnedThread(CWinThread* thread, UINT shutdownMessage) {
  if (thread == nullptr) return WAIT_FAILED;
  thread->PostThreadMessage(shutdownMessage, 0, 0);
  const DWORD wait = WaitForSingleObject(thread->m_hThread, INFINITE);
  delete thread;
  return wait;
}

}  // namespace orv_reader

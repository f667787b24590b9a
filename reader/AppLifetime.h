// The pieces of the reader's start-up and shutdown that own something: the single-instance
// mutex, the OLE / COM / GDI+ sessions of the UI thread and the speech control thread. Each
// releases exactly what it acquired, so that an early end of start-up (a second instance, no
// language module) tears down only what was set up.
#pragma once

#include <UniqueHandle.h>
#include <afxwin.h>

namespace orv_reader {

// The named mutex that lets only one reader run. The first instance creates it owned and
// keeps it until Release; any later instance finds it existing and closes its own handle at
// once.
class SingleInstanceMutex {
 public:
  enum class Result { First, AlreadyRunning, Failed };

  SingleInstanceMutex() = default;
  ~SingleInstanceMutex() { Release(); }
  SingleInstanceMutex(const SingleInstanceMutex&) = delete;
  SingleInstanceMutex& operator=(const SingleInstanceMutex&) = delete;

  Result Acquire(const wchar_t* name);
  // Releases and closes the mutex when this instance holds it; otherwise does nothing.
  void Release();
  bool IsHeld() const { return static_cast<bool>(m_mutex); }

 private:
  win::UniqueKernelHandle m_mutex;
};

// Restores the first instance's dialog, when the shared handle still names a window that is a
// dialog of a process running this same program image in the caller's session; anything else is
// left alone. The handle may be stale (that instance may have ended, or been killed, since it
// wrote it) or written by an instance of another session.
bool RestoreFirstInstance(HWND sharedDialog);

// CoInitialize(NULL) for the calling thread; CoUninitialize only when it succeeded (S_FALSE,
// "already initialised", counts as success and must be balanced too).
class ComInitialization {
 public:
  ComInitialization() = default;
  ~ComInitialization() { Uninitialize(); }
  ComInitialization(const ComInitialization&) = delete;
  ComInitialization& operator=(const ComInitialization&) = delete;

  HRESULT Initialize();
  void Uninitialize();
  bool IsInitialized() const { return m_initialized; }

 private:
  bool m_initialized = false;
  DWORD m_threadId = 0;
};

// OleInitialize for the calling thread, with the same rule as above.
class OleInitialization {
 public:
  OleInitialization() = default;
  ~OleInitialization() { Uninitialize(); }
  OleInitialization(const OleInitialization&) = delete;
  OleInitialization& operator=(const OleInitialization&) = delete;

  HRESULT Initialize();
  void Uninitialize();
  bool IsInitialized() const { return m_initialized; }

 private:
  bool m_initialized = false;
};

// GDI+ for the process; shut down only with a token that start-up obtained.
class GdiplusSession {
 public:
  GdiplusSession() = default;
  ~GdiplusSession() { Shutdown(); }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;

  // True when GDI+ started.
  bool Startup();
  void Shutdown();
  bool IsStarted() const { return m_token != 0; }

 private:
  ULONG_PTR m_token = 0;
};

// Starts a thread of a CWinThread class, running at once, that is NOT deleted when it ends, so
// that its handle stays valid for StopOwnedThread to wait on. NULL when it could not be started.
CWinThread* StartOwnedThread(CRuntimeClass* threadClass, int priority = THREAD_PRIORITY_NORMAL);

// Posts the thread its shutdown message (with `wParam`), waits for it without time limit and
// deletes it. Answers the wait's result (WAIT_OBJECT_0 once the thread has ended). A thread that
// could not be told (its queue is gone) is still waited for.
DWORD StopOwnedThread(CWinThread* thread, UINT shutdownMessage, WPARAM wParam = 0);

}  // namespace orv_reader

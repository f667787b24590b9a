// Synchronisation objects in the MFC manner: CEvent, CCriticalSection, CMutex, CSemaphore and
// the scoped CSingleLock. Each object owns its kernel handle (or critical section) and releases it
// in its destructor. A failed creation throws CResourceException*, as MFC does.
#pragma once

#include "afx.h"

class CSyncObject : public CObject {
  DECLARE_DYNAMIC(CSyncObject)
 public:
  explicit CSyncObject(LPCTSTR pstrName);
  ~CSyncObject() override;
  CSyncObject(const CSyncObject&) = delete;
  CSyncObject& operator=(const CSyncObject&) = delete;

  operator HANDLE() const { return m_hObject; }

  // Waits for the object; TRUE when it was signalled (or acquired) within dwTimeout.
  virtual BOOL Lock(DWORD dwTimeout = INFINITE);
  virtual BOOL Unlock() = 0;
  virtual BOOL Unlock(LONG /*lCount*/, LPLONG /*lpPrevCount*/ = nullptr) { return TRUE; }

  HANDLE m_hObject = nullptr;  // owned; closed by the destructor
};

class CEvent : public CSyncObject {
  DECLARE_DYNAMIC(CEvent)
 public:
  // Auto-reset and unsignalled by default, like MFC's.
  explicit CEvent(BOOL bInitiallyOwn = FALSE, BOOL bManualReset = FALSE, LPCTSTR lpszName = nullptr,
                  LPSECURITY_ATTRIBUTES lpsaAttribute = nullptr);
  BOOL SetEvent();
  BOOL ResetEvent();
  using CSyncObject::Unlock;
  BOOL Unlock() override { return TRUE; }
};

class CCriticalSection : public CSyncObject {
  DECLARE_DYNAMIC(CCriticalSection)
 public:
  CCriticalSection();
  ~CCriticalSection() override;

  operator CRITICAL_SECTION*() { return &m_sect; }
  BOOL Lock();
  // A critical section has no time-out; any dwTimeout waits until it is entered.
  BOOL Lock(DWORD dwTimeout) override;
  using CSyncObject::Unlock;
  BOOL Unlock() override;

  CRITICAL_SECTION m_sect;
};

class CMutex : public CSyncObject {
  DECLARE_DYNAMIC(CMutex)
 public:
  explicit CMutex(BOOL bInitiallyOwn = FALSE, LPCTSTR lpszName = nullptr,
                  LPSECURITY_ATTRIBUTES lpsaAttribute = nullptr);
  using CSyncObject::Unlock;
  BOOL Unlock() override;
};

class CSemaphore : public CSyncObject {
  DECLARE_DYNAMIC(CSemaphore)
 public:
  explicit CSemaphore(LONG lInitialCount = 1, LONG lMaxCount = 1, LPCTSTR pstrName = nullptr,
                      LPSECURITY_ATTRIBUTES lpsaAttributes = nullptr);
  BOOL Unlock() override;
  BOOL Unlock(LONG lCount, LPLONG lprevCount = nullptr) override;
};

// Scoped access to one synchronisation object; the destructor unlocks what this object locked.
class CSingleLock {
 public:
  explicit CSingleLock(CSyncObject* pObject, BOOL bInitialLock = FALSE);
  ~CSingleLock();
  CSingleLock(const CSingleLock&) = delete;
  CSingleLock& operator=(const CSingleLock&) = delete;

  BOOL Lock(DWORD dwTimeOut = INFINITE);
  BOOL Unlock();
  BOOL Unlock(LONG lCount, LPLONG lPrevCount = nullptr);
  BOOL IsLocked() const { return m_bAcquired; }

 protected:
  CSyncObject* m_pObject;
  HANDLE m_hObject;
  BOOL m_bAcquired = FALSE;
};

// Synchronisation objects.
#include "afxmt.h"

IMPLEMENT_DYNAMIC(CSyncObject, CObject)
IMPLEMENT_DYNAMIC(CEvent, CSyncObject)
IMPLEMENT_DYNAMIC(CCriticalSection, CSyncObject)
IMPLEMENT_DYNAMIC(CMutex, CSyncObject)
IMPLEMENT_DYNAMIC(CSemaphore, CSyncObject)

CSyncObject::CSyncObject(LPCTSTR) {}

CSyncObject::~CSyncObject() {
  if (m_hObject) CloseHandle(m_hObject);
}

BOOL CSyncObject::Lock(DWORD dwTimeout) {
  const DWORD r = WaitForSingleObject(m_hObject, dwTimeout);
  return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

CEvent::CEvent(BOOL bInitiallyOwn, BOOL bManualReset, LPCTSTR lpszName, LPSECURITY_ATTRIBUTES lpsa)
    : CSyncObject(lpszName) {
  m_hObject = CreateEventW(lpsa, bManualReset, bInitiallyOwn, lpszName);
  if (!m_hObject) AfxThrowResourceException();
}
BOOL CEvent::SetEvent() { return ::SetEvent(m_hObject); }
BOOL CEvent::ResetEvent() { return ::ResetEvent(m_hObject); }

CCriticalSection::CCriticalSection() : CSyncObject(nullptr) { InitializeCriticalSection(&m_sect); }
CCriticalSection::~CCriticalSection() { DeleteCriticalSection(&m_sect); }
BOOL CCriticalSection::Lock() {
  EnterCriticalSection(&m_sect);
  return TRUE;
}
BOOL CCriticalSection::Lock(DWORD) { return Lock(); }
BOOL CCriticalSection::Unlock() {
  LeaveCriticalSection(&m_sect);
  return TRUE;
}

CMutex::CMutex(BOOL bInitiallyOwn, LPCTSTR lpszName, LPSECURITY_ATTRIBUTES lpsa) : CSyncObject(lpszName) {
  m_hObject = CreateMutexW(lpsa, bInitiallyOwn, lpszName);
  if (!m_hObject) AfxThrowResourceException();
}
BOOL CMutex::Unlock() { return ReleaseMutex(m_hObject); }

CSemaphore::CSemaphore(LONG lInitialCount, LONG lMaxCount, LPCTSTR pstrName, LPSECURITY_ATTRIBUTES lpsa)
    : CSyncObject(pstrName) {
  m_hObject = CreateSemaphoreW(lpsa, lInitialCount, lMaxCount, pstrName);
  if (!m_hObject) AfxThrowResourceException();
}
BOOL CSemaphore::Unlock() { return Unlock(1, nullptr); }
BOOL CSemaphore::Unlock(LONG lCount, LPLONG lprevCount) { return ReleaseSemaphore(m_hObject, lCount, lprevCount); }

CSingleLock::CSingleLock(CSyncObject* pObject, BOOL bInitialLock)
    : m_pObject(pObject), m_hObject(pObject ? pObject->m_hObject : nullptr) {
  if (bInitialLock) Lock();
}

CSingleLock::~CSingleLock() { Unlock(); }

BOOL CSingleLock::Lock(DWORD dwTimeOut) {
  // Locking twice through one CSingleLock would need two unlocks; it stays one acquisition.
  if (m_bAcquired) return TRUE;
  if (!m_pObject) return FALSE;
  m_bAcquired = m_pObject->Lock(dwTimeOut);
  return m_bAcquired;
}

BOOL CSingleLock::Unlock() {
  if (m_bAcquired && m_pObject) m_bAcquired = !m_pObject->Unlock();
  return !m_bAcquired;
}

BOOL CSingleLock::Unlock(LONG lCount, LPLONG lPrevCount) {
  if (m_bAcquired && m_pObject) m_bAcquired = !m_pObject->Unlock(lCount, lPrevCount);
  return !m_bAcquired;
}

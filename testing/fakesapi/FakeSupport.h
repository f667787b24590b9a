// Shared pieces of the fake SAPI server: locks, registry keys, task-memory strings, the per-process
// settings read from the environment, the call log and the object bookkeeping.
#pragma once

#include <UniqueHandle.h>
#include <windows.h>

#include <wrl/client.h>

#include <initializer_list>
#include <string>
#include <utility>

namespace fakesapi {

// SAPI results the fake answers (documented values).
constexpr HRESULT kErrUninitialized = static_cast<HRESULT>(0x80045001);
constexpr HRESULT kErrAlreadyInitialized = static_cast<HRESULT>(0x80045002);
constexpr HRESULT kErrUnsupportedFormat = static_cast<HRESULT>(0x80045003);
constexpr HRESULT kErrInvalidFlags = static_cast<HRESULT>(0x80045004);
constexpr HRESULT kErrNoMoreItems = static_cast<HRESULT>(0x80045039);
constexpr HRESULT kErrNotFound = static_cast<HRESULT>(0x8004503A);

// The module's instance handle (set by DllMain).
extern HINSTANCE g_module;

class Lock {
 public:
  Lock() { InitializeCriticalSection(&m_cs); }
  ~Lock() { DeleteCriticalSection(&m_cs); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void Enter() { EnterCriticalSection(&m_cs); }
  void Leave() { LeaveCriticalSection(&m_cs); }

 private:
  CRITICAL_SECTION m_cs;
};

class Guard {
 public:
  explicit Guard(Lock& lock) : m_lock(lock) { m_lock.Enter(); }
  ~Guard() { m_lock.Leave(); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  Lock& m_lock;
};

// Releases the lock for the life of the object (a lock held by the enclosing Guard).
class Unguard {
 public:
  explicit Unguard(Lock& lock) : m_lock(lock) { m_lock.Leave(); }
  ~Unguard() { m_lock.Enter(); }
  Unguard(const Unguard&) = delete;
  Unguard& operator=(const Unguard&) = delete;

 private:
  Lock& m_lock;
};

// "HKEY_LOCAL_MACHINE\a\b" (or HKLM, HKEY_CURRENT_USER, HKCU, HKEY_CLASSES_ROOT, HKCR) into a
// root key and a sub-key path. False for an unknown root.
bool SplitRegistryPath(const std::wstring& path, HKEY* root, std::wstring* sub);
HRESULT OpenRegistryPath(const std::wstring& path, bool create, win::UniqueRegKey* key);

// A copy in COM task memory (NULL when out of memory).
LPWSTR TaskStrDup(const std::wstring& text);

bool EqualNoCase(const std::wstring& a, const std::wstring& b);

// ---- Per-process settings (environment) --------------------------------------------------------
std::wstring Env(const wchar_t* name);
bool FakeEnabled();
unsigned MsPerWord();
bool HoldStreams();
size_t HoldAtWord();  // 0: no stream stops at a word
// The category path to read for `categoryId` (the voice category may be redirected).
std::wstring MapCategory(const std::wstring& categoryId);
// A failure injected for `method`, consumed when counted; S_OK when none. Logs "Failed".
HRESULT InjectedFailure(const wchar_t* method);

// ---- Call log ----------------------------------------------------------------------------------
using Field = std::pair<const wchar_t*, std::wstring>;
void LogCall(const wchar_t* name, std::initializer_list<Field> fields = {});
std::wstring Hex(unsigned long long value);
std::wstring Dec(long long value);
// Sets the call event of this process (if a test made it).
void SignalCall();
// Sets the speak event of this process (if a test made it).
void SignalSpeak();
// The release event of this process (created on first use); lets one held stream end.
HANDLE ReleaseEvent();

// ---- COM object bookkeeping ----------------------------------------------------------------
// Reference counting shared by the fake's objects. At the last Release the object frees its
// resources (OnFinalRelease) but its memory is kept, so that a Release too many is logged as
// "ExtraRelease" instead of corrupting the process: tests count Created/Destroyed pairs.
class RefCounted {
 public:
  ULONG AddRefImpl();
  ULONG ReleaseImpl();

 protected:
  explicit RefCounted(const wchar_t* className);
  virtual ~RefCounted() = default;
  virtual void OnFinalRelease() {}

 private:
  const wchar_t* m_className;
  long m_id;
  volatile LONG m_refs = 1;
  volatile LONG m_dead = 0;
};

// Live objects and locks of the module, for DllCanUnloadNow.
extern volatile LONG g_liveObjects;
extern volatile LONG g_serverLocks;

#define FAKE_IUNKNOWN_REFS                                           \
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); } \
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

// Takes over the reference of a new object. (mingw-w64's ComPtr::Attach adds a reference of its
// own, unlike the documented one, so it is not used for this.)
template <class T>
Microsoft::WRL::ComPtr<T> Adopt(T* object) {
  Microsoft::WRL::ComPtr<T> owner;
  *owner.GetAddressOf() = object;
  return owner;
}

// Keeps C++ exceptions inside a COM method.
#define FAKE_TRY try {
#define FAKE_CATCH                \
  }                               \
  catch (const std::bad_alloc&) { \
    return E_OUTOFMEMORY;         \
  }                               \
  catch (...) {                   \
    return E_FAIL;                \
  }

}  // namespace fakesapi

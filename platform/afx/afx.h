// Core of the MFC-shaped layer: CObject with run-time class information, the exception
// objects and the common declarations every other afx header builds on.
//
// The names and signatures follow the documented MFC interface so that code written in that
// manner reads as expected; the implementation is our own and deliberately small.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <tchar.h>

#include <cstddef>

#ifndef AFXAPI
#define AFXAPI __stdcall
#endif
#ifndef AFX_CDECL
#define AFX_CDECL __cdecl
#endif
#ifndef afx_msg
#define afx_msg
#endif
#ifndef AFX_STATIC
#define AFX_STATIC static
#endif
#ifndef ASSERT
#define ASSERT(f) ((void)0)
#endif
#ifndef VERIFY
#define VERIFY(f) ((void)(f))
#endif
#ifndef ASSERT_VALID
#define ASSERT_VALID(p) ((void)0)
#endif
#ifndef TRACE
#define TRACE(...) ((void)0)
#endif

class CObject;
class CArchive;

// ---------------------------------------------------------------------------------------------
// Run-time class information (RUNTIME_CLASS, DECLARE_DYNAMIC, DECLARE_DYNCREATE).
//
// The base class is reached through a function so that the records need no particular order
// of static initialisation across translation units, and RUNTIME_CLASS works with qualified
// names (RUNTIME_CLASS(VTTSFramework::CThSpeechControl)).
struct CRuntimeClass {
  LPCSTR m_lpszClassName;
  CObject*(PASCAL* m_pfnCreateObject)();        // NULL: not dynamically creatable
  CRuntimeClass*(PASCAL* m_pfnGetBaseClass)();  // NULL for CObject

  // A new object of this class, or NULL when the class is not creatable (or out of memory).
  CObject* CreateObject();
  BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
  CRuntimeClass* GetBaseClass() const { return m_pfnGetBaseClass ? m_pfnGetBaseClass() : nullptr; }
};

#define RUNTIME_CLASS(class_name) (class_name::GetThisClass())

#define DECLARE_DYNAMIC(class_name)            \
 public:                                       \
  static CRuntimeClass* PASCAL GetThisClass(); \
  CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name) \
  DECLARE_DYNAMIC(class_name)         \
  static CObject* PASCAL CreateObject();

#define IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, pfnNew)                       \
  CRuntimeClass* PASCAL class_name::GetThisClass() {                                      \
    static CRuntimeClass s_class = {#class_name, pfnNew, &base_class_name::GetThisClass}; \
    return &s_class;                                                                      \
  }                                                                                       \
  CRuntimeClass* class_name::GetRuntimeClass() const { return class_name::GetThisClass(); }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                \
  CObject* PASCAL class_name::CreateObject() { return new class_name; } \
  IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, &class_name::CreateObject)

// ---------------------------------------------------------------------------------------------
class CObject {
 public:
  virtual ~CObject() = default;
  static CRuntimeClass* PASCAL GetThisClass();
  virtual CRuntimeClass* GetRuntimeClass() const;
  BOOL IsKindOf(const CRuntimeClass* pClass) const;

  CObject(const CObject&) = delete;
  CObject& operator=(const CObject&) = delete;

 protected:
  CObject() = default;
};

// Checked down-cast: NULL when pObject is not of that class (MFC's DYNAMIC_DOWNCAST).
#define DYNAMIC_DOWNCAST(class_name, object) \
  (static_cast<class_name*>(AfxDynamicDownCast(RUNTIME_CLASS(class_name), (object))))
#define STATIC_DOWNCAST(class_name, object) (static_cast<class_name*>(object))
CObject* AFXAPI AfxDynamicDownCast(CRuntimeClass* pClass, CObject* pObject);

// ---------------------------------------------------------------------------------------------
// Exceptions are thrown as heap pointers (throw new CResourceException) in the MFC manner;
// a catcher calls Delete() on them. Each boundary of the layer (window procedure, thread entry)
// catches them, together with standard exceptions, so none escapes into the system.
class CException : public CObject {
  DECLARE_DYNAMIC(CException)
 public:
  explicit CException(BOOL bAutoDelete = TRUE) : m_bAutoDelete(bAutoDelete) {}
  void Delete();

 protected:
  BOOL m_bAutoDelete;
};

class CSimpleException : public CException {
  DECLARE_DYNAMIC(CSimpleException)
 public:
  CSimpleException() = default;
  explicit CSimpleException(BOOL bAutoDelete) : CException(bAutoDelete) {}
};

class CMemoryException : public CSimpleException {
  DECLARE_DYNAMIC(CMemoryException)
};

class CResourceException : public CSimpleException {
  DECLARE_DYNAMIC(CResourceException)
};

class CNotSupportedException : public CSimpleException {
  DECLARE_DYNAMIC(CNotSupportedException)
};

class CInvalidArgException : public CSimpleException {
  DECLARE_DYNAMIC(CInvalidArgException)
};

// A user-visible failure that has already been reported (MFC's AfxThrowUserException).
class CUserException : public CSimpleException {
  DECLARE_DYNAMIC(CUserException)
};

[[noreturn]] void AFXAPI AfxThrowResourceException();
[[noreturn]] void AFXAPI AfxThrowMemoryException();
[[noreturn]] void AFXAPI AfxThrowNotSupportedException();
[[noreturn]] void AFXAPI AfxThrowInvalidArgException();
[[noreturn]] void AFXAPI AfxThrowUserException();

// Writes one line to the debugger output naming where an exception was stopped; used by every
// boundary of the layer that must not let an exception pass. Call it from inside a catch block.
void AFXAPI AfxReportCaughtException(const char* where) noexcept;

// ---------------------------------------------------------------------------------------------
// Module handles. The instance handle is the module that contains this layer (the program, or
// the DLL it is linked into); the resource handle starts as the same module and can be moved to a
// resource-only library (language modules).
HINSTANCE AFXAPI AfxGetInstanceHandle();
HINSTANCE AFXAPI AfxGetResourceHandle();
void AFXAPI AfxSetResourceHandle(HINSTANCE hInstResource);
HINSTANCE AFXAPI AfxFindResourceHandle(LPCTSTR lpszName, LPCTSTR lpszType);

#include "afxstr.h"

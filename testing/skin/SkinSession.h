// GDI+ started and a language module made the resource module, for the life of the object: what
// a window skinned like the reader's main dialog needs around it, outside the reader.
#pragma once

#include <afxwin.h>

#include <string>

#include "UniqueHandle.h"

class SkinSession {
 public:
  explicit SkinSession(const std::wstring& modulePath);
  ~SkinSession();
  SkinSession(const SkinSession&) = delete;
  SkinSession& operator=(const SkinSession&) = delete;
  bool ok() const { return m_module && m_gdiplus != 0; }

 private:
  ULONG_PTR m_gdiplus = 0;
  win::UniqueModule m_module;  // freed after the previous resource module is back
  HINSTANCE m_previous = nullptr;
};

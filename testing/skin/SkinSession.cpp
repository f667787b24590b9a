#include "SkinSession.h"

#include <commctrl.h>
#include <gdiplus.h>

SkinSession::SkinSession(const std::wstring& modulePath) {
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&m_gdiplus, &input, nullptr) != Gdiplus::Ok) m_gdiplus = 0;
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  m_module.reset(LoadLibraryW(modulePath.c_str()));
  m_previous = AfxGetResourceHandle();
  if (m_module) AfxSetResourceHandle(m_module.get());
}

SkinSession::~SkinSession() {
  AfxSetResourceHandle(m_previous);
  m_module.reset();
  if (m_gdiplus) Gdiplus::GdiplusShutdown(m_gdiplus);
}

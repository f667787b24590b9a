#include "PluginPage.h"

#include "PluginApp.h"

#include <nsisplugin.h>

namespace gwplugin {

IMPLEMENT_DYNAMIC(CPluginPage, CDialog)

BOOL CPluginPage::PreTranslateMessage(MSG* pMsg) {
  if (pMsg && pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_ESCAPE && m_hWnd &&
      (pMsg->hwnd == m_hWnd || ::IsChild(m_hWnd, pMsg->hwnd))) {
    const LRESULT wanted = ::SendMessageW(pMsg->hwnd, WM_GETDLGCODE, pMsg->wParam, reinterpret_cast<LPARAM>(pMsg));
    if (!(wanted & DLGC_WANTMESSAGE)) {
      CGWPluginApp* app = PluginAppIfAny();
      HWND parent = app ? app->parentWindow() : nullptr;
      HWND cancel = parent ? ::GetDlgItem(parent, nsis::kIdCancel) : nullptr;
      if (cancel && ::IsWindowEnabled(cancel))
        ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(nsis::kIdCancel, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
      return TRUE;
    }
  }
  return CDialog::PreTranslateMessage(pMsg);
}

void CPluginPage::EnableNsisButton(int id, bool enable) {
  CGWPluginApp* app = PluginAppIfAny();
  HWND parent = app ? app->parentWindow() : nullptr;
  if (!parent) return;
  if (HWND button = ::GetDlgItem(parent, id)) ::EnableWindow(button, enable ? TRUE : FALSE);
}

}  // namespace gwplugin

#include "PluginPage.h"

#include "PluginApp.h"

#include <nsisplugin.h>

namespace gwplugin {

IMPLEMENT_DYNAMIC(CPluginPage, CDialog)

bool CPluginPage::IsEscapeForThePage(const MSG& msg, HWND nsisWindow) const {
  if (msg.wParam != VK_ESCAPE || !m_hWnd) return false;
  const bool inPage = msg.hwnd == m_hWnd || ::IsChild(m_hWnd, msg.hwnd);
  if (msg.message == WM_KEYDOWN) {
    // A control that takes the key itself (an open drop-down list) keeps it.
    if (!inPage) return false;
    const LRESULT wanted = ::SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
    return !(wanted & DLGC_WANTMESSAGE);
  }
  // With no window focused (the page takes none, and the NSIS button that had it may have been
  // disabled) the system gives the key to the active window as a system key, which no dialog
  // handling turns into Cancel. Alt+Escape is the system's own and stays so.
  return msg.message == WM_SYSKEYDOWN && !(HIWORD(msg.lParam) & KF_ALTDOWN) &&
         (inPage || (nsisWindow && msg.hwnd == nsisWindow));
}

BOOL CPluginPage::PreTranslateMessage(MSG* pMsg) {
  CGWPluginApp* app = PluginAppIfAny();
  HWND parent = app ? app->parentWindow() : nullptr;
  if (pMsg && IsEscapeForThePage(*pMsg, parent)) {
    HWND cancel = parent ? ::GetDlgItem(parent, nsis::kIdCancel) : nullptr;
    if (cancel && ::IsWindowEnabled(cancel))
      ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(nsis::kIdCancel, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
    return TRUE;
  }
  return CDialog::PreTranslateMessage(pMsg);
}

void CPluginPage::EnableNsisButton(int id, bool enable) {
  CGWPluginApp* app = PluginAppIfAny();
  HWND parent = app ? app->parentWindow() : nullptr;
  if (!parent) return;
  HWND button = ::GetDlgItem(parent, id);
  if (!button) return;
  // Nonzero: the button was disabled before.
  const bool was_disabled = ::EnableWindow(button, enable ? TRUE : FALSE) != FALSE;
  if (enable && was_disabled && !::GetFocus()) FocusNsisButton(id);
}

void CPluginPage::FocusNsisButton(int id) {
  CGWPluginApp* app = PluginAppIfAny();
  HWND parent = app ? app->parentWindow() : nullptr;
  HWND button = parent ? ::GetDlgItem(parent, id) : nullptr;
  if (!button || !::IsWindowEnabled(button)) return;
  ::SendMessageW(parent, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(button), TRUE);
}

}  // namespace gwplugin

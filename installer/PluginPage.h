// The common form of the plug-in's wizard pages: modeless child dialogs of the NSIS window,
// made from a template of the installer's language and driven by the NSIS buttons.
#pragma once

#include <afxwin.h>

namespace gwplugin {

class CPluginPage : public CDialog {
  DECLARE_DYNAMIC(CPluginPage)
 public:
  CPluginPage() = default;

  // The NSIS buttons move the wizard; Enter and Escape inside the page do not end it.
  void OnOK() override {}
  void OnCancel() override {}
  // Escape does what it does on NSIS's own pages: it presses the NSIS Cancel button while that
  // button is enabled, and nothing while it is disabled. A control that takes the key itself
  // (an open drop-down list) keeps it.
  BOOL PreTranslateMessage(MSG* pMsg) override;
  // The Escape key aimed at the page: at the page or one of its controls, or, while no window
  // has the focus, at the NSIS window as the active one.
  bool IsEscapeForThePage(const MSG& msg, HWND nsisWindow) const;

  // Enables or disables a button of the NSIS window that hosts the pages (1 Next, 2 Cancel,
  // 3 Back); nothing while no page export runs.
  static void EnableNsisButton(int id, bool enable);
};

}  // namespace gwplugin

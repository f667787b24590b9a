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
  // 3 Back); nothing while no page export runs. A button disabled while it had the focus takes
  // the focus with it, and keys then reach the active window as system keys, which no dialog
  // turns into a press: a button enabled again while no window of the thread has the focus
  // takes it back (FocusNsisButton).
  static void EnableNsisButton(int id, bool enable);
  // Moves the keyboard focus to a button of the NSIS window as the dialog manager does
  // (WM_NEXTDLGCTL): a push button becomes the window's default, so Return presses it.
  static void FocusNsisButton(int id);
};

}  // namespace gwplugin

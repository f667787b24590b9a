// The "please wait" dialog shown while the catalogue is on its way: modal, without buttons,
// made from the checking template of the installer's language. It ends when its owner ends it
// (the offers are built), on WM_CLOSE or WM_CHECKING_DONE, or when its wait limit has passed;
// Escape and Enter do nothing.
#pragma once

#include <afxwin.h>

#include <functional>

namespace gwplugin {

constexpr UINT WM_CHECKING_DONE = 0x821;

class CCheckingDlg : public CDialog {
  DECLARE_DYNAMIC(CCheckingDlg)
 public:
  enum : int { kIdText = 1000 };
  // How the dialog ended (DoModal's answer).
  enum : int { kEndedBuilt = IDOK, kEndedClosed = IDCANCEL, kEndedTimedOut = 3 };

  CCheckingDlg(UINT template_id, CWnd* parent) : CDialog(template_id, parent) {}

  // The longest the dialog stays up.
  void SetWaitLimit(DWORD milliseconds) { m_waitLimit = milliseconds; }
  // Asked right after the dialog opens and then every look interval: the owner looks at the
  // download there and ends the dialog (EndDialog(kEndedBuilt)) once the offers are built.
  void SetLook(std::function<void()> look, UINT interval_ms) {
    m_look = std::move(look);
    m_lookInterval = interval_ms;
  }

  BOOL OnInitDialog() override;
  void OnOK() override {}
  void OnCancel() override {}

 protected:
  afx_msg void OnClose();
  afx_msg void OnTimer(UINT_PTR id);
  afx_msg LRESULT OnCheckingDone(WPARAM, LPARAM);
  afx_msg LRESULT OnLookNow(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()

 private:
  void Look();
  enum : UINT_PTR { kLimitTimer = 1, kLookTimer = 2 };
  DWORD m_waitLimit = 120000;
  std::function<void()> m_look;
  UINT m_lookInterval = 0;
};

}  // namespace gwplugin

// The hidden top-level window that owns the main dialog.
#pragma once

#include <afxwin.h>

#include "OrvelParlonVeskDlg.h"

// Window class of the hidden main window.
constexpr const wchar_t* kMainWindowClass = L"ORVEL_Parlon_mwnd";

class COPV_MainWnd : public CWnd {
 public:
  // Registers the window class when this module has not yet; throws CResourceException* when
  // that fails.
  COPV_MainWnd();
  ~COPV_MainWnd() override;

  COrvelParlonVeskDlg& Dialog() { return m_dlg; }

 protected:
  afx_msg LRESULT OnCreateMainDialog(WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

 private:
  COrvelParlonVeskDlg m_dlg;  // lives and dies with this window
  HICON m_hIcon = nullptr;    // shared icon of the language module; not destroyed
};

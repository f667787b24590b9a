#include "OrvelParlonVeskDlg.h"

#include "OrvelParlonVesk.h"
#include "ThSpeechControl.h"

BEGIN_MESSAGE_MAP(COrvelParlonVeskDlg, CDialog)
  ON_BN_CLICKED(IDC_CLOSE_BUTTON, &COrvelParlonVeskDlg::OnCloseButton)
  ON_BN_CLICKED(IDC_MINIMIZE_BUTTON, &COrvelParlonVeskDlg::OnMinimizeButton)
  ON_WM_CLOSE()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

COrvelParlonVeskDlg::COrvelParlonVeskDlg() : CDialog(IDD, nullptr) {
  m_hIcon = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

COrvelParlonVeskDlg::~COrvelParlonVeskDlg() = default;

BOOL COrvelParlonVeskDlg::Create(UINT nIDTemplate, CWnd* pParentWnd) {
  return CDialog::Create(nIDTemplate, pParentWnd);
}

BOOL COrvelParlonVeskDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  ModifyStyle(0, WS_SYSMENU | WS_MINIMIZEBOX);
  SetWindowText(L"Orvel Murmelin");
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);
  RegisterSpeechClient();
  return TRUE;
}

void COrvelParlonVeskDlg::RegisterSpeechClient() {
  VTTSFramework::CThSpeechControl* speech = theApp.GetSpeechThread();
  if (speech == nullptr) return;
  // The control window exists once the thread sets its ready event.
  m_registration.Register(m_speechClient, m_hWnd, speech->m_readyEvent, [speech]() -> HWND {
    return speech->GetControlWindow() != nullptr ? speech->GetControlWindow()->GetSafeHwnd() : nullptr;
  });
}

void COrvelParlonVeskDlg::Quit() {
  m_registration.Unregister();
  AfxPostQuitMessage(0);
}

void COrvelParlonVeskDlg::OnOK() {}

void COrvelParlonVeskDlg::OnCancel() {}

void COrvelParlonVeskDlg::OnCloseButton() { Quit(); }

void COrvelParlonVeskDlg::OnMinimizeButton() { ShowWindow(SW_MINIMIZE); }

void COrvelParlonVeskDlg::OnClose() {
  Quit();
  // The default turns WM_CLOSE into IDCANCEL, which does nothing: the dialog is destroyed
  // with the main window when the application ends.
  CDialog::OnClose();
}

void COrvelParlonVeskDlg::OnDestroy() {
  // A dialog destroyed without passing through Quit (the system ending the session, for
  // example) must still leave the speech thread with no pointer to its client.
  m_registration.Unregister();
  CDialog::OnDestroy();
}

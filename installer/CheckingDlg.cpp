#include "CheckingDlg.h"

#include "PluginLog.h"

namespace gwplugin {

namespace {
// Posted to itself by the dialog so the first look runs in the modal loop, not inside
// WM_INITDIALOG.
constexpr UINT WM_CHECKING_LOOK = WM_APP + 0x21;
}  // namespace

IMPLEMENT_DYNAMIC(CCheckingDlg, CDialog)

BEGIN_MESSAGE_MAP(CCheckingDlg, CDialog)
  ON_WM_CLOSE()
  ON_WM_TIMER()
  ON_MESSAGE(WM_CHECKING_DONE, &CCheckingDlg::OnCheckingDone)
  ON_MESSAGE(WM_CHECKING_LOOK, &CCheckingDlg::OnLookNow)
END_MESSAGE_MAP()

BOOL CCheckingDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  wchar_t text[256] = L"";
  ::GetDlgItemTextW(m_hWnd, kIdText, text, 256);
  LogLine(L"checking dialog " + std::to_wstring(m_nIDHelp) + L" shown: " + text);
  if (!SetTimer(kLimitTimer, m_waitLimit ? m_waitLimit : 1, nullptr))
    LogLine(L"checking dialog: SetTimer failed, error " + std::to_wstring(GetLastError()));
  if (m_look) {
    if (m_lookInterval) SetTimer(kLookTimer, m_lookInterval, nullptr);
    PostMessage(WM_CHECKING_LOOK, 0, 0);
  }
  return TRUE;
}

void CCheckingDlg::Look() {
  if (m_look) m_look();
}

void CCheckingDlg::OnClose() { EndDialog(kEndedClosed); }

void CCheckingDlg::OnTimer(UINT_PTR id) {
  if (id == kLimitTimer) {
    KillTimer(kLimitTimer);
    LogLine(L"checking dialog: no catalogue after " + std::to_wstring(m_waitLimit) + L" ms");
    EndDialog(kEndedTimedOut);
  } else if (id == kLookTimer) {
    Look();
  }
}

LRESULT CCheckingDlg::OnCheckingDone(WPARAM, LPARAM) {
  EndDialog(kEndedBuilt);
  return 0;
}

LRESULT CCheckingDlg::OnLookNow(WPARAM, LPARAM) {
  Look();
  return 0;
}

}  // namespace gwplugin

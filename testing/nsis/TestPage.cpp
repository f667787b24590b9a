#include "TestPage.h"

#include <NsisStack.h>

namespace gwplugin_test {

IMPLEMENT_DYNAMIC(CTestPage, gwplugin::CPluginPage)

BEGIN_MESSAGE_MAP(CTestPage, gwplugin::CPluginPage)
  ON_MESSAGE(gwplugin::WM_PAGE_LEAVING, &CTestPage::OnPageLeaving)
  ON_MESSAGE(gwplugin::WM_PAGE_LEFT, &CTestPage::OnPageLeft)
  ON_MESSAGE(WM_TEST_PAGE_SHOWN, &CTestPage::OnShown)
  ON_MESSAGE(gwplugin::WM_CONTENT_READY, &CTestPage::OnContentReady)
END_MESSAGE_MAP()

BOOL CTestPage::OnInitDialog() {
  CPluginPage::OnInitDialog();
  events.clear();
  SetDlgItemText(kTestPageEdit, initialValue.c_str());
  PostMessage(WM_TEST_PAGE_SHOWN, 0, 0);
  return TRUE;
}

LRESULT CTestPage::OnShown(WPARAM, LPARAM) {
  if (shownEvent) SetEvent(shownEvent);
  if (onShown) onShown(*this, onShownContext);
  return 0;
}

LRESULT CTestPage::OnContentReady(WPARAM wParam, LPARAM) {
  events.push_back({gwplugin::WM_CONTENT_READY, wParam});
  return 0;
}

LRESULT CTestPage::OnPageLeaving(WPARAM wParam, LPARAM lParam) {
  events.push_back({gwplugin::WM_PAGE_LEAVING, wParam});
  if (lParam) *reinterpret_cast<int*>(lParam) = allowLeaving;
  return 1;
}

LRESULT CTestPage::OnPageLeft(WPARAM wParam, LPARAM) {
  events.push_back({gwplugin::WM_PAGE_LEFT, wParam});
  CString text;
  GetDlgItemText(kTestPageEdit, text);
  gwplugin::NsisPushString(std::wstring(L"value=") + text.GetString());
  gwplugin::NsisPushInt(static_cast<int>(wParam));
  return 1;
}

}  // namespace gwplugin_test

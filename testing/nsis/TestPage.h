// A wizard page for tests of the page hosting: it shows one edit box, records the page
// messages it receives (and WM_CONTENT_READY), and pushes its own values when it is left, as the product pages do.
#pragma once

#include <PluginMessages.h>
#include <PluginPage.h>

#include <string>
#include <vector>

namespace gwplugin_test {

constexpr int kTestPageTemplate = 2900;
constexpr int kTestPageEdit = 2901;
// Posted to itself once the page is up, so the page loop is running when it is handled.
constexpr UINT WM_TEST_PAGE_SHOWN = WM_APP + 0x21;

struct PageEvent {
  UINT message;
  WPARAM wParam;
  bool operator==(const PageEvent& other) const { return message == other.message && wParam == other.wParam; }
};

class CTestPage : public gwplugin::CPluginPage {
  DECLARE_DYNAMIC(CTestPage)
 public:
  // The edit box's text when the page opens.
  std::wstring initialValue = L"page value";
  // What WM_PAGE_LEAVING answers (0 refuses to leave).
  int allowLeaving = 1;
  // Set (when not null) once the page loop runs; the NSIS tests' driver waits on it.
  HANDLE shownEvent = nullptr;
  // Called once the page loop runs (unit tests drive the NSIS window from here).
  void (*onShown)(CTestPage& page, void* context) = nullptr;
  void* onShownContext = nullptr;

  std::vector<PageEvent> events;

  BOOL OnInitDialog() override;

 protected:
  afx_msg LRESULT OnPageLeaving(WPARAM, LPARAM);
  afx_msg LRESULT OnPageLeft(WPARAM, LPARAM);
  afx_msg LRESULT OnShown(WPARAM, LPARAM);
  afx_msg LRESULT OnContentReady(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()
};

}  // namespace gwplugin_test

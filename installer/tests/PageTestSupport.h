// What the page tests share: product records and groups made by hand, and a fixture that hosts
// a real page in a fake NSIS window (its buttons, its stack) as the page exports do.
#pragma once

#include <FakeNsisHost.h>
#include <FakeNsisWindow.h>
#include <NsisStack.h>
#include <PluginApp.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace page_test {

using orv_products::CProd;
using orv_products::CProdGroup;
using orv_products::CProdPtr;

constexpr std::int64_t kMB = 1048576;
constexpr std::uint32_t kDownload = orv_products::PS_INSTALL | orv_products::PS_DOWNLOAD;

// A product whose label is its id without the "VOICE_" (or other) prefix.
inline CProdPtr Product(const std::wstring& id, std::uint32_t state, std::int64_t size = 0, int weight = 15) {
  auto p = std::make_shared<CProd>();
  p->id = id;
  p->label = id.substr(id.find('_') + 1);
  p->state = state;
  p->size = size;
  p->weight = weight;
  return p;
}

inline void AddGroup(gwplugin::ProductOffer& offer, const std::wstring& id, const std::vector<CProdPtr>& products,
                     const std::wstring& label = std::wstring()) {
  auto group = std::make_shared<CProdGroup>(id, label.empty() ? id : label);
  for (const CProdPtr& p : products) {
    group->products.push_back(p);
    offer.products.push_back(p);
  }
  offer.groups.push_back(group);
}

inline std::wstring Text(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

class PageTest : public testing::Test {
 protected:
  void SetUp() override {
    gwplugin::DestroyPluginApp();
    ASSERT_NE(nullptr, m_nsis.Handle());
    m_host.Call([](HWND, int size, WCHAR* vars, nsis::StackEntry** top, nsis::ExtraParameters* extra) {
      gwplugin::NsisEnterCall(size, vars, top, extra);
    });
    gwplugin::CGWPluginApp& app = gwplugin::ThePluginApp();
    ASSERT_TRUE(app.EnsureStarted());
    app.langid = 1033;
    app.flagsPage.SetRandomSource([] { return 0; });
  }
  void TearDown() override { gwplugin::DestroyPluginApp(); }

  // Runs a page as its export does; action runs once the page is up.
  int Run(CDialog& page, int template_id, std::function<void(HWND page)> action,
          const std::function<void()>& pre_show = nullptr) {
    gwplugin::CGWPluginApp& app = gwplugin::ThePluginApp();
    app.SubclassNsisWindow(m_nsis.Handle());
    gwplugin_test::WhenLoopRuns([&page, action] { action(page.m_hWnd); });
    const int result = app.RunPage(page, template_id, pre_show);
    app.RestoreNsisWindow();
    return result;
  }

  gwplugin_test::FakeNsisWindow m_nsis;
  gwplugin_test::FakeNsisHost m_host;
};

}  // namespace page_test

#include "Pages.h"

#include "NsisStack.h"
#include "InstallQueue.h"
#include "PluginApp.h"

#include <cwchar>

namespace gwplugin {

// ---------------------------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CComponentsDlg, CPluginPage)

BEGIN_MESSAGE_MAP(CComponentsDlg, CPluginPage)
  ON_MESSAGE(WM_PAGE_LEAVING, &CComponentsDlg::OnPageLeaving)
  ON_MESSAGE(WM_PAGE_LEFT, &CComponentsDlg::OnPageLeft)
END_MESSAGE_MAP()

BOOL CComponentsDlg::OnInitDialog() {
  CPluginPage::OnInitDialog();
  bool checked = false;
  try {
    const ProductOffer& merged = ThePluginApp().catalogue.mergedOffer;
    // Every installable application starts checked here (the reader's included): the user
    // unchecks what is not wanted.
    if (const orv_products::CProdGroupPtr applications = orv_products::FindGroupById(merged.groups, kApplicationsGroup))
      for (const orv_products::CProdPtr& product : applications->products)
        if (product) product->AddStateIfHasBits(orv_products::PS_INSTALL_CHECK, orv_products::PS_INSTALL);
    for (const orv_products::CProdPtr& product : merged.products)
      if (product && product->HasAllStateBits(orv_products::PS_INSTALL_CHECK) &&
          product->HasNoStateBits(orv_products::PS_NOT_AVAILABLE))
        checked = true;
  } catch (...) {
    AfxReportCaughtException("CComponentsDlg::OnInitDialog");
  }
  // Next is enabled while a product is checked.
  EnableNsisButton(nsis::kIdNext, checked);
  // The size static's template text is the format of the size.
  if (size_format_.empty()) {
    wchar_t format[256] = {};
    ::GetDlgItemTextW(m_hWnd, kIdSizeText, format, 256);
    size_format_ = format;
  }
  SetDlgItemText(kIdSizeText, FormatText(size_format_, {std::to_wstring(SelectedSize() / 1024 / 1024)}).c_str());
  return TRUE;
}

LRESULT CComponentsDlg::OnPageLeaving(WPARAM, LPARAM) {
  if (!ThePluginApp().catalogue.HasBuiltInProducts())
    NsisPushInt(static_cast<int>(static_cast<std::int32_t>(SelectedSize() & 0xFFFFFFFF) / 1048576));
  return 1;
}

LRESULT CComponentsDlg::OnPageLeft(WPARAM, LPARAM) { return 1; }

}  // namespace gwplugin

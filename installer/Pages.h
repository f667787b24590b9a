// The three wizard pages: the language flags page, the components page and the progress
// page. Each pops what the script pushed for it and pushes its choice when it is left.
#pragma once

#include "LangFlagsDlg.h"
#include "PluginMessages.h"
#include "PluginPage.h"
#include "ProgressDlg.h"

#include <string>

namespace gwplugin {

// Components page.
class CComponentsDlg : public CPluginPage {
  DECLARE_DYNAMIC(CComponentsDlg)
 public:
  enum : int { kIdDescription = 2012, kIdSizeText = 2017 };
  BOOL OnInitDialog() override;
  // Bytes of the checked products that are downloaded.
  long long SelectedSize() const { return 0; }

 protected:
  afx_msg LRESULT OnPageLeaving(WPARAM, LPARAM);
  afx_msg LRESULT OnPageLeft(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()

 private:
  std::wstring size_format_;  // the template text of the size static
};

}  // namespace gwplugin

#include "PluginPage.h"

#include "PluginApp.h"

namespace gwplugin {

IMPLEMENT_DYNAMIC(CPluginPage, CDialog)

void CPluginPage::EnableNsisButton(int id, bool enable) {
  CGWPluginApp* app = PluginAppIfAny();
  HWND parent = app ? app->parentWindow() : nullptr;
  if (!parent) return;
  if (HWND button = ::GetDlgItem(parent, id)) ::EnableWindow(button, enable ? TRUE : FALSE);
}

}  // namespace gwplugin

#include "PluginPage.h"

namespace gwplugin {

IMPLEMENT_DYNAMIC(CPluginPage, CDialog)

}  // namespace gwplugin

// Private window messages of the plug-in.
#pragma once

#include <windows.h>

namespace gwplugin {

constexpr UINT WM_CONTENT_DOWNLOADED = 0x712;  // download thread -> hidden window
constexpr UINT WM_CONTENT_READY = 0x713;       // hidden window -> the page that is up
constexpr UINT WM_DISABLE_CANCEL = 0x663;      // install queue -> progress page
constexpr UINT WM_PAGE_LEAVING = 0x786;        // wParam 2, lParam int* preset to 1 (0 refuses)
constexpr UINT WM_PAGE_LEFT = 0x787;           // wParam: the page result below

// How a page was left.
enum PageResult : int {
  kPageBack = 1,
  kPageNext = 2,
  kPageCancel = 4,
};

}  // namespace gwplugin

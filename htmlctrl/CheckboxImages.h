// The visual-style functions the HTML controls use, and the 17-square check-box image list
// of the HTML tree.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include <mutex>

#include "UniqueHandle.h"

namespace htmlctrl {

// The six visual-style functions. Without the library or one of its entries, OpenThemeData,
// IsThemeActive and IsAppThemed give 0 and the drawing functions E_FAIL: the controls then
// draw as without visual styles.
class ThemeApi {
 public:
  virtual ~ThemeApi() = default;
  virtual HTHEME OpenThemeData(HWND window, const wchar_t* classes) = 0;
  virtual HRESULT CloseThemeData(HTHEME theme) = 0;
  virtual HRESULT DrawThemeBackground(HTHEME theme, HDC dc, int part, int state, const RECT* rect,
                                      const RECT* clip) = 0;
  virtual HRESULT DrawThemeEdge(HTHEME theme, HDC dc, int part, int state, const RECT* rect, UINT edge, UINT flags,
                                RECT* content) = 0;
  virtual BOOL IsThemeActive() = 0;
  virtual BOOL IsAppThemed() = 0;
};

// A theme library loaded by name; each entry is looked up on first use and kept.
class ThemeLibrary final : public ThemeApi {
 public:
  explicit ThemeLibrary(const wchar_t* module_name);
  ThemeLibrary(const ThemeLibrary&) = delete;
  ThemeLibrary& operator=(const ThemeLibrary&) = delete;

  HTHEME OpenThemeData(HWND window, const wchar_t* classes) override;
  HRESULT CloseThemeData(HTHEME theme) override;
  HRESULT DrawThemeBackground(HTHEME theme, HDC dc, int part, int state, const RECT* rect, const RECT* clip) override;
  HRESULT DrawThemeEdge(HTHEME theme, HDC dc, int part, int state, const RECT* rect, UINT edge, UINT flags,
                        RECT* content) override;
  BOOL IsThemeActive() override;
  BOOL IsAppThemed() override;

 private:
  enum Entry { kOpen, kClose, kBackground, kEdge, kActive, kAppThemed, kEntries };
  FARPROC Lookup(Entry entry);

  win::UniqueModule m_module;
  FARPROC m_entries[kEntries] = {};
  std::once_flag m_lookedUp[kEntries];
};

// The module's one "UxTheme.dll", loaded when the module starts and freed when it unloads.
ThemeApi& Themes();

// The check-box squares: image i of 17; base 1 unchecked, 2 checked, 3 tri-state, + 4 when
// disabled, + 8 when hot. Squares 0, 4, 8, 12 and 16 stay background.
constexpr int kCheckboxImages = 17;
struct CheckboxImage {
  const wchar_t* name;  // null: unused square
  int themed_state;     // BP_CHECKBOX state
  UINT classic_state;   // DrawFrameControl DFC_BUTTON state
};
const CheckboxImage& CheckboxImageAt(int index);

// Builds the list from one 17 x size by size bitmap filled with the background; FALSE (and the
// old list untouched) for a null DC or a size below 1. An existing list is destroyed first.
BOOL CreateCheckboxImageList(HDC dc, int size, HIMAGELIST& list, COLORREF background, ThemeApi& theme = Themes());

}  // namespace htmlctrl

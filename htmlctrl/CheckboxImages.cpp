#include "CheckboxImages.h"

#include "GdiOwners.h"

namespace htmlctrl {

namespace {

using OpenFn = HTHEME(WINAPI*)(HWND, LPCWSTR);
using CloseFn = HRESULT(WINAPI*)(HTHEME);
using BackgroundFn = HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, const RECT*);
using EdgeFn = HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, UINT, UINT, RECT*);
using BoolFn = BOOL(WINAPI*)();

template <typename F>
F As(FARPROC address) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(address));
}

constexpr int kButtonCheckBox = 3;  // BP_CHECKBOX
constexpr UINT kFlatCheck = DFCS_BUTTONCHECK | DFCS_FLAT;

const CheckboxImage kSquares[kCheckboxImages] = {
    {nullptr, 0, 0},
    {L"unchecked normal", 1, kFlatCheck},
    {L"checked normal", 5, kFlatCheck | DFCS_CHECKED},
    {L"tri-state normal", 9, kFlatCheck | DFCS_CHECKED | DFCS_BUTTON3STATE},
    {nullptr, 0, 0},
    {L"unchecked disabled", 4, kFlatCheck | DFCS_INACTIVE},
    {L"checked disabled", 8, kFlatCheck | DFCS_INACTIVE | DFCS_CHECKED},
    {L"tri-state disabled", 12, kFlatCheck | DFCS_INACTIVE | DFCS_CHECKED | DFCS_BUTTON3STATE},
    {nullptr, 0, 0},
    {L"unchecked normal", 2, kFlatCheck},
    {L"checked normal", 6, kFlatCheck | DFCS_CHECKED},
    {L"tri-state normal", 10, kFlatCheck | DFCS_CHECKED | DFCS_BUTTON3STATE},
    {nullptr, 0, 0},
    {L"unchecked disabled", 4, kFlatCheck | DFCS_INACTIVE},
    {L"checked disabled", 8, kFlatCheck | DFCS_INACTIVE | DFCS_CHECKED},
    {L"tri-state disabled", 12, kFlatCheck | DFCS_INACTIVE | DFCS_CHECKED | DFCS_BUTTON3STATE},
    {nullptr, 0, 0},
};

const char* const kEntryNames[] = {"OpenThemeData", "CloseThemeData", "DrawThemeBackground",
                                   "DrawThemeEdge", "IsThemeActive",  "IsAppThemed"};

// Loaded by the module's static initialisers, as the controls' first paint may come before
// anything else of the module ran, and freed when the module unloads.
ThemeLibrary g_themes(L"UxTheme.dll");

}  // namespace

ThemeLibrary::ThemeLibrary(const wchar_t* module_name) : m_module(LoadLibraryW(module_name)) {}

FARPROC ThemeLibrary::Lookup(Entry entry) {
  if (!m_module) return nullptr;
  std::call_once(m_lookedUp[entry],
                 [this, entry] { m_entries[entry] = GetProcAddress(m_module.get(), kEntryNames[entry]); });
  return m_entries[entry];
}

HTHEME ThemeLibrary::OpenThemeData(HWND window, const wchar_t* classes) {
  const auto open = As<OpenFn>(Lookup(kOpen));
  return open ? open(window, classes) : nullptr;
}

HRESULT ThemeLibrary::CloseThemeData(HTHEME theme) {
  const auto close = As<CloseFn>(Lookup(kClose));
  return close ? close(theme) : E_FAIL;
}

HRESULT ThemeLibrary::DrawThemeBackground(HTHEME theme, HDC dc, int part, int state, const RECT* rect,
                                          const RECT* clip) {
  const auto draw = As<BackgroundFn>(Lookup(kBackground));
  return draw ? draw(theme, dc, part, state, rect, clip) : E_FAIL;
}

HRESULT ThemeLibrary::DrawThemeEdge(HTHEME theme, HDC dc, int part, int state, const RECT* rect, UINT edge, UINT flags,
                                    RECT* content) {
  const auto draw = As<EdgeFn>(Lookup(kEdge));
  return draw ? draw(theme, dc, part, state, rect, edge, flags, content) : E_FAIL;
}

BOOL ThemeLibrary::IsThemeActive() {
  const auto active = As<BoolFn>(Lookup(kActive));
  return active ? active() : FALSE;
}

BOOL ThemeLibrary::IsAppThemed() {
  const auto themed = As<BoolFn>(Lookup(kAppThemed));
  return themed ? themed() : FALSE;
}

ThemeApi& Themes() { return g_themes; }

const CheckboxImage& CheckboxImageAt(int index) { return kSquares[index >= 0 && index < kCheckboxImages ? index : 0]; }

BOOL CreateCheckboxImageList(HDC dc, int size, HIMAGELIST& list, COLORREF background, ThemeApi& theme) {
  if (!dc || size < 1 || !IsSaneBitmapSize(kCheckboxImages * size, size)) return FALSE;
  if (list) {
    ImageList_Destroy(list);
    list = nullptr;
  }
  MemoryDC memory(CreateCompatibleDC(dc));
  Bitmap bitmap(CreateCompatibleBitmap(dc, kCheckboxImages * size, size));
  if (!memory || !bitmap) return FALSE;
  list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, kCheckboxImages, 1);
  if (!list) return FALSE;
  {
    Selection selected(memory.get(), bitmap.get());
    Brush fill(CreateSolidBrush(background));
    RECT all = {0, 0, kCheckboxImages * size, size};
    FillRect(memory.get(), &all, fill.get());
    HTHEME handle = theme.IsThemeActive() && theme.IsAppThemed() ? theme.OpenThemeData(nullptr, L"BUTTON") : nullptr;
    for (int i = 0; i < kCheckboxImages; ++i) {
      const CheckboxImage& square = kSquares[i];
      if (!square.name) continue;
      RECT r = {i * size + 1, 1, i * size + size - 1, size - 1};
      if (handle) {
        theme.DrawThemeBackground(handle, memory.get(), kButtonCheckBox, square.themed_state, &r, nullptr);
        theme.DrawThemeEdge(handle, memory.get(), kButtonCheckBox, square.themed_state, &r, 0, 0, nullptr);
      } else {
        DrawFrameControl(memory.get(), &r, DFC_BUTTON, square.classic_state);
      }
    }
    if (handle) theme.CloseThemeData(handle);
  }
  if (ImageList_AddMasked(list, bitmap.get(), RGB(255, 0, 255)) < 0) {
    ImageList_Destroy(list);
    list = nullptr;
    return FALSE;
  }
  return TRUE;
}

}  // namespace htmlctrl

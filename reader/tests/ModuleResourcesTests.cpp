// What every language module must carry for the dialogs and the drawing code: the templates
// with their controls and styles, the icon, every string (with the placeholders the code fills)
// and the skin images in the sizes the layout expects.
#include <gtest/gtest.h>

#include <UniqueHandle.h>
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <memory>
#include <string>

#include "LanguageModule.h"
#include "ReaderTestSupport.h"
#include "resource.h"

using reader_test::Hex;
using reader_test::Narrow;

namespace {

const wchar_t* const kModules[] = {L"english", L"polish", L"romanian"};

win::UniqueModule LoadModule(const std::wstring& path) { return win::UniqueModule(LoadLibraryW(path.c_str())); }

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

size_t Count(const std::wstring& text, const std::wstring& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

class ModuleResources : public ::testing::TestWithParam<const wchar_t*> {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    module = LoadModule(reader_test::BuiltModule(GetParam()));
    ASSERT_NE(nullptr, module.get()) << "error " << GetLastError();
  }
  HMODULE Module() const { return module.get(); }
  win::UniqueModule module;
};

TEST_P(ModuleResources, MainDialogHasEveryControlWithItsStyle) {
  win::UniqueWindow dialog(
      CreateDialogParamW(Module(), MAKEINTRESOURCEW(IDD_ORVELPARLONVESK_DIALOG), nullptr, PlainDialogProc, 0));
  ASSERT_NE(nullptr, dialog.get()) << "error " << GetLastError();
  EXPECT_EQ(0u, GetWindowLongW(dialog.get(), GWL_STYLE) & (WS_CHILD | WS_VISIBLE | WS_CAPTION))
      << "a hidden, captionless popup; style " << Hex(GetWindowLongW(dialog.get(), GWL_STYLE));
  EXPECT_NE(0u, GetWindowLongW(dialog.get(), GWL_EXSTYLE) & WS_EX_APPWINDOW) << "owned, yet on the task bar";

  struct Control {
    int id;
    const wchar_t* className;
    DWORD required;   // style bits that must be set
    DWORD forbidden;  // style bits that must be clear
    DWORD typeMask;   // for the button and static types, which are values rather than bits
    DWORD type;
  } controls[] = {
      {IDC_LANGUAGE_BUTTON, L"Button", 0, 0, BS_TYPEMASK, BS_OWNERDRAW},
      {IDC_VOICE_COMBO, L"ComboBox", 0, CBS_SORT | CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE, 3, CBS_DROPDOWNLIST},
      {IDC_READ_BUTTON, L"Button", 0, 0, BS_TYPEMASK, BS_OWNERDRAW},
      {IDC_STOP_BUTTON, L"Button", WS_DISABLED, 0, BS_TYPEMASK, BS_OWNERDRAW},
      {IDC_LAUNCH_BUTTON, L"Button", 0, 0, BS_TYPEMASK, BS_OWNERDRAW},
      {IDC_CLOSE_BUTTON, L"Button", 0, 0, BS_TYPEMASK, BS_OWNERDRAW},
      {IDC_MINIMIZE_BUTTON, L"Button", 0, 0, BS_TYPEMASK, BS_OWNERDRAW},
      {IDC_SPEED_SLIDER, TRACKBAR_CLASSW, TBS_TOOLTIPS, TBS_VERT, 0, 0},
      {IDC_VOLUME_SLIDER, TRACKBAR_CLASSW, TBS_TOOLTIPS, TBS_VERT, 0, 0},
      {IDC_FOLD_BUTTON, L"Button", 0, 0, BS_TYPEMASK, BS_OWNERDRAW},
      {IDC_LEXICON_BUTTON, L"Button", 0, 0, BS_TYPEMASK, BS_OWNERDRAW},
      {IDC_SITE_LINK, L"Static", SS_NOTIFY, WS_VISIBLE, 0, 0},
      {IDC_VOICE_LINK, L"Static", SS_NOTIFY | WS_VISIBLE, 0, 0, 0},
      {IDC_VOICE_TYPE_ICON, L"Button", 0, 0, BS_TYPEMASK, BS_OWNERDRAW},
  };
  for (const Control& c : controls) {
    HWND control = GetDlgItem(dialog.get(), c.id);
    ASSERT_NE(nullptr, control) << "control " << c.id << " missing";
    EXPECT_EQ(0, _wcsicmp(c.className, ClassOf(control).c_str()))
        << "control " << c.id << " is a " << Narrow(ClassOf(control));
    const DWORD style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
    EXPECT_EQ(c.required, style & c.required) << "control " << c.id << " style " << Hex(style);
    EXPECT_EQ(0u, style & c.forbidden) << "control " << c.id << " style " << Hex(style);
    if (c.typeMask) {
      EXPECT_EQ(c.type, style & c.typeMask) << "control " << c.id << " style " << Hex(style);
    }
  }
  // Texts the dialog shows as they are: the voice link, and the launch button's tooltip.
  wchar_t text[256] = {};
  EXPECT_GT(GetDlgItemTextW(dialog.get(), IDC_VOICE_LINK, text, 256), 0);
  EXPECT_GT(GetDlgItemTextW(dialog.get(), IDC_LAUNCH_BUTTON, text, 256), 0);
}

TEST_P(ModuleResources, UsageHintHasItsTextAndCloseLink) {
  win::UniqueWindow hint(CreateDialogParamW(Module(), MAKEINTRESOURCEW(IDD_USE_HINT), nullptr, PlainDialogProc, 0));
  ASSERT_NE(nullptr, hint.get()) << "error " << GetLastError();
  wchar_t text[512] = {};
  EXPECT_GT(GetDlgItemTextW(hint.get(), IDC_HINT_TEXT, text, 512), 0);
  HWND close = GetDlgItem(hint.get(), IDC_HINT_CLOSE_LINK);
  ASSERT_NE(nullptr, close);
  EXPECT_NE(0u, static_cast<DWORD>(GetWindowLongW(close, GWL_STYLE)) & SS_NOTIFY);
  EXPECT_GT(GetWindowTextLengthW(close), 0);
}

TEST_P(ModuleResources, EveryStringWithThePlaceholdersItsUserFills) {
  struct String {
    UINT id;
    size_t placeholders;  // "%s" the code fills
  } strings[] = {
      {IDS_VOICE_ERROR_CAPTION, 0},
      {IDS_VOICE_NOT_FOUND, 0},
      {IDS_EDITION_MAKER, 0},
      {IDS_VOICE_TIP_SAPI5, 4},
      {IDS_VOICE_TIP_SAPI4, 4},
      {IDS_READ, 0},
      {IDS_PAUSE, 0},
      {IDS_VOLUME_TIP, 0},
      {IDS_SPEED_TIP, 0},
      {IDS_VOICE_LIST_TIP, 0},
      {IDS_SPEAK_FAILED, 0},
      {IDS_LEXICON_TIP, 0},
      {IDS_READ_TIP, 0},
      {IDS_LABEL_OTHER, 0},
      {IDS_LABEL_TYPE2, 0},
      {IDS_LABEL_TYPE3, 0},
      {IDS_EDITION_TYPE4, 0},
      {IDS_EDITION_TYPE2, 0},
      {IDS_EDITION_OTHER, 0},
      {IDS_LABEL_TYPE4_LIST, 0},
      {IDS_EDITION_TYPE3, 0},
      {IDS_LABEL_TYPE4_ICON, 0},
  };
  for (const String& s : strings) {
    const std::wstring text = orv_reader::LoadModuleString(Module(), s.id);
    EXPECT_FALSE(text.empty()) << "string " << s.id;
    EXPECT_EQ(s.placeholders, Count(text, L"%s")) << "string " << s.id << ": " << Narrow(text);
    EXPECT_EQ(s.placeholders, Count(text, L"%")) << "string " << s.id << ": " << Narrow(text);
  }
  const std::wstring code = orv_reader::GetUiLanguageCode(Module());
  EXPECT_EQ(2u, code.size()) << Narrow(code);
}

TEST_P(ModuleResources, IconAndVersion) {
  EXPECT_NE(nullptr, LoadIconW(Module(), MAKEINTRESOURCEW(IDR_MAINFRAME))) << "error " << GetLastError();
  EXPECT_TRUE(orv_reader::IsModuleVersionCompatible(reader_test::BuiltProgram(), reader_test::BuiltModule(GetParam())));
}

struct PngSize {
  UINT width = 0;
  UINT height = 0;
};

// Width and height from the image's header; 0 x 0 when the resource is missing or not a PNG.
PngSize ReadPngSize(HMODULE module, UINT id) {
  PngSize size;
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
  if (info == nullptr) return size;
  HGLOBAL data = LoadResource(module, info);
  const BYTE* bytes = data ? static_cast<const BYTE*>(LockResource(data)) : nullptr;
  if (bytes == nullptr || SizeofResource(module, info) < 24) return size;
  static const BYTE signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (memcmp(bytes, signature, 8) != 0 || memcmp(bytes + 12, "IHDR", 4) != 0) return size;
  auto be32 = [](const BYTE* p) { return (UINT(p[0]) << 24) | (UINT(p[1]) << 16) | (UINT(p[2]) << 8) | UINT(p[3]); };
  size.width = be32(bytes + 16);
  size.height = be32(bytes + 20);
  return size;
}

TEST_P(ModuleResources, SkinImagesFitTheLayout) {
  const PngSize left = ReadPngSize(Module(), IDB_SKIN_LEFT);
  const PngSize middle = ReadPngSize(Module(), IDB_SKIN_MIDDLE);
  const PngSize right = ReadPngSize(Module(), IDB_SKIN_RIGHT);
  const PngSize separator = ReadPngSize(Module(), IDB_SKIN_SEPARATOR);
  const PngSize buttons = ReadPngSize(Module(), IDB_SKIN_BUTTONS);
  const PngSize slider = ReadPngSize(Module(), IDB_SKIN_SLIDER);
  const PngSize busy = ReadPngSize(Module(), IDB_READ_BUSY);
  const PngSize volume = ReadPngSize(Module(), IDB_SKIN_VOLUME);
  const PngSize speed = ReadPngSize(Module(), IDB_SKIN_SPEED);

  // The body: three pieces of one height H; the read and stop buttons (33 high at y 0) fit in
  // the dialog's H + 1 rows.
  EXPECT_GE(middle.height, 32u);
  EXPECT_EQ(middle.height, left.height);
  EXPECT_EQ(middle.height, right.height);
  EXPECT_EQ(middle.height, separator.height);
  EXPECT_GT(middle.width, 0u);
  EXPECT_GT(separator.width, 0u);
  EXPECT_LE(left.width + right.width, 20u) << "the folded strip must still show both edges";
  // The icons sit centred in the body.
  EXPECT_LE(volume.height, middle.height);
  EXPECT_LE(speed.height, middle.height);
  EXPECT_GT(volume.width * speed.width, 0u);

  // Every button's looks lie inside the sprite sheet: the right-most is the launch button
  // (202..226, three rows of 22), the lowest the stop button (four rows of 23).
  EXPECT_GE(buttons.width, 226u);
  EXPECT_GE(buttons.height, 4u * 23u);

  // Slider parts: channel columns 2..6 with the filled row at y 6..8, thumb at (13, 1) 8 x 8.
  EXPECT_GE(slider.width, 13u + 8u);
  EXPECT_GE(slider.height, 9u);

  // The read button's busy animation: twelve frames of 22 x 22 side by side.
  EXPECT_EQ(12u * 22u, busy.width);
  EXPECT_EQ(22u, busy.height);

  // Voice-type icons: cells 0 to 4 of 24 x 24 in both generations.
  for (UINT id : {IDB_VOICE_TYPES, IDB_VOICE_TYPES_1ST}) {
    const PngSize cells = ReadPngSize(Module(), id);
    EXPECT_GE(cells.width, 5u * 24u) << "image " << id;
    EXPECT_GE(cells.height, 24u) << "image " << id;
  }
}

INSTANTIATE_TEST_SUITE_P(EachLanguage, ModuleResources, ::testing::ValuesIn(kModules),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) { return Narrow(info.param); });

TEST(ModuleResources, TranslationsDiffer) {
  win::UniqueModule english = LoadModule(reader_test::BuiltModule(L"english"));
  win::UniqueModule polish = LoadModule(reader_test::BuiltModule(L"polish"));
  win::UniqueModule romanian = LoadModule(reader_test::BuiltModule(L"romanian"));
  ASSERT_TRUE(english.get() && polish.get() && romanian.get());
  EXPECT_EQ(L"Czytaj", orv_reader::LoadModuleString(polish.get(), IDS_READ));
  EXPECT_EQ(L"Citește", orv_reader::LoadModuleString(romanian.get(), IDS_READ));
  EXPECT_EQ(L"Read", orv_reader::LoadModuleString(english.get(), IDS_READ));
}

}  // namespace

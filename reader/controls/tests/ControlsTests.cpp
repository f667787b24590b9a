// The drawing helpers and skinned controls with the real English language module: what each
// state and part draws (the skin images use flat, distinct colours per state and part), the
// background a parent hands its children, frame animation, slider arithmetic and value tips,
// the hyperlink's fitting, the voice list's restore, and an idle slider's paints.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "SkinnedPanel.h"
#include "resource.h"

using controls_test::Canvas;
using controls_test::CSkinnedPanel;

namespace {

constexpr COLORREF kFlat = RGB(0x20, 0x60, 0x30);

std::string Hex(unsigned long v) {
  std::ostringstream s;
  s << "0x" << std::hex << v;
  return s.str();
}

// The module's images and GDI+ for every test of this program.
class SkinEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    session.reset(new SkinSession(controls_test::ProgramFolder() + L"bin\\lang\\english.dll"));
    ASSERT_TRUE(session->ok()) << "english.dll or GDI+ missing, error " << GetLastError();
  }
  void TearDown() override { session.reset(); }
  std::unique_ptr<SkinSession> session;
};
::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new SkinEnvironment);

// A colour per panel pixel, different for every position, so that an offset shows.
COLORREF Pattern(int x, int y) { return RGB((x * 3) & 0xFF, (y * 7) & 0xFF, 0x5A); }

void FillPattern(CDC& dc, int width, int height) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) ::SetPixelV(dc.m_hDC, x, y, Pattern(x, y));
}

void FillFlat(CDC& dc, int width, int height) { dc.FillSolidRect(0, 0, width, height, kFlat); }

// What a piece of a skin image looks like drawn over the flat background.
std::unique_ptr<Canvas> Expected(Gdiplus::Image* image, int width, int height, const CRect& source, CPoint at) {
  auto canvas = std::make_unique<Canvas>(width, height, kFlat);
  Gdiplus::Graphics graphics(canvas->dc());
  graphics.DrawImage(image, at.x, at.y, source.left, source.top, source.Width(), source.Height(), Gdiplus::UnitPixel);
  return canvas;
}

bool Near(COLORREF a, COLORREF b, int tolerance) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

// Pixels of `inner` (a rectangle of both canvases) that differ by more than the tolerance.
int Mismatches(const Canvas& a, const Canvas& b, const CRect& inner, int tolerance, std::string* first = nullptr) {
  int count = 0;
  for (int y = inner.top; y < inner.bottom; ++y)
    for (int x = inner.left; x < inner.right; ++x)
      if (!Near(a.Pixel(x, y), b.Pixel(x, y), tolerance)) {
        if (count++ == 0 && first)
          *first = "(" + std::to_string(x) + "," + std::to_string(y) + ") " + Hex(a.Pixel(x, y)) + " vs " +
                   Hex(b.Pixel(x, y));
      }
  return count;
}

CRect ClientOf(HWND hwnd) {
  CRect r;
  ::GetClientRect(hwnd, &r);
  return r;
}

// What the button draws for an owner-draw item state, as its parent asks it to.
std::unique_ptr<Canvas> DrawButton(CSkinnedPanel& panel, CSkinButton& button, UINT itemState) {
  const CRect client = ClientOf(button.m_hWnd);
  auto canvas = std::make_unique<Canvas>(client.Width(), client.Height(), RGB(255, 0, 255));
  DRAWITEMSTRUCT item{};
  item.CtlType = ODT_BUTTON;
  item.CtlID = static_cast<UINT>(button.GetDlgCtrlID());
  item.itemAction = ODA_DRAWENTIRE;
  item.itemState = itemState;
  item.hwndItem = button.m_hWnd;
  item.hDC = canvas->dc();
  item.rcItem = client;
  panel.SendMessage(WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
  return canvas;
}

// What a trackbar draws into a DC of ours.
std::unique_ptr<Canvas> PrintClient(HWND control) {
  const CRect client = ClientOf(control);
  auto canvas = std::make_unique<Canvas>(client.Width(), client.Height(), RGB(255, 0, 255));
  ::SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas->dc()), PRF_CLIENT);
  return canvas;
}

class Controls : public ::testing::Test {
 protected:
  void SetUp() override { Make(&FillFlat); }
  void Make(CSkinnedPanel::Background background) {
    panel.reset(new CSkinnedPanel(std::move(background)));
    ASSERT_TRUE(panel->Create()) << "template 582 did not make a panel, error " << GetLastError();
    panel->Compose();
  }
  void TearDown() override { panel.reset(); }
  std::unique_ptr<CSkinnedPanel> panel;
};

// ---------------------------------------------------------------------------------------------
TEST_F(Controls, EachButtonStateDrawsItsRow) {
  Gdiplus::Image* sheet = panel->ButtonSheet();
  ASSERT_NE(nullptr, sheet);
  const CRect stopRow(44, 0, 66, 23), launchRow(202, 0, 226, 22);
  struct Case {
    const char* name;
    CSkinButton* button;
    CRect firstRow;
    bool enabled;
    bool hovering;
    UINT itemState;
    int row;  // the sheet row the face must show
  } cases[] = {
      {"normal", &panel->m_stop, stopRow, true, false, 0, 0},
      {"focused shows hot", &panel->m_stop, stopRow, true, false, ODS_FOCUS, 2},
      {"hovered", &panel->m_stop, stopRow, true, true, 0, 2},
      {"pressed while hovered", &panel->m_stop, stopRow, true, true, ODS_SELECTED, 1},
      {"pressed, pointer gone", &panel->m_stop, stopRow, true, false, ODS_SELECTED, 0},
      {"disabled", &panel->m_stop, stopRow, false, true, ODS_SELECTED, 3},
      {"disabled without a disabled row", &panel->m_launch, launchRow, false, false, 0, 0},
      {"launch hovered", &panel->m_launch, launchRow, true, true, 0, 2},
  };
  // The rows must differ, or the comparisons below would prove nothing.
  for (int a = 0; a < 4; ++a)
    for (int b = a + 1; b < 4; ++b) {
      CRect ra = stopRow, rb = stopRow;
      ra.OffsetRect(0, a * 23);
      rb.OffsetRect(0, b * 23);
      auto ea = Expected(sheet, 22, 23, ra, CPoint());
      auto eb = Expected(sheet, 22, 23, rb, CPoint());
      EXPECT_GT(Mismatches(*ea, *eb, CRect(0, 0, 22, 23), 8), 20) << "stop rows " << a << " and " << b;
    }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CSkinButton& button = *c.button;
    button.EnableWindow(c.enabled);
    button.SendMessage(WM_MOUSELEAVE);
    if (c.hovering) button.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    ASSERT_EQ(c.hovering, button.IsHovering());
    auto drawn = DrawButton(*panel, button, c.itemState);
    const CRect client = ClientOf(button.m_hWnd);
    CRect row = c.firstRow;
    row.OffsetRect(0, c.row * c.firstRow.Height());
    const CPoint at((client.Width() - row.Width()) / 2, (client.Height() - row.Height()) / 2);
    auto expected = Expected(sheet, client.Width(), client.Height(), row, at);
    CRect inner = client;
    inner.DeflateRect(1, 1);  // the focus rectangle's dots
    std::string first;
    EXPECT_EQ(0, Mismatches(*drawn, *expected, inner, 3, &first)) << "first difference at " << first;
    button.EnableWindow(TRUE);
    button.SendMessage(WM_MOUSELEAVE);
  }
}

TEST_F(Controls, BusyButtonShowsTheAnimationEvenWhenHoveredAndPressed) {
  CSkinButton& read = panel->m_read;
  ASSERT_TRUE(panel->ReadBusy() && panel->ReadBusy()->IsAnimated());
  panel->ReadBusy()->SetFramePeriod(5);
  EXPECT_FALSE(panel->m_stop.SetBusy(true)) << "a button without a busy animation cannot be busy";
  ASSERT_TRUE(read.SetBusy(true));
  read.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  auto strip = std::make_unique<draw_helpers::ImageBuffer>();
  ASSERT_TRUE(draw_helpers::LoadImageFromResource(IDB_READ_BUSY, L"PNG", *strip));
  for (int frame : {0, 1}) {
    SCOPED_TRACE("frame " + std::to_string(frame));
    auto drawn = DrawButton(*panel, read, ODS_SELECTED);
    auto expected = Expected(strip->image, 22, 33, CRect(frame * 22, 0, frame * 22 + 22, 22), CPoint(0, 5));
    std::string first;
    EXPECT_EQ(0, Mismatches(*drawn, *expected, CRect(0, 0, 22, 33), 3, &first)) << first;
    // One tick of the animation's timer moves it on.
    read.SendMessage(WM_TIMER, CSkinButton::TIMER_BUTTON_ANIMATION);
  }
  EXPECT_TRUE(read.SetBusy(false));
  read.SendMessage(WM_MOUSELEAVE);
  auto idle = DrawButton(*panel, read, 0);
  auto normal = Expected(panel->ButtonSheet(), 22, 33, CRect(22, 0, 44, 23), CPoint(0, 5));
  EXPECT_EQ(0, Mismatches(*idle, *normal, CRect(0, 0, 22, 33), 3));
}

// A window whose template lacks a skinned control (the test module without the lexicon
// button): the skin lays out and paints what is there and never calls through the missing item.
TEST(ControlsSkin, AWindowWithoutOneOfItsControlsIsLaidOutAndPainted) {
  const std::wstring path = controls_test::ProgramFolder() + L"testmodules\\polish_no_lexicon_button.dll";
  const HMODULE module = LoadLibraryW(path.c_str());
  ASSERT_NE(nullptr, module) << "error " << GetLastError();
  const HINSTANCE previous = AfxGetResourceHandle();
  AfxSetResourceHandle(module);
  {
    CSkinnedPanel panel(nullptr);
    EXPECT_TRUE(panel.Create()) << "error " << GetLastError();
    EXPECT_EQ(nullptr, ::GetDlgItem(panel.m_hWnd, IDC_LEXICON_BUTTON));
    EXPECT_NE(nullptr, ::GetDlgItem(panel.m_hWnd, IDC_SPEED_SLIDER));
    panel.ShowWindow(SW_SHOWNOACTIVATE);
    panel.Compose();
    panel.UpdateWindow();
  }
  AfxSetResourceHandle(previous);
  FreeLibrary(module);
}

TEST(ControlsPainter, ChildrenGetTheParentsBackgroundAtTheirOffset) {
  CSkinnedPanel panel(&FillPattern);
  ASSERT_TRUE(panel.Create());
  panel.Compose();
  struct Child {
    CWnd* control;
    bool slider;
  } children[] = {{&panel.m_read, false}, {&panel.m_fold, false}, {&panel.m_volume, true}, {&panel.m_speed, true}};
  for (const Child& child : children) {
    SCOPED_TRACE("control " + std::to_string(child.control->GetDlgCtrlID()));
    CRect r;
    child.control->GetWindowRect(&r);
    panel.ScreenToClient(&r);
    auto drawn = child.slider ? PrintClient(child.control->m_hWnd)
                              : DrawButton(panel, *static_cast<CSkinButton*>(child.control), 0);
    // The top row and the corners are the skin's see-through parts: there the parent shows.
    for (CPoint p : {CPoint(0, 0), CPoint(r.Width() - 1, 0), CPoint(r.Width() / 2, 0), CPoint(0, r.Height() - 1)}) {
      EXPECT_EQ(Hex(Pattern(r.left + p.x, r.top + p.y)), Hex(drawn->Pixel(p.x, p.y)))
          << "at (" << p.x << "," << p.y << ") of a child at (" << r.left << "," << r.top << ")";
    }
  }
}

// ---------------------------------------------------------------------------------------------
TEST_F(Controls, SliderDrawsFilledLeftAndPlainRightOfTheThumb) {
  CPngClodSliderCtrl& volume = panel->m_volume;
  auto sheetOverFlat = Expected(panel->SliderSheet(), 22, 10, CRect(0, 0, 22, 10), CPoint());
  const COLORREF filled = sheetOverFlat->Pixel(4, 7), plain = sheetOverFlat->Pixel(4, 4),
                 knob = sheetOverFlat->Pixel(17, 5);
  ASSERT_FALSE(Near(filled, plain, 20)) << "the skin's filled and plain channel rows look alike";
  for (int position : {20, 50, 80}) {
    SCOPED_TRACE("position " + std::to_string(position));
    volume.SetPos(position);
    CRect thumb;
    volume.SendMessage(TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    const CPoint centre = thumb.CenterPoint();
    auto drawn = PrintClient(volume.m_hWnd);
    const int width = drawn->width();
    const int y = centre.y;  // the channel's middle row
    for (int x = 11 + 2 + 1; x < centre.x - 5; ++x)
      ASSERT_TRUE(Near(drawn->Pixel(x, y), filled, 8)) << "x " << x << ": " << Hex(drawn->Pixel(x, y));
    for (int x = centre.x + 5; x < width - 11 - 2 - 1; ++x)
      ASSERT_TRUE(Near(drawn->Pixel(x, y), plain, 8)) << "x " << x << ": " << Hex(drawn->Pixel(x, y));
    EXPECT_TRUE(Near(drawn->Pixel(centre.x, centre.y), knob, 12)) << Hex(drawn->Pixel(centre.x, centre.y));
    EXPECT_EQ(Hex(kFlat), Hex(drawn->Pixel(2, y))) << "left of the channel: the parent's background";
  }
}

TEST_F(Controls, SliderWithoutSkinDrawsLikeAPlainTrackbarAndKeepsItsValueTip) {
  const DWORD style = WS_CHILD | TBS_HORZ | TBS_BOTH | TBS_NOTICKS | TBS_TOOLTIPS;
  HWND raw = CreateWindowExW(0, TRACKBAR_CLASSW, L"", style, 0, 40, 90, 24, panel->m_hWnd, nullptr, nullptr, nullptr);
  HWND twin = CreateWindowExW(0, TRACKBAR_CLASSW, L"", style, 0, 70, 90, 24, panel->m_hWnd, nullptr, nullptr, nullptr);
  ASSERT_TRUE(raw && twin);
  CClodSliderCtrl slider;
  ASSERT_TRUE(slider.SubclassWindow(raw));
  slider.EnableValueTip();
  for (HWND h : {raw, twin}) {
    ::SendMessageW(h, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
    ::SendMessageW(h, TBM_SETPOS, TRUE, 35);
  }
  auto drawn = PrintClient(raw);
  auto plain = PrintClient(twin);
  EXPECT_EQ(0, Mismatches(*drawn, *plain, CRect(0, 0, 90, 24), 0));
  EXPECT_EQ(L"35", slider.ValueText());
  slider.DestroyWindow();
  DestroyWindow(twin);
}

TEST_F(Controls, ValueTipTextsThroughGetDispInfo) {
  struct Case {
    CPngClodSliderCtrl* slider;
    int controlPosition;
    int divisor;
    const wchar_t* text;
  } cases[] = {
      {&panel->m_volume, 35, 1, L"35 %"}, {&panel->m_volume, 0, 1, L"0 %"}, {&panel->m_speed, -30, 1, L"-3"},
      {&panel->m_speed, 14, 1, L"1"},     {&panel->m_speed, -15, 1, L"-2"}, {&panel->m_volume, 35, 10, L"3.5"},
  };
  for (const Case& c : cases) {
    c.slider->SetValueDivisor(c.divisor);
    c.slider->SendMessage(TBM_SETPOS, TRUE, c.controlPosition);
    NMTTDISPINFOW info{};
    info.hdr.hwndFrom = reinterpret_cast<HWND>(c.slider->SendMessage(TBM_GETTOOLTIPS));
    info.hdr.code = TTN_GETDISPINFOW;
    c.slider->SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_NE(nullptr, info.lpszText) << "position " << c.controlPosition;
    EXPECT_STREQ(c.text, info.lpszText) << "position " << c.controlPosition;
    c.slider->SetValueDivisor(1);
  }
}

TEST_F(Controls, FineModeArithmeticAndSnapping) {
  CPngClodSliderCtrl& speed = panel->m_speed;  // fine mode, control range -100..100
  struct Case {
    int controlPosition;
    int scrollCode;  // -1: none
    int expectedPosition;
    int expectedValue;
  } cases[] = {
      {6, SB_ENDSCROLL, 0, 0},
      {8, SB_ENDSCROLL, 8, 1},
      {-7, SB_THUMBPOSITION, 0, 0},
      {-8, SB_THUMBTRACK, -8, -1},
      {-15, -1, -15, -2},
      {14, -1, 14, 1},
      {15, -1, 15, 2},
      {0, SB_LINERIGHT, 10, 1},
      {20, SB_LINELEFT, 10, 1},
      {100, SB_LINERIGHT, 100, 10},
      {-100, SB_LINELEFT, -100, -10},
      {43, SB_LINERIGHT, 50, 5},
  };
  EXPECT_EQ(10, speed.GetRangeMax());
  for (const Case& c : cases) {
    SCOPED_TRACE("from " + std::to_string(c.controlPosition) + ", code " + std::to_string(c.scrollCode));
    speed.SendMessage(TBM_SETPOS, TRUE, c.controlPosition);
    if (c.scrollCode >= 0) speed.OnScroll(static_cast<UINT>(c.scrollCode));
    EXPECT_EQ(c.expectedPosition, static_cast<int>(speed.SendMessage(TBM_GETPOS)));
    EXPECT_EQ(c.expectedValue, speed.GetPos());
  }
  speed.SetPos(-4);
  EXPECT_EQ(-40, static_cast<int>(speed.SendMessage(TBM_GETPOS)));
}

// ---------------------------------------------------------------------------------------------
TEST(ControlsAnimation, StripFramesAlignmentAndWrap) {
  draw_helpers::CImageAnimation2 strip;
  ASSERT_TRUE(strip.LoadStrip(IDB_READ_BUSY, L"PNG", 22, 22, 12));
  EXPECT_TRUE(strip.IsAnimated());
  EXPECT_EQ(CSize(22, 22), strip.GetFrameSize());
  struct Align {
    int w, h;
    UINT flags;
    CPoint at;
  } aligns[] = {{22, 33, 5, {0, 5}}, {30, 40, 0, {0, 0}},  {30, 40, 1, {4, 0}},   {30, 40, 2, {8, 0}},
                {30, 40, 4, {0, 9}}, {30, 40, 8, {0, 18}}, {30, 40, 10, {8, 18}}, {21, 21, 5, {0, 0}}};
  for (const Align& a : aligns) {
    strip.Align(a.w, a.h, a.flags);
    EXPECT_EQ(a.at, strip.GetOffset()) << "flags " << a.flags << " in " << a.w << " x " << a.h;
  }
  std::vector<int> seen;
  for (int i = 0; i < 13; ++i) {
    seen.push_back(strip.GetCurrentFrame());
    strip.NextFrame();
  }
  EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0}), seen);

  draw_helpers::CImageAnimation2 pingPong;
  ASSERT_TRUE(pingPong.LoadStrip(IDB_READ_BUSY, L"PNG", 22, 22, 4));
  pingPong.SetPingPong(true);
  seen.clear();
  for (int i = 0; i < 7; ++i) {
    pingPong.NextFrame();
    seen.push_back(pingPong.GetCurrentFrame());
  }
  EXPECT_EQ((std::vector<int>{1, 2, 3, 2, 1, 0, 1}), seen);

  // Each frame draws its own cell of the strip at the aligned offset.
  strip.Align(22, 33, 5);
  draw_helpers::ImageBuffer image;
  ASSERT_TRUE(draw_helpers::LoadImageFromResource(IDB_READ_BUSY, L"PNG", image));
  for (int step = 0; step < 12; ++step) {
    const int frame = strip.GetCurrentFrame();
    Canvas drawn(22, 33, kFlat);
    {
      Gdiplus::Graphics graphics(drawn.dc());
      strip.Draw(&graphics);
    }
    auto expected = Expected(image.image, 22, 33, CRect(frame * 22, 0, frame * 22 + 22, 22), CPoint(0, 5));
    EXPECT_EQ(0, Mismatches(drawn, *expected, CRect(0, 0, 22, 33), 2)) << "frame " << frame;
    strip.NextFrame();
  }
}

TEST(ControlsImages, LoadingFreesWhatItMadeAndRefusesWhatIsNoImage) {
  const long live = draw_helpers::LiveImageCount();
  {
    draw_helpers::ImageBuffer buffer;
    EXPECT_FALSE(draw_helpers::LoadImageFromResource(1, RT_VERSION, buffer)) << "a version block is no image";
    EXPECT_EQ(nullptr, buffer.image);
    EXPECT_EQ(nullptr, buffer.memory) << "nothing stays allocated";
    EXPECT_FALSE(draw_helpers::LoadImageFromResource(4242, L"PNG", buffer));
    ASSERT_TRUE(draw_helpers::LoadImageFromResource(IDB_SKIN_SLIDER, L"PNG", buffer));
    ASSERT_TRUE(draw_helpers::LoadImageFromResource(IDB_SKIN_BUTTONS, L"PNG", buffer));
    EXPECT_EQ(live + 1, draw_helpers::LiveImageCount()) << "loading again frees the earlier image";
    EXPECT_EQ(226u, buffer.image->GetWidth());
    draw_helpers::FreeImageBuffer(buffer);
    EXPECT_EQ(live, draw_helpers::LiveImageCount()) << "freeing deletes the image";
    EXPECT_TRUE(buffer.image == nullptr && buffer.memory == nullptr && buffer.locked == nullptr && buffer.size == 0);
    // A single-frame image is no animation: nothing is kept.
    draw_helpers::CImageAnimation2 animation;
    EXPECT_FALSE(animation.LoadAnimated(IDB_SKIN_BUTTONS, L"PNG"));
    EXPECT_FALSE(animation.IsValid());
  }
  {
    CSkinnedPanel panel(&FillFlat);
    ASSERT_TRUE(panel.Create());
    EXPECT_GT(draw_helpers::LiveImageCount(), live);
  }
  EXPECT_EQ(live, draw_helpers::LiveImageCount()) << "the controls and their owner free every image";
}

TEST(ControlsImages, TransparentBlitsShareOneCachedDc) {
  // Empty the cache first.
  std::vector<HDC> taken;
  for (int i = 0; i < 4; ++i) taken.push_back(draw_helpers::dc_cache::Take());
  for (HDC dc : taken) DeleteDC(dc);
  const long created = draw_helpers::dc_cache::CreatedCount();

  const DWORD pixels[2] = {0x00FF00FF, 0x00123456};  // magenta (see-through), then a colour
  HBITMAP bitmap = CreateBitmap(2, 1, 1, 32, pixels);
  ASSERT_NE(nullptr, bitmap);
  draw_helpers::SharedSkinBitmap skin;
  skin.bitmap = bitmap;
  Canvas target(10, 1, RGB(1, 2, 3));
  for (int i = 0; i < 5; ++i)
    EXPECT_TRUE(draw_helpers::TransparentBlitSkin(skin, target.dc(), i * 2, 0, 2, 1, 0, 0, 2, 1));
  EXPECT_EQ(created + 1, draw_helpers::dc_cache::CreatedCount());
  EXPECT_EQ(0, skin.useCount);
  EXPECT_EQ(Hex(RGB(1, 2, 3)), Hex(target.Pixel(0, 0))) << "magenta is see-through";
  EXPECT_EQ(Hex(RGB(0x12, 0x34, 0x56)), Hex(target.Pixel(1, 0)));
  HDC cached = draw_helpers::dc_cache::Take();
  EXPECT_NE(nullptr, cached);
  EXPECT_EQ(created + 1, draw_helpers::dc_cache::CreatedCount()) << "the DC stayed in the cache";
  draw_helpers::dc_cache::GiveBack(cached);
  DeleteObject(bitmap);
}

// ---------------------------------------------------------------------------------------------
TEST_F(Controls, HyperlinkFitsItsTextAndBecomesOwnerDrawnWhateverItsAlignment) {
  HFONT font = reinterpret_cast<HFONT>(panel->SendMessage(WM_GETFONT));
  HDC dc = GetDC(panel->m_hWnd);
  HGDIOBJ old = SelectObject(dc, font);
  RECT line = {0, 0, 80, 0};
  DrawTextW(dc, L"one line", -1, &line, DT_CALCRECT);
  SelectObject(dc, old);
  ReleaseDC(panel->m_hWnd, dc);
  const int lineHeight = line.bottom;
  ASSERT_GT(lineHeight, 0);
  const wchar_t* const longText = L"More voices for reading in other languages and other styles of speaking";
  struct Case {
    const wchar_t* text;
    int maxLines;
    DWORD align;
    int lines;  // expected, or 0: as many as the text takes (at least 3)
  } cases[] = {
      {L"More voices", 2, SS_CENTER, 1},
      {longText, 1, SS_RIGHT, 1},
      {longText, 2, SS_LEFT, 2},
      {longText, 9, SS_RIGHT, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.maxLines) + " lines at most, style " + Hex(c.align));
    HWND raw = CreateWindowExW(0, L"STATIC", c.text, WS_CHILD | SS_NOTIFY | c.align, 5, 5, 80, 10, panel->m_hWnd,
                               nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, raw);
    ::SendMessageW(raw, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    CHyperlinkStatic link;
    ASSERT_TRUE(link.SubclassWindow(raw));
    link.m_bFitToText = true;
    link.m_nMaxLines = c.maxLines;
    link.m_nTextAlign = c.align;
    link.SetUp();
    EXPECT_EQ(static_cast<DWORD>(SS_OWNERDRAW), link.GetStyle() & SS_TYPEMASK) << "style " << Hex(link.GetStyle());
    EXPECT_EQ(&link.UnderlinedFont(), link.CurrentFont()) << "a link is underlined";
    const int lines = link.GetLineCount();
    if (c.lines > 0)
      EXPECT_EQ(c.lines, lines);
    else
      EXPECT_GE(lines, 3);
    EXPECT_EQ(lines * lineHeight, ClientOf(raw).Height());
    EXPECT_EQ(80, ClientOf(raw).Width()) << "the width stays";
    link.DestroyWindow();
  }
}

TEST_F(Controls, VoiceListPutsBackTheOwnersChoiceWhenTheFocusLeaves) {
  CTTComboBox& voices = panel->m_voices;
  ASSERT_EQ(3, voices.GetCount());
  EXPECT_EQ(3u, voices.ItemTips().size());
  // The dialog selects the current voice in code; losing the focus must keep it.
  voices.SetCurSel(1);
  voices.SendMessage(WM_KILLFOCUS);
  EXPECT_EQ(1, voices.GetCurSel()) << "the voice in use was replaced by another";

  // A move in the drop-down list that the user did not confirm goes back.
  COMBOBOXINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(GetComboBoxInfo(voices.m_hWnd, &info));
  ::SendMessageW(info.hwndList, LB_SETCURSEL, 2, 0);
  ASSERT_EQ(2, voices.GetCurSel());
  voices.SendMessage(WM_KILLFOCUS);
  EXPECT_EQ(1, voices.GetCurSel());

  // A confirmed choice stays.
  ::SendMessageW(info.hwndList, LB_SETCURSEL, 0, 0);
  panel->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_VOICE_COMBO, CBN_SELCHANGE), reinterpret_cast<LPARAM>(voices.m_hWnd));
  EXPECT_EQ(0, voices.LastChosen());
  voices.SendMessage(WM_KILLFOCUS);
  EXPECT_EQ(0, voices.GetCurSel());
}

TEST_F(Controls, VoiceListKeepsTipsInStepWithItems) {
  CTTComboBox& voices = panel->m_voices;
  const auto inStep = [&voices]() { return static_cast<size_t>(voices.GetCount()) == voices.ItemTips().size(); };
  EXPECT_EQ(-1, voices.AddItem(L"Ewa", nullptr));
  EXPECT_EQ(-1, voices.AddItem(nullptr, L"tip"));
  EXPECT_TRUE(inStep());
  EXPECT_EQ(3, voices.AddItem(L"Ewa", L"tip of Ewa"));
  voices.InsertString(0, L"no tip");  // added behind AddItem's back: an empty tip keeps the step
  EXPECT_TRUE(inStep());
  EXPECT_EQ(L"", voices.ItemTips()[0]);
  EXPECT_EQ(L"tip of Ewa", voices.ItemTips()[4]);
  voices.DeleteString(0);
  EXPECT_TRUE(inStep());
  EXPECT_EQ(L"tip of Ewa", voices.ItemTips()[3]);
  voices.DropList().SetItemTexts(&voices.ItemTips());
  EXPECT_EQ(nullptr, voices.DropList().ItemTip(4));
  EXPECT_EQ(nullptr, voices.DropList().ItemTip(-1));
  ASSERT_NE(nullptr, voices.DropList().ItemTip(3));
  voices.ResetContent();
  EXPECT_TRUE(inStep());
  EXPECT_EQ(-1, voices.LastChosen());
}

// ---------------------------------------------------------------------------------------------
std::wstring ModuleText(UINT id) {
  CString text;
  text.LoadString(id);
  return text.GetString();
}

// A tool's text as the tooltip window holds it.
std::wstring ToolText(CToolTipCtrl& tooltip, CWnd& owner, UINT_PTR toolId) {
  wchar_t text[512] = {};
  TOOLINFOW info{};
  info.cbSize = sizeof(info);
  info.hwnd = owner.m_hWnd;
  info.uId = toolId;
  info.lpszText = text;
  tooltip.SendMessage(TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&info));
  return text;
}

// What the message pump hands a control before dispatching a mouse move over it.
void MouseMoveThroughPump(CWnd& control, int x, int y) {
  MSG msg{};
  msg.hwnd = control.m_hWnd;
  msg.message = WM_MOUSEMOVE;
  msg.lParam = MAKELPARAM(x, y);
  control.PreTranslateMessage(&msg);
}

// Every tooltip of the panel's controls is a window made at the first mouse move over its
// control, not when its text is given; then it holds the text last given, over the control's
// client area as it is at that moment. A text taken away before the mouse came makes none.
TEST_F(Controls, TooltipWindowsAreMadeAtTheFirstMouseMoveWithTheTextLastGiven) {
  panel->m_lexicon.SetTooltip(L"first lexicon text");
  panel->m_lexicon.SetTooltip(L"lexicon, the text last given");
  panel->m_launch.SetTooltip(L"launch");
  panel->m_launch.SetTooltip(nullptr);
  panel->m_volume.SetWindowPos(nullptr, 0, 0, 90, 24, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  struct Case {
    const char* name;
    CWnd& control;
    CToolTipCtrl& tooltip;
    UINT_PTR toolId;
    std::wstring text;  // empty: no tooltip window at all
  };
  Case cases[] = {
      {"read", panel->m_read, panel->m_read.Tooltip(), CSkinButton::TOOL_ID, ModuleText(IDS_READ_TIP)},
      {"lexicon", panel->m_lexicon, panel->m_lexicon.Tooltip(), CSkinButton::TOOL_ID, L"lexicon, the text last given"},
      {"launch", panel->m_launch, panel->m_launch.Tooltip(), CSkinButton::TOOL_ID, L""},
      {"volume", panel->m_volume, panel->m_volume.Tooltip(), CPngClodSliderCtrl::TOOL_ID, ModuleText(IDS_VOLUME_TIP)},
      {"speed", panel->m_speed, panel->m_speed.Tooltip(), CPngClodSliderCtrl::TOOL_ID, ModuleText(IDS_SPEED_TIP)},
      {"voice list", panel->m_voices, panel->m_voices.Tooltip(), CTTComboBox::TOOL_ID, ModuleText(IDS_VOICE_LIST_TIP)},
  };
  for (Case& c : cases) EXPECT_EQ(nullptr, c.tooltip.m_hWnd) << c.name << ": made before the mouse came";
  EXPECT_EQ(nullptr, panel->m_voiceLink.Tooltip().m_hWnd);

  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    MouseMoveThroughPump(c.control, 3, 2);
    if (c.text.empty()) {
      EXPECT_EQ(nullptr, c.tooltip.m_hWnd);
      continue;
    }
    ASSERT_NE(nullptr, c.tooltip.m_hWnd);
    EXPECT_EQ(c.text, ToolText(c.tooltip, c.control, c.toolId));
    TOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.hwnd = c.control.m_hWnd;
    info.uId = c.toolId;
    ASSERT_TRUE(c.tooltip.SendMessage(TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&info)));
    EXPECT_EQ(ClientOf(c.control.m_hWnd), CRect(info.rect));
    // Made once: a second move and a new text keep the window and change its text.
    const HWND made = c.tooltip.m_hWnd;
    MouseMoveThroughPump(c.control, 5, 4);
    EXPECT_EQ(made, c.tooltip.m_hWnd);
  }
  panel->m_read.SetTooltip(L"read, changed");
  EXPECT_EQ(L"read, changed", ToolText(panel->m_read.Tooltip(), panel->m_read, CSkinButton::TOOL_ID));
  panel->m_read.SetTooltip(nullptr);
  EXPECT_EQ(nullptr, panel->m_read.Tooltip().m_hWnd);

  // The link's tooltip window comes with any mouse message over it.
  MSG click{};
  click.hwnd = panel->m_voiceLink.m_hWnd;
  click.message = WM_LBUTTONDOWN;
  panel->m_voiceLink.PreTranslateMessage(&click);
  EXPECT_NE(nullptr, panel->m_voiceLink.Tooltip().m_hWnd);
}

// ---------------------------------------------------------------------------------------------
// A stand-in for the main window: counts the button-downs a skinned button forwards to it.
class CClickCounter : public CWnd {
 public:
  int downs = 0;

 protected:
  BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override {
    if (message == WM_LBUTTONDOWN) ++downs;
    return CWnd::OnWndMsg(message, wParam, lParam, pResult);
  }
};

class CCommandCounter : public CSkinnedPanel {
 public:
  using CSkinnedPanel::CSkinnedPanel;
  int commands = 0;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
    if (LOWORD(wParam) == IDC_STOP_BUTTON && lParam == 0) ++commands;
    return CSkinnedPanel::OnCommand(wParam, lParam);
  }
};

TEST(ControlsButton, EnterIsOneCommandAndADoubleClickTwoPresses) {
  CCommandCounter panel(&FillFlat);
  ASSERT_TRUE(panel.Create());
  panel.m_stop.EnableWindow(TRUE);
  MSG enter = {panel.m_stop.m_hWnd, WM_KEYUP, VK_RETURN, 0, 0, {0, 0}};
  EXPECT_TRUE(CWnd::WalkPreTranslateTree(panel.m_hWnd, &enter)) << "the key is consumed";
  EXPECT_EQ(1, panel.commands);

  CClickCounter counter;
  ASSERT_TRUE(counter.CreateEx(0, AfxRegisterWndClass(0), L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr));
  CSkinButton& button = panel.m_stop;
  button.SetClickForwardWindow(&counter);
  button.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
  for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    button.SendMessage(message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(3, 3));
  EXPECT_EQ(2, counter.downs) << "a fast second click is a click";
  button.SendMessage(WM_MOUSELEAVE);
  button.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(3, 3));
  EXPECT_EQ(2, counter.downs) << "not hovering: the double click is dropped";
  button.SetClickForwardWindow(nullptr);
  counter.DestroyWindow();
}

// Pumps this thread's messages for a while (a window that repaints without end never lets a
// timer through, so the clock ends the pumping), counting the WM_PAINTs each window of
// interest gets; answers the seconds that passed.
double PumpCountingPaints(UINT milliseconds, const std::vector<HWND>& watched, std::vector<int>& paints) {
  paints.assign(watched.size(), 0);
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const auto elapsed = [&]() {
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  };
  const double period = milliseconds / 1000.0;
  for (double seconds = 0; seconds < period; seconds = elapsed()) {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>((period - seconds) * 1000) + 1, QS_ALLINPUT);
      continue;
    }
    if (msg.message == WM_PAINT)
      for (size_t i = 0; i < watched.size(); ++i)
        if (msg.hwnd == watched[i]) ++paints[i];
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return elapsed();
}

TEST(ControlsOnScreen, AnIdleSkinnedWindowPaintsAtMostTwiceASecond) {
  CSkinnedPanel panel(nullptr);  // the reader's own skin
  ASSERT_TRUE(panel.Create());
  panel.SetWindowPos(nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  panel.ShowWindow(SW_SHOWNOACTIVATE);
  panel.UpdateWindow();
  std::vector<HWND> watched = {panel.m_volume.m_hWnd, panel.m_speed.m_hWnd, panel.m_read.m_hWnd, panel.m_hWnd};
  std::vector<int> paints;
  PumpCountingPaints(300, watched, paints);  // the first paints settle

  // The drop-down list is taken over once it is first shown.
  panel.m_voices.ShowDropDown(TRUE);
  PumpCountingPaints(100, {}, paints);
  EXPECT_NE(nullptr, panel.m_voices.DropList().m_hWnd) << "the drop-down list was not subclassed";
  EXPECT_NE(nullptr, panel.m_voices.DropList().ItemTip(2));
  panel.m_voices.ShowDropDown(FALSE);
  PumpCountingPaints(100, {}, paints);

  if (const char* out = std::getenv("ORV_CONTROLS_SHOT")) {
    CRect client = ClientOf(panel.m_hWnd);
    Canvas shot(client.Width(), client.Height());
    HDC screen = GetDC(panel.m_hWnd);
    BitBlt(shot.dc(), 0, 0, client.Width(), client.Height(), screen, 0, 0, SRCCOPY);
    ReleaseDC(panel.m_hWnd, screen);
    std::string narrow(out);
    shot.SavePng(std::wstring(narrow.begin(), narrow.end()));
  }

  const double seconds = PumpCountingPaints(1000, watched, paints);
  const int allowed = 2 * static_cast<int>(seconds + 0.999);
  for (size_t i = 0; i < watched.size(); ++i)
    EXPECT_LE(paints[i], allowed) << "window " << i << " painted " << paints[i] << " times in " << seconds << " s";
}

}  // namespace

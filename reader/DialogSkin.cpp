#include "DialogSkin.h"

#include "resource.h"

namespace orv_reader {

namespace {

CString ModuleString(UINT id) {
  CString text;
  text.LoadString(id);
  return text;
}

// The looks of a button filled list by list: `rows` rows of the sheet, one per state from
// normal on, each centred in the button's box.
void AddLooks(CSkinButton& button, Gdiplus::Image* sheet, const CRect& source, CSize box, int rows) {
  if (!sheet) return;
  button.Skin().Clear();
  const CPoint at((box.cx - source.Width()) / 2, (box.cy - source.Height()) / 2);
  CRect row = source;
  const int states[] = {draw_helpers::BUTTON_NORMAL, draw_helpers::BUTTON_PRESSED, draw_helpers::BUTTON_HOT};
  for (int i = 0; i < rows && i < 3; ++i) {
    draw_helpers::AddDraw(button.Skin().lists, states[i],
                          std::make_shared<draw_helpers::CDrawImageArea>(sheet, row, at));
    row.OffsetRect(0, source.Height());
  }
}

// An item the window lacks has an empty rectangle at the origin.
CRect ChildRect(const CWnd& window, int id) {
  CRect r;
  if (CWnd* item = window.GetDlgItem(id)) {
    item->GetWindowRect(&r);
    window.ScreenToClient(&r);
  }
  return r;
}

}  // namespace

void DialogSkin::Bind(CDataExchange* pDX, const DialogControls& c) {
  DDX_Control(pDX, IDC_LANGUAGE_BUTTON, c.language);
  DDX_Control(pDX, IDC_VOICE_COMBO, c.voices);
  DDX_Control(pDX, IDC_READ_BUTTON, c.read);
  DDX_Control(pDX, IDC_STOP_BUTTON, c.stop);
  DDX_Control(pDX, IDC_LAUNCH_BUTTON, c.launch);
  DDX_Control(pDX, IDC_CLOSE_BUTTON, c.close);
  DDX_Control(pDX, IDC_MINIMIZE_BUTTON, c.minimize);
  DDX_Control(pDX, IDC_SPEED_SLIDER, c.speed);
  DDX_Control(pDX, IDC_VOLUME_SLIDER, c.volume);
  DDX_Control(pDX, IDC_FOLD_BUTTON, c.fold);
  DDX_Control(pDX, IDC_LEXICON_BUTTON, c.lexicon);
  DDX_Control(pDX, IDC_SITE_LINK, c.siteLink);
  DDX_Control(pDX, IDC_VOICE_LINK, c.voiceLink);
  DDX_Control(pDX, IDC_VOICE_TYPE_ICON, c.voiceTypeIcon);
}

void DialogSkin::ShowGlyph(CSkinButton& button, int left) {
  for (int state = draw_helpers::BUTTON_NORMAL; state <= draw_helpers::BUTTON_DISABLED; ++state)
    for (const draw_helpers::DrawPtr& draw : button.Skin().lists[static_cast<size_t>(state)])
      if (draw) static_cast<draw_helpers::CDrawImageArea*>(draw.get())->SetSourceLeft(left);
}

void DialogSkin::Load() {
  struct Image {
    UINT id;
    draw_helpers::ImageBuffer& buffer;
  };
  const Image images[] = {{IDB_SKIN_LEFT, m_left},           {IDB_SKIN_MIDDLE, m_middle},
                          {IDB_SKIN_RIGHT, m_right},         {IDB_SKIN_SEPARATOR, m_separator},
                          {IDB_SKIN_SPEED, m_speed},         {IDB_SKIN_VOLUME, m_volume},
                          {IDB_SKIN_BUTTONS, m_buttons},     {IDB_SKIN_SLIDER, m_slider},
                          {IDB_VOICE_TYPES_1ST, m_types1st}, {IDB_VOICE_TYPES, m_types}};
  for (const Image& image : images) draw_helpers::LoadImageFromResource(image.id, L"PNG", image.buffer);
  if (m_separator.image) m_separatorWidth = static_cast<int>(m_separator.image->GetWidth());
  if (m_middle.image) m_bodyHeight = static_cast<int>(m_middle.image->GetHeight());
}

void DialogSkin::Apply(const DialogControls& c, draw_helpers::SkinBackgroundPainter& painter) {
  // Their backgrounds are the window's skin.
  for (CWnd* child :
       std::initializer_list<CWnd*>{&c.language, &c.minimize, &c.close, &c.fold, &c.volume, &c.speed, &c.read, &c.stop,
                                    &c.launch, &c.lexicon, &c.voiceTypeIcon, &c.voiceLink})
    painter.Register(child);

  // The link colour of a light page is lost on the dark strip.
  c.voiceLink.m_crLink = RGB(128, 192, 255);
  c.voiceLink.m_bFitToText = true;
  c.voiceLink.m_nMaxLines = 2;
  c.voiceLink.m_nTextAlign = 1;
  c.voiceLink.SetUp();

  Gdiplus::Image* sheet = m_buttons.image;
  AddLooks(c.language, sheet, CRect(139, 0, 192, 22), CSize(53, 22), 1);

  AddLooks(c.read, sheet, CRect(kReadGlyphLeft, 0, kReadGlyphLeft + 22, 23), CSize(22, 33), 3);
  auto busy = std::make_shared<draw_helpers::CImageAnimation2>();
  if (busy->LoadStrip(IDB_READ_BUSY, L"PNG", 22, 22, 12)) {
    busy->Align(22, 33, 5);
    c.read.SetBusyAnimation(busy);
    m_readBusy = busy;
  }
  c.read.SetWindowText(ModuleString(IDS_READ));
  c.read.SetTooltip(ModuleString(IDS_READ_TIP));

  if (sheet) c.stop.SetSkin(sheet, 3, false, 22, 33, CRect(44, 0, 66, 23));
  c.stop.EnableWindow(FALSE);
  if (sheet) c.launch.SetSkin(sheet, 2, false, 24, 22, CRect(202, 0, 226, 22));
  CString launchText;
  c.launch.GetWindowText(launchText);
  c.launch.SetTooltip(launchText);
  AddLooks(c.close, sheet, CRect(108, 0, 117, 7), CSize(9, 7), 3);
  if (sheet) c.minimize.SetSkin(sheet, 2, false, 10, 7, CRect(192, 0, 202, 7));
  AddLooks(c.fold, sheet, CRect(kFoldGlyphLeft, 0, kFoldGlyphLeft + 11, 20), CSize(11, 20), 3);
  if (sheet) c.lexicon.SetSkin(sheet, 2, true, 22, 22, CRect(117, 0, 139, 22));
  c.lexicon.SetTooltip(ModuleString(IDS_LEXICON_TIP));

  for (CPngClodSliderCtrl* slider : {&c.speed, &c.volume}) slider->SetReaderSkin(m_slider.image);
  c.volume.SetRange(0, 100, TRUE);
  c.volume.SetValueFormat(L"%d %%");
  c.volume.SetTooltip(ModuleString(IDS_VOLUME_TIP));
  c.speed.SetFineMode(true);
  c.speed.SetRange(-100, 100, TRUE);
  // A trackbar may leave a position it already holds alone, thumb and all, when asked for it
  // again after a range change: the thumb of 0 would stay where 0 was in the old range.
  c.speed.SendMessage(TBM_SETPOS, FALSE, 100);
  c.speed.SetPos(0);
  c.speed.SetValueFormat(L"%d");
  c.speed.SetTooltip(ModuleString(IDS_SPEED_TIP));
}

int DialogSkin::LayOut(CWnd& window) const {
  const int T = m_separatorWidth, H = m_bodyHeight;
  // Places an item; a width or height of 0 keeps the item's own, a top of -1 centres it in the
  // strip's height.
  auto place = [&window, H](int id, int x, int y, int w, int h) -> CRect {
    const CRect now = ChildRect(window, id);
    if (w <= 0) w = now.Width();
    if (h <= 0) h = now.Height();
    if (y == -1) y = (H + 1 - h) / 2;
    if (CWnd* item = window.GetDlgItem(id)) item->SetWindowPos(nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    return CRect(x, y, x + w, y + h);
  };
  const int speedIcon = m_speed.image ? static_cast<int>(m_speed.image->GetWidth()) : 16;
  const int volumeIcon = m_volume.image ? static_cast<int>(m_volume.image->GetWidth()) : 16;

  CRect r = place(IDC_LANGUAGE_BUTTON, 7, 5, 53, 22);
  r = place(IDC_READ_BUTTON, T + r.right + 14, 0, 22, 33);
  r = place(IDC_STOP_BUTTON, r.right + 14, 0, 22, 33);
  r = place(IDC_LAUNCH_BUTTON, T + r.right + 14, (H - 21) / 2, 24, 22);
  if (CWnd* launch = window.GetDlgItem(IDC_LAUNCH_BUTTON)) launch->ShowWindow(SW_SHOW);
  r = place(IDC_FOLD_BUTTON, T + r.right + 14, (H - 19) / 2, 11, 20);
  r = place(IDC_VOICE_TYPE_ICON, r.right + 7, (H - 23) / 2, 24, 24);
  r = place(IDC_VOICE_COMBO, r.right + 7, -1, 0, 0);
  r = place(IDC_VOICE_LINK, r.right + 7, -1, 0, 0);
  r = place(IDC_LEXICON_BUTTON, r.right + 7, (H - 21) / 2, 22, 22);
  const int speedHeight = ChildRect(window, IDC_SPEED_SLIDER).Height();
  r = place(IDC_SPEED_SLIDER, speedIcon + T + r.right + 7, (H + 1 - speedHeight) / 2 - 2, 0, 0);
  const int volumeHeight = ChildRect(window, IDC_VOLUME_SLIDER).Height();
  r = place(IDC_VOLUME_SLIDER, volumeIcon + T + r.right, (H + 1 - volumeHeight) / 2 - 2, 0, 0);
  const int width = r.right + 24;
  const CRect close = place(IDC_CLOSE_BUTTON, r.right + 12, 3, 9, 7);
  place(IDC_MINIMIZE_BUTTON, close.left - 13, close.top, 10, 7);
  return width;
}

void DialogSkin::Draw(CDC& dc, CWnd& window, bool folded) const {
  CRect bounds;
  window.GetWindowRect(&bounds);
  const int W = bounds.Width(), H = bounds.Height();
  // The row and column the skin's pieces leave uncovered take the body's darkest colour.
  dc.FillSolidRect(0, 0, W, H, RGB(16, 22, 32));
  if (!m_left.image || !m_middle.image || !m_right.image) return;
  Gdiplus::Graphics g(dc.m_hDC);
  const int left = static_cast<int>(m_left.image->GetWidth());
  const int right = static_cast<int>(m_right.image->GetWidth());
  const int body = static_cast<int>(m_middle.image->GetHeight());
  g.DrawImage(m_left.image, 0, 0, left, static_cast<int>(m_left.image->GetHeight()));
  {
    // One pixel column stretched: no filtering across its edges.
    g.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    g.DrawImage(m_middle.image, Gdiplus::Rect(5, 0, W - left - right, body), 0, 0, 1, body, Gdiplus::UnitPixel);
    g.SetInterpolationMode(Gdiplus::InterpolationModeDefault);
    g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeDefault);
  }
  g.DrawImage(m_right.image, W - right - 1, 0, right, static_cast<int>(m_right.image->GetHeight()));
  if (!m_separator.image) return;
  const int T = m_separatorWidth;
  const int separatorHeight = static_cast<int>(m_separator.image->GetHeight());
  auto separator = [&](int x) { g.DrawImage(m_separator.image, x, 0, T, separatorHeight); };
  const int first = ChildRect(window, IDC_LANGUAGE_BUTTON).right + 7;
  const int second = first + ChildRect(window, IDC_READ_BUTTON).Width() + 14;
  const int third = second + ChildRect(window, IDC_STOP_BUTTON).Width() + T + 14;
  separator(first);
  separator(second);
  separator(third);
  if (folded) return;  // the rest lies beyond the folded strip
  const int fourth = ChildRect(window, IDC_LEXICON_BUTTON).right + 7;
  separator(fourth);
  if (m_speed.image) {
    const int h = static_cast<int>(m_speed.image->GetHeight());
    g.DrawImage(m_speed.image, fourth + T + 7, (H - h) / 2, static_cast<int>(m_speed.image->GetWidth()), h);
  }
  const int speedRight = ChildRect(window, IDC_SPEED_SLIDER).right;
  separator(speedRight);
  if (m_volume.image) {
    const int h = static_cast<int>(m_volume.image->GetHeight());
    g.DrawImage(m_volume.image, speedRight + T + 7, (H - h) / 2, static_cast<int>(m_volume.image->GetWidth()), h);
  }
}

void DialogSkin::ShowVoiceType(CSkinButton& icon, int type, bool secondGeneration) const {
  int cell = 4;
  switch (type) {
    case 2:
      cell = 0;
      break;
    case 3:
      cell = 2;
      break;
    case 4:
      cell = 1;
      break;
    default:
      break;
  }
  Gdiplus::Image* icons = secondGeneration ? m_types.image : m_types1st.image;
  if (icons) icon.SetSkin(icons, 0, true, 24, 24, CRect(24 * cell, 0, 24 * cell + 24, 24));
  icon.Invalidate(FALSE);
}

}  // namespace orv_reader

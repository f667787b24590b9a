#include "SkinnedPanel.h"

#include <vector>

#include "resource.h"

namespace controls_test {

SkinSession::SkinSession(const std::wstring& modulePath) {
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&m_gdiplus, &input, nullptr) != Gdiplus::Ok) m_gdiplus = 0;
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  m_module = LoadLibraryW(modulePath.c_str());
  m_previous = AfxGetResourceHandle();
  if (m_module) AfxSetResourceHandle(m_module);
}

SkinSession::~SkinSession() {
  AfxSetResourceHandle(m_previous);
  if (m_module) FreeLibrary(m_module);
  if (m_gdiplus) Gdiplus::GdiplusShutdown(m_gdiplus);
}

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// ---------------------------------------------------------------------------------------------
Canvas::Canvas(int width, int height, COLORREF fill) : m_width(width), m_height(height) {
  void* bits = nullptr;
  m_bitmap = draw_helpers::CreateDib32(nullptr, width, height, &bits);
  m_bits = static_cast<DWORD*>(bits);
  m_dc = CreateCompatibleDC(nullptr);
  m_old = SelectObject(m_dc, m_bitmap);
  Fill(fill);
}

Canvas::~Canvas() {
  SelectObject(m_dc, m_old);
  DeleteDC(m_dc);
  DeleteObject(m_bitmap);
}

COLORREF Canvas::Pixel(int x, int y) const {
  if (!m_bits || x < 0 || y < 0 || x >= m_width || y >= m_height) return 0xFFFFFFFF;
  GdiFlush();
  const DWORD p = m_bits[y * m_width + x];
  return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

void Canvas::Fill(COLORREF colour) {
  const RECT all = {0, 0, m_width, m_height};
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(m_dc, &all, brush);
  DeleteObject(brush);
}

bool Canvas::SavePng(const std::wstring& path) const {
  CLSID png{};
  UINT count = 0, size = 0;
  if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
  std::vector<BYTE> buffer(size);
  auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  Gdiplus::GetImageEncoders(count, size, encoders);
  bool found = false;
  for (UINT i = 0; i < count; ++i) {
    if (wcscmp(encoders[i].MimeType, L"image/png") == 0) {
      png = encoders[i].Clsid;
      found = true;
    }
  }
  if (!found) return false;
  GdiFlush();
  Gdiplus::Bitmap bitmap(m_bitmap, nullptr);
  return bitmap.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

// ---------------------------------------------------------------------------------------------
BEGIN_MESSAGE_MAP(CSkinnedPanel, CDialog)
  ON_WM_PAINT()
  ON_WM_ERASEBKGND()
  ON_WM_HSCROLL()
END_MESSAGE_MAP()

CSkinnedPanel::CSkinnedPanel(Background background, bool skinned)
    : m_background(std::move(background)),
      m_skinned(skinned),
      m_painter(draw_helpers::SkinBackgroundPainter::kCached, this, &m_memory) {}

CSkinnedPanel::~CSkinnedPanel() {
  if (m_hWnd) DestroyWindow();
}

void CSkinnedPanel::DoDataExchange(CDataExchange* pDX) {
  if (!m_skinned) return;
  DDX_Control(pDX, IDC_LANGUAGE_BUTTON, m_language);
  DDX_Control(pDX, IDC_VOICE_COMBO, m_voices);
  DDX_Control(pDX, IDC_READ_BUTTON, m_read);
  DDX_Control(pDX, IDC_STOP_BUTTON, m_stop);
  DDX_Control(pDX, IDC_LAUNCH_BUTTON, m_launch);
  DDX_Control(pDX, IDC_CLOSE_BUTTON, m_close);
  DDX_Control(pDX, IDC_MINIMIZE_BUTTON, m_minimise);
  DDX_Control(pDX, IDC_SPEED_SLIDER, m_speed);
  DDX_Control(pDX, IDC_VOLUME_SLIDER, m_volume);
  DDX_Control(pDX, IDC_FOLD_BUTTON, m_fold);
  DDX_Control(pDX, IDC_LEXICON_BUTTON, m_lexicon);
  DDX_Control(pDX, IDC_SITE_LINK, m_siteLink);
  DDX_Control(pDX, IDC_VOICE_LINK, m_voiceLink);
  DDX_Control(pDX, IDC_VOICE_TYPE_ICON, m_voiceIcon);
}

BOOL CSkinnedPanel::OnInitDialog() {
  CDialog::OnInitDialog();
  if (m_skinned) {
    Skin();
  } else {
    // The plain yardstick: the system draws every control.
    for (int id : {IDC_LANGUAGE_BUTTON, IDC_READ_BUTTON, IDC_STOP_BUTTON, IDC_LAUNCH_BUTTON, IDC_CLOSE_BUTTON,
                   IDC_MINIMIZE_BUTTON, IDC_FOLD_BUTTON, IDC_LEXICON_BUTTON, IDC_VOICE_TYPE_ICON})
      SendDlgItemMessage(id, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    for (const wchar_t* voice : {L"Agata", L"Kacper", L"Anna (high-fidelity edition)"})
      SendDlgItemMessage(IDC_VOICE_COMBO, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(voice));
    SendDlgItemMessage(IDC_VOICE_COMBO, CB_SETCURSEL, 0);
    SendDlgItemMessage(IDC_VOLUME_SLIDER, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
    SendDlgItemMessage(IDC_VOLUME_SLIDER, TBM_SETPOS, TRUE, 80);
  }
  LayOut();
  return TRUE;
}

void CSkinnedPanel::Skin() {
  draw_helpers::LoadImageFromResource(IDB_SKIN_BUTTONS, L"PNG", m_sheet);
  draw_helpers::LoadImageFromResource(IDB_SKIN_SLIDER, L"PNG", m_sliderSheet);
  for (CWnd* child : std::initializer_list<CWnd*>{&m_language, &m_minimise, &m_close, &m_fold, &m_volume, &m_speed,
                                                  &m_read, &m_stop, &m_launch, &m_lexicon, &m_voiceIcon, &m_voiceLink})
    m_painter.Register(child);

  m_voiceLink.m_bFitToText = true;
  m_voiceLink.m_nMaxLines = 2;
  m_voiceLink.m_nTextAlign = 1;
  m_voiceLink.SetUp();

  Gdiplus::Image* sheet = m_sheet.image;
  m_language.SetSkin(sheet, 0, true, 53, 22, CRect(139, 0, 192, 22));
  m_read.SetSkin(sheet, 2, false, 22, 33, CRect(22, 0, 44, 23));
  m_busy = std::make_shared<draw_helpers::CImageAnimation2>();
  if (m_busy->LoadStrip(IDB_READ_BUSY, L"PNG", 22, 22, 12)) {
    m_busy->Align(22, 33, 5);
    m_read.SetBusyAnimation(m_busy);
  }
  CString text;
  text.LoadString(IDS_READ_TIP);
  m_read.SetTooltip(text);
  m_stop.SetSkin(sheet, 3, false, 22, 33, CRect(44, 0, 66, 23));
  m_launch.SetSkin(sheet, 2, false, 24, 22, CRect(202, 0, 226, 22));
  m_close.SetSkin(sheet, 2, false, 9, 7, CRect(108, 0, 117, 7));
  m_minimise.SetSkin(sheet, 2, false, 10, 7, CRect(192, 0, 202, 7));
  m_fold.SetSkin(sheet, 2, false, 11, 20, CRect(77, 0, 88, 20));
  m_lexicon.SetSkin(sheet, 2, true, 22, 22, CRect(117, 0, 139, 22));
  text.LoadString(IDS_LEXICON_TIP);
  m_lexicon.SetTooltip(text);
  if (draw_helpers::LoadImageFromResource(IDB_VOICE_TYPES, L"PNG", m_voiceIcon.OwnImage()))
    m_voiceIcon.SetSkin(m_voiceIcon.OwnImage().image, 0, true, 24, 24, CRect(0, 0, 24, 24));

  for (CPngClodSliderCtrl* slider : {&m_speed, &m_volume}) slider->SetReaderSkin(m_sliderSheet.image);
  m_volume.SetRange(0, 100, TRUE);
  m_volume.SetValueFormat(L"%d %%");
  m_volume.SetPos(80);
  text.LoadString(IDS_VOLUME_TIP);
  m_volume.SetTooltip(text);
  m_speed.SetFineMode(true);
  m_speed.SetRange(-100, 100, TRUE);
  m_speed.SetPos(0);
  text.LoadString(IDS_SPEED_TIP);
  m_speed.SetTooltip(text);

  m_voices.AddItem(L"Agata", L"SAPI 5 voice\nName: Agata");
  m_voices.AddItem(L"Kacper", L"SAPI 5 voice\nName: Kacper");
  m_voices.AddItem(L"Anna (high-fidelity edition, 22 kHz)", L"SAPI 5 voice\nName: Anna");
  m_voices.SetCurSel(0);
}

void CSkinnedPanel::LayOut() {
  // The main dialog's arrangement: T is the separator's width, H the body's height.
  const int T = 2, H = 34, icon = 16;
  auto place = [this](int id, int x, int y, int w, int h) -> CRect {
    CWnd* control = GetDlgItem(id);
    CRect r;
    control->GetWindowRect(&r);
    if (w <= 0) w = r.Width();
    if (h <= 0) h = r.Height();
    if (y < 0) y = (H + 1 - h) / 2;
    control->SetWindowPos(nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    return CRect(x, y, x + w, y + h);
  };
  CRect r = place(IDC_LANGUAGE_BUTTON, 7, 5, 53, 22);
  r = place(IDC_READ_BUTTON, T + r.right + 14, 0, 22, 33);
  r = place(IDC_STOP_BUTTON, r.right + 14, 0, 22, 33);
  r = place(IDC_LAUNCH_BUTTON, T + r.right + 14, (H - 21) / 2, 24, 22);
  r = place(IDC_FOLD_BUTTON, T + r.right + 14, (H - 19) / 2, 11, 20);
  r = place(IDC_VOICE_TYPE_ICON, r.right + 7, (H - 23) / 2, 24, 24);
  r = place(IDC_VOICE_COMBO, r.right + 7, -1, 0, 0);
  r = place(IDC_VOICE_LINK, r.right + 7, -1, 0, 0);
  r = place(IDC_LEXICON_BUTTON, r.right + 7, (H - 21) / 2, 22, 22);
  CRect speed;
  GetDlgItem(IDC_SPEED_SLIDER)->GetWindowRect(&speed);
  r = place(IDC_SPEED_SLIDER, icon + T + r.right + 7, (H + 1 - speed.Height()) / 2 - 2, 0, 0);
  r = place(IDC_VOLUME_SLIDER, icon + T + r.right, r.top, 0, 0);
  const int width = r.right + 24;
  const CRect close = place(IDC_CLOSE_BUTTON, r.right + 12, 3, 9, 7);
  place(IDC_MINIMIZE_BUTTON, close.left - 13, close.top, 10, 7);
  SetWindowPos(nullptr, 0, 0, width, H + 1, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CSkinnedPanel::DrawBackground(CDC& dc, int width, int height) {
  if (m_background)
    m_background(dc, width, height);
  else
    DrawReaderSkin(dc, width, height);
}

void CSkinnedPanel::DrawReaderSkin(CDC& dc, int width, int height) {
  if (!m_left.image) {
    draw_helpers::LoadImageFromResource(IDB_SKIN_LEFT, L"PNG", m_left);
    draw_helpers::LoadImageFromResource(IDB_SKIN_MIDDLE, L"PNG", m_middle);
    draw_helpers::LoadImageFromResource(IDB_SKIN_RIGHT, L"PNG", m_right);
    draw_helpers::LoadImageFromResource(IDB_SKIN_SEPARATOR, L"PNG", m_separator);
    draw_helpers::LoadImageFromResource(IDB_SKIN_SPEED, L"PNG", m_speedIcon);
    draw_helpers::LoadImageFromResource(IDB_SKIN_VOLUME, L"PNG", m_volumeIcon);
  }
  dc.FillSolidRect(0, 0, width, height, RGB(16, 22, 32));
  if (!m_left.image || !m_middle.image || !m_right.image || !m_separator.image) return;
  Gdiplus::Graphics g(dc.m_hDC);
  const int left = static_cast<int>(m_left.image->GetWidth()), right = static_cast<int>(m_right.image->GetWidth());
  const int body = static_cast<int>(m_middle.image->GetHeight());
  g.DrawImage(m_left.image, 0, 0);
  g.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
  g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  g.DrawImage(m_middle.image, Gdiplus::Rect(left, 0, width - left - right, body), 0, 0, 1, body, Gdiplus::UnitPixel);
  g.DrawImage(m_right.image, width - right, 0);
  auto rightOf = [this](int id) {
    CRect r;
    GetDlgItem(id)->GetWindowRect(&r);
    ScreenToClient(&r);
    return r;
  };
  const int T = static_cast<int>(m_separator.image->GetWidth());
  const int first = rightOf(IDC_LANGUAGE_BUTTON).right + 7;
  const int second = first + rightOf(IDC_READ_BUTTON).Width() + 14;
  const int third = second + rightOf(IDC_STOP_BUTTON).Width() + T + 14;
  const int fourth = rightOf(IDC_LEXICON_BUTTON).right + 7;
  const int fifth = rightOf(IDC_SPEED_SLIDER).right;
  for (int x : {first, second, third, fourth, fifth}) g.DrawImage(m_separator.image, x, 0);
  if (m_speedIcon.image) g.DrawImage(m_speedIcon.image, fourth + T + 7, (body - 16) / 2);
  if (m_volumeIcon.image) g.DrawImage(m_volumeIcon.image, fifth + T + 7, (body - 16) / 2);
}

void CSkinnedPanel::PaintTo(CDC& dc) {
  CRect client;
  GetClientRect(&client);
  m_painter.Paint(
      &dc, [this, client](CDC& memory) { DrawBackground(memory, client.Width(), client.Height()); }, nullptr,
      client.Width(), client.Height());
}

void CSkinnedPanel::Compose() {
  m_painter.Invalidate();
  CClientDC dc(this);
  PaintTo(dc);
}

void CSkinnedPanel::OnPaint() {
  if (!m_skinned) {
    Default();  // the plain yardstick paints as any dialog does
    return;
  }
  CPaintDC dc(this);
  PaintTo(dc);
}

BOOL CSkinnedPanel::OnEraseBkgnd(CDC*) { return m_skinned ? TRUE : static_cast<BOOL>(Default()); }

void CSkinnedPanel::OnHScroll(UINT nSBCode, UINT, CScrollBar* pScrollBar) {
  ++m_hscrolls;
  CWnd* control = reinterpret_cast<CWnd*>(pScrollBar);
  if (m_skinned && control == &m_speed) m_speed.OnScroll(nSBCode);
  if (m_skinned && control == &m_volume) m_volume.OnScroll(nSBCode);
}

}  // namespace controls_test
